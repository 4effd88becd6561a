// The English of the loss account.
#include "recovery/loss_wording.h"

#include <vector>

#include "recovery/distinct_names.h"

namespace mendora {

namespace {

std::string Plural(int64_t n, const std::string& one, const std::string& many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// "Table T: row R of page P: column C: " as the reader's reports have
// always been placed.
std::string Where(const LossEntry& entry) {
  std::string where;
  if (!entry.table.empty()) where = "Table " + entry.table + ": ";
  if (entry.row >= 0 && entry.page >= 0) {
    where += "row " + std::to_string(entry.row) + " of page " + std::to_string(entry.page) + ": ";
  } else if (entry.page >= 0) {
    where += "page " + std::to_string(entry.page) + ": ";
  }
  if (!entry.column.empty()) where += "column " + entry.column + ": ";
  return where;
}

std::string Because(const std::string& detail) { return detail.empty() ? std::string() : ": " + detail; }

std::string TableWhy(LossReason reason, const std::string& detail) {
  switch (reason) {
    case LossReason::kNotFound: return detail.empty() ? "it was not found" : detail;
    default: return detail;
  }
}

std::string RelationName(const LossEntry& entry) {
  std::string name = "Relation " + entry.name;
  if (!entry.table.empty() || !entry.other_table.empty()) {
    name += " (" + entry.table + " to " + entry.other_table + ")";
  }
  return name;
}

}  // namespace

std::string LossLine(const LossEntry& entry) {
  switch (entry.reason) {
    case LossReason::kOther:
    case LossReason::kRefused:
      // An output's own line, or a part named in words of its own.
      if (entry.subject != LossSubject::kTable) return entry.detail;
      break;
    default:
      break;
  }
  switch (entry.subject) {
    case LossSubject::kTable:
      if (!entry.counted) return Where(entry) + entry.detail;
      return "Table " + entry.table + " was not recovered" + Because(TableWhy(entry.reason, entry.detail));
    case LossSubject::kRow:
    case LossSubject::kValue:
      return Where(entry) + entry.detail;
    case LossSubject::kRelation:
      if (entry.reason == LossReason::kRowsBreakIt) {
        return RelationName(entry) + " was created unenforced: " +
               Plural(entry.count, "row of " + entry.table + " breaks it", "rows of " + entry.table + " break it") +
               Because(entry.detail);
      }
      if (entry.reason == LossReason::kTableMissing) {
        return RelationName(entry) + " was not recovered: table " + entry.detail + " was not recovered";
      }
      return RelationName(entry) + " was not recovered" + Because(entry.detail);
    case LossSubject::kQuery:
      if (entry.reason == LossReason::kTableMissing) {
        return "Query " + entry.name + " was not recovered: table " + entry.detail + " was not recovered";
      }
      return "Query " + entry.name + " was not recovered" + Because(entry.detail);
    case LossSubject::kIndex:
      return "Table " + entry.table + ": index " + entry.name + " was not recovered" + Because(entry.detail);
    case LossSubject::kObject:
      return "Object " + entry.name + " was not recovered" + Because(entry.detail);
    case LossSubject::kColumn:
      if (entry.reason == LossReason::kUnknownType) {
        return "Table " + entry.table + ": column " + entry.column + " has the unknown type " + entry.detail +
               "; its values are kept as their stored bytes";
      }
      return "Table " + entry.table + ": column " + entry.column + Because(entry.detail);
    case LossSubject::kName: {
      const std::string where = entry.page >= 0 ? "the table definition at page " + std::to_string(entry.page)
                                                : "table " + entry.table;
      switch (entry.reason) {
        case LossReason::kNameDamaged:
          return "The catalog's name of " + where + " is damaged (" + entry.detail + "): recovered as " + entry.name;
        case LossReason::kNamedFromEvidence:
          if (entry.table != entry.name) {
            return where + " is " + entry.table + ", a table Access deleted: named " + entry.name + " from " +
                   entry.detail;
          }
          return where + " has no catalog row: named " + entry.name + " from " + entry.detail;
        case LossReason::kNameNotFound:
          return where + " has no catalog row and its name was not found: recovered as " + entry.name;
        default:
          return where + Because(entry.detail);
      }
    }
    case LossSubject::kFile:
      if (entry.reason == LossReason::kPasswordCheckDamaged) {
        return "the password check in the encryption header is damaged: the password was proven on the catalog "
               "instead";
      }
      return entry.detail;
    case LossSubject::kOther:
      return entry.detail;
  }
  return entry.detail;
}

std::string TableSummaryLine(const TableLosses& table) {
  std::string line = PrintableText(table.name) + ": ";
  if (table.lost_whole) {
    const int64_t rows = table.RowsExpected();
    return line + "not recovered, " + (rows < 0 ? std::string("rows unknown") : Plural(rows, "row", "rows")) + " (" +
           TableWhy(table.whole_reason_code, table.whole_reason) + ")";
  }
  line += std::to_string(table.rows_recovered) + " of " + Plural(table.RowsExpected(), "row", "rows");
  if (table.rows_damaged > 0) line += ", " + Plural(table.rows_damaged, "damaged row", "damaged rows") + " skipped";
  if (table.RowsMissing() > 0) line += ", " + Plural(table.RowsMissing(), "row", "rows") + " not found";
  for (const auto& [kind, n] : table.values_lost) {
    // Values of no particular kind are just values.
    line += ", " + (kind == "value" ? Plural(n, "value", "values") : Plural(n, kind + " value", kind + " values")) + " lost";
  }
  if (table.rows_refused > 0) line += ", " + Plural(table.rows_refused, "row", "rows") + " refused by the target";
  if (table.values_refused > 0) {
    line += ", " + Plural(table.values_refused, "value", "values") + " refused by the target";
  }
  if (table.columns_inferred > 0) {
    line += ", layout inferred from its rows (" + std::to_string(table.columns_guessed) + " of " +
            Plural(static_cast<int64_t>(table.columns_inferred), "column type", "column types") +
            " guessed from the values)";
  }
  return line;
}

std::string TotalLine(const LossTotals& totals) {
  std::string total = "Total: " + std::to_string(totals.rows_recovered) + " of " +
                      Plural(totals.rows_expected, "row", "rows") + " recovered; " +
                      Plural(totals.rows_lost, "row", "rows") + " and " + Plural(totals.values_lost, "value", "values") +
                      " lost";
  if (totals.tables_lost_rows_unknown > 0) {
    total += ", and the rows of " + Plural(totals.tables_lost_rows_unknown, "lost table", "lost tables") +
             " no definition counts";
  }
  std::vector<std::string> levels;
  if (totals.tables_lost > 0) levels.push_back(Plural(totals.tables_lost, "table", "tables"));
  if (totals.relations_lost > 0) levels.push_back(Plural(totals.relations_lost, "relation", "relations"));
  if (totals.queries_lost > 0) levels.push_back(Plural(totals.queries_lost, "query", "queries"));
  if (totals.indexes_lost > 0) levels.push_back(Plural(totals.indexes_lost, "index or key", "indexes or keys"));
  if (totals.objects_lost > 0) levels.push_back(Plural(totals.objects_lost, "object", "objects"));
  if (totals.names_lost > 0) levels.push_back(Plural(totals.names_lost, "table name", "table names"));
  if (!levels.empty()) {
    total += "; not recovered: ";
    for (size_t i = 0; i < levels.size(); ++i) total += (i == 0 ? "" : ", ") + levels[i];
  }
  if (totals.other_parts > 0) {
    total += (levels.empty() ? ", and " : "; and ") + Plural(totals.other_parts, "other part", "other parts") +
             " (named above)";
  }
  return total;
}

std::string MorePartsLine(int64_t more) { return "... and " + Plural(more, "more part", "more parts"); }

std::string MoreReportsLine(const std::string& table, size_t more) {
  return PrintableText(table) + ": " + std::to_string(more) + " more damage reports not shown (--verbose shows them)";
}

}  // namespace mendora
