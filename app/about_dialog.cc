// The About box.
#include "app/about_dialog.h"

#include <QPushButton>
#include <algorithm>
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

// The client area the skin was drawn for with the 8-point font.
constexpr QSize kDrawnSize{414, 205};

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
  dialog_font.setPointSize(layout::kDialogPointSize);
  setFont(dialog_font);

  surface_ = new SkinnedSurface(QString::fromLatin1(kAboutSkin), this);
  surface_->setObjectName(QStringLiteral("aboutSurface"));
  surface_->SetFixedEdges(al::kFixedEdges);

  // The skin carries no text, so the product name and the notice stand on it
  // as labels.
  product_ = new CTransparentStatic(QString::fromLatin1(kProductLine), surface_);
  product_->setObjectName(QStringLiteral("productName"));
  QFont name_font = product_->font();
  name_font.setBold(true);
  name_font.setPointSize(10);
  product_->setFont(name_font);

  notice_ = new CTransparentStatic(tr(kNoticeLine), surface_);
  notice_->setObjectName(QStringLiteral("noticeLine"));

  licence_ = new CTransparentStatic(tr("Licence: %1").arg(identity.licence), surface_);
  licence_->setObjectName(QStringLiteral("licenceLine"));
  licence_->setVisible(!identity.licence.isEmpty());

  // The home and contact are the build's: a build without them shows no
  // link rather than one that leads nowhere.
  web_link_ = new LinkButton(identity.home, surface_);
  web_link_->setObjectName(QStringLiteral("webLink"));
  web_link_->SetServices(services.opener, mail_sender_.get());
  web_link_->setVisible(!identity.home.isEmpty());

  mail_link_ = new LinkButton(identity.contact, surface_);
  mail_link_->setObjectName(QStringLiteral("mailLink"));
  mail_link_->SetServices(services.opener, mail_sender_.get());
  mail_link_->setVisible(!identity.contact.isEmpty());

  ok_ = new QPushButton(tr("OK"), surface_);
  ok_->setObjectName(QStringLiteral("okButton"));
  ok_->setMinimumWidth(std::max(layout::kButtonWidth, ok_->sizeHint().width()));
  ok_->setDefault(true);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);

  auto* text = new QVBoxLayout(surface_);
  text->setContentsMargins(al::kTextArea);
  text->setSpacing(4);
  text->addWidget(product_);
  // The rule drawn under the product name.
  text->addSpacing(10);
  text->addWidget(notice_);
  text->addWidget(licence_);
  text->addStretch(1);
  text->addWidget(web_link_, 0, Qt::AlignLeft);
  text->addWidget(mail_link_, 0, Qt::AlignLeft);
  text->addSpacing(6);
  text->addWidget(ok_, 0, Qt::AlignHCenter);

  auto* box = new QVBoxLayout(this);
  box->setContentsMargins(0, 0, 0, 0);
  box->addWidget(surface_);
  // As large as its words need, never smaller than the box was drawn.
  surface_->setMinimumSize(surface_->minimumSizeHint().expandedTo(kDrawnSize));
  box->setSizeConstraint(QLayout::SetFixedSize);
  ok_->setFocus();
}

AboutDialog::~AboutDialog() = default;

}  // namespace mendora
