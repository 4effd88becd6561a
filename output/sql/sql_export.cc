// Writing the SQL export: the script's start and end, and statements that
// may fail on a damaged database's rows.
#include "output/sql/sql_export.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>

#include "output/common/export_values.h"
#include "output/sql/sql_script_words.h"

namespace mendora {

using namespace sql_script;

namespace {

// MySQL's helpers for statements that may fail on a damaged database's rows:
// mendora_try runs one and, should it fail, says so and runs its note;
// mendora_relate counts the rows that break a relation first, and makes it
// only when there are none. A note sees the error in @mendora_error and the
// count in @mendora_rows.
constexpr const char* kMySqlHelpers = R"(DROP PROCEDURE IF EXISTS mendora_noted;
DROP PROCEDURE IF EXISTS mendora_try;
DROP PROCEDURE IF EXISTS mendora_relate;
DELIMITER ;;
CREATE PROCEDURE mendora_noted(IN mendora_what TEXT CHARACTER SET utf8mb4, IN mendora_note LONGTEXT CHARACTER SET utf8mb4)
BEGIN
  SELECT CONCAT('WARNING: ', mendora_what, ' not kept: ', @mendora_error) AS mendora_warning;
  IF mendora_note <> '' THEN
    SET @mendora_sql = mendora_note;
    PREPARE mendora_prepared FROM @mendora_sql;
    EXECUTE mendora_prepared;
    DEALLOCATE PREPARE mendora_prepared;
  END IF;
END;;
CREATE PROCEDURE mendora_try(IN mendora_statement LONGTEXT CHARACTER SET utf8mb4, IN mendora_what TEXT CHARACTER SET utf8mb4, IN mendora_note LONGTEXT CHARACTER SET utf8mb4)
BEGIN
  DECLARE EXIT HANDLER FOR SQLEXCEPTION
  BEGIN
    GET DIAGNOSTICS CONDITION 1 @mendora_error = MESSAGE_TEXT;
    SET @mendora_rows = NULL;
    CALL mendora_noted(mendora_what, mendora_note);
  END;
  SET @mendora_sql = mendora_statement;
  PREPARE mendora_prepared FROM @mendora_sql;
  EXECUTE mendora_prepared;
  DEALLOCATE PREPARE mendora_prepared;
END;;
CREATE PROCEDURE mendora_relate(IN mendora_check LONGTEXT CHARACTER SET utf8mb4, IN mendora_statement LONGTEXT CHARACTER SET utf8mb4, IN mendora_what TEXT CHARACTER SET utf8mb4,
                                IN mendora_note LONGTEXT CHARACTER SET utf8mb4)
BEGIN
  DECLARE EXIT HANDLER FOR SQLEXCEPTION
  BEGIN
    GET DIAGNOSTICS CONDITION 1 @mendora_error = MESSAGE_TEXT;
    SET @mendora_rows = NULL;
    CALL mendora_noted(mendora_what, mendora_note);
  END;
  SET @mendora_sql = mendora_check;
  PREPARE mendora_prepared FROM @mendora_sql;
  EXECUTE mendora_prepared;
  DEALLOCATE PREPARE mendora_prepared;
  IF @mendora_rows = 0 THEN
    SET @mendora_sql = mendora_statement;
    PREPARE mendora_prepared FROM @mendora_sql;
    EXECUTE mendora_prepared;
    DEALLOCATE PREPARE mendora_prepared;
  ELSE
    SET @mendora_error = CONCAT(@mendora_rows, ' rows break it');
    CALL mendora_noted(mendora_what, mendora_note);
  END IF;
END;;
DELIMITER ;
)";

}  // namespace

SqlExport::SqlExport(std::filesystem::path file, SqlDialect dialect, ExportOptions options)
    : dialect_(dialect), options_(std::move(options)) {
  file_.Open(file);
  switch (dialect_) {
    case SqlDialect::kPostgreSql:
      file_.Write(
          "-- Written by Mendora for PostgreSQL: psql -v ON_ERROR_STOP=1 -f FILE\n"
          "SET client_encoding = 'UTF8';\nSET standard_conforming_strings = on;\nBEGIN;\n");
      break;
    case SqlDialect::kMySql:
      // Wide tables of short text columns pass MariaDB's row-size check as
      // a warning; the foreign keys come after the rows they refer to.
      // Zero stays a value when a column becomes AUTO_INCREMENT, and views
      // join strings with || as the translated queries do.
      file_.Write(
          "-- Written by Mendora for MySQL and MariaDB: mysql DATABASE < FILE\n"
          "SET NAMES utf8mb4;\nSET SESSION innodb_strict_mode = 0;\nSET foreign_key_checks = 0;\n"
          "SET SESSION sql_mode = 'STRICT_ALL_TABLES,NO_ENGINE_SUBSTITUTION,NO_AUTO_VALUE_ON_ZERO,PIPES_AS_CONCAT';\n");
      file_.Write(kMySqlHelpers);
      file_.Write("START TRANSACTION;\n");
      break;
    case SqlDialect::kSqlite:
      file_.Write("-- Written by Mendora for SQLite: sqlite3 DATABASE < FILE\nPRAGMA foreign_keys = OFF;\nBEGIN;\n");
      break;
  }
  // The script's own tables keep their names; a source table of the same
  // name is renamed.
  if (dialect_ != SqlDialect::kSqlite) {
    table_names_.insert(kRelationsTable);
    table_names_.insert(kQueriesTable);
  }
}

void SqlExport::WriteGuarded(const std::string& statement, const std::string& what, const std::string& note) {
  if (dialect_ == SqlDialect::kSqlite) {
    file_.Write(statement + ";\n");
    return;
  }
  if (dialect_ == SqlDialect::kMySql) {
    file_.Write("CALL mendora_try(" + QuoteSqlString(dialect_, statement) + ", " + QuoteSqlString(dialect_, what) +
                ", " + QuoteSqlString(dialect_, note) + ");\n");
    return;
  }
  // The dollar quote's tag cannot appear in the statement: names are quoted
  // identifiers, and a tag met inside one would end the block early.
  const std::string body = statement + note;
  std::string tag = "$mendora$";
  for (int n = 1; body.find(tag) != std::string::npos; ++n) tag = "$mendora" + std::to_string(n) + "$";
  std::string message = what;
  for (size_t at = message.find('\''); at != std::string::npos; at = message.find('\'', at + 2)) message.insert(at, "'");
  std::string percent;
  for (const char c : message) {
    if (c == '%') percent += '%';
    percent += c;
  }
  file_.Write("DO " + tag + " BEGIN " + statement + "; EXCEPTION WHEN others THEN " + (note.empty() ? "" : note + "; ") +
              "RAISE WARNING '" + percent + " not kept: %', SQLERRM; END " + tag + ";\n");
}

void SqlExport::Finish() {
  if (finished_) return;
  finished_ = true;
  CloseTable();
  WriteViews();
  file_.Write(dialect_ == SqlDialect::kMySql
                  ? "COMMIT;\nSET foreign_key_checks = 1;\nDROP PROCEDURE mendora_relate;\nDROP PROCEDURE "
                    "mendora_try;\nDROP PROCEDURE mendora_noted;\n"
                  : "COMMIT;\n");
  file_.Publish();
}

void SqlExport::Abandon() noexcept { file_.Discard(); }

}  // namespace mendora
