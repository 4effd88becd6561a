// Tables, columns, free statements and saved queries of the target, and the
// calls the engine refuses.
#include <fstream>

#include "engine_test_util.h"
#include "output/sqlite/sqlite_schema.h"

namespace mendora::testing {
namespace {

using SchemaTest = EngineTest;

TEST_F(SchemaTest, HostileNamesAreOnlyNames) {
  const std::string table = "x\"; DROP TABLE t; --";
  MakeTable(*db_, "t", {{"c", "TEXT"}});
  MakeTable(*db_, table, {{"a]b", "TEXT"}, {"sp ace;\"q\"", "LONG"}, {"Größe ✓", "DOUBLE"}});
  auto rs = db_->NewRecordset();
  OpenAll(*rs, table, 3);
  AddRow(*rs, {T("v"), I(5), D(2.5)});
  rs->Close();
  db_->Close();
  EXPECT_EQ(Rows(target_, "SELECT name FROM sqlite_schema WHERE type = 'table' ORDER BY name"),
            (std::vector<std::string>{"t", table}));
  EXPECT_EQ(Rows(target_, "SELECT * FROM \"x\"\"; DROP TABLE t; --\""), (std::vector<std::string>{"v|5|2.5"}));
}

// SQLite refuses names starting with "sqlite_", and the query catalog is the
// engine's own: such tables are kept under a leading underscore, for rows and
// relations alike, whichever comes first.
TEST_F(SchemaTest, ReservedTableNamesAreKeptUnderAnUnderscore) {
  auto query = db_->NewQueryDef();
  query->Create("Q", "");
  query->Append();
  MakeTable(*db_, "SQLite_Users", {{"Id", "LONG"}});
  MakeTable(*db_, "mendora_queries", {{"name", "TEXT"}, {"sql", "TEXT"}, {"User", "LONG"}});
  auto rs = db_->NewRecordset();
  OpenAll(*rs, "SQLite_Users", 1);
  AddRow(*rs, {I(7)});
  OpenAll(*rs, "mendora_queries", 3);
  AddRow(*rs, {T("mine"), N(), I(7)});
  rs->Close();
  auto relations = db_->NewRelationDatabase();
  relations->CreateRelation("R", "SQLite_Users", "mendora_queries", 0, {{"Id", "User"}});
  relations->Close();
  auto later = db_->NewQueryDef();
  later->Create("Later", "");
  later->Append();
  db_->Close();
  EXPECT_EQ(Rows(target_, "SELECT Id FROM _SQLite_Users"), (std::vector<std::string>{"7"}));
  EXPECT_EQ(Rows(target_, "SELECT name, User FROM _mendora_queries"), (std::vector<std::string>{"mine|7"}));
  EXPECT_EQ(Rows(target_, "SELECT name FROM mendora_queries ORDER BY name"), (std::vector<std::string>{"Later", "Q"}));
  EXPECT_EQ(Rows(target_, "SELECT \"table\" FROM pragma_foreign_key_list('_mendora_queries')"),
            (std::vector<std::string>{"_SQLite_Users"}));
}

TEST_F(SchemaTest, ExistingTableOrColumnIsRefused) {
  MakeTable(*db_, "T", {{"A", "TEXT"}});
  EXPECT_THROW(db_->Execute(Column(SchemaStatement::Kind::kCreateTable, "t", "B", "TEXT")), EngineError);
  EXPECT_THROW(db_->Execute(Column(SchemaStatement::Kind::kAddColumn, "T", "a", "LONG")), EngineError);
  EXPECT_THROW(db_->Execute(Column(SchemaStatement::Kind::kAddColumn, "Missing", "A", "LONG")), EngineError);
  db_->Close();
  EXPECT_EQ(Rows(target_, "SELECT name FROM pragma_table_info('T')"), (std::vector<std::string>{"A"}));
}

TEST_F(SchemaTest, ExecuteRunsExactlyOneStatement) {
  db_->Execute("CREATE TABLE a (x INTEGER);  -- trailing comment\n ;");
  db_->Execute("INSERT INTO a VALUES (1)");
  for (const char* sql :
       {"", "  -- nothing\n", "INSERT INTO a VALUES (2); DROP TABLE a", "INSERT INTO a VALUES (3); CREATE TABLE b (y)",
        "INSERT INTO a VALUES (4); garbage", "COMMIT", "SAVEPOINT s", "SELEC 1"}) {
    EXPECT_THROW(db_->Execute(std::string(sql)), EngineError) << sql;
  }
  db_->Close();
  EXPECT_EQ(Rows(target_, "SELECT x FROM a"), (std::vector<std::string>{"1"}));
  EXPECT_EQ(Rows(target_, "SELECT count(*) FROM sqlite_schema WHERE name = 'b'"), (std::vector<std::string>{"0"}));
}

TEST_F(SchemaTest, QueriesAreKeptInTheCatalog) {
  auto query = db_->NewQueryDef();
  EXPECT_THROW(query->Append(), EngineError);
  query->Create("Active Customers", "SELECT * FROM [Customers] WHERE [Active];");
  query->Append();
  auto second = db_->NewQueryDef();
  second->Create("Totals", "SELECT Sum([x]) FROM [t];");
  second->Append();
  auto duplicate = db_->NewQueryDef();
  duplicate->Create("active customers", "SELECT 1;");
  EXPECT_THROW(duplicate->Append(), EngineError);
  db_->Close();
  EXPECT_EQ(Rows(target_, "SELECT name, sql FROM mendora_queries ORDER BY name"),
            (std::vector<std::string>{"Active Customers|SELECT * FROM [Customers] WHERE [Active];",
                                      "Totals|SELECT Sum([x]) FROM [t];"}));
}

TEST_F(SchemaTest, RecordsetCallsOutOfOrderAreRefused) {
  MakeTable(*db_, "T", {{"A", "TEXT"}});
  auto rs = db_->NewRecordset();
  EXPECT_THROW(AddRow(*rs, {T("x")}), EngineError);
  EXPECT_THROW(OpenAll(*rs, "Missing", 1), EngineError);
  EXPECT_THROW(OpenAll(*rs, "T", 2), EngineError);  // more values than columns
  EXPECT_FALSE(rs->IsOpen());
  OpenAll(*rs, "T", 1);
  AddRow(*rs, {T("x")});
  AddRow(*rs, {});  // a row shorter than the table fills with nulls
  db_->Close();
  // The database is gone: its recordset fails cleanly instead of dangling.
  EXPECT_FALSE(rs->IsOpen());
  EXPECT_THROW(AddRow(*rs, {T("y")}), EngineError);
  EXPECT_THROW(db_->Execute("SELECT 1"), EngineError);
  EXPECT_THROW(db_->NewRecordset(), EngineError);
  EXPECT_EQ(Rows(target_, "SELECT A FROM T ORDER BY rowid"), (std::vector<std::string>{"x", "NULL"}));
}

// The lookup in memory that spares a scan of sqlite_schema per table must
// answer as that scan does: the stored case, and no view taken for a table.
TEST(StoredTableTest, AnswersAsTheSchemaScan) {
  ScratchDir dir;
  const std::string path = dir.File("t.sqlite");
  std::ofstream(path).close();  // an empty file is an empty database
  ASSERT_EQ(ExecOn(path, "CREATE TABLE Orders (a); CREATE TABLE Counted (id INTEGER PRIMARY KEY AUTOINCREMENT);"
                         "CREATE VIEW Recent AS SELECT * FROM Orders; CREATE VIEW Computed AS SELECT 1 AS x;"
                         "CREATE VIEW Broken AS SELECT * FROM Gone; CREATE INDEX Ordered ON Orders (a)"),
            "");
  auto connection = SqliteConnection::Open(path);
  const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
      {"Orders", "Orders"}, {"oRDERS", "Orders"},  {"Recent", std::nullopt}, {"Computed", std::nullopt},
      {"Broken", std::nullopt}, {"Ordered", std::nullopt}, {"Gone", std::nullopt},
      {"SQLITE_SEQUENCE", "sqlite_sequence"}, {"sqlite_master", std::nullopt}};
  for (const auto& [name, stored] : cases) {
    const std::optional<TableInfo> scanned = FindTable(*connection, name);
    EXPECT_EQ(scanned ? std::optional<std::string>(scanned->name) : std::nullopt, stored) << name;
    EXPECT_EQ(StoredTable(*connection, name), stored) << name;
  }
}

}  // namespace
}  // namespace mendora::testing
