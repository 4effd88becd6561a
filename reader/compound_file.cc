// The compound-file reader (see compound_file.h).
#include "reader/compound_file.h"

#include <algorithm>
#include <cstring>

#include "reader/byte_cursor.h"
#include "reader/text_codec.h"

namespace mendora {

namespace {

// Sector numbers at or above this are markers, not sectors.
constexpr uint32_t kMaxRegularSector = 0xFFFFFFFAu;
constexpr uint32_t kEndOfChain = 0xFFFFFFFEu;
constexpr uint32_t kFreeSector = 0xFFFFFFFFu;
// Ours: the allocation-table entry lies in a sector that could not be read.
constexpr uint32_t kUnknownEntry = 0xFFFFFFFBu;
constexpr uint32_t kNoEntry = 0xFFFFFFFFu;

constexpr size_t kHeaderSize = 512;
constexpr size_t kHeaderDifatEntries = 109;
constexpr size_t kDirectoryEntrySize = 128;
constexpr uint8_t kEntryStorage = 1;
constexpr uint8_t kEntryStream = 2;
constexpr uint8_t kEntryRoot = 5;

}  // namespace

std::optional<ByteView> CompoundFile::Sector(uint32_t sector) const {
  const uint64_t offset = (static_cast<uint64_t>(sector) + 1) * sector_size_;
  if (!bytes_.Contains(offset, sector_size_)) return std::nullopt;
  if (missing_ && missing_(offset, sector_size_)) return std::nullopt;
  return bytes_.Sub(offset, sector_size_);
}

bool CompoundFile::Chain(const std::vector<uint32_t>& table, uint32_t first, size_t max_sectors,
                         std::vector<uint32_t>& sectors, std::string& problem) const {
  sectors.clear();
  uint32_t at = first;
  while (at != kEndOfChain) {
    if (at >= kMaxRegularSector || at >= table.size()) {
      problem = at == kFreeSector ? "a sector chain runs into a free sector"
                                  : "a sector chain names sector " + std::to_string(at) + ", outside the file";
      return false;
    }
    if (sectors.size() >= max_sectors) {
      problem = "a sector chain loops or runs longer than the file";
      return false;
    }
    sectors.push_back(at);
    at = table[at];
    if (at == kUnknownEntry) {
      problem = "a sector chain continues in a part of the allocation table that is missing";
      return false;
    }
  }
  return true;
}

bool CompoundFile::ReadChain(uint32_t first, uint64_t size, std::string& out, std::string& problem) const {
  std::vector<uint32_t> sectors;
  const size_t max_sectors = bytes_.size() / sector_size_ + 1;
  if (size > static_cast<uint64_t>(max_sectors) * sector_size_) {
    problem = "it claims " + std::to_string(size) + " bytes, more than the file holds";
    return false;
  }
  if (!Chain(fat_, first, max_sectors, sectors, problem)) return false;
  if (static_cast<uint64_t>(sectors.size()) * sector_size_ < size) {
    problem = "its sector chain ends after " + std::to_string(sectors.size() * sector_size_) + " of its " +
              std::to_string(size) + " bytes";
    return false;
  }
  out.clear();
  out.reserve(static_cast<size_t>(size));
  for (const uint32_t sector : sectors) {
    if (out.size() >= size) break;
    const std::optional<ByteView> bytes = Sector(sector);
    if (!bytes) {
      problem = "sector " + std::to_string(sector) + " is missing";
      return false;
    }
    const size_t take = static_cast<size_t>(std::min<uint64_t>(sector_size_, size - out.size()));
    out.append(reinterpret_cast<const char*>(bytes->data()), take);
  }
  return true;
}

bool CompoundFile::Open(ByteView bytes, MissingBytes missing) {
  bytes_ = bytes;
  missing_ = std::move(missing);
  entries_.clear();
  fat_.clear();
  mini_fat_.clear();
  mini_stream_.clear();
  problem_.clear();
  if (bytes.size() < kHeaderSize || std::memcmp(bytes.data(), kCompoundSignature, sizeof kCompoundSignature) != 0 ||
      (missing_ && missing_(0, kHeaderSize))) {
    problem_ = "the compound file's header is missing or damaged";
    return false;
  }
  ByteCursor header(bytes);
  const uint16_t sector_shift = header.U16At(0x1E);
  const uint16_t mini_shift = header.U16At(0x20);
  if ((sector_shift != 9 && sector_shift != 12) || mini_shift != 6) {
    problem_ = "the compound file's header gives sectors of 2^" + std::to_string(sector_shift) + " bytes";
    return false;
  }
  sector_size_ = 1u << sector_shift;
  mini_sector_size_ = 1u << mini_shift;
  mini_cutoff_ = header.U32At(0x38);
  if (mini_cutoff_ != 4096) mini_cutoff_ = 4096;
  const size_t max_sectors = bytes.size() / sector_size_ + 1;
  const uint32_t fat_sectors = header.U32At(0x2C);
  if (fat_sectors > max_sectors) {
    problem_ = "the compound file's header claims " + std::to_string(fat_sectors) + " allocation sectors";
    return false;
  }

  // Where the allocation table lies: 109 sectors named in the header, the
  // rest in a chain of sectors that each name more.
  std::vector<uint32_t> fat_at;
  for (size_t i = 0; i < kHeaderDifatEntries && fat_at.size() < fat_sectors; ++i) fat_at.push_back(header.U32At(0x4C + 4 * i));
  uint32_t difat = header.U32At(0x44);
  std::vector<bool> seen(max_sectors, false);
  while (fat_at.size() < fat_sectors && difat < kMaxRegularSector) {
    if (difat >= max_sectors || seen[difat]) break;
    seen[difat] = true;
    const std::optional<ByteView> sector = Sector(difat);
    if (!sector) break;
    const size_t per_sector = sector_size_ / 4 - 1;
    ByteCursor in(*sector);
    for (size_t i = 0; i < per_sector && fat_at.size() < fat_sectors; ++i) fat_at.push_back(in.U32At(4 * i));
    difat = in.U32At(4 * per_sector);
  }
  for (const uint32_t at : fat_at) {
    // Sectors past the last the file holds are of no chain.
    if (fat_.size() >= max_sectors) break;
    const std::optional<ByteView> sector = at < kMaxRegularSector ? Sector(at) : std::nullopt;
    ByteCursor in(sector.value_or(ByteView()));
    for (size_t i = 0; i < sector_size_ / 4; ++i) fat_.push_back(sector ? in.U32At(4 * i) : kUnknownEntry);
  }
  if (fat_.size() > max_sectors) fat_.resize(max_sectors);
  if (fat_.empty()) {
    problem_ = "the compound file's allocation table is missing";
    return false;
  }

  // The directory: 128-byte entries in a chain of sectors.
  std::vector<uint32_t> directory;
  std::string problem;
  if (!Chain(fat_, header.U32At(0x30), max_sectors, directory, problem)) {
    problem_ = "the compound file's directory cannot be followed: " + problem;
  }
  std::vector<std::string> raw;
  for (const uint32_t at : directory) {
    const std::optional<ByteView> sector = Sector(at);
    for (size_t i = 0; i < sector_size_ / kDirectoryEntrySize; ++i) {
      raw.push_back(sector ? std::string(reinterpret_cast<const char*>(sector->data()) + i * kDirectoryEntrySize,
                                         kDirectoryEntrySize)
                           : std::string());
    }
    if (!sector && problem_.empty()) problem_ = "a sector of the compound file's directory is missing";
  }
  if (raw.empty() || raw[0].empty()) {
    if (problem_.empty()) problem_ = "the compound file's root entry is missing";
    entries_.clear();
    return false;
  }
  ReadDirectory(raw);

  // Small streams live in the mini stream, the root entry's own stream,
  // allocated by the mini table.
  std::vector<uint32_t> mini_sectors;
  const uint32_t mini_fat_first = header.U32At(0x3C);
  if (mini_fat_first != kEndOfChain && mini_fat_first < kMaxRegularSector) {
    if (Chain(fat_, mini_fat_first, max_sectors, mini_sectors, problem)) {
      for (const uint32_t at : mini_sectors) {
        if (mini_fat_.size() >= bytes.size() / mini_sector_size_) break;
        const std::optional<ByteView> sector = Sector(at);
        ByteCursor in(sector.value_or(ByteView()));
        for (size_t i = 0; i < sector_size_ / 4; ++i) mini_fat_.push_back(sector ? in.U32At(4 * i) : kUnknownEntry);
      }
    } else {
      mini_stream_problem_ = "the table of small streams cannot be followed: " + problem;
    }
  }
  if (!ReadChain(entries_[0].start_sector, entries_[0].size, mini_stream_, problem) && mini_stream_problem_.empty()) {
    mini_stream_problem_ = "the stream that holds the small streams cannot be read: " + problem;
    mini_stream_.clear();
  }
  return true;
}

void CompoundFile::ReadDirectory(const std::vector<std::string>& raw) {
  struct Raw {
    std::string name;
    uint8_t type = 0;
    uint32_t left = kNoEntry, right = kNoEntry, child = kNoEntry;
    uint32_t start = 0;
    uint64_t size = 0;
  };
  std::vector<Raw> parsed(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i].empty()) continue;
    ByteCursor entry(ByteView(reinterpret_cast<const uint8_t*>(raw[i].data()), raw[i].size()));
    Raw& r = parsed[i];
    const uint16_t name_bytes = std::min<uint16_t>(entry.U16At(0x40), 64);
    r.name = Utf16LeToUtf8(entry.BytesAt(0, name_bytes >= 2 ? name_bytes - 2u : 0u));
    r.type = entry.U8At(0x42);
    r.left = entry.U32At(0x44);
    r.right = entry.U32At(0x48);
    r.child = entry.U32At(0x4C);
    r.start = entry.U32At(0x74);
    r.size = sector_size_ == 512 ? entry.U32At(0x78) : entry.U64At(0x78);
  }
  // Entries in the order of the tree: each storage's children are the
  // entries of the sibling tree under it. An entry met twice (a loop) is
  // taken once.
  std::vector<size_t> index_of(raw.size(), SIZE_MAX);
  std::vector<size_t> raw_of;
  entries_.clear();
  auto take = [&](size_t i) {
    index_of[i] = entries_.size();
    raw_of.push_back(i);
    CompoundEntry entry;
    entry.name = parsed[i].name;
    entry.storage = parsed[i].type == kEntryStorage || parsed[i].type == kEntryRoot;
    entry.start_sector = parsed[i].start;
    entry.size = parsed[i].size;
    entries_.push_back(std::move(entry));
  };
  take(0);
  std::vector<size_t> storages{0};
  while (!storages.empty()) {
    const size_t parent = storages.back();
    storages.pop_back();
    std::vector<uint32_t> stack{parsed[raw_of[parent]].child};
    while (!stack.empty()) {
      const uint32_t at = stack.back();
      stack.pop_back();
      if (at >= parsed.size() || index_of[at] != SIZE_MAX) continue;
      const Raw& r = parsed[at];
      if (r.type != kEntryStorage && r.type != kEntryStream) continue;
      take(at);
      entries_[parent].children.push_back(index_of[at]);
      if (r.type == kEntryStorage) storages.push_back(index_of[at]);
      stack.push_back(r.right);
      stack.push_back(r.left);
    }
  }
}

Result<std::string> CompoundFile::ReadStream(size_t index) const {
  std::string problem;
  if (index >= entries_.size() || entries_[index].storage) {
    return Fail("no such stream");
  }
  const CompoundEntry& entry = entries_[index];
  std::string out;
  if (entry.size >= mini_cutoff_) {
    if (!ReadChain(entry.start_sector, entry.size, out, problem)) return Fail(problem);
    return out;
  }
  if (!mini_stream_problem_.empty()) {
    return Fail(mini_stream_problem_);
  }
  std::vector<uint32_t> sectors;
  const size_t max_sectors = mini_stream_.size() / mini_sector_size_ + 1;
  if (entry.size == 0) return out;
  if (!Chain(mini_fat_, entry.start_sector, max_sectors, sectors, problem)) return Fail(problem);
  for (const uint32_t sector : sectors) {
    if (out.size() >= entry.size) break;
    const size_t offset = static_cast<size_t>(sector) * mini_sector_size_;
    if (offset + mini_sector_size_ > mini_stream_.size()) {
      return Fail("small-stream sector " + std::to_string(sector) + " lies outside the stream that holds them");
    }
    out.append(mini_stream_, offset, static_cast<size_t>(std::min<uint64_t>(mini_sector_size_, entry.size - out.size())));
  }
  if (out.size() < entry.size) {
    return Fail("its sector chain ends after " + std::to_string(out.size()) + " of its " + std::to_string(entry.size) +
                " bytes");
  }
  return out;
}

}  // namespace mendora
