// Running one recovery pass over a source file.
#include <algorithm>
#include <exception>
#include <memory>

#include "reader/jet_handle.h"
#include "reader/page_probe.h"
#include "recovery/open_outcome.h"
#include "recovery/recovery_steps.h"

namespace mendora {

RecoverySession::RecoverySession() = default;
RecoverySession::~RecoverySession() = default;

PassResult RunRecovery(RecoverySession& session) {
  // Nothing of an earlier pass carries over: results and working state are made new.
  session.results = PassResults();
  session.results.losses.SetDetails(session.options.loss_details);
  session.results.losses.SetVerbose(session.options.verbose_losses);
  session.state = std::make_unique<PassState>();
  PassResult result;
  bool pass_ran = false;
  std::string open_error;
  OpenFailure failure = OpenFailure::kNone;
  const bool opened = OpenJetFile(
      session.options.source_path,
      [&](JetHandle& handle) {
        // A file of nothing but zeros or text opens as a Jet 3 file of no
        // tables; it is no database, and saying "0 records" would hide that.
        if (!LooksLikeJetDatabase(handle)) {
          failure = OpenFailure::kNotJet;
          return;
        }
        pass_ran = true;
        session.results.source_encrypted = handle.file->cipher != nullptr;
        try {
          RecoveryPass(session, handle);
        } catch (const PassCancelled&) {
          result.outcome = PassOutcome::kCancelled;
        } catch (const NothingRecovered&) {
          result.outcome = PassOutcome::kNothingRecovered;
          result.message = session.state->catalog_rows == 0
                               ? "no catalog row was found, so no table, query or relation could be read"
                           : session.state->user_data_pages > 0
                               ? "not one row could be read from the " +
                                     std::to_string(session.state->user_data_pages) + " data pages that hold rows"
                               : "not one row could be read, and the losses above show that there were rows";
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
          for (RecoveryOutput* output : session.state->active_outputs) output->Abandon();
        }
        session.state->active_outputs.clear();
        session.state->target.reset();
        session.results.pages_read = handle.pages_read;
        session.results.page_count = handle.PageCount();
      },
      &open_error, &failure,
      JetOpenOptions{.password = session.options.password,
                     .code_page = session.options.text_code_page,
                     // Only an analysis leaves the other core idle: a save,
                     // outputs with threads and decoding threads work there.
                     .read_ahead_thread = !session.options.IsSaving() && session.options.decode_jobs <= 1 &&
                                          std::none_of(session.options.outputs.begin(), session.options.outputs.end(),
                                                       [](const RecoveryOutput* o) { return o->HasThreads(); })});
  if (failure != OpenFailure::kNone || !opened || !pass_ran) return OpenFailureResult(failure, open_error);
  return result;
}

}  // namespace mendora
