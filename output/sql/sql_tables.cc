// The SQL export's tables: their names, definitions, keys, indexes,
// AutoNumbers and defaults.
#include "output/sql/sql_export.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>

#include "output/sql/sql_script_words.h"
#include "output/sqlite/sqlite_keys.h"
#include "reader/column_types.h"
#include "reader/text_codec.h"
#include "recovery/loss_account.h"

namespace mendora {

using namespace sql_script;

std::string SqlExport::FitName(const std::string& name, bool table, std::set<std::string>& taken) const {
  std::string base;
  for (size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (c == 0) continue;
    if (dialect_ == SqlDialect::kMySql && c >= 0xF0) {
      // MySQL names hold no character beyond the Basic Multilingual Plane.
      base.push_back('_');
      while (i + 1 < name.size() && (static_cast<unsigned char>(name[i + 1]) & 0xC0) == 0x80) ++i;
      continue;
    }
    base.push_back(static_cast<char>(c));
  }
  if (dialect_ == SqlDialect::kMySql) {
    // MySQL takes no name that ends in a space, and at most 64 characters.
    while (!base.empty() && base.back() == ' ') base.back() = '_';
    size_t characters = 0, end = 0;
    for (; end < base.size() && characters < 60; ++end) characters += (static_cast<unsigned char>(base[end]) & 0xC0) != 0x80;
    while (end < base.size() && (static_cast<unsigned char>(base[end]) & 0xC0) == 0x80) ++end;
    base.resize(end);
  } else if (dialect_ == SqlDialect::kPostgreSql) {
    CutUtf8Bytes(base, 59);  // PostgreSQL keeps 63 bytes of a name
  } else if (table && AsciiLower(base).rfind("sqlite_", 0) == 0) {
    base.insert(0, "_");  // SQLite reserves these for itself
  }
  if (base.empty()) base = "_";
  // MySQL and SQLite compare names without case.
  const auto key = [&](const std::string& n) { return dialect_ == SqlDialect::kPostgreSql ? n : AsciiLower(n); };
  std::string fitted = base;
  for (int n = 2; !taken.insert(key(fitted)).second; ++n) fitted = base + "_" + std::to_string(n);
  return fitted;
}

void SqlExport::BeginTable(const OutputTable& table) {
  CloseTable();
  TableInfo& info = tables_[table.name];
  info = TableInfo{};
  info.quoted = QuoteSqlIdentifier(dialect_, FitName(table.name, true, table_names_));
  info.columns = table.columns;
  std::set<std::string> column_names;
  for (OutputColumn& column : info.columns) {
    const std::string fitted = FitName(column.name, false, column_names);
    info.column_names.emplace(column.name, fitted);
    column.name = fitted;
  }
  info.indexes = table.indexes;
  // A relation's own index: the relation is made as a foreign key instead.
  std::erase_if(info.indexes, [](const OutputIndex& index) { return index.foreign_key; });
  for (OutputIndex& index : info.indexes) {
    for (OutputIndexColumn& key : index.columns) {
      const auto found = info.column_names.find(key.name);
      if (found != info.column_names.end()) key.name = found->second;
    }
  }
  info.had_null.assign(table.columns.size(), false);
  info.source = table.columns;
  info.largest.assign(table.columns.size(), std::nullopt);
  info.rising.assign(table.columns.size(), true);
  info.cut_seventh.assign(table.columns.size(), 0);
  std::set<std::string> indexed;
  for (const OutputIndex& index : table.indexes) {
    for (const OutputIndexColumn& column : index.columns) indexed.insert(column.name);
  }
  size_t row_bytes = 0;
  for (const OutputColumn& column : table.columns) {
    info.types.push_back(SqlColumnType(dialect_, column));
    row_bytes += column.type == kColumnText ? static_cast<size_t>(TextLength(column)) * 4 + 2 : 16;
  }
  if (dialect_ == SqlDialect::kMySql) {
    // A row's declared widths must stay under MySQL's limit: the longest
    // text columns outside every index become TEXT until they do.
    std::vector<size_t> order(table.columns.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return TextLength(table.columns[a]) > TextLength(table.columns[b]); });
    for (const size_t i : order) {
      if (row_bytes <= kMySqlRowBytes) break;
      const OutputColumn& column = table.columns[i];
      if (column.type != kColumnText || indexed.count(column.name) > 0) continue;
      info.types[i] = "TEXT";
      row_bytes -= static_cast<size_t>(TextLength(column)) * 4 + 2 - 16;
    }
  }
  std::string create = "\nCREATE TABLE " + info.quoted + " (";
  for (size_t i = 0; i < table.columns.size(); ++i) {
    create += i == 0 ? "\n  " : ",\n  ";
    create += QuoteSqlIdentifier(dialect_, info.columns[i].name) + " " + info.types[i];
  }
  create += "\n)";
  if (dialect_ == SqlDialect::kMySql) create += " DEFAULT CHARSET=utf8mb4";
  create += ";\n";
  file_.Write(create);

  insert_head_ = "INSERT INTO " + info.quoted + " (";
  for (size_t i = 0; i < table.columns.size(); ++i) {
    if (i > 0) insert_head_ += ", ";
    insert_head_ += QuoteSqlIdentifier(dialect_, info.columns[i].name);
  }
  insert_head_ += ") VALUES\n";
  current_ = &info;
  current_name_ = table.name;
  table_open_ = true;
  batch_rows_ = 0;
  batch_bytes_ = 0;
  row_number_ = 0;
}

std::string SqlExport::IndexName(const std::string& table, const std::string& index) {
  std::string base = table + "_" + index;
  CutUtf8Bytes(base, kIndexNameBytes);
  while (!base.empty() && base.back() == ' ') base.back() = '_';
  if (AsciiLower(base).rfind("sqlite_", 0) == 0) base.insert(0, "_");
  std::string name = base;
  for (int n = 2; !index_names_.insert(AsciiLower(name)).second; ++n) name = base + "_" + std::to_string(n);
  return name;
}

std::string SqlExport::ColumnList(const TableInfo& table, const std::vector<OutputIndexColumn>& columns,
                                  bool with_order) const {
  // MySQL indexes a long column by a prefix only, and a key's parts must fit
  // its byte limit together.
  size_t key_bytes = 0, text_parts = 0;
  for (const OutputIndexColumn& key : columns) {
    for (size_t i = 0; i < table.columns.size(); ++i) {
      if (table.columns[i].name != key.name) continue;
      if (table.columns[i].type == kColumnText || IsLongType(table.types[i])) {
        key_bytes += static_cast<size_t>(TextLength(table.columns[i])) * 4;
        ++text_parts;
      } else {
        key_bytes += 16;
      }
    }
  }
  const size_t prefix = text_parts == 0 ? 0 : std::max<size_t>(16, kMySqlIndexBytes / 4 / text_parts - 8);
  std::string list;
  for (const OutputIndexColumn& key : columns) {
    if (!list.empty()) list += ", ";
    list += QuoteSqlIdentifier(dialect_, key.name);
    if (dialect_ == SqlDialect::kMySql) {
      for (size_t i = 0; i < table.columns.size(); ++i) {
        if (table.columns[i].name != key.name) continue;
        const bool text = table.columns[i].type == kColumnText && !IsLongType(table.types[i]);
        if (IsLongType(table.types[i]) || (text && key_bytes > kMySqlIndexBytes)) {
          list += "(" + std::to_string(std::min<size_t>(prefix, static_cast<size_t>(TextLength(table.columns[i])))) + ")";
        }
      }
    }
    if (with_order && key.descending) list += " DESC";
  }
  return list;
}

void SqlExport::EndTable(int64_t) { CloseTable(); }

void SqlExport::CloseTable() {
  if (!table_open_) return;
  table_open_ = false;
  EndInsert();
  TableInfo& table = *current_;
  const auto has_column = [&](const std::string& name) {
    return std::any_of(table.columns.begin(), table.columns.end(),
                       [&](const OutputColumn& column) { return column.name == name; });
  };
  const auto any_null = [&](const std::vector<OutputIndexColumn>& columns) {
    for (const OutputIndexColumn& key : columns) {
      for (size_t i = 0; i < table.columns.size(); ++i) {
        if (table.columns[i].name == key.name && table.had_null[i]) return true;
      }
    }
    return false;
  };
  const auto complex = [&](const OutputIndexColumn& key) {
    return std::any_of(table.columns.begin(), table.columns.end(), [&](const OutputColumn& column) {
      return column.name == key.name && (column.complex_kind != 0 || column.type == kColumnComplex);
    });
  };
  for (const OutputIndex& index : table.indexes) {
    if (index.foreign_key) continue;
    // A complex column's value here is its entries as JSON text: what Access
    // indexes are the entries, in its hidden table.
    if (std::any_of(index.columns.begin(), index.columns.end(), complex)) continue;
    if (index.columns.empty() ||
        !std::all_of(index.columns.begin(), index.columns.end(),
                     [&](const OutputIndexColumn& key) { return has_column(key.name); })) {
      continue;
    }
    const std::string what = "Table " + current_name_ + ": index " + index.name;
    if (index.primary && dialect_ != SqlDialect::kSqlite) {
      if (any_null(index.columns)) {
        if (losses_ != nullptr) losses_->PieceLost(what + " (primary key) was not kept: some rows have no value in it");
        continue;
      }
      WriteGuarded("ALTER TABLE " + table.quoted + " ADD PRIMARY KEY (" + ColumnList(table, index.columns, false) + ")",
                   what);
      continue;
    }
    const bool unique = index.primary || index.unique;
    const std::string statement = std::string(unique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") +
                                  QuoteSqlIdentifier(dialect_, IndexName(current_name_, index.name)) + " ON " +
                                  table.quoted + " (" + ColumnList(table, index.columns, true) + ")";
    if (unique) {
      WriteGuarded(statement, what);
    } else {
      file_.Write(statement + ";\n");
    }
  }
  if (dialect_ == SqlDialect::kSqlite) return;
  for (size_t i = 0; i < table.columns.size(); ++i) {
    const OutputColumn& column = table.columns[i];
    if (!column.required) continue;
    if (table.had_null[i]) {
      if (losses_ != nullptr) {
        losses_->PieceLost("Table " + current_name_ + ": column " + column.name +
                           " was left nullable (Required): some rows have no value in it");
      }
      continue;
    }
    const std::string name = QuoteSqlIdentifier(dialect_, column.name);
    if (dialect_ == SqlDialect::kPostgreSql) {
      file_.Write("ALTER TABLE " + table.quoted + " ALTER COLUMN " + name + " SET NOT NULL;\n");
    } else {
      file_.Write("ALTER TABLE " + table.quoted + " MODIFY " + name + " " + table.types[i] + " NOT NULL;\n");
    }
  }
  WriteAutoNumbers(table);
  WriteDefaults(table);
  if (losses_ == nullptr) return;
  for (size_t i = 0; i < table.columns.size(); ++i) {
    if (table.cut_seventh[i] == 0) continue;
    losses_->ValueRefused(current_name_, "Table " + current_name_ + ": column " + table.columns[i].name + ": " +
                                             std::to_string(table.cut_seventh[i]) +
                                             " date/time values keep 6 of their 7 decimals (" +
                                             (dialect_ == SqlDialect::kPostgreSql ? "PostgreSQL" : "MySQL") +
                                             " keeps microseconds)");
  }
  if (table.invalid_text > 0) {
    losses_->ValueRefused(current_name_, "Table " + current_name_ + ": " + std::to_string(table.invalid_text) +
                                             " text values held bytes that are no UTF-8, written as U+FFFD");
  }
}

void SqlExport::WriteAutoNumbers(const TableInfo& table) {
  for (size_t i = 0; i < table.columns.size() && i < table.source.size(); ++i) {
    const OutputColumn& source = table.source[i];
    if (!source.autonumber && !source.guid_autonumber) continue;
    const std::string name = QuoteSqlIdentifier(dialect_, table.columns[i].name);
    const std::string what = "Table " + current_name_ + ": AutoNumber " + table.columns[i].name;
    if (source.guid_autonumber) {
      WriteGuarded(dialect_ == SqlDialect::kPostgreSql
                       ? "ALTER TABLE " + table.quoted + " ALTER COLUMN " + name + " SET DEFAULT gen_random_uuid()"
                       : "ALTER TABLE " + table.quoted + " MODIFY " + name + " " + table.types[i] +
                             " DEFAULT (CONCAT('{', UPPER(UUID()), '}'))",
                   what);
      continue;
    }
    if (table.had_null[i]) {
      if (losses_ != nullptr) losses_->PieceLost(what + " numbers no new rows: some rows have no value in it");
      continue;
    }
    // New rows are numbered past the largest value the rows hold.
    const int64_t next = table.largest[i] ? (*table.largest[i] < INT64_MAX ? *table.largest[i] + 1 : INT64_MAX) : 1;
    if (dialect_ == SqlDialect::kPostgreSql) {
      WriteGuarded("ALTER TABLE " + table.quoted + " ALTER COLUMN " + name + " SET NOT NULL; ALTER TABLE " +
                       table.quoted + " ALTER COLUMN " + name + " ADD GENERATED BY DEFAULT AS IDENTITY (START WITH " +
                       std::to_string(next) + ")",
                   what);
    } else {
      // AUTO_INCREMENT needs an index that starts with the column: a plain
      // one always exists; a key, only where no value repeats (which rising
      // values vouch for).
      bool leads = false;
      for (const OutputIndex& index : table.indexes) {
        const bool made = !(index.primary || index.unique) || table.rising[i];
        leads = leads || (made && !index.columns.empty() && index.columns[0].name == table.columns[i].name);
      }
      WriteGuarded("ALTER TABLE " + table.quoted + (leads ? "" : " ADD INDEX (" + name + "),") + " MODIFY " + name +
                       " " + table.types[i] + " NOT NULL AUTO_INCREMENT",
                   what);
    }
  }
}

void SqlExport::WriteDefaults(const TableInfo& table) {
  for (size_t i = 0; i < table.columns.size() && i < table.source.size(); ++i) {
    const OutputColumn& source = table.source[i];
    if (source.default_value.empty() || source.guid_autonumber || source.autonumber) continue;
    std::optional<std::string> value = SqliteDefault(source.default_value, source.type);
    if (value && source.type == kColumnBoolean && dialect_ == SqlDialect::kPostgreSql) {
      value = *value == "0" ? "FALSE" : "TRUE";
    }
    if (value && dialect_ == SqlDialect::kMySql) {
      // MySQL reads a backslash in a string as an escape.
      std::string escaped;
      for (const char c : *value) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
      value = "(" + escaped + ")";
    }
    const std::string what = "Table " + current_name_ + ": column " + table.columns[i].name + ": default value " +
                             source.default_value;
    if (!value) {
      if (losses_ != nullptr) losses_->PieceLost(what + " was not kept: it has no " + SqlDialectName(dialect_) + " form");
      continue;
    }
    WriteGuarded("ALTER TABLE " + table.quoted + " ALTER COLUMN " + QuoteSqlIdentifier(dialect_, table.columns[i].name) +
                     " SET DEFAULT " + *value,
                 what);
  }
}

}  // namespace mendora
