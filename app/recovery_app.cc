// Program start and end.
#include "app/recovery_app.h"

#include <QIcon>

#include "app/app_services.h"
#include "app/file_dialogs.h"
#include "app/main_dialog.h"
#include "app/message_boxes.h"
#include "app/password_dialogs.h"
#include "app/skinned_surface.h"
#include "controls/desktop_opener.h"
#include "controls/mail_sender.h"

namespace mendora {

bool DisplayAvailable(const char* qpa_platform, const char* x11_display, const char* wayland_display) {
  auto set = [](const char* value) { return value != nullptr && value[0] != '\0'; };
  return set(qpa_platform) || set(x11_display) || set(wayland_display);
}

RecoveryApp::RecoveryApp(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("Mendora"));
  setApplicationVersion(QStringLiteral("2.0"));
  setOrganizationDomain(QStringLiteral("mendora.example.org"));
  setDesktopFileName(QStringLiteral("mendora"));
  EnsureResources();
  setWindowIcon(QIcon(QString::fromLatin1(kAppIcon)));
}

int RecoveryApp::InitInstance(RecoveryRunner& runner) {
  DesktopMessageBoxes boxes;
  DesktopFileDialogs files;
  SystemDesktopOpener opener;
  DesktopMailSystem mail;
  DesktopPasswordDialogs passwords;
  const AppServices services{&boxes, &files, &opener, &mail, &runner, &passwords};

  MainDialog dialog(services);
  dialog.exec();
  return 0;
}

}  // namespace mendora
