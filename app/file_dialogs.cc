// The desktop file choosers behind the FileDialogs interface.
#include "app/file_dialogs.h"

#include <QFileDialog>
#include <QFileInfo>

#include "app/save_formats.h"

namespace mendora {

QString DesktopFileDialogs::OpenFileName(QWidget* owner, const QString& title, const QString& folder,
                                         const QString& filter) {
  return QFileDialog::getOpenFileName(owner, title, folder, filter, nullptr, QFileDialog::ReadOnly);
}

SaveChoice DesktopFileDialogs::SaveFileName(QWidget* owner, const QString& title, const QString& suggested_path,
                                            const QString& filters, const QString& selected) {
  QFileDialog dialog(owner, title, QFileInfo(suggested_path).absolutePath(), filters);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  dialog.selectNameFilter(selected);
  dialog.selectFile(QFileInfo(suggested_path).fileName());
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
    // The name typed so far, with the suffix of the format now chosen.
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) return;
    dialog.selectFile(QFileInfo(PathForOption(files.first(), SaveOptionOfFilter(filter))).fileName());
  });
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return {dialog.selectedFiles().first(), dialog.selectedNameFilter()};
}

}  // namespace mendora
