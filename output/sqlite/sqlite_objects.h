// The table mendora_objects of the SQLite target: the forms, reports, macros
// and VBA modules of the source, one row each (kind, name, file_name, text,
// data; see OutputObject).
#ifndef MENDORA_OUTPUT_SQLITE_SQLITE_OBJECTS_H_
#define MENDORA_OUTPUT_SQLITE_SQLITE_OBJECTS_H_

#include <string>

#include "output/sqlite/sqlite_connection.h"
#include "recovery/recovery_output.h"

namespace mendora {

// Adds `object` (made the first time).
void KeepAccessObject(SqliteConnection& connection, const OutputObject& object, const std::string& file_name);

}  // namespace mendora

#endif  // MENDORA_OUTPUT_SQLITE_SQLITE_OBJECTS_H_
