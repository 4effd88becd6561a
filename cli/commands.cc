// The commands of mendora-cli.
#include "cli/commands.h"

#include <signal.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <thread>
#include "output/json/json_dump.h"
#include "output/sqlite/sqlite_output.h"
#include "reader/jet_handle.h"
#include "reader/table_def.h"
#include "recovery/recovery_session.h"
#include "recovery/recovery_steps.h"

namespace mendora::cli {

namespace {

// The exit codes, as --help and the README list them.
constexpr int kExitLosses = 4;
constexpr int kExitNotOpened = 2;
constexpr int kExitFailed = 3;
constexpr int kExitNothingRecovered = 5;
constexpr int kExitInterrupted = 130;  // as a shell reports a command ended by Ctrl-C

// While alive, Ctrl-C, a hang-up or a termination request cancels `control`'s
// pass at its next safe point instead of killing the process, so a save can
// remove its unfinished file. The signals are taken by a thread of their own,
// where cancelling may lock; a signal handler may not.
class InterruptCancels {
 public:
  explicit InterruptCancels(PassControl& control) : control_(control) {
    sigemptyset(&signals_);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals_, signal);
    pthread_sigmask(SIG_BLOCK, &signals_, &previous_);
    waiter_ = std::thread([this] {
      const timespec tick{0, 50 * 1000 * 1000};
      while (!done_.load()) {
        if (sigtimedwait(&signals_, nullptr, &tick) > 0) control_.Cancel();
      }
    });
  }
  ~InterruptCancels() {
    done_ = true;
    waiter_.join();
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  InterruptCancels(const InterruptCancels&) = delete;
  InterruptCancels& operator=(const InterruptCancels&) = delete;

 private:
  PassControl& control_;
  sigset_t signals_;
  sigset_t previous_;
  std::atomic<bool> done_{false};
  std::thread waiter_;
};

std::string FileLengthText(const std::string& file) {
  struct stat st;
  return stat(file.c_str(), &st) == 0 ? std::to_string(static_cast<long long>(st.st_size)) : "0";
}

void PrepareSession(RecoverySession& session, const std::string& file) {
  session.SourcePath = file;
  session.SourceFileLengthText = FileLengthText(file);
}

int ReportNotOpened(const std::string& file, const std::string& reason) {
  if (!reason.empty()) std::cerr << reason << "\n";
  std::cerr << "mendora-cli: " << file << " could not be opened, or it is not a Jet 3 or Jet 4 database.\n";
  return kExitNotOpened;
}

// After a completed pass: the loss account, one line per table that lost
// anything and a total, and the exit code that says whether anything was
// lost. Each loss already has its detail line above.
int AccountForLosses(const RecoverySession& session, const std::string& file) {
  if (session.GrandTotal == 0 && session.user_data_pages > 0) {
    for (const std::string& line : session.losses.SummaryLines()) std::cerr << line << "\n";
    std::cerr << "mendora-cli: no row could be recovered from the " << session.user_data_pages
              << " data pages of " << file << " that hold rows.\n";
    return kExitNothingRecovered;
  }
  const std::vector<std::string> lines = session.losses.SummaryLines();
  if (lines.empty()) return 0;
  std::cerr << "Losses:\n";
  for (const std::string& line : lines) std::cerr << "  " << line << "\n";
  return kExitLosses;
}

// The pass stopped part-way: what was printed is incomplete and must not pass
// for a full result.
int ReportStopped(const std::string& file, const PassResult& result) {
  std::cerr << "mendora-cli: reading " << file << " stopped before its end: " << result.message
            << "\nThe output above is incomplete.\n";
  return kExitFailed;
}

}  // namespace

std::string PlatformLineEnds(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out.push_back(text[i]);
  }
  return out;
}

int RunCatalog(const std::string& file, std::ostream& out) {
  std::string error;
  JetHandlePtr handle = OpenJetHandle(file, &error);
  if (!handle) return ReportNotOpened(file, error);
  out << "Format: " << (handle->IsJet4() ? "Jet4" : "Jet3") << ", " << handle->PageCount() << " pages of "
      << handle->PageSize() << " bytes\n";
  out << "page  row  deleted  type  definition  name\n";
  for (uint32_t page = 0; ReadPage(*handle, page) != 0; ++page) {
    if (handle->page[0] != 0x01 || handle->page[1] != 0x01 || handle->Page().U32(4).value_or(0) != 2) continue;
    const int64_t rows = PageU16(*handle, handle->format->RowCountPos);
    for (int j = 0; j < rows; ++j) {
      CatalogRecord record;
      if (!ReadCatalogRecord(*handle, j, record)) continue;
      char line[64];
      std::snprintf(line, sizeof line, "%4u  %3d  %-7s  %4d  %10d  ", page, j, record.deleted ? "yes" : "no",
                    record.object_type, record.definition_page);
      out << line << record.name << "\n";
    }
  }
  return 0;
}

int RunAnalyze(const std::string& file, std::ostream& out) {
  RecoverySession session;
  PrepareSession(session, file);
  const PassResult result = RunRecovery(session);
  if (result.outcome == PassOutcome::kNotOpened) return ReportNotOpened(file, result.message);
  if (session.AnalysisLog.empty()) RebuildAnalysisLog(session);
  out << PlatformLineEnds(session.AnalysisLog);
  out.flush();
  if (result.outcome != PassOutcome::kCompleted) return ReportStopped(file, result);
  return AccountForLosses(session, file);
}

int RunDump(const std::string& file, std::ostream& out, OleStorage ole) {
  std::string error;
  JetHandlePtr probe = OpenJetHandle(file, &error);
  if (!probe) return ReportNotOpened(file, error);
  const bool jet4 = probe->IsJet4();
  probe.reset();

  // The probe proved the file opens, so the document can start at once.
  JsonDumpOutput dump(out, jet4 ? "Jet4" : "Jet3", ole);
  RecoverySession session;
  PrepareSession(session, file);
  session.outputs.push_back(&dump);
  const PassResult result = RunRecovery(session);
  out.flush();
  if (result.outcome == PassOutcome::kNotOpened) return ReportNotOpened(file, result.message);
  if (result.outcome != PassOutcome::kCompleted) return ReportStopped(file, result);
  return AccountForLosses(session, file);
}

int RunRecover(const std::string& file, const std::string& target, bool force, std::ostream& out, OleStorage ole) {
  struct stat st;
  const bool target_existed = stat(target.c_str(), &st) == 0;
  if (!force && target_existed) {
    std::cerr << "mendora-cli: " << target << " already exists; choose another name or pass --force to replace it.\n";
    return kExitFailed;
  }
  RecoverySession session;
  PrepareSession(session, file);
  session.RunMode = 1;
  session.TargetPath = target;
  session.ReplaceExisting = force;
  session.MakeTarget = SqliteTargetFactory(ole);
  PassResult result;
  {
    InterruptCancels interrupt(session.control);
    result = RunRecovery(session);
  }
  const std::string left = target_existed ? target + " was left as it was.\n" : "Nothing was left at " + target + ".\n";
  switch (result.outcome) {
    case PassOutcome::kNotOpened:
      return ReportNotOpened(file, result.message);
    case PassOutcome::kCancelled:
      std::cerr << "mendora-cli: the save was interrupted before it was complete.\n" << left;
      return kExitInterrupted;
    case PassOutcome::kFailed:
      std::cerr << "mendora-cli: the recovered database could not be written to " << target << ": "
                << result.message << "\n"
                << left;
      return kExitFailed;
    case PassOutcome::kCompleted:
      break;
  }
  if (session.AnalysisLog.empty()) RebuildAnalysisLog(session);
  out << PlatformLineEnds(session.AnalysisLog);
  out << "Recovered database written to " << target << "\n";
  out.flush();
  return AccountForLosses(session, file);
}

}  // namespace mendora::cli
