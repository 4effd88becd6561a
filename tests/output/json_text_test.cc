// The JSON string writer against the JSON library's own escaping with
// invalid bytes replaced, which the dump and the JSON Lines export were
// written with before: the bytes must stay the same for every input.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "output/common/json_text.h"
#include "output/jsonl/jsonl_export.h"
#include "reader/column_types.h"

namespace mendora {
namespace {

std::string LibraryForm(const std::string& text) {
  return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string Written(const std::string& text) {
  std::string out = "x";  // appended to, not replaced
  AppendJsonString(out, text);
  return out.substr(1);
}

TEST(JsonTextTest, OddTextIsWrittenAsTheLibraryWroteIt) {
  const std::string cases[] = {
      "",
      "plain",
      std::string("nul\0inside", 10),
      "\x01\x07\b\t\n\x0b\f\r\x1b\x1f \x7f",
      "quote \" backslash \\ slash /",
      "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80",
      "\xED\xA0\x80",          // a lone high surrogate as UTF-8
      "\xED\xBF\xBF\xED\x9F\xBF",
      "\xC0\xAF \xC1\xBF",      // overlong
      "\xE0\x80\xAF \xE0\x9F\xBF \xF0\x8F\xBF\xBF",
      "\xF4\x90\x80\x80 \xF5\x80 \xFF\xFE",
      "\x80\xBF",              // continuation bytes alone
      "\xE2\x82",              // cut off at the end
      "\xF0\x9F\x98",
      "\xE2\x82" "A" "\xF0\x9F" "\"",
      "\xC3" "\n",
      std::string(600, 'a') + "\xE2\x82\xAC" + std::string(600, '\x01'),
  };
  for (const std::string& text : cases) EXPECT_EQ(Written(text), LibraryForm(text)) << testing::PrintToString(text);
}

TEST(JsonTextTest, RandomBytesAreWrittenAsTheLibraryWroteThem) {
  // Bytes drawn from the ranges where UTF-8 decisions are made, among runs
  // of printable ASCII long enough to be passed over a word at a time.
  const unsigned char pool[] = {'a', ' ', '"', '\\', 0x00, 0x1F, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0,
                                0xBF, 0xC0, 0xC2, 0xDF, 0xE0, 0xE1, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF};
  std::mt19937 random(28);
  for (int round = 0; round < 20000; ++round) {
    std::string text(random() % (round % 2 == 0 ? 12 : 40), '\0');
    const unsigned odd_in = round % 2 == 0 ? 1 : 12;  // one byte in so many from the pool
    for (char& c : text) {
      c = static_cast<char>(random() % odd_in != 0 ? 0x20 + random() % 0x60
                            : random() % 4 == 0    ? random() % 256
                                                   : pool[random() % sizeof pool]);
    }
    ASSERT_EQ(Written(text), LibraryForm(text)) << testing::PrintToString(text);
  }
}

TEST(JsonTextTest, NumbersAreWrittenAsTheLibraryWroteThem) {
  std::vector<double> numbers = {0.0, -0.0, 1.0, -1.0, 0.1, 1e-7, 1e-5, 123456789012345678.0, 1e15, 1e16, 1e21, 1e22,
                                 5e-324, 1.7976931348623157e308, 2.2250738585072014e-308, 3.4028234663852886e38,
                                 static_cast<double>(0.1f), 9007199254740993.0, 100.0, 1234.5};
  std::mt19937_64 random(28);
  for (int i = 0; i < 20000; ++i) {
    const uint64_t bits = random();
    double number;
    std::memcpy(&number, &bits, sizeof number);
    if (std::isfinite(number)) numbers.push_back(number);
    numbers.push_back(static_cast<double>(static_cast<int64_t>(random() % 2000000) - 1000000) / 1000.0);
  }
  for (const double number : numbers) {
    std::string out = "x";
    AppendJsonNumber(out, number);
    ASSERT_EQ(out.substr(1), nlohmann::json(number).dump()) << number;
  }
}


// A line of the JSON Lines export per kind of value, as readers of the
// export have always received it.
TEST(JsonTextTest, JsonLinesKeepEveryKindOfValueAndRepeatedNames) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("mendora-jsonl-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const auto column = [](const std::string& name, int type) {
    OutputColumn c;
    c.name = name;
    c.type = type;
    return c;
  };
  const auto value = [](ValueKind kind, int64_t integer, double real, std::string bytes = {}) {
    Value v;
    v.kind = kind;
    v.integer = integer;
    v.real = real;
    v.bytes = std::move(bytes);
    return v;
  };
  struct Case {
    std::vector<OutputColumn> columns;
    std::vector<Value> values;
    std::string line;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Case cases[] = {
      {{column("b", kColumnBoolean), column("n", kColumnLongInteger), column("big", kColumnLongInteger), column("x", kColumnText)},
       {value(ValueKind::kInteger, 1, 0), value(ValueKind::kInteger, -42, 0),
        value(ValueKind::kInteger, int64_t{1} << 53, 0), value(ValueKind::kText, 0, 0, "a\"b\n\xC3\xA9\xFF")},
       R"({"table":"T\t1","row":{"b":true,"n":-42,"big":"9007199254740992","x":"a\"b\n)" "\xC3\xA9\xEF\xBF\xBD" R"("}})"},
      {{column("d", kColumnDouble), column("inf", kColumnDouble), column("nan", kColumnDouble), column("when", kColumnDateTime),
        column("far", kColumnDateTime), column("bin", kColumnBinary), column("none", kColumnText)},
       {value(ValueKind::kDouble, 0, 0.1), value(ValueKind::kDouble, 0, -std::numeric_limits<double>::infinity()),
        value(ValueKind::kDouble, 0, nan), value(ValueKind::kDateTime, 0, 34719.5), value(ValueKind::kDateTime, 0, 1e9),
        value(ValueKind::kBytes, 0, 0, "hi!"), value(ValueKind::kNull, 0, 0)},
       R"({"table":"T\t1","row":{"d":0.1,"inf":"-Infinity","nan":"NaN","when":"1995-01-20T12:00:00","far":null,"bin":"aGkh","none":null}})"},
      // One key for a repeated name: where the first stood, the last value.
      {{column("A", kColumnLongInteger), column("B", kColumnLongInteger), column("A", kColumnLongInteger)},
       {value(ValueKind::kInteger, 1, 0), value(ValueKind::kInteger, 2, 0), value(ValueKind::kInteger, 3, 0)},
       R"({"table":"T\t1","row":{"A":3,"B":2}})"},
  };
  for (const Case& c : cases) {
    const std::filesystem::path file = dir / "out.jsonl";
    JsonLinesExport jsonl(file, ExportOptions{});
    OutputTable table;
    table.name = "T\t1";
    table.columns = c.columns;
    jsonl.BeginTable(table);
    Row row;
    row.values = c.values;
    jsonl.AddRow(row);
    jsonl.EndTable(1);
    jsonl.Finish();
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), c.line + "\n");
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace mendora
