// Where the forms, reports, macros and modules of a source go as files:
// modules/NAME.bas (standard modules) and NAME.cls (class modules, and the
// modules of forms and reports), macros/NAME.xml or NAME.txt,
// forms/NAME.form and reports/NAME.report, with NAME.txt beside a form or
// report for what its definition says. Names are made safe for every file
// system and distinct within each folder.
#ifndef MENDORA_OUTPUT_COMMON_OBJECT_FILES_H_
#define MENDORA_OUTPUT_COMMON_OBJECT_FILES_H_

#include <map>
#include <string>

#include "output/common/export_values.h"
#include "recovery/recovery_output.h"

namespace mendora {

struct ObjectFileName {
  std::string path;         // '/'-separated, relative to the objects folder
  std::string description;  // a form's or report's NAME.txt; empty for the others
};

class ObjectFileNames {
 public:
  ObjectFileName Take(const OutputObject& object);

 private:
  std::map<std::string, SafeNames> folders_;
};

}  // namespace mendora

#endif  // MENDORA_OUTPUT_COMMON_OBJECT_FILES_H_
