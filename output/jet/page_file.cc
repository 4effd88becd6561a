// Writing pages of the file being built.
#include "output/jet/page_file.h"

#include <unistd.h>

#include <cerrno>
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
  const off_t at = static_cast<off_t>(number) * kPageSize;
  size_t done = 0;
  while (done < kPageSize) {
    const ssize_t wrote = ::pwrite(fd_, data + done, kPageSize - done, at + static_cast<off_t>(done));
    if (wrote < 0) {
      if (errno == EINTR) continue;
      throw TargetBroken("cannot write " + path_ + ": " + std::system_category().message(errno));
    }
    if (wrote == 0) throw TargetBroken("cannot write " + path_ + ": nothing was written");
    done += static_cast<size_t>(wrote);
  }
}

void PageFile::Sync() {
  if (::fsync(fd_) != 0) {
    throw TargetBroken("cannot flush " + path_ + " to disk: " + std::system_category().message(errno));
  }
}

}  // namespace mendora::jet
