// Painting a dialog's skin.
#include "app/skinned_surface.h"

#include <QPainter>

// Q_INIT_RESOURCE must be used outside any namespace.
static void InitMendoraResources() { Q_INIT_RESOURCE(mendora); }

namespace mendora {

void EnsureResources() {
  static const bool registered = [] {
    InitMendoraResources();
    return true;
  }();
  (void)registered;
}

SkinnedSurface::SkinnedSurface(const QString& skin_path, QWidget* parent) : QWidget(parent) {
  EnsureResources();
  skin_.load(skin_path);
}

void SkinnedSurface::paintEvent(QPaintEvent* /*event*/) {
  if (skin_.isNull()) return;
  QPainter painter(this);
  // Unscaled on purpose: the controls stand on places drawn into the picture.
  painter.drawPixmap(0, 0, skin_);
}

}  // namespace mendora
