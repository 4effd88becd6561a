// Writing the bash completion script.
#include "cli/bash_completion.h"

#include <algorithm>
#include <set>

namespace mendora::cli {

namespace {

constexpr const char* kAccessFiles = "mdb|mde|accdb|accde|MDB|MDE|ACCDB|ACCDE";
constexpr const char* kSqliteFiles = "sqlite|sqlite3|db";

// Only plain words go into the script: a name with anything else in it is
// left out rather than risk a broken or unsafe script.
bool Plain(const std::string& word) {
  return !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
           c == '.' || c == '+';
  });
}

std::string Joined(const std::vector<std::string>& words, const char* separator = " ") {
  std::string text;
  for (const std::string& word : words) {
    if (Plain(word)) text += (text.empty() ? "" : separator) + word;
  }
  return text;
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// How an option's value completes: a bash statement, or empty for nothing.
std::string ValueCompletion(const OptionModel& option) {
  if (!option.choices.empty()) return "COMPREPLY=($(compgen -W \"" + Joined(option.choices) + "\" -- \"$cur\"))";
  bool dir = option.value == "DIR";
  bool secret = option.value == "PASSWORD";
  for (const std::string& name : option.names) {
    dir = dir || EndsWith(name, "-dir");
    secret = secret || name.find("password") != std::string::npos;
  }
  if (dir) return "_filedir -d";
  if (secret) return ":";
  if (option.value == "INT" || option.value == "UINT" || option.value == "FLOAT" || option.value == "NUMBER") return ":";
  return "_filedir";
}

// The arguments' words at each position, options and their values left out;
// a word ending in "..." stands for every position from its own on.
struct ArgumentWords {
  std::vector<std::set<std::string>> at;
  std::set<std::string> repeated;
};

ArgumentWords ReadArguments(const CommandModel& command) {
  ArgumentWords words;
  std::vector<std::vector<std::string>> forms = {{}};
  for (const PositionalModel& positional : command.positionals) {
    std::vector<std::vector<std::string>> longer;
    for (const auto& head : forms) {
      for (const auto& form : positional.forms) {
        std::vector<std::string> both = head;
        for (size_t i = 0; i < form.size(); ++i) {
          if (form[i].rfind("-", 0) == 0) {
            ++i;  // an option and its value
          } else {
            both.push_back(form[i]);
          }
        }
        longer.push_back(both);
      }
    }
    forms = longer;
  }
  for (const auto& form : forms) {
    for (size_t i = 0; i < form.size(); ++i) {
      std::string word = form[i];
      const bool repeats = EndsWith(word, "...");
      if (repeats) word.resize(word.size() - 3);
      if (words.at.size() <= i) words.at.resize(i + 1);
      words.at[i].insert(word);
      if (repeats) words.repeated.insert(word);
    }
  }
  return words;
}

// How an argument of these words completes.
std::string ArgumentCompletion(const std::set<std::string>& words) {
  if (words.empty()) return ":";
  if (words == std::set<std::string>{"DIR"}) return "_filedir -d";
  std::string extensions;
  for (const std::string& word : words) {
    if (word == "FILE") {
      extensions += std::string(extensions.empty() ? "" : "|") + kAccessFiles;
    } else if (word == "OUT") {
      extensions += std::string(extensions.empty() ? "" : "|") + kSqliteFiles;
    } else if (word != "DIR") {
      return "_filedir";  // a file of any kind
    }
  }
  return "_filedir '" + extensions + "'";
}

}  // namespace

std::string BashCompletion(const ProgramModel& program) {
  std::vector<std::string> names;
  for (const CommandModel& command : program.commands) {
    if (Plain(command.name)) names.push_back(command.name);
  }
  std::vector<std::string> top = names;
  top.push_back("--help");
  for (const OptionModel& option : program.options) top.insert(top.end(), option.names.begin(), option.names.end());

  std::string script =
      "# bash completion for mendora-cli, written by `mendora-cli --write-docs DIR` from the same\n"
      "# definitions as its --help: the commands, their options, the values an option names, and\n"
      "# Access or SQLite files where the arguments take them.\n"
      "_mendora_cli() {\n"
      "  local cur prev words cword split\n"
      "  _init_completion -s || return\n"
      "\n"
      "  local command=\"\" at=0 i\n"
      "  for ((i = 1; i < cword; i++)); do\n"
      "    case \"${words[i]}\" in\n"
      "      " + Joined(names, " | ") + ") command=${words[i]}; at=$i; break ;;\n"
      "    esac\n"
      "  done\n"
      "  if [[ -z $command ]]; then\n"
      "    COMPREPLY=($(compgen -W \"" + Joined(top) + "\" -- \"$cur\"))\n"
      "    return\n"
      "  fi\n"
      "\n"
      "  # The value of an option.\n"
      "  case \"$command $prev\" in\n";
  std::string takes_value;
  for (const CommandModel& command : program.commands) {
    if (!Plain(command.name)) continue;
    for (const OptionModel& option : command.options) {
      if (option.value.empty()) continue;
      for (const std::string& name : option.names) {
        if (!Plain(name)) continue;
        script += "    \"" + command.name + " " + name + "\") " + ValueCompletion(option) + "; return ;;\n";
        takes_value += std::string(takes_value.empty() ? "" : " | ") + "\"" + command.name + " " + name + "\"";
      }
    }
  }
  script +=
      "  esac\n"
      "\n"
      "  if [[ $cur == -* ]]; then\n"
      "    case \"$command\" in\n";
  for (const CommandModel& command : program.commands) {
    if (!Plain(command.name)) continue;
    std::vector<std::string> options = {"--help"};
    for (const OptionModel& option : command.options) options.insert(options.end(), option.names.begin(), option.names.end());
    script += "      " + command.name + ") COMPREPLY=($(compgen -W \"" + Joined(options) + "\" -- \"$cur\")) ;;\n";
  }
  script +=
      "    esac\n"
      "    return\n"
      "  fi\n"
      "\n"
      "  # Which argument this is: the words after the command that are neither\n"
      "  # options nor their values.\n"
      "  local position=0\n"
      "  for ((i = at + 1; i < cword; i++)); do\n"
      "    case \"$command ${words[i]}\" in\n";
  if (!takes_value.empty()) script += "      " + takes_value + ") ((i++)) ;;\n";
  script +=
      "      \"$command \"-*) ;;\n"
      "      *) ((position++)) ;;\n"
      "    esac\n"
      "  done\n"
      "  case \"$command $position\" in\n";
  for (const CommandModel& command : program.commands) {
    if (!Plain(command.name)) continue;
    const ArgumentWords arguments = ReadArguments(command);
    for (size_t i = 0; i < arguments.at.size(); ++i) {
      std::set<std::string> here = arguments.at[i];
      // A repeating word of an earlier position may stand here too.
      for (size_t j = 0; j < i; ++j) {
        for (const std::string& word : arguments.at[j]) {
          if (arguments.repeated.count(word) > 0) here.insert(word);
        }
      }
      script += "    \"" + command.name + " " + std::to_string(i) + "\") " + ArgumentCompletion(here) + " ;;\n";
    }
    script += "    \"" + command.name + " \"*) " +
              (arguments.repeated.empty() ? std::string(":") : ArgumentCompletion(arguments.repeated)) + " ;;\n";
  }
  script +=
      "  esac\n"
      "} && complete -F _mendora_cli mendora-cli\n";
  return script;
}

}  // namespace mendora::cli
