// A SQLite connection and its prepared statements, failing with EngineError.
//
// Statements share ownership of their connection: a recordset that outlives
// its database finds the connection closed and fails cleanly instead of
// touching a freed handle.
#ifndef MENDORA_OUTPUT_SQLITE_SQLITE_CONNECTION_H_
#define MENDORA_OUTPUT_SQLITE_SQLITE_CONNECTION_H_

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "output/sqlite/target_engine.h"

namespace mendora {

class SqliteStatement;

class SqliteConnection : public std::enable_shared_from_this<SqliteConnection> {
 public:
  // Opens an existing file for reading and writing.
  static std::shared_ptr<SqliteConnection> Open(const std::string& path);

  ~SqliteConnection();
  SqliteConnection(const SqliteConnection&) = delete;
  SqliteConnection& operator=(const SqliteConnection&) = delete;

  bool IsOpen() const { return db_ != nullptr; }

  // Runs SQL text this engine wrote itself; `what` names the step for errors.
  void Exec(const std::string& sql, std::string_view what);
  // Like Exec, but never throws: for undoing work while another error is
  // already on its way out.
  void ExecQuietly(const std::string& sql) noexcept;
  SqliteStatement Prepare(std::string_view sql, std::string_view what);

  // The transaction all work of a pass belongs to, until CommitPass.
  void BeginPass();
  void CommitPass();

  // Finalizes every statement still prepared and closes; safe to repeat.
  void Close() noexcept;

  // Triggers made on this connection are noted: SQLite finds tables, views
  // and indexes by name in memory, but a trigger's name only by reading the
  // whole schema, which a name known to be no trigger's spares.
  void NoteTrigger(std::string_view name);
  bool MayBeTrigger(std::string_view name) const;

  // The open handle; throws once closed or once the pass transaction was lost.
  sqlite3* Handle();

  // Throws EngineError naming `what` with SQLite's error text `detail`, or
  // TargetBroken when SQLite's result `code` (the connection's last one when
  // -1) says the file or the transaction is lost rather than the statement
  // refused.
  [[noreturn]] void Fail(std::string_view what, const std::string& detail, int code = -1);
  [[noreturn]] void Fail(std::string_view what);

 private:
  explicit SqliteConnection(sqlite3* db) : db_(db) {}

  sqlite3* db_;
  bool in_pass_ = false;
  std::set<std::string> triggers_;  // their names in lower case
  // Set when SQLite rolled the pass transaction back on its own (disk full,
  // I/O error): everything written before is gone, so nothing may go on.
  std::string lost_pass_;
};

class SqliteStatement {
 public:
  SqliteStatement(std::shared_ptr<SqliteConnection> connection, sqlite3_stmt* stmt) noexcept
      : connection_(std::move(connection)), stmt_(stmt) {}
  SqliteStatement(SqliteStatement&& other) noexcept;
  SqliteStatement& operator=(SqliteStatement&& other) noexcept;
  ~SqliteStatement();

  void BindNull(int index);
  void BindInt(int index, int64_t value);
  void BindDouble(int index, double value);
  void BindText(int index, std::string_view text);
  void BindBlob(int index, std::string_view bytes);
  // Without a copy: the bytes must stay put until the statement has run.
  void BindTextStatic(int index, std::string_view text);
  void BindBlobStatic(int index, std::string_view bytes);

  // Returns true while there is a row to read.
  bool Step(std::string_view what);
  // Ready to run again, with every parameter back to NULL.
  void Reset() noexcept;
  // Ready to run again, keeping the parameters: for a statement whose every
  // parameter is bound before each run.
  void Rewind() noexcept;

  std::string ColumnText(int column);
  int64_t ColumnInt(int column);
  bool ColumnIsNull(int column);

 private:
  sqlite3_stmt* Get();
  void CheckBind(int rc);

  std::shared_ptr<SqliteConnection> connection_;
  sqlite3_stmt* stmt_;
};

}  // namespace mendora

#endif  // MENDORA_OUTPUT_SQLITE_SQLITE_CONNECTION_H_
