// Rendering of typed values as text.
#include "reader/value_render.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "reader/byte_cursor.h"
#include "reader/ace_values.h"

namespace mendora {

namespace {

__extension__ typedef unsigned __int128 uint128;

// Appends the decimal digits of a 128-bit magnitude. One 128-bit division
// splits it into 64-bit parts of 19 digits; the digits come from 64-bit
// arithmetic.
void AppendDigits(uint128 magnitude, std::string& out) {
  if (magnitude == 0) {
    out += '0';
    return;
  }
  constexpr uint64_t kTen19 = 10000000000000000000ull;
  char digits[48];
  int n = 0;
  while (magnitude > UINT64_MAX) {
    uint64_t part = static_cast<uint64_t>(magnitude % kTen19);
    magnitude /= kTen19;
    for (int i = 0; i < 19; ++i, part /= 10) digits[n++] = static_cast<char>('0' + part % 10);
  }
  for (uint64_t rest = static_cast<uint64_t>(magnitude); rest != 0; rest /= 10) {
    digits[n++] = static_cast<char>('0' + rest % 10);
  }
  std::reverse(digits, digits + n);
  out.append(digits, static_cast<size_t>(n));
}

// Places a decimal point `scale` digits from the right of the digits that
// start at `from`, padding with zeros so at least one digit stands before
// the point.
void ScaleDigits(std::string& out, size_t from, int scale) {
  if (scale <= 0) return;
  const size_t digits = out.size() - from;
  if (digits <= static_cast<size_t>(scale)) out.insert(from, static_cast<size_t>(scale) + 1 - digits, '0');
  out.insert(out.size() - static_cast<size_t>(scale), 1, '.');
}

template <typename T>
void ShortestTextInto(T value, std::string& out) {
  if (std::isnan(value)) {
    out.assign("NaN");
    return;
  }
  if (std::isinf(value)) {
    out.assign(value > 0 ? "Infinity" : "-Infinity");
    return;
  }
  char buffer[512];
  const T magnitude = std::fabs(value);
  // Plain decimals for ordinary magnitudes; the shortest form with an
  // exponent for the rest, where plain digits would run to hundreds.
  const auto format = (magnitude == 0 || (magnitude >= T(1e-7) && magnitude < T(1e21))) ? std::chars_format::fixed
                                                                                        : std::chars_format::general;
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, format);
  out.assign(buffer, result.ptr);
}

template <typename T>
std::string ShortestText(T value) {
  std::string out;
  ShortestTextInto(value, out);
  return out;
}

void PutDigits(char* at, int value, int digits) {
  for (int i = digits - 1; i >= 0; --i, value /= 10) at[i] = static_cast<char>('0' + value % 10);
}

}  // namespace

std::string RenderSingle(float value) { return ShortestText(value); }
std::string RenderDouble(double value) { return ShortestText(value); }

void RenderMoneyInto(int64_t units, std::string& out) {
  const bool negative = units < 0;
  const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(units) : static_cast<uint64_t>(units);
  out.assign(negative ? "-" : "");
  AppendDigits(magnitude, out);
  ScaleDigits(out, negative ? 1 : 0, 4);
}

std::string RenderMoney(int64_t units) {
  std::string out;
  RenderMoneyInto(units, out);
  return out;
}

std::string RenderMoney(ByteView value) {
  const std::optional<uint64_t> raw = value.U64(0);
  return raw ? RenderMoney(static_cast<int64_t>(*raw)) : "";
}

void RenderDecimalInto(uint64_t high, uint64_t low, bool negative, int precision, int scale, std::string& out) {
  const uint128 magnitude = (static_cast<uint128>(high) << 64) | low;
  negative = negative && magnitude != 0;
  const size_t sign = negative ? 1 : 0;
  out.assign(sign, '-');
  AppendDigits(magnitude, out);
  const size_t digits = out.size() - sign;
  const bool fits = scale >= 0 && precision > 0 && scale <= precision && digits + sign <= static_cast<size_t>(precision) &&
                    static_cast<size_t>(precision - scale) >= sign;
  if (!fits) {
    ScaleDigits(out, sign, scale);
    return;
  }
  out.insert(sign, static_cast<size_t>(precision) - sign - digits, '0');
  if (scale > 0) out.insert(static_cast<size_t>(precision - scale), 1, '.');
}

std::string RenderDecimal(uint64_t high, uint64_t low, bool negative, int precision, int scale) {
  std::string out;
  RenderDecimalInto(high, low, negative, precision, scale, out);
  return out;
}

std::string RenderNumeric(ByteView field, int precision, int scale) {
  if (field.size() < 17) return "";
  ByteCursor in(field);
  const uint64_t high = static_cast<uint64_t>(in.U32At(1)) << 32 | in.U32At(5);
  const uint64_t low = static_cast<uint64_t>(in.U32At(9)) << 32 | in.U32At(13);
  return RenderDecimal(high, low, (in.U8At(0) & 0x80) != 0, precision, scale);
}

bool DateFromDays(double days, DateParts& parts) {
  if (!DateInRange(days)) return false;
  int64_t day = static_cast<int64_t>(days);  // toward zero: the time is |fraction|
  int64_t seconds = static_cast<int64_t>(std::floor(std::fabs(days - static_cast<double>(day)) * 86400.0 + 0.5));
  if (seconds >= 86400) {
    // Rounded up to midnight: that is the start of the next day.
    seconds -= 86400;
    day += days < 0 ? -1 : 1;
  }
  parts.hour = static_cast<int>(seconds / 3600);
  parts.minute = static_cast<int>((seconds / 60) % 60);
  parts.second = static_cast<int>(seconds % 60);

  int64_t n = day + 693593;  // days since 0001-01-01 of the proleptic Gregorian calendar
  const int64_t q400 = n / 146097;
  n %= 146097;
  int64_t q100 = n / 36524;
  if (q100 > 3) q100 = 3;
  n -= 36524 * q100;
  const int64_t q4 = n / 1461;
  n %= 1461;
  int64_t q1 = n / 365;
  if (q1 > 3) q1 = 3;
  const int64_t day_of_year = n - 365 * q1;
  const int64_t year = 400 * q400 + 100 * q100 + 4 * q4 + q1 + 1;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  static const int kStarts[2][13] = {{0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365},
                                     {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335, 366}};
  int month = 0;
  while (month < 11 && kStarts[leap][month + 1] <= day_of_year) ++month;
  parts.year = static_cast<int>(year);
  parts.month = month + 1;
  parts.day = static_cast<int>(day_of_year - kStarts[leap][month] + 1);
  return true;
}

void RenderDateInto(double days, std::string& out) {
  DateParts d;
  if (!DateFromDays(days, d)) {
    out.clear();
    return;
  }
  out.assign("00/00/0000 00:00:00");
  char* text = out.data();
  PutDigits(text, d.month, 2);
  PutDigits(text + 3, d.day, 2);
  PutDigits(text + 6, d.year, 4);
  PutDigits(text + 11, d.hour, 2);
  PutDigits(text + 14, d.minute, 2);
  PutDigits(text + 17, d.second, 2);
}

std::string RenderDate(double days) {
  std::string out;
  RenderDateInto(days, out);
  return out;
}

bool IsoDateInto(double days, std::string& out) {
  DateParts d;
  if (!DateFromDays(days, d)) {
    out.clear();
    return false;
  }
  out.assign("0000-00-00 00:00:00");
  char* text = out.data();
  PutDigits(text, d.year, 4);
  PutDigits(text + 5, d.month, 2);
  PutDigits(text + 8, d.day, 2);
  PutDigits(text + 11, d.hour, 2);
  PutDigits(text + 14, d.minute, 2);
  PutDigits(text + 17, d.second, 2);
  return true;
}

std::string IsoDate(double days) {
  std::string out;
  IsoDateInto(days, out);
  return out;
}

std::string RenderGuid(ByteView value) {
  if (value.size() < 16) return "";
  ByteCursor in(value);
  const uint32_t first = in.U32At(0);
  const unsigned second = in.U16At(4);
  const unsigned third = in.U16At(6);
  uint8_t b[8];
  for (size_t i = 0; i < sizeof b; ++i) b[i] = in.U8At(8 + i);
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", first, second, third, b[0], b[1],
                b[2], b[3], b[4], b[5], b[6], b[7]);
  return text;
}

void RenderValueInto(const Value& value, std::string& out) {
  switch (value.kind) {
    case ValueKind::kNull:
      out.clear();
      return;
    case ValueKind::kInteger: {
      char buffer[24];
      const auto result = std::to_chars(buffer, buffer + sizeof buffer, value.integer);
      out.assign(buffer, result.ptr);
      return;
    }
    case ValueKind::kSingle:
      ShortestTextInto(value.AsSingle(), out);
      return;
    case ValueKind::kDouble:
      ShortestTextInto(value.real, out);
      return;
    case ValueKind::kCurrency:
      RenderMoneyInto(value.integer, out);
      return;
    case ValueKind::kDecimal:
      RenderDecimalInto(value.magnitude_high, value.magnitude_low, value.negative, value.precision, value.scale, out);
      return;
    case ValueKind::kDateTime:
      RenderDateInto(value.real, out);
      return;
    case ValueKind::kText:
    case ValueKind::kBytes:
      out = value.bytes;
      return;
    case ValueKind::kGuid:
      out = RenderGuid(ByteView(value.guid.data(), value.guid.size()));
      return;
    case ValueKind::kExtendedDateTime:
      out = RenderExtendedDateTime(ExtendedDateTimeFrom(value.integer, value.magnitude_low));
      return;
  }
  out.clear();
}

std::string RenderValue(const Value& value) {
  std::string out;
  RenderValueInto(value, out);
  return out;
}

}  // namespace mendora
