// Measures of deep recovery over the sample files: damaged copies of every
// sample, made with a fixed seed, and the rows recovered from each scored by
// content against the undamaged file.
//
//   (a) every catalog data page zeroed
//   (b) every table definition page zeroed except the catalog's own
//   (c) 5% of the pages zeroed
//   (d) the file cut at 90%
//   (e) the sample's tables written again by the test builder with a tenth
//       of their rows deleted, recovered with deleted rows on
//
// A recovered row counts when all its values equal a row of the undamaged
// file. For (a) and (b) tables and columns are matched by content: a row is
// its values in any order, in any table.
//
//   mendora-deep-measures [CORPUS_DIR ...] [--seed N]
// CORPUS_DIR defaults to $MENDORA_CORPUS and $MENDORA_CORPUS_ACE.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "reader/column_types.h"
#include "recovery/recovery_session.h"
#include "tests/builder/jet_builder.h"
#include "tests/support/recording_sink.h"

namespace {

using mendora::RecoverySession;
using mendora::testing::RecordingSink;
using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;
namespace tb = mendora::testing;

struct Outcome {
  RecordingSink sink;
  mendora::PassOutcome outcome = mendora::PassOutcome::kCompleted;
  size_t losses = 0;
};

Outcome Analyse(const Bytes& bytes, bool deleted_rows) {
  char name[] = "/tmp/mendora-measure-XXXXXX";
  const int fd = mkstemp(name);
  close(fd);
  {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  Outcome outcome;
  RecoverySession session;
  session.options.source_path = name;
  session.options.recover_deleted_rows = deleted_rows;
  session.options.loss_details = nullptr;
  session.options.outputs.push_back(&outcome.sink);
  outcome.outcome = mendora::RunRecovery(session).outcome;
  outcome.losses = session.results.losses.count() + session.results.losses.TablesWithLosses();
  fs::remove(name);
  return outcome;
}

std::string Cell(const std::optional<std::string>& value) { return value ? "v" + *value : std::string("null"); }

// A value as the measures compare it: its text, and for a Yes/No its kind
// too (a true Yes/No and the number 1 render alike, and are not one value).
std::string TypedCell(const tb::RecordedTable& table, size_t row, size_t column) {
  const std::optional<std::string>& value = table.rows[row][column];
  if (value && column < table.columns.size() && table.columns[column].type == mendora::kColumnBoolean) {
    return "b" + *value;
  }
  return Cell(value);
}

// A row as its values in column order, under its table's name.
std::string NamedKey(const std::string& table, const std::vector<std::optional<std::string>>& row) {
  std::string key = table;
  for (const auto& value : row) key += '\x1f' + Cell(value);
  return key;
}

// A row as the sorted multiset of its values: neither its table nor the
// order of its columns.
using ContentRow = std::vector<std::string>;

ContentRow Content(const tb::RecordedTable& table, size_t row) {
  ContentRow cells;
  for (size_t c = 0; c < table.rows[row].size(); ++c) cells.push_back(TypedCell(table, row, c));
  std::sort(cells.begin(), cells.end());
  return cells;
}

// Rows of `truth` each of whose values are all in one row of `found` (which
// may hold more: columns deleted from the table, Yes/No bits no column
// explained), each row on either side matched once. Greedy: a found row
// takes the first unmatched true row it holds, looked up by that row's
// rarest value.
int64_t MatchedByContent(const std::vector<ContentRow>& truth, const std::vector<ContentRow>& found,
                         std::vector<bool>* matched_truth = nullptr) {
  std::map<std::string, size_t> frequency;
  for (const ContentRow& row : truth) {
    for (const std::string& cell : row) ++frequency[cell];
  }
  std::map<std::string, std::vector<size_t>> by_rarest;
  for (size_t r = 0; r < truth.size(); ++r) {
    if (truth[r].empty()) continue;
    const std::string* rarest = &truth[r][0];
    for (const std::string& cell : truth[r]) {
      if (frequency[cell] < frequency[*rarest]) rarest = &cell;
    }
    by_rarest[*rarest].push_back(r);
  }
  std::vector<bool> taken(truth.size(), false);
  int64_t matched = 0;
  for (const ContentRow& row : found) {
    bool done = false;
    for (size_t c = 0; c < row.size() && !done; ++c) {
      if (c > 0 && row[c] == row[c - 1]) continue;
      const auto candidates = by_rarest.find(row[c]);
      if (candidates == by_rarest.end()) continue;
      for (const size_t r : candidates->second) {
        if (taken[r] || !std::includes(row.begin(), row.end(), truth[r].begin(), truth[r].end())) continue;
        taken[r] = true;
        ++matched;
        done = true;
        break;
      }
    }
  }
  if (matched_truth != nullptr) *matched_truth = taken;
  return matched;
}

bool IsDeletedTable(const std::string& name) {
  return name.size() > 15 && name.compare(name.size() - 15, 15, " (deleted rows)") == 0;
}

// Rows of `found` that equal a row of `truth`, each truth row matched once.
int64_t Matched(const std::multiset<std::string>& truth, const std::multiset<std::string>& found) {
  std::multiset<std::string> left = truth;
  int64_t matched = 0;
  for (const std::string& key : found) {
    const auto at = left.find(key);
    if (at == left.end()) continue;
    left.erase(at);
    ++matched;
  }
  return matched;
}

uint32_t U32(const Bytes& file, size_t at) {
  return file[at] | file[at + 1] << 8 | file[at + 2] << 16 | static_cast<uint32_t>(file[at + 3]) << 24;
}

uint32_t PageSize(const Bytes& file) { return file.size() > 0x14 && file[0x14] == 0 ? 2048 : 4096; }

void Zero(Bytes& file, uint32_t page_size, uint32_t page) {
  std::fill(file.begin() + static_cast<std::ptrdiff_t>(page) * page_size,
            file.begin() + static_cast<std::ptrdiff_t>(page + 1) * page_size, 0);
}

Bytes CatalogZeroed(Bytes file) {
  const uint32_t size = PageSize(file);
  for (uint32_t p = 1; p < file.size() / size; ++p) {
    if (file[size_t{p} * size] == 0x01 && U32(file, size_t{p} * size + 4) == 2) Zero(file, size, p);
  }
  return file;
}

Bytes DefinitionsZeroed(Bytes file) {
  const uint32_t size = PageSize(file);
  const uint32_t pages = static_cast<uint32_t>(file.size() / size);
  std::set<uint32_t> catalog{2};
  for (uint32_t p = 2; catalog.size() < 64;) {
    const uint32_t next = U32(file, size_t{p} * size + 4);
    if (file[size_t{p} * size] != 0x02 || next == 0 || next >= pages || !catalog.insert(next).second) break;
    p = next;
  }
  for (uint32_t p = 1; p < pages; ++p) {
    if (file[size_t{p} * size] == 0x02 && catalog.count(p) == 0) Zero(file, size, p);
  }
  return file;
}

Bytes PagesZeroed(Bytes file, std::mt19937& random, std::set<uint32_t>& zeroed) {
  const uint32_t size = PageSize(file);
  const uint32_t pages = static_cast<uint32_t>(file.size() / size);
  std::vector<uint32_t> order;
  for (uint32_t p = 1; p < pages; ++p) order.push_back(p);
  std::shuffle(order.begin(), order.end(), random);
  order.resize(std::max<size_t>(1, pages / 20));
  for (const uint32_t p : order) {
    Zero(file, size, p);
    zeroed.insert(p);
  }
  return file;
}

struct Tally {
  int64_t truth = 0;      // rows of the undamaged files (or the limit)
  int64_t limit = 0;      // rows on pages that survive
  int64_t recovered = 0;  // rows equal to a true row
  int files = 0;
  int failed = 0;  // passes that crashed into an outcome other than completed
  int silent = 0;  // files that lost rows with nothing in the loss account
};

// The sample's tables as the builder writes them, with every tenth row (by
// the seed) deleted; columns of types the builder takes from values.
struct Rebuilt {
  Bytes file;
  std::multiset<std::string> deleted;
  std::multiset<std::string> live;
};

std::optional<tb::Value> BuilderValue(int type, const mendora::Value& value) {
  if (value.IsNull()) return tb::Value{};
  switch (type) {
    case mendora::kColumnBoolean:
      return tb::Value{value.integer != 0};
    case mendora::kColumnByte:
    case mendora::kColumnInteger:
    case mendora::kColumnLongInteger:
    case mendora::kColumnCurrency:
      return tb::Value{value.integer};
    case mendora::kColumnDouble:
    case mendora::kColumnDateTime:
      return tb::Value{value.real};
    case mendora::kColumnText:
    case mendora::kColumnMemo:
      return tb::Value{value.bytes};
    default:
      return std::nullopt;
  }
}

std::optional<Rebuilt> Rebuild(const RecordingSink& sink, bool jet4, std::mt19937& random) {
  Rebuilt rebuilt;
  tb::JetFileBuilder builder(jet4 ? tb::JetVersion::kJet4 : tb::JetVersion::kJet3);
  std::vector<std::pair<std::string, std::vector<size_t>>> kept_tables;
  int index = 0;
  for (const std::string& name : sink.order) {
    const tb::RecordedTable& recorded = sink.tables.at(name);
    if (recorded.typed_rows.empty() || IsDeletedTable(name)) continue;
    tb::Table table;
    table.name = "T" + std::to_string(++index);
    std::vector<size_t> kept;
    for (size_t c = 0; c < recorded.columns.size(); ++c) {
      const int type = recorded.columns[c].type;
      if (type == mendora::kColumnSingle || type == mendora::kColumnOle || type == mendora::kColumnBinary ||
          type == mendora::kColumnNumeric || type == mendora::kColumnReplicationId || type > mendora::kColumnNumeric ||
          recorded.columns[c].calculated) {
        continue;
      }
      kept.push_back(c);
      table.columns.push_back(tb::Column{"C" + std::to_string(c), type});
    }
    if (kept.empty()) continue;
    std::vector<std::vector<std::optional<std::string>>> rendered;
    for (size_t r = 0; r < recorded.typed_rows.size(); ++r) {
      tb::Row row;
      std::vector<std::optional<std::string>> cells;
      bool usable = true;
      for (const size_t c : kept) {
        const std::optional<tb::Value> value = BuilderValue(recorded.columns[c].type, recorded.typed_rows[r].values[c]);
        usable = usable && value.has_value();
        if (value) row.push_back(*value);
        cells.push_back(recorded.rows[r][c]);
      }
      if (!usable) continue;
      table.rows.push_back(std::move(row));
      rendered.push_back(std::move(cells));
    }
    for (size_t r = 0; r < table.rows.size(); ++r) {
      if (random() % 10 == 0) table.deleted_rows.push_back(r);
    }
    try {
      tb::JetFileBuilder trial(jet4 ? tb::JetVersion::kJet4 : tb::JetVersion::kJet3);
      trial.AddTable(table);
      builder.AddTable(table);
    } catch (const std::exception&) {
      continue;  // values the builder's column does not take (long text in a text column)
    }
    const std::set<size_t> deleted(table.deleted_rows.begin(), table.deleted_rows.end());
    for (size_t r = 0; r < rendered.size(); ++r) {
      (deleted.count(r) != 0 ? rebuilt.deleted : rebuilt.live).insert(NamedKey(table.name, rendered[r]));
    }
  }
  if (rebuilt.deleted.empty() && rebuilt.live.empty()) return std::nullopt;
  rebuilt.file = builder.Build();
  return rebuilt;
}

struct Measures {
  Tally a, b, c, d, e;
  int64_t named = 0;     // (a): tables in a relation recovered under their own name
  int64_t nameable = 0;
  int64_t e_false = 0;   // (e): recovered deleted rows that were never deleted

  void Add(const Measures& other) {
    for (auto [mine, theirs] : {std::pair{&a, &other.a}, {&b, &other.b}, {&c, &other.c}, {&d, &other.d},
                                {&e, &other.e}}) {
      mine->truth += theirs->truth;
      mine->limit += theirs->limit;
      mine->recovered += theirs->recovered;
      mine->files += theirs->files;
      mine->failed += theirs->failed;
      mine->silent += theirs->silent;
    }
    named += other.named;
    nameable += other.nameable;
    e_false += other.e_false;
  }
};

double Percent(int64_t part, int64_t whole) {
  return whole == 0 ? 100.0 : 100.0 * static_cast<double>(part) / static_cast<double>(whole);
}

void Print(const char* label, const Tally& tally, const char* against) {
  std::printf("(%s) %3d files: %lld of %lld %s rows recovered (%.1f%%); passes not completed: %d; files losing rows "
              "with an empty loss account: %d\n",
              label, tally.files, static_cast<long long>(tally.recovered), static_cast<long long>(tally.truth), against,
              Percent(tally.recovered, tally.truth), tally.failed, tally.silent);
}

void PrintGroup(const std::string& group, const Measures& m) {
  std::printf("\n%s\n", group.c_str());
  Print("a", m.a, "undamaged");
  std::printf("    tables in a relation recovered under their name: %lld of %lld\n", static_cast<long long>(m.named),
              static_cast<long long>(m.nameable));
  Print("b", m.b, "undamaged");
  Print("c", m.c, "surviving-page");
  Print("d", m.d, "surviving-page");
  Print("e", m.e, "deleted");
  std::printf("    recovered deleted rows that were never deleted: %lld\n", static_cast<long long>(m.e_false));
}

std::vector<ContentRow> ContentRows(const RecordingSink& sink, bool deleted_tables) {
  std::vector<ContentRow> rows;
  for (const auto& [name, table] : sink.tables) {
    if (!deleted_tables && IsDeletedTable(name)) continue;
    for (size_t r = 0; r < table.rows.size(); ++r) rows.push_back(Content(table, r));
  }
  return rows;
}

std::string Joined(const ContentRow& row) {
  std::string text;
  for (const std::string& cell : row) text += (text.empty() ? "" : " | ") + cell.substr(0, 40);
  return text;
}

// For tuning: each table of the undamaged file with the rows of it the
// damaged copy gave back, and the first row missed beside the recovered row
// that holds most of its values.
void Detail(const RecordingSink& truth, const RecordingSink& found) {
  const std::vector<ContentRow> found_rows = ContentRows(found, false);
  for (const auto& [name, table] : truth.tables) {
    std::vector<ContentRow> rows;
    for (size_t r = 0; r < table.rows.size(); ++r) rows.push_back(Content(table, r));
    std::vector<bool> matched;
    const int64_t count = MatchedByContent(rows, found_rows, &matched);
    if (count == static_cast<int64_t>(rows.size())) continue;
    std::printf("    %-30s %lld of %zu\n", name.c_str(), static_cast<long long>(count), rows.size());
    for (size_t r = 0; r < rows.size(); ++r) {
      if (matched[r]) continue;
      const ContentRow* best = nullptr;
      size_t best_common = 0;
      for (const ContentRow& candidate : found_rows) {
        ContentRow common;
        std::set_intersection(candidate.begin(), candidate.end(), rows[r].begin(), rows[r].end(),
                              std::back_inserter(common));
        if (common.size() > best_common) {
          best_common = common.size();
          best = &candidate;
        }
      }
      ContentRow missing;
      if (best != nullptr) {
        std::set_difference(rows[r].begin(), rows[r].end(), best->begin(), best->end(), std::back_inserter(missing));
      }
      std::printf("      missed: %s\n      closest lacks: %s\n", Joined(rows[r]).c_str(),
                  best == nullptr ? "(no row shares a value)" : Joined(missing).c_str());
      break;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> folders;
  unsigned seed = 20261207;
  bool detail = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--seed" && i + 1 < argc) {
      seed = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
    } else if (arg == "--detail") {
      detail = true;
    } else {
      folders.push_back(arg);
    }
  }
  if (folders.empty()) {
    for (const char* variable : {"MENDORA_CORPUS", "MENDORA_CORPUS_ACE"}) {
      if (const char* value = std::getenv(variable)) folders.push_back(value);
    }
  }
  std::vector<fs::path> samples;
  for (const std::string& folder : folders) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
      const std::string extension = entry.path().extension().string();
      if (extension == ".mdb" || extension == ".accdb") samples.push_back(entry.path());
    }
  }
  std::sort(samples.begin(), samples.end());
  if (samples.empty()) {
    std::fprintf(stderr, "no samples: give a folder or set MENDORA_CORPUS\n");
    return 2;
  }
  std::mt19937 random(seed);
  // Every sample counts in "all"; Jet files, real-world files (-rw-) and
  // Access 2007+ files also in a group of their own.
  std::map<std::string, Measures> groups;
  std::printf("%-36s %6s %6s %6s %6s %6s %6s\n", "sample", "rows", "(a)", "(b)", "(c)", "(d)", "(e)");
  for (const fs::path& path : samples) {
    std::ifstream in(path, std::ios::binary);
    const Bytes original((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const Outcome truth = Analyse(original, false);
    if (truth.outcome != mendora::PassOutcome::kCompleted) continue;  // needs a password, or none to compare
    std::multiset<std::string> by_name;
    std::map<uint32_t, int64_t> rows_by_page;
    for (const auto& [name, table] : truth.sink.tables) {
      for (size_t r = 0; r < table.rows.size(); ++r) {
        by_name.insert(NamedKey(name, table.rows[r]));
        ++rows_by_page[table.typed_rows[r].page];
      }
    }
    const std::vector<ContentRow> by_content = ContentRows(truth.sink, true);
    const int64_t rows = static_cast<int64_t>(by_name.size());
    Measures m;
    const auto score = [&](Tally& tally, const Outcome& found, bool content, int64_t limit) {
      int64_t matched = 0;
      if (content) {
        matched = MatchedByContent(by_content, ContentRows(found.sink, false));
      } else {
        std::multiset<std::string> keys;
        for (const auto& [name, table] : found.sink.tables) {
          for (const auto& row : table.rows) keys.insert(NamedKey(name, row));
        }
        matched = Matched(by_name, keys);
      }
      ++tally.files;
      tally.truth += limit;
      tally.recovered += matched;
      if (found.outcome != mendora::PassOutcome::kCompleted && found.outcome != mendora::PassOutcome::kNothingRecovered) {
        ++tally.failed;
      }
      if (matched < rows && found.losses == 0 && found.outcome == mendora::PassOutcome::kCompleted) ++tally.silent;
    };

    const Outcome damaged_a = Analyse(CatalogZeroed(original), false);
    score(m.a, damaged_a, true, rows);
    // Names: tables that take part in a relation, recovered under their own name.
    std::set<std::string> related;
    for (const mendora::OutputRelation& relation : truth.sink.relations) {
      related.insert(relation.table);
      related.insert(relation.foreign_table);
    }
    for (const std::string& table : related) {
      ++m.nameable;
      m.named += damaged_a.sink.tables.count(table) != 0 ? 1 : 0;
    }
    const Outcome damaged_b = Analyse(DefinitionsZeroed(original), false);
    score(m.b, damaged_b, true, rows);

    std::set<uint32_t> zeroed;
    const Bytes copy_c = PagesZeroed(original, random, zeroed);
    int64_t surviving = 0;
    for (const auto& [page, count] : rows_by_page) surviving += zeroed.count(page) == 0 ? count : 0;
    score(m.c, Analyse(copy_c, false), false, surviving);

    const uint32_t size = PageSize(original);
    const size_t cut = original.size() * 9 / 10;
    const Bytes copy_d(original.begin(), original.begin() + static_cast<std::ptrdiff_t>(cut));
    int64_t before_cut = 0;
    for (const auto& [page, count] : rows_by_page) before_cut += (size_t{page} + 1) * size <= cut ? count : 0;
    score(m.d, Analyse(copy_d, false), false, before_cut);

    const bool ace = path.extension() == ".accdb";
    const std::optional<Rebuilt> rebuilt =
        ace ? std::nullopt : Rebuild(truth.sink, original.size() > 0x14 && original[0x14] != 0, random);
    if (rebuilt && !rebuilt->deleted.empty()) {
      const Outcome found = Analyse(rebuilt->file, true);
      std::multiset<std::string> keys;
      for (const auto& [name, table] : found.sink.tables) {
        if (!IsDeletedTable(name)) continue;
        const std::string base = name.substr(0, name.size() - 15);
        for (const auto& row : table.rows) keys.insert(NamedKey(base, row));
      }
      const int64_t matched = Matched(rebuilt->deleted, keys);
      ++m.e.files;
      m.e.truth += static_cast<int64_t>(rebuilt->deleted.size());
      m.e.recovered += matched;
      m.e_false += static_cast<int64_t>(keys.size()) - matched;
      if (found.outcome != mendora::PassOutcome::kCompleted) ++m.e.failed;
    }
    const std::string file = path.filename().string();
    std::printf("%-36s %6lld %6lld %6lld %6lld %6lld %6s\n", file.c_str(), static_cast<long long>(rows),
                static_cast<long long>(m.a.recovered), static_cast<long long>(m.b.recovered),
                static_cast<long long>(m.c.recovered), static_cast<long long>(m.d.recovered),
                m.e.files == 0 ? "-"
                               : (std::to_string(m.e.recovered) + "/" + std::to_string(m.e.truth)).c_str());
    if (detail) Detail(truth.sink, damaged_b.sink);
    std::fflush(stdout);
    groups["all samples"].Add(m);
    if (ace) {
      groups["Access 2007+ samples"].Add(m);
    } else {
      groups["Jet samples"].Add(m);
      if (file.find("-rw-") != std::string::npos) groups["real-world Jet samples (-rw-)"].Add(m);
    }
  }
  std::printf("\nseed %u\n", seed);
  for (const auto& [group, measures] : groups) PrintGroup(group, measures);
  return 0;
}
