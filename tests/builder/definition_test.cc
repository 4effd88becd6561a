// Table definitions: header fields at the offsets readers use, column records
// and names round-tripping, and definitions spread over continuation pages.
#include <gtest/gtest.h>

#include "tests/builder/file_probe.h"
#include "tests/builder/jet_builder.h"

namespace mendora::testing {
namespace {

using probe::Le;

class DefinitionTest : public ::testing::TestWithParam<JetVersion> {
 protected:
  bool jet4() const { return GetParam() == JetVersion::kJet4; }
};

Table MixedTable() {
  Table t;
  t.name = "Stock";
  t.columns = {
      {"Id", kLong},   {"Label", kText, 60}, {"Flag", kBoolean}, {"Price", kNumeric, 0, 12, 3},
      {"Note", kMemo}, {"Qty", kInteger},    {"Straße", kText}};
  t.rows = {{int64_t{1}, std::string("a"), true, NumericBytes(5), std::string("n"), int64_t{2},
             std::string("x")},
            {int64_t{2}, Value{}, false, Value{}, Value{}, int64_t{3}, Value{}}};
  return t;
}

TEST_P(DefinitionTest, HeaderFieldsSitAtTheirOffsets) {
  JetFileBuilder b(GetParam());
  const uint32_t def = b.AddTable(MixedTable());
  const probe::File f(b.Build());
  const uint8_t* p = f.page(def);
  EXPECT_EQ(p[0], 0x02);
  EXPECT_EQ(p[1], 0x01);
  EXPECT_EQ(Le(p + 4, 4), 0u) << "a small definition needs no continuation";
  EXPECT_EQ(Le(p + (jet4() ? 16 : 12), 4), 2u) << "row count";
  EXPECT_EQ(Le(p + (jet4() ? 45 : 25), 2), 7u) << "column count";
  EXPECT_EQ(Le(p + (jet4() ? 47 : 27), 4), 0u) << "index count";
  EXPECT_EQ(Le(p + (jet4() ? 51 : 31), 4), 0u) << "real index count";
  const uint32_t map_page = Le(p + (jet4() ? 56 : 36), 3);
  EXPECT_EQ(p[jet4() ? 55 : 35], 0) << "usage map is row 0 of its page";
  EXPECT_EQ(p[jet4() ? 59 : 39], 1) << "free-space map is row 1";
  EXPECT_EQ(Le(p + (jet4() ? 60 : 40), 3), map_page);
  EXPECT_EQ(f.page(map_page)[0], 0x01);

  // First column record straight after the header (no indexes).
  const uint8_t* c = p + (jet4() ? 63 : 43);
  EXPECT_EQ(c[0], kLong);
  const size_t record = jet4() ? 25 : 18;
  const uint8_t* price = c + 3 * record;
  EXPECT_EQ(price[0], kNumeric);
  EXPECT_EQ(jet4() ? Le(price + 5, 2) : price[1], 3u) << "column number";
  EXPECT_EQ(price[11], 12) << "precision";
  EXPECT_EQ(price[12], 3) << "scale";
  EXPECT_EQ(price[jet4() ? 15 : 13] & 0x01, 0x01) << "fixed-length flag";
  EXPECT_EQ(Le(price + (jet4() ? 21 : 14), 2), 4u) << "after Id; the Boolean takes no bytes";
  EXPECT_EQ(Le(price + (jet4() ? 23 : 16), 2), 17u);
  const uint8_t* qty = c + 5 * record;
  EXPECT_EQ(Le(qty + (jet4() ? 21 : 14), 2), 21u);
  EXPECT_EQ(Le(qty + (jet4() ? 7 : 3), 2), 2u)
      << "fixed columns count the variable ones before them";
  const uint8_t* note = c + 4 * record;
  EXPECT_EQ(note[jet4() ? 15 : 13] & 0x01, 0) << "memo is variable";
  EXPECT_EQ(Le(note + (jet4() ? 7 : 3), 2), 1u) << "second variable column";

  // Names follow the records.
  const uint8_t* name = c + 7 * record;
  if (jet4()) {
    EXPECT_EQ(Le(name, 2), 4u);
    EXPECT_EQ(Le(name + 2, 2), uint32_t{'I'});
  } else {
    EXPECT_EQ(name[0], 2);
    EXPECT_EQ(name[1], 'I');
  }
}

TEST_P(DefinitionTest, ColumnsRoundTrip) {
  JetFileBuilder b(GetParam());
  Table t = MixedTable();
  t.deleted_rows = {1};
  const uint32_t def = b.AddTable(t);
  const probe::File f(b.Build());
  const probe::Definition d = probe::ReadDefinition(f, def);
  EXPECT_EQ(d.kind, 'N');
  EXPECT_EQ(d.rows, 1u) << "deleted rows are not counted";
  const uint32_t name_chars = 2 + 5 + 4 + 5 + 4 + 3 + 6;  // one byte each in code page 1252
  EXPECT_EQ(d.length,
            jet4() ? 63 + 7 * 25 + 7 * 2 + 2 * name_chars + 2 : 43 + 7 * 18 + 7 + name_chars + 2);
  ASSERT_EQ(d.columns.size(), 7u);
  EXPECT_EQ(d.var_columns, 3);
  EXPECT_EQ(d.next_number, 7);
  const char* names[] = {"Id", "Label", "Flag", "Price", "Note", "Qty", "Straße"};
  for (size_t i = 0; i < 7; ++i) {
    EXPECT_EQ(d.columns[i].name, names[i]);
    EXPECT_EQ(d.columns[i].number, static_cast<int>(i));
    EXPECT_EQ(d.columns[i].row_number, static_cast<int>(i));
  }
  EXPECT_EQ(d.columns[1].size, 60);
  EXPECT_EQ(d.columns[6].size, jet4() ? 510 : 255) << "text defaults to 255 characters";
  EXPECT_EQ(d.columns[2].size, 1);
  EXPECT_EQ(d.columns[6].var_number, 2);
}

TEST_P(DefinitionTest, ExplicitColumnNumbersKeepTheirGaps) {
  JetFileBuilder b(GetParam());
  Table t;
  t.name = "Gaps";
  t.columns = {{"a", kLong, 0, 0, 0, 0},
               {"c", kLong, 0, 0, 0, 2},
               {"d", kText, 0, 0, 0, 3},
               {"f", kText, 0, 0, 0, 5}};
  t.rows = {{int64_t{7}, int64_t{9}, std::string("dd"), std::string("ff")}};
  const uint32_t def = b.AddTable(t);
  const probe::File f(b.Build());
  const probe::Definition d = probe::ReadDefinition(f, def);
  EXPECT_EQ(d.next_number, 6);
  EXPECT_EQ(d.columns[1].fixed_offset, 4);
  EXPECT_EQ(d.columns[3].var_number, 1);
  const auto rows = probe::ReadRows(f, d, def);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].column_count, 6);
  EXPECT_EQ(Le(rows[0].fields[1].bytes.data(), 4), 9u);
  EXPECT_EQ(probe::Text(f, rows[0].fields[3].bytes), "ff");
}

TEST_P(DefinitionTest, StoredRowCountCanDisagreeWithTheRows) {
  JetFileBuilder b(GetParam());
  Table t = MixedTable();
  t.stored_row_count = 99;
  const uint32_t def = b.AddTable(t);
  EXPECT_EQ(probe::ReadDefinition(probe::File(b.Build()), def).rows, 99u);
}

Table WideTable(int columns) {
  Table t;
  t.name = "Wide";
  Row row;
  for (int i = 0; i < columns; ++i) {
    t.columns.push_back({"column_" + std::to_string(i), i % 3 == 0 ? kText : kLong});
    row.push_back(i % 3 == 0 ? Value{"v" + std::to_string(i)} : Value{int64_t{i}});
  }
  t.rows = {row};
  return t;
}

TEST_P(DefinitionTest, WideTableStraddlesFullPagesLikeTheEngine) {
  JetFileBuilder b(GetParam());
  const uint32_t def = b.AddTable(WideTable(jet4() ? 140 : 90));
  const probe::File f(b.Build());
  const probe::Definition d = probe::ReadDefinition(f, def);
  ASSERT_EQ(d.chain.size(), 2u);
  EXPECT_GT(d.length, f.page_size) << "length counts the run-together bytes";
  EXPECT_NE(f.page(def)[f.page_size - 1], 0) << "the first page is filled to its end";
  if (jet4()) {
    EXPECT_EQ(Le(f.page(def) + 2, 2), 0u);
  }
  ASSERT_EQ(d.columns.size(), jet4() ? 140u : 90u);
  EXPECT_EQ(d.columns.back().name, jet4() ? "column_139" : "column_89");
  EXPECT_EQ(d.bytes[d.length - 2], 0xFF);
  EXPECT_EQ(d.bytes[d.length - 1], 0xFF);
  const auto rows = probe::ReadRows(f, d, def);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(probe::Text(f, rows[0].fields[87].bytes), "v87");
}

TEST_P(DefinitionTest, CapacityForcesContinuationPages) {
  JetFileBuilder b(GetParam());
  Table t = MixedTable();
  t.definition_page_capacity = 64;
  const uint32_t def = b.AddTable(t);
  const probe::File f(b.Build());
  std::vector<uint32_t> chain;
  Bytes joined(f.page(def), f.page(def) + 8);
  for (uint32_t n = def; n != 0; n = Le(f.page(n) + 4, 4)) {
    ASSERT_EQ(f.page(n)[0], 0x02);
    ASSERT_LT(chain.size(), 50u);
    chain.push_back(n);
    joined.insert(joined.end(), f.page(n) + 8, f.page(n) + 8 + 64);
  }
  const uint32_t length = Le(joined.data() + 8, 4);
  EXPECT_EQ(chain.size(), (length - 8 + 63) / 64);
  for (uint32_t n : chain) {
    const uint8_t* p = f.page(n);
    for (uint32_t k = 8 + 64; k < f.page_size; ++k)
      ASSERT_EQ(p[k], 0) << "page " << n << " byte " << k;
    if (!jet4()) {
      EXPECT_EQ(Le(p + 2, 2), uint32_t{'V' | ('C' << 8)});
    }
  }
  if (jet4()) {
    const probe::Definition d = probe::ReadDefinition(f, def, /*used_length=*/true);
    EXPECT_EQ(d.chain, chain);
    ASSERT_EQ(d.columns.size(), 7u);
    EXPECT_EQ(d.columns[6].name, "Straße");
    EXPECT_EQ(probe::ReadRows(f, d, def).size(), 2u);
  }
}

TEST_P(DefinitionTest, CatalogDefinitionHasTheEngineLayout) {
  JetFileBuilder b(GetParam());
  const probe::File f(b.Build());
  const probe::Definition d = probe::ReadDefinition(f, 2);
  EXPECT_EQ(d.kind, 'S');
  ASSERT_EQ(d.columns.size(), 17u);
  std::map<std::string, probe::ColumnRecord> by_name;
  for (const auto& c : d.columns) by_name[c.name] = c;
  EXPECT_EQ(by_name["Id"].fixed_offset, 0);
  EXPECT_EQ(by_name["ParentId"].fixed_offset, 4);
  EXPECT_EQ(by_name["Type"].fixed_offset, 8);
  EXPECT_EQ(by_name["DateCreate"].fixed_offset, 10);
  EXPECT_EQ(by_name["DateUpdate"].fixed_offset, 18);
  EXPECT_EQ(by_name["Flags"].fixed_offset, 26);
  EXPECT_EQ(by_name["Name"].var_number, 0);
  EXPECT_EQ(by_name["Name"].number, 2);
  EXPECT_EQ(by_name["LvExtra"].var_number, 10);
  EXPECT_EQ(by_name["Flags"].row_number, 0) << "0 throughout the engine's own tables";
  // Jet 4 keeps the records in name order, Jet 3 in column order.
  EXPECT_EQ(d.columns.front().name, jet4() ? "Connect" : "Id");
}

INSTANTIATE_TEST_SUITE_P(Versions, DefinitionTest,
                         ::testing::Values(JetVersion::kJet3, JetVersion::kJet4),
                         [](const auto& info) { return ::testing::PrintToString(info.param); });

}  // namespace
}  // namespace mendora::testing
