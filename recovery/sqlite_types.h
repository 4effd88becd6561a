// How Jet column types are declared in SQLite and how the reader's value
// texts become SQLite values.
//
// Currency and Numeric columns are declared DECIMAL_BLOB(p,s). The BLOB in the
// name gives the column no affinity: a DECIMAL or NUMERIC column would turn
// "922337203685477.5807" into the REAL 922337203685478.0, since SQLite keeps
// only 15 significant digits of a text it converts. With no affinity the
// binding decides: a value a number holds exactly is stored as INTEGER or
// REAL, any other value as its exact text.
#ifndef MENDORA_RECOVERY_SQLITE_TYPES_H_
#define MENDORA_RECOVERY_SQLITE_TYPES_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "recovery/target_engine.h"

namespace mendora {

// The SQLite column type for a Jet column; unknown keywords become TEXT so
// that no value is ever refused or changed for want of a type.
std::string DeclaredType(const SchemaStatement& statement);

// How a value text is turned into a value for a column's declared type.
enum class ValueKind {
  kBoolean,       // "0"/"1" (also "-1", "true", "false") as INTEGER 0/1
  kInteger,       // decimal integer text as INTEGER
  kExactDecimal,  // INTEGER or REAL when exact, else the text itself
  kFloat,         // REAL; "inf"/"nan" stay text as a REAL column keeps them
  kDateTime,      // "MM/DD/YYYY HH:MM:SS" as ISO-8601 text
  kText,          // the text as given
  kBlob,          // the bytes of the text
};

// Kinds for the types DeclaredType makes; any other type takes the text as
// given and leaves it to the column's affinity.
ValueKind KindOfDeclaredType(std::string_view declared_type);

struct BlobBytes {
  std::string bytes;
  bool operator==(const BlobBytes&) const = default;
};

// Null, INTEGER, REAL, TEXT or BLOB.
using FieldValue = std::variant<std::monostate, int64_t, double, std::string, BlobBytes>;

// Throws EngineError when `text` is not a value of `kind`.
FieldValue ConvertValue(ValueKind kind, const std::string& text);

}  // namespace mendora

#endif  // MENDORA_RECOVERY_SQLITE_TYPES_H_
