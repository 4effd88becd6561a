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

  // A text wider than the label (a long path) is shown cut with an ellipsis
  // where `mode` says, whole in its tooltip, instead of clipped; the label
  // then asks for no more width than the ellipsis.
  void SetElideMode(Qt::TextElideMode mode);
  Qt::TextElideMode ElideMode() const { return elide_; }
  // The text as drawn at the label's present width.
  QString ShownText() const;

  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void UpdateToolTip();

  Qt::TextElideMode elide_ = Qt::ElideNone;
};

}  // namespace mendora

#endif  // MENDORA_CONTROLS_TRANSPARENT_STATIC_H_
