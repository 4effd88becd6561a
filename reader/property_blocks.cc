// Reading the property blocks of a catalog row.
#include "reader/property_blocks.h"

#include <algorithm>
#include <cstring>

#include "reader/byte_cursor.h"
#include "reader/column_types.h"
#include "reader/fixed_values.h"
#include "reader/jet_handle.h"

namespace mendora {

namespace {

constexpr char kJet4Mark[] = "MR2";
constexpr char kJet3Mark[] = "KKD";
constexpr uint32_t kChunkHeader = 6;
constexpr uint16_t kNamesChunk = 0x80;
constexpr uint32_t kPropertyHeader = 8;

std::string Text(ByteView bytes, bool jet4, const CodePage& code_page) {
  return jet4 ? Ucs2ToText(bytes) : code_page.Decode(bytes);
}

// A length-prefixed name at `at`; false when it runs past `chunk`.
bool ReadName(ByteView chunk, size_t& at, bool jet4, const CodePage& code_page, std::string& name) {
  const std::optional<uint16_t> length = chunk.U16(at);
  if (!length) return false;
  const std::optional<ByteView> bytes = chunk.Sub(at + 2, *length);
  if (!bytes) return false;
  name = Text(*bytes, jet4, code_page);
  at += 2u + *length;
  return true;
}

void DecodeProperty(ByteView bytes, int type, bool jet4, const CodePage& code_page, Value& value) {
  // A property's Yes/No value is a byte of its own, not a bit of a null mask.
  if (DecodeFixed(type == kColumnBoolean ? kColumnByte : type, bytes, value)) return;
  switch (type) {
    case kColumnText:
    case kColumnMemo:
      value.kind = ValueKind::kText;
      value.bytes = Text(bytes, jet4, code_page);
      return;
    default:
      value.kind = ValueKind::kBytes;
      value.bytes.assign(reinterpret_cast<const char*>(bytes.data()), bytes.size());
      return;
  }
}


}  // namespace

std::vector<PropertyObject> ReadPropertyBlocks(ByteView blocks, bool jet4, const CodePage& code_page,
                                               std::string* problem) {
  std::vector<PropertyObject> objects;
  const auto fail = [&](const std::string& why) {
    if (problem != nullptr) *problem = why;
    return objects;
  };
  const char* mark = jet4 ? kJet4Mark : kJet3Mark;
  if (blocks.size() < 4 || std::memcmp(blocks.data(), mark, 4) != 0) {
    return fail("the property blocks do not start with their mark");
  }
  std::vector<std::string> names;
  size_t at = 4;
  // Every chunk is at least its header long, so the walk ends.
  while (at < blocks.size()) {
    const std::optional<uint32_t> length = blocks.U32(at);
    const std::optional<uint16_t> kind = blocks.U16(at + 4);
    if (!length || !kind || *length < kChunkHeader) return fail("a property chunk header is cut short");
    const std::optional<ByteView> chunk = blocks.Sub(at, *length);
    if (!chunk) return fail("a property chunk of " + std::to_string(*length) + " bytes runs past the blocks");
    at += *length;

    size_t inside = kChunkHeader;
    if (*kind == kNamesChunk) {
      while (inside < chunk->size()) {
        std::string name;
        if (!ReadName(*chunk, inside, jet4, code_page, name)) return fail("a property name runs past its chunk");
        names.push_back(std::move(name));
      }
      continue;
    }

    PropertyObject object;
    const std::optional<uint32_t> name_part = chunk->U32(inside);
    if (!name_part || *name_part < 6 || !chunk->Contains(inside, *name_part)) {
      return fail("an object's name runs past its chunk");
    }
    size_t name_at = inside + 4;
    if (!ReadName(*chunk, name_at, jet4, code_page, object.name)) return fail("an object's name runs past its chunk");
    inside += *name_part;
    while (inside < chunk->size()) {
      const std::optional<uint16_t> entry_length = chunk->U16(inside);
      if (!entry_length || *entry_length < kPropertyHeader || !chunk->Contains(inside, *entry_length)) {
        return fail("a property of " + (object.name.empty() ? std::string("the table") : object.name) +
                    " runs past its chunk");
      }
      ByteCursor entry(*chunk->Sub(inside, *entry_length));
      inside += *entry_length;
      const uint8_t type = entry.U8At(3);
      const uint16_t name_index = entry.U16At(4);
      const uint16_t value_length = entry.U16At(6);
      const std::optional<ByteView> value = entry.view().Sub(kPropertyHeader, value_length);
      if (!value || name_index >= names.size()) continue;
      Property property;
      property.name = names[name_index];
      property.type = type;
      property.ddl = entry.U8At(2) != 0;
      DecodeProperty(*value, type, jet4, code_page, property.value);
      object.properties.push_back(std::move(property));
    }
    objects.push_back(std::move(object));
  }
  return objects;
}

const Property* FindProperty(const PropertyObject& object, const std::string& name) {
  for (const Property& property : object.properties) {
    if (SameNameIgnoringCase(property.name, name)) return &property;
  }
  return nullptr;
}

bool IsTrue(const Property& property) {
  return property.value.kind == ValueKind::kInteger && property.value.integer != 0;
}

}  // namespace mendora
