// What every file carries besides the user's tables: page 0, the global page
// map, the system tables and the catalog rows that name all objects.
#ifndef MENDORA_TESTS_BUILDER_JET_SYSTEM_H_
#define MENDORA_TESTS_BUILDER_JET_SYSTEM_H_

#include <cstdint>
#include <string>
#include <vector>

#include "tests/builder/jet_pages.h"
#include "tests/builder/jet_rows.h"

namespace mendora::testing::detail {

// Fixed places of the system pieces.
constexpr uint32_t kGlobalMapPage = 1;
constexpr uint32_t kAcesDefinitionPage = 3;
constexpr uint32_t kQueriesDefinitionPage = 4;
constexpr uint32_t kRelationshipsDefinitionPage = 5;
constexpr uint32_t kSystemMapsPage = 6;
constexpr uint32_t kFirstCatalogPage = 7;
constexpr uint32_t kFirstFreePage = 8;

// Catalog ids and parents.
constexpr uint32_t kFirstUserObjectId = 0x80000008;  // after the containers of the engine's host

// Catalog types as the 16-bit field stores them (reader/jet_format.h).
constexpr uint16_t kTypeTable = kCatalogTable;
constexpr uint16_t kTypeDatabase = kCatalogDatabase;
constexpr uint16_t kTypeContainer = kCatalogContainer;
constexpr uint16_t kTypeQuery = kCatalogQuery;
constexpr uint16_t kTypeRelationship = kCatalogRelationship;
constexpr uint16_t kTypeDocument = static_cast<uint16_t>(kCatalogDatabaseDocument);

constexpr uint32_t kSystemObjectFlags = 0x80000000;

struct CatalogEntry {
  std::string name;
  uint16_t type = kTypeTable;
  uint32_t id = 0;
  uint32_t parent = kTablesContainerId;
  uint32_t flags = 0;
  bool deleted = false;
  bool engine_owned = false;  // created with the file rather than by its user
};

// Column lists of the system tables, records in the order the engine writes
// them (Jet 4 sorts them by name).
TableSchema CatalogSchema(JetVersion version);
TableSchema AcesSchema(JetVersion version);
TableSchema QueriesSchema(JetVersion version);
TableSchema RelationshipsSchema(JetVersion version);

// The rows every new file's catalog starts with, split where the
// relationships table's own row goes.
std::vector<CatalogEntry> CatalogHead();
CatalogEntry RelationshipsTableEntry();
std::vector<CatalogEntry> CatalogTail();

Bytes EncodeCatalogRow(const Layout& layout, const TableSchema& schema, const CatalogEntry& entry);
Bytes EncodeRelationshipRow(const Layout& layout, const TableSchema& schema, const Relationship& r);

// Page 0 of a file of `layout`'s version; an Access 2007+ file when
// `ace_version` (2-6) is given.
void WriteHeaderPage(uint8_t* page, const Layout& layout, uint8_t ace_version = 0);

// Page-map row covering pages from 0 with bits set for the pages at or past
// `page_count`, which the engine keeps as free.
Bytes GlobalFreeMap(const Layout& layout, uint32_t page_count);

}  // namespace mendora::testing::detail

#endif  // MENDORA_TESTS_BUILDER_JET_SYSTEM_H_
