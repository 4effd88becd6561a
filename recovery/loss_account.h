// The account of everything a pass could not recover.
//
// The reader's damage reports and the outputs' refusals all arrive here. Each
// loss is kept as an entry of its own (what it concerns, why, where, how many
// rows), so that a front-end can word it in its own language; the English of
// the command line is made in one place (loss_wording.h). Per table the
// account also keeps the rows recovered, the rows seen but damaged, the
// values lost (by kind), what the target refused, and the row count the
// table's definition stores, so that rows whose pages are gone are counted
// too.
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
// Entries of tables, relations, queries, indexes and objects kept for the
// front-ends; rows and values, which damage loses by the thousand, are kept
// up to kKeptLosses and counted beyond.
inline constexpr size_t kKeptPartEntries = 10000;

// What a loss concerns.
enum class LossSubject : uint8_t {
  kFile,      // the file as a whole: its header, its encryption, its catalog
  kTable,     // a whole table, or its pages
  kRow,       // one row of a table
  kValue,     // one value of a row
  kColumn,    // a column of a table
  kIndex,     // an index or key of a table
  kRelation,  // a relationship between two tables
  kQuery,     // a saved query
  kObject,    // a form, report, macro or module
  kName,      // a name that is not the one the source gave
  kOther,     // a part an output names in its own words
};

// Why, as a code a front-end words for itself; the entry's `detail` holds the
// particulars (the reader's own finding, the target's error, the evidence).
enum class LossReason : uint8_t {
  // The reader's findings (see DamageKind).
  kUnreadablePage,
  kForeignPage,
  kFileShort,
  kUsageMap,
  kDefinition,
  kDamagedRow,
  kValueOutsideRow,
  kLongValue,
  kRefused,            // the target refused it; `detail` is the output's own line
  kFailed,             // reading it failed part-way; `detail` says how
  kDefinitionGone,     // the table's definition cannot be read
  kNotFound,           // the catalog (or a relation, a query) names it, and it did not come back
  kTableMissing,       // a relation or query whose table (`detail`) did not come back
  kRowsBreakIt,        // a relation created unenforced: `count` rows of its table break it
  kNameDamaged,        // the catalog's name was damaged; `name` is the one given, `detail` the evidence
  kNamedFromEvidence,  // no name of its own: `name` was taken from `detail`
  kNameNotFound,       // no name of its own, and none in the evidence: `name` was made up
  kLayoutInferred,     // the definition is gone: the layout was inferred from the rows
  kUnknownType,        // a column type without a decoder: its values are kept as bytes
  kIncomplete,         // part of it could not be read (keys, properties); `detail` says what
  kPasswordCheckDamaged,
  kOther,              // `detail` is the whole line
};

struct LossEntry {
  LossSubject subject = LossSubject::kOther;
  LossReason reason = LossReason::kOther;
  // False for damage told that cost nothing by itself (a map searched page
  // by page): a line, not a loss.
  bool counted = true;
  std::string table;   // the table concerned; a relation's referencing table
  std::string column;
  std::string name;    // the relation, query, index or object; the name given (kName)
  std::string other_table;  // a relation's referenced table
  int64_t page = -1;
  int row = -1;
  int64_t count = -1;  // the rows concerned (a lost table's stored count, rows breaking a relation); -1 unknown
  std::string detail;
};

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
  // A table whose definition is gone, read with a layout inferred from its
  // rows: its columns, and those whose type only the values gave.
  size_t columns_inferred = 0;
  size_t columns_guessed = 0;
  bool lost_whole = false;  // the table could not be read or saved at all
  LossReason whole_reason_code = LossReason::kOther;
  std::string whole_reason;  // in words (the detail of the entry that lost it)

  int64_t ValuesLost() const;
  // Rows the definition promised that were neither recovered nor seen, on
  // pages that are damaged or gone.
  int64_t RowsMissing() const;
  // The rows the table held, as far as the account can tell (a table lost
  // whole: its stored count, or -1 when no definition says it).
  int64_t RowsExpected() const;
  bool AnyLoss() const;
  // "Orders: 812 of 830 rows, 18 damaged rows skipped, 3 memo values lost"
  std::string Summary() const;
};

// What was lost at every level, counted.
struct LossTotals {
  int64_t rows_recovered = 0;
  int64_t rows_expected = 0;  // of the tables whose rows are known
  int64_t rows_lost = 0;
  int64_t values_lost = 0;
  int64_t tables_lost = 0;
  int64_t tables_lost_rows_unknown = 0;  // of those, no definition said how many rows
  int64_t relations_lost = 0;
  int64_t queries_lost = 0;
  int64_t indexes_lost = 0;
  int64_t objects_lost = 0;
  int64_t names_lost = 0;   // tables under a name that is not their own
  int64_t other_parts = 0;  // columns, properties and what outputs name in their own words
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
  // The table being read has an inferred layout: a line for each column
  // ("Table T: OrderDate: a date (from its Format property)").
  void LayoutInferred(const std::vector<std::string>& columns, const std::vector<std::string>& notes, size_t guessed);
  void EndTable();

  // Any loss or note; counted ones by their subject.
  void Add(LossEntry entry);
  // A damage report from the reader.
  void Report(const DamageReport& report) override;
  // What a target refused: a row, a value, a table, a relation, a query.
  void RowRefused(const std::string& table, const std::string& detail);
  void ValueRefused(const std::string& table, const std::string& detail);
  void TableLost(const std::string& table, const std::string& reason);
  // A table that did not come back, why, and the rows its definition says
  // it held (-1: unknown).
  void TableLost(const std::string& table, LossReason reason, const std::string& detail, int64_t stored_rows = -1);
  // Anything else that did not come through (a relation, a query, a
  // column), named in a line of its own.
  void PieceLost(const std::string& detail);

  // Counted losses of every kind.
  size_t count() const { return count_; }
  // The first kKeptLosses detail lines.
  const std::vector<std::string>& lines() const { return lines_; }
  // The entries kept (see kKeptPartEntries), in the order they came.
  const std::vector<LossEntry>& entries() const { return entries_; }
  bool AnyLoss() const { return count_ > 0 || TablesWithLosses() > 0; }
  // The tables that lost anything, in the order they were read.
  std::vector<const TableLosses*> LossyTables() const;
  size_t TablesWithLosses() const { return LossyTables().size(); }
  LossTotals Totals() const;
  // One line per table that lost anything, one per other part lost (the
  // first of them), then a total line; nothing when nothing was lost.
  std::vector<std::string> SummaryLines() const;
  int64_t RowsRecovered() const;
  // Every table read, in order.
  const std::vector<TableLosses>& tables() const { return tables_; }
  // The account of the table named `name`, or null.
  const TableLosses* Table(const std::string& name) const;

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
  size_t row_entries_ = 0;
  LossTotals parts_;  // the counts of parts other than rows and values
  std::vector<std::string> lines_;
  std::vector<LossEntry> entries_;
};

}  // namespace mendora

#endif  // MENDORA_RECOVERY_LOSS_ACCOUNT_H_
