// "View recovered data": the tables a pass recovered, with their row counts
// and what each lost, and a read-only grid of the selected table's rows,
// read again from the source as the grid scrolls; beside them the forms,
// reports, macros and modules the pass read, with the text of the one
// selected (a module's source, a macro, what a form's definition says).
#ifndef MENDORA_APP_PREVIEW_WINDOW_H_
#define MENDORA_APP_PREVIEW_WINDOW_H_

#include <QDialog>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "recovery/access_objects.h"
#include "recovery/loss_account.h"
#include "recovery/recovery_session.h"
#include "recovery/table_preview.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTabWidget;
class QTableView;
class QTableWidget;

namespace mendora {

class PreviewModel;

class PreviewWindow : public QDialog {
  Q_OBJECT

 public:
  PreviewWindow(const std::string& source_path, const std::optional<std::string>& password,
                std::vector<RecoveredTable> tables, const LossAccount& losses, QWidget* parent = nullptr);
  PreviewWindow(const std::string& source_path, const std::optional<std::string>& password,
                std::vector<RecoveredTable> tables, const LossAccount& losses, std::vector<AccessObject> objects,
                QWidget* parent = nullptr);
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
  // The tables and, when the pass read any, the objects.
  QTabWidget* tabs() const { return tabs_; }
  // Kind, name and whether it was recovered, one row per object; null when
  // the pass read none.
  QTableWidget* objectList() const { return object_list_; }
  // The text of the object selected.
  QPlainTextEdit* objectText() const { return object_text_; }
  // Shows objects_[index] and its text, whatever place the sorted list gives it.
  void SelectObject(int index);
  void FindNext();
  // Sorts the grid by `column`, the other way round when it is sorted by it.
  void SortBy(int column);

 private:
  std::vector<RecoveredTable> tables_;
  std::vector<AccessObject> objects_;
  std::unique_ptr<TablePreview> preview_;
  QString open_error_;
  void FilterTables(const QString& text);
  // Fits each column to its header and the rows shown, within bounds.
  void FitColumns();
  QWidget* MakeObjectsPage();

  QTabWidget* tabs_ = nullptr;
  QTableWidget* object_list_ = nullptr;
  QPlainTextEdit* object_text_ = nullptr;
  QLabel* object_status_ = nullptr;
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
