// OpenSSL behind the few calls page decryption makes.
#include "reader/crypto_library.h"

// The low-level RC4 calls are deprecated in OpenSSL 3 but still built into
// libcrypto: they need no provider and no context per key, and per page a
// context costs a good part of decrypting the page.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/evp.h>
#include <openssl/provider.h>
#ifndef OPENSSL_NO_RC4
#include <openssl/rc4.h>
#define MENDORA_LOW_LEVEL_RC4 1
#endif

#include <array>
#include <cctype>
#include <memory>

namespace mendora::crypto {

namespace {

// Algorithms fetched once: fetching per page would cost more than the
// decryption itself.
struct Library {
  OSSL_LIB_CTX* context = nullptr;
  EVP_CIPHER* rc4 = nullptr;
  std::array<EVP_CIPHER*, 3> aes_cbc{};  // 128, 192, 256-bit keys
  std::array<EVP_CIPHER*, 3> aes_ecb{};
  std::array<EVP_MD*, 4> digests{};      // in HashKind order

  Library() {
    context = OSSL_LIB_CTX_new();
    if (context == nullptr) return;
    // A context with only the legacy provider would lose the default
    // algorithms, so both are loaded.
    OSSL_PROVIDER_load(context, "default");
    if (OSSL_PROVIDER_load(context, "legacy") != nullptr) rc4 = EVP_CIPHER_fetch(context, "RC4", nullptr);
    const char* aes_names[] = {"AES-128-CBC", "AES-192-CBC", "AES-256-CBC"};
    for (size_t i = 0; i < aes_cbc.size(); ++i) aes_cbc[i] = EVP_CIPHER_fetch(context, aes_names[i], nullptr);
    const char* ecb_names[] = {"AES-128-ECB", "AES-192-ECB", "AES-256-ECB"};
    for (size_t i = 0; i < aes_ecb.size(); ++i) aes_ecb[i] = EVP_CIPHER_fetch(context, ecb_names[i], nullptr);
    const char* digest_names[] = {"SHA1", "SHA256", "SHA384", "SHA512"};
    for (size_t i = 0; i < digests.size(); ++i) digests[i] = EVP_MD_fetch(context, digest_names[i], nullptr);
  }
};

// Never destroyed: pages may still be read while static objects go away.
const Library& Lib() {
  static const Library* library = new Library();
  return *library;
}

const EVP_MD* Digest(HashKind kind) { return Lib().digests[static_cast<size_t>(kind)]; }

struct CipherContextFree {
  void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
struct DigestContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree>;
using DigestContext = std::unique_ptr<EVP_MD_CTX, DigestContextFree>;

// CBC with a vector, ECB without (`iv` empty).
bool Aes(ByteView key, ByteView iv, uint8_t* data, size_t size, bool encrypt) {
  const bool ecb = iv.size() == 0;
  if (size % 16 != 0 || (!ecb && iv.size() != 16) || size > INT32_MAX) return false;
  const size_t slot = key.size() == 16 ? 0 : key.size() == 24 ? 1 : key.size() == 32 ? 2 : 3;
  if (slot > 2) return false;
  const EVP_CIPHER* cipher = ecb ? Lib().aes_ecb[slot] : Lib().aes_cbc[slot];
  if (cipher == nullptr) return false;
  CipherContext context(EVP_CIPHER_CTX_new());
  if (!context || EVP_CipherInit_ex2(context.get(), cipher, key.data(), ecb ? nullptr : iv.data(), encrypt ? 1 : 0,
                                     nullptr) != 1) {
    return false;
  }
  EVP_CIPHER_CTX_set_padding(context.get(), 0);
  int written = 0;
  return size == 0 || EVP_CipherUpdate(context.get(), data, &written, data, static_cast<int>(size)) == 1;
}

}  // namespace

std::optional<HashKind> HashByName(std::string_view name) {
  std::string upper;
  for (const char c : name) {
    if (c != '-') upper.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  }
  if (upper == "SHA1") return HashKind::kSha1;
  if (upper == "SHA256") return HashKind::kSha256;
  if (upper == "SHA384") return HashKind::kSha384;
  if (upper == "SHA512") return HashKind::kSha512;
  return std::nullopt;
}

size_t HashSize(HashKind kind) {
  switch (kind) {
    case HashKind::kSha1: return 20;
    case HashKind::kSha256: return 32;
    case HashKind::kSha384: return 48;
    case HashKind::kSha512: return 64;
  }
  return 0;
}

Bytes Hash(HashKind kind, std::initializer_list<ByteView> parts) {
  DigestContext context(EVP_MD_CTX_new());
  if (!context || Digest(kind) == nullptr || EVP_DigestInit_ex2(context.get(), Digest(kind), nullptr) != 1) return {};
  for (const ByteView& part : parts) {
    if (part.size() != 0 && EVP_DigestUpdate(context.get(), part.data(), part.size()) != 1) return {};
  }
  Bytes out(HashSize(kind));
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context.get(), out.data(), &length) != 1 || length != out.size()) return {};
  return out;
}

Bytes StretchHash(HashKind kind, Bytes start, uint32_t iterations) {
  DigestContext context(EVP_MD_CTX_new());
  if (!context || Digest(kind) == nullptr || start.size() != HashSize(kind)) return {};
  for (uint32_t i = 0; i < iterations; ++i) {
    const uint8_t counter[4] = {static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i >> 16),
                                static_cast<uint8_t>(i >> 24)};
    unsigned int length = 0;
    if (EVP_DigestInit_ex2(context.get(), Digest(kind), nullptr) != 1 ||
        EVP_DigestUpdate(context.get(), counter, sizeof counter) != 1 ||
        EVP_DigestUpdate(context.get(), start.data(), start.size()) != 1 ||
        EVP_DigestFinal_ex(context.get(), start.data(), &length) != 1) {
      return {};
    }
  }
  return start;
}

bool Rc4Available() {
#ifdef MENDORA_LOW_LEVEL_RC4
  return true;
#else
  return Lib().rc4 != nullptr;
#endif
}

bool Rc4(ByteView key, uint8_t* data, size_t size) {
  if (key.size() == 0 || key.size() > 256) return false;
#ifdef MENDORA_LOW_LEVEL_RC4
  RC4_KEY state;
  RC4_set_key(&state, static_cast<int>(key.size()), key.data());
  RC4(&state, size, data, data);
  return true;
#else
  if (Lib().rc4 == nullptr || size > INT32_MAX) return false;
  CipherContext context(EVP_CIPHER_CTX_new());
  // The key length must be set before the key: RC4 keys here are 4, 5 or 16
  // bytes, not OpenSSL's default of 16.
  if (!context || EVP_CipherInit_ex2(context.get(), Lib().rc4, nullptr, nullptr, 0, nullptr) != 1 ||
      EVP_CIPHER_CTX_set_key_length(context.get(), static_cast<int>(key.size())) != 1 ||
      EVP_CipherInit_ex2(context.get(), nullptr, key.data(), nullptr, 0, nullptr) != 1) {
    return false;
  }
  int written = 0;
  return size == 0 || EVP_CipherUpdate(context.get(), data, &written, data, static_cast<int>(size)) == 1;
#endif
}

bool AesCbcDecrypt(ByteView key, ByteView iv, uint8_t* data, size_t size) {
  return iv.size() == 16 && Aes(key, iv, data, size, false);
}

bool AesCbcEncrypt(ByteView key, ByteView iv, uint8_t* data, size_t size) {
  return iv.size() == 16 && Aes(key, iv, data, size, true);
}

bool AesEcbDecrypt(ByteView key, uint8_t* data, size_t size) { return Aes(key, ByteView(), data, size, false); }

bool AesEcbEncrypt(ByteView key, uint8_t* data, size_t size) { return Aes(key, ByteView(), data, size, true); }

std::optional<Bytes> DecodeBase64(std::string_view text) {
  std::string compact;
  for (const char c : text) {
    if (!std::isspace(static_cast<unsigned char>(c))) compact.push_back(c);
  }
  if (compact.size() % 4 != 0 || compact.size() > INT32_MAX) return std::nullopt;
  Bytes out(compact.size() / 4 * 3);
  const int length = EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(compact.data()),
                                     static_cast<int>(compact.size()));
  if (length < 0) return std::nullopt;
  // The block decoder counts padding as zero bytes.
  size_t padding = 0;
  for (size_t i = compact.size(); i > 0 && padding < 2 && compact[i - 1] == '='; --i) ++padding;
  out.resize(static_cast<size_t>(length) - padding);
  return out;
}

Bytes Utf16Le(std::string_view utf8) {
  Bytes out;
  auto put = [&out](uint32_t unit) {
    out.push_back(static_cast<uint8_t>(unit));
    out.push_back(static_cast<uint8_t>(unit >> 8));
  };
  for (size_t i = 0; i < utf8.size();) {
    const uint8_t lead = static_cast<uint8_t>(utf8[i]);
    const size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    uint32_t code = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
    bool valid = length != 0 && i + length <= utf8.size();
    for (size_t k = 1; valid && k < length; ++k) {
      const uint8_t next = static_cast<uint8_t>(utf8[i + k]);
      valid = (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3F);
    }
    static constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (!valid || code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      put(0xFFFD);
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      put(0xD800 + ((code - 0x10000) >> 10));
      put(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      put(code);
    }
    i += length;
  }
  return out;
}

}  // namespace mendora::crypto
