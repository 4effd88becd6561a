// A SQLite connection and its prepared statements, failing with EngineError.
#include "output/sqlite/sqlite_connection.h"

#include <utility>

#include "output/sqlite/sqlite_write_buffer.h"
#include "reader/text_codec.h"

namespace mendora {

std::shared_ptr<SqliteConnection> SqliteConnection::Open(const std::string& path) {
  // SQLite's count of its memory takes a lock around every allocation it
  // makes (a few per row stored); nothing here reads that count. Set before
  // SQLite's first use in the process, or left as it is.
  static const bool kUncounted = [] { return sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK; }();
  (void)kUncounted;
  sqlite3* db = nullptr;
  // One thread uses a connection at a time, so SQLite need not lock for us.
  int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, WriteBufferVfsName());
  if (rc != SQLITE_OK) {
    std::string detail = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    sqlite3_close(db);
    throw EngineError("cannot open " + path + ": " + detail);
  }
  sqlite3_extended_result_codes(db, 1);
  return std::shared_ptr<SqliteConnection>(new SqliteConnection(db));
}

SqliteConnection::~SqliteConnection() { Close(); }

void SqliteConnection::Close() noexcept {
  if (db_ == nullptr) return;
  // Recordsets may still hold statements; closing must not wait for them,
  // because the file is renamed or removed right after.
  while (sqlite3_stmt* stmt = sqlite3_next_stmt(db_, nullptr)) sqlite3_finalize(stmt);
  sqlite3_close(db_);
  db_ = nullptr;
  in_pass_ = false;
}

namespace {

// Failures of the file or the engine rather than of the statement: whatever
// comes next would fail the same way.
bool TargetIsBroken(int code) {
  switch (code & 0xFF) {
    case SQLITE_FULL:
    case SQLITE_IOERR:
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_NOMEM:
    case SQLITE_CANTOPEN:
    case SQLITE_READONLY:
    case SQLITE_PROTOCOL:
    case SQLITE_NOLFS:
      return true;
    default:
      return false;
  }
}

}  // namespace

sqlite3* SqliteConnection::Handle() {
  if (db_ == nullptr) throw EngineError("the target database is closed");
  if (!lost_pass_.empty()) throw TargetBroken("the target database lost its unsaved work: " + lost_pass_);
  return db_;
}

void SqliteConnection::Fail(std::string_view what, const std::string& detail, int code) {
  if (code < 0) code = db_ != nullptr ? sqlite3_extended_errcode(db_) : SQLITE_MISUSE;
  std::string message = std::string(what) + ": " + detail;
  if (in_pass_ && db_ != nullptr && sqlite3_get_autocommit(db_) != 0 && lost_pass_.empty()) {
    lost_pass_ = message;
    message += " (the transaction was rolled back; the target cannot be completed)";
    throw TargetBroken(message);
  }
  if (TargetIsBroken(code)) throw TargetBroken(message);
  throw EngineError(message);
}

void SqliteConnection::Fail(std::string_view what) {
  Fail(what, db_ != nullptr ? sqlite3_errmsg(db_) : "the target database is closed");
}

void SqliteConnection::NoteTrigger(std::string_view name) { triggers_.insert(AsciiLower(name)); }

bool SqliteConnection::MayBeTrigger(std::string_view name) const { return triggers_.count(AsciiLower(name)) != 0; }

void SqliteConnection::Exec(const std::string& sql, std::string_view what) {
  if (sqlite3_exec(Handle(), sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) Fail(what);
}

void SqliteConnection::ExecQuietly(const std::string& sql) noexcept {
  if (db_ != nullptr) sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
}

SqliteStatement SqliteConnection::Prepare(std::string_view sql, std::string_view what) {
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(Handle(), sql.data(), static_cast<int>(sql.size()), &stmt, nullptr) != SQLITE_OK) {
    Fail(what);
  }
  if (stmt == nullptr) throw EngineError(std::string(what) + ": no statement to run");
  return SqliteStatement(shared_from_this(), stmt);
}

void SqliteConnection::BeginPass() {
  Exec("BEGIN", "cannot start the target transaction");
  in_pass_ = true;
}

void SqliteConnection::CommitPass() {
  Exec("COMMIT", "cannot commit the target database");
  in_pass_ = false;
  // The commit wrote its last pages through the held runs: a failure there
  // is the commit's.
  if (const int rc = FlushHeldWrites(db_); rc != SQLITE_OK) {
    Fail("cannot commit the target database", sqlite3_errstr(rc), rc);
  }
}

SqliteStatement::SqliteStatement(SqliteStatement&& other) noexcept
    : connection_(std::move(other.connection_)), stmt_(std::exchange(other.stmt_, nullptr)) {}

SqliteStatement& SqliteStatement::operator=(SqliteStatement&& other) noexcept {
  if (this != &other) {
    SqliteStatement old(std::move(*this));
    connection_ = std::move(other.connection_);
    stmt_ = std::exchange(other.stmt_, nullptr);
  }
  return *this;
}

SqliteStatement::~SqliteStatement() {
  // A closed connection already finalized every statement it had.
  if (stmt_ != nullptr && connection_ != nullptr && connection_->IsOpen()) sqlite3_finalize(stmt_);
}

sqlite3_stmt* SqliteStatement::Get() {
  if (stmt_ == nullptr || connection_ == nullptr) throw EngineError("statement is not prepared");
  connection_->Handle();  // throws once the connection is closed
  return stmt_;
}

void SqliteStatement::CheckBind(int rc) {
  if (rc != SQLITE_OK) connection_->Fail("cannot bind a value");
}

void SqliteStatement::BindNull(int index) { CheckBind(sqlite3_bind_null(Get(), index)); }

void SqliteStatement::BindInt(int index, int64_t value) { CheckBind(sqlite3_bind_int64(Get(), index, value)); }

void SqliteStatement::BindDouble(int index, double value) { CheckBind(sqlite3_bind_double(Get(), index, value)); }

void SqliteStatement::BindText(int index, std::string_view text) {
  CheckBind(sqlite3_bind_text64(Get(), index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8));
}

void SqliteStatement::BindBlob(int index, std::string_view bytes) {
  CheckBind(sqlite3_bind_blob64(Get(), index, bytes.data(), bytes.size(), SQLITE_TRANSIENT));
}

bool SqliteStatement::Step(std::string_view what) {
  sqlite3_stmt* stmt = Get();
  int rc = sqlite3_step(stmt);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  std::string detail = sqlite3_errmsg(sqlite3_db_handle(stmt));
  sqlite3_reset(stmt);
  connection_->Fail(what, detail, rc);
}

void SqliteStatement::BindTextStatic(int index, std::string_view text) {
  CheckBind(sqlite3_bind_text64(Get(), index, text.data(), text.size(), SQLITE_STATIC, SQLITE_UTF8));
}

void SqliteStatement::BindBlobStatic(int index, std::string_view bytes) {
  CheckBind(sqlite3_bind_blob64(Get(), index, bytes.data(), bytes.size(), SQLITE_STATIC));
}

void SqliteStatement::Rewind() noexcept {
  if (stmt_ != nullptr) sqlite3_reset(stmt_);
}

void SqliteStatement::Reset() noexcept {
  if (stmt_ == nullptr || connection_ == nullptr || !connection_->IsOpen()) return;
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

std::string SqliteStatement::ColumnText(int column) {
  sqlite3_stmt* stmt = Get();
  const unsigned char* text = sqlite3_column_text(stmt, column);
  if (text == nullptr) return {};
  return std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(sqlite3_column_bytes(stmt, column)));
}

int64_t SqliteStatement::ColumnInt(int column) { return sqlite3_column_int64(Get(), column); }

bool SqliteStatement::ColumnIsNull(int column) { return sqlite3_column_type(Get(), column) == SQLITE_NULL; }

}  // namespace mendora
