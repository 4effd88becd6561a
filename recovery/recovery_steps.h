// The steps of one recovery pass: the catalog walk and the per-object steps
// it dispatches to. RunRecovery (recovery_session.h) is the entry point;
// these are exposed for tests.
#ifndef MENDORA_RECOVERY_RECOVERY_STEPS_H_
#define MENDORA_RECOVERY_RECOVERY_STEPS_H_

#include <cstdint>
#include <string>

#include "reader/jet_handle.h"
#include "recovery/recovery_session.h"

namespace mendora {

inline constexpr const char* kTargetLocale = ";LANGID=0x0409;CP=1252;COUNTRY=0";

// One catalog row as the walk reads it.
struct CatalogRecord {
  int32_t object_type = 0;      // low 7 bits of the stored type
  int32_t definition_page = 0;  // for tables: the first definition page
  uint32_t object_id = 0;
  std::string name;             // UTF-8
  bool deleted = false;
  bool name_from_layout = true;  // false: taken by the fallback scan of a damaged row
};

void RecoveryPass(RecoverySession& session, JetHandle& handle);
void CatalogWalk(RecoverySession& session, JetHandle& handle);
void RecoverTable(RecoverySession& session, JetHandle& handle, int32_t object_type, int32_t definition_page,
                  const std::string& table_name);
int32_t RelationshipPass(RecoverySession& session, JetHandle& handle, int32_t object_type, int32_t definition_page,
                         const std::string& name);
// Reads the query table (MSysQueries) into session.query_rows.
void ReadQueryTable(RecoverySession& session, JetHandle& handle, int32_t object_type, int32_t definition_page,
                    const std::string& name);
// Creates one saved query in the target, with its SQL text when known.
void CreateSavedQuery(RecoverySession& session, const std::string& name, const std::string& sql);
// Creates the queries met during the walk, once the query table has been read.
void CreatePendingQueries(RecoverySession& session);
// Creates the relations gathered during the walk, once every table exists.
void CreatePendingRelations(RecoverySession& session);

// Reads catalog row j of the catalog page in the page buffer; false when the
// slot holds nothing readable.
bool ReadCatalogRecord(JetHandle& handle, int j, CatalogRecord& record);

// The Jet SQL type keyword of a column ("COUNTER", "TEXT", "DECIMAL(10,2)"...).
std::string TypeKeyword(int type, int column_number, int precision, int scale);
// Access's own tables ("MSys..."), which are not recovered as tables.
bool IsSystemObjectName(const std::string& name);

// Says on stderr what was lost and why, and keeps it in the session for the
// caller to show; call only inside a catch block. The pass goes on without
// the piece.
void ReportLoss(RecoverySession& session, const std::string& what) noexcept;

// Rebuilds AnalysisLog from the session's table list and total.
void RebuildAnalysisLog(RecoverySession& session);

}  // namespace mendora

#endif  // MENDORA_RECOVERY_RECOVERY_STEPS_H_
