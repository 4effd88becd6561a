// The per-character keys of text in the sort orders whose keys are known,
// as learned from the samples' index pages (tools/learn_text_keys writes
// text_sort_keys.cc; see index_key.h for how a text's key is put together).
#ifndef MENDORA_READER_TEXT_SORT_KEYS_H_
#define MENDORA_READER_TEXT_SORT_KEYS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace mendora {

inline constexpr size_t kMaxCharWeights = 8;

// One character's part of a text key. A character that sorts as nothing (a
// hyphen, an apostrophe) has no primary weights and a special weight
// instead, kept with its place in the text.
struct TextKeyChar {
  char32_t character;
  uint8_t primary_size;
  uint8_t primary[kMaxCharWeights];
  // One per sorting element: 0x02 for an unmarked one. 0 for a character
  // whose elements are all unmarked but not counted by any sample: a key
  // that needs their count (a mark or a special weight after them) is
  // not known.
  uint8_t secondary_size;
  uint8_t secondary[kMaxCharWeights];
  uint8_t special[2];
};

struct TextKeyTable {
  const TextKeyChar* characters;  // ordered by character
  size_t count;
  // Jet 4 and later: the primary weights are followed by the sections of
  // secondary and special weights; Jet 3 keys have the primary weights only.
  bool sections;
};

// The weights of `text` (UTF-8) after a key's flag byte, in `table`; the
// characters `table` lacks go to `unknown` (and nothing to `out`).
void EncodeTextKey(const TextKeyTable& table, const std::string& text, std::vector<uint8_t>& out,
                   std::u32string& unknown);

extern const TextKeyTable kJet4GeneralKeys;
extern const TextKeyTable kJet3GeneralKeys;

}  // namespace mendora

#endif  // MENDORA_READER_TEXT_SORT_KEYS_H_
