// Rows decoded on several threads give the same pass as rows decoded on one:
// the same dump bytes, log, loss account and outcome, sound or damaged.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "output/json/json_dump.h"
#include "recovery/recovery_session.h"
#include "tests/builder/jet_builder.h"
#include "tests/builder/sample_database.h"
#include "tests/support/temp_database.h"

namespace mendora {
namespace {

using testing::JetVersion;

struct Pass {
  PassOutcome outcome;
  std::string dump;
  std::string log;
  std::vector<std::string> losses;
  std::vector<std::string> lines;  // every damage line, in the order told
  size_t loss_count = 0;
  int64_t rows = 0;
};

Pass RunWithJobs(const std::string& path, unsigned jobs) {
  std::ostringstream dump;
  JsonDumpOutput output(dump, "mdb");
  RecoverySession session;
  session.options.source_path = path;
  session.options.decode_jobs = jobs;
  session.options.recover_deleted_rows = true;
  session.options.verbose_losses = true;
  session.options.loss_details = nullptr;
  session.options.outputs.push_back(&output);
  Pass pass;
  pass.outcome = RunRecovery(session).outcome;
  pass.dump = dump.str();
  pass.log = session.results.analysis_log;
  pass.losses = session.results.losses.SummaryLines();
  pass.loss_count = session.results.losses.count();
  pass.lines = session.results.losses.lines();
  pass.rows = session.results.grand_total;
  return pass;
}

// Damage where the row decoding meets it: data pages (rows, slot tables,
// long-value pointers), pages copied over others, owners changed.
void DamageDataPages(std::vector<uint8_t>& bytes, uint32_t page_size, std::mt19937& random) {
  std::vector<size_t> data_pages;
  for (size_t p = 1; (p + 1) * page_size <= bytes.size(); ++p) {
    if (bytes[p * page_size] == 0x01) data_pages.push_back(p);
  }
  ASSERT_GT(data_pages.size(), 40u);
  const auto pick = [&] { return data_pages[random() % data_pages.size()] * page_size; };
  for (int hit = 0; hit < 12; ++hit) {
    const size_t page = pick();
    switch (random() % 4) {
      case 0:  // bytes of rows and their long-value references
        for (int i = 0; i < 24; ++i) bytes[page + 14 + random() % (page_size - 14)] ^= static_cast<uint8_t>(1 + random() % 255);
        break;
      case 1:  // the slot table: rows outside the page, rows sharing bytes
        for (int i = 0; i < 4; ++i) bytes[page + 14 + random() % 40] = static_cast<uint8_t>(random());
        break;
      case 2: {  // a copy of another data page
        const size_t other = pick();
        if (other != page) std::memcpy(&bytes[page], &bytes[other], page_size);
        break;
      }
      default:  // another owner
        bytes[page + 4] ^= static_cast<uint8_t>(1 + random() % 255);
        break;
    }
  }
}

struct Case {
  const char* name;
  JetVersion version;
  int damage_seed;  // 0: the file as built
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class DecodeJobsTest : public ::testing::TestWithParam<Case> {};

TEST_P(DecodeJobsTest, EveryJobCountGivesTheSamePass) {
  const Case& c = GetParam();
  testing::JetFileBuilder builder(c.version);
  testing::AddDemoDatabase(builder, c.version);
  // Many batches of pages, memos inside rows and on pages of their own.
  testing::AddBenchmarkTable(builder, c.version, 6000);
  std::vector<uint8_t> bytes = builder.Build();
  const uint32_t page_size = c.version == JetVersion::kJet4 ? 4096 : 2048;
  if (c.damage_seed != 0) {
    std::mt19937 random(c.damage_seed);
    DamageDataPages(bytes, page_size, random);
  }
  testing::TempDatabase file(bytes);
  const Pass alone = RunWithJobs(file.path(), 1);
  if (c.damage_seed == 0) {
    EXPECT_EQ(alone.loss_count, 0u);
    EXPECT_GT(alone.rows, 6000);
  } else {
    EXPECT_GT(alone.loss_count, 0u) << "the damage reached no row";
  }
  for (const unsigned jobs : {2u, 4u}) {
    const Pass spread = RunWithJobs(file.path(), jobs);
    EXPECT_EQ(spread.outcome, alone.outcome) << jobs << " jobs";
    EXPECT_EQ(spread.rows, alone.rows) << jobs << " jobs";
    EXPECT_EQ(spread.log, alone.log) << jobs << " jobs";
    EXPECT_EQ(spread.losses, alone.losses) << jobs << " jobs";
    EXPECT_EQ(spread.lines, alone.lines) << jobs << " jobs";
    EXPECT_EQ(spread.loss_count, alone.loss_count) << jobs << " jobs";
    EXPECT_TRUE(spread.dump == alone.dump) << jobs << " jobs: the dumps differ";
  }
}

INSTANTIATE_TEST_SUITE_P(Files, DecodeJobsTest,
                         ::testing::Values(Case{"Jet4Sound", JetVersion::kJet4, 0},
                                           Case{"Jet3Sound", JetVersion::kJet3, 0},
                                           Case{"Jet4Damaged1", JetVersion::kJet4, 1},
                                           Case{"Jet4Damaged2", JetVersion::kJet4, 2},
                                           Case{"Jet4Damaged3", JetVersion::kJet4, 3},
                                           Case{"Jet3Damaged4", JetVersion::kJet3, 4},
                                           Case{"Jet3Damaged5", JetVersion::kJet3, 5}),
                         [](const ::testing::TestParamInfo<Case>& info) { return info.param.name; });

}  // namespace
}  // namespace mendora
