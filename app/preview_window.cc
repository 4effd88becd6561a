// The preview window.
#include "app/preview_window.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>

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
  // The account's own line names the table first; the list shows it already.
  QString summary = QString::fromStdString(losses->Summary());
  const QString prefix = QString::fromStdString(losses->name) + QStringLiteral(": ");
  if (summary.startsWith(prefix)) summary = summary.mid(prefix.size());
  return summary;
}

PreviewWindow::PreviewWindow(const std::string& source_path, const std::optional<std::string>& password,
                             std::vector<RecoveredTable> tables, const LossAccount& losses, QWidget* parent)
    : QDialog(parent), tables_(std::move(tables)) {
  setWindowTitle(tr("Recovered data - %1").arg(QString::fromLatin1(kCaption)));
  setObjectName(QStringLiteral("previewWindow"));
  resize(900, 560);

  std::string error;
  preview_ = TablePreview::Open(source_path, password, &error);
  if (!preview_) open_error_ = QString::fromStdString(error);

  table_list_ = new QTableWidget(static_cast<int>(tables_.size()), 3, this);
  table_list_->setObjectName(QStringLiteral("tableList"));
  table_list_->setHorizontalHeaderLabels({tr("Table"), tr("Rows"), tr("What was lost")});
  table_list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_list_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_list_->verticalHeader()->hide();
  const QLocale locale;
  for (int i = 0; i < static_cast<int>(tables_.size()); ++i) {
    const RecoveredTable& table = tables_[static_cast<size_t>(i)];
    table_list_->setItem(i, 0, new QTableWidgetItem(QString::fromStdString(table.name)));
    auto* rows = new QTableWidgetItem(locale.toString(table.rows));
    rows->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    table_list_->setItem(i, 1, rows);
    const QString lost = LostText(LossesOf(losses, table.name));
    auto* lost_item = new QTableWidgetItem(lost);
    lost_item->setToolTip(lost);
    table_list_->setItem(i, 2, lost_item);
  }
  table_list_->resizeColumnsToContents();
  table_list_->horizontalHeader()->setStretchLastSection(true);

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
  grid_->horizontalHeader()->setDefaultSectionSize(140);

  auto* splitter = new QSplitter(Qt::Vertical, this);
  splitter->addWidget(table_list_);
  splitter->addWidget(grid_);
  splitter->setStretchFactor(0, 1);
  splitter->setStretchFactor(1, 3);

  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("previewStatus"));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  buttons->button(QDialogButtonBox::Close)->setText(tr("&Close"));
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* box = new QVBoxLayout(this);
  box->addWidget(splitter);
  box->addWidget(status_);
  box->addWidget(buttons);

  connect(table_list_, &QTableWidget::currentCellChanged, this,
          [this](int row, int, int, int) { SelectTable(row); });
  if (!tables_.empty()) {
    table_list_->setCurrentCell(0, 0);
  } else {
    status_->setText(tr("No table was recovered."));
  }
  table_list_->setFocus();
}

PreviewWindow::~PreviewWindow() = default;

void PreviewWindow::SelectTable(int index) {
  if (index < 0 || index >= static_cast<int>(tables_.size())) return;
  const RecoveredTable& table = tables_[static_cast<size_t>(index)];
  if (!preview_) {
    status_->setText(tr("The source cannot be read again: %1").arg(open_error_));
    return;
  }
  if (!model_->ShowTable(table)) {
    status_->setText(tr("The table \"%1\" cannot be read again.").arg(QString::fromStdString(table.name)));
    return;
  }
  const int row_height = grid_->fontMetrics().height() + 8;
  grid_->verticalHeader()->setDefaultSectionSize(
      preview_->HasBinaryColumns() ? std::max(row_height, PreviewModel::kThumbnailPixels + 4) : row_height);
  grid_->scrollToTop();
  QString status = tr("%1: %2 rows").arg(QString::fromStdString(table.name), QLocale().toString(table.rows));
  if (model_->LayoutInferred()) {
    status += tr("; its definition is gone and its columns were inferred from its rows (a column's header tells how)");
  }
  status_->setText(status);
}

}  // namespace mendora
