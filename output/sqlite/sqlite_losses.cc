// Writing mendora_losses.
#include "output/sqlite/sqlite_losses.h"

#include "output/sqlite/sqlite_schema.h"

namespace mendora {

namespace {

std::string Text(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("''") : std::string(1, c);
  return quoted + "'";
}

std::string Count(int64_t count) { return count < 0 ? std::string("NULL") : std::to_string(count); }

}  // namespace

std::vector<std::string> LossTableStatements(const LossAccount& losses) {
  const std::string table = QuoteIdentifier(kLossTable);
  std::vector<std::string> statements = {
      "CREATE TABLE " + table +
      " (\"kind\" TEXT NOT NULL, \"table\" TEXT, \"rows_in_source\" INTEGER, \"rows_saved\" INTEGER, "
      "\"rows_lost\" INTEGER, \"values_lost\" INTEGER, \"detail\" TEXT NOT NULL)"};
  const std::string insert = "INSERT INTO " + table + " VALUES (";
  for (const TableLosses* lost : losses.LossyTables()) {
    const int64_t rows_lost = lost->rows_damaged + lost->RowsMissing() + lost->rows_refused;
    statements.push_back(insert + "'table', " + Text(lost->name) + ", " + Count(lost->stored_rows) + ", " +
                         Count(lost->rows_recovered - lost->rows_refused) + ", " + Count(rows_lost) + ", " +
                         Count(lost->ValuesLost() + lost->values_refused) + ", " + Text(lost->Summary()) + ")");
  }
  const std::vector<std::string> summary = losses.SummaryLines();
  if (!summary.empty()) {
    statements.push_back(insert + "'total', NULL, NULL, " + Count(losses.RowsRecovered()) + ", NULL, NULL, " +
                         Text(summary.back()) + ")");
  }
  for (const std::string& line : losses.lines()) {
    statements.push_back(insert + "'detail', NULL, NULL, NULL, NULL, NULL, " + Text(line) + ")");
  }
  if (losses.count() > losses.lines().size()) {
    statements.push_back(insert + "'detail', NULL, NULL, NULL, NULL, NULL, " +
                         Text(std::to_string(losses.count() - losses.lines().size()) +
                              " more losses were counted; the messages of the save named them") +
                         ")");
  }
  return statements;
}

}  // namespace mendora
