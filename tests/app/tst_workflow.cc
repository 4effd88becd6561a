// The recovery workflow with a pass the test drives step by step: Next,
// the log and progress while it runs, completion, Stop, Back, Save, failures,
// and leaving during a run.
#include <QAction>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QStatusBar>
#include <QTest>

#include "app/control_ids.h"
#include "app/main_dialog.h"
#include "app/save_formats.h"
#include "controls/transparent_static.h"
#include "test_support.h"

using namespace mendora;
using namespace mendora::testing;
using State = MainDialog::State;

namespace {

QString Shown(const QString& log) {
  QString s = log;
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return s;
}

struct Fixture {
  QTemporaryDir dir;
  QString source;
  FakeBoxes boxes;
  FakeFiles files;
  FakeOpener opener;
  FakeMailSystem mail;
  ScriptedRunner runner;
  FakePasswords passwords;
  std::unique_ptr<MainDialog> dialog;

  explicit Fixture(bool gated = true, int steps = 3) {
    runner.gated = gated;
    runner.steps = steps;
    source = dir.filePath(QStringLiteral("Sales.mdb"));
    QFile f(source);
    if (f.open(QIODevice::WriteOnly)) f.write(QByteArray(2048, '\0'));
    f.close();
    dialog = std::make_unique<MainDialog>(AppServices{&boxes, &files, &opener, &mail, &runner, &passwords});
    dialog->show();
    files.open_answer = source;
    Click(kIdBrowse);
  }
  ~Fixture() {
    runner.gate.release(100);  // never leave a pass waiting on the test
    dialog.reset();
  }

  void Click(int id) { QTest::mouseClick(qobject_cast<QPushButton*>(dialog->Control(id)), Qt::LeftButton); }
  bool Enabled(int id) const { return dialog->Control(id)->isEnabled(); }
  bool Visible(int id) const { return dialog->Control(id)->isVisible(); }
  QString LogText() const { return qobject_cast<QPlainTextEdit*>(dialog->Control(kIdLogBox))->toPlainText(); }
  int Progress() const { return qobject_cast<QProgressBar*>(dialog->Control(kIdProgress))->value(); }
  void Step(int n = 1) { runner.gate.release(n); }
  bool WaitForLog(int step) {
    return QTest::qWaitFor([&] { return LogText() == Shown(ScriptedRunner::LogAfter(step)); }, 5000);
  }
  bool WaitForState(State s) {
    return QTest::qWaitFor([&] { return dialog->state() == s; }, 5000);
  }
};

}  // namespace

class WorkflowTest : public QObject {
  Q_OBJECT

 private slots:
  void nextShowsTheRunGroupAndStartsAnAnalysis() {
    Fixture f;
    f.Click(kIdNext);
    QCOMPARE(f.dialog->state(), State::kRunning);
    for (int id : {kIdLogBox, kIdRunningPath, kIdSourceLabel, kIdPathFrame, kIdProgressFrame, kIdProgress}) {
      QVERIFY2(f.Visible(id), qPrintable(QString::number(id)));
    }
    for (int id : {kIdSelectFrame, kIdPathBox, kIdBrowse}) QVERIFY(!f.Visible(id));
    QVERIFY(!f.Enabled(kIdNext));
    QVERIFY(f.Enabled(kIdStop));
    QVERIFY(!f.Enabled(kIdSave));
    QVERIFY(f.Enabled(kIdBack));
    QVERIFY(!f.dialog->MenuAction(kIdFileOpen)->isEnabled());
    QVERIFY(!f.dialog->MenuAction(kIdFileRecovery)->isEnabled());
    QCOMPARE(qobject_cast<QLabel*>(f.dialog->Control(kIdRunningPath))->text(), f.source);
    QTRY_COMPARE(f.runner.SessionCount(), size_t(1));
    const SessionRecord s = f.runner.LastSession();
    QCOMPARE(s.run_mode, RunMode::kAnalysis);
    QCOMPARE(QString::fromStdString(s.source_path), f.source);
    QCOMPARE(s.source_length_text, std::string("2048"));
    QVERIFY(s.target_path.empty());
    QVERIFY(!s.has_target_factory);
  }

  void logAndProgressFollowThePass() {
    Fixture f(true, 4);
    f.Click(kIdNext);
    f.Step();
    QVERIFY(f.WaitForLog(1));
    QTRY_COMPARE(f.Progress(), 25);
    QCOMPARE(f.dialog->AnalysisLog(), ScriptedRunner::LogAfter(1));
    f.Step(2);
    QVERIFY(f.WaitForLog(3));
    QTRY_COMPARE(f.Progress(), 75);
    QCOMPARE(f.dialog->state(), State::kRunning);
    QVERIFY(f.boxes.seen.empty());
  }

  void statusBarNamesTheTableBeingReadAndTheRowsSoFar() {
    Fixture f;
    f.Click(kIdNext);
    f.Step();
    QVERIFY(f.WaitForLog(1));
    QTRY_COMPARE(f.dialog->statusBar()->currentMessage(), QStringLiteral("Reading Table1: 10 rows, 100 rows in all"));
    f.Step();
    QTRY_COMPARE(f.dialog->statusBar()->currentMessage(), QStringLiteral("Reading Table2: 20 rows, 200 rows in all"));
    f.Step();
    QVERIFY(f.WaitForState(State::kCompleted));
    QVERIFY(f.dialog->statusBar()->currentMessage().startsWith(QStringLiteral("0 rows recovered")));
  }

  void recoverDeletedRowsIsAskedOfEveryPassOnceChosen() {
    Fixture f(false);
    QAction* deleted = f.dialog->MenuAction(kIdFileDeletedRows);
    deleted->trigger();
    QVERIFY(deleted->isChecked());
    f.Click(kIdNext);
    QVERIFY(f.WaitForState(State::kCompleted));
    QVERIFY(f.runner.LastSession().deleted_rows);
    f.files.save_answer = f.dir.filePath(QStringLiteral("d.sqlite"));
    f.Click(kIdSave);
    QVERIFY(f.WaitForState(State::kCompleted));
    QCOMPARE(f.runner.LastSession().run_mode, RunMode::kSave);
    QVERIFY(f.runner.LastSession().deleted_rows);
    deleted->trigger();
    f.boxes.answers = {BoxAnswer::kYes};
    f.Click(kIdBack);
    f.Click(kIdBrowse);
    f.Click(kIdNext);
    QVERIFY(f.WaitForState(State::kCompleted));
    QVERIFY(!f.runner.LastSession().deleted_rows);
  }

  void aRunToItsEnd() {
    Fixture f;
    int progress_while_told = -1;
    bool stop_while_told = true;
    f.boxes.on_show = [&](const BoxRequest&) {
      progress_while_told = f.Progress();
      stop_while_told = f.Enabled(kIdStop);
    };
    f.Click(kIdNext);
    f.Step(3);
    QVERIFY(f.WaitForState(State::kCompleted));
    QCOMPARE(f.boxes.seen.size(), size_t(1));
    QCOMPARE(f.boxes.seen[0].text, QStringLiteral("Analysis Completed Successfully\r\n"));
    QCOMPARE(f.boxes.seen[0].buttons, BoxButtons::kOk);
    QCOMPARE(f.boxes.seen[0].icon, BoxIcon::kInformation);  // a notice, not a question
    QCOMPARE(progress_while_told, 100);
    QVERIFY(!stop_while_told);
    QCOMPARE(f.Progress(), 100);  // the work is done: the bar stays full
    const QString expected =
        ScriptedRunner::LogAfter(3) + QStringLiteral("\r\nThe analysis process is complete.\r\nClick Save to save the recovered data.\r\n");
    QCOMPARE(f.dialog->AnalysisLog(), expected);
    QCOMPARE(f.LogText(), Shown(expected));
    QVERIFY(!f.Enabled(kIdStop));
    QVERIFY(f.Enabled(kIdSave));
    QVERIFY(f.Enabled(kIdBack));
    QVERIFY(!f.Enabled(kIdNext));
  }

  void stopAnsweredNoPausesThenGoesOn() {
    Fixture f;
    f.Click(kIdNext);
    f.Step();
    QVERIFY(f.WaitForLog(1));
    State state_while_asked = State::kSelecting;
    int steps_while_asked = -1;
    f.boxes.answers = {BoxAnswer::kNo};
    f.boxes.on_show = [&](const BoxRequest& r) {
      if (r.text != QLatin1String(kStopQuestion)) return;
      state_while_asked = f.dialog->state();
      // The pass may go on only to its next safe point while the question is open.
      f.Step();
      QTest::qWait(200);
      steps_while_asked = f.runner.steps_done.load();
    };
    f.Click(kIdStop);
    QCOMPARE(f.boxes.seen[0].text, QStringLiteral("Do you want to stop the current process?"));
    QCOMPARE(f.boxes.seen[0].buttons, BoxButtons::kYesNo);
    QCOMPARE(f.boxes.seen[0].icon, BoxIcon::kQuestion);
    QVERIFY(f.boxes.seen[0].interrupts_run);
    QCOMPARE(state_while_asked, State::kPaused);
    QCOMPARE(steps_while_asked, 1);
    QVERIFY(f.WaitForLog(2));  // resumed where it stood
    f.boxes.on_show = nullptr;
    f.Step();
    QVERIFY(f.WaitForState(State::kCompleted));
    QVERIFY(f.Enabled(kIdSave));
  }

  void stopAnsweredYesAbandonsTheRun() {
    Fixture f;
    f.Click(kIdNext);
    f.Step();
    QVERIFY(f.WaitForLog(1));
    QTRY_VERIFY(f.dialog->statusBar()->currentMessage().startsWith(QStringLiteral("Reading Table1")));
    f.boxes.answers = {BoxAnswer::kYes};
    f.Click(kIdStop);
    QCOMPARE(f.dialog->state(), State::kAbandoned);
    f.Step(5);
    QTRY_COMPARE(f.runner.cancelled_runs.load(), 1);
    QTest::qWait(100);
    // Nothing more happens: no log, no completion, no change of controls;
    // the log says that the run ended there.
    QCOMPARE(f.runner.steps_done.load(), 1);
    QCOMPARE(f.LogText(), Shown(ScriptedRunner::LogAfter(1) +
                                QStringLiteral("\r\nStopped while reading Table1, after 10 rows.\r\n"
                                               "\r\nThe analysis was cancelled. Nothing was saved.\r\n")));
    QCOMPARE(f.dialog->statusBar()->currentMessage(), QStringLiteral("Cancelled"));
    QCOMPARE(f.boxes.seen.size(), size_t(1));
    QVERIFY(!f.Enabled(kIdStop));
    QVERIFY(!f.Enabled(kIdSave));
    QVERIFY(f.Enabled(kIdBack));
    QVERIFY(f.Visible(kIdLogBox));
    // Stop has nothing left to stop.
    f.Click(kIdStop);
    QCOMPARE(f.boxes.seen.size(), size_t(1));
  }

  void passEndingWhileStopIsAskedWaitsForTheAnswer() {
    Fixture f(true, 1);
    f.runner.hold_at_end = true;
    f.Click(kIdNext);
    f.Step();
    QVERIFY(f.WaitForLog(1));
    size_t boxes_while_asked = 0;
    State state_while_asked = State::kSelecting;
    f.boxes.answers = {BoxAnswer::kNo};
    f.boxes.on_show = [&](const BoxRequest& r) {
      if (r.text != QLatin1String(kStopQuestion)) return;
      // The pass is past its last safe point, so it ends while the question is open.
      f.runner.end_gate.release();
      QTRY_COMPARE(f.runner.completed_runs.load(), 1);
      QTest::qWait(100);
      boxes_while_asked = f.boxes.seen.size();
      state_while_asked = f.dialog->state();
    };
    f.Click(kIdStop);
    QCOMPARE(boxes_while_asked, size_t(1));  // no completion box over the question
    QCOMPARE(state_while_asked, State::kPaused);
    QCOMPARE(f.dialog->state(), State::kCompleted);
    QCOMPARE(f.boxes.Texts(), (QStringList{QString::fromLatin1(kStopQuestion), QString::fromLatin1(kCompletedMessage)}));
  }

  void passEndingWhileBackIsAskedIsDroppedOnYes() {
    Fixture f(true, 1);
    f.runner.hold_at_end = true;
    f.Click(kIdNext);
    f.Step();
    QVERIFY(f.WaitForLog(1));
    f.boxes.answers = {BoxAnswer::kYes};
    f.boxes.on_show = [&](const BoxRequest&) {
      f.runner.end_gate.release();
      QTRY_COMPARE(f.runner.completed_runs.load(), 1);
      QTest::qWait(100);
    };
    f.Click(kIdBack);
    QTest::qWait(100);
    QCOMPARE(f.dialog->state(), State::kReturned);
    QCOMPARE(f.boxes.Texts(), QStringList{QString::fromLatin1(kBackQuestion)});
    QCOMPARE(f.LogText(), QStringLiteral(" "));
  }

  void backDuringARunCancelsItAndReturns() {
    Fixture f;
    f.Click(kIdNext);
    f.Step();
    QVERIFY(f.WaitForLog(1));
    f.boxes.answers = {BoxAnswer::kYes};
    f.Click(kIdBack);
    QCOMPARE(f.boxes.seen[0].text, QStringLiteral("Do you want to go back?"));
    QCOMPARE(f.boxes.seen[0].icon, BoxIcon::kQuestion);
    QVERIFY(f.boxes.seen[0].interrupts_run);
    QCOMPARE(f.dialog->state(), State::kReturned);
    QTRY_COMPARE(f.runner.cancelled_runs.load(), 1);
    f.Step(5);
    QTest::qWait(100);
    QCOMPARE(f.runner.steps_done.load(), 1);
    for (int id : {kIdSelectFrame, kIdPathBox, kIdBrowse}) QVERIFY(f.Visible(id));
    for (int id : {kIdLogBox, kIdProgress, kIdRunningPath}) QVERIFY(!f.Visible(id));
    QCOMPARE(f.LogText(), QStringLiteral(" "));
    QVERIFY(f.dialog->AnalysisLog().isEmpty());
    QVERIFY(qobject_cast<QLineEdit*>(f.dialog->Control(kIdPathBox))->text().isEmpty());
    QVERIFY(f.dialog->SourcePath().isEmpty());
    for (int id : {kIdNext, kIdStop, kIdSave, kIdBack}) QVERIFY(!f.Enabled(id));
    QVERIFY(f.dialog->MenuAction(kIdFileOpen)->isEnabled());
    QVERIFY(!f.dialog->MenuAction(kIdFileRecovery)->isEnabled());
    QCOMPARE(f.boxes.seen.size(), size_t(1));
  }

  void backAnsweredNoChangesNothing() {
    Fixture f;
    f.Click(kIdNext);
    f.Step();
    QVERIFY(f.WaitForLog(1));
    f.boxes.answers = {BoxAnswer::kNo};
    f.Click(kIdBack);
    QCOMPARE(f.dialog->state(), State::kRunning);
    f.Step(2);
    QVERIFY(f.WaitForState(State::kCompleted));
    QCOMPARE(f.runner.cancelled_runs.load(), 0);
  }

  void backAfterARunAndASecondRun() {
    Fixture f(false);
    f.Click(kIdNext);
    QVERIFY(f.WaitForState(State::kCompleted));
    f.boxes.answers = {BoxAnswer::kYes};
    f.Click(kIdBack);
    QCOMPARE(f.dialog->state(), State::kReturned);
    QCOMPARE(f.LogText(), QStringLiteral(" "));
    QVERIFY(!f.Enabled(kIdNext));
    // Browse leads to Ready again, and the next run starts from nothing.
    f.Click(kIdBrowse);
    QCOMPARE(f.dialog->state(), State::kReady);
    f.Click(kIdNext);
    QCOMPARE(f.Progress(), 0);
    QVERIFY(f.WaitForState(State::kCompleted));
    QCOMPARE(f.runner.SessionCount(), size_t(2));
    QCOMPARE(f.dialog->AnalysisLog().count(QStringLiteral("The analysis process is complete.")), 1);
  }

  void saveAsksForANewFileBesideTheSource() {
    Fixture f(false);
    f.Click(kIdNext);
    QVERIFY(f.WaitForState(State::kCompleted));
    f.files.save_answer.clear();  // cancelled: nothing happens
    f.Click(kIdSave);
    QCOMPARE(f.files.save_calls, 1);
    QCOMPARE(f.files.save_title, QStringLiteral("Save Recovered Database"));
    // An Access database is offered first, SQLite beside it.
    QCOMPARE(f.files.save_suggested, f.dir.filePath(QStringLiteral("Sales_recovered.mdb")));
    QVERIFY(f.files.save_filter.startsWith(QStringLiteral("Access database (*.mdb)")));
    QVERIFY(f.files.save_filter.contains(QStringLiteral("*.sqlite")));
    QCOMPARE(f.runner.SessionCount(), size_t(1));
    QCOMPARE(f.dialog->state(), State::kCompleted);

    const QString target = f.dir.filePath(QStringLiteral("Sales_recovered.sqlite"));
    f.files.save_answer = target;
    f.boxes.seen.clear();
    f.Click(kIdSave);
    QCOMPARE(f.dialog->state(), State::kRunning);
    QVERIFY(f.dialog->AnalysisLog().isEmpty());  // a fresh log for the save run
    QVERIFY(f.LogText().isEmpty());
    QVERIFY(f.WaitForState(State::kCompleted));
    const SessionRecord s = f.runner.LastSession();
    QCOMPARE(s.run_mode, RunMode::kSave);
    QCOMPARE(QString::fromStdString(s.target_path), target);
    QVERIFY(!s.replace_existing);
    QVERIFY(s.has_target_factory);
    QVERIFY(QFile::exists(target));
    QCOMPARE(f.boxes.seen.size(), size_t(1));
    QVERIFY(f.boxes.seen[0].text.startsWith(QStringLiteral("The recovered database has been saved to:\n") + target +
                                            QStringLiteral("\n\nThe report")));
    QVERIFY(QFile::exists(f.dir.filePath(QStringLiteral("Sales_recovered-report.html"))));
    QCOMPARE(f.boxes.seen[0].buttons, BoxButtons::kOkOpenFolder);
    QVERIFY(f.opener.opened.isEmpty());  // OK alone opens nothing
    QVERIFY(f.dialog->AnalysisLog().startsWith(ScriptedRunner::LogAfter(3)));
    QVERIFY(f.dialog->AnalysisLog().contains(target));
    QVERIFY(!f.dialog->AnalysisLog().contains(QStringLiteral("Click Save")));
    QCOMPARE(f.dialog->CurrentRunMode(), RunMode::kAnalysis);  // back to analysis once the save ends
    QCOMPARE(f.Progress(), 100);
  }

  void openFolderAfterASaveOpensTheTargetsFolderOrSaysItCannot() {
    Fixture f(false);
    f.Click(kIdNext);
    QVERIFY(f.WaitForState(State::kCompleted));
    QTemporaryDir out;
    f.files.save_answer = QDir(out.path()).filePath(QStringLiteral("r.sqlite"));
    f.boxes.answers = {BoxAnswer::kOpenFolder};
    f.Click(kIdSave);
    QVERIFY(f.WaitForState(State::kCompleted));
    QCOMPARE(f.opener.opened, QStringList{out.path()});

    // Stopping a save says it saved nothing.
    f.opener.succeed = false;
    f.boxes.seen.clear();
    f.files.save_answer = QDir(out.path()).filePath(QStringLiteral("s.sqlite"));
    f.boxes.answers = {BoxAnswer::kOpenFolder};
    f.Click(kIdSave);
    QVERIFY(f.WaitForState(State::kCompleted));
    QCOMPARE(f.boxes.seen.size(), size_t(2));
    QVERIFY(f.boxes.seen[1].text.contains(QDir::toNativeSeparators(out.path())));
    QCOMPARE(f.boxes.seen[1].icon, BoxIcon::kWarning);
  }

  void stoppingASaveSaysNothingWasSaved() {
    Fixture f(false);
    f.Click(kIdNext);
    QVERIFY(f.WaitForState(State::kCompleted));
    f.runner.gated = true;
    f.files.save_answer = f.dir.filePath(QStringLiteral("t.sqlite"));
    f.Click(kIdSave);
    f.Step();
    QVERIFY(f.WaitForLog(1));
    f.boxes.answers = {BoxAnswer::kYes};
    f.Click(kIdStop);
    QVERIFY(f.LogText().endsWith(QStringLiteral("The save was cancelled. Nothing was saved.\n")));
    QTRY_COMPARE(f.runner.cancelled_runs.load(), 1);
    QVERIFY(!QFile::exists(f.dir.filePath(QStringLiteral("t.sqlite"))));
  }

  // The name saved to follows the format chosen in the dialog, and a file
  // and a folder are never taken for each other.
  void saveNamesFollowTheFormat_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("written");
    QTest::addColumn<bool>("refused");
    const auto id = [](SaveFormatId f) { return int(f); };
    QTest::newRow("another format's suffix swapped") << "a.sqlite" << id(SaveFormatId::kSqlPostgreSql) << "a.sql" << false;
    QTest::newRow("no suffix: the format's") << "a" << id(SaveFormatId::kJsonLines) << "a.jsonl" << false;
    QTest::newRow("a pattern of the format kept") << "a.db" << id(SaveFormatId::kSqlite) << "a.db" << false;
    QTest::newRow("the user's own suffix kept") << "a.backup" << id(SaveFormatId::kSqlite) << "a.backup" << false;
    QTest::newRow("a folder for CSV") << "a.sqlite" << id(SaveFormatId::kCsv) << "a" << false;
    QTest::newRow("a folder is no file") << "folder.sqlite" << id(SaveFormatId::kSqlite) << "folder.sqlite" << true;
    QTest::newRow("a file is no folder") << "file.txt" << id(SaveFormatId::kCsv) << "file.txt" << true;
  }
  void saveNamesFollowTheFormat() {
    QFETCH(QString, typed);
    QFETCH(int, format);
    QFETCH(QString, written);
    QFETCH(bool, refused);
    Fixture f(false);
    QVERIFY(QDir(f.dir.path()).mkdir(QStringLiteral("folder.sqlite")));
    QFile file(f.dir.filePath(QStringLiteral("file.txt")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    f.Click(kIdNext);
    QVERIFY(f.WaitForState(State::kCompleted));
    f.boxes.seen.clear();
    f.files.save_answer = f.dir.filePath(typed);
    f.files.save_answer_filter = SaveFilter(SaveOptionOf(SaveFormatId(format)));
    f.Click(kIdSave);
    if (refused) {
      QCOMPARE(f.boxes.seen.size(), size_t(1));
      QCOMPARE(f.boxes.seen[0].icon, BoxIcon::kWarning);
      QCOMPARE(f.runner.SessionCount(), size_t(1));
      return;
    }
    QVERIFY(f.WaitForState(State::kCompleted));
    QCOMPARE(f.runner.SessionCount(), size_t(2));
    QCOMPARE(QString::fromStdString(f.runner.LastSession().target_path), f.dir.filePath(written));
    QCOMPARE(f.runner.formats.back(), SaveFormatId(format));
  }

  void saveNeverWritesOverTheSource() {
    Fixture f(false);
    f.Click(kIdNext);
    QVERIFY(f.WaitForState(State::kCompleted));
    f.files.save_answer = f.source;
    f.boxes.seen.clear();
    f.Click(kIdSave);
    QCOMPARE(f.boxes.seen.size(), size_t(1));
    QCOMPARE(f.boxes.seen[0].icon, BoxIcon::kWarning);
    QCOMPARE(f.runner.SessionCount(), size_t(1));
    QCOMPARE(QFileInfo(f.source).size(), 2048);
  }

  void replacingAFileNeedsConfirmation() {
    Fixture f(false);
    f.Click(kIdNext);
    QVERIFY(f.WaitForState(State::kCompleted));
    const QString target = f.dir.filePath(QStringLiteral("old.sqlite"));
    QFile existing(target);
    QVERIFY(existing.open(QIODevice::WriteOnly));
    existing.close();
    f.files.save_answer = target;
    f.boxes.seen.clear();
    f.boxes.answers = {BoxAnswer::kNo};
    f.Click(kIdSave);
    QCOMPARE(f.boxes.seen.size(), size_t(1));
    QVERIFY(f.boxes.seen[0].text.contains(target));
    QCOMPARE(f.boxes.seen[0].buttons, BoxButtons::kYesNo);
    QCOMPARE(f.runner.SessionCount(), size_t(1));
    f.boxes.answers = {BoxAnswer::kYes};
    f.Click(kIdSave);
    QVERIFY(f.WaitForState(State::kCompleted));
    QCOMPARE(f.runner.SessionCount(), size_t(2));
    QVERIFY(f.runner.LastSession().replace_existing);
  }

  void backDuringASaveCancelsIt() {
    Fixture f(false);
    f.Click(kIdNext);
    QVERIFY(f.WaitForState(State::kCompleted));
    f.runner.gated = true;
    const QString target = f.dir.filePath(QStringLiteral("x.sqlite"));
    f.files.save_answer = target;
    f.Click(kIdSave);
    f.Step();
    QVERIFY(f.WaitForLog(1));
    f.boxes.answers = {BoxAnswer::kYes};
    f.Click(kIdBack);
    QTRY_COMPARE(f.runner.cancelled_runs.load(), 1);
    QVERIFY(!QFile::exists(target));
    QCOMPARE(f.dialog->CurrentRunMode(), RunMode::kSave);  // not yet reset: the next Next sets analysis again
    f.Click(kIdBrowse);
    f.Click(kIdNext);
    QTRY_COMPARE(f.runner.SessionCount(), size_t(3));
    QCOMPARE(f.runner.LastSession().run_mode, RunMode::kAnalysis);
  }

  void passThatCannotOpenTheFileSaysSo() {
    Fixture f(false);
    f.runner.outcome = PassOutcome::kNotOpened;
    f.runner.message = "Couldn't open file Sales.mdb";
    f.Click(kIdNext);
    QVERIFY(f.WaitForState(State::kFailed));
    QCOMPARE(f.boxes.seen.size(), size_t(1));
    QVERIFY(f.boxes.seen[0].text.contains(QStringLiteral("Couldn't open file Sales.mdb")));
    QCOMPARE(f.boxes.seen[0].icon, BoxIcon::kWarning);
    QVERIFY(!f.Enabled(kIdSave));
    QVERIFY(!f.Enabled(kIdStop));  // nothing is running any more
    QVERIFY(f.Enabled(kIdBack));
    QCOMPARE(f.Progress(), 0);
  }

  // A save that fails or is stopped says that nothing was saved and keeps
  // the analysis it started from: Save and View stay, and the log is the
  // analysis's again.
  void aSaveThatFailsOrIsStoppedKeepsTheAnalysis() {
    for (const bool stopped : {false, true}) {
      Fixture f(false);
      f.Click(kIdNext);
      QVERIFY(f.WaitForState(State::kCompleted));
      const QString analysis = f.dialog->AnalysisLog();
      const QString target = f.dir.filePath(QStringLiteral("y.sqlite"));
      f.files.save_answer = target;
      f.boxes.seen.clear();
      if (stopped) {
        f.runner.gated = true;
        f.Click(kIdSave);
        f.Step();
        QVERIFY(f.WaitForLog(1));
        f.boxes.answers = {BoxAnswer::kYes};
        f.Click(kIdStop);
        QTRY_COMPARE(f.runner.cancelled_runs.load(), 1);
      } else {
        f.runner.outcome = PassOutcome::kFailed;
        f.runner.message = "disk full";
        f.Click(kIdSave);
        QVERIFY(QTest::qWaitFor([&] { return f.runner.SessionCount() == 2 && f.boxes.seen.size() == 1; }, 5000));
        QVERIFY(f.boxes.seen[0].text.contains(QStringLiteral("Nothing was saved")));
        QVERIFY(f.boxes.seen[0].text.contains(QStringLiteral("disk full")));
        QCOMPARE(f.boxes.seen[0].icon, BoxIcon::kWarning);
      }
      QCOMPARE(f.dialog->state(), State::kCompleted);
      QVERIFY(f.Enabled(kIdSave));
      QVERIFY(f.Enabled(kIdBack));
      QVERIFY(!f.Enabled(kIdStop));
      QVERIFY2(f.dialog->AnalysisLog().startsWith(analysis), qPrintable(f.dialog->AnalysisLog()));
      QVERIFY(f.dialog->AnalysisLog().contains(QStringLiteral("Nothing was saved")));
      QVERIFY(!QFile::exists(target));
      // Saving again needs no new analysis.
      f.runner.gated = false;
      f.runner.outcome = PassOutcome::kCompleted;
      f.boxes.answers.clear();
      f.Click(kIdSave);
      QVERIFY(QTest::qWaitFor([&] { return QFile::exists(target) && f.dialog->state() == State::kCompleted; }, 5000));
      QCOMPARE(f.runner.LastSession().run_mode, RunMode::kSave);
    }
  }

  // A damaged analysis is told once, in one message with the account; the
  // save's own message only points to the log, which holds the account.
  void lossesAreToldOnceAndStayInTheLog() {
    Fixture f(false);
    f.runner.losses = {"Table Orders: record 12 was not stored: disk I/O error"};
    for (int i = 0; i < 9; ++i) f.runner.losses.push_back("Relation R" + std::to_string(i) + " was not created: x");
    f.Click(kIdNext);
    QVERIFY(f.WaitForState(State::kCompleted));
    QCOMPARE(f.boxes.seen.size(), size_t(1));
    const QString told = f.boxes.seen[0].text;
    QCOMPARE(f.boxes.seen[0].icon, BoxIcon::kWarning);
    QVERIFY(told.startsWith(QStringLiteral("The analysis is complete, but not everything")));
    QVERIFY(told.contains(QStringLiteral("10 other parts")));
    QVERIFY(told.endsWith(QStringLiteral("What was lost is also listed at the end of the log.")));
    for (const std::string& loss : f.runner.losses) {
      QVERIFY2(f.LogText().contains(QString::fromStdString(loss)), loss.c_str());
    }

    f.files.save_answer = f.dir.filePath(QStringLiteral("z.sqlite"));
    f.boxes.seen.clear();
    f.Click(kIdSave);
    QVERIFY(f.WaitForState(State::kCompleted));
    QCOMPARE(f.boxes.seen.size(), size_t(1));
    QVERIFY(f.boxes.seen[0].text.contains(QStringLiteral("has been saved to")));
    QVERIFY(f.boxes.seen[0].text.contains(QStringLiteral("listed at the end of the log")));
    QCOMPARE(f.boxes.seen[0].buttons, BoxButtons::kOkOpenFolder);
    QVERIFY(f.LogText().contains(QStringLiteral("Relation R8 was not created")));
  }

  // Esc (and the close box) during a run ask first, the run held meanwhile;
  // No lets it go on, Yes ends the program and cancels the pass.
  void escapeDuringARunAsksBeforeItEndsTheProgram() {
    Fixture f;
    f.Click(kIdNext);
    f.Step();
    QVERIFY(f.WaitForLog(1));
    State state_while_asked = State::kSelecting;
    f.boxes.on_show = [&](const BoxRequest&) { state_while_asked = f.dialog->state(); };
    f.boxes.answers = {BoxAnswer::kNo};
    QTest::keyClick(f.dialog.get(), Qt::Key_Escape);
    QVERIFY(f.dialog->isVisible());
    QCOMPARE(f.boxes.seen.size(), size_t(1));
    QVERIFY(f.boxes.seen[0].text.contains(QStringLiteral("still running")));
    QVERIFY(f.boxes.seen[0].interrupts_run);
    QCOMPARE(state_while_asked, State::kPaused);
    QCOMPARE(f.dialog->state(), State::kRunning);
    f.boxes.answers = {BoxAnswer::kYes};
    f.dialog->close();
    QVERIFY(!f.dialog->isVisible());
    f.dialog.reset();  // must not hang on the waiting pass
    QCOMPARE(f.runner.cancelled_runs.load(), 1);
    QCOMPARE(f.runner.completed_runs.load(), 0);
  }

  // An encrypted source: the password is asked for, asked again while it is
  // wrong, and handed to the next run of the same kind; the saved copy is
  // said to be unencrypted.
  void anEncryptedSourceAsksForItsPasswordUntilItOpens() {
    Fixture f(false);
    f.runner.next_outcomes = {PassOutcome::kNeedsPassword, PassOutcome::kWrongPassword};
    f.runner.source_encrypted = true;
    f.passwords.answers = {QStringLiteral("first"), QStringLiteral("sécret")};
    f.Click(kIdNext);
    QVERIFY(f.WaitForState(State::kCompleted));
    QCOMPARE(f.runner.SessionCount(), size_t(3));
    QCOMPARE(f.passwords.asked.size(), size_t(2));
    QVERIFY(!f.passwords.asked[0].wrong);
    QVERIFY(f.passwords.asked[1].wrong);
    QCOMPARE(f.passwords.asked[0].file, f.dialog->SourcePath());
    const SessionRecord last = f.runner.LastSession();
    QCOMPARE(last.run_mode, RunMode::kAnalysis);
    QCOMPARE(last.password.value_or(""), std::string("s\xC3\xA9" "cret"));  // UTF-8
    QVERIFY(!f.dialog->AnalysisLog().contains(QStringLiteral("cret")));

    // The save reuses the password; its message says the copy is plain.
    const QString target = f.dir.filePath(QStringLiteral("Sales_recovered.sqlite"));
    f.files.save_answer = target;
    f.boxes.seen.clear();
    f.Click(kIdSave);
    QVERIFY(f.WaitForState(State::kCompleted));
    QCOMPARE(f.runner.LastSession().password, last.password);
    QCOMPARE(f.passwords.asked.size(), size_t(2));
    QCOMPARE(f.boxes.seen.size(), size_t(1));
    QVERIFY(f.boxes.seen[0].text.contains(QStringLiteral("the recovered data is not")));
    QVERIFY(f.dialog->AnalysisLog().contains(QStringLiteral("the recovered data is not")));

    // A new source forgets it.
    f.Click(kIdBrowse);
    f.runner.next_outcomes = {PassOutcome::kNeedsPassword};
    f.passwords.answers = {std::nullopt};
    f.Click(kIdNext);
    QVERIFY(f.WaitForState(State::kFailed));
    QVERIFY(!f.runner.LastSession().password.has_value());
  }

  void cancellingThePasswordStopsWithAMessageAndRunsNothingMore() {
    Fixture f(false);
    f.runner.next_outcomes = {PassOutcome::kNeedsPassword};
    f.Click(kIdNext);
    QVERIFY(f.WaitForState(State::kFailed));
    QCOMPARE(f.passwords.asked.size(), size_t(1));
    QCOMPARE(f.runner.SessionCount(), size_t(1));
    QCOMPARE(f.boxes.seen.size(), size_t(1));
    QVERIFY(f.boxes.seen[0].text.contains(QStringLiteral("no password was given")));
    QCOMPARE(f.Progress(), 0);
  }
};

QTEST_MAIN(WorkflowTest)
#include "tst_workflow.moc"
