// A table's indexes as its definition lists them.
//
// After the column names come the real indexes (the sorted structures: their
// columns, order and flags), then the logical indexes (the names a user sees,
// each pointing at a real index; several may share one) and their names.
// Only the definition is read here; the index pages are index_pages.h's.
#ifndef MENDORA_READER_INDEX_DEF_H_
#define MENDORA_READER_INDEX_DEF_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "reader/table_def.h"

namespace mendora {

// Bits of a real index's flags.
inline constexpr uint8_t kIndexUnique = 0x01;
inline constexpr uint8_t kIndexIgnoreNulls = 0x02;
inline constexpr uint8_t kIndexRequired = 0x08;

struct IndexColumn {
  uint16_t column_number = 0;  // the stored column number (ColumnDef::column_number)
  bool descending = false;
};

struct RealIndex {
  std::vector<IndexColumn> columns;
  uint8_t flags = 0;
  uint32_t root_page = 0;  // the index's top page (see IndexPageFormat)
};

enum class IndexKind : uint8_t { kOther = 0, kPrimaryKey = 1, kForeignKey = 2 };

struct LogicalIndex {
  std::string name;  // UTF-8
  int32_t number = 0;
  int32_t real_index = 0;  // into IndexDefinition::real
  IndexKind kind = IndexKind::kOther;
};

struct IndexDefinition {
  std::vector<RealIndex> real;
  std::vector<LogicalIndex> logical;
};

// The indexes of `table` (read by OpenTable). Nothing, with the reason in
// `problem`, when the index part of the definition does not hold together;
// a logical index that names no real index is left out and said in
// `problem` too.
std::optional<IndexDefinition> ReadIndexes(const TableDef& table, std::string* problem);

}  // namespace mendora

#endif  // MENDORA_READER_INDEX_DEF_H_
