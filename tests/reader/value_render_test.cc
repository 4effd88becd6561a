// Value texts: numbers, currency, Numeric, dates, floating point, GUIDs.
#include "reader/value_render.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace mendora {
namespace {

std::vector<uint8_t> Le64(int64_t value) {
  std::vector<uint8_t> bytes(8);
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i));
  return bytes;
}

std::string Money(int64_t units) {
  const std::vector<uint8_t> bytes = Le64(units);
  return RenderMoney(ByteView(bytes.data(), bytes.size()));
}

// Sign byte, then the 128-bit magnitude as four little-endian words, most
// significant first.
std::string Numeric(bool negative, unsigned __int128 magnitude, int precision, int scale) {
  std::vector<uint8_t> field(17);
  field[0] = negative ? 0x80 : 0x00;
  for (int word = 0; word < 4; ++word) {
    const uint32_t part = static_cast<uint32_t>(magnitude >> (32 * (3 - word)));
    for (int b = 0; b < 4; ++b) field[1 + 4 * word + b] = static_cast<uint8_t>(part >> (8 * b));
  }
  return RenderNumeric(ByteView(field.data(), field.size()), precision, scale);
}

TEST(RenderMoneyTest, KeepsFourDecimalsAndTheFullSignedRange) {
  EXPECT_EQ(Money(0), "0.0000");
  EXPECT_EQ(Money(12345), "1.2345");
  EXPECT_EQ(Money(-1), "-0.0001");
  EXPECT_EQ(Money(140000), "14.0000");
  EXPECT_EQ(Money(INT64_MAX), "922337203685477.5807");
  EXPECT_EQ(Money(INT64_MIN), "-922337203685477.5808");
  // Byte 7 alone says nothing about the sign.
  EXPECT_EQ(Money(int64_t{1} << 56), "7205759403792.7936");
}

TEST(RenderNumericTest, PaddedToPrecisionFromSignByteAndAllValueBytes) {
  EXPECT_EQ(Numeric(false, 12345, 6, 2), "0123.45");
  EXPECT_EQ(Numeric(false, 12345, 6, 0), "012345");
  EXPECT_EQ(Numeric(false, 0, 4, 2), "00.00");
  EXPECT_EQ(Numeric(true, 1, 5, 0), "-0001");
  EXPECT_EQ(Numeric(true, 5, 6, 3), "-00.005");
  // The sign byte alone does not make zero negative.
  EXPECT_EQ(Numeric(true, 0, 3, 0), "000");
  // Values beyond the low 32 bits.
  const unsigned __int128 big = (static_cast<unsigned __int128>(1) << 96) + 7;
  EXPECT_EQ(Numeric(false, big, 29, 0), "79228162514264337593543950343");
  EXPECT_EQ(Numeric(true, big, 29, 4), "-7922816251426433759354395.0343");
  // What does not fit the column's layout keeps its plain form.
  EXPECT_EQ(Numeric(false, 123456, 4, 2), "1234.56");
  EXPECT_EQ(Numeric(true, 5, 2, 2), "-0.05");
  EXPECT_EQ(Numeric(false, 5, 1, 3), "0.005");
  const std::vector<uint8_t> short_field(16);
  EXPECT_EQ(RenderNumeric(ByteView(short_field.data(), short_field.size()), 10, 2), "");
}

TEST(RenderDateTest, FourDigitYearsAndMidnightRollover) {
  EXPECT_EQ(RenderDate(0.0), "12/30/1899 00:00:00");
  EXPECT_EQ(RenderDate(36526.5), "01/01/2000 12:00:00");
  EXPECT_EQ(RenderDate(2.0), "01/01/1900 00:00:00");
  EXPECT_EQ(RenderDate(60.0), "02/28/1900 00:00:00");  // no 1900-02-29
  EXPECT_EQ(RenderDate(36585.0), "02/29/2000 00:00:00");
  // Before 1899-12-30 the day counts down while the time still runs forward.
  EXPECT_EQ(RenderDate(-1.25), "12/29/1899 06:00:00");
  // A time within half a second of midnight is the next day's start.
  EXPECT_EQ(RenderDate(36526.0 + 86399.6 / 86400.0), "01/02/2000 00:00:00");
  EXPECT_EQ(RenderDate(2958465.0), "12/31/9999 00:00:00");
  EXPECT_EQ(RenderDate(2958466.0), "");
  EXPECT_EQ(RenderDate(-657434.0), "01/01/0100 00:00:00");
  EXPECT_EQ(RenderDate(std::nextafter(-657434.0, -1e9)), "");
  EXPECT_EQ(RenderDate(-std::numeric_limits<double>::infinity()), "");
  EXPECT_EQ(RenderDate(1e12), "");
  EXPECT_EQ(RenderDate(std::numeric_limits<double>::quiet_NaN()), "");
}

TEST(RenderFloatTest, ShortestTextThatReadsBack) {
  EXPECT_EQ(RenderSingle(0.5f), "0.5");
  EXPECT_EQ(RenderSingle(100.0f), "100");
  EXPECT_EQ(RenderSingle(500000.0f), "500000");
  EXPECT_EQ(RenderDouble(0.0), "0");
  EXPECT_EQ(RenderSingle(0.15f), "0.15");
  EXPECT_EQ(RenderSingle(-1234.5678f), "-1234.5677");
  EXPECT_EQ(RenderDouble(-0.1), "-0.1");
  EXPECT_EQ(RenderDouble(1e300), "1e+300");
  for (const double value : {3.141592653589793, -2.5e-9, 123456789012.25, -1e-300}) {
    EXPECT_EQ(std::strtod(RenderDouble(value).c_str(), nullptr), value);
  }
}

TEST(RenderGuidTest, BracedWithLittleEndianLeadingGroups) {
  const uint8_t bytes[16] = {0x78, 0x56, 0x34, 0x12, 0x34, 0x12, 0x78, 0x56,
                             0x9A, 0xBC, 0xDE, 0xF0, 0x12, 0x34, 0x56, 0x78};
  EXPECT_EQ(RenderGuid(ByteView(bytes, 16)), "{12345678-1234-5678-9ABC-DEF012345678}");
}

TEST(RenderValueTest, EachKindAsTheDumpShowsIt) {
  Value value;
  EXPECT_EQ(RenderValue(value), "");
  value.SetInteger(-42);
  EXPECT_EQ(RenderValue(value), "-42");
  value.SetCurrency(-123456);
  EXPECT_EQ(RenderValue(value), "-12.3456");
  value.SetSingle(0.1f);
  EXPECT_EQ(RenderValue(value), "0.1");
  value.SetDateTime(36526.5);
  EXPECT_EQ(RenderValue(value), "01/01/2000 12:00:00");
  value.kind = ValueKind::kDecimal;
  value.magnitude_high = 0;
  value.magnitude_low = 12345;
  value.negative = true;
  value.precision = 8;
  value.scale = 2;
  EXPECT_EQ(RenderValue(value), "-00123.45");
  // 2^64 + 1 needs both halves of the magnitude.
  value.magnitude_high = 1;
  value.magnitude_low = 1;
  value.negative = false;
  value.precision = 28;
  value.scale = 0;
  EXPECT_EQ(RenderValue(value), "0000000018446744073709551617");
  value.kind = ValueKind::kText;
  value.bytes = "text";
  EXPECT_EQ(RenderValue(value), "text");
}

TEST(IsoDateTest, SameCalendarAsTheRenderedDate) {
  EXPECT_EQ(IsoDate(36526.5), "2000-01-01 12:00:00");
  EXPECT_EQ(IsoDate(-1.25), "1899-12-29 06:00:00");
  EXPECT_EQ(IsoDate(1e12), "");
}

}  // namespace
}  // namespace mendora
