// Writing the SQL export.
#include "output/sql/sql_export.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>

#include "output/common/export_values.h"
#include "output/sqlite/sqlite_keys.h"
#include "output/sqlite/sqlite_types.h"
#include "output/sqlite/view_translation.h"
#include "reader/column_types.h"
#include "reader/text_codec.h"
#include "reader/value_render.h"
#include "recovery/loss_account.h"

namespace mendora {

namespace {

// A batch ends at whichever comes first; the byte bound keeps each statement
// well inside MySQL's default packet size.
constexpr size_t kBatchRows = 500;
constexpr size_t kBatchBytes = 1 << 20;
// MySQL counts a row's declared widths against this.
constexpr size_t kMySqlRowBytes = 65000;
constexpr size_t kMySqlIndexBytes = 3072;
constexpr size_t kIndexNameBytes = 55;


std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 15]);
  }
  return out;
}

std::string DecimalType(const char* name, int precision, int scale) {
  const int p = precision >= 1 && precision <= 28 ? precision : 28;
  const int s = scale >= 0 && scale <= p ? scale : 0;
  return std::string(name) + "(" + std::to_string(p) + "," + std::to_string(s) + ")";
}

int TextLength(const OutputColumn& column) {
  return column.text_length > 0 && column.text_length <= 255 ? column.text_length : 255;
}

bool IsLongType(const std::string& type) {
  return type == "TEXT" || type == "LONGTEXT" || type == "LONGBLOB" || type == "text";
}

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

constexpr const char* kRelationsTable = "mendora_relations";
constexpr const char* kQueriesTable = "mendora_queries";

// The digits of a decimal's whole part ("-12.50" has 2).
size_t WholeDigits(const std::string& decimal) {
  size_t digits = 0;
  for (const char c : decimal) {
    if (c == '.') break;
    if (c >= '0' && c <= '9') ++digits;
  }
  return digits;
}

}  // namespace

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

std::string SqlExport::FitName(const std::string& name, bool table, std::set<std::string>& taken) const {
  std::string base;
  for (size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (c == 0) continue;
    if (dialect_ == SqlDialect::kMySql && c >= 0xF0) {
      // MySQL names hold no character beyond the Basic Multilingual Plane.
      base.push_back('_');
      while (i + 1 < name.size() && (static_cast<unsigned char>(name[i + 1]) & 0xC0) == 0x80) ++i;
      continue;
    }
    base.push_back(static_cast<char>(c));
  }
  if (dialect_ == SqlDialect::kMySql) {
    // MySQL takes no name that ends in a space, and at most 64 characters.
    while (!base.empty() && base.back() == ' ') base.back() = '_';
    size_t characters = 0, end = 0;
    for (; end < base.size() && characters < 60; ++end) characters += (static_cast<unsigned char>(base[end]) & 0xC0) != 0x80;
    while (end < base.size() && (static_cast<unsigned char>(base[end]) & 0xC0) == 0x80) ++end;
    base.resize(end);
  } else if (dialect_ == SqlDialect::kPostgreSql) {
    CutUtf8Bytes(base, 59);  // PostgreSQL keeps 63 bytes of a name
  } else if (table && AsciiLower(base).rfind("sqlite_", 0) == 0) {
    base.insert(0, "_");  // SQLite reserves these for itself
  }
  if (base.empty()) base = "_";
  // MySQL and SQLite compare names without case.
  const auto key = [&](const std::string& n) { return dialect_ == SqlDialect::kPostgreSql ? n : AsciiLower(n); };
  std::string fitted = base;
  for (int n = 2; !taken.insert(key(fitted)).second; ++n) fitted = base + "_" + std::to_string(n);
  return fitted;
}

void SqlExport::BeginTable(const OutputTable& table) {
  CloseTable();
  TableInfo& info = tables_[table.name];
  info = TableInfo{};
  info.quoted = QuoteSqlIdentifier(dialect_, FitName(table.name, true, table_names_));
  info.columns = table.columns;
  std::set<std::string> column_names;
  for (OutputColumn& column : info.columns) {
    const std::string fitted = FitName(column.name, false, column_names);
    info.column_names.emplace(column.name, fitted);
    column.name = fitted;
  }
  info.indexes = table.indexes;
  // A relation's own index: the relation is made as a foreign key instead.
  std::erase_if(info.indexes, [](const OutputIndex& index) { return index.foreign_key; });
  for (OutputIndex& index : info.indexes) {
    for (OutputIndexColumn& key : index.columns) {
      const auto found = info.column_names.find(key.name);
      if (found != info.column_names.end()) key.name = found->second;
    }
  }
  info.had_null.assign(table.columns.size(), false);
  info.source = table.columns;
  info.largest.assign(table.columns.size(), std::nullopt);
  info.rising.assign(table.columns.size(), true);
  info.cut_seventh.assign(table.columns.size(), 0);
  std::set<std::string> indexed;
  for (const OutputIndex& index : table.indexes) {
    for (const OutputIndexColumn& column : index.columns) indexed.insert(column.name);
  }
  size_t row_bytes = 0;
  for (const OutputColumn& column : table.columns) {
    info.types.push_back(SqlColumnType(dialect_, column));
    row_bytes += column.type == kColumnText ? static_cast<size_t>(TextLength(column)) * 4 + 2 : 16;
  }
  if (dialect_ == SqlDialect::kMySql) {
    // A row's declared widths must stay under MySQL's limit: the longest
    // text columns outside every index become TEXT until they do.
    std::vector<size_t> order(table.columns.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return TextLength(table.columns[a]) > TextLength(table.columns[b]); });
    for (const size_t i : order) {
      if (row_bytes <= kMySqlRowBytes) break;
      const OutputColumn& column = table.columns[i];
      if (column.type != kColumnText || indexed.count(column.name) > 0) continue;
      info.types[i] = "TEXT";
      row_bytes -= static_cast<size_t>(TextLength(column)) * 4 + 2 - 16;
    }
  }
  std::string create = "\nCREATE TABLE " + info.quoted + " (";
  for (size_t i = 0; i < table.columns.size(); ++i) {
    create += i == 0 ? "\n  " : ",\n  ";
    create += QuoteSqlIdentifier(dialect_, info.columns[i].name) + " " + info.types[i];
  }
  create += "\n)";
  if (dialect_ == SqlDialect::kMySql) create += " DEFAULT CHARSET=utf8mb4";
  create += ";\n";
  file_.Write(create);

  insert_head_ = "INSERT INTO " + info.quoted + " (";
  for (size_t i = 0; i < table.columns.size(); ++i) {
    if (i > 0) insert_head_ += ", ";
    insert_head_ += QuoteSqlIdentifier(dialect_, info.columns[i].name);
  }
  insert_head_ += ") VALUES\n";
  current_ = &info;
  current_name_ = table.name;
  table_open_ = true;
  batch_rows_ = 0;
  batch_bytes_ = 0;
  row_number_ = 0;
}

void SqlExport::AppendLiteral(const Value& value, size_t column, std::string& out) {
  const int type = column < current_->columns.size() ? current_->columns[column].type : 0;
  const bool pg = dialect_ == SqlDialect::kPostgreSql;
  switch (value.kind) {
    case ValueKind::kNull:
      out += "NULL";
      return;
    case ValueKind::kInteger:
      if (type == kColumnBoolean && pg) {
        out += value.integer != 0 ? "TRUE" : "FALSE";
      } else {
        out += std::to_string(value.integer);
      }
      return;
    case ValueKind::kSingle:
    case ValueKind::kDouble: {
      const double number = value.real;
      const std::string text = value.kind == ValueKind::kSingle ? RenderSingle(value.AsSingle()) : RenderDouble(number);
      if (std::isfinite(number)) {
        out += text;
      } else if (pg) {
        out += "'" + text + "'";
      } else if (dialect_ == SqlDialect::kSqlite && !std::isnan(number)) {
        out += number > 0 ? "9e999" : "-9e999";
      } else {
        // MySQL has neither NaN nor infinity; SQLite stores NaN as NULL.
        out += "NULL";
        if (losses_ != nullptr) {
          losses_->ValueRefused(current_name_, "Table " + current_name_ + ": column " +
                                                   current_->columns[column].name + ": " + text +
                                                   " has no form in " + SqlDialectName(dialect_) + ", written as NULL");
        }
      }
      return;
    }
    case ValueKind::kCurrency:
    case ValueKind::kDecimal:
      // SQLite would make a REAL of a number: the exact text is kept.
      if (dialect_ == SqlDialect::kSqlite) {
        out += "'" + ExactDecimalText(value) + "'";
      } else {
        out += ExactDecimalText(value);
      }
      return;
    case ValueKind::kDateTime:
    case ValueKind::kExtendedDateTime: {
      std::string text = IsoDateTimeText(value);
      if (text.empty()) {
        out += "NULL";
        return;
      }
      text[10] = ' ';
      // PostgreSQL and MySQL keep microseconds: a seventh decimal is cut,
      // and said.
      if (dialect_ != SqlDialect::kSqlite && text.size() > 26) {
        if (text[26] != '0') ++current_->cut_seventh[column];
        text.resize(26);
      }
      out += "'" + text + "'";
      return;
    }
    case ValueKind::kBytes: {
      const std::string_view bytes = ExportedBytes(value, type == kColumnOle, options_.ole);
      if (pg) {
        out += "'\\x" + Hex(bytes) + "'";
      } else {
        out += "X'" + Hex(bytes) + "'";
      }
      return;
    }
    case ValueKind::kGuid:
      out += "'" + RenderGuid(ByteView(value.guid.data(), value.guid.size())) + "'";
      return;
    case ValueKind::kText:
    default: {
      bool lost_nul = false;
      std::string text = value.kind == ValueKind::kText ? value.bytes : RenderValue(value);
      if (MakeValidUtf8(text)) ++current_->invalid_text;
      out += QuoteSqlString(dialect_, text, &lost_nul);
      if (lost_nul && losses_ != nullptr) {
        losses_->ValueRefused(current_name_, "Table " + current_name_ + ": column " + current_->columns[column].name +
                                                 ": NUL characters left out (PostgreSQL text cannot hold them)");
      }
      return;
    }
  }
}

void SqlExport::AddRow(const Row& row) {
  if (!table_open_) return;
  ++row_number_;
  // A value of a damaged row wider than its column's declared type widens
  // the column first: no load fails on one value.
  for (size_t i = 0; i < row.values.size() && i < current_->columns.size(); ++i) {
    const Value& value = row.values[i];
    const OutputColumn& column = current_->columns[i];
    if (dialect_ == SqlDialect::kSqlite) break;
    if (value.kind == ValueKind::kText && column.type == kColumnText && !IsLongType(current_->types[i]) &&
        value.bytes.size() > static_cast<size_t>(TextLength(column)) &&
        CountUtf8Chars(value.bytes) > static_cast<size_t>(TextLength(column))) {
      Widen(i, dialect_ == SqlDialect::kPostgreSql ? "text" : "LONGTEXT");
    } else if (value.kind == ValueKind::kDecimal && column.type == kColumnNumeric &&
               current_->types[i].find(",") != std::string::npos) {
      const int p = column.precision >= 1 && column.precision <= 28 ? column.precision : 28;
      const int s = column.scale >= 0 && column.scale <= p ? column.scale : 0;
      if (WholeDigits(ExactDecimalText(value)) > static_cast<size_t>(p - s)) {
        Widen(i, dialect_ == SqlDialect::kPostgreSql ? "numeric" : "DECIMAL(65," + std::to_string(s) + ")");
      }
    }
    if (value.kind == ValueKind::kInteger && i < current_->source.size() && current_->source[i].autonumber) {
      if (current_->largest[i] && value.integer <= *current_->largest[i]) current_->rising[i] = false;
      current_->largest[i] = std::max(current_->largest[i].value_or(value.integer), value.integer);
    }
  }
  text_.assign(batch_rows_ == 0 ? insert_head_ + "(" : ",\n(");
  for (size_t i = 0; i < row.values.size() && i < current_->columns.size(); ++i) {
    if (i > 0) text_ += ", ";
    if (row.values[i].IsNull()) current_->had_null[i] = true;
    AppendLiteral(row.values[i], i, text_);
  }
  text_ += ")";
  file_.Write(text_);
  ++batch_rows_;
  batch_bytes_ += text_.size();
  if (batch_rows_ >= kBatchRows || batch_bytes_ >= kBatchBytes) EndInsert();
}

void SqlExport::Widen(size_t column, const std::string& type) {
  EndInsert();
  const std::string name = QuoteSqlIdentifier(dialect_, current_->columns[column].name);
  if (dialect_ == SqlDialect::kPostgreSql) {
    file_.Write("ALTER TABLE " + current_->quoted + " ALTER COLUMN " + name + " TYPE " + type + ";\n");
  } else {
    file_.Write("ALTER TABLE " + current_->quoted + " MODIFY " + name + " " + type + ";\n");
  }
  current_->types[column] = type;
}

void SqlExport::EndInsert() {
  if (batch_rows_ == 0) return;
  file_.Write(";\n");
  batch_rows_ = 0;
  batch_bytes_ = 0;
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

std::string SqlExport::IndexName(const std::string& table, const std::string& index) {
  std::string base = table + "_" + index;
  CutUtf8Bytes(base, kIndexNameBytes);
  while (!base.empty() && base.back() == ' ') base.back() = '_';
  if (AsciiLower(base).rfind("sqlite_", 0) == 0) base.insert(0, "_");
  std::string name = base;
  for (int n = 2; !index_names_.insert(AsciiLower(name)).second; ++n) name = base + "_" + std::to_string(n);
  return name;
}

std::string SqlExport::ColumnList(const TableInfo& table, const std::vector<OutputIndexColumn>& columns,
                                  bool with_order) const {
  // MySQL indexes a long column by a prefix only, and a key's parts must fit
  // its byte limit together.
  size_t key_bytes = 0, text_parts = 0;
  for (const OutputIndexColumn& key : columns) {
    for (size_t i = 0; i < table.columns.size(); ++i) {
      if (table.columns[i].name != key.name) continue;
      if (table.columns[i].type == kColumnText || IsLongType(table.types[i])) {
        key_bytes += static_cast<size_t>(TextLength(table.columns[i])) * 4;
        ++text_parts;
      } else {
        key_bytes += 16;
      }
    }
  }
  const size_t prefix = text_parts == 0 ? 0 : std::max<size_t>(16, kMySqlIndexBytes / 4 / text_parts - 8);
  std::string list;
  for (const OutputIndexColumn& key : columns) {
    if (!list.empty()) list += ", ";
    list += QuoteSqlIdentifier(dialect_, key.name);
    if (dialect_ == SqlDialect::kMySql) {
      for (size_t i = 0; i < table.columns.size(); ++i) {
        if (table.columns[i].name != key.name) continue;
        const bool text = table.columns[i].type == kColumnText && !IsLongType(table.types[i]);
        if (IsLongType(table.types[i]) || (text && key_bytes > kMySqlIndexBytes)) {
          list += "(" + std::to_string(std::min<size_t>(prefix, static_cast<size_t>(TextLength(table.columns[i])))) + ")";
        }
      }
    }
    if (with_order && key.descending) list += " DESC";
  }
  return list;
}

void SqlExport::EndTable(int64_t) { CloseTable(); }

void SqlExport::CloseTable() {
  if (!table_open_) return;
  table_open_ = false;
  EndInsert();
  TableInfo& table = *current_;
  const auto has_column = [&](const std::string& name) {
    return std::any_of(table.columns.begin(), table.columns.end(),
                       [&](const OutputColumn& column) { return column.name == name; });
  };
  const auto any_null = [&](const std::vector<OutputIndexColumn>& columns) {
    for (const OutputIndexColumn& key : columns) {
      for (size_t i = 0; i < table.columns.size(); ++i) {
        if (table.columns[i].name == key.name && table.had_null[i]) return true;
      }
    }
    return false;
  };
  const auto complex = [&](const OutputIndexColumn& key) {
    return std::any_of(table.columns.begin(), table.columns.end(), [&](const OutputColumn& column) {
      return column.name == key.name && (column.complex_kind != 0 || column.type == kColumnComplex);
    });
  };
  for (const OutputIndex& index : table.indexes) {
    if (index.foreign_key) continue;
    // A complex column's value here is its entries as JSON text: what Access
    // indexes are the entries, in its hidden table.
    if (std::any_of(index.columns.begin(), index.columns.end(), complex)) continue;
    if (index.columns.empty() ||
        !std::all_of(index.columns.begin(), index.columns.end(),
                     [&](const OutputIndexColumn& key) { return has_column(key.name); })) {
      continue;
    }
    const std::string what = "Table " + current_name_ + ": index " + index.name;
    if (index.primary && dialect_ != SqlDialect::kSqlite) {
      if (any_null(index.columns)) {
        if (losses_ != nullptr) losses_->PieceLost(what + " (primary key) was not kept: some rows have no value in it");
        continue;
      }
      WriteGuarded("ALTER TABLE " + table.quoted + " ADD PRIMARY KEY (" + ColumnList(table, index.columns, false) + ")",
                   what);
      continue;
    }
    const bool unique = index.primary || index.unique;
    const std::string statement = std::string(unique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") +
                                  QuoteSqlIdentifier(dialect_, IndexName(current_name_, index.name)) + " ON " +
                                  table.quoted + " (" + ColumnList(table, index.columns, true) + ")";
    if (unique) {
      WriteGuarded(statement, what);
    } else {
      file_.Write(statement + ";\n");
    }
  }
  if (dialect_ == SqlDialect::kSqlite) return;
  for (size_t i = 0; i < table.columns.size(); ++i) {
    const OutputColumn& column = table.columns[i];
    if (!column.required) continue;
    if (table.had_null[i]) {
      if (losses_ != nullptr) {
        losses_->PieceLost("Table " + current_name_ + ": column " + column.name +
                           " was left nullable (Required): some rows have no value in it");
      }
      continue;
    }
    const std::string name = QuoteSqlIdentifier(dialect_, column.name);
    if (dialect_ == SqlDialect::kPostgreSql) {
      file_.Write("ALTER TABLE " + table.quoted + " ALTER COLUMN " + name + " SET NOT NULL;\n");
    } else {
      file_.Write("ALTER TABLE " + table.quoted + " MODIFY " + name + " " + table.types[i] + " NOT NULL;\n");
    }
  }
  WriteAutoNumbers(table);
  WriteDefaults(table);
  if (losses_ == nullptr) return;
  for (size_t i = 0; i < table.columns.size(); ++i) {
    if (table.cut_seventh[i] == 0) continue;
    losses_->ValueRefused(current_name_, "Table " + current_name_ + ": column " + table.columns[i].name + ": " +
                                             std::to_string(table.cut_seventh[i]) +
                                             " date/time values keep 6 of their 7 decimals (" +
                                             (dialect_ == SqlDialect::kPostgreSql ? "PostgreSQL" : "MySQL") +
                                             " keeps microseconds)");
  }
  if (table.invalid_text > 0) {
    losses_->ValueRefused(current_name_, "Table " + current_name_ + ": " + std::to_string(table.invalid_text) +
                                             " text values held bytes that are no UTF-8, written as U+FFFD");
  }
}

void SqlExport::WriteAutoNumbers(const TableInfo& table) {
  for (size_t i = 0; i < table.columns.size() && i < table.source.size(); ++i) {
    const OutputColumn& source = table.source[i];
    if (!source.autonumber && !source.guid_autonumber) continue;
    const std::string name = QuoteSqlIdentifier(dialect_, table.columns[i].name);
    const std::string what = "Table " + current_name_ + ": AutoNumber " + table.columns[i].name;
    if (source.guid_autonumber) {
      WriteGuarded(dialect_ == SqlDialect::kPostgreSql
                       ? "ALTER TABLE " + table.quoted + " ALTER COLUMN " + name + " SET DEFAULT gen_random_uuid()"
                       : "ALTER TABLE " + table.quoted + " MODIFY " + name + " " + table.types[i] +
                             " DEFAULT (CONCAT('{', UPPER(UUID()), '}'))",
                   what);
      continue;
    }
    if (table.had_null[i]) {
      if (losses_ != nullptr) losses_->PieceLost(what + " numbers no new rows: some rows have no value in it");
      continue;
    }
    // New rows are numbered past the largest value the rows hold.
    const int64_t next = table.largest[i] ? (*table.largest[i] < INT64_MAX ? *table.largest[i] + 1 : INT64_MAX) : 1;
    if (dialect_ == SqlDialect::kPostgreSql) {
      WriteGuarded("ALTER TABLE " + table.quoted + " ALTER COLUMN " + name + " SET NOT NULL; ALTER TABLE " +
                       table.quoted + " ALTER COLUMN " + name + " ADD GENERATED BY DEFAULT AS IDENTITY (START WITH " +
                       std::to_string(next) + ")",
                   what);
    } else {
      // AUTO_INCREMENT needs an index that starts with the column: a plain
      // one always exists; a key, only where no value repeats (which rising
      // values vouch for).
      bool leads = false;
      for (const OutputIndex& index : table.indexes) {
        const bool made = !(index.primary || index.unique) || table.rising[i];
        leads = leads || (made && !index.columns.empty() && index.columns[0].name == table.columns[i].name);
      }
      WriteGuarded("ALTER TABLE " + table.quoted + (leads ? "" : " ADD INDEX (" + name + "),") + " MODIFY " + name +
                       " " + table.types[i] + " NOT NULL AUTO_INCREMENT",
                   what);
    }
  }
}

void SqlExport::WriteDefaults(const TableInfo& table) {
  for (size_t i = 0; i < table.columns.size() && i < table.source.size(); ++i) {
    const OutputColumn& source = table.source[i];
    if (source.default_value.empty() || source.guid_autonumber || source.autonumber) continue;
    std::optional<std::string> value = SqliteDefault(source.default_value, source.type);
    if (value && source.type == kColumnBoolean && dialect_ == SqlDialect::kPostgreSql) {
      value = *value == "0" ? "FALSE" : "TRUE";
    }
    if (value && dialect_ == SqlDialect::kMySql) {
      // MySQL reads a backslash in a string as an escape.
      std::string escaped;
      for (const char c : *value) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
      value = "(" + escaped + ")";
    }
    const std::string what = "Table " + current_name_ + ": column " + table.columns[i].name + ": default value " +
                             source.default_value;
    if (!value) {
      if (losses_ != nullptr) losses_->PieceLost(what + " was not kept: it has no " + SqlDialectName(dialect_) + " form");
      continue;
    }
    WriteGuarded("ALTER TABLE " + table.quoted + " ALTER COLUMN " + QuoteSqlIdentifier(dialect_, table.columns[i].name) +
                     " SET DEFAULT " + *value,
                 what);
  }
}

void SqlExport::AddRelation(const OutputRelation& relation) {
  CloseTable();
  const auto referenced = tables_.find(relation.table);
  const auto referencing = tables_.find(relation.foreign_table);
  const std::string what = "Relation " + relation.name;
  if (referenced == tables_.end() || referencing == tables_.end() || relation.fields.empty()) return;
  const TableInfo& primary = referenced->second;
  const TableInfo& foreign = referencing->second;
  std::vector<std::string> keys, foreign_keys;
  std::vector<std::string> key_types, foreign_types;
  const auto script_name = [](const TableInfo& table, const std::string& name) {
    const auto found = table.column_names.find(name);
    return found == table.column_names.end() ? name : found->second;
  };
  for (const RelationField& field : relation.fields) {
    keys.push_back(script_name(primary, field.field));
    foreign_keys.push_back(script_name(foreign, field.foreign_field));
  }
  const auto type_of = [](const TableInfo& table, const std::string& name) -> std::optional<std::string> {
    for (size_t i = 0; i < table.columns.size(); ++i) {
      if (table.columns[i].name == name) return table.types[i];
    }
    return std::nullopt;
  };
  std::string reason;
  for (size_t i = 0; i < keys.size() && reason.empty(); ++i) {
    const auto a = type_of(primary, keys[i]);
    const auto b = type_of(foreign, foreign_keys[i]);
    if (!a || !b) reason = "a column is missing";
    else if (dialect_ == SqlDialect::kMySql && (IsLongType(*a) || IsLongType(*b))) reason = "a column is long text";
  }
  bool served = dialect_ == SqlDialect::kSqlite;
  if (reason.empty() && dialect_ != SqlDialect::kSqlite) {
    // PostgreSQL refers only to a unique key; MySQL to any index that starts
    // with the columns.
    for (const OutputIndex& index : primary.indexes) {
      std::vector<std::string> columns;
      for (const OutputIndexColumn& key : index.columns) columns.push_back(key.name);
      if (dialect_ == SqlDialect::kPostgreSql) {
        std::vector<std::string> a = columns, b = keys;
        std::sort(a.begin(), a.end());
        std::sort(b.begin(), b.end());
        served = served || ((index.primary || index.unique) && a == b);
      } else {
        served = served || (columns.size() >= keys.size() && std::equal(keys.begin(), keys.end(), columns.begin()));
      }
    }
  }
  std::string list, foreign_list;
  for (size_t i = 0; i < keys.size(); ++i) {
    list += (i > 0 ? ", " : "") + QuoteSqlIdentifier(dialect_, keys[i]);
    foreign_list += (i > 0 ? ", " : "") + QuoteSqlIdentifier(dialect_, foreign_keys[i]);
  }
  // Fields that are no key of their table get a unique index first, as in
  // the SQLite target (which fails, and says so, where their values repeat).
  std::string key_index;
  if (!served && reason.empty()) {
    key_index = "CREATE UNIQUE INDEX " +
                QuoteSqlIdentifier(dialect_, IndexName(relation.table, relation.name + "_key")) + " ON " +
                primary.quoted + " (" + [&] {
                  std::string columns;
                  for (size_t i = 0; i < keys.size(); ++i) columns += (i > 0 ? ", " : "") + QuoteSqlIdentifier(dialect_, keys[i]);
                  return columns;
                }() + ")";
  }
  std::string statement = "ALTER TABLE " + foreign.quoted + " ADD CONSTRAINT " +
                          QuoteSqlIdentifier(dialect_, IndexName(relation.foreign_table, relation.name)) +
                          " FOREIGN KEY (" + foreign_list + ") REFERENCES " + primary.quoted + " (" + list + ")";
  if ((relation.flags & kRelationCascadeUpdates) != 0) statement += " ON UPDATE CASCADE";
  if ((relation.flags & kRelationCascadeDeletes) != 0) statement += " ON DELETE CASCADE";
  if (dialect_ == SqlDialect::kSqlite) {
    // SQLite takes foreign keys only in CREATE TABLE, before the rows.
    std::string comment = "-- " + what + ": " + relation.foreign_table + " (" + foreign_list + ") refers to " +
                          relation.table + " (" + list + ")\n";
    std::replace(comment.begin(), comment.end() - 1, '\n', ' ');
    std::replace(comment.begin(), comment.end() - 1, '\r', ' ');
    file_.Write(comment);
    return;
  }
  // Every relation that is no foreign key is listed in the target, with
  // why: the script's own reason, or the rows that break it (counted when
  // the script runs, since only then are the rows all there).
  if (!relations_table_) {
    relations_table_ = true;
    const auto q = [&](const char* name) { return QuoteSqlIdentifier(dialect_, name); };
    file_.Write("\nCREATE TABLE " + q(kRelationsTable) + " (" + q("name") + " varchar(255), " + q("table") +
                " varchar(255), " + q("columns") + " text, " + q("foreign_table") + " varchar(255), " +
                q("foreign_columns") + " text, " + q("reason") + " text, " + q("breaking_rows") + " bigint)" +
                (dialect_ == SqlDialect::kMySql ? " DEFAULT CHARSET=utf8mb4" : "") + ";\n");
  }
  const auto note = [&](const std::string& why, const std::string& rows) {
    std::string plain_list, plain_foreign;
    for (size_t i = 0; i < relation.fields.size(); ++i) {
      plain_list += (i > 0 ? ", " : "") + relation.fields[i].field;
      plain_foreign += (i > 0 ? ", " : "") + relation.fields[i].foreign_field;
    }
    return "INSERT INTO " + QuoteSqlIdentifier(dialect_, kRelationsTable) + " VALUES (" +
           QuoteSqlString(dialect_, relation.name) + ", " + QuoteSqlString(dialect_, relation.table) + ", " +
           QuoteSqlString(dialect_, plain_list) + ", " + QuoteSqlString(dialect_, relation.foreign_table) + ", " +
           QuoteSqlString(dialect_, plain_foreign) + ", " + why + ", " + rows + ")";
  };
  if (!reason.empty()) {
    if (losses_ != nullptr) losses_->PieceLost(what + " was not kept as a foreign key: " + reason);
    file_.Write(note(QuoteSqlString(dialect_, reason), "NULL") + ";\n");
    return;
  }
  // The rows that break it: every field given, and no row they refer to.
  const std::string child = QuoteSqlIdentifier(dialect_, "mendora_child");
  const std::string parent = QuoteSqlIdentifier(dialect_, "mendora_parent");
  std::string given, match;
  for (size_t i = 0; i < keys.size(); ++i) {
    const std::string key = parent + "." + QuoteSqlIdentifier(dialect_, keys[i]);
    const std::string foreign_key = child + "." + QuoteSqlIdentifier(dialect_, foreign_keys[i]);
    given += foreign_key + " IS NOT NULL AND ";
    match += (i > 0 ? " AND " : "") + key + " = " + foreign_key;
  }
  const std::string breaking = " FROM " + foreign.quoted + " AS " + child + " WHERE " + given + "NOT EXISTS (SELECT 1 FROM " +
                               primary.quoted + " AS " + parent + " WHERE " + match + ")";
  if (dialect_ == SqlDialect::kMySql) {
    if (!key_index.empty()) WriteGuarded(key_index, "Table " + relation.table + ": a key for relation " + relation.name);
    file_.Write("CALL mendora_relate(" + QuoteSqlString(dialect_, "SELECT COUNT(*) INTO @mendora_rows" + breaking) +
                ", " + QuoteSqlString(dialect_, statement) + ", " + QuoteSqlString(dialect_, what) + ", " +
                QuoteSqlString(dialect_, note("@mendora_error", "@mendora_rows")) + ");\n");
    return;
  }
  const std::string body = breaking + statement + note("", "");
  std::string tag = "$mendora$";
  for (int n = 1; body.find(tag) != std::string::npos; ++n) tag = "$mendora" + std::to_string(n) + "$";
  std::string message = QuoteSqlString(dialect_, what);
  std::string percent;
  for (const char c : message) {
    if (c == '%') percent += '%';
    percent += c;
  }
  percent = percent.substr(1, percent.size() - 2);
  file_.Write("DO " + tag + " DECLARE mendora_rows bigint; BEGIN SELECT count(*) INTO mendora_rows" + breaking +
              "; IF mendora_rows = 0 THEN " + (key_index.empty() ? "" : key_index + "; ") + statement + "; ELSE " +
              note("mendora_rows || ' rows break it'", "mendora_rows") + "; RAISE WARNING '" + percent +
              " not kept: % rows break it', mendora_rows; END IF; EXCEPTION WHEN others THEN " + note("SQLERRM", "NULL") +
              "; RAISE WARNING '" + percent + " not kept: %', SQLERRM; END " + tag + ";\n");
}

void SqlExport::AddQuery(const std::string& name, const std::string& sql) {
  CloseTable();
  queries_.emplace_back(name, sql);
}

void SqlExport::WriteViews() {
  if (dialect_ == SqlDialect::kSqlite || queries_.empty()) return;
  const bool pg = dialect_ == SqlDialect::kPostgreSql;
  const auto q = [&](const char* name) { return QuoteSqlIdentifier(dialect_, name); };
  file_.Write("\nCREATE TABLE " + q(kQueriesTable) + " (" + q("name") + " varchar(255), " + q("sql") + " text, " +
              q("no_view_reason") + " text)" + (pg ? "" : " DEFAULT CHARSET=utf8mb4") + ";\n");
  struct View {
    std::string name;    // the query's
    std::string target;  // the view's
    std::string select;
    std::vector<size_t> uses;  // other views it selects from
  };
  // Names as the script spells them, for the translation.
  std::map<std::string, std::string> names;
  for (const auto& [name, table] : tables_) {
    names.emplace(AsciiLower(name), table.quoted.substr(1, table.quoted.size() - 2));
    for (const auto& [source, fitted] : table.column_names) names.emplace(AsciiLower(source), fitted);
  }
  std::vector<View> views;
  std::vector<std::string> targets;
  for (const auto& [name, sql] : queries_) {
    targets.push_back(FitName(name, true, table_names_));
    names.emplace(AsciiLower(name), targets.back());
  }
  for (size_t n = 0; n < queries_.size(); ++n) {
    const std::string& name = queries_[n].first;
    const std::string& sql = queries_[n].second;
    std::string text = sql;
    MakeValidUtf8(text);
    const ViewTranslation translation =
        TranslateSelectQuery(text, pg ? ViewDialect::kPostgreSql : ViewDialect::kMySql, &names);
    file_.Write("INSERT INTO " + q(kQueriesTable) + " VALUES (" + QuoteSqlString(dialect_, name) + ", " +
                QuoteSqlString(dialect_, text) + ", " +
                (translation.ok ? std::string("NULL") : QuoteSqlString(dialect_, translation.reason)) + ");\n");
    if (translation.ok) views.push_back({name, targets[n], translation.sql, {}});
  }
  // A view that selects from another comes after it: the other's name,
  // quoted as the translation quotes names, or as a bare word.
  const auto refers = [&](const std::string& select, const std::string& name) {
    if (select.find(QuoteSqlIdentifier(dialect_, name)) != std::string::npos) return true;
    const std::string lower = AsciiLower(select), word = AsciiLower(name);
    for (size_t at = lower.find(word); at != std::string::npos; at = lower.find(word, at + 1)) {
      const auto boundary = [&](size_t i) {
        return i >= lower.size() || !(std::isalnum(static_cast<unsigned char>(lower[i])) || lower[i] == '_');
      };
      if ((at == 0 || boundary(at - 1)) && boundary(at + word.size())) return true;
    }
    return false;
  };
  for (size_t i = 0; i < views.size(); ++i) {
    for (size_t k = 0; k < views.size(); ++k) {
      if (k != i && refers(views[i].select, views[k].target)) views[i].uses.push_back(k);
    }
  }
  std::vector<bool> written(views.size(), false);
  for (size_t round = 0; round <= views.size(); ++round) {
    for (size_t i = 0; i < views.size(); ++i) {
      if (written[i]) continue;
      const bool ready = round == views.size() || std::all_of(views[i].uses.begin(), views[i].uses.end(),
                                                               [&](size_t k) { return written[k]; });
      if (!ready) continue;
      written[i] = true;
      const std::string reason = pg ? "SQLERRM" : "@mendora_error";
      WriteGuarded("CREATE VIEW " + QuoteSqlIdentifier(dialect_, views[i].target) + " AS " + views[i].select,
                   "Query " + views[i].name + " as a view",
                   "UPDATE " + q(kQueriesTable) + " SET " + q("no_view_reason") + " = " + reason + " WHERE " + q("name") +
                       " = " + QuoteSqlString(dialect_, views[i].name));
    }
  }
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
