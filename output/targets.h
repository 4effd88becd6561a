// The save targets by format: what the command line and the app call to
// make the target of a save.
#ifndef MENDORA_OUTPUT_TARGETS_H_
#define MENDORA_OUTPUT_TARGETS_H_

#include <optional>
#include <string>

#include "recovery/recovery_output.h"
#include "recovery/recovery_session.h"

namespace mendora {

enum class SaveFormat { kAccess, kSqlite };

// "mdb" or "sqlite"; nothing for another word.
std::optional<SaveFormat> SaveFormatNamed(const std::string& name);
// The format a target path's extension asks for: .mdb Access, .sqlite and
// .db SQLite; nothing for another extension.
std::optional<SaveFormat> SaveFormatOfPath(const std::string& path);
// The extension a target of `format` gets (".mdb", ".sqlite").
const char* SaveFormatExtension(SaveFormat format);

// The target factory of `format`. `ole` says how the SQLite target stores
// OLE values; an Access target keeps them as the source stores them.
TargetFactory MakeTargetFactory(SaveFormat format, OleStorage ole = OleStorage::kUnwrap);

}  // namespace mendora

#endif  // MENDORA_OUTPUT_TARGETS_H_
