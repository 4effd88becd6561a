// Text decoding: Jet 4 two-byte text (plain or compressed) and the
// single-byte code pages of Jet 3 files, all to UTF-8.
#ifndef MENDORA_READER_TEXT_CODEC_H_
#define MENDORA_READER_TEXT_CODEC_H_

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "reader/byte_view.h"

namespace mendora {

// A Windows code page of Jet 3 text: single-byte (1250-1258, 874) or
// double-byte (932 Japanese, 936 Simplified Chinese, 949 Korean, 950
// Traditional Chinese), each byte or byte pair mapped to its UTF-8 form.
class CodePage {
 public:
  // Windows-1252 when `windows_code_page` is not a code page Mendora reads.
  static std::shared_ptr<const CodePage> ForWindowsCodePage(int windows_code_page);
  static std::shared_ptr<const CodePage> Windows1252();
  // Whether ForWindowsCodePage gives `windows_code_page` itself.
  static bool Supported(int windows_code_page);

  int number() const { return number_; }
  // Decodes bytes, stopping at the first zero byte.
  std::string Decode(ByteView bytes) const;
  void DecodeInto(ByteView bytes, std::string& out) const;
  void AppendTo(std::string& out, ByteView bytes) const;

 private:
  int number_ = 1252;
  std::array<std::string, 256> utf8_;
  // Double-byte code pages: which bytes start a pair, and the code point of
  // each pair (lead - 0x80) * 256 + trail, 0 where the pair means nothing.
  std::array<bool, 256> lead_{};
  std::vector<uint32_t> pairs_;
};
// Appends the UTF-8 form of one Unicode code point (invalid ones as U+FFFD).
void AppendUtf8(std::string& out, uint32_t code_point);

// UTF-16LE to UTF-8; unpaired surrogates become U+FFFD. An odd last byte is
// ignored.
std::string Utf16LeToUtf8(ByteView bytes);
void Utf16LeToUtf8Into(ByteView bytes, std::string& out);

// Jet 4 text: UTF-16LE, or, after a 0xFF 0xFE marker, the compressed form in
// which runs of one-byte characters (the low byte of a character whose high
// byte is 0) alternate with runs of UTF-16LE characters, a 0x00 byte
// switching between them.
std::string Ucs2ToText(ByteView bytes);
// The same, into `out`, whose storage is reused.
void Ucs2ToTextInto(ByteView bytes, std::string& out);

// Number of characters (code points) in UTF-8 text.
size_t CountUtf8Chars(const std::string& text);
// The first `chars` characters of UTF-8 text.
std::string CutUtf8(const std::string& text, size_t chars);
// Cuts `text` to at most `bytes` bytes without splitting a UTF-8 sequence.
void CutUtf8Bytes(std::string& text, size_t bytes);

// Names as Access compares them: without regard to the case of ASCII
// letters. Other bytes are kept as they are, whatever the locale, so UTF-8
// sequences survive.
std::string AsciiLower(std::string_view text);
std::string AsciiUpper(std::string text);
bool SameNameIgnoringCase(std::string_view a, std::string_view b);

// The code page stored in page 0 of a database file (the header after byte
// 0x18 is RC4-scrambled), or 0 when the page is too short to hold it.
int HeaderCodePage(ByteView page0);
// The sort order page 0 names for text: its language id (1033 for
// "General") and, in Jet 4 and later files, the 16-bit variant stored after
// it (0 in files whose text keys are those of Jet 4's "General"; Access 2010
// and later may store another). Zeros when the page is too short.
struct HeaderSort {
  uint16_t id = 0;
  uint16_t variant = 0;
};
HeaderSort HeaderSortOrder(ByteView page0, bool jet4);

// The code page Jet 3 text of a file is in: the one its header names where
// Mendora reads it, else the one of its sort order's locale, else 1252.
int Jet3TextCodePage(ByteView page0);

}  // namespace mendora

#endif  // MENDORA_READER_TEXT_CODEC_H_
