// Text decoding: Jet 4 plain and compressed text, Jet 3 code pages.
#include "reader/text_codec.h"

#include <gtest/gtest.h>

#include <vector>

namespace mendora {
namespace {

std::string Decode(const std::vector<uint8_t>& bytes) { return Ucs2ToText(ByteView(bytes.data(), bytes.size())); }

TEST(Ucs2ToTextTest, PlainUtf16IncludingSurrogatePairs) {
  EXPECT_EQ(Decode({'T', 0, 'a', 0, 'b', 0}), "Tab");
  EXPECT_EQ(Decode({0x16, 0x04, 0x3B, 0x04}), "Жл");
  EXPECT_EQ(Decode({0x3D, 0xD8, 0x00, 0xDE}), "\xF0\x9F\x98\x80");  // U+1F600
  EXPECT_EQ(Decode({0x3D, 0xD8, 'x', 0}), "\xEF\xBF\xBDx");           // lone high surrogate
  EXPECT_EQ(Decode({'a', 0, 'b'}), "a");                               // odd trailing byte
}

TEST(Ucs2ToTextTest, CompressedRunsSwitchOnZeroBytes) {
  EXPECT_EQ(Decode({0xFF, 0xFE, 'T', 'a', 'b', 'l', 'e'}), "Table");
  // One-byte run, switch, two-byte run, switch back.
  EXPECT_EQ(Decode({0xFF, 0xFE, 'A', 0x00, 0x16, 0x04, 0xB1, 0x03, 0x00, 'z'}), "AЖαz");
  // A one-byte character is the low byte of a character below U+0100.
  EXPECT_EQ(Decode({0xFF, 0xFE, 0xE9}), "é");
  EXPECT_EQ(Decode({0xFF, 0xFE}), "");
  // A two-byte run cut in the middle keeps what is whole.
  EXPECT_EQ(Decode({0xFF, 0xFE, 0x00, 0x16, 0x04, 0x3B}), "Ж");
}

TEST(CodePageTest, Windows1252AndOthersToUtf8) {
  const std::vector<uint8_t> bytes = {'c', 'a', 'f', 0xE9, 0x80, 0x9F};
  EXPECT_EQ(CodePage::Windows1252()->Decode(ByteView(bytes.data(), bytes.size())), "café€Ÿ");
  const std::vector<uint8_t> cyrillic = {0xC6, 0xE8};
  EXPECT_EQ(CodePage::ForWindowsCodePage(1251)->Decode(ByteView(cyrillic.data(), 2)), "Жи");
  // Unknown numbers fall back to Windows-1252; undefined bytes keep Latin-1.
  EXPECT_EQ(CodePage::ForWindowsCodePage(437)->number(), 1252);
  const std::vector<uint8_t> undefined = {0x81};
  EXPECT_EQ(CodePage::Windows1252()->Decode(ByteView(undefined.data(), 1)), "\xC2\x81");
  const std::vector<uint8_t> stops = {'a', 0, 'b'};
  EXPECT_EQ(CodePage::Windows1252()->Decode(ByteView(stops.data(), 3)), "a");
}

TEST(Utf8CountTest, CountsAndCutsWholeCharacters) {
  EXPECT_EQ(CountUtf8Chars("aЖ€😀"), 4u);
  EXPECT_EQ(CutUtf8("aЖ€😀", 2), "aЖ");
  EXPECT_EQ(CutUtf8("ab", 5), "ab");
}

}  // namespace
}  // namespace mendora
