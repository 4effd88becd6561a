// The arguments and options of catalog, analyze, dump and recover.
#include "cli/pass_commands.h"

#include "cli/commands.h"

namespace mendora::cli {

namespace {

constexpr const char* kFileHelp = "Access database (.mdb, .mde, .accdb, .accde)";

OleStorage StorageNamed(const std::string& ole) { return ole == "raw" ? OleStorage::kRaw : OleStorage::kUnwrap; }

}  // namespace

CatalogCommand::CatalogCommand(CLI::App& app) {
  command_ = app.add_subcommand("catalog", "List every catalog row the walk finds, deleted ones included");
  command_->add_option("FILE", file_, kFileHelp)->required();
  options_.AddTo(*command_, false);
}

int CatalogCommand::Run(std::ostream& out) {
  options_.Apply();
  return RunCatalog(file_, out);
}

AnalyzeCommand::AnalyzeCommand(CLI::App& app) {
  command_ = app.add_subcommand("analyze", "Read every table and print the analysis log");
  command_->add_option("FILE", file_, kFileHelp)->required();
  options_.AddTo(*command_);
}

int AnalyzeCommand::Run(std::ostream& out) {
  options_.Apply();
  return RunAnalyze(file_, out);
}

DumpCommand::DumpCommand(CLI::App& app) {
  command_ = app.add_subcommand("dump", "Print every table the walk finds as JSON");
  command_->add_option("FILE", file_, kFileHelp)->required();
  AddOleOption(*command_, ole_);
  options_.AddTo(*command_);
}

int DumpCommand::Run(std::ostream& out) {
  options_.Apply();
  return RunDump(file_, out, StorageNamed(ole_));
}

RecoverCommand::RecoverCommand(CLI::App& app) {
  command_ = app.add_subcommand("recover", "Write everything recovered into a new SQLite database");
  command_
      ->add_option("PATHS", paths_,
                   "FILE OUT: the Access database and the new SQLite database to create; with --out-dir: FILE..., "
                   "one or more Access databases")
      ->required()
      ->type_name("FILE OUT | --out-dir DIR FILE...");
  command_
      ->add_option("--out-dir", out_dir_,
                   "recover every FILE into DIR/<name>.sqlite (made distinct with -2, -3, ...), one summary line "
                   "per file; the exit code is the worst file's")
      ->type_name("DIR");
  command_->add_flag("--force", force_, "replace OUT if it exists (only once the new file is complete)");
  AddOleOption(*command_, ole_);
  options_.AddTo(*command_);
  command_->final_callback([this] {
    if (out_dir_.empty() && paths_.size() != 2) {
      throw CLI::ValidationError("recover takes FILE and OUT, or --out-dir DIR and FILE...");
    }
  });
}

int RecoverCommand::Run(std::ostream& out) {
  options_.Apply();
  if (!out_dir_.empty()) return RunRecoverMany(paths_, out_dir_, force_, out, StorageNamed(ole_));
  return RunRecover(paths_[0], paths_[1], force_, out, StorageNamed(ole_));
}

}  // namespace mendora::cli
