// Writing the app's recovery reports.
#include "app/report_files.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include "app/about_dialog.h"

namespace mendora {

QString ReportPathBeside(const QString& target, bool replace) {
  const QFileInfo info(target);
  const QString base = info.isDir() || info.suffix().isEmpty() ? info.fileName() : info.completeBaseName();
  const QDir folder = info.absoluteDir();
  QString path = folder.filePath(base + QStringLiteral("-report.html"));
  for (int n = 2; !replace && QFileInfo::exists(path); ++n) {
    path = folder.filePath(base + QStringLiteral("-report (%1).html").arg(n));
  }
  return path;
}

RecoveryReport AppReport(const ReportSection& section) {
  RecoveryReport report;
  report.program = kProductLine;
  report.command = section.target.empty() ? "analysis of " + section.source
                                          : "save of " + section.source + " to " + section.target;
  report.written =
      QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss 'UTC'")).toStdString();
  report.sections.push_back(section);
  return report;
}

bool WriteReport(const RecoveryReport& report, const QString& path, QString* error) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  const std::string text =
      suffix == QLatin1String("html") || suffix == QLatin1String("htm") ? ReportHtml(report) : ReportText(report);
  // Written beside its place and moved there once whole.
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(text.data(), qint64(text.size())) != qint64(text.size()) ||
      !file.commit()) {
    if (error != nullptr) *error = file.errorString();
    return false;
  }
  return true;
}

}  // namespace mendora
