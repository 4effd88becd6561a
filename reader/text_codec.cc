// Text decoding to UTF-8.
#include "reader/text_codec.h"

#include <iconv.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <bit>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "reader/byte_cursor.h"
#include "reader/jet_format.h"
#include "reader/page_cipher.h"

namespace mendora {

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

namespace {

// Writes UTF-8 into storage sized for the worst case up front; text decoding
// is the hottest loop of an analysis.
class Utf8Writer {
 public:
  // Keeps the first `keep` bytes already in `out`.
  Utf8Writer(std::string& out, size_t max_bytes, size_t keep = 0) : out_(out) {
    out_.resize(keep + max_bytes);
    at_ = out_.data() + keep;
  }
  ~Utf8Writer() {
    FlushHigh();
    out_.resize(static_cast<size_t>(at_ - out_.data()));
  }

  void PutUnit(uint16_t unit) {
    if (unit < 0x80 && high_ == 0) {
      *at_++ = static_cast<char>(unit);
      return;
    }
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      FlushHigh();
      high_ = unit;
      return;
    }
    if (unit >= 0xDC00 && unit <= 0xDFFF && high_ != 0) {
      Put(0x10000 + ((static_cast<uint32_t>(high_) - 0xD800) << 10) + (unit - 0xDC00u));
      high_ = 0;
      return;
    }
    FlushHigh();
    Put(unit);
  }

 private:
  void FlushHigh() {
    if (high_ != 0) Put(0xFFFD);
    high_ = 0;
  }
  void Put(uint32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
      *at_++ = static_cast<char>(cp);
    } else if (cp < 0x800) {
      *at_++ = static_cast<char>(0xC0 | (cp >> 6));
      *at_++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      *at_++ = static_cast<char>(0xE0 | (cp >> 12));
      *at_++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      *at_++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      *at_++ = static_cast<char>(0xF0 | (cp >> 18));
      *at_++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      *at_++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      *at_++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
  }

  std::string& out_;
  char* at_;
  uint16_t high_ = 0;
};

}  // namespace

std::string Utf16LeToUtf8(ByteView bytes) {
  std::string out;
  Utf16LeToUtf8Into(bytes, out);
  return out;
}

namespace {

// The bytes of an eight-byte word (its first byte lowest) that are 0x00 or
// past ASCII, as the top bit of each: exact up to the first such byte, which
// is all a caller asks (a zero's borrow may mark the bytes after it).
inline uint64_t StopBytes(uint64_t word) {
  return (((word - 0x0101010101010101ull) & ~word) | word) & 0x8080808080808080ull;
}

inline uint64_t Word8At(const uint8_t* p) {
  uint64_t word;
  std::memcpy(&word, p, 8);
  if constexpr (std::endian::native == std::endian::big) {
    word = 0;
    for (int k = 7; k >= 0; --k) word = word << 8 | p[k];
  }
  return word;
}

// Copies the run of bytes at the start of [b, b + n) that are characters
// of the compressed form as they are (neither 0x00, a switch of form, nor
// past ASCII) to o, which has room for n; returns its length. Bytes after
// the run may be copied too, for the caller to write over. Sixteen bytes at
// a time where the machine has SSE2, eight elsewhere, the last block ending
// at n (overlapping the one before) rather than a byte at a time; never a
// byte outside [b, b + n). Inlined into each caller, where it is most of
// the work (as a call of its own it costs the Jet 4 text a tenth more).
#if defined(__GNUC__)
__attribute__((always_inline))
#endif
inline size_t CopyAsciiBytes(const uint8_t* b, size_t n, char* o) {
  size_t i = 0;
#if defined(__SSE2__)
  if (n >= 16) {
    const __m128i zero = _mm_setzero_si128();
    // Copies the sixteen bytes at `at`; the top bit of each that is past
    // ASCII, or zero.
    const auto copy = [&](size_t at) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + at));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o + at), v);
      return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(v, _mm_cmpeq_epi8(v, zero))));
    };
    for (; i + 16 <= n; i += 16) {
      if (const unsigned stop = copy(i); stop != 0) return i + static_cast<size_t>(std::countr_zero(stop));
    }
    if (i == n) return n;
    // The bytes before i are known to be plain: the first stop of the last
    // sixteen is at i or after.
    const unsigned stop = copy(n - 16);
    return stop != 0 ? n - 16 + static_cast<size_t>(std::countr_zero(stop)) : n;
  }
#endif
  if (n >= 8) {
    const auto copy = [&](size_t at) {
      std::memcpy(o + at, b + at, 8);
      return StopBytes(Word8At(b + at));
    };
    for (; i + 8 <= n; i += 8) {
      if (const uint64_t stop = copy(i); stop != 0) return i + std::countr_zero(stop) / 8;
    }
    if (i == n) return n;
    const uint64_t stop = copy(n - 8);
    return stop != 0 ? n - 8 + std::countr_zero(stop) / 8 : n;
  }
  for (; i < n && b[i] != 0 && b[i] < 0x80; ++i) o[i] = static_cast<char>(b[i]);
  return i;
}

// Copies the run of ASCII characters at the start of the `units` UTF-16LE
// units at b into o, one byte each; returns its length.
size_t CopyAsciiUnits(const uint8_t* b, size_t units, char* o) {
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
  const __m128i zero = _mm_setzero_si128();
  // Eight characters at a time while all eight are ASCII.
  for (; i + 8 <= units; i += 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 2 * i));
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(v, high), zero)) != 0xFFFF) break;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(o + i), _mm_packus_epi16(v, v));
  }
#endif
  // Four characters at a time while all four are ASCII.
  for (; i + 4 <= units; i += 4) {
    uint64_t word;
    std::memcpy(&word, b + 2 * i, 8);
    if ((word & 0xFF80FF80FF80FF80ull) != 0) break;
    o[i] = static_cast<char>(word);
    o[i + 1] = static_cast<char>(word >> 16);
    o[i + 2] = static_cast<char>(word >> 32);
    o[i + 3] = static_cast<char>(word >> 48);
  }
  for (; i < units; ++i) {
    const uint8_t low = b[2 * i];
    if (b[2 * i + 1] != 0 || low >= 0x80) break;
    o[i] = static_cast<char>(low);
  }
  return i;
}

}  // namespace

void Utf16LeToUtf8Into(ByteView bytes, std::string& out) {
  // Most text is ASCII: it is copied a character at a time until the first
  // character that is not, and only the rest goes through the writer.
  const uint8_t* b = bytes.data();
  const size_t units = bytes.size() / 2;
  out.resize(units);
  size_t i = CopyAsciiUnits(b, units, out.data());
  if (i == units) return;
  // Two input bytes give at most three output bytes; a pending high
  // surrogate at the end adds three more.
  Utf8Writer writer(out, (units - i) * 3 + 3, i);
  for (; i < units; ++i) writer.PutUnit(static_cast<uint16_t>(b[2 * i] | (b[2 * i + 1] << 8)));
}

std::string Ucs2ToText(ByteView bytes) {
  std::string out;
  Ucs2ToTextInto(bytes, out);
  return out;
}

void Ucs2ToTextInto(ByteView bytes, std::string& out) {
  const uint8_t* b = bytes.data();
  const size_t n = bytes.size();
  if (n < 2 || b[0] != 0xFF || b[1] != 0xFE) {
    Utf16LeToUtf8Into(bytes, out);
    return;
  }
  // The compressed form starts with a run of one-byte characters; while they
  // are ASCII they are the UTF-8 as they are, copied a block at a time into
  // the string sized for them, with no second pass (most text is nothing
  // else).
  out.resize(n - 2);
  size_t i = 2 + CopyAsciiBytes(b + 2, n - 2, out.data());
  if (i == n) return;
  // A one-byte character gives at most two output bytes, a two-byte one
  // at most three.
  Utf8Writer writer(out, (n - i) * 2 + 3, i - 2);
  bool compressed = true;
  while (i < n) {
    if (b[i] == 0) {
      compressed = !compressed;
      ++i;
    } else if (compressed) {
      writer.PutUnit(b[i]);
      ++i;
    } else {
      if (i + 1 >= n) break;
      writer.PutUnit(static_cast<uint16_t>(b[i] | (b[i + 1] << 8)));
      i += 2;
    }
  }
}

std::shared_ptr<const CodePage> CodePage::Windows1252() {
  static const std::shared_ptr<const CodePage> cp1252 = ForWindowsCodePage(1252);
  return cp1252;
}

namespace {

bool SingleByte(int number) { return (number >= 1250 && number <= 1258) || number == 874; }
bool DoubleByte(int number) { return number == 932 || number == 936 || number == 949 || number == 950; }

// One character of `in` through iconv, or nothing when the bytes do not
// make exactly one character of the code page.
std::optional<uint32_t> ConvertOne(iconv_t conv, const char* in, size_t size) {
  char buffer[8];
  char* inp = const_cast<char*>(in);
  char* outp = buffer;
  size_t inleft = size, outleft = sizeof buffer;
  iconv(conv, nullptr, nullptr, nullptr, nullptr);
  if (iconv(conv, &inp, &inleft, &outp, &outleft) == static_cast<size_t>(-1) || inleft != 0) return std::nullopt;
  if (iconv(conv, nullptr, nullptr, &outp, &outleft) == static_cast<size_t>(-1)) return std::nullopt;
  if (outp - buffer != 4) return std::nullopt;
  uint32_t cp = 0;
  for (int i = 0; i < 4; ++i) cp |= static_cast<uint32_t>(static_cast<uint8_t>(buffer[i])) << (8 * i);
  return cp;
}

}  // namespace

bool CodePage::Supported(int number) { return SingleByte(number) || DoubleByte(number); }

std::shared_ptr<const CodePage> CodePage::ForWindowsCodePage(int number) {
  static std::mutex mutex;
  static std::map<int, std::shared_ptr<const CodePage>> cache;
  if (!Supported(number)) number = 1252;
  std::lock_guard<std::mutex> lock(mutex);
  if (const auto found = cache.find(number); found != cache.end()) return found->second;

  auto page = std::make_shared<CodePage>();
  page->number_ = number;
  const std::string name = "CP" + std::to_string(number);
  // Code points as 32-bit little-endian units: no UTF-8 to take apart.
  iconv_t conv = iconv_open("UTF-32LE", name.c_str());
  const bool open = conv != reinterpret_cast<iconv_t>(-1);
  for (int byte = 0; byte < 256; ++byte) {
    std::string& target = page->utf8_[byte];
    const char in = static_cast<char>(byte);
    const std::optional<uint32_t> cp =
        byte < 0x80 ? std::optional<uint32_t>(static_cast<uint32_t>(byte)) : open ? ConvertOne(conv, &in, 1) : std::nullopt;
    // Bytes the code page leaves undefined keep their Latin-1 meaning, so no
    // byte of the source is lost.
    AppendUtf8(target, cp.value_or(static_cast<uint32_t>(byte)));
    if (!cp && open && byte >= 0x80 && DoubleByte(number)) page->lead_[byte] = true;
  }
  if (open && DoubleByte(number)) {
    page->pairs_.assign(128 * 256, 0);
    for (int lead = 0x80; lead < 256; ++lead) {
      if (!page->lead_[lead]) continue;
      for (int trail = 0x40; trail < 256; ++trail) {
        const char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        if (const std::optional<uint32_t> cp = ConvertOne(conv, in, 2)) {
          page->pairs_[static_cast<size_t>(lead - 0x80) * 256 + static_cast<size_t>(trail)] = *cp;
        }
      }
    }
  }
  if (open) iconv_close(conv);
  cache[number] = page;
  return page;
}

void CodePage::AppendTo(std::string& out, ByteView bytes) const {
  const uint8_t* b = bytes.data();
  const size_t n = bytes.size();
  for (size_t i = 0; i < n; ++i) {
    const uint8_t byte = b[i];
    if (byte == 0) break;
    if (lead_[byte] && i + 1 < n) {
      const uint32_t cp = pairs_[static_cast<size_t>(byte - 0x80) * 256 + b[i + 1]];
      if (cp != 0) {
        AppendUtf8(out, cp);
        ++i;
        continue;
      }
    }
    out += utf8_[byte];
  }
}

void CodePage::DecodeInto(ByteView bytes, std::string& out) const {
  // ASCII bytes are their own UTF-8 in every code page read (and start no
  // pair): their run is copied a block at a time, and only what follows it
  // goes through the table, which stops at a zero byte as the run does.
  out.resize(bytes.size());
  const size_t run = CopyAsciiBytes(bytes.data(), bytes.size(), out.data());
  out.resize(run);
  if (run < bytes.size()) AppendTo(out, ByteView(bytes.data() + run, bytes.size() - run));
}

std::string CodePage::Decode(ByteView bytes) const {
  std::string out;
  out.reserve(bytes.size());
  AppendTo(out, bytes);
  return out;
}

size_t CountUtf8Chars(const std::string& text) {
  size_t chars = 0;
  for (const char c : text) {
    if ((static_cast<uint8_t>(c) & 0xC0) != 0x80) ++chars;
  }
  return chars;
}

std::string CutUtf8(const std::string& text, size_t chars) {
  size_t seen = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<uint8_t>(text[i]) & 0xC0) != 0x80) {
      if (seen == chars) return text.substr(0, i);
      ++seen;
    }
  }
  return text;
}

void CutUtf8Bytes(std::string& text, size_t bytes) {
  if (text.size() <= bytes) return;
  size_t end = bytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
}

namespace {
char AsciiLowerChar(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiLowerChar(c);
  return out;
}

std::string AsciiUpper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLowerChar(a[i]) != AsciiLowerChar(b[i])) return false;
  }
  return true;
}

int HeaderCodePage(ByteView page0) {
  const std::optional<std::vector<uint8_t>> header = UnmaskedHeader(page0, kHeaderCodePagePos + 2);
  if (!header) return 0;
  return ByteView(header->data(), header->size()).U16(kHeaderCodePagePos).value_or(0);
}

HeaderSort HeaderSortOrder(ByteView page0, bool jet4) {
  const size_t at = jet4 ? kJet4SortOrderPos : kJet3SortOrderPos;
  const std::optional<std::vector<uint8_t>> header = UnmaskedHeader(page0, at + 4);
  if (!header) return {};
  ByteCursor view(ByteView(header->data(), header->size()));
  return HeaderSort{view.U16At(at), jet4 ? view.U16At(at + 2) : uint16_t{0}};
}

int Jet3TextCodePage(ByteView page0) {
  const int named = HeaderCodePage(page0);
  if (CodePage::Supported(named)) return named;
  // The ANSI code page of the locale, by its primary language (the low ten
  // bits of the locale id) and, for Chinese, its sub-language.
  const int locale = HeaderSortOrder(page0, /*jet4=*/false).id;
  switch (locale & 0x3FF) {
    case 0x04: return (locale == 0x0404 || locale == 0x0C04 || locale == 0x1404) ? 950 : 936;  // Chinese
    case 0x11: return 932;  // Japanese
    case 0x12: return 949;  // Korean
    case 0x1E: return 874;  // Thai
    case 0x05: case 0x0E: case 0x15: case 0x18: case 0x1A: case 0x1B: case 0x1C: case 0x24: return 1250;  // Central Europe
    case 0x02: case 0x19: case 0x22: case 0x23: case 0x2F: return 1251;  // Cyrillic
    case 0x08: return 1253;  // Greek
    case 0x1F: return 1254;  // Turkish
    case 0x0D: return 1255;  // Hebrew
    case 0x01: case 0x20: case 0x29: return 1256;  // Arabic
    case 0x25: case 0x26: case 0x27: return 1257;  // Baltic
    case 0x2A: return 1258;  // Vietnamese
    default: return 1252;
  }
}

}  // namespace mendora
