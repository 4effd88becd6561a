// The save target: a recovery output that writes a new SQLite database
// through the target engine.
//
// Each table is created column by column, so a column the engine refuses
// loses only itself; each row is one INSERT of its typed values; relations
// become foreign keys once every table exists; saved queries go to the
// query catalog. Whatever the engine refuses is counted in the pass's loss
// account and the rest is saved.
#ifndef MENDORA_OUTPUT_SQLITE_SQLITE_OUTPUT_H_
#define MENDORA_OUTPUT_SQLITE_SQLITE_OUTPUT_H_

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "output/common/object_files.h"
#include "output/sqlite/target_engine.h"
#include "recovery/recovery_output.h"
#include "recovery/recovery_session.h"

namespace mendora {

// The statement that creates `column` of `table`: the table itself when
// `first`, else a column added to it.
SchemaStatement ColumnStatement(const std::string& table, const OutputColumn& column, bool first);

class EngineOutput final : public RecoveryOutput {
 public:
  // Starts the new database; nothing appears at `path` before Finish.
  EngineOutput(std::unique_ptr<EngineDatabase> database, const std::string& path, bool replace_existing,
               OleStorage ole = OleStorage::kUnwrap);
  ~EngineOutput() override;

  void BeginTable(const OutputTable& table) override;
  void AddRow(const Row& row) override;
  void EndTable(int64_t rows) override;
  void AddRelation(const OutputRelation& relation) override;
  void AddQuery(const std::string& name, const std::string& sql) override;
  void AddObject(const OutputObject& object) override;
  std::string TableNameKey(const std::string& name) const override { return database_->TableNameKey(name); }
  std::string ColumnNameKey(const std::string& name) const override { return database_->ColumnNameKey(name); }
  std::string QueryNameKey(const std::string& name) const override { return database_->QueryNameKey(name); }
  void SetPublishCheck(std::function<void()> check) override { database_->SetPublishCheck(std::move(check)); }
  void Finish() override;
  void Abandon() noexcept override;

 private:
  std::unique_ptr<EngineDatabase> database_;
  std::unique_ptr<EngineRecordset> recordset_;
  std::unique_ptr<EngineRelationDatabase> relations_;
  std::string path_;
  // A complex column's child table "TABLE.COLUMN": its entries, each with
  // the rowid of its row in TABLE.
  struct ChildTable {
    size_t column = 0;
    int kind = 0;
    std::string name;
    std::unique_ptr<EngineRecordset> recordset;
    Row row;  // reused for each entry
  };
  void BeginChildTable(const std::string& table, const OutputColumn& column, size_t index);
  void AddEntries(const Row& row, int64_t parent);

  std::string table_;        // the table rows go to; empty when it was refused
  OutputTable described_;    // the table being written, completed at its end
  OleStorage ole_;
  std::vector<size_t> ole_columns_;  // of the current table
  Row unwrapped_;            // a row whose OLE values are their files
  int64_t stored_ = 0;       // rows stored in the current table: the last one's id
  int64_t record_ = 0;       // rows offered to the current table
  std::vector<ChildTable> children_;
  ObjectFileNames object_files_;
};

using EngineFactory = std::function<std::unique_ptr<EngineDatabase>()>;

// Targets written through engines `make` creates.
TargetFactory EngineTargetFactory(EngineFactory make, OleStorage ole = OleStorage::kUnwrap);
// The SQLite target, the default.
TargetFactory SqliteTargetFactory(OleStorage ole = OleStorage::kUnwrap);

}  // namespace mendora

#endif  // MENDORA_OUTPUT_SQLITE_SQLITE_OUTPUT_H_
