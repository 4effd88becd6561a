// The pages of one index: every row's entry (its key, then the row's place)
// gathered while the rows are written, sorted, and laid out as leaf pages
// chained both ways under node pages, as Access lays them out.
//
// Entries are held up to a memory budget and then sorted into runs in a
// temporary file, merged when the pages are built: a table of any size
// costs the same memory.
#ifndef MENDORA_OUTPUT_JET_INDEX_PAGES_H_
#define MENDORA_OUTPUT_JET_INDEX_PAGES_H_

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "output/jet/jet_bytes.h"
#include "output/jet/page_file.h"
#include "output/jet/row_pages.h"

namespace mendora::jet {

struct BuiltIndex {
  uint32_t root = 0;
  PageRuns pages;
  uint64_t entries = 0;
  uint64_t distinct_keys = 0;
  // Entries whose key, every column of it holding a value, is that of the
  // entry before: what a unique index must not hold.
  uint64_t repeated_keys = 0;
};

class IndexPagesBuilder {
 public:
  // `owner` is the table's definition page; `memory_budget` the bytes of
  // entries held before a run goes to disk.
  IndexPagesBuilder(uint32_t owner, size_t memory_budget);
  ~IndexPagesBuilder();
  IndexPagesBuilder(const IndexPagesBuilder&) = delete;
  IndexPagesBuilder& operator=(const IndexPagesBuilder&) = delete;

  // Adds the entry of the row at `at` whose key is `key`; `whole` when
  // every column of the key holds a value (a key with a null repeats
  // nothing, as Access sees a unique index).
  void Add(const std::string& key, RowAddress at, bool whole = true);
  // Sorts every entry and writes the pages; with `whole_keys`, adds to it a
  // hash of the key of each entry whose key is whole, in key order (a
  // relation checks its rows' keys against these). Throws TargetBroken
  // when the temporary runs cannot be written or read.
  BuiltIndex Build(PageFile& file, std::vector<uint64_t>* whole_keys = nullptr);

 private:
  struct Held {
    uint32_t offset;
    uint32_t key_length;  // with kWholeKey set for a whole key
    uint32_t length;
  };
  static constexpr uint32_t kWholeKey = 0x80000000;
  void SpillRun();

  uint32_t owner_;
  size_t budget_;
  std::string arena_;
  std::vector<Held> held_;
  std::FILE* spill_ = nullptr;
  std::vector<std::pair<long, uint64_t>> runs_;  // (file offset, entries)
};

}  // namespace mendora::jet

#endif  // MENDORA_OUTPUT_JET_INDEX_PAGES_H_
