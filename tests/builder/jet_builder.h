// Writes small Jet 3 and Jet 4 database files page by page, for tests and
// benchmarks: real layouts, plus the damage and odd corners that sample
// files lack (deleted catalog rows, straddling definitions, long names...).
#ifndef MENDORA_TESTS_BUILDER_JET_BUILDER_H_
#define MENDORA_TESTS_BUILDER_JET_BUILDER_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace mendora::testing {

enum class JetVersion { kJet3, kJet4 };

// Access 2007+ files (.accdb): the Jet 4 layout, the engine name "Standard
// ACE DB" and this version at 0x14.
enum class AceVersion : uint8_t {
  kAccess2007 = 2, kAccess2010 = 3, kAccess2013 = 4, kAccess2016 = 5, kAccess2019 = 6,
};

// Column type codes as stored in column records.
enum ColumnCode : int {
  kBoolean = 0x01, kByte = 0x02, kInteger = 0x03, kLong = 0x04, kCurrency = 0x05,
  kSingle = 0x06, kDouble = 0x07, kDateTime = 0x08, kBinary = 0x09, kText = 0x0A,
  kOle = 0x0B, kMemo = 0x0C, kGuid = 0x0F, kNumeric = 0x10,
  // Access 2007+: the 4-byte key of a complex column, a 64-bit integer, and
  // the 42-byte extended date/time.
  kComplex = 0x12, kBigInt = 0x13, kExtendedDateTime = 0x14,
};

struct Column {
  std::string name;  // UTF-8
  int type = kText;
  int size = 0;         // stored size in bytes; 0 = the type's natural size (text: 255 chars,
                        // 510 bytes in Jet 4)
  int precision = 0;    // Numeric
  int scale = 0;        // Numeric
  // The column number stored in the record; -1 = its position in the table.
  int number = -1;
  uint32_t complex_id = 0;   // complex columns: written at offset 11 of the record
  uint8_t extra_flags = 0;   // Jet 4: ORed into byte 16 of the record (0xC0 calculated, ...)
};

// How a long value (memo, OLE) is laid out.
enum class LongValueForm { kAuto, kInline, kSinglePage, kChained };

// A cell value. Which alternative fits which column type:
//   null: monostate
//   Boolean: bool
//   Byte, Integer, Long, BigInt, complex keys: int64_t (stored in the column's width)
//   Currency: int64_t count of 1/10000 units
//   Single, Double, DateTime (days since 1899-12-30): double
//   Text, Memo: std::string (UTF-8)
//   Numeric, OLE, Binary, GUID, extended date/time, or any raw field: Bytes (stored as given;
//   for Memo and OLE the bytes are the long value's content)
using Bytes = std::vector<uint8_t>;
using Value = std::variant<std::monostate, bool, int64_t, double, std::string, Bytes>;
using Row = std::vector<Value>;

struct Table {
  std::string name;  // UTF-8
  std::vector<Column> columns;
  std::vector<Row> rows;
  int usage_map_type = 0;             // 0: inline map, 1: map pages
  std::vector<size_t> deleted_rows;   // indices into rows written with the deleted mark
  std::optional<int32_t> stored_row_count;  // default: live rows
  // Rows written before the `late_columns` columns with the highest stored
  // numbers were added (wherever the definition lists them): those rows store
  // fewer columns (their values for the late columns must be null).
  size_t late_columns = 0;
  size_t rows_before_late_columns = 0;
  LongValueForm long_value_form = LongValueForm::kAuto;
  bool compress_text = false;          // Jet 4: write text in the compressed form where possible
  // Forces the definition onto continuation pages: each definition page holds
  // at most this many bytes of the definition after its 8-byte header (0 = as
  // much as fits). Pages then end early, which the engine never does (it
  // fills every page but the last), so only a reader that takes each page's
  // used length into account follows them: Jet 4 pages give it through the
  // free-space field (used = page size - 8 - free), Jet 3 pages do not. For a
  // definition that straddles pages the engine's way, give the table enough
  // columns (or long enough names) to outgrow one page.
  int definition_page_capacity = 0;
  int rows_per_page = 0;               // 0 = as many as fit
  // Rows made on demand instead of `rows` (which is then ignored), for tables
  // too large to hold in memory: called with 0, 1, 2, ... until it returns
  // false.
  std::function<bool(size_t index, Row& row)> row_source;
  uint32_t catalog_flags = 0;  // Flags of its catalog row (0x80000000 system, ...)
};

struct Relationship {
  std::string name;
  std::string table;           // referenced (primary) table
  std::string column;          // its field
  std::string foreign_table;   // referencing table
  std::string foreign_column;  // its field
};

// A catalog row as written, for cases the high-level calls do not cover.
struct CatalogRow {
  std::string name;  // UTF-8; written in the file's text form
  int type = 1;      // 1 table, 5 query, ...; written as stored (flags in high bits allowed)
  uint32_t id = 0;   // object id; its low 24 bits name the definition page
  bool deleted = false;
  uint32_t flags = 0;  // 0x80000000 / 0x00000002 mark system objects
};

// One attachment of an attachment column.
struct Attachment {
  std::string name;       // FileName
  std::string extension;  // FileType
  Bytes data;             // the file's bytes
  bool compress = true;   // as Access stores them; false writes the stored form
};

enum class ComplexType { kMultiValueText, kAttachments };

// The values of a complex column of an added table: its hidden table's rows,
// each naming the parent row by the key the parent stores in the column.
struct ComplexColumn {
  std::string table;     // the parent table (added before)
  std::string column;    // its column of type kComplex
  uint32_t complex_id = 0;  // the column's Column::complex_id
  ComplexType type = ComplexType::kMultiValueText;
  std::vector<std::pair<uint32_t, std::string>> values;     // multi-value: (key, text)
  std::vector<std::pair<uint32_t, Attachment>> attachments;  // attachments: (key, file)
};

class JetFileBuilder {
 public:
  explicit JetFileBuilder(JetVersion version);
  explicit JetFileBuilder(AceVersion version);

  // Adds a user table (definition, data pages, usage map, catalog row) and
  // returns the number of its first definition page. Throws
  // std::invalid_argument for values that do not suit their column (the
  // builder then holds a half-written table and is best dropped).
  uint32_t AddTable(const Table& table);
  // Adds the hidden table of a complex column (named f_<32 hex digits>_COLUMN
  // as Access names them), the template table of its type (once per file) and
  // its row of MSysComplexColumns, which the finished file then has. Throws
  // std::invalid_argument when the parent table was not added.
  void AddComplexColumn(const ComplexColumn& column);
  // Adds a saved query object (catalog row of type 5 only).
  void AddQuery(const std::string& name);
  // Adds a one-field relationship: a row of the relationships system table
  // MSysRelationships (which every file has, as files the engine makes do)
  // and a catalog row of type 8 in the Relationships container.
  void AddRelationship(const Relationship& relationship);
  // Adds a raw catalog row.
  void AddCatalogRow(const CatalogRow& row);
  // Marks the catalog row of an added table deleted (the table stays).
  void DeleteCatalogRowOf(const std::string& table_name);

  // Jet 3 only, before anything is added: writes text (names and values) in
  // `code_page` (any code page iconv has; characters it lacks become '?'),
  // and names `header_code_page` (default: the same) and `sort_order` in the
  // header and the column records.
  void SetCodePage(int code_page, std::optional<int> header_code_page = std::nullopt, uint16_t sort_order = 0x0409);

  // Places the relationships table's own catalog row before all added
  // objects (the default, as the engine does) or, with false, after them.
  void SetRelationshipsFirst(bool first);

  // The whole file. Page 0 header, page 1 the global page map, the system
  // tables' definitions at pages 2-5, their usage maps at page 6, the first
  // catalog data page at 7, then everything added in order; the pages made
  // last (more catalog rows, relationship rows, their maps) follow at the end.
  // The first Build() or WriteTo() completes the file: adding to it afterwards
  // throws std::logic_error.
  Bytes Build();
  // Build() written to `path`, page by page (the file is not held twice).
  void WriteTo(const std::string& path);

  uint32_t page_size() const;

 private:
  // Adds MSysComplexColumns when complex columns were added.
  void AddComplexDirectory();

  struct Impl;
  std::shared_ptr<Impl> impl_;
};

// Field values in their stored form.
// Numeric: sign byte (0x80 = negative), then 16 bytes holding the unscaled
// magnitude as four 32-bit little-endian words, most significant word first.
Bytes NumericBytes(int64_t unscaled);
// The stored form of an attachment's data (FileData): compressed flag,
// content length, then the content (its header naming the extension, then
// the file) zlib-compressed or as it is.
Bytes AttachmentFileData(const std::string& extension, const Bytes& file, bool compress);
// The 42 bytes of an extended date/time: days since 0001-01-01 and 100 ns
// units since midnight, as 19 ASCII digits each.
Bytes ExtendedDateTimeBytes(int64_t days, uint64_t ticks);
// Days since 1899-12-30 as stored for DateTime.
double DateValue(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

// Low-level helpers for damaging built files in tests.
void WriteU16(Bytes& file, size_t offset, uint16_t value);
void WriteU32(Bytes& file, size_t offset, uint32_t value);
void ZeroPage(Bytes& file, uint32_t page_size, uint32_t page);

}  // namespace mendora::testing

#endif  // MENDORA_TESTS_BUILDER_JET_BUILDER_H_
