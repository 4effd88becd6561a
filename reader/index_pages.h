// Reading the pages of a real index: one page into its entries, and a whole
// index from its root down to its leaves, in key order.
//
// Index pages are as untrusted as any other: a page that is not an index
// page, an entry that runs past its page, a child named twice or a tree
// deeper than a file can hold gives a problem naming the page, never a read
// outside it, and the walk goes on with the rest of the tree.
#ifndef MENDORA_READER_INDEX_PAGES_H_
#define MENDORA_READER_INDEX_PAGES_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "reader/byte_view.h"
#include "reader/result.h"
#include "reader/jet_format.h"
#include "reader/jet_handle.h"

namespace mendora {

struct IndexEntry {
  std::vector<uint8_t> key;  // whole: the page's shared prefix put back
  uint32_t data_page = 0;    // the row the entry stands for
  uint8_t data_row = 0;
  uint32_t child_page = 0;   // node pages: the child whose last entry this is
};

struct IndexPage {
  uint32_t number = 0;
  bool leaf = true;
  uint32_t owner = 0;
  uint32_t prev = 0;
  uint32_t next = 0;
  uint32_t tail = 0;
  uint16_t free_space = 0;
  uint16_t prefix_length = 0;
  std::vector<IndexEntry> entries;
};

// The layout of index pages of the handle's file.
const IndexPageFormat& IndexPagesOf(const JetHandle& handle);

// Parses `page`, the bytes of page `number`. Fails when it is no index page
// or its entries do not hold together.
Result<IndexPage> ParseIndexPage(ByteView page, const IndexPageFormat& format, uint32_t number);

// Compares two entries as the index orders them: by key bytes, then by the
// row's page and slot.
int CompareIndexEntries(const IndexEntry& a, const IndexEntry& b);

struct IndexProblem {
  uint32_t page = 0;
  std::string detail;
};

struct IndexWalkResult {
  std::vector<IndexProblem> problems;
  uint64_t leaf_entries = 0;
  uint32_t pages = 0;
};

// Walks the index whose root page is `root` and whose pages name `owner`
// (the table's definition page): every leaf entry goes to `visit` in the
// tree's order, and every fault of the tree's structure (a page of another
// kind or owner, a page reached twice, a node entry that is not its child's
// last entry, a leaf chain that does not link the leaves in order) is a
// problem. The handle's page buffers are left alone.
IndexWalkResult WalkIndex(JetHandle& handle, uint32_t root, uint32_t owner,
                          const std::function<void(const IndexPage& leaf, const IndexEntry& entry)>& visit);

}  // namespace mendora

#endif  // MENDORA_READER_INDEX_PAGES_H_
