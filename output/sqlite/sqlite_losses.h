// The table mendora_losses in a saved database: the loss account kept with
// the rows, so that whoever opens the file later sees what did not come
// back without the messages of the save.
#ifndef MENDORA_OUTPUT_SQLITE_SQLITE_LOSSES_H_
#define MENDORA_OUTPUT_SQLITE_SQLITE_LOSSES_H_

#include <string>
#include <vector>

#include "recovery/loss_account.h"

namespace mendora {

inline constexpr char kLossTable[] = "mendora_losses";

// The statements that create mendora_losses and fill it: a row per table
// that lost anything (kind 'table', with its counts), a row for the total
// (kind 'total') and a row per loss the account kept (kind 'detail'). An
// account without losses leaves the table empty: nothing was lost.
std::vector<std::string> LossTableStatements(const LossAccount& losses);

}  // namespace mendora

#endif  // MENDORA_OUTPUT_SQLITE_SQLITE_LOSSES_H_
