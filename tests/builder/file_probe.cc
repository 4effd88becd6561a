// The builder's independent decoder.
#include "tests/builder/file_probe.h"

#include <stdexcept>

#include "reader/jet_format.h"

namespace mendora::testing::probe {

uint32_t Le(const uint8_t* at, int width) {
  uint32_t v = 0;
  for (int i = width - 1; i >= 0; --i) v = (v << 8) | at[i];
  return v;
}

File::File(Bytes file_bytes) : bytes(std::move(file_bytes)) {
  if (bytes.size() < 0x18) throw std::runtime_error("not a database file");
  // Access 2007+ files (versions 2-6) are laid out as Jet 4.
  jet4 = bytes[0x14] >= 1 && bytes[0x14] <= 6;
  page_size = jet4 ? 4096 : 2048;
}

std::vector<Slot> Slots(const File& f, uint32_t page) {
  const uint8_t* p = f.page(page);
  const uint32_t at = f.jet4 ? 12 : 8;
  const uint32_t n = Le(p + at, 2);
  std::vector<Slot> out;
  uint32_t end = f.page_size;
  for (uint32_t i = 0; i < n; ++i) {
    const uint32_t entry = Le(p + at + 2 + 2 * i, 2);
    Slot s{entry & kSlotOffsetMask, end, static_cast<uint16_t>(entry & kSlotDeletedMark)};
    out.push_back(s);
    end = s.start;
  }
  return out;
}

namespace {

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string FromUnits(const std::vector<uint16_t>& units) {
  std::string out;
  for (size_t i = 0; i < units.size(); ++i) {
    uint32_t u = units[i];
    if (u >= 0xD800 && u < 0xDC00 && i + 1 < units.size()) {
      u = 0x10000 + ((u - 0xD800) << 10) + (units[++i] - 0xDC00);
    }
    AppendUtf8(out, u);
  }
  return out;
}

std::string Name(const File& f, const Bytes& b, size_t& at) {
  if (f.jet4) {
    const uint32_t n = Le(b.data() + at, 2);
    std::vector<uint16_t> units;
    for (uint32_t k = 0; k < n; k += 2)
      units.push_back(static_cast<uint16_t>(Le(b.data() + at + 2 + k, 2)));
    at += 2 + n;
    return FromUnits(units);
  }
  const uint32_t n = b.at(at);
  std::string out;
  for (uint32_t k = 0; k < n; ++k) AppendUtf8(out, b.at(at + 1 + k));
  at += 1 + n;
  return out;
}

}  // namespace

Definition ReadDefinition(const File& f, uint32_t page, bool used_length) {
  Definition d;
  for (uint32_t n = page; n != 0;) {
    if (d.chain.size() > f.pages()) throw std::runtime_error("definition chain loops");
    const uint8_t* p = f.page(n);
    if (p[0] != kDefinitionPageType) throw std::runtime_error("not a definition page");
    d.chain.push_back(n);
    uint32_t take = f.page_size;
    if (used_length && f.jet4) {
      const uint32_t free = Le(p + 2, 2);
      take = free == 0 ? f.page_size : f.page_size - 8 - free;
    }
    const uint32_t from = d.chain.size() == 1 ? 0 : 8;
    d.bytes.insert(d.bytes.end(), p + from, p + take);
    n = Le(p + 4, 4);
  }
  const Bytes& b = d.bytes;
  const uint8_t* h = b.data();
  const int shift =
      f.jet4 ? 20 : 0;  // Jet 4 header fields from the kind byte on sit 20 bytes later
  d.length = Le(h + 8, 4);
  d.rows = Le(h + (f.jet4 ? 16 : 12), 4);
  d.kind = h[20 + shift];
  d.next_number = static_cast<int>(Le(h + 21 + shift, 2));
  d.var_columns = static_cast<int>(Le(h + 23 + shift, 2));
  d.column_count = static_cast<int>(Le(h + 25 + shift, 2));
  d.indexes = Le(h + 27 + shift, 4);
  d.real_indexes = Le(h + 31 + shift, 4);
  d.usage_row = h[35 + shift];
  d.usage_page = Le(h + 36 + shift, 3);
  d.free_row = h[39 + shift];
  d.free_page = Le(h + 40 + shift, 3);
  size_t at = 43 + shift + d.real_indexes * (f.jet4 ? 12 : 8);
  for (int i = 0; i < d.column_count; ++i) {
    const uint8_t* c = b.data() + at;
    ColumnRecord r;
    r.type = c[0];
    if (f.jet4) {
      r.number = static_cast<int>(Le(c + 5, 2));
      r.var_number = static_cast<int>(Le(c + 7, 2));
      r.row_number = static_cast<int>(Le(c + 9, 2));
      r.flags = c[15];
      r.compressed = c[16] == 1;
      r.fixed_offset = static_cast<int>(Le(c + 21, 2));
      r.size = static_cast<int>(Le(c + 23, 2));
    } else {
      r.number = c[1];
      r.var_number = static_cast<int>(Le(c + 3, 2));
      r.row_number = static_cast<int>(Le(c + 5, 2));
      r.flags = c[13];
      r.fixed_offset = static_cast<int>(Le(c + 14, 2));
      r.size = static_cast<int>(Le(c + 16, 2));
    }
    r.precision = c[11];
    r.scale = c[12];
    d.columns.push_back(r);
    at += f.jet4 ? 25 : 18;
  }
  for (ColumnRecord& r : d.columns) r.name = Name(f, b, at);
  return d;
}

DecodedRow DecodeRow(const File& f, const Definition& d, const uint8_t* row, size_t length) {
  DecodedRow out;
  const size_t w = f.jet4 ? 2 : 1;
  const auto count = static_cast<int>(Le(row, static_cast<int>(w)));
  out.column_count = count;
  const size_t bitmap = (count + 7) / 8;
  const uint8_t* nulls = row + length - bitmap;
  const size_t count_at = length - bitmap - w;
  bool holds_variable = false;
  for (const ColumnRecord& c : d.columns) {
    if (!(c.flags & 1) && c.type != kBoolean && c.number < count) holds_variable = true;
  }
  const uint32_t vars = holds_variable ? Le(row + count_at, static_cast<int>(w)) : 0;
  std::vector<uint32_t> offsets;  // vars + 1, the end offset last
  if (!holds_variable) {
    offsets.push_back(0);
  } else if (f.jet4) {
    for (uint32_t i = 0; i <= vars; ++i) offsets.push_back(Le(row + count_at - 2 - 2 * i, 2));
  } else {
    const size_t jumps = (length - 1) / 256;
    std::vector<uint8_t> steps;
    for (size_t k = 0; k < jumps; ++k) steps.push_back(row[count_at - 1 - k]);
    const size_t first = count_at - 1 - jumps;
    for (uint32_t i = 0; i <= vars; ++i) {
      uint32_t high = 0;
      for (uint8_t s : steps) high += (s != 0xFF && s <= i) ? 1 : 0;
      offsets.push_back(row[first - i] + 256 * high);
    }
  }
  for (const ColumnRecord& c : d.columns) {
    Field field;
    const bool in_row = c.number < count;
    const bool bit = in_row && (nulls[c.number / 8] >> (c.number % 8) & 1);
    if (c.type == kBoolean) {
      field.present = in_row;
      field.truth = bit;
    } else if (bit && (c.flags & 1)) {
      field.present = true;
      field.bytes.assign(row + w + c.fixed_offset, row + w + c.fixed_offset + c.size);
    } else if (bit && static_cast<uint32_t>(c.var_number) < vars) {
      field.present = true;
      field.bytes.assign(row + offsets[c.var_number], row + offsets[c.var_number + 1]);
    }
    out.fields.push_back(field);
  }
  return out;
}

std::vector<DecodedRow> ReadRows(const File& f, const Definition& d, uint32_t definition_page,
                                 bool with_deleted) {
  std::vector<DecodedRow> out;
  for (uint32_t n = 1; n < f.pages(); ++n) {
    const uint8_t* p = f.page(n);
    if (p[0] != kDataPageType || Le(p + kPageOwnerPos, 4) != definition_page) continue;
    for (const Slot& s : Slots(f, n)) {
      if (s.marks != 0 && !with_deleted) continue;
      out.push_back(DecodeRow(f, d, p + s.start, s.end - s.start));
    }
  }
  return out;
}

std::string Text(const File& f, const Bytes& b) {
  std::string out;
  if (!f.jet4) {
    for (uint8_t c : b) AppendUtf8(out, c == 0x80 ? 0x20AC : c);
    return out;
  }
  std::vector<uint16_t> units;
  if (b.size() >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
    bool narrow = true;
    for (size_t i = 2; i < b.size();) {
      if (b[i] == 0) {
        narrow = !narrow;
        ++i;
      } else if (narrow) {
        units.push_back(b[i++]);
      } else {
        units.push_back(static_cast<uint16_t>(Le(b.data() + i, 2)));
        i += 2;
      }
    }
  } else {
    for (size_t i = 0; i + 1 < b.size(); i += 2)
      units.push_back(static_cast<uint16_t>(Le(b.data() + i, 2)));
  }
  return FromUnits(units);
}

Bytes LongValue(const File& f, const Bytes& field) {
  const uint32_t length = Le(field.data(), 3);
  if (field[3] & 0x80) return Bytes(field.begin() + 12, field.begin() + 12 + length);
  uint32_t row = field[4];
  uint32_t page = Le(field.data() + 5, 3);
  Bytes out;
  const bool single = field[3] & 0x40;
  for (int hops = 0; page != 0; ++hops) {
    if (hops > 100000) throw std::runtime_error("long-value chain loops");
    const uint8_t* p = f.page(page);
    if (Le(p + 4, 4) != 0x4C41564C) throw std::runtime_error("not a long-value page");
    const Slot s = Slots(f, page).at(row);
    if (single) return Bytes(p + s.start, p + s.end);
    out.insert(out.end(), p + s.start + 4, p + s.end);
    row = p[s.start];
    page = Le(p + s.start + 1, 3);
  }
  return out;
}

std::vector<uint32_t> MapPages(const File& f, uint8_t row, uint32_t page) {
  const Slot s = Slots(f, page).at(row);
  const uint8_t* m = f.page(page) + s.start;
  std::vector<uint32_t> out;
  if (m[0] == 0) {
    const uint32_t first = Le(m + 1, 4);
    for (uint32_t bit = 0; bit < (s.end - s.start - 5) * 8; ++bit) {
      if (m[5 + bit / 8] >> (bit % 8) & 1) out.push_back(first + bit);
    }
    return out;
  }
  const uint32_t span = (f.page_size - 4) * 8;
  for (uint32_t k = 0; 1 + 4 * k + 4 <= s.end - s.start; ++k) {
    const uint32_t map_page = Le(m + 1 + 4 * k, 4);
    if (map_page == 0) continue;
    const uint8_t* bits = f.page(map_page);
    if (bits[0] != kUsageMapPageType) throw std::runtime_error("not a map page");
    for (uint32_t bit = 0; bit < span; ++bit) {
      if (bits[4 + bit / 8] >> (bit % 8) & 1) out.push_back(k * span + bit);
    }
  }
  return out;
}

std::vector<uint32_t> PagesOwnedBy(const File& f, uint32_t owner) {
  std::vector<uint32_t> out;
  for (uint32_t n = 1; n < f.pages(); ++n) {
    if (f.page(n)[0] == kDataPageType && Le(f.page(n) + kPageOwnerPos, 4) == owner) out.push_back(n);
  }
  return out;
}

std::vector<CatalogEntry> Catalog(const File& f) {
  const Definition d = ReadDefinition(f, 2);
  std::map<std::string, size_t> at;
  for (size_t i = 0; i < d.columns.size(); ++i) at[d.columns[i].name] = i;
  std::vector<CatalogEntry> out;
  for (uint32_t n : PagesOwnedBy(f, 2)) {
    for (const Slot& s : Slots(f, n)) {
      const DecodedRow r = DecodeRow(f, d, f.page(n) + s.start, s.end - s.start);
      CatalogEntry e;
      e.name = Text(f, r.fields[at.at("Name")].bytes);
      e.type = static_cast<int>(Le(r.fields[at.at("Type")].bytes.data(), 2));
      e.id = Le(r.fields[at.at("Id")].bytes.data(), 4);
      e.parent = Le(r.fields[at.at("ParentId")].bytes.data(), 4);
      e.flags = Le(r.fields[at.at("Flags")].bytes.data(), 4);
      e.deleted = SlotHoldsNoRow(s.marks);
      out.push_back(e);
    }
  }
  return out;
}

}  // namespace mendora::testing::probe
