// Relationships and saved queries: carried over into the new database.
#include <map>
#include <string>

#include "reader/row_fetch.h"
#include "reader/table_def.h"
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
      ReportLoss("Relation " + relation.name + " was not created");
    }
  }
  database->Close();
}

void CreateSavedQuery(RecoverySession& session, JetHandle& handle, int32_t object_type, int32_t definition_page,
                      const std::string& name) {
  (void)handle;
  (void)object_type;
  (void)definition_page;
  if (!session.IsSaving()) return;
  std::unique_ptr<EngineQueryDef> query = session.TargetDatabase->NewQueryDef();
  query->Create(name, "");
  query->Append();
}

}  // namespace mendora
