// Reading the heads of pages ahead of the walk over every page, on a thread
// of its own.
//
// The walk classifies each page of the file by its first bytes, so it asks
// the system for a few bytes of every page: a call per page, which costs
// about as much as the tables' reads of all their pages together. On a
// machine with a second core the calls are shared: the file is cut into
// chunks of pages, the walk reads the heads of every other chunk itself,
// and a second thread those of the chunks in between, ahead of the walk.
//
// The heads read ahead are only ever a shortcut: a chunk the thread has not
// read when the walk gets there is waited for no longer than reading it
// would take, and then read by the walk itself; no result depends on which
// thread read a head.
#ifndef MENDORA_READER_HEADS_AHEAD_H_
#define MENDORA_READER_HEADS_AHEAD_H_

#include <array>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

namespace mendora {

class HeadsAhead {
 public:
  // Pages whose heads one chunk holds, and the chunks held: a chunk is a
  // fraction of a millisecond of the walk's work, and the memory held stays
  // at a few hundred kilobytes whatever the file.
  static constexpr uint32_t kChunkPages = 256;
  static constexpr uint32_t kChunks = 4;
  // The longest head read ahead.
  static constexpr uint32_t kMostHead = 512;

  // Whether a thread pays here: a second core, and a file of more than a
  // few chunks.
  static bool Worthwhile(uint64_t pages);

  // `descriptor` stays the caller's, open until this is destroyed. Reads
  // the first `head` bytes (at most kMostHead) of each page of the odd
  // chunks.
  HeadsAhead(int descriptor, uint32_t page_size, uint64_t file_size, uint32_t head);
  ~HeadsAhead();
  HeadsAhead(const HeadsAhead&) = delete;
  HeadsAhead& operator=(const HeadsAhead&) = delete;

  // Copies the first `want` bytes of page n into `into` when the thread
  // read at least that many of it, and says so; otherwise the caller reads
  // them. A walk that jumps (back to its start, or past what was read)
  // moves the thread with it.
  bool Take(uint32_t n, uint32_t want, uint8_t* into);
  uint32_t head() const { return head_; }

 private:
  struct Chunk {
    enum class State : uint8_t { kFree, kFilling, kReady };
    State state = State::kFree;
    uint64_t index = 0;                       // pages [index * kChunkPages, +kChunkPages)
    std::unique_ptr<uint8_t[]> bytes;         // kChunkPages heads, made on first use
    std::array<uint16_t, kChunkPages> got{};  // bytes read of each
  };
  // The thread's chunks: the odd ones, from the walk's on, as far as the
  // chunks held reach.
  bool Wanted(uint64_t index) const { return index % 2 == 1 && index >= reader_ && index < reader_ + 2 * kChunks; }
  Chunk* Find(uint64_t index);
  // The walk has entered chunk `index`; called with mutex_ held.
  void Follow(uint64_t index);
  void Run();

  const int descriptor_;
  const uint32_t page_size_;
  const uint64_t file_size_;
  const uint32_t head_;
  const uint64_t chunk_count_;

  std::mutex mutex_;
  std::condition_variable wake_;   // the thread: a chunk to read
  std::condition_variable ready_;  // the walk: a chunk read
  std::array<Chunk, kChunks> chunks_;
  uint64_t reader_ = 0;  // the chunk the walk is in
  uint64_t next_ = 1;    // the chunk the thread reads next (odd)
  uint64_t given_up_ = UINT64_MAX;  // a chunk the walk reads itself after all
  bool stopping_ = false;
  std::thread thread_;  // last: started once everything above is set
};

}  // namespace mendora

#endif  // MENDORA_READER_HEADS_AHEAD_H_
