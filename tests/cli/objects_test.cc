// mendora-cli objects writes every form, report, macro and module of the
// samples where it says, and a save keeps the same objects in
// mendora_objects.
#include "cli/objects_command.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/commands.h"
#include "tests/support/corpus.h"

namespace mendora {
namespace {

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(ObjectsCommandTest, WritesEveryObjectAndTheSaveKeepsThem) {
  const auto dir = testing::ObjectsCorpusDir();
  if (!dir) GTEST_SKIP() << "samples with objects not found (set MENDORA_CORPUS_OBJECTS)";
  cli::SetQuiet(true);
  for (const char* sample : {"obj-ace2007-vbaexamples-en.accdb", "obj-jet4-agenda-pt.mdb"}) {
    SCOPED_TRACE(sample);
    const std::filesystem::path file = *dir / sample;
    const std::filesystem::path out_dir = std::filesystem::temp_directory_path() / ("mendora-objects-" + std::to_string(getpid()));
    std::filesystem::remove_all(out_dir);
    std::ostringstream listing;
    ASSERT_EQ(cli::RunObjects(file.string(), out_dir.string(), listing), 0);

    std::ifstream json(*dir / "expected" / (file.stem().string() + ".json"));
    const nlohmann::json expected = nlohmann::json::parse(json).at("objects");
    for (const auto& object : expected) {
      const std::string kind = object.at("kind");
      const std::string name = object.at("name");
      const std::filesystem::path folder = out_dir / (kind + "s");
      if (kind == "module") {
        const bool standard = std::filesystem::exists(folder / (name + ".bas"));
        const std::string source = ReadFile(folder / (name + (standard ? ".bas" : ".cls")));
        EXPECT_EQ(source.rfind("Attribute VB_Name = \"" + name + "\"", 0), 0u) << name;
      } else if (kind == "macro") {
        EXPECT_TRUE(std::filesystem::exists(folder / (name + ".xml")) || std::filesystem::exists(folder / (name + ".txt")))
            << name;
      } else {
        EXPECT_GT(std::filesystem::file_size(folder / (name + "." + kind)), 0u) << name;
        EXPECT_NE(ReadFile(folder / (name + ".txt")).find(name), std::string::npos) << name;
      }
      EXPECT_NE(listing.str().find(" " + name + "  ->  " + kind + "s/"), std::string::npos) << name;
    }
    // Nothing half-written stays behind.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(out_dir)) {
      EXPECT_NE(entry.path().extension(), ".partial") << entry.path();
    }

    const std::filesystem::path target = out_dir / "saved.sqlite";
    std::ostringstream log;
    // (One sample's tables lose defaults SQLite cannot express: exit 4.)
    const int saved = cli::RunRecover(file.string(), target.string(), false, log);
    ASSERT_TRUE(saved == 0 || saved == cli::kExitLosses) << saved;
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(target.c_str(), &db), SQLITE_OK);
    sqlite3_stmt* query = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT count(*) FROM mendora_objects WHERE kind = ?1 AND name = ?2 AND recovered = 1 "
                                     "AND file_name LIKE ?1 || 's/%' AND (text IS NOT NULL OR data IS NOT NULL)",
                                 -1, &query, nullptr),
              SQLITE_OK);
    for (const auto& object : expected) {
      const std::string kind = object.at("kind");
      const std::string name = object.at("name");
      sqlite3_bind_text(query, 1, kind.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(query, 2, name.c_str(), -1, SQLITE_TRANSIENT);
      ASSERT_EQ(sqlite3_step(query), SQLITE_ROW);
      EXPECT_EQ(sqlite3_column_int(query, 0), 1) << kind << " " << name;
      sqlite3_reset(query);
    }
    sqlite3_finalize(query);
    sqlite3_close(db);
    std::filesystem::remove_all(out_dir);
  }
  cli::SetQuiet(false);
}

}  // namespace
}  // namespace mendora

namespace mendora {
namespace {

// Access's own objects carry the top bit of the catalog's 16-bit type:
// read as one byte, a report (-32764) passed for an ODBC table (4).
TEST(ObjectsCommandTest, TheCatalogTypesAccessObjectsAsStored) {
  const auto dir = testing::CorpusDir();
  if (!dir || !std::filesystem::exists(*dir / "jet4-northwind.mdb")) GTEST_SKIP() << "Northwind not found (set MENDORA_CORPUS)";
  const std::string file = (*dir / "jet4-northwind.mdb").string();
  std::ostringstream catalog;
  ASSERT_EQ(cli::RunCatalog(file, catalog), 0);
  for (const auto& [type, name] : {std::pair{"-32764", "Summary of Sales by Year"}, std::pair{"-32764", "Summary of Sales by Quarter"},
                                   std::pair{"-32761", "Northwind Help Function"}}) {
    const size_t line = catalog.str().find(std::string("  ") + name + "\n");
    ASSERT_NE(line, std::string::npos) << name;
    const size_t start = catalog.str().rfind('\n', line) + 1;
    EXPECT_NE(catalog.str().substr(start, line - start).find(type), std::string::npos) << catalog.str().substr(start, line - start);
  }
  std::ostringstream log;
  cli::SetQuiet(true);
  EXPECT_EQ(cli::RunAnalyze(file, log), 0);
  cli::SetQuiet(false);
  EXPECT_EQ(log.str().find("linked"), std::string::npos);
  EXPECT_NE(log.str().find("Forms: 0, Reports: 2, Macros: 0, Modules: 1, the source of 1 recovered"), std::string::npos);
}

}  // namespace
}  // namespace mendora
