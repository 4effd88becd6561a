// The grid of the preview: a recovered table's rows as a read-only model,
// read from the source a window at a time. Only the window the view shows
// (and its thumbnails) is held, whatever the table's size; a table small
// enough to hold whole may be sorted by any column.
#ifndef MENDORA_APP_PREVIEW_MODEL_H_
#define MENDORA_APP_PREVIEW_MODEL_H_

#include <QAbstractTableModel>
#include <QCollatorSortKey>
#include <QHash>
#include <QPixmap>
#include <optional>
#include <vector>

#include "recovery/table_preview.h"

namespace mendora {

class PreviewModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  static constexpr int kWindowRows = 256;
  static constexpr int kThumbnailPixels = 48;
  // Longer texts are cut in the grid; the tooltip holds more.
  static constexpr int kShownCharacters = 200;
  static constexpr int kTooltipCharacters = 2000;
  // Sorting holds the whole table: offered up to this many cells, and
  // given up when the table's values take more than kSortableBytes.
  static constexpr int64_t kSortableCells = 1000000;
  static constexpr size_t kSortableBytes = size_t(256) << 20;

  explicit PreviewModel(TablePreview* preview, QObject* parent = nullptr);

  // Shows `table`; false (and an empty grid) when it cannot be read again.
  bool ShowTable(const RecoveredTable& table);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  // Rows are numbered as the table stores them, sorted or not.
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  // Sorts a table that fits kSortableCells (numbers and dates by value,
  // text in the user's collation, empty values first); a larger table stays
  // in stored order and SortRefused is sent.
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
  bool Sortable() const;
  bool IsSorted() const { return sorted_; }

  // The first cell at or after (`row`, `column`) in the grid's order, then
  // from the top, whose shown text holds `needle` (in any case); nothing
  // when no cell does. Reads the table as far as it must.
  std::optional<QModelIndex> Find(const QString& needle, int row, int column);

  // A value as the grid shows it: dates in the user's locale, a value that
  // could not be read as "(lost)".
  static QString ShownText(const PreviewCell& cell);

  // Whether the shown table's layout was inferred from its rows (its
  // headers' tooltips tell how each column was typed).
  bool LayoutInferred() const { return !notes_.isEmpty(); }

  // Windows read from the source so far, and the rows held now.
  int WindowsRead() const { return windows_read_; }
  int RowsHeld() const { return static_cast<int>(sorted_ ? all_.size() : window_.size()); }

 signals:
  void SortRefused();

 private:
  // The cell of `row`, reading the window around it when it is not held;
  // null past the table's end.
  const PreviewCell* Cell(int row, int column) const;
  // The stored row shown at `row`.
  int64_t StoredRow(int row) const;

  TablePreview* preview_;
  int rows_ = 0;
  QStringList columns_;
  QStringList notes_;  // how each column's type was inferred; empty for a table read by its definition
  mutable int64_t window_first_ = 0;
  mutable std::vector<PreviewRow> window_;
  mutable QHash<quint64, QPixmap> thumbnails_;  // of the held rows, by row and column
  mutable int windows_read_ = 0;
  // A sorted table: every row, and the stored row shown at each place.
  bool sorted_ = false;
  std::vector<PreviewRow> all_;
  std::vector<int> order_;
};

}  // namespace mendora

#endif  // MENDORA_APP_PREVIEW_MODEL_H_
