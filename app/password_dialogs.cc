// The password dialog: a line that shows no characters.
#include "app/password_dialogs.h"

#include <QDir>
#include <QInputDialog>
#include <QLineEdit>

namespace mendora {

std::optional<QString> DesktopPasswordDialogs::AskPassword(QWidget* owner, const QString& file, bool wrong) {
  QString label = tr("The database \"%1\" is encrypted.\nEnter its password:").arg(QDir::toNativeSeparators(file));
  if (wrong) label = tr("The password is wrong.") + QStringLiteral("\n\n") + label;
  bool ok = false;
  const QString password =
      QInputDialog::getText(owner, tr("Password"), label, QLineEdit::Password, QString(), &ok);
  if (!ok) return std::nullopt;
  return password;
}

}  // namespace mendora
