// The English of the loss account and the analysis log: the one place where
// the library words its entries and events for the command line. The desktop
// app words the same entries and events itself, in the user's language.
#ifndef MENDORA_RECOVERY_LOSS_WORDING_H_
#define MENDORA_RECOVERY_LOSS_WORDING_H_

#include <cstdint>
#include <string>

#include "recovery/loss_account.h"

namespace mendora {

// The detail line of one entry: "Table Orders: row 3 of page 40: ...".
std::string LossLine(const LossEntry& entry);
// "Orders: 812 of 830 rows, 18 damaged rows skipped, 3 memo values lost";
// "Shippers: not recovered, rows unknown (...)".
std::string TableSummaryLine(const TableLosses& table);
// "Total: 909 of 931 rows recovered; 22 rows and 3 values lost; not
// recovered: 2 tables, 5 relations".
std::string TotalLine(const LossTotals& totals);
// After the first parts listed: "... and 12 more parts".
std::string MorePartsLine(int64_t more);
// "Orders: 40 more damage reports not shown (--verbose shows them)".
std::string MoreReportsLine(const std::string& table, size_t more);

}  // namespace mendora

#endif  // MENDORA_RECOVERY_LOSS_WORDING_H_
