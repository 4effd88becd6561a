// The decoder of fixed-size values.
#include "reader/fixed_values.h"

#include <algorithm>
#include <cstring>

#include "reader/column_types.h"

namespace mendora {

namespace {

// Little-endian in the file whatever the host's order.
float SingleAt(ByteView bytes) {
  const uint32_t bits = *bytes.U32(0);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

double DoubleAt(ByteView bytes) {
  const uint64_t bits = *bytes.U64(0);
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

}  // namespace

bool DecodeFixed(int type, ByteView bytes, Value& value) {
  const int size = ColumnTypeOf(type).fixed_size;
  if (size == 0 || type == kColumnBoolean) return false;
  if (bytes.size() < static_cast<size_t>(size)) return true;
  switch (type) {
    case kColumnByte:
      value.SetInteger(bytes.data()[0]);
      break;
    case kColumnInteger:
      value.SetInteger(static_cast<int16_t>(*bytes.U16(0)));
      break;
    case kColumnLongInteger:
      value.SetInteger(static_cast<int32_t>(*bytes.U32(0)));
      break;
    case kColumnBigInt:
      value.SetInteger(static_cast<int64_t>(*bytes.U64(0)));
      break;
    case kColumnCurrency:
      value.SetCurrency(static_cast<int64_t>(*bytes.U64(0)));
      break;
    case kColumnSingle:
      value.SetSingle(SingleAt(bytes));
      break;
    case kColumnDouble:
      value.SetDouble(DoubleAt(bytes));
      break;
    case kColumnDateTime:
      value.SetDateTime(DoubleAt(bytes));
      break;
    case kColumnReplicationId:
      value.kind = ValueKind::kGuid;
      std::copy(bytes.data(), bytes.data() + 16, value.guid.begin());
      break;
    case kColumnNumeric:
      // A sign byte, then four 32-bit words of the magnitude, high first.
      value.kind = ValueKind::kDecimal;
      value.negative = (bytes.data()[0] & 0x80) != 0;
      value.magnitude_high = static_cast<uint64_t>(*bytes.U32(1)) << 32 | *bytes.U32(5);
      value.magnitude_low = static_cast<uint64_t>(*bytes.U32(9)) << 32 | *bytes.U32(13);
      value.precision = 0;
      value.scale = 0;
      break;
    default:
      return false;
  }
  return true;
}

}  // namespace mendora
