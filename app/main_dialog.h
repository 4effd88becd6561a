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

#include "app/app_services.h"
#include "app/message_boxes.h"
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
inline constexpr char kCompletedLogTail[] =
    QT_TRANSLATE_NOOP("mendora::MainDialog", "\r\nAnalyzing process is completed\r\nClick Save button for save the file\r\n");
inline constexpr char kStopQuestion[] = QT_TRANSLATE_NOOP("mendora::MainDialog", "Do you want to stop current process ?");
inline constexpr char kBackQuestion[] = QT_TRANSLATE_NOOP("mendora::MainDialog", "Do you want to Go back ?");
inline constexpr char kExitQuestion[] =
    QT_TRANSLATE_NOOP("mendora::MainDialog", "Are you sure, you want to close the software?");
inline constexpr char kNoHelpMessage[] = QT_TRANSLATE_NOOP("mendora::MainDialog", "Unable to locate software Help file");
inline constexpr char kOpenTitle[] = QT_TRANSLATE_NOOP("mendora::MainDialog", "Select Access Database File");
inline constexpr char kSaveTitle[] = QT_TRANSLATE_NOOP("mendora::MainDialog", "Save Recovered Database");
inline constexpr char kSaveFilter[] = QT_TRANSLATE_NOOP("mendora::MainDialog", "SQLite Database (*.sqlite *.db)");
inline constexpr char kRecoveredSuffix[] = "_recovered.sqlite";
// Where Browse starts next time.
inline constexpr char kLastFolderKey[] = "lastFolder";

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

  const QString& SourcePath() const { return source_path_; }
  qint64 SourceFileLength() const { return source_file_length_; }
  const QString& TargetPath() const { return target_path_; }
  int RunMode() const { return run_mode_; }
  const QString& AnalysisLog() const { return analysis_log_; }
  const QString& StartDirectory() const { return start_directory_; }

  // The path Save proposes for the database recovered from `source`.
  static QString SuggestedTargetPath(const QString& source);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

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
  QPushButton* AddButton(int id, const char* name, const QString& text, const QRect& place);

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

  void OnWorkerLog(quint64 run, const QString& log);
  void OnWorkerProgress(quint64 run, int percent);
  void OnWorkerTableProgress(quint64 run, const QString& table, qint64 table_rows, qint64 pass_rows);
  void OnWorkerFinished(quint64 run);
  void FinishRun();
  void ShowLosses(const RecoverySession& session);
  // After a pass the source's password stopped: asks for it and runs again,
  // or says why nothing was read. True when a new run was started.
  bool RetryWithPassword(const PassResult& result, int run_mode);

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
  int run_mode_ = 0;
  QString analysis_log_;
  QString start_directory_;
  std::vector<RecoveredTable> recovered_tables_;
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
