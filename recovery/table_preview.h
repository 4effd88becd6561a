// Reading a table that a pass recovered again, a window of rows at a time,
// so that a viewer can show what was recovered before anything is saved.
//
// The source is opened read-only through the reader. A table is never held
// whole: the rows asked for are read from the nearest of the positions the
// pass noted (every kRowMarkEvery rows), or on from where the last window
// ended.
#ifndef MENDORA_RECOVERY_TABLE_PREVIEW_H_
#define MENDORA_RECOVERY_TABLE_PREVIEW_H_

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "reader/jet_handle.h"
#include "reader/row_cursor.h"
#include "reader/table_def.h"
#include "recovery/loss_account.h"
#include "recovery/recovery_session.h"

namespace mendora {

struct PreviewCell {
  bool null = true;
  // The value could not be read (a long value whose chain breaks, a value
  // outside its row): null, and lost rather than empty.
  bool lost = false;
  std::string text;  // as the dump renders the value; for binary data a short description
  // The typed value, for a viewer that shows numbers and dates its own way
  // and sorts by them; text and binary values leave their bytes in `text`.
  Value value;
  // The picture file an OLE or binary value holds (BMP, PNG, JPEG, GIF...),
  // for a thumbnail; empty when it holds none.
  std::string picture;
};

using PreviewRow = std::vector<PreviewCell>;

class TablePreview {
 public:
  // Opens the source read-only; null, with the reader's reason in `error`,
  // when it cannot. `code_page` as RecoverySession::TextCodePage.
  static std::unique_ptr<TablePreview> Open(const std::string& path, const std::optional<std::string>& password,
                                            std::string* error = nullptr, int code_page = 0);
  ~TablePreview();

  // Makes `table` (one of a pass's recovered_tables over this source) the one
  // rows are read from. False when its definition does not read any more.
  bool Select(const RecoveredTable& table);
  const std::vector<std::string>& ColumnNames() const { return column_names_; }
  // A table whose definition is gone: for each column, how its type was
  // inferred ("a date (from its Format property)"); empty otherwise.
  const std::vector<std::string>& ColumnNotes() const { return column_notes_; }
  // The selected table has OLE or binary columns, which may hold pictures.
  bool HasBinaryColumns() const {
    return std::find(binary_columns_.begin(), binary_columns_.end(), true) != binary_columns_.end();
  }
  // Rows as the pass counted them.
  int64_t RowCount() const { return selected_ ? selected_->rows : 0; }
  // Rows [first, first + count) of the selected table; fewer at its end.
  std::vector<PreviewRow> Rows(int64_t first, int64_t count);
  // Pages read from the source so far: what the windows cost.
  uint64_t PagesRead() const { return handle_ ? handle_->pages_read : 0; }

 private:
  TablePreview() = default;
  // Puts the cursor at row `row` (from the nearest mark or onwards from
  // where it stands); false when the table ends first.
  bool MoveTo(int64_t row);
  PreviewRow Cells(const Row& row) const;

  JetHandlePtr handle_;
  // Damage was counted by the pass; a preview only notes which values of the
  // row being read are lost.
  class LostValues final : public DamageReporter {
   public:
    void Report(const DamageReport& report) override {
      if (LosesValue(report.kind)) columns.push_back(report.column);
    }
    std::vector<std::string> columns;
  };
  LostValues lost_;
  std::optional<RecoveredTable> selected_;
  TableDefPtr table_;
  std::unique_ptr<RowCursor> cursor_;
  int64_t next_row_ = 0;  // the row the cursor's Next gives
  Row row_;
  std::vector<std::string> column_names_;
  std::vector<std::string> column_notes_;
  std::vector<bool> binary_columns_;
};

}  // namespace mendora

#endif  // MENDORA_RECOVERY_TABLE_PREVIEW_H_
