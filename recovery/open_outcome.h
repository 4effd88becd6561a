// How a source that did not open ends a pass: the one mapping from the
// reader's open failure to a pass outcome, shared by the recovery pass and
// the commands that open a file themselves, so each front-end tells a user
// the same thing for the same file.
#ifndef MENDORA_RECOVERY_OPEN_OUTCOME_H_
#define MENDORA_RECOVERY_OPEN_OUTCOME_H_

#include <string>

#include "reader/jet_handle.h"
#include "recovery/recovery_session.h"

namespace mendora {

// The outcome, and its message, of a pass whose source failed to open with
// `failure` and the reader's `reader_lines`. An encryption header too
// damaged to give a key leaves no page to read: nothing recovered.
PassResult OpenFailureResult(OpenFailure failure, const std::string& reader_lines);

// Whether `outcome` says the source was not opened at all (nothing was read).
bool IsOpenFailure(PassOutcome outcome);

}  // namespace mendora

#endif  // MENDORA_RECOVERY_OPEN_OUTCOME_H_
