// The Access 2007+ value decoders, on bytes taken from the sample files and
// on damaged copies of them.
#include "reader/ace_values.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mendora {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Hex(const std::string& hex) {
  Bytes out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

Bytes Ascii(const std::string& text) {
  Bytes out(text.begin(), text.end());
  out.push_back(0);
  return out;
}

ByteView View(const Bytes& bytes) { return ByteView(bytes.data(), bytes.size()); }

TEST(AceBigIntTest, ReadsSignedEightBytesAndNothingElse) {
  const Bytes forty_two = Hex("2a00000000000000");  // ace2016-bigint, Table.Numeric
  EXPECT_EQ(DecodeBigInt(View(forty_two)), 42);
  EXPECT_EQ(DecodeBigInt(View(Hex("feffffffffffffff"))), -2);
  EXPECT_EQ(DecodeBigInt(View(Hex("0000000000000080"))), INT64_MIN);
  EXPECT_EQ(DecodeBigInt(View(Hex("2a000000000000"))), std::nullopt);
  EXPECT_EQ(DecodeBigInt(View(Hex("2a0000000000000000"))), std::nullopt);
}

TEST(AceExtendedDateTest, ParsesAndRendersTheSamplesValues) {
  // ace2019-extended-dates, DateExt of rows 6, 8 and 1.
  struct Case {
    const char* stored;
    const char* rendered;
    const char* iso;
  };
  const Case cases[] = {
      {"0000000000000737954:0000000819123456789:7", "06/14/2021 22:45:12.3456789", "2021-06-14T22:45:12.3456789"},
      {"0000000000000036323:0000000459001234567:7", "06/14/0100 12:45:00.1234567", "0100-06-14T12:45:00.1234567"},
      {"0000000000000737592:0000000000000000000:7", "06/17/2020 00:00:00.0000000", "2020-06-17T00:00:00.0000000"},
      // The first and last day it can hold.
      {"0000000000000000000:0000000000000000000:7", "01/01/0001 00:00:00.0000000", "0001-01-01T00:00:00.0000000"},
      {"0000000000003652058:0000000863999999999:7", "12/31/9999 23:59:59.9999999", "9999-12-31T23:59:59.9999999"},
      // A leap day.
      {"0000000000000730178:0000000000000000000:7", "02/29/2000 00:00:00.0000000", "2000-02-29T00:00:00.0000000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    const Bytes bytes = Ascii(c.stored);
    ASSERT_EQ(bytes.size(), kExtendedDateTimeSize);
    const std::optional<ExtendedDateTime> value = ParseExtendedDateTime(View(bytes));
    ASSERT_TRUE(value);
    EXPECT_EQ(RenderExtendedDateTime(*value), c.rendered);
    EXPECT_EQ(ExtendedDateTimeIso(*value), c.iso);
  }
}

TEST(AceExtendedDateTest, RefusesDamagedValues) {
  const std::string good = "0000000000000737954:0000000819123456789:7";
  auto parse = [](const std::string& text) {
    const Bytes bytes = Ascii(text);
    return ParseExtendedDateTime(View(bytes));
  };
  ASSERT_TRUE(parse(good));
  EXPECT_FALSE(parse(good.substr(0, 39)));                              // cut before the second ':'
  EXPECT_FALSE(ParseExtendedDateTime(ByteView()));                     // empty
  EXPECT_FALSE(parse("000000000000073795x:0000000819123456789:7"));     // not a digit
  EXPECT_FALSE(parse("0000000000000737954;0000000819123456789:7"));     // wrong separator
  EXPECT_FALSE(parse("0000000000003652059:0000000000000000000:7"));     // after 9999-12-31
  EXPECT_FALSE(parse("9999999999999999999:0000000000000000000:7"));     // absurd day count
  EXPECT_FALSE(parse("0000000000000737954:0000000864000000000:7"));     // midnight of the next day
  EXPECT_FALSE(parse("0000000000000737954:9999999999999999999:7"));     // absurd time
}

TEST(AceCalculatedTest, UnwrapsTheSamplesResults) {
  // ace2010-calculated-columns row 1: LastFirstLen (a Long, 12) and LastFirst
  // (compressed text "Wayne, Bruce").
  const Bytes length = Hex("00000000000000000000000000000000040000000c000000000000");
  CalculatedValue value = UnwrapCalculated(View(length));
  ASSERT_EQ(value.error, AceError::kNone);
  EXPECT_FALSE(value.null);
  ASSERT_EQ(value.result.size(), 4u);
  EXPECT_EQ(*value.result.U32(0), 12u);

  const Bytes text = Hex("000000000000000000000000000000000e000000fffe5761796e652c204272756365000000");
  value = UnwrapCalculated(View(text));
  ASSERT_EQ(value.error, AceError::kNone);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(value.result.data()) + 2, value.result.size() - 2),
            "Wayne, Bruce");

  // ace2019-extended-dates row 5: a null result is a wrapper of length 0.
  value = UnwrapCalculated(View(Bytes(23, 0)));
  EXPECT_EQ(value.error, AceError::kNone);
  EXPECT_TRUE(value.null);
}

TEST(AceCalculatedTest, ReportsDamagedWrappers) {
  EXPECT_EQ(UnwrapCalculated(View(Bytes(19, 0))).error, AceError::kTruncated);
  EXPECT_EQ(UnwrapCalculated(ByteView()).error, AceError::kTruncated);
  Bytes cut = Hex("00000000000000000000000000000000080000000000");
  EXPECT_EQ(UnwrapCalculated(View(cut)).error, AceError::kTruncated);
  Bytes absurd = Hex("00000000000000000000000000000000f0ffffff0000");
  EXPECT_EQ(UnwrapCalculated(View(absurd)).error, AceError::kTooLarge);
}

TEST(AceCalculatedTest, DecodesDecimalResults) {
  struct Case {
    const char* stored;
    const char* text;
  };
  // WeeklySalary, BigNumTest (two rows) and DecimalTest of ace2010-calculated-columns.
  const Case cases[] = {
      {"0e000a0000000000ec04b01fe7ae0000", "19230.7692307692"},
      {"0e00108000000000ec04b01fe7ae0000", "-0.0192307692307692"},
      {"0e00120058e993b6744deac8f7aa5218", "56505085819.424791296572280180"},
      {"0e001c80fe1d8902cc7b3b5ad09f1971", "-0.0784734499180612994241100748"},
      {"0e000800000000000000000000000000", "0.00000000"},
      {"0e000080000000000000000000000000", "0"},  // a negative zero has no sign
      {"0e000000ffffffffffffffffffffffff", "79228162514264337593543950335"},
      {"00000600000000000c30000000000000", "0.012300"},  // DecimalTest: 0 in the first word
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    const Bytes bytes = Hex(c.stored);
    const std::optional<CalculatedDecimal> value = DecodeCalculatedDecimal(View(bytes));
    ASSERT_TRUE(value);
    EXPECT_EQ(CalculatedDecimalText(*value), c.text);
  }
  EXPECT_FALSE(DecodeCalculatedDecimal(View(Hex("0e000a0000000000ec04b01fe7ae00"))));    // 15 bytes
  EXPECT_FALSE(DecodeCalculatedDecimal(View(Hex("0f000a0000000000ec04b01fe7ae0000"))));  // no 0x000E
  EXPECT_FALSE(DecodeCalculatedDecimal(View(Hex("0e001d0000000000ec04b01fe7ae0000"))));  // scale 29
  EXPECT_FALSE(DecodeCalculatedDecimal(View(Hex("0e000a0100000000ec04b01fe7ae0000"))));  // sign 1
}

// ace2007-attachments, the hidden attachment table: "attachment1.txt" as stored.
const char kAttachment1[] =
    "0100000020000000785e1361606060046216202e61a800620606c79292c4e48cdcd4bc1205430039d105d4";

std::string Text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST(AceAttachmentTest, InflatesTheSampleAttachment) {
  const Bytes stored = Hex(kAttachment1);
  const AttachmentData data = DecodeAttachmentData(View(stored));
  ASSERT_EQ(data.error, AceError::kNone) << AceErrorText(data.error);
  EXPECT_TRUE(data.compressed);
  EXPECT_EQ(data.extension, "txt");
  EXPECT_EQ(Text(data.file), "Attachment 1");
}

TEST(AceAttachmentTest, ReadsStoredContent) {
  // The same content uncompressed, behind flag 0.
  Bytes stored = Hex("0000000020000000" "14000000010000000400000074007800740000004174746163686d656e742031");
  AttachmentData data = DecodeAttachmentData(View(stored));
  ASSERT_EQ(data.error, AceError::kNone);
  EXPECT_FALSE(data.compressed);
  EXPECT_EQ(data.extension, "txt");
  EXPECT_EQ(Text(data.file), "Attachment 1");

  // Cut short: what is there is kept, and the cut is reported.
  stored.resize(stored.size() - 2);
  data = DecodeAttachmentData(View(stored));
  EXPECT_EQ(data.error, AceError::kTruncated);
  EXPECT_EQ(Text(data.file), "Attachment");
}

TEST(AceAttachmentTest, ReportsDamageWithoutReadingPastTheValue) {
  const Bytes good = Hex(kAttachment1);
  auto decode = [](Bytes bytes, size_t cap = kMaxAttachmentSize) { return DecodeAttachmentData(View(bytes), cap); };

  EXPECT_EQ(decode(Bytes(good.begin(), good.begin() + 7)).error, AceError::kTruncated);  // header cut
  Bytes cut(good.begin(), good.end() - 10);
  EXPECT_EQ(decode(cut).error, AceError::kTruncated);

  Bytes flag = good;
  flag[0] = 2;
  EXPECT_EQ(decode(flag).error, AceError::kMalformed);

  Bytes garbage = good;
  garbage[8] = 0x00;  // no zlib header any more
  EXPECT_EQ(decode(garbage).error, AceError::kBadDeflate);
  Bytes checksum = good;
  checksum.back() ^= 0xFF;
  EXPECT_EQ(decode(checksum).error, AceError::kBadDeflate);

  // Lengths the header cannot mean: beyond the cap, beyond what the
  // compressed bytes can inflate to, and one byte short or long.
  Bytes huge = good;
  huge[4] = huge[5] = huge[6] = 0xFF;
  huge[7] = 0x7F;
  EXPECT_EQ(decode(huge).error, AceError::kTooLarge);
  EXPECT_EQ(decode(good, 31).error, AceError::kTooLarge);
  Bytes ratio = good;
  ratio[4] = 0x00;
  ratio[5] = 0x00;
  ratio[6] = 0x01;  // 64 KiB from 35 bytes
  EXPECT_EQ(decode(ratio).error, AceError::kTooLarge);
  Bytes longer = good;
  longer[4] = 33;
  EXPECT_EQ(decode(longer).error, AceError::kTruncated);
  Bytes shorter = good;
  shorter[4] = 31;
  EXPECT_EQ(decode(shorter).error, AceError::kMalformed);

  // The content's own header naming more bytes than there are.
  Bytes inner = Hex("0000000014000000" "ff00000001000000040000007400780074000000");
  EXPECT_EQ(decode(inner).error, AceError::kMalformed);
  Bytes long_name = Hex("0000000014000000" "1400000001000000ffffff7f7400780074000000");
  const AttachmentData named = decode(long_name);
  EXPECT_EQ(named.error, AceError::kNone);
  EXPECT_EQ(named.extension, "txt");
}

TEST(AceComplexTest, FindsTheIdAndTheKind) {
  // The column record of ace2007-attachments' Table1.Attachments: complex id 2.
  const Bytes record = Hex("12590600000200010002000200000007000000000004000400");
  EXPECT_EQ(ComplexIdOfColumnRecord(View(record)), 2u);
  EXPECT_EQ(ComplexIdOfColumnRecord(View(Bytes(record.begin(), record.begin() + 14))), std::nullopt);

  EXPECT_EQ(ComplexKindOfTemplate("MSysComplexType_Attachment"), ComplexKind::kAttachments);
  EXPECT_EQ(ComplexKindOfTemplate("MSysComplexType_Text"), ComplexKind::kMultiValue);
  EXPECT_EQ(ComplexKindOfTemplate("MSysComplexType_IEEEDouble"), ComplexKind::kMultiValue);
  EXPECT_EQ(ComplexKindOfTemplate("MSysComplexTypeVH_7B4A12A4BE0B4564884754E9E31577B2"),
            ComplexKind::kVersionHistory);
  EXPECT_EQ(ComplexKindOfTemplate("Table1"), ComplexKind::kUnknown);

  EXPECT_TRUE(IsCalculatedColumn(0xC0));
  EXPECT_FALSE(IsCalculatedColumn(0x01));
  EXPECT_FALSE(IsCalculatedColumn(0x10));
}

}  // namespace
}  // namespace mendora
