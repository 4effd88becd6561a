// Creating the views of saved select queries.
#include "output/sqlite/sqlite_views.h"

#include <vector>

#include "output/sqlite/sqlite_querydef.h"
#include "output/sqlite/sqlite_schema.h"
#include "output/sqlite/view_translation.h"

namespace mendora {

namespace {

struct Candidate {
  int64_t row = 0;
  std::string name;
  std::string select;
  std::string reason;  // empty once its view exists
};

// Creates and runs the view once; on any failure leaves nothing behind.
bool TryView(SqliteConnection& connection, Candidate& candidate) {
  const std::string what = "SQLite refuses the view";
  connection.Exec("SAVEPOINT mendora_view", what);
  try {
    // Prepared, so only the one statement can run.
    connection.Prepare("CREATE VIEW " + QuoteIdentifier(candidate.name) + " AS " + candidate.select, what).Step(what);
    auto run = connection.Prepare("SELECT * FROM " + QuoteIdentifier(candidate.name), what);
    while (run.Step(what)) {
    }
    connection.Exec("RELEASE mendora_view", what);
    candidate.reason.clear();
    return true;
  } catch (const EngineError& error) {
    connection.ExecQuietly("ROLLBACK TO mendora_view");
    connection.ExecQuietly("RELEASE mendora_view");
    candidate.reason = error.what();
    return false;
  }
}

}  // namespace

int CreateViews(SqliteConnection& connection) {
  if (!FindTable(connection, kQueryCatalog)) return 0;
  std::vector<Candidate> waiting;
  std::vector<Candidate> refused;
  {
    auto rows = connection.Prepare("SELECT rowid, name, sql FROM " + QuoteIdentifier(kQueryCatalog) + " ORDER BY rowid",
                                   "cannot read the saved queries");
    while (rows.Step("cannot read the saved queries")) {
      Candidate candidate{rows.ColumnInt(0), rows.ColumnText(1), "", ""};
      const ViewTranslation view = TranslateSelectQuery(rows.ColumnText(2));
      candidate.select = view.sql;
      candidate.reason = view.reason;
      (view.ok ? waiting : refused).push_back(std::move(candidate));
    }
  }
  // A view over another view runs once that one exists: each round makes
  // what it can, until a round makes nothing.
  int made = 0;
  for (bool progress = true; progress;) {
    progress = false;
    std::vector<Candidate> still;
    for (Candidate& candidate : waiting) {
      if (TryView(connection, candidate)) {
        ++made;
        progress = true;
      } else {
        still.push_back(std::move(candidate));
      }
    }
    waiting = std::move(still);
  }
  for (Candidate& candidate : waiting) refused.push_back(std::move(candidate));
  const std::string what = "cannot note why a query is no view";
  auto note = connection.Prepare(
      "UPDATE " + QuoteIdentifier(kQueryCatalog) + " SET \"no_view_reason\" = ?1 WHERE rowid = ?2", what);
  for (const Candidate& candidate : refused) {
    note.Reset();
    note.BindText(1, candidate.reason);
    note.BindInt(2, candidate.row);
    note.Step(what);
  }
  return made;
}

}  // namespace mendora
