// Draws Mendora's artwork: the two dialog skins and the program icon.
// Usage: mendora-artwork OUTPUT_DIR
// The pictures carry no text, so the dialogs' labels stay readable on them,
// and keep the places where controls stand plain.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cstdio>

namespace {

const QColor kDeep(0x1d, 0x46, 0x6b);
const QColor kMid(0x2e, 0x6b, 0x95);
const QColor kPale(0xf3, 0xf6, 0xf9);
const QColor kMist(0xdc, 0xe5, 0xee);
const QColor kAccent(0x4f, 0xa3, 0x8f);

// A database drum: an ellipse on top of a cylinder, with the "stitch" of a
// mended seam across its middle.
void DrawDrum(QPainter& p, const QRectF& box, const QColor& line, qreal width, bool stitched) {
  const qreal cap = box.height() * 0.22;
  QPainterPath body;
  body.moveTo(box.left(), box.top() + cap / 2);
  body.lineTo(box.left(), box.bottom() - cap / 2);
  body.arcTo(QRectF(box.left(), box.bottom() - cap, box.width(), cap), 180, 180);
  body.lineTo(box.right(), box.top() + cap / 2);
  p.setPen(QPen(line, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPath(body);
  p.drawEllipse(QRectF(box.left(), box.top(), box.width(), cap));
  const qreal third = (box.height() - cap) / 3;
  for (int i = 1; i <= 2; ++i) {
    const qreal y = box.top() + third * i;
    p.drawArc(QRectF(box.left(), y, box.width(), cap), 180 * 16, 180 * 16);
  }
  if (!stitched) return;
  const qreal y = box.top() + cap / 2 + (box.height() - cap) * 0.55;
  QPen stitch(kAccent, width * 0.9, Qt::SolidLine, Qt::RoundCap);
  p.setPen(stitch);
  const int stitches = 4;
  const qreal step = box.width() / (stitches + 1);
  for (int i = 1; i <= stitches; ++i) {
    const qreal x = box.left() + step * i;
    p.drawLine(QPointF(x - step * 0.25, y - cap * 0.35), QPointF(x + step * 0.25, y + cap * 0.35));
  }
}

void SoftArcs(QPainter& p, const QPointF& centre, qreal from, qreal to, int count, const QColor& colour) {
  p.setBrush(Qt::NoBrush);
  for (int i = 0; i < count; ++i) {
    const qreal r = from + (to - from) * i / qMax(1, count - 1);
    QColor c = colour;
    c.setAlphaF(colour.alphaF() * (1.0 - 0.6 * i / qMax(1, count)));
    p.setPen(QPen(c, 1.4));
    p.drawEllipse(centre, r, r);
  }
}

QImage MainSkin() {
  QImage img(650, 410, QImage::Format_RGB32);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);

  QLinearGradient ground(0, 0, 0, 410);
  ground.setColorAt(0, kPale);
  ground.setColorAt(1, kMist);
  p.fillRect(img.rect(), ground);

  // Header band above the controls.
  QLinearGradient band(0, 0, 650, 100);
  band.setColorAt(0, kDeep);
  band.setColorAt(1, kMid);
  QPainterPath header;
  header.moveTo(0, 0);
  header.lineTo(650, 0);
  header.lineTo(650, 84);
  header.cubicTo(470, 110, 220, 76, 0, 100);
  header.closeSubpath();
  p.fillPath(header, band);
  // A pale seam along the band's lower edge.
  QPainterPath seam;
  seam.moveTo(0, 104);
  seam.cubicTo(220, 80, 470, 114, 650, 88);
  p.setPen(QPen(QColor(255, 255, 255, 150), 1.5));
  p.drawPath(seam);

  p.save();
  p.setClipPath(header);
  SoftArcs(p, QPointF(600, -20), 40, 150, 6, QColor(255, 255, 255, 60));
  p.restore();

  DrawDrum(p, QRectF(52, 20, 42, 54), QColor(255, 255, 255, 230), 2.4, true);
  DrawDrum(p, QRectF(104, 34, 26, 34), QColor(255, 255, 255, 120), 1.6, false);

  // Footer where the buttons and status bar stand.
  QLinearGradient foot(0, 358, 0, 410);
  foot.setColorAt(0, QColor(0xd2, 0xdd, 0xe8));
  foot.setColorAt(1, QColor(0xc4, 0xd2, 0xe0));
  p.fillRect(QRectF(0, 358, 650, 52), foot);
  p.setPen(QPen(QColor(255, 255, 255, 200), 1));
  p.drawLine(QPointF(0, 358.5), QPointF(650, 358.5));

  // Quiet arcs in the corner right of the working area.
  SoftArcs(p, QPointF(660, 330), 30, 110, 5, QColor(0x2e, 0x6b, 0x95, 40));
  return img;
}

QImage AboutSkin() {
  QImage img(416, 223, QImage::Format_RGB32);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient ground(0, 0, 416, 223);
  ground.setColorAt(0, kPale);
  ground.setColorAt(1, kMist);
  p.fillRect(img.rect(), ground);

  QLinearGradient strip(0, 0, 0, 223);
  strip.setColorAt(0, kDeep);
  strip.setColorAt(1, kMid);
  p.fillRect(QRectF(0, 0, 50, 223), strip);
  p.setPen(QPen(kAccent, 2));
  p.drawLine(QPointF(51, 0), QPointF(51, 223));
  DrawDrum(p, QRectF(12, 18, 26, 34), QColor(255, 255, 255, 235), 1.8, true);

  // A fine rule under the product name.
  QLinearGradient rule(60, 0, 300, 0);
  rule.setColorAt(0, QColor(0x2e, 0x6b, 0x95, 170));
  rule.setColorAt(1, QColor(0x2e, 0x6b, 0x95, 0));
  p.fillRect(QRectF(60, 60, 240, 1.5), rule);

  SoftArcs(p, QPointF(420, 230), 40, 130, 5, QColor(0x2e, 0x6b, 0x95, 45));
  return img;
}

QImage Icon() {
  QImage img(256, 256, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient tile(0, 0, 256, 256);
  tile.setColorAt(0, kMid);
  tile.setColorAt(1, kDeep);
  p.setPen(Qt::NoPen);
  p.setBrush(tile);
  p.drawRoundedRect(QRectF(12, 12, 232, 232), 44, 44);
  QRadialGradient glow(QPointF(90, 70), 160);
  glow.setColorAt(0, QColor(255, 255, 255, 50));
  glow.setColorAt(1, QColor(255, 255, 255, 0));
  p.setBrush(glow);
  p.drawRoundedRect(QRectF(12, 12, 232, 232), 44, 44);
  p.setBrush(Qt::NoBrush);
  DrawDrum(p, QRectF(64, 46, 128, 164), QColor(255, 255, 255), 10, true);
  return img;
}

bool Save(const QImage& image, const QDir& dir, const char* name) {
  const QString path = dir.filePath(QString::fromLatin1(name));
  if (!image.save(path, "PNG")) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: mendora-artwork OUTPUT_DIR\n");
    return 2;
  }
  const QDir dir(QString::fromLocal8Bit(argv[1]));
  const bool ok = Save(MainSkin(), dir, "main_skin.png") && Save(AboutSkin(), dir, "about_skin.png") &&
                  Save(Icon(), dir, "mendora.png");
  return ok ? 0 : 1;
}
