// Pages of a file being built: the per-version layout numbers, the page
// store, the writer that stacks rows into data pages, and usage maps.
#ifndef MENDORA_TESTS_BUILDER_JET_PAGES_H_
#define MENDORA_TESTS_BUILDER_JET_PAGES_H_

#include <cstdint>
#include <memory>
#include <vector>

#include "reader/jet_format.h"
#include "tests/builder/jet_builder.h"

namespace mendora::testing::detail {

struct Layout {
  JetVersion version;
  uint32_t page_size;
  uint32_t data_header;    // bytes before the first row-offset entry
  uint32_t row_count_pos;  // 16-bit row count of a data page
  // Table definition
  uint32_t def_rows_pos;
  uint32_t def_column_count_pos;
  uint32_t def_index_count_pos;
  uint32_t def_real_index_count_pos;
  uint32_t def_usage_map_pos;
  uint32_t def_free_map_pos;
  uint32_t def_columns_pos;  // first column record when there are no indexes
  uint32_t column_record_size;
  // A usage map row of the size the engine writes: type byte, then either
  // first page + bitmap (type 0) or map page numbers (type 1).
  uint32_t map_row_size;
  // Jet 3 text: the code page it is written in, the one the header names,
  // and the header's sort order (a Windows locale id).
  int code_page = 1252;
  int header_code_page = 1252;
  uint16_t sort_order = 0x0409;

  bool jet4() const { return version == JetVersion::kJet4; }
  // Largest row a data page takes (one row-offset entry).
  uint32_t max_row() const { return page_size - data_header - 2; }
  // Pages one map page covers.
  uint32_t map_page_span() const { return (page_size - 4) * 8; }
};

const Layout& LayoutFor(JetVersion version);

// The file's pages in number order, each allocated zero-filled. Pages are held
// one by one so growing the file never copies it.
class PageStore {
 public:
  explicit PageStore(uint32_t page_size) : page_size_(page_size) {}
  uint32_t Allocate();
  uint8_t* Page(uint32_t number) { return pages_.at(number).get(); }
  const uint8_t* Page(uint32_t number) const { return pages_.at(number).get(); }
  uint32_t count() const { return static_cast<uint32_t>(pages_.size()); }
  uint32_t page_size() const { return page_size_; }

 private:
  uint32_t page_size_;
  std::vector<std::unique_ptr<uint8_t[]>> pages_;
};

struct RowAddress {
  uint32_t page = 0;
  uint8_t row = 0;
};

// Row-offset entry marks.
constexpr uint16_t kRowDeleted = kSlotDeletedMark;  // both marks, as the engine writes them
constexpr uint16_t kRowLookup = kSlotMovedHereFlag;

// Stacks rows into data pages from the page end downwards, as the engine
// does, opening a new page when a row no longer fits.
class RowPageWriter {
 public:
  // `owner` goes to offset 4: the definition page of the owning table, or the
  // long-value marker. `first_page`, when not 0, is an already reserved page
  // to fill before allocating new ones.
  RowPageWriter(PageStore& store, const Layout& layout, uint32_t owner, int rows_per_page = 0,
                uint32_t first_page = 0);

  // Free bytes a row may still take on the current page (0 without one).
  uint32_t RoomOnCurrentPage() const;
  // Places `row`, on a new page when it does not fit the current one.
  RowAddress Add(const Bytes& row, uint16_t entry_flags = 0);
  // Places `row` on a fresh page.
  RowAddress AddOnNewPage(const Bytes& row, uint16_t entry_flags = 0);
  // Where the next row on a fresh page will go, allocating that page now.
  uint32_t OpenNewPage();

  const std::vector<uint32_t>& pages() const { return pages_; }
  uint32_t FreeSpace(uint32_t page) const;

 private:
  PageStore& store_;
  const Layout& layout_;
  uint32_t owner_;
  int rows_per_page_;
  uint32_t reserved_first_;
  std::vector<uint32_t> pages_;
  uint32_t current_ = 0;
  bool has_current_ = false;
  uint16_t count_ = 0;
  uint32_t top_ = 0;  // start of the lowest row on the current page
};

// A usage map row of `type` (0 or 1) covering exactly `pages`. Map pages a
// type 1 map needs are allocated from `store`. Throws std::invalid_argument
// when a type 0 map cannot cover the pages within one row, or a type 1 map
// has too few slots.
Bytes MakeUsageMap(PageStore& store, const Layout& layout, int type,
                   const std::vector<uint32_t>& pages);
// Type 0 when the pages fit one inline map row, type 1 otherwise.
Bytes MakeAnyUsageMap(PageStore& store, const Layout& layout, const std::vector<uint32_t>& pages);

}  // namespace mendora::testing::detail

#endif  // MENDORA_TESTS_BUILDER_JET_PAGES_H_
