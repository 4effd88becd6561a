// Writing mendora-cli(1).
#include "cli/manual_page.h"

#include <algorithm>
#include <map>
#include <set>
#include <sstream>

#include "cli/exit_codes.h"

namespace mendora::cli {

namespace {

// What the page says in prose; the rest is written from the definitions.
constexpr const char* kHead = R"(.\" The manual page of mendora-cli, written by `mendora-cli --write-docs DIR`
.\" from the same definitions as its --help.
.TH MENDORA\-CLI 1 "December 2026" "Mendora" "User Commands"
.nh
.ad l
.SH NAME
mendora\-cli \- recover tables, rows, relations and queries from damaged Access databases
)";

constexpr const char* kDescription = R"(.SH DESCRIPTION
.B mendora\-cli
reads a damaged Microsoft Access database (Jet 3 and Jet 4
.IR .mdb / .mde ,
Access 2007 to 2019
.IR .accdb / .accde )
page by page with its own reader, never through a database engine, and
recovers what it holds into a new SQLite database or prints it.
The source file is only ever opened read\-only.
A save is built in a temporary file beside
.I OUT
and moved into place only when it is complete: a failed or interrupted save
leaves nothing behind.
.PP
What could not be recovered is counted and named: each loss has a line on
standard error, and a loss account (one line per table that lost anything,
and a total) follows the pass.
)";

constexpr const char* kTail = R"(.SH PROGRESS
When standard error is a terminal, a command that reads a whole file shows
a progress line on it, rewritten in place: how much of the pass is done (in
pages read of the pages it expects to read), the rows so far, the time spent
and the time left, and the table being read.
.B dump
shows none when its document goes to the terminal too.
When standard error is not a terminal, nothing is written to it but messages
and the loss account.
.SH ENVIRONMENT
.TP
.B MENDORA_PASSWORD
The password of an encrypted file, when
.B \-\-password
is not given.
.TP
.B MENDORA_DEBUG_STOP_AT
.BR commit ", " fsync ", " rename " or " published :
a save stops itself (SIGSTOP) at that moment, for tests and for reproducing
a report.
)";

constexpr const char* kExamples = R"(.SH EXAMPLES
.nf
mendora\-cli analyze damaged.mdb
mendora\-cli recover damaged.mdb out.sqlite
mendora\-cli recover \-\-quiet \-\-out\-dir recovered/ *.mdb *.accdb
mendora\-cli export damaged.mdb \-\-format csv \-\-out\-dir out/
MENDORA_PASSWORD=secret mendora\-cli recover locked.accdb out.sqlite
.fi
.SH SEE ALSO
.BR mendora (1),
.BR sqlite3 (1)
)";

// The names a command line's arguments go by, set in italics.
const std::set<std::string> kArgumentNames = {"FILE", "OUT", "DIR", "NAME", "PASSWORD", "COMMAND"};

std::string Escape(const std::string& text, bool hyphens) {
  std::string out;
  for (char c : text) {
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-' && hyphens) {
      out += "\\-";
    } else {
      out += c;
    }
  }
  return out;
}

std::string Bold(const std::string& text) { return "\\fB" + Escape(text, true) + "\\fR"; }
std::string Italic(const std::string& text) { return "\\fI" + Escape(text, true) + "\\fR"; }

bool IsOptionName(const std::string& word) {
  return word.size() >= 2 && word[0] == '-' &&
         ((word[1] >= 'a' && word[1] <= 'z') || (word[1] == '-' && word.size() > 2 && word[2] >= 'a' && word[2] <= 'z'));
}

// One word of text, its option name or argument name set off.
std::string RoffWord(const std::string& word) {
  size_t begin = 0;
  while (begin < word.size() && std::string("('\"").find(word[begin]) != std::string::npos) ++begin;
  size_t end = word.size();
  while (end > begin && std::string(".,;:)'\"").find(word[end - 1]) != std::string::npos) --end;
  std::string core = word.substr(begin, end - begin);
  std::string repeat;
  if (core.size() > 3 && core.compare(core.size() - 3, 3, "...") == 0) {
    repeat = "...";
    core.resize(core.size() - 3);
  }
  std::string styled;
  if (IsOptionName(core)) {
    styled = Bold(core);
  } else if (kArgumentNames.count(core) > 0) {
    styled = Italic(core);
  } else {
    return Escape(word, false);
  }
  return Escape(word.substr(0, begin), false) + styled + repeat + Escape(word.substr(end), false);
}

// A --help fragment as a sentence: capitalised (unless it starts with one
// of `literals`, such as a value the option takes), with a full stop.
std::string Sentence(std::string text, const std::vector<std::string>& literals = {}) {
  if (text.empty()) return text;
  const std::string first = text.substr(0, text.find_first_of(" :,"));
  const bool literal = std::find(literals.begin(), literals.end(), first) != literals.end();
  if (!literal && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 'a' + 'A');
  const char last = text.back();
  if (last != '.' && last != '!' && last != '?') text += '.';
  return text;
}

std::string FormText(const std::vector<std::string>& form) {
  std::string text;
  for (size_t i = 0; i < form.size(); ++i) {
    const std::string& word = form[i];
    text += i == 0 ? "" : " ";
    if (IsOptionName(word)) {
      text += Bold(word);
    } else if (word.size() > 3 && word.compare(word.size() - 3, 3, "...") == 0) {
      text += Italic(word.substr(0, word.size() - 3)) + "\\&...";
    } else {
      text += Italic(word);
    }
  }
  return text;
}

// Every way the command is given: with each form of its arguments.
std::vector<std::string> CommandForms(const CommandModel& command) {
  std::vector<std::vector<std::string>> forms = {{}};
  for (const PositionalModel& positional : command.positionals) {
    std::vector<std::vector<std::string>> longer;
    for (const auto& head : forms) {
      for (const auto& form : positional.forms) {
        std::vector<std::string> both = head;
        both.insert(both.end(), form.begin(), form.end());
        longer.push_back(both);
      }
    }
    forms = longer;
  }
  std::vector<std::string> texts;
  for (const auto& form : forms) texts.push_back(FormText(form));
  return texts;
}

std::string OptionTag(const OptionModel& option) {
  std::string tag;
  std::vector<std::string> names = option.names;
  // Short names first, as a reader looks for them.
  std::stable_partition(names.begin(), names.end(), [](const std::string& name) { return name.rfind("--", 0) != 0; });
  for (const std::string& name : names) tag += (tag.empty() ? "" : ", ") + Bold(name);
  if (!option.choices.empty()) {
    std::string choices;
    for (const std::string& choice : option.choices) choices += (choices.empty() ? "" : "|") + Bold(choice);
    tag += " " + choices;
  } else if (!option.value.empty()) {
    tag += " " + Italic(option.value);
  }
  return tag;
}

std::string Synopsis(const ProgramModel& program) {
  std::string text = ".SH SYNOPSIS\n";
  for (const CommandModel& command : program.commands) {
    for (const std::string& form : CommandForms(command)) {
      text += ".B mendora\\-cli " + Escape(command.name, true) + "\n";
      if (!command.options.empty()) text += ".RI [ options ]\n";
      if (!form.empty()) text += form + "\n";
      text += ".br\n";
    }
  }
  return text + ".B mendora\\-cli \\-\\-version\n.br\n.B mendora\\-cli\n.RI [ COMMAND ]\n.B \\-\\-help\n";
}

std::string Commands(const ProgramModel& program) {
  std::string text = ".SH COMMANDS\n";
  for (const CommandModel& command : program.commands) {
    const std::vector<std::string> forms = CommandForms(command);
    for (size_t i = 0; i < forms.size(); ++i) {
      text += std::string(i == 0 ? ".TP\n" : ".TQ\n") + Bold(command.name) + (forms[i].empty() ? "" : " " + forms[i]) +
              "\n";
    }
    text += RoffText(Sentence(command.description));
    for (const PositionalModel& positional : command.positionals) {
      const std::string first = positional.forms.empty() || positional.forms[0].empty() ? positional.name
                                                                                          : positional.forms[0][0];
      const std::string said = positional.description.rfind(first, 0) == 0 ? positional.description
                                                                            : first + ": " + positional.description;
      text += RoffText(Sentence(said));
    }
    if (!command.footer.empty()) text += ".IP\n" + RoffText(command.footer);
  }
  return text;
}

std::string Options(const ProgramModel& program) {
  // One entry for an option every command that has it describes alike,
  // with the commands that take it.
  struct Entry {
    const OptionModel* option;
    std::vector<std::string> commands;
  };
  std::vector<Entry> entries;
  std::map<std::string, size_t> index;
  for (const CommandModel& command : program.commands) {
    for (const OptionModel& option : command.options) {
      std::string key = option.value + "\n" + option.description;
      for (const std::string& name : option.names) key += "\n" + name;
      auto [it, added] = index.emplace(key, entries.size());
      if (added) entries.push_back({&option, {}});
      entries[it->second].commands.push_back(command.name);
    }
  }
  std::string text = ".SH OPTIONS\n";
  for (const Entry& entry : entries) {
    text += ".TP\n" + OptionTag(*entry.option) + "\n";
    std::string commands;
    for (const std::string& command : entry.commands) commands += (commands.empty() ? "" : ", ") + Bold(command);
    text += "(" + commands + ")\n" + RoffText(Sentence(entry.option->description, entry.option->choices));
  }
  for (const OptionModel& option : program.options) {
    text += ".TP\n" + OptionTag(option) + "\n" + RoffText(Sentence(option.description));
  }
  text += ".TP\n" + Bold("-h") + ", " + Bold("--help") + "\n" +
          RoffText("Print the commands, their descriptions and the exit codes; after a command, that command's "
                   "arguments and options.");
  return text;
}

std::string ExitStatus() {
  std::string text = ".SH EXIT STATUS\n";
  for (const ExitCodeMeaning& row : kExitCodeTable) {
    text += ".TP\n.B " + Escape(row.code, true) + "\n" + RoffText(Sentence(row.meaning));
  }
  return text + ".PP\n" + RoffText(kExitCodeOfManyFiles);
}

}  // namespace

std::string RoffText(const std::string& text) {
  std::istringstream words(text);
  std::string line;
  for (std::string word; words >> word;) line += (line.empty() ? "" : " ") + RoffWord(word);
  if (!line.empty() && (line[0] == '.' || line[0] == '\'')) line = "\\&" + line;
  return line + "\n";
}

std::string ManualPage(const ProgramModel& program) {
  return std::string(kHead) + Synopsis(program) + kDescription + Commands(program) + Options(program) + kTail +
         ExitStatus() + kExamples;
}

}  // namespace mendora::cli
