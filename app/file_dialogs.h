// The file choosers, behind an interface so tests can pick the files.
#ifndef MENDORA_APP_FILE_DIALOGS_H_
#define MENDORA_APP_FILE_DIALOGS_H_

#include <QString>

class QWidget;

namespace mendora {

class FileDialogs {
 public:
  virtual ~FileDialogs() = default;
  // The chosen existing file, or empty when the user cancelled. The chooser
  // starts in `folder`.
  virtual QString OpenFileName(QWidget* owner, const QString& title, const QString& folder,
                               const QString& filter) = 0;
  // The chosen path for a new file, or empty when the user cancelled. Asks
  // nothing about an existing file: the caller does.
  virtual QString SaveFileName(QWidget* owner, const QString& title, const QString& suggested_path,
                               const QString& filter) = 0;
};

class DesktopFileDialogs : public FileDialogs {
 public:
  QString OpenFileName(QWidget* owner, const QString& title, const QString& folder, const QString& filter) override;
  QString SaveFileName(QWidget* owner, const QString& title, const QString& suggested_path,
                       const QString& filter) override;
};

}  // namespace mendora

#endif  // MENDORA_APP_FILE_DIALOGS_H_
