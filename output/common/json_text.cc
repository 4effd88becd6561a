// Writing JSON strings.
#include "output/common/json_text.h"

#include <cstdint>
#include <cstring>
#include <nlohmann/json.hpp>

#include "output/common/byte_words.h"

namespace mendora {

namespace {

// What a byte asks of the writer: 0 copied as it is, 1 escaped, 2 the lead
// of a UTF-8 sequence (or a stray byte) to check.
constexpr uint8_t kPlain = 0, kEscape = 1, kMultiByte = 2;

struct ByteClasses {
  uint8_t of[256];
  constexpr ByteClasses() : of() {
    for (int b = 0; b < 256; ++b) of[b] = b < 0x20 || b == '"' || b == '\\' ? kEscape : b >= 0x80 ? kMultiByte : kPlain;
  }
};
constexpr ByteClasses kClasses;

constexpr char kHex[] = "0123456789abcdef";

// Whether none of the eight bytes of `word` asks for more than a copy.
bool AllPlain(uint64_t word) {
  return (AnyByteBelow(word, 0x20) | AnyByteIs(word, '"') | AnyByteIs(word, '\\') | (word & kByteHighs)) == 0;
}

// Where the writer puts its bytes: a string it appends to, or memory with
// room for the most the text can take.
struct StringSink {
  std::string& out;
  void Put(const char* bytes, size_t n) { out.append(bytes, n); }
  void Put(char c) { out.push_back(c); }
};
struct MemorySink {
  char* at;
  void Put(const char* bytes, size_t n) {
    std::memcpy(at, bytes, n);
    at += n;
  }
  void Put(char c) { *at++ = c; }
};

template <typename Sink>
void PutEscaped(Sink& out, unsigned char c) {
  switch (c) {
    case '"': out.Put("\\\"", 2); return;
    case '\\': out.Put("\\\\", 2); return;
    case '\b': out.Put("\\b", 2); return;
    case '\f': out.Put("\\f", 2); return;
    case '\n': out.Put("\\n", 2); return;
    case '\r': out.Put("\\r", 2); return;
    case '\t': out.Put("\\t", 2); return;
    default: {
      const char escaped[6] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
      out.Put(escaped, sizeof escaped);
    }
  }
}

template <typename Sink>
void PutJsonText(Sink& out, std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const unsigned char* const end = p + text.size();
  out.Put('"');
  while (p < end) {
    const unsigned char* run = p;
#if defined(__SSE2__)
    p += RunOfSixteens(p, static_cast<size_t>(end - p), [](__m128i v) {
      // Compared as signed bytes, those from 0x80 up are below 0x20 too.
      return _mm_or_si128(_mm_cmplt_epi8(v, _mm_set1_epi8(0x20)),
                          _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('"')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\\'))));
    });
#endif
    while (end - p >= 8 && AllPlain(LoadWord(p))) p += 8;
    while (p < end && kClasses.of[*p] == kPlain) ++p;
    out.Put(reinterpret_cast<const char*>(run), static_cast<size_t>(p - run));
    if (p == end) break;
    if (kClasses.of[*p] == kEscape) {
      PutEscaped(out, *p++);
      continue;
    }
    size_t valid = 0;
    const size_t length = Utf8SequenceLength(p, end, valid);
    if (length != 0) {
      out.Put(reinterpret_cast<const char*>(p), length);
      p += length;
    } else {
      out.Put("\xEF\xBF\xBD", 3);
      p += valid == 0 ? 1 : valid;
    }
  }
  out.Put('"');
}

}  // namespace

size_t Utf8SequenceLength(const unsigned char* at, const unsigned char* end, size_t& valid) {
  const unsigned char lead = *at;
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the second byte's range
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;  // overlong below
    if (lead == 0xED) high = 0x9F;  // surrogates above
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // past U+10FFFF above
  } else {
    valid = 0;
    return 0;
  }
  valid = 1;
  for (size_t i = 1; i < length; ++i) {
    if (at + i >= end) return 0;
    const unsigned char c = at[i];
    if (i == 1 ? (c < low || c > high) : (c < 0x80 || c > 0xBF)) return 0;
    ++valid;
  }
  return length;
}

void AppendJsonString(std::string& out, std::string_view text) {
  out.reserve(out.size() + text.size() + 2);
  StringSink sink{out};
  PutJsonText(sink, text);
}

char* PutJsonString(char* out, std::string_view text) {
  MemorySink sink{out};
  PutJsonText(sink, text);
  return sink.at;
}

void AppendJsonNumber(std::string& out, double number) {
  // The library's own shortest-digits writer, without a JSON value or the
  // locale lookup its serializer makes for each document.
  char digits[64];
  const char* end = nlohmann::detail::to_chars(digits, digits + sizeof digits, number);
  out.append(digits, static_cast<size_t>(end - digits));
}

}  // namespace mendora
