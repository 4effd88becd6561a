// Debug stop points of a save, for acting at an exact moment of it.
//
// With MENDORA_DEBUG_STOP_AT=NAME in the environment, a process that reaches
// the moment NAME writes "mendora: stopped at NAME" to stderr and stops
// itself (SIGSTOP); SIGCONT lets it go on. Tests use this to interrupt or
// kill the real program at the commit, the flush or the move of its file
// instead of guessing the moment with sleeps. Without the variable a stop
// point does nothing.
//
// The moments: "commit" (before the target's transaction is committed),
// "fsync" (before the new file is flushed to disk), "rename" (before it is
// moved into place) and "published" (right after the move).
#ifndef MENDORA_RECOVERY_STOP_POINT_H_
#define MENDORA_RECOVERY_STOP_POINT_H_

namespace mendora {

inline constexpr const char* kStopPointVariable = "MENDORA_DEBUG_STOP_AT";

void StopPoint(const char* name) noexcept;

}  // namespace mendora

#endif  // MENDORA_RECOVERY_STOP_POINT_H_
