// How recovered values are stored in a SQLite target.
//
// Integers and booleans as INTEGER, Single and Double as REAL, dates as
// "YYYY-MM-DD HH:MM:SS" text, text as TEXT, binary and OLE data as BLOBs,
// GUIDs as their braced text. Currency and Numeric columns are declared with
// no type (so with no affinity), and each value is stored as an
// INTEGER or REAL where that holds it exactly, else as its exact decimal
// text: a DECIMAL column would turn 922337203685477.5807 into a REAL with
// lost digits.
#ifndef MENDORA_OUTPUT_SQLITE_SQLITE_TYPES_H_
#define MENDORA_OUTPUT_SQLITE_SQLITE_TYPES_H_

#include <cstdint>
#include <string>
#include <variant>

#include "output/sqlite/sqlite_connection.h"
#include "reader/value.h"

namespace mendora {

struct BlobBytes {
  std::string bytes;
  bool operator==(const BlobBytes&) const = default;
};

// Null, INTEGER, REAL, TEXT or BLOB.
using FieldValue = std::variant<std::monostate, int64_t, double, std::string, BlobBytes>;

// What `value` is stored as.
FieldValue StoredValue(const Value& value);

// The type a column of Access type `code` declares ("INTEGER", "TEXT", ...;
// none for Currency and Numeric, whose values must keep every digit).
std::string SqliteDeclaredType(int code, int precision, int scale);

// Binds `value` to parameter `index`. Text made for it is kept in `scratch`,
// which must outlive the statement's next run.
void BindValue(SqliteStatement& statement, int index, const Value& value, std::string& scratch);

}  // namespace mendora

#endif  // MENDORA_OUTPUT_SQLITE_SQLITE_TYPES_H_
