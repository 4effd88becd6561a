// recover: everything recovered from a source saved into a new Access or SQLite file,
// one source at a time or many into a folder.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <set>

#include "cli/command_support.h"
#include "cli/commands.h"
#include "cli/interrupt_cancels.h"
#include "cli/report_option.h"
#include "output/sqlite/sqlite_output.h"
#include "output/common/target_file.h"
#include "output/targets.h"
#include "recovery/recovery_steps.h"

namespace mendora::cli {

namespace {

std::optional<SaveFormat> chosen_format;

SaveFormat TargetFormat(const std::string& target) {
  if (chosen_format) return *chosen_format;
  return SaveFormatOfPath(target).value_or(SaveFormat::kSqlite);
}

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

SaveResult Conclude(const std::string& file, const std::string& target, bool target_existed, std::ostream& out,
                    const SaveVoice& voice, RecoverySession& session, const PassResult& result,
                    InterruptCancels& interrupt);

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
      ReportNoPass(file, kExitFailed);
      return {kExitFailed};
    }
  }
  if (!force && target_existed) {
    std::cerr << "mendora-cli: " << target << " already exists; choose another name or pass --force to replace it.\n";
    ReportNoPass(file, kExitFailed);
    return {kExitFailed};
  }
  ProgressLine progress(STDERR_FILENO, ProgressDisplay(), voice.progress_label);
  RecoverySession session;
  PrepareSession(session, file, PasswordFor(file));
  ShowProgress(session, progress);
  session.options.mode = RunMode::kSave;
  session.options.target_path = target;
  session.options.replace_existing = force;
  session.options.make_target = MakeTargetFactory(TargetFormat(target), ole);
  // Interrupts stay with the pass until the last line is printed, so one
  // that comes after the file was moved into place is said, not lost.
  InterruptCancels interrupt(session.control);
  PassReport report;
  report.Attach(session);
  const PassResult result = RunRecovery(session);
  progress.Clear();
  const SaveResult saved = Conclude(file, target, target_existed, out, voice, session, result, interrupt);
  report.Done(session, result.outcome == PassOutcome::kCompleted, saved.exit_code,
              result.outcome == PassOutcome::kCompleted ? target : "");
  return saved;
}

// What a save pass came to: its messages, the log, the loss account, and
// the exit code.
SaveResult Conclude(const std::string& file, const std::string& target, bool target_existed, std::ostream& out,
                    const SaveVoice& voice, RecoverySession& session, const PassResult& result,
                    InterruptCancels& interrupt) {
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
  if (voice.print_log && !QuietRun()) {
    if (session.results.analysis_log.empty()) RebuildAnalysisLog(session);
    out << PlatformLineEnds(session.results.analysis_log);
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
    return {kExitOutputFailed, session.results.grand_total};
  }
  return {account, session.results.grand_total};
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

void SetSaveFormat(std::optional<SaveFormat> format) { chosen_format = format; }

std::vector<std::string> DistinctTargets(const std::vector<std::string>& files, const std::string& dir,
                                         const std::string& extension) {
  std::set<std::string> taken;
  std::vector<std::string> targets;
  for (const std::string& file : files) {
    std::string stem = std::filesystem::path(file).stem().string();
    if (stem.empty() || stem == "." || stem == "..") stem = "recovered";
    std::string name = stem + extension;
    for (int n = 2; taken.count(name) > 0; ++n) name = stem + "-" + std::to_string(n) + extension;
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
  const std::vector<std::string> targets =
      DistinctTargets(files, dir, SaveFormatExtension(chosen_format.value_or(SaveFormat::kAccess)));
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

}  // namespace mendora::cli
