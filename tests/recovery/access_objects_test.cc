// Forms, reports, macros and modules of the real samples: every one comes
// back (modules as VBA that names itself), and damaged copies name every
// one they lose.
#include "recovery/access_objects.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <regex>
#include <set>

#include "reader/jet_handle.h"
#include "recovery/recovery_session.h"
#include "tests/support/corpus.h"
#include "tests/support/temp_database.h"

namespace mendora {
namespace {

using testing::TempDatabase;

std::vector<std::filesystem::path> ObjectSamples() {
  std::vector<std::filesystem::path> files;
  if (const auto dir = testing::ObjectsCorpusDir()) {
    for (const auto& entry : std::filesystem::directory_iterator(*dir)) {
      if (entry.is_regular_file() && entry.path().extension() != ".md") files.push_back(entry.path());
    }
  }
  if (const auto dir = testing::CorpusDir(); dir && std::filesystem::exists(*dir / "jet4-northwind.mdb")) {
    files.push_back(*dir / "jet4-northwind.mdb");
  }
  std::sort(files.begin(), files.end());
  return files;
}

struct Expected {
  std::string kind;
  std::string name;
  bool operator<(const Expected& other) const { return std::tie(kind, name) < std::tie(other.kind, other.name); }
};

// What the sample's JSON lists, and what its catalog names.
std::set<Expected> ExpectedObjects(const std::filesystem::path& file, JetHandle& handle) {
  std::set<Expected> expected;
  const std::filesystem::path json = file.parent_path() / "expected" / (file.stem().string() + ".json");
  if (std::ifstream in(json); in) {
    const nlohmann::json document = nlohmann::json::parse(in);
    for (const auto& object : document.value("objects", nlohmann::json::array())) {
      expected.insert({object.at("kind").get<std::string>(), object.at("name").get<std::string>()});
    }
  }
  for (const ObjectCatalog::Entry& entry : ScanObjectCatalog(handle).entries) {
    expected.insert({AccessObjectKindName(entry.kind), entry.name});
  }
  return expected;
}

class ObjectRecorder : public RecoveryOutput {
 public:
  void BeginTable(const OutputTable&) override {}
  void AddRow(const Row&) override {}
  void EndTable(int64_t) override {}
  void AddObject(const OutputObject& object) override { objects.push_back(object); }
  void AddObjectStorage(const ObjectStorageCopy& storage) override { storage_rows = storage.rows.rows.size(); }
  std::vector<OutputObject> objects;
  size_t storage_rows = 0;
};

bool ValidUtf8Text(const std::string& line) {
  for (size_t i = 0; i < line.size();) {
    const auto c = static_cast<unsigned char>(line[i]);
    const size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (length == 0 || i + length > line.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(line[i + k]) & 0xC0) != 0x80) return false;
    }
    if (length == 1 && c < 0x20 && c != '\t') return false;
    i += length;
  }
  return true;
}

// Reads as VBA: every line valid text; procedures opened as often as closed
// (of a conditional compilation, the first branch).
void ExpectVba(const std::string& name, const std::string& text) {
  ASSERT_EQ(text.rfind("Attribute VB_Name = \"" + name + "\"\r\n", 0), 0u) << name << ": " << text.substr(0, 80);
  static const std::regex opens(R"(^(Public |Private |Friend )?(Static )?(Sub|Function|Property (Get|Let|Set)) )",
                                std::regex::icase);
  static const std::regex closes(R"(^End (Sub|Function|Property)\b)", std::regex::icase);
  int depth = 0;
  std::vector<bool> skipping;  // per #If: past its first branch
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 2;
    EXPECT_TRUE(ValidUtf8Text(line)) << name << ": " << line;
    line.erase(0, line.find_first_not_of(" \t"));
    if (line.rfind("#If ", 0) == 0) skipping.push_back(false);
    if ((line.rfind("#Else", 0) == 0) && !skipping.empty()) skipping.back() = true;
    if (line.rfind("#End If", 0) == 0 && !skipping.empty()) skipping.pop_back();
    if (std::find(skipping.begin(), skipping.end(), true) != skipping.end()) continue;
    if (std::regex_search(line, opens)) ++depth;
    if (std::regex_search(line, closes)) --depth;
    ASSERT_GE(depth, 0) << name << ": an End before its start: " << line;
    ASSERT_LE(depth, 1) << name << ": a procedure inside another: " << line;
  }
  EXPECT_EQ(depth, 0) << name << ": a procedure without its End";
}

TEST(AccessObjectsTest, EverySampleObjectComesBackAndEveryModuleReadsAsVba) {
  const std::vector<std::filesystem::path> files = ObjectSamples();
  if (files.empty()) GTEST_SKIP() << "samples with objects not found (set MENDORA_CORPUS_OBJECTS)";
  size_t modules = 0;
  for (const std::filesystem::path& file : files) {
    SCOPED_TRACE(file.filename().string());
    JetHandlePtr handle = OpenJetHandle(file.string());
    ASSERT_TRUE(handle);
    const std::set<Expected> expected = ExpectedObjects(file, *handle);

    ObjectRecorder recorder;
    RecoverySession session;
    session.options.source_path = file.string();
    session.options.outputs.push_back(&recorder);
    ASSERT_EQ(RunRecovery(session).outcome, PassOutcome::kCompleted);
    std::map<Expected, const OutputObject*> got;
    for (const OutputObject& object : recorder.objects) got[{object.kind, object.name}] = &object;
    for (const Expected& object : expected) {
      const auto found = got.find(object);
      ASSERT_NE(found, got.end()) << object.kind << " " << object.name;
      EXPECT_TRUE(found->second->recovered) << object.kind << " " << object.name;
      EXPECT_FALSE(found->second->data.empty() && found->second->text.empty()) << object.name;
    }
    for (const OutputObject& object : recorder.objects) {
      if (object.kind != "module") continue;
      ++modules;
      ExpectVba(object.name, object.text);
    }
    EXPECT_GT(recorder.storage_rows, 0u);
    // Reports are reports, not linked tables; an undamaged file loses none
    // of its objects.
    EXPECT_EQ(session.results.analysis_log.find("linked"), std::string::npos);
    for (const std::string& line : session.results.losses.lines()) {
      for (const Expected& object : expected) EXPECT_EQ(line.find(" " + object.name + " "), std::string::npos) << line;
    }
    if (file.filename() == "obj-ace2007-vbaexamples-en.accdb") {
      EXPECT_NE(session.results.analysis_log.find(
                    "\r\nForms: 13, Reports: 8, Macros: 3, Modules: 12, the source of 12 recovered"),
                std::string::npos);
    }
  }
  EXPECT_GE(modules, 113u);  // 112 modules of the samples and Northwind's one, besides those of forms
}

// The pages that hold the object table's rows and long values.
std::vector<uint32_t> StoragePages(const std::string& path) {
  JetHandlePtr handle = OpenJetHandle(path);
  const ObjectCatalog catalog = ScanObjectCatalog(*handle);
  const uint32_t owner = static_cast<uint32_t>(catalog.storage_table != 0 ? catalog.storage_table : catalog.objects_table);
  std::vector<uint32_t> pages;
  for (uint32_t page = 0; page < handle->PageCount(); ++page) {
    if (ReadPage(*handle, page) == 0 || handle->page[0] != kDataPageType) continue;
    const bool long_values = std::memcmp(handle->page.data() + 4, "LVAL", 4) == 0;
    if (handle->Page().U32(4).value_or(0) == owner || long_values) pages.push_back(page);
  }
  return pages;
}

TEST(AccessObjectsTest, DamagedCopiesNameEveryObjectTheyLose) {
  const std::vector<std::filesystem::path> files = ObjectSamples();
  if (files.empty()) GTEST_SKIP() << "samples with objects not found (set MENDORA_CORPUS_OBJECTS)";
  std::mt19937 random(20260517);
  size_t lost = 0;
  for (const std::filesystem::path& file : files) {
    std::ifstream in(file, std::ios::binary);
    const std::vector<uint8_t> original((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    JetHandlePtr undamaged = OpenJetHandle(file.string());
    const std::set<Expected> expected = ExpectedObjects(file, *undamaged);
    const uint32_t page_size = undamaged->PageSize();
    const std::vector<uint32_t> pages = StoragePages(file.string());
    ASSERT_FALSE(pages.empty()) << file;
    // A third of the storage's pages, one of them, and all of them, zeroed.
    for (const int share : {3, 0, 1}) {
      SCOPED_TRACE(file.filename().string() + " share " + std::to_string(share));
      std::vector<uint8_t> copy = original;
      for (size_t i = 0; i < pages.size(); ++i) {
        const bool zero = share == 0 ? i == random() % pages.size() : random() % share == 0;
        if (zero) std::fill_n(copy.begin() + static_cast<std::ptrdiff_t>(pages[i]) * page_size, page_size, 0);
      }
      TempDatabase damaged(copy);
      JetHandlePtr handle = OpenJetHandle(damaged.path());
      ASSERT_TRUE(handle);
      IgnoreDamage quiet;
      handle->damage = &quiet;
      // The catalog is intact: it still names every object.
      const AccessObjects objects = ReadAccessObjects(*handle, ScanObjectCatalog(*handle));
      for (const Expected& object : expected) {
        const auto found = std::find_if(objects.objects.begin(), objects.objects.end(), [&](const AccessObject& o) {
          return AccessObjectKindName(o.kind) == object.kind && o.name == object.name;
        });
        ASSERT_NE(found, objects.objects.end()) << object.name;
        if (found->recovered) continue;
        ++lost;
        const bool named = std::any_of(objects.losses.begin(), objects.losses.end(), [&](const std::string& line) {
          return line.find(" " + object.name + " ") != std::string::npos && line.find(found->loss) != std::string::npos;
        });
        EXPECT_TRUE(named) << object.kind << " " << object.name << " lost without a line";
      }
      // The whole pass takes the damage too.
      RecoverySession session;
      session.options.source_path = damaged.path();
      session.options.loss_details = nullptr;
      const PassResult result = RunRecovery(session);
      EXPECT_TRUE(result.outcome == PassOutcome::kCompleted || result.outcome == PassOutcome::kNothingRecovered);
    }
  }
  EXPECT_GT(lost, 0u);  // the damage did cost objects, and each was named
}

}  // namespace
}  // namespace mendora
