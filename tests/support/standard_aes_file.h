// Standard AES encryption of an Access 2007+ file, done here: no sample
// file uses it, so tests encrypt a plain file themselves, with the binary
// header, the SHA-1 key derivation and AES-ECB pages.
#ifndef MENDORA_TESTS_SUPPORT_STANDARD_AES_FILE_H_
#define MENDORA_TESTS_SUPPORT_STANDARD_AES_FILE_H_

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "reader/crypto_library.h"
#include "reader/page_cipher.h"

namespace mendora::testing {

struct StandardAesFile {
  static constexpr uint32_t kEncodingKey = 0x3C0FFEE5;
  using Bytes = crypto::Bytes;

  uint32_t key_bits;
  bool per_page_key;  // page n keyed as block n XOR the encoding key, else all as block 0
  Bytes salt = Bytes(16, 0x5A);
  Bytes stretched;
  Bytes header;  // the length-prefixed header as laid at 0x299

  StandardAesFile(const std::string& password, uint32_t bits, bool per_page)
      : key_bits(bits), per_page_key(per_page) {
    using crypto::HashKind;
    stretched = crypto::StretchHash(
        HashKind::kSha1, crypto::Hash(HashKind::kSha1, {crypto::View(salt), crypto::View(crypto::Utf16Le(password))}),
        50'000);
    Bytes info;
    auto u16 = [&](uint16_t v) { info.push_back(static_cast<uint8_t>(v)), info.push_back(static_cast<uint8_t>(v >> 8)); };
    auto u32 = [&](uint32_t v) { u16(static_cast<uint16_t>(v)), u16(static_cast<uint16_t>(v >> 16)); };
    const std::string provider = "Microsoft Enhanced RSA and AES Cryptographic Provider";
    const uint32_t algorithm = bits == 128 ? 0x660E : bits == 192 ? 0x660F : 0x6610;
    u16(4), u16(2), u32(0x24);
    u32(32 + 2 * static_cast<uint32_t>(provider.size() + 1));
    u32(0x24), u32(0), u32(algorithm), u32(0x8004), u32(bits), u32(0x18), u32(0), u32(0);
    for (const char c : provider) u16(static_cast<uint8_t>(c));
    u16(0);
    u32(16);
    info.insert(info.end(), salt.begin(), salt.end());
    Bytes verifier(16);
    for (size_t i = 0; i < verifier.size(); ++i) verifier[i] = static_cast<uint8_t>(0x10 + 3 * i);
    Bytes verifier_hash = crypto::Hash(HashKind::kSha1, {crypto::View(verifier)});
    verifier_hash.resize(32, 0);
    const Bytes key = BlockKey(0);
    EXPECT_TRUE(crypto::AesEcbEncrypt(crypto::View(key), verifier.data(), verifier.size()));
    EXPECT_TRUE(crypto::AesEcbEncrypt(crypto::View(key), verifier_hash.data(), verifier_hash.size()));
    info.insert(info.end(), verifier.begin(), verifier.end());
    u32(20);
    info.insert(info.end(), verifier_hash.begin(), verifier_hash.end());
    header = {static_cast<uint8_t>(info.size()), static_cast<uint8_t>(info.size() >> 8)};
    header.insert(header.end(), info.begin(), info.end());
  }

  // The key derivation of the CryptoAPI: SHA-1(H + LE32(block)) through the
  // 0x36 and 0x5C pads.
  Bytes BlockKey(uint32_t block) const {
    const uint8_t counter[] = {static_cast<uint8_t>(block), static_cast<uint8_t>(block >> 8),
                               static_cast<uint8_t>(block >> 16), static_cast<uint8_t>(block >> 24)};
    const Bytes final_hash = crypto::Hash(crypto::HashKind::kSha1, {crypto::View(stretched), ByteView(counter, 4)});
    Bytes key;
    for (const uint8_t pad : {uint8_t{0x36}, uint8_t{0x5C}}) {
      Bytes buffer(64, pad);
      for (size_t i = 0; i < 20; ++i) buffer[i] ^= final_hash[i];
      const Bytes half = crypto::Hash(crypto::HashKind::kSha1, {crypto::View(buffer)});
      key.insert(key.end(), half.begin(), half.end());
    }
    key.resize(key_bits / 8);
    return key;
  }

  // `plain` (an Access 2007+ file) with this header and encoding key in page
  // 0 and every other page encrypted (blank ones left blank).
  Bytes EncryptFile(const Bytes& plain) const {
    Bytes file = plain;
    EXPECT_GE(file.size(), 4096u);
    std::optional<Bytes> unmasked = UnmaskedHeader(ByteView(file.data(), 4096), 0x42);
    EXPECT_TRUE(unmasked.has_value());
    if (!unmasked) return file;
    for (int i = 0; i < 4; ++i) (*unmasked)[0x3E + i] = static_cast<uint8_t>(kEncodingKey >> (8 * i));
    const uint8_t mask_key[] = {0xC7, 0xDA, 0x39, 0x6B};
    crypto::Rc4(ByteView(mask_key, 4), unmasked->data() + 0x18, 0x42 - 0x18);
    std::copy(unmasked->begin() + 0x18, unmasked->end(), file.begin() + 0x18);
    std::copy(header.begin(), header.end(), file.begin() + 0x299);
    for (size_t n = 1; n < file.size() / 4096; ++n) {
      uint8_t* page = file.data() + n * 4096;
      if (std::all_of(page, page + 4096, [](uint8_t b) { return b == 0; })) continue;
      const Bytes key = BlockKey(per_page_key ? static_cast<uint32_t>(n) ^ kEncodingKey : 0);
      EXPECT_TRUE(crypto::AesEcbEncrypt(crypto::View(key), page, 4096));
    }
    return file;
  }
};

}  // namespace mendora::testing

#endif  // MENDORA_TESTS_SUPPORT_STANDARD_AES_FILE_H_
