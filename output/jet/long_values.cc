// Writing long values.
#include "output/jet/long_values.h"

#include <vector>

#include "reader/jet_format.h"

namespace mendora::jet {

namespace {

// A row never grows past this with inline values: the rest of it may still
// need the room.
constexpr size_t kInlineRowLimit = 2000;
// Free bytes that make a long-value page worth offering for new values.
constexpr uint32_t kUsefulRoom = 512;

Bytes Field(uint32_t word, RowAddress at) {
  Bytes field;
  PutU32(field, word);
  PutRowReference(field, at.row, at.page);
  PutU32(field, 0);
  return field;
}

}  // namespace

RowPageWriter& LongValueWriter::PagesFor(size_t column) {
  std::unique_ptr<RowPageWriter>& pages = columns_[column];
  if (!pages) pages = std::make_unique<RowPageWriter>(file_, kLongValueOwner);
  return *pages;
}

Bytes LongValueWriter::Write(size_t column, const Bytes& content, size_t row_size) {
  const auto length = static_cast<uint32_t>(content.size());
  // An empty value is its header alone, whatever the row's size: a row of
  // no bytes on a long-value page would lie past the page's end.
  if (content.empty() ||
      (content.size() <= kMaxInlineLongValue && row_size + kLongValueHeaderSize + content.size() <= kInlineRowLimit)) {
    Bytes field;
    PutU32(field, length | kLongValueInline);
    PutU32(field, 0);
    PutU32(field, 0);
    field += content;
    return field;
  }
  RowPageWriter& pages = PagesFor(column);
  if (content.size() <= MaxRowSize()) {
    return Field(length | kLongValueSingleRow, pages.Add(content));
  }
  // A chain, written from its end so that each row can name the next.
  const size_t chunk = MaxRowSize() - kLongValueChainHeaderSize;
  const size_t count = (content.size() + chunk - 1) / chunk;
  RowAddress next{};
  for (size_t k = count; k-- > 0;) {
    Bytes row;
    PutRowReference(row, next.row, next.page);
    row.append(content, k * chunk, chunk);
    next = pages.Add(row);
  }
  return Field(length, next);
}

void LongValueWriter::Flush() {
  for (auto& [column, pages] : columns_) pages->Flush();
}

const PageRuns* LongValueWriter::PagesOf(size_t column) const {
  auto found = columns_.find(column);
  return found == columns_.end() ? nullptr : &found->second->pages();
}

uint32_t LongValueWriter::PageWithRoom(size_t column) const {
  auto found = columns_.find(column);
  if (found == columns_.end()) return 0;
  return found->second->last_free() >= kUsefulRoom ? found->second->last_page() : 0;
}

}  // namespace mendora::jet
