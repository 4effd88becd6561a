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

// How much of a view's run is tried, in SQLite's steps of 1,000 virtual
// machine instructions (about a tenth of a second): a view whose joins a
// damaged query table no longer holds can be a cross join of every table,
// whose run would not end in a lifetime. A view that runs this far without
// an error is kept.
constexpr int kRunCheckSteps = 1000;
constexpr int kRunCheckBudget = 20000;

struct RunBudget {
  int left = kRunCheckBudget;
  bool spent = false;
};

int SpendRunBudget(void* data) {
  auto* budget = static_cast<RunBudget*>(data);
  if (--budget->left > 0) return 0;
  budget->spent = true;
  return 1;
}

// Runs the view until it ends, fails or spends its budget; throws only
// for a failure.
void RunView(SqliteConnection& connection, const std::string& name, const std::string& what) {
  auto run = connection.Prepare("SELECT * FROM " + QuoteIdentifier(name), what);
  RunBudget budget;
  struct Handler {
    Handler(sqlite3* db, RunBudget& budget) : db(db) { sqlite3_progress_handler(db, kRunCheckSteps, SpendRunBudget, &budget); }
    ~Handler() { sqlite3_progress_handler(db, 0, nullptr, nullptr); }
    sqlite3* db;
  } handler(connection.Handle(), budget);
  try {
    while (run.Step(what)) {
    }
  } catch (const EngineError&) {
    if (!budget.spent) throw;
  }
}

// Creates and runs the view once; on any failure leaves nothing behind.
bool TryView(SqliteConnection& connection, Candidate& candidate) {
  const std::string what = "SQLite refuses the view";
  connection.Exec("SAVEPOINT mendora_view", what);
  try {
    // Prepared, so only the one statement can run.
    connection.Prepare("CREATE VIEW " + QuoteIdentifier(candidate.name) + " AS " + candidate.select, what).Step(what);
    RunView(connection, candidate.name, what);
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
  if (!StoredTable(connection, kQueryCatalog)) return 0;
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
