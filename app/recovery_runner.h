// The seam between the workflow and the recovery library: the workflow hands
// a filled session to a RecoveryRunner on its worker thread.
#ifndef MENDORA_APP_RECOVERY_RUNNER_H_
#define MENDORA_APP_RECOVERY_RUNNER_H_

#include "app/save_formats.h"
#include "recovery/recovery_session.h"

namespace mendora {

class RecoveryRunner {
 public:
  virtual ~RecoveryRunner() = default;
  // Runs one pass on the calling thread. Honours session.control and reports
  // to session.options.observer; a cancelled pass returns kCancelled and leaves no
  // file at session.options.target_path.
  virtual PassResult Run(RecoverySession& session) = 0;
  // The output a save pass in `format` writes through.
  virtual TargetFactory Target(SaveFormatId format) = 0;
};

// The recovery library's own pass and outputs.
class LibraryRecoveryRunner : public RecoveryRunner {
 public:
  PassResult Run(RecoverySession& session) override;
  TargetFactory Target(SaveFormatId format) override;
};

}  // namespace mendora

#endif  // MENDORA_APP_RECOVERY_RUNNER_H_
