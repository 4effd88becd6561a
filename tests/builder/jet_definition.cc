// Writing table definitions and their continuation pages.
#include "tests/builder/jet_definition.h"

#include <algorithm>
#include <stdexcept>

#include "reader/jet_format.h"
#include "tests/builder/jet_text.h"

namespace mendora::testing::detail {

namespace {

constexpr uint16_t kSortOrder = 0x0409;  // General sort order
// Written by the engine at offset 12 of every Jet 4 definition and again in
// each column record; its meaning is unknown, so it is copied as seen.
constexpr uint32_t kJet4DefinitionTag = 0x0659;

void PutMapReference(Bytes& out, RowAddress at) {
  PutU8(out, at.row);
  PutU24(out, at.page);
}

void PutColumnRecord(Bytes& out, const Layout& layout, const StoredColumn& c) {
  const auto var_number = static_cast<uint16_t>(c.fixed ? c.var_before : c.var_index);
  const auto row_number = static_cast<uint16_t>(c.row_number >= 0 ? c.row_number : c.number);
  const bool numeric = c.type == kNumeric;
  if (layout.jet4()) {
    PutU8(out, static_cast<uint8_t>(c.type));
    PutU32(out, kJet4DefinitionTag);
    PutU16(out, static_cast<uint16_t>(c.number));
    PutU16(out, var_number);
    PutU16(out, row_number);
    if (c.type == kComplex) {
      PutU32(out, c.complex_id);  // in place of the sort order
    } else {
      if (numeric) {
        PutU8(out, static_cast<uint8_t>(c.precision));
        PutU8(out, static_cast<uint8_t>(c.scale));
      } else {
        PutU16(out, kSortOrder);
      }
      PutU16(out, 0);
    }
    PutU8(out, c.flags);
    PutU8(out, static_cast<uint8_t>((c.compressed ? 1 : 0) | c.extra_flags));
    PutU32(out, 0);
    PutU16(out, static_cast<uint16_t>(c.fixed_offset));
    PutU16(out, static_cast<uint16_t>(c.size));
    return;
  }
  if (c.number > 255) throw std::invalid_argument("Jet 3 column numbers stop at 255");
  PutU8(out, static_cast<uint8_t>(c.type));
  PutU8(out, static_cast<uint8_t>(c.number));
  PutU8(out, 0);
  PutU16(out, var_number);
  PutU16(out, row_number);
  PutU16(out, 1);
  PutU16(out, layout.sort_order);
  if (numeric) {
    PutU8(out, static_cast<uint8_t>(c.precision));
    PutU8(out, static_cast<uint8_t>(c.scale));
  } else {
    PutU16(out, static_cast<uint16_t>(layout.header_code_page));
  }
  PutU8(out, c.flags);
  PutU16(out, static_cast<uint16_t>(c.fixed_offset));
  PutU16(out, static_cast<uint16_t>(c.size));
}

void PutName(Bytes& out, const Layout& layout, const std::string& name) {
  if (layout.jet4()) {
    const Bytes units = EncodeUtf16(Utf8ToUtf16(name));
    PutU16(out, static_cast<uint16_t>(units.size()));
    Append(out, units);
    return;
  }
  Bytes bytes = EncodeText(layout.version, name, false, layout.code_page);
  if (bytes.size() > 255) bytes.resize(255);
  PutU8(out, static_cast<uint8_t>(bytes.size()));
  Append(out, bytes);
}

uint32_t ChunkSize(const Layout& layout, int capacity) {
  const uint32_t full = layout.page_size - 8;
  return capacity > 0 ? std::min<uint32_t>(full, static_cast<uint32_t>(capacity)) : full;
}

}  // namespace

Bytes SerializeDefinition(const Layout& layout, const DefinitionFields& fields) {
  const TableSchema& schema = *fields.schema;
  Bytes out(8, 0);
  PutU32(out, 0);  // definition length, set below
  if (layout.jet4()) {
    PutU32(out, kJet4DefinitionTag);
    PutU32(out, fields.row_count);
    PutU32(out, 0);  // next autonumber
    PutU32(out, 1);
    out.resize(40, 0);
  } else {
    PutU32(out, fields.row_count);
    PutU32(out, 0);  // next autonumber
  }
  PutU8(out, fields.system ? kSystemTableType : kUserTableType);
  PutU16(out, static_cast<uint16_t>(schema.next_number));
  PutU16(out, static_cast<uint16_t>(schema.var_count));
  PutU16(out, static_cast<uint16_t>(schema.columns.size()));
  PutU32(out, 0);  // indexes
  PutU32(out, 0);  // real indexes
  PutMapReference(out, fields.usage_map);
  PutMapReference(out, fields.free_map);
  if (out.size() != layout.def_columns_pos) throw std::logic_error("definition header size");
  for (const StoredColumn& c : schema.columns) PutColumnRecord(out, layout, c);
  for (const StoredColumn& c : schema.columns) PutName(out, layout, c.name);
  PutU16(out, 0xFFFF);
  SetU32(out.data() + 8, static_cast<uint32_t>(out.size()));
  return out;
}

uint32_t DefinitionPageCount(const Layout& layout, size_t size, int capacity) {
  const size_t body = size > 8 ? size - 8 : 0;
  const uint32_t chunk = ChunkSize(layout, capacity);
  return std::max<uint32_t>(1, static_cast<uint32_t>((body + chunk - 1) / chunk));
}

void WriteDefinitionPages(PageStore& store, const Layout& layout, const Bytes& definition,
                          const std::vector<uint32_t>& pages, int capacity) {
  const uint32_t chunk = ChunkSize(layout, capacity);
  size_t at = 8;
  for (size_t k = 0; k < pages.size(); ++k) {
    uint8_t* p = store.Page(pages[k]);
    std::fill_n(p, layout.page_size, 0);
    p[0] = kDefinitionPageType;
    p[1] = kPageMark;
    const size_t n = std::min<size_t>(chunk, definition.size() - at);
    std::copy_n(definition.begin() + at, n, p + 8);
    at += n;
    if (layout.jet4()) {
      // Free space as the engine counts it, which leaves out 8 more bytes.
      const size_t used = 8 + n;
      SetU16(p + 2,
             static_cast<uint16_t>(used + 8 < layout.page_size ? layout.page_size - used - 8 : 0));
    } else {
      p[2] = 'V';
      p[3] = 'C';
    }
    SetU32(p + 4, k + 1 < pages.size() ? pages[k + 1] : 0);
  }
  if (at != definition.size()) throw std::logic_error("definition did not fit its pages");
}

}  // namespace mendora::testing::detail
