// The program's only main window: the skinned dialog that carries the whole
// recovery workflow (choose a file, analyse it, watch the log, save, go back).
#ifndef MENDORA_APP_MAIN_DIALOG_H_
#define MENDORA_APP_MAIN_DIALOG_H_

#include <QCoreApplication>
#include <QDialog>
#include <QHash>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

#include "app/analysis_log_text.h"
#include "app/app_services.h"
#include "app/message_boxes.h"
#include "app/save_formats.h"
#include "output/report/recovery_report.h"
#include "recovery/recovery_session.h"

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenuBar;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QStatusBar;

namespace mendora {

class CTransparentStatic;
class RecoveryWorker;
class SkinnedSurface;

inline constexpr char kHelpFileName[] = "mendora.html";

// The texts of the workflow, translated in MainDialog's context.
inline constexpr char kCompletedMessage[] = QT_TRANSLATE_NOOP("mendora::MainDialog", "Analysis Completed Successfully\r\n");
inline constexpr char kCompletedLogTail[] = QT_TRANSLATE_NOOP(
    "mendora::MainDialog", "\r\nThe analysis process is complete.\r\nClick Save to save the recovered data.\r\n");
inline constexpr char kStopQuestion[] = QT_TRANSLATE_NOOP("mendora::MainDialog", "Do you want to stop the current process?");
inline constexpr char kBackQuestion[] = QT_TRANSLATE_NOOP("mendora::MainDialog", "Do you want to go back?");
inline constexpr char kExitQuestion[] =
    QT_TRANSLATE_NOOP("mendora::MainDialog", "Are you sure you want to close the software?");
inline constexpr char kNoHelpMessage[] = QT_TRANSLATE_NOOP("mendora::MainDialog", "Unable to locate the software's Help file.");
inline constexpr char kOpenTitle[] = QT_TRANSLATE_NOOP("mendora::MainDialog", "Select Access Database File");
inline constexpr char kSaveTitle[] = QT_TRANSLATE_NOOP("mendora::MainDialog", "Save Recovered Database");
inline constexpr char kRecoveredSuffix[] = "_recovered";
// Where Browse starts next time.
inline constexpr char kLastFolderKey[] = "lastFolder";
// The main window's size and place when it last closed.
inline constexpr char kWindowGeometryKey[] = "mainWindow/geometry";

class MainDialog : public QDialog {
  Q_OBJECT

 public:
  // The rows of the workflow's state table.
  enum class State { kSelecting, kReady, kRunning, kPaused, kAbandoned, kCompleted, kFailed, kReturned };

  explicit MainDialog(const AppServices& services, QWidget* parent = nullptr);
  // Cancels a pass still running and waits for it at its next safe point, so
  // that no half-written database stays behind.
  ~MainDialog() override;

  // Runs the handler that the command table routes `id` to; false for an id
  // the table does not know.
  bool OnCommand(int id);

  State state() const { return state_; }
  QWidget* Control(int id) const { return controls_.value(id); }
  QAction* MenuAction(int id) const { return actions_.value(id); }
  QStatusBar* statusBar() const { return status_bar_; }

  // Takes `path` as the source, as a confirmed Browse does: true when it can
  // be read (Next is then enabled), otherwise says why and keeps nothing.
  bool UseSource(const QString& path);
  // The filter Browse offers: Access databases, then every file.
  static QString OpenFilter();
  // The folder Browse starts in: the last one a file was taken from, else
  // the user's documents.
  static QString BrowseFolder();
  // Where Help > Content looks for the manual, in order: the installed
  // documentation folder, the program's folder, the start folder.
  QStringList HelpCandidates() const;
  // The tables the last completed pass recovered, for the preview.
  const std::vector<RecoveredTable>& RecoveredTables() const { return recovered_tables_; }
  const LossAccount& Losses() const { return losses_; }
  // The forms, reports, macros and modules it read, with their text.
  const std::vector<AccessObject>& RecoveredObjects() const { return access_objects_; }
  const std::optional<ReportSection>& LastReport() const { return last_report_; }

  const QString& SourcePath() const { return source_path_; }
  qint64 SourceFileLength() const { return source_file_length_; }
  const QString& TargetPath() const { return target_path_; }
  mendora::RunMode CurrentRunMode() const { return run_mode_; }
  const QString& AnalysisLog() const { return analysis_log_; }
  const QString& StartDirectory() const { return start_directory_; }

  // The path Save proposes for the data recovered from `source` in `format`.
  static QString SuggestedTargetPath(const QString& source, const SaveOption& format);
  // The format the last save was written in (the save dialog offers it first).
  SaveFormatId SavedFormat() const { return save_format_; }
  // "%n rows", translated.
  static QString RowsText(qint64 rows);
  // The message after an analysis that lost something: the tables that lost
  // anything and the total.
  static QString LossMessage(const LossAccount& losses);

  // Esc, Enter and the close box end the program; during a run only once
  // the user has said so, the run held meanwhile.
  void reject() override;
  void accept() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  // Keeps the window's size and place for the next start.
  void done(int result) override;

 private:
  struct CommandRoute {
    int id;
    void (MainDialog::*handler)();
  };
  static const CommandRoute kCommandTable[];

  void BuildControls();
  void BuildMenu(QMenuBar* menu);
  void BuildStatusBar();
  void SetTabOrder();
  QPushButton* AddButton(int id, const char* name, const QString& text, int min_width);

  // Handlers of the command table.
  void OnBrowse();
  void OnNext();
  void OnStop();
  void OnSave();
  void OnBack();
  void OnExit();
  void OnHelp();
  void OnAbout();
  void OnPreview();
  // Writes the last completed pass's report where the user chooses.
  void OnSaveReport();
  void OnPathEdited(const QString& text);
  // Opens `target` with the desktop, or says that nothing could open it.
  void OpenWithDesktop(const QString& target);

  void StartRun();
  void ApplyState(State state);
  void ShowLog(const QString& log);
  BoxAnswer Ask(const QString& text, BoxButtons buttons, BoxIcon icon, bool interrupts_run = false);
  bool IsCurrentRun(quint64 run) const;
  void RetireWorker();
  void ReapRetired();

  void OnWorkerEvent(quint64 run, const AnalysisEvent& event);
  void OnWorkerProgress(quint64 run, int percent);
  void OnWorkerTableProgress(quint64 run, const QString& table, qint64 table_rows, qint64 pass_rows);
  void OnWorkerFinished(quint64 run);
  void FinishRun();
  // Appends the loss account to the log: per table and in all, then each loss.
  void AppendLosses(const LossAccount& losses);
  bool RunActive() const;
  // Holds the running pass while `question` is open and lets it go on
  // unless the answer is Yes (in *yes). False when the dialog moved on
  // meanwhile.
  bool HoldRunAndAsk(const QString& question, bool* yes);
  // True when nothing runs, or the user agrees to end the run.
  bool MayEndNow();
  // After a pass the source's password stopped: asks for it and runs again,
  // or says why nothing was read. True when a new run was started.
  bool RetryWithPassword(const PassResult& result, mendora::RunMode run_mode);

  AppServices services_;
  State state_ = State::kSelecting;

  // The values the workflow keeps between commands.
  QString source_path_;
  qint64 source_file_length_ = 0;
  QString source_file_length_text_;
  QString target_path_;
  // The password the user gave for the source: in memory only, dropped with
  // the source.
  std::optional<QString> password_;
  bool replace_existing_ = false;
  mendora::RunMode run_mode_ = mendora::RunMode::kAnalysis;
  QString analysis_log_;
  // The running pass's log, worded as its events arrive; the box shows it
  // once for all the events that arrived together.
  AnalysisLogText log_text_;
  bool log_refresh_pending_ = false;
  // The analysis's log while a save runs: a save that does not complete
  // leaves the analysis as it was.
  QString kept_log_;
  SaveFormatId save_format_ = DefaultSaveOption().id;
  QString start_directory_;
  std::vector<RecoveredTable> recovered_tables_;
  std::vector<AccessObject> access_objects_;
  // The report of the last completed pass, for Save report.
  std::optional<ReportSection> last_report_;
  // The table the running pass reported last, and its rows so far.
  QString reading_table_;
  qint64 reading_rows_ = 0;
  LossAccount losses_{nullptr};

  std::unique_ptr<RecoveryWorker> worker_;
  std::vector<std::unique_ptr<RecoveryWorker>> retired_;
  quint64 next_run_ = 1;
  // While a question that holds the run is open, the pass's end waits for
  // the answer instead of opening a second box over the first.
  int open_questions_ = 0;
  bool finish_pending_ = false;

  SkinnedSurface* surface_ = nullptr;
  QLineEdit* path_box_ = nullptr;
  QPlainTextEdit* log_box_ = nullptr;
  QProgressBar* progress_ = nullptr;
  CTransparentStatic* running_path_ = nullptr;
  CTransparentStatic* source_label_ = nullptr;
  QGroupBox* select_frame_ = nullptr;
  QGroupBox* path_frame_ = nullptr;
  QGroupBox* progress_frame_ = nullptr;
  QWidget* footer_ = nullptr;
  QPushButton* browse_ = nullptr;
  QPushButton* next_ = nullptr;
  QPushButton* stop_ = nullptr;
  QPushButton* save_ = nullptr;
  QPushButton* back_ = nullptr;
  QPushButton* preview_ = nullptr;
  QStatusBar* status_bar_ = nullptr;
  QHash<int, QWidget*> controls_;
  QHash<int, QAction*> actions_;
};

}  // namespace mendora

#endif  // MENDORA_APP_MAIN_DIALOG_H_
