// Rendering of stored column values as text.
#include "reader/value_render.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <set>
#include <utility>
#include <vector>

#include "reader/table_def.h"
#include "reader/text_codec.h"

namespace mendora {

namespace {

__extension__ typedef unsigned __int128 uint128;

// Long-value field flags (high bits of the 32-bit length word).
constexpr uint32_t kLongValueInline = 0x80000000u;
constexpr uint32_t kLongValueSingleRow = 0x40000000u;
constexpr uint32_t kLongValueHeaderSize = 12;
constexpr uint32_t kChainRowHeaderSize = 4;

std::string DecodeText(const JetHandle& handle, ByteView bytes) {
  return handle.IsJet4() ? Ucs2ToText(bytes) : handle.file->code_page->Decode(bytes);
}

std::string Decimal(uint128 magnitude) {
  if (magnitude == 0) return "0";
  char digits[48];
  int n = 0;
  while (magnitude != 0) {
    digits[n++] = static_cast<char>('0' + static_cast<int>(magnitude % 10));
    magnitude /= 10;
  }
  std::string out;
  out.reserve(static_cast<size_t>(n));
  while (n > 0) out.push_back(digits[--n]);
  return out;
}

// Places a decimal point `scale` digits from the right, padding with zeros
// so at least one digit stands before the point.
std::string WithScale(std::string digits, int scale) {
  if (scale <= 0) return digits;
  if (digits.size() <= static_cast<size_t>(scale)) digits.insert(0, static_cast<size_t>(scale) + 1 - digits.size(), '0');
  digits.insert(digits.size() - static_cast<size_t>(scale), 1, '.');
  return digits;
}

template <typename T>
std::string ShortestText(T value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
  char buffer[512];
  const T magnitude = std::fabs(value);
  // Plain decimals for ordinary magnitudes; the shortest form with an
  // exponent for the rest, where plain digits would run to hundreds.
  const auto format = (magnitude == 0 || (magnitude >= T(1e-7) && magnitude < T(1e21))) ? std::chars_format::fixed
                                                                                        : std::chars_format::general;
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, format);
  return std::string(buffer, result.ptr);
}

std::string AsBytes(ByteView view) { return std::string(reinterpret_cast<const char*>(view.data()), view.size()); }

}  // namespace

void TrimZeros(std::string& text) {
  if (text.find('.') == std::string::npos) return;
  while (!text.empty() && text.back() == '0') text.pop_back();
  if (!text.empty() && text.back() == '.') text.pop_back();
}

std::string RenderSingle(float value) { return ShortestText(value); }
std::string RenderDouble(double value) { return ShortestText(value); }

std::string RenderMoney(ByteView value) {
  const std::optional<uint64_t> raw = value.U64(0);
  if (!raw) return "";
  const int64_t units = static_cast<int64_t>(*raw);
  const bool negative = units < 0;
  const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(units) : static_cast<uint64_t>(units);
  std::string text = WithScale(Decimal(magnitude), 4);
  return negative ? "-" + text : text;
}

std::string RenderNumeric(ByteView field, int precision, int scale) {
  if (field.size() < 17) return "";
  uint128 magnitude = 0;
  for (size_t word = 0; word < 4; ++word) magnitude = (magnitude << 32) | *field.U32(1 + 4 * word);
  const bool negative = (field.data()[0] & 0x80) != 0 && magnitude != 0;
  std::string digits = Decimal(magnitude);
  const size_t sign = negative ? 1 : 0;
  // The column's own layout: sign and digits padded with zeros to
  // `precision` characters, the point `scale` characters from the right.
  // A value or record that does not fit it (damage) keeps its plain form.
  const bool fits = scale >= 0 && precision > 0 && scale <= precision &&
                    digits.size() + sign <= static_cast<size_t>(precision) &&
                    static_cast<size_t>(precision - scale) >= sign;
  if (!fits) {
    std::string text = WithScale(std::move(digits), scale);
    return negative ? "-" + text : text;
  }
  std::string text(sign, '-');
  text.append(static_cast<size_t>(precision) - sign - digits.size(), '0');
  text += digits;
  if (scale > 0) text.insert(static_cast<size_t>(precision - scale), 1, '.');
  return text;
}

std::string RenderDate(double days) {
  // Jet keeps dates from the year 100 to 9999; anything else is damage.
  if (!std::isfinite(days) || days < -657434.0 || days >= 2958466.0) return "";
  int64_t day = static_cast<int64_t>(days);  // toward zero: the time is |fraction|
  int64_t seconds = static_cast<int64_t>(std::floor(std::fabs(days - static_cast<double>(day)) * 86400.0 + 0.5));
  if (seconds >= 86400) {
    // Rounded up to midnight: that is the start of the next day.
    seconds -= 86400;
    day += days < 0 ? -1 : 1;
  }
  const int hour = static_cast<int>(seconds / 3600);
  const int minute = static_cast<int>((seconds / 60) % 60);
  const int second = static_cast<int>(seconds % 60);

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
  const int64_t day_of_month = day_of_year - kStarts[leap][month] + 1;

  // "MM/DD/YYYY HH:MM:SS", written by hand: dates fill whole columns.
  char text[19];
  auto put = [&text](int at, int value, int digits) {
    for (int i = digits - 1; i >= 0; --i, value /= 10) text[at + i] = static_cast<char>('0' + value % 10);
  };
  put(0, month + 1, 2);
  text[2] = '/';
  put(3, static_cast<int>(day_of_month), 2);
  text[5] = '/';
  put(6, static_cast<int>(year), 4);
  text[10] = ' ';
  put(11, hour, 2);
  text[13] = ':';
  put(14, minute, 2);
  text[16] = ':';
  put(17, second, 2);
  return std::string(text, sizeof text);
}

std::string RenderDate(JetHandle& handle, uint32_t start) {
  const std::optional<uint64_t> bits = handle.Page().U64(start);
  if (!bits) return "";
  return RenderDate(GetDouble(handle.page.data(), start));
}

std::string RenderGuid(ByteView value) {
  if (value.size() < 16) return "";
  const uint8_t* b = value.data();
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", *value.U32(0),
                static_cast<unsigned>(*value.U16(4)), static_cast<unsigned>(*value.U16(6)), b[8], b[9], b[10], b[11],
                b[12], b[13], b[14], b[15]);
  return text;
}

std::string ReadLongValue(JetHandle& handle, uint32_t start, uint32_t length, const char* kind) {
  if (length < kLongValueHeaderSize) return "";
  const std::optional<ByteView> field = handle.Page().Sub(start, length);
  if (!field) return "";
  const uint32_t word = *field->U32(0);
  const uint32_t total = word & 0x3FFFFFFFu;

  if ((word & kLongValueInline) != 0) {
    const uint32_t available = length - kLongValueHeaderSize;
    const uint32_t take = total < available ? total : available;
    return AsBytes(*field->Sub(kLongValueHeaderSize, take));
  }

  uint32_t row = *field->U8(4);
  uint32_t page = *field->U24(5);
  const uint32_t page_size = handle.PageSize();

  if ((word & kLongValueSingleRow) != 0) {
    if (ReadAltPage(handle, page) < page_size) {
      std::fprintf(stderr, "%s: long-value page %u cannot be read\n", kind, page);
      return "";
    }
    const std::optional<RowExtent> extent = RowBounds(handle.AltPage(), *handle.format, static_cast<int>(row));
    if (!extent) {
      std::fprintf(stderr, "%s: row %u of long-value page %u lies outside its page\n", kind, row, page);
      return "";
    }
    const uint32_t take = total != 0 && total < extent->size() ? total : extent->size();
    return AsBytes(*handle.AltPage().Sub(extent->start, take));
  }

  // A chain of long-value rows, each naming the next. The bytes are joined
  // first, since a character of a memo may straddle two rows.
  std::string joined;
  // The stored length is untrusted: a damaged one must not claim a gigabyte
  // up front. The bytes actually chained still grow the buffer as needed.
  joined.reserve(std::min<uint32_t>(total, 1u << 20));
  std::set<std::pair<uint32_t, uint32_t>> visited;
  while (page != 0) {
    if (!visited.insert({page, row}).second) {
      std::fprintf(stderr, "%s: long-value chain loops at row %u of page %u\n", kind, row, page);
      return "";
    }
    if (ReadAltPage(handle, page) < page_size) {
      std::fprintf(stderr, "%s: long-value page %u cannot be read\n", kind, page);
      return "";
    }
    const std::optional<RowExtent> extent = RowBounds(handle.AltPage(), *handle.format, static_cast<int>(row));
    if (!extent || extent->size() < kChainRowHeaderSize) {
      std::fprintf(stderr, "%s: row %u of long-value page %u is damaged\n", kind, row, page);
      return "";
    }
    const ByteView rowbytes = *handle.AltPage().Sub(extent->start, extent->size());
    const uint32_t next_row = *rowbytes.U8(0);
    const uint32_t next_page = *rowbytes.U24(1);
    const uint32_t chunk = extent->size() - kChainRowHeaderSize;
    const uint32_t wanted = total > joined.size() ? total - static_cast<uint32_t>(joined.size()) : 0;
    const uint32_t take = total == 0 ? chunk : (chunk < wanted ? chunk : wanted);
    joined.append(reinterpret_cast<const char*>(rowbytes.data()) + kChainRowHeaderSize, take);
    if (total != 0 && joined.size() >= total) break;
    row = next_row;
    page = next_page;
  }
  return joined;
}

std::string ReadMemo(JetHandle& handle, uint32_t start, uint32_t length) {
  const std::string bytes = ReadLongValue(handle, start, length, "Memo");
  return DecodeText(handle, ByteView(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

std::string RenderValue(JetHandle& handle, uint32_t start, int type, uint32_t length) {
  const ByteView page = handle.Page();
  const std::optional<ByteView> value = page.Sub(start, length);
  if (!value) return "";
  switch (type) {
    case kColumnByte:
      return length >= 1 ? std::to_string(value->data()[0]) : "";
    case kColumnInteger:
      return length >= 2 ? std::to_string(static_cast<int16_t>(*value->U16(0))) : "";
    case kColumnLongInteger:
      return length >= 4 ? std::to_string(static_cast<int32_t>(*value->U32(0))) : "";
    case kColumnCurrency:
      return RenderMoney(*value);
    case kColumnSingle:
      return length >= 4 ? RenderSingle(GetSingle(value->data(), 0)) : "";
    case kColumnDouble:
      return length >= 8 ? RenderDouble(GetDouble(value->data(), 0)) : "";
    case kColumnDateTime:
      return length >= 8 ? RenderDate(GetDouble(value->data(), 0)) : "";
    case kColumnText:
      return DecodeText(handle, *value);
    case kColumnOle:
      // The object's stored bytes: a copy of them is the object recovered.
      return ReadLongValue(handle, start, length, "OLE object");
    case kColumnMemo:
      return ReadMemo(handle, start, length);
    case kColumnReplicationId:
      return RenderGuid(*value);
    case kColumnUnknown09:
      // Binary: bytes kept as stored, like an OLE object's.
      return AsBytes(*value);
    default:
      return "";
  }
}

}  // namespace mendora
