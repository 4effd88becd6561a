// Recovering one table: its rows, delivered to every output, and its log line.
#include <string>
#include <vector>

#include "reader/row_cursor.h"
#include "reader/table_def.h"
#include "recovery/recovery_steps.h"
#include "recovery/table_schema.h"

namespace mendora {

namespace {

const std::string kLongRule(107, '-');
const std::string kShortRule(50, '-');

// The name a recovered table is saved and logged under: its own, unless an
// earlier table of this pass took it (a dropped table found again through a
// deleted catalog row, or a damaged duplicate).
std::string DistinctTableName(RecoverySession& session, const std::string& name, int32_t definition_page) {
  if (session.target_table_names.insert(name).second) return name;
  const std::string base = name + " (recovered from page " + std::to_string(definition_page) + ")";
  std::string candidate = base;
  for (int n = 2; !session.target_table_names.insert(candidate).second; ++n) {
    candidate = base + " " + std::to_string(n);
  }
  return candidate;
}

OutputTable DescribeTable(const TableDef& table, const std::string& name) {
  OutputTable out;
  out.name = name;
  out.definition_page = table.entry.definition_page;
  for (const ColumnDef& column : table.columns) {
    OutputColumn& described = out.columns.emplace_back();
    described.name = column.name;
    described.type = column.type;
    described.precision = column.precision;
    described.scale = column.scale;
    described.column_number = column.column_number;
    described.size = column.size;
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
  // Keys, indexes and properties only matter to a save.
  if (session.IsSaving() && !session.catalog_properties_read) {
    session.catalog_properties_read = true;
    std::string problem;
    session.catalog_properties = ReadCatalogProperties(handle, &problem);
    if (!problem.empty()) session.losses.PieceLost("Column properties from the catalog are incomplete: " + problem);
  }
  TableDefPtr table = OpenTable(handle, table_name, object_type, definition_page);
  if (!table) {
    session.losses.TableLost(table_name, "its definition at page " + std::to_string(definition_page) +
                                             " cannot be read");
    return;
  }
  const std::string name = DistinctTableName(session, table_name, definition_page);
  OutputTable description = DescribeTable(*table, name);
  if (session.IsSaving()) {
    const auto blocks = session.catalog_properties.find(definition_page);
    DescribeSchema(*table, blocks == session.catalog_properties.end() ? std::string() : blocks->second, description,
                   session.losses);
  }
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
