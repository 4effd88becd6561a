// The property blocks Access keeps with a catalog row (its LvProp): the
// names of every property used, then the object's own properties and each
// column's.
#ifndef MENDORA_OUTPUT_JET_PROPERTY_BLOCKS_WRITER_H_
#define MENDORA_OUTPUT_JET_PROPERTY_BLOCKS_WRITER_H_

#include <string>
#include <vector>

#include "output/jet/jet_bytes.h"
#include "reader/value.h"

namespace mendora::jet {

struct PropertyToWrite {
  std::string name;
  int type = 0;      // a column type code
  bool ddl = false;  // set through data definition, as Access marks it
  Value value;
};

struct PropertyObjectToWrite {
  std::string name;  // empty: the object itself
  std::vector<PropertyToWrite> properties;
};

// The blocks of `objects` (the object itself first); empty when none has
// a property. A property whose value its type cannot hold is left out.
Bytes EncodePropertyBlocks(const std::vector<PropertyObjectToWrite>& objects);

}  // namespace mendora::jet

#endif  // MENDORA_OUTPUT_JET_PROPERTY_BLOCKS_WRITER_H_
