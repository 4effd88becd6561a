// Cell values in their stored form, and long-value pages.
#include "tests/builder/jet_values.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

#include "reader/jet_format.h"
#include "tests/builder/jet_text.h"

namespace mendora::testing::detail {

namespace {

// A chain segment smaller than this is not worth starting on a page that is
// almost full.
constexpr uint32_t kSmallestSegment = 64;

Bytes FieldHeader(size_t length, uint8_t form, RowAddress at) {
  if (length >= (1u << 24)) throw std::invalid_argument("long value too long");
  Bytes field;
  PutU24(field, static_cast<uint32_t>(length));
  PutU8(field, form);
  PutU8(field, at.row);
  PutU24(field, at.page);
  PutU32(field, 0);
  return field;
}

}  // namespace

Bytes LongValueWriter::Field(const Bytes& content, LongValueForm form) {
  if (form == LongValueForm::kAuto) {
    if (content.size() <= kInlineLongValueLimit) {
      form = LongValueForm::kInline;
    } else if (content.size() <= layout_.max_row()) {
      form = LongValueForm::kSinglePage;
    } else {
      form = LongValueForm::kChained;
    }
  }
  switch (form) {
    case LongValueForm::kInline: {
      Bytes field = FieldHeader(content.size(), kLongValueInline, RowAddress{});
      Append(field, content);
      return field;
    }
    case LongValueForm::kSinglePage: {
      if (content.size() > layout_.max_row()) {
        throw std::invalid_argument("long value of " + std::to_string(content.size()) +
                                    " bytes does not fit one long-value row");
      }
      const RowAddress at = pages_.Add(content);
      return FieldHeader(content.size(), kLongValueSingle, at);
    }
    default:
      return Chain(content, content.size() + 4 <= layout_.max_row());
  }
}

void LongValueWriter::LinkRow(RowAddress from, RowAddress to) {
  uint8_t* p = store_.Page(from.page);
  const uint32_t entry = layout_.data_header + 2u * from.row;
  const uint32_t start = (p[entry] | (p[entry + 1] << 8)) & kSlotOffsetMask;
  p[start] = to.row;
  SetU24(p + start + 1, to.page);
}

// `split` spreads a value that would fit one row over two rows on two pages,
// so that a chain can be had from small test values.
Bytes LongValueWriter::Chain(const Bytes& content, bool split) {
  const uint32_t most = layout_.max_row() - 4;
  size_t at = 0;
  RowAddress first{};
  RowAddress previous{};
  bool started = false;
  do {
    size_t take;
    RowAddress here;
    Bytes row(4, 0);
    if (split) {
      take = started ? content.size() - at : (content.size() + 1) / 2;
      row.insert(row.end(), content.begin() + at, content.begin() + at + take);
      here = pages_.AddOnNewPage(row);
    } else {
      uint32_t room = pages_.RoomOnCurrentPage();
      const size_t left = content.size() - at;
      if (room < 4 + std::min<size_t>(left, kSmallestSegment)) {
        pages_.OpenNewPage();
        room = pages_.RoomOnCurrentPage();
      }
      take = std::min<size_t>({left, room - 4, most});
      row.insert(row.end(), content.begin() + at, content.begin() + at + take);
      here = pages_.Add(row);
    }
    if (started) {
      LinkRow(previous, here);
    } else {
      first = here;
      started = true;
    }
    previous = here;
    at += take;
  } while (at < content.size());
  return FieldHeader(content.size(), 0, first);
}

namespace {

[[noreturn]] void Mismatch(const StoredColumn& column, const char* what) {
  throw std::invalid_argument("column '" + column.name + "': " + what);
}

Bytes LittleEndian(uint64_t v, int width) {
  Bytes out;
  for (int i = 0; i < width; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  return out;
}

Bytes DoubleBytes(double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  return LittleEndian(bits, 8);
}

Bytes SingleBytes(double d) {
  const auto f = static_cast<float>(d);
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  return LittleEndian(bits, 4);
}

}  // namespace

Cell MakeCell(JetVersion version, const StoredColumn& column, const Value& value,
              LongValueWriter& long_values, LongValueForm form, bool compress_text, int code_page) {
  Cell cell;
  if (std::holds_alternative<std::monostate>(value)) return cell;
  cell.present = true;
  const bool long_value = column.type == kMemo || column.type == kOle;
  if (const auto* raw = std::get_if<Bytes>(&value)) {
    cell.bytes = long_value ? long_values.Field(*raw, form) : *raw;
    return cell;
  }
  const auto* number = std::get_if<int64_t>(&value);
  const auto* real = std::get_if<double>(&value);
  const auto* text = std::get_if<std::string>(&value);
  const auto* truth = std::get_if<bool>(&value);
  switch (column.type) {
    case kBoolean:
      if (truth) {
        cell.truth = *truth;
      } else if (number) {
        cell.truth = *number != 0;
      } else {
        Mismatch(column, "Boolean columns take bool");
      }
      return cell;
    case kByte:
    case kInteger:
    case kLong:
    case kCurrency:
    case kComplex:
    case kBigInt:
      if (!number) Mismatch(column, "integer columns take int64_t");
      cell.bytes = LittleEndian(static_cast<uint64_t>(*number), column.type == kByte      ? 1
                                                                : column.type == kInteger ? 2
                                                                : column.type == kLong    ? 4
                                                                : column.type == kComplex ? 4
                                                                                          : 8);
      return cell;
    case kSingle:
    case kDouble:
    case kDateTime: {
      double d;
      if (real) {
        d = *real;
      } else if (number) {
        d = static_cast<double>(*number);
      } else {
        Mismatch(column, "floating-point and date columns take double");
      }
      cell.bytes = column.type == kSingle ? SingleBytes(d) : DoubleBytes(d);
      return cell;
    }
    case kNumeric:
      if (!number) Mismatch(column, "Numeric columns take Bytes or an unscaled int64_t");
      cell.bytes = NumericBytes(*number);
      return cell;
    case kText:
      if (!text) Mismatch(column, "Text columns take std::string");
      cell.bytes = EncodeText(version, *text, compress_text, code_page);
      return cell;
    case kMemo:
      if (!text) Mismatch(column, "Memo columns take std::string or Bytes");
      cell.bytes = long_values.Field(EncodeText(version, *text, compress_text, code_page), form);
      return cell;
    default:
      Mismatch(column, "this column type takes Bytes");
  }
}

}  // namespace mendora::testing::detail
