// A one-line progress display on a terminal, rewritten in place while a pass
// runs: how far the pass has come, rows so far, the table being read, the
// time spent and the time left. Any command that runs a pass can show it by
// making one the session's observer.
#ifndef MENDORA_CLI_PROGRESS_LINE_H_
#define MENDORA_CLI_PROGRESS_LINE_H_

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "recovery/recovery_session.h"

namespace mendora::cli {

// What the line shows at one moment.
struct ProgressState {
  std::string label;            // the file, in front ("[2/5] a.mdb"); may be empty
  uint64_t work_done = 0;       // page reads so far
  uint64_t work_total = 0;      // page reads the pass expects
  int64_t rows = 0;             // rows of the whole pass so far
  std::string table;            // the table being read; empty between tables
  double elapsed_seconds = 0;
};

// The line for `state`, at most `width` columns wide (a wider line would
// wrap, and a wrapped line cannot be rewritten in place). Control characters
// of a name (a hostile file can name a table with escape sequences) are
// shown as '?'.
std::string FormatProgress(const ProgressState& state, size_t width);

// "0:07", "12:05", "1:02:03".
std::string FormatDuration(double seconds);

class ProgressLine final : public RecoveryObserver {
 public:
  enum class Display { kShown, kHidden };

  // Draws on `fd` when `display` is kShown; a hidden line does nothing at
  // all. `width` 0 asks the terminal for its width.
  ProgressLine(int fd, Display display, std::string label = std::string(), size_t width = 0);
  ~ProgressLine() override;
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // kShown when standard error is a terminal.
  static Display ForStandardError();

  bool shown() const { return display_ == Display::kShown; }

  void OnProgress(uint32_t pages_done, uint32_t pages_total) override;
  void OnTableProgress(const std::string& table, int64_t table_rows, int64_t pass_rows) override;

  // Erases the line, so that a message can take its place; the next report
  // draws it again.
  void Clear();

  // A stream for lines written while the line is up (the reader's damage
  // notes): each write erases the line first. Standard error itself when
  // the line is hidden.
  std::FILE* Messages();

 private:
  void Draw(bool force);
  void Write(const std::string& text);
  static ssize_t WriteMessage(void* cookie, const char* data, size_t size);

  int fd_;
  Display display_;
  size_t width_;
  ProgressState state_;
  std::chrono::steady_clock::time_point started_;
  std::chrono::steady_clock::time_point last_draw_{};
  bool drawn_ = false;
  std::FILE* messages_ = nullptr;
};

}  // namespace mendora::cli

#endif  // MENDORA_CLI_PROGRESS_LINE_H_
