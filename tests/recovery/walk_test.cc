// The catalog walk over built files: what is offered, what is skipped, what
// is offered once; relations, queries, damaged definitions, cancelling.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <utility>
#include <vector>
#include <thread>

#include "recovery/recovery_steps.h"
#include "tests/builder/jet_builder.h"
#include "tests/engine/engine_test_util.h"
#include "tests/support/temp_database.h"

namespace mendora {
namespace {

namespace tb = ::mendora::testing;

tb::Table SmallTable(const std::string& name, int rows = 2) {
  tb::Table table;
  table.name = name;
  table.columns = {{"ID", tb::kLong}, {"Name", tb::kText}};
  for (int i = 0; i < rows; ++i) table.rows.push_back({int64_t{i + 1}, name + " " + std::to_string(i + 1)});
  return table;
}

class WalkTest : public ::testing::TestWithParam<tb::JetVersion> {};

TEST_P(WalkTest, DeletedCatalogRowsStillOfferTheirTableButEachDefinitionOnce) {
  tb::JetFileBuilder builder(GetParam());
  builder.AddTable(SmallTable("Kept"));
  const uint32_t dropped = builder.AddTable(SmallTable("Dropped", 3));
  builder.DeleteCatalogRowOf("Dropped");
  // Old versions of a row stay behind as deleted rows naming the same page.
  for (int i = 0; i < 5; ++i) builder.AddCatalogRow({"Dropped", 1, dropped, true, 0});
  const tb::Analysis analysis = tb::Analyse(builder.Build());
  EXPECT_EQ(analysis.sink.order, (std::vector<std::string>{"Kept", "Dropped"}));
  EXPECT_EQ(analysis.sink.tables.at("Dropped").rows.size(), 3u);
  EXPECT_NE(analysis.log.find("Total Number of Records :\r\n5\r\n"), std::string::npos);
}

TEST_P(WalkTest, ALiveRowNamesItsTableBeforeAnOldDeletedOne) {
  // Where the table will land: the file is built the same way twice.
  uint32_t page = 0;
  {
    tb::JetFileBuilder probe(GetParam());
    page = probe.AddTable(SmallTable("Current"));
  }
  tb::JetFileBuilder builder(GetParam());
  builder.AddCatalogRow({"Former", 1, page, true, 0});  // an old name, ahead of the live row
  ASSERT_EQ(builder.AddTable(SmallTable("Current")), page);
  const tb::Analysis analysis = tb::Analyse(builder.Build());
  EXPECT_EQ(analysis.sink.order, std::vector<std::string>{"Current"});
}

TEST_P(WalkTest, SystemTablesAreNotOfferedButLookalikesAre) {
  tb::JetFileBuilder builder(GetParam());
  const uint32_t page = builder.AddTable(SmallTable("Real"));
  builder.AddCatalogRow({"MSysHidden", 1, page, false, 0x80000002u});
  builder.AddTable(SmallTable("msysNotes"));
  builder.AddTable(SmallTable("USysSettings"));
  const tb::Analysis analysis = tb::Analyse(builder.Build());
  EXPECT_EQ(analysis.sink.order, (std::vector<std::string>{"Real", "msysNotes", "USysSettings"}));
}

TEST_P(WalkTest, ALongTableNameIsCutTo257Characters) {
  tb::JetFileBuilder builder(GetParam());
  std::string name;
  for (int i = 0; i < 300; ++i) name += static_cast<char>('a' + i % 26);
  builder.AddTable(SmallTable(name, 1));
  const tb::Analysis analysis = tb::Analyse(builder.Build());
  ASSERT_EQ(analysis.sink.order.size(), 1u);
  EXPECT_EQ(analysis.sink.order[0], name.substr(0, 257));
}

TEST_P(WalkTest, ADamagedDefinitionLosesOnlyItsTable) {
  tb::JetFileBuilder builder(GetParam());
  builder.AddTable(SmallTable("Before"));
  const uint32_t broken = builder.AddTable(SmallTable("Broken"));
  tb::Table looping = SmallTable("Looping");
  for (int i = 0; i < 90; ++i) looping.columns.push_back({"Extra column " + std::to_string(i), tb::kLong});
  for (tb::Row& row : looping.rows) row.resize(looping.columns.size());
  const uint32_t loop = builder.AddTable(looping);
  builder.AddTable(SmallTable("After"));
  tb::Bytes file = builder.Build();
  const uint32_t page_size = builder.page_size();
  file[static_cast<size_t>(broken) * page_size] = 0x01;  // no longer a definition page
  // The last continuation page of Looping points back at its first page.
  uint32_t last = loop;
  for (int guard = 0; guard < 100; ++guard) {
    uint32_t next = 0;
    std::memcpy(&next, &file[static_cast<size_t>(last) * page_size + 4], 4);
    if (next == 0) break;
    last = next;
  }
  ASSERT_NE(last, loop) << "the definition did not spread over continuation pages";
  tb::WriteU32(file, static_cast<size_t>(last) * page_size + 4, loop);
  ::testing::internal::CaptureStderr();
  const tb::Analysis analysis = tb::Analyse(file);
  const std::string errors = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(analysis.result.outcome, PassOutcome::kCompleted);
  // Its rows still come back, read with a layout inferred from them.
  const auto& broken_rows = analysis.sink.tables.at("Broken").rows;
  ASSERT_EQ(broken_rows.size(), 2u);
  std::vector<std::optional<std::string>> first = broken_rows[0];
  std::sort(first.begin(), first.end());
  EXPECT_EQ(first, (std::vector<std::optional<std::string>>{"1", "Broken 1"}));
  EXPECT_EQ(analysis.sink.tables.at("Before").rows.size(), 2u);
  EXPECT_EQ(analysis.sink.tables.at("After").rows.size(), 2u);
  EXPECT_EQ(analysis.sink.tables.at("Looping").rows.size(), 2u);  // the loop is cut where it closes
  EXPECT_NE(errors.find("is not a table definition page"), std::string::npos);
  EXPECT_NE(errors.find("loops back to page"), std::string::npos);
}

PassResult Save(const std::vector<uint8_t>& bytes, const std::string& target, RecoverySession* out = nullptr) {
  tb::TempDatabase file(bytes);
  RecoverySession local;
  RecoverySession& session = out != nullptr ? *out : local;
  session.options.source_path = file.path();
  session.options.mode = RunMode::kSave;
  session.options.target_path = target;
  session.options.make_target = SqliteTargetFactory();
  return RunRecovery(session);
}

TEST_P(WalkTest, RelationsComeWithEveryFieldPairEvenWhenListedBeforeTheirTables) {
  tb::JetFileBuilder builder(GetParam());
  builder.SetRelationshipsFirst(true);
  tb::Table customers;
  customers.name = "Customers";
  customers.columns = {{"Region", tb::kText}, {"Number", tb::kLong}, {"Name", tb::kText}};
  customers.rows = {{std::string("N"), int64_t{1}, std::string("Ada")}};
  tb::Table orders;
  orders.name = "Orders";
  orders.columns = {{"ID", tb::kLong}, {"CustRegion", tb::kText}, {"CustNumber", tb::kLong}, {"Product", tb::kLong}};
  orders.rows = {{int64_t{10}, std::string("N"), int64_t{1}, int64_t{2}}};
  tb::Table products = SmallTable("Products");
  builder.AddTable(customers);
  builder.AddTable(orders);
  builder.AddTable(products);
  builder.AddRelationship({"CustomersOrders", "Customers", "Region", "Orders", "CustRegion"});
  builder.AddRelationship({"CustomersOrders", "Customers", "Number", "Orders", "CustNumber"});
  builder.AddRelationship({"ProductsOrders", "Products", "ID", "Orders", "Product"});
  builder.AddRelationship({"Dangling", "Nowhere", "ID", "Orders", "ID"});
  tb::ScratchDir dir;
  const std::string target = dir.File("related.sqlite");
  ASSERT_EQ(Save(builder.Build(), target).outcome, PassOutcome::kCompleted);
  const auto keys = tb::Rows(target, "SELECT id, seq, \"table\", \"from\", \"to\" FROM pragma_foreign_key_list('Orders') "
                                     "ORDER BY \"table\", seq");
  EXPECT_EQ(keys.size(), 3u);
  std::vector<std::string> pairs;
  for (const std::string& key : keys) pairs.push_back(key.substr(key.find('|', key.find('|') + 1) + 1));
  EXPECT_EQ(pairs, (std::vector<std::string>{"Customers|CustRegion|Region", "Customers|CustNumber|Number",
                                             "Products|Product|ID"}));
}

TEST_P(WalkTest, SavedQueriesExceptHiddenOnesAreListedByName) {
  tb::JetFileBuilder builder(GetParam());
  builder.AddTable(SmallTable("T"));
  for (const char* name : {"~sq_ffrmMain", "~sample", "sq1", "~Query", "Monthly totals"}) builder.AddQuery(name);
  tb::ScratchDir dir;
  const std::string target = dir.File("queries.sqlite");
  ASSERT_EQ(Save(builder.Build(), target).outcome, PassOutcome::kCompleted);
  EXPECT_EQ(tb::Rows(target, "SELECT name FROM mendora_queries ORDER BY name"),
            (std::vector<std::string>{"Monthly totals", "sq1", "~Query"}));
}

TEST_P(WalkTest, ObjectsAndBinaryFieldsAreSavedAsTheirBytes) {
  tb::JetFileBuilder builder(GetParam());
  tb::Table table;
  table.name = "Files";
  table.columns = {{"Picture", tb::kOle}, {"Hash", tb::kBinary}};
  table.rows = {{tb::Bytes{0x42, 0x4D, 0x00, 0xFF}, tb::Bytes{0xDE, 0xAD, 0x00}}};
  builder.AddTable(table);
  tb::ScratchDir dir;
  const std::string target = dir.File("files.sqlite");
  ASSERT_EQ(Save(builder.Build(), target).outcome, PassOutcome::kCompleted);
  EXPECT_EQ(tb::Rows(target, "SELECT typeof(Picture), hex(Picture), typeof(Hash), hex(Hash) FROM Files"),
            (std::vector<std::string>{"blob|424D00FF|blob|DEAD00"}));
}

TEST_P(WalkTest, TablesOfTheSameNameAreAllSavedUnderDistinctNames) {
  tb::JetFileBuilder builder(GetParam());
  builder.AddTable(SmallTable("Dup", 1));
  const uint32_t second = builder.AddTable(SmallTable("Dup", 2));
  tb::ScratchDir dir;
  const std::string target = dir.File("dups.sqlite");
  RecoverySession session;
  ASSERT_EQ(Save(builder.Build(), target, &session).outcome, PassOutcome::kCompleted);
  const std::string renamed = "Dup (recovered from page " + std::to_string(second) + ")";
  EXPECT_EQ(tb::Rows(target, "SELECT count(*) FROM Dup")[0], "1");
  EXPECT_EQ(tb::Rows(target, "SELECT count(*) FROM \"" + renamed + "\"")[0], "2");
  EXPECT_NE(session.results.analysis_log.find(renamed + " :  2  Records"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Versions, WalkTest, ::testing::Values(tb::JetVersion::kJet3, tb::JetVersion::kJet4),
                         [](const auto& info) { return info.param == tb::JetVersion::kJet3 ? "Jet3" : "Jet4"; });

// Cancels the pass as soon as the first table has been logged.
class CancelAfterFirstTable : public RecoveryObserver {
 public:
  explicit CancelAfterFirstTable(PassControl& control) : control_(control) {}
  void OnAnalysisLog(const std::string&) override {
    ++logs;
    control_.Cancel();
  }
  int logs = 0;

 private:
  PassControl& control_;
};

TEST(PassControlTest, ACancelledSaveLeavesNothingBehind) {
  tb::JetFileBuilder builder(tb::JetVersion::kJet4);
  for (int i = 0; i < 4; ++i) builder.AddTable(SmallTable("T" + std::to_string(i), 50));
  tb::ScratchDir dir;
  RecoverySession session;
  CancelAfterFirstTable observer(session.control);
  session.options.observer = &observer;
  EXPECT_EQ(Save(builder.Build(), dir.File("cancelled.sqlite"), &session).outcome, PassOutcome::kCancelled);
  EXPECT_EQ(observer.logs, 1);
  EXPECT_TRUE(dir.Names().empty());
}

TEST(PassControlTest, APausedPassWaitsAtItsNextSafePointUntilResumed) {
  tb::JetFileBuilder builder(tb::JetVersion::kJet3);
  builder.AddTable(SmallTable("T", 20));
  tb::TempDatabase file(builder.Build());
  RecoverySession session;
  session.options.source_path = file.path();
  session.control.RequestPause();
  std::atomic<bool> finished{false};
  std::thread worker([&] {
    RunRecovery(session);
    finished = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(finished);
  session.control.Resume();
  worker.join();
  EXPECT_TRUE(finished);
  EXPECT_NE(session.results.analysis_log.find("T :  20  Records"), std::string::npos);
}

TEST(PassControlTest, CancelWhilePausedEndsThePass) {
  tb::JetFileBuilder builder(tb::JetVersion::kJet3);
  builder.AddTable(SmallTable("T", 20));
  tb::TempDatabase file(builder.Build());
  RecoverySession session;
  session.options.source_path = file.path();
  session.control.RequestPause();
  PassResult result;
  std::thread worker([&] { result = RunRecovery(session); });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  session.control.Cancel();
  worker.join();
  EXPECT_EQ(result.outcome, PassOutcome::kCancelled);
  EXPECT_TRUE(session.results.analysis_log.empty());
}

}  // namespace
// Records every progress report of a pass.
class ProgressRecorder : public RecoveryObserver {
 public:
  void OnProgress(uint32_t done, uint32_t total) override { reports.emplace_back(done, total); }
  void OnTableProgress(const std::string& table, int64_t table_rows, int64_t pass_rows) override {
    if (!table.empty()) tables_seen.insert(table);
    most_table_rows = std::max(most_table_rows, table_rows);
    most_pass_rows = std::max(most_pass_rows, pass_rows);
  }
  std::vector<std::pair<uint32_t, uint32_t>> reports;
  std::set<std::string> tables_seen;
  int64_t most_table_rows = 0;
  int64_t most_pass_rows = 0;
};

TEST(ProgressTest, ProgressFollowsTheTablesPagesAndEndsFull) {
  tb::JetFileBuilder builder(tb::JetVersion::kJet4);
  builder.AddTable(SmallTable("Small", 5));
  builder.AddTable(SmallTable("Big", 3000));  // many data pages, read after the catalog page
  tb::TempDatabase file(builder.Build());
  RecoverySession session;
  session.options.source_path = file.path();
  ProgressRecorder recorder;
  session.options.observer = &recorder;
  ASSERT_EQ(RunRecovery(session).outcome, PassOutcome::kCompleted);
  ASSERT_GT(recorder.reports.size(), 3u);
  // Never backwards, never past the total, and full at the end.
  for (size_t i = 1; i < recorder.reports.size(); ++i) {
    EXPECT_GE(recorder.reports[i].first, recorder.reports[i - 1].first) << i;
    EXPECT_LE(recorder.reports[i].first, recorder.reports[i].second) << i;
  }
  EXPECT_EQ(recorder.reports.back().first, recorder.reports.back().second);
  // The big table's pages move the bar while it is read, not only the walk.
  const auto big_reports = std::count_if(recorder.reports.begin(), recorder.reports.end() - 1, [](const auto& r) {
    return r.first > 0 && r.first < r.second;
  });
  EXPECT_GT(big_reports, 3);
  EXPECT_EQ(recorder.tables_seen.count("Big"), 1u);
  EXPECT_GT(recorder.most_table_rows, 1000);
  EXPECT_LE(recorder.most_pass_rows, 3005);
}

}  // namespace mendora
