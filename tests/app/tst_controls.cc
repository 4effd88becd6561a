// The link button, the transparent label, the mail sender and the desktop
// opener's idea of what it can open.
#include <QEnterEvent>
#include <QImage>
#include <QPainter>
#include <QTemporaryFile>
#include <QTest>

#include "app/recovery_worker.h"
#include "controls/link_button.h"
#include "controls/transparent_static.h"
#include "test_support.h"

using namespace mendora;
using namespace mendora::testing;

namespace {

bool ImageHasColour(const QImage& image, const QColor& colour) {
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (image.pixelColor(x, y).rgb() == colour.rgb()) return true;
    }
  }
  return false;
}

void Hover(QWidget* w) {
  QEnterEvent enter(QPointF(5, 5), w->mapToGlobal(QPointF(5, 5)), w->mapToGlobal(QPointF(5, 5)));
  QCoreApplication::sendEvent(w, &enter);
}

void Leave(QWidget* w) {
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(w, &leave);
}

}  // namespace

class ControlsTest : public QObject {
  Q_OBJECT

 private:
  struct LinkFixture {
    QWidget parent;
    FakeOpener opener;
    FakeMailSystem mail;
    MailSender sender{&mail};
    LinkButton* link;
    explicit LinkFixture(const QString& target) {
      parent.resize(300, 60);
      link = new LinkButton(target, &parent);
      link->setGeometry(10, 10, 250, 20);
      link->SetServices(&opener, &sender);
    }
  };

 private slots:
  void linkStartsInNormalColour() {
    LinkFixture f(QStringLiteral("https://mendora.example.org"));
    QCOMPARE(f.link->CurrentTextColor(), f.link->NormalColor());
    QVERIFY(!f.link->IsHovering());
    QVERIFY(!f.link->IsVisited());
    QCOMPARE(f.link->VisitedColor(), QColor(128, 0, 128));
    QCOMPARE(f.link->cursor().shape(), Qt::PointingHandCursor);
    QVERIFY(!f.link->autoDefault());
  }

  void linkFontIsBoldUnderlinedFourteenPixels() {
    LinkFixture f(QStringLiteral("https://mendora.example.org"));
    f.link->grab();  // the font is made on the first draw
    const QFont font = f.link->CurrentFont();
    QCOMPARE(font.pixelSize(), LinkButton::kLinkFontPixels);
    QCOMPARE(font.weight(), QFont::ExtraBold);
    QVERIFY(font.underline());
  }

  void hoverChangesColourAndLeaveRestoresIt() {
    LinkFixture f(QStringLiteral("https://mendora.example.org"));
    Hover(f.link);
    QVERIFY(f.link->IsHovering());
    QCOMPARE(f.link->CurrentTextColor(), f.link->HoverColor());
    Leave(f.link);
    QVERIFY(!f.link->IsHovering());
    QCOMPARE(f.link->CurrentTextColor(), f.link->NormalColor());
  }

  void webLinkOpensWithTheDesktopAndTurnsVisited() {
    LinkFixture f(QStringLiteral("https://mendora.example.org"));
    Hover(f.link);
    QTest::mouseClick(f.link, Qt::LeftButton);
    QCOMPARE(f.opener.opened, QStringList{QStringLiteral("https://mendora.example.org")});
    QVERIFY(f.mail.shown.empty());
    QCOMPARE(f.mail.probes, 0);
    QVERIFY(f.link->IsVisited());
    QVERIFY(!f.link->IsHovering());  // a click ends the hover look
    QCOMPARE(f.link->CurrentTextColor(), QColor(128, 0, 128));
    QVERIFY(ImageHasColour(f.link->grab().toImage(), QColor(128, 0, 128)));
    // Hover wins over visited; leaving goes back to visited, not normal.
    Hover(f.link);
    QCOMPARE(f.link->CurrentTextColor(), f.link->HoverColor());
    Leave(f.link);
    QCOMPARE(f.link->CurrentTextColor(), QColor(128, 0, 128));
  }

  void mailAddressTheDesktopCannotOpenComposesAMail() {
    LinkFixture f(QStringLiteral("support@mendora.example.org"));
    f.opener.succeed = false;
    QTest::mouseClick(f.link, Qt::LeftButton);
    QCOMPARE(f.mail.shown.size(), size_t(1));
    const MailMessage& m = f.mail.shown[0];
    QVERIFY(m.subject.isEmpty());
    QVERIFY(m.note_text.isEmpty());
    QVERIFY(m.files.empty());
    QCOMPARE(m.recipients.size(), size_t(2));
    QCOMPARE(m.recipients[0].recipient_class, kMailTo);
    QCOMPARE(m.recipients[0].address, QStringLiteral("SMTP:support@mendora.example.org"));
    QCOMPARE(m.recipients[1].recipient_class, kMailCc);
    QCOMPARE(m.recipients[1].address, QStringLiteral("SMTP:support@mendora.example.org"));
    QVERIFY(f.link->IsVisited());
  }

  void mailPathFailuresLeaveTheLinkUnvisited() {
    {
      LinkFixture f(QStringLiteral("support@mendora.example.org"));
      f.opener.succeed = false;
      f.mail.presence = MailSystem::Presence::kMissing;
      f.link->ClickAction();
      QCOMPARE(f.mail.logons, 0);
      QVERIFY(f.mail.shown.empty());
      QVERIFY(!f.link->IsVisited());
    }
    {
      LinkFixture f(QStringLiteral("support@mendora.example.org"));
      f.opener.succeed = false;
      f.mail.logon_ok = false;
      f.link->ClickAction();
      QCOMPARE(f.mail.logons, 1);
      QVERIFY(f.mail.shown.empty());
      QVERIFY(!f.link->IsVisited());
    }
    {
      LinkFixture f(QString(LinkButton::kMaxMailTarget + 1, QLatin1Char('a')));
      f.opener.succeed = false;
      f.link->ClickAction();
      QVERIFY(f.mail.shown.empty());
      QVERIFY(!f.link->IsVisited());
    }
  }

  void failedComposeStillMarksVisited() {
    LinkFixture f(QStringLiteral("support@mendora.example.org"));
    f.opener.succeed = false;
    f.mail.compose_result = 2;
    f.link->ClickAction();
    QCOMPARE(f.mail.shown.size(), size_t(1));
    QVERIFY(f.link->IsVisited());
  }

  void linkWithoutParentSkipsTheMail() {
    FakeOpener opener;
    opener.succeed = false;
    FakeMailSystem mail;
    MailSender sender(&mail);
    LinkButton link(QStringLiteral("support@mendora.example.org"));
    link.SetServices(&opener, &sender);
    link.ClickAction();
    QCOMPARE(opener.opened.size(), 1);
    QCOMPARE(mail.probes, 0);
    QVERIFY(link.IsVisited());
  }

  void disabledLinkIsGrayAndDoesNothing() {
    LinkFixture f(QStringLiteral("https://mendora.example.org"));
    f.link->setEnabled(false);
    QCOMPARE(f.link->CurrentTextColor(), f.link->DisabledColor());
    Hover(f.link);
    QCOMPARE(f.link->CurrentTextColor(), f.link->DisabledColor());
    f.link->ClickAction();
    QTest::mouseClick(f.link, Qt::LeftButton);
    QVERIFY(f.opener.opened.isEmpty());
    QVERIFY(!f.link->IsVisited());
    f.link->grab();
    QVERIFY(!f.link->CurrentFont().underline());  // the plain font, not the link font
  }

  void enterClicksOnReleaseAndSpaceNever() {
    LinkFixture f(QStringLiteral("https://mendora.example.org"));
    // A release without its press on the button does not click.
    QTest::keyRelease(f.link, Qt::Key_Return);
    QVERIFY(f.opener.opened.isEmpty());
    QTest::keyPress(f.link, Qt::Key_Return);
    QVERIFY(f.opener.opened.isEmpty());
    QTest::keyRelease(f.link, Qt::Key_Return);
    QCOMPARE(f.opener.opened.size(), 1);
    QTest::keyClick(f.link, Qt::Key_Space);
    QCOMPARE(f.opener.opened.size(), 1);
    // Another key in between drops the pending Enter.
    QTest::keyPress(f.link, Qt::Key_Return);
    QTest::keyPress(f.link, Qt::Key_A);
    QTest::keyRelease(f.link, Qt::Key_Return);
    QCOMPARE(f.opener.opened.size(), 1);
  }

  void transparentLabelShowsTheParentThrough() {
    QWidget parent;
    parent.resize(200, 40);
    QPalette red;
    red.setColor(QPalette::Window, Qt::red);
    parent.setPalette(red);
    parent.setAutoFillBackground(true);
    auto* label = new CTransparentStatic(QStringLiteral("WWWWWWWWWW"), &parent);
    label->setGeometry(0, 0, 200, 40);
    QImage before = parent.grab().toImage();
    QCOMPARE(before.pixelColor(199, 39), QColor(Qt::red));  // no background of its own
    bool has_glyph = false;
    for (int x = 0; x < 200 && !has_glyph; ++x) {
      for (int y = 0; y < 40 && !has_glyph; ++y) has_glyph = before.pixelColor(x, y) != QColor(Qt::red);
    }
    QVERIFY(has_glyph);
    label->SetText(QString());
    const QImage after = parent.grab().toImage();
    for (int x = 0; x < 200; ++x) {
      for (int y = 0; y < 40; ++y) QCOMPARE(after.pixelColor(x, y), QColor(Qt::red));
    }
    QVERIFY(label->textFormat() == Qt::PlainText);
  }

  void mailSenderReportsLoadAndLogon() {
    FakeMailSystem mail;
    MailSender sender(&mail);
    QCOMPARE(sender.LogOn(), 0);  // not before a load
    QCOMPARE(sender.Load(), MailSender::kLoaded);
    QCOMPARE(sender.LogOn(), 1);
    mail.logon_ok = false;
    QCOMPARE(sender.LogOn(), 0);
    mail.presence = MailSystem::Presence::kMissing;
    QCOMPARE(sender.Load(), MailSender::kNoMailSystem);
    mail.presence = MailSystem::Presence::kIncomplete;
    QCOMPARE(sender.Load(), MailSender::kMailSystemIncomplete);
    MailSender nothing(nullptr);
    QCOMPARE(nothing.Load(), MailSender::kNoMailSystem);
  }

  void mailSenderSendsToAndCopyAndMapsFailures() {
    FakeMailSystem mail;
    MailSender sender(&mail);
    QCOMPARE(sender.Send({}, {}, {}, {}, QStringLiteral("SMTP:a@b.org")), MailSender::kSendFailed);  // no session
    QVERIFY(mail.shown.empty());
    sender.Load();
    sender.LogOn();
    QCOMPARE(sender.Send(QStringLiteral("/tmp/report.txt"), QStringLiteral("report.txt"), QStringLiteral("Hi"),
                         QStringLiteral("Body"), QStringLiteral("SMTP:a@b.org")),
             0u);
    QCOMPARE(mail.shown.size(), size_t(1));
    QCOMPARE(mail.shown[0].subject, QStringLiteral("Hi"));
    QCOMPARE(mail.shown[0].note_text, QStringLiteral("Body"));
    QCOMPARE(mail.shown[0].files.size(), size_t(1));
    QCOMPARE(mail.shown[0].files[0].path_name, QStringLiteral("/tmp/report.txt"));
    mail.compose_result = 1;
    QCOMPARE(sender.Send({}, {}, {}, {}, QStringLiteral("SMTP:a@b.org")), MailSender::kSendFailed);
    mail.compose_result = 0;
    const QString too_long = QStringLiteral("SMTP:") + QString(MailSender::kMaxRecipientLength, QLatin1Char('x'));
    QCOMPARE(sender.Send({}, {}, {}, {}, too_long), MailSender::kSendFailed);
    QCOMPARE(mail.shown.size(), size_t(2));  // the refused one never reached the mail program
  }

  void xdgEmailGetsBareAddresses() {
    MailMessage m;
    m.recipients.push_back({kMailTo, QStringLiteral("x"), QStringLiteral("SMTP:support@mendora.example.org")});
    m.recipients.push_back({kMailCc, QStringLiteral("x"), QStringLiteral("SMTP:support@mendora.example.org")});
    QCOMPARE(XdgEmailArguments(m), (QStringList{QStringLiteral("--cc"), QStringLiteral("support@mendora.example.org"),
                                               QStringLiteral("support@mendora.example.org")}));
    m.subject = QStringLiteral("S");
    m.note_text = QStringLiteral("B");
    m.files.push_back({QString(), QString()});  // an empty attachment is left out
    m.files.push_back({QStringLiteral("/tmp/a b.txt"), QStringLiteral("a b.txt")});
    QCOMPARE(XdgEmailArguments(m),
             (QStringList{QStringLiteral("--cc"), QStringLiteral("support@mendora.example.org"),
                          QStringLiteral("--subject"), QStringLiteral("S"), QStringLiteral("--body"), QStringLiteral("B"),
                          QStringLiteral("--attach"), QStringLiteral("/tmp/a b.txt"),
                          QStringLiteral("support@mendora.example.org")}));
  }

  void openerTellsWhatItCanOpen() {
    QCOMPARE(OpenableUrl(QStringLiteral("https://mendora.example.org")), QUrl(QStringLiteral("https://mendora.example.org")));
    QVERIFY(OpenableUrl(QStringLiteral("support@mendora.example.org")).isEmpty());
    QVERIFY(OpenableUrl(QStringLiteral("mendora.example.org")).isEmpty());
    QVERIFY(!OpenableUrl(QStringLiteral("mailto:support@mendora.example.org")).isEmpty());
    QTemporaryFile file;
    QVERIFY(file.open());
    QCOMPARE(OpenableUrl(file.fileName()), QUrl::fromLocalFile(file.fileName()));
    QVERIFY(OpenableUrl(QStringLiteral("/no/such/mendora.html")).isEmpty());
    QVERIFY(OpenableUrl(QString()).isEmpty());
  }

  void progressIsWholePercentOfPages() {
    QCOMPARE(ProgressPercent(0, 0), 0);
    QCOMPARE(ProgressPercent(0, 10), 0);
    QCOMPARE(ProgressPercent(1, 3), 33);
    QCOMPARE(ProgressPercent(3, 3), 100);
    QCOMPARE(ProgressPercent(4000000000u, 4200000000u), 95);  // no overflow on huge files
  }
};

QTEST_MAIN(ControlsTest)
#include "tst_controls.moc"
