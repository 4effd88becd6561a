// Table definitions: a table's counts, usage maps and columns, read from its
// definition page and the continuation pages chained after it.
#ifndef MENDORA_READER_TABLE_DEF_H_
#define MENDORA_READER_TABLE_DEF_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "reader/jet_handle.h"
#include "reader/ptr_array.h"

namespace mendora {

enum ColumnType : int {
  kColumnUnknown00 = 0x00,
  kColumnBoolean = 0x01,
  kColumnByte = 0x02,
  kColumnInteger = 0x03,
  kColumnLongInteger = 0x04,
  kColumnCurrency = 0x05,
  kColumnSingle = 0x06,
  kColumnDouble = 0x07,
  kColumnDateTime = 0x08,
  kColumnUnknown09 = 0x09,
  kColumnText = 0x0A,
  kColumnOle = 0x0B,
  kColumnMemo = 0x0C,
  kColumnUnknown0D = 0x0D,
  kColumnUnknown0E = 0x0E,
  kColumnReplicationId = 0x0F,
  kColumnNumeric = 0x10,
};

// Display name of a column type code ("Text", "Unknown 0x09", ...).
std::string ColumnTypeName(int type);

struct CatalogEntry {
  JetHandle* handle = nullptr;
  std::string name;  // UTF-8
  int32_t object_type = 0;
  int32_t definition_page = 0;
};

struct ColumnDef {
  std::string name;  // UTF-8
  int type = 0;
  int32_t size = 0;
  std::string* bound = nullptr;  // receives the column's value text
  bool last_null = true;         // whether the last value delivered was null
  bool fixed = false;
  // The stored column number: the column's bit in a row's null bitmap.
  uint16_t column_number = 0;
  uint8_t precision = 0;
  uint8_t scale = 0;
  uint16_t fixed_offset = 0;
  uint16_t var_column_number = 0;
  uint16_t row_column_number = 0;
};

// The bytes of one row of a page: [start, end] inclusive.
struct RowExtent {
  uint32_t start = 0;
  uint32_t end = 0;
  uint32_t size() const { return end - start + 1; }
};

struct TableDef {
  CatalogEntry entry;
  std::string name;
  int32_t column_count = 0;
  PtrArray<ColumnDef> columns;
  int32_t row_count = 0;
  int32_t index_start = 0;
  int32_t real_index_count = 0;
  int32_t index_count = 0;
  uint16_t first_data_page = 0;

  // Scan state (see RewindTable and FetchRow).
  bool started = false;
  uint32_t current_page = 0;
  int32_t current_row = 0;
  uint32_t pages_scanned = 0;  // guards brute-force scans against running forever

  std::vector<uint8_t> usage_map;
  std::vector<uint8_t> free_map;

  // The definition with its continuation pages' headers removed.
  std::vector<uint8_t> definition;
};

using TableDefPtr = std::unique_ptr<TableDef>;

// Reads the definition named by `entry`; null (after a line on stderr where
// the definition is damaged) when there is no usable definition there.
TableDefPtr ReadTableDef(const CatalogEntry& entry);
// Reads the column records and names; false (after a line on stderr) when
// they do not fit the definition.
bool ReadColumns(TableDef& table);

// The definition and columns of the table a catalog row names, rewound and
// with no column bound; null when either is unusable.
TableDefPtr OpenTable(JetHandle& handle, const std::string& name, int32_t object_type, int32_t definition_page);

void BindColumn(TableDef& table, int number, std::string* buffer);
void UnbindColumn(TableDef& table, int index);
void BindColumnByName(TableDef& table, const std::string& name, std::string* buffer);
void RewindTable(TableDef& table);
void FreeTable(TableDefPtr table);

// The extent of row slot n of `page`, or nothing when the slot does not
// describe bytes inside the page. A row ends just before the nearest row
// stored above it, so deleted slots that share an offset share an extent.
std::optional<RowExtent> RowBounds(ByteView page, const JetFormat& format, int n);
// The last byte of row n of the page buffer, as its neighbour's offset says.
int64_t RowEnd(JetHandle& handle, int n);

// Reads within a definition whose bytes continue across pages.
bool SpanCopy(const TableDef& table, size_t& position, size_t length, std::vector<uint8_t>& out);
std::optional<uint16_t> SpanU16(const TableDef& table, size_t position);

}  // namespace mendora

#endif  // MENDORA_READER_TABLE_DEF_H_
