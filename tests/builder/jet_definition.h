// Table definitions: their bytes and how they run across a definition page
// and its continuation pages.
#ifndef MENDORA_TESTS_BUILDER_JET_DEFINITION_H_
#define MENDORA_TESTS_BUILDER_JET_DEFINITION_H_

#include <cstdint>
#include <vector>

#include "tests/builder/jet_pages.h"
#include "tests/builder/jet_rows.h"

namespace mendora::testing::detail {

struct DefinitionFields {
  const TableSchema* schema = nullptr;
  bool system = false;
  uint32_t row_count = 0;
  RowAddress usage_map;
  RowAddress free_map;
};

// The definition as one run of bytes, the first 8 being the first page's
// header (filled in per page when written). Tables are written without
// indexes: the column records follow the header directly, then the names,
// then the 0xFFFF that closes the definition.
Bytes SerializeDefinition(const Layout& layout, const DefinitionFields& fields);

// Pages a definition of `size` bytes takes when each page carries at most
// `capacity` bytes of it after its header (0 = a full page).
uint32_t DefinitionPageCount(const Layout& layout, size_t size, int capacity);

// Writes `definition` over `pages` (as many as DefinitionPageCount said),
// chaining each page to the next through offset 4.
void WriteDefinitionPages(PageStore& store, const Layout& layout, const Bytes& definition,
                          const std::vector<uint32_t>& pages, int capacity);

}  // namespace mendora::testing::detail

#endif  // MENDORA_TESTS_BUILDER_JET_DEFINITION_H_
