// What a recovered table is beyond its rows: its keys and indexes from its
// definition, and its columns' properties (AutoNumber, Required, text
// length, default values, descriptions...) from the definition and the
// property blocks the catalog keeps with it.
#ifndef MENDORA_RECOVERY_TABLE_SCHEMA_H_
#define MENDORA_RECOVERY_TABLE_SCHEMA_H_

#include <cstdint>
#include <map>
#include <string>

#include "reader/jet_handle.h"
#include "reader/table_def.h"
#include "recovery/loss_account.h"
#include "recovery/recovery_output.h"

namespace mendora {

// Adds to `out` (made from `table`) its indexes and its columns' properties
// from `property_blocks` (empty when the catalog holds none). What cannot be
// read is named in `losses`.
void DescribeSchema(const TableDef& table, const std::string& property_blocks, OutputTable& out,
                    LossAccount& losses);

}  // namespace mendora

#endif  // MENDORA_RECOVERY_TABLE_SCHEMA_H_
