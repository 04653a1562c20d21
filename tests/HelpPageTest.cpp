#include "help/HelpPage.h"
#include "platform/text/Utf.h"

#include <gtest/gtest.h>

using namespace velkin;

namespace {

std::string plain(const char* utf8) { return u8(HelpPage::plainLine(u16(utf8))); }
std::string slug(const char* utf8) { return u8(HelpPage::slug(u16(utf8))); }

} // namespace

TEST(HelpPlainLine, LinksBecomeTheirTextAndLeadersGo)
{
    EXPECT_EQ(plain("- [Tables](tables.md) are **great**"), "Tables are great");
    EXPECT_EQ(plain("see ![the logo](images/logo.png) here"), "see the logo here");
    EXPECT_EQ(plain("> Mind this."), "Mind this.");
    EXPECT_EQ(plain("> > ## Title"), "Title");
    EXPECT_EQ(plain("##Title"), "Title");
    EXPECT_EQ(plain("  \t+ item"), "item");
    EXPECT_EQ(plain("* * two bullets"), "two bullets");  // one bullet goes, the other is emphasis
}

TEST(HelpPlainLine, EmphasisGoesAndBarsBecomeSpaces)
{
    EXPECT_EQ(plain("| a | b |"), "a   b");
    EXPECT_EQ(plain("***all*** **bold** _it_ `code` ~~struck~~"), "all bold it code struck");
    EXPECT_EQ(plain("~single~"), "~single~");
    EXPECT_EQ(plain("snake_case"), "snakecase");
}

TEST(HelpPlainLine, NumbersAndLoneMarkersStay)
{
    EXPECT_EQ(plain("1. First"), "1. First");
    EXPECT_EQ(plain("-"), "-");
    EXPECT_EQ(plain("-item"), "-item");
    EXPECT_EQ(plain("*"), "");
    EXPECT_EQ(plain(""), "");
    EXPECT_EQ(plain("[unclosed](link"), "[unclosed](link");
    EXPECT_EQ(plain("\t\u00A0text\u00A0"), "text");
}

TEST(HelpPlainLines, FencesBlankOutAndFencedLinesAreOnlyTrimmed)
{
    const auto lines = HelpPage::plainLines(u"# T\n```swift\n    let x_y = 1  \n~~~\n**b**");
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], u"T");
    EXPECT_EQ(lines[1], u"");
    EXPECT_EQ(lines[2], u"let x_y = 1");
    EXPECT_EQ(lines[3], u"");  // a tilde fence closes a grave-accent fence
    EXPECT_EQ(lines[4], u"b");
    EXPECT_EQ(HelpPage::plainLines(u"").size(), 1u);
    EXPECT_EQ(HelpPage::plainLines(u"a\n").size(), 2u);
}

TEST(HelpHeadings, LevelsTitlesAnchorsAndOffsets)
{
    const auto headings = HelpPage::headingsIn(u"# Title\n\n## Setup\ntext\n### Next step");
    ASSERT_EQ(headings.size(), 2u);
    EXPECT_EQ(headings[0], (HelpHeading{2, u"Setup", u"setup", u"## Setup", 7}));
    EXPECT_EQ(headings[1], (HelpHeading{3, u"Next step", u"next-step", u"### Next step", 18}));
}

TEST(HelpHeadings, OnlyTwoToSixNumberSignsAndASpaceMakeAHeading)
{
    EXPECT_TRUE(HelpPage::headingsIn(u"##Setup\n####### Deep\n##\tSetup\n## \t \n# Title\n##").empty());
    const auto indented = HelpPage::headingsIn(u"   ## [Linked](x.md) **title**  ");
    ASSERT_EQ(indented.size(), 1u);
    EXPECT_EQ(indented[0].title, u"Linked title");
    EXPECT_EQ(indented[0].markdownLine, u"## [Linked](x.md) **title**");
    EXPECT_EQ(HelpPage::headingsIn(u"###### Six")[0].level, 6);
}

TEST(HelpHeadings, FencedLinesAreNoHeadingsButStillCount)
{
    const auto headings = HelpPage::headingsIn(u"# T\n```\n## not one\n```\n## Real");
    ASSERT_EQ(headings.size(), 1u);
    EXPECT_EQ(headings[0].title, u"Real");
    // "T" + "" + "## not one" + "" = 2 + 1 + 11 + 1
    EXPECT_EQ(headings[0].plainTextOffset, 15);
}

TEST(HelpHeadings, OffsetsCountCharactersNotCodeUnits)
{
    // The emoji is two UTF-16 units but one character.
    const auto headings = HelpPage::headingsIn(u"# \U0001F600 e\u0301\n## Next");
    ASSERT_EQ(headings.size(), 1u);
    EXPECT_EQ(headings[0].plainTextOffset, 4);
}

TEST(HelpHeadings, CarriageReturnLineEndsReadLikeLineFeeds)
{
    const U16String crlf = u"# Getting started\r\n\r\n## Setup\r\ntext\r\n### Next step\r\n";
    const HelpPage page = HelpPage::make(u"start", crlf);
    EXPECT_EQ(page.title, u"Getting started");
    EXPECT_EQ(page.plainText, u"Getting started\n\nSetup\ntext\nNext step\n");
    ASSERT_EQ(page.headings.size(), 2u);
    EXPECT_EQ(page.headings[0].title, u"Setup");
    EXPECT_EQ(page.headings[0].markdownLine, u"## Setup");
    EXPECT_EQ(page.headings[0].plainTextOffset, 17);
    EXPECT_EQ(page.headings[1].anchor, u"next-step");
    EXPECT_EQ(page.headings[1].plainTextOffset, 28);
    EXPECT_EQ(page.markdown, crlf);  // the text itself is kept as read
}

TEST(HelpSlug, KeepsLettersAndNumbersOfAnyScript)
{
    EXPECT_EQ(slug("Bold and italic together"), "bold-and-italic-together");
    EXPECT_EQ(slug("A file won't open"), "a-file-wont-open");
    EXPECT_EQ(slug("(Beta) Features"), "beta-features");
    EXPECT_EQ(slug("\u00DCber Gr\u00F6\u00DFe"), "\u00FCber-gr\u00F6\u00DFe");
    EXPECT_EQ(slug("A  B"), "a--b");
    EXPECT_EQ(slug("a - b"), "a---b");
    EXPECT_EQ(slug("snake_case \u00BD \u2167"), "snake-case-\u00BD-\u2177");
    EXPECT_EQ(slug("\u65E5\u672C\u8A9E \U0001F600"), "\u65E5\u672C\u8A9E");
    EXPECT_EQ(slug("tab\tinside"), "tabinside");
}

TEST(HelpSlug, NothingLeftGivesEmpty)
{
    EXPECT_EQ(slug(""), "");
    EXPECT_EQ(slug("---"), "");
    EXPECT_EQ(slug("!!!"), "");
    EXPECT_EQ(slug("  -_- "), "");
}

TEST(HelpTitle, FirstLevelOneLineElseFromTheID)
{
    EXPECT_EQ(HelpPage::titleIn(u"intro\n  # Getting started  \n# Second"), U16String(u"Getting started"));
    EXPECT_EQ(HelpPage::titleIn(u"```\n# In a fence\n```\n# After"), U16String(u"In a fence"));
    EXPECT_EQ(HelpPage::titleIn(u"# **Bold** title"), U16String(u"**Bold** title"));
    EXPECT_FALSE(HelpPage::titleIn(u"## Only sections\n#NoSpace\n#").has_value());
    EXPECT_EQ(HelpPage::titleFromID(u"getting-started"), u"Getting Started");
    EXPECT_EQ(HelpPage::titleFromID(u"html_export"), u"Html Export");
    EXPECT_EQ(HelpPage::titleFromID(u"a--b"), u"A B");
    EXPECT_EQ(HelpPage::titleFromID(u"\u00E9t\u00E9-iOS"), u"\u00C9t\u00E9 IOS");
    EXPECT_EQ(HelpPage::titleFromID(u"--"), u"");
}

TEST(HelpPage, HeadingForAnchorSlugsTheAnchorAndTakesTheFirst)
{
    const HelpPage page = HelpPage::make(u"p", u"# P\n## Setup\n## Column Alignment\n## Setup\n");
    ASSERT_NE(page.heading(u"SETUP"), nullptr);
    EXPECT_EQ(page.heading(u"SETUP"), &page.headings[0]);
    ASSERT_NE(page.heading(u"Column Alignment"), nullptr);
    EXPECT_EQ(page.heading(u"Column Alignment")->anchor, u"column-alignment");
    EXPECT_EQ(page.heading(u"missing"), nullptr);
    EXPECT_EQ(page.heading(u""), nullptr);
}

TEST(HelpPage, HostileTextGivesAnAnswer)
{
    U16String text = u"# T\n";
    for (int i = 0; i < 2000; ++i) {
        text += u"![[[[(((( ```\n## ";
        text.push_back(char16_t(0xD800));  // a lone surrogate
        text += u" **\n";
    }
    text.push_back(char16_t(0xDC00));
    const HelpPage page = HelpPage::make(u"x", text);
    EXPECT_EQ(page.title, u"T");
    EXPECT_FALSE(page.plainText.empty());
}
