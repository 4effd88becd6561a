// mendora-cli: the command-line face of Mendora.
//
//   mendora-cli catalog FILE           list the catalog rows the walk finds
//   mendora-cli analyze FILE           print the analysis log
//   mendora-cli dump FILE              print every recovered table as JSON
//   mendora-cli recover FILE OUT       write everything recovered into OUT
//   mendora-cli recover --out-dir DIR FILE...   each FILE into DIR/<stem>.sqlite
//   mendora-cli --version              the version, and SQLite's and Qt's
//   mendora-cli export FILE... --format csv|jsonl|sql --out-dir DIR
// An encrypted FILE takes --password, MENDORA_PASSWORD or a terminal prompt.
//
// A command is added by one line below and run by one more; its options come
// into --help, the manual page and the bash completion by themselves.
#include <sqlite3.h>

#include <CLI/CLI.hpp>
#include <iostream>
#include <string>

#include "cli/command_line.h"
#include "cli/export_command.h"
#include "cli/pass_commands.h"
#include "cli/report_option.h"
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
  mendora::cli::SetUpProgram(app, VersionText());

  mendora::cli::CatalogCommand catalog(app);
  mendora::cli::AnalyzeCommand analyze(app);
  mendora::cli::DumpCommand dump(app);
  mendora::cli::RecoverCommand recover(app);
  mendora::cli::ExportCommand export_command(app);

  mendora::cli::ReportOption report(app, {"analyze", "recover", "export"}, argc, argv);

  if (const auto done = mendora::cli::ParseCommandLine(app, argc, argv)) return *done;
  int code = 1;
  if (catalog.Parsed()) code = catalog.Run(std::cout);
  if (analyze.Parsed()) code = analyze.Run(std::cout);
  if (dump.Parsed()) code = dump.Run(std::cout);
  if (recover.Parsed()) code = recover.Run(std::cout);
  if (export_command.Parsed()) code = export_command.Run(std::cout);
  return report.Finish(code);
}
