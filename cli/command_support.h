// What the commands of mendora-cli share: the settings of a run, the
// password of the source, and the messages and exit codes of each way a
// pass can end.
#ifndef MENDORA_CLI_COMMAND_SUPPORT_H_
#define MENDORA_CLI_COMMAND_SUPPORT_H_

#include <optional>
#include <string>

#include "cli/output_check.h"
#include "reader/jet_handle.h"
#include "recovery/recovery_session.h"

namespace mendora::cli {

// Whether --quiet is in force (see SetQuiet).
bool QuietRun();

// The password to open `file` with: the one given, else, when the file asks
// for one, what the prompt answers. A wrong answer is asked for again; the
// last one is returned all the same, so the open says it is wrong.
std::optional<std::string> PasswordFor(const std::string& file);

// Fills the session's settings from the run's (verbose, quiet, deleted rows)
// and its source.
void PrepareSession(RecoverySession& session, const std::string& file, std::optional<std::string> password);

// Why `file` could not be opened, as one phrase ("no such file", "is a
// directory"), from the file system itself; `reader_lines` (the reader's
// account) when the file system shows nothing wrong.
std::string WhyNotOpened(const std::string& file, const std::string& reader_lines);

// Each says what went wrong on stderr and returns the exit code.
int ReportNotOpened(const std::string& file, const std::string& reader_lines);
int ReportNotADatabase(const std::string& file, const std::string& reader_lines);
int ReportNothingRecovered(const std::string& file, const RecoverySession& session, const PassResult& result);
int ReportOutputFailed(const OutputCheck& check);
// The exit code of a pass that did not complete, after its message.
int ReportUnfinished(const std::string& file, const RecoverySession& session, const PassResult& result);

// After a completed pass: the loss account, one line per table that lost
// anything and a total, and the exit code that says whether anything was
// lost. Each loss already has its detail line above.
int AccountForLosses(const RecoverySession& session, const std::string& heading = "Losses:");

// Opens `file` for a command that reads it directly, or says why not and
// sets `exit_code`.
JetHandlePtr OpenForCommand(const std::string& file, const std::optional<std::string>& password, int& exit_code);

}  // namespace mendora::cli

#endif  // MENDORA_CLI_COMMAND_SUPPORT_H_
