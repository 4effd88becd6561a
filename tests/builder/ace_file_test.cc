// Access 2007+ files: their header, the new column types, and a complex
// column's hidden table with its row of MSysComplexColumns.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "tests/builder/file_probe.h"
#include "tests/builder/jet_builder.h"

namespace mendora::testing {
namespace {

using probe::Le;

std::map<std::string, probe::CatalogEntry> CatalogByName(const probe::File& f) {
  std::map<std::string, probe::CatalogEntry> out;
  for (const probe::CatalogEntry& e : probe::Catalog(f)) out[e.name] = e;
  return out;
}

// The 25-byte record of column `index` (tables without indexes).
const uint8_t* Record(const probe::Definition& d, int index) { return d.bytes.data() + 63 + 25 * index; }

uint32_t FieldU32(const probe::Field& field) {
  EXPECT_EQ(field.bytes.size(), 4u);
  return field.bytes.size() == 4 ? Le(field.bytes.data(), 4) : 0;
}

TEST(AceFileTest, HeaderCarriesTheVersionAndTheAceEngineName) {
  for (AceVersion version : {AceVersion::kAccess2007, AceVersion::kAccess2016}) {
    JetFileBuilder b(version);
    EXPECT_EQ(b.page_size(), 4096u);
    const Bytes file = b.Build();
    EXPECT_EQ(std::string(file.begin() + 4, file.begin() + 20), std::string("Standard ACE DB\0", 16));
    EXPECT_EQ(Le(file.data() + 0x14, 4), static_cast<uint32_t>(version));
    const probe::File f(file);
    EXPECT_TRUE(f.jet4);
    EXPECT_EQ(CatalogByName(f).count("MSysObjects"), 1u);
  }
}

TEST(AceFileTest, BigIntAndExtendedDateColumnsAreFixedAndStoredAsGiven) {
  JetFileBuilder b(AceVersion::kAccess2019);
  Table t;
  t.name = "Numbers";
  t.columns = {{"id", kLong}, {"big", kBigInt}, {"when", kExtendedDateTime}};
  t.rows = {{int64_t{1}, int64_t{42}, ExtendedDateTimeBytes(737954, 819123456789)},
            {int64_t{2}, int64_t{-5000000000}, std::monostate{}}};
  const uint32_t page = b.AddTable(t);
  const probe::File f(b.Build());
  const probe::Definition d = probe::ReadDefinition(f, page);
  ASSERT_EQ(d.columns.size(), 3u);
  EXPECT_EQ(d.columns[1].type, 0x13);
  EXPECT_EQ(d.columns[1].size, 8);
  EXPECT_EQ(d.columns[1].flags & 1, 1);
  EXPECT_EQ(d.columns[2].type, 0x14);
  EXPECT_EQ(d.columns[2].size, 42);
  EXPECT_EQ(d.columns[2].flags & 1, 1);

  const auto rows = probe::ReadRows(f, d, page);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].fields[1].bytes, (Bytes{42, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(rows[1].fields[1].bytes, (Bytes{0x00, 0x0E, 0xFA, 0xD5, 0xFE, 0xFF, 0xFF, 0xFF}));
  const std::string when(rows[0].fields[2].bytes.begin(), rows[0].fields[2].bytes.end());
  EXPECT_EQ(when, std::string("0000000000000737954:0000000819123456789:7\0", 42));
  EXPECT_FALSE(rows[1].fields[2].present);
}

TEST(AceFileTest, ComplexColumnGetsItsHiddenTableTemplateAndDirectoryRow) {
  JetFileBuilder b(AceVersion::kAccess2007);
  Table parent;
  parent.name = "Pets";
  Column tags{"Tags", kComplex};
  tags.complex_id = 7;
  parent.columns = {{"name", kText}, tags};
  parent.rows = {{std::string("Rex"), int64_t{1}}, {std::string("Tom"), int64_t{2}}};
  const uint32_t parent_page = b.AddTable(parent);
  ComplexColumn values;
  values.table = "Pets";
  values.column = "Tags";
  values.complex_id = 7;
  values.values = {{2, "grey"}, {2, "old"}};
  b.AddComplexColumn(values);
  EXPECT_THROW(b.AddComplexColumn(ComplexColumn{"Nobody", "Tags", 8}), std::invalid_argument);
  const probe::File f(b.Build());
  const auto catalog = CatalogByName(f);

  // The parent's record carries the id where other columns keep their sort order.
  const probe::Definition parent_def = probe::ReadDefinition(f, parent_page);
  EXPECT_EQ(parent_def.columns[1].type, 0x12);
  EXPECT_EQ(Le(Record(parent_def, 1) + 11, 4), 7u);
  EXPECT_EQ(catalog.at("Pets").flags, 0x00040000u);

  ASSERT_EQ(catalog.count("MSysComplexType_Text"), 1u);
  EXPECT_EQ(catalog.at("MSysComplexType_Text").flags, 0x80030000u);
  const auto hidden = std::find_if(catalog.begin(), catalog.end(),
                                   [](const auto& e) { return e.first.rfind("f_", 0) == 0; });
  ASSERT_NE(hidden, catalog.end());
  EXPECT_EQ(hidden->first.size(), 2 + 32 + 1 + 4u);
  EXPECT_TRUE(hidden->first.ends_with("_Tags"));
  EXPECT_EQ(hidden->second.flags, 0x800A0000u);

  // Directory row: name, id, template, parent and hidden table.
  const uint32_t directory_page = catalog.at("MSysComplexColumns").id;
  EXPECT_EQ(catalog.at("MSysComplexColumns").flags, 0x80000000u);
  const probe::Definition directory = probe::ReadDefinition(f, directory_page);
  const auto directory_rows = probe::ReadRows(f, directory, directory_page);
  ASSERT_EQ(directory_rows.size(), 1u);
  std::map<std::string, const probe::Field*> field;
  for (size_t i = 0; i < directory.columns.size(); ++i) field[directory.columns[i].name] = &directory_rows[0].fields[i];
  EXPECT_EQ(probe::Text(f, field["ColumnName"]->bytes), "Tags");
  EXPECT_EQ(FieldU32(*field["ComplexID"]), 7u);
  EXPECT_EQ(FieldU32(*field["ComplexTypeObjectID"]), catalog.at("MSysComplexType_Text").id);
  EXPECT_EQ(FieldU32(*field["ConceptualTableID"]), parent_page);
  EXPECT_EQ(FieldU32(*field["FlatTableID"]), hidden->second.id);

  // Hidden rows: the parent's key, their own id, the value; byte 16 marks
  // the link and the id.
  const probe::Definition hidden_def = probe::ReadDefinition(f, hidden->second.id);
  ASSERT_EQ(hidden_def.columns.size(), 3u);
  EXPECT_EQ(hidden_def.columns[0].name, "_Tags");
  EXPECT_EQ(Record(hidden_def, 0)[16], 0x08);
  EXPECT_EQ(hidden_def.columns[1].name, "Pets_Tags");
  EXPECT_EQ(Record(hidden_def, 1)[16], 0x04);
  const auto rows = probe::ReadRows(f, hidden_def, hidden->second.id);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(FieldU32(rows[0].fields[0]), 2u);
  EXPECT_EQ(FieldU32(rows[1].fields[1]), 2u);
  EXPECT_EQ(probe::Text(f, rows[1].fields[2].bytes), "old");
}

TEST(AceFileTest, AttachmentDataHasItsHeaderAndCanBeStoredUncompressed) {
  const Bytes stored = AttachmentFileData("txt", Bytes{'h', 'i'}, false);
  const Bytes expected = {0, 0, 0, 0, 22, 0, 0, 0,                  // stored, 22 bytes of content
                          20, 0, 0, 0, 1, 0, 0, 0, 4, 0, 0, 0,      // header length, 1, 4 characters
                          't', 0, 'x', 0, 't', 0, 0, 0, 'h', 'i'};  // "txt\0", the file
  EXPECT_EQ(stored, expected);
  const Bytes packed = AttachmentFileData("txt", Bytes(1000, 'a'), true);
  EXPECT_EQ(Le(packed.data(), 4), 1u);
  EXPECT_EQ(Le(packed.data() + 4, 4), 1020u);
  EXPECT_EQ(packed[8], 0x78);  // a zlib stream
  EXPECT_LT(packed.size(), 100u);
}

}  // namespace
}  // namespace mendora::testing
