// Pausing and cancelling a running pass at its safe points.
#include "recovery/recovery_session.h"

namespace mendora {

void PassControl::RequestPause() {
  std::lock_guard<std::mutex> lock(mutex_);
  pause_requested_ = true;
}

void PassControl::Resume() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    pause_requested_ = false;
  }
  resumed_.notify_all();
}

void PassControl::Cancel() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    cancelled_ = true;
  }
  resumed_.notify_all();
}

bool PassControl::IsPaused() const { return pause_requested_.load(); }

void PassControl::CheckPoint() {
  if (pause_requested_.load()) {
    std::unique_lock<std::mutex> lock(mutex_);
    resumed_.wait(lock, [this] { return !pause_requested_.load() || cancelled_.load(); });
  }
  if (cancelled_.load()) throw PassCancelled{};
}

void PassControl::FinalCheckPoint() {
  std::function<void()> poll;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    poll = late_poll_;
  }
  if (poll) poll();
  CheckPoint();
}

void PassControl::SetLatePoll(std::function<void()> poll) {
  std::lock_guard<std::mutex> lock(mutex_);
  late_poll_ = std::move(poll);
}

void PassControl::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  cancelled_ = false;
  pause_requested_ = false;
}

}  // namespace mendora
