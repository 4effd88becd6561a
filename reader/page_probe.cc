// Telling a Jet file from anything else before a pass reads it.
#include "reader/page_probe.h"

#include <cstring>

#include "reader/byte_cursor.h"

namespace mendora {
namespace {


bool HasEngineName(ByteView page0) {
  for (const char* name : {"Standard Jet DB", "Standard ACE DB"}) {
    const size_t length = std::strlen(name) + 1;  // with its terminating NUL
    const std::optional<ByteView> stored = page0.Sub(kHeaderEngineNamePos, length);
    if (stored && std::memcmp(stored->data(), name, length) == 0) return true;
  }
  return false;
}

}  // namespace

bool IsValidHeaderPage(ByteView page0) {
  if (page0.U8(0) != kHeaderPageType || page0.U8(1) != kPageMark) return false;
  const std::optional<uint32_t> version = page0.U32(kHeaderVersionPos);
  return HasEngineName(page0) && version && *version <= 1;
}

bool LooksLikeJetPage(ByteView page, const JetFormat& format, uint32_t page_count) {
  if (page.size() < format.PageSize || page.U8(1) != kPageMark) return false;
  ByteCursor in(page);
  const uint8_t type = in.U8At(0);
  if (type == kDefinitionPageType) return page.U8(2) == 'V' && page.U8(3) == 'C';
  if (type != kDataPageType) return false;
  // A data page names its table's definition page and keeps its row offsets
  // inside itself.
  const uint32_t free_space = in.U16At(kPageFreeSpacePos);
  const uint32_t owner = in.U32At(kPageOwnerPos);
  const std::optional<uint16_t> rows = page.U16(format.RowCountPos);
  if (free_space > format.PageSize || owner == 0 || owner >= page_count || !rows) return false;
  const uint32_t table_end = format.RowCountPos + 2u + 2u * *rows;
  if (table_end > format.PageSize) return false;
  for (uint32_t i = 0; i < *rows; ++i) {
    const uint32_t offset = in.U16At(format.RowCountPos + 2u + 2u * i) & kSlotOffsetMask;
    if (offset != 0 && (offset < table_end || offset >= format.PageSize)) return false;
  }
  return true;
}

bool LooksLikeJetDatabase(JetHandle& handle) {
  if (ReadPage(handle, 0) != 0 && IsValidHeaderPage(ByteView(handle.page.data(), kJet3Format.PageSize))) return true;
  const uint32_t pages = handle.PageCount();
  bool found = false;
  for (uint32_t n = 1; n < pages && !found; ++n) {
    found = ReadPage(handle, n) == handle.PageSize() && LooksLikeJetPage(handle.Page(), *handle.format, pages);
  }
  ReadPage(handle, 0);
  return found;
}

}  // namespace mendora
