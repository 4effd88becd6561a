// The recovery report of the desktop app: gathered beside every pass,
// written beside what a save wrote, and on request anywhere (HTML or text).
#ifndef MENDORA_APP_REPORT_FILES_H_
#define MENDORA_APP_REPORT_FILES_H_

#include <QString>

#include "output/report/recovery_report.h"

namespace mendora {

// Where a save's report goes: beside what it wrote, named after it
// ("Sales_recovered-report.html" beside "Sales_recovered.sqlite" or the
// folder "Sales_recovered"); a name already taken gets " (2)", " (3)"...
// unless `replace` says the save replaced what was there.
QString ReportPathBeside(const QString& target, bool replace);

// The report of one completed pass, as the app writes it.
RecoveryReport AppReport(const ReportSection& section);

// Writes `report` to `path` whole or not at all: HTML for a name ending in
// .html or .htm, text otherwise. False, with the reason in `error`, when it
// could not be written.
bool WriteReport(const RecoveryReport& report, const QString& path, QString* error);

}  // namespace mendora

#endif  // MENDORA_APP_REPORT_FILES_H_
