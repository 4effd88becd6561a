// mendora-cli export: every recovered table of one or more sources written
// as CSV files, JSON Lines or a SQL script into a folder.
#ifndef MENDORA_CLI_EXPORT_COMMAND_H_
#define MENDORA_CLI_EXPORT_COMMAND_H_

#include <CLI/CLI.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "recovery/recovery_output.h"

namespace mendora::cli {

struct ExportRequest {
  std::vector<std::string> files;
  std::string format;   // "csv", "jsonl" or "sql"
  std::string dialect;  // for "sql": "postgresql", "mysql" or "sqlite"
  std::string out_dir;
  std::string blobs_dir;  // empty: binary values inline
  bool bom = false;       // CSV: a UTF-8 byte-order mark first
  OleStorage ole = OleStorage::kUnwrap;
};

// Exports every file in turn: one summary line per file on `out`, messages
// on stderr. A single file writes straight into the folder, several each
// into a subfolder named after it. The exit code is the worst of the files'
// (a failure over losses over success); an interrupt stops the rest.
int RunExport(const ExportRequest& request, std::ostream& out);

// The worse of two exit codes.
int WorseExitCode(int a, int b);

// The `export` subcommand on `app`, with its options; Run applies them.
class ExportCommand {
 public:
  explicit ExportCommand(CLI::App& app);
  bool Parsed() const { return command_->parsed(); }
  int Run(std::ostream& out);

 private:
  CLI::App* command_;
  ExportRequest request_;
  std::string ole_ = "file";
  bool verbose_ = false;
  bool quiet_ = false;
  bool deleted_ = false;
  std::optional<std::string> password_;
  int code_page_ = 0;
  unsigned jobs_ = 0;
};

}  // namespace mendora::cli

#endif  // MENDORA_CLI_EXPORT_COMMAND_H_
