// The account of everything a pass could not recover.
//
// The reader's damage reports and the outputs' refusals all arrive here. Per
// table it keeps the rows recovered, the rows seen but damaged, the values
// lost (by kind), what the target refused, and the row count the table's
// definition stores, so that rows whose pages are gone are counted too. The
// first detail lines are kept for the user; all are counted.
#ifndef MENDORA_RECOVERY_LOSS_ACCOUNT_H_
#define MENDORA_RECOVERY_LOSS_ACCOUNT_H_

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "reader/damage.h"

namespace mendora {

inline constexpr size_t kKeptLosses = 100;
// Detail lines shown per table before the rest are only counted: a table of
// thousands of damaged rows must not bury the summary.
inline constexpr size_t kShownPerTable = 10;

struct TableLosses {
  std::string name;
  // As the definition says; -1 unknown. Access keeps this count loosely (a
  // file it wrote whole may say a few rows more or fewer than its pages
  // hold), so it is taken for rows whose pages are gone only when the
  // table's pages show damage.
  int64_t stored_rows = -1;
  bool pages_damaged = false;  // its map, a page it names or a row did not read whole
  int64_t rows_recovered = 0;
  int64_t rows_damaged = 0;
  int64_t rows_refused = 0;  // by the target
  std::map<std::string, int64_t> values_lost;  // by kind: "memo", "OLE object", "value"
  int64_t values_refused = 0;
  bool lost_whole = false;  // the table could not be read or saved at all
  std::string whole_reason;

  int64_t ValuesLost() const;
  // Rows the definition promised that were neither recovered nor seen, on
  // pages that are damaged or gone.
  int64_t RowsMissing() const;
  // The rows the table held, as far as the account can tell.
  int64_t RowsExpected() const;
  bool AnyLoss() const;
  // "Orders: 812 of 830 rows, 18 damaged rows skipped, 3 memo values lost"
  std::string Summary() const;
};

class LossAccount final : public DamageReporter {
 public:
  // Where detail lines are written as they happen; null keeps them quiet.
  explicit LossAccount(std::FILE* details = stderr) : details_(details) {}
  // Detail lines go to `details` from now on (null: nowhere).
  void SetDetails(std::FILE* details) { details_ = details; }

  void Clear();
  // Every detail line is shown; otherwise the first kShownPerTable of each
  // table's, and a line that counts the rest when the table ends.
  void SetVerbose(bool verbose) { verbose_ = verbose; }

  // The table whose rows are being read: damage reported until EndTable is
  // charged to it.
  void BeginTable(const std::string& name, int64_t stored_rows);
  void RowRecovered() { ++current().rows_recovered; }
  void EndTable();

  // A damage report from the reader.
  void Report(const DamageReport& report) override;
  // What a target refused: a row, a value, a table, a relation, a query.
  void RowRefused(const std::string& table, const std::string& detail);
  void ValueRefused(const std::string& table, const std::string& detail);
  void TableLost(const std::string& table, const std::string& reason);
  // Anything else that did not come through (a relation, a query, a
  // column), named in a line of its own.
  void PieceLost(const std::string& detail);

  // Counted losses of every kind.
  size_t count() const { return count_; }
  // The first kKeptLosses detail lines.
  const std::vector<std::string>& lines() const { return lines_; }
  bool AnyLoss() const { return count_ > 0 || TablesWithLosses() > 0; }
  // The tables that lost anything, in the order they were read.
  std::vector<const TableLosses*> LossyTables() const;
  size_t TablesWithLosses() const { return LossyTables().size(); }
  // One line per table that lost anything, then a total line; nothing when
  // nothing was lost.
  std::vector<std::string> SummaryLines() const;
  int64_t RowsRecovered() const;
  // Every table read, in order.
  const std::vector<TableLosses>& tables() const { return tables_; }

 private:
  TableLosses& current();
  TableLosses& Named(const std::string& table);
  void Detail(const std::string& line);

  std::FILE* details_;
  bool verbose_ = false;
  size_t shown_in_table_ = 0;
  size_t hidden_in_table_ = 0;
  std::vector<TableLosses> tables_;
  int64_t current_ = -1;
  size_t count_ = 0;
  size_t pieces_lost_ = 0;
  std::vector<std::string> lines_;
};

}  // namespace mendora

#endif  // MENDORA_RECOVERY_LOSS_ACCOUNT_H_
