// A reader of compound files: the file-system-in-a-file that Access 2000 to
// 2003 keep their forms, reports, macros and VBA project in (cut into the
// chunks of MSysAccessObjects), and that VBA projects are laid out as.
//
// The file is read from bytes in memory, some of which may be missing (a
// chunk that could not be read). Every number in it is checked: sector
// chains are followed at most once per sector, the directory tree is walked
// at most once per entry, and a stream is never longer than the bytes that
// can hold it. What cannot be read is said per stream; the rest is read.
#ifndef MENDORA_READER_COMPOUND_FILE_H_
#define MENDORA_READER_COMPOUND_FILE_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "reader/byte_view.h"
#include "reader/result.h"

namespace mendora {

inline constexpr uint8_t kCompoundSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

struct CompoundEntry {
  std::string name;  // UTF-8
  bool storage = false;  // a storage (a folder); else a stream
  std::vector<size_t> children;  // indexes into Entries(), storages and streams
  uint32_t start_sector = 0;
  uint64_t size = 0;
};

class CompoundFile {
 public:
  // `missing(offset, length)` says whether any of those bytes of `bytes` is
  // missing; null when all are there. The bytes must outlive the reader.
  using MissingBytes = std::function<bool(uint64_t offset, uint64_t length)>;

  // Reads the header, the allocation tables and the directory. False when
  // they cannot be read at all, with the reason in `problem()`; a directory
  // read only in part keeps the entries it could read, with the reason too.
  bool Open(ByteView bytes, MissingBytes missing = nullptr);

  // Entry 0 is the root storage.
  const std::vector<CompoundEntry>& Entries() const { return entries_; }
  // The bytes of stream `entry`; a failure when they cannot be read whole.
  Result<std::string> ReadStream(size_t entry) const;
  const std::string& problem() const { return problem_; }

 private:
  // The sectors of the chain that starts at `first`, through `table`; false
  // (with the reason) when it leaves the table, loops or runs too long.
  bool Chain(const std::vector<uint32_t>& table, uint32_t first, size_t max_sectors, std::vector<uint32_t>& sectors,
             std::string& problem) const;
  std::optional<ByteView> Sector(uint32_t sector) const;
  bool ReadChain(uint32_t first, uint64_t size, std::string& out, std::string& problem) const;
  void ReadDirectory(const std::vector<std::string>& raw);

  ByteView bytes_;
  MissingBytes missing_;
  uint32_t sector_size_ = 512;
  uint32_t mini_sector_size_ = 64;
  uint32_t mini_cutoff_ = 4096;
  std::vector<uint32_t> fat_;
  std::vector<uint32_t> mini_fat_;
  std::string mini_stream_;
  std::string mini_stream_problem_;
  std::vector<CompoundEntry> entries_;
  std::string problem_;
};

}  // namespace mendora

#endif  // MENDORA_READER_COMPOUND_FILE_H_
