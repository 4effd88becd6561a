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
// The dump's name for a column type code ("text", "long", ...).
std::string DumpTypeName(int type);
// Standard base64 with padding: how the dump carries an OLE object's bytes.
std::string Base64(const std::string& bytes);

}  // namespace mendora::cli

#endif  // MENDORA_CLI_COMMANDS_H_
