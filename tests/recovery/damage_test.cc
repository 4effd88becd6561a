// Randomly damaged copies of the sample databases: every one must open and
// walk to its end without a crash, a hang or a sanitizer report.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <vector>

#include "output/sqlite/sqlite_output.h"
#include "output/json/json_dump.h"
#include "output/sqlite/sqlite_schema.h"
#include "recovery/recovery_session.h"
#include "tests/builder/jet_builder.h"
#include "tests/builder/sample_database.h"
#include "tests/support/corpus.h"
#include "tests/engine/engine_test_util.h"

namespace mendora {
namespace {

std::vector<uint8_t> ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Silences the reader's diagnostics, which damaged files produce by the
// thousand, for the life of the object.
class QuietStderr {
 public:
  QuietStderr() : saved_(dup(2)) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 2);
    close(null);
  }
  ~QuietStderr() {
    dup2(saved_, 2);
    close(saved_);
  }

 private:
  int saved_;
};

void Damage(std::vector<uint8_t>& bytes, std::mt19937& random) {
  // Version 0 is Jet 3 (2048-byte pages); Jet 4 and Access 2007+ use 4096.
  const uint32_t page_size = bytes.size() > 0x14 && bytes[0x14] >= 1 ? 4096 : 2048;
  const size_t pages = bytes.size() / page_size;
  switch (random() % 7) {
    case 0: {  // flip bytes anywhere
      const int flips = 1 + static_cast<int>(random() % 64);
      for (int i = 0; i < flips; ++i) bytes[random() % bytes.size()] ^= static_cast<uint8_t>(1 + random() % 255);
      break;
    }
    case 1: {  // zero or scramble whole pages
      const int hits = 1 + static_cast<int>(random() % 4);
      for (int i = 0; i < hits && pages > 1; ++i) {
        const size_t page = 1 + random() % (pages - 1);
        for (size_t b = 0; b < page_size; ++b) {
          bytes[page * page_size + b] = random() % 2 ? 0 : static_cast<uint8_t>(random());
        }
      }
      break;
    }
    case 2:  // cut short
      bytes.resize(random() % bytes.size());
      break;
    case 3: {  // damage the structures the reader trusts most: page headers and row tables
      const int hits = 1 + static_cast<int>(random() % 16);
      for (int i = 0; i < hits && pages > 1; ++i) {
        const size_t at = (1 + random() % (pages - 1)) * page_size + random() % 64;
        bytes[at] = static_cast<uint8_t>(random());
      }
      break;
    }
    case 4: {  // a page of another type, or a data page of another owner
      if (pages < 2) break;
      const size_t page = (1 + random() % (pages - 1)) * page_size;
      if (random() % 2 == 0) {
        bytes[page] = static_cast<uint8_t>(random() % 9);
      } else {
        const size_t other = (1 + random() % (pages - 1)) * page_size;
        std::memcpy(&bytes[page + 4], &bytes[other + 4], 4);
      }
      break;
    }
    case 5: {  // pages swapped or repeated
      if (pages < 3) break;
      const size_t a = (1 + random() % (pages - 1)) * page_size;
      const size_t b = (1 + random() % (pages - 1)) * page_size;
      if (random() % 2 == 0) {
        std::swap_ranges(bytes.begin() + a, bytes.begin() + a + page_size, bytes.begin() + b);
      } else {
        std::copy(bytes.begin() + a, bytes.begin() + a + page_size, bytes.begin() + b);
      }
      break;
    }
    default: {  // 32-bit fields anywhere in data and definition pages: counts, owners, long-value pointers
      const int hits = 1 + static_cast<int>(random() % 8);
      for (int i = 0; i < hits && pages > 1; ++i) {
        const size_t page = (1 + random() % (pages - 1)) * page_size;
        if (bytes[page] != 0x01 && bytes[page] != 0x02) continue;
        const size_t at = page + random() % (page_size - 4);
        const uint32_t value = random() % 3 == 0 ? static_cast<uint32_t>(random()) : static_cast<uint32_t>(random() % (pages + 4));
        std::memcpy(&bytes[at], &value, 4);
      }
      break;
    }
  }
  if (!bytes.empty() && random() % 8 != 0) bytes[0] = 0;  // keep most copies recognisable
}

// Every table the log counts holds that many rows in the target, but for
// what the loss account says the target refused or lost.
void ExpectLoggedRowsSavedOrAccounted(const RecoverySession& session, const std::string& target, int copy) {
  std::map<std::string, const TableLosses*> losses;
  for (const TableLosses& table : session.results.losses.tables()) losses[table.name] = &table;
  std::istringstream log(session.results.table_list);
  std::string line;
  while (std::getline(log, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t at = line.rfind(" :  ");
    if (at == std::string::npos || line.size() < 9 || line.compare(line.size() - 9, 9, "  Records") != 0) continue;
    const std::string name = line.substr(0, at);
    const int64_t logged = std::stoll(line.substr(at + 4, line.size() - 9 - at - 4));
    const auto found = losses.find(name);
    if (found != losses.end() && found->second->lost_whole) continue;
    const int64_t refused = found == losses.end() ? 0 : found->second->rows_refused;
    std::string quoted = "\"";
    for (const char c : StoredTableName(name)) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    quoted += "\"";
    const std::vector<std::string> count = testing::Rows(target, "SELECT count(*) FROM " + quoted);
    ASSERT_EQ(count.size(), 1u) << name << " (copy " << copy << ")";
    EXPECT_EQ(std::stoll(count[0]), logged - refused) << name << " (copy " << copy << ")";
  }
}

TEST(DamagedFilesTest, OpenAndWalkWithoutCrashOrHang) {
  std::vector<std::vector<uint8_t>> samples;
  for (const auto& path : testing::CorpusFiles()) {
    // The two large samples make every copy slow; the small ones hold the
    // same structures.
    if (std::filesystem::file_size(path) <= 512 * 1024) samples.push_back(ReadAll(path));
  }
  // The Access 2007+ samples add complex columns and their hidden tables,
  // calculated columns and the newer types.
  for (const auto& path : testing::AceCorpusFiles()) {
    if (std::filesystem::file_size(path) <= 512 * 1024) samples.push_back(ReadAll(path));
  }
  // Built files add what the samples have little of: chained long values,
  // map pages, relationships, Jet 3 rows over 256 bytes.
  for (const auto version : {testing::JetVersion::kJet3, testing::JetVersion::kJet4}) {
    testing::JetFileBuilder builder(version);
    testing::AddDemoDatabase(builder, version);
    samples.push_back(builder.Build());
  }
  const char* env = std::getenv("MENDORA_DAMAGE_ITERATIONS");
  const int iterations = env != nullptr ? std::atoi(env) : 2000;
  const char* seed = std::getenv("MENDORA_DAMAGE_SEED");
  std::mt19937 random(seed != nullptr ? static_cast<uint32_t>(std::strtoul(seed, nullptr, 10)) : 20261207u);
  char name[] = "/tmp/mendora-damaged-XXXXXX";
  const int fd = mkstemp(name);
  close(fd);
  const std::string target = std::string(name) + ".sqlite";
  QuietStderr quiet;
  int completed = 0;
  for (int i = 0; i < iterations; ++i) {
    std::vector<uint8_t> bytes = samples[random() % samples.size()];
    Damage(bytes, random);
    {
      std::ofstream out(name, std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    RecoverySession session;
    session.options.source_path = name;
    std::ostringstream dumped;
    JsonDumpOutput dump(dumped, "Jet4");
    session.options.outputs.push_back(&dump);
    // Every tenth copy is saved too: whatever damage makes of names and
    // values, the target must take it or refuse it piece by piece.
    const bool save = i % 10 == 0;
    if (save) {
      session.options.mode = RunMode::kSave;
      session.options.target_path = target;
      session.options.replace_existing = true;
      session.options.make_target = SqliteTargetFactory();
    }
    const PassResult result = RunRecovery(session);
    if (result.outcome == PassOutcome::kCompleted) ++completed;
    EXPECT_NE(result.outcome, PassOutcome::kFailed) << result.message;
    // Work and output in proportion to the file, whatever the damage.
    EXPECT_LE(session.results.pages_read, 6ull * session.results.page_count + 16) << "copy " << i;
    EXPECT_LE(dumped.str().size(), 4 * bytes.size() + 4096) << "copy " << i;
    if (save && result.outcome == PassOutcome::kCompleted) {
      ASSERT_TRUE(std::filesystem::exists(target));
      ExpectLoggedRowsSavedOrAccounted(session, target, i);
    }
  }
  std::filesystem::remove(name);
  std::filesystem::remove(target);
  // Most damaged copies are still recognised, so the walk itself was exercised.
  EXPECT_GT(completed, iterations / 2);
}

}  // namespace
}  // namespace mendora
