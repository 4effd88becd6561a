// The desktop file choosers behind the FileDialogs interface.
#include "app/file_dialogs.h"

#include <QFileDialog>

namespace mendora {

QString DesktopFileDialogs::OpenFileName(QWidget* owner, const QString& title, const QString& folder,
                                         const QString& filter) {
  return QFileDialog::getOpenFileName(owner, title, folder, filter, nullptr, QFileDialog::ReadOnly);
}

QString DesktopFileDialogs::SaveFileName(QWidget* owner, const QString& title, const QString& suggested_path,
                                         const QString& filter) {
  return QFileDialog::getSaveFileName(owner, title, suggested_path, filter, nullptr,
                                      QFileDialog::DontConfirmOverwrite);
}

}  // namespace mendora
