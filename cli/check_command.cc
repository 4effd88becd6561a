// The check command: the file checked, then its report.
#include "cli/check_command.h"

#include <cstdlib>
#include <iostream>

#include "cli/command_support.h"
#include "cli/exit_codes.h"
#include "cli/output_check.h"
#include "recovery/file_check.h"

namespace mendora::cli {

int RunCheck(const std::string& file, std::ostream& out) {
  int exit_code = 0;
  JetHandlePtr handle = OpenForCommand(file, PasswordFor(file), exit_code);
  if (!handle) return exit_code;
  const FileCheck check = CheckFile(*handle);
  OutputCheck written(out);
  out << "Checked " << file << ": " << (handle->IsAce() ? "Access 2007+" : handle->IsJet4() ? "Jet 4" : "Jet 3")
      << ", " << handle->PageCount() << " pages; " << check.tables << " tables, " << check.rows << " rows, "
      << check.indexes << " indexes (" << check.index_entries << " entries), " << check.relations
      << " relations.\n";
  if (!check.problems.empty()) {
    out << "Problems:\n";
    for (const CheckFinding& finding : check.problems) out << "  " << FindingText(finding) << "\n";
  }
  if (!check.notes.empty()) {
    out << "Not problems, but not verified or worth knowing:\n";
    for (const CheckFinding& finding : check.notes) out << "  " << FindingText(finding) << "\n";
  }
  if (check.Clean()) {
    out << file << " is sound: no problem found.\n";
  } else {
    out << file << " is damaged: " << check.problems.size() << (check.problems.size() == 1 ? " problem" : " problems")
        << ".\n";
  }
  if (!written.Finish()) {
    std::cerr << "mendora-cli: the output could not be written: " << written.reason() << "\n";
    return kExitOutputFailed;
  }
  return check.Clean() ? 0 : kExitLosses;
}

CheckCommand::CheckCommand(CLI::App& app) {
  command_ = app.add_subcommand("check", "Check an Access file for damage without changing it (exit 0: sound, 4: damaged)");
  command_->add_option("FILE", file_, "Access database (.mdb, .mde, .accdb, .accde)")->required();
  options_.AddTo(*command_, /*reads_rows=*/false);
}

int CheckCommand::Run(std::ostream& out) {
  options_.Apply();
  return RunCheck(file_, out);
}

}  // namespace mendora::cli
