// Decrypting pages ahead of the reader on a second thread.
#include "reader/decrypt_ahead.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace mendora {

namespace {

// Reads that skip at most this many pages still count as reads in file
// order: a usage map skips the pages of other tables.
constexpr uint32_t kInOrderGap = 8;
// In-order reads before the thread starts or resumes: a lone read, a table
// definition or a long value, says nothing of what comes next.
constexpr uint32_t kInOrderToStart = 2;

}  // namespace

DecryptAhead::DecryptAhead(int descriptor, uint32_t page_size, uint64_t file_size,
                           std::shared_ptr<const PageCipher> cipher)
    : descriptor_(descriptor),
      page_size_(page_size),
      page_count_(static_cast<uint32_t>(std::min<uint64_t>(file_size / page_size, UINT32_MAX))),
      cipher_(std::move(cipher)) {}

DecryptAhead::~DecryptAhead() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool DecryptAhead::Worthwhile() { return std::thread::hardware_concurrency() > 1; }

bool DecryptAhead::Take(uint32_t n, std::span<uint8_t> page) {
  // A page under way is not waited for: on a loaded machine the thread may
  // lose its core halfway through, and the reader would wait for as long.
  const std::lock_guard<std::mutex> lock(mutex_);
  const auto found = std::find_if(ready_.begin(), ready_.end(), [n](const Ready& r) { return r.number == n; });
  if (found == ready_.end()) return false;
  const bool same = found->stored.size() == page.size() && std::equal(page.begin(), page.end(), found->stored.begin());
  if (same) {
    // Kept until the reader moves on: it reads its current page again
    // after other reads took the buffer.
    std::copy(found->plain.begin(), found->plain.end(), page.begin());
    return true;
  }
  spare_.push_back(std::move(*found));
  ready_.erase(found);
  wake_.notify_all();
  return false;
}

void DecryptAhead::Follow(uint32_t n) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (n == last_) return;
    in_order_ = n > last_ && n - last_ <= kInOrderGap ? in_order_ + 1 : 0;
    last_ = n;
    const uint64_t window_end = std::min<uint64_t>(uint64_t{n} + 1 + kDepth, page_count_);
    // Pages the reader went past, or far ahead of it, would only hold room.
    for (auto it = ready_.begin(); it != ready_.end();) {
      if (it->number >= n && it->number < window_end) {
        ++it;
        continue;
      }
      spare_.push_back(std::move(*it));
      it = ready_.erase(it);
    }
    if (in_order_ < kInOrderToStart) {
      end_ = next_;  // nothing more until the reads are in order again
      return;
    }
    if (next_ <= n || next_ > window_end) next_ = n + 1;
    end_ = static_cast<uint32_t>(window_end);
    if (!thread_.joinable()) {
      try {
        thread_ = std::thread(&DecryptAhead::Run, this);
      } catch (const std::system_error&) {
        // No thread to be had: the reader decrypts every page itself.
        end_ = next_;
        return;
      }
    }
  }
  wake_.notify_all();
}

void DecryptAhead::Run() {
  Ready page;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [&] { return stopping_ || (next_ < end_ && ready_.size() <= kDepth); });
    if (stopping_) return;
    const uint32_t n = next_++;
    in_progress_ = n;
    if (!spare_.empty()) {
      page = std::move(spare_.back());
      spare_.pop_back();
    }
    lock.unlock();
    page.number = n;
    page.stored.resize(page_size_);
    ssize_t got;
    do {
      got = pread(descriptor_, page.stored.data(), page_size_, static_cast<off_t>(uint64_t{n} * page_size_));
    } while (got < 0 && errno == EINTR);
    bool decrypted = false;
    if (got > 0) {
      page.stored.resize(static_cast<size_t>(got));
      page.plain = page.stored;
      decrypted = std::all_of(page.plain.begin(), page.plain.end(), [](uint8_t b) { return b == 0; }) ||
                  cipher_->Decrypt(n, std::span(page.plain));
    }
    lock.lock();
    in_progress_ = -1;
    if (decrypted && n > last_) ready_.push_back(std::move(page));
    wake_.notify_all();
  }
}

}  // namespace mendora
