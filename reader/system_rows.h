// Reading the rows of the engine's and Access's own tables (the catalog,
// its complex-column directory, relationships, saved queries, the
// navigation list, Access's storage tables) by column name.
//
// A system table is read by the names of its columns, never by their
// places: a file of another version may order them otherwise, lack one, or
// have more. A column the table lacks reads as null in every row.
#ifndef MENDORA_READER_SYSTEM_ROWS_H_
#define MENDORA_READER_SYSTEM_ROWS_H_

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "reader/table_def.h"
#include "reader/value.h"

namespace mendora {

class SystemColumns {
 public:
  // The columns `names` of `table`, numbered in the order given.
  SystemColumns(const TableDef& table, std::initializer_list<const char*> names);

  // Whether the table has every one of the columns.
  bool HasAll() const;
  // The value of column `i` in `row`; null when the table lacks it.
  const Value& Get(const Row& row, size_t i) const;
  // Column `i` as a whole number; nothing when it holds no integer.
  std::optional<int64_t> Integer(const Row& row, size_t i) const;
  // Column `i` as text; empty when it holds none.
  std::string Text(const Row& row, size_t i) const;
  // The bytes of column `i`, text or binary alike; empty when it holds
  // neither.
  std::string TextOrBytes(const Row& row, size_t i) const;

 private:
  std::vector<std::optional<size_t>> at_;
};

}  // namespace mendora

#endif  // MENDORA_READER_SYSTEM_ROWS_H_
