// Every sample database exported to CSV, JSON Lines and the three SQL
// dialects gives back the rows and values an independent reader sees in it:
// the CSV and JSON Lines files read back, the SQL scripts loaded into
// SQLite and into real PostgreSQL and MariaDB servers; and every script,
// of every sample and of what damaged files hold, loads whole with its views.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <set>
#include <nlohmann/json.hpp>
#include <sstream>

#include "output/csv/csv_export.h"
#include "output/jsonl/jsonl_export.h"
#include "output/sql/sql_export.h"
#include "reader/column_types.h"
#include "recovery/loss_account.h"
#include "recovery/recovery_session.h"
#include "tests/output/scratch_servers.h"
#include "tests/support/corpus.h"

namespace mendora {
namespace {

using testing::CorpusDir;
using testing::CorpusFiles;

using Cell = std::optional<std::string>;
using Rows = std::vector<std::vector<Cell>>;

nlohmann::json Expected(const std::filesystem::path& sample) {
  std::ifstream in(sample.parent_path() / "expected" / (sample.stem().string() + ".json"));
  return nlohmann::json::parse(in);
}

std::string CanonicalDecimal(std::string text) {
  bool negative = !text.empty() && text[0] == '-';
  if (negative) text.erase(0, 1);
  if (text.find('.') != std::string::npos) {
    while (!text.empty() && text.back() == '0') text.pop_back();
    if (!text.empty() && text.back() == '.') text.pop_back();
  }
  const size_t first = text.find_first_not_of('0');
  text = first == std::string::npos ? "0" : text.substr(first);
  if (text.empty() || text[0] == '.') text.insert(0, "0");
  return (negative && text != "0" ? "-" : "") + text;
}

// One form per value whatever wrote it: the corpus's text, a CSV field, a
// JSON value or a server's output. Binary values arrive as their bytes.
std::string Canonical(const std::string& type, const Cell& value) {
  if (!value) return type == "boolean" ? "false" : "<null>";  // a boolean's bit is never null
  const std::string& v = *value;
  char buffer[64];
  if (type == "boolean") return v == "1" || v == "true" || v == "t" ? "true" : "false";
  if (type == "byte" || type == "integer" || type == "long" || type == "currency" || type == "numeric") {
    return CanonicalDecimal(v);
  }
  // SQLite and MySQL have no NaN (it loads as a null there); the test
  // takes the two for one.
  if ((type == "float" || type == "double") && std::isnan(std::strtod(v.c_str(), nullptr))) return "<null>";
  if (type == "float") {
    std::snprintf(buffer, sizeof buffer, "%.9g", static_cast<double>(std::strtof(v.c_str(), nullptr)));
    return buffer;
  }
  if (type == "double") {
    std::snprintf(buffer, sizeof buffer, "%.17g", std::strtod(v.c_str(), nullptr));
    return buffer;
  }
  if (type == "datetime") {
    std::string date = v.substr(0, 19);
    if (date.size() > 10) date[10] = 'T';
    return date;
  }
  if (type == "repid") {
    std::string guid;
    for (const char c : v) {
      if (c != '{' && c != '}') guid.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    }
    return guid;
  }
  if (type == "ole" || type == "binary") return v.rfind("<bin:", 0) == 0 ? v : testing::BinarySummary(v);
  return v;
}

// The rows in canonical form, sorted: a server may return them in key order.
std::vector<std::string> CanonicalRows(const nlohmann::json& columns, const Rows& rows) {
  std::vector<std::string> out;
  for (const auto& row : rows) {
    std::string line;
    for (size_t c = 0; c < columns.size(); ++c) {
      line += Canonical(columns[c]["type"], c < row.size() ? row[c] : Cell("<missing>"));
      line += '\x1f';
    }
    out.push_back(line);
  }
  std::sort(out.begin(), out.end());
  return out;
}

Rows ExpectedRows(const nlohmann::json& table) {
  Rows rows;
  for (const auto& row : table["rows"]) {
    std::vector<Cell> cells;
    for (const auto& cell : row) cells.push_back(cell.is_null() ? Cell() : Cell(cell.get<std::string>()));
    rows.push_back(cells);
  }
  return rows;
}

void ExpectSameRows(const std::string& where, const nlohmann::json& table, const Rows& got) {
  const std::vector<std::string> want = CanonicalRows(table["columns"], ExpectedRows(table));
  const std::vector<std::string> have = CanonicalRows(table["columns"], got);
  ASSERT_EQ(have.size(), want.size()) << where << ": row count";
  for (size_t i = 0; i < want.size(); ++i) {
    if (have[i] != want[i]) {
      ADD_FAILURE() << where << ": rows differ\n  want " << want[i] << "\n  have " << have[i];
      return;
    }
  }
}

// RFC 4180 records; an unquoted empty field is a null.
std::vector<std::vector<Cell>> ParseCsv(const std::string& text) {
  std::vector<std::vector<Cell>> records;
  std::vector<Cell> record;
  std::string field;
  bool quoted = false, in_quotes = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (in_quotes) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field.push_back('"');
        ++i;
      } else if (c == '"') {
        in_quotes = false;
      } else {
        field.push_back(c);
      }
    } else if (c == '"') {
      in_quotes = quoted = true;
    } else if (c == ',' || (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
      record.push_back(field.empty() && !quoted ? Cell() : Cell(field));
      field.clear();
      quoted = false;
      if (c == '\r') {
        records.push_back(std::move(record));
        record.clear();
        ++i;
      }
    } else {
      field.push_back(c);
    }
  }
  return records;
}

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// ---- Scripts that load whatever the file holds ----

// Every sample: Jet, Access 2007+ and the files with forms and code (their
// folder beside the Jet samples, or MENDORA_CORPUS_OBJECTS).
std::vector<std::filesystem::path> EverySample() {
  std::vector<std::filesystem::path> files = CorpusFiles();
  const std::vector<std::filesystem::path> ace = testing::AceCorpusFiles();
  files.insert(files.end(), ace.begin(), ace.end());
  std::filesystem::path objects;
  if (const char* env = std::getenv("MENDORA_CORPUS_OBJECTS"); env != nullptr) {
    objects = env;
  } else if (CorpusDir()) {
    objects = CorpusDir()->parent_path() / "corpus-objects";
  }
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(objects, error)) {
    const std::string extension = entry.path().extension().string();
    if (extension == ".mdb" || extension == ".accdb") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

Value Integer(int64_t v) {
  Value value;
  value.SetInteger(v);
  return value;
}
Value Text(const std::string& text) {
  Value value;
  value.kind = ValueKind::kText;
  value.bytes = text;
  return value;
}
Value Bytes(const std::string& bytes) {
  Value value;
  value.kind = ValueKind::kBytes;
  value.bytes = bytes;
  return value;
}

// What damaged files hold and the samples lack, fed to the export as the
// pass would: a column of a type Mendora does not know (its bytes look like
// Jet's compressed text), a key its rows repeat, a text longer than its
// column, a relation its rows break, a number wider than its column.
void ExportDamaged(SqlExport& script) {
  OutputTable shippers;
  shippers.name = "Shippers";
  OutputColumn id{"ShipperID", kColumnLongInteger};
  id.autonumber = true;
  OutputColumn name{"CompanyName", kColumnText};
  name.text_length = 10;
  name.default_value = "\"n/a\"";
  OutputColumn odd{"Odd", 0x11};
  OutputColumn amount{"Amount", kColumnNumeric};
  amount.precision = 4;
  amount.scale = 2;
  shippers.columns = {id, name, odd, amount};
  shippers.indexes = {OutputIndex{"PrimaryKey", {{"ShipperID"}}, true, true}};
  Value wide;
  wide.kind = ValueKind::kDecimal;
  wide.magnitude_low = 12345678;  // 123456.78: six whole digits in a column of two
  wide.scale = 2;
  script.BeginTable(shippers);
  for (const auto& values : std::vector<std::vector<Value>>{
           {Integer(1), Text("Speedy"), Bytes(std::string("\xFF\xFE" "baz\xFF", 6)), wide},
           {Integer(7), Text("a name far longer than ten"), Bytes(""), Value{}},
           {Integer(7), Text("repeated key"), Value{}, Value{}}}) {
    Row row;
    row.values = values;
    script.AddRow(row);
  }
  script.EndTable(3);
  OutputTable orders;
  orders.name = "Orders";
  orders.columns = {OutputColumn{"OrderID", kColumnLongInteger}, OutputColumn{"ShipVia", kColumnLongInteger}};
  script.BeginTable(orders);
  for (const int64_t via : {1, 5, 6}) {
    Row row;
    row.values = {Integer(via * 10), Integer(via)};
    script.AddRow(row);
  }
  script.EndTable(3);
  script.AddRelation(OutputRelation{"ShippersOrders", "Shippers", "Orders", {{"ShipperID", "ShipVia"}}, 0});
  // A view over a view it comes before.
  script.AddQuery("Bigger", "SELECT n FROM [Big orders] WHERE n >= 50");
  script.AddQuery("Big orders", "SELECT Val([OrderID] & \"x\") AS n, IIf([ShipVia] > 4, \"late\") AS late FROM Orders "
                                "GROUP BY OrderID, ShipVia HAVING (((Count([OrderID]))>0))");
  script.AddQuery("Asks", "PARAMETERS x Long; SELECT * FROM Orders WHERE OrderID = x");
  script.Finish();
}

// After the Jet samples' scripts (`loaded`) are in `server`: loads those of
// the other samples and the damaged one too. Each loads whole, every view
// it makes runs, and a row inserted without its AutoNumber is numbered past
// the largest.
void CheckScriptsLoad(testing::ScratchServer& server, SqlDialect dialect, const std::string& quote,
                      const std::set<std::string>& loaded, const std::string& schema_test) {
  std::string pattern = (std::filesystem::temp_directory_path() / "mendora-load-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const std::filesystem::path dir = pattern;
  const auto q = [&](const std::string& name) { return quote + name + quote; };
  const auto load = [&](const std::string& database, const std::filesystem::path& script) {
    if (!script.empty()) {
      ASSERT_TRUE(server.CreateDatabase(database));
      ASSERT_EQ(server.RunScript(database, script), "");
    }
    const auto queries = server.Lines(database, "SELECT count(*) FROM information_schema.tables WHERE table_name = "
                                                "'mendora_queries' AND " + schema_test);
    if (queries != std::vector<std::string>{"1"}) return;
    const auto views = server.Lines(database, "SELECT " + q("name") + " FROM " + q("mendora_queries") + " WHERE " +
                                                  q("no_view_reason") + " IS NULL");
    for (const std::string& view : views.value_or(std::vector<std::string>{})) {
      EXPECT_TRUE(server.Lines(database, "SELECT count(*) FROM " + q(view)).has_value()) << view;
    }
  };
  for (const std::filesystem::path& sample : EverySample()) {
    SCOPED_TRACE(sample.filename().string());
    std::filesystem::path script = dir / (sample.stem().string() + ".sql");
    if (loaded.count(sample.string()) != 0) {
      script.clear();
    } else {
      SqlExport export_script(script, dialect, ExportOptions{});
      RecoverySession session;
      session.options.loss_details = nullptr;
      session.options.source_path = sample.string();
      session.options.read_schema = true;
      session.options.outputs = {&export_script};
      ASSERT_EQ(RunRecovery(session).outcome, PassOutcome::kCompleted);
    }
    std::string database = sample.stem().string();
    std::replace(database.begin(), database.end(), '-', '_');
    load(database, script);
    if (sample.stem() == "jet4-northwind") {
      const auto made = server.Lines(database, "SELECT count(*) FROM " + q("mendora_queries") + " WHERE " +
                                                   q("no_view_reason") + " IS NULL");
      ASSERT_TRUE(made && !made->empty());
      EXPECT_GE(std::stoi(made->front()), 14);
      ASSERT_TRUE(server.Lines(database, "INSERT INTO " + q("Shippers") + " (" + q("CompanyName") + ") VALUES ('New')"));
      EXPECT_EQ(server.Lines(database, "SELECT " + q("ShipperID") + " FROM " + q("Shippers") + " WHERE " +
                                           q("CompanyName") + " = 'New'"),
                std::vector<std::string>{"4"});
    }
  }

  const std::filesystem::path damaged = dir / "damaged.sql";
  LossAccount losses(nullptr);
  {
    SqlExport script(damaged, dialect, ExportOptions{});
    script.Attach(losses);
    ExportDamaged(script);
  }
  load("damaged", damaged);
  EXPECT_EQ(server.Lines("damaged", "SELECT count(*) FROM " + q("Shippers")), std::vector<std::string>{"3"});
  const std::string hex = dialect == SqlDialect::kPostgreSql ? "encode(" + q("Odd") + ", 'hex')" : "HEX(" + q("Odd") + ")";
  const auto odd = server.Lines("damaged", "SELECT lower(" + hex + ") FROM " + q("Shippers") + " WHERE " +
                                               q("ShipperID") + " = 1");
  EXPECT_EQ(odd, std::vector<std::string>{"fffe62617aff"});
  EXPECT_EQ(server.Lines("damaged", "SELECT " + q("CompanyName") + " FROM " + q("Shippers") + " WHERE " +
                                        q("ShipperID") + " = 7 ORDER BY 1"),
            (std::vector<std::string>{"a name far longer than ten", "repeated key"}));
  const std::string as_text = dialect == SqlDialect::kPostgreSql ? " AS text)" : " AS CHAR)";
  EXPECT_EQ(server.Lines("damaged", "SELECT CAST(" + q("Amount") + as_text + " FROM " + q("Shippers") + " WHERE " +
                                        q("ShipperID") + " = 1"),
            std::vector<std::string>{"123456.78"});
  // The key the rows repeat is no key, yet new rows are numbered (past 7)
  // and take the default.
  ASSERT_TRUE(server.Lines("damaged", "INSERT INTO " + q("Shippers") + " (" + q("Amount") + ") VALUES (1)"));
  EXPECT_EQ(server.Lines("damaged", "SELECT " + q("ShipperID") + ", " + q("CompanyName") + " FROM " + q("Shippers") +
                                        " WHERE " + q("Amount") + " = 1"),
            std::vector<std::string>{dialect == SqlDialect::kPostgreSql ? "8|n/a" : "8\tn/a"});
  // Two of the three orders name no shipper: the relation is listed, not made.
  EXPECT_EQ(server.Lines("damaged", "SELECT " + q("name") + ", " + q("breaking_rows") + " FROM " + q("mendora_relations")),
            std::vector<std::string>{dialect == SqlDialect::kPostgreSql ? "ShippersOrders|2" : "ShippersOrders\t2"});
  EXPECT_EQ(server.Lines("damaged", "SELECT count(*) FROM information_schema.table_constraints WHERE constraint_type = "
                                    "'FOREIGN KEY' AND " + schema_test),
            std::vector<std::string>{"0"});
  // The views over views, in their order; the query with parameters says why.
  EXPECT_EQ(server.Lines("damaged", "SELECT count(*) FROM " + q("Bigger")), std::vector<std::string>{"2"});
  EXPECT_EQ(server.Lines("damaged", "SELECT coalesce(" + q("late") + ", '') FROM " + q("Big orders") + " ORDER BY " + q("n")),
            (std::vector<std::string>{"", "late", "late"}));
  EXPECT_EQ(server.Lines("damaged", "SELECT " + q("no_view_reason") + " FROM " + q("mendora_queries") + " WHERE " +
                                        q("name") + " = 'Asks'"),
            std::vector<std::string>{"it asks for parameters"});
  std::error_code error;
  std::filesystem::remove_all(dir, error);
}

struct ExportedSample {
  std::filesystem::path source;
  std::filesystem::path dir;
  nlohmann::json expected;
};

// One pass per sample feeds all five exports.
class CorpusExportTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!CorpusDir()) return;
    std::string pattern = (std::filesystem::temp_directory_path() / "mendora-export-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    for (const auto& sample : CorpusFiles()) {
      ExportedSample exported{sample, root_ / sample.stem(), Expected(sample)};
      std::filesystem::create_directories(exported.dir / "csv");
      ExportOptions options;
      options.ole = OleStorage::kRaw;  // the corpus digests the stored bytes
      CsvExport csv(exported.dir / "csv", options);
      JsonLinesExport jsonl(exported.dir / "rows.jsonl", options);
      SqlExport postgres(exported.dir / "postgresql.sql", SqlDialect::kPostgreSql, options);
      SqlExport mysql(exported.dir / "mysql.sql", SqlDialect::kMySql, options);
      SqlExport sqlite(exported.dir / "sqlite.sql", SqlDialect::kSqlite, options);
      RecoverySession session;
      session.options.loss_details = nullptr;
      session.options.source_path = sample.string();
      session.options.read_schema = true;
      session.options.outputs = {&csv, &jsonl, &postgres, &mysql, &sqlite};
      EXPECT_EQ(RunRecovery(session).outcome, PassOutcome::kCompleted) << sample;
      samples_.push_back(std::move(exported));
    }
  }
  static void TearDownTestSuite() {
    std::error_code error;
    if (!root_.empty()) std::filesystem::remove_all(root_, error);
    samples_.clear();
  }

  // Loads every sample's script for `dialect` into `server` and compares
  // each expected table, its columns read through `select` (an expression
  // per column that gives text, given the column's name and type).
  void CheckServer(testing::ScratchServer& server, const std::string& script,
                   const std::function<std::string(const std::string&, const std::string&)>& select,
                   const std::string& table_quote, const std::string& row_open, const std::string& row_close,
                   const std::string& schema_test) {
    for (const ExportedSample& sample : samples_) {
      SCOPED_TRACE(sample.source.filename().string());
      std::string database = sample.source.stem().string();
      std::replace(database.begin(), database.end(), '-', '_');
      ASSERT_TRUE(server.CreateDatabase(database));
      const std::string error = server.RunScript(database, sample.dir / script);
      ASSERT_EQ(error, "");
      if (sample.source.stem() == "jet4-northwind") {
        // Every table's primary key and every relation as a foreign key.
        for (const auto& [kind, count] : {std::pair{"PRIMARY KEY", "8"}, std::pair{"FOREIGN KEY", "7"}}) {
          const auto lines = server.Lines(database, "SELECT count(*) FROM information_schema.table_constraints WHERE "
                                                    "constraint_type = '" + std::string(kind) + "' AND " + schema_test);
          ASSERT_TRUE(lines && !lines->empty());
          EXPECT_EQ(lines->front(), count) << kind;
        }
      }
      for (const auto& [name, table] : sample.expected["tables"].items()) {
        std::string query = "SELECT " + row_open;
        for (size_t c = 0; c < table["columns"].size(); ++c) {
          if (c > 0) query += ", ";
          query += select(table["columns"][c]["name"], table["columns"][c]["type"]);
        }
        query += row_close + " FROM " + table_quote + name + table_quote;
        const auto lines = server.Lines(database, query);
        ASSERT_TRUE(lines.has_value()) << query;
        Rows rows;
        for (const std::string& line : *lines) {
          const nlohmann::json values = nlohmann::json::parse(line);
          std::vector<Cell> cells;
          for (size_t c = 0; c < values.size(); ++c) {
            const nlohmann::json& value = values[c];
            const std::string type = table["columns"][c]["type"];
            if (value.is_null()) {
              cells.push_back(std::nullopt);
            } else {
              std::string text = value.is_string() ? value.get<std::string>() : value.dump();
              if (type == "ole" || type == "binary") text = FromHex(text);
              cells.push_back(text);
            }
          }
          rows.push_back(cells);
        }
        ExpectSameRows(name, table, rows);
      }
    }
  }

  static std::string FromHex(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
  }

  static std::set<std::string> Loaded() {
    std::set<std::string> loaded;
    for (const ExportedSample& sample : samples_) loaded.insert(sample.source.string());
    return loaded;
  }

  static std::filesystem::path root_;
  static std::vector<ExportedSample> samples_;
};

std::filesystem::path CorpusExportTest::root_;
std::vector<ExportedSample> CorpusExportTest::samples_;

TEST_F(CorpusExportTest, CsvFilesReadBackAsTheExpectedRows) {
  if (!CorpusDir()) GTEST_SKIP() << "sample databases not found (set MENDORA_CORPUS)";
  for (const ExportedSample& sample : samples_) {
    SCOPED_TRACE(sample.source.filename().string());
    for (const auto& [name, table] : sample.expected["tables"].items()) {
      const std::filesystem::path file = sample.dir / "csv" / (name + ".csv");
      ASSERT_TRUE(std::filesystem::exists(file)) << file;
      auto records = ParseCsv(ReadAll(file));
      ASSERT_FALSE(records.empty()) << file;
      std::vector<Cell> header;
      for (const auto& column : table["columns"]) header.push_back(column["name"].get<std::string>());
      EXPECT_EQ(records[0], header) << name;
      Rows rows(records.begin() + 1, records.end());
      for (auto& row : rows) {
        for (size_t c = 0; c < row.size() && c < table["columns"].size(); ++c) {
          const std::string type = table["columns"][c]["type"];
          if (row[c] && (type == "ole" || type == "binary")) row[c] = testing::DecodeBase64(*row[c]);
        }
      }
      ExpectSameRows(name, table, rows);
    }
  }
}

TEST_F(CorpusExportTest, JsonLinesReadBackWithTheirJsonTypes) {
  if (!CorpusDir()) GTEST_SKIP() << "sample databases not found (set MENDORA_CORPUS)";
  for (const ExportedSample& sample : samples_) {
    SCOPED_TRACE(sample.source.filename().string());
    std::map<std::string, Rows> tables;
    std::ifstream in(sample.dir / "rows.jsonl");
    for (std::string line; std::getline(in, line);) {
      const nlohmann::ordered_json object = nlohmann::ordered_json::parse(line);
      const std::string name = object["table"];
      const auto expected = sample.expected["tables"].find(name);
      if (expected == sample.expected["tables"].end()) continue;
      std::vector<Cell> cells;
      size_t c = 0;
      for (const auto& [column, value] : object["row"].items()) {
        const std::string type = (*expected)["columns"][c]["type"];
        EXPECT_EQ(column, (*expected)["columns"][c++]["name"]);
        // Numbers stay numbers, exact decimals and dates strings.
        if (type == "long" || type == "integer" || type == "byte" || type == "double" || type == "float") {
          // JSON has no NaN or infinity: those are strings.
          const bool not_finite = value.is_string() && (value == "NaN" || value == "Infinity" || value == "-Infinity");
          EXPECT_TRUE(value.is_number() || value.is_null() || not_finite) << name << "." << column << " " << value;
        }
        if (type == "currency" || type == "numeric" || type == "datetime") {
          EXPECT_TRUE(value.is_string() || value.is_null()) << name << "." << column << " " << value;
        }
        if (type == "boolean") {
          EXPECT_TRUE(value.is_boolean()) << name << "." << column;
        }
        if (value.is_null()) {
          cells.push_back(std::nullopt);
        } else if (value.is_string()) {
          cells.push_back(type == "ole" || type == "binary" ? testing::DecodeBase64(value.get<std::string>())
                                                            : value.get<std::string>());
        } else {
          cells.push_back(value.dump());
        }
      }
      tables[name].push_back(cells);
    }
    for (const auto& [name, table] : sample.expected["tables"].items()) ExpectSameRows(name, table, tables[name]);
  }
}

TEST_F(CorpusExportTest, SqliteScriptsLoadTheExpectedRows) {
  if (!CorpusDir()) GTEST_SKIP() << "sample databases not found (set MENDORA_CORPUS)";
  for (const ExportedSample& sample : samples_) {
    SCOPED_TRACE(sample.source.filename().string());
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
    char* error = nullptr;
    const int loaded = sqlite3_exec(db, ReadAll(sample.dir / "sqlite.sql").c_str(), nullptr, nullptr, &error);
    EXPECT_EQ(loaded, SQLITE_OK) << (error != nullptr ? error : "");
    sqlite3_free(error);
    for (const auto& [name, table] : sample.expected["tables"].items()) {
      sqlite3_stmt* statement = nullptr;
      std::string query = "SELECT * FROM \"" + name + "\"";
      ASSERT_EQ(sqlite3_prepare_v2(db, query.c_str(), -1, &statement, nullptr), SQLITE_OK) << name;
      Rows rows;
      while (sqlite3_step(statement) == SQLITE_ROW) {
        std::vector<Cell> cells;
        for (int c = 0; c < sqlite3_column_count(statement); ++c) {
          switch (sqlite3_column_type(statement, c)) {
            case SQLITE_NULL:
              cells.push_back(std::nullopt);
              break;
            case SQLITE_FLOAT: {
              char buffer[40];
              std::snprintf(buffer, sizeof buffer, "%.17g", sqlite3_column_double(statement, c));
              cells.push_back(std::string(buffer));
              break;
            }
            default: {
              const void* bytes = sqlite3_column_blob(statement, c);
              const int length = sqlite3_column_bytes(statement, c);
              cells.push_back(std::string(static_cast<const char*>(bytes), static_cast<size_t>(length)));
            }
          }
        }
        rows.push_back(cells);
      }
      sqlite3_finalize(statement);
      ExpectSameRows(name, table, rows);
    }
    sqlite3_close(db);
  }
}

TEST_F(CorpusExportTest, PostgreSqlScriptsLoadIntoARealServer) {
  if (!CorpusDir()) GTEST_SKIP() << "sample databases not found (set MENDORA_CORPUS)";
  testing::ScratchPostgres server;
  const std::string why = server.Start();
  if (!why.empty()) GTEST_SKIP() << why;
  CheckServer(server, "postgresql.sql", [](const std::string& name, const std::string& type) {
    std::string quoted = "\"" + name + "\"";
    if (type == "ole" || type == "binary") return "encode(" + quoted + ", 'hex')";
    if (type == "datetime") return "to_char(" + quoted + ", 'YYYY-MM-DD\"T\"HH24:MI:SS')";
    return quoted + "::text";
  }, "\"", "to_json(ARRAY[", "])", "table_schema = 'public'");
  CheckScriptsLoad(server, SqlDialect::kPostgreSql, "\"", Loaded(), "table_schema = 'public'");
}

TEST_F(CorpusExportTest, MySqlScriptsLoadIntoARealMariaDbServer) {
  if (!CorpusDir()) GTEST_SKIP() << "sample databases not found (set MENDORA_CORPUS)";
  testing::ScratchMariaDb server;
  const std::string why = server.Start();
  if (!why.empty()) GTEST_SKIP() << why;
  CheckServer(server, "mysql.sql", [](const std::string& name, const std::string& type) {
    std::string quoted = "`" + name + "`";
    if (type == "ole" || type == "binary") return "HEX(" + quoted + ")";
    if (type == "datetime") return "DATE_FORMAT(" + quoted + ", '%Y-%m-%dT%H:%i:%s')";
    return "CAST(" + quoted + " AS CHAR)";
  }, "`", "JSON_ARRAY(", ")", "table_schema = DATABASE()");
  CheckScriptsLoad(server, SqlDialect::kMySql, "`", Loaded(), "table_schema = DATABASE()");
}

}  // namespace
}  // namespace mendora
