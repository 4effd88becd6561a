// Names of their own for the tables and columns a pass saves.
#include "recovery/distinct_names.h"

#include <cstdint>
#include <cstdio>
#include <vector>

#include "reader/text_codec.h"

namespace mendora {

std::string ClaimDistinctName(std::set<std::string>& taken, const std::string& name, const std::string& suffix,
                              const NameKey& key) {
  const auto key_of = [&](const std::string& candidate) { return key ? key(candidate) : candidate; };
  if (taken.insert(key_of(name)).second) return name;
  std::string stem = name;
  for (int n = 1;; ++n) {
    const std::string tail = n == 1 ? suffix : suffix + " " + std::to_string(n);
    // A target that cuts long names would cut away the tail that tells this
    // one apart, every number alike: the name gives up its last characters
    // until the tail is part of the key.
    while (key && !stem.empty() && key_of(stem + tail) == key_of(stem + tail + "x")) {
      CutUtf8Bytes(stem, stem.size() - 1);
    }
    if (taken.insert(key_of(stem + tail)).second) return stem + tail;
  }
}

std::string PrintableText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out;
}

namespace {

// Scripts as far as names are concerned: the ones a person writes a name
// in, and "common" for digits, punctuation and spaces, which go with any.
enum class Script { kCommon, kLatin, kGreek, kCyrillic, kHebrew, kArabic, kThai, kHangul, kCjk, kOther, kUndecodable };

Script ScriptOf(uint32_t cp) {
  if (cp == 0xFFFD || (cp >= 0xD800 && cp <= 0xDFFF) || (cp >= 0xE000 && cp <= 0xF8FF) || cp > 0x10FFFF ||
      (cp & 0xFFFE) == 0xFFFE) {
    return Script::kUndecodable;
  }
  if (cp < 0x80) {
    const bool letter = (cp >= 'A' && cp <= 'Z') || (cp >= 'a' && cp <= 'z');
    return letter ? Script::kLatin : Script::kCommon;
  }
  if (cp < 0x250) return cp == 0xD7 || cp == 0xF7 || cp < 0xC0 ? Script::kCommon : Script::kLatin;
  if (cp >= 0x1E00 && cp < 0x1F00) return Script::kLatin;
  if (cp >= 0x250 && cp < 0x370) return Script::kCommon;  // phonetics, modifiers, combining marks
  if (cp >= 0x370 && cp < 0x400) return Script::kGreek;
  if (cp >= 0x1F00 && cp < 0x2000) return Script::kGreek;
  if (cp >= 0x400 && cp < 0x530) return Script::kCyrillic;
  if (cp >= 0x590 && cp < 0x600) return Script::kHebrew;
  if ((cp >= 0x600 && cp < 0x700) || (cp >= 0xFB50 && cp < 0xFE00) || (cp >= 0xFE70 && cp < 0xFF00)) {
    return Script::kArabic;
  }
  if (cp >= 0xE00 && cp < 0xE80) return Script::kThai;
  if ((cp >= 0x1100 && cp < 0x1200) || (cp >= 0x3130 && cp < 0x3190) || (cp >= 0xAC00 && cp < 0xD7B0)) {
    return Script::kHangul;
  }
  if (cp >= 0x2000 && cp < 0x2E80) return Script::kCommon;  // punctuation, symbols, arrows, boxes
  // Han, kana, bopomofo, CJK punctuation and the full-width forms: Chinese
  // and Japanese names mix them.
  if ((cp >= 0x2E80 && cp < 0xA000) || (cp >= 0xF900 && cp < 0xFB00) || (cp >= 0xFF00 && cp < 0xFFF0) ||
      (cp >= 0x20000 && cp < 0x30000)) {
    return Script::kCjk;
  }
  return Script::kOther;
}

// The code points of UTF-8 text; a byte that does not decode is U+FFFD.
std::vector<uint32_t> CodePoints(std::string_view text) {
  std::vector<uint32_t> out;
  for (size_t i = 0; i < text.size();) {
    const auto b = static_cast<uint8_t>(text[i]);
    const int extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
    if (extra < 0 || i + static_cast<size_t>(extra) >= text.size()) {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    uint32_t cp = extra == 0 ? b : b & (0x3F >> extra);
    bool ok = true;
    for (int k = 1; k <= extra; ++k) {
      const auto c = static_cast<uint8_t>(text[i + static_cast<size_t>(k)]);
      if ((c & 0xC0) != 0x80) ok = false;
      cp = cp << 6 | (c & 0x3F);
    }
    out.push_back(ok ? cp : 0xFFFD);
    i += ok ? static_cast<size_t>(extra) + 1 : 1;
  }
  return out;
}

std::string CodePointText(uint32_t cp) {
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", cp);
  return text;
}

}  // namespace

std::string DamagedNameEvidence(std::string_view name) {
  const std::vector<uint32_t> cps = CodePoints(name);
  std::vector<Script> scripts;
  int counts[static_cast<int>(Script::kUndecodable) + 1] = {};
  for (const uint32_t cp : cps) {
    scripts.push_back(ScriptOf(cp));
    ++counts[static_cast<int>(scripts.back())];
  }
  for (size_t i = 0; i < cps.size(); ++i) {
    if (scripts[i] == Script::kUndecodable) return "it holds " + CodePointText(cps[i]) + ", which is no character";
  }
  int distinct = 0;
  for (int s = static_cast<int>(Script::kLatin); s <= static_cast<int>(Script::kOther); ++s) distinct += counts[s] > 0;
  // A name is written in one script, or in Latin and one other; letters of
  // three show bytes that were changed.
  if (distinct >= 3) return "its letters come from " + std::to_string(distinct) + " different scripts";
  // A lone character of a script the rest of the name does not use, set
  // between characters of another: one damaged character of the name.
  for (size_t i = 1; i + 1 < cps.size(); ++i) {
    const Script own = scripts[i];
    if (own == Script::kCommon || counts[static_cast<int>(own)] != 1) continue;
    const Script before = scripts[i - 1];
    const Script after = scripts[i + 1];
    const bool other_letter = (before != Script::kCommon && before != own) || (after != Script::kCommon && after != own);
    const bool joined = cps[i - 1] != ' ' && cps[i - 1] != '_' && cps[i + 1] != ' ' && cps[i + 1] != '_';
    if (other_letter && joined) {
      return "its character " + CodePointText(cps[i]) + " stands alone among characters of another script";
    }
  }
  return std::string();
}

}  // namespace mendora
