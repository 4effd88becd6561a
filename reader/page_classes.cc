// Classifying pages for the walk over every page, and remembering the
// classes of pages read whole.
#include "reader/page_classes.h"

namespace mendora {

namespace {

uint64_t KeyOf(const PageClass& c) {
  return uint64_t{c.owner} << 16 | uint64_t{c.type} << 8 | (c.marked ? 2u : 0u) | (c.live ? 1u : 0u);
}

}  // namespace

bool HoldsLiveRows(ByteView page, const JetFormat& format) {
  if (page.U8(0).value_or(0) != kDataPageType) return false;
  const uint32_t slots = page.U16(format.RowCountPos).value_or(0);
  for (uint32_t j = 0; j < slots; ++j) {
    const std::optional<uint16_t> entry = page.U16(format.RowCountPos + 2u + 2u * j);
    if (!entry) break;
    if (!SlotHoldsNoRow(*entry)) return true;
  }
  return false;
}

size_t LiveRowsExtent(ByteView page, const JetFormat& format) {
  const uint32_t slots = page.U16(format.RowCountPos).value_or(0);
  for (uint32_t j = 0; j < slots; ++j) {
    const size_t at = format.RowCountPos + 2u + 2u * j;
    const std::optional<uint16_t> entry = page.U16(at);
    if (!entry || !SlotHoldsNoRow(*entry)) return at + 2;
  }
  return format.RowCountPos + 2u + 2u * slots;
}

PageClass ClassifyPage(ByteView page, const JetFormat& format) {
  PageClass c;
  c.type = page.U8(0).value_or(0);
  if (c.type == kDataPageType) {
    c.marked = page.U8(1).value_or(0) == kPageMark;
    c.live = HoldsLiveRows(page, format);
  }
  if (c.type == kDataPageType || c.type == kDefinitionPageType) c.owner = page.U32(kPageOwnerPos).value_or(0);
  return c;
}

void PageClasses::Note(const JetFormat& format, const void* cipher, uint32_t pages, uint32_t page,
                       const PageClass& c) {
  if (format_ != &format || cipher_ != cipher || of_page_.size() != pages) {
    *this = PageClasses();
    format_ = &format;
    cipher_ = cipher;
    of_page_.assign(pages, 0);
  }
  if (page >= of_page_.size()) return;
  uint8_t index = last_;
  if (index == 0 || !(classes_[index - 1] == c)) {
    const auto found = index_.find(KeyOf(c));
    if (found != index_.end()) {
      index = found->second;
    } else {
      if (classes_.size() >= kMostClasses) return;  // such a page is read by the walk as before
      classes_.push_back(c);
      index = static_cast<uint8_t>(classes_.size());
      index_.emplace(KeyOf(c), index);
    }
    last_ = index;
  }
  of_page_[page] = index;
}

std::optional<PageClass> PageClasses::Known(const JetFormat& format, const void* cipher, uint32_t page) const {
  if (format_ != &format || cipher_ != cipher || page >= of_page_.size() || of_page_[page] == 0) return std::nullopt;
  return classes_[of_page_[page] - 1];
}

}  // namespace mendora
