// Written by tools/learn_text_keys from the samples' index pages: do not edit.
#include "reader/text_sort_keys.h"

namespace mendora {

namespace {

const TextKeyChar kJet4General[] = {{0, 0, {}, 0, {}, {}}};
const TextKeyChar kJet3General[] = {{0, 0, {}, 0, {}, {}}};

}  // namespace

const TextKeyTable kJet4GeneralKeys = {kJet4General, 0, true};
const TextKeyTable kJet3GeneralKeys = {kJet3General, 0, false};

}  // namespace mendora
