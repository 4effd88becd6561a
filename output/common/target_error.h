// The errors of a save target: one refused piece, or a target that can no
// longer be written at all.
#ifndef MENDORA_OUTPUT_COMMON_TARGET_ERROR_H_
#define MENDORA_OUTPUT_COMMON_TARGET_ERROR_H_

#include <stdexcept>

#include "recovery/recovery_output.h"

namespace mendora {

// A target refused one piece (a table, a value, a file operation that can be
// answered with a message).
class EngineError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The target itself can no longer be written (its disk is full, an I/O
// error, its transaction was lost): unlike an EngineError, which refuses one
// piece, this ends the save. It is deliberately no EngineError, so the guards
// that let one refused piece lose only itself do not catch it.
class TargetBroken : public TargetFailed {
 public:
  using TargetFailed::TargetFailed;
};

// Why a target leaves out a table whose definition, damaged, names no
// column: neither format makes a table without one.
inline constexpr char kNoColumnToSave[] = "its definition names no column, and a table needs one";

}  // namespace mendora

#endif  // MENDORA_OUTPUT_COMMON_TARGET_ERROR_H_
