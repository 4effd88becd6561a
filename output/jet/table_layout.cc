// Column placement and row encoding.
#include "output/jet/table_layout.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "output/jet/jet_text.h"
#include "reader/column_types.h"
#include "reader/jet_format.h"
#include "reader/table_def.h"

namespace mendora::jet {

namespace {

constexpr size_t kExtendedDateChars = 27;  // YYYY-MM-DDTHH:MM:SS.fffffff

void PutDouble(Bytes& out, double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  PutU64(out, bits);
}

void PutFloat(Bytes& out, float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  PutU32(out, bits);
}

bool IsIntegerKind(const Value& v) { return v.kind == ValueKind::kInteger; }

// 128-bit magnitude times ten, false on overflow.
bool TimesTen(uint64_t& high, uint64_t& low) {
  const uint64_t p0 = (low & 0xFFFFFFFFu) * 10;
  const uint64_t p1 = (low >> 32) * 10 + (p0 >> 32);
  const uint64_t carry = p1 >> 32;
  if (high > (UINT64_MAX - carry) / 10) return false;
  high = high * 10 + carry;
  low = (p1 << 32) | (p0 & 0xFFFFFFFFu);
  return true;
}

void PutNumeric(Bytes& out, bool negative, uint64_t high, uint64_t low) {
  PutU8(out, negative ? 0x80 : 0x00);
  PutU32(out, static_cast<uint32_t>(high >> 32));
  PutU32(out, static_cast<uint32_t>(high));
  PutU32(out, static_cast<uint32_t>(low >> 32));
  PutU32(out, static_cast<uint32_t>(low));
}

// Days since 0001-01-01 to a civil date.
void CivilFromDays(int64_t days, int64_t& year, unsigned& month, unsigned& day) {
  // Days since 1970-01-01, then the usual era arithmetic.
  int64_t z = days - 719162 + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = doy - (153 * mp + 2) / 5 + 1;
  month = mp < 10 ? mp + 3 : mp - 9;
  year = y + (month <= 2 ? 1 : 0);
}

}  // namespace

bool JetColumn::IsLongValue() const { return type == kColumnMemo || type == kColumnOle; }

bool JetColumn::compressed() const { return (extra_flags & kColumnCompressedText) != 0; }

bool IsFixedType(int type) {
  switch (type) {
    case kColumnText:
    case kColumnBinary:
    case kColumnMemo:
    case kColumnOle:
      return false;
    default:
      return true;
  }
}

uint16_t FixedSize(int type) {
  switch (type) {
    case kColumnBoolean: return 1;
    case kColumnByte: return 1;
    case kColumnInteger: return 2;
    case kColumnLongInteger:
    case kColumnSingle: return 4;
    case kColumnCurrency:
    case kColumnDouble:
    case kColumnDateTime: return 8;
    case kColumnReplicationId: return 16;
    case kColumnNumeric: return 17;
    default: return 0;
  }
}

void PlaceColumns(std::vector<JetColumn>& columns) {
  uint16_t fixed_end = 0;
  uint16_t variables = 0;
  for (size_t i = 0; i < columns.size(); ++i) {
    JetColumn& column = columns[i];
    column.number = static_cast<uint16_t>(i);
    column.fixed = IsFixedType(column.type);
    if (column.fixed) {
      column.var_index = variables;
      column.fixed_offset = column.type == kColumnBoolean ? 0 : fixed_end;
      if (column.type != kColumnBoolean) fixed_end = static_cast<uint16_t>(fixed_end + column.size);
    } else {
      column.fixed_offset = 0;
      column.var_index = variables++;
    }
  }
}

std::string ExtendedDateText(const Value& value) {
  int64_t year = 0;
  unsigned month = 1, day = 1;
  CivilFromDays(value.integer, year, month, day);
  const uint64_t ticks = value.magnitude_low;
  const uint64_t seconds = ticks / 10000000;
  char text[64];
  std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02llu:%02llu:%02llu.%07llu", static_cast<long long>(year), month,
                day, static_cast<unsigned long long>(seconds / 3600), static_cast<unsigned long long>(seconds / 60 % 60),
                static_cast<unsigned long long>(seconds % 60), static_cast<unsigned long long>(ticks % 10000000));
  return text;
}

std::optional<Bytes> FieldBytes(const JetColumn& column, const Value& value, std::string& problem) {
  Bytes out;
  const auto kind_mismatch = [&]() -> std::optional<Bytes> {
    problem = "a value of another kind than the column's";
    return std::nullopt;
  };
  switch (column.type) {
    case kColumnByte:
      if (!IsIntegerKind(value)) return kind_mismatch();
      PutU8(out, static_cast<uint8_t>(value.integer));
      return out;
    case kColumnInteger:
      if (!IsIntegerKind(value)) return kind_mismatch();
      PutU16(out, static_cast<uint16_t>(value.integer));
      return out;
    case kColumnLongInteger:
      if (!IsIntegerKind(value)) return kind_mismatch();
      PutU32(out, static_cast<uint32_t>(value.integer));
      return out;
    case kColumnCurrency:
      if (value.kind != ValueKind::kCurrency && !IsIntegerKind(value)) return kind_mismatch();
      PutU64(out, static_cast<uint64_t>(value.integer));
      return out;
    case kColumnSingle:
      if (value.kind != ValueKind::kSingle && value.kind != ValueKind::kDouble) return kind_mismatch();
      PutFloat(out, static_cast<float>(value.real));
      return out;
    case kColumnDouble:
      if (value.kind != ValueKind::kDouble && value.kind != ValueKind::kSingle) return kind_mismatch();
      PutDouble(out, value.real);
      return out;
    case kColumnDateTime:
      if (value.kind != ValueKind::kDateTime && value.kind != ValueKind::kDouble) return kind_mismatch();
      PutDouble(out, value.real);
      return out;
    case kColumnReplicationId:
      if (value.kind == ValueKind::kGuid) {
        out.append(reinterpret_cast<const char*>(value.guid.data()), value.guid.size());
        return out;
      }
      if (value.kind == ValueKind::kBytes && value.bytes.size() == 16) return value.bytes;
      return kind_mismatch();
    case kColumnNumeric: {
      if (column.conversion == Conversion::kBigIntToNumeric || IsIntegerKind(value)) {
        if (!IsIntegerKind(value)) return kind_mismatch();
        const bool negative = value.integer < 0;
        const uint64_t magnitude =
            negative ? ~static_cast<uint64_t>(value.integer) + 1 : static_cast<uint64_t>(value.integer);
        uint64_t high = 0, low = magnitude;
        for (int s = 0; s < column.scale; ++s) {
          if (!TimesTen(high, low)) {
            problem = "the number does not fit the column";
            return std::nullopt;
          }
        }
        PutNumeric(out, negative, high, low);
        return out;
      }
      if (value.kind != ValueKind::kDecimal) return kind_mismatch();
      uint64_t high = value.magnitude_high, low = value.magnitude_low;
      if (value.scale > column.scale) {
        problem = "the number has more decimals than the column holds";
        return std::nullopt;
      }
      for (int s = value.scale; s < column.scale; ++s) {
        if (!TimesTen(high, low)) {
          problem = "the number does not fit the column";
          return std::nullopt;
        }
      }
      PutNumeric(out, value.negative, high, low);
      return out;
    }
    case kColumnText: {
      std::string text;
      if (column.conversion == Conversion::kExtendedDateToText) {
        if (value.kind != ValueKind::kExtendedDateTime) return kind_mismatch();
        text = ExtendedDateText(value);
      } else {
        if (value.kind != ValueKind::kText) return kind_mismatch();
        text = value.bytes;
      }
      const std::u16string units = Utf8ToUtf16(text);
      if (units.size() * 2 > column.size) {
        problem = "the text is longer than the column holds";
        return std::nullopt;
      }
      return EncodeText(units, column.compressed());
    }
    case kColumnUnknown11:  // a fixed field of bytes, the rest of it zero
    case kColumnBinary:
      if (value.kind != ValueKind::kBytes) return kind_mismatch();
      if (value.bytes.size() > column.size) {
        problem = "the bytes are more than the column holds";
        return std::nullopt;
      }
      return value.bytes;
    default:
      problem = "the column's type holds no field";
      return std::nullopt;
  }
}

std::optional<Bytes> LongValueContent(const JetColumn& column, const Value& value) {
  if (column.type == kColumnMemo) {
    if (value.kind != ValueKind::kText) return std::nullopt;
    return EncodeText(value.bytes, true);
  }
  if (value.kind != ValueKind::kBytes && value.kind != ValueKind::kText) return std::nullopt;
  return value.bytes;
}

RowEncoder::RowEncoder(const std::vector<JetColumn>& columns) : columns_(columns) {
  for (size_t i = 0; i < columns.size(); ++i) {
    const JetColumn& column = columns[i];
    column_count_ = std::max<size_t>(column_count_, column.number + 1u);
    if (column.fixed) {
      if (column.type != kColumnBoolean) {
        fixed_length_ = std::max<size_t>(fixed_length_, column.fixed_offset + column.size);
      }
    } else {
      if (variable_.size() <= column.var_index) variable_.resize(column.var_index + 1u);
      variable_[column.var_index] = i;
    }
  }
}

void RowEncoder::Encode(const std::vector<Value>& values, const LongValueSink& sink, EncodedRow& out) const {
  static const Value kNull;
  Bytes& row = out.bytes;
  row.clear();
  out.refused.clear();
  out.refused_sources.clear();
  const size_t mask_bytes = (column_count_ + 7) / 8;
  std::vector<uint8_t> mask(mask_bytes, 0);
  const auto set = [&](const JetColumn& c) { mask[c.number / 8] |= static_cast<uint8_t>(1u << (c.number % 8)); };
  const auto value_of = [&](const JetColumn& c) -> const Value& {
    return c.source < values.size() ? values[c.source] : kNull;
  };

  PutU16(row, static_cast<uint16_t>(column_count_));
  row.resize(2 + fixed_length_, '\0');
  std::string problem;
  for (const JetColumn& column : columns_) {
    if (!column.fixed) continue;
    const Value& value = value_of(column);
    if (value.IsNull()) continue;
    if (column.type == kColumnBoolean) {
      if (value.kind == ValueKind::kInteger && value.integer != 0) set(column);
      continue;
    }
    std::optional<Bytes> bytes = FieldBytes(column, value, problem);
    if (!bytes) {
      out.refused.push_back("column " + column.name + ": " + problem);
      out.refused_sources.push_back(column.source);
      continue;
    }
    std::memcpy(row.data() + 2 + column.fixed_offset, bytes->data(), std::min<size_t>(bytes->size(), column.size));
    set(column);
  }
  if (!variable_.empty()) {
    std::vector<uint16_t> offsets;
    offsets.reserve(variable_.size() + 1);
    // Room a long value may take inline: what the row leaves of a page
    // once every other part of it is in (at most the offsets and the mask
    // still to come, counted generously).
    for (size_t index : variable_) {
      const JetColumn& column = columns_[index];
      offsets.push_back(static_cast<uint16_t>(row.size()));
      const Value& value = value_of(column);
      if (value.IsNull()) continue;
      if (column.IsLongValue()) {
        std::optional<Bytes> content = LongValueContent(column, value);
        if (!content) {
          out.refused.push_back("column " + column.name + ": a value of another kind than the column's");
          out.refused_sources.push_back(column.source);
          continue;
        }
        const size_t tail = 2 * (variable_.size() + 2) + mask_bytes;
        row += sink(index, *content, row.size() + tail);
        set(column);
        continue;
      }
      std::optional<Bytes> bytes = FieldBytes(column, value, problem);
      if (!bytes) {
        out.refused.push_back("column " + column.name + ": " + problem);
        out.refused_sources.push_back(column.source);
        continue;
      }
      row += *bytes;
      set(column);
    }
    const auto end = static_cast<uint16_t>(row.size());
    PutU16(row, end);
    for (size_t k = offsets.size(); k-- > 0;) PutU16(row, offsets[k]);
    PutU16(row, static_cast<uint16_t>(variable_.size()));
  }
  row.append(reinterpret_cast<const char*>(mask.data()), mask.size());
}

}  // namespace mendora::jet
