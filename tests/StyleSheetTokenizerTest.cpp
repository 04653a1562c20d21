#include "highlight/SpecialTokenizers.h"
#include "TokenText.h"

#include <gtest/gtest.h>

using namespace velkin;
using namespace velkin::CodeHighlighter;
using velkin::testing::describe;

namespace {

std::string css(U16View code) { return describe(code, cssTokens(code, false, false)); }
std::string scss(U16View code) { return describe(code, cssTokens(code, true, false)); }
std::string sass(U16View code) { return describe(code, cssTokens(code, true, true)); }

} // namespace

TEST(CssTokens, PropertiesOnlyAtTheStartOfADeclarationInABlock)
{
    EXPECT_EQ(css(u"a { color: red; }"), "keyword[color]");
    EXPECT_EQ(css(u"a { color : red }"), "keyword[color]");
    EXPECT_EQ(css(u"a { color\n: red }"), "");
    EXPECT_EQ(css(u"a:hover { }"), "");
    EXPECT_EQ(css(u".a { color: #fff; width: 10px; }"), "keyword[color] number[#fff] keyword[width] number[10px]");
    EXPECT_EQ(css(u"@media (max-width: 600px) {"), "keyword[@media] number[600px]");
    EXPECT_EQ(css(u"} } a { b: c }"), "keyword[b]");
}

TEST(CssTokens, ColoursNumbersAndUnits)
{
    EXPECT_EQ(css(u"#fff #ffff #aabbcc #aabbccdd ;"), "number[#fff] number[#ffff] number[#aabbcc] number[#aabbccdd]");
    EXPECT_EQ(css(u"#ab #abcde #header ;"), "");
    EXPECT_EQ(css(u"#abcdefg ;"), "number[#abcdef]");
    EXPECT_EQ(css(u"1e3 1.5em 50% .5s 1.2.3 -5px ;"),
              "number[1e] number[3] number[1.5em] number[50%] number[.5s] number[1.2.3]");
}

TEST(CssTokens, CommentsAndStrings)
{
    EXPECT_EQ(css(u"// x\n"), "");
    EXPECT_EQ(scss(u"// x\n"), "comment[// x]");
    EXPECT_EQ(css(u"/* a */ /* open"), "comment[/* a */] comment[/* open]");
    EXPECT_EQ(css(u"'a\\'b' \"open\nx;"), "string['a\\'b'] string[\"open]");
    EXPECT_EQ(css(u"\"a\\"), "string[\"a\\]");
    EXPECT_EQ(css(u"/"), "");
}

TEST(CssTokens, VariablesAndAtRules)
{
    EXPECT_EQ(scss(u"$gap: 4px;"), "type[$gap] number[4px]");
    EXPECT_EQ(scss(u"$c: red; // note"), "type[$c] comment[// note]");
    EXPECT_EQ(css(u"@ $ ;"), "keyword[@] type[$]");
}

TEST(CssTokens, IndentedSyntaxes)
{
    EXPECT_EQ(sass(u"nav\n  margin: 0"), "keyword[margin] number[0]");
    EXPECT_EQ(sass(u"a:hover\n"), "keyword[a]");
    EXPECT_EQ(sass(u".card\n  color: red"), "keyword[color]");
    EXPECT_EQ(sass(u"a\r\n  b: c\r\n"), "keyword[b]");
}

TEST(CssTokens, TextEndingInsideAWord)
{
    EXPECT_EQ(css(u"a { color"), "");
    EXPECT_EQ(css(u"a { x: 1; color"), "keyword[x] number[1]");
}
