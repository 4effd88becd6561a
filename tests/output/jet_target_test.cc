// The Access target: every sample written as a new Jet 4 file and read back
// (tables, rows, keys, indexes, properties, relations, queries), its index
// trees walked entry by entry against the rows, a copied table's definition
// against the sample's, and damaged sources and damaged written files.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>

#include "output/common/target_error.h"
#include "output/jet/page_file.h"
#include "output/targets.h"
#include "reader/index_def.h"
#include "reader/index_key.h"
#include "reader/index_pages.h"
#include "reader/jet_format.h"
#include "reader/jet_handle.h"
#include "reader/row_cursor.h"
#include "reader/table_def.h"
#include "reader/value_render.h"
#include "recovery/file_check.h"
#include "recovery/loss_account.h"
#include "recovery/query_text.h"
#include "recovery/recovery_session.h"
#include "tests/builder/jet_builder.h"
#include "tests/support/corpus.h"
#include "tests/support/temp_database.h"

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
  session.options.source_path = path;
  session.options.read_schema = true;
  session.options.outputs.push_back(&recorder);
  session.options.loss_details = nullptr;
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
  session.options.source_path = source;
  session.options.mode = RunMode::kSave;
  session.options.target_path = target;
  session.options.replace_existing = true;
  session.options.recover_deleted_rows = deleted;
  session.options.make_target = MakeTargetFactory(format);
  session.options.loss_details = nullptr;
  Saved saved;
  saved.result = RunRecovery(session);
  saved.lines = session.results.losses.lines();
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

Value Int(int64_t n) {
  Value v;
  v.SetInteger(n);
  return v;
}

Value Text(const char* text) {
  Value v;
  v.kind = ValueKind::kText;
  v.bytes = text;
  return v;
}

Row ValuesRow(std::vector<Value> values) {
  Row row;
  row.values = std::move(values);
  return row;
}

// Writes `rows` as the only table of a new Access file at `target`, and
// gives back the save's account.
LossAccount SaveOneTable(const std::string& target, const OutputTable& table, const std::vector<Row>& rows) {
  LossAccount losses;
  std::unique_ptr<RecoveryOutput> out = MakeTargetFactory(SaveFormat::kAccess)(target, true);
  out->Attach(losses);
  out->BeginTable(table);
  for (const Row& row : rows) out->AddRow(row);
  out->EndTable(static_cast<int64_t>(rows.size()));
  out->Finish();
  out.reset();
  return losses;
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
          tables.emplace_back(row.values[*name].bytes, CatalogIdPage(row.values[*id].integer));
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

// A table whose name holds a character of unknown key is saved with '_' in
// its place; its relations still find it, and the file checks clean.
TEST(JetTarget, ARenamedTableKeepsItsRelations) {
  namespace tb = testing;
  tb::JetFileBuilder builder(tb::JetVersion::kJet4);
  tb::Table customers;
  customers.name = "Klienci";
  customers.columns = {{"ID", tb::kLong}, {"Name", tb::kText}};
  customers.rows = {{int64_t{1}, std::string("Anna")}, {int64_t{2}, std::string("Jan")}};
  tb::Table orders;
  orders.name = "Zamówień";
  orders.columns = {{"ID", tb::kLong}, {"Klient", tb::kLong}};
  orders.rows = {{int64_t{1}, int64_t{1}}, {int64_t{2}, int64_t{2}}};
  builder.AddTable(customers);
  builder.AddTable(orders);
  builder.AddRelationship({"KlienciZamowien", "Klienci", "ID", "Zamówień", "Klient"});
  tb::TempDatabase file(builder.Build());
  ScratchDir dir;
  const std::string target = dir.File("out.mdb");
  const Saved saved = Save(file.path(), target, SaveFormat::kAccess);
  ASSERT_EQ(saved.result.outcome, PassOutcome::kCompleted) << saved.result.message;
  // Saved, though not enforced: the builder's tables have no unique index.
  EXPECT_EQ(saved.lines, std::vector<std::string>{"Relation KlienciZamowien is saved without enforced integrity: Klienci has "
                                                  "no unique index over its fields"});
  const std::string renamed = KnownKeysOnly("Zamówień");
  ASSERT_NE(renamed, "Zamówień") << "the test needs a character of unknown key";
  const Recorded back = Read(target);
  ASSERT_EQ(back.relations.size(), 1u);
  EXPECT_EQ(back.relations[0].table, "Klienci");
  EXPECT_EQ(back.relations[0].foreign_table, renamed);
  EXPECT_EQ(back.rows.at(renamed).size(), 2u);
  EXPECT_EQ(CheckProblems(target), "");
}

// A damaged source can give rows of one attribute of a query the same
// order (here the fields' orders were lost). Access keys the rows by it, so
// those are numbered again in the order they came, and the file checks
// clean; the orders of the other attributes stay as stored.
// Names past the 64 characters Access keeps, equal in those: each column
// and table gets a name of its own that fits, with the number that tells
// it apart kept, and no row is lost. A cut that took the number away made
// every candidate the same name, and the save never ended.
TEST(JetTarget, LongNamesEqualInTheirFirst64CharactersStayApart) {
  namespace tb = testing;
  const std::string long_name = [] {
    std::string name;
    for (int i = 0; i < 70; ++i) name += "\u0100";  // two bytes a character
    return name;
  }();
  tb::JetFileBuilder builder(tb::JetVersion::kJet4);
  for (int t = 0; t < 2; ++t) {
    tb::Table table;
    table.name = long_name + std::to_string(t);
    table.columns = {{long_name + "a", tb::kLong}, {long_name + "b", tb::kLong}, {long_name + "c", tb::kText}};
    table.rows = {{int64_t{1}, int64_t{2}, std::string("x")}, {int64_t{3}, int64_t{4}, std::string("y")}};
    builder.AddTable(table);
  }
  tb::TempDatabase file(builder.Build());
  ScratchDir dir;
  const std::string target = dir.File("out.mdb");
  const Saved saved = Save(file.path(), target, SaveFormat::kAccess);
  ASSERT_EQ(saved.result.outcome, PassOutcome::kCompleted) << saved.result.message;
  EXPECT_EQ(CheckProblems(target), "");
  const Recorded back = Read(target);
  std::set<std::string> tables;
  for (const OutputTable& table : back.tables) {
    if (IsSystemName(table.name)) continue;
    SCOPED_TRACE(table.name);
    tables.insert(table.name);
    EXPECT_LE(CountUtf8Chars(table.name), 64u);
    std::set<std::string> columns;
    for (const OutputColumn& column : table.columns) {
      EXPECT_LE(CountUtf8Chars(column.name), 64u);
      columns.insert(column.name);
    }
    EXPECT_EQ(columns.size(), 3u);
    ASSERT_EQ(back.rows.at(table.name).size(), 2u);
    EXPECT_EQ(back.rows.at(table.name)[1][1], "4");
    EXPECT_EQ(back.rows.at(table.name)[1][2], "y");
  }
  EXPECT_EQ(tables.size(), 2u);
}

TEST(JetTarget, QueryRowsOfOneOrderAreNumberedAgain) {
  ScratchDir dir;
  const std::string target = dir.File("out.mdb");
  const auto row = [](int attribute, uint32_t order, const char* expression) {
    QueryRow r;
    r.attribute = attribute;
    r.order = order;
    r.expression = expression;
    return r;
  };
  QueryRow kind = row(kQueryKind, 1, "");
  kind.flag = 1;
  QueryRow input = row(kQueryInput, 1, "");
  input.name1 = "Orders";
  const std::vector<QueryRow> rows = {row(kQueryStart, 1, ""), kind, input, row(kQueryField, 0, "[Orders].[B]"),
                                      row(kQueryField, 0, "[Orders].[A]"), row(kQueryField, 0, "[Orders].[C]"),
                                      row(kQueryOrderBy, 7, "[Orders].[A]"), row(kQueryOrderBy, 3, "[Orders].[B]"),
                                      row(kQueryEnd, 1, "")};
  {
    LossAccount losses;
    std::unique_ptr<RecoveryOutput> out = MakeTargetFactory(SaveFormat::kAccess)(target, true);
    out->Attach(losses);
    out->AddQueryDefinition("Sorted", "SELECT [Orders].[B], [Orders].[A], [Orders].[C] FROM Orders;", rows);
    out->Finish();
  }
  EXPECT_EQ(CheckProblems(target), "");
  std::vector<std::string> back;
  OpenJetFile(target, [&](JetHandle& handle) {
    TableDefPtr queries = OpenTable(handle, "MSysQueries", kCatalogTable, 4);
    ASSERT_NE(queries, nullptr);
    RowCursor cursor(*queries);
    Row r;
    const auto at = [&](const char* column) -> const Value& { return r.values[*queries->ColumnIndex(column)]; };
    while (cursor.Next(r)) {
      const int64_t attribute = at("Attribute").integer;
      if (attribute != kQueryField && attribute != kQueryOrderBy) continue;
      const std::string& order = at("Order").bytes;
      ASSERT_EQ(order.size(), 4u);
      const uint32_t number = static_cast<uint32_t>(static_cast<uint8_t>(order[0])) << 24 |
                              static_cast<uint32_t>(static_cast<uint8_t>(order[1])) << 16 |
                              static_cast<uint32_t>(static_cast<uint8_t>(order[2])) << 8 | static_cast<uint8_t>(order[3]);
      back.push_back(std::to_string(attribute) + " " + std::to_string(number) + " " + at("Expression").bytes);
    }
  });
  std::sort(back.begin(), back.end());
  EXPECT_EQ(back, (std::vector<std::string>{"11 3 [Orders].[B]", "11 7 [Orders].[A]", "6 1 [Orders].[B]",
                                            "6 2 [Orders].[A]", "6 3 [Orders].[C]"}));
}

// A table's definition and its catalog row, field by field, apart from
// ids, pages and dates.
struct Described {
  std::vector<std::string> columns;
  std::string counts;
  std::vector<std::string> real_indexes;
  std::vector<std::string> logical_indexes;
  std::string catalog;
  int64_t last_autonumber = -1;
  int64_t highest_autonumber = -1;
};

Described Describe(const std::string& path, const std::string& table_name) {
  Described d;
  const bool opened = OpenJetFile(path, [&](JetHandle& handle) {
    TableDefPtr catalog = OpenTable(handle, "MSysObjects", 1, 2);
    ASSERT_NE(catalog, nullptr);
    int32_t page = 0;
    {
      RowCursor cursor(*catalog);
      Row row;
      while (cursor.Next(row)) {
        const auto at = [&](const char* column) -> const Value& { return row.values[*catalog->ColumnIndex(column)]; };
        if (at("Name").bytes != table_name || at("Type").integer != 1) continue;
        page = CatalogIdPage(at("Id").integer);
        d.catalog = "type " + std::to_string(at("Type").integer) + " flags " + std::to_string(at("Flags").integer);
      }
    }
    ASSERT_NE(page, 0) << table_name;
    TableDefPtr table = OpenTable(handle, table_name, 1, page);
    ASSERT_NE(table, nullptr);
    std::optional<size_t> autonumber;
    for (size_t i = 0; i < table->columns.size(); ++i) {
      const ColumnDef& c = table->columns[i];
      if (c.IsAutoNumber()) autonumber = i;
      d.columns.push_back(c.name + ": type " + std::to_string(c.type) + " size " + std::to_string(c.size) + " number " +
                          std::to_string(c.column_number) + (c.fixed ? " fixed at " + std::to_string(c.fixed_offset)
                                                                     : " variable " + std::to_string(c.var_column_number)) +
                          " precision " + std::to_string(c.precision) + " scale " + std::to_string(c.scale) + " flags " +
                          std::to_string(c.flags) + " extra " + std::to_string(c.extra_flags));
    }
    d.counts = "rows " + std::to_string(table->row_count) + ", real indexes " + std::to_string(table->real_index_count) +
               ", indexes " + std::to_string(table->index_count);
    if (table->definition.size() >= kJet4AutoNumberPos + 4) {
      uint32_t last = 0;
      std::memcpy(&last, table->definition.data() + kJet4AutoNumberPos, 4);
      d.last_autonumber = last;
    }
    if (autonumber) {
      RowCursor cursor(*table);
      Row row;
      while (cursor.Next(row)) d.highest_autonumber = std::max(d.highest_autonumber, row.values[*autonumber].integer);
    }
    std::string problem;
    const std::optional<IndexDefinition> indexes = ReadIndexes(*table, &problem);
    ASSERT_TRUE(indexes) << problem;
    const auto real_text = [&](const RealIndex& real) {
      std::string text = "flags " + std::to_string(real.flags) + ":";
      for (const IndexColumn& c : real.columns) text += " " + std::to_string(c.column_number) + (c.descending ? " desc" : "");
      return text;
    };
    for (const RealIndex& real : indexes->real) d.real_indexes.push_back(real_text(real));
    for (const LogicalIndex& logical : indexes->logical) {
      d.logical_indexes.push_back(logical.name + " kind " +
                                  std::to_string(static_cast<int>(logical.kind)) + " on " +
                                  real_text(indexes->real.at(static_cast<size_t>(logical.real_index))));
    }
    // Their order and numbers are the writer's, as ids are.
    std::sort(d.real_indexes.begin(), d.real_indexes.end());
    std::sort(d.logical_indexes.begin(), d.logical_indexes.end());
  });
  EXPECT_TRUE(opened) << path;
  return d;
}

// Tables copied from samples: the written definition (columns with their
// types, sizes, numbers, offsets and flags; the counts; real and logical
// indexes) and the catalog row (type, flags) are the sample's; the
// properties, decoded, are compared for every sample above.
// The AutoNumber counter is at least the highest number handed out, so the
// next row another program adds takes a number no row holds.
TEST(JetTarget, ACopiedTableIsTheSampleFieldByField) {
  const std::optional<fs::path> corpus = testing::CorpusDir();
  if (!corpus) GTEST_SKIP() << "the sample folder is absent";
  ScratchDir dir;
  for (const auto& [sample, tables] : std::vector<std::pair<std::string, std::vector<std::string>>>{
           {"jet4-northwind.mdb", {"Customers", "Employees", "Order Details", "Products"}},
           {"jet4-index-properties.mdb", {"TableIgnoreNulls1", "TableUnique2_temp"}},
           {"jet4-compound-index.mdb", {"Table1"}}}) {
    if (!fs::exists(*corpus / sample)) continue;
    const std::string target = dir.File(sample);
    ASSERT_EQ(Save((*corpus / sample).string(), target, SaveFormat::kAccess).result.outcome, PassOutcome::kCompleted);
    for (const std::string& table : tables) {
      SCOPED_TRACE(sample + ": " + table);
      const Described source = Describe((*corpus / sample).string(), table);
      const Described written = Describe(target, table);
      EXPECT_EQ(written.columns, source.columns);
      EXPECT_EQ(written.counts, source.counts);
      EXPECT_EQ(written.real_indexes, source.real_indexes);
      EXPECT_EQ(written.logical_indexes, source.logical_indexes);
      EXPECT_EQ(written.catalog, source.catalog);
      EXPECT_GE(written.last_autonumber, written.highest_autonumber);
    }
  }
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

size_t PageSizeOf(const std::string& bytes) { return bytes.size() > 0x14 && bytes[0x14] == 0 ? 2048 : 4096; }

// The pages of `bytes` past the system tables' that hold `type` (1 data,
// 2 a definition), in order.
std::vector<size_t> PagesOfType(const std::string& bytes, uint8_t type) {
  const size_t size = PageSizeOf(bytes);
  std::vector<size_t> pages;
  for (size_t page = 6; page < bytes.size() / size; ++page) {
    if (static_cast<uint8_t>(bytes[page * size]) == type) pages.push_back(page);
  }
  return pages;
}

enum class Harm { kCut, kDataPages, kDefinition };

// A seeded damaged copy of `source` at `target`.
void Harmed(const std::string& source, const std::string& target, Harm harm, unsigned seed) {
  std::string bytes = ReadBytes(source);
  const size_t size = PageSizeOf(bytes);
  std::mt19937 random(seed);
  const auto zero = [&](size_t page) { std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(page * size), size, '\0'); };
  if (harm == Harm::kCut) {
    const size_t pages = bytes.size() / size;
    bytes.resize((pages / 2 + random() % (pages / 2)) * size + random() % size);
  } else {
    const std::vector<size_t> pages = PagesOfType(bytes, harm == Harm::kDataPages ? 1 : 2);
    for (int k = 0; k < (harm == Harm::kDataPages ? 3 : 1) && !pages.empty(); ++k) zero(pages[random() % pages.size()]);
  }
  std::ofstream(target, std::ios::binary) << bytes;
}

// Rows by table, system tables apart.
std::map<std::string, size_t> RowsByTable(const Recorded& r) {
  std::map<std::string, size_t> rows;
  for (const auto& [name, table_rows] : r.rows) {
    if (!IsSystemName(name)) rows[name] = table_rows.size();
  }
  return rows;
}

// The user tables of a written file by their definition pages.
std::map<uint32_t, std::string> WrittenTables(const std::string& path) {
  std::map<uint32_t, std::string> tables;
  OpenJetFile(path, [&](JetHandle& handle) {
    TableDefPtr catalog = OpenTable(handle, "MSysObjects", 1, 2);
    if (catalog == nullptr) return;
    const auto id = catalog->ColumnIndex("Id");
    const auto name = catalog->ColumnIndex("Name");
    const auto type = catalog->ColumnIndex("Type");
    RowCursor cursor(*catalog);
    Row row;
    while (cursor.Next(row)) {
      if (row.values[*type].integer == 1 && !IsSystemName(row.values[*name].bytes)) {
        tables[static_cast<uint32_t>(CatalogIdPage(row.values[*id].integer))] = row.values[*name].bytes;
      }
    }
  });
  return tables;
}

struct HarmCase {
  const char* sample;  // in the corpus folder, else in the Access 2007+ one
  Harm harm;
  unsigned seed;
};

class DamagedSource : public ::testing::TestWithParam<HarmCase> {};

// Whatever the SQLite save recovers from a damaged file, the .mdb holds,
// table by table, and the checker calls it sound. The written file, a data
// page of it zeroed, is a source again: every other table comes back whole,
// and the one hit loses at most the rows that page held.
TEST_P(DamagedSource, TheAccessSaveHoldsWhatSqliteHoldsAndIsASourceAgain) {
  const HarmCase& c = GetParam();
  std::optional<fs::path> folder = testing::CorpusDir();
  if (folder && !fs::exists(*folder / c.sample)) folder = testing::AceCorpusDir();
  if (!folder || !fs::exists(*folder / c.sample)) GTEST_SKIP() << "no sample " << c.sample;
  ScratchDir dir;
  const std::string damaged = dir.File("damaged.mdb");
  Harmed((*folder / c.sample).string(), damaged, c.harm, c.seed);

  RecoverySession sqlite;
  sqlite.options.source_path = damaged;
  sqlite.options.mode = RunMode::kSave;
  sqlite.options.target_path = dir.File("out.sqlite");
  sqlite.options.make_target = MakeTargetFactory(SaveFormat::kSqlite);
  sqlite.options.loss_details = nullptr;
  const PassResult sqlite_result = RunRecovery(sqlite);
  const std::string written = dir.File("out.mdb");
  const Saved access = Save(damaged, written, SaveFormat::kAccess);
  ASSERT_EQ(access.result.outcome, sqlite_result.outcome) << access.result.message;
  if (access.result.outcome != PassOutcome::kCompleted) return;
  std::map<std::string, size_t> saved_rows;
  for (const TableLosses& t : sqlite.results.losses.tables()) {
    if (!IsSystemName(t.name) && !t.lost_whole) saved_rows[t.name] = static_cast<size_t>(t.rows_recovered);
  }
  const std::map<std::string, size_t> written_rows = RowsByTable(Read(written));
  EXPECT_EQ(written_rows, saved_rows);
  EXPECT_EQ(CheckProblems(written), "");

  // A data page of a user table of the written file zeroed.
  std::string bytes = ReadBytes(written);
  const std::map<uint32_t, std::string> tables = WrittenTables(written);
  std::vector<size_t> candidates;
  for (size_t page : PagesOfType(bytes, 1)) {
    uint32_t owner = 0;
    std::memcpy(&owner, bytes.data() + page * 4096 + 4, 4);
    if (tables.count(owner) != 0) candidates.push_back(page);
  }
  if (candidates.empty()) return;
  const size_t page = candidates[c.seed % candidates.size()];
  uint32_t owner = 0;
  uint16_t held = 0;
  std::memcpy(&owner, bytes.data() + page * 4096 + 4, 4);
  std::memcpy(&held, bytes.data() + page * 4096 + 12, 2);
  std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(page * 4096), 4096, '\0');
  const std::string again = dir.File("again.mdb");
  std::ofstream(again, std::ios::binary) << bytes;
  const std::map<std::string, size_t> back = RowsByTable(Read(again));
  for (const auto& [name, rows] : written_rows) {
    SCOPED_TRACE(name);
    ASSERT_EQ(back.count(name), 1u) << "table not recovered";
    if (name == tables.at(owner)) {
      EXPECT_LE(back.at(name), rows);
      EXPECT_GE(back.at(name) + held, rows);
    } else {
      EXPECT_EQ(back.at(name), rows);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Samples, DamagedSource,
                         ::testing::Values(HarmCase{"jet4-northwind.mdb", Harm::kCut, 1},
                                           HarmCase{"jet4-northwind.mdb", Harm::kDataPages, 2},
                                           HarmCase{"jet4-northwind.mdb", Harm::kDefinition, 3},
                                           HarmCase{"jet4-rw-accounting.mdb", Harm::kDataPages, 4},
                                           HarmCase{"jet4-rw-accounting.mdb", Harm::kDefinition, 5},
                                           HarmCase{"jet3-rw-restaurant-stock.mdb", Harm::kCut, 6},
                                           HarmCase{"jet3-rw-restaurant-stock.mdb", Harm::kDataPages, 7},
                                           HarmCase{"jet4-rw-garage.mdb", Harm::kDefinition, 8},
                                           HarmCase{"ace2007-queries.accdb", Harm::kDataPages, 9},
                                           HarmCase{"ace2007-complex-data.accdb", Harm::kCut, 10}));
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(DamagedSource);

// Damage can give two rows one key. A unique index that would hold it is
// written as a plain one and told (the file checks clean); one whose only
// repeats are nulls stays unique.
TEST(JetTarget, AKeyTwoRowsShareIsWrittenAsAPlainIndex) {
  ScratchDir dir;
  const std::string target = dir.File("out.mdb");
  OutputTable table;
  table.name = "Parts";
  table.columns = {OutputColumn{"ID", kColumnLongInteger}, OutputColumn{"Code", kColumnText}};
  table.indexes = {OutputIndex{"PrimaryKey", {{"ID"}}, true, true, false, true},
                   OutputIndex{"Code", {{"Code"}}, false, true}};
  const LossAccount losses = SaveOneTable(target, table,
                                          {ValuesRow({Int(1), Text("a")}), ValuesRow({Int(2), Text("b")}),
                                           ValuesRow({Int(2), Text("c")}), ValuesRow({Int(3), Value()}),
                                           ValuesRow({Int(4), Value()})});
  EXPECT_EQ(losses.lines(), std::vector<std::string>{"Table Parts: primary key PrimaryKey was written as a plain index: 1 row "
                                                     "repeats another row's value of (ID)"});
  EXPECT_EQ(CheckProblems(target), "");
  std::vector<std::string> indexes;
  OpenJetFile(target, [&](JetHandle& handle) {
    const std::map<uint32_t, std::string> tables = WrittenTables(target);
    ASSERT_EQ(tables.size(), 1u);
    TableDefPtr parts = OpenTable(handle, "Parts", kCatalogTable, static_cast<int32_t>(tables.begin()->first));
    ASSERT_NE(parts, nullptr);
    std::string problem;
    const std::optional<IndexDefinition> read = ReadIndexes(*parts, &problem);
    ASSERT_TRUE(read) << problem;
    for (const LogicalIndex& logical : read->logical) {
      indexes.push_back(logical.name + " kind " + std::to_string(static_cast<int>(logical.kind)) + " unique " +
                        std::to_string(read->real[static_cast<size_t>(logical.real_index)].flags & kIndexUnique));
    }
  });
  std::sort(indexes.begin(), indexes.end());
  EXPECT_EQ(indexes, (std::vector<std::string>{"Code kind 0 unique 1", "PrimaryKey kind 0 unique 0"}));
}

// Damage can take a row that others refer to. The relation is then saved
// unenforced, and told; with every row it refers to there (nulls refer to
// nothing), it stays enforced. Either way the file checks clean.
// A value the column cannot hold is stored as null and told; its index
// keys the row as null too, or Access would find the row under a value it
// does not hold.
TEST(JetTarget, ARefusedValueIsKeyedAsTheNullStored) {
  ScratchDir dir;
  const std::string target = dir.File("out.mdb");
  OutputTable table;
  table.name = "Parts";
  OutputColumn code{"Code", kColumnText};
  code.text_length = 3;
  table.columns = {OutputColumn{"ID", kColumnLongInteger}, code};
  table.indexes = {OutputIndex{"Code", {{"Code"}}, false, false}};
  const LossAccount losses = SaveOneTable(
      target, table,
      {ValuesRow({Int(1), Text("abc")}), ValuesRow({Int(2), Text("too long")}), ValuesRow({Int(3), Text("xyz")})});
  EXPECT_EQ(losses.lines(),
            std::vector<std::string>{"Table Parts: record 2, column Code: the text is longer than the column holds was not stored"});
  EXPECT_EQ(CheckProblems(target), "");
}

// A memo or OLE value of no bytes is its header alone, inline, even in a
// row too full for any other value inline: written as a row of its own on a
// long-value page, it was a row of no bytes past the page's end.
TEST(JetTarget, AnEmptyLongValueInAFullRowStaysInline) {
  ScratchDir dir;
  const std::string target = dir.File("out.mdb");
  OutputTable table;
  table.name = "Notes";
  // Texts no compression shortens: 500 bytes each in the row.
  std::string wide;
  for (int i = 0; i < 250; ++i) wide += "\u4e2d";
  std::vector<Value> values;
  for (int i = 0; i < 5; ++i) {
    table.columns.push_back(OutputColumn{"T" + std::to_string(i), kColumnText});
    values.push_back(Text(wide.c_str()));
  }
  table.columns.push_back(OutputColumn{"Memo", kColumnMemo});
  table.columns.push_back(OutputColumn{"Ole", kColumnOle});
  values.push_back(Text(""));
  values.push_back(Value());
  values.back().kind = ValueKind::kBytes;
  const LossAccount losses = SaveOneTable(target, table, {ValuesRow(values)});
  EXPECT_EQ(losses.lines(), std::vector<std::string>{});
  EXPECT_EQ(CheckProblems(target), "");
  const Recorded back = Read(target);
  ASSERT_EQ(back.rows.at("Notes").size(), 1u);
  EXPECT_EQ(back.rows.at("Notes")[0][5], "");
  EXPECT_EQ(back.rows.at("Notes")[0][6], "");
}

// Repeated rows fill pages of equal bytes, also in a saved table with an
// index that is not unique (a damaged key written as a plain index): the
// file holds them all, and its check calls none a copy.
TEST(JetTarget, RepeatedRowsUnderAPlainIndexReadBackWhole) {
  ScratchDir dir;
  const std::string target = dir.File("out.mdb");
  OutputTable table;
  table.name = "Log";
  table.columns = {OutputColumn{"Event", kColumnText}, OutputColumn{"Code", kColumnLongInteger}};
  table.indexes = {OutputIndex{"Code", {{"Code"}}, false, false}};
  const LossAccount losses =
      SaveOneTable(target, table, std::vector<Row>(3000, ValuesRow({Text("door opened"), Int(7)})));
  EXPECT_EQ(losses.lines(), std::vector<std::string>{});
  EXPECT_EQ(CheckProblems(target), "");
  EXPECT_EQ(Read(target).rows.at("Log").size(), 3000u);
}

TEST(JetTarget, ARelationWhoseReferencedRowIsLostIsSavedUnenforced) {
  for (const bool orphan : {false, true}) {
    SCOPED_TRACE(orphan ? "an order of customer 3, who is gone" : "every customer there");
    ScratchDir dir;
    const std::string target = dir.File("out.mdb");
    LossAccount losses;
    {
      std::unique_ptr<RecoveryOutput> out = MakeTargetFactory(SaveFormat::kAccess)(target, true);
      out->Attach(losses);
      const auto table = [&](const char* name, std::vector<OutputIndex> indexes, const std::vector<std::vector<std::optional<int64_t>>>& rows) {
        OutputTable t;
        t.name = name;
        t.columns = {OutputColumn{"ID", kColumnLongInteger}, OutputColumn{"Customer", kColumnLongInteger}};
        t.indexes = std::move(indexes);
        out->BeginTable(t);
        for (const auto& values : rows) {
          Row row;
          for (const std::optional<int64_t>& v : values) {
            row.values.emplace_back();
            if (v) row.values.back().SetInteger(*v);
          }
          out->AddRow(row);
        }
        out->EndTable(static_cast<int64_t>(rows.size()));
      };
      table("Customers", {OutputIndex{"PrimaryKey", {{"ID"}}, true, true, false, true}}, {{1, std::nullopt}, {2, std::nullopt}});
      OutputIndex by_customer{"CustomersOrders", {{"Customer"}}};
      by_customer.foreign_key = true;
      table("Orders", {OutputIndex{"PrimaryKey", {{"ID"}}, true, true, false, true}, by_customer},
            {{10, 1}, {11, 2}, {12, std::nullopt}, {13, orphan ? 3 : 1}});
      OutputRelation relation;
      relation.name = "CustomersOrders";
      relation.table = "Customers";
      relation.foreign_table = "Orders";
      relation.fields = {RelationField{"ID", "Customer"}};
      out->AddRelation(relation);
      out->Finish();
    }
    EXPECT_EQ(losses.lines(), orphan ? std::vector<std::string>{"Relation CustomersOrders is saved without enforced integrity: "
                                                                "1 row of Orders refers to no row of Customers"}
                                     : std::vector<std::string>{});
    EXPECT_EQ(CheckProblems(target), "");
    const Recorded back = Read(target);
    ASSERT_EQ(back.relations.size(), 1u);
    EXPECT_EQ((back.relations[0].flags & kRelationNotEnforced) != 0, orphan);
  }
}

// Damage can leave a definition that names no column. Neither format makes a
// table without one: the table is told lost, and the rest of the save, the
// table after it included, is sound.
TEST(Targets, ATableWithoutColumnsIsToldLostAndTheRestSaved) {
  for (const SaveFormat format : {SaveFormat::kAccess, SaveFormat::kSqlite}) {
    SCOPED_TRACE(format == SaveFormat::kAccess ? "mdb" : "sqlite");
    ScratchDir dir;
    const std::string target = dir.File(format == SaveFormat::kAccess ? "out.mdb" : "out.sqlite");
    LossAccount losses;
    {
      std::unique_ptr<RecoveryOutput> out = MakeTargetFactory(format)(target, true);
      out->Attach(losses);
      OutputTable empty;
      empty.name = "Bare";
      losses.BeginTable("Bare", 2);
      out->BeginTable(empty);
      for (int i = 0; i < 2; ++i) out->AddRow(Row{});
      out->EndTable(2);
      losses.EndTable();
      OutputTable parts;
      parts.name = "Parts";
      parts.columns = {OutputColumn{"ID", kColumnLongInteger}};
      losses.BeginTable("Parts", 1);
      out->BeginTable(parts);
      Row row;
      row.values.resize(1);
      row.values[0].SetInteger(7);
      out->AddRow(row);
      out->EndTable(1);
      losses.EndTable();
      out->Finish();
    }
    EXPECT_EQ(losses.lines(), std::vector<std::string>{"Table Bare was not recovered: " + std::string(kNoColumnToSave)});
    if (format == SaveFormat::kAccess) {
      EXPECT_EQ(CheckProblems(target), "");
      std::vector<std::string> names;
      for (const auto& [page, name] : WrittenTables(target)) names.push_back(name);
      EXPECT_EQ(names, std::vector<std::string>{"Parts"});
    } else {
      sqlite3* db = nullptr;
      ASSERT_EQ(sqlite3_open_v2(target.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
      std::vector<std::string> ids;
      sqlite3_exec(db, "SELECT ID FROM Parts", [](void* out, int, char** values, char**) {
        static_cast<std::vector<std::string>*>(out)->push_back(values[0]);
        return 0;
      }, &ids, nullptr);
      sqlite3_close(db);
      EXPECT_EQ(ids, std::vector<std::string>{"7"});
    }
  }
}

// Pages go to the file in runs: each page must land where its number says,
// and the last write of a page wins, whether its earlier one was still held
// or already written.
TEST(JetPageFile, EveryPageLandsAtItsNumberWhateverTheOrder) {
  ScratchDir dir;
  const std::string path = dir.File("pages.mdb");
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  ASSERT_GE(fd, 0);
  std::map<uint32_t, uint8_t> expected;  // page -> the byte it is filled with
  {
    jet::PageFile file(fd, path);
    std::vector<uint8_t> page(jet::kPageSize);
    auto write = [&](uint32_t number, uint8_t fill) {
      std::fill(page.begin(), page.end(), fill);
      file.Write(number, page.data());
      expected[number] = fill;
    };
    uint8_t fill = 1;
    for (uint32_t n = 0; n < 40; ++n) write(n, fill++);  // runs of 16, then a short one
    write(38, fill++);  // still held
    write(3, fill++);   // written long ago
    write(41, fill++);  // after a gap
    write(40, fill++);  // just before the held page
    for (uint32_t n = 60; n > 50; --n) write(n, fill++);  // backwards
    write(100, fill++);  // past the window
    write(99, fill++);   // before the window
    write(101, fill++);
    file.Flush();
  }
  ::close(fd);
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), {});
  ASSERT_EQ(bytes.size(), size_t{102} * jet::kPageSize);
  for (uint32_t n = 0; n <= 101; ++n) {
    const auto found = expected.find(n);
    const char fill = static_cast<char>(found == expected.end() ? 0 : found->second);
    EXPECT_EQ(bytes.substr(size_t{n} * jet::kPageSize, jet::kPageSize), std::string(jet::kPageSize, fill)) << n;
  }
}

}  // namespace
}  // namespace mendora
