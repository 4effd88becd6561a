// Names of their own for the tables and columns a pass saves.
//
// Two tables of a source may have names the target cannot tell apart:
// equal (a dropped table found again), equal but for case, equal once the
// target has renamed one it reserves, or only apart in a byte the target
// cannot store. Each gets a name whose key, the form under which the target
// compares names, no earlier one has.
#ifndef MENDORA_RECOVERY_DISTINCT_NAMES_H_
#define MENDORA_RECOVERY_DISTINCT_NAMES_H_

#include <functional>
#include <set>
#include <string>
#include <string_view>

namespace mendora {

using NameKey = std::function<std::string(const std::string&)>;

// `name` when `key(name)` is not in `taken`, else the first of `name` +
// `suffix`, then `name` + `suffix` + " 2", " 3"... whose key is free. The key
// of the result is added to `taken`. Without `key`, names compare as they are.
std::string ClaimDistinctName(std::set<std::string>& taken, const std::string& name, const std::string& suffix,
                              const NameKey& key);

// `text` on one line for a message: NUL, control characters and DEL as
// "\xNN", so a name can neither cut a message nor break it across lines.
std::string PrintableText(std::string_view text);

// Why `name` (UTF-8, as the catalog gave it) looks damaged: undecodable
// bytes, or characters of scripts that the rest of the name is not written
// in (a damaged byte of "t19" in UTF-16 makes "t\u4E97" + "9"). Empty when it
// looks like a name someone typed.
std::string DamagedNameEvidence(std::string_view name);

}  // namespace mendora

#endif  // MENDORA_RECOVERY_DISTINCT_NAMES_H_
