// The VBA decompressor on crafted containers: what each kind of token and
// chunk gives, and that every kind of damage stops it with a reason and the
// bytes before it.
#include "reader/vba_compression.h"

#include <gtest/gtest.h>

#include <string>

namespace mendora {
namespace {

std::string U16(uint16_t v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }

// A compressed chunk of `tokens`: the header says compressed, signature 3,
// and the stored size less 3.
std::string Compressed(const std::string& tokens) {
  return U16(static_cast<uint16_t>(0xB000u | (tokens.size() + 2 - 3))) + tokens;
}

std::string Decompress(const std::string& container, std::string* problem = nullptr, size_t limit = 64u << 20) {
  const VbaDecompression result =
      DecompressVba(ByteView(reinterpret_cast<const uint8_t*>(container.data()), container.size()), limit);
  if (problem != nullptr) *problem = result.problem;
  return result.bytes;
}

TEST(VbaCompressionTest, TokensDecompressAsTheirPositionInTheChunkSays) {
  const std::string sixteen = "ABCDEFGHIJKLMNOP";
  const std::string uncompressed(4096, 'u');
  struct Case {
    const char* what;
    std::string container;
    std::string expected;
  } cases[] = {
      {"literals only", "\x01" + Compressed(std::string("\x00", 1) + "abcdefgh" + std::string("\x00", 1) + "ij"),
       "abcdefghij"},
      // At 1 byte into the chunk the offset takes 4 bits and the length 12:
      // one 'a' repeated 300 times, each copy reading what it just made.
      {"a long overlapping copy", "\x01" + Compressed("\x02" "a" + U16(300 - 3)), std::string(301, 'a')},
      // At 16 bytes the offset still takes 4 bits (16 back, 3 long); at 19 it
      // takes 5 (19 back, 5 long).
      {"copies on both sides of the split's change",
       "\x01" + Compressed(std::string("\x00", 1) + sixteen.substr(0, 8) + std::string("\x00", 1) + sixteen.substr(8) +
                           "\x03" + U16((15u << 12) | 0u) + U16((18u << 11) | 2u)),
       sixteen + "ABC" + "ABCDE"},
      // A chunk stored as it is, then a compressed one whose copy stays in
      // its own chunk.
      {"a chunk stored uncompressed", "\x01" + U16(0x3FFF) + uncompressed + Compressed("\x04" "xy" + U16(0x0000)),
       uncompressed + "xy" + "yyy"},
  };
  for (const Case& c : cases) {
    std::string problem;
    EXPECT_EQ(Decompress(c.container, &problem), c.expected) << c.what;
    EXPECT_EQ(problem, "") << c.what;
  }
}

TEST(VbaCompressionTest, DamageStopsWithAReasonAndKeepsWhatCameBefore) {
  struct Case {
    const char* what;
    std::string container;
    std::string kept;
    const char* reason;  // a word of the problem
  } cases[] = {
      {"an empty stream", "", "", "0x01"},
      {"no container signature", "\x02" + Compressed(std::string("\x00", 1) + "ab"), "", "0x01"},
      {"a header cut short", std::string("\x01\xB0", 2), "", "cut short"},
      {"a chunk of another signature", "\x01" + U16(0xA003) + std::string("\x00", 1) + "ab", "", "signature"},
      {"a chunk longer than the stream", "\x01" + U16(0xB000u | 20u) + std::string("\x00", 1) + "abc", "abc", "ends after"},
      {"a copy token with nothing before it", "\x01" + Compressed("\x01" + U16(0x0000)), "", "before its chunk"},
      {"a copy reaching before its chunk",
       "\x01" + U16(0x3FFF) + std::string(4096, 'u') + Compressed("\x02" "z" + U16(1u << 12)), std::string(4096, 'u') + "z",
       "before its chunk"},
      {"an uncompressed chunk that is not 4096 bytes", "\x01" + U16(0x3005) + "abcd", "", "4096"},
      {"a chunk decompressing past 4096 bytes", "\x01" + Compressed("\x02" "a" + U16(4095)), "a", "past 4096"},
      {"a copy token cut short", "\x01" + Compressed("\x02" "a" + std::string("\x05", 1)), "a", "cut short"},
  };
  for (const Case& c : cases) {
    std::string problem;
    EXPECT_EQ(Decompress(c.container, &problem), c.kept) << c.what;
    EXPECT_NE(problem.find(c.reason), std::string::npos) << c.what << ": " << problem;
  }
  std::string problem;
  EXPECT_EQ(Decompress("\x01" + Compressed("\x02" "a" + U16(300 - 3)), &problem, 100).size(), 100u);
  EXPECT_NE(problem.find("past 100 bytes"), std::string::npos) << problem;
}

}  // namespace
}  // namespace mendora
