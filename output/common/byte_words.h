// Tests of eight bytes at once, for the scans of text that the exports make
// over every value: most text holds no byte they stop at, and is passed
// over a word at a time.
#ifndef MENDORA_OUTPUT_COMMON_BYTE_WORDS_H_
#define MENDORA_OUTPUT_COMMON_BYTE_WORDS_H_

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

#if defined(__SSE2__)
// Where SSE2 is there, sixteen bytes at once: the length of the run at the
// start of [at, at + size) none of whose bytes `stops` marks (given a vector
// of 16 bytes, the bytes that stop set to 0xFF). The rest of the text is left
// to the word scans.
template <typename Stops>
size_t RunOfSixteens(const void* at, size_t size, Stops stops) {
  const auto* p = static_cast<const unsigned char*>(at);
  size_t i = 0;
  for (; i + 16 <= size; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const auto mask = static_cast<unsigned>(_mm_movemask_epi8(stops(v)));
    if (mask != 0) return i + static_cast<size_t>(std::countr_zero(mask));
  }
  return i;
}
#endif

}  // namespace mendora

#endif  // MENDORA_OUTPUT_COMMON_BYTE_WORDS_H_
