// Scratch directories for targets and reading a finished target back.
#ifndef MENDORA_TESTS_ENGINE_ENGINE_TEST_UTIL_H_
#define MENDORA_TESTS_ENGINE_ENGINE_TEST_UTIL_H_

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "recovery/recovery_session.h"

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

inline SchemaStatement Column(SchemaStatement::Kind kind, const std::string& table, const std::string& column,
                              const std::string& keyword, int precision = 0, int scale = 0) {
  SchemaStatement statement;
  statement.kind = kind;
  statement.table = table;
  statement.column = column;
  statement.keyword = keyword;
  statement.precision = precision;
  statement.scale = scale;
  return statement;
}

// Creates `table` with the given (column, keyword) pairs.
inline void MakeTable(EngineDatabase& db, const std::string& table,
                      const std::vector<std::pair<std::string, std::string>>& columns) {
  auto kind = SchemaStatement::Kind::kCreateTable;
  for (const auto& [name, keyword] : columns) {
    db.Execute(Column(kind, table, name, keyword), kFailOnError);
    kind = SchemaStatement::Kind::kAddColumn;
  }
}

// Adds one row of (field, value text) pairs.
inline void AddRow(EngineRecordset& rs, const std::vector<std::pair<std::string, std::string>>& values) {
  rs.AddNew();
  for (const auto& [field, value] : values) rs.SetFieldValue(field, value);
  rs.Update();
}

// A target created in a fresh scratch directory.
class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = SqliteTargetFactory()();
    db_->Create(target_, "General", 0);
  }

  ScratchDir dir_;
  std::string target_ = dir_.File("out.sqlite");
  std::unique_ptr<EngineDatabase> db_;
};

}  // namespace mendora::testing

#endif  // MENDORA_TESTS_ENGINE_ENGINE_TEST_UTIL_H_
