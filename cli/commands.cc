// The commands of mendora-cli.
#include "cli/commands.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <set>
#include <mutex>
#include <thread>

#include "cli/output_check.h"
#include "output/json/json_dump.h"
#include "output/sqlite/sqlite_output.h"
#include "output/sqlite/target_file.h"
#include "reader/jet_handle.h"
#include "reader/page_probe.h"
#include "reader/table_def.h"
#include "recovery/recovery_session.h"
#include "recovery/recovery_steps.h"

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

bool verbose_losses = false;
bool quiet = false;
ProgressLine::Display progress_display = ProgressLine::Display::kHidden;
bool recover_deleted = false;
std::optional<std::string> given_password;
PasswordPrompt password_prompt = PromptOnTerminal;

// The password to open `file` with: the one given, else, when the file asks
// for one, what the prompt answers. A wrong answer is asked for again; the
// last one is returned all the same, so the open says it is wrong.
std::optional<std::string> PasswordFor(const std::string& file) {
  if (given_password || !password_prompt) return given_password;
  std::string error;
  OpenFailure failure = OpenFailure::kNone;
  OpenJetHandle(file, &error, &failure);
  if (failure != OpenFailure::kEncrypted) return std::nullopt;
  std::optional<std::string> typed;
  for (int attempt = 0; attempt < 3; ++attempt) {
    typed = password_prompt(attempt == 0 ? "Password for " + file + ": " : "The password is wrong. Password: ");
    if (!typed) return std::nullopt;
    OpenJetHandle(file, &error, &failure, {.password = typed});
    if (failure != OpenFailure::kWrongPassword) break;
  }
  return typed;
}

void PrepareSession(RecoverySession& session, const std::string& file, std::optional<std::string> password) {
  session.losses.SetVerbose(verbose_losses);
  if (quiet) session.losses.SetDetails(nullptr);
  session.RecoverDeletedRows = recover_deleted;
  session.SourcePath = file;
  session.SourceFileLengthText = FileLengthText(file);
  session.Password = std::move(password);
}

// The reader's own lines first (with the system's reason), then the file
// named in the last line.
int ReportNotOpened(const std::string& file, const std::string& reader_lines) {
  if (!reader_lines.empty()) std::cerr << reader_lines << "\n";
  std::cerr << "mendora-cli: " << file << " could not be opened.\n";
  return kExitNotOpened;
}

int ReportNotADatabase(const std::string& file, const std::string& reader_lines) {
  if (!reader_lines.empty()) std::cerr << reader_lines << "\n";
  std::cerr << "mendora-cli: " << file
            << " is not an Access database: it has neither a Jet 3, Jet 4 or Access 2007+ header nor any page that looks like one.\n";
  return kExitNotADatabase;
}

// A missing or wrong password, or a cipher Mendora lacks: the reader's line
// says which.
int ReportPassword(const std::string& file, const std::string& reader_lines, bool missing) {
  std::cerr << "mendora-cli: " << file << ": " << reader_lines
            << (missing ? " (--password, MENDORA_PASSWORD, or run it on a terminal to be asked)" : "") << ".\n";
  return kExitPassword;
}

int ReportDamagedEncryption(const std::string& file, const std::string& reader_lines) {
  std::cerr << "mendora-cli: nothing could be recovered from " << file << ": " << reader_lines
            << ": no page can be decrypted.\n";
  return kExitNothingRecovered;
}

int ReportNothingRecovered(const std::string& file, const RecoverySession& session, const PassResult& result) {
  for (const std::string& line : session.losses.SummaryLines()) std::cerr << line << "\n";
  std::cerr << "mendora-cli: nothing could be recovered from " << file << ": " << result.message << ".\n";
  return kExitNothingRecovered;
}

// After a completed pass: the loss account, one line per table that lost
// anything and a total, and the exit code that says whether anything was
// lost. Each loss already has its detail line above.
int AccountForLosses(const RecoverySession& session, const std::string& heading = "Losses:") {
  const std::vector<std::string> lines = session.losses.SummaryLines();
  if (lines.empty()) return 0;
  std::cerr << heading << "\n";
  for (const std::string& line : lines) std::cerr << "  " << line << "\n";
  return kExitLosses;
}

int ReportOutputFailed(const OutputCheck& check) {
  std::cerr << "mendora-cli: the output could not be written: " << check.reason() << "\nThe output is incomplete.\n";
  return kExitOutputFailed;
}

// Opens `file` for a command that reads it directly, or says why not.
JetHandlePtr OpenForCommand(const std::string& file, const std::optional<std::string>& password, int& exit_code) {
  OpenFailure failure = OpenFailure::kNone;
  std::string error;
  JetHandlePtr handle = OpenJetHandle(file, &error, &failure, {.password = password});
  if (!handle) {
    switch (failure) {
      case OpenFailure::kNotJet: exit_code = ReportNotADatabase(file, error); break;
      case OpenFailure::kEncrypted: exit_code = ReportPassword(file, error, true); break;
      case OpenFailure::kWrongPassword:
      case OpenFailure::kUnsupportedEncryption: exit_code = ReportPassword(file, error, false); break;
      case OpenFailure::kDamagedEncryption: exit_code = ReportDamagedEncryption(file, error); break;
      default: exit_code = ReportNotOpened(file, error); break;
    }
  } else if (!LooksLikeJetDatabase(*handle)) {
    exit_code = ReportNotADatabase(file, "");
    handle.reset();
  }
  return handle;
}

// The exit code of a pass that did not complete, after its message.
int ReportUnfinished(const std::string& file, const RecoverySession& session, const PassResult& result) {
  switch (result.outcome) {
    case PassOutcome::kNotOpened: return ReportNotOpened(file, result.message);
    case PassOutcome::kNotADatabase: return ReportNotADatabase(file, result.message);
    case PassOutcome::kNeedsPassword: return ReportPassword(file, result.message, true);
    case PassOutcome::kWrongPassword:
    case PassOutcome::kUnsupportedEncryption: return ReportPassword(file, result.message, false);
    case PassOutcome::kNothingRecovered: return ReportNothingRecovered(file, session, result);
    default: break;
  }
  std::cerr << "mendora-cli: reading " << file << " stopped before its end: " << result.message
            << "\nThe output above is incomplete.\n";
  return kExitFailed;
}

// The dump, cancelling the pass at the first write that fails: a dump no
// one receives is not worth reading on.
class CheckedDump final : public RecoveryOutput {
 public:
  CheckedDump(std::ostream& out, const std::string& format, OleStorage ole, OutputCheck& check, PassControl& control)
      : dump_(out, format, ole), check_(check), control_(control) {}
  void BeginTable(const OutputTable& table) override { dump_.BeginTable(table); }
  void AddRow(const Row& row) override {
    dump_.AddRow(row);
    if (!check_.Ok()) control_.Cancel();
  }
  void EndTable(int64_t rows) override { dump_.EndTable(rows); }
  void Finish() override { dump_.Finish(); }
  void Abandon() noexcept override { dump_.Abandon(); }

 private:
  JsonDumpOutput dump_;
  OutputCheck& check_;
  PassControl& control_;
};

}  // namespace

void SetVerbose(bool verbose) { verbose_losses = verbose; }
void SetQuiet(bool quiet_run) { quiet = quiet_run; }
void SetProgressDisplay(ProgressLine::Display display) { progress_display = display; }
ProgressLine::Display ProgressDisplay() { return progress_display; }

void ShowProgress(RecoverySession& session, ProgressLine& progress) {
  if (!progress.shown()) return;
  session.observer = &progress;
  if (!quiet) session.losses.SetDetails(progress.Messages());
}
void SetRecoverDeleted(bool deleted) { recover_deleted = deleted; }
void SetPassword(std::optional<std::string> password) { given_password = std::move(password); }
void SetPasswordPrompt(PasswordPrompt prompt) { password_prompt = std::move(prompt); }

namespace {

// The terminal's settings while echo is off, for a signal to put back.
termios saved_terminal;
volatile sig_atomic_t terminal_fd = -1;

void RestoreTerminalAndDie(int signal) {
  if (terminal_fd >= 0) tcsetattr(terminal_fd, TCSAFLUSH, &saved_terminal);
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

}  // namespace

std::optional<std::string> PromptOnTerminal(const std::string& question) {
  // A script's standard input is not asked: it gets the clear refusal.
  if (!isatty(STDIN_FILENO)) return std::nullopt;
  const int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return std::nullopt;
  termios quiet;
  if (tcgetattr(fd, &saved_terminal) != 0) {
    ::close(fd);
    return std::nullopt;
  }
  quiet = saved_terminal;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  quiet.c_lflag |= ECHONL;
  if (::write(fd, question.data(), question.size()) < 0) {
    ::close(fd);
    return std::nullopt;
  }
  // Ctrl-C at the prompt must not leave the terminal without echo.
  terminal_fd = fd;
  struct sigaction restore {}, old_int {}, old_term {}, old_hup {};
  restore.sa_handler = RestoreTerminalAndDie;
  sigaction(SIGINT, &restore, &old_int);
  sigaction(SIGTERM, &restore, &old_term);
  sigaction(SIGHUP, &restore, &old_hup);
  tcsetattr(fd, TCSAFLUSH, &quiet);
  std::string line;
  bool ended = false;
  char c;
  // A password is a line; a bound keeps a runaway input from growing it.
  while (line.size() < 1024) {
    const ssize_t got = ::read(fd, &c, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    if (c == '\n' || c == '\r') {
      ended = true;
      break;
    }
    line.push_back(c);
  }
  tcsetattr(fd, TCSAFLUSH, &saved_terminal);
  terminal_fd = -1;
  sigaction(SIGINT, &old_int, nullptr);
  sigaction(SIGTERM, &old_term, nullptr);
  sigaction(SIGHUP, &old_hup, nullptr);
  ::close(fd);
  if (!ended && line.empty()) return std::nullopt;  // end of input: nothing typed
  return line;
}

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
  int exit_code = 0;
  JetHandlePtr handle = OpenForCommand(file, PasswordFor(file), exit_code);
  if (!handle) return exit_code;
  OutputCheck check(out);
  out << "Format: " << (handle->IsJet4() ? "Jet4" : "Jet3") << ", " << handle->PageCount() << " pages of "
      << handle->PageSize() << " bytes\n";
  out << "page  row  deleted    type  definition  name\n";
  size_t found = 0;
  for (uint32_t page = 0; ReadPage(*handle, page) != 0 && check.Ok(); ++page) {
    if (handle->page[0] != 0x01 || handle->page[1] != 0x01 || handle->Page().U32(4).value_or(0) != 2) continue;
    const PageSlots slots(handle->Page(), *handle->format);
    for (uint32_t j = 0; j < slots.count(); ++j) {
      CatalogRecord record;
      if (!ReadCatalogRecord(*handle, slots, static_cast<int>(j), record)) continue;
      ++found;
      char line[64];
      std::snprintf(line, sizeof line, "%4u  %3u  %-7s  %6d  %10d  ", page, j, record.deleted ? "yes" : "no",
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
  ProgressLine progress(STDERR_FILENO, progress_display);
  RecoverySession session;
  PrepareSession(session, file, PasswordFor(file));
  ShowProgress(session, progress);
  const PassResult result = RunRecovery(session);
  progress.Clear();
  if (result.outcome == PassOutcome::kNotOpened || result.outcome == PassOutcome::kNotADatabase ||
      result.outcome == PassOutcome::kNeedsPassword || result.outcome == PassOutcome::kWrongPassword ||
      result.outcome == PassOutcome::kUnsupportedEncryption) {
    return ReportUnfinished(file, session, result);
  }
  if (session.AnalysisLog.empty()) RebuildAnalysisLog(session);
  OutputCheck check(out);
  out << PlatformLineEnds(session.AnalysisLog);
  if (!check.Finish()) return ReportOutputFailed(check);
  if (result.outcome != PassOutcome::kCompleted) return ReportUnfinished(file, session, result);
  return AccountForLosses(session);
}

int RunDump(const std::string& file, std::ostream& out, OleStorage ole) {
  int exit_code = 0;
  const std::optional<std::string> password = PasswordFor(file);
  JetHandlePtr probe = OpenForCommand(file, password, exit_code);
  if (!probe) return exit_code;
  const bool jet4 = probe->IsJet4();
  probe.reset();

  // The probe proved the file opens, so the document can start at once.
  const bool document_on_terminal = &out == &std::cout && isatty(STDOUT_FILENO);
  ProgressLine progress(STDERR_FILENO, document_on_terminal ? ProgressLine::Display::kHidden : progress_display);
  RecoverySession session;
  OutputCheck check(out);
  CheckedDump dump(out, jet4 ? "Jet4" : "Jet3", ole, check, session.control);
  PrepareSession(session, file, password);
  ShowProgress(session, progress);
  session.outputs.push_back(&dump);
  const PassResult result = RunRecovery(session);
  progress.Clear();
  dump.Finish();
  if (!check.Finish()) return ReportOutputFailed(check);
  if (result.outcome != PassOutcome::kCompleted) return ReportUnfinished(file, session, result);
  return AccountForLosses(session);
}

namespace {

// How one save speaks: alone, with its log on stdout; or as one of many,
// with only its messages and its losses, under its file's name.
struct SaveVoice {
  bool print_log = true;
  std::string progress_label;
  std::string losses_heading = "Losses:";
};

struct SaveResult {
  int exit_code = 0;
  int64_t rows = 0;  // rows recovered, when the save completed
};

SaveResult SaveOne(const std::string& file, const std::string& target, bool force, std::ostream& out, OleStorage ole,
                   const SaveVoice& voice) {
  struct stat st;
  const bool target_existed = lstat(target.c_str(), &st) == 0;
  if (target_existed) {
    // Even with --force only a regular file is replaced: never a device
    // (/dev/null), a FIFO or a directory.
    try {
      CheckReplaceable(target);
    } catch (const EngineError& error) {
      std::cerr << "mendora-cli: " << error.what() << ".\n";
      return {kExitFailed};
    }
  }
  if (!force && target_existed) {
    std::cerr << "mendora-cli: " << target << " already exists; choose another name or pass --force to replace it.\n";
    return {kExitFailed};
  }
  ProgressLine progress(STDERR_FILENO, progress_display, voice.progress_label);
  RecoverySession session;
  PrepareSession(session, file, PasswordFor(file));
  ShowProgress(session, progress);
  session.RunMode = 1;
  session.TargetPath = target;
  session.ReplaceExisting = force;
  session.MakeTarget = SqliteTargetFactory(ole);
  // Interrupts stay with the pass until the last line is printed, so one
  // that comes after the file was moved into place is said, not lost.
  InterruptCancels interrupt(session.control);
  const PassResult result = RunRecovery(session);
  progress.Clear();
  const std::string left = target_existed ? target + " was left as it was.\n" : "Nothing was left at " + target + ".\n";
  switch (result.outcome) {
    case PassOutcome::kNotOpened:
    case PassOutcome::kNotADatabase:
    case PassOutcome::kNeedsPassword:
    case PassOutcome::kWrongPassword:
    case PassOutcome::kUnsupportedEncryption:
      return {ReportUnfinished(file, session, result)};
    case PassOutcome::kNothingRecovered:
      ReportNothingRecovered(file, session, result);
      std::cerr << left;
      return {kExitNothingRecovered};
    case PassOutcome::kCancelled:
      std::cerr << "mendora-cli: the save was interrupted before it was complete.\n" << left;
      return {kExitInterrupted};
    case PassOutcome::kFailed:
      std::cerr << "mendora-cli: the recovered database could not be written to " << target << ": "
                << result.message << "\n"
                << left;
      return {kExitFailed};
    case PassOutcome::kCompleted:
      break;
  }
  OutputCheck check(out);
  if (voice.print_log && !quiet) {
    if (session.AnalysisLog.empty()) RebuildAnalysisLog(session);
    out << PlatformLineEnds(session.AnalysisLog);
    out << "Recovered database written to " << target << "\n";
  }
  const bool printed = check.Finish();
  const int account = AccountForLosses(session, voice.losses_heading);
  if (interrupt.Take()) {
    std::cerr << "mendora-cli: the interrupt came too late to cancel the save: " << target
              << " had already been written, and it is complete.\n";
  }
  if (!printed) {
    std::cerr << "mendora-cli: the log could not be written: " << check.reason() << "\nThe recovered database was written to "
              << target << " all the same.\n";
    return {kExitOutputFailed, session.GrandTotal};
  }
  return {account, session.GrandTotal};
}

// What an exit code means, for a file's summary line.
const char* ExitMeaning(int code) {
  switch (code) {
    case kExitNotOpened: return "could not be opened";
    case kExitFailed: return "the save failed";
    case kExitNotADatabase: return "not an Access database";
    case kExitNothingRecovered: return "nothing could be recovered";
    case kExitOutputFailed: return "the output could not be written";
    case kExitPassword: return "password missing or wrong, or encryption not supported";
    case kExitInterrupted: return "interrupted";
    default: return "failed";
  }
}

bool IsFailure(int code) { return code != 0 && code != kExitLosses; }

}  // namespace

int RunRecover(const std::string& file, const std::string& target, bool force, std::ostream& out, OleStorage ole) {
  return SaveOne(file, target, force, out, ole, SaveVoice{}).exit_code;
}

int WorstExitCode(int a, int b) {
  if (IsFailure(a) != IsFailure(b)) return IsFailure(a) ? a : b;
  return std::max(a, b);
}

std::vector<std::string> DistinctTargets(const std::vector<std::string>& files, const std::string& dir) {
  std::set<std::string> taken;
  std::vector<std::string> targets;
  for (const std::string& file : files) {
    std::string stem = std::filesystem::path(file).stem().string();
    if (stem.empty() || stem == "." || stem == "..") stem = "recovered";
    std::string name = stem + ".sqlite";
    for (int n = 2; taken.count(name) > 0; ++n) name = stem + "-" + std::to_string(n) + ".sqlite";
    taken.insert(name);
    targets.push_back((std::filesystem::path(dir) / name).string());
  }
  return targets;
}

int RunRecoverMany(const std::vector<std::string>& files, const std::string& dir, bool force, std::ostream& out,
                   OleStorage ole) {
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (error || !std::filesystem::is_directory(dir)) {
    std::cerr << "mendora-cli: " << dir << " is not a directory that can be written into"
              << (error ? ": " + error.message() : std::string()) << ".\n";
    return kExitFailed;
  }
  const std::vector<std::string> targets = DistinctTargets(files, dir);
  OutputCheck check(out);
  int worst = 0;
  size_t complete = 0, lossy = 0, failed = 0;
  int64_t rows = 0;
  for (size_t i = 0; i < files.size(); ++i) {
    SaveVoice voice;
    voice.print_log = false;
    voice.progress_label = "[" + std::to_string(i + 1) + "/" + std::to_string(files.size()) + "] " +
                           std::filesystem::path(files[i]).filename().string();
    voice.losses_heading = "Losses in " + files[i] + ":";
    const SaveResult result = SaveOne(files[i], targets[i], force, out, ole, voice);
    worst = WorstExitCode(worst, result.exit_code);
    if (IsFailure(result.exit_code)) {
      ++failed;
      out << files[i] << ": " << ExitMeaning(result.exit_code) << " (exit " << result.exit_code << ")\n";
    } else {
      result.exit_code == 0 ? ++complete : ++lossy;
      rows += result.rows;
      out << files[i] << ": " << result.rows << " rows recovered into " << targets[i]
          << (result.exit_code == 0 ? "\n" : ", with losses (exit 4)\n");
    }
    out.flush();
    if (result.exit_code == kExitInterrupted) {
      out << "Interrupted: " << files.size() - i - 1 << " files not started\n";
      break;
    }
  }
  out << "Total: " << files.size() << (files.size() == 1 ? " file, " : " files, ") << complete << " complete, " << lossy
      << " with losses, " << failed << " failed; " << rows << " rows recovered\n";
  if (!check.Finish()) return WorstExitCode(worst, ReportOutputFailed(check));
  return worst;
}

PassSummary RunPassInto(const std::string& file, const OutputMaker& make_outputs) {
  PassSummary summary;
  const std::optional<std::string> password = PasswordFor(file);
  if (!OpenForCommand(file, password, summary.exit_code)) return summary;
  std::vector<std::unique_ptr<RecoveryOutput>> outputs;
  try {
    outputs = make_outputs();
  } catch (const TargetFailed& error) {
    std::cerr << "mendora-cli: " << error.what() << ".\n";
    summary.exit_code = kExitFailed;
    return summary;
  }
  RecoverySession session;
  PrepareSession(session, file, password);
  session.ReadSchema = true;
  for (const auto& output : outputs) session.outputs.push_back(output.get());
  InterruptCancels interrupt(session.control);
  ProgressLine progress(STDERR_FILENO, progress_display);
  ShowProgress(session, progress);
  const PassResult result = RunRecovery(session);
  progress.Clear();
  summary.tables = session.losses.tables().size();
  summary.rows = session.losses.RowsRecovered();
  switch (result.outcome) {
    case PassOutcome::kCompleted:
      summary.exit_code = AccountForLosses(session);
      break;
    case PassOutcome::kCancelled:
      std::cerr << "mendora-cli: " << file << ": interrupted; what was written for it was removed.\n";
      summary.exit_code = kExitInterrupted;
      break;
    case PassOutcome::kFailed:
      std::cerr << "mendora-cli: " << file << ": the output could not be written: " << result.message << "\n";
      summary.exit_code = kExitFailed;
      break;
    default:
      summary.exit_code = ReportUnfinished(file, session, result);
      break;
  }
  return summary;
}

}  // namespace mendora::cli
