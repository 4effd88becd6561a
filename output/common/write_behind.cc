// Writing a stream's chunks on a thread of their own.
#include "output/common/write_behind.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace mendora {

WriteBehind::~WriteBehind() {
  try {
    Flush();
  } catch (...) {
    // A destructor has nobody to tell; the stream keeps its failed state.
  }
  Stop();
}

void WriteBehind::Grow(size_t bytes) {
  // Room for the chunk and the row that tips it over, so that a chunk is
  // rarely grown (a large allocation maps fresh pages each time).
  const size_t capacity = std::max(chunk_.size + bytes, kChunkBytes + kChunkBytes / 4);
  std::unique_ptr<char[]> data(new char[capacity]);
  if (chunk_.size > 0) std::memcpy(data.get(), chunk_.data.get(), chunk_.size);
  chunk_.data = std::move(data);
  chunk_.capacity = capacity;
}

void WriteBehind::Put(const Chunk& chunk) {
  if (failed()) return;
  errno = 0;
  out_.write(chunk.data.get(), static_cast<std::streamsize>(chunk.size));
  if (!out_) {
    outcome_.error.store(errno, std::memory_order_release);
    outcome_.failed.store(true, std::memory_order_release);
  }
}

void WriteBehind::HandOver() {
  std::unique_lock lock(mutex_);
  if (failed()) {
    // Nothing after a failed write can reach the stream in order.
    chunk_.size = 0;
    return;
  }
  bool here = on_callers_thread_;
  if (!here && !thread_.joinable()) {
    stopping_ = false;
    try {
      thread_ = std::thread(&WriteBehind::Work, this);
    } catch (const std::system_error&) {
      // No thread to be had: the chunk is written here, as without one.
      here = true;
    }
  }
  if (here) {
    lock.unlock();
    Put(chunk_);
    chunk_.size = 0;
    return;
  }
  changed_.wait(lock, [&] { return queue_.size() < kQueuedChunks; });
  queue_.push_back(std::move(chunk_));
  if (spare_.empty()) {
    chunk_ = Chunk();
  } else {
    chunk_ = std::move(spare_.back());
    spare_.pop_back();
  }
  changed_.notify_all();
}

void WriteBehind::Work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) return;
    Chunk chunk = std::move(queue_.front());
    queue_.pop_front();
    busy_ = true;
    lock.unlock();
    Put(chunk);
    chunk.size = 0;
    lock.lock();
    busy_ = false;
    spare_.push_back(std::move(chunk));
    changed_.notify_all();
  }
}

bool WriteBehind::Flush() {
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return queue_.empty() && !busy_; });
  }
  // The thread is idle: the stream is this thread's now.
  if (chunk_.size > 0) {
    Put(chunk_);
    chunk_.size = 0;
  }
  return !failed();
}

void WriteBehind::WriteOnCallersThread() {
  {
    // What the thread still holds goes first; it then has nothing to do.
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return queue_.empty() && !busy_; });
    on_callers_thread_ = true;
  }
  Stop();
}

void WriteBehind::Drop() noexcept {
  {
    std::lock_guard lock(mutex_);
    queue_.clear();
  }
  chunk_.size = 0;
  Stop();
}

void WriteBehind::Reset() noexcept {
  Drop();
  outcome_.failed.store(false, std::memory_order_release);
  outcome_.error.store(0, std::memory_order_release);
}

void WriteBehind::Stop() noexcept {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

}  // namespace mendora
