// mendora-make-sample OUT.mdb [--jet3] [--rows N]
//
// Writes the demo database, or with --rows a benchmark database holding one
// table of N rows.
#include <CLI/CLI.hpp>
#include <exception>
#include <iostream>
#include <string>

#include "tests/builder/jet_builder.h"
#include "tests/builder/sample_database.h"

int main(int argc, char** argv) {
  using namespace mendora::testing;
  CLI::App app{"Writes the demo database, or with --rows a benchmark database holding one table of N rows"};
  std::string out;
  bool jet3 = false;
  bool accdb = false;  // the Jet 4 tables in an Access 2007 file
  size_t rows = 0;
  app.add_option("OUT", out, "the database file to write")->required();
  auto* jet3_flag = app.add_flag("--jet3", jet3, "a Jet 3 file (Access 97) instead of Jet 4");
  app.add_flag("--accdb", accdb, "the Jet 4 tables in an Access 2007 file")->excludes(jet3_flag);
  auto* rows_option = app.add_option("--rows", rows, "write the benchmark table with N rows instead of the demo");
  CLI11_PARSE(app, argc, argv);
  const JetVersion version = jet3 ? JetVersion::kJet3 : JetVersion::kJet4;
  try {
    JetFileBuilder builder = accdb ? JetFileBuilder(AceVersion::kAccess2007) : JetFileBuilder(version);
    if (*rows_option) {
      AddBenchmarkTable(builder, version, rows);
    } else {
      AddDemoDatabase(builder, version);
    }
    builder.WriteTo(out);
  } catch (const std::exception& e) {
    std::cerr << "mendora-make-sample: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
