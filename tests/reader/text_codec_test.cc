// Text decoding: Jet 4 plain and compressed text, Jet 3 code pages (and
// built Jet 3 files written in them).
#include "reader/text_codec.h"

#include <gtest/gtest.h>

#include <vector>

#include "recovery/recovery_session.h"
#include "tests/builder/jet_builder.h"
#include "tests/support/temp_database.h"

namespace mendora {
namespace {

std::string Decode(const std::vector<uint8_t>& bytes) { return Ucs2ToText(ByteView(bytes.data(), bytes.size())); }

TEST(Ucs2ToTextTest, PlainUtf16IncludingSurrogatePairs) {
  EXPECT_EQ(Decode({'T', 0, 'a', 0, 'b', 0}), "Tab");
  EXPECT_EQ(Decode({0x16, 0x04, 0x3B, 0x04}), "Жл");
  EXPECT_EQ(Decode({0x3D, 0xD8, 0x00, 0xDE}), "\xF0\x9F\x98\x80");  // U+1F600
  EXPECT_EQ(Decode({0x3D, 0xD8, 'x', 0}), "\xEF\xBF\xBDx");           // lone high surrogate
  EXPECT_EQ(Decode({'a', 0, 'b'}), "a");                               // odd trailing byte
}

TEST(Ucs2ToTextTest, CompressedRunsSwitchOnZeroBytes) {
  EXPECT_EQ(Decode({0xFF, 0xFE, 'T', 'a', 'b', 'l', 'e'}), "Table");
  // One-byte run, switch, two-byte run, switch back.
  EXPECT_EQ(Decode({0xFF, 0xFE, 'A', 0x00, 0x16, 0x04, 0xB1, 0x03, 0x00, 'z'}), "AЖαz");
  // A one-byte character is the low byte of a character below U+0100.
  EXPECT_EQ(Decode({0xFF, 0xFE, 0xE9}), "é");
  EXPECT_EQ(Decode({0xFF, 0xFE}), "");
  // A two-byte run cut in the middle keeps what is whole.
  EXPECT_EQ(Decode({0xFF, 0xFE, 0x00, 0x16, 0x04, 0x3B}), "Ж");
}

// Character by character, as the form is defined: what the decoder, which
// takes ASCII sixteen bytes at a time, must give for every input.
std::string OneAtATime(const std::vector<uint8_t>& b) {
  std::vector<uint16_t> units;
  if (b.size() >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
    bool compressed = true;
    for (size_t i = 2; i < b.size();) {
      if (b[i] == 0) {
        compressed = !compressed;
        ++i;
      } else if (compressed) {
        units.push_back(b[i++]);
      } else if (i + 1 < b.size()) {
        units.push_back(static_cast<uint16_t>(b[i] | b[i + 1] << 8));
        i += 2;
      } else {
        break;
      }
    }
  } else {
    for (size_t i = 0; i + 1 < b.size(); i += 2) units.push_back(static_cast<uint16_t>(b[i] | b[i + 1] << 8));
  }
  std::string out;
  for (size_t k = 0; k < units.size(); ++k) {
    const uint32_t u = units[k];
    if (u >= 0xD800 && u <= 0xDBFF && k + 1 < units.size() && units[k + 1] >= 0xDC00 && units[k + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (units[++k] - 0xDC00u));
    } else {
      AppendUtf8(out, u);  // a lone surrogate as U+FFFD
    }
  }
  return out;
}

// ASCII text with one character that is not plain ASCII (or a switch of
// form) at every place of every length up to past two blocks of sixteen.
TEST(Ucs2ToTextTest, AnyCharacterAtAnyPlaceOfAnyLength) {
  const uint16_t plain[] = {0x00E9, 0x0416, 0x0100, 0x0080, 0x007F, 0x0000, 0xD83D, 0xDE00};
  const uint8_t compressed[] = {0x00, 0x80, 0xE9, 0x7F, 0xFF};
  for (size_t length = 0; length <= 40; ++length) {
    for (size_t at = 0; at <= length; ++at) {
      std::vector<uint16_t> text(length);
      for (size_t k = 0; k < length; ++k) text[k] = static_cast<uint16_t>('a' + k % 26);
      for (const uint16_t unit : plain) {
        std::vector<uint16_t> changed = text;
        if (at < length) changed[at] = unit;
        std::vector<uint8_t> bytes;
        for (const uint16_t u : changed) bytes.insert(bytes.end(), {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8)});
        if (at == length) bytes.push_back('z');  // an odd last byte
        EXPECT_EQ(Decode(bytes), OneAtATime(bytes)) << "plain, length " << length << " at " << at << " unit " << unit;
      }
      for (const uint8_t byte : compressed) {
        std::vector<uint8_t> bytes = {0xFF, 0xFE};
        for (const uint16_t u : text) bytes.push_back(static_cast<uint8_t>(u));
        if (at < length) bytes[2 + at] = byte;
        EXPECT_EQ(Decode(bytes), OneAtATime(bytes)) << "compressed, length " << length << " at " << at << " byte " << +byte;
      }
    }
  }
}

TEST(CodePageTest, Windows1252AndOthersToUtf8) {
  const std::vector<uint8_t> bytes = {'c', 'a', 'f', 0xE9, 0x80, 0x9F};
  EXPECT_EQ(CodePage::Windows1252()->Decode(ByteView(bytes.data(), bytes.size())), "café€Ÿ");
  const std::vector<uint8_t> cyrillic = {0xC6, 0xE8};
  EXPECT_EQ(CodePage::ForWindowsCodePage(1251)->Decode(ByteView(cyrillic.data(), 2)), "Жи");
  // Unknown numbers fall back to Windows-1252; undefined bytes keep Latin-1.
  EXPECT_EQ(CodePage::ForWindowsCodePage(437)->number(), 1252);
  const std::vector<uint8_t> undefined = {0x81};
  EXPECT_EQ(CodePage::Windows1252()->Decode(ByteView(undefined.data(), 1)), "\xC2\x81");
  const std::vector<uint8_t> stops = {'a', 0, 'b'};
  EXPECT_EQ(CodePage::Windows1252()->Decode(ByteView(stops.data(), 3)), "a");
}

// Row values decode into a reused string, ASCII a block at a time: the same
// text as the byte-at-a-time decoding, whatever byte comes where.
TEST(CodePageTest, DecodeIntoIsDecodeAtAnyPlaceOfAnyLength) {
  const uint8_t bytes[] = {0x00, 0x80, 0xE9, 0xB1, 0x7F};  // 0xB1 leads a pair in 936
  for (const int number : {1252, 936}) {
    const auto page = CodePage::ForWindowsCodePage(number);
    std::string out = "left over from an earlier value";
    for (size_t length = 0; length <= 40; ++length) {
      for (size_t at = 0; at <= length; ++at) {
        for (const uint8_t byte : bytes) {
          std::vector<uint8_t> text(length);
          for (size_t k = 0; k < length; ++k) text[k] = static_cast<uint8_t>('A' + k % 26);
          if (at < length) text[at] = byte;
          const ByteView view(text.data(), text.size());
          page->DecodeInto(view, out);
          EXPECT_EQ(out, page->Decode(view)) << number << ", length " << length << " at " << at << " byte " << +byte;
        }
      }
    }
  }
}

TEST(Utf8CountTest, CountsAndCutsWholeCharacters) {
  EXPECT_EQ(CountUtf8Chars("aЖ€😀"), 4u);
  EXPECT_EQ(CutUtf8("aЖ€😀", 2), "aЖ");
  EXPECT_EQ(CutUtf8("ab", 5), "ab");
  // By bytes: a cut inside a sequence drops the whole character.
  struct Case {
    size_t bytes;
    std::string kept;
  };
  for (const Case& c : {Case{0, ""}, Case{1, "a"}, Case{2, "a"}, Case{3, "aЖ"}, Case{5, "aЖ"}, Case{6, "aЖ€"},
                        Case{9, "aЖ€"}, Case{10, "aЖ€😀"}, Case{40, "aЖ€😀"}}) {
    std::string text = "aЖ€😀";
    CutUtf8Bytes(text, c.bytes);
    EXPECT_EQ(text, c.kept) << c.bytes;
  }
}

// Names compare as Access compares them: ASCII letters without regard to
// case, every other byte as it is (so no UTF-8 sequence is ever changed).
TEST(NameCaseTest, FoldsAsciiLettersOnly) {
  EXPECT_EQ(AsciiLower("MSysObjects Ä_Z9"), "msysobjects Ä_z9");
  EXPECT_EQ(AsciiUpper("select äb"), "SELECT äB");
  struct Case {
    const char* a;
    const char* b;
    bool same;
  };
  for (const Case& c : {Case{"ResultType", "resulttype", true}, Case{"Straße", "STRAßE", true},
                        Case{"é", "É", false}, Case{"ab", "abc", false}, Case{"", "", true},
                        Case{"[a]", "{A}", false}}) {
    EXPECT_EQ(SameNameIgnoringCase(c.a, c.b), c.same) << c.a << " / " << c.b;
  }
}

TEST(CodePageTest, DoubleBytePairsAndBrokenPairs) {
  struct Case {
    int code_page;
    std::vector<uint8_t> bytes;
    std::string text;
  };
  const Case cases[] = {
      {936, {'G', 'B', 'K', 0xB1, 0xE0, 0xC2, 0xEB}, "GBK编码"},
      {950, {0xA4, 0xA4, 0xA4, 0xE5}, "中文"},
      {932, {0x93, 0xFA, 0x96, 0x7B, 0xB1}, "日本ｱ"},  // a pair whose trail is ASCII, then a one-byte kana
      {949, {0xC7, 0xD1, 0xB1, 0xDB}, "한글"},
      // A lead byte at the end, or before a byte no pair takes, keeps its Latin-1 meaning.
      {936, {'a', 0xB1}, "a\xC2\xB1"},
      {936, {0xB1, 0x20, 'b'}, "\xC2\xB1 b"},
  };
  for (const Case& c : cases) {
    const auto page = CodePage::ForWindowsCodePage(c.code_page);
    EXPECT_EQ(page->number(), c.code_page);
    EXPECT_EQ(page->Decode(ByteView(c.bytes.data(), c.bytes.size())), c.text) << c.code_page;
  }
}

// Jet 3 files written on Chinese and Russian Windows: the header names the
// code page (or, where it names none Mendora reads, the sort order's locale
// does), and --code-page overrides both.
struct Jet3TextCase {
  int code_page;         // what the text is written in
  int header_code_page;  // what the header names
  uint16_t sort_order;
  int chosen;            // the user's choice, 0 for none
  bool read_right;
};

class Jet3CodePageTest : public ::testing::TestWithParam<Jet3TextCase> {};

TEST_P(Jet3CodePageTest, TablesNamesAndValuesReadInTheCodePage) {
  const Jet3TextCase& c = GetParam();
  const std::string name = c.code_page == 1251 ? "Клиенты" : "客户";
  const std::string column = c.code_page == 1251 ? "Имя" : "名称";
  const std::string value = c.code_page == 1251 ? "Жёлтый «дом»" : "GBK编码，中文";
  testing::JetFileBuilder builder(testing::JetVersion::kJet3);
  builder.SetCodePage(c.code_page, c.header_code_page, c.sort_order);
  builder.AddTable({name, {{"Nr", testing::kLong}, {column, testing::kText, 100}, {"Memo", testing::kMemo}},
                    {{int64_t{1}, value, value + value}}});
  testing::TempDatabase file(builder.Build());
  testing::RecordingSink sink;
  RecoverySession session;
  session.options.source_path = file.path();
  session.options.text_code_page = c.chosen;
  session.options.outputs.push_back(&sink);
  ASSERT_EQ(RunRecovery(session).outcome, PassOutcome::kCompleted);
  ASSERT_EQ(sink.order.size(), 1u);
  const testing::RecordedTable& table = sink.tables.begin()->second;
  ASSERT_EQ(table.rows.size(), 1u);
  EXPECT_EQ(sink.order[0] == name, c.read_right);
  EXPECT_EQ(table.ColumnNames()[1] == column, c.read_right);
  EXPECT_EQ(table.rows[0][1] == value, c.read_right);
  EXPECT_EQ(table.rows[0][2] == value + value, c.read_right);
}

INSTANTIATE_TEST_SUITE_P(
    ChineseAndCyrillic, Jet3CodePageTest,
    ::testing::Values(Jet3TextCase{936, 936, 0x0804, 0, true}, Jet3TextCase{1251, 1251, 0x0419, 0, true},
                      // No code page in the header: the locale of the sort order decides.
                      Jet3TextCase{936, 0, 0x0804, 0, true}, Jet3TextCase{1251, 0, 0x0419, 0, true},
                      // The header says Western: read as such unless the user says otherwise.
                      Jet3TextCase{936, 1252, 0x0409, 0, false}, Jet3TextCase{936, 1252, 0x0409, 936, true},
                      Jet3TextCase{1251, 1252, 0x0409, 1251, true}, Jet3TextCase{1251, 1251, 0x0419, 1253, false}));

}  // namespace
}  // namespace mendora
