#include "help/HelpSearch.h"
#include "platform/text/Utf.h"

#include <gtest/gtest.h>

using namespace velkin;

namespace {

std::vector<std::string> termsOf(const char* query)
{
    std::vector<std::string> out;
    for (const auto& term : HelpSearch::terms(u16(query)))
        out.push_back(u8(term));
    return out;
}

std::vector<std::string> ids(const std::vector<HelpSearchResult>& results)
{
    std::vector<std::string> out;
    for (const auto& r : results)
        out.push_back(u8(r.pageID));
    return out;
}

HelpBook bookOf(std::vector<std::pair<const char16_t*, const char16_t*>> pages)
{
    std::vector<HelpPage> list;
    for (const auto& [id, markdown] : pages)
        list.push_back(HelpPage::make(id, markdown));
    return HelpBook(std::move(list), std::nullopt);
}

int scoreOf(const char16_t* query, const char16_t* markdown, const char16_t* id = u"page")
{
    const HelpPage page = HelpPage::make(id, markdown);
    const auto r = HelpSearch::result(HelpSearch::terms(query), query, page);
    return r ? r->score : 0;
}

} // namespace

TEST(HelpSearchTerms, SplitsAtBlanksOutsideQuotes)
{
    EXPECT_EQ(termsOf("pipe \"column alignment\""), (std::vector<std::string>{"pipe", "column alignment"}));
    EXPECT_EQ(termsOf("foo \"bar baz"), (std::vector<std::string>{"foo", "bar baz"}));
    EXPECT_EQ(termsOf("ab\"c d\""), (std::vector<std::string>{"abc d"}));
    EXPECT_EQ(termsOf(" a\tb\nc\u00A0d "), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(termsOf("C++ -- \u00E9t\u00E9"), (std::vector<std::string>{"C++", "\u00E9t\u00E9"}));
    EXPECT_EQ(termsOf("\" spaced \""), (std::vector<std::string>{" spaced "}));
}

TEST(HelpSearchTerms, NothingSearchableGivesNoTerms)
{
    EXPECT_TRUE(termsOf("").empty());
    EXPECT_TRUE(termsOf("   ").empty());
    EXPECT_TRUE(termsOf("!!").empty());
    EXPECT_TRUE(termsOf("\"\"").empty());
    EXPECT_TRUE(termsOf("-- ** ??").empty());
}

TEST(HelpSearchScore, TitleWordsWeighMostAndAnExactTitleJumpsAhead)
{
    // 180 for a title word, 2 body hits (the title line counts) at 3, 500 for the exact title.
    EXPECT_EQ(scoreOf(u"tables", u"# Tables\n\nUse tables.\n"), 180 + 6 + 500);
    // Inside a word only: 120.
    EXPECT_EQ(scoreOf(u"tables", u"# Subtables\n"), 120 + 3);
    // Headings count 40 each, at most three.
    EXPECT_EQ(scoreOf(u"grid", u"# X\n## grid\n## Grid two\n## grid 3\n## grid 4\n"), 3 * 40 + 4 * 3);
    // Body hits count 3 each, at most ten.
    U16String many = u"# X\n";
    for (int i = 0; i < 60; ++i)
        many += u"word ";
    EXPECT_EQ(scoreOf(u"word", many.c_str()), 30);
    // Every term must hit.
    EXPECT_EQ(scoreOf(u"tables grid", u"# Tables\n"), 0);
}

TEST(HelpSearchScore, IgnoresCaseAndDiacritics)
{
    EXPECT_EQ(scoreOf(u"FOOTNOTE", u"# X\nA footnote.\n"), 3);
    // The title contains the term, but no title word begins with it: accents count there.
    EXPECT_EQ(scoreOf(u"cafe", u"# Caf\u00E9\n"), 120 + 3 + 500);
    EXPECT_EQ(scoreOf(u"caf\u00E9", u"# Caf\u00E9\n"), 180 + 3 + 500);
    EXPECT_EQ(scoreOf(u"strasse", u"# X\nStra\u00DFe\n"), 3);
    // A decomposed accent in the page matches a precomposed one in the query.
    EXPECT_EQ(scoreOf(u"\u00E9t\u00E9", u"# X\ne\u0301te\u0301\n"), 3);
}

TEST(HelpSearchScore, TheContentsPageCountsAQuarter)
{
    const char16_t* text = u"# Help\n\nTables, tables, tables.\n";
    EXPECT_EQ(scoreOf(u"tables", text, u"index"), scoreOf(u"tables", text, u"other") / 4);
}

TEST(HelpSearchResults, RankByScoreKeepReadingOrderOnTiesAndCutWeakHits)
{
    const HelpBook book = bookOf({
        {u"index", u"# Help\n## S\n- [B](b.md) - x\n- [A](a.md) - x\n"},
        {u"a", u"# A\nshared shared\n"},
        {u"b", u"# B\nshared shared\n"},
        {u"alpha", u"# Alpha\nalpha\n"},
        {u"headings", u"# H\n## Alpha one\n## Alpha two\n"},
        {u"body", u"# Body\nalpha alpha alpha alpha alpha alpha alpha alpha alpha alpha\n"},
    });
    EXPECT_EQ(ids(HelpSearch::results(u"shared", book)), (std::vector<std::string>{"b", "a"}));
    // Top 686 sets the floor at 57: 86 stays, 30 goes.
    const auto results = HelpSearch::results(u"alpha", book);
    EXPECT_EQ(ids(results), (std::vector<std::string>{"alpha", "headings"}));
    EXPECT_EQ(results[0].score, 180 + 6 + 500);
    EXPECT_EQ(results[1].score, 80 + 6);
}

TEST(HelpSearchResults, BelowTheSmallFloorNothingIsFound)
{
    const HelpBook book = bookOf({{u"a", u"# A\nonce\n"}, {u"b", u"# B\nother\n"}});
    EXPECT_TRUE(HelpSearch::results(u"once", book).empty());  // 3 < 4
    EXPECT_TRUE(HelpSearch::results(u"zzzznotaword", book).empty());
    EXPECT_TRUE(HelpSearch::results(u"   ", book).empty());
    EXPECT_TRUE(HelpSearch::results(u"\u0301", book).empty());  // a lone mark folds to nothing
}

TEST(HelpSearchResults, AddingATermNarrows)
{
    const HelpBook book = bookOf({{u"a", u"# Images\nimage data uri\n"}, {u"b", u"# Image tips\nimage only\n"}});
    EXPECT_EQ(HelpSearch::results(u"image", book).size(), 2u);
    EXPECT_EQ(ids(HelpSearch::results(u"image uri", book)), (std::vector<std::string>{"a"}));
}

TEST(HelpSearchHeading, AHeadingWithTheTermWinsElseTheMatchSection)
{
    const HelpPage page = HelpPage::make(u"t", u"# Tables\nintro text\n## Basics\nalign here\n## Column alignment\nmore\n");
    const auto heading = HelpSearch::bestHeading({u"alignment"}, page);
    ASSERT_TRUE(heading.has_value());
    EXPECT_EQ(heading->anchor, u"column-alignment");
    EXPECT_EQ(HelpSearch::bestHeading({u"align"}, page)->anchor, u"column-alignment");  // a heading holds it
    EXPECT_EQ(HelpSearch::bestHeading({u"here"}, page)->anchor, u"basics");
    EXPECT_EQ(HelpSearch::bestHeading({u"more", u"here"}, page)->anchor, u"basics");  // the earliest match
    EXPECT_FALSE(HelpSearch::bestHeading({u"intro"}, page).has_value());  // before the first heading
    EXPECT_FALSE(HelpSearch::bestHeading({u"absent"}, page).has_value());
}

TEST(HelpSearchHeading, SectionsAreFoundAfterWideCharacters)
{
    // Non-ASCII text before the match must not shift it into the wrong section.
    const HelpPage page = HelpPage::make(
        u"t", u"# T\n## First\n\U0001F600\U0001F600\U0001F600 Stra\u00DFe e\u0301e\u0301\n## Second\ntarget\n");
    EXPECT_EQ(HelpSearch::bestHeading({u"target"}, page)->anchor, u"second");
    EXPECT_EQ(HelpSearch::bestHeading({u"strasse"}, page)->anchor, u"first");
}

TEST(HelpSearchSnippet, CutsAroundTheMatchAtSpaces)
{
    const HelpPage page = HelpPage::make(u"p", u"alpha beta gamma delta epsilon");
    EXPECT_EQ(HelpSearch::snippet({u"delta"}, page, 12), u"\u2026delta\u2026");
    EXPECT_EQ(HelpSearch::snippet({u"delta"}, page, 10), u"alpha beta gamma delta epsilon");
    EXPECT_EQ(HelpSearch::snippet({u"alpha"}, page, 12), u"alpha beta\u2026");
    EXPECT_EQ(HelpSearch::snippet({u"epsilon"}, page, 14), u"\u2026delta epsilon");
    EXPECT_EQ(HelpSearch::snippet({u"delta"}, page, 140), u"alpha beta gamma delta epsilon");
    EXPECT_EQ(HelpSearch::snippet({u"delta"}, page, 0), u"alpha beta gamma delta epsilon");
    EXPECT_EQ(HelpSearch::snippet({u"delta"}, page, -5), u"alpha beta gamma delta epsilon");
}

TEST(HelpSearchSnippet, ShowsPlainTextOfTheMatchLineOrTheOpeningLine)
{
    const HelpPage page = HelpPage::make(u"p", u"# Title\n\n   \nFirst **real** line.\nA [link](x.md) to a **checkbox**.\n");
    EXPECT_EQ(HelpSearch::snippet({u"CHECKBOX"}, page, 140), u"A link to a checkbox.");
    EXPECT_EQ(HelpSearch::snippet({u"nothing"}, page, 140), u"First real line.");
    EXPECT_EQ(HelpSearch::snippet({u"nothing"}, HelpPage::make(u"q", u"# Only a title\n"), 140), u"");
}

TEST(HelpSearchSnippet, CountsCharactersNotCodeUnits)
{
    // Twelve emoji (24 UTF-16 units) and six spaces before the term: the window is
    // measured in characters, and never splits an emoji.
    U16String line = u"";
    for (int i = 0; i < 6; ++i)
        line += u"\U0001F600\U0001F600 ";
    line += u"needle tail";
    const HelpPage page = HelpPage::make(u"p", line);
    const U16String snippet = HelpSearch::snippet({u"needle"}, page, 14);
    EXPECT_EQ(snippet, u"\u2026\U0001F600\U0001F600 \U0001F600\U0001F600 needle\u2026");
}

TEST(HelpSearchResults, ResultsCarryTitleSnippetAndAnchor)
{
    const HelpBook book = bookOf({{u"tables", u"# Tables\n## Column alignment\nColons set the **alignment**.\n"}});
    const auto results = HelpSearch::results(u"alignment", book);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].title, u"Tables");
    EXPECT_EQ(results[0].snippet, u"Column alignment");
    EXPECT_EQ(results[0].anchor, U16String(u"column-alignment"));
}

TEST(HelpSearchResults, HostileQueriesEndQuickly)
{
    U16String markdown = u"# Page\n";
    for (int i = 0; i < 500; ++i)
        markdown += u"aaaaaaaaaaaaaaaaaaaa \"quoted\" \U0001F600 e\u0301\n";
    const HelpBook book = bookOf({{u"p", markdown.c_str()}});
    U16String query(4000, u'a');
    query += u" \"";
    EXPECT_TRUE(HelpSearch::results(query, book).empty());
    EXPECT_EQ(HelpSearch::results(u"a", book).size(), 1u);
    EXPECT_EQ(HelpSearch::results(U16String(1, char16_t(0xD800)), book).size(), 0u);
}
