// The real mendora-cli under interrupts, kills, a full disk, broken output
// and hostile targets. Moments inside a save are reached through the stop
// points of MENDORA_DEBUG_STOP_AT, never guessed with sleeps.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "recovery/stop_point.h"
#include "tests/builder/sample_database.h"
#include "tests/engine/engine_test_util.h"

namespace mendora {
namespace {

using testing::ScratchDir;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

// One run of the real program: stdout to `out`, stderr to a file.
class CliRun {
 public:
  CliRun(const ScratchDir& dir, const std::vector<std::string>& args, const std::string& stop_at = "",
         const std::string& out = "/dev/null", const std::function<void()>& in_child = {})
      : err_path_(dir.File("stderr.txt")) {
    pid_ = fork();
    if (pid_ != 0) return;
    if (!stop_at.empty()) setenv(kStopPointVariable, stop_at.c_str(), 1);
    const int out_fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err_fd = open(err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out_fd, STDOUT_FILENO);
    dup2(err_fd, STDERR_FILENO);
    if (in_child) in_child();
    std::vector<char*> argv{const_cast<char*>("mendora-cli")};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(MENDORA_CLI_PATH, argv.data());
    _exit(127);
  }

  // Waits until the program has stopped itself at its stop point.
  bool Stopped() {
    int status = 0;
    return waitpid(pid_, &status, WUNTRACED) == pid_ && WIFSTOPPED(status);
  }
  void Signal(int signal) { kill(pid_, signal); }
  // Lets a stopped program go on, then waits for its end: the exit code, or
  // 128 + the signal that ended it.
  int Finish() {
    kill(pid_, SIGCONT);
    int status = 0;
    waitpid(pid_, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  std::string Errors() const { return ReadAll(err_path_); }

 private:
  std::string err_path_;
  pid_t pid_ = -1;
};

class SaveSafetyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::JetFileBuilder builder(testing::JetVersion::kJet4);
    testing::AddDemoDatabase(builder, testing::JetVersion::kJet4);
    builder.WriteTo(source_);
  }
  std::set<std::string> Names() const {
    std::set<std::string> names = dir_.Names();
    names.erase("stderr.txt");
    return names;
  }

  ScratchDir dir_;
  std::string source_ = dir_.File("demo.mdb");
  std::string target_ = dir_.File("out.sqlite");
};

// An interrupt up to the move cancels the save; after it, the program says
// it came too late and that the file is complete.
TEST_F(SaveSafetyTest, AnInterruptAtTheCommitFlushOrMoveCancelsAndAfterItIsSaid) {
  for (const auto& [moment, signal] : std::vector<std::pair<std::string, int>>{
           {"commit", SIGINT}, {"fsync", SIGTERM}, {"rename", SIGINT}, {"rename", SIGHUP}}) {
    SCOPED_TRACE(moment + " " + std::to_string(signal));
    CliRun run(dir_, {"recover", source_, target_}, moment);
    ASSERT_TRUE(run.Stopped());
    run.Signal(signal);
    EXPECT_EQ(run.Finish(), cli::kExitInterrupted);
    EXPECT_NE(run.Errors().find("the save was interrupted before it was complete.\nNothing was left at " + target_),
              std::string::npos)
        << run.Errors();
    EXPECT_EQ(Names(), std::set<std::string>{"demo.mdb"});
  }

  CliRun late(dir_, {"recover", source_, target_}, "published");
  ASSERT_TRUE(late.Stopped());
  late.Signal(SIGINT);
  EXPECT_EQ(late.Finish(), 0);
  EXPECT_NE(late.Errors().find("the interrupt came too late to cancel the save: " + target_ +
                               " had already been written, and it is complete."),
            std::string::npos)
      << late.Errors();
  EXPECT_EQ(testing::Rows(target_, "PRAGMA integrity_check")[0], "ok");
  EXPECT_EQ(testing::Rows(target_, "SELECT count(*) FROM Customers")[0], "12");
}

// A save killed outright leaves its unfinished file; the next save to the
// same place removes it and says so, but never the file of a save that is
// still running.
TEST_F(SaveSafetyTest, TheNextSaveRemovesWhatAKilledSaveLeft) {
  CliRun killed(dir_, {"recover", source_, target_}, "commit");
  ASSERT_TRUE(killed.Stopped());
  killed.Signal(SIGKILL);
  EXPECT_EQ(killed.Finish(), 128 + SIGKILL);
  std::set<std::string> left = Names();
  left.erase("demo.mdb");
  ASSERT_EQ(left.size(), 1u);
  const std::string leftover = *left.begin();
  EXPECT_EQ(leftover.rfind("out.sqlite.mendora-", 0), 0u) << leftover;

  CliRun running(dir_, {"recover", source_, dir_.File("other.sqlite")}, "commit");
  ASSERT_TRUE(running.Stopped());
  std::set<std::string> live = Names();
  for (const std::string& name : {std::string("demo.mdb"), leftover}) live.erase(name);
  ASSERT_EQ(live.size(), 1u);

  std::ostringstream out;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(cli::RunRecover(source_, target_, false, out), 0);
  const std::string errors = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(errors.find("Removed " + dir_.File(leftover) + ", the unfinished file of an earlier save that was killed."),
            std::string::npos)
      << errors;
  // A save into another name's place leaves that save's file alone, and so
  // does one into the same directory while it runs.
  EXPECT_EQ(Names(), (std::set<std::string>{"demo.mdb", "out.sqlite", *live.begin()}));
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(cli::RunRecover(source_, dir_.File("third.sqlite"), false, out), 0);
  ::testing::internal::GetCapturedStderr();
  EXPECT_TRUE(std::filesystem::exists(dir_.File(*live.begin())));
  EXPECT_EQ(running.Finish(), 0);
  EXPECT_EQ(Names(), (std::set<std::string>{"demo.mdb", "out.sqlite", "other.sqlite", "third.sqlite"}));
}

// When the disk refuses to grow the target, the first failure ends the save:
// one message, its exit code, no file; not a line for every row left.
TEST_F(SaveSafetyTest, TheFirstFailureOfTheTargetEndsTheSave) {
  const std::string large = dir_.File("large.mdb");
  {
    testing::JetFileBuilder builder(testing::JetVersion::kJet4);
    testing::AddBenchmarkTable(builder, testing::JetVersion::kJet4, 120000);
    builder.WriteTo(large);
  }
  // A file size limit stands for a full disk: writes past 2 MB fail.
  CliRun run(dir_, {"recover", large, target_}, "", "/dev/null", [] {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{2 << 20, 2 << 20};
    setrlimit(RLIMIT_FSIZE, &limit);
  });
  EXPECT_EQ(run.Finish(), cli::kExitFailed);
  const std::string errors = run.Errors();
  EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 2) << errors.substr(0, 2000);
  EXPECT_NE(errors.find("mendora-cli: the recovered database could not be written to " + target_), std::string::npos)
      << errors.substr(0, 2000);
  EXPECT_EQ(Names(), (std::set<std::string>{"demo.mdb", "large.mdb"}));
}

// Output that cannot be written is an error with its own exit code, never a
// truncated document with exit code 0.
TEST_F(SaveSafetyTest, OutputIntoAFullDeviceFails) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  for (const char* command : {"dump", "analyze", "catalog"}) {
    SCOPED_TRACE(command);
    CliRun run(dir_, {command, source_}, "", "/dev/full");
    EXPECT_EQ(run.Finish(), cli::kExitOutputFailed);
    EXPECT_NE(run.Errors().find("mendora-cli: the output could not be written: No space left on device"),
              std::string::npos)
        << run.Errors();
  }
}

// A stream that refuses every byte after the first `room`.
class CappedBuffer : public std::streambuf {
 public:
  explicit CappedBuffer(size_t room) : room_(room) {}
  size_t written = 0;

 protected:
  int overflow(int c) override {
    if (written >= room_) return traits_type::eof();
    ++written;
    return c;
  }

 private:
  size_t room_;
};

TEST_F(SaveSafetyTest, AFailedWriteStopsTheDumpAtOnce) {
  for (const size_t room : {size_t{0}, size_t{10}, size_t{5000}}) {
    SCOPED_TRACE(room);
    CappedBuffer buffer(room);
    std::ostream out(&buffer);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(cli::RunDump(source_, out), cli::kExitOutputFailed);
    EXPECT_EQ(cli::RunAnalyze(source_, out), cli::kExitOutputFailed);
    EXPECT_EQ(cli::RunCatalog(source_, out), cli::kExitOutputFailed);
    const std::string errors = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("the output could not be written"), std::string::npos) << errors;
  }
}

// OUT must be a regular file or absent, --force or not: a device node or a
// FIFO at OUT is never replaced by the recovered database.
TEST_F(SaveSafetyTest, OnlyARegularFileIsEverReplaced) {
  std::vector<std::string> places = {dir_.File("fifo")};
  ASSERT_EQ(mkfifo(places[0].c_str(), 0600), 0);
  if (geteuid() == 0) {  // a private twin of /dev/null: only root makes device nodes
    places.push_back(dir_.File("null"));
    ASSERT_EQ(mknod(places[1].c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
  }
  std::filesystem::create_directory(dir_.File("folder"));
  places.push_back(dir_.File("folder"));
  std::filesystem::create_symlink(places[0], dir_.File("link-to-fifo"));
  places.push_back(dir_.File("link-to-fifo"));
  for (const std::string& place : places) {
    SCOPED_TRACE(place);
    for (const bool force : {true, false}) {
      std::ostringstream out;
      ::testing::internal::CaptureStderr();
      EXPECT_EQ(cli::RunRecover(source_, place, force, out), cli::kExitFailed);
      const std::string errors = ::testing::internal::GetCapturedStderr();
      EXPECT_NE(errors.find("only a regular file is ever replaced"), std::string::npos) << errors;
    }
    struct stat status;
    ASSERT_EQ(lstat(place.c_str(), &status), 0);
    EXPECT_FALSE(S_ISREG(status.st_mode));
  }
  EXPECT_TRUE(std::filesystem::is_fifo(places[0]));
}

}  // namespace
}  // namespace mendora

namespace mendora {
namespace {

// A reader that goes away (`dump | head -c 10`) makes the next write fail:
// the program says so and exits 7, rather than dying of the signal unsaid.
TEST(ClosedPipeTest, AReaderThatGoesAwayIsAFailedWriteNotASignal) {
  ScratchDir dir;
  const std::string source = dir.File("demo.mdb");
  testing::JetFileBuilder builder(testing::JetVersion::kJet4);
  testing::AddDemoDatabase(builder, testing::JetVersion::kJet4);
  builder.WriteTo(source);
  for (const char* command : {"dump", "analyze", "catalog"}) {
    SCOPED_TRACE(command);
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    close(ends[0]);  // gone before the first byte is written
    const std::string errors = dir.File(std::string(command) + ".err");
    const pid_t child = fork();
    if (child == 0) {
      dup2(ends[1], STDOUT_FILENO);
      const int err = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(err, STDERR_FILENO);
      execl(MENDORA_CLI_PATH, "mendora-cli", command, source.c_str(), nullptr);
      _exit(127);
    }
    close(ends[1]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), cli::kExitOutputFailed);
    std::ifstream in(errors);
    const std::string said((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(said.find("the output could not be written"), std::string::npos) << said;
  }
}

}  // namespace
}  // namespace mendora
