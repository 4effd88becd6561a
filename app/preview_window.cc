// The preview window.
#include "app/preview_window.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QStyle>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>

#include "app/log_font.h"
#include "app/loss_text.h"
#include "app/main_dialog.h"
#include "app/message_boxes.h"
#include "app/preview_model.h"

namespace mendora {

namespace {

const TableLosses* LossesOf(const LossAccount& losses, const std::string& name) {
  for (const TableLosses& table : losses.tables()) {
    if (table.name == name) return &table;
  }
  return nullptr;
}

}  // namespace

QString PreviewWindow::LostText(const TableLosses* losses) {
  if (losses == nullptr || !losses->AnyLoss()) return tr("Nothing");
  // The list names the table already.
  return LossText::TableSummary(*losses, false);
}

namespace {

// The row count sorts as a number; the table's place in tables_ is kept in
// the name's item, so that a sorted list still shows the right table.
class CountItem : public QTableWidgetItem {
 public:
  explicit CountItem(qint64 rows) : QTableWidgetItem(QLocale().toString(rows)), rows_(rows) {
    setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  }
  bool operator<(const QTableWidgetItem& other) const override {
    const auto* count = dynamic_cast<const CountItem*>(&other);
    return count != nullptr ? rows_ < count->rows_ : QTableWidgetItem::operator<(other);
  }

 private:
  qint64 rows_;
};

constexpr int kTableIndexRole = Qt::UserRole + 1;
constexpr int kWidestColumn = 320;

QString KindText(const AccessObject& object) {
  switch (object.kind) {
    case AccessObjectKind::kForm: return PreviewWindow::tr("Form");
    case AccessObjectKind::kReport: return PreviewWindow::tr("Report");
    case AccessObjectKind::kMacro: return PreviewWindow::tr("Macro");
    case AccessObjectKind::kModule: break;
  }
  return object.class_module ? PreviewWindow::tr("Class module") : PreviewWindow::tr("Module");
}

// As the command line's list says it: whole, in part, or not at all.
QString RecoveredText(const AccessObject& object) {
  if (object.recovered) return PreviewWindow::tr("Yes");
  return object.partial || !object.text.empty() ? PreviewWindow::tr("Partly") : PreviewWindow::tr("No");
}

}  // namespace

PreviewWindow::PreviewWindow(const std::string& source_path, const std::optional<std::string>& password,
                             std::vector<RecoveredTable> tables, const LossAccount& losses, QWidget* parent)
    : PreviewWindow(source_path, password, std::move(tables), losses, {}, parent) {}

PreviewWindow::PreviewWindow(const std::string& source_path, const std::optional<std::string>& password,
                             std::vector<RecoveredTable> tables, const LossAccount& losses,
                             std::vector<AccessObject> objects, QWidget* parent)
    : QDialog(parent), tables_(std::move(tables)), objects_(std::move(objects)) {
  setWindowTitle(tr("Recovered data - %1").arg(QString::fromLatin1(kCaption)));
  setObjectName(QStringLiteral("previewWindow"));
  resize(960, 640);

  std::string error;
  preview_ = TablePreview::Open(source_path, password, &error);
  if (!preview_) open_error_ = QString::fromStdString(error);

  table_filter_ = new QLineEdit(this);
  table_filter_->setObjectName(QStringLiteral("tableFilter"));
  table_filter_->setPlaceholderText(tr("Filter the tables by name"));
  table_filter_->setClearButtonEnabled(true);
  connect(table_filter_, &QLineEdit::textChanged, this, &PreviewWindow::FilterTables);

  table_list_ = new QTableWidget(static_cast<int>(tables_.size()), 3, this);
  table_list_->setObjectName(QStringLiteral("tableList"));
  table_list_->setHorizontalHeaderLabels({tr("Table"), tr("Rows"), tr("What was lost")});
  table_list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_list_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_list_->verticalHeader()->hide();
  table_list_->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  for (int i = 0; i < static_cast<int>(tables_.size()); ++i) {
    const RecoveredTable& table = tables_[static_cast<size_t>(i)];
    auto* name = new QTableWidgetItem(QString::fromStdString(table.name));
    name->setData(kTableIndexRole, i);
    table_list_->setItem(i, 0, name);
    table_list_->setItem(i, 1, new CountItem(table.rows));
    const QString lost = LostText(LossesOf(losses, table.name));
    auto* lost_item = new QTableWidgetItem(lost);
    lost_item->setToolTip(lost);
    table_list_->setItem(i, 2, lost_item);
  }
  table_list_->setSortingEnabled(true);
  table_list_->sortByColumn(-1, Qt::AscendingOrder);  // in the log's order until a header is clicked
  table_list_->horizontalHeader()->setSortIndicatorShown(true);
  table_list_->resizeColumnsToContents();
  table_list_->horizontalHeader()->setStretchLastSection(true);
  // At least eight tables in view.
  table_list_->setMinimumHeight(table_list_->horizontalHeader()->sizeHint().height() +
                                8 * table_list_->fontMetrics().height() * 3 / 2);

  model_ = new PreviewModel(preview_.get(), this);
  grid_ = new QTableView(this);
  grid_->setObjectName(QStringLiteral("previewGrid"));
  grid_->setModel(model_);
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->setWordWrap(false);
  grid_->setIconSize(QSize(PreviewModel::kThumbnailPixels, PreviewModel::kThumbnailPixels));
  // Every row the same height: the view then never measures rows it has
  // not shown, which would read the whole table.
  grid_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  grid_->horizontalHeader()->setSortIndicatorShown(false);
  grid_->setSortingEnabled(false);
  grid_->horizontalHeader()->setSectionsClickable(true);
  connect(grid_->horizontalHeader(), &QHeaderView::sectionClicked, this, &PreviewWindow::SortBy);
  connect(model_, &PreviewModel::SortRefused, this, [this] {
    status_->setText(tr("This table is too large to sort here; it is shown in the order it is stored."));
  });

  find_box_ = new QLineEdit(this);
  find_box_->setObjectName(QStringLiteral("findBox"));
  find_box_->setPlaceholderText(tr("Find in the rows (Enter finds the next)"));
  find_box_->setClearButtonEnabled(true);
  connect(find_box_, &QLineEdit::returnPressed, this, &PreviewWindow::FindNext);

  auto* upper = new QWidget(this);
  auto* upper_box = new QVBoxLayout(upper);
  upper_box->setContentsMargins(0, 0, 0, 0);
  upper_box->addWidget(table_filter_);
  upper_box->addWidget(table_list_);
  auto* lower = new QWidget(this);
  auto* lower_box = new QVBoxLayout(lower);
  lower_box->setContentsMargins(0, 0, 0, 0);
  lower_box->addWidget(find_box_);
  lower_box->addWidget(grid_);

  auto* splitter = new QSplitter(Qt::Vertical, this);
  splitter->addWidget(upper);
  splitter->addWidget(lower);
  splitter->setChildrenCollapsible(false);
  splitter->setStretchFactor(0, 2);
  splitter->setStretchFactor(1, 3);

  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("previewStatus"));
  status_->setWordWrap(true);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  buttons->button(QDialogButtonBox::Close)->setText(tr("&Close"));
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* tables_page = new QWidget(this);
  auto* tables_box = new QVBoxLayout(tables_page);
  tables_box->setContentsMargins(0, 0, 0, 0);
  tables_box->addWidget(splitter, 1);
  tables_box->addWidget(status_);

  auto* box = new QVBoxLayout(this);
  if (objects_.empty()) {
    box->addWidget(tables_page, 1);
  } else {
    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("previewTabs"));
    tabs_->addTab(tables_page, tr("&Tables"));
    tabs_->addTab(MakeObjectsPage(), tr("&Forms, reports, macros and modules"));
    box->addWidget(tabs_, 1);
  }
  box->addWidget(buttons);

  connect(table_list_, &QTableWidget::currentCellChanged, this, [this](int row, int, int, int) {
    const QTableWidgetItem* name = row >= 0 ? table_list_->item(row, 0) : nullptr;
    if (name != nullptr) SelectTable(name->data(kTableIndexRole).toInt());
  });
  if (!tables_.empty()) {
    table_list_->setCurrentCell(0, 0);
  } else {
    status_->setText(tr("No table was recovered."));
  }
  table_list_->setFocus();
}

PreviewWindow::~PreviewWindow() = default;

QWidget* PreviewWindow::MakeObjectsPage() {
  auto* page = new QWidget(this);
  object_list_ = new QTableWidget(static_cast<int>(objects_.size()), 3, page);
  object_list_->setObjectName(QStringLiteral("objectList"));
  object_list_->setHorizontalHeaderLabels({tr("Kind"), tr("Name"), tr("Recovered")});
  object_list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  object_list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  object_list_->setSelectionMode(QAbstractItemView::SingleSelection);
  object_list_->verticalHeader()->hide();
  for (int i = 0; i < static_cast<int>(objects_.size()); ++i) {
    const AccessObject& object = objects_[static_cast<size_t>(i)];
    auto* kind = new QTableWidgetItem(KindText(object));
    kind->setData(kTableIndexRole, i);
    object_list_->setItem(i, 0, kind);
    object_list_->setItem(i, 1, new QTableWidgetItem(QString::fromStdString(object.name)));
    auto* recovered = new QTableWidgetItem(RecoveredText(object));
    if (!object.loss.empty()) recovered->setToolTip(QString::fromStdString(object.loss));
    object_list_->setItem(i, 2, recovered);
  }
  object_list_->setSortingEnabled(true);
  object_list_->sortByColumn(-1, Qt::AscendingOrder);  // in the pass's order until a header is clicked
  object_list_->horizontalHeader()->setSortIndicatorShown(true);
  object_list_->resizeColumnsToContents();
  object_list_->horizontalHeader()->setStretchLastSection(true);

  object_text_ = new QPlainTextEdit(page);
  object_text_->setObjectName(QStringLiteral("objectText"));
  object_text_->setReadOnly(true);
  object_text_->setLineWrapMode(QPlainTextEdit::NoWrap);
  object_text_->setFont(FixedPitchFont(font().pointSize() > 0 ? font().pointSize() : 10));

  object_status_ = new QLabel(page);
  object_status_->setObjectName(QStringLiteral("objectStatus"));
  object_status_->setWordWrap(true);

  auto* splitter = new QSplitter(Qt::Horizontal, page);
  splitter->addWidget(object_list_);
  splitter->addWidget(object_text_);
  splitter->setChildrenCollapsible(false);
  splitter->setStretchFactor(0, 2);
  splitter->setStretchFactor(1, 3);
  auto* box = new QVBoxLayout(page);
  box->setContentsMargins(0, 0, 0, 0);
  box->addWidget(splitter, 1);
  box->addWidget(object_status_);

  connect(object_list_, &QTableWidget::currentCellChanged, this, [this](int row, int, int, int) {
    const QTableWidgetItem* kind = row >= 0 ? object_list_->item(row, 0) : nullptr;
    if (kind != nullptr) SelectObject(kind->data(kTableIndexRole).toInt());
  });
  object_list_->setCurrentCell(0, 0);
  return page;
}

void PreviewWindow::SelectObject(int index) {
  if (object_text_ == nullptr || index < 0 || index >= static_cast<int>(objects_.size())) return;
  const AccessObject& object = objects_[static_cast<size_t>(index)];
  object_text_->setPlainText(QString::fromStdString(object.text));
  object_text_->moveCursor(QTextCursor::Start);
  QString status = tr("%1 %2").arg(KindText(object), QString::fromStdString(object.name));
  if (!object.owner.empty()) status = tr("%1, the module of %2").arg(status, QString::fromStdString(object.owner));
  if (object.text.empty()) {
    status += QStringLiteral(": ") + (object.recovered ? tr("its definition holds nothing that reads as text")
                                                       : tr("nothing of it could be read"));
  }
  if (!object.recovered) {
    status += QStringLiteral("; ") +
              (object.loss.empty() ? tr("it was not recovered whole")
                                   : tr("it was not recovered whole: %1").arg(QString::fromStdString(object.loss)));
  }
  object_status_->setText(status);
}

void PreviewWindow::FilterTables(const QString& text) {
  for (int row = 0; row < table_list_->rowCount(); ++row) {
    const QTableWidgetItem* name = table_list_->item(row, 0);
    table_list_->setRowHidden(row, !text.isEmpty() && !name->text().contains(text, Qt::CaseInsensitive));
  }
}

void PreviewWindow::SelectTable(int index) {
  if (index < 0 || index >= static_cast<int>(tables_.size())) return;
  const RecoveredTable& table = tables_[static_cast<size_t>(index)];
  if (!preview_) {
    status_->setText(tr("The source cannot be read again: %1").arg(open_error_));
    return;
  }
  grid_->horizontalHeader()->setSortIndicatorShown(false);
  sort_column_ = -1;
  if (!model_->ShowTable(table)) {
    status_->setText(tr("The table \"%1\" cannot be read again.").arg(QString::fromStdString(table.name)));
    return;
  }
  const int row_height = grid_->fontMetrics().height() + 8;
  grid_->verticalHeader()->setDefaultSectionSize(
      preview_->HasBinaryColumns() ? std::max(row_height, PreviewModel::kThumbnailPixels + 4) : row_height);
  grid_->scrollToTop();
  FitColumns();
  QString status = tr("%1: %2").arg(QString::fromStdString(table.name), MainDialog::RowsText(table.rows));
  if (model_->LayoutInferred()) {
    status += tr("; its definition is gone and its columns were inferred from its rows (a column's header tells how)");
  }
  status_->setText(status);
}

void PreviewWindow::SortBy(int column) {
  const Qt::SortOrder order =
      column == sort_column_ && sort_order_ == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  model_->sort(column, order);
  QGuiApplication::restoreOverrideCursor();
  QHeaderView* header = grid_->horizontalHeader();
  if (!model_->IsSorted()) {
    header->setSortIndicatorShown(false);
    return;
  }
  sort_column_ = column;
  sort_order_ = order;
  header->setSortIndicator(column, order);
  header->setSortIndicatorShown(true);
}

void PreviewWindow::FitColumns() {
  // The first rows only: measuring more would read the table.
  constexpr int kMeasuredRows = 40;
  QHeaderView* header = grid_->horizontalHeader();
  const QFontMetrics metrics(grid_->font());
  const int rows = std::min(model_->rowCount(), kMeasuredRows);
  const int padding = 2 * grid_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid_) + 8;
  for (int column = 0; column < model_->columnCount(); ++column) {
    // The header whole; the values as far as kWidestColumn.
    int cells = 0;
    for (int row = 0; row < rows; ++row) {
      const QModelIndex index = model_->index(row, column);
      int width = metrics.horizontalAdvance(model_->data(index).toString()) + padding;
      if (!model_->data(index, Qt::DecorationRole).isNull()) width += PreviewModel::kThumbnailPixels + 4;
      cells = std::max(cells, width);
    }
    header->resizeSection(column, std::max({header->sectionSizeHint(column), std::min(cells, kWidestColumn), 60}));
  }
}

void PreviewWindow::FindNext() {
  const QString needle = find_box_->text();
  if (needle.isEmpty() || model_->rowCount() == 0) return;
  const QModelIndex current = grid_->currentIndex();
  int row = 0;
  int column = 0;
  if (current.isValid()) {
    row = current.row();
    column = current.column() + 1;
    if (column >= model_->columnCount()) {
      column = 0;
      row = (row + 1) % model_->rowCount();
    }
  }
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  const std::optional<QModelIndex> found = model_->Find(needle, row, column);
  QGuiApplication::restoreOverrideCursor();
  if (!found) {
    status_->setText(tr("\"%1\" is not in this table.").arg(needle));
    return;
  }
  grid_->setCurrentIndex(*found);
  grid_->scrollTo(*found, QAbstractItemView::PositionAtCenter);
  status_->setText(tr("Found in row %1.").arg(model_->headerData(found->row(), Qt::Vertical).toLongLong()));
}

}  // namespace mendora
