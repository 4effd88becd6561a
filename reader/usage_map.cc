// Listing the pages of a usage map.
#include "reader/usage_map.h"

#include <algorithm>
#include <unordered_set>

#include "reader/byte_cursor.h"

namespace mendora {

namespace {


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
  ByteCursor view(ByteView(map.data(), map.size()));
  if (map.empty()) {
    out.problems.push_back("it is empty");
    return out;
  }
  const uint8_t kind = view.U8At(0);
  if (kind == kInlineUsageMap) {
    if (map.size() < 5) {
      out.problems.push_back("it is too short to name a page");
      return out;
    }
    const uint32_t first = view.U32At(1);
    for (uint64_t i = 0; i < (map.size() - 5) * 8ull; ++i) {
      if (view.BitAt(5, i) && !add(first + i)) break;
    }
    return out;
  }
  if (kind != kReferenceUsageMap) {
    out.problems.push_back("it is of an unknown kind (" + std::to_string(kind) + ")");
    return out;
  }
  const uint64_t block = (handle.PageSize() - 4ull) * 8ull;
  std::unordered_set<uint32_t> seen;
  PageBuffer buffer{};
  for (uint64_t k = 0; 1 + 4 * k + 4 <= map.size(); ++k) {
    const uint32_t map_page = view.U32At(1 + 4 * k);
    if (map_page == 0) continue;
    if (k * block >= page_count) {
      out.problems.push_back("map page " + std::to_string(map_page) + " stands for pages past the end of the file");
      break;
    }
    if (!seen.insert(map_page).second) {
      out.problems.push_back("map page " + std::to_string(map_page) + " is named for more than one block");
      continue;
    }
    const size_t read = ReadPageInto(handle, buffer, map_page);
    ByteCursor bits(ByteView(buffer.data(), std::min<size_t>(read, buffer.size())));
    if (read < handle.PageSize() || bits.U8At(0) != kUsageMapPageType) {
      out.problems.push_back("map page " + std::to_string(map_page) + " is not a usage map page");
      continue;
    }
    for (uint64_t o = 0; o < block; ++o) {
      if (bits.BitAt(4, o) && !add(k * block + o)) break;
    }
  }
  return out;
}

}  // namespace mendora
