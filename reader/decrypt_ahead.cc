// Decrypting pages ahead of the reader on a second thread.
#include "reader/decrypt_ahead.h"

#include <algorithm>
#include <chrono>
#include <system_error>

#include "reader/file_read.h"

namespace mendora {

namespace {

// Reads that skip at most this many pages still count as reads in file
// order: a usage map skips the pages of other tables.
constexpr uint32_t kInOrderGap = 8;
// In-order reads before the thread starts or resumes: a lone read, a table
// definition or a long value, says nothing of what comes next.
constexpr uint32_t kInOrderToStart = 2;
// Pages the thread reads with one call: one read of many pages costs the
// system far less than one read of each.
constexpr uint32_t kWindowPages = 32;
// Pages after the reader's that the thread leaves to the reader: what the
// reader does with that many pages takes longer than decrypting one.
constexpr uint32_t kLead = 3;

void Pause() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

int64_t Now() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

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

size_t DecryptAhead::Take(uint32_t n, std::span<uint8_t> page, size_t head) {
  if (head >= page.size()) head = kWhole;
  std::unique_lock<std::mutex> lock(mutex_);
  auto find = [&] {
    return std::find_if(ready_.begin(), ready_.end(), [&](const Ready& r) { return r.number == n && r.head == head; });
  };
  auto found = find();
  if (found == ready_.end() && in_progress_.load(std::memory_order_acquire) == n && head_ == head) {
    // Half done, most likely: waiting costs less than doing it again here.
    // But a thread that lost its core may not be back for a long while, so
    // the wait ends after what the page would cost here. The clock is read
    // now and then only: read on every turn it cost the reader more than
    // the waits themselves.
    lock.unlock();
    const int64_t give_up = Now() + page_cost_.load(std::memory_order_relaxed);
    for (uint32_t turn = 1; in_progress_.load(std::memory_order_acquire) == n; ++turn) {
      Pause();
      if (turn % 64 == 0 && Now() >= give_up) break;
    }
    lock.lock();
    found = find();
  }
  if (found == ready_.end()) return 0;
  // A head decrypted short of the page's end depends on the bytes before
  // that alone.
  const size_t compared = std::min(found->plain_size, page.size());
  const bool same = found->page_size == page.size() && found->stored.size() >= compared &&
                    std::equal(page.begin(), page.begin() + static_cast<std::ptrdiff_t>(compared), found->stored.begin());
  if (same) {
    // Kept until the reader moves on: it reads its current page again
    // after other reads took the buffer.
    std::copy(found->plain.begin(), found->plain.begin() + static_cast<std::ptrdiff_t>(found->plain_size),
              page.begin());
    return found->plain_size;
  }
  spare_.push_back(std::move(*found));
  ready_.erase(found);
  return 0;
}

void DecryptAhead::Follow(uint32_t n, size_t head) {
  bool wake = false;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (n == last_) return;
    in_order_ = n > last_ && n - last_ <= kInOrderGap ? in_order_ + 1 : 0;
    last_ = n;
    if (head != head_) {
      // Pages made for another reader are of no use to this one.
      head_ = head;
      next_ = n + 1;
    }
    const uint64_t window_end = std::min<uint64_t>(uint64_t{n} + 1 + kDepth, page_count_);
    // Pages the reader went past, or far ahead of it, would only hold room.
    for (auto it = ready_.begin(); it != ready_.end();) {
      if (it->number >= n && it->number < window_end && it->head == head_) {
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
    // A sleeping thread is woken for a run of pages, not for each: waking
    // it costs both threads about as much as a page.
    wake = sleeping_ && next_ < end_ && (end_ - next_ >= kDepth / 4 || end_ == page_count_) &&
           ready_.size() + kDepth / 4 <= kDepth;
  }
  if (wake) wake_.notify_one();
}

std::span<const uint8_t> DecryptAhead::Stored(uint32_t n) {
  const uint64_t offset = uint64_t{n} * page_size_;
  if (window_first_ < 0 || n < window_first_ || offset >= uint64_t(window_first_) * page_size_ + window_bytes_) {
    window_.resize(size_t{kWindowPages} * page_size_);
    window_first_ = n;
    const ssize_t got = ReadFileAt(descriptor_, window_.data(), window_.size(), offset);
    window_bytes_ = got > 0 ? static_cast<size_t>(got) : 0;
  }
  const size_t at = static_cast<size_t>(offset - uint64_t(window_first_) * page_size_);
  if (at >= window_bytes_) return {};
  return std::span<const uint8_t>(window_.data() + at, std::min<size_t>(page_size_, window_bytes_ - at));
}

void DecryptAhead::Run() {
  Ready page;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    sleeping_ = true;
    wake_.wait(lock, [&] { return stopping_ || (next_ < end_ && ready_.size() < kDepth); });
    sleeping_ = false;
    if (stopping_) return;
    // Never the pages right after the reader's: the reader gets there
    // before the thread is done with them, and would wait. The thread stays
    // a few pages further on, and where it falls behind the reader decrypts
    // the pages it meets itself, so that both cores decrypt, each its own.
    if (next_ <= last_ + kLead) next_ = std::min(last_ + kLead + 1, end_);
    if (next_ >= end_) continue;
    const uint32_t n = next_++;
    const size_t head = head_;
    in_progress_.store(n, std::memory_order_release);
    if (!spare_.empty()) {
      page = std::move(spare_.back());
      spare_.pop_back();
    }
    lock.unlock();
    const int64_t start = Now();
    const std::span<const uint8_t> stored = Stored(n);
    page.number = n;
    page.head = head;
    page.plain.assign(stored.begin(), stored.end());
    page.plain_size = stored.empty() ? 0 : cipher_->DecryptHeadUncached(n, std::span(page.plain), head);
    // The plain bytes depend on these alone: a head needs no copy of the
    // rest of its page.
    page.stored.assign(stored.begin(), stored.begin() + static_cast<std::ptrdiff_t>(page.plain_size));
    page.page_size = stored.size();
    // A page the thread lost its core on says nothing of what pages cost.
    const int64_t before = page_cost_.load(std::memory_order_relaxed);
    const int64_t cost = before == 0 ? Now() - start : std::min(Now() - start, 2 * before);
    page_cost_.store(before == 0 ? cost : before + (cost - before) / 8, std::memory_order_relaxed);
    lock.lock();
    in_progress_.store(-1, std::memory_order_release);
    if (page.plain_size != 0 && n > last_ && head == head_) ready_.push_back(std::move(page));
  }
}

}  // namespace mendora
