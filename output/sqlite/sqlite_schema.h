// Naming and looking up tables and columns of the target database.
//
// Every name that reaches SQL text goes through QuoteIdentifier; lookups bind
// names as parameters, so a recovered name can never become a statement.
#ifndef MENDORA_OUTPUT_SQLITE_SQLITE_SCHEMA_H_
#define MENDORA_OUTPUT_SQLITE_SQLITE_SCHEMA_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "output/sqlite/sqlite_connection.h"

namespace mendora {

// "name" with embedded quotes doubled. Throws for a name holding a NUL byte,
// which SQL text cannot carry.
std::string QuoteIdentifier(std::string_view name);

// SQLite compares names without regard to ASCII case, and so does Jet.
bool SameName(std::string_view a, std::string_view b);
// `name` with ASCII letters in lower case: a key under which names that
// SameName calls equal meet.
std::string LowerName(std::string_view name);

// The name a recovered table is kept under. SQLite reserves names that start
// with "sqlite_" and the query catalog is this engine's own; such a table
// gets a leading underscore rather than being refused. A NUL byte, which SQL
// text cannot carry, is kept as U+2400 (SYMBOL FOR NULL), as in
// StoredColumnName.
std::string StoredTableName(std::string_view name);
// The name a recovered column is kept under: its own, with NUL as U+2400.
std::string StoredColumnName(std::string_view name);

struct TableInfo {
  std::string name;  // as stored, which may differ in case from the lookup
  std::string sql;   // its CREATE TABLE text
};

// Reads the table's row of sqlite_schema: a scan of every row, so for its
// name alone StoredTable is cheaper.
std::optional<TableInfo> FindTable(SqliteConnection& connection, const std::string& table);

// The name of the table of `table`'s name as stored, which may differ in
// case; nothing when there is none. Found by SQLite's lookup in memory,
// without the scan of sqlite_schema that FindTable costs: once per table
// saved, that scan made a save of many tables quadratic in their number.
std::optional<std::string> StoredTable(SqliteConnection& connection, const std::string& table);

struct ColumnInfo {
  std::string name;
  std::string declared_type;
};

// Empty when the table does not exist.
std::vector<ColumnInfo> TableColumns(SqliteConnection& connection, const std::string& table);

}  // namespace mendora

#endif  // MENDORA_OUTPUT_SQLITE_SQLITE_SCHEMA_H_
