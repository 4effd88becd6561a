// Row fetching: finds a table's data pages, walks their row slots and
// delivers each live row's values as text into the bound buffers.
#ifndef MENDORA_READER_ROW_FETCH_H_
#define MENDORA_READER_ROW_FETCH_H_

#include <cstdint>
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
