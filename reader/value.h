// Typed values and rows as the reader delivers them.
//
// A Value keeps what the file stores, exactly: currency as its count of
// 1/10000, decimals as their 128-bit magnitude, dates as the stored double.
// Rendering to text and binding to a target are separate steps, so neither
// has to parse the other's output. A Row's values are reused from row to row:
// a cursor assigns into them, and their buffers keep their capacity.
#ifndef MENDORA_READER_VALUE_H_
#define MENDORA_READER_VALUE_H_

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "reader/jet_format.h"

namespace mendora {

enum class ValueKind : uint8_t {
  kNull,
  kInteger,   // 8 to 64 bits, and Boolean as 0/1
  kSingle,
  kDouble,
  kCurrency,  // integer holds the count of 1/10000
  kDecimal,   // magnitude_high/low, negative, precision, scale
  kDateTime,  // real holds the days since 1899-12-30
  kText,      // bytes holds UTF-8
  kBytes,     // bytes holds the stored bytes (binary, OLE, long binary)
  kGuid,      // guid holds the 16 stored bytes
  // Access 2019's extended date/time: integer holds the days since
  // 0001-01-01, magnitude_low the 100 ns units since midnight.
  kExtendedDateTime,
};

struct Value {
  ValueKind kind = ValueKind::kNull;
  bool negative = false;  // kDecimal
  uint8_t precision = 0;  // kDecimal
  uint8_t scale = 0;      // kDecimal
  int64_t integer = 0;    // kInteger, kCurrency
  uint64_t magnitude_high = 0;  // kDecimal
  uint64_t magnitude_low = 0;   // kDecimal
  double real = 0;        // kSingle (as stored, widened), kDouble, kDateTime
  std::string bytes;      // kText, kBytes
  std::array<uint8_t, 16> guid{};

  bool IsNull() const { return kind == ValueKind::kNull; }
  void SetNull() { kind = ValueKind::kNull; }
  void SetInteger(int64_t v) {
    kind = ValueKind::kInteger;
    integer = v;
  }
  void SetSingle(float v) {
    kind = ValueKind::kSingle;
    real = v;
  }
  void SetDouble(double v) {
    kind = ValueKind::kDouble;
    real = v;
  }
  void SetCurrency(int64_t units) {
    kind = ValueKind::kCurrency;
    integer = units;
  }
  void SetDateTime(double days) {
    kind = ValueKind::kDateTime;
    real = days;
  }
  void SetExtendedDateTime(int64_t days, uint64_t ticks) {
    kind = ValueKind::kExtendedDateTime;
    integer = days;
    magnitude_low = ticks;
  }
  float AsSingle() const { return static_cast<float>(real); }
};

// One entry of a complex column's value (Access 2007+): an attachment, one
// value of a multi-value column, or one version of an append-only memo.
struct ComplexItem {
  Value value;            // multi-value: the value; version history: the text; attachment: the file's bytes
  std::string file_name;  // attachment
  std::string file_type;  // attachment: the extension
  Value time;             // attachment: its time stamp; version history: when it was written
};

// The entries of one complex column of a row, beside the row's values: the
// value at `column` holds the same entries as the dump's JSON text.
struct ComplexCell {
  size_t column = 0;
  std::vector<ComplexItem> items;
};

struct Row {
  uint32_t page = 0;
  uint16_t slot = 0;
  uint16_t flags = 0;  // the slot's top bits as stored
  std::vector<Value> values;
  std::vector<ComplexCell> complex;  // only in tables with complex columns

  bool IsDeleted() const { return SlotIsDeleted(flags); }
};

}  // namespace mendora

#endif  // MENDORA_READER_VALUE_H_
