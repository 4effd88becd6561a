// The column types of a table definition, keyed by their stored type code.
//
// Everything the reader knows of a column's type reads it from here: its
// display and dump names, its Jet SQL keyword, the kind of Value its decoder
// produces and the size of a fixed value. A new type is one entry here plus
// its decoder (reader/fixed_values.cc for a fixed size, else
// RowCursor::DecodeField), for a new kind its renderer, and the type each
// target declares (output/sqlite/sqlite_types.cc, output/sql/sql_export.cc).
#ifndef MENDORA_READER_COLUMN_TYPES_H_
#define MENDORA_READER_COLUMN_TYPES_H_

#include <cstdint>
#include <string>

#include "reader/value.h"

namespace mendora {

enum ColumnType : int {
  kColumnUnknown00 = 0x00,
  kColumnBoolean = 0x01,
  kColumnByte = 0x02,
  kColumnInteger = 0x03,
  kColumnLongInteger = 0x04,
  kColumnCurrency = 0x05,
  kColumnSingle = 0x06,
  kColumnDouble = 0x07,
  kColumnDateTime = 0x08,
  kColumnBinary = 0x09,
  kColumnText = 0x0A,
  kColumnOle = 0x0B,
  kColumnMemo = 0x0C,
  kColumnUnknown0D = 0x0D,
  kColumnUnknown0E = 0x0E,
  kColumnReplicationId = 0x0F,
  kColumnNumeric = 0x10,
  kColumnUnknown11 = 0x11,
  // Access 2007 and later.
  kColumnComplex = 0x12,
  kColumnBigInt = 0x13,
  kColumnExtendedDateTime = 0x14,
};

struct ColumnTypeInfo {
  int code;
  const char* name;          // "Long Integer", as the log and the catalog show it
  const char* dump_name;     // "long", as the JSON dump names it; null: the display name
  const char* keyword;       // Jet SQL: "LONG", "TEXT", ...; Numeric adds "(p,s)"
  ValueKind kind;            // what its decoder produces
  int fixed_size;            // bytes DecodeFixed reads; 0: not one of its types
  bool long_value;           // stored as a long-value reference (memo, OLE)
};

// The entry for `code`; an unknown code gets an entry that keeps its bytes.
const ColumnTypeInfo& ColumnTypeOf(int code);

// Whether the reader has a decoder of its own for `code`; other types are
// kept as their stored bytes.
bool IsKnownColumnType(int code);

// "Text", "Unknown 0x09", ...
std::string ColumnTypeName(int code);
// "text", "long", ...: the dump's type names.
std::string DumpTypeName(int code);
// The Jet SQL keyword of a column ("COUNTER", "TEXT", "DECIMAL(10,2)", ...):
// a Long Integer stored first in its table is the AutoNumber counter.
std::string TypeKeyword(int code, int column_number, int precision, int scale);

}  // namespace mendora

#endif  // MENDORA_READER_COLUMN_TYPES_H_
