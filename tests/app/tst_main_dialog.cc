// The main dialog as a window and its commands that need no recovery pass:
// start-up state, layout, menu, status bar, Browse, Exit, Help, About, the
// keyboard's ways out, and the message boxes themselves.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QFontInfo>
#include <QRegularExpression>
#include <QSet>
#include <QSettings>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/about_dialog.h"
#include "app/build_info.h"
#include "app/control_ids.h"
#include "app/main_dialog.h"
#include "app/recovery_app.h"
#include "app/skinned_surface.h"
#include "controls/link_button.h"
#include "controls/transparent_static.h"
#include "test_support.h"

using namespace mendora;
using namespace mendora::testing;

namespace {

struct Fixture {
  FakeBoxes boxes;
  FakeFiles files;
  FakeOpener opener;
  FakeMailSystem mail;
  ScriptedRunner runner;
  std::unique_ptr<MainDialog> dialog;

  Fixture() {
    dialog = std::make_unique<MainDialog>(AppServices{&boxes, &files, &opener, &mail, &runner});
    dialog->show();
  }
  QPushButton* Button(int id) const { return qobject_cast<QPushButton*>(dialog->Control(id)); }
  QLineEdit* PathBox() const { return qobject_cast<QLineEdit*>(dialog->Control(kIdPathBox)); }
  QPlainTextEdit* LogBox() const { return qobject_cast<QPlainTextEdit*>(dialog->Control(kIdLogBox)); }
  bool Shown(int id) const { return dialog->Control(id)->isVisible(); }
  bool Enabled(int id) const { return dialog->Control(id)->isEnabled(); }
  bool MenuEnabled(int id) const { return dialog->MenuAction(id)->isEnabled(); }
};

QString WriteFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
  const QString path = dir.filePath(name);
  QFile f(path);
  if (f.open(QIODevice::WriteOnly)) f.write(bytes);
  return path;
}

// Runs `check` against the modal window that opens next, then closes it.
void OnNextModal(std::function<void(QWidget*)> check) {
  QTimer::singleShot(0, [check] {
    QWidget* modal = QApplication::activeModalWidget();
    check(modal);
    if (modal != nullptr) modal->close();
  });
}

}  // namespace

class MainDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void startsInSelecting() {
    Fixture f;
    QCOMPARE(f.dialog->state(), MainDialog::State::kSelecting);
    QCOMPARE(f.dialog->windowTitle(), QStringLiteral("Mendora"));
    for (int id : {kIdPathBox, kIdBrowse, kIdSelectFrame, kIdStatusBar}) QVERIFY2(f.Shown(id), qPrintable(QString::number(id)));
    for (int id : {kIdNext, kIdStop, kIdSave, kIdBack}) {
      QVERIFY(f.Shown(id));
      QVERIFY(!f.Enabled(id));
    }
    for (int id : {kIdLogBox, kIdProgress, kIdPathFrame, kIdProgressFrame, kIdRunningPath, kIdSourceLabel}) {
      QVERIFY2(!f.Shown(id), qPrintable(QString::number(id)));
    }
    QVERIFY(f.MenuEnabled(kIdFileOpen));
    QVERIFY(!f.MenuEnabled(kIdFileRecovery));
    QVERIFY(f.MenuEnabled(kIdFileExit));
    QCOMPARE(f.dialog->StartDirectory(), QDir::currentPath());
    QVERIFY(!f.dialog->windowIcon().isNull());
  }

  // The window lays its controls out: it grows, the log grows with it, the
  // buttons stay on the footer band, the skin covers the whole window with
  // its drawn corners unstretched, and the size is kept for the next start.
  void layoutGrowsWithTheWindowAndKeepsItsSize() {
    QSettings().remove(QString::fromLatin1(kWindowGeometryKey));
    Fixture f;
    auto* surface = f.dialog->findChild<SkinnedSurface*>(QStringLiteral("mainSurface"));
    QVERIFY(surface->size().width() >= 650 && surface->size().height() >= 410);
    QCOMPARE(qobject_cast<QGroupBox*>(f.dialog->Control(kIdSelectFrame))->title(),
             QStringLiteral("Select Access Database File"));
    // The log is the program's report: not the user's to edit, its rules
    // and columns in a fixed-pitch font and never wrapped.
    QVERIFY(f.LogBox() && f.LogBox()->isReadOnly());
    // Fixed-pitch as the font database says wherever it knows such a family
    // (with or without Noto Sans Mono as "monospace"), and in its letters.
    const QStringList families = QFontDatabase::families();
    if (std::any_of(families.begin(), families.end(), [](const QString& family) { return QFontDatabase::isFixedPitch(family); })) {
      QVERIFY(QFontInfo(f.LogBox()->font()).fixedPitch());
    }
    const QFontMetrics log_metrics(f.LogBox()->font());
    QCOMPARE(log_metrics.horizontalAdvance(QLatin1Char('i')), log_metrics.horizontalAdvance(QLatin1Char('W')));
    QCOMPARE(f.LogBox()->lineWrapMode(), QPlainTextEdit::NoWrap);

    f.dialog->OnCommand(kIdBrowse);  // nothing chosen: still selecting
    f.LogBox()->show();
    const QSize log_before = f.LogBox()->size();
    const QSize larger = f.dialog->size() + QSize(400, 300);
    f.dialog->resize(larger);
    // The layout follows the resize through posted events, which a loaded machine delivers late.
    QTRY_VERIFY2(f.LogBox()->height() >= log_before.height() + 250, qPrintable(QString::number(f.LogBox()->height())));
    QTRY_VERIFY(f.LogBox()->width() >= log_before.width() + 350);
    const QRect surface_rect = surface->rect();
    for (int id : {kIdBack, kIdSave, kIdStop, kIdNext, kIdPreview, kIdStatusBar}) {
      QWidget* w = f.dialog->Control(id);
      const QRect place(w->mapTo(surface, QPoint(0, 0)), w->size());
      QVERIFY2(surface_rect.contains(place), qPrintable(QString::number(id)));
      QVERIFY2(place.top() > surface_rect.height() - 80, qPrintable(QString::number(id)));  // on the footer
    }
    const QImage skin = surface->skin().toImage();
    const QImage shown = surface->grab().toImage();
    const int dx = shown.width() - skin.width();
    struct Spot {
      QPoint shown, skin;
    };
    // The drums (top left) and the header's arcs (top right) as drawn.
    for (const Spot& spot : {Spot{{30, 30}, {30, 30}}, Spot{{90, 60}, {90, 60}}, Spot{{shown.width() - 20, 40}, {630, 40}},
                             Spot{{shown.width() - 60, 10}, {590, 10}}}) {
      QCOMPARE(shown.pixelColor(spot.shown), skin.pixelColor(spot.skin));
    }
    QVERIFY(dx > 0);
    f.dialog->close();

    Fixture again;
    QCOMPARE(again.dialog->size(), larger);
    QSettings().remove(QString::fromLatin1(kWindowGeometryKey));
  }

  void tabWalksTheControlsAndButtonsCarryMnemonics() {
    Fixture f;
    QStringList mnemonics;
    for (int id : {kIdBrowse, kIdNext, kIdStop, kIdSave, kIdBack, kIdPreview}) {
      const QString text = f.Button(id)->text();
      const int at = text.indexOf(QLatin1Char('&'));
      QVERIFY2(at >= 0 && at + 1 < text.size(), qPrintable(text));
      mnemonics << text.mid(at + 1, 1).toLower();
    }
    for (QAction* menu : f.dialog->findChild<QMenuBar*>()->actions()) {
      const QString text = menu->text();
      QVERIFY2(text.contains(QLatin1Char('&')), qPrintable(text));
      mnemonics << text.mid(text.indexOf(QLatin1Char('&')) + 1, 1).toLower();
    }
    // Alt plus a letter reaches one control only.
    QCOMPARE(QSet<QString>(mnemonics.begin(), mnemonics.end()).size(), mnemonics.size());
    QApplication::setActiveWindow(f.dialog.get());
    QVERIFY(QTest::qWaitForWindowActive(f.dialog.get()));
    f.PathBox()->setFocus();
    QVERIFY(QTest::qWaitFor([&] { return f.PathBox()->hasFocus(); }));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), f.Button(kIdBrowse));
  }

  void skinIsPaintedUnscaledAtItsOwnSize() {
    SkinnedSurface surface(QString::fromLatin1(kMainSkin));
    surface.SetFixedEdges(QMargins(200, 108, 200, 138));
    surface.resize(surface.skin().size());
    QCOMPARE(surface.skin().size(), QSize(650, 410));
    QCOMPARE(surface.grab().toImage().convertToFormat(QImage::Format_RGB32),
             surface.skin().toImage().convertToFormat(QImage::Format_RGB32));
  }

  void menuAndStatusBar() {
    Fixture f;
    const QList<QAction*> top = f.dialog->findChild<QMenuBar*>()->actions();
    QCOMPARE(top.size(), 2);
    QCOMPARE(top[0]->text(), QStringLiteral("&File"));
    QCOMPARE(top[1]->text(), QStringLiteral("&Help"));
    QStringList file_items;
    for (QAction* a : top[0]->menu()->actions()) {
      if (!a->isSeparator()) file_items << a->text() + QLatin1Char('=') + a->data().toString();
    }
    QCOMPARE(file_items, (QStringList{QStringLiteral("&Open=57601"), QStringLiteral("&Recovery=32772"),
                                      QStringLiteral("Recover &deleted rows=32776"),
                                      QStringLiteral("Save re&port...=32777"), QStringLiteral("E&xit=32773")}));
    QVERIFY(!f.dialog->MenuAction(kIdFileSaveReport)->isEnabled());  // no pass has completed
    QVERIFY(f.dialog->MenuAction(kIdFileDeletedRows)->isCheckable());
    QVERIFY(!f.dialog->MenuAction(kIdFileDeletedRows)->isChecked());
    QStringList help_items;
    for (QAction* a : top[1]->menu()->actions()) help_items << a->text() + QLatin1Char('=') + a->data().toString();
    QCOMPARE(help_items, (QStringList{QStringLiteral("&Content=32774"), QStringLiteral("&About=32775")}));

    auto* pane0 = f.dialog->statusBar()->findChild<QLabel*>(QStringLiteral("statusPane0"));
    auto* pane1 = f.dialog->statusBar()->findChild<QLabel*>(QStringLiteral("statusPane1"));
    QCOMPARE(pane0->text(), QStringLiteral(" Mendora"));
    QCOMPARE(pane1->text(), BuildIdentity().home);
    auto* surface = f.dialog->findChild<SkinnedSurface*>(QStringLiteral("mainSurface"));
    QCOMPARE(f.dialog->statusBar()->mapTo(surface, QPoint(0, f.dialog->statusBar()->height())).y(), surface->height());
  }

  void commandTableRoutesSharedHandlers() {
    Fixture f;
    QVERIFY(!f.dialog->OnCommand(4242));
    f.dialog->MenuAction(kIdFileOpen)->trigger();  // File > Open is Browse
    QCOMPARE(f.files.open_calls, 1);
    QTest::mouseClick(f.Button(kIdBrowse), Qt::LeftButton);
    QCOMPARE(f.files.open_calls, 2);
    QCOMPARE(f.files.open_title, QStringLiteral("Select Access Database File"));
  }

  void browseConfirmedMakesReady() {
    Fixture f;
    QTemporaryDir dir;
    const QString path = WriteFile(dir, QStringLiteral("Orders.MDB"), QByteArray(4096, 'x'));
    f.files.open_answer = path;
    QTest::mouseClick(f.Button(kIdBrowse), Qt::LeftButton);
    QCOMPARE(f.dialog->state(), MainDialog::State::kReady);
    QCOMPARE(f.dialog->SourcePath(), path);
    QCOMPARE(f.PathBox()->text(), path);
    QCOMPARE(f.dialog->TargetPath(), path);
    QCOMPARE(f.dialog->SourceFileLength(), 4096);
    QVERIFY(f.Enabled(kIdNext));
    QVERIFY(f.MenuEnabled(kIdFileRecovery));
    QVERIFY(!f.Enabled(kIdStop));
    QVERIFY(f.boxes.seen.empty());
  }

  void browseCancelledClearsOnlyThePathBox() {
    Fixture f;
    QTemporaryDir dir;
    const QString chosen = WriteFile(dir, QStringLiteral("a.mdb"), "x");
    f.files.open_answer = chosen;
    QTest::mouseClick(f.Button(kIdBrowse), Qt::LeftButton);
    f.files.open_answer.clear();
    QTest::mouseClick(f.Button(kIdBrowse), Qt::LeftButton);
    QVERIFY(f.PathBox()->text().isEmpty());
    QVERIFY(f.Enabled(kIdNext));
    QVERIFY(f.MenuEnabled(kIdFileRecovery));
    QCOMPARE(f.dialog->SourcePath(), chosen);
    QCOMPARE(f.dialog->state(), MainDialog::State::kReady);
  }

  void browseOnEmptyFileStillEnablesNext() {
    Fixture f;
    QTemporaryDir dir;
    f.files.open_answer = WriteFile(dir, QStringLiteral("empty.mdb"), QByteArray());
    QTest::mouseClick(f.Button(kIdBrowse), Qt::LeftButton);
    QCOMPARE(f.dialog->SourceFileLength(), 0);
    QVERIFY(f.Enabled(kIdNext));
  }

  void browseOnUnreadableFileSaysSo() {
    Fixture f;
    QTemporaryDir dir;
    f.files.open_answer = WriteFile(dir, QStringLiteral("good.mdb"), "x");
    QTest::mouseClick(f.Button(kIdBrowse), Qt::LeftButton);
    f.files.open_answer = dir.filePath(QStringLiteral("gone.mdb"));
    QTest::mouseClick(f.Button(kIdBrowse), Qt::LeftButton);
    QCOMPARE(f.boxes.seen.size(), size_t(1));
    QVERIFY(f.boxes.seen[0].text.contains(QStringLiteral("gone.mdb")));
    QCOMPARE(f.boxes.seen[0].icon, BoxIcon::kWarning);
    QCOMPARE(f.dialog->state(), MainDialog::State::kSelecting);
    QVERIFY(!f.Enabled(kIdNext));  // Next must not start on a file that cannot be read
    QVERIFY(f.dialog->SourcePath().isEmpty());
  }

  void browseOffersAccessFilesThenAllFilesFromTheLastFolder() {
    QSettings().remove(QString::fromLatin1(kLastFolderKey));
    Fixture f;
    QTest::mouseClick(f.Button(kIdBrowse), Qt::LeftButton);
    const QStringList filters = f.files.open_filter.split(QStringLiteral(";;"));
    QCOMPARE(filters, (QStringList{QStringLiteral("Access databases (*.mdb *.mde *.accdb *.accde)"),
                                   QStringLiteral("All files (*)")}));
    // The chooser matches the patterns without regard to case.
    const QRegularExpression inside(QStringLiteral("\\(([^)]*)\\)"));
    const QStringList patterns = inside.match(filters[0]).captured(1).split(QLatin1Char(' '));
    auto matches = [&](const QString& name) {
      for (const QString& p : patterns) {
        const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(p),
                                    QRegularExpression::CaseInsensitiveOption);
        if (re.match(name).hasMatch()) return true;
      }
      return false;
    };
    for (const char* name : {"a.mdb", "B.MDB", "c.mde", "d.accdb", "E.ACCDE"}) {
      QVERIFY2(matches(QString::fromLatin1(name)), name);
    }
    QVERIFY(!matches(QStringLiteral("x.mdb.bak")));  // for that one, "All files"
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QCOMPARE(f.files.open_folder, QFileInfo(documents).isDir() ? documents : QDir::homePath());

    QTemporaryDir dir;
    f.files.open_answer = WriteFile(dir, QStringLiteral("x.mdb.bak"), "x");
    QTest::mouseClick(f.Button(kIdBrowse), Qt::LeftButton);
    QCOMPARE(f.dialog->state(), MainDialog::State::kReady);
    Fixture later;
    QTest::mouseClick(later.Button(kIdBrowse), Qt::LeftButton);
    QCOMPARE(later.files.open_folder, dir.path());
    QSettings().remove(QString::fromLatin1(kLastFolderKey));
  }

  void typedPathWorksLikeABrowsedOne() {
    Fixture f;
    QTemporaryDir dir;
    const QString path = WriteFile(dir, QStringLiteral("Typed.mdb"), QByteArray(100, 'x'));
    QTest::keyClicks(f.PathBox(), QStringLiteral("  ") + path);
    QCOMPARE(f.dialog->state(), MainDialog::State::kReady);
    QVERIFY(f.Enabled(kIdNext));
    QVERIFY(f.MenuEnabled(kIdFileRecovery));
    // Enter in the path box is Next, not the end of the program.
    f.PathBox()->setFocus();
    QTest::keyClick(f.PathBox(), Qt::Key_Return);
    QVERIFY(f.dialog->isVisible());
    QCOMPARE(f.dialog->SourcePath(), path);
    QCOMPARE(f.dialog->SourceFileLength(), 100);
    QCOMPARE(f.dialog->state(), MainDialog::State::kRunning);
    // Nothing asked or refused on the way in; the run's own end (its box) may
    // come while a loaded machine waits below.
    QVERIFY2(f.boxes.seen.empty(), qPrintable(f.boxes.Texts().join(QStringLiteral(" | "))));
    QTRY_COMPARE(f.runner.SessionCount(), size_t(1));
    QCOMPARE(QString::fromStdString(f.runner.LastSession().source_path), path);
  }

  void typedPathThatCannotBeReadSaysSoAndStartsNothing() {
    Fixture f;
    QTemporaryDir dir;
    for (const QString& typed : {dir.filePath(QStringLiteral("missing.mdb")), dir.path()}) {
      f.PathBox()->clear();
      QTest::keyClicks(f.PathBox(), typed);
      QVERIFY(f.Enabled(kIdNext));
      QTest::mouseClick(f.Button(kIdNext), Qt::LeftButton);
      QCOMPARE(f.boxes.seen.size(), size_t(1));
      QVERIFY(f.boxes.seen[0].text.contains(QDir::toNativeSeparators(typed)));
      QCOMPARE(f.boxes.seen[0].icon, BoxIcon::kWarning);
      QCOMPARE(f.dialog->state(), MainDialog::State::kSelecting);
      QVERIFY(!f.Enabled(kIdNext));
      f.boxes.seen.clear();
    }
    QCOMPARE(f.runner.SessionCount(), size_t(0));
    // A path box emptied again leaves Next disabled.
    f.PathBox()->clear();
    QTest::keyClicks(f.PathBox(), QStringLiteral("x"));
    QVERIFY(f.Enabled(kIdNext));
    QTest::keyClick(f.PathBox(), Qt::Key_Backspace);
    QVERIFY(!f.Enabled(kIdNext));
  }

  void exitAskedNoKeepsEverything() {
    Fixture f;
    f.boxes.answers = {BoxAnswer::kNo};
    f.dialog->MenuAction(kIdFileExit)->trigger();
    QCOMPARE(f.boxes.seen.size(), size_t(1));
    QCOMPARE(f.boxes.seen[0].text, QStringLiteral("Are you sure you want to close the software?"));
    QCOMPARE(f.boxes.seen[0].buttons, BoxButtons::kYesNo);
    QCOMPARE(f.boxes.seen[0].icon, BoxIcon::kQuestion);
    QVERIFY(f.dialog->isVisible());
    QCOMPARE(f.dialog->state(), MainDialog::State::kSelecting);
  }

  void exitAskedYesEndsTheDialog() {
    Fixture f;
    f.boxes.answers = {BoxAnswer::kYes};
    f.dialog->MenuAction(kIdFileExit)->trigger();
    QVERIFY(!f.dialog->isVisible());
    QCOMPARE(f.dialog->result(), int(QDialog::Rejected));
  }

  void escapeAndEnterEndTheDialogWithoutAsking() {
    {
      Fixture f;
      QTest::keyClick(f.dialog.get(), Qt::Key_Escape);
      QVERIFY(!f.dialog->isVisible());
      QVERIFY(f.boxes.seen.empty());
    }
    {
      Fixture f;
      f.dialog->setFocus();
      QTest::keyClick(f.dialog.get(), Qt::Key_Return);
      QVERIFY(!f.dialog->isVisible());
      QVERIFY(f.boxes.seen.empty());
    }
  }

  void helpWithoutManualSaysSo() {
    QTemporaryDir dir;
    const QString old = QDir::currentPath();
    QDir::setCurrent(dir.path());
    Fixture f;
    QDir::setCurrent(old);
    f.dialog->MenuAction(kIdHelpContent)->trigger();
    QCOMPARE(f.boxes.seen.size(), size_t(1));
    QCOMPARE(f.boxes.seen[0].text, QStringLiteral("Unable to locate the software's Help file."));
    QCOMPARE(f.boxes.seen[0].buttons, BoxButtons::kOk);
    QCOMPARE(f.boxes.seen[0].icon, BoxIcon::kInformation);
    QVERIFY(f.opener.opened.isEmpty());
  }

  // Found from the program's own folder, so that an installation under any
  // prefix finds its manual and translations (bin/ -> share/...).
  void helpAndTranslationsAreFoundFromTheProgramForAnyPrefix() {
    Fixture f;
    const QString program = QCoreApplication::applicationDirPath();
    const QString from_program = QString::fromUtf8(kDocDirectoryFromProgram);
    QVERIFY2(from_program.startsWith(QStringLiteral("../share/doc/")), kDocDirectoryFromProgram);
    const QString installed = QDir::cleanPath(program + QLatin1Char('/') + from_program + QStringLiteral("/mendora.html"));
    const QStringList candidates = f.dialog->HelpCandidates();
    QCOMPARE(candidates.first(), installed);
    QCOMPARE(candidates[1], QDir(program).filePath(QStringLiteral("mendora.html")));
    // The start folder last (once, when it is the program's too).
    QVERIFY(candidates.indexOf(QDir(f.dialog->StartDirectory()).filePath(QStringLiteral("mendora.html"))) >= 1);
    const QStringList folders = TranslationFolders();
    QCOMPARE(folders.value(0), program);
    QCOMPARE(folders.value(1), QDir::cleanPath(program + QStringLiteral("/../share/mendora/translations")));
  }

  void helpWithNoOpenerSaysSo() {
    QTemporaryDir start;
    const QString manual = WriteFile(start, QStringLiteral("mendora.html"), "<html></html>");
    const QString old = QDir::currentPath();
    QDir::setCurrent(start.path());
    Fixture f;
    QDir::setCurrent(old);
    f.opener.succeed = false;
    f.dialog->MenuAction(kIdHelpContent)->trigger();
    QCOMPARE(f.opener.opened, QStringList{manual});
    QCOMPARE(f.boxes.seen.size(), size_t(1));
    QVERIFY(f.boxes.seen[0].text.contains(manual));
    QCOMPARE(f.boxes.seen[0].icon, BoxIcon::kWarning);
  }

  void helpOpensTheManualOfTheStartDirectory() {
    QTemporaryDir start;
    QTemporaryDir elsewhere;
    WriteFile(start, QStringLiteral("mendora.html"), "<html></html>");
    const QString old = QDir::currentPath();
    QDir::setCurrent(start.path());
    Fixture f;
    // A later change of directory (the file dialog may make one) does not
    // move the manual.
    QDir::setCurrent(elsewhere.path());
    f.dialog->MenuAction(kIdHelpContent)->trigger();
    QDir::setCurrent(old);
    QVERIFY(f.boxes.seen.empty());
    QCOMPARE(f.opener.opened, QStringList{QDir(start.path()).filePath(QStringLiteral("mendora.html"))});
  }

  void aboutShowsTheLinksOverItsSkin() {
    Fixture f;
    bool seen = false;
    OnNextModal([&](QWidget* modal) {
      auto* about = qobject_cast<AboutDialog*>(modal);
      QVERIFY(about);
      seen = true;
      QCOMPARE(about->windowTitle(), QStringLiteral("About Mendora"));
      QCOMPARE(about->webLink()->text(), BuildIdentity().home);
      QCOMPARE(about->mailLink()->text(), BuildIdentity().contact);
      QCOMPARE(about->webLink()->isVisible(), !BuildIdentity().home.isEmpty());
      QCOMPARE(about->licenceLine()->text(), QStringLiteral("Licence: ") + BuildIdentity().licence);
      QCOMPARE(about->surface()->skin().size(), QSize(416, 223));
      QVERIFY(about->surface()->width() >= 414 && about->surface()->height() >= 205);
      // Each link shows its whole text in the link font; a cut address is useless.
      for (LinkButton* link : {about->webLink(), about->mailLink()}) {
        if (!link->isVisible()) continue;
        link->grab();
        const int needed = QFontMetrics(link->CurrentFont()).horizontalAdvance(link->text());
        QVERIFY2(needed <= link->width(), qPrintable(link->text()));
        QVERIFY(about->surface()->rect().contains(link->geometry()));
      }
      auto* ok = about->findChild<QPushButton*>(QStringLiteral("okButton"));
      QVERIFY(ok && ok->isDefault());
    });
    f.dialog->MenuAction(kIdHelpAbout)->trigger();
    QVERIFY(seen);
  }

  void aboutShowsTheConfiguredIdentityAndHidesWhatIsNotSet() {
    Fixture f;
    const ProjectIdentity identity{QStringLiteral("https://mendora.test/home"), QStringLiteral("help@mendora.test"),
                                   QStringLiteral("GPL-3.0-or-later")};
    AboutDialog about(AppServices{&f.boxes, &f.files, &f.opener, &f.mail, &f.runner}, f.dialog.get(), identity);
    about.show();
    QCOMPARE(about.webLink()->text(), identity.home);
    QCOMPARE(about.mailLink()->text(), identity.contact);
    QVERIFY(about.licenceLine()->isVisible());
    QVERIFY(about.licenceLine()->text().endsWith(identity.licence));
    QTest::mouseClick(about.webLink(), Qt::LeftButton);
    QCOMPARE(f.opener.opened, QStringList{identity.home});
    AboutDialog bare(AppServices{&f.boxes, &f.files, &f.opener, &f.mail, &f.runner}, f.dialog.get(), {});
    bare.show();
    QVERIFY(!bare.webLink()->isVisible());
    QVERIFY(!bare.mailLink()->isVisible());
    QVERIFY(!bare.licenceLine()->isVisible());
  }

  void aboutMailLinkFallsBackToTheMailComposer() {
    Fixture f;
    f.opener.succeed = false;
    const ProjectIdentity identity{QStringLiteral("https://mendora.test"), QStringLiteral("support@mendora.test"), {}};
    AboutDialog about(AppServices{&f.boxes, &f.files, &f.opener, &f.mail, &f.runner}, f.dialog.get(), identity);
    about.show();
    QTest::mouseClick(about.mailLink(), Qt::LeftButton);
    QCOMPARE(f.mail.shown.size(), size_t(1));
    QCOMPARE(f.mail.shown[0].recipients[0].address, QStringLiteral("SMTP:support@mendora.test"));
    QVERIFY(about.mailLink()->IsVisited());
    QVERIFY(!about.webLink()->IsVisited());
    // A new About box starts unvisited.
    AboutDialog again(AppServices{&f.boxes, &f.files, &f.opener, &f.mail, &f.runner}, f.dialog.get(), identity);
    QVERIFY(!again.mailLink()->IsVisited());
  }

  void messageBoxesCarryCaptionIconAndButtons() {
    DesktopMessageBoxes boxes;
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    OnNextModal([&](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      QVERIFY(box);
      title = box->windowTitle();
      text = box->text();
      icon = box->icon();
      buttons = box->standardButtons();
      box->button(QMessageBox::No)->click();
    });
    const BoxAnswer answer = boxes.Show(nullptr, {QStringLiteral("Do you want to go back?"), BoxButtons::kYesNo,
                                                  BoxIcon::kQuestion, true});
    QCOMPARE(answer, BoxAnswer::kNo);
    QCOMPARE(title, QStringLiteral("Mendora"));
    QCOMPARE(text, QStringLiteral("Do you want to go back?"));
    QCOMPARE(icon, QMessageBox::Question);
    QCOMPARE(buttons, QMessageBox::Yes | QMessageBox::No);

    OnNextModal([&](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      QVERIFY(box);
      text = box->text();
      icon = box->icon();
      buttons = box->standardButtons();
    });
    QCOMPARE(boxes.Show(nullptr, {QStringLiteral("Analysis Completed Successfully\r\n"), BoxButtons::kOk,
                                  BoxIcon::kQuestion, false}),
             BoxAnswer::kOk);
    QCOMPARE(text, QStringLiteral("Analysis Completed Successfully"));
    QCOMPARE(icon, QMessageBox::Question);
    QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));

    // After a save: OK, and a button that opens the target's folder.
    for (bool open : {true, false}) {
      OnNextModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QVERIFY(box);
        auto* folder = box->findChild<QPushButton*>(QStringLiteral("openFolderButton"));
        QVERIFY(folder);
        QCOMPARE(folder->text(), QStringLiteral("&Open folder"));
        (open ? folder : box->button(QMessageBox::Ok))->click();
      });
      QCOMPARE(boxes.Show(nullptr, {QStringLiteral("saved"), BoxButtons::kOkOpenFolder, BoxIcon::kInformation, false}),
               open ? BoxAnswer::kOpenFolder : BoxAnswer::kOk);
    }
  }

  void displayIsFoundOnlyWhenNamed() {
    QVERIFY(!DisplayAvailable(nullptr, nullptr, nullptr));
    QVERIFY(!DisplayAvailable("", "", ""));
    QVERIFY(DisplayAvailable("offscreen", nullptr, nullptr));
    QVERIFY(DisplayAvailable(nullptr, ":0", nullptr));
    QVERIFY(DisplayAvailable(nullptr, nullptr, "wayland-0"));
  }
};

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // The tests' settings stay apart from the user's.
  QStandardPaths::setTestModeEnabled(true);
  QCoreApplication::setOrganizationName(QStringLiteral("MendoraTests"));
  QCoreApplication::setApplicationName(QStringLiteral("tst_main_dialog"));
  MainDialogTest test;
  return QTest::qExec(&test, argc, argv);
}
#include "tst_main_dialog.moc"
