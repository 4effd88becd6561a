// The SQL dialects: their names, quoting and column types.
#include "output/sql/sql_export.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>

#include "output/sql/sql_script_words.h"
#include "output/sqlite/sqlite_types.h"
#include "reader/column_types.h"
#include "reader/text_codec.h"

namespace mendora {

using namespace sql_script;

std::optional<SqlDialect> SqlDialectNamed(const std::string& name) {
  const std::string lower = AsciiLower(name);
  if (lower == "postgresql" || lower == "postgres") return SqlDialect::kPostgreSql;
  if (lower == "mysql" || lower == "mariadb") return SqlDialect::kMySql;
  if (lower == "sqlite" || lower == "sqlite3") return SqlDialect::kSqlite;
  return std::nullopt;
}

const char* SqlDialectName(SqlDialect dialect) {
  switch (dialect) {
    case SqlDialect::kPostgreSql: return "postgresql";
    case SqlDialect::kMySql: return "mysql";
    case SqlDialect::kSqlite: return "sqlite";
  }
  return "";
}

std::string QuoteSqlIdentifier(SqlDialect dialect, const std::string& name) {
  const char quote = dialect == SqlDialect::kMySql ? '`' : '"';
  std::string out(1, quote);
  for (const char c : name) {
    if (c == '\0') continue;  // no dialect takes it in a name
    if (c == quote) out.push_back(quote);
    out.push_back(c);
  }
  out.push_back(quote);
  return out;
}

std::string QuoteSqlString(SqlDialect dialect, const std::string& text, bool* lost_nul) {
  std::string out;
  out.reserve(text.size() + 2);
  out.push_back('\'');
  for (const char c : text) {
    switch (c) {
      case '\'':
        out += "''";
        break;
      case '\\':
        out += dialect == SqlDialect::kMySql ? "\\\\" : "\\";
        break;
      case '\0':
        if (dialect == SqlDialect::kMySql) {
          out += "\\0";
        } else if (dialect == SqlDialect::kSqlite) {
          // SQLite reads a statement up to its first NUL.
          out += "'||char(0)||'";
        } else if (lost_nul != nullptr) {
          *lost_nul = true;
        }
        break;
      case '\x1A':
        // MySQL's client reads a raw Ctrl-Z as the end of input on some systems.
        out += dialect == SqlDialect::kMySql ? "\\Z" : "\x1A";
        break;
      case '\r':
        // and drops a carriage return before a line end.
        out += dialect == SqlDialect::kMySql ? "\\r" : "\r";
        break;
      case '\n':
        out += dialect == SqlDialect::kMySql ? "\\n" : "\n";
        break;
      default:
        out.push_back(c);
    }
  }
  out.push_back('\'');
  return out;
}

std::string SqlColumnType(SqlDialect dialect, const OutputColumn& column) {
  if (dialect == SqlDialect::kSqlite) return SqliteDeclaredType(column.type, column.precision, column.scale);
  const bool pg = dialect == SqlDialect::kPostgreSql;
  switch (column.type) {
    case kColumnBoolean: return pg ? "boolean" : "BOOLEAN";
    case kColumnByte: return pg ? "smallint" : "TINYINT UNSIGNED";
    case kColumnInteger: return pg ? "smallint" : "SMALLINT";
    case kColumnLongInteger: return pg ? "integer" : "INT";
    case kColumnBigInt: return pg ? "bigint" : "BIGINT";
    case kColumnCurrency: return pg ? "numeric(19,4)" : "DECIMAL(19,4)";
    case kColumnNumeric: return DecimalType(pg ? "numeric" : "DECIMAL", column.precision, column.scale);
    case kColumnSingle: return pg ? "real" : "FLOAT";
    case kColumnDouble: return pg ? "double precision" : "DOUBLE";
    case kColumnDateTime: return pg ? "timestamp" : "DATETIME";
    case kColumnExtendedDateTime: return pg ? "timestamp" : "DATETIME(6)";
    case kColumnText:
      return (pg ? "varchar(" : "VARCHAR(") + std::to_string(TextLength(column)) + ")";
    case kColumnMemo:
    case kColumnComplex: return pg ? "text" : "LONGTEXT";
    case kColumnReplicationId: return pg ? "uuid" : "CHAR(38)";
    case kColumnBinary: return pg ? "bytea" : "VARBINARY(510)";
    default: return pg ? "bytea" : "LONGBLOB";
  }
}

}  // namespace mendora
