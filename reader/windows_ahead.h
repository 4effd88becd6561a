// Reading the read-ahead windows of a plain file on a second thread.
//
// A pass reads most of a file in order, a window of pages at a time, and the
// system's copy of each window into memory is a fifth to a quarter of what
// an analysis does with the pages. While the reader works on one window, a thread
// reads the next few, and the reader takes each one over by swapping
// buffers: the copy runs on the other core.
//
// What the thread read is only ever a shortcut: a window it has not read, or
// is still reading after the reader has waited about as long as reading it
// would take, the reader reads itself. The bytes are those of the same
// offsets of the same file, read a moment earlier.
#ifndef MENDORA_READER_WINDOWS_AHEAD_H_
#define MENDORA_READER_WINDOWS_AHEAD_H_

#include <sys/types.h>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace mendora {

class WindowsAhead {
 public:
  // Windows read ahead of the reader's: enough to ride out a lost time slice,
  // little memory (a few hundred kilobytes).
  static constexpr size_t kDepth = 4;

  // Whether a thread pays: a second core, and a file of more than a few
  // windows of `window_bytes`.
  static bool Worthwhile(uint64_t file_size, size_t window_bytes);

  // `descriptor` stays the caller's, open until this is destroyed. Buffers
  // given to Read and handed back hold `capacity` bytes.
  WindowsAhead(int descriptor, uint64_t file_size, size_t capacity);
  ~WindowsAhead();
  WindowsAhead(const WindowsAhead&) = delete;
  WindowsAhead& operator=(const WindowsAhead&) = delete;

  // Reads `size` bytes (at most the capacity) at `offset` into `buffer`, as
  // pread would, and returns what pread would (the bytes read, 0 past the
  // end, -1 on a failure); `buffer` may come back as another buffer of the
  // same capacity. The windows of `size` bytes after it are then read ahead.
  ssize_t Read(std::unique_ptr<uint8_t[]>& buffer, uint64_t offset, size_t size);

 private:
  struct Window {
    uint64_t offset = 0;
    size_t size = 0;
    enum class State { kWanted, kReading, kReady } state = State::kWanted;
    bool wanted = true;  // false: dropped while being read
    ssize_t got = 0;
    std::unique_ptr<uint8_t[]> bytes;
  };

  void Run();
  // Asks for the kDepth windows of `size` bytes after `offset`; drops the
  // ready ones no longer asked for.
  void Want(uint64_t offset, size_t size);

  const int descriptor_;
  const uint64_t file_size_;
  const size_t capacity_;

  std::mutex mutex_;
  std::condition_variable wake_;  // work for the thread
  std::condition_variable done_;  // a window read
  bool stopping_ = false;
  std::vector<Window> windows_;                   // wanted, being read or ready, at most kDepth + 1
  std::vector<std::unique_ptr<uint8_t[]>> spare_;  // buffers to read into
  std::thread thread_;
};

}  // namespace mendora

#endif  // MENDORA_READER_WINDOWS_AHEAD_H_
