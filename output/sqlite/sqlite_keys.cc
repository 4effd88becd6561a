// Keys, indexes, column constraints and properties of a recovered table.
#include "output/sqlite/sqlite_keys.h"

#include <cctype>
#include <map>

#include "output/sqlite/sqlite_schema.h"
#include "output/sqlite/sqlite_types.h"
#include "reader/column_types.h"
#include "reader/text_codec.h"

namespace mendora {

namespace {

std::string Trimmed(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(begin, end - begin);
}

bool IsNumber(const std::string& text) {
  size_t i = text.empty() || (text[0] != '-' && text[0] != '+') ? 0 : 1;
  bool digits = false;
  bool point = false;
  for (; i < text.size(); ++i) {
    if (std::isdigit(static_cast<unsigned char>(text[i]))) {
      digits = true;
    } else if (text[i] == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  return digits;
}

std::string SqlString(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out += '\'';
    out += c;
  }
  return out + "'";
}

// A string literal as Access writes it ("..." or '...', the quote doubled
// inside), or nothing.
std::optional<std::string> AccessString(const std::string& text) {
  if (text.size() < 2 || (text[0] != '"' && text[0] != '\'') || text.back() != text[0]) return std::nullopt;
  const char quote = text[0];
  std::string out;
  for (size_t i = 1; i + 1 < text.size(); ++i) {
    if (text[i] == quote) {
      if (i + 2 < text.size() && text[i + 1] == quote) {
        out += quote;
        ++i;
        continue;
      }
      return std::nullopt;  // two strings joined by something
    }
    out += text[i];
  }
  return out;
}


struct Checked {
  bool ok = true;
  std::string why;
};

int64_t CountOf(SqliteConnection& connection, const std::string& sql, const std::string& what) {
  auto statement = connection.Prepare(sql, what);
  return statement.Step(what) ? statement.ColumnInt(0) : 0;
}

std::string ColumnList(const std::vector<OutputIndexColumn>& columns, bool with_order) {
  std::string list;
  for (const OutputIndexColumn& column : columns) {
    if (!list.empty()) list += ", ";
    list += QuoteIdentifier(column.name);
    if (with_order && column.descending) list += " DESC";
  }
  return list;
}

std::string Names(const std::vector<OutputIndexColumn>& columns) {
  std::string list;
  for (const OutputIndexColumn& column : columns) list += (list.empty() ? "" : ", ") + column.name;
  return list;
}

// Whether rows break a unique key over `columns`, and how. Rows with a null
// in the key repeat nothing (SQLite keeps them apart), but a primary key
// takes no nulls at all.
Checked CheckUnique(SqliteConnection& connection, const std::string& table, const std::vector<OutputIndexColumn>& columns,
                    bool primary) {
  const std::string what = "cannot check the key of " + table;
  std::string any_null;
  for (const OutputIndexColumn& column : columns) {
    any_null += (any_null.empty() ? "" : " OR ") + QuoteIdentifier(column.name) + " IS NULL";
  }
  if (primary) {
    const int64_t nulls = CountOf(connection, "SELECT count(*) FROM " + QuoteIdentifier(table) + " WHERE " + any_null, what);
    if (nulls > 0) return {false, std::to_string(nulls) + " rows have no value in (" + Names(columns) + ")"};
  }
  const int64_t repeated = CountOf(connection,
                                   "SELECT count(*) FROM (SELECT 1 FROM " + QuoteIdentifier(table) + " WHERE NOT (" +
                                       any_null + ") GROUP BY " + ColumnList(columns, false) + " HAVING count(*) > 1)",
                                   what);
  if (repeated > 0) return {false, std::to_string(repeated) + " values of (" + Names(columns) + ") repeat"};
  return {};
}

// Index names are per table in Access and per database in SQLite: the
// Access name where it is free, else the table's name before it.
std::string FreeName(SqliteConnection& connection, const std::string& table, const std::string& name) {
  if (!NameTaken(connection, name)) return name;
  const std::string base = table + "_" + name;
  if (!NameTaken(connection, base)) return base;
  for (int i = 2;; ++i) {
    const std::string candidate = base + "_" + std::to_string(i);
    if (!NameTaken(connection, candidate)) return candidate;
  }
}

// Tables of up to this many rows are rebuilt by a copy aside and back.
constexpr int64_t kRowsCopiedAside = 20000;

constexpr char kGuidExpression[] =
    "(SELECT '{' || substr(h, 1, 8) || '-' || substr(h, 9, 4) || '-' || substr(h, 13, 4) || '-' || "
    "substr(h, 17, 4) || '-' || substr(h, 21, 12) || '}' FROM (SELECT upper(hex(randomblob(16))) AS h))";

// The Access type of a column as Access's DDL names it ("COUNTER",
// "TEXT(50)", "CURRENCY", "DECIMAL(18,4)"...): the target's declared types
// say less than that.
std::string AccessType(const OutputColumn& column) {
  if (column.autonumber) return "COUNTER";
  if (column.guid_autonumber) return "GUID AUTONUMBER";
  if (column.type == kColumnText && column.text_length > 0) return "TEXT(" + std::to_string(column.text_length) + ")";
  return TypeKeyword(column.type, 1, column.precision, column.scale);
}

void StoreProperties(SqliteConnection& connection, const std::string& table, const OutputTable& described) {
  const std::string what = "cannot store the properties of " + table;
  connection.Exec("CREATE TABLE IF NOT EXISTS " + QuoteIdentifier(kPropertyCatalog) +
                      " (\"object\" TEXT NOT NULL, \"column\" TEXT, \"property\" TEXT NOT NULL, \"value\")",
                  what);
  auto insert = connection.Prepare("INSERT INTO " + QuoteIdentifier(kPropertyCatalog) +
                                       " (\"object\", \"column\", \"property\", \"value\") VALUES (?1, ?2, ?3, ?4)",
                                   what);
  std::string scratch;
  for (const OutputColumn& column : described.columns) {
    insert.Reset();
    insert.BindText(1, table);
    insert.BindText(2, column.name);
    insert.BindText(3, kAccessTypeProperty);
    insert.BindText(4, AccessType(column));
    insert.Step(what);
  }
  for (const OutputProperty& property : described.properties) {
    insert.Reset();
    insert.BindText(1, table);
    if (!property.column.empty()) insert.BindText(2, property.column);
    insert.BindText(3, property.name);
    BindValue(insert, 4, property.value, scratch);
    insert.Step(what);
  }
}

}  // namespace

namespace {

// Whether `name` is taken, as far as SQLite's lookups in memory tell: they
// read no page of the schema, which grows with every table saved. Nothing
// when they cannot tell.
std::optional<bool> TakenInMemory(SqliteConnection& connection, const std::string& name) {
  // SQLite's own tables are found, but are no rows of its schema.
  if (connection.MayBeTrigger(name) || (name.size() >= 7 && SameName(name.substr(0, 7), "sqlite_"))) return std::nullopt;
  try {
    sqlite3* db = connection.Handle();
    const std::string sql = "SELECT 1 FROM main." + QuoteIdentifier(name);
    sqlite3_stmt* table = nullptr;
    const int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &table, nullptr);
    sqlite3_finalize(table);
    if (rc == SQLITE_OK) return true;
    // A view that reads a table that is gone is refused too, naming that.
    if (rc != SQLITE_ERROR || std::string(sqlite3_errmsg(db)) != "no such table: main." + name) return std::nullopt;
    auto index = connection.Prepare("SELECT 1 FROM pragma_index_info(?1, 'main')", "cannot look up an index");
    index.BindText(1, name);
    return index.Step("cannot look up index " + name);
  } catch (const EngineError&) {
    return std::nullopt;
  }
}

}  // namespace

bool NameTaken(SqliteConnection& connection, const std::string& name) {
  if (const std::optional<bool> taken = TakenInMemory(connection, name)) return *taken;
  auto statement = connection.Prepare("SELECT 1 FROM sqlite_schema WHERE name = ?1 COLLATE NOCASE", "cannot look up a name");
  statement.BindText(1, name);
  return statement.Step("cannot look up name " + name);
}

std::optional<std::string> SqliteDefault(const std::string& access_expression, int type) {
  std::string text = Trimmed(access_expression);
  if (!text.empty() && text[0] == '=') text = Trimmed(text.substr(1));
  if (text.empty()) return std::nullopt;
  const std::string lower = AsciiLower(text);
  if (lower == "now()") return "CURRENT_TIMESTAMP";
  if (lower == "date()") return "CURRENT_DATE";
  if (lower == "time()") return "CURRENT_TIME";
  if (lower == "true" || lower == "yes" || lower == "on") return type == kColumnBoolean ? "1" : "-1";
  if (lower == "false" || lower == "no" || lower == "off") return "0";
  if (lower == "null") return "NULL";
  if (IsNumber(text)) {
    // A number in a text column is text there, as Access stores it.
    if (type == kColumnText || type == kColumnMemo) return SqlString(text);
    return text[0] == '+' ? text.substr(1) : text;
  }
  if (const std::optional<std::string> string = AccessString(text)) return SqlString(*string);
  return std::nullopt;
}

namespace {

// The work of completing one table, phase by phase; every phase adds to
// `lost` what it could not keep.
class TableCompletion {
 public:
  // With `planning`, the rows are taken to keep every constraint and
  // nothing is read or changed: only the definition is made.
  TableCompletion(SqliteConnection& connection, const OutputTable& described, const std::string& name,
                  std::vector<ColumnInfo> stored, bool planning = false)
      : connection_(connection),
        described_(described),
        name_(name),
        quoted_(QuoteIdentifier(name)),
        stored_(std::move(stored)),
        what_("cannot complete table " + name),
        planning_(planning) {}

  // The column list the rows allow, and whether it differs from the plain
  // one the table was created with.
  std::pair<std::string, bool> Definition() {
    ChoosePrimaryKey();
    std::string definition = DefineColumns();
    return {std::move(definition), changed_ && !stored_.empty()};
  }

  // Whether the table needs no rebuild: it was created with `planned`, and
  // the rows allow just that. Then it is completed; else nothing is changed
  // and the caller completes the table the long way.
  std::optional<std::vector<std::string>> RunAsPlanned(const std::string& planned) {
    connection_.Exec("SAVEPOINT mendora_keys", what_);
    try {
      const auto [definition, changed] = Definition();
      if (!changed || definition != planned) {
        connection_.Exec("RELEASE mendora_keys", what_);
        return std::nullopt;
      }
      AddCounterTriggers();
      AddRequiredTriggers();
      AddIndexes();
      StoreProperties(connection_, name_, described_);
      connection_.Exec("RELEASE mendora_keys", what_);
    } catch (const EngineError&) {
      // The long way meets the same refusal and tells it as it always has.
      connection_.ExecQuietly("ROLLBACK TO mendora_keys");
      connection_.ExecQuietly("RELEASE mendora_keys");
      return std::nullopt;
    }
    return std::move(lost_);
  }

  // The column of the AutoNumber key its definition makes the row id, or -1.
  int RowIdColumn() const {
    for (size_t i = 0; integer_key_ != nullptr && i < stored_.size(); ++i) {
      if (SameName(stored_[i].name, integer_key_->name)) return static_cast<int>(i);
    }
    return -1;
  }

  std::vector<std::string> Run() {
    connection_.Exec("SAVEPOINT mendora_keys", what_);
    try {
      ChoosePrimaryKey();
      const std::string definition = DefineColumns();
      if (changed_ && !stored_.empty()) Rebuild(definition);
      AddCounterTriggers();
      AddRequiredTriggers();
      AddIndexes();
      StoreProperties(connection_, name_, described_);
      connection_.Exec("RELEASE mendora_keys", what_);
    } catch (const EngineError& error) {
      connection_.ExecQuietly("ROLLBACK TO mendora_keys");
      connection_.ExecQuietly("RELEASE mendora_keys");
      lost_.push_back("Table " + name_ + ": its keys, indexes and column constraints were not kept: " + error.what());
    }
    return std::move(lost_);
  }

 private:
  const ColumnInfo* StoredColumn(const std::string& column) const {
    for (const ColumnInfo& info : stored_) {
      if (SameName(info.name, column)) return &info;
    }
    return nullptr;
  }

  bool HasColumns(const OutputIndex& index) const {
    for (const OutputIndexColumn& column : index.columns) {
      if (StoredColumn(column.name) == nullptr) return false;
    }
    return !index.columns.empty();
  }

  // The primary key, when the rows allow it, and the AutoNumber column that
  // can be the row id when it is the key alone.
  void ChoosePrimaryKey() {
    for (const OutputIndex& index : described_.indexes) {
      if (index.primary && primary_ == nullptr) primary_ = &index;
    }
    if (primary_ != nullptr) {
      if (!HasColumns(*primary_)) {
        lost_.push_back("Table " + name_ + ": primary key " + primary_->name +
                        " was not kept: a field of it was not created");
      } else {
        const Checked check = planning_ ? Checked{} : CheckUnique(connection_, name_, primary_->columns, true);
        keep_primary_ = check.ok;
        if (!check.ok) {
          lost_.push_back("Table " + name_ + ": primary key " + primary_->name +
                          " was not kept, its index is not unique: " + check.why);
        }
      }
    }
    if (keep_primary_ && primary_->columns.size() == 1) {
      for (const OutputColumn& column : described_.columns) {
        const ColumnInfo* info = StoredColumn(column.name);
        if (SameName(column.name, primary_->columns[0].name) && column.autonumber && info != nullptr &&
            AsciiLower(info->declared_type) == "integer") {
          integer_key_ = &column;
        }
      }
    }
    changed_ = keep_primary_;
  }

  // Each column's definition with what the rows allow: the table's new
  // column list.
  std::string DefineColumns() {
    std::string definition;
    for (const ColumnInfo& info : stored_) {
      const OutputColumn* column = nullptr;
      for (const OutputColumn& candidate : described_.columns) {
        if (SameName(candidate.name, info.name)) column = &candidate;
      }
      std::string type = info.declared_type;
      std::string constraints;
      if (column != nullptr && column == integer_key_) {
        constraints += " PRIMARY KEY";
      } else if (keep_primary_ && primary_->columns.size() == 1 && SameName(primary_->columns[0].name, info.name) &&
                 AsciiLower(type) == "integer") {
        // An INTEGER key would become the row id and number new rows itself,
        // which only an AutoNumber does.
        type = "INT";
      }
      bool required = column != nullptr && column->required;
      if (keep_primary_) {
        for (const OutputIndexColumn& key : primary_->columns) required = required || SameName(key.name, info.name);
      }
      // A counter its trigger fills is empty when the row goes in: NOT NULL
      // would refuse every new row before the trigger could number it.
      const bool numbered_by_trigger =
          column != nullptr && column != integer_key_ && (column->autonumber || column->guid_autonumber);
      if (required && column != integer_key_ && !numbered_by_trigger) {
        const int64_t nulls =
            planning_ ? 0
                      : CountOf(connection_,
                                "SELECT count(*) FROM " + quoted_ + " WHERE " + QuoteIdentifier(info.name) + " IS NULL",
                                what_);
        if (nulls == 0) {
          constraints += " NOT NULL";
          changed_ = true;
        } else if (column != nullptr && column->required) {
          // Access too keeps the rows that were there before the field was
          // made required, and asks a value of every row written since.
          required_by_trigger_.push_back(info.name);
        }
      }
      if (column != nullptr && !column->default_value.empty()) {
        if (const std::optional<std::string> value = SqliteDefault(column->default_value, column->type)) {
          constraints += " DEFAULT (" + *value + ")";
          changed_ = true;
        } else if (!column->guid_autonumber) {
          lost_.push_back("Table " + name_ + ": column " + info.name + ": default value " + column->default_value +
                          " was not kept: SQLite has no such expression");
        }
      }
      if (column != nullptr && column != integer_key_ && (column->autonumber || column->guid_autonumber)) {
        counters_.push_back(column);
      }
      if (!definition.empty()) definition += ", ";
      definition += QuoteIdentifier(info.name) + " " + type + constraints;
    }
    if (keep_primary_ && integer_key_ == nullptr) {
      definition += ", PRIMARY KEY (" + ColumnList(primary_->columns, true) + ")";
    }
    return definition;
  }

  // The table made again with its constraints: the rows are copied in their
  // order, so row ids stay as they were unless an AutoNumber key becomes the
  // id. A rename makes SQLite read its whole schema again, which made a save
  // of a thousand tables take half a minute: a table of few rows is copied
  // aside and back under its own name instead.
  void Rebuild(const std::string& definition) {
    const bool copied_aside =
        !SameName(name_, "mendora_copy") &&
        CountOf(connection_, "SELECT ifnull(max(rowid), 0) FROM " + quoted_, what_) <= kRowsCopiedAside;
    const std::string rebuilt =
        copied_aside ? std::string("mendora_copy") : FreeName(connection_, name_, "mendora_rebuild");
    std::string list;
    for (const ColumnInfo& info : stored_) list += (list.empty() ? "" : ", ") + QuoteIdentifier(info.name);
    if (copied_aside) {
      connection_.Exec(
          "CREATE TEMP TABLE \"mendora_copy\" AS SELECT rowid AS \"mendora_row\", " + list + " FROM " + quoted_, what_);
    } else {
      connection_.Exec("CREATE TABLE " + QuoteIdentifier(rebuilt) + " (" + definition + ")", what_);
      connection_.Exec("INSERT INTO " + QuoteIdentifier(rebuilt) + " (" + list + ") SELECT " + list + " FROM " +
                           quoted_ + " ORDER BY rowid",
                       what_);
    }
    if (integer_key_ != nullptr) RenumberRowReferences();
    connection_.Exec("DROP TABLE " + quoted_, what_);
    if (copied_aside) {
      connection_.Exec("CREATE TABLE " + quoted_ + " (" + definition + ")", what_);
      connection_.Exec("INSERT INTO " + quoted_ + " (" + list + ") SELECT " + list +
                           " FROM temp.\"mendora_copy\" ORDER BY \"mendora_row\"",
                       what_);
      connection_.Exec("DROP TABLE temp.\"mendora_copy\"", what_);
    } else {
      connection_.Exec("ALTER TABLE " + QuoteIdentifier(rebuilt) + " RENAME TO " + quoted_, what_);
    }
  }

  // The OLE objects kept aside and the child tables of complex columns name
  // their row by its row id, which the AutoNumber key is about to become.
  void RenumberRowReferences() {
    if (NameTaken(connection_, "mendora_ole")) {
      connection_.Exec("UPDATE \"mendora_ole\" SET \"row_key\" = (SELECT " + QuoteIdentifier(integer_key_->name) +
                           " FROM " + quoted_ + " AS t WHERE t.rowid = \"mendora_ole\".\"row_key\") WHERE \"table\" = " +
                           SqlString(name_),
                       what_);
    }
    for (const OutputColumn& column : described_.columns) {
      if (column.complex_kind == 0) continue;
      const std::string child = QuoteIdentifier(StoredTableName(described_.name + "." + column.name));
      if (!NameTaken(connection_, StoredTableName(described_.name + "." + column.name))) continue;
      connection_.Exec("UPDATE " + child + " SET \"row\" = (SELECT " + QuoteIdentifier(integer_key_->name) + " FROM " +
                           quoted_ + " AS t WHERE t.rowid = " + child + ".\"row\")",
                       what_);
    }
  }

  // A free name for a trigger, noted as one.
  std::string TriggerName(const std::string& wanted) {
    const std::string name = FreeName(connection_, name_, wanted);
    connection_.NoteTrigger(name);
    return QuoteIdentifier(name);
  }

  // AutoNumber columns that are not the row id number new rows by trigger.
  void AddCounterTriggers() {
    for (const OutputColumn* column : counters_) {
      const std::string field = QuoteIdentifier(column->name);
      const std::string value = column->autonumber
                                    ? "(SELECT ifnull(max(" + field + "), 0) + 1 FROM " + quoted_ + ")"
                                    : std::string(kGuidExpression);
      connection_.Exec("CREATE TRIGGER " + TriggerName(name_ + "_" + column->name + "_autonumber") +
                           " AFTER INSERT ON " + quoted_ + " FOR EACH ROW WHEN NEW." + field +
                           " IS NULL BEGIN UPDATE " + quoted_ + " SET " + field + " = " + value +
                           " WHERE rowid = NEW.rowid; END",
                       what_);
    }
  }

  // Required fields some old rows leave empty ask a value of new rows only.
  void AddRequiredTriggers() {
    for (const std::string& column : required_by_trigger_) {
      const std::string field = QuoteIdentifier(column);
      const std::string refusal = "SELECT RAISE(ABORT, " + SqlString(name_ + "." + column + " is required") + ");";
      connection_.Exec("CREATE TRIGGER " + TriggerName(name_ + "_" + column + "_required") +
                           " BEFORE INSERT ON " + quoted_ + " FOR EACH ROW WHEN NEW." + field + " IS NULL BEGIN " +
                           refusal + " END",
                       what_);
      connection_.Exec("CREATE TRIGGER " + TriggerName(name_ + "_" + column + "_required_update") +
                           " BEFORE UPDATE OF " + field + " ON " + quoted_ + " FOR EACH ROW WHEN NEW." + field +
                           " IS NULL BEGIN " + refusal + " END",
                       what_);
    }
  }

  // The other indexes; the primary key as a plain one when the rows broke it.
  void AddIndexes() {
    for (const OutputIndex& index : described_.indexes) {
      if (index.primary && (keep_primary_ || primary_ != &index)) continue;
      if (!HasColumns(index)) {
        lost_.push_back("Table " + name_ + ": index " + index.name + " was not created: a field of it was not created");
        continue;
      }
      bool unique = index.unique && !index.primary;
      if (unique) {
        const Checked check = CheckUnique(connection_, name_, index.columns, false);
        if (!check.ok) {
          unique = false;
          lost_.push_back("Table " + name_ + ": index " + index.name + " was created without UNIQUE: " + check.why);
        }
      }
      connection_.Exec(std::string(unique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") +
                           QuoteIdentifier(FreeName(connection_, name_, index.name)) + " ON " + quoted_ + " (" +
                           ColumnList(index.columns, true) + ")",
                       what_);
    }
  }

  SqliteConnection& connection_;
  const OutputTable& described_;
  const std::string name_;
  const std::string quoted_;
  const std::vector<ColumnInfo> stored_;
  const std::string what_;
  const bool planning_;
  std::vector<std::string> lost_;
  const OutputIndex* primary_ = nullptr;
  bool keep_primary_ = false;
  const OutputColumn* integer_key_ = nullptr;
  bool changed_ = false;  // the table must be made again with its new column list
  std::vector<const OutputColumn*> counters_;
  std::vector<std::string> required_by_trigger_;
};

}  // namespace

bool PlanTable(SqliteConnection& connection, const OutputTable& described, TablePlan& plan) {
  TableCompletion completion(connection, described, plan.name, plan.columns, true);
  auto [definition, changed] = completion.Definition();
  if (!changed) return false;
  plan.definition = std::move(definition);
  plan.row_id_column = completion.RowIdColumn();
  return true;
}

void MakePlain(SqliteConnection& connection, const TablePlan& plan) {
  const std::string what = "cannot take the constraints off table " + plan.name;
  // Named with its database: a table of the pass may be called mendora_copy.
  const std::string quoted = "main." + QuoteIdentifier(plan.name);
  std::string list;
  for (const ColumnInfo& info : plan.columns) list += (list.empty() ? "" : ", ") + QuoteIdentifier(info.name);
  connection.Exec("SAVEPOINT mendora_plain", what);
  try {
    // Columns without a type take every value as it is.
    connection.Exec("CREATE TEMP TABLE \"mendora_copy\" (\"mendora_row\" INTEGER PRIMARY KEY, " + list + ")", what);
    connection.Exec("INSERT INTO temp.\"mendora_copy\" SELECT rowid, " + list + " FROM " + quoted, what);
    connection.Exec("DROP TABLE " + quoted, what);
    connection.Exec(plan.plain, what);
    if (plan.row_id_column < 0) {
      connection.Exec("INSERT INTO " + quoted + " (rowid, " + list + ") SELECT \"mendora_row\", " + list +
                          " FROM temp.\"mendora_copy\" ORDER BY \"mendora_row\"",
                      what);
    } else {
      // The plain table numbers the rows in the order they came.
      auto insert = connection.Prepare("INSERT INTO " + quoted + " (rowid, " + list + ") SELECT ?1, " + list +
                                           " FROM temp.\"mendora_copy\" WHERE \"mendora_row\" = ?2",
                                       what);
      for (size_t i = 0; i < plan.order.size(); ++i) {
        insert.BindInt(1, static_cast<int64_t>(i) + 1);
        insert.BindInt(2, plan.order[i]);
        insert.Step(what);
        insert.Rewind();
      }
    }
    connection.Exec("DROP TABLE temp.\"mendora_copy\"", what);
    connection.Exec("RELEASE mendora_plain", what);
  } catch (const EngineError&) {
    connection.ExecQuietly("ROLLBACK TO mendora_plain");
    connection.ExecQuietly("RELEASE mendora_plain");
    throw;
  }
}

std::vector<std::string> CompleteTable(SqliteConnection& connection, const OutputTable& described,
                                       const TablePlan* plan) {
  if (plan != nullptr) {
    std::optional<std::vector<std::string>> lost =
        TableCompletion(connection, described, plan->name, plan->columns).RunAsPlanned(plan->definition);
    if (lost) return std::move(*lost);
    MakePlain(connection, *plan);
  }
  const std::optional<std::string> table = StoredTable(connection, StoredTableName(described.name));
  if (!table) return {};
  return TableCompletion(connection, described, *table, TableColumns(connection, *table)).Run();
}

}  // namespace mendora
