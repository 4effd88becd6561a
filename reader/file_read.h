// Reading bytes of the source file at an offset.
#ifndef MENDORA_READER_FILE_READ_H_
#define MENDORA_READER_FILE_READ_H_

#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>

namespace mendora {

// pread of `size` bytes at `offset`, taken up again when a signal interrupts
// it (the desktop app's and the command line's threads all read the file).
// Returns what pread returns: the bytes read, 0 at the end, -1 on failure.
inline ssize_t ReadFileAt(int descriptor, void* into, size_t size, uint64_t offset) {
  ssize_t got;
  do {
    got = pread(descriptor, into, size, static_cast<off_t>(offset));
  } while (got < 0 && errno == EINTR);
  return got;
}

}  // namespace mendora

#endif  // MENDORA_READER_FILE_READ_H_
