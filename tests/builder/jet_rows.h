// Table schemas as stored (column records, where each column lives in a row)
// and the row encoder for both versions.
#ifndef MENDORA_TESTS_BUILDER_JET_ROWS_H_
#define MENDORA_TESTS_BUILDER_JET_ROWS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "tests/builder/jet_builder.h"
#include "tests/builder/jet_pages.h"

namespace mendora::testing::detail {

// Column flag bits.
constexpr uint8_t kFlagFixed = 0x01;
constexpr uint8_t kFlagNullable = 0x02;

struct StoredColumn {
  std::string name;
  int type = kText;
  int size = 0;  // as stored in the record
  int precision = 0;
  int scale = 0;
  int number = 0;
  int row_number = -1;  // the record's row column number; -1 = `number` (system tables hold 0)
  uint8_t flags = 0;
  bool compressed = false;  // Jet 4: text written in the compressed form
  uint32_t complex_id = 0;
  uint8_t extra_flags = 0;  // ORed into byte 16 of a Jet 4 record

  // Placement, filled in by PlanColumns.
  bool fixed = false;
  int fixed_offset = 0;  // within the fixed part (0 for variable columns)
  int var_index = -1;    // variable columns: their place in the offset table
  int var_before = 0;    // variable columns with a smaller number
};

struct TableSchema {
  std::vector<StoredColumn> columns;  // in record order
  int var_count = 0;
  int next_number = 0;  // highest column number + 1
};

bool IsFixedType(int type);
// The size a column record carries for `type` when none is given.
int NaturalSize(int type, JetVersion version);

// Places the columns in column-number order (fixed offsets packed without
// gaps, Boolean taking no bytes; variable columns numbered in turn), which is
// how the engine lays out rows whatever order the records are in. Throws
// std::invalid_argument on duplicate column numbers.
TableSchema PlanColumns(std::vector<StoredColumn> columns);

// One field of a row: `bytes` is the stored form for present non-Boolean
// columns; Boolean columns live only in the null bitmap as `truth`.
struct Cell {
  bool present = false;
  bool truth = false;
  Bytes bytes;
};

// A row holding the columns numbered below `column_count` (cells in record
// order; later columns' cells are ignored), in the layout of `layout`:
//   count | fixed part | variable data | end offset | variable offsets, last
//   first | (Jet 3: jump table) | variable count | null bitmap
// Jet 3 fields are one byte; the jump table holds, for each 256-byte step of
// the row, the index of the first offset (the end offset counting as index
// `variable count`) at or past that step, 0xFF when only the trailing tables
// reach it. Its first entry sits next to the variable count. A row holding
// no variable-length column ends with its null bitmap right after the fixed
// part.
Bytes EncodeRow(const Layout& layout, const TableSchema& schema, const std::vector<Cell>& cells,
                int column_count);

}  // namespace mendora::testing::detail

#endif  // MENDORA_TESTS_BUILDER_JET_ROWS_H_
