// libFuzzer target: any bytes as a damaged database, recovered and saved as
// an Access file, which is then read back and checked. Whatever the source,
// the save must end without a crash or a sanitizer report, and a file it
// calls saved must be one our own check finds sound: a recovery that hands
// the user a file Access would have to repair again is no recovery. Read
// again, it must hold every row the pass read and the target did not refuse,
// and tell no loss: a row dropped without a word, or a loss told of a file
// we wrote whole, is a wrong account.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "output/targets.h"
#include "reader/column_types.h"
#include "recovery/file_check.h"
#include "recovery/recovery_session.h"
#include "recovery/recovery_steps.h"
#include "tests/fuzz/memory_file.h"
#include "tests/support/recording_sink.h"

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

// Columns the target stores in another type: their values differ in form.
bool Converted(const mendora::OutputColumn& column) {
  return column.type == mendora::kColumnBigInt || column.type == mendora::kColumnExtendedDateTime ||
         column.complex_kind != 0 || column.type == mendora::kColumnComplex ||
         (column.calculated && column.type == mendora::kColumnNumeric);
}

// A decimal is its sign and its number: the precision only pads it, and a
// column of more decimals scales it.
bool SameValue(const mendora::Value& a, const mendora::Value& b) {
  if (a.kind == mendora::ValueKind::kDecimal && b.kind == mendora::ValueKind::kDecimal) {
    using Wide = unsigned __int128;
    Wide x = (Wide{a.magnitude_high} << 64) | a.magnitude_low, y = (Wide{b.magnitude_high} << 64) | b.magnitude_low;
    // Scaled up to the other's decimals; past 128 bits it cannot be the
    // other, which the file holds in 96.
    const auto scale_up = [](Wide& n, int from, int to) {
      for (; from < to; ++from) {
        if (n > ~Wide{0} / 10) return false;
        n *= 10;
      }
      return true;
    };
    if (!scale_up(x, a.scale, b.scale) || !scale_up(y, b.scale, a.scale)) return false;
    return x == y && (x == 0 || a.negative == b.negative);
  }
  if (a.IsNull() || b.IsNull()) return a.IsNull() == b.IsNull();
  return a.kind == b.kind && mendora::RenderValue(a) == mendora::RenderValue(b);
}

// The first value the file holds otherwise than the pass offered it, in a
// table saved under its own name without a refusal (a refused value is
// saved as null, and told); empty when there is none.
std::string FirstValueChanged(const mendora::LossAccount& losses, const mendora::testing::RecordingSink& offered,
                              const mendora::testing::RecordingSink& read_back) {
  for (const auto& [name, before] : offered.tables) {
    const mendora::TableLosses* account = losses.Table(name);
    const auto after = read_back.tables.find(name);
    if (account == nullptr || account->lost_whole || account->rows_refused != 0 || account->values_refused != 0 ||
        after == read_back.tables.end() || after->second.rows.size() != before.rows.size()) {
      continue;
    }
    for (size_t i = 0; i < before.columns.size(); ++i) {
      const mendora::OutputColumn& column = before.columns[i];
      if (Converted(column)) continue;
      const std::vector<mendora::OutputColumn>& written = after->second.columns;
      size_t w = 0;
      while (w < written.size() && written[w].name != column.name) ++w;
      if (w == written.size() || written[w].type != column.type) continue;
      for (size_t r = 0; r < before.rows.size(); ++r) {
        const std::vector<mendora::Value>& was = before.typed_rows[r].values;
        const std::vector<mendora::Value>& is = after->second.typed_rows[r].values;
        if (i >= was.size() || w >= is.size() || SameValue(was[i], is[w])) continue;
        const auto shown = [](const mendora::Value& v) {
          return v.IsNull() ? std::string("null") : "\"" + mendora::RenderValue(v) + "\"";
        };
        return "table " + name + ", row " + std::to_string(r) + ", column " + column.name + ": offered " +
               shown(was[i]) + ", read back " + shown(is[w]);
      }
    }
  }
  return "";
}

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
  mendora::testing::RecordingSink offered;
  session.options.outputs.push_back(&offered);
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
  // Kept rows by the name they were read under. The file may hold more
  // tables (complex columns become tables of their own) and a table under
  // another name (one Access would not take), so a name found in both must
  // hold the same rows, and the file no fewer rows in all. A user table of
  // an Access 2007+ file may carry a system table's name (MSysCompactError):
  // saved, but read from an .mdb as Access's own, so not counted.
  std::map<std::string, int64_t> kept;
  int64_t kept_total = 0;
  for (const mendora::TableLosses& table : session.results.losses.tables()) {
    if (table.lost_whole || mendora::IsSystemObjectName(table.name)) continue;
    kept[table.name] += table.rows_recovered - table.rows_refused;
    kept_total += table.rows_recovered - table.rows_refused;
  }
  mendora::RecoverySession again;
  again.options.source_path = target;
  again.options.loss_details = nullptr;
  mendora::testing::RecordingSink read_back;
  again.options.outputs.push_back(&read_back);
  const mendora::PassResult reread = mendora::RunRecovery(again);
  std::string wrong;
  if (reread.outcome != mendora::PassOutcome::kCompleted) wrong = "the saved file does not read: " + reread.message;
  if (again.results.grand_total < kept_total) wrong = "fewer rows in all than were saved";
  for (const mendora::RecoveredTable& table : again.results.recovered_tables) {
    const auto found = kept.find(table.name);
    if (found != kept.end() && found->second != table.rows) wrong = "table " + table.name + " holds other rows than were saved";
  }
  if (again.results.losses.AnyLoss()) wrong = "the saved file tells a loss";
  if (wrong.empty()) wrong = FirstValueChanged(session.results.losses, offered, read_back);
  if (!wrong.empty()) {
    std::fprintf(stderr, "%s: %lld rows saved, %lld read back\n", wrong.c_str(), static_cast<long long>(kept_total),
                 static_cast<long long>(again.results.grand_total));
    for (const std::string& line : again.results.losses.SummaryLines()) std::fprintf(stderr, "read back: %s\n", line.c_str());
    for (const mendora::RecoveredTable& table : again.results.recovered_tables) {
      const auto found = kept.find(table.name);
      std::fprintf(stderr, "  %s: %lld read back, %lld saved\n", table.name.c_str(), static_cast<long long>(table.rows),
                   static_cast<long long>(found == kept.end() ? -1 : found->second));
    }
    std::abort();
  }
  std::filesystem::remove(target);
  return 0;
}
