// Parsing index pages and walking an index tree.
#include "reader/index_pages.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <unordered_set>

#include "reader/byte_cursor.h"

namespace mendora {

namespace {

// Deeper than any tree a file of 2^32 pages of entries can need.
constexpr int kMaxDepth = 32;

std::string EntryText(const IndexEntry& entry) {
  return "the entry for row " + std::to_string(entry.data_row) + " of page " + std::to_string(entry.data_page);
}

class TreeWalk {
 public:
  TreeWalk(JetHandle& handle, uint32_t owner,
           const std::function<void(const IndexPage&, const IndexEntry&)>& visit)
      : handle_(handle), format_(IndexPagesOf(handle)), owner_(owner), visit_(visit) {}

  IndexWalkResult Run(uint32_t root) {
    Visit(root, 0, 0);
    if (last_leaf_ != 0 && last_leaf_next_ != 0) {
      Problem(last_leaf_, "the last leaf names page " + std::to_string(last_leaf_next_) + " as the next");
    }
    return std::move(result_);
  }

 private:
  void Problem(uint32_t page, std::string detail) { result_.problems.push_back({page, std::move(detail)}); }

  // Visits the subtree at `number`; its last entry, when it has one.
  std::optional<IndexEntry> Visit(uint32_t number, int depth, uint32_t parent) {
    const std::string from = parent == 0 ? "the index's root" : "index page " + std::to_string(parent);
    if (number == 0 || number >= handle_.PageCount()) {
      Problem(parent, from + " names page " + std::to_string(number) + ", outside the file");
      return std::nullopt;
    }
    if (depth > kMaxDepth) {
      Problem(number, "the index is deeper than " + std::to_string(kMaxDepth) + " levels");
      return std::nullopt;
    }
    if (!visited_.insert(number).second) {
      Problem(number, from + " names page " + std::to_string(number) + ", which the index already holds");
      return std::nullopt;
    }
    PageBuffer buffer{};
    if (ReadPageInto(handle_, buffer, number) < handle_.PageSize()) {
      Problem(number, "page " + std::to_string(number) + " cannot be read");
      return std::nullopt;
    }
    ++result_.pages;
    Result<IndexPage> parsed = ParseIndexPage(ByteView(buffer.data(), handle_.PageSize()), format_, number);
    if (!parsed) {
      Problem(number, parsed.reason());
      return std::nullopt;
    }
    const IndexPage& page = *parsed;
    if (page.owner != owner_) {
      Problem(number, "index page " + std::to_string(number) + " belongs to the table of page " +
                          std::to_string(page.owner));
      return std::nullopt;
    }
    for (size_t i = 1; i < page.entries.size(); ++i) {
      if (CompareIndexEntries(page.entries[i - 1], page.entries[i]) >= 0) {
        Problem(number, EntryText(page.entries[i]) + " on index page " + std::to_string(number) +
                            " is out of order");
      }
    }
    return page.leaf ? VisitLeaf(page) : VisitNode(page, depth);
  }

  std::optional<IndexEntry> VisitLeaf(const IndexPage& page) {
    if (page.prev != last_leaf_) {
      Problem(page.number, "leaf " + std::to_string(page.number) + " names page " + std::to_string(page.prev) +
                               " as the leaf before it, not " + std::to_string(last_leaf_));
    }
    if (last_leaf_ != 0 && last_leaf_next_ != page.number) {
      Problem(last_leaf_, "leaf " + std::to_string(last_leaf_) + " names page " + std::to_string(last_leaf_next_) +
                              " as the next, not " + std::to_string(page.number));
    }
    last_leaf_ = page.number;
    last_leaf_next_ = page.next;
    for (const IndexEntry& entry : page.entries) {
      if (last_entry_ && CompareIndexEntries(*last_entry_, entry) >= 0) {
        Problem(page.number, EntryText(entry) + " on index page " + std::to_string(page.number) +
                                 " comes before the entries of the leaf before it");
      }
      ++result_.leaf_entries;
      visit_(page, entry);
    }
    if (!page.entries.empty()) last_entry_ = page.entries.back();
    if (page.entries.empty()) return std::nullopt;
    return page.entries.back();
  }

  std::optional<IndexEntry> VisitNode(const IndexPage& page, int depth) {
    std::optional<IndexEntry> last;
    for (const IndexEntry& entry : page.entries) {
      last = Visit(entry.child_page, depth + 1, page.number);
      if (last && CompareIndexEntries(*last, entry) != 0) {
        Problem(page.number, "index page " + std::to_string(page.number) + " says page " +
                                 std::to_string(entry.child_page) + " ends with " + EntryText(entry) +
                                 ", but it ends with " + EntryText(*last));
      }
    }
    if (page.tail != 0) last = Visit(page.tail, depth + 1, page.number);
    return last;
  }

  JetHandle& handle_;
  const IndexPageFormat& format_;
  const uint32_t owner_;
  const std::function<void(const IndexPage&, const IndexEntry&)>& visit_;
  IndexWalkResult result_;
  std::unordered_set<uint32_t> visited_;
  uint32_t last_leaf_ = 0;
  uint32_t last_leaf_next_ = 0;
  std::optional<IndexEntry> last_entry_;
};

}  // namespace

const IndexPageFormat& IndexPagesOf(const JetHandle& handle) {
  return handle.IsJet4() ? kJet4IndexPages : kJet3IndexPages;
}

int CompareIndexEntries(const IndexEntry& a, const IndexEntry& b) {
  const size_t common = std::min(a.key.size(), b.key.size());
  if (common > 0) {
    if (const int order = std::memcmp(a.key.data(), b.key.data(), common); order != 0) return order < 0 ? -1 : 1;
  }
  if (a.key.size() != b.key.size()) return a.key.size() < b.key.size() ? -1 : 1;
  if (a.data_page != b.data_page) return a.data_page < b.data_page ? -1 : 1;
  if (a.data_row != b.data_row) return a.data_row < b.data_row ? -1 : 1;
  return 0;
}

Result<IndexPage> ParseIndexPage(ByteView page, const IndexPageFormat& format, uint32_t number) {
  const std::string name = "index page " + std::to_string(number);
  const auto fail = [&](const std::string& why) { return Fail(name + ": " + why); };
  if (page.size() <= format.EntriesPos) return fail("the page is too small");
  ByteCursor in(page);
  const uint8_t type = in.U8At(0);
  if (type != kIndexLeafPageType && type != kIndexNodePageType) {
    return fail("it is a page of type " + std::to_string(type) + ", not an index page");
  }
  IndexPage out;
  out.number = number;
  out.leaf = type == kIndexLeafPageType;
  out.free_space = in.U16At(format.FreeSpacePos);
  out.owner = in.U32At(format.OwnerPos);
  out.prev = in.U32At(format.PrevPagePos);
  out.next = in.U32At(format.NextPagePos);
  out.tail = in.U32At(format.TailPagePos);
  out.prefix_length = format.PrefixLengthSize == 1 ? in.U8At(format.PrefixLengthPos) : in.U16At(format.PrefixLengthPos);
  const size_t prefix = out.prefix_length;
  std::vector<uint8_t> first_entry;
  std::vector<uint8_t> whole;

  const uint32_t pointers = kIndexRowPointerSize + (out.leaf ? 0 : kIndexChildPointerSize);
  const uint32_t mask_bits = (format.EntriesPos - format.EntryMaskPos) * 8u;
  uint32_t start = format.EntriesPos;
  for (uint32_t bit = 0; bit < mask_bits; ++bit) {
    if (((in.U8At(format.EntryMaskPos + bit / 8) >> (bit % 8)) & 1) == 0) continue;
    const uint32_t end = format.EntriesPos + bit;
    if (end > page.size()) return fail("an entry ends at byte " + std::to_string(end) + ", past the page");
    if (end <= start) return fail("an entry at byte " + std::to_string(start) + " is empty");
    // The shared prefix counts the first entry's row and child pointers too:
    // entries of one null key differ only in their rows.
    if (first_entry.empty()) {
      const ByteView bytes = in.BytesAt(start, end - start);
      first_entry.assign(bytes.data(), bytes.data() + bytes.size());
      whole = first_entry;
    } else {
      if (prefix > first_entry.size()) {
        return fail("its shared prefix of " + std::to_string(prefix) + " bytes is longer than its first entry");
      }
      whole.assign(first_entry.begin(), first_entry.begin() + prefix);
      const ByteView bytes = in.BytesAt(start, end - start);
      whole.insert(whole.end(), bytes.data(), bytes.data() + bytes.size());
    }
    if (whole.size() < pointers) {
      return fail("the entry at byte " + std::to_string(start) + " is too short to name a row");
    }
    IndexEntry entry;
    const size_t own = whole.size() - pointers;
    entry.key.assign(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(own));
    ByteCursor pointer(ByteView(whole.data(), whole.size()));
    entry.data_page = pointer.BigEndianAt(own, 3);
    entry.data_row = pointer.U8At(own + 3);
    if (!out.leaf) entry.child_page = pointer.BigEndianAt(own + kIndexRowPointerSize, 4);
    out.entries.push_back(std::move(entry));
    start = end;
  }
  if (start + out.free_space != page.size()) {
    return fail("its entries end at byte " + std::to_string(start) + " and its free space of " +
                std::to_string(out.free_space) + " bytes does not make the rest of the page");
  }
  return out;
}

IndexWalkResult WalkIndex(JetHandle& handle, uint32_t root, uint32_t owner,
                          const std::function<void(const IndexPage& leaf, const IndexEntry& entry)>& visit) {
  return TreeWalk(handle, owner, visit).Run(root);
}

}  // namespace mendora
