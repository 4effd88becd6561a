// Long values: the bytes of memo and OLE fields, stored inline in the row, in
// one row of a long-value page, or in a chain of such rows.
#ifndef MENDORA_READER_LONG_VALUE_H_
#define MENDORA_READER_LONG_VALUE_H_

#include <cstdint>
#include <string>

#include "reader/byte_view.h"
#include "reader/jet_handle.h"
#include "reader/row_layout.h"

namespace mendora {

class LongValueReader {
 public:
  explicit LongValueReader(JetHandle& handle) : handle_(handle) {}

  // Reads the stored bytes of the long-value field `field` (a view of the
  // row's page buffer, which is left as it was: long-value pages go to the
  // alternate buffer) into `out`. False when they cannot be read whole, with
  // the reason in `problem`; `out` then holds nothing.
  // `owner` names the field (see LongValueOwner): a long-value row another
  // field already took is not read again.
  bool Read(ByteView field, std::string& out, std::string& problem, uint64_t owner);

 private:
  // The extent of row `row` of long-value page `page`, read into the
  // alternate buffer (kept there for the next value on the same page).
  bool LoadRow(uint32_t page, uint32_t row, RowExtent& extent, std::string& problem);

  JetHandle& handle_;
  int64_t slots_page_ = -1;
  PageSlots slots_;
};

}  // namespace mendora

#endif  // MENDORA_READER_LONG_VALUE_H_
