// mendora-cli check: says whether an Access file is damaged, and where,
// without changing it.
#ifndef MENDORA_CLI_CHECK_COMMAND_H_
#define MENDORA_CLI_CHECK_COMMAND_H_

#include <CLI/CLI.hpp>
#include <optional>
#include <ostream>
#include <string>

#include "cli/command_line.h"

namespace mendora::cli {

// Checks `file` and prints what was checked, every problem (table, page,
// row) and what could not be verified. Exit code 0 when the file is sound,
// 4 when it has problems, else that of the open (2, 5, 6, 8) or 7 when the
// report could not be written.
int RunCheck(const std::string& file, std::ostream& out);

// The `check` subcommand on `app`; Run applies it.
class CheckCommand {
 public:
  explicit CheckCommand(CLI::App& app);
  bool Parsed() const { return command_->parsed(); }
  int Run(std::ostream& out);

 private:
  CLI::App* command_;
  std::string file_;
  PassOptions options_;
};

}  // namespace mendora::cli

#endif  // MENDORA_CLI_CHECK_COMMAND_H_
