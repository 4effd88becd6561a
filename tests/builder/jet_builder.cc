// JetFileBuilder: puts tables, queries and relationships into pages.
#include "tests/builder/jet_builder.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <stdexcept>
#include <string>

#include "tests/builder/jet_definition.h"
#include "tests/builder/jet_pages.h"
#include "tests/builder/jet_rows.h"
#include "tests/builder/jet_system.h"
#include "tests/builder/jet_text.h"
#include "tests/builder/jet_values.h"

namespace mendora::testing {

using namespace detail;

struct JetFileBuilder::Impl {
  explicit Impl(JetVersion v) : version(v), layout(LayoutFor(v)), store(layout.page_size) {
    while (store.count() < kFirstFreePage) store.Allocate();
  }

  void CheckOpen() const {
    if (finished) throw std::logic_error("the file was already built");
  }
  void Finish();
  std::pair<RowAddress, RowAddress> WriteMaps(RowPageWriter& maps,
                                              const std::vector<uint32_t>& pages);
  void WriteSystemDefinition(uint32_t page, const TableSchema& schema, uint32_t rows,
                             std::pair<RowAddress, RowAddress> maps);
  CatalogEntry* FindTable(const std::string& name);

  JetVersion version;
  Layout layout;
  PageStore store;
  std::vector<CatalogEntry> objects;  // user objects in the order added
  std::vector<Relationship> relationships;
  bool relationships_first = true;
  uint32_t next_object_id = kFirstUserObjectId;
  bool finished = false;
  uint8_t ace_version = 0;  // 0: a Jet file
  std::map<ComplexType, uint32_t> complex_templates;  // template table pages
  std::vector<Row> complex_directory;                 // rows of MSysComplexColumns
};

JetFileBuilder::JetFileBuilder(JetVersion version) : impl_(std::make_shared<Impl>(version)) {}

JetFileBuilder::JetFileBuilder(AceVersion version) : impl_(std::make_shared<Impl>(JetVersion::kJet4)) {
  impl_->ace_version = static_cast<uint8_t>(version);
}

uint32_t JetFileBuilder::page_size() const { return impl_->layout.page_size; }

void JetFileBuilder::SetCodePage(int code_page, std::optional<int> header_code_page, uint16_t sort_order) {
  impl_->CheckOpen();
  if (impl_->layout.jet4()) throw std::logic_error("Jet 4 text is Unicode: it has no code page");
  if (!impl_->objects.empty()) throw std::logic_error("the code page is set before anything is added");
  impl_->layout.code_page = code_page;
  impl_->layout.header_code_page = header_code_page.value_or(code_page);
  impl_->layout.sort_order = sort_order;
}

uint32_t JetFileBuilder::AddTable(const Table& table) {
  Impl& m = *impl_;
  m.CheckOpen();
  const Layout& layout = m.layout;
  if (table.columns.empty())
    throw std::invalid_argument("table '" + table.name + "' has no columns");
  if (table.late_columns > table.columns.size()) {
    throw std::invalid_argument("more late columns than columns");
  }

  std::vector<StoredColumn> stored;
  for (size_t i = 0; i < table.columns.size(); ++i) {
    const Column& c = table.columns[i];
    StoredColumn s;
    s.name = c.name;
    s.type = c.type;
    s.size = c.size > 0 ? c.size : NaturalSize(c.type, m.version);
    s.precision = c.precision;
    s.scale = c.scale;
    s.number = c.number >= 0 ? c.number : static_cast<int>(i);
    s.flags = IsFixedType(c.type) ? (kFlagFixed | kFlagNullable) : kFlagNullable;
    s.compressed = layout.jet4() && table.compress_text && (c.type == kText || c.type == kMemo);
    s.complex_id = c.complex_id;
    s.extra_flags = c.extra_flags;
    stored.push_back(s);
  }
  const TableSchema schema = PlanColumns(std::move(stored));
  // The late columns are those with the highest stored numbers, wherever the
  // definition lists them: the engine numbers a column it adds next, and may
  // list it before older ones.
  std::vector<bool> late(schema.columns.size(), false);
  int early_columns = schema.next_number;
  if (table.late_columns > 0) {
    std::vector<size_t> by_number(schema.columns.size());
    for (size_t i = 0; i < by_number.size(); ++i) by_number[i] = i;
    std::sort(by_number.begin(), by_number.end(),
              [&](size_t a, size_t b) { return schema.columns[a].number < schema.columns[b].number; });
    const size_t first_late = by_number.size() - table.late_columns;
    for (size_t k = first_late; k < by_number.size(); ++k) late[by_number[k]] = true;
    early_columns = first_late == 0 ? 0 : schema.columns[by_number[first_late - 1]].number + 1;
    if (schema.columns[by_number[first_late]].number < early_columns) {
      throw std::invalid_argument("late columns must carry the highest column numbers");
    }
  }

  // The definition goes first, then the page holding its maps, as the engine
  // lays out a new table; the definition is written last, once the row count
  // and map places are known.
  DefinitionFields fields{&schema, false, 0, {}, {}};
  const uint32_t definition_pages = DefinitionPageCount(
      layout, SerializeDefinition(layout, fields).size(), table.definition_page_capacity);
  std::vector<uint32_t> pages;
  for (uint32_t k = 0; k < definition_pages; ++k) pages.push_back(m.store.Allocate());
  const uint32_t map_page = m.store.Allocate();

  RowPageWriter data(m.store, layout, pages[0], table.rows_per_page);
  LongValueWriter long_values(m.store, layout);
  const std::set<size_t> deleted(table.deleted_rows.begin(), table.deleted_rows.end());
  uint32_t live = 0;
  auto write_row = [&](size_t index, const Row& row) {
    if (row.size() != table.columns.size()) {
      throw std::invalid_argument("row " + std::to_string(index) + " of '" + table.name + "' has " +
                                  std::to_string(row.size()) + " values for " +
                                  std::to_string(table.columns.size()) + " columns");
    }
    const bool before_late = table.late_columns > 0 && index < table.rows_before_late_columns;
    std::vector<Cell> cells(row.size());
    for (size_t i = 0; i < row.size(); ++i) {
      if (before_late && late[i]) {
        if (!std::holds_alternative<std::monostate>(row[i])) {
          throw std::invalid_argument("row " + std::to_string(index) +
                                      " predates the late columns but has a value for one");
        }
        continue;
      }
      cells[i] = MakeCell(m.version, schema.columns[i], row[i], long_values, table.long_value_form,
                          table.compress_text, layout.code_page);
    }
    const Bytes bytes =
        EncodeRow(layout, schema, cells, before_late ? early_columns : schema.next_number);
    const bool gone = deleted.count(index) > 0;
    data.Add(bytes, gone ? kRowDeleted : 0);
    if (!gone) ++live;
  };
  if (table.row_source) {
    Row row;
    for (size_t i = 0;; ++i) {
      row.clear();
      if (!table.row_source(i, row)) break;
      write_row(i, row);
    }
  } else {
    for (size_t i = 0; i < table.rows.size(); ++i) write_row(i, table.rows[i]);
  }

  RowPageWriter maps(m.store, layout, 0, 0, map_page);
  fields.usage_map = maps.Add(MakeUsageMap(m.store, layout, table.usage_map_type, data.pages()));
  std::vector<uint32_t> roomy;
  if (!data.pages().empty() && data.FreeSpace(data.pages().back()) >= layout.page_size / 8) {
    roomy.push_back(data.pages().back());
  }
  fields.free_map = maps.Add(MakeUsageMap(m.store, layout, 0, roomy));
  fields.row_count = table.stored_row_count ? static_cast<uint32_t>(*table.stored_row_count) : live;
  WriteDefinitionPages(m.store, layout, SerializeDefinition(layout, fields), pages,
                       table.definition_page_capacity);

  m.objects.push_back(CatalogEntry{table.name, kTypeTable, pages[0], kTablesContainerId, table.catalog_flags,
                                   false, false});
  return pages[0];
}

CatalogEntry* JetFileBuilder::Impl::FindTable(const std::string& name) {
  for (auto it = objects.rbegin(); it != objects.rend(); ++it) {
    if (it->name == name && it->type == kTypeTable && !it->deleted) return &*it;
  }
  return nullptr;
}

namespace {

constexpr uint32_t kComplexTemplateFlags = 0x80030000;
constexpr uint32_t kComplexTableFlags = 0x800A0000;
constexpr uint32_t kHasComplexColumnsFlag = 0x00040000;
// Byte 16 of the hidden tables' column records.
constexpr uint8_t kComplexRowId = 0x04;
constexpr uint8_t kComplexLink = 0x08;
constexpr uint8_t kAttachmentField = 0x10;

std::vector<Column> AttachmentColumns() {
  return {Column{"FileData", kOle}, Column{"FileFlags", kLong}, Column{"FileName", kText},
          Column{"FileTimeStamp", kDateTime}, Column{"FileType", kText}, Column{"FileURL", kMemo}};
}

}  // namespace

void JetFileBuilder::AddComplexColumn(const ComplexColumn& complex) {
  Impl& m = *impl_;
  m.CheckOpen();
  CatalogEntry* parent = m.FindTable(complex.table);
  if (parent == nullptr) throw std::invalid_argument("no table '" + complex.table + "' was added");
  parent->flags |= kHasComplexColumnsFlag;
  const uint32_t parent_page = parent->id;
  const bool attachments = complex.type == ComplexType::kAttachments;

  if (!m.complex_templates.count(complex.type)) {
    Table templ;
    templ.name = attachments ? "MSysComplexType_Attachment" : "MSysComplexType_Text";
    templ.columns = attachments ? AttachmentColumns() : std::vector<Column>{Column{"Value", kText}};
    templ.catalog_flags = kComplexTemplateFlags;
    m.complex_templates[complex.type] = AddTable(templ);
  }

  Table hidden;
  char guid[40];
  std::snprintf(guid, sizeof guid, "%08X%024X", parent_page, complex.complex_id);
  hidden.name = std::string("f_") + guid + "_" + complex.column;
  if (hidden.name.size() > 64) hidden.name.resize(64);
  hidden.catalog_flags = kComplexTableFlags;
  Column link{"_" + complex.column, kLong};
  link.extra_flags = kComplexLink;
  Column row_id{complex.table + "_" + complex.column, kLong};
  row_id.extra_flags = kComplexRowId;
  hidden.columns = {link, row_id};
  int64_t next_id = 1;
  if (attachments) {
    for (Column c : AttachmentColumns()) {
      c.extra_flags = kAttachmentField;
      hidden.columns.push_back(c);
    }
    for (const auto& [key, file] : complex.attachments) {
      hidden.rows.push_back(Row{int64_t{key}, next_id++, AttachmentFileData(file.extension, file.data, file.compress),
                                std::monostate{}, file.name, std::monostate{}, file.extension, std::monostate{}});
    }
  } else {
    hidden.columns.push_back(Column{"Value", kText});
    for (const auto& [key, text] : complex.values) hidden.rows.push_back(Row{int64_t{key}, next_id++, text});
  }
  const uint32_t hidden_page = AddTable(hidden);
  m.complex_directory.push_back(Row{complex.column, int64_t{complex.complex_id},
                                    int64_t{m.complex_templates[complex.type]}, int64_t{parent_page},
                                    int64_t{hidden_page}});
}

void JetFileBuilder::AddQuery(const std::string& name) {
  impl_->CheckOpen();
  impl_->objects.push_back(
      CatalogEntry{name, kTypeQuery, impl_->next_object_id++, kTablesContainerId, 0, false, false});
}

void JetFileBuilder::AddRelationship(const Relationship& relationship) {
  impl_->CheckOpen();
  impl_->relationships.push_back(relationship);
  impl_->objects.push_back(CatalogEntry{relationship.name, kTypeRelationship,
                                        impl_->next_object_id++, kRelationshipsContainerId, 0, false,
                                        false});
}

void JetFileBuilder::AddCatalogRow(const CatalogRow& row) {
  impl_->CheckOpen();
  impl_->objects.push_back(CatalogEntry{row.name, static_cast<uint16_t>(row.type), row.id,
                                        kTablesContainerId, row.flags, row.deleted, false});
}

void JetFileBuilder::DeleteCatalogRowOf(const std::string& table_name) {
  impl_->CheckOpen();
  for (auto it = impl_->objects.rbegin(); it != impl_->objects.rend(); ++it) {
    if (it->name == table_name && it->type == kTypeTable) {
      it->deleted = true;
      return;
    }
  }
  throw std::invalid_argument("no table '" + table_name + "' was added");
}

void JetFileBuilder::SetRelationshipsFirst(bool first) {
  impl_->CheckOpen();
  impl_->relationships_first = first;
}

std::pair<RowAddress, RowAddress> JetFileBuilder::Impl::WriteMaps(
    RowPageWriter& maps, const std::vector<uint32_t>& pages) {
  const RowAddress usage = maps.Add(MakeAnyUsageMap(store, layout, pages));
  std::vector<uint32_t> last;
  if (!pages.empty()) last.push_back(pages.back());
  const RowAddress free = maps.Add(MakeAnyUsageMap(store, layout, last));
  return {usage, free};
}

void JetFileBuilder::Impl::WriteSystemDefinition(uint32_t page, const TableSchema& schema,
                                                 uint32_t rows,
                                                 std::pair<RowAddress, RowAddress> maps) {
  const DefinitionFields fields{&schema, true, rows, maps.first, maps.second};
  const Bytes definition = SerializeDefinition(layout, fields);
  if (DefinitionPageCount(layout, definition.size(), 0) != 1) {
    throw std::logic_error("system table definition outgrew its page");
  }
  WriteDefinitionPages(store, layout, definition, {page}, 0);
}

void JetFileBuilder::Impl::Finish() {
  if (finished) return;
  finished = true;

  const TableSchema relationships_schema = RelationshipsSchema(version);
  RowPageWriter relationship_pages(store, layout, kRelationshipsDefinitionPage);
  for (const Relationship& r : relationships) {
    relationship_pages.Add(EncodeRelationshipRow(layout, relationships_schema, r));
  }

  std::vector<CatalogEntry> entries = CatalogHead();
  if (relationships_first) entries.push_back(RelationshipsTableEntry());
  for (CatalogEntry& e : CatalogTail()) entries.push_back(std::move(e));
  entries.insert(entries.end(), objects.begin(), objects.end());
  if (!relationships_first) entries.push_back(RelationshipsTableEntry());
  const TableSchema catalog_schema = CatalogSchema(version);
  RowPageWriter catalog_pages(store, layout, kCatalogDefinitionPage, 0, kFirstCatalogPage);
  uint32_t live = 0;
  for (const CatalogEntry& e : entries) {
    catalog_pages.Add(EncodeCatalogRow(layout, catalog_schema, e), e.deleted ? kRowDeleted : 0);
    if (!e.deleted) ++live;
  }

  RowPageWriter maps(store, layout, 0, 0, kSystemMapsPage);
  const auto catalog_maps = WriteMaps(maps, catalog_pages.pages());
  const auto aces_maps = WriteMaps(maps, {});
  const auto queries_maps = WriteMaps(maps, {});
  const auto relationship_maps = WriteMaps(maps, relationship_pages.pages());
  WriteSystemDefinition(kCatalogDefinitionPage, catalog_schema, live, catalog_maps);
  WriteSystemDefinition(kAcesDefinitionPage, AcesSchema(version), 0, aces_maps);
  WriteSystemDefinition(kQueriesDefinitionPage, QueriesSchema(version), 0, queries_maps);
  WriteSystemDefinition(kRelationshipsDefinitionPage, relationships_schema,
                        static_cast<uint32_t>(relationships.size()), relationship_maps);

  RowPageWriter global(store, layout, kGlobalMapPage, 0, kGlobalMapPage);
  global.Add(GlobalFreeMap(layout, store.count()));
  global.Add(MakeUsageMap(store, layout, 0, {}));
  WriteHeaderPage(store.Page(0), layout, ace_version);
}

namespace {

// MSysComplexColumns as Access writes it: records in name order, numbers as
// the columns were created.
Table ComplexDirectory(std::vector<Row> rows) {
  Table t;
  t.name = "MSysComplexColumns";
  t.columns = {Column{"ColumnName", kText, 0, 0, 0, 0}, Column{"ComplexID", kLong, 0, 0, 0, 4},
               Column{"ComplexTypeObjectID", kLong, 0, 0, 0, 1}, Column{"ConceptualTableID", kLong, 0, 0, 0, 3},
               Column{"FlatTableID", kLong, 0, 0, 0, 2}};
  t.rows = std::move(rows);
  t.catalog_flags = kSystemObjectFlags;
  return t;
}

}  // namespace

void JetFileBuilder::AddComplexDirectory() {
  Impl& m = *impl_;
  if (m.finished || m.complex_directory.empty()) return;
  AddTable(ComplexDirectory(std::move(m.complex_directory)));
  m.complex_directory.clear();
}

Bytes JetFileBuilder::Build() {
  Impl& m = *impl_;
  AddComplexDirectory();
  m.Finish();
  Bytes out;
  out.reserve(static_cast<size_t>(m.store.count()) * m.layout.page_size);
  for (uint32_t p = 0; p < m.store.count(); ++p) {
    const uint8_t* page = m.store.Page(p);
    out.insert(out.end(), page, page + m.layout.page_size);
  }
  return out;
}

void JetFileBuilder::WriteTo(const std::string& path) {
  Impl& m = *impl_;
  AddComplexDirectory();
  m.Finish();
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) throw std::runtime_error("cannot create " + path);
  for (uint32_t p = 0; p < m.store.count(); ++p) {
    file.write(reinterpret_cast<const char*>(m.store.Page(p)), m.layout.page_size);
  }
  file.close();
  if (!file) throw std::runtime_error("cannot write " + path);
}

Bytes NumericBytes(int64_t unscaled) {
  const bool negative = unscaled < 0;
  const uint64_t magnitude =
      negative ? ~static_cast<uint64_t>(unscaled) + 1 : static_cast<uint64_t>(unscaled);
  Bytes out;
  PutU8(out, negative ? 0x80 : 0x00);
  PutU32(out, 0);
  PutU32(out, 0);
  PutU32(out, static_cast<uint32_t>(magnitude >> 32));
  PutU32(out, static_cast<uint32_t>(magnitude));
  return out;
}

double DateValue(int year, int month, int day, int hour, int minute, int second) {
  // Days from the civil calendar (proleptic Gregorian) to a day count.
  auto days = [](int64_t y, int64_t m, int64_t d) {
    y -= m <= 2 ? 1 : 0;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe;
  };
  const int64_t whole = days(year, month, day) - days(1899, 12, 30);
  return static_cast<double>(whole) + (hour * 3600 + minute * 60 + second) / 86400.0;
}

Bytes AttachmentFileData(const std::string& extension, const Bytes& file, bool compress) {
  Bytes content;
  const Bytes name = EncodeUtf16(Utf8ToUtf16(extension + std::string(1, '\0')));
  PutU32(content, static_cast<uint32_t>(12 + name.size()));
  PutU32(content, 1);
  PutU32(content, static_cast<uint32_t>(name.size() / 2));
  Append(content, name);
  Append(content, file);
  Bytes out;
  PutU32(out, compress ? 1 : 0);
  PutU32(out, static_cast<uint32_t>(content.size()));
  if (!compress) {
    Append(out, content);
    return out;
  }
  uLongf packed_size = compressBound(static_cast<uLong>(content.size()));
  Bytes packed(packed_size);
  if (compress2(packed.data(), &packed_size, content.data(), static_cast<uLong>(content.size()), Z_BEST_SPEED) !=
      Z_OK) {
    throw std::runtime_error("zlib could not compress an attachment");
  }
  packed.resize(packed_size);
  Append(out, packed);
  return out;
}

Bytes ExtendedDateTimeBytes(int64_t days, uint64_t ticks) {
  char text[48];
  std::snprintf(text, sizeof text, "%019lld:%019llu:7", static_cast<long long>(days),
                static_cast<unsigned long long>(ticks));
  Bytes out(text, text + 41);
  out.push_back(0);
  return out;
}

void WriteU16(Bytes& file, size_t offset, uint16_t value) {
  if (offset + 2 > file.size()) throw std::out_of_range("WriteU16 past the end of the file");
  SetU16(file.data() + offset, value);
}

void WriteU32(Bytes& file, size_t offset, uint32_t value) {
  if (offset + 4 > file.size()) throw std::out_of_range("WriteU32 past the end of the file");
  SetU32(file.data() + offset, value);
}

void ZeroPage(Bytes& file, uint32_t page_size, uint32_t page) {
  const size_t start = static_cast<size_t>(page) * page_size;
  if (start + page_size > file.size()) throw std::out_of_range("ZeroPage past the end of the file");
  std::fill_n(file.begin() + start, page_size, 0);
}

}  // namespace mendora::testing
