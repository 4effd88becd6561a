// mendora-make-sample OUT.mdb [--jet3] [--rows N]
//
// Writes the demo database, or with --rows a benchmark database holding one
// table of N rows.
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>

#include "tests/builder/jet_builder.h"
#include "tests/builder/sample_database.h"

namespace {

int Usage() {
  std::cerr << "usage: mendora-make-sample OUT.mdb [--jet3 | --accdb] [--rows N]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace mendora::testing;
  std::string out;
  JetVersion version = JetVersion::kJet4;
  bool accdb = false;  // the Jet 4 tables in an Access 2007 file
  bool benchmark = false;
  size_t rows = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--jet3") {
      version = JetVersion::kJet3;
    } else if (arg == "--accdb") {
      accdb = true;
    } else if (arg == "--rows") {
      if (i + 1 >= argc) return Usage();
      char* end = nullptr;
      const unsigned long long n = std::strtoull(argv[++i], &end, 10);
      if (end == argv[i] || *end != '\0') return Usage();
      rows = static_cast<size_t>(n);
      benchmark = true;
    } else if (!arg.empty() && arg[0] == '-') {
      return Usage();
    } else if (out.empty()) {
      out = arg;
    } else {
      return Usage();
    }
  }
  if (out.empty() || (accdb && version == JetVersion::kJet3)) return Usage();
  try {
    JetFileBuilder builder = accdb ? JetFileBuilder(AceVersion::kAccess2007) : JetFileBuilder(version);
    if (benchmark) {
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
