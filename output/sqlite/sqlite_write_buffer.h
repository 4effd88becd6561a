// Gathering SQLite's page writes into large ones.
//
// SQLite writes a new database one page at a time: a million-row save makes
// about fifty thousand system calls of 4 KiB, which on a virtual machine cost
// about as much again as the bytes they carry. The target's file is opened
// through a thin layer over the system's own file access that holds runs of
// pages written one after another and hands each run to the system in one
// write. Nothing about the file changes: the same bytes land at the same
// places, only in fewer calls.
//
// A held run is written before anything that could see the file otherwise:
// a read of those bytes, a size asked for, a truncation, a sync, a file
// control (a commit issues one) and the close. A write that fails fails
// every use of the file after it, so a save cannot go on, or be published,
// past bytes that never reached the disk.
#ifndef MENDORA_OUTPUT_SQLITE_SQLITE_WRITE_BUFFER_H_
#define MENDORA_OUTPUT_SQLITE_SQLITE_WRITE_BUFFER_H_

#include <sqlite3.h>

namespace mendora {

// The name to open a target with (sqlite3_open_v2's last argument), the
// layer registered on first use; null when it could not be, and the
// system's own file access is then used.
const char* WriteBufferVfsName();

// Writes out what the main database of `db` still holds back. SQLITE_OK,
// also for a database not opened through the layer; otherwise the error of
// the write that failed, then or earlier.
int FlushHeldWrites(sqlite3* db);

}  // namespace mendora

#endif  // MENDORA_OUTPUT_SQLITE_SQLITE_WRITE_BUFFER_H_
