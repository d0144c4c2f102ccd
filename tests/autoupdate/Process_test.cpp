// Matching running processes to a path, the process list and the choice of
// a process's main window.
#include "autoupdate/Process.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "util/VxSUB.h"

namespace {

const TProcessInfo kProduct{100, "Product.exe", "C:\\Program Files\\Acme\\Product.exe",
                            "C:\\PROGRA~1\\Acme\\Product.exe"};

TEST(ProcessMatch, PathRules) {
  struct Case {
    const char* what;
    TProcessInfo process;
    std::string path, pathShort;
    bool fullPathOnly, expected;
  } cases[] = {
      {"full path", kProduct, "C:\\Program Files\\Acme\\Product.exe", "", true, true},
      {"other case, blanks", kProduct, "  c:\\program files\\ACME\\product.EXE ", "", true, true},
      {"file name", kProduct, "product.exe", "", false, true},
      {"file name, full path only", kProduct, "Product.exe", "", true, false},
      {"short forms", kProduct, "C:\\Other\\Link.exe", "c:\\progra~1\\acme\\product.exe", true, true},
      {"other folder", kProduct, "C:\\Other\\Product.exe", "", true, false},
      {"both without short form", {7, "a.exe", "", ""}, "C:\\missing\\a.exe", "", true, false},
      {"placeholder given as path", {7, "*X*", "", ""}, "*X*", "", false, false},
      {"placeholder given as short form", {7, "a.exe", "C:\\a.exe", "*XX*"}, "C:\\b.exe", "*XX*",
       true, false},
      {"name replaced when full path only", {7, "*X*", "", ""}, "*X*", "", true, false},
      {"empty path vs unreadable process", {7, "a.exe", "", ""}, "", "", false, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ProcessMatchesPath(c.process, c.path, c.pathShort, c.fullPathOnly), c.expected)
        << c.what;
}

TEST(ProcessMatch, Placeholders) {
  EXPECT_EQ(ShortFormOrPlaceholder(""), "*XX*");
  EXPECT_EQ(ShortFormOrPlaceholder(" "), "*XX*");
  EXPECT_EQ(ShortFormOrPlaceholder("C:\\A~1"), "C:\\A~1");
  EXPECT_FALSE(SameProcessName("*XX*", "*XX*"));
  EXPECT_FALSE(SameProcessName("*X*", "*X*"));
  EXPECT_FALSE(SameProcessName("", ""));
  EXPECT_TRUE(SameProcessName(" A.EXE", "a.exe "));
}

TEST(ProcessMatch, PathParts) {
  EXPECT_EQ(NormalizeProcessPath("  \"C:\\A B\\x.exe\"  "), "C:\\A B\\x.exe");
  EXPECT_EQ(NormalizeProcessPath("\" C:\\x.exe \""), "C:\\x.exe");
  EXPECT_EQ(ProcessFileName("C:\\A B\\x.exe"), "x.exe");
  EXPECT_EQ(ProcessFileName("C:x.exe"), "x.exe");
  EXPECT_EQ(ProcessFileName("/usr/bin/x"), "x");
  EXPECT_EQ(ProcessFileName("x.exe"), "x.exe");
  EXPECT_EQ(ProcessFileName("C:\\dir\\"), "");
}

// Two copies of one program in different folders, one unrelated program, the
// idle process and one whose path cannot be read.
const std::vector<TProcessInfo> kSystem = {
    {0, "[System Process]", "", ""},
    {11, "tool.exe", "C:\\A\\tool.exe", "C:\\A\\tool.exe"},
    {22, "Tool.EXE", "C:\\B\\Tool.exe", "C:\\B\\Tool.exe"},
    {33, "other.exe", "C:\\Other Dir\\other.exe", "C:\\OTHERD~1\\other.exe"},
    {44, "secret.exe", "", ""},
};

TEST(ProcessLookup, FindProcessIdTakesTheLastMatch) {
  struct Case {
    std::string path, pathShort;
    bool fullPathOnly;
    uint32_t expected;
  } cases[] = {
      {"C:\\A\\tool.exe", "C:\\A\\tool.exe", true, 11},
      {"C:\\b\\tool.exe", "", true, 22},
      {"\"C:\\A\\tool.exe\"", "", true, 11},
      {"tool.exe", "", false, 22},  // both copies match by name: the last wins
      {"tool.exe", "", true, 0},
      {"C:\\x\\y.exe", "C:\\OTHERD~1\\OTHER.EXE", true, 33},
      {"secret.exe", "", false, 44},
      {"C:\\secret.exe", "", true, 0},
      {"", "", false, 0},
      {"[System Process]", "", false, 0},  // id 0 is never a result
      {"C:\\missing.exe", "", false, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FindProcessIdIn(kSystem, c.path, c.pathShort, c.fullPathOnly), c.expected) << c.path;
}

// A path with a folder names one program: a program of the same name in
// another folder is neither counted as running nor ended.
TEST(ProcessLookup, RunningAndTerminateGoByFullPath) {
  struct Case {
    std::string path, pathShort;
    bool running;
    uint32_t terminateId;
  } cases[] = {
      {"C:\\Elsewhere\\TOOL.exe", "", false, 0},  // same name, another folder
      {"\"C:\\Program Files\\tool.exe\"", "", false, 0},
      {"c:\\a\\TOOL.EXE", "", true, 11},
      {"\"C:\\B\\Tool.exe\"", "", true, 22},
      {"C:/B/Tool.exe", "", true, 22},
      {"C:\\B\\\\Tool.exe", "", true, 22},
      {"\\\\?\\C:\\B\\Tool.exe", "", true, 22},
      {"  other.exe  ", "", true, 0},  // a bare name is running by name, but ends nothing
      {"C:\\x\\renamed.exe", "C:\\OTHERD~1\\other.exe", true, 33},  // short forms
      {"C:\\x\\missing.exe", "", false, 0},
      {"", "", false, 0},
      {"\"\"", "", false, 0},
      {"C:\\dir\\", "", false, 0},
      {"C:\\secret.exe", "", false, 0},  // its path is unreadable
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsProcessRunningIn(kSystem, c.path, c.pathShort), c.running) << c.path;
    EXPECT_EQ(ProcessIdToTerminateIn(kSystem, c.path, c.pathShort), c.terminateId) << c.path;
  }
}

TEST(ProcessLookup, OnlyTheProcessesOfTheOwnSessionTakePart) {
  auto in = [](uint32_t id, const char* path, bool known, uint32_t session) {
    TProcessInfo p{id, ProcessFileName(path), path, ""};
    p.sessionKnown = known;
    p.sessionId = session;
    return p;
  };
  const std::vector<TProcessInfo> all = {
      in(1, "C:\\P\\app.exe", true, 2),   // another user's copy, listed first
      in(2, "C:\\P\\app.exe", true, 1),   // ours
      in(3, "C:\\P\\app.exe", false, 0),  // session unknown
      in(4, "C:\\P\\tool.exe", true, 2),
  };
  const std::vector<TProcessInfo> own = ProcessesOfSession(all, 1);
  ASSERT_EQ(own.size(), 1u);
  EXPECT_EQ(own[0].id, 2u);
  EXPECT_EQ(ProcessIdToTerminateIn(own, "C:\\P\\app.exe", ""), 2u);
  EXPECT_FALSE(IsProcessRunningIn(own, "C:\\P\\tool.exe", ""));
  EXPECT_FALSE(IsProcessRunningIn(own, "tool.exe", ""));
  EXPECT_EQ(FindProcessIdIn(own, "app.exe", "", false), 2u);
  EXPECT_TRUE(ProcessesOfSession(all, 7).empty());
}

TEST(ProcessMatch, CanonicalPaths) {
  struct {
    const char* path;
    const char* canonical;
  } cases[] = {
      {" \"C:\\A B\\x.exe\" ", "C:\\A B\\x.exe"},
      {"C:/A/x.exe", "C:\\A\\x.exe"},
      {"C:\\A\\\\x.exe", "C:\\A\\x.exe"},
      {"\\\\?\\C:\\A\\x.exe", "C:\\A\\x.exe"},
      {"\\\\?\\UNC\\srv\\share\\x.exe", "\\\\srv\\share\\x.exe"},
      {"\\\\srv\\share\\x.exe", "\\\\srv\\share\\x.exe"},
      {"x.exe", "x.exe"},
  };
  for (auto c : cases) EXPECT_EQ(CanonicalProcessPath(c.path), c.canonical) << c.path;
  EXPECT_TRUE(IsBareFileName("x.exe"));
  EXPECT_FALSE(IsBareFileName("C:x.exe"));
  EXPECT_FALSE(IsBareFileName(".\\x.exe"));
}

TEST(ProcessLookup, ProcessListOneEntryPerName) {
  const std::string names = BuildProcessList(kSystem, false);
  EXPECT_EQ(names, "|System Idle Process=0|tool.exe=11|other.exe=33|secret.exe=44|");
  EXPECT_EQ(SUB::GetValue(names, "TOOL.EXE"), "11");

  const std::string paths = BuildProcessList(kSystem, true);
  EXPECT_EQ(paths,
            "|System Idle Process=0|C:\\A\\tool.exe=11|C:\\B\\Tool.exe=22|"
            "C:\\Other Dir\\other.exe=33|");
  EXPECT_EQ(BuildProcessList({}, false), "");
}

TEST(ProcessLookup, ProcessListChoosesAFreeDelimiter) {
  const std::vector<TProcessInfo> odd = {{5, "a|b.exe", "", ""}, {6, "c.exe", "", ""}};
  const std::string list = BuildProcessList(odd, false);
  ASSERT_EQ(SUB::ItemCount(list), 2) << list;
  EXPECT_EQ(SUB::GetItem(list, 0), "a|b.exe=5");
}

// ---------------------------------------------------------------------------

TWindowFacts Win(TWindowHandle h, TWindowHandle owner, bool visible, bool titled) {
  return TWindowFacts{h, owner, visible, titled};
}

TEST(Analizer, FrameBeatsToolWindowAndOwnedDialog) {
  TAnalizer a(42);
  ASSERT_TRUE(a.Add(Win(1, 0, false, false)));  // hidden untitled tool window
  ASSERT_TRUE(a.Add(Win(2, 3, true, true)));    // dialog owned by the frame
  ASSERT_TRUE(a.Add(Win(3, 0, true, true)));    // the frame
  EXPECT_EQ(a.MainWindow(), 3u);
  EXPECT_EQ(a.ScoreOf(0), 1 * 4);
  EXPECT_EQ(a.ScoreOf(1), 0 * 4 + 2 + 1);
  EXPECT_EQ(a.ScoreOf(2), 2 * 4 + 2 + 1);
  EXPECT_EQ(a.ProcessId(), 42u);
}

TEST(Analizer, ScoringCases) {
  using Owners = std::map<TWindowHandle, TWindowHandle>;
  struct Case {
    const char* what;
    std::vector<TWindowFacts> windows;
    Owners outside;  // owners of windows that are not collected
    TWindowHandle expected;
  } cases[] = {
      {"no windows", {}, {}, 0},
      {"equal scores: first collected", {Win(5, 0, true, true), Win(6, 0, true, true)}, {}, 5},
      {"title outweighs visibility", {Win(5, 0, true, false), Win(6, 0, false, true)}, {}, 6},
      {"owning outweighs title and visibility",
       {Win(5, 0, true, true), Win(6, 0, false, false), Win(7, 6, false, false)}, {}, 6},
      {"chain counts for the last owner",
       {Win(5, 6, true, true), Win(6, 7, true, true), Win(7, 0, false, false)}, {}, 7},
      // The chain ends at a window of another process: nobody here gains.
      {"owner outside the process",
       {Win(5, 99, true, true), Win(6, 0, false, false)}, {{99, 0}}, 6},
      {"chain passes through another process",
       {Win(5, 99, false, false), Win(6, 0, false, false), Win(7, 0, true, true)}, {{99, 6}}, 6},
      {"owner cycle", {Win(5, 6, true, true), Win(6, 5, true, true)}, {{5, 6}, {6, 5}}, 5},
  };
  for (const Case& c : cases) {
    TAnalizer a;
    for (const TWindowFacts& w : c.windows) a.Add(w);
    const Owners owners = [&] {
      Owners all = c.outside;
      for (const TWindowFacts& w : c.windows) all[w.handle] = w.owner;
      return all;
    }();
    const auto ownerOf = [&](TWindowHandle h) -> TWindowHandle {
      auto it = owners.find(h);
      return it == owners.end() ? 0 : it->second;
    };
    EXPECT_EQ(a.MainWindow(ownerOf), c.expected) << c.what;
  }
}

TEST(Analizer, KeepsAtMost2001Windows) {
  TAnalizer a;
  for (TWindowHandle h = 1; h <= 2001; ++h) ASSERT_TRUE(a.Add(Win(h, 0, false, false)));
  EXPECT_FALSE(a.Add(Win(5000, 0, true, true)));
  EXPECT_EQ(a.Count(), TAnalizer::kMaxWindows);
  EXPECT_EQ(a.MainWindow(), 1u);  // the better window beyond the limit is not seen
}

TEST(Analizer, ManyOwnedWindowsDoNotOverflowTheScore) {
  TAnalizer a;
  a.Add(Win(1, 0, true, true));
  for (TWindowHandle h = 2; h <= 2001; ++h) a.Add(Win(h, 1, true, true));
  EXPECT_EQ(a.MainWindow(), 1u);
  EXPECT_EQ(a.ScoreOf(0), 2001 * 4 + 3);
}

}  // namespace
