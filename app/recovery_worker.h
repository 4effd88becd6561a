// One recovery pass on a thread of its own. The worker's signals are sent
// from that thread and reach objects of the user-interface thread queued, so
// the pass never touches a widget.
#ifndef MENDORA_APP_RECOVERY_WORKER_H_
#define MENDORA_APP_RECOVERY_WORKER_H_

#include <QObject>
#include <QString>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <thread>

#include "output/report/recovery_report.h"
#include "recovery/recovery_session.h"

namespace mendora {

class RecoveryRunner;

inline constexpr std::chrono::milliseconds kTableProgressInterval{100};

class RecoveryWorker : public QObject {
  Q_OBJECT

 public:
  // `run` tells this worker's signals apart from those of earlier runs.
  RecoveryWorker(RecoveryRunner& runner, std::unique_ptr<RecoverySession> session, quint64 run,
                 QObject* parent = nullptr);
  // Cancels the pass and waits for its thread: a worker never outlives the
  // objects it reports to.
  ~RecoveryWorker() override;

  void Start();
  // Pause and cancel take effect at the pass's next safe point.
  void Pause() { session_->control.RequestPause(); }
  void Resume() { session_->control.Resume(); }
  void Cancel() { session_->control.Cancel(); }
  bool IsFinished() const { return finished_.load(); }
  void Join();

  quint64 run() const { return run_; }
  // Read only once the worker has finished.
  const RecoverySession& session() const { return *session_; }
  const PassResult& result() const { return result_; }
  // The report of a completed pass, gathered on the worker's thread (it
  // reads the source's pages once more); nothing for any other outcome.
  const std::optional<ReportSection>& report() const { return report_; }

 signals:
  // A line of the analysis log as data, worded by the window.
  void AnalysisEventArrived(quint64 run, const mendora::AnalysisEvent& event);
  void ProgressChanged(quint64 run, int percent);
  // The table being read and the rows so far; sent when the table changes
  // and otherwise at most every kTableProgressInterval.
  void TableProgressChanged(quint64 run, const QString& table, qint64 table_rows, qint64 pass_rows);
  void Finished(quint64 run);

 private:
  class Relay;
  void Body();

  RecoveryRunner& runner_;
  std::unique_ptr<RecoverySession> session_;
  std::unique_ptr<Relay> relay_;
  quint64 run_;
  PassResult result_;
  ReportCollector collector_;
  std::optional<ReportSection> report_;
  std::atomic<bool> finished_{false};
  std::thread thread_;
};

// Whole percent of pages walked, 0 to 100.
int ProgressPercent(uint32_t pages_done, uint32_t pages_total);

}  // namespace mendora

Q_DECLARE_METATYPE(mendora::AnalysisEvent)

#endif  // MENDORA_APP_RECOVERY_WORKER_H_
