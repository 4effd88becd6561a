// Forms, reports, macros and modules carried by the Access target: the
// Access 2000-format samples (their objects in MSysAccessObjects, or in
// MSysAccessStorage when a later Access saved them) are saved as .mdb,
// checked, and read back with the project's own objects reader; sources
// whose objects cannot be carried (their storage damaged, or an Access
// 2007+ file) say so in the loss account.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "output/targets.h"
#include "reader/jet_format.h"
#include "reader/jet_handle.h"
#include "reader/row_cursor.h"
#include "reader/table_def.h"
#include "recovery/access_objects.h"
#include "recovery/file_check.h"
#include "recovery/recovery_session.h"
#include "tests/support/corpus.h"

namespace mendora {
namespace {

namespace fs = std::filesystem;

class Scratch {
 public:
  Scratch() {
    char name[] = "/tmp/mendora-objects-XXXXXX";
    path_ = mkdtemp(name);
  }
  ~Scratch() { fs::remove_all(path_); }
  std::string File(const std::string& name) const { return (fs::path(path_) / name).string(); }

 private:
  std::string path_;
};

// The loss lines of saving `source` as an Access database at `target`.
std::vector<std::string> SaveAsMdb(const std::string& source, const std::string& target) {
  RecoverySession session;
  session.options.source_path = source;
  session.options.mode = RunMode::kSave;
  session.options.target_path = target;
  session.options.replace_existing = true;
  session.options.make_target = MakeTargetFactory(SaveFormat::kAccess);
  session.options.loss_details = nullptr;
  const PassResult result = RunRecovery(session);
  EXPECT_EQ(result.outcome, PassOutcome::kCompleted) << source << ": " << result.message;
  return session.results.losses.lines();
}

std::string CheckProblems(const std::string& path) {
  std::string error;
  JetHandlePtr handle = OpenJetHandle(path, &error);
  if (!handle) return "not opened: " + error;
  std::string text;
  for (const CheckFinding& finding : CheckFile(*handle).problems) text += FindingText(finding) + "\n";
  return text;
}

// Each object as kind, name, owner, whether the catalog names it, whether
// recovered, and its stored bytes; then each catalog row of an object with
// its type, Flags and properties.
std::vector<std::string> ObjectsOf(const std::string& path, int32_t* objects_table = nullptr) {
  std::vector<std::string> out;
  const bool opened = OpenJetFile(path, [&](JetHandle& handle) {
    const ObjectCatalog catalog = ScanObjectCatalog(handle);
    if (objects_table != nullptr) *objects_table = catalog.objects_table != 0 ? catalog.objects_table : catalog.storage_table;
    for (const AccessObject& object : ReadAccessObjects(handle, catalog).objects) {
      out.push_back(std::string(AccessObjectKindName(object.kind)) + " " + object.name + " of [" + object.owner + "] " +
                    (object.in_catalog ? "in the catalog " : "") + (object.recovered ? "whole" : "lost: " + object.loss) +
                    " " + std::to_string(object.data.size()) + " bytes\n" + object.data);
    }
    TableDefPtr objects = OpenTable(handle, "MSysObjects", kCatalogTable, 2);
    ASSERT_NE(objects, nullptr);
    RowCursor cursor(*objects);
    Row row;
    const auto at = [&](const char* column) -> const Value& { return row.values[*objects->ColumnIndex(column)]; };
    while (cursor.Next(row)) {
      const int64_t type = at("Type").integer;
      if (type != kCatalogForm && type != kCatalogReport && type != kCatalogMacro && type != kCatalogModule) continue;
      out.push_back("catalog row " + std::to_string(type) + " " + at("Name").bytes + " flags " +
                    std::to_string(at("Flags").integer) + " properties " +
                    (at("LvProp").IsNull() ? std::string("none") : at("LvProp").bytes));
    }
  });
  EXPECT_TRUE(opened) << path;
  std::sort(out.begin(), out.end());
  return out;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

std::optional<fs::path> Sample(const std::string& name) {
  for (const std::optional<fs::path>& dir : {testing::ObjectsCorpusDir(), testing::CorpusDir()}) {
    if (dir && fs::exists(*dir / name)) return *dir / name;
  }
  return std::nullopt;
}

class CarriedObjects : public ::testing::TestWithParam<std::string> {};

// The objects read back from the written file are the source's: the same
// kinds and names, module sources and form and report definitions byte for
// byte, and the modules of forms and reports with them.
TEST_P(CarriedObjects, ReadBackAsTheSourceHoldsThem) {
  const std::optional<fs::path> source = Sample(GetParam());
  if (!source) GTEST_SKIP() << "the sample " << GetParam() << " is absent";
  Scratch dir;
  const std::string target = dir.File("saved.mdb");
  const std::string lines = Joined(SaveAsMdb(source->string(), target));
  EXPECT_EQ(lines.find("were not saved in the Access database"), std::string::npos) << lines;
  EXPECT_EQ(CheckProblems(target), "");
  const std::vector<std::string> before = ObjectsOf(source->string());
  int32_t table = 0;
  const std::vector<std::string> after = ObjectsOf(target, &table);
  EXPECT_NE(table, 0) << "no table of objects in the written file";
  ASSERT_FALSE(before.empty());
  ASSERT_EQ(before.size(), after.size());
  for (size_t i = 0; i < before.size(); ++i) {
    EXPECT_TRUE(before[i] == after[i]) << "source: " << before[i].substr(0, before[i].find('\n')) << "\nwritten: "
                                       << after[i].substr(0, after[i].find('\n'));
  }
}

INSTANTIATE_TEST_SUITE_P(Samples, CarriedObjects,
                         ::testing::Values("obj-jet4-agenda-pt.mdb", "obj-jet4-vcsaddin-en.mdb", "obj-jet4-filterwizard-de.mdb",
                                           "jet4-northwind.mdb"),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param.substr(0, info.param.find('.'));
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

// Objects that cannot be carried are named in the account with the reason,
// the file is sound without them, and nothing of them is left half in it:
// a copy whose storage lost a page, and an Access 2007+ file.
TEST(CarriedObjects, ThoseNotCarriedAreToldWithTheReason) {
  Scratch dir;
  int cases = 0;
  if (const std::optional<fs::path> source = Sample("obj-jet4-agenda-pt.mdb")) {
    ++cases;
    int32_t table = 0;
    ObjectsOf(source->string(), &table);
    ASSERT_NE(table, 0);
    std::ifstream in(*source, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    constexpr size_t kPage = 4096;
    std::vector<size_t> chunks;  // the storage table's data pages
    for (size_t page = 1; page < bytes.size() / kPage; ++page) {
      uint32_t owner = 0;
      std::memcpy(&owner, bytes.data() + page * kPage + 4, 4);
      if (bytes[page * kPage] == 0x01 && owner == static_cast<uint32_t>(table)) chunks.push_back(page);
    }
    ASSERT_GT(chunks.size(), 10u);
    std::mt19937 random(25);
    const size_t lost = chunks[1 + random() % (chunks.size() - 1)];
    std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(lost * kPage), kPage, '\0');
    const std::string damaged = dir.File("damaged.mdb");
    std::ofstream(damaged, std::ios::binary) << bytes;
    const std::string target = dir.File("damaged-saved.mdb");
    const std::string lines = Joined(SaveAsMdb(damaged, target));
    // The objects the damage cost are named on their own; the line counts
    // those recovered that the file does not hold.
    const size_t told = lines.find("Forms, reports, macros and modules were not saved in the Access database (");
    ASSERT_NE(told, std::string::npos) << lines;
    EXPECT_NE(lines.find("): their storage did not read whole", told), std::string::npos) << lines;
    EXPECT_EQ(CheckProblems(target), "");
    int32_t written_table = 0;
    EXPECT_TRUE(ObjectsOf(target, &written_table).empty());
    EXPECT_EQ(written_table, 0);
  }
  if (const std::optional<fs::path> source = Sample("obj-ace2007-sortcolumn-fr.accdb")) {
    ++cases;
    const std::string target = dir.File("storage-saved.mdb");
    const std::string lines = Joined(SaveAsMdb(source->string(), target));
    EXPECT_NE(lines.find("Forms, reports, macros and modules were not saved in the Access database (4 forms, 6 modules): "
                         "their storage is that of an Access 2007+ file (MSysAccessStorage)"),
              std::string::npos)
        << lines;
    EXPECT_EQ(CheckProblems(target), "");
    EXPECT_TRUE(ObjectsOf(target).empty());
  }
  if (cases == 0) GTEST_SKIP() << "the object samples are absent";
}

}  // namespace
}  // namespace mendora
