// The portable parts of the inform dialog: what a call does, the geometry,
// the fonts and the text the control gets.
#include "ui/StubInformDlg.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

using Inform::TAction;
using Inform::TRect;

TEST(InformDialog, ActionForTextAndAddress) {
  struct Case {
    const char* text;
    const char* address;
    TAction action;
  };
  const Case cases[] = {
      {"", "", TAction::Nothing},
      {"", "http://example.test/get", TAction::OpenAddress},
      {"News", "", TAction::ShowDialog},
      {"News", "http://example.test/get", TAction::ShowDialog},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Inform::ActionFor(c.text, c.address), c.action) << c.text << "|" << c.address;
  }
}

TEST(InformDialog, OnlyWebAddressesAreOpened) {
  struct Case {
    const char* address;
    bool web;
  };
  const Case cases[] = {
      {"http://example.test/get", true},
      {"HTTPS://example.test/", true},
      {"ftp://files.test/v2.zip", true},
      {"http://", false},
      {"C:\\Windows\\System32\\cmd.exe", false},
      {"\\\\server\\share\\setup.exe", false},
      {"file:///C:/setup.exe", false},
      {"calc", false},
      {"javascript:alert(1)", false},
      {"http://example.test/a\nb", false},
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(Inform::IsWebAddress(c.address), c.web) << c.address;
}

TEST(InformDialog, TextFontIsVerdanaUnlessAnotherNameThanTahoma) {
  struct Case {
    const char* given;
    const char* textFace;
    const char* buttonFace;
  };
  const Case cases[] = {
      {"Tahoma", "Verdana", "Tahoma"},   {"", "Verdana", "Tahoma"},
      {"  tahoma ", "Verdana", "tahoma"}, {"Arial", "Arial", "Arial"},
      {"MS PGothic", "MS PGothic", "MS PGothic"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Inform::TextFontFace(c.given), c.textFace) << c.given;
    EXPECT_EQ(Inform::ButtonFontFace(c.given), c.buttonFace) << c.given;
  }
  EXPECT_EQ(Inform::ButtonFontPoints(10), 10);
  EXPECT_EQ(Inform::ButtonFontPoints(0), Inform::kDefaultFontSize);
  EXPECT_EQ(Inform::ButtonFontPoints(-3), Inform::kDefaultFontSize);
}

TEST(InformDialog, LayoutForClientSizes) {
  struct Case {
    int cw, ch;
    bool address;
    TRect text;
    TRect button;
    int separatorY;
    int bandTop;
  };
  const Case cases[] = {
      // Without an address the text fills the whole client height.
      {352, 326, false, {3, 0, 349, 326}, {}, 0, 0},
      {352, 326, true, {3, 0, 349, 283}, {96, 293, 160, 25}, 283, 284},
      // Resizing keeps the button centred 33 pixels above the bottom edge.
      {800, 600, true, {3, 0, 797, 557}, {320, 567, 160, 25}, 557, 558},
      {161, 100, true, {3, 0, 158, 57}, {0, 67, 160, 25}, 57, 58},
      // Too small a client area: no negative sizes.
      {2, 10, true, {3, 0, 0, 0}, {-79, -23, 160, 25}, -33, -32},
      {0, 0, false, {3, 0, 0, 0}, {}, 0, 0},
  };
  for (const Case& c : cases) {
    const Inform::TLayout layout = Inform::LayoutFor(c.cw, c.ch, c.address);
    const std::string at = std::to_string(c.cw) + "x" + std::to_string(c.ch);
    EXPECT_EQ(layout.text, c.text) << at;
    EXPECT_EQ(layout.hasButton, c.address) << at;
    if (!c.address) continue;
    EXPECT_EQ(layout.button, c.button) << at;
    EXPECT_EQ(layout.separatorY, c.separatorY) << at;
    EXPECT_EQ(layout.bandTop, c.bandTop) << at;
  }
}

TEST(InformDialog, WindowRectIsCentredAndBounded) {
  struct Case {
    int width, height, screenW, screenH;
    TRect rect;
  };
  const Case cases[] = {
      {360, 360, 1024, 768, {332, 204, 360, 360}},
      {361, 359, 1025, 768, {332, 204, 361, 359}},
      // Non-positive sizes take the defaults; tiny ones the minimum.
      {0, -5, 1024, 768, {332, 204, 360, 360}},
      {10, 10, 1024, 768, {412, 324, 200, 120}},
      // Larger than the screen: the screen.
      {100000, 2000000000, 1024, 768, {0, 0, 1024, 768}},
      // A screen smaller than the minimum: the minimum, at the corner.
      {360, 360, 100, 80, {0, 0, 200, 120}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Inform::WindowRect(c.width, c.height, c.screenW, c.screenH), c.rect)
        << c.width << "x" << c.height << " on " << c.screenW << "x" << c.screenH;
  }
}

TEST(InformDialog, ShownTextConvertsMarkupAndKeepsRtf) {
  const Inform::TShownText plain = Inform::ShownText("<B>Version 2</B><P>Faster\\tand <b>safer</b>.");
  EXPECT_EQ(plain.text, "Version 2\r\nFaster\tand safer.");
  EXPECT_EQ(plain.bold, (std::vector<MsgBox::TBoldRun>{{0, 9}, {22, 27}}));
  EXPECT_FALSE(plain.rtf);

  const std::string rtf = "{\\rtf1\\ansi {\\b New} version\\par}";
  const Inform::TShownText asRtf = Inform::ShownText(rtf);
  EXPECT_EQ(asRtf.text, rtf);
  EXPECT_TRUE(asRtf.bold.empty());
  EXPECT_TRUE(asRtf.rtf);

  const Inform::TShownText junk = Inform::ShownText("<<b><</B></b><B><p<P>>\\");
  EXPECT_FALSE(junk.rtf);
  for (const MsgBox::TBoldRun& run : junk.bold) {
    EXPECT_LE(0, run.start);
    EXPECT_LE(run.start, run.end);
    EXPECT_LE(static_cast<size_t>(run.end), junk.text.size());
  }
}

TEST(InformDialog, HugeMarkupJunkIsCutAndFast) {
  const std::string pieces[] = {"<B>", "</B>", "<P>", "\\n", "<<b>", "x", "<T>", "{\\rtf"};
  std::string junk;
  for (size_t i = 0; junk.size() < 8 * 1024 * 1024; ++i) junk += pieces[(i * 7 + i / 3) % 8];
  for (const std::string& text : {junk, "{\\rtf1 " + junk}) {
    const auto start = std::chrono::steady_clock::now();
    const Inform::TShownText shown = Inform::ShownText(text);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LE(shown.text.size(), Inform::kMaxShownText);
    EXPECT_LE(shown.bold.size(), Inform::kMaxBoldRuns);
    EXPECT_FALSE(shown.text.empty());
    EXPECT_LT(ms, 5000);
    for (const MsgBox::TBoldRun& run : shown.bold) EXPECT_LE(static_cast<size_t>(run.end), shown.text.size());
  }
}

// What the seams saw.
std::vector<std::string> g_opened;
std::vector<Inform::TRequest> g_shown;
bool g_handlerAnswer = true;

bool RecordOpen(const std::string& address) {
  g_opened.push_back(address);
  return false;  // a failing shell changes nothing
}

bool RecordShow(const Inform::TRequest& request) {
  g_shown.push_back(request);
  return g_handlerAnswer;
}

class InformCall : public testing::Test {
 protected:
  void SetUp() override {
    g_opened.clear();
    g_shown.clear();
    g_handlerAnswer = true;
    Inform::SetShellOpen(RecordOpen);
    Inform::SetHandler(RecordShow);
  }
  void TearDown() override {
    Inform::SetShellOpen(nullptr);
    Inform::SetHandler(nullptr);
  }
};

TEST_F(InformCall, AddressWithoutTextIsOpenedWithoutAWindow) {
  EXPECT_TRUE(ShowInformDialog(0, "", "", 0, 8, "Tahoma", false, 360, 360, "  http://example.test/v2 \r\n", ""));
  EXPECT_EQ(g_opened, std::vector<std::string>{"http://example.test/v2"});
  EXPECT_TRUE(g_shown.empty());
}

TEST_F(InformCall, AnAddressThatIsNoWebAddressIsNeverOpened) {
  EXPECT_FALSE(ShowInformDialog(0, "", "", 0, 8, "", false, 360, 360, "C:\\Windows\\System32\\cmd.exe", ""));
  EXPECT_TRUE(ShowInformDialog(0, "", "", 0, 8, "", false, 360, 360, "\\\\server\\x.exe", "Text"));
  EXPECT_TRUE(g_opened.empty());
  ASSERT_EQ(g_shown.size(), 1u);
  EXPECT_EQ(g_shown[0].address, "");  // no button
}

TEST_F(InformCall, NothingToShowOrOpen) {
  EXPECT_FALSE(ShowInformDialog(0, "", "", 0, 8, "Tahoma", false, 360, 360, "", ""));
  EXPECT_FALSE(ShowInformDialog(0, "", "", 0, 8, "Tahoma", false, 360, 360, " \t ", ""));
  EXPECT_TRUE(g_opened.empty());
  EXPECT_TRUE(g_shown.empty());
}

TEST_F(InformCall, TextShowsTheDialogWithTheRequest) {
  EXPECT_TRUE(ShowInformDialog(42, "Neu", "Holen", 1, 9, "Arial", true, 300, 400, " http://x.test/ ", "Text"));
  ASSERT_EQ(g_shown.size(), 1u);
  const Inform::TRequest& r = g_shown[0];
  EXPECT_EQ(r.owner, 42);
  EXPECT_EQ(r.caption, "Neu");
  EXPECT_EQ(r.button, "Holen");
  EXPECT_EQ(r.charset, 1);
  EXPECT_EQ(r.fontSize, 9);
  EXPECT_EQ(r.fontName, "Arial");
  EXPECT_TRUE(r.rightToLeft);
  EXPECT_EQ(r.height, 300);
  EXPECT_EQ(r.width, 400);
  EXPECT_EQ(r.address, "http://x.test/");
  EXPECT_EQ(r.text, "Text");
  EXPECT_TRUE(g_opened.empty());  // only the button opens it

  // Empty captions take the defaults; the window's answer is the call's.
  g_handlerAnswer = false;
  EXPECT_FALSE(ShowInformDialog(0, "", "", 0, 8, "", false, 360, 360, "", "Text"));
  ASSERT_EQ(g_shown.size(), 2u);
  EXPECT_EQ(g_shown[1].caption, Inform::kDefaultCaption);
  EXPECT_EQ(g_shown[1].button, Inform::kDefaultButton);
}

}  // namespace
