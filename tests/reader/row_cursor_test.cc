// Values kept inside their rows read as the row holds them, whatever their
// stored length claims, on one thread or several; a date Access cannot hold
// is lost and counted.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "recovery/recovery_session.h"
#include "tests/builder/jet_builder.h"
#include "tests/support/temp_database.h"

namespace mendora {
namespace {

namespace tb = ::mendora::testing;

struct Read {
  std::vector<std::vector<std::optional<std::string>>> rows;
  size_t losses = 0;
};

Read ReadWithJobs(const tb::Bytes& bytes, unsigned jobs) {
  tb::TempDatabase file(bytes);
  tb::RecordingSink sink;
  RecoverySession session;
  session.options.source_path = file.path();
  session.options.decode_jobs = jobs;
  session.options.loss_details = nullptr;
  session.options.outputs.push_back(&sink);
  EXPECT_EQ(RunRecovery(session).outcome, PassOutcome::kCompleted);
  Read read;
  if (sink.tables.count("Kept") == 1) read.rows = sink.tables.at("Kept").rows;
  read.losses = session.results.losses.count();
  return read;
}

// Sets the stored length of the value kept inline just before `stored` (the
// 12-byte reference ahead of it) to `length`.
void SetInlineLength(tb::Bytes& file, const tb::Bytes& stored, uint32_t length) {
  const auto at = std::search(file.begin(), file.end(), stored.begin(), stored.end());
  ASSERT_NE(at, file.end());
  const size_t word = static_cast<size_t>(at - file.begin()) - 12;
  ASSERT_NE(file[word + 3] & 0x80, 0);  // kept inline
  const uint32_t flags = static_cast<uint32_t>(file[word + 3] & 0xC0) << 24;
  const uint32_t value = flags | length;
  for (int k = 0; k < 4; ++k) file[word + k] = static_cast<uint8_t>(value >> (8 * k));
}

class InlineValueTest : public ::testing::TestWithParam<std::tuple<tb::JetVersion, unsigned>> {};

TEST_P(InlineValueTest, StoredLengthsAreCutToTheRow) {
  const auto [version, jobs] = GetParam();
  const bool jet4 = version == tb::JetVersion::kJet4;
  const std::string text = "inline memo text";
  tb::Bytes object(32);
  for (size_t k = 0; k < object.size(); ++k) object[k] = static_cast<uint8_t>(0xC0 + k);
  tb::Bytes memo_bytes;
  for (const char c : text) {
    memo_bytes.push_back(static_cast<uint8_t>(c));
    if (jet4) memo_bytes.push_back(0);
  }
  const uint32_t memo_size = static_cast<uint32_t>(memo_bytes.size());
  const std::string whole_object(object.begin(), object.end());

  struct Case {
    int64_t stored_past;  // added to both values' stored lengths
    std::string memo;
    std::string object;
  };
  const Case cases[] = {
      {0, text, whole_object},
      // Longer than the row holds: what is there.
      {50, text, whole_object},
      {int64_t{1} << 29, text, whole_object},
      // Shorter: only that much (a Jet 4 character is two bytes).
      {-2, jet4 ? "inline memo tex" : "inline memo te", whole_object.substr(0, 30)},
      {-static_cast<int64_t>(memo_size), "", whole_object.substr(0, 32 - memo_size)},
  };
  for (const Case& c : cases) {
    tb::JetFileBuilder builder(version);
    tb::Table table;
    table.name = "Kept";
    table.long_value_form = tb::LongValueForm::kInline;
    table.columns = {{"ID", tb::kLong}, {"Body", tb::kMemo}, {"Blob", tb::kOle}, {"Taken", tb::kDateTime}};
    table.rows = {{int64_t{1}, text, object, 36526.5},
                  // Past the year 9999: lost, and told.
                  {int64_t{2}, std::monostate{}, std::monostate{}, 1e12}};
    builder.AddTable(table);
    tb::Bytes file = builder.Build();
    SetInlineLength(file, memo_bytes, static_cast<uint32_t>(memo_size + c.stored_past));
    SetInlineLength(file, object, static_cast<uint32_t>(object.size() + c.stored_past));
    const Read read = ReadWithJobs(file, jobs);
    ASSERT_EQ(read.rows.size(), 2u) << c.stored_past;
    EXPECT_EQ(read.rows[0][1], c.memo) << c.stored_past;
    EXPECT_EQ(read.rows[0][2], c.object) << c.stored_past;
    EXPECT_EQ(read.rows[0][3], "01/01/2000 12:00:00") << c.stored_past;
    EXPECT_EQ(read.rows[1][3], std::nullopt) << c.stored_past;
    EXPECT_EQ(read.losses, 1u) << c.stored_past;
  }
}

INSTANTIATE_TEST_SUITE_P(VersionsAndJobs, InlineValueTest,
                         ::testing::Combine(::testing::Values(tb::JetVersion::kJet3, tb::JetVersion::kJet4),
                                            ::testing::Values(1u, 2u)));

}  // namespace
}  // namespace mendora
