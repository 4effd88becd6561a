// The manual page mendora-cli(1) in troff: its synopsis, commands and
// options written from the command line's definitions, its exit codes from
// their table, around the prose that says what the program does.
#ifndef MENDORA_CLI_MANUAL_PAGE_H_
#define MENDORA_CLI_MANUAL_PAGE_H_

#include <string>

#include "cli/command_model.h"

namespace mendora::cli {

std::string ManualPage(const ProgramModel& program);

// `text` as troff text on its own lines: backslashes and hyphens escaped, no
// line taken for a request, option names in bold and argument names (FILE,
// OUT, DIR, ...) in italics.
std::string RoffText(const std::string& text);

}  // namespace mendora::cli

#endif  // MENDORA_CLI_MANUAL_PAGE_H_
