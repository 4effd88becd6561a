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
#include <QSettings>
#include <QStandardPaths>
#include <QStatusBar>
#include <QUrl>

#include "app/about_dialog.h"
#include "app/build_info.h"
#include "app/preview_window.h"
#include "app/control_ids.h"
#include "app/file_dialogs.h"
#include "app/main_dialog.h"
#include "app/password_dialogs.h"
#include "app/recovery_runner.h"
#include "app/recovery_worker.h"
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

QString MainDialog::SuggestedTargetPath(const QString& source) {
  const QFileInfo info(source);
  return info.absoluteDir().filePath(info.completeBaseName() + QString::fromLatin1(kRecoveredSuffix));
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
  run_mode_ = 0;
  StartRun();
}

void MainDialog::StartRun() {
  if (services_.runner == nullptr || source_path_.isEmpty()) return;
  ReapRetired();
  auto session = std::make_unique<RecoverySession>();
  session->RunMode = run_mode_;
  session->SourcePath = LocalPath(source_path_);
  session->SourceFileLengthText = source_file_length_text_.toStdString();
  if (password_) session->Password = password_->toStdString();
  session->RecoverDeletedRows = actions_.value(kIdFileDeletedRows)->isChecked();
  if (run_mode_ == 1) {
    session->TargetPath = LocalPath(target_path_);
    session->ReplaceExisting = replace_existing_;
    session->MakeTarget = services_.runner->Target();
  }
  progress_->setValue(0);
  status_bar_->clearMessage();
  reading_table_.clear();
  reading_rows_ = 0;
  running_path_->SetText(source_path_);
  ApplyState(State::kRunning);

  worker_ = std::make_unique<RecoveryWorker>(*services_.runner, std::move(session), next_run_++);
  connect(worker_.get(), &RecoveryWorker::LogChanged, this, &MainDialog::OnWorkerLog);
  connect(worker_.get(), &RecoveryWorker::ProgressChanged, this, &MainDialog::OnWorkerProgress);
  connect(worker_.get(), &RecoveryWorker::TableProgressChanged, this, &MainDialog::OnWorkerTableProgress);
  connect(worker_.get(), &RecoveryWorker::Finished, this, &MainDialog::OnWorkerFinished);
  worker_->Start();
}

bool MainDialog::IsCurrentRun(quint64 run) const {
  return worker_ && worker_->run() == run && state_ != State::kAbandoned;
}

void MainDialog::OnWorkerLog(quint64 run, const QString& log) {
  if (!IsCurrentRun(run)) return;
  analysis_log_ = log;
  ShowLog(analysis_log_);
}

void MainDialog::OnWorkerProgress(quint64 run, int percent) {
  if (!IsCurrentRun(run)) return;
  progress_->setValue(percent);
}

void MainDialog::OnWorkerTableProgress(quint64 run, const QString& table, qint64 table_rows, qint64 pass_rows) {
  if (!IsCurrentRun(run)) return;
  reading_table_ = table;
  reading_rows_ = table_rows;
  const QLocale locale;
  status_bar_->showMessage(tr("Reading %1: %2 rows, %3 rows in all")
                               .arg(table, locale.toString(table_rows), locale.toString(pass_rows)));
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
  const bool saving = session.RunMode == 1;
  const QString final_log = QString::fromUtf8(session.AnalysisLog.data(), qsizetype(session.AnalysisLog.size()));
  const int finished_mode = session.RunMode;
  run_mode_ = 0;

  if (RetryWithPassword(result, finished_mode)) return;
  if (result.outcome != PassOutcome::kCompleted) {
    if (!final_log.isEmpty()) analysis_log_ = final_log;
    ShowLog(analysis_log_);
    progress_->setValue(0);
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
      text = tr("The recovered database could not be written. Nothing was saved.");
    } else {
      text = tr("The analysis stopped before its end.");
    }
    if (!reason.isEmpty()) text += QStringLiteral("\n\n") + reason;
    ApplyState(State::kFailed);
    Ask(text, BoxButtons::kOk, BoxIcon::kWarning);
    return;
  }

  // The bar stays full beside the completion message: the work is done.
  progress_->setValue(100);
  analysis_log_ = final_log;
  recovered_tables_ = session.recovered_tables;
  losses_ = session.losses;
  status_bar_->showMessage(tr("%1 rows recovered from %2 tables")
                               .arg(QLocale().toString(session.GrandTotal))
                               .arg(session.recovered_tables.size()));
  // Stop has nothing left to stop while the completion is told.
  ApplyState(State::kCompleted);
  const QString target = QDir::toNativeSeparators(target_path_);
  const bool lossy = session.losses.AnyLoss();
  // The copy holds the rows in the clear: the user decides how to protect it.
  const QString not_encrypted =
      session.SourceEncrypted ? tr("The source is encrypted; the recovered database is not.") : QString();
  if (saving) {
    QString saved = tr("The recovered database has been saved to:\n%1").arg(target);
    if (!not_encrypted.isEmpty()) saved += QStringLiteral("\n\n") + not_encrypted;
    if (Ask(saved, BoxButtons::kOkOpenFolder, BoxIcon::kInformation) == BoxAnswer::kOpenFolder) {
      OpenWithDesktop(QFileInfo(target_path_).absolutePath());
    }
  } else if (!lossy) {
    Ask(tr(kCompletedMessage), BoxButtons::kOk, BoxIcon::kInformation);
  } else {
    // Not a success: what was lost follows at once.
    Ask(tr("The analysis is complete, but not everything in the file could be recovered."), BoxButtons::kOk,
        BoxIcon::kWarning);
  }
  if (lossy) ShowLosses(session);
  if (saving) {
    analysis_log_ += QStringLiteral("\r\n") + tr("The recovered database has been saved to:") +
                     QStringLiteral("\r\n%1\r\n").arg(target);
    if (!not_encrypted.isEmpty()) analysis_log_ += not_encrypted + QStringLiteral("\r\n");
  } else {
    analysis_log_ += tr(kCompletedLogTail);
  }
  if (lossy) {
    analysis_log_ += tr("\r\nWhat could not be recovered:\r\n");
    for (const std::string& line : session.losses.SummaryLines()) {
      analysis_log_ += QString::fromStdString(line) + QStringLiteral("\r\n");
    }
  }
  ShowLog(analysis_log_);
}

bool MainDialog::RetryWithPassword(const PassResult& result, int run_mode) {
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
// alone would read as a full recovery.
void MainDialog::ShowLosses(const RecoverySession& session) {
  constexpr size_t kListed = 8;
  const std::vector<std::string> summary = session.losses.SummaryLines();
  const std::vector<std::string>& details = session.losses.lines();
  const size_t count = session.losses.count();
  QString text = count == 1 ? tr("One part of the database could not be recovered:\n")
                            : tr("%1 parts of the database could not be recovered:\n").arg(count);
  for (const std::string& line : summary) text += QStringLiteral("\n") + QString::fromStdString(line);
  if (!details.empty()) text += QStringLiteral("\n");
  for (size_t i = 0; i < details.size() && i < kListed; ++i) {
    text += QStringLiteral("\n") + QString::fromStdString(details[i]);
  }
  if (count > kListed) {
    text += tr("\n... and %1 more. The summary is also at the end of the log.").arg(count - kListed);
  }
  Ask(text, BoxButtons::kOk, BoxIcon::kWarning);
}

void MainDialog::OnStop() {
  if (!worker_ || worker_->IsFinished() || state_ == State::kAbandoned) return;
  worker_->Pause();
  const State before = state_;
  ApplyState(State::kPaused);
  ++open_questions_;
  const BoxAnswer answer = Ask(tr(kStopQuestion), BoxButtons::kYesNo, BoxIcon::kQuestion, true);
  --open_questions_;
  if (!worker_ || state_ != State::kPaused) return;  // the dialog moved on meanwhile
  if (answer == BoxAnswer::kYes) {
    // The run is abandoned where it stood: the pass is cancelled at its safe
    // point, and whatever it still reports is ignored.
    worker_->Cancel();
    finish_pending_ = false;
    // The log so far stays, with the word that it ends here and where.
    if (!reading_table_.isEmpty()) {
      analysis_log_ += tr("\r\nStopped while reading %1, after %2 rows.\r\n")
                           .arg(reading_table_, QLocale().toString(reading_rows_));
    }
    analysis_log_ += worker_->session().IsSaving() ? tr("\r\nThe save was cancelled. Nothing was saved.\r\n")
                                                   : tr("\r\nThe analysis was cancelled. Nothing was saved.\r\n");
    ShowLog(analysis_log_);
    status_bar_->showMessage(tr("Cancelled"));
    ApplyState(State::kAbandoned);
    return;
  }
  worker_->Resume();
  ApplyState(before == State::kPaused ? State::kRunning : before);
  if (finish_pending_) FinishRun();
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
  losses_.Clear();
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
  const QString chosen =
      services_.files->SaveFileName(this, tr(kSaveTitle), SuggestedTargetPath(source_path_), tr(kSaveFilter));
  if (chosen.isEmpty()) return;
  if (SameFile(chosen, source_path_)) {
    Ask(tr("The recovered database cannot be written over the file being repaired.\n"
           "Choose another name."),
        BoxButtons::kOk, BoxIcon::kWarning);
    return;
  }
  bool replace = false;
  if (QFileInfo::exists(chosen)) {
    const BoxAnswer answer =
        Ask(tr("The file \"%1\" already exists.\nDo you want to replace it?")
                .arg(QDir::toNativeSeparators(chosen)),
            BoxButtons::kYesNo, BoxIcon::kQuestion);
    if (answer != BoxAnswer::kYes) return;
    replace = true;
  }
  RetireWorker();
  target_path_ = QFileInfo(chosen).absoluteFilePath();
  replace_existing_ = replace;
  run_mode_ = 1;
  // The save run writes a log of its own from the start.
  analysis_log_.clear();
  log_box_->clear();
  StartRun();
}

void MainDialog::OnExit() {
  if (Ask(tr(kExitQuestion), BoxButtons::kYesNo, BoxIcon::kQuestion) == BoxAnswer::kYes) reject();
}

QStringList MainDialog::HelpCandidates() const {
  const QString name = QString::fromLatin1(kHelpFileName);
  QStringList candidates;
  // Where the installation puts it, then beside the program (a build
  // folder), then the folder the program was started in.
  for (const QString& folder : {QString::fromUtf8(kDocDirectory), QCoreApplication::applicationDirPath(),
                                start_directory_}) {
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
                        recovered_tables_, losses_, this);
  preview.exec();
}

}  // namespace mendora
