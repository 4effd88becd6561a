// Text as a Jet 4 file stores it: UCS-2, or its compressed form where that
// is shorter and the column allows it.
#ifndef MENDORA_OUTPUT_JET_JET_TEXT_H_
#define MENDORA_OUTPUT_JET_JET_TEXT_H_

#include <string>

#include "output/jet/jet_bytes.h"

namespace mendora::jet {

// UTF-8 to UTF-16 code units (characters beyond the Basic Multilingual Plane
// as surrogate pairs); a malformed sequence becomes U+FFFD.
std::u16string Utf8ToUtf16(const std::string& utf8);

// The stored form of `utf8`: compressed (the mark, then one-byte runs and
// two-byte runs with a 0 byte at each switch) when `compress` and that is
// shorter, else UTF-16LE.
Bytes EncodeText(const std::string& utf8, bool compress);
Bytes EncodeText(const std::u16string& units, bool compress);

// UTF-16LE bytes of `utf8`, as names are stored.
Bytes EncodeName(const std::string& utf8);

}  // namespace mendora::jet

#endif  // MENDORA_OUTPUT_JET_JET_TEXT_H_
