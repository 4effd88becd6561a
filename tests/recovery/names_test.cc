// Every table the pass reads is saved under a name of its own, whatever the
// source called it: names equal but for case, names the target renames or
// reserves, names holding NUL and control characters.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "recovery/distinct_names.h"
#include "recovery/recovery_steps.h"
#include "tests/builder/jet_builder.h"
#include "tests/engine/engine_test_util.h"
#include "tests/support/corpus.h"
#include "tests/support/temp_database.h"

namespace mendora {
namespace {

using testing::ScratchDir;

// Each "NAME :  N  Records" line of a log, as (NAME, N).
std::vector<std::pair<std::string, std::string>> LoggedTables(const std::string& log) {
  std::vector<std::pair<std::string, std::string>> tables;
  const std::string marker = " :  ";
  size_t start = 0;
  while (start < log.size()) {
    size_t end = log.find("\r\n", start);
    if (end == std::string::npos) end = log.size();
    const std::string line = log.substr(start, end - start);
    const size_t at = line.rfind(marker);
    if (at != std::string::npos && line.size() > 9 && line.compare(line.size() - 9, 9, "  Records") == 0) {
      tables.emplace_back(line.substr(0, at), line.substr(at + marker.size(), line.size() - 9 - at - marker.size()));
    }
    start = end + 2;
  }
  return tables;
}

std::string Quoted(const std::string& name) {
  std::string quoted = "\"";
  for (const char c : name) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

// Saves `source` and checks that each table the save logged is in the target
// with its rows, and that there are as many as the analysis read.
void ExpectEveryTableSaved(const std::string& source, size_t expected_tables) {
  ScratchDir dir;
  RecoverySession session;
  session.options.source_path = source;
  session.options.mode = RunMode::kSave;
  session.options.target_path = dir.File("out.sqlite");
  session.options.make_target = SqliteTargetFactory();
  ::testing::internal::CaptureStderr();
  ASSERT_EQ(RunRecovery(session).outcome, PassOutcome::kCompleted);
  const std::string report = ::testing::internal::GetCapturedStderr();
  std::istringstream lines(report);
  for (std::string line; std::getline(lines, line);) {
    EXPECT_FALSE(line.rfind("Table ", 0) == 0 && line.find(" was not ") != std::string::npos) << line;
  }
  const auto logged = LoggedTables(session.results.analysis_log);
  EXPECT_EQ(logged.size(), expected_tables);
  const auto stored = testing::Rows(session.options.target_path,
                                    "SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND name NOT IN "
                                    "('mendora_queries', 'mendora_losses', 'mendora_relations', 'mendora_properties')");
  EXPECT_EQ(stored[0], std::to_string(expected_tables));
  for (const auto& [name, rows] : logged) {
    // As the target stores it: NUL as U+2400, reserved names with a leading "_".
    std::string stored_name = name;
    for (size_t at; (at = stored_name.find('\0')) != std::string::npos;) stored_name.replace(at, 1, "\xE2\x90\x80");
    std::string lower = stored_name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower.rfind("sqlite_", 0) == 0 || lower == "mendora_queries") stored_name = "_" + stored_name;
    const auto count = testing::Rows(session.options.target_path, "SELECT count(*) FROM " + Quoted(stored_name));
    EXPECT_EQ(count, std::vector<std::string>{rows}) << PrintableText(name);
  }
}

TEST(DistinctNamesTest, NamesTheTargetCannotTellApartAllArrive) {
  for (const auto version : {testing::JetVersion::kJet3, testing::JetVersion::kJet4}) {
    SCOPED_TRACE(version == testing::JetVersion::kJet3 ? "Jet 3" : "Jet 4");
    testing::JetFileBuilder builder(version);
    const std::vector<std::string> names = {"Dup", "DUP", "sqlite_master", "_sqlite_master", "MENDORA_QUERIES",
                                            "_mendora_queries", "mendora_queries", std::string("nul\0byte", 8),
                                            "Orders", "ORDERS"};
    for (const std::string& name : names) {
      testing::Table table;
      table.name = name;
      // Columns equal but for case, and one with a NUL of its own.
      table.columns = {{"id", testing::kLong}, {"ID", testing::kText}, {std::string("c\0l", 3), testing::kText}};
      table.rows = {{int64_t{1}, std::string("one"), std::string("x")}, {int64_t{2}, std::string("two"), std::string("y")}};
      builder.AddTable(table);
    }
    builder.DeleteCatalogRowOf("ORDERS");  // a dropped table beside the live one
    builder.AddQuery("Q6");
    builder.AddQuery("q6");
    testing::TempDatabase source(builder.Build());
    ExpectEveryTableSaved(source.path(), names.size());

    ScratchDir dir;
    RecoverySession session;
    session.options.source_path = source.path();
    session.options.mode = RunMode::kSave;
    session.options.target_path = dir.File("out.sqlite");
    session.options.make_target = SqliteTargetFactory();
    ::testing::internal::CaptureStderr();
    ASSERT_EQ(RunRecovery(session).outcome, PassOutcome::kCompleted);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(testing::Rows(session.options.target_path, "SELECT name FROM mendora_queries ORDER BY name"),
              (std::vector<std::string>{"Q6", "q6 (2)"}));
    EXPECT_EQ(testing::Rows(session.options.target_path, "SELECT * FROM Dup ORDER BY 1"),
              (std::vector<std::string>{"1|one|x", "2|two|y"}));
    EXPECT_EQ(testing::Rows(session.options.target_path,
                            "SELECT count(*) FROM sqlite_schema WHERE name GLOB 'DUP (recovered from page [0-9]*)'"),
              std::vector<std::string>{"1"});
    // (A Jet 3 name ends at its NUL as the reader decodes it.)
    EXPECT_EQ(
        testing::Rows(session.options.target_path, "SELECT group_concat(name, ',') FROM pragma_table_info('Dup')"),
        std::vector<std::string>{version == testing::JetVersion::kJet3 ? "id,ID (2),c" : "id,ID (2),c\xE2\x90\x80l"});
  }
}

TEST(DistinctNamesTest, MessagesShowControlCharactersEscaped) {
  EXPECT_EQ(PrintableText(std::string("nul\0byte", 8)), "nul\\x00byte");
  EXPECT_EQ(PrintableText("new\nline\ttab\x7f"), "new\\x0Aline\\x09tab\\x7F");
  EXPECT_EQ(PrintableText("Ünïcödé 表"), "Ünïcödé 表");

  std::set<std::string> taken;
  auto lower = [](const std::string& name) {
    std::string key = name;
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return key;
  };
  EXPECT_EQ(ClaimDistinctName(taken, "Dup", " (2)", lower), "Dup");
  EXPECT_EQ(ClaimDistinctName(taken, "DUP", " (2)", lower), "DUP (2)");
  EXPECT_EQ(ClaimDistinctName(taken, "dup", " (2)", lower), "dup (2) 2");
  EXPECT_EQ(ClaimDistinctName(taken, "DUP", " (2)", {}), "DUP");  // compared as they are
}

// The crafted files: every table `dump` shows is saved.
TEST(DistinctNamesTest, TheHostileNamesFilesSaveEveryTable) {
  if (!testing::HostileDir()) GTEST_SKIP() << "hostile files not found (set MENDORA_HOSTILE)";
  for (const char* file : {"names4.mdb", "names3.mdb"}) {
    SCOPED_TRACE(file);
    const std::string path = (*testing::HostileDir() / file).string();
    if (!std::filesystem::exists(path)) continue;
    testing::RecordingSink sink;
    RecoverySession analysis;
    analysis.options.source_path = path;
    analysis.options.outputs.push_back(&sink);
    ::testing::internal::CaptureStderr();
    ASSERT_EQ(RunRecovery(analysis).outcome, PassOutcome::kCompleted);
    ::testing::internal::GetCapturedStderr();
    ExpectEveryTableSaved(path, sink.order.size());
  }
}

}  // namespace
}  // namespace mendora
