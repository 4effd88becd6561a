// Encoding property blocks.
#include "output/jet/property_blocks_writer.h"

#include <cstring>
#include <map>
#include <optional>

#include "output/jet/jet_text.h"
#include "reader/column_types.h"

namespace mendora::jet {

namespace {

constexpr char kMark[4] = {'M', 'R', '2', '\0'};
constexpr uint16_t kNamesChunk = 0x80;
constexpr uint16_t kObjectChunk = 0x00;
constexpr uint16_t kColumnChunk = 0x01;
constexpr uint32_t kChunkHeader = 6;
constexpr uint32_t kPropertyHeader = 8;

std::optional<Bytes> ValueBytes(int type, const Value& v) {
  Bytes out;
  const bool integer = v.kind == ValueKind::kInteger || v.kind == ValueKind::kCurrency;
  const bool real = v.kind == ValueKind::kDouble || v.kind == ValueKind::kSingle || v.kind == ValueKind::kDateTime;
  switch (type) {
    case kColumnBoolean:
    case kColumnByte:
      if (!integer) return std::nullopt;
      PutU8(out, static_cast<uint8_t>(v.integer));
      return out;
    case kColumnInteger:
      if (!integer) return std::nullopt;
      PutU16(out, static_cast<uint16_t>(v.integer));
      return out;
    case kColumnLongInteger:
      if (!integer) return std::nullopt;
      PutU32(out, static_cast<uint32_t>(v.integer));
      return out;
    case kColumnCurrency:
      if (!integer) return std::nullopt;
      PutU64(out, static_cast<uint64_t>(v.integer));
      return out;
    case kColumnSingle: {
      if (!real) return std::nullopt;
      const float f = static_cast<float>(v.real);
      uint32_t bits;
      std::memcpy(&bits, &f, 4);
      PutU32(out, bits);
      return out;
    }
    case kColumnDouble:
    case kColumnDateTime: {
      if (!real) return std::nullopt;
      uint64_t bits;
      std::memcpy(&bits, &v.real, 8);
      PutU64(out, bits);
      return out;
    }
    case kColumnReplicationId:
      if (v.kind != ValueKind::kGuid) return std::nullopt;
      out.append(reinterpret_cast<const char*>(v.guid.data()), 16);
      return out;
    case kColumnText:
    case kColumnMemo:
      if (v.kind != ValueKind::kText) return std::nullopt;
      return EncodeName(v.bytes);
    default:
      if (v.kind != ValueKind::kBytes && v.kind != ValueKind::kText) return std::nullopt;
      return v.bytes;
  }
}

void PutChunk(Bytes& out, uint16_t kind, const Bytes& body) {
  PutU32(out, static_cast<uint32_t>(kChunkHeader + body.size()));
  PutU16(out, kind);
  out += body;
}

}  // namespace

Bytes EncodePropertyBlocks(const std::vector<PropertyObjectToWrite>& objects) {
  std::vector<std::string> names;
  std::map<std::string, uint16_t> index;
  std::vector<Bytes> chunks;
  std::vector<uint16_t> kinds;
  bool any = false;
  for (size_t i = 0; i < objects.size(); ++i) {
    const PropertyObjectToWrite& object = objects[i];
    Bytes entries;
    for (const PropertyToWrite& property : object.properties) {
      const std::optional<Bytes> value = ValueBytes(property.type, property.value);
      if (!value) continue;
      auto [at, added] = index.emplace(property.name, static_cast<uint16_t>(names.size()));
      if (added) names.push_back(property.name);
      PutU16(entries, static_cast<uint16_t>(kPropertyHeader + value->size()));
      PutU8(entries, property.ddl ? 1 : 0);
      PutU8(entries, static_cast<uint8_t>(property.type));
      PutU16(entries, at->second);
      PutU16(entries, static_cast<uint16_t>(value->size()));
      entries += *value;
    }
    if (entries.empty() && i > 0) continue;
    any = any || !entries.empty();
    Bytes body;
    const Bytes name = EncodeName(object.name);
    PutU32(body, static_cast<uint32_t>(6 + name.size()));
    PutU16(body, static_cast<uint16_t>(name.size()));
    body += name;
    body += entries;
    chunks.push_back(std::move(body));
    kinds.push_back(i == 0 ? kObjectChunk : kColumnChunk);
  }
  if (!any) return {};
  Bytes out(kMark, sizeof kMark);
  Bytes list;
  for (const std::string& name : names) {
    const Bytes units = EncodeName(name);
    PutU16(list, static_cast<uint16_t>(units.size()));
    list += units;
  }
  PutChunk(out, kNamesChunk, list);
  for (size_t i = 0; i < chunks.size(); ++i) PutChunk(out, kinds[i], chunks[i]);
  return out;
}

}  // namespace mendora::jet
