#include "export/MarkdownHTML.h"
#include "platform/text/TextOps.h"

#include <gtest/gtest.h>

using namespace velkin;
using namespace velkin::MarkdownHTML;

TEST(MarkdownHTMLEscaping, EscapesTheFourCharactersOnly)
{
    EXPECT_EQ(escaped(u"5 < 6 & 7 > 6"), u"5 &lt; 6 &amp; 7 &gt; 6");
    EXPECT_EQ(escaped(u"it's \"x\""), u"it's &quot;x&quot;");
    EXPECT_EQ(escaped(u"&amp;"), u"&amp;amp;");
    EXPECT_EQ(escaped(u""), u"");
}

TEST(MarkdownHTMLEscaping, QuoteFollowedByACombiningMarkIsStillEscaped)
{
    // A grapheme-wise walk would see one character '"\u0338' and copy it.
    EXPECT_EQ(escaped(u"x\"\u0338 onerror=alert(1)"), u"x&quot;\u0338 onerror=alert(1)");
    EXPECT_EQ(escaped(u"<\u0301script>"), u"&lt;\u0301script&gt;");
    // Text that is not escaped passes unchanged, surrogate pairs included.
    EXPECT_EQ(escaped(u"\U0001F680 \u00e9"), u"\U0001F680 \u00e9");
}

TEST(MarkdownHTMLAnchors, LettersAndNumbersOfAnyScriptStay)
{
    EXPECT_EQ(anchor(u"Note 1"), u"note-1");
    EXPECT_EQ(anchor(u"a.b"), u"a-b");
    EXPECT_EQ(anchor(u"  Why?  "), u"why-");
    EXPECT_EQ(anchor(u"\u00dcber"), u"\u00fcber");
    EXPECT_EQ(anchor(u"a  b"), u"a--b");
    EXPECT_EQ(anchor(u"\u65e5\u672c 2"), u"\u65e5\u672c-2");
    EXPECT_EQ(anchor(u"\"><script>"), u"---script-");
}

TEST(MarkdownHTMLStyleSheet, FamiliesChooseTheBodyStackOnly)
{
    const U16String sans = styleSheet(MarkdownFontFamily::sansSerif);
    const U16String serif = styleSheet(MarkdownFontFamily::serif);
    const U16String mono = styleSheet(MarkdownFontFamily::monospace);
    EXPECT_TRUE(TextOps::hasPrefix(sans, u":root {\n  --body: -apple-system, BlinkMacSystemFont,"));
    EXPECT_TRUE(TextOps::hasPrefix(serif, u":root {\n  --body: \"New York\", ui-serif,"));
    const U16String monoStack = u"ui-monospace, \"SF Mono\", SFMono-Regular, Menlo, Monaco, monospace;";
    EXPECT_TRUE(TextOps::contains(serif, u"--mono: " + monoStack));
    EXPECT_TRUE(TextOps::contains(mono, u"--body: " + monoStack + u"\n  --mono: " + monoStack));
    // Apart from the stack the sheets are the same.
    EXPECT_EQ(sans.substr(sans.find(u"--mono")), serif.substr(serif.find(u"--mono")));
}

TEST(MarkdownHTMLStyleSheet, DarkAndPrintBlocksInOrder)
{
    const U16String sheet = styleSheet(MarkdownFontFamily::sansSerif);
    const int dark = TextOps::find(sheet, u"@media (prefers-color-scheme: dark) {\n  :root {\n    --text: #f5f5f7;");
    const int bodyBackground = TextOps::find(sheet, u"  body { background: #1c1c1e; }\n}\n");
    const int body = TextOps::find(sheet, u"body {\n  margin: 0;\n  background: #ffffff;");
    const int print = TextOps::find(sheet, u"@media print {\n  body { background: #fff; color: #1d1d1f; }");
    ASSERT_GE(dark, 0);
    EXPECT_GT(bodyBackground, dark);
    EXPECT_GT(body, bodyBackground);
    EXPECT_GT(print, body);
    EXPECT_TRUE(TextOps::hasSuffix(sheet, u"  a { color: #0066cc; }\n}"));
    EXPECT_TRUE(TextOps::contains(sheet, u".alert-caution { --accent: #cf222e; --tint: rgba(207, 34, 46, 0.1); }"));
    EXPECT_TRUE(TextOps::contains(sheet, u".footnote-back { text-decoration: none; }\n@media print"));
    // The dark block overrides colours only, never the font stacks.
    const U16String darkBlock = sheet.substr(size_t(dark), size_t(bodyBackground - dark));
    EXPECT_FALSE(TextOps::contains(darkBlock, u"--body"));
    EXPECT_FALSE(TextOps::contains(darkBlock, u"--mono"));
}

TEST(MarkdownHTMLStyleSheet, ImportSheetHasNoCustomPropertiesOrMediaBlocks)
{
    for (MarkdownFontFamily family : FontFamily::allCases) {
        const U16String sheet = importStyleSheet(family);
        EXPECT_FALSE(TextOps::contains(sheet, u"var("));
        EXPECT_FALSE(TextOps::contains(sheet, u"--"));
        EXPECT_FALSE(TextOps::contains(sheet, u"@media"));
        EXPECT_FALSE(TextOps::contains(sheet, u"rgba"));
    }
    EXPECT_TRUE(TextOps::contains(importStyleSheet(MarkdownFontFamily::serif), u"'DejaVu Serif'"));
}

TEST(MarkdownHTMLPage, TemplateAroundTheBody)
{
    Options options;
    options.title = u"A <b> & c";
    const U16String page = document(u"", options);
    EXPECT_TRUE(TextOps::hasPrefix(page, u"<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n"));
    EXPECT_TRUE(TextOps::contains(page, u"<meta name=\"generator\" content=\"Velkin\">\n<title>A &lt;b&gt; &amp; c</title>\n<style>\n:root {"));
    EXPECT_TRUE(TextOps::hasSuffix(page, u"\n</style>\n</head>\n<body>\n<article class=\"velkin\">\n\n</article>\n</body>\n</html>"));
    EXPECT_TRUE(TextOps::contains(document(u"x"), u"<title>Untitled</title>"));
}
