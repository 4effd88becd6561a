// The complex columns of one table (Access 2007+): attachments, multi-value
// columns and the version history of append-only memos.
//
// Each column's values live in a hidden table, keyed by the 4-byte key the
// parent row stores. The hidden table is read whole before the parent's rows
// (it may come anywhere in the file), kept in memory by key, and each
// parent row takes its entries out as it streams past: memory is bounded by
// what the hidden tables hold, and the parent is never held whole.
#ifndef MENDORA_RECOVERY_COMPLEX_COLUMNS_H_
#define MENDORA_RECOVERY_COMPLEX_COLUMNS_H_

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "reader/table_def.h"
#include "reader/value.h"
#include "recovery/catalog_objects.h"
#include "recovery/loss_account.h"

namespace mendora {

class ComplexColumns {
 public:
  // Reads the hidden table of each complex column of `table`. A column whose
  // hidden table cannot be found or read loses its entries (counted), not
  // its rows.
  ComplexColumns(JetHandle& handle, const TableDef& table, const std::string& output_name,
                 const CatalogObjects& catalog, LossAccount& losses);

  bool empty() const { return columns_.empty(); }
  // The kind of the complex column at `index` of the table; kUnknown for
  // other columns.
  ComplexKind KindOf(size_t index) const;
  int ValueTypeOf(size_t index) const;

  // Replaces each complex column's key in `row` by its entries: the value
  // becomes their JSON text, and row.complex holds them.
  void Fill(Row& row);

 private:
  struct Column {
    size_t index = 0;
    std::string name;
    ComplexKind kind = ComplexKind::kUnknown;
    int value_type = 0;  // multi-value: the type of its values
    std::unordered_map<int64_t, std::vector<ComplexItem>> entries;
  };
  void Load(Column& column, const ComplexColumnInfo& info);

  JetHandle& handle_;
  std::string table_;
  LossAccount& losses_;
  std::vector<Column> columns_;
};

// "[...]": the entries as the dump writes a complex value.
std::string ComplexJson(ComplexKind kind, const std::vector<ComplexItem>& items);

}  // namespace mendora

#endif  // MENDORA_RECOVERY_COMPLEX_COLUMNS_H_
