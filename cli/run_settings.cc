// The settings of one run of mendora-cli (--verbose, --quiet, --deleted, the
// progress line) and how they reach a session.
#include <sys/stat.h>

#include "cli/command_support.h"
#include "cli/commands.h"

namespace mendora::cli {

namespace {

bool verbose_losses = false;
bool quiet = false;
ProgressLine::Display progress_display = ProgressLine::Display::kHidden;
bool recover_deleted = false;

std::string FileLengthText(const std::string& file) {
  struct stat st;
  return stat(file.c_str(), &st) == 0 ? std::to_string(static_cast<long long>(st.st_size)) : "0";
}

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
bool QuietRun() { return quiet; }

void PrepareSession(RecoverySession& session, const std::string& file, std::optional<std::string> password) {
  session.losses.SetVerbose(verbose_losses);
  if (quiet) session.losses.SetDetails(nullptr);
  session.RecoverDeletedRows = recover_deleted;
  session.SourcePath = file;
  session.SourceFileLengthText = FileLengthText(file);
  session.Password = std::move(password);
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

}  // namespace mendora::cli
