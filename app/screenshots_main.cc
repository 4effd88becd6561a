// mendora-screenshots: renders the main window before, during and after an
// analysis of a sample database, and the About box, into PNG files.
// Usage: mendora-screenshots OUTPUT_DIR [SAMPLE.mdb]
// Runs offscreen; the sample defaults to the shared Northwind sample.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "app/about_dialog.h"
#include "app/control_ids.h"
#include "app/file_dialogs.h"
#include "app/main_dialog.h"
#include "app/message_boxes.h"
#include "app/recovery_runner.h"
#include "controls/desktop_opener.h"
#include "controls/mail_sender.h"

#ifndef MENDORA_DEFAULT_SAMPLE
#define MENDORA_DEFAULT_SAMPLE ""
#endif

namespace {

using namespace mendora;

class QuietBoxes : public MessageBoxes {
 public:
  BoxAnswer Show(QWidget*, const BoxRequest& request) override {
    return request.buttons == BoxButtons::kOk ? BoxAnswer::kOk : BoxAnswer::kYes;
  }
};

class GivenFile : public FileDialogs {
 public:
  explicit GivenFile(QString path) : path_(std::move(path)) {}
  QString OpenFileName(QWidget*, const QString&, const QString&, const QString&) override { return path_; }
  SaveChoice SaveFileName(QWidget*, const QString&, const QString&, const QString&, const QString&) override {
    return {};
  }

 private:
  QString path_;
};

class NoOpener : public DesktopOpener {
 public:
  bool Open(const QString&) override { return true; }
};

// The library's pass, held a little before half-way through the file until
// released, so that the window can be pictured mid-run.
class PausingRunner : public RecoveryRunner {
 public:
  PassResult Run(RecoverySession& session) override {
    Hold hold(session.options.observer, *this);
    session.options.observer = &hold;
    return real_.Run(session);
  }
  TargetFactory Target(SaveFormatId format) override { return real_.Target(format); }

  std::atomic<bool> held{false};
  std::atomic<bool> release{false};

 private:
  class Hold : public RecoveryObserver {
   public:
    Hold(RecoveryObserver* inner, PausingRunner& owner) : inner_(inner), owner_(owner) {}
    void OnAnalysisEvent(const AnalysisEvent& event) override { inner_->OnAnalysisEvent(event); }
    void OnTableProgress(const std::string& table, int64_t table_rows, int64_t pass_rows) override {
      inner_->OnTableProgress(table, table_rows, pass_rows);
    }
    void OnProgress(uint32_t done, uint32_t total) override {
      inner_->OnProgress(done, total);
      if (owner_.held || uint64_t(done) * 100 < uint64_t(total) * 45) return;
      owner_.held = true;
      while (!owner_.release) QThread::msleep(5);
    }

   private:
    RecoveryObserver* inner_;
    PausingRunner& owner_;
  };
  LibraryRecoveryRunner real_;
};

void Settle(int ms = 100) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

bool WaitFor(const std::function<bool()>& done) {
  for (int i = 0; i < 6000 && !done(); ++i) Settle(10);
  return done();
}

bool Shoot(QWidget& w, const QDir& dir, const char* name) {
  Settle();
  const QString path = dir.filePath(QString::fromLatin1(name));
  if (!w.grab().save(path, "PNG")) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: mendora-screenshots OUTPUT_DIR [SAMPLE.mdb]\n");
    return 2;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  QString sample = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
  if (sample.isEmpty()) {
    const char* corpus = std::getenv("MENDORA_CORPUS");
    sample = corpus != nullptr ? QDir(QString::fromLocal8Bit(corpus)).filePath(QStringLiteral("jet4-northwind.mdb"))
                               : QString::fromLatin1(MENDORA_DEFAULT_SAMPLE);
  }
  if (!QFile::exists(sample)) {
    std::fprintf(stderr, "sample database not found: %s\n", qPrintable(sample));
    return 1;
  }
  // A plain, short path for the pictures.
  QTemporaryDir work(QDir::temp().filePath(QStringLiteral("Documents-XXXXXX")));
  const QString source = QDir(work.path()).filePath(QStringLiteral("Northwind.mdb"));
  QFile::copy(sample, source);

  QuietBoxes boxes;
  GivenFile files(source);
  NoOpener opener;
  DesktopMailSystem mail;
  PausingRunner runner;
  const AppServices services{&boxes, &files, &opener, &mail, &runner};

  MainDialog dialog(services);
  dialog.show();
  bool ok = Shoot(dialog, out, "main-start.png");
  dialog.OnCommand(kIdBrowse);
  ok = ok && Shoot(dialog, out, "main-before.png");
  dialog.OnCommand(kIdNext);
  ok = ok && WaitFor([&] { return runner.held.load(); });
  Settle(300);
  ok = ok && Shoot(dialog, out, "main-during.png");
  runner.release = true;
  ok = ok && WaitFor([&] { return dialog.state() == MainDialog::State::kCompleted; });
  ok = ok && Shoot(dialog, out, "main-after.png");

  AboutDialog about(services, &dialog);
  about.show();
  ok = ok && Shoot(about, out, "about.png");
  return ok ? 0 : 1;
}
