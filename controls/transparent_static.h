// A text label without a background of its own, so that the dialog's skin
// shows around and through its letters.
#ifndef MENDORA_CONTROLS_TRANSPARENT_STATIC_H_
#define MENDORA_CONTROLS_TRANSPARENT_STATIC_H_

#include <QLabel>

namespace mendora {

class CTransparentStatic : public QLabel {
  Q_OBJECT

 public:
  explicit CTransparentStatic(const QString& text = QString(), QWidget* parent = nullptr);

  // Changes the text and has the parent repaint the label's area at once: the
  // label draws no background, so without that the old letters would stay on
  // the skin under the new ones.
  void SetText(const QString& text);
};

}  // namespace mendora

#endif  // MENDORA_CONTROLS_TRANSPARENT_STATIC_H_
