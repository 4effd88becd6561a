// Per-file indexes shared by the tables of a pass.
#include "reader/page_index.h"

#include <algorithm>
#include <cstring>

#include "reader/jet_handle.h"

namespace mendora {

DataPageIndex::DataPageIndex(JetHandle& handle) {
  const uint32_t pages = handle.PageCount();
  for (uint32_t p = 1; p < pages; ++p) {
    if (ReadAltPage(handle, p) < handle.PageSize() || handle.alt_page[0] != kDataPageType) continue;
    pages_by_owner_[handle.AltPage().U32(kPageOwnerPos).value_or(0)].push_back(p);
  }
}

const std::vector<uint32_t>& DataPageIndex::PagesOf(uint32_t owner) const {
  static const std::vector<uint32_t> kNone;
  const auto found = pages_by_owner_.find(owner);
  return found == pages_by_owner_.end() ? kNone : found->second;
}

namespace {

// The most a claim takes: a byte of forms, 4 for its key's step, 5 for its
// page's and 2 and 3 for its slot's and column's.
constexpr uint32_t kMostEntryBytes = 15;

uint64_t ZigZag(int64_t n) { return (static_cast<uint64_t>(n) << 1) ^ static_cast<uint64_t>(n >> 63); }
int64_t UnZigZag(uint64_t n) { return static_cast<int64_t>(n >> 1) ^ -static_cast<int64_t>(n & 1); }

void Put(uint64_t value, uint32_t bytes, uint8_t*& out) {
  for (uint32_t i = 0; i < bytes; ++i) *out++ = static_cast<uint8_t>(value >> (8 * i));
}

uint64_t Take(uint32_t bytes, const uint8_t*& in) {
  uint64_t value = 0;
  for (uint32_t i = 0; i < bytes; ++i) value |= uint64_t{*in++} << (8 * i);
  return value;
}

// A claim starts with a byte of forms. With its top bit set it is the
// whole claim: the next row, read by the same column of another row of the
// same data page, whose slot differs by the low 7 bits (zigzagged), the
// most common step by far. Otherwise two bits give the form of the key's
// step (form 0 is one row), three the page's (form 1 is one page) and two
// the slot's, whose form 3 is a new column as well, rare enough to share it.
constexpr uint32_t kShort = 0x80;
constexpr uint32_t kKeyBytes[4] = {0, 1, 2, 4};
constexpr uint32_t kPageBytes[6] = {0, 0, 1, 2, 3, 5};
constexpr uint32_t kSlotBytes[4] = {0, 1, 2, 2};
constexpr uint32_t kNewColumn = 3;
constexpr uint32_t kColumnBytes = 3;

// The first form from `first` on whose bytes hold `value`.
template <size_t N>
uint32_t FormOf(uint64_t value, const uint32_t (&bytes)[N], uint32_t first) {
  uint32_t form = first;
  while (form + 1 < N && value >> (8 * bytes[form]) != 0) ++form;
  return form;
}

}  // namespace

uint32_t LongValueClaims::Encode(const Entry& before, const Entry& entry, uint8_t* out) {
  const uint32_t step = entry.key - before.key;
  const int64_t page_step = static_cast<int64_t>(entry.page - before.page);
  const uint64_t slot = ZigZag(static_cast<int64_t>(entry.slot) - before.slot);
  if (step == 1 && page_step == 0 && entry.column == before.column && slot < kShort) {
    *out = static_cast<uint8_t>(kShort | slot);
    return 1;
  }
  uint8_t* const start = out++;
  const uint32_t key_form = step == 1 ? 0 : FormOf(step, kKeyBytes, 1);
  const uint64_t page = ZigZag(page_step);
  const uint32_t page_form = page_step == 0 ? 0 : page_step == 1 ? 1 : FormOf(page, kPageBytes, 2);
  const uint32_t slot_form =
      entry.column != before.column ? kNewColumn : slot == 0 ? 0 : std::min(FormOf(slot, kSlotBytes, 1), 2u);
  *start = static_cast<uint8_t>(key_form | page_form << 2 | slot_form << 5);
  Put(step, kKeyBytes[key_form], out);
  Put(page, kPageBytes[page_form], out);
  Put(slot, kSlotBytes[slot_form], out);
  if (slot_form == kNewColumn) Put(ZigZag(static_cast<int64_t>(entry.column) - before.column), kColumnBytes, out);
  return static_cast<uint32_t>(out - start);
}

uint32_t LongValueClaims::Decode(const Entry& before, const uint8_t* in, Entry& entry) {
  const uint32_t forms = *in;
  if ((forms & kShort) != 0) {
    entry = before;
    entry.key += 1;
    entry.slot = static_cast<uint32_t>(before.slot + UnZigZag(forms & ~kShort));
    return 1;
  }
  const uint8_t* const start = in++;
  const uint32_t key_form = forms & 3, page_form = forms >> 2 & 7, slot_form = forms >> 5 & 3;
  entry.key = before.key + (key_form == 0 ? 1 : static_cast<uint32_t>(Take(kKeyBytes[key_form], in)));
  entry.page = before.page + (page_form == 1 ? 1 : static_cast<uint64_t>(UnZigZag(Take(kPageBytes[page_form], in))));
  entry.slot = static_cast<uint32_t>(before.slot + UnZigZag(Take(kSlotBytes[slot_form], in)));
  entry.column = before.column;
  if (slot_form == kNewColumn) entry.column = static_cast<uint32_t>(before.column + UnZigZag(Take(kColumnBytes, in)));
  return static_cast<uint32_t>(in - start);
}

uint32_t LongValueClaims::NewStorage() {
  if (storage_taken_ % kBlocksPerChunk == 0) {
    chunks_.push_back(std::make_unique<uint8_t[]>(size_t{kBlocksPerChunk} * kBlockBytes));
  }
  return storage_taken_++;
}

void LongValueClaims::Write(Block& block, const Entry* from, const Entry* to) {
  uint8_t* const out = Storage(block.storage);
  block.used = 0;
  Entry before;
  for (; from != to; before = *from++) {
    uint8_t bytes[kMostEntryBytes];
    const uint32_t n = Encode(before, *from, bytes);
    std::memcpy(out + block.used, bytes, n);
    block.used += n;
  }
}

void LongValueClaims::Rekey(Blocks::iterator& block, uint32_t first) {
  // Only a claim before every other comes first in a block that has claims:
  // the first block's key moves down, and stays below the next block's.
  if (block->first == first) return;
  Blocks::node_type node = blocks_.extract(block);
  node.key() = first;
  block = blocks_.insert(std::move(node)).position;
}

bool LongValueClaims::Claim(uint32_t page, uint32_t row, uint64_t owner) {
  Entry claim;
  // A long-value reference names its page in 24 bits and its row in 8.
  claim.key = (page & 0xFFFFFF) << 8 | (row & 0xFF);
  claim.page = owner >> 28;
  claim.slot = static_cast<uint32_t>(owner >> 16 & 0xFFF);
  claim.column = static_cast<uint32_t>(owner & 0xFFFF);

  const auto same_owner = [&claim](const Entry& entry) {
    return entry.page == claim.page && entry.slot == claim.slot && entry.column == claim.column;
  };

  uint8_t bytes[kMostEntryBytes];
  if (blocks_.empty() || claim.key > last_.key) {
    // Past every claim so far, as the rows of a long value read in file
    // order come: added to the last block, or to a new one when it is full.
    has_next_ = false;
    if (!blocks_.empty()) {
      Block& block = std::prev(blocks_.end())->second;
      const uint32_t n = Encode(last_, claim, bytes);
      if (block.used + n <= kBlockBytes) {
        std::memcpy(Storage(block.storage) + block.used, bytes, n);
        block.used += n;
        last_ = claim;
        ++size_;
        return true;
      }
    }
    Block block{NewStorage(), 0};
    Write(block, &claim, &claim + 1);
    blocks_.emplace_hint(blocks_.end(), claim.key, block);
    last_ = claim;
    ++size_;
    return true;
  }

  // The block that holds the key, or would: the last that starts at or
  // before it (the first for a key before every block). Rows read again in
  // file order (a second pass over a table) go on from the claim found
  // last instead of decoding its block from the start.
  Blocks::iterator found;
  uint32_t offset = 0;
  Entry before;
  if (has_next_ && claim.key > next_before_.key &&
      (std::next(next_block_) == blocks_.end() || claim.key < std::next(next_block_)->first)) {
    found = next_block_;
    offset = next_offset_;
    before = next_before_;
  } else {
    found = blocks_.upper_bound(claim.key);
    if (found != blocks_.begin()) --found;
  }
  Block& block = found->second;
  // The claim after the new one, when the block has one, is written again
  // as its step from the new one.
  uint8_t fresh[2 * kMostEntryBytes];
  uint32_t replaced = 0;
  uint32_t written = 0;
  {
    const uint8_t* const in = Storage(block.storage);
    while (offset < block.used) {
      Entry entry;
      const uint32_t n = Decode(before, in + offset, entry);
      if (entry.key > claim.key) {
        replaced = n;
        written = Encode(claim, entry, fresh + kMostEntryBytes);
        break;
      }
      if (entry.key == claim.key) {
        has_next_ = true;
        next_block_ = found;
        next_offset_ = offset + n;
        next_before_ = entry;
        return same_owner(entry);
      }
      offset += n;
      before = entry;
    }
  }
  has_next_ = false;
  ++size_;
  {
    const uint32_t step = Encode(before, claim, fresh);
    std::memmove(fresh + step, fresh + kMostEntryBytes, written);
    written += step;
    if (block.used - replaced + written <= kBlockBytes) {
      uint8_t* const data = Storage(block.storage);
      std::memmove(data + offset + written, data + offset + replaced, block.used - offset - replaced);
      std::memcpy(data + offset, fresh, written);
      block.used = block.used - replaced + written;
      if (offset == 0) Rekey(found, claim.key);
      return true;
    }
  }

  // The block is full: it is split. Each claim takes a byte at least, so a
  // block holds no more than kBlockBytes.
  Entry entries[kBlockBytes + 1];
  uint32_t count = 0;
  {
    const uint8_t* const in = Storage(block.storage);
    Entry previous;
    for (uint32_t at = 0; at < block.used; previous = entries[count++]) {
      at += Decode(previous, in + at, entries[count]);
    }
  }
  Entry* const at = std::lower_bound(entries, entries + count, claim.key,
                                     [](const Entry& entry, uint32_t key) { return entry.key < key; });
  std::copy_backward(at, entries + count, entries + count + 1);
  *at = claim;
  ++count;

  // Only the new claim and the one after it change, so it grew by two
  // claims' bytes at most.
  uint32_t sizes[kBlockBytes + 1];
  uint32_t total = 0;
  for (uint32_t i = 0; i < count; ++i) {
    sizes[i] = Encode(i == 0 ? Entry{} : entries[i - 1], entries[i], bytes);
    total += sizes[i];
  }
  // Split where half its bytes are: each half, its first claim written
  // again in full, stays within a block.
  uint32_t half = 1;
  for (uint32_t prefix = sizes[0]; half + 1 < count && prefix + sizes[half] <= total / 2; ++half) prefix += sizes[half];
  Block second{NewStorage(), 0};
  Rekey(found, entries[0].key);
  Write(block, entries, entries + half);
  Write(second, entries + half, entries + count);
  blocks_.emplace_hint(std::next(found), entries[half].key, second);
  return true;
}

}  // namespace mendora
