// The command line as a user meets it: one clear line for what was wrong,
// the exit codes once under the main --help, and a manual page and bash
// completion that know every command and option --help knows.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/exit_codes.h"
#include "tests/cli/program_run.h"

namespace mendora {
namespace {

using testing::ProgramRun;
using testing::ReadAll;
using testing::RunProgram;
using testing::ScratchDir;

// The commands of the main --help, and each one's options from its own.
std::vector<std::string> CommandsOfHelp(const std::string& help) {
  std::vector<std::string> commands;
  const size_t start = help.find("Subcommands:\n");
  std::istringstream lines(help.substr(start == std::string::npos ? help.size() : start));
  std::string line;
  std::getline(lines, line);
  while (std::getline(lines, line) && line.rfind("  ", 0) == 0) {
    commands.push_back(line.substr(2, line.find(' ', 2) - 2));
  }
  return commands;
}

std::set<std::string> OptionsOfHelp(const std::string& help) {
  std::set<std::string> options;
  const std::regex name(R"((^|[ ,])(--?[a-z][a-z-]*))");
  std::istringstream lines(help);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("  -", 0) != 0) continue;
    const std::string names = line.substr(2, line.find(' ', 2) - 2);
    for (std::sregex_iterator it(names.begin(), names.end(), name), end; it != end; ++it) options.insert((*it)[2]);
  }
  options.erase("-h");
  options.erase("--help");
  return options;
}

std::string Escaped(const std::string& name) {
  std::string text;
  for (char c : name) text += c == '-' ? std::string("\\-") : std::string(1, c);
  return text;
}

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

TEST(CommandLineTest, WhatWasWrongIsSaidOnOneLine) {
  ScratchDir dir;
  const std::string missing = dir.File("nosuch.mdb");
  const std::string folder = dir.File("folder.mdb");
  std::filesystem::create_directories(folder);
  std::ofstream(dir.File("plain.txt")) << "text";
  ASSERT_EQ(mkfifo(dir.File("pipe.mdb").c_str(), 0600), 0);
  ASSERT_EQ(symlink(dir.File("gone.mdb").c_str(), dir.File("dangling.mdb").c_str()), 0);
  struct Case {
    std::vector<std::string> args;
    std::string message;  // the whole of stderr
    int code;
  };
  const std::vector<Case> cases = {
      {{"analyze", missing}, "mendora-cli: " + missing + ": no such file\n", cli::kExitNotOpened},
      {{"dump", folder}, "mendora-cli: " + folder + ": is a directory\n", cli::kExitNotOpened},
      {{"catalog", dir.File("pipe.mdb")}, "mendora-cli: " + dir.File("pipe.mdb") + ": not a regular file\n",
       cli::kExitNotOpened},
      {{"recover", dir.File("dangling.mdb"), dir.File("out.sqlite")},
       "mendora-cli: " + dir.File("dangling.mdb") + ": no such file (a link to a file that is gone)\n",
       cli::kExitNotOpened},
      {{"analyze", dir.File("plain.txt") + "/x.mdb"},
       "mendora-cli: " + dir.File("plain.txt") + "/x.mdb: no such file (a part of its path is not a directory)\n",
       cli::kExitNotOpened},
      {{"export", missing, "--format", "csv", "--out-dir", dir.File("csv")},
       "mendora-cli: " + missing + ": no such file\n", cli::kExitNotOpened},
  };
  for (const Case& c : cases) {
    const ProgramRun run = RunProgram(dir, c.args);
    EXPECT_EQ(run.err, c.message) << c.args[0];
    EXPECT_EQ(run.code, c.code) << c.args[0];
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("out.sqlite")));
}

TEST(CommandLineTest, ACommandLineNotUnderstoodSaysWhatAndWhatThereIs) {
  ScratchDir dir;
  const std::vector<std::string> commands = CommandsOfHelp(RunProgram(dir, {"--help"}).out);
  ASSERT_GE(commands.size(), 5u);
  struct Case {
    std::vector<std::string> args;
    std::string first_line;
    bool lists_commands;
  };
  const std::vector<Case> cases = {
      {{"frob", "x.mdb"}, "mendora-cli: unknown command 'frob'", true},
      {{"recovr", "x.mdb", "y.sqlite"}, "mendora-cli: unknown command 'recovr' (did you mean 'recover'?)", true},
      {{"analyse", "x.mdb"}, "mendora-cli: unknown command 'analyse' (did you mean 'analyze'?)", true},
      {{}, "mendora-cli: a command is required", true},
      {{"--frob"}, "mendora-cli: unknown option '--frob'", false},
      {{"analyze"}, "mendora-cli analyze: FILE is required", false},
      {{"recover", "x.mdb"}, "mendora-cli recover: recover takes FILE and OUT, or --out-dir DIR and FILE...", false},
      {{"dump", "--ole", "zip", "x.mdb"}, "mendora-cli dump: --ole: zip not in {file,raw}", false},
  };
  for (const Case& c : cases) {
    const ProgramRun run = RunProgram(dir, c.args);
    const std::string what = c.args.empty() ? "(nothing)" : c.args[0];
    EXPECT_EQ(FirstLine(run.err), c.first_line) << what;
    EXPECT_GE(run.code, 100) << what;
    EXPECT_LE(run.code, 127) << what;
    EXPECT_EQ(run.out, "") << what;
    for (const std::string& command : commands) {
      EXPECT_EQ(run.err.find("\n  " + command + " ") != std::string::npos, c.lists_commands) << what << ": " << command;
    }
  }
}

TEST(CommandLineTest, TheExitCodesAreListedOnceUnderTheMainHelpOnly) {
  ScratchDir dir;
  const ProgramRun help = RunProgram(dir, {"--help"});
  ASSERT_EQ(help.code, 0);
  const size_t table = help.out.find("Exit codes:\n");
  ASSERT_NE(table, std::string::npos) << help.out;
  EXPECT_EQ(help.out.find("Exit codes:", table + 1), std::string::npos);
  for (const cli::ExitCodeMeaning& row : cli::kExitCodeTable) {
    EXPECT_NE(help.out.find("\n  " + std::string(row.code) + " ", table), std::string::npos) << row.code;
  }
  for (const std::string& command : CommandsOfHelp(help.out)) {
    const ProgramRun own = RunProgram(dir, {command, "--help"});
    EXPECT_EQ(own.code, 0) << command;
    EXPECT_NE(own.out.find("Usage: mendora-cli " + command), std::string::npos) << own.out;
    EXPECT_EQ(own.out.find("Exit codes"), std::string::npos) << command;
  }
}

TEST(CommandLineTest, TheManualAndTheCompletionKnowEveryCommandAndOptionOfTheHelp) {
  ScratchDir dir;
  const ProgramRun written = RunProgram(dir, {"--write-docs", dir.File("docs")});
  ASSERT_EQ(written.code, 0) << written.err;
  const std::string manual = ReadAll(dir.File("docs/mendora-cli.1"));
  const std::string completion = ReadAll(dir.File("docs/completion/mendora-cli"));
  const size_t commands_section = manual.find("\n.SH COMMANDS\n");
  const size_t options_section = manual.find("\n.SH OPTIONS\n");
  const size_t exit_section = manual.find("\n.SH EXIT STATUS\n");
  ASSERT_NE(commands_section, std::string::npos);
  ASSERT_NE(options_section, std::string::npos);
  ASSERT_NE(exit_section, std::string::npos);
  const std::string commands_text = manual.substr(commands_section, options_section - commands_section);
  const std::string options_text = manual.substr(options_section, exit_section - options_section);

  const std::vector<std::string> commands = CommandsOfHelp(RunProgram(dir, {"--help"}).out);
  for (const std::string& command : commands) {
    EXPECT_NE(commands_text.find("\n\\fB" + command + "\\fR"), std::string::npos) << command;
    EXPECT_NE(completion.find(" " + command + ") COMPREPLY=($(compgen -W \"--help"), std::string::npos) << command;
    for (const std::string& option : OptionsOfHelp(RunProgram(dir, {command, "--help"}).out)) {
      // In the manual, in the entry that names this command.
      const std::regex entry("\\.TP\\n[^\\n]*\\\\fB" + std::regex_replace(Escaped(option), std::regex(R"(\\)"), R"(\\)") +
                             "\\\\fR[^\\n]*\\n\\([^)]*\\\\fB" + command + "\\\\fR");
      EXPECT_TRUE(std::regex_search(options_text, entry)) << command << " " << option;
      const size_t line = completion.find("      " + command + ") COMPREPLY");
      ASSERT_NE(line, std::string::npos) << command;
      std::string listed = completion.substr(line, completion.find('\n', line) - line) + " ";
      std::replace(listed.begin(), listed.end(), '"', ' ');
      EXPECT_NE(listed.find(" " + option + " "), std::string::npos) << command << " " << option;
    }
  }
  for (const cli::ExitCodeMeaning& row : cli::kExitCodeTable) {
    EXPECT_NE(manual.find(".TP\n.B " + Escaped(row.code) + "\n", exit_section), std::string::npos) << row.code;
  }
  if (access("/usr/bin/man", X_OK) == 0) {
    const std::string command = "LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l " + dir.File("docs/mendora-cli.1") +
                                " 2>&1 >/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string warnings;
    for (int c; (c = fgetc(pipe)) != EOF;) warnings += static_cast<char>(c);
    EXPECT_EQ(pclose(pipe), 0);
    EXPECT_EQ(warnings, "");
  }
}

// What bash offers for the words typed so far, in a folder of sample names.
std::string Complete(const ScratchDir& dir, const std::vector<std::string>& words) {
  std::string line;
  for (const std::string& word : words) line += " '" + word + "'";
  const std::string script = dir.File("complete.sh");
  std::ofstream(script) << "cd '" << dir.File("files") << "'\n"
                        << "source /usr/share/bash-completion/bash_completion\n"
                        << "source '" << dir.File("docs/completion/mendora-cli") << "'\n"
                        << "COMP_WORDS=(" << line << ")\n"
                        << "COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); COMP_LINE=\"${COMP_WORDS[*]}\"; "
                           "COMP_POINT=${#COMP_LINE}\n"
                        << "_mendora_cli mendora-cli \"${COMP_WORDS[COMP_CWORD]}\" \"${COMP_WORDS[COMP_CWORD-1]}\"\n"
                        << "printf '%s\\n' \"${COMPREPLY[@]}\" | sort | tr '\\n' ' '\n";
  FILE* pipe = popen(("bash " + script).c_str(), "r");
  std::string out;
  for (int c; (c = fgetc(pipe)) != EOF;) out += static_cast<char>(c);
  pclose(pipe);
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

TEST(CommandLineTest, TheCompletionOffersWhatEachPlaceTakes) {
  if (access("/usr/share/bash-completion/bash_completion", R_OK) != 0) {
    GTEST_SKIP() << "bash-completion is not installed (scripts/install-deps.sh installs it)";
  }
  ScratchDir dir;
  ASSERT_EQ(RunProgram(dir, {"--write-docs", dir.File("docs")}).code, 0);
  std::filesystem::create_directories(dir.File("files/sub"));
  for (const char* name : {"a.mdb", "b.ACCDB", "c.sqlite", "notes.txt"}) std::ofstream(dir.File("files/") + name) << "";
  struct Case {
    std::vector<std::string> words;
    std::string offered;
  };
  const std::vector<Case> cases = {
      {{"mendora-cli", "rec"}, "recover"},
      {{"mendora-cli", "ex"}, "export"},
      {{"mendora-cli", "--v"}, "--version"},
      {{"mendora-cli", "recover", "--ou"}, "--out-dir"},
      {{"mendora-cli", "dump", "--ole", "r"}, "raw"},
      {{"mendora-cli", "export", "--format", "s"}, "sql"},
      {{"mendora-cli", "export", "--format=j"}, "jsonl"},
      {{"mendora-cli", "recover", "--out-dir", ""}, "sub"},
      {{"mendora-cli", "analyze", "--password", ""}, ""},
      {{"mendora-cli", "analyze", ""}, "a.mdb b.ACCDB sub"},
      {{"mendora-cli", "analyze", "a.mdb", ""}, ""},
      {{"mendora-cli", "recover", "a.mdb", ""}, "a.mdb b.ACCDB c.sqlite sub"},
      {{"mendora-cli", "recover", "--ole", "raw", "a.mdb", ""}, "a.mdb b.ACCDB c.sqlite sub"},
      {{"mendora-cli", "recover", "--out-dir", "sub", "a.mdb", "b.ACCDB", ""}, "a.mdb b.ACCDB sub"},
      {{"mendora-cli", "export", "a.mdb", "--format", "csv", ""}, "a.mdb b.ACCDB sub"},
  };
  for (const Case& c : cases) {
    std::string typed;
    for (const std::string& word : c.words) typed += word + " ";
    EXPECT_EQ(Complete(dir, c.words), c.offered) << typed;
  }
}

}  // namespace
}  // namespace mendora
