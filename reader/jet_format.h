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

// The first byte of a page says what it holds.
inline constexpr uint8_t kDataPageType = 0x01;
inline constexpr uint8_t kDefinitionPageType = 0x02;

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

}  // namespace mendora

#endif  // MENDORA_READER_JET_FORMAT_H_
