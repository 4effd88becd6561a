// Data pages of one owner (a table, a column's long values, usage maps),
// filled with rows from the page's end downwards as Access fills them, each
// written out once the next row no longer fits.
#ifndef MENDORA_OUTPUT_JET_ROW_PAGES_H_
#define MENDORA_OUTPUT_JET_ROW_PAGES_H_

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "output/jet/jet_bytes.h"
#include "output/jet/page_file.h"

namespace mendora::jet {

struct RowAddress {
  uint32_t page = 0;
  uint8_t row = 0;
};

// The pages of an owner as runs of consecutive numbers: a table's pages are
// mostly allocated one after the other, so a million rows cost a few runs.
class PageRuns {
 public:
  void Add(uint32_t page);
  const std::vector<std::pair<uint32_t, uint32_t>>& runs() const { return runs_; }  // (first, count)
  bool empty() const { return runs_.empty(); }
  uint32_t first() const { return runs_.empty() ? 0 : runs_.front().first; }
  uint32_t last() const { return runs_.empty() ? 0 : runs_.back().first + runs_.back().second - 1; }
  uint64_t count() const;

 private:
  std::vector<std::pair<uint32_t, uint32_t>> runs_;
};

// The most rows a data page holds: an index entry names its row in a byte.
inline constexpr uint32_t kMaxRowsPerPage = 255;
// The largest row a data page takes (with its one offset).
uint32_t MaxRowSize();

class RowPageWriter {
 public:
  RowPageWriter(PageFile& file, uint32_t owner, uint32_t max_rows = kMaxRowsPerPage)
      : file_(file), owner_(owner), max_rows_(max_rows) {}
  RowPageWriter(const RowPageWriter&) = delete;
  RowPageWriter& operator=(const RowPageWriter&) = delete;

  // Whether a row of `size` bytes goes on the current page.
  bool Fits(size_t size) const;
  // Places `row`, on a new page when it does not fit the current one.
  // `flags` are the offset's top bits (deleted, overflow).
  RowAddress Add(const Bytes& row, uint16_t flags = 0);
  // Places `row` on a page of its own beginning.
  RowAddress AddOnNewPage(const Bytes& row, uint16_t flags = 0);
  // Writes the current page out; the next row starts a new one.
  void Flush();

  const PageRuns& pages() const { return pages_; }
  // The last page written and its free bytes (0, 0 before any).
  uint32_t last_page() const { return last_page_; }
  uint32_t last_free() const { return last_free_; }

 private:
  void Open();

  PageFile& file_;
  uint32_t owner_;
  uint32_t max_rows_;
  PageRuns pages_;
  std::array<uint8_t, kPageSize> page_{};
  bool open_ = false;
  uint32_t number_ = 0;
  uint16_t rows_ = 0;
  uint32_t top_ = kPageSize;
  uint32_t last_page_ = 0;
  uint32_t last_free_ = 0;
};

// Usage map rows, each kJet4UsageMapRowSize bytes: an inline bitmap when the
// pages lie within its reach, else the numbers of bitmap pages (allocated
// and written from `file`).
Bytes UsageMapRow(PageFile& file, const PageRuns& pages);

}  // namespace mendora::jet

#endif  // MENDORA_OUTPUT_JET_ROW_PAGES_H_
