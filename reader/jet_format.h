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
  uint16_t TableTypePos;  // a definition's kUserTableType or kSystemTableType
};

inline constexpr JetFormat kJet3Format = {2048, 8,  12, 25, 27, 31, 35, 36, 43,
                                          8,    13, 16, 1,  18, 39, 3,  14, 5, 20};
inline constexpr JetFormat kJet4Format = {4096, 12, 16, 45, 47, 51, 55, 56, 63,
                                          12,   15, 23, 5,  25, 59, 7,  21, 9, 40};

// The first byte of a page says what it holds; the second is always 1.
inline constexpr uint8_t kHeaderPageType = 0x00;  // page 0
inline constexpr uint8_t kDataPageType = 0x01;
inline constexpr uint8_t kDefinitionPageType = 0x02;
inline constexpr uint8_t kIndexNodePageType = 0x03;  // an index page above the leaves
inline constexpr uint8_t kIndexLeafPageType = 0x04;
inline constexpr uint8_t kUsageMapPageType = 0x05;  // the bitmap pages of a reference usage map
// Files Access wrote have pages of this type that own data pages of their
// own, holding the compound-file sectors of Access's own objects (seen in
// Jet 3 and Access 2007 samples): no user table.
inline constexpr uint8_t kAccessObjectsPageType = 0x08;
inline constexpr uint8_t kPageMark = 0x01;  // byte 1 of every page

// A data page's row slots: 16-bit entries after the row count, each the
// row's offset in the page and two flags. A row that grew out of its page
// moves: its old slot gets kSlotOverflowFlag and holds only the row's new
// place (kOverflowPointerSize bytes; stale bytes of the old row may follow),
// and the row's new slot gets kSlotMovedHereFlag, so that a page-by-page
// scan does not meet the row twice. A deleted row has both flags. Every
// moved-away slot in the samples points at a moved-here slot of a page of
// the same table (jet4-northwind.mdb, jet4-rw-weighbridge-es.mdb,
// ace2010-queries.accdb, obj-jet4-agenda-pt.mdb, ...); deleted rows are in
// jet4-deleted-rows.mdb and every catalog.
inline constexpr uint16_t kSlotOffsetMask = 0x1FFF;
inline constexpr uint16_t kSlotOverflowFlag = 0x4000;
inline constexpr uint16_t kSlotMovedHereFlag = 0x8000;
inline constexpr uint16_t kSlotDeletedMark = kSlotOverflowFlag | kSlotMovedHereFlag;

inline constexpr bool SlotIsDeleted(uint16_t entry) { return (entry & kSlotDeletedMark) == kSlotDeletedMark; }
// Whether the slot's bytes are no live row of this page: the row was
// deleted, or moved away leaving its new place here.
inline constexpr bool SlotHoldsNoRow(uint16_t entry) { return (entry & kSlotOverflowFlag) != 0; }

// A table definition's type byte (at JetFormat::TableTypePos).
inline constexpr uint8_t kUserTableType = 'N';
inline constexpr uint8_t kSystemTableType = 'S';  // the engine's core tables

// The catalog (MSysObjects) is the table defined on page 2. A catalog row's
// Id holds the object's definition page in its low 24 bits and flags above.
inline constexpr uint32_t kCatalogDefinitionPage = 2;
inline constexpr uint32_t kCatalogIdPageMask = 0x00FFFFFF;
inline constexpr int32_t CatalogIdPage(int64_t id) {
  return static_cast<int32_t>(static_cast<uint32_t>(id) & kCatalogIdPageMask);
}
// A table's definition page from its catalog Id as the walk takes it: where
// the low 24 bits name no page of the file, the low 16 do.
inline constexpr int32_t DefinitionPageOfId(uint32_t id, uint32_t page_count) {
  const uint32_t low24 = id & kCatalogIdPageMask;
  return static_cast<int32_t>(low24 < page_count ? low24 : id & 0xFFFF);
}

// Page 0 of a Jet 4 file. From EncodedStart on, EncodedLength bytes are
// RC4-scrambled with kHeaderKey; the offsets below are those of the plain
// bytes. The database password (20 UCS-2 characters) is stored XORed with
// the creation date's whole days as a 32-bit number, repeated from 0x40.
inline constexpr uint32_t kHeaderEngineNamePos = 0x04;   // "Standard Jet DB"
inline constexpr uint32_t kHeaderVersionPos = 0x14;      // 1: Jet 4; 2-6: Access 2007-2019
inline constexpr uint32_t kHeaderEncodedStart = 0x18;
inline constexpr uint32_t kJet4HeaderEncodedLength = 128;
inline constexpr uint8_t kHeaderKey[4] = {0xC7, 0xDA, 0x39, 0x6B};
inline constexpr uint32_t kHeaderCodePagePos = 0x3C;
inline constexpr uint32_t kHeaderPasswordPos = 0x42;
inline constexpr uint32_t kHeaderPasswordLength = 40;
inline constexpr uint32_t kHeaderPasswordMaskPos = 0x40;
inline constexpr uint32_t kHeaderSortOrderPos = 0x6E;  // 16-bit locale of the General sort order
inline constexpr uint32_t kHeaderCreatedPos = 0x72;    // a date: days since 1899-12-30
inline constexpr uint16_t kGeneralSortOrder = 0x0409;

// Data pages (rows of a table, long values, usage maps): after the type byte
// and a 1, the free bytes (16-bit), the owner (32-bit: the table's
// definition page, kLongValueOwner, or 0 for map rows), then the row count
// and the rows' offsets, rows stacked from the page's end downwards.
inline constexpr uint16_t kPageFreeSpacePos = 2;
inline constexpr uint16_t kPageOwnerPos = 4;
inline constexpr uint16_t kJet4RowOffsetsPos = 14;
inline constexpr uint32_t kLongValueOwner = 0x4C41564C;  // "LVAL"
// A usage map row: type 0 holds the first page covered, then a bitmap; type
// 1 holds the numbers of bitmap pages, each covering (page size - 4) * 8
// pages after its 4-byte header.
inline constexpr uint8_t kInlineUsageMap = 0;
inline constexpr uint8_t kReferenceUsageMap = 1;
inline constexpr uint32_t kJet4UsageMapRowSize = 69;

// A long-value field: a 32-bit length whose top bits say where the bytes
// are, the row holding them (row byte, 24-bit page), 4 bytes unused, then
// the bytes themselves when inline. A chained row starts with the next row's
// place (row byte, 24-bit page).
inline constexpr uint32_t kLongValueInline = 0x80000000u;
inline constexpr uint32_t kLongValueSingleRow = 0x40000000u;
inline constexpr uint32_t kLongValueLengthMask = 0x3FFFFFFFu;
inline constexpr uint32_t kLongValueHeaderSize = 12;
inline constexpr uint32_t kLongValueChainHeaderSize = 4;

// Jet 4 table definitions. A definition starts with its length at 8, then
// this tag (its meaning unknown; Access writes it here, in every column
// record and in every logical index entry), the row count, the last
// AutoNumber handed out and a 1.
inline constexpr uint32_t kJet4DefinitionTag = 0x0659;
// The definition's length in bytes: at the same place in Jet 3 and Jet 4.
inline constexpr uint16_t kDefinitionLengthPos = 8;
inline constexpr uint16_t kJet4AutoNumberPos = 20;
inline constexpr uint16_t kJet4MaxColumnsPos = 41;
inline constexpr uint16_t kJet4VarColumnsPos = 43;
// Before the column records, one 12-byte entry per real index: 4 bytes, the
// rows it holds, 4 bytes.
// A real index entry after the column names: a 32-bit tag of its own, ten
// column slots (16-bit column number or 0xFFFF, then 1 ascending or 2
// descending), its usage map, its root page, and its flags at 42 + 4.
inline constexpr uint32_t kJet4RealIndexTag = 0x0783;
inline constexpr uint32_t kJet4RealIndexSize = 52;
inline constexpr uint32_t kJet4RealIndexFlagsPos = 46;
inline constexpr uint8_t kIndexFlagsAlwaysSet = 0x80;
// A logical index entry: the tag, its number, its real index, then for a
// relation's index the side (1 the referenced table, 2 the referencing one),
// the other side's logical index and definition page, and the cascade bits;
// then its kind (1 primary key, 2 a relation's).
inline constexpr uint32_t kJet4LogicalIndexSize = 28;
inline constexpr uint8_t kLogicalNoRelation = 4;  // both cascade bytes of an index of no relation
// After the index names: for each memo and OLE column, its number and the
// usage map and free-space map of its long-value pages; 0xFFFF ends the list.
inline constexpr uint16_t kJet4ColumnMapsEnd = 0xFFFF;

// Column record flags (beyond the fixed and AutoNumber bits of table_def.h)
// and the compressed-text bit of byte 16.
inline constexpr uint8_t kColumnFlagUpdatable = 0x02;
inline constexpr uint8_t kColumnFlagSystem = 0x10;
inline constexpr uint8_t kColumnFlagSid = 0x20;
inline constexpr uint8_t kColumnCompressedText = 0x01;

// Compressed Jet 4 text starts with this mark; a 0 byte switches between
// one-byte and two-byte characters.
inline constexpr uint8_t kCompressedTextMark[2] = {0xFF, 0xFE};

// The page buffers hold the larger of the two page sizes.
inline constexpr uint32_t kMaxPageSize = 4096;

// Page 0, in its unmasked header: the text sort order's language id (then,
// in Jet 4, its variant).
inline constexpr uint16_t kJet3SortOrderPos = 0x3A;
inline constexpr uint16_t kJet4SortOrderPos = kHeaderSortOrderPos;

// A row moved to another page leaves in its slot (flagged kSlotOverflowFlag)
// the row's slot on the new page, then that page as 24 bits.
inline constexpr uint32_t kOverflowPointerSize = 4;

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

// The Type of a catalog row (MSysObjects), a signed 16-bit number. Access's
// own objects have the top bit set: read as one byte, a report (-32764)
// would pass for an ODBC table (4) and a form (-32768) for nothing at all.
inline constexpr int32_t kCatalogTable = 1;
inline constexpr int32_t kCatalogDatabase = 2;
inline constexpr int32_t kCatalogContainer = 3;
inline constexpr int32_t kCatalogOdbcTable = 4;  // linked through ODBC
inline constexpr int32_t kCatalogQuery = 5;
inline constexpr int32_t kCatalogLinkedTable = 6;  // in another Access file
inline constexpr int32_t kCatalogRelationship = 8;
inline constexpr int32_t kCatalogForm = -32768;
inline constexpr int32_t kCatalogMacro = -32766;
inline constexpr int32_t kCatalogReport = -32764;
inline constexpr int32_t kCatalogModule = -32761;
inline constexpr int32_t kCatalogDatabaseDocument = -32757;
// The catalog ids of the containers every file has, under which the
// catalog files its tables, databases and relationships.
inline constexpr uint32_t kRootContainerId = 0x0F000000;
inline constexpr uint32_t kTablesContainerId = 0x0F000001;
inline constexpr uint32_t kDatabasesContainerId = 0x0F000002;
inline constexpr uint32_t kRelationshipsContainerId = 0x0F000003;

}  // namespace mendora

#endif  // MENDORA_READER_JET_FORMAT_H_
