// Putting a prepared mail in front of the user in their own mail program.
// Nothing is ever sent without the user: the mail program shows the message
// and the user edits and sends it there.
#ifndef MENDORA_CONTROLS_MAIL_SENDER_H_
#define MENDORA_CONTROLS_MAIL_SENDER_H_

#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

namespace mendora {

inline constexpr int kMailTo = 1;
inline constexpr int kMailCc = 2;

struct MailRecipient {
  int recipient_class = kMailTo;
  QString name;
  QString address;  // may carry an address type, as in "SMTP:someone@host"
};

struct MailAttachment {
  QString path_name;
  QString file_name;
};

struct MailMessage {
  QString subject;
  QString note_text;
  std::vector<MailRecipient> recipients;
  std::vector<MailAttachment> files;
};

// What the desktop offers for composing mail.
class MailSystem {
 public:
  enum class Presence { kReady, kMissing, kIncomplete };
  virtual ~MailSystem() = default;
  virtual Presence Probe() = 0;
  virtual bool LogOn() = 0;
  // Opens the message for the user to edit and send. 0 once it is shown,
  // otherwise the mail system's own error code.
  virtual int ShowForSending(const MailMessage& message) = 0;
};

class MailSender {
 public:
  static constexpr int kLoaded = 0;
  static constexpr int kNoMailSystem = 2;
  static constexpr int kMailSystemIncomplete = 4;
  static constexpr uint32_t kSendFailed = 0x80004005u;
  // An ordinary address with its "SMTP:" prefix fits easily; a longer text
  // is refused rather than cut, since a cut address reaches someone else.
  static constexpr int kMaxRecipientLength = 320;
  static constexpr int kMaxTextLength = 16384;

  explicit MailSender(MailSystem* system) : system_(system) {}

  // kLoaded, kNoMailSystem or kMailSystemIncomplete.
  int Load();
  // 1 when a mail session is open, 0 when it was refused or cancelled.
  int LogOn();
  // The recipient becomes both the primary and the copy recipient. An empty
  // attachment path means no attachment. 0, or kSendFailed for any failure.
  uint32_t Send(const QString& attachment_path, const QString& attachment_name, const QString& subject,
                const QString& note_text, const QString& recipient);

 private:
  MailSystem* system_;
  bool loaded_ = false;
  bool logged_on_ = false;
};

// The desktop's mail composer through xdg-email.
class DesktopMailSystem : public MailSystem {
 public:
  explicit DesktopMailSystem(QString program = QStringLiteral("xdg-email")) : program_(std::move(program)) {}
  Presence Probe() override;
  bool LogOn() override { return true; }  // desktop composers need no session of ours
  int ShowForSending(const MailMessage& message) override;

 private:
  QString program_;
  QString resolved_;
};

// The command-line arguments of xdg-email for `message`. Address types such
// as "SMTP:" are dropped: desktop mail programs take bare addresses.
QStringList XdgEmailArguments(const MailMessage& message);

}  // namespace mendora

#endif  // MENDORA_CONTROLS_MAIL_SENDER_H_
