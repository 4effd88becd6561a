// The preview's grid model.
#include "app/preview_model.h"

#include <QImage>
#include <algorithm>
#include <climits>

namespace mendora {

PreviewModel::PreviewModel(TablePreview* preview, QObject* parent) : QAbstractTableModel(parent), preview_(preview) {}

bool PreviewModel::ShowTable(const RecoveredTable& table) {
  beginResetModel();
  window_.clear();
  thumbnails_.clear();
  window_first_ = 0;
  columns_.clear();
  notes_.clear();
  rows_ = 0;
  const bool opened = preview_ != nullptr && preview_->Select(table);
  if (opened) {
    for (const std::string& name : preview_->ColumnNames()) columns_ << QString::fromStdString(name);
    for (const std::string& note : preview_->ColumnNotes()) notes_ << QString::fromStdString(note);
    // A view counts rows in an int: a table past that shows its first ones.
    rows_ = static_cast<int>(std::min<int64_t>(preview_->RowCount(), INT_MAX));
  }
  endResetModel();
  return opened;
}

int PreviewModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int PreviewModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

const PreviewCell* PreviewModel::Cell(int row, int column) const {
  if (row < 0 || row >= rows_ || column < 0) return nullptr;
  const int64_t held_end = window_first_ + static_cast<int64_t>(window_.size());
  if (row < window_first_ || row >= held_end) {
    // A quarter of the window before the row, so that scrolling back a
    // little does not read again.
    window_first_ = std::max<int64_t>(0, row - kWindowRows / 4);
    window_ = preview_->Rows(window_first_, kWindowRows);
    thumbnails_.clear();
    ++windows_read_;
    if (row >= window_first_ + static_cast<int64_t>(window_.size())) return nullptr;
  }
  const PreviewRow& cells = window_[static_cast<size_t>(row - window_first_)];
  return static_cast<size_t>(column) < cells.size() ? &cells[static_cast<size_t>(column)] : nullptr;
}

QVariant PreviewModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  if (role != Qt::DisplayRole && role != Qt::DecorationRole && role != Qt::ToolTipRole) return {};
  const PreviewCell* cell = Cell(index.row(), index.column());
  if (cell == nullptr || cell->null) return {};
  if (role == Qt::DecorationRole) {
    if (cell->picture.empty()) return {};
    const quint64 key = static_cast<quint64>(index.row()) << 20 | static_cast<quint64>(index.column());
    auto found = thumbnails_.find(key);
    if (found == thumbnails_.end()) {
      QImage image;
      // A picture QImage cannot decode shows as its description only.
      image.loadFromData(reinterpret_cast<const uchar*>(cell->picture.data()), static_cast<int>(cell->picture.size()));
      QPixmap thumbnail;
      if (!image.isNull()) {
        thumbnail = QPixmap::fromImage(
            image.scaled(kThumbnailPixels, kThumbnailPixels, Qt::KeepAspectRatio, Qt::SmoothTransformation));
      }
      found = thumbnails_.insert(key, thumbnail);
    }
    return found->isNull() ? QVariant() : QVariant(*found);
  }
  const QString text = QString::fromStdString(cell->text);
  const int limit = role == Qt::ToolTipRole ? kTooltipCharacters : kShownCharacters;
  QString shown = text.size() > limit ? text.left(limit) + QChar(0x2026) : text;
  if (role == Qt::DisplayRole) shown.replace(QLatin1Char('\n'), QChar(0x21B5)).remove(QLatin1Char('\r'));
  return shown;
}

QVariant PreviewModel::headerData(int section, Qt::Orientation orientation, int role) const {
  // A column of a table whose definition is gone tells how its type was inferred.
  if (role == Qt::ToolTipRole && orientation == Qt::Horizontal && section >= 0 && section < notes_.size()) {
    return tr("%1: %2").arg(columns_[section], notes_[section]);
  }
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Vertical) return section + 1;
  return section >= 0 && section < columns_.size() ? QVariant(columns_[section]) : QVariant();
}

}  // namespace mendora
