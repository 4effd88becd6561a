// The VBA project's module list and text (see vba_project.h).
#include "reader/vba_project.h"

#include <iconv.h>

#include <cerrno>

#include "reader/byte_cursor.h"
#include "reader/text_codec.h"

namespace mendora {

namespace {

constexpr uint16_t kRecordCodePage = 0x0003;
constexpr uint16_t kRecordVersion = 0x0009;
constexpr uint16_t kRecordModuleName = 0x0019;
constexpr uint16_t kRecordModuleNameUnicode = 0x0047;
constexpr uint16_t kRecordStreamName = 0x001A;
constexpr uint16_t kRecordStreamNameUnicode = 0x0032;
constexpr uint16_t kRecordSourceOffset = 0x0031;
constexpr uint16_t kRecordStandardModule = 0x0021;
constexpr uint16_t kRecordClassModule = 0x0022;
constexpr uint16_t kRecordModuleEnd = 0x002B;
constexpr uint16_t kRecordDirEnd = 0x0010;
// The version record's size field counts 4 of its 6 bytes.
constexpr uint32_t kVersionExtraBytes = 2;

}  // namespace

std::string CodePageToUtf8(std::string_view bytes, int code_page) {
  const std::string name = code_page == 65001 ? "UTF-8" : "CP" + std::to_string(code_page);
  iconv_t conv = iconv_open("UTF-8", name.c_str());
  if (conv == reinterpret_cast<iconv_t>(-1)) {
    return CodePage::Windows1252()->Decode(ByteView(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
  }
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  char buffer[4096];
  char* in = const_cast<char*>(bytes.data());
  size_t in_left = bytes.size();
  while (in_left > 0) {
    char* out_at = buffer;
    size_t out_left = sizeof buffer;
    const size_t done = iconv(conv, &in, &in_left, &out_at, &out_left);
    out.append(buffer, static_cast<size_t>(out_at - buffer));
    if (done == static_cast<size_t>(-1) && errno != E2BIG) {
      // A byte that does not decode stands for itself as U+FFFD.
      out += "\xEF\xBF\xBD";
      ++in;
      --in_left;
      iconv(conv, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(conv);
  return out;
}

VbaProjectDir ReadVbaDir(ByteView dir) {
  VbaProjectDir project;
  VbaModuleEntry* module = nullptr;
  size_t pos = 0;
  while (pos < dir.size()) {
    const std::optional<uint16_t> id = dir.U16(pos);
    const std::optional<uint32_t> size = dir.U32(pos + 2);
    if (!id || !size) {
      project.problem = "the module list ends inside a record header at byte " + std::to_string(pos);
      break;
    }
    const size_t body = pos + 6;
    const size_t length = *size + (*id == kRecordVersion ? kVersionExtraBytes : 0u);
    const std::optional<ByteView> bytes = dir.Sub(body, length);
    if (!bytes) {
      project.problem = "record 0x" + std::to_string(*id) + " at byte " + std::to_string(pos) + " runs past the module list";
      break;
    }
    const std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
    switch (*id) {
      case kRecordCodePage:
        if (bytes->size() >= 2) project.code_page = ByteCursor(*bytes).U16At(0);
        break;
      case kRecordModuleName:
        project.modules.emplace_back();
        module = &project.modules.back();
        module->name = CodePageToUtf8(text, project.code_page);
        break;
      case kRecordModuleNameUnicode:
        if (module != nullptr && bytes->size() > 0) module->name = Utf16LeToUtf8(*bytes);
        break;
      case kRecordStreamName:
        if (module != nullptr) module->stream = CodePageToUtf8(text, project.code_page);
        break;
      case kRecordStreamNameUnicode:
        if (module != nullptr && bytes->size() > 0) module->stream = Utf16LeToUtf8(*bytes);
        break;
      case kRecordSourceOffset:
        if (module != nullptr && bytes->size() >= 4) module->source_offset = ByteCursor(*bytes).U32At(0);
        break;
      case kRecordStandardModule:
      case kRecordClassModule:
        if (module != nullptr) module->class_module = *id == kRecordClassModule;
        break;
      case kRecordModuleEnd:
        module = nullptr;
        break;
      default:
        break;
    }
    pos = body + length;
    if (*id == kRecordDirEnd) break;
  }
  return project;
}

}  // namespace mendora
