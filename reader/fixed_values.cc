// The decoder of fixed-size values.
#include "reader/fixed_values.h"

namespace mendora {

bool DecodeFixed(int type, ByteView bytes, Value& value) {
  const int size = ColumnTypeOf(type).fixed_size;
  if (size == 0 || type == kColumnBoolean) return false;
  if (bytes.size() < static_cast<size_t>(size)) return true;
  return DecodeFixedSized(type, bytes.data(), value);
}

}  // namespace mendora
