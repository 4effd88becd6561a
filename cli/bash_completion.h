// The bash completion of mendora-cli, written from its command-line
// definitions: the commands, each command's options, the values an option
// names, folders for a DIR, and Access or SQLite files where the arguments
// take them.
#ifndef MENDORA_CLI_BASH_COMPLETION_H_
#define MENDORA_CLI_BASH_COMPLETION_H_

#include <string>

#include "cli/command_model.h"

namespace mendora::cli {

std::string BashCompletion(const ProgramModel& program);

}  // namespace mendora::cli

#endif  // MENDORA_CLI_BASH_COMPLETION_H_
