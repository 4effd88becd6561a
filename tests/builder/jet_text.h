// Little-endian field writers and the text forms the builder stores: Jet 3
// text in a Windows code page (1252 by default), Jet 4 UTF-16LE and its compressed form.
#ifndef MENDORA_TESTS_BUILDER_JET_TEXT_H_
#define MENDORA_TESTS_BUILDER_JET_TEXT_H_

#include <cstdint>
#include <optional>
#include <string>

#include "tests/builder/jet_builder.h"

namespace mendora::testing::detail {

inline void PutU8(Bytes& out, uint8_t v) { out.push_back(v); }
inline void PutU16(Bytes& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void PutU24(Bytes& out, uint32_t v) {
  for (int i = 0; i < 3; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void PutU32(Bytes& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void PutU64(Bytes& out, uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void SetU16(uint8_t* at, uint16_t v) {
  at[0] = static_cast<uint8_t>(v);
  at[1] = static_cast<uint8_t>(v >> 8);
}
inline void SetU24(uint8_t* at, uint32_t v) {
  for (int i = 0; i < 3; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void SetU32(uint8_t* at, uint32_t v) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void Append(Bytes& out, const Bytes& more) {
  out.insert(out.end(), more.begin(), more.end());
}

// UTF-8 to UTF-16 code units; malformed sequences become U+FFFD so a test
// string can never make the builder fail.
std::u16string Utf8ToUtf16(const std::string& utf8);

// Code page 1252 bytes; characters it lacks become '?'.
Bytes EncodeCp1252(const std::string& utf8);

Bytes EncodeUtf16(const std::u16string& units);

// The compressed form (0xFF 0xFE, then one-byte runs and UTF-16 runs with a
// 0x00 byte at each switch, starting with one-byte), or nothing when the text
// cannot be written that way (a U+0000, or a wide unit whose low byte is 0,
// would read back as a switch) or would not come out shorter.
std::optional<Bytes> CompressUtf16(const std::u16string& units);

// Text in a Windows code page other than 1252, through iconv; characters
// the code page lacks become '?'. Throws std::invalid_argument for a code
// page iconv does not have.
Bytes EncodeCodePage(const std::string& utf8, int code_page);

// Text as a field of `version` stores it (Jet 3 in `code_page`).
Bytes EncodeText(JetVersion version, const std::string& utf8, bool compress, int code_page = 1252);

}  // namespace mendora::testing::detail

#endif  // MENDORA_TESTS_BUILDER_JET_TEXT_H_
