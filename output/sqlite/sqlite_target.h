// The SQLite target engine: a save pass writes what it recovered into a new
// SQLite database through this.
//
// The database is built in a file beside the chosen path under one
// transaction, and only moved to the path when Close has committed it. It
// is opened by no other connection, so nothing is journaled to disk or
// synced before that move.
#ifndef MENDORA_OUTPUT_SQLITE_SQLITE_TARGET_H_
#define MENDORA_OUTPUT_SQLITE_SQLITE_TARGET_H_

#include <memory>
#include <optional>
#include <string>

#include "output/sqlite/sqlite_connection.h"
#include "output/sqlite/sqlite_keys.h"
#include "output/sqlite/target_engine.h"

namespace mendora {

class SqliteDatabase final : public EngineDatabase {
 public:
  SqliteDatabase() = default;
  // An unfinished database is abandoned.
  ~SqliteDatabase() override;
  SqliteDatabase(const SqliteDatabase&) = delete;
  SqliteDatabase& operator=(const SqliteDatabase&) = delete;

  // Without `replace_existing`, fails at once when something is at `path`;
  // with it, when what is there is no regular file. Removes the files that
  // killed saves to `path` left beside it, and says so on stderr.
  void Create(const std::string& path, bool replace_existing) override;
  void Execute(const SchemaStatement& statement) override;
  void CreateTable(const std::vector<SchemaStatement>& columns) override;
  // Creates the table as planned when it has no OLE and no complex column
  // (whose rows other tables refer to by row id) and its plan differs from
  // the plain table.
  void CreateTable(const std::vector<SchemaStatement>& columns, const OutputTable& described) override;
  // Refuses empty text, a second statement and transaction control, which
  // would end the transaction the whole pass is written in.
  void Execute(const std::string& sql) override;
  std::unique_ptr<EngineRecordset> NewRecordset() override;
  std::unique_ptr<EngineRelationDatabase> NewRelationDatabase() override;
  std::unique_ptr<EngineQueryDef> NewQueryDef() override;
  // Names compare without ASCII case, after StoredTableName or StoredColumnName.
  std::string TableNameKey(const std::string& name) const override;
  std::string ColumnNameKey(const std::string& name) const override;
  std::string QueryNameKey(const std::string& name) const override;
  std::vector<std::string> CompleteTable(const OutputTable& table) override;
  void KeepOleWrapper(const OleWrapperRecord& record) override;
  void KeepObject(const OutputObject& object, const std::string& file_name) override;
  void CreateViews() override;
  void Close() override;
  void SetPublishCheck(std::function<void()> check) override;
  void Abandon() noexcept override;
  bool IsOpen() const override;

 private:
  SqliteConnection& Connection(const char* what);
  // Sets the page cache for what comes next, one of the cache pragmas.
  void SizeCache(const char* pragma) noexcept;

  std::shared_ptr<SqliteConnection> connection_;
  // The table last created as planned, until its completion or its first
  // row that breaks the plan.
  std::shared_ptr<std::optional<TablePlan>> plan_ = std::make_shared<std::optional<TablePlan>>();
  std::string path_;
  std::string temp_path_;
  bool replace_existing_ = false;
  int lock_ = -1;  // marks temp_path_ as the file of a live save
  std::function<void()> publish_check_;
  const char* cache_pragma_ = nullptr;  // the cache pragma run last; null: none yet
};

}  // namespace mendora

#endif  // MENDORA_OUTPUT_SQLITE_SQLITE_TARGET_H_
