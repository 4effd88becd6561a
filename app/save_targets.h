// The outputs a save writes through, one for each format Save offers.
#ifndef MENDORA_APP_SAVE_TARGETS_H_
#define MENDORA_APP_SAVE_TARGETS_H_

#include "app/save_formats.h"
#include "recovery/recovery_session.h"

namespace mendora {

// Makes the output of `format` at the path a save is given: a database
// file, a script, or (CSV) a folder made for it and removed again when the
// save leaves nothing in it.
TargetFactory SaveTargetFactory(SaveFormatId format);

}  // namespace mendora

#endif  // MENDORA_APP_SAVE_TARGETS_H_
