// Access 2007+ password encryption: CryptoAPI RC4, standard AES and agile AES.
#include "reader/ace_encryption.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>
#include <mutex>
#include <string_view>
#include <variant>

#include "reader/byte_cursor.h"
#include "reader/crypto_library.h"

namespace mendora::ace {

namespace {

using crypto::Bytes;
using crypto::HashKind;
using crypto::View;

// Header flags of the binary (non-XML) encryption header.
constexpr uint32_t kFlagCryptoApi = 0x04;
constexpr uint32_t kFlagExternal = 0x10;
constexpr uint32_t kFlagAes = 0x20;
constexpr uint32_t kAlgorithmRc4 = 0x6801;
constexpr uint32_t kAlgorithmAes128 = 0x660E;
constexpr uint32_t kAlgorithmAes256 = 0x6610;
constexpr uint32_t kHashSha1 = 0x8004;

std::array<uint8_t, 4> Le32(uint32_t value) {
  return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
          static_cast<uint8_t>(value >> 24)};
}

// Truncated, or padded with `pad`, to `size` bytes: how keys and vectors are
// fitted to the cipher.
Bytes Fit(Bytes bytes, size_t size, uint8_t pad) {
  bytes.resize(size, pad);
  return bytes;
}

PageCipherSetup Refused(EncryptionStatus status, EncryptionScheme scheme, std::string detail) {
  PageCipherSetup setup;
  setup.status = status;
  setup.scheme = scheme;
  setup.detail = std::move(detail);
  return setup;
}

// A password check that failed, or could not be made, with the keys the
// password gives all the same: the check block may be what is damaged, and
// the pages can tell (see AttachPageCipher).
PageCipherSetup Unchecked(EncryptionStatus status, EncryptionScheme scheme, std::string detail,
                          std::shared_ptr<const PageCipher> keys) {
  PageCipherSetup setup = Refused(status, scheme, std::move(detail));
  setup.unchecked = std::move(keys);
  return setup;
}

// ---- RC4 through the CryptoAPI (Access 2007) ----

class Rc4CryptoApiCipher final : public PageCipher {
 public:
  Rc4CryptoApiCipher(Bytes password_hash, size_t key_bytes, uint32_t encoding_key)
      : password_hash_(std::move(password_hash)), key_bytes_(key_bytes), encoding_key_(encoding_key) {}

  EncryptionScheme scheme() const override { return EncryptionScheme::kRc4CryptoApi; }

  // The key of block b: SHA-1(H0 + LE32(b)), cut to the key size; the
  // CryptoAPI pads a 40-bit key with zeros to 128 bits.
  Bytes BlockKey(uint32_t block) const {
    const auto counter = Le32(block);
    Bytes key = crypto::Hash(HashKind::kSha1, {View(password_hash_), ByteView(counter.data(), counter.size())});
    if (key.empty()) return key;
    key.resize(key_bytes_);
    if (key_bytes_ == 5) key.resize(16, 0);
    return key;
  }

 protected:
  bool Decrypt(uint32_t page_number, std::span<uint8_t> page) const override {
    // Page n is block n XOR the encoding key (found on the samples).
    const Bytes key = BlockKey(page_number ^ encoding_key_);
    return !key.empty() && crypto::Rc4(View(key), page.data(), page.size());
  }

 private:
  Bytes password_hash_;  // H0 = SHA-1(salt + password)
  size_t key_bytes_;
  uint32_t encoding_key_;
};

// ---- Standard AES (the binary header with AES, Access 2007 and later) ----

// The password is stretched once, with SHA-1 over a fixed count of rounds;
// each key is then made from that hash and a block number.
constexpr uint32_t kStandardSpinCount = 50'000;

// The key of block b: SHA-1(H + LE32(b)) widened through the two pads of
// the CryptoAPI's key derivation and cut to the key size.
Bytes StandardBlockKey(const Bytes& stretched, uint32_t block, size_t key_bytes) {
  const auto counter = Le32(block);
  const Bytes final_hash = crypto::Hash(HashKind::kSha1, {View(stretched), ByteView(counter.data(), counter.size())});
  if (final_hash.size() != 20) return {};
  Bytes key;
  for (const uint8_t pad : {uint8_t{0x36}, uint8_t{0x5C}}) {
    Bytes buffer(64, pad);
    for (size_t i = 0; i < final_hash.size(); ++i) buffer[i] ^= final_hash[i];
    const Bytes half = crypto::Hash(HashKind::kSha1, {View(buffer)});
    key.insert(key.end(), half.begin(), half.end());
  }
  if (key.size() < key_bytes) return {};
  key.resize(key_bytes);
  return key;
}

class StandardAesCipher final : public PageCipher {
 public:
  // With `per_page_key`, page n is keyed as block n XOR the encoding key
  // (as RC4 keys its pages); without, every page takes the key of block 0.
  StandardAesCipher(Bytes stretched, size_t key_bytes, uint32_t encoding_key, bool per_page_key)
      : stretched_(std::move(stretched)),
        key_bytes_(key_bytes),
        encoding_key_(encoding_key),
        per_page_key_(per_page_key),
        block0_key_(StandardBlockKey(stretched_, 0, key_bytes)) {}

  EncryptionScheme scheme() const override { return EncryptionScheme::kStandardAes; }
  const Bytes& block0_key() const { return block0_key_; }

 protected:
  bool Decrypt(uint32_t page_number, std::span<uint8_t> page) const override {
    const Bytes key = per_page_key_ ? StandardBlockKey(stretched_, page_number ^ encoding_key_, key_bytes_) : block0_key_;
    if (key.empty()) return false;
    const size_t whole = page.size() / 16 * 16;
    // A partial block at the end of a truncated file cannot be decrypted.
    std::fill(page.begin() + static_cast<std::ptrdiff_t>(whole), page.end(), 0);
    return crypto::AesEcbDecrypt(View(key), page.data(), whole);
  }

 private:
  Bytes stretched_;
  size_t key_bytes_;
  uint32_t encoding_key_;
  bool per_page_key_;
  Bytes block0_key_;
};

PageCipherSetup OpenStandardAes(ByteView info, uint32_t header_size, uint32_t algorithm, uint32_t hash,
                                uint32_t key_bits, uint32_t encoding_key, const std::optional<std::string>& password) {
  const EncryptionScheme scheme = EncryptionScheme::kStandardAes;
  if (hash != 0 && hash != kHashSha1) {
    return Refused(EncryptionStatus::kUnsupportedScheme, scheme, "hash algorithm " + std::to_string(hash));
  }
  // The algorithm names the key size; a key size of 0 takes it from there.
  const uint32_t named_bits = algorithm == kAlgorithmAes128   ? 128
                              : algorithm == kAlgorithmAes128 + 1 ? 192
                              : algorithm == kAlgorithmAes256   ? 256
                                                                : 0;
  if (key_bits == 0) key_bits = named_bits;
  if ((key_bits != 128 && key_bits != 192 && key_bits != 256) || (named_bits != 0 && named_bits != key_bits)) {
    return Refused(EncryptionStatus::kDamagedDescriptor, scheme, "AES key size " + std::to_string(key_bits));
  }
  // The verifier: salt, a random block, and its SHA-1 padded to two blocks,
  // both encrypted.
  const size_t at = 12 + header_size;
  const auto salt_size = info.U32(at);
  const auto salt = info.Sub(at + 4, 16);
  const auto verifier = info.Sub(at + 20, 16);
  const auto verifier_hash_size = info.U32(at + 36);
  const auto verifier_hash = info.Sub(at + 40, 32);
  if (!salt) return Refused(EncryptionStatus::kDamagedDescriptor, scheme, "password salt unreadable");
  if (!password) return Refused(EncryptionStatus::kNeedsPassword, scheme, "");

  const Bytes password_utf16 = crypto::Utf16Le(*password);
  const Bytes stretched = crypto::StretchHash(
      HashKind::kSha1, crypto::Hash(HashKind::kSha1, {*salt, View(password_utf16)}), kStandardSpinCount);
  if (stretched.size() != 20) return Refused(EncryptionStatus::kUnsupportedScheme, scheme, "SHA-1 failed");
  auto cipher = std::make_shared<StandardAesCipher>(stretched, key_bits / 8, encoding_key, true);
  PageCipherSetup setup;
  // No sample shows which key the pages take: the catalog decides.
  setup.alternative = std::make_shared<StandardAesCipher>(stretched, key_bits / 8, encoding_key, false);
  if (!salt_size || *salt_size != 16 || !verifier || !verifier_hash_size || *verifier_hash_size != 20 ||
      !verifier_hash) {
    setup.status = EncryptionStatus::kDamagedDescriptor;
    setup.scheme = scheme;
    setup.detail = "password verifier unreadable";
    setup.unchecked = std::move(cipher);
    return setup;
  }
  const Bytes& key = cipher->block0_key();
  uint8_t check[16 + 32];
  std::memcpy(check, verifier->data(), 16);
  std::memcpy(check + 16, verifier_hash->data(), 32);
  if (key.empty() || !crypto::AesEcbDecrypt(View(key), check, sizeof check)) {
    return Refused(EncryptionStatus::kUnsupportedScheme, scheme, "AES failed");
  }
  const Bytes digest = crypto::Hash(HashKind::kSha1, {ByteView(check, 16)});
  setup.scheme = scheme;
  if (digest.size() != 20 || !std::equal(digest.begin(), digest.end(), check + 16)) {
    setup.status = EncryptionStatus::kWrongPassword;
    setup.unchecked = std::move(cipher);
    return setup;
  }
  setup.status = EncryptionStatus::kReady;
  setup.cipher = std::move(cipher);
  return setup;
}

PageCipherSetup OpenCryptoApi(ByteView info, uint32_t encoding_key, const std::optional<std::string>& password) {
  const EncryptionScheme scheme = EncryptionScheme::kRc4CryptoApi;
  const auto flags = info.U32(4);
  const auto header_size = info.U32(8);
  if (!flags || !header_size) return Refused(EncryptionStatus::kDamagedDescriptor, scheme, "short encryption header");
  const auto header = info.Sub(12, *header_size);
  if (!header || *header_size < 32) {
    return Refused(EncryptionStatus::kDamagedDescriptor, scheme, "encryption header size out of range");
  }
  ByteCursor fields(*header);
  const uint32_t algorithm = fields.U32At(8);
  const uint32_t hash = fields.U32At(12);
  uint32_t key_bits = fields.U32At(16);
  if ((*flags & kFlagExternal) != 0) {
    return Refused(EncryptionStatus::kUnsupportedScheme, EncryptionScheme::kUnknown, "externally keyed encryption");
  }
  if ((*flags & kFlagAes) != 0 || (algorithm >= kAlgorithmAes128 && algorithm <= kAlgorithmAes256)) {
    return OpenStandardAes(info, *header_size, algorithm, hash, key_bits, encoding_key, password);
  }
  if ((*flags & kFlagCryptoApi) == 0 || (algorithm != 0 && algorithm != kAlgorithmRc4) ||
      (hash != 0 && hash != kHashSha1)) {
    return Refused(EncryptionStatus::kUnsupportedScheme, EncryptionScheme::kUnknown,
                   "encryption algorithm " + std::to_string(algorithm));
  }
  if (key_bits == 0) key_bits = 40;  // the CryptoAPI default for RC4
  if (key_bits < 40 || key_bits > 128 || key_bits % 8 != 0) {
    return Refused(EncryptionStatus::kDamagedDescriptor, scheme, "RC4 key size " + std::to_string(key_bits));
  }

  // The verifier: salt, then a random block and its SHA-1, both encrypted.
  const size_t at = 12 + *header_size;
  const auto salt_size = info.U32(at);
  const auto salt = info.Sub(at + 4, 16);
  const auto verifier = info.Sub(at + 20, 16);
  const auto verifier_hash_size = info.U32(at + 36);
  const auto verifier_hash = info.Sub(at + 40, 20);
  // Without the salt there is no key; without the rest, only no check.
  if (!salt) return Refused(EncryptionStatus::kDamagedDescriptor, scheme, "password salt unreadable");
  if (!crypto::Rc4Available()) {
    return Refused(EncryptionStatus::kUnsupportedScheme, scheme, "RC4 is not available (OpenSSL legacy provider)");
  }
  if (!password) return Refused(EncryptionStatus::kNeedsPassword, scheme, "");

  const Bytes password_utf16 = crypto::Utf16Le(*password);
  Bytes h0 = crypto::Hash(HashKind::kSha1, {*salt, View(password_utf16)});
  auto cipher = std::make_shared<Rc4CryptoApiCipher>(std::move(h0), key_bits / 8, encoding_key);
  if (!salt_size || *salt_size != 16 || !verifier || !verifier_hash_size || *verifier_hash_size != 20 ||
      !verifier_hash) {
    return Unchecked(EncryptionStatus::kDamagedDescriptor, scheme, "password verifier unreadable", std::move(cipher));
  }
  // The verifier is block 0 whatever the encoding key.
  const Bytes key = cipher->BlockKey(0);
  uint8_t check[36];
  std::memcpy(check, verifier->data(), 16);
  std::memcpy(check + 16, verifier_hash->data(), 20);
  if (key.empty() || !crypto::Rc4(View(key), check, sizeof check)) {
    return Refused(EncryptionStatus::kUnsupportedScheme, scheme, "RC4 failed");
  }
  const Bytes digest = crypto::Hash(HashKind::kSha1, {ByteView(check, 16)});
  if (digest.size() != 20 || !std::equal(digest.begin(), digest.end(), check + 16)) {
    return Unchecked(EncryptionStatus::kWrongPassword, scheme, "", std::move(cipher));
  }
  PageCipherSetup setup;
  setup.status = EncryptionStatus::kReady;
  setup.scheme = scheme;
  setup.cipher = std::move(cipher);
  return setup;
}

// ---- Agile AES (Access 2010 and later) ----

class AgileCipher final : public PageCipher {
 public:
  AgileCipher(Bytes key, Bytes salt, HashKind hash, uint32_t encoding_key)
      : key_(std::move(key)), salt_(std::move(salt)), hash_(hash), encoding_key_(encoding_key) {}

  EncryptionScheme scheme() const override { return EncryptionScheme::kAgileAes; }

 protected:
  bool Decrypt(uint32_t page_number, std::span<uint8_t> page) const override {
    // The page's vector: hash(key-data salt + LE32(block)) fitted to the
    // AES block, with the block numbered as for RC4 (page XOR encoding key).
    const auto counter = Le32(page_number ^ encoding_key_);
    Bytes iv = crypto::Hash(hash_, {View(salt_), ByteView(counter.data(), counter.size())});
    if (iv.empty()) return false;
    iv = Fit(std::move(iv), 16, 0x36);
    const size_t whole = page.size() / 16 * 16;
    // A partial block at the end of a truncated file cannot be decrypted.
    std::fill(page.begin() + static_cast<std::ptrdiff_t>(whole), page.end(), 0);
    return crypto::AesCbcDecrypt(View(key_), View(iv), page.data(), whole);
  }

 private:
  Bytes key_;
  Bytes salt_;
  HashKind hash_;
  uint32_t encoding_key_;
};

struct XmlDocFree {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};

std::optional<std::string> Attribute(xmlNode* node, const char* name) {
  xmlChar* value = xmlGetNoNsProp(node, reinterpret_cast<const xmlChar*>(name));
  if (value == nullptr) return std::nullopt;
  std::string text(reinterpret_cast<const char*>(value));
  xmlFree(value);
  return text;
}

bool Named(const xmlNode* node, const char* name) {
  return node->type == XML_ELEMENT_NODE && std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0;
}

// The attributes both <keyData> and the password's <encryptedKey> carry.
struct CipherParams {
  HashKind hash = HashKind::kSha512;
  uint32_t key_bits = 0;
  Bytes salt;
};

// "" when the element's cipher parameters are usable, else why not; sets
// `unsupported` when the reason is a scheme rather than damage.
std::string ReadCipherParams(xmlNode* node, CipherParams& params, bool& unsupported) {
  auto number = [node](const char* name) -> std::optional<uint32_t> {
    const std::optional<std::string> text = Attribute(node, name);
    uint32_t value = 0;
    if (!text || text->empty()) return std::nullopt;
    const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (error != std::errc() || end != text->data() + text->size()) return std::nullopt;
    return value;
  };
  const auto cipher = Attribute(node, "cipherAlgorithm");
  const auto chaining = Attribute(node, "cipherChaining");
  const auto hash_name = Attribute(node, "hashAlgorithm");
  const auto salt_text = Attribute(node, "saltValue");
  const auto key_bits = number("keyBits");
  const auto block_size = number("blockSize");
  const auto hash_size = number("hashSize");
  const auto salt_size = number("saltSize");
  if (!cipher || !chaining || !hash_name || !salt_text || !key_bits || !block_size || !hash_size) {
    return "missing attribute";
  }
  unsupported = true;
  if (*cipher != "AES") return "cipher " + *cipher;
  if (*chaining != "ChainingModeCBC") return "chaining " + *chaining;
  const std::optional<HashKind> hash = crypto::HashByName(*hash_name);
  if (!hash) return "hash " + *hash_name;
  unsupported = false;
  if (*key_bits != 128 && *key_bits != 192 && *key_bits != 256) return "key size";
  if (*block_size != 16) return "block size";
  if (*hash_size != crypto::HashSize(*hash)) return "hash size";
  std::optional<Bytes> salt = crypto::DecodeBase64(*salt_text);
  if (!salt || salt->empty() || (salt_size && *salt_size != salt->size())) return "salt";
  params.hash = *hash;
  params.key_bits = *key_bits;
  params.salt = std::move(*salt);
  return "";
}

std::optional<Bytes> Base64Attribute(xmlNode* node, const char* name) {
  const std::optional<std::string> text = Attribute(node, name);
  if (!text) return std::nullopt;
  std::optional<Bytes> bytes = crypto::DecodeBase64(*text);
  // Every encrypted value is whole AES blocks.
  if (!bytes || bytes->empty() || bytes->size() % 16 != 0) return std::nullopt;
  return bytes;
}

// What an agile descriptor gives: the parameters of the data key and of the
// password's key, the password's spin count and its encrypted values.
struct AgileDescriptor {
  CipherParams data_params, password_params;
  uint32_t spin_count = 0;
  Bytes key_value;
  std::optional<Bytes> verifier_input, verifier_value;
};

// The descriptor read from its XML, or the refusal (damaged, a scheme
// Mendora lacks) that says why it cannot be used.
std::variant<AgileDescriptor, PageCipherSetup> ReadAgileDescriptor(ByteView xml) {
  const EncryptionScheme scheme = EncryptionScheme::kAgileAes;
  auto damaged = [scheme](const std::string& why) {
    return Refused(EncryptionStatus::kDamagedDescriptor, scheme, "encryption descriptor: " + why);
  };
  // Whatever follows the closing '>' (padding, a terminator) is no XML.
  const size_t length = ByteCursor(xml).EndAfterLast('>');
  if (length == 0) return damaged("no XML");

  static std::once_flag init;
  std::call_once(init, [] { xmlInitParser(); });
  // No network, no entity substitution, no error printing: the descriptor
  // is untrusted input.
  std::unique_ptr<xmlDoc, XmlDocFree> doc(xmlReadMemory(reinterpret_cast<const char*>(xml.data()),
                                                        static_cast<int>(length), "descriptor.xml", nullptr,
                                                        XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
  if (!doc) return damaged("not well-formed");
  // A document type could declare entities; no real descriptor has one.
  if (doc->intSubset != nullptr || doc->extSubset != nullptr) return damaged("document type declared");
  xmlNode* root = xmlDocGetRootElement(doc.get());
  if (root == nullptr || !Named(root, "encryption")) return damaged("no <encryption> element");

  xmlNode* key_data = nullptr;
  xmlNode* password_key = nullptr;
  for (xmlNode* child = root->children; child != nullptr; child = child->next) {
    if (Named(child, "keyData") && key_data == nullptr) key_data = child;
    if (!Named(child, "keyEncryptors")) continue;
    for (xmlNode* encryptor = child->children; encryptor != nullptr; encryptor = encryptor->next) {
      if (!Named(encryptor, "keyEncryptor")) continue;
      for (xmlNode* key = encryptor->children; key != nullptr; key = key->next) {
        // The password's key is the one stretched with a spin count; a
        // certificate's key has none.
        if (Named(key, "encryptedKey") && password_key == nullptr && Attribute(key, "spinCount")) password_key = key;
      }
    }
  }
  if (key_data == nullptr) return damaged("no <keyData>");
  if (password_key == nullptr) {
    return Refused(EncryptionStatus::kUnsupportedScheme, scheme, "no password key (certificate encryption?)");
  }
  AgileDescriptor out;
  bool unsupported = false;
  for (auto [node, params] : {std::pair{key_data, &out.data_params}, std::pair{password_key, &out.password_params}}) {
    const std::string why = ReadCipherParams(node, *params, unsupported);
    if (unsupported) return Refused(EncryptionStatus::kUnsupportedScheme, scheme, why);
    if (!why.empty()) return damaged(why);
  }
  const std::optional<std::string> spin_text = Attribute(password_key, "spinCount");
  if (const auto [end, error] =
          std::from_chars(spin_text->data(), spin_text->data() + spin_text->size(), out.spin_count);
      error != std::errc() || end != spin_text->data() + spin_text->size() || out.spin_count > kMaxSpinCount) {
    return damaged("spin count " + *spin_text);
  }
  out.verifier_input = Base64Attribute(password_key, "encryptedVerifierHashInput");
  out.verifier_value = Base64Attribute(password_key, "encryptedVerifierHashValue");
  std::optional<Bytes> key_value = Base64Attribute(password_key, "encryptedKeyValue");
  if (!key_value || key_value->size() < out.data_params.key_bits / 8) return damaged("encrypted key");
  out.key_value = std::move(*key_value);
  return out;
}

// The page cipher the password opens, checked against the descriptor's
// verifier where it can be read.
PageCipherSetup DeriveAgileKey(AgileDescriptor descriptor, uint32_t encoding_key, const std::string& password) {
  const EncryptionScheme scheme = EncryptionScheme::kAgileAes;
  const CipherParams& password_params = descriptor.password_params;
  CipherParams& data_params = descriptor.data_params;
  const std::optional<Bytes>& verifier_input = descriptor.verifier_input;
  const std::optional<Bytes>& verifier_value = descriptor.verifier_value;
  const size_t hash_size = crypto::HashSize(password_params.hash);
  // Without the verifier the key can still be had, only not checked.
  const bool verifier_readable = verifier_input && verifier_value &&
                                 verifier_input->size() >= password_params.salt.size() &&
                                 verifier_value->size() >= hash_size;

  // Stretch the password, then one key per purpose, each from its own
  // fixed block key.
  const Bytes password_utf16 = crypto::Utf16Le(password);
  const Bytes stretched = crypto::StretchHash(
      password_params.hash, crypto::Hash(password_params.hash, {View(password_params.salt), View(password_utf16)}),
      descriptor.spin_count);
  auto purpose_key = [&](std::initializer_list<uint8_t> block_key) {
    const Bytes block(block_key);
    return Fit(crypto::Hash(password_params.hash, {View(stretched), View(block)}), password_params.key_bits / 8, 0x36);
  };
  const Bytes iv = Fit(password_params.salt, 16, 0x36);
  Bytes secret = std::move(descriptor.key_value);
  if (stretched.empty() ||
      !crypto::AesCbcDecrypt(View(purpose_key({0x14, 0x6E, 0x0B, 0xE7, 0xAB, 0xAC, 0xD0, 0xD6})), View(iv),
                             secret.data(), secret.size())) {
    return Refused(EncryptionStatus::kUnsupportedScheme, scheme, "AES failed");
  }
  secret.resize(data_params.key_bits / 8);
  auto cipher = std::make_shared<AgileCipher>(std::move(secret), std::move(data_params.salt), data_params.hash,
                                              encoding_key);
  if (!verifier_readable) {
    return Unchecked(EncryptionStatus::kDamagedDescriptor, scheme, "encryption descriptor: password verifier",
                     std::move(cipher));
  }
  Bytes input = *verifier_input, value = *verifier_value;
  if (!crypto::AesCbcDecrypt(View(purpose_key({0xFE, 0xA7, 0xD2, 0x76, 0x3B, 0x4B, 0x9E, 0x79})), View(iv),
                             input.data(), input.size()) ||
      !crypto::AesCbcDecrypt(View(purpose_key({0xD7, 0xAA, 0x0F, 0x6D, 0x30, 0x61, 0x34, 0x4E})), View(iv),
                             value.data(), value.size())) {
    return Refused(EncryptionStatus::kUnsupportedScheme, scheme, "AES failed");
  }
  const Bytes digest =
      crypto::Hash(password_params.hash, {ByteView(input.data(), password_params.salt.size())});
  if (digest.size() != hash_size || !std::equal(digest.begin(), digest.end(), value.begin())) {
    return Unchecked(EncryptionStatus::kWrongPassword, scheme, "", std::move(cipher));
  }
  PageCipherSetup setup;
  setup.status = EncryptionStatus::kReady;
  setup.scheme = scheme;
  setup.cipher = std::move(cipher);
  return setup;
}

PageCipherSetup OpenAgile(ByteView xml, uint32_t encoding_key, const std::optional<std::string>& password) {
  std::variant<AgileDescriptor, PageCipherSetup> read = ReadAgileDescriptor(xml);
  if (PageCipherSetup* refused = std::get_if<PageCipherSetup>(&read)) return std::move(*refused);
  if (!password) return Refused(EncryptionStatus::kNeedsPassword, EncryptionScheme::kAgileAes, "");
  return DeriveAgileKey(std::get<AgileDescriptor>(std::move(read)), encoding_key, *password);
}

}  // namespace

PageCipherSetup OpenEncryptionHeader(ByteView header, uint32_t encoding_key,
                                     const std::optional<std::string>& password) {
  const auto major = header.U16(0);
  const auto minor = header.U16(2);
  if (!major || !minor) {
    return Refused(EncryptionStatus::kDamagedDescriptor, EncryptionScheme::kUnknown, "short encryption header");
  }
  // 4.4: a reserved word, then the XML descriptor.
  if (*major == 4 && *minor == 4) {
    const auto xml = header.Sub(8, header.size() - std::min<size_t>(8, header.size()));
    if (!xml) return Refused(EncryptionStatus::kDamagedDescriptor, EncryptionScheme::kAgileAes, "short header");
    return OpenAgile(*xml, encoding_key, password);
  }
  // 2.2, 3.2, 4.2: the binary header of RC4 or standard AES.
  if (*major >= 2 && *major <= 4 && *minor == 2) return OpenCryptoApi(header, encoding_key, password);
  return Refused(EncryptionStatus::kUnsupportedScheme, EncryptionScheme::kUnknown,
                 "encryption header version " + std::to_string(*major) + "." + std::to_string(*minor));
}

}  // namespace mendora::ace
