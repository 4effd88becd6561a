// Listing the pages of a usage map.
#include "reader/usage_map.h"

#include <unordered_set>

namespace mendora {

namespace {

bool BitSet(const uint8_t* bits, uint64_t index) { return ((bits[index / 8] >> (index % 8)) & 1) != 0; }

}  // namespace

UsageMapPages ListUsageMap(JetHandle& handle, const std::vector<uint8_t>& map) {
  UsageMapPages out;
  const uint64_t page_count = handle.PageCount();
  const auto add = [&](uint64_t page) {
    if (page >= page_count) {
      out.problems.push_back("it names page " + std::to_string(page) + ", past the end of the file");
      return false;
    }
    out.pages.push_back(static_cast<uint32_t>(page));
    return true;
  };
  const ByteView view(map.data(), map.size());
  if (map.empty()) {
    out.problems.push_back("it is empty");
    return out;
  }
  if (map[0] == kInlineUsageMap) {
    if (map.size() < 5) {
      out.problems.push_back("it is too short to name a page");
      return out;
    }
    const uint32_t first = *view.U32(1);
    for (uint64_t i = 0; i < (map.size() - 5) * 8ull; ++i) {
      if (BitSet(map.data() + 5, i) && !add(first + i)) break;
    }
    return out;
  }
  if (map[0] != kReferenceUsageMap) {
    out.problems.push_back("it is of an unknown kind (" + std::to_string(map[0]) + ")");
    return out;
  }
  const uint64_t block = (handle.PageSize() - 4ull) * 8ull;
  std::unordered_set<uint32_t> seen;
  PageBuffer buffer{};
  for (uint64_t k = 0; 1 + 4 * k + 4 <= map.size(); ++k) {
    const uint32_t map_page = *view.U32(1 + 4 * k);
    if (map_page == 0) continue;
    if (k * block >= page_count) {
      out.problems.push_back("map page " + std::to_string(map_page) + " stands for pages past the end of the file");
      break;
    }
    if (!seen.insert(map_page).second) {
      out.problems.push_back("map page " + std::to_string(map_page) + " is named for more than one block");
      continue;
    }
    if (ReadPageInto(handle, buffer, map_page) < handle.PageSize() || buffer[0] != kUsageMapPageType) {
      out.problems.push_back("map page " + std::to_string(map_page) + " is not a usage map page");
      continue;
    }
    for (uint64_t o = 0; o < block; ++o) {
      if (BitSet(buffer.data() + 4, o) && !add(k * block + o)) break;
    }
  }
  return out;
}

}  // namespace mendora
