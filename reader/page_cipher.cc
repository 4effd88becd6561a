// Telling how a file's pages are protected, and the Jet page encoding.
#include "reader/page_cipher.h"

#include <algorithm>
#include <array>

#include "reader/byte_cursor.h"
#include "reader/ace_encryption.h"
#include "reader/crypto_library.h"
#include "reader/jet_format.h"

namespace mendora {

namespace {

// Page 0 from kHeaderEncodedStart on is masked with RC4 under kHeaderKey;
// the encoding key sits inside the masked part.
constexpr size_t kEncodingKeyOffset = 0x3E;

class JetEncodingCipher final : public PageCipher {
 public:
  explicit JetEncodingCipher(uint32_t encoding_key) : encoding_key_(encoding_key) {}
  EncryptionScheme scheme() const override { return EncryptionScheme::kJetEncoding; }

 protected:
  bool Decrypt(uint32_t page_number, std::span<uint8_t> page) const override {
    const uint32_t key = encoding_key_ ^ page_number;
    const uint8_t bytes[4] = {static_cast<uint8_t>(key), static_cast<uint8_t>(key >> 8),
                              static_cast<uint8_t>(key >> 16), static_cast<uint8_t>(key >> 24)};
    return crypto::Rc4(ByteView(bytes, sizeof bytes), page.data(), page.size());
  }

 private:
  uint32_t encoding_key_;
};

PageCipherSetup Damaged(std::string detail) {
  PageCipherSetup setup;
  setup.status = EncryptionStatus::kDamagedDescriptor;
  setup.scheme = EncryptionScheme::kUnknown;
  setup.detail = std::move(detail);
  return setup;
}

bool Blank(std::span<const uint8_t> bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; });
}

// Whole AES blocks; RC4 decrypts any prefix as the whole page would.
size_t HeadSize(size_t page, size_t head) { return head >= page ? page : std::min(page, (head + 15) / 16 * 16); }

}  // namespace

bool PageCipher::DecryptPage(uint32_t page_number, std::span<uint8_t> page) const {
  if (Blank(page)) return true;
  {
    const std::lock_guard<std::mutex> lock(recent_mutex_);
    for (RecentPage& recent : recent_) {
      if (recent.last_use != 0 && recent.number == page_number && recent.stored.size() == page.size() &&
          std::equal(page.begin(), page.end(), recent.stored.begin())) {
        std::copy(recent.plain.begin(), recent.plain.end(), page.begin());
        recent.last_use = ++use_clock_;
        return true;
      }
    }
  }
  // One copy per thread, swapped with the slot it replaces: no allocation
  // per page once the slots have grown.
  thread_local std::vector<uint8_t> stored;
  stored.assign(page.begin(), page.end());
  if (!Decrypt(page_number, page)) return false;
  const std::lock_guard<std::mutex> lock(recent_mutex_);
  RecentPage& oldest = *std::min_element(recent_.begin(), recent_.end(), [](const RecentPage& a, const RecentPage& b) {
    return a.last_use < b.last_use;
  });
  oldest.number = page_number;
  oldest.last_use = ++use_clock_;
  std::swap(oldest.stored, stored);
  oldest.plain.assign(page.begin(), page.end());
  return true;
}

size_t PageCipher::DecryptPageHead(uint32_t page_number, std::span<uint8_t> page, size_t head) const {
  return DecryptHead(page_number, page, head, true);
}

size_t PageCipher::DecryptHeadUncached(uint32_t page_number, std::span<uint8_t> page, size_t head) const {
  return DecryptHead(page_number, page, head, false);
}

size_t PageCipher::DecryptHead(uint32_t page_number, std::span<uint8_t> page, size_t head, bool remember) const {
  const size_t size = HeadSize(page.size(), head);
  const std::span<uint8_t> part = page.first(size);
  if (Blank(part)) {
    // Blank so far: the whole page decides whether it was ever written.
    const bool plain = remember ? DecryptPage(page_number, page) : Blank(page) || Decrypt(page_number, page);
    return plain ? page.size() : 0;
  }
  return Decrypt(page_number, part) ? size : 0;
}

PageCipherSetup DetectPageCipher(ByteView page0, const std::optional<std::string>& password) {
  const auto masked = page0.Sub(kHeaderEncodedStart, kEncodingKeyOffset + 4 - kHeaderEncodedStart);
  const auto version = page0.U8(kHeaderVersionPos);
  if (!masked || !version) return Damaged("page 0 too short for its header");
  if (!crypto::Rc4Available()) {
    PageCipherSetup setup;
    setup.status = EncryptionStatus::kUnsupportedScheme;
    setup.scheme = EncryptionScheme::kUnknown;
    setup.detail = "RC4 is not available (OpenSSL legacy provider)";
    return setup;
  }
  const std::optional<std::vector<uint8_t>> header = UnmaskedHeader(page0, kEncodingKeyOffset + 4);
  if (!header) return Damaged("header mask");
  const uint32_t encoding_key = ByteCursor(ByteView(header->data(), header->size())).U32At(kEncodingKeyOffset);
  // A header that was never masked (all zero there) carries no key either.
  const bool unmasked_zero = ByteCursor(*masked).U32At(kEncodingKeyOffset - kHeaderEncodedStart) == 0;

  // Versions 2 and up (Access 2007+) may carry a password encryption header.
  if (*version >= 2) {
    const auto length = page0.U16(ace::kEncryptionLengthOffset);
    if (!length) return Damaged("page 0 too short for the encryption header");
    if (*length != 0) {
      const auto header_bytes = page0.Sub(ace::kEncryptionHeaderOffset, *length);
      if (!header_bytes) return Damaged("encryption header runs past page 0");
      return ace::OpenEncryptionHeader(*header_bytes, encoding_key, password);
    }
  }
  PageCipherSetup setup;
  if (encoding_key == 0 || unmasked_zero) return setup;
  setup.status = EncryptionStatus::kReady;
  setup.scheme = EncryptionScheme::kJetEncoding;
  setup.cipher = std::make_shared<JetEncodingCipher>(encoding_key);
  return setup;
}

std::optional<std::vector<uint8_t>> UnmaskedHeader(ByteView page0, size_t end) {
  if (end < kHeaderEncodedStart || !page0.Contains(0, end)) return std::nullopt;
  std::vector<uint8_t> header(page0.data(), page0.data() + end);
  if (!crypto::Rc4(ByteView(kHeaderKey, sizeof kHeaderKey), header.data() + kHeaderEncodedStart,
                   end - kHeaderEncodedStart)) {
    return std::nullopt;
  }
  return header;
}

const char* EncryptionStatusMessage(EncryptionStatus status) {
  switch (status) {
    case EncryptionStatus::kNotEncrypted:
    case EncryptionStatus::kReady: return "";
    case EncryptionStatus::kNeedsPassword: return "this database is encrypted: give its password";
    case EncryptionStatus::kWrongPassword: return "the password is wrong";
    case EncryptionStatus::kUnsupportedScheme: return "this database is encrypted in a way Mendora cannot decrypt";
    case EncryptionStatus::kDamagedDescriptor: return "the encryption header of this database is damaged";
  }
  return "";
}

const char* EncryptionSchemeName(EncryptionScheme scheme) {
  switch (scheme) {
    case EncryptionScheme::kNone: return "none";
    case EncryptionScheme::kJetEncoding: return "Jet page encoding (RC4)";
    case EncryptionScheme::kRc4CryptoApi: return "RC4 CryptoAPI";
    case EncryptionScheme::kStandardAes: return "standard AES";
    case EncryptionScheme::kAgileAes: return "agile AES";
    case EncryptionScheme::kUnknown: return "unknown";
  }
  return "unknown";
}

}  // namespace mendora
