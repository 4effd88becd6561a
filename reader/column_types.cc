// The table of column types.
#include "reader/column_types.h"

#include <cstdio>

namespace mendora {

namespace {

constexpr ColumnTypeInfo kTypes[] = {
    {0x00, "Unknown 0x00", nullptr, "MEMO", ValueKind::kBytes, 0, false},
    {0x01, "Boolean", "boolean", "BIT", ValueKind::kInteger, 0, false},
    {0x02, "Byte", "byte", "BYTE", ValueKind::kInteger, 1, false},
    {0x03, "Integer", "integer", "INT", ValueKind::kInteger, 2, false},
    {0x04, "Long Integer", "long", "LONG", ValueKind::kInteger, 4, false},
    {0x05, "Currency", "currency", "CURRENCY", ValueKind::kCurrency, 8, false},
    {0x06, "Single", "float", "SINGLE", ValueKind::kSingle, 4, false},
    {0x07, "Double", "double", "DOUBLE", ValueKind::kDouble, 8, false},
    {0x08, "DateTime (Short)", "datetime", "DATE", ValueKind::kDateTime, 8, false},
    {0x09, "Unknown 0x09", "binary", "BINARY", ValueKind::kBytes, 0, false},
    {0x0A, "Text", "text", "TEXT", ValueKind::kText, 0, false},
    {0x0B, "OLE", "ole", "OLEOBJECT", ValueKind::kBytes, 0, true},
    {0x0C, "Memo/Hyperlink", "memo", "MEMO", ValueKind::kText, 0, true},
    {0x0D, "Unknown 0x0d", nullptr, "MEMO", ValueKind::kBytes, 0, false},
    {0x0E, "Unknown 0x0e", nullptr, "MEMO", ValueKind::kBytes, 0, false},
    {0x0F, "Replication ID", "repid", "REPID", ValueKind::kGuid, 16, false},
    {0x10, "Numeric", "numeric", "DECIMAL", ValueKind::kDecimal, 17, false},
    {0x11, "Unknown 0x11", nullptr, "MEMO", ValueKind::kBytes, 0, false},
    // A complex column's key to its hidden table; the pass replaces it by
    // the entries.
    {0x12, "Complex", "complex", "LONG", ValueKind::kText, 0, false},
    {0x13, "Big Integer", "bigint", "BIGINT", ValueKind::kInteger, 8, false},
    {0x14, "DateTime (Extended)", "datetimextended", "DATETIME2", ValueKind::kExtendedDateTime, 0, false},
};

constexpr ColumnTypeInfo kUnknownType = {-1, nullptr, nullptr, "MEMO", ValueKind::kBytes, 0, false};

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

}  // namespace mendora
