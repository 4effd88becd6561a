// Composing a mail in the user's own mail program.
#include "controls/mail_sender.h"

#include <QProcess>
#include <QStandardPaths>

namespace mendora {
namespace {

struct MailFailure {
  int code;
};

QString BareAddress(const QString& address) {
  const int colon = address.indexOf(QLatin1Char(':'));
  // An address type is a short word before the colon ("SMTP:", "EX:").
  if (colon > 0 && colon <= 8 && !address.left(colon).contains(QLatin1Char('@'))) return address.mid(colon + 1);
  return address;
}

}  // namespace

int MailSender::Load() {
  loaded_ = false;
  if (system_ == nullptr) return kNoMailSystem;
  switch (system_->Probe()) {
    case MailSystem::Presence::kReady:
      loaded_ = true;
      return kLoaded;
    case MailSystem::Presence::kMissing:
      return kNoMailSystem;
    case MailSystem::Presence::kIncomplete:
      return kMailSystemIncomplete;
  }
  return kNoMailSystem;
}

int MailSender::LogOn() {
  logged_on_ = loaded_ && system_->LogOn();
  return logged_on_ ? 1 : 0;
}

uint32_t MailSender::Send(const QString& attachment_path, const QString& attachment_name, const QString& subject,
                          const QString& note_text, const QString& recipient) {
  try {
    if (!logged_on_) throw MailFailure{3};  // the mail system's "login failure"
    if (recipient.isEmpty() || recipient.size() > kMaxRecipientLength) throw MailFailure{15};
    for (const QString* text : {&attachment_path, &attachment_name, &subject, &note_text}) {
      if (text->size() > kMaxTextLength) throw MailFailure{18};
    }
    MailMessage message;
    message.subject = subject;
    message.note_text = note_text;
    message.recipients.push_back({kMailTo, recipient, recipient});
    message.recipients.push_back({kMailCc, recipient, recipient});
    if (!attachment_path.isEmpty()) message.files.push_back({attachment_path, attachment_name});
    const int result = system_->ShowForSending(message);
    if (result != 0) throw MailFailure{result};
    return 0;
  } catch (...) {
    return kSendFailed;
  }
}

MailSystem::Presence DesktopMailSystem::Probe() {
  resolved_ = QStandardPaths::findExecutable(program_);
  return resolved_.isEmpty() ? Presence::kMissing : Presence::kReady;
}

int DesktopMailSystem::ShowForSending(const MailMessage& message) {
  if (resolved_.isEmpty()) return 2;
  return QProcess::startDetached(resolved_, XdgEmailArguments(message)) ? 0 : 2;
}

QStringList XdgEmailArguments(const MailMessage& message) {
  QStringList args;
  QStringList primary;
  for (const MailRecipient& r : message.recipients) {
    const QString address = BareAddress(r.address);
    if (address.isEmpty()) continue;
    if (r.recipient_class == kMailTo) {
      primary << address;
    } else if (r.recipient_class == kMailCc) {
      args << QStringLiteral("--cc") << address;
    } else {
      args << QStringLiteral("--bcc") << address;
    }
  }
  if (!message.subject.isEmpty()) args << QStringLiteral("--subject") << message.subject;
  if (!message.note_text.isEmpty()) args << QStringLiteral("--body") << message.note_text;
  for (const MailAttachment& file : message.files) {
    if (!file.path_name.isEmpty()) args << QStringLiteral("--attach") << file.path_name;
  }
  args << primary;
  return args;
}

}  // namespace mendora
