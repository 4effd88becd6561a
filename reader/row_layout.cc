// Row slots of a data page and the layout of a row.
#include "reader/row_layout.h"

#include <algorithm>

namespace mendora {

std::optional<RowExtent> RowBounds(ByteView page, const JetFormat& format, int n) {
  const std::optional<uint16_t> count = page.U16(format.RowCountPos);
  if (!count || n < 0 || n >= *count) return std::nullopt;
  const uint32_t table_end = format.RowCountPos + 2u + 2u * *count;
  const std::optional<uint16_t> entry = page.U16(format.RowCountPos + 2u + 2u * static_cast<uint32_t>(n));
  if (!entry) return std::nullopt;
  const uint32_t start = *entry & kSlotOffsetMask;
  if (start < table_end || start >= format.PageSize) return std::nullopt;
  uint32_t end = format.PageSize - 1;
  for (uint32_t j = 0; j < *count; ++j) {
    const std::optional<uint16_t> other = page.U16(format.RowCountPos + 2u + 2u * j);
    if (!other) break;
    const uint32_t other_start = *other & kSlotOffsetMask;
    if (other_start > start && other_start - 1 < end) end = other_start - 1;
  }
  return RowExtent{start, end};
}

void PageSlots::Load(ByteView page, const JetFormat& format) {
  entries_.clear();
  ends_.clear();
  order_.clear();
  const uint32_t page_size = std::min<uint32_t>(format.PageSize, static_cast<uint32_t>(page.size()));
  const std::optional<uint16_t> count = page.U16(format.RowCountPos);
  if (!count) return;
  const uint32_t table_end = format.RowCountPos + 2u + 2u * *count;
  // A count that runs past the page: the slots that fit.
  const size_t fit = (page.size() - format.RowCountPos - 2u) / 2u;
  entries_.resize(std::min<size_t>(*count, fit));
  const uint8_t* at = page.data() + format.RowCountPos + 2u;
  for (uint16_t& entry : entries_) {
    entry = static_cast<uint16_t>(at[0] | at[1] << 8);
    at += 2;
  }
  ends_.assign(entries_.size(), kNoRow);
  // Rows are written from the page's end down, so each slot's start lies
  // below the one before it: the nearest start above a row's is then the
  // slot before's, with no sorting.
  bool descending = true;
  for (size_t j = 1; j < entries_.size() && descending; ++j) {
    descending = (entries_[j] & kSlotOffsetMask) < (entries_[j - 1] & kSlotOffsetMask);
  }
  if (descending) {
    uint32_t above = page_size;
    for (size_t j = 0; j < entries_.size(); ++j) {
      const uint32_t start = entries_[j] & kSlotOffsetMask;
      if (start >= table_end && start < page_size) ends_[j] = static_cast<uint16_t>(std::min(above, page_size) - 1);
      above = start;
    }
    return;
  }
  // A row ends before the nearest start above its own (slots that share a
  // start share an end), or at the page's end.
  for (uint32_t j = 0; j < entries_.size(); ++j) {
    order_.push_back(static_cast<uint32_t>(entries_[j] & kSlotOffsetMask) << 16 | j);
  }
  std::sort(order_.begin(), order_.end());
  uint32_t end = page_size - 1;
  for (size_t k = order_.size(); k-- > 0;) {
    const uint32_t start = order_[k] >> 16;
    if (k + 1 < order_.size() && (order_[k + 1] >> 16) > start) end = std::min(end, (order_[k + 1] >> 16) - 1);
    if (start >= table_end && start < page_size) ends_[order_[k] & 0xFFFF] = static_cast<uint16_t>(end);
  }
}

bool ParseRowLayout(ByteView page, bool jet4, RowExtent row, bool has_var_table, RowLayout& layout) {
  const uint32_t s = row.start;
  const uint32_t e = row.end;
  if (e < s || e >= page.size()) return false;
  layout.count_size = jet4 ? 2 : 1;
  layout.var_count = 0;
  const uint32_t size = row.size();
  if (size < layout.count_size + 1) {
    layout.offsets.clear();
    return false;
  }
  // Every read below lies in [s, e], inside the page: each is preceded by
  // the check that the row is long enough for it. The offsets are read for
  // every row decoded, so they are read without a check of their own.
  const uint8_t* b = page.data();
  const auto u16 = [b](uint32_t at) { return static_cast<uint32_t>(b[at] | (b[at + 1] << 8)); };
  layout.column_count = jet4 ? u16(s) : b[s];
  layout.bitmap_size = layout.column_count == 0 ? 1 : (layout.column_count - 1) / 8 + 1;
  if (layout.count_size + layout.bitmap_size > size) {
    layout.offsets.clear();
    return false;
  }
  layout.bitmap_start = e - layout.bitmap_size + 1;
  layout.data_end = layout.bitmap_start - s;
  if (!has_var_table) {
    layout.offsets.clear();
    return true;
  }

  const uint32_t m = layout.bitmap_size;
  if (jet4) {
    // From the end: bitmap, variable count, offsets of each variable column
    // (first one nearest the count), then the end-of-data offset.
    if (2u + m + 2u > size) {
      layout.offsets.clear();
      return false;
    }
    const uint32_t r = u16(e - m - 1);
    if (2ull + m + 2ull + 2ull * r + 2ull > size) {
      layout.offsets.clear();
      return false;
    }
    layout.var_count = r;
    // Resized, not cleared first: a row of the same count as the last one
    // keeps the storage without filling it again.
    layout.offsets.resize(r + 1);
    uint32_t* offsets = layout.offsets.data();
    for (uint32_t k = 0; k <= r; ++k) offsets[k] = u16(e - m - 3 - 2 * k);
    layout.data_end = e - m - 3 - 2 * r - s;
  } else {
    // From the end: bitmap, variable count, the jump table (one entry for
    // each further 256 bytes of the row, naming the variable column from
    // which offsets count from the next 256-byte boundary), single-byte
    // offsets, then the end-of-data offset.
    if (1u + m + 1u > size) {
      layout.offsets.clear();
      return false;
    }
    const uint32_t r = b[e - m];
    const uint32_t jumps = (size - 1) / 256;
    if (1ull + m + 1ull + jumps + r + 1ull > size) {
      layout.offsets.clear();
      return false;
    }
    layout.var_count = r;
    layout.offsets.resize(r + 1);
    const uint32_t jump_top = e - m - 1;
    const uint32_t offsets_top = jump_top - jumps;
    uint32_t base = 0;
    uint32_t jump = 0;
    for (uint32_t k = 0; k <= r; ++k) {
      while (jump < jumps && b[jump_top - jump] == k) {
        base += 256;
        ++jump;
      }
      layout.offsets[k] = base + b[offsets_top - k];
    }
    layout.data_end = offsets_top - r - s;
  }
  return true;
}

std::optional<RowLayout> ParseRowLayout(ByteView page, bool jet4, RowExtent row, bool has_var_table) {
  RowLayout layout;
  if (!ParseRowLayout(page, jet4, row, has_var_table, layout)) return std::nullopt;
  return layout;
}

}  // namespace mendora
