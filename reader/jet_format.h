// Per-version layout constants of Jet 3 and Jet 4 files.
//
// Every reader step finds the fields of definition pages, column records and
// data pages through one of these records, so a single code path serves both
// versions.
#ifndef MENDORA_READER_JET_FORMAT_H_
#define MENDORA_READER_JET_FORMAT_H_

#include <cstdint>

namespace mendora {

struct JetFormat {
  uint32_t PageSize;
  uint16_t RowCountPos;
  uint16_t TableRowsPos;
  uint16_t ColumnCountPos;
  uint16_t IndexCountPos;
  uint16_t RealIndexCountPos;
  uint16_t UsageMapPos;
  uint16_t FirstDataPagePos;
  uint16_t ColumnsStartPos;
  uint16_t RealIndexEntrySize;
  uint16_t ColumnFlagsPos;
  uint16_t ColumnSizePos;
  uint16_t ColumnNumberPos;
  uint16_t ColumnEntrySize;
  uint16_t FreeMapPos;
  uint16_t VarColumnNumberPos;
  uint16_t FixedOffsetPos;
  uint16_t RowColumnNumberPos;
};

inline constexpr JetFormat kJet3Format = {2048, 8,  12, 25, 27, 31, 35, 36, 43,
                                          8,    13, 16, 1,  18, 39, 3,  14, 5};
inline constexpr JetFormat kJet4Format = {4096, 12, 16, 45, 47, 51, 55, 56, 63,
                                          12,   15, 23, 5,  25, 59, 7,  21, 9};

// The page buffers hold the larger of the two page sizes.
inline constexpr uint32_t kMaxPageSize = 4096;

// Page 0, in its unmasked header: the text sort order's language id (then,
// in Jet 4, its variant).
inline constexpr uint16_t kJet3SortOrderPos = 0x3A;
inline constexpr uint16_t kJet4SortOrderPos = 0x6E;

// A row moved to another page leaves in its slot (flagged kSlotOverflowFlag)
// the row's slot on the new page, then that page as 24 bits.
inline constexpr uint32_t kOverflowPointerSize = 4;

// The first byte of a page says what it holds.
inline constexpr uint8_t kDataPageType = 0x01;
inline constexpr uint8_t kDefinitionPageType = 0x02;
inline constexpr uint8_t kIndexNodePageType = 0x03;  // an index page above the leaves
inline constexpr uint8_t kIndexLeafPageType = 0x04;

// Index pages. A real index is a tree whose root is the page its definition
// entry names; a leaf holds entries (key, then the row's place: the data page
// as 3 big-endian bytes and the row slot), a node page entries (key, row,
// then the child page as 4 big-endian bytes) whose key is the last key of
// that child, and a tail child holding the keys above its last entry. Leaves
// of one index are chained both ways. Entries are packed from EntriesPos; a
// bit i of the mask at EntryMaskPos says an entry ends at EntriesPos + i.
// Every entry after the first of a page leaves out its first PrefixLength
// bytes (key and pointers alike), which are those of the page's first entry.
struct IndexPageFormat {
  uint16_t FreeSpacePos;     // 16-bit: bytes of the page not in use
  uint16_t OwnerPos;         // 32-bit: the table's definition page
  uint16_t PrevPagePos;      // 32-bit: the leaf before, 0 for the first
  uint16_t NextPagePos;      // 32-bit: the leaf after, 0 for the last
  uint16_t TailPagePos;      // 32-bit: a node page's last child, named by no entry
  uint16_t PrefixLengthPos;
  uint8_t PrefixLengthSize;  // bytes
  uint16_t EntryMaskPos;
  uint16_t EntriesPos;
  // In a real index's entry of the table definition: its usage map (row
  // byte, then a 24-bit page) and its root page (32-bit).
  uint16_t RealIndexUsageMapPos;
  uint16_t RealIndexRootPos;
};

inline constexpr IndexPageFormat kJet3IndexPages = {2, 4, 8, 12, 16, 20, 1, 0x16, 0xF8, 30, 34};
inline constexpr IndexPageFormat kJet4IndexPages = {2, 4, 12, 16, 20, 24, 2, 0x1B, 0x1E0, 34, 38};
inline constexpr uint32_t kIndexRowPointerSize = 4;
inline constexpr uint32_t kIndexChildPointerSize = 4;

}  // namespace mendora

#endif  // MENDORA_READER_JET_FORMAT_H_
