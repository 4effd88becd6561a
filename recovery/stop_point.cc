// Debug stop points of a save.
#include "recovery/stop_point.h"

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace mendora {

void StopPoint(const char* name) noexcept {
  const char* wanted = std::getenv(kStopPointVariable);
  if (wanted == nullptr || std::strcmp(wanted, name) != 0) return;
  // Written in one call, so a reader of the pipe sees the whole line.
  const std::string line = std::string("mendora: stopped at ") + name + "\n";
  [[maybe_unused]] ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
  ::kill(::getpid(), SIGSTOP);
}

}  // namespace mendora
