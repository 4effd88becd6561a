// The SQL export: a script that creates the recovered tables in PostgreSQL,
// MySQL/MariaDB or SQLite and loads their rows, written as the pass reads
// them.
//
// Each table is created bare, filled by multi-row INSERTs, then given its
// primary key, its NOT NULL columns (only where every row has a value), its
// indexes, its AutoNumber (an identity in PostgreSQL, AUTO_INCREMENT in
// MySQL, numbering past the largest value) and its defaults; relations
// become foreign keys once every table is loaded, and saved select queries
// views once the relations are in, views over views after those they use.
// Every statement the rows of a damaged database may break runs guarded (a
// PL/pgSQL block in PostgreSQL, a procedure with a handler in MySQL): it
// fails alone with a warning, never the load. A relation the rows break is
// left out and listed in mendora_relations with the count of those rows; a
// query that is no view says why in mendora_queries.
// SQLite cannot add constraints to a filled table: its script keeps the
// unique keys as unique indexes and names the relations in comments.
#ifndef MENDORA_OUTPUT_SQL_SQL_EXPORT_H_
#define MENDORA_OUTPUT_SQL_SQL_EXPORT_H_

#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "output/common/export_values.h"
#include "recovery/recovery_output.h"

namespace mendora {

enum class SqlDialect { kPostgreSql, kMySql, kSqlite };

// "postgresql", "mysql", "sqlite" (also "postgres", "mariadb", "sqlite3").
std::optional<SqlDialect> SqlDialectNamed(const std::string& name);
const char* SqlDialectName(SqlDialect dialect);

// The identifier quoted for the dialect.
std::string QuoteSqlIdentifier(SqlDialect dialect, const std::string& name);
// The text as a string literal of the dialect. PostgreSQL text cannot hold
// a NUL character: it is left out, and `lost_nul` says so.
std::string QuoteSqlString(SqlDialect dialect, const std::string& text, bool* lost_nul = nullptr);
// The declared type of a column in the dialect.
std::string SqlColumnType(SqlDialect dialect, const OutputColumn& column);

class SqlExport final : public RecoveryOutput {
 public:
  SqlExport(std::filesystem::path file, SqlDialect dialect, ExportOptions options);

  void BeginTable(const OutputTable& table) override;
  void AddRow(const Row& row) override;
  void EndTable(int64_t rows) override;
  void AddRelation(const OutputRelation& relation) override;
  void AddQuery(const std::string& name, const std::string& sql) override;
  void Finish() override;
  void Abandon() noexcept override;
  void KeepWorkOnCallingThread() override { file_.WriteOnCallersThread(); }

 private:
  struct TableInfo {
    std::string quoted;
    std::vector<OutputColumn> columns;  // named as in the script
    std::map<std::string, std::string> column_names;  // source name -> name in the script
    std::vector<std::string> types;  // declared, by column
    std::vector<OutputIndex> indexes;
    std::vector<bool> had_null;      // by column, over the rows written
    std::vector<OutputColumn> source;  // as the pass described them
    std::vector<std::optional<int64_t>> largest;  // AutoNumber columns: the largest value written
    std::vector<bool> rising;  // AutoNumber columns: each value above the one before, so none repeats
    std::vector<int64_t> cut_seventh;  // extended date/times whose seventh decimal was cut
    int64_t invalid_text = 0;          // text values whose bytes were no UTF-8
  };

  void CloseTable();
  // `name` as the dialect takes it, distinct from every name in `taken`
  // (compared as the dialect compares names), which it joins.
  std::string FitName(const std::string& name, bool table, std::set<std::string>& taken) const;
  void AppendLiteral(const Value& value, size_t column, std::string& out);
  void EndInsert();
  // A statement that may fail on the rows of a damaged database: PostgreSQL
  // runs it in a block that turns the failure into a warning.
  // `note` runs when it fails: PostgreSQL's holds the error as SQLERRM,
  // MySQL's as @mendora_error.
  void WriteGuarded(const std::string& statement, const std::string& what, const std::string& note = "");
  // A wider declared type for the column, before a row that would not fit.
  void Widen(size_t column, const std::string& type);
  void WriteAutoNumbers(const TableInfo& table);
  void WriteDefaults(const TableInfo& table);
  void WriteViews();
  std::string IndexName(const std::string& table, const std::string& index);
  std::string ColumnList(const TableInfo& table, const std::vector<OutputIndexColumn>& columns, bool with_order) const;

  SqlDialect dialect_;
  ExportOptions options_;
  ExportFile file_;
  std::map<std::string, TableInfo> tables_;
  TableInfo* current_ = nullptr;
  std::string current_name_;
  bool table_open_ = false;
  bool finished_ = false;
  std::set<std::string> index_names_;
  std::set<std::string> table_names_;
  std::string insert_head_;
  std::string text_;
  size_t batch_rows_ = 0;
  size_t batch_bytes_ = 0;
  int64_t row_number_ = 0;
  bool relations_table_ = false;
  std::vector<std::pair<std::string, std::string>> queries_;  // name, Access SQL
};

}  // namespace mendora

#endif  // MENDORA_OUTPUT_SQL_SQL_EXPORT_H_
