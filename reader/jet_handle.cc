// Opening a database file and reading its pages.
#include "reader/jet_handle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace mendora {

uint64_t JetHandle::FileSize() const {
  struct stat st;
  if (!file || file->descriptor < 0 || fstat(file->descriptor, &st) != 0) return 0;
  return static_cast<uint64_t>(st.st_size);
}

uint32_t JetHandle::PageCount() const {
  const uint64_t pages = (FileSize() + PageSize() - 1) / PageSize();
  return pages > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(pages);
}

void HandleDeleter::operator()(JetHandle* handle) const { ReleaseHandle(handle); }

void ReleaseHandle(JetHandle* handle) {
  if (handle == nullptr) return;
  if (handle->file) {
    JetFile& file = *handle->file;
    if (file.reference_count <= 1) {
      if (file.descriptor >= 0) close(file.descriptor);
      file.descriptor = -1;
    } else {
      --file.reference_count;
    }
  }
  delete handle;
}

JetHandlePtr OpenJetHandle(const std::string& path, int flags, const JetOpenOptions& options) {
  JetHandlePtr handle(new JetHandle());
  handle->format = &kJet3Format;
  handle->file = std::make_shared<JetFile>();
  handle->file->code_page = CodePage::Windows1252();

  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    std::fprintf(stderr, "Can't alloc filename\n");
    return nullptr;
  }
  JetFile& file = *handle->file;
  file.path = path;
  // Only regular files are read: a directory or device would "open" but is
  // no database.
  if ((flags & kOpenReadWrite) != 0) {
    file.writable = true;
    file.descriptor = S_ISREG(st.st_mode) ? open(path.c_str(), O_RDWR | O_CLOEXEC) : -1;
  } else {
    file.descriptor = S_ISREG(st.st_mode) ? open(path.c_str(), O_RDONLY | O_CLOEXEC) : -1;
  }
  if (file.descriptor < 0) {
    std::fprintf(stderr, "Couldn't open file %s\n", path.c_str());
    return nullptr;
  }
  if (ReadPage(*handle, 0) == 0) {
    std::fprintf(stderr, "Couldn't read first page.\n");
    return nullptr;
  }
  if (handle->page[0] != 0) return nullptr;
  const int64_t version = PageU32(*handle, 0x14);
  if (version == 1) {
    handle->format = &kJet4Format;
  } else if (version != 0) {
    std::fprintf(stderr, "Unknown Jet version.\n");
    return nullptr;
  }
  file.version = static_cast<uint32_t>(version);
  const EncryptionStatus encryption = AttachPageCipher(*handle, options.password);
  if (options.encryption_status != nullptr) *options.encryption_status = encryption;
  if (encryption != EncryptionStatus::kNotEncrypted && encryption != EncryptionStatus::kReady) {
    std::fprintf(stderr, "%s\n", EncryptionStatusMessage(encryption));
    return nullptr;
  }
  if (version == 0) {
    file.code_page = CodePage::ForWindowsCodePage(HeaderCodePage(ByteView(handle->page.data(), kJet3Format.PageSize)));
  }
  return handle;
}

bool OpenJetFile(const std::string& path, int flags, const RecoveryPassFn& pass, const JetOpenOptions& options) {
  JetHandlePtr handle = OpenJetHandle(path, flags, options);
  if (!handle) return false;
  if (pass) pass(*handle);
  return true;
}

EncryptionStatus AttachPageCipher(JetHandle& handle, const std::optional<std::string>& password) {
  handle.file->cipher.reset();
  PageBuffer page0{};
  const uint32_t got = ReadPageInto(handle, page0, 0);
  const PageCipherSetup setup = DetectPageCipher(ByteView(page0.data(), got), password);
  handle.file->cipher = setup.cipher;
  return setup.status;
}

uint32_t ReadPage(JetHandle& handle, int64_t n) {
  if (n != 0 && n == handle.current_page) return handle.PageSize();
  const uint32_t got = ReadPageInto(handle, handle.page, n);
  // A failed read must not let the shortcut above pass the page as read.
  handle.current_page = got != 0 ? static_cast<int32_t>(n) : -1;
  handle.ReadPosition = 0;
  return got;
}

uint32_t ReadAltPage(JetHandle& handle, int64_t n) { return ReadPageInto(handle, handle.alt_page, n); }

uint32_t ReadPageInto(JetHandle& handle, PageBuffer& buffer, int64_t n) {
  const uint32_t page_size = handle.PageSize();
  if (n < 0 || n > INT32_MAX) {
    std::fprintf(stderr, "offset %lu is beyond EOF\n", static_cast<unsigned long>(n) * page_size);
    return 0;
  }
  const uint64_t offset = static_cast<uint64_t>(n) * page_size;
  if (handle.FileSize() < offset) {
    std::fprintf(stderr, "offset %lu is beyond EOF\n", static_cast<unsigned long>(offset));
    return 0;
  }
  ssize_t got;
  do {
    got = pread(handle.file->descriptor, buffer.data(), page_size, static_cast<off_t>(offset));
  } while (got < 0 && errno == EINTR);
  if (got < 0) {
    std::perror("read");
    return 0;
  }
  // A short last page must not show bytes of the page that was there before.
  std::memset(buffer.data() + got, 0, buffer.size() - static_cast<size_t>(got));
  const PageCipher* cipher = handle.file->cipher.get();
  if (n != 0 && cipher != nullptr &&
      !cipher->DecryptPage(static_cast<uint32_t>(n), std::span(buffer.data(), static_cast<size_t>(got)))) {
    std::fprintf(stderr, "page %ld could not be decrypted\n", static_cast<long>(n));
    return 0;
  }
  return static_cast<uint32_t>(got);
}

void SwapPageBuffers(JetHandle& handle) { std::swap(handle.page, handle.alt_page); }

namespace {

int64_t GuardedRead(JetHandle& handle, int64_t offset, int width, int room) {
  if (offset < 0 || offset + room > static_cast<int64_t>(handle.PageSize())) return -1;
  int64_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = (value << 8) | handle.page[static_cast<size_t>(offset + i)];
  handle.ReadPosition += width;
  return value;
}

}  // namespace

int64_t PageU16(JetHandle& handle, int64_t offset) { return GuardedRead(handle, offset, 2, 2); }
int64_t PageU24(JetHandle& handle, int64_t offset) { return GuardedRead(handle, offset, 3, 4); }
int64_t PageU32(JetHandle& handle, int64_t offset) { return GuardedRead(handle, offset, 4, 4); }

uint8_t GetU8(const uint8_t* buffer, size_t offset) { return buffer[offset]; }
uint16_t GetU16(const uint8_t* buffer, size_t offset) {
  return static_cast<uint16_t>(buffer[offset] | (buffer[offset + 1] << 8));
}
uint32_t GetU24(const uint8_t* buffer, size_t offset) {
  return buffer[offset] | (buffer[offset + 1] << 8) | (static_cast<uint32_t>(buffer[offset + 2]) << 16);
}
int32_t GetU32(const uint8_t* buffer, size_t offset) {
  return static_cast<int32_t>(GetU24(buffer, offset) | (static_cast<uint32_t>(buffer[offset + 3]) << 24));
}
float GetSingle(const uint8_t* buffer, size_t offset) {
  const uint32_t bits = static_cast<uint32_t>(GetU32(buffer, offset));
  float v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}
double GetDouble(const uint8_t* buffer, size_t offset) {
  uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = (bits << 8) | buffer[offset + static_cast<size_t>(i)];
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

}  // namespace mendora
