// The recovery report: what a pass recovered and lost from one source, for a
// user to keep or send. The same account as the messages on stderr (per
// table: the rows the source says it holds, read and saved; relations,
// queries and indexes found and saved; pages that could not be read and
// their share of the file; every loss counted), written as text or HTML.
#ifndef MENDORA_OUTPUT_REPORT_RECOVERY_REPORT_H_
#define MENDORA_OUTPUT_REPORT_RECOVERY_REPORT_H_

#include <cstdint>
#include <string>
#include <vector>

#include "recovery/loss_account.h"
#include "recovery/recovery_output.h"
#include "recovery/recovery_session.h"

namespace mendora {

// What the pass handed its outputs, counted as it went: an output beside the
// others, which keeps no row.
class ReportCollector final : public RecoveryOutput {
 public:
  void BeginTable(const OutputTable& table) override;
  void AddRow(const Row&) override {}
  void EndTable(int64_t) override {}
  void AddRelation(const OutputRelation& relation) override;
  void AddQuery(const std::string& name, const std::string& sql) override;

  int64_t indexes() const { return indexes_; }
  const std::vector<std::string>& relations() const { return relations_; }
  const std::vector<std::string>& queries() const { return queries_; }

 private:
  int64_t indexes_ = 0;
  std::vector<std::string> relations_;
  std::vector<std::string> queries_;
};

// The pages of a file as they read now: those that cannot be read whole (cut
// short by the file's end, an I/O error) and those that hold only zeros
// (free, or wiped by damage).
struct PageCensus {
  uint32_t pages = 0;
  uint32_t page_size = 0;
  uint32_t unreadable = 0;
  uint32_t blank = 0;
};
// Reads every page of `path` once; nothing when it does not open.
PageCensus CountPages(const std::string& path, const std::optional<std::string>& password);

// What a saved SQLite file holds of the relations and queries; -1 for what
// could not be read.
struct SavedCounts {
  int64_t relations = -1;  // foreign keys
  int64_t queries = -1;    // rows of mendora_queries
  int64_t views = -1;
};
SavedCounts CountSaved(const std::string& sqlite_path);

struct ReportSection {
  std::string source;
  uint64_t source_bytes = 0;
  std::string target;   // the file saved; empty when nothing was saved
  std::string outcome;  // "complete", "complete, with losses", or what went wrong
  int exit_code = 0;
  bool completed = false;  // the pass ran to its end
  bool read_queries = false;  // the pass read the saved queries (a save does)
  bool read_schema = false;   // the pass read keys and indexes (a save and an export do)
  PageCensus census;
  std::vector<TableLosses> tables;
  std::vector<std::string> summary;  // the loss account's lines, as stderr shows them
  std::vector<std::string> losses;   // the first detail lines of every loss
  size_t losses_counted = 0;
  int64_t indexes_found = 0;
  std::vector<std::string> relations_found;
  std::vector<std::string> queries_found;
  SavedCounts saved;
};

// The section of one pass, from its session and what `collector` counted.
ReportSection MakeReportSection(const RecoverySession& session, const ReportCollector& collector);

struct RecoveryReport {
  std::string program;  // "mendora-cli 2.0.0"
  std::string command;  // the command line, as run
  std::string written;  // the time it was written, UTC
  std::vector<ReportSection> sections;
};

std::string ReportText(const RecoveryReport& report);
std::string ReportHtml(const RecoveryReport& report);

}  // namespace mendora

#endif  // MENDORA_OUTPUT_REPORT_RECOVERY_REPORT_H_
