// The transparent label.
#include "controls/transparent_static.h"

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
  if (QWidget* parent = parentWidget()) parent->repaint(geometry());
}

}  // namespace mendora
