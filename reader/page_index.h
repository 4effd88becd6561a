// Per-file indexes a pass builds once and every table shares: which data
// pages each table owns, and which long-value rows a value has already
// claimed.
//
// Bounds: the data-page index reads every page of the file once per pass,
// however many tables must be searched without their usage map (a search per
// table read the whole file again for each). The long-value claims name the
// field that owns each long-value row read, so no row is read for more than
// one value; they grow with the long-value rows read, about 2 bytes each when
// read in file order, 4 backwards and some 13 in no order at all.
#ifndef MENDORA_READER_PAGE_INDEX_H_
#define MENDORA_READER_PAGE_INDEX_H_

#include <cstdint>
#include <memory>
#include <map>
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
  size_t size() const { return size_; }

 private:
  // The claims are kept whole, in the order of their rows (page << 8 | row),
  // in blocks of up to kBlockBytes bytes. Each claim is written as its
  // difference from the one before it in its block: the rows of a
  // long-value page are read one after another, by the fields of rows near
  // each other, so most claims take two bytes where a table of owner
  // digests took six and more. A claim out of order is written into its
  // block, which splits in two when full; a long value read in file order
  // only ever adds to the last block. Claims in no order cost the more: far
  // apart, each takes up to 15 bytes in blocks a quarter empty.
  static constexpr uint32_t kBlockBytes = 128;
  static constexpr uint32_t kBlocksPerChunk = 128;
  struct Entry {
    uint32_t key = 0;  // page << 8 | row
    uint64_t page = 0;  // the owner's fields (see LongValueOwner), apart so that each differs a little
    uint32_t slot = 0;
    uint32_t column = 0;
  };
  struct Block {
    uint32_t storage;  // which kBlockBytes of chunks_ hold it
    uint32_t used;  // bytes
  };
  // Blocks by the key of their first claim. A tree, so that
  // claims in no order, which split blocks anywhere, cost no more than a
  // search each however many there are.
  using Blocks = std::map<uint32_t, Block>;
  // Writes `entry` as the step from `before` at `out`; returns the bytes.
  static uint32_t Encode(const Entry& before, const Entry& entry, uint8_t* out);
  // Reads the entry after `before` from `in`; returns the bytes read.
  static uint32_t Decode(const Entry& before, const uint8_t* in, Entry& entry);
  uint8_t* Storage(uint32_t index) const {
    return chunks_[index / kBlocksPerChunk].get() + (index % kBlocksPerChunk) * kBlockBytes;
  }
  uint32_t NewStorage();
  // Keys `block` by `first`, its first claim's key now.
  void Rekey(Blocks::iterator& block, uint32_t first);
  // Writes entries [from, to) into block `block` as a block of their own.
  void Write(Block& block, const Entry* from, const Entry* to);

  Blocks blocks_;
  std::vector<std::unique_ptr<uint8_t[]>> chunks_;
  uint32_t storage_taken_ = 0;
  Entry last_;  // the claim of the largest key, the last of the last block
  // Where the claim after the one found last begins, and that claim (for a
  // row read again, the next row read is most often the next claim); no
  // block once any claim is added.
  bool has_next_ = false;
  Blocks::iterator next_block_;
  uint32_t next_offset_ = 0;
  Entry next_before_;
  size_t size_ = 0;
};

// The owner of a long value: the field of one row of one data page.
inline uint64_t LongValueOwner(uint32_t data_page, uint32_t slot, uint32_t column_number) {
  return static_cast<uint64_t>(data_page) << 28 | static_cast<uint64_t>(slot & 0xFFF) << 16 | (column_number & 0xFFFF);
}

}  // namespace mendora

#endif  // MENDORA_READER_PAGE_INDEX_H_
