// A layer over SQLite's own file access that writes runs of pages at once.
#include "output/sqlite/sqlite_write_buffer.h"

#include <cstring>

namespace mendora {

namespace {

// A run is written once it holds this much: one call then costs little
// beside its bytes (200 MB in calls of 4 KiB took four times as long as in
// calls of 64 KiB here, and calls of 1 MiB no less than 64 KiB). SQLite's
// own file access writes at most 128 KiB less a byte in one call.
constexpr int kRunBytes = 64 << 10;
constexpr char kName[] = "mendora-write-buffer";

// What SQLite allocates for a file of this layer: this, then the system's
// own file right after it.
struct HeldFile {
  sqlite3_file base;
  sqlite3_file* real;
  unsigned char* run;  // held bytes (the main database only), or null
  sqlite3_int64 run_start;
  int run_size;
  int failed;  // the error of a write that failed: every later use fails
};
// The system's file follows at an address fit for it.
static_assert(sizeof(HeldFile) % 8 == 0);

sqlite3_vfs* real_vfs = nullptr;

int Flush(HeldFile& file) {
  if (file.failed != SQLITE_OK) return file.failed;
  if (file.run_size == 0) return SQLITE_OK;
  const int rc = file.real->pMethods->xWrite(file.real, file.run, file.run_size, file.run_start);
  file.run_size = 0;
  if (rc != SQLITE_OK) file.failed = rc;
  return rc;
}

// What must see the file as written: everything held goes first.
int WriteHeld(HeldFile& held) { return held.run != nullptr ? Flush(held) : SQLITE_OK; }

HeldFile& Held(sqlite3_file* file) { return *reinterpret_cast<HeldFile*>(file); }

int Close(sqlite3_file* file) {
  HeldFile& held = Held(file);
  const int flushed = WriteHeld(held);
  const int closed = held.real->pMethods->xClose(held.real);
  sqlite3_free(held.run);
  held.run = nullptr;
  return flushed != SQLITE_OK ? flushed : closed;
}

int Read(sqlite3_file* file, void* out, int amount, sqlite3_int64 offset) {
  HeldFile& held = Held(file);
  if (held.run != nullptr) {
    if (held.failed != SQLITE_OK) return held.failed;
    if (held.run_size != 0 && offset < held.run_start + held.run_size && offset + amount > held.run_start) {
      if (const int rc = Flush(held); rc != SQLITE_OK) return rc;
    }
  }
  return held.real->pMethods->xRead(held.real, out, amount, offset);
}

int Write(sqlite3_file* file, const void* bytes, int amount, sqlite3_int64 offset) {
  HeldFile& held = Held(file);
  if (held.run == nullptr) return held.real->pMethods->xWrite(held.real, bytes, amount, offset);
  if (held.failed != SQLITE_OK) return held.failed;
  const sqlite3_int64 run_end = held.run_start + held.run_size;
  if (held.run_size != 0 && offset >= held.run_start && offset + amount <= run_end) {
    // A page written again while still held (a rolled-back statement's).
    std::memcpy(held.run + (offset - held.run_start), bytes, static_cast<size_t>(amount));
    return SQLITE_OK;
  }
  if (held.run_size != 0 && offset == run_end && held.run_size + amount <= kRunBytes) {
    std::memcpy(held.run + held.run_size, bytes, static_cast<size_t>(amount));
    held.run_size += amount;
    return SQLITE_OK;
  }
  // Anything else follows what is held, in the order it was written.
  if (const int rc = Flush(held); rc != SQLITE_OK) return rc;
  if (amount > kRunBytes) {
    const int rc = held.real->pMethods->xWrite(held.real, bytes, amount, offset);
    if (rc != SQLITE_OK) held.failed = rc;
    return rc;
  }
  std::memcpy(held.run, bytes, static_cast<size_t>(amount));
  held.run_start = offset;
  held.run_size = amount;
  return SQLITE_OK;
}

int Truncate(sqlite3_file* file, sqlite3_int64 size) {
  HeldFile& held = Held(file);
  const int rc = WriteHeld(held);
  return rc != SQLITE_OK ? rc : held.real->pMethods->xTruncate(held.real, size);
}

int Sync(sqlite3_file* file, int flags) {
  HeldFile& held = Held(file);
  const int rc = WriteHeld(held);
  return rc != SQLITE_OK ? rc : held.real->pMethods->xSync(held.real, flags);
}

int FileSize(sqlite3_file* file, sqlite3_int64* size) {
  HeldFile& held = Held(file);
  const int rc = WriteHeld(held);
  return rc != SQLITE_OK ? rc : held.real->pMethods->xFileSize(held.real, size);
}

int Lock(sqlite3_file* file, int level) {
  sqlite3_file* real = Held(file).real;
  return real->pMethods->xLock(real, level);
}

// Another connection may read the file once it is unlocked.
int Unlock(sqlite3_file* file, int level) {
  HeldFile& held = Held(file);
  const int rc = WriteHeld(held);
  return rc != SQLITE_OK ? rc : held.real->pMethods->xUnlock(held.real, level);
}

int CheckReservedLock(sqlite3_file* file, int* reserved) {
  sqlite3_file* real = Held(file).real;
  return real->pMethods->xCheckReservedLock(real, reserved);
}

// A commit announces itself through one (SQLITE_FCNTL_SYNC, also with syncs
// off); they are few, so every one sees the file as written.
int FileControl(sqlite3_file* file, int op, void* argument) {
  HeldFile& held = Held(file);
  const int rc = WriteHeld(held);
  return rc != SQLITE_OK ? rc : held.real->pMethods->xFileControl(held.real, op, argument);
}

int SectorSize(sqlite3_file* file) {
  sqlite3_file* real = Held(file).real;
  return real->pMethods->xSectorSize(real);
}

int DeviceCharacteristics(sqlite3_file* file) {
  sqlite3_file* real = Held(file).real;
  return real->pMethods->xDeviceCharacteristics(real);
}

// Version 1: no shared memory, so no write-ahead log, and no memory mapping,
// which would read past the held runs.
const sqlite3_io_methods kMethods = {
    .iVersion = 1,
    .xClose = Close,
    .xRead = Read,
    .xWrite = Write,
    .xTruncate = Truncate,
    .xSync = Sync,
    .xFileSize = FileSize,
    .xLock = Lock,
    .xUnlock = Unlock,
    .xCheckReservedLock = CheckReservedLock,
    .xFileControl = FileControl,
    .xSectorSize = SectorSize,
    .xDeviceCharacteristics = DeviceCharacteristics,
    .xShmMap = nullptr,
    .xShmLock = nullptr,
    .xShmBarrier = nullptr,
    .xShmUnmap = nullptr,
    .xFetch = nullptr,
    .xUnfetch = nullptr,
};

int Open(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* out_flags) {
  HeldFile& held = Held(file);
  held.base.pMethods = nullptr;
  held.real = reinterpret_cast<sqlite3_file*>(&held + 1);
  held.run = nullptr;
  held.run_start = 0;
  held.run_size = 0;
  held.failed = SQLITE_OK;
  if ((flags & SQLITE_OPEN_MAIN_DB) != 0) {
    held.run = static_cast<unsigned char*>(sqlite3_malloc(kRunBytes));
    if (held.run == nullptr) return SQLITE_NOMEM;
  }
  std::memset(held.real, 0, static_cast<size_t>(real_vfs->szOsFile));
  const int rc = real_vfs->xOpen(real_vfs, name, held.real, flags, out_flags);
  if (rc != SQLITE_OK) {
    if (held.real->pMethods != nullptr) held.real->pMethods->xClose(held.real);
    sqlite3_free(held.run);
    held.run = nullptr;
    return rc;
  }
  held.base.pMethods = &kMethods;
  return SQLITE_OK;
}

sqlite3_vfs* Registered() {
  static sqlite3_vfs* const vfs = []() -> sqlite3_vfs* {
    if (sqlite3_initialize() != SQLITE_OK) return nullptr;
    real_vfs = sqlite3_vfs_find(nullptr);
    if (real_vfs == nullptr) return nullptr;
    // The system's own in every other respect: its methods take the same
    // settings (path lengths, its own data) from a copy as from the original.
    static sqlite3_vfs layer = *real_vfs;
    layer.szOsFile = static_cast<int>(sizeof(HeldFile)) + real_vfs->szOsFile;
    layer.pNext = nullptr;
    layer.zName = kName;
    layer.xOpen = Open;
    return sqlite3_vfs_register(&layer, 0) == SQLITE_OK ? &layer : nullptr;
  }();
  return vfs;
}

}  // namespace

const char* WriteBufferVfsName() { return Registered() != nullptr ? kName : nullptr; }

int FlushHeldWrites(sqlite3* db) {
  sqlite3_file* file = nullptr;
  if (db == nullptr || sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK ||
      file == nullptr || file->pMethods != &kMethods || Held(file).run == nullptr) {
    return SQLITE_OK;
  }
  return Flush(Held(file));
}

}  // namespace mendora
