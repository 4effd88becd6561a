// The message boxes the user answers, behind the MessageBoxes interface.
#include "app/message_boxes.h"

#include <QMessageBox>
#include <QPushButton>

namespace mendora {

QString DisplayText(const QString& text) {
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  while (shown.endsWith(QLatin1Char('\n'))) shown.chop(1);
  return shown;
}

BoxAnswer DesktopMessageBoxes::Show(QWidget* owner, const BoxRequest& request) {
  QMessageBox box(owner);
  box.setWindowTitle(QString::fromLatin1(kCaption));
  box.setText(DisplayText(request.text));
  box.setTextFormat(Qt::PlainText);
  switch (request.icon) {
    case BoxIcon::kQuestion:
      box.setIcon(QMessageBox::Question);
      break;
    case BoxIcon::kInformation:
      box.setIcon(QMessageBox::Information);
      break;
    case BoxIcon::kWarning:
      box.setIcon(QMessageBox::Warning);
      break;
  }
  QPushButton* open_folder = nullptr;
  if (request.buttons == BoxButtons::kYesNo) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
  } else if (request.buttons == BoxButtons::kOkOpenFolder) {
    open_folder = box.addButton(tr("&Open folder"), QMessageBox::ActionRole);
    open_folder->setObjectName(QStringLiteral("openFolderButton"));
    box.setDefaultButton(box.addButton(QMessageBox::Ok));
  } else {
    box.setStandardButtons(QMessageBox::Ok);
  }
  box.setWindowModality(request.interrupts_run ? Qt::ApplicationModal : Qt::WindowModal);
  if (request.interrupts_run) box.setWindowFlag(Qt::WindowStaysOnTopHint);
  const int answer = box.exec();
  if (open_folder != nullptr) return box.clickedButton() == open_folder ? BoxAnswer::kOpenFolder : BoxAnswer::kOk;
  if (request.buttons == BoxButtons::kOk) return BoxAnswer::kOk;
  return answer == QMessageBox::Yes ? BoxAnswer::kYes : BoxAnswer::kNo;
}

}  // namespace mendora
