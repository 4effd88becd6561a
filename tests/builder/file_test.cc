// Whole files: the header page, where the system pieces sit, the catalog,
// usage maps, and the demo and benchmark databases.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "tests/builder/file_probe.h"
#include "tests/builder/jet_builder.h"
#include "tests/builder/sample_database.h"

namespace mendora::testing {
namespace {

using probe::Le;

class FileTest : public ::testing::TestWithParam<JetVersion> {
 protected:
  bool jet4() const { return GetParam() == JetVersion::kJet4; }
};

Bytes Unscramble(const uint8_t* data, size_t n) {
  const std::array<uint8_t, 4> key = {0xC7, 0xDA, 0x39, 0x6B};
  std::array<uint8_t, 256> s{};
  for (int i = 0; i < 256; ++i) s[i] = static_cast<uint8_t>(i);
  for (int i = 0, j = 0; i < 256; ++i) {
    j = (j + s[i] + key[i % 4]) & 0xFF;
    std::swap(s[i], s[j]);
  }
  Bytes out;
  for (size_t k = 0, i = 0, j = 0; k < n; ++k) {
    i = (i + 1) & 0xFF;
    j = (j + s[i]) & 0xFF;
    std::swap(s[i], s[j]);
    out.push_back(data[k] ^ s[(s[i] + s[j]) & 0xFF]);
  }
  return out;
}

Table Numbers(const std::string& name, int rows, int map_type = 0) {
  Table t;
  t.name = name;
  t.usage_map_type = map_type;
  t.columns = {{"id", kLong}, {"label", kText}};
  for (int i = 0; i < rows; ++i) {
    t.rows.push_back({int64_t{i}, "row " + std::to_string(i) + std::string(40, '.')});
  }
  return t;
}

TEST_P(FileTest, HeaderPageNamesVersionAndCodePage) {
  JetFileBuilder b(GetParam());
  EXPECT_EQ(b.page_size(), jet4() ? 4096u : 2048u);
  const Bytes file = b.Build();
  ASSERT_EQ(file.size() % b.page_size(), 0u);
  EXPECT_EQ(file[0], 0x00);
  EXPECT_EQ(std::string(file.begin() + 4, file.begin() + 19), "Standard Jet DB");
  EXPECT_EQ(Le(file.data() + 0x14, 4), jet4() ? 1u : 0u);
  const Bytes plain = Unscramble(file.data() + 0x18, jet4() ? 128 : 126);
  EXPECT_EQ(Le(plain.data() + (0x3C - 0x18), 2), 1252u);
}

TEST_P(FileTest, SystemPiecesSitOnTheirPages) {
  JetFileBuilder b(GetParam());
  b.AddTable(Numbers("T", 3));
  const probe::File f(b.Build());
  EXPECT_EQ(f.page(1)[0], 0x01);
  EXPECT_EQ(Le(f.page(1) + 4, 4), 1u);
  for (uint32_t p = 2; p <= 5; ++p) EXPECT_EQ(f.page(p)[0], 0x02) << p;
  EXPECT_EQ(Le(f.page(6) + 4, 4), 0u) << "usage maps";
  EXPECT_EQ(Le(f.page(7) + 4, 4), 2u) << "catalog rows";
  const auto global = probe::MapPages(f, 0, 1);
  ASSERT_FALSE(global.empty());
  EXPECT_EQ(global.front(), f.pages()) << "pages past the end are free";
}

TEST_P(FileTest, CatalogNamesEveryObject) {
  JetFileBuilder b(GetParam());
  const uint32_t customers = b.AddTable(Numbers("Customers", 2));
  const uint32_t orders = b.AddTable(Numbers("Orders", 2));
  b.AddQuery("Big Orders");
  b.AddRelationship({"CustomersOrders", "Customers", "id", "Orders", "id"});
  b.AddCatalogRow({"Ghost", 0x8001, 0x00ABCDEF, true, 0});
  b.DeleteCatalogRowOf("Orders");
  b.SetRelationshipsFirst(false);
  const probe::File f(b.Build());
  const auto catalog = probe::Catalog(f);
  auto find = [&](const std::string& name) {
    auto it = std::find_if(catalog.begin(), catalog.end(),
                           [&](const probe::CatalogEntry& e) { return e.name == name; });
    EXPECT_NE(it, catalog.end()) << name;
    return it == catalog.end() ? probe::CatalogEntry{} : *it;
  };
  for (const char* name :
       {"Tables", "Databases", "Relationships", "MSysObjects", "MSysACEs", "MSysQueries"}) {
    EXPECT_EQ(find(name).flags, 0x80000000u) << name;
  }
  EXPECT_EQ(find("MSysObjects").id, 2u);
  EXPECT_EQ(find("Tables").id, 0x0F000001u);
  const auto c = find("Customers");
  EXPECT_EQ(c.type, 1);
  EXPECT_EQ(c.id & 0xFFFFFF, customers);
  EXPECT_EQ(c.parent, 0x0F000001u);
  EXPECT_FALSE(c.deleted);
  const auto o = find("Orders");
  EXPECT_EQ(o.id, orders);
  EXPECT_TRUE(o.deleted) << "the row stays, marked deleted";
  EXPECT_EQ(find("Big Orders").type, 5);
  EXPECT_EQ(find("CustomersOrders").parent, 0x0F000003u);
  const auto ghost = find("Ghost");
  EXPECT_EQ(ghost.type, 0x8001);
  EXPECT_TRUE(ghost.deleted);
  EXPECT_EQ(catalog.back().name, "MSysRelationships") << "placed after the tables";
  EXPECT_EQ(probe::ReadDefinition(f, 2).rows, catalog.size() - 2);

  // The relationship itself lives in MSysRelationships (definition page 5).
  const probe::Definition rel = probe::ReadDefinition(f, 5);
  const auto rows = probe::ReadRows(f, rel, 5);
  ASSERT_EQ(rows.size(), 1u);
  std::map<std::string, std::string> fields;
  for (size_t i = 0; i < rel.columns.size(); ++i) {
    if (rel.columns[i].type == kText)
      fields[rel.columns[i].name] = probe::Text(f, rows[0].fields[i].bytes);
  }
  EXPECT_EQ(fields["szRelationship"], "CustomersOrders");
  EXPECT_EQ(fields["szObject"], "Orders");
  EXPECT_EQ(fields["szReferencedObject"], "Customers");
  EXPECT_EQ(fields["szColumn"], "id");
  EXPECT_EQ(fields["szReferencedColumn"], "id");
}

TEST_P(FileTest, RelationshipsTableComesFirstByDefault) {
  JetFileBuilder b(GetParam());
  b.AddTable(Numbers("A", 1));
  const auto catalog = probe::Catalog(probe::File(b.Build()));
  const auto pos = [&](const std::string& n) {
    return std::find_if(catalog.begin(), catalog.end(),
                        [&](const auto& e) { return e.name == n; }) -
           catalog.begin();
  };
  EXPECT_LT(pos("MSysRelationships"), pos("A"));
}

TEST_P(FileTest, ManyCatalogRowsSpillPastTheFirstCatalogPage) {
  JetFileBuilder b(GetParam());
  for (int i = 0; i < 120; ++i) b.AddQuery("Query number " + std::to_string(i));
  const probe::File f(b.Build());
  const auto owned = probe::PagesOwnedBy(f, 2);
  ASSERT_GT(owned.size(), 1u);
  EXPECT_EQ(owned.front(), 7u);
  const probe::Definition d = probe::ReadDefinition(f, 2);
  auto mapped = probe::MapPages(f, d.usage_row, d.usage_page);
  EXPECT_EQ(mapped, owned);
  EXPECT_EQ(probe::Catalog(f).size(), 16u + 120u);
}

TEST_P(FileTest, UsageMapsCoverExactlyTheDataPages) {
  for (int map_type : {0, 1}) {
    JetFileBuilder b(GetParam());
    b.AddTable(Numbers("Before", 30));
    // Long values on pages of their own, between the data pages: the map must
    // leave them out.
    Table t = Numbers("Mapped", 400, map_type);
    t.columns[1].type = kMemo;
    t.long_value_form = LongValueForm::kSinglePage;
    const uint32_t def = b.AddTable(t);
    const probe::File f(b.Build());
    const probe::Definition d = probe::ReadDefinition(f, def);
    const uint8_t* map_row =
        f.page(d.usage_page) + probe::Slots(f, d.usage_page).at(d.usage_row).start;
    EXPECT_EQ(map_row[0], map_type);
    const auto owned = probe::PagesOwnedBy(f, def);
    ASSERT_GE(owned.size(), 3u);
    EXPECT_FALSE(probe::PagesOwnedBy(f, 0x4C41564C).empty());
    EXPECT_EQ(probe::MapPages(f, d.usage_row, d.usage_page), owned) << "type " << map_type;
    EXPECT_EQ(probe::ReadRows(f, d, def).size(), 400u);
    if (map_type == 1) {
      const uint32_t map_page = Le(map_row + 1, 4);
      EXPECT_EQ(f.page(map_page)[0], 0x05);
      EXPECT_EQ(Le(map_row + 5, 4), 0u) << "no second map page for a small file";
    } else {
      EXPECT_EQ(Le(map_row + 1, 4) % 8, 0u);
      EXPECT_LE(Le(map_row + 1, 4), owned.front());
    }
  }
}

// Jet 3's smaller blocks make this affordable: a table past page 16352, the
// end of the first map page's block.
TEST(UsageMapTest, Type1MapsUseOneMapPagePerBlock) {
  JetFileBuilder b(JetVersion::kJet3);
  Table filler;
  filler.name = "Filler";
  filler.rows_per_page = 1;
  filler.usage_map_type = 1;
  filler.columns = {{"id", kLong}};
  for (int64_t i = 0; i < 16400; ++i) filler.rows.push_back({i});
  const uint32_t def = b.AddTable(filler);
  const probe::File f(b.Build());
  const probe::Definition d = probe::ReadDefinition(f, def);
  const uint8_t* map_row =
      f.page(d.usage_page) + probe::Slots(f, d.usage_page).at(d.usage_row).start;
  EXPECT_NE(Le(map_row + 1, 4), 0u);
  EXPECT_NE(Le(map_row + 5, 4), 0u);
  EXPECT_EQ(probe::MapPages(f, d.usage_row, d.usage_page), probe::PagesOwnedBy(f, def));
}

TEST_P(FileTest, BuildingCompletesTheFile) {
  JetFileBuilder b(GetParam());
  b.AddTable(Numbers("T", 5));
  const Bytes first = b.Build();
  EXPECT_EQ(b.Build(), first);
  EXPECT_THROW(b.AddTable(Numbers("U", 1)), std::logic_error);
  // Each instance writes its own file: the tests run in parallel.
  std::string path = ::testing::TempDir() + "builder_file_test_XXXXXX";
  close(mkstemp(path.data()));
  b.WriteTo(path);
  std::ifstream in(path, std::ios::binary);
  const Bytes written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(written, first);
  std::remove(path.c_str());
}

TEST_P(FileTest, DamageHelpersStayInsideTheFile) {
  JetFileBuilder b(GetParam());
  Bytes file = b.Build();
  WriteU32(file, 4 * b.page_size() + 4, 77);
  EXPECT_EQ(Le(file.data() + 4 * b.page_size() + 4, 4), 77u);
  ZeroPage(file, b.page_size(), 2);
  EXPECT_EQ(file[2 * b.page_size()], 0);
  EXPECT_THROW(WriteU16(file, file.size() - 1, 1), std::out_of_range);
  EXPECT_THROW(ZeroPage(file, b.page_size(), 1000), std::out_of_range);
}

TEST_P(FileTest, DemoDatabaseReadsBack) {
  JetFileBuilder b(GetParam());
  AddDemoDatabase(b, GetParam());
  const probe::File f(b.Build());
  EXPECT_EQ(f.page(0)[0], 0x00);
  EXPECT_EQ(f.jet4, jet4());
  std::map<std::string, uint32_t> tables;
  int queries = 0;
  for (const auto& e : probe::Catalog(f)) {
    if (e.type == 1 && e.flags == 0) tables[e.name] = e.id;
    queries += e.type == 5;
  }
  EXPECT_EQ(queries, 2);
  const std::map<std::string, size_t> expected = {
      {"Customers", 12}, {"Products", 20}, {"Orders", 240}};
  for (const auto& [name, count] : expected) {
    ASSERT_TRUE(tables.count(name)) << name;
    const probe::Definition d = probe::ReadDefinition(f, tables[name]);
    EXPECT_EQ(d.rows, count);
    EXPECT_EQ(probe::ReadRows(f, d, tables[name]).size(), count) << name;
  }
  const probe::Definition customers = probe::ReadDefinition(f, tables["Customers"]);
  const auto rows = probe::ReadRows(f, customers, tables["Customers"]);
  EXPECT_EQ(probe::Text(f, rows[1].fields[1].bytes), "Bólido Comidas preparadas");
  EXPECT_GT(probe::LongValue(f, rows[5].fields[5].bytes).size(), 9000u);
  if (jet4()) {
    EXPECT_EQ(probe::Text(f, rows[5].fields[3].bytes), "Москва");
  }
}

TEST_P(FileTest, BenchmarkTableStreamsItsRows) {
  JetFileBuilder b(GetParam());
  AddBenchmarkTable(b, GetParam(), 3000);
  const probe::File f(b.Build());
  uint32_t def = 0;
  for (const auto& e : probe::Catalog(f)) {
    if (e.name == "Readings") def = e.id;
  }
  ASSERT_NE(def, 0u);
  const probe::Definition d = probe::ReadDefinition(f, def);
  EXPECT_EQ(d.rows, 3000u);
  const auto rows = probe::ReadRows(f, d, def);
  ASSERT_EQ(rows.size(), 3000u);
  EXPECT_EQ(Le(rows[2999].fields[3].bytes.data(), 4), 2999u);
  EXPECT_EQ(probe::MapPages(f, d.usage_row, d.usage_page), probe::PagesOwnedBy(f, def));
}

INSTANTIATE_TEST_SUITE_P(Versions, FileTest,
                         ::testing::Values(JetVersion::kJet3, JetVersion::kJet4),
                         [](const auto& info) { return ::testing::PrintToString(info.param); });

}  // namespace
}  // namespace mendora::testing
