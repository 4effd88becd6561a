// The slots of a page worked out once give every row the extent the
// slot-by-slot search gives it, on slot tables as damage leaves them and as
// sound pages order them.
#include "reader/row_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

namespace mendora {
namespace {

void PutU16(std::vector<uint8_t>& page, size_t at, uint16_t value) {
  if (at + 1 >= page.size()) return;
  page[at] = static_cast<uint8_t>(value);
  page[at + 1] = static_cast<uint8_t>(value >> 8);
}

TEST(PageSlotsTest, ExtentsAreThoseOfTheSlotBySlotSearch) {
  std::mt19937 random(7);
  for (const JetFormat* format : {&kJet3Format, &kJet4Format}) {
    for (int round = 0; round < 1000; ++round) {
      // Counts that run past the page, offsets shared, below the slot
      // table, past the page, with the flag bits set.
      const size_t size = format->PageSize;
      std::vector<uint8_t> page(size);
      const uint16_t count = round % 11 == 0 ? static_cast<uint16_t>(random()) : static_cast<uint16_t>(random() % 60);
      PutU16(page, format->RowCountPos, count);
      std::vector<uint16_t> used;
      for (uint32_t j = 0; j < count && format->RowCountPos + 2u + 2u * j + 1 < size; ++j) {
        uint16_t entry;
        switch (random() % 6) {
          case 0:
            entry = used.empty() ? 0 : used[random() % used.size()];
            break;
          case 1:
            entry = static_cast<uint16_t>(random());
            break;
          default:
            entry = static_cast<uint16_t>(format->RowCountPos + random() % (format->PageSize - format->RowCountPos));
        }
        if (random() % 5 == 0) entry |= random() % 2 == 0 ? kSlotOverflowFlag : kSlotDeletedMark;
        used.push_back(entry);
        PutU16(page, format->RowCountPos + 2u + 2u * j, entry);
      }
      // As a sound page orders them: starts falling from slot to slot (with
      // the same damage among them).
      if (round % 3 == 1) {
        const auto offset = [](uint16_t entry) { return entry & kSlotOffsetMask; };
        std::sort(used.begin(), used.end(), [&](uint16_t a, uint16_t b) { return offset(a) > offset(b); });
        used.erase(std::unique(used.begin(), used.end(), [&](uint16_t a, uint16_t b) { return offset(a) == offset(b); }),
                   used.end());
        PutU16(page, format->RowCountPos, static_cast<uint16_t>(used.size()));
        for (uint32_t j = 0; j < used.size(); ++j) PutU16(page, format->RowCountPos + 2u + 2u * j, used[j]);
      }
      const ByteView view(page.data(), page.size());
      const PageSlots slots(view, *format);
      for (uint32_t j = 0; j < slots.count() + 2; ++j) {
        const std::optional<RowExtent> expected = RowBounds(view, *format, static_cast<int>(j));
        const std::optional<RowExtent> got = slots.extent(j);
        ASSERT_EQ(expected.has_value(), got.has_value()) << "round " << round << " slot " << j;
        if (expected) {
          EXPECT_EQ(expected->start, got->start) << "round " << round << " slot " << j;
          EXPECT_EQ(expected->end, got->end) << "round " << round << " slot " << j;
        }
      }
    }
  }
}

}  // namespace
}  // namespace mendora
