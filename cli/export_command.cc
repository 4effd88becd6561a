// The export command of mendora-cli.
#include "cli/export_command.h"

#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/output_check.h"
#include "output/common/pipelined_output.h"
#include "output/csv/csv_export.h"
#include "output/jsonl/jsonl_export.h"
#include "output/sql/sql_export.h"

namespace mendora::cli {

namespace {

int Rank(int code) {
  if (code == 0) return 0;
  if (code == kExitLosses) return 1;
  if (code == kExitInterrupted) return 1000;
  return 2 + code;
}

std::string StatusText(int code) {
  switch (code) {
    case 0: return "complete";
    case kExitLosses: return "complete with losses";
    case kExitNotOpened: return "not opened";
    case kExitNotADatabase: return "not an Access database";
    case kExitNothingRecovered: return "nothing recovered";
    case kExitPassword: return "password missing or wrong";
    case kExitInterrupted: return "interrupted";
    default: return "failed";
  }
}

}  // namespace

int WorseExitCode(int a, int b) { return Rank(b) > Rank(a) ? b : a; }

int RunExport(const ExportRequest& request, std::ostream& out) {
  std::optional<SqlDialect> dialect;
  if (request.format == "sql") {
    dialect = SqlDialectNamed(request.dialect);
    if (!dialect) {
      std::cerr << "mendora-cli: --format sql needs --dialect postgresql, mysql or sqlite.\n";
      return static_cast<int>(CLI::ExitCodes::RequiredError);
    }
  }
  const std::filesystem::path out_dir = request.out_dir;
  std::error_code error;
  std::filesystem::create_directories(out_dir, error);
  if (error || !std::filesystem::is_directory(out_dir)) {
    std::cerr << "mendora-cli: the folder " << out_dir.string() << " could not be made: " << error.message() << ".\n";
    return kExitFailed;
  }

  OutputCheck check(out);
  SafeNames stems;
  int worst = 0;
  const bool many = request.files.size() > 1;
  for (const std::string& file : request.files) {
    const std::string stem = stems.Take(std::filesystem::path(file).stem().string());
    const std::filesystem::path dir = many ? out_dir / stem : out_dir;
    ExportOptions options;
    options.ole = request.ole;
    options.bom = request.bom;
    if (!request.blobs_dir.empty()) options.blobs_dir = many ? std::filesystem::path(request.blobs_dir) / stem : std::filesystem::path(request.blobs_dir);
    std::filesystem::path written;
    const OutputMaker make = [&]() {
      std::error_code made;
      std::filesystem::create_directories(dir, made);
      if (!options.blobs_dir.empty()) std::filesystem::create_directories(options.blobs_dir, made);
      if (made) throw TargetFailed("the folder " + dir.string() + " could not be made: " + made.message());
      std::unique_ptr<RecoveryOutput> exporter;
      if (request.format == "csv") {
        written = dir;
        exporter = std::make_unique<CsvExport>(dir, options);
      } else if (request.format == "jsonl") {
        written = dir / (stem + ".jsonl");
        exporter = std::make_unique<JsonLinesExport>(written, options);
      } else {
        written = dir / (stem + ".sql");
        exporter = std::make_unique<SqlExport>(written, *dialect, options);
      }
      // Rows are rendered on a thread of their own while the pass decodes
      // the next ones.
      std::vector<std::unique_ptr<RecoveryOutput>> outputs;
      outputs.push_back(std::make_unique<PipelinedOutput>(std::move(exporter)));
      return outputs;
    };
    const PassSummary summary = RunPassInto(file, make);
    worst = WorseExitCode(worst, summary.exit_code);
    out << file << ": " << StatusText(summary.exit_code);
    if (summary.exit_code == 0 || summary.exit_code == kExitLosses) {
      out << ", " << summary.tables << (summary.tables == 1 ? " table, " : " tables, ") << summary.rows
          << (summary.rows == 1 ? " row" : " rows") << " -> " << written.string();
    }
    out << "\n";
    if (many && summary.exit_code != 0 && summary.exit_code != kExitLosses) {
      std::filesystem::remove(dir, error);  // only when it stayed empty
    }
    if (summary.exit_code == kExitInterrupted) break;
  }
  if (many) out << request.files.size() << " files, exit code " << worst << "\n";
  if (!check.Finish()) {
    std::cerr << "mendora-cli: the summary could not be written: " << check.reason() << "\n";
    worst = WorseExitCode(worst, kExitOutputFailed);
  }
  return worst;
}

ExportCommand::ExportCommand(CLI::App& app) {
  command_ = app.add_subcommand("export", "Write every recovered table as CSV, JSON Lines or a SQL script");
  command_->add_option("FILE", request_.files, "Access databases (.mdb, .mde, .accdb, .accde)")->required();
  command_->add_option("--format", request_.format, "csv: a file per table; jsonl: a JSON object per row; sql: a script")
      ->required()
      ->check(CLI::IsMember({"csv", "jsonl", "sql"}));
  command_->add_option("--dialect", request_.dialect, "the SQL script's database: postgresql, mysql or sqlite")
      ->check(CLI::IsMember({"postgresql", "postgres", "mysql", "mariadb", "sqlite", "sqlite3"}));
  command_->add_option("--out-dir", request_.out_dir, "the folder to write into (made if missing)")->required();
  command_->add_option("--blobs", request_.blobs_dir,
                       "write binary values as files TABLE/COLUMN/ROW.EXT under this folder instead of base64 (EXT by "
                       "the file's kind: bmp, png, jpg, pdf, ...; bin when unknown)");
  command_->add_flag("--bom", request_.bom, "CSV: start each file with a UTF-8 byte-order mark (for spreadsheets)");
  command_->add_option("--ole", ole_, "OLE objects: 'file' the document inside Access's wrapper, 'raw' the stored bytes")
      ->check(CLI::IsMember({"file", "raw"}));
  auto* verbose = command_->add_flag("--verbose", verbose_, "show every damage report, not only the first of each table");
  command_->add_flag("--quiet,-q", quiet_, "no progress line or damage notes: only errors, summaries and the loss account")
      ->excludes(verbose);
  command_->add_flag("--deleted", deleted_, "also recover deleted rows that still read whole, as 'NAME (deleted rows)'");
  command_->add_option("--password", password_,
                       "password of an encrypted FILE (prefer MENDORA_PASSWORD, or leave both out to be asked)");
  command_->add_option("--code-page", code_page_, kCodePageHelp)->check(CLI::Validator(CheckCodePage, "N"));
  AddJobsOption(*command_, jobs_);
}

int ExportCommand::Run(std::ostream& out) {
  SetVerbose(verbose_);
  SetQuiet(quiet_);
  SetProgressDisplay(quiet_ ? ProgressLine::Display::kHidden : ProgressLine::ForStandardError());
  SetRecoverDeleted(deleted_);
  if (!password_) {
    if (const char* env = std::getenv("MENDORA_PASSWORD"); env != nullptr) password_ = std::string(env);
  }
  SetPassword(password_);
  SetCodePage(code_page_);
  SetDecodeJobs(jobs_);
  request_.ole = ole_ == "raw" ? OleStorage::kRaw : OleStorage::kUnwrap;
  if (request_.format == "sql" && request_.dialect.empty()) {
    std::cerr << "mendora-cli: --format sql needs --dialect postgresql, mysql or sqlite.\n";
    return static_cast<int>(CLI::ExitCodes::RequiredError);
  }
  return RunExport(request_, out);
}

}  // namespace mendora::cli
