// The fuzz targets' input as a file only this process sees, so that runs in
// parallel never meet and nothing is left on disk.
#ifndef MENDORA_TESTS_FUZZ_MEMORY_FILE_H_
#define MENDORA_TESTS_FUZZ_MEMORY_FILE_H_

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace mendora::fuzz {

class MemoryFile {
 public:
  MemoryFile(const uint8_t* data, size_t size) : fd_(memfd_create("mendora-fuzz", MFD_CLOEXEC)) {
    size_t done = 0;
    while (fd_ >= 0 && done < size) {
      const ssize_t wrote = write(fd_, data + done, size - done);
      if (wrote <= 0) break;
      done += static_cast<size_t>(wrote);
    }
  }
  ~MemoryFile() {
    if (fd_ >= 0) close(fd_);
  }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;
  std::string path() const { return "/proc/self/fd/" + std::to_string(fd_); }
  bool ok() const { return fd_ >= 0; }

 private:
  int fd_;
};

}  // namespace mendora::fuzz

#endif  // MENDORA_TESTS_FUZZ_MEMORY_FILE_H_
