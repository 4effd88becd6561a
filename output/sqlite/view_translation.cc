// Translating Access SQL to SQLite's.
#include "output/sqlite/view_translation.h"

#include <array>
#include <cctype>
#include <cstdio>
#include <map>
#include <optional>
#include <stdexcept>
#include <vector>

#include "reader/text_codec.h"

namespace mendora {

namespace {

enum class Kind { kSpace, kWord, kName, kString, kDate, kNumber, kSymbol };

struct Token {
  Kind kind;
  std::string text;  // names and strings without their quotes
};

// Thrown for what has no SQLite form; its text is the reason.
class Untranslatable : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

bool IsWordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || (c & 0x80) != 0; }


std::vector<Token> Tokenize(const std::string& sql) {
  std::vector<Token> tokens;
  size_t i = 0;
  while (i < sql.size()) {
    const char c = sql[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      while (i < sql.size() && std::isspace(static_cast<unsigned char>(sql[i]))) ++i;
      tokens.push_back({Kind::kSpace, " "});
    } else if (c == '[') {
      const size_t end = sql.find(']', i + 1);
      if (end == std::string::npos) throw Untranslatable("a bracketed name is not closed");
      tokens.push_back({Kind::kName, sql.substr(i + 1, end - i - 1)});
      i = end + 1;
    } else if (c == '"' || c == '\'') {
      std::string text;
      size_t j = i + 1;
      for (;; ++j) {
        if (j >= sql.size()) throw Untranslatable("a string is not closed");
        if (sql[j] == c) {
          if (j + 1 < sql.size() && sql[j + 1] == c) {
            text += c;
            ++j;
            continue;
          }
          break;
        }
        text += sql[j];
      }
      tokens.push_back({Kind::kString, text});
      i = j + 1;
    } else if (c == '#') {
      const size_t end = sql.find('#', i + 1);
      if (end == std::string::npos) throw Untranslatable("a date is not closed");
      tokens.push_back({Kind::kDate, sql.substr(i + 1, end - i - 1)});
      i = end + 1;
    } else if (std::isdigit(static_cast<unsigned char>(c)) ||
               (c == '.' && i + 1 < sql.size() && std::isdigit(static_cast<unsigned char>(sql[i + 1])))) {
      size_t j = i;
      while (j < sql.size() && (std::isdigit(static_cast<unsigned char>(sql[j])) || sql[j] == '.')) ++j;
      tokens.push_back({Kind::kNumber, sql.substr(i, j - i)});
      i = j;
    } else if (IsWordChar(c)) {
      size_t j = i;
      while (j < sql.size() && IsWordChar(sql[j])) ++j;
      tokens.push_back({Kind::kWord, sql.substr(i, j - i)});
      i = j;
    } else {
      std::string symbol(1, c);
      if (i + 1 < sql.size() && ((c == '<' && (sql[i + 1] == '>' || sql[i + 1] == '=')) || (c == '>' && sql[i + 1] == '='))) {
        symbol += sql[i + 1];
      }
      tokens.push_back({Kind::kSymbol, symbol});
      i += symbol.size();
    }
  }
  return tokens;
}

std::string Quoted(const std::string& text, char quote, bool double_backslashes = false) {
  std::string out(1, quote);
  for (char c : text) {
    if (c == quote || (double_backslashes && c == '\\')) out += c;
    out += c;
  }
  return out + quote;
}

// #m/d/yyyy[ h:mm[:ss] [AM|PM]]# as "YYYY-MM-DD HH:MM:SS".
std::string DateLiteral(const std::string& text) {
  int month = 0, day = 0, year = 0, hour = 0, minute = 0, second = 0;
  int used = 0;
  const auto fail = [&] { return Untranslatable("date #" + text + "# is no date a view can hold"); };
  if (std::sscanf(text.c_str(), "%d/%d/%d%n", &month, &day, &year, &used) != 3) throw fail();
  std::string rest = text.substr(static_cast<size_t>(used));
  int time_used = 0;
  if (std::sscanf(rest.c_str(), " %d:%d%n", &hour, &minute, &time_used) == 2) {
    rest = rest.substr(static_cast<size_t>(time_used));
    if (std::sscanf(rest.c_str(), ":%d%n", &second, &time_used) == 1) rest = rest.substr(static_cast<size_t>(time_used));
    const std::string meridiem = AsciiUpper(rest.substr(rest.find_first_not_of(' ') == std::string::npos ? rest.size() : rest.find_first_not_of(' ')));
    if (meridiem == "PM" && hour < 12) hour += 12;
    if (meridiem == "AM" && hour == 12) hour = 0;
    if (!meridiem.empty() && meridiem != "AM" && meridiem != "PM") throw fail();
  } else if (rest.find_first_not_of(' ') != std::string::npos) {
    throw fail();
  }
  if (month < 1 || month > 12 || day < 1 || day > 31 || year < 0 || year > 9999 || hour < 0 || hour > 23 ||
      minute < 0 || minute > 59 || second < 0 || second > 59) {
    throw fail();
  }
  // Two-digit years as Access reads them.
  if (year < 30) {
    year += 2000;
  } else if (year < 100) {
    year += 1900;
  }
  char out[32];
  std::snprintf(out, sizeof out, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour, minute, second);
  return out;
}

// A Like pattern's wildcards as SQLite's.
std::string LikePattern(const std::string& pattern) {
  std::string out;
  for (char c : pattern) {
    if (c == '[' || c == '%' || c == '_' || c == '#') throw Untranslatable("Like pattern " + pattern + " has no SQLite form");
    out += c == '*' ? '%' : c == '?' ? '_' : c;
  }
  return out;
}

// A Format pattern of dates as the database's own: strftime's codes
// (SQLite), to_char's (PostgreSQL) or DATE_FORMAT's (MySQL).
std::string DatePattern(const std::string& format, ViewDialect dialect) {
  static const char* const kParts[] = {"yyyy", "mm", "dd", "hh", "nn", "ss"};
  static const char* const kCodes[3][6] = {{"%Y", "%m", "%d", "%H", "%M", "%S"},
                                           {"YYYY", "MM", "DD", "HH24", "MI", "SS"},
                                           {"%Y", "%m", "%d", "%H", "%i", "%s"}};
  const auto& codes = kCodes[static_cast<int>(dialect)];
  std::string out;
  const std::string lower = AsciiLower(format);
  for (size_t i = 0; i < lower.size();) {
    bool matched = false;
    for (size_t k = 0; k < 6; ++k) {
      const std::string part = kParts[k];
      if (lower.compare(i, part.size(), part) == 0) {
        out += codes[k];
        i += part.size();
        matched = true;
        break;
      }
    }
    if (matched) continue;
    if (std::isalpha(static_cast<unsigned char>(lower[i]))) throw Untranslatable("Format \"" + format + "\" is not simple");
    // to_char reads a few more letters and digits as codes; punctuation is safe.
    if (lower[i] == '%' && dialect != ViewDialect::kPostgreSql) out += '%';
    out += lower[i++];
  }
  return out;
}

// Words that may stand before "(" without being a function.
bool IsKeyword(const std::string& upper) {
  static const char* const kKeywords[] = {"IN",     "EXISTS", "AS",   "ON",   "AND",  "OR",   "NOT",  "FROM",
                                          "JOIN",   "WHERE",  "SELECT", "UNION", "ALL", "BETWEEN", "HAVING",
                                          "BY",     "LIKE",   "IS",   "DISTINCT", "DISTINCTROW", "WHEN", "THEN",
                                          "ELSE",   "CASE",   "ANY",  "SOME", "TOP",  "VALUES", "ASC", "DESC",
                                          "INNER",  "LEFT",   "RIGHT", "OUTER", "FULL", "CROSS", "GROUP", "ORDER",
                                          "NULL",   "END",    "INTO", "WITH", "PERCENT", "OWNERACCESS", "OPTION",
                                          "LIMIT"};
  for (const char* keyword : kKeywords) {
    if (upper == keyword) return true;
  }
  return false;
}

class Translator {
 public:
  Translator(std::vector<Token> tokens, ViewDialect dialect, const std::map<std::string, std::string>* names)
      : tokens_(std::move(tokens)), dialect_(dialect), names_(names) {}

  std::string Run() {
    std::string limit;
    std::string out = Range(0, tokens_.size(), &limit);
    if (!limit.empty()) out += " LIMIT " + limit;
    return out;
  }

 private:
  size_t SkipSpace(size_t i, size_t end) const {
    while (i < end && tokens_[i].kind == Kind::kSpace) ++i;
    return i;
  }
  bool IsWord(size_t i, const char* word) const {
    return i < tokens_.size() && tokens_[i].kind == Kind::kWord && AsciiUpper(tokens_[i].text) == word;
  }
  bool IsSymbol(size_t i, const char* symbol) const {
    return i < tokens_.size() && tokens_[i].kind == Kind::kSymbol && tokens_[i].text == symbol;
  }

  // The arguments of the call whose "(" is at `open`, split at top-level
  // commas; `close` is left at its ")".
  std::vector<std::pair<size_t, size_t>> Arguments(size_t open, size_t end, size_t& close) const {
    std::vector<std::pair<size_t, size_t>> args;
    int depth = 0;
    size_t start = open + 1;
    for (size_t i = open; i < end; ++i) {
      if (IsSymbol(i, "(")) {
        ++depth;
      } else if (IsSymbol(i, ")")) {
        if (--depth == 0) {
          if (SkipSpace(start, i) < i || !args.empty()) args.emplace_back(start, i);
          close = i;
          return args;
        }
      } else if (depth == 1 && IsSymbol(i, ",")) {
        args.emplace_back(start, i);
        start = i + 1;
      }
    }
    throw Untranslatable("a parenthesis is not closed");
  }

  std::string Call(const std::string& function, const std::vector<std::string>& a, const std::string& pattern) {
    const auto need = [&](size_t low, size_t high) {
      if (a.size() < low || a.size() > high) throw Untranslatable(function + " with " + std::to_string(a.size()) + " arguments");
    };
    const bool lite = dialect_ == ViewDialect::kSqlite;
    const bool pg = dialect_ == ViewDialect::kPostgreSql;
    // One form per dialect: SQLite, PostgreSQL, MySQL.
    const auto pick = [&](std::string sqlite, std::string postgres, std::string mysql) {
      return lite ? sqlite : pg ? postgres : mysql;
    };
    const std::string f = AsciiUpper(function);
    if (f == "IIF") {
      // Jet gives Null for the missing third argument.
      need(2, 3);
      const std::string otherwise = a.size() == 3 ? a[2] : "NULL";
      if (lite) return "iif(" + a[0] + ", " + a[1] + ", " + otherwise + ")";
      return "CASE WHEN " + a[0] + " THEN " + a[1] + " ELSE " + otherwise + " END";
    }
    if (f == "NZ") return need(1, 2), pick("ifnull(", "coalesce(", "COALESCE(") + a[0] + ", " + (a.size() == 2 ? a[1] : "0") + ")";
    if (f == "VAL") {
      // The number the text starts with, 0 when it starts with none.
      need(1, 1);
      return pick("CAST(" + a[0] + " AS NUMERIC)",
                  "CASE WHEN " + a[0] + " IS NULL THEN NULL ELSE coalesce(CAST(substring(CAST(" + a[0] +
                      " AS text) from '^\\s*([-+]?([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][-+]?[0-9]+)?)') AS double "
                      "precision), 0) END",
                  "CAST(" + a[0] + " AS DOUBLE)");
    }
    if (f == "DATE") return need(0, 0), "CURRENT_DATE";
    if (f == "NOW") return need(0, 0), "CURRENT_TIMESTAMP";
    static const std::map<std::string, std::array<const char*, 3>> kParts = {
        {"YEAR", {"%Y", "YEAR", "YEAR"}},  {"MONTH", {"%m", "MONTH", "MONTH"}},    {"DAY", {"%d", "DAY", "DAYOFMONTH"}},
        {"HOUR", {"%H", "HOUR", "HOUR"}},  {"MINUTE", {"%M", "MINUTE", "MINUTE"}}, {"SECOND", {"%S", "SECOND", "SECOND"}}};
    if (const auto part = kParts.find(f); part != kParts.end()) {
      need(1, 1);
      return pick(std::string("CAST(strftime('") + part->second[0] + "', " + a[0] + ") AS INTEGER)",
                  std::string("CAST(EXTRACT(") + part->second[1] + " FROM " + a[0] + ") AS integer)",
                  std::string(part->second[2]) + "(" + a[0] + ")");
    }
    if (f == "WEEKDAY") {
      need(1, 1);  // Sunday is 1, as Access counts without a first day given
      return pick("(CAST(strftime('%w', " + a[0] + ") AS INTEGER) + 1)",
                  "(CAST(EXTRACT(DOW FROM " + a[0] + ") AS integer) + 1)", "DAYOFWEEK(" + a[0] + ")");
    }
    if (f == "DATEVALUE") return need(1, 1), pick("date(", "CAST((", "DATE(") + a[0] + pick(")", ") AS date)", ")");
    if (f == "TIMEVALUE") return need(1, 1), pick("time(", "CAST((", "TIME(") + a[0] + pick(")", ") AS time)", ")");
    if (f == "CDATE") return need(1, 1), pick("datetime(", "CAST((", "CAST((") + a[0] + pick(")", ") AS timestamp)", ") AS DATETIME)");
    if (f == "LEFT") return need(2, 2), pick("substr(" + a[0] + ", 1, " + a[1] + ")", "left(" + a[0] + ", " + a[1] + ")", "LEFT(" + a[0] + ", " + a[1] + ")");
    if (f == "RIGHT") {
      need(2, 2);
      return pick("substr(" + a[0] + ", -(" + a[1] + "))", "right(" + a[0] + ", " + a[1] + ")", "RIGHT(" + a[0] + ", " + a[1] + ")");
    }
    if (f == "MID") return need(2, 3), "substr(" + a[0] + ", " + a[1] + (a.size() == 3 ? ", " + a[2] : "") + ")";
    if (f == "LEN") return need(1, 1), pick("length(", "length(", "CHAR_LENGTH(") + a[0] + ")";
    if (f == "INSTR") return need(2, 2), pick("instr(" + a[0] + ", " + a[1] + ")", "strpos(" + a[0] + ", " + a[1] + ")", "INSTR(" + a[0] + ", " + a[1] + ")");
    if (f == "REPLACE") return need(3, 3), "replace(" + a[0] + ", " + a[1] + ", " + a[2] + ")";
    if (f == "TRIM") return need(1, 1), "trim(" + a[0] + ")";
    if (f == "LTRIM") return need(1, 1), "ltrim(" + a[0] + ")";
    if (f == "RTRIM") return need(1, 1), "rtrim(" + a[0] + ")";
    if (f == "UCASE") return need(1, 1), "upper(" + a[0] + ")";
    if (f == "LCASE") return need(1, 1), "lower(" + a[0] + ")";
    if (f == "CCUR") return need(1, 1), pick("round(" + a[0] + ", 4)", "round(CAST(" + a[0] + " AS numeric), 4)", "ROUND(" + a[0] + ", 4)");
    if (f == "CDBL" || f == "CSNG") return need(1, 1), "CAST(" + a[0] + pick(" AS REAL)", " AS double precision)", " AS DOUBLE)");
    if (f == "CLNG" || f == "CINT") return need(1, 1), "CAST(round(" + a[0] + pick(") AS INTEGER)", ") AS integer)", ") AS SIGNED)");
    if (f == "CSTR") return need(1, 1), "CAST(" + a[0] + pick(" AS TEXT)", " AS text)", " AS CHAR)");
    if (f == "FORMAT") {
      need(2, 2);
      if (pattern.empty()) throw Untranslatable("Format with a pattern that is not a string");
      const std::string code = String(DatePattern(pattern, dialect_));
      return pick("strftime(" + code + ", " + a[0] + ")", "to_char(" + a[0] + ", " + code + ")",
                  "DATE_FORMAT(" + a[0] + ", " + code + ")");
    }
    if (f == "ROUND" && pg && a.size() == 2) return "round(CAST(" + a[0] + " AS numeric), " + a[1] + ")";
    static const std::map<std::string, std::string> kSame = {
        {"SUM", "sum"}, {"AVG", "avg"}, {"COUNT", "count"}, {"MIN", "min"}, {"MAX", "max"}, {"ABS", "abs"},
        {"ROUND", "round"}};
    const auto same = kSame.find(f);
    if (same != kSame.end()) {
      std::string out = same->second + "(";
      for (size_t i = 0; i < a.size(); ++i) out += (i ? ", " : "") + a[i];
      return out + ")";
    }
    if (f == "ISNULL") return need(1, 1), "(" + a[0] + " IS NULL)";
    throw Untranslatable("function " + function + " has no " + pick("SQLite", "PostgreSQL", "MySQL") + " equivalent here");
  }

  std::string Range(size_t begin, size_t end, std::string* limit) {
    std::string out;
    for (size_t i = begin; i < end; ++i) {
      const Token& token = tokens_[i];
      switch (token.kind) {
        case Kind::kSpace:
          out += ' ';
          break;
        case Kind::kName:
          out += Name(token.text);
          break;
        case Kind::kString:
          out += String(like_next_ ? LikePattern(token.text) : token.text);
          like_next_ = false;
          break;
        case Kind::kDate:
          out += (dialect_ == ViewDialect::kSqlite ? "" : "TIMESTAMP ") + String(DateLiteral(token.text));
          break;
        case Kind::kNumber:
          out += token.text;
          break;
        case Kind::kSymbol:
          if (token.text == "&") {
            out += "||";
          } else if (token.text == "\\") {
            throw Untranslatable("integer division has no operator of the same rounding");
          } else if (token.text == ";") {
            throw Untranslatable("it holds more than one statement");
          } else if (token.text == "!") {
            throw Untranslatable("it refers to a form or another object by !");
          } else {
            out += token.text;
          }
          break;
        case Kind::kWord: {
          const std::string word = AsciiUpper(token.text);
          const size_t next = SkipSpace(i + 1, end);
          // Left( and Right( are functions; LEFT JOIN is no call.
          if (next < end && IsSymbol(next, "(") && (!IsKeyword(word) || word == "LEFT" || word == "RIGHT")) {
            size_t close = 0;
            const auto args = Arguments(next, end, close);
            std::vector<std::string> translated;
            std::string pattern;
            if (word == "FORMAT" && args.size() == 2) {
              const size_t at = SkipSpace(args[1].first, args[1].second);
              if (at < args[1].second && tokens_[at].kind == Kind::kString) pattern = tokens_[at].text;
            }
            for (const auto& [from, to] : args) {
              std::string arg = Range(from, to, nullptr);
              arg.erase(0, arg.find_first_not_of(' '));
              arg.erase(arg.find_last_not_of(' ') + 1);
              translated.push_back(std::move(arg));
            }
            out += Call(token.text, translated, pattern);
            i = close;
          } else if (word == "DISTINCTROW") {
            // Unique source records of the tables whose fields are shown:
            // unique shown values wherever those include each table's key.
            out += "DISTINCT";
          } else if (word == "TOP") {
            const size_t count = SkipSpace(i + 1, end);
            if (limit == nullptr || count >= end || tokens_[count].kind != Kind::kNumber) {
              throw Untranslatable("TOP that is not a count of rows");
            }
            if (IsWord(SkipSpace(count + 1, end), "PERCENT")) throw Untranslatable("TOP ... PERCENT");
            *limit = tokens_[count].text;
            i = SkipSpace(count + 1, end) - 1;
          } else if (word == "TRUE" || word == "YES") {
            out += dialect_ == ViewDialect::kSqlite ? "1" : "TRUE";
          } else if (word == "FALSE" || word == "NO") {
            out += dialect_ == ViewDialect::kSqlite ? "0" : "FALSE";
          } else if (word == "MOD") {
            out += "%";
          } else if (word == "LIKE") {
            // Access compares without case, as SQLite's and MySQL's LIKE do.
            out += dialect_ == ViewDialect::kPostgreSql ? "ILIKE" : token.text;
            like_next_ = true;
          } else if (!IsKeyword(word) && Canonical(token.text)) {
            // A bare table, column or query name, as the target spells it.
            out += Name(token.text);
          } else {
            out += token.text;
          }
          break;
        }
      }
    }
    return out;
  }

  std::string Name(const std::string& name) const {
    return Quoted(Canonical(name).value_or(name), dialect_ == ViewDialect::kMySql ? '`' : '"');
  }
  std::optional<std::string> Canonical(const std::string& name) const {
    if (names_ == nullptr) return std::nullopt;
    const auto found = names_->find(AsciiLower(name));
    if (found == names_->end()) return std::nullopt;
    return found->second;
  }
  std::string String(const std::string& text) const { return Quoted(text, '\'', dialect_ == ViewDialect::kMySql); }

  std::vector<Token> tokens_;
  ViewDialect dialect_;
  const std::map<std::string, std::string>* names_;
  bool like_next_ = false;
};

}  // namespace

ViewTranslation TranslateSelectQuery(const std::string& access_sql, ViewDialect dialect,
                                     const std::map<std::string, std::string>* names) {
  ViewTranslation result;
  try {
    std::vector<Token> tokens = Tokenize(access_sql);
    size_t first = 0;
    while (first < tokens.size() && tokens[first].kind == Kind::kSpace) ++first;
    const std::string head = first < tokens.size() ? AsciiUpper(tokens[first].text) : "";
    if (head == "PARAMETERS") throw Untranslatable("it asks for parameters");
    if (head == "TRANSFORM") throw Untranslatable("it is a crosstab query");
    if (head != "SELECT") throw Untranslatable(head.empty() ? "it has no text" : "it is no select query");
    int depth = 0;
    for (const Token& token : tokens) {
      if (token.kind == Kind::kSymbol && token.text == "(") ++depth;
      if (token.kind == Kind::kSymbol && token.text == ")") --depth;
      if (depth == 0 && token.kind == Kind::kWord && AsciiUpper(token.text) == "INTO") {
        throw Untranslatable("it makes a table");
      }
    }
    while (!tokens.empty() && (tokens.back().kind == Kind::kSpace ||
                               (tokens.back().kind == Kind::kSymbol && tokens.back().text == ";"))) {
      tokens.pop_back();
    }
    result.sql = Translator(std::move(tokens), dialect, names).Run();
    result.ok = true;
  } catch (const Untranslatable& why) {
    result.reason = why.what();
  }
  return result;
}

}  // namespace mendora
