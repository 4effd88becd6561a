// The forms, reports, macros and VBA modules of an Access file: named by the
// catalog, kept in the storage tree (reader/access_storage.h), read as far as
// Mendora can (VBA source as text, macros as XML or rows, forms and reports
// as their stored definitions and what those say).
//
// An object is named by its catalog row or, when that is gone, by the
// storage that holds it. Each one that could not be read whole is said in
// `losses` with the reason.
#ifndef MENDORA_RECOVERY_ACCESS_OBJECTS_H_
#define MENDORA_RECOVERY_ACCESS_OBJECTS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "reader/access_storage.h"
#include "reader/jet_handle.h"
#include "recovery/recovery_output.h"

namespace mendora {

enum class AccessObjectKind { kForm, kReport, kMacro, kModule };

// "form", "report", "macro", "module".
const char* AccessObjectKindName(AccessObjectKind kind);

struct AccessObject {
  AccessObjectKind kind = AccessObjectKind::kForm;
  std::string name;          // the catalog's name, else the storage's
  bool in_catalog = false;   // a live catalog row names it
  bool recovered = false;    // read whole
  bool partial = false;      // not whole, but some of it was read (its text or data holds that much)
  std::string loss;          // why it was not read whole; empty when it was
  bool class_module = false;      // modules: a class module (the modules of forms and reports are)
  std::string owner;              // the module of a form or report: that form's or report's name
  std::string text;  // UTF-8: a module's source, a macro's XML or rows, what a form's or report's definition says
  std::string data;  // as stored (see OutputObject::data)
  size_t size = 0;   // bytes of the stored definition or source

  // What an output is given.
  OutputObject ForOutput() const;
};

// What the catalog says of the objects and the tables that hold them.
struct ObjectCatalog {
  struct Entry {
    AccessObjectKind kind;
    std::string name;
  };
  std::vector<Entry> entries;  // live catalog rows of forms, reports, macros and modules
  int32_t storage_table = 0;   // MSysAccessStorage's definition page; 0 when none
  int32_t objects_table = 0;   // MSysAccessObjects's
};

// Notes one catalog row (the walk calls this for each it reads).
void NoteObjectCatalogRow(ObjectCatalog& catalog, int32_t type, const std::string& name, int32_t definition_page,
                          bool deleted);
// The same for every catalog row of the file, found page by page.
ObjectCatalog ScanObjectCatalog(JetHandle& handle);

struct AccessObjects {
  std::vector<AccessObject> objects;  // forms, reports, macros, modules; the modules of forms and reports last
  std::vector<std::string> losses;    // each object or part of the storage that was not read whole
  StorageRows storage;                // the storage table's rows as the source holds them
  bool any = false;                   // the file has objects, or a table to hold them

  // "Forms: 13, Reports: 8, Macros: 3, Modules: 12, the source of 12 recovered"
  std::string Summary() const;
  // "Form and report modules: 9, the source of 9 recovered"; empty when there are none.
  std::string ClassModuleSummary() const;
};

// Reads every object `catalog` names or the storage holds.
AccessObjects ReadAccessObjects(JetHandle& handle, const ObjectCatalog& catalog);

}  // namespace mendora

#endif  // MENDORA_RECOVERY_ACCESS_OBJECTS_H_
