// Finding a table's data pages and cracking its rows.
#include "reader/row_fetch.h"

#include <cstdio>

#include "reader/value_render.h"

namespace mendora {

namespace {

constexpr uint8_t kDataPageType = 0x01;
constexpr uint16_t kRowPointerOrDeleted = 0x4000;

bool IsDataPageOf(const TableDef& table, const JetHandle& handle) {
  return handle.page[0] == kDataPageType &&
         handle.Page().U32(4).value_or(0) == static_cast<uint32_t>(table.entry.definition_page);
}

// Reads page p for the scan; true when it is one of this table's data pages.
bool TakePage(TableDef& table, uint32_t p) {
  JetHandle& handle = *table.entry.handle;
  table.current_page = p;
  if (ReadPage(handle, p) < handle.PageSize()) return false;
  return IsDataPageOf(table, handle);
}

bool BitSet(const uint8_t* bits, uint64_t index) { return ((bits[index / 8] >> (index % 8)) & 1) != 0; }

// The null-bitmap bit of column number k; columns beyond the bitmap are null.
bool ValueBit(const ByteView& page, uint32_t bitmap_start, uint32_t bitmap_size, uint32_t k) {
  if (k / 8 >= bitmap_size) return false;
  return ((page.data()[bitmap_start + k / 8] >> (k % 8)) & 1) != 0;
}

uint32_t VariableColumnCount(const TableDef& table) {
  uint32_t count = 0;
  for (const ColumnDef& column : table.columns) {
    if (!column.fixed && column.type != kColumnBoolean) ++count;
  }
  return count;
}

// Jet 3 rows of a table whose columns are all fixed: no variable table.
int CrackFixedOnly(TableDef& table, ByteView page, uint32_t s, uint32_t e, uint32_t count_size, uint32_t c,
                   uint32_t m, std::vector<FieldSlot>& slots) {
  const uint32_t bitmap_start = e - m + 1;
  const uint32_t fixed_end = bitmap_start - s;
  for (size_t i = 0; i < slots.size(); ++i) {
    ColumnDef& column = table.columns[i];
    FieldSlot& slot = slots[i];
    slot = FieldSlot{};
    slot.column = static_cast<int>(i);
    slot.fixed = column.fixed;
    slot.null = !ValueBit(page, bitmap_start, m, column.column_number);
    if (column.type == kColumnBoolean) continue;
    const uint64_t at = count_size + static_cast<uint64_t>(column.fixed_offset);
    if (!column.fixed || column.column_number >= c || at + static_cast<uint32_t>(column.size) > fixed_end) {
      slot.null = true;
      continue;
    }
    slot.start = s + static_cast<uint32_t>(at);
    slot.length = static_cast<uint32_t>(column.size);
  }
  return static_cast<int>(c);
}

int CrackJet4(TableDef& table, ByteView page, uint32_t s, uint32_t e, std::vector<FieldSlot>& slots) {
  const uint32_t row_size = e - s + 1;
  if (row_size < 2) return -1;
  const uint32_t c = *page.U16(s);
  const uint32_t m = c == 0 ? 1 : (c - 1) / 8 + 1;
  // Count, bitmap and the variable-column count must fit the row.
  if (2u + m + 2u > row_size) return -1;
  const uint32_t bitmap_start = e - m + 1;
  // Rows of a table without variable-length columns carry no variable table.
  const bool has_var_table = VariableColumnCount(table) > 0;
  const uint32_t r = has_var_table ? *page.U16(e - m - 1) : 0;
  const uint64_t table_bytes = has_var_table ? 2ull + m + 2ull * r + 2ull : 2ull + m;
  if (table_bytes + (has_var_table ? 2 : 0) > row_size) return -1;
  // First byte of the variable table (its end-of-data entry), or of the bitmap.
  const uint32_t var_table_low =
      has_var_table ? static_cast<uint32_t>(e + 1 - m - 2 - 2 * r - 2) : bitmap_start;

  auto var_offset = [&](uint32_t index) -> uint32_t { return *page.U16(e - m - 3 - 2 * index); };
  const uint32_t end_of_data = has_var_table ? var_offset(r) : 0;
  const uint32_t var_area_end = var_table_low - s;  // offsets relative to s must stay below this

  for (size_t i = 0; i < slots.size(); ++i) {
    ColumnDef& column = table.columns[i];
    FieldSlot& slot = slots[i];
    slot = FieldSlot{};
    slot.column = static_cast<int>(i);
    slot.fixed = column.fixed;
    slot.null = !ValueBit(page, bitmap_start, m, column.column_number);
    if (column.type == kColumnBoolean) continue;
    if (column.fixed) {
      const uint64_t at = 2ull + column.fixed_offset;
      if (column.column_number >= c || at + static_cast<uint32_t>(column.size) > var_area_end) {
        slot.null = true;  // added after the row was written, or damaged
        continue;
      }
      slot.start = s + static_cast<uint32_t>(at);
      slot.length = static_cast<uint32_t>(column.size);
    } else {
      const uint32_t v = column.var_column_number;
      if (v >= r) {
        slot.null = true;
        continue;
      }
      const uint32_t from = var_offset(v);
      const uint32_t to = v + 1 == r ? end_of_data : var_offset(v + 1);
      if (from > to || to > var_area_end) {
        std::fprintf(stderr, "Table %s: variable column %s lies outside its row\n", table.name.c_str(),
                     column.name.c_str());
        slot.null = true;
        continue;
      }
      slot.start = s + from;
      slot.length = to - from;
    }
  }
  return static_cast<int>(c);
}

int CrackJet3(TableDef& table, ByteView page, uint32_t s, uint32_t e, std::vector<FieldSlot>& slots) {
  const uint32_t row_size = e - s + 1;
  if (row_size < 2) return -1;
  const uint32_t c = page.data()[s];
  const uint32_t m = c == 0 ? 1 : (c - 1) / 8 + 1;
  if (1u + m + 1u > row_size) return -1;
  const uint32_t bitmap_start = e - m + 1;
  if (VariableColumnCount(table) == 0) return CrackFixedOnly(table, page, s, e, 1, c, m, slots);
  const uint32_t r = page.data()[e - m];
  // One jump entry for each further 256 bytes of the row: offsets are single
  // bytes, and an entry names the variable column from which they count
  // from the next 256-byte boundary.
  const uint32_t jumps = (row_size - 1) / 256;
  const uint64_t table_bytes = 1ull + m + 1ull + jumps + r + 1ull;
  if (table_bytes > row_size) return -1;
  const uint32_t jump_top = e - m - 1;                // jump entry i at jump_top - i
  const uint32_t offsets_top = e - m - 1 - jumps;     // variable offset k at offsets_top - k
  const uint32_t var_table_low = offsets_top - r;     // the end-of-data byte
  const uint32_t var_area_end = var_table_low - s;

  // Resolves the full offset of variable entry k (k = r is the end of data).
  std::vector<uint32_t> offsets(r + 1);
  uint32_t base = 0;
  uint32_t jump = 0;
  for (uint32_t k = 0; k <= r; ++k) {
    while (jump < jumps && page.data()[jump_top - jump] == k) {
      base += 256;
      ++jump;
    }
    offsets[k] = base + page.data()[offsets_top - k];
  }

  for (size_t i = 0; i < slots.size(); ++i) {
    ColumnDef& column = table.columns[i];
    FieldSlot& slot = slots[i];
    slot = FieldSlot{};
    slot.column = static_cast<int>(i);
    slot.fixed = column.fixed;
    slot.null = !ValueBit(page, bitmap_start, m, column.column_number);
    if (column.type == kColumnBoolean) continue;
    if (column.fixed) {
      const uint64_t at = 1ull + column.fixed_offset;
      if (column.column_number >= c || at + static_cast<uint32_t>(column.size) > var_area_end) {
        slot.null = true;
        continue;
      }
      slot.start = s + static_cast<uint32_t>(at);
      slot.length = static_cast<uint32_t>(column.size);
    } else {
      const uint32_t v = column.var_column_number;
      if (v >= r) {
        slot.null = true;
        continue;
      }
      uint32_t from = offsets[v];
      uint32_t to = offsets[v + 1];
      // A next offset below its start means a boundary the jump table did
      // not record: the length is taken modulo 256.
      while (to < from) to += 256;
      if (to > var_area_end) {
        std::fprintf(stderr, "Table %s: variable column %s lies outside its row\n", table.name.c_str(),
                     column.name.c_str());
        slot.null = true;
        continue;
      }
      slot.start = s + from;
      slot.length = to - from;
    }
  }
  return static_cast<int>(c);
}

}  // namespace

uint32_t ScanInlineMap(TableDef& table) {
  const std::vector<uint8_t>& map = table.usage_map;
  if (map.size() < 5) return 0;
  const uint32_t first = ByteView(map.data(), map.size()).U32(1).value_or(0);
  const uint64_t bits = (map.size() - 5) * 8ull;
  // Resume just after the current page: the search only moves forward.
  uint64_t index = table.current_page >= first ? table.current_page - first + 1ull : 0;
  if (table.current_page < first && table.current_page == 0 && first == 0) index = 1;
  for (; index < bits; ++index) {
    if (!BitSet(map.data() + 5, index)) continue;
    const uint64_t p = first + index;
    if (p > UINT32_MAX) return 0;
    if (p <= table.current_page && table.started && table.current_page != 0) continue;
    if (TakePage(table, static_cast<uint32_t>(p))) return static_cast<uint32_t>(p);
  }
  return 0;
}

uint32_t ScanPageMap(TableDef& table) {
  JetHandle& handle = *table.entry.handle;
  const std::vector<uint8_t>& map = table.usage_map;
  const uint64_t block = (handle.PageSize() - 4ull) * 8ull;
  uint64_t p = table.current_page + 1ull;
  const uint64_t entries = map.size() > 1 ? (map.size() - 1) / 4 : 0;
  for (uint64_t k = p / block; k < entries; ++k) {
    const uint32_t map_page = ByteView(map.data(), map.size()).U32(1 + 4 * k).value_or(0);
    const uint64_t block_start = k * block;
    if (p < block_start) p = block_start;
    if (map_page == 0) continue;
    if (ReadAltPage(handle, map_page) < handle.PageSize()) {
      std::fprintf(stderr, "Oops! didn't get a full page at %d\n", static_cast<int>(map_page));
      return 0;
    }
    // The data page must not be disturbed while its map is consulted, so the
    // map page stays in the alternate buffer and its bits are copied first.
    const std::vector<uint8_t> bitmap(handle.alt_page.begin() + 4, handle.alt_page.begin() + handle.PageSize());
    for (uint64_t o = p - block_start; o < block; ++o) {
      if (!BitSet(bitmap.data(), o)) continue;
      const uint64_t page = block_start + o;
      if (page > UINT32_MAX) return 0;
      if (TakePage(table, static_cast<uint32_t>(page))) return static_cast<uint32_t>(page);
    }
    p = block_start + block;
  }
  return 0;
}

uint32_t ScanAllPages(TableDef& table) {
  JetHandle& handle = *table.entry.handle;
  const uint32_t pages = handle.PageCount();
  while (table.current_page + 1u < pages) {
    const uint32_t p = table.current_page + 1u;
    if (TakePage(table, p)) return p;
  }
  return 0;
}

uint32_t NextDataPage(TableDef& table) {
  const int type = table.usage_map.empty() ? -1 : table.usage_map[0];
  switch (type) {
    case 0:
      return ScanInlineMap(table);
    case 1:
      return ScanPageMap(table);
    default:
      std::fprintf(stderr, "Warning: unrecognized usage map type: %d, defaulting to brute force read\n", type);
      return ScanAllPages(table);
  }
}

int FetchRow(TableDef& table) {
  JetHandle& handle = *table.entry.handle;
  if (!table.started) {
    table.started = true;
    table.current_row = 0;
    table.current_page = 0;
    if (NextDataPage(table) == 0) return 0;
  }
  for (;;) {
    // Row work may have read other pages (long values use the alternate
    // buffer, but a caller may have used the handle in between).
    if (handle.current_page != static_cast<int32_t>(table.current_page) || !IsDataPageOf(table, handle)) {
      if (ReadPage(handle, table.current_page) < handle.PageSize() || !IsDataPageOf(table, handle)) return 0;
    }
    const int64_t slots = PageU16(handle, handle.format->RowCountPos);
    if (slots < 0 || table.current_row >= slots) {
      table.current_row = 0;
      if (NextDataPage(table) == 0) return 0;
      continue;
    }
    const int n = table.current_row++;
    if (ReadRow(table, n) == 1) return 1;
  }
}

int ReadRow(TableDef& table, int n) {
  JetHandle& handle = *table.entry.handle;
  const int64_t entry = PageU16(handle, handle.format->RowCountPos + 2 + 2 * n);
  if (entry < 0 || (entry & kRowPointerOrDeleted) != 0) return 0;
  const std::optional<RowExtent> extent = RowBounds(handle.Page(), *handle.format, n);
  if (!extent) {
    std::fprintf(stderr, "Table %s: row %d of page %u lies outside its page\n", table.name.c_str(), n,
                 table.current_page);
    return 0;
  }
  std::vector<FieldSlot> slots(table.columns.count());
  if (CrackRow(table, extent->start, extent->end, slots) < 0) {
    std::fprintf(stderr, "Table %s: row %d of page %u is damaged\n", table.name.c_str(), n, table.current_page);
    return 0;
  }
  for (size_t i = 0; i < slots.size(); ++i) {
    TransferValue(handle, table.columns[i], slots[i].null, slots[i].start, slots[i].length);
  }
  return 1;
}

int CrackRow(TableDef& table, uint32_t start, uint32_t end, std::vector<FieldSlot>& slots) {
  JetHandle& handle = *table.entry.handle;
  const ByteView page = handle.Page();
  if (start > end || end >= page.size()) return -1;
  slots.resize(table.columns.count());
  return handle.IsJet4() ? CrackJet4(table, page, start, end, slots) : CrackJet3(table, page, start, end, slots);
}

void TransferValue(JetHandle& handle, ColumnDef& column, bool null, uint32_t start, uint32_t length) {
  column.last_null = null && column.type != kColumnBoolean;
  if (column.bound == nullptr) return;
  std::string& out = *column.bound;
  if (column.type == kColumnBoolean) {
    out = null ? "0" : "1";
    return;
  }
  if (null || length == 0) {
    out.clear();
    return;
  }
  if (column.type == kColumnNumeric) {
    const std::optional<ByteView> field = handle.Page().Sub(start, length);
    out = field ? RenderNumeric(*field, column.precision, column.scale) : "";
    return;
  }
  out = RenderValue(handle, start, column.type, length);
}

}  // namespace mendora
