// Reading a plain file's windows ahead of the reader on a second thread.
#include "reader/windows_ahead.h"

#include <algorithm>
#include <chrono>
#include <new>

#include "reader/file_read.h"

namespace mendora {

namespace {

// How long the reader waits for a window under way: a little more than
// reading it takes, so a thread that lost its core costs the reader at most
// about one read of its own.
constexpr auto kMostWait = std::chrono::microseconds(200);

}  // namespace

bool WindowsAhead::Worthwhile(uint64_t file_size, size_t window_bytes) {
  return window_bytes != 0 && file_size / window_bytes > 4 * kDepth && std::thread::hardware_concurrency() > 1;
}

WindowsAhead::WindowsAhead(int descriptor, uint64_t file_size, size_t capacity)
    : descriptor_(descriptor), file_size_(file_size), capacity_(capacity), thread_([this] { Run(); }) {}

WindowsAhead::~WindowsAhead() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

ssize_t WindowsAhead::Read(std::unique_ptr<uint8_t[]>& buffer, uint64_t offset, size_t size) {
  size = std::min(size, capacity_);
  bool taken = false;
  bool wake = false;
  ssize_t got = 0;
  {
    std::unique_lock lock(mutex_);
    const auto find = [&] {
      return std::find_if(windows_.begin(), windows_.end(),
                          [&](const Window& w) { return w.offset == offset && w.size >= size; });
    };
    auto it = find();
    if (it != windows_.end() && it->state == Window::State::kReading) {
      done_.wait_for(lock, kMostWait, [&] {
        it = find();
        return it == windows_.end() || it->state != Window::State::kReading;
      });
    }
    if (it != windows_.end() && it->state == Window::State::kReady) {
      std::swap(buffer, it->bytes);
      got = it->got < 0 ? it->got : std::min<ssize_t>(it->got, static_cast<ssize_t>(size));
      spare_.push_back(std::move(it->bytes));
      windows_.erase(it);
      taken = true;
    }
    Want(offset, size);
    // A thread that waits is woken for a few windows at once, or when the
    // next one is not read yet: each wake costs both threads a little.
    size_t wanted = 0;
    bool next_wanted = false;
    for (const Window& w : windows_) {
      if (w.state != Window::State::kWanted) continue;
      ++wanted;
      next_wanted = next_wanted || w.offset == offset + size;
    }
    wake = wanted >= kDepth / 2 || next_wanted;
  }
  if (wake) wake_.notify_one();
  return taken ? got : ReadFileAt(descriptor_, buffer.get(), size, offset);
}

void WindowsAhead::Want(uint64_t offset, size_t size) {
  // The windows after the reader's, and no other: the rest is behind it,
  // or was asked for by a reader that has since jumped.
  const auto asked = [&](const Window& w) {
    return w.size == size && w.offset > offset && (w.offset - offset) % size == 0 &&
           (w.offset - offset) / size <= kDepth;
  };
  for (auto it = windows_.begin(); it != windows_.end();) {
    if (asked(*it) || it->state == Window::State::kReading) {
      // One being read goes once the thread is done with it.
      it->wanted = asked(*it);
      ++it;
      continue;
    }
    if (it->bytes) spare_.push_back(std::move(it->bytes));
    it = windows_.erase(it);
  }
  for (uint64_t k = 1; k <= kDepth && size != 0; ++k) {
    const uint64_t at = offset + k * size;
    if (at >= file_size_) break;
    const bool there = std::any_of(windows_.begin(), windows_.end(),
                                   [&](const Window& w) { return w.offset == at && w.size == size; });
    if (!there) windows_.push_back(Window{at, size, Window::State::kWanted, true, 0, nullptr});
  }
}

void WindowsAhead::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    Window* next = nullptr;
    wake_.wait(lock, [&] {
      next = nullptr;
      for (Window& w : windows_) {
        if (w.state == Window::State::kWanted && (next == nullptr || w.offset < next->offset)) next = &w;
      }
      return stopping_ || next != nullptr;
    });
    if (stopping_) return;
    next->state = Window::State::kReading;
    const uint64_t offset = next->offset;
    const size_t size = next->size;
    std::unique_ptr<uint8_t[]> bytes;
    if (!spare_.empty()) {
      bytes = std::move(spare_.back());
      spare_.pop_back();
    }
    lock.unlock();
    if (!bytes) {
      try {
        bytes = std::make_unique_for_overwrite<uint8_t[]>(capacity_);
      } catch (const std::bad_alloc&) {
        // No room: the window is left to the reader.
      }
    }
    const ssize_t got = bytes ? ReadFileAt(descriptor_, bytes.get(), size, offset) : -1;
    lock.lock();
    // The reader may have moved on meanwhile, and the list changed with it.
    const auto it = std::find_if(windows_.begin(), windows_.end(), [&](const Window& w) {
      return w.offset == offset && w.size == size && w.state == Window::State::kReading;
    });
    if (it != windows_.end() && it->wanted && bytes) {
      it->state = Window::State::kReady;
      it->got = got;
      it->bytes = std::move(bytes);
    } else {
      if (bytes) spare_.push_back(std::move(bytes));
      if (it != windows_.end()) windows_.erase(it);
    }
    done_.notify_all();
  }
}

}  // namespace mendora
