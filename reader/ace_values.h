// Decoders for the values Access 2007 and later added to the Jet 4 layout:
// BigInt, extended date/time, calculated columns' wrapper, attachment data,
// and the complex columns' id and kind (see docs/format-ace.md).
//
// Bytes in, plain structs out: nothing here reads pages or knows rows, so
// the row layer can call them whatever form its values take. Every input is
// untrusted; a damaged value gives an error, never a read outside its bytes.
#ifndef MENDORA_READER_ACE_VALUES_H_
#define MENDORA_READER_ACE_VALUES_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "reader/byte_view.h"
#include "reader/column_types.h"

namespace mendora {

// The column type codes beyond Jet 4 (kColumnComplex, kColumnBigInt,
// kColumnExtendedDateTime) are in reader/column_types.h.

enum class AceError {
  kNone,
  kTruncated,    // fewer bytes than the value's own header says
  kMalformed,    // a field holds what the format never writes
  kTooLarge,     // a length beyond what the value (or any file) can hold
  kBadDeflate,   // the compressed stream does not inflate
};

// A short English phrase for the loss account ("truncated", ...).
const char* AceErrorText(AceError error);

// ---- BigInt (0x13): a signed 64-bit little-endian integer.
std::optional<int64_t> DecodeBigInt(ByteView value);

// ---- Extended date/time (0x14): 42 ASCII bytes, "DDDD...D:TTTT...T:7\0"
// with 19 digits of days since 0001-01-01 and 19 digits of 100-nanosecond
// units since midnight.
struct ExtendedDateTime {
  int64_t days = 0;    // 0 = 0001-01-01
  uint64_t ticks = 0;  // 100 ns units since midnight
  int year = 1;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
  uint32_t fraction = 0;  // 100 ns units within the second (7 digits)
};

inline constexpr size_t kExtendedDateTimeSize = 42;

// Nothing when the bytes are not the stored form or name a day after
// 9999-12-31 or a time past midnight.
std::optional<ExtendedDateTime> ParseExtendedDateTime(ByteView value);
// The calendar fields of a day count and a time of day (as parsed above).
ExtendedDateTime ExtendedDateTimeFrom(int64_t days, uint64_t ticks);
// The stored form (kExtendedDateTimeSize bytes) of a day count and time.
std::vector<uint8_t> StoredExtendedDateTime(int64_t days, uint64_t ticks);
// "MM/DD/YYYY HH:MM:SS.fffffff", all seven decimals.
std::string RenderExtendedDateTime(const ExtendedDateTime& value);
// "YYYY-MM-DDTHH:MM:SS.fffffff" (ISO 8601, no zone: the stored time is local).
std::string ExtendedDateTimeIso(const ExtendedDateTime& value);

// ---- Calculated columns (Access 2010+): the result is wrapped in 16 zero
// bytes, its 32-bit length, the result, then 3 zero bytes.
inline constexpr uint8_t kCalculatedFlagBits = 0xC0;  // byte 16 of the column record
inline constexpr size_t kCalculatedHeaderSize = 20;

// Whether byte 16 of a column record marks a calculated column.
bool IsCalculatedColumn(uint8_t extra_flags);

struct CalculatedValue {
  AceError error = AceError::kNone;
  bool null = false;  // a stored wrapper of length 0: the result is null
  ByteView result;    // the result in its type's stored form (inside the input)
};

CalculatedValue UnwrapCalculated(ByteView stored);

// A Decimal result of a calculated column (16 bytes): 0x000E (or 0), scale, sign,
// then a 96-bit magnitude as its high 32 and low 64 bits.
struct CalculatedDecimal {
  bool negative = false;
  uint8_t scale = 0;
  uint32_t high = 0;
  uint64_t low = 0;
};
std::optional<CalculatedDecimal> DecodeCalculatedDecimal(ByteView result);
// Plain decimal text with exactly `scale` decimals ("-0.0192307692307692").
std::string CalculatedDecimalText(const CalculatedDecimal& value);

// ---- Attachment data (`FileData` of a hidden attachment table): an 8-byte
// header (compressed flag, content length), the content zlib-compressed or
// stored; the content is its own header (length, 1, extension) and the file.
struct AttachmentData {
  AceError error = AceError::kNone;
  bool compressed = false;
  std::string extension;      // UTF-8, as the content's header names it
  std::vector<uint8_t> file;  // the attached file's bytes
};

// No attachment is inflated past this, whatever its header claims.
inline constexpr size_t kMaxAttachmentSize = size_t{1} << 30;

// `max_size` caps the content further (tests use small caps). On an error,
// `file` holds what could be recovered of the file before it, if anything.
AttachmentData DecodeAttachmentData(ByteView stored, size_t max_size = kMaxAttachmentSize);

// ---- Complex columns (0x12).
// The complex id of a 25-byte column record: the 32 bits at offset 11.
std::optional<uint32_t> ComplexIdOfColumnRecord(ByteView record);

enum class ComplexKind { kUnknown, kAttachments, kMultiValue, kVersionHistory };

// The kind a template table's name gives (`ComplexTypeObjectID` of
// MSysComplexColumns names the template in the catalog).
ComplexKind ComplexKindOfTemplate(std::string_view template_name);

}  // namespace mendora

#endif  // MENDORA_READER_ACE_VALUES_H_
