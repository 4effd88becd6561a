// Every real sample database against what an independent reader sees in it.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "recovery/recovery_session.h"
#include "tests/support/corpus.h"
#include "tests/support/recording_sink.h"

namespace mendora {
namespace {

using testing::CorpusDir;
using testing::CorpusFiles;

using testing::RecordedTable;
using testing::RecordingSink;

nlohmann::json Expected(const std::filesystem::path& sample) {
  std::ifstream in(sample.parent_path() / "expected" / (sample.stem().string() + ".json"));
  return nlohmann::json::parse(in);
}

RecordingSink Analyse(const std::filesystem::path& sample) {
  RecordingSink sink;
  RecoverySession session;
  session.options.source_path = sample.string();
  session.options.outputs.push_back(&sink);
  EXPECT_EQ(RunRecovery(session).outcome, PassOutcome::kCompleted) << sample;
  return sink;
}

TEST(CorpusTest, WalkOffersEveryExpectedTableWithItsColumnsAndNoSystemTable) {
  if (!CorpusDir()) GTEST_SKIP() << "sample databases not found (set MENDORA_CORPUS)";
  for (const auto& sample : CorpusFiles()) {
    SCOPED_TRACE(sample.filename().string());
    const nlohmann::json expected = Expected(sample);
    const RecordingSink sink = Analyse(sample);
    for (const std::string& name : sink.order) EXPECT_NE(name.rfind("MSys", 0), 0u) << name;
    for (const auto& [name, table] : expected["tables"].items()) {
      const auto found = sink.tables.find(name);
      ASSERT_NE(found, sink.tables.end()) << "table " << name << " not offered";
      std::vector<std::string> want, got;
      for (const auto& column : table["columns"]) want.push_back(column["name"]);
      for (const OutputColumn& column : found->second.columns) got.push_back(column.name);
      EXPECT_EQ(got, want) << name;
    }
  }
}

TEST(CorpusTest, EveryExpectedRowReadsInOrderWithEqualValues) {
  if (!CorpusDir()) GTEST_SKIP() << "sample databases not found (set MENDORA_CORPUS)";
  size_t tables = 0, tables_matched = 0, rows = 0, rows_matched = 0, values = 0, values_matched = 0;
  for (const auto& sample : CorpusFiles()) {
    SCOPED_TRACE(sample.filename().string());
    const nlohmann::json expected = Expected(sample);
    const RecordingSink sink = Analyse(sample);
    for (const auto& [name, table] : expected["tables"].items()) {
      ++tables;
      const auto found = sink.tables.find(name);
      if (found == sink.tables.end()) continue;
      const RecordedTable& got = found->second;
      EXPECT_EQ(got.rows.size(), table["rows"].size()) << name;
      bool table_ok = got.rows.size() == table["rows"].size();
      for (size_t r = 0; r < table["rows"].size(); ++r) {
        ++rows;
        bool row_ok = r < got.rows.size();
        for (size_t c = 0; c < table["columns"].size(); ++c) {
          ++values;
          const nlohmann::json& cell = table["rows"][r][c];
          const std::optional<std::string> want =
              cell.is_null() ? std::nullopt : std::optional<std::string>(cell.get<std::string>());
          const std::optional<std::string> have = r < got.rows.size() ? got.rows[r][c] : std::nullopt;
          const std::string type = table["columns"][c]["type"];
          if (r < got.rows.size() && testing::SameValue(type, want, have)) {
            ++values_matched;
          } else {
            row_ok = false;
            ADD_FAILURE() << name << " row " << r << " column " << table["columns"][c]["name"] << " (" << type
                          << "): expected " << (want ? *want : "null") << ", read " << (have ? *have : "null");
          }
        }
        if (row_ok) ++rows_matched;
        table_ok = table_ok && row_ok;
      }
      if (table_ok) ++tables_matched;
    }
  }
  std::printf("corpus: tables %zu/%zu, rows %zu/%zu, values %zu/%zu\n", tables_matched, tables, rows_matched, rows,
              values_matched, values);
}

TEST(CorpusTest, AnalysisLogListsEachTableWithItsCount) {
  if (!CorpusDir()) GTEST_SKIP() << "sample databases not found (set MENDORA_CORPUS)";
  const std::filesystem::path sample = *CorpusDir() / "jet3-indexes.mdb";
  RecoverySession reading;
  reading.options.source_path = sample.string();
  reading.options.source_file_length_text = "139264";
  ASSERT_EQ(RunRecovery(reading).outcome, PassOutcome::kCompleted);
  const std::string long_rule(107, '-');
  const std::string short_rule(50, '-');
  const std::string expected = "Mendora - Analysis process started...\r\n" + long_rule + "\r\n" +
                               "\r\nFile to be repaired :" + sample.string() + "  File Size  : 139264  Bytes\r\n" +
                               long_rule + "\r\n" + "\r\nAnalyzing the source file...\r\n\r\n" + short_rule + "\r\n" +
                               "\r\nTotal Number of Records :\r\n11\r\n" +
                               "\r\nTable1 :  4  Records\r\nTable2 :  3  Records\r\nTable3 :  4  Records\r\n\r\n";
  EXPECT_EQ(reading.results.analysis_log, expected);

  // A second pass of the same session starts its totals afresh.
  ASSERT_EQ(RunRecovery(reading).outcome, PassOutcome::kCompleted);
  EXPECT_EQ(reading.results.analysis_log, expected);
}

}  // namespace
}  // namespace mendora
