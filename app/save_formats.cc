// The formats Save offers.
#include "app/save_formats.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace mendora {

namespace {

constexpr char kContext[] = "mendora::SaveFormat";

// In the order the save dialog offers them; the first is the default.
constexpr SaveFormat kFormats[] = {
    {SaveFormatId::kSqlite, QT_TRANSLATE_NOOP("mendora::SaveFormat", "SQLite database"), "*.sqlite *.db", ".sqlite",
     false, true},
    {SaveFormatId::kCsv, QT_TRANSLATE_NOOP("mendora::SaveFormat", "CSV files, one per table, in a folder"), "*", "",
     true, false},
    {SaveFormatId::kJsonLines, QT_TRANSLATE_NOOP("mendora::SaveFormat", "JSON Lines"), "*.jsonl", ".jsonl", false, false},
    {SaveFormatId::kSqlPostgreSql, QT_TRANSLATE_NOOP("mendora::SaveFormat", "SQL script for PostgreSQL"), "*.sql",
     ".sql", false, false},
    {SaveFormatId::kSqlMySql, QT_TRANSLATE_NOOP("mendora::SaveFormat", "SQL script for MySQL and MariaDB"), "*.sql",
     ".sql", false, false},
    {SaveFormatId::kSqlSqlite, QT_TRANSLATE_NOOP("mendora::SaveFormat", "SQL script for SQLite"), "*.sql", ".sql",
     false, false},
};

QStringList Patterns(const SaveFormat& format) {
  return QString::fromLatin1(format.patterns).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

bool Matches(const QString& name, const SaveFormat& format) {
  for (const QString& pattern : Patterns(format)) {
    if (pattern == QLatin1String("*")) continue;
    const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(pattern),
                                QRegularExpression::CaseInsensitiveOption);
    if (re.match(name).hasMatch()) return true;
  }
  return false;
}

}  // namespace

std::span<const SaveFormat> SaveFormats() { return kFormats; }

const SaveFormat& DefaultSaveFormat() { return kFormats[0]; }

const SaveFormat& SaveFormatOf(SaveFormatId id) {
  for (const SaveFormat& format : kFormats) {
    if (format.id == id) return format;
  }
  return DefaultSaveFormat();
}

QString SaveFilter(const SaveFormat& format) {
  return QCoreApplication::translate(kContext, format.name) + QStringLiteral(" (") +
         QString::fromLatin1(format.patterns) + QLatin1Char(')');
}

QString SaveFilters() {
  QStringList filters;
  for (const SaveFormat& format : kFormats) filters << SaveFilter(format);
  return filters.join(QStringLiteral(";;"));
}

const SaveFormat& SaveFormatOfFilter(const QString& filter) {
  for (const SaveFormat& format : kFormats) {
    if (SaveFilter(format) == filter) return format;
  }
  return DefaultSaveFormat();
}

QString PathForFormat(const QString& path, const SaveFormat& format) {
  const QFileInfo info(path);
  const QString name = info.fileName();
  if (name.isEmpty()) return path;
  if (!format.folder && Matches(name, format)) return path;
  for (const SaveFormat& other : kFormats) {
    if (Matches(name, other)) return info.dir().filePath(info.completeBaseName() + QString::fromLatin1(format.suffix));
  }
  // A suffix of the user's own is the user's choice.
  if (!info.suffix().isEmpty()) return path;
  return info.dir().filePath(name + QString::fromLatin1(format.suffix));
}

}  // namespace mendora
