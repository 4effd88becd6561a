// Decoding the values stored in a fixed number of bytes: the one decoder of
// numbers, dates and GUIDs that row fields, property values and the layout
// guesses of headless tables all go through.
#ifndef MENDORA_READER_FIXED_VALUES_H_
#define MENDORA_READER_FIXED_VALUES_H_

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "reader/byte_view.h"
#include "reader/column_types.h"
#include "reader/value.h"

namespace mendora {

// Decodes `bytes` as a value of column type `type` into `value` when `type`
// is stored in a fixed number of bytes (ColumnTypeInfo::fixed_size): Byte,
// Integer, Long Integer, Currency, Single, Double, Date/Time, Replication
// ID, Numeric (its precision and scale are the column's: left 0 here) and
// Big Integer. Bytes shorter than the type leave `value` as it was. Returns
// false, touching nothing, for any other type. A date is taken as stored:
// whether it is a day Access can hold is the caller's question.
bool DecodeFixed(int type, ByteView bytes, Value& value);

namespace fixed_detail {

// Little-endian in the file whatever the host's order.
template <typename T>
inline T LittleEndianAt(const uint8_t* p) {
  T v;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&v, p, sizeof v);
  } else {
    v = 0;
    for (int i = static_cast<int>(sizeof(T)) - 1; i >= 0; --i) v = static_cast<T>(v << 8 | p[i]);
  }
  return v;
}

}  // namespace fixed_detail

// DecodeFixed's decoding itself, for a caller that has already checked that
// `type` is one of its types and that `bytes` holds at least its fixed_size
// bytes: the row cursor, which checks that once per table, not per value.
// False, touching nothing, for a type that is not one of DecodeFixed's.
inline bool DecodeFixedSized(int type, const uint8_t* bytes, Value& value) {
  using fixed_detail::LittleEndianAt;
  switch (type) {
    case kColumnByte:
      value.SetInteger(bytes[0]);
      return true;
    case kColumnInteger:
      value.SetInteger(static_cast<int16_t>(LittleEndianAt<uint16_t>(bytes)));
      return true;
    case kColumnLongInteger:
      value.SetInteger(static_cast<int32_t>(LittleEndianAt<uint32_t>(bytes)));
      return true;
    case kColumnBigInt:
      value.SetInteger(static_cast<int64_t>(LittleEndianAt<uint64_t>(bytes)));
      return true;
    case kColumnCurrency:
      value.SetCurrency(static_cast<int64_t>(LittleEndianAt<uint64_t>(bytes)));
      return true;
    case kColumnSingle:
      value.SetSingle(std::bit_cast<float>(LittleEndianAt<uint32_t>(bytes)));
      return true;
    case kColumnDouble:
      value.SetDouble(std::bit_cast<double>(LittleEndianAt<uint64_t>(bytes)));
      return true;
    case kColumnDateTime:
      value.SetDateTime(std::bit_cast<double>(LittleEndianAt<uint64_t>(bytes)));
      return true;
    case kColumnReplicationId:
      value.kind = ValueKind::kGuid;
      std::copy(bytes, bytes + value.guid.size(), value.guid.begin());
      return true;
    case kColumnNumeric: {
      // A sign byte, then four 32-bit words of the magnitude, high first.
      value.kind = ValueKind::kDecimal;
      value.negative = (bytes[0] & 0x80) != 0;
      value.magnitude_high =
          static_cast<uint64_t>(LittleEndianAt<uint32_t>(bytes + 1)) << 32 | LittleEndianAt<uint32_t>(bytes + 5);
      value.magnitude_low =
          static_cast<uint64_t>(LittleEndianAt<uint32_t>(bytes + 9)) << 32 | LittleEndianAt<uint32_t>(bytes + 13);
      value.precision = 0;
      value.scale = 0;
      return true;
    }
    default:
      return false;
  }
}

}  // namespace mendora

#endif  // MENDORA_READER_FIXED_VALUES_H_
