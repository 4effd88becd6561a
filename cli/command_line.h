// The command line of mendora-cli around its commands: the program's own
// options, the exit codes under the main --help, the hidden option that
// writes the manual page and the bash completion from the same definitions,
// and one clear message for a command line that is not understood.
//
// A command is a class that adds its subcommand to the app in its
// constructor and says whether it was Parsed() and Run()s it; main.cc makes
// one of each, then parses.
#ifndef MENDORA_CLI_COMMAND_LINE_H_
#define MENDORA_CLI_COMMAND_LINE_H_

#include <CLI/CLI.hpp>
#include <optional>
#include <string>

namespace mendora::cli {

// The options every command that runs a pass shares.
struct PassOptions {
  bool verbose = false;
  bool quiet = false;
  bool deleted = false;
  std::optional<std::string> password;
  int code_page = 0;  // 0: the one the file names
  unsigned jobs = 0;  // 0: the default

  // --verbose, --quiet, --deleted, --jobs (when the command reads rows),
  // --password and --code-page on `command`.
  void AddTo(CLI::App& command, bool reads_rows = true);
  // Makes them the run's settings; the password from MENDORA_PASSWORD when
  // none was given.
  void Apply();
};

// --jobs N: the threads that decode rows (0, when not given: the default, one).
CLI::Option* AddJobsOption(CLI::App& command, unsigned& jobs);

// The value of --ole: "file" or "raw".
CLI::Option* AddOleOption(CLI::App& command, std::string& ole);

// The program's name, description and --version (printing `version_text`),
// and the hidden --write-docs DIR, which writes DIR/mendora-cli.1 and
// DIR/completion/mendora-cli from every command added by the time the
// command line is parsed.
void SetUpProgram(CLI::App& app, const std::string& version_text);

// Parses the command line once every command is added. An exit code when the
// run ends here: help or version printed, documentation written (0), or a
// command line not understood (100-127, after one message on stderr naming
// what was wrong and the commands or options there are).
std::optional<int> ParseCommandLine(CLI::App& app, int argc, char** argv);

// The command closest to `word` (a slip of up to two letters, or the start
// of a command), or nothing.
std::optional<std::string> ClosestCommand(const CLI::App& app, const std::string& word);

}  // namespace mendora::cli

#endif  // MENDORA_CLI_COMMAND_LINE_H_
