// The progress line of mendora-cli's passes.
#include "cli/progress_line.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <utility>

namespace mendora::cli {

namespace {

// A pass that ends sooner than this shows no line at all, rather than a flash.
constexpr auto kFirstDrawAfter = std::chrono::milliseconds(200);
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);
constexpr const char* kEraseLine = "\r\033[K";

std::string Grouped(uint64_t n) {
  std::string digits = std::to_string(n);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out.push_back(',');
    out.push_back(digits[i]);
  }
  return out;
}

// A name as it may reach the terminal: C0 and C1 controls and DEL become '?'.
std::string Printable(const std::string& name) {
  std::string out;
  out.reserve(name.size());
  for (size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (c < 0x20 || c == 0x7f) {
      out.push_back('?');
    } else if (c == 0xc2 && i + 1 < name.size() && static_cast<unsigned char>(name[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(name[i + 1]) <= 0x9f) {
      out.push_back('?');
      ++i;
    } else {
      out.push_back(name[i]);
    }
  }
  return out;
}

// The first `columns` characters of UTF-8 `text` (one column each: close
// enough for names, and never wider than counted for the ASCII around them).
std::string FirstColumns(const std::string& text, size_t columns, size_t* used) {
  size_t count = 0;
  size_t end = 0;
  while (end < text.size()) {
    if (count == columns) break;
    ++end;
    while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xc0) == 0x80) ++end;
    ++count;
  }
  if (used != nullptr) *used = count;
  return text.substr(0, end);
}

size_t Columns(const std::string& text) {
  size_t count = 0;
  for (const char c : text) count += (static_cast<unsigned char>(c) & 0xc0) != 0x80;
  return count;
}

}  // namespace

std::string FormatDuration(double seconds) {
  if (!(seconds >= 0)) seconds = 0;
  if (seconds > 359999) seconds = 359999;  // 99:59:59: an estimate past that says nothing more
  const auto total = static_cast<uint64_t>(seconds + 0.5);
  const uint64_t h = total / 3600, m = total / 60 % 60, s = total % 60;
  char text[32];
  if (h > 0) {
    std::snprintf(text, sizeof text, "%" PRIu64 ":%02" PRIu64 ":%02" PRIu64, h, m, s);
  } else {
    std::snprintf(text, sizeof text, "%" PRIu64 ":%02" PRIu64, m, s);
  }
  return text;
}

std::string FormatProgress(const ProgressState& state, size_t width) {
  std::string line;
  if (!state.label.empty()) line += Printable(state.label) + "  ";
  const uint64_t total = std::max<uint64_t>(state.work_total, 1);
  const uint64_t done = std::min(state.work_done, total);
  line += std::to_string(done * 100 / total) + "%  " + Grouped(done) + "/" + Grouped(total) + " pages read  " +
          Grouped(static_cast<uint64_t>(std::max<int64_t>(state.rows, 0))) + " rows  " +
          FormatDuration(state.elapsed_seconds);
  // Too early an estimate jumps about: it waits for a second and some work.
  if (state.elapsed_seconds >= 1.0 && done > 0 && done < total) {
    const double left = state.elapsed_seconds * static_cast<double>(total - done) / static_cast<double>(done);
    line += ", " + FormatDuration(left) + " left";
  }
  if (!state.table.empty()) line += "  " + Printable(state.table);
  if (width == 0) return line;
  // The last column stays free: writing into it wraps on some terminals.
  const size_t room = width - 1;
  if (Columns(line) <= room) return line;
  if (room < 4) return FirstColumns(line, room, nullptr);
  return FirstColumns(line, room - 3, nullptr) + "...";
}

ProgressLine::ProgressLine(int fd, Display display, std::string label, size_t width)
    : fd_(fd), display_(display), width_(width), started_(std::chrono::steady_clock::now()) {
  state_.label = std::move(label);
  if (width_ == 0 && display_ == Display::kShown) {
    winsize size{};
    width_ = ioctl(fd_, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
  }
}

ProgressLine::~ProgressLine() {
  Clear();
  if (messages_ != nullptr) std::fclose(messages_);
}

ProgressLine::Display ProgressLine::ForStandardError() {
  return isatty(STDERR_FILENO) ? Display::kShown : Display::kHidden;
}

void ProgressLine::OnProgress(uint32_t pages_done, uint32_t pages_total) {
  state_.work_done = pages_done;
  state_.work_total = pages_total;
  // The last report of a pass comes without a table report after it.
  if (pages_done == pages_total) Draw(false);
}

void ProgressLine::OnTableProgress(const std::string& table, int64_t table_rows, int64_t pass_rows) {
  (void)table_rows;
  state_.rows = pass_rows;
  if (table != state_.table) state_.table = table;
  Draw(false);
}

void ProgressLine::Draw(bool force) {
  if (display_ != Display::kShown) return;
  const auto now = std::chrono::steady_clock::now();
  if (!force && (now - started_ < kFirstDrawAfter || (drawn_ && now - last_draw_ < kRedrawEvery))) return;
  last_draw_ = now;
  state_.elapsed_seconds = std::chrono::duration<double>(now - started_).count();
  Write(kEraseLine + FormatProgress(state_, width_));
  drawn_ = true;
}

void ProgressLine::Clear() {
  if (!drawn_) return;
  if (messages_ != nullptr) std::fflush(messages_);
  Write(kEraseLine);
  drawn_ = false;
}

void ProgressLine::Write(const std::string& text) {
  size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = ::write(fd_, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // a terminal that refuses is not worth failing the pass for
    written += static_cast<size_t>(n);
  }
}

ssize_t ProgressLine::WriteMessage(void* cookie, const char* data, size_t size) {
  auto* self = static_cast<ProgressLine*>(cookie);
  if (self->drawn_) {
    self->Write(kEraseLine);
    self->drawn_ = false;
  }
  self->Write(std::string(data, size));
  return static_cast<ssize_t>(size);
}

std::FILE* ProgressLine::Messages() {
  if (display_ != Display::kShown) return stderr;
  if (messages_ == nullptr) {
    cookie_io_functions_t functions{};
    functions.write = &ProgressLine::WriteMessage;
    messages_ = fopencookie(this, "w", functions);
    if (messages_ == nullptr) return stderr;
    setvbuf(messages_, nullptr, _IOLBF, 0);
  }
  return messages_;
}

}  // namespace mendora::cli
