// A recovered table made whole once its rows are in: its primary key,
// indexes, NOT NULL, DEFAULT and AutoNumber, and its properties in the
// table mendora_properties.
//
// The rows come first. A constraint they break (a repeated key, a missing
// value in a required field) is not made: the index is created without
// UNIQUE, the column stays nullable, and the caller is told which
// constraint could not be kept and why, so that no row is ever lost to one.
#ifndef MENDORA_OUTPUT_SQLITE_SQLITE_KEYS_H_
#define MENDORA_OUTPUT_SQLITE_SQLITE_KEYS_H_

#include <optional>
#include <string>
#include <vector>

#include "output/sqlite/sqlite_connection.h"
#include "output/sqlite/sqlite_schema.h"
#include "recovery/recovery_output.h"

namespace mendora {

inline constexpr char kPropertyCatalog[] = "mendora_properties";
// The property under which each column's Access type is kept there.
inline constexpr char kAccessTypeProperty[] = "AccessType";

// The SQLite DEFAULT clause's expression for an Access default value of a
// column of type `type`: constants, strings, True/False, Now() and Date().
// Nothing when SQLite has no equivalent.
std::optional<std::string> SqliteDefault(const std::string& access_expression, int type);

// Whether a table, index, view or trigger of the target is named `name`:
// they share one namespace, without regard to case.
bool NameTaken(SqliteConnection& connection, const std::string& name);

// A table created at once with the constraints its completion would give
// it if the rows kept them all, so that it need not be made again: each
// schema change costs SQLite a reading of its whole schema.
struct TablePlan {
  std::string name;                 // as stored
  std::vector<ColumnInfo> columns;  // of the plain table
  std::string plain;                // the CREATE TABLE text of the plain table
  std::string definition;           // the column list it was created with instead
  // The column of an AutoNumber key made the row id, or -1; then the ids
  // of the rows stored, in the order they came, which the plain table
  // numbers them in.
  int row_id_column = -1;
  std::vector<int64_t> order;
};

// Plans the table `plan` names, whose plain columns it holds, for rows that
// keep every constraint. False when that is the plain table.
bool PlanTable(SqliteConnection& connection, const OutputTable& described, TablePlan& plan);

// Makes a planned table plain again, each row keeping its row id: for rows
// that break the plan. Throws EngineError, changing nothing.
void MakePlain(SqliteConnection& connection, const TablePlan& plan);

// Completes `table` (as the pass described it) in the target; `plan` when
// it was created as planned. Returns one line per constraint that was not
// kept, with the reason: the same whether or not the table was planned.
std::vector<std::string> CompleteTable(SqliteConnection& connection, const OutputTable& table,
                                       const TablePlan* plan = nullptr);

}  // namespace mendora

#endif  // MENDORA_OUTPUT_SQLITE_SQLITE_KEYS_H_
