// Relations become foreign keys of the referencing table without losing its
// rows, its indexes or the keys it already had.
#include "engine_test_util.h"

namespace mendora::testing {
namespace {

class RelationTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    MakeTable(*db_, "Customers", {{"Id", "LONG"}, {"Region", "TEXT"}, {"Name", "TEXT"}});
    MakeTable(*db_, "Order Lines", {{"Customer", "LONG"}, {"Region", "TEXT"}, {"Note", "MEMO"}});
    db_->Execute("CREATE INDEX \"by customer\" ON \"Order Lines\" (Customer)");
    auto rs = db_->NewRecordset();
    OpenAll(*rs, "Order Lines", 3);
    AddRow(*rs, {I(1), T("N"), T("first")});
    AddRow(*rs, {I(9), T("S"), T("orphan")});
    rs->Close();
    // Every line has its customer: a relation the rows break is made no
    // constraint at all, and these tests are about the ones that are made.
    auto customers = db_->NewRecordset();
    OpenAll(*customers, "Customers", 3);
    AddRow(*customers, {I(1), T("N"), T("Ann")});
    AddRow(*customers, {I(9), T("S"), T("Sy")});
    customers->Close();
    relations_ = db_->NewRelationDatabase();
  }

  std::vector<std::string> ForeignKeys() {
    return Rows(target_,
                "SELECT id, seq, \"table\", \"from\", \"to\", on_update, on_delete "
                "FROM pragma_foreign_key_list('Order Lines') ORDER BY id, seq");
  }

  std::unique_ptr<EngineRelationDatabase> relations_;
};

// Runs `sql` on `path` the way a user's tool does with foreign keys enforced;
// SQLite's error text, or empty on success.
std::string ExecEnforcingKeys(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
  std::string error;
  char* message = nullptr;
  if (sqlite3_exec(db, ("PRAGMA foreign_keys = ON; " + sql).c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    error = message != nullptr ? message : "failed";
  }
  sqlite3_free(message);
  sqlite3_close(db);
  return error;
}

TEST_F(RelationTest, OneAndTwoFieldRelationsBecomeForeignKeys) {
  relations_->CreateRelation("CustomersOrders", "Customers", "Order Lines", 0x1000, {{"id", "customer"}});
  relations_->CreateRelation("ByRegion", "Customers", "Order Lines", 0, {{"Id", "Customer"}, {"Region", "Region"}});
  relations_->Close();
  db_->Close();
  EXPECT_EQ(ForeignKeys(), (std::vector<std::string>{"0|0|Customers|Customer|Id|NO ACTION|NO ACTION",
                                                     "0|1|Customers|Region|Region|NO ACTION|NO ACTION",
                                                     "1|0|Customers|Customer|Id|NO ACTION|CASCADE"}));
  EXPECT_EQ(Rows(target_, "SELECT Customer, Note FROM \"Order Lines\" ORDER BY rowid"),
            (std::vector<std::string>{"1|first", "9|orphan"}));
  EXPECT_EQ(Rows(target_, "SELECT name FROM sqlite_schema WHERE tbl_name = 'Order Lines' AND type = 'index'"),
            (std::vector<std::string>{"by customer"}));
  std::vector<std::string> sql = Rows(target_, "SELECT sql FROM sqlite_schema WHERE name = 'Order Lines'");
  ASSERT_EQ(sql.size(), 1u);
  EXPECT_NE(sql[0].find("CONSTRAINT \"CustomersOrders\""), std::string::npos) << sql[0];
  EXPECT_NE(sql[0].find("CONSTRAINT \"ByRegion\""), std::string::npos) << sql[0];
  EXPECT_EQ(Rows(target_, "SELECT name, enforced FROM mendora_relations ORDER BY name"),
            (std::vector<std::string>{"ByRegion|1", "CustomersOrders|1"}));
}

// SQLite calls a foreign key whose referenced columns are not unique a
// mismatch and refuses every change to either table once keys are enforced.
TEST_F(RelationTest, ReferencedFieldsGetOneUniqueKeyAndBothTablesStayWritable) {
  auto customers = db_->NewRecordset();
  OpenAll(*customers, "Customers", 3);
  AddRow(*customers, {I(2), T("N"), T("Bob")});
  customers->Close();
  relations_->CreateRelation("First", "Customers", "Order Lines", 0, {{"Id", "Customer"}});
  relations_->CreateRelation("Again", "Customers", "Order Lines", 0, {{"ID", "customer"}});
  relations_->CreateRelation("Pair", "Customers", "Order Lines", 0, {{"Region", "Region"}, {"Id", "Customer"}});
  relations_->Close();
  db_->Close();
  EXPECT_EQ(Rows(target_, "SELECT name FROM pragma_index_list('Customers') WHERE \"unique\" = 1 ORDER BY name"),
            (std::vector<std::string>{"Customers_Id_key", "Customers_Region_Id_key"}));
  EXPECT_EQ(ExecEnforcingKeys(target_, "INSERT INTO \"Order Lines\" (Customer, Region) VALUES (2, 'N')"), "");
  EXPECT_EQ(ExecEnforcingKeys(target_, "UPDATE Customers SET Name = 'Cy' WHERE Id = 2"), "");
  EXPECT_NE(ExecEnforcingKeys(target_, "INSERT INTO \"Order Lines\" (Customer) VALUES (7)"), "");
  EXPECT_EQ(Rows(target_, "SELECT count(*) FROM pragma_foreign_key_check('Order Lines')"),
            (std::vector<std::string>{"0"}));
}

TEST_F(RelationTest, RepeatedReferencedValuesRefuseTheRelationAndChangeNothing) {
  auto customers = db_->NewRecordset();
  OpenAll(*customers, "Customers", 3);
  AddRow(*customers, {I(1), T("S"), N()});
  customers->Close();
  relations_->CreateRelation("R", "Customers", "Order Lines", 0, {{"Id", "Customer"}});
  relations_->CreateRelation("ByBoth", "Customers", "Order Lines", 0, {{"Id", "Customer"}, {"Region", "Region"}});
  relations_->Close();
  db_->Close();
  EXPECT_EQ(Rows(target_, "SELECT name FROM sqlite_schema WHERE type = 'index' AND tbl_name = 'Customers'"),
            (std::vector<std::string>{"Customers_Id_Region_key"}));
  EXPECT_EQ(Rows(target_, "SELECT \"from\" FROM pragma_foreign_key_list('Order Lines')"),
            (std::vector<std::string>{"Customer", "Region"}));
  EXPECT_EQ(Rows(target_, "SELECT name, enforced, reason FROM mendora_relations ORDER BY name"),
            (std::vector<std::string>{"ByBoth|1|NULL", "R|0|the fields of Customers it refers to repeat in the recovered rows"}));
}

TEST_F(RelationTest, RowsAddedAfterwardsAreNotCheckedAgainstIt) {
  relations_->CreateRelation("R", "Customers", "Order Lines", 0, {{"Id", "Customer"}});
  auto rs = db_->NewRecordset();
  OpenAll(*rs, "Order Lines", 3);
  AddRow(*rs, {I(42), N(), N()});
  rs->Close();
  relations_->Close();
  db_->Close();
  EXPECT_EQ(Rows(target_, "SELECT count(*) FROM \"Order Lines\""), (std::vector<std::string>{"3"}));
}

TEST_F(RelationTest, ViewOnTheTableSurvivesTheRebuild) {
  db_->Execute("CREATE VIEW Orphans AS SELECT Note FROM \"Order Lines\" WHERE Customer = 9");
  relations_->CreateRelation("R", "Customers", "Order Lines", 0, {{"Id", "Customer"}});
  relations_->Close();
  db_->Close();
  EXPECT_EQ(Rows(target_, "SELECT Note FROM Orphans"), (std::vector<std::string>{"orphan"}));
}

TEST_F(RelationTest, SelfRelationReferencesItsOwnTable) {
  MakeTable(*db_, "Staff", {{"Id", "LONG"}, {"Boss", "LONG"}});
  relations_->CreateRelation("Reports", "Staff", "Staff", 0, {{"Id", "Boss"}});
  relations_->Close();
  db_->Close();
  EXPECT_EQ(Rows(target_, "SELECT \"table\", \"from\", \"to\" FROM pragma_foreign_key_list('Staff')"),
            (std::vector<std::string>{"Staff|Boss|Id"}));
}

TEST_F(RelationTest, BadRelationsFailAndLeaveTheTableAlone) {
  relations_->CreateRelation("Kept", "Customers", "Order Lines", 0, {{"Id", "Customer"}});
  using Fields = std::vector<RelationField>;
  EXPECT_THROW(relations_->CreateRelation("R", "Missing", "Order Lines", 0, Fields{{"Id", "Customer"}}), EngineError);
  EXPECT_THROW(relations_->CreateRelation("R", "Customers", "Missing", 0, Fields{{"Id", "Customer"}}), EngineError);
  EXPECT_THROW(relations_->CreateRelation("R", "Customers", "Order Lines", 0, Fields{{"Nope", "Customer"}}),
               EngineError);
  EXPECT_THROW(
      relations_->CreateRelation("R", "Customers", "Order Lines", 0, Fields{{"Id", "Customer"}, {"Id", "Nope"}}),
      EngineError);
  EXPECT_THROW(relations_->CreateRelation("R", "Customers", "Order Lines", 0, Fields{}), EngineError);
  relations_->Close();
  db_->Close();
  EXPECT_EQ(ForeignKeys(), (std::vector<std::string>{"0|0|Customers|Customer|Id|NO ACTION|NO ACTION"}));
  EXPECT_EQ(Rows(target_, "SELECT count(*) FROM \"Order Lines\""), (std::vector<std::string>{"2"}));
}

// Every relation of a table is made by one rebuild of it: a rebuild each
// grew with the square of the relations (2,000 took 16 s). The schema
// cookie counts the schema changes.
TEST_F(RelationTest, ATableIsRebuiltOnceWithAllItsRelations) {
  auto schema_changes = [&](int relations) {
    ScratchDir dir;
    const std::string target = dir.File("many.sqlite");
    auto db = std::make_unique<SqliteDatabase>();
    db->Create(target, false);
    MakeTable(*db, "Parent", {{"Id", "LONG"}});
    MakeTable(*db, "Child", {{"Parent", "LONG"}});
    auto rs = db->NewRecordset();
    OpenAll(*rs, "Parent", 1);
    AddRow(*rs, {I(1)});
    rs->Close();
    auto made = db->NewRelationDatabase();
    for (int i = 0; i < relations; ++i) made->CreateRelation("R" + std::to_string(i), "Parent", "Child", 0, {{"Id", "Parent"}});
    made->Close();
    db->Close();
    EXPECT_EQ(Rows(target, "SELECT count(*) FROM pragma_foreign_key_list('Child')")[0], std::to_string(relations));
    return std::stoi(Rows(target, "PRAGMA schema_version")[0]);
  };
  EXPECT_EQ(schema_changes(300), schema_changes(1));
}

// A table whose rebuild fails costs only its own relations, and the error
// names them.
TEST_F(RelationTest, ARebuildThatFailsCostsOnlyThatTablesRelations) {
  MakeTable(*db_, "Staff", {{"Id", "LONG"}, {"Boss", "LONG"}});
  relations_->CreateRelation("Reports", "Staff", "Staff", 0, {{"Id", "Boss"}});
  relations_->CreateRelation("Kept", "Customers", "Order Lines", 0, {{"Id", "Customer"}});
  db_->Execute("DROP TABLE Staff");
  try {
    relations_->Close();
    ADD_FAILURE() << "no error";
  } catch (const EngineError& error) {
    EXPECT_NE(std::string(error.what()).find("Reports ("), std::string::npos) << error.what();
    EXPECT_NE(std::string(error.what()).find("Staff"), std::string::npos) << error.what();
    EXPECT_EQ(std::string(error.what()).find("Kept"), std::string::npos) << error.what();
  }
  db_->Close();
  EXPECT_EQ(ForeignKeys(), (std::vector<std::string>{"0|0|Customers|Customer|Id|NO ACTION|NO ACTION"}));
}

// Relations closed, or a target closed, take no more relations.
TEST_F(RelationTest, NoRelationIsTakenOnceClosed) {
  auto other = db_->NewRelationDatabase();
  other->Close();
  EXPECT_THROW(other->CreateRelation("R", "Customers", "Order Lines", 0, {{"Id", "Customer"}}), EngineError);
  db_->Close();
  EXPECT_THROW(relations_->CreateRelation("R", "Customers", "Order Lines", 0, {{"Id", "Customer"}}), EngineError);
}

}  // namespace
}  // namespace mendora::testing
