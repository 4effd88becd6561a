// The bytes of an index key: what a leaf entry of an index holds for a row's
// values, so that comparing two keys byte by byte orders them as the index
// does.
//
// A key is the keys of its columns one after the other. A column's key is a
// flag byte (0x7F for a value, 0x00 for a null; descending: 0x80 and 0xFF)
// and, for a value, its bytes:
//   - Byte: the byte. Integer, Long Integer, BigInt, Currency (its count of
//     1/10000) and a complex column's id: big-endian with the sign bit
//     flipped. Single, Double and Date/Time (its days): the IEEE bytes
//     big-endian, the sign bit flipped for a positive value and every bit
//     inverted for a negative one.
//   - GUID, Binary and Access 2019's extended date/time (its stored text):
//     the bytes in 8-byte pieces, each followed by 0x09 when more follow, the
//     last padded with zeros and followed by its length (1-8). A GUID's first
//     three fields are taken big-endian, as its text writes them.
//   - Text: its sort key in the file's sort order (see TextSortOrder),
//     learned from the samples' own index pages.
// Descending columns invert every byte but the 0x09 that says a piece
// follows.
//
// Established by the samples' index pages: nulls, Byte, Long Integer,
// BigInt, complex ids, positive dates, GUIDs, Binary, extended date/time,
// descending Long Integer, Binary and extended date/time, and the text of the
// sort orders named below. Integer, Currency, Single, Double and negative
// dates follow the same rules as the types whose keys the samples show (a
// date is a Double, Currency a 64-bit integer). Yes/No, Memo and OLE columns
// have no key here (kUnsupportedType).
//
// A text holding a character whose key the samples do not establish gets
// kUnknownSortOrder with those characters in `unknown`: no key is made up.
// The writer leaves such an index out (and says so); the checker calls such
// a key not verified, never wrong.
#ifndef MENDORA_READER_INDEX_KEY_H_
#define MENDORA_READER_INDEX_KEY_H_

#include <cstdint>
#include <string>
#include <vector>

#include "reader/value.h"

namespace mendora {

// The sort orders whose text keys are known. A file says its own on page 0
// (see SortOrderOfHeader).
enum class TextSortOrder : uint8_t {
  kJet4General,  // "General" of Jet 4 and Access 2007+ files (sort order 1033, variant 0)
  kJet3General,  // "General" of Jet 3 files (single-byte text)
  kOther,        // any other: no text key is known
};

struct KeyColumn {
  int type = 0;  // the column's stored type code (ColumnType)
  bool descending = false;
  TextSortOrder sort_order = TextSortOrder::kJet4General;
};

enum class KeyOutcome : uint8_t {
  kEncoded,
  kUnknownSortOrder,  // text with characters whose keys are not established
  kUnsupportedType,   // a type that has no key here
  kWrongValue,        // the value is not of the column's type
};

struct EncodedKey {
  KeyOutcome outcome = KeyOutcome::kEncoded;
  std::vector<uint8_t> bytes;  // the key, when encoded
  std::u32string unknown;      // kUnknownSortOrder: the characters, each once, in order of appearance

  bool ok() const { return outcome == KeyOutcome::kEncoded; }
};

// The key of one column's value (`value` as the reader delivers it for a
// column of `column.type`).
EncodedKey EncodeKeyColumn(const KeyColumn& column, const Value& value);

// The key of several columns: their keys one after the other. `values`
// holds one value per column. Not encoded when any column is not; the
// unknown characters of every text are gathered.
EncodedKey EncodeKey(const std::vector<KeyColumn>& columns, const std::vector<const Value*>& values);

// The sort order of a file whose page 0 names `sort_id` and `variant` (see
// HeaderSortOrder in text_codec.h); kOther for any whose keys are not known.
TextSortOrder SortOrderOfHeader(bool jet4, uint16_t sort_id, uint16_t variant);

// Whether every character of `text` (UTF-8) has a known key in `order`.
bool TextKeyKnown(TextSortOrder order, const std::string& text);

}  // namespace mendora

#endif  // MENDORA_READER_INDEX_KEY_H_
