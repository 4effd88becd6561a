// The commands of mendora-cli, separate from argument parsing so tests can
// run them. Each prints what it is run for on `out`, and messages and the
// loss account on stderr, and returns its exit code (see exit_codes.h).
#ifndef MENDORA_CLI_COMMANDS_H_
#define MENDORA_CLI_COMMANDS_H_

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/exit_codes.h"
#include "cli/progress_line.h"
#include "output/targets.h"
#include "recovery/recovery_output.h"
#include "recovery/recovery_session.h"

namespace mendora::cli {

// Every damage report on stderr, not just the first of each table.
void SetVerbose(bool verbose);
// Nothing but errors and the loss account: no progress line, no damage
// notes, and no log from recover (analyze's log and dump's document are
// what they are run for, and stay).
void SetQuiet(bool quiet);
// Whether passes draw the progress line on stderr (main shows it when stderr
// is a terminal; hidden by default). dump hides it all the same when its
// document goes to a terminal, where the line would tear it.
void SetProgressDisplay(ProgressLine::Display display);
ProgressLine::Display ProgressDisplay();
// Makes `progress` the observer of the session's pass (when it is shown),
// with the damage notes written around it. A command makes its line with
// ProgressDisplay(), before its session, and clears it after the pass.
void ShowProgress(RecoverySession& session, ProgressLine& progress);
// Deleted rows that still read whole are recovered as "NAME (deleted rows)".
void SetRecoverDeleted(bool deleted);

// The Windows code page a Jet 3 source's text is read in (--code-page); 0
// takes the one the file names.
void SetCodePage(int code_page);
// --jobs N: the threads that decode rows (0: the default, one).
void SetDecodeJobs(unsigned jobs);
int CodePageGiven();
inline constexpr const char* kCodePageHelp =
    "the Windows code page of a Jet 3 FILE's text: 936, 950, 932, 949, 1250-1258, 874 (default: the one the file "
    "names); later formats store Unicode";
// The option's check: "" for a code page Mendora reads, else why not.
std::string CheckCodePage(const std::string& text);

// The password for an encrypted source (--password or MENDORA_PASSWORD);
// nothing when none was given.
void SetPassword(std::optional<std::string> password);
// Asked for a password, with the line to show, when a source needs one and
// none was given; again (up to three times) while the answer is wrong.
// Nothing stops asking. The default reads the terminal without echo, and
// gives nothing when standard input is no terminal.
using PasswordPrompt = std::function<std::optional<std::string>(const std::string& question)>;
void SetPasswordPrompt(PasswordPrompt prompt);
std::optional<std::string> PromptOnTerminal(const std::string& question);

int RunCatalog(const std::string& file, std::ostream& out);
int RunAnalyze(const std::string& file, std::ostream& out);
int RunDump(const std::string& file, std::ostream& out, OleStorage ole = OleStorage::kUnwrap);
int RunRecover(const std::string& file, const std::string& target, bool force, std::ostream& out,
               OleStorage ole = OleStorage::kUnwrap);
// Recovers each of `files` into `dir`/<stem>.sqlite (names made distinct
// with -2, -3, ...), one summary line per file on `out` and a total. A file
// that fails does not stop the rest; an interrupt does. The exit code is the
// worst file's: see WorstExitCode.
int RunRecoverMany(const std::vector<std::string>& files, const std::string& dir, bool force, std::ostream& out,
                   OleStorage ole = OleStorage::kUnwrap);

// The format `recover` writes: chosen with --format, else by OUT's
// extension (.mdb Access; .sqlite, .db and any other SQLite), and Access
// for --out-dir.
void SetSaveFormat(std::optional<SaveFormat> format);

// The worse of two exit codes: any failure over losses (4) over complete
// (0), and of two failures the higher code.
int WorstExitCode(int a, int b);
// The target of each source in `dir`: DIR/<stem>.sqlite, the second of a
// stem DIR/<stem>-2.sqlite and so on.
std::vector<std::string> DistinctTargets(const std::vector<std::string>& files, const std::string& dir,
                                         const std::string& extension = ".sqlite");

// One pass over `file` into the outputs `make_outputs` makes once the file
// has proved to open, reported as `dump` reports (messages and the loss
// account on stderr). Interrupts cancel the pass. For the commands that
// write files of their own, such as `export`.
struct PassSummary {
  int exit_code = 0;
  size_t tables = 0;
  int64_t rows = 0;
};
using OutputMaker = std::function<std::vector<std::unique_ptr<RecoveryOutput>>()>;
PassSummary RunPassInto(const std::string& file, const OutputMaker& make_outputs);

// The analysis log with the platform's line ends.
std::string PlatformLineEnds(const std::string& text);

}  // namespace mendora::cli

#endif  // MENDORA_CLI_COMMANDS_H_
