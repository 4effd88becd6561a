// The commands of the recovery workflow: Browse, Next, Stop, Back, Save,
// Exit, Help and About, and what happens when a pass ends.
#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QStandardPaths>
#include <QStatusBar>
#include <QUrl>
#include <algorithm>
#include <climits>

#include "app/about_dialog.h"
#include "app/analysis_log_text.h"
#include "app/loss_text.h"
#include "app/build_info.h"
#include "app/preview_window.h"
#include "app/recovery_app.h"
#include "app/report_files.h"
#include "app/control_ids.h"
#include "app/file_dialogs.h"
#include "app/main_dialog.h"
#include "app/password_dialogs.h"
#include "app/recovery_runner.h"
#include "app/recovery_worker.h"
#include "app/save_formats.h"
#include "controls/desktop_opener.h"
#include "controls/transparent_static.h"

namespace mendora {
namespace {

std::string LocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

// A path as the user may type or paste it: with spaces around it, in
// quotes, as a file URL, or starting at the home folder.
QString TypedPath(const QString& typed) {
  QString path = typed.trimmed();
  if (path.size() >= 2 && path.startsWith(QLatin1Char('"')) && path.endsWith(QLatin1Char('"'))) {
    path = path.mid(1, path.size() - 2);
  }
  if (path.startsWith(QStringLiteral("file:"))) path = QUrl(path).toLocalFile();
  if (path == QStringLiteral("~") || path.startsWith(QStringLiteral("~/"))) path = QDir::homePath() + path.mid(1);
  return path;
}

bool SameFile(const QString& a, const QString& b) {
  const QFileInfo fa(a);
  const QFileInfo fb(b);
  if (fa.exists() && fb.exists()) return fa.canonicalFilePath() == fb.canonicalFilePath();
  return QDir::cleanPath(fa.absoluteFilePath()) == QDir::cleanPath(fb.absoluteFilePath());
}

}  // namespace

QString MainDialog::SuggestedTargetPath(const QString& source, const SaveOption& format) {
  const QFileInfo info(source);
  return info.absoluteDir().filePath(info.completeBaseName() + QString::fromLatin1(kRecoveredSuffix) +
                                     QString::fromLatin1(format.suffix));
}

BoxAnswer MainDialog::Ask(const QString& text, BoxButtons buttons, BoxIcon icon, bool interrupts_run) {
  if (services_.boxes == nullptr) return buttons == BoxButtons::kOk ? BoxAnswer::kOk : BoxAnswer::kNo;
  return services_.boxes->Show(this, {text, buttons, icon, interrupts_run});
}

void MainDialog::ShowLog(const QString& log) {
  // The log keeps its CR LF line ends; the box shows plain lines.
  QString shown = log;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  log_box_->setPlainText(shown);
  log_box_->moveCursor(QTextCursor::End);
}

QString MainDialog::OpenFilter() {
  return tr("Access databases (*.mdb *.mde *.accdb *.accde)") + QStringLiteral(";;") + tr("All files (*)");
}

QString MainDialog::BrowseFolder() {
  const QString last = QSettings().value(QString::fromLatin1(kLastFolderKey)).toString();
  if (!last.isEmpty() && QFileInfo(last).isDir()) return last;
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  return QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

void MainDialog::OnBrowse() {
  password_.reset();
  path_box_->clear();
  log_box_->clear();
  const QString chosen = services_.files == nullptr
                             ? QString()
                             : services_.files->OpenFileName(this, tr(kOpenTitle), BrowseFolder(), OpenFilter());
  if (chosen.isEmpty()) return;
  if (UseSource(chosen)) QSettings().setValue(QString::fromLatin1(kLastFolderKey), QFileInfo(chosen).absolutePath());
}

bool MainDialog::UseSource(const QString& path) {
  password_.reset();
  const QString local = TypedPath(path);
  QFile file(local);
  const QFileInfo info(local);
  // A folder opens for reading too, and reads as nothing.
  if (info.isDir() || !file.open(QIODevice::ReadOnly)) {
    // Nothing that cannot be read is kept: Next must not start on it.
    source_path_.clear();
    const QString reason = info.isDir() ? tr("It is a folder.") : file.errorString();
    Ask(tr("Unable to open the file \"%1\".\n%2").arg(QDir::toNativeSeparators(local), reason), BoxButtons::kOk,
        BoxIcon::kWarning);
    ApplyState(State::kSelecting);
    return false;
  }
  source_path_ = QDir::toNativeSeparators(info.absoluteFilePath());
  path_box_->setText(source_path_);
  target_path_ = source_path_;
  source_file_length_ = file.size();
  source_file_length_text_ = QString::number(source_file_length_);
  file.close();
  update();
  ApplyState(State::kReady);
  return true;
}

void MainDialog::OnPathEdited(const QString& text) {
  if (state_ != State::kSelecting && state_ != State::kReady && state_ != State::kReturned) return;
  // A typed path is checked when Next takes it, as Browse checks a chosen one.
  if (TypedPath(text).isEmpty()) {
    source_path_.clear();
    ApplyState(State::kSelecting);
  } else {
    ApplyState(State::kReady);
  }
}

void MainDialog::OnNext() {
  if (state_ == State::kSelecting || state_ == State::kReady || state_ == State::kReturned) {
    const QString typed = path_box_->text();
    if (!TypedPath(typed).isEmpty() && typed != source_path_ && !UseSource(typed)) return;
  }
  run_mode_ = RunMode::kAnalysis;
  StartRun();
}

void MainDialog::StartRun() {
  if (services_.runner == nullptr || source_path_.isEmpty()) return;
  ReapRetired();
  auto session = std::make_unique<RecoverySession>();
  session->options.mode = run_mode_;
  session->options.source_path = LocalPath(source_path_);
  session->options.source_file_length_text = source_file_length_text_.toStdString();
  if (password_) session->options.password = password_->toStdString();
  session->options.recover_deleted_rows = actions_.value(kIdFileDeletedRows)->isChecked();
  if (run_mode_ == RunMode::kSave) {
    session->options.target_path = LocalPath(target_path_);
    session->options.replace_existing = replace_existing_;
    session->options.make_target = services_.runner->Target(save_format_);
  }
  progress_->setValue(0);
  status_bar_->clearMessage();
  reading_table_.clear();
  reading_rows_ = 0;
  log_text_ = AnalysisLogText();
  running_path_->SetText(source_path_);
  ApplyState(State::kRunning);

  worker_ = std::make_unique<RecoveryWorker>(*services_.runner, std::move(session), next_run_++);
  connect(worker_.get(), &RecoveryWorker::AnalysisEventArrived, this, &MainDialog::OnWorkerEvent);
  connect(worker_.get(), &RecoveryWorker::ProgressChanged, this, &MainDialog::OnWorkerProgress);
  connect(worker_.get(), &RecoveryWorker::TableProgressChanged, this, &MainDialog::OnWorkerTableProgress);
  connect(worker_.get(), &RecoveryWorker::Finished, this, &MainDialog::OnWorkerFinished);
  worker_->Start();
}

bool MainDialog::IsCurrentRun(quint64 run) const {
  return worker_ && worker_->run() == run && state_ != State::kAbandoned;
}

void MainDialog::OnWorkerEvent(quint64 run, const AnalysisEvent& event) {
  if (!IsCurrentRun(run)) return;
  log_text_.Add(event);
  if (log_refresh_pending_) return;
  log_refresh_pending_ = true;
  // After the events already waiting: a pass that reads many small tables
  // fills the box once for all of them.
  QMetaObject::invokeMethod(
      this,
      [this] {
        log_refresh_pending_ = false;
        // A run that has ended has its log made whole by FinishRun or Stop;
        // a run started since shows its own.
        if (state_ != State::kRunning && state_ != State::kPaused) return;
        analysis_log_ = log_text_.Text();
        ShowLog(analysis_log_);
      },
      Qt::QueuedConnection);
}

void MainDialog::OnWorkerProgress(quint64 run, int percent) {
  if (!IsCurrentRun(run)) return;
  progress_->setValue(percent);
}

void MainDialog::OnWorkerTableProgress(quint64 run, const QString& table, qint64 table_rows, qint64 pass_rows) {
  if (!IsCurrentRun(run)) return;
  reading_table_ = table;
  reading_rows_ = table_rows;
  // Between tables (and at the end, while the save is finished) the pass
  // reads no table of its own.
  if (table.isEmpty()) {
    status_bar_->showMessage(tr("%Ln rows read so far", nullptr, int(std::min<qint64>(pass_rows, INT_MAX))));
    return;
  }
  status_bar_->showMessage(tr("Reading %1: %2, %3 in all").arg(table, RowsText(table_rows), RowsText(pass_rows)));
}

void MainDialog::OnWorkerFinished(quint64 run) {
  if (!IsCurrentRun(run)) {
    ReapRetired();
    return;
  }
  if (open_questions_ > 0) {
    finish_pending_ = true;
    return;
  }
  FinishRun();
}

void MainDialog::FinishRun() {
  finish_pending_ = false;
  worker_->Join();
  const RecoverySession& session = worker_->session();
  const PassResult& result = worker_->result();
  const bool saving = session.IsSaving();
  // Worded from the pass's own record: events still queued to the window
  // are in it too.
  const QString final_log =
      session.results.analysis_events.empty() ? QString() : AnalysisLogText::Format(session.results.analysis_events);
  const RunMode finished_mode = session.options.mode;
  run_mode_ = RunMode::kAnalysis;

  if (RetryWithPassword(result, finished_mode)) return;
  if (result.outcome != PassOutcome::kCompleted) {
    if (!final_log.isEmpty()) analysis_log_ = final_log;
    status_bar_->clearMessage();
    const QString reason = QString::fromStdString(result.message);
    QString text;
    if (result.outcome == PassOutcome::kNotOpened || result.outcome == PassOutcome::kNotADatabase) {
      text = tr("The file could not be read as an Access database.");
    } else if (result.outcome == PassOutcome::kUnsupportedEncryption) {
      text = tr("The file is encrypted in a way Mendora cannot decrypt. Nothing was read.");
    } else if (result.outcome == PassOutcome::kNothingRecovered) {
      text = tr("Nothing could be recovered from the file. Nothing was saved.");
    } else if (saving) {
      text = tr("The recovered data could not be written. Nothing was saved.");
    } else {
      text = tr("The analysis stopped before its end.");
    }
    if (!reason.isEmpty()) text += QStringLiteral("\n\n") + reason;
    if (saving && !kept_log_.isEmpty()) {
      // The analysis before the save still stands: another place or format
      // may be tried without running it again.
      analysis_log_ = kept_log_ + QStringLiteral("\r\n") + DisplayText(text) + QStringLiteral("\r\n");
      ShowLog(analysis_log_);
      progress_->setValue(0);
      ApplyState(State::kCompleted);
    } else {
      ShowLog(analysis_log_);
      progress_->setValue(0);
      ApplyState(State::kFailed);
    }
    Ask(text, BoxButtons::kOk, BoxIcon::kWarning);
    return;
  }

  // The bar stays full beside the completion message: the work is done.
  progress_->setValue(100);
  analysis_log_ = final_log;
  kept_log_.clear();
  recovered_tables_ = session.results.recovered_tables;
  access_objects_ = session.results.access_objects;
  losses_ = session.results.losses;
  last_report_ = worker_->report();
  const int table_count = int(std::min<size_t>(session.results.recovered_tables.size(), INT_MAX));
  status_bar_->showMessage(
      tr("%1 recovered from %2").arg(RowsText(session.results.grand_total), tr("%Ln tables", nullptr, table_count)));
  // Stop has nothing left to stop while the completion is told.
  ApplyState(State::kCompleted);
  const QString target = QDir::toNativeSeparators(target_path_);
  const bool lossy = session.results.losses.AnyLoss();
  const bool database = SaveOptionOf(save_format_).database;
  // The copy holds the rows in the clear: the user decides how to protect it.
  const QString not_encrypted =
      session.results.source_encrypted ? tr("The source is encrypted; the recovered data is not.") : QString();
  const QString saved_to = database ? tr("The recovered database has been saved to:")
                                    : tr("The recovered data has been exported to:");

  // The report of what was recovered and lost goes beside what was saved.
  QString report_said;
  if (saving && last_report_) {
    const QString report_path = ReportPathBeside(target_path_, replace_existing_);
    QString error;
    report_said = WriteReport(AppReport(*last_report_), report_path, &error)
                      ? tr("The report of what was recovered and lost is beside it:") + QStringLiteral("\n") +
                            QDir::toNativeSeparators(report_path)
                      : tr("The report could not be written to \"%1\": %2").arg(QDir::toNativeSeparators(report_path), error);
  }

  // The log first, so that it holds the account whatever the message says.
  if (saving) {
    analysis_log_ += QStringLiteral("\r\n") + saved_to + QStringLiteral("\r\n%1\r\n").arg(target);
    if (!report_said.isEmpty()) analysis_log_ += QString(report_said).replace(QLatin1Char('\n'), QStringLiteral("\r\n")) + QStringLiteral("\r\n");
    if (!not_encrypted.isEmpty()) analysis_log_ += not_encrypted + QStringLiteral("\r\n");
  } else {
    analysis_log_ += tr(kCompletedLogTail);
  }
  if (lossy) AppendLosses(session.results.losses);
  ShowLog(analysis_log_);
  if (lossy) {
    // The account's summary at the top of the box, its details below.
    QString heading = tr("\r\nWhat could not be recovered:\r\n");
    heading.remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
    if (log_box_->find(heading, QTextDocument::FindBackward)) {
      QTextCursor at = log_box_->textCursor();
      at.clearSelection();
      log_box_->setTextCursor(at);
      log_box_->verticalScrollBar()->setValue(at.blockNumber());
    }
  }

  // One message, once: after a damaged analysis it carries the account, and
  // the save's own message only points to it.
  if (saving) {
    QString saved = saved_to + QStringLiteral("\n") + target;
    if (lossy) {
      saved += QStringLiteral("\n\n") +
               tr("Not everything in the file could be recovered: what was lost is listed at the end of the log.");
    }
    if (!report_said.isEmpty()) saved += QStringLiteral("\n\n") + report_said;
    if (!not_encrypted.isEmpty()) saved += QStringLiteral("\n\n") + not_encrypted;
    if (Ask(saved, BoxButtons::kOkOpenFolder, lossy ? BoxIcon::kWarning : BoxIcon::kInformation) ==
        BoxAnswer::kOpenFolder) {
      const QFileInfo info(target_path_);
      OpenWithDesktop(info.isDir() ? info.absoluteFilePath() : info.absolutePath());
    }
  } else if (!lossy) {
    Ask(tr(kCompletedMessage), BoxButtons::kOk, BoxIcon::kInformation);
  } else {
    Ask(LossMessage(session.results.losses), BoxButtons::kOk, BoxIcon::kWarning);
  }
}

QString MainDialog::RowsText(qint64 rows) {
  return tr("%Ln rows", nullptr, int(std::clamp<qint64>(rows, 0, INT_MAX)));
}

bool MainDialog::RetryWithPassword(const PassResult& result, RunMode run_mode) {
  const bool wrong = result.outcome == PassOutcome::kWrongPassword;
  if (!wrong && result.outcome != PassOutcome::kNeedsPassword) return false;
  password_.reset();
  progress_->setValue(0);
  const std::optional<QString> given =
      services_.passwords == nullptr ? std::nullopt : services_.passwords->AskPassword(this, source_path_, wrong);
  if (!given) {
    ApplyState(State::kFailed);
    Ask(tr("The file is encrypted, and no password was given: nothing was read."), BoxButtons::kOk,
        BoxIcon::kWarning);
    return true;
  }
  password_ = *given;
  run_mode_ = run_mode;
  // Not from inside the finished worker's own signal: StartRun replaces it.
  QMetaObject::invokeMethod(this, [this] { StartRun(); }, Qt::QueuedConnection);
  return true;
}

// The pass went on past pieces it could not recover; the completion message
// alone would read as a full recovery. The tables that lost anything and the
// total; every detail is in the log.
QString MainDialog::LossMessage(const LossAccount& losses) {
  constexpr int kListed = 8;
  QStringList summary = LossText::SummaryLines(losses);
  QString text = tr("The analysis is complete, but not everything in the file could be recovered:") +
                 QStringLiteral("\n");
  // The total is the last line; the tables before it may be many.
  const QString total = summary.isEmpty() ? QString() : summary.takeLast();
  for (int i = 0; i < summary.size() && i < kListed; ++i) text += QStringLiteral("\n") + summary[i];
  if (summary.size() > kListed) {
    text += QStringLiteral("\n") + tr("... and %Ln more tables", nullptr, int(summary.size() - kListed));
  }
  if (!total.isEmpty()) text += QStringLiteral("\n") + total;
  text += QStringLiteral("\n\n") + tr("What was lost is also listed at the end of the log.");
  return text;
}

void MainDialog::AppendLosses(const LossAccount& losses) {
  analysis_log_ += tr("\r\nWhat could not be recovered:\r\n");
  for (const QString& line : LossText::SummaryLines(losses)) analysis_log_ += line + QStringLiteral("\r\n");
  int64_t not_listed = 0;
  const QStringList details = LossText::DetailLines(losses, kKeptLosses, &not_listed);
  if (!details.isEmpty()) analysis_log_ += QStringLiteral("\r\n");
  for (const QString& line : details) analysis_log_ += line + QStringLiteral("\r\n");
  if (not_listed > 0) {
    analysis_log_ += tr("... and %Ln more", nullptr, int(std::min<int64_t>(not_listed, INT_MAX))) + QStringLiteral("\r\n");
  }
}

bool MainDialog::RunActive() const {
  return worker_ && !worker_->IsFinished() && (state_ == State::kRunning || state_ == State::kPaused);
}

bool MainDialog::HoldRunAndAsk(const QString& question, bool* yes) {
  worker_->Pause();
  const State before = state_;
  ApplyState(State::kPaused);
  ++open_questions_;
  const BoxAnswer answer = Ask(question, BoxButtons::kYesNo, BoxIcon::kQuestion, true);
  --open_questions_;
  *yes = answer == BoxAnswer::kYes;
  if (!worker_ || state_ != State::kPaused) return false;  // the dialog moved on meanwhile
  if (!*yes) {
    worker_->Resume();
    ApplyState(before == State::kPaused ? State::kRunning : before);
    if (finish_pending_) FinishRun();
  }
  return true;
}

void MainDialog::OnStop() {
  if (!worker_ || worker_->IsFinished() || state_ == State::kAbandoned) return;
  bool yes = false;
  if (!HoldRunAndAsk(tr(kStopQuestion), &yes) || !yes) return;
  // The run is abandoned where it stood: the pass is cancelled at its safe
  // point, and whatever it still reports is ignored.
  const bool saving = worker_->session().IsSaving();
  worker_->Cancel();
  finish_pending_ = false;
  // The log so far stays, with the word that it ends here and where.
  if (!reading_table_.isEmpty()) {
    analysis_log_ += tr("\r\nStopped while reading %1, after %2.\r\n").arg(reading_table_, RowsText(reading_rows_));
  }
  status_bar_->showMessage(tr("Cancelled"));
  if (saving && !kept_log_.isEmpty()) {
    // A cancelled save keeps the analysis it started from.
    RetireWorker();
    run_mode_ = RunMode::kAnalysis;
    analysis_log_ = kept_log_ + tr("\r\nThe save was cancelled. Nothing was saved.\r\n");
    ShowLog(analysis_log_);
    progress_->setValue(0);
    ApplyState(State::kCompleted);
    return;
  }
  analysis_log_ += saving ? tr("\r\nThe save was cancelled. Nothing was saved.\r\n")
                          : tr("\r\nThe analysis was cancelled. Nothing was saved.\r\n");
  ShowLog(analysis_log_);
  ApplyState(State::kAbandoned);
}

void MainDialog::OnBack() {
  ++open_questions_;
  const BoxAnswer answer = Ask(tr(kBackQuestion), BoxButtons::kYesNo, BoxIcon::kQuestion, true);
  --open_questions_;
  if (answer != BoxAnswer::kYes) {
    if (finish_pending_ && open_questions_ == 0) FinishRun();
    return;
  }
  RetireWorker();
  finish_pending_ = false;
  recovered_tables_.clear();
  access_objects_.clear();
  losses_.Clear();
  last_report_.reset();
  kept_log_.clear();
  status_bar_->clearMessage();
  ApplyState(State::kReturned);
  analysis_log_.clear();
  log_box_->setPlainText(QStringLiteral(" "));
  progress_->setValue(0);
  source_path_.clear();
  path_box_->clear();
}

void MainDialog::RetireWorker() {
  if (!worker_) return;
  worker_->Cancel();
  if (worker_->IsFinished()) {
    worker_.reset();
  } else {
    retired_.push_back(std::move(worker_));
  }
}

void MainDialog::ReapRetired() {
  std::erase_if(retired_, [](const std::unique_ptr<RecoveryWorker>& w) { return w->IsFinished(); });
}

void MainDialog::OnSave() {
  if (source_path_.isEmpty() || services_.files == nullptr) return;
  const SaveOption& offered = SaveOptionOf(save_format_);
  const SaveChoice choice = services_.files->SaveFileName(this, tr(kSaveTitle), SuggestedTargetPath(source_path_, offered),
                                                          SaveFilters(), SaveFilter(offered));
  if (choice.path.isEmpty()) return;
  const SaveOption& format = SaveOptionOfFilter(choice.filter);
  const QString chosen = PathForOption(choice.path, format);
  if (SameFile(choice.path, source_path_) || SameFile(chosen, source_path_)) {
    Ask(tr("The recovered data cannot be written over the file being repaired.\n"
           "Choose another name."),
        BoxButtons::kOk, BoxIcon::kWarning);
    return;
  }
  const QFileInfo existing(chosen);
  bool replace = false;
  if (format.folder && existing.exists() && !existing.isDir()) {
    Ask(tr("\"%1\" is a file, and this format writes a folder.\nChoose another name.")
            .arg(QDir::toNativeSeparators(chosen)),
        BoxButtons::kOk, BoxIcon::kWarning);
    return;
  }
  if (!format.folder && existing.isDir()) {
    Ask(tr("\"%1\" is a folder, and this format writes a file.\nChoose another name.")
            .arg(QDir::toNativeSeparators(chosen)),
        BoxButtons::kOk, BoxIcon::kWarning);
    return;
  }
  if (format.folder && existing.isDir() && !QDir(chosen).isEmpty()) {
    const BoxAnswer answer =
        Ask(tr("The folder \"%1\" is not empty.\nFiles in it with the names of recovered tables will be replaced. "
               "Do you want to go on?")
                .arg(QDir::toNativeSeparators(chosen)),
            BoxButtons::kYesNo, BoxIcon::kQuestion);
    if (answer != BoxAnswer::kYes) return;
    replace = true;
  } else if (!format.folder && existing.exists()) {
    const BoxAnswer answer =
        Ask(tr("The file \"%1\" already exists.\nDo you want to replace it?").arg(QDir::toNativeSeparators(chosen)),
            BoxButtons::kYesNo, BoxIcon::kQuestion);
    if (answer != BoxAnswer::kYes) return;
    replace = true;
  }
  RetireWorker();
  save_format_ = format.id;
  target_path_ = QFileInfo(chosen).absoluteFilePath();
  replace_existing_ = replace;
  run_mode_ = RunMode::kSave;
  // The save run writes a log of its own from the start; the analysis's is
  // kept in case the save does not complete.
  if (kept_log_.isEmpty()) kept_log_ = analysis_log_;
  analysis_log_.clear();
  log_box_->clear();
  StartRun();
}

void MainDialog::OnSaveReport() {
  if (!last_report_ || services_.files == nullptr) return;
  const QString html = tr("HTML page (*.html)");
  const QString text = tr("Text (*.txt)");
  const QFileInfo source(source_path_);
  const SaveChoice choice = services_.files->SaveFileName(
      this, tr("Save Report"), source.absoluteDir().filePath(source.completeBaseName() + QStringLiteral("-report.html")),
      html + QStringLiteral(";;") + text, html);
  if (choice.path.isEmpty()) return;
  QString chosen = choice.path;
  if (QFileInfo(chosen).suffix().isEmpty()) chosen += choice.filter == text ? QStringLiteral(".txt") : QStringLiteral(".html");
  const QFileInfo existing(chosen);
  if (SameFile(chosen, source_path_) || (!last_report_->target.empty() && SameFile(chosen, QString::fromStdString(last_report_->target))) ||
      existing.isDir()) {
    Ask(tr("The report cannot be written over \"%1\".\nChoose another name.").arg(QDir::toNativeSeparators(chosen)),
        BoxButtons::kOk, BoxIcon::kWarning);
    return;
  }
  if (existing.exists() &&
      Ask(tr("The file \"%1\" already exists.\nDo you want to replace it?").arg(QDir::toNativeSeparators(chosen)),
          BoxButtons::kYesNo, BoxIcon::kQuestion) != BoxAnswer::kYes) {
    return;
  }
  QString error;
  if (!WriteReport(AppReport(*last_report_), chosen, &error)) {
    Ask(tr("The report could not be written to \"%1\": %2").arg(QDir::toNativeSeparators(chosen), error),
        BoxButtons::kOk, BoxIcon::kWarning);
    return;
  }
  status_bar_->showMessage(tr("The report has been saved to %1").arg(QDir::toNativeSeparators(chosen)));
}

void MainDialog::OnExit() {
  if (Ask(tr(kExitQuestion), BoxButtons::kYesNo, BoxIcon::kQuestion) == BoxAnswer::kYes) done(QDialog::Rejected);
}

bool MainDialog::MayEndNow() {
  if (!RunActive()) return true;
  const QString question = worker_->session().IsSaving()
                               ? tr("The save is still running. Do you want to stop it and close Mendora? "
                                    "Nothing will be saved.")
                               : tr("The analysis is still running. Do you want to stop it and close Mendora?");
  bool yes = false;
  if (!HoldRunAndAsk(question, &yes)) return yes;
  return yes;
}

void MainDialog::reject() {
  if (MayEndNow()) QDialog::reject();
}

void MainDialog::accept() {
  if (MayEndNow()) QDialog::accept();
}

QStringList MainDialog::HelpCandidates() const {
  const QString name = QString::fromLatin1(kHelpFileName);
  QStringList candidates;
  // Where the installation puts it, found from the program so that any
  // prefix works; beside the program (a build folder); where the configured
  // prefix puts it; the folder the program was started in.
  for (const QString& folder : {InstalledFolder(kDocDirectoryFromProgram), QCoreApplication::applicationDirPath(),
                                QString::fromUtf8(kDocDirectory), start_directory_}) {
    if (folder.isEmpty()) continue;
    const QString path = QDir(folder).filePath(name);
    if (!candidates.contains(path)) candidates << path;
  }
  return candidates;
}

void MainDialog::OnHelp() {
  for (const QString& path : HelpCandidates()) {
    if (QFileInfo(path).isFile()) {
      OpenWithDesktop(path);
      return;
    }
  }
  Ask(tr(kNoHelpMessage), BoxButtons::kOk, BoxIcon::kInformation);
}

void MainDialog::OpenWithDesktop(const QString& target) {
  if (services_.opener != nullptr && services_.opener->Open(target)) return;
  Ask(tr("No program could be found to open \"%1\".").arg(QDir::toNativeSeparators(target)), BoxButtons::kOk,
      BoxIcon::kWarning);
}

void MainDialog::OnAbout() {
  AboutDialog about(services_, this);
  about.exec();
}

void MainDialog::OnPreview() {
  if (recovered_tables_.empty() || source_path_.isEmpty()) return;
  PreviewWindow preview(LocalPath(source_path_), password_ ? std::optional<std::string>(password_->toStdString())
                                                           : std::nullopt,
                        recovered_tables_, losses_, access_objects_, this);
  preview.exec();
}

}  // namespace mendora
