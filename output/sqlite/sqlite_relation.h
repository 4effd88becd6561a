// Relations of the target database, written as FOREIGN KEY constraints.
//
// SQLite cannot add a constraint to an existing table, so the referencing
// table is rebuilt with it: once, with all its relations, when the relation
// database closes (a rebuild per relation grows with the square of the
// relations a table has). Enforcement stays off: recovered rows may break a
// relation and are kept all the same.
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
  // Checks the relation against both tables and gives the referenced fields
  // their unique key; the constraint itself waits for Close.
  void CreateRelation(const std::string& name, const std::string& table, const std::string& foreign_table,
                      int attributes, const std::vector<RelationField>& fields) override;
  // Rebuilds each referencing table once with all its constraints. A table
  // whose rebuild fails is tried a relation at a time; EngineError then names
  // the relations that could not be made, after every table was tried.
  void Close() override;

 private:
  struct Constraint {
    std::string relation;
    std::string text;
  };

  std::shared_ptr<SqliteConnection> connection_;
  std::string target_path_;
  bool open_ = false;
  // By referencing table as stored, in the order the relations came.
  std::vector<std::pair<std::string, std::vector<Constraint>>> pending_;
};

}  // namespace mendora

#endif  // MENDORA_OUTPUT_SQLITE_SQLITE_RELATION_H_
