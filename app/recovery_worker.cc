// Running one recovery pass on a thread of its own.
#include "app/recovery_worker.h"

#include <cstdio>
#include <cstring>
#include <exception>

#include "app/recovery_runner.h"

namespace mendora {

namespace {

bool IsSqliteFile(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  char head[16] = {};
  const bool whole = std::fread(head, 1, sizeof head, file) == sizeof head;
  std::fclose(file);
  return whole && std::memcmp(head, "SQLite format 3", 16) == 0;
}

}  // namespace

int ProgressPercent(uint32_t pages_done, uint32_t pages_total) {
  if (pages_total == 0) return 0;
  if (pages_done >= pages_total) return 100;
  return static_cast<int>(static_cast<uint64_t>(pages_done) * 100 / pages_total);
}

// Turns the pass's reports into the worker's signals. A pass reports every
// page; only a change of the whole percent is worth a trip to the window.
class RecoveryWorker::Relay : public RecoveryObserver {
 public:
  explicit Relay(RecoveryWorker& worker) : worker_(worker) {}

  void OnAnalysisEvent(const AnalysisEvent& event) override { emit worker_.AnalysisEventArrived(worker_.run_, event); }

  void OnProgress(uint32_t pages_done, uint32_t pages_total) override {
    const int percent = ProgressPercent(pages_done, pages_total);
    if (percent == last_percent_) return;
    last_percent_ = percent;
    emit worker_.ProgressChanged(worker_.run_, percent);
  }

  void OnTableProgress(const std::string& table, int64_t table_rows, int64_t pass_rows) override {
    const auto now = std::chrono::steady_clock::now();
    if (table == last_table_ && now - last_table_report_ < kTableProgressInterval) return;
    last_table_ = table;
    last_table_report_ = now;
    emit worker_.TableProgressChanged(worker_.run_, QString::fromStdString(table), table_rows, pass_rows);
  }

 private:
  RecoveryWorker& worker_;
  int last_percent_ = -1;
  std::string last_table_;
  std::chrono::steady_clock::time_point last_table_report_;
};

RecoveryWorker::RecoveryWorker(RecoveryRunner& runner, std::unique_ptr<RecoverySession> session, quint64 run,
                               QObject* parent)
    : QObject(parent), runner_(runner), session_(std::move(session)), relay_(std::make_unique<Relay>(*this)),
      run_(run) {
  session_->options.observer = relay_.get();
  session_->options.outputs.push_back(&collector_);
}

RecoveryWorker::~RecoveryWorker() {
  Cancel();
  Join();
}

void RecoveryWorker::Start() { thread_ = std::thread([this] { Body(); }); }

void RecoveryWorker::Join() {
  if (thread_.joinable()) thread_.join();
}

void RecoveryWorker::Body() {
  try {
    result_ = runner_.Run(*session_);
  } catch (const PassCancelled&) {
    result_ = {PassOutcome::kCancelled, {}};
  } catch (const std::exception& e) {
    result_ = {PassOutcome::kFailed, e.what()};
  } catch (...) {
    result_ = {PassOutcome::kFailed, "unexpected failure"};
  }
  if (result_.outcome == PassOutcome::kCompleted) {
    try {
      ReportSection section = MakeReportSection(*session_, collector_);
      section.completed = true;
      const bool lossy = session_->results.losses.AnyLoss();
      section.outcome = lossy ? "complete, with losses" : "complete";
      section.exit_code = lossy ? 4 : 0;  // as mendora-cli says it
      if (session_->IsSaving()) section.target = session_->options.target_path;
      section.census = CountPages(session_->options.source_path, session_->options.password);
      if (session_->IsSaving() && IsSqliteFile(session_->options.target_path))
        section.saved = CountSaved(session_->options.target_path);
      report_ = std::move(section);
    } catch (const std::exception&) {
      report_.reset();  // the pass stands; only its report is missing
    }
  }
  finished_ = true;
  emit Finished(run_);
}

}  // namespace mendora
