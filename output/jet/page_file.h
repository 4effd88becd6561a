// The file a Jet database is built in: pages allocated in turn and written
// whole, at any time, by number.
//
// A page is written once it is complete; pages held back (a table
// definition, whose counts are known only at the table's end) are reserved
// first and written later. Pages are held in a window of 32 numbers and go to
// the system in runs of neighbours: most pages are written close to their
// order (a table's data page completes after the long-value pages that came
// next), and one call per page cost about as much again as the bytes. Any
// write that fails ends the save.
#ifndef MENDORA_OUTPUT_JET_PAGE_FILE_H_
#define MENDORA_OUTPUT_JET_PAGE_FILE_H_

#include <cstdint>
#include <memory>
#include <string>

namespace mendora::jet {

inline constexpr uint32_t kPageSize = 4096;

// Jet 4 page numbers are stored in 24 bits in row references.
inline constexpr uint32_t kMaxPages = 1u << 24;

class PageFile {
 public:
  // Writes into the open descriptor `fd` (not owned); `path` names it in
  // messages.
  PageFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

  // The next page number; the page must be written before the file is
  // complete. Throws TargetBroken when the file would outgrow what page
  // references can name.
  uint32_t Allocate();
  uint32_t page_count() const { return count_; }
  // Writes `data` (one page) as page `number`, now or with the pages
  // after it. Throws TargetBroken on failure.
  void Write(uint32_t number, const uint8_t* data);
  // Writes what is held back: the file is complete only after it. Throws
  // TargetBroken on failure.
  void Flush();
  // Flushes the file to disk. Throws TargetBroken on failure.
  void Sync();

 private:
  static constexpr uint32_t kWindowPages = 32;

  void WriteAt(uint64_t at, const uint8_t* data, size_t size);

  int fd_;
  std::string path_;
  uint32_t count_ = 0;
  // The pages held back: bit i of held_ says page window_first_ + i is in
  // the window's slot i.
  std::unique_ptr<uint8_t[]> window_ = std::make_unique<uint8_t[]>(size_t{kWindowPages} * kPageSize);
  uint32_t window_first_ = 0;
  uint32_t held_ = 0;
  static_assert(kWindowPages == 32, "held_ has a bit for each page of the window");
};

}  // namespace mendora::jet

#endif  // MENDORA_OUTPUT_JET_PAGE_FILE_H_
