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
  session.SourcePath = name;
  session.RecoverDeletedRows = deleted_rows;
  session.losses = mendora::LossAccount(nullptr);
  session.outputs.push_back(&outcome.sink);
  outcome.outcome = mendora::RunRecovery(session).outcome;
  outcome.losses = session.losses.count() + session.losses.TablesWithLosses();
  fs::remove(name);
  return outcome;
}

std::string Cell(const std::optional<std::string>& value) { return value ? "v" + *value : std::string("null"); }

// A row as its values in column order, under its table's name.
std::string NamedKey(const std::string& table, const std::vector<std::optional<std::string>>& row) {
  std::string key = table;
  for (const auto& value : row) key += '\x1f' + Cell(value);
  return key;
}

// A row as the multiset of its values: neither its table nor the order of
// its columns.
std::string ContentKey(const std::vector<std::optional<std::string>>& row) {
  std::vector<std::string> cells;
  for (const auto& value : row) cells.push_back(Cell(value));
  std::sort(cells.begin(), cells.end());
  std::string key;
  for (const std::string& cell : cells) key += cell + '\x1f';
  return key;
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

void Print(const char* label, const Tally& tally, const char* against) {
  std::printf("(%s) %3d files: %lld of %lld %s rows recovered (%.1f%%); passes not completed: %d; files losing rows "
              "with an empty loss account: %d\n",
              label, tally.files, static_cast<long long>(tally.recovered), static_cast<long long>(tally.truth), against,
              tally.truth == 0 ? 100.0 : 100.0 * static_cast<double>(tally.recovered) / static_cast<double>(tally.truth),
              tally.failed, tally.silent);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> folders;
  unsigned seed = 20261207;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--seed" && i + 1 < argc) {
      seed = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
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
  Tally a, b, c, d, e;
  int64_t named = 0, nameable = 0, e_false = 0;
  for (const fs::path& path : samples) {
    std::ifstream in(path, std::ios::binary);
    const Bytes original((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const Outcome truth = Analyse(original, false);
    if (truth.outcome != mendora::PassOutcome::kCompleted) continue;  // needs a password, or none to compare
    std::multiset<std::string> by_name;
    std::multiset<std::string> by_content;
    std::map<uint32_t, int64_t> rows_by_page;
    std::map<std::string, std::set<std::string>> columns_of;
    for (const auto& [name, table] : truth.sink.tables) {
      for (size_t r = 0; r < table.rows.size(); ++r) {
        by_name.insert(NamedKey(name, table.rows[r]));
        by_content.insert(ContentKey(table.rows[r]));
        ++rows_by_page[table.typed_rows[r].page];
      }
    }
    const int64_t rows = static_cast<int64_t>(by_name.size());
    const auto score = [&](Tally& tally, const Outcome& found, bool content, int64_t limit) {
      std::multiset<std::string> keys;
      for (const auto& [name, table] : found.sink.tables) {
        for (const auto& row : table.rows) keys.insert(content ? ContentKey(row) : NamedKey(name, row));
      }
      const int64_t matched = Matched(content ? by_content : by_name, keys);
      ++tally.files;
      tally.truth += limit;
      tally.recovered += matched;
      if (found.outcome != mendora::PassOutcome::kCompleted && found.outcome != mendora::PassOutcome::kNothingRecovered) {
        ++tally.failed;
      }
      if (matched < rows && found.losses == 0 && found.outcome == mendora::PassOutcome::kCompleted) ++tally.silent;
      return matched;
    };

    const Outcome damaged_a = Analyse(CatalogZeroed(original), false);
    score(a, damaged_a, true, rows);
    // Names: tables that take part in a relation, recovered under their own name.
    for (const mendora::OutputRelation& relation : truth.sink.relations) {
      for (const std::string& table : {relation.table, relation.foreign_table}) columns_of[table];
    }
    for (const auto& [table, unused] : columns_of) {
      ++nameable;
      named += damaged_a.sink.tables.count(table) != 0 ? 1 : 0;
    }
    const Outcome damaged_b = Analyse(DefinitionsZeroed(original), false);
    score(b, damaged_b, true, rows);

    std::set<uint32_t> zeroed;
    const Bytes copy_c = PagesZeroed(original, random, zeroed);
    int64_t surviving = 0;
    for (const auto& [page, count] : rows_by_page) surviving += zeroed.count(page) == 0 ? count : 0;
    score(c, Analyse(copy_c, false), false, surviving);

    const uint32_t size = PageSize(original);
    const size_t cut = original.size() * 9 / 10;
    const Bytes copy_d(original.begin(), original.begin() + static_cast<std::ptrdiff_t>(cut));
    int64_t before_cut = 0;
    for (const auto& [page, count] : rows_by_page) before_cut += (size_t{page} + 1) * size <= cut ? count : 0;
    score(d, Analyse(copy_d, false), false, before_cut);

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
      ++e.files;
      e.truth += static_cast<int64_t>(rebuilt->deleted.size());
      e.recovered += matched;
      e_false += static_cast<int64_t>(keys.size()) - matched;
      if (found.outcome != mendora::PassOutcome::kCompleted) ++e.failed;
    }
    std::printf("%-36s rows %6lld  a %6lld  b %6lld\n", path.filename().c_str(), static_cast<long long>(rows),
                static_cast<long long>(Matched(by_content, [&] {
                  std::multiset<std::string> k;
                  for (const auto& [n, t] : damaged_a.sink.tables)
                    for (const auto& row : t.rows) k.insert(ContentKey(row));
                  return k;
                }())),
                static_cast<long long>(Matched(by_content, [&] {
                  std::multiset<std::string> k;
                  for (const auto& [n, t] : damaged_b.sink.tables)
                    for (const auto& row : t.rows) k.insert(ContentKey(row));
                  return k;
                }())));
    std::fflush(stdout);
  }
  std::printf("\nseed %u\n", seed);
  Print("a", a, "undamaged");
  std::printf("    tables in a relation recovered under their name: %lld of %lld\n", static_cast<long long>(named),
              static_cast<long long>(nameable));
  Print("b", b, "undamaged");
  Print("c", c, "surviving-page");
  Print("d", d, "surviving-page");
  Print("e", e, "deleted");
  std::printf("    recovered deleted rows that were never deleted: %lld\n", static_cast<long long>(e_false));
  return 0;
}
