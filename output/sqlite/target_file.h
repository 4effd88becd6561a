// The file a target database is built in before it is moved to its path.
//
// A save never writes at the path the user chose until it is complete, so a
// cancelled or failed pass leaves nothing there, and a file already at the
// path is replaced only when the user asked for that.
#ifndef MENDORA_OUTPUT_SQLITE_TARGET_FILE_H_
#define MENDORA_OUTPUT_SQLITE_TARGET_FILE_H_

#include <string>

namespace mendora {

// Creates a new empty file with a unique name in the directory of `path`
// (so the final move stays within one file system) and returns its name.
std::string CreateFileBeside(const std::string& path);

// Makes `temp` durable and moves it to `path`. Unless `replace`, fails with
// EngineError when something is already at `path`, leaving it untouched.
// `temp` is left in place when this throws.
void PublishFile(const std::string& temp, const std::string& path, bool replace);

// Removes `temp` and the journal files SQLite may have made beside it.
void RemoveWithJournals(const std::string& temp) noexcept;

}  // namespace mendora

#endif  // MENDORA_OUTPUT_SQLITE_TARGET_FILE_H_
