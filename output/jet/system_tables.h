// What every Access database holds besides its user's tables: page 0, the
// map of free pages, the four system tables (the catalog MSysObjects, the
// permissions MSysACEs, the saved queries' MSysQueries and the relations'
// MSysRelationships) with their columns and indexes, and the catalog's
// containers with the permissions Access gives them.
#ifndef MENDORA_OUTPUT_JET_SYSTEM_TABLES_H_
#define MENDORA_OUTPUT_JET_SYSTEM_TABLES_H_

#include <cstdint>
#include <string>
#include <vector>

#include "output/jet/jet_bytes.h"
#include "output/jet/page_file.h"
#include "output/jet/table_layout.h"
#include "reader/jet_format.h"

namespace mendora::jet {

// Fixed pages.
inline constexpr uint32_t kHeaderPage = 0;
inline constexpr uint32_t kGlobalMapPage = 1;
inline constexpr uint32_t kCatalogPage = kCatalogDefinitionPage;
inline constexpr uint32_t kAcesPage = 3;
inline constexpr uint32_t kQueriesPage = 4;
inline constexpr uint32_t kRelationshipsPage = 5;

// The catalog id of the database object.
inline constexpr uint32_t kDatabaseObjectId = 0x10000000;
// Objects without a definition page (queries, relations, Access's
// containers) are numbered from here.
inline constexpr uint32_t kFirstLooseId = 0x80000000;
inline constexpr uint32_t kSystemObject = 0x80000000;  // Flags of Access's own objects

// The accounts whose permissions a file carries. Their ids are stored
// encoded by the file; see Sid().
enum class Account { kEngine, kAdmin, kUsers, kCreator };
Bytes Sid(Account account);

struct SystemIndex {
  std::string name;
  std::vector<uint16_t> columns;  // column numbers, ascending
  uint8_t flags = 0;
  bool primary = false;
};

struct SystemTable {
  std::string name;
  uint32_t page = 0;
  std::vector<JetColumn> columns;  // placed, in number order
  std::vector<SystemIndex> indexes;
  // Access's own tables; a table Access makes for itself in the user's
  // part of the catalog (MSysAccessObjects) is not.
  bool system = true;
};

// The four system tables. Column numbers name their fields below.
const SystemTable& CatalogTable();
const SystemTable& AcesTable();
const SystemTable& QueriesTable();
const SystemTable& RelationshipsTable();

// The table in which Access 2000 to 2003 keep forms, reports, macros and
// modules: one compound file cut into chunks of Data, numbered by ID.
SystemTable AccessObjectsTable(uint32_t page);
inline constexpr uint16_t kAccessObjectsChunk = 3992;  // the bytes of a Data field
inline constexpr uint32_t kAccessObjectsFlags = 0x2;   // its catalog Flags

namespace access_objects {
enum : size_t { kData, kId, kColumns };
}

// The table in which Access 2007 and later keep them, also in the Access
// 2000 format: a tree of storages and streams, one row each, the row's Id
// an AutoNumber.
SystemTable AccessStorageTable(uint32_t page);
inline constexpr uint32_t kAccessStorageFlags = 0xA;  // its catalog Flags

namespace access_storage {
enum : size_t { kDateCreate, kDateUpdate, kId, kLv, kName, kParentId, kType, kColumns };
}
namespace catalog {
enum : size_t { kId, kParentId, kName, kType, kDateCreate, kDateUpdate, kOwner, kFlags, kDatabase, kConnect,
                kForeignName, kRmtInfoShort, kRmtInfoLong, kLv, kLvProp, kLvModule, kLvExtra, kColumns };
}
namespace aces {
enum : size_t { kObjectId, kSid, kAcm, kInheritable, kColumns };
}
namespace queries {
enum : size_t { kObjectId, kAttribute, kOrder, kName1, kName2, kExpression, kFlag, kLvExtra, kColumns };
}
namespace relationships {
enum : size_t { kRelationship, kFlags, kColumnCount, kColumnIndex, kObject, kColumn, kReferencedObject,
                kReferencedColumn, kColumns };
}

// One permission row.
struct AceRow {
  uint32_t object = 0;
  Account account = Account::kAdmin;
  uint32_t rights = 0;
  bool inheritable = false;
};

// The permissions of the containers and system objects of a new file.
std::vector<AceRow> SystemAces();
// Access's own containers (Forms, Reports, ...) and their permissions.
std::vector<std::string> AccessContainers();
std::vector<AceRow> AccessContainerAces(uint32_t id);
// A user's table or query: full rights for its owner and every user.
std::vector<AceRow> ObjectAces(uint32_t id);
// A form, report, macro or module, and MSysAccessObjects: every right for
// Admin and every user.
std::vector<AceRow> AccessObjectAces(uint32_t id);

// Page 0 of the new file.
void WriteHeaderPage(PageFile& file);
// The creation date page 0 names, days since 1899-12-30.
double HeaderCreated();
// The rows of the map of free pages (page 1) of a file of `page_count` pages.
std::vector<Bytes> GlobalMapRows(uint32_t page_count);

}  // namespace mendora::jet

#endif  // MENDORA_OUTPUT_JET_SYSTEM_TABLES_H_
