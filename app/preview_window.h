// "View recovered data": the tables a pass recovered, with their row counts
// and what each lost, and a read-only grid of the selected table's rows,
// read again from the source as the grid scrolls.
#ifndef MENDORA_APP_PREVIEW_WINDOW_H_
#define MENDORA_APP_PREVIEW_WINDOW_H_

#include <QDialog>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "recovery/loss_account.h"
#include "recovery/recovery_session.h"
#include "recovery/table_preview.h"

class QLabel;
class QLineEdit;
class QTableView;
class QTableWidget;

namespace mendora {

class PreviewModel;

class PreviewWindow : public QDialog {
  Q_OBJECT

 public:
  PreviewWindow(const std::string& source_path, const std::optional<std::string>& password,
                std::vector<RecoveredTable> tables, const LossAccount& losses, QWidget* parent = nullptr);
  ~PreviewWindow() override;

  // What the pass lost of `table`, in a line; "Nothing" when it lost nothing.
  static QString LostText(const TableLosses* losses);

  QTableWidget* tableList() const { return table_list_; }
  QTableView* grid() const { return grid_; }
  PreviewModel* model() const { return model_; }
  QLabel* statusLine() const { return status_; }
  // Shows only the tables whose name holds the filter box's text.
  QLineEdit* tableFilter() const { return table_filter_; }
  // Enter finds the next cell of the grid that holds its text.
  QLineEdit* findBox() const { return find_box_; }
  // Shows tables_[index], whatever place the sorted list gives it.
  void SelectTable(int index);
  void FindNext();
  // Sorts the grid by `column`, the other way round when it is sorted by it.
  void SortBy(int column);

 private:
  std::vector<RecoveredTable> tables_;
  std::unique_ptr<TablePreview> preview_;
  QString open_error_;
  void FilterTables(const QString& text);
  // Fits each column to its header and the rows shown, within bounds.
  void FitColumns();

  QTableWidget* table_list_ = nullptr;
  QLineEdit* table_filter_ = nullptr;
  QLineEdit* find_box_ = nullptr;
  int sort_column_ = -1;
  Qt::SortOrder sort_order_ = Qt::AscendingOrder;
  QTableView* grid_ = nullptr;
  PreviewModel* model_ = nullptr;
  QLabel* status_ = nullptr;
};

}  // namespace mendora

#endif  // MENDORA_APP_PREVIEW_WINDOW_H_
