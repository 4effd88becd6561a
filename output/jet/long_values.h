// Long values (memo, OLE) of a table being written: kept in the row when
// small, else on long-value pages of their column, in one row or in a chain
// of rows each naming the next.
#ifndef MENDORA_OUTPUT_JET_LONG_VALUES_H_
#define MENDORA_OUTPUT_JET_LONG_VALUES_H_

#include <map>
#include <memory>

#include "output/jet/jet_bytes.h"
#include "output/jet/page_file.h"
#include "output/jet/row_pages.h"

namespace mendora::jet {

// The longest value Access keeps inside its row.
inline constexpr size_t kMaxInlineLongValue = 64;

class LongValueWriter {
 public:
  explicit LongValueWriter(PageFile& file) : file_(file) {}

  // The 12-byte field of `content` for `column`, whose row is already
  // `row_size` bytes long.
  Bytes Write(size_t column, const Bytes& content, size_t row_size);
  // Writes every open page out.
  void Flush();
  // The long-value pages of `column` (empty when it got none), and its
  // last page with room, for its free-space map.
  const PageRuns* PagesOf(size_t column) const;
  uint32_t PageWithRoom(size_t column) const;

 private:
  RowPageWriter& PagesFor(size_t column);

  PageFile& file_;
  std::map<size_t, std::unique_ptr<RowPageWriter>> columns_;
};

}  // namespace mendora::jet

#endif  // MENDORA_OUTPUT_JET_LONG_VALUES_H_
