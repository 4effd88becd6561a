// Rows moved to another page: an index entry names a row by the slot it
// was first stored in, and a row that outgrew its page left there only a
// pointer to where it lies now.
#ifndef MENDORA_READER_MOVED_ROWS_H_
#define MENDORA_READER_MOVED_ROWS_H_

#include <cstdint>
#include <unordered_map>

#include "reader/byte_view.h"
#include "reader/jet_format.h"

namespace mendora {

struct RowPlace {
  uint32_t page = 0;
  uint32_t slot = 0;
  bool operator==(const RowPlace&) const = default;
};

inline uint64_t PlaceKey(RowPlace place) { return static_cast<uint64_t>(place.page) << 16 | (place.slot & 0xFFFF); }

class MovedRows {
 public:
  // Notes the live pointer slots of data page `number` (its bytes in `page`).
  void NotePage(ByteView page, const JetFormat& format, uint32_t number);
  // Where the row an index entry names at `place` lies: the pointer's
  // target, or `place` itself.
  RowPlace Resolve(RowPlace place) const;
  size_t size() const { return moved_.size(); }

 private:
  std::unordered_map<uint64_t, RowPlace> moved_;
};

}  // namespace mendora

#endif  // MENDORA_READER_MOVED_ROWS_H_
