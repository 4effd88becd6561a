// mendora-make-sample OUT.mdb [--jet3] [--rows N | --tables N]
//
// Writes the demo database, or with --rows a benchmark database holding one
// table of N rows, or with --tables one of N small tables.
#include <CLI/CLI.hpp>
#include <exception>
#include <iostream>
#include <string>

#include "tests/builder/jet_builder.h"
#include "tests/builder/sample_database.h"

namespace {

using namespace mendora::testing;

// `count` tables "T0001"... of three rows each: the cost a save pays per
// table, rather than per row, is what such a file shows.
void AddSmallTables(JetFileBuilder& builder, JetVersion version, size_t count) {
  for (size_t n = 0; n < count; ++n) {
    Table t;
    const std::string number = std::to_string(n + 1);
    t.name = "T" + std::string(number.size() < 4 ? 4 - number.size() : 0, '0') + number;
    t.columns = {Column{"ID", kLong}, Column{"Name", kText, version == JetVersion::kJet4 ? 40 : 20},
                 Column{"Amount", kDouble}};
    for (int64_t r = 0; r < 3; ++r) {
      const auto id = static_cast<int64_t>(n) * 3 + r;
      t.rows.push_back({id, "row " + std::to_string(id), r == 2 ? Value{} : Value{id / 4.0}});
    }
    builder.AddTable(t);
  }
}

}  // namespace

int main(int argc, char** argv) {
  using namespace mendora::testing;
  CLI::App app{"Writes the demo database, or with --rows a benchmark database holding one table of N rows, or with "
               "--tables one of N small tables"};
  std::string out;
  bool jet3 = false;
  bool accdb = false;  // the Jet 4 tables in an Access 2007 file
  size_t rows = 0;
  app.add_option("OUT", out, "the database file to write")->required();
  auto* jet3_flag = app.add_flag("--jet3", jet3, "a Jet 3 file (Access 97) instead of Jet 4");
  app.add_flag("--accdb", accdb, "the Jet 4 tables in an Access 2007 file")->excludes(jet3_flag);
  size_t tables = 0;
  auto* rows_option = app.add_option("--rows", rows, "write the benchmark table with N rows instead of the demo");
  auto* tables_option = app.add_option("--tables", tables, "write N small tables instead of the demo")
                            ->excludes(rows_option);
  CLI11_PARSE(app, argc, argv);
  const JetVersion version = jet3 ? JetVersion::kJet3 : JetVersion::kJet4;
  try {
    JetFileBuilder builder = accdb ? JetFileBuilder(AceVersion::kAccess2007) : JetFileBuilder(version);
    if (*rows_option) {
      AddBenchmarkTable(builder, version, rows);
    } else if (*tables_option) {
      AddSmallTables(builder, version, tables);
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
