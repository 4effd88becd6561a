// Per-file indexes a pass builds once and every table shares: which data
// pages each table owns, and which long-value rows a value has already
// claimed.
//
// Bounds: the data-page index reads every page of the file once per pass,
// however many tables must be searched without their usage map (a search per
// table read the whole file again for each). The long-value claims keep one
// bit per possible row of the file's pages, so no long-value row is read for
// more than one value.
#ifndef MENDORA_READER_PAGE_INDEX_H_
#define MENDORA_READER_PAGE_INDEX_H_

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace mendora {

struct JetHandle;

class DataPageIndex {
 public:
  // Reads every page of the file once.
  explicit DataPageIndex(JetHandle& handle);
  // The data pages that name `owner` as their table, in file order.
  const std::vector<uint32_t>& PagesOf(uint32_t owner) const;

 private:
  std::unordered_map<uint32_t, std::vector<uint32_t>> pages_by_owner_;
};

class LongValueClaims {
 public:
  // True the first time row `row` of page `page` is claimed; false when a
  // value already took it (two values cannot share a long-value row).
  bool Claim(uint32_t page, uint32_t row, uint32_t page_count);

 private:
  std::vector<uint64_t> bits_;
};

}  // namespace mendora

#endif  // MENDORA_READER_PAGE_INDEX_H_
