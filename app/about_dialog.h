// The About box: its skin, the product name, and links to the web page and
// to the support mail address.
#ifndef MENDORA_APP_ABOUT_DIALOG_H_
#define MENDORA_APP_ABOUT_DIALOG_H_

#include <QCoreApplication>
#include <QDialog>
#include <memory>

#include "app/app_services.h"

class QPushButton;

namespace mendora {

class CTransparentStatic;
class LinkButton;
class MailSender;
class SkinnedSurface;

inline constexpr char kProductLine[] = "Mendora 2.0";
inline constexpr char kNoticeLine[] =
    QT_TRANSLATE_NOOP("mendora::AboutDialog", "Recovers damaged Access databases into new Access or SQLite databases.");

// The project's own home page, support address and licence; empty values
// are not shown.
struct ProjectIdentity {
  QString home;
  QString contact;
  QString licence;
};

// The identity the build was configured with.
ProjectIdentity BuildIdentity();

class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  AboutDialog(const AppServices& services, QWidget* parent = nullptr,
              const ProjectIdentity& identity = BuildIdentity());
  ~AboutDialog() override;

  LinkButton* webLink() const { return web_link_; }
  LinkButton* mailLink() const { return mail_link_; }
  SkinnedSurface* surface() const { return surface_; }
  CTransparentStatic* licenceLine() const { return licence_; }

 private:
  std::unique_ptr<MailSender> mail_sender_;
  SkinnedSurface* surface_ = nullptr;
  LinkButton* web_link_ = nullptr;
  LinkButton* mail_link_ = nullptr;
  CTransparentStatic* product_ = nullptr;
  CTransparentStatic* notice_ = nullptr;
  CTransparentStatic* licence_ = nullptr;
  QPushButton* ok_ = nullptr;
};

}  // namespace mendora

#endif  // MENDORA_APP_ABOUT_DIALOG_H_
