// The working state of one running recovery pass: what the catalog walk and
// the steps after it hand each other. Made new for every pass, so nothing
// of one pass leaks into the next; only the recovery steps see it.
#ifndef MENDORA_RECOVERY_PASS_STATE_H_
#define MENDORA_RECOVERY_PASS_STATE_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "reader/decode_pool.h"
#include "recovery/access_objects.h"
#include "recovery/catalog_objects.h"
#include "recovery/query_text.h"
#include "recovery/recovery_output.h"

namespace mendora {

// A saved query met by the walk, created once the query table has been read.
struct PendingQuery {
  std::string name;
  uint32_t object_id = 0;
  bool deleted = false;  // met through a deleted catalog row: its text may be gone with it
};

// A relation's field pair as read from the source, kept until every table
// of the pass exists.
struct PendingRelation {
  std::string name;
  std::string table;
  std::string foreign_table;
  std::vector<RelationField> fields;
  int32_t flags = 0;
};

struct PassState {
  std::unique_ptr<RecoveryOutput> target;
  std::shared_ptr<DecodePool> decode_pool;  // made when a table is read with more than one job
  std::vector<RecoveryOutput*> active_outputs;  // the target, then the options' outputs
  std::set<int32_t> dispatched_definition_pages;
  std::set<int32_t> system_definition_pages;
  std::set<uint32_t> dispatched_query_ids;
  std::set<std::string> target_table_names;
  std::vector<PendingRelation> pending_relations;
  std::vector<PendingQuery> pending_queries;
  std::map<uint32_t, std::vector<QueryRow>> query_rows;  // by the query's object id
  // Queries a row of which lost a value (its expression, a name): what was lost.
  std::map<uint32_t, std::string> damaged_query_rows;
  bool query_table_read = false;
  bool query_table_damaged = false;  // its definition or rows did not read whole
  int32_t query_table_page = 0;      // the first query table the walk met
  // Every definition page the walk saw, with the continuation it names.
  std::map<uint32_t, uint32_t> definition_links;
  // Tables found by their definition alone, no catalog row leading to them.
  size_t orphan_tables = 0;
  // Data pages holding live rows, counted by the definition page they name.
  std::map<uint32_t, int64_t> data_page_owners;
  // Definition pages a catalog row led to that could not be read, with the
  // name the row gives: their rows are read with an inferred layout.
  std::map<int32_t, std::string> unreadable_definitions;
  // Tables read with a layout inferred from their rows.
  size_t headless_tables = 0;
  // Table names by definition page from the navigation pane's list of
  // objects, read when the catalog is lost.
  std::map<int32_t, std::string> navigation_names;
  size_t catalog_rows = 0;  // catalog rows the walk could read, deleted ones included
  // Read when the walk first needs it (link targets, complex columns,
  // calculated columns' result types).
  CatalogObjects catalog_objects;
  // Linked tables met by the walk, for the log: "name :  linked to ...".
  std::set<std::string> linked_tables;
  // The forms, reports, macros and modules the catalog names, and the
  // tables that hold them.
  ObjectCatalog object_catalog;
  // A save has told the loss account that the catalog could not be read
  // whole (its property blocks give keys, defaults and properties).
  bool catalog_problem_told = false;
  // The user tables and relationships live catalog rows name, each to come
  // back or be named lost: tables by name with their definition page.
  std::map<std::string, int32_t> catalog_tables;
  std::set<std::string> catalog_relations;
  // Catalog pages the walk found, for the check against the catalog's map.
  std::set<uint32_t> catalog_pages;
  // Data pages of user tables the walk saw (any data page that is neither
  // the catalog's nor a system table's): a pass that recovers no row from
  // them recovered nothing of what the file holds.
  int64_t user_data_pages = 0;
  // The page reads at the last progress report: reports are sent only when
  // the pass has read another page.
  uint64_t reported_reads = 0;
};

}  // namespace mendora

#endif  // MENDORA_RECOVERY_PASS_STATE_H_
