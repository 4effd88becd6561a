// The workflow over the recovery library's own pass, on a real sample: the
// exact analysis log and completion, real progress, a save that leaves a
// SQLite database with the sample's tables, and a cancelled save that leaves
// nothing. Skipped when the sample folder is absent.
#include <sqlite3.h>

#include <QDir>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <set>

#include "app/control_ids.h"
#include <QAction>
#include "app/main_dialog.h"
#include "app/save_formats.h"
#include "reader/jet_handle.h"
#include "recovery/file_check.h"
#include "recovery/recovery_steps.h"
#include "test_support.h"
#include "tests/support/corpus.h"

using namespace mendora;
using namespace mendora::testing;
using State = MainDialog::State;

namespace {

constexpr int kRunTimeoutMs = 120000;  // sanitizer builds are slow

QString Sample(const char* name) {
  const auto dir = CorpusDir();
  if (!dir) return {};
  const QString path = QDir::cleanPath(QString::fromStdString((*dir / name).string()));
  return QFileInfo::exists(path) ? path : QString();
}

// Holds a save pass after its first table until the run is cancelled.
class HoldingRunner : public RecoveryRunner {
 public:
  PassResult Run(RecoverySession& session) override {
    if (session.options.mode != RunMode::kSave) return real_.Run(session);
    Hold hold(session.options.observer, session.control, held);
    session.options.observer = &hold;
    PassResult result = real_.Run(session);
    finished = true;
    return result;
  }
  TargetFactory Target(SaveFormatId format) override { return real_.Target(format); }

  std::atomic<bool> held{false};
  std::atomic<bool> finished{false};

 private:
  class Hold : public RecoveryObserver {
   public:
    Hold(RecoveryObserver* inner, PassControl& control, std::atomic<bool>& held)
        : inner_(inner), control_(control), held_(held) {}
    void OnAnalysisLog(const std::string& log) override {
      inner_->OnAnalysisLog(log);
      held_ = true;
      while (!control_.IsCancelled()) QThread::msleep(2);
    }
    void OnAnalysisEvent(const AnalysisEvent& event) override { inner_->OnAnalysisEvent(event); }
    void OnProgress(uint32_t done, uint32_t total) override { inner_->OnProgress(done, total); }

   private:
    RecoveryObserver* inner_;
    PassControl& control_;
    std::atomic<bool>& held_;
  };
  LibraryRecoveryRunner real_;
};

struct Fixture {
  FakeBoxes boxes;
  FakeFiles files;
  FakeOpener opener;
  FakeMailSystem mail;
  std::unique_ptr<MainDialog> dialog;

  explicit Fixture(RecoveryRunner& runner, const QString& source) {
    dialog = std::make_unique<MainDialog>(AppServices{&boxes, &files, &opener, &mail, &runner});
    dialog->show();
    files.open_answer = source;
    Click(kIdBrowse);
  }
  void Click(int id) { QTest::mouseClick(qobject_cast<QPushButton*>(dialog->Control(id)), Qt::LeftButton); }
  QProgressBar* Bar() const { return qobject_cast<QProgressBar*>(dialog->Control(kIdProgress)); }
  QString LogText() const { return qobject_cast<QPlainTextEdit*>(dialog->Control(kIdLogBox))->toPlainText(); }
  bool WaitForState(State s) {
    return QTest::qWaitFor([&] { return dialog->state() == s; }, kRunTimeoutMs);
  }
};

std::set<std::string> TableNames(const QString& path, std::string* orders_count) {
  std::set<std::string> names;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return names;
  }
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite_%'", -1, &st,
                     nullptr);
  while (st != nullptr && sqlite3_step(st) == SQLITE_ROW) {
    names.insert(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
  }
  sqlite3_finalize(st);
  if (orders_count != nullptr && sqlite3_prepare_v2(db, "SELECT count(*) FROM \"Orders\"", -1, &st, nullptr) == SQLITE_OK) {
    if (sqlite3_step(st) == SQLITE_ROW) *orders_count = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    sqlite3_finalize(st);
  }
  sqlite3_close(db);
  return names;
}

const std::set<std::string> kNorthwindTables = {"Categories", "Customers", "Employees", "Order Details",
                                                "Orders",     "Products",  "Shippers",  "Suppliers"};

}  // namespace

class RealPassTest : public QObject {
  Q_OBJECT

 private slots:
  void analysisOfASampleGivesTheExactLog() {
    const QString source = Sample("jet4-northwind.mdb");
    if (source.isEmpty()) QSKIP("sample databases not found (set MENDORA_CORPUS)");
    LibraryRecoveryRunner runner;
    Fixture f(runner, source);
    QCOMPARE(f.dialog->SourcePath(), source);
    QList<int> values;
    connect(f.Bar(), &QProgressBar::valueChanged, [&](int v) { values << v; });
    int progress_at_message = -1;
    f.boxes.on_show = [&](const BoxRequest&) { progress_at_message = f.Bar()->value(); };
    f.Click(kIdNext);
    QVERIFY(f.WaitForState(State::kCompleted));

    const QString rule107(107, QLatin1Char('-'));
    const QString rule50(50, QLatin1Char('-'));
    const QString expected =
        QStringLiteral("Mendora - Analysis process started...\r\n") + rule107 + QStringLiteral("\r\n") +
        QStringLiteral("\r\nFile to be repaired :") + source + QStringLiteral("  File Size  : 3424256  Bytes\r\n") +
        rule107 + QStringLiteral("\r\n") + QStringLiteral("\r\nAnalyzing the source file...\r\n\r\n") + rule50 +
        QStringLiteral("\r\n") + QStringLiteral("\r\nTotal Number of Records :\r\n3202\r\n") +
        QStringLiteral(
            "\r\nCategories :  8  Records"
            "\r\nCustomers :  91  Records"
            "\r\nEmployees :  9  Records"
            "\r\nOrder Details :  2155  Records"
            "\r\nOrders :  830  Records"
            "\r\nProducts :  77  Records"
            "\r\nShippers :  3  Records"
            "\r\nSuppliers :  29  Records") +
        QStringLiteral("\r\n\r\nForms: 0, Reports: 2, Macros: 0, Modules: 1, the source of 1 recovered") +
        QStringLiteral("\r\n\r\n") +
        QStringLiteral("\r\nThe analysis process is complete.\r\nClick Save to save the recovered data.\r\n");
    QCOMPARE(f.dialog->AnalysisLog(), expected);
    QString shown = expected;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QCOMPARE(f.LogText(), shown);

    QCOMPARE(f.boxes.Texts(), QStringList{QStringLiteral("Analysis Completed Successfully\r\n")});
    QCOMPARE(f.boxes.seen[0].icon, BoxIcon::kInformation);
    // Real progress while the pass walked, full when it ended and after.
    QVERIFY2(std::any_of(values.begin(), values.end(), [](int v) { return v > 0 && v < 100; }),
             qPrintable(QStringLiteral("progress seen: %1").arg(values.size())));
    QCOMPARE(progress_at_message, 100);
    QCOMPARE(f.Bar()->value(), 100);
    QVERIFY(f.dialog->Control(kIdSave)->isEnabled());
  }

  void saveLeavesASqliteDatabaseWithTheSampleTables() {
    const QString source = Sample("jet4-northwind.mdb");
    if (source.isEmpty()) QSKIP("sample databases not found (set MENDORA_CORPUS)");
    QTemporaryDir out;
    LibraryRecoveryRunner runner;
    Fixture f(runner, source);
    f.Click(kIdNext);
    QVERIFY(f.WaitForState(State::kCompleted));
    const QString target = out.filePath(QStringLiteral("northwind_recovered.sqlite"));
    f.files.save_answer = target;
    f.boxes.seen.clear();
    f.Click(kIdSave);
    QVERIFY(f.WaitForState(State::kCompleted));
    QCOMPARE(f.boxes.Texts(), QStringList{QStringLiteral("The recovered database has been saved to:\n") + target +
                                          QStringLiteral("\n\nThe report of what was recovered and lost is beside it:\n") +
                                          out.filePath(QStringLiteral("northwind_recovered-report.html"))});
    QVERIFY(QFile::exists(target));
    std::string orders;
    const std::set<std::string> names = TableNames(target, &orders);
    for (const std::string& t : kNorthwindTables) QVERIFY2(names.count(t) == 1, t.c_str());
    QCOMPARE(orders, std::string("830"));
    QVERIFY(f.dialog->AnalysisLog().contains(QStringLiteral("Orders :  830  Records")));
    QVERIFY(!f.dialog->AnalysisLog().contains(QStringLiteral("Click Save")));
  }

  // Save writes every format it offers, named for the format, and says
  // where: the SQL script for SQLite loads into SQLite with every row.
  void everySaveFormatWritesTheRecoveredTables() {
    const QString source = Sample("jet4-northwind.mdb");
    if (source.isEmpty()) QSKIP("sample databases not found (set MENDORA_CORPUS)");
    LibraryRecoveryRunner runner;
    Fixture f(runner, source);
    f.Click(kIdNext);
    QVERIFY(f.WaitForState(State::kCompleted));
    QTemporaryDir out;
    for (const SaveOption& format : SaveOptions()) {
      const QString name = QString::fromLatin1(format.name);
      f.files.save_answer = out.filePath(QStringLiteral("northwind-%1").arg(int(format.id)));
      f.files.save_answer_filter = SaveFilter(format);
      f.boxes.seen.clear();
      f.Click(kIdSave);
      QVERIFY2(f.WaitForState(State::kCompleted), qPrintable(name));
      const QString written = f.files.save_answer + QString::fromLatin1(format.suffix);
      QCOMPARE(f.dialog->TargetPath(), written);
      QCOMPARE(f.boxes.seen.size(), size_t(1));
      QVERIFY2(f.boxes.seen[0].text.contains(QStringLiteral(":\n") + written + QStringLiteral("\n")),
               qPrintable(f.boxes.seen[0].text));
      // The report beside it, named after it, says where it was saved.
      QFile report(f.files.save_answer + QStringLiteral("-report.html"));
      QVERIFY2(report.open(QIODevice::ReadOnly), qPrintable(report.fileName()));
      const QString page = QString::fromUtf8(report.readAll());
      QVERIFY(f.boxes.seen[0].text.contains(report.fileName()));
      QVERIFY(page.contains(written.toHtmlEscaped()));
      QVERIFY(page.contains(QStringLiteral("Order Details")));
      QFile file(written);
      switch (format.id) {
        case SaveFormatId::kAccess: {
          // An Access database that checks sound and reads back with every
          // table and row.
          JetHandlePtr saved = OpenJetHandle(written.toStdString());
          QVERIFY(saved);
          const FileCheck check = CheckFile(*saved);
          QVERIFY2(check.Clean(), check.problems.empty() ? "" : FindingText(check.problems[0]).c_str());
          RecoverySession again;
          again.options.source_path = written.toStdString();
          QVERIFY(RunRecovery(again).outcome == PassOutcome::kCompleted);
          if (again.results.analysis_log.empty()) RebuildAnalysisLog(again);
          const QString log = QString::fromStdString(again.results.analysis_log);
          for (const char* counted : {"Orders :  830  Records", "Order Details :  2155  Records",
                                      "Customers :  91  Records", "Shippers :  3  Records"}) {
            QVERIFY2(log.contains(QString::fromLatin1(counted)), qPrintable(log));
          }
          break;
        }
        case SaveFormatId::kSqlite: {
          const std::set<std::string> names = TableNames(written, nullptr);
          QVERIFY(std::includes(names.begin(), names.end(), kNorthwindTables.begin(), kNorthwindTables.end()));
          break;
        }
        case SaveFormatId::kCsv: {
          QCOMPARE(QDir(written).entryList({QStringLiteral("*.csv")}, QDir::Files).size(), 8);
          QFile shippers(QDir(written).filePath(QStringLiteral("Shippers.csv")));
          QVERIFY(shippers.open(QIODevice::ReadOnly));
          QCOMPARE(shippers.readAll().count("\r\n"), 4);
          break;
        }
        case SaveFormatId::kJsonLines:
          QVERIFY(file.open(QIODevice::ReadOnly));
          QCOMPARE(file.readAll().count('\n'), 3202);
          break;
        default: {
          QVERIFY(file.open(QIODevice::ReadOnly));
          const QByteArray script = file.readAll();
          const QByteArray quote = format.id == SaveFormatId::kSqlMySql ? "`" : "\"";
          QVERIFY2(script.contains("CREATE TABLE " + quote + "Order Details" + quote), qPrintable(name));
          if (format.id != SaveFormatId::kSqlSqlite) break;
          sqlite3* db = nullptr;
          QCOMPARE(sqlite3_open(":memory:", &db), SQLITE_OK);
          QCOMPARE(sqlite3_exec(db, script.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
          sqlite3_stmt* st = nullptr;
          sqlite3_prepare_v2(db, "SELECT count(*) FROM \"Order Details\"", -1, &st, nullptr);
          QCOMPARE(sqlite3_step(st), SQLITE_ROW);
          QCOMPARE(sqlite3_column_int(st, 0), 2155);
          sqlite3_finalize(st);
          sqlite3_close(db);
        }
      }
    }
    // The save dialog offers the format saved last first.
    f.files.save_answer.clear();
    f.Click(kIdSave);
    QCOMPARE(f.files.save_selected, SaveFilter(SaveOptions().back()));
    // Save report writes the last pass's report as text where asked, and
    // never over the source.
    QVERIFY(f.dialog->MenuAction(kIdFileSaveReport)->isEnabled());
    f.files.save_answer = source;
    f.boxes.seen.clear();
    f.dialog->MenuAction(kIdFileSaveReport)->trigger();
    QCOMPARE(f.boxes.seen.size(), size_t(1));
    QCOMPARE(f.boxes.seen[0].icon, BoxIcon::kWarning);
    f.files.save_answer = out.filePath(QStringLiteral("account"));
    f.files.save_answer_filter = MainDialog::tr("Text (*.txt)");
    f.dialog->MenuAction(kIdFileSaveReport)->trigger();
    QFile text(out.filePath(QStringLiteral("account.txt")));
    QVERIFY(text.open(QIODevice::ReadOnly));
    const QByteArray account = text.readAll();
    QVERIFY(account.contains("Order Details"));
    QVERIFY(!account.contains("<html"));
  }

  void cancelledSaveLeavesNoFile() {
    const QString source = Sample("jet4-northwind.mdb");
    if (source.isEmpty()) QSKIP("sample databases not found (set MENDORA_CORPUS)");
    // Back, then the window's Esc: either way the save held mid-way ends
    // without a file, finished or unfinished, at the target or beside it.
    for (const bool by_escape : {false, true}) {
      QTemporaryDir out;
      HoldingRunner runner;
      Fixture f(runner, source);
      f.Click(kIdNext);
      QVERIFY(f.WaitForState(State::kCompleted));
      f.files.save_answer = out.filePath(QStringLiteral("cancelled.sqlite"));
      f.Click(kIdSave);
      QVERIFY(QTest::qWaitFor([&] { return runner.held.load(); }, kRunTimeoutMs));
      if (by_escape) {
        f.boxes.answers = {BoxAnswer::kYes};  // stop the save and close
        QTest::keyClick(f.dialog.get(), Qt::Key_Escape);
        f.dialog.reset();
        QVERIFY(runner.finished.load());
      } else {
        f.boxes.answers = {BoxAnswer::kYes};
        f.Click(kIdBack);
        QCOMPARE(f.dialog->state(), State::kReturned);
        QVERIFY(QTest::qWaitFor([&] { return runner.finished.load(); }, kRunTimeoutMs));
      }
      QCOMPARE(QDir(out.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    }
  }

  void programWithoutDisplayPointsToTheCommandLineTool() {
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) env.remove(QString::fromLatin1(name));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(MENDORA_APP_BINARY), {});
    QVERIFY(program.waitForFinished(30000));
    QVERIFY(program.exitCode() != 0);
    QCOMPARE(QString::fromUtf8(program.readAllStandardError()).trimmed(),
             QStringLiteral("No display found: Mendora needs a desktop session. Use mendora-cli to recover a "
                            "database from the terminal."));
  }
};

QTEST_MAIN(RealPassTest)
#include "tst_real_pass.moc"
