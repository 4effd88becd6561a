// Jet 4 text encoding.
#include "output/jet/jet_text.h"

#include "reader/jet_format.h"

namespace mendora::jet {

std::u16string Utf8ToUtf16(const std::string& utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  size_t i = 0;
  const size_t n = utf8.size();
  while (i < n) {
    const auto byte = [&](size_t k) { return static_cast<uint8_t>(utf8[k]); };
    const uint8_t lead = byte(i);
    uint32_t cp = 0xFFFD;
    size_t length = 1;
    if (lead < 0x80) {
      cp = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4;
    }
    if (length > 1) {
      bool ok = i + length <= n;
      uint32_t value = lead & (0x7F >> length);
      for (size_t k = 1; ok && k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) ok = false;
        value = value << 6 | (byte(i + k) & 0x3F);
      }
      if (ok) {
        cp = value;
      } else {
        length = 1;
      }
    }
    i += length;
    if (cp >= 0x10000 && cp <= 0x10FFFF) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp > 0x10FFFF ? 0xFFFD : cp));
    }
  }
  return out;
}

namespace {

Bytes Utf16Le(const std::u16string& units) {
  Bytes out;
  out.reserve(units.size() * 2);
  for (char16_t unit : units) PutU16(out, static_cast<uint16_t>(unit));
  return out;
}

// The compressed form, or empty when a character cannot be written in it
// (a U+0000 would read as a switch, as would a two-byte character whose low
// byte is 0 right after a switch).
Bytes Compress(const std::u16string& units) {
  Bytes out;
  out.push_back(static_cast<char>(kCompressedTextMark[0]));
  out.push_back(static_cast<char>(kCompressedTextMark[1]));
  bool narrow = true;
  for (char16_t unit : units) {
    if (unit == 0) return {};
    const bool fits = unit < 0x100;
    if (fits != narrow) {
      out.push_back('\0');
      narrow = fits;
    }
    if (narrow) {
      out.push_back(static_cast<char>(unit));
    } else {
      if ((unit & 0xFF) == 0) return {};
      PutU16(out, static_cast<uint16_t>(unit));
    }
  }
  return out;
}

}  // namespace

Bytes EncodeText(const std::u16string& units, bool compress) {
  if (compress && !units.empty()) {
    Bytes compressed = Compress(units);
    if (!compressed.empty() && compressed.size() < units.size() * 2) return compressed;
  }
  return Utf16Le(units);
}

Bytes EncodeText(const std::string& utf8, bool compress) { return EncodeText(Utf8ToUtf16(utf8), compress); }

Bytes EncodeName(const std::string& utf8) { return Utf16Le(Utf8ToUtf16(utf8)); }

}  // namespace mendora::jet
