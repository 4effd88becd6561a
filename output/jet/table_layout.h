// Where each column of a table being written lives in its rows, and the
// encoding of a row's values into the Jet 4 row layout:
//
//   column count | fixed part | variable data | end offset | offsets of the
//   variable columns, last first | variable count | null mask
//
// Fixed columns are packed in column-number order (Yes/No columns live only
// in the null mask), variable ones numbered in turn. A table without
// variable columns has no offset table.
#ifndef MENDORA_OUTPUT_JET_TABLE_LAYOUT_H_
#define MENDORA_OUTPUT_JET_TABLE_LAYOUT_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "output/jet/jet_bytes.h"
#include "reader/value.h"

namespace mendora::jet {

// How a source value becomes what its column stores.
enum class Conversion : uint8_t {
  kNone,
  kBigIntToNumeric,       // Access 2007+ BigInt as Numeric(19,0)
  kExtendedDateToText,    // Access 2019 date/time extended as ISO text, seven decimals
  kBytesToBinary,         // a type the reader keeps as bytes
};

struct JetColumn {
  std::string name;
  int type = 0;       // the stored type code
  uint16_t size = 0;  // bytes (text: two a character); 0 for memo, OLE and Yes/No
  uint8_t precision = 0;
  uint8_t scale = 0;
  uint16_t number = 0;
  uint8_t flags = 0;        // the column record's flags
  uint8_t extra_flags = 0;  // byte 16: compressed text
  Conversion conversion = Conversion::kNone;
  size_t source = 0;  // its value's place in the rows given

  // Placed by PlaceColumns.
  bool fixed = false;
  uint16_t fixed_offset = 0;
  uint16_t var_index = 0;  // variable columns: their place; fixed ones: variable columns before them

  bool IsLongValue() const;
  bool compressed() const;
};

bool IsFixedType(int type);
// The stored size of a fixed type (17 for Numeric, 16 for a GUID...).
uint16_t FixedSize(int type);

// Places `columns` (numbered 0, 1, ... in order).
void PlaceColumns(std::vector<JetColumn>& columns);

// The stored bytes of `value` in a field of `column` (not a long value,
// not Yes/No). Nothing when the value does not fit the column, with the
// reason in `problem`.
std::optional<Bytes> FieldBytes(const JetColumn& column, const Value& value, std::string& problem);

// The ISO form with seven decimals of an extended date/time.
std::string ExtendedDateText(const Value& value);

// Writes a long value and returns the 12-byte field that refers to it (or
// holds it inline).
using LongValueSink = std::function<Bytes(size_t column, const Bytes& content, size_t room)>;

struct EncodedRow {
  Bytes bytes;
  std::vector<std::string> refused;  // one line per value left out
  std::vector<size_t> refused_sources;  // the source value of each, stored as null
};

// Lays out a table's rows.
class RowEncoder {
 public:
  explicit RowEncoder(const std::vector<JetColumn>& columns);
  // The row of `values` (taken at each column's `source`). Long values go
  // through `sink`, which may keep them inline given the room left.
  void Encode(const std::vector<Value>& values, const LongValueSink& sink, EncodedRow& out) const;
  size_t fixed_length() const { return fixed_length_; }
  size_t column_count() const { return column_count_; }

 private:
  const std::vector<JetColumn>& columns_;
  std::vector<size_t> variable_;  // into columns_, by variable index
  size_t fixed_length_ = 0;
  size_t column_count_ = 0;
};

// The content a long-value column stores for `value`: memo text in its
// compressed form where possible, OLE bytes as they are. Nothing for a
// value of another kind.
std::optional<Bytes> LongValueContent(const JetColumn& column, const Value& value);

}  // namespace mendora::jet

#endif  // MENDORA_OUTPUT_JET_TABLE_LAYOUT_H_
