// Index keys for the Access target.
#include "output/jet/index_keys.h"

#include "reader/index_key.h"

namespace mendora::jet {

KeyAppender IndexKeys() {
  return [](const Value& value, int type, bool descending, std::string& key) {
    const EncodedKey encoded = EncodeKeyColumn(KeyColumn{type, descending, TextSortOrder::kJet4General}, value);
    if (encoded.ok()) key.append(reinterpret_cast<const char*>(encoded.bytes.data()), encoded.bytes.size());
    return encoded.outcome;
  };
}

NameKeyCheck NameKeys() {
  return [](const std::string& name) { return TextKeyKnown(TextSortOrder::kJet4General, name); };
}

}  // namespace mendora::jet
