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
  // Words `event` once: a pass of thousands of tables is not worded again
  // line by line after each of them.
  void Add(const AnalysisEvent& event);
  // The whole log so far, with CR LF line ends: the header once the pass
  // has started, the running total, then a line for each table, linked
  // table and the objects.
  QString Text() const;

  // The log after `events`.
  static QString Format(const std::vector<AnalysisEvent>& events);
  // "Orders :  830  Records"
  static QString TableLine(const AnalysisEvent& event);

 private:
  QString header_;
  QString lines_;
  int64_t total_ = 0;
};

}  // namespace mendora

#endif  // MENDORA_APP_ANALYSIS_LOG_TEXT_H_
