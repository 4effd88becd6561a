// Reading system tables' rows by column name.
#include "reader/system_rows.h"

namespace mendora {

SystemColumns::SystemColumns(const TableDef& table, std::initializer_list<const char*> names) {
  at_.reserve(names.size());
  for (const char* name : names) at_.push_back(table.ColumnIndex(name));
}

bool SystemColumns::HasAll() const {
  for (const std::optional<size_t>& at : at_) {
    if (!at) return false;
  }
  return true;
}

const Value& SystemColumns::Get(const Row& row, size_t i) const {
  static const Value kNull;
  if (i >= at_.size() || !at_[i] || *at_[i] >= row.values.size()) return kNull;
  return row.values[*at_[i]];
}

std::optional<int64_t> SystemColumns::Integer(const Row& row, size_t i) const {
  const Value& value = Get(row, i);
  if (value.kind != ValueKind::kInteger) return std::nullopt;
  return value.integer;
}

std::string SystemColumns::Text(const Row& row, size_t i) const {
  const Value& value = Get(row, i);
  return value.kind == ValueKind::kText ? value.bytes : std::string();
}

std::string SystemColumns::TextOrBytes(const Row& row, size_t i) const {
  const Value& value = Get(row, i);
  return value.kind == ValueKind::kText || value.kind == ValueKind::kBytes ? value.bytes : std::string();
}

}  // namespace mendora
