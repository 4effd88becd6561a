// mendora-cli objects: the forms, reports, macros and VBA modules of a
// source, listed, and with --out-dir written as files.
#ifndef MENDORA_CLI_OBJECTS_COMMAND_H_
#define MENDORA_CLI_OBJECTS_COMMAND_H_

#include <CLI/CLI.hpp>
#include <optional>
#include <ostream>
#include <string>

namespace mendora::cli {

// Lists every object of `file` on `out` (kind, name, size, whether it was
// recovered, and its file) and, when `out_dir` is not empty, writes them
// there (see output/common/object_files.h). Messages and the loss account go
// to stderr; the exit code is the pass's.
int RunObjects(const std::string& file, const std::string& out_dir, std::ostream& out);

// The `objects` subcommand on `app`, with its options; Run applies them.
class ObjectsCommand {
 public:
  explicit ObjectsCommand(CLI::App& app);
  bool Parsed() const { return command_->parsed(); }
  int Run(std::ostream& out);

 private:
  CLI::App* command_;
  std::string file_;
  std::string out_dir_;
  bool quiet_ = false;
  std::optional<std::string> password_;
};

}  // namespace mendora::cli

#endif  // MENDORA_CLI_OBJECTS_COMMAND_H_
