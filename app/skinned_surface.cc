#include "app/skinned_surface.h"

#include <QPainter>

namespace mendora {

SkinnedSurface::SkinnedSurface(const QString& skin_path, QWidget* parent) : QWidget(parent) {
  skin_.load(skin_path);
}

void SkinnedSurface::paintEvent(QPaintEvent* /*event*/) {
  if (skin_.isNull()) return;
  QPainter painter(this);
  // Unscaled on purpose: the controls stand on places drawn into the picture.
  painter.drawPixmap(0, 0, skin_);
}

}  // namespace mendora
