// Wording the analysis log from the pass's events.
#include "app/analysis_log_text.h"

#include <QFile>
#include <algorithm>
#include <climits>

#include "recovery/distinct_names.h"

namespace mendora {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

// A name from the file on one line: a control character in it must not
// break the log's lines.
QString Name(const std::string& name) { return QString::fromStdString(PrintableText(name)); }

int Count(int64_t n) { return static_cast<int>(std::clamp<int64_t>(n, 0, INT_MAX)); }

}  // namespace

QString AnalysisLogText::TableLine(const AnalysisEvent& event) {
  return tr("%1 :  %n  Records", nullptr, Count(event.records)).arg(Name(event.table));
}

void AnalysisLogText::Add(const AnalysisEvent& event) {
  const QString long_rule(107, QLatin1Char('-'));
  const QString short_rule(50, QLatin1Char('-'));
  switch (event.kind) {
    case AnalysisEvent::Kind::kStarted:
      header_ = tr("Mendora - Analysis process started...") + kCrLf + long_rule + kCrLf + kCrLf +
                tr("File to be repaired :%1  File Size  : %2  Bytes")
                    .arg(QFile::decodeName(QByteArray::fromStdString(event.source)), QString::number(event.source_bytes)) +
                kCrLf + long_rule + kCrLf + kCrLf + tr("Analyzing the source file...") + kCrLf + kCrLf + short_rule +
                kCrLf;
      break;
    case AnalysisEvent::Kind::kTable:
      total_ += event.records;
      lines_ += kCrLf + TableLine(event);
      break;
    case AnalysisEvent::Kind::kLinkedTable:
      lines_ += kCrLf + (event.link_target.empty()
                             ? tr("%1 :  linked").arg(Name(event.table))
                             : tr("%1 :  linked to %2").arg(Name(event.table), Name(event.link_target)));
      break;
    case AnalysisEvent::Kind::kObjects: {
      const AnalysisEvent::ObjectCounts& n = event.objects;
      lines_ += kCrLf + kCrLf +
                tr("Forms: %1, Reports: %2, Macros: %3, Modules: %4, the source of %5 recovered")
                    .arg(QString::number(n.forms), QString::number(n.reports), QString::number(n.macros),
                         QString::number(n.modules), QString::number(n.module_sources));
      if (n.class_modules > 0) {
        lines_ += kCrLf + tr("Form and report modules: %1, the source of %2 recovered")
                              .arg(QString::number(n.class_modules), QString::number(n.class_module_sources));
      }
      break;
    }
    case AnalysisEvent::Kind::kCompleted:
      total_ = event.records;
      break;
  }
}

QString AnalysisLogText::Text() const {
  return header_ + kCrLf + tr("Total Number of Records :") + kCrLf + QString::number(total_) + kCrLf + lines_ + kCrLf +
         kCrLf;
}

QString AnalysisLogText::Format(const std::vector<AnalysisEvent>& events) {
  AnalysisLogText log;
  for (const AnalysisEvent& event : events) log.Add(event);
  return log.Text();
}

}  // namespace mendora
