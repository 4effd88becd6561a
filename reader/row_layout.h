// Where rows lie in a data page, and where a row's values lie in the row.
//
// A data page has a table of row offsets after its header; a row ends just
// before the nearest row stored above it. A row stores its column count, its
// fixed-length values, its variable-length values, a table of their offsets
// and a null mask, in the Jet 3 or the Jet 4 layout.
#ifndef MENDORA_READER_ROW_LAYOUT_H_
#define MENDORA_READER_ROW_LAYOUT_H_

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "reader/byte_view.h"
#include "reader/jet_format.h"

namespace mendora {

// The bytes of one row of a page: [start, end] inclusive.
struct RowExtent {
  uint32_t start = 0;
  uint32_t end = 0;
  uint32_t size() const { return end - start + 1; }
};

// The extent of row slot n of `page`, or nothing when the slot does not
// describe bytes inside the page. Deleted slots that share an offset share
// an extent.
std::optional<RowExtent> RowBounds(ByteView page, const JetFormat& format, int n);

// Every slot of a page, worked out once: finding one row's end no longer
// looks at every other slot of its page.
class PageSlots {
 public:
  PageSlots() = default;
  PageSlots(ByteView page, const JetFormat& format) { Load(page, format); }
  void Load(ByteView page, const JetFormat& format);

  uint32_t count() const { return static_cast<uint32_t>(entries_.size()); }
  // The slot's stored entry (offset and flag bits).
  uint16_t entry(uint32_t n) const { return entries_[n]; }
  std::optional<RowExtent> extent(uint32_t n) const {
    if (n >= entries_.size() || ends_[n] == kNoRow) return std::nullopt;
    return RowExtent{static_cast<uint32_t>(entries_[n] & kSlotOffsetMask), ends_[n]};
  }

 private:
  // Where a slot's bytes end, or kNoRow for a slot that names no bytes
  // inside the page: asked for every row decoded, so it is a lookup.
  static constexpr uint16_t kNoRow = 0xFFFF;
  std::vector<uint16_t> entries_;
  std::vector<uint16_t> ends_;
  std::vector<uint32_t> order_;  // Load's scratch: start << 16 | slot
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

  // Whether the null mask marks stored column `number` as holding a value.
  bool HasValue(ByteView page, uint32_t number) const {
    return number / 8 < bitmap_size && ((page.U8(bitmap_start + number / 8).value_or(0) >> (number % 8)) & 1) != 0;
  }
};

// Parses the row's column count, bitmap and variable-column table into
// `layout`; false when they do not fit inside the row. Rows of tables without
// variable-length columns have no variable table.
bool ParseRowLayout(ByteView page, bool jet4, RowExtent row, bool has_var_table, RowLayout& layout);
std::optional<RowLayout> ParseRowLayout(ByteView page, bool jet4, RowExtent row, bool has_var_table);
// [from, to) of variable column `index` relative to the row start. Inline:
// asked for every variable value of every row.
inline std::optional<std::pair<uint32_t, uint32_t>> VariableExtent(const RowLayout& layout, uint32_t index) {
  if (index >= layout.var_count) return std::nullopt;
  const uint32_t from = layout.offsets[index];
  uint32_t to = layout.offsets[index + 1];
  // A next offset below its start means a 256-byte boundary the jump table
  // did not record: the length is taken modulo 256.
  while (to < from) to += 256;
  if (from < layout.count_size || to > layout.data_end) return std::nullopt;
  return std::make_pair(from, to);
}

}  // namespace mendora

#endif  // MENDORA_READER_ROW_LAYOUT_H_
