// The program's start and end: one application object that runs the main
// dialog and ends when the dialog ends.
#ifndef MENDORA_APP_RECOVERY_APP_H_
#define MENDORA_APP_RECOVERY_APP_H_

#include <QApplication>
#include <QLocale>
#include <QStringList>

namespace mendora {

class RecoveryRunner;

inline constexpr char kNoDisplayMessage[] =
    "No display found: Mendora needs a desktop session. Use mendora-cli to recover a database from the terminal.";

// True when Qt has a window system to use: one named by QT_QPA_PLATFORM, or
// an X11 or Wayland display. Each argument is the variable's value or null.
bool DisplayAvailable(const char* qpa_platform, const char* x11_display, const char* wayland_display);

// Installs the program's translation for `locale` (and Qt's own, for the
// standard buttons and the file dialog) when one is installed: beside the
// program, then where the installation puts them. The English plural forms
// come first, from the program itself, for every locale. True when the
// program's own translation for `locale` was found (English always is).
bool InstallTranslation(QCoreApplication& app, const QLocale& locale, const QStringList& folders);
// Beside the program (a build), the installed translations as found from the
// program, then where the configured prefix put them.
QStringList TranslationFolders();
// `from_program` (a path relative to the program's folder) made absolute;
// empty for an empty one.
QString InstalledFolder(const char* from_program);

class RecoveryApp : public QApplication {
  Q_OBJECT

 public:
  RecoveryApp(int& argc, char** argv);
  // Runs the main dialog to its end, with `runner` doing the recovery
  // passes; the exit code of the program. A file named on the command line
  // is taken as the source, as if chosen with Browse.
  int InitInstance(RecoveryRunner& runner);
};

}  // namespace mendora

#endif  // MENDORA_APP_RECOVERY_APP_H_
