// mendora-cli: the command-line face of Mendora.
//
//   mendora-cli catalog FILE           list the catalog rows the walk finds
//   mendora-cli analyze FILE           print the analysis log
//   mendora-cli dump FILE              print every recovered table as JSON
#include <sys/stat.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/commands.h"

int main(int argc, char** argv) {
  CLI::App app{"Mendora: recovers tables, rows, relations and queries from damaged Access databases"};
  app.require_subcommand(1);
  app.footer(
      "Exit codes:\n"
      "  0    everything found was recovered\n"
      "  2    the file could not be opened, or is not a Jet 3 or Jet 4 database\n"
      "  3    the pass stopped before its end, or the new database could not be written\n"
      "  4    the pass completed, but rows or values were lost (listed on stderr)\n"
      "  5    the file holds data pages, but no row could be recovered from them\n"
      "  130  interrupted (Ctrl-C, hang-up or termination); nothing was left behind");

  std::string file;
  auto* catalog = app.add_subcommand("catalog", "List every catalog row the walk finds, deleted ones included");
  catalog->add_option("FILE", file, "Jet 3 or Jet 4 database (.mdb, .mde)")->required();

  auto* analyze = app.add_subcommand("analyze", "Read every table and print the analysis log");
  analyze->add_option("FILE", file, "Jet 3 or Jet 4 database (.mdb, .mde)")->required();

  auto* dump = app.add_subcommand("dump", "Print every table the walk finds as JSON");
  dump->add_option("FILE", file, "Jet 3 or Jet 4 database (.mdb, .mde)")->required();
  std::string ole = "file";
  const char* ole_help = "OLE objects: 'file' stores the picture or document inside Access's wrapper, 'raw' the stored bytes";
  dump->add_option("--ole", ole, ole_help)->check(CLI::IsMember({"file", "raw"}));

  std::string out;
  bool force = false;
  auto* recover = app.add_subcommand("recover", "Write everything recovered into a new SQLite database");
  recover->add_option("FILE", file, "Jet 3 or Jet 4 database (.mdb, .mde)")->required();
  recover->add_option("OUT", out, "the new SQLite database to create")->required();
  recover->add_flag("--force", force, "replace OUT if it exists (only once the new file is complete)");
  recover->add_option("--ole", ole, ole_help)->check(CLI::IsMember({"file", "raw"}));

  CLI11_PARSE(app, argc, argv);

  if (*catalog) return mendora::cli::RunCatalog(file, std::cout);
  if (*analyze) return mendora::cli::RunAnalyze(file, std::cout);
  const auto storage = ole == "raw" ? mendora::OleStorage::kRaw : mendora::OleStorage::kUnwrap;
  if (*dump) return mendora::cli::RunDump(file, std::cout, storage);
  if (*recover) return mendora::cli::RunRecover(file, out, force, std::cout, storage);
  return 1;
}
