// The storage tree of Access's application objects (see access_storage.h).
#include "reader/access_storage.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "reader/byte_cursor.h"
#include "reader/compound_file.h"
#include "reader/row_cursor.h"
#include "reader/system_rows.h"
#include "reader/table_def.h"
#include "reader/text_codec.h"

namespace mendora {

namespace {

// The chunks of MSysAccessObjects: the header row and the first byte row.
constexpr int64_t kObjectsHeaderChunk = 0;
constexpr size_t kObjectsLengthOffset = 4;
// More chunks than this many rows could hold is a lying header.
constexpr uint64_t kMaxCompoundBytes = uint64_t{1} << 31;

// Keeps the damage met while a storage table is read: a lost value is the
// stream of its row, the rest is said as it is.
class StorageDamage final : public DamageReporter {
 public:
  void Report(const DamageReport& report) override {
    if (LosesValue(report.kind) && report.page >= 0 && report.row >= 0) {
      values_.emplace(std::make_pair(report.page, report.row), report.detail);
    } else if (LosesRow(report.kind)) {
      ++rows_lost_;
      if (first_row_problem_.empty()) first_row_problem_ = Where(report) + report.detail;
    } else if (others_.size() < 20) {
      others_.push_back(Where(report) + report.detail);
    }
  }
  const std::string* ValueLost(uint32_t page, uint16_t slot) const {
    const auto found = values_.find({page, slot});
    return found == values_.end() ? nullptr : &found->second;
  }
  void Tell(const std::string& table, std::vector<std::string>& problems) const {
    if (rows_lost_ > 0) {
      problems.push_back(table + ": " + std::to_string(rows_lost_) + " damaged row" + (rows_lost_ == 1 ? "" : "s") +
                         " could not be read (" + first_row_problem_ + ")");
    }
    for (const std::string& other : others_) problems.push_back(table + ": " + other);
  }
  std::string First() const {
    if (!others_.empty()) return others_.front();
    return first_row_problem_;
  }

 private:
  static std::string Where(const DamageReport& report) {
    return report.page >= 0 ? "page " + std::to_string(report.page) + ": " : std::string();
  }
  std::map<std::pair<int64_t, int>, std::string> values_;
  size_t rows_lost_ = 0;
  std::string first_row_problem_;
  std::vector<std::string> others_;
};


// Opens one of the storage tables; null (with the reason told) when it
// cannot be read.
TableDefPtr OpenStorageTable(JetHandle& handle, const char* name, int32_t page, StorageDamage& damage,
                             std::vector<std::string>& problems, StorageRows& source) {
  TableDefPtr table = OpenTable(handle, name, kCatalogTable, page);
  if (!table) {
    const std::string why = damage.First();
    problems.push_back(std::string("the table ") + name + " could not be read" + (why.empty() ? "" : ": " + why));
    return nullptr;
  }
  source.table = name;
  for (const ColumnDef& column : table->columns) source.columns.push_back(column.name);
  return table;
}

}  // namespace

std::string_view PlainStorageName(std::string_view name) {
  if (!name.empty() && static_cast<unsigned char>(name.front()) < 0x20) name.remove_prefix(1);
  return name;
}

const StorageNode* StorageTree::Child(const StorageNode& parent, std::string_view name) const {
  for (const size_t child : parent.children) {
    if (SameNameIgnoringCase(PlainStorageName(nodes_[child].name), PlainStorageName(name))) return &nodes_[child];
  }
  return nullptr;
}

const StorageNode* StorageTree::Find(std::initializer_list<std::string_view> path) const {
  if (nodes_.empty()) return nullptr;
  const StorageNode* node = &nodes_[0];
  for (const std::string_view part : path) {
    node = Child(*node, part);
    if (node == nullptr) return nullptr;
  }
  return node;
}

void StorageTree::ReadStorageTable(JetHandle& handle, int32_t definition_page) {
  StorageDamage damage;
  ScopedDamageReporter redirect(handle, damage);
  TableDefPtr table = OpenStorageTable(handle, kAccessStorageTable, definition_page, damage, problems_, source_);
  if (!table) return;
  enum { kId, kParentId, kName, kType, kLv };
  const SystemColumns columns(*table, {"Id", "ParentId", "Name", "Type", "Lv"});
  if (!columns.HasAll()) {
    problems_.push_back("the table MSysAccessStorage lacks one of its columns Id, ParentId, Name, Type and Lv");
    return;
  }

  struct Entry {
    int64_t parent = 0;
    size_t node = 0;
  };
  std::map<int64_t, Entry> by_id;
  std::optional<size_t> root;
  RowCursor cursor(*table);
  Row row;
  while (cursor.Next(row)) {
    source_.rows.push_back(row);
    const std::optional<int64_t> row_id = columns.Integer(row, kId);
    const std::optional<int64_t> row_parent = columns.Integer(row, kParentId);
    if (!row_id || !row_parent || by_id.count(*row_id) != 0) continue;
    StorageNode node;
    node.name = columns.Text(row, kName);
    node.storage = columns.Integer(row, kType).value_or(kStorageRowStream) == kStorageRowStorage;
    if (!node.storage) {
      const Value& bytes = columns.Get(row, kLv);
      if (const std::string* lost = damage.ValueLost(row.page, row.slot)) {
        node.lost = *lost;
      } else {
        node.data = bytes.kind == ValueKind::kBytes ? bytes.bytes : std::string();
      }
    }
    const bool is_root = node.name == kAccessStorageRoot;
    by_id[*row_id] = Entry{*row_parent, nodes_.size()};
    if (is_root && !root) root = nodes_.size();
    nodes_.push_back(std::move(node));
  }
  damage.Tell(kAccessStorageTable, problems_);
  if (by_id.empty()) return;
  // Rows whose parent's row is gone, by the parent they name.
  std::map<int64_t, std::vector<int64_t>> orphans;
  for (const auto& [row_id, entry] : by_id) {
    if (entry.parent != row_id && by_id.count(entry.parent) == 0) orphans[entry.parent].push_back(row_id);
  }
  if (!root) {
    // The root's row is gone; the storages that stood under it still name
    // it as their parent.
    problems_.push_back("the root row of MSysAccessStorage is missing");
    StorageNode node;
    node.name = kAccessStorageRoot;
    node.storage = true;
    root = nodes_.size();
    nodes_.push_back(std::move(node));
    int64_t root_id = INT64_MIN;
    size_t best = 0;
    for (const auto& [parent, rows] : orphans) {
      const size_t containers = static_cast<size_t>(std::count_if(rows.begin(), rows.end(), [&](int64_t row) {
        const std::string_view name = PlainStorageName(nodes_[by_id[row].node].name);
        return name == "Forms" || name == "Reports" || name == "Scripts" || name == "Modules" || name == "VBA";
      }));
      if (containers > best) {
        best = containers;
        root_id = parent;
      }
    }
    if (root_id != INT64_MIN) {
      by_id[root_id] = Entry{root_id, *root};
      orphans.erase(root_id);
    }
  }
  // The root first, as node 0.
  std::swap(nodes_[0], nodes_[*root]);
  for (auto& [row_id, entry] : by_id) {
    if (entry.node == 0) {
      entry.node = *root;
    } else if (entry.node == *root) {
      entry.node = 0;
    }
  }
  for (const auto& [row_id, entry] : by_id) {
    if (entry.node == 0 || entry.parent == row_id) continue;
    const auto parent = by_id.find(entry.parent);
    if (parent == by_id.end()) continue;
    nodes_[entry.node].parent = parent->second.node;
    nodes_[parent->second.node].children.push_back(entry.node);
  }
  size_t orphan_rows = 0;
  for (const auto& [parent, rows] : orphans) {
    OrphanGroup group;
    for (const int64_t row : rows) group.nodes.push_back(by_id[row].node);
    orphan_rows += rows.size();
    orphans_.push_back(std::move(group));
  }
  if (orphan_rows > 0) {
    problems_.push_back(std::to_string(orphan_rows) + " row" + (orphan_rows == 1 ? "" : "s") +
                        " of MSysAccessStorage belong to a storage whose row is gone");
  }
}

size_t StorageTree::Adopt(size_t group, size_t parent, const std::string& name) {
  StorageNode node;
  node.name = name;
  node.storage = true;
  node.parent = parent;
  const size_t made = nodes_.size();
  nodes_.push_back(std::move(node));
  nodes_[parent].children.push_back(made);
  for (const size_t child : orphans_[group].nodes) {
    nodes_[child].parent = made;
    nodes_[made].children.push_back(child);
  }
  orphans_[group].nodes.clear();
  return made;
}

size_t StorageTree::StorageAt(size_t parent, const std::string& name) {
  if (const StorageNode* found = Child(nodes_[parent], name)) return static_cast<size_t>(found - nodes_.data());
  StorageNode node;
  node.name = name;
  node.storage = true;
  node.parent = parent;
  nodes_.push_back(std::move(node));
  nodes_[parent].children.push_back(nodes_.size() - 1);
  return nodes_.size() - 1;
}

void StorageTree::ReadObjectsTable(JetHandle& handle, int32_t definition_page) {
  StorageDamage damage;
  ScopedDamageReporter redirect(handle, damage);
  TableDefPtr table = OpenStorageTable(handle, kAccessObjectsTable, definition_page, damage, problems_, source_);
  if (!table) return;
  enum { kId, kData };
  const SystemColumns columns(*table, {"ID", "Data"});
  if (!columns.HasAll()) {
    problems_.push_back("the table MSysAccessObjects lacks its column ID or Data");
    return;
  }
  std::map<int64_t, std::string> chunks;
  RowCursor cursor(*table);
  Row row;
  while (cursor.Next(row)) {
    source_.rows.push_back(row);
    const std::optional<int64_t> chunk = columns.Integer(row, kId);
    const Value& bytes = columns.Get(row, kData);
    if (!chunk || *chunk < 0 || bytes.kind != ValueKind::kBytes) continue;
    if (damage.ValueLost(row.page, row.slot) != nullptr) continue;
    chunks.emplace(*chunk, bytes.bytes);
  }
  damage.Tell(kAccessObjectsTable, problems_);

  // Every chunk but the header is as long as the others (the last may be
  // cut); the most common length is theirs.
  std::map<size_t, size_t> lengths;
  for (const auto& [chunk, bytes] : chunks) {
    if (chunk != kObjectsHeaderChunk && !bytes.empty()) ++lengths[bytes.size()];
  }
  if (lengths.empty()) {
    problems_.push_back("MSysAccessObjects holds none of the compound file's chunks");
    return;
  }
  const size_t chunk_size =
      std::max_element(lengths.begin(), lengths.end(), [](const auto& a, const auto& b) { return a.second < b.second; })->first;
  const uint64_t last_chunk = static_cast<uint64_t>(chunks.rbegin()->first);
  uint64_t length = last_chunk * chunk_size;
  const auto header = chunks.find(kObjectsHeaderChunk);
  if (header == chunks.end()) {
    problems_.push_back("the header chunk of MSysAccessObjects is missing");
  } else if (header->second.size() >= kObjectsLengthOffset + 4) {
    const ByteView view(reinterpret_cast<const uint8_t*>(header->second.data()), header->second.size());
    const uint64_t stated = ByteCursor(view).U32At(kObjectsLengthOffset);
    // The header is believed while the chunks could hold the file; a
    // length past them is the last chunks gone.
    // It may also stop short of sectors the file uses (jet4-empty.mdb's
    // directory is the sector right after it), so the chunks that are there
    // are all taken.
    if (stated <= (last_chunk + 1024) * chunk_size) {
      const uint64_t held = (last_chunk - 1) * chunk_size + chunks.rbegin()->second.size();
      length = std::max(stated, held);
    }
  }
  // Never more than the chunks there are could hold: a damaged ID or header
  // must not make the reader allocate for chunks that do not exist.
  length = std::min({length, kMaxCompoundBytes, static_cast<uint64_t>(chunks.size() + 16) * chunk_size});
  std::string image(length, '\0');
  std::vector<std::pair<uint64_t, uint64_t>> missing;  // [from, to)
  size_t chunks_missing = 0;
  for (uint64_t chunk = 1; (chunk - 1) * chunk_size < length; ++chunk) {
    const uint64_t from = (chunk - 1) * chunk_size;
    const uint64_t to = std::min<uint64_t>(from + chunk_size, length);
    const auto found = chunks.find(static_cast<int64_t>(chunk));
    const size_t have = found == chunks.end() ? 0 : std::min<uint64_t>(found->second.size(), to - from);
    if (have > 0) image.replace(from, have, found->second, 0, have);
    if (from + have < to) {
      missing.emplace_back(from + have, to);
      ++chunks_missing;
    }
  }
  if (chunks_missing > 0) {
    problems_.push_back(std::to_string(chunks_missing) + " of the " + std::to_string((length + chunk_size - 1) / chunk_size) +
                        " chunks of MSysAccessObjects are missing or short");
  }
  const std::string holder = std::move(image);
  ReadCompoundFile(ByteView(reinterpret_cast<const uint8_t*>(holder.data()), holder.size()),
                   [&missing](uint64_t offset, uint64_t count) {
                     auto next = std::upper_bound(missing.begin(), missing.end(), std::make_pair(offset, UINT64_MAX));
                     if (next != missing.begin() && std::prev(next)->second > offset) return true;
                     return next != missing.end() && next->first < offset + count;
                   });
}

void StorageTree::ReadCompoundFile(ByteView bytes, const std::function<bool(uint64_t, uint64_t)>& missing) {
  CompoundFile file;
  if (!file.Open(bytes, missing)) {
    problems_.push_back(file.problem());
    return;
  }
  if (!file.problem().empty()) problems_.push_back(file.problem());
  nodes_.clear();
  for (size_t i = 0; i < file.Entries().size(); ++i) {
    const CompoundEntry& entry = file.Entries()[i];
    StorageNode node;
    node.name = entry.name;
    node.storage = entry.storage;
    node.children = entry.children;
    if (!entry.storage) {
      Result<std::string> stream = file.ReadStream(i);
      if (!stream) node.lost = stream.reason();
      node.data = stream.Take();
    }
    nodes_.push_back(std::move(node));
  }
  for (size_t i = 0; i < nodes_.size(); ++i) {
    for (const size_t child : nodes_[i].children) nodes_[child].parent = i;
  }
}

}  // namespace mendora
