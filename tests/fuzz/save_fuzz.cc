// libFuzzer target: any bytes as a damaged database, recovered and saved as
// an Access file, which is then read back and checked. Whatever the source,
// the save must end without a crash or a sanitizer report, and a file it
// calls saved must be one our own check finds sound: a recovery that hands
// the user a file Access would have to repair again is no recovery.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "output/targets.h"
#include "recovery/file_check.h"
#include "recovery/recovery_session.h"

namespace {

class MemoryFile {
 public:
  MemoryFile(const uint8_t* data, size_t size) : fd_(memfd_create("mendora-fuzz-save", MFD_CLOEXEC)) {
    size_t done = 0;
    while (fd_ >= 0 && done < size) {
      const ssize_t wrote = write(fd_, data + done, size - done);
      if (wrote <= 0) break;
      done += static_cast<size_t>(wrote);
    }
  }
  ~MemoryFile() {
    if (fd_ >= 0) close(fd_);
  }
  std::string path() const { return "/proc/self/fd/" + std::to_string(fd_); }
  bool ok() const { return fd_ >= 0; }

 private:
  int fd_;
};

// The folder the saves go to: one per process, so that runs in parallel
// never meet.
const std::filesystem::path& SaveFolder() {
  static const std::filesystem::path folder = [] {
    std::filesystem::path made = std::filesystem::temp_directory_path() / ("mendora-fuzz-save-" + std::to_string(getpid()));
    std::filesystem::create_directories(made);
    return made;
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemoryFile file(data, size);
  if (!file.ok()) return 0;
  const std::string target = (SaveFolder() / "saved.mdb").string();
  std::filesystem::remove(target);
  mendora::RecoverySession session;
  session.options.mode = mendora::RunMode::kSave;
  session.options.source_path = file.path();
  session.options.target_path = target;
  session.options.replace_existing = true;
  session.options.loss_details = nullptr;
  session.options.make_target = mendora::MakeTargetFactory(mendora::SaveFormat::kAccess);
  const mendora::PassResult result = mendora::RunRecovery(session);
  const bool exists = std::filesystem::exists(target);
  // Every outcome but a completed pass leaves nothing behind.
  if (result.outcome != mendora::PassOutcome::kCompleted && exists) std::abort();
  if (!exists) return 0;
  std::string error;
  mendora::JetHandlePtr written = mendora::OpenJetHandle(target, &error);
  if (!written) {
    std::fprintf(stderr, "the saved file does not open: %s\n", error.c_str());
    std::abort();
  }
  const mendora::FileCheck check = mendora::CheckFile(*written);
  if (!check.Clean()) {
    for (const mendora::CheckFinding& finding : check.problems) {
      std::fprintf(stderr, "saved file: %s\n", mendora::FindingText(finding).c_str());
    }
    std::abort();
  }
  written.reset();
  std::filesystem::remove(target);
  return 0;
}
