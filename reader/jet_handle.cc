// Opening a database file and reading its pages.
#include "reader/jet_handle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "reader/file_read.h"

namespace mendora {

namespace {

constexpr char kAceEngineName[] = "Standard ACE DB";

IgnoreDamage& NoReporter() {
  static IgnoreDamage ignore;
  return ignore;
}

void SetError(std::string* error, const std::string& text) {
  if (error != nullptr) *error = text;
}

ssize_t ReadAt(const JetHandle& handle, uint8_t* into, size_t size, uint64_t offset) {
  return ReadFileAt(handle.file->descriptor, into, size, offset);
}

// Page n from a read-ahead window into `buffer`, a window first filled with
// the pages from n on when the buffer's reader goes in order. False when no
// window holds page n (a reader that jumps, a read that failed, the file's
// last short page): the page is then read alone, as before.
bool ReadFromWindow(JetHandle& handle, PageBuffer& buffer, int64_t n) {
  const uint32_t page_size = handle.PageSize();
  if (!handle.read_ahead) handle.read_ahead = std::make_unique<ReadAhead>();
  ReadAhead& ahead = *handle.read_ahead;
  int64_t& last = ahead.last_read[&buffer == &handle.alt_page ? 1 : 0];
  // A reader that starts anywhere but page 1 (a table read while the walk
  // over every page reads only their heads) is seen going in order from its
  // second page on. One that moves forward by a few pages goes in order: a
  // table's data pages lie among its long-value pages and other tables' pages.
  const bool in_order = last < 0 ? n == 1 : n > last && n - last <= ReadAhead::kStride;
  last = n;
  ReadAhead::Window* from = nullptr;
  ReadAhead::Window* oldest = &ahead.windows[0];
  for (ReadAhead::Window& w : ahead.windows) {
    if (w.page_size == page_size && n >= w.first && n < w.first + w.count) from = &w;
    if (w.used < oldest->used) oldest = &w;
  }
  if (from == nullptr) {
    if (!in_order) return false;
    from = oldest;
    if (!from->bytes) from->bytes = std::make_unique_for_overwrite<uint8_t[]>(size_t{ReadAhead::kPages} * kMaxPageSize);
    // Windows start at multiples of kPages, so that two never hold the
    // same page: the pages a reader steps over are in the window of the
    // pages around them, where the other reader finds them.
    const int64_t first = n - n % ReadAhead::kPages;
    const uint64_t offset = static_cast<uint64_t>(first) * page_size;
    const uint64_t left = handle.FileSize() - offset;
    const size_t want = static_cast<size_t>(std::min<uint64_t>(left, uint64_t{ReadAhead::kPages} * page_size));
    if (!ahead.windows_ahead_tried && handle.read_ahead_thread) {
      ahead.windows_ahead_tried = true;
      const size_t window_bytes = size_t{ReadAhead::kPages} * page_size;
      if (!handle.file->cipher && handle.file->descriptor >= 0 &&
          WindowsAhead::Worthwhile(handle.FileSize(), window_bytes)) {
        try {
          ahead.windows_ahead = std::make_unique<WindowsAhead>(handle.file->descriptor, handle.FileSize(),
                                                               size_t{ReadAhead::kPages} * kMaxPageSize);
        } catch (const std::system_error&) {
          // No thread to be had: the reader reads every window itself.
        }
      }
    }
    const ssize_t got = ahead.windows_ahead ? ahead.windows_ahead->Read(from->bytes, offset, want)
                                            : ReadAt(handle, from->bytes.get(), want, offset);
    from->first = first;
    from->page_size = page_size;
    from->count = got > 0 ? static_cast<uint32_t>(static_cast<size_t>(got) / page_size) : 0;
    // Encrypted pages are classified once decrypted, in ReadPageInto.
    if (!handle.file->cipher) {
      for (uint32_t k = 0; k < from->count; ++k) {
        const ByteView page(from->bytes.get() + size_t{k} * page_size, page_size);
        handle.page_classes.Note(*handle.format, nullptr, handle.PageCount(), static_cast<uint32_t>(first + k),
                                 ClassifyPage(page, *handle.format));
      }
    }
    if (n >= first + from->count) return false;
  }
  from->used = ++ahead.clock;
  std::memcpy(buffer.data(), from->bytes.get() + static_cast<size_t>(n - from->first) * page_size, page_size);
  std::memset(buffer.data() + page_size, 0, buffer.size() - page_size);
  return true;
}

// The page as stored: the bytes read, the rest of the buffer zeroed.
uint32_t ReadStoredPage(JetHandle& handle, PageBuffer& buffer, int64_t n) {
  const uint32_t page_size = handle.PageSize();
  if (&buffer == &handle.page) handle.current_page = -1;
  if (&buffer == &handle.alt_page) handle.alt_page_number = -1;
  if (n < 0 || n > INT32_MAX) return 0;
  const uint64_t offset = static_cast<uint64_t>(n) * page_size;
  if (handle.FileSize() <= offset) return 0;
  ++handle.pages_read;
  if (ReadFromWindow(handle, buffer, n)) return page_size;
  const ssize_t got = ReadAt(handle, buffer.data(), page_size, offset);
  if (got <= 0) return 0;
  // A short last page must not show bytes of the page that was there before.
  std::memset(buffer.data() + got, 0, buffer.size() - static_cast<size_t>(got));
  return static_cast<uint32_t>(got);
}

// Whether `cipher` turns page 2 into the catalog's definition (a system
// table of a few columns): the test of keys that the password check could
// not vouch for, since wrong keys give noise there.
bool OpensCatalog(JetHandle& handle, const PageCipher& cipher) {
  PageBuffer page{};
  const uint32_t got = ReadStoredPage(handle, page, kCatalogDefinitionPage);
  if (got < handle.PageSize() || !cipher.DecryptPage(kCatalogDefinitionPage, std::span(page.data(), got))) return false;
  const ByteView view(page.data(), got);
  const uint16_t columns = view.U16(handle.format->ColumnCountPos).value_or(0);
  return page[0] == kDefinitionPageType && page[1] == kPageMark && page[handle.format->TableTypePos] == kSystemTableType &&
         columns != 0 && columns < 256;
}

// Whether pages of `page_size` bytes lay the file out as Jet does: page 1
// a data page (the database's own page maps), page 2 the catalog's
// definition. Encrypted pages show neither, whatever their size.
bool LaidOutAs(const JetFile& file, uint32_t page_size) {
  uint8_t one[2] = {};
  uint8_t two[2] = {};
  if (ReadFileAt(file.descriptor, one, 2, page_size) != 2 ||
      ReadFileAt(file.descriptor, two, 2, uint64_t{2} * page_size) != 2) {
    return false;
  }
  return one[0] == kDataPageType && one[1] == kPageMark && two[0] == kDefinitionPageType && two[1] == kPageMark;
}

// The first `head` bytes of page n alone: a walk over every page that looks
// at their headers would otherwise copy the whole file out of the kernel
// once more than the tables' reads of their own pages.
uint32_t ReadPlainHead(JetHandle& handle, int64_t n, uint32_t head, uint32_t& plain) {
  const uint32_t page_size = handle.PageSize();
  plain = 0;
  if (n < 0 || n > INT32_MAX) return 0;
  const uint64_t offset = static_cast<uint64_t>(n) * page_size;
  if (handle.FileSize() <= offset) return 0;
  const auto stored = static_cast<uint32_t>(std::min<uint64_t>(page_size, handle.FileSize() - offset));
  const uint32_t want = std::min(head, stored);
  handle.current_page = -1;
  ++handle.pages_read;
  if (n == 1 && !handle.heads_ahead && handle.file->descriptor >= 0 && HeadsAhead::Worthwhile(handle.PageCount())) {
    handle.heads_ahead = std::make_unique<HeadsAhead>(handle.file->descriptor, page_size, handle.FileSize(), head);
  }
  if (handle.heads_ahead && handle.heads_ahead->Take(static_cast<uint32_t>(n), want, handle.page.data())) {
    std::memset(handle.page.data() + want, 0, handle.page.size() - want);
    plain = want;
    return stored;
  }
  const ssize_t got = ReadAt(handle, handle.page.data(), want, offset);
  // A read that falls short is left to the whole page's read, which says
  // what there is.
  if (got != static_cast<ssize_t>(want)) return plain = ReadPage(handle, n);
  std::memset(handle.page.data() + want, 0, handle.page.size() - want);
  plain = want;
  return stored;
}

}  // namespace

JetFile::~JetFile() {
  // Its thread reads the descriptor.
  ahead.reset();
  if (descriptor >= 0) close(descriptor);
}

uint32_t JetHandle::PageCount() const {
  const uint64_t pages = (FileSize() + PageSize() - 1) / PageSize();
  return pages > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(pages);
}

JetHandlePtr OpenJetHandle(const std::string& path, std::string* error, OpenFailure* failure,
                           const JetOpenOptions& options) {
  if (failure != nullptr) *failure = OpenFailure::kNone;
  // The reader's own line first, then the system's reason on a line of its own.
  auto fail = [&](OpenFailure why, const std::string& line, const std::string& reason = "") -> JetHandlePtr {
    SetError(error, reason.empty() ? line : line + "\n" + reason);
    if (failure != nullptr) *failure = why;
    return nullptr;
  };
  auto handle = std::make_unique<JetHandle>();
  handle->format = &kJet3Format;
  handle->read_ahead_thread = options.read_ahead_thread;
  handle->damage = &NoReporter();
  handle->file = std::make_shared<JetFile>();
  handle->file->code_page = CodePage::Windows1252();

  struct stat st;
  if (stat(path.c_str(), &st) != 0) return fail(OpenFailure::kUnreachable, "Can't alloc filename", std::strerror(errno));
  JetFile& file = *handle->file;
  file.path = path;
  const std::string cannot_open = "Couldn't open file " + path;
  // Only regular files are read: a directory or device would "open" but is
  // no database, and opening a FIFO would wait for a writer.
  if (S_ISDIR(st.st_mode)) return fail(OpenFailure::kUnreachable, cannot_open, std::strerror(EISDIR));
  if (!S_ISREG(st.st_mode)) return fail(OpenFailure::kUnreachable, cannot_open, "not a regular file");
  file.descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file.descriptor < 0) return fail(OpenFailure::kUnreachable, cannot_open, std::strerror(errno));
  struct stat opened;
  file.size = fstat(file.descriptor, &opened) == 0 ? static_cast<uint64_t>(opened.st_size) : 0;
  if (ReadPage(*handle, 0) == 0) {
    // An empty file is no database; one that cannot be read is unreachable.
    return fail(file.size == 0 ? OpenFailure::kNotJet : OpenFailure::kUnreachable, "Couldn't read first page.");
  }
  if (handle->page[0] != kHeaderPageType) return fail(OpenFailure::kNotJet, "");
  // The version is the byte at 0x14: Access 2010 files set the byte after
  // it as well, which says nothing about the layout.
  uint32_t version = handle->page[kHeaderVersionPos];
  const bool ace_engine = std::memcmp(handle->page.data() + kHeaderEngineNamePos, kAceEngineName, sizeof kAceEngineName - 1) == 0;
  // One damaged byte must not make every page unreadable: where the field
  // names a layout the pages do not have and the other one fits them, the
  // pages decide.
  const bool known = version <= kLastAceVersion;
  if (known && version >= 1 && !LaidOutAs(file, kJet4Format.PageSize) && LaidOutAs(file, kJet3Format.PageSize)) {
    file.version_note = "the header's version field says " + std::to_string(version) +
                        ", but the pages are laid out as Jet 3's: read as Jet 3";
    version = 0;
  } else if (version == 0 && !LaidOutAs(file, kJet3Format.PageSize) && LaidOutAs(file, kJet4Format.PageSize)) {
    file.version_note = std::string("the header's version field says 0, but the pages are laid out as ") +
                        (ace_engine ? "Access 2007's: read as Access 2007" : "Jet 4's: read as Jet 4");
    version = ace_engine ? 2 : 1;
  } else if (version == 1 && ace_engine) {
    // Access 2007 and later write their engine's name; Jet 4 writes its own.
    file.version_note = "the header's version field says 1 (Jet 4), but its engine is Access 2007's: read as Access 2007";
    version = 2;
  } else if (!known && !ace_engine && (LaidOutAs(file, kJet3Format.PageSize) || LaidOutAs(file, kJet4Format.PageSize))) {
    const bool jet3 = LaidOutAs(file, kJet3Format.PageSize);
    file.version_note = "the header's version field says " + std::to_string(version) + ", which no Jet file has: read as " +
                        (jet3 ? "Jet 3" : "Jet 4") + ", as its pages are laid out";
    version = jet3 ? 0 : 1;
  }
  if (version >= 1 && version <= kLastAceVersion) {
    handle->format = &kJet4Format;
    // Page 0 was read at the Jet 3 page size: half of it.
    handle->current_page = -1;
  } else if (version > kLastAceVersion) {
    // A newer Access writes its own engine name: such a file is no damage.
    return fail(OpenFailure::kNotJet, ace_engine ? "Access 2007+ file of an unknown version " + std::to_string(version)
                                                 : "Unknown Jet version.");
  }
  file.version = version;
  // Settled before anything else of the file is read: undecrypted pages are
  // ciphertext, which the walk would take for damage everywhere.
  switch (AttachPageCipher(*handle, options.password)) {
    case EncryptionStatus::kNotEncrypted:
    case EncryptionStatus::kReady: break;
    case EncryptionStatus::kNeedsPassword:
      return fail(OpenFailure::kEncrypted, EncryptionStatusMessage(EncryptionStatus::kNeedsPassword));
    case EncryptionStatus::kWrongPassword:
      return fail(OpenFailure::kWrongPassword, EncryptionStatusMessage(EncryptionStatus::kWrongPassword));
    case EncryptionStatus::kUnsupportedScheme:
      return fail(OpenFailure::kUnsupportedEncryption, EncryptionStatusMessage(EncryptionStatus::kUnsupportedScheme));
    case EncryptionStatus::kDamagedDescriptor:
      return fail(OpenFailure::kDamagedEncryption, EncryptionStatusMessage(EncryptionStatus::kDamagedDescriptor));
  }
  if (version == 0) {
    file.code_page = CodePage::ForWindowsCodePage(
        options.code_page != 0 ? options.code_page : Jet3TextCodePage(ByteView(handle->page.data(), kJet3Format.PageSize)));
  }
  return handle;
}

bool OpenJetFile(const std::string& path, const RecoveryPassFn& pass, std::string* error, OpenFailure* failure,
                 const JetOpenOptions& options) {
  JetHandlePtr handle = OpenJetHandle(path, error, failure, options);
  if (!handle) return false;
  if (pass) pass(*handle);
  return true;
}

EncryptionStatus AttachPageCipher(JetHandle& handle, const std::optional<std::string>& password) {
  handle.file->ahead.reset();
  handle.file->cipher.reset();
  handle.file->password_check = PasswordCheck::kNone;
  PageBuffer page0{};
  // A page 0 cut short reads as zeros past its end, as the handle's own
  // reads do: a truncated file is damage, not a damaged encryption header.
  const uint32_t got = ReadPageInto(handle, page0, 0);
  const PageCipherSetup setup =
      DetectPageCipher(ByteView(page0.data(), got == 0 ? 0 : handle.PageSize()), password);
  // Of two page layouts the keys may have, the one that opens the catalog
  // (the first when neither does: the catalog may be what is damaged).
  const auto layout = [&](const std::shared_ptr<const PageCipher>& first) {
    if (!setup.alternative || OpensCatalog(handle, *first) || !OpensCatalog(handle, *setup.alternative)) return first;
    return setup.alternative;
  };
  if (setup.unchecked) {
    // The check failed or could not be made: the catalog decides.
    const bool opens = OpensCatalog(handle, *setup.unchecked) ||
                       (setup.alternative && OpensCatalog(handle, *setup.alternative));
    if (!opens) return EncryptionStatus::kWrongPassword;
    // The password opens the file; its check block is what is damaged.
    handle.file->cipher = layout(setup.unchecked);
    handle.file->password_check = PasswordCheck::kDamaged;
  } else {
    handle.file->cipher = setup.cipher ? layout(setup.cipher) : nullptr;
    if (setup.cipher && password) handle.file->password_check = PasswordCheck::kPassed;
  }
  if (handle.file->cipher && handle.file->descriptor >= 0 && DecryptAhead::Worthwhile()) {
    handle.file->ahead = std::make_unique<DecryptAhead>(handle.file->descriptor, handle.PageSize(), handle.FileSize(),
                                                        handle.file->cipher);
  }
  return handle.file->cipher ? EncryptionStatus::kReady : setup.status;
}

uint32_t ReadPage(JetHandle& handle, int64_t n) {
  if (n == handle.current_page) return handle.PageSize();
  const uint32_t got = ReadPageInto(handle, handle.page, n);
  // A failed read must not let the shortcut above pass the page as read.
  handle.current_page = got == handle.PageSize() ? n : -1;
  return got;
}

uint32_t ReadAltPage(JetHandle& handle, int64_t n) {
  if (n == handle.alt_page_number) return handle.PageSize();
  const uint32_t got = ReadPageInto(handle, handle.alt_page, n);
  handle.alt_page_number = got == handle.PageSize() ? n : -1;
  return got;
}

uint32_t ReadPageInto(JetHandle& handle, PageBuffer& buffer, int64_t n) {
  const uint32_t got = ReadStoredPage(handle, buffer, n);
  // A page the cipher fails on is a page that cannot be read: a lost page
  // like any unreadable one.
  const PageCipher* cipher = handle.file->cipher.get();
  if (got == 0 || n == 0 || cipher == nullptr) return got;
  const std::span<uint8_t> page(buffer.data(), got);
  DecryptAhead* ahead = handle.file->ahead.get();
  if ((ahead == nullptr || !ahead->Take(static_cast<uint32_t>(n), page)) &&
      !cipher->DecryptPage(static_cast<uint32_t>(n), page)) {
    return 0;
  }
  // The main buffer follows the reader through the file; the other one
  // jumps to maps and long values.
  if (ahead != nullptr && &buffer == &handle.page) ahead->Follow(static_cast<uint32_t>(n));
  // The walk over every page need not decrypt this one's head again.
  if (got == handle.PageSize()) {
    handle.page_classes.Note(*handle.format, cipher, handle.PageCount(), static_cast<uint32_t>(n),
                             ClassifyPage(ByteView(buffer.data(), got), *handle.format));
  }
  return got;
}

uint32_t ReadPageHead(JetHandle& handle, int64_t n, uint32_t head, uint32_t& plain) {
  const PageCipher* cipher = handle.file->cipher.get();
  if (n == 0 || head >= handle.PageSize()) return plain = ReadPage(handle, n);
  if (cipher == nullptr) return ReadPlainHead(handle, n, head, plain);
  plain = 0;
  const uint32_t got = ReadStoredPage(handle, handle.page, n);
  if (got == 0) return 0;
  const std::span<uint8_t> page(handle.page.data(), got);
  DecryptAhead* ahead = handle.file->ahead.get();
  size_t decrypted = ahead != nullptr ? ahead->Take(static_cast<uint32_t>(n), page, head) : 0;
  if (decrypted == 0) decrypted = cipher->DecryptPageHead(static_cast<uint32_t>(n), page, head);
  if (decrypted == 0) return 0;
  if (ahead != nullptr) ahead->Follow(static_cast<uint32_t>(n), head);
  if (decrypted >= got) {
    handle.current_page = got == handle.PageSize() ? n : -1;
    return plain = got;
  }
  // The rest is still ciphertext: it must not pass for page bytes.
  std::memset(handle.page.data() + decrypted, 0, handle.page.size() - decrypted);
  plain = static_cast<uint32_t>(decrypted);
  return got;
}

namespace {

int64_t GuardedRead(const JetHandle& handle, int64_t offset, int width, int room) {
  if (offset < 0 || offset + room > static_cast<int64_t>(handle.PageSize())) return -1;
  int64_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = (value << 8) | handle.page[static_cast<size_t>(offset + i)];
  return value;
}

}  // namespace

int64_t PageU16(const JetHandle& handle, int64_t offset) { return GuardedRead(handle, offset, 2, 2); }
int64_t PageU24(const JetHandle& handle, int64_t offset) { return GuardedRead(handle, offset, 3, 4); }
int64_t PageU32(const JetHandle& handle, int64_t offset) { return GuardedRead(handle, offset, 4, 4); }

float GetSingle(ByteView bytes, size_t offset) {
  const uint32_t bits = bytes.U32(offset).value_or(0);
  float v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

double GetDouble(ByteView bytes, size_t offset) {
  const uint64_t bits = bytes.U64(offset).value_or(0);
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

}  // namespace mendora
