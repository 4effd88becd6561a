// Recovering one table: its rows, delivered to every output, and its log line.
#include <set>
#include <string>
#include <vector>

#include "reader/row_cursor.h"
#include "reader/table_def.h"
#include "recovery/distinct_names.h"
#include "recovery/recovery_steps.h"

namespace mendora {

namespace {

const std::string kLongRule(107, '-');
const std::string kShortRule(50, '-');

// The name a recovered table is saved and logged under: its own, unless an
// earlier table of this pass took it (a dropped table found again through a
// deleted catalog row, or a damaged duplicate) or, when saving, one the
// target cannot tell from it.
std::string DistinctTableName(RecoverySession& session, const std::string& name, int32_t definition_page) {
  NameKey key;
  if (session.target) key = [&](const std::string& n) { return session.target->TableNameKey(n); };
  return ClaimDistinctName(session.target_table_names, name,
                           " (recovered from page " + std::to_string(definition_page) + ")", key);
}

// The table as the outputs see it. Two columns the target cannot tell apart
// would cost the second its values, so each gets a name of its own.
OutputTable DescribeTable(RecoverySession& session, const TableDef& table, const std::string& name) {
  OutputTable out;
  out.name = name;
  out.definition_page = table.entry.definition_page;
  std::set<std::string> taken;
  NameKey key;
  if (session.target) key = [&](const std::string& n) { return session.target->ColumnNameKey(n); };
  for (const ColumnDef& column : table.columns) {
    out.columns.push_back(OutputColumn{ClaimDistinctName(taken, column.name, " (2)", key), column.type,
                                       column.precision, column.scale, column.column_number, column.size});
  }
  return out;
}

}  // namespace

void RebuildAnalysisLog(RecoverySession& session) {
  std::string& log = session.AnalysisLog;
  log.clear();
  log += "Mendora - Analysis process started...\r\n" + kLongRule + "\r\n";
  log += "\r\nFile to be repaired :" + session.SourcePath + "  File Size  : " + session.SourceFileLengthText +
         "  Bytes\r\n" + kLongRule + "\r\n";
  log += "\r\nAnalyzing the source file...\r\n\r\n" + kShortRule + "\r\n";
  log += "\r\nTotal Number of Records :\r\n" + std::to_string(session.GrandTotal);
  log += "\r\n" + session.TableList;
  log += "\r\n\r\n";
}

void RecoverTable(RecoverySession& session, JetHandle& handle, int32_t object_type, int32_t definition_page,
                  const std::string& table_name) {
  TableDefPtr table = OpenTable(handle, table_name, object_type, definition_page);
  if (!table) {
    session.losses.TableLost(table_name, "its definition at page " + std::to_string(definition_page) +
                                             " cannot be read");
    return;
  }
  const std::string name = DistinctTableName(session, table_name, definition_page);
  const OutputTable description = DescribeTable(session, *table, name);
  session.losses.BeginTable(name, table->row_count);
  for (RecoveryOutput* output : session.active_outputs) output->BeginTable(description);

  int64_t rows = 0;
  try {
    RowCursor cursor(*table);
    Row row;
    while (cursor.Next(row)) {
      session.control.CheckPoint();
      ++rows;
      session.losses.RowRecovered();
      for (RecoveryOutput* output : session.active_outputs) output->AddRow(row);
    }
  } catch (...) {
    for (RecoveryOutput* output : session.active_outputs) output->EndTable(rows);
    session.losses.EndTable();
    throw;
  }
  for (RecoveryOutput* output : session.active_outputs) output->EndTable(rows);
  session.losses.EndTable();

  session.GrandTotal += rows;
  session.TableList += "\r\n" + name + " :  " + std::to_string(rows) + "  Records";
  RebuildAnalysisLog(session);
  if (session.observer != nullptr) session.observer->OnAnalysisLog(session.AnalysisLog);
}

}  // namespace mendora
