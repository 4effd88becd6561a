// Finding the real sample databases and comparing values with them.
#include "tests/support/corpus.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include <openssl/evp.h>
#include <openssl/sha.h>

#ifndef MENDORA_DEFAULT_CORPUS
#define MENDORA_DEFAULT_CORPUS ""
#endif
#ifndef MENDORA_DEFAULT_CORPUS_ACE
#define MENDORA_DEFAULT_CORPUS_ACE ""
#endif
#ifndef MENDORA_DEFAULT_CORPUS_OBJECTS
#define MENDORA_DEFAULT_CORPUS_OBJECTS ""
#endif
#ifndef MENDORA_DEFAULT_CORPUS_ENCRYPTED
#define MENDORA_DEFAULT_CORPUS_ENCRYPTED ""
#endif

namespace mendora::testing {

namespace {

// Canonical decimal text: sign, digits without leading zeros, fraction
// without trailing zeros; empty when the text is no plain decimal.
std::string CanonicalDecimal(const std::string& text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  std::string whole, fraction;
  bool point = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '.' && !point) {
      point = true;
    } else if (c >= '0' && c <= '9') {
      (point ? fraction : whole).push_back(c);
    } else {
      return "";
    }
  }
  whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size()));
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  if (whole.empty()) whole = "0";
  std::string out = whole;
  if (!fraction.empty()) out += "." + fraction;
  if (negative && out != "0") out = "-" + out;
  return out;
}

// "MM/DD/YYYY HH:MM:SS" as "YYYY-MM-DDTHH:MM:SS".
std::string IsoFromRendered(const std::string& text) {
  int month, day, year, hour, minute, second;
  if (std::sscanf(text.c_str(), "%d/%d/%d %d:%d:%d", &month, &day, &year, &hour, &minute, &second) != 6) return text;
  char iso[32];
  std::snprintf(iso, sizeof iso, "%04d-%02d-%02dT%02d:%02d:%02d", year, month, day, hour, minute, second);
  return iso;
}

// "YYYY.MM.DD HH:MM:SS.fffffffff" as "MM/DD/YYYY HH:MM:SS.fffffff", when
// its last two decimals are zero (seven are all a value holds).
std::string RenderedFromExtended(const std::string& text) {
  if (text.size() != 29 || text.compare(27, 2, "00") != 0) return text;
  return text.substr(5, 2) + "/" + text.substr(8, 2) + "/" + text.substr(0, 4) + text.substr(10, 17);
}

std::optional<std::filesystem::path> DirFrom(const char* variable, const char* fallback) {
  const char* env = std::getenv(variable);
  std::filesystem::path dir = env != nullptr && *env != '\0' ? env : fallback;
  std::error_code error;
  if (dir.empty() || !std::filesystem::is_directory(dir, error)) return std::nullopt;
  return dir;
}

std::vector<std::filesystem::path> FilesIn(const std::optional<std::filesystem::path>& dir, const char* extension) {
  std::vector<std::filesystem::path> files;
  if (!dir) return files;
  for (const auto& entry : std::filesystem::directory_iterator(*dir)) {
    if (entry.path().extension() == extension) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// The folder, when it holds at least one file of one of `extensions`: an
// empty sample folder must make the tests say they skipped, not pass over
// nothing.
std::optional<std::filesystem::path> WithSamples(std::optional<std::filesystem::path> dir,
                                                 std::initializer_list<const char*> extensions) {
  if (!dir) return dir;
  for (const char* extension : extensions) {
    if (!FilesIn(dir, extension).empty()) return dir;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::filesystem::path> HostileDir() {
  const char* env = std::getenv("MENDORA_HOSTILE");
  std::filesystem::path dir;
  if (env != nullptr && *env != '\0') {
    dir = env;
  } else if (const std::optional<std::filesystem::path> corpus = DirFrom("MENDORA_CORPUS", MENDORA_DEFAULT_CORPUS)) {
    dir = corpus->parent_path() / "hostile";
  }
  std::error_code error;
  if (dir.empty() || !std::filesystem::is_directory(dir, error)) return std::nullopt;
  return dir;
}

std::optional<std::filesystem::path> CorpusDir() {
  return WithSamples(DirFrom("MENDORA_CORPUS", MENDORA_DEFAULT_CORPUS), {".mdb"});
}
std::vector<std::filesystem::path> CorpusFiles() { return FilesIn(CorpusDir(), ".mdb"); }

std::optional<std::filesystem::path> AceCorpusDir() {
  return WithSamples(DirFrom("MENDORA_CORPUS_ACE", MENDORA_DEFAULT_CORPUS_ACE), {".accdb"});
}
std::vector<std::filesystem::path> AceCorpusFiles() { return FilesIn(AceCorpusDir(), ".accdb"); }

std::optional<std::filesystem::path> ObjectsCorpusDir() {
  return WithSamples(DirFrom("MENDORA_CORPUS_OBJECTS", MENDORA_DEFAULT_CORPUS_OBJECTS), {".mdb", ".accdb"});
}

std::optional<std::filesystem::path> EncryptedCorpusDir() {
  return WithSamples(DirFrom("MENDORA_CORPUS_ENCRYPTED", MENDORA_DEFAULT_CORPUS_ENCRYPTED), {".mdb", ".accdb"});
}

std::string BinarySummary(const std::string& bytes) {
  unsigned char digest[SHA_DIGEST_LENGTH];
  SHA1(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (int i = 0; i < 6; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 0xF];
  }
  return "<bin:" + std::to_string(bytes.size()) + ":" + hex + ">";
}

std::string DecodeBase64(const std::string& text) {
  std::string bytes(text.size() / 4 * 3, '\0');
  const int length = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(bytes.data()),
                                     reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
  if (length < 0) return "";
  // The block decoder counts padding as zero bytes.
  size_t padding = 0;
  for (size_t i = text.size(); i > 0 && text[i - 1] == '='; --i) ++padding;
  bytes.resize(static_cast<size_t>(length) - padding);
  return bytes;
}

bool SameValue(const std::string& type, const std::optional<std::string>& expected,
               const std::optional<std::string>& rendered) {
  if (!expected || !rendered) {
    // A boolean is never null in the file: its bit is its value.
    if (type == "boolean" && !expected && rendered) return *rendered == "0";
    return !expected && !rendered;
  }
  const std::string& want = *expected;
  const std::string& got = *rendered;
  if (type == "boolean") return (want == "true" && got == "1") || (want == "false" && got == "0");
  if (type == "ole" || type == "binary") return want == BinarySummary(got);
  if (type == "double" || type == "float") {
    const double a = std::strtod(want.c_str(), nullptr), b = std::strtod(got.c_str(), nullptr);
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
    if (type == "float") return static_cast<float>(a) == static_cast<float>(std::strtof(got.c_str(), nullptr));
    return a == b;
  }
  // Some readers write a GUID bare and in lower case; the reader renders it
  // braced in upper case.
  if (type == "repid") {
    std::string bare;
    for (const char c : got) {
      if (c != '{' && c != '}') bare += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    std::string wanted;
    for (const char c : want) {
      if (c != '{' && c != '}') wanted += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return bare == wanted;
  }
  if (type == "long" || type == "integer" || type == "byte" || type == "currency" || type == "numeric" ||
      type == "bigint") {
    const std::string a = CanonicalDecimal(want);
    return !a.empty() && a == CanonicalDecimal(got);
  }
  if (type == "datetime") return want.substr(0, 19) == IsoFromRendered(got);
  if (type == "datetimextended") return RenderedFromExtended(want) == got;
  return want == got;
}

}  // namespace mendora::testing
