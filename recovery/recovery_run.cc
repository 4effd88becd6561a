// Running one recovery pass over a source file.
#include <exception>

#include "reader/jet_handle.h"
#include "reader/page_probe.h"
#include "recovery/recovery_steps.h"

namespace mendora {

PassResult RunRecovery(RecoverySession& session) {
  PassResult result;
  bool pass_ran = false;
  OpenFailure failure = OpenFailure::kNone;
  const bool opened = OpenJetFile(session.SourcePath, 0, [&](JetHandle& handle) {
    // A file of nothing but zeros or text opens as a Jet 3 file of no
    // tables; it is no database, and saying "0 records" would hide that.
    if (!LooksLikeJetDatabase(handle)) {
      failure = OpenFailure::kNotJet;
      return;
    }
    pass_ran = true;
    try {
      RecoveryPass(session, handle);
    } catch (const PassCancelled&) {
      result.outcome = PassOutcome::kCancelled;
    } catch (const NothingRecovered&) {
      result.outcome = PassOutcome::kNothingRecovered;
      result.message = "no catalog row was found in " + session.SourcePath + ", so no table, query or relation could be read";
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
  }, &failure);
  if (failure == OpenFailure::kNotJet) {
    result.outcome = PassOutcome::kNotADatabase;
    result.message = session.SourcePath + " is not an Access database: it has neither a Jet 3 or Jet 4 header "
                     "nor any page that looks like one";
  } else if (!opened || !pass_ran) {
    result.outcome = PassOutcome::kNotOpened;
    result.message = session.SourcePath + " could not be opened";
  }
  return result;
}

}  // namespace mendora
