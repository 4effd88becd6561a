// The analysis log as the app shows it: every line worded from the pass's
// events in the user's language. The English is the log the command line
// writes, line for line.
#ifndef MENDORA_APP_ANALYSIS_LOG_TEXT_H_
#define MENDORA_APP_ANALYSIS_LOG_TEXT_H_

#include <QCoreApplication>
#include <QString>
#include <vector>

#include "recovery/recovery_session.h"

namespace mendora {

class AnalysisLogText {
  Q_DECLARE_TR_FUNCTIONS(AnalysisLogText)

 public:
  // The whole log after `events`, with CR LF line ends: the header once the
  // pass has started, the running total, then a line for each table, linked
  // table and the objects.
  static QString Format(const std::vector<AnalysisEvent>& events);
  // "Orders :  830  Records"
  static QString TableLine(const AnalysisEvent& event);
};

}  // namespace mendora

#endif  // MENDORA_APP_ANALYSIS_LOG_TEXT_H_
