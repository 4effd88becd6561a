// Saved queries of the source, kept by name in a catalog table of the target.
#include "output/sqlite/sqlite_querydef.h"

#include "output/sqlite/sqlite_schema.h"

namespace mendora {

void SqliteQueryDef::Create(const std::string& name, const std::string& sql) {
  if (name.empty()) throw EngineError("cannot create a query without a name");
  name_ = name;
  sql_ = sql;
}

void SqliteQueryDef::Append() {
  if (!name_) throw EngineError("cannot save a query before it is created");
  const std::string what = "cannot save query " + *name_;
  connection_->Exec("CREATE TABLE IF NOT EXISTS " + QuoteIdentifier(kQueryCatalog) +
                        " (\"name\" TEXT NOT NULL COLLATE NOCASE PRIMARY KEY, \"sql\" TEXT NOT NULL, "
                        "\"no_view_reason\" TEXT)",
                    what);
  auto insert = connection_->Prepare(
      "INSERT INTO " + QuoteIdentifier(kQueryCatalog) + " (\"name\", \"sql\") VALUES (?1, ?2)", what);
  insert.BindText(1, *name_);
  insert.BindText(2, sql_);
  insert.Step(what);
}

}  // namespace mendora
