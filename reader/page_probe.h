// Telling a Jet file from anything else before a pass reads it.
//
// The header's engine name is often what damage hits first, so a file
// without a valid header still counts as a database when its pages look
// like Jet pages; only a file with neither is refused.
#ifndef MENDORA_READER_PAGE_PROBE_H_
#define MENDORA_READER_PAGE_PROBE_H_

#include <cstdint>

#include "reader/byte_view.h"
#include "reader/jet_format.h"
#include "reader/jet_handle.h"

namespace mendora {

// Whether `page0` starts with an intact Jet 3 or Jet 4 header: the page
// type, the engine name ("Standard Jet DB" or "Standard ACE DB") and a
// version this reader knows.
bool IsValidHeaderPage(ByteView page0);

// Whether `page` has the shape of a data page or a table definition page in
// `format`, in a file of `page_count` pages.
bool LooksLikeJetPage(ByteView page, const JetFormat& format, uint32_t page_count);

// Whether the open file has a valid header, or else any page after the
// header that looks like a Jet page. Leaves the page buffer holding page 0.
bool LooksLikeJetDatabase(JetHandle& handle);

}  // namespace mendora

#endif  // MENDORA_READER_PAGE_PROBE_H_
