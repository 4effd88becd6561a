// How Jet column types are declared in SQLite and how the reader's value
// texts become SQLite values.
#include "recovery/sqlite_types.h"

#include <charconv>
#include <cmath>
#include <map>
#include <optional>

namespace mendora {
namespace {

// A REAL keeps any decimal of up to 15 significant digits, and SQLite prints
// a REAL with 15, so such a value reads back digit for digit.
constexpr size_t kExactRealDigits = 15;

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

// The type name before any "(...)", upper-cased.
std::string BaseName(std::string_view type) { return Upper(Trim(type.substr(0, type.find('(')))); }

std::optional<int64_t> ParseInteger(std::string_view text) {
  int64_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// "(18,4)" after a DECIMAL keyword, when the source column did not say.
bool ParsePrecision(std::string_view keyword, int& precision, int& scale) {
  size_t open = keyword.find('(');
  size_t comma = keyword.find(',', open);
  size_t close = keyword.find(')', comma);
  if (open == std::string_view::npos || comma == std::string_view::npos || close == std::string_view::npos) {
    return false;
  }
  auto p = ParseInteger(Trim(keyword.substr(open + 1, comma - open - 1)));
  auto s = ParseInteger(Trim(keyword.substr(comma + 1, close - comma - 1)));
  if (!p || !s || *p > 1000 || *s > 1000) return false;
  precision = static_cast<int>(*p);
  scale = static_cast<int>(*s);
  return true;
}

[[noreturn]] void Unconvertible(std::string_view what, const std::string& text) {
  throw EngineError("cannot store \"" + text + "\" as " + std::string(what));
}

FieldValue ToBoolean(const std::string& text) {
  std::string upper = Upper(text);
  if (upper == "0" || upper == "FALSE") return int64_t{0};
  if (upper == "1" || upper == "-1" || upper == "TRUE") return int64_t{1};
  Unconvertible("a boolean", text);
}

FieldValue ToExactDecimal(const std::string& text) {
  std::string_view rest = text;
  bool negative = !rest.empty() && rest.front() == '-';
  if (negative) rest.remove_prefix(1);
  size_t point = rest.find('.');
  std::string_view whole = rest.substr(0, point);
  std::string_view fraction = point == std::string_view::npos ? std::string_view() : rest.substr(point + 1);
  auto all_digits = [](std::string_view s) { return s.find_first_not_of("0123456789") == std::string_view::npos; };
  if ((whole.empty() && fraction.empty()) || !all_digits(whole) || !all_digits(fraction)) {
    Unconvertible("a decimal number", text);
  }
  while (!whole.empty() && whole.front() == '0') whole.remove_prefix(1);
  while (!fraction.empty() && fraction.back() == '0') fraction.remove_suffix(1);

  if (fraction.empty()) {
    std::string integer = (negative ? "-" : "") + std::string(whole.empty() ? "0" : whole);
    if (auto value = ParseInteger(integer)) return *value;
  }
  std::string digits = std::string(whole) + std::string(fraction);
  size_t first = digits.find_first_not_of('0');
  if (first != std::string::npos && digits.size() - first <= kExactRealDigits) {
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
  }
  return text;
}

FieldValue ToFloat(const std::string& text) {
  double value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || end != text.data() + text.size() || ec != std::errc()) {
    // Out of range too: a REAL column would turn its text into inf or 0.
    Unconvertible("a floating-point number", text);
  }
  // A REAL column leaves "inf" and "nan" as text; a bound infinity would
  // read back as a number that no longer says what it was.
  if (!std::isfinite(value)) return text;
  return value;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// "MM/DD/YYYY HH:MM:SS" to "YYYY-MM-DD HH:MM:SS", so dates sort as text and
// SQLite's date functions read them.
FieldValue ToDateTime(const std::string& text) {
  static constexpr std::string_view kShape = "00/00/0000 00:00:00";
  bool shaped = text.size() == kShape.size();
  for (size_t i = 0; shaped && i < kShape.size(); ++i) {
    bool digit = text[i] >= '0' && text[i] <= '9';
    shaped = kShape[i] == '0' ? digit : text[i] == kShape[i];
  }
  if (!shaped) Unconvertible("a date (MM/DD/YYYY HH:MM:SS)", text);
  auto number = [&](size_t at, size_t length) { return std::stoi(text.substr(at, length)); };
  int month = number(0, 2), day = number(3, 2), year = number(6, 4);
  int hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 || minute > 59 || second > 59) {
    Unconvertible("a date", text);
  }
  return text.substr(6, 4) + "-" + text.substr(0, 2) + "-" + text.substr(3, 2) + text.substr(10);
}

}  // namespace

std::string DeclaredType(const SchemaStatement& statement) {
  static const std::map<std::string, std::string, std::less<>> kTypes = {
      {"BIT", "BOOLEAN"},       {"BYTE", "TINYINT"},    {"INT", "SMALLINT"},
      {"LONG", "INTEGER"},      {"COUNTER", "INTEGER"}, {"CURRENCY", "DECIMAL_BLOB(19,4)"},
      {"SINGLE", "REAL"},       {"DOUBLE", "DOUBLE"},   {"DATE", "DATETIME"},
      {"DATETIME", "DATETIME"}, {"TEXT", "TEXT"},       {"MEMO", "TEXT"},
      {"OLEOBJECT", "BLOB"},    {"REPID", "TEXT"},      {"BINARY", "BLOB"},
  };
  std::string base = BaseName(statement.keyword);
  if (auto it = kTypes.find(base); it != kTypes.end()) return it->second;
  if (base == "DECIMAL" || base == "NUMERIC") {
    int precision = statement.precision;
    int scale = statement.scale;
    if (precision <= 0 && !ParsePrecision(statement.keyword, precision, scale)) return "DECIMAL_BLOB";
    if (scale < 0 || scale > precision) return "DECIMAL_BLOB";
    return "DECIMAL_BLOB(" + std::to_string(precision) + "," + std::to_string(scale) + ")";
  }
  return "TEXT";
}

ValueKind KindOfDeclaredType(std::string_view declared_type) {
  static const std::map<std::string, ValueKind, std::less<>> kKinds = {
      {"BOOLEAN", ValueKind::kBoolean}, {"TINYINT", ValueKind::kInteger},           {"SMALLINT", ValueKind::kInteger},
      {"INTEGER", ValueKind::kInteger}, {"DECIMAL_BLOB", ValueKind::kExactDecimal}, {"REAL", ValueKind::kFloat},
      {"DOUBLE", ValueKind::kFloat},    {"DATETIME", ValueKind::kDateTime},         {"BLOB", ValueKind::kBlob},
  };
  auto it = kKinds.find(BaseName(declared_type));
  return it == kKinds.end() ? ValueKind::kText : it->second;
}

FieldValue ConvertValue(ValueKind kind, const std::string& text) {
  switch (kind) {
    case ValueKind::kBoolean:
      return ToBoolean(text);
    case ValueKind::kInteger:
      if (auto value = ParseInteger(text)) return *value;
      Unconvertible("an integer", text);
    case ValueKind::kExactDecimal:
      return ToExactDecimal(text);
    case ValueKind::kFloat:
      return ToFloat(text);
    case ValueKind::kDateTime:
      return ToDateTime(text);
    case ValueKind::kBlob:
      // An OLE object arrives as its stored bytes and goes into the BLOB unchanged.
      return BlobBytes{text};
    case ValueKind::kText:
      break;
  }
  return text;
}

}  // namespace mendora
