// Recovering one table: its rows, delivered to every output, and its log line.
#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "reader/row_cursor.h"
#include "reader/table_def.h"
#include "recovery/complex_columns.h"
#include "recovery/distinct_names.h"
#include "recovery/recovery_steps.h"
#include "recovery/table_schema.h"

namespace mendora {

namespace {

// Gives the row to every output.
void HandRow(RecoverySession& session, const Row& row) {
  for (RecoveryOutput* output : session.state->active_outputs) output->AddRow(row);
}

const std::string kLongRule(107, '-');
const std::string kShortRule(50, '-');

// The name a recovered table is saved and logged under: its own, unless an
// earlier table of this pass took it (a dropped table found again through a
// deleted catalog row, or a damaged duplicate) or, when saving, one the
// target cannot tell from it.
std::string DistinctTableName(RecoverySession& session, const std::string& name, int32_t definition_page) {
  NameKey key;
  if (session.state->target) key = [&](const std::string& n) { return session.state->target->TableNameKey(n); };
  return ClaimDistinctName(session.state->target_table_names, name,
                           " (recovered from page " + std::to_string(definition_page) + ")", key);
}

// The table as the outputs see it. Two columns the target cannot tell apart
// would cost the second its values, so each gets a name of its own.
OutputTable DescribeTable(RecoverySession& session, const TableDef& table, const std::string& name,
                          const ComplexColumns* complex) {
  OutputTable out;
  out.name = name;
  out.definition_page = table.entry.definition_page;
  std::set<std::string> taken;
  NameKey key;
  if (session.state->target) key = [&](const std::string& n) { return session.state->target->ColumnNameKey(n); };
  for (size_t i = 0; i < table.columns.size(); ++i) {
    const ColumnDef& column = table.columns[i];
    OutputColumn described{ClaimDistinctName(taken, column.name, " (2)", key),
                           column.calculated ? column.result_type : column.type, column.precision, column.scale,
                           column.column_number, column.size};
    described.calculated = column.calculated;
    if (column.type == kColumnComplex && complex != nullptr) {
      described.complex_kind = static_cast<int>(complex->KindOf(i));
      described.value_type = complex->ValueTypeOf(i);
    }
    out.columns.push_back(described);
  }
  return out;
}

// Calculated columns hold a result of the type their ResultType property
// names. Without it (no readable catalog row), the stored result's length
// tells a Yes/No (1 byte) and a Decimal (16) apart; anything else is read
// as the column's own type says.
void SetResultTypes(RecoverySession& session, TableDef& table) {
  bool any = false;
  for (const ColumnDef& column : table.columns) any = any || column.calculated;
  if (!any) return;
  const std::map<std::string, int> types = session.state->catalog_objects.ResultTypes(table.entry.definition_page);
  for (ColumnDef& column : table.columns) {
    if (!column.calculated) continue;
    const auto found = types.find(column.name);
    if (found != types.end() && IsKnownColumnType(found->second)) column.result_type = found->second;
  }
}

// A column of a type without a decoder keeps its bytes; the loss account
// says which type it was.
void NoteUnknownTypes(RecoverySession& session, const TableDef& table, const std::string& name) {
  for (const ColumnDef& column : table.columns) {
    if (IsKnownColumnType(column.type)) continue;
    session.results.losses.PieceLost("Table " + name + ": column " + column.name + " has the unknown type " +
                                     ColumnTypeName(column.type) + "; its values are kept as their stored bytes");
  }
}

// The pass's decoding threads beside its own, made on first need; null
// when the pass decodes alone.
DecodePool* DecodePoolOf(RecoverySession& session) {
  const unsigned given = session.options.decode_jobs;
  const unsigned jobs = given == 0 ? DecodePool::DefaultJobs() : given;
  if (jobs <= 1) return nullptr;
  std::shared_ptr<DecodePool>& pool = session.state->decode_pool;
  if (!pool || pool->threads() != jobs - 1) pool = std::make_shared<DecodePool>(jobs - 1);
  return pool.get();
}

// Notes where row number `rows` - 1 (counted from 0) lies when it is one
// the marks keep.
void MarkRow(RecoveredTable& table, const Row& row, int64_t rows) {
  if ((rows - 1) % kRowMarkEvery == 0) table.marks.push_back({row.page, row.slot});
}

RecoveredTable Recovered(const TableDef& table, const std::string& source_name, const std::string& name,
                         bool deleted_rows) {
  RecoveredTable recovered;
  recovered.name = name;
  recovered.source_name = source_name;
  recovered.object_type = table.entry.object_type;
  recovered.definition_page = table.entry.definition_page;
  recovered.deleted_rows = deleted_rows;
  return recovered;
}

// Ends a table in every output and in the account, and gives it its line
// in the log.
void FinishTable(RecoverySession& session, const std::string& name, int64_t rows, RecoveredTable recovered) {
  recovered.rows = rows;
  session.results.recovered_tables.push_back(std::move(recovered));
  for (RecoveryOutput* output : session.state->active_outputs) output->EndTable(rows);
  session.results.losses.EndTable();
  session.results.grand_total += rows;
  session.results.table_list += "\r\n" + name + " :  " + std::to_string(rows) + "  Records";
  AddAnalysisEvent(session, AnalysisEvent{.kind = AnalysisEvent::Kind::kTable, .table = name, .records = rows});
  RebuildAnalysisLog(session);
  if (session.options.observer != nullptr) session.options.observer->OnAnalysisLog(session.results.analysis_log);
}

// The deleted rows of a table that still read whole, as a table of their
// own; made only when there is one.
void RecoverDeletedRows(RecoverySession& session, TableDef& table, const std::string& source_name,
                        const std::string& table_name) {
  RowCursor cursor(table);
  cursor.SetDeletedRows(true);
  Row row;
  if (!cursor.Next(row)) return;
  const std::string name = DistinctTableName(session, table_name + " (deleted rows)", table.entry.definition_page);
  const OutputTable description = DescribeTable(session, table, name, nullptr);
  session.results.losses.BeginTable(name, -1);
  for (RecoveryOutput* output : session.state->active_outputs) output->BeginTable(description);
  RecoveredTable recovered = Recovered(table, source_name, name, true);
  int64_t rows = 0;
  try {
    do {
      session.control.CheckPoint();
      ++rows;
      MarkRow(recovered, row, rows);
      ReportProgress(session, *table.entry.handle, name, rows);
      session.results.losses.RowRecovered();
      HandRow(session, row);
    } while (cursor.Next(row));
  } catch (...) {
    for (RecoveryOutput* output : session.state->active_outputs) output->EndTable(rows);
    session.results.losses.EndTable();
    throw;
  }
  FinishTable(session, name, rows, std::move(recovered));
}

}  // namespace

void ReportProgress(RecoverySession& session, const JetHandle& handle, const std::string& table, int64_t table_rows,
                    bool finished) {
  if (session.options.observer == nullptr) return;
  // Pages decoded on other threads are read ahead in runs: the rows move
  // the table's count between them.
  if (!finished && handle.pages_read == session.state->reported_reads && table_rows % 1024 != 0) return;
  session.state->reported_reads = handle.pages_read;
  const uint64_t expected = 2ull * handle.PageCount();
  const uint64_t total = std::max<uint64_t>({expected, handle.pages_read + (finished ? 0 : 1), 1});
  const uint64_t done = finished ? total : handle.pages_read;
  const auto clamp = [](uint64_t n) { return static_cast<uint32_t>(std::min<uint64_t>(n, UINT32_MAX)); };
  session.options.observer->OnProgress(clamp(done), clamp(total));
  session.options.observer->OnTableProgress(table, table_rows, session.results.grand_total + table_rows);
}

void AddAnalysisEvent(RecoverySession& session, AnalysisEvent event) {
  session.results.analysis_events.push_back(std::move(event));
  if (session.options.observer != nullptr)
    session.options.observer->OnAnalysisEvent(session.results.analysis_events.back());
}

void RebuildAnalysisLog(RecoverySession& session) {
  std::string& log = session.results.analysis_log;
  log.clear();
  log += "Mendora - Analysis process started...\r\n" + kLongRule + "\r\n";
  log += "\r\nFile to be repaired :" + session.options.source_path +
         "  File Size  : " + session.options.source_file_length_text + "  Bytes\r\n" + kLongRule + "\r\n";
  log += "\r\nAnalyzing the source file...\r\n\r\n" + kShortRule + "\r\n";
  log += "\r\nTotal Number of Records :\r\n" + std::to_string(session.results.grand_total);
  log += "\r\n" + session.results.table_list;
  log += "\r\n\r\n";
}

void RecoverTable(RecoverySession& session, JetHandle& handle, int32_t object_type, int32_t definition_page,
                  const std::string& table_name) {
  // Keys, indexes and properties only matter to a save and the exports.
  if (session.ReadsSchema() && !session.state->catalog_objects.loaded()) session.state->catalog_objects.Load(handle);
  if (session.ReadsSchema() && !session.state->catalog_problem_told &&
      !session.state->catalog_objects.problem().empty()) {
    session.state->catalog_problem_told = true;
    session.results.losses.PieceLost("Column properties from the catalog are incomplete: " +
                                     session.state->catalog_objects.problem());
  }
  TableDefPtr table = OpenTable(handle, table_name, object_type, definition_page);
  if (!table) {
    // Its rows may still be read with a layout inferred from them; what
    // cannot be is counted lost then.
    session.state->unreadable_definitions.emplace(definition_page, table_name);
    return;
  }
  RecoverTableRows(session, handle, *table, table_name, {});
}

void RecoverTableRows(RecoverySession& session, JetHandle& handle, TableDef& loaded, const std::string& table_name,
                      const std::function<bool(ByteView row)>& row_check) {
  TableDef* table = &loaded;
  const int32_t definition_page = table->entry.definition_page;
  const std::string name = DistinctTableName(session, table_name, definition_page);
  bool has_complex = false;
  bool has_calculated = false;
  for (const ColumnDef& column : table->columns) {
    has_complex = has_complex || column.type == kColumnComplex;
    has_calculated = has_calculated || column.calculated;
  }
  if ((has_complex || has_calculated) && !session.state->catalog_objects.loaded()) {
    session.state->catalog_objects.Load(handle);
  }
  SetResultTypes(session, *table);
  session.results.losses.BeginTable(name, table->row_count);
  NoteUnknownTypes(session, *table, name);
  // The hidden tables are read before the parent's rows; their damage is
  // the parent's.
  std::unique_ptr<ComplexColumns> complex;
  if (has_complex) {
    complex =
        std::make_unique<ComplexColumns>(handle, *table, name, session.state->catalog_objects, session.results.losses);
  }
  OutputTable description = DescribeTable(session, *table, name, complex.get());
  if (session.ReadsSchema()) {
    DescribeSchema(*table, session.state->catalog_objects.TableProperties(definition_page), description,
                   session.results.losses);
  }
  if (table->inferred) {
    // How each column's type was decided: in the account, and kept with the
    // table's properties.
    std::vector<std::string> columns;
    for (size_t i = 0; i < description.columns.size() && i < table->column_notes.size(); ++i) {
      columns.push_back(description.columns[i].name);
      Value note;
      note.kind = ValueKind::kText;
      note.bytes = table->column_notes[i];
      description.properties.push_back(OutputProperty{description.columns[i].name, "InferredType", note});
    }
    session.results.losses.LayoutInferred(columns, table->column_notes, table->guessed_columns);
  }
  for (RecoveryOutput* output : session.state->active_outputs) output->BeginTable(description);

  RecoveredTable recovered = Recovered(*table, table_name, name, false);
  if (table->inferred) {
    auto layout = std::make_shared<TableDef>(*table);
    layout->entry.handle = nullptr;
    recovered.inferred_layout = std::move(layout);
    recovered.row_check = row_check;
  }
  int64_t rows = 0;
  try {
    RowCursor cursor(*table);
    if (row_check) cursor.SetRowCheck(row_check);
    cursor.SetDecodePool(DecodePoolOf(session));
    Row row;
    while (cursor.Next(row)) {
      session.control.CheckPoint();
      ++rows;
      MarkRow(recovered, row, rows);
      ReportProgress(session, handle, name, rows);
      if (complex) complex->Fill(row);
      session.results.losses.RowRecovered();
      HandRow(session, row);
    }
  } catch (...) {
    for (RecoveryOutput* output : session.state->active_outputs) output->EndTable(rows);
    session.results.losses.EndTable();
    throw;
  }
  FinishTable(session, name, rows, std::move(recovered));
  if (session.options.recover_deleted_rows && !table->inferred) RecoverDeletedRows(session, *table, table_name, name);
}

}  // namespace mendora
