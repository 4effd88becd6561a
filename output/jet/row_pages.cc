// Data pages and usage maps.
#include "output/jet/row_pages.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <stdexcept>

#include "reader/jet_format.h"

namespace mendora::jet {

namespace {

constexpr uint32_t kRowCountPos = 12;

}  // namespace

uint32_t MaxRowSize() { return kPageSize - kJet4RowOffsetsPos - 2; }

void PageRuns::Add(uint32_t page) {
  if (!runs_.empty() && runs_.back().first + runs_.back().second == page) {
    ++runs_.back().second;
    return;
  }
  runs_.emplace_back(page, 1);
}

uint64_t PageRuns::count() const {
  uint64_t n = 0;
  for (const auto& run : runs_) n += run.second;
  return n;
}

void RowPageWriter::Open() {
  page_.fill(0);
  page_[0] = kDataPageType;
  page_[1] = kPageMark;
  SetU32(page_.data() + kPageOwnerPos, owner_);
  number_ = file_.Allocate();
  pages_.Add(number_);
  rows_ = 0;
  top_ = kPageSize;
  open_ = true;
  SetU16(page_.data() + kPageFreeSpacePos, static_cast<uint16_t>(kPageSize - kJet4RowOffsetsPos));
}

bool RowPageWriter::Fits(size_t size) const {
  if (!open_ || rows_ >= max_rows_) return false;
  const uint32_t used = kJet4RowOffsetsPos + 2u * (rows_ + 1u);
  return top_ >= used && size <= top_ - used;
}

RowAddress RowPageWriter::Add(const Bytes& row, uint16_t flags) {
  if (row.size() > MaxRowSize()) throw std::length_error("a row of " + std::to_string(row.size()) + " bytes does not fit a page");
  if (!Fits(row.size())) {
    Flush();
    Open();
  }
  top_ -= static_cast<uint32_t>(row.size());
  std::memcpy(page_.data() + top_, row.data(), row.size());
  SetU16(page_.data() + kJet4RowOffsetsPos + 2u * rows_, static_cast<uint16_t>(top_ | flags));
  ++rows_;
  SetU16(page_.data() + kRowCountPos, rows_);
  SetU16(page_.data() + kPageFreeSpacePos, static_cast<uint16_t>(top_ - kJet4RowOffsetsPos - 2u * rows_));
  return RowAddress{number_, static_cast<uint8_t>(rows_ - 1)};
}

RowAddress RowPageWriter::AddOnNewPage(const Bytes& row, uint16_t flags) {
  Flush();
  Open();
  return Add(row, flags);
}

void RowPageWriter::Flush() {
  if (!open_) return;
  file_.Write(number_, page_.data());
  last_page_ = number_;
  last_free_ = top_ - kJet4RowOffsetsPos - 2u * rows_;
  open_ = false;
}

Bytes UsageMapRow(PageFile& file, const PageRuns& pages) {
  const uint32_t bitmap_bytes = kJet4UsageMapRowSize - 5;
  Bytes row;
  if (pages.empty() || pages.last() - pages.first() < bitmap_bytes * 8) {
    row.assign(kJet4UsageMapRowSize, '\0');
    row[0] = static_cast<char>(kInlineUsageMap);
    const uint32_t first = pages.first();
    SetU32(row, 1, first);
    for (const auto& [start, count] : pages.runs()) {
      for (uint32_t page = start; page < start + count; ++page) {
        const uint32_t bit = page - first;
        row[5 + bit / 8] = static_cast<char>(static_cast<uint8_t>(row[5 + bit / 8]) | (1u << (bit % 8)));
      }
    }
    return row;
  }
  const uint32_t span = (kPageSize - 4) * 8;
  const uint32_t slots = (kJet4UsageMapRowSize - 1) / 4;
  if (pages.last() / span >= slots) throw std::length_error("the pages lie beyond what a usage map covers");
  row.assign(kJet4UsageMapRowSize, '\0');
  row[0] = static_cast<char>(kReferenceUsageMap);
  // One bitmap page per slot that holds pages, built and written in turn.
  std::map<uint32_t, std::vector<uint8_t>> bitmaps;
  for (const auto& [start, count] : pages.runs()) {
    for (uint32_t page = start; page < start + count; ++page) {
      std::vector<uint8_t>& bitmap = bitmaps[page / span];
      if (bitmap.empty()) {
        bitmap.assign(kPageSize, 0);
        bitmap[0] = kUsageMapPageType;
        bitmap[1] = kPageMark;
      }
      const uint32_t bit = page % span;
      bitmap[4 + bit / 8] |= static_cast<uint8_t>(1u << (bit % 8));
    }
  }
  for (const auto& [slot, bitmap] : bitmaps) {
    const uint32_t number = file.Allocate();
    file.Write(number, bitmap.data());
    SetU32(row, 1 + 4 * slot, number);
  }
  return row;
}

}  // namespace mendora::jet
