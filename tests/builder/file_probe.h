// A small decoder for the builder's own tests. It shares no code with the
// builder, so a fault in how the builder lays out bytes shows up as a
// mismatch here instead of cancelling itself out.
#ifndef MENDORA_TESTS_BUILDER_FILE_PROBE_H_
#define MENDORA_TESTS_BUILDER_FILE_PROBE_H_

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "tests/builder/jet_builder.h"

namespace mendora::testing {

// Names the version in test names and messages.
inline void PrintTo(JetVersion v, std::ostream* os) {
  *os << (v == JetVersion::kJet3 ? "Jet3" : "Jet4");
}

}  // namespace mendora::testing

namespace mendora::testing::probe {

uint32_t Le(const uint8_t* at, int width);

struct File {
  explicit File(Bytes file_bytes);
  bool jet4 = false;
  uint32_t page_size = 0;
  Bytes bytes;
  const uint8_t* page(uint32_t n) const {
    return bytes.data() + static_cast<size_t>(n) * page_size;
  }
  uint32_t pages() const { return static_cast<uint32_t>(bytes.size() / page_size); }
  uint32_t Field(uint32_t page_number, uint32_t offset, int width) const {
    return Le(page(page_number) + offset, width);
  }
};

struct Slot {
  uint32_t start = 0;
  uint32_t end = 0;  // one past the last byte
  uint16_t marks = 0;
};
// Rows of a data page; row n ends where row n-1 starts.
std::vector<Slot> Slots(const File& f, uint32_t page);

struct ColumnRecord {
  int type = 0, number = 0, var_number = 0, row_number = 0, precision = 0, scale = 0;
  int flags = 0, fixed_offset = 0, size = 0;
  bool compressed = false;
  std::string name;  // UTF-8
};

struct Definition {
  std::vector<uint32_t> chain;
  Bytes bytes;  // the pages' definition bytes run together
  uint32_t length = 0, rows = 0, indexes = 0, real_indexes = 0;
  int column_count = 0, var_columns = 0, next_number = 0;
  uint8_t kind = 0;
  uint8_t usage_row = 0, free_row = 0;
  uint32_t usage_page = 0, free_page = 0;
  std::vector<ColumnRecord> columns;  // record order
};
// Continuation pages add their bytes from offset 8: all of them, or, with
// `used_length`, only what the Jet 4 free-space field says they use.
Definition ReadDefinition(const File& f, uint32_t page, bool used_length = false);

struct Field {
  bool present = false;
  bool truth = false;  // Boolean columns
  Bytes bytes;
};
struct DecodedRow {
  int column_count = 0;
  std::vector<Field> fields;  // in the definition's record order
};
DecodedRow DecodeRow(const File& f, const Definition& d, const uint8_t* row, size_t length);
// Live rows (or all) of the table in page order.
std::vector<DecodedRow> ReadRows(const File& f, const Definition& d, uint32_t definition_page,
                                 bool with_deleted = false);

std::string Text(const File& f, const Bytes& field);  // to UTF-8
Bytes LongValue(const File& f, const Bytes& field);
std::vector<uint32_t> MapPages(const File& f, uint8_t row, uint32_t page);
std::vector<uint32_t> PagesOwnedBy(const File& f, uint32_t owner);

struct CatalogEntry {
  std::string name;
  int type = 0;  // as stored, 16 bits
  uint32_t id = 0, parent = 0, flags = 0;
  bool deleted = false;
};
std::vector<CatalogEntry> Catalog(const File& f);

}  // namespace mendora::testing::probe

#endif  // MENDORA_TESTS_BUILDER_FILE_PROBE_H_
