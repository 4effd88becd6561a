// libFuzzer target: any bytes as a damaged database, recovered and saved as
// an Access file, which is then read back and checked. Whatever the source,
// the save must end without a crash or a sanitizer report, and a file it
// calls saved must be one our own check finds sound: a recovery that hands
// the user a file Access would have to repair again is no recovery.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "output/targets.h"
#include "recovery/file_check.h"
#include "recovery/recovery_session.h"
#include "tests/fuzz/memory_file.h"

namespace {

// The folder the saves go to: one per process, so that runs in parallel
// never meet, removed when the run ends.
class SaveFolder {
 public:
  SaveFolder() : path_(std::filesystem::temp_directory_path() / ("mendora-fuzz-save-" + std::to_string(getpid()))) {
    std::filesystem::create_directories(path_);
  }
  ~SaveFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string File(const char* name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  mendora::fuzz::MemoryFile file(data, size);
  if (!file.ok()) return 0;
  static const SaveFolder folder;
  const std::string target = folder.File("saved.mdb");
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
