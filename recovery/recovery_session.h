// One recovery session: the values a pass reads and the results it leaves.
//
// The desktop app and the command-line tool both fill a RecoverySession and
// call RunRecovery. A pass reports to its viewer through RecoveryObserver and
// can be paused and cancelled at safe points through PassControl.
#ifndef MENDORA_RECOVERY_RECOVERY_SESSION_H_
#define MENDORA_RECOVERY_RECOVERY_SESSION_H_

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "reader/byte_view.h"
#include "reader/decode_pool.h"
#include "reader/table_def.h"
#include "recovery/access_objects.h"
#include "recovery/catalog_objects.h"
#include "recovery/loss_account.h"
#include "recovery/query_text.h"
#include "recovery/recovery_output.h"

namespace mendora {

// One line of the analysis log as data, for a front-end that words it in
// its own language (the English of AnalysisLog is the command line's).
struct AnalysisEvent {
  enum class Kind {
    kStarted,      // `source` of `source_bytes` bytes is being read
    kTable,        // `table` was read: `records` rows
    kLinkedTable,  // `table` links to `link_target` (a file, a connection, a table there)
    kCompleted,    // the pass ended: `records` rows in all
    kObjects,      // the forms, reports, macros and modules read: `objects`
  };
  // How many objects of each kind the pass read, and of the modules how
  // many came back as source text; the modules of forms and reports apart.
  struct ObjectCounts {
    int64_t forms = 0;
    int64_t reports = 0;
    int64_t macros = 0;
    int64_t modules = 0;
    int64_t module_sources = 0;
    int64_t class_modules = 0;
    int64_t class_module_sources = 0;
  };
  Kind kind = Kind::kStarted;
  std::string table;
  int64_t records = 0;
  std::string link_target;
  std::string source;
  uint64_t source_bytes = 0;
  ObjectCounts objects;
};

// Receives what a pass shows while it runs. Called on the pass's thread.
class RecoveryObserver {
 public:
  virtual ~RecoveryObserver() = default;
  // The complete analysis log, rebuilt after every table.
  virtual void OnAnalysisLog(const std::string& analysis_log) { (void)analysis_log; }
  // Each line of the log as it happens (also kept in AnalysisEvents).
  virtual void OnAnalysisEvent(const AnalysisEvent& event) { (void)event; }
  // The pass's work so far, in page reads, of the reads it expects: the
  // walk reads every page once and the tables read their own pages once
  // more, so a pass expects about twice the file's pages. The total grows
  // when a pass reads more; the last report has `pages_done` equal to it.
  virtual void OnProgress(uint32_t pages_done, uint32_t pages_total) {
    (void)pages_done;
    (void)pages_total;
  }
  // The table being read, its rows so far, and the rows of the whole pass so
  // far. Sent whenever the pass has read another page.
  virtual void OnTableProgress(const std::string& table, int64_t table_rows, int64_t pass_rows) {
    (void)table;
    (void)table_rows;
    (void)pass_rows;
  }
};

// Thrown at a safe point once the pass has been cancelled. It passes through
// every per-object guard of the pass.
class PassCancelled {};

// Thrown at the end of a pass whose walk found not a single catalog row:
// an empty target would pass for a recovery.
class NothingRecovered {};

// Pause and cancel requests from another thread, honoured at safe points
// (between rows and between pages).
class PassControl {
 public:
  void RequestPause();
  void Resume();
  void Cancel();
  bool IsCancelled() const { return cancelled_.load(); }
  bool IsPaused() const;
  // Blocks while paused; throws PassCancelled once cancelled.
  void CheckPoint();
  // The last safe point of a save, right before its file is moved into
  // place: first asks `poll` (see SetLatePoll) about a cancel that may still
  // be on its way, then acts as CheckPoint.
  void FinalCheckPoint();
  // `poll` may call Cancel for a request that has arrived but not been
  // passed on yet (a signal still queued); it runs only at FinalCheckPoint.
  void SetLatePoll(std::function<void()> poll);
  // Back to running, not cancelled: for the next pass.
  void Reset();

 private:
  std::atomic<bool> cancelled_{false};
  std::atomic<bool> pause_requested_{false};
  std::function<void()> late_poll_;
  mutable std::mutex mutex_;
  std::condition_variable resumed_;
};

// Makes the output a save pass writes: one that will complete at `path`
// (replacing a file there only when `replace_existing`).
using TargetFactory = std::function<std::unique_ptr<RecoveryOutput>(const std::string& path, bool replace_existing)>;

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

// Every this many rows of a recovered table the pass notes where the row
// lies, so that a later reader reaches row K from the nearest note instead
// of from the table's start.
inline constexpr int64_t kRowMarkEvery = 512;

struct RowMark {
  uint32_t page = 0;
  uint16_t slot = 0;
};

// A table the pass recovered, with what it takes to read it again.
struct RecoveredTable {
  std::string name;         // as logged and saved
  std::string source_name;  // as the catalog (or the search for lost tables) named it
  int32_t object_type = 0;
  int32_t definition_page = 0;
  bool deleted_rows = false;  // the table's deleted rows, not its live ones
  int64_t rows = 0;
  // A table whose definition is gone: the layout inferred from its rows
  // (bound to no file) and the check its rows passed, for reading it again.
  std::shared_ptr<const TableDef> inferred_layout;
  std::function<bool(ByteView row)> row_check;
  // Row i * kRowMarkEvery lies at marks[i].
  std::vector<RowMark> marks;
};

struct RecoverySession {
  // Set by the caller before a pass.
  int RunMode = 0;  // 1: save, anything else: analysis only
  std::string SourcePath;
  // The password of an encrypted source, if one was given. Only the reader
  // sees it: never logged, never written to the target.
  std::optional<std::string> Password;
  // The Windows code page of a Jet 3 source's text (936, 950, 1251, ...);
  // 0 reads it in the code page the file's header names.
  int TextCodePage = 0;
  std::string SourceFileLengthText;
  std::string TargetPath;
  bool ReplaceExisting = false;  // a save may replace a file at TargetPath
  TargetFactory MakeTarget;      // the target a save pass writes
  RecoveryObserver* observer = nullptr;
  // Further outputs fed by every pass (the dump, an export, a test's
  // recorder), in this order after the target.
  std::vector<RecoveryOutput*> outputs;
  PassControl control;
  // Deleted rows that still parse are recovered into "NAME (deleted rows)".
  bool RecoverDeletedRows = false;
  // Keys, indexes, Required and the other properties are read for the
  // outputs in an analysis pass too (an export needs them; a save always
  // reads them).
  bool ReadSchema = false;
  // Threads that decode rows (0: one per core); the outputs are the same
  // for every number.
  unsigned DecodeJobs = 0;

  // Results, started afresh by every pass.
  std::string TableList;
  int64_t GrandTotal = 0;
  std::string AnalysisLog;
  // The same log as events, in order.
  std::vector<AnalysisEvent> AnalysisEvents;
  // The tables read to their end, in the log's order.
  std::vector<RecoveredTable> recovered_tables;
  // What the pass could not recover, per table and in all.
  LossAccount losses;
  // Data pages of user tables the walk saw (any data page that is neither
  // the catalog's nor a system table's): a pass that recovers no row from
  // them recovered nothing of what the file holds.
  int64_t user_data_pages = 0;
  // Pages the pass read from the file: its work, counted.
  uint64_t pages_read = 0;
  // The page reads at the last progress report: reports are sent only when
  // the pass has read another page.
  uint64_t reported_reads = 0;
  // The source's pages were encoded or encrypted (the target never is).
  bool SourceEncrypted = false;
  uint32_t page_count = 0;

  // Working state of the running pass.
  std::unique_ptr<RecoveryOutput> target;
  std::shared_ptr<DecodePool> decode_pool;  // made when a table is read with more than one job
  std::vector<RecoveryOutput*> active_outputs;  // the target, then `outputs`
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
  int32_t query_table_page = 0;  // the first query table the walk met
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
  // The forms, reports, macros and modules the catalog names, and the tables
  // that hold them; after the pass, what was read of each (without its
  // stored bytes, which went to the outputs).
  ObjectCatalog object_catalog;
  std::vector<AccessObject> access_objects;
  // A save has told the loss account that the catalog could not be read
  // whole (its property blocks give keys, defaults and properties).
  bool catalog_problem_told = false;
  // The user tables and relationships live catalog rows name, each to come
  // back or be named lost: tables by name with their definition page.
  std::map<std::string, int32_t> catalog_tables;
  std::set<std::string> catalog_relations;
  // Catalog pages the walk found, for the check against the catalog's map.
  std::set<uint32_t> catalog_pages;

  bool IsSaving() const { return RunMode == 1; }
  bool ReadsSchema() const { return IsSaving() || ReadSchema; }
};

enum class PassOutcome {
  kCompleted,        // the pass ran to its end (see `losses` for what it lost)
  kNotOpened,         // the source could not be opened (missing, unreadable, not a regular file)
  kNotADatabase,      // neither a Jet 3/4 header nor any page that looks like a Jet page
  kNeedsPassword,     // the file is encrypted, and no password was given
  kWrongPassword,     // the file is encrypted, and the password given does not open it
  kUnsupportedEncryption,  // the file is encrypted in a way the reader does not decrypt
  kNothingRecovered,  // Jet pages, but no catalog row to recover from; nothing was left at TargetPath
  kCancelled,         // cancelled through PassControl; nothing was left at TargetPath
  kFailed,            // the target could not be written; nothing was left at TargetPath
};

struct PassResult {
  PassOutcome outcome = PassOutcome::kCompleted;
  std::string message;  // what went wrong, for every outcome but kCompleted and kCancelled
};

// Opens SourcePath read-only and runs one pass in the session's RunMode.
PassResult RunRecovery(RecoverySession& session);

}  // namespace mendora

#endif  // MENDORA_RECOVERY_RECOVERY_SESSION_H_
