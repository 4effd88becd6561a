// Jet 4 text encoding.
#include "output/jet/jet_text.h"

#include "reader/jet_format.h"

namespace mendora::jet {

std::u16string Utf8ToUtf16(const std::string& utf8) {
  // No byte gives more than one unit (four give two): the units are written
  // in place and the string cut to them at the end.
  const size_t n = utf8.size();
  std::u16string out(n, u'\0');
  char16_t* to = out.data();
  const auto* bytes = reinterpret_cast<const uint8_t*>(utf8.data());
  size_t i = 0;
  while (i < n) {
    const uint8_t lead = bytes[i];
    if (lead < 0x80) {
      *to++ = lead;
      ++i;
      continue;
    }
    uint32_t cp = 0xFFFD;
    size_t length = 1;
    if ((lead & 0xE0) == 0xC0) {
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
        if ((bytes[i + k] & 0xC0) != 0x80) ok = false;
        value = value << 6 | (bytes[i + k] & 0x3F);
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
      *to++ = static_cast<char16_t>(0xD800 + (cp >> 10));
      *to++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      *to++ = static_cast<char16_t>(cp > 0x10FFFF ? 0xFFFD : cp);
    }
  }
  out.resize(static_cast<size_t>(to - out.data()));
  return out;
}

namespace {

Bytes Utf16Le(const std::u16string& units) {
  Bytes out(units.size() * 2, '\0');
  char* to = out.data();
  for (const char16_t unit : units) {
    *to++ = static_cast<char>(unit & 0xFF);
    *to++ = static_cast<char>(unit >> 8);
  }
  return out;
}

// The compressed form, or empty when a character cannot be written in it
// (a U+0000 would read as a switch, as would a two-byte character whose low
// byte is 0 right after a switch).
Bytes Compress(const std::u16string& units) {
  // At most a switch and two bytes per unit after the mark.
  Bytes out(2 + 3 * units.size(), '\0');
  char* to = out.data();
  *to++ = static_cast<char>(kCompressedTextMark[0]);
  *to++ = static_cast<char>(kCompressedTextMark[1]);
  bool narrow = true;
  for (const char16_t unit : units) {
    if (unit == 0) return {};
    const bool fits = unit < 0x100;
    if (fits != narrow) {
      *to++ = '\0';
      narrow = fits;
    }
    if (narrow) {
      *to++ = static_cast<char>(unit);
    } else {
      if ((unit & 0xFF) == 0) return {};
      *to++ = static_cast<char>(unit & 0xFF);
      *to++ = static_cast<char>(unit >> 8);
    }
  }
  out.resize(static_cast<size_t>(to - out.data()));
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
