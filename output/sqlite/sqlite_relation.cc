// Relations of the target database, written as FOREIGN KEY constraints.
#include "output/sqlite/sqlite_relation.h"

#include <algorithm>
#include <map>

#include "output/sqlite/sqlite_keys.h"
#include "output/sqlite/sqlite_schema.h"
#include "recovery/loss_account.h"

namespace mendora {
namespace {

// The column's name as the table stores it.
std::string StoredColumn(const std::vector<ColumnInfo>& columns, const std::string& table, const std::string& field) {
  for (const ColumnInfo& column : columns) {
    if (SameName(column.name, StoredColumnName(field))) return column.name;
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

// The column list of `sql` with `constraint` (one or more, comma separated)
// added at its end.
std::string ColumnsWith(const TableInfo& table, const std::string& constraint) {
  size_t open = ColumnListStart(table.sql);
  size_t close = table.sql.find_last_not_of(" \t\r\n");
  if (open == std::string::npos || close == std::string::npos || table.sql[close] != ')' || close < open) {
    throw EngineError("cannot create a relation on " + table.name + ": its definition has an unexpected shape");
  }
  return table.sql.substr(open, close - open) + ", " + constraint + ")";
}

std::string UnusedName(SqliteConnection& connection, const std::string& base) {
  if (!NameTaken(connection, base)) return base;
  for (int i = 1;; ++i) {
    std::string name = base + "_" + std::to_string(i);
    if (!NameTaken(connection, name)) return name;
  }
}

// The names as a set, compared the way SQLite compares names.
std::vector<std::string> Lowered(std::vector<std::string> names) {
  for (std::string& name : names) name = LowerName(name);
  std::sort(names.begin(), names.end());
  return names;
}

// Whether `columns` are already the table's primary key or the whole of one
// of its unique indexes, which is what SQLite asks of a referenced key.
bool HasUniqueKey(SqliteConnection& connection, const std::string& table, const std::vector<std::string>& columns) {
  const std::vector<std::string> wanted = Lowered(columns);
  std::vector<std::string> primary;
  auto info = connection.Prepare("SELECT name FROM pragma_table_info(?1) WHERE pk > 0", "cannot read a primary key");
  info.BindText(1, table);
  while (info.Step("cannot read the primary key of " + table)) primary.push_back(info.ColumnText(0));
  if (!primary.empty() && Lowered(primary) == wanted) return true;

  auto indexes = connection.Prepare("SELECT name FROM pragma_index_list(?1) WHERE \"unique\" = 1 AND partial = 0",
                                    "cannot read the indexes of a table");
  indexes.BindText(1, table);
  std::vector<std::string> unique_indexes;
  while (indexes.Step("cannot read the indexes of " + table)) unique_indexes.push_back(indexes.ColumnText(0));
  for (const std::string& index : unique_indexes) {
    auto key = connection.Prepare("SELECT name FROM pragma_index_info(?1)", "cannot read an index");
    key.BindText(1, index);
    std::vector<std::string> indexed;
    while (key.Step("cannot read index " + index)) indexed.push_back(key.ColumnText(0));
    if (Lowered(indexed) == wanted) return true;
  }
  return false;
}

// A foreign key whose referenced columns are not unique is a schema error to
// SQLite: once foreign keys are enforced, every change to either table fails
// with "foreign key mismatch". Jet keeps the primary side of a relation
// unique, so its recovered rows normally take the index.
void EnsureUniqueKey(SqliteConnection& connection, const std::string& relation, const std::string& table,
                     const std::vector<std::string>& columns) {
  if (HasUniqueKey(connection, table, columns)) return;
  std::string base = table;
  std::string list;
  for (const std::string& column : columns) {
    base += "_" + column;
    if (!list.empty()) list += ", ";
    list += QuoteIdentifier(column);
  }
  const std::string index = UnusedName(connection, base + "_key");
  try {
    connection.Exec(
        "CREATE UNIQUE INDEX " + QuoteIdentifier(index) + " ON " + QuoteIdentifier(table) + " (" + list + ")",
        "cannot create relation " + relation);
  } catch (const EngineError& error) {
    throw EngineError("cannot create relation " + relation + ": the fields of " + table +
                      " it refers to are not a key, their values repeat (" + error.what() + ")");
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
    std::string rebuilt = UnusedName(connection, "mendora_rebuild");
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

void SqliteRelationDatabase::CreateRelation(const std::string& name, const std::string& table,
                                            const std::string& foreign_table, int attributes,
                                            const std::vector<RelationField>& fields) {
  if (closed_) throw EngineError("cannot create relation " + name + ": the relations were closed");
  if (!connection_->IsOpen()) throw EngineError("cannot create relation " + name + ": the target is closed");
  if (fields.empty()) throw EngineError("cannot create relation " + name + ": it has no fields");
  const std::optional<std::string> referenced = StoredTable(*connection_, StoredTableName(table));
  if (!referenced) throw EngineError("cannot create relation " + name + ": no table named " + table);
  const std::optional<std::string> referencing = StoredTable(*connection_, StoredTableName(foreign_table));
  if (!referencing) throw EngineError("cannot create relation " + name + ": no table named " + foreign_table);

  Relation relation;
  relation.name = name;
  relation.table = *referencing;
  relation.referenced_table = *referenced;
  relation.attributes = attributes;
  std::vector<ColumnInfo> referenced_columns = TableColumns(*connection_, *referenced);
  std::vector<ColumnInfo> referencing_columns = TableColumns(*connection_, *referencing);
  std::string keys;
  std::string referenced_keys;
  for (const RelationField& field : fields) {
    if (!keys.empty()) {
      keys += ", ";
      referenced_keys += ", ";
    }
    relation.columns.push_back(StoredColumn(referencing_columns, *referencing, field.foreign_field));
    relation.referenced_columns.push_back(StoredColumn(referenced_columns, *referenced, field.field));
    keys += QuoteIdentifier(relation.columns.back());
    referenced_keys += QuoteIdentifier(relation.referenced_columns.back());
  }

  relation.constraint = name.empty() ? "" : "CONSTRAINT " + QuoteIdentifier(name) + " ";
  relation.constraint +=
      "FOREIGN KEY (" + keys + ") REFERENCES " + QuoteIdentifier(*referenced) + " (" + referenced_keys + ")";
  // The rules the source stores.
  if (attributes & kRelationCascadeDeletes) relation.constraint += " ON DELETE CASCADE";
  if (attributes & kRelationCascadeUpdates) relation.constraint += " ON UPDATE CASCADE";

  if (attributes & kRelationNotEnforced) {
    // Access lets rows break it: so must the copy.
    relation.unenforced = "Access does not enforce it";
    relations_.push_back(std::move(relation));
    return;
  }
  const std::string what = "cannot create relation " + name;
  connection_->Exec("SAVEPOINT mendora_key", what);
  try {
    EnsureUniqueKey(*connection_, name, *referenced, relation.referenced_columns);
    connection_->Exec("RELEASE mendora_key", what);
  } catch (const TargetFailed&) {
    connection_->ExecQuietly("ROLLBACK TO mendora_key");
    connection_->ExecQuietly("RELEASE mendora_key");
    throw;
  } catch (const EngineError&) {
    connection_->ExecQuietly("ROLLBACK TO mendora_key");
    connection_->ExecQuietly("RELEASE mendora_key");
    // The rows repeat the fields it refers to: SQLite would call every
    // change of either table a "foreign key mismatch".
    relation.unenforced = "the fields of " + *referenced + " it refers to repeat in the recovered rows";
    relation.loss = true;
  }
  relations_.push_back(std::move(relation));
}

int64_t SqliteRelationDatabase::BrokenRows(const Relation& relation) {
  std::string sql = "SELECT count(*) FROM " + QuoteIdentifier(relation.table) + " AS c WHERE ";
  std::string match;
  for (size_t i = 0; i < relation.columns.size(); ++i) {
    sql += (i == 0 ? "" : " AND ") + std::string("c.") + QuoteIdentifier(relation.columns[i]) + " IS NOT NULL";
    match += (i == 0 ? "" : " AND ") + std::string("p.") + QuoteIdentifier(relation.referenced_columns[i]) + " = c." +
             QuoteIdentifier(relation.columns[i]);
  }
  sql += " AND NOT EXISTS (SELECT 1 FROM " + QuoteIdentifier(relation.referenced_table) + " AS p WHERE " + match + ")";
  auto count = connection_->Prepare(sql, "cannot check relation " + relation.name);
  return count.Step("cannot check relation " + relation.name) ? count.ColumnInt(0) : 0;
}

void SqliteRelationDatabase::ListRelations(const std::vector<Relation>& relations) {
  const std::string what = "cannot list the relations";
  connection_->Exec("CREATE TABLE " + QuoteIdentifier(kRelationCatalog) +
                        " (name TEXT, \"table\" TEXT, columns TEXT, referenced_table TEXT, referenced_columns TEXT,"
                        " on_update TEXT, on_delete TEXT, enforced INTEGER, reason TEXT, broken_rows INTEGER)",
                    what);
  auto insert = connection_->Prepare("INSERT INTO " + QuoteIdentifier(kRelationCatalog) +
                                         " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)",
                                     what);
  auto joined = [](const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
  };
  for (const Relation& relation : relations) {
    insert.BindText(1, relation.name);
    insert.BindText(2, relation.table);
    insert.BindText(3, joined(relation.columns));
    insert.BindText(4, relation.referenced_table);
    insert.BindText(5, joined(relation.referenced_columns));
    insert.BindText(6, relation.attributes & kRelationCascadeUpdates ? "CASCADE" : "NO ACTION");
    insert.BindText(7, relation.attributes & kRelationCascadeDeletes ? "CASCADE" : "NO ACTION");
    insert.BindInt(8, relation.unenforced.empty() ? 1 : 0);
    if (relation.unenforced.empty()) {
      insert.BindNull(9);
    } else {
      insert.BindText(9, relation.unenforced);
    }
    if (relation.broken_rows) {
      insert.BindInt(10, *relation.broken_rows);
    } else {
      insert.BindNull(10);
    }
    insert.Step(what);
    insert.Reset();
  }
}

void SqliteRelationDatabase::Close() {
  closed_ = true;
  std::vector<Relation> relations = std::move(relations_);
  relations_.clear();
  if (relations.empty()) return;
  // Checked once every row is in: a relation the rows break is kept, but
  // as no constraint, so that editing those rows does not fail.
  std::vector<std::pair<std::string, std::vector<Constraint>>> pending;  // by referencing table, in order
  std::string refused;  // "relation (reason)", ...
  // Relations over the same fields of the same tables break the same rows:
  // counted once (a thousand such relations took seconds). Nothing changes
  // the rows before every relation is counted.
  std::map<std::vector<std::string>, int64_t> counted;
  for (Relation& relation : relations) {
    try {
      std::vector<std::string> fields{relation.table, relation.referenced_table};
      fields.insert(fields.end(), relation.columns.begin(), relation.columns.end());
      fields.push_back({});  // between the two lists, which may differ in length only when damaged
      fields.insert(fields.end(), relation.referenced_columns.begin(), relation.referenced_columns.end());
      auto known = counted.find(fields);
      if (known == counted.end()) known = counted.emplace(std::move(fields), BrokenRows(relation)).first;
      relation.broken_rows = known->second;
    } catch (const EngineError& error) {
      // A table gone since the relation was made costs only this relation.
      relation.unenforced = error.what();
      refused += (refused.empty() ? "" : "; ") + relation.name + " (" + error.what() + ")";
      continue;
    }
    const int64_t broken = *relation.broken_rows;
    if (relation.unenforced.empty() && broken > 0) {
      relation.unenforced = std::to_string(broken) + (broken == 1 ? " row" : " rows") + " of " + relation.table +
                            (broken == 1 ? " refers" : " refer") + " to no row of " + relation.referenced_table;
      relation.loss = true;
    }
    if (relation.loss && losses_ != nullptr) {
      losses_->Add(LossEntry{.subject = LossSubject::kRelation,
                             .reason = LossReason::kRowsBreakIt,
                             .table = relation.table,
                             .name = relation.name,
                             .other_table = relation.referenced_table,
                             .count = broken,
                             .detail = relation.unenforced});
    }
    if (!relation.unenforced.empty()) continue;
    auto same_table = [&](const auto& entry) { return entry.first == relation.table; };
    auto entry = std::find_if(pending.begin(), pending.end(), same_table);
    if (entry == pending.end()) entry = pending.insert(pending.end(), {relation.table, {}});
    entry->second.push_back(Constraint{relation.name, relation.constraint});
  }
  auto rebuild = [&](const std::string& table, const std::vector<Constraint>& constraints) {
    auto info = FindTable(*connection_, table);
    if (!info) throw EngineError("no table named " + table);
    std::string all;
    for (const Constraint& constraint : constraints) all += (all.empty() ? "" : ", ") + constraint.text;
    Rebuild(*connection_, *info, ColumnsWith(*info, all));
  };
  for (const auto& [table, constraints] : pending) {
    try {
      rebuild(table, constraints);
      continue;
    } catch (const EngineError&) {
      // One bad relation must not cost the others: each on its own.
    }
    for (const Constraint& constraint : constraints) {
      try {
        rebuild(table, {constraint});
      } catch (const EngineError& error) {
        for (Relation& relation : relations) {
          if (relation.name == constraint.relation && relation.table == table) relation.unenforced = error.what();
        }
        refused += (refused.empty() ? "" : "; ") + constraint.relation + " (" + error.what() + ")";
      }
    }
  }
  ListRelations(relations);
  if (!refused.empty()) throw EngineError("relations not created: " + refused);
}

}  // namespace mendora
