// Reading recovered tables again in windows: the same rows as the pass, in
// the same order, from any starting row, without reading the table from its
// start for a row near its end.
#include <gtest/gtest.h>

#include "recovery/table_preview.h"
#include "tests/builder/jet_builder.h"
#include "tests/support/corpus.h"
#include "tests/support/temp_database.h"

namespace mendora {
namespace {

namespace tb = ::mendora::testing;

using Cells = std::vector<std::optional<std::string>>;

struct Pass {
  RecoverySession session;
  tb::RecordingSink sink;
};

std::unique_ptr<Pass> Analyse(const std::string& path, bool deleted_rows = false) {
  auto pass = std::make_unique<Pass>();
  pass->session.options.source_path = path;
  pass->session.options.recover_deleted_rows = deleted_rows;
  pass->session.options.outputs.push_back(&pass->sink);
  EXPECT_EQ(RunRecovery(pass->session).outcome, PassOutcome::kCompleted) << path;
  return pass;
}

// The preview's cells in the form the recording sink keeps; binary values
// are described, not rendered, so only whether they are there is compared.
Cells AsRecorded(const PreviewRow& row, const mendora::Row& typed) {
  Cells cells;
  for (size_t i = 0; i < row.size(); ++i) {
    if (row[i].null) {
      cells.push_back(std::nullopt);
    } else if (i < typed.values.size() && typed.values[i].kind == ValueKind::kBytes) {
      cells.push_back(RenderValue(typed.values[i]));
    } else {
      cells.push_back(row[i].text);
    }
  }
  return cells;
}

// Reads `table` through the preview in windows of `window` rows, from the
// start, then a few windows out of order, and compares each with the pass.
void ExpectSameRows(TablePreview& preview, const RecoveredTable& table, const tb::RecordedTable& recorded,
                    int64_t window) {
  ASSERT_TRUE(preview.Select(table)) << table.name;
  ASSERT_EQ(preview.RowCount(), static_cast<int64_t>(recorded.rows.size())) << table.name;
  EXPECT_EQ(preview.ColumnNames().size(), recorded.columns.size()) << table.name;
  std::vector<int64_t> starts;
  for (int64_t first = 0; first < preview.RowCount(); first += window) starts.push_back(first);
  for (int64_t first : {preview.RowCount() - 1, int64_t{0}, preview.RowCount() / 2}) starts.push_back(first);
  for (int64_t first : starts) {
    if (first < 0) continue;
    const std::vector<PreviewRow> rows = preview.Rows(first, window);
    ASSERT_EQ(static_cast<int64_t>(rows.size()), std::min(window, preview.RowCount() - first))
        << table.name << " from row " << first;
    for (size_t k = 0; k < rows.size(); ++k) {
      const size_t at = static_cast<size_t>(first) + k;
      ASSERT_EQ(AsRecorded(rows[k], recorded.typed_rows[at]), recorded.rows[at]) << table.name << " row " << at;
    }
  }
}

TEST(TablePreviewTest, EverySampleTableReadsAsThePassReadIt) {
  if (!tb::CorpusDir()) GTEST_SKIP() << "sample databases not found (set MENDORA_CORPUS)";
  size_t tables = 0;
  for (const auto& sample : tb::CorpusFiles()) {
    SCOPED_TRACE(sample.filename().string());
    const auto pass = Analyse(sample.string(), true);
    std::string error;
    auto preview = TablePreview::Open(sample.string(), std::nullopt, &error);
    if (!preview) continue;  // an encrypted sample: the pass could not read it either
    for (const RecoveredTable& table : pass->session.results.recovered_tables) {
      ExpectSameRows(*preview, table, pass->sink.tables.at(table.name), 7);
      ++tables;
    }
  }
  EXPECT_GT(tables, 20u);
}

class LargeTableTest : public ::testing::Test {
 protected:
  static constexpr size_t kRows = 100000;
  static void SetUpTestSuite() {
    tb::JetFileBuilder builder(tb::JetVersion::kJet4);
    tb::Table table{"Readings", {{"N", tb::kLong}, {"Label", tb::kText, 40}, {"Note", tb::kMemo}}};
    table.usage_map_type = 1;
    table.row_source = [](size_t i, tb::Row& row) {
      if (i >= kRows) return false;
      row = {int64_t(i), "reading " + std::to_string(i), i % 1000 == 0 ? tb::Value(std::string(3000, 'm')) : tb::Value()};
      return true;
    };
    builder.AddTable(table);
    file_ = new tb::TempDatabase(builder.Build());
  }
  static void TearDownTestSuite() {
    delete file_;
    file_ = nullptr;
  }
  static tb::TempDatabase* file_;
};
tb::TempDatabase* LargeTableTest::file_ = nullptr;

TEST_F(LargeTableTest, TheLastRowReadsFromTheNearestMarkNotFromTheStart) {
  RecoverySession session;
  session.options.source_path = file_->path();
  ASSERT_EQ(RunRecovery(session).outcome, PassOutcome::kCompleted);
  ASSERT_EQ(session.results.recovered_tables.size(), 1u);
  const RecoveredTable& table = session.results.recovered_tables[0];
  EXPECT_EQ(table.rows, int64_t(kRows));
  EXPECT_EQ(table.marks.size(), (kRows + kRowMarkEvery - 1) / kRowMarkEvery);

  auto preview = TablePreview::Open(file_->path(), std::nullopt);
  ASSERT_TRUE(preview);
  ASSERT_TRUE(preview->Select(table));
  const uint64_t before = preview->PagesRead();
  std::vector<PreviewRow> last = preview->Rows(kRows - 1, 50);
  ASSERT_EQ(last.size(), 1u);
  EXPECT_EQ(last[0][0].text, std::to_string(kRows - 1));
  EXPECT_EQ(last[0][1].text, "reading " + std::to_string(kRows - 1));
  // One mark's span of rows at most, a few hundred pages for the whole table.
  const uint64_t jump = preview->PagesRead() - before;
  EXPECT_LT(jump, 40u);
  EXPECT_GT(session.results.pages_read, 20 * jump);

  // Back near the start, then on across a mark and a memo.
  std::vector<PreviewRow> rows = preview->Rows(kRowMarkEvery - 3, 1010);
  ASSERT_EQ(rows.size(), 1010u);
  for (size_t k = 0; k < rows.size(); ++k) EXPECT_EQ(rows[k][0].text, std::to_string(kRowMarkEvery - 3 + k));
  EXPECT_EQ(rows[1000 - (kRowMarkEvery - 3)][2].text, std::string(3000, 'm'));
  EXPECT_TRUE(rows[0][2].null);
  EXPECT_TRUE(preview->Rows(kRows, 10).empty());
  EXPECT_TRUE(preview->Rows(-1, 10).empty());
}

TEST(TablePreviewTest, DeletedRowsAndPicturesInOleColumns) {
  tb::JetFileBuilder builder(tb::JetVersion::kJet4);
  tb::Table table{"Items", {{"N", tb::kLong}, {"Picture", tb::kOle}}};
  const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + std::string(40, '\0');
  for (int i = 0; i < 5; ++i) {
    table.rows.push_back({int64_t{i}, i == 2 ? tb::Value(tb::Bytes(png.begin(), png.end())) : tb::Value(tb::Bytes{1, 2, 3})});
  }
  table.deleted_rows = {1, 3};
  builder.AddTable(table);
  tb::TempDatabase file(builder.Build());
  const auto pass = Analyse(file.path(), true);
  ASSERT_EQ(pass->session.results.recovered_tables.size(), 2u);
  auto preview = TablePreview::Open(file.path(), std::nullopt);
  ASSERT_TRUE(preview);
  ASSERT_TRUE(preview->Select(pass->session.results.recovered_tables[0]));
  std::vector<PreviewRow> live = preview->Rows(0, 10);
  ASSERT_EQ(live.size(), 3u);
  EXPECT_EQ(live[1][0].text, "2");
  EXPECT_EQ(live[1][1].picture, png);
  EXPECT_EQ(live[1][1].text, std::to_string(png.size()) + " bytes");
  EXPECT_TRUE(live[0][1].picture.empty());

  const RecoveredTable& deleted = pass->session.results.recovered_tables[1];
  EXPECT_TRUE(deleted.deleted_rows);
  EXPECT_EQ(deleted.name, "Items (deleted rows)");
  ASSERT_TRUE(preview->Select(deleted));
  std::vector<PreviewRow> gone = preview->Rows(0, 10);
  ASSERT_EQ(gone.size(), 2u);
  EXPECT_EQ(gone[0][0].text, "1");
  EXPECT_EQ(gone[1][0].text, "3");
}

}  // namespace
}  // namespace mendora
