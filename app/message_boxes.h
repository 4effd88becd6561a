// Every question and notice of the program goes through MessageBoxes, so
// that tests can read what would be asked and answer it.
#ifndef MENDORA_APP_MESSAGE_BOXES_H_
#define MENDORA_APP_MESSAGE_BOXES_H_

#include <QString>

class QWidget;

namespace mendora {

inline constexpr char kCaption[] = "Mendora";

enum class BoxButtons { kOk, kYesNo };
enum class BoxIcon { kQuestion, kInformation, kWarning };
enum class BoxAnswer { kOk, kYes, kNo };

struct BoxRequest {
  QString text;
  BoxButtons buttons = BoxButtons::kOk;
  BoxIcon icon = BoxIcon::kInformation;
  // Questions that hold a running pass wait on top of every other window.
  bool interrupts_run = false;
};

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  virtual BoxAnswer Show(QWidget* owner, const BoxRequest& request) = 0;
};

class DesktopMessageBoxes : public MessageBoxes {
 public:
  BoxAnswer Show(QWidget* owner, const BoxRequest& request) override;
};

// The text as a message box shows it: line ends as the desktop writes them,
// without the trailing break that some messages carry.
QString DisplayText(const QString& text);

}  // namespace mendora

#endif  // MENDORA_APP_MESSAGE_BOXES_H_
