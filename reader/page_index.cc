// Per-file indexes shared by the tables of a pass.
#include "reader/page_index.h"

#include "reader/jet_handle.h"

namespace mendora {

namespace {
constexpr uint8_t kDataPageType = 0x01;
constexpr uint32_t kRowsPerPage = 256;  // a row number is one byte
}  // namespace

DataPageIndex::DataPageIndex(JetHandle& handle) {
  const uint32_t pages = handle.PageCount();
  for (uint32_t p = 1; p < pages; ++p) {
    if (ReadAltPage(handle, p) < handle.PageSize() || handle.alt_page[0] != kDataPageType) continue;
    pages_by_owner_[handle.AltPage().U32(4).value_or(0)].push_back(p);
  }
}

const std::vector<uint32_t>& DataPageIndex::PagesOf(uint32_t owner) const {
  static const std::vector<uint32_t> kNone;
  const auto found = pages_by_owner_.find(owner);
  return found == pages_by_owner_.end() ? kNone : found->second;
}

bool LongValueClaims::Claim(uint32_t page, uint32_t row, uint32_t page_count) {
  if (page >= page_count || row >= kRowsPerPage) return true;  // not a row of the file: nothing to share
  if (bits_.empty()) bits_.assign((static_cast<uint64_t>(page_count) * kRowsPerPage + 63) / 64, 0);
  const uint64_t index = static_cast<uint64_t>(page) * kRowsPerPage + row;
  uint64_t& word = bits_[index / 64];
  const uint64_t bit = uint64_t{1} << (index % 64);
  if ((word & bit) != 0) return false;
  word |= bit;
  return true;
}

}  // namespace mendora
