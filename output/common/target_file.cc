// The file a target database is built in before it is moved to its path.
#include "output/common/target_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <system_error>
#include <vector>

#include "output/common/target_error.h"
#include "recovery/stop_point.h"

namespace mendora {
namespace {

std::string ErrorText(int error) { return std::system_category().message(error); }

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

constexpr size_t kSuffixLength = 8;
constexpr char kLeftoverInfix[] = ".mendora-";

std::string BaseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The name prefixes of files beside `path`: its own name when the name
// leaves room, else a hidden one in its directory.
std::vector<std::string> BesidePrefixes(const std::string& path) {
  return {path + kLeftoverInfix, DirectoryOf(path) + "/" + kLeftoverInfix};
}

bool IsSuffix(const std::string& text) {
  if (text.size() != kSuffixLength) return false;
  for (char c : text) {
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

bool SameFile(int fd, const std::string& path) {
  struct stat open_status;
  struct stat path_status;
  return ::fstat(fd, &open_status) == 0 && ::lstat(path.c_str(), &path_status) == 0 &&
         open_status.st_dev == path_status.st_dev && open_status.st_ino == path_status.st_ino;
}

std::string RandomSuffix() {
  static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937_64 engine{std::random_device{}()};
  std::uniform_int_distribution<size_t> pick(0, sizeof(kChars) - 2);
  std::string suffix;
  for (size_t i = 0; i < kSuffixLength; ++i) suffix += kChars[pick(engine)];
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

FileBeside CreateFileBeside(const std::string& path) {
  int error = 0;
  for (const std::string& prefix : BesidePrefixes(path)) {
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string candidate = prefix + RandomSuffix();
      // Mode 0666 lets the umask decide, as for any file the user creates.
      int fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd < 0) {
        error = errno;
        if (error != EEXIST) break;
        continue;
      }
      // Another save's cleaner may have taken the new file for a leftover
      // between its creation and the lock; then the name is gone and
      // another is tried.
      while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
      }
      if (SameFile(fd, candidate)) return FileBeside{candidate, fd};
      ::close(fd);
    }
    if (error != ENAMETOOLONG) break;
  }
  throw EngineError("cannot create a file beside " + path + ": " + ErrorText(error));
}

void ReleaseLock(int& lock) noexcept {
  if (lock >= 0) ::close(lock);
  lock = -1;
}

std::vector<std::string> RemoveLeftoverFiles(const std::string& path) {
  std::vector<std::string> removed;
  const std::string directory = DirectoryOf(path);
  for (const std::string& prefix : BesidePrefixes(path)) {
    const std::string name_prefix = BaseName(prefix);
    DIR* dir = ::opendir(directory.c_str());
    if (dir == nullptr) return removed;
    std::vector<std::string> candidates;
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name.size() > name_prefix.size() && name.compare(0, name_prefix.size(), name_prefix) == 0 &&
          IsSuffix(name.substr(name_prefix.size()))) {
        candidates.push_back(prefix.substr(0, prefix.size() - name_prefix.size()) + name);
      }
    }
    ::closedir(dir);
    for (const std::string& candidate : candidates) {
      struct stat status;
      if (::lstat(candidate.c_str(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != ::geteuid()) {
        continue;
      }
      const int fd = ::open(candidate.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
      if (fd < 0) continue;
      // The lock is held while the name is removed, so a save that creates
      // a file of this name meanwhile sees it gone and picks another.
      if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && SameFile(fd, candidate)) {
        RemoveWithJournals(candidate);
        removed.push_back(candidate);
      }
      ::close(fd);
    }
  }
  return removed;
}

void CheckReplaceable(const std::string& path) {
  struct stat status;
  if (::stat(path.c_str(), &status) != 0) {
    if (errno == ENOENT) return;  // absent, or a link to nothing: the move replaces the link itself
    throw EngineError("cannot check " + path + ": " + ErrorText(errno));
  }
  if (S_ISREG(status.st_mode)) return;
  const char* kind = S_ISDIR(status.st_mode)    ? "a directory"
                     : S_ISFIFO(status.st_mode) ? "a FIFO"
                     : S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode) ? "a device"
                     : S_ISSOCK(status.st_mode)                           ? "a socket"
                                                                          : "not a regular file";
  throw EngineError("cannot save to " + path + ": it is " + std::string(kind) +
                    ", and only a regular file is ever replaced");
}

void PublishFile(const std::string& temp, const std::string& path, bool replace,
                 const std::function<void()>& last_check) {
  StopPoint("fsync");
  SyncPath(temp, 0);
  StopPoint("rename");
  if (last_check) last_check();
  if (replace) {
    CheckReplaceable(path);
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
      throw EngineError("cannot move the target to " + path + ": " + ErrorText(errno));
    }
  } else {
    MoveWithoutReplacing(temp, path);
  }
  StopPoint("published");
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
