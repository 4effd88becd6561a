// Reading table definitions, column records and column names.
#include "reader/table_def.h"

#include <algorithm>
#include <set>

#include "reader/byte_cursor.h"
#include "reader/ace_values.h"

namespace mendora {

namespace {

constexpr uint32_t kDefinitionHeaderSize = 8;
constexpr int32_t kMaxColumns = 256;
// Longest column name kept whole, in characters.
constexpr size_t kMaxNameChars = 259;

void ReportDefinition(const JetHandle& handle, const std::string& table, int64_t page, const std::string& detail) {
  handle.Report(DamageReport{DamageKind::kDefinition, table, page, -1, "", detail});
}

// Joins the definition pages starting at `first`: the first page whole, the
// continuation pages without their 8-byte headers. Leaves the first page in
// the page buffer. False when `first` is no definition page.
bool ReadDefinitionChain(JetHandle& handle, const std::string& table_name, uint32_t first,
                         std::vector<uint8_t>& out) {
  const uint32_t page_size = handle.PageSize();
  std::set<uint32_t> visited;
  uint32_t page = first;
  bool first_page = true;
  while (page != 0) {
    if (!visited.insert(page).second) {
      ReportDefinition(handle, table_name, page, "its page chain loops back to page " + std::to_string(page));
      break;
    }
    if (ReadPage(handle, page) < page_size) {
      if (first_page) return false;
      ReportDefinition(handle, table_name, page, "continuation page " + std::to_string(page) + " cannot be read");
      break;
    }
    if (handle.page[0] != kDefinitionPageType) {
      if (first_page) return false;
      ReportDefinition(handle, table_name, page,
                       "continuation page " + std::to_string(page) + " is not a definition page");
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
std::vector<uint8_t> ReadMapRow(JetHandle& handle, const std::string& table_name, uint32_t reference) {
  const int64_t row = handle.Page().U8(reference).value_or(0);
  const int64_t page = PageU24(handle, reference + 1);
  std::vector<uint8_t> map;
  if (page <= 0) return map;
  const auto report = [&](const std::string& detail) {
    handle.Report(DamageReport{DamageKind::kUsageMap, table_name, page, static_cast<int>(row), "", detail});
  };
  if (ReadAltPage(handle, page) < handle.PageSize()) {
    report("usage map page " + std::to_string(page) + " cannot be read");
    return map;
  }
  const std::optional<RowExtent> extent = RowBounds(handle.AltPage(), *handle.format, static_cast<int>(row));
  if (!extent) {
    report("usage map row " + std::to_string(row) + " of page " + std::to_string(page) + " lies outside its page");
    return map;
  }
  map.assign(handle.alt_page.begin() + extent->start, handle.alt_page.begin() + extent->end + 1);
  return map;
}

std::optional<uint16_t> SpanU16(const TableDef& table, size_t position) {
  return ByteView(table.definition.data(), table.definition.size()).U16(position);
}

bool SpanCopy(const TableDef& table, size_t& position, size_t length, std::vector<uint8_t>& out) {
  if (position > table.definition.size() || length > table.definition.size() - position) return false;
  out.assign(table.definition.begin() + position, table.definition.begin() + position + length);
  position += length;
  return true;
}

TableDefPtr ReadTableDef(const CatalogEntry& entry) {
  if (entry.handle == nullptr || entry.definition_page <= 0) return nullptr;
  JetHandle& handle = *entry.handle;
  const JetFormat& format = *handle.format;
  auto table = std::make_unique<TableDef>();
  table->entry = entry;
  table->name = entry.name;

  if (static_cast<uint32_t>(entry.definition_page) >= handle.PageCount()) {
    handle.Report(DamageReport{DamageKind::kFileShort, entry.name, entry.definition_page, -1, "",
                               "its definition page lies beyond the end of the file"});
    return nullptr;
  }
  if (!ReadDefinitionChain(handle, entry.name, static_cast<uint32_t>(entry.definition_page), table->definition)) {
    ReportDefinition(handle, entry.name, entry.definition_page,
                     "page " + std::to_string(entry.definition_page) + " is not a table definition page");
    return nullptr;
  }

  table->row_count = static_cast<int32_t>(PageU32(handle, format.TableRowsPos));
  const int64_t column_count = PageU16(handle, format.ColumnCountPos);
  table->real_index_count = static_cast<int32_t>(PageU32(handle, format.RealIndexCountPos));
  table->index_count = static_cast<int32_t>(PageU32(handle, format.IndexCountPos));
  if (column_count < 0 || column_count > kMaxColumns) {
    ReportDefinition(handle, entry.name, entry.definition_page,
                     "column count " + std::to_string(column_count) + " is more than a table can hold");
    return nullptr;
  }
  table->columns.resize(static_cast<size_t>(column_count));
  table->usage_map = ReadMapRow(handle, entry.name, format.UsageMapPos);
  return table;
}

bool ReadColumns(TableDef& table) {
  JetHandle& handle = *table.entry.handle;
  const JetFormat& format = *handle.format;
  const bool jet4 = handle.IsJet4();
  const ByteView definition(table.definition.data(), table.definition.size());
  const auto fail = [&](const std::string& detail) {
    ReportDefinition(handle, table.name, table.entry.definition_page, detail);
    return false;
  };

  const uint64_t records_at =
      static_cast<uint64_t>(format.RealIndexEntrySize) * static_cast<uint32_t>(table.real_index_count) +
      format.ColumnsStartPos;
  if (table.real_index_count < 0 || records_at > definition.size()) {
    return fail("index count " + std::to_string(table.real_index_count) + " runs past the definition");
  }
  size_t position = static_cast<size_t>(records_at);
  std::vector<uint8_t> record;
  for (size_t i = 0; i < table.columns.size(); ++i) {
    if (!SpanCopy(table, position, format.ColumnEntrySize, record)) {
      return fail("column record " + std::to_string(i) + " runs past the definition");
    }
    const ByteView r(record.data(), record.size());
    ByteCursor in(r);
    ColumnDef& column = table.columns[i];
    column.type = in.U8At(0);
    column.column_number = jet4 ? in.U16At(format.ColumnNumberPos) : in.U8At(format.ColumnNumberPos);
    column.var_column_number = in.U16At(format.VarColumnNumberPos);
    if (column.type == kColumnNumeric) {
      column.precision = in.U8At(11);
      column.scale = in.U8At(12);
    }
    column.flags = in.U8At(format.ColumnFlagsPos);
    column.fixed = (column.flags & kColumnFlagFixed) != 0;
    column.fixed_offset = in.U16At(format.FixedOffsetPos);
    column.size = column.type == kColumnBoolean ? 0 : in.U16At(format.ColumnSizePos);
    column.result_type = column.type;
    if (jet4) {
      column.extra_flags = in.U8At(16);
      // Access 2010+ only; older engines never set these bits.
      column.calculated = handle.IsAce() && IsCalculatedColumn(column.extra_flags) && !column.fixed;
      if (column.type == kColumnComplex) column.complex_id = ComplexIdOfColumnRecord(r).value_or(0);
    }
    if (!column.fixed && column.type != kColumnBoolean) {
      table.lowest_variable_number = std::min<uint32_t>(table.lowest_variable_number, column.column_number);
    }
  }

  std::vector<uint8_t> raw;
  for (ColumnDef& column : table.columns) {
    size_t length;
    if (jet4) {
      const std::optional<uint16_t> stored = SpanU16(table, position);
      if (!stored) return fail("column names run past the definition");
      length = *stored;
      position += 2;
    } else {
      const std::optional<uint8_t> stored = definition.U8(position);
      if (!stored) return fail("column names run past the definition");
      length = *stored;
      position += 1;
    }
    if (!SpanCopy(table, position, length, raw)) {
      return fail("a column name of " + std::to_string(length) + " bytes runs past the definition");
    }
    const ByteView name_bytes(raw.data(), raw.size());
    column.name = jet4 ? Ucs2ToText(name_bytes) : handle.file->code_page->Decode(name_bytes);
    // An overlong name can only be damage; the column is kept under its start.
    if (CountUtf8Chars(column.name) > kMaxNameChars) column.name = CutUtf8(column.name, kMaxNameChars);
  }
  table.index_start = position;
  // A table whose columns were deleted or inserted keeps their records out
  // of their order (Jet 4 as well as Access 2007+); the column number is the
  // table's order.
  {
    std::stable_sort(table.columns.begin(), table.columns.end(),
                     [](const ColumnDef& a, const ColumnDef& b) { return a.column_number < b.column_number; });
  }
  return true;
}

}  // namespace

std::optional<size_t> TableDef::ColumnIndex(const std::string& wanted) const {
  for (size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].name == wanted) return i;
  }
  return std::nullopt;
}

TableDefPtr OpenTable(JetHandle& handle, const std::string& name, int32_t object_type, int32_t definition_page) {
  CatalogEntry entry;
  entry.handle = &handle;
  entry.name = name;
  entry.object_type = object_type;
  entry.definition_page = definition_page;
  TableDefPtr table = ReadTableDef(entry);
  if (!table || !ReadColumns(*table)) return nullptr;
  return table;
}

}  // namespace mendora
