// mendora-cli: the command-line face of Mendora.
//
//   mendora-cli catalog FILE           list the catalog rows the walk finds
//   mendora-cli analyze FILE           print the analysis log
//   mendora-cli dump FILE              print every recovered table as JSON
//   mendora-cli recover FILE OUT       write everything recovered into OUT
//   mendora-cli recover --out-dir DIR FILE...   each FILE into DIR/<stem>.sqlite
//   mendora-cli --version              the version, and SQLite's and Qt's
//   mendora-cli export FILE... --format csv|jsonl|sql --out-dir DIR
//   mendora-cli objects FILE [--out-dir DIR]   forms, reports, macros, modules
// An encrypted FILE takes --password, MENDORA_PASSWORD or a terminal prompt.
#include <sqlite3.h>
#include <sys/stat.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/commands.h"
#include "cli/export_command.h"
#include "cli/objects_command.h"
#include "cli/version.h"

namespace {

std::string VersionText() {
  std::string text = std::string("mendora-cli ") + MENDORA_VERSION + "\nSQLite " + sqlite3_libversion() +
                     " (linked; built against " + SQLITE_VERSION + ")\n";
  const std::string qt = MENDORA_QT_BUILD_VERSION;
  text += qt.empty() ? "Qt: none (the desktop app was not built; mendora-cli does not use Qt)"
                     : "Qt " + qt + " (the desktop app's, at build time; mendora-cli does not link Qt)";
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Mendora: recovers tables, rows, relations and queries from damaged Access databases"};
  app.require_subcommand(1);
  app.footer(mendora::cli::kExitCodeHelp);
  app.set_version_flag("--version", VersionText(), "print the version of mendora-cli, SQLite and Qt, and exit");

  std::string file;
  auto* catalog = app.add_subcommand("catalog", "List every catalog row the walk finds, deleted ones included");
  catalog->add_option("FILE", file, "Access database (.mdb, .mde, .accdb, .accde)")->required();

  auto* analyze = app.add_subcommand("analyze", "Read every table and print the analysis log");
  analyze->add_option("FILE", file, "Access database (.mdb, .mde, .accdb, .accde)")->required();

  auto* dump = app.add_subcommand("dump", "Print every table the walk finds as JSON");
  dump->add_option("FILE", file, "Access database (.mdb, .mde, .accdb, .accde)")->required();
  std::string ole = "file";
  const char* ole_help = "OLE objects: 'file' stores the picture or document inside Access's wrapper, 'raw' the stored bytes";
  dump->add_option("--ole", ole, ole_help)->check(CLI::IsMember({"file", "raw"}));

  bool force = false;
  bool verbose = false;
  bool deleted = false;
  std::vector<std::string> recover_paths;
  std::string out_dir;
  auto* recover = app.add_subcommand("recover", "Write everything recovered into a new SQLite database");
  recover->add_option("PATHS", recover_paths,
                      "FILE OUT: the Access database and the new SQLite database to create; with --out-dir: FILE..., "
                      "one or more Access databases")
      ->required()
      ->type_name("FILE OUT | FILE...");
  recover->add_option("--out-dir", out_dir,
                      "recover every FILE into DIR/<name>.sqlite (made distinct with -2, -3, ...), one summary line "
                      "per file; the exit code is the worst file's")
      ->type_name("DIR");
  recover->add_flag("--force", force, "replace OUT if it exists (only once the new file is complete)");
  recover->add_option("--ole", ole, ole_help)->check(CLI::IsMember({"file", "raw"}));

  bool quiet = false;
  for (CLI::App* command : {analyze, dump, recover}) {
    auto* verbose_flag = command->add_flag("--verbose", verbose, "show every damage report, not only the first of each table");
    command->add_flag("--quiet,-q", quiet, "no progress line, damage notes or recover log: only errors and the loss account")
        ->excludes(verbose_flag);
    command->add_flag("--deleted", deleted, "also recover deleted rows that still read whole, as 'NAME (deleted rows)'");
  }
  std::optional<std::string> password;
  for (CLI::App* command : {catalog, analyze, dump, recover}) {
    command->add_option("--password", password,
                        "password of an encrypted FILE (other users may see it in the process list: prefer "
                        "MENDORA_PASSWORD, or leave both out to be asked on the terminal)");
  }

  mendora::cli::ExportCommand export_command(app);
  mendora::cli::ObjectsCommand objects_command(app);

  CLI11_PARSE(app, argc, argv);
  if (*recover && out_dir.empty() && recover_paths.size() != 2) {
    return app.exit(CLI::ValidationError("PATHS", "recover takes FILE and OUT, or --out-dir DIR and FILE..."));
  }
  if (export_command.Parsed()) return export_command.Run(std::cout);
  if (objects_command.Parsed()) return objects_command.Run(std::cout);
  mendora::cli::SetVerbose(verbose);
  mendora::cli::SetQuiet(quiet);
  mendora::cli::SetProgressDisplay(quiet ? mendora::cli::ProgressLine::Display::kHidden
                                         : mendora::cli::ProgressLine::ForStandardError());
  mendora::cli::SetRecoverDeleted(deleted);
  if (!password) {
    if (const char* env = std::getenv("MENDORA_PASSWORD"); env != nullptr) password = std::string(env);
  }
  mendora::cli::SetPassword(std::move(password));

  if (*catalog) return mendora::cli::RunCatalog(file, std::cout);
  if (*analyze) return mendora::cli::RunAnalyze(file, std::cout);
  const auto storage = ole == "raw" ? mendora::OleStorage::kRaw : mendora::OleStorage::kUnwrap;
  if (*dump) return mendora::cli::RunDump(file, std::cout, storage);
  if (*recover && !out_dir.empty()) {
    return mendora::cli::RunRecoverMany(recover_paths, out_dir, force, std::cout, storage);
  }
  if (*recover) return mendora::cli::RunRecover(recover_paths[0], recover_paths[1], force, std::cout, storage);
  return 1;
}
