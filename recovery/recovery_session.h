// One recovery session: the options a pass takes and the results it leaves.
//
// The desktop app and the command-line tool both fill a RecoverySession and
// call RunRecovery. A pass reports to its viewer through RecoveryObserver and
// can be paused and cancelled at safe points through PassControl.
#ifndef MENDORA_RECOVERY_RECOVERY_SESSION_H_
#define MENDORA_RECOVERY_RECOVERY_SESSION_H_

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "reader/byte_view.h"
#include "reader/table_def.h"
#include "recovery/access_objects.h"
#include "recovery/loss_account.h"
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

// What a pass does: read only, or read and save into a target.
enum class RunMode {
  kAnalysis,  // reads the source and feeds the outputs; writes no target
  kSave,      // also writes the target `make_target` makes at `target_path`
};

// The options a pass takes, set by the caller before it runs.
struct PassOptions {
  RunMode mode = RunMode::kAnalysis;
  std::string source_path;
  // The password of an encrypted source, if one was given. Only the reader
  // sees it: never logged, never written to the target.
  std::optional<std::string> password;
  // The Windows code page of a Jet 3 source's text (936, 950, 1251, ...);
  // 0 reads it in the code page the file's header names.
  int text_code_page = 0;
  std::string source_file_length_text;
  std::string target_path;
  bool replace_existing = false;  // a save may replace a file at target_path
  TargetFactory make_target;      // the target a save pass writes
  RecoveryObserver* observer = nullptr;
  // Further outputs fed by every pass (the dump, an export, a test's
  // recorder), in this order after the target.
  std::vector<RecoveryOutput*> outputs;
  // Deleted rows that still parse are recovered into "NAME (deleted rows)".
  bool recover_deleted_rows = false;
  // Keys, indexes, Required and the other properties are read for the
  // outputs in an analysis pass too (an export needs them; a save always
  // reads them).
  bool read_schema = false;
  // Where the loss account writes its detail lines as they happen (null:
  // nowhere), and whether it writes every one of them.
  std::FILE* loss_details = stderr;
  bool verbose_losses = false;
  // Threads that decode rows (0: the default, one); the outputs are the same
  // for every number.
  unsigned decode_jobs = 0;

  bool IsSaving() const { return mode == RunMode::kSave; }
  bool ReadsSchema() const { return IsSaving() || read_schema; }
};

// The results a pass gives, started afresh by every pass.
struct PassResults {
  std::string table_list;
  int64_t grand_total = 0;
  std::string analysis_log;
  // The same log as events, in order.
  std::vector<AnalysisEvent> analysis_events;
  // The tables read to their end, in the log's order.
  std::vector<RecoveredTable> recovered_tables;
  // What the pass could not recover, per table and in all.
  LossAccount losses;
  // The forms, reports, macros and modules read (without their stored
  // bytes, which went to the outputs).
  std::vector<AccessObject> access_objects;
  // Pages the pass read from the file: its work, counted.
  uint64_t pages_read = 0;
  uint32_t page_count = 0;
  // The source's pages were encoded or encrypted (the target never is).
  bool source_encrypted = false;
};

// The working state of a running pass (recovery/pass_state.h): only the
// recovery steps see it.
struct PassState;

struct RecoverySession {
  RecoverySession();
  ~RecoverySession();
  RecoverySession(const RecoverySession&) = delete;
  RecoverySession& operator=(const RecoverySession&) = delete;

  PassOptions options;
  // Pause and cancel, from another thread while the pass runs.
  PassControl control;
  PassResults results;
  // Made new by every pass; kept after it until the next one.
  std::unique_ptr<PassState> state;

  bool IsSaving() const { return options.IsSaving(); }
  bool ReadsSchema() const { return options.ReadsSchema(); }
};

enum class PassOutcome {
  kCompleted,              // the pass ran to its end (see `losses` for what it lost)
  kNotOpened,              // the source could not be opened (missing, unreadable, not a regular file)
  kNotADatabase,           // neither a Jet 3/4 header nor any page that looks like a Jet page
  kNeedsPassword,          // the file is encrypted, and no password was given
  kWrongPassword,          // the file is encrypted, and the password given does not open it
  kUnsupportedEncryption,  // the file is encrypted in a way the reader does not decrypt
  kNothingRecovered,       // Jet pages, but no catalog row to recover from; nothing was left at target_path
  kCancelled,              // cancelled through PassControl; nothing was left at target_path
  kFailed,                 // the target could not be written; nothing was left at target_path
};

struct PassResult {
  PassOutcome outcome = PassOutcome::kCompleted;
  std::string message;  // what went wrong, for every outcome but kCompleted and kCancelled
};

// Opens the source read-only and runs one pass in the options' mode.
PassResult RunRecovery(RecoverySession& session);

}  // namespace mendora

#endif  // MENDORA_RECOVERY_RECOVERY_SESSION_H_
