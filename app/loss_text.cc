// Wording the loss account's entries, tables and totals.
#include "app/loss_text.h"

#include <algorithm>
#include <climits>

#include "recovery/distinct_names.h"

namespace mendora {

namespace {

// Text from the file or the reader, on one line.
QString Text(const std::string& text) { return QString::fromStdString(PrintableText(text)); }

int Count(int64_t n) { return static_cast<int>(std::clamp<int64_t>(n, 0, INT_MAX)); }

QString Because(const std::string& detail) {
  return detail.empty() ? QString() : QStringLiteral(": ") + Text(detail);
}

}  // namespace

namespace {

// Where in the file, as the reader's findings have always been placed:
// "Table T: row R of page P: column C: ".
QString Where(const LossEntry& entry) {
  QString where;
  if (!entry.table.empty()) where = LossText::tr("Table %1: ").arg(Text(entry.table));
  if (entry.row >= 0 && entry.page >= 0) {
    where += LossText::tr("row %1 of page %2: ").arg(QString::number(entry.row), QString::number(entry.page));
  } else if (entry.page >= 0) {
    where += LossText::tr("page %1: ").arg(QString::number(entry.page));
  }
  if (!entry.column.empty()) where += LossText::tr("column %1: ").arg(Text(entry.column));
  return where;
}

QString TableWhy(LossReason reason, const std::string& detail) {
  if (reason == LossReason::kNotFound && detail.empty()) return LossText::tr("it was not found");
  return Text(detail);
}

QString RelationName(const LossEntry& entry) {
  if (entry.table.empty() && entry.other_table.empty()) return LossText::tr("Relation %1").arg(Text(entry.name));
  return LossText::tr("Relation %1 (%2 to %3)").arg(Text(entry.name), Text(entry.table), Text(entry.other_table));
}

QString NameLine(const LossEntry& entry) {
  const QString where = entry.page >= 0
                            ? LossText::tr("the table definition at page %1").arg(QString::number(entry.page))
                            : LossText::tr("table %1").arg(Text(entry.table));
  switch (entry.reason) {
    case LossReason::kNameDamaged:
      return LossText::tr("The catalog's name of %1 is damaged (%2): recovered as %3")
          .arg(where, Text(entry.detail), Text(entry.name));
    case LossReason::kNamedFromEvidence:
      if (entry.table != entry.name) {
        return LossText::tr("%1 is %2, a table Access deleted: named %3 from %4")
            .arg(where, Text(entry.table), Text(entry.name), Text(entry.detail));
      }
      return LossText::tr("%1 has no catalog row: named %2 from %3").arg(where, Text(entry.name), Text(entry.detail));
    case LossReason::kNameNotFound:
      return LossText::tr("%1 has no catalog row and its name was not found: recovered as %2")
          .arg(where, Text(entry.name));
    default:
      return where + Because(entry.detail);
  }
}

QString ValuesLost(const std::string& kind, int64_t n) {
  if (kind == "memo") return LossText::tr("%n memo values lost", nullptr, Count(n));
  if (kind == "OLE object") return LossText::tr("%n OLE object values lost", nullptr, Count(n));
  if (kind == "value") return LossText::tr("%n values lost", nullptr, Count(n));
  return LossText::tr("%n %1 values lost", nullptr, Count(n)).arg(Text(kind));
}

}  // namespace

QString LossText::Line(const LossEntry& entry) {
  if ((entry.reason == LossReason::kOther || entry.reason == LossReason::kRefused) &&
      entry.subject != LossSubject::kTable) {
    // An output's own line, or a part named in words of its own.
    return Text(entry.detail);
  }
  switch (entry.subject) {
    case LossSubject::kTable:
      if (!entry.counted) return Where(entry) + Text(entry.detail);
      return tr("Table %1 was not recovered").arg(Text(entry.table)) +
             (entry.reason == LossReason::kNotFound && entry.detail.empty()
                  ? QStringLiteral(": ") + TableWhy(entry.reason, entry.detail)
                  : Because(entry.detail));
    case LossSubject::kRow:
    case LossSubject::kValue:
      return Where(entry) + Text(entry.detail);
    case LossSubject::kRelation:
      if (entry.reason == LossReason::kRowsBreakIt) {
        return tr("%1 was created unenforced: %n rows of %2 break it", nullptr, Count(entry.count))
                   .arg(RelationName(entry), Text(entry.table)) +
               Because(entry.detail);
      }
      if (entry.reason == LossReason::kTableMissing) {
        return tr("%1 was not recovered: table %2 was not recovered").arg(RelationName(entry), Text(entry.detail));
      }
      return tr("%1 was not recovered").arg(RelationName(entry)) + Because(entry.detail);
    case LossSubject::kQuery:
      if (entry.reason == LossReason::kTableMissing) {
        return tr("Query %1 was not recovered: table %2 was not recovered").arg(Text(entry.name), Text(entry.detail));
      }
      return tr("Query %1 was not recovered").arg(Text(entry.name)) + Because(entry.detail);
    case LossSubject::kIndex:
      return tr("Table %1: index %2 was not recovered").arg(Text(entry.table), Text(entry.name)) + Because(entry.detail);
    case LossSubject::kObject:
      return tr("Object %1 was not recovered").arg(Text(entry.name)) + Because(entry.detail);
    case LossSubject::kColumn:
      if (entry.reason == LossReason::kUnknownType) {
        return tr("Table %1: column %2 has the unknown type %3; its values are kept as their stored bytes")
            .arg(Text(entry.table), Text(entry.column), Text(entry.detail));
      }
      return tr("Table %1: column %2").arg(Text(entry.table), Text(entry.column)) + Because(entry.detail);
    case LossSubject::kName:
      return NameLine(entry);
    case LossSubject::kFile:
      if (entry.reason == LossReason::kPasswordCheckDamaged) {
        return tr("the password check in the encryption header is damaged: the password was proven on the catalog "
                  "instead");
      }
      return Text(entry.detail);
    case LossSubject::kOther:
      break;
  }
  return Text(entry.detail);
}

QString LossText::TableSummary(const TableLosses& table, bool with_name) {
  QString line = with_name ? Text(table.name) + QStringLiteral(": ") : QString();
  if (table.lost_whole) {
    const int64_t rows = table.RowsExpected();
    return line + tr("not recovered, %1 (%2)")
                      .arg(rows < 0 ? tr("rows unknown") : tr("%n rows", nullptr, Count(rows)),
                           TableWhy(table.whole_reason_code, table.whole_reason));
  }
  line += tr("%1 of %n rows", nullptr, Count(table.RowsExpected())).arg(QString::number(table.rows_recovered));
  const QString comma = QStringLiteral(", ");
  if (table.rows_damaged > 0) line += comma + tr("%n damaged rows skipped", nullptr, Count(table.rows_damaged));
  if (table.RowsMissing() > 0) line += comma + tr("%n rows not found", nullptr, Count(table.RowsMissing()));
  for (const auto& [kind, n] : table.values_lost) line += comma + ValuesLost(kind, n);
  if (table.rows_refused > 0) line += comma + tr("%n rows refused by the target", nullptr, Count(table.rows_refused));
  if (table.values_refused > 0) {
    line += comma + tr("%n values refused by the target", nullptr, Count(table.values_refused));
  }
  if (table.columns_inferred > 0) {
    line += comma + tr("layout inferred from its rows (%1 of %n column types guessed from the values)", nullptr,
                       Count(static_cast<int64_t>(table.columns_inferred)))
                        .arg(QString::number(table.columns_guessed));
  }
  return line;
}

QString LossText::Total(const LossTotals& totals) {
  QString total = tr("Total: %1 of %n rows recovered", nullptr, Count(totals.rows_expected))
                      .arg(QString::number(totals.rows_recovered)) +
                  QStringLiteral("; ") +
                  tr("%1 and %2 lost")
                      .arg(tr("%n rows", nullptr, Count(totals.rows_lost)),
                           tr("%n values", nullptr, Count(totals.values_lost)));
  if (totals.tables_lost_rows_unknown > 0) {
    total += tr(", and the rows of %n lost tables no definition counts", nullptr, Count(totals.tables_lost_rows_unknown));
  }
  QStringList levels;
  if (totals.tables_lost > 0) levels << tr("%n tables", nullptr, Count(totals.tables_lost));
  if (totals.relations_lost > 0) levels << tr("%n relations", nullptr, Count(totals.relations_lost));
  if (totals.queries_lost > 0) levels << tr("%n queries", nullptr, Count(totals.queries_lost));
  if (totals.indexes_lost > 0) levels << tr("%n indexes or keys", nullptr, Count(totals.indexes_lost));
  if (totals.objects_lost > 0) levels << tr("%n objects", nullptr, Count(totals.objects_lost));
  if (totals.names_lost > 0) levels << tr("%n table names", nullptr, Count(totals.names_lost));
  if (!levels.isEmpty()) total += tr("; not recovered: %1").arg(levels.join(QStringLiteral(", ")));
  if (totals.other_parts > 0) {
    total += levels.isEmpty() ? tr(", and %n other parts (named above)", nullptr, Count(totals.other_parts))
                              : tr("; and %n other parts (named above)", nullptr, Count(totals.other_parts));
  }
  return total;
}

QStringList LossText::SummaryLines(const LossAccount& losses) {
  QStringList lines;
  for (const TableLosses* table : losses.LossyTables()) lines << TableSummary(*table);
  // Every other part lost is named here too.
  int64_t listed = 0;
  for (const LossEntry& entry : losses.entries()) {
    if (!entry.counted || entry.subject == LossSubject::kTable || entry.subject == LossSubject::kRow ||
        entry.subject == LossSubject::kValue) {
      continue;
    }
    if (listed >= static_cast<int64_t>(kKeptLosses)) break;
    lines << Line(entry);
    ++listed;
  }
  const LossTotals totals = losses.Totals();
  const int64_t all_parts = totals.relations_lost + totals.queries_lost + totals.indexes_lost + totals.objects_lost +
                            totals.names_lost + totals.other_parts;
  if (lines.isEmpty() && all_parts == 0) return lines;
  if (listed < all_parts) lines << tr("... and %n more parts", nullptr, Count(all_parts - listed));
  lines << Total(totals);
  return lines;
}

QStringList LossText::DetailLines(const LossAccount& losses, size_t most, int64_t* not_listed) {
  QStringList lines;
  int64_t counted = 0;
  for (const LossEntry& entry : losses.entries()) {
    if (static_cast<size_t>(lines.size()) >= most) break;
    lines << Line(entry);
    if (entry.counted) ++counted;
  }
  if (not_listed != nullptr) *not_listed = std::max<int64_t>(0, static_cast<int64_t>(losses.count()) - counted);
  return lines;
}

}  // namespace mendora
