// The commands that read a source and print what they find: catalog,
// analyze and dump; and the pass into outputs of their own that export
// runs.
#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "cli/command_support.h"
#include "cli/commands.h"
#include "cli/interrupt_cancels.h"
#include "cli/report_option.h"
#include "output/common/pipelined_output.h"
#include "output/json/json_dump.h"
#include "output/common/target_file.h"
#include "reader/table_def.h"
#include "recovery/open_outcome.h"
#include "recovery/recovery_steps.h"

namespace mendora::cli {

namespace {

// The dump, cancelling the pass at the first write that fails: a dump no
// one receives is not worth reading on. The rows are rendered on a thread
// of their own (and written on another), while the pass decodes the next.
class CheckedDump final : public RecoveryOutput {
 public:
  CheckedDump(std::ostream& out, const std::string& format, OleStorage ole, OutputCheck& check, PassControl& control)
      : check_(check), control_(control) {
    auto dump = std::make_unique<JsonDumpOutput>(out, format, ole);
    dump_ = dump.get();
    pipe_ = std::make_unique<PipelinedOutput>(std::move(dump));
  }
  void Attach(LossAccount& losses) override {
    RecoveryOutput::Attach(losses);
    pipe_->Attach(losses);
  }
  void BeginTable(const OutputTable& table) override { pipe_->BeginTable(table); }
  void AddRow(const Row& row) override {
    pipe_->AddRow(row);
    // The stream belongs to the dump's writing thread until Finish: its
    // failures are asked of the dump.
    if (dump_->WriteFailed()) control_.Cancel();
  }
  void EndTable(int64_t rows) override { pipe_->EndTable(rows); }
  void Finish() override {
    pipe_->Finish();
    if (dump_->WriteFailed()) check_.Failed(dump_->WriteError());
  }
  bool HasThreads() const override { return true; }
  // A stopped dump still holds every row the pass gave it, closed so that
  // it parses.
  void Abandon() noexcept override {
    try {
      Finish();
    } catch (...) {
      pipe_->Abandon();
    }
  }

 private:
  JsonDumpOutput* dump_;
  std::unique_ptr<PipelinedOutput> pipe_;
  OutputCheck& check_;
  PassControl& control_;
};

}  // namespace

int RunCatalog(const std::string& file, std::ostream& out) {
  int exit_code = 0;
  JetHandlePtr handle = OpenForCommand(file, PasswordFor(file), exit_code);
  if (!handle) return exit_code;
  OutputCheck check(out);
  out << "Format: " << (handle->IsJet4() ? "Jet4" : "Jet3") << ", " << handle->PageCount() << " pages of "
      << handle->PageSize() << " bytes\n";
  out << "page  row  deleted    type  definition  name\n";
  size_t found = 0;
  for (uint32_t page = 0; ReadPage(*handle, page) != 0 && check.Ok(); ++page) {
    if (handle->page[0] != 0x01 || handle->page[1] != 0x01 || handle->Page().U32(4).value_or(0) != 2) continue;
    const PageSlots slots(handle->Page(), *handle->format);
    for (uint32_t j = 0; j < slots.count(); ++j) {
      CatalogRecord record;
      if (!ReadCatalogRecord(*handle, slots, static_cast<int>(j), record)) continue;
      ++found;
      char line[64];
      std::snprintf(line, sizeof line, "%4u  %3u  %-7s  %6d  %10d  ", page, j, record.deleted ? "yes" : "no",
                    record.object_type, record.definition_page);
      out << line << record.name << "\n";
    }
  }
  if (!check.Finish()) return ReportOutputFailed(check);
  if (found == 0) {
    std::cerr << "mendora-cli: no catalog row was found in " << file << ".\n";
    return kExitNothingRecovered;
  }
  return 0;
}

int RunAnalyze(const std::string& file, std::ostream& out) {
  ProgressLine progress(STDERR_FILENO, ProgressDisplay());
  RecoverySession session;
  PrepareSession(session, file, PasswordFor(file));
  ShowProgress(session, progress);
  PassReport report;
  report.Attach(session);
  const PassResult result = RunRecovery(session);
  progress.Clear();
  const bool completed = result.outcome == PassOutcome::kCompleted;
  if (IsOpenFailure(result.outcome)) {
    const int code = ReportUnfinished(file, session, result);
    report.Done(session, false, code);
    return code;
  }
  if (session.results.analysis_log.empty()) RebuildAnalysisLog(session);
  OutputCheck check(out);
  out << PlatformLineEnds(session.results.analysis_log);
  int code = 0;
  if (!check.Finish()) {
    code = ReportOutputFailed(check);
  } else if (!completed) {
    code = ReportUnfinished(file, session, result);
  } else {
    code = AccountForLosses(session);
  }
  report.Done(session, completed, code);
  return code;
}

int RunDump(const std::string& file, std::ostream& out, OleStorage ole) {
  int exit_code = 0;
  const std::optional<std::string> password = PasswordFor(file);
  JetHandlePtr probe = OpenForCommand(file, password, exit_code);
  if (!probe) return exit_code;
  const bool jet4 = probe->IsJet4();
  probe.reset();

  // The probe proved the file opens, so the document can start at once.
  const bool document_on_terminal = &out == &std::cout && isatty(STDOUT_FILENO);
  ProgressLine progress(STDERR_FILENO, document_on_terminal ? ProgressLine::Display::kHidden : ProgressDisplay());
  RecoverySession session;
  OutputCheck check(out);
  CheckedDump dump(out, jet4 ? "Jet4" : "Jet3", ole, check, session.control);
  PrepareSession(session, file, password);
  ShowProgress(session, progress);
  session.options.outputs.push_back(&dump);
  const PassResult result = RunRecovery(session);
  progress.Clear();
  dump.Finish();
  if (!check.Finish()) return ReportOutputFailed(check);
  if (result.outcome != PassOutcome::kCompleted) return ReportUnfinished(file, session, result);
  return AccountForLosses(session);
}
PassSummary RunPassInto(const std::string& file, const OutputMaker& make_outputs) {
  PassSummary summary;
  const std::optional<std::string> password = PasswordFor(file);
  if (!OpenForCommand(file, password, summary.exit_code)) {
    ReportNoPass(file, summary.exit_code);
    return summary;
  }
  std::vector<std::unique_ptr<RecoveryOutput>> outputs;
  try {
    outputs = make_outputs();
  } catch (const TargetFailed& error) {
    std::cerr << "mendora-cli: " << error.what() << ".\n";
    summary.exit_code = kExitFailed;
    ReportNoPass(file, summary.exit_code);
    return summary;
  }
  RecoverySession session;
  PrepareSession(session, file, password);
  session.options.read_schema = true;
  for (const auto& output : outputs) session.options.outputs.push_back(output.get());
  InterruptCancels interrupt(session.control);
  ProgressLine progress(STDERR_FILENO, ProgressDisplay());
  ShowProgress(session, progress);
  PassReport report;
  report.Attach(session);
  const PassResult result = RunRecovery(session);
  progress.Clear();
  summary.tables = session.results.losses.tables().size();
  summary.rows = session.results.losses.RowsRecovered();
  switch (result.outcome) {
    case PassOutcome::kCompleted:
      summary.exit_code = AccountForLosses(session);
      break;
    case PassOutcome::kCancelled:
      std::cerr << "mendora-cli: " << file << ": interrupted; what was written for it was removed.\n";
      summary.exit_code = kExitInterrupted;
      break;
    case PassOutcome::kFailed:
      std::cerr << "mendora-cli: " << file << ": the output could not be written: " << result.message << "\n";
      summary.exit_code = kExitFailed;
      break;
    default:
      summary.exit_code = ReportUnfinished(file, session, result);
      break;
  }
  report.Done(session, result.outcome == PassOutcome::kCompleted, summary.exit_code);
  return summary;
}

}  // namespace mendora::cli
