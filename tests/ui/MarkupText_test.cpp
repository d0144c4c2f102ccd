// Message texts without markup: what the box shows, without the bold.
#include "ui/MarkupText.h"

#include <gtest/gtest.h>

#include <string>

#include "ui/VxMsgBox.h"

namespace {

TEST(MarkupText, StripMarkupLeavesTheTextTheBoxShows) {
  struct TCase {
    std::string markup, plain;
  } cases[] = {
      {"<<b>ERROR</b><P><P>Bad CRC!<P>", "ERROR\r\n\r\nBad CRC!\r\n"},
      {"Please insert <B>DISK #3</B> and press OK to continue", "Please insert DISK #3 and press OK to continue"},
      {"x\\ny\\tz<t>w<p>v", "x\r\ny\tz\tw\r\nv"},
      {"x\\Ny\\Tz", "x\\Ny\\Tz"},
      {"a</B>b<b>c", "abc"},
      {"x<<b>y</b>", "x<y"},
      {"a <Bold> b <Br>", "a <Bold> b <Br>"},
      {"", ""},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(MarkupText::StripMarkup(c.markup), c.plain) << c.markup;
    // The box's own conversion shows the same text.
    EXPECT_EQ(MsgBox::ConvertMarkup(c.markup).text, c.plain) << c.markup;
  }
}

TEST(MarkupText, TagsThatFormOnceOthersAreGoneGoToo) {
  EXPECT_EQ(MarkupText::StripMarkup("a<<B>B>x<</B>/B>y"), "axy");
  EXPECT_EQ(MarkupText::StripMarkup("<</b>b>bold"), "bold");
}

TEST(MarkupText, OneLineJoinsLinesAndTabsWithSingleBlanks) {
  struct TCase {
    std::string text, line;
  } cases[] = {
      {"ERROR\r\n\r\nBad CRC!\r\n", "ERROR Bad CRC!"},
      {"  Data Size: \t3584 Bytes\r\n  File Size:  \t0 Bytes", "Data Size: 3584 Bytes File Size: 0 Bytes"},
      {"one", "one"},
      {" \r\n\t ", ""},
  };
  for (const TCase& c : cases) EXPECT_EQ(MarkupText::OneLine(c.text), c.line) << c.text;
}

TEST(MarkupText, LongTextsStayLinear) {
  std::string markup;
  for (int i = 0; i < 200000; ++i) markup += "<B>";
  markup += "x";
  for (int i = 0; i < 200000; ++i) markup += "</B><P>";
  const std::string plain = MarkupText::StripMarkup(markup);
  EXPECT_EQ(plain.size(), 1u + 200000u * 2u);
  EXPECT_EQ(MarkupText::OneLine(plain), "x");
}

}  // namespace
