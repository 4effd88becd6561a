// Gathering the report's sections as the passes run, and writing it.
#include "cli/report_option.h"

#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "cli/command_support.h"
#include "cli/commands.h"
#include "cli/version.h"

namespace mendora::cli {

namespace {

// The sections of the run, in the order the sources were read.
bool report_asked = false;
RecoveryReport report;

bool ReportAsked() { return report_asked; }

std::string Outcome(int exit_code) {
  switch (exit_code) {
    case 0: return "complete";
    case kExitLosses: return "complete, with losses";
    case kExitNotOpened: return "the file could not be opened";
    case kExitFailed: return "the save failed, or reading stopped part-way";
    case kExitNotADatabase: return "not an Access database";
    case kExitNothingRecovered: return "nothing could be recovered";
    case kExitOutputFailed: return "the output could not be written";
    case kExitPassword: return "encrypted: the password is missing or wrong, or the encryption is not supported";
    case kExitInterrupted: return "interrupted; nothing was saved";
    default: return "failed";
  }
}

// The command line as run, with a password's value left out.
std::string CommandLine(int argc, char** argv) {
  std::string text = "mendora-cli";
  bool hide_next = false;
  for (int i = 1; i < argc; ++i) {
    std::string word = argv[i];
    if (hide_next) {
      word = "(hidden)";
      hide_next = false;
    } else if (word == "--password") {
      hide_next = true;
    } else if (word.rfind("--password=", 0) == 0) {
      word = "--password=(hidden)";
    }
    if (word.empty() || word.find_first_of(" \t'\"\\$") != std::string::npos) {
      std::string quoted = "'";
      for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
      word = quoted + "'";
    }
    text += " " + word;
  }
  return text;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat first, second;
  return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
}

std::string Now() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &utc);
  return text;
}

bool IsHtml(const std::string& path) {
  std::string extension = std::filesystem::path(path).extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension == ".html" || extension == ".htm";
}

}  // namespace

ReportOption::ReportOption(CLI::App& app, std::initializer_list<const char*> commands, int argc, char** argv)
    : command_line_(CommandLine(argc, argv)) {
  for (const char* name : commands) {
    CLI::App* command = nullptr;
    for (CLI::App* sub : app.get_subcommands([name](const CLI::App* c) { return c->get_name() == name; })) command = sub;
    if (command == nullptr) continue;
    command
        ->add_option("--report", path_,
                     "write what was recovered and lost (per table, relations, queries, indexes, unreadable pages, "
                     "every loss) to FILE: HTML for a name ending in .html, text otherwise")
        ->type_name("FILE")
        ->each([](const std::string&) { report_asked = true; });
  }
}

int ReportOption::Finish(int exit_code) {
  if (path_.empty()) return exit_code;
  for (const ReportSection& section : report.sections) {
    for (const std::string& kept : {section.source, section.target}) {
      if (!kept.empty() && SameFile(path_, kept)) {
        std::cerr << "mendora-cli: the report was not written: " << path_ << " is " << kept
                  << ", which a report never replaces.\n";
        return WorstExitCode(exit_code, kExitOutputFailed);
      }
    }
  }
  report.program = std::string("mendora-cli ") + MENDORA_VERSION;
  report.command = command_line_;
  report.written = Now();
  const std::string text = IsHtml(path_) ? ReportHtml(report) : ReportText(report);
  // Written whole beside its place and moved there, so a failure leaves no
  // half report.
  const std::string partial = path_ + ".partial";
  std::error_code error;
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) error = std::make_error_code(std::errc::io_error);
  }
  if (!error) std::filesystem::rename(partial, path_, error);
  if (error) {
    std::filesystem::remove(partial);
    std::cerr << "mendora-cli: the report could not be written to " << path_ << ": " << error.message() << ".\n";
    return WorstExitCode(exit_code, kExitOutputFailed);
  }
  return exit_code;
}

PassReport::PassReport() = default;

PassReport::~PassReport() = default;

void PassReport::Attach(RecoverySession& session) {
  if (!ReportAsked()) return;
  collector_ = std::make_unique<ReportCollector>();
  session.options.outputs.push_back(collector_.get());
}

void PassReport::Done(const RecoverySession& session, bool completed, int exit_code, const std::string& target) {
  if (!collector_) return;
  ReportSection section = MakeReportSection(session, *collector_);
  section.completed = completed;
  section.exit_code = exit_code;
  section.outcome = Outcome(exit_code);
  section.target = target;
  if (completed) {
    section.census = CountPages(session.options.source_path, session.options.password);
    if (!target.empty()) section.saved = CountSaved(target);
  }
  report.sections.push_back(std::move(section));
}

void ReportNoPass(const std::string& file, int exit_code) {
  if (!ReportAsked()) return;
  ReportSection section;
  section.source = file;
  section.exit_code = exit_code;
  section.outcome = Outcome(exit_code);
  report.sections.push_back(std::move(section));
}

}  // namespace mendora::cli
