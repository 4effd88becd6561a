// The objects command of mendora-cli.
#include "cli/objects_command.h"

#include <cstdio>
#include <deque>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <vector>

#include "cli/commands.h"
#include "cli/output_check.h"
#include "output/common/object_files.h"

namespace mendora::cli {

namespace {

struct Listed {
  std::string kind;
  std::string name;
  size_t size = 0;
  std::string state;  // "yes", "partly", "no"
  std::string file;
};

// Takes the objects of a pass: lists them, and writes each into the folder
// when there is one. A pass that does not complete takes its files back.
class ObjectFiles final : public RecoveryOutput {
 public:
  ObjectFiles(std::filesystem::path dir, std::vector<Listed>& listed) : dir_(std::move(dir)), listed_(listed) {}
  ~ObjectFiles() override { Abandon(); }

  void BeginTable(const OutputTable&) override {}
  void AddRow(const Row&) override {}
  void EndTable(int64_t) override {}

  void AddObject(const OutputObject& object) override {
    Listed entry;
    entry.kind = object.kind;
    entry.name = object.name;
    entry.size = object.data.empty() ? object.text.size() : object.data.size();
    const bool nothing = object.data.empty() && object.text.empty();
    entry.state = object.recovered ? "yes" : nothing ? "no" : "partly";
    if (!nothing) {
      const ObjectFileName name = names_.Take(object);
      entry.file = name.path;
      if (!dir_.empty()) {
        Write(name.path, object.data.empty() ? object.text : object.data);
        if (!name.description.empty()) Write(name.description, object.text);
      }
    }
    listed_.push_back(std::move(entry));
  }

  void Finish() override {
    for (ExportFile& file : files_) file.Publish();
    published_ = true;
  }
  void Abandon() noexcept override {
    if (published_) return;
    for (ExportFile& file : files_) file.Discard();
    files_.clear();
  }

 private:
  void Write(const std::string& relative, const std::string& bytes) {
    const std::filesystem::path path = dir_ / std::filesystem::path(relative);
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    if (error) throw TargetFailed("the folder " + path.parent_path().string() + " could not be made: " + error.message());
    files_.emplace_back();
    files_.back().Open(path);
    files_.back().Write(bytes);
  }

  std::filesystem::path dir_;
  std::vector<Listed>& listed_;
  ObjectFileNames names_;
  std::deque<ExportFile> files_;
  bool published_ = false;
};

}  // namespace

int RunObjects(const std::string& file, const std::string& out_dir, std::ostream& out) {
  std::vector<Listed> listed;
  if (!out_dir.empty()) {
    std::error_code error;
    std::filesystem::create_directories(out_dir, error);
    if (error || !std::filesystem::is_directory(out_dir)) {
      std::cerr << "mendora-cli: the folder " << out_dir << " could not be made" << (error ? ": " + error.message() : "")
                << ".\n";
      return kExitFailed;
    }
  }
  const PassSummary summary = RunPassInto(file, [&]() {
    std::vector<std::unique_ptr<RecoveryOutput>> outputs;
    outputs.push_back(std::make_unique<ObjectFiles>(out_dir, listed));
    return outputs;
  });
  if (summary.exit_code != 0 && summary.exit_code != kExitLosses) return summary.exit_code;
  OutputCheck check(out);
  if (listed.empty()) {
    out << "No forms, reports, macros or modules.\n";
  } else {
    out << "kind    recovered       size  name  ->  file\n";
    size_t whole = 0;
    for (const Listed& entry : listed) {
      char head[64];
      std::snprintf(head, sizeof head, "%-7s %-9s %10zu  ", entry.kind.c_str(), entry.state.c_str(), entry.size);
      out << head << entry.name << (entry.file.empty() ? "" : "  ->  " + entry.file) << "\n";
      if (entry.state == "yes") ++whole;
    }
    out << listed.size() << " objects, " << whole << " recovered whole"
        << (out_dir.empty() ? "" : ", written to " + out_dir) << "\n";
  }
  if (!check.Finish()) return kExitOutputFailed;
  return summary.exit_code;
}

ObjectsCommand::ObjectsCommand(CLI::App& app) {
  command_ = app.add_subcommand("objects", "List the forms, reports, macros and VBA modules, and write them with --out-dir");
  command_->add_option("FILE", file_, "Access database (.mdb, .mde, .accdb, .accde)")->required();
  command_->add_option("--out-dir", out_dir_,
                       "write modules/NAME.bas|.cls, macros/NAME.xml|.txt, forms/NAME.form and reports/NAME.report "
                       "(with NAME.txt: what the definition says) into DIR")
      ->type_name("DIR");
  command_->add_flag("--quiet,-q", quiet_, "no progress line or damage notes: only errors, the list and the loss account");
  command_->add_option("--password", password_,
                       "password of an encrypted FILE (prefer MENDORA_PASSWORD, or leave both out to be asked)");
}

int ObjectsCommand::Run(std::ostream& out) {
  SetQuiet(quiet_);
  SetProgressDisplay(quiet_ ? ProgressLine::Display::kHidden : ProgressLine::ForStandardError());
  if (!password_) {
    if (const char* env = std::getenv("MENDORA_PASSWORD"); env != nullptr) password_ = std::string(env);
  }
  SetPassword(password_);
  return RunObjects(file_, out_dir_, out);
}

}  // namespace mendora::cli
