// What the catalog's property blocks still say about the columns of a table
// whose definition is gone.
//
// Access writes a block for each column with the properties its type takes:
// Format and DisplayControl for a Yes/No, DecimalPlaces for numbers,
// AllowZeroLength and UnicodeCompression for text, ShowDatePicker and date
// formats for dates, TextFormat for memos... Each block thus names a column
// and tells its kind, though not always its exact type (a number may be any
// width); the inference matches the blocks to the columns the rows hold.
#ifndef MENDORA_RECOVERY_COLUMN_EVIDENCE_H_
#define MENDORA_RECOVERY_COLUMN_EVIDENCE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "reader/property_blocks.h"
#include "reader/table_def.h"

namespace mendora {

enum class ColumnKind : uint8_t {
  kUnknown,
  kBoolean,   // no bytes of its own: a bit of the null mask
  kDate,      // 8 fixed bytes
  kCurrency,  // 8 fixed bytes
  kNumber,    // fixed bytes of some width
  kText,      // variable: text, or a memo
  kMemo,      // variable: a long value
};

struct ColumnEvidence {
  std::string name;
  ColumnKind kind = ColumnKind::kUnknown;
  std::string property;  // the property that told the kind; empty when none did
};

// The kind each column block's properties tell, in stored order; the
// table's own block (the first, with an empty name) is left out.
std::vector<ColumnEvidence> ColumnEvidenceOf(const std::vector<PropertyObject>& blocks);

// What the blocks bound of a row's fixed columns. When there is a block for
// every column the row stores, the kinds are counted exactly (blocks of no
// known kind widen the bounds); when the row stores more columns, the rest
// were deleted, and the blocks give only the fewest.
struct KindCounts {
  uint32_t fixed_fewest = 0;
  uint32_t fixed_most = UINT32_MAX;
  size_t dates_fewest = 0;
  size_t dates_most = SIZE_MAX;
  size_t currency_fewest = 0;
};
KindCounts CountKinds(const std::vector<ColumnEvidence>& evidence, uint32_t row_columns, uint32_t row_variables);

// What the values said of an inferred column beyond its type.
struct InferredColumn {
  bool counter = false;  // a long rising through every row
  bool empty = false;    // a variable column with no value in any row
};

// Names the inferred columns (in column-number order) from the blocks,
// each block going to a column of its kind in stored order; a column no
// block names is "DeletedN" when the rows store more columns than there are
// blocks, else "ColumnN". `notes` gets for each column how its type was
// decided ("a date (from its Format property)"), `guessed` the columns
// whose type only the values gave.
void NameColumns(std::vector<ColumnDef>& columns, const std::vector<InferredColumn>& about,
                 const std::vector<ColumnEvidence>& evidence, std::vector<std::string>& notes, size_t& guessed);

}  // namespace mendora

#endif  // MENDORA_RECOVERY_COLUMN_EVIDENCE_H_
