// Tests of eight bytes at once, for the scans of text that the exports make
// over every value: most text holds no byte they stop at, and is passed
// over a word at a time.
#ifndef MENDORA_OUTPUT_COMMON_BYTE_WORDS_H_
#define MENDORA_OUTPUT_COMMON_BYTE_WORDS_H_

#include <cstdint>
#include <cstring>

namespace mendora {

inline constexpr uint64_t kByteOnes = 0x0101010101010101ull;
inline constexpr uint64_t kByteHighs = 0x8080808080808080ull;

// The eight bytes at `at`, in memory order.
inline uint64_t LoadWord(const void* at) {
  uint64_t word;
  std::memcpy(&word, at, sizeof word);
  return word;
}

// Nonzero when a byte of `word` is `byte`.
inline uint64_t AnyByteIs(uint64_t word, uint8_t byte) {
  const uint64_t x = word ^ (kByteOnes * byte);
  return (x - kByteOnes) & ~x & kByteHighs;
}

// Nonzero when a byte of `word` is below `limit` (at most 0x80).
inline uint64_t AnyByteBelow(uint64_t word, uint8_t limit) { return (word - kByteOnes * limit) & ~word & kByteHighs; }

}  // namespace mendora

#endif  // MENDORA_OUTPUT_COMMON_BYTE_WORDS_H_
