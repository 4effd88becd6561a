// The reader handle: an open database file, its format and two page buffers.
//
// All page access of the reader goes through a JetHandle. Diagnostics are
// single lines on the standard error stream; nothing here throws.
#ifndef MENDORA_READER_JET_HANDLE_H_
#define MENDORA_READER_JET_HANDLE_H_

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "reader/byte_view.h"
#include "reader/jet_format.h"
#include "reader/page_cipher.h"
#include "reader/text_codec.h"

namespace mendora {

struct JetFile {
  int descriptor = -1;
  bool writable = false;
  std::string path;
  uint32_t version = 0;  // 0: Jet 3, 1: Jet 4
  int reference_count = 1;
  // How single-byte text of this file (Jet 3) turns into UTF-8.
  std::shared_ptr<const CodePage> code_page;
  // Decrypts every page but page 0 as it is read; null for plain files.
  std::shared_ptr<const PageCipher> cipher;
};

using PageBuffer = std::array<uint8_t, kMaxPageSize>;

struct JetHandle {
  std::shared_ptr<JetFile> file;
  int32_t current_page = 0;
  int32_t ReadPosition = 0;
  PageBuffer page{};
  PageBuffer alt_page{};
  int32_t RowCounter = 0;
  const JetFormat* format = &kJet3Format;

  bool IsJet4() const { return file && file->version == 1; }
  uint32_t PageSize() const { return format->PageSize; }
  // The page buffer (or the alternate one) limited to the current page size.
  ByteView Page() const { return ByteView(page.data(), format->PageSize); }
  ByteView AltPage() const { return ByteView(alt_page.data(), format->PageSize); }
  // Size of the underlying file in bytes, or 0 when it cannot be measured.
  uint64_t FileSize() const;
  uint32_t PageCount() const;
};

struct HandleDeleter {
  void operator()(JetHandle* handle) const;
};
using JetHandlePtr = std::unique_ptr<JetHandle, HandleDeleter>;

// A recovery pass run on a freshly opened handle (see OpenJetFile).
using RecoveryPassFn = std::function<void(JetHandle&)>;

inline constexpr int kOpenReadWrite = 1;

struct JetOpenOptions {
  // For files encrypted with a password (UTF-8); never stored.
  std::optional<std::string> password;
  // When set, receives why an encrypted file was refused (or kReady /
  // kNotEncrypted when it opened).
  EncryptionStatus* encryption_status = nullptr;
};

// Opens and recognises a Jet 3 or Jet 4 file: the handle on success, null
// after writing the reason to stderr.
JetHandlePtr OpenJetHandle(const std::string& path, int flags, const JetOpenOptions& options = {});

// Opens the file, runs `pass` on the handle, releases it. False when the
// file could not be opened or recognised (the pass then does not run).
bool OpenJetFile(const std::string& path, int flags, const RecoveryPassFn& pass, const JetOpenOptions& options = {});

// Reads page 0 at the handle's page size and sets up the file's page
// decryption. Call once the format (page size) is known.
EncryptionStatus AttachPageCipher(JetHandle& handle, const std::optional<std::string>& password);

void ReleaseHandle(JetHandle* handle);

uint32_t ReadPage(JetHandle& handle, int64_t n);
uint32_t ReadAltPage(JetHandle& handle, int64_t n);
uint32_t ReadPageInto(JetHandle& handle, PageBuffer& buffer, int64_t n);
void SwapPageBuffers(JetHandle& handle);

// Guarded reads from the page buffer: -1 outside the page.
int64_t PageU16(JetHandle& handle, int64_t offset);
int64_t PageU24(JetHandle& handle, int64_t offset);
int64_t PageU32(JetHandle& handle, int64_t offset);

// Unchecked little-endian reads; callers have checked the extent.
uint8_t GetU8(const uint8_t* buffer, size_t offset);
uint16_t GetU16(const uint8_t* buffer, size_t offset);
uint32_t GetU24(const uint8_t* buffer, size_t offset);
int32_t GetU32(const uint8_t* buffer, size_t offset);
float GetSingle(const uint8_t* buffer, size_t offset);
double GetDouble(const uint8_t* buffer, size_t offset);

}  // namespace mendora

#endif  // MENDORA_READER_JET_HANDLE_H_
