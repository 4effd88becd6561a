// Finding the pointers that moved rows leave behind.
#include "reader/moved_rows.h"

#include "reader/byte_cursor.h"
#include "reader/row_layout.h"
#include "reader/value.h"

namespace mendora {

void MovedRows::NotePage(ByteView page, const JetFormat& format, uint32_t number) {
  const std::optional<uint16_t> count = page.U16(format.RowCountPos);
  if (!count) return;
  for (uint32_t slot = 0; slot < *count; ++slot) {
    const std::optional<uint16_t> entry = page.U16(format.RowCountPos + 2u + 2u * slot);
    if (!entry) return;
    if ((*entry & kSlotDeletedMark) != kSlotOverflowFlag) continue;
    const std::optional<RowExtent> extent = RowBounds(page, format, static_cast<int>(slot));
    if (!extent || extent->size() < kOverflowPointerSize) continue;
    ByteCursor pointer(page, extent->start);
    const uint8_t row = pointer.U8();
    const RowPlace target{pointer.U24(), row};
    moved_[PlaceKey(RowPlace{number, slot})] = target;
  }
}

RowPlace MovedRows::Resolve(RowPlace place) const {
  const auto found = moved_.find(PlaceKey(place));
  return found == moved_.end() ? place : found->second;
}

}  // namespace mendora
