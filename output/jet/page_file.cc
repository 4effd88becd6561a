// Writing pages of the file being built.
#include "output/jet/page_file.h"

#include <unistd.h>

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
  if (run_pages_ != 0 && number >= run_first_ && number - run_first_ < run_pages_) {
    std::memcpy(run_.get() + size_t{number - run_first_} * kPageSize, data, kPageSize);
    return;
  }
  if (run_pages_ == 0 || number != run_first_ + run_pages_ || run_pages_ == kRunPages) {
    Flush();
    run_first_ = number;
  }
  std::memcpy(run_.get() + size_t{run_pages_} * kPageSize, data, kPageSize);
  ++run_pages_;
}

void PageFile::Flush() {
  if (run_pages_ == 0) return;
  const uint32_t pages = run_pages_;
  run_pages_ = 0;
  WriteAt(uint64_t{run_first_} * kPageSize, run_.get(), size_t{pages} * kPageSize);
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
