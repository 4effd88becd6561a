// Opening targets with the desktop's chosen program.
#include "controls/desktop_opener.h"

#include <QDesktopServices>
#include <QFileInfo>

namespace mendora {

QUrl OpenableUrl(const QString& target) {
  const QString trimmed = target.trimmed();
  if (trimmed.isEmpty()) return {};
  const QFileInfo file(trimmed);
  if (file.isAbsolute()) return file.exists() ? QUrl::fromLocalFile(file.absoluteFilePath()) : QUrl();
  // Only a scheme followed by "//" or "mailto:" counts: "support@host" must not
  // be mistaken for a URL with user info, or a mail address would end up in the
  // web browser.
  const QUrl url(trimmed, QUrl::StrictMode);
  if (!url.isValid() || url.scheme().isEmpty()) return {};
  const QString scheme = url.scheme().toLower();
  if (scheme == QLatin1String("mailto")) return url;
  if (!trimmed.mid(scheme.size()).startsWith(QLatin1String("://"))) return {};
  if (url.isLocalFile()) return QFileInfo::exists(url.toLocalFile()) ? url : QUrl();
  return url.host().isEmpty() ? QUrl() : url;
}

bool SystemDesktopOpener::Open(const QString& target) {
  const QUrl url = OpenableUrl(target);
  return url.isValid() && !url.isEmpty() && QDesktopServices::openUrl(url);
}

}  // namespace mendora
