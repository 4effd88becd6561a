// Per-file indexes a pass builds once and every table shares: which data
// pages each table owns, and which long-value rows a value has already
// claimed.
//
// Bounds: the data-page index reads every page of the file once per pass,
// however many tables must be searched without their usage map (a search per
// table read the whole file again for each). The long-value claims name the
// field that owns each long-value row read, so no row is read for more than
// one value; they grow with the long values read, not with the file.
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
  // True when row `row` of page `page` is free or already `owner`'s (the
  // same field read again); false when another value took it: two values
  // cannot share a long-value row.
  bool Claim(uint32_t page, uint32_t row, uint64_t owner);

 private:
  std::unordered_map<uint64_t, uint64_t> owners_;
};

// The owner of a long value: the field of one row of one data page.
inline uint64_t LongValueOwner(uint32_t data_page, uint32_t slot, uint32_t column_number) {
  return static_cast<uint64_t>(data_page) << 28 | static_cast<uint64_t>(slot & 0xFFF) << 16 | (column_number & 0xFFFF);
}

}  // namespace mendora

#endif  // MENDORA_READER_PAGE_INDEX_H_
