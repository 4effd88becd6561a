// Per-file indexes shared by the tables of a pass.
#include "reader/page_index.h"

#include <algorithm>

#include "reader/jet_handle.h"

namespace mendora {

DataPageIndex::DataPageIndex(JetHandle& handle) {
  const uint32_t pages = handle.PageCount();
  for (uint32_t p = 1; p < pages; ++p) {
    if (ReadAltPage(handle, p) < handle.PageSize() || handle.alt_page[0] != kDataPageType) continue;
    pages_by_owner_[handle.AltPage().U32(kPageOwnerPos).value_or(0)].push_back(p);
  }
}

const std::vector<uint32_t>& DataPageIndex::PagesOf(uint32_t owner) const {
  static const std::vector<uint32_t> kNone;
  const auto found = pages_by_owner_.find(owner);
  return found == pages_by_owner_.end() ? kNone : found->second;
}

bool LongValueClaims::Claim(uint32_t page, uint32_t row, uint64_t owner) {
  // A long-value reference names its page in 24 bits and its row in 8.
  page &= 0xFFFFFF;
  const uint32_t key = page << 8 | (row & 0xFF);
  // The mixing step of splitmix64: owners that differ in one bit differ in
  // about half of the digest's.
  uint64_t mixed = owner + 0x9E3779B97F4A7C15ull;
  mixed = (mixed ^ (mixed >> 30)) * 0xBF58476D1CE4E5B9ull;
  mixed = (mixed ^ (mixed >> 27)) * 0x94D049BB133111EBull;
  const auto digest = static_cast<uint32_t>((mixed ^ (mixed >> 31)) >> 32);
  if (page >= kNearPages) {
    const PackedTable::Values taken = far_.Find(key);
    if (taken.empty()) {
      far_.Insert(key, digest);
      return true;
    }
    return PackedTable::ValueOf(*taken.begin()) == digest;
  }
  if (!near_) near_ = std::make_unique<std::vector<Entry>[]>(size_t{1} << kBucketBits);
  std::vector<Entry>& bucket = near_[page & ((1u << kBucketBits) - 1)];
  const auto near_key = static_cast<uint16_t>((page >> kBucketBits) << 8 | (row & 0xFF));
  const auto at = std::lower_bound(bucket.begin(), bucket.end(), near_key,
                                   [](const Entry& entry, uint16_t k) { return entry.key < k; });
  if (at != bucket.end() && at->key == near_key) {
    return (static_cast<uint32_t>(at->digest_high) << 16 | at->digest_low) == digest;
  }
  const Entry entry{near_key, static_cast<uint16_t>(digest), static_cast<uint16_t>(digest >> 16)};
  InsertSorted(bucket, at, entry);
  ++size_;
  return true;
}

}  // namespace mendora
