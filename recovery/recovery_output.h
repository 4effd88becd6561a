// Where a recovery pass delivers what it recovered: tables, their rows as
// typed values, relations and saved queries.
//
// The SQLite target, the JSON dump and the exports each implement this; the
// pass feeds every output it is given in the same order. An output says what
// it refused through the LossAccount it is attached to, and throws only when
// it cannot go on at all (a target that can no longer be written).
#ifndef MENDORA_RECOVERY_RECOVERY_OUTPUT_H_
#define MENDORA_RECOVERY_RECOVERY_OUTPUT_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "reader/access_storage.h"
#include "reader/value.h"
#include "recovery/query_text.h"

namespace mendora {

class LossAccount;

// Thrown by an output that cannot go on at all (its file can no longer be
// written): the pass ends, where a refused piece would only be counted.
class TargetFailed : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct OutputColumn {
  std::string name;
  int type = 0;  // the stored type code (see reader/column_types.h)
  int precision = 0;
  int scale = 0;
  int column_number = 0;
  int size = 0;
  bool calculated = false;  // Access 2010+: computed by Access from other columns
  // Access 2007+ complex columns: 1 attachments, 2 multi-value, 3 version
  // history (see ComplexKind); 0 for every other column. Their rows carry
  // the entries in Row::complex.
  int complex_kind = 0;
  int value_type = 0;  // a multi-value column: the type code of its values
  bool autonumber = false;       // a long counter the source numbers itself
  bool guid_autonumber = false;  // a GUID the source makes for each new row
  bool required = false;         // the Required property
  int text_length = 0;           // text columns: the most characters; 0 unknown
  std::string default_value;     // the Access expression; empty for none
};

struct OutputIndexColumn {
  std::string name;
  bool descending = false;
};

// A primary key or an index of the source (foreign-key indexes are the
// relations' business and do not come here).
struct OutputIndex {
  std::string name;  // the Access name
  std::vector<OutputIndexColumn> columns;
  bool primary = false;
  bool unique = false;
  bool ignore_nulls = false;
  bool required = false;
  // An index Access made for a relation alone: outputs that make relations
  // their own way leave it out.
  bool foreign_key = false;
};

// One property of the table (empty `column`) or of one of its columns, as
// the source stores it: a description, a default, a format, a caption...
struct OutputProperty {
  std::string column;
  std::string name;
  Value value;
  int type = 0;      // the type code it is stored with (reader/column_types.h); 0 unknown
  bool ddl = false;  // marked as set through data definition
};

struct OutputTable {
  std::string name;  // distinct within the pass
  int32_t definition_page = 0;
  std::vector<OutputColumn> columns;
  std::vector<OutputIndex> indexes;
  std::vector<OutputProperty> properties;
};

struct RelationField {
  std::string field;          // in the referenced (primary) table
  std::string foreign_field;  // in the referencing table
};

// How an output stores an OLE value whose Access wrapper it recognises: as
// the file inside (the wrapper kept apart where the output can), or as the
// stored bytes.
enum class OleStorage { kUnwrap, kRaw };

// Relation flags as the source stores them.
inline constexpr int32_t kRelationNotEnforced = 0x2;  // Access keeps it for its joins only
inline constexpr int32_t kRelationCascadeUpdates = 0x100;
inline constexpr int32_t kRelationCascadeDeletes = 0x1000;

struct OutputRelation {
  std::string name;
  std::string table;          // referenced (primary) table, as output
  std::string foreign_table;  // referencing table, as output
  std::vector<RelationField> fields;
  int32_t flags = 0;
};

// A form, report, macro or VBA module of the source (see access_objects.h).
struct OutputObject {
  std::string kind;       // "form", "report", "macro" or "module"
  std::string name;
  std::string extension;  // of the file an export writes it to: "form", "report", "xml", "txt", "bas", "cls"
  std::string text;       // UTF-8: a module's source, a macro's XML or rows, what a form's definition says
  std::string data;       // as stored: a definition, a macro's XML (UTF-16 after a byte-order mark), a
                          // module's source in the project's code page; empty for a macro read as rows
  bool recovered = true;  // false: what could be read of it, with its loss in the account
  std::string owner;      // the module of a form or report: that form's or report's name
  // Its catalog row in the source, for a writer that carries it into another
  // Access file: Flags, dates and long values as stored (absent when the row
  // was not read).
  struct CatalogRow {
    int32_t flags = 0;
    double created = 0;
    double updated = 0;
    std::string lv, lv_prop, lv_module, lv_extra;
  };
  std::optional<CatalogRow> catalog;
};

// The table that holds the objects, as the source stores it, for a writer
// that carries them into another Access file.
struct ObjectStorageCopy {
  const StorageRows& rows;
  // Why the storage did not read whole; empty when every row and chunk did.
  std::string not_whole;
  // The database's own properties (its catalog row MSysDb's LvProp) as
  // stored: the start-up form, the VBA project's version, ...
  std::string database_properties;
  // The source is an Access 2007+ file (not one of the Access 2000 format).
  bool access_2007_file = false;
};

class RecoveryOutput {
 public:
  virtual ~RecoveryOutput() = default;
  // Called once before anything else; refusals are counted there.
  virtual void Attach(LossAccount& losses) { losses_ = &losses; }
  virtual void BeginTable(const OutputTable& table) = 0;
  virtual void AddRow(const Row& row) = 0;
  virtual void EndTable(int64_t rows) = 0;
  virtual void AddRelation(const OutputRelation& relation) { (void)relation; }
  virtual void AddQuery(const std::string& name, const std::string& sql) {
    (void)name;
    (void)sql;
  }
  // A saved query with the rows the source's query table holds for it (an
  // output that keeps queries as Access does takes these; the rest the SQL).
  virtual void AddQueryDefinition(const std::string& name, const std::string& sql, const std::vector<QueryRow>& rows) {
    (void)rows;
    AddQuery(name, sql);
  }
  // After the tables, relations and queries: each form, report, macro and
  // module, then the rows of the table they came from as the source holds
  // them (for a writer that carries them into another Access file).
  virtual void AddObject(const OutputObject& object) { (void)object; }
  virtual void AddObjectStorage(const ObjectStorageCopy& storage) { (void)storage; }
  // The keys under which the output compares names of tables, columns and
  // queries: two names with one key would be one name there.
  virtual std::string TableNameKey(const std::string& name) const { return name; }
  virtual std::string ColumnNameKey(const std::string& name) const { return name; }
  virtual std::string QueryNameKey(const std::string& name) const { return name; }
  // Called right before a target file is moved into place: the last moment
  // at which the pass may still be cancelled.
  virtual void SetPublishCheck(std::function<void()> check) { (void)check; }
  // The pass completed: make the output whole (a target file is published).
  virtual void Finish() {}
  // The pass did not complete: leave nothing half-made behind.
  virtual void Abandon() noexcept {}
  // Whether the output works on threads of its own, which keep another
  // core busy while the pass reads.
  virtual bool HasThreads() const { return false; }
  // Called once, before anything else, by a queue that feeds the output
  // from a thread of its own on a machine of one or two cores: that thread
  // and the pass fill them, so work the output would hand to yet another
  // thread (writing its files) is better done where it is called.
  virtual void KeepWorkOnCallingThread() {}

 protected:
  LossAccount* losses_ = nullptr;
};

}  // namespace mendora

#endif  // MENDORA_RECOVERY_RECOVERY_OUTPUT_H_
