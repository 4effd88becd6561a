// A compact multimap of 32-bit keys to 32-bit values, for per-file records
// that grow with the file (the data pages a table has taken, by the digest
// of their bytes): 6 bytes an entry plus a little slack, where a node-based
// map costs 40 to 60.
//
// The entries live in 4096 buckets, each a sorted vector grown by a quarter
// at a time, so that no step of growth copies more than one bucket: the
// peak of a pass is what it keeps, not twice that. The bucket is chosen by
// 12 bits of a mix of the key that can be undone, so an entry keeps only the
// other 20 and a value of up to 28 bits (a page of a file up to a terabyte);
// a larger value takes 8 bytes in buckets of its own, made on first need.
#ifndef MENDORA_READER_PACKED_TABLE_H_
#define MENDORA_READER_PACKED_TABLE_H_

#include <cstdint>
#include <iterator>
#include <memory>
#include <vector>

namespace mendora {

// Inserts `entry` at `at` in the sorted `bucket`, growing it by a quarter
// when full: doubling would leave a third of the memory of a large pass
// unused, and a bucket grown a little at a time copies only itself.
template <typename T>
void InsertSorted(std::vector<T>& bucket, typename std::vector<T>::iterator at, const T& entry) {
  if (bucket.size() == bucket.capacity()) {
    const size_t index = static_cast<size_t>(at - bucket.begin());
    bucket.reserve(bucket.capacity() + bucket.capacity() / 4 + 4);
    at = bucket.begin() + static_cast<std::ptrdiff_t>(index);
  }
  bucket.insert(at, entry);
}

class PackedTable {
  struct Entry {
    uint16_t high;  // the key's 20 bits and the value's top 12, high first
    uint16_t middle;
    uint16_t low;
    uint64_t Number() const { return uint64_t{high} << 32 | uint64_t{middle} << 16 | low; }
  };
  static_assert(sizeof(Entry) == 6);

 public:
  // The entries (key << 32 | value) of one key, in ascending order.
  class Values {
   public:
    class iterator {
     public:
      using value_type = uint64_t;
      using difference_type = std::ptrdiff_t;
      uint64_t operator*() const {
        return near_ != near_end_ ? uint64_t{key_} << 32 | (near_->Number() & kValueMask) : *far_;
      }
      iterator& operator++() {
        if (near_ != near_end_) {
          ++near_;
        } else {
          ++far_;
        }
        return *this;
      }
      iterator operator++(int) {
        iterator before = *this;
        ++*this;
        return before;
      }
      bool operator==(const iterator& other) const { return near_ == other.near_ && far_ == other.far_; }

     private:
      friend class Values;
      const Entry* near_ = nullptr;
      const Entry* near_end_ = nullptr;
      const uint64_t* far_ = nullptr;
      uint32_t key_ = 0;
    };
    iterator begin() const { return At(near_, far_); }
    iterator end() const { return At(near_end_, far_end_); }
    bool empty() const { return near_ == near_end_ && far_ == far_end_; }

   private:
    friend class PackedTable;
    iterator At(const Entry* near, const uint64_t* far) const {
      iterator it;
      it.near_ = near;
      it.near_end_ = near_end_;
      it.far_ = far;
      it.key_ = key_;
      return it;
    }
    const Entry* near_ = nullptr;
    const Entry* near_end_ = nullptr;
    const uint64_t* far_ = nullptr;
    const uint64_t* far_end_ = nullptr;
    uint32_t key_ = 0;
  };

  // The values stored under `key`, in ascending order (a view that the next
  // Insert may invalidate).
  Values Find(uint32_t key) const;
  // Adds (key, value); a pair already there is kept once.
  void Insert(uint32_t key, uint32_t value);
  size_t size() const { return size_; }

  static uint32_t ValueOf(uint64_t entry) { return static_cast<uint32_t>(entry); }

 private:
  static constexpr int kBucketBits = 12;
  static constexpr int kValueBits = 28;
  static constexpr uint64_t kValueMask = (uint64_t{1} << kValueBits) - 1;
  // A bijection of the 32-bit keys: its top bits choose the bucket, the
  // rest stay in the entry.
  static uint32_t Mix(uint32_t key) { return key * 0x9E3779B1u; }

  std::unique_ptr<std::vector<Entry>[]> buckets_;  // made on the first insert
  std::unique_ptr<std::vector<uint64_t>[]> far_buckets_;  // made on the first value past 28 bits
  size_t size_ = 0;
};

}  // namespace mendora

#endif  // MENDORA_READER_PACKED_TABLE_H_
