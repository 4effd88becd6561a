// Feeding a save target from a thread of its own.
#include "output/common/pipelined_output.h"

#include <cstdint>

namespace mendora {

namespace {

// Enough rows per batch that the threads meet rarely, few enough bytes that
// long values do not pile up: the queue holds at most kBatches of them.
constexpr size_t kBatchRows = 512;
constexpr size_t kBatchBytes = size_t{4} << 20;
constexpr size_t kBatches = 4;
// A value's storage beyond this is given back once stored, so that one large
// memo or OLE value does not stay held by its place in the queue.
constexpr size_t kKeptValueBytes = size_t{64} << 10;

// Only text and binary values own their bytes: a value of another kind may
// still hold the bytes of whatever its place in the pass's row held before
// (a null long value keeps the text it was read into), which no target reads.
bool HoldsBytes(const Value& value) {
  return value.kind == ValueKind::kText || value.kind == ValueKind::kBytes;
}

size_t RowBytes(const Row& row) {
  size_t bytes = sizeof(Row) + row.values.size() * sizeof(Value);
  for (const Value& value : row.values) {
    if (HoldsBytes(value)) bytes += value.bytes.size();
  }
  return bytes;
}

// Copies `from` into `to` keeping `to`'s storage, and leaves behind the
// stale bytes of a value that holds none, so that they are neither copied
// nor counted against the batch.
// The size is that of one standard library on 64-bit hosts; elsewhere it
// differs, and the check made there stands for all.
#if defined(__GLIBCXX__) && UINTPTR_MAX == UINT64_MAX
static_assert(sizeof(Value) == 88, "CopyValues copies each field of Value: add the new one there");
#endif
void CopyValues(const std::vector<Value>& from, std::vector<Value>& to) {
  to.resize(from.size());
  for (size_t i = 0; i < from.size(); ++i) {
    const Value& source = from[i];
    Value& copy = to[i];
    copy.kind = source.kind;
    copy.negative = source.negative;
    copy.precision = source.precision;
    copy.scale = source.scale;
    copy.integer = source.integer;
    copy.magnitude_high = source.magnitude_high;
    copy.magnitude_low = source.magnitude_low;
    copy.real = source.real;
    copy.guid = source.guid;
    if (HoldsBytes(source)) {
      copy.bytes.assign(source.bytes);
    } else {
      copy.bytes.clear();
    }
  }
}

}  // namespace

PipelinedOutput::PipelinedOutput(std::unique_ptr<RecoveryOutput> target) : target_(std::move(target)) {
  for (size_t i = 0; i < kBatches; ++i) free_.push_back(std::make_unique<Batch>());
  thread_ = std::thread([this] { Work(); });
}

PipelinedOutput::~PipelinedOutput() { Stop(); }

void PipelinedOutput::Stop() noexcept {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void PipelinedOutput::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return stopping_ || !ready_.empty(); });
    if (ready_.empty()) return;  // stopping, nothing left to store
    std::unique_ptr<Batch> batch = std::move(ready_.front());
    ready_.pop_front();
    if (stopping_ || failure_) {
      // A target that failed or was abandoned takes no more rows.
      batch->count = batch->bytes = 0;
      free_.push_back(std::move(batch));
      changed_.notify_all();
      continue;
    }
    busy_ = true;
    lock.unlock();
    std::exception_ptr failure;
    std::vector<LossEntry> refused;
    try {
      for (size_t i = 0; i < batch->count; ++i) {
        target_->AddRow(batch->rows[i]);
        if (!worker_losses_.entries().empty() || worker_losses_.count() != 0) {
          // Taken after each row, so the account never caps them.
          for (const LossEntry& entry : worker_losses_.entries()) refused.push_back(entry);
          worker_losses_.Clear();
        }
      }
    } catch (...) {
      failure = std::current_exception();
    }
    for (size_t i = 0; i < batch->count; ++i) {
      for (Value& value : batch->rows[i].values) {
        if (value.bytes.capacity() > kKeptValueBytes) std::string().swap(value.bytes);
      }
    }
    batch->count = batch->bytes = 0;
    lock.lock();
    busy_ = false;
    if (failure && !failure_) failure_ = failure;
    if (!refused.empty()) {
      for (LossEntry& entry : refused) refused_.push_back(std::move(entry));
      anything_refused_.store(true, std::memory_order_release);
    }
    free_.push_back(std::move(batch));
    changed_.notify_all();
  }
}

void PipelinedOutput::Attach(LossAccount& losses) {
  pass_losses_ = &losses;
  RecoveryOutput::Attach(losses);
  target_->Attach(losses);
}

void PipelinedOutput::Send() {
  if (!filling_) return;
  if (filling_->count == 0) {
    std::lock_guard<std::mutex> lock(mutex_);
    free_.push_back(std::move(filling_));
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ready_.push_back(std::move(filling_));
  }
  changed_.notify_all();
}

void PipelinedOutput::TakeOverLosses() {
  std::vector<LossEntry> refused;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    refused.swap(refused_);
    anything_refused_.store(false, std::memory_order_relaxed);
  }
  if (pass_losses_ == nullptr) return;
  for (LossEntry& entry : refused) {
    // Told to the pass's account as the target told them, so its counts per
    // table are what they would have been.
    if (entry.reason == LossReason::kRefused && entry.subject == LossSubject::kRow) {
      pass_losses_->RowRefused(entry.table, entry.detail);
    } else if (entry.reason == LossReason::kRefused && entry.subject == LossSubject::kValue) {
      pass_losses_->ValueRefused(entry.table, entry.detail);
    } else if (entry.subject == LossSubject::kTable) {
      pass_losses_->TableLost(entry.table, entry.reason, entry.detail, entry.count);
    } else {
      pass_losses_->Add(std::move(entry));
    }
  }
}

void PipelinedOutput::Drain() {
  Send();
  std::exception_ptr failure;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return ready_.empty() && !busy_; });
    failure = failure_;
  }
  TakeOverLosses();
  if (rows_in_flight_ && pass_losses_ != nullptr) {
    target_->Attach(*pass_losses_);
    rows_in_flight_ = false;
  }
  if (failure) std::rethrow_exception(failure);
}

void PipelinedOutput::BeginTable(const OutputTable& table) {
  Drain();
  target_->BeginTable(table);
}

void PipelinedOutput::AddRow(const Row& row) {
  if (Row* copy = QueueSlot(row)) {
    CopyValues(row.values, copy->values);
    Queued(row);
  }
}

void PipelinedOutput::TakeRow(Row& row) {
  if (Row* slot = QueueSlot(row)) {
    std::swap(slot->values, row.values);
    Queued(*slot);
  }
}

Row* PipelinedOutput::QueueSlot(const Row& row) {
  if (anything_refused_.load(std::memory_order_acquire)) TakeOverLosses();
  if (!row.complex.empty()) {
    // Rows with entries of complex columns are rare and may refuse many
    // pieces each: stored here, in order, with the pass's account.
    Drain();
    target_->AddRow(row);
    return nullptr;
  }
  if (!filling_) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return !free_.empty() || failure_; });
    if (failure_) {
      const std::exception_ptr failure = failure_;
      lock.unlock();
      Drain();
      std::rethrow_exception(failure);
    }
    filling_ = std::move(free_.back());
    free_.pop_back();
  }
  if (!rows_in_flight_) {
    // The thread is idle here: nothing is in flight before the first batch.
    worker_losses_.Clear();
    target_->Attach(worker_losses_);
    rows_in_flight_ = true;
  }
  Batch& batch = *filling_;
  if (batch.count == batch.rows.size()) batch.rows.emplace_back();
  Row& slot = batch.rows[batch.count++];
  slot.page = row.page;
  slot.slot = row.slot;
  slot.flags = row.flags;
  slot.complex.clear();
  return &slot;
}

void PipelinedOutput::Queued(const Row& row) {
  Batch& batch = *filling_;
  batch.bytes += RowBytes(row);
  if (batch.count == kBatchRows || batch.bytes >= kBatchBytes) Send();
}

void PipelinedOutput::EndTable(int64_t rows) {
  Drain();
  target_->EndTable(rows);
}

void PipelinedOutput::AddRelation(const OutputRelation& relation) {
  Drain();
  target_->AddRelation(relation);
}

void PipelinedOutput::AddQuery(const std::string& name, const std::string& sql) {
  Drain();
  target_->AddQuery(name, sql);
}

void PipelinedOutput::AddQueryDefinition(const std::string& name, const std::string& sql,
                                         const std::vector<QueryRow>& rows) {
  Drain();
  target_->AddQueryDefinition(name, sql, rows);
}

void PipelinedOutput::AddObject(const OutputObject& object) {
  Drain();
  target_->AddObject(object);
}

void PipelinedOutput::AddObjectStorage(const ObjectStorageCopy& storage) {
  Drain();
  target_->AddObjectStorage(storage);
}

void PipelinedOutput::SetPublishCheck(std::function<void()> check) {
  Drain();
  target_->SetPublishCheck(std::move(check));
}

void PipelinedOutput::Finish() {
  Drain();
  Stop();
  target_->Finish();
}

void PipelinedOutput::Abandon() noexcept {
  // The rows still queued are dropped: the target is taken back whole.
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
  try {
    TakeOverLosses();
  } catch (...) {
  }
  if (pass_losses_ != nullptr) target_->Attach(*pass_losses_);
  rows_in_flight_ = false;
  target_->Abandon();
}

TargetFactory PipelinedTargetFactory(TargetFactory make) {
  return [make = std::move(make)](const std::string& path, bool replace_existing) -> std::unique_ptr<RecoveryOutput> {
    std::unique_ptr<RecoveryOutput> target = make(path, replace_existing);
    if (!target) return target;
    return std::make_unique<PipelinedOutput>(std::move(target));
  };
}

}  // namespace mendora
