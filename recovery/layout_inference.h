// Inferring a table's columns from its rows alone, for data pages whose
// table definition is gone.
//
// A row still says how many columns it stores, where its fixed part ends,
// where each variable column lies and which columns are null. What it does
// not say is how the fixed part splits into columns and of which types, nor
// what the variable columns hold: both are decided from all rows of the
// table together, the split by dynamic programming over the fixed part's
// offsets with every row's bytes scored as each candidate type.
#ifndef MENDORA_RECOVERY_LAYOUT_INFERENCE_H_
#define MENDORA_RECOVERY_LAYOUT_INFERENCE_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "reader/byte_view.h"
#include "reader/table_def.h"
#include "recovery/column_evidence.h"

namespace mendora {

// One row's bytes, with where it was found (long values are claimed by the
// field that reads them).
struct RowSample {
  std::vector<uint8_t> bytes;
  uint32_t page = 0;
  uint16_t slot = 0;
};

// What a row says about its own shape; rows of one table share it.
struct RowShape {
  uint32_t column_count = 0;
  uint32_t fixed_size = 0;  // bytes of the fixed part
  uint32_t var_count = 0;
  bool operator==(const RowShape&) const = default;
};

// The shape of `row` (its bytes alone) read with or without a variable
// table; nothing when its layout does not hold together that way.
std::optional<RowShape> ShapeOfRow(ByteView row, bool jet4, bool has_var_table);

struct InferenceContext {
  bool jet4 = true;
  uint32_t page_count = 0;  // long-value references must point inside the file
  // Reads the content of long-value field `field` of `row` (the field's
  // column number given so the read is claimed for the right field);
  // nothing when it cannot be read. Unset: memo and OLE are told apart by
  // inline content only.
  std::function<std::optional<std::string>(ByteView field, const RowSample& row, uint16_t column_number)>
      read_long_value;
  // What the catalog's property blocks say of the table's columns; empty
  // when it keeps none.
  std::vector<ColumnEvidence> evidence;
};

struct InferredLayout {
  bool has_var_table = false;
  RowShape shape;
  // In storage (column number) order, named from the evidence, else
  // Column1, Column2, ... (or Deleted1, ... for columns since deleted).
  std::vector<ColumnDef> columns;
  // For each column, how its type was decided: "a date (from its Format
  // property)".
  std::vector<std::string> notes;
  size_t guessed = 0;  // columns typed from the values alone
  uint32_t lowest_variable_number = UINT32_MAX;
  size_t rows_fitting = 0;  // of the samples

  // Whether a row has the table's shape, or holds the first columns of it
  // (written before the others were added): rows that do not are lost,
  // never read with a layout that is not theirs.
  bool Fits(ByteView row, bool jet4) const;
};

// The layout most of `rows` share; nothing when no shape is shared by any.
std::optional<InferredLayout> InferLayout(const std::vector<RowSample>& rows, const InferenceContext& context);

// How plausible `bytes` are as a fixed value of `type` (at most 1, below 0
// for values the type hardly ever holds); exposed for tests.
double FixedValueQuality(int type, ByteView bytes);

}  // namespace mendora

#endif  // MENDORA_RECOVERY_LAYOUT_INFERENCE_H_
