// Decoding the values stored in a fixed number of bytes: the one decoder of
// numbers, dates and GUIDs that row fields, property values and the layout
// guesses of headless tables all go through.
#ifndef MENDORA_READER_FIXED_VALUES_H_
#define MENDORA_READER_FIXED_VALUES_H_

#include "reader/byte_view.h"
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

}  // namespace mendora

#endif  // MENDORA_READER_FIXED_VALUES_H_
