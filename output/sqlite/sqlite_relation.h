// Relations of the target database, written as FOREIGN KEY constraints.
//
// SQLite cannot add a constraint to an existing table, so the referencing
// table is rebuilt with it. Enforcement stays off: recovered rows may break
// a relation and are kept all the same.
#ifndef MENDORA_OUTPUT_SQLITE_SQLITE_RELATION_H_
#define MENDORA_OUTPUT_SQLITE_SQLITE_RELATION_H_

#include <memory>
#include <string>
#include <vector>

#include "output/sqlite/sqlite_connection.h"
#include "output/sqlite/target_engine.h"

namespace mendora {

class SqliteRelationDatabase final : public EngineRelationDatabase {
 public:
  // Relations are made on the connection that builds `target_path`, while
  // its pass is still open.
  SqliteRelationDatabase(std::shared_ptr<SqliteConnection> connection, std::string target_path)
      : connection_(std::move(connection)), target_path_(std::move(target_path)) {}

  // Only the target being built can be opened, and not read-only.
  void Open(const std::string& path, bool exclusive, bool read_only, const std::string& connect) override;
  void CreateRelation(const std::string& name, const std::string& table, const std::string& foreign_table,
                      int attributes, const std::vector<RelationField>& fields) override;
  void Close() override { open_ = false; }

 private:
  std::shared_ptr<SqliteConnection> connection_;
  std::string target_path_;
  bool open_ = false;
};

}  // namespace mendora

#endif  // MENDORA_OUTPUT_SQLITE_SQLITE_RELATION_H_
