// Transparent page decryption: which protection a database file has, the
// password check, and a decryptor for its pages.
//
// Page 0 is never encrypted; every other page may be, by one of:
// - the Jet page encoding (Jet 3, Jet 4 and Access 2007+ without a password):
//   RC4 keyed by the 4-byte encoding key of the masked header XOR the page
//   number. It needs no password.
// - Access 2007+ encryption with a password, described by a header in page 0:
//   RC4 through the CryptoAPI, standard AES (binary header) or agile AES
//   (with an XML descriptor).
// See docs/format-encryption.md for the layouts.
#ifndef MENDORA_READER_PAGE_CIPHER_H_
#define MENDORA_READER_PAGE_CIPHER_H_

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "reader/byte_view.h"

namespace mendora {

enum class EncryptionStatus {
  kNotEncrypted,       // plain pages: nothing to decrypt
  kReady,              // a decryptor is set up (password checked where one is needed)
  kNeedsPassword,      // encrypted with a password and none was given
  kWrongPassword,      // the password given fails the file's check
  kUnsupportedScheme,  // encrypted in a way Mendora cannot decrypt
  kDamagedDescriptor,  // the header that describes the encryption is unreadable
};

enum class EncryptionScheme {
  kNone,
  kJetEncoding,   // RC4, key from the header's encoding key and the page number
  kRc4CryptoApi,  // Access 2007: RC4 with a key from the password (SHA-1)
  kStandardAes,   // AES-ECB with the binary header, keys from the password (SHA-1)
  kAgileAes,      // Access 2010+: AES-CBC, XML descriptor, SHA-512 stretched keys
  kUnknown,
};

// Decrypts the pages of one file. Handles that share a file may use it from
// any thread.
class PageCipher {
 public:
  virtual ~PageCipher() = default;

  // Decrypts page `page_number` (>= 1) in place. A page that is all zero
  // stays as it is: Jet leaves never-written pages blank instead of
  // encrypting them. A short page (the end of a truncated file) decrypts as
  // far as it goes. False when the decryption itself failed.
  bool DecryptPage(uint32_t page_number, std::span<uint8_t> page) const;
  // Decrypts at least the first `head` bytes of the page, for a reader that
  // only needs its header (the type and owner of each page of a walk): a
  // stream cipher's cost grows with the bytes decrypted. Returns how many
  // bytes from the start are now plain (the rest are left as stored), 0
  // when the decryption failed.
  size_t DecryptPageHead(uint32_t page_number, std::span<uint8_t> page, size_t head) const;

  virtual EncryptionScheme scheme() const = 0;

 protected:
  // It keeps pages of its own, past the recent ones below.
  friend class DecryptAhead;
  virtual bool Decrypt(uint32_t page_number, std::span<uint8_t> page) const = 0;
  // DecryptPageHead without the recent pages: pages decrypted ahead must not
  // push out those the reader comes back to. A `head` of the page's size or
  // more decrypts it whole, as DecryptPage does.
  size_t DecryptHeadUncached(uint32_t page_number, std::span<uint8_t> page, size_t head) const;
  // Both head decryptions; `remember` goes through the recent pages.
  size_t DecryptHead(uint32_t page_number, std::span<uint8_t> page, size_t head, bool remember) const;

 private:
  // The reader reads a long-value page again for every value on it, and the
  // page it just left again soon after: the last few pages are kept
  // decrypted, each with its stored bytes, so a page changed on disk is
  // decrypted anew.
  struct RecentPage {
    uint32_t number = 0;
    uint64_t last_use = 0;  // 0: empty
    std::vector<uint8_t> stored;
    std::vector<uint8_t> plain;
  };
  mutable std::mutex recent_mutex_;
  mutable std::array<RecentPage, 4> recent_;
  mutable uint64_t use_clock_ = 0;
};

struct PageCipherSetup {
  EncryptionStatus status = EncryptionStatus::kNotEncrypted;
  EncryptionScheme scheme = EncryptionScheme::kNone;
  std::shared_ptr<const PageCipher> cipher;  // set exactly when status is kReady
  // When the password check failed (kWrongPassword) or its block is
  // unreadable (kDamagedDescriptor): the keys the password gives, unchecked.
  // A damaged check block must not pass for a wrong password, so the reader
  // tries them on the catalog before refusing the file.
  std::shared_ptr<const PageCipher> unchecked;
  // Another way the same keys may lay over the pages, where the header does
  // not say which: the reader keeps the one that opens the catalog.
  std::shared_ptr<const PageCipher> alternative;
  std::string detail;                        // what was refused, for diagnostics
};

// Reads the protection of a file from its page 0 (all of it: 2048 bytes for
// Jet 3, 4096 otherwise) and, for a password scheme, checks `password`
// (UTF-8) before anything is decrypted. Never throws; a damaged page 0 gives
// kDamagedDescriptor.
PageCipherSetup DetectPageCipher(ByteView page0, const std::optional<std::string>& password);

// Page 0 up to `end` with its masked part (0x18 on) unmasked; bytes before
// 0x18 as stored, so offsets stay those of the page. Nothing when the page
// is shorter or RC4 cannot be had.
std::optional<std::vector<uint8_t>> UnmaskedHeader(ByteView page0, size_t end);

// The line to show a user for a status ("" for kNotEncrypted and kReady).
const char* EncryptionStatusMessage(EncryptionStatus status);
const char* EncryptionSchemeName(EncryptionScheme scheme);

}  // namespace mendora

#endif  // MENDORA_READER_PAGE_CIPHER_H_
