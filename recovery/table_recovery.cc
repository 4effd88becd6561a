// Recovering one table: its schema statements, its rows and its log line.
#include <set>
#include <string>
#include <vector>

#include "reader/row_fetch.h"
#include "reader/table_def.h"
#include "recovery/distinct_names.h"
#include "recovery/recovery_steps.h"

namespace mendora {

namespace {

const std::string kLongRule(107, '-');
const std::string kShortRule(50, '-');

// A DateTime text whose year part came out malformed is not copied.
bool RejectedDateText(const std::string& text) {
  const size_t slash_space = text.find("/ ");
  const size_t slash_quote = text.find("/'");
  return slash_space == 7 || slash_quote == 5;
}

// The name a recovered table is saved and logged under: its own, unless an
// earlier table of this pass took it (a dropped table found again through a
// deleted catalog row, or a damaged duplicate) or, when saving, one the
// target cannot tell from it.
std::string DistinctTableName(RecoverySession& session, const std::string& name, int32_t definition_page) {
  NameKey key;
  if (session.IsSaving()) key = [&](const std::string& n) { return session.TargetDatabase->TableNameKey(n); };
  return ClaimDistinctName(session.target_table_names, name,
                           " (recovered from page " + std::to_string(definition_page) + ")", key);
}

// The names the table's columns are saved under: two the target cannot tell
// apart would cost the second its column.
std::vector<std::string> DistinctColumnNames(RecoverySession& session, const TableDef& table) {
  std::vector<std::string> names;
  std::set<std::string> taken;
  NameKey key;
  if (session.IsSaving()) key = [&](const std::string& n) { return session.TargetDatabase->ColumnNameKey(n); };
  for (const ColumnDef& column : table.columns) names.push_back(ClaimDistinctName(taken, column.name, " (2)", key));
  return names;
}

SchemaStatement MakeStatement(const std::string& table, const ColumnDef& column, const std::string& column_name,
                              bool first) {
  SchemaStatement statement;
  statement.kind = first ? SchemaStatement::Kind::kCreateTable : SchemaStatement::Kind::kAddColumn;
  statement.table = table;
  statement.column = column_name;
  statement.column_type = column.type;
  statement.precision = column.precision;
  statement.scale = column.scale;
  statement.keyword = TypeKeyword(column.type, column.column_number & 0xFF, column.precision, column.scale);
  statement.text = first ? "CREATE TABLE [" + table + "]([" + column_name + "] " + statement.keyword + ");"
                         : "ALTER TABLE [" + table + "] ADD [" + column_name + "] " + statement.keyword + ";";
  return statement;
}

// Closes the shared recordset however the table's step ends, so the next
// table can open it again.
class RecordsetCloser {
 public:
  explicit RecordsetCloser(RecoverySession& session) : session_(session) {}
  ~RecordsetCloser() {
    if (session_.TargetRecordset && session_.TargetRecordset->IsOpen()) {
      try {
        session_.TargetRecordset->Close();
      } catch (...) {
      }
    }
  }

 private:
  RecoverySession& session_;
};

}  // namespace

std::string TypeKeyword(int type, int column_number, int precision, int scale) {
  switch (type) {
    case kColumnBoolean: return "BIT";
    case kColumnByte: return "BYTE";
    case kColumnInteger: return "INT";
    case kColumnLongInteger: return column_number == 0 ? "COUNTER" : "LONG";
    case kColumnCurrency: return "CURRENCY";
    case kColumnSingle: return "SINGLE";
    case kColumnDouble: return "DOUBLE";
    case kColumnDateTime: return "DATE";
    case kColumnText: return "TEXT";
    case kColumnOle: return "OLEOBJECT";
    case kColumnMemo: return "MEMO";
    case kColumnReplicationId: return "REPID";
    case kColumnUnknown09: return "BINARY";
    case kColumnNumeric: {
      // A damaged record must not declare an impossible type.
      const int p = precision >= 1 && precision <= 28 ? precision : 28;
      const int s = scale >= 0 && scale <= p ? scale : 0;
      return "DECIMAL(" + std::to_string(p) + "," + std::to_string(s) + ")";
    }
    default:
      // No type of its own: declared so that whatever text it holds is kept.
      return "MEMO";
  }
}

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
  handle.RowCounter = 0;
  TableDefPtr table = OpenTable(handle, table_name, object_type, definition_page);
  if (!table) return;

  const bool saving = session.IsSaving();
  const std::string name = DistinctTableName(session, table_name, definition_page);
  const uint32_t column_count = table->columns.count();
  const std::vector<std::string> column_names = DistinctColumnNames(session, *table);

  // A column the target refuses loses only itself: the table is created by
  // the first statement it accepts, and the refused column gets no values.
  std::vector<bool> in_target(column_count, false);
  bool created = false;
  for (uint32_t i = 0; i < column_count; ++i) {
    const SchemaStatement statement = MakeStatement(name, table->columns[i], column_names[i], !created);
    if (!saving) continue;
    try {
      session.TargetDatabase->Execute(statement, kFailOnError);
      in_target[i] = true;
      created = true;
    } catch (const EngineError&) {
      ReportLoss(session, "Table " + name + ": column " + column_names[i] + " was not created");
    }
  }
  if (saving && column_count > 0 && !created) throw EngineError("the target refused every column of " + name);

  std::vector<std::string> values(column_count);
  for (uint32_t i = 0; i < column_count; ++i) BindColumn(*table, static_cast<int>(i) + 1, &values[i]);

  RecordsetCloser closer(session);
  if (saving) session.TargetRecordset->Open(-1, name, 0);

  TableSink* const sink = session.table_sink;
  std::vector<bool> nulls(column_count);
  if (sink != nullptr) {
    std::vector<SinkColumn> columns;
    for (const ColumnDef& column : table->columns) columns.push_back(SinkColumn{column.name, column.type});
    sink->OnTableStart(name, columns);
  }

  int32_t carried_skip = 0;
  while (FetchRow(*table) == 1) {
    session.control.CheckPoint();
    ++handle.RowCounter;
    if (sink != nullptr) {
      for (uint32_t i = 0; i < column_count; ++i) nulls[i] = table->columns[i].last_null;
      sink->OnRow(values, nulls);
    }
    if (saving && carried_skip == 0) session.TargetRecordset->AddNew();
    int32_t skip = 0;
    for (uint32_t i = 0; i < column_count; ++i) {
      const ColumnDef& column = table->columns[i];
      const std::string& value = values[i];
      if (value.empty() || (column.type == kColumnDateTime && RejectedDateText(value))) {
        ++skip;
        continue;
      }
      if (!saving) {
        skip = 0;
        continue;
      }
      if (!in_target[i]) continue;  // like a refused value: neither skipped nor set
      try {
        session.TargetRecordset->SetFieldValue(column_names[i], value);
        skip = 0;
      } catch (const TargetBroken&) {
        throw;  // no later value could be stored either
      } catch (...) {
        // The field keeps its default; the rest of the row is still stored.
        ReportLoss(session, "Table " + name + ": value of " + column.name + " in record " +
                   std::to_string(handle.RowCounter) + " was not stored");
      }
    }
    if (!(skip != 0 && skip == static_cast<int32_t>(column_count)) && saving) {
      try {
        session.TargetRecordset->Update();
        skip = 0;
      } catch (const TargetBroken&) {
        throw;
      } catch (...) {
        ReportLoss(session, "Table " + name + ": record " + std::to_string(handle.RowCounter) + " was not stored");
        // The refused record's values are still pending; the next record
        // must start afresh, or its empty fields would keep them.
        skip = 0;
      }
    }
    carried_skip = skip;
  }
  if (saving && session.TargetRecordset->IsOpen()) {
    try {
      session.TargetRecordset->Close();
    } catch (...) {
    }
  }

  const int32_t rows = handle.RowCounter;
  if (sink != nullptr) sink->OnTableEnd(rows);
  session.GrandTotal += rows;
  session.TableList += "\r\n" + name + " :  " + std::to_string(rows) + "  Records";
  RebuildAnalysisLog(session);
  if (session.observer != nullptr) session.observer->OnAnalysisLog(session.AnalysisLog);
}

}  // namespace mendora
