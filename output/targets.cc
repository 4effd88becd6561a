// Save targets by format.
#include "output/targets.h"

#include "output/common/pipelined_output.h"
#include "output/jet/index_keys.h"
#include "output/jet/jet_output.h"
#include "output/sqlite/sqlite_output.h"

namespace mendora {

namespace {

std::string LowerExtension(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string extension = path.substr(dot + 1);
  for (char& c : extension) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return extension;
}

}  // namespace

std::optional<SaveFormat> SaveFormatNamed(const std::string& name) {
  if (name == "mdb") return SaveFormat::kAccess;
  if (name == "sqlite") return SaveFormat::kSqlite;
  return std::nullopt;
}

std::optional<SaveFormat> SaveFormatOfPath(const std::string& path) {
  const std::string extension = LowerExtension(path);
  if (extension == "mdb") return SaveFormat::kAccess;
  if (extension == "sqlite" || extension == "db") return SaveFormat::kSqlite;
  return std::nullopt;
}

const char* SaveFormatExtension(SaveFormat format) { return format == SaveFormat::kAccess ? ".mdb" : ".sqlite"; }

TargetFactory MakeTargetFactory(SaveFormat format, OleStorage ole) {
  // The target stores on a thread of its own while the pass reads on.
  if (format == SaveFormat::kAccess) return PipelinedTargetFactory(jet::JetTargetFactory(jet::IndexKeys(), jet::NameKeys()));
  return PipelinedTargetFactory(SqliteTargetFactory(ole));
}

}  // namespace mendora
