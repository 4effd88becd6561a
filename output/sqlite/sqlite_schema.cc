// Naming and looking up tables and columns of the target database.
#include "output/sqlite/sqlite_schema.h"

#include "output/sqlite/sqlite_losses.h"

#include "output/sqlite/sqlite_querydef.h"

namespace mendora {

std::string QuoteIdentifier(std::string_view name) {
  if (name.find('\0') != std::string_view::npos) throw EngineError("a name holds a NUL character");
  std::string quoted = "\"";
  for (char c : name) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string LowerName(std::string_view name) {
  std::string out(name);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string StoredColumnName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (const char c : name) out += c == '\0' ? std::string_view("\xE2\x90\x80") : std::string_view(&c, 1);
  return out;
}

std::string StoredTableName(std::string_view recovered) {
  const std::string name = StoredColumnName(recovered);
  const bool reserved =
      (name.size() >= 7 && SameName(std::string_view(name).substr(0, 7), "sqlite_")) || SameName(name, kQueryCatalog) ||
      SameName(name, "mendora_properties") || SameName(name, "mendora_ole") ||
      SameName(name, kLossTable) || SameName(name, "mendora_relations") || SameName(name, "mendora_objects");
  return reserved ? "_" + name : name;
}

std::optional<TableInfo> FindTable(SqliteConnection& connection, const std::string& table) {
  auto stmt =
      connection.Prepare("SELECT name, sql FROM sqlite_schema WHERE type = 'table' AND name = ?1 COLLATE NOCASE",
                         "cannot look up a table");
  stmt.BindText(1, table);
  if (!stmt.Step("cannot look up table " + table)) return std::nullopt;
  return TableInfo{stmt.ColumnText(0), stmt.ColumnText(1)};
}

std::optional<std::string> StoredTable(SqliteConnection& connection, const std::string& table) {
#ifdef MENDORA_SQLITE_COLUMN_METADATA
  // SQLite's own tables are found in memory but have no row in its schema.
  if (table.size() < 7 || !SameName(std::string_view(table).substr(0, 7), "sqlite_")) {
    sqlite3* db = connection.Handle();
    const std::string sql = "SELECT * FROM main." + QuoteIdentifier(table);
    sqlite3_stmt* stmt = nullptr;
    const int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt, nullptr);
    if (rc == SQLITE_OK && stmt != nullptr) {
      // The first column's origin is the table itself; a view's is a table
      // of another name, or none.
      const char* origin = sqlite3_column_count(stmt) > 0 ? sqlite3_column_table_name(stmt, 0) : nullptr;
      const char* database = sqlite3_column_count(stmt) > 0 ? sqlite3_column_database_name(stmt, 0) : nullptr;
      std::optional<std::string> name;
      if (origin != nullptr && database != nullptr && SameName(origin, table) && std::string_view(database) == "main") {
        name = origin;
      }
      sqlite3_finalize(stmt);
      if (name || origin != nullptr) return name;
    } else {
      sqlite3_finalize(stmt);
      if (rc == SQLITE_ERROR && std::string(sqlite3_errmsg(db)) == "no such table: main." + table) return std::nullopt;
    }
  }
#endif
  // Whatever the lookup in memory cannot tell, the schema's rows do.
  if (std::optional<TableInfo> found = FindTable(connection, table)) return std::move(found->name);
  return std::nullopt;
}

std::vector<ColumnInfo> TableColumns(SqliteConnection& connection, const std::string& table) {
  auto stmt = connection.Prepare("SELECT name, type FROM pragma_table_info(?1)", "cannot read table columns");
  stmt.BindText(1, table);
  std::vector<ColumnInfo> columns;
  while (stmt.Step("cannot read the columns of " + table)) columns.push_back({stmt.ColumnText(0), stmt.ColumnText(1)});
  return columns;
}

}  // namespace mendora
