// The commands of the recovery workflow: Browse, Next, Stop, Back, Save,
// Exit, Help and About, and what happens when a pass ends.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

#include "app/about_dialog.h"
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

void MainDialog::OnBrowse() {
  password_.reset();
  path_box_->clear();
  log_box_->clear();
  const QString chosen = services_.files == nullptr
                             ? QString()
                             : services_.files->OpenFileName(this, QString::fromLatin1(kOpenTitle),
                                                             QString::fromLatin1(kOpenFilter));
  if (chosen.isEmpty()) return;

  QFile file(chosen);
  if (!file.open(QIODevice::ReadOnly)) {
    // Nothing that cannot be read is kept: Next must not start on it.
    source_path_.clear();
    Ask(QStringLiteral("Unable to open the file \"%1\".\n%2").arg(QDir::toNativeSeparators(chosen), file.errorString()),
        BoxButtons::kOk, BoxIcon::kWarning);
    ApplyState(State::kSelecting);
    return;
  }
  source_path_ = QDir::toNativeSeparators(QFileInfo(chosen).absoluteFilePath());
  path_box_->setText(source_path_);
  target_path_ = source_path_;
  source_file_length_ = file.size();
  source_file_length_text_ = QString::number(source_file_length_);
  file.close();
  update();
  ApplyState(State::kReady);
}

void MainDialog::OnNext() {
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
  if (run_mode_ == 1) {
    session->TargetPath = LocalPath(target_path_);
    session->ReplaceExisting = replace_existing_;
    session->MakeTarget = services_.runner->Target();
  }
  progress_->setValue(0);
  running_path_->SetText(source_path_);
  ApplyState(State::kRunning);

  worker_ = std::make_unique<RecoveryWorker>(*services_.runner, std::move(session), next_run_++);
  connect(worker_.get(), &RecoveryWorker::LogChanged, this, &MainDialog::OnWorkerLog);
  connect(worker_.get(), &RecoveryWorker::ProgressChanged, this, &MainDialog::OnWorkerProgress);
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
    const QString reason = QString::fromStdString(result.message);
    QString text;
    if (result.outcome == PassOutcome::kNotOpened || result.outcome == PassOutcome::kNotADatabase) {
      text = QStringLiteral("The file could not be read as an Access database.");
    } else if (result.outcome == PassOutcome::kUnsupportedEncryption) {
      text = tr("The file is encrypted in a way Mendora cannot decrypt. Nothing was read.");
    } else if (result.outcome == PassOutcome::kNothingRecovered) {
      text = QStringLiteral("Nothing could be recovered from the file. Nothing was saved.");
    } else if (saving) {
      text = QStringLiteral("The recovered database could not be written. Nothing was saved.");
    } else {
      text = QStringLiteral("The analysis stopped before its end.");
    }
    if (!reason.isEmpty()) text += QStringLiteral("\n\n") + reason;
    ApplyState(State::kFailed);
    Ask(text, BoxButtons::kOk, BoxIcon::kWarning);
    return;
  }

  progress_->setValue(100);
  analysis_log_ = final_log;
  const QString target = QDir::toNativeSeparators(target_path_);
  const bool lossy = session.losses.AnyLoss();
  // The copy holds the rows in the clear: the user decides how to protect it.
  const QString not_encrypted =
      session.SourceEncrypted ? tr("The source is encrypted; the recovered database is not.") : QString();
  if (saving) {
    QString saved = QStringLiteral("The recovered database has been saved to:\n%1").arg(target);
    if (!not_encrypted.isEmpty()) saved += QStringLiteral("\n\n") + not_encrypted;
    Ask(saved, BoxButtons::kOk, BoxIcon::kInformation);
  } else if (!lossy) {
    Ask(QString::fromLatin1(kCompletedMessage), BoxButtons::kOk, BoxIcon::kQuestion);
  } else {
    // Not a success: what was lost follows at once.
    Ask(tr("The analysis is complete, but not everything in the file could be recovered."), BoxButtons::kOk,
        BoxIcon::kWarning);
  }
  if (lossy) ShowLosses(session);
  progress_->setValue(0);
  if (saving) {
    analysis_log_ += QStringLiteral("\r\nThe recovered database has been saved to:\r\n%1\r\n").arg(target);
    if (!not_encrypted.isEmpty()) analysis_log_ += not_encrypted + QStringLiteral("\r\n");
  } else {
    analysis_log_ += QString::fromLatin1(kCompletedLogTail);
  }
  if (lossy) {
    analysis_log_ += tr("\r\nWhat could not be recovered:\r\n");
    for (const std::string& line : session.losses.SummaryLines()) {
      analysis_log_ += QString::fromStdString(line) + QStringLiteral("\r\n");
    }
  }
  ShowLog(analysis_log_);
  ApplyState(State::kCompleted);
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
  const BoxAnswer answer = Ask(QString::fromLatin1(kStopQuestion), BoxButtons::kYesNo, BoxIcon::kQuestion, true);
  --open_questions_;
  if (!worker_ || state_ != State::kPaused) return;  // the dialog moved on meanwhile
  if (answer == BoxAnswer::kYes) {
    // The run is abandoned where it stood: the pass is cancelled at its safe
    // point, and whatever it still reports is ignored.
    worker_->Cancel();
    finish_pending_ = false;
    ApplyState(State::kAbandoned);
    return;
  }
  worker_->Resume();
  ApplyState(before == State::kPaused ? State::kRunning : before);
  if (finish_pending_) FinishRun();
}

void MainDialog::OnBack() {
  ++open_questions_;
  const BoxAnswer answer = Ask(QString::fromLatin1(kBackQuestion), BoxButtons::kYesNo, BoxIcon::kQuestion, true);
  --open_questions_;
  if (answer != BoxAnswer::kYes) {
    if (finish_pending_ && open_questions_ == 0) FinishRun();
    return;
  }
  RetireWorker();
  finish_pending_ = false;
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
  const QString chosen = services_.files->SaveFileName(this, QString::fromLatin1(kSaveTitle),
                                                       SuggestedTargetPath(source_path_),
                                                       QString::fromLatin1(kSaveFilter));
  if (chosen.isEmpty()) return;
  if (SameFile(chosen, source_path_)) {
    Ask(QStringLiteral("The recovered database cannot be written over the file being repaired.\n"
                       "Choose another name."),
        BoxButtons::kOk, BoxIcon::kWarning);
    return;
  }
  bool replace = false;
  if (QFileInfo::exists(chosen)) {
    const BoxAnswer answer =
        Ask(QStringLiteral("The file \"%1\" already exists.\nDo you want to replace it?")
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
  if (Ask(QString::fromLatin1(kExitQuestion), BoxButtons::kYesNo, BoxIcon::kQuestion) == BoxAnswer::kYes) reject();
}

void MainDialog::OnHelp() {
  const QString path = QDir(start_directory_).filePath(QString::fromLatin1(kHelpFileName));
  if (!QFileInfo::exists(path)) {
    Ask(QString::fromLatin1(kNoHelpMessage), BoxButtons::kOk, BoxIcon::kInformation);
    return;
  }
  if (services_.opener != nullptr) services_.opener->Open(path);
}

void MainDialog::OnAbout() {
  AboutDialog about(services_, this);
  about.exec();
}

}  // namespace mendora
