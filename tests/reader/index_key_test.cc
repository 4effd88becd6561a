// Index keys against keys the samples' index pages hold (copied here as the
// bytes a leaf entry holds for the value) and the cases the samples lack.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "reader/column_types.h"
#include "reader/index_key.h"

namespace mendora {
namespace {

std::string Hex(const std::vector<uint8_t>& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (uint8_t b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

Value Integer(int64_t v) {
  Value value;
  value.SetInteger(v);
  return value;
}
Value Text(const std::string& text) {
  Value value;
  value.kind = ValueKind::kText;
  value.bytes = text;
  return value;
}
Value Bytes(const std::string& bytes) {
  Value value;
  value.kind = ValueKind::kBytes;
  value.bytes = bytes;
  return value;
}
Value Date(double days) {
  Value value;
  value.SetDateTime(days);
  return value;
}
Value Double(double v) {
  Value value;
  value.SetDouble(v);
  return value;
}
Value Currency(int64_t units) {
  Value value;
  value.SetCurrency(units);
  return value;
}
Value Guid(std::array<uint8_t, 16> stored) {
  Value value;
  value.kind = ValueKind::kGuid;
  value.guid = stored;
  return value;
}

struct KeyCase {
  const char* what;
  int type;
  bool descending;
  Value value;
  const char* key;  // hex
};

class KeyBytes : public ::testing::TestWithParam<KeyCase> {};

TEST_P(KeyBytes, AreTheBytesAccessWrites) {
  const KeyCase& c = GetParam();
  const EncodedKey key = EncodeKeyColumn(KeyColumn{c.type, c.descending, TextSortOrder::kJet4General}, c.value);
  ASSERT_TRUE(key.ok()) << c.what;
  EXPECT_EQ(Hex(key.bytes), c.key) << c.what;
}

// Keys as the samples' leaf pages hold them (file: table), then the types
// whose keys follow the same rules.
INSTANTIATE_TEST_SUITE_P(
    Samples, KeyBytes,
    ::testing::Values(
        KeyCase{"long 0 (jet4-indexes: Table1)", kColumnLongInteger, false, Integer(0), "7f80000000"},
        KeyCase{"long min (catalog ids)", kColumnLongInteger, false, Integer(-2147483648), "7f00000000"},
        KeyCase{"long 17", kColumnLongInteger, false, Integer(17), "7f80000011"},
        KeyCase{"descending long 4813", kColumnLongInteger, true, Integer(4813), "807fffed32"},
        KeyCase{"byte 255 (MSysQueries.Attribute)", kColumnByte, false, Integer(255), "7fff"},
        KeyCase{"bigint 42 (ace2016-bigint)", kColumnBigInt, false, Integer(42), "7f800000000000002a"},
        KeyCase{"date 1994-08-04 (Northwind Orders)", kColumnDateTime, false, Date(34550), "7fc0e0dec000000000"},
        KeyCase{"null", kColumnLongInteger, false, Value{}, "00"},
        KeyCase{"descending null", kColumnLongInteger, true, Value{}, "ff"},
        KeyCase{"guid {0D10B3A7-2F64-45E6-B7AC-2FC27BF2133C}", kColumnReplicationId, false,
                Guid({0xA7, 0xB3, 0x10, 0x0D, 0x64, 0x2F, 0xE6, 0x45, 0xB7, 0xAC, 0x2F, 0xC2, 0x7B, 0xF2, 0x13, 0x3C}),
                "7f0d10b3a72f6445e609b7ac2fc27bf2133c08"},
        KeyCase{"binary of four bytes (MSysQueries.Order)", kColumnBinary, false, Bytes(std::string("\0\0\0\1", 4)),
                "7f000000010000000004"},
        KeyCase{"text Admin", kColumnText, false, Text("Admin"), "7f4a4f6059620100"},
        KeyCase{"text with accents: Köln", kColumnText, false, Text("K\xC3\xB6ln"), "7f5c645e6201021300"},
        KeyCase{"text with sharp s: elements counted twice", kColumnText, false,
                Text("Plutzer Lebensmittelgro\xC3\x9Fm\xC3\xA4rkte AG"),
                "7f665e6f6d785169075e514c51626b60596d6d515e5569646b6b604a695c6d51074a5501"
                "0202020202020202020202020202020202020202020202020202"
                "1300"},
        KeyCase{"text with hyphens: special weights", kColumnText, false, Text("Cash-In-Hand"),
                "7f4d4a6b575962574a624f0101010180170682801f068200"},
        KeyCase{"hyphen after a sharp s", kColumnText, false, Text("NuNuCa Nu\xC3\x9F-Nougat-Creme"),
                "7f626f626f4d4a07626f6b6b62646f554a6d4d695160510101010180330682804b068200"},
        KeyCase{"trailing spaces take no part", kColumnText, false, Text("Frankfurt a.M. "),
                "7f53694a625c536f696d074a1c601c0100"},
        KeyCase{"currency as a 64-bit integer", kColumnCurrency, false, Currency(-1), "7f7fffffffffffffff"},
        KeyCase{"negative double: every bit inverted", kColumnDouble, false, Double(-2.0), "7f3fffffffffffffff"},
        KeyCase{"integer", kColumnInteger, false, Integer(-2), "7f7ffe"}));

TEST(KeyBytes, DescendingBinaryKeepsTheMarkBetweenPieces) {
  // ace2010-binary-index: 'abcdefghij', descending.
  const EncodedKey key = EncodeKeyColumn(KeyColumn{kColumnBinary, true}, Bytes("abcdefghij"));
  ASSERT_TRUE(key.ok());
  EXPECT_EQ(Hex(key.bytes), "809e9d9c9b9a999897099695" "ffffffffffff" "fd");
}

TEST(KeyBytes, OrderOfNumbersIsTheOrderOfTheirKeys) {
  const std::vector<double> values = {-1e300, -2.5, -1, -1e-300, 0, 1e-300, 0.5, 1, 36525, 1e300};
  for (int type : {kColumnDouble, kColumnDateTime}) {
    for (bool descending : {false, true}) {
      std::vector<uint8_t> previous;
      for (double v : values) {
        const EncodedKey key = EncodeKeyColumn(KeyColumn{type, descending},
                                               type == kColumnDouble ? Double(v) : Date(v));
        ASSERT_TRUE(key.ok());
        if (!previous.empty()) EXPECT_EQ(previous < key.bytes, !descending) << v;
        previous = key.bytes;
      }
    }
  }
  std::vector<uint8_t> previous;
  for (int64_t v : {INT64_MIN, int64_t{-1}, int64_t{0}, int64_t{1}, INT64_MAX}) {
    const EncodedKey key = EncodeKeyColumn(KeyColumn{kColumnCurrency, false}, Currency(v));
    if (!previous.empty()) EXPECT_LT(previous, key.bytes);
    previous = key.bytes;
  }
}

struct UnknownCase {
  const char* what;
  KeyColumn column;
  Value value;
  KeyOutcome outcome;
  std::u32string unknown;
};

class NoGuess : public ::testing::TestWithParam<UnknownCase> {};

TEST_P(NoGuess, SaysWhatItDoesNotKnow) {
  const UnknownCase& c = GetParam();
  const EncodedKey key = EncodeKeyColumn(c.column, c.value);
  EXPECT_EQ(key.outcome, c.outcome) << c.what;
  EXPECT_EQ(key.unknown, c.unknown) << c.what;
  EXPECT_TRUE(key.bytes.empty()) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NoGuess,
    ::testing::Values(
        UnknownCase{"a tab", {kColumnText}, Text("a\tb\t"), KeyOutcome::kUnknownSortOrder, U"\t"},
        UnknownCase{"Cyrillic", {kColumnText}, Text("\xD0\x9C\xD0\xB8\xD1\x80"), KeyOutcome::kUnknownSortOrder,
                    U"\u041C\u0438\u0440"},
        UnknownCase{"broken UTF-8", {kColumnText}, Text("a\xC3"), KeyOutcome::kUnknownSortOrder, U"\uFFFD"},
        UnknownCase{"descending text", {kColumnText, true}, Text("abc"), KeyOutcome::kUnknownSortOrder, U""},
        UnknownCase{"another sort order", {kColumnText, false, TextSortOrder::kOther}, Text("ab"),
                    KeyOutcome::kUnknownSortOrder, U"ab"},
        UnknownCase{"yes/no", {kColumnBoolean}, Integer(1), KeyOutcome::kUnsupportedType, U""},
        UnknownCase{"memo", {kColumnMemo}, Text("abc"), KeyOutcome::kUnsupportedType, U""},
        UnknownCase{"text in a long column", {kColumnLongInteger}, Text("1"), KeyOutcome::kWrongValue, U""}));

TEST(KeyBytes, SeveralColumnsFollowEachOtherAndGatherUnknownCharacters) {
  // jet4-indexes, the catalog's ParentIdName index: (0x0F000001, "Table1").
  const Value parent = Integer(251658241);
  const Value name = Text("Table1");
  const EncodedKey key = EncodeKey({KeyColumn{kColumnLongInteger}, KeyColumn{kColumnText}}, {&parent, &name});
  ASSERT_TRUE(key.ok());
  EXPECT_EQ(Hex(key.bytes), "7f8f0000017f6d4a4c5e51380100");

  const Value tab = Text("x\t");
  const Value cyrillic = Text("\xD0\x9C");
  const EncodedKey unknown = EncodeKey({KeyColumn{kColumnText}, KeyColumn{kColumnText}}, {&tab, &cyrillic});
  EXPECT_EQ(unknown.outcome, KeyOutcome::kUnknownSortOrder);
  EXPECT_EQ(unknown.unknown, U"\t\u041C");
}

}  // namespace
}  // namespace mendora
