// Writing table definitions.
#include "output/jet/table_definition.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "output/jet/jet_text.h"
#include "reader/column_types.h"
#include "reader/jet_format.h"

namespace mendora::jet {

namespace {

constexpr int kIndexColumnSlots = 10;
constexpr uint16_t kNoColumn = 0xFFFF;
constexpr uint8_t kAscending = 1;
constexpr uint8_t kDescending = 2;
constexpr uint32_t kPageHeader = 8;

void PutMap(Bytes& out, const MapReference& map) { PutRowReference(out, map.row, map.page); }

void PutColumnRecord(Bytes& out, const JetColumn& c) {
  PutU8(out, static_cast<uint8_t>(c.type));
  PutU32(out, kJet4DefinitionTag);
  PutU16(out, c.number);
  PutU16(out, c.var_index);
  PutU16(out, c.number);
  if (c.type == kColumnNumeric) {
    PutU8(out, c.precision);
    PutU8(out, c.scale);
  } else {
    PutU16(out, kGeneralSortOrder);
  }
  PutU16(out, 0);
  PutU8(out, c.flags);
  PutU8(out, c.extra_flags);
  PutU32(out, 0);
  PutU16(out, c.fixed ? c.fixed_offset : 0);
  PutU16(out, c.size);
}

void PutName(Bytes& out, const std::string& name) {
  const Bytes units = EncodeName(name);
  PutU16(out, static_cast<uint16_t>(units.size()));
  out += units;
}

}  // namespace

Bytes SerializeDefinition(const TableDefinition& d) {
  Bytes out;
  PutU8(out, kDefinitionPageType);
  PutU8(out, 0x01);
  PutU16(out, 0);  // free space, set when written
  PutU32(out, 0);  // next page, set when written
  PutU32(out, 0);  // length, set below
  PutU32(out, kJet4DefinitionTag);
  PutU32(out, d.rows);
  PutU32(out, d.last_autonumber);
  PutU32(out, 1);
  out.resize(kJet4Format.TableTypePos, '\0');
  PutU8(out, d.system ? kSystemTableType : kUserTableType);
  uint16_t variable = 0;
  for (const JetColumn& c : d.columns) variable = static_cast<uint16_t>(variable + (c.fixed ? 0 : 1));
  PutU16(out, static_cast<uint16_t>(d.columns.size()));  // the next column number
  PutU16(out, variable);
  PutU16(out, static_cast<uint16_t>(d.columns.size()));
  PutU32(out, static_cast<uint32_t>(d.logical_indexes.size()));
  PutU32(out, static_cast<uint32_t>(d.real_indexes.size()));
  PutMap(out, d.usage_map);
  PutMap(out, d.free_map);
  for (const RealIndexDefinition& real : d.real_indexes) {
    PutU32(out, real.rows);
    PutU32(out, real.distinct_keys);
    PutU32(out, 0);
  }
  for (const JetColumn& c : d.columns) PutColumnRecord(out, c);
  for (const JetColumn& c : d.columns) PutName(out, c.name);
  for (const RealIndexDefinition& real : d.real_indexes) {
    const size_t start = out.size();
    PutU32(out, kJet4RealIndexTag);
    for (int slot = 0; slot < kIndexColumnSlots; ++slot) {
      if (static_cast<size_t>(slot) < real.columns.size()) {
        PutU16(out, real.columns[slot].first);
        PutU8(out, real.columns[slot].second ? kDescending : kAscending);
      } else {
        PutU16(out, kNoColumn);
        PutU8(out, 0);
      }
    }
    PutMap(out, real.usage_map);
    PutU32(out, real.root);
    out.resize(start + kJet4RealIndexFlagsPos, '\0');
    PutU8(out, static_cast<uint8_t>(real.flags | kIndexFlagsAlwaysSet));
    out.resize(start + kJet4RealIndexSize, '\0');
  }
  for (const LogicalIndexDefinition& logical : d.logical_indexes) {
    const size_t start = out.size();
    PutU32(out, kJet4DefinitionTag);
    PutU32(out, logical.number);
    PutU32(out, logical.real);
    PutU8(out, static_cast<uint8_t>(logical.side));
    PutU32(out, logical.other_index);
    PutU32(out, logical.other_table);
    if (logical.side == RelationSide::kNone) {
      PutU8(out, kLogicalNoRelation);
      PutU8(out, kLogicalNoRelation);
    } else {
      PutU8(out, logical.cascade_updates ? 1 : 0);
      PutU8(out, logical.cascade_deletes ? 1 : 0);
    }
    PutU8(out, logical.kind);
    out.resize(start + kJet4LogicalIndexSize, '\0');
  }
  for (const LogicalIndexDefinition& logical : d.logical_indexes) PutName(out, logical.name);
  for (const LongValueMaps& maps : d.long_value_maps) {
    PutU16(out, maps.column);
    PutMap(out, maps.usage_map);
    PutMap(out, maps.free_map);
  }
  PutU16(out, kJet4ColumnMapsEnd);
  SetU32(out, kDefinitionLengthPos, static_cast<uint32_t>(out.size()));
  return out;
}

void WriteDefinition(PageFile& file, uint32_t first_page, const Bytes& definition) {
  // The first page holds the header and as much as fits; each continuation
  // page repeats the 8-byte page header and goes on.
  size_t at = 0;
  uint32_t page_number = first_page;
  bool first = true;
  while (true) {
    std::array<uint8_t, kPageSize> page{};
    size_t used;
    if (first) {
      const size_t n = std::min<size_t>(definition.size(), kPageSize);
      std::memcpy(page.data(), definition.data(), n);
      at = n;
      used = n;
    } else {
      page[0] = kDefinitionPageType;
      page[1] = kPageMark;
      const size_t n = std::min<size_t>(definition.size() - at, kPageSize - kPageHeader);
      std::memcpy(page.data() + kPageHeader, definition.data() + at, n);
      at += n;
      used = kPageHeader + n;
    }
    const uint32_t next = at < definition.size() ? file.Allocate() : 0;
    // Access counts free space leaving out 8 more bytes.
    SetU16(page.data() + kPageFreeSpacePos, static_cast<uint16_t>(used + 8 < kPageSize ? kPageSize - used - 8 : 0));
    SetU32(page.data() + kPageOwnerPos, next);
    file.Write(page_number, page.data());
    if (next == 0) return;
    page_number = next;
    first = false;
  }
}

}  // namespace mendora::jet
