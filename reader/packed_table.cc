// The compact multimap of per-file records.
#include "reader/packed_table.h"

#include <algorithm>

namespace mendora {

std::span<const uint64_t> PackedTable::Find(uint32_t key) const {
  if (!buckets_) return {};
  const std::vector<uint64_t>& bucket = buckets_[BucketOf(key)];
  const uint64_t low = static_cast<uint64_t>(key) << 32;
  const auto first = std::lower_bound(bucket.begin(), bucket.end(), low);
  auto last = first;
  while (last != bucket.end() && (*last >> 32) == key) ++last;
  return {bucket.data() + (first - bucket.begin()), static_cast<size_t>(last - first)};
}

void PackedTable::Insert(uint32_t key, uint32_t value) {
  if (!buckets_) buckets_ = std::make_unique<std::vector<uint64_t>[]>(size_t{1} << kBucketBits);
  std::vector<uint64_t>& bucket = buckets_[BucketOf(key)];
  const uint64_t entry = static_cast<uint64_t>(key) << 32 | value;
  const auto at = std::lower_bound(bucket.begin(), bucket.end(), entry);
  if (at != bucket.end() && *at == entry) return;
  if (bucket.size() == bucket.capacity()) {
    // A quarter more at a time: doubling would leave a third of the memory
    // of a large pass unused.
    const size_t index = static_cast<size_t>(at - bucket.begin());
    bucket.reserve(bucket.capacity() + bucket.capacity() / 4 + 4);
    bucket.insert(bucket.begin() + static_cast<std::ptrdiff_t>(index), entry);
  } else {
    bucket.insert(at, entry);
  }
  ++size_;
}

}  // namespace mendora
