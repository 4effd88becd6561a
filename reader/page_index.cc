// Per-file indexes shared by the tables of a pass.
#include "reader/page_index.h"

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
  const uint64_t key = static_cast<uint64_t>(page) << 8 | (row & 0xFF);
  const auto [at, fresh] = owners_.emplace(key, owner);
  return fresh || at->second == owner;
}

}  // namespace mendora
