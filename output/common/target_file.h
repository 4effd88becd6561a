// The file a target database is built in before it is moved to its path.
//
// A save never writes at the path the user chose until it is complete, so a
// cancelled or failed pass leaves nothing there, and a file already at the
// path is replaced only when the user asked for that.
#ifndef MENDORA_OUTPUT_COMMON_TARGET_FILE_H_
#define MENDORA_OUTPUT_COMMON_TARGET_FILE_H_

#include <functional>
#include <string>
#include <vector>

namespace mendora {

// A file created beside a target and the lock that marks it as in use.
struct FileBeside {
  std::string path;
  int lock = -1;  // an open descriptor holding an exclusive flock on the file
};

// Creates a new empty file with a unique name in the directory of `path`
// (so the final move stays within one file system) and locks it for as long
// as its `lock` is open: a save that is killed loses the lock with its
// process, which is how RemoveLeftoverFiles tells its file from a live one.
FileBeside CreateFileBeside(const std::string& path);

// Closes the lock of CreateFileBeside; safe on -1.
void ReleaseLock(int& lock) noexcept;

// Removes the files beside `path` that saves killed before they could clean
// up have left (unlocked files of this user named as CreateFileBeside names
// them) and returns their names. A save still running holds its lock, so its
// file is never touched.
std::vector<std::string> RemoveLeftoverFiles(const std::string& path);

// Fails with EngineError unless `path` is absent or a regular file (a link is
// followed): a device, a FIFO, a socket or a directory is never replaced.
void CheckReplaceable(const std::string& path);

// Makes `temp` durable and moves it to `path`. Unless `replace`, fails with
// EngineError when something is already at `path`, leaving it untouched.
// `last_check`, when set, runs after the flush and right before the move; an
// exception from it stops the move. `temp` is left in place when this throws.
void PublishFile(const std::string& temp, const std::string& path, bool replace,
                 const std::function<void()>& last_check = {});

// Removes `temp` and the journal files SQLite may have made beside it.
void RemoveWithJournals(const std::string& temp) noexcept;

}  // namespace mendora

#endif  // MENDORA_OUTPUT_COMMON_TARGET_FILE_H_
