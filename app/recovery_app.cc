// Program start and end.
#include "app/recovery_app.h"

#include <QCommandLineParser>
#include <QDir>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

#include "app/app_services.h"
#include "app/build_info.h"
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

QString InstalledFolder(const char* from_program) {
  if (from_program == nullptr || from_program[0] == '\0') return {};
  return QDir::cleanPath(QDir(QCoreApplication::applicationDirPath()).filePath(QString::fromUtf8(from_program)));
}

QStringList TranslationFolders() {
  QStringList folders;
  for (const QString& folder : {QCoreApplication::applicationDirPath(), InstalledFolder(kTranslationsFromProgram),
                                QString::fromUtf8(kTranslationsDirectory)}) {
    if (!folder.isEmpty() && !folders.contains(folder)) folders << folder;
  }
  return folders;
}

bool InstallTranslation(QCoreApplication& app, const QLocale& locale, const QStringList& folders) {
  auto* english = new QTranslator(&app);
  if (english->load(QStringLiteral(":/mendora/i18n/mendora_en.qm"))) {
    QCoreApplication::installTranslator(english);
  } else {
    delete english;
  }
  if (locale.language() == QLocale::English || locale.language() == QLocale::C) return true;
  auto* qt = new QTranslator(&app);
  if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
               QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(qt);
  } else {
    delete qt;
  }
  for (const QString& folder : folders) {
    auto* own = new QTranslator(&app);
    if (own->load(locale, QStringLiteral("mendora"), QStringLiteral("_"), folder)) {
      QCoreApplication::installTranslator(own);
      return true;
    }
    delete own;
  }
  return false;
}

RecoveryApp::RecoveryApp(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("Mendora"));
  setApplicationVersion(QStringLiteral("2.0"));
  // Where QSettings keeps the app's choices (~/.config/Mendora/Mendora.conf).
  setOrganizationName(QStringLiteral("Mendora"));
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

  InstallTranslation(*this, QLocale(), TranslationFolders());
  QCommandLineParser parser;
  parser.setApplicationDescription(tr("Recovers damaged Access databases into new Access or SQLite databases."));
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument(QStringLiteral("file"), tr("The database to open, as if chosen with Browse."),
                               QStringLiteral("[file]"));
  parser.process(*this);

  MainDialog dialog(services);
  const QStringList named = parser.positionalArguments();
  if (!named.isEmpty()) dialog.UseSource(named.first());
  dialog.exec();
  return 0;
}

}  // namespace mendora
