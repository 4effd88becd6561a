// Keys, indexes, column constraints and properties made once the rows are
// in, and what happens when the rows break them.
#include "engine_test_util.h"
#include "output/sqlite/sqlite_keys.h"
#include "reader/column_types.h"

namespace mendora::testing {
namespace {

OutputColumn Described(const std::string& name, int type) {
  OutputColumn column;
  column.name = name;
  column.type = type;
  column.column_number = 1;
  return column;
}

OutputIndex Index(const std::string& name, std::vector<OutputIndexColumn> columns, bool primary, bool unique) {
  OutputIndex index;
  index.name = name;
  index.columns = std::move(columns);
  index.primary = primary;
  index.unique = unique;
  return index;
}

class KeysTest : public EngineTest {
 protected:
  // Creates `table` as a save does, adds `rows`, and completes it.
  std::vector<std::string> Save(const OutputTable& table, const std::vector<std::vector<Value>>& rows) {
    bool first = true;
    for (const OutputColumn& column : table.columns) {
      db_->Execute(ColumnStatement(table.name, column, first));
      first = false;
    }
    auto rs = db_->NewRecordset();
    OpenAll(*rs, table.name, table.columns.size());
    for (const auto& values : rows) AddRow(*rs, values);
    rs->Close();
    return db_->CompleteTable(table);
  }
};

TEST_F(KeysTest, KeysIndexesAndConstraintsTheRowsAllowAreMade) {
  OutputTable table;
  table.name = "Items";
  table.columns = {Described("Id", kColumnLongInteger), Described("Code", kColumnText),
                   Described("Price", kColumnCurrency), Described("Added", kColumnDateTime)};
  table.columns[0].autonumber = true;
  table.columns[1].text_length = 8;
  table.columns[1].required = true;
  table.columns[2].default_value = "0";
  table.columns[3].default_value = "=Now()";
  table.indexes = {Index("PrimaryKey", {{"Id", false}}, true, true), Index("Code", {{"Code", true}}, false, true),
                   Index("Added", {{"Added", false}, {"Code", false}}, false, false)};
  table.properties = {{"", "Description", T("all items")}, {"Code", "Caption", T("Item code")}};
  EXPECT_TRUE(Save(table, {{I(3), T("a"), I(1), N()}, {I(7), T("b"), N(), N()}}).empty());
  db_->Execute("INSERT INTO Items (Code) VALUES ('c')");
  db_->Close();

  EXPECT_EQ(Rows(target_, "SELECT name, type, \"notnull\", dflt_value, pk FROM pragma_table_info('Items')"),
            (std::vector<std::string>{"Id|INTEGER|0|NULL|1", "Code|VARCHAR(8)|1|NULL|0",
                                      "Price||0|0|0", "Added|DATETIME|0|CURRENT_TIMESTAMP|0"}));
  // The AutoNumber key numbers the new row after the highest one.
  EXPECT_EQ(Rows(target_, "SELECT Id, Code, Price FROM Items ORDER BY Id"),
            (std::vector<std::string>{"3|a|1", "7|b|NULL", "8|c|0"}));
  EXPECT_EQ(Rows(target_, "SELECT name, \"unique\" FROM pragma_index_list('Items') ORDER BY name"),
            (std::vector<std::string>{"Added|0", "Code|1"}));
  EXPECT_EQ(Rows(target_, "SELECT name, \"desc\" FROM pragma_index_xinfo('Code') WHERE key = 1"),
            (std::vector<std::string>{"Code|1"}));
  EXPECT_EQ(Rows(target_, "SELECT object, ifnull(\"column\", '-'), property, value FROM mendora_properties WHERE "
                          "property <> 'AccessType'"),
            (std::vector<std::string>{"Items|-|Description|all items", "Items|Code|Caption|Item code"}));
  // The Access type of every column, which the declared types do not tell.
  EXPECT_EQ(Rows(target_, "SELECT \"column\", value FROM mendora_properties WHERE property = 'AccessType'"),
            (std::vector<std::string>{"Id|COUNTER", "Code|TEXT(8)", "Price|CURRENCY", "Added|DATE"}));
}

// A repeated key, a null in a key or a required column: every row stays, the
// constraint does not, and each is named with its reason.
TEST_F(KeysTest, ConstraintsTheRowsBreakCostNoRow) {
  OutputTable table;
  table.name = "Lines";
  table.columns = {Described("Order", kColumnLongInteger), Described("Item", kColumnLongInteger),
                   Described("Note", kColumnText), Described("Tag", kColumnText)};
  table.columns[2].required = true;
  table.columns[3].default_value = "Left([Note], 2)";
  table.indexes = {Index("PrimaryKey", {{"Order", false}, {"Item", false}}, true, true),
                   Index("Tag", {{"Tag", false}}, false, true)};
  const std::vector<std::string> lost =
      Save(table, {{I(1), I(1), T("x"), T("t")}, {I(1), I(1), N(), T("t")}, {I(2), N(), T("y"), N()}});
  db_->Close();
  ASSERT_EQ(lost.size(), 3u);
  EXPECT_NE(lost[0].find("primary key PrimaryKey was not kept"), std::string::npos) << lost[0];
  EXPECT_NE(lost[0].find("1 rows have no value in (Order, Item)"), std::string::npos) << lost[0];
  EXPECT_NE(lost[1].find("default value Left([Note], 2) was not kept"), std::string::npos) << lost[1];
  EXPECT_NE(lost[2].find("index Tag was created without UNIQUE: 1 values of (Tag) repeat"), std::string::npos) << lost[2];
  EXPECT_EQ(Rows(target_, "SELECT count(*) FROM Lines"), (std::vector<std::string>{"3"}));
  // A required field that rows leave empty stays required for rows to come,
  // as in Access.
  EXPECT_EQ(ExecOn(target_, "INSERT INTO Lines (\"Order\", Item) VALUES (3, 3)"), "Lines.Note is required");
  EXPECT_EQ(ExecOn(target_, "UPDATE Lines SET Note = NULL WHERE Item = 1"), "Lines.Note is required");
  EXPECT_EQ(ExecOn(target_, "UPDATE Lines SET Tag = 'u' WHERE Note IS NULL"), "");
  EXPECT_EQ(Rows(target_, "SELECT count(*) FROM pragma_table_info('Lines') WHERE pk > 0 OR \"notnull\""),
            (std::vector<std::string>{"0"}));
  // The broken key is still an index, without UNIQUE.
  EXPECT_EQ(Rows(target_, "SELECT name, \"unique\" FROM pragma_index_list('Lines') ORDER BY name"),
            (std::vector<std::string>{"PrimaryKey|0", "Tag|0"}));
}

// An integer key that is no AutoNumber must not become the row id: that
// would number rows Access would refuse. Index names already taken by
// another table get the table's name before them.
TEST_F(KeysTest, PlainIntegerKeysAndSharedIndexNames) {
  for (const std::string name : {"A", "B"}) {
    OutputTable table;
    table.name = name;
    table.columns = {Described("Id", kColumnLongInteger), Described("Zip", kColumnText)};
    table.indexes = {Index("PrimaryKey", {{"Id", false}}, true, true), Index("Zip", {{"Zip", false}}, false, false)};
    EXPECT_TRUE(Save(table, {{I(5), T("z")}}).empty());
  }
  EXPECT_THROW(db_->Execute("INSERT INTO A (Zip) VALUES ('q')"), EngineError);
  db_->Close();
  EXPECT_EQ(Rows(target_, "SELECT type, pk, \"notnull\" FROM pragma_table_info('A') WHERE name = 'Id'"),
            (std::vector<std::string>{"INT|1|1"}));
  EXPECT_EQ(Rows(target_, "SELECT name FROM sqlite_schema WHERE type = 'index' AND sql IS NOT NULL ORDER BY name"),
            (std::vector<std::string>{"B_Zip", "Zip"}));
}

// Also when it is Required or part of a key of several fields: NOT NULL
// would refuse the row before the trigger numbers it.
TEST_F(KeysTest, AnAutoNumberThatIsNoKeyStillNumbersNewRows) {
  OutputTable table;
  table.name = "Log";
  table.columns = {Described("Seq", kColumnLongInteger), Described("Guid", kColumnReplicationId),
                   Described("Text", kColumnText)};
  table.columns[0].autonumber = true;
  table.columns[0].required = true;
  table.columns[1].guid_autonumber = true;
  table.columns[1].default_value = "GenGUID()";
  table.indexes = {Index("PrimaryKey", {{"Seq"}, {"Text"}}, true, true)};
  EXPECT_TRUE(Save(table, {{I(10), N(), T("a")}}).empty());
  db_->Execute("INSERT INTO Log (Text) VALUES ('b')");
  db_->Close();
  EXPECT_EQ(Rows(target_, "SELECT Seq, Guid IS NULL FROM Log ORDER BY Seq"), (std::vector<std::string>{"10|1", "11|0"}));
  EXPECT_EQ(Rows(target_, "SELECT Guid GLOB '{????????-????-????-????-????????????}' FROM Log WHERE Seq = 11"),
            (std::vector<std::string>{"1"}));
}

// A table is rebuilt with its constraints either by a copy aside (few rows)
// or by a rename (many): both keep every row in its order and the key, and
// leave nothing of the rebuild behind.
TEST_F(KeysTest, ARebuildKeepsTheRowsWhateverTheTableSize) {
  const std::vector<int64_t> counts = {3, 20001};
  for (const int64_t count : counts) {
    OutputTable table;
    table.name = "T" + std::to_string(count);
    table.columns = {Described("Id", kColumnLongInteger), Described("Name", kColumnText)};
    table.columns[0].autonumber = true;
    table.columns[1].required = true;
    table.indexes = {Index("PrimaryKey", {{"Id"}}, true, true)};
    std::vector<std::vector<Value>> rows;
    for (int64_t i = count; i >= 1; --i) rows.push_back({I(2 * i), T("n" + std::to_string(i))});
    EXPECT_TRUE(Save(table, rows).empty());
  }
  db_->Close();
  for (const int64_t count : counts) {
    SCOPED_TRACE(count);
    const std::string name = "T" + std::to_string(count);
    EXPECT_EQ(Rows(target_, "SELECT count(*), sum(Id = 2 * substr(Name, 2)), min(rowid = Id) FROM \"" + name + "\""),
              (std::vector<std::string>{std::to_string(count) + "|" + std::to_string(count) + "|1"}));
    EXPECT_EQ(Rows(target_, "SELECT name, \"notnull\", pk FROM pragma_table_info('" + name + "')"),
              (std::vector<std::string>{"Id|0|1", "Name|1|0"}));
  }
  EXPECT_EQ(Rows(target_, "SELECT count(*) FROM sqlite_schema WHERE name LIKE 'mendora_copy%' OR name LIKE 'mendora_rebuild%'"),
            (std::vector<std::string>{"0"}));
}

// An index takes a name no table, view, index or trigger of the database
// has, whatever its case; a temporary table's does not count.
TEST_F(KeysTest, IndexNamesAvoidEveryKindOfObject) {
  db_->Execute("CREATE TABLE Other (x)");
  db_->Execute("CREATE INDEX Listed ON Other (x)");
  db_->Execute("CREATE VIEW Shown AS SELECT * FROM Other");
  db_->Execute("CREATE TEMP TABLE Scratch (x)");
  db_->Execute("CREATE TRIGGER Fired AFTER INSERT ON Other BEGIN SELECT 1; END");
  OutputTable table;
  table.name = "A";
  table.columns = {Described("X", kColumnLongInteger)};
  for (const char* name : {"OTHER", "listed", "Shown", "Scratch", "Fired", "Free"}) {
    table.indexes.push_back(Index(name, {{"X"}}, false, false));
  }
  EXPECT_TRUE(Save(table, {{I(1)}}).empty());
  db_->Close();
  EXPECT_EQ(Rows(target_, "SELECT name FROM sqlite_schema WHERE type = 'index' AND tbl_name = 'A' ORDER BY rowid"),
            (std::vector<std::string>{"A_OTHER", "A_listed", "A_Shown", "Scratch", "A_Fired", "Free"}));
}

// A table whose rows will likely keep its constraints is created with them
// at once; rows that break one, while they come or as the completion finds,
// must leave the very database the long way (plain table, then a rebuild)
// leaves: the same schema text in the same order, rows, row ids and losses.
TEST(PlannedTableTest, EndsAsTheRebuiltTable) {
  // A key of two fields, an AutoNumber among them, a required field, a
  // default and a declared type with a comment.
  OutputTable parts;
  parts.name = "Parts";
  parts.columns = {Described("Seq", kColumnLongInteger), Described("Id", kColumnLongInteger),
                   Described("Name", kColumnText), Described("Price", kColumnCurrency),
                   Described("Total", kColumnLongInteger)};
  parts.columns[0].autonumber = true;
  parts.columns[2].text_length = 20;
  parts.columns[2].required = true;
  parts.columns[3].default_value = "0";
  parts.columns[4].calculated = true;
  parts.indexes = {Index("PrimaryKey", {{"Seq"}, {"Id"}}, true, true), Index("Name", {{"Name"}}, false, true)};
  // An AutoNumber key, which becomes the row id.
  OutputTable orders;
  orders.name = "Orders";
  orders.columns = {Described("Id", kColumnLongInteger), Described("Name", kColumnText),
                    Described("Seq", kColumnLongInteger), Described("Total", kColumnLongInteger)};
  orders.columns[0].autonumber = true;
  orders.columns[1].required = true;
  orders.indexes = {Index("PrimaryKey", {{"Id"}}, true, true)};
  const std::vector<Value> good = {I(1), I(1), T("a"), I(5), I(5)};
  struct Case {
    const char* what;
    const OutputTable* table;
    std::vector<std::vector<Value>> rows;
  };
  const std::vector<Case> cases = {
      {"every row keeps them", &parts, {good, {I(2), I(1), T("b"), N(), I(0)}}},
      {"a repeated key", &parts, {good, {I(2), I(2), T("b"), N(), I(0)}, good, {I(3), I(3), T("c"), I(1), I(1)}}},
      {"a missing required value", &parts, {good, {I(2), I(2), N(), I(1), I(1)}, {I(3), I(3), T("c"), I(1), I(1)}}},
      {"a missing key value", &parts, {{I(2), N(), T("b"), I(1), I(1)}, good}},
      // The AutoNumber in the key takes no NOT NULL: only the completion
      // finds its missing value.
      {"a missing AutoNumber in the key", &parts, {good, {N(), I(2), T("b"), I(1), I(1)}}},
      {"a repeated value of a unique index", &parts, {good, {I(2), I(2), T("a"), I(1), I(1)}}},
      {"row ids out of order", &orders, {{I(7), T("a"), I(1), I(1)}, {I(3), T("b"), I(2), I(2)}}},
      {"a repeated row id", &orders, {{I(7), T("a"), I(1), I(1)}, {I(3), T("b"), I(2), I(2)}, {I(7), T("c"), I(3), I(3)},
                                      {I(5), T("d"), I(4), I(4)}}},
      {"a missing row id", &orders, {{I(7), T("a"), I(1), I(1)}, {I(3), T("b"), I(2), I(2)}, {N(), T("c"), I(3), I(3)}}},
      {"a row id that is text", &orders, {{I(7), T("a"), I(1), I(1)}, {T("x"), T("b"), I(2), I(2)}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const OutputTable& table = *c.table;
    ScratchDir dir;
    std::vector<std::string> lost[2];
    for (const bool planned : {false, true}) {
      SqliteDatabase db;
      db.Create(dir.File(planned ? "planned.sqlite" : "plain.sqlite"), false);
      std::vector<SchemaStatement> statements;
      for (const OutputColumn& column : table.columns) {
        statements.push_back(ColumnStatement(table.name, column, statements.empty()));
      }
      if (planned) {
        db.CreateTable(statements, table);
      } else {
        db.CreateTable(statements);
      }
      auto rs = db.NewRecordset();
      OpenAll(*rs, table.name, table.columns.size());
      for (const auto& values : c.rows) AddRow(*rs, values);
      rs->Close();
      lost[planned] = db.CompleteTable(table);
      // A row added later finds the same defaults and counters.
      db.Execute(table.name == "Parts" ? "INSERT INTO Parts (Id, Name) VALUES (9, 'z')"
                                       : "INSERT INTO Orders (Seq, Name) VALUES (9, 'z')");
      db.Close();
    }
    EXPECT_EQ(lost[1], lost[0]);
    const std::string files[2] = {dir.File("plain.sqlite"), dir.File("planned.sqlite")};
    std::vector<std::string> queries = {"SELECT type, name, tbl_name, sql FROM sqlite_schema ORDER BY rowid",
                                        "SELECT rowid, * FROM " + table.name + " ORDER BY rowid"};
    // A completion that failed left no properties.
    if (lost[0].empty()) queries.push_back("SELECT * FROM mendora_properties");
    for (const std::string& sql : queries) EXPECT_EQ(Rows(files[1], sql), Rows(files[0], sql)) << sql;
    if (c.rows.size() == 2 && lost[0].empty()) {
      // Made once: fewer changes of the schema than create and rebuild.
      EXPECT_LT(std::stoll(Rows(files[1], "PRAGMA schema_version").at(0)),
                std::stoll(Rows(files[0], "PRAGMA schema_version").at(0)));
    }
  }
}

TEST(SqliteDefaultTest, AccessDefaultsThatSqliteHas) {
  EXPECT_EQ(SqliteDefault("0", kColumnLongInteger), "0");
  EXPECT_EQ(SqliteDefault(" =-1.5 ", kColumnDouble), "-1.5");
  EXPECT_EQ(SqliteDefault("12", kColumnText), "'12'");
  EXPECT_EQ(SqliteDefault("\"it's \"\"x\"\"\"", kColumnText), "'it''s \"x\"'");
  EXPECT_EQ(SqliteDefault("=No", kColumnBoolean), "0");
  EXPECT_EQ(SqliteDefault("Yes", kColumnBoolean), "1");
  EXPECT_EQ(SqliteDefault("now()", kColumnDateTime), "CURRENT_TIMESTAMP");
  EXPECT_EQ(SqliteDefault("Date()", kColumnDateTime), "CURRENT_DATE");
  for (const char* unknown : {"", "=", "\"a\" & \"b\"", "DateAdd(\"d\", 1, Date())", "1e5x", "'open"}) {
    EXPECT_EQ(SqliteDefault(unknown, kColumnText), std::nullopt) << unknown;
  }
}

}  // namespace
}  // namespace mendora::testing
