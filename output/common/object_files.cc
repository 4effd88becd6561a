// File names for the forms, reports, macros and modules (see object_files.h).
#include "output/common/object_files.h"

namespace mendora {

ObjectFileName ObjectFileNames::Take(const OutputObject& object) {
  const std::string folder = object.kind + "s";
  // The description shares the folder with the definitions: their names
  // are taken as one, so FORM.txt never meets another form's file.
  const std::string stem = folders_[folder].Take(object.name);
  ObjectFileName name;
  name.path = folder + "/" + stem + "." + object.extension;
  if (object.kind == "form" || object.kind == "report") name.description = folder + "/" + stem + ".txt";
  return name;
}

}  // namespace mendora
