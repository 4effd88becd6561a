// The app's own wording of the analysis log and the loss account: in
// English sentence for sentence what the command line says, for every kind
// of loss; in German for a real pass over a damaged file.
#include <QRegularExpression>
#include <QTest>
#include <QTranslator>
#include <fstream>
#include <iterator>

#include "app/control_ids.h"
#include "app/loss_text.h"
#include "app/main_dialog.h"
#include "app/recovery_app.h"
#include "reader/jet_format.h"
#include "recovery/distinct_names.h"
#include "recovery/loss_wording.h"
#include "test_support.h"
#include "tests/builder/jet_builder.h"
#include "tests/support/temp_database.h"

using namespace mendora;
using namespace mendora::testing;

namespace {

QString English(const std::string& line) { return QString::fromStdString(PrintableText(line)); }

void DropTranslations() {
  for (QTranslator* t : QCoreApplication::instance()->findChildren<QTranslator*>()) {
    QCoreApplication::removeTranslator(t);
    delete t;
  }
  QLocale::setDefault(QLocale::c());
}

// An account holding every kind of entry a pass makes.
LossAccount EveryKindOfLoss() {
  LossAccount account(nullptr);
  account.Add({.subject = LossSubject::kFile, .reason = LossReason::kDefinition, .counted = false, .page = 0,
               .detail = "the header says Jet 4, the pages are Jet 3"});
  account.Add({.subject = LossSubject::kFile, .reason = LossReason::kPasswordCheckDamaged});
  account.BeginTable("Orders", 830);
  for (int i = 0; i < 812; ++i) account.RowRecovered();
  account.Report({DamageKind::kDamagedRow, "Orders", 40, 3, "", "its null mask lies past the row"});
  account.Report({DamageKind::kLongValue, "Orders", 41, 0, "Notes", "memo lost: the chain breaks at page 90"});
  account.Report({DamageKind::kLongValue, "Orders", 41, 1, "Photo", "OLE object lost: the chain loops"});
  account.Report({DamageKind::kValueOutsideRow, "Orders", 42, 2, "Qty", "value past the row's end"});
  account.Report({DamageKind::kUsageMap, "Orders", 7, -1, "", "the usage map names page 7 twice"});
  account.Report({DamageKind::kFileShort, "Orders", 99, -1, "", "the file ends before it"});
  account.EndTable();
  account.RowRefused("Orders", "row 5: UNIQUE constraint failed: Orders.ID");
  account.ValueRefused("Orders", "row 6, column Price: datatype mismatch");
  account.ValueRefused("Orders", "row 7, column Price: datatype mismatch");
  account.BeginTable("One", 1);
  account.Report({DamageKind::kDamagedRow, "One", 50, 0, "", "damaged"});
  account.EndTable();
  account.TableLost("Gone", LossReason::kNotFound, "");
  account.TableLost("Shippers", LossReason::kDefinitionGone, "definition page 12 cannot be read", 3);
  account.TableLost(std::string("Bad\nName", 8), "refused");
  account.Add({.subject = LossSubject::kRelation, .reason = LossReason::kRowsBreakIt, .table = "Orders",
               .name = "CustomersOrders", .other_table = "Customers", .count = 1});
  account.Add({.subject = LossSubject::kRelation, .reason = LossReason::kRowsBreakIt, .table = "Orders",
               .name = "ProductsOrders", .other_table = "Products", .count = 4, .detail = "kept as written"});
  account.Add({.subject = LossSubject::kRelation, .reason = LossReason::kTableMissing, .table = "Orders",
               .name = "ShippersOrders", .other_table = "Shippers", .detail = "Shippers"});
  account.Add({.subject = LossSubject::kRelation, .reason = LossReason::kNotFound, .name = "Lonely"});
  account.Add({.subject = LossSubject::kQuery, .reason = LossReason::kTableMissing, .name = "Late", .detail = "Gone"});
  account.Add({.subject = LossSubject::kQuery, .reason = LossReason::kFailed, .name = "Sums", .detail = "no SQL"});
  account.Add({.subject = LossSubject::kIndex, .reason = LossReason::kRefused, .table = "Orders", .name = "PK",
               .detail = "refused by the target"});
  account.Add({.subject = LossSubject::kIndex, .reason = LossReason::kIncomplete, .table = "Orders", .name = "ByDate",
               .detail = "its column is gone"});
  account.Add({.subject = LossSubject::kObject, .reason = LossReason::kFailed, .name = "Form Main",
               .detail = "its storage rows are gone"});
  account.Add({.subject = LossSubject::kColumn, .reason = LossReason::kUnknownType, .table = "Orders",
               .column = "Blob", .detail = "0x13"});
  account.Add({.subject = LossSubject::kColumn, .reason = LossReason::kIncomplete, .table = "Orders",
               .column = "Price", .detail = "its default could not be read"});
  account.Add({.subject = LossSubject::kName, .reason = LossReason::kNameDamaged, .table = "Ord\x01rs",
               .name = "Orders_1", .page = 30, .detail = "undecodable bytes"});
  account.Add({.subject = LossSubject::kName, .reason = LossReason::kNamedFromEvidence, .table = "Old",
               .name = "Customers", .page = 31, .detail = "a relation"});
  account.Add({.subject = LossSubject::kName, .reason = LossReason::kNamedFromEvidence, .table = "Table_32",
               .name = "Table_32", .detail = "a query"});
  account.Add({.subject = LossSubject::kName, .reason = LossReason::kNameNotFound, .table = "Table_33",
               .name = "Table_33"});
  account.Add({.subject = LossSubject::kName, .reason = LossReason::kOther, .table = "T", .detail = "odd"});
  account.Add({.subject = LossSubject::kTable, .reason = LossReason::kOther, .table = "T", .detail = "said as is"});
  account.PieceLost("Saved query Q was not recovered: its text is gone");
  // More parts than the summary lists one by one.
  for (int i = 0; i < 100; ++i) {
    account.Add({.subject = LossSubject::kRelation, .reason = LossReason::kNotFound, .name = "R" + std::to_string(i)});
  }
  account.BeginTable("Headless", -1);
  account.RowRecovered();
  account.LayoutInferred({"A", "B", "C"}, {"a long", "a date", "text"}, 1);
  account.EndTable();
  return account;
}

// A Jet 4 file of two tables whose second has lost the last of its data
// pages.
std::vector<uint8_t> DamagedFile(int64_t* stored_orders) {
  JetFileBuilder builder(JetVersion::kJet4);
  Table customers{"Kunden", {{"Nummer", kLong}, {"Name", kText, 40}}};
  customers.rows = {{int64_t{1}, std::string("Maria Anders")}};
  builder.AddTable(customers);
  Table orders{"Bestellungen", {{"Nummer", kLong}, {"Notiz", kText, 200}}};
  for (int64_t i = 0; i < 400; ++i) orders.rows.push_back({i, std::string(120, static_cast<char>('a' + i % 26))});
  builder.AddTable(orders);
  *stored_orders = 400;
  std::vector<uint8_t> bytes = builder.Build();

  TempDatabase intact(bytes);
  RecoverySession session;
  session.options.source_path = intact.path();
  if (RunRecovery(session).outcome != PassOutcome::kCompleted) return {};
  uint32_t owner = 0;
  for (const RecoveredTable& table : session.results.recovered_tables) {
    if (table.name == "Bestellungen") owner = static_cast<uint32_t>(table.definition_page);
  }
  constexpr uint32_t kPage = 4096;
  uint32_t last = 0;
  for (uint32_t page = 1; page < bytes.size() / kPage; ++page) {
    const uint8_t* at = bytes.data() + size_t{page} * kPage;
    const uint32_t named = at[kPageOwnerPos] | at[kPageOwnerPos + 1] << 8 | at[kPageOwnerPos + 2] << 16 |
                           uint32_t{at[kPageOwnerPos + 3]} << 24;
    if (at[0] == kDataPageType && named == owner) last = page;
  }
  if (owner == 0 || last == 0) return {};
  ZeroPage(bytes, kPage, last);
  return bytes;
}

}  // namespace

class WordingTest : public QObject {
  Q_OBJECT

 private slots:
  // Without a translation the app says what the command line says, line
  // for line, whatever was lost.
  void englishIsTheCommandLinesForEveryKindOfLoss() {
    DropTranslations();
    // The English plural forms the program carries.
    QVERIFY(InstallTranslation(*QCoreApplication::instance(), QLocale(QLocale::English), {}));
    const LossAccount account = EveryKindOfLoss();
    QVERIFY(account.entries().size() > 120);
    for (const LossEntry& entry : account.entries()) QCOMPARE(LossText::Line(entry), English(LossLine(entry)));
    QStringList summary;
    for (const std::string& line : account.SummaryLines()) summary << QString::fromStdString(line);
    QCOMPARE(LossText::SummaryLines(account), summary);
    QVERIFY(summary.join(QLatin1Char('\n')).contains(QStringLiteral("... and ")));
    QVERIFY(summary.last().contains(QStringLiteral("other parts (named above)")));
    for (const TableLosses& table : account.tables()) {
      QCOMPARE(LossText::TableSummary(table), English(TableSummaryLine(table)));
    }
    // Every level of the total, one and many.
    LossTotals one{.rows_recovered = 0, .rows_expected = 1, .rows_lost = 1, .values_lost = 1, .tables_lost = 1,
                   .tables_lost_rows_unknown = 1, .relations_lost = 1, .queries_lost = 1, .indexes_lost = 1,
                   .objects_lost = 1, .names_lost = 1, .other_parts = 1};
    QCOMPARE(LossText::Total(one), English(TotalLine(one)));
    LossTotals many{.rows_recovered = 5, .rows_expected = 9, .rows_lost = 4, .values_lost = 2, .other_parts = 2};
    QCOMPARE(LossText::Total(many), English(TotalLine(many)));
  }

  // Under German the log's table lines, its total, the completion and the
  // account of a damaged file are German; only the reader's own findings
  // are quoted as they are.
  void germanLogAndAccountOfADamagedFile() {
    int64_t stored = 0;
    const std::vector<uint8_t> bytes = DamagedFile(&stored);
    QVERIFY(!bytes.empty());
    TempDatabase file(bytes);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QVERIFY(InstallTranslation(*QCoreApplication::instance(), QLocale(QLocale::German), {QStringLiteral(MENDORA_QM_DIR)}));

    FakeBoxes boxes;
    FakeFiles files;
    LibraryRecoveryRunner runner;
    MainDialog dialog(AppServices{&boxes, &files, nullptr, nullptr, &runner});
    files.open_answer = QString::fromStdString(file.path());
    dialog.OnCommand(kIdBrowse);
    dialog.OnCommand(kIdNext);
    QVERIFY(QTest::qWaitFor([&] { return dialog.state() == MainDialog::State::kCompleted; }, 120000));
    const TableLosses* orders = dialog.Losses().Table("Bestellungen");
    QVERIFY(orders != nullptr);
    const int64_t recovered = orders->rows_recovered;
    QVERIFY(recovered > 0 && recovered < stored);
    QCOMPARE(orders->RowsMissing(), stored - recovered);

    const QString log = dialog.AnalysisLog();
    QVERIFY2(log.contains(QStringLiteral("\r\nKunden :  1  Datensatz\r\n")), qPrintable(log));
    QVERIFY(log.contains(QStringLiteral("\r\nBestellungen :  %1  Datensätze\r\n").arg(recovered)));
    QVERIFY(log.contains(QStringLiteral("Gesamtzahl der Datensätze :\r\n%1\r\n").arg(recovered + 1)));
    QVERIFY(log.startsWith(QStringLiteral("Mendora - Analyse gestartet...")));
    QVERIFY(log.contains(QStringLiteral("Die Analyse ist abgeschlossen.")));
    const QString summary = QStringLiteral("Bestellungen: %1 von %2 Zeilen, %3 Zeilen nicht gefunden")
                                .arg(recovered)
                                .arg(stored)
                                .arg(stored - recovered);
    QVERIFY(log.contains(QStringLiteral("Was nicht wiederhergestellt werden konnte:\r\n") + summary + QStringLiteral("\r\n")));
    QVERIFY(log.contains(QStringLiteral("\r\nGesamt: %1 von %2 Zeilen wiederhergestellt; %3 Zeilen und 0 Werte verloren\r\n")
                             .arg(recovered + 1)
                             .arg(stored + 1)
                             .arg(stored - recovered)));
    // The reader's finding is quoted as it is, after the app's own words.
    const QString finding = QStringLiteral("\r\nTabelle Bestellungen: Seite ");
    QVERIFY(log.contains(finding));
    QString own = log;
    own.remove(QRegularExpression(QStringLiteral("\r\nTabelle Bestellungen: Seite [^\r]*")));
    for (const char* english : {"Records", "Total", "rows", "Table ", "Analysis", "not recovered", "Click"}) {
      QVERIFY2(!own.contains(QLatin1String(english)), english);
    }
    // The one message after the analysis: the table and the total, in German.
    QCOMPARE(boxes.seen.size(), size_t(1));
    QVERIFY(boxes.seen[0].text.startsWith(QStringLiteral("Die Analyse ist abgeschlossen, aber")));
    QVERIFY(boxes.seen[0].text.contains(QStringLiteral("\n") + summary + QStringLiteral("\nGesamt: ")));
    DropTranslations();
  }

  void cleanup() { DropTranslations(); }
};

QTEST_MAIN(WordingTest)
#include "tst_wording.moc"
