// Threads that decode a table's rows while the pass reads and delivers them.
//
// A pass hands batches of data pages to the pool and takes the decoded rows
// back in the order it handed the batches in; whatever must happen in file
// order (damage reports, long values, outputs) stays on the pass's thread.
// A batch nobody has started when the pass needs it is decoded by the pass
// itself, so a busy machine costs no more than decoding on one thread.
#ifndef MENDORA_READER_DECODE_POOL_H_
#define MENDORA_READER_DECODE_POOL_H_

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace mendora {

// One piece of work, run exactly once: by a pool thread or by its owner,
// whichever takes it first. Shared with the queue, so a task the owner gives
// up on (a cancelled pass) stays alive until a pool thread drops it.
class DecodeTask {
 public:
  virtual ~DecodeTask() = default;
  // Runs the work here unless another thread took it; then waits until it
  // is done. Rethrows what the work threw.
  void RunOrWait();
  // Takes the task out of the pool's hands if no thread has started it;
  // waits for it otherwise. Afterwards it is never run.
  void Cancel();
  // Makes the task runnable again once its results have been taken.
  void Reset() {
    error_ = nullptr;
    state_.store(kQueued);
  }
  // Runs the work here if no thread has taken it yet; false, at once,
  // otherwise. An owner that would wait for one task does another meanwhile.
  bool TryRun();
  bool Done() const { return state_.load() == kDone; }

 protected:
  virtual void Run() = 0;

 private:
  friend class DecodePool;
  enum State : int { kQueued, kRunning, kDone };
  std::atomic<int> state_{kQueued};
  std::exception_ptr error_;
};

class DecodePool {
 public:
  // `threads` helpers beside the pass's own thread (0 makes none: every
  // task is then run by its owner).
  explicit DecodePool(unsigned threads);
  ~DecodePool();
  DecodePool(const DecodePool&) = delete;
  DecodePool& operator=(const DecodePool&) = delete;

  unsigned threads() const { return static_cast<unsigned>(threads_.size()); }
  void Submit(std::shared_ptr<DecodeTask> task);

  // The decoding threads a pass uses when none are asked for.
  static unsigned DefaultJobs();

 private:
  void Work();

  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::shared_ptr<DecodeTask>> queue_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace mendora

#endif  // MENDORA_READER_DECODE_POOL_H_
