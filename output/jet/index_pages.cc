// Building index pages.
#include "output/jet/index_pages.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <memory>
#include <queue>
#include <string_view>

#include "output/common/target_error.h"
#include "reader/jet_format.h"

namespace mendora::jet {

namespace {

constexpr uint32_t kEntriesPos = 0x1E0;
constexpr uint32_t kMaskPos = 0x1B;
constexpr uint32_t kEntryRoom = kPageSize - kEntriesPos;
// Access leaves about a tenth of a page free when it builds an index whole,
// so the first rows added later need no split.
constexpr uint32_t kFillLimit = kEntryRoom - kEntryRoom / 10;
constexpr uint32_t kNodeMarkPos = 0x1A;

struct Entry {
  std::string bytes;  // key, then the row pointer
  uint32_t key_length = 0;
  bool whole = true;  // every column of the key holds a value
};

constexpr uint32_t kWholeKeyBit = 0x80000000;

int CompareEntries(const char* a, size_t an, const char* b, size_t bn) {
  const int c = std::memcmp(a, b, std::min(an, bn));
  if (c != 0) return c;
  return an < bn ? -1 : an > bn ? 1 : 0;
}

// Reads the sorted entries of one run back from the spill file.
class RunReader {
 public:
  RunReader(std::FILE* file, long offset, uint64_t entries) : file_(file), offset_(offset), left_(entries) {}
  bool Next(Entry& entry) {
    if (left_ == 0) return false;
    if (std::fseek(file_, offset_, SEEK_SET) != 0) throw TargetBroken("cannot read back the sorted index entries");
    uint32_t sizes[2];
    if (std::fread(sizes, sizeof sizes, 1, file_) != 1) throw TargetBroken("cannot read back the sorted index entries");
    entry.key_length = sizes[0] & ~kWholeKeyBit;
    entry.whole = (sizes[0] & kWholeKeyBit) != 0;
    entry.bytes.resize(sizes[1]);
    if (sizes[1] != 0 && std::fread(entry.bytes.data(), sizes[1], 1, file_) != 1) {
      throw TargetBroken("cannot read back the sorted index entries");
    }
    offset_ = std::ftell(file_);
    --left_;
    return true;
  }

 private:
  std::FILE* file_;
  long offset_;
  uint64_t left_;
};

// One level of the tree being built: its page in the making.
class Level {
 public:
  Level(PageFile& file, uint32_t owner, bool leaf, BuiltIndex& built) : file_(file), owner_(owner), leaf_(leaf), built_(built) {}

  // Adds an entry (leaf) or a child's last entry and page (node). Returns
  // a completed page's last entry and number through `done` when adding
  // closed a page.
  bool Add(const Entry& entry, uint32_t child, Entry& done_last, uint32_t& done_page) {
    bool closed = false;
    if (leaf_) {
      if (!entries_.empty() && !FitsLeaf(entry)) {
        closed = true;
        Close(done_last, done_page, false);
      }
      Push(entry, child);
      return closed;
    }
    // A node's last child is its tail, named by no entry: an entry is
    // written for the child before it once another child arrives.
    if (!entries_.empty() && NodeUsed() + NodeEntrySize(entries_.back()) > kFillLimit) {
      closed = true;
      Close(done_last, done_page, false);
    }
    Push(entry, child);
    return closed;
  }

  bool empty() const { return entries_.empty(); }
  size_t size() const { return entries_.size(); }
  // Writes the last page of this level.
  void Finish(Entry& last, uint32_t& page) { Close(last, page, true); }

 private:
  void Push(const Entry& entry, uint32_t child) {
    if (entries_.empty()) {
      prefix_ = entry.key_length;
      total_ = 0;
    } else {
      const Entry& first = entries_.front();
      uint32_t common = 0;
      const uint32_t limit = std::min({prefix_, entry.key_length, first.key_length});
      while (common < limit && entry.bytes[common] == first.bytes[common]) ++common;
      prefix_ = common;
    }
    total_ += static_cast<uint32_t>(entry.bytes.size());
    entries_.push_back(entry);
    children_.push_back(child);
  }

  uint32_t LeafUsed(uint32_t prefix, size_t count, uint32_t total) const {
    return total - static_cast<uint32_t>(count > 0 ? count - 1 : 0) * prefix;
  }

  bool FitsLeaf(const Entry& entry) const {
    const Entry& first = entries_.front();
    uint32_t common = 0;
    const uint32_t limit = std::min({prefix_, entry.key_length, first.key_length});
    while (common < limit && entry.bytes[common] == first.bytes[common]) ++common;
    return LeafUsed(common, entries_.size() + 1, total_ + static_cast<uint32_t>(entry.bytes.size())) <= kFillLimit;
  }

  static uint32_t NodeEntrySize(const Entry& entry) { return static_cast<uint32_t>(entry.bytes.size()) + 4; }
  uint32_t NodeUsed() const {
    uint32_t used = 0;
    for (size_t i = 0; i + 1 < entries_.size(); ++i) used += NodeEntrySize(entries_[i]);
    return used;
  }

  void Close(Entry& last, uint32_t& page_number, bool final_page) {
    const uint32_t number = current_ != 0 ? current_ : file_.Allocate();
    // The next page of this level gets its number now, so this one can
    // name it.
    const uint32_t next = final_page ? 0 : file_.Allocate();
    std::array<uint8_t, kPageSize> page{};
    page[0] = leaf_ ? kIndexLeafPageType : kIndexNodePageType;
    page[1] = kPageMark;
    SetU32(page.data() + kJet4IndexPages.OwnerPos, owner_);
    SetU32(page.data() + kJet4IndexPages.PrevPagePos, previous_);
    SetU32(page.data() + kJet4IndexPages.NextPagePos, next);
    uint32_t at = 0;
    const auto mark_end = [&] {
      page[kMaskPos + at / 8] |= static_cast<uint8_t>(1u << (at % 8));
    };
    if (leaf_) {
      SetU16(page.data() + kJet4IndexPages.PrefixLengthPos, static_cast<uint16_t>(entries_.size() > 1 ? prefix_ : 0));
      for (size_t i = 0; i < entries_.size(); ++i) {
        const std::string& bytes = entries_[i].bytes;
        const uint32_t skip = i == 0 || entries_.size() < 2 ? 0 : prefix_;
        std::memcpy(page.data() + kEntriesPos + at, bytes.data() + skip, bytes.size() - skip);
        at += static_cast<uint32_t>(bytes.size() - skip);
        mark_end();
      }
    } else {
      page[kNodeMarkPos] = 0x01;
      for (size_t i = 0; i + 1 < entries_.size(); ++i) {
        const std::string& bytes = entries_[i].bytes;
        std::memcpy(page.data() + kEntriesPos + at, bytes.data(), bytes.size());
        at += static_cast<uint32_t>(bytes.size());
        Bytes child;
        PutBigU32(child, children_[i]);
        std::memcpy(page.data() + kEntriesPos + at, child.data(), 4);
        at += 4;
        mark_end();
      }
      SetU32(page.data() + kJet4IndexPages.TailPagePos, children_.back());
    }
    SetU16(page.data() + kJet4IndexPages.FreeSpacePos, static_cast<uint16_t>(kEntryRoom - at));
    file_.Write(number, page.data());
    built_.pages.Add(number);
    last = entries_.back();
    page_number = number;
    previous_ = number;
    current_ = next;
    entries_.clear();
    children_.clear();
  }

  PageFile& file_;
  uint32_t owner_;
  bool leaf_;
  BuiltIndex& built_;
  std::vector<Entry> entries_;
  std::vector<uint32_t> children_;
  uint32_t prefix_ = 0;
  uint32_t total_ = 0;
  uint32_t previous_ = 0;
  uint32_t current_ = 0;  // the number this level's page in the making will have, once given
};

// Builds the tree from entries given in order.
class TreeBuilder {
 public:
  TreeBuilder(PageFile& file, uint32_t owner, BuiltIndex& built) : file_(file), owner_(owner), built_(built) {}

  void Add(const Entry& entry) { AddAt(0, entry, 0); }

  uint32_t Finish() {
    if (levels_.empty()) {
      // An empty index is one empty leaf.
      std::array<uint8_t, kPageSize> page{};
      page[0] = kIndexLeafPageType;
      page[1] = kPageMark;
      SetU32(page.data() + kJet4IndexPages.OwnerPos, owner_);
      SetU16(page.data() + kJet4IndexPages.FreeSpacePos, static_cast<uint16_t>(kEntryRoom));
      const uint32_t number = file_.Allocate();
      file_.Write(number, page.data());
      built_.pages.Add(number);
      return number;
    }
    for (size_t level = 0; level < levels_.size(); ++level) {
      Entry last;
      uint32_t page = 0;
      // A level holding one page whose parent level is empty is the root.
      const bool top = level + 1 == levels_.size();
      levels_[level]->Finish(last, page);
      if (top) return page;
      AddAt(level + 1, last, page);
    }
    return 0;
  }

 private:
  void AddAt(size_t level, const Entry& entry, uint32_t child) {
    if (levels_.size() <= level) levels_.push_back(std::make_unique<Level>(file_, owner_, level == 0, built_));
    Entry done;
    uint32_t page = 0;
    if (levels_[level]->Add(entry, child, done, page)) AddAt(level + 1, done, page);
  }

  PageFile& file_;
  uint32_t owner_;
  BuiltIndex& built_;
  std::vector<std::unique_ptr<Level>> levels_;
};

}  // namespace

IndexPagesBuilder::IndexPagesBuilder(uint32_t owner, size_t memory_budget) : owner_(owner), budget_(memory_budget) {}

IndexPagesBuilder::~IndexPagesBuilder() {
  if (spill_ != nullptr) std::fclose(spill_);
}

void IndexPagesBuilder::Add(const std::string& key, RowAddress at, bool whole) {
  static_assert(kWholeKey == kWholeKeyBit);
  const auto offset = static_cast<uint32_t>(arena_.size());
  arena_ += key;
  PutBigU24(arena_, at.page);
  PutU8(arena_, at.row);
  // Keys are a few hundred bytes at most: the top bit of the length is free.
  held_.push_back(Held{offset, static_cast<uint32_t>(key.size()) | (whole ? kWholeKey : 0), static_cast<uint32_t>(key.size() + 4)});
  if (arena_.size() + held_.size() * sizeof(Held) >= budget_) SpillRun();
}

void IndexPagesBuilder::SpillRun() {
  if (held_.empty()) return;
  const char* base = arena_.data();
  std::sort(held_.begin(), held_.end(), [base](const Held& a, const Held& b) {
    return CompareEntries(base + a.offset, a.length, base + b.offset, b.length) < 0;
  });
  if (spill_ == nullptr) {
    spill_ = std::tmpfile();
    if (spill_ == nullptr) throw TargetBroken("cannot make a temporary file for the index entries");
  }
  if (std::fseek(spill_, 0, SEEK_END) != 0) throw TargetBroken("cannot write the sorted index entries");
  const long start = std::ftell(spill_);
  for (const Held& held : held_) {
    const uint32_t sizes[2] = {held.key_length, held.length};
    if (std::fwrite(sizes, sizeof sizes, 1, spill_) != 1 || std::fwrite(base + held.offset, held.length, 1, spill_) != 1) {
      throw TargetBroken("cannot write the sorted index entries to a temporary file");
    }
  }
  if (std::fflush(spill_) != 0) throw TargetBroken("cannot write the sorted index entries to a temporary file");
  runs_.emplace_back(start, held_.size());
  held_.clear();
  arena_.clear();
}

BuiltIndex IndexPagesBuilder::Build(PageFile& file, std::vector<uint64_t>* whole_keys) {
  BuiltIndex built;
  TreeBuilder tree(file, owner_, built);
  std::string previous_key;
  bool any = false;
  bool previous_whole = false;
  const auto take = [&](const Entry& entry) {
    const std::string_view key(entry.bytes.data(), entry.key_length);
    if (!any || key != previous_key) {
      ++built.distinct_keys;
    } else if (entry.whole && previous_whole) {
      ++built.repeated_keys;
    }
    if (whole_keys != nullptr && entry.whole) whole_keys->push_back(std::hash<std::string_view>{}(key));
    previous_key.assign(key);
    previous_whole = entry.whole;
    any = true;
    ++built.entries;
    tree.Add(entry);
  };
  if (runs_.empty()) {
    const char* base = arena_.data();
    std::sort(held_.begin(), held_.end(), [base](const Held& a, const Held& b) {
      return CompareEntries(base + a.offset, a.length, base + b.offset, b.length) < 0;
    });
    Entry entry;
    for (const Held& held : held_) {
      entry.bytes.assign(base + held.offset, held.length);
      entry.key_length = held.key_length & ~kWholeKey;
      entry.whole = (held.key_length & kWholeKey) != 0;
      take(entry);
    }
  } else {
    SpillRun();
    std::vector<RunReader> readers;
    for (const auto& [offset, count] : runs_) readers.emplace_back(spill_, offset, count);
    std::vector<Entry> heads(readers.size());
    const auto later = [&](size_t a, size_t b) {
      return CompareEntries(heads[a].bytes.data(), heads[a].bytes.size(), heads[b].bytes.data(), heads[b].bytes.size()) > 0;
    };
    std::priority_queue<size_t, std::vector<size_t>, decltype(later)> queue(later);
    for (size_t i = 0; i < readers.size(); ++i) {
      if (readers[i].Next(heads[i])) queue.push(i);
    }
    while (!queue.empty()) {
      const size_t i = queue.top();
      queue.pop();
      take(heads[i]);
      if (readers[i].Next(heads[i])) queue.push(i);
    }
  }
  held_.clear();
  arena_.clear();
  arena_.shrink_to_fit();
  held_.shrink_to_fit();
  built.root = tree.Finish();
  return built;
}

}  // namespace mendora::jet
