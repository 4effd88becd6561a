// A compact multimap of 32-bit keys to 32-bit values, for per-file records
// that grow with the file (the data pages a table has taken, the long-value
// rows values have claimed): 8 bytes an entry plus a little slack, where a
// node-based map costs 40 to 60.
//
// The entries live in 4096 buckets, each a sorted vector grown by a quarter
// at a time, so that no step of growth copies more than one bucket: the
// peak of a pass is what it keeps, not twice that.
#ifndef MENDORA_READER_PACKED_TABLE_H_
#define MENDORA_READER_PACKED_TABLE_H_

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace mendora {

class PackedTable {
 public:
  // The values stored under `key`, in ascending order (a view that the next
  // Insert may invalidate).
  std::span<const uint64_t> Find(uint32_t key) const;
  // Adds (key, value); a pair already there is kept once.
  void Insert(uint32_t key, uint32_t value);
  size_t size() const { return size_; }

  static uint32_t ValueOf(uint64_t entry) { return static_cast<uint32_t>(entry); }

 private:
  static constexpr int kBucketBits = 12;
  static uint32_t BucketOf(uint32_t key) { return (key * 0x9E3779B1u) >> (32 - kBucketBits); }

  std::unique_ptr<std::vector<uint64_t>[]> buckets_;  // made on the first insert
  size_t size_ = 0;
};

}  // namespace mendora

#endif  // MENDORA_READER_PACKED_TABLE_H_
