// Encoding index keys (see index_key.h for the layout of each type's key).
#include "reader/index_key.h"

#include <algorithm>
#include <bit>
#include <optional>

#include "reader/ace_values.h"
#include "reader/column_types.h"
#include "reader/text_sort_keys.h"

namespace mendora {

namespace {

constexpr uint8_t kValueFlag = 0x7F;
constexpr uint8_t kNullFlag = 0x00;
constexpr uint8_t kMorePieces = 0x09;
constexpr size_t kPieceSize = 8;
// Text keys: the byte that ends the primary weights and each section after
// them, the unmarked secondary weight, the byte that starts a special
// weight, and the end of the key.
constexpr uint8_t kSectionEnd = 0x01;
constexpr uint8_t kUnmarked = 0x02;
constexpr uint8_t kSpecialMark = 0x80;
constexpr uint8_t kTextEnd = 0x00;
// A special weight stores the count of sorting elements before it as
// 4 * count + 7 in one byte; the samples show no other form.
constexpr unsigned kMaxSpecialPlace = (0xFF - 7) / 4;

void PutBigEndian(std::vector<uint8_t>& out, uint64_t bits, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(bits >> (8 * i)));
}

void PutSigned(std::vector<uint8_t>& out, int64_t value, int bytes) {
  const uint64_t sign = uint64_t{1} << (8 * bytes - 1);
  PutBigEndian(out, (static_cast<uint64_t>(value) ^ sign), bytes);
}

void PutFloat(std::vector<uint8_t>& out, uint64_t bits, int bytes) {
  const uint64_t sign = uint64_t{1} << (8 * bytes - 1);
  const uint64_t mask = bytes == 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * bytes)) - 1;
  PutBigEndian(out, (bits & sign) != 0 ? (~bits & mask) : (bits | sign), bytes);
}

// Binary-like values in 8-byte pieces. Returns where each 0x09 lies, which
// a descending key leaves as it is.
void PutPieces(std::vector<uint8_t>& out, const uint8_t* data, size_t size, std::vector<size_t>& markers) {
  for (size_t at = 0; at < size; at += kPieceSize) {
    const size_t take = std::min(kPieceSize, size - at);
    out.insert(out.end(), data + at, data + at + take);
    out.insert(out.end(), kPieceSize - take, 0);
    if (at + take < size) {
      markers.push_back(out.size());
      out.push_back(kMorePieces);
    } else {
      out.push_back(static_cast<uint8_t>(take));
    }
  }
}

// The next code point of UTF-8 `text` at `at`; a byte that starts no
// well-formed sequence is taken as U+FFFD, which has no key.
char32_t NextCodePoint(const std::string& text, size_t& at) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  const uint8_t lead = byte(at++);
  if (lead < 0x80) return lead;
  const int extra = (lead >> 5) == 0x6 ? 1 : (lead >> 4) == 0xE ? 2 : (lead >> 3) == 0x1E ? 3 : 0;
  if (extra == 0) return 0xFFFD;
  char32_t c = lead & (0x3F >> extra);
  for (int i = 0; i < extra; ++i) {
    if (at >= text.size() || (byte(at) & 0xC0) != 0x80) return 0xFFFD;
    c = c << 6 | (byte(at++) & 0x3F);
  }
  return c;
}

const TextKeyTable* TableOf(TextSortOrder order) {
  switch (order) {
    case TextSortOrder::kJet4General: return &kJet4GeneralKeys;
    case TextSortOrder::kJet3General: return &kJet3GeneralKeys;
    case TextSortOrder::kOther: return nullptr;
  }
  return nullptr;
}

const TextKeyChar* Find(const TextKeyTable& table, char32_t c) {
  const TextKeyChar* end = table.characters + table.count;
  const TextKeyChar* found =
      std::lower_bound(table.characters, end, c, [](const TextKeyChar& e, char32_t v) { return e.character < v; });
  return found != end && found->character == c ? found : nullptr;
}

void NoteUnknown(std::u32string& unknown, char32_t c) {
  if (unknown.find(c) == std::u32string::npos) unknown.push_back(c);
}

EncodedKey TextKey(const TextKeyTable* table, const std::string& text);

bool Is(const Value& value, ValueKind kind) { return value.kind == kind; }

}  // namespace

void EncodeTextKey(const TextKeyTable& table, const std::string& text, std::vector<uint8_t>& out,
                   std::u32string& unknown) {
  EncodedKey key = TextKey(&table, text);
  for (char32_t c : key.unknown) NoteUnknown(unknown, c);
  if (key.ok()) out.insert(out.end(), key.bytes.begin(), key.bytes.end());
}

namespace {

// The text's weights after the flag byte, or the characters that have none.
EncodedKey TextKey(const TextKeyTable* table, const std::string& text) {
  EncodedKey key;
  std::vector<uint8_t> primary;
  // One per sorting element; kUncounted stands for the elements of a
  // character whose count is not known (all of them unmarked).
  constexpr int kUncounted = -1;
  std::vector<int> secondary;
  std::vector<char32_t> uncounted;  // the characters behind each kUncounted
  std::vector<uint8_t> special;
  std::optional<unsigned> place = 0u;  // sorting elements so far, while known
  std::optional<char32_t> place_lost_at;
  // Trailing spaces take no part in the key.
  const size_t last = text.find_last_not_of(' ');
  const size_t end = last == std::string::npos ? 0 : last + 1;
  size_t at = 0;
  while (at < end) {
    const char32_t c = NextCodePoint(text, at);
    const TextKeyChar* entry = table != nullptr ? Find(*table, c) : nullptr;
    if (entry == nullptr) {
      NoteUnknown(key.unknown, c);
      continue;
    }
    if (entry->primary_size == 0) {
      if (!place) {
        NoteUnknown(key.unknown, *place_lost_at);
        continue;
      }
      if (*place > kMaxSpecialPlace) {
        NoteUnknown(key.unknown, c);
        continue;
      }
      special.push_back(kSpecialMark);
      special.push_back(static_cast<uint8_t>(4 * *place + 7));
      special.insert(special.end(), entry->special, entry->special + 2);
      continue;
    }
    primary.insert(primary.end(), entry->primary, entry->primary + entry->primary_size);
    if (entry->secondary_size == 0) {
      secondary.push_back(kUncounted);
      uncounted.push_back(c);
      if (place) place_lost_at = c;
      place.reset();
    } else {
      secondary.insert(secondary.end(), entry->secondary, entry->secondary + entry->secondary_size);
      if (place) *place += entry->secondary_size;
    }
  }
  if (table != nullptr && table->sections) {
    while (!secondary.empty() && (secondary.back() == kUnmarked || secondary.back() == kUncounted)) {
      if (secondary.back() == kUncounted) uncounted.pop_back();
      secondary.pop_back();
    }
    // A marked element after a character of unknown length: its place is
    // not known.
    for (char32_t c : uncounted) NoteUnknown(key.unknown, c);
  }
  if (!key.unknown.empty()) {
    key.outcome = KeyOutcome::kUnknownSortOrder;
    return key;
  }
  key.bytes = std::move(primary);
  if (table->sections) {
    key.bytes.push_back(kSectionEnd);
    for (int weight : secondary) key.bytes.push_back(static_cast<uint8_t>(weight));
    if (!special.empty()) {
      // The two sections between hold nothing in any key the samples show.
      key.bytes.insert(key.bytes.end(), {kSectionEnd, kSectionEnd, kSectionEnd});
      key.bytes.insert(key.bytes.end(), special.begin(), special.end());
    }
  }
  key.bytes.push_back(kTextEnd);
  return key;
}

}  // namespace

EncodedKey EncodeKeyColumn(const KeyColumn& column, const Value& value) {
  EncodedKey key;
  if (value.IsNull()) {
    key.bytes.push_back(column.descending ? static_cast<uint8_t>(~kNullFlag) : kNullFlag);
    return key;
  }
  std::vector<uint8_t>& out = key.bytes;
  out.push_back(kValueFlag);
  std::vector<size_t> markers;
  const auto wrong = [&]() {
    EncodedKey failed;
    failed.outcome = KeyOutcome::kWrongValue;
    return failed;
  };
  switch (column.type) {
    case kColumnByte:
      if (!Is(value, ValueKind::kInteger)) return wrong();
      out.push_back(static_cast<uint8_t>(value.integer));
      break;
    case kColumnInteger:
      if (!Is(value, ValueKind::kInteger)) return wrong();
      PutSigned(out, value.integer, 2);
      break;
    case kColumnLongInteger:
    case kColumnComplex:
      if (!Is(value, ValueKind::kInteger)) return wrong();
      PutSigned(out, value.integer, 4);
      break;
    case kColumnBigInt:
      if (!Is(value, ValueKind::kInteger)) return wrong();
      PutSigned(out, value.integer, 8);
      break;
    case kColumnCurrency:
      if (!Is(value, ValueKind::kCurrency)) return wrong();
      PutSigned(out, value.integer, 8);
      break;
    case kColumnSingle:
      if (!Is(value, ValueKind::kSingle)) return wrong();
      PutFloat(out, std::bit_cast<uint32_t>(value.AsSingle()), 4);
      break;
    case kColumnDouble:
      if (!Is(value, ValueKind::kDouble)) return wrong();
      PutFloat(out, std::bit_cast<uint64_t>(value.real), 8);
      break;
    case kColumnDateTime:
      if (!Is(value, ValueKind::kDateTime)) return wrong();
      PutFloat(out, std::bit_cast<uint64_t>(value.real), 8);
      break;
    case kColumnReplicationId: {
      if (!Is(value, ValueKind::kGuid)) return wrong();
      // Stored with its first three fields little-endian; the key takes
      // them as the text of the GUID writes them.
      const std::array<uint8_t, 16>& g = value.guid;
      const uint8_t ordered[16] = {g[3], g[2], g[1], g[0], g[5], g[4], g[7], g[6],
                                   g[8], g[9], g[10], g[11], g[12], g[13], g[14], g[15]};
      PutPieces(out, ordered, sizeof ordered, markers);
      break;
    }
    case kColumnBinary:
      if (!Is(value, ValueKind::kBytes)) return wrong();
      PutPieces(out, reinterpret_cast<const uint8_t*>(value.bytes.data()), value.bytes.size(), markers);
      break;
    case kColumnExtendedDateTime: {
      if (!Is(value, ValueKind::kExtendedDateTime)) return wrong();
      const std::vector<uint8_t> stored = StoredExtendedDateTime(value.integer, value.magnitude_low);
      PutPieces(out, stored.data(), stored.size(), markers);
      break;
    }
    case kColumnText: {
      if (!Is(value, ValueKind::kText)) return wrong();
      if (column.descending) {
        // No sample shows a descending text key.
        key.outcome = KeyOutcome::kUnknownSortOrder;
        key.bytes.clear();
        return key;
      }
      EncodedKey text = TextKey(TableOf(column.sort_order), value.bytes);
      if (!text.ok()) return text;
      out.insert(out.end(), text.bytes.begin(), text.bytes.end());
      break;
    }
    default:
      key.outcome = KeyOutcome::kUnsupportedType;
      key.bytes.clear();
      return key;
  }
  if (column.descending) {
    size_t next_marker = 0;
    for (size_t i = 0; i < out.size(); ++i) {
      if (next_marker < markers.size() && markers[next_marker] == i) {
        ++next_marker;
        continue;
      }
      out[i] = static_cast<uint8_t>(~out[i]);
    }
  }
  return key;
}

EncodedKey EncodeKey(const std::vector<KeyColumn>& columns, const std::vector<const Value*>& values) {
  EncodedKey key;
  for (size_t i = 0; i < columns.size(); ++i) {
    static const Value kNull;
    const EncodedKey part = EncodeKeyColumn(columns[i], i < values.size() && values[i] != nullptr ? *values[i] : kNull);
    if (part.outcome == KeyOutcome::kUnknownSortOrder) {
      key.outcome = KeyOutcome::kUnknownSortOrder;
      for (char32_t c : part.unknown) NoteUnknown(key.unknown, c);
    } else if (!part.ok() && key.ok()) {
      key.outcome = part.outcome;
    }
    if (key.ok()) key.bytes.insert(key.bytes.end(), part.bytes.begin(), part.bytes.end());
  }
  if (!key.ok()) key.bytes.clear();
  return key;
}

TextSortOrder SortOrderOfHeader(bool jet4, uint16_t sort_id, uint16_t variant) {
  constexpr uint16_t kGeneral = 1033;
  if (sort_id != kGeneral) return TextSortOrder::kOther;
  if (!jet4) return TextSortOrder::kJet3General;
  return variant == 0 ? TextSortOrder::kJet4General : TextSortOrder::kOther;
}

bool TextKeyKnown(TextSortOrder order, const std::string& text) {
  Value value;
  value.kind = ValueKind::kText;
  value.bytes = text;
  return EncodeKeyColumn(KeyColumn{kColumnText, false, order}, value).ok();
}

}  // namespace mendora
