// The file a target database is built in before it is moved to its path.
#include "output/sqlite/target_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <system_error>

#include "output/sqlite/target_engine.h"

namespace mendora {
namespace {

std::string ErrorText(int error) { return std::system_category().message(error); }

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string RandomSuffix() {
  static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937_64 engine{std::random_device{}()};
  std::uniform_int_distribution<size_t> pick(0, sizeof(kChars) - 2);
  std::string suffix;
  for (int i = 0; i < 8; ++i) suffix += kChars[pick(engine)];
  return suffix;
}

void SyncPath(const std::string& path, int flags) {
  int fd = ::open(path.c_str(), flags | O_RDONLY | O_CLOEXEC);
  if (fd < 0 || ::fsync(fd) != 0) {
    int error = errno;
    if (fd >= 0) ::close(fd);
    throw EngineError("cannot flush " + path + " to disk: " + ErrorText(error));
  }
  ::close(fd);
}

[[noreturn]] void Exists(const std::string& path) {
  throw EngineError("a file already exists at " + path + " and replacing it was not requested");
}

// Moves without ever replacing: renameat2 where the file system has it, else
// link(), which also refuses an existing name.
void MoveWithoutReplacing(const std::string& temp, const std::string& path) {
  if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) return;
  int error = errno;
  if (error == EEXIST) Exists(path);
  if (error != EINVAL && error != ENOSYS && error != EOPNOTSUPP) {
    throw EngineError("cannot move the target to " + path + ": " + ErrorText(error));
  }
  if (::link(temp.c_str(), path.c_str()) != 0) {
    error = errno;
    if (error == EEXIST) Exists(path);
    throw EngineError("cannot move the target to " + path + ": " + ErrorText(error));
  }
  ::unlink(temp.c_str());
}

}  // namespace

std::string CreateFileBeside(const std::string& path) {
  // Beside the target by name when the name allows; a very long name would
  // exceed the file system's limit once suffixed.
  std::string prefixes[] = {path + ".mendora-", DirectoryOf(path) + "/.mendora-"};
  int error = 0;
  for (const std::string& prefix : prefixes) {
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string candidate = prefix + RandomSuffix();
      // Mode 0666 lets the umask decide, as for any file the user creates.
      int fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd >= 0) {
        ::close(fd);
        return candidate;
      }
      error = errno;
      if (error != EEXIST) break;
    }
    if (error != ENAMETOOLONG) break;
  }
  throw EngineError("cannot create a file beside " + path + ": " + ErrorText(error));
}

void PublishFile(const std::string& temp, const std::string& path, bool replace) {
  SyncPath(temp, 0);
  if (replace) {
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
      throw EngineError("cannot move the target to " + path + ": " + ErrorText(errno));
    }
  } else {
    MoveWithoutReplacing(temp, path);
  }
  // The move itself lives in the directory; losing it would lose the file.
  try {
    SyncPath(DirectoryOf(path), O_DIRECTORY);
  } catch (const EngineError&) {
    // Some file systems refuse fsync on a directory; the move already happened.
  }
}

void RemoveWithJournals(const std::string& temp) noexcept {
  for (const char* suffix : {"", "-journal", "-wal", "-shm"}) ::unlink((temp + suffix).c_str());
}

}  // namespace mendora
