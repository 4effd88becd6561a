// Interrupts read from a signalfd and passed on as cancels.
#include "cli/interrupt_cancels.h"

#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace mendora::cli {

InterruptCancels::InterruptCancels(PassControl& control) : control_(control) {
  sigemptyset(&signals_);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals_, signal);
  pthread_sigmask(SIG_BLOCK, &signals_, &previous_);
  fd_ = signalfd(-1, &signals_, SFD_NONBLOCK | SFD_CLOEXEC);
  control_.SetLatePoll([this] { Take(); });
  waiter_ = std::thread([this] {
    while (!done_.load()) {
      pollfd ready{fd_, POLLIN, 0};
      if (::poll(&ready, 1, 50) > 0) Take();
    }
  });
}

InterruptCancels::~InterruptCancels() {
  done_ = true;
  waiter_.join();
  control_.SetLatePoll({});
  Take();  // what is still queued would kill the process once unblocked
  if (fd_ >= 0) ::close(fd_);
  pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

bool InterruptCancels::Take() {
  std::lock_guard<std::mutex> lock(mutex_);
  signalfd_siginfo info;
  while (fd_ >= 0 && ::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    interrupted_ = true;
    control_.Cancel();
  }
  return interrupted_;
}

}  // namespace mendora::cli
