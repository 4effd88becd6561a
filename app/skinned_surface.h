// The client area of a skinned dialog: its picture painted behind the
// controls at whatever size the window has. At the picture's own size it is
// painted unscaled; larger, the picture is cut into bands so that its
// corners and drawn details keep their shape and only plain stretches of
// gradient grow.
#ifndef MENDORA_APP_SKINNED_SURFACE_H_
#define MENDORA_APP_SKINNED_SURFACE_H_

#include <QMargins>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

namespace mendora {

inline constexpr char kMainSkin[] = ":/mendora/skins/main.png";
inline constexpr char kAboutSkin[] = ":/mendora/skins/about.png";
inline constexpr char kAppIcon[] = ":/mendora/icons/mendora.png";

// Registers the program's pictures; cheap to call again.
void EnsureResources();

class SkinnedSurface : public QWidget {
  Q_OBJECT

 public:
  // The picture is loaded once, here, and kept for the surface's life. One
  // that cannot be loaded leaves the dialog's plain background.
  explicit SkinnedSurface(const QString& skin_path, QWidget* parent = nullptr);

  const QPixmap& skin() const { return skin_; }

  // The parts of the picture drawn unstretched along each edge (in the
  // picture's pixels); what lies between them is stretched.
  void SetFixedEdges(const QMargins& edges) { edges_ = edges; }
  // The picture's rows from `skin_row` down are a footer band, painted
  // behind `footer` wherever the layout puts it: the buttons stay on it
  // however tall the window grows.
  void SetFooter(QWidget* footer, int skin_row);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QPixmap skin_;
  QMargins edges_;
  QPointer<QWidget> footer_;
  int footer_row_ = 0;
};

}  // namespace mendora

#endif  // MENDORA_APP_SKINNED_SURFACE_H_
