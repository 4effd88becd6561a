// The one decoder of fixed-size values: every fixed type from its stored
// little-endian bytes, what a cut field and a type of no fixed size give.
#include "reader/fixed_values.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "reader/column_types.h"

namespace mendora {
namespace {

ByteView View(const std::vector<uint8_t>& bytes) { return ByteView(bytes.data(), bytes.size()); }

std::vector<uint8_t> DoubleBytes(double value) {
  std::vector<uint8_t> bytes(8);
  std::memcpy(bytes.data(), &value, 8);
  return bytes;
}

TEST(FixedValuesTest, DecodesEveryFixedType) {
  struct Case {
    int type;
    std::vector<uint8_t> bytes;
    ValueKind kind;
    int64_t integer;  // kInteger, kCurrency
    double real;      // kSingle, kDouble, kDateTime
  };
  const std::vector<Case> cases = {
      {kColumnByte, {0xFF}, ValueKind::kInteger, 255, 0},
      {kColumnInteger, {0xFE, 0xFF}, ValueKind::kInteger, -2, 0},
      {kColumnLongInteger, {0x00, 0x00, 0x00, 0x80}, ValueKind::kInteger, INT32_MIN, 0},
      {kColumnBigInt, {1, 0, 0, 0, 0, 0, 0, 0x80}, ValueKind::kInteger, static_cast<int64_t>(0x8000000000000001ULL), 0},
      // 12.3456 as ten-thousandths.
      {kColumnCurrency, {0x40, 0xE2, 0x01, 0, 0, 0, 0, 0}, ValueKind::kCurrency, 123456, 0},
      {kColumnSingle, {0x00, 0x00, 0xC0, 0x3F}, ValueKind::kSingle, 0, 1.5},
      {kColumnDouble, DoubleBytes(-0.25), ValueKind::kDouble, 0, -0.25},
      // Out of Access's range: the decoder keeps it, the row cursor judges it.
      {kColumnDateTime, DoubleBytes(1e12), ValueKind::kDateTime, 0, 1e12},
  };
  for (const Case& c : cases) {
    Value value;
    ASSERT_TRUE(DecodeFixed(c.type, View(c.bytes), value)) << c.type;
    EXPECT_EQ(value.kind, c.kind) << c.type;
    EXPECT_EQ(value.integer, c.integer) << c.type;
    EXPECT_EQ(value.real, c.real) << c.type;
    EXPECT_EQ(static_cast<size_t>(ColumnTypeOf(c.type).fixed_size), c.bytes.size()) << c.type;
  }
}

TEST(FixedValuesTest, GuidAndDecimalKeepTheirBytes) {
  std::vector<uint8_t> guid(16);
  for (size_t i = 0; i < guid.size(); ++i) guid[i] = static_cast<uint8_t>(0xA0 + i);
  Value value;
  ASSERT_TRUE(DecodeFixed(kColumnReplicationId, View(guid), value));
  EXPECT_EQ(value.kind, ValueKind::kGuid);
  EXPECT_TRUE(std::equal(guid.begin(), guid.end(), value.guid.begin()));

  // -1.5 at scale 1: a sign byte, then four 32-bit words, most significant first.
  const std::vector<uint8_t> decimal = {0x80, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 15, 0, 0, 0};
  Value number;
  ASSERT_TRUE(DecodeFixed(kColumnNumeric, View(decimal), number));
  EXPECT_EQ(number.kind, ValueKind::kDecimal);
  EXPECT_TRUE(number.negative);
  EXPECT_EQ(number.magnitude_high, (uint64_t{1} << 32) | 2);
  EXPECT_EQ(number.magnitude_low, (uint64_t{3} << 32) | 15);
}

TEST(FixedValuesTest, CutFieldsStayNullAndOtherTypesAreNotTaken) {
  const std::initializer_list<int> fixed = {kColumnInteger,  kColumnLongInteger, kColumnDouble,
                                            kColumnDateTime, kColumnCurrency,    kColumnBigInt,
                                            kColumnReplicationId, kColumnNumeric};
  for (const int type : fixed) {
    const std::vector<uint8_t> cut(static_cast<size_t>(ColumnTypeOf(type).fixed_size) - 1, 0x11);
    Value value;
    EXPECT_TRUE(DecodeFixed(type, View(cut), value)) << type;
    EXPECT_TRUE(value.IsNull()) << type;
  }
  const std::vector<uint8_t> seven(7, 0x11);
  // Yes/No lives in the null mask; text, memo, OLE and binary have no size
  // of their own; a complex column's key is the row cursor's.
  const std::initializer_list<int> others = {kColumnBoolean, kColumnText,   kColumnMemo,
                                             kColumnOle,     kColumnBinary, kColumnComplex,
                                             kColumnExtendedDateTime, 0x42};
  for (const int type : others) {
    Value value;
    value.SetInteger(7);
    EXPECT_FALSE(DecodeFixed(type, View(seven), value)) << type;
    EXPECT_EQ(value.integer, 7) << type;
  }
}

}  // namespace
}  // namespace mendora
