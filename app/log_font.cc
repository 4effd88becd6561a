// Choosing the log's font.
#include "app/log_font.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QStringList>

namespace mendora {

QFont FixedPitchFont(int point_size) {
  QFont system = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  system.setPointSize(point_size);
  if (QFontInfo(system).fixedPitch()) return system;
  // Families a desktop commonly has, then any the database calls fixed-pitch.
  QStringList families = {QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Liberation Mono"),
                          QStringLiteral("Noto Mono"), QStringLiteral("Ubuntu Mono"), QStringLiteral("Courier New")};
  for (const QString& family : QFontDatabase::families()) {
    if (QFontDatabase::isFixedPitch(family) && !QFontDatabase::isPrivateFamily(family)) families << family;
  }
  for (const QString& family : families) {
    if (!QFontDatabase::hasFamily(family)) continue;
    QFont candidate(family, point_size);
    candidate.setStyleHint(QFont::TypeWriter);
    if (QFontInfo(candidate).fixedPitch()) return candidate;
  }
  return system;
}

}  // namespace mendora
