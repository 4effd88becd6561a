// Cell values in their stored form, and long values (memo, OLE) written to
// long-value pages.
#ifndef MENDORA_TESTS_BUILDER_JET_VALUES_H_
#define MENDORA_TESTS_BUILDER_JET_VALUES_H_

#include <cstdint>

#include "tests/builder/jet_pages.h"
#include "tests/builder/jet_rows.h"

namespace mendora::testing::detail {

// Owner field of long-value pages: "LVAL".
constexpr uint32_t kLongValueOwner = 0x4C41564C;

// Long values up to this many bytes stay inside the row when the form is left
// to the builder.
constexpr size_t kInlineLongValueLimit = 200;

// Field bytes 0-2 hold the length; byte 3 tells where the data is.
constexpr uint8_t kLongValueInline = 0x80;
constexpr uint8_t kLongValueSingle = 0x40;

// Writes long values to LVAL pages of its own and hands back the 12-byte (or,
// inline, longer) field that refers to them:
//   length (24 bits) | form | row | page (24 bits) | 4 unused | inline data
// A chain is rows each starting with the next row's number and page (24 bits),
// zero at the end.
class LongValueWriter {
 public:
  LongValueWriter(PageStore& store, const Layout& layout)
      : store_(store), layout_(layout), pages_(store, layout, kLongValueOwner) {}

  Bytes Field(const Bytes& content, LongValueForm form);
  const std::vector<uint32_t>& pages() const { return pages_.pages(); }

 private:
  Bytes Chain(const Bytes& content, bool split);
  void LinkRow(RowAddress from, RowAddress to);

  PageStore& store_;
  const Layout& layout_;
  RowPageWriter pages_;
};

// The stored form of `value` for `column`, long values going through `long_values`.
// Throws std::invalid_argument when the value does not suit the column type.
Cell MakeCell(JetVersion version, const StoredColumn& column, const Value& value,
              LongValueWriter& long_values, LongValueForm form, bool compress_text, int code_page = 1252);

}  // namespace mendora::testing::detail

#endif  // MENDORA_TESTS_BUILDER_JET_VALUES_H_
