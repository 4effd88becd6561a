// The progress line: what it says, how it fits a terminal, and how it gives
// way to the lines written while it is up.
#include "cli/progress_line.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>

namespace mendora::cli {
namespace {

size_t Columns(const std::string& text) {
  size_t count = 0;
  for (const char c : text) count += (static_cast<unsigned char>(c) & 0xc0) != 0x80;
  return count;
}

TEST(ProgressFormatTest, SaysHowFarWithRowsTableAndTimeLeft) {
  ProgressState state;
  state.label = "[2/3] orders.mdb";
  state.work_done = 12345;
  state.work_total = 50000;
  state.rows = 1234567;
  state.table = "Order Details";
  state.elapsed_seconds = 10;
  const std::string line = FormatProgress(state, 0);
  EXPECT_EQ(line, "[2/3] orders.mdb  24%  12,345/50,000 pages read  1,234,567 rows  0:10, 0:31 left  Order Details");

  // No guess in the first second, nor once the work is done.
  state.elapsed_seconds = 0.5;
  EXPECT_EQ(FormatProgress(state, 0).find("left"), std::string::npos);
  state.elapsed_seconds = 20;
  state.work_done = 50000;
  state.table.clear();
  EXPECT_EQ(FormatProgress(state, 0), "[2/3] orders.mdb  100%  50,000/50,000 pages read  1,234,567 rows  0:20");

  // A pass that read more than it expected never shows more than 100%.
  state.work_done = 60000;
  EXPECT_NE(FormatProgress(state, 0).find("100%  50,000/50,000"), std::string::npos);
  state.work_total = 0;
  state.work_done = 0;
  EXPECT_NE(FormatProgress(state, 0).find("0%  0/1 pages"), std::string::npos);
}

TEST(ProgressFormatTest, FitsTheTerminalWithoutWrapping) {
  ProgressState state;
  state.work_done = 1;
  state.work_total = 2;
  state.table = std::string(200, 'x');
  for (size_t width : {1u, 2u, 4u, 20u, 80u, 300u}) {
    const std::string line = FormatProgress(state, width);
    EXPECT_LE(Columns(line), width - 1) << width;
  }
  EXPECT_EQ(FormatProgress(state, 300), FormatProgress(state, 0));
  // Multi-byte names are cut between characters, and counted as one column each.
  state.table = "Ärzte und Übersicht der Größen";
  for (size_t width = 40; width < 90; ++width) {
    const std::string line = FormatProgress(state, width);
    EXPECT_LE(Columns(line), width - 1);
    EXPECT_NE(static_cast<unsigned char>(line.back()) & 0xc0, 0xc0u) << "cut inside a character: " << line;
  }
}

TEST(ProgressFormatTest, NamesCannotControlTheTerminal) {
  ProgressState state;
  state.label = "a\nb.mdb";
  state.table = "x\x1b]0;owned\x07\x1b[2J\x7f\xc2\x9b" "31m";
  const std::string line = FormatProgress(state, 0);
  for (const char c : line) EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 || c == 0x7f) << line;
  EXPECT_EQ(line.find("\xc2\x9b"), std::string::npos);
  EXPECT_NE(line.find("a?b.mdb"), std::string::npos);
  EXPECT_NE(line.find("x?]0;owned??[2J??31m"), std::string::npos) << line;
}

TEST(ProgressFormatTest, Durations) {
  EXPECT_EQ(FormatDuration(0), "0:00");
  EXPECT_EQ(FormatDuration(7.4), "0:07");
  EXPECT_EQ(FormatDuration(725), "12:05");
  EXPECT_EQ(FormatDuration(3723), "1:02:03");
  EXPECT_EQ(FormatDuration(-3), "0:00");
  EXPECT_EQ(FormatDuration(1e300), "99:59:59");
  EXPECT_EQ(FormatDuration(std::nan("")), "0:00");
}

// What a line wrote to its terminal, read from a pipe.
class PipeTerminal {
 public:
  PipeTerminal() {
    EXPECT_EQ(pipe2(fds_, O_NONBLOCK), 0);
  }
  ~PipeTerminal() {
    close(fds_[0]);
    close(fds_[1]);
  }
  int fd() const { return fds_[1]; }
  std::string Take() {
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fds_[0], buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
    return text;
  }

 private:
  int fds_[2] = {-1, -1};
};

TEST(ProgressLineTest, DrawsInPlaceAfterAMomentAndGivesWayToMessages) {
  PipeTerminal terminal;
  {
    ProgressLine line(terminal.fd(), ProgressLine::Display::kShown, "a.mdb", 60);
    line.OnProgress(10, 100);
    line.OnTableProgress("Orders", 5, 5);
    EXPECT_EQ(terminal.Take(), "") << "a pass that ends at once shows no line";

    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    line.OnProgress(20, 100);
    line.OnTableProgress("Orders", 50, 50);
    const std::string drawn = terminal.Take();
    EXPECT_EQ(drawn.rfind("\r\033[Ka.mdb  20%  20/100 pages read  50 rows  0:00  Orders", 0), 0u) << drawn;
    EXPECT_EQ(drawn.find('\n'), std::string::npos);

    // Reports in quick succession are not each drawn.
    line.OnTableProgress("Orders", 51, 51);
    EXPECT_EQ(terminal.Take(), "");

    std::fprintf(line.Messages(), "Orders: page 7 row 2 could not be read\n");
    EXPECT_EQ(terminal.Take(), "\r\033[KOrders: page 7 row 2 could not be read\n");
    // The line comes back with the next report, and goes for good at the end.
    line.OnProgress(100, 100);
    EXPECT_NE(terminal.Take().find("100%"), std::string::npos);
    line.Clear();
    EXPECT_EQ(terminal.Take(), "\r\033[K");
    line.Clear();
  }
  EXPECT_EQ(terminal.Take(), "") << "a cleared line is not erased twice";
}

TEST(ProgressLineTest, AHiddenLineWritesNothing) {
  PipeTerminal terminal;
  {
    ProgressLine line(terminal.fd(), ProgressLine::Display::kHidden, "a.mdb", 60);
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    line.OnProgress(100, 100);
    line.OnTableProgress("Orders", 1, 1);
    EXPECT_EQ(line.Messages(), stderr);
  }
  EXPECT_EQ(terminal.Take(), "");
}

}  // namespace
}  // namespace mendora::cli
