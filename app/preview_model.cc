// The preview's grid model.
#include "app/preview_model.h"

#include <QCollator>
#include <QDateTime>
#include <QFont>
#include <QImage>
#include <QLocale>
#include <algorithm>
#include <climits>

#include "reader/ace_values.h"
#include "reader/value_render.h"

namespace mendora {

namespace {

// The reader's calendar fields as the user's locale writes them; the time
// only where there is one.
QString LocalDateTime(const QDate& date, const QTime& time) {
  const QLocale locale;
  if (time == QTime(0, 0)) return locale.toString(date, QLocale::ShortFormat);
  return locale.toString(QDateTime(date, time), QLocale::ShortFormat) +
         (time.second() != 0 ? QStringLiteral(":%1").arg(time.second(), 2, 10, QLatin1Char('0')) : QString());
}

// What sorting compares: a number for numbers and dates, else the text.
struct SortKey {
  bool empty = true;
  bool numeric = false;
  double number = 0;
  double fraction = 0;  // extended dates: the time of day beyond `number`'s days
  std::optional<QCollatorSortKey> text;
};

SortKey KeyOf(const PreviewCell& cell, const QCollator& collator) {
  SortKey key;
  if (cell.null) return key;
  key.empty = false;
  const Value& v = cell.value;
  switch (v.kind) {
    case ValueKind::kInteger:
      key.numeric = true;
      key.number = double(v.integer);
      return key;
    case ValueKind::kCurrency:
      key.numeric = true;
      key.number = double(v.integer) / 10000.0;
      return key;
    case ValueKind::kSingle:
    case ValueKind::kDouble:
    case ValueKind::kDateTime:
      key.numeric = true;
      key.number = v.real;
      return key;
    case ValueKind::kExtendedDateTime:
      key.numeric = true;
      key.number = double(v.integer);
      key.fraction = double(v.magnitude_low);
      return key;
    case ValueKind::kDecimal: {
      bool ok = false;
      key.number = QString::fromStdString(cell.text).toDouble(&ok);
      key.numeric = ok;
      if (ok) return key;
      break;
    }
    default:
      break;
  }
  key.text = collator.sortKey(QString::fromStdString(cell.text));
  return key;
}

bool Before(const SortKey& a, const SortKey& b) {
  if (a.empty != b.empty) return a.empty;
  if (a.empty) return false;
  if (a.numeric != b.numeric) return a.numeric;  // numbers before texts in a mixed column
  if (a.numeric) return a.number != b.number ? a.number < b.number : a.fraction < b.fraction;
  return a.text->compare(*b.text) < 0;
}

}  // namespace

PreviewModel::PreviewModel(TablePreview* preview, QObject* parent) : QAbstractTableModel(parent), preview_(preview) {}

bool PreviewModel::ShowTable(const RecoveredTable& table) {
  beginResetModel();
  window_.clear();
  thumbnails_.clear();
  window_first_ = 0;
  columns_.clear();
  notes_.clear();
  rows_ = 0;
  sorted_ = false;
  all_.clear();
  order_.clear();
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

int64_t PreviewModel::StoredRow(int row) const {
  return sorted_ && row >= 0 && size_t(row) < order_.size() ? order_[size_t(row)] : row;
}

const PreviewCell* PreviewModel::Cell(int row, int column) const {
  if (row < 0 || row >= rows_ || column < 0) return nullptr;
  if (sorted_) {
    if (size_t(row) >= order_.size()) return nullptr;
    const PreviewRow& cells = all_[size_t(order_[size_t(row)])];
    return size_t(column) < cells.size() ? &cells[size_t(column)] : nullptr;
  }
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

QString PreviewModel::ShownText(const PreviewCell& cell) {
  if (cell.lost) return tr("(lost)");
  if (cell.null) return {};
  const Value& v = cell.value;
  if (v.kind == ValueKind::kDateTime) {
    DateParts d;
    if (DateFromDays(v.real, d)) return LocalDateTime(QDate(d.year, d.month, d.day), QTime(d.hour, d.minute, d.second));
  } else if (v.kind == ValueKind::kExtendedDateTime) {
    const ExtendedDateTime d = ExtendedDateTimeFrom(v.integer, v.magnitude_low);
    const QDate date(d.year, d.month, d.day);
    if (date.isValid()) {
      QString shown = LocalDateTime(date, QTime(d.hour, d.minute, d.second));
      if (d.fraction != 0) shown += QStringLiteral(".%1").arg(d.fraction, 7, 10, QLatin1Char('0'));
      return shown;
    }
  }
  return QString::fromStdString(cell.text);
}

QVariant PreviewModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  if (role != Qt::DisplayRole && role != Qt::DecorationRole && role != Qt::ToolTipRole && role != Qt::FontRole) {
    return {};
  }
  const PreviewCell* cell = Cell(index.row(), index.column());
  if (cell == nullptr || (cell->null && !cell->lost)) return {};
  if (role == Qt::FontRole) {
    if (!cell->lost) return {};
    QFont italic;
    italic.setItalic(true);
    return italic;
  }
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
  if (cell->lost) return role == Qt::ToolTipRole ? tr("This value could not be recovered.") : ShownText(*cell);
  const QString text = ShownText(*cell);
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
  if (orientation == Qt::Vertical) return qlonglong(StoredRow(section) + 1);
  return section >= 0 && section < columns_.size() ? QVariant(columns_[section]) : QVariant();
}

bool PreviewModel::Sortable() const {
  return preview_ != nullptr && int64_t(rows_) * std::max<int64_t>(1, columns_.size()) <= kSortableCells;
}

void PreviewModel::sort(int column, Qt::SortOrder order) {
  if (column < 0 || column >= columns_.size() || rows_ == 0) return;
  if (!Sortable()) {
    emit SortRefused();
    return;
  }
  if (!sorted_) {
    // The whole table, window by window, as long as it stays within bounds:
    // pictures and long texts can make a table of few rows large.
    std::vector<PreviewRow> rows;
    size_t bytes = 0;
    while (rows.size() < size_t(rows_)) {
      std::vector<PreviewRow> more = preview_->Rows(int64_t(rows.size()), rows_ - int64_t(rows.size()));
      if (more.empty()) break;
      for (PreviewRow& row : more) {
        for (const PreviewCell& cell : row) bytes += sizeof(PreviewCell) + cell.text.size() + cell.picture.size();
        rows.push_back(std::move(row));
      }
      if (bytes > kSortableBytes) {
        emit SortRefused();
        return;
      }
    }
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    all_ = std::move(rows);
    sorted_ = true;
    window_.clear();
  } else {
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  }
  thumbnails_.clear();
  QCollator collator;
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  collator.setNumericMode(true);
  std::vector<SortKey> keys;
  keys.reserve(all_.size());
  for (const PreviewRow& row : all_) {
    keys.push_back(size_t(column) < row.size() ? KeyOf(row[size_t(column)], collator) : SortKey{});
  }
  const QModelIndexList before = persistentIndexList();
  std::vector<int> old_order = order_;
  order_.resize(all_.size());
  for (size_t i = 0; i < order_.size(); ++i) order_[i] = int(i);
  std::stable_sort(order_.begin(), order_.end(), [&](int a, int b) {
    return order == Qt::AscendingOrder ? Before(keys[size_t(a)], keys[size_t(b)]) : Before(keys[size_t(b)], keys[size_t(a)]);
  });
  rows_ = int(order_.size());
  // Selections follow their rows.
  std::vector<int> place(order_.size());
  for (size_t i = 0; i < order_.size(); ++i) place[size_t(order_[i])] = int(i);
  QModelIndexList after;
  for (const QModelIndex& index : before) {
    const int stored = old_order.empty() ? index.row() : old_order[size_t(index.row())];
    after << (size_t(stored) < place.size() ? this->index(place[size_t(stored)], index.column()) : QModelIndex());
  }
  changePersistentIndexList(before, after);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

std::optional<QModelIndex> PreviewModel::Find(const QString& needle, int row, int column) {
  if (needle.isEmpty() || rows_ == 0 || columns_.isEmpty()) return std::nullopt;
  row = std::clamp(row, 0, rows_ - 1);
  column = std::clamp(column, 0, int(columns_.size()) - 1);
  auto matches = [&](const PreviewCell& cell) { return ShownText(cell).contains(needle, Qt::CaseInsensitive); };
  // From (row, column) to the end, then from the top back to where it began.
  for (int pass = 0; pass < 2; ++pass) {
    const int first = pass == 0 ? row : 0;
    const int last = pass == 0 ? rows_ : row + 1;
    for (int r = first; r < last;) {
      std::vector<PreviewRow> read;
      const std::vector<PreviewRow>* rows = nullptr;
      int64_t base = r;
      if (sorted_) {
        rows = &all_;
      } else {
        read = preview_->Rows(r, std::min(kWindowRows * 4, last - r));
        if (read.empty()) break;
        rows = &read;
      }
      const int end = sorted_ ? last : r + int(read.size());
      for (; r < end; ++r) {
        const PreviewRow& cells = sorted_ ? all_[size_t(order_[size_t(r)])] : (*rows)[size_t(r - base)];
        const int from = pass == 0 && r == row ? column : 0;
        for (int c = from; c < int(cells.size()); ++c) {
          if (matches(cells[size_t(c)])) return index(r, c);
        }
      }
    }
  }
  return std::nullopt;
}

}  // namespace mendora
