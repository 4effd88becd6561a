// Saved queries of the source, kept by name in a catalog table of the target.
//
// SQLite has no saved queries of its own, so the text is kept as recovered.
#ifndef MENDORA_OUTPUT_SQLITE_SQLITE_QUERYDEF_H_
#define MENDORA_OUTPUT_SQLITE_SQLITE_QUERYDEF_H_

#include <memory>
#include <optional>
#include <string>

#include "output/sqlite/sqlite_connection.h"
#include "output/sqlite/target_engine.h"

namespace mendora {

// The catalog: "mendora_queries"("name" TEXT PRIMARY KEY, "sql" TEXT,
// "no_view_reason" TEXT), names unique regardless of ASCII case as in Jet.
// A select query that translates and runs is also a view of its name (its
// no_view_reason is null); every other query's row says why it is none.
inline constexpr char kQueryCatalog[] = "mendora_queries";

class SqliteQueryDef final : public EngineQueryDef {
 public:
  explicit SqliteQueryDef(std::shared_ptr<SqliteConnection> connection) : connection_(std::move(connection)) {}

  void Create(const std::string& name, const std::string& sql) override;
  // Adds the query to the catalog; EngineError when the name is taken.
  void Append() override;

 private:
  std::shared_ptr<SqliteConnection> connection_;
  std::optional<std::string> name_;
  std::string sql_;
};

}  // namespace mendora

#endif  // MENDORA_OUTPUT_SQLITE_SQLITE_QUERYDEF_H_
