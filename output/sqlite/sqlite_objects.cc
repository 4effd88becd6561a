// mendora_objects (see sqlite_objects.h).
#include "output/sqlite/sqlite_objects.h"

namespace mendora {

void KeepAccessObject(SqliteConnection& connection, const OutputObject& object, const std::string& file_name) {
  const std::string what = "cannot keep the " + object.kind + " " + object.name;
  connection.Exec(
      "CREATE TABLE IF NOT EXISTS \"mendora_objects\" (\"kind\" TEXT NOT NULL, \"name\" TEXT NOT NULL, "
      "\"file_name\" TEXT, \"text\" TEXT, \"data\" BLOB, \"recovered\" INTEGER NOT NULL)",
      what);
  auto insert = connection.Prepare("INSERT INTO \"mendora_objects\" VALUES (?1, ?2, ?3, ?4, ?5, ?6)", what);
  insert.BindText(1, object.kind);
  insert.BindText(2, object.name);
  if (object.text.empty() && object.data.empty()) {
    insert.BindNull(3);
  } else {
    insert.BindText(3, file_name);
  }
  if (object.text.empty()) {
    insert.BindNull(4);
  } else {
    insert.BindText(4, object.text);
  }
  if (object.data.empty()) {
    insert.BindNull(5);
  } else {
    insert.BindBlob(5, object.data);
  }
  insert.BindInt(6, object.recovered ? 1 : 0);
  insert.Step(what);
}

}  // namespace mendora
