// A stream written on a thread of its own.
//
// The dump and the exports hand their text over in chunks of a few hundred
// kilobytes, and a thread writes each chunk into the stream while the pass
// decodes and renders the next rows on the other core: the write calls, a
// third of a dump's time, no longer wait in line with the rendering. Where
// the rendering itself runs on a thread beside the pass, two cores are
// already full and the chunks are written on the rendering thread instead
// (WriteOnCallersThread): a third thread only took turns with the pass.
//
// While chunks are in flight the stream belongs to the thread; Flush gives
// it back. A failed write is kept (with the system's error) and every later
// chunk is dropped, so a caller learns of it at its next look at failed()
// or at Flush, a few rows late, never not at all.
#ifndef MENDORA_OUTPUT_COMMON_WRITE_BEHIND_H_
#define MENDORA_OUTPUT_COMMON_WRITE_BEHIND_H_

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace mendora {

class WriteBehind {
 public:
  // A chunk goes to the thread once it holds this many bytes; at most
  // kQueuedChunks wait there, so a slow disk holds back the pass rather
  // than filling the memory.
  static constexpr size_t kChunkBytes = 256 * 1024;
  static constexpr size_t kQueuedChunks = 4;

  explicit WriteBehind(std::ostream& out) : out_(out) {}
  // Writes what is left, ignoring failures (callers that care Flush first).
  ~WriteBehind();
  WriteBehind(const WriteBehind&) = delete;
  WriteBehind& operator=(const WriteBehind&) = delete;

  // Room for `bytes` more bytes at the end of what is not handed over yet:
  // write there, then Commit the end of what was written.
  char* Reserve(size_t bytes) {
    if (chunk_.capacity - chunk_.size < bytes) Grow(bytes);
    return chunk_.data.get() + chunk_.size;
  }
  void Commit(const char* end) {
    chunk_.size = static_cast<size_t>(end - chunk_.data.get());
    if (chunk_.size >= kChunkBytes) HandOver();
  }
  void Write(std::string_view text) {
    char* at = Reserve(text.size());
    std::memcpy(at, text.data(), text.size());
    Commit(at + text.size());
  }

  // Writes everything given so far and waits until it is in the stream,
  // which is then the caller's until the next chunk is handed over. False
  // when a write failed.
  bool Flush();
  // Writes each chunk on the caller's thread from now on, in its turn after
  // those handed over before: for a caller that is itself a thread beside
  // the pass, where one more thread would take turns with both.
  void WriteOnCallersThread();
  // Forgets what is not written yet and waits for a write under way, so the
  // stream can be closed or removed. Never throws.
  void Drop() noexcept;
  // Drop, and forgets a failure: for a stream opened afresh.
  void Reset() noexcept;

  // True once a write has failed; cheap, at any time.
  bool failed() const { return outcome_.failed.load(std::memory_order_acquire); }
  // The system's error at the first failed write; 0 when it gave none.
  int error() const { return outcome_.error.load(std::memory_order_acquire); }

 private:
  // Bytes in memory of their own, not cleared when made (a string's room
  // must be filled before it is written to).
  struct Chunk {
    std::unique_ptr<char[]> data;
    size_t size = 0;
    size_t capacity = 0;
  };
  void Grow(size_t bytes);
  void HandOver();
  void Work();
  void Put(const Chunk& chunk);
  void Stop() noexcept;

  std::ostream& out_;
  Chunk chunk_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Chunk> queue_;
  std::vector<Chunk> spare_;  // written chunks, their storage reused
  bool busy_ = false;               // the thread is writing a chunk off the queue
  bool stopping_ = false;
  bool on_callers_thread_ = false;
  std::thread thread_;
  // On a cache line of their own: the caller asks failed() after every row,
  // and sharing a line with what the thread writes made each ask a miss.
  struct alignas(64) Outcome {
    std::atomic<bool> failed{false};
    std::atomic<int> error{0};
  };
  Outcome outcome_;
};

}  // namespace mendora

#endif  // MENDORA_OUTPUT_COMMON_WRITE_BEHIND_H_
