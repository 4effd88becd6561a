// The settings of one run of mendora-cli (--verbose, --quiet, --deleted, the
// progress line) and how they reach a session.
#include <sys/stat.h>

#include <charconv>

#include "cli/command_support.h"
#include "cli/commands.h"
#include "reader/text_codec.h"

namespace mendora::cli {

namespace {

bool verbose_losses = false;
bool quiet = false;
ProgressLine::Display progress_display = ProgressLine::Display::kHidden;
bool recover_deleted = false;
int text_code_page = 0;
unsigned decode_jobs = 0;

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
  session.options.observer = &progress;
  if (!quiet) session.options.loss_details = progress.Messages();
}
void SetRecoverDeleted(bool deleted) { recover_deleted = deleted; }
bool QuietRun() { return quiet; }
void SetCodePage(int code_page) { text_code_page = code_page; }
int CodePageGiven() { return text_code_page; }
void SetDecodeJobs(unsigned jobs) { decode_jobs = jobs; }

std::string CheckCodePage(const std::string& text) {
  int number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || end != text.data() + text.size() || !CodePage::Supported(number)) {
    return "not a code page Mendora reads: " + text + " (932, 936, 949, 950, 874, 1250 to 1258)";
  }
  return "";
}

void PrepareSession(RecoverySession& session, const std::string& file, std::optional<std::string> password) {
  session.options.verbose_losses = verbose_losses;
  if (quiet) session.options.loss_details = nullptr;
  session.options.recover_deleted_rows = recover_deleted;
  session.options.source_path = file;
  session.options.source_file_length_text = FileLengthText(file);
  session.options.password = std::move(password);
  session.options.text_code_page = text_code_page;
  session.options.decode_jobs = decode_jobs;
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
