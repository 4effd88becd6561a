// JSON strings written straight into a buffer, for the dump and the JSON
// Lines export: the rows of a large table pass through here value by value,
// so nothing is built per value but the bytes themselves.
#ifndef MENDORA_OUTPUT_COMMON_JSON_TEXT_H_
#define MENDORA_OUTPUT_COMMON_JSON_TEXT_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace mendora {

// The length of the well-formed UTF-8 sequence that starts at `at` (overlong
// forms, surrogates and code points past U+10FFFF are not), or 0 when there
// is none; then `valid` is how many of its bytes were acceptable, the lead
// byte included (0 for a byte that starts nothing, ASCII included).
size_t Utf8SequenceLength(const unsigned char* at, const unsigned char* end, size_t& valid);

// Appends `text` as a JSON string, quotes included. '"', '\\' and the
// control characters are escaped ("\n", "\t"... or "\u001f"); everything else
// stays as it is, UTF-8 included. Bytes that are no part of well-formed
// UTF-8 become U+FFFD: each maximal start of a sequence that breaks off
// (overlong forms, surrogates and code points past U+10FFFF never start
// one) is one replacement, and the byte that broke it is read again.
void AppendJsonString(std::string& out, std::string_view text);
// The same written at `out`, which has room for MostJsonStringBytes of the
// text; returns the end of what was written.
char* PutJsonString(char* out, std::string_view text);
// Six bytes at most for each byte of text ("\u001f"), and the quotes.
constexpr size_t MostJsonStringBytes(size_t text_bytes) { return 6 * text_bytes + 2; }

// Appends a finite `number` in the JSON library's shortest form ("1.0",
// "0.1", "1e+21", "-0.0"), which the JSON Lines export has always written.
void AppendJsonNumber(std::string& out, double number);

}  // namespace mendora

#endif  // MENDORA_OUTPUT_COMMON_JSON_TEXT_H_
