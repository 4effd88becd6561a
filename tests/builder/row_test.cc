// Rows read back column by column: every fixed type, nulls, Jet 3 rows past
// 256 bytes, Jet 4 compressed text, rows written before late columns,
// deleted rows and long values in each form.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/builder/file_probe.h"
#include "tests/builder/jet_builder.h"
#include "tests/builder/jet_text.h"

namespace mendora::testing {
namespace {

using probe::Le;

class RowReader : public ::testing::Test {
 protected:
  explicit RowReader(JetVersion version = JetVersion::kJet4) : version_(version) {}
  bool jet4() const { return version_ == JetVersion::kJet4; }

  // Builds one table and reads it back.
  std::vector<probe::DecodedRow> RoundTrip(const Table& t, bool with_deleted = false) {
    JetFileBuilder b(version_);
    const uint32_t def = b.AddTable(t);
    file_ = std::make_unique<probe::File>(b.Build());
    definition_ = probe::ReadDefinition(*file_, def);
    return probe::ReadRows(*file_, definition_, def, with_deleted);
  }
  std::string TextOf(const probe::Field& field) const { return probe::Text(*file_, field.bytes); }

  JetVersion version_;
  std::unique_ptr<probe::File> file_;
  probe::Definition definition_;
};

class RowTest : public RowReader, public ::testing::WithParamInterface<JetVersion> {
 protected:
  RowTest() : RowReader(GetParam()) {}
};

class Jet3RowTest : public RowReader {
 protected:
  Jet3RowTest() : RowReader(JetVersion::kJet3) {}
};

using Jet4RowTest = RowReader;

double AsDouble(const Bytes& b) {
  uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = (bits << 8) | b.at(i);
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

TEST_P(RowTest, FixedTypesAndNullsRoundTrip) {
  Table t;
  t.name = "Types";
  t.columns = {{"b", kByte},      {"i", kInteger}, {"l", kLong},
               {"c", kCurrency},  {"s", kSingle},  {"d", kDouble},
               {"t", kDateTime},  {"g", kGuid},    {"n", kNumeric, 0, 18, 2},
               {"yes", kBoolean}, {"no", kBoolean}};
  const Bytes guid = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  t.rows = {{int64_t{200}, int64_t{-2}, int64_t{-100000}, int64_t{-12345678}, 1.5, -2.25,
             DateValue(1995, 1, 20, 12), guid, int64_t{-123456789012}, true, false},
            {Value{}, Value{}, Value{}, Value{}, Value{}, Value{}, Value{}, Value{}, Value{},
             Value{}, Value{}}};
  const auto rows = RoundTrip(t);
  ASSERT_EQ(rows.size(), 2u);
  const auto& f = rows[0].fields;
  EXPECT_EQ(f[0].bytes, Bytes{200});
  EXPECT_EQ(static_cast<int16_t>(Le(f[1].bytes.data(), 2)), -2);
  EXPECT_EQ(static_cast<int32_t>(Le(f[2].bytes.data(), 4)), -100000);
  EXPECT_EQ(static_cast<int32_t>(Le(f[3].bytes.data(), 4)), -12345678);
  EXPECT_EQ(Le(f[3].bytes.data() + 4, 4), 0xFFFFFFFFu) << "currency is 8 bytes, sign-extended";
  float single;
  std::memcpy(&single, f[4].bytes.data(), 4);
  EXPECT_EQ(single, 1.5f);
  EXPECT_EQ(AsDouble(f[5].bytes), -2.25);
  EXPECT_EQ(AsDouble(f[6].bytes), 34719.5) << "days since 1899-12-30";
  EXPECT_EQ(f[7].bytes, guid);
  ASSERT_EQ(f[8].bytes.size(), 17u);
  EXPECT_EQ(f[8].bytes[0], 0x80) << "negative";
  EXPECT_EQ(Le(f[8].bytes.data() + 9, 4), 28u) << "high half of the magnitude";
  EXPECT_EQ(Le(f[8].bytes.data() + 13, 4), 3197704724u) << "low word last";
  EXPECT_TRUE(f[9].truth);
  EXPECT_FALSE(f[10].truth);
  for (const auto& field : rows[1].fields) {
    EXPECT_FALSE(field.truth);
    if (&field - rows[1].fields.data() < 9) {
      EXPECT_FALSE(field.present);
    }
  }
}

TEST_P(RowTest, TextInTheFilesForm) {
  Table t;
  t.name = "Texts";
  t.columns = {{"plain", kText}, {"accent", kText}};
  t.rows = {{std::string("hello"), std::string("Café €5")}};
  const auto rows = RoundTrip(t);
  ASSERT_EQ(rows.size(), 1u);
  const Bytes& accent = rows[0].fields[1].bytes;
  if (jet4()) {
    EXPECT_EQ(accent.size(), 14u) << "UTF-16 without compression";
  } else {
    EXPECT_EQ(accent, (Bytes{'C', 'a', 'f', 0xE9, ' ', 0x80, '5'})) << "code page 1252";
  }
  EXPECT_EQ(TextOf(rows[0].fields[0]), "hello");
  EXPECT_EQ(TextOf(rows[0].fields[1]), "Café €5");
}

TEST_F(Jet3RowTest, RowsPast256BytesCarryAJumpTable) {
  Table t;
  t.name = "Long";
  t.columns = {{"id", kLong}, {"a", kText}, {"b", kText}, {"c", kText}, {"d", kText}};
  auto text = [](size_t n, char ch) { return Value{std::string(n, ch)}; };
  t.rows = {
      {int64_t{1}, text(245, 'a'), Value{}, Value{}, Value{}},  // only the trailer passes 256
      {int64_t{2}, text(200, 'a'), text(100, 'b'), text(5, 'c'), Value{}},
      {int64_t{3}, text(255, 'a'), text(255, 'b'), text(255, 'c'), text(255, 'd')},
      {int64_t{4}, text(10, 'a'), text(241, 'b'), Value{}, Value{}},  // data ends on 256 exactly
  };
  const auto rows = RoundTrip(t);
  ASSERT_EQ(rows.size(), 4u);
  for (size_t r = 0; r < rows.size(); ++r) {
    const Row& want = t.rows[r];
    for (size_t c = 1; c < 5; ++c) {
      const auto* s = std::get_if<std::string>(&want[c]);
      EXPECT_EQ(rows[r].fields[c].present, s != nullptr) << "row " << r << " column " << c;
      if (s) {
        EXPECT_EQ(TextOf(rows[r].fields[c]), *s) << "row " << r << " column " << c;
      }
    }
  }
  // The layout itself: [end][offsets, last first][jumps][count][bitmap].
  const uint32_t data_page = probe::PagesOwnedBy(*file_, definition_.chain[0]).at(0);
  const auto slots = probe::Slots(*file_, data_page);
  const uint8_t* p = file_->page(data_page);
  {
    const probe::Slot s = slots[0];  // 1 + 4 + 245 = 250 data bytes, 4 variable columns
    ASSERT_EQ(s.end - s.start, 250u + 1 + 4 + 1 + 1 + 1);
    const uint8_t* row = p + s.start;
    EXPECT_EQ(row[250], 250) << "end offset";
    EXPECT_EQ(row[s.end - s.start - 2], 4) << "variable count";
    EXPECT_EQ(row[s.end - s.start - 3], 0xFF) << "a jump nothing needs";
    EXPECT_EQ(row[s.end - s.start - 4], 5) << "first variable column's offset";
  }
  {
    const probe::Slot s = slots[1];  // a: 5-205, b: 205-305, c: 305-310
    const uint8_t* row = p + s.start;
    const size_t n = s.end - s.start;
    EXPECT_EQ(n, 310u + 1 + 4 + 1 + 1 + 1);
    EXPECT_EQ(row[n - 3], 2) << "column b is the first past 256";
    EXPECT_EQ(row[n - 5], 205 - 0) << "b's offset modulo 256";
    EXPECT_EQ(row[n - 6], 305 - 256) << "c's offset modulo 256";
  }
  {
    const probe::Slot s = slots[2];  // b, c, d and the end offset each pass a step
    const uint8_t* end = p + s.end;
    EXPECT_EQ(s.end - s.start, 1025u + 1 + 4 + 4 + 1 + 1);
    EXPECT_EQ((Bytes{end[-7], end[-6], end[-5], end[-4], end[-3], end[-2]}),
              (Bytes{5, 4, 3, 2, 1, 4}))
        << "first jump next to the variable count";
  }
  {
    const probe::Slot s = slots[3];
    const size_t n = s.end - s.start;
    EXPECT_EQ(n, 256u + 1 + 4 + 1 + 1 + 1);
    EXPECT_EQ(p[s.start + n - 3], 2) << "the null column c starts at 256";
  }
}

TEST_F(Jet4RowTest, CompressedTextRoundTrips) {
  Table t;
  t.name = "Words";
  t.compress_text = true;
  t.columns = {{"w", kText}, {"m", kMemo}};
  t.rows = {{std::string("only ascii"), std::string("memo text")},
            {std::string("abc Мир def"), Value{}},  // mode switches both ways
            {std::string("東京"), Value{}},         // nothing to gain
            {std::string("Āb"), Value{}},           // a wide unit whose low byte is 0
            {std::string(""), std::string("ääkkösiä")}};
  const auto rows = RoundTrip(t);
  ASSERT_EQ(rows.size(), 5u);
  for (size_t r = 0; r < rows.size(); ++r) {
    EXPECT_EQ(TextOf(rows[r].fields[0]), std::get<std::string>(t.rows[r][0])) << r;
  }
  EXPECT_TRUE(definition_.columns[0].compressed);
  const Bytes& ascii = rows[0].fields[0].bytes;
  EXPECT_EQ(ascii, (Bytes{0xFF, 0xFE, 'o', 'n', 'l', 'y', ' ', 'a', 's', 'c', 'i', 'i'}));
  const Bytes& mixed = rows[1].fields[0].bytes;
  EXPECT_EQ(mixed.size(), 2u + 4 + 1 + 6 + 1 + 4);
  EXPECT_EQ(mixed[6], 0x00);
  EXPECT_EQ(mixed[13], 0x00);
  EXPECT_EQ(rows[2].fields[0].bytes.size(), 4u) << "plain UTF-16";
  EXPECT_EQ(rows[3].fields[0].bytes.size(), 4u) << "plain UTF-16";
  const Bytes memo = probe::LongValue(*file_, rows[0].fields[1].bytes);
  EXPECT_EQ(memo[0], 0xFF);
  EXPECT_EQ(probe::Text(*file_, memo), "memo text");
  EXPECT_EQ(probe::Text(*file_, probe::LongValue(*file_, rows[4].fields[1].bytes)), "ääkkösiä");
}

TEST(CompressUtf16Test, RefusesWhatWouldReadBackWrong) {
  using detail::CompressUtf16;
  EXPECT_FALSE(CompressUtf16(u"a\u0000b"));
  EXPECT_FALSE(CompressUtf16(u"x\u4E00y")) << "U+4E00 would read as a mode switch";
  EXPECT_FALSE(CompressUtf16(u"\u041C\u0438\u0440")) << "no shorter";
  EXPECT_EQ(*CompressUtf16(u"abcd\u041Cefgh"),
            (Bytes{0xFF, 0xFE, 'a', 'b', 'c', 'd', 0, 0x1C, 0x04, 0, 'e', 'f', 'g', 'h'}));
}

TEST_P(RowTest, RowsBeforeLateColumnsStoreFewerColumns) {
  Table t;
  t.name = "Grown";
  t.columns = {{"id", kLong}, {"name", kText}, {"added", kLong}, {"note", kText}};
  t.late_columns = 2;
  t.rows_before_late_columns = 2;
  t.rows = {{int64_t{1}, std::string("old"), Value{}, Value{}},
            {int64_t{2}, Value{}, Value{}, Value{}},
            {int64_t{3}, std::string("new"), int64_t{30}, std::string("n")}};
  const auto rows = RoundTrip(t);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].column_count, 2);
  EXPECT_EQ(rows[1].column_count, 2);
  EXPECT_EQ(rows[2].column_count, 4);
  EXPECT_EQ(TextOf(rows[0].fields[1]), "old");
  EXPECT_FALSE(rows[0].fields[2].present);
  EXPECT_FALSE(rows[0].fields[3].present);
  EXPECT_EQ(Le(rows[2].fields[2].bytes.data(), 4), 30u);
  EXPECT_EQ(TextOf(rows[2].fields[3]), "n");

  Table bad = t;
  bad.rows[0][2] = int64_t{5};
  EXPECT_THROW(JetFileBuilder(GetParam()).AddTable(bad), std::invalid_argument);
}

TEST_P(RowTest, DeletedRowsKeepTheirBytes) {
  Table t;
  t.name = "Gone";
  t.columns = {{"id", kLong}};
  t.rows = {{int64_t{1}}, {int64_t{2}}, {int64_t{3}}};
  t.deleted_rows = {1};
  const auto rows = RoundTrip(t, /*with_deleted=*/true);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(Le(rows[1].fields[0].bytes.data(), 4), 2u);
  const uint32_t page = probe::PagesOwnedBy(*file_, definition_.chain[0]).at(0);
  const auto slots = probe::Slots(*file_, page);
  EXPECT_EQ(slots[0].marks, 0);
  EXPECT_EQ(slots[1].marks, 0xC000);  // deleted: both marks
  EXPECT_EQ(definition_.rows, 2u);
}

TEST_P(RowTest, LongValuesInEveryForm) {
  const std::string small = "short note";
  std::string big;
  for (int i = 0; big.size() < 9000; ++i) big += "line " + std::to_string(i) + "; ";
  const Bytes picture(6000, 0xAB);
  for (LongValueForm form : {LongValueForm::kAuto, LongValueForm::kInline,
                             LongValueForm::kSinglePage, LongValueForm::kChained}) {
    Table t;
    t.name = "Notes";
    t.long_value_form = form;
    t.columns = {{"note", kMemo}, {"blob", kOle}};
    t.rows = {{small, Bytes{1, 2, 3}}};
    if (form == LongValueForm::kAuto || form == LongValueForm::kChained) {
      t.rows.push_back({big, picture});
    }
    const auto rows = RoundTrip(t);
    ASSERT_EQ(rows.size(), t.rows.size());
    const Bytes& field = rows[0].fields[0].bytes;
    const uint8_t expected_form = form == LongValueForm::kSinglePage ? 0x40
                                  : form == LongValueForm::kChained  ? 0x00
                                                                     : 0x80;
    EXPECT_EQ(field[3], expected_form);
    EXPECT_EQ(Le(field.data(), 3), jet4() ? 2u * small.size() : small.size());
    EXPECT_EQ(probe::Text(*file_, probe::LongValue(*file_, field)), small);
    EXPECT_EQ(probe::LongValue(*file_, rows[0].fields[1].bytes), (Bytes{1, 2, 3}));
    if (rows.size() > 1) {
      EXPECT_EQ(rows[1].fields[0].bytes[3], 0x00) << "too big for one page";
      EXPECT_EQ(probe::Text(*file_, probe::LongValue(*file_, rows[1].fields[0].bytes)), big);
      EXPECT_EQ(probe::LongValue(*file_, rows[1].fields[1].bytes), picture);
    }
    if (form == LongValueForm::kChained) {
      const uint32_t page = Le(field.data() + 5, 3);
      const auto slot = probe::Slots(*file_, page).at(field[4]);
      EXPECT_NE(Le(file_->page(page) + slot.start + 1, 3), page) << "a chain crosses pages";
    }
  }
}

TEST_P(RowTest, LongValuePagesAreMarked) {
  Table t;
  t.name = "Notes";
  t.columns = {{"note", kMemo}};
  t.rows = {{std::string(3000, 'x')}};
  RoundTrip(t);
  const auto pages = probe::PagesOwnedBy(*file_, 0x4C41564C);
  ASSERT_FALSE(pages.empty());
  EXPECT_EQ(std::memcmp(file_->page(pages[0]) + 4, "LVAL", 4), 0);
}

TEST_P(RowTest, RowsPerPageSpreadsRows) {
  Table t;
  t.name = "Spread";
  t.rows_per_page = 2;
  t.columns = {{"id", kLong}};
  for (int64_t i = 0; i < 7; ++i) t.rows.push_back({i});
  const auto rows = RoundTrip(t);
  ASSERT_EQ(rows.size(), 7u);
  EXPECT_EQ(probe::PagesOwnedBy(*file_, definition_.chain[0]).size(), 4u);
  for (int64_t i = 0; i < 7; ++i) EXPECT_EQ(Le(rows[i].fields[0].bytes.data(), 4), uint32_t(i));
}

TEST_P(RowTest, ValuesOfTheWrongKindAreRefused) {
  Table t;
  t.name = "Bad";
  t.columns = {{"n", kLong}};
  t.rows = {{std::string("not a number")}};
  EXPECT_THROW(JetFileBuilder(GetParam()).AddTable(t), std::invalid_argument);
  t.rows = {{int64_t{1}, int64_t{2}}};
  EXPECT_THROW(JetFileBuilder(GetParam()).AddTable(t), std::invalid_argument);
}

INSTANTIATE_TEST_SUITE_P(Versions, RowTest, ::testing::Values(JetVersion::kJet3, JetVersion::kJet4),
                         [](const auto& info) { return ::testing::PrintToString(info.param); });

}  // namespace
}  // namespace mendora::testing
