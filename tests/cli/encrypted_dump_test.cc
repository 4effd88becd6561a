// Encrypted samples through the commands: each opens with its password (or
// none for the Jet page encoding), and a missing or wrong password is its
// own message and exit code, never damage.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>
#include <vector>

#include "cli/check_command.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "tests/support/corpus.h"

namespace mendora {
namespace {

constexpr const char* kSkip = "encrypted samples not found (set MENDORA_CORPUS_ENCRYPTED)";

// Restores the commands' password state for the next test.
class EncryptedCommandTest : public ::testing::Test {
 protected:
  void TearDown() override {
    cli::SetPassword(std::nullopt);
    cli::SetPasswordPrompt(cli::PromptOnTerminal);
  }
  static std::string Sample(const char* name) { return (*testing::EncryptedCorpusDir() / name).string(); }
};

TEST_F(EncryptedCommandTest, EncodedJet3FileDumpsToItsExpectedTablesWithoutAPassword) {
  const auto dir = testing::EncryptedCorpusDir();
  if (!dir) GTEST_SKIP() << kSkip;
  // Nothing is asked for a file that needs no password.
  cli::SetPasswordPrompt([](const std::string&) -> std::optional<std::string> {
    ADD_FAILURE() << "asked for a password";
    return std::nullopt;
  });
  std::ostringstream out;
  ASSERT_EQ(cli::RunDump(Sample("jet3-encoded.mdb"), out), 0);
  const nlohmann::json dump = nlohmann::json::parse(out.str());
  std::ifstream in(*dir / "expected" / "jet3-encoded.json");
  const nlohmann::json expected = nlohmann::json::parse(in);
  EXPECT_EQ(dump["format"], expected["format"]);
  ASSERT_EQ(dump["tables"].size(), expected["tables"].size());
  for (const auto& [name, table] : expected["tables"].items()) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(dump["tables"].contains(name));
    EXPECT_EQ(dump["tables"][name]["columns"], table["columns"]);
    EXPECT_EQ(dump["tables"][name]["rows"], table["rows"]);
  }
}

TEST_F(EncryptedCommandTest, MissingAndWrongPasswordsHaveTheirOwnMessageAndExitCode) {
  if (!testing::EncryptedCorpusDir()) GTEST_SKIP() << kSkip;
  cli::SetPasswordPrompt(nullptr);
  const std::string target = ::testing::TempDir() + "/encrypted-refused.sqlite";
  std::filesystem::remove(target);
  for (const char* name : {"ace2007-encrypted-rc4.accdb", "ace2010-encrypted-agile.accdb"}) {
    SCOPED_TRACE(name);
    const std::string file = Sample(name);
    for (const std::optional<std::string>& password : {std::optional<std::string>(), std::optional<std::string>("nope")}) {
      cli::SetPassword(password);
      const std::string expected_line =
          password ? "the password is wrong" : "this database is encrypted: give its password";
      std::ostringstream out;
      using Command = std::function<int()>;
      for (const Command& command : std::vector<Command>{
               [&] { return cli::RunCatalog(file, out); }, [&] { return cli::RunAnalyze(file, out); },
               [&] { return cli::RunDump(file, out); }, [&] { return cli::RunRecover(file, target, false, out); }}) {
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(command(), cli::kExitPassword);
        const std::string error = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(error.find(expected_line), std::string::npos) << error;
        EXPECT_EQ(error.find("damage"), std::string::npos) << error;
      }
      EXPECT_EQ(out.str(), "");
      EXPECT_FALSE(std::filesystem::exists(target));
    }
  }
}

// An encryption header too damaged to give a key leaves no page to read:
// the commands that open the file themselves and those that run a pass say
// the same line and exit with the same code.
TEST_F(EncryptedCommandTest, ADamagedEncryptionHeaderIsNothingRecoveredInEveryCommand) {
  if (!testing::EncryptedCorpusDir()) GTEST_SKIP() << kSkip;
  std::ifstream in(Sample("ace2010-encrypted-agile.accdb"), std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(bytes.size(), 0x29Bu + 12);
  bytes[0x29B + 8] = static_cast<char>(0xFF);  // a header size far past the page
  bytes[0x29B + 11] = 0x7F;
  const std::string file = ::testing::TempDir() + "/damaged-encryption.accdb";
  std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  const std::string target = ::testing::TempDir() + "/damaged-encryption.sqlite";
  std::filesystem::remove(target);
  cli::SetPassword("password");
  using Command = std::function<int()>;
  std::ostringstream out;
  const std::vector<std::pair<const char*, Command>> commands = {
      {"catalog", [&] { return cli::RunCatalog(file, out); }},
      {"analyze", [&] { return cli::RunAnalyze(file, out); }},
      {"dump", [&] { return cli::RunDump(file, out); }},
      {"recover", [&] { return cli::RunRecover(file, target, false, out); }},
      {"check", [&] { return cli::RunCheck(file, out); }}};
  for (const auto& [name, command] : commands) {
    SCOPED_TRACE(name);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(command(), cli::kExitNothingRecovered);
    const std::string error = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(error.find("nothing could be recovered from " + file + ": "), std::string::npos) << error;
    EXPECT_NE(error.find(": no page can be decrypted.\n"), std::string::npos) << error;
  }
  EXPECT_FALSE(std::filesystem::exists(target));
  std::filesystem::remove(file);
}

TEST_F(EncryptedCommandTest, ThePromptIsAskedAgainOnAWrongPasswordAndNeverForAGivenOne) {
  if (!testing::EncryptedCorpusDir()) GTEST_SKIP() << kSkip;
  const std::string file = Sample("ace2007-encrypted-rc4.accdb");
  std::vector<std::string> questions;
  std::vector<std::string> answers = {"wrong", "Test123"};
  cli::SetPasswordPrompt([&](const std::string& question) -> std::optional<std::string> {
    questions.push_back(question);
    if (answers.empty()) return std::nullopt;
    std::string answer = answers.front();
    answers.erase(answers.begin());
    return answer;
  });
  std::ostringstream out;
  ASSERT_EQ(cli::RunDump(file, out), 0);
  EXPECT_NE(out.str().find("\"foo\""), std::string::npos);
  ASSERT_EQ(questions.size(), 2u);
  EXPECT_NE(questions[0].find(file), std::string::npos);
  EXPECT_NE(questions[1].find("wrong"), std::string::npos);

  // Three wrong answers, then the refusal.
  questions.clear();
  answers = {"a", "b", "c", "Test123"};
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(cli::RunDump(file, out), cli::kExitPassword);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("the password is wrong"), std::string::npos);
  EXPECT_EQ(questions.size(), 3u);

  // A given password is used as it is, right or wrong.
  questions.clear();
  cli::SetPassword("Test123");
  std::ostringstream analysed;
  EXPECT_EQ(cli::RunAnalyze(file, analysed), 0);
  EXPECT_TRUE(questions.empty());
}

// The real program: MENDORA_PASSWORD opens the file, and without it a run
// whose input is no terminal is refused at once instead of waiting for one.
TEST_F(EncryptedCommandTest, TheProgramTakesThePasswordFromTheEnvironmentAndNeverWaitsWithoutATerminal) {
  if (!testing::EncryptedCorpusDir()) GTEST_SKIP() << kSkip;
  const std::string file = Sample("ace2010-encrypted-agile.accdb");
  const auto run = [&](const char* environment) {
    const std::string command = std::string(environment) + " " + MENDORA_CLI_PATH + " dump '" + file +
                                "' </dev/null >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  EXPECT_EQ(run("MENDORA_PASSWORD=password"), 0);
  EXPECT_EQ(run("MENDORA_PASSWORD=Password"), cli::kExitPassword);
  EXPECT_EQ(run("env -u MENDORA_PASSWORD"), cli::kExitPassword);
}

}  // namespace
}  // namespace mendora
