// The one mapping from an open failure to a pass outcome.
#include "recovery/open_outcome.h"

namespace mendora {

PassResult OpenFailureResult(OpenFailure failure, const std::string& reader_lines) {
  switch (failure) {
    case OpenFailure::kNotJet: return {PassOutcome::kNotADatabase, reader_lines};
    case OpenFailure::kEncrypted: return {PassOutcome::kNeedsPassword, reader_lines};
    case OpenFailure::kWrongPassword: return {PassOutcome::kWrongPassword, reader_lines};
    case OpenFailure::kUnsupportedEncryption: return {PassOutcome::kUnsupportedEncryption, reader_lines};
    case OpenFailure::kDamagedEncryption:
      return {PassOutcome::kNothingRecovered, reader_lines + ": no page can be decrypted"};
    case OpenFailure::kNone:
    case OpenFailure::kUnreachable: break;
  }
  return {PassOutcome::kNotOpened, reader_lines};
}

bool IsOpenFailure(PassOutcome outcome) {
  switch (outcome) {
    case PassOutcome::kNotOpened:
    case PassOutcome::kNotADatabase:
    case PassOutcome::kNeedsPassword:
    case PassOutcome::kWrongPassword:
    case PassOutcome::kUnsupportedEncryption: return true;
    default: return false;
  }
}

}  // namespace mendora
