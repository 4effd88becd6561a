// Rendering of stored column values as UTF-8 text.
//
// Every value leaves the reader as text: numbers in plain decimal, currency
// with four decimals, dates as "MM/DD/YYYY HH:MM:SS", text and memos decoded
// from the file's text forms.
#ifndef MENDORA_READER_VALUE_RENDER_H_
#define MENDORA_READER_VALUE_RENDER_H_

#include <cstdint>
#include <string>

#include "reader/byte_view.h"
#include "reader/jet_handle.h"

namespace mendora {

// Renders the value of `length` bytes at `start` of the page buffer.
std::string RenderValue(JetHandle& handle, uint32_t start, int type, uint32_t length);

// A 17-byte Numeric field: sign byte (0x80 negative), then a 128-bit value
// as four 32-bit little-endian words, most significant first.
std::string RenderNumeric(ByteView field, int precision, int scale);
// An 8-byte signed count of 1/10000 units.
std::string RenderMoney(ByteView value);
// Days since 1899-12-30, the time of day as the fraction.
std::string RenderDate(double days);
std::string RenderDate(JetHandle& handle, uint32_t start);
// Shortest text that reads back as the same value.
std::string RenderSingle(float value);
std::string RenderDouble(double value);
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" of a 16-byte GUID.
std::string RenderGuid(ByteView value);
// The stored bytes of a long-value field (memo or OLE object) of the row in
// the page buffer; empty when they cannot be read, with a line on stderr
// naming `kind`. Long-value pages are read into the alternate buffer; the
// page buffer is left as it was.
std::string ReadLongValue(JetHandle& handle, uint32_t start, uint32_t length, const char* kind);
// A memo field's text, as UTF-8.
std::string ReadMemo(JetHandle& handle, uint32_t start, uint32_t length);
// Removes a fraction's trailing zeros (and a bare point).
void TrimZeros(std::string& text);

}  // namespace mendora

#endif  // MENDORA_READER_VALUE_RENDER_H_
