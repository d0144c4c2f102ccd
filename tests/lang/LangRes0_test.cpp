// Language ids, the choice of the language entry, language texts through
// TGFileInfo and the help-folder strings.
#include "lang/LangRes0.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "lang/Locale.h"
#include "lang/SLangId.h"
#include "package/PackWrite.h"
#include "package/PackX.h"

namespace {

using testsupport::TScratchDir;
using testsupport::WriteBytes;

TEST(LanguageNameFromId, FirstRowContainingTheZeroPaddedIdWins) {
  struct Case {
    int id;
    const char* name;
  };
  const Case cases[] = {
      {9, "ENGLISH"},
      {7, "GERMAN"},
      {1, "ARABIC"},
      {26, "CROATIAN"},                // SERBIAN has 26 too, further down
      {52, "CHINESE(SIMPLIFIED)"},     // only inside 2052
      {2052, "CHINESE(SIMPLIFIED)"},
      {1028, "CHINESE(TRADITIONAL)"},
      {3098, "SERBIAN(CYRILIC)"},
      {42, "VIETNAMESE"},
      {54, "AFRIKAANS"},
      {99, ""},
      {0, ""},
      {-7, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(LanguageNameFromId(c.id), c.name) << c.id;
}

TEST(LanguageNameFromId, TableItemsAlignTheirEqualsSigns) {
  const std::string table = kLanguageIdTable;
  EXPECT_NE(table.find("|ENGLISH      = 09|"), std::string::npos);
  EXPECT_NE(table.find("|SERBIAN(CYRILIC)     = 3098|"), std::string::npos);
  EXPECT_EQ(table.find("CYRILLIC"), std::string::npos);
}

// --- Choosing the entry --------------------------------------------------------

std::string Block(const std::vector<PackWrite::TLanguage>& languages) {
  return PackWrite::LanguageBlock(languages);
}

std::string NameOf(const std::string& entry) {
  if (entry == "*") return "*";
  return entry.substr(1, entry.find('\x01', 1) - 1);
}

TEST(ChooseLanguageEntry, UserLanguageThenSingleEntryThenEnglish) {
  struct Case {
    const char* what;
    std::vector<PackWrite::TLanguage> languages;
    int id;
    std::string chosen;
  };
  const Case cases[] = {
      {"single entry wins whatever its name", {{"Klingon", {"s0=Qapla"}}}, 7, "Klingon"},
      {"German by name", {{"English", {}}, {"German", {}}}, 7, "German"},
      {"German in capitals with blanks", {{"English", {}}, {"  GERMAN ", {}}}, 7, "  GERMAN "},
      {"German in small letters", {{"english", {}}, {"german", {}}, {"french", {}}}, 7, "german"},
      {"Croatian, not Serbian", {{"Serbian", {}}, {"Croatian", {}}}, 26, "Croatian"},
      {"52 is simplified Chinese", {{"English", {}}, {"Chinese(Simplified)", {}}}, 52,
       "Chinese(Simplified)"},
      {"English when the user's is missing", {{"French", {}}, {"English", {}}}, 7, "English"},
      {"English for an unknown id", {{"French", {}}, {" english", {}}}, 99, " english"},
      {"nothing fits", {{"French", {}}, {"Italian", {}}}, 7, "*"},
      {"no languages", {}, 9, "*"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NameOf(ChooseLanguageEntry(Block(c.languages), c.id)), c.chosen) << c.what;
  }
  EXPECT_EQ(ChooseLanguageEntry("", 9), "*");
  EXPECT_EQ(ChooseLanguageEntry("garbage", 9), "*");
}

TEST(ChooseLanguageEntry, TheBlockIsReadInOnePass) {
  const std::string empties(1 << 20, '\x02');  // a million empty items
  EXPECT_EQ(ChooseLanguageEntry(empties, 9), "*");
  EXPECT_EQ(ChooseLanguageEntry(empties, 7), "*");
  const std::string english = "\x01" "English\x01s0=Hello\x01";
  const std::string late = empties + english + "\x02";
  EXPECT_EQ(ChooseLanguageEntry(late, 7), english);
  EXPECT_EQ(ChooseLanguageEntry(late, 9), english);
  // Items are counted up to the first NUL only.
  EXPECT_EQ(ChooseLanguageEntry(empties + std::string(1, '\0') + english + "\x02", 9), "*");
}

TEST(LanguageValue, KeysIgnoreCaseAndBlanksBeforeTheEqualsSign) {
  const std::string entry = "\x01German\x01s0=Hallo\x01s1=\x01S10  =Lade\x01";
  EXPECT_EQ(LanguageValue(entry, "s0", "d"), "Hallo");
  EXPECT_EQ(LanguageValue(entry, "S0", "d"), "Hallo");
  EXPECT_EQ(LanguageValue(entry, "s1", "d"), "");
  EXPECT_EQ(LanguageValue(entry, "s10", "d"), "Lade");
  EXPECT_EQ(LanguageValue(entry, "s2", "d"), "d");
  EXPECT_EQ(LanguageValue("*", "s0", "d"), "d");
  EXPECT_EQ(LanguageValue("", "s0", "d"), "d");
}

// --- Through TGFileInfo, with the process-wide cache ------------------------------

class LangText : public testing::Test {
 protected:
  void SetUp() override { ResetLanguageCache(); }
  void TearDown() override {
    ResetLanguageCache();
    OverrideUserLanguageId(-1);
  }
  // A package file with the given language block.
  TGFileInfo Package(const std::string& languageBlock, const std::string& name) {
    TPackageWriter writer;
    writer.stubImage = testsupport::FakeStubImage();
    writer.languageBlock = languageBlock;
    writer.AddFile("Engine.exe*", 0, "engine");
    const std::string path = dir.File(name);
    WriteBytes(path, writer.Build());
    return TGFileInfo(path);
  }
  TScratchDir dir;
};

TEST_F(LangText, ValuesDefaultsAndNumbers) {
  OverrideUserLanguageId(7);
  const TGFileInfo info = Package(
      Block({{"English", {"s0=Setup"}},
             {"German", {"s0=Installation", "s1=", "FontSize=abc", "FontName=Arial"}}}),
      "a.exe");
  EXPECT_EQ(info.LangText("s0", "Varnel Installation Suite"), "Installation");
  EXPECT_EQ(info.LangText("s1", "Extracting Files..."), "");
  EXPECT_EQ(info.LangText("s2", "default two"), "default two");
  EXPECT_EQ(info.FontSize(), 8);
  EXPECT_EQ(info.Charset(), 0);
  EXPECT_EQ(info.FontName(), "Arial");
}

TEST_F(LangText, NumbersAndFontOfTheDefaultBlock) {
  OverrideUserLanguageId(9);
  const TGFileInfo info = Package(
      Block({{"English", {"Charset=177", "FontSize= 10 ", "s0=Hello"}}}), "b.exe");
  EXPECT_EQ(info.Charset(), 177);
  EXPECT_EQ(info.FontSize(), 10);
  EXPECT_EQ(info.FontName(), "Tahoma");
}

TEST_F(LangText, TheFirstLookupChoosesForTheWholeProcess) {
  OverrideUserLanguageId(12);
  const TGFileInfo first = Package(Block({{"French", {"s0=Bonjour"}}, {"English", {"s0=Hi"}}}), "c.exe");
  const TGFileInfo second = Package(Block({{"English", {"s0=Other"}}}), "d.exe");
  EXPECT_EQ(second.LangText("s0", "d"), "Other");
  EXPECT_EQ(first.LangText("s0", "d"), "Other");  // the entry chosen through `second`
  OverrideUserLanguageId(9);
  ResetLanguageCache();
  EXPECT_EQ(first.LangText("s0", "d"), "Hi");
}

// A megabyte entry full of blanks before "=" is cleaned once, not per lookup.
TEST_F(LangText, AHugeEntryIsPreparedOnceForEveryLookup) {
  OverrideUserLanguageId(9);
  std::vector<std::string> items;
  for (int i = 0; items.size() < 60000; ++i) items.push_back("k" + std::to_string(i) + "   =v");
  items.push_back("s0 =Hello");
  items.push_back("s1  =");
  const TGFileInfo info = Package(Block({{"English", items}, {"German", {"s0=Hallo"}}}), "h.exe");
  for (int i = 0; i < 500; ++i) {
    ASSERT_EQ(info.LangText("s0", "d"), "Hello") << i;
    ASSERT_EQ(info.LangText("S1", "d"), "") << i;
    ASSERT_EQ(info.LangText("s2", "d"), "d") << i;
  }
  EXPECT_EQ(info.LangText("k59999", "d"), "v");
}

TEST_F(LangText, NoMatchingLanguageGivesEveryDefault) {
  OverrideUserLanguageId(7);
  const TGFileInfo info = Package(Block({{"French", {"s0=Bonjour"}}, {"Italian", {"s0=Ciao"}}}), "e.exe");
  EXPECT_EQ(info.LangText("s0", "Varnel Installation Suite"), "Varnel Installation Suite");
  EXPECT_EQ(info.FontSize(), 8);
  EXPECT_EQ(info.FontName(), "Tahoma");
  const TGFileInfo missing(dir.File("missing.exe"));
  EXPECT_EQ(missing.LangText("s0", "x"), "x");
}

// --- Help-folder strings -----------------------------------------------------------

class HelpStrings : public testing::Test {
 protected:
  void Write(const std::string& content) {
    const std::string help = dir.File("HELP");
    std::filesystem::create_directories(help + "/English");
    WriteBytes(dir.File("HELP") + "/English/" + kLangIniName, content);
  }
  std::string Get(const std::string& key, const std::string& def = "Default <?>") {
    return GetLangStringIn(dir.File(""), key, def, "R");
  }
  TScratchDir dir;
};

TEST_F(HelpStrings, EnclosingBarsKeepBlanks) {
  Write("[Other]\r\nA=wrong\r\n[STRINGS]\r\nA=|  two blanks  |\r\nB=|\r\nC=plain <?> and <?>\r\n"
        "D=\r\nE=||\r\nF=|x\r\nRunTimeDir_01=  RunTimeDir (<?>) Not Found!  \r\n");
  EXPECT_EQ(Get("A"), "  two blanks  ");
  EXPECT_EQ(Get("B"), "Default R");  // "|" reads as empty: the default stays
  EXPECT_EQ(Get("C"), "plain R and R");
  EXPECT_EQ(Get("D"), "Default R");
  EXPECT_EQ(Get("E"), "Default R");
  EXPECT_EQ(Get("F"), "|x");
  EXPECT_EQ(Get("runtimedir_01"), "RunTimeDir (R) Not Found!");
  EXPECT_EQ(Get("Missing"), "Default R");
}

TEST_F(HelpStrings, WithoutTheFileTheDefaultHasItsPlaceholderReplaced) {
  EXPECT_EQ(Get("RunTimeDir_01", "RunTimeDir (<?>)<P><P>Not Found!"), "RunTimeDir (R)<P><P>Not Found!");
}

TEST(UnwrapLangValue, OneBarOffEachEnd) {
  EXPECT_EQ(UnwrapLangValue("|"), "");
  EXPECT_EQ(UnwrapLangValue("||"), "");
  EXPECT_EQ(UnwrapLangValue("|||"), "|");
  EXPECT_EQ(UnwrapLangValue("| a |"), " a ");
  EXPECT_EQ(UnwrapLangValue("|a"), "|a");
  EXPECT_EQ(UnwrapLangValue("a|"), "a|");
  EXPECT_EQ(UnwrapLangValue(""), "");
}

TEST(IniValueOf, SectionsKeysCommentsAndQuotes) {
  const std::string ini = "; c\n[strings]\nkey = \"quoted\" \n;key=no\n[Next]\nkey=other\n";
  EXPECT_EQ(IniValueOf(ini, "STRINGS", "KEY"), "quoted");
  EXPECT_EQ(IniValueOf(ini, "next", "key"), "other");
  EXPECT_EQ(IniValueOf(ini, "none", "key"), "");
  EXPECT_EQ(IniValueOf("[STRINGS\nkey=x\n", "STRINGS", "key"), "");
}

}  // namespace
