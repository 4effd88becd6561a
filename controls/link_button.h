// A push button that looks and acts like a hyperlink: bold underlined text in
// a colour for normal, hovered, visited and disabled, a hand cursor, and a
// click that opens its own text, or composes a mail to it when the desktop
// cannot open it (a bare mail address).
#ifndef MENDORA_CONTROLS_LINK_BUTTON_H_
#define MENDORA_CONTROLS_LINK_BUTTON_H_

#include <QColor>
#include <QFont>
#include <QPushButton>
#include <optional>

namespace mendora {

class DesktopOpener;
class MailSender;

class LinkButton : public QPushButton {
  Q_OBJECT

 public:
  static constexpr int kLinkFontPixels = 14;
  // Room for "SMTP:" and the target in the recipient text of the mail path.
  static constexpr int kMaxMailTarget = 254;

  explicit LinkButton(const QString& text = QString(), QWidget* parent = nullptr);

  void SetServices(DesktopOpener* opener, MailSender* mail) {
    opener_ = opener;
    mail_ = mail;
  }

  bool IsHovering() const { return hovering_; }
  bool IsVisited() const { return visited_; }
  // The colour the text is drawn in right now.
  QColor CurrentTextColor() const;
  // The font the text is drawn in right now (the link font once drawn).
  QFont CurrentFont() const;

  QColor NormalColor() const { return normal_; }
  QColor HoverColor() const { return hover_; }
  QColor VisitedColor() const { return visited_colour_; }
  QColor DisabledColor() const { return disabled_; }

  // What a click does; also run by Enter released on the button.
  void ClickAction();

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  QFont LinkFont();

  QColor normal_;
  QColor hover_;
  QColor visited_colour_{128, 0, 128};
  QColor disabled_;
  bool hovering_ = false;
  bool visited_ = false;
  bool key_pending_ = false;
  std::optional<QFont> link_font_;
  DesktopOpener* opener_ = nullptr;
  MailSender* mail_ = nullptr;
};

}  // namespace mendora

#endif  // MENDORA_CONTROLS_LINK_BUTTON_H_
