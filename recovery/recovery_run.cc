// Running one recovery pass over a source file.
#include <exception>

#include "reader/jet_handle.h"
#include "recovery/recovery_steps.h"

namespace mendora {

PassResult RunRecovery(RecoverySession& session) {
  PassResult result;
  std::string open_error;
  const bool opened = OpenJetFile(
      session.SourcePath,
      [&](JetHandle& handle) {
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
        if (result.outcome != PassOutcome::kCompleted) {
          // A save that did not complete leaves nothing behind; a dump
          // closes what it wrote.
          for (RecoveryOutput* output : session.active_outputs) output->Abandon();
        }
        session.active_outputs.clear();
        session.target.reset();
      },
      &open_error);
  if (!opened) {
    result.outcome = PassOutcome::kNotOpened;
    result.message = open_error;
  }
  return result;
}

}  // namespace mendora
