// Agile AES encryption as the descriptor describes it, done here: no sample
// file uses it, so tests encrypt pages, or a whole plain file, themselves.
#ifndef MENDORA_TESTS_SUPPORT_AGILE_FILE_H_
#define MENDORA_TESTS_SUPPORT_AGILE_FILE_H_

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "reader/crypto_library.h"
#include "reader/page_cipher.h"

namespace mendora::testing {

using crypto::Bytes;

inline std::string Base64(const Bytes& bytes) {
  std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), bytes.data(),
                                     static_cast<int>(bytes.size()));
  text.resize(static_cast<size_t>(length));
  return text;
}

inline Bytes Fit(Bytes bytes, size_t size) {
  bytes.resize(size, 0x36);
  return bytes;
}

inline Bytes Encrypt(const Bytes& key, const Bytes& iv, Bytes data) {
  EXPECT_TRUE(crypto::AesCbcEncrypt(crypto::View(key), crypto::View(Fit(iv, 16)), data.data(), data.size()));
  return data;
}

struct AgileFile {
  static constexpr uint32_t kEncodingKey = 0x5A17C0DE;
  Bytes secret = Bytes(32, 0x42);
  Bytes data_salt = Bytes(16, 0x07);
  Bytes password_salt = Bytes(16, 0x99);
  Bytes page0 = Bytes(4096, 0);
  std::string xml;

  AgileFile(const std::string& password, uint32_t spin_count, const std::string& cipher = "AES") {
    using crypto::HashKind;
    const Bytes stretched = crypto::StretchHash(
        HashKind::kSha512,
        crypto::Hash(HashKind::kSha512, {crypto::View(password_salt), crypto::View(crypto::Utf16Le(password))}),
        spin_count);
    auto key = [&](Bytes block) {
      return Fit(crypto::Hash(HashKind::kSha512, {crypto::View(stretched), crypto::View(block)}), 32);
    };
    const Bytes verifier(16, 0xAB);
    const Bytes verifier_hash = crypto::Hash(HashKind::kSha512, {crypto::View(verifier)});
    const std::string common = "cipherAlgorithm=\"" + cipher +
                               "\" cipherChaining=\"ChainingModeCBC\" hashAlgorithm=\"SHA512\" keyBits=\"256\" "
                               "blockSize=\"16\" hashSize=\"64\" saltSize=\"16\" ";
    xml = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
          "<encryption xmlns=\"http://schemas.microsoft.com/office/2006/encryption\" "
          "xmlns:p=\"http://schemas.microsoft.com/office/2006/keyEncryptor/password\">"
          "<keyData " + common + "saltValue=\"" + Base64(data_salt) + "\"/>"
          "<keyEncryptors><keyEncryptor uri=\"http://schemas.microsoft.com/office/2006/keyEncryptor/password\">"
          "<p:encryptedKey spinCount=\"" + std::to_string(spin_count) + "\" " + common +
          "saltValue=\"" + Base64(password_salt) + "\" encryptedVerifierHashInput=\"" +
          Base64(Encrypt(key({0xFE, 0xA7, 0xD2, 0x76, 0x3B, 0x4B, 0x9E, 0x79}), password_salt, verifier)) +
          "\" encryptedVerifierHashValue=\"" +
          Base64(Encrypt(key({0xD7, 0xAA, 0x0F, 0x6D, 0x30, 0x61, 0x34, 0x4E}), password_salt, verifier_hash)) +
          "\" encryptedKeyValue=\"" +
          Base64(Encrypt(key({0x14, 0x6E, 0x0B, 0xE7, 0xAB, 0xAC, 0xD0, 0xD6}), password_salt, secret)) +
          "\"/></keyEncryptor></keyEncryptors></encryption>";
    Lay(xml);
  }

  // Page 0: version 3, the masked encoding key, then the 4.4 header.
  void Lay(const std::string& descriptor) {
    std::fill(page0.begin(), page0.end(), 0);
    page0[0x14] = 3;
    Bytes masked(0x42 - 0x18, 0);
    for (int i = 0; i < 4; ++i) masked[0x3E - 0x18 + i] = static_cast<uint8_t>(kEncodingKey >> (8 * i));
    const uint8_t mask_key[] = {0xC7, 0xDA, 0x39, 0x6B};
    crypto::Rc4(ByteView(mask_key, 4), masked.data(), masked.size());
    std::copy(masked.begin(), masked.end(), page0.begin() + 0x18);
    const size_t length = 8 + descriptor.size();
    page0[0x299] = static_cast<uint8_t>(length);
    page0[0x29A] = static_cast<uint8_t>(length >> 8);
    const uint8_t version[] = {4, 0, 4, 0, 0x40, 0, 0, 0};
    std::copy(std::begin(version), std::end(version), page0.begin() + 0x29B);
    std::copy(descriptor.begin(), descriptor.end(), page0.begin() + 0x29B + 8);
  }

  Bytes EncryptPage(uint32_t n, Bytes plain) const {
    const uint32_t block = n ^ kEncodingKey;
    const uint8_t counter[] = {static_cast<uint8_t>(block), static_cast<uint8_t>(block >> 8),
                               static_cast<uint8_t>(block >> 16), static_cast<uint8_t>(block >> 24)};
    const Bytes iv = crypto::Hash(crypto::HashKind::kSha512, {crypto::View(data_salt), ByteView(counter, 4)});
    return Encrypt(secret, iv, std::move(plain));
  }

  PageCipherSetup Detect(const std::optional<std::string>& password) const {
    return DetectPageCipher(crypto::View(page0), password);
  }

  // A whole Access 2007+ file encrypted this way: `plain`'s page 0 with the
  // encoding key and the descriptor of this file, every other page
  // encrypted (blank ones left blank, as Access leaves them).
  Bytes EncryptFile(const Bytes& plain) const {
    Bytes file = plain;
    EXPECT_GE(file.size(), 4096u);
    std::optional<Bytes> header = UnmaskedHeader(ByteView(file.data(), 4096), 0x42);
    EXPECT_TRUE(header.has_value());
    if (!header) return file;
    for (int i = 0; i < 4; ++i) (*header)[0x3E + i] = static_cast<uint8_t>(kEncodingKey >> (8 * i));
    const uint8_t mask_key[] = {0xC7, 0xDA, 0x39, 0x6B};
    crypto::Rc4(ByteView(mask_key, 4), header->data() + 0x18, 0x42 - 0x18);
    std::copy(header->begin() + 0x18, header->end(), file.begin() + 0x18);
    // The length and the header as last laid.
    const size_t length = page0[0x299] | page0[0x29A] << 8;
    std::copy(page0.begin() + 0x299, page0.begin() + 0x29B + static_cast<std::ptrdiff_t>(length), file.begin() + 0x299);
    for (size_t n = 1; n < file.size() / 4096; ++n) {
      const auto page = file.begin() + static_cast<std::ptrdiff_t>(n * 4096);
      if (std::all_of(page, page + 4096, [](uint8_t b) { return b == 0; })) continue;
      const Bytes encrypted = EncryptPage(static_cast<uint32_t>(n), Bytes(page, page + 4096));
      std::copy(encrypted.begin(), encrypted.end(), page);
    }
    return file;
  }
};

}  // namespace mendora::testing

#endif  // MENDORA_TESTS_SUPPORT_AGILE_FILE_H_
