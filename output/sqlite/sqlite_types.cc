// Storing recovered values in SQLite.
#include "output/sqlite/sqlite_types.h"

#include <charconv>
#include <cmath>

#include "reader/ace_values.h"
#include "reader/column_types.h"
#include "reader/value_render.h"

namespace mendora {
namespace {

__extension__ typedef unsigned __int128 uint128;

// A REAL keeps any decimal of up to 15 significant digits, and SQLite prints
// a REAL with 15, so such a value reads back digit for digit.
constexpr int kExactRealDigits = 15;

int DecimalDigits(uint128 n) {
  int digits = 0;
  for (; n > UINT64_MAX; n /= 10) ++digits;
  for (uint64_t small = static_cast<uint64_t>(n); small != 0; small /= 10) ++digits;
  return digits;
}

// magnitude / 10^scale, as INTEGER when whole and in range, as REAL when it
// has at most 15 significant digits, else as the exact text `exact()`.
template <typename ExactText>
FieldValue ExactDecimal(uint128 magnitude, bool negative, int scale, ExactText&& exact) {
  if (magnitude == 0) return int64_t{0};
  uint128 power = 1;
  for (int i = 0; i < scale; ++i) power *= 10;
  const bool whole_number = magnitude <= UINT64_MAX && power <= UINT64_MAX
                                ? static_cast<uint64_t>(magnitude) % static_cast<uint64_t>(power) == 0
                                : magnitude % power == 0;
  if (whole_number) {
    const uint128 whole = magnitude / power;
    if (whole <= static_cast<uint128>(INT64_MAX)) {
      return negative ? -static_cast<int64_t>(whole) : static_cast<int64_t>(whole);
    }
    if (negative && whole == static_cast<uint128>(INT64_MAX) + 1) return INT64_MIN;
  }
  uint128 significant = magnitude;
  int dropped = 0;  // trailing zeros of the fraction, which a REAL needs no digit for
  if (significant <= UINT64_MAX) {
    uint64_t small = static_cast<uint64_t>(significant);
    while (dropped < scale && small % 10 == 0) {
      small /= 10;
      ++dropped;
    }
    significant = small;
  }
  while (dropped < scale && significant % 10 == 0) {
    significant /= 10;
    ++dropped;
  }
  if (DecimalDigits(significant) <= kExactRealDigits) {
    // Both operands are exact doubles, and a division rounds once, so this
    // is the double nearest the decimal, as reading its text would give.
    const int exponent = scale - dropped;
    double value = static_cast<double>(significant);
    if (exponent > 0 && exponent <= 22) {
      static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                           1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
      value /= kPowers[exponent];
    } else if (exponent != 0) {
      const std::string text = exact();
      std::from_chars(text.data(), text.data() + text.size(), value);
      return value;
    }
    return negative ? -value : value;
  }
  return exact();
}

// A Single keeps the value its shortest text says ("0.1", not
// 0.100000001490116), which is what the column showed in Access.
double SingleAsDouble(float value) {
  char buffer[64];
  const auto written = std::to_chars(buffer, buffer + sizeof buffer, value);
  double widened = value;
  std::from_chars(buffer, written.ptr, widened);
  return widened;
}

}  // namespace

FieldValue StoredValue(const Value& value) {
  switch (value.kind) {
    case ValueKind::kNull:
      return std::monostate{};
    case ValueKind::kInteger:
      return value.integer;
    case ValueKind::kSingle: {
      const float single = value.AsSingle();
      // A REAL column keeps "inf" and "nan" as text; a bound infinity would
      // read back as a number that no longer says what it was.
      if (!std::isfinite(single)) return RenderSingle(single);
      return SingleAsDouble(single);
    }
    case ValueKind::kDouble:
      if (!std::isfinite(value.real)) return RenderDouble(value.real);
      return value.real;
    case ValueKind::kCurrency: {
      const bool negative = value.integer < 0;
      const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value.integer) : static_cast<uint64_t>(value.integer);
      return ExactDecimal(magnitude, negative, 4, [&] { return RenderMoney(value.integer); });
    }
    case ValueKind::kDecimal: {
      const uint128 magnitude = (static_cast<uint128>(value.magnitude_high) << 64) | value.magnitude_low;
      const int scale = value.scale <= 38 ? value.scale : 38;
      return ExactDecimal(magnitude, value.negative, scale, [&] { return RenderValue(value); });
    }
    case ValueKind::kDateTime: {
      std::string iso = IsoDate(value.real);
      if (iso.empty()) return std::monostate{};  // outside the years Jet keeps: damage
      return iso;
    }
    case ValueKind::kText:
      return value.bytes;
    case ValueKind::kBytes:
      return BlobBytes{value.bytes};
    case ValueKind::kGuid:
      return RenderValue(value);
    case ValueKind::kExtendedDateTime:
      return ExtendedDateTimeIso(ExtendedDateTimeFrom(value.integer, value.magnitude_low));
  }
  return std::monostate{};
}

void BindValue(SqliteStatement& statement, int index, const Value& value, std::string& scratch) {
  switch (value.kind) {
    case ValueKind::kNull:
      statement.BindNull(index);
      return;
    case ValueKind::kInteger:
      statement.BindInt(index, value.integer);
      return;
    case ValueKind::kText:
      statement.BindTextStatic(index, value.bytes);
      return;
    case ValueKind::kBytes:
      statement.BindBlobStatic(index, value.bytes);
      return;
    case ValueKind::kDouble:
      if (std::isfinite(value.real)) {
        statement.BindDouble(index, value.real);
        return;
      }
      break;
    case ValueKind::kDateTime:
      // The text goes straight into the scratch buffer: dates fill whole columns.
      if (IsoDateInto(value.real, scratch)) {
        statement.BindTextStatic(index, scratch);
      } else {
        statement.BindNull(index);
      }
      return;
    case ValueKind::kCurrency:
      // Whole amounts are the common case: no digit counting for them.
      if (value.integer % 10000 == 0) {
        statement.BindInt(index, value.integer / 10000);
        return;
      }
      break;
    default:
      break;
  }
  FieldValue stored = StoredValue(value);
  if (const auto* integer = std::get_if<int64_t>(&stored)) {
    statement.BindInt(index, *integer);
  } else if (const auto* real = std::get_if<double>(&stored)) {
    statement.BindDouble(index, *real);
  } else if (auto* text = std::get_if<std::string>(&stored)) {
    scratch = std::move(*text);
    statement.BindTextStatic(index, scratch);
  } else {
    statement.BindNull(index);
  }
}

std::string SqliteDeclaredType(int code, int precision, int scale) {
  (void)precision;
  (void)scale;
  switch (code) {
    case kColumnBoolean: return "BOOLEAN";
    case kColumnByte: return "TINYINT";
    case kColumnInteger: return "SMALLINT";
    case kColumnLongInteger:
    case kColumnBigInt:
      return "INTEGER";
    // Currency and Numeric are declared with no type: a column without one
    // has no affinity, where a DECIMAL or NUMERIC column would turn
    // 922337203685477.5807 into a REAL with lost digits; the value's
    // binding decides how it is stored, and the Access type is kept beside
    // it.
    case kColumnCurrency:
    case kColumnNumeric:
      return "";
    case kColumnSingle: return "REAL";
    case kColumnDouble: return "DOUBLE";
    // Extended dates are ISO 8601 text with seven decimals: a REAL would
    // lose them.
    case kColumnDateTime:
    case kColumnExtendedDateTime:
      return "DATETIME";
    case kColumnText:
    case kColumnMemo:
    case kColumnReplicationId:
    case kColumnComplex:  // its entries as text; a SQLite target gives it a child table instead
      return "TEXT";
    default:
      return "BLOB";
  }
}

}  // namespace mendora
