// Page layout numbers, the page store and usage maps.
#include "tests/builder/jet_pages.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "tests/builder/jet_text.h"

namespace mendora::testing::detail {

namespace {

constexpr Layout kJet3 = {JetVersion::kJet3, 2048, 10, 8, 12, 25, 27, 31, 35, 39, 43, 18, 133};
constexpr Layout kJet4 = {JetVersion::kJet4, 4096, 14, 12, 16, 45, 47, 51, 55, 59, 63, 25, 69};

// Largest inline map row that still shares its page with the free-space map
// row and a few more, as the engine's map pages do.
uint32_t MaxInlineMapRow(const Layout& layout) { return layout.max_row() / 2; }

}  // namespace

const Layout& LayoutFor(JetVersion version) { return version == JetVersion::kJet3 ? kJet3 : kJet4; }

uint32_t PageStore::Allocate() {
  auto page = std::make_unique<uint8_t[]>(page_size_);
  std::fill_n(page.get(), page_size_, 0);
  pages_.push_back(std::move(page));
  return count() - 1;
}

RowPageWriter::RowPageWriter(PageStore& store, const Layout& layout, uint32_t owner,
                             int rows_per_page, uint32_t first_page)
    : store_(store),
      layout_(layout),
      owner_(owner),
      rows_per_page_(rows_per_page),
      reserved_first_(first_page) {}

uint32_t RowPageWriter::OpenNewPage() {
  uint32_t number;
  if (reserved_first_ != 0) {
    number = reserved_first_;
    reserved_first_ = 0;
  } else {
    number = store_.Allocate();
  }
  uint8_t* p = store_.Page(number);
  std::fill_n(p, layout_.page_size, 0);
  p[0] = kDataPageType;
  p[1] = kPageMark;
  SetU32(p + 4, owner_);
  SetU16(p + 2, static_cast<uint16_t>(layout_.page_size - layout_.data_header));
  pages_.push_back(number);
  current_ = number;
  has_current_ = true;
  count_ = 0;
  top_ = layout_.page_size;
  return number;
}

uint32_t RowPageWriter::RoomOnCurrentPage() const {
  if (!has_current_) return 0;
  if (rows_per_page_ > 0 && count_ >= rows_per_page_) return 0;
  const uint32_t used = layout_.data_header + 2u * (count_ + 1u);
  return top_ > used ? top_ - used : 0;
}

RowAddress RowPageWriter::Add(const Bytes& row, uint16_t entry_flags) {
  if (row.size() > RoomOnCurrentPage()) return AddOnNewPage(row, entry_flags);
  uint8_t* p = store_.Page(current_);
  top_ -= static_cast<uint32_t>(row.size());
  std::copy(row.begin(), row.end(), p + top_);
  SetU16(p + layout_.data_header + 2u * count_, static_cast<uint16_t>(top_ | entry_flags));
  ++count_;
  SetU16(p + layout_.row_count_pos, count_);
  SetU16(p + 2, static_cast<uint16_t>(top_ - layout_.data_header - 2u * count_));
  return RowAddress{current_, static_cast<uint8_t>(count_ - 1)};
}

RowAddress RowPageWriter::AddOnNewPage(const Bytes& row, uint16_t entry_flags) {
  if (row.size() > layout_.max_row()) {
    throw std::invalid_argument("row of " + std::to_string(row.size()) +
                                " bytes does not fit a page");
  }
  OpenNewPage();
  return Add(row, entry_flags);
}

uint32_t RowPageWriter::FreeSpace(uint32_t page) const {
  const uint8_t* p = store_.Page(page);
  return static_cast<uint32_t>(p[2] | (p[3] << 8));
}

Bytes MakeUsageMap(PageStore& store, const Layout& layout, int type,
                   const std::vector<uint32_t>& pages) {
  Bytes row;
  if (type == 0) {
    uint32_t first = 0;
    uint32_t last = 0;
    if (!pages.empty()) {
      first = *std::min_element(pages.begin(), pages.end()) / 8 * 8;
      last = *std::max_element(pages.begin(), pages.end());
    }
    const uint32_t default_bitmap = layout.map_row_size - 5;
    const uint32_t bitmap = std::max(default_bitmap, pages.empty() ? 0 : (last - first) / 8 + 1);
    if (5 + bitmap > MaxInlineMapRow(layout)) {
      throw std::invalid_argument("pages " + std::to_string(first) + "-" + std::to_string(last) +
                                  " do not fit an inline usage map; use type 1");
    }
    row.assign(5 + bitmap, 0);
    row[0] = 0;
    SetU32(row.data() + 1, first);
    for (uint32_t page : pages) {
      const uint32_t bit = page - first;
      row[5 + bit / 8] |= static_cast<uint8_t>(1u << (bit % 8));
    }
    return row;
  }
  if (type != 1) throw std::invalid_argument("usage map type must be 0 or 1");
  const uint32_t slots = (layout.map_row_size - 1) / 4;
  const uint32_t span = layout.map_page_span();
  row.assign(layout.map_row_size, 0);
  row[0] = 1;
  std::vector<uint32_t> map_pages(slots, 0);
  for (uint32_t page : pages) {
    const uint32_t slot = page / span;
    if (slot >= slots) {
      throw std::invalid_argument("page " + std::to_string(page) +
                                  " lies beyond what a usage map can cover");
    }
    if (map_pages[slot] == 0) {
      map_pages[slot] = store.Allocate();
      uint8_t* m = store.Page(map_pages[slot]);
      m[0] = kUsageMapPageType;
      m[1] = kPageMark;
      SetU32(row.data() + 1 + 4 * slot, map_pages[slot]);
    }
    const uint32_t bit = page - slot * span;
    store.Page(map_pages[slot])[4 + bit / 8] |= static_cast<uint8_t>(1u << (bit % 8));
  }
  return row;
}

Bytes MakeAnyUsageMap(PageStore& store, const Layout& layout, const std::vector<uint32_t>& pages) {
  if (!pages.empty()) {
    const uint32_t first = *std::min_element(pages.begin(), pages.end()) / 8 * 8;
    const uint32_t last = *std::max_element(pages.begin(), pages.end());
    if (5 + (last - first) / 8 + 1 > MaxInlineMapRow(layout)) {
      return MakeUsageMap(store, layout, 1, pages);
    }
  }
  return MakeUsageMap(store, layout, 0, pages);
}

}  // namespace mendora::testing::detail
