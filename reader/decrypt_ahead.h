// Decrypting the pages of an encrypted file ahead of the reader, on a thread
// of its own.
//
// A pass reads most pages in file order (the walk over every page, a table's
// data pages following its usage map), and decryption costs about as much as
// everything else the reader does with a page. When the reader goes through
// the file in order, the pages after its current one are read and decrypted
// on a second core while it works on the current one: the whole page for a
// reader of whole pages, the head alone for the walk, which classifies each
// page by its header.
//
// What is decrypted ahead is only ever a shortcut: the reader still reads
// each page itself, and takes the plain bytes only when the stored bytes they
// were made from are the ones it just read, decrypted for as much of the page
// as it asks for. A page changed since, or a guess that was wrong, costs the
// work and never changes a result.
#ifndef MENDORA_READER_DECRYPT_AHEAD_H_
#define MENDORA_READER_DECRYPT_AHEAD_H_

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "reader/page_cipher.h"

namespace mendora {

class DecryptAhead {
 public:
  // Pages decrypted ahead and not yet taken, at most: the memory it holds
  // stays under a megabyte whatever the size of the file, and the thread
  // stays far enough ahead to ride out a few lost time slices.
  static constexpr uint32_t kDepth = 48;
  // What a reader of whole pages asks for.
  static constexpr size_t kWhole = SIZE_MAX;

  // `descriptor` stays the caller's, open until this is destroyed.
  DecryptAhead(int descriptor, uint32_t page_size, uint64_t file_size, std::shared_ptr<const PageCipher> cipher);
  ~DecryptAhead();
  DecryptAhead(const DecryptAhead&) = delete;
  DecryptAhead& operator=(const DecryptAhead&) = delete;

  // `page` holds the stored bytes of page `n` as just read. When that page
  // was decrypted ahead from the same bytes, for a reader that needs its
  // first `head` bytes (kWhole: all of it), they are replaced by the plain
  // ones and the answer is what PageCipher::DecryptPageHead would answer
  // (the bytes from the start now plain); otherwise 0 and `page` is left as
  // it is. A page the thread is decrypting is waited for, but never longer
  // than decrypting it here would take.
  size_t Take(uint32_t n, std::span<uint8_t> page, size_t head = kWhole);
  // The reader has read page `n` for its first `head` bytes: after a few
  // reads in file order, the pages after it are decrypted ahead as far.
  void Follow(uint32_t n, size_t head = kWhole);

  // Whether a second thread is worth starting on this machine.
  static bool Worthwhile();

 private:
  struct Ready {
    uint32_t number = 0;
    size_t head = kWhole;
    size_t plain_size = 0;
    size_t page_size = 0;  // of the page as read
    std::vector<uint8_t> stored;  // its first plain_size bytes
    std::vector<uint8_t> plain;
  };

  void Run();
  // Page `n` as stored, from the thread's own window of pages read together;
  // empty when it cannot be read.
  std::span<const uint8_t> Stored(uint32_t n);

  const int descriptor_;
  const uint32_t page_size_;
  const uint32_t page_count_;
  const std::shared_ptr<const PageCipher> cipher_;

  std::mutex mutex_;
  std::condition_variable wake_;  // work for the thread
  bool stopping_ = false;
  bool sleeping_ = false;    // the thread waits for work
  uint32_t last_ = 0;        // the page the reader read last
  uint32_t in_order_ = 0;    // reads in file order so far
  size_t head_ = kWhole;     // how much of each page the reader needs
  uint32_t next_ = 0;        // the next page to decrypt ahead ...
  uint32_t end_ = 0;         // ... and the end of the window
  std::deque<Ready> ready_;
  std::vector<Ready> spare_;  // buffers of taken pages, reused
  // The page the thread is decrypting (-1: none), and what a page cost it
  // lately, in nanoseconds: the longest the reader waits for one.
  std::atomic<int64_t> in_progress_{-1};
  std::atomic<int64_t> page_cost_{0};

  // The thread's alone.
  std::vector<uint8_t> window_;
  int64_t window_first_ = -1;
  size_t window_bytes_ = 0;

  std::thread thread_;
};

}  // namespace mendora

#endif  // MENDORA_READER_DECRYPT_AHEAD_H_
