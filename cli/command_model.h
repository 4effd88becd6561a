// The command line of mendora-cli read back from its CLI11 definitions:
// every command with its arguments and options, as the manual page and the
// bash completion are written from them, so that neither can drift from
// --help.
#ifndef MENDORA_CLI_COMMAND_MODEL_H_
#define MENDORA_CLI_COMMAND_MODEL_H_

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

namespace mendora::cli {

struct OptionModel {
  std::vector<std::string> names;    // "--quiet", "-q"
  std::string value;                 // what it takes ("DIR", "PASSWORD"); empty for a flag
  std::vector<std::string> choices;  // the values it accepts, when it names them
  std::string description;
  bool required = false;
};

struct PositionalModel {
  std::string name;         // as CLI11 knows it ("FILE", "PATHS")
  // Each way of giving the arguments, word by word: "FILE OUT | --out-dir
  // DIR FILE..." is two ways. A word ending in "..." repeats.
  std::vector<std::vector<std::string>> forms;
  std::string description;
};

struct CommandModel {
  std::string name;
  std::string description;
  std::string footer;  // a command's own closing text, when it has one
  std::vector<PositionalModel> positionals;
  std::vector<OptionModel> options;  // without --help, which every command has
};

struct ProgramModel {
  std::string name;
  std::string description;
  std::vector<OptionModel> options;  // the program's own (--version), without --help and hidden ones
  std::vector<CommandModel> commands;
};

// Everything `app` defines, in the order it was defined. Hidden options (of
// the empty group) are left out.
ProgramModel ReadCommandLine(const CLI::App& app);

}  // namespace mendora::cli

#endif  // MENDORA_CLI_COMMAND_MODEL_H_
