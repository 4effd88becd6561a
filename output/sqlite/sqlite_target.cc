// The SQLite target engine.
#include "output/sqlite/sqlite_target.h"

#include <sys/stat.h>

#include <cstdio>

#include "output/sqlite/sqlite_keys.h"
#include "output/sqlite/sqlite_objects.h"
#include "output/sqlite/sqlite_querydef.h"
#include "output/sqlite/sqlite_recordset.h"
#include "output/sqlite/sqlite_relation.h"
#include "output/sqlite/sqlite_schema.h"
#include "output/sqlite/sqlite_types.h"
#include "output/sqlite/sqlite_views.h"
#include "reader/column_types.h"
#include "output/common/target_file.h"
#include "recovery/stop_point.h"

namespace mendora {
namespace {

// The journal only has to undo a failed statement or relation: it stays in
// memory. A crash loses the whole unfinished file anyway, so syncing waits
// for PublishFile. Neither setting is stored in the file.
constexpr char kFreshFilePragmas[] =
    "PRAGMA journal_mode = MEMORY;"
    "PRAGMA synchronous = OFF;"
    "PRAGMA locking_mode = EXCLUSIVE;"
    "PRAGMA foreign_keys = OFF;";

// Rows of a table without keys or indexes only append to its tree, which a
// small cache holds; the large one then only costs the fresh memory it
// takes. A key or index filled in row order touches pages all over its
// tree, and building or checking one sorts: those get the large cache.
constexpr char kKeyedCache[] = "PRAGMA cache_size = -16384";
constexpr char kAppendingCache[] = "PRAGMA cache_size = -2000";

int DenyTransactionControl(void* connection, int action, const char* name, const char*, const char*, const char*) {
  if ((action == SQLITE_CREATE_TRIGGER || action == SQLITE_CREATE_TEMP_TRIGGER) && name != nullptr) {
    static_cast<SqliteConnection*>(connection)->NoteTrigger(name);
  }
  return action == SQLITE_TRANSACTION || action == SQLITE_SAVEPOINT ? SQLITE_DENY : SQLITE_OK;
}

bool Exists(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0;
}

// The CREATE TABLE text of `columns` as declared, without constraints.
std::string PlainTable(const std::vector<SchemaStatement>& columns) {
  std::string sql = "CREATE TABLE " + QuoteIdentifier(StoredTableName(columns.front().table)) + " (";
  for (size_t i = 0; i < columns.size(); ++i) {
    if (i > 0) sql += ", ";
    sql += QuoteIdentifier(StoredColumnName(columns[i].column)) + " " + columns[i].declared_type;
  }
  return sql + ")";
}

// The type SQLite keeps of a column declared `declared`: what its comments
// leave of it.
std::string TypeOfDeclaration(const std::string& declared) {
  std::string type;
  for (size_t i = 0; i < declared.size();) {
    if (declared.compare(i, 2, "/*") == 0) {
      const size_t end = declared.find("*/", i + 2);
      i = end == std::string::npos ? declared.size() : end + 2;
      continue;
    }
    type += declared[i++];
  }
  const size_t begin = type.find_first_not_of(' ');
  if (begin == std::string::npos) return "";
  return type.substr(begin, type.find_last_not_of(' ') - begin + 1);
}

// Prepares the single statement of `sql`, or throws.
SqliteStatement PrepareOne(const std::shared_ptr<SqliteConnection>& connection, const std::string& sql) {
  const std::string what = "cannot run \"" + sql + "\"";
  sqlite3* db = connection->Handle();
  const char* end = sql.data() + sql.size();
  const char* tail = nullptr;
  sqlite3_stmt* raw = nullptr;
  sqlite3_set_authorizer(db, DenyTransactionControl, connection.get());
  int rc = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &raw, &tail);
  sqlite3_set_authorizer(db, nullptr, nullptr);
  if (rc != SQLITE_OK) connection->Fail(what);
  if (raw == nullptr) throw EngineError(what + ": there is no statement");
  SqliteStatement statement(connection, raw);
  // Whatever follows may only be blanks, comments and semicolons. Preparing
  // a further statement runs none of it.
  while (tail != nullptr && tail < end) {
    sqlite3_stmt* next = nullptr;
    const char* rest = nullptr;
    rc = sqlite3_prepare_v2(db, tail, static_cast<int>(end - tail), &next, &rest);
    sqlite3_finalize(next);
    if (rc != SQLITE_OK || next != nullptr) throw EngineError(what + ": it holds more than one statement");
    if (rest == tail) break;
    tail = rest;
  }
  return statement;
}

}  // namespace

SqliteDatabase::~SqliteDatabase() { Abandon(); }

bool SqliteDatabase::IsOpen() const { return connection_ != nullptr && connection_->IsOpen(); }

SqliteConnection& SqliteDatabase::Connection(const char* what) {
  if (!IsOpen()) throw EngineError(std::string(what) + ": the target database is not open");
  return *connection_;
}

void SqliteDatabase::Create(const std::string& path, bool replace) {
  if (IsOpen()) throw EngineError("cannot create " + path + ": the target " + path_ + " is still open");
  // Better refused now than after a long pass; Close checks again.
  if (!replace && Exists(path)) {
    throw EngineError("cannot create " + path + ": a file already exists there and replacing it was not requested");
  }
  if (replace) CheckReplaceable(path);
  for (const std::string& leftover : RemoveLeftoverFiles(path)) {
    std::fprintf(stderr, "Removed %s, the unfinished file of an earlier save that was killed.\n", leftover.c_str());
  }
  FileBeside file = CreateFileBeside(path);
  const std::string& temp = file.path;
  try {
    connection_ = SqliteConnection::Open(temp);
    connection_->Exec(kFreshFilePragmas, "cannot set up " + temp);
    cache_pragma_ = nullptr;
    SizeCache(kKeyedCache);
    connection_->BeginPass();
  } catch (...) {
    connection_.reset();
    RemoveWithJournals(temp);
    ReleaseLock(file.lock);
    throw;
  }
  path_ = path;
  temp_path_ = temp;
  lock_ = file.lock;
  replace_existing_ = replace;
}

void SqliteDatabase::Execute(const SchemaStatement& statement) {
  SqliteConnection& connection = Connection("cannot change the schema");
  std::string column = QuoteIdentifier(StoredColumnName(statement.column)) + " " + statement.declared_type;
  std::string table = QuoteIdentifier(StoredTableName(statement.table));
  std::string sql = statement.kind == SchemaStatement::Kind::kCreateTable
                        ? "CREATE TABLE " + table + " (" + column + ")"
                        : "ALTER TABLE " + table + " ADD COLUMN " + column;
  connection.Exec(sql, statement.kind == SchemaStatement::Kind::kCreateTable
                           ? "cannot create table " + statement.table + " with column " + statement.column + " " +
                                 statement.keyword
                           : "cannot add column " + statement.column + " " + statement.keyword + " to table " +
                                 statement.table);
}

void SqliteDatabase::CreateTable(const std::vector<SchemaStatement>& columns) {
  SqliteConnection& connection = Connection("cannot change the schema");
  if (columns.empty()) throw EngineError("cannot create a table without columns");
  connection.Exec(PlainTable(columns), "cannot create table " + columns.front().table);
}

void SqliteDatabase::CreateTable(const std::vector<SchemaStatement>& columns, const OutputTable& described) {
  SqliteConnection& connection = Connection("cannot change the schema");
  SizeCache(described.indexes.empty() ? kAppendingCache : kKeyedCache);
  plan_->reset();
  bool plannable = !columns.empty() && columns.size() == described.columns.size();
  for (const OutputColumn& column : described.columns) {
    plannable = plannable && column.complex_kind == 0 && column.type != kColumnOle;
  }
  if (plannable) {
    TablePlan plan;
    plan.name = StoredTableName(columns.front().table);
    for (const SchemaStatement& column : columns) {
      plan.columns.push_back({StoredColumnName(column.column), TypeOfDeclaration(column.declared_type)});
    }
    if (PlanTable(connection, described, plan)) {
      plan.plain = PlainTable(columns);
      try {
        connection.Exec("CREATE TABLE " + QuoteIdentifier(plan.name) + " (" + plan.definition + ")",
                        "cannot create table " + described.name);
        *plan_ = std::move(plan);
        return;
      } catch (const EngineError&) {
        // Made plain, the completion meets the refusal and tells it.
      }
    }
  }
  CreateTable(columns);
}

void SqliteDatabase::Execute(const std::string& sql) {
  Connection("cannot run a statement");
  SqliteStatement statement = PrepareOne(connection_, sql);
  while (statement.Step("cannot run \"" + sql + "\"")) {
  }
}

std::unique_ptr<EngineRecordset> SqliteDatabase::NewRecordset() {
  Connection("cannot make a recordset");
  return std::make_unique<SqliteRecordset>(connection_, plan_);
}

std::unique_ptr<EngineRelationDatabase> SqliteDatabase::NewRelationDatabase() {
  Connection("cannot make a relation database");
  return std::make_unique<SqliteRelationDatabase>(connection_);
}

std::unique_ptr<EngineQueryDef> SqliteDatabase::NewQueryDef() {
  Connection("cannot make a query");
  return std::make_unique<SqliteQueryDef>(connection_);
}

std::string SqliteDatabase::TableNameKey(const std::string& name) const { return LowerName(StoredTableName(name)); }

std::string SqliteDatabase::ColumnNameKey(const std::string& name) const { return LowerName(StoredColumnName(name)); }

std::string SqliteDatabase::QueryNameKey(const std::string& name) const { return LowerName(name); }
std::vector<std::string> SqliteDatabase::CompleteTable(const OutputTable& table) {
  SqliteConnection& connection = Connection("cannot complete a table");
  SizeCache(kKeyedCache);
  std::optional<TablePlan> plan;
  if (plan_->has_value() && SameName((*plan_)->name, StoredTableName(table.name))) plan.swap(*plan_);
  return mendora::CompleteTable(connection, table, plan ? &*plan : nullptr);
}

void SqliteDatabase::SizeCache(const char* pragma) noexcept {
  if (cache_pragma_ == pragma) return;
  // The cache decides only how fast the save goes: a refusal loses nothing,
  // and must not cost the table it comes before.
  connection_->ExecQuietly(pragma);
  cache_pragma_ = pragma;
}

void SqliteDatabase::KeepOleWrapper(const OleWrapperRecord& record) {
  SqliteConnection& connection = Connection("cannot keep an OLE wrapper");
  const std::string what = "cannot keep the OLE wrapper of " + record.table + "." + record.column;
  connection.Exec(
      "CREATE TABLE IF NOT EXISTS \"mendora_ole\" (\"table\" TEXT NOT NULL, \"column\" TEXT NOT NULL, "
      "\"row_key\" INTEGER NOT NULL, \"class\" TEXT, \"file_name\" TEXT, \"media_type\" TEXT, "
      "\"file_offset\" INTEGER NOT NULL, \"wrapper\" BLOB NOT NULL)",
      what);
  auto insert = connection.Prepare(
      "INSERT INTO \"mendora_ole\" VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)", what);
  insert.BindText(1, StoredTableName(record.table));
  insert.BindText(2, record.column);
  insert.BindInt(3, record.row_key);
  insert.BindText(4, record.class_name);
  if (!record.file_name.empty()) insert.BindText(5, record.file_name);
  insert.BindText(6, record.media_type);
  insert.BindInt(7, record.file_offset);
  insert.BindBlob(8, record.wrapper);
  insert.Step(what);
}

void SqliteDatabase::KeepObject(const OutputObject& object, const std::string& file_name) {
  KeepAccessObject(Connection("cannot keep a form, report, macro or module"), object, file_name);
}

void SqliteDatabase::CreateViews() { mendora::CreateViews(Connection("cannot create views")); }

void SqliteDatabase::Close() {
  SqliteConnection& connection = Connection("cannot close");
  try {
    StopPoint("commit");
    connection.CommitPass();
    if (publish_check_) publish_check_();
    connection.Close();
    PublishFile(temp_path_, path_, replace_existing_, publish_check_);
  } catch (...) {
    Abandon();
    throw;
  }
  connection_.reset();
  temp_path_.clear();
  ReleaseLock(lock_);
}

void SqliteDatabase::Abandon() noexcept {
  if (connection_ != nullptr) connection_->Close();
  connection_.reset();
  if (!temp_path_.empty()) RemoveWithJournals(temp_path_);
  temp_path_.clear();
  ReleaseLock(lock_);
}

void SqliteDatabase::SetPublishCheck(std::function<void()> check) { publish_check_ = std::move(check); }

}  // namespace mendora
