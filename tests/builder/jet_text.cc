// Field writers and text encodings.
#include "tests/builder/jet_text.h"

#include <iconv.h>

#include <array>
#include <stdexcept>

namespace mendora::testing::detail {

namespace {

// Code points of bytes 0x80-0x9F in code page 1252. The five bytes the code
// page leaves undefined stand for the C1 control of the same value, as the
// Windows conversion does.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::vector<uint32_t> CodePoints(const std::string& utf8) {
  std::vector<uint32_t> out;
  size_t i = 0;
  const size_t n = utf8.size();
  while (i < n) {
    const auto b = static_cast<uint8_t>(utf8[i]);
    int extra = 0;
    uint32_t cp = 0;
    if (b < 0x80) {
      cp = b;
    } else if ((b & 0xE0) == 0xC0) {
      extra = 1;
      cp = b & 0x1F;
    } else if ((b & 0xF0) == 0xE0) {
      extra = 2;
      cp = b & 0x0F;
    } else if ((b & 0xF8) == 0xF0) {
      extra = 3;
      cp = b & 0x07;
    } else {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    bool ok = true;
    for (int k = 1; k <= extra; ++k) {
      if (i + k >= n || (static_cast<uint8_t>(utf8[i + k]) & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      cp = (cp << 6) | (static_cast<uint8_t>(utf8[i + k]) & 0x3F);
    }
    if (!ok || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    out.push_back(cp);
    i += extra + 1;
  }
  return out;
}

}  // namespace

std::u16string Utf8ToUtf16(const std::string& utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (uint32_t cp : CodePoints(utf8)) {
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

Bytes EncodeCp1252(const std::string& utf8) {
  Bytes out;
  out.reserve(utf8.size());
  for (uint32_t cp : CodePoints(utf8)) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      out.push_back(static_cast<uint8_t>(cp));
      continue;
    }
    uint8_t byte = '?';
    for (size_t k = 0; k < kCp1252High.size(); ++k) {
      if (kCp1252High[k] == cp) {
        byte = static_cast<uint8_t>(0x80 + k);
        break;
      }
    }
    out.push_back(byte);
  }
  return out;
}

Bytes EncodeUtf16(const std::u16string& units) {
  Bytes out;
  out.reserve(units.size() * 2);
  for (char16_t u : units) PutU16(out, static_cast<uint16_t>(u));
  return out;
}

std::optional<Bytes> CompressUtf16(const std::u16string& units) {
  Bytes out = {0xFF, 0xFE};
  out.reserve(units.size() + 8);
  bool one_byte = true;
  for (char16_t u : units) {
    if (u == 0) return std::nullopt;
    if (u < 0x100) {
      if (!one_byte) {
        out.push_back(0x00);
        one_byte = true;
      }
      out.push_back(static_cast<uint8_t>(u));
    } else {
      if ((u & 0xFF) == 0) return std::nullopt;
      if (one_byte) {
        out.push_back(0x00);
        one_byte = false;
      }
      PutU16(out, static_cast<uint16_t>(u));
    }
  }
  if (out.size() >= units.size() * 2) return std::nullopt;
  return out;
}

Bytes EncodeCodePage(const std::string& utf8, int code_page) {
  iconv_t conv = iconv_open(("CP" + std::to_string(code_page)).c_str(), "UTF-8");
  if (conv == reinterpret_cast<iconv_t>(-1)) throw std::invalid_argument("no code page " + std::to_string(code_page));
  Bytes out;
  for (const uint32_t cp : CodePoints(utf8)) {
    if (cp < 0x80) {
      out.push_back(static_cast<uint8_t>(cp));
      continue;
    }
    // The character alone, as UTF-8, converted on its own.
    std::string one;
    if (cp < 0x800) {
      one = {static_cast<char>(0xC0 | (cp >> 6)), static_cast<char>(0x80 | (cp & 0x3F))};
    } else if (cp < 0x10000) {
      one = {static_cast<char>(0xE0 | (cp >> 12)), static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
             static_cast<char>(0x80 | (cp & 0x3F))};
    } else {
      one = {static_cast<char>(0xF0 | (cp >> 18)), static_cast<char>(0x80 | ((cp >> 12) & 0x3F)),
             static_cast<char>(0x80 | ((cp >> 6) & 0x3F)), static_cast<char>(0x80 | (cp & 0x3F))};
    }
    char buffer[8];
    char* in = one.data();
    char* at = buffer;
    size_t in_left = one.size(), out_left = sizeof buffer;
    iconv(conv, nullptr, nullptr, nullptr, nullptr);
    if (iconv(conv, &in, &in_left, &at, &out_left) == static_cast<size_t>(-1)) {
      out.push_back('?');
    } else {
      out.insert(out.end(), buffer, at);
    }
  }
  iconv_close(conv);
  return out;
}

Bytes EncodeText(JetVersion version, const std::string& utf8, bool compress, int code_page) {
  if (version == JetVersion::kJet3) return code_page == 1252 ? EncodeCp1252(utf8) : EncodeCodePage(utf8, code_page);
  const std::u16string units = Utf8ToUtf16(utf8);
  if (compress) {
    if (auto packed = CompressUtf16(units)) return *packed;
  }
  return EncodeUtf16(units);
}

}  // namespace mendora::testing::detail
