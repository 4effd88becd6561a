// Names of their own for the tables and columns a pass saves.
#include "recovery/distinct_names.h"

#include <cstdio>

namespace mendora {

std::string ClaimDistinctName(std::set<std::string>& taken, const std::string& name, const std::string& suffix,
                              const NameKey& key) {
  auto claim = [&](const std::string& candidate) { return taken.insert(key ? key(candidate) : candidate).second; };
  if (claim(name)) return name;
  const std::string base = name + suffix;
  std::string candidate = base;
  for (int n = 2; !claim(candidate); ++n) candidate = base + " " + std::to_string(n);
  return candidate;
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

}  // namespace mendora
