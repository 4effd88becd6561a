// Reading page heads ahead of the walk on a second thread.
#include "reader/heads_ahead.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "reader/file_read.h"

namespace mendora {

namespace {

// How long the walk waits for a chunk under way: about what reading its
// heads takes the walk itself, so a late thread costs at most that again.
constexpr auto kMostWait = std::chrono::microseconds(400);

}  // namespace

bool HeadsAhead::Worthwhile(uint64_t pages) {
  return pages > 4 * kChunkPages && std::thread::hardware_concurrency() > 1;
}

HeadsAhead::HeadsAhead(int descriptor, uint32_t page_size, uint64_t file_size, uint32_t head)
    : descriptor_(descriptor),
      page_size_(page_size),
      file_size_(file_size),
      head_(std::min(head, kMostHead)),
      chunk_count_(page_size == 0 ? 0 : (file_size / page_size + kChunkPages) / kChunkPages),
      thread_([this] { Run(); }) {}

HeadsAhead::~HeadsAhead() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

HeadsAhead::Chunk* HeadsAhead::Find(uint64_t index) {
  for (Chunk& chunk : chunks_) {
    if (chunk.state != Chunk::State::kFree && chunk.index == index) return &chunk;
  }
  return nullptr;
}

void HeadsAhead::Follow(uint64_t index) {
  reader_ = index;
  // Chunks behind the walk are done with; so is everything ahead when it
  // jumped back. A thread left behind, or far ahead, goes on from the
  // walk's first odd chunk.
  for (Chunk& chunk : chunks_) {
    if (chunk.state == Chunk::State::kReady && !Wanted(chunk.index)) chunk.state = Chunk::State::kFree;
  }
  if (next_ < index || next_ >= index + 2 * kChunks) next_ = index | 1;
  wake_.notify_one();
}

bool HeadsAhead::Take(uint32_t n, uint32_t want, uint8_t* into) {
  const uint64_t index = n / kChunkPages;
  // The even chunks are the walk's own.
  if (want > head_ || index % 2 == 0 || index == given_up_) {
    if (index != reader_) {
      std::lock_guard lock(mutex_);
      Follow(index);
    }
    return false;
  }
  std::unique_lock lock(mutex_);
  if (index != reader_) {
    Follow(index);
    // The chunk is the thread's: it is waited for while under way or next,
    // but not for longer than reading it here would take.
    const auto deadline = std::chrono::steady_clock::now() + kMostWait;
    const bool read = ready_.wait_until(lock, deadline, [&] {
      const Chunk* chunk = Find(index);
      return chunk != nullptr && chunk->state == Chunk::State::kReady;
    });
    if (!read) {
      given_up_ = index;
      if (next_ <= index) next_ = index + 2;
      return false;
    }
  }
  const Chunk* chunk = Find(index);
  if (chunk == nullptr || chunk->state != Chunk::State::kReady) return false;
  const uint32_t at = n % kChunkPages;
  // A read that fell short leaves the page to the walk, which finds out
  // why (the file's last page is short for both alike).
  if (chunk->got[at] < want) return false;
  std::memcpy(into, chunk->bytes.get() + size_t{at} * head_, want);
  return true;
}

void HeadsAhead::Run() {
  for (;;) {
    Chunk* chunk = nullptr;
    uint64_t index = 0;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [&] {
        if (stopping_) return true;
        if (next_ >= chunk_count_ || !Wanted(next_) || next_ == given_up_) return false;
        return std::any_of(chunks_.begin(), chunks_.end(), [](const Chunk& c) { return c.state == Chunk::State::kFree; });
      });
      if (stopping_) return;
      chunk = &*std::find_if(chunks_.begin(), chunks_.end(), [](const Chunk& c) { return c.state == Chunk::State::kFree; });
      index = next_;
      next_ += 2;
      chunk->state = Chunk::State::kFilling;
      chunk->index = index;
    }
    if (!chunk->bytes) chunk->bytes = std::make_unique_for_overwrite<uint8_t[]>(size_t{kChunkPages} * head_);
    for (uint32_t k = 0; k < kChunkPages; ++k) {
      const uint64_t offset = (index * kChunkPages + k) * uint64_t{page_size_};
      ssize_t got = 0;
      if (offset < file_size_) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(head_, file_size_ - offset));
        got = ReadFileAt(descriptor_, chunk->bytes.get() + size_t{k} * head_, want, offset);
      }
      chunk->got[k] = static_cast<uint16_t>(std::max<ssize_t>(got, 0));
    }
    {
      std::lock_guard lock(mutex_);
      chunk->state = Wanted(index) && index != given_up_ ? Chunk::State::kReady : Chunk::State::kFree;
    }
    ready_.notify_all();
  }
}

}  // namespace mendora
