// Counting what a pass could not recover.
#include "recovery/loss_account.h"

#include "recovery/distinct_names.h"

namespace mendora {

namespace {

std::string Plural(int64_t n, const std::string& one, const std::string& many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

int64_t TableLosses::ValuesLost() const {
  int64_t total = 0;
  for (const auto& [kind, n] : values_lost) total += n;
  return total;
}

int64_t TableLosses::RowsMissing() const {
  const int64_t seen = rows_recovered + rows_damaged;
  return pages_damaged && stored_rows > seen ? stored_rows - seen : 0;
}

int64_t TableLosses::RowsExpected() const { return rows_recovered + rows_damaged + RowsMissing(); }

bool TableLosses::AnyLoss() const {
  return lost_whole || rows_damaged > 0 || rows_refused > 0 || values_refused > 0 || ValuesLost() > 0 ||
         RowsMissing() > 0;
}

std::string TableLosses::Summary() const {
  std::string line = PrintableText(name) + ": ";
  if (lost_whole) return line + "not recovered (" + whole_reason + ")";
  line += std::to_string(rows_recovered) + " of " + Plural(RowsExpected(), "row", "rows");
  if (rows_damaged > 0) line += ", " + Plural(rows_damaged, "damaged row", "damaged rows") + " skipped";
  if (RowsMissing() > 0) line += ", " + Plural(RowsMissing(), "row", "rows") + " not found";
  for (const auto& [kind, n] : values_lost) line += ", " + Plural(n, kind + " value", kind + " values") + " lost";
  if (rows_refused > 0) line += ", " + Plural(rows_refused, "row", "rows") + " refused by the target";
  if (values_refused > 0) line += ", " + Plural(values_refused, "value", "values") + " refused by the target";
  return line;
}

void LossAccount::Clear() {
  shown_in_table_ = 0;
  hidden_in_table_ = 0;
  tables_.clear();
  current_ = -1;
  count_ = 0;
  pieces_lost_ = 0;
  lines_.clear();
}

void LossAccount::BeginTable(const std::string& name, int64_t stored_rows) {
  shown_in_table_ = 0;
  hidden_in_table_ = 0;
  tables_.push_back(TableLosses{});
  tables_.back().name = name;
  tables_.back().stored_rows = stored_rows;
  current_ = static_cast<int64_t>(tables_.size()) - 1;
}

void LossAccount::EndTable() {
  if (hidden_in_table_ > 0 && details_ != nullptr && current_ >= 0) {
    const std::string line = PrintableText(tables_[static_cast<size_t>(current_)].name) + ": " +
                             std::to_string(hidden_in_table_) + " more damage reports not shown (--verbose shows them)";
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

void LossAccount::Report(const DamageReport& report) {
  std::string where;
  if (!report.table.empty()) where = "Table " + report.table + ": ";
  if (report.row >= 0 && report.page >= 0) {
    where += "row " + std::to_string(report.row) + " of page " + std::to_string(report.page) + ": ";
  } else if (report.page >= 0) {
    where += "page " + std::to_string(report.page) + ": ";
  }
  if (!report.column.empty()) where += "column " + report.column + ": ";
  // Damage to the table's pages makes its stored count the measure of the
  // rows they held; a lost value says nothing of the rows.
  if (current_ >= 0 && !LosesValue(report.kind)) tables_[static_cast<size_t>(current_)].pages_damaged = true;
  if (LosesRow(report.kind)) {
    ++count_;
    ++current().rows_damaged;
    Detail(where + report.detail);
  } else if (LosesValue(report.kind)) {
    ++count_;
    const std::string& detail = report.detail;
    const std::string kind = detail.rfind("memo", 0) == 0 ? "memo" : detail.rfind("OLE", 0) == 0 ? "OLE object" : "value";
    ++current().values_lost[kind];
    Detail(where + detail);
  } else {
    // Damage that costs nothing by itself (a map searched page by page, a
    // definition cut short): worth a line, not a count.
    Detail(where + report.detail);
  }
}

void LossAccount::RowRefused(const std::string& table, const std::string& detail) {
  ++count_;
  ++Named(table).rows_refused;
  Detail(detail);
}

void LossAccount::ValueRefused(const std::string& table, const std::string& detail) {
  ++count_;
  ++Named(table).values_refused;
  Detail(detail);
}

void LossAccount::TableLost(const std::string& table, const std::string& reason) {
  ++count_;
  TableLosses& losses = Named(table);
  losses.lost_whole = true;
  losses.whole_reason = reason;
  Detail("Table " + table + " was not recovered: " + reason);
}

void LossAccount::PieceLost(const std::string& detail) {
  ++count_;
  ++pieces_lost_;
  Detail(detail);
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

std::vector<std::string> LossAccount::SummaryLines() const {
  std::vector<std::string> lines;
  int64_t rows_lost = 0;
  int64_t values_lost = 0;
  int64_t expected = 0;
  for (const TableLosses& table : tables_) {
    expected += table.RowsExpected();
    if (!table.AnyLoss()) continue;
    lines.push_back(table.Summary());
    rows_lost += table.rows_damaged + table.RowsMissing() + table.rows_refused;
    values_lost += table.ValuesLost() + table.values_refused;
  }
  if (lines.empty() && pieces_lost_ == 0) return lines;
  std::string total = "Total: " + std::to_string(RowsRecovered()) + " of " + Plural(expected, "row", "rows") +
                      " recovered; " + Plural(rows_lost, "row", "rows") + " and " +
                      Plural(values_lost, "value", "values") + " lost";
  if (pieces_lost_ > 0) total += ", and " + Plural(static_cast<int64_t>(pieces_lost_), "other part", "other parts") + " (named above)";
  lines.push_back(total);
  return lines;
}

}  // namespace mendora
