// The German translation: complete in the .ts file the build keeps up to
// date, true to each source's placeholders, mnemonics and line ends, and
// loaded for a German locale.
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QTranslator>
#include <QXmlStreamReader>

#include "app/control_ids.h"
#include "app/main_dialog.h"
#include "app/recovery_app.h"
#include "test_support.h"

using namespace mendora;
using namespace mendora::testing;

namespace {

struct Message {
  QString context, source, translation, type;
  QStringList forms;  // the plural forms of a numerus message
};

// <byte value="xd"/> stands for a carriage return inside a text.
QString ReadText(QXmlStreamReader& xml) {
  QString text;
  while (!xml.atEnd()) {
    xml.readNext();
    if (xml.isCharacters()) text += xml.text();
    if (xml.isStartElement() && xml.name() == QLatin1String("byte")) {
      text += QChar(xml.attributes().value(QLatin1String("value")).mid(1).toInt(nullptr, 16));
    }
    if (xml.isEndElement() && xml.name() != QLatin1String("byte")) break;
  }
  return text;
}

std::vector<Message> ReadTs(const QString& path) {
  std::vector<Message> messages;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return messages;
  QXmlStreamReader xml(&file);
  QString context;
  bool numerus = false;
  while (!xml.atEnd()) {
    xml.readNext();
    if (!xml.isStartElement()) continue;
    if (xml.name() == QLatin1String("name")) context = xml.readElementText();
    if (xml.name() == QLatin1String("message")) {
      messages.push_back({context, {}, {}, {}, {}});
      numerus = xml.attributes().value(QLatin1String("numerus")) == QLatin1String("yes");
    }
    if (xml.name() == QLatin1String("source")) messages.back().source = ReadText(xml);
    if (xml.name() == QLatin1String("translation")) {
      messages.back().type = xml.attributes().value(QLatin1String("type")).toString();
      if (!numerus) messages.back().translation = ReadText(xml);
    }
    if (xml.name() == QLatin1String("numerusform")) {
      messages.back().forms << ReadText(xml);
      messages.back().translation = messages.back().forms.first();
    }
  }
  return messages;
}

QSet<QString> Placeholders(const QString& text) {
  QSet<QString> found;
  const QRegularExpression marker(QStringLiteral("%L?(\\d|n)"));
  for (auto it = marker.globalMatch(text); it.hasNext();) found.insert(it.next().captured());
  return found;
}

bool HasMnemonic(const QString& text) { return text.contains(QRegularExpression(QStringLiteral("&[^ &]"))); }

}  // namespace

class TranslationTest : public QObject {
  Q_OBJECT

 private slots:
  // German whole, and English for its plural forms; every form keeps the
  // source's placeholders, mnemonic and line ends.
  void everyEntryIsFinishedAndKeepsItsMarks_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("least");
    QTest::newRow("de") << QStringLiteral("mendora_de.ts") << 80;
    QTest::newRow("en plurals") << QStringLiteral("mendora_en.ts") << 4;
  }
  void everyEntryIsFinishedAndKeepsItsMarks() {
    QFETCH(QString, file);
    QFETCH(int, least);
    const std::vector<Message> messages = ReadTs(QStringLiteral(MENDORA_SOURCE_DIR "/translations/") + file);
    QVERIFY(int(messages.size()) >= least);
    for (const Message& m : messages) {
      const QByteArray where = (m.context + QStringLiteral(": ") + m.source).toUtf8();
      QVERIFY2(m.type.isEmpty(), where.constData());  // neither unfinished nor obsolete
      const QStringList forms = m.forms.isEmpty() ? QStringList{m.translation} : m.forms;
      if (!m.forms.isEmpty()) QCOMPARE(m.forms.size(), 2);  // one and many, in both languages
      for (const QString& form : forms) {
        QVERIFY2(!form.trimmed().isEmpty(), where.constData());
        QVERIFY2(Placeholders(form) == Placeholders(m.source), where.constData());
        QVERIFY2(form.contains(QStringLiteral("%Ln")) == m.source.contains(QStringLiteral("%Ln")), where.constData());
        QVERIFY2(HasMnemonic(form) == HasMnemonic(m.source), where.constData());
        QVERIFY2(form.count(QLatin1Char('\r')) == m.source.count(QLatin1Char('\r')), where.constData());
        QVERIFY2(form.count(QLatin1Char('\n')) == m.source.count(QLatin1Char('\n')), where.constData());
      }
    }
  }

  // One and many, in the user's own digits, in English and German.
  void countsAreSingularOrPluralInEitherLanguage() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QVERIFY(InstallTranslation(*QCoreApplication::instance(), QLocale(QLocale::English), {}));
    QCOMPARE(MainDialog::RowsText(1), QStringLiteral("1 row"));
    QCOMPARE(MainDialog::RowsText(1500000), QStringLiteral("1,500,000 rows"));
    QCOMPARE(MainDialog::RowsText(0), QStringLiteral("0 rows"));
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QVERIFY(InstallTranslation(*QCoreApplication::instance(), QLocale(QLocale::German), {QStringLiteral(MENDORA_QM_DIR)}));
    QCOMPARE(MainDialog::RowsText(1), QStringLiteral("1 Zeile"));
    QCOMPARE(MainDialog::RowsText(1500000), QStringLiteral("1.500.000 Zeilen"));
    for (QTranslator* t : QCoreApplication::instance()->findChildren<QTranslator*>()) {
      QCoreApplication::removeTranslator(t);
      delete t;
    }
    QLocale::setDefault(QLocale::c());
  }

  void aGermanLocaleGetsTheGermanWindow() {
    QVERIFY(!InstallTranslation(*QCoreApplication::instance(), QLocale(QLocale::French), {QStringLiteral(MENDORA_QM_DIR)}));
    QVERIFY(InstallTranslation(*QCoreApplication::instance(), QLocale(QLocale::German, QLocale::Austria),
                               {QStringLiteral(MENDORA_QM_DIR)}));
    FakeBoxes boxes;
    FakeFiles files;
    MainDialog dialog(AppServices{&boxes, &files});
    QCOMPARE(qobject_cast<QPushButton*>(dialog.Control(kIdNext))->text(), QStringLiteral("&Weiter"));
    QCOMPARE(dialog.OpenFilter(),
             QStringLiteral("Access-Datenbanken (*.mdb *.mde *.accdb *.accde);;Alle Dateien (*)"));
    boxes.answers = {BoxAnswer::kNo};
    dialog.OnCommand(kIdFileExit);
    QCOMPARE(boxes.seen.at(0).text, QStringLiteral("Möchten Sie das Programm wirklich schließen?"));
  }
};

QTEST_MAIN(TranslationTest)
#include "tst_translations.moc"
