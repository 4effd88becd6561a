// Asking for the password of an encrypted source, behind an interface so
// tests can answer it.
#ifndef MENDORA_APP_PASSWORD_DIALOGS_H_
#define MENDORA_APP_PASSWORD_DIALOGS_H_

#include <QCoreApplication>
#include <QString>
#include <optional>

class QWidget;

namespace mendora {

class PasswordDialogs {
 public:
  virtual ~PasswordDialogs() = default;
  // The password for `file`, or nothing when the user cancels. `wrong`: the
  // last one given did not open the file.
  virtual std::optional<QString> AskPassword(QWidget* owner, const QString& file, bool wrong) = 0;
};

class DesktopPasswordDialogs : public PasswordDialogs {
  Q_DECLARE_TR_FUNCTIONS(DesktopPasswordDialogs)

 public:
  std::optional<QString> AskPassword(QWidget* owner, const QString& file, bool wrong) override;
};

}  // namespace mendora

#endif  // MENDORA_APP_PASSWORD_DIALOGS_H_
