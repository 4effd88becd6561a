// Files crafted to cost work, output or messages out of proportion to their
// size: the pass reads each page a small fixed number of times, writes no
// more than a small multiple of the file, and says what it lost.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "output/json/json_dump.h"
#include "recovery/recovery_session.h"
#include "tests/builder/jet_builder.h"
#include "tests/support/corpus.h"
#include "tests/support/temp_database.h"

namespace mendora {
namespace {

namespace tb = ::mendora::testing;

// Pages a pass may read per page of the file: the walk, the table scans, the
// data-page index, the long values and the maps each read a page at most once.
constexpr uint64_t kReadsPerPage = 6;
// Bytes of dump per byte of file: text decoded from UTF-16 or compressed
// form, base64 of binary data, and JSON quoting stay within this.
constexpr uint64_t kDumpPerFileByte = 4;

struct Pass {
  PassResult result;
  uint64_t pages_read = 0;
  uint32_t page_count = 0;
  size_t dump_bytes = 0;
  std::vector<std::string> summary;
  int64_t rows = 0;
};

Pass DumpPass(const std::string& path) {
  std::ostringstream out;
  JsonDumpOutput dump(out, "Jet4");
  RecoverySession session;
  session.options.source_path = path;
  session.options.loss_details = nullptr;
  session.options.outputs.push_back(&dump);
  Pass pass;
  pass.result = RunRecovery(session);
  pass.pages_read = session.results.pages_read;
  pass.page_count = session.results.page_count;
  pass.dump_bytes = out.str().size();
  pass.summary = session.results.losses.SummaryLines();
  pass.rows = session.results.grand_total;
  return pass;
}

TEST(HostileFilesTest, WorkAndOutputStayInProportionToTheFile) {
  if (!tb::HostileDir()) GTEST_SKIP() << "hostile files not found (set MENDORA_HOSTILE)";
  for (const char* name : {"mapflood1.mdb", "lvamp4k.mdb", "lvchainall.mdb", "brute500.mdb", "catslots250.mdb",
                           "wide1000.mdb", "names4.mdb", "rels1000.mdb"}) {
    SCOPED_TRACE(name);
    const std::filesystem::path path = *tb::HostileDir() / name;
    if (!std::filesystem::exists(path)) continue;
    const Pass pass = DumpPass(path.string());
    ASSERT_EQ(pass.result.outcome, PassOutcome::kCompleted) << pass.result.message;
    EXPECT_LE(pass.pages_read, kReadsPerPage * pass.page_count + 16);
    EXPECT_LE(pass.dump_bytes, kDumpPerFileByte * std::filesystem::file_size(path) + 4096);
  }
}

// Memo fields that all point at one long-value chain: the first keeps it,
// every other is a lost value in the account, and the chain is read once.
TEST(HostileFilesTest, ValuesSharingOneChainAreLossesNotCopies) {
  if (!tb::HostileDir()) GTEST_SKIP() << "hostile files not found (set MENDORA_HOSTILE)";
  for (const char* name : {"lvamp4k.mdb", "lvchainall.mdb"}) {
    SCOPED_TRACE(name);
    const std::filesystem::path path = *tb::HostileDir() / name;
    if (!std::filesystem::exists(path)) continue;
    const Pass pass = DumpPass(path.string());
    ASSERT_FALSE(pass.summary.empty());
    EXPECT_NE(pass.summary[0].find("4000 memo values lost"), std::string::npos) << pass.summary[0];
  }
}

// Files whose damage once made a pass recover nothing and say it succeeded.
// The catalog of these names no table any more; the table's definition is
// still there and takes over.
TEST(HostileFilesTest, ATableTheCatalogNoLongerNamesIsFoundByItsDefinition) {
  if (!tb::HostileDir()) GTEST_SKIP() << "hostile files not found (set MENDORA_HOSTILE)";
  for (const char* name : {"silent-catalog-type-byte.mdb", "silent-owner-jet4-overflow-rows-0.mdb"}) {
    SCOPED_TRACE(name);
    const std::filesystem::path path = *tb::HostileDir() / name;
    if (!std::filesystem::exists(path)) continue;
    const Pass pass = DumpPass(path.string());
    EXPECT_EQ(pass.result.outcome, PassOutcome::kCompleted);
    EXPECT_EQ(pass.rows, 7);
  }
}

// Without a usage map each table's pages are found through one index of the
// file's data pages, not by reading the whole file again per table.
TEST(HostileFilesTest, TablesWithoutMapsShareOneSearchOfTheFile) {
  tb::JetFileBuilder builder(tb::JetVersion::kJet4);
  for (int t = 0; t < 60; ++t) {
    tb::Table table;
    table.name = "T" + std::to_string(t);
    table.columns = {{"N", tb::kLong}};
    for (int r = 0; r < 50; ++r) table.rows.push_back({int64_t{r}});
    builder.AddTable(table);
  }
  tb::Bytes file = builder.Build();
  // Break every table's usage map: its map row then names no map at all.
  const uint32_t page_size = builder.page_size();
  int broken = 0;
  for (size_t p = 1; (p + 1) * page_size <= file.size(); ++p) {
    uint8_t* page = &file[p * page_size];
    if (page[0] != 0x02 || p == 2) continue;
    page[55 + 1] = page[55 + 2] = page[55 + 3] = 0xFF;  // the usage map's page: far past the file
    ++broken;
  }
  ASSERT_GT(broken, 50);
  tb::TempDatabase source(file);
  const Pass pass = DumpPass(source.path());
  ASSERT_EQ(pass.result.outcome, PassOutcome::kCompleted);
  EXPECT_EQ(pass.rows, 60 * 50);
  EXPECT_LE(pass.pages_read, kReadsPerPage * pass.page_count + 16);
}

}  // namespace
}  // namespace mendora
