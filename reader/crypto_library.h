// The few cryptographic operations page decryption needs, all from OpenSSL.
//
// RC4 comes from libcrypto's low-level calls where it has them (no provider,
// no context: pages are decrypted one key each), else from OpenSSL's legacy
// provider, loaded into a library context of its own so that the rest of the
// process keeps OpenSSL's defaults.
// Nothing here throws; a failure is a false or an empty result.
#ifndef MENDORA_READER_CRYPTO_LIBRARY_H_
#define MENDORA_READER_CRYPTO_LIBRARY_H_

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "reader/byte_view.h"

namespace mendora::crypto {

using Bytes = std::vector<uint8_t>;

enum class HashKind { kSha1, kSha256, kSha384, kSha512 };

// "SHA1", "SHA256", "SHA384", "SHA512" (as written in encryption
// descriptors, any case); nothing for another name.
std::optional<HashKind> HashByName(std::string_view name);
size_t HashSize(HashKind kind);

// The digest of the parts, one after the other.
Bytes Hash(HashKind kind, std::initializer_list<ByteView> parts);

// Runs `iterations` rounds of H = hash(LE32(i) + H), from i = 0: the
// password stretching of the AES schemes. One digest context serves every
// round, so a large count costs only the hashing.
Bytes StretchHash(HashKind kind, Bytes start, uint32_t iterations);

// True when RC4 can be had (built into libcrypto, or its legacy provider
// installed).
bool Rc4Available();
// XORs `data` in place with the RC4 stream of `key` (1 to 256 bytes).
bool Rc4(ByteView key, uint8_t* data, size_t size);

// AES-CBC decryption without padding, in place; `size` must be a multiple of
// 16 and the key 16, 24 or 32 bytes.
bool AesCbcDecrypt(ByteView key, ByteView iv, uint8_t* data, size_t size);
// The counterpart, for building encrypted test files.
bool AesCbcEncrypt(ByteView key, ByteView iv, uint8_t* data, size_t size);

// AES-ECB, the same way: each 16-byte block on its own.
bool AesEcbDecrypt(ByteView key, uint8_t* data, size_t size);
bool AesEcbEncrypt(ByteView key, uint8_t* data, size_t size);

// Standard base64 (whitespace ignored); nothing when the text is not base64.
std::optional<Bytes> DecodeBase64(std::string_view text);

// UTF-8 text as UTF-16LE bytes: passwords are hashed in that form. Invalid
// UTF-8 sequences become U+FFFD.
Bytes Utf16Le(std::string_view utf8);

inline ByteView View(const Bytes& bytes) { return ByteView(bytes.data(), bytes.size()); }

}  // namespace mendora::crypto

#endif  // MENDORA_READER_CRYPTO_LIBRARY_H_
