// Relations of the target database, written as FOREIGN KEY constraints.
//
// SQLite cannot add a constraint to an existing table, so the referencing
// table is rebuilt with it: once, with all its relations, when the relation
// database closes (a rebuild per relation grows with the square of the
// relations a table has). A relation Access does not enforce, or one the
// recovered rows break (or whose referenced fields repeat), is made no
// constraint: the rows stay editable with foreign keys on. Every relation is
// listed in the table mendora_relations, with why it is not enforced and
// how many rows break it; a relation Access enforced that the rows break is
// a loss the account names.
#ifndef MENDORA_OUTPUT_SQLITE_SQLITE_RELATION_H_
#define MENDORA_OUTPUT_SQLITE_SQLITE_RELATION_H_

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "output/sqlite/sqlite_connection.h"
#include "output/sqlite/target_engine.h"

namespace mendora {

// Every relation of the source, with whether it is a constraint here.
inline constexpr char kRelationCatalog[] = "mendora_relations";

class SqliteRelationDatabase final : public EngineRelationDatabase {
 public:
  // Relations are made on the connection that builds `target_path`, while
  // its pass is still open.
  explicit SqliteRelationDatabase(std::shared_ptr<SqliteConnection> connection)
      : connection_(std::move(connection)) {}

  // Checks the relation against both tables and gives the referenced fields
  // their unique key; the constraint itself waits for Close.
  void CreateRelation(const std::string& name, const std::string& table, const std::string& foreign_table,
                      int attributes, const std::vector<RelationField>& fields) override;
  // Rebuilds each referencing table once with all its constraints. A table
  // whose rebuild fails is tried a relation at a time; EngineError then names
  // the relations that could not be made, after every table was tried.
  void Close() override;
  // Relations made unenforced and relations refused are told here.
  void Attach(LossAccount* losses) override { losses_ = losses; }

 private:
  struct Constraint {
    std::string relation;
    std::string text;
  };
  struct Relation {
    std::string name;
    std::string table;             // referencing, as stored
    std::string referenced_table;  // as stored
    std::vector<std::string> columns;
    std::vector<std::string> referenced_columns;
    int attributes = 0;
    std::string constraint;
    std::string unenforced;  // why it is made no constraint; empty: it is one
    bool loss = false;       // the source enforced it
    std::optional<int64_t> broken_rows;  // unknown when they could not be counted
  };

  // The rows of the referencing table whose values match no row of the
  // referenced one (rows with a null in the key break nothing).
  int64_t BrokenRows(const Relation& relation);
  void ListRelations(const std::vector<Relation>& relations);

  std::shared_ptr<SqliteConnection> connection_;
  bool closed_ = false;
  LossAccount* losses_ = nullptr;
  std::vector<Relation> relations_;
};

}  // namespace mendora

#endif  // MENDORA_OUTPUT_SQLITE_SQLITE_RELATION_H_
