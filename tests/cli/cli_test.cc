// mendora-cli's commands: output, exit codes and the refusal to clobber.
#include "cli/commands.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "output/json/json_dump.h"
#include "tests/builder/sample_database.h"
#include "tests/engine/engine_test_util.h"
#include "tests/support/corpus.h"

namespace mendora {
namespace {

using testing::CorpusDir;

std::string Sample(const char* name) { return (*CorpusDir() / name).string(); }

TEST(CliTest, AnalyzePrintsTheLogWithPlatformLineEnds) {
  if (!CorpusDir()) GTEST_SKIP() << "sample databases not found (set MENDORA_CORPUS)";
  std::ostringstream out;
  EXPECT_EQ(cli::RunAnalyze(Sample("jet4-northwind.mdb"), out), 0);
  const std::string log = out.str();
  EXPECT_EQ(log.find('\r'), std::string::npos);
  EXPECT_NE(log.find("Total Number of Records :\n3202\n"), std::string::npos);
  EXPECT_NE(log.find("\nOrder Details :  2155  Records\n"), std::string::npos);
}

TEST(CliTest, AFileThatIsNoDatabaseExitsNonZeroWithAReason) {
  testing::ScratchDir dir;
  const std::string text = dir.File("notes.mdb");
  std::ofstream(text) << "just some text, not a database";
  std::ostringstream out;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(cli::RunAnalyze(text, out), cli::kExitNotADatabase);
  EXPECT_EQ(cli::RunDump(text, out), cli::kExitNotADatabase);
  EXPECT_EQ(cli::RunCatalog(text, out), cli::kExitNotADatabase);
  EXPECT_EQ(cli::RunRecover(text, dir.File("out.sqlite"), false, out), cli::kExitNotADatabase);
  const std::string errors = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(errors.find(text + " is not an Access database"), std::string::npos) << errors;
  EXPECT_TRUE(out.str().empty());
  EXPECT_FALSE(std::filesystem::exists(dir.File("out.sqlite")));

  ::testing::internal::CaptureStderr();
  EXPECT_EQ(cli::RunAnalyze(dir.File("missing.mdb"), out), cli::kExitNotOpened);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "mendora-cli: " + dir.File("missing.mdb") + ": no such file\n");
}

// Files that are no database, or hold nothing, were once "0 records" and an
// empty SQLite file with exit code 0.
TEST(CliTest, NoDatabaseAndNothingRecoveredAreFailuresWithoutATarget) {
  testing::ScratchDir dir;
  testing::JetFileBuilder builder(testing::JetVersion::kJet4);
  testing::AddDemoDatabase(builder, testing::JetVersion::kJet4);
  const testing::Bytes database = builder.Build();
  auto write = [&](const std::string& name, const testing::Bytes& bytes) {
    std::ofstream(dir.File(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return dir.File(name);
  };
  struct Case {
    std::string file;
    int exit_code;
  };
  const std::vector<Case> cases = {
      {write("one-zero-byte", testing::Bytes(1, 0)), cli::kExitNotADatabase},
      {write("100-zeros", testing::Bytes(100, 0)), cli::kExitNotADatabase},
      {write("4096-zeros", testing::Bytes(4096, 0)), cli::kExitNotADatabase},
      {write("first-100-bytes", testing::Bytes(database.begin(), database.begin() + 100)), cli::kExitNothingRecovered},
      {write("header-page", testing::Bytes(database.begin(), database.begin() + 4096)), cli::kExitNothingRecovered},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    std::ostringstream out;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(cli::RunAnalyze(c.file, out), c.exit_code);
    EXPECT_EQ(cli::RunRecover(c.file, dir.File("out.sqlite"), false, out), c.exit_code);
    const std::string errors = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find(c.exit_code == cli::kExitNotADatabase ? "is not an Access database"
                                                                 : "nothing could be recovered from"),
              std::string::npos)
        << errors;
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.sqlite")));
  }

  // A damaged engine name alone must not cost the recovery.
  testing::Bytes nameless = database;
  std::fill(nameless.begin() + 4, nameless.begin() + 20, 0);
  std::ostringstream whole, damaged;
  ASSERT_EQ(cli::RunAnalyze(write("whole.mdb", database), whole), 0);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(cli::RunRecover(write("nameless.mdb", nameless), dir.File("out.sqlite"), false, damaged), 0);
  ::testing::internal::GetCapturedStderr();
  const std::string records = "Total Number of Records :\n";
  EXPECT_EQ(damaged.str().substr(damaged.str().find(records), 12 + records.size()),
            whole.str().substr(whole.str().find(records), 12 + records.size()));
  EXPECT_TRUE(std::filesystem::exists(dir.File("out.sqlite")));
}

TEST(CliTest, DumpIsJsonWithNullsAndTypes) {
  if (!CorpusDir()) GTEST_SKIP() << "sample databases not found (set MENDORA_CORPUS)";
  std::ostringstream out;
  ASSERT_EQ(cli::RunDump(Sample("jet4-northwind.mdb"), out), 0);
  const nlohmann::json dump = nlohmann::json::parse(out.str());
  EXPECT_EQ(dump["format"], "Jet4");
  const nlohmann::json& shippers = dump["tables"]["Shippers"];
  EXPECT_EQ(shippers["columns"][0], (nlohmann::json{{"name", "ShipperID"}, {"type", "long"}}));
  EXPECT_EQ(shippers["rows"].size(), 3u);
  EXPECT_EQ(shippers["rows"][0][1], "Speedy Express");
  bool saw_null = false;
  for (const auto& row : dump["tables"]["Customers"]["rows"]) saw_null = saw_null || row[6].is_null();
  EXPECT_TRUE(saw_null);  // Region is empty for most customers
  // Pictures are OLE objects: by default the bitmap inside Access's wrapper,
  // with --ole raw the stored bytes.
  const nlohmann::json& categories = dump["tables"]["Categories"];
  EXPECT_EQ(categories["columns"][3]["type"], "ole");
  const std::string picture = testing::DecodeBase64(categories["rows"][0][3]);
  EXPECT_EQ(picture.substr(0, 2), "BM");
  EXPECT_EQ(picture.size(), 10656u);
  std::ostringstream raw;
  ASSERT_EQ(cli::RunDump(Sample("jet4-northwind.mdb"), raw, OleStorage::kRaw), 0);
  const nlohmann::json stored = nlohmann::json::parse(raw.str());
  EXPECT_EQ(testing::BinarySummary(testing::DecodeBase64(stored["tables"]["Categories"]["rows"][0][3])),
            "<bin:10746:44c1c5df9e7b>");
}

TEST(CliTest, Base64PadsAsTheStandardSays) {
  EXPECT_EQ(Base64(""), "");
  EXPECT_EQ(Base64("f"), "Zg==");
  EXPECT_EQ(Base64("fo"), "Zm8=");
  EXPECT_EQ(Base64("foo"), "Zm9v");
  EXPECT_EQ(Base64("foob"), "Zm9vYg==");
  EXPECT_EQ(Base64(std::string("\xff\x00\xfe", 3)), "/wD+");
}

// The dump is written as it is read, so its JSON is put together by hand:
// every sample, with control characters, empty tables and empty files, must
// still parse, and carry the rows the analysis counts.
TEST(CliTest, DumpOfEverySampleParsesWithTheAnalysedRowCounts) {
  if (!CorpusDir()) GTEST_SKIP() << "sample databases not found (set MENDORA_CORPUS)";
  for (const auto& path : testing::CorpusFiles()) {
    SCOPED_TRACE(path.filename().string());
    std::ostringstream out;
    ASSERT_EQ(cli::RunDump(path.string(), out), 0);
    nlohmann::json dump;
    ASSERT_NO_THROW(dump = nlohmann::json::parse(out.str())) << out.str();
    std::ostringstream log;
    ASSERT_EQ(cli::RunAnalyze(path.string(), log), 0);
    size_t rows = 0;
    for (const auto& [name, table] : dump["tables"].items()) {
      EXPECT_NE(log.str().find("\n" + name + " :  " + std::to_string(table["rows"].size()) + "  Records"),
                std::string::npos)
          << name;
      for (const auto& row : table["rows"]) EXPECT_EQ(row.size(), table["columns"].size()) << name;
      rows += table["rows"].size();
    }
    EXPECT_NE(log.str().find("Total Number of Records :\n" + std::to_string(rows) + "\n"), std::string::npos);
  }
}

TEST(CliTest, RecoverRefusesAnExistingFileUnlessForced) {
  if (!CorpusDir()) GTEST_SKIP() << "sample databases not found (set MENDORA_CORPUS)";
  testing::ScratchDir dir;
  const std::string target = dir.File("out.sqlite");
  std::ostringstream out;
  ASSERT_EQ(cli::RunRecover(Sample("jet3-indexes.mdb"), target, false, out), 0);
  EXPECT_NE(out.str().find("Recovered database written to " + target), std::string::npos);
  EXPECT_EQ(testing::Rows(target, "SELECT count(*) FROM Table1")[0], "4");

  std::ofstream(dir.File("keep.sqlite")) << "mine";
  ::testing::internal::CaptureStderr();
  EXPECT_NE(cli::RunRecover(Sample("jet3-indexes.mdb"), dir.File("keep.sqlite"), false, out), 0);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("already exists"), std::string::npos);
  std::ifstream kept(dir.File("keep.sqlite"));
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(kept)), {}), "mine");

  ASSERT_EQ(cli::RunRecover(Sample("jet3-indexes.mdb"), dir.File("keep.sqlite"), true, out), 0);
  EXPECT_EQ(testing::Rows(dir.File("keep.sqlite"), "SELECT count(*) FROM Table3")[0], "4");
  EXPECT_EQ(dir.Names(), (std::set<std::string>{"keep.sqlite", "out.sqlite"}));

  // Even forced, the source is not replaced, and the message says it is still there.
  const std::string source = dir.File("damaged.mdb");
  std::filesystem::copy_file(Sample("jet3-indexes.mdb"), source);
  ::testing::internal::CaptureStderr();
  EXPECT_NE(cli::RunRecover(source, source, true, out), 0);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("it is the file being recovered\n" + source +
                                                          " was left as it was.\n"),
            std::string::npos);
  EXPECT_EQ(std::filesystem::file_size(source), std::filesystem::file_size(Sample("jet3-indexes.mdb")));
}

// Ctrl-C or a termination request during a save cancels it at a safe point:
// the unfinished file beside the target is removed, not left behind.
TEST(CliTest, AnInterruptedSaveLeavesNoFileBehind) {
  testing::ScratchDir dir;
  const std::string source = dir.File("large.mdb");
  {
    testing::JetFileBuilder builder(testing::JetVersion::kJet4);
    testing::AddBenchmarkTable(builder, testing::JetVersion::kJet4, 300000);
    builder.WriteTo(source);
  }
  for (const int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal);
    const std::string target = dir.File("out.sqlite");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      freopen("/dev/null", "w", stdout);
      freopen("/dev/null", "w", stderr);
      execl(MENDORA_CLI_PATH, "mendora-cli", "recover", source.c_str(), target.c_str(), nullptr);
      _exit(127);
    }
    // The unfinished file appears as soon as the save starts.
    bool started = false;
    for (int i = 0; i < 20000 && !started; ++i) {
      for (const std::string& name : dir.Names()) started = started || name.rfind("out.sqlite.", 0) == 0;
      if (!started) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(started);
    kill(child, signal);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_EQ(dir.Names(), std::set<std::string>{"large.mdb"});
  }
}

}  // namespace
}  // namespace mendora
