// Running one recovery pass over a source file.
#include <exception>

#include "reader/jet_handle.h"
#include "recovery/recovery_steps.h"

namespace mendora {

PassResult RunRecovery(RecoverySession& session) {
  PassResult result;
  bool pass_ran = false;
  const bool opened = OpenJetFile(session.SourcePath, 0, [&](JetHandle& handle) {
    pass_ran = true;
    try {
      RecoveryPass(session, handle);
    } catch (const PassCancelled&) {
      result.outcome = PassOutcome::kCancelled;
    } catch (const std::exception& error) {
      result.outcome = PassOutcome::kFailed;
      result.message = error.what();
    } catch (...) {
      result.outcome = PassOutcome::kFailed;
      result.message = "unexpected failure";
    }
    if (result.outcome != PassOutcome::kCompleted && session.TargetDatabase) {
      // A save that did not complete leaves nothing behind.
      session.TargetRecordset.reset();
      session.TargetDatabase->Abandon();
    }
    session.TargetRecordset.reset();
    session.TargetDatabase.reset();
  });
  if (!opened || !pass_ran) {
    result.outcome = PassOutcome::kNotOpened;
    result.message = session.SourcePath + " could not be opened, or it is not a Jet 3 or Jet 4 database";
  }
  return result;
}

}  // namespace mendora
