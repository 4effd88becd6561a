// Windows of a recovered table's rows, read again from the source.
#include "recovery/table_preview.h"

#include <algorithm>

#include "reader/column_types.h"
#include "reader/ole_wrapper.h"
#include "reader/value_render.h"

namespace mendora {

namespace {

// A window larger than this is no window: the caller is asking for the table.
constexpr int64_t kMaxWindow = 4096;

bool StartsWith(const std::string& bytes, std::string_view magic) {
  return bytes.size() >= magic.size() && std::equal(magic.begin(), magic.end(), bytes.begin());
}

// A picture file stored as it is, not inside Access's OLE wrapper.
bool IsPictureFile(const std::string& bytes) {
  return StartsWith(bytes, "\x89PNG") || StartsWith(bytes, "\xFF\xD8\xFF") || StartsWith(bytes, "GIF8") ||
         StartsWith(bytes, "BM");
}

std::string SizeText(size_t bytes) { return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes"); }

}  // namespace

std::unique_ptr<TablePreview> TablePreview::Open(const std::string& path, const std::optional<std::string>& password,
                                                 std::string* error, int code_page) {
  JetOpenOptions options;
  options.password = password;
  options.code_page = code_page;
  JetHandlePtr handle = OpenJetHandle(path, error, nullptr, options);
  if (!handle) return nullptr;
  std::unique_ptr<TablePreview> preview(new TablePreview());
  preview->handle_ = std::move(handle);
  preview->handle_->damage = &preview->lost_;
  return preview;
}

TablePreview::~TablePreview() = default;

bool TablePreview::Select(const RecoveredTable& table) {
  cursor_.reset();
  table_.reset();
  selected_.reset();
  column_names_.clear();
  column_notes_.clear();
  binary_columns_.clear();
  next_row_ = 0;
  if (table.inferred_layout) {
    // Its definition is gone: the pass's inferred layout reads it again.
    table_ = std::make_unique<TableDef>(*table.inferred_layout);
    table_->entry.handle = handle_.get();
  } else {
    table_ = OpenTable(*handle_, table.source_name, table.object_type, table.definition_page);
  }
  if (!table_) return false;
  selected_ = table;
  column_notes_ = table_->column_notes;
  for (const ColumnDef& column : table_->columns) {
    column_names_.push_back(column.name);
    binary_columns_.push_back(column.type == kColumnOle || column.type == kColumnBinary);
  }
  return true;
}

bool TablePreview::MoveTo(int64_t row) {
  if (!selected_ || row < 0 || row >= selected_->rows || selected_->marks.empty()) return false;
  const bool ahead_within_reach = cursor_ && row >= next_row_ && row - next_row_ < kRowMarkEvery;
  if (!ahead_within_reach) {
    const size_t mark = std::min<size_t>(static_cast<size_t>(row / kRowMarkEvery), selected_->marks.size() - 1);
    cursor_ = std::make_unique<RowCursor>(*table_);
    cursor_->SetDeletedRows(selected_->deleted_rows);
    if (selected_->row_check) cursor_->SetRowCheck(selected_->row_check);
    if (!cursor_->SeekTo(selected_->marks[mark].page, selected_->marks[mark].slot)) {
      cursor_.reset();
      return false;
    }
    next_row_ = static_cast<int64_t>(mark) * kRowMarkEvery;
  }
  while (next_row_ < row) {
    if (!cursor_->Next(row_)) return false;
    ++next_row_;
  }
  return true;
}

std::vector<PreviewRow> TablePreview::Rows(int64_t first, int64_t count) {
  std::vector<PreviewRow> rows;
  count = std::min(count, kMaxWindow);
  if (count <= 0 || !MoveTo(first)) return rows;
  const int64_t end = std::min(first + count, selected_->rows);
  rows.reserve(static_cast<size_t>(end - first));
  lost_.columns.clear();
  while (next_row_ < end && cursor_->Next(row_)) {
    ++next_row_;
    rows.push_back(Cells(row_));
    for (const std::string& column : lost_.columns) {
      for (size_t i = 0; i < column_names_.size() && i < rows.back().size(); ++i) {
        if (column_names_[i] == column && rows.back()[i].null) rows.back()[i].lost = true;
      }
    }
    lost_.columns.clear();
  }
  return rows;
}

PreviewRow TablePreview::Cells(const Row& row) const {
  PreviewRow cells(row.values.size());
  for (size_t i = 0; i < row.values.size(); ++i) {
    const Value& value = row.values[i];
    PreviewCell& cell = cells[i];
    cell.null = value.IsNull();
    if (cell.null) continue;
    if (value.kind != ValueKind::kBytes) {
      RenderValueInto(value, cell.text);
      if (value.kind != ValueKind::kText) cell.value = value;
      cell.value.kind = value.kind;
      continue;
    }
    cell.value.kind = value.kind;
    const bool binary_column = i < binary_columns_.size() && binary_columns_[i];
    const ByteView stored(reinterpret_cast<const uint8_t*>(value.bytes.data()), value.bytes.size());
    const std::optional<OleContent> content = binary_column ? UnwrapOle(stored) : std::nullopt;
    if (content) {
      cell.text = (content->file_name.empty() ? content->class_name : content->file_name) + ", " +
                  SizeText(content->length);
      if (content->media_type.rfind("image/", 0) == 0) cell.picture = value.bytes.substr(content->offset, content->length);
    } else {
      cell.text = SizeText(value.bytes.size());
      if (IsPictureFile(value.bytes)) cell.picture = value.bytes;
    }
  }
  return cells;
}

}  // namespace mendora
