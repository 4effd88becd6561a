// Built databases written to temporary files, and passes run over them.
#ifndef MENDORA_TESTS_SUPPORT_TEMP_DATABASE_H_
#define MENDORA_TESTS_SUPPORT_TEMP_DATABASE_H_

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "recovery/recovery_session.h"
#include "tests/support/recording_sink.h"

namespace mendora::testing {

class TempDatabase {
 public:
  explicit TempDatabase(const std::vector<uint8_t>& bytes) {
    char name[] = "/tmp/mendora-built-XXXXXX";
    const int fd = mkstemp(name);
    close(fd);
    path_ = name;
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  ~TempDatabase() { std::filesystem::remove(path_); }
  TempDatabase(const TempDatabase&) = delete;
  TempDatabase& operator=(const TempDatabase&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// An analysis pass over `bytes`, with every offered table recorded.
struct Analysis {
  PassResult result;
  RecordingSink sink;
  std::string log;
  std::vector<std::string> loss_summary;
  size_t loss_count = 0;
};

inline Analysis Analyse(const std::vector<uint8_t>& bytes) {
  TempDatabase file(bytes);
  Analysis analysis;
  RecoverySession session;
  session.options.source_path = file.path();
  session.options.outputs.push_back(&analysis.sink);
  analysis.result = RunRecovery(session);
  analysis.log = session.results.analysis_log;
  analysis.loss_summary = session.results.losses.SummaryLines();
  analysis.loss_count = session.results.losses.count();
  return analysis;
}

}  // namespace mendora::testing

#endif  // MENDORA_TESTS_SUPPORT_TEMP_DATABASE_H_
