// Painting a dialog's skin.
#include "app/skinned_surface.h"

#include <QPainter>
#include <qdrawutil.h>

#include <algorithm>

// Q_INIT_RESOURCE must be used outside any namespace.
static void InitMendoraResources() { Q_INIT_RESOURCE(mendora); }

namespace mendora {

namespace {

// Paints `source` of the skin into `target`: the edges unstretched (cut
// down evenly where the target is smaller than they are), the rest
// stretched.
void DrawBand(QPainter& painter, const QRect& target, const QPixmap& skin, const QRect& source, QMargins edges) {
  if (target.isEmpty() || source.isEmpty()) return;
  auto fit = [](int& first, int& second, int room) {
    if (first + second <= room) return;
    const int total = first + second;
    first = room * first / total;
    second = room - first;
  };
  int left = edges.left(), right = edges.right(), top = edges.top(), bottom = edges.bottom();
  fit(left, right, std::min(target.width(), source.width()));
  fit(top, bottom, std::min(target.height(), source.height()));
  const QMargins fitted(left, top, right, bottom);
  qDrawBorderPixmap(&painter, target, fitted, skin, source, fitted);
}

}  // namespace

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

void SkinnedSurface::SetFooter(QWidget* footer, int skin_row) {
  footer_ = footer;
  footer_row_ = std::clamp(skin_row, 0, skin_.height());
}

void SkinnedSurface::paintEvent(QPaintEvent* /*event*/) {
  if (skin_.isNull()) return;
  QPainter painter(this);
  const QRect whole = skin_.rect();
  if (footer_ == nullptr) {
    if (size() == skin_.size()) {
      painter.drawPixmap(0, 0, skin_);
    } else {
      DrawBand(painter, rect(), skin_, whole, edges_);
    }
    return;
  }
  // The body above the footer, then the footer band from where the footer
  // widget stands to the bottom edge.
  const int footer_top = std::clamp(mapFromGlobal(footer_->mapToGlobal(QPoint(0, 0))).y(), 0, height());
  const QRect body_source(0, 0, whole.width(), footer_row_);
  const QRect footer_source(0, footer_row_, whole.width(), whole.height() - footer_row_);
  DrawBand(painter, QRect(0, 0, width(), footer_top), skin_, body_source, edges_);
  DrawBand(painter, QRect(0, footer_top, width(), height() - footer_top), skin_, footer_source,
           QMargins(edges_.left(), 0, edges_.right(), 0));
}

}  // namespace mendora
