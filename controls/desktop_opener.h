// Opening a web address or a file with whatever the desktop user chose for it.
#ifndef MENDORA_CONTROLS_DESKTOP_OPENER_H_
#define MENDORA_CONTROLS_DESKTOP_OPENER_H_

#include <QString>
#include <QUrl>

namespace mendora {

class DesktopOpener {
 public:
  virtual ~DesktopOpener() = default;
  // False when the target names nothing the desktop can open, or the desktop
  // refused it. A bare mail address is such a target: the caller composes a
  // mail for it instead.
  virtual bool Open(const QString& target) = 0;
};

// The URL that `target` opens as: a URL with a scheme, or an existing local
// file. An empty URL when it is neither.
QUrl OpenableUrl(const QString& target);

class SystemDesktopOpener : public DesktopOpener {
 public:
  bool Open(const QString& target) override;
};

}  // namespace mendora

#endif  // MENDORA_CONTROLS_DESKTOP_OPENER_H_
