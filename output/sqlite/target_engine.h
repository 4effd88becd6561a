// The target database engine: where a save pass writes what it recovered.
//
// Every operation reports failure by throwing EngineError; the SQLite output
// catches those at fixed places so that one refused piece loses only itself.
#ifndef MENDORA_OUTPUT_SQLITE_TARGET_ENGINE_H_
#define MENDORA_OUTPUT_SQLITE_TARGET_ENGINE_H_

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "output/common/target_error.h"
#include "reader/value.h"
#include "recovery/recovery_output.h"

namespace mendora {

// One schema statement of a table's re-creation: the engine works from the
// structured fields, so no name can change what the statement does.
struct SchemaStatement {
  enum class Kind { kCreateTable, kAddColumn };
  Kind kind = Kind::kCreateTable;
  std::string table;
  std::string column;
  std::string keyword;        // Jet type keyword without the bracket: "COUNTER", "TEXT", "DECIMAL(18,4)", ...
  std::string declared_type;  // the target's: "INTEGER", "VARCHAR(50)", ...
};

// The wrapper of an OLE value stored as the file inside it: with the file
// put back at `file_offset`, it gives the stored bytes.
struct OleWrapperRecord {
  std::string table;
  std::string column;
  int64_t row_key = 0;  // the row's id in the table
  std::string class_name;
  std::string file_name;
  std::string media_type;
  int64_t file_offset = 0;
  std::string wrapper;
};

class EngineRecordset {
 public:
  virtual ~EngineRecordset() = default;
  // Opens the recordset for adding rows to `table`, whose columns in order
  // take the values at `sources` of each row added.
  virtual void Open(const std::string& table, const std::vector<size_t>& sources) = 0;
  // Adds one row; the values are bound as their types say, with no text
  // parsed back.
  virtual void AddRow(const Row& row) = 0;
  // The target's id of the row added last (SQLite: its rowid), which child
  // tables refer to.
  virtual int64_t LastRowId() const { return 0; }
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
};

// Creates relations in the database that made it. CreateRelation checks a
// relation and may leave the making of it to Close, which is therefore part
// of the work: relations not closed may be missing.
class EngineRelationDatabase {
 public:
  virtual ~EngineRelationDatabase() = default;
  virtual void CreateRelation(const std::string& name, const std::string& table, const std::string& foreign_table,
                              int attributes, const std::vector<RelationField>& fields) = 0;
  virtual void Close() = 0;
  // Where relations kept without their constraint are accounted for.
  virtual void Attach(LossAccount* losses) { (void)losses; }
};

class EngineQueryDef {
 public:
  virtual ~EngineQueryDef() = default;
  virtual void Create(const std::string& name, const std::string& sql) = 0;
  virtual void Append() = 0;
};

class EngineDatabase {
 public:
  virtual ~EngineDatabase() = default;
  // Starts a new database that Close will put at `path`, replacing a file
  // there only when `replace_existing`. Nothing is written at `path` itself
  // before Close succeeds.
  virtual void Create(const std::string& path, bool replace_existing) = 0;
  virtual void Execute(const SchemaStatement& statement) = 0;
  // Creates a table with all its columns in one statement (the first creates
  // the table, the rest add columns): a schema change per column would cost
  // a rewrite of the whole schema each. Throws EngineError when the engine
  // refuses any of them, changing nothing; the caller then goes column by
  // column to lose only what is refused.
  virtual void CreateTable(const std::vector<SchemaStatement>& columns) {
    (void)columns;
    throw EngineError("tables are created column by column");
  }
  // The same for the table `described`, which the engine may create with
  // the keys and constraints its completion would give it, when the rows
  // will bear them: a table made once instead of twice.
  virtual void CreateTable(const std::vector<SchemaStatement>& columns, const OutputTable& described) {
    (void)described;
    CreateTable(columns);
  }
  // Runs exactly one SQL statement of the engine's own dialect.
  virtual void Execute(const std::string& sql) = 0;
  virtual std::unique_ptr<EngineRecordset> NewRecordset() = 0;
  virtual std::unique_ptr<EngineRelationDatabase> NewRelationDatabase() = 0;
  virtual std::unique_ptr<EngineQueryDef> NewQueryDef() = 0;
  // The forms under which the target tells table names and column names of
  // a table apart: two with the same key cannot both be kept.
  virtual std::string TableNameKey(const std::string& name) const { return name; }
  virtual std::string ColumnNameKey(const std::string& name) const { return name; }
  virtual std::string QueryNameKey(const std::string& name) const { return name; }
  // Once a table's rows are in: its keys, indexes, column constraints and
  // properties. One line for each constraint that could not be kept, with
  // its reason.
  virtual std::vector<std::string> CompleteTable(const OutputTable& table) {
    (void)table;
    return {};
  }
  // Once every query is in: views of the saved select queries.
  virtual void CreateViews() {}
  // Keeps the wrapper of an OLE value stored as its file.
  virtual void KeepOleWrapper(const OleWrapperRecord& record) { (void)record; }
  // Keeps a form, report, macro or module of the source, with the file name
  // an export of the objects gives it.
  virtual void KeepObject(const OutputObject& object, const std::string& file_name) {
    (void)object;
    (void)file_name;
  }
  // Completes the database and moves it into place.
  virtual void Close() = 0;
  // Close runs `check` at its last moments before the move (after the commit,
  // after the flush to disk): an exception from it abandons the database.
  virtual void SetPublishCheck(std::function<void()> check) { (void)check; }
  // Drops an unfinished database: nothing is left at the path or beside it.
  virtual void Abandon() noexcept = 0;
  virtual bool IsOpen() const = 0;
};

}  // namespace mendora

#endif  // MENDORA_OUTPUT_SQLITE_TARGET_ENGINE_H_
