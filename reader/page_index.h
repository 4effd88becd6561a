// Per-file indexes a pass builds once and every table shares: which data
// pages each table owns, and which long-value rows a value has already
// claimed.
//
// Bounds: the data-page index reads every page of the file once per pass,
// however many tables must be searched without their usage map (a search per
// table read the whole file again for each). The long-value claims name the
// field that owns each long-value row read, so no row is read for more than
// one value; they grow with the long values read, 6 bytes each.
#ifndef MENDORA_READER_PAGE_INDEX_H_
#define MENDORA_READER_PAGE_INDEX_H_

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "reader/packed_table.h"

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
  // The owner is kept as a 32-bit digest: two fields mistaken for one
  // another take one chance in four billion of a row read twice, where a
  // full owner would cost twice the memory of every long value read.
  bool Claim(uint32_t page, uint32_t row, uint64_t owner);
  size_t size() const { return size_ + far_.size(); }

 private:
  // A claim in 6 bytes: the page's low bits choose the bucket, so the entry
  // keeps only the rest of the page and the row. That holds the first
  // million pages, more than a file Access writes has; a reference past them
  // (a damaged one) goes to far_ at 8 bytes.
  static constexpr int kBucketBits = 12;
  static constexpr uint32_t kNearPages = 1u << (kBucketBits + 8);
  struct Entry {
    uint16_t key;  // (page >> kBucketBits) << 8 | row
    uint16_t digest_low;
    uint16_t digest_high;
  };
  static_assert(sizeof(Entry) == 6);

  std::unique_ptr<std::vector<Entry>[]> near_;  // made on the first claim
  size_t size_ = 0;
  PackedTable far_;  // (page << 8 | row) -> digest of the owner
};

// The owner of a long value: the field of one row of one data page.
inline uint64_t LongValueOwner(uint32_t data_page, uint32_t slot, uint32_t column_number) {
  return static_cast<uint64_t>(data_page) << 28 | static_cast<uint64_t>(slot & 0xFFF) << 16 | (column_number & 0xFFFF);
}

}  // namespace mendora

#endif  // MENDORA_READER_PAGE_INDEX_H_
