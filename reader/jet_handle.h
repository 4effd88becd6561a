// The reader handle: an open database file, its format and two page buffers.
//
// All page access of the reader goes through a JetHandle. The file is only
// ever opened read-only. Nothing here prints or throws: an open that fails
// says why in its error text, and damage met while reading goes to the
// handle's DamageReporter.
#ifndef MENDORA_READER_JET_HANDLE_H_
#define MENDORA_READER_JET_HANDLE_H_

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "reader/byte_view.h"
#include "reader/damage.h"
#include "reader/decrypt_ahead.h"
#include "reader/heads_ahead.h"
#include "reader/windows_ahead.h"
#include "reader/jet_format.h"
#include "reader/page_cipher.h"
#include "reader/page_classes.h"
#include "reader/page_index.h"
#include "reader/text_codec.h"

namespace mendora {

// The newest version number of page 0 that the reader knows (Access 2019).
inline constexpr uint32_t kLastAceVersion = 6;

// How the password of an encrypted file was accepted.
enum class PasswordCheck {
  kNone,     // no password was needed
  kPassed,   // the file's password check accepted it
  kDamaged,  // the check block is damaged; the keys were proven on the catalog instead
};

struct JetFile {
  int descriptor = -1;
  std::string path;
  // 0: Jet 3, 1: Jet 4, 2-6: Access 2007, 2010, 2013, 2016, 2019 (".accdb",
  // laid out as Jet 4).
  uint32_t version = 0;
  // Measured once at open: the source is not expected to change under us,
  // and a file that shrinks gives short reads, which are checked anyway.
  uint64_t size = 0;
  // How single-byte text of this file (Jet 3) turns into UTF-8.
  std::shared_ptr<const CodePage> code_page;
  // Decrypts every page but page 0 as it is read; null for plain files.
  std::shared_ptr<const PageCipher> cipher;
  PasswordCheck password_check = PasswordCheck::kNone;
  // Set when the header's version field was overruled by the pages' layout
  // (a damaged field): what it said, for the loss account.
  std::string version_note;
  // Decrypts pages ahead of in-order reads; null for plain files or on a
  // single core.
  std::unique_ptr<DecryptAhead> ahead;

  ~JetFile();
};

using PageBuffer = std::array<uint8_t, kMaxPageSize>;

// Pages read ahead of a reader that goes through the file in order (the walk
// over every page, a table's data pages): one read of many pages costs the
// system far less than one read of each. The windows are shared by both page
// buffers: the long values a table's rows name lie among its data pages, and
// are read behind them (with decoding threads, a few batches behind), so the
// last windows read for one buffer mostly hold what the other wants next.
struct ReadAhead {
  static constexpr uint32_t kPages = 32;  // per window
  static constexpr size_t kWindows = 8;
  // The furthest step forward that still counts as reading in order: a read
  // of kPages then serves at least kPages / kStride of them.
  static constexpr int64_t kStride = 4;
  struct Window {
    std::unique_ptr<uint8_t[]> bytes;  // kPages pages, made on first use
    int64_t first = -1;                // the page at bytes[0], -1 for none
    uint32_t count = 0;                // whole pages held
    uint32_t page_size = 0;            // of the pages held
    uint64_t used = 0;                 // when it last served a page
  };
  std::array<Window, kWindows> windows;
  uint64_t clock = 0;
  // The last page each reader asked for (the page buffer's, the alternate
  // one's), to tell a reader that goes in order; -1 before its first.
  int64_t last_read[2] = {-1, -1};
  // Reads the windows after the last one on a second thread (plain files
  // only: an encrypted file's pages are read ahead by DecryptAhead); made
  // when a reader first goes in order.
  std::unique_ptr<WindowsAhead> windows_ahead;
  bool windows_ahead_tried = false;
};

struct JetHandle {
  std::shared_ptr<JetFile> file;
  int64_t current_page = -1;  // the page in `page`, -1 for none
  int64_t alt_page_number = -1;  // the page in `alt_page`, -1 for none
  PageBuffer page{};
  PageBuffer alt_page{};
  const JetFormat* format = &kJet3Format;
  DamageReporter* damage = nullptr;  // never null once opened
  // Pages read from the file so far: the work a pass does, counted.
  uint64_t pages_read = 0;
  bool read_ahead_thread = true;  // see JetOpenOptions
  // Built on first need; see page_index.h.
  std::unique_ptr<DataPageIndex> data_pages;
  LongValueClaims long_value_claims;
  std::unique_ptr<ReadAhead> read_ahead;  // made on the first read
  // The pages read whole so far (a plain file's read-ahead windows, an
  // encrypted file's pages once decrypted), as the walk over every page
  // classifies them.
  PageClasses page_classes;
  // Made when a walk over every page's head starts on a plain file; last,
  // so that its thread stops before anything it reads for goes.
  std::unique_ptr<HeadsAhead> heads_ahead;

  // True for every file of the Jet 4 layout, Access 2007+ files included.
  bool IsJet4() const { return file && file->version >= 1 && file->version <= kLastAceVersion; }
  bool IsAce() const { return file && file->version >= 2 && file->version <= kLastAceVersion; }
  uint32_t PageSize() const { return format->PageSize; }
  // The page buffer (or the alternate one) limited to the current page size.
  ByteView Page() const { return ByteView(page.data(), format->PageSize); }
  ByteView AltPage() const { return ByteView(alt_page.data(), format->PageSize); }
  // Size of the underlying file in bytes.
  uint64_t FileSize() const { return file ? file->size : 0; }
  uint32_t PageCount() const;
  void Report(const DamageReport& report) const { damage->Report(report); }
  const DataPageIndex& DataPages() {
    if (!data_pages) data_pages = std::make_unique<DataPageIndex>(*this);
    return *data_pages;
  }
};

using JetHandlePtr = std::unique_ptr<JetHandle>;

// Sends a handle's damage reports to `reporter` while it lives (a probe that
// must not charge the account, a read that keeps only its first report),
// and gives the handle its own reporter back however the scope ends.
class ScopedDamageReporter {
 public:
  ScopedDamageReporter(JetHandle& handle, DamageReporter& reporter) : handle_(handle), saved_(handle.damage) {
    handle.damage = &reporter;
  }
  ~ScopedDamageReporter() { handle_.damage = saved_; }
  ScopedDamageReporter(const ScopedDamageReporter&) = delete;
  ScopedDamageReporter& operator=(const ScopedDamageReporter&) = delete;

 private:
  JetHandle& handle_;
  DamageReporter* const saved_;
};

// A recovery pass run on a freshly opened handle (see OpenJetFile).
using RecoveryPassFn = std::function<void(JetHandle&)>;

// Why a file was not opened: the system refused it (missing, unreadable, not
// a regular file), its first page is no Jet or Access 2007+ header, its pages
// are encrypted and no password (or a wrong one) was given, they are
// encrypted in a way the reader cannot decrypt, or the header that
// describes their encryption is damaged.
enum class OpenFailure {
  kNone,
  kUnreachable,
  kNotJet,
  kEncrypted,
  kWrongPassword,
  kUnsupportedEncryption,
  kDamagedEncryption,
};

struct JetOpenOptions {
  // The password of an encrypted Access 2007+ file (UTF-8). Only checked
  // and turned into keys; never kept with the handle.
  std::optional<std::string> password;
  // The Windows code page Jet 3 text is read in; 0 takes the one the file's
  // header names. Jet 4 and later text is Unicode and needs none.
  int code_page = 0;
  // Whether a second thread may read ahead of a reader going in order. It
  // pays when the pass has the other core to itself; where outputs or
  // decoding threads keep that core busy, it only adds work.
  bool read_ahead_thread = true;
};

// Opens and recognises a Jet 3, Jet 4 or Access 2007+ file read-only: the handle on success,
// null otherwise, with the lines a user is shown in `error` (the reader's own
// line, then the system's reason where there is one) and the kind of
// failure in `failure`. Pages of an encoded or encrypted file come
// decrypted from then on.
JetHandlePtr OpenJetHandle(const std::string& path, std::string* error = nullptr, OpenFailure* failure = nullptr,
                           const JetOpenOptions& options = {});

// Opens the file, runs `pass` on the handle, releases it. False when the
// file could not be opened or recognised (the pass then does not run).
bool OpenJetFile(const std::string& path, const RecoveryPassFn& pass, std::string* error = nullptr,
                 OpenFailure* failure = nullptr, const JetOpenOptions& options = {});

// Reads page 0 at the handle's page size and sets up the file's page
// decryption. Call once the format (page size) is known.
EncryptionStatus AttachPageCipher(JetHandle& handle, const std::optional<std::string>& password);

// Each returns the bytes read: the page size for a whole page, less for a
// last page the file cuts short (the rest of the buffer is zeroed), 0 when
// the page cannot be read at all.
uint32_t ReadPage(JetHandle& handle, int64_t n);
uint32_t ReadAltPage(JetHandle& handle, int64_t n);
uint32_t ReadPageInto(JetHandle& handle, PageBuffer& buffer, int64_t n);
// Page `n` into the page buffer for a reader that needs only its first
// `head` bytes, such as a walk that classifies every page by its header:
// only those are read (or, encrypted, decrypted: both cost by the byte) and
// the rest of the buffer is zeroed; the buffer then does not pass for page
// `n`, so a ReadPage of it reads it whole. Returns the bytes the page has in
// the file, as ReadPage does; `plain` says how many of them, from the
// start, are in the buffer as the page's.
uint32_t ReadPageHead(JetHandle& handle, int64_t n, uint32_t head, uint32_t& plain);

// Guarded reads from the page buffer: -1 outside the page.
int64_t PageU16(const JetHandle& handle, int64_t offset);
int64_t PageU24(const JetHandle& handle, int64_t offset);
int64_t PageU32(const JetHandle& handle, int64_t offset);

// Little-endian floating-point values at `offset` of a view the caller has
// checked holds them.
float GetSingle(ByteView bytes, size_t offset);
double GetDouble(ByteView bytes, size_t offset);

}  // namespace mendora

#endif  // MENDORA_READER_JET_HANDLE_H_
