// The index keys the Access target writes, made by the reader's key
// encoder (the one home of the key format, shared with the checker), in the
// General sort order the target's page 0 names.
#ifndef MENDORA_OUTPUT_JET_INDEX_KEYS_H_
#define MENDORA_OUTPUT_JET_INDEX_KEYS_H_

#include "output/jet/jet_output.h"

namespace mendora::jet {

KeyAppender IndexKeys();
NameKeyCheck NameKeys();

}  // namespace mendora::jet

#endif  // MENDORA_OUTPUT_JET_INDEX_KEYS_H_
