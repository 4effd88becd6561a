// Relations of the target database, written as FOREIGN KEY constraints.
#include "recovery/sqlite_relation.h"

#include <filesystem>

#include "recovery/sqlite_schema.h"

namespace mendora {
namespace {

bool SamePath(const std::string& a, const std::string& b) {
  if (a == b) return true;
  std::error_code error_a;
  std::error_code error_b;
  auto canonical_a = std::filesystem::weakly_canonical(a, error_a);
  auto canonical_b = std::filesystem::weakly_canonical(b, error_b);
  return !error_a && !error_b && canonical_a == canonical_b;
}

// The column's name as the table stores it.
std::string StoredColumn(const std::vector<ColumnInfo>& columns, const std::string& table, const std::string& field) {
  for (const ColumnInfo& column : columns) {
    if (SameName(column.name, field)) return column.name;
  }
  throw EngineError("cannot create a relation: table " + table + " has no field named " + field);
}

// The first "(" outside a quoted name opens the column list of a stored
// CREATE TABLE.
size_t ColumnListStart(const std::string& sql) {
  char closing = 0;
  for (size_t i = 0; i < sql.size(); ++i) {
    char c = sql[i];
    if (closing != 0) {
      if (c == closing) closing = 0;  // a doubled quote reopens at once
    } else if (c == '"' || c == '\'' || c == '`') {
      closing = c;
    } else if (c == '[') {
      closing = ']';
    } else if (c == '(') {
      return i;
    }
  }
  return std::string::npos;
}

// The column list of `sql` with `constraint` added as its last entry.
std::string ColumnsWith(const TableInfo& table, const std::string& constraint) {
  size_t open = ColumnListStart(table.sql);
  size_t close = table.sql.find_last_not_of(" \t\r\n");
  if (open == std::string::npos || close == std::string::npos || table.sql[close] != ')' || close < open) {
    throw EngineError("cannot create a relation on " + table.name + ": its definition has an unexpected shape");
  }
  return table.sql.substr(open, close - open) + ", " + constraint + ")";
}

std::string UnusedTableName(SqliteConnection& connection) {
  for (int i = 0;; ++i) {
    std::string name = "mendora_rebuild_" + std::to_string(i);
    if (!FindTable(connection, name)) return name;
  }
}

std::vector<std::string> DependentObjects(SqliteConnection& connection, const std::string& table) {
  auto stmt = connection.Prepare(
      "SELECT sql FROM sqlite_schema WHERE tbl_name = ?1 AND type IN ('index', 'trigger') AND sql IS NOT NULL",
      "cannot read the indexes of a table");
  stmt.BindText(1, table);
  std::vector<std::string> sql;
  while (stmt.Step("cannot read the indexes of " + table)) sql.push_back(stmt.ColumnText(0));
  return sql;
}

// Replaces `table` by a copy whose definition has `columns` as its column
// list, keeping its rows, indexes and triggers. Either all of it happens or,
// on an error, none.
void Rebuild(SqliteConnection& connection, const TableInfo& table, const std::string& columns) {
  const std::string what = "cannot rebuild table " + table.name + " with its relation";
  connection.Exec("SAVEPOINT mendora_relation", what);
  try {
    std::vector<std::string> dependents = DependentObjects(connection, table.name);
    std::string rebuilt = UnusedTableName(connection);
    connection.Exec("CREATE TABLE " + QuoteIdentifier(rebuilt) + " " + columns, what);
    connection.Exec("INSERT INTO " + QuoteIdentifier(rebuilt) + " SELECT * FROM " + QuoteIdentifier(table.name), what);
    connection.Exec("DROP TABLE " + QuoteIdentifier(table.name), what);
    // The legacy rename leaves views and other tables' constraints that name
    // the table alone: they name it again once the rename is done, and the
    // modern rename would refuse a view that names a table missing meanwhile.
    connection.Exec("PRAGMA legacy_alter_table = ON", what);
    connection.Exec("ALTER TABLE " + QuoteIdentifier(rebuilt) + " RENAME TO " + QuoteIdentifier(table.name), what);
    connection.Exec("PRAGMA legacy_alter_table = OFF", what);
    for (const std::string& sql : dependents) connection.Exec(sql, what);
    connection.Exec("RELEASE mendora_relation", what);
  } catch (...) {
    connection.ExecQuietly("PRAGMA legacy_alter_table = OFF");
    connection.ExecQuietly("ROLLBACK TO mendora_relation");
    connection.ExecQuietly("RELEASE mendora_relation");
    throw;
  }
}

}  // namespace

void SqliteRelationDatabase::Open(const std::string& path, bool /*exclusive*/, bool read_only,
                                  const std::string& /*connect*/) {
  if (!connection_->IsOpen()) throw EngineError("cannot open " + path + " for relations: the target is closed");
  if (!SamePath(path, target_path_)) {
    throw EngineError("cannot open " + path + " for relations: only the target " + target_path_ + " can be");
  }
  if (read_only) throw EngineError("cannot open " + path + " read-only for relations: they are written to it");
  open_ = true;
}

void SqliteRelationDatabase::CreateRelation(const std::string& name, const std::string& table,
                                            const std::string& foreign_table, int attributes,
                                            const std::vector<RelationField>& fields) {
  if (!open_) throw EngineError("cannot create relation " + name + ": the relation database is not open");
  if (fields.empty()) throw EngineError("cannot create relation " + name + ": it has no fields");
  auto referenced = FindTable(*connection_, table);
  if (!referenced) throw EngineError("cannot create relation " + name + ": no table named " + table);
  auto referencing = FindTable(*connection_, foreign_table);
  if (!referencing) throw EngineError("cannot create relation " + name + ": no table named " + foreign_table);

  std::vector<ColumnInfo> referenced_columns = TableColumns(*connection_, referenced->name);
  std::vector<ColumnInfo> referencing_columns = TableColumns(*connection_, referencing->name);
  std::string keys;
  std::string referenced_keys;
  for (const RelationField& field : fields) {
    if (!keys.empty()) {
      keys += ", ";
      referenced_keys += ", ";
    }
    keys += QuoteIdentifier(StoredColumn(referencing_columns, referencing->name, field.foreign_field));
    referenced_keys += QuoteIdentifier(StoredColumn(referenced_columns, referenced->name, field.field));
  }

  std::string constraint = name.empty() ? "" : "CONSTRAINT " + QuoteIdentifier(name) + " ";
  constraint +=
      "FOREIGN KEY (" + keys + ") REFERENCES " + QuoteIdentifier(referenced->name) + " (" + referenced_keys + ")";
  if (attributes & kRelationDeleteCascade) constraint += " ON DELETE CASCADE";
  if (attributes & kRelationUpdateCascade) constraint += " ON UPDATE CASCADE";

  Rebuild(*connection_, *referencing, ColumnsWith(*referencing, constraint));
}

}  // namespace mendora
