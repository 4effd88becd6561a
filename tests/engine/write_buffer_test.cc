// The target's writes gathered into runs leave the very bytes SQLite's own
// file access leaves, and a write that fails still fails the commit.
#include <sqlite3.h>

#include <filesystem>
#include <fstream>

#include "output/sqlite/sqlite_write_buffer.h"

#include "engine_test_util.h"

namespace mendora::testing {
namespace {

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs `sql` on a new file at `path` opened through `vfs` (null: SQLite's
// own), with the target's settings and a cache small enough that pages are
// written, read back and written again while the transaction runs.
void RunOn(const std::string& path, const char* vfs, const std::vector<std::string>& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, vfs), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db,
                         "PRAGMA journal_mode = MEMORY; PRAGMA synchronous = OFF; PRAGMA locking_mode = EXCLUSIVE;"
                         "PRAGMA cache_size = 20",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  for (const std::string& statement : sql) sqlite3_exec(db, statement.c_str(), nullptr, nullptr, nullptr);
  EXPECT_EQ(FlushHeldWrites(db), SQLITE_OK);
  EXPECT_EQ(sqlite3_close(db), SQLITE_OK);
}

TEST(WriteBufferTest, TheFileIsTheOneSqlitesOwnFileAccessWrites) {
  ASSERT_NE(WriteBufferVfsName(), nullptr);
  const std::string rows =
      "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 10000) "
      "INSERT INTO t SELECT x, printf('row %d', x), CAST(printf('%.*c', x % 300, 'q') AS BLOB) FROM n";
  const std::vector<std::vector<std::string>> cases = {
      // Pages appended in order, spilled from a full cache.
      {"BEGIN", "CREATE TABLE t (a INTEGER PRIMARY KEY, b TEXT, c BLOB)", rows, "COMMIT"},
      // A statement that fails halfway rolls its pages back while later
      // ones are held; an index read the table back; a second commit.
      {"BEGIN", "CREATE TABLE t (a INTEGER PRIMARY KEY, b TEXT UNIQUE, c BLOB)", rows,
       "INSERT INTO t SELECT a + 100000, b || 'x', c FROM t WHERE a < 7000 UNION ALL SELECT 200000, 'row 7', NULL",
       "CREATE INDEX tc ON t (c)", "COMMIT", "BEGIN", "DELETE FROM t WHERE a % 3 = 0", "UPDATE t SET c = zeroblob(500)",
       "COMMIT"},
      // Writes outside a transaction, each its own commit, and a file
      // that shrinks.
      {"CREATE TABLE t (a INTEGER PRIMARY KEY, b TEXT, c BLOB)", rows, "DELETE FROM t WHERE a > 2000", "VACUUM"},
  };
  ScratchDir dir;
  for (size_t i = 0; i < cases.size(); ++i) {
    const std::string own = dir.File("own" + std::to_string(i)), held = dir.File("held" + std::to_string(i));
    RunOn(own, nullptr, cases[i]);
    RunOn(held, WriteBufferVfsName(), cases[i]);
    EXPECT_GT(std::filesystem::file_size(own), 4096u) << i;
    EXPECT_TRUE(Bytes(own) == Bytes(held)) << "case " << i;
  }
}

// Writes are held until the commit, so a disk that refuses them must fail
// the commit, and the file stays failed after it.
TEST(WriteBufferTest, AWriteTheDiskRefusesFailsTheCommit) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2("/dev/full", &db, SQLITE_OPEN_READWRITE, WriteBufferVfsName()), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db,
                         "PRAGMA journal_mode = MEMORY; PRAGMA synchronous = OFF; PRAGMA locking_mode = EXCLUSIVE;"
                         "BEGIN; CREATE TABLE t (a); INSERT INTO t VALUES (1)",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), SQLITE_FULL);
  EXPECT_EQ(FlushHeldWrites(db), SQLITE_FULL);
  sqlite3_close(db);
}

}  // namespace
}  // namespace mendora::testing
