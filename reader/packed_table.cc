// The compact multimap of per-file records.
#include "reader/packed_table.h"

#include <algorithm>

namespace mendora {

PackedTable::Values PackedTable::Find(uint32_t key) const {
  Values found;
  found.key_ = key;
  const uint32_t mixed = Mix(key);
  const uint32_t bucket_index = mixed >> (32 - kBucketBits);
  if (buckets_) {
    const std::vector<Entry>& bucket = buckets_[bucket_index];
    const uint64_t residue = mixed & ((1u << (32 - kBucketBits)) - 1);
    const auto first = std::lower_bound(bucket.begin(), bucket.end(), residue << kValueBits,
                                        [](const Entry& entry, uint64_t n) { return entry.Number() < n; });
    auto last = first;
    while (last != bucket.end() && (last->Number() >> kValueBits) == residue) ++last;
    found.near_ = bucket.data() + (first - bucket.begin());
    found.near_end_ = bucket.data() + (last - bucket.begin());
  }
  if (far_buckets_) {
    const std::vector<uint64_t>& bucket = far_buckets_[bucket_index];
    const uint64_t low = static_cast<uint64_t>(key) << 32;
    const auto first = std::lower_bound(bucket.begin(), bucket.end(), low);
    auto last = first;
    while (last != bucket.end() && (*last >> 32) == key) ++last;
    found.far_ = bucket.data() + (first - bucket.begin());
    found.far_end_ = bucket.data() + (last - bucket.begin());
  }
  return found;
}

void PackedTable::Insert(uint32_t key, uint32_t value) {
  const uint32_t mixed = Mix(key);
  const uint32_t bucket_index = mixed >> (32 - kBucketBits);
  if (value > kValueMask) {
    if (!far_buckets_) far_buckets_ = std::make_unique<std::vector<uint64_t>[]>(size_t{1} << kBucketBits);
    std::vector<uint64_t>& bucket = far_buckets_[bucket_index];
    const uint64_t entry = static_cast<uint64_t>(key) << 32 | value;
    const auto at = std::lower_bound(bucket.begin(), bucket.end(), entry);
    if (at != bucket.end() && *at == entry) return;
    InsertSorted(bucket, at, entry);
    ++size_;
    return;
  }
  if (!buckets_) buckets_ = std::make_unique<std::vector<Entry>[]>(size_t{1} << kBucketBits);
  std::vector<Entry>& bucket = buckets_[bucket_index];
  const uint64_t number = static_cast<uint64_t>(mixed & ((1u << (32 - kBucketBits)) - 1)) << kValueBits | value;
  const auto at = std::lower_bound(bucket.begin(), bucket.end(), number,
                                   [](const Entry& entry, uint64_t n) { return entry.Number() < n; });
  if (at != bucket.end() && at->Number() == number) return;
  InsertSorted(bucket, at, Entry{static_cast<uint16_t>(number >> 32), static_cast<uint16_t>(number >> 16),
                             static_cast<uint16_t>(number)});
  ++size_;
}

}  // namespace mendora
