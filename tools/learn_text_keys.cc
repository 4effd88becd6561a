// Learns the keys of text characters from the index pages of sample
// databases and writes them as reader/text_sort_keys.cc.
//
//   mendora-learn-text-keys OUT.cc FILE[:PASSWORD]...
//
// Every leaf entry of every index with a text column is paired with the row
// it names; the part of its key that the text made is split into primary
// weights (up to the first 0x01), secondary weights and special weights, and
// each character's share is found from keys whose other characters are
// already known. A character is kept only when every key it appears in is
// made again, byte for byte, from the learned table; a character no key
// pins down, or one whose keys disagree, is left out, so the encoder says it
// does not know it.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "reader/column_types.h"
#include "reader/index_def.h"
#include "reader/index_key.h"
#include "reader/index_pages.h"
#include "reader/moved_rows.h"
#include "reader/row_cursor.h"
#include "reader/text_codec.h"
#include "reader/text_sort_keys.h"
#include "recovery/catalog_objects.h"

namespace mendora {
namespace {

using Bytes = std::vector<uint8_t>;

struct Sample {
  std::string text;  // UTF-8
  std::u32string chars;
  Bytes key;  // the text's part of the key after its flag byte, with the final 0x00
};

struct Learned {
  std::optional<Bytes> primary;    // empty: sorts as nothing
  std::optional<Bytes> secondary;  // one per sorting element
  std::optional<std::pair<uint8_t, uint8_t>> special;
  std::optional<size_t> elements;  // sorting elements: one per byte of Latin letters
  bool unmarked = false;           // a key shows all its elements unmarked
  int evidence = 0;
  bool conflict = false;
};

std::u32string CodePoints(const std::string& text) {
  std::u32string out;
  for (size_t at = 0; at < text.size();) {
    const uint8_t lead = static_cast<uint8_t>(text[at++]);
    int extra = lead < 0x80 ? 0 : (lead >> 5) == 0x6 ? 1 : (lead >> 4) == 0xE ? 2 : 3;
    char32_t c = extra == 0 ? lead : lead & (0x3F >> extra);
    for (; extra > 0 && at < text.size(); --extra) c = c << 6 | (static_cast<uint8_t>(text[at++]) & 0x3F);
    out.push_back(c);
  }
  return out;
}

// The parts of a text key: primary weights, secondary weights and the
// special weights' entries; false when the key has another shape.
struct Parts {
  Bytes primary;
  Bytes secondary;
  Bytes special;
};

bool Split(const Bytes& key, bool sections, Parts& parts) {
  if (key.empty() || key.back() != 0x00) return false;
  if (!sections) {
    parts.primary.assign(key.begin(), key.end() - 1);
    return true;
  }
  size_t at = 0;
  while (at < key.size() && key[at] != 0x01 && key[at] != 0x00) parts.primary.push_back(key[at++]);
  if (at >= key.size() || key[at] != 0x01) return false;
  ++at;
  while (at < key.size() && key[at] != 0x01 && key[at] != 0x00) parts.secondary.push_back(key[at++]);
  if (key[at] == 0x00) return at + 1 == key.size();
  // Two empty sections, then the special weights.
  if (at + 3 > key.size() || key[at + 1] != 0x01 || key[at + 2] != 0x01) return false;
  parts.special.assign(key.begin() + static_cast<std::ptrdiff_t>(at) + 3, key.end() - 1);
  return parts.special.size() % 4 == 0;
}

class Learner {
 public:
  explicit Learner(bool sections) : sections_(sections) {}

  void Add(Sample sample) { samples_.push_back(std::move(sample)); }
  size_t size() const { return samples_.size(); }

  void Run() {
    for (int round = 0; round < 8; ++round) {
      LearnPrimary();
      LearnRest();
      if (Verify() == 0) break;
    }
  }

  std::vector<TextKeyChar> Table() const {
    std::vector<TextKeyChar> out;
    for (const auto& [c, learned] : learned_) {
      if (!Complete(learned)) continue;
      TextKeyChar entry{};
      entry.character = c;
      entry.primary_size = static_cast<uint8_t>(learned.primary->size());
      std::copy(learned.primary->begin(), learned.primary->end(), entry.primary);
      if (learned.primary->empty()) {
        entry.special[0] = learned.special->first;
        entry.special[1] = learned.special->second;
      } else if (sections_ && learned.secondary) {
        entry.secondary_size = static_cast<uint8_t>(learned.secondary->size());
        std::copy(learned.secondary->begin(), learned.secondary->end(), entry.secondary);
      }
      out.push_back(entry);
    }
    return out;
  }

  int Evidence(char32_t c) const { return learned_.at(c).evidence; }
  size_t unparsed() const { return unparsed_; }
  size_t failed() const { return failed_; }
  size_t unresolved() const { return unresolved_; }
  const std::vector<std::string>& failures() const { return failure_texts_; }

 private:
  bool Complete(const Learned& l) const {
    if (l.conflict || !l.primary) return false;
    if (l.primary->empty()) return sections_ && l.special.has_value();
    return !sections_ || l.secondary.has_value() || l.unmarked;
  }

  bool Usable(char32_t c) const {
    const auto found = learned_.find(c);
    return found == learned_.end() || !found->second.conflict;
  }

  void Conflict(char32_t c, const Sample* why = nullptr) {
    if (std::getenv("LEARN_DEBUG") != nullptr && !learned_[c].conflict) {
      std::string u;
      AppendUtf8(u, c);
      std::fprintf(stderr, "CONFLICT [%s] %s\n", u.c_str(), why != nullptr ? why->text.c_str() : "");
    }
    learned_[c].conflict = true;
  }

  // Primary weights: from keys where one character alone is not yet known.
  void LearnPrimary() {
    for (bool progress = true; progress;) {
      progress = false;
      for (const Sample& s : samples_) {
        Parts parts;
        if (!Split(s.key, sections_, parts)) continue;
        std::set<char32_t> unknown;
        bool usable = true;
        size_t known_size = 0;
        for (char32_t c : s.chars) {
          if (!Usable(c)) usable = false;
          const auto found = learned_.find(c);
          if (found != learned_.end() && found->second.primary) {
            known_size += found->second.primary->size();
          } else {
            unknown.insert(c);
          }
        }
        if (!usable || unknown.empty() || known_size > parts.primary.size()) continue;
        if (unknown.size() > 1) {
          progress |= LearnOneByteEach(s, parts, known_size);
          continue;
        }
        const char32_t u = *unknown.begin();
        size_t count = 0;
        for (char32_t c : s.chars) count += c == u ? 1 : 0;
        const size_t rest = parts.primary.size() - known_size;
        if (rest % count != 0) continue;
        const size_t width = rest / count;
        std::optional<Bytes> found_bytes;
        size_t at = 0;
        bool fits = true;
        for (char32_t c : s.chars) {
          const size_t size = c == u ? width : learned_[c].primary->size();
          const Bytes piece(parts.primary.begin() + static_cast<std::ptrdiff_t>(at),
                            parts.primary.begin() + static_cast<std::ptrdiff_t>(at + size));
          if (c == u) {
            if (found_bytes && *found_bytes != piece) fits = false;
            found_bytes = piece;
          } else if (piece != *learned_[c].primary) {
            fits = false;
          }
          at += size;
        }
        if (!fits || !found_bytes || found_bytes->size() > kMaxCharWeights) continue;
        learned_[u].primary = *found_bytes;
        progress = true;
      }
    }
  }

  // A key with no special weights whose unknown characters leave exactly
  // one primary byte each: every character has at least one (only those
  // that sort as nothing have none, and they leave a special weight).
  bool LearnOneByteEach(const Sample& s, const Parts& parts, size_t known_size) {
    size_t unknown_count = 0;
    for (char32_t c : s.chars) {
      const auto found = learned_.find(c);
      if (found == learned_.end() || !found->second.primary) ++unknown_count;
    }
    if (!parts.special.empty() || parts.primary.size() - known_size != unknown_count) return false;
    std::map<char32_t, uint8_t> found_bytes;
    size_t at = 0;
    for (char32_t c : s.chars) {
      const auto found = learned_.find(c);
      if (found != learned_.end() && found->second.primary) {
        const Bytes& known = *found->second.primary;
        if (!std::equal(known.begin(), known.end(), parts.primary.begin() + static_cast<std::ptrdiff_t>(at))) return false;
        at += known.size();
        continue;
      }
      const auto [slot, fresh] = found_bytes.emplace(c, parts.primary[at]);
      if (!fresh && slot->second != parts.primary[at]) return false;
      ++at;
    }
    for (const auto& [c, byte] : found_bytes) learned_[c].primary = Bytes{byte};
    return !found_bytes.empty();
  }

  // Secondary and special weights, from keys whose characters' primary
  // weights are all known. A one-byte character is one sorting element; the
  // elements of a longer one are counted by a key where it alone is not
  // counted yet and the places of the marks and special weights after it
  // allow one count only.
  void LearnRest() {
    for (const Sample& s : samples_) {
      Parts parts;
      if (!sections_ || !Split(s.key, sections_, parts) || !AllPrimary(s)) continue;
      std::set<char32_t> uncounted;
      for (char32_t c : s.chars) {
        Learned& l = learned_[c];
        if (!l.elements && l.primary->size() == 1) l.elements = 1;
        if (!l.elements && !l.primary->empty()) uncounted.insert(c);
        // No marks at all: every element of the key is unmarked.
        if (parts.secondary.empty() && !l.primary->empty()) l.unmarked = true;
      }
      if (uncounted.size() > 1) continue;
      if (uncounted.size() == 1) {
        const char32_t u = *uncounted.begin();
        std::vector<size_t> fits;
        for (size_t count = 1; count <= learned_[u].primary->size(); ++count) {
          if (Consistent(s, parts, u, count)) fits.push_back(count);
        }
        if (fits.size() != 1) continue;
        learned_[u].elements = fits.front();
      }
      Take(s, parts);
    }
  }

  // Whether the key's marks and special weights fit `u` having `count`
  // elements, given what is known of the others.
  bool Consistent(const Sample& s, const Parts& parts, char32_t u, size_t count) {
    size_t element = 0;
    size_t special_at = 0;
    for (char32_t c : s.chars) {
      const Learned& l = learned_[c];
      if (l.primary->empty()) {
        if (special_at + 4 > parts.special.size() || parts.special[special_at + 1] != 4 * element + 7) return false;
        special_at += 4;
        continue;
      }
      const size_t n = c == u ? count : *l.elements;
      for (size_t e = 0; e < n; ++e, ++element) {
        const uint8_t seen = element < parts.secondary.size() ? parts.secondary[element] : 0x02;
        if (c != u && l.secondary && (*l.secondary)[e] != seen) return false;
      }
    }
    return special_at == parts.special.size() && element >= parts.secondary.size();
  }

  // Learns the secondary and special weights of a key whose characters are
  // all counted.
  void Take(const Sample& s, const Parts& parts) {
    size_t element = 0;
    size_t special_at = 0;
    for (char32_t c : s.chars) {
      Learned& l = learned_[c];
      if (l.primary->empty()) {
        if (4 * element + 7 > 0xFF) break;  // a place the samples show no form for
        if (special_at + 4 > parts.special.size()) {
          Conflict(c, &s);
          continue;
        }
        const auto weight = std::make_pair(parts.special[special_at + 2], parts.special[special_at + 3]);
        if (parts.special[special_at] != 0x80 || parts.special[special_at + 1] != 4 * element + 7 ||
            (l.special && *l.special != weight)) {
          Conflict(c, &s);
        } else {
          l.special = weight;
        }
        special_at += 4;
        continue;
      }
      Bytes secondary;
      for (size_t e = 0; e < *l.elements; ++e, ++element) {
        secondary.push_back(element < parts.secondary.size() ? parts.secondary[element] : 0x02);
      }
      if (l.secondary && *l.secondary != secondary) {
        Conflict(c, &s);
      } else {
        l.secondary = secondary;
      }
    }
  }

  bool AllPrimary(const Sample& s) const {
    for (char32_t c : s.chars) {
      const auto found = learned_.find(c);
      if (found == learned_.end() || found->second.conflict || !found->second.primary) return false;
    }
    return true;
  }

  // Makes every key again from what was learned. A key that comes out
  // otherwise makes its characters not known: those that no key made
  // right vouches for, or all of them when every one is vouched for (the
  // fault is then in how they combine). Returns the keys that failed.
  size_t Verify() {
    const std::vector<TextKeyChar> table = Table();
    const TextKeyTable view{table.data(), table.size(), sections_};
    for (auto& [c, l] : learned_) l.evidence = 0;
    unparsed_ = unresolved_ = 0;
    failure_texts_.clear();
    std::vector<const Sample*> failing;
    for (const Sample& s : samples_) {
      Parts parts;
      if (!Split(s.key, sections_, parts)) {
        ++unparsed_;
        continue;
      }
      Bytes made;
      std::u32string unknown;
      EncodeTextKey(view, s.text, made, unknown);
      if (!unknown.empty()) {
        ++unresolved_;
        if (std::getenv("LEARN_DEBUG") != nullptr) {
          std::string u;
          for (char32_t c : unknown) AppendUtf8(u, c);
          std::fprintf(stderr, "UNKNOWN [%s] in %s\n", u.c_str(), s.text.c_str());
        }
        continue;
      }
      if (made != s.key) {
        failing.push_back(&s);
        continue;
      }
      for (char32_t c : std::set<char32_t>(s.chars.begin(), s.chars.end())) ++learned_[c].evidence;
    }
    for (const Sample* s : failing) {
      failure_texts_.push_back(s->text);
      bool blamed = false;
      for (char32_t c : s->chars) {
        if (learned_[c].evidence == 0) {
          Conflict(c);
          blamed = true;
        }
      }
      if (!blamed) {
        for (char32_t c : s->chars) Conflict(c);
      }
    }
    failed_ = failing.size();
    return failing.size();
  }

  bool sections_;
  std::vector<Sample> samples_;
  std::map<char32_t, Learned> learned_;
  size_t unparsed_ = 0;
  size_t failed_ = 0;
  size_t unresolved_ = 0;
  std::vector<std::string> failure_texts_;
};

// The leaf entries of every index with a text column of `file`, paired with
// their rows, into the learner of the file's sort order.
void Collect(const std::string& file, const std::optional<std::string>& password, Learner& jet4, Learner& jet3) {
  std::string error;
  JetOpenOptions options;
  options.password = password;
  JetHandlePtr handle = OpenJetHandle(file, &error, nullptr, options);
  if (!handle) {
    std::fprintf(stderr, "%s: %s\n", file.c_str(), error.c_str());
    return;
  }
  IgnoreDamage ignore;
  handle->damage = &ignore;
  if (ReadPage(*handle, 0) == 0) return;
  const HeaderSort sort = HeaderSortOrder(handle->Page(), handle->IsJet4());
  const TextSortOrder order = SortOrderOfHeader(handle->IsJet4(), sort.id, sort.variant);
  Learner* learner = order == TextSortOrder::kJet4General ? &jet4 : order == TextSortOrder::kJet3General ? &jet3 : nullptr;
  if (learner == nullptr) {
    std::fprintf(stderr, "%s: sort order %u/%u, not learned\n", file.c_str(), sort.id, sort.variant);
    return;
  }
  CatalogObjects catalog;
  catalog.Load(*handle);
  std::map<int32_t, std::string> tables{{2, "MSysObjects"}};
  for (const auto& [page, object] : catalog.Objects()) {
    if (object.type == 1) tables[page] = object.name;
  }
  for (const auto& [page, name] : tables) {
    TableDefPtr table = OpenTable(*handle, name, 1, page);
    if (!table) continue;
    const std::optional<IndexDefinition> indexes = ReadIndexes(*table, nullptr);
    if (!indexes) continue;
    bool any_text = false;
    for (const RealIndex& real : indexes->real) {
      for (const IndexColumn& c : real.columns) {
        for (const ColumnDef& d : table->columns) any_text |= d.column_number == c.column_number && d.type == kColumnText;
      }
    }
    if (!any_text) continue;
    std::map<uint64_t, Row> rows;
    {
      RowCursor cursor(*table);
      Row row;
      while (cursor.Next(row)) rows[PlaceKey(RowPlace{row.page, row.slot})] = row;
    }
    MovedRows moved;
    for (uint32_t p : handle->DataPages().PagesOf(static_cast<uint32_t>(page))) {
      PageBuffer buffer{};
      if (ReadPageInto(*handle, buffer, p) == handle->PageSize()) {
        moved.NotePage(ByteView(buffer.data(), handle->PageSize()), *handle->format, p);
      }
    }
    for (const RealIndex& real : indexes->real) {
      std::vector<const ColumnDef*> columns;
      for (const IndexColumn& c : real.columns) {
        const ColumnDef* def = nullptr;
        for (const ColumnDef& d : table->columns) {
          if (d.column_number == c.column_number) def = &d;
        }
        columns.push_back(def);
      }
      WalkIndex(*handle, real.root_page, static_cast<uint32_t>(page), [&](const IndexPage&, const IndexEntry& entry) {
        const auto found = rows.find(PlaceKey(moved.Resolve(RowPlace{entry.data_page, entry.data_row})));
        if (found == rows.end()) return;
        size_t at = 0;
        for (size_t i = 0; i < columns.size(); ++i) {
          if (columns[i] == nullptr) return;
          const size_t index = static_cast<size_t>(columns[i] - table->columns.data());
          const Value& value = found->second.values[index];
          if (columns[i]->type != kColumnText) {
            const EncodedKey part = EncodeKeyColumn(KeyColumn{columns[i]->type, real.columns[i].descending, order}, value);
            if (!part.ok() || at + part.bytes.size() > entry.key.size() ||
                !std::equal(part.bytes.begin(), part.bytes.end(), entry.key.begin() + static_cast<std::ptrdiff_t>(at))) {
              return;
            }
            at += part.bytes.size();
            continue;
          }
          if (real.columns[i].descending || at >= entry.key.size()) return;
          if (value.IsNull()) {
            ++at;
            continue;
          }
          if (entry.key[at] != 0x7F) return;
          size_t end = at + 1;
          while (end < entry.key.size() && entry.key[end] != 0x00) ++end;
          if (end >= entry.key.size()) return;
          Sample sample;
          sample.text = value.bytes;
          sample.chars = CodePoints(value.bytes);
          sample.key.assign(entry.key.begin() + static_cast<std::ptrdiff_t>(at) + 1,
                            entry.key.begin() + static_cast<std::ptrdiff_t>(end) + 1);
          learner->Add(std::move(sample));
          at = end + 1;
        }
      });
    }
  }
}

std::string Hex(const uint8_t* bytes, size_t size) {
  std::string out;
  char piece[8];
  for (size_t i = 0; i < size; ++i) {
    std::snprintf(piece, sizeof piece, "%s0x%02X", i == 0 ? "" : ", ", bytes[i]);
    out += piece;
  }
  return out;
}

std::string Shown(char32_t c) {
  if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0) || c == '\\' || c == '*' || c == '/') return "";
  std::string out;
  AppendUtf8(out, c);
  return " " + out;
}

void WriteTable(std::FILE* out, const char* name, const Learner& learner, const std::vector<TextKeyChar>& table) {
  std::fprintf(out, "// %zu characters from %zu keys (%zu keys hold a character not learned).\n", table.size(),
               learner.size(), learner.unresolved());
  std::fprintf(out, "const TextKeyChar %s[] = {\n", name);
  for (const TextKeyChar& e : table) {
    std::fprintf(out, "    {0x%04X, %u, {%s}, %u, {%s}, {%s}},  // %d keys%s\n", static_cast<unsigned>(e.character),
                 e.primary_size, Hex(e.primary, e.primary_size).c_str(), e.secondary_size,
                 Hex(e.secondary, e.secondary_size).c_str(), e.primary_size == 0 ? Hex(e.special, 2).c_str() : "",
                 learner.Evidence(e.character), Shown(e.character).c_str());
  }
  if (table.empty()) std::fprintf(out, "    {0, 0, {}, 0, {}, {}},\n");
  std::fprintf(out, "};\n\n");
}

int Main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s OUT.cc FILE[:PASSWORD]...\n", argv[0]);
    return 2;
  }
  Learner jet4(true);
  Learner jet3(false);
  for (int i = 2; i < argc; ++i) {
    std::string file = argv[i];
    std::optional<std::string> password;
    if (const size_t colon = file.rfind(':'); colon != std::string::npos && colon > 0 && file.find('/', colon) == std::string::npos) {
      password = file.substr(colon + 1);
      file.resize(colon);
    }
    Collect(file, password, jet4, jet3);
  }
  jet4.Run();
  jet3.Run();
  const std::vector<TextKeyChar> jet4_table = jet4.Table();
  const std::vector<TextKeyChar> jet3_table = jet3.Table();
  for (const Learner* l : {&jet4, &jet3}) {
    std::fprintf(stderr, "%s: %zu keys, %zu of another shape, %zu with characters not learned, %zu not made again\n",
                 l == &jet4 ? "Jet 4 General" : "Jet 3 General", l->size(), l->unparsed(), l->unresolved(), l->failed());
    for (const std::string& text : l->failures()) std::fprintf(stderr, "  not made again: %s\n", text.c_str());
  }

  std::FILE* out = std::fopen(argv[1], "w");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  std::fprintf(out,
               "// Written by tools/learn_text_keys from the samples' index pages: do not edit.\n"
               "// Each entry: the character, its primary weights, its secondary weights (one per\n"
               "// sorting element), and for a character that sorts as nothing its special weight.\n"
               "#include \"reader/text_sort_keys.h\"\n\nnamespace mendora {\n\nnamespace {\n\n");
  WriteTable(out, "kJet4General", jet4, jet4_table);
  WriteTable(out, "kJet3General", jet3, jet3_table);
  std::fprintf(out,
               "}  // namespace\n\n"
               "const TextKeyTable kJet4GeneralKeys = {kJet4General, %zu, true};\n"
               "const TextKeyTable kJet3GeneralKeys = {kJet3General, %zu, false};\n\n"
               "}  // namespace mendora\n",
               jet4_table.size(), jet3_table.size());
  return std::fclose(out) == 0 ? 0 : 1;
}

}  // namespace
}  // namespace mendora

int main(int argc, char** argv) { return mendora::Main(argc, argv); }
