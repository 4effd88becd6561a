// Rendering of typed values as the text that the analysis, the dump and the
// app's log show.
//
// Numbers in plain decimal, currency with four decimals, Numeric padded to
// its precision, dates as "MM/DD/YYYY HH:MM:SS", GUIDs in braces; text and
// bytes as they are.
#ifndef MENDORA_READER_VALUE_RENDER_H_
#define MENDORA_READER_VALUE_RENDER_H_

#include <cstdint>
#include <string>

#include "reader/byte_view.h"
#include "reader/value.h"

namespace mendora {

// The text of `value`; empty for a null.
std::string RenderValue(const Value& value);
void RenderValueInto(const Value& value, std::string& out);
// The same appended to `out`: the dump writes each value where it goes.
void AppendValueText(const Value& value, std::string& out);
// The most bytes PutValueText writes (a Numeric padded to its precision of
// up to 255 digits, with its sign and point, is the longest).
inline constexpr size_t kMostValueTextBytes = 320;
// The text of an integer, single, double, currency, Numeric or date value
// (ASCII digits, signs, points, slashes, colons and spaces: nothing a JSON
// string or a CSV field escapes) written at `out`, which has room for
// kMostValueTextBytes; returns its end. Other kinds write nothing.
char* PutValueText(const Value& value, char* out);
// The renderers below, written at `out` with room for kMostValueTextBytes;
// each returns the end of what it wrote (nothing where its string form is
// empty).
char* PutMoney(int64_t units, char* out);
char* PutDecimal(uint64_t high, uint64_t low, bool negative, int precision, int scale, char* out);
char* PutDate(double days, char* out);
// IsoDate's text with `separator` between the date and the time.
char* PutIsoDate(double days, char separator, char* out);

// A Numeric magnitude with its sign, padded to `precision` characters with
// the point `scale` characters from the right; a value or record that does
// not fit that layout (damage) keeps its plain form.
std::string RenderDecimal(uint64_t high, uint64_t low, bool negative, int precision, int scale);
void RenderDecimalInto(uint64_t high, uint64_t low, bool negative, int precision, int scale, std::string& out);
// A 17-byte Numeric field: sign byte (0x80 negative), then a 128-bit value
// as four 32-bit little-endian words, most significant first.
std::string RenderNumeric(ByteView field, int precision, int scale);
// A signed count of 1/10000 units.
std::string RenderMoney(int64_t units);
void RenderMoneyInto(int64_t units, std::string& out);
std::string RenderMoney(ByteView value);

// A date as the calendar has it: the proleptic Gregorian calendar, the time
// rounded to the second, a time that rounds to midnight on the next day.
struct DateParts {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
// Whether `days` falls in the years 100 to 9999, the dates Jet stores (NaN
// and the infinities do not): the check of every date a row holds, without
// the calendar.
inline bool DateInRange(double days) { return days >= -657434.0 && days < 2958466.0; }
// False for days outside the years 100 to 9999 (where DateInRange is).
bool DateFromDays(double days, DateParts& parts);
// Days since 1899-12-30, the time of day as the fraction.
std::string RenderDate(double days);
// The same into `out`, reusing its storage (as the dump does for every value).
void RenderDateInto(double days, std::string& out);
// "YYYY-MM-DD HH:MM:SS", so dates sort as text and SQLite's date functions
// read them; empty where RenderDate is.
std::string IsoDate(double days);
// The same into `out`, reusing its storage; false (and `out` empty) where
// IsoDate is empty.
bool IsoDateInto(double days, std::string& out);

// Shortest text that reads back as the same value.
std::string RenderSingle(float value);
std::string RenderDouble(double value);
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" of a 16-byte GUID.
std::string RenderGuid(ByteView value);

}  // namespace mendora

#endif  // MENDORA_READER_VALUE_RENDER_H_
