// The portable parts of the markup message box: markup, buttons, geometry,
// keyboard rules and the steps of MsgBoxEx before a box is shown.
#include "ui/VxMsgBox.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using MsgBox::TBoldRun;

struct MarkupCase {
  const char* name;
  std::string markup;
  std::string plain;
  std::vector<TBoldRun> bold;
};

const MarkupCase kMarkupCases[] = {
    {"Heading", "<<b>ERROR</b><P><P>Disk full<P>", "ERROR\r\n\r\nDisk full\r\n", {{0, 5}}},
    {"DiskNumber", "Please insert <B>DISK #3</B> and press OK to continue",
     "Please insert DISK #3 and press OK to continue", {{14, 21}}},
    {"UnmatchedCloseVanishes", "a</B>b", "ab", {}},
    {"UnmatchedOpenVanishesWithoutBold", "a<B>b", "ab", {}},
    {"TagsInAnyCase", "<b>one</B> and <B>two</b>", "one and two", {{0, 3}, {8, 11}}},
    {"BackslashEscapes", "x\\ny\\tz", "x\r\ny\tz", {}},
    {"BackslashEscapesAreExact", "x\\Ny\\Tz", "x\\Ny\\Tz", {}},
    {"ParagraphAndTabAnyCase", "<p>a<P>b<t>c<T>d", "\r\na\r\nb\tc\td", {}},
    // A "</B>" before the "<B>" does not close it; both vanish, nothing is bold.
    {"CloseBeforeOpen", "</B>x<B>y</B>", "xy", {}},
    {"EmptyRunIsNotRecorded", "a<B></B>b", "ab", {}},
    {"DoubleAngleOnlyAtStart", "x<<b>y</b>", "x<y", {{2, 3}}},
    {"BoldAfterLineBreaks", "a<P><B>b</B>", "a\r\nb", {{3, 4}}},
    {"Empty", "", "", {}},
    // A "<B>" taken out inside a recorded run shortens that run.
    {"OpenInsideARunShortensIt", "Press <B>OK<B> now</B> to continue", "Press OK now to continue",
     {{6, 12}}},
    {"NestedRuns", "<B>a<B>b</B>c</B>", "abc", {{0, 2}, {1, 3}}},
    // Taking a tag out can join its neighbours into a new tag, which goes too.
    {"JoinedOpenTag", "x<<B>B>y</B>", "xy", {{1, 2}}},
    {"JoinedCloseTagAfterARun", "a<B>b<</B>/B>c", "abc", {{1, 2}}},
    {"JoinedCloseTagBeforeTheOpenTag", "a<<B>/B>b<B>c</B>", "abc", {}},
};

class Markup : public testing::TestWithParam<MarkupCase> {};

TEST_P(Markup, ConvertsToPlainTextAndBoldRuns) {
  const MarkupCase& c = GetParam();
  const MsgBox::TPlainText plain = MsgBox::ConvertMarkup(c.markup);
  EXPECT_EQ(plain.text, c.plain);
  EXPECT_EQ(plain.bold, c.bold);
}

INSTANTIATE_TEST_SUITE_P(Cases, Markup, testing::ValuesIn(kMarkupCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Texts of a damaged package: every tag is found from where the last one was
// taken out, not from the start.
TEST(MarkupHostile, MegabytesOfTagsConvertInOnePass) {
  std::string opens;
  for (int i = 0; i < 700000; ++i) opens += "<B>";
  const MsgBox::TPlainText onlyOpens = MsgBox::ConvertMarkup(opens);
  EXPECT_EQ(onlyOpens.text, "");
  EXPECT_TRUE(onlyOpens.bold.empty());

  const int depth = 200000;
  std::string nested;
  for (int i = 0; i < depth; ++i) nested += "<b>";
  nested += "x";
  for (int i = 0; i < depth; ++i) nested += "</b>";
  const MsgBox::TPlainText inner = MsgBox::ConvertMarkup(nested);
  EXPECT_EQ(inner.text, "x");
  ASSERT_EQ(inner.bold.size(), static_cast<size_t>(depth));
  for (const TBoldRun& run : inner.bold) ASSERT_EQ(run, (TBoldRun{0, 1}));

  const int count = 150000;
  std::string alternating;
  for (int i = 0; i < count; ++i) alternating += "<B>y</B>z";
  const MsgBox::TPlainText runs = MsgBox::ConvertMarkup(alternating);
  ASSERT_EQ(runs.text.size(), static_cast<size_t>(2 * count));
  EXPECT_EQ(runs.text.substr(0, 6), "yzyzyz");
  ASSERT_EQ(runs.bold.size(), static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) ASSERT_EQ(runs.bold[i], (TBoldRun{2 * i, 2 * i + 1})) << i;
}

TEST(MarkupToPlain, ReplacesBreaksAndTabsButKeepsBoldTags) {
  EXPECT_EQ(MarkupToPlain("<b>a</b><p>\\tb"), "<b>a</b>\r\n\tb");
}

// --- Buttons -----------------------------------------------------------------

struct ButtonCase {
  uint32_t style;
  std::vector<int> ids;
  std::vector<std::string> captions;
};

TEST(Buttons, EachButtonSetInItsOrder) {
  const ButtonCase cases[] = {
      {0x00, {1}, {"&OK"}},
      {0x21, {1, 2}, {"&OK", "&Cancel"}},
      {0x02, {3, 4, 5}, {"&Abort", "&Retry", "&Ignore"}},
      {0x23, {6, 7, 2}, {"&Yes", "&No", "&Cancel"}},
      {0x24, {6, 7}, {"&Yes", "&No"}},
      {0x05, {4, 2}, {"&Retry", "&Cancel"}},
      {0x06, {}, {}},
      {0x0F, {}, {}},
      {0xFFFF0F04u, {6, 7}, {"&Yes", "&No"}},  // unknown bits are ignored
  };
  for (const ButtonCase& c : cases) {
    const std::vector<MsgBox::TButton> buttons = MsgBox::ButtonsFor(c.style, MsgBox::kDefaultButtons);
    ASSERT_EQ(buttons.size(), c.ids.size()) << std::hex << c.style;
    for (size_t i = 0; i < buttons.size(); ++i) {
      EXPECT_EQ(buttons[i].id, c.ids[i]) << std::hex << c.style;
      EXPECT_EQ(buttons[i].caption, c.captions[i]) << std::hex << c.style;
    }
  }
}

TEST(Buttons, TranslatedListAndItsGapsFallBackToTheDefaults) {
  const auto yesNo = MsgBox::ButtonsFor(0x24, "|&OK|&Abbrechen|&Ja||");
  ASSERT_EQ(yesNo.size(), 2u);
  EXPECT_EQ(yesNo[0].caption, "&Ja");
  EXPECT_EQ(yesNo[1].caption, "&No");  // empty item
  const auto retry = MsgBox::ButtonsFor(0x05, "");
  ASSERT_EQ(retry.size(), 2u);
  EXPECT_EQ(retry[0].caption, "&Retry");
  EXPECT_EQ(MsgBox::ButtonsFor(0x01, "not a list")[1].caption, "&Cancel");
}

TEST(Buttons, DefaultButtonIndexWrapsAroundTheCount) {
  EXPECT_EQ(MsgBox::DefaultButtonIndex(0x0024, 2), 0);
  EXPECT_EQ(MsgBox::DefaultButtonIndex(0x0124, 2), 1);
  EXPECT_EQ(MsgBox::DefaultButtonIndex(0x0224, 2), 0);
  EXPECT_EQ(MsgBox::DefaultButtonIndex(0x0F02, 3), 0);
  EXPECT_EQ(MsgBox::DefaultButtonIndex(0x0E02, 3), 2);
  EXPECT_EQ(MsgBox::DefaultButtonIndex(0x0306, 0), 0);
}

// --- Measure and geometry ---------------------------------------------------------

// Six pixels per character.
int SixPerChar(const std::string& line) { return static_cast<int>(line.size()) * 6; }

TEST(MeasureText, LinesHeightsAndWidthLimit) {
  struct Case {
    std::string text;
    MsgBox::TSize size;
  };
  const Case cases[] = {
      {"", {16, 13}},                            // measured as one blank
      {"abc", {28, 13}},
      {"a\r\nbb\r\n", {22, 26}},                 // an empty last line does not count
      {"a\r\n\r\nb", {16, 39}},                  // an empty inner line does
      {std::string(100, 'x'), {600, 26}},        // 600 px: two lines
      {std::string(99, 'x'), {600, 13}},         // 594 + 10, limited to 600
      {std::string(250, 'x') + "\r\ny", {600, 52}},  // 1500 px: three lines, plus one
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MsgBox::MeasureText(c.text, 13, SixPerChar), c.size) << c.text.size();
  }
}

TEST(TabbedLineWidth, TabsMoveToTheNextMultipleOfTheTabWidth) {
  struct Case {
    std::string line;
    int tabWidth;
    int width;
  };
  const Case cases[] = {
      {"", 48, 0},
      {"abc", 48, 18},
      {"\t", 48, 48},
      {"a\tb", 48, 54},                  // 6 -> 48, then 6 more
      {"12345678\tb", 48, 102},          // exactly at a stop: on to the next one
      {"\t\tx", 48, 102},
      {"x\t", 0, 7},                      // a tab width below 1 counts as 1
      {std::string(20000, 'w') + "\tend", 48, 120000 + 48 + 18},  // no 16-bit wrap
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MsgBox::TabbedLineWidth(c.line, c.tabWidth, SixPerChar), c.width) << c.line.size();
  }
}

TEST(MeasureText, ALineWiderThanSixteenBitsCountsAllItsLines) {
  const std::string line = "Size:\t" + std::string(20000, 'w');
  const MsgBox::TSize size = MsgBox::MeasureText(line, 13, [](const std::string& l) {
    return MsgBox::TabbedLineWidth(l, 48, SixPerChar);
  });
  EXPECT_EQ(size, (MsgBox::TSize{600, (120048 / 600 + 1) * 13}));
}

TEST(MeasureText, PGothicAddsOnePixelToTheLine) {
  EXPECT_EQ(MsgBox::LineHeight(13, 0, "Tahoma"), 13);
  EXPECT_EQ(MsgBox::LineHeight(13, 2, "MS PGothic"), 16);
  EXPECT_EQ(MsgBox::LineHeight(13, 0, " ms p gothic "), 14);
  EXPECT_EQ(MsgBox::LineHeight(13, 0, "MS Gothic"), 13);
}

TEST(Geometry, BoxNeverNarrowerThan360AndMarginsByWidth) {
  const MsgBox::TFrame frame{3, 3, 18};
  EXPECT_EQ(MsgBox::BoxSize({10, 13}, frame), (MsgBox::TSize{360, 13 + 6 + 18 + 36 + 90}));
  EXPECT_EQ(MsgBox::BoxSize({199, 38}, frame), (MsgBox::TSize{199 + 6 + 128 + 54, 38 + 6 + 18 + 36 + 90}));
  EXPECT_EQ(MsgBox::BoxSize({200, 39}, frame), (MsgBox::TSize{360, 39 + 6 + 18 + 36 + 64}));
  EXPECT_EQ(MsgBox::BoxSize({600, 200}, frame), (MsgBox::TSize{600 + 6 + 64 + 54, 200 + 6 + 18 + 36 + 64}));
}

TEST(Geometry, TextControlSitsRightOfTheBandAboveTheButtons) {
  EXPECT_EQ(MsgBox::TextControlRect(354, 120, {100, 13}), (MsgBox::TRect{154, 35, 100, 46}));
  EXPECT_EQ(MsgBox::TextControlRect(355, 121, {101, 14}), (MsgBox::TRect{154, 35, 101, 47}));
}

TEST(Geometry, ButtonsTouchAndTheRightmostEndsTenPixelsFromTheEdge) {
  const int cw = 400;
  const int ch = 150;
  EXPECT_EQ(MsgBox::ButtonRect(2, 3, cw, ch), (MsgBox::TRect{320, 121, 70, 23}));
  EXPECT_EQ(MsgBox::ButtonRect(1, 3, cw, ch), (MsgBox::TRect{250, 121, 70, 23}));
  EXPECT_EQ(MsgBox::ButtonRect(0, 3, cw, ch), (MsgBox::TRect{180, 121, 70, 23}));
  EXPECT_EQ(MsgBox::ButtonRect(0, 1, cw, ch), (MsgBox::TRect{320, 121, 70, 23}));
}

// A text control that wraps its bold text until it is `needed` pixels wide.
struct FakeBoldControl {
  int needed;
  int lineHeight = 13;
  std::vector<int> widths;
  MsgBox::TSize operator()(int width) {
    widths.push_back(width);
    return {needed + 3, width >= needed ? lineHeight : 2 * lineHeight};
  }
};

TEST(WidenForBold, StopsAtTheFirstWidthThatDoesNotWrap) {
  FakeBoldControl control{125, 13, {}};
  auto request = [&](int w) { return control(w); };
  EXPECT_EQ(MsgBox::WidenForBold({100, 13}, request), 130);
  EXPECT_EQ(control.widths, (std::vector<int>{100, 110, 120, 130}));
}

TEST(WidenForBold, NeverFitsTakesTheLargestRequestPlusTen) {
  FakeBoldControl control{1000, 13, {}};
  auto request = [&](int w) { return control(w); };
  EXPECT_EQ(MsgBox::WidenForBold({100, 13}, request), 1013);
  EXPECT_EQ(control.widths.size(), 22u);  // 21 tries, then the final width
  EXPECT_EQ(control.widths[20], 300);

  // Requests narrower than the text keep at least the measured width.
  auto narrow = [](int) { return MsgBox::TSize{5, 99}; };
  EXPECT_EQ(MsgBox::WidenForBold({100, 13}, narrow), 110);
}

// --- Keyboard -----------------------------------------------------------------

using MsgBox::TKeyAction;

std::vector<std::string> Captions(uint32_t style, const std::string& list = MsgBox::kDefaultButtons) {
  std::vector<std::string> captions;
  for (const MsgBox::TButton& b : MsgBox::ButtonsFor(style, list)) captions.push_back(b.caption);
  return captions;
}

TEST(Keyboard, LettersAfterTheAmpersandChooseTheirButton) {
  const auto yesNoCancel = Captions(0x23);
  EXPECT_EQ(MsgBox::KeyDownAction('N', yesNoCancel, 0), (TKeyAction{TKeyAction::Choose, 1}));
  EXPECT_EQ(MsgBox::KeyDownAction('Y', yesNoCancel, 2), (TKeyAction{TKeyAction::Choose, 0}));
  EXPECT_EQ(MsgBox::KeyDownAction('C', yesNoCancel, 0), (TKeyAction{TKeyAction::Choose, 2}));
  EXPECT_EQ(MsgBox::KeyDownAction('O', Captions(0x21), 1), (TKeyAction{TKeyAction::Choose, 0}));
  // No button answers: left to the typed-character rule.
  EXPECT_EQ(MsgBox::KeyDownAction('Q', yesNoCancel, 0).kind, TKeyAction::NotHandled);
  // Without "&" the first character counts; of several the rightmost wins.
  EXPECT_EQ(MsgBox::KeyDownAction('S', {"Save", "&Skip", "Stop"}, 0), (TKeyAction{TKeyAction::Choose, 2}));
  EXPECT_EQ(MsgBox::KeyDownAction('K', {"O&k", "&Cancel"}, 1), (TKeyAction{TKeyAction::Choose, 0}));
}

TEST(Keyboard, TypedCharactersMatchTheSecondCharacterLeftmostFirst) {
  EXPECT_EQ(MsgBox::CharAction('o', Captions(0x00)), (TKeyAction{TKeyAction::Choose, 0}));
  EXPECT_EQ(MsgBox::CharAction('O', Captions(0x00)), (TKeyAction{TKeyAction::Choose, 0}));
  EXPECT_EQ(MsgBox::CharAction('1', {"&1 one", "&1 two"}), (TKeyAction{TKeyAction::Choose, 0}));
  EXPECT_EQ(MsgBox::CharAction('\xE4', {"&\xE4nd", "&\xC4nd"}), (TKeyAction{TKeyAction::Choose, 0}));
  EXPECT_EQ(MsgBox::CharAction('x', Captions(0x00)).kind, TKeyAction::NotHandled);
  EXPECT_EQ(MsgBox::CharAction('x', {"", "x"}).kind, TKeyAction::NotHandled);
}

TEST(Keyboard, ArrowsAndTabCycleEnterChoosesEscapeCloses) {
  const auto three = Captions(0x02);
  EXPECT_EQ(MsgBox::KeyDownAction(MsgBox::kKeyLeft, three, 0), (TKeyAction{TKeyAction::Focus, 2}));
  EXPECT_EQ(MsgBox::KeyDownAction(MsgBox::kKeyUp, three, 2), (TKeyAction{TKeyAction::Focus, 1}));
  EXPECT_EQ(MsgBox::KeyDownAction(MsgBox::kKeyRight, three, 2), (TKeyAction{TKeyAction::Focus, 0}));
  EXPECT_EQ(MsgBox::KeyDownAction(MsgBox::kKeyDown, three, 0), (TKeyAction{TKeyAction::Focus, 1}));
  EXPECT_EQ(MsgBox::KeyDownAction(MsgBox::kKeyTab, three, 1), (TKeyAction{TKeyAction::Focus, 2}));
  EXPECT_EQ(MsgBox::KeyDownAction(MsgBox::kKeyTab, three, -1), (TKeyAction{TKeyAction::Focus, 0}));
  EXPECT_EQ(MsgBox::KeyDownAction(MsgBox::kKeyEnter, three, 1), (TKeyAction{TKeyAction::Choose, 1}));
  EXPECT_EQ(MsgBox::KeyDownAction(MsgBox::kKeyEnter, three, -1).kind, TKeyAction::NotHandled);
  EXPECT_EQ(MsgBox::KeyDownAction(MsgBox::kKeyEscape, three, 1).kind, TKeyAction::Close);
  // A box without buttons: arrows do nothing, Escape still closes it.
  EXPECT_EQ(MsgBox::KeyDownAction(MsgBox::kKeyRight, {}, -1).kind, TKeyAction::NotHandled);
  EXPECT_EQ(MsgBox::KeyDownAction(MsgBox::kKeyEscape, {}, -1).kind, TKeyAction::Close);
}

// --- MsgBoxEx and the shortcuts -----------------------------------------------------

TEST(PrepareRequest, OwnerModesCaptionHeadingAndRightToLeft) {
  using MsgBox::PrepareRequest;
  EXPECT_EQ(PrepareRequest(0, "Disk full", "Error", "", 0, 0x10, 0).text,
            "<<b>ERROR</b><P><P>Disk full<P>");
  EXPECT_EQ(PrepareRequest(0, "x", "Setup of Foo", "", 0, 0, 0).text, "<<b>Setup of Foo</b><P><P>x<P>");
  EXPECT_EQ(PrepareRequest(0, "x", "confirm", "", 0, 0, 0).text, "<<b>confirm</b><P><P>x<P>");
  EXPECT_EQ(PrepareRequest(1, "x", "Error", "", 0, 0, 0).text, "x");
  EXPECT_EQ(PrepareRequest(1, "x", "", "", 0, 0x24, 0).style, 0x24u);
  EXPECT_EQ(PrepareRequest(2, "x", "", "", 0, 0x24, 0).style, 0x24u | MsgBox::kNoClose);
  EXPECT_EQ(PrepareRequest(1, "x", "", "", 177, 0x30, 0).style, 0x30u | MsgBox::kRight | MsgBox::kRtlReading);
  EXPECT_EQ(PrepareRequest(1, "x", "", "", 178, 0, 0).style, MsgBox::kRight | MsgBox::kRtlReading);
  EXPECT_EQ(PrepareRequest(1, "x", "", "", 1, 0, 0).style, 0u);
  for (intptr_t mode : {0, 1, 2}) EXPECT_EQ(PrepareRequest(mode, "x", "", "", 0, 0, 0).owner, 0);
  const MsgBox::TRequest windowOwned = PrepareRequest(0x10086, "x", "Error", "", 0, 0, 5000);
  EXPECT_EQ(windowOwned.owner, 0x10086);
  EXPECT_EQ(windowOwned.text, "x");
  EXPECT_EQ(windowOwned.timeoutMs, 5000);
}

class Shortcuts : public testing::Test {
 protected:
  void SetUp() override {
    MsgBox::SetMsgBoxHandler([this](const MsgBox::TRequest& r) {
      seen.push_back(r);
      return answer;
    });
  }
  void TearDown() override { MsgBox::SetMsgBoxHandler(nullptr); }
  int answer = 0;
  std::vector<MsgBox::TRequest> seen;
};

TEST_F(Shortcuts, FillDefaultsAndReadTheAnswer) {
  answer = MsgBox::kIdYes;
  EXPECT_TRUE(MsgYesNo(1, "Go?", "", "", 0, 700));
  answer = MsgBox::kIdNo;
  EXPECT_FALSE(MsgYesNo(1, "Go?"));
  answer = MsgBox::kIdNone;
  EXPECT_FALSE(MsgYesNo(1, "Go?"));
  answer = MsgBox::kIdOk;
  EXPECT_TRUE(MsgOkCancel(1, "Go?", "Mine", "|&Oui|&Non|"));
  answer = MsgBox::kIdCancel;
  EXPECT_FALSE(MsgOkCancel(1, "Go?"));
  MsgError(1, "Bad");
  MsgWarning(1, "Hm", "", "", 0, 5000);

  ASSERT_EQ(seen.size(), 7u);
  EXPECT_EQ(seen[0].caption, "Confirm");
  EXPECT_EQ(seen[0].buttons, MsgBox::kDefaultButtons);
  EXPECT_EQ(seen[0].style, 0x24u);
  EXPECT_EQ(seen[0].timeoutMs, 700);
  EXPECT_EQ(seen[3].caption, "Mine");
  EXPECT_EQ(seen[3].buttons, "|&Oui|&Non|");
  EXPECT_EQ(seen[3].style, 0x21u);
  EXPECT_EQ(seen[5].caption, "Error");
  EXPECT_EQ(seen[5].style, 0x10u);
  EXPECT_EQ(seen[5].timeoutMs, 0);
  EXPECT_EQ(seen[6].caption, "Attention");
  EXPECT_EQ(seen[6].style, 0x30u);
  EXPECT_EQ(seen[6].timeoutMs, 5000);
}

TEST_F(Shortcuts, OwnerModeZeroPutsTheCaptionAboveTheText) {
  MsgError(0, "Disk full");
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, "<<b>ERROR</b><P><P>Disk full<P>");
  const MsgBox::TPlainText plain = MsgBox::ConvertMarkup(seen[0].text);
  EXPECT_EQ(plain.text, "ERROR\r\n\r\nDisk full\r\n");
  EXPECT_EQ(plain.bold, (std::vector<TBoldRun>{{0, 5}}));
}

TEST(MsgBoxFont, SizeZeroAndEmptyFaceKeepTheirValues) {
  MsgBox::ResetMsgBoxFont();
  EXPECT_EQ(MsgBox::MsgBoxFont().face, "Tahoma");
  EXPECT_EQ(MsgBox::MsgBoxFont().size, 8);
  EXPECT_EQ(MsgBox::MsgBoxFont().charset, 1);
  SetMsgBoxFont("Verdana", 10, 177);
  SetMsgBoxFont("", 0, 178);
  EXPECT_EQ(MsgBox::MsgBoxFont().face, "Verdana");
  EXPECT_EQ(MsgBox::MsgBoxFont().size, 10);
  EXPECT_EQ(MsgBox::MsgBoxFont().charset, 178);
  SetMsgBoxFont("Arial", -3, 0);
  EXPECT_EQ(MsgBox::MsgBoxFont().size, 10);
  MsgBox::ResetMsgBoxFont();
}

}  // namespace
