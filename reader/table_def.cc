// Reading table definitions, column records and column names.
#include "reader/table_def.h"

#include <algorithm>
#include <cstdio>
#include <set>

namespace mendora {

namespace {

constexpr uint8_t kDefinitionPageType = 0x02;
constexpr uint32_t kDefinitionHeaderSize = 8;
constexpr int32_t kMaxColumns = 256;
// Longest column name kept whole, in characters.
constexpr size_t kMaxNameChars = 259;

const char* const kTypeNames[] = {
    "Unknown 0x00", "Boolean", "Byte",           "Integer",      "Long Integer",
    "Currency",     "Single",  "Double",         "DateTime (Short)", "Unknown 0x09",
    "Text",         "OLE",     "Memo/Hyperlink", "Unknown 0x0d", "Unknown 0x0e",
    "Replication ID", "Numeric"};

// Joins the definition pages starting at `first`: the first page whole, the
// continuation pages without their 8-byte headers. Leaves the first page in
// the page buffer.
bool ReadDefinitionChain(JetHandle& handle, const std::string& table_name, uint32_t first,
                         std::vector<uint8_t>& out) {
  const uint32_t page_size = handle.PageSize();
  std::set<uint32_t> visited;
  uint32_t page = first;
  bool first_page = true;
  while (page != 0) {
    if (!visited.insert(page).second) {
      std::fprintf(stderr, "Definition of table %s: page chain loops back to page %u\n", table_name.c_str(), page);
      break;
    }
    if (ReadPage(handle, page) < page_size) {
      if (first_page) return false;
      std::fprintf(stderr, "Definition of table %s: continuation page %u cannot be read\n", table_name.c_str(), page);
      break;
    }
    if (handle.page[0] != kDefinitionPageType) {
      if (first_page) return false;
      std::fprintf(stderr, "Definition of table %s: continuation page %u is not a definition page\n",
                   table_name.c_str(), page);
      break;
    }
    const size_t skip = first_page ? 0 : kDefinitionHeaderSize;
    out.insert(out.end(), handle.page.begin() + skip, handle.page.begin() + page_size);
    page = static_cast<uint32_t>(PageU32(handle, 4));
    first_page = false;
  }
  if (visited.size() > 1) ReadPage(handle, first);
  return true;
}

// Copies the map row (byte r, then a 24-bit page) found at `reference` of the
// definition page in the page buffer.
std::vector<uint8_t> ReadMapRow(JetHandle& handle, const std::string& table_name, uint32_t reference,
                                const char* what) {
  const int64_t row = handle.Page().U8(reference).value_or(0);
  const int64_t page = PageU24(handle, reference + 1);
  std::vector<uint8_t> map;
  if (page <= 0) return map;
  if (ReadAltPage(handle, page) < handle.PageSize()) {
    std::fprintf(stderr, "Table %s: %s page %ld cannot be read\n", table_name.c_str(), what, static_cast<long>(page));
    return map;
  }
  const std::optional<RowExtent> extent = RowBounds(handle.AltPage(), *handle.format, static_cast<int>(row));
  if (!extent) {
    std::fprintf(stderr, "Table %s: %s row %ld of page %ld lies outside its page\n", table_name.c_str(), what,
                 static_cast<long>(row), static_cast<long>(page));
    return map;
  }
  map.assign(handle.alt_page.begin() + extent->start, handle.alt_page.begin() + extent->end + 1);
  return map;
}

}  // namespace

std::string ColumnTypeName(int type) {
  if (type >= 0 && type <= 0x10) return kTypeNames[type];
  char text[32];
  std::snprintf(text, sizeof text, "Unknown 0x%02x", static_cast<unsigned>(type) & 0xFFu);
  return text;
}

std::optional<RowExtent> RowBounds(ByteView page, const JetFormat& format, int n) {
  const std::optional<uint16_t> count = page.U16(format.RowCountPos);
  if (!count || n < 0 || n >= *count) return std::nullopt;
  const uint32_t table_end = format.RowCountPos + 2u + 2u * *count;
  const std::optional<uint16_t> entry = page.U16(format.RowCountPos + 2u + 2u * static_cast<uint32_t>(n));
  if (!entry) return std::nullopt;
  const uint32_t start = *entry & 0x1FFFu;
  if (start < table_end || start >= format.PageSize) return std::nullopt;
  uint32_t end = format.PageSize - 1;
  for (uint32_t j = 0; j < *count; ++j) {
    const std::optional<uint16_t> other = page.U16(format.RowCountPos + 2u + 2u * j);
    if (!other) break;
    const uint32_t other_start = *other & 0x1FFFu;
    if (other_start > start && other_start - 1 < end) end = other_start - 1;
  }
  return RowExtent{start, end};
}

int64_t RowEnd(JetHandle& handle, int n) {
  if (n == 0) return handle.PageSize() - 1;
  const int64_t entry = PageU16(handle, handle.format->RowCountPos + 2 * n);
  if (entry < 0) return -1;
  return (entry & 0x1FFF) - 1;
}

bool SpanCopy(const TableDef& table, size_t& position, size_t length, std::vector<uint8_t>& out) {
  if (position > table.definition.size() || length > table.definition.size() - position) return false;
  out.assign(table.definition.begin() + position, table.definition.begin() + position + length);
  position += length;
  return true;
}

std::optional<uint16_t> SpanU16(const TableDef& table, size_t position) {
  return ByteView(table.definition.data(), table.definition.size()).U16(position);
}

TableDefPtr ReadTableDef(const CatalogEntry& entry) {
  if (entry.handle == nullptr || entry.definition_page <= 0) return nullptr;
  JetHandle& handle = *entry.handle;
  const JetFormat& format = *handle.format;
  auto table = std::make_unique<TableDef>();
  table->entry = entry;
  table->name = entry.name;

  if (static_cast<uint32_t>(entry.definition_page) >= handle.PageCount()) {
    std::fprintf(stderr, "Table %s: definition page %d lies beyond the end of the file\n", entry.name.c_str(),
                 entry.definition_page);
    return nullptr;
  }
  if (!ReadDefinitionChain(handle, entry.name, static_cast<uint32_t>(entry.definition_page), table->definition)) {
    std::fprintf(stderr, "Table %s: page %d is not a table definition page\n", entry.name.c_str(),
                 entry.definition_page);
    return nullptr;
  }

  table->row_count = static_cast<int32_t>(PageU32(handle, format.TableRowsPos));
  table->column_count = static_cast<int32_t>(PageU16(handle, format.ColumnCountPos));
  table->index_count = static_cast<int32_t>(PageU32(handle, format.IndexCountPos));
  table->real_index_count = static_cast<int32_t>(PageU32(handle, format.RealIndexCountPos));
  if (table->column_count < 0 || table->column_count > kMaxColumns) {
    std::fprintf(stderr, "Table %s: column count %d is more than a table can hold\n", entry.name.c_str(),
                 table->column_count);
    return nullptr;
  }
  table->usage_map = ReadMapRow(handle, entry.name, format.UsageMapPos, "usage map");
  table->free_map = ReadMapRow(handle, entry.name, format.FreeMapPos, "free-space map");
  table->first_data_page = static_cast<uint16_t>(PageU16(handle, format.FirstDataPagePos));
  return table;
}

bool ReadColumns(TableDef& table) {
  JetHandle& handle = *table.entry.handle;
  const JetFormat& format = *handle.format;
  const bool jet4 = handle.IsJet4();
  const ByteView definition(table.definition.data(), table.definition.size());

  const uint64_t records_at =
      static_cast<uint64_t>(format.RealIndexEntrySize) * static_cast<uint32_t>(table.real_index_count) +
      format.ColumnsStartPos;
  if (table.real_index_count < 0 || records_at > definition.size()) {
    std::fprintf(stderr, "Table %s: index count %d runs past the definition\n", table.name.c_str(),
                 table.real_index_count);
    return false;
  }
  size_t position = static_cast<size_t>(records_at);
  std::vector<uint8_t> record;
  for (int32_t i = 0; i < table.column_count; ++i) {
    if (!SpanCopy(table, position, format.ColumnEntrySize, record)) {
      std::fprintf(stderr, "Table %s: column record %d runs past the definition\n", table.name.c_str(), i);
      return false;
    }
    const ByteView r(record.data(), record.size());
    auto column = std::make_unique<ColumnDef>();
    column->type = record[0];
    column->column_number = jet4 ? *r.U16(format.ColumnNumberPos) : record[format.ColumnNumberPos];
    column->var_column_number = *r.U16(format.VarColumnNumberPos);
    column->row_column_number = *r.U16(format.RowColumnNumberPos);
    if (column->type == kColumnNumeric) {
      column->precision = record[11];
      column->scale = record[12];
    }
    column->fixed = (record[format.ColumnFlagsPos] & 1) != 0;
    column->fixed_offset = *r.U16(format.FixedOffsetPos);
    column->size = column->type == kColumnBoolean ? 0 : *r.U16(format.ColumnSizePos);
    table.columns.PtrArrayAppend(std::move(column));
  }

  std::vector<uint8_t> raw;
  for (ColumnDef& column : table.columns) {
    size_t length;
    if (jet4) {
      const std::optional<uint16_t> stored = SpanU16(table, position);
      if (!stored) {
        std::fprintf(stderr, "Table %s: column names run past the definition\n", table.name.c_str());
        return false;
      }
      length = *stored;
      position += 2;
    } else {
      const std::optional<uint8_t> stored = definition.U8(position);
      if (!stored) {
        std::fprintf(stderr, "Table %s: column names run past the definition\n", table.name.c_str());
        return false;
      }
      length = *stored;
      position += 1;
    }
    if (!SpanCopy(table, position, length, raw)) {
      std::fprintf(stderr, "Table %s: a column name of %zu bytes runs past the definition\n", table.name.c_str(),
                   length);
      return false;
    }
    const ByteView name_bytes(raw.data(), raw.size());
    column.name = jet4 ? Ucs2ToText(name_bytes) : handle.file->code_page->Decode(name_bytes);
    if (CountUtf8Chars(column.name) > kMaxNameChars) {
      std::fprintf(stderr, "Table %s: column name longer than %zu characters is cut\n", table.name.c_str(),
                   kMaxNameChars);
      column.name = CutUtf8(column.name, kMaxNameChars);
    }
  }
  table.index_start = static_cast<int32_t>(position);
  return true;
}

TableDefPtr OpenTable(JetHandle& handle, const std::string& name, int32_t object_type, int32_t definition_page) {
  CatalogEntry entry;
  entry.handle = &handle;
  entry.name = name;
  entry.object_type = object_type;
  entry.definition_page = definition_page;
  TableDefPtr table = ReadTableDef(entry);
  if (!table || !ReadColumns(*table)) return nullptr;
  RewindTable(*table);
  return table;
}

void BindColumn(TableDef& table, int number, std::string* buffer) {
  if (number >= 1 && static_cast<uint32_t>(number) <= table.columns.count()) table.columns[number - 1].bound = buffer;
}

void UnbindColumn(TableDef& table, int index) {
  if (index >= 0 && static_cast<uint32_t>(index) < table.columns.count()) table.columns[index].bound = nullptr;
}

void BindColumnByName(TableDef& table, const std::string& name, std::string* buffer) {
  for (ColumnDef& column : table.columns) {
    if (column.name == name) {
      column.bound = buffer;
      return;
    }
  }
}

void RewindTable(TableDef& table) {
  table.started = false;
  table.current_page = 0;
  table.current_row = 0;
  table.pages_scanned = 0;
}

void FreeTable(TableDefPtr table) { table.reset(); }

}  // namespace mendora
