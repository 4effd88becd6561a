// Adds recovered rows to one table of the target database.
#include "recovery/sqlite_recordset.h"

#include "recovery/sqlite_schema.h"

namespace mendora {

void SqliteRecordset::Open(int /*type*/, const std::string& recovered_name, int /*options*/) {
  const std::string table = StoredTableName(recovered_name);
  Close();
  std::vector<ColumnInfo> found = TableColumns(*connection_, table);
  if (found.empty()) throw EngineError("cannot open a recordset: no table named " + table);

  std::string names;
  std::string parameters;
  std::vector<Column> columns;
  std::unordered_map<std::string, size_t> index_by_name;
  for (const ColumnInfo& column : found) {
    if (!names.empty()) {
      names += ", ";
      parameters += ", ";
    }
    names += QuoteIdentifier(column.name);
    parameters += "?";
    index_by_name.emplace(LowerName(column.name), columns.size());
    columns.push_back({column.name, KindOfDeclaredType(column.declared_type)});
  }
  std::string sql = "INSERT INTO " + QuoteIdentifier(table) + " (" + names + ") VALUES (" + parameters + ")";
  insert_.emplace(connection_->Prepare(sql, "cannot prepare adding rows to " + table));
  table_ = table;
  add_row_failed_ = "cannot add a row to " + table;
  columns_ = std::move(columns);
  index_by_name_ = std::move(index_by_name);
  pending_.assign(columns_.size(), std::monostate{});
}

bool SqliteRecordset::IsOpen() const { return insert_.has_value() && connection_->IsOpen(); }

void SqliteRecordset::AddNew() {
  if (!IsOpen()) throw EngineError("cannot add a row: the recordset is not open");
  pending_.assign(columns_.size(), std::monostate{});
  adding_ = true;
}

size_t SqliteRecordset::ColumnIndex(const std::string& field) const {
  auto it = index_by_name_.find(LowerName(StoredColumnName(field)));
  if (it == index_by_name_.end()) throw EngineError("table " + table_ + " has no field named " + field);
  return it->second;
}

void SqliteRecordset::SetFieldValue(const std::string& field, const std::string& value) {
  if (!IsOpen() || !adding_) throw EngineError("cannot set field " + field + ": no row is being added");
  size_t index = ColumnIndex(field);
  try {
    pending_[index] = ConvertValue(columns_[index].kind, value);
  } catch (const EngineError& error) {
    throw EngineError("field " + table_ + "." + field + ": " + error.what());
  }
}

void SqliteRecordset::Update() {
  if (!IsOpen() || !adding_) throw EngineError("cannot save a row: no row is being added");
  SqliteStatement& insert = *insert_;
  for (size_t i = 0; i < pending_.size(); ++i) {
    int index = static_cast<int>(i) + 1;
    const FieldValue& value = pending_[i];
    if (const auto* integer = std::get_if<int64_t>(&value)) {
      insert.BindInt(index, *integer);
    } else if (const auto* real = std::get_if<double>(&value)) {
      insert.BindDouble(index, *real);
    } else if (const auto* text = std::get_if<std::string>(&value)) {
      insert.BindText(index, *text);
    } else if (const auto* blob = std::get_if<BlobBytes>(&value)) {
      insert.BindBlob(index, blob->bytes);
    } else {
      insert.BindNull(index);
    }
  }
  // A refused row stays pending, so the caller may still see what it held;
  // the next AddNew starts afresh either way.
  try {
    insert.Step(add_row_failed_);
  } catch (...) {
    insert.Reset();
    throw;
  }
  insert.Reset();
  pending_.assign(columns_.size(), std::monostate{});
  adding_ = false;
}

void SqliteRecordset::Close() {
  insert_.reset();
  columns_.clear();
  index_by_name_.clear();
  pending_.clear();
  adding_ = false;
}

}  // namespace mendora
