// The system tables, their containers and permissions, and page 0.
#include "output/jet/system_tables.h"

#include <array>
#include <cstring>

#include "reader/column_types.h"
#include "reader/index_def.h"
#include "reader/jet_format.h"
#include "reader/table_def.h"

namespace mendora::jet {

namespace {

constexpr uint8_t kSystemFixed = kColumnFlagFixed | kColumnFlagUpdatable | kColumnFlagSystem;
constexpr uint8_t kSystemVariable = kColumnFlagUpdatable | kColumnFlagSystem;
constexpr uint8_t kSystemSid = kSystemVariable | kColumnFlagSid;
constexpr uint16_t kTextBytes = 510;

JetColumn Column(const char* name, int type, uint8_t flags = 0) {
  JetColumn c;
  c.name = name;
  c.type = type;
  c.size = IsFixedType(type) ? FixedSize(type) : (type == kColumnText || type == kColumnBinary ? kTextBytes : 0);
  c.flags = flags != 0 ? flags : (IsFixedType(type) ? kSystemFixed : kSystemVariable);
  return c;
}

SystemTable Make(const char* name, uint32_t page, std::vector<JetColumn> columns, std::vector<SystemIndex> indexes) {
  for (size_t i = 0; i < columns.size(); ++i) columns[i].source = i;
  PlaceColumns(columns);
  return SystemTable{name, page, std::move(columns), std::move(indexes)};
}

// Access stores account ids encoded with a key it takes from page 0; what
// that key is made of is not established. The samples show the stored ids
// of these four accounts under one page 0, so the writer writes that page
// 0's creation date and the ids as they are stored under it. Access's own
// accounts are the same in every workgroup, so these are what any Access
// reads as the engine, Admin, Users and the creator of an object.
constexpr double kHeaderCreated = 42329.94480300926;  // 2015-11-21 22:40:31
constexpr uint16_t kHeaderField6A = 0x261C;           // written beside the date; its meaning is unknown
constexpr std::array<uint8_t, 2> kEngineSid = {0x65, 0x89};
constexpr std::array<uint8_t, 2> kAdminSid = {0x64, 0x8B};
constexpr std::array<uint8_t, 2> kUsersSid = {0x65, 0x8B};
constexpr std::array<uint8_t, 2> kCreatorSid = {0x65, 0x8E};

// Permission sets as Access grants them.
constexpr uint32_t kFullTableRights = 0x000FFEFF;
constexpr uint32_t kFullRights = 0x000FFFFF;

void Rc4(const uint8_t* key, size_t key_length, uint8_t* data, size_t n) {
  std::array<uint8_t, 256> s{};
  for (int i = 0; i < 256; ++i) s[i] = static_cast<uint8_t>(i);
  uint8_t j = 0;
  for (int i = 0; i < 256; ++i) {
    j = static_cast<uint8_t>(j + s[i] + key[i % key_length]);
    std::swap(s[i], s[j]);
  }
  uint8_t a = 0, b = 0;
  for (size_t k = 0; k < n; ++k) {
    a = static_cast<uint8_t>(a + 1);
    b = static_cast<uint8_t>(b + s[a]);
    std::swap(s[a], s[b]);
    data[k] ^= s[static_cast<uint8_t>(s[a] + s[b])];
  }
}

}  // namespace

Bytes Sid(Account account) {
  const std::array<uint8_t, 2>& sid = account == Account::kEngine  ? kEngineSid
                                      : account == Account::kAdmin ? kAdminSid
                                      : account == Account::kUsers ? kUsersSid
                                                                   : kCreatorSid;
  return Bytes(reinterpret_cast<const char*>(sid.data()), sid.size());
}

const SystemTable& CatalogTable() {
  static const SystemTable table = Make(
      "MSysObjects", kCatalogPage,
      {Column("Id", kColumnLongInteger), Column("ParentId", kColumnLongInteger), Column("Name", kColumnText),
       Column("Type", kColumnInteger), Column("DateCreate", kColumnDateTime), Column("DateUpdate", kColumnDateTime),
       Column("Owner", kColumnBinary, kSystemSid), Column("Flags", kColumnLongInteger), Column("Database", kColumnMemo),
       Column("Connect", kColumnMemo), Column("ForeignName", kColumnText), Column("RmtInfoShort", kColumnBinary),
       Column("RmtInfoLong", kColumnOle), Column("Lv", kColumnOle), Column("LvProp", kColumnOle),
       Column("LvModule", kColumnOle), Column("LvExtra", kColumnOle)},
      {{"Id", {catalog::kId}, kIndexUnique, true}, {"ParentIdName", {catalog::kParentId, catalog::kName}, kIndexUnique, false}});
  return table;
}

const SystemTable& AcesTable() {
  static const SystemTable table = Make(
      "MSysACEs", kAcesPage,
      {Column("ObjectId", kColumnLongInteger), Column("SID", kColumnBinary, kSystemSid), Column("ACM", kColumnLongInteger),
       Column("FInheritable", kColumnBoolean)},
      {{"ObjectId", {aces::kObjectId}, kIndexRequired, false}});
  return table;
}

const SystemTable& QueriesTable() {
  static const SystemTable table = Make(
      "MSysQueries", kQueriesPage,
      {Column("ObjectId", kColumnLongInteger), Column("Attribute", kColumnByte), Column("Order", kColumnBinary),
       Column("Name1", kColumnText), Column("Name2", kColumnText), Column("Expression", kColumnMemo),
       Column("Flag", kColumnInteger), Column("LvExtra", kColumnLongInteger)},
      {{"ObjectIdAttribute", {queries::kObjectId, queries::kAttribute, queries::kOrder}, kIndexUnique, true}});
  return table;
}

const SystemTable& RelationshipsTable() {
  static const SystemTable table = Make(
      "MSysRelationships", kRelationshipsPage,
      {Column("szRelationship", kColumnText), Column("grbit", kColumnLongInteger), Column("ccolumn", kColumnLongInteger),
       Column("icolumn", kColumnLongInteger), Column("szObject", kColumnText), Column("szColumn", kColumnText),
       Column("szReferencedObject", kColumnText), Column("szReferencedColumn", kColumnText)},
      {{"szRelationship", {relationships::kRelationship}, kIndexIgnoreNulls, false},
       {"szObject", {relationships::kObject}, kIndexIgnoreNulls, false},
       {"szReferencedObject", {relationships::kReferencedObject}, kIndexIgnoreNulls, false}});
  return table;
}

SystemTable AccessObjectsTable(uint32_t page) {
  // As Access defines it: Data a fixed field of type 0x11 that fills a
  // page, ID a long integer kept among the variable fields, its primary
  // key AOIndex.
  JetColumn data;
  data.name = "Data";
  data.type = kColumnUnknown11;
  data.size = kAccessObjectsChunk;
  data.flags = kColumnFlagFixed | kColumnFlagUpdatable;
  data.fixed = true;
  JetColumn id;
  id.name = "ID";
  id.type = kColumnLongInteger;
  id.size = FixedSize(kColumnLongInteger);
  id.flags = kColumnFlagUpdatable;
  id.number = 1;
  id.source = 1;
  id.fixed = false;
  SystemTable table{"MSysAccessObjects", page, {data, id},
                    {{"AOIndex", {access_objects::kId}, kIndexUnique | kIndexRequired, true}}};
  table.system = false;
  return table;
}

SystemTable AccessStorageTable(uint32_t page) {
  // As Access defines it: every column among the variable fields (the
  // dates and long integers too), none a system column, Id an AutoNumber
  // and the primary key, and two unique indexes over the parent.
  std::vector<JetColumn> columns = {
      Column("DateCreate", kColumnDateTime, kColumnFlagUpdatable),
      Column("DateUpdate", kColumnDateTime, kColumnFlagUpdatable),
      Column("Id", kColumnLongInteger, kColumnFlagUpdatable | kColumnFlagAutoNumber),
      Column("Lv", kColumnOle, kColumnFlagUpdatable),
      Column("Name", kColumnText, kColumnFlagUpdatable),
      Column("ParentId", kColumnLongInteger, kColumnFlagUpdatable),
      Column("Type", kColumnLongInteger, kColumnFlagUpdatable),
  };
  columns[access_storage::kName].size = 256;  // 128 characters, not the 255 of the system tables' text
  for (uint16_t i = 0; i < columns.size(); ++i) {
    columns[i].number = i;
    columns[i].source = i;
    columns[i].var_index = i;
  }
  using namespace access_storage;
  SystemTable table{"MSysAccessStorage", page, std::move(columns),
                    {{"Id", {kId}, kIndexUnique | kIndexRequired, true},
                     {"ParentIdId", {kParentId, kId}, kIndexUnique, false},
                     {"ParentIdName", {kParentId, kName}, kIndexUnique, false}}};
  table.system = false;
  return table;
}

std::vector<AceRow> SystemAces() {
  using A = Account;
  return {
      {CatalogTable().page, A::kAdmin, 0x60000, false},     {CatalogTable().page, A::kUsers, 0x14, false},
      {AcesTable().page, A::kAdmin, 0x60000, false},        {QueriesTable().page, A::kAdmin, 0x60000, false},
      {QueriesTable().page, A::kUsers, 0x14, false},        {RelationshipsTable().page, A::kAdmin, 0xE0000, false},
      {RelationshipsTable().page, A::kUsers, 0x14, false},  {kTablesContainerId, A::kCreator, 0xF00FE, true},
      {kTablesContainerId, A::kAdmin, 0x60001, false},               {kTablesContainerId, A::kUsers, kFullTableRights, true},
      {kRelationshipsContainerId, A::kCreator, 0xF00FE, true},       {kRelationshipsContainerId, A::kAdmin, 0x60001, false},
      {kRelationshipsContainerId, A::kUsers, kFullRights, true},     {kDatabasesContainerId, A::kAdmin, 0x60000, false},
      {kDatabaseObjectId, A::kAdmin, 0x6000E, false},       {kDatabaseObjectId, A::kUsers, 0xE, false},
  };
}

std::vector<std::string> AccessContainers() {
  return {"DataAccessPages", "Forms", "Modules", "Reports", "Scripts", "SysRel"};
}

std::vector<AceRow> AccessContainerAces(uint32_t id) {
  return {{id, Account::kUsers, kFullRights, true}, {id, Account::kAdmin, kFullRights, true},
          {id, Account::kCreator, kFullRights, true}};
}

std::vector<AceRow> ObjectAces(uint32_t id) {
  return {{id, Account::kAdmin, kFullTableRights, false}, {id, Account::kUsers, kFullTableRights, false}};
}

std::vector<AceRow> AccessObjectAces(uint32_t id) {
  return {{id, Account::kUsers, kFullRights, false}, {id, Account::kAdmin, kFullRights, false}};
}

double HeaderCreated() { return kHeaderCreated; }

void WriteHeaderPage(PageFile& file) {
  static constexpr char kEngineName[] = "Standard Jet DB";
  std::array<uint8_t, kPageSize> page{};
  page[0] = kHeaderPageType;
  page[1] = kPageMark;
  std::memcpy(page.data() + kHeaderEngineNamePos, kEngineName, sizeof kEngineName);
  SetU32(page.data() + kHeaderVersionPos, 1);
  // The encoded part, in plain form first. Its leading words are what
  // every Jet 4 file holds there.
  uint8_t* plain = page.data();
  const uint8_t lead[] = {0x00, 0x01, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,
                          0x03, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00};
  std::memcpy(plain + kHeaderEncodedStart, lead, sizeof lead);
  SetU16(plain + kHeaderCodePagePos, 1252);
  // An empty password: its characters are zero, so what is stored is the
  // mask alone.
  const auto days = static_cast<uint32_t>(kHeaderCreated);
  uint8_t mask[4];
  SetU32(mask, days);
  for (uint32_t i = 0; i < kHeaderPasswordLength; ++i) {
    const uint32_t at = kHeaderPasswordPos + i;
    plain[at] = mask[(at - kHeaderPasswordMaskPos) % 4];
  }
  SetU16(plain + kHeaderPasswordPos + kHeaderPasswordLength, kHeaderField6A);
  SetU16(plain + kHeaderSortOrderPos, kGeneralSortOrder);
  std::memcpy(plain + kHeaderCreatedPos, &kHeaderCreated, sizeof kHeaderCreated);
  Rc4(kHeaderKey, sizeof kHeaderKey, page.data() + kHeaderEncodedStart, kJet4HeaderEncodedLength);
  const uint8_t after[] = {0x54, 0x06, 0x00, 0x00, '4', '.', '0'};
  std::memcpy(page.data() + kHeaderEncodedStart + kJet4HeaderEncodedLength, after, sizeof after);
  const uint32_t tail = kPageSize - 512;
  for (uint32_t at = tail; at < kPageSize; at += 2) page[at + 1] = 0x01;
  page[tail] = 0x01;
  file.Write(kHeaderPage, page.data());
}

std::vector<Bytes> GlobalMapRows(uint32_t page_count) {
  const uint32_t bitmap_bytes = kJet4UsageMapRowSize - 5;
  Bytes free_pages(kJet4UsageMapRowSize, '\0');
  if (page_count < bitmap_bytes * 8) {
    // Pages past the end are free for the taking.
    free_pages[0] = static_cast<char>(kInlineUsageMap);
    for (uint32_t page = page_count; page < bitmap_bytes * 8; ++page) {
      free_pages[5 + page / 8] = static_cast<char>(static_cast<uint8_t>(free_pages[5 + page / 8]) | (1u << (page % 8)));
    }
  } else {
    // No page of the file is free, and no bitmap page is needed to say so.
    free_pages[0] = static_cast<char>(kReferenceUsageMap);
  }
  return {free_pages, Bytes(kJet4UsageMapRowSize, '\0')};
}

}  // namespace mendora::jet
