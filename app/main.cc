// mendora: the desktop app.
#include <cstdio>
#include <cstdlib>

#include "app/recovery_app.h"
#include "app/recovery_runner.h"

int main(int argc, char** argv) {
  // Without a display Qt would only abort with a message about plugins; say
  // what is wrong and where to go instead.
  if (!mendora::DisplayAvailable(std::getenv("QT_QPA_PLATFORM"), std::getenv("DISPLAY"),
                                 std::getenv("WAYLAND_DISPLAY"))) {
    std::fprintf(stderr, "%s\n", mendora::kNoDisplayMessage);
    return 2;
  }
  mendora::RecoveryApp app(argc, argv);
  mendora::LibraryRecoveryRunner runner;
  return app.InitInstance(runner);
}
