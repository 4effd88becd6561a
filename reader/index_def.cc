// Reading the index part of a table definition.
#include "reader/index_def.h"

#include "reader/byte_cursor.h"

namespace mendora {

namespace {

// Per version: a real index's column list entry and a logical index entry.
struct IndexLayout {
  uint32_t real_size;     // one real index's entry
  uint32_t real_columns;  // where its ten column slots start
  uint32_t real_flags;    // its flags byte
  uint32_t logical_size;
  uint32_t logical_start;  // the index number, then the real index number
  uint32_t logical_kind;
  bool wide_names;  // names with a 16-bit length and two-byte characters
};

constexpr IndexLayout kJet3Indexes = {39, 0, 38, 20, 0, 19, false};
constexpr IndexLayout kJet4Indexes = {52, 4, 46, 28, 4, 23, true};
constexpr int kColumnSlots = 10;
constexpr uint16_t kNoColumn = 0xFFFF;
constexpr uint8_t kAscending = 0x01;
// More indexes than a definition can hold is damage.
constexpr int32_t kMaxIndexes = 1000;

}  // namespace

std::optional<IndexDefinition> ReadIndexes(const TableDef& table, std::string* problem) {
  const auto fail = [&](const std::string& why) -> std::optional<IndexDefinition> {
    if (problem != nullptr) *problem = why;
    return std::nullopt;
  };
  if (table.entry.handle == nullptr) return fail("the table has no file");
  const JetHandle& handle = *table.entry.handle;
  const IndexLayout& layout = handle.IsJet4() ? kJet4Indexes : kJet3Indexes;
  const ByteView definition(table.definition.data(), table.definition.size());
  if (table.real_index_count < 0 || table.real_index_count > kMaxIndexes || table.index_count < 0 ||
      table.index_count > kMaxIndexes) {
    return fail("index counts " + std::to_string(table.real_index_count) + " and " +
                std::to_string(table.index_count) + " are more than a table can hold");
  }

  IndexDefinition out;
  size_t position = table.index_start;
  for (int32_t i = 0; i < table.real_index_count; ++i) {
    const std::optional<ByteView> entry = definition.Sub(position, layout.real_size);
    if (!entry) return fail("real index " + std::to_string(i) + " runs past the definition");
    ByteCursor in(*entry);
    RealIndex real;
    for (int slot = 0; slot < kColumnSlots; ++slot) {
      const uint32_t at = layout.real_columns + 3u * static_cast<uint32_t>(slot);
      const uint16_t number = in.U16At(at);
      if (number == kNoColumn) continue;
      real.columns.push_back(IndexColumn{number, in.U8At(at + 2) != kAscending});
    }
    real.flags = in.U8At(layout.real_flags);
    real.root_page = in.U32At((handle.IsJet4() ? kJet4IndexPages : kJet3IndexPages).RealIndexRootPos);
    out.real.push_back(std::move(real));
    position += layout.real_size;
  }

  for (int32_t i = 0; i < table.index_count; ++i) {
    const std::optional<ByteView> entry = definition.Sub(position, layout.logical_size);
    if (!entry) return fail("logical index " + std::to_string(i) + " runs past the definition");
    ByteCursor in(*entry);
    LogicalIndex logical;
    logical.number = static_cast<int32_t>(in.U32At(layout.logical_start));
    logical.real_index = static_cast<int32_t>(in.U32At(layout.logical_start + 4));
    const uint8_t kind = in.U8At(layout.logical_kind);
    logical.kind = kind == 1 ? IndexKind::kPrimaryKey : kind == 2 ? IndexKind::kForeignKey : IndexKind::kOther;
    out.logical.push_back(std::move(logical));
    position += layout.logical_size;
  }

  for (LogicalIndex& logical : out.logical) {
    size_t length;
    if (layout.wide_names) {
      const std::optional<uint16_t> stored = definition.U16(position);
      if (!stored) return fail("index names run past the definition");
      length = *stored;
      position += 2;
    } else {
      const std::optional<uint8_t> stored = definition.U8(position);
      if (!stored) return fail("index names run past the definition");
      length = *stored;
      position += 1;
    }
    const std::optional<ByteView> name = definition.Sub(position, length);
    if (!name) return fail("an index name of " + std::to_string(length) + " bytes runs past the definition");
    logical.name = layout.wide_names ? Ucs2ToText(*name) : handle.file->code_page->Decode(*name);
    position += length;
  }

  std::vector<LogicalIndex> kept;
  for (LogicalIndex& logical : out.logical) {
    if (logical.real_index < 0 || static_cast<size_t>(logical.real_index) >= out.real.size()) {
      if (problem != nullptr) {
        *problem = "index " + logical.name + " names real index " + std::to_string(logical.real_index) +
                   ", which the definition does not hold";
      }
      continue;
    }
    kept.push_back(std::move(logical));
  }
  out.logical = std::move(kept);
  return out;
}

}  // namespace mendora
