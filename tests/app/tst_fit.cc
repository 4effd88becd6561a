// Every text the windows show fits the control that shows it, in English and
// German: the main window in each of its states, the About box, the preview
// and the message boxes. Qt's own buttons speak the user's language too.
#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QTranslator>

#include "app/about_dialog.h"
#include "app/control_ids.h"
#include "app/main_dialog.h"
#include "app/preview_window.h"
#include "app/recovery_app.h"
#include "controls/transparent_static.h"
#include "test_support.h"
#include "tests/builder/jet_builder.h"
#include "tests/support/temp_database.h"

using namespace mendora;
using namespace mendora::testing;

namespace {

QString Plain(QString text) {
  text.remove(QRegularExpression(QStringLiteral("&(?=[^&])")));
  return text;
}

// The texts under `root` that do not fit their control, as "name: text".
QStringList Clipped(QWidget* root) {
  QStringList clipped;
  auto note = [&](const QWidget* w, const QString& text) {
    clipped << (w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName()) +
                   QStringLiteral(": ") + text;
  };
  QList<QWidget*> widgets = root->findChildren<QWidget*>();
  widgets.prepend(root);
  for (QWidget* w : widgets) {
    if (!w->isVisible()) continue;
    if (auto* elided = qobject_cast<CTransparentStatic*>(w); elided && elided->ElideMode() != Qt::ElideNone) {
      continue;  // shows "..." where it must, and the whole text in its tooltip
    }
    if (auto* label = qobject_cast<QLabel*>(w)) {
      const QString text = label->text();
      if (text.isEmpty() || label->textFormat() == Qt::RichText) continue;
      const QRect room = label->contentsRect().adjusted(label->margin(), label->margin(), -label->margin(), -label->margin());
      if (label->wordWrap()) {
        if (label->heightForWidth(label->width()) > label->height()) note(w, text);
        continue;
      }
      const QFontMetrics metrics(label->font());
      const QRect needed = metrics.boundingRect(QRect(), Qt::TextExpandTabs, Plain(text));
      if (needed.width() > room.width() || needed.height() > room.height()) note(w, text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
      if (!button->text().isEmpty() && button->sizeHint().width() > button->width()) note(w, button->text());
    } else if (auto* tabs = qobject_cast<QTabBar*>(w)) {
      for (int i = 0; i < tabs->count(); ++i) {
        if (tabs->tabRect(i).width() < tabs->fontMetrics().horizontalAdvance(Plain(tabs->tabText(i))) + 8) {
          note(w, tabs->tabText(i));
        }
      }
    } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
      if (!group->title().isEmpty() && group->minimumSizeHint().width() > group->width()) note(w, group->title());
    } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
      const QString hint = edit->placeholderText();
      if (!hint.isEmpty() && edit->text().isEmpty() &&
          QFontMetrics(edit->font()).horizontalAdvance(hint) + 12 > edit->width()) {
        note(w, hint);
      }
    } else if (auto* header = qobject_cast<QHeaderView*>(w)) {
      if (header->orientation() != Qt::Horizontal) continue;
      for (int i = 0; i < header->count(); ++i) {
        if (!header->isSectionHidden(i) && header->sectionSize(i) < header->sectionSizeHint(i)) {
          note(w, header->model()->headerData(i, Qt::Horizontal).toString());
        }
      }
    }
  }
  return clipped;
}

// Shows `request` in a real message box and returns what of it is clipped.
QStringList ClippedInBox(const BoxRequest& request, QString* yes_text = nullptr) {
  QStringList clipped;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) {
      clipped << QStringLiteral("no message box");
      return;
    }
    QTest::qWait(10);
    clipped = Clipped(box);
    if (yes_text != nullptr && box->button(QMessageBox::Yes) != nullptr) *yes_text = box->button(QMessageBox::Yes)->text();
    box->done(0);
  });
  DesktopMessageBoxes().Show(nullptr, request);
  return clipped;
}

}  // namespace

#define EXPECT_FITS(list)                                         \
  do {                                                            \
    const QStringList clipped_ = (list);                          \
    QVERIFY2(clipped_.isEmpty(), qPrintable(clipped_.join(QStringLiteral(" | ")))); \
  } while (false)

class FitTest : public QObject {
  Q_OBJECT

 private slots:
  void noTextIsClipped_data() {
    QTest::addColumn<QString>("language");
    QTest::newRow("English") << QStringLiteral("en");
    QTest::newRow("German") << QStringLiteral("de");
  }

  void noTextIsClipped() {
    QFETCH(QString, language);
    const QLocale locale(language);
    QLocale::setDefault(locale);
    QVERIFY(InstallTranslation(*QCoreApplication::instance(), locale, {QStringLiteral(MENDORA_QM_DIR)}));

    ScriptedRunner runner;
    runner.steps = 2;
    runner.gated = true;
    runner.losses = {"Table Orders: record 12 was not stored: disk I/O error"};
    FakeBoxes boxes;
    FakeFiles files;
    QTemporaryDir dir;
    files.open_answer = dir.filePath(QStringLiteral("Bestellungen mit einem langen Namen.mdb"));
    QFile source(files.open_answer);
    QVERIFY(source.open(QIODevice::WriteOnly));
    source.close();
    MainDialog dialog(AppServices{&boxes, &files, nullptr, nullptr, &runner});
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_FITS(Clipped(&dialog));  // selecting
    dialog.OnCommand(kIdBrowse);
    dialog.OnCommand(kIdNext);
    runner.gate.release(1);
    QTest::qWait(50);
    EXPECT_FITS(Clipped(&dialog));  // running
    runner.gate.release(1);
    QVERIFY(QTest::qWaitFor([&] { return dialog.state() == MainDialog::State::kCompleted; }, 5000));
    EXPECT_FITS(Clipped(&dialog));  // completed

    AboutDialog about(AppServices{&boxes, &files}, &dialog,
                      {QStringLiteral("https://mendora.example.org"), QStringLiteral("support@mendora.example.org"),
                       QStringLiteral("GPL-3.0-or-later")});
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    EXPECT_FITS(Clipped(&about));
    about.close();

    // Every message of a run, and the questions, as the user sees them.
    QString yes;
    for (const BoxRequest& request : boxes.seen) EXPECT_FITS(ClippedInBox(request));
    EXPECT_FITS(ClippedInBox({MainDialog::tr(kExitQuestion), BoxButtons::kYesNo, BoxIcon::kQuestion, false}, &yes));
    QCOMPARE(yes, language == QLatin1String("de") ? QStringLiteral("&Ja") : QStringLiteral("&Yes"));
    EXPECT_FITS(ClippedInBox({MainDialog::tr("The recovered database has been saved to:") + QStringLiteral("\n") +
                               files.open_answer,
                           BoxButtons::kOkOpenFolder, BoxIcon::kInformation, false}));

    // The preview over a built file.
    JetFileBuilder builder(JetVersion::kJet4);
    Table table{"Kunden", {{"Kundennummer", kLong}, {"Ansprechpartner", kText, 40}, {"Geburtsdatum", kDateTime}}};
    table.rows = {{int64_t{1}, std::string("Maria Anders"), 20000.0}};
    builder.AddTable(table);
    TempDatabase file(builder.Build());
    RecoverySession session;
    session.options.source_path = file.path();
    QCOMPARE(int(RunRecovery(session).outcome), int(PassOutcome::kCompleted));
    AccessObject module;
    module.kind = AccessObjectKind::kModule;
    module.name = "Modul1";
    module.class_module = true;
    module.text = "Attribute VB_Name = \"Modul1\"\nOption Compare Database\n";
    AccessObject form;
    form.name = "Kundenformular";
    form.loss = "its storage rows are gone";
    PreviewWindow preview(file.path(), std::nullopt, session.results.recovered_tables, session.results.losses,
                          {module, form}, &dialog);
    preview.show();
    QVERIFY(QTest::qWaitForWindowExposed(&preview));
    EXPECT_FITS(Clipped(&preview));
    preview.tabs()->setCurrentIndex(1);
    preview.objectList()->setCurrentCell(1, 0);
    QTest::qWait(10);
    EXPECT_FITS(Clipped(&preview));

    for (QTranslator* t : QCoreApplication::instance()->findChildren<QTranslator*>()) {
      QCoreApplication::removeTranslator(t);
      delete t;
    }
    QLocale::setDefault(QLocale::c());
  }
};

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QStandardPaths::setTestModeEnabled(true);
  QCoreApplication::setOrganizationName(QStringLiteral("MendoraTests"));
  QCoreApplication::setApplicationName(QStringLiteral("tst_fit"));
  FitTest test;
  return QTest::qExec(&test, argc, argv);
}
#include "tst_fit.moc"
