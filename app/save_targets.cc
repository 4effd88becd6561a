// The outputs of Save's formats.
#include "app/save_targets.h"

#include <filesystem>
#include <system_error>

#include "output/common/pipelined_output.h"
#include "output/csv/csv_export.h"
#include "output/jsonl/jsonl_export.h"
#include "output/sql/sql_export.h"
#include "output/sqlite/sqlite_output.h"
#include "output/targets.h"

namespace mendora {

namespace {

// The CSV export writes into a folder: made here when missing, and taken
// away again when the export is abandoned and leaves it empty.
class FolderExport final : public RecoveryOutput {
 public:
  explicit FolderExport(const std::filesystem::path& dir) : dir_(dir) {
    std::error_code error;
    made_ = std::filesystem::create_directories(dir_, error);
    if (error || !std::filesystem::is_directory(dir_)) {
      throw TargetFailed("the folder " + dir_.string() + " could not be made: " + error.message());
    }
    inner_ = std::make_unique<CsvExport>(dir_, ExportOptions{});
  }

  void Attach(LossAccount& losses) override { inner_->Attach(losses); }
  void BeginTable(const OutputTable& table) override { inner_->BeginTable(table); }
  void AddRow(const Row& row) override { inner_->AddRow(row); }
  void EndTable(int64_t rows) override { inner_->EndTable(rows); }
  void AddRelation(const OutputRelation& relation) override { inner_->AddRelation(relation); }
  void AddQuery(const std::string& name, const std::string& sql) override { inner_->AddQuery(name, sql); }
  std::string TableNameKey(const std::string& name) const override { return inner_->TableNameKey(name); }
  std::string ColumnNameKey(const std::string& name) const override { return inner_->ColumnNameKey(name); }
  std::string QueryNameKey(const std::string& name) const override { return inner_->QueryNameKey(name); }
  void SetPublishCheck(std::function<void()> check) override { inner_->SetPublishCheck(std::move(check)); }
  void Finish() override { inner_->Finish(); }
  void Abandon() noexcept override {
    inner_->Abandon();
    std::error_code error;
    if (made_ && std::filesystem::is_empty(dir_, error)) std::filesystem::remove(dir_, error);
  }

 private:
  std::filesystem::path dir_;
  bool made_ = false;
  std::unique_ptr<CsvExport> inner_;
};

TargetFactory SqlFactory(SqlDialect dialect) {
  return PipelinedTargetFactory([dialect](const std::string& path, bool) -> std::unique_ptr<RecoveryOutput> {
    return std::make_unique<SqlExport>(path, dialect, ExportOptions{});
  });
}

}  // namespace

// Every target stores or writes on a thread of its own while the pass reads
// on, as on the command line.
TargetFactory SaveTargetFactory(SaveFormatId format) {
  switch (format) {
    case SaveFormatId::kAccess:
      return MakeTargetFactory(SaveFormat::kAccess);
    case SaveFormatId::kSqlite:
      return MakeTargetFactory(SaveFormat::kSqlite);
    case SaveFormatId::kCsv:
      return PipelinedTargetFactory([](const std::string& path, bool) -> std::unique_ptr<RecoveryOutput> {
        return std::make_unique<FolderExport>(path);
      });
    case SaveFormatId::kJsonLines:
      return PipelinedTargetFactory([](const std::string& path, bool) -> std::unique_ptr<RecoveryOutput> {
        return std::make_unique<JsonLinesExport>(path, ExportOptions{});
      });
    case SaveFormatId::kSqlPostgreSql:
      return SqlFactory(SqlDialect::kPostgreSql);
    case SaveFormatId::kSqlMySql:
      return SqlFactory(SqlDialect::kMySql);
    case SaveFormatId::kSqlSqlite:
      return SqlFactory(SqlDialect::kSqlite);
  }
  return MakeTargetFactory(SaveFormat::kAccess);
}

}  // namespace mendora
