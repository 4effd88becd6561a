// The JSON string writer against the JSON library's own escaping with
// invalid bytes replaced, which the dump and the JSON Lines export were
// written with before: the bytes must stay the same for every input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "output/common/json_text.h"

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
  // Bytes drawn mostly from the ranges where UTF-8 decisions are made.
  const unsigned char pool[] = {'a', ' ', '"', '\\', 0x00, 0x1F, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0,
                                0xBF, 0xC0, 0xC2, 0xDF, 0xE0, 0xE1, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF};
  std::mt19937 random(28);
  for (int round = 0; round < 20000; ++round) {
    std::string text(random() % 12, '\0');
    for (char& c : text) c = static_cast<char>(random() % 4 == 0 ? random() % 256 : pool[random() % sizeof pool]);
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

}  // namespace
}  // namespace mendora
