// Adds recovered rows to one table of the target database.
#include "output/sqlite/sqlite_recordset.h"

#include "output/sqlite/sqlite_schema.h"
#include "output/sqlite/sqlite_types.h"

namespace mendora {

namespace {

// A table of more rows than this is made plain while they come rather than
// keep the order of all their ids.
constexpr size_t kRowsInOrder = size_t{1} << 20;

}  // namespace

void SqliteRecordset::Open(const std::string& recovered_name, const std::vector<size_t>& sources) {
  const std::string table = StoredTableName(recovered_name);
  Close();
  std::vector<ColumnInfo> found = TableColumns(*connection_, table);
  if (found.empty()) throw EngineError("cannot open a recordset: no table named " + table);
  if (found.size() != sources.size()) {
    throw EngineError("cannot open a recordset: table " + table + " has " + std::to_string(found.size()) +
                      " columns, not " + std::to_string(sources.size()));
  }
  std::string names;
  std::string parameters;
  for (const ColumnInfo& column : found) {
    if (!names.empty()) {
      names += ", ";
      parameters += ", ";
    }
    names += QuoteIdentifier(column.name);
    parameters += "?";
  }
  std::string sql = "INSERT INTO " + QuoteIdentifier(table) + " (" + names + ") VALUES (" + parameters + ")";
  insert_.emplace(connection_->Prepare(sql, "cannot prepare adding rows to " + table));
  add_row_failed_ = "cannot add a row to " + table;
  table_ = table;
  sources_ = sources;
  scratch_.assign(sources_.size(), std::string());
}

bool SqliteRecordset::IsOpen() const { return insert_.has_value() && connection_->IsOpen(); }

void SqliteRecordset::AddRow(const Row& row) {
  if (!IsOpen()) throw EngineError("cannot add a row: the recordset is not open");
  SqliteStatement& insert = *insert_;
  static const Value kNull;
  for (size_t i = 0; i < sources_.size(); ++i) {
    const Value& value = sources_[i] < row.values.size() ? row.values[sources_[i]] : kNull;
    BindValue(insert, static_cast<int>(i) + 1, value, scratch_[i]);
  }
  TablePlan* plan = Plan();
  if (plan != nullptr && plan->row_id_column >= 0) {
    const size_t source = sources_[static_cast<size_t>(plan->row_id_column)];
    // The row id would number a row without a key itself and refuse a key
    // that is no integer; the plain table takes it as it is.
    if (source >= row.values.size() || row.values[source].kind != ValueKind::kInteger ||
        plan->order.size() >= kRowsInOrder) {
      MakePlain(*connection_, *plan);
      plan_->reset();
      plan = nullptr;
    }
  }
  // Every parameter is bound for every row, so none is cleared in between.
  try {
    Step();
  } catch (...) {
    insert.Rewind();
    throw;
  }
  insert.Rewind();
  if (plan != nullptr && plan->row_id_column >= 0 && Plan() == plan) plan->order.push_back(LastRowId());
}

TablePlan* SqliteRecordset::Plan() {
  return plan_ != nullptr && plan_->has_value() && SameName((*plan_)->name, table_) ? &**plan_ : nullptr;
}

void SqliteRecordset::Step() {
  try {
    insert_->Step(add_row_failed_);
  } catch (const EngineError&) {
    if (Plan() == nullptr || (sqlite3_extended_errcode(connection_->Handle()) & 0xFF) != SQLITE_CONSTRAINT) throw;
    // The plan assumed no row breaks a constraint; the plain table takes
    // the row, and the completion finds what the rows allow.
    MakePlain(*connection_, **plan_);
    plan_->reset();
    insert_->Step(add_row_failed_);
  }
}

int64_t SqliteRecordset::LastRowId() const { return sqlite3_last_insert_rowid(connection_->Handle()); }

void SqliteRecordset::Close() {
  insert_.reset();
  table_.clear();
  sources_.clear();
  scratch_.clear();
}

}  // namespace mendora
