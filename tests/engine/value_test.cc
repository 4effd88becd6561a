// Typed values come back from the finished file with the storage class and
// digits they had in the source.
#include <limits>

#include "engine_test_util.h"

namespace mendora::testing {
namespace {

mendora::Value Money(int64_t units) {
  mendora::Value value;
  value.SetCurrency(units);
  return value;
}

mendora::Value Decimal(uint64_t high, uint64_t low, bool negative, int precision, int scale) {
  mendora::Value value;
  value.kind = ValueKind::kDecimal;
  value.magnitude_high = high;
  value.magnitude_low = low;
  value.negative = negative;
  value.precision = static_cast<uint8_t>(precision);
  value.scale = static_cast<uint8_t>(scale);
  return value;
}

mendora::Value Single(float v) {
  mendora::Value value;
  value.SetSingle(v);
  return value;
}

mendora::Value Date(double days) {
  mendora::Value value;
  value.SetDateTime(days);
  return value;
}

mendora::Value Bytes(const std::string& bytes) {
  mendora::Value value;
  value.kind = ValueKind::kBytes;
  value.bytes = bytes;
  return value;
}

// One column of each kind, and the storage of what is bound to it.
class ValueTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    MakeTable(*db_, "T",
              {{"Yes", "BIT"},
               {"Short", "INT"},
               {"Money", "CURRENCY"},
               {"Single", "SINGLE"},
               {"Double", "DOUBLE"},
               {"When", "DATE"},
               {"Text", "TEXT"},
               {"Ole", "OLEOBJECT"},
               {"Guid", "REPID"}});
    db_->Execute(Column(SchemaStatement::Kind::kAddColumn, "T", "Num", "DECIMAL", 28, 2));
    rs_ = db_->NewRecordset();
    OpenAll(*rs_, "T", 10);
  }

  // A row holding `value` in column `index`, nulls elsewhere.
  void AddOne(size_t index, const mendora::Value& value) {
    std::vector<mendora::Value> values(10);
    values[index] = value;
    AddRow(*rs_, values);
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
  mendora::Value guid;
  guid.kind = ValueKind::kGuid;
  guid.guid = {0x3D, 0x2C, 0x1B, 0x0A, 0, 0, 0x11, 0x11, 0x22, 0x22, 0x33, 0x33, 0x44, 0x44, 0x55, 0x55};
  AddRow(*rs_, {I(1), I(-32768), Money(-1234500), Single(0.1f), D(1e20), Date(36525.0 + 86398.0 / 86400.0),
                T("007"), Bytes(std::string("\0\1OLE", 5)), guid, Decimal(0, 12345, true, 28, 2)});
  rs_->Close();
  db_->Close();
  EXPECT_EQ(Rows(target_, "SELECT type FROM pragma_table_info('T')"),
            (std::vector<std::string>{"BOOLEAN", "SMALLINT", "", "REAL", "DOUBLE", "DATETIME",
                                      "TEXT", "BLOB", "TEXT", ""}));
  EXPECT_EQ(Rows(target_,
                 "SELECT typeof(Yes), Yes, Short, typeof(Money), Money, typeof(Single), Single = 0.1, "
                 "Double = 1e20, typeof(\"When\"), \"When\", Text, typeof(Ole), length(Ole), Guid, "
                 "typeof(Num), Num FROM T"),
            (std::vector<std::string>{"integer|1|-32768|real|-123.45|real|1|1|text|1999-12-31 23:59:58|007|blob|5|"
                                      "{0A1B2C3D-0000-1111-2222-333344445555}|real|-123.45"}));
}

TEST_F(ValueTest, DecimalsTooLongForARealStayExactText) {
  for (int64_t units : {std::numeric_limits<int64_t>::max(), std::numeric_limits<int64_t>::min(), int64_t{1000000},
                        int64_t{1}, int64_t{12345678901234}}) {
    AddOne(2, Money(units));
  }
  EXPECT_EQ(Stored("Money"), (std::vector<std::string>{"text:922337203685477.5807", "text:-922337203685477.5808",
                                                       "integer:100", "real:0.0001", "real:1234567890.1234"}));
}

TEST_F(ValueTest, NumericKeepsDigitsBeyondAReal) {
  AddOne(9, Decimal(6, 12776324570088369205ull, false, 28, 2));  // 1234567890123456789.01
  AddOne(9, Decimal(0, 9223372036854775808ull, true, 28, 0));    // the smallest 64-bit integer
  AddOne(9, Decimal(0, 0, true, 28, 2));                         // a negative zero is zero
  AddOne(9, Decimal(0, 1, false, 28, 2));
  EXPECT_EQ(Stored("Num"), (std::vector<std::string>{"text:00000001234567890123456789.01",
                                                     "integer:-9223372036854775808", "integer:0", "real:0.01"}));
}

TEST_F(ValueTest, FloatsKeepEveryBitAndNonFiniteStaysText) {
  AddOne(4, D(0.30000000000000004));
  AddOne(4, D(5e-324));
  AddOne(4, D(-std::numeric_limits<double>::infinity()));
  AddOne(3, Single(std::numeric_limits<float>::quiet_NaN()));
  rs_->Close();
  db_->Close();
  EXPECT_EQ(Rows(target_, "SELECT Double = 0.30000000000000004, Double > 0, typeof(Double), Single FROM T"),
            (std::vector<std::string>{"1|1|real|NULL", "0|1|real|NULL", "0|1|text|NULL", "NULL|NULL|null|NaN"}));
}

TEST_F(ValueTest, EmptyTextIsNotNullAndDatesOutsideTheCalendarAre) {
  AddOne(6, T(""));
  AddOne(6, N());
  AddOne(5, Date(1e12));
  rs_->Close();
  db_->Close();
  EXPECT_EQ(Rows(target_, "SELECT typeof(Text), typeof(\"When\") FROM T ORDER BY rowid"),
            (std::vector<std::string>{"text|null", "null|null", "null|null"}));
}

}  // namespace
}  // namespace mendora::testing
