// Adds recovered rows to one table of the target database.
//
// A row is gathered field by field, converted as each value arrives, and
// inserted by one statement prepared when the recordset opens.
#ifndef MENDORA_RECOVERY_SQLITE_RECORDSET_H_
#define MENDORA_RECOVERY_SQLITE_RECORDSET_H_

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "recovery/sqlite_connection.h"
#include "recovery/sqlite_types.h"
#include "recovery/target_engine.h"

namespace mendora {

class SqliteRecordset final : public EngineRecordset {
 public:
  explicit SqliteRecordset(std::shared_ptr<SqliteConnection> connection) : connection_(std::move(connection)) {}

  // `type` and `options` choose among Jet cursor kinds; rows are only ever
  // added here, so they change nothing.
  void Open(int type, const std::string& table, int options) override;
  void AddNew() override;
  void SetFieldValue(const std::string& field, const std::string& value) override;
  void Update() override;
  void Close() override;
  bool IsOpen() const override;

 private:
  struct Column {
    std::string name;
    ValueKind kind;
  };

  size_t ColumnIndex(const std::string& field) const;

  std::shared_ptr<SqliteConnection> connection_;
  std::string table_;
  std::string add_row_failed_;  // made once, not for every row
  std::vector<Column> columns_;
  std::unordered_map<std::string, size_t> index_by_name_;  // ASCII lower case
  std::optional<SqliteStatement> insert_;
  std::vector<FieldValue> pending_;
  bool adding_ = false;
};

}  // namespace mendora

#endif  // MENDORA_RECOVERY_SQLITE_RECORDSET_H_
