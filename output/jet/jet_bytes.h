// Little- and big-endian field writers for the pages the Jet writer builds.
#ifndef MENDORA_OUTPUT_JET_JET_BYTES_H_
#define MENDORA_OUTPUT_JET_JET_BYTES_H_

#include <cstdint>
#include <string>

namespace mendora::jet {

using Bytes = std::string;

inline void PutU8(Bytes& out, uint8_t v) { out.push_back(static_cast<char>(v)); }
inline void PutU16(Bytes& out, uint16_t v) {
  out.push_back(static_cast<char>(v));
  out.push_back(static_cast<char>(v >> 8));
}
inline void PutU24(Bytes& out, uint32_t v) {
  for (int i = 0; i < 3; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
}
inline void PutU32(Bytes& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
}
inline void PutU64(Bytes& out, uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
}
inline void PutBigU24(Bytes& out, uint32_t v) {
  for (int i = 2; i >= 0; --i) out.push_back(static_cast<char>(v >> (8 * i)));
}
inline void PutBigU32(Bytes& out, uint32_t v) {
  for (int i = 3; i >= 0; --i) out.push_back(static_cast<char>(v >> (8 * i)));
}
inline void SetU16(uint8_t* at, uint16_t v) {
  at[0] = static_cast<uint8_t>(v);
  at[1] = static_cast<uint8_t>(v >> 8);
}
inline void SetU32(uint8_t* at, uint32_t v) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void SetU32(Bytes& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>(v >> (8 * i));
}
inline void SetU16(Bytes& out, size_t at, uint16_t v) {
  out[at] = static_cast<char>(v);
  out[at + 1] = static_cast<char>(v >> 8);
}
// A map or row reference: the row byte, then the page as 24 bits.
inline void PutRowReference(Bytes& out, uint8_t row, uint32_t page) {
  PutU8(out, row);
  PutU24(out, page);
}

}  // namespace mendora::jet

#endif  // MENDORA_OUTPUT_JET_JET_BYTES_H_
