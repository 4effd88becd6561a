// Saved select queries as SQLite views, once everything else is in.
#ifndef MENDORA_OUTPUT_SQLITE_SQLITE_VIEWS_H_
#define MENDORA_OUTPUT_SQLITE_SQLITE_VIEWS_H_

#include "output/sqlite/sqlite_connection.h"

namespace mendora {

// Makes a view of every query of the query catalog whose Access SQL
// translates and whose view runs (views over views in the order they
// depend on each other); every other query's row says why it is no view.
// Returns the number of views made.
int CreateViews(SqliteConnection& connection);

}  // namespace mendora

#endif  // MENDORA_OUTPUT_SQLITE_SQLITE_VIEWS_H_
