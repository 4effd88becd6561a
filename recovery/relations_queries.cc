// Relationships and saved queries: carried over into the new database.
#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "reader/row_fetch.h"
#include "reader/table_def.h"
#include "recovery/distinct_names.h"
#include "recovery/recovery_steps.h"

namespace mendora {

int32_t RelationshipPass(RecoverySession& session, JetHandle& handle, int32_t object_type, int32_t definition_page,
                         const std::string& name) {
  TableDefPtr table = OpenTable(handle, name, object_type, definition_page);
  if (!table) return 0;

  std::string column, object, referenced_column, referenced_object, relationship;
  BindColumnByName(*table, "szColumn", &column);
  BindColumnByName(*table, "szObject", &object);
  BindColumnByName(*table, "szReferencedColumn", &referenced_column);
  BindColumnByName(*table, "szReferencedObject", &referenced_object);
  BindColumnByName(*table, "szRelationship", &relationship);

  // The relations are created once every table exists; here each row adds
  // its field pair to the relation of its name.
  while (FetchRow(*table) == 1) {
    session.control.CheckPoint();
    PendingRelation* relation = nullptr;
    for (PendingRelation& known : session.pending_relations) {
      if (known.name == relationship && known.table == referenced_object && known.foreign_table == object) {
        relation = &known;
        break;
      }
    }
    if (relation == nullptr) {
      session.pending_relations.push_back(PendingRelation{relationship, referenced_object, object, {}});
      relation = &session.pending_relations.back();
    }
    relation->fields.push_back(RelationField{referenced_column, column});
  }
  return table->row_count;
}

void CreatePendingRelations(RecoverySession& session) {
  if (!session.IsSaving() || session.pending_relations.empty()) return;
  std::unique_ptr<EngineRelationDatabase> database = session.TargetDatabase->NewRelationDatabase();
  database->Open(session.TargetPath, false, false, "");
  for (const PendingRelation& relation : session.pending_relations) {
    session.control.CheckPoint();
    // System tables are never recovered, so relations among them have
    // nothing to join; they are not losses worth a line.
    if (IsSystemObjectName(relation.table) || IsSystemObjectName(relation.foreign_table)) continue;
    try {
      database->CreateRelation(relation.name, relation.table, relation.foreign_table, 3, relation.fields);
    } catch (const EngineError&) {
      // A relation the target refuses (a table that was not recovered, a
      // field it lacks) loses only itself.
      ReportLoss(session, "Relation " + relation.name + " was not created");
    }
  }
  try {
    database->Close();
  } catch (const EngineError&) {
    ReportLoss(session, "Relations were not created");
  }
}

void ReadQueryTable(RecoverySession& session, JetHandle& handle, int32_t object_type, int32_t definition_page,
                    const std::string& name) {
  TableDefPtr table = OpenTable(handle, name, object_type, definition_page);
  if (!table) return;

  std::string attribute, expression, flag, name1, name2, object_id, order;
  BindColumnByName(*table, "Attribute", &attribute);
  BindColumnByName(*table, "Expression", &expression);
  BindColumnByName(*table, "Flag", &flag);
  BindColumnByName(*table, "Name1", &name1);
  BindColumnByName(*table, "Name2", &name2);
  BindColumnByName(*table, "ObjectId", &object_id);
  BindColumnByName(*table, "Order", &order);

  auto number = [](const std::string& text) -> std::optional<int64_t> {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (*end != '\0') return std::nullopt;
    return value;
  };
  while (FetchRow(*table) == 1) {
    session.control.CheckPoint();
    const std::optional<int64_t> kind = number(attribute);
    const std::optional<int64_t> id = number(object_id);
    if (!kind || !id) continue;
    QueryRow row;
    row.attribute = static_cast<int>(*kind);
    if (const std::optional<int64_t> value = number(flag)) row.flag = static_cast<int>(*value);
    row.expression = expression;
    row.name1 = name1;
    row.name2 = name2;
    // The place among rows of the same attribute, stored big-endian so that
    // the bytes sort as the numbers do.
    for (const char byte : order) row.order = row.order << 8 | static_cast<uint8_t>(byte);
    session.query_rows[static_cast<uint32_t>(*id)].push_back(std::move(row));
  }
}

void CreateSavedQuery(RecoverySession& session, const std::string& name, const std::string& sql) {
  if (!session.IsSaving()) return;
  std::unique_ptr<EngineQueryDef> query = session.TargetDatabase->NewQueryDef();
  query->Create(name, sql);
  query->Append();
}

void CreatePendingQueries(RecoverySession& session) {
  // Query names the target cannot tell apart (equal but for case) would
  // cost the later query.
  std::set<std::string> taken;
  NameKey key;
  if (session.IsSaving()) key = [&](const std::string& n) { return session.TargetDatabase->QueryNameKey(n); };
  for (const PendingQuery& query : session.pending_queries) {
    session.control.CheckPoint();
    auto rows = session.query_rows.find(query.object_id);
    // Each query id is created once (the walk dispatches it once), so its rows can be handed over.
    const std::string sql = rows == session.query_rows.end() ? "" : QueryText(std::move(rows->second));
    const std::string name = ClaimDistinctName(taken, query.name, " (2)", key);
    try {
      CreateSavedQuery(session, name, sql);
    } catch (const EngineError&) {
      ReportLoss(session, "Query " + name + " was not recovered");
    }
  }
}

}  // namespace mendora
