// Tables whose definition is gone, on built files: the layout inferred from
// the rows must give back every value with its type, and rows that do not
// fit it must be counted lost.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "reader/column_types.h"
#include "reader/jet_format.h"
#include "recovery/column_evidence.h"
#include "recovery/layout_inference.h"
#include "tests/support/corpus.h"
#include "tests/builder/jet_builder.h"
#include "tests/support/temp_database.h"

namespace mendora {
namespace {

namespace tb = ::mendora::testing;

uint32_t U32At(const tb::Bytes& file, size_t at) {
  return file[at] | file[at + 1] << 8 | file[at + 2] << 16 | static_cast<uint32_t>(file[at + 3]) << 24;
}

// A table of every type the inference tells apart, each nullable column
// null in rows of its own so the null mask pins it.
tb::Table MixedTable(size_t rows) {
  tb::Table table{"Things",
                  {{"ID", tb::kLong},
                   {"Name", tb::kText},
                   {"Qty", tb::kInteger},
                   {"Price", tb::kCurrency},
                   {"Seen", tb::kDateTime},
                   {"Ratio", tb::kDouble},
                   {"Notes", tb::kMemo},
                   {"Small", tb::kByte},
                   {"Done", tb::kBoolean}}};
  for (size_t k = 0; k < rows; ++k) {
    const int64_t i = static_cast<int64_t>(k);
    tb::Row row;
    row.push_back(i + 1);
    row.push_back(k % 5 == 3 ? tb::Value{} : tb::Value{"name " + std::to_string(i) + " \xD0\x96"});
    row.push_back(k % 7 == 2 ? tb::Value{} : tb::Value{i * 3 - 20});
    row.push_back(k % 4 == 1 ? tb::Value{} : tb::Value{int64_t{12500} * (i + 1)});
    row.push_back(k % 6 == 4 ? tb::Value{} : tb::Value{36000.0 + static_cast<double>(i) + 0.5});
    row.push_back(k % 9 == 5 ? tb::Value{} : tb::Value{1.25 * static_cast<double>(i + 1)});
    row.push_back(k % 3 == 0 ? tb::Value{} : tb::Value{std::string(300 + k, 'm') + " note " + std::to_string(i)});
    row.push_back(k % 8 == 6 ? tb::Value{} : tb::Value{int64_t{(i * 7) % 200 + 1}});
    row.push_back(tb::Value{k % 3 == 1});
    table.rows.push_back(std::move(row));
  }
  return table;
}

tb::Bytes Zeroed(tb::Bytes file, uint32_t page_size, uint32_t page) {
  tb::ZeroPage(file, page_size, page);
  return file;
}

bool Mentions(const std::vector<std::string>& lines, const std::string& text) {
  for (const std::string& line : lines) {
    if (line.find(text) != std::string::npos) return true;
  }
  return false;
}

std::vector<std::string> LossLines(const tb::Bytes& file) {
  tb::TempDatabase database(file);
  RecoverySession session;
  session.options.source_path = database.path();
  session.options.loss_details = nullptr;
  RunRecovery(session);
  std::vector<std::string> lines = session.results.losses.lines();
  for (const std::string& line : session.results.losses.SummaryLines()) lines.push_back(line);
  return lines;
}

class HeadlessTableTest : public ::testing::TestWithParam<tb::JetVersion> {};

TEST_P(HeadlessTableTest, ZeroedDefinitionGivesBackEveryValueTyped) {
  tb::JetFileBuilder builder(GetParam());
  const uint32_t definition = builder.AddTable(MixedTable(40));
  tb::Table other{"Other", {{"Key", tb::kLong}, {"Label", tb::kText}}};
  other.rows = {{int64_t{7}, std::string("seven")}, {int64_t{8}, std::string("eight")}};
  builder.AddTable(other);
  const tb::Bytes file = builder.Build();
  const tb::Analysis intact = tb::Analyse(file);
  ASSERT_EQ(intact.result.outcome, PassOutcome::kCompleted);
  const tb::RecordedTable& truth = intact.sink.tables.at("Things");

  const tb::Analysis damaged = tb::Analyse(Zeroed(file, builder.page_size(), definition));
  ASSERT_EQ(damaged.result.outcome, PassOutcome::kCompleted) << damaged.result.message;
  // The catalog still names the table; the other table is untouched.
  EXPECT_EQ(damaged.sink.order, (std::vector<std::string>{"Other", "Things"}));
  const tb::RecordedTable& found = damaged.sink.tables.at("Things");
  ASSERT_EQ(found.columns.size(), truth.columns.size());
  for (size_t c = 0; c < truth.columns.size(); ++c) {
    EXPECT_EQ(found.columns[c].type, truth.columns[c].type) << "column " << c;
    EXPECT_EQ(found.columns[c].name, "Column" + std::to_string(c + 1));
  }
  EXPECT_EQ(found.rows, truth.rows);
  EXPECT_EQ(damaged.sink.tables.at("Other").rows, intact.sink.tables.at("Other").rows);
  EXPECT_TRUE(Mentions(LossLines(Zeroed(file, builder.page_size(), definition)), "named Things from its catalog row"));
}

TEST_P(HeadlessTableTest, WithoutCatalogTheTableIsNamedByItsPageAndSaysSo) {
  tb::JetFileBuilder builder(GetParam());
  const uint32_t definition = builder.AddTable(MixedTable(12));
  tb::Bytes file = builder.Build();
  const tb::Analysis intact = tb::Analyse(file);
  tb::ZeroPage(file, builder.page_size(), definition);
  for (uint32_t p = 1; p < file.size() / builder.page_size(); ++p) {
    const size_t at = static_cast<size_t>(p) * builder.page_size();
    if (file[at] == 0x01 && U32At(file, at + 4) == 2) tb::ZeroPage(file, builder.page_size(), p);
  }
  const tb::Analysis damaged = tb::Analyse(file);
  ASSERT_EQ(damaged.result.outcome, PassOutcome::kCompleted) << damaged.result.message;
  const std::string name = "Recovered_Table_" + std::to_string(definition);
  ASSERT_EQ(damaged.sink.order, std::vector<std::string>{name});
  EXPECT_EQ(damaged.sink.tables.at(name).rows, intact.sink.tables.at("Things").rows);
  EXPECT_TRUE(Mentions(LossLines(file), "its name was not found: recovered as " + name));
}

TEST_P(HeadlessTableTest, RowsWrittenBeforeAColumnWasAddedComeBackAndRowsOfAnotherShapeAreLost) {
  tb::JetFileBuilder builder(GetParam());
  tb::Table table{"Grown", {{"ID", tb::kLong}, {"Label", tb::kText}, {"Added", tb::kLong}}};
  for (int64_t i = 0; i < 20; ++i) {
    table.rows.push_back({i + 1, "label " + std::to_string(i), i < 4 ? tb::Value{} : tb::Value{i * 1000}});
  }
  // The first four rows were written before the last column was added.
  table.late_columns = 1;
  table.rows_before_late_columns = 4;
  const uint32_t definition = builder.AddTable(table);
  tb::Bytes file = Zeroed(builder.Build(), builder.page_size(), definition);
  // The last row claims more columns than any other: it is no row of this
  // table's shape.
  const bool jet4 = GetParam() == tb::JetVersion::kJet4;
  bool patched = false;
  for (uint32_t p = 0; p < file.size() / builder.page_size() && !patched; ++p) {
    const size_t at = static_cast<size_t>(p) * builder.page_size();
    if (file[at] != 0x01 || U32At(file, at + 4) != definition) continue;
    const size_t count_at = at + (jet4 ? 12 : 8);
    const uint16_t slots = static_cast<uint16_t>(file[count_at] | file[count_at + 1] << 8);
    const size_t slot_at = count_at + 2 + 2u * (slots - 1u);
    const size_t row = at + ((file[slot_at] | file[slot_at + 1] << 8) & kSlotOffsetMask);
    file[row] = 9;
    patched = true;
  }
  ASSERT_TRUE(patched);
  const tb::Analysis damaged = tb::Analyse(file);
  ASSERT_EQ(damaged.result.outcome, PassOutcome::kCompleted);
  std::multiset<std::vector<std::optional<std::string>>> found;
  for (auto row : damaged.sink.tables.at("Grown").rows) {
    // Columns that are never null may come back in another order: the rows
    // say nothing of it.
    std::sort(row.begin(), row.end());
    found.insert(row);
  }
  ASSERT_EQ(found.size(), 19u);
  EXPECT_EQ(found.count({std::nullopt, "1", "label 0"}), 1u);
  EXPECT_EQ(found.count({"4000", "5", "label 4"}), 1u);
  EXPECT_EQ(found.count({"19000", "20", "label 19"}), 0u);
  EXPECT_TRUE(Mentions(LossLines(file), "1 damaged row"));
}

TEST_P(HeadlessTableTest, FloatsGuidsAndObjectsAreToldFromTheirBytes) {
  tb::JetFileBuilder builder(GetParam());
  tb::Table table{"Parts",
                  {{"Code", tb::kGuid}, {"Weight", tb::kSingle}, {"Picture", tb::kOle}, {"Tag", tb::kText}}};
  for (int i = 0; i < 12; ++i) {
    tb::Bytes guid(16);
    for (int b = 0; b < 16; ++b) guid[b] = static_cast<uint8_t>(i * 37 + b * 11);
    guid[7] = 0x40 | (guid[7] & 0x0F);  // a version 4 GUID
    guid[8] = 0x80 | (guid[8] & 0x3F);
    tb::Bytes picture(200 + i * 50);
    for (size_t b = 0; b < picture.size(); ++b) picture[b] = static_cast<uint8_t>((b * 7 + i) % 256);
    table.rows.push_back({guid, 0.25 * (i + 1), picture, i % 4 == 0 ? tb::Value{} : tb::Value{"tag" + std::to_string(i)}});
  }
  const uint32_t definition = builder.AddTable(table);
  const tb::Bytes file = builder.Build();
  const tb::Analysis intact = tb::Analyse(file);
  const tb::Analysis damaged = tb::Analyse(Zeroed(file, builder.page_size(), definition));
  ASSERT_EQ(damaged.result.outcome, PassOutcome::kCompleted) << damaged.result.message;
  const tb::RecordedTable& truth = intact.sink.tables.at("Parts");
  const tb::RecordedTable& found = damaged.sink.tables.at("Parts");
  // Columns never null may come back in another order: compared as sets.
  const auto types = [](const tb::RecordedTable& table) {
    std::multiset<int> all;
    for (const OutputColumn& column : table.columns) all.insert(column.type);
    return all;
  };
  const auto cells = [](const tb::RecordedTable& table) {
    std::vector<std::vector<std::optional<std::string>>> rows = table.rows;
    for (auto& row : rows) std::sort(row.begin(), row.end());
    return rows;
  };
  EXPECT_EQ(types(found), types(truth));
  EXPECT_EQ(cells(found), cells(truth));
}

INSTANTIATE_TEST_SUITE_P(Versions, HeadlessTableTest, ::testing::Values(tb::JetVersion::kJet3, tb::JetVersion::kJet4));

// The scores that decide a split: bytes of a neighbouring column read as a
// float or as a wide integer must score below the column they belong to.
TEST(LayoutInferenceTest, PlausibleValuesOutscoreBytesOfOtherColumns) {
  const auto bytes = [](std::initializer_list<uint8_t> list) { return std::vector<uint8_t>(list); };
  const auto quality = [](int type, const std::vector<uint8_t>& b) {
    return FixedValueQuality(type, ByteView(b.data(), b.size()));
  };
  // 1.0 as a double against its low and high words as longs.
  const auto one = bytes({0, 0, 0, 0, 0, 0, 0xF0, 0x3F});
  EXPECT_GT(quality(kColumnDouble, one), quality(kColumnLongInteger, bytes({0, 0, 0xF0, 0x3F})));
  // 3.5000 in currency units is a denormal double.
  const auto money = bytes({0xB8, 0x88, 0, 0, 0, 0, 0, 0});
  EXPECT_GT(quality(kColumnCurrency, money), 0.5);
  EXPECT_LT(quality(kColumnDouble, money), 0);
  // A small long is no float.
  EXPECT_LT(quality(kColumnSingle, bytes({5, 0, 0, 0})), 0);
  EXPECT_GT(quality(kColumnDateTime, bytes({0, 0, 0, 0, 0x40, 0xA7, 0xDA, 0x40})), 0.9);  // 1974-09-21
  EXPECT_LT(quality(kColumnNumeric, bytes({0x13, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16})), 0);
}

TEST(LayoutInferenceTest, NoRowsOrNoSharedShapeGiveNoLayout) {
  EXPECT_FALSE(InferLayout({}, InferenceContext{}).has_value());
  RowSample garbage;
  garbage.bytes = {0};
  EXPECT_FALSE(InferLayout({garbage}, InferenceContext{}).has_value());
}


Property Text(const std::string& name, const std::string& text) {
  Property property{name, kColumnText, {}};
  property.value.kind = ValueKind::kText;
  property.value.bytes = text;
  return property;
}

Property Number(const std::string& name, int64_t value) {
  Property property{name, kColumnLongInteger, {}};
  property.value.SetInteger(value);
  return property;
}

// The kind each column's properties tell, strongest first: a Yes/No's
// format or check box before anything else, dates before amounts, numbers
// before text.
TEST(ColumnEvidenceTest, PropertiesTellTheColumnsKind) {
  struct Case {
    std::vector<Property> properties;
    ColumnKind kind;
    const char* property;
  };
  const std::vector<Case> cases = {
      {{Text("Format", "Yes/No"), Number("DecimalPlaces", 255)}, ColumnKind::kBoolean, "Format"},
      {{Number("DisplayControl", 106)}, ColumnKind::kBoolean, "DisplayControl"},
      {{Text("Format", "dd/mm/yyyy")}, ColumnKind::kDate, "Format"},
      {{Number("ShowDatePicker", 1), Number("IMEMode", 2)}, ColumnKind::kDate, "ShowDatePicker"},
      {{Text("DefaultValue", "=Now()")}, ColumnKind::kDate, "DefaultValue"},
      {{Text("Format", "$#,##0.00;($#,##0.00)"), Number("DecimalPlaces", 255)}, ColumnKind::kCurrency, "Format"},
      {{Number("CurrencyLCID", 12298), Number("DecimalPlaces", 255)}, ColumnKind::kCurrency, "CurrencyLCID"},
      {{Number("CurrencyLCID", 0), Number("DecimalPlaces", 255), Number("DisplayControl", 109)}, ColumnKind::kNumber,
       "DecimalPlaces"},
      {{Text("Format", "Percent")}, ColumnKind::kNumber, "Format"},
      {{Number("TextFormat", 0), Number("AllowZeroLength", 1)}, ColumnKind::kMemo, "TextFormat"},
      {{Number("AllowZeroLength", 0), Number("IMEMode", 0)}, ColumnKind::kText, "AllowZeroLength"},
      {{Text("DefaultValue", "\"\"")}, ColumnKind::kText, "DefaultValue"},
      {{Number("IMEMode", 0), Number("Required", 0)}, ColumnKind::kDate, "IMEMode"},
      {{Number("Required", 1), Number("ColumnWidth", -1)}, ColumnKind::kUnknown, ""},
  };
  for (const Case& c : cases) {
    PropertyObject table;  // the table's own block comes first
    PropertyObject column{"C", c.properties};
    const std::vector<ColumnEvidence> found = ColumnEvidenceOf({table, column});
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].name, "C");
    EXPECT_EQ(found[0].kind, c.kind) << c.property;
    EXPECT_EQ(found[0].property, c.property);
  }
}

// A real file whose definitions are zeroed but whose catalog survives: the
// property blocks name the columns, type them, and tell the columns since
// deleted, whose data older rows still hold; the account says how each
// column's type was decided.
TEST(ColumnEvidenceTest, ARealTableComesBackNamedAndTypedFromItsPropertyBlocks) {
  const auto folder = ::mendora::testing::CorpusDir();
  const std::filesystem::path sample = folder ? *folder / "jet4-rw-weighbridge-es.mdb" : std::filesystem::path();
  if (!folder || !std::filesystem::exists(sample)) GTEST_SKIP() << "sample not found (set MENDORA_CORPUS)";
  std::ifstream in(sample, std::ios::binary);
  tb::Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const tb::Analysis intact = tb::Analyse(file);
  constexpr uint32_t kPageSize = 4096;
  for (uint32_t p = 3; p < file.size() / kPageSize; ++p) {
    if (file[static_cast<size_t>(p) * kPageSize] == 0x02) tb::ZeroPage(file, kPageSize, p);
  }
  const tb::Analysis damaged = tb::Analyse(file);
  ASSERT_EQ(damaged.result.outcome, PassOutcome::kCompleted) << damaged.result.message;
  const tb::RecordedTable& truth = intact.sink.tables.at("Transac");
  const tb::RecordedTable& found = damaged.sink.tables.at("Transac");
  ASSERT_EQ(found.rows.size(), truth.rows.size());
  // Every live column by its name and type; its values in a column of
  // their own (which of several text columns, live or deleted, a text block
  // names, only the blocks' order tells).
  const std::vector<std::string> found_names = found.ColumnNames();
  for (size_t c = 0; c < truth.columns.size(); ++c) {
    const auto at = std::find(found_names.begin(), found_names.end(), truth.columns[c].name);
    ASSERT_NE(at, found_names.end()) << truth.columns[c].name;
    EXPECT_EQ(found.columns[static_cast<size_t>(at - found_names.begin())].type, truth.columns[c].type)
        << truth.columns[c].name;
    bool held = false;
    for (size_t f = 0; f < found.columns.size() && !held; ++f) {
      held = true;
      for (size_t r = 0; r < truth.rows.size() && held; ++r) held = found.rows[r][f] == truth.rows[r][c];
    }
    EXPECT_TRUE(held) << truth.columns[c].name;
  }
  const std::vector<std::string> names = found.ColumnNames();
  EXPECT_EQ(names.size(), 16u);
  EXPECT_NE(std::find(names.begin(), names.end(), "Deleted10"), names.end());
  const std::vector<std::string> lines = LossLines(file);
  EXPECT_TRUE(Mentions(lines, "Table Transac: Fecha: a date (from its ShowDatePicker property)"));
  EXPECT_TRUE(Mentions(lines, "Deleted1: text (guessed from the values; deleted from the table"));
  EXPECT_TRUE(Mentions(lines, "Transac: 81 of 81 rows, layout inferred from its rows (10 of 16 column types guessed"));
}

}  // namespace
}  // namespace mendora
