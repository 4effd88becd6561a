// Scratch directories for targets and reading a finished target back.
#ifndef MENDORA_TESTS_ENGINE_ENGINE_TEST_UTIL_H_
#define MENDORA_TESTS_ENGINE_ENGINE_TEST_UTIL_H_

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "output/sqlite/sqlite_output.h"
#include "output/sqlite/sqlite_target.h"

namespace mendora::testing {

class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "mendora-engine-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~ScratchDir() { std::filesystem::remove_all(path_); }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) names.insert(entry.path().filename());
    return names;
  }

 private:
  std::string path_;
};

// Each row of `sql` run on the file at `path`, its columns joined by '|'.
// Runs `sql` on `path` as another tool would; SQLite's error text, or empty.
inline std::string ExecOn(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
  char* message = nullptr;
  std::string error;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) error = message ? message : "failed";
  sqlite3_free(message);
  sqlite3_close(db);
  return error;
}

inline std::vector<std::string> Rows(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  std::vector<std::string> rows;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << "cannot open " << path << ": " << sqlite3_errmsg(db);
    sqlite3_close(db);
    return rows;
  }
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) ADD_FAILURE() << sqlite3_errmsg(db);
  while (stmt != nullptr && sqlite3_step(stmt) == SQLITE_ROW) {
    std::string row;
    for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
      if (i > 0) row += '|';
      const unsigned char* text = sqlite3_column_text(stmt, i);
      row += text == nullptr ? "NULL" : std::string(reinterpret_cast<const char*>(text), sqlite3_column_bytes(stmt, i));
    }
    rows.push_back(row);
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return rows;
}

// The type code a test names by its Jet keyword.
inline int TypeOfKeyword(const std::string& keyword) {
  static const std::map<std::string, int> kCodes = {
      {"BIT", 0x01},  {"BYTE", 0x02},     {"INT", 0x03},       {"LONG", 0x04},  {"COUNTER", 0x04},
      {"CURRENCY", 0x05}, {"SINGLE", 0x06}, {"DOUBLE", 0x07}, {"DATE", 0x08},  {"BINARY", 0x09},
      {"TEXT", 0x0A}, {"OLEOBJECT", 0x0B}, {"MEMO", 0x0C},     {"REPID", 0x0F}, {"DECIMAL", 0x10}};
  auto it = kCodes.find(keyword);
  return it == kCodes.end() ? 0x0E : it->second;
}

inline SchemaStatement Column(SchemaStatement::Kind kind, const std::string& table, const std::string& column,
                              const std::string& keyword, int precision = 0, int scale = 0) {
  OutputColumn described;
  described.name = column;
  described.type = TypeOfKeyword(keyword);
  described.precision = precision;
  described.scale = scale;
  described.column_number = keyword == "COUNTER" ? 0 : 1;
  return ColumnStatement(table, described, kind == SchemaStatement::Kind::kCreateTable);
}

// Creates `table` with the given (column, keyword) pairs.
inline void MakeTable(EngineDatabase& db, const std::string& table,
                      const std::vector<std::pair<std::string, std::string>>& columns) {
  auto kind = SchemaStatement::Kind::kCreateTable;
  for (const auto& [name, keyword] : columns) {
    db.Execute(Column(kind, table, name, keyword));
    kind = SchemaStatement::Kind::kAddColumn;
  }
}

// Opens `rs` on all `columns` columns of `table`, in order.
inline void OpenAll(EngineRecordset& rs, const std::string& table, size_t columns) {
  std::vector<size_t> sources(columns);
  for (size_t i = 0; i < columns; ++i) sources[i] = i;
  rs.Open(table, sources);
}

inline mendora::Value N() { return mendora::Value{}; }
inline mendora::Value I(int64_t v) {
  mendora::Value value;
  value.SetInteger(v);
  return value;
}
inline mendora::Value D(double v) {
  mendora::Value value;
  value.SetDouble(v);
  return value;
}
inline mendora::Value T(const std::string& text) {
  mendora::Value value;
  value.kind = ValueKind::kText;
  value.bytes = text;
  return value;
}

// Adds one row of values, in the recordset's column order.
inline void AddRow(EngineRecordset& rs, std::vector<mendora::Value> values) {
  mendora::Row row;
  row.values = std::move(values);
  rs.AddRow(row);
}

// A target created in a fresh scratch directory.
class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = std::make_unique<SqliteDatabase>();
    db_->Create(target_, false);
  }

  ScratchDir dir_;
  std::string target_ = dir_.File("out.sqlite");
  std::unique_ptr<EngineDatabase> db_;
};

}  // namespace mendora::testing

#endif  // MENDORA_TESTS_ENGINE_ENGINE_TEST_UTIL_H_
