// Nothing appears at the target path before Close, and nothing is left
// behind by a target that was abandoned or could not be made.
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "output/common/target_file.h"

#include "engine_test_util.h"

namespace mendora::testing {
namespace {

std::string Contents(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

class TargetFileTest : public ::testing::Test {
 protected:
  // Creates the target with one table holding one row.
  std::unique_ptr<EngineDatabase> Build(bool replace_existing) {
    auto db = std::make_unique<SqliteDatabase>();
    db->Create(target_, replace_existing);
    MakeTable(*db, "T", {{"A", "LONG"}});
    db->Execute("INSERT INTO T VALUES (1)");
    return db;
  }

  ScratchDir dir_;
  std::string target_ = dir_.File("out.sqlite");
};

TEST_F(TargetFileTest, TargetAppearsOnlyOnCloseAsAPlainDatabase) {
  ::umask(022);
  auto db = Build(false);
  std::set<std::string> during = dir_.Names();
  ASSERT_EQ(during.size(), 1u);
  EXPECT_EQ(during.begin()->rfind("out.sqlite.mendora-", 0), 0u) << *during.begin();
  db->Close();
  EXPECT_FALSE(db->IsOpen());
  EXPECT_EQ(dir_.Names(), (std::set<std::string>{"out.sqlite"}));
  EXPECT_EQ(Rows(target_, "PRAGMA journal_mode"), (std::vector<std::string>{"delete"}));
  EXPECT_EQ(Rows(target_, "PRAGMA integrity_check"), (std::vector<std::string>{"ok"}));
  EXPECT_EQ(Rows(target_, "SELECT A FROM T"), (std::vector<std::string>{"1"}));
  struct stat info {};
  ASSERT_EQ(::stat(target_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0644u);  // as the umask says, not mkstemp's 0600
}

TEST_F(TargetFileTest, AbandonAndDestructionLeaveNothing) {
  auto db = Build(false);
  db->Abandon();
  EXPECT_FALSE(db->IsOpen());
  EXPECT_TRUE(dir_.Names().empty());
  Build(false).reset();
  EXPECT_TRUE(dir_.Names().empty());
  EXPECT_THROW(db->Close(), EngineError);
}

TEST_F(TargetFileTest, ExistingFileIsKeptUnlessReplacingWasAsked) {
  WriteFile(target_, "precious");
  EXPECT_THROW(Build(false), EngineError);
  EXPECT_EQ(dir_.Names(), (std::set<std::string>{"out.sqlite"}));

  auto db = Build(true);
  EXPECT_EQ(Contents(target_), "precious");  // still, until Close
  db->Close();
  EXPECT_EQ(Rows(target_, "SELECT A FROM T"), (std::vector<std::string>{"1"}));
  EXPECT_EQ(dir_.Names(), (std::set<std::string>{"out.sqlite"}));
}

TEST_F(TargetFileTest, FileAppearingDuringThePassIsNotClobbered) {
  auto db = Build(false);
  WriteFile(target_, "arrived meanwhile");
  EXPECT_THROW(db->Close(), EngineError);
  EXPECT_FALSE(db->IsOpen());
  EXPECT_EQ(Contents(target_), "arrived meanwhile");
  EXPECT_EQ(dir_.Names(), (std::set<std::string>{"out.sqlite"}));
}

TEST_F(TargetFileTest, UnwritablePlacesFailCleanly) {
  std::vector<std::string> places = {dir_.File("missing/out.sqlite"), "/proc/mendora-out.sqlite"};
  std::string locked = dir_.File("locked");
  ::mkdir(locked.c_str(), 0555);
  if (::geteuid() != 0) places.push_back(locked + "/out.sqlite");  // root writes anyway
  for (const std::string& path : places) {
    auto db = std::make_unique<SqliteDatabase>();
    EXPECT_THROW(db->Create(path, false), EngineError) << path;
    EXPECT_FALSE(db->IsOpen());
  }
  EXPECT_EQ(dir_.Names(), (std::set<std::string>{"locked"}));
  if (::geteuid() != 0) {
    EXPECT_TRUE(std::filesystem::is_empty(locked));
  }
}

TEST_F(TargetFileTest, CloseFailsWhenTheDirectoryIsGone) {
  std::string sub = dir_.File("sub");
  std::filesystem::create_directory(sub);
  target_ = sub + "/out.sqlite";
  auto db = Build(false);
  std::filesystem::remove_all(sub);
  EXPECT_THROW(db->Close(), EngineError);
  EXPECT_FALSE(db->IsOpen());
}

TEST_F(TargetFileTest, OnlyARegularFileIsReplaced) {
  ASSERT_EQ(::mkfifo(target_.c_str(), 0600), 0);
  EXPECT_THROW(Build(true), EngineError);
  EXPECT_EQ(dir_.Names(), (std::set<std::string>{"out.sqlite"}));
  std::filesystem::remove(target_);

  // A FIFO put there while the pass runs is not replaced by the move either.
  auto db = Build(true);
  ASSERT_EQ(::mkfifo(target_.c_str(), 0600), 0);
  EXPECT_THROW(db->Close(), EngineError);
  EXPECT_TRUE(std::filesystem::is_fifo(target_));
  EXPECT_EQ(dir_.Names(), (std::set<std::string>{"out.sqlite"}));
}

TEST_F(TargetFileTest, ACheckThatThrowsAtTheLastMomentStopsTheMove) {
  for (const int throw_at : {1, 2}) {
    auto db = Build(false);
    int calls = 0;
    db->SetPublishCheck([&] {
      if (++calls == throw_at) throw std::runtime_error("cancelled");
    });
    EXPECT_THROW(db->Close(), std::runtime_error);
    EXPECT_EQ(calls, throw_at);  // after the commit, then right before the move
    EXPECT_TRUE(dir_.Names().empty());
  }
}

TEST_F(TargetFileTest, LeftoversOfKilledSavesGoButLiveFilesStay) {
  const std::string dead = target_ + ".mendora-Ab3dE6gH";
  WriteFile(dead, "killed mid-save");
  WriteFile(dead + "-journal", "its journal");
  WriteFile(target_ + ".mendora-short", "not a name a save makes");
  WriteFile(dir_.File("other.sqlite.mendora-Ab3dE6gH"), "another target's");
  EXPECT_EQ(RemoveLeftoverFiles(target_), std::vector<std::string>{dead});
  EXPECT_EQ(dir_.Names(), (std::set<std::string>{"out.sqlite.mendora-short", "other.sqlite.mendora-Ab3dE6gH"}));

  // A save that is running holds the lock on its file.
  auto live = std::make_unique<SqliteDatabase>();
  live->Create(target_, false);
  const std::set<std::string> during = dir_.Names();
  EXPECT_EQ(during.size(), 3u);
  EXPECT_TRUE(RemoveLeftoverFiles(target_).empty());
  EXPECT_EQ(dir_.Names(), during);
  live->Abandon();
  EXPECT_EQ(dir_.Names(), (std::set<std::string>{"out.sqlite.mendora-short", "other.sqlite.mendora-Ab3dE6gH"}));
}

// A full disk ends the save; a refused value or row does not.
TEST_F(TargetFileTest, AFullTargetIsBrokenWhereARefusedRowIsNot) {
  auto db = Build(false);
  db->Execute("CREATE TABLE K (id INTEGER PRIMARY KEY, blob TEXT)");
  auto rs = db->NewRecordset();
  OpenAll(*rs, "K", 2);
  AddRow(*rs, {I(1), N()});
  EXPECT_THROW(AddRow(*rs, {I(1), N()}), EngineError);  // the key repeats: this row only

  db->Execute("PRAGMA max_page_count = 20");
  const std::string text(4000, 'x');
  bool broken = false;
  for (int i = 2; i < 200 && !broken; ++i) {
    try {
      AddRow(*rs, {I(i), T(text)});
    } catch (const TargetBroken& error) {
      broken = true;
      EXPECT_NE(std::string(error.what()).find("full"), std::string::npos) << error.what();
    }
  }
  EXPECT_TRUE(broken);
  db->Abandon();
}

}  // namespace
}  // namespace mendora::testing
