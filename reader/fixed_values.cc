// The decoder of fixed-size values.
#include "reader/fixed_values.h"

#include <algorithm>
#include <cstring>

#include "reader/byte_cursor.h"
#include "reader/column_types.h"

namespace mendora {

namespace {

// Little-endian in the file whatever the host's order.
float SingleAt(ByteCursor& bytes) {
  const uint32_t bits = bytes.U32At(0);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

double DoubleAt(ByteCursor& bytes) {
  const uint64_t bits = bytes.U64At(0);
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

}  // namespace

bool DecodeFixed(int type, ByteView bytes, Value& value) {
  const int size = ColumnTypeOf(type).fixed_size;
  if (size == 0 || type == kColumnBoolean) return false;
  if (bytes.size() < static_cast<size_t>(size)) return true;
  ByteCursor in(bytes);
  switch (type) {
    case kColumnByte:
      value.SetInteger(in.U8At(0));
      break;
    case kColumnInteger:
      value.SetInteger(static_cast<int16_t>(in.U16At(0)));
      break;
    case kColumnLongInteger:
      value.SetInteger(static_cast<int32_t>(in.U32At(0)));
      break;
    case kColumnBigInt:
      value.SetInteger(static_cast<int64_t>(in.U64At(0)));
      break;
    case kColumnCurrency:
      value.SetCurrency(static_cast<int64_t>(in.U64At(0)));
      break;
    case kColumnSingle:
      value.SetSingle(SingleAt(in));
      break;
    case kColumnDouble:
      value.SetDouble(DoubleAt(in));
      break;
    case kColumnDateTime:
      value.SetDateTime(DoubleAt(in));
      break;
    case kColumnReplicationId: {
      value.kind = ValueKind::kGuid;
      const ByteView guid = in.BytesAt(0, value.guid.size());
      std::copy(guid.data(), guid.data() + guid.size(), value.guid.begin());
      break;
    }
    case kColumnNumeric:
      // A sign byte, then four 32-bit words of the magnitude, high first.
      value.kind = ValueKind::kDecimal;
      value.negative = (in.U8At(0) & 0x80) != 0;
      value.magnitude_high = static_cast<uint64_t>(in.U32At(1)) << 32 | in.U32At(5);
      value.magnitude_low = static_cast<uint64_t>(in.U32At(9)) << 32 | in.U32At(13);
      value.precision = 0;
      value.scale = 0;
      break;
    default:
      return false;
  }
  return true;
}

}  // namespace mendora
