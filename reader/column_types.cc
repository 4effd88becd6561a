// The table of column types.
#include "reader/column_types.h"

#include <cstdio>

namespace mendora {

namespace {

// Currency and Numeric are declared with no type: a column without one has
// no affinity, where a DECIMAL or NUMERIC column would turn
// 922337203685477.5807 into a REAL with lost digits; the value's binding
// decides how it is stored, and the Access type is kept beside it.
constexpr ColumnTypeInfo kTypes[] = {
    {0x00, "Unknown 0x00", nullptr, "MEMO", "BLOB", ValueKind::kBytes, false},
    {0x01, "Boolean", "boolean", "BIT", "BOOLEAN", ValueKind::kInteger, false},
    {0x02, "Byte", "byte", "BYTE", "TINYINT", ValueKind::kInteger, false},
    {0x03, "Integer", "integer", "INT", "SMALLINT", ValueKind::kInteger, false},
    {0x04, "Long Integer", "long", "LONG", "INTEGER", ValueKind::kInteger, false},
    {0x05, "Currency", "currency", "CURRENCY", "", ValueKind::kCurrency, false},
    {0x06, "Single", "float", "SINGLE", "REAL", ValueKind::kSingle, false},
    {0x07, "Double", "double", "DOUBLE", "DOUBLE", ValueKind::kDouble, false},
    {0x08, "DateTime (Short)", "datetime", "DATE", "DATETIME", ValueKind::kDateTime, false},
    {0x09, "Unknown 0x09", "binary", "BINARY", "BLOB", ValueKind::kBytes, false},
    {0x0A, "Text", "text", "TEXT", "TEXT", ValueKind::kText, false},
    {0x0B, "OLE", "ole", "OLEOBJECT", "BLOB", ValueKind::kBytes, true},
    {0x0C, "Memo/Hyperlink", "memo", "MEMO", "TEXT", ValueKind::kText, true},
    {0x0D, "Unknown 0x0d", nullptr, "MEMO", "BLOB", ValueKind::kBytes, false},
    {0x0E, "Unknown 0x0e", nullptr, "MEMO", "BLOB", ValueKind::kBytes, false},
    {0x0F, "Replication ID", "repid", "REPID", "TEXT", ValueKind::kGuid, false},
    {0x10, "Numeric", "numeric", "DECIMAL", "", ValueKind::kDecimal, false},
    {0x11, "Unknown 0x11", nullptr, "MEMO", "BLOB", ValueKind::kBytes, false},
    // A complex column's key to its hidden table; the pass replaces it by
    // the entries, and a SQLite target gives it a child table instead.
    {0x12, "Complex", "complex", "LONG", "TEXT", ValueKind::kText, false},
    {0x13, "Big Integer", "bigint", "BIGINT", "INTEGER", ValueKind::kInteger, false},
    // ISO 8601 text with seven decimals: a REAL would lose them.
    {0x14, "DateTime (Extended)", "datetimextended", "DATETIME2", "DATETIME", ValueKind::kExtendedDateTime, false},
};

constexpr ColumnTypeInfo kUnknownType = {-1, nullptr, nullptr, "MEMO", "BLOB", ValueKind::kBytes, false};

// A damaged record must not declare an impossible precision or scale.
std::string PrecisionSuffix(int precision, int scale) {
  const int p = precision >= 1 && precision <= 28 ? precision : 28;
  const int s = scale >= 0 && scale <= p ? scale : 0;
  return "(" + std::to_string(p) + "," + std::to_string(s) + ")";
}

}  // namespace

const ColumnTypeInfo& ColumnTypeOf(int code) {
  if (code >= 0 && code < static_cast<int>(sizeof kTypes / sizeof kTypes[0])) return kTypes[code];
  return kUnknownType;
}

bool IsKnownColumnType(int code) {
  return code >= 0x01 && code <= kColumnExtendedDateTime && code != kColumnUnknown0D && code != kColumnUnknown0E &&
         code != kColumnUnknown11;
}

std::string ColumnTypeName(int code) {
  const ColumnTypeInfo& info = ColumnTypeOf(code);
  if (info.name != nullptr) return info.name;
  char text[32];
  std::snprintf(text, sizeof text, "Unknown 0x%02x", static_cast<unsigned>(code) & 0xFFu);
  return text;
}

std::string DumpTypeName(int code) {
  const ColumnTypeInfo& info = ColumnTypeOf(code);
  return info.dump_name != nullptr ? info.dump_name : ColumnTypeName(code);
}

std::string TypeKeyword(int code, int column_number, int precision, int scale) {
  if (code == kColumnLongInteger && column_number == 0) return "COUNTER";
  const ColumnTypeInfo& info = ColumnTypeOf(code);
  if (code == kColumnNumeric) return std::string(info.keyword) + PrecisionSuffix(precision, scale);
  return info.keyword;
}

std::string SqliteDeclaredType(int code, int precision, int scale) {
  const ColumnTypeInfo& info = ColumnTypeOf(code);
  (void)precision;
  (void)scale;
  return info.sqlite_type;
}

}  // namespace mendora
