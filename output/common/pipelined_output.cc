// Feeding a save target from a thread of its own.
#include "output/common/pipelined_output.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace mendora {

namespace {

// Enough rows per batch that the threads meet rarely, few enough bytes that
// long values do not pile up: the queue holds at most kBatches of them.
constexpr size_t kBatchRows = 2048;
constexpr size_t kBatchBytes = size_t{4} << 20;
constexpr size_t kBatches = 4;
// Storage beyond these is given back once stored, so that one large memo or
// OLE value does not stay held by the thread's row or by its batch.
constexpr size_t kKeptValueBytes = size_t{64} << 10;
constexpr size_t kKeptBatchBytes = 2 * kBatchBytes;

// A row packed: its place, flags and value count, then each value's kind and
// the fields that kind uses (the others are stale leftovers no target reads;
// text and binary values carry their length and bytes).
struct PackedHead {
  uint32_t page;
  uint16_t slot;
  uint16_t flags;
  uint32_t values;
};

struct PackedDecimal {
  bool negative;
  uint8_t precision;
  uint8_t scale;
  uint64_t magnitude_high;
  uint64_t magnitude_low;
};

// The bytes a value takes after its kind.
size_t PackedValueSize(const Value& value) {
  switch (value.kind) {
    case ValueKind::kNull:
      return 0;
    case ValueKind::kInteger:
    case ValueKind::kCurrency:
      return sizeof(int64_t);
    case ValueKind::kSingle:
    case ValueKind::kDouble:
    case ValueKind::kDateTime:
      return sizeof(double);
    case ValueKind::kDecimal:
      return sizeof(PackedDecimal);
    case ValueKind::kText:
    case ValueKind::kBytes:
      return sizeof(uint64_t) + value.bytes.size();
    case ValueKind::kGuid:
      return value.guid.size();
    case ValueKind::kExtendedDateTime:
      return sizeof(int64_t) + sizeof(uint64_t);
  }
  return 0;
}

template <typename T>
char* Put(char* at, const T& field) {
  std::memcpy(at, &field, sizeof field);
  return at + sizeof field;
}

template <typename T>
const char* Get(const char* at, T& field) {
  std::memcpy(&field, at, sizeof field);
  return at + sizeof field;
}

// The size is that of one standard library on 64-bit hosts; elsewhere it
// differs, and the check made there stands for all.
#if defined(__GLIBCXX__) && UINTPTR_MAX == UINT64_MAX
static_assert(sizeof(Value) == 88, "PackValue packs each field of Value a kind uses: add the new one there");
#endif
char* PackValue(char* at, const Value& value) {
  *at++ = static_cast<char>(value.kind);
  switch (value.kind) {
    case ValueKind::kNull:
      return at;
    case ValueKind::kInteger:
    case ValueKind::kCurrency:
      return Put(at, value.integer);
    case ValueKind::kSingle:
    case ValueKind::kDouble:
    case ValueKind::kDateTime:
      return Put(at, value.real);
    case ValueKind::kDecimal:
      return Put(at, PackedDecimal{value.negative, value.precision, value.scale, value.magnitude_high,
                                   value.magnitude_low});
    case ValueKind::kText:
    case ValueKind::kBytes: {
      at = Put(at, static_cast<uint64_t>(value.bytes.size()));
      std::memcpy(at, value.bytes.data(), value.bytes.size());
      return at + value.bytes.size();
    }
    case ValueKind::kGuid:
      return Put(at, value.guid);
    case ValueKind::kExtendedDateTime:
      return Put(Put(at, value.integer), value.magnitude_low);
  }
  return at;
}

const char* UnpackValue(const char* at, Value& value) {
  value.kind = static_cast<ValueKind>(*at++);
  switch (value.kind) {
    case ValueKind::kNull:
      return at;
    case ValueKind::kInteger:
    case ValueKind::kCurrency:
      return Get(at, value.integer);
    case ValueKind::kSingle:
    case ValueKind::kDouble:
    case ValueKind::kDateTime:
      return Get(at, value.real);
    case ValueKind::kDecimal: {
      PackedDecimal decimal;
      at = Get(at, decimal);
      value.negative = decimal.negative;
      value.precision = decimal.precision;
      value.scale = decimal.scale;
      value.magnitude_high = decimal.magnitude_high;
      value.magnitude_low = decimal.magnitude_low;
      return at;
    }
    case ValueKind::kText:
    case ValueKind::kBytes: {
      uint64_t size;
      at = Get(at, size);
      value.bytes.assign(at, size);
      return at + size;
    }
    case ValueKind::kGuid:
      return Get(at, value.guid);
    case ValueKind::kExtendedDateTime:
      return Get(Get(at, value.integer), value.magnitude_low);
  }
  return at;
}

// The batch's room for `bytes` more, grown as a vector grows.
char* Room(size_t bytes, std::unique_ptr<char[]>& data, size_t size, size_t& capacity) {
  if (capacity - size < bytes) {
    const size_t grown = std::max(size + bytes, std::max<size_t>(2 * capacity, 64 << 10));
    std::unique_ptr<char[]> more(new char[grown]);
    if (size != 0) std::memcpy(more.get(), data.get(), size);
    data = std::move(more);
    capacity = grown;
  }
  return data.get() + size;
}

}  // namespace

PipelinedOutput::PipelinedOutput(std::unique_ptr<RecoveryOutput> target) : target_(std::move(target)) {
  // A third busy thread on two cores only takes turns with the pass, and
  // the pass is what the whole waits for (0: the count is not known).
  if (std::thread::hardware_concurrency() < 3) target_->KeepWorkOnCallingThread();
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
  // The thread's row, its storage reused from row to row; on this thread's
  // stack, away from what the pass touches for each row.
  Row unpacked;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return stopping_ || !ready_.empty(); });
    if (ready_.empty()) return;  // stopping, nothing left to store
    std::unique_ptr<Batch> batch = std::move(ready_.front());
    ready_.pop_front();
    if (stopping_ || failure_) {
      // A target that failed or was abandoned takes no more rows.
      batch->count = batch->size = 0;
      free_.push_back(std::move(batch));
      changed_.notify_all();
      continue;
    }
    busy_ = true;
    lock.unlock();
    std::exception_ptr failure;
    std::vector<LossEntry> refused;
    try {
      const char* at = batch->bytes.get();
      for (size_t i = 0; i < batch->count; ++i) {
        PackedHead head;
        at = Get(at, head);
        unpacked.page = head.page;
        unpacked.slot = head.slot;
        unpacked.flags = head.flags;
        unpacked.values.resize(head.values);
        for (Value& value : unpacked.values) at = UnpackValue(at, value);
        target_->AddRow(unpacked);
        if (!worker_losses_.entries().empty() || worker_losses_.count() != 0) {
          // Taken after each row, so the account never caps them.
          for (const LossEntry& entry : worker_losses_.entries()) refused.push_back(entry);
          worker_losses_.Clear();
        }
      }
    } catch (...) {
      failure = std::current_exception();
    }
    for (Value& value : unpacked.values) {
      if (value.bytes.capacity() > kKeptValueBytes) std::string().swap(value.bytes);
    }
    if (batch->capacity > kKeptBatchBytes) {
      batch->bytes.reset();
      batch->capacity = 0;
    }
    batch->count = batch->size = 0;
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

void PipelinedOutput::AddRow(const Row& row) { Queue(row); }

void PipelinedOutput::Queue(const Row& row) {
  if (anything_refused_.load(std::memory_order_acquire)) TakeOverLosses();
  if (!row.complex.empty()) {
    // Rows with entries of complex columns are rare and may refuse many
    // pieces each: stored here, in order, with the pass's account.
    Drain();
    target_->AddRow(row);
    return;
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
  size_t bytes = sizeof(PackedHead) + row.values.size();
  for (const Value& value : row.values) bytes += PackedValueSize(value);
  char* at = Room(bytes, batch.bytes, batch.size, batch.capacity);
  at = Put(at, PackedHead{row.page, row.slot, row.flags, static_cast<uint32_t>(row.values.size())});
  for (const Value& value : row.values) at = PackValue(at, value);
  batch.size += bytes;
  ++batch.count;
  if (batch.count == kBatchRows || batch.size >= kBatchBytes) Send();
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
