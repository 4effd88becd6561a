// Rendering of typed values as text.
#include "reader/value_render.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "reader/byte_cursor.h"
#include "reader/ace_values.h"

namespace mendora {

namespace {

__extension__ typedef unsigned __int128 uint128;

// "00" to "99", so that digits are written two at a time.
constexpr char kTwoDigits[] =
    "0001020304050607080910111213141516171819202122232425262728293031323334353637383940414243444546474849"
    "5051525354555657585960616263646566676869707172737475767778798081828384858687888990919293949596979899";

// The decimal digits of a 64-bit number, written backwards from `end`;
// returns where they start.
char* DigitsBefore(char* end, uint64_t value) {
  while (value >= 100) {
    end -= 2;
    std::memcpy(end, kTwoDigits + 2 * (value % 100), 2);
    value /= 100;
  }
  if (value >= 10) {
    end -= 2;
    std::memcpy(end, kTwoDigits + 2 * value, 2);
  } else {
    *--end = static_cast<char>('0' + value);
  }
  return end;
}

// The decimal digits of a 128-bit magnitude into `digits` (room for 40),
// "0" for zero; returns their count. One 128-bit division splits it into
// 64-bit parts of 19 digits; the digits come from 64-bit arithmetic.
size_t DigitsOf(uint128 magnitude, char* digits) {
  constexpr uint64_t kTen19 = 10000000000000000000ull;
  char buffer[48];
  char* const end = buffer + sizeof buffer;
  char* at = end;
  while (magnitude > UINT64_MAX) {
    const uint64_t part = static_cast<uint64_t>(magnitude % kTen19);
    magnitude /= kTen19;
    char* const part_start = DigitsBefore(at, part);
    // Inner parts keep their leading zeros.
    at -= 19;
    std::memset(at, '0', static_cast<size_t>(part_start - at));
  }
  at = DigitsBefore(at, static_cast<uint64_t>(magnitude));
  const size_t n = static_cast<size_t>(end - at);
  std::memcpy(digits, at, n);
  return n;
}

// Writes at `out` the sign, `zeros` zeros and the digits, with a decimal
// point before the last `scale` characters when scale is positive (the
// callers leave more than `scale`); returns the end.
char* PlaceDigits(bool negative, size_t zeros, const char* digits, size_t n, int scale, char* out) {
  char* o = out;
  if (negative) *o++ = '-';
  std::memset(o, '0', zeros);
  o += zeros;
  if (scale <= 0) {
    std::memcpy(o, digits, n);
    return o + n;
  }
  // The characters before the point end `scale` characters from the end.
  const size_t after = static_cast<size_t>(scale);
  if (n > after) {
    std::memcpy(o, digits, n - after);
    o += n - after;
    *o++ = '.';
    std::memcpy(o, digits + n - after, after);
    return o + after;
  }
  // The point falls among the zeros.
  char* const end = o + n + 1;
  std::memcpy(end - n, digits, n);
  char* const point = end - 1 - after;
  std::memmove(point + 1, point, static_cast<size_t>(end - 1 - point) - n);
  *point = '.';
  return end;
}

template <typename T>
char* PutShortest(T value, char* out) {
  if (std::isnan(value)) {
    std::memcpy(out, "NaN", 3);
    return out + 3;
  }
  if (std::isinf(value)) {
    const std::string_view text = value > 0 ? "Infinity" : "-Infinity";
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
  }
  const T magnitude = std::fabs(value);
  // Whole numbers below 2^53 (2^24 for a single) are exact, and so are all
  // their neighbours: their shortest text is their digits.
  constexpr T kExactBelow = sizeof(T) == sizeof(float) ? T(16777216.0) : T(9007199254740992.0);
  if (magnitude >= 1 && magnitude < kExactBelow && value == std::trunc(value)) {
    char buffer[24];
    char* const end = buffer + sizeof buffer;
    char* at = DigitsBefore(end, static_cast<uint64_t>(magnitude));
    if (value < 0) *--at = '-';
    std::memcpy(out, at, static_cast<size_t>(end - at));
    return out + (end - at);
  }
  // Plain decimals for ordinary magnitudes (at most 47 characters); the
  // shortest form with an exponent for the rest, where plain digits would
  // run to hundreds.
  const auto format = (magnitude == 0 || (magnitude >= T(1e-7) && magnitude < T(1e21))) ? std::chars_format::fixed
                                                                                        : std::chars_format::general;
  return std::to_chars(out, out + kMostValueTextBytes, value, format).ptr;
}

template <typename T>
std::string ShortestText(T value) {
  char text[kMostValueTextBytes];
  return std::string(text, PutShortest(value, text));
}

// `digits` (2 or 4) digits of `value`, zeros in front.
void PutDigits(char* at, int value, int digits) {
  for (int i = digits - 2; i >= 0; i -= 2, value /= 100) std::memcpy(at + i, kTwoDigits + 2 * (value % 100), 2);
}

}  // namespace

std::string RenderSingle(float value) { return ShortestText(value); }
std::string RenderDouble(double value) { return ShortestText(value); }

char* PutMoney(int64_t units, char* out) {
  const bool negative = units < 0;
  const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(units) : static_cast<uint64_t>(units);
  char digits[40];
  const size_t n = DigitsOf(magnitude, digits);
  return PlaceDigits(negative, n <= 4 ? 5 - n : 0, digits, n, 4, out);
}

void RenderMoneyInto(int64_t units, std::string& out) {
  char text[kMostValueTextBytes];
  out.assign(text, PutMoney(units, text));
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

char* PutDecimal(uint64_t high, uint64_t low, bool negative, int precision, int scale, char* out) {
  const uint128 magnitude = (static_cast<uint128>(high) << 64) | low;
  negative = negative && magnitude != 0;
  const size_t sign = negative ? 1 : 0;
  char digits[40];
  const size_t n = DigitsOf(magnitude, digits);
  const bool fits = scale >= 0 && precision > 0 && scale <= precision && n + sign <= static_cast<size_t>(precision) &&
                    static_cast<size_t>(precision - scale) >= sign;
  size_t zeros = 0;
  if (fits) {
    // Padded to the column's width, the sign counted in it.
    zeros = static_cast<size_t>(precision) - sign - n;
  } else if (scale > 0 && n <= static_cast<size_t>(scale)) {
    // At least one digit before the point.
    zeros = static_cast<size_t>(scale) + 1 - n;
  }
  return PlaceDigits(negative, zeros, digits, n, scale, out);
}

void RenderDecimalInto(uint64_t high, uint64_t low, bool negative, int precision, int scale, std::string& out) {
  char text[kMostValueTextBytes];
  out.assign(text, PutDecimal(high, low, negative, precision, scale, text));
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

namespace {

// The month and day of each day of the year (from 0), in a common and in a
// leap year.
struct MonthDay {
  uint8_t month;
  uint8_t day;
};
struct MonthDays {
  MonthDay of[2][366];
  constexpr MonthDays() : of() {
    constexpr int kLengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    for (int leap = 0; leap < 2; ++leap) {
      int at = 0;
      for (int month = 0; month < 12; ++month) {
        const int length = kLengths[month] + (month == 1 ? leap : 0);
        for (int day = 0; day < length; ++day) of[leap][at++] = {static_cast<uint8_t>(month + 1), static_cast<uint8_t>(day + 1)};
      }
      // A common year's day 365 is never asked for; it is the last day there.
      if (leap == 0) of[0][365] = {12, 31};
    }
  }
};
constexpr MonthDays kMonthDays;

}  // namespace

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

  // Dates come by the million, and one after another they often fall on the
  // same day (a log's entries, an order's lines): the calendar of the last
  // day this thread asked for is kept.
  struct Calendar {
    int64_t day = INT64_MIN;
    int year = 0, month = 0, day_of_month = 0;
  };
  thread_local Calendar last;
  if (day != last.day) {
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
    // The month looked up rather than searched for: a search's branches
    // mispredict on every other date.
    const MonthDay& md = kMonthDays.of[leap][day_of_year];
    last = Calendar{day, static_cast<int>(year), md.month, md.day};
  }
  parts.year = last.year;
  parts.month = last.month;
  parts.day = last.day_of_month;
  return true;
}

namespace {

// Where a date's text keeps each of its parts, and its fixed characters.
struct DateLayout {
  const char* pattern;  // 19 characters
  int year, month, day;
};
constexpr DateLayout kAccessDate{"00/00/0000 00:00:00", 6, 0, 3};
constexpr DateLayout kIsoDate{"0000-00-00 00:00:00", 0, 5, 8};

char* PutDateAs(double days, const DateLayout& layout, char* out) {
  DateParts d;
  if (!DateFromDays(days, d)) return out;
  std::memcpy(out, layout.pattern, 19);
  PutDigits(out + layout.year, d.year, 4);
  PutDigits(out + layout.month, d.month, 2);
  PutDigits(out + layout.day, d.day, 2);
  PutDigits(out + 11, d.hour, 2);
  PutDigits(out + 14, d.minute, 2);
  PutDigits(out + 17, d.second, 2);
  return out + 19;
}

}  // namespace

char* PutDate(double days, char* out) { return PutDateAs(days, kAccessDate, out); }

void RenderDateInto(double days, std::string& out) {
  char text[kMostValueTextBytes];
  out.assign(text, PutDate(days, text));
}

std::string RenderDate(double days) {
  std::string out;
  RenderDateInto(days, out);
  return out;
}

char* PutIsoDate(double days, char separator, char* out) {
  char* const end = PutDateAs(days, kIsoDate, out);
  if (end != out) out[10] = separator;
  return end;
}

bool IsoDateInto(double days, std::string& out) {
  char text[20];
  out.assign(text, PutIsoDate(days, ' ', text));
  return !out.empty();
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

char* PutValueText(const Value& value, char* out) {
  switch (value.kind) {
    case ValueKind::kInteger:
      return std::to_chars(out, out + kMostValueTextBytes, value.integer).ptr;
    case ValueKind::kSingle:
      return PutShortest(value.AsSingle(), out);
    case ValueKind::kDouble:
      return PutShortest(value.real, out);
    case ValueKind::kCurrency:
      return PutMoney(value.integer, out);
    case ValueKind::kDecimal:
      return PutDecimal(value.magnitude_high, value.magnitude_low, value.negative, value.precision, value.scale, out);
    case ValueKind::kDateTime:
      return PutDate(value.real, out);
    default:
      return out;
  }
}

void AppendValueText(const Value& value, std::string& out) {
  switch (value.kind) {
    case ValueKind::kNull:
      return;
    case ValueKind::kText:
    case ValueKind::kBytes:
      out += value.bytes;
      return;
    case ValueKind::kGuid:
      out += RenderGuid(ByteView(value.guid.data(), value.guid.size()));
      return;
    case ValueKind::kExtendedDateTime:
      out += RenderExtendedDateTime(ExtendedDateTimeFrom(value.integer, value.magnitude_low));
      return;
    default: {
      char text[kMostValueTextBytes];
      out.append(text, PutValueText(value, text));
      return;
    }
  }
}

void RenderValueInto(const Value& value, std::string& out) {
  out.clear();
  AppendValueText(value, out);
}

std::string RenderValue(const Value& value) {
  std::string out;
  RenderValueInto(value, out);
  return out;
}

}  // namespace mendora
