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
#include <nlohmann/json.hpp>

#include "reader/jet_handle.h"
#include "reader/table_def.h"
#include "recovery/recovery_session.h"
#include "recovery/recovery_steps.h"

namespace mendora::cli {

namespace {

constexpr int kExitNotOpened = 2;
constexpr int kExitFailed = 3;
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

int ReportNotOpened(const std::string& file) {
  std::cerr << "mendora-cli: " << file << " could not be opened, or it is not a Jet 3 or Jet 4 database.\n";
  return kExitNotOpened;
}

// Each loss already has its line on stderr; this says how many, so the last
// line a user sees does not read as a full recovery.
void SummariseLosses(const RecoverySession& session) {
  if (session.loss_count == 0) return;
  std::cerr << "mendora-cli: " << session.loss_count
            << (session.loss_count == 1 ? " part" : " parts") << " could not be recovered; each is named above.\n";
}

// The pass stopped part-way: what was printed is incomplete and must not pass
// for a full result.
int ReportStopped(const std::string& file, const PassResult& result) {
  std::cerr << "mendora-cli: reading " << file << " stopped before its end: " << result.message
            << "\nThe output above is incomplete.\n";
  return kExitFailed;
}

// Writes the dump as the pass reads it, a row per line, so a database of any
// size is exported in constant memory.
class JsonTableSink : public TableSink {
 public:
  JsonTableSink(std::ostream& out, bool jet4) : out_(out) {
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
  JetHandlePtr handle = OpenJetHandle(file, 0);
  if (!handle) return ReportNotOpened(file);
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
  if (result.outcome == PassOutcome::kNotOpened) return ReportNotOpened(file);
  if (session.AnalysisLog.empty()) RebuildAnalysisLog(session);
  out << PlatformLineEnds(session.AnalysisLog);
  if (result.outcome != PassOutcome::kCompleted) return ReportStopped(file, result);
  SummariseLosses(session);
  return 0;
}

int RunDump(const std::string& file, std::ostream& out) {
  JetHandlePtr probe = OpenJetHandle(file, 0);
  if (!probe) return ReportNotOpened(file);
  const bool jet4 = probe->IsJet4();
  probe.reset();

  // The probe proved the file opens, so the document can start at once.
  JsonTableSink sink(out, jet4);
  RecoverySession session;
  PrepareSession(session, file);
  session.table_sink = &sink;
  const PassResult result = RunRecovery(session);
  sink.Finish();
  if (result.outcome == PassOutcome::kNotOpened) return ReportNotOpened(file);
  if (result.outcome != PassOutcome::kCompleted) return ReportStopped(file, result);
  SummariseLosses(session);
  return 0;
}

int RunRecover(const std::string& file, const std::string& target, bool force, std::ostream& out) {
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
  session.MakeTarget = SqliteTargetFactory();
  PassResult result;
  {
    InterruptCancels interrupt(session.control);
    result = RunRecovery(session);
  }
  const std::string left = target_existed ? target + " was left as it was.\n" : "Nothing was left at " + target + ".\n";
  switch (result.outcome) {
    case PassOutcome::kNotOpened:
      return ReportNotOpened(file);
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
  SummariseLosses(session);
  return 0;
}

}  // namespace mendora::cli
