// The hyperlink button: drawing, hover and visited states, keys and clicks.
#include "controls/link_button.h"

#include <QEnterEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>

#include "controls/desktop_opener.h"
#include "controls/mail_sender.h"

namespace mendora {
namespace {

// The wait cursor for the length of one click, whichever way it ends.
class WaitCursor {
 public:
  WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

bool IsEnterKey(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

QFont MakeLinkFont(QFont f) {
  f.setPixelSize(LinkButton::kLinkFontPixels);
  f.setWeight(QFont::ExtraBold);
  f.setUnderline(true);
  return f;
}

}  // namespace

LinkButton::LinkButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
  // The colours are read once: a link keeps its look for its whole life.
  const QPalette colours = palette();
  normal_ = colours.color(QPalette::Active, QPalette::Highlight);
  hover_ = colours.color(QPalette::Active, QPalette::Link);
  disabled_ = colours.color(QPalette::Disabled, QPalette::WindowText);
  // A link is never the dialog's default button, or Enter anywhere in the
  // dialog would follow it.
  setAutoDefault(false);
  setDefault(false);
  setFlat(true);
  setCursor(Qt::PointingHandCursor);
  setAttribute(Qt::WA_Hover);
  connect(this, &QPushButton::clicked, this, &LinkButton::ClickAction);
}

QColor LinkButton::CurrentTextColor() const {
  if (!isEnabled()) return disabled_;
  if (hovering_) return hover_;
  if (visited_) return visited_colour_;
  return normal_;
}

QFont LinkButton::CurrentFont() const {
  if (!isEnabled() || !link_font_) return font();
  return *link_font_;
}

QFont LinkButton::LinkFont() {
  if (!link_font_) link_font_ = MakeLinkFont(font());
  return *link_font_;
}

QSize LinkButton::sizeHint() const {
  // The whole text in the link font: a cut address would be useless.
  const QFontMetrics metrics(link_font_ ? *link_font_ : MakeLinkFont(font()));
  return {metrics.horizontalAdvance(text()) + 2, metrics.height() + 2};
}

void LinkButton::ClickAction() {
  if (!isEnabled()) return;
  WaitCursor wait;
  const QString target = text();
  const bool opened = opener_ != nullptr && opener_->Open(target);
  if (!opened && parentWidget() != nullptr) {
    if (mail_ == nullptr || mail_->Load() != MailSender::kLoaded) return;
    if (mail_->LogOn() != 1) return;
    // A target too long for the recipient text composes no mail and leaves
    // the link unvisited, as every other failure of the mail path does.
    if (target.size() > kMaxMailTarget) return;
    mail_->Send(QString(), QString(), QString(), QString(), QStringLiteral("SMTP:") + target);
  }
  visited_ = true;
  hovering_ = false;
  update();
}

void LinkButton::enterEvent(QEnterEvent* event) {
  hovering_ = true;
  update();
  QPushButton::enterEvent(event);
}

void LinkButton::leaveEvent(QEvent* event) {
  hovering_ = false;
  update();
  QPushButton::leaveEvent(event);
}

void LinkButton::focusOutEvent(QFocusEvent* event) {
  QPushButton::focusOutEvent(event);
  update();
}

void LinkButton::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Space || IsEnterKey(event->key())) {
    key_pending_ = true;
    event->accept();
    return;
  }
  key_pending_ = false;
  QPushButton::keyPressEvent(event);
}

void LinkButton::keyReleaseEvent(QKeyEvent* event) {
  // Space never follows a link: only Enter does, and only on its release,
  // so that a key held down from another window does not click.
  if (event->key() == Qt::Key_Space) {
    event->accept();
    return;
  }
  if (IsEnterKey(event->key()) && key_pending_) {
    key_pending_ = false;
    event->accept();
    ClickAction();
    return;
  }
  key_pending_ = false;
  QPushButton::keyReleaseEvent(event);
}

void LinkButton::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  if (isEnabled()) painter.setFont(LinkFont());
  painter.setPen(CurrentTextColor());
  painter.setBackgroundMode(Qt::TransparentMode);
  painter.drawText(rect(), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text());
}

}  // namespace mendora
