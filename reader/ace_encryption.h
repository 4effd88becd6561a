// Access 2007+ password encryption: the encryption header in page 0, the
// password check and the page decryptors it leads to.
#ifndef MENDORA_READER_ACE_ENCRYPTION_H_
#define MENDORA_READER_ACE_ENCRYPTION_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "reader/byte_view.h"
#include "reader/page_cipher.h"

namespace mendora::ace {

// Page 0 of an Access 2007+ file holds a 2-byte length here, zero when the
// file has no password encryption, and the encryption header right after it.
inline constexpr size_t kEncryptionLengthOffset = 0x299;
inline constexpr size_t kEncryptionHeaderOffset = 0x29B;

// Spin counts above this are taken for damage: Access writes 100,000, and
// ten million rounds of SHA-512 already take seconds, which is as long as a
// damaged count may hold up opening a file.
inline constexpr uint32_t kMaxSpinCount = 10'000'000;

// Reads the encryption header (`header`: the bytes the length announces) and
// checks `password` against it. `encoding_key` is the page-0 encoding key,
// which every page's key or initialisation vector also depends on.
PageCipherSetup OpenEncryptionHeader(ByteView header, uint32_t encoding_key,
                                     const std::optional<std::string>& password);

}  // namespace mendora::ace

#endif  // MENDORA_READER_ACE_ENCRYPTION_H_
