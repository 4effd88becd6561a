// What the walk over every page learns from a page's first bytes, and a
// record of it for the pages already read whole.
//
// The walk classifies each page of the file by its type, owner and slots.
// By the time it gets to a table's pages, the table's own reads have mostly
// brought them in whole, in read-ahead windows; classifying them there spares
// the walk a call to the system per page for bytes that were in memory once
// already. The record costs a byte a page.
#ifndef MENDORA_READER_PAGE_CLASSES_H_
#define MENDORA_READER_PAGE_CLASSES_H_

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

#include "reader/byte_view.h"
#include "reader/jet_format.h"

namespace mendora {

// A page as the walk sees it. Only data and definition pages tell more than
// their type: a data page its owner, its mark and whether a slot holds a
// live row, a definition page its owner.
struct PageClass {
  uint8_t type = 0;
  bool marked = false;  // byte 1 is the page mark (data pages)
  bool live = false;    // a data page with a slot that holds a live row
  uint32_t owner = 0;   // the definition page that owns it (data and definition pages)

  bool IsCatalogPage() const { return type == kDataPageType && marked && owner == kCatalogDefinitionPage; }
  bool operator==(const PageClass&) const = default;
};

// Whether a data page's slots hold a live row; reads the slot table up to
// the first live slot (LiveRowsExtent bytes of the page).
bool HoldsLiveRows(ByteView page, const JetFormat& format);
// How far into the page HoldsLiveRows reads: to the first live slot, or to
// the end of the slot table.
size_t LiveRowsExtent(ByteView page, const JetFormat& format);
// The class of a page from its bytes; a head cut short must reach
// LiveRowsExtent for a data page's class to be its whole page's.
PageClass ClassifyPage(ByteView page, const JetFormat& format);

class PageClasses {
 public:
  // Page `page`, read whole in `format` and decrypted by `cipher` (null
  // for none), has class `c`. Pages noted under another format or cipher
  // (an open that tried one first, stored bytes read before the keys were
  // known) are forgotten.
  // `pages` is the file's page count.
  void Note(const JetFormat& format, const void* cipher, uint32_t pages, uint32_t page, const PageClass& c);
  // The class noted for the page under that format and cipher, if any.
  std::optional<PageClass> Known(const JetFormat& format, const void* cipher, uint32_t page) const;

 private:
  // Distinct classes are few (two or three per table): the pages keep an
  // index into them, 0 for a page not noted. A page of a class past the
  // first 255 is not noted; the walk reads its head as it would have.
  static constexpr size_t kMostClasses = UINT8_MAX;
  const JetFormat* format_ = nullptr;
  const void* cipher_ = nullptr;
  std::vector<uint8_t> of_page_;  // sized once to the file's pages
  std::vector<PageClass> classes_;
  std::unordered_map<uint64_t, uint8_t> index_;
  uint8_t last_ = 0;  // the last class noted, which the next page mostly shares
};

}  // namespace mendora

#endif  // MENDORA_READER_PAGE_CLASSES_H_
