// The SQL export's rows: values as literals, batched into INSERTs.
#include "output/sql/sql_export.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>

#include "output/common/export_values.h"
#include "output/sql/sql_script_words.h"
#include "reader/column_types.h"
#include "reader/text_codec.h"
#include "reader/value_render.h"
#include "recovery/loss_account.h"

namespace mendora {

using namespace sql_script;

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

}  // namespace mendora
