// The save target fed from its own thread: it must see the calls and rows
// the pass made, in their order, with every refusal in the pass's account
// and every failure back at the pass.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "output/common/pipelined_output.h"
#include "recovery/loss_account.h"

namespace mendora {
namespace {

// Writes down every call; refuses the rows whose first value is a multiple
// of `refuse_every`, and fails for good at the row numbered `fail_at`.
class RecordingTarget : public RecoveryOutput {
 public:
  explicit RecordingTarget(std::vector<std::string>& log, int refuse_every = 0, int64_t fail_at = -1)
      : log_(log), refuse_every_(refuse_every), fail_at_(fail_at) {}
  void BeginTable(const OutputTable& table) override {
    table_ = table.name;
    log_.push_back("begin " + table.name);
  }
  void AddRow(const Row& row) override {
    const int64_t n = row.values.empty() ? -1 : row.values[0].integer;
    if (n == fail_at_) throw TargetFailed("disk full");
    if (refuse_every_ > 0 && n % refuse_every_ == 0) {
      losses_->RowRefused(table_, "Table " + table_ + ": record " + std::to_string(n) + " was not stored");
      return;
    }
    // Each value as far as its kind goes: what other fields hold is left
    // over from earlier rows, and no target reads it.
    std::string line = "row";
    for (const Value& value : row.values) {
      line += " " + std::to_string(static_cast<int>(value.kind)) + ":";
      switch (value.kind) {
        case ValueKind::kNull: break;
        case ValueKind::kInteger:
        case ValueKind::kCurrency: line += std::to_string(value.integer); break;
        case ValueKind::kSingle:
        case ValueKind::kDouble:
        case ValueKind::kDateTime: line += std::to_string(value.real); break;
        case ValueKind::kDecimal:
          line += std::to_string(value.negative) + "/" + std::to_string(value.precision) + "/" +
                  std::to_string(value.scale) + "/" + std::to_string(value.magnitude_high) + "/" +
                  std::to_string(value.magnitude_low);
          break;
        case ValueKind::kText:
        case ValueKind::kBytes: line += value.bytes.substr(0, 8) + ":" + std::to_string(value.bytes.size()); break;
        case ValueKind::kGuid: line += std::to_string(value.guid[0]) + "/" + std::to_string(value.guid[15]); break;
        case ValueKind::kExtendedDateTime:
          line += std::to_string(value.integer) + "/" + std::to_string(value.magnitude_low);
          break;
      }
    }
    line += " complex " + std::to_string(row.complex.size());
    log_.push_back(line);
  }
  void EndTable(int64_t rows) override { log_.push_back("end " + table_ + " " + std::to_string(rows)); }
  void AddRelation(const OutputRelation& relation) override { log_.push_back("relation " + relation.name); }
  void AddQueryDefinition(const std::string& name, const std::string&, const std::vector<QueryRow>&) override {
    log_.push_back("query " + name);
  }
  void Finish() override { log_.push_back("finish"); }
  void Abandon() noexcept override { log_.push_back("abandon"); }

 private:
  std::vector<std::string>& log_;
  int refuse_every_;
  int64_t fail_at_;
  std::string table_;
};

// The same calls into `target` directly or through the queue: a few tables,
// rows past several batches, values of every kind, values that fill a batch
// by their bytes alone, and a row with complex entries among them.
void Feed(RecoveryOutput& target, LossAccount& losses, int64_t rows_per_table) {
  target.Attach(losses);
  for (const std::string name : {"First", "Second", "Empty"}) {
    OutputTable table;
    table.name = name;
    losses.BeginTable(name, -1);
    target.BeginTable(table);
    const int64_t rows = name == "Empty" ? 0 : rows_per_table;
    // One row reused, as the pass does: a value turned null keeps the bytes
    // it held, which must not reach the target as if they were the value.
    Row row;
    row.values.resize(3);
    for (int64_t n = 1; n <= rows; ++n) {
      row.complex.clear();
      row.values[0].SetInteger(n);
      row.values[1].kind = ValueKind::kText;
      row.values[1].bytes.assign(n % 700 == 0 ? (size_t{3} << 20) : static_cast<size_t>(n % 40), 'a' + n % 26);
      if (n % 3 == 0) row.values[1].SetNull();
      Value& other = row.values[2];
      switch (n % 10) {
        case 0: other.SetDouble(n / 8.0); break;
        case 1:
          other.kind = ValueKind::kDecimal;
          other.negative = n % 20 == 1;
          other.precision = 18;
          other.scale = n % 5;
          other.magnitude_high = n >> 3;
          other.magnitude_low = n;
          break;
        case 2: other.kind = ValueKind::kGuid; other.guid[0] = 0xA5; other.guid[15] = static_cast<uint8_t>(n); break;
        case 3: other.SetSingle(n / 4.0f); break;
        case 4: other.SetCurrency(-n * 10000); break;
        case 5: other.SetDateTime(40000.5 + n); break;
        case 6: other.kind = ValueKind::kBytes; other.bytes.assign(std::string("\0\xFF" "bin", 5) + std::to_string(n)); break;
        case 7: other.SetExtendedDateTime(738000 + n, 864000000000ULL - n); break;
        case 8: other.SetInteger(-n); break;
        default: other.SetNull();
      }
      if (n == 1234) row.complex.push_back(ComplexCell{});
      target.AddRow(row);
      losses.RowRecovered();
    }
    target.EndTable(rows);
    losses.EndTable();
  }
  OutputRelation relation;
  relation.name = "FirstSecond";
  target.AddRelation(relation);
  target.AddQueryDefinition("Query1", "SELECT 1", {});
  target.Finish();
}

TEST(PipelinedOutputTest, TheTargetSeesTheSameCallsRowsAndRefusals) {
  for (const int64_t rows : {0, 1, 511, 512, 513, 2049, 3000}) {
    std::vector<std::string> direct_log, queued_log;
    LossAccount direct_losses(nullptr), queued_losses(nullptr);
    RecordingTarget direct(direct_log, 7);
    Feed(direct, direct_losses, rows);
    PipelinedOutput queued(std::make_unique<RecordingTarget>(queued_log, 7));
    Feed(queued, queued_losses, rows);
    ASSERT_EQ(queued_log, direct_log) << rows << " rows";
    ASSERT_EQ(queued_losses.count(), direct_losses.count());
    for (const char* table : {"First", "Second"}) {
      ASSERT_NE(queued_losses.Table(table), nullptr);
      EXPECT_EQ(queued_losses.Table(table)->rows_refused, rows / 7) << table;
      EXPECT_EQ(queued_losses.Table(table)->Summary(), direct_losses.Table(table)->Summary());
    }
    EXPECT_EQ(queued_losses.SummaryLines(), direct_losses.SummaryLines());
  }
}

TEST(PipelinedOutputTest, AFailureOfTheTargetReachesThePassAndNothingHangs) {
  for (const int64_t fail_at : {1, 600, 2999}) {
    std::vector<std::string> log;
    LossAccount losses(nullptr);
    PipelinedOutput queued(std::make_unique<RecordingTarget>(log, 0, fail_at));
    EXPECT_THROW(Feed(queued, losses, 3000), TargetFailed) << fail_at;
    queued.Abandon();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "abandon");
    // Nothing after the failed row was stored, and the table never ended.
    EXPECT_EQ(std::count(log.begin(), log.end(), "end First 3000"), 0);
    EXPECT_EQ(log.size(), static_cast<size_t>(1 + fail_at - 1 + 1)) << fail_at;
  }
}

TEST(PipelinedOutputTest, AbandonedPartWayTheTargetIsTakenBackWithoutWaitingForTheQueue) {
  std::vector<std::string> log;
  LossAccount losses(nullptr);
  {
    PipelinedOutput queued(std::make_unique<RecordingTarget>(log));
    queued.Attach(losses);
    OutputTable table;
    table.name = "T";
    queued.BeginTable(table);
    Row row;
    row.values.resize(1);
    for (int n = 1; n <= 5000; ++n) {
      row.values[0].SetInteger(n);
      queued.AddRow(row);
    }
    queued.Abandon();
  }
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log.front(), "begin T");
  EXPECT_EQ(log.back(), "abandon");
  // The rows stored before it are in their order.
  for (size_t i = 1; i + 1 < log.size(); ++i) EXPECT_EQ(log[i], "row 1:" + std::to_string(i) + " complex 0");
}

}  // namespace
}  // namespace mendora
