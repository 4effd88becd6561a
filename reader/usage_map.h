// The pages a usage map names: the inline form (a start page and a bitmap)
// and the form that names map pages, each with the bitmap of one block.
// The row cursor reads maps lazily, page by page; this lists them whole, for
// a reader that must compare them with what the pages say of themselves.
#ifndef MENDORA_READER_USAGE_MAP_H_
#define MENDORA_READER_USAGE_MAP_H_

#include <cstdint>
#include <string>
#include <vector>

#include "reader/jet_format.h"
#include "reader/jet_handle.h"

namespace mendora {

struct UsageMapPages {
  std::vector<uint32_t> pages;  // ascending
  std::vector<std::string> problems;  // map pages that cannot be read, pages past the file
};

// The pages `map` (as a definition's map row holds it) names.
UsageMapPages ListUsageMap(JetHandle& handle, const std::vector<uint8_t>& map);

}  // namespace mendora

#endif  // MENDORA_READER_USAGE_MAP_H_
