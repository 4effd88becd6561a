// The property blocks the catalog keeps with each table (MSysObjects'
// LvProp): a table's description, and each column's default value, Required
// flag, description, format, caption and the rest.
//
// The blocks start with a four-byte mark, then chunks of a 32-bit length
// (counting its own six-byte header) and a 16-bit kind: one that lists the
// property names, then one per object (the table first, each column after)
// with the object's name and its typed values, each naming its property by
// its place in the list.
#ifndef MENDORA_READER_PROPERTY_BLOCKS_H_
#define MENDORA_READER_PROPERTY_BLOCKS_H_

#include <string>
#include <vector>

#include "reader/byte_view.h"
#include "reader/text_codec.h"
#include "reader/value.h"

namespace mendora {

struct Property {
  std::string name;
  int type = 0;  // a column type code (reader/column_types.h)
  bool ddl = false;  // the entry's flag: set through data definition
  Value value;
};

struct PropertyObject {
  std::string name;  // empty for the table itself
  std::vector<Property> properties;
};

// The objects of `blocks` in stored order. What does not hold together ends
// the reading there, with the reason in `problem`; what was read before is
// kept.
std::vector<PropertyObject> ReadPropertyBlocks(ByteView blocks, bool jet4, const CodePage& code_page,
                                               std::string* problem);

// The property `name` of `object`, compared without regard to ASCII case;
// null when it has none.
const Property* FindProperty(const PropertyObject& object, const std::string& name);

// Whether `property` holds a true Boolean (any nonzero byte).
bool IsTrue(const Property& property);

}  // namespace mendora

#endif  // MENDORA_READER_PROPERTY_BLOCKS_H_
