// How each way a pass can end is told on stderr, with its exit code.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <vector>

#include "cli/command_support.h"
#include "cli/commands.h"
#include "reader/page_probe.h"
#include "recovery/open_outcome.h"

namespace mendora::cli {

namespace {

// The system's reason as a phrase for "FILE: ..." (strerror's own words are
// capitalised and some say more than a user needs).
std::string ErrorPhrase(int error) {
  switch (error) {
    case ENOENT: return "no such file";
    case ENOTDIR: return "no such file (a part of its path is not a directory)";
    case EACCES:
    case EPERM: return "permission denied";
    case ELOOP: return "too many levels of symbolic links";
    case ENAMETOOLONG: return "the name is too long";
    default: break;
  }
  std::string text = std::strerror(error);
  if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

// A missing or wrong password, or a cipher Mendora lacks: the reader's line
// says which.
int ReportPassword(const std::string& file, const std::string& reader_lines, bool missing) {
  std::cerr << "mendora-cli: " << file << ": " << reader_lines
            << (missing ? " (--password, MENDORA_PASSWORD, or run it on a terminal to be asked)" : "") << ".\n";
  return kExitPassword;
}

}  // namespace

std::string WhyNotOpened(const std::string& file, const std::string& reader_lines) {
  struct stat st;
  if (lstat(file.c_str(), &st) != 0) return ErrorPhrase(errno);
  if (S_ISLNK(st.st_mode) && stat(file.c_str(), &st) != 0) {
    return errno == ENOENT ? "no such file (a link to a file that is gone)" : ErrorPhrase(errno);
  }
  if (S_ISDIR(st.st_mode)) return "is a directory";
  if (!S_ISREG(st.st_mode)) return "not a regular file";
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return ErrorPhrase(errno);
  ::close(fd);
  // The file system sees nothing wrong (or no longer): the reader's lines,
  // on one line.
  std::string text;
  for (char c : reader_lines) text += c == '\n' ? std::string(": ") : std::string(1, c);
  while (!text.empty() && (text.back() == '.' || text.back() == ' ')) text.pop_back();
  return text.empty() ? "could not be opened" : text;
}

int ReportNotOpened(const std::string& file, const std::string& reader_lines) {
  std::cerr << "mendora-cli: " << file << ": " << WhyNotOpened(file, reader_lines) << "\n";
  return kExitNotOpened;
}

int ReportNotADatabase(const std::string& file, const std::string& reader_lines) {
  if (!reader_lines.empty()) std::cerr << reader_lines << "\n";
  std::cerr << "mendora-cli: " << file
            << " is not an Access database: it has neither a Jet 3, Jet 4 or Access 2007+ header nor any page that looks like one.\n";
  return kExitNotADatabase;
}

namespace {

int NothingRecovered(const std::string& file, const std::vector<std::string>& loss_lines, const std::string& message) {
  for (const std::string& line : loss_lines) std::cerr << line << "\n";
  std::cerr << "mendora-cli: nothing could be recovered from " << file << ": " << message << ".\n";
  return kExitNothingRecovered;
}

// The message and exit code of a source that did not open, or of one whose
// pages cannot be decrypted (nothing recovered, no loss read yet); -1 for
// any other outcome.
int ReportOpenOutcome(const std::string& file, const PassResult& result) {
  switch (result.outcome) {
    case PassOutcome::kNotOpened: return ReportNotOpened(file, result.message);
    case PassOutcome::kNotADatabase: return ReportNotADatabase(file, result.message);
    case PassOutcome::kNeedsPassword: return ReportPassword(file, result.message, true);
    case PassOutcome::kWrongPassword:
    case PassOutcome::kUnsupportedEncryption: return ReportPassword(file, result.message, false);
    default: return -1;
  }
}

}  // namespace

int ReportNothingRecovered(const std::string& file, const RecoverySession& session, const PassResult& result) {
  return NothingRecovered(file, session.results.losses.SummaryLines(), result.message);
}

// After a completed pass: the loss account, one line per table that lost
// anything and a total, and the exit code that says whether anything was
// lost. Each loss already has its detail line above.
int AccountForLosses(const RecoverySession& session, const std::string& heading) {
  const std::vector<std::string> lines = session.results.losses.SummaryLines();
  if (lines.empty()) return 0;
  std::cerr << heading << "\n";
  for (const std::string& line : lines) std::cerr << "  " << line << "\n";
  return kExitLosses;
}

int ReportOutputFailed(const OutputCheck& check) {
  std::cerr << "mendora-cli: the output could not be written: " << check.reason() << "\nThe output is incomplete.\n";
  return kExitOutputFailed;
}

JetHandlePtr OpenForCommand(const std::string& file, const std::optional<std::string>& password, int& exit_code) {
  OpenFailure failure = OpenFailure::kNone;
  std::string error;
  JetHandlePtr handle = OpenJetHandle(file, &error, &failure, {.password = password, .code_page = CodePageGiven()});
  if (!handle) {
    const PassResult result = OpenFailureResult(failure, error);
    exit_code = result.outcome == PassOutcome::kNothingRecovered ? NothingRecovered(file, {}, result.message)
                                                                 : ReportOpenOutcome(file, result);
  } else if (!LooksLikeJetDatabase(*handle)) {
    exit_code = ReportNotADatabase(file, "");
    handle.reset();
  }
  return handle;
}

// The exit code of a pass that did not complete, after its message.
int ReportUnfinished(const std::string& file, const RecoverySession& session, const PassResult& result) {
  if (IsOpenFailure(result.outcome)) return ReportOpenOutcome(file, result);
  if (result.outcome == PassOutcome::kNothingRecovered) return ReportNothingRecovered(file, session, result);
  std::cerr << "mendora-cli: reading " << file << " stopped before its end: " << result.message
            << "\nThe output above is incomplete.\n";
  return kExitFailed;
}

}  // namespace mendora::cli
