// Stand-ins for everything the app reaches outside itself: answers to its
// questions, file choices, the desktop opener, the mail system and a
// recovery pass that the test drives step by step.
#ifndef MENDORA_TESTS_APP_TEST_SUPPORT_H_
#define MENDORA_TESTS_APP_TEST_SUPPORT_H_

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSemaphore>
#include <QString>
#include <QStringList>
#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "app/file_dialogs.h"
#include "app/message_boxes.h"
#include "app/password_dialogs.h"
#include "app/recovery_runner.h"
#include "app/save_formats.h"
#include "controls/desktop_opener.h"
#include "controls/mail_sender.h"

namespace mendora::testing {

class FakeBoxes : public MessageBoxes {
 public:
  BoxAnswer Show(QWidget* /*owner*/, const BoxRequest& request) override {
    seen.push_back(request);
    if (on_show) on_show(request);
    if (request.buttons == BoxButtons::kOk) return BoxAnswer::kOk;
    if (answers.empty()) return request.buttons == BoxButtons::kOkOpenFolder ? BoxAnswer::kOk : BoxAnswer::kNo;
    const BoxAnswer answer = answers.front();
    answers.pop_front();
    return answer;
  }

  QStringList Texts() const {
    QStringList texts;
    for (const BoxRequest& r : seen) texts << r.text;
    return texts;
  }

  std::vector<BoxRequest> seen;
  std::deque<BoxAnswer> answers;
  // Runs while the box would be open, before it is answered.
  std::function<void(const BoxRequest&)> on_show;
};

class FakePasswords : public PasswordDialogs {
 public:
  std::optional<QString> AskPassword(QWidget*, const QString& file, bool wrong) override {
    asked.push_back({file, wrong});
    if (answers.empty()) return std::nullopt;
    const std::optional<QString> answer = answers.front();
    answers.pop_front();
    return answer;
  }
  struct Question {
    QString file;
    bool wrong;
  };
  std::vector<Question> asked;
  std::deque<std::optional<QString>> answers;  // nothing: Cancel
};

class FakeFiles : public FileDialogs {
 public:
  QString OpenFileName(QWidget*, const QString& title, const QString& folder, const QString& filter) override {
    open_title = title;
    open_folder = folder;
    open_filter = filter;
    ++open_calls;
    return open_answer;
  }
  SaveChoice SaveFileName(QWidget*, const QString& title, const QString& suggested, const QString& filters,
                          const QString& selected) override {
    save_title = title;
    save_suggested = suggested;
    save_filter = filters;
    save_selected = selected;
    ++save_calls;
    if (!save_answer_filter.isEmpty()) return {save_answer, save_answer_filter};
    // A user who types a name of a format's own picks that format.
    const QString name = QFileInfo(save_answer).fileName();
    for (const SaveOption& format : SaveOptions()) {
      for (const QString& pattern : QString::fromLatin1(format.patterns).split(QLatin1Char(' '))) {
        if (pattern != QLatin1String("*") && QDir::match(pattern, name)) return {save_answer, SaveFilter(format)};
      }
    }
    return {save_answer, selected};
  }

  QString open_answer, open_title, open_folder, open_filter;
  QString save_answer, save_title, save_suggested, save_filter, save_selected;
  // The filter chosen with save_answer; empty: the format whose pattern the
  // name matches, else the one the dialog selected.
  QString save_answer_filter;
  int open_calls = 0;
  int save_calls = 0;
};

class FakeOpener : public DesktopOpener {
 public:
  bool Open(const QString& target) override {
    opened << target;
    return succeed;
  }
  QStringList opened;
  bool succeed = true;
};

class FakeMailSystem : public MailSystem {
 public:
  Presence Probe() override {
    ++probes;
    return presence;
  }
  bool LogOn() override {
    ++logons;
    return logon_ok;
  }
  int ShowForSending(const MailMessage& message) override {
    shown.push_back(message);
    return compose_result;
  }

  Presence presence = Presence::kReady;
  bool logon_ok = true;
  int compose_result = 0;
  int probes = 0;
  int logons = 0;
  std::vector<MailMessage> shown;
};

// What a run was started with.
struct SessionRecord {
  RunMode run_mode = RunMode::kAnalysis;
  std::string source_path;
  std::string source_length_text;
  std::string target_path;
  bool replace_existing = false;
  bool has_target_factory = false;
  std::optional<std::string> password;
  bool deleted_rows = false;
};

// A pass in steps. Each step waits for the test to release it (when gated),
// passes a safe point, then reports a log and its progress. Cancelling ends
// it at the next safe point, as the library's pass does.
class ScriptedRunner : public RecoveryRunner {
 public:
  // The English log after `step` steps: each step reads a table "TableN"
  // of N * 10 records.
  static QString LogAfter(int step) {
    QString tables;
    int total = 0;
    for (int i = 1; i <= step; ++i) {
      tables += QStringLiteral("\r\nTable%1 :  %2  Records").arg(i).arg(i * 10);
      total += i * 10;
    }
    return QStringLiteral("\r\nTotal Number of Records :\r\n%1\r\n").arg(total) + tables + QStringLiteral("\r\n\r\n");
  }

  PassResult Run(RecoverySession& session) override {
    {
      std::lock_guard<std::mutex> lock(mutex);
      sessions.push_back({session.options.mode, session.options.source_path, session.options.source_file_length_text,
                          session.options.target_path, session.options.replace_existing,
                          static_cast<bool>(session.options.make_target), session.options.password,
                          session.options.recover_deleted_rows});
      if (!next_outcomes.empty()) {
        // The password is checked at open, before any step.
        const PassOutcome early = next_outcomes.front();
        next_outcomes.pop_front();
        if (early != PassOutcome::kCompleted) return {early, {}};
      }
    }
    session.results.source_encrypted = source_encrypted;
    try {
      for (int step = 1; step <= steps; ++step) {
        if (gated) {
          while (!gate.tryAcquire(1, 5)) {
            if (session.control.IsCancelled()) throw PassCancelled{};
          }
        }
        session.control.CheckPoint();
        AnalysisEvent table{.kind = AnalysisEvent::Kind::kTable, .table = "Table" + std::to_string(step), .records = step * 10};
        session.results.analysis_events.push_back(table);
        if (session.options.observer) {
          session.options.observer->OnAnalysisEvent(table);
          session.options.observer->OnProgress(static_cast<uint32_t>(step), static_cast<uint32_t>(steps));
          session.options.observer->OnTableProgress("Table" + std::to_string(step), step * 10, step * 100);
        }
        ++steps_done;
      }
      session.control.CheckPoint();
      // Past its last safe point: the pass can no longer be paused or cancelled.
      if (hold_at_end) end_gate.acquire();
      for (const std::string& loss : losses) session.results.losses.PieceLost(loss);
      if (outcome == PassOutcome::kCompleted && session.options.mode == RunMode::kSave) {
        QFile out(QString::fromStdString(session.options.target_path));
        if (out.open(QIODevice::WriteOnly)) out.write("recovered");
      }
      ++completed_runs;
      return {outcome, message};
    } catch (const PassCancelled&) {
      ++cancelled_runs;
      return {PassOutcome::kCancelled, {}};
    }
  }

  TargetFactory Target(SaveFormatId format) override {
    std::lock_guard<std::mutex> lock(mutex);
    formats.push_back(format);
    return [](const std::string&, bool) { return std::unique_ptr<RecoveryOutput>(); };
  }

  SessionRecord LastSession() {
    std::lock_guard<std::mutex> lock(mutex);
    return sessions.empty() ? SessionRecord{} : sessions.back();
  }
  size_t SessionCount() {
    std::lock_guard<std::mutex> lock(mutex);
    return sessions.size();
  }

  int steps = 3;
  bool gated = false;
  QSemaphore gate;
  bool hold_at_end = false;
  QSemaphore end_gate;
  PassOutcome outcome = PassOutcome::kCompleted;
  // Outcomes at open of the next runs (a password refused, say), before
  // `outcome` applies.
  std::deque<PassOutcome> next_outcomes;
  bool source_encrypted = false;
  std::vector<std::string> losses;  // reported by every run
  std::string message;
  std::atomic<int> steps_done{0};
  std::atomic<int> completed_runs{0};
  std::atomic<int> cancelled_runs{0};
  std::mutex mutex;
  std::vector<SessionRecord> sessions;
  std::vector<SaveFormatId> formats;  // asked of Target, in order
};

}  // namespace mendora::testing

#endif  // MENDORA_TESTS_APP_TEST_SUPPORT_H_
