// The tree of storages and streams in which Access keeps its forms,
// reports, macros and VBA project, read from either of its two homes.
//
// Access 2007 and later (and Access 2000-format files saved by them) keep
// the tree in MSysAccessStorage, one row per storage or stream: Id,
// ParentId, Name, Type (1 storage, 2 stream) and Lv, the stream's bytes; the
// root is the row named MSysAccessStorage_ROOT. Access 2000 to 2003 keep one
// compound file in MSysAccessObjects, cut into rows of ID and Data: the row
// of ID 0 holds a header whose second 32-bit number is the file's length,
// and the rows from ID 1 on hold its bytes in order, each as long as the
// first of them.
//
// Both give the same tree. Damage loses only what it touches: a stream whose
// row or chunks could not be read is kept with the reason, and a storage
// whose row is gone takes its children with it (they are counted).
#ifndef MENDORA_READER_ACCESS_STORAGE_H_
#define MENDORA_READER_ACCESS_STORAGE_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "reader/jet_handle.h"
#include "reader/value.h"

namespace mendora {

inline constexpr const char* kAccessStorageTable = "MSysAccessStorage";
inline constexpr const char* kAccessObjectsTable = "MSysAccessObjects";
inline constexpr const char* kAccessStorageRoot = "MSysAccessStorage_ROOT";
inline constexpr int64_t kStorageRowStorage = 1;
inline constexpr int64_t kStorageRowStream = 2;

struct StorageNode {
  std::string name;  // as stored, some with a leading control character ("\x03DirData")
  bool storage = false;
  std::optional<std::string> data;  // a stream's bytes; nothing when they are lost
  std::string lost;                 // why they are lost
  size_t parent = SIZE_MAX;
  std::vector<size_t> children;
};

// The rows of the source's storage table as it holds them, for a writer
// that copies them into a new Access file.
struct StorageRows {
  std::string table;                 // kAccessStorageTable or kAccessObjectsTable
  std::vector<std::string> columns;  // the table's column names, in the rows' order
  std::vector<Row> rows;
};

class StorageTree {
 public:
  // Node 0 is the root, when the tree is not empty.
  const std::vector<StorageNode>& nodes() const { return nodes_; }
  bool empty() const { return nodes_.empty(); }
  // The child of `parent` called `name` (compared without case and without
  // the leading control character some names have), or nothing.
  const StorageNode* Child(const StorageNode& parent, std::string_view name) const;
  // The node at `path` below the root, or nothing.
  const StorageNode* Find(std::initializer_list<std::string_view> path) const;
  // What kept the tree from being read whole, one line each.
  const std::vector<std::string>& problems() const { return problems_; }
  // Where the tree came from, as stored.
  const StorageRows& source() const { return source_; }

  // Reads MSysAccessStorage, whose definition is at `definition_page`.
  void ReadStorageTable(JetHandle& handle, int32_t definition_page);
  // Reads the compound file cut into MSysAccessObjects.
  void ReadObjectsTable(JetHandle& handle, int32_t definition_page);
  // Rows whose parent storage's row is gone, each group under the parent it
  // names, outside the tree until someone adopts them.
  struct OrphanGroup {
    std::vector<size_t> nodes;
  };
  const std::vector<OrphanGroup>& orphans() const { return orphans_; }
  // Puts orphan group `group` into a new storage `name` under `parent`;
  // returns the new storage's node.
  size_t Adopt(size_t group, size_t parent, const std::string& name);
  // The storage `name` under `parent`, made when there is none.
  size_t StorageAt(size_t parent, const std::string& name);

  // Builds the tree from a compound file's bytes (`missing` as in
  // CompoundFile::Open).
  void ReadCompoundFile(ByteView bytes, const std::function<bool(uint64_t, uint64_t)>& missing);

 private:
  std::vector<StorageNode> nodes_;
  std::vector<std::string> problems_;
  std::vector<OrphanGroup> orphans_;
  StorageRows source_;
};

// `name` without the leading control character some stored names have.
std::string_view PlainStorageName(std::string_view name);

}  // namespace mendora

#endif  // MENDORA_READER_ACCESS_STORAGE_H_
