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
  while (!xml.atEnd()) {
    xml.readNext();
    if (!xml.isStartElement()) continue;
    if (xml.name() == QLatin1String("name")) context = xml.readElementText();
    if (xml.name() == QLatin1String("message")) messages.push_back({context, {}, {}, {}});
    if (xml.name() == QLatin1String("source")) messages.back().source = ReadText(xml);
    if (xml.name() == QLatin1String("translation")) {
      messages.back().type = xml.attributes().value(QLatin1String("type")).toString();
      messages.back().translation = ReadText(xml);
    }
  }
  return messages;
}

QSet<QString> Placeholders(const QString& text) {
  QSet<QString> found;
  const QRegularExpression marker(QStringLiteral("%\\d"));
  for (auto it = marker.globalMatch(text); it.hasNext();) found.insert(it.next().captured());
  return found;
}

bool HasMnemonic(const QString& text) { return text.contains(QRegularExpression(QStringLiteral("&[^ &]"))); }

}  // namespace

class TranslationTest : public QObject {
  Q_OBJECT

 private slots:
  void everyGermanEntryIsFinishedAndKeepsItsMarks() {
    const std::vector<Message> messages = ReadTs(QStringLiteral(MENDORA_SOURCE_DIR "/translations/mendora_de.ts"));
    QVERIFY(messages.size() > 50);
    for (const Message& m : messages) {
      const QByteArray where = (m.context + QStringLiteral(": ") + m.source).toUtf8();
      QVERIFY2(m.type.isEmpty(), where.constData());  // neither unfinished nor obsolete
      QVERIFY2(!m.translation.trimmed().isEmpty(), where.constData());
      QVERIFY2(Placeholders(m.translation) == Placeholders(m.source), where.constData());
      QVERIFY2(HasMnemonic(m.translation) == HasMnemonic(m.source), where.constData());
      QVERIFY2(m.translation.count(QLatin1Char('\r')) == m.source.count(QLatin1Char('\r')), where.constData());
      QVERIFY2(m.translation.count(QLatin1Char('\n')) == m.source.count(QLatin1Char('\n')), where.constData());
    }
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
