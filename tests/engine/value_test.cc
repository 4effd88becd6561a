// Values the reader hands over come back from the finished file with the
// storage class and digits they had.
#include "engine_test_util.h"

namespace mendora::testing {
namespace {

class ValueTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    MakeTable(*db_, "T",
              {{"Yes", "BIT"},
               {"Tiny", "BYTE"},
               {"Short", "INT"},
               {"Long", "LONG"},
               {"Id", "COUNTER"},
               {"Money", "CURRENCY"},
               {"Single", "SINGLE"},
               {"Double", "DOUBLE"},
               {"When", "DATE"},
               {"Text", "TEXT"},
               {"Memo", "MEMO"},
               {"Ole", "OLEOBJECT"},
               {"Guid", "REPID"},
               {"Odd", "HYPERLINK"}});
    db_->Execute(Column(SchemaStatement::Kind::kAddColumn, "T", "Num", "DECIMAL", 28, 2), kFailOnError);
    rs_ = db_->NewRecordset();
    rs_->Open(2, "T", 0);
  }

  // "typeof:value" of `column` in every row, in insertion order.
  std::vector<std::string> Stored(const std::string& column) {
    rs_->Close();
    if (db_->IsOpen()) db_->Close();
    return Rows(target_, "SELECT typeof(\"" + column + "\") || ':' || \"" + column + "\" FROM T ORDER BY rowid");
  }

  std::unique_ptr<EngineRecordset> rs_;
};

TEST_F(ValueTest, DeclaredTypesHoldTheirValues) {
  AddRow(*rs_, {{"Yes", "1"},
                {"Tiny", "255"},
                {"Short", "-32768"},
                {"Long", "-2147483648"},
                {"Id", "7"},
                {"Money", "-123.4500"},
                {"Single", "0.1"},
                {"Double", "1e+20"},
                {"When", "12/31/1999 23:59:58"},
                {"Text", "007"},
                {"Memo", "1e5"},
                {"Ole", "OLE DATA"},
                {"Guid", "{0A1B2C3D-0000-1111-2222-333344445555}"},
                {"Odd", "00123"},
                {"Num", "-123.45"}});
  db_->Close();
  EXPECT_EQ(
      Rows(target_, "SELECT type FROM pragma_table_info('T')"),
      (std::vector<std::string>{"BOOLEAN", "TINYINT", "SMALLINT", "INTEGER", "INTEGER", "DECIMAL_BLOB(19,4)", "REAL",
                                "DOUBLE", "DATETIME", "TEXT", "TEXT", "BLOB", "TEXT", "TEXT", "DECIMAL_BLOB(28,2)"}));
  EXPECT_EQ(Rows(target_,
                 "SELECT typeof(Yes), Yes, Tiny, Short, Long, Id, typeof(Money), Money, typeof(Single), Single = 0.1, "
                 "Double = 1e20, typeof(\"When\"), \"When\", typeof(Text), Text, Memo, typeof(Ole), Ole, Guid, Odd, "
                 "typeof(Num), Num FROM T"),
            (std::vector<std::string>{"integer|1|255|-32768|-2147483648|7|real|-123.45|real|1|1|text|"
                                      "1999-12-31 23:59:58|text|007|1e5|blob|OLE DATA|"
                                      "{0A1B2C3D-0000-1111-2222-333344445555}|00123|real|-123.45"}));
}

TEST_F(ValueTest, DecimalsTooLongForARealStayExactText) {
  for (const char* money : {"922337203685477.5807", "-922337203685477.5808", "100.0000", "0.0001", "1234567890.1234"}) {
    AddRow(*rs_, {{"Money", money}});
  }
  EXPECT_EQ(Stored("Money"), (std::vector<std::string>{"text:922337203685477.5807", "text:-922337203685477.5808",
                                                       "integer:100", "real:0.0001", "real:1234567890.1234"}));
}

TEST_F(ValueTest, NumericKeepsDigitsBeyondAReal) {
  AddRow(*rs_, {{"Num", "12345678901234567890.12"}});
  AddRow(*rs_, {{"Num", "12345678901234567890"}});
  AddRow(*rs_, {{"Num", "-9223372036854775808"}});
  EXPECT_EQ(Stored("Num"), (std::vector<std::string>{"text:12345678901234567890.12", "text:12345678901234567890",
                                                     "integer:-9223372036854775808"}));
}

TEST_F(ValueTest, FloatsKeepEveryBitAndNonFiniteStaysText) {
  AddRow(*rs_, {{"Double", "0.30000000000000004"}});
  AddRow(*rs_, {{"Double", "5e-324"}});
  AddRow(*rs_, {{"Double", "-inf"}});
  AddRow(*rs_, {{"Single", "nan"}});
  rs_->Close();
  db_->Close();
  EXPECT_EQ(Rows(target_, "SELECT Double = 0.30000000000000004, Double > 0, typeof(Double), Single FROM T"),
            (std::vector<std::string>{"1|1|real|NULL", "0|1|real|NULL", "0|1|text|NULL", "NULL|NULL|null|nan"}));
}

TEST_F(ValueTest, UnsetFieldsAreNullAndBooleansAreZeroOrOne) {
  AddRow(*rs_, {{"Yes", "-1"}});
  AddRow(*rs_, {{"Yes", "0"}});
  AddRow(*rs_, {});
  EXPECT_EQ(Stored("Yes"), (std::vector<std::string>{"integer:1", "integer:0", "NULL"}));
}

TEST_F(ValueTest, FieldNamesMatchWithoutRegardToCase) {
  AddRow(*rs_, {{"text", "a"}, {"TEXT", "b"}});
  EXPECT_EQ(Stored("Text"), (std::vector<std::string>{"text:b"}));
}

TEST_F(ValueTest, UnconvertibleTextIsRefusedAndTheRowKeepsTheRest) {
  rs_->AddNew();
  rs_->SetFieldValue("Text", "kept");
  for (auto [field, value] : std::vector<std::pair<std::string, std::string>>{{"Long", "12x"},
                                                                              {"Long", ""},
                                                                              {"Long", "99999999999999999999"},
                                                                              {"Yes", "2"},
                                                                              {"Money", "1.2.3"},
                                                                              {"Money", "-"},
                                                                              {"Double", "1e400"},
                                                                              {"Double", "abc"},
                                                                              {"When", "2024-01-02 03:04:05"},
                                                                              {"When", "02/30/2023 00:00:00"},
                                                                              {"When", "13/01/2023 00:00:00"},
                                                                              {"When", "01/01/2023 24:00:00"}}) {
    EXPECT_THROW(rs_->SetFieldValue(field, value), EngineError) << field << "=" << value;
  }
  EXPECT_NO_THROW(rs_->SetFieldValue("When", "02/29/2024 00:00:00"));
  rs_->Update();
  EXPECT_EQ(Stored("Text"), (std::vector<std::string>{"text:kept"}));
}

}  // namespace
}  // namespace mendora::testing
