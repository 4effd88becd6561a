// The SQL export's relations and queries: foreign keys, and views where a
// query translates.
#include "output/sql/sql_export.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>

#include "output/common/export_values.h"
#include "output/sql/sql_script_words.h"
#include "output/sqlite/view_translation.h"
#include "reader/column_types.h"
#include "reader/text_codec.h"
#include "recovery/loss_account.h"

namespace mendora {

using namespace sql_script;

void SqlExport::AddRelation(const OutputRelation& relation) {
  CloseTable();
  const auto referenced = tables_.find(relation.table);
  const auto referencing = tables_.find(relation.foreign_table);
  const std::string what = "Relation " + relation.name;
  if (referenced == tables_.end() || referencing == tables_.end() || relation.fields.empty()) return;
  const TableInfo& primary = referenced->second;
  const TableInfo& foreign = referencing->second;
  std::vector<std::string> keys, foreign_keys;
  std::vector<std::string> key_types, foreign_types;
  const auto script_name = [](const TableInfo& table, const std::string& name) {
    const auto found = table.column_names.find(name);
    return found == table.column_names.end() ? name : found->second;
  };
  for (const RelationField& field : relation.fields) {
    keys.push_back(script_name(primary, field.field));
    foreign_keys.push_back(script_name(foreign, field.foreign_field));
  }
  const auto type_of = [](const TableInfo& table, const std::string& name) -> std::optional<std::string> {
    for (size_t i = 0; i < table.columns.size(); ++i) {
      if (table.columns[i].name == name) return table.types[i];
    }
    return std::nullopt;
  };
  std::string reason;
  for (size_t i = 0; i < keys.size() && reason.empty(); ++i) {
    const auto a = type_of(primary, keys[i]);
    const auto b = type_of(foreign, foreign_keys[i]);
    if (!a || !b) reason = "a column is missing";
    else if (dialect_ == SqlDialect::kMySql && (IsLongType(*a) || IsLongType(*b))) reason = "a column is long text";
  }
  bool served = dialect_ == SqlDialect::kSqlite;
  if (reason.empty() && dialect_ != SqlDialect::kSqlite) {
    // PostgreSQL refers only to a unique key; MySQL to any index that starts
    // with the columns.
    for (const OutputIndex& index : primary.indexes) {
      std::vector<std::string> columns;
      for (const OutputIndexColumn& key : index.columns) columns.push_back(key.name);
      if (dialect_ == SqlDialect::kPostgreSql) {
        std::vector<std::string> a = columns, b = keys;
        std::sort(a.begin(), a.end());
        std::sort(b.begin(), b.end());
        served = served || ((index.primary || index.unique) && a == b);
      } else {
        served = served || (columns.size() >= keys.size() && std::equal(keys.begin(), keys.end(), columns.begin()));
      }
    }
  }
  std::string list, foreign_list;
  for (size_t i = 0; i < keys.size(); ++i) {
    list += (i > 0 ? ", " : "") + QuoteSqlIdentifier(dialect_, keys[i]);
    foreign_list += (i > 0 ? ", " : "") + QuoteSqlIdentifier(dialect_, foreign_keys[i]);
  }
  // Fields that are no key of their table get a unique index first, as in
  // the SQLite target (which fails, and says so, where their values repeat).
  std::string key_index;
  if (!served && reason.empty()) {
    key_index = "CREATE UNIQUE INDEX " +
                QuoteSqlIdentifier(dialect_, IndexName(relation.table, relation.name + "_key")) + " ON " +
                primary.quoted + " (" + [&] {
                  std::string columns;
                  for (size_t i = 0; i < keys.size(); ++i) columns += (i > 0 ? ", " : "") + QuoteSqlIdentifier(dialect_, keys[i]);
                  return columns;
                }() + ")";
  }
  std::string statement = "ALTER TABLE " + foreign.quoted + " ADD CONSTRAINT " +
                          QuoteSqlIdentifier(dialect_, IndexName(relation.foreign_table, relation.name)) +
                          " FOREIGN KEY (" + foreign_list + ") REFERENCES " + primary.quoted + " (" + list + ")";
  if ((relation.flags & kRelationCascadeUpdates) != 0) statement += " ON UPDATE CASCADE";
  if ((relation.flags & kRelationCascadeDeletes) != 0) statement += " ON DELETE CASCADE";
  if (dialect_ == SqlDialect::kSqlite) {
    // SQLite takes foreign keys only in CREATE TABLE, before the rows.
    std::string comment = "-- " + what + ": " + relation.foreign_table + " (" + foreign_list + ") refers to " +
                          relation.table + " (" + list + ")\n";
    std::replace(comment.begin(), comment.end() - 1, '\n', ' ');
    std::replace(comment.begin(), comment.end() - 1, '\r', ' ');
    file_.Write(comment);
    return;
  }
  // Every relation that is no foreign key is listed in the target, with
  // why: the script's own reason, or the rows that break it (counted when
  // the script runs, since only then are the rows all there).
  if (!relations_table_) {
    relations_table_ = true;
    const auto q = [&](const char* name) { return QuoteSqlIdentifier(dialect_, name); };
    file_.Write("\nCREATE TABLE " + q(kRelationsTable) + " (" + q("name") + " varchar(255), " + q("table") +
                " varchar(255), " + q("columns") + " text, " + q("foreign_table") + " varchar(255), " +
                q("foreign_columns") + " text, " + q("reason") + " text, " + q("breaking_rows") + " bigint)" +
                (dialect_ == SqlDialect::kMySql ? " DEFAULT CHARSET=utf8mb4" : "") + ";\n");
  }
  const auto note = [&](const std::string& why, const std::string& rows) {
    std::string plain_list, plain_foreign;
    for (size_t i = 0; i < relation.fields.size(); ++i) {
      plain_list += (i > 0 ? ", " : "") + relation.fields[i].field;
      plain_foreign += (i > 0 ? ", " : "") + relation.fields[i].foreign_field;
    }
    return "INSERT INTO " + QuoteSqlIdentifier(dialect_, kRelationsTable) + " VALUES (" +
           QuoteSqlString(dialect_, relation.name) + ", " + QuoteSqlString(dialect_, relation.table) + ", " +
           QuoteSqlString(dialect_, plain_list) + ", " + QuoteSqlString(dialect_, relation.foreign_table) + ", " +
           QuoteSqlString(dialect_, plain_foreign) + ", " + why + ", " + rows + ")";
  };
  if (!reason.empty()) {
    if (losses_ != nullptr) losses_->PieceLost(what + " was not kept as a foreign key: " + reason);
    file_.Write(note(QuoteSqlString(dialect_, reason), "NULL") + ";\n");
    return;
  }
  // The rows that break it: every field given, and no row they refer to.
  const std::string child = QuoteSqlIdentifier(dialect_, "mendora_child");
  const std::string parent = QuoteSqlIdentifier(dialect_, "mendora_parent");
  std::string given, match;
  for (size_t i = 0; i < keys.size(); ++i) {
    const std::string key = parent + "." + QuoteSqlIdentifier(dialect_, keys[i]);
    const std::string foreign_key = child + "." + QuoteSqlIdentifier(dialect_, foreign_keys[i]);
    given += foreign_key + " IS NOT NULL AND ";
    match += (i > 0 ? " AND " : "") + key + " = " + foreign_key;
  }
  const std::string breaking = " FROM " + foreign.quoted + " AS " + child + " WHERE " + given + "NOT EXISTS (SELECT 1 FROM " +
                               primary.quoted + " AS " + parent + " WHERE " + match + ")";
  if (dialect_ == SqlDialect::kMySql) {
    if (!key_index.empty()) WriteGuarded(key_index, "Table " + relation.table + ": a key for relation " + relation.name);
    file_.Write("CALL mendora_relate(" + QuoteSqlString(dialect_, "SELECT COUNT(*) INTO @mendora_rows" + breaking) +
                ", " + QuoteSqlString(dialect_, statement) + ", " + QuoteSqlString(dialect_, what) + ", " +
                QuoteSqlString(dialect_, note("@mendora_error", "@mendora_rows")) + ");\n");
    return;
  }
  const std::string body = breaking + statement + note("", "");
  std::string tag = "$mendora$";
  for (int n = 1; body.find(tag) != std::string::npos; ++n) tag = "$mendora" + std::to_string(n) + "$";
  std::string message = QuoteSqlString(dialect_, what);
  std::string percent;
  for (const char c : message) {
    if (c == '%') percent += '%';
    percent += c;
  }
  percent = percent.substr(1, percent.size() - 2);
  file_.Write("DO " + tag + " DECLARE mendora_rows bigint; BEGIN SELECT count(*) INTO mendora_rows" + breaking +
              "; IF mendora_rows = 0 THEN " + (key_index.empty() ? "" : key_index + "; ") + statement + "; ELSE " +
              note("mendora_rows || ' rows break it'", "mendora_rows") + "; RAISE WARNING '" + percent +
              " not kept: % rows break it', mendora_rows; END IF; EXCEPTION WHEN others THEN " + note("SQLERRM", "NULL") +
              "; RAISE WARNING '" + percent + " not kept: %', SQLERRM; END " + tag + ";\n");
}

void SqlExport::AddQuery(const std::string& name, const std::string& sql) {
  CloseTable();
  queries_.emplace_back(name, sql);
}

void SqlExport::WriteViews() {
  if (dialect_ == SqlDialect::kSqlite || queries_.empty()) return;
  const bool pg = dialect_ == SqlDialect::kPostgreSql;
  const auto q = [&](const char* name) { return QuoteSqlIdentifier(dialect_, name); };
  file_.Write("\nCREATE TABLE " + q(kQueriesTable) + " (" + q("name") + " varchar(255), " + q("sql") + " text, " +
              q("no_view_reason") + " text)" + (pg ? "" : " DEFAULT CHARSET=utf8mb4") + ";\n");
  struct View {
    std::string name;    // the query's
    std::string target;  // the view's
    std::string select;
    std::vector<size_t> uses;  // other views it selects from
  };
  // Names as the script spells them, for the translation.
  std::map<std::string, std::string> names;
  for (const auto& [name, table] : tables_) {
    names.emplace(AsciiLower(name), table.quoted.substr(1, table.quoted.size() - 2));
    for (const auto& [source, fitted] : table.column_names) names.emplace(AsciiLower(source), fitted);
  }
  std::vector<View> views;
  std::vector<std::string> targets;
  for (const auto& [name, sql] : queries_) {
    targets.push_back(FitName(name, true, table_names_));
    names.emplace(AsciiLower(name), targets.back());
  }
  for (size_t n = 0; n < queries_.size(); ++n) {
    const std::string& name = queries_[n].first;
    const std::string& sql = queries_[n].second;
    std::string text = sql;
    MakeValidUtf8(text);
    const ViewTranslation translation =
        TranslateSelectQuery(text, pg ? ViewDialect::kPostgreSql : ViewDialect::kMySql, &names);
    file_.Write("INSERT INTO " + q(kQueriesTable) + " VALUES (" + QuoteSqlString(dialect_, name) + ", " +
                QuoteSqlString(dialect_, text) + ", " +
                (translation.ok ? std::string("NULL") : QuoteSqlString(dialect_, translation.reason)) + ");\n");
    if (translation.ok) views.push_back({name, targets[n], translation.sql, {}});
  }
  // A view that selects from another comes after it: the other's name,
  // quoted as the translation quotes names, or as a bare word.
  const auto refers = [&](const std::string& select, const std::string& name) {
    if (select.find(QuoteSqlIdentifier(dialect_, name)) != std::string::npos) return true;
    const std::string lower = AsciiLower(select), word = AsciiLower(name);
    for (size_t at = lower.find(word); at != std::string::npos; at = lower.find(word, at + 1)) {
      const auto boundary = [&](size_t i) {
        return i >= lower.size() || !(std::isalnum(static_cast<unsigned char>(lower[i])) || lower[i] == '_');
      };
      if ((at == 0 || boundary(at - 1)) && boundary(at + word.size())) return true;
    }
    return false;
  };
  for (size_t i = 0; i < views.size(); ++i) {
    for (size_t k = 0; k < views.size(); ++k) {
      if (k != i && refers(views[i].select, views[k].target)) views[i].uses.push_back(k);
    }
  }
  std::vector<bool> written(views.size(), false);
  for (size_t round = 0; round <= views.size(); ++round) {
    for (size_t i = 0; i < views.size(); ++i) {
      if (written[i]) continue;
      const bool ready = round == views.size() || std::all_of(views[i].uses.begin(), views[i].uses.end(),
                                                               [&](size_t k) { return written[k]; });
      if (!ready) continue;
      written[i] = true;
      const std::string reason = pg ? "SQLERRM" : "@mendora_error";
      WriteGuarded("CREATE VIEW " + QuoteSqlIdentifier(dialect_, views[i].target) + " AS " + views[i].select,
                   "Query " + views[i].name + " as a view",
                   "UPDATE " + q(kQueriesTable) + " SET " + q("no_view_reason") + " = " + reason + " WHERE " + q("name") +
                       " = " + QuoteSqlString(dialect_, views[i].name));
    }
  }
}

}  // namespace mendora
