// The commands of mendora-cli.
#include "cli/commands.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <mutex>
#include <thread>
#include <nlohmann/json.hpp>

#include "cli/output_check.h"
#include "reader/jet_handle.h"
#include "reader/page_probe.h"
#include "reader/table_def.h"
#include "recovery/recovery_session.h"
#include "recovery/recovery_steps.h"
#include "recovery/target_file.h"

namespace mendora::cli {

namespace {

// While alive, Ctrl-C, a hang-up or a termination request cancels `control`'s
// pass at its next safe point instead of killing the process, so a save can
// remove its unfinished file. The signals are blocked and read from a
// signalfd by a thread of their own, where cancelling may lock; a signal
// handler may not. The pass's last safe point before its file is moved into
// place reads the signalfd itself, so an interrupt that has arrived by then
// cancels the save however late it came.
class InterruptCancels {
 public:
  explicit InterruptCancels(PassControl& control) : control_(control) {
    sigemptyset(&signals_);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals_, signal);
    pthread_sigmask(SIG_BLOCK, &signals_, &previous_);
    fd_ = signalfd(-1, &signals_, SFD_NONBLOCK | SFD_CLOEXEC);
    control_.SetLatePoll([this] { Take(); });
    waiter_ = std::thread([this] {
      while (!done_.load()) {
        pollfd ready{fd_, POLLIN, 0};
        if (::poll(&ready, 1, 50) > 0) Take();
      }
    });
  }
  ~InterruptCancels() {
    done_ = true;
    waiter_.join();
    control_.SetLatePoll({});
    Take();  // what is still queued would kill the process once unblocked
    if (fd_ >= 0) ::close(fd_);
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  InterruptCancels(const InterruptCancels&) = delete;
  InterruptCancels& operator=(const InterruptCancels&) = delete;

  // Cancels the pass for every interrupt that has arrived; true once any has.
  bool Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    signalfd_siginfo info;
    while (fd_ >= 0 && ::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
      interrupted_ = true;
      control_.Cancel();
    }
    return interrupted_;
  }

 private:
  PassControl& control_;
  sigset_t signals_;
  sigset_t previous_;
  int fd_ = -1;
  std::mutex mutex_;
  bool interrupted_ = false;
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

// What the reader could not open it has already said, with the system's
// reason; this names the file for the last line.
int ReportNotOpened(const std::string& file) {
  std::cerr << "mendora-cli: " << file << " could not be opened.\n";
  return kExitNotOpened;
}

int ReportNotADatabase(const std::string& file) {
  std::cerr << "mendora-cli: " << file
            << " is not an Access database: it has neither a Jet 3 or Jet 4 header nor any page that looks like one.\n";
  return kExitNotADatabase;
}

int ReportNothingRecovered(const std::string& file) {
  std::cerr << "mendora-cli: nothing could be recovered from " << file
            << ": no catalog row was found, so no table, query or relation could be read.\n";
  return kExitNothingRecovered;
}

int ReportOutputFailed(const OutputCheck& check) {
  std::cerr << "mendora-cli: the output could not be written: " << check.reason() << "\nThe output is incomplete.\n";
  return kExitOutputFailed;
}

// Opens `file` for a command that reads it directly, or says why not.
JetHandlePtr OpenForCommand(const std::string& file, int& exit_code) {
  OpenFailure failure = OpenFailure::kNone;
  JetHandlePtr handle = OpenJetHandle(file, 0, &failure);
  if (!handle) {
    exit_code = failure == OpenFailure::kNotJet ? ReportNotADatabase(file) : ReportNotOpened(file);
  } else if (!LooksLikeJetDatabase(*handle)) {
    exit_code = ReportNotADatabase(file);
    handle.reset();
  }
  return handle;
}

// The exit code of a pass that did not complete, after its message.
int ReportUnfinished(const std::string& file, const PassResult& result) {
  switch (result.outcome) {
    case PassOutcome::kNotOpened: return ReportNotOpened(file);
    case PassOutcome::kNotADatabase: return ReportNotADatabase(file);
    case PassOutcome::kNothingRecovered: return ReportNothingRecovered(file);
    default: break;
  }
  std::cerr << "mendora-cli: reading " << file << " stopped before its end: " << result.message
            << "\nThe output above is incomplete.\n";
  return kExitFailed;
}

// Each loss already has its line on stderr; this says how many, so the last
// line a user sees does not read as a full recovery.
void SummariseLosses(const RecoverySession& session) {
  if (session.loss_count == 0) return;
  std::cerr << "mendora-cli: " << session.loss_count
            << (session.loss_count == 1 ? " part" : " parts") << " could not be recovered; each is named above.\n";
}

// Writes the dump as the pass reads it, a row per line, so a database of any
// size is exported in constant memory.
class JsonTableSink : public TableSink {
 public:
  // A write that fails cancels `control`'s pass: a dump no one receives is
  // not worth reading on.
  JsonTableSink(std::ostream& out, bool jet4, OutputCheck& check, PassControl& control)
      : out_(out), check_(check), control_(control) {
    out_ << "{\n  \"format\": \"" << (jet4 ? "Jet4" : "Jet3") << "\",\n  \"tables\": {";
  }
  void OnTableStart(const std::string& name, const std::vector<SinkColumn>& columns) override {
    CloseTable();
    out_ << (tables_++ == 0 ? "\n" : ",\n") << "    " << Quoted(name) << ": {\n      \"columns\": [";
    for (size_t i = 0; i < columns.size(); ++i) {
      out_ << (i == 0 ? "\n" : ",\n") << "        {\"name\": " << Quoted(columns[i].name)
           << ", \"type\": " << Quoted(DumpTypeName(columns[i].type)) << "}";
    }
    out_ << (columns.empty() ? "],\n" : "\n      ],\n") << "      \"rows\": [";
    table_open_ = true;
    rows_ = 0;
    binary_.clear();
    for (const SinkColumn& column : columns) {
      binary_.push_back(column.type == kColumnOle || column.type == kColumnUnknown09);
    }
  }
  void OnRow(const std::vector<std::string>& values, const std::vector<bool>& nulls) override {
    out_ << (rows_++ == 0 ? "\n        [" : ",\n        [");
    for (size_t i = 0; i < values.size(); ++i) {
      if (i > 0) out_ << ", ";
      if (nulls[i]) {
        out_ << "null";
      } else if (i < binary_.size() && binary_[i]) {
        out_ << '"' << Base64(values[i]) << '"';  // OLE and binary bytes are no text
      } else {
        out_ << Quoted(values[i]);
      }
    }
    out_ << "]";
    if (!check_.Ok()) control_.Cancel();
  }
  // A table whose step ends early keeps the rows read so far; it is closed
  // when the next one starts or the dump ends.
  void OnTableEnd(int64_t) override { CloseTable(); }
  void Finish() {
    CloseTable();
    out_ << (tables_ == 0 ? "}\n}\n" : "\n  }\n}\n");
  }

 private:
  static std::string Quoted(const std::string& text) {
    return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  }
  void CloseTable() {
    if (!table_open_) return;
    out_ << (rows_ == 0 ? "]\n    }" : "\n      ]\n    }");
    table_open_ = false;
  }

  std::ostream& out_;
  OutputCheck& check_;
  PassControl& control_;
  size_t tables_ = 0;
  size_t rows_ = 0;
  bool table_open_ = false;
  std::vector<bool> binary_;
};

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

std::string Base64(const std::string& bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const uint32_t n = static_cast<uint8_t>(bytes[i]) << 16 | static_cast<uint8_t>(bytes[i + 1]) << 8 |
                       static_cast<uint8_t>(bytes[i + 2]);
    out += kAlphabet[n >> 18];
    out += kAlphabet[(n >> 12) & 63];
    out += kAlphabet[(n >> 6) & 63];
    out += kAlphabet[n & 63];
  }
  if (i < bytes.size()) {
    const bool two = i + 1 < bytes.size();
    const uint32_t n = static_cast<uint8_t>(bytes[i]) << 16 | (two ? static_cast<uint8_t>(bytes[i + 1]) << 8 : 0);
    out += kAlphabet[n >> 18];
    out += kAlphabet[(n >> 12) & 63];
    out += two ? kAlphabet[(n >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::string DumpTypeName(int type) {
  switch (type) {
    case kColumnBoolean: return "boolean";
    case kColumnByte: return "byte";
    case kColumnInteger: return "integer";
    case kColumnLongInteger: return "long";
    case kColumnCurrency: return "currency";
    case kColumnSingle: return "float";
    case kColumnDouble: return "double";
    case kColumnDateTime: return "datetime";
    case kColumnText: return "text";
    case kColumnOle: return "ole";
    case kColumnMemo: return "memo";
    case kColumnReplicationId: return "repid";
    case kColumnNumeric: return "numeric";
    case kColumnUnknown09: return "binary";
    default: return ColumnTypeName(type);
  }
}

int RunCatalog(const std::string& file, std::ostream& out) {
  int exit_code = 0;
  JetHandlePtr handle = OpenForCommand(file, exit_code);
  if (!handle) return exit_code;
  OutputCheck check(out);
  out << "Format: " << (handle->IsJet4() ? "Jet4" : "Jet3") << ", " << handle->PageCount() << " pages of "
      << handle->PageSize() << " bytes\n";
  out << "page  row  deleted  type  definition  name\n";
  size_t found = 0;
  for (uint32_t page = 0; ReadPage(*handle, page) != 0 && check.Ok(); ++page) {
    if (handle->page[0] != 0x01 || handle->page[1] != 0x01 || handle->Page().U32(4).value_or(0) != 2) continue;
    const int64_t rows = PageU16(*handle, handle->format->RowCountPos);
    for (int j = 0; j < rows; ++j) {
      CatalogRecord record;
      if (!ReadCatalogRecord(*handle, j, record)) continue;
      ++found;
      char line[64];
      std::snprintf(line, sizeof line, "%4u  %3d  %-7s  %4d  %10d  ", page, j, record.deleted ? "yes" : "no",
                    record.object_type, record.definition_page);
      out << line << record.name << "\n";
    }
  }
  if (!check.Finish()) return ReportOutputFailed(check);
  if (found == 0) {
    std::cerr << "mendora-cli: no catalog row was found in " << file << ".\n";
    return kExitNothingRecovered;
  }
  return 0;
}

int RunAnalyze(const std::string& file, std::ostream& out) {
  RecoverySession session;
  PrepareSession(session, file);
  const PassResult result = RunRecovery(session);
  if (result.outcome == PassOutcome::kNotOpened || result.outcome == PassOutcome::kNotADatabase) {
    return ReportUnfinished(file, result);
  }
  if (session.AnalysisLog.empty()) RebuildAnalysisLog(session);
  OutputCheck check(out);
  out << PlatformLineEnds(session.AnalysisLog);
  if (!check.Finish()) return ReportOutputFailed(check);
  if (result.outcome != PassOutcome::kCompleted) return ReportUnfinished(file, result);
  SummariseLosses(session);
  return 0;
}

int RunDump(const std::string& file, std::ostream& out) {
  int exit_code = 0;
  JetHandlePtr probe = OpenForCommand(file, exit_code);
  if (!probe) return exit_code;
  const bool jet4 = probe->IsJet4();
  probe.reset();

  // The probe proved the file opens, so the document can start at once.
  RecoverySession session;
  OutputCheck check(out);
  JsonTableSink sink(out, jet4, check, session.control);
  PrepareSession(session, file);
  session.table_sink = &sink;
  const PassResult result = RunRecovery(session);
  sink.Finish();
  if (!check.Finish()) return ReportOutputFailed(check);
  if (result.outcome != PassOutcome::kCompleted) return ReportUnfinished(file, result);
  SummariseLosses(session);
  return 0;
}

int RunRecover(const std::string& file, const std::string& target, bool force, std::ostream& out) {
  struct stat st;
  const bool target_existed = lstat(target.c_str(), &st) == 0;
  if (target_existed) {
    // Even with --force only a regular file is replaced: never a device
    // (/dev/null), a FIFO or a directory.
    try {
      CheckReplaceable(target);
    } catch (const EngineError& error) {
      std::cerr << "mendora-cli: " << error.what() << ".\n";
      return kExitFailed;
    }
  }
  if (!force && target_existed) {
    std::cerr << "mendora-cli: " << target << " already exists; choose another name or pass --force to replace it.\n";
    return kExitFailed;
  }
  RecoverySession session;
  PrepareSession(session, file);
  session.RunMode = 1;
  session.TargetPath = target;
  session.ReplaceExisting = force;
  session.MakeTarget = SqliteTargetFactory();
  // Interrupts stay with the pass until the last line is printed, so one
  // that comes after the file was moved into place is said, not lost.
  InterruptCancels interrupt(session.control);
  const PassResult result = RunRecovery(session);
  const std::string left = target_existed ? target + " was left as it was.\n" : "Nothing was left at " + target + ".\n";
  switch (result.outcome) {
    case PassOutcome::kNotOpened:
    case PassOutcome::kNotADatabase:
      return ReportUnfinished(file, result);
    case PassOutcome::kNothingRecovered:
      ReportNothingRecovered(file);
      std::cerr << left;
      return kExitNothingRecovered;
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
  OutputCheck check(out);
  out << PlatformLineEnds(session.AnalysisLog);
  out << "Recovered database written to " << target << "\n";
  const bool printed = check.Finish();
  SummariseLosses(session);
  if (interrupt.Take()) {
    std::cerr << "mendora-cli: the interrupt came too late to cancel the save: " << target
              << " had already been written, and it is complete.\n";
  }
  if (!printed) {
    std::cerr << "mendora-cli: the log could not be written: " << check.reason() << "\nThe recovered database was written to "
              << target << " all the same.\n";
    return kExitOutputFailed;
  }
  return 0;
}

}  // namespace mendora::cli
