// Finding a table's data pages and cracking its rows.
#include "reader/row_fetch.h"

#include <algorithm>
#include <cstdio>

#include "reader/value_render.h"

namespace mendora {

namespace {

constexpr uint8_t kDataPageType = 0x01;
constexpr uint8_t kMapPageType = 0x05;
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

uint32_t VariableColumnCount(const TableDef& table) {
  uint32_t count = 0;
  for (const ColumnDef& column : table.columns) {
    if (!column.fixed && column.type != kColumnBoolean) ++count;
  }
  return count;
}

}  // namespace

std::optional<RowLayout> ParseRowLayout(ByteView page, bool jet4, RowExtent row, bool has_var_table) {
  const uint32_t s = row.start;
  const uint32_t e = row.end;
  if (e < s || e >= page.size()) return std::nullopt;
  const uint32_t size = row.size();
  RowLayout layout;
  layout.count_size = jet4 ? 2 : 1;
  if (size < layout.count_size + 1) return std::nullopt;
  layout.column_count = jet4 ? *page.U16(s) : *page.U8(s);
  layout.bitmap_size = layout.column_count == 0 ? 1 : (layout.column_count - 1) / 8 + 1;
  if (layout.count_size + layout.bitmap_size > size) return std::nullopt;
  layout.bitmap_start = e - layout.bitmap_size + 1;
  layout.data_end = layout.bitmap_start - s;
  if (!has_var_table) return layout;

  const uint32_t m = layout.bitmap_size;
  if (jet4) {
    // From the end: bitmap, variable count, offsets of each variable column
    // (first one nearest the count), then the end-of-data offset.
    if (2u + m + 2u > size) return std::nullopt;
    const uint32_t r = *page.U16(e - m - 1);
    if (2ull + m + 2ull + 2ull * r + 2ull > size) return std::nullopt;
    layout.var_count = r;
    layout.offsets.resize(r + 1);
    for (uint32_t k = 0; k <= r; ++k) layout.offsets[k] = *page.U16(e - m - 3 - 2 * k);
    layout.data_end = e - m - 3 - 2 * r - s;
  } else {
    // From the end: bitmap, variable count, the jump table (one entry for
    // each further 256 bytes of the row, naming the variable column from
    // which offsets count from the next 256-byte boundary), single-byte
    // offsets, then the end-of-data offset.
    if (1u + m + 1u > size) return std::nullopt;
    const uint32_t r = *page.U8(e - m);
    const uint32_t jumps = (size - 1) / 256;
    if (1ull + m + 1ull + jumps + r + 1ull > size) return std::nullopt;
    layout.var_count = r;
    layout.offsets.resize(r + 1);
    const uint32_t jump_top = e - m - 1;
    const uint32_t offsets_top = jump_top - jumps;
    uint32_t base = 0;
    uint32_t jump = 0;
    for (uint32_t k = 0; k <= r; ++k) {
      while (jump < jumps && page.data()[jump_top - jump] == k) {
        base += 256;
        ++jump;
      }
      layout.offsets[k] = base + page.data()[offsets_top - k];
    }
    layout.data_end = offsets_top - r - s;
  }
  return layout;
}

std::optional<std::pair<uint32_t, uint32_t>> VariableExtent(const RowLayout& layout, uint32_t index) {
  if (index >= layout.var_count) return std::nullopt;
  const uint32_t from = layout.offsets[index];
  uint32_t to = layout.offsets[index + 1];
  // A next offset below its start means a 256-byte boundary the jump table
  // did not record: the length is taken modulo 256.
  while (to < from) to += 256;
  if (from < layout.count_size || to > layout.data_end) return std::nullopt;
  return std::make_pair(from, to);
}

namespace {

int CrackWithLayout(TableDef& table, ByteView page, RowExtent row, const RowLayout& layout,
                    std::vector<FieldSlot>& slots) {
  for (size_t i = 0; i < slots.size(); ++i) {
    ColumnDef& column = table.columns[i];
    FieldSlot& slot = slots[i];
    slot = FieldSlot{};
    slot.column = static_cast<int>(i);
    slot.fixed = column.fixed;
    const uint32_t k = column.column_number;
    slot.null = k / 8 >= layout.bitmap_size || ((page.data()[layout.bitmap_start + k / 8] >> (k % 8)) & 1) == 0;
    if (column.type == kColumnBoolean) continue;
    if (column.fixed) {
      const uint64_t at = layout.count_size + static_cast<uint64_t>(column.fixed_offset);
      // A column added after the row was written is not in it.
      if (k >= layout.column_count || at + static_cast<uint32_t>(column.size) > layout.data_end) {
        slot.null = true;
        continue;
      }
      slot.start = row.start + static_cast<uint32_t>(at);
      slot.length = static_cast<uint32_t>(column.size);
      continue;
    }
    if (column.var_column_number >= layout.var_count) {
      slot.null = true;
      continue;
    }
    const auto extent = VariableExtent(layout, column.var_column_number);
    if (!extent) {
      std::fprintf(stderr, "Table %s: variable column %s lies outside its row\n", table.name.c_str(),
                   column.name.c_str());
      slot.null = true;
      continue;
    }
    slot.start = row.start + extent->first;
    slot.length = extent->second - extent->first;
  }
  return static_cast<int>(layout.column_count);
}

}  // namespace

uint32_t ScanInlineMap(TableDef& table) {
  const std::vector<uint8_t>& map = table.usage_map;
  if (map.size() < 5) return 0;
  const uint32_t first = ByteView(map.data(), map.size()).U32(1).value_or(0);
  const uint64_t bits = (map.size() - 5) * 8ull;
  // Resume just after the current page: the search only moves forward.
  for (uint64_t index = table.current_page >= first ? table.current_page - first + 1ull : 0; index < bits; ++index) {
    if (!BitSet(map.data() + 5, index)) continue;
    const uint64_t p = first + index;
    if (p > UINT32_MAX) return 0;
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
    const bool full = ReadAltPage(handle, map_page) == handle.PageSize();
    if (!full || handle.alt_page[0] != kMapPageType) {
      if (!full) {
        std::fprintf(stderr, "Oops! didn't get a full page at %d\n", static_cast<int>(map_page));
      } else {
        std::fprintf(stderr, "Table %s: usage map page %u is damaged\n", table.name.c_str(), map_page);
      }
      // Without its map the block is searched page by page: a data page
      // says which table owns it.
      const uint64_t block_end = std::min<uint64_t>(block_start + block, handle.PageCount());
      for (; p < block_end; ++p) {
        if (TakePage(table, static_cast<uint32_t>(p))) return static_cast<uint32_t>(p);
      }
      continue;
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
  const RowExtent row{start, end};
  // Rows of a table without variable-length columns carry no variable table.
  const std::optional<RowLayout> layout =
      ParseRowLayout(page, handle.IsJet4(), row, VariableColumnCount(table) > 0);
  if (!layout) return -1;
  slots.resize(table.columns.count());
  return CrackWithLayout(table, page, row, *layout, slots);
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
