// recover --out-dir over many files, --quiet, and the program's own command
// line: --version, --help, arguments it refuses, stderr that is no terminal.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "tests/builder/sample_database.h"
#include "tests/engine/engine_test_util.h"
#include "tests/cli/program_run.h"
#include "tests/support/corpus.h"

namespace mendora {
namespace {

using testing::ProgramRun;
using testing::RunProgram;
using testing::ScratchDir;

void WriteDemo(const std::string& path) {
  testing::JetFileBuilder builder(testing::JetVersion::kJet4);
  testing::AddDemoDatabase(builder, testing::JetVersion::kJet4);
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  builder.WriteTo(path);
}

// A sample whose pass loses something (exit 4), when the crafted files are there.
std::optional<std::string> LossySample() {
  const auto dir = testing::HostileDir();
  if (!dir || !std::filesystem::exists(*dir / "lvchainall.mdb")) return std::nullopt;
  return (*dir / "lvchainall.mdb").string();
}

TEST(ManyFilesTest, WorstExitCodeRanksFailuresOverLossesOverSuccess) {
  EXPECT_EQ(cli::WorstExitCode(0, 0), 0);
  EXPECT_EQ(cli::WorstExitCode(0, cli::kExitLosses), cli::kExitLosses);
  EXPECT_EQ(cli::WorstExitCode(cli::kExitLosses, cli::kExitNotOpened), cli::kExitNotOpened);
  EXPECT_EQ(cli::WorstExitCode(cli::kExitNotOpened, cli::kExitLosses), cli::kExitNotOpened);
  EXPECT_EQ(cli::WorstExitCode(cli::kExitNotADatabase, cli::kExitFailed), cli::kExitNotADatabase);
  EXPECT_EQ(cli::WorstExitCode(cli::kExitInterrupted, cli::kExitPassword), cli::kExitInterrupted);
}

TEST(ManyFilesTest, TargetsAreDistinctPerStem) {
  const std::vector<std::string> targets =
      cli::DistinctTargets({"a/x.mdb", "b/x.mdb", "x.accdb", "x-2.mdb", "y.mdb", "/", "archive.tar.mdb"}, "out");
  EXPECT_EQ(targets, (std::vector<std::string>{"out/x.sqlite", "out/x-2.sqlite", "out/x-3.sqlite",
                                               "out/x-2-2.sqlite", "out/y.sqlite", "out/recovered.sqlite",
                                               "out/archive.tar.sqlite"}));
}

TEST(ManyFilesTest, EveryFileIsTriedAndTheWorstExitCodeWins) {
  ScratchDir dir;
  const std::string first = dir.File("one/demo.mdb");
  const std::string second = dir.File("two/demo.mdb");
  WriteDemo(first);
  WriteDemo(second);
  const std::string text = dir.File("notes.mdb");
  std::ofstream(text) << "not a database";
  const std::string missing = dir.File("missing.mdb");
  const std::string out_dir = dir.File("recovered/deeper");

  std::vector<std::string> files{first, text, missing, second};
  const std::optional<std::string> lossy = LossySample();
  if (lossy) files.push_back(*lossy);
  std::ostringstream out;
  ::testing::internal::CaptureStderr();
  const int code = cli::RunRecoverMany(files, out_dir, false, out);
  const std::string errors = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(code, cli::kExitNotADatabase) << "the higher of the two failures";

  // The failures in the middle stopped neither the second demo nor the rest.
  const std::string summary = out.str();
  EXPECT_NE(summary.find(first + ": 272 rows recovered into " + out_dir + "/demo.sqlite\n"), std::string::npos)
      << summary;
  EXPECT_NE(summary.find(text + ": not an Access database (exit 5)\n"), std::string::npos) << summary;
  EXPECT_NE(summary.find(missing + ": could not be opened (exit 2)\n"), std::string::npos) << summary;
  EXPECT_NE(summary.find(second + ": 272 rows recovered into " + out_dir + "/demo-2.sqlite\n"), std::string::npos);
  EXPECT_EQ(testing::Rows(out_dir + "/demo-2.sqlite", "SELECT count(*) FROM Customers")[0], "12");
  EXPECT_FALSE(std::filesystem::exists(out_dir + "/notes.sqlite"));
  EXPECT_FALSE(std::filesystem::exists(out_dir + "/missing.sqlite"));
  if (lossy) {
    EXPECT_NE(summary.find(", with losses (exit 4)\n"), std::string::npos) << summary;
    EXPECT_NE(errors.find("Losses in " + *lossy + ":\n"), std::string::npos) << errors;
    EXPECT_NE(summary.find("Total: 5 files, 2 complete, 1 with losses, 2 failed; "), std::string::npos) << summary;
  } else {
    EXPECT_NE(summary.find("Total: 4 files, 2 complete, 0 with losses, 2 failed; 544 rows recovered\n"),
              std::string::npos)
        << summary;
  }
  // The messages of each failure are those of a single recover.
  EXPECT_NE(errors.find(text + " is not an Access database"), std::string::npos) << errors;
  EXPECT_EQ(errors.find("Recovered database written"), std::string::npos);

  // Again: the targets exist now, and without --force each is refused.
  std::ostringstream again;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(cli::RunRecoverMany({first, second}, out_dir, false, again), cli::kExitFailed);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("demo-2.sqlite already exists"), std::string::npos);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(cli::RunRecoverMany({first, second}, out_dir, true, again), 0);
  ::testing::internal::GetCapturedStderr();
}

TEST(ManyFilesTest, AnOutDirThatCannotBeMadeFailsEveryFile) {
  ScratchDir dir;
  const std::string blocker = dir.File("file");
  std::ofstream(blocker) << "x";
  std::ostringstream out;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(cli::RunRecoverMany({dir.File("a.mdb")}, blocker + "/sub", false, out), cli::kExitFailed);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("is not a directory that can be written into"),
            std::string::npos);
}

TEST(QuietTest, KeepsErrorsAndTheLossAccountOnly) {
  const std::optional<std::string> lossy = LossySample();
  if (!lossy) GTEST_SKIP() << "crafted files not found (set MENDORA_HOSTILE)";
  ScratchDir dir;
  for (const bool quiet : {false, true}) {
    SCOPED_TRACE(quiet);
    cli::SetQuiet(quiet);
    std::ostringstream log;
    ::testing::internal::CaptureStderr();
    const std::string target = dir.File(quiet ? "quiet.sqlite" : "loud.sqlite");
    EXPECT_EQ(cli::RunRecover(*lossy, target, false, log), cli::kExitLosses);
    const std::string errors = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("Losses:\n"), std::string::npos) << errors;
    // Damage notes come before the account; quiet has none.
    EXPECT_EQ(errors.rfind("Losses:\n", 0) == 0, quiet) << errors;
    EXPECT_EQ(log.str().empty(), quiet) << log.str();
    EXPECT_TRUE(std::filesystem::exists(target));

    std::ostringstream analysis;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(cli::RunAnalyze(*lossy, analysis), cli::kExitLosses);
    EXPECT_EQ(::testing::internal::GetCapturedStderr().rfind("Losses:\n", 0) == 0, quiet);
    EXPECT_NE(analysis.str().find("Total Number of Records"), std::string::npos) << "analyze's log stays";
  }
  cli::SetQuiet(false);
}

TEST(ProgramTest, VersionHelpAndRefusedCommandLines) {
  ScratchDir dir;
  const ProgramRun version = RunProgram(dir, {"--version"});
  EXPECT_EQ(version.code, 0) << version.err;
  EXPECT_EQ(version.out.rfind("mendora-cli " MENDORA_VERSION_FOR_TESTS "\nSQLite 3.", 0), 0u) << version.out;
  EXPECT_NE(version.out.find("Qt"), std::string::npos);

  const ProgramRun help = RunProgram(dir, {"--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_NE(help.out.find("Exit codes:"), std::string::npos);
  EXPECT_NE(help.out.find("--version"), std::string::npos);

  const std::string demo = dir.File("demo.mdb");
  WriteDemo(demo);
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"recover", demo},
           {"recover", demo, dir.File("a.sqlite"), dir.File("b.sqlite")},
           {"recover", "--out-dir", dir.File("x")},
           {"analyze", "--quiet", "--verbose", demo},
           {"frobnicate"},
       }) {
    const ProgramRun refused = RunProgram(dir, args);
    EXPECT_GE(refused.code, 100) << args.back();
    EXPECT_LE(refused.code, 127) << args.back();
  }
}

TEST(ProgramTest, StderrThatIsNoTerminalGetsNoProgressLine) {
  ScratchDir dir;
  const std::string demo = dir.File("demo.mdb");
  WriteDemo(demo);
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"analyze", demo}, {"dump", demo}, {"recover", demo, dir.File("a.sqlite")},
           {"recover", "--out-dir", dir.File("many"), demo, demo}}) {
    const ProgramRun run = RunProgram(dir, args);
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.err, "") << args[0];
  }
  EXPECT_TRUE(std::filesystem::exists(dir.File("many/demo-2.sqlite")));
}

}  // namespace
}  // namespace mendora
