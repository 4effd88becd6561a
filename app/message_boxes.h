// Every question and notice of the program goes through MessageBoxes, so
// that tests can read what would be asked and answer it.
#ifndef MENDORA_APP_MESSAGE_BOXES_H_
#define MENDORA_APP_MESSAGE_BOXES_H_

#include <QCoreApplication>
#include <QString>

class QWidget;

namespace mendora {

inline constexpr char kCaption[] = "Mendora";

// kOkOpenFolder: OK, and a button that opens the folder of a file just saved.
enum class BoxButtons { kOk, kYesNo, kOkOpenFolder };
enum class BoxIcon { kQuestion, kInformation, kWarning };
enum class BoxAnswer { kOk, kYes, kNo, kOpenFolder };

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
  Q_DECLARE_TR_FUNCTIONS(DesktopMessageBoxes)

 public:
  BoxAnswer Show(QWidget* owner, const BoxRequest& request) override;
};

// The text as a message box shows it: line ends as the desktop writes them,
// without the trailing break that some messages carry.
QString DisplayText(const QString& text);

}  // namespace mendora

#endif  // MENDORA_APP_MESSAGE_BOXES_H_
