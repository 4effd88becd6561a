// The command-line definitions of catalog, analyze, dump and recover, each a
// class that adds its subcommand and runs it when it was given.
#ifndef MENDORA_CLI_PASS_COMMANDS_H_
#define MENDORA_CLI_PASS_COMMANDS_H_

#include <CLI/CLI.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "cli/command_line.h"

namespace mendora::cli {

class CatalogCommand {
 public:
  explicit CatalogCommand(CLI::App& app);
  bool Parsed() const { return command_->parsed(); }
  int Run(std::ostream& out);

 private:
  CLI::App* command_;
  std::string file_;
  PassOptions options_;
};

class AnalyzeCommand {
 public:
  explicit AnalyzeCommand(CLI::App& app);
  bool Parsed() const { return command_->parsed(); }
  int Run(std::ostream& out);

 private:
  CLI::App* command_;
  std::string file_;
  PassOptions options_;
};

class DumpCommand {
 public:
  explicit DumpCommand(CLI::App& app);
  bool Parsed() const { return command_->parsed(); }
  int Run(std::ostream& out);

 private:
  CLI::App* command_;
  std::string file_;
  std::string ole_ = "file";
  PassOptions options_;
};

class RecoverCommand {
 public:
  explicit RecoverCommand(CLI::App& app);
  bool Parsed() const { return command_->parsed(); }
  int Run(std::ostream& out);

 private:
  CLI::App* command_;
  std::vector<std::string> paths_;
  std::string out_dir_;
  bool force_ = false;
  std::string ole_ = "file";
  PassOptions options_;
};

}  // namespace mendora::cli

#endif  // MENDORA_CLI_PASS_COMMANDS_H_
