// Adds recovered rows to one table of the target database.
//
// One INSERT is prepared when the recordset opens; each row binds its typed
// values straight to it, in the table's column order.
#ifndef MENDORA_OUTPUT_SQLITE_SQLITE_RECORDSET_H_
#define MENDORA_OUTPUT_SQLITE_SQLITE_RECORDSET_H_

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "output/sqlite/sqlite_connection.h"
#include "output/sqlite/sqlite_keys.h"
#include "output/sqlite/target_engine.h"

namespace mendora {

class SqliteRecordset final : public EngineRecordset {
 public:
  // `plan`, when given, is the table created as planned, if any: a row
  // that breaks a constraint of it makes it plain and goes in then.
  explicit SqliteRecordset(std::shared_ptr<SqliteConnection> connection,
                           std::shared_ptr<std::optional<TablePlan>> plan = nullptr)
      : connection_(std::move(connection)), plan_(std::move(plan)) {}

  void Open(const std::string& table, const std::vector<size_t>& sources) override;
  void AddRow(const Row& row) override;
  int64_t LastRowId() const override;
  void Close() override;
  bool IsOpen() const override;

 private:
  void Step();
  // The plan of this table while it holds.
  TablePlan* Plan();

  std::shared_ptr<SqliteConnection> connection_;
  std::shared_ptr<std::optional<TablePlan>> plan_;
  std::string table_;
  std::string add_row_failed_;  // made once, not for every row
  std::vector<size_t> sources_;
  std::vector<std::string> scratch_;
  std::optional<SqliteStatement> insert_;
};

}  // namespace mendora

#endif  // MENDORA_OUTPUT_SQLITE_SQLITE_RECORDSET_H_
