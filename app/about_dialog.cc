// The About box.
#include "app/about_dialog.h"

#include <QPushButton>
#include <QVBoxLayout>

#include "app/build_info.h"
#include "app/main_dialog.h"
#include "app/skinned_surface.h"
#include "controls/link_button.h"
#include "controls/mail_sender.h"
#include "controls/transparent_static.h"
#include "resources/dialog_layouts.h"

namespace mendora {

namespace al = layout::about_dialog;

ProjectIdentity BuildIdentity() {
  return {QString::fromUtf8(kHomeAddress), QString::fromUtf8(kContactAddress), QString::fromUtf8(kLicence)};
}

AboutDialog::AboutDialog(const AppServices& services, QWidget* parent, const ProjectIdentity& identity)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      mail_sender_(std::make_unique<MailSender>(services.mail)) {
  setWindowTitle(tr("About Mendora"));
  setObjectName(QStringLiteral("aboutDialog"));
  QFont dialog_font = font();
  dialog_font.setPointSize(8);
  setFont(dialog_font);

  surface_ = new SkinnedSurface(QString::fromLatin1(kAboutSkin), this);
  surface_->setObjectName(QStringLiteral("aboutSurface"));
  surface_->setFixedSize(layout::ToPixels(al::kWidth, al::kHeight));

  // The skin carries no text, so the product name and the notice stand on it
  // as labels.
  product_ = new CTransparentStatic(QString::fromLatin1(kProductLine), surface_);
  product_->setObjectName(QStringLiteral("productName"));
  QFont name_font = product_->font();
  name_font.setBold(true);
  name_font.setPointSize(10);
  product_->setFont(name_font);
  product_->setGeometry(layout::ToPixels(al::kProductName).adjusted(0, -3, 0, 5));

  notice_ = new CTransparentStatic(tr(kNoticeLine), surface_);
  notice_->setObjectName(QStringLiteral("noticeLine"));
  notice_->setGeometry(layout::ToPixels(al::kNotice).adjusted(0, 0, 120, 5));

  licence_ = new CTransparentStatic(tr("Licence: %1").arg(identity.licence), surface_);
  licence_->setObjectName(QStringLiteral("licenceLine"));
  licence_->setGeometry(layout::ToPixels(al::kLicence).adjusted(0, 0, 0, 5));
  licence_->setVisible(!identity.licence.isEmpty());

  // The home and contact are the build's: a build without them shows no
  // link rather than one that leads nowhere.
  web_link_ = new LinkButton(identity.home, surface_);
  web_link_->setObjectName(QStringLiteral("webLink"));
  web_link_->setGeometry(layout::ToPixels(al::kWebLink));
  web_link_->SetServices(services.opener, mail_sender_.get());
  web_link_->setVisible(!identity.home.isEmpty());

  mail_link_ = new LinkButton(identity.contact, surface_);
  mail_link_->setObjectName(QStringLiteral("mailLink"));
  mail_link_->setGeometry(layout::ToPixels(al::kMailLink));
  mail_link_->SetServices(services.opener, mail_sender_.get());
  mail_link_->setVisible(!identity.contact.isEmpty());

  ok_ = new QPushButton(tr("OK"), surface_);
  ok_->setObjectName(QStringLiteral("okButton"));
  ok_->setGeometry(layout::ToPixels(al::kOk));
  ok_->setDefault(true);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);

  auto* box = new QVBoxLayout(this);
  box->setContentsMargins(0, 0, 0, 0);
  box->addWidget(surface_);
  box->setSizeConstraint(QLayout::SetFixedSize);
  ok_->setFocus();
}

AboutDialog::~AboutDialog() = default;

}  // namespace mendora
