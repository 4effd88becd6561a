// --report FILE.txt|FILE.html: the account of a run written to a file for
// the user to keep or send, one section per source, in the words and figures
// of stderr's.
#ifndef MENDORA_CLI_REPORT_OPTION_H_
#define MENDORA_CLI_REPORT_OPTION_H_

#include <CLI/CLI.hpp>
#include <initializer_list>
#include <memory>
#include <string>

#include "output/report/recovery_report.h"
#include "recovery/recovery_session.h"

namespace mendora::cli {

// Adds --report to each of `commands` (those of `app` that run passes) and
// writes the report once the command has run.
class ReportOption {
 public:
  ReportOption(CLI::App& app, std::initializer_list<const char*> commands, int argc, char** argv);
  // Writes the report when one was asked for and returns `exit_code`, or
  // the code for output that could not be written (7) when it failed. The
  // report never replaces a source or a saved file.
  int Finish(int exit_code);

 private:
  std::string path_;
  std::string command_line_;
};

// One pass's part of the report, when a report is being written: it counts
// what the pass hands its outputs (Attach before the pass) and adds the
// section once the command knows its exit code.
class PassReport {
 public:
  PassReport();
  ~PassReport();
  void Attach(RecoverySession& session);
  // `target` is the file saved, empty when nothing was.
  void Done(const RecoverySession& session, bool completed, int exit_code, const std::string& target = "");

 private:
  std::unique_ptr<ReportCollector> collector_;
};

// A source whose pass never started (its target was refused): a section
// with the outcome alone.
void ReportNoPass(const std::string& file, int exit_code);

}  // namespace mendora::cli

#endif  // MENDORA_CLI_REPORT_OPTION_H_
