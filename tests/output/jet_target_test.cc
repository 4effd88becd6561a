// The Access target: every sample written as a new Jet 4 file and read back
// (tables, rows, keys, indexes, properties, relations, queries), its index
// trees walked entry by entry against the rows, a copied table's definition
// against the sample's, and damaged sources and damaged written files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>

#include "output/targets.h"
#include "reader/index_def.h"
#include "reader/index_key.h"
#include "reader/index_pages.h"
#include "reader/jet_handle.h"
#include "reader/row_cursor.h"
#include "reader/table_def.h"
#include "reader/value_render.h"
#include "recovery/file_check.h"
#include "recovery/recovery_session.h"
#include "tests/support/corpus.h"

namespace mendora {
namespace {

namespace fs = std::filesystem;

// What a pass offered its outputs, whole.
struct Recorded {
  std::vector<OutputTable> tables;
  std::map<std::string, std::vector<std::vector<std::string>>> rows;
  std::vector<OutputRelation> relations;
  std::map<std::string, std::string> queries;
};

class Recorder : public RecoveryOutput {
 public:
  explicit Recorder(Recorded& out) : out_(out) {}
  void BeginTable(const OutputTable& table) override {
    out_.tables.push_back(table);
    rows_ = &out_.rows[table.name];
  }
  void AddRow(const Row& row) override {
    std::vector<std::string> rendered;
    for (const Value& value : row.values) rendered.push_back(value.IsNull() ? "<null>" : RenderValue(value));
    rows_->push_back(std::move(rendered));
  }
  void EndTable(int64_t) override {}
  void AddRelation(const OutputRelation& relation) override { out_.relations.push_back(relation); }
  void AddQuery(const std::string& name, const std::string& sql) override { out_.queries[name] = sql; }

 private:
  Recorded& out_;
  std::vector<std::vector<std::string>>* rows_ = nullptr;
};

Recorded Read(const std::string& path) {
  Recorded recorded;
  Recorder recorder(recorded);
  RecoverySession session;
  session.SourcePath = path;
  session.ReadSchema = true;
  session.outputs.push_back(&recorder);
  session.losses.SetDetails(nullptr);
  const PassResult result = RunRecovery(session);
  EXPECT_EQ(result.outcome, PassOutcome::kCompleted) << path << ": " << result.message;
  return recorded;
}

struct Saved {
  PassResult result;
  LossAccount losses{nullptr};
  std::vector<std::string> lines;
};

Saved Save(const std::string& source, const std::string& target, SaveFormat format, bool deleted = false) {
  RecoverySession session;
  session.SourcePath = source;
  session.RunMode = 1;
  session.TargetPath = target;
  session.ReplaceExisting = true;
  session.RecoverDeletedRows = deleted;
  session.MakeTarget = MakeTargetFactory(format);
  session.losses.SetDetails(nullptr);
  Saved saved;
  saved.result = RunRecovery(session);
  saved.lines = session.losses.lines();
  return saved;
}

class ScratchDir {
 public:
  ScratchDir() {
    char name[] = "/tmp/mendora-jet-XXXXXX";
    path_ = mkdtemp(name);
  }
  ~ScratchDir() { fs::remove_all(path_); }
  std::string File(const std::string& name) const { return (fs::path(path_) / name).string(); }

 private:
  std::string path_;
};

bool IsSystemName(const std::string& name) { return name.rfind("MSys", 0) == 0; }

// Columns the target stores in another type (BigInt, extended dates,
// complex columns): their values differ in form, and are compared by the
// SQLite-side tests of those conversions.
bool Converted(const OutputColumn& column) {
  return column.type == kColumnBigInt || column.type == kColumnExtendedDateTime || column.complex_kind != 0 ||
         column.type == kColumnComplex || (column.calculated && column.type == kColumnNumeric);
}

const OutputTable* Find(const Recorded& r, const std::string& name) {
  for (const OutputTable& table : r.tables) {
    if (table.name == name) return &table;
  }
  return nullptr;
}

std::string Describe(const OutputIndex& index) {
  std::string text = index.name + (index.primary ? " primary" : "") + (index.unique ? " unique" : "") +
                     (index.ignore_nulls ? " ignore-nulls" : "") + (index.foreign_key ? " relation" : "") + ":";
  for (const OutputIndexColumn& column : index.columns) text += " " + column.name + (column.descending ? " desc" : "");
  return text;
}

std::vector<fs::path> AllSamples() {
  std::vector<fs::path> files = testing::CorpusFiles();
  for (const fs::path& file : testing::AceCorpusFiles()) files.push_back(file);
  if (const std::optional<fs::path> objects = testing::ObjectsCorpusDir()) {
    std::vector<fs::path> more;
    for (const auto& entry : fs::directory_iterator(*objects)) {
      if (entry.path().extension() == ".mdb" || entry.path().extension() == ".accdb") more.push_back(entry.path());
    }
    std::sort(more.begin(), more.end());
    files.insert(files.end(), more.begin(), more.end());
  }
  return files;
}

// The checker's problems with the file at `path`, one a line; empty when
// it calls the file sound.
std::string CheckProblems(const std::string& path) {
  std::string error;
  JetHandlePtr handle = OpenJetHandle(path, &error);
  if (!handle) return "not opened: " + error;
  const FileCheck check = CheckFile(*handle);
  std::string text;
  for (const CheckFinding& finding : check.problems) text += FindingText(finding) + "\n";
  return text;
}

// `name` with each character whose key is not known as '_'.
std::string KnownKeysOnly(const std::string& name) {
  std::string out;
  for (size_t i = 0; i < name.size();) {
    const auto lead = static_cast<uint8_t>(name[i]);
    const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    const std::string character = name.substr(i, length);
    out += TextKeyKnown(TextSortOrder::kJet4General, character) ? character : "_";
    i += length;
  }
  return out;
}

class EverySample : public ::testing::TestWithParam<fs::path> {};

// Written as .mdb, read back: the same tables, columns, rows and values; the
// same indexes (those whose keys are known), AutoNumber, Required and
// defaults, properties, relations with their rules, queries with their SQL.
TEST_P(EverySample, ReadsBackAsTheSource) {
  const fs::path source = GetParam();
  ScratchDir dir;
  const std::string target = dir.File("out.mdb");
  const Saved saved = Save(source.string(), target, SaveFormat::kAccess);
  ASSERT_EQ(saved.result.outcome, PassOutcome::kCompleted) << saved.result.message;
  EXPECT_EQ(CheckProblems(target), "");
  const Recorded before = Read(source.string());
  const Recorded after = Read(target);
  std::set<std::string> left_out;
  for (const std::string& line : saved.lines) {
    if (line.rfind("index ", 0) == 0) left_out.insert(line.substr(6, line.find(" of ") - 6));
  }

  for (const OutputTable& table : before.tables) {
    if (IsSystemName(table.name)) continue;
    SCOPED_TRACE(table.name);
    const OutputTable* written = Find(after, table.name);
    ASSERT_NE(written, nullptr) << "table missing";
    std::vector<size_t> compared;
    size_t w = 0;
    for (size_t i = 0; i < table.columns.size(); ++i) {
      const OutputColumn& column = table.columns[i];
      if (column.complex_kind != 0 || column.type == kColumnComplex) continue;
      ASSERT_LT(w, written->columns.size());
      const OutputColumn& got = written->columns[w++];
      EXPECT_EQ(got.name, column.name);
      EXPECT_EQ(got.required, column.required) << column.name;
      EXPECT_EQ(got.default_value, column.default_value) << column.name;
      if (Converted(column)) continue;
      EXPECT_EQ(got.type, column.type) << column.name;
      EXPECT_EQ(got.autonumber, column.autonumber) << column.name;
      if (column.type == kColumnText && column.text_length > 0) EXPECT_EQ(got.text_length, column.text_length);
      compared.push_back(i);
    }
    const auto& rows_before = before.rows.at(table.name);
    const auto& rows_after = after.rows.at(table.name);
    ASSERT_EQ(rows_after.size(), rows_before.size());
    for (size_t r = 0; r < rows_before.size(); ++r) {
      size_t k = 0;
      for (size_t i = 0; i < table.columns.size(); ++i) {
        if (table.columns[i].complex_kind != 0 || table.columns[i].type == kColumnComplex) continue;
        const size_t at = k++;
        if (std::find(compared.begin(), compared.end(), i) == compared.end()) continue;
        ASSERT_EQ(rows_after[r][at], rows_before[r][i]) << "row " << r << ", column " << table.columns[i].name;
      }
    }
    std::set<std::string> indexes_before, indexes_after;
    for (const OutputIndex& index : table.indexes) {
      if (left_out.count(index.name) == 0 && !index.foreign_key) indexes_before.insert(Describe(index));
    }
    for (const OutputIndex& index : written->indexes) {
      if (!index.foreign_key) indexes_after.insert(Describe(index));
    }
    // Indexes over complex columns have no place in the parent.
    for (auto it = indexes_before.begin(); it != indexes_before.end();) {
      bool complex = false;
      for (const OutputColumn& column : table.columns) {
        if ((column.complex_kind != 0 || column.type == kColumnComplex) && it->find(" " + column.name) != std::string::npos) complex = true;
      }
      it = complex ? indexes_before.erase(it) : std::next(it);
    }
    EXPECT_EQ(indexes_after, indexes_before);
    std::set<std::string> properties_before, properties_after;
    for (const OutputProperty& p : table.properties) {
      const bool of_complex = std::any_of(table.columns.begin(), table.columns.end(), [&](const OutputColumn& c) {
        return c.name == p.column && (c.complex_kind != 0 || c.type == kColumnComplex);
      });
      if (!of_complex) properties_before.insert(p.column + "." + p.name + "=" + RenderValue(p.value));
    }
    for (const OutputProperty& p : written->properties) properties_after.insert(p.column + "." + p.name + "=" + RenderValue(p.value));
    EXPECT_EQ(properties_after, properties_before);
  }
  std::set<std::string> relations_before, relations_after;
  // A relation's name with a character whose key is not known is saved
  // with '_' in its place (the catalog indexes names).
  const auto describe = [](const OutputRelation& r) {
    const std::string name = TextKeyKnown(TextSortOrder::kJet4General, r.name) ? r.name : "(renamed)";
    std::string text = (name.find('_') == std::string::npos ? name : "(renamed)") + ": " + r.table + " <- " + r.foreign_table + " flags " + std::to_string(r.flags & ~2);
    for (const RelationField& f : r.fields) text += " " + f.field + "=" + f.foreign_field;
    return text;
  };
  for (const OutputRelation& r : before.relations) {
    if (!IsSystemName(r.table) && !IsSystemName(r.foreign_table) && Find(before, r.table) && Find(before, r.foreign_table)) {
      relations_before.insert(describe(r));
    }
  }
  for (const OutputRelation& r : after.relations) relations_after.insert(describe(r));
  EXPECT_EQ(relations_after, relations_before);
  // A query whose name has a character of unknown key is saved with '_' in
  // its place; the queries that use it name it so, under its old name as
  // an alias, and read back as the source's SQL once that is undone.
  std::map<std::string, std::string> renamed;
  for (const auto& [name, sql] : before.queries) {
    if (const std::string saved = KnownKeysOnly(name); saved != name) renamed[saved] = name;
  }
  std::map<std::string, std::string> queries_after;
  for (auto [name, sql] : after.queries) {
    for (const auto& [saved, old] : renamed) {
      const std::string aliased = "[" + saved + "] AS [" + old + "]";
      for (size_t at; (at = sql.find(aliased)) != std::string::npos;) sql.replace(at, aliased.size(), "[" + old + "]");
    }
    const auto old = renamed.find(name);
    queries_after[old != renamed.end() ? old->second : name] = sql;
  }
  EXPECT_EQ(queries_after, before.queries);
}

INSTANTIATE_TEST_SUITE_P(Samples, EverySample, ::testing::ValuesIn(AllSamples()),
                         [](const ::testing::TestParamInfo<fs::path>& info) {
                           std::string name = info.param.stem().string();
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(EverySample);

// Every real index of every table of a written file, walked from its root:
// a sound tree whose leaves hold, in order, exactly one entry per row, each
// pointing at a row whose values make its key.
void ExpectSoundIndexes(const std::string& path) {
  const bool opened = OpenJetFile(path, [&](JetHandle& handle) {
    ReadPage(handle, 2);
    std::vector<std::pair<std::string, int32_t>> tables;
    {
      // The catalog's rows name every table and its definition page.
      TableDefPtr catalog = OpenTable(handle, "MSysObjects", 1, 2);
      ASSERT_NE(catalog, nullptr);
      const auto id = catalog->ColumnIndex("Id");
      const auto name = catalog->ColumnIndex("Name");
      const auto type = catalog->ColumnIndex("Type");
      RowCursor cursor(*catalog);
      Row row;
      while (cursor.Next(row)) {
        if (row.values[*type].integer == 1) {
          tables.emplace_back(row.values[*name].bytes, static_cast<int32_t>(row.values[*id].integer & 0xFFFFFF));
        }
      }
    }
    ASSERT_GE(tables.size(), 4u);
    for (const auto& [name, page] : tables) {
      SCOPED_TRACE(path + ": " + name);
      TableDefPtr table = OpenTable(handle, name, 1, page);
      ASSERT_NE(table, nullptr);
      std::string problem;
      const std::optional<IndexDefinition> indexes = ReadIndexes(*table, &problem);
      ASSERT_TRUE(indexes) << problem;
      std::map<std::pair<uint32_t, uint8_t>, Row> rows;
      {
        RowCursor cursor(*table);
        Row row;
        while (cursor.Next(row)) rows[{row.page, static_cast<uint8_t>(row.slot)}] = row;
      }
      for (const RealIndex& real : indexes->real) {
        std::vector<KeyColumn> key_columns;
        std::vector<size_t> places;
        for (const IndexColumn& c : real.columns) {
          for (size_t i = 0; i < table->columns.size(); ++i) {
            if (table->columns[i].column_number == c.column_number) {
              key_columns.push_back(KeyColumn{table->columns[i].type, c.descending, TextSortOrder::kJet4General});
              places.push_back(i);
            }
          }
        }
        std::set<std::pair<uint32_t, uint8_t>> seen;
        const IndexWalkResult walk = WalkIndex(handle, real.root_page, static_cast<uint32_t>(page),
                                               [&](const IndexPage&, const IndexEntry& entry) {
          const auto at = std::make_pair(entry.data_page, entry.data_row);
          EXPECT_TRUE(seen.insert(at).second) << "a row twice";
          auto row = rows.find(at);
          ASSERT_NE(row, rows.end()) << "an entry for no row";
          std::vector<const Value*> values;
          for (size_t p : places) values.push_back(&row->second.values[p]);
          const EncodedKey key = EncodeKey(key_columns, values);
          ASSERT_TRUE(key.ok());
          EXPECT_EQ(key.bytes, entry.key);
        });
        EXPECT_TRUE(walk.problems.empty()) << walk.problems.front().detail << " (page " << walk.problems.front().page << ")";
        EXPECT_EQ(seen.size(), rows.size());
      }
    }
  });
  ASSERT_TRUE(opened) << path;
}

TEST(JetTarget, WrittenIndexesHoldEveryRowInKeyOrder) {
  const std::optional<fs::path> corpus = testing::CorpusDir();
  if (!corpus) GTEST_SKIP() << "the sample folder is absent";
  ScratchDir dir;
  for (const char* sample : {"jet4-northwind.mdb", "jet4-index-properties.mdb", "jet4-compound-index.mdb", "jet3-indexes.mdb"}) {
    const std::string target = dir.File(std::string(sample) + ".mdb");
    ASSERT_EQ(Save((*corpus / sample).string(), target, SaveFormat::kAccess).result.outcome, PassOutcome::kCompleted);
    ExpectSoundIndexes(target);
  }
}

// A copy of `source` with a seeded tenth of its pages (past the first
// three) zeroed.
std::string DamagedCopy(const std::string& source, const std::string& target, unsigned seed) {
  std::ifstream in(source, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::mt19937 random(seed);
  const size_t pages = bytes.size() / 4096;
  for (size_t k = 0; k < pages / 10 + 1; ++k) {
    const size_t page = 3 + random() % (pages - 3);
    std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(page * 4096), 4096, '\0');
  }
  std::ofstream(target, std::ios::binary) << bytes;
  return target;
}

int64_t RowsIn(const Recorded& r) {
  int64_t n = 0;
  for (const auto& [name, rows] : r.rows) n += IsSystemName(name) ? 0 : static_cast<int64_t>(rows.size());
  return n;
}

// Whatever the SQLite save recovers from a damaged file, the .mdb holds; and
// a written file, damaged in turn, is a source Mendora recovers again.
TEST(JetTarget, DamagedSourcesAndDamagedWrittenFiles) {
  const std::optional<fs::path> corpus = testing::CorpusDir();
  if (!corpus) GTEST_SKIP() << "the sample folder is absent";
  ScratchDir dir;
  for (const char* sample : {"jet4-rw-accounting.mdb", "jet3-rw-restaurant-stock.mdb", "jet4-rw-garage.mdb"}) {
    for (unsigned seed : {1u, 2u}) {
      SCOPED_TRACE(std::string(sample) + " seed " + std::to_string(seed));
      const std::string damaged = DamagedCopy((*corpus / sample).string(), dir.File("damaged.mdb"), seed);
      RecoverySession sqlite;
      sqlite.SourcePath = damaged;
      sqlite.RunMode = 1;
      sqlite.TargetPath = dir.File("out.sqlite");
      sqlite.ReplaceExisting = true;
      sqlite.MakeTarget = MakeTargetFactory(SaveFormat::kSqlite);
      sqlite.losses.SetDetails(nullptr);
      const PassResult sqlite_result = RunRecovery(sqlite);
      const std::string written = dir.File("out.mdb");
      const Saved access = Save(damaged, written, SaveFormat::kAccess);
      ASSERT_EQ(access.result.outcome, sqlite_result.outcome);
      if (access.result.outcome != PassOutcome::kCompleted) continue;
      const Recorded back = Read(written);
      EXPECT_EQ(RowsIn(back), sqlite.losses.RowsRecovered() - [&] {
        int64_t system = 0;
        for (const TableLosses& t : sqlite.losses.tables()) system += IsSystemName(t.name) ? t.rows_recovered : 0;
        return system;
      }());
      ExpectSoundIndexes(written);
      const std::string again = DamagedCopy(written, dir.File("again.mdb"), seed);
      RecoverySession reread;
      reread.SourcePath = again;
      reread.losses.SetDetails(nullptr);
      const PassResult result = RunRecovery(reread);
      EXPECT_TRUE(result.outcome == PassOutcome::kCompleted || result.outcome == PassOutcome::kNothingRecovered)
          << result.message;
    }
  }
}

}  // namespace
}  // namespace mendora
