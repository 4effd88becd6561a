// The commands of mendora-cli, separate from argument parsing so tests can
// run them.
#ifndef MENDORA_CLI_COMMANDS_H_
#define MENDORA_CLI_COMMANDS_H_

#include <ostream>
#include <string>

#include "recovery/recovery_output.h"

namespace mendora::cli {

int RunCatalog(const std::string& file, std::ostream& out);
int RunAnalyze(const std::string& file, std::ostream& out);
int RunDump(const std::string& file, std::ostream& out, OleStorage ole = OleStorage::kUnwrap);
int RunRecover(const std::string& file, const std::string& target, bool force, std::ostream& out,
               OleStorage ole = OleStorage::kUnwrap);

// The analysis log with the platform's line ends.
std::string PlatformLineEnds(const std::string& text);

}  // namespace mendora::cli

#endif  // MENDORA_CLI_COMMANDS_H_
