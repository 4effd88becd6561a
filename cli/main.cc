// mendora-cli: the command-line face of Mendora.
//
//   mendora-cli catalog FILE           list the catalog rows the walk finds
//   mendora-cli analyze FILE           print the analysis log
//   mendora-cli dump FILE              print every recovered table as JSON
//   mendora-cli recover FILE OUT       write everything recovered into OUT
//   mendora-cli recover --out-dir DIR FILE...   each FILE into DIR/<stem>.mdb
//   mendora-cli --version              the version, and SQLite's and Qt's
//   mendora-cli export FILE... --format csv|jsonl|sql --out-dir DIR
//   mendora-cli objects FILE [--out-dir DIR]   forms, reports, macros, modules
// An encrypted FILE takes --password, MENDORA_PASSWORD or a terminal prompt.
//
// A command is added by one line below and run by one more; its options come
// into --help, the manual page and the bash completion by themselves.
#include <sqlite3.h>

#include <CLI/CLI.hpp>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <iostream>
#include <string>

#include "cli/check_command.h"
#include "cli/command_line.h"
#include "cli/export_command.h"
#include "cli/pass_commands.h"
#include "cli/report_option.h"
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
  // A reader that stops reading (`dump | head`) makes a write fail, which
  // the output check turns into its message and exit code 7; the signal
  // would end the program without a word.
  std::signal(SIGPIPE, SIG_IGN);
  // Memory freed at the top of the heap stays for the next allocation: given
  // back each time, as SQLite's statements free theirs, it cost a system
  // call and a flush of every core's address cache per table saved (an
  // eighth of the time of a save of a thousand small tables).
#if defined(__GLIBC__)
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
#endif
  CLI::App app{"Mendora: recovers tables, rows, relations and queries from damaged Access databases"};
  mendora::cli::SetUpProgram(app, VersionText());

  mendora::cli::CatalogCommand catalog(app);
  mendora::cli::AnalyzeCommand analyze(app);
  mendora::cli::DumpCommand dump(app);
  mendora::cli::RecoverCommand recover(app);
  mendora::cli::ExportCommand export_command(app);
  mendora::cli::CheckCommand check_command(app);
  mendora::cli::ObjectsCommand objects_command(app);

  mendora::cli::ReportOption report(app, {"analyze", "recover", "export"}, argc, argv);

  if (const auto done = mendora::cli::ParseCommandLine(app, argc, argv)) return *done;
  int code = 1;
  if (catalog.Parsed()) code = catalog.Run(std::cout);
  if (analyze.Parsed()) code = analyze.Run(std::cout);
  if (dump.Parsed()) code = dump.Run(std::cout);
  if (recover.Parsed()) code = recover.Run(std::cout);
  if (export_command.Parsed()) code = export_command.Run(std::cout);
  if (check_command.Parsed()) code = check_command.Run(std::cout);
  if (objects_command.Parsed()) code = objects_command.Run(std::cout);
  return report.Finish(code);
}
