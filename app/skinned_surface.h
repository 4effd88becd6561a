// The client area of a skinned dialog: its picture painted at its own size
// from the top-left corner, never scaled.
#ifndef MENDORA_APP_SKINNED_SURFACE_H_
#define MENDORA_APP_SKINNED_SURFACE_H_

#include <QPixmap>
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

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QPixmap skin_;
};

}  // namespace mendora

#endif  // MENDORA_APP_SKINNED_SURFACE_H_
