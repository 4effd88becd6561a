// Tables whose catalog row is gone: every table definition the walk saw
// that no catalog row led to, named from what the relations and the saved
// queries still say about it.
#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "reader/damage.h"
#include "reader/row_cursor.h"
#include "reader/system_rows.h"
#include "reader/table_def.h"
#include "reader/text_codec.h"
#include "recovery/recovery_steps.h"

namespace mendora {

namespace {

using Names = std::vector<std::string>;

// Access's own tables other than the four core ones carry 'N' like the
// user's: they are told by their columns, in the order the definition
// stores them (Jet 4 keeps its system tables' columns sorted, which a user
// table with the same columns rarely is).
const std::vector<Names>& SystemColumnLists() {
  static const std::vector<Names> lists = {
      {"Data", "ID"},  // MSysAccessObjects
      {"DateCreate", "DateUpdate", "Id", "Lv", "Name", "ParentId", "Type"},  // MSysAccessStorage
      {"Id", "LValue", "ObjectGuid", "ObjectName", "Property", "Value"},    // MSysAccessXML
      {"Grptbcd", "TbName"},                                                // MSysCmdbars
      {"ColumnName", "ComplexID", "ComplexTypeObjectID", "ConceptualTableID", "FlatTableID"},
      {"Attributes", "DataType", "FieldName", "IndexType", "SkipColumn", "SpecID", "Start", "Width"},
      {"DateDelim", "DateFourDigitYear", "DateLeadingZeros", "DateOrder", "DecimalPoint", "FieldSeparator",
       "FileType", "SpecID", "SpecName", "SpecType", "StartRow", "TextDelim", "TimeDelim"},
      {"__A__"},                                                                               // MSysModules
      {"Name", "Type", "Version", "ReplicationVersion", "Flags", "Module", "Form", "TypeInfo"},  // MSysModules2
      {"Flags", "Form", "Module", "Name", "ReplicationVersion", "Type", "TypeInfo", "Version"},
      {"GUID", "Id", "Name", "NameMap", "Type"},                                    // MSysNameMap
      {"Filter", "Flags", "Id", "Name", "Position", "SelectedObjectID", "Type"},    // MSysNavPane...
      {"Flags", "GroupID", "Icon", "Id", "Name", "ObjectID", "Position"},
      {"Flags", "GroupCategoryID", "Id", "Name", "Object Type Group", "ObjectID", "Position"},
      {"Id", "Name", "Type"},
      {"Data", "Extension", "Id", "Name", "Type"},  // MSysResources
      {"TableName", "ComplexColumn", "ComplexSrcColumn", "ChildTableName"},  // MSysWSDP...
      {"TableName", "LastChangeToken", "References", "Pending", "XASSite", "ErrorLoading", "Connect"},
      {"ParentTableName", "ParentColName", "ChildTableName", "ChildColName", "LookupType"},
      {"Connect", "Database", "DateCreate", "DateUpdate", "Flags", "ForeignName", "Id", "Lv", "LvExtra",
       "LvModule", "LvProp", "Name", "Owner", "ParentId", "RmtInfoLong", "RmtInfoShort", "Type"},
      {"Id", "ParentId", "Name", "Type", "DateCreate", "DateUpdate", "Owner", "Flags", "Database", "Connect",
       "ForeignName", "RmtInfoShort", "RmtInfoLong", "Lv", "LvProp", "LvModule", "LvExtra"},
      {"ACM", "FInheritable", "ObjectId", "SID"},
      {"ObjectId", "SID", "ACM", "FInheritable"},
  };
  return lists;
}

const std::vector<Names>& RelationColumnLists() {
  static const std::vector<Names> lists = {
      {"ccolumn", "grbit", "icolumn", "szColumn", "szObject", "szReferencedColumn", "szReferencedObject",
       "szRelationship"},
      {"szRelationship", "grbit", "ccolumn", "icolumn", "szObject", "szColumn", "szReferencedObject",
       "szReferencedColumn"},
  };
  return lists;
}

const std::vector<Names>& QueryColumnLists() {
  static const std::vector<Names> lists = {
      {"Attribute", "Expression", "Flag", "LvExtra", "Name1", "Name2", "ObjectId", "Order"},
      {"ObjectId", "Attribute", "Order", "Name1", "Name2", "Expression", "Flag"},
  };
  return lists;
}

// Whether the columns are those of one of the lists. A definition may list
// its columns by name or in the order they were made (Access 2007+ does),
// so a list of three names or more matches in any order; fewer names, as
// common as "ID" and "Data", only as the list has them, lest a user's
// table be taken for Access's own.
bool OneOf(const Names& columns, const std::vector<Names>& lists) {
  Names sorted = columns;
  std::sort(sorted.begin(), sorted.end());
  return std::any_of(lists.begin(), lists.end(), [&](Names list) {
    if (list == columns) return true;
    if (list.size() < 3) return false;
    std::sort(list.begin(), list.end());
    return list == sorted;
  });
}

// The hidden table of an Access 2007+ complex column keeps a column "_C"
// and one "TABLE_C" for the parent's column C; the templates of the complex
// types hold no rows.
bool IsComplexColumnTable(const Names& columns, int32_t row_count) {
  for (const std::string& own : columns) {
    if (own.size() < 2 || own[0] != '_') continue;
    for (const std::string& other : columns) {
      if (other.size() > own.size() && other.compare(other.size() - own.size(), own.size(), own) == 0) return true;
    }
  }
  if (row_count != 0) return false;
  return OneOf(columns, {{"Value"}, {"FileData", "FileFlags", "FileName", "FileTimeStamp", "FileType", "FileURL"}}) ||
         (columns.size() == 2 && columns[0] == "append-memo-data" && columns[1].rfind("Modified_", 0) == 0);
}

struct Orphan {
  int32_t page = 0;
  std::set<std::string> columns;  // folded: Access does not tell names apart by case
  std::string name;
  std::string evidence;
};

// Column names a query expression uses, with the qualifier before them:
// "[Orders].[OrderID]", "Orders.OrderID", "[OrderID]" (no qualifier).
std::vector<std::pair<std::string, std::string>> ColumnReferences(const std::string& expression) {
  std::vector<std::pair<std::string, std::string>> found;
  std::vector<std::pair<std::string, bool>> parts;  // identifier, bracketed
  size_t i = 0;
  const size_t n = expression.size();
  auto flush = [&] {
    if (parts.empty()) return;
    if (parts.size() >= 2) {
      found.emplace_back(parts[parts.size() - 2].first, parts.back().first);
    } else if (parts[0].second) {
      found.emplace_back(std::string(), parts[0].first);
    }
    parts.clear();
  };
  while (i < n) {
    const char c = expression[i];
    if (c == '"' || c == '\'') {
      flush();
      const size_t end = expression.find(c, i + 1);
      i = end == std::string::npos ? n : end + 1;
    } else if (c == '[') {
      const size_t end = expression.find(']', i + 1);
      if (end == std::string::npos) break;
      parts.emplace_back(expression.substr(i + 1, end - i - 1), true);
      i = end + 1;
      if (i < n && expression[i] == '.') {
        ++i;
        continue;
      }
      flush();
    } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      size_t end = i;
      while (end < n && (std::isalnum(static_cast<unsigned char>(expression[end])) || expression[end] == '_')) ++end;
      parts.emplace_back(expression.substr(i, end - i), false);
      i = end;
      if (i < n && expression[i] == '.') {
        ++i;
        continue;
      }
      // A bare word on its own is a keyword or a function as likely as a column.
      if (parts.size() == 1) parts.clear();
      flush();
    } else {
      flush();
      ++i;
    }
  }
  flush();
  return found;
}

// The columns each table name is said to have, by the relations.
std::map<std::string, std::set<std::string>> RelationEvidence(const RecoverySession& session) {
  std::map<std::string, std::set<std::string>> named;
  for (const PendingRelation& relation : session.state->pending_relations) {
    for (const RelationField& field : relation.fields) {
      if (!field.field.empty()) named[relation.table].insert(AsciiLower(field.field));
      if (!field.foreign_field.empty()) named[relation.foreign_table].insert(AsciiLower(field.foreign_field));
    }
  }
  return named;
}

// The tables each query reads, with the columns its expressions take from
// them.
std::map<std::string, std::set<std::string>> QueryEvidence(const RecoverySession& session) {
  std::map<std::string, std::set<std::string>> named;
  for (const auto& [id, rows] : session.state->query_rows) {
    std::map<std::string, std::string> by_alias;  // folded alias or name -> table
    std::vector<std::string> inputs;
    for (const QueryRow& row : rows) {
      if (row.attribute != kQueryInput || row.name1.empty()) continue;
      inputs.push_back(row.name1);
      by_alias[AsciiLower(row.name1)] = row.name1;
      if (!row.name2.empty()) by_alias[AsciiLower(row.name2)] = row.name1;
      named[row.name1];
    }
    for (const QueryRow& row : rows) {
      if (row.expression.empty() || row.attribute == kQueryInput) continue;
      for (const auto& [qualifier, column] : ColumnReferences(row.expression)) {
        if (column.empty() || column == "*") continue;
        if (qualifier.empty()) {
          if (inputs.size() == 1) named[inputs[0]].insert(AsciiLower(column));
          continue;
        }
        const auto table = by_alias.find(AsciiLower(qualifier));
        if (table != by_alias.end()) named[table->second].insert(AsciiLower(column));
      }
    }
  }
  return named;
}

bool Includes(const std::set<std::string>& columns, const std::set<std::string>& wanted) {
  return std::includes(columns.begin(), columns.end(), wanted.begin(), wanted.end());
}

// Gives each name of `evidence` to the one unnamed table whose columns
// include all the columns named for it; `tie_break` decides between several.
void NameFrom(std::vector<Orphan>& orphans, const std::map<std::string, std::set<std::string>>& evidence,
              const std::map<std::string, std::set<std::string>>& tie_break, const std::set<std::string>& taken,
              const std::string& source) {
  // The names said to have most columns first: they pick most surely.
  std::vector<std::pair<std::string, std::set<std::string>>> order(evidence.begin(), evidence.end());
  std::stable_sort(order.begin(), order.end(),
                   [](const auto& a, const auto& b) { return a.second.size() > b.second.size(); });
  std::set<std::string> used;
  for (const Orphan& orphan : orphans) used.insert(AsciiLower(orphan.name));
  for (const auto& [name, wanted] : order) {
    if (wanted.empty() || taken.count(AsciiLower(name)) != 0 || used.count(AsciiLower(name)) != 0) continue;
    const auto extra = tie_break.find(name);
    Orphan* best = nullptr;
    size_t best_score = 0;
    bool tied = false;
    for (Orphan& orphan : orphans) {
      if (!orphan.name.empty() || !Includes(orphan.columns, wanted)) continue;
      size_t score = 0;
      if (extra != tie_break.end()) {
        for (const std::string& column : extra->second) score += orphan.columns.count(column);
      }
      if (best == nullptr || score > best_score) {
        best = &orphan;
        best_score = score;
        tied = false;
      } else if (score == best_score) {
        tied = true;
      }
    }
    if (best == nullptr || tied) continue;
    best->name = name;
    best->evidence = source;
    used.insert(AsciiLower(name));
  }
}

// Access 2007 and later keep the navigation pane's list of objects in a
// table of their ids, names and types (MSysNavPaneObjectIDs): a table's id
// is its definition page.
bool IsNavigationList(const Names& columns) {
  Names sorted = columns;
  std::sort(sorted.begin(), sorted.end());
  return sorted == Names{"Id", "Name", "Type"};
}

void ReadNavigationList(RecoverySession& session, JetHandle& handle, int32_t page) {
  const TableDefPtr table = OpenTable(handle, "MSysNavPaneObjectIDs", kCatalogTable, page);
  if (!table) return;
  enum { kId, kName, kType };
  const SystemColumns columns(*table, {"Id", "Name", "Type"});
  if (!columns.HasAll()) return;
  RowCursor cursor(*table);
  Row row;
  while (cursor.Next(row)) {
    const std::optional<int64_t> object = columns.Integer(row, kId);
    const std::string name = columns.Text(row, kName);
    if (!object || columns.Integer(row, kType) != kCatalogTable || name.empty()) continue;
    // The list holds Access's own tables too. Their rows are Access's
    // bookkeeping, which the catalog's flags would have kept out of the
    // user's tables, and saved under their names they would pass for
    // Access's own in the new file. MSysCompactError is the one Access
    // makes for the user to read.
    if (IsSystemObjectName(name) && name != "MSysCompactError") {
      session.state->system_definition_pages.insert(CatalogIdPage(*object));
      continue;
    }
    session.state->navigation_names.emplace(CatalogIdPage(*object), name);
  }
}

// Pages that are a table definition's first page: definition pages that no
// other definition page names as its continuation.
std::vector<uint32_t> ChainHeads(const RecoverySession& session) {
  std::set<uint32_t> continued;
  for (const auto& [page, next] : session.state->definition_links) {
    if (next != page && session.state->definition_links.count(next) != 0) continued.insert(next);
  }
  std::vector<uint32_t> heads;
  for (const auto& [page, next] : session.state->definition_links) {
    if (continued.count(page) == 0) heads.push_back(page);
  }
  return heads;
}

}  // namespace

std::string EvidenceName(RecoverySession& session, JetHandle& handle, int32_t definition_page, std::string& evidence) {
  Orphan orphan;
  orphan.page = definition_page;
  {
    IgnoreDamage quiet;
    ScopedDamageReporter redirect(handle, quiet);
    if (const TableDefPtr table = OpenTable(handle, "", kCatalogTable, definition_page)) {
      for (const ColumnDef& column : table->columns) orphan.columns.insert(AsciiLower(column.name));
    }
  }
  if (orphan.columns.empty()) return std::string();
  if (!session.state->query_table_read && session.state->query_table_page != 0) {
    session.state->query_table_read = true;
    ReadQueryTable(session, handle, kCatalogTable, session.state->query_table_page, "MSysQueries");
  }
  std::set<std::string> taken;
  for (const std::string& name : session.state->target_table_names) taken.insert(AsciiLower(name));
  std::vector<Orphan> one{orphan};
  const auto by_relation = RelationEvidence(session);
  const auto by_query = QueryEvidence(session);
  NameFrom(one, by_relation, by_query, taken, "the relations");
  NameFrom(one, by_query, {}, taken, "the queries");
  evidence = one[0].evidence;
  return one[0].name;
}

void RecoverOrphanTables(RecoverySession& session, JetHandle& handle) {
  std::vector<Orphan> orphans;
  std::vector<int32_t> relation_tables;
  std::vector<int32_t> navigation_lists;
  int32_t query_table = 0;
  {
    IgnoreDamage quiet;
    // A cancel at a check point leaves through here too.
    ScopedDamageReporter redirect(handle, quiet);
    for (const uint32_t head : ChainHeads(session)) {
      session.control.CheckPoint();
      const int32_t page = static_cast<int32_t>(head);
      if (head <= kCatalogDefinitionPage || session.state->dispatched_definition_pages.count(page) != 0 ||
          session.state->system_definition_pages.count(page) != 0) {
        continue;
      }
      const TableDefPtr table = OpenTable(handle, "", kCatalogTable, page);
      if (!table || table->columns.empty()) continue;
      const uint32_t type_at = handle.format->TableTypePos;
      const ByteView definition(table->definition.data(), table->definition.size());
      // A stale continuation page is no table: its bytes are not a header.
      const uint8_t type = definition.U8(type_at).value_or(0);
      if (type != kUserTableType && type != kSystemTableType) continue;
      if (definition.U32(kDefinitionLengthPos).value_or(UINT32_MAX) > table->definition.size()) continue;
      Names columns;
      for (const ColumnDef& column : table->columns) columns.push_back(column.name);
      if (OneOf(columns, RelationColumnLists())) {
        relation_tables.push_back(page);
        continue;
      }
      if (OneOf(columns, QueryColumnLists())) {
        if (query_table == 0) query_table = page;
        continue;
      }
      if (IsNavigationList(columns)) {
        navigation_lists.push_back(page);
        continue;
      }
      if (type == kSystemTableType || OneOf(columns, SystemColumnLists()) || IsComplexColumnTable(columns, table->row_count)) continue;
      Orphan orphan;
      orphan.page = page;
      for (const std::string& column : columns) orphan.columns.insert(AsciiLower(column));
      orphans.push_back(std::move(orphan));
    }
  }
  for (const int32_t page : navigation_lists) {
    IgnoreDamage quiet;
    ScopedDamageReporter redirect(handle, quiet);
    ReadNavigationList(session, handle, page);
  }
  if (orphans.empty()) return;

  // The relations and queries of a file whose catalog is gone are read from
  // the system tables found by their columns.
  for (const int32_t page : relation_tables) {
    session.state->dispatched_definition_pages.insert(page);
    RelationshipPass(session, handle, kCatalogTable, page, "MSysRelationships");
  }
  if (!session.state->query_table_read) {
    const int32_t page = session.state->query_table_page != 0 ? session.state->query_table_page : query_table;
    if (page != 0) {
      session.state->query_table_read = true;
      ReadQueryTable(session, handle, kCatalogTable, page, "MSysQueries");
    }
  }

  std::erase_if(orphans, [&](const Orphan& orphan) { return session.state->system_definition_pages.count(orphan.page) != 0; });
  std::set<std::string> taken;
  for (const std::string& name : session.state->target_table_names) taken.insert(AsciiLower(name));
  // The navigation pane's list names a table by its page: surest of all.
  for (Orphan& orphan : orphans) {
    const auto listed = session.state->navigation_names.find(orphan.page);
    if (listed == session.state->navigation_names.end() || taken.count(AsciiLower(listed->second)) != 0) continue;
    orphan.name = listed->second;
    orphan.evidence = "the navigation pane's list of objects (MSysNavPaneObjectIDs)";
    taken.insert(AsciiLower(orphan.name));
  }
  const auto by_relation = RelationEvidence(session);
  const auto by_query = QueryEvidence(session);
  NameFrom(orphans, by_relation, by_query, taken, "the relations");
  NameFrom(orphans, by_query, {}, taken, "the queries");

  for (Orphan& orphan : orphans) {
    session.control.CheckPoint();
    const bool found = !orphan.name.empty();
    if (!found) orphan.name = "Recovered_Table_" + std::to_string(orphan.page);
    session.results.losses.Add(LossEntry{.subject = LossSubject::kName,
                                         .reason = found ? LossReason::kNamedFromEvidence : LossReason::kNameNotFound,
                                         .table = orphan.name,
                                         .name = orphan.name,
                                         .page = orphan.page,
                                         .detail = orphan.evidence});
    ++session.state->orphan_tables;
    session.state->dispatched_definition_pages.insert(orphan.page);
    try {
      RecoverTable(session, handle, kCatalogTable, orphan.page, orphan.name);
    } catch (const PassCancelled&) {
      throw;
    } catch (const TargetFailed&) {
      throw;
    } catch (const std::exception& error) {
      session.results.losses.TableLost(orphan.name, LossReason::kFailed, error.what());
    }
  }
}

}  // namespace mendora
