// The transparent label.
#include "controls/transparent_static.h"

#include <QPainter>
#include <QStyle>

namespace mendora {

CTransparentStatic::CTransparentStatic(const QString& text, QWidget* parent) : QLabel(parent) {
  setAutoFillBackground(false);
  setAttribute(Qt::WA_NoSystemBackground);
  // Texts here are paths and product names: never markup, never mnemonics.
  setTextFormat(Qt::PlainText);
  QLabel::setText(text);
}

void CTransparentStatic::SetText(const QString& text) {
  QLabel::setText(text);
  UpdateToolTip();
  if (QWidget* parent = parentWidget()) parent->repaint(geometry());
}

void CTransparentStatic::SetElideMode(Qt::TextElideMode mode) {
  elide_ = mode;
  UpdateToolTip();
  updateGeometry();
  update();
}

QString CTransparentStatic::ShownText() const {
  if (elide_ == Qt::ElideNone) return text();
  const int room = contentsRect().width() - 2 * margin();
  return fontMetrics().elidedText(text(), elide_, std::max(0, room));
}

QSize CTransparentStatic::minimumSizeHint() const {
  QSize hint = QLabel::minimumSizeHint();
  if (elide_ != Qt::ElideNone) hint.setWidth(fontMetrics().horizontalAdvance(QChar(0x2026)) + 2 * margin());
  return hint;
}

void CTransparentStatic::paintEvent(QPaintEvent* event) {
  if (elide_ == Qt::ElideNone) {
    QLabel::paintEvent(event);
    return;
  }
  QPainter painter(this);
  const QRect room = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
  style()->drawItemText(&painter, room, int(QStyle::visualAlignment(layoutDirection(), alignment())), palette(),
                        isEnabled(), ShownText(), foregroundRole());
}

void CTransparentStatic::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  UpdateToolTip();
}

void CTransparentStatic::UpdateToolTip() {
  if (elide_ == Qt::ElideNone) return;
  setToolTip(ShownText() == text() ? QString() : text());
}

}  // namespace mendora
