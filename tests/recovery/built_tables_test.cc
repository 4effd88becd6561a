// Tables written page by page by the test builder, read back through the
// walk: both versions, both usage-map types, deleted and late rows, long
// rows and every long-value form.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/builder/jet_builder.h"
#include "tests/support/temp_database.h"

namespace mendora {
namespace {

namespace tb = ::mendora::testing;
using Cells = std::vector<std::optional<std::string>>;

tb::Table MixedTable(const std::string& name, int usage_map_type) {
  tb::Table table;
  table.name = name;
  table.usage_map_type = usage_map_type;
  table.columns = {{"ID", tb::kLong},       {"Name", tb::kText},     {"Active", tb::kBoolean},
                   {"Joined", tb::kDateTime}, {"Balance", tb::kCurrency}, {"Notes", tb::kMemo},
                   {"Score", tb::kDouble},   {"Small", tb::kInteger},  {"Tiny", tb::kByte},
                   {"Ratio", tb::kSingle}};
  table.rows = {
      {int64_t{1}, std::string("Ada"), true, 36526.5, int64_t{12345}, std::string("first"), 3.25, int64_t{-5},
       int64_t{200}, 0.5},
      {int64_t{-2}, std::string(""), false, 0.0, int64_t{-1}, std::monostate{}, -0.1, int64_t{32767}, int64_t{0},
       100.0},
      {int64_t{2147483647}, std::monostate{}, true, std::monostate{}, std::monostate{}, std::string(""),
       std::monostate{}, int64_t{-32768}, std::monostate{}, std::monostate{}},
  };
  return table;
}

const std::vector<Cells> kMixedRows = {
    {"1", "Ada", "1", "01/01/2000 12:00:00", "1.2345", "first", "3.25", "-5", "200", "0.5"},
    {"-2", "", "0", "12/30/1899 00:00:00", "-0.0001", std::nullopt, "-0.1", "32767", "0", "100"},
    {"2147483647", std::nullopt, "1", std::nullopt, std::nullopt, "", std::nullopt, "-32768", std::nullopt,
     std::nullopt},
};

class BuiltTableTest : public ::testing::TestWithParam<std::tuple<tb::JetVersion, int>> {};

TEST_P(BuiltTableTest, EveryValueOfEveryTypeReadsBack) {
  const auto [version, map_type] = GetParam();
  tb::JetFileBuilder builder(version);
  builder.AddTable(MixedTable("People", map_type));
  const tb::Analysis analysis = tb::Analyse(builder.Build());
  ASSERT_EQ(analysis.result.outcome, PassOutcome::kCompleted);
  ASSERT_EQ(analysis.sink.tables.count("People"), 1u);
  const tb::RecordedTable& table = analysis.sink.tables.at("People");
  EXPECT_EQ(table.ColumnNames(), (std::vector<std::string>{"ID", "Name", "Active", "Joined", "Balance", "Notes",
                                                           "Score", "Small", "Tiny", "Ratio"}));
  EXPECT_EQ(table.rows, kMixedRows);
  EXPECT_NE(analysis.log.find("\r\nPeople :  3  Records\r\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(VersionsAndMaps, BuiltTableTest,
                         ::testing::Combine(::testing::Values(tb::JetVersion::kJet3, tb::JetVersion::kJet4),
                                            ::testing::Values(0, 1)));

class BuiltVersionTest : public ::testing::TestWithParam<tb::JetVersion> {};

std::vector<Cells> Numbered(int from, int to) {
  std::vector<Cells> rows;
  for (int i = from; i < to; ++i) rows.push_back({std::to_string(i), "row " + std::to_string(i)});
  return rows;
}

tb::Table NumberedTable(int count) {
  tb::Table table;
  table.name = "Numbered";
  table.columns = {{"N", tb::kLong}, {"Label", tb::kText}};
  for (int i = 0; i < count; ++i) table.rows.push_back({int64_t{i}, "row " + std::to_string(i)});
  return table;
}

TEST_P(BuiltVersionTest, DeletedRowsAndAllDeletedPagesArePassedOver) {
  for (const int map_type : {0, 1}) {
    tb::JetFileBuilder builder(GetParam());
    tb::Table table = NumberedTable(20);
    table.usage_map_type = map_type;
    table.rows_per_page = 5;
    table.deleted_rows = {5, 6, 7, 8, 9, 12};  // the whole second page, and one more
    builder.AddTable(table);
    const tb::Analysis analysis = tb::Analyse(builder.Build());
    std::vector<Cells> expected = Numbered(0, 5);
    for (const Cells& row : Numbered(10, 20)) {
      if (row[0] != "12") expected.push_back(row);
    }
    EXPECT_EQ(analysis.sink.tables.at("Numbered").rows, expected) << "map type " << map_type;
  }
}

TEST_P(BuiltVersionTest, AStoredRowCountOfZeroDoesNotHideLiveRows) {
  tb::JetFileBuilder builder(GetParam());
  tb::Table table = NumberedTable(7);
  table.stored_row_count = 0;
  builder.AddTable(table);
  EXPECT_EQ(tb::Analyse(builder.Build()).sink.tables.at("Numbered").rows, Numbered(0, 7));
}

TEST_P(BuiltVersionTest, RowsWrittenBeforeAColumnWasAddedReadItAsNull) {
  tb::JetFileBuilder builder(GetParam());
  tb::Table table;
  table.name = "Grown";
  table.columns = {{"ID", tb::kLong}, {"Name", tb::kText}, {"Added", tb::kLong}, {"Note", tb::kText},
                   {"Flag", tb::kBoolean}};
  table.late_columns = 3;
  table.rows_before_late_columns = 2;
  table.rows = {{int64_t{1}, std::string("old"), std::monostate{}, std::monostate{}, std::monostate{}},
                {int64_t{2}, std::string("older"), std::monostate{}, std::monostate{}, std::monostate{}},
                {int64_t{3}, std::string("new"), int64_t{30}, std::string("n"), true}};
  builder.AddTable(table);
  const std::vector<Cells> expected = {{"1", "old", std::nullopt, std::nullopt, "0"},
                                       {"2", "older", std::nullopt, std::nullopt, "0"},
                                       {"3", "new", "30", "n", "1"}};
  EXPECT_EQ(tb::Analyse(builder.Build()).sink.tables.at("Grown").rows, expected);
}

// A column added to a table takes the next free column number, but the
// definition may list it before older columns. Whether a row holds a column,
// and which bit of its null mask is the column's, goes by that stored number.
TEST_P(BuiltVersionTest, AColumnListedBeforeOlderOnesIsFoundByItsStoredNumber) {
  tb::JetFileBuilder builder(GetParam());
  tb::Table table;
  table.name = "Reordered";
  table.columns = {{"A", tb::kLong, 0, 0, 0, 0},
                   {"B", tb::kLong, 0, 0, 0, 1},
                   {"Label", tb::kText, 0, 0, 0, 16},
                   {"Last", tb::kLong, 0, 0, 0, 15}};
  for (int i = 2; i < 15; ++i) table.columns.push_back({"Pad" + std::to_string(i), tb::kByte, 0, 0, 0, i});
  table.late_columns = 1;
  table.rows_before_late_columns = 2;
  auto row = [](int64_t a, tb::Value label, int64_t last) {
    tb::Row cells = {a, int64_t{a + 1}, std::move(label), last};
    for (int i = 2; i < 15; ++i) cells.push_back(std::monostate{});
    return cells;
  };
  table.rows = {row(1, std::monostate{}, 60), row(2, std::monostate{}, 20), row(3, std::string("new"), 7)};
  builder.AddTable(table);
  const tb::Analysis analysis = tb::Analyse(builder.Build());
  const auto& recorded = analysis.sink.tables.at("Reordered");
  // The table's order is its column numbers', not the order of the listing.
  std::vector<std::string> names;
  for (const auto& column : recorded.columns) names.push_back(column.name);
  ASSERT_EQ(names.size(), 17u);
  EXPECT_EQ(names[1], "B");
  EXPECT_EQ(names[15], "Last");
  EXPECT_EQ(names[16], "Label");
  const auto& rows = recorded.rows;
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0][15], "60");
  EXPECT_EQ(rows[1][15], "20");
  EXPECT_EQ(rows[0][16], std::nullopt);
  EXPECT_EQ(rows[2][16], "new");
  EXPECT_EQ(rows[2][15], "7");
}

TEST_P(BuiltVersionTest, LongValuesInlineOnOnePageAndChained) {
  tb::JetFileBuilder builder(GetParam());
  const std::string short_text = "a short memo";
  std::string page_text, chain_text;
  for (int i = 0; i < 60; ++i) page_text += "line " + std::to_string(i) + " of a longer memo; ";
  for (int i = 0; i < 900; ++i) chain_text += "paragraph " + std::to_string(i) + " of a memo over several pages. ";
  for (const auto form : {tb::LongValueForm::kInline, tb::LongValueForm::kSinglePage, tb::LongValueForm::kChained}) {
    tb::Table table;
    table.name = "Memo" + std::to_string(static_cast<int>(form));
    table.long_value_form = form;
    table.columns = {{"ID", tb::kLong}, {"Body", tb::kMemo}};
    const std::string& text = form == tb::LongValueForm::kInline       ? short_text
                              : form == tb::LongValueForm::kSinglePage ? page_text
                                                                       : chain_text;
    table.rows = {{int64_t{1}, text}, {int64_t{2}, std::string("after")}};
    builder.AddTable(table);
  }
  const tb::Analysis analysis = tb::Analyse(builder.Build());
  EXPECT_EQ(analysis.sink.tables.at("Memo1").rows[0][1], short_text);
  EXPECT_EQ(analysis.sink.tables.at("Memo2").rows[0][1], page_text);
  EXPECT_EQ(analysis.sink.tables.at("Memo3").rows[0][1], chain_text);  // never cut
  EXPECT_EQ(analysis.sink.tables.at("Memo3").rows[1][1], "after");
}

// An OLE object is recovered as its stored bytes, zeros and all, in every
// long-value form, and so is a binary field; text decoding must not touch them.
TEST_P(BuiltVersionTest, OleObjectsKeepTheirBytesInEveryForm) {
  tb::JetFileBuilder builder(GetParam());
  const size_t sizes[] = {40, 1500, 9000};
  const tb::LongValueForm forms[] = {tb::LongValueForm::kInline, tb::LongValueForm::kSinglePage,
                                     tb::LongValueForm::kChained};
  std::vector<tb::Bytes> objects;
  for (int i = 0; i < 3; ++i) {
    tb::Bytes bytes(sizes[i]);
    for (size_t b = 0; b < bytes.size(); ++b) bytes[b] = static_cast<uint8_t>((b * 7 + i) % 256);
    bytes[0] = 0xFF;  // as if a compressed-text marker
    bytes[1] = 0xFE;
    objects.push_back(bytes);
    tb::Table table;
    table.name = "Ole" + std::to_string(i + 1);
    table.long_value_form = forms[i];
    table.columns = {{"ID", tb::kLong}, {"Object", tb::kOle}, {"Key", tb::kBinary}};
    table.rows = {{int64_t{1}, bytes, tb::Bytes{0x00, 0x01, 0xFF, 0x00}}, {int64_t{2}, std::monostate{}, std::monostate{}}};
    builder.AddTable(table);
  }
  const tb::Analysis analysis = tb::Analyse(builder.Build());
  for (int i = 0; i < 3; ++i) {
    const auto& rows = analysis.sink.tables.at("Ole" + std::to_string(i + 1)).rows;
    EXPECT_EQ(rows[0][1], std::string(objects[i].begin(), objects[i].end())) << i;
    EXPECT_EQ(rows[0][2], std::string("\x00\x01\xFF\x00", 4)) << i;  // a binary field, too
    EXPECT_EQ(rows[1][1], std::nullopt) << i;
  }
}

// Long-value pages carry "LVAL" where data pages carry their table's page.
std::vector<uint32_t> LongValuePages(const tb::Bytes& file, uint32_t page_size) {
  std::vector<uint32_t> pages;
  for (uint32_t p = 1; (p + 1) * page_size <= file.size(); ++p) {
    if (file[p * page_size] == 0x01 && std::memcmp(&file[p * page_size + 4], "LVAL", 4) == 0) pages.push_back(p);
  }
  return pages;
}

TEST_P(BuiltVersionTest, AChainWhoseSecondPageIsUnreadableLosesOnlyThatValue) {
  tb::JetFileBuilder builder(GetParam());
  std::string chain_text;
  for (int i = 0; i < 900; ++i) chain_text += "paragraph " + std::to_string(i) + ". ";
  tb::Table table;
  table.name = "Broken";
  table.long_value_form = tb::LongValueForm::kChained;
  table.columns = {{"ID", tb::kLong}, {"Body", tb::kMemo}, {"Tail", tb::kText}};
  table.rows = {{int64_t{1}, chain_text, std::string("kept")}, {int64_t{2}, std::string("x"), std::string("next")}};
  builder.AddTable(table);
  tb::Bytes file = builder.Build();
  const std::vector<uint32_t> lval = LongValuePages(file, builder.page_size());
  ASSERT_GE(lval.size(), 2u);
  tb::ZeroPage(file, builder.page_size(), lval[1]);  // the second page is gone
  ::testing::internal::CaptureStderr();
  const tb::Analysis analysis = tb::Analyse(file);
  const std::string errors = ::testing::internal::GetCapturedStderr();
  const std::vector<Cells> expected = {{"1", std::nullopt, "kept"}, {"2", "x", "next"}};
  EXPECT_EQ(analysis.sink.tables.at("Broken").rows, expected);
  EXPECT_NE(errors.find("Table Broken: row 0 of page "), std::string::npos) << errors;
  EXPECT_NE(errors.find("column Body: memo lost: "), std::string::npos) << errors;
  // The loss is counted, and only it.
  EXPECT_EQ(analysis.loss_summary,
            (std::vector<std::string>{"Broken: 2 of 2 rows, 1 memo value lost",
                                      "Total: 2 of 2 rows recovered; 0 rows and 1 value lost"}));
}

TEST_P(BuiltVersionTest, ADamagedUsageMapPageIsSearchedPageByPage) {
  tb::JetFileBuilder builder(GetParam());
  tb::Table table = NumberedTable(30);
  table.usage_map_type = 1;
  table.rows_per_page = 4;
  builder.AddTable(table);
  tb::Bytes file = builder.Build();
  const uint32_t page_size = builder.page_size();
  int damaged = 0;
  for (uint32_t p = 1; (p + 1) * page_size <= file.size(); ++p) {
    if (file[p * page_size] == 0x05) {
      tb::ZeroPage(file, page_size, p);
      ++damaged;
    }
  }
  ASSERT_EQ(damaged, 1);
  ::testing::internal::CaptureStderr();
  const tb::Analysis analysis = tb::Analyse(file);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("usage map page"), std::string::npos);
  EXPECT_EQ(analysis.sink.tables.at("Numbered").rows, Numbered(0, 30));
}

TEST_P(BuiltVersionTest, RowsLongerThanSeveralHundredBytes) {
  tb::JetFileBuilder builder(GetParam());
  tb::Table table;
  table.name = "Wide";
  Cells expected_row;
  tb::Row row;
  for (int i = 0; i < 12; ++i) {
    table.columns.push_back({"T" + std::to_string(i), tb::kText});
    const std::string value(40 + i * 7, static_cast<char>('a' + i));
    row.push_back(value);
    expected_row.push_back(value);
  }
  table.columns.push_back({"Last", tb::kLong});
  row.push_back(int64_t{77});
  expected_row.push_back("77");
  table.rows = {row, row};
  builder.AddTable(table);
  const tb::Analysis analysis = tb::Analyse(builder.Build());
  EXPECT_EQ(analysis.sink.tables.at("Wide").rows, (std::vector<Cells>{expected_row, expected_row}));
}

TEST_P(BuiltVersionTest, DefinitionsRunOnOverContinuationPages) {
  // Definitions of this size span several pages; with names of each length
  // the page ends fall at other places inside column records and names.
  for (int name_length = 20; name_length < 28; ++name_length) {
    tb::JetFileBuilder builder(GetParam());
    tb::Table table;
    table.name = "Spread";
    tb::Row row;
    std::vector<std::string> names;
    Cells expected;
    for (int i = 0; i < 90; ++i) {
      std::string name = "C" + std::to_string(i) + "_";
      name.resize(static_cast<size_t>(name_length), 'x');
      names.push_back(name);
      table.columns.push_back({name, tb::kLong});
      row.push_back(int64_t{i * 3});
      expected.push_back(std::to_string(i * 3));
    }
    table.rows = {row};
    builder.AddTable(table);
    const tb::Analysis analysis = tb::Analyse(builder.Build());
    ASSERT_EQ(analysis.sink.tables.count("Spread"), 1u) << name_length;
    EXPECT_EQ(analysis.sink.tables.at("Spread").ColumnNames(), names) << name_length;
    EXPECT_EQ(analysis.sink.tables.at("Spread").rows, std::vector<Cells>{expected}) << name_length;
  }
}

TEST_P(BuiltVersionTest, NamesAndTextOutsideAsciiAreExact) {
  tb::JetFileBuilder builder(GetParam());
  const bool jet4 = GetParam() == tb::JetVersion::kJet4;
  tb::Table table;
  table.name = jet4 ? "Клиенты" : "Café";
  table.compress_text = jet4;
  table.columns = {{jet4 ? "Größe" : "Größe", tb::kText}, {"Name", tb::kText}};
  const std::string text = jet4 ? "Ωmega 東京 Жук" : "déjà vu €5";
  table.rows = {{text, std::string("plain ascii")}, {std::string("Ünïcödé"), std::string("x")}};
  builder.AddTable(table);
  const tb::Analysis analysis = tb::Analyse(builder.Build());
  ASSERT_EQ(analysis.sink.order, std::vector<std::string>{table.name});
  const tb::RecordedTable& read = analysis.sink.tables.at(table.name);
  EXPECT_EQ(read.ColumnNames()[0], "Größe");
  EXPECT_EQ(read.rows[0], (Cells{text, "plain ascii"}));
  EXPECT_EQ(read.rows[1], (Cells{"Ünïcödé", "x"}));
}

INSTANTIATE_TEST_SUITE_P(Versions, BuiltVersionTest,
                         ::testing::Values(tb::JetVersion::kJet3, tb::JetVersion::kJet4),
                         [](const auto& info) { return info.param == tb::JetVersion::kJet3 ? "Jet3" : "Jet4"; });

}  // namespace
}  // namespace mendora
