// Deep recovery on built files: tables whose catalog rows are gone, and
// deleted rows brought back on request.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "reader/jet_format.h"
#include "tests/builder/jet_builder.h"
#include "tests/support/corpus.h"
#include "tests/support/temp_database.h"

namespace mendora {
namespace {

namespace tb = ::mendora::testing;
using Cells = std::vector<std::optional<std::string>>;

uint32_t U32At(const tb::Bytes& file, size_t at) {
  return file[at] | file[at + 1] << 8 | file[at + 2] << 16 | static_cast<uint32_t>(file[at + 3]) << 24;
}

// Zeroes every data page of the catalog (the pages whose owner is page 2).
void ZeroCatalog(tb::Bytes& file, uint32_t page_size) {
  for (uint32_t p = 0; p < file.size() / page_size; ++p) {
    const size_t at = static_cast<size_t>(p) * page_size;
    if (file[at] == 0x01 && U32At(file, at + 4) == 2) tb::ZeroPage(file, page_size, p);
  }
}

// Whether a detail line of the loss account of a pass over `file` says `text`.
bool LossMentions(const tb::Bytes& file, const std::string& text) {
  tb::TempDatabase database(file);
  RecoverySession session;
  session.options.source_path = database.path();
  RunRecovery(session);
  for (const std::string& line : session.results.losses.lines()) {
    if (line.find(text) != std::string::npos) return true;
  }
  return false;
}

class OrphanTableTest : public ::testing::TestWithParam<tb::JetVersion> {};

TEST_P(OrphanTableTest, TablesWithoutCatalogRowsAreNamedFromRelationsOrTheirPage) {
  tb::JetFileBuilder builder(GetParam());
  tb::Table people{"People", {{"ID", tb::kLong}, {"Name", tb::kText}}};
  people.rows = {{int64_t{1}, std::string("Ada")}, {int64_t{2}, std::string("Bob")}};
  tb::Table orders{"Orders", {{"OrderID", tb::kLong}, {"PersonID", tb::kLong}, {"Item", tb::kText}}};
  orders.rows = {{int64_t{10}, int64_t{1}, std::string("pen")}};
  // Same columns as People but for the one the relation names: it must not
  // take People's name.
  tb::Table loose{"Loose", {{"Key", tb::kLong}, {"Name", tb::kText}}};
  loose.rows = {{int64_t{7}, std::string("x")}};
  builder.AddTable(people);
  builder.AddTable(orders);
  const uint32_t loose_page = builder.AddTable(loose);
  builder.AddRelationship({"PeopleOrders", "People", "ID", "Orders", "PersonID"});
  tb::Bytes file = builder.Build();
  ZeroCatalog(file, builder.page_size());

  const tb::Analysis analysis = tb::Analyse(file);
  ASSERT_EQ(analysis.result.outcome, PassOutcome::kCompleted) << analysis.result.message;
  const std::string fallback = "Recovered_Table_" + std::to_string(loose_page);
  EXPECT_EQ(analysis.sink.order, (std::vector<std::string>{"People", "Orders", fallback}));
  EXPECT_EQ(analysis.sink.tables.at("People").rows, (std::vector<Cells>{{"1", "Ada"}, {"2", "Bob"}}));
  EXPECT_EQ(analysis.sink.tables.at("Orders").rows, (std::vector<Cells>{{"10", "1", "pen"}}));
  EXPECT_EQ(analysis.sink.tables.at(fallback).rows, (std::vector<Cells>{{"7", "x"}}));
  EXPECT_TRUE(LossMentions(file, "named People from the relations"));
  EXPECT_TRUE(LossMentions(file, "its name was not found: recovered as " + fallback));
}

TEST_P(OrphanTableTest, TablesAccessDeletedTakeTheEvidenceNameElseKeepTheirOwn) {
  tb::JetFileBuilder builder(GetParam());
  tb::Table people{"~TMPCLP71", {{"ID", tb::kLong}, {"Name", tb::kText}}};
  people.rows = {{int64_t{1}, std::string("Ada")}};
  tb::Table scratch{"~TMPCLP72", {{"Word", tb::kText}}};
  scratch.rows = {{std::string("kept")}};
  tb::Table orders{"Orders", {{"OrderID", tb::kLong}, {"PersonID", tb::kLong}}};
  orders.rows = {{int64_t{10}, int64_t{1}}};
  builder.AddTable(people);
  builder.AddTable(scratch);
  builder.AddTable(orders);
  builder.AddRelationship({"PeopleOrders", "People", "ID", "Orders", "PersonID"});
  const tb::Bytes file = builder.Build();
  const tb::Analysis analysis = tb::Analyse(file);
  ASSERT_EQ(analysis.result.outcome, PassOutcome::kCompleted) << analysis.result.message;
  EXPECT_EQ(analysis.sink.tables.at("People").rows, (std::vector<Cells>{{"1", "Ada"}}));
  EXPECT_EQ(analysis.sink.tables.at("~TMPCLP72").rows, (std::vector<Cells>{{"kept"}}));
  EXPECT_EQ(analysis.sink.tables.count("~TMPCLP71"), 0u);
  EXPECT_TRUE(LossMentions(file, "is ~TMPCLP71, a table Access deleted: named People from the relations"));
}

TEST_P(OrphanTableTest, AnIntactFileGainsNoTables) {
  tb::JetFileBuilder builder(GetParam());
  tb::Table people{"People", {{"ID", tb::kLong}, {"Name", tb::kText}}};
  people.rows = {{int64_t{1}, std::string("Ada")}};
  builder.AddTable(people);
  builder.AddRelationship({"Self", "People", "ID", "People", "ID"});
  const tb::Analysis analysis = tb::Analyse(builder.Build());
  EXPECT_EQ(analysis.sink.order, std::vector<std::string>{"People"});
  EXPECT_EQ(analysis.loss_count, 0u);
}

tb::Analysis AnalyseDeleted(const tb::Bytes& bytes) {
  tb::TempDatabase file(bytes);
  tb::Analysis analysis;
  RecoverySession session;
  session.options.source_path = file.path();
  session.options.recover_deleted_rows = true;
  session.options.outputs.push_back(&analysis.sink);
  analysis.result = RunRecovery(session);
  analysis.log = session.results.analysis_log;
  return analysis;
}

TEST_P(OrphanTableTest, DeletedRowsComeBackOnRequestButNotThoseWhoseBytesWereReused) {
  tb::JetFileBuilder builder(GetParam());
  tb::Table table{"Items", {{"N", tb::kLong}, {"Label", tb::kText}, {"Price", tb::kCurrency}}};
  for (int i = 0; i < 6; ++i) table.rows.push_back({int64_t{i}, "item " + std::to_string(i), int64_t{i * 10000}});
  table.deleted_rows = {1, 3, 4};
  const uint32_t definition = builder.AddTable(table);
  tb::Bytes file = builder.Build();
  // Deleted row 4's slot now names live row 5's bytes, as when a later row
  // takes the space: row 4 must not come back, nor row 5 twice.
  const uint32_t page_size = builder.page_size();
  const size_t count_at = GetParam() == tb::JetVersion::kJet4 ? 12 : 8;
  bool patched = false;
  for (uint32_t p = 0; p < file.size() / page_size && !patched; ++p) {
    const size_t at = static_cast<size_t>(p) * page_size;
    if (file[at] != 0x01 || U32At(file, at + 4) != definition) continue;
    const size_t slots = at + count_at + 2;
    const uint16_t live5 = file[slots + 10] | file[slots + 11] << 8;
    tb::WriteU16(file, slots + 8, static_cast<uint16_t>(kSlotDeletedMark | (live5 & kSlotOffsetMask)));
    patched = true;
  }
  ASSERT_TRUE(patched);

  const tb::Analysis plain = tb::Analyse(file);
  EXPECT_EQ(plain.sink.order, std::vector<std::string>{"Items"});
  const tb::Analysis analysis = AnalyseDeleted(file);
  ASSERT_EQ(analysis.result.outcome, PassOutcome::kCompleted);
  EXPECT_EQ(analysis.sink.tables.at("Items").rows,
            (std::vector<Cells>{{"0", "item 0", "0.0000"}, {"2", "item 2", "2.0000"}, {"5", "item 5", "5.0000"}}));
  EXPECT_EQ(analysis.sink.tables.at("Items (deleted rows)").rows,
            (std::vector<Cells>{{"1", "item 1", "1.0000"}, {"3", "item 3", "3.0000"}}));
  EXPECT_NE(analysis.log.find("Items (deleted rows) :  2  Records"), std::string::npos);
}

TEST_P(OrphanTableTest, DeletedRowsWrittenBeforeAColumnWasAddedComeBack) {
  tb::JetFileBuilder builder(GetParam());
  tb::Table table{"Grown", {{"N", tb::kLong}, {"Label", tb::kText}, {"Added", tb::kLong}}};
  for (int64_t i = 0; i < 8; ++i) {
    table.rows.push_back({i, "row " + std::to_string(i), i < 3 ? tb::Value{} : tb::Value{i * 10}});
  }
  // The three oldest rows, written before the last column was added, were
  // deleted since: no live row beside them has their column count.
  table.late_columns = 1;
  table.rows_before_late_columns = 3;
  table.deleted_rows = {0, 1, 2, 5};
  builder.AddTable(table);
  const tb::Analysis analysis = AnalyseDeleted(builder.Build());
  ASSERT_EQ(analysis.result.outcome, PassOutcome::kCompleted);
  EXPECT_EQ(analysis.sink.tables.at("Grown").rows,
            (std::vector<Cells>{{"3", "row 3", "30"}, {"4", "row 4", "40"}, {"6", "row 6", "60"}, {"7", "row 7", "70"}}));
  EXPECT_EQ(analysis.sink.tables.at("Grown (deleted rows)").rows,
            (std::vector<Cells>{{"0", "row 0", std::nullopt}, {"1", "row 1", std::nullopt}, {"2", "row 2", std::nullopt},
                                {"5", "row 5", "50"}}));
}

// A row that grew out of its place moves: its old slot keeps only a
// pointer to the new one (row byte, 24-bit page; the old bytes stay behind
// it) and the new slot is marked as the moved row's home. Each row comes back
// once, from its new home; neither slot passes for a deleted row.
TEST_P(OrphanTableTest, AMovedRowComesBackOnceAndNeitherOfItsSlotsIsADeletedRow) {
  tb::JetFileBuilder builder(GetParam());
  tb::Table table{"Items", {{"N", tb::kLong}, {"Label", tb::kText}}};
  for (int i = 0; i < 6; ++i) table.rows.push_back({int64_t{i}, "item " + std::to_string(i)});
  table.deleted_rows = {1};
  const uint32_t definition = builder.AddTable(table);
  tb::Bytes file = builder.Build();
  const uint32_t page_size = builder.page_size();
  const size_t count_at = GetParam() == tb::JetVersion::kJet4 ? 12 : 8;
  bool patched = false;
  for (uint32_t p = 0; p < file.size() / page_size && !patched; ++p) {
    const size_t at = static_cast<size_t>(p) * page_size;
    if (file[at] != kDataPageType || U32At(file, at + kPageOwnerPos) != definition) continue;
    const size_t slots = at + count_at + 2;
    const auto entry = [&](int slot) -> uint16_t { return file[slots + 2 * slot] | file[slots + 2 * slot + 1] << 8; };
    // Row 2 "moved" to slot 5: its old bytes start with the pointer.
    const size_t old_row = at + (entry(2) & kSlotOffsetMask);
    file[old_row] = 5;
    file[old_row + 1] = static_cast<uint8_t>(p);
    file[old_row + 2] = static_cast<uint8_t>(p >> 8);
    file[old_row + 3] = static_cast<uint8_t>(p >> 16);
    tb::WriteU16(file, slots + 4, static_cast<uint16_t>(kSlotOverflowFlag | (entry(2) & kSlotOffsetMask)));
    tb::WriteU16(file, slots + 10, static_cast<uint16_t>(kSlotMovedHereFlag | (entry(5) & kSlotOffsetMask)));
    patched = true;
  }
  ASSERT_TRUE(patched);

  const tb::Analysis analysis = AnalyseDeleted(file);
  ASSERT_EQ(analysis.result.outcome, PassOutcome::kCompleted);
  EXPECT_EQ(analysis.sink.tables.at("Items").rows,
            (std::vector<Cells>{{"0", "item 0"}, {"3", "item 3"}, {"4", "item 4"}, {"5", "item 5"}}));
  EXPECT_EQ(analysis.sink.tables.at("Items (deleted rows)").rows, (std::vector<Cells>{{"1", "item 1"}}));
}

// With the catalog gone, Access 2007+'s own tables are still Access's
// bookkeeping: told apart by the navigation pane's list, which names them
// too, or by their columns, listed in the order they were made. Read as
// tables, and saved under their names, they would pass for Access's own in
// the new file.
TEST(NavigationListTest, AccessOwnTablesAreNotTheUsersWhenTheCatalogIsGone) {
  const struct {
    std::optional<std::filesystem::path> folder;
    const char* file;
    std::vector<std::string> tables;
  } cases[] = {
      {tb::ObjectsCorpusDir(), "obj-ace2007-sortcolumn-fr.accdb", {"~T_Info", "T_Test"}},
      {tb::ObjectsCorpusDir(),
       "obj-ace2010-charts-de.accdb",
       {"tbl_ColorSchemes", "tbl_DemoData", "tbl_VersionHistory", "USys_FileData", "USysRegInfo"}},
      // No list here: the user's table and MSysCompactError, unnamed.
      {tb::AceCorpusDir(), "ace2007-big-index.accdb", {"Recovered_Table_65", "Recovered_Table_71"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    if (!c.folder) GTEST_SKIP() << "the sample folders are absent";
    std::ifstream in(*c.folder / c.file, std::ios::binary);
    ASSERT_TRUE(in) << "no sample " << c.file;
    tb::Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ZeroCatalog(file, 4096);
    const tb::Analysis analysis = tb::Analyse(file);
    EXPECT_EQ(analysis.sink.order, c.tables);
  }
}

INSTANTIATE_TEST_SUITE_P(Versions, OrphanTableTest,
                         ::testing::Values(tb::JetVersion::kJet3, tb::JetVersion::kJet4));

}  // namespace
}  // namespace mendora
