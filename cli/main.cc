// mendora-cli: the command-line face of Mendora.
//
//   mendora-cli catalog FILE           list the catalog rows the walk finds
//   mendora-cli analyze FILE           print the analysis log
//   mendora-cli dump FILE              print every recovered table as JSON
//   mendora-cli recover FILE OUT       write everything recovered into OUT
//   mendora-cli export FILE... --format csv|jsonl|sql --out-dir DIR
// An encrypted FILE takes --password, MENDORA_PASSWORD or a terminal prompt.
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

int main(int argc, char** argv) {
  CLI::App app{"Mendora: recovers tables, rows, relations and queries from damaged Access databases"};
  app.require_subcommand(1);
  app.footer(mendora::cli::kExitCodeHelp);

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

  std::string out;
  bool force = false;
  bool verbose = false;
  bool deleted = false;
  auto* recover = app.add_subcommand("recover", "Write everything recovered into a new SQLite database");
  recover->add_option("FILE", file, "Access database (.mdb, .mde, .accdb, .accde)")->required();
  recover->add_option("OUT", out, "the new SQLite database to create")->required();
  recover->add_flag("--force", force, "replace OUT if it exists (only once the new file is complete)");
  recover->add_option("--ole", ole, ole_help)->check(CLI::IsMember({"file", "raw"}));

  for (CLI::App* command : {analyze, dump, recover}) {
    command->add_flag("--verbose", verbose, "show every damage report, not only the first of each table");
    command->add_flag("--deleted", deleted, "also recover deleted rows that still read whole, as 'NAME (deleted rows)'");
  }
  std::optional<std::string> password;
  for (CLI::App* command : {catalog, analyze, dump, recover}) {
    command->add_option("--password", password,
                        "password of an encrypted FILE (other users may see it in the process list: prefer "
                        "MENDORA_PASSWORD, or leave both out to be asked on the terminal)");
  }

  mendora::cli::ExportCommand export_command(app);

  CLI11_PARSE(app, argc, argv);
  if (export_command.Parsed()) return export_command.Run(std::cout);
  mendora::cli::SetVerbose(verbose);
  mendora::cli::SetRecoverDeleted(deleted);
  if (!password) {
    if (const char* env = std::getenv("MENDORA_PASSWORD"); env != nullptr) password = std::string(env);
  }
  mendora::cli::SetPassword(std::move(password));

  if (*catalog) return mendora::cli::RunCatalog(file, std::cout);
  if (*analyze) return mendora::cli::RunAnalyze(file, std::cout);
  const auto storage = ole == "raw" ? mendora::OleStorage::kRaw : mendora::OleStorage::kUnwrap;
  if (*dump) return mendora::cli::RunDump(file, std::cout, storage);
  if (*recover) return mendora::cli::RunRecover(file, out, force, std::cout, storage);
  return 1;
}
