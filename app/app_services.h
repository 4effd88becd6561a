// What the dialogs reach outside themselves through: the user's answers,
// file choices, the desktop's opener and mail composer, the recovery
// pass and the passwords of encrypted sources. The program passes the real ones; tests pass their own.
#ifndef MENDORA_APP_APP_SERVICES_H_
#define MENDORA_APP_APP_SERVICES_H_

namespace mendora {

class MessageBoxes;
class FileDialogs;
class DesktopOpener;
class MailSystem;
class RecoveryRunner;
class PasswordDialogs;

struct AppServices {
  MessageBoxes* boxes = nullptr;
  FileDialogs* files = nullptr;
  DesktopOpener* opener = nullptr;
  MailSystem* mail = nullptr;
  RecoveryRunner* runner = nullptr;
  PasswordDialogs* passwords = nullptr;
};

}  // namespace mendora

#endif  // MENDORA_APP_APP_SERVICES_H_
