// Claiming and releasing the folders a run works in: the steps against a
// model of the disk, and the real steps of this platform.
#include "stub/WorkDir.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "util/FileIO.h"
#include "util/Files.h"

using WorkDir::TClaim;

namespace {

// One folder name on a model disk.
struct TFolder {
  bool exists = false;
  int files = 0;               // entries inside
  bool heldByOther = false;    // another run holds it
  bool undeletable = false;    // a file inside cannot be deleted (locked, not ours)
  bool takenAfterClear = false;  // another process creates it right after our emptying
  bool holdFails = false;
};

class TModelDisk {
 public:
  std::map<std::string, TFolder> folders;
  std::set<std::string> held;
  std::vector<std::string> log;  // what was done, in order

  WorkDir::TOps Ops() {
    WorkDir::TOps ops;
    ops.exists = [this](const std::string& d) { return folders[d].exists; };
    ops.heldByOther = [this](const std::string& d) { return folders[d].heldByOther; };
    ops.clear = [this](const std::string& d) {
      TFolder& f = folders[d];
      log.push_back("clear " + d);
      if (f.undeletable) {
        f.files = 1;
        return false;
      }
      f.files = 0;
      f.exists = held.count(d) > 0;  // a held folder stays, empty
      return !f.exists;
    };
    ops.makeFresh = [this](const std::string& d) {
      TFolder& f = folders[d];
      if (f.takenAfterClear) f.exists = true;  // the other process was quicker
      if (f.exists) return false;
      f.exists = true;
      log.push_back("create " + d);
      return true;
    };
    ops.hold = [this](const std::string& d) {
      if (folders[d].holdFails) return false;
      held.insert(d);
      return true;
    };
    ops.unhold = [this](const std::string& d) { held.erase(d); };
    ops.isEmpty = [this](const std::string& d) { return folders[d].files == 0; };
    ops.removeEmpty = [this](const std::string& d) {
      TFolder& f = folders[d];
      if (f.files != 0 || held.count(d)) return false;
      f.exists = false;
      log.push_back("remove " + d);
      return true;
    };
    return ops;
  }
};

TEST(WorkDir, ClaimCases) {
  struct Case {
    const char* what;
    TFolder folder;
    TClaim expected;
    bool clearTried;
  } cases[] = {
      {"no folder of that name", {}, TClaim::Claimed, false},
      {"a left-over folder", {true, 3}, TClaim::Claimed, true},
      {"held by another run: nothing of it deleted", {true, 3, true}, TClaim::HeldByOther, false},
      {"a file that cannot be deleted", {true, 3, false, true}, TClaim::NotEmptied, true},
      {"created by someone else after the emptying", {true, 3, false, false, true}, TClaim::NotCreated, true},
      {"cannot be held", {false, 0, false, false, false, true}, TClaim::NotHeld, false},
  };
  for (const Case& c : cases) {
    TModelDisk disk;
    disk.folders["W"] = c.folder;
    EXPECT_EQ(WorkDir::Claim("W", disk.Ops()), c.expected) << c.what;
    EXPECT_EQ(disk.log.size() > 0 && disk.log[0] == "clear W", c.clearTried) << c.what;
    EXPECT_EQ(disk.held.count("W") == 1, c.expected == TClaim::Claimed) << c.what;
    if (c.expected == TClaim::Claimed) {
      EXPECT_EQ(disk.log.back(), "create W") << c.what;  // a fresh folder of this process
      EXPECT_EQ(disk.folders["W"].files, 0) << c.what;
    }
    if (c.expected == TClaim::NotHeld) {
      EXPECT_FALSE(disk.folders["W"].exists) << c.what;
    }
  }
  TModelDisk disk;
  EXPECT_EQ(WorkDir::Claim("", disk.Ops()), TClaim::NotCreated);
  EXPECT_TRUE(disk.log.empty());
}

TEST(WorkDir, TheFirstFreeNameIsTakenAndTheOwnFolderSkipped) {
  TModelDisk disk;
  disk.folders["S"] = {true, 2, true};         // another run works here
  disk.folders["S_1"] = {true, 1};             // the own folder of a Y_ copy
  disk.folders["S_2"] = {true, 1, false, true};  // a locked left-over
  disk.folders["S_3"] = {true, 4};             // a left-over that can go
  std::vector<std::pair<std::string, TClaim>> tried;
  EXPECT_EQ(WorkDir::ClaimFirst({"S", "S_1", "S_2", "S_3", "S_4"}, "s_1\\", disk.Ops(), &tried), "S_3");
  ASSERT_EQ(tried.size(), 3u);
  EXPECT_EQ(tried[0].second, TClaim::HeldByOther);
  EXPECT_EQ(tried[1].second, TClaim::NotEmptied);
  EXPECT_EQ(tried[2].second, TClaim::Claimed);
  EXPECT_EQ(disk.folders["S"].files, 2);    // the other run's files are untouched
  EXPECT_EQ(disk.folders["S_1"].files, 1);  // never emptied
  EXPECT_FALSE(disk.folders["S_4"].exists);

  TModelDisk full;
  for (const char* name : {"A", "B"}) full.folders[name] = {true, 1, true};
  EXPECT_EQ(WorkDir::ClaimFirst({"A", "B"}, "", full.Ops()), "");
}

TEST(WorkDir, ReleaseRemovesTheFolderOnlyOnceItIsEmpty) {
  TModelDisk disk;
  ASSERT_EQ(WorkDir::Claim("W", disk.Ops()), TClaim::Claimed);
  disk.folders["W"].files = 5;
  EXPECT_TRUE(WorkDir::Release("W", disk.Ops()));
  EXPECT_FALSE(disk.folders["W"].exists);
  EXPECT_TRUE(disk.held.empty());
  // Emptied while still held; removed only after letting go.
  EXPECT_EQ(disk.log, (std::vector<std::string>{"create W", "clear W", "remove W"}));

  // A file that stays: the folder stays held, so that nobody else takes it
  // while it still holds this run's files; a later release tries again.
  TModelDisk locked;
  ASSERT_EQ(WorkDir::Claim("W", locked.Ops()), TClaim::Claimed);
  locked.folders["W"].undeletable = true;
  EXPECT_FALSE(WorkDir::Release("W", locked.Ops()));
  EXPECT_EQ(locked.held.count("W"), 1u);
  locked.folders["W"].undeletable = false;
  EXPECT_TRUE(WorkDir::Release("W", locked.Ops()));
  EXPECT_TRUE(locked.held.empty());
}

TEST(WorkDir, AdoptHoldsWithoutEmptying) {
  TModelDisk disk;
  disk.folders["Y"] = {true, 1};
  EXPECT_TRUE(WorkDir::Adopt("Y", disk.Ops()));
  EXPECT_EQ(disk.held.count("Y"), 1u);
  EXPECT_TRUE(disk.log.empty());
  EXPECT_FALSE(WorkDir::Adopt("missing", disk.Ops()));
  EXPECT_FALSE(WorkDir::Adopt("", disk.Ops()));
}

// The real steps: a left-over folder is emptied and made anew; a folder
// held by this run is released with its contents.
TEST(WorkDir, SystemClaimAndRelease) {
  testsupport::TScratchDir scratch;
  const std::string dir = scratch.File("SETUP_1");
  ASSERT_TRUE(Files::CreateDirTree(dir + "\\sub"));
  ASSERT_TRUE(Files::WriteFile(dir + "\\sub\\old.txt", "left over"));
  const WorkDir::TOps& ops = WorkDir::SystemOps();
  ASSERT_EQ(WorkDir::Claim(dir, ops), TClaim::Claimed);
  EXPECT_TRUE(Files::platform::ListDir(dir).empty());
  ASSERT_TRUE(Files::WriteFile(dir + "\\Engine.exe", "engine"));
  EXPECT_TRUE(WorkDir::Release(dir, ops));
  EXPECT_FALSE(DirExists(dir));

  // A file of that name is somebody's file: not deleted, the name not used.
  const std::string file = scratch.File("SETUP_2");
  ASSERT_TRUE(Files::WriteFile(file, "keep"));
  EXPECT_NE(WorkDir::Claim(file, ops), TClaim::Claimed);
  EXPECT_EQ(ReadWholeFile(file), "keep");
}

}  // namespace
