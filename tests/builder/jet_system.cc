// Page 0, the global page map, the system tables and catalog rows.
#include "tests/builder/jet_system.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <map>
#include <stdexcept>

#include "reader/jet_format.h"
#include "tests/builder/jet_text.h"

namespace mendora::testing::detail {

namespace {

constexpr uint8_t kSystemFixed = 0x13;
constexpr uint8_t kSystemVariable = 0x12;
constexpr uint8_t kSystemSid = 0x32;

StoredColumn SystemColumn(const char* name, int type, int number, JetVersion version,
                          uint8_t flags = 0) {
  StoredColumn c;
  c.name = name;
  c.type = type;
  c.number = number;
  c.row_number = 0;  // as the engine writes it in its own tables
  c.size = NaturalSize(type, version);
  c.flags = flags != 0 ? flags : (IsFixedType(type) ? kSystemFixed : kSystemVariable);
  return c;
}

std::string Folded(const std::string& s) {
  std::string out = s;
  for (char& ch : out) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return out;
}

TableSchema SystemSchema(std::vector<StoredColumn> columns, JetVersion version) {
  if (version == JetVersion::kJet4) {
    std::stable_sort(columns.begin(), columns.end(),
                     [](const StoredColumn& a, const StoredColumn& b) {
                       return Folded(a.name) < Folded(b.name);
                     });
  }
  return PlanColumns(std::move(columns));
}

std::vector<Cell> CellsByName(const TableSchema& schema, std::map<std::string, Cell> cells) {
  std::vector<Cell> out;
  out.reserve(schema.columns.size());
  for (const StoredColumn& c : schema.columns) {
    auto it = cells.find(c.name);
    out.push_back(it == cells.end() ? Cell{} : std::move(it->second));
  }
  return out;
}

Cell Present(Bytes bytes) { return Cell{true, false, std::move(bytes)}; }

Cell U32Cell(uint32_t v) {
  Bytes b;
  PutU32(b, v);
  return Present(b);
}

Cell DateCell(double days) {
  Bytes b;
  uint64_t bits;
  static_assert(sizeof bits == sizeof days);
  std::memcpy(&bits, &days, sizeof bits);
  PutU64(b, bits);
  return Present(b);
}

// Catalog rows all carry one creation time, so built files are reproducible.
const double kCreated = DateValue(2024, 1, 15, 10, 30, 0);

Bytes Rc4(const std::array<uint8_t, 4>& key, const uint8_t* data, size_t n) {
  std::array<uint8_t, 256> s{};
  for (int i = 0; i < 256; ++i) s[i] = static_cast<uint8_t>(i);
  uint8_t j = 0;
  for (int i = 0; i < 256; ++i) {
    j = static_cast<uint8_t>(j + s[i] + key[i % key.size()]);
    std::swap(s[i], s[j]);
  }
  Bytes out(n);
  uint8_t a = 0;
  uint8_t b = 0;
  for (size_t k = 0; k < n; ++k) {
    a = static_cast<uint8_t>(a + 1);
    b = static_cast<uint8_t>(b + s[a]);
    std::swap(s[a], s[b]);
    out[k] = data[k] ^ s[static_cast<uint8_t>(s[a] + s[b])];
  }
  return out;
}

}  // namespace

TableSchema CatalogSchema(JetVersion v) {
  return SystemSchema(
      {SystemColumn("Id", kLong, 0, v), SystemColumn("ParentId", kLong, 1, v),
       SystemColumn("Name", kText, 2, v), SystemColumn("Type", kInteger, 3, v),
       SystemColumn("DateCreate", kDateTime, 4, v), SystemColumn("DateUpdate", kDateTime, 5, v),
       SystemColumn("Owner", kBinary, 6, v, kSystemSid), SystemColumn("Flags", kLong, 7, v),
       SystemColumn("Database", kMemo, 8, v), SystemColumn("Connect", kMemo, 9, v),
       SystemColumn("ForeignName", kText, 10, v), SystemColumn("RmtInfoShort", kBinary, 11, v),
       SystemColumn("RmtInfoLong", kOle, 12, v), SystemColumn("Lv", kOle, 13, v),
       SystemColumn("LvProp", kOle, 14, v), SystemColumn("LvModule", kOle, 15, v),
       SystemColumn("LvExtra", kOle, 16, v)},
      v);
}

TableSchema AcesSchema(JetVersion v) {
  return SystemSchema(
      {SystemColumn("ObjectId", kLong, 0, v), SystemColumn("SID", kBinary, 1, v, kSystemSid),
       SystemColumn("ACM", kLong, 2, v), SystemColumn("FInheritable", kBoolean, 3, v)},
      v);
}

TableSchema QueriesSchema(JetVersion v) {
  std::vector<StoredColumn> columns = {
      SystemColumn("ObjectId", kLong, 0, v), SystemColumn("Attribute", kByte, 1, v),
      SystemColumn("Order", kBinary, 2, v),  SystemColumn("Name1", kText, 3, v),
      SystemColumn("Name2", kText, 4, v),    SystemColumn("Expression", kMemo, 5, v),
      SystemColumn("Flag", kInteger, 6, v)};
  if (v == JetVersion::kJet4) columns.push_back(SystemColumn("LvExtra", kLong, 7, v));
  return SystemSchema(std::move(columns), v);
}

TableSchema RelationshipsSchema(JetVersion v) {
  return SystemSchema(
      {SystemColumn("szRelationship", kText, 0, v), SystemColumn("grbit", kLong, 1, v),
       SystemColumn("ccolumn", kLong, 2, v), SystemColumn("icolumn", kLong, 3, v),
       SystemColumn("szObject", kText, 4, v), SystemColumn("szColumn", kText, 5, v),
       SystemColumn("szReferencedObject", kText, 6, v),
       SystemColumn("szReferencedColumn", kText, 7, v)},
      v);
}

std::vector<CatalogEntry> CatalogHead() {
  auto system = [](const char* name, uint16_t type, uint32_t id, uint32_t parent) {
    return CatalogEntry{name, type, id, parent, kSystemObjectFlags, false, true};
  };
  return {system("Tables", kTypeContainer, kTablesContainerId, kRootContainerId),
          system("Databases", kTypeContainer, kDatabasesContainerId, kRootContainerId),
          system("Relationships", kTypeContainer, kRelationshipsContainerId, kRootContainerId),
          system("MSysDb", kTypeDatabase, 0x10000000, kDatabasesContainerId),
          system("MSysObjects", kTypeTable, kCatalogDefinitionPage, kTablesContainerId),
          system("MSysACEs", kTypeTable, kAcesDefinitionPage, kTablesContainerId),
          system("MSysQueries", kTypeTable, kQueriesDefinitionPage, kTablesContainerId)};
}

CatalogEntry RelationshipsTableEntry() {
  return CatalogEntry{"MSysRelationships",
                      kTypeTable,
                      kRelationshipsDefinitionPage,
                      kTablesContainerId,
                      kSystemObjectFlags,
                      false,
                      true};
}

std::vector<CatalogEntry> CatalogTail() {
  std::vector<CatalogEntry> out;
  uint32_t id = 0x80000000;
  for (const char* name : {"DataAccessPages", "Forms", "Modules", "Reports", "Scripts", "SysRel"}) {
    out.push_back(CatalogEntry{name, kTypeContainer, id++, kRootContainerId, 0, false, false});
  }
  for (const char* name : {"SummaryInfo", "UserDefined"}) {
    out.push_back(CatalogEntry{name, kTypeDocument, id++, kDatabasesContainerId, 0, false, false});
  }
  return out;
}

Bytes EncodeCatalogRow(const Layout& layout, const TableSchema& schema, const CatalogEntry& e) {
  static const Bytes kOwner[2][2] = {{{0x03, 0x01}, {0x02, 0x03}}, {{0xC9, 0x9E}, {0xC8, 0x9C}}};
  Bytes type;
  PutU16(type, e.type);
  std::map<std::string, Cell> cells;
  cells["Id"] = U32Cell(e.id);
  cells["ParentId"] = U32Cell(e.parent);
  cells["Name"] = Present(EncodeText(layout.version, e.name, false, layout.code_page));
  cells["Type"] = Present(type);
  cells["DateCreate"] = DateCell(kCreated);
  cells["DateUpdate"] = DateCell(kCreated);
  cells["Owner"] = Present(kOwner[layout.jet4() ? 1 : 0][e.engine_owned ? 1 : 0]);
  cells["Flags"] = U32Cell(e.flags);
  return EncodeRow(layout, schema, CellsByName(schema, std::move(cells)), schema.next_number);
}

Bytes EncodeRelationshipRow(const Layout& layout, const TableSchema& schema,
                            const Relationship& r) {
  auto text = [&](const std::string& s) { return Present(EncodeText(layout.version, s, false, layout.code_page)); };
  std::map<std::string, Cell> cells;
  cells["szRelationship"] = text(r.name);
  cells["grbit"] = U32Cell(0);
  cells["ccolumn"] = U32Cell(1);
  cells["icolumn"] = U32Cell(0);
  cells["szObject"] = text(r.foreign_table);
  cells["szColumn"] = text(r.foreign_column);
  cells["szReferencedObject"] = text(r.table);
  cells["szReferencedColumn"] = text(r.column);
  return EncodeRow(layout, schema, CellsByName(schema, std::move(cells)), schema.next_number);
}

void WriteHeaderPage(uint8_t* page, const Layout& layout, uint8_t ace_version) {
  static constexpr char kMagic[] = "Standard Jet DB";
  static constexpr char kAceMagic[] = "Standard ACE DB";
  std::fill_n(page, layout.page_size, 0);
  page[0] = kHeaderPageType;
  page[1] = kPageMark;
  std::copy_n(ace_version != 0 ? kAceMagic : kMagic, sizeof kMagic, page + 4);
  SetU32(page + 0x14, ace_version != 0 ? ace_version : layout.jet4() ? 1 : 0);

  // The scrambled part, in plain form; offsets are absolute.
  const size_t scrambled = layout.jet4() ? 128 : 126;
  uint8_t plain[0x18 + 128] = {};
  auto put = [&](size_t at, std::initializer_list<uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(), plain + at);
  };
  put(0x18, {0x00, 0x01, 0x00, 0x00, 0x01, 0x01});
  put(0x20, {0x02});
  put(0x24, {0x03});
  put(0x28, {0x04});
  put(0x2C, {0x05});
  put(0x3C, {static_cast<uint8_t>(layout.header_code_page), static_cast<uint8_t>(layout.header_code_page >> 8)});
  if (layout.jet4()) {
    // Password field of a file without one, as masked with the creation time
    // that follows; both copied from a file made by the engine.
    for (size_t at = 0x42; at < 0x6A; at += 4) put(at, {0xFF, 0x94});
    put(0x6A, {0xAA, 0x21});
    put(0x6E, {0x09, 0x04});  // sort order
    put(0x72, {0xBC, 0x72, 0x1F, 0x7D, 0xF1, 0x9F, 0xE2, 0x40});
  } else {
    put(0x38, {0x01, 0x00, static_cast<uint8_t>(layout.sort_order), static_cast<uint8_t>(layout.sort_order >> 8)});
    put(0x56, {0x1E, 0x25});
  }
  const Bytes masked = Rc4({0xC7, 0xDA, 0x39, 0x6B}, plain + 0x18, scrambled);
  std::copy(masked.begin(), masked.end(), page + 0x18);
  if (layout.jet4()) {
    const uint8_t after[] = {0x54, 0x06, 0x00, 0x00, 0x34, 0x2E, 0x30};
    std::copy(std::begin(after), std::end(after), page + 0x98);
  }
  const uint32_t tail = layout.page_size - 512;
  for (uint32_t at = tail; at < layout.page_size; at += 2) page[at + 1] = 0x01;
  page[tail] = 0x01;
  if (!layout.jet4()) page[tail + 2] = 0x0A;
}

Bytes GlobalFreeMap(const Layout& layout, uint32_t page_count) {
  const uint32_t bitmap = layout.map_row_size - 5;
  Bytes row(5 + bitmap, 0);
  for (uint32_t page = page_count; page < bitmap * 8; ++page) {
    row[5 + page / 8] |= static_cast<uint8_t>(1u << (page % 8));
  }
  return row;
}

}  // namespace mendora::testing::detail
