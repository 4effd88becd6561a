// The grid of the preview: a recovered table's rows as a read-only model,
// read from the source a window at a time. Only the window the view shows
// (and its thumbnails) is held, whatever the table's size.
#ifndef MENDORA_APP_PREVIEW_MODEL_H_
#define MENDORA_APP_PREVIEW_MODEL_H_

#include <QAbstractTableModel>
#include <QHash>
#include <QPixmap>
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

  explicit PreviewModel(TablePreview* preview, QObject* parent = nullptr);

  // Shows `table`; false (and an empty grid) when it cannot be read again.
  bool ShowTable(const RecoveredTable& table);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

  // Whether the shown table's layout was inferred from its rows (its
  // headers' tooltips tell how each column was typed).
  bool LayoutInferred() const { return !notes_.isEmpty(); }

  // Windows read from the source so far, and the rows held now.
  int WindowsRead() const { return windows_read_; }
  int RowsHeld() const { return static_cast<int>(window_.size()); }

 private:
  // The cell of `row`, reading the window around it when it is not held;
  // null past the table's end.
  const PreviewCell* Cell(int row, int column) const;

  TablePreview* preview_;
  int rows_ = 0;
  QStringList columns_;
  QStringList notes_;  // how each column's type was inferred; empty for a table read by its definition
  mutable int64_t window_first_ = 0;
  mutable std::vector<PreviewRow> window_;
  mutable QHash<quint64, QPixmap> thumbnails_;  // of the held window, by row and column
  mutable int windows_read_ = 0;
};

}  // namespace mendora

#endif  // MENDORA_APP_PREVIEW_MODEL_H_
