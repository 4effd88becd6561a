// Counting what a pass could not recover.
#include "recovery/loss_account.h"

#include "recovery/distinct_names.h"
#include "recovery/loss_wording.h"

namespace mendora {

namespace {

LossReason ReasonOf(DamageKind kind) {
  switch (kind) {
    case DamageKind::kUnreadablePage: return LossReason::kUnreadablePage;
    case DamageKind::kForeignPage: return LossReason::kForeignPage;
    case DamageKind::kFileShort: return LossReason::kFileShort;
    case DamageKind::kUsageMap: return LossReason::kUsageMap;
    case DamageKind::kDefinition: return LossReason::kDefinition;
    case DamageKind::kDamagedRow: return LossReason::kDamagedRow;
    case DamageKind::kValueOutsideRow: return LossReason::kValueOutsideRow;
    case DamageKind::kLongValue: return LossReason::kLongValue;
  }
  return LossReason::kOther;
}

bool IsRowLevel(const LossEntry& entry) {
  return entry.subject == LossSubject::kRow || entry.subject == LossSubject::kValue || !entry.counted;
}

}  // namespace

int64_t TableLosses::ValuesLost() const {
  int64_t total = 0;
  for (const auto& [kind, n] : values_lost) total += n;
  return total;
}

int64_t TableLosses::RowsMissing() const {
  if (lost_whole) return 0;
  const int64_t seen = rows_recovered + rows_damaged;
  return pages_damaged && stored_rows > seen ? stored_rows - seen : 0;
}

int64_t TableLosses::RowsExpected() const {
  const int64_t seen = rows_recovered + rows_damaged;
  if (lost_whole) return stored_rows >= 0 || seen > 0 ? std::max(stored_rows, seen) : -1;
  return seen + RowsMissing();
}

bool TableLosses::AnyLoss() const {
  return lost_whole || rows_damaged > 0 || rows_refused > 0 || values_refused > 0 || ValuesLost() > 0 ||
         RowsMissing() > 0 || columns_inferred > 0;
}

std::string TableLosses::Summary() const { return TableSummaryLine(*this); }

void LossAccount::Clear() {
  shown_in_table_ = 0;
  hidden_in_table_ = 0;
  tables_.clear();
  current_ = -1;
  count_ = 0;
  row_entries_ = 0;
  parts_ = LossTotals{};
  lines_.clear();
  entries_.clear();
}

void LossAccount::BeginTable(const std::string& name, int64_t stored_rows) {
  shown_in_table_ = 0;
  hidden_in_table_ = 0;
  tables_.push_back(TableLosses{});
  tables_.back().name = name;
  tables_.back().stored_rows = stored_rows;
  current_ = static_cast<int64_t>(tables_.size()) - 1;
}

void LossAccount::LayoutInferred(const std::vector<std::string>& columns, const std::vector<std::string>& notes,
                                 size_t guessed) {
  TableLosses& table = current();
  table.columns_inferred = notes.size();
  table.columns_guessed = guessed;
  for (size_t i = 0; i < notes.size() && i < columns.size(); ++i) {
    Detail("Table " + table.name + ": " + columns[i] + ": " + notes[i]);
  }
}

void LossAccount::EndTable() {
  if (hidden_in_table_ > 0 && details_ != nullptr && current_ >= 0) {
    const std::string line = MoreReportsLine(tables_[static_cast<size_t>(current_)].name, hidden_in_table_);
    std::fprintf(details_, "%s\n", line.c_str());
  }
  current_ = -1;
  shown_in_table_ = 0;
  hidden_in_table_ = 0;
}

TableLosses& LossAccount::current() {
  if (current_ < 0) {
    // Rows outside any table cannot happen; a stray call still counts.
    BeginTable("(no table)", -1);
  }
  return tables_[static_cast<size_t>(current_)];
}

TableLosses& LossAccount::Named(const std::string& table) {
  if (current_ >= 0 && tables_[static_cast<size_t>(current_)].name == table) return tables_[static_cast<size_t>(current_)];
  for (auto it = tables_.rbegin(); it != tables_.rend(); ++it) {
    if (it->name == table) return *it;
  }
  tables_.push_back(TableLosses{});
  tables_.back().name = table;
  return tables_.back();
}

const TableLosses* LossAccount::Table(const std::string& name) const {
  for (auto it = tables_.rbegin(); it != tables_.rend(); ++it) {
    if (it->name == name) return &*it;
  }
  return nullptr;
}

void LossAccount::Detail(const std::string& line) {
  const std::string shown = PrintableText(line);
  if (lines_.size() < kKeptLosses) lines_.push_back(shown);
  if (current_ >= 0 && !verbose_ && shown_in_table_ >= kShownPerTable) {
    ++hidden_in_table_;
    return;
  }
  ++shown_in_table_;
  if (details_ != nullptr) std::fprintf(details_, "%s\n", shown.c_str());
}

void LossAccount::Add(LossEntry entry) {
  if (entry.counted) {
    ++count_;
    switch (entry.subject) {
      case LossSubject::kRelation: ++parts_.relations_lost; break;
      case LossSubject::kQuery: ++parts_.queries_lost; break;
      case LossSubject::kIndex: ++parts_.indexes_lost; break;
      case LossSubject::kObject: ++parts_.objects_lost; break;
      case LossSubject::kName: ++parts_.names_lost; break;
      case LossSubject::kTable:
      case LossSubject::kRow:
      case LossSubject::kValue: break;  // counted per table
      default: ++parts_.other_parts; break;
    }
  }
  Detail(LossLine(entry));
  if (IsRowLevel(entry)) {
    if (row_entries_ >= kKeptLosses) return;
    ++row_entries_;
  } else if (entries_.size() >= kKeptPartEntries) {
    return;
  }
  entries_.push_back(std::move(entry));
}

void LossAccount::Report(const DamageReport& report) {
  LossEntry entry;
  entry.reason = ReasonOf(report.kind);
  entry.table = report.table;
  entry.column = report.column;
  entry.page = report.page;
  entry.row = report.row;
  entry.detail = report.detail;
  // Damage to the table's pages makes its stored count the measure of the
  // rows they held; a lost value says nothing of the rows.
  if (current_ >= 0 && !LosesValue(report.kind)) tables_[static_cast<size_t>(current_)].pages_damaged = true;
  if (LosesRow(report.kind)) {
    entry.subject = LossSubject::kRow;
    ++current().rows_damaged;
  } else if (LosesValue(report.kind)) {
    entry.subject = LossSubject::kValue;
    const std::string& detail = report.detail;
    const std::string kind = detail.rfind("memo", 0) == 0 ? "memo" : detail.rfind("OLE", 0) == 0 ? "OLE object" : "value";
    ++current().values_lost[kind];
  } else {
    // Damage that costs nothing by itself (a map searched page by page, a
    // definition cut short): worth a line, not a count.
    entry.subject = LossSubject::kTable;
    entry.counted = false;
  }
  Add(std::move(entry));
}

void LossAccount::RowRefused(const std::string& table, const std::string& detail) {
  ++Named(table).rows_refused;
  Add(LossEntry{.subject = LossSubject::kRow, .reason = LossReason::kRefused, .table = table, .detail = detail});
}

void LossAccount::ValueRefused(const std::string& table, const std::string& detail) {
  ++Named(table).values_refused;
  Add(LossEntry{.subject = LossSubject::kValue, .reason = LossReason::kRefused, .table = table, .detail = detail});
}

void LossAccount::TableLost(const std::string& table, const std::string& reason) {
  TableLost(table, LossReason::kRefused, reason);
}

void LossAccount::TableLost(const std::string& table, LossReason reason, const std::string& detail,
                            int64_t stored_rows) {
  TableLosses& losses = Named(table);
  // Said once: a table a later step finds lost again is the same loss.
  if (losses.lost_whole) return;
  losses.lost_whole = true;
  losses.whole_reason_code = reason;
  losses.whole_reason = detail;
  if (stored_rows >= 0) losses.stored_rows = stored_rows;
  Add(LossEntry{.subject = LossSubject::kTable,
                .reason = reason,
                .table = table,
                .count = losses.stored_rows,
                .detail = detail});
}

void LossAccount::PieceLost(const std::string& detail) {
  Add(LossEntry{.subject = LossSubject::kOther, .reason = LossReason::kOther, .detail = detail});
}

std::vector<const TableLosses*> LossAccount::LossyTables() const {
  std::vector<const TableLosses*> lossy;
  for (const TableLosses& table : tables_) {
    if (table.AnyLoss()) lossy.push_back(&table);
  }
  return lossy;
}

int64_t LossAccount::RowsRecovered() const {
  int64_t rows = 0;
  for (const TableLosses& table : tables_) rows += table.rows_recovered;
  return rows;
}

LossTotals LossAccount::Totals() const {
  LossTotals totals = parts_;
  for (const TableLosses& table : tables_) {
    const int64_t expected = table.RowsExpected();
    if (table.lost_whole) {
      ++totals.tables_lost;
      if (expected < 0) {
        ++totals.tables_lost_rows_unknown;
      } else {
        totals.rows_expected += expected;
        totals.rows_lost += expected;
      }
      continue;
    }
    totals.rows_recovered += table.rows_recovered;
    totals.rows_expected += expected;
    totals.rows_lost += table.rows_damaged + table.RowsMissing() + table.rows_refused;
    totals.values_lost += table.ValuesLost() + table.values_refused;
  }
  return totals;
}

std::vector<std::string> LossAccount::SummaryLines() const {
  std::vector<std::string> lines;
  for (const TableLosses& table : tables_) {
    if (table.AnyLoss()) lines.push_back(table.Summary());
  }
  // Every other part lost is named here too, where --quiet leaves no
  // detail line above.
  size_t parts = 0;
  size_t listed = 0;
  for (const LossEntry& entry : entries_) {
    if (!entry.counted || entry.subject == LossSubject::kTable || entry.subject == LossSubject::kRow ||
        entry.subject == LossSubject::kValue) {
      continue;
    }
    ++parts;
    if (listed < kKeptLosses) {
      lines.push_back(PrintableText(LossLine(entry)));
      ++listed;
    }
  }
  const LossTotals totals = Totals();
  const int64_t all_parts = totals.relations_lost + totals.queries_lost + totals.indexes_lost + totals.objects_lost +
                            totals.names_lost + totals.other_parts;
  if (lines.empty() && all_parts == 0) return lines;
  if (static_cast<int64_t>(listed) < all_parts) lines.push_back(MorePartsLine(all_parts - static_cast<int64_t>(listed)));
  (void)parts;
  lines.push_back(TotalLine(totals));
  return lines;
}

}  // namespace mendora
