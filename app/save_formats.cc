// The formats Save offers.
#include "app/save_formats.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace mendora {

namespace {

constexpr char kContext[] = "mendora::SaveOption";

// In the order the save dialog offers them; the first is the default.
constexpr SaveOption kFormats[] = {
    {SaveFormatId::kAccess, QT_TRANSLATE_NOOP("mendora::SaveOption", "Access database"), "*.mdb", ".mdb", false, true},
    {SaveFormatId::kSqlite, QT_TRANSLATE_NOOP("mendora::SaveOption", "SQLite database"), "*.sqlite *.db", ".sqlite",
     false, true},
    {SaveFormatId::kCsv, QT_TRANSLATE_NOOP("mendora::SaveOption", "CSV files, one per table, in a folder"), "*", "",
     true, false},
    {SaveFormatId::kJsonLines, QT_TRANSLATE_NOOP("mendora::SaveOption", "JSON Lines"), "*.jsonl", ".jsonl", false, false},
    {SaveFormatId::kSqlPostgreSql, QT_TRANSLATE_NOOP("mendora::SaveOption", "SQL script for PostgreSQL"), "*.sql",
     ".sql", false, false},
    {SaveFormatId::kSqlMySql, QT_TRANSLATE_NOOP("mendora::SaveOption", "SQL script for MySQL and MariaDB"), "*.sql",
     ".sql", false, false},
    {SaveFormatId::kSqlSqlite, QT_TRANSLATE_NOOP("mendora::SaveOption", "SQL script for SQLite"), "*.sql", ".sql",
     false, false},
};

QStringList Patterns(const SaveOption& format) {
  return QString::fromLatin1(format.patterns).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

bool Matches(const QString& name, const SaveOption& format) {
  for (const QString& pattern : Patterns(format)) {
    if (pattern == QLatin1String("*")) continue;
    const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(pattern),
                                QRegularExpression::CaseInsensitiveOption);
    if (re.match(name).hasMatch()) return true;
  }
  return false;
}

}  // namespace

std::span<const SaveOption> SaveOptions() { return kFormats; }

const SaveOption& DefaultSaveOption() { return kFormats[0]; }

const SaveOption& SaveOptionOf(SaveFormatId id) {
  for (const SaveOption& format : kFormats) {
    if (format.id == id) return format;
  }
  return DefaultSaveOption();
}

QString SaveFilter(const SaveOption& format) {
  return QCoreApplication::translate(kContext, format.name) + QStringLiteral(" (") +
         QString::fromLatin1(format.patterns) + QLatin1Char(')');
}

QString SaveFilters() {
  QStringList filters;
  for (const SaveOption& format : kFormats) filters << SaveFilter(format);
  return filters.join(QStringLiteral(";;"));
}

const SaveOption& SaveOptionOfFilter(const QString& filter) {
  for (const SaveOption& format : kFormats) {
    if (SaveFilter(format) == filter) return format;
  }
  return DefaultSaveOption();
}

QString PathForOption(const QString& path, const SaveOption& format) {
  const QFileInfo info(path);
  const QString name = info.fileName();
  if (name.isEmpty()) return path;
  if (!format.folder && Matches(name, format)) return path;
  for (const SaveOption& other : kFormats) {
    if (Matches(name, other)) return info.dir().filePath(info.completeBaseName() + QString::fromLatin1(format.suffix));
  }
  // A suffix of the user's own is the user's choice.
  if (!info.suffix().isEmpty()) return path;
  return info.dir().filePath(name + QString::fromLatin1(format.suffix));
}

}  // namespace mendora
