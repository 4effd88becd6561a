// Row fetching: finds a table's data pages, walks their row slots and
// delivers each live row's values as text into the bound buffers.
#ifndef MENDORA_READER_ROW_FETCH_H_
#define MENDORA_READER_ROW_FETCH_H_

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "reader/table_def.h"

namespace mendora {

// Where one column's bytes lie in a row.
struct FieldSlot {
  uint32_t start = 0;  // offset in the page buffer
  uint32_t length = 0;
  bool null = true;
  bool fixed = false;
  int column = 0;
};

// A row's own description of where its values lie.
struct RowLayout {
  uint32_t count_size = 0;     // bytes of the stored column count
  uint32_t column_count = 0;   // columns stored in the row
  uint32_t bitmap_start = 0;   // offset of the null bitmap in the page
  uint32_t bitmap_size = 0;
  uint32_t var_count = 0;      // variable-length columns stored in the row
  // Start of each variable column relative to the row, then the end of data.
  std::vector<uint32_t> offsets;
  uint32_t data_end = 0;       // values end before this offset (relative to the row)
};

// Parses the row's column count, bitmap and variable-column table; nothing
// when they do not fit inside the row. Rows of tables without
// variable-length columns have no variable table.
std::optional<RowLayout> ParseRowLayout(ByteView page, bool jet4, RowExtent row, bool has_var_table);
// [from, to) of variable column `index` relative to the row start.
std::optional<std::pair<uint32_t, uint32_t>> VariableExtent(const RowLayout& layout, uint32_t index);

// 1 when a row was delivered into the bound buffers, 0 at the table's end.
int FetchRow(TableDef& table);
// Non-zero when the next data page of the table is in the page buffer.
uint32_t NextDataPage(TableDef& table);
uint32_t ScanInlineMap(TableDef& table);
uint32_t ScanPageMap(TableDef& table);
uint32_t ScanAllPages(TableDef& table);
// 1 when row slot n of the current page was delivered.
int ReadRow(TableDef& table, int n);
// Locates every column of the row [start, end] of the page buffer; the
// row's stored column count, or -1 when the row's layout is damaged.
int CrackRow(TableDef& table, uint32_t start, uint32_t end, std::vector<FieldSlot>& slots);
void TransferValue(JetHandle& handle, ColumnDef& column, bool null, uint32_t start, uint32_t length);

}  // namespace mendora

#endif  // MENDORA_READER_ROW_FETCH_H_
