// The cursor's reads stay inside their view: a read that would leave it
// gives zero and fails the cursor for good, whatever the bytes around.
#include "reader/byte_cursor.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace mendora {
namespace {

// Eight bytes of view inside a larger buffer whose other bytes are 0xEE: a
// read past the view would show them.
struct Fenced {
  std::array<uint8_t, 16> buffer{};
  Fenced() {
    buffer.fill(0xEE);
    for (uint8_t i = 0; i < 8; ++i) buffer[4 + i] = static_cast<uint8_t>(0x10 + i);
  }
  ByteView view() const { return ByteView(buffer.data() + 4, 8); }
};

uint64_t LittleEndian(size_t offset, size_t width) {
  uint64_t v = 0;
  for (size_t i = width; i-- > 0;) v = v << 8 | (0x10 + offset + i);
  return v;
}

TEST(ByteCursorTest, ReadsAtAnOffsetSucceedExactlyWhenInsideTheView) {
  const Fenced bytes;
  for (const size_t width : {1, 2, 3, 4, 8}) {
    for (size_t offset = 0; offset <= 10; ++offset) {
      SCOPED_TRACE("width " + std::to_string(width) + " at " + std::to_string(offset));
      ByteCursor in(bytes.view());
      uint64_t got = 0;
      switch (width) {
        case 1: got = in.U8At(offset); break;
        case 2: got = in.U16At(offset); break;
        case 3: got = in.U24At(offset); break;
        case 4: got = in.U32At(offset); break;
        default: got = in.U64At(offset); break;
      }
      const bool inside = offset + width <= 8;
      EXPECT_EQ(in.ok(), inside);
      EXPECT_EQ(got, inside ? LittleEndian(offset, width) : 0u);
      EXPECT_EQ(in.position(), 0u);
    }
  }
}

TEST(ByteCursorTest, SequentialReadsFailForGoodAtTheEnd) {
  const Fenced bytes;
  ByteCursor in(bytes.view(), 2);
  EXPECT_EQ(in.U32(), 0x15141312u);
  EXPECT_EQ(in.U16(), 0x1716u);
  EXPECT_TRUE(in.ok());
  EXPECT_TRUE(in.AtEnd());
  EXPECT_EQ(in.U8(), 0u);  // one byte past the view
  EXPECT_FALSE(in.ok());
  EXPECT_EQ(in.remaining(), 0u);
  EXPECT_EQ(in.U8At(0), 0x10u);  // later reads inside do not clear it
  EXPECT_FALSE(in.ok());

  ByteCursor cut(bytes.view(), 6);
  EXPECT_EQ(cut.U32(), 0u);  // half inside is outside
  EXPECT_FALSE(cut.ok());
  EXPECT_TRUE(cut.Bytes(1).size() == 0);

  ByteCursor huge(bytes.view());
  huge.Skip(SIZE_MAX);  // no wrap-around back into the view
  EXPECT_FALSE(huge.ok());
  EXPECT_EQ(huge.U8(), 0u);
  EXPECT_EQ(huge.BytesAt(SIZE_MAX, 2).size(), 0u);
}

TEST(ByteCursorTest, SearchesBitsAndBigEndianStopAtTheView) {
  const Fenced bytes;
  ByteCursor in(bytes.view());
  EXPECT_EQ(in.Find(0x13, 0), 3u);
  EXPECT_EQ(in.Find(0xEE, 0), 8u);  // the fence is not found
  EXPECT_EQ(in.EndAfterLast(0x12), 3u);
  EXPECT_EQ(in.EndAfterLast(0xEE), 0u);
  EXPECT_EQ(in.FindZero16(0), 8u);
  EXPECT_EQ(in.CharsAt(6, 2), std::string("\x16\x17"));
  EXPECT_TRUE(in.ok());
  EXPECT_EQ(in.BigEndianAt(5, 3), 0x151617u);
  EXPECT_TRUE(in.BitAt(0, 4));   // 0x10: bit 4
  EXPECT_FALSE(in.BitAt(0, 0));
  EXPECT_TRUE(in.ok());
  EXPECT_FALSE(in.BitAt(0, 64));  // the first bit past the view
  EXPECT_FALSE(in.ok());

  const std::vector<uint8_t> text = {'a', 0, 'b', 0, 0, 0, 'c'};
  ByteCursor wide(ByteView(text.data(), text.size()));
  EXPECT_EQ(wide.FindZero16(0), 4u);
  EXPECT_EQ(wide.FindZero16(6), 6u);  // no whole pair left
  EXPECT_EQ(ByteCursor(ByteView(text.data(), text.size())).BigEndianAt(0, 5), 0u);
}

}  // namespace
}  // namespace mendora
