// What the dialogs reach outside themselves through: the user's answers,
// file choices, the desktop's opener and mail composer, and the recovery
// pass. The program passes the real ones; tests pass their own.
#ifndef MENDORA_APP_APP_SERVICES_H_
#define MENDORA_APP_APP_SERVICES_H_

namespace mendora {

class MessageBoxes;
class FileDialogs;
class DesktopOpener;
class MailSystem;
class RecoveryRunner;

struct AppServices {
  MessageBoxes* boxes = nullptr;
  FileDialogs* files = nullptr;
  DesktopOpener* opener = nullptr;
  MailSystem* mail = nullptr;
  RecoveryRunner* runner = nullptr;
};

}  // namespace mendora

#endif  // MENDORA_APP_APP_SERVICES_H_
