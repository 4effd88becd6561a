// Keys, indexes and column properties of the samples: read from the table
// definitions and the catalog's property blocks, and made in a saved target.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "output/sqlite/sqlite_output.h"
#include "reader/index_def.h"
#include "reader/property_blocks.h"
#include "reader/row_cursor.h"
#include "recovery/catalog_objects.h"
#include "recovery/recovery_session.h"
#include "recovery/table_schema.h"
#include "tests/engine/engine_test_util.h"
#include "tests/support/corpus.h"
#include "tests/support/temp_database.h"

namespace mendora {
namespace {

using testing::CorpusDir;
using testing::ScratchDir;

class Quiet final : public DamageReporter {
 public:
  void Report(const DamageReport&) override { ++reports; }
  int reports = 0;
};

// A sample opened with its catalog's table definitions at hand.
class Sample {
 public:
  explicit Sample(const std::string& file) {
    handle_ = OpenJetHandle((*CorpusDir() / file).string());
    if (!handle_) return;
    handle_->damage = &quiet_;
    TableDefPtr catalog = OpenTable(*handle_, "MSysObjects", 1, 2);
    RowCursor cursor(*catalog);
    Row row;
    const size_t name = *catalog->ColumnIndex("Name");
    const size_t id = *catalog->ColumnIndex("Id");
    const size_t type = *catalog->ColumnIndex("Type");
    while (cursor.Next(row)) {
      if (row.values[type].integer == kCatalogTable) pages_[row.values[name].bytes] = CatalogIdPage(row.values[id].integer);
    }
  }
  bool ok() const { return handle_ != nullptr; }
  TableDefPtr Table(const std::string& name) { return OpenTable(*handle_, name, 1, pages_.at(name)); }
  JetHandle& handle() { return *handle_; }
  int32_t Page(const std::string& name) const { return pages_.at(name); }

 private:
  JetHandlePtr handle_;
  Quiet quiet_;
  std::map<std::string, int32_t> pages_;
};

std::vector<std::string> Describe(const TableDef& table, const IndexDefinition& indexes) {
  std::vector<std::string> out;
  for (const LogicalIndex& logical : indexes.logical) {
    const RealIndex& real = indexes.real[static_cast<size_t>(logical.real_index)];
    std::string line = logical.name + ":" + std::to_string(static_cast<int>(logical.kind)) + ":";
    for (const IndexColumn& column : real.columns) {
      for (const ColumnDef& def : table.columns) {
        if (def.column_number == column.column_number) line += def.name + (column.descending ? "-" : "+");
      }
    }
    out.push_back(line + ":" + std::to_string(real.flags & (kIndexUnique | kIndexIgnoreNulls | kIndexRequired)));
  }
  return out;
}

TEST(IndexDefinitionTest, JetThreeAndFourListTheirIndexes) {
  if (!CorpusDir()) GTEST_SKIP() << "sample databases not found (set MENDORA_CORPUS)";
  for (const char* file : {"jet3-indexes.mdb", "jet4-indexes.mdb"}) {
    SCOPED_TRACE(file);
    Sample sample(file);
    ASSERT_TRUE(sample.ok());
    TableDefPtr table = sample.Table("Table1");
    std::string problem;
    const auto indexes = ReadIndexes(*table, &problem);
    ASSERT_TRUE(indexes) << problem;
    EXPECT_EQ(Describe(*table, *indexes),
              (std::vector<std::string>{"id:0:id+:0", "PrimaryKey:1:id+:9", "Table2Table1:2:otherfk1+:0",
                                        "Table3Table1:2:otherfk2+:0"}));
  }
  Sample northwind("jet4-northwind.mdb");
  ASSERT_TRUE(northwind.ok());
  TableDefPtr details = northwind.Table("Order Details");
  const auto indexes = ReadIndexes(*details, nullptr);
  ASSERT_TRUE(indexes);
  EXPECT_EQ(Describe(*details, *indexes),
            (std::vector<std::string>{"OrderID:0:OrderID+:0", "OrdersOrder Details:2:OrderID+:0",
                                      "PrimaryKey:1:OrderID+ProductID+:9", "ProductID:0:ProductID+:0",
                                      "ProductsOrder Details:2:ProductID+:0"}));
  TableDefPtr categories = northwind.Table("Categories");
  EXPECT_TRUE(categories->columns[0].IsAutoNumber());
  EXPECT_FALSE(categories->columns[1].IsAutoNumber());
  EXPECT_EQ(Describe(*categories, *ReadIndexes(*categories, nullptr))[1], "CategoryName:0:CategoryName+:1");
  // Descending, as the compound-index samples store their only index.
  Sample compound("jet4-compound-index.mdb");
  TableDefPtr table = compound.Table("Table1");
  EXPECT_EQ(Describe(*table, *ReadIndexes(*table, nullptr)), (std::vector<std::string>{"CD_AGENTE:0:CD_AGENTE-:0"}));
}

TEST(IndexDefinitionTest, AnIndexPartCutShortIsRefusedNotOverread) {
  if (!CorpusDir()) GTEST_SKIP() << "sample databases not found (set MENDORA_CORPUS)";
  Sample sample("jet4-northwind.mdb");
  TableDefPtr table = sample.Table("Orders");
  const std::vector<uint8_t> whole = table->definition;
  for (size_t cut : {table->index_start + 10, table->index_start + 7 * 52 + 5, table->index_start + 7 * 52 + 10 * 28 + 3}) {
    table->definition.assign(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
    std::string problem;
    EXPECT_FALSE(ReadIndexes(*table, &problem)) << cut;
    EXPECT_NE(problem.find("runs past the definition"), std::string::npos) << problem;
  }
  table->definition = whole;
  table->index_count = 5000;
  EXPECT_FALSE(ReadIndexes(*table, nullptr));
}

TEST(PropertyBlocksTest, DescriptionsRequiredAndDefaultsOfTheSamples) {
  if (!CorpusDir()) GTEST_SKIP() << "sample databases not found (set MENDORA_CORPUS)";
  for (const char* file : {"jet4-northwind.mdb", "jet3-indexes.mdb"}) {
    SCOPED_TRACE(file);
    Sample sample(file);
    CatalogObjects catalog;
    catalog.Load(sample.handle());
    EXPECT_EQ(catalog.problem(), "");
    std::string problem;
    const bool jet4 = sample.handle().IsJet4();
    const std::string& stored = catalog.TableProperties(sample.Page(jet4 ? "Categories" : "Table1"));
    ASSERT_FALSE(stored.empty());
    const ByteView bytes(reinterpret_cast<const uint8_t*>(stored.data()), stored.size());
    const auto objects = ReadPropertyBlocks(bytes, jet4, *sample.handle().file->code_page, &problem);
    EXPECT_EQ(problem, "");
    ASSERT_GE(objects.size(), 2u);
    EXPECT_EQ(objects[0].name, "");
    if (jet4) {
      EXPECT_EQ(FindProperty(objects[0], "description")->value.bytes, "Categories of Northwind products.");
      EXPECT_EQ(objects[1].name, "CategoryName");
      EXPECT_TRUE(IsTrue(*FindProperty(objects[1], "Required")));
    } else {
      EXPECT_EQ(objects[1].name, "id");
      EXPECT_EQ(FindProperty(objects[1], "DefaultValue")->value.bytes, "0");
    }

    // Cut anywhere, or with a length made huge, the blocks give what came
    // before; one that leaves no mark says so.
    for (size_t cut = 0; cut < stored.size(); cut += 7) {
      std::string reason;
      const auto part = ReadPropertyBlocks(ByteView(bytes.data(), cut), jet4, *sample.handle().file->code_page, &reason);
      EXPECT_LE(part.size(), objects.size());
      if (cut < 4) EXPECT_NE(reason, "") << cut;
    }
    std::string bad = stored;
    bad[4] = '\xFF';
    bad[7] = '\x7F';
    std::string reason;
    EXPECT_TRUE(ReadPropertyBlocks(ByteView(reinterpret_cast<const uint8_t*>(bad.data()), bad.size()), jet4,
                                   *sample.handle().file->code_page, &reason)
                    .empty());
    EXPECT_NE(reason.find("runs past"), std::string::npos) << reason;
  }
}

PassResult Save(const std::string& source, const std::string& target, LossAccount* losses = nullptr,
                OleStorage ole = OleStorage::kUnwrap) {
  RecoverySession session;
  session.options.source_path = source;
  session.options.mode = RunMode::kSave;
  session.options.target_path = target;
  session.options.make_target = SqliteTargetFactory(ole);
  PassResult result = RunRecovery(session);
  if (losses != nullptr) *losses = session.results.losses;
  return result;
}

TEST(SavedSchemaTest, RecoveredNorthwindWorksAtOnce) {
  if (!CorpusDir()) GTEST_SKIP() << "sample databases not found (set MENDORA_CORPUS)";
  ScratchDir dir;
  const std::string target = dir.File("northwind.sqlite");
  LossAccount losses(nullptr);
  ASSERT_EQ(Save((*CorpusDir() / "jet4-northwind.mdb").string(), target, &losses).outcome, PassOutcome::kCompleted);
  EXPECT_EQ(losses.count(), 0u) << (losses.lines().empty() ? "" : losses.lines()[0]);
  EXPECT_EQ(testing::Rows(target, "PRAGMA integrity_check"), (std::vector<std::string>{"ok"}));
  EXPECT_TRUE(testing::Rows(target, "PRAGMA foreign_key_check").empty());
  EXPECT_EQ(testing::Rows(target, "SELECT name FROM pragma_table_info('Order Details') WHERE pk > 0 ORDER BY pk"),
            (std::vector<std::string>{"OrderID", "ProductID"}));
  EXPECT_EQ(testing::Rows(target, "SELECT \"notnull\", dflt_value FROM pragma_table_info('Order Details') "
                                  "WHERE name = 'Quantity'"),
            (std::vector<std::string>{"1|1"}));
  EXPECT_EQ(testing::Rows(target, "SELECT type FROM pragma_table_info('Customers') WHERE name = 'CompanyName'"),
            (std::vector<std::string>{"VARCHAR(40)"}));
  EXPECT_EQ(testing::Rows(target, "SELECT value FROM mendora_properties WHERE object = 'Categories' AND "
                                  "\"column\" = 'CategoryName' AND property = 'Description'"),
            (std::vector<std::string>{"Name of food category."}));

  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(target.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, "PRAGMA foreign_keys = ON; INSERT INTO Categories (CategoryName) VALUES ('x')", nullptr,
                         nullptr, nullptr),
            SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db,
                         "INSERT INTO \"Order Details\" (OrderID, ProductID, UnitPrice, Quantity, Discount) "
                         "SELECT OrderID, ProductID, 1, 1, 0 FROM \"Order Details\" LIMIT 1",
                         nullptr, nullptr, nullptr),
            SQLITE_CONSTRAINT);
  sqlite3_close(db);
  EXPECT_EQ(testing::Rows(target, "SELECT CategoryID FROM Categories WHERE CategoryName = 'x'"),
            (std::vector<std::string>{"9"}));

  // The select queries without parameters are views, counted against the tables.
  EXPECT_EQ(testing::Rows(target, "SELECT count(*) FROM sqlite_schema WHERE type = 'view'"),
            (std::vector<std::string>{"18"}));
  EXPECT_EQ(testing::Rows(target, "SELECT name, no_view_reason FROM mendora_queries WHERE no_view_reason IS NOT NULL "
                                  "ORDER BY name"),
            (std::vector<std::string>{"Employee Sales by Country|it asks for parameters",
                                      "Invoices Filter|it refers to a form or another object by !",
                                      "Quarterly Orders by Product|it is a crosstab query",
                                      "Sales by Year|it asks for parameters"}));
  EXPECT_EQ(testing::Rows(target, "SELECT (SELECT count(*) FROM \"Alphabetical List of Products\"), "
                                  "(SELECT count(*) FROM Products WHERE NOT Discontinued), "
                                  "(SELECT count(*) FROM \"Order Subtotals\"), (SELECT count(*) FROM Orders), "
                                  "(SELECT count(*) FROM Invoices), (SELECT count(*) FROM \"Order Details\"), "
                                  "(SELECT count(*) FROM \"Ten Most Expensive Products\"), "
                                  "(SELECT count(*) FROM \"Quarterly Orders\")"),
            (std::vector<std::string>{"69|69|830|830|2155|2155|10|84"}));
}

// Every picture of Northwind is stored as the bitmap inside its wrapper, and
// the wrapper kept in mendora_ole puts the stored bytes back together.
TEST(SavedSchemaTest, PicturesAreTheirFilesAndTheirWrappersGiveTheStoredBytes) {
  if (!CorpusDir()) GTEST_SKIP() << "sample databases not found (set MENDORA_CORPUS)";
  ScratchDir dir;
  const std::string source = (*CorpusDir() / "jet4-northwind.mdb").string();
  const std::string files = dir.File("files.sqlite");
  const std::string raw = dir.File("raw.sqlite");
  ASSERT_EQ(Save(source, files).outcome, PassOutcome::kCompleted);
  ASSERT_EQ(Save(source, raw, nullptr, OleStorage::kRaw).outcome, PassOutcome::kCompleted);
  // A bitmap's header gives its own length.
  EXPECT_EQ(testing::Rows(files, "SELECT count(*) FROM Employees WHERE substr(Photo, 1, 2) = CAST('BM' AS BLOB)"),
            (std::vector<std::string>{"9"}));
  EXPECT_EQ(testing::Rows(files, "SELECT \"table\", \"column\", class, media_type, count(*) FROM mendora_ole "
                                 "GROUP BY 1, 2, 3, 4 ORDER BY 1"),
            (std::vector<std::string>{"Categories|Picture|Paint.Picture|image/bmp|8",
                                      "Employees|Photo|Paint.Picture|image/bmp|9"}));
  const std::string attach = "ATTACH '" + raw + "' AS raw";
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(files.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, attach.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_stmt* stmt = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db,
                               "SELECT o.file_offset, o.wrapper, e.Photo, r.Photo FROM mendora_ole o "
                               "JOIN Employees e ON e.rowid = o.row_key JOIN raw.Employees r USING (EmployeeID) "
                               "WHERE o.\"table\" = 'Employees'",
                               -1, &stmt, nullptr),
            SQLITE_OK);
  int rows = 0;
  const auto blob = [&](int i) {
    return std::string(static_cast<const char*>(sqlite3_column_blob(stmt, i)),
                       static_cast<size_t>(sqlite3_column_bytes(stmt, i)));
  };
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    ++rows;
    const size_t offset = static_cast<size_t>(sqlite3_column_int64(stmt, 0));
    const std::string wrapper = blob(1);
    EXPECT_EQ(wrapper.substr(0, offset) + blob(2) + wrapper.substr(offset), blob(3));
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  EXPECT_EQ(rows, 9);
}

// A copy whose definition says an index is unique where the rows repeat
// (damage, or rows changed behind the index): every row is kept, and the
// loss account names the index and why.
TEST(SavedSchemaTest, AKeyTheRowsBreakCostsNoRow) {
  if (!CorpusDir()) GTEST_SKIP() << "sample databases not found (set MENDORA_CORPUS)";
  const std::string source = (*CorpusDir() / "jet4-northwind.mdb").string();
  std::ifstream in(source, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Sample sample("jet4-northwind.mdb");
  TableDefPtr customers = sample.Table("Customers");
  // The flags of the first real index (City) of Customers.
  const size_t flags = static_cast<size_t>(sample.Page("Customers")) * 4096 + customers->index_start + 46;
  ASSERT_LT(customers->index_start + 46, 4096u);
  ASSERT_EQ(bytes[flags], 0x80);
  bytes[flags] = 0x81;
  testing::TempDatabase damaged(bytes);
  ScratchDir dir;
  const std::string target = dir.File("damaged.sqlite");
  LossAccount losses(nullptr);
  ASSERT_EQ(Save(damaged.path(), target, &losses).outcome, PassOutcome::kCompleted);
  EXPECT_EQ(testing::Rows(target, "SELECT count(*) FROM Customers"), (std::vector<std::string>{"91"}));
  EXPECT_EQ(testing::Rows(target, "SELECT \"unique\" FROM pragma_index_list('Customers') WHERE name = 'City'"),
            (std::vector<std::string>{"0"}));
  ASSERT_EQ(losses.lines().size(), 1u);
  EXPECT_EQ(losses.lines()[0], "Table Customers: index City was created without UNIQUE: 10 values of (City) repeat");
}

}  // namespace
}  // namespace mendora
