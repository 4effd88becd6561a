// The commands of mendora-cli, separate from argument parsing so tests can
// run them.
#ifndef MENDORA_CLI_COMMANDS_H_
#define MENDORA_CLI_COMMANDS_H_

#include <ostream>
#include <string>

namespace mendora::cli {

int RunCatalog(const std::string& file, std::ostream& out);
int RunAnalyze(const std::string& file, std::ostream& out);
int RunDump(const std::string& file, std::ostream& out);
int RunRecover(const std::string& file, const std::string& target, bool force, std::ostream& out);

// The analysis log with the platform's line ends.
std::string PlatformLineEnds(const std::string& text);

}  // namespace mendora::cli

#endif  // MENDORA_CLI_COMMANDS_H_
