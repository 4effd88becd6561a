// The runner that hands a pass to the recovery library.
#include "app/recovery_runner.h"
#include "app/save_targets.h"

namespace mendora {

PassResult LibraryRecoveryRunner::Run(RecoverySession& session) { return RunRecovery(session); }

TargetFactory LibraryRecoveryRunner::Target(SaveFormatId format) { return SaveTargetFactory(format); }

}  // namespace mendora
