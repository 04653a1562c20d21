#include "highlight/SpecialTokenizers.h"
#include "TokenText.h"

#include <gtest/gtest.h>

using namespace velkin;
using namespace velkin::CodeHighlighter;
using velkin::testing::describe;

namespace {

std::string rst(U16View code) { return describe(code, rstTokens(code)); }
std::string tmpl(U16View code) { return describe(code, templateTokens(code)); }
std::string log(U16View code) { return describe(code, logTokens(code)); }
std::string git(U16View code) { return describe(code, gitTokens(code)); }
std::string csv(U16View code) { return describe(code, csvTokens(code, u',')); }
std::string tsv(U16View code) { return describe(code, csvTokens(code, u'\t')); }

} // namespace

TEST(RstTokens, TitlesAndAdornments)
{
    EXPECT_EQ(rst(u""), "");
    EXPECT_EQ(rst(u"Title\n====="), "type[=====] type[Title]");
    EXPECT_EQ(rst(u"\n-----"), "type[-----]");
    EXPECT_EQ(rst(u"-----\nx"), "type[-----]");
    EXPECT_EQ(rst(u"=====\nTitle\n====="), "type[=====] type[=====] type[Title]");
    EXPECT_EQ(rst(u"  ----  \n-\n=-=-\n---- x"), "type[  ----  ]");
    EXPECT_EQ(rst(u"``"), "type[``]");
    EXPECT_EQ(rst(u"Title\r\n=====\r\n"), "type[=====] type[Title]");
}

TEST(RstTokens, ExplicitMarkupAndFields)
{
    EXPECT_EQ(rst(u".. code-block:: python"), "keyword[.. code-block:: python]");
    EXPECT_EQ(rst(u".. _target: somewhere"), "comment[.. _target: somewhere]");
    EXPECT_EQ(rst(u"   .. note::"), "keyword[   .. note::]");
    // An underline below a directive marks that line as a title as well.
    EXPECT_EQ(rst(u".. x\n---"), "comment[.. x] type[---] type[.. x]");
    EXPECT_EQ(rst(u":returns: ``value`` see `Name`_"), "keyword[:returns:] string[``value``] type[`Name`_]");
    EXPECT_EQ(rst(u"::"), "");
    EXPECT_EQ(rst(u":no second colon"), "");
}

TEST(RstTokens, InlineLiteralsAndInterpretedText)
{
    EXPECT_EQ(rst(u"a ``open"), "string[``open]");
    EXPECT_EQ(rst(u"a `open"), "");
    EXPECT_EQ(rst(u"`a`__ `b` `c"), "type[`a`_] type[`b`]");
    EXPECT_EQ(rst(u"x ``a`` y\nz"), "string[``a``]");
}

TEST(TemplateTokens, TagsAndLiterals)
{
    EXPECT_EQ(tmpl(u""), "");
    EXPECT_EQ(tmpl(u"<p>plain</p>"), "");
    EXPECT_EQ(tmpl(u"{% if user %}"), "keyword[{% if user %}]");
    EXPECT_EQ(tmpl(u"{{ 'a' }}"), "keyword[{{ 'a' }}] string['a']");
    EXPECT_EQ(tmpl(u"{# '1' #} <%# 2 %>"), "comment[{# '1' #}] comment[<%# 2 %>]");
    EXPECT_EQ(tmpl(u"<%= total + 1 %>"), "keyword[<%= total + 1 %>] number[1]");
    EXPECT_EQ(tmpl(u"{{ a"), "keyword[{{ a]");
    EXPECT_EQ(tmpl(u"{{ x1 x12 1.2.3 7. }}"), "keyword[{{ x1 x12 1.2.3 7. }}] number[2] number[1.2.3] number[7.]");
    EXPECT_EQ(tmpl(u"{{ 'open }}"), "keyword[{{ 'open }}] string['open ]");
    EXPECT_EQ(tmpl(u"{{ '}}' }}"), "keyword[{{ '}}] string[']");
    EXPECT_EQ(tmpl(u"{{#each items}}"), "keyword[{{#each items}}]");
    EXPECT_EQ(tmpl(u"{{ \"a\nb\" }}"), "keyword[{{ \"a\nb\" }}] string[\"a\nb\"]");
    EXPECT_EQ(tmpl(u"{"), "");
    EXPECT_EQ(tmpl(u"<%"), "keyword[<%]");
}

TEST(LogTokens, LevelsFieldsNumbersAndStrings)
{
    EXPECT_EQ(log(u"2024-01-01 12:00:00 [main] WARN started \"Ann\" 91%"),
              "number[2024-01-01] number[12:00:00] type[[main]] keyword[WARN] string[\"Ann\"] number[91]");
    EXPECT_EQ(log(u"Warning WARNING warning Info Verbose ERROR_CODE eRRor"),
              "keyword[Warning] keyword[WARNING] type[Info] comment[Verbose]");
    EXPECT_EQ(log(u"ERROR2"), "deleted[ERROR] number[2]");
    EXPECT_EQ(log(u"[ERROR] -5 2024-05-01T10:20:30.123Z"), "type[[ERROR]] number[5] number[2024-05-01T10:20:30.123Z]");
}

TEST(LogTokens, UnterminatedQuotesAndBrackets)
{
    EXPECT_EQ(log(u"a \"open\nINFO"), "string[\"open\n] type[INFO]");
    EXPECT_EQ(log(u"a 'open"), "string['open]");
    EXPECT_EQ(log(u"[abc\nx]"), "");
    EXPECT_EQ(log(u"[[[ FATAL\n[x]"), "deleted[FATAL] type[[x]]");
    EXPECT_EQ(log(u"[a [b] ["), "type[[a [b]]");
}

TEST(GitTokens, SubjectCommentsTrailersAndCommands)
{
    EXPECT_EQ(git(u"Fix crash on launch\n\nFix crash on launch"), "type[Fix crash on launch]");
    EXPECT_EQ(git(u"# Please enter the commit message\n\n  Subject"),
              "comment[# Please enter the commit message] type[Subject]");
    EXPECT_EQ(git(u"S\nSigned-off-by: A\nFixes #12\ncc: b"), "type[S] keyword[Signed-off-by] keyword[cc]");
    EXPECT_EQ(git(u"pick 1a2b3c Message\nPick 2"), "keyword[pick]");
    EXPECT_EQ(git(u"drop support for X\nnext"), "keyword[drop]");
    EXPECT_EQ(git(u"Subject\r\n# c\r\n"), "type[Subject\r] comment[# c\r]");
}

TEST(CsvTokens, HeaderQuotedAndNumericCells)
{
    EXPECT_EQ(csv(u"name,age\n\"Doe, J\",42"), "type[name] type[age] string[\"Doe, J\"] number[42]");
    EXPECT_EQ(csv(u"h\n  7  ,,  ,x,-1e3,0x1p3,inf,nan"), "type[h] number[7] number[-1e3] number[0x1p3] number[inf] number[nan]");
    EXPECT_EQ(csv(u"\"a\nb\",c\n1"), "type[\"a\nb\"] type[c] number[1]");
    EXPECT_EQ(csv(u"h\n\"a\"\"b\"x,\"\""), "type[h] string[\"a\"\"b\"x] string[\"\"]");
    EXPECT_EQ(csv(u"h\n\"open,1"), "type[h] string[\"open,1]");
    EXPECT_EQ(csv(u"a,"), "type[a]");
}

TEST(CsvTokens, CrLfAndOtherLeadingSpaces)
{
    EXPECT_EQ(csv(u"a,b\r\n1,2\r\n"), "type[a] type[b\r] number[1]");
    // Only the whole cell counts: no leading control character, no embedded NUL.
    EXPECT_EQ(csv(u"h\n\r5,\v5,\f5"), "type[h]");
    const U16String withNul(u"h\n5\0x,6", 7);
    EXPECT_EQ(csv(withNul), "type[h] number[6]");
}

TEST(CsvTokens, TabSeparated)
{
    EXPECT_EQ(tsv(u"a\tb\n1,5\t2"), "type[a] type[b] number[2]");
}
