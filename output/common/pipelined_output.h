// A save target fed from a thread of its own: the pass decodes the next rows
// on one core while the target stores the last ones on the other.
//
// Rows travel in batches through a short queue of recycled buffers, each row
// packed into its batch's bytes one after another: the thread reads them in
// order, into a row of its own. Handing over the rows' own storage instead
// made both threads wait on memory the other had touched last, value by
// value, which cost more than the copy. Everything else (a table's start
// and end, relations, queries, objects, the end of the pass) waits until
// the target has stored every row before it, and runs on the pass's thread. The target sees the same calls
// in the same order as without the queue.
//
// While rows are in flight the target counts what it refuses in an account
// of the queue's own, which the pass's account takes over on the pass's
// thread (a refusal is told a few rows late, never lost). A failure of the
// target (TargetFailed) comes back to the pass at its next call.
#ifndef MENDORA_OUTPUT_COMMON_PIPELINED_OUTPUT_H_
#define MENDORA_OUTPUT_COMMON_PIPELINED_OUTPUT_H_

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "recovery/loss_account.h"
#include "recovery/recovery_output.h"
#include "recovery/recovery_session.h"

namespace mendora {

class PipelinedOutput final : public RecoveryOutput {
 public:
  explicit PipelinedOutput(std::unique_ptr<RecoveryOutput> target);
  ~PipelinedOutput() override;
  PipelinedOutput(const PipelinedOutput&) = delete;
  PipelinedOutput& operator=(const PipelinedOutput&) = delete;

  void Attach(LossAccount& losses) override;
  void BeginTable(const OutputTable& table) override;
  void AddRow(const Row& row) override;
  void EndTable(int64_t rows) override;
  void AddRelation(const OutputRelation& relation) override;
  void AddQuery(const std::string& name, const std::string& sql) override;
  void AddQueryDefinition(const std::string& name, const std::string& sql, const std::vector<QueryRow>& rows) override;
  void AddObject(const OutputObject& object) override;
  void AddObjectStorage(const ObjectStorageCopy& storage) override;
  std::string TableNameKey(const std::string& name) const override { return target_->TableNameKey(name); }
  std::string ColumnNameKey(const std::string& name) const override { return target_->ColumnNameKey(name); }
  std::string QueryNameKey(const std::string& name) const override { return target_->QueryNameKey(name); }
  void SetPublishCheck(std::function<void()> check) override;
  void Finish() override;
  void Abandon() noexcept override;
  bool HasThreads() const override { return true; }

 private:
  struct Batch {
    std::unique_ptr<char[]> bytes;  // the packed rows
    size_t size = 0;
    size_t capacity = 0;
    size_t count = 0;  // rows packed
  };

  // Packs the row into the batch being filled, and sends a full batch; a
  // row with complex entries is stored at once instead.
  void Queue(const Row& row);
  // Hands the batch being filled to the thread.
  void Send();
  // Waits until every row sent is stored, takes over what the target
  // refused meanwhile, and rethrows the target's failure. After it the
  // target may be called from this thread, with the pass's account.
  void Drain();
  // Moves what the target refused from the queue's account into the pass's.
  void TakeOverLosses();
  void Work();
  void Stop() noexcept;

  std::unique_ptr<RecoveryOutput> target_;
  LossAccount* pass_losses_ = nullptr;
  LossAccount worker_losses_{nullptr};  // the target's account while rows are in flight
  bool rows_in_flight_ = false;          // the target is attached to worker_losses_

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::unique_ptr<Batch>> free_;
  std::deque<std::unique_ptr<Batch>> ready_;
  std::unique_ptr<Batch> filling_;
  bool busy_ = false;  // the thread is storing a batch
  bool stopping_ = false;
  std::exception_ptr failure_;
  std::vector<LossEntry> refused_;  // taken from worker_losses_, for the pass's account
  std::atomic<bool> anything_refused_{false};
  std::thread thread_;
};

// `make`'s targets, each fed through a PipelinedOutput.
TargetFactory PipelinedTargetFactory(TargetFactory make);

}  // namespace mendora

#endif  // MENDORA_OUTPUT_COMMON_PIPELINED_OUTPUT_H_
