// The steps of one recovery pass: the catalog walk and the per-object steps
// it dispatches to. RunRecovery (recovery_session.h) is the entry point;
// these are exposed for tests.
#ifndef MENDORA_RECOVERY_RECOVERY_STEPS_H_
#define MENDORA_RECOVERY_RECOVERY_STEPS_H_

#include <cstdint>
#include <functional>
#include <string>

#include "reader/jet_handle.h"
#include "reader/row_layout.h"
#include "reader/table_def.h"
#include "recovery/pass_state.h"
#include "recovery/recovery_session.h"

namespace mendora {

// One catalog row as the walk reads it.
struct CatalogRecord {
  int32_t object_type = 0;      // as stored: signed 16 bits (kCatalog... in reader/jet_format.h)
  int32_t definition_page = 0;  // for tables: the first definition page
  uint32_t object_id = 0;
  std::string name;             // UTF-8
  uint32_t flags = 0;           // the catalog's Flags: system objects and more
  bool deleted = false;
  bool name_from_layout = true;  // false: taken by the fallback scan of a damaged row
};

void RecoveryPass(RecoverySession& session, JetHandle& handle);
void CatalogWalk(RecoverySession& session, JetHandle& handle);
void RecoverTable(RecoverySession& session, JetHandle& handle, int32_t object_type, int32_t definition_page,
                  const std::string& table_name);
// Recovers the rows of an opened table under `table_name`; rows for which
// `row_check` (when set) is false are lost.
void RecoverTableRows(RecoverySession& session, JetHandle& handle, TableDef& table, const std::string& table_name,
                      const std::function<bool(ByteView row)>& row_check);
void RelationshipPass(RecoverySession& session, JetHandle& handle, int32_t object_type, int32_t definition_page,
                         const std::string& name);
// Reads the query table (MSysQueries) into session.state->query_rows.
void ReadQueryTable(RecoverySession& session, JetHandle& handle, int32_t object_type, int32_t definition_page,
                    const std::string& name);
// Hands the queries met during the walk to the outputs, once the query table has been read.
void CreatePendingQueries(RecoverySession& session);
// Hands the relations gathered during the walk to the outputs, once every table exists.
void CreatePendingRelations(RecoverySession& session);

// Recovers the tables whose definitions no catalog row led to, named from
// the relations and queries that mention them.
void RecoverOrphanTables(RecoverySession& session, JetHandle& handle);

// The name the relations or the queries give the table defined at
// `definition_page`, with which of them gave it in `evidence`; empty when
// neither does.
std::string EvidenceName(RecoverySession& session, JetHandle& handle, int32_t definition_page, std::string& evidence);

// Recovers the rows of data pages whose table definition is gone, with a
// layout inferred from the rows themselves.
void RecoverHeadlessTables(RecoverySession& session, JetHandle& handle);

// Reads the forms, reports, macros and modules, hands them to the outputs,
// and adds their count to the log and what was lost of them to the account.
void RecoverAccessObjects(RecoverySession& session, JetHandle& handle);

// Reads catalog row j of the catalog page in the page buffer; false when the
// slot holds nothing readable.
bool ReadCatalogRecord(JetHandle& handle, const PageSlots& slots, int j, CatalogRecord& record);

// Access's own tables ("MSys..."), which are not recovered as tables.
bool IsSystemObjectName(const std::string& name);

// Tells the observer how far the pass has come, when it has read another
// page since the last report: `table` is the table being read ("" between
// tables) with `table_rows` rows so far. `finished` sends the last report.
void ReportProgress(RecoverySession& session, const JetHandle& handle, const std::string& table = std::string(),
                    int64_t table_rows = 0, bool finished = false);

// Keeps `event` in AnalysisEvents and tells the observer.
void AddAnalysisEvent(RecoverySession& session, AnalysisEvent event);

// Rebuilds AnalysisLog from the session's table list and total.
void RebuildAnalysisLog(RecoverySession& session);

}  // namespace mendora

#endif  // MENDORA_RECOVERY_RECOVERY_STEPS_H_
