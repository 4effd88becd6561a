// Decrypting the pages of an encrypted file ahead of the reader, on a thread
// of its own.
//
// A pass reads most pages in file order (a table's data pages follow its
// usage map), and decryption costs more than everything else the reader
// does with a page. When the reader goes through the file in order, the next
// few pages are read and decrypted on a second core while it works on the
// current one.
//
// What is decrypted ahead is only ever a shortcut: the reader still reads
// each page itself, and takes the plain bytes only when the stored bytes they
// were made from are the ones it just read. A page changed since, or a guess
// that was wrong, costs the work and never changes a result.
#ifndef MENDORA_READER_DECRYPT_AHEAD_H_
#define MENDORA_READER_DECRYPT_AHEAD_H_

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
  // stays a few dozen pages whatever the size of the file.
  static constexpr uint32_t kDepth = 16;

  // `descriptor` stays the caller's, open until this is destroyed.
  DecryptAhead(int descriptor, uint32_t page_size, uint64_t file_size, std::shared_ptr<const PageCipher> cipher);
  ~DecryptAhead();
  DecryptAhead(const DecryptAhead&) = delete;
  DecryptAhead& operator=(const DecryptAhead&) = delete;

  // `page` holds the stored bytes of page `n` as just read. When that page
  // was decrypted ahead from the same bytes, they are replaced by the plain
  // ones and the answer is true; otherwise `page` is left as it is.
  bool Take(uint32_t n, std::span<uint8_t> page);
  // The reader has read page `n` whole: after a few reads in file order,
  // the pages after it are decrypted ahead.
  void Follow(uint32_t n);

  // Whether a second thread is worth starting on this machine.
  static bool Worthwhile();

 private:
  struct Ready {
    uint32_t number = 0;
    std::vector<uint8_t> stored;
    std::vector<uint8_t> plain;
  };

  void Run();

  const int descriptor_;
  const uint32_t page_size_;
  const uint32_t page_count_;
  const std::shared_ptr<const PageCipher> cipher_;

  std::mutex mutex_;
  std::condition_variable wake_;  // work for the thread, or a page done
  bool stopping_ = false;
  uint32_t last_ = 0;        // the page the reader read last
  uint32_t in_order_ = 0;    // reads in file order so far
  uint32_t next_ = 0;        // the next page to decrypt ahead ...
  uint32_t end_ = 0;         // ... and the end of the window
  int64_t in_progress_ = -1;  // the page the thread is decrypting
  std::deque<Ready> ready_;
  std::vector<Ready> spare_;  // buffers of taken pages, reused
  std::thread thread_;
};

}  // namespace mendora

#endif  // MENDORA_READER_DECRYPT_AHEAD_H_
