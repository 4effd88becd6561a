// Reading long values.
#include "reader/long_value.h"

#include <algorithm>
#include <set>
#include <utility>

#include "reader/byte_cursor.h"
#include "reader/jet_format.h"

namespace mendora {

namespace {

constexpr uint32_t kChainRowHeaderSize = kLongValueChainHeaderSize;

std::string At(uint32_t row, uint32_t page) {
  return "row " + std::to_string(row) + " of long-value page " + std::to_string(page);
}

}  // namespace

bool LongValueReader::LoadRow(uint32_t page, uint32_t row, RowExtent& extent, std::string& problem) {
  if (ReadAltPage(handle_, page) < handle_.PageSize()) {
    problem = "long-value page " + std::to_string(page) + " cannot be read";
    slots_page_ = -1;
    return false;
  }
  if (slots_page_ != page) {
    slots_.Load(handle_.AltPage(), *handle_.format);
    slots_page_ = page;
  }
  const std::optional<RowExtent> found = slots_.extent(row);
  if (!found) {
    problem = At(row, page) + " lies outside its page";
    return false;
  }
  extent = *found;
  return true;
}

bool LongValueReader::Read(ByteView field, std::string& out, std::string& problem, uint64_t owner) {
  out.clear();
  problem.clear();
  if (field.size() < kLongValueHeaderSize) {
    problem = "its reference is cut short";
    return false;
  }
  ByteCursor reference(field);
  const uint32_t word = reference.U32At(0);
  const uint32_t total = word & kLongValueLengthMask;

  if ((word & kLongValueInline) != 0) {
    const uint32_t available = static_cast<uint32_t>(field.size()) - kLongValueHeaderSize;
    const uint32_t take = std::min(total, available);
    out.assign(reinterpret_cast<const char*>(field.data()) + kLongValueHeaderSize, take);
    return true;
  }

  uint32_t row = reference.U8At(4);
  uint32_t page = reference.U24At(5);
  RowExtent extent;

  if ((word & kLongValueSingleRow) != 0) {
    if (!handle_.long_value_claims.Claim(page, row, owner)) {
      problem = At(row, page) + " already holds another value";
      return false;
    }
    if (!LoadRow(page, row, extent, problem)) return false;
    const uint32_t take = total != 0 && total < extent.size() ? total : extent.size();
    out.assign(reinterpret_cast<const char*>(handle_.alt_page.data()) + extent.start, take);
    return true;
  }

  // A chain of long-value rows, each naming the next. The bytes are joined
  // first, since a character of a memo may straddle two rows. The stored
  // length is untrusted: a damaged one must not claim a gigabyte up front;
  // the bytes actually chained still grow the buffer as needed.
  out.reserve(std::min<uint32_t>(total, 1u << 20));
  std::set<std::pair<uint32_t, uint32_t>> visited;
  while (page != 0) {
    if (!visited.insert({page, row}).second) {
      problem = "its long-value chain loops at " + At(row, page);
      out.clear();
      return false;
    }
    // A row another value already took is damage: the first owner keeps it,
    // and no row of the file is read, or written out, twice.
    if (!handle_.long_value_claims.Claim(page, row, owner)) {
      problem = "its long-value chain runs into " + At(row, page) + ", which holds another value";
      out.clear();
      return false;
    }
    if (!LoadRow(page, row, extent, problem) || extent.size() < kChainRowHeaderSize) {
      if (problem.empty()) problem = At(row, page) + " is damaged";
      out.clear();
      return false;
    }
    const ByteView bytes = *handle_.AltPage().Sub(extent.start, extent.size());
    ByteCursor link(bytes);
    const uint32_t next_row = link.U8At(0);
    const uint32_t next_page = link.U24At(1);
    const uint32_t chunk = extent.size() - kChainRowHeaderSize;
    const uint32_t wanted = total > out.size() ? total - static_cast<uint32_t>(out.size()) : 0;
    const uint32_t take = total == 0 ? chunk : std::min(chunk, wanted);
    out.append(reinterpret_cast<const char*>(bytes.data()) + kChainRowHeaderSize, take);
    if (total != 0 && out.size() >= total) break;
    row = next_row;
    page = next_page;
  }
  return true;
}

}  // namespace mendora
