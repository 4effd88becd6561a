// The loss account as the app shows it: every entry, every table's line
// and the totals worded in the user's language. The English is the command
// line's, sentence for sentence; the reader's own findings (an entry's
// detail) are quoted as they are.
#ifndef MENDORA_APP_LOSS_TEXT_H_
#define MENDORA_APP_LOSS_TEXT_H_

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include "recovery/loss_account.h"

namespace mendora {

class LossText {
  Q_DECLARE_TR_FUNCTIONS(LossText)

 public:
  // "Table Orders: row 3 of page 40: ..."
  static QString Line(const LossEntry& entry);
  // "Orders: 812 of 830 rows, 18 damaged rows skipped"; without the name
  // and its colon when `with_name` is false.
  static QString TableSummary(const TableLosses& table, bool with_name = true);
  // "Total: 909 of 931 rows recovered; 22 rows and 3 values lost; ..."
  static QString Total(const LossTotals& totals);
  // A line per table that lost anything, one per other part lost (the
  // first kKeptLosses), then the total; nothing when nothing was lost.
  static QStringList SummaryLines(const LossAccount& losses);
  // The entries in the order they came, the first `most` of them, and a
  // count of the losses not listed.
  static QStringList DetailLines(const LossAccount& losses, size_t most, int64_t* not_listed);
};

}  // namespace mendora

#endif  // MENDORA_APP_LOSS_TEXT_H_
