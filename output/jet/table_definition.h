// A Jet 4 table definition as Access writes it: the counts and usage maps,
// one entry per real index, the column records and names, the real and
// logical indexes with their names, and the long-value columns' maps; on
// continuation pages when it outgrows one.
#ifndef MENDORA_OUTPUT_JET_TABLE_DEFINITION_H_
#define MENDORA_OUTPUT_JET_TABLE_DEFINITION_H_

#include <cstdint>
#include <string>
#include <vector>

#include "output/jet/jet_bytes.h"
#include "output/jet/page_file.h"
#include "output/jet/row_pages.h"
#include "output/jet/table_layout.h"

namespace mendora::jet {

struct MapReference {
  uint8_t row = 0;
  uint32_t page = 0;
};

struct RealIndexDefinition {
  std::vector<std::pair<uint16_t, bool>> columns;  // column number, descending
  uint8_t flags = 0;                                // kIndexUnique, ...
  MapReference usage_map;
  uint32_t root = 0;
  uint32_t rows = 0;
  uint32_t distinct_keys = 0;
};

// The side of a relation a logical index stands for.
enum class RelationSide : uint8_t { kNone = 0, kReferenced = 1, kReferencing = 2 };

struct LogicalIndexDefinition {
  std::string name;
  uint32_t number = 0;
  uint32_t real = 0;
  uint8_t kind = 0;  // 1 primary key, 2 a relation's
  RelationSide side = RelationSide::kNone;
  uint32_t other_index = 0xFFFFFFFF;  // the other side's logical index
  uint32_t other_table = 0;           // the other side's definition page
  bool cascade_updates = false;
  bool cascade_deletes = false;
};

struct LongValueMaps {
  uint16_t column = 0;
  MapReference usage_map;
  MapReference free_map;
};

struct TableDefinition {
  bool system = false;
  uint32_t rows = 0;
  uint32_t last_autonumber = 0;
  std::vector<JetColumn> columns;  // placed, in the order their records go
  MapReference usage_map;
  MapReference free_map;
  std::vector<RealIndexDefinition> real_indexes;
  std::vector<LogicalIndexDefinition> logical_indexes;  // in the order they are stored
  std::vector<LongValueMaps> long_value_maps;
};

Bytes SerializeDefinition(const TableDefinition& definition);

// Writes `definition` at `first_page`, with continuation pages allocated as
// needed.
void WriteDefinition(PageFile& file, uint32_t first_page, const Bytes& definition);

}  // namespace mendora::jet

#endif  // MENDORA_OUTPUT_JET_TABLE_DEFINITION_H_
