// A recovered table made whole once its rows are in: its primary key,
// indexes, NOT NULL, DEFAULT and AutoNumber, and its properties in the
// table mendora_properties.
//
// The rows come first. A constraint they break (a repeated key, a missing
// value in a required field) is not made: the index is created without
// UNIQUE, the column stays nullable, and the caller is told which
// constraint could not be kept and why, so that no row is ever lost to one.
#ifndef MENDORA_OUTPUT_SQLITE_SQLITE_KEYS_H_
#define MENDORA_OUTPUT_SQLITE_SQLITE_KEYS_H_

#include <optional>
#include <string>
#include <vector>

#include "output/sqlite/sqlite_connection.h"
#include "recovery/recovery_output.h"

namespace mendora {

inline constexpr char kPropertyCatalog[] = "mendora_properties";
// The property under which each column's Access type is kept there.
inline constexpr char kAccessTypeProperty[] = "AccessType";

// The SQLite DEFAULT clause's expression for an Access default value of a
// column of type `type`: constants, strings, True/False, Now() and Date().
// Nothing when SQLite has no equivalent.
std::optional<std::string> SqliteDefault(const std::string& access_expression, int type);

// Whether a table, index, view or trigger of the target is named `name`:
// they share one namespace, without regard to case.
bool NameTaken(SqliteConnection& connection, const std::string& name);

// Completes `table` (as the pass described it) in the target. Returns one
// line per constraint that was not kept, with the reason.
std::vector<std::string> CompleteTable(SqliteConnection& connection, const OutputTable& table);

}  // namespace mendora

#endif  // MENDORA_OUTPUT_SQLITE_SQLITE_KEYS_H_
