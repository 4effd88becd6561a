// The runner that hands a pass to the recovery library.
#include "app/recovery_runner.h"
#include "output/sqlite/sqlite_output.h"

namespace mendora {

PassResult LibraryRecoveryRunner::Run(RecoverySession& session) { return RunRecovery(session); }

TargetFactory LibraryRecoveryRunner::Target() { return SqliteTargetFactory(); }

}  // namespace mendora
