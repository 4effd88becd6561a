// The VBA project of an Access file: its `dir` stream, which lists the
// modules, and the source text of each module.
//
// The project lives in the storage VBA/VBAProject/VBA: `dir`, compressed
// (see vba_compression.h), is a run of records, each a 16-bit id, a 32-bit
// size and that many bytes (the version record, id 0x0009, has two bytes
// more than its size says). Among them: the project's code page (0x0003),
// and for each module its name (0x0019, and 0x0047 in UTF-16), the name of
// its stream (0x001A), the offset of its compressed source in that stream
// (0x0031), and its kind (0x0021 a standard module, 0x0022 a class module:
// also the modules of forms and reports). A module's stream holds compiled
// code first and its compressed source from that offset on.
#ifndef MENDORA_READER_VBA_PROJECT_H_
#define MENDORA_READER_VBA_PROJECT_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "reader/byte_view.h"

namespace mendora {

inline constexpr const char* kVbaStorage = "VBA";
inline constexpr const char* kVbaProjectStorage = "VBAProject";
inline constexpr const char* kVbaDirStream = "dir";

struct VbaModuleEntry {
  std::string name;    // UTF-8
  std::string stream;  // the name of the stream that holds it, UTF-8
  uint32_t source_offset = 0;
  bool class_module = false;  // a class module, or a form's or report's
};

struct VbaProjectDir {
  int code_page = 1252;
  std::vector<VbaModuleEntry> modules;
  std::string problem;  // empty when every record read
};

// Reads the decompressed `dir` stream. Records past a damaged one are lost
// (said in `problem`); the modules read before it are kept.
VbaProjectDir ReadVbaDir(ByteView dir);

// Text in a Windows code page (single- or double-byte) as UTF-8; bytes that
// do not decode become U+FFFD.
std::string CodePageToUtf8(std::string_view bytes, int code_page);

}  // namespace mendora

#endif  // MENDORA_READER_VBA_PROJECT_H_
