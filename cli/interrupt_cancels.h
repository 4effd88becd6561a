// Ctrl-C, a hang-up or a termination request turned into a cancel of the
// running pass, so that a save can remove its unfinished file.
#ifndef MENDORA_CLI_INTERRUPT_CANCELS_H_
#define MENDORA_CLI_INTERRUPT_CANCELS_H_

#include <signal.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "recovery/recovery_session.h"

namespace mendora::cli {

// While alive, Ctrl-C, a hang-up or a termination request cancels `control`'s
// pass at its next safe point instead of killing the process, so a save can
// remove its unfinished file. The signals are blocked and read from a
// signalfd by a thread of their own, where cancelling may lock; a signal
// handler may not. The pass's last safe point before its file is moved into
// place reads the signalfd itself, so an interrupt that has arrived by then
// cancels the save however late it came.
class InterruptCancels {
 public:
  explicit InterruptCancels(PassControl& control);
  ~InterruptCancels();
  InterruptCancels(const InterruptCancels&) = delete;
  InterruptCancels& operator=(const InterruptCancels&) = delete;

  // Cancels the pass for every interrupt that has arrived; true once any has.
  bool Take();

 private:
  PassControl& control_;
  sigset_t signals_;
  sigset_t previous_;
  int fd_ = -1;
  std::mutex mutex_;
  bool interrupted_ = false;
  std::atomic<bool> done_{false};
  std::thread waiter_;
};

}  // namespace mendora::cli

#endif  // MENDORA_CLI_INTERRUPT_CANCELS_H_
