// Relationships and saved queries: read from the source's system tables and
// carried over to the outputs once every table exists.
#include <map>
#include <optional>
#include <set>
#include <string>

#include "reader/row_cursor.h"
#include "reader/system_rows.h"
#include "reader/table_def.h"
#include "reader/text_codec.h"
#include "recovery/distinct_names.h"
#include "recovery/recovery_steps.h"

namespace mendora {

namespace {

// Passes reports on, noting that there was one.
class NotingDamage final : public DamageReporter {
 public:
  explicit NotingDamage(DamageReporter* next, bool keep_values = false) : next_(next), keep_values_(keep_values) {}
  void Report(const DamageReport& report) override {
    damaged = true;
    // A value of a system table's row is no value of a user's table: the
    // caller counts what its loss costs.
    if (keep_values_ && LosesValue(report.kind)) {
      value_lost = report.column + ": " + report.detail;
      return;
    }
    if (next_ != nullptr) next_->Report(report);
  }
  bool damaged = false;
  std::string value_lost;  // the last value lost, when kept

 private:
  DamageReporter* next_;
  bool keep_values_ = false;
};

}  // namespace

void RelationshipPass(RecoverySession& session, JetHandle& handle, int32_t object_type, int32_t definition_page,
                      const std::string& name) {
  // The relations on pages of it that are gone cannot be named: that there
  // were some is said.
  NotingDamage noting(handle.damage);
  ScopedDamageReporter redirect(handle, noting);
  struct Tell {
    RecoverySession& session;
    NotingDamage& noting;
    int32_t page;
    ~Tell() {
      if (!noting.damaged) return;
      session.results.losses.Add(
          LossEntry{.subject = LossSubject::kFile,
                    .reason = LossReason::kDefinition,
                    .page = page,
                    .detail = "the relationships table is damaged: the relations it held on its damaged "
                              "pages are lost"});
    }
  } tell{session, noting, definition_page};
  TableDefPtr table = OpenTable(handle, name, object_type, definition_page);
  if (!table) {
    noting.damaged = true;
    return;
  }
  enum { kColumn, kObject, kReferencedColumn, kReferencedObject, kRelationship, kFlags };
  const SystemColumns columns(
      *table, {"szColumn", "szObject", "szReferencedColumn", "szReferencedObject", "szRelationship", "grbit"});

  // The relations are created once every table exists; here each row adds
  // its field pair to the relation of its name.
  RowCursor cursor(*table);
  Row row;
  while (cursor.Next(row)) {
    session.control.CheckPoint();
    const std::string relation_name = columns.Text(row, kRelationship);
    const std::string primary = columns.Text(row, kReferencedObject);
    const std::string foreign = columns.Text(row, kObject);
    PendingRelation* relation = nullptr;
    for (PendingRelation& known : session.state->pending_relations) {
      if (known.name == relation_name && known.table == primary && known.foreign_table == foreign) {
        relation = &known;
        break;
      }
    }
    if (relation == nullptr) {
      session.state->pending_relations.push_back(PendingRelation{relation_name, primary, foreign, {}, 0});
      relation = &session.state->pending_relations.back();
      relation->flags = static_cast<int32_t>(columns.Integer(row, kFlags).value_or(0));
    }
    relation->fields.push_back(
        RelationField{columns.Text(row, kReferencedColumn), columns.Text(row, kColumn)});
  }
}

void CreatePendingRelations(RecoverySession& session) {
  // The tables the pass recovered, as Access compares names.
  std::set<std::string> recovered;
  for (const RecoveredTable& table : session.results.recovered_tables) {
    if (!table.deleted_rows) recovered.insert(AsciiLower(table.name));
  }
  std::set<std::string> held;  // relations the relationships table holds
  for (const PendingRelation& relation : session.state->pending_relations) {
    session.control.CheckPoint();
    held.insert(relation.name);
    // System tables are never recovered, so relations among them have
    // nothing to join; they are not losses worth a line.
    if (IsSystemObjectName(relation.table) || IsSystemObjectName(relation.foreign_table)) continue;
    // A linked table lives in another file: the relation is that file's to keep.
    if (session.state->linked_tables.count(relation.table) != 0 ||
        session.state->linked_tables.count(relation.foreign_table) != 0) {
      continue;
    }
    // A relation whose table did not come back is lost with it; a table that
    // only the relation still names is lost too, and said.
    const bool has_table = recovered.count(AsciiLower(relation.table)) != 0;
    const std::string& missing = has_table ? relation.foreign_table : relation.table;
    if (!has_table || recovered.count(AsciiLower(relation.foreign_table)) == 0) {
      const TableLosses* lost = session.results.losses.Table(missing);
      if ((lost == nullptr || !lost->lost_whole) && session.state->catalog_tables.count(missing) == 0) {
        session.results.losses.TableLost(missing, LossReason::kNotFound,
                                         "relation " + relation.name +
                                             " names it, and neither its catalog row nor its "
                                             "definition was found");
      }
      session.results.losses.Add(LossEntry{.subject = LossSubject::kRelation,
                                           .reason = LossReason::kTableMissing,
                                           .table = relation.foreign_table,
                                           .name = relation.name,
                                           .other_table = relation.table,
                                           .detail = missing});
      continue;
    }
    const OutputRelation out{relation.name, relation.table, relation.foreign_table, relation.fields, relation.flags};
    for (RecoveryOutput* output : session.state->active_outputs) output->AddRelation(out);
  }
  // Relations the catalog names that the relationships table no longer
  // holds (its pages are gone) are lost without their tables' names.
  for (const std::string& name : session.state->catalog_relations) {
    if (held.count(name) != 0 || IsSystemObjectName(name)) continue;
    session.results.losses.Add(
        LossEntry{.subject = LossSubject::kRelation,
                  .reason = LossReason::kNotFound,
                  .name = name,
                  .detail = "the catalog names it, and the relationships table does not hold it"});
  }
}


void ReadQueryTable(RecoverySession& session, JetHandle& handle, int32_t object_type, int32_t definition_page,
                    const std::string& name) {
  // A query whose rows are missing from a table that read whole was saved
  // without text; from a damaged one, its text is lost.
  NotingDamage noting(handle.damage, true);
  ScopedDamageReporter redirect(handle, noting);
  struct Note {
    RecoverySession& session;
    NotingDamage& noting;
    ~Note() { session.state->query_table_damaged = session.state->query_table_damaged || noting.damaged; }
  } note{session, noting};
  TableDefPtr table = OpenTable(handle, name, object_type, definition_page);
  if (!table) {
    noting.damaged = true;
    return;
  }
  enum { kAttribute, kExpression, kFlag, kName1, kName2, kObjectId, kOrder };
  const SystemColumns columns(*table, {"Attribute", "Expression", "Flag", "Name1", "Name2", "ObjectId", "Order"});

  RowCursor cursor(*table);
  Row row;
  for (noting.value_lost.clear(); cursor.Next(row); noting.value_lost.clear()) {
    session.control.CheckPoint();
    const std::optional<int64_t> kind = columns.Integer(row, kAttribute);
    const std::optional<int64_t> id = columns.Integer(row, kObjectId);
    if (!kind || !id) continue;
    if (!noting.value_lost.empty()) {
      // Its query would be another query without it.
      session.state->damaged_query_rows[static_cast<uint32_t>(*id)] = noting.value_lost;
      continue;
    }
    QueryRow query;
    query.attribute = static_cast<int>(*kind);
    if (const std::optional<int64_t> value = columns.Integer(row, kFlag)) query.flag = static_cast<int>(*value);
    query.expression = columns.Text(row, kExpression);
    query.name1 = columns.Text(row, kName1);
    query.name2 = columns.Text(row, kName2);
    // The place among rows of the same attribute, stored big-endian so that
    // the bytes sort as the numbers do.
    const Value& stored_order = columns.Get(row, kOrder);
    if (stored_order.kind == ValueKind::kBytes) {
      for (const char byte : stored_order.bytes) query.order = query.order << 8 | static_cast<uint8_t>(byte);
    }
    session.state->query_rows[static_cast<uint32_t>(*id)].push_back(std::move(query));
  }
}

void CreatePendingQueries(RecoverySession& session) {
  // Two queries the target cannot tell apart would cost the second.
  std::set<std::string> taken;
  NameKey key;
  if (session.state->target) key = [&](const std::string& n) { return session.state->target->QueryNameKey(n); };
  for (const PendingQuery& query : session.state->pending_queries) {
    session.control.CheckPoint();
    auto rows = session.state->query_rows.find(query.object_id);
    if (rows == session.state->query_rows.end()) {
      // Its rows of the query table are gone with the table's pages (or
      // the table itself): the name is all that is left.
      const bool lost = !query.deleted && (session.state->query_table_damaged || !session.state->query_table_read);
      if (lost) {
        session.results.losses.Add(
            LossEntry{.subject = LossSubject::kQuery,
                      .reason = LossReason::kNotFound,
                      .name = query.name,
                      .detail = session.state->query_table_read
                                    ? "the query table is damaged, and its text is not in what was read"
                                    : "the query table that holds its text was not found"});
      }
      if (lost || query.deleted) continue;
    }
    if (const auto damaged = session.state->damaged_query_rows.find(query.object_id);
        damaged != session.state->damaged_query_rows.end() && !query.deleted) {
      session.results.losses.Add(
          LossEntry{.subject = LossSubject::kQuery,
                    .reason = LossReason::kLongValue,
                    .name = query.name,
                    .detail = "a row of it in the query table is damaged (" + damaged->second + ")"});
      continue;
    }
    // Saved queries go to a save and to an export that asks for the schema.
    if (!session.ReadsSchema()) continue;
    // Each query id is created once (the walk dispatches it once), so its rows can be handed over.
    std::vector<QueryRow> stored;
    if (rows != session.state->query_rows.end()) stored = std::move(rows->second);
    const std::string sql = stored.empty() ? "" : QueryText(stored);
    const std::string name = ClaimDistinctName(taken, query.name, " (2)", key);
    for (RecoveryOutput* output : session.state->active_outputs) output->AddQueryDefinition(name, sql, stored);
  }
}

}  // namespace mendora
