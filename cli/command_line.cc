// The program's options, the parse, and what a command line that is not
// understood is told.
#include "cli/command_line.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "cli/bash_completion.h"
#include "cli/commands.h"
#include "cli/command_model.h"
#include "cli/manual_page.h"

namespace mendora::cli {

namespace {

constexpr size_t kWidth = 80;

// `text` in lines of at most kWidth columns; lines after the first start
// with `indent` spaces, the first is assumed to be `first_used` columns in.
std::string Wrap(const std::string& text, size_t first_used, size_t indent) {
  std::string out;
  size_t used = first_used;
  std::istringstream words(text);
  bool first = true;
  for (std::string word; words >> word;) {
    if (!first && used + 1 + word.size() > kWidth) {
      out += "\n" + std::string(indent, ' ');
      used = indent;
    } else if (!first) {
      out += ' ';
      ++used;
    }
    out += word;
    used += word.size();
    first = false;
  }
  return out;
}

std::vector<const CLI::App*> Commands(const CLI::App& app) {
  std::vector<const CLI::App*> commands;
  for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
    if (!sub->get_group().empty()) commands.push_back(sub);
  }
  return commands;
}

std::string CommandList(const CLI::App& app) {
  size_t width = 0;
  for (const CLI::App* command : Commands(app)) width = std::max(width, command->get_name().size());
  std::string text = "Commands:\n";
  for (const CLI::App* command : Commands(app)) {
    const std::string name = command->get_name();
    text += "  " + name + std::string(width + 2 - name.size(), ' ') +
            Wrap(command->get_description(), width + 4, width + 4) + "\n";
  }
  return text;
}

std::string LowerFirst(std::string text) {
  if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z' && (text.size() < 2 || !(text[1] >= 'A' && text[1] <= 'Z'))) {
    text[0] = static_cast<char>(text[0] - 'A' + 'a');
  }
  return text;
}

// The first word that stands where the command goes: not an option, nor the
// value of one of the program's own options.
std::optional<std::string> CommandWord(const CLI::App& app, int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word.empty() || word[0] != '-') return word;
    const CLI::Option* option = app.get_option_no_throw(word.substr(0, word.find('=')));
    if (option != nullptr && option->get_items_expected_max() > 0 && word.find('=') == std::string::npos) ++i;
  }
  return std::nullopt;
}

// The first option the program itself does not know, before any command.
std::optional<std::string> UnknownOption(const CLI::App& app, int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word.empty() || word[0] != '-') return std::nullopt;
    const CLI::Option* option = app.get_option_no_throw(word.substr(0, word.find('=')));
    if (option == nullptr) return word.substr(0, word.find('='));
    if (option->get_items_expected_max() > 0 && word.find('=') == std::string::npos) ++i;
  }
  return std::nullopt;
}

std::string NotUnderstood(const CLI::App& app, int argc, char** argv, const CLI::ParseError& error) {
  const std::vector<CLI::App*> parsed = const_cast<CLI::App&>(app).get_subcommands();
  if (!parsed.empty()) {
    const std::string command = parsed.back()->get_name();
    return "mendora-cli " + command + ": " + LowerFirst(error.what()) + "\nRun 'mendora-cli " + command +
           " --help' for its arguments and options.\n";
  }
  const std::optional<std::string> word = CommandWord(app, argc, argv);
  std::string text;
  if (word) {
    text = "mendora-cli: unknown command '" + *word + "'";
    if (const std::optional<std::string> closest = ClosestCommand(app, *word)) {
      text += " (did you mean '" + *closest + "'?)";
    }
    text += "\n";
  } else if (const std::optional<std::string> option = UnknownOption(app, argc, argv)) {
    return "mendora-cli: unknown option '" + *option + "'\nRun 'mendora-cli --help' for the commands and options.\n";
  } else if (error.get_name() == "RequiredError") {
    text = "mendora-cli: a command is required\n";
  } else {
    return "mendora-cli: " + LowerFirst(error.what()) + "\nRun 'mendora-cli --help' for the commands and options.\n";
  }
  return text + CommandList(app) + "Run 'mendora-cli COMMAND --help' for a command's arguments and options.\n";
}

// Optimal string alignment distance: slips, missing, extra and swapped letters.
size_t Distance(const std::string& a, const std::string& b) {
  std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    for (size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[a.size()][b.size()];
}

// Writes `text` to `path` whole: into a file beside it, then moved over it.
void WriteWhole(const std::filesystem::path& path, const std::string& text) {
  std::filesystem::create_directories(path.parent_path());
  const std::filesystem::path partial = path.string() + ".partial";
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) throw std::runtime_error("could not write " + partial.string());
  }
  std::filesystem::rename(partial, path);
}

}  // namespace

std::string ExitCodeHelp() {
  std::string text = "Exit codes:\n";
  for (const ExitCodeMeaning& row : kExitCodeTable) {
    std::string code = row.code;
    text += "  " + code + std::string(code.size() < 9 ? 9 - code.size() : 1, ' ') + Wrap(row.meaning, 11, 11) + "\n";
  }
  return text + Wrap(kExitCodeOfManyFiles, 0, 0) + "\n";
}

void PassOptions::AddTo(CLI::App& command, bool reads_rows) {
  if (reads_rows) {
    auto* verbose_flag =
        command.add_flag("--verbose", verbose, "show every damage report, not only the first of each table");
    command.add_flag("--quiet,-q", quiet, "no progress line, damage notes or recover log: only errors and the loss account")
        ->excludes(verbose_flag);
    command.add_flag("--deleted", deleted, "also recover deleted rows that still read whole, as 'NAME (deleted rows)'");
    AddJobsOption(command, jobs);
  }
  command
      .add_option("--password", password,
                  "password of an encrypted FILE (other users may see it in the process list: prefer "
                  "MENDORA_PASSWORD, or leave both out to be asked on the terminal)")
      ->type_name("PASSWORD");
  command.add_option("--code-page", code_page, kCodePageHelp)->check(CLI::Validator(CheckCodePage, "N"));
}

void PassOptions::Apply() {
  SetVerbose(verbose);
  SetQuiet(quiet);
  SetProgressDisplay(quiet ? ProgressLine::Display::kHidden : ProgressLine::ForStandardError());
  SetRecoverDeleted(deleted);
  if (!password) {
    if (const char* env = std::getenv("MENDORA_PASSWORD"); env != nullptr) password = std::string(env);
  }
  SetPassword(password);
  SetCodePage(code_page);
  SetDecodeJobs(jobs);
}

CLI::Option* AddJobsOption(CLI::App& command, unsigned& jobs) {
  return command
      .add_option("--jobs,-j", jobs, "threads that decode rows (default: 1); the output is the same for every N")
      ->type_name("N")
      ->check(CLI::Range(1u, 256u));
}

CLI::Option* AddOleOption(CLI::App& command, std::string& ole) {
  return command
      .add_option("--ole", ole,
                  "OLE objects: 'file' stores the picture or document inside Access's wrapper, 'raw' the stored bytes")
      ->check(CLI::IsMember({"file", "raw"}));
}

void SetUpProgram(CLI::App& app, const std::string& version_text) {
  app.name("mendora-cli");
  app.require_subcommand(1);
  app.set_version_flag("--version", version_text, "print the version of mendora-cli, SQLite and Qt, and exit");
  // Run by the build: the manual page and the completion come from the same
  // definitions as --help. Hidden: it is no use to a user.
  app.add_option_function<std::string>(
         "--write-docs",
         [&app](const std::string& dir) {
           const ProgramModel model = ReadCommandLine(app);
           try {
             WriteWhole(std::filesystem::path(dir) / "mendora-cli.1", ManualPage(model));
             WriteWhole(std::filesystem::path(dir) / "completion" / "mendora-cli", BashCompletion(model));
           } catch (const std::exception& error) {
             std::cerr << "mendora-cli: " << error.what() << "\n";
             throw CLI::RuntimeError(kExitOutputFailed);
           }
           throw CLI::Success();
         },
         "write DIR/mendora-cli.1 and DIR/completion/mendora-cli")
      ->group("");
}

std::optional<int> ParseCommandLine(CLI::App& app, int argc, char** argv) {
  // Set last, so that no command inherits the table: it is the program's.
  app.footer(ExitCodeHelp());
  try {
    app.parse(argc, argv);
  } catch (const CLI::RuntimeError& error) {
    return error.get_exit_code();
  } catch (const CLI::Success& done) {
    return app.exit(done);
  } catch (const CLI::ParseError& error) {
    if (error.get_exit_code() == 0) return app.exit(error);
    std::cerr << NotUnderstood(app, argc, argv, error);
    return error.get_exit_code();
  }
  return std::nullopt;
}

std::optional<std::string> ClosestCommand(const CLI::App& app, const std::string& word) {
  std::optional<std::string> best;
  size_t best_distance = 3;
  bool tie = false;
  for (const CLI::App* command : Commands(app)) {
    const std::string& name = command->get_name();
    size_t distance = Distance(word, name);
    if (word.size() >= 2 && name.compare(0, word.size(), word) == 0) distance = 1;  // the start of it
    if (distance >= word.size()) continue;
    if (distance < best_distance) {
      best = name;
      best_distance = distance;
      tie = false;
    } else if (distance == best_distance) {
      tie = true;
    }
  }
  if (tie) return std::nullopt;
  return best;
}

}  // namespace mendora::cli
