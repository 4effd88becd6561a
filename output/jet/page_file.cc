// Writing pages of the file being built.
#include "output/jet/page_file.h"

#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "output/common/target_error.h"

namespace mendora::jet {

uint32_t PageFile::Allocate() {
  if (count_ >= kMaxPages) {
    throw TargetBroken("the database would outgrow the " + std::to_string(kMaxPages) + " pages an Access file can hold");
  }
  return count_++;
}

void PageFile::Write(uint32_t number, const uint8_t* data) {
  if (held_ != 0 && number < window_first_) {
    // Late for its window, which is gone: alone.
    WriteAt(uint64_t{number} * kPageSize, data, kPageSize);
    return;
  }
  if (held_ == 0 || number - window_first_ >= kWindowPages) {
    Flush();
    window_first_ = number;
  }
  const uint32_t slot = number - window_first_;
  std::memcpy(window_.get() + size_t{slot} * kPageSize, data, kPageSize);
  held_ |= uint32_t{1} << slot;
}

void PageFile::Flush() {
  uint32_t held = held_;
  held_ = 0;
  while (held != 0) {
    const uint32_t first = static_cast<uint32_t>(std::countr_zero(held));
    const uint32_t run = static_cast<uint32_t>(std::countr_one(held >> first));
    WriteAt(uint64_t{window_first_ + first} * kPageSize, window_.get() + size_t{first} * kPageSize,
            size_t{run} * kPageSize);
    held = run + first >= 32 ? 0 : held & ~((uint32_t{1} << (first + run)) - 1);
  }
}

void PageFile::WriteAt(uint64_t at, const uint8_t* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t wrote = ::pwrite(fd_, data + done, size - done, static_cast<off_t>(at + done));
    if (wrote < 0) {
      if (errno == EINTR) continue;
      throw TargetBroken("cannot write " + path_ + ": " + std::system_category().message(errno));
    }
    if (wrote == 0) throw TargetBroken("cannot write " + path_ + ": nothing was written");
    done += static_cast<size_t>(wrote);
  }
}

void PageFile::Sync() {
  Flush();
  if (::fsync(fd_) != 0) {
    throw TargetBroken("cannot flush " + path_ + " to disk: " + std::system_category().message(errno));
  }
}

}  // namespace mendora::jet
