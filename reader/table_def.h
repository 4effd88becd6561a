// Table definitions: a table's counts, usage map and columns, read from its
// definition page and the continuation pages chained after it.
#ifndef MENDORA_READER_TABLE_DEF_H_
#define MENDORA_READER_TABLE_DEF_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "reader/column_types.h"
#include "reader/jet_handle.h"
#include "reader/row_layout.h"

namespace mendora {

// Bits of a column record's flags byte.
inline constexpr uint8_t kColumnFlagFixed = 0x01;
inline constexpr uint8_t kColumnFlagAutoNumber = 0x04;      // a long counter
inline constexpr uint8_t kColumnFlagGuidAutoNumber = 0x40;  // a new GUID per row

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
  bool fixed = false;
  // The stored column number. It, not the column's place in the definition,
  // says whether a row holds the column (rows written before a column was
  // added store fewer columns) and which bit of the null mask is its own.
  uint16_t column_number = 0;
  uint8_t precision = 0;
  uint8_t scale = 0;
  uint16_t fixed_offset = 0;
  uint16_t var_column_number = 0;
  // Byte 16 of a Jet 4 record: 0x01 compressed text; Access 2007+ adds the
  // complex tables' link and row id, attachments, and calculated columns.
  uint8_t extra_flags = 0;
  // Access 2010+: the value is wrapped and holds a result of `result_type`,
  // which is not always `type` (the pass sets it from the table's
  // properties; until then it is `type`).
  bool calculated = false;
  int result_type = 0;
  uint32_t complex_id = 0;  // kColumnComplex: its row of MSysComplexColumns
  uint8_t flags = 0;  // the record's flags byte (see kColumnFlag...)

  bool IsAutoNumber() const { return (flags & kColumnFlagAutoNumber) != 0; }
  bool IsGuidAutoNumber() const { return (flags & kColumnFlagGuidAutoNumber) != 0; }
};

struct TableDef {
  CatalogEntry entry;
  std::string name;
  std::vector<ColumnDef> columns;
  int32_t row_count = 0;  // as the definition stores it
  int32_t real_index_count = 0;
  int32_t index_count = 0;  // logical indexes, as the definition stores it
  // Where the real indexes' column lists start in `definition`: just after
  // the last column name.
  size_t index_start = 0;
  // The lowest stored number of a variable-length column: a row holds an
  // offset table only when it holds such a column (rows written before the
  // table's first one was added have none). UINT32_MAX: the table has none.
  uint32_t lowest_variable_number = UINT32_MAX;
  std::vector<uint8_t> usage_map;
  // Inferred from the rows of a table whose definition is gone: its pages
  // are found by the owner they name, with no usage map to miss.
  bool inferred = false;
  // An inferred table: for each column, how its type was decided ("a date
  // (from its Format property)"), and how many only the values typed.
  std::vector<std::string> column_notes;
  size_t guessed_columns = 0;
  // The definition with its continuation pages' headers removed.
  std::vector<uint8_t> definition;

  // The index of the column named `name`, or nothing.
  std::optional<size_t> ColumnIndex(const std::string& name) const;
};

using TableDefPtr = std::unique_ptr<TableDef>;

// The definition and columns of the table a catalog row names; null when
// either is unusable, after a report to the handle's damage reporter.
TableDefPtr OpenTable(JetHandle& handle, const std::string& name, int32_t object_type, int32_t definition_page);

}  // namespace mendora

#endif  // MENDORA_READER_TABLE_DEF_H_
