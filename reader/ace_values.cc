// Decoders for Access 2007+ values.
#include "reader/ace_values.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>

#include "reader/byte_cursor.h"
#include "reader/text_codec.h"

namespace mendora {

namespace {

constexpr size_t kDateDigits = 19;
constexpr int64_t kLastDay = 3652058;  // 9999-12-31 counted from 0001-01-01
constexpr uint64_t kTicksPerSecond = 10000000;
constexpr uint64_t kTicksPerDay = 86400 * kTicksPerSecond;
constexpr int64_t kDaysBefore1970 = 719162;  // from 0001-01-01

// Deflate cannot expand its input more than about 1032 times: a header
// claiming more is damage, whatever room the cap would leave.
constexpr uint64_t kMaxDeflateRatio = 1032;
constexpr size_t kInflateChunk = 64 * 1024;

constexpr uint32_t kAttachmentHeaderSize = 8;
constexpr uint32_t kMaxLongValueSize = 0x3FFFFFFF;  // what a long value's length field holds
constexpr uint32_t kContentHeaderMin = 12;

std::optional<uint64_t> Digits(ByteView bytes, size_t at, size_t count) {
  uint64_t value = 0;
  for (size_t i = 0; i < count; ++i) {
    const std::optional<uint8_t> c = bytes.U8(at + i);
    if (!c || *c < '0' || *c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(*c - '0');
  }
  return value;
}

void Put(std::string& out, uint64_t value, int width) {
  char digits[24];
  std::snprintf(digits, sizeof digits, "%0*llu", width, static_cast<unsigned long long>(value));
  out += digits;
}

std::string TimeOfDay(const ExtendedDateTime& v) {
  std::string out;
  Put(out, static_cast<uint64_t>(v.hour), 2);
  out += ':';
  Put(out, static_cast<uint64_t>(v.minute), 2);
  out += ':';
  Put(out, static_cast<uint64_t>(v.second), 2);
  out += '.';
  Put(out, v.fraction, 7);
  return out;
}

// Inflates a zlib stream, never past `limit` bytes of output. The output
// grows with what the stream really yields, not with what a header claims.
AceError Inflate(ByteView input, size_t limit, std::vector<uint8_t>& out) {
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return AceError::kBadDeflate;
  stream.next_in = const_cast<Bytef*>(input.data());
  stream.avail_in = static_cast<uInt>(input.size());
  AceError error = AceError::kNone;
  for (;;) {
    if (out.size() >= limit) {
      // Room is used up: the stream must end exactly here.
      uint8_t probe;
      stream.next_out = &probe;
      stream.avail_out = 1;
      const int status = inflate(&stream, Z_NO_FLUSH);
      if (stream.avail_out == 0) {
        error = AceError::kMalformed;  // more bytes than the header said
      } else if (status == Z_BUF_ERROR || (status == Z_OK && stream.avail_in == 0)) {
        error = AceError::kTruncated;
      } else if (status != Z_STREAM_END) {
        error = AceError::kBadDeflate;
      }
      break;
    }
    const size_t before = out.size();
    const size_t grow = std::min(kInflateChunk, limit - before);
    out.resize(before + grow);
    stream.next_out = out.data() + before;
    stream.avail_out = static_cast<uInt>(grow);
    const int status = inflate(&stream, Z_NO_FLUSH);
    out.resize(before + grow - stream.avail_out);
    if (status == Z_STREAM_END) break;
    if (status != Z_OK && status != Z_BUF_ERROR) {
      error = AceError::kBadDeflate;
      break;
    }
    // Room left but no input: the stream stops short of its end.
    if (stream.avail_in == 0 && stream.avail_out != 0) {
      error = AceError::kTruncated;
      break;
    }
  }
  inflateEnd(&stream);
  return error;
}

}  // namespace

const char* AceErrorText(AceError error) {
  switch (error) {
    case AceError::kNone: return "no error";
    case AceError::kTruncated: return "truncated";
    case AceError::kMalformed: return "malformed";
    case AceError::kTooLarge: return "length beyond what it can hold";
    case AceError::kBadDeflate: return "compressed data does not inflate";
  }
  return "unknown error";
}

std::optional<int64_t> DecodeBigInt(ByteView value) {
  if (value.size() != 8) return std::nullopt;
  return static_cast<int64_t>(ByteCursor(value).U64At(0));
}

std::optional<ExtendedDateTime> ParseExtendedDateTime(ByteView value) {
  // Days, ':', time, ':' and a digit (7 in every value seen, with a zero
  // byte after it); only days and time are needed.
  if (value.size() < 2 * kDateDigits + 3) return std::nullopt;
  const std::optional<uint64_t> days = Digits(value, 0, kDateDigits);
  const std::optional<uint64_t> ticks = Digits(value, kDateDigits + 1, kDateDigits);
  if (!days || !ticks || value.U8(kDateDigits) != uint8_t{':'} || value.U8(2 * kDateDigits + 1) != uint8_t{':'}) {
    return std::nullopt;
  }
  if (*days > static_cast<uint64_t>(kLastDay) || *ticks >= kTicksPerDay) return std::nullopt;

  return ExtendedDateTimeFrom(static_cast<int64_t>(*days), *ticks);
}

std::vector<uint8_t> StoredExtendedDateTime(int64_t days, uint64_t ticks) {
  std::string text;
  Put(text, static_cast<uint64_t>(std::max<int64_t>(days, 0)), kDateDigits);
  text += ':';
  Put(text, ticks, kDateDigits);
  text += ":7";
  std::vector<uint8_t> out(text.begin(), text.end());
  out.resize(kExtendedDateTimeSize, 0);
  return out;
}

ExtendedDateTime ExtendedDateTimeFrom(int64_t days, uint64_t ticks) {
  ExtendedDateTime out;
  out.days = days;
  out.ticks = ticks;
  // Civil date from a day count, with years starting in March so the leap
  // day comes last.
  const int64_t z = out.days - kDaysBefore1970 + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  out.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  out.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  out.year = static_cast<int>(yoe + era * 400 + (out.month <= 2 ? 1 : 0));

  const uint64_t seconds = out.ticks / kTicksPerSecond;
  out.hour = static_cast<int>(seconds / 3600);
  out.minute = static_cast<int>(seconds / 60 % 60);
  out.second = static_cast<int>(seconds % 60);
  out.fraction = static_cast<uint32_t>(out.ticks % kTicksPerSecond);
  return out;
}

std::string RenderExtendedDateTime(const ExtendedDateTime& v) {
  std::string out;
  Put(out, static_cast<uint64_t>(v.month), 2);
  out += '/';
  Put(out, static_cast<uint64_t>(v.day), 2);
  out += '/';
  Put(out, static_cast<uint64_t>(v.year), 4);
  out += ' ';
  return out + TimeOfDay(v);
}

std::string ExtendedDateTimeIso(const ExtendedDateTime& v) {
  std::string out;
  Put(out, static_cast<uint64_t>(v.year), 4);
  out += '-';
  Put(out, static_cast<uint64_t>(v.month), 2);
  out += '-';
  Put(out, static_cast<uint64_t>(v.day), 2);
  out += 'T';
  return out + TimeOfDay(v);
}

bool IsCalculatedColumn(uint8_t extra_flags) { return (extra_flags & kCalculatedFlagBits) != 0; }

CalculatedValue UnwrapCalculated(ByteView stored) {
  CalculatedValue out;
  const std::optional<uint32_t> length = stored.U32(16);
  if (!length) {
    out.error = AceError::kTruncated;
    return out;
  }
  if (*length == 0) {
    out.null = true;
    return out;
  }
  const std::optional<ByteView> result = stored.Sub(kCalculatedHeaderSize, *length);
  if (!result) {
    // No value, not even a memo's, comes near 1 GiB: that length is damage.
    out.error = *length > kMaxLongValueSize ? AceError::kTooLarge : AceError::kTruncated;
    return out;
  }
  out.result = *result;
  return out;
}

std::optional<CalculatedDecimal> DecodeCalculatedDecimal(ByteView result) {
  // The first word is 0x000E, or 0 in a column whose result type is set to
  // Decimal (DecimalTest); nothing else was seen.
  ByteCursor in(result);
  const uint16_t tag = result.size() == 16 ? in.U16At(0) : 1;
  if (tag != 0x000E && tag != 0) return std::nullopt;
  CalculatedDecimal out;
  out.scale = in.U8At(2);
  const uint8_t sign = in.U8At(3);
  // 28 digits is all a 96-bit magnitude holds; the sign byte is 0 or 0x80.
  if (out.scale > 28 || (sign != 0 && sign != 0x80)) return std::nullopt;
  out.negative = sign == 0x80;
  out.high = in.U32At(4);
  out.low = in.U64At(8);
  return out;
}

std::string CalculatedDecimalText(const CalculatedDecimal& value) {
  __extension__ typedef unsigned __int128 uint128;
  uint128 magnitude = (static_cast<uint128>(value.high) << 64) | value.low;
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(magnitude % 10)));
    magnitude /= 10;
  } while (magnitude != 0);
  if (digits.size() <= value.scale) digits.insert(0, value.scale + 1 - digits.size(), '0');
  if (value.scale > 0) digits.insert(digits.size() - value.scale, 1, '.');
  const bool zero = digits.find_first_not_of("0.") == std::string::npos;
  return value.negative && !zero ? "-" + digits : digits;
}

AttachmentData DecodeAttachmentData(ByteView stored, size_t max_size) {
  AttachmentData out;
  const std::optional<uint32_t> flag = stored.U32(0);
  const std::optional<uint32_t> declared = stored.U32(4);
  if (!flag || !declared) {
    out.error = AceError::kTruncated;
    return out;
  }
  if (*flag > 1) {
    out.error = AceError::kMalformed;
    return out;
  }
  out.compressed = *flag == 1;
  const ByteView body(stored.data() + kAttachmentHeaderSize, stored.size() - kAttachmentHeaderSize);
  if (*declared > max_size || (out.compressed && *declared > body.size() * kMaxDeflateRatio + 64)) {
    out.error = AceError::kTooLarge;
    return out;
  }

  std::vector<uint8_t> content;
  if (out.compressed) {
    out.error = Inflate(body, *declared, content);
    if (out.error == AceError::kNone && content.size() != *declared) out.error = AceError::kTruncated;
  } else {
    const size_t take = std::min<size_t>(*declared, body.size());
    if (take < *declared) out.error = AceError::kTruncated;
    content.assign(body.data(), body.data() + take);
  }

  // The content's own header: its length, a 1, the extension's length in
  // characters (with its terminating zero), the extension in UTF-16LE.
  const ByteView view(content.data(), content.size());
  const std::optional<uint32_t> header = view.U32(0);
  const std::optional<uint32_t> chars = view.U32(8);
  if (!header || !chars || *header < kContentHeaderMin || *header > content.size()) {
    if (out.error == AceError::kNone) out.error = AceError::kMalformed;
    return out;
  }
  const uint64_t name_bytes = std::min<uint64_t>(2ull * *chars, *header - kContentHeaderMin);
  std::string extension = Utf16LeToUtf8(*view.Sub(kContentHeaderMin, static_cast<size_t>(name_bytes)));
  if (const size_t nul = extension.find('\0'); nul != std::string::npos) extension.resize(nul);
  out.extension = std::move(extension);
  out.file.assign(content.begin() + *header, content.end());
  return out;
}

std::optional<uint32_t> ComplexIdOfColumnRecord(ByteView record) { return record.U32(11); }

ComplexKind ComplexKindOfTemplate(std::string_view name) {
  if (name == "MSysComplexType_Attachment") return ComplexKind::kAttachments;
  if (name.rfind("MSysComplexTypeVH_", 0) == 0) return ComplexKind::kVersionHistory;
  if (name.rfind("MSysComplexType_", 0) == 0) return ComplexKind::kMultiValue;
  return ComplexKind::kUnknown;
}

}  // namespace mendora
