// The Access target: a recovery output that writes what a pass recovered
// as a new Jet 4 database (the Access 2000 format, which every Access from
// 2000 to 365 opens).
//
// Rows go to data pages as they come; each table's indexes, usage maps and
// long values are completed at its end; its definition, the relations'
// indexes, the saved queries and the system tables once the pass is done.
// The file is built beside the path and moved into place only when whole.
#ifndef MENDORA_OUTPUT_JET_JET_OUTPUT_H_
#define MENDORA_OUTPUT_JET_JET_OUTPUT_H_

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "output/jet/index_pages.h"
#include "reader/index_key.h"
#include "output/jet/long_values.h"
#include "output/jet/page_file.h"
#include "output/jet/row_pages.h"
#include "output/jet/table_definition.h"
#include "output/jet/table_layout.h"
#include "recovery/recovery_output.h"
#include "recovery/recovery_session.h"

namespace mendora::jet {

// Appends to `key` the index key of `value`, a value of a column of `type`
// in ascending or descending order; any outcome but kEncoded appends
// nothing.
using KeyAppender = std::function<KeyOutcome(const Value& value, int type, bool descending, std::string& key)>;

// Whether every character of `name` has a known key: the catalog indexes
// object names.
using NameKeyCheck = std::function<bool(const std::string& name)>;

class JetOutput final : public RecoveryOutput {
 public:
  // Starts the new file beside `path`; nothing appears at `path` before
  // Finish. Throws TargetFailed when the file cannot be started.
  JetOutput(const std::string& path, bool replace_existing, KeyAppender keys, NameKeyCheck names);
  ~JetOutput() override;

  void BeginTable(const OutputTable& table) override;
  void AddRow(const Row& row) override;
  void EndTable(int64_t rows) override;
  void AddRelation(const OutputRelation& relation) override;
  void AddQuery(const std::string& name, const std::string& sql) override;
  void AddQueryDefinition(const std::string& name, const std::string& sql, const std::vector<QueryRow>& rows) override;
  void AddObject(const OutputObject& object) override;
  void AddObjectStorage(const ObjectStorageCopy& storage) override;
  std::string TableNameKey(const std::string& name) const override;
  std::string ColumnNameKey(const std::string& name) const override;
  std::string QueryNameKey(const std::string& name) const override;
  void SetPublishCheck(std::function<void()> check) override { publish_check_ = std::move(check); }
  void Finish() override;
  void Abandon() noexcept override;

  // The name a table of the source gets in the file (Access refuses some
  // characters in names, and names longer than 64 characters).
  static std::string AccessName(const std::string& name);
  // AccessName, with every character whose key is not known made '_'.
  std::string CatalogName(const std::string& name) const;

 private:
  struct IndexInProgress;
  struct TableInProgress;
  struct WrittenTable;
  struct CatalogObject;

  void StartChildTables(const OutputTable& table);
  void WriteCatalogAndSystemTables();
  void Note(const std::string& kind, const std::string& text);
  WrittenTable* FindTable(const std::string& name);
  std::string ClaimName(const std::string& wanted, std::set<std::string>& taken) const;
  uint32_t NextLooseId() { return next_loose_id_++; }

  std::string path_;
  std::string temp_path_;
  int fd_ = -1;
  int lock_ = -1;
  bool replace_existing_ = false;
  KeyAppender keys_;
  NameKeyCheck name_known_;
  std::function<void()> publish_check_;
  std::unique_ptr<PageFile> file_;
  std::unique_ptr<RowPageWriter> maps_;  // usage-map rows of every table
  std::unique_ptr<TableInProgress> current_;
  std::vector<std::unique_ptr<TableInProgress>> children_;  // a complex column's child tables
  std::vector<std::unique_ptr<WrittenTable>> tables_;
  std::vector<CatalogObject> objects_;  // queries and relations, for the catalog
  std::vector<std::pair<uint32_t, std::vector<QueryRow>>> query_rows_;
  std::vector<std::vector<std::string>> relation_rows_;  // name, object, column, referenced object, column
  std::vector<uint32_t> relation_flags_;
  std::vector<std::pair<uint32_t, uint32_t>> relation_shape_;  // (column count, column index)
  std::set<std::string> table_names_;   // keys of names taken
  std::set<std::string> object_names_;  // queries and relations, apart from tables
  // The source's table and query names saved under another name: queries
  // and relations name them as the source did.
  std::map<std::string, std::string> saved_as_;
  std::set<std::string> noted_;
  // Forms, reports, macros and modules (their catalog rows; the content
  // is in the storage rows), and the rows of MSysAccessObjects.
  std::vector<OutputObject> access_objects_;
  // The rows of the table that holds them, in its columns' order: that of
  // MSysAccessStorage when `in_access_storage_`, else MSysAccessObjects.
  std::vector<std::vector<Value>> storage_rows_;
  bool in_access_storage_ = false;
  std::string database_properties_;
  bool carry_objects_ = false;
  uint32_t next_loose_id_ = 0x80000000;
  bool finished_ = false;
};

// The Access target factory: `keys` makes the index keys.
TargetFactory JetTargetFactory(KeyAppender keys, NameKeyCheck names);

}  // namespace mendora::jet

#endif  // MENDORA_OUTPUT_JET_JET_OUTPUT_H_
