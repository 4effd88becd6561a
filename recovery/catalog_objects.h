// What the catalog says of its objects beyond their names and pages, read
// once per pass through the catalog's own table: flags, link targets, the
// property blocks of tables and columns (keys, defaults, descriptions,
// calculated columns' result types), and (Access 2007+) the complex
// columns' directory.
//
// Only live catalog rows are here; the walk still finds deleted ones page by
// page and reports their damage, so a read that meets damage keeps only the
// first report, for one line in the loss account. A catalog or directory
// that cannot be read leaves this empty, and the pass goes on with what the
// walk alone knows.
#ifndef MENDORA_RECOVERY_CATALOG_OBJECTS_H_
#define MENDORA_RECOVERY_CATALOG_OBJECTS_H_

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "reader/ace_values.h"
#include "reader/jet_handle.h"

namespace mendora {

struct CatalogObject {
  std::string name;
  int32_t type = 0;
  uint32_t flags = 0;
  std::string database;      // a linked table: the file it links to
  std::string foreign_name;  // a linked table: its name there
  std::string connect;       // an ODBC link: its connection text
  std::string properties;    // LvProp: the object's property blocks
};

struct ComplexColumnInfo {
  std::string column;
  int32_t table = 0;       // definition page of the table that has the column
  int32_t flat_table = 0;  // definition page of the hidden table of its values
  std::string flat_name;
  ComplexKind kind = ComplexKind::kUnknown;
};

class CatalogObjects {
 public:
  // Reads the catalog (and MSysComplexColumns, where there is one).
  void Load(JetHandle& handle);
  bool loaded() const { return loaded_; }

  // By definition page (for tables) or object id; a table where a table
  // and another object share the number.
  const CatalogObject* Find(int32_t page) const;
  const ComplexColumnInfo* Complex(uint32_t complex_id) const;
  // Every object by the low 24 bits of its id: a table's definition page,
  // which objects of other kinds (queries, forms, relations) may share.
  const std::multimap<int32_t, CatalogObject>& Objects() const { return objects_; }
  // The ResultType property of each calculated column of the table at
  // `page`, by column name.
  std::map<std::string, int> ResultTypes(int32_t page) const;
  // The property blocks (LvProp) of the table whose definition is at
  // `page`; empty when the catalog has none for it.
  const std::string& TableProperties(int32_t page) const;
  // The first damage met while reading; empty when the read was whole.
  const std::string& problem() const { return problem_; }

 private:
  void LoadFrom(JetHandle& handle);

  bool loaded_ = false;
  std::string problem_;
  std::multimap<int32_t, CatalogObject> objects_;
  // By definition page: only table rows, whose id is their page.
  std::map<int32_t, std::string> table_properties_;
  std::map<uint32_t, ComplexColumnInfo> complex_;
  // How the property blocks' text is stored.
  bool jet4_ = true;
  std::shared_ptr<const CodePage> code_page_;
};

// Catalog flags: system objects of the engine (0x80000000) and of Access
// (0x00000002); hidden complex tables have both the engine bit and 0x000A0000.
inline constexpr uint32_t kSystemObjectFlags = 0x80000002u;


}  // namespace mendora

#endif  // MENDORA_RECOVERY_CATALOG_OBJECTS_H_
