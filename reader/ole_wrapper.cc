// Reading Access's OLE wrapper.
#include "reader/ole_wrapper.h"

#include <cstring>

#include "reader/byte_cursor.h"

namespace mendora {

namespace {

constexpr uint16_t kAccessSignature = 0x1C15;
constexpr uint32_t kOleVersion = 0x0501;
constexpr uint32_t kEmbedded = 2;
constexpr uint16_t kPackageSignature = 2;
constexpr uint16_t kPackageEmbeddedFile = 3;

// A zero-terminated string at `at`, no longer than the view; false when it
// has no end inside.
bool CString(ByteView bytes, size_t& at, std::string& out) {
  ByteCursor in(bytes);
  const size_t end = in.Find(0, at);
  if (end >= bytes.size()) return false;
  out.assign(in.CharsAt(at, end - at));
  at = end + 1;
  return true;
}

// A string stored as its 32-bit length (terminator included), then its bytes.
bool LengthString(ByteView bytes, size_t& at, std::string& out) {
  const std::optional<uint32_t> length = bytes.U32(at);
  if (!length || !bytes.Contains(at + 4, *length)) return false;
  out.assign(reinterpret_cast<const char*>(bytes.data()) + at + 4, *length);
  while (!out.empty() && out.back() == '\0') out.pop_back();
  at += 4u + *length;
  return true;
}

bool StartsWith(ByteView bytes, const char* magic, size_t length) {
  return bytes.size() >= length && std::memcmp(bytes.data(), magic, length) == 0;
}

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// The media type of a file, by its first bytes and, for Office's compound
// and zip files, by the class that made it. Empty: no file we know.
std::string MediaType(ByteView file, const std::string& class_name, bool any_file) {
  if (StartsWith(file, "BM", 2)) return "image/bmp";
  if (StartsWith(file, "\x89PNG\r\n\x1a\n", 8)) return "image/png";
  if (StartsWith(file, "\xFF\xD8\xFF", 3)) return "image/jpeg";
  if (StartsWith(file, "GIF8", 4)) return "image/gif";
  if (StartsWith(file, "II*\0", 4) || StartsWith(file, "MM\0*", 4)) return "image/tiff";
  if (StartsWith(file, "%PDF", 4)) return "application/pdf";
  const bool compound = StartsWith(file, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
  const bool zip = StartsWith(file, "PK\x03\x04", 4);
  if (compound || zip) {
    if (Contains(class_name, "Word")) {
      return zip ? "application/vnd.openxmlformats-officedocument.wordprocessingml.document" : "application/msword";
    }
    if (Contains(class_name, "Excel")) {
      return zip ? "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet" : "application/vnd.ms-excel";
    }
    if (Contains(class_name, "PowerPoint")) {
      return zip ? "application/vnd.openxmlformats-officedocument.presentationml.presentation"
                 : "application/vnd.ms-powerpoint";
    }
    return zip ? "application/zip" : "application/x-ole-storage";
  }
  // A Package holds a file whatever it is.
  return any_file ? "application/octet-stream" : "";
}

// The file inside a Package's native data: a label, the source path, an
// icon, then the file's temporary path, its length and its bytes.
bool PackageFile(ByteView native, size_t& offset, size_t& length, std::string& file_name) {
  size_t at = 0;
  std::string label, path, temp;
  if (native.U16(0) != kPackageSignature) return false;
  at = 2;
  if (!CString(native, at, label) || !CString(native, at, path)) return false;
  const std::optional<uint16_t> kind = native.U16(at + 2);  // after the icon's index
  if (kind != kPackageEmbeddedFile) return false;
  at += 4;
  if (!LengthString(native, at, temp)) return false;
  const std::optional<uint32_t> size = native.U32(at);
  if (!size || !native.Contains(at + 4, *size)) return false;
  offset = at + 4;
  length = *size;
  file_name = label.empty() ? path : label;
  const size_t slash = file_name.find_last_of("\\/");
  if (slash != std::string::npos) file_name = file_name.substr(slash + 1);
  return true;
}

}  // namespace

std::optional<OleContent> UnwrapOle(ByteView stored) {
  if (stored.U16(0) != kAccessSignature) return std::nullopt;
  const std::optional<uint16_t> header_size = stored.U16(2);
  const std::optional<uint16_t> class_length = stored.U16(10);
  const std::optional<uint16_t> class_at = stored.U16(14);
  if (!header_size || !class_length || !class_at || !stored.Contains(*class_at, *class_length) ||
      !stored.Contains(0, *header_size)) {
    return std::nullopt;
  }
  OleContent content;
  content.class_name.assign(reinterpret_cast<const char*>(stored.data()) + *class_at, *class_length);
  while (!content.class_name.empty() && content.class_name.back() == '\0') content.class_name.pop_back();

  // The object as OLE stores it: version, format, class, topic, item, then
  // the native data's length and bytes.
  size_t at = *header_size;
  if (stored.U32(at) != kOleVersion || stored.U32(at + 4) != kEmbedded) return std::nullopt;
  at += 8;
  std::string ole_class, topic, item;
  if (!LengthString(stored, at, ole_class) || !LengthString(stored, at, topic) || !LengthString(stored, at, item)) {
    return std::nullopt;
  }
  const std::optional<uint32_t> native_length = stored.U32(at);
  if (!native_length || !stored.Contains(at + 4, *native_length)) return std::nullopt;
  const ByteView native = *stored.Sub(at + 4, *native_length);
  content.offset = at + 4;
  content.length = *native_length;

  if (ole_class == "Package") {
    size_t offset = 0;
    size_t length = 0;
    if (!PackageFile(native, offset, length, content.file_name)) return std::nullopt;
    content.offset += offset;
    content.length = length;
    content.media_type = MediaType(*stored.Sub(content.offset, content.length), content.class_name, true);
    return content;
  }
  content.media_type = MediaType(native, ole_class + " " + content.class_name, false);
  if (content.media_type.empty()) return std::nullopt;
  return content;
}

std::string OleWrapper(const std::string& stored, const OleContent& content) {
  return stored.substr(0, content.offset) + stored.substr(content.offset + content.length);
}

}  // namespace mendora
