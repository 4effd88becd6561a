// The checks of an Access file, table by table.
#include "recovery/file_check.h"

#include <algorithm>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "reader/column_types.h"
#include "reader/index_def.h"
#include "reader/index_key.h"
#include "reader/index_pages.h"
#include "reader/moved_rows.h"
#include "reader/row_cursor.h"
#include "reader/system_rows.h"
#include "reader/text_codec.h"
#include "reader/usage_map.h"
#include "reader/value_render.h"
#include "recovery/catalog_objects.h"

namespace mendora {

namespace {

constexpr int32_t kCatalogPage = static_cast<int32_t>(kCatalogDefinitionPage);
// Relations whose rules Access does not enforce (grbit) may leave rows
// without a partner: those are no damage.
constexpr int64_t kRelationNotEnforced = 0x00000002;

uint64_t Fnv(const uint8_t* data, size_t size) {
  uint64_t hash = 1469598103934665603ull;
  for (size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 1099511628211ull;
  return hash;
}
uint64_t Fnv(const std::vector<uint8_t>& bytes) { return Fnv(bytes.data(), bytes.size()); }

// Turns the reader's damage reports into problems of the check.
class Findings final : public DamageReporter {
 public:
  explicit Findings(FileCheck& check) : check_(check) {}
  void Report(const DamageReport& report) override {
    std::string detail = report.detail;
    if (!report.column.empty()) detail = "column " + report.column + ": " + detail;
    check_.problems.push_back(CheckFinding{report.table, report.page, report.row, detail});
  }

 private:
  FileCheck& check_;
};

// What a live row's values make of one index.
struct ExpectedKey {
  uint64_t hash = 0;
  bool verified = false;
  bool any_null = false;
  bool all_null = true;
  bool seen = false;
};

struct IndexPlan {
  RealIndex real;
  std::string name;
  std::vector<KeyColumn> key;
  std::vector<size_t> columns;  // into the table's columns
  bool usable = true;
  std::unordered_map<uint64_t, ExpectedKey> rows;  // by PlaceKey
};

class Checker {
 public:
  explicit Checker(JetHandle& handle) : handle_(handle), findings_(check_) {}

  FileCheck Run() {
    ScopedDamageReporter redirect(handle_, findings_);
    CheckHeader();
    catalog_.Load(handle_);
    if (!catalog_.problem().empty()) Problem("", kCatalogPage, -1, "the catalog: " + catalog_.problem());
    std::map<int32_t, std::string> tables{{kCatalogPage, "MSysObjects"}};
    for (const auto& [page, object] : catalog_.Objects()) {
      if (object.type == kCatalogTable && page != kCatalogPage) tables[page] = object.name;
    }
    for (const auto& [page, name] : tables) CheckTable(name, page);
    CheckRelations(tables);
    return std::move(check_);
  }

 private:
  void Problem(const std::string& table, int64_t page, int row, const std::string& detail) {
    check_.problems.push_back(CheckFinding{table, page, row, detail});
  }
  void Note(const std::string& table, const std::string& detail) {
    check_.notes.push_back(CheckFinding{table, -1, -1, detail});
  }

  void CheckHeader() {
    if (handle_.FileSize() % handle_.PageSize() != 0) {
      Problem("", 0, -1,
              "the file's " + std::to_string(handle_.FileSize()) + " bytes are not a whole number of pages of " +
                  std::to_string(handle_.PageSize()));
    }
    if (ReadPage(handle_, 0) == 0) {
      Problem("", 0, -1, "page 0 cannot be read");
      return;
    }
    const HeaderSort sort = HeaderSortOrder(handle_.Page(), handle_.IsJet4());
    sort_order_ = SortOrderOfHeader(handle_.IsJet4(), sort.id, sort.variant);
    if (sort_order_ == TextSortOrder::kOther) {
      Note("", "text keys are not verified: the file's sort order (" + std::to_string(sort.id) + ", variant " +
                   std::to_string(sort.variant) + ") is not one whose keys are known");
    }
  }

  void CheckTable(const std::string& name, int32_t page) {
    TableDefPtr table = OpenTable(handle_, name, kCatalogTable, page);
    if (!table) {
      // OpenTable has reported why.
      if (check_.problems.empty() || check_.problems.back().table != name) {
        Problem(name, page, -1, "its definition cannot be read");
      }
      return;
    }
    ++check_.tables;
    // Calculated columns are read as the result type their properties name.
    const std::map<std::string, int> results = catalog_.ResultTypes(page);
    for (ColumnDef& column : table->columns) {
      const auto found = results.find(column.name);
      if (column.calculated && found != results.end() && IsKnownColumnType(found->second)) {
        column.result_type = found->second;
      }
    }
    std::string why;
    std::optional<IndexDefinition> indexes = ReadIndexes(*table, &why);
    if (!indexes) {
      Problem(name, page, -1, "its indexes cannot be read: " + why);
    } else if (!why.empty()) {
      Problem(name, page, -1, why);
    }
    MovedRows moved;
    CheckUsageMap(*table, moved);
    std::vector<IndexPlan> plans = indexes ? PlanIndexes(*table, *indexes) : std::vector<IndexPlan>{};
    const uint64_t rows = ReadRows(*table, plans);
    check_.rows += rows;
    for (IndexPlan& plan : plans) CheckIndex(*table, plan, moved, rows);
    if (static_cast<int64_t>(rows) != table->row_count) CheckRowCount(*table, plans, rows);
  }

  // Every page the usage map names is a data page of the table, and every
  // data page of the table that holds rows is named.
  void CheckUsageMap(const TableDef& table, MovedRows& moved) {
    const UsageMapPages map = ListUsageMap(handle_, table.usage_map);
    for (const std::string& problem : map.problems) Problem(table.name, table.entry.definition_page, -1, "its usage map: " + problem);
    const uint32_t owner = static_cast<uint32_t>(table.entry.definition_page);
    PageBuffer buffer{};
    const ByteView page(buffer.data(), handle_.PageSize());
    for (uint32_t number : map.pages) {
      if (ReadPageInto(handle_, buffer, number) < handle_.PageSize()) {
        Problem(table.name, number, -1, "its usage map names page " + std::to_string(number) + ", which cannot be read");
        continue;
      }
      if (buffer[0] != kDataPageType || page.U32(kPageOwnerPos).value_or(0) != owner) {
        Problem(table.name, number, -1,
                "its usage map names page " + std::to_string(number) + ", which is not one of its data pages");
        continue;
      }
      moved.NotePage(page, *handle_.format, number);
    }
    // Pages that name the table but that its map leaves out: Access leaves
    // them behind when a table shrinks, so they are no damage by
    // themselves; their live slots matter only when rows are missing.
    stale_pages_.clear();
    const std::unordered_set<uint32_t> named(map.pages.begin(), map.pages.end());
    for (uint32_t number : handle_.DataPages().PagesOf(owner)) {
      if (named.count(number) != 0 || ReadPageInto(handle_, buffer, number) < handle_.PageSize()) continue;
      const PageSlots slots(page, *handle_.format);
      for (uint32_t s = 0; s < slots.count(); ++s) {
        if ((slots.entry(s) & kSlotDeletedMark) == 0) {
          stale_pages_.push_back(number);
          break;
        }
      }
    }
  }

  std::vector<IndexPlan> PlanIndexes(const TableDef& table, const IndexDefinition& indexes) {
    std::vector<IndexPlan> plans(indexes.real.size());
    for (size_t i = 0; i < indexes.real.size(); ++i) {
      IndexPlan& plan = plans[i];
      plan.real = indexes.real[i];
      plan.name = "real index " + std::to_string(i);
      for (const LogicalIndex& logical : indexes.logical) {
        if (logical.real_index == static_cast<int32_t>(i)) {
          plan.name = "index " + logical.name;
          break;
        }
      }
      for (const IndexColumn& column : plan.real.columns) {
        std::optional<size_t> at;
        for (size_t c = 0; c < table.columns.size(); ++c) {
          if (table.columns[c].column_number == column.column_number) at = c;
        }
        if (!at) {
          Problem(table.name, table.entry.definition_page, -1,
                  plan.name + " names column " + std::to_string(column.column_number) + ", which the table lacks");
          plan.usable = false;
          break;
        }
        plan.columns.push_back(*at);
        plan.key.push_back(KeyColumn{table.columns[*at].type, column.descending, sort_order_});
      }
    }
    return plans;
  }

  // Reads every live row, noting what each index must hold for it.
  uint64_t ReadRows(TableDef& table, std::vector<IndexPlan>& plans) {
    uint64_t rows = 0;
    RowCursor cursor(table);
    Row row;
    std::vector<const Value*> values;
    while (cursor.Next(row)) {
      ++rows;
      for (IndexPlan& plan : plans) {
        if (!plan.usable) continue;
        values.clear();
        ExpectedKey expected;
        for (size_t c : plan.columns) {
          values.push_back(&row.values[c]);
          expected.any_null |= row.values[c].IsNull();
          expected.all_null &= row.values[c].IsNull();
        }
        const EncodedKey key = EncodeKey(plan.key, values);
        expected.verified = key.ok();
        if (key.ok()) expected.hash = Fnv(key.bytes);
        plan.rows[PlaceKey(RowPlace{row.page, row.slot})] = expected;
      }
    }
    return rows;
  }

  void CheckIndex(const TableDef& table, IndexPlan& plan, const MovedRows& moved, uint64_t rows) {
    if (!plan.usable) return;
    ++check_.indexes;
    const std::string& name = table.name;
    const bool unique = (plan.real.flags & kIndexUnique) != 0;
    uint64_t not_verified = 0;
    std::optional<IndexEntry> previous;
    bool previous_counts = false;
    const IndexWalkResult walk = WalkIndex(
        handle_, plan.real.root_page, static_cast<uint32_t>(table.entry.definition_page),
        [&](const IndexPage& leaf, const IndexEntry& entry) {
          ++check_.index_entries;
          RowPlace place = moved.Resolve(RowPlace{entry.data_page, entry.data_row});
          const auto found = plan.rows.find(PlaceKey(place));
          const std::string what = plan.name + " on index page " + std::to_string(leaf.number);
          if (found == plan.rows.end()) {
            Problem(name, entry.data_page, entry.data_row,
                    what + " holds an entry for this row, which is not a live row of the table");
            previous.reset();
            return;
          }
          ExpectedKey& expected = found->second;
          if (expected.seen) {
            Problem(name, place.page, static_cast<int>(place.slot), what + " holds a second entry for this row");
          }
          expected.seen = true;
          if (!expected.verified) {
            ++not_verified;
          } else if (Fnv(entry.key) != expected.hash) {
            Problem(name, place.page, static_cast<int>(place.slot),
                    what + " holds a key that the row's values do not make");
          }
          const bool counts = !expected.any_null;
          if (unique && previous && previous_counts && counts && previous->key == entry.key) {
            Problem(name, place.page, static_cast<int>(place.slot),
                    "unique " + plan.name + " holds this row's key for another row too");
          }
          previous = entry;
          previous_counts = counts;
        });
    for (const IndexProblem& problem : walk.problems) Problem(name, problem.page, -1, plan.name + ": " + problem.detail);
    const bool ignore_nulls = (plan.real.flags & kIndexIgnoreNulls) != 0;
    uint64_t missing = 0;
    for (const auto& [place, expected] : plan.rows) {
      if (expected.seen || (ignore_nulls && expected.all_null)) continue;
      if (++missing <= kMaxMissingNamed) {
        Problem(name, static_cast<int64_t>(place >> 16), static_cast<int>(place & 0xFFFF),
                plan.name + " holds no entry for this live row");
      }
    }
    if (missing > kMaxMissingNamed) {
      Problem(name, -1, -1,
              plan.name + " lacks " + std::to_string(missing - kMaxMissingNamed) + " more of the table's " +
                  std::to_string(rows) + " rows");
    }
    if (not_verified > 0) {
      check_.keys_not_verified += not_verified;
      Note(name, plan.name + ": " + std::to_string(not_verified) +
                     " keys not verified (text whose characters' keys are not known, or a type without keys)");
    }
    plan.rows.clear();
  }

  // Access's own row count lags behind its rows now and then (the samples
  // show it one or two rows off either way, with every index agreeing with
  // the rows). A count above the rows read is damage when pages that name
  // the table hold live rows its usage map no longer reaches, or when an
  // index of the table is found faulty; otherwise it is noted.
  void CheckRowCount(const TableDef& table, const std::vector<IndexPlan>& plans, uint64_t rows) {
    const std::string counts = "its definition counts " + std::to_string(table.row_count) + " rows, and " +
                               std::to_string(rows) + " live rows are read";
    if (table.row_count > static_cast<int64_t>(rows) && !stale_pages_.empty()) {
      std::string pages;
      for (uint32_t p : stale_pages_) pages += (pages.empty() ? "" : ", ") + std::to_string(p);
      Problem(table.name, table.entry.definition_page, -1,
              counts + "; pages " + pages + " hold rows of the table that its usage map does not reach");
      return;
    }
    const bool faulty = std::any_of(check_.problems.begin(), check_.problems.end(),
                                    [&](const CheckFinding& f) { return f.table == table.name; });
    if (faulty) {
      Problem(table.name, table.entry.definition_page, -1, counts);
      return;
    }
    bool vouched = !plans.empty();
    for (const IndexPlan& plan : plans) vouched &= plan.usable;
    Note(table.name, counts + (vouched ? ", as every index of the table holds" : "") +
                         ": Access does not always bring the count up to date");
  }

  // Every row of a table that an enforced relation refers from has a row
  // with the same values in the table it refers to.
  void CheckRelations(const std::map<int32_t, std::string>& tables) {
    int32_t relations_page = -1;
    std::map<std::string, int32_t> by_name;
    for (const auto& [page, name] : tables) {
      by_name[name] = page;
      if (name == "MSysRelationships") relations_page = page;
    }
    if (relations_page < 0) return;
    TableDefPtr table = OpenTable(handle_, "MSysRelationships", kCatalogTable, relations_page);
    if (!table) return;
    struct Relation {
      std::string name, from, to;
      int64_t flags = 0;
      std::vector<std::pair<std::string, std::string>> fields;  // from column, to column
    };
    std::vector<Relation> relations;
    {
      enum { kRelationship, kObject, kReferencedObject, kColumn, kReferencedColumn, kFlags };
      const SystemColumns columns(
          *table, {"szRelationship", "szObject", "szReferencedObject", "szColumn", "szReferencedColumn", "grbit"});
      RowCursor cursor(*table);
      Row row;
      while (cursor.Next(row)) {
        const std::string name = columns.Text(row, kRelationship);
        const std::string from = columns.Text(row, kObject);
        const std::string to = columns.Text(row, kReferencedObject);
        auto it = std::find_if(relations.begin(), relations.end(),
                               [&](const Relation& r) { return r.name == name && r.from == from && r.to == to; });
        if (it == relations.end()) {
          relations.push_back(Relation{name, from, to, columns.Integer(row, kFlags).value_or(0), {}});
          it = relations.end() - 1;
        }
        it->fields.emplace_back(columns.Text(row, kColumn), columns.Text(row, kReferencedColumn));
      }
    }
    for (const Relation& relation : relations) {
      if ((relation.flags & kRelationNotEnforced) != 0) continue;
      if (by_name.count(relation.from) == 0 || by_name.count(relation.to) == 0) {
        Note("", "relation " + relation.name + " joins a table that is not in this file (" + relation.from + ", " +
                     relation.to + ")");
        continue;
      }
      CheckRelation(relation.name, relation.from, by_name[relation.from], relation.to, by_name[relation.to],
                    relation.fields);
    }
  }

  void CheckRelation(const std::string& name, const std::string& from, int32_t from_page, const std::string& to,
                     int32_t to_page, const std::vector<std::pair<std::string, std::string>>& fields) {
    TableDefPtr source = OpenTable(handle_, from, kCatalogTable, from_page);
    TableDefPtr target = OpenTable(handle_, to, kCatalogTable, to_page);
    if (!source || !target) return;
    std::vector<size_t> source_columns, target_columns;
    std::vector<KeyColumn> key;
    for (const auto& [from_column, to_column] : fields) {
      const std::optional<size_t> a = source->ColumnIndex(from_column);
      const std::optional<size_t> b = target->ColumnIndex(to_column);
      if (!a || !b) {
        Problem(from, from_page, -1, "relation " + name + " names a column its tables lack (" + from_column + ", " +
                                         to_column + ")");
        return;
      }
      source_columns.push_back(*a);
      target_columns.push_back(*b);
      key.push_back(KeyColumn{target->columns[*b].type, false, sort_order_});
    }
    ++check_.relations;
    // A file may hold many relations over the same columns of the same
    // tables (a thousand between two tables took seconds): each table's keys
    // are read once, and a relation the same as one checked before takes its
    // outcome. Only what was read without damage is kept: damage is reported
    // at each reading, as before.
    std::string signature = std::to_string(to_page);
    for (size_t c : target_columns) signature += "," + std::to_string(c);
    for (const KeyColumn& column : key) signature += ":" + std::to_string(column.type);
    const std::vector<uint64_t>& present = ReferencedKeys(*target, target_columns, key, signature);
    signature += "<" + std::to_string(from_page);
    for (size_t c : source_columns) signature += "," + std::to_string(c);
    if (const auto known = outcomes_.find(signature); known != outcomes_.end()) {
      for (const MissingReference& row : known->second.missing) ReportMissing(row, name, from, to);
      ReportNotVerified(known->second.not_verified, name, from);
      return;
    }
    const size_t problems_before = check_.problems.size();
    RelationOutcome outcome = Refer(*source, source_columns, key, present, name, from, to);
    ReportNotVerified(outcome.not_verified, name, from);
    if (check_.problems.size() == problems_before + outcome.missing.size() &&
        kept_outcome_rows_ + outcome.missing.size() <= kMaxOutcomeRows) {
      kept_outcome_rows_ += outcome.missing.size();
      outcomes_.emplace(std::move(signature), std::move(outcome));
    }
  }

  struct MissingReference {
    int64_t page = 0;
    int slot = 0;
    std::string shown;
  };
  struct RelationOutcome {
    std::vector<MissingReference> missing;
    uint64_t not_verified = 0;
  };

  void ReportMissing(const MissingReference& row, const std::string& name, const std::string& from,
                     const std::string& to) {
    Problem(from, row.page, row.slot,
            "relation " + name + ": no row of " + to + " holds " + row.shown + ", which this row refers to");
  }
  void ReportNotVerified(uint64_t rows, const std::string& name, const std::string& from) {
    if (rows > 0) Note(from, "relation " + name + ": " + std::to_string(rows) + " rows not verified");
  }

  // The sorted hashes of the keys of `table`'s rows over `columns`.
  std::vector<uint64_t> ReadKeys(TableDef& table, const std::vector<size_t>& columns,
                                 const std::vector<KeyColumn>& key) {
    std::vector<uint64_t> hashes;
    std::vector<const Value*> values;
    Row row;
    RowCursor cursor(table);
    while (cursor.Next(row)) {
      values.clear();
      for (size_t c : columns) values.push_back(&row.values[c]);
      const EncodedKey made = EncodeKey(key, values);
      if (made.ok()) hashes.push_back(Fnv(made.bytes));
    }
    std::sort(hashes.begin(), hashes.end());
    hashes.erase(std::unique(hashes.begin(), hashes.end()), hashes.end());
    return hashes;
  }

  // The keys of the referenced table read before under `signature`, or read
  // now (and kept when that met no damage and they fit what is kept).
  const std::vector<uint64_t>& ReferencedKeys(TableDef& table, const std::vector<size_t>& columns,
                                              const std::vector<KeyColumn>& key, const std::string& signature) {
    for (const auto& [kept_signature, hashes] : referenced_) {
      if (kept_signature == signature) return hashes;
    }
    const size_t problems_before = check_.problems.size();
    std::vector<uint64_t> hashes = ReadKeys(table, columns, key);
    if (check_.problems.size() != problems_before || hashes.size() > kMaxKeptKeys) {
      last_read_ = std::move(hashes);
      return last_read_;
    }
    while (!referenced_.empty() && kept_keys_ + hashes.size() > kMaxKeptKeys) {
      kept_keys_ -= referenced_.front().second.size();
      referenced_.pop_front();
    }
    kept_keys_ += hashes.size();
    referenced_.emplace_back(signature, std::move(hashes));
    return referenced_.back().second;
  }

  // The rows of `source` whose key has no partner, each reported as found.
  RelationOutcome Refer(TableDef& source, const std::vector<size_t>& columns, const std::vector<KeyColumn>& key,
                        const std::vector<uint64_t>& present, const std::string& name, const std::string& from,
                        const std::string& to) {
    RelationOutcome outcome;
    std::vector<const Value*> values;
    Row row;
    RowCursor cursor(source);
    while (cursor.Next(row)) {
      values.clear();
      bool any_null = false;
      for (size_t c : columns) {
        values.push_back(&row.values[c]);
        any_null |= row.values[c].IsNull();
      }
      if (any_null) continue;
      const EncodedKey made = EncodeKey(key, values);
      if (!made.ok()) {
        ++outcome.not_verified;
        continue;
      }
      if (!std::binary_search(present.begin(), present.end(), Fnv(made.bytes))) {
        std::string shown;
        for (const Value* v : values) shown += (shown.empty() ? "" : ", ") + RenderValue(*v);
        outcome.missing.push_back(MissingReference{row.page, row.slot, std::move(shown)});
        ReportMissing(outcome.missing.back(), name, from, to);
      }
    }
    return outcome;
  }

  // Bounds on what the relations' check keeps between relations: the hashes
  // of referenced keys (8 bytes each), and the rows the kept outcomes name.
  static constexpr size_t kMaxKeptKeys = size_t{2} << 20;
  static constexpr size_t kMaxOutcomeRows = 20000;
  std::deque<std::pair<std::string, std::vector<uint64_t>>> referenced_;
  size_t kept_keys_ = 0;
  std::vector<uint64_t> last_read_;
  std::map<std::string, RelationOutcome> outcomes_;
  size_t kept_outcome_rows_ = 0;

  static constexpr uint64_t kMaxMissingNamed = 20;

  JetHandle& handle_;
  FileCheck check_;
  Findings findings_;
  CatalogObjects catalog_;
  TextSortOrder sort_order_ = TextSortOrder::kOther;
  std::vector<uint32_t> stale_pages_;
};

}  // namespace

FileCheck CheckFile(JetHandle& handle) { return Checker(handle).Run(); }

std::string FindingText(const CheckFinding& finding) {
  std::string text = finding.table;
  if (finding.page >= 0) text += (text.empty() ? "page " : ", page ") + std::to_string(finding.page);
  if (finding.row >= 0) text += ", row " + std::to_string(finding.row);
  return text.empty() ? finding.detail : text + ": " + finding.detail;
}

}  // namespace mendora
