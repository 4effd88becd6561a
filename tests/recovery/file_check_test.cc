// The checker over every undamaged sample (sound) and over damaged copies
// of samples (damaged, with the problem named).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "reader/index_def.h"
#include "reader/index_pages.h"
#include "reader/usage_map.h"
#include "recovery/catalog_objects.h"
#include "recovery/file_check.h"
#include "tests/builder/jet_builder.h"
#include "tests/support/corpus.h"
#include "tests/support/temp_database.h"

namespace mendora {
namespace {

using testing::TempDatabase;

std::string Problems(const FileCheck& check) {
  std::string text;
  for (const CheckFinding& finding : check.problems) text += FindingText(finding) + "\n";
  return text;
}

std::optional<FileCheck> Check(const std::string& path, std::optional<std::string> password = std::nullopt) {
  std::string error;
  JetHandlePtr handle = OpenJetHandle(path, &error, nullptr, {.password = std::move(password)});
  if (!handle) return std::nullopt;
  return CheckFile(*handle);
}

struct Sample {
  std::filesystem::path path;
  std::optional<std::string> password;
};

std::vector<Sample> UndamagedSamples() {
  std::vector<Sample> samples;
  for (const auto& path : testing::CorpusFiles()) samples.push_back({path, std::nullopt});
  for (const auto& path : testing::AceCorpusFiles()) samples.push_back({path, std::nullopt});
  std::optional<std::filesystem::path> objects;
  if (const char* env = std::getenv("MENDORA_CORPUS_OBJECTS"); env != nullptr && *env != '\0') {
    objects = env;
  } else if (const auto corpus = testing::CorpusDir()) {
    objects = corpus->parent_path() / "corpus-objects";
  }
  if (objects && std::filesystem::is_directory(*objects)) {
    for (const auto& entry : std::filesystem::directory_iterator(*objects)) {
      const auto extension = entry.path().extension();
      if (extension == ".mdb" || extension == ".accdb") samples.push_back({entry.path(), std::nullopt});
    }
  }
  if (const auto encrypted = testing::EncryptedCorpusDir()) {
    samples.push_back({*encrypted / "jet3-encoded.mdb", std::nullopt});
    samples.push_back({*encrypted / "ace2007-encrypted-rc4.accdb", "Test123"});
    samples.push_back({*encrypted / "ace2010-encrypted-agile.accdb", "password"});
  }
  return samples;
}

TEST(FileCheckTest, EveryUndamagedSampleIsSound) {
  const std::vector<Sample> samples = UndamagedSamples();
  if (samples.empty()) GTEST_SKIP() << "no sample folder (MENDORA_CORPUS and the others)";
  uint64_t entries = 0;
  for (const Sample& sample : samples) {
    const std::optional<FileCheck> check = Check(sample.path, sample.password);
    ASSERT_TRUE(check) << sample.path;
    EXPECT_TRUE(check->Clean()) << sample.path << "\n" << Problems(*check);
    entries += check->index_entries;
  }
  // Every index entry of every sample was read, most of them verified.
  EXPECT_GT(entries, 20000u);
}

// A copy of a sample's bytes, and where its tables keep what the damage hits.
class Copy {
 public:
  explicit Copy(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    file_ = std::make_unique<TempDatabase>(bytes_);
    handle_ = OpenJetHandle(file_->path());
    handle_->damage = &ignore_;
    catalog_.Load(*handle_);
  }

  JetHandle& handle() { return *handle_; }
  uint32_t page_size() const { return handle_->PageSize(); }
  uint8_t* Page(uint32_t n) { return bytes_.data() + static_cast<size_t>(n) * page_size(); }

  TableDefPtr Table(const std::string& name) {
    for (const auto& [page, object] : catalog_.Objects()) {
      if (object.type == 1 && object.name == name) return OpenTable(*handle_, name, 1, page);
    }
    return nullptr;
  }
  // The first leaf of real index `real` of `table`.
  uint32_t FirstLeaf(const std::string& table, size_t real) {
    TableDefPtr def = Table(table);
    const uint32_t root = ReadIndexes(*def, nullptr)->real.at(real).root_page;
    uint32_t number = root;
    for (Result<IndexPage> page = ParseIndexPage(ByteView(Page(number), page_size()), IndexPagesOf(*handle_), number);
         page && !page->leaf;
         page = ParseIndexPage(ByteView(Page(number), page_size()), IndexPagesOf(*handle_), number)) {
      number = page->entries.front().child_page;
    }
    return number;
  }
  IndexPage Leaf(uint32_t number) {
    Result<IndexPage> page = ParseIndexPage(ByteView(Page(number), page_size()), IndexPagesOf(*handle_), number);
    EXPECT_TRUE(page) << page.reason();
    return page.Take().value_or(IndexPage{});
  }
  uint32_t FirstDataPage(const std::string& table) { return ListUsageMap(*handle_, Table(table)->usage_map).pages.at(0); }

  FileCheck CheckDamaged() {
    TempDatabase damaged(bytes_);
    JetHandlePtr handle = OpenJetHandle(damaged.path());
    EXPECT_TRUE(handle);
    return CheckFile(*handle);
  }

 private:
  std::vector<uint8_t> bytes_;
  std::unique_ptr<TempDatabase> file_;
  JetHandlePtr handle_;
  IgnoreDamage ignore_;
  CatalogObjects catalog_;
};

struct Damage {
  const char* what;
  const char* sample;  // in the corpus folder
  const char* table;
  std::function<void(Copy&, const char* table)> apply;
  const char* named;  // a part of the problem's text
  const char* problem_table = nullptr;  // where the problem shows, when not in `table`
};

class DamagedCopy : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedCopy, IsDamagedWithTheProblemNamed) {
  const Damage& damage = GetParam();
  const auto corpus = testing::CorpusDir();
  if (!corpus || !std::filesystem::exists(*corpus / damage.sample)) GTEST_SKIP() << "no sample " << damage.sample;
  Copy copy(*corpus / damage.sample);
  damage.apply(copy, damage.table);
  const FileCheck check = copy.CheckDamaged();
  ASSERT_FALSE(check.Clean()) << damage.what;
  const std::string table = damage.problem_table != nullptr ? damage.problem_table : damage.table;
  bool named = false;
  for (const CheckFinding& finding : check.problems) {
    named |= finding.table == table && finding.detail.find(damage.named) != std::string::npos;
  }
  EXPECT_TRUE(named) << damage.what << ": no problem of " << table << " says '" << damage.named << "'\n"
                     << Problems(check);
}

void ChangeFirstKey(Copy& copy, const char* table) {
  const uint32_t leaf = copy.FirstLeaf(table, 0);
  copy.Page(leaf)[IndexPagesOf(copy.handle()).EntriesPos + 1] ^= 0x01;
}

void PointFirstEntryElsewhere(Copy& copy, const char* table) {
  const uint32_t leaf = copy.FirstLeaf(table, 0);
  const size_t key = copy.Leaf(leaf).entries.front().key.size();
  copy.Page(leaf)[IndexPagesOf(copy.handle()).EntriesPos + key + 3] = 0xEE;
}

void ZeroFirstLeaf(Copy& copy, const char* table) {
  std::fill_n(copy.Page(copy.FirstLeaf(table, 0)), copy.page_size(), 0);
}

void ZeroFirstDataPage(Copy& copy, const char* table) {
  std::fill_n(copy.Page(copy.FirstDataPage(table)), copy.page_size(), 0);
}

void DeleteFirstRow(Copy& copy, const char* table) {
  uint8_t* page = copy.Page(copy.FirstDataPage(table));
  page[copy.handle().format->RowCountPos + 3] |= 0xC0;  // slot 0 marked deleted
}

void LinkFirstLeafToItself(Copy& copy, const char* table) {
  const uint32_t leaf = copy.FirstLeaf(table, 0);
  uint8_t* next = copy.Page(leaf) + IndexPagesOf(copy.handle()).NextPagePos;
  for (int i = 0; i < 4; ++i) next[i] = static_cast<uint8_t>(leaf >> (8 * i));
}

// Relations over the same columns are checked against one reading of each
// table: every relation still names each row it misses, under its own name,
// and a relation over other columns is not taken for one of them.
TEST(FileCheckRelations, EachRelationNamesItsOwnMissingRows) {
  namespace tb = mendora::testing;
  tb::JetFileBuilder builder(tb::JetVersion::kJet4);
  tb::Table parent{.name = "Parent", .columns = {{"ID", tb::kLong}, {"Code", tb::kText}}};
  tb::Table child{.name = "Child", .columns = {{"ParentID", tb::kLong}, {"Code", tb::kText}}};
  for (int64_t i = 1; i <= 300; ++i) {
    parent.rows.push_back({i, "c" + std::to_string(i)});
    child.rows.push_back({i, "c" + std::to_string(i)});
  }
  child.rows[40] = {int64_t{9999}, std::string("c41")};  // no parent of that ID
  child.rows[70] = {int64_t{71}, std::string("zz")};     // no parent of that code
  builder.AddTable(parent);
  builder.AddTable(child);
  for (const char* name : {"ByID1", "ByCode", "ByID2", "ByID3"}) {
    const bool by_code = std::string(name) == "ByCode";
    builder.AddRelationship({name, "Parent", by_code ? "Code" : "ID", "Child", by_code ? "Code" : "ParentID"});
  }
  TempDatabase file(builder.Build());
  const std::optional<FileCheck> check = Check(file.path());
  ASSERT_TRUE(check);
  EXPECT_EQ(check->relations, 4u);
  std::vector<std::string> missing;
  for (const CheckFinding& finding : check->problems) {
    if (finding.detail.find("which this row refers to") != std::string::npos) {
      missing.push_back(finding.detail.substr(0, finding.detail.find(':')) + " " + std::to_string(finding.row) +
                        " " + finding.detail.substr(finding.detail.find("holds ")));
    }
  }
  EXPECT_EQ(missing, (std::vector<std::string>{
                         "relation ByID1 40 holds 9999, which this row refers to",
                         "relation ByCode 70 holds zz, which this row refers to",
                         "relation ByID2 40 holds 9999, which this row refers to",
                         "relation ByID3 40 holds 9999, which this row refers to",
                     }))
      << Problems(*check);
}

INSTANTIATE_TEST_SUITE_P(
    Samples, DamagedCopy,
    ::testing::Values(
        Damage{"a key byte of a leaf", "jet4-northwind.mdb", "Orders", ChangeFirstKey, "do not make"},
        Damage{"an entry naming a slot that holds no row", "jet4-northwind.mdb", "Orders", PointFirstEntryElsewhere,
               "not a live row"},
        Damage{"the entry's row left out of the index", "jet4-northwind.mdb", "Orders", PointFirstEntryElsewhere,
               "holds no entry for this live row"},
        Damage{"a leaf zeroed", "jet4-northwind.mdb", "Customers", ZeroFirstLeaf, "not an index page"},
        Damage{"a data page zeroed", "jet4-northwind.mdb", "Order Details", ZeroFirstDataPage,
               "not one of its data pages"},
        Damage{"a row deleted under its indexes", "jet4-northwind.mdb", "Employees", DeleteFirstRow,
               "not a live row"},
        Damage{"a row a relation needs deleted", "jet4-northwind.mdb", "Orders", DeleteFirstRow, "relation OrdersOrder Details",
               "Order Details"},
        Damage{"a leaf chained to itself", "jet4-northwind.mdb", "Orders", LinkFirstLeafToItself, "as the next"},
        Damage{"a key byte of a Jet 3 leaf", "jet3-indexes.mdb", "Table1", ChangeFirstKey, "do not make"},
        Damage{"a Jet 3 data page zeroed", "jet3-indexes.mdb", "Table2", ZeroFirstDataPage,
               "not one of its data pages"}));

}  // namespace
}  // namespace mendora
