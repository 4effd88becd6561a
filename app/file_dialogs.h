// The file choosers, behind an interface so tests can pick the files.
#ifndef MENDORA_APP_FILE_DIALOGS_H_
#define MENDORA_APP_FILE_DIALOGS_H_

#include <QString>

class QWidget;

namespace mendora {

// A path chosen to save to, and the filter (the format) chosen with it.
struct SaveChoice {
  QString path;  // empty when the user cancelled
  QString filter;
};

class FileDialogs {
 public:
  virtual ~FileDialogs() = default;
  // The chosen existing file, or empty when the user cancelled. The chooser
  // starts in `folder`.
  virtual QString OpenFileName(QWidget* owner, const QString& title, const QString& folder,
                               const QString& filter) = 0;
  // The chosen path for a new file or folder. `filters` are offered (";;"
  // between them) with `selected` chosen first. Asks nothing about an
  // existing file: the caller does.
  virtual SaveChoice SaveFileName(QWidget* owner, const QString& title, const QString& suggested_path,
                                  const QString& filters, const QString& selected) = 0;
};

class DesktopFileDialogs : public FileDialogs {
 public:
  QString OpenFileName(QWidget* owner, const QString& title, const QString& folder, const QString& filter) override;
  // Choosing another format renames the proposed file to that format's suffix.
  SaveChoice SaveFileName(QWidget* owner, const QString& title, const QString& suggested_path, const QString& filters,
                          const QString& selected) override;
};

}  // namespace mendora

#endif  // MENDORA_APP_FILE_DIALOGS_H_
