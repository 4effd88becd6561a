// "View recovered data": the tables a real pass recovered with its counts
// and losses, a grid whose first rows are the dump's, a 100,000-row table
// scrolled to its end with only a window held, and pictures as thumbnails.
#include <QApplication>
#include <QBuffer>
#include <QHeaderView>
#include <QLineEdit>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <nlohmann/json.hpp>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

#include "app/control_ids.h"
#include "app/main_dialog.h"
#include "app/preview_model.h"
#include "app/preview_window.h"
#include "output/json/json_dump.h"
#include "test_support.h"
#include "tests/builder/jet_builder.h"
#include "tests/support/corpus.h"
#include "tests/support/temp_database.h"

using namespace mendora;
using namespace mendora::testing;

namespace {

// The resident memory of this process, in KiB.
long ResidentKiB() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
  }
  return -1;
}

QString Cell(QAbstractItemModel* model, int row, int column, int role = Qt::DisplayRole) {
  return model->data(model->index(row, column), role).toString();
}

}  // namespace

class PreviewTest : public QObject {
  Q_OBJECT

 private slots:
  void tablesAndFirstRowsAreThoseOfTheAnalysisAndTheDump() {
    const auto dir = CorpusDir();
    const QString source =
        dir ? QString::fromStdString((*dir / "jet4-northwind.mdb").string()) : QString();
    if (source.isEmpty() || !QFile::exists(source)) QSKIP("sample databases not found (set MENDORA_CORPUS)");
    FakeBoxes boxes;
    FakeFiles files;
    LibraryRecoveryRunner runner;
    MainDialog dialog(AppServices{&boxes, &files, nullptr, nullptr, &runner});
    dialog.show();
    auto* view = qobject_cast<QPushButton*>(dialog.Control(kIdPreview));
    QVERIFY(!view->isEnabled());
    files.open_answer = source;
    dialog.OnCommand(kIdBrowse);
    dialog.OnCommand(kIdNext);
    QVERIFY(QTest::qWaitFor([&] { return dialog.state() == MainDialog::State::kCompleted; }, 120000));
    QVERIFY(view->isEnabled());

    // The dump of the same file, as `mendora-cli dump` writes it.
    std::ostringstream dumped;
    RecoverySession dump_session;
    JsonDumpOutput dump(dumped, "Jet4");
    dump_session.options.source_path = source.toStdString();
    dump_session.options.outputs.push_back(&dump);
    QCOMPARE(int(RunRecovery(dump_session).outcome), int(PassOutcome::kCompleted));
    dump.Finish();
    const nlohmann::json expected = nlohmann::json::parse(dumped.str());

    PreviewWindow preview(source.toStdString(), std::nullopt, dialog.RecoveredTables(), dialog.Losses(), &dialog);
    preview.show();
    QTableWidget* list = preview.tableList();
    QCOMPARE(list->rowCount(), int(expected["tables"].size()));
    for (int i = 0; i < list->rowCount(); ++i) {
      const QString name = list->item(i, 0)->text();
      const nlohmann::json& table = expected["tables"][name.toStdString()];
      // The count the analysis log gave the table.
      QVERIFY2(dialog.AnalysisLog().contains(
                   QStringLiteral("%1 :  %2  Records").arg(name).arg(table["rows"].size())),
               qPrintable(name));
      QCOMPARE(list->item(i, 1)->text(), QLocale().toString(qlonglong(table["rows"].size())));
      QCOMPARE(list->item(i, 2)->text(), QStringLiteral("Nothing"));

      list->setCurrentCell(i, 0);
      QAbstractItemModel* grid = preview.grid()->model();
      QCOMPARE(grid->rowCount(), int(table["rows"].size()));
      QCOMPARE(grid->columnCount(), int(table["columns"].size()));
      for (int c = 0; c < grid->columnCount(); ++c) {
        QCOMPARE(grid->headerData(c, Qt::Horizontal).toString(),
                 QString::fromStdString(table["columns"][c]["name"].get<std::string>()));
      }
      const int first_page = std::min(grid->rowCount(), 30);
      for (int r = 0; r < first_page; ++r) {
        for (int c = 0; c < grid->columnCount(); ++c) {
          const nlohmann::json& value = table["rows"][r][c];
          const std::string type = table["columns"][c]["type"];
          if (type == "ole" || type == "binary") continue;  // base64 in the dump, described in the grid
          QString want = value.is_null() ? QString() : QString::fromStdString(value.get<std::string>());
          if (type == "datetime" && !want.isEmpty()) {
            // Shown in the user's locale: the same day and time as the dump's.
            const QDateTime stored = QDateTime::fromString(want, QStringLiteral("MM/dd/yyyy HH:mm:ss"));
            QVERIFY(stored.isValid());
            want = stored.time() == QTime(0, 0) ? QLocale().toString(stored.date(), QLocale::ShortFormat)
                                                : QLocale().toString(stored, QLocale::ShortFormat) +
                                                      (stored.time().second() != 0 ? stored.toString(QStringLiteral(":ss")) : QString());
          }
          QString got = Cell(grid, r, c);
          got.replace(QChar(0x21B5), QLatin1Char('\n'));
          if (want.size() > PreviewModel::kShownCharacters) {
            // Long texts are cut in the grid, with an ellipsis.
            QVERIFY(got.endsWith(QChar(0x2026)));
            got.chop(1);
            want = want.left(PreviewModel::kShownCharacters);
          }
          want.remove(QLatin1Char('\r'));
          QCOMPARE(got, want);
        }
      }
    }
  }

  void aLargeTableScrollsToItsEndHoldingOnlyAWindow() {
    constexpr int kRows = 100000;
    JetFileBuilder builder(JetVersion::kJet4);
    Table table{"Readings", {{"N", kLong}, {"Label", kText, 60}, {"Note", kMemo}}};
    table.usage_map_type = 1;
    table.row_source = [](size_t i, mendora::testing::Row& row) {
      if (i >= kRows) return false;
      row = {int64_t(i), "reading number " + std::to_string(i),
             i % 100 == 0 ? mendora::testing::Value(std::string(2000, 'n')) : mendora::testing::Value()};
      return true;
    };
    builder.AddTable(table);
    TempDatabase file(builder.Build());
    RecoverySession session;
    session.options.source_path = file.path();
    QCOMPARE(int(RunRecovery(session).outcome), int(PassOutcome::kCompleted));

    const long before = ResidentKiB();
    PreviewWindow preview(file.path(), std::nullopt, session.results.recovered_tables, session.results.losses);
    preview.show();
    QVERIFY(QTest::qWaitForWindowExposed(&preview));
    auto* model = preview.model();
    QCOMPARE(model->rowCount(), kRows);
    QCOMPARE(Cell(model, 0, 1), QStringLiteral("reading number 0"));  // the first rows at once
    const long shown = ResidentKiB();
    preview.grid()->scrollToBottom();
    QApplication::processEvents();
    QTest::qWait(50);
    const QModelIndex last = model->index(kRows - 1, 1);
    QVERIFY(preview.grid()->viewport()->rect().intersects(preview.grid()->visualRect(last)));
    QCOMPARE(Cell(model, kRows - 1, 0), QString::number(kRows - 1));
    QCOMPARE(Cell(model, kRows - 1, 1), QStringLiteral("reading number %1").arg(kRows - 1));
    const long after = ResidentKiB();
    qInfo("preview of %d rows: resident %ld KiB before the window, %ld KiB with the first rows, %ld KiB at the "
          "last row (+%ld KiB); %d windows read, %d rows held",
          kRows, before, shown, after, after - before, model->WindowsRead(), model->RowsHeld());
    QVERIFY(model->RowsHeld() <= PreviewModel::kWindowRows);
    QVERIFY(model->WindowsRead() <= 4);
    // The table's text alone is several MB; a window is a few hundred KB.
    QVERIFY2(after - shown < 8 * 1024, qPrintable(QString::number(after - shown)));
    // Back to the top reads the first window again, from the first mark.
    preview.grid()->scrollToTop();
    QCOMPARE(Cell(model, 0, 0), QStringLiteral("0"));
    QCOMPARE(Cell(model, 100, 2).size(), PreviewModel::kShownCharacters + 1);  // cut, with an ellipsis
  }

  void picturesInOleColumnsShowAsThumbnailsAndLossesAreNamed() {
    QImage picture(64, 32, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    JetFileBuilder builder(JetVersion::kJet4);
    Table table{"Photos", {{"N", kLong}, {"Photo", kOle}}};
    table.rows.push_back({int64_t{1}, Bytes(png.begin(), png.end())});
    table.rows.push_back({int64_t{2}, Bytes{'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g'}});
    builder.AddTable(table);
    TempDatabase file(builder.Build());
    RecoverySession session;
    session.options.source_path = file.path();
    QCOMPARE(int(RunRecovery(session).outcome), int(PassOutcome::kCompleted));

    PreviewWindow preview(file.path(), std::nullopt, session.results.recovered_tables, session.results.losses);
    auto* model = preview.model();
    const QPixmap thumbnail = model->data(model->index(0, 1), Qt::DecorationRole).value<QPixmap>();
    QCOMPARE(thumbnail.size(), QSize(48, 24));
    QCOMPARE(thumbnail.toImage().pixelColor(10, 10), QColor(Qt::red));
    QVERIFY(model->data(model->index(1, 1), Qt::DecorationRole).isNull());
    QCOMPARE(Cell(model, 1, 1), QStringLiteral("9 bytes"));

    TableLosses lost;
    lost.name = "Photos";
    lost.stored_rows = 5;
    lost.rows_recovered = 2;
    lost.rows_damaged = 1;
    lost.pages_damaged = true;
    QVERIFY(!PreviewWindow::LostText(&lost).startsWith(QStringLiteral("Photos:")));
    QVERIFY(PreviewWindow::LostText(&lost).contains(QStringLiteral("2 of 5")));
    QCOMPARE(PreviewWindow::LostText(nullptr), QStringLiteral("Nothing"));
  }

  // The list sorts and filters its tables; the grid shows dates in the
  // user's locale, a picture whose chain broke as "(lost)", sorts by any
  // column (numbers and dates by value, text by collation, empty first),
  // keeps the stored row numbers, finds text, and fits its headers.
  void theGridSortsFindsAndShowsWhatWasLost() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    QImage noise(96, 96, QImage::Format_RGB32);
    std::mt19937 random(7);
    for (int y = 0; y < noise.height(); ++y) {
      for (int x = 0; x < noise.width(); ++x) noise.setPixel(x, y, QRgb(random()));
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    noise.save(&buffer, "PNG");
    QVERIFY(png.size() > 3 * 4096);
    const auto days = [](int y, int m, int d) { return double(QDate(1899, 12, 30).daysTo(QDate(y, m, d))); };
    JetFileBuilder builder(JetVersion::kJet4);
    Table people{"People", {{"N", kLong}, {"Name", kText, 40}, {"Born", kDateTime}, {"Photograph of the person", kOle}}};
    people.long_value_form = LongValueForm::kChained;
    people.rows = {{int64_t{3}, std::string("bravo"), days(2001, 2, 3), std::monostate{}},
                   {int64_t{1}, std::string("\xC3\x81lvaro"), days(1999, 12, 31) + 0.5, Bytes(png.begin(), png.end())},
                   {int64_t{2}, std::string("alpha"), std::monostate{}, std::monostate{}},
                   {int64_t{10}, std::string("Charlie"), days(1950, 6, 1), std::monostate{}}};
    builder.AddTable(people);
    Table tiny{"Tiny", {{"N", kLong}}};
    for (int64_t i = 0; i < 12; ++i) tiny.rows.push_back({i});
    builder.AddTable(tiny);
    Bytes bytes = builder.Build();
    const uint32_t page = builder.page_size();
    for (uint32_t p = 1, seen = 0; (p + 1) * page <= bytes.size(); ++p) {
      if (bytes[p * page] == 0x01 && std::memcmp(&bytes[p * page + 4], "LVAL", 4) == 0 && ++seen == 2) {
        ZeroPage(bytes, page, p);  // the picture's chain breaks
      }
    }
    TempDatabase file(bytes);
    RecoverySession session;
    session.options.source_path = file.path();
    session.options.loss_details = nullptr;
    QCOMPARE(int(RunRecovery(session).outcome), int(PassOutcome::kCompleted));

    PreviewWindow preview(file.path(), std::nullopt, session.results.recovered_tables, session.results.losses);
    preview.show();
    QTableWidget* list = preview.tableList();
    list->sortByColumn(1, Qt::DescendingOrder);
    QCOMPARE(list->item(0, 0)->text(), QStringLiteral("Tiny"));
    list->setCurrentCell(1, 0);
    PreviewModel* model = preview.model();
    QCOMPARE(model->columnCount(), 4);
    QCOMPARE(Cell(model, 0, 2), QLocale().toString(QDate(2001, 2, 3), QLocale::ShortFormat));
    QCOMPARE(Cell(model, 1, 3), QStringLiteral("(lost)"));
    QVERIFY(model->data(model->index(1, 3), Qt::FontRole).value<QFont>().italic());
    QVERIFY(Cell(model, 2, 3).isEmpty());  // null, not lost
    for (int c = 0; c < model->columnCount(); ++c) {
      QVERIFY2(preview.grid()->horizontalHeader()->sectionSize(c) >=
                   preview.grid()->horizontalHeader()->sectionSizeHint(c),
               qPrintable(model->headerData(c, Qt::Horizontal).toString()));
    }

    struct Sorted {
      int column;
      Qt::SortOrder order;
      QStringList names;
    };
    const Sorted sorts[] = {
        {0, Qt::AscendingOrder, {"\xC3\x81lvaro", "alpha", "bravo", "Charlie"}},
        {0, Qt::DescendingOrder, {"Charlie", "bravo", "alpha", "\xC3\x81lvaro"}},
        {1, Qt::AscendingOrder, {"alpha", "\xC3\x81lvaro", "bravo", "Charlie"}},
        {2, Qt::AscendingOrder, {"alpha", "Charlie", "\xC3\x81lvaro", "bravo"}},
    };
    for (const Sorted& sort : sorts) {
      preview.SortBy(sort.column);
      if (sort.order == Qt::DescendingOrder) QCOMPARE(preview.grid()->horizontalHeader()->sortIndicatorOrder(), sort.order);
      QStringList names;
      for (int r = 0; r < model->rowCount(); ++r) names << Cell(model, r, 1);
      QCOMPARE(names, sort.names);
    }
    // Sorted by date: the stored row numbers go with their rows.
    QCOMPARE(model->headerData(0, Qt::Vertical).toInt(), 3);
    QCOMPARE(model->headerData(3, Qt::Vertical).toInt(), 1);

    preview.findBox()->setText(QStringLiteral("RAV"));
    preview.FindNext();
    QCOMPARE(preview.grid()->currentIndex(), model->index(3, 1));
    preview.findBox()->setText(QStringLiteral("lost"));
    preview.FindNext();  // from after "bravo", round to the top
    QCOMPARE(preview.grid()->currentIndex(), model->index(2, 3));
    preview.findBox()->setText(QStringLiteral("nowhere"));
    preview.FindNext();
    QVERIFY(preview.statusLine()->text().contains(QStringLiteral("is not in this table")));

    preview.tableFilter()->setText(QStringLiteral("PEO"));
    QVERIFY(list->isRowHidden(0));
    QVERIFY(!list->isRowHidden(1));
    QLocale::setDefault(QLocale::c());
  }

  // The forms, reports, macros and modules of a real pass, each named with
  // its kind, and a module's source shown when it is selected, whatever
  // order the list is sorted in.
  void theObjectsAreListedAndAModuleShowsItsSource_data() {
    QTest::addColumn<QString>("sample");
    QTest::newRow("Access 2000") << QStringLiteral("obj-jet4-agenda-pt.mdb");
    QTest::newRow("Access 2010") << QStringLiteral("obj-ace2010-charts-de.accdb");
  }
  void theObjectsAreListedAndAModuleShowsItsSource() {
    QFETCH(QString, sample);
    const auto dir = ObjectsCorpusDir();
    const std::filesystem::path path = dir ? *dir / sample.toStdString() : std::filesystem::path();
    if (!dir || !std::filesystem::exists(path)) QSKIP("object samples not found (set MENDORA_CORPUS_OBJECTS)");
    std::ifstream json(*dir / "expected" / (path.stem().string() + ".json"));
    const nlohmann::json expected = nlohmann::json::parse(json)["objects"];
    FakeBoxes boxes;
    FakeFiles files;
    LibraryRecoveryRunner runner;
    MainDialog dialog(AppServices{&boxes, &files, nullptr, nullptr, &runner});
    files.open_answer = QString::fromStdString(path.string());
    dialog.OnCommand(kIdBrowse);
    dialog.OnCommand(kIdNext);
    QVERIFY(QTest::qWaitFor([&] { return dialog.state() == MainDialog::State::kCompleted; }, 120000));
    PreviewWindow preview(path.string(), std::nullopt, dialog.RecoveredTables(), dialog.Losses(),
                          dialog.RecoveredObjects(), &dialog);
    QTableWidget* list = preview.objectList();
    QVERIFY(list != nullptr);
    QCOMPARE(preview.tabs()->count(), 2);
    list->sortByColumn(1, Qt::DescendingOrder);
    const std::map<std::string, QStringList> kinds = {{"form", {QStringLiteral("Form")}},
                                                      {"report", {QStringLiteral("Report")}},
                                                      {"macro", {QStringLiteral("Macro")}},
                                                      {"module", {QStringLiteral("Module"), QStringLiteral("Class module")}}};
    int modules = 0;
    for (const nlohmann::json& object : expected) {
      const QString name = QString::fromStdString(object["name"].get<std::string>());
      const std::string kind = object["kind"];
      int row = 0;
      while (row < list->rowCount() &&
             !(list->item(row, 1)->text() == name && kinds.at(kind).contains(list->item(row, 0)->text()))) {
        ++row;
      }
      QVERIFY2(row < list->rowCount(), qPrintable(name));
      if (kind != "module") continue;
      ++modules;
      QCOMPARE(list->item(row, 2)->text(), QStringLiteral("Yes"));
      list->setCurrentCell(row, 0);
      const QString text = preview.objectText()->toPlainText();
      QVERIFY2(text.startsWith(QStringLiteral("Attribute VB_Name = \"%1\"").arg(name)), qPrintable(name));
      QVERIFY2(text.count(QLatin1Char('\n')) >= 2, qPrintable(text));  // the code after its header
    }
    QVERIFY(modules > 0);
  }

  void aSourceThatNoLongerOpensSaysSo() {
    RecoveredTable table;
    table.name = "Gone";
    table.rows = 3;
    PreviewWindow preview("/nonexistent/gone.mdb", std::nullopt, {table}, LossAccount(nullptr));
    QVERIFY(preview.statusLine()->text().startsWith(QStringLiteral("The source cannot be read again")));
    QCOMPARE(preview.model()->rowCount(), 0);
  }
};

QTEST_MAIN(PreviewTest)
#include "tst_preview.moc"
