// Save passes: everything recovered lands in a new SQLite file, and what the
// target refuses loses only itself.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <charconv>
#include <fstream>
#include <nlohmann/json.hpp>

#include "output/sqlite/sqlite_output.h"
#include "output/sqlite/sqlite_target.h"
#include "recovery/recovery_session.h"
#include "tests/builder/jet_builder.h"
#include "tests/engine/engine_test_util.h"
#include "tests/support/corpus.h"
#include "tests/support/temp_database.h"

namespace mendora {
namespace {

namespace tb = ::mendora::testing;
using testing::CorpusDir;
using testing::ScratchDir;

using Cell = std::optional<std::string>;

// Every row of `table`, in insertion order, each value as text (REAL in its
// shortest exact form, BLOB as its bytes).
std::vector<std::vector<Cell>> ReadTable(sqlite3* db, const std::string& table, std::vector<std::string>& columns) {
  std::string quoted = "\"";
  for (const char c : table) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  quoted += "\"";
  sqlite3_stmt* stmt = nullptr;
  std::vector<std::vector<Cell>> rows;
  if (sqlite3_prepare_v2(db, ("SELECT * FROM " + quoted + " ORDER BY rowid").c_str(), -1, &stmt, nullptr) !=
      SQLITE_OK) {
    ADD_FAILURE() << table << ": " << sqlite3_errmsg(db);
    return rows;
  }
  columns.clear();
  for (int i = 0; i < sqlite3_column_count(stmt); ++i) columns.push_back(sqlite3_column_name(stmt, i));
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    std::vector<Cell> row;
    for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
      switch (sqlite3_column_type(stmt, i)) {
        case SQLITE_NULL:
          row.push_back(std::nullopt);
          break;
        case SQLITE_FLOAT: {
          char text[64];
          const auto end = std::to_chars(text, text + sizeof text, sqlite3_column_double(stmt, i));
          row.push_back(std::string(text, end.ptr));
          break;
        }
        default:
          row.push_back(std::string(reinterpret_cast<const char*>(sqlite3_column_blob(stmt, i)),
                                    static_cast<size_t>(sqlite3_column_bytes(stmt, i))));
      }
    }
    rows.push_back(std::move(row));
  }
  sqlite3_finalize(stmt);
  return rows;
}

bool SameSavedValue(const std::string& type, const Cell& expected, const Cell& saved) {
  if (type == "datetime" && expected && saved) {
    std::string want = expected->substr(0, 19);
    want[10] = ' ';
    return want == *saved;
  }
  // An empty text is not written, so the field keeps its default.
  if (type == "text" || type == "memo") {
    if (expected && expected->empty() && !saved) return true;
  }
  return testing::SameValue(type, expected, saved);
}

PassResult Save(const std::string& source, const std::string& target, TargetFactory factory = SqliteTargetFactory()) {
  RecoverySession session;
  session.options.source_path = source;
  session.options.mode = RunMode::kSave;
  session.options.target_path = target;
  session.options.make_target = std::move(factory);
  return RunRecovery(session);
}

TEST(SaveCorpusTest, EveryExpectedTableRowAndValueReadsBackFromTheTarget) {
  if (!CorpusDir()) GTEST_SKIP() << "sample databases not found (set MENDORA_CORPUS)";
  size_t tables = 0, tables_matched = 0, rows = 0, rows_matched = 0, values = 0, values_matched = 0;
  for (const auto& sample : testing::CorpusFiles()) {
    SCOPED_TRACE(sample.filename().string());
    ScratchDir dir;
    const std::string target = dir.File("recovered.sqlite");
    // The stored bytes, which the samples' digests name (unwrapped OLE
    // objects are checked by the schema tests).
    ASSERT_EQ(Save(sample.string(), target, SqliteTargetFactory(OleStorage::kRaw)).outcome, PassOutcome::kCompleted);
    std::ifstream in(sample.parent_path() / "expected" / (sample.stem().string() + ".json"));
    const nlohmann::json expected = nlohmann::json::parse(in);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(target.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    for (const auto& [name, stored_table] : expected["tables"].items()) {
      nlohmann::json table = stored_table;
      ++tables;
      std::vector<std::string> columns;
      const auto saved = ReadTable(db, name, columns);
      // An AutoNumber key is the row id: its rows come in key order.
      const auto key = testing::Rows(target, "SELECT cid FROM pragma_table_info('" + name +
                                                 "') WHERE pk = 1 AND type = 'INTEGER' AND "
                                                 "(SELECT count(*) FROM pragma_table_info('" +
                                                 name + "') WHERE pk > 0) = 1");
      if (!key.empty()) {
        const size_t k = std::stoul(key[0]);
        std::vector<nlohmann::json> ordered(table["rows"].begin(), table["rows"].end());
        std::stable_sort(ordered.begin(), ordered.end(), [k](const nlohmann::json &a, const nlohmann::json &b) {
          return std::stoll(a[k].get<std::string>()) < std::stoll(b[k].get<std::string>());
        });
        table["rows"] = ordered;
      }
      std::vector<std::string> want_columns;
      for (const auto& column : table["columns"]) want_columns.push_back(column["name"]);
      EXPECT_EQ(columns, want_columns) << name;
      bool table_ok = columns == want_columns && saved.size() == table["rows"].size();
      EXPECT_EQ(saved.size(), table["rows"].size()) << name;
      for (size_t r = 0; r < table["rows"].size(); ++r) {
        ++rows;
        bool row_ok = r < saved.size();
        for (size_t c = 0; c < table["columns"].size(); ++c) {
          ++values;
          const nlohmann::json& cell = table["rows"][r][c];
          const Cell want = cell.is_null() ? std::nullopt : Cell(cell.get<std::string>());
          const Cell have = r < saved.size() && c < saved[r].size() ? saved[r][c] : std::nullopt;
          const std::string type = table["columns"][c]["type"];
          if (r < saved.size() && SameSavedValue(type, want, have)) {
            ++values_matched;
          } else {
            row_ok = false;
            ADD_FAILURE() << name << " row " << r << " column " << want_columns[c] << " (" << type << "): expected "
                          << want.value_or("null") << ", saved " << have.value_or("null");
          }
        }
        if (row_ok) ++rows_matched;
        table_ok = table_ok && row_ok;
      }
      if (table_ok) ++tables_matched;
    }
    sqlite3_close(db);
  }
  std::printf("saved corpus: tables %zu/%zu, rows %zu/%zu, values %zu/%zu\n", tables_matched, tables, rows_matched,
              rows, values_matched, values);
}

TEST(SaveCorpusTest, RelationsAndQueriesOfTheSampleArrive) {
  if (!CorpusDir()) GTEST_SKIP() << "sample databases not found (set MENDORA_CORPUS)";
  ScratchDir dir;
  const std::string target = dir.File("northwind.sqlite");
  ASSERT_EQ(Save((*CorpusDir() / "jet4-northwind.mdb").string(), target).outcome, PassOutcome::kCompleted);
  const auto keys = testing::Rows(target, "SELECT \"table\", \"from\", \"to\" FROM pragma_foreign_key_list('Orders')");
  EXPECT_EQ(keys.size(), 3u);
  EXPECT_NE(std::find(keys.begin(), keys.end(), "Customers|CustomerID|CustomerID"), keys.end());

  const std::string queries_target = dir.File("queries.sqlite");
  ASSERT_EQ(Save((*CorpusDir() / "jet4-queries.mdb").string(), queries_target).outcome, PassOutcome::kCompleted);
  const auto queries = testing::Rows(queries_target, "SELECT name FROM mendora_queries ORDER BY name");
  EXPECT_EQ(queries, (std::vector<std::string>{"AppendQuery", "CrosstabQuery", "DataDefinitionQuery", "DeleteQuery",
                                               "MakeTableQuery", "PassthroughQuery", "SelectQuery", "UnionQuery",
                                               "UpdateQuery"}));
  // Every saved query of both samples has its text back.
  EXPECT_EQ(testing::Rows(queries_target, "SELECT count(*) FROM mendora_queries WHERE sql = ''")[0], "0");
  EXPECT_EQ(testing::Rows(target, "SELECT count(*) FROM mendora_queries WHERE sql = ''")[0], "0");
  auto sql = [](const std::string& file, const std::string& name) {
    const auto rows = testing::Rows(file, "SELECT sql FROM mendora_queries WHERE name = '" + name + "'");
    return rows.empty() ? std::string("(missing)") : rows[0];
  };
  EXPECT_EQ(sql(target, "Ten Most Expensive Products"),
            "SELECT DISTINCTROW TOP 10 Products.ProductName AS TenMostExpensiveProducts, Products.UnitPrice\n"
            "FROM Products\nORDER BY Products.UnitPrice DESC;");
  EXPECT_EQ(sql(target, "Quarterly Orders"),
            "SELECT DISTINCTROW Customers.CustomerID, Customers.CompanyName, Customers.City, Customers.Country\n"
            "FROM Customers RIGHT JOIN Orders ON Customers.CustomerID = Orders.CustomerID\n"
            "WHERE (((Orders.OrderDate) Between #1/1/95# And #12/31/95#));");
  EXPECT_EQ(sql(target, "Customers and Suppliers by City"),
            "SELECT City, CompanyName, ContactName, \"Customers\" AS [Relationship] \nFROM Customers\n"
            "UNION SELECT City, CompanyName, ContactName, \"Suppliers\"\nFROM Suppliers\n"
            "ORDER BY City, CompanyName;");
  EXPECT_EQ(sql(target, "Employee Sales by Country").substr(0, 63),
            "PARAMETERS [Beginning Date] DateTime, [Ending Date] DateTime;\nS");
  EXPECT_NE(sql(target, "Invoices")
                .find("FROM Shippers INNER JOIN (Products INNER JOIN ((Employees INNER JOIN (Customers INNER JOIN "
                      "Orders ON Customers.CustomerID = Orders.CustomerID) ON Employees.EmployeeID = "
                      "Orders.EmployeeID) INNER JOIN [Order Details] ON Orders.OrderID = [Order Details].OrderID) ON "
                      "Products.ProductID = [Order Details].ProductID) ON Shippers.ShipperID = Orders.ShipVia;"),
            std::string::npos);
  EXPECT_EQ(sql(queries_target, "SelectQuery"),
            "SELECT DISTINCT Table1.*, Table2.col1, Table2.col2, Table3.col3\n"
            "FROM (Table1 LEFT JOIN Table3 ON Table1.col1 = Table3.col1) INNER JOIN Table2 ON "
            "(Table3.col1 = Table2.col1) AND (Table3.col1 = Table2.col2)\n"
            "WHERE (((Table2.col2)=\"foo\" Or (Table2.col2) In (\"buzz\",\"bazz\")))\n"
            "ORDER BY Table2.col1;");
  EXPECT_EQ(sql(queries_target, "DataDefinitionQuery"), "CREATE TABLE Table5 (col1 CHAR, col2 CHAR);");
}

// A row of nulls and empty values is still a row: the log counts it, and
// the target keeps it.
TEST(SaveTest, ARowOfNullsIsKeptInTheTarget) {
  for (const auto version : {tb::JetVersion::kJet3, tb::JetVersion::kJet4}) {
    tb::JetFileBuilder builder(version);
    tb::Table table;
    table.name = "T";
    table.columns = {{"N", tb::kLong}, {"S", tb::kText}};
    table.rows = {{int64_t{1}, std::string("x")},
                  {std::monostate{}, std::monostate{}},
                  {int64_t{2}, std::string("y")},
                  {std::monostate{}, std::string("")}};
    builder.AddTable(table);
    tb::TempDatabase source(builder.Build());
    const std::string target = source.path() + ".sqlite";
    RecoverySession session;
    session.options.source_path = source.path();
    session.options.mode = RunMode::kSave;
    session.options.target_path = target;
    session.options.make_target = SqliteTargetFactory();
    ASSERT_EQ(RunRecovery(session).outcome, PassOutcome::kCompleted);
    EXPECT_NE(session.results.analysis_log.find("T :  4  Records"), std::string::npos);
    EXPECT_EQ(
        testing::Rows(target,
                      "SELECT quote(N), quote(S) FROM T ORDER BY rowid"),
        (std::vector<std::string>{"1|'x'", "NULL|NULL", "2|'y'", "NULL|''"}));
    EXPECT_TRUE(session.results.losses.SummaryLines().empty());
    std::remove(target.c_str());
  }
}

// An engine that refuses chosen pieces and passes everything else on.
struct Refusals {
  std::set<std::string> statement_columns;  // Execute for these columns
  std::string value;             // a row holding this text
  int update_number = -1;        // the n-th row of the pass (from 0)
  int broken_from = -1;          // from this row on, the target is broken (a full disk)
  std::string relation_foreign_table;
};

class RefusingRecordset : public EngineRecordset {
 public:
  RefusingRecordset(std::unique_ptr<EngineRecordset> inner, const Refusals& refusals, int& updates)
      : inner_(std::move(inner)), refusals_(refusals), updates_(updates) {}
  void Open(const std::string& table, const std::vector<size_t>& sources) override { inner_->Open(table, sources); }
  void AddRow(const Row& row) override {
    if (refusals_.broken_from >= 0 && updates_ >= refusals_.broken_from) {
      ++updates_;
      throw TargetBroken("database or disk is full");
    }
    for (const Value& value : row.values) {
      if (value.kind == ValueKind::kText && value.bytes == refusals_.value) throw EngineError("refused value");
    }
    if (updates_++ == refusals_.update_number) throw EngineError("refused row");
    inner_->AddRow(row);
  }
  void Close() override { inner_->Close(); }
  bool IsOpen() const override { return inner_->IsOpen(); }

 private:
  std::unique_ptr<EngineRecordset> inner_;
  const Refusals& refusals_;
  int& updates_;
};

class RefusingRelations : public EngineRelationDatabase {
 public:
  RefusingRelations(std::unique_ptr<EngineRelationDatabase> inner, const Refusals& refusals)
      : inner_(std::move(inner)), refusals_(refusals) {}
  void Open(const std::string& path, bool exclusive, bool read_only, const std::string& connect) override {
    inner_->Open(path, exclusive, read_only, connect);
  }
  void CreateRelation(const std::string& name, const std::string& table, const std::string& foreign_table,
                      int attributes, const std::vector<RelationField>& fields) override {
    if (foreign_table == refusals_.relation_foreign_table) throw EngineError("refused relation");
    inner_->CreateRelation(name, table, foreign_table, attributes, fields);
  }
  void Close() override { inner_->Close(); }

 private:
  std::unique_ptr<EngineRelationDatabase> inner_;
  const Refusals& refusals_;
};

class RefusingDatabase : public EngineDatabase {
 public:
  explicit RefusingDatabase(const Refusals& refusals) : refusals_(refusals) {}
  void Create(const std::string& path, const std::string& locale, int options) override {
    inner_.Create(path, locale, options);
  }
  void Execute(const SchemaStatement& statement, int options) override {
    if (refusals_.statement_columns.count(statement.column) != 0) throw EngineError("refused statement");
    inner_.Execute(statement, options);
  }
  void Execute(const std::string& sql, int options) override { inner_.Execute(sql, options); }
  std::unique_ptr<EngineRecordset> NewRecordset() override {
    return std::make_unique<RefusingRecordset>(inner_.NewRecordset(), refusals_, updates_);
  }
  std::unique_ptr<EngineRelationDatabase> NewRelationDatabase() override {
    return std::make_unique<RefusingRelations>(inner_.NewRelationDatabase(), refusals_);
  }
  std::unique_ptr<EngineQueryDef> NewQueryDef() override { return inner_.NewQueryDef(); }
  void Close() override { inner_.Close(); }
  void Abandon() noexcept override { inner_.Abandon(); }
  bool IsOpen() const override { return inner_.IsOpen(); }

 private:
  SqliteDatabase inner_;
  const Refusals& refusals_;
  int updates_ = 0;
};

TEST(SaveFaultTest, ARefusedPieceLosesOnlyItself) {
  if (!CorpusDir()) GTEST_SKIP() << "sample databases not found (set MENDORA_CORPUS)";
  const std::string source = (*CorpusDir() / "jet4-northwind.mdb").string();
  ScratchDir dir;
  Refusals refusals;
  refusals.statement_columns = {"Phone"};  // a column of Shippers, Customers and Suppliers
  refusals.value = "Exotic Liquids";         // one supplier's company name
  refusals.update_number = 1;                // the second stored row: a category
  refusals.relation_foreign_table = "Orders";
  const std::string target = dir.File("faulty.sqlite");
  RecoverySession session;
  session.options.source_path = source;
  session.options.mode = RunMode::kSave;
  session.options.target_path = target;
  session.options.make_target = EngineTargetFactory([&] { return std::make_unique<RefusingDatabase>(refusals); });
  ::testing::internal::CaptureStderr();
  ASSERT_EQ(RunRecovery(session).outcome, PassOutcome::kCompleted);
  const std::string report = ::testing::internal::GetCapturedStderr();

  // Each loss is said once, with the engine's reason.
  for (const char* line : {"Table Shippers: column Phone was not created: refused statement\n",
                           "Table Suppliers: record 1 was not stored: refused value\n",
                           "Table Categories: record 2 was not stored: refused row\n"}) {
    EXPECT_NE(report.find(line), std::string::npos) << line << " missing from:\n" << report;
  }
  EXPECT_NE(report.find(" was not created: refused relation\n"), std::string::npos) << report;
  // The session keeps the same lines for a caller that has no terminal.
  std::string kept;
  for (const std::string& loss : session.results.losses.lines()) kept += loss + "\n";
  EXPECT_EQ(kept, report);
  EXPECT_EQ(session.results.losses.count(), session.results.losses.lines().size());
  // The account names each table that lost anything.
  // The account names each table that lost anything, then every other part
  // (also where --quiet shows no detail line), then the total.
  const std::vector<std::string> summary = session.results.losses.SummaryLines();
  ASSERT_GE(summary.size(), 4u);
  EXPECT_EQ(summary[0], "Categories: 8 of 8 rows, 1 row refused by the target");
  EXPECT_EQ(summary[1], "Suppliers: 29 of 29 rows, 1 row refused by the target");
  EXPECT_NE(std::find(summary.begin(), summary.end(), "Table Shippers: column Phone was not created: refused statement"),
            summary.end());
  EXPECT_EQ(summary.back().rfind("Total: ", 0), 0u);
  EXPECT_NE(summary.back().find(std::to_string(summary.size() - 3) + " other parts (named above)"), std::string::npos)
      << summary.back();

  // A refused schema statement loses its column; the table and its other
  // values arrive.
  EXPECT_EQ(testing::Rows(target, "SELECT group_concat(name, ',') FROM pragma_table_info('Shippers')")[0],
            "ShipperID,CompanyName");
  EXPECT_EQ(testing::Rows(target, "SELECT count(*) FROM Shippers WHERE CompanyName IS NOT NULL")[0], "3");
  EXPECT_NE(session.results.analysis_log.find("Shippers :  3  Records"), std::string::npos);
  EXPECT_NE(session.results.analysis_log.find("Orders :  830  Records"), std::string::npos);
  // A refused row is that row alone.
  EXPECT_EQ(testing::Rows(target, "SELECT count(*) FROM Suppliers")[0], "28");
  // A refused row loses that row alone.
  EXPECT_EQ(testing::Rows(target, "SELECT count(*) FROM Categories")[0], "7");
  EXPECT_NE(session.results.analysis_log.find("Categories :  8  Records"), std::string::npos);
  // A refused relation loses that relation alone.
  EXPECT_TRUE(testing::Rows(target, "SELECT * FROM pragma_foreign_key_list('Orders')").empty());
  EXPECT_FALSE(testing::Rows(target, "SELECT * FROM pragma_foreign_key_list('Order Details')").empty());
}

// A refused record must not lend its values to the next one: fields the next
// record leaves empty stay empty.
TEST(SaveFaultTest, ARefusedRecordLeavesNothingInTheNext) {
  using testing::kLong;
  using testing::kText;
  for (const auto version : {testing::JetVersion::kJet3, testing::JetVersion::kJet4}) {
    testing::JetFileBuilder builder(version);
    testing::Table table;
    table.name = "Readings";
    table.columns = {{"Sensor", kLong}, {"Label", kText}, {"Note", kText}};
    table.rows = {{int64_t{1}, std::string("first"), std::string("kept")},
                  {int64_t{2}, std::string("refused"), std::monostate{}},
                  {std::monostate{}, std::string("third"), std::monostate{}}};
    builder.AddTable(table);
    testing::TempDatabase source(builder.Build());
    ScratchDir dir;
    Refusals refusals;
    refusals.update_number = 1;
    const std::string target = dir.File("readings.sqlite");
    ::testing::internal::CaptureStderr();
    const PassResult result = Save(source.path(), target, EngineTargetFactory([&] { return std::make_unique<RefusingDatabase>(refusals); }));
    ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(result.outcome, PassOutcome::kCompleted);
    EXPECT_EQ(testing::Rows(target, "SELECT Sensor, Label, Note FROM Readings ORDER BY rowid"),
              (std::vector<std::string>{"1|first|kept", "NULL|third|NULL"}));
  }
}

TEST(SaveFaultTest, ATableWhoseEveryColumnIsRefusedIsLeftOutAlone) {
  if (!CorpusDir()) GTEST_SKIP() << "sample databases not found (set MENDORA_CORPUS)";
  ScratchDir dir;
  Refusals refusals;
  refusals.statement_columns = {"ShipperID", "CompanyName", "Phone"};  // all of Shippers
  const std::string target = dir.File("without-shippers.sqlite");
  RecoverySession session;
  session.options.source_path = (*CorpusDir() / "jet4-northwind.mdb").string();
  session.options.mode = RunMode::kSave;
  session.options.target_path = target;
  session.options.make_target = EngineTargetFactory([&] { return std::make_unique<RefusingDatabase>(refusals); });
  ::testing::internal::CaptureStderr();
  ASSERT_EQ(RunRecovery(session).outcome, PassOutcome::kCompleted);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find(
                "Table Shippers was not recovered: the target refused every column: refused statement\n"),
            std::string::npos);
  EXPECT_TRUE(testing::Rows(target, "SELECT name FROM sqlite_master WHERE name = 'Shippers'").empty());
  // The log counts what the source holds; the account says the target lost it.
  EXPECT_NE(session.results.analysis_log.find("Shippers :  3  Records"), std::string::npos);
  EXPECT_EQ(session.results.losses.SummaryLines()[0],
            "Shippers: not recovered, 3 rows (the target refused every column: refused statement)");
  EXPECT_EQ(testing::Rows(target, "SELECT count(*) FROM Customers")[0], "91");
  EXPECT_NE(session.results.analysis_log.find("Customers :  91  Records"), std::string::npos);
}

// A broken target ends the save at its first failure: not a loss line for
// every row and table still to come.
TEST(SaveFaultTest, TheFirstFailureOfABrokenTargetEndsTheSave) {
  if (!CorpusDir()) GTEST_SKIP() << "sample databases not found (set MENDORA_CORPUS)";
  ScratchDir dir;
  Refusals refusals;
  refusals.broken_from = 5;
  RecoverySession session;
  session.options.source_path = (*CorpusDir() / "jet4-northwind.mdb").string();
  session.options.mode = RunMode::kSave;
  session.options.target_path = dir.File("full.sqlite");
  session.options.make_target = EngineTargetFactory([&] { return std::make_unique<RefusingDatabase>(refusals); });
  ::testing::internal::CaptureStderr();
  const PassResult result = RunRecovery(session);
  const std::string report = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(result.outcome, PassOutcome::kFailed);
  EXPECT_EQ(result.message, "database or disk is full");
  EXPECT_EQ(report, "");
  EXPECT_EQ(session.results.losses.count(), 0u);
  EXPECT_TRUE(dir.Names().empty());
}

TEST(SaveFaultTest, AnUnwritableTargetFailsCleanly) {
  if (!CorpusDir()) GTEST_SKIP() << "sample databases not found (set MENDORA_CORPUS)";
  const std::string source = (*CorpusDir() / "jet3-indexes.mdb").string();
  const PassResult missing_dir = Save(source, "/nonexistent-dir/out.sqlite");
  EXPECT_EQ(missing_dir.outcome, PassOutcome::kFailed);
  EXPECT_FALSE(missing_dir.message.empty());
  EXPECT_FALSE(std::filesystem::exists("/nonexistent-dir"));
  const PassResult proc = Save(source, "/proc/mendora-out.sqlite");
  EXPECT_EQ(proc.outcome, PassOutcome::kFailed);

  // An existing file is never opened for writing, and stays as it was.
  ScratchDir dir;
  const std::string existing = dir.File("existing.sqlite");
  std::ofstream(existing) << "precious";
  EXPECT_EQ(Save(source, existing).outcome, PassOutcome::kFailed);
  std::ifstream in(existing);
  std::string content((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(content, "precious");
  EXPECT_EQ(dir.Names(), std::set<std::string>{"existing.sqlite"});
}

// Replacing the target is allowed, but never when the target is the damaged
// original itself, under whatever spelling or link.
TEST(SaveFaultTest, TheSourceIsNeverReplacedByItsCopy) {
  if (!CorpusDir()) GTEST_SKIP() << "sample databases not found (set MENDORA_CORPUS)";
  ScratchDir dir;
  const std::string source = dir.File("damaged.mdb");
  std::filesystem::copy_file(*CorpusDir() / "jet3-indexes.mdb", source);
  std::filesystem::create_symlink(source, dir.File("link.mdb"));
  auto bytes = [&] {
    std::ifstream in(source, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  };
  const std::string original = bytes();
  for (const std::string& target : {source, dir.File("./damaged.mdb"), dir.File("link.mdb")}) {
    RecoverySession session;
    session.options.source_path = source;
    session.options.mode = RunMode::kSave;
    session.options.target_path = target;
    session.options.replace_existing = true;
    session.options.make_target = SqliteTargetFactory();
    const PassResult result = RunRecovery(session);
    EXPECT_EQ(result.outcome, PassOutcome::kFailed) << target;
    EXPECT_NE(result.message.find("it is the file being recovered"), std::string::npos) << result.message;
  }
  EXPECT_EQ(bytes(), original);
  EXPECT_EQ(dir.Names(), (std::set<std::string>{"damaged.mdb", "link.mdb"}));
}

}  // namespace
}  // namespace mendora
