#include "highlight/CodeHighlighter.h"
#include "highlight/SpecialTokenizers.h"
#include "TokenText.h"

#include <gtest/gtest.h>

using namespace velkin;
using namespace velkin::CodeHighlighter;
using velkin::testing::describe;

namespace {

std::string markup(U16View code) { return describe(code, markupTokens(code)); }

} // namespace

TEST(MarkupTokens, TagsAttributesValuesAndComments)
{
    EXPECT_EQ(markup(u"<a href=\"x\">"), "type[a] keyword[href] string[\"x\"]");
    EXPECT_EQ(markup(u"<!DOCTYPE html>"), "type[DOCTYPE] keyword[html]");
    EXPECT_EQ(markup(u"<?xml version=\"1.0\"?>"), "type[xml] keyword[version] string[\"1.0\"]");
    EXPECT_EQ(markup(u"</div>"), "type[div]");
    EXPECT_EQ(markup(u"<!-- c --><b>"), "comment[<!-- c -->] type[b]");
    EXPECT_EQ(markup(u"<!--> x"), "comment[<!--> x]");
    EXPECT_EQ(markup(u"<img width=100 alt=_x src='a>b'>"), "type[img] keyword[width] keyword[alt] keyword[_x] "
                                                           "keyword[src] string['a>b']");
    EXPECT_EQ(markup(u"a < b && c > d"), "keyword[b] keyword[c]");
    EXPECT_EQ(markup(u"<![CDATA[ x y ]]>"), "keyword[CDATA] keyword[x] keyword[y]");
}

TEST(MarkupTokens, CharacterReferences)
{
    EXPECT_EQ(markup(u"&amp; &#169; &#x263A; &; &#;"),
              "keyword[&amp;] keyword[&#169;] keyword[&#x263A;] keyword[&;] keyword[&#;]");
    EXPECT_EQ(markup(u"&amp"), "");
    EXPECT_EQ(markup(u"&amp x"), "");
    EXPECT_EQ(markup(u"&"), "");
    EXPECT_EQ(markup(u"&#"), "");
}

TEST(MarkupTokens, UnterminatedConstructsRunToTheEnd)
{
    EXPECT_EQ(markup(u"<a title=\"open"), "type[a] keyword[title] string[\"open]");
    EXPECT_EQ(markup(u"<!-- open"), "comment[<!-- open]");
    EXPECT_EQ(markup(u"<"), "");
    EXPECT_EQ(markup(u"<!"), "");
    EXPECT_EQ(markup(u"</"), "");
    EXPECT_EQ(markup(u"<a"), "type[a]");
}

TEST(MarkupTokens, ScriptAndStyleBodiesAreHandedOn)
{
    const U16String script = u"<script>let a = 1</script>";
    const CodeTokens tokens = markupTokens(script);
    ASSERT_GE(tokens.size(), 3u);
    EXPECT_EQ(describe(script, {tokens.front()}), "type[script]");
    EXPECT_EQ(describe(script, {tokens.back()}), "type[script]");
    const U16String body = u"let a = 1";
    CodeTokens expected = CodeHighlighter::tokens(body, *rules(u"javascript"));
    for (CodeToken& t : expected)
        t.range.location += 8;
    EXPECT_EQ(CodeTokens(tokens.begin() + 1, tokens.end() - 1), expected);

    EXPECT_EQ(markup(u"<style>\n.a { color: #fff; }\n</style>"),
              "type[style] keyword[color] number[#fff] type[style]");
    EXPECT_EQ(markup(u"<STYLE>p{x:1}</style>"), "type[STYLE] keyword[x] number[1] type[style]");
    // The closer is matched exactly: an upper-case one is not found, so the body is markup.
    EXPECT_EQ(markup(u"<STYLE>p{x:1}</STYLE>"), "type[STYLE] type[STYLE]");
    EXPECT_EQ(markup(u"<script></script>"), "type[script] type[script]");
}

TEST(MarkupTokens, ScriptWithoutACloser)
{
    // Without a closer the rest is markup: text content gets nothing.
    EXPECT_EQ(markup(u"<script>if (x) <b c=\"d\">"), "type[script] type[b] keyword[c] string[\"d\"]");
    EXPECT_EQ(markup(u"<script src=\"a.js\"/>\n<p class=\"x\">hi</p>"),
              "type[script] keyword[src] string[\"a.js\"] type[p] keyword[class] string[\"x\"] type[p]");
    // A later closer takes everything before it as script.
    EXPECT_EQ(markup(u"<script src=\"a.js\"/><p id=\"x\"></script>"),
              "type[script] keyword[src] string[\"a.js\"] string[\"x\"] type[script]");
}

TEST(MarkupTokens, ManyOpenScriptsWithoutCloser)
{
    // Each body start re-uses the one search for the missing closer.
    U16String text;
    for (int i = 0; i < 20000; ++i)
        text += u"<script>x";
    const CodeTokens tokens = markupTokens(text);
    EXPECT_EQ(tokens.size(), 20000u);
    EXPECT_EQ(markup(u"<script>a<script>b</script>"), "type[script] type[script]");
}
