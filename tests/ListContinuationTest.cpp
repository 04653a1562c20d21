#include "editor/ListContinuation.h"

#include "EditTestSupport.h"

#include <gtest/gtest.h>

using namespace velkin;

namespace {

struct Press {
    const char* name;
    U16String text;
    Range selection;
    U16String expected;
    int caretAfter;
};

void expectReturns(const std::vector<Press>& presses)
{
    for (const Press& p : presses) {
        SCOPED_TRACE(p.name);
        const auto edit = ListContinuation::newline(p.text, p.selection);
        ASSERT_TRUE(edit.has_value());
        EXPECT_EQ(applyEdit(p.text, edit), p.expected);
        EXPECT_EQ(edit->selection, (Range{p.caretAfter, 0}));
    }
}

void expectPlainBreak(const std::vector<std::pair<U16String, Range>>& cases)
{
    for (const auto& [text, selection] : cases) {
        SCOPED_TRACE(u8(text) + " at " + std::to_string(selection.location) + "," + std::to_string(selection.length));
        EXPECT_FALSE(ListContinuation::newline(text, selection));
    }
}

} // namespace

TEST(ListContinuation, BulletsAndTaskItemsContinue)
{
    expectReturns({
        {"bullet", u"- item", {6, 0}, u"- item\n- ", 9},
        {"plus bullet with two blanks", u"+  item", {7, 0}, u"+  item\n+  ", 11},
        {"tab after the marker is kept", u"-\titem", {6, 0}, u"-\titem\n-\t", 9},
        {"ticked box continues unticked", u"- [x] done", {10, 0}, u"- [x] done\n- [ ] ", 17},
        {"capital X too", u"* [X] done", {10, 0}, u"* [X] done\n* [ ] ", 17},
        {"blanks after the box are kept", u"-\t[ ]\tx", {7, 0}, u"-\t[ ]\tx\n-\t[ ]\t", 14},
        {"trailing blanks on a non-empty item", u"- one  ", {7, 0}, u"- one  \n- ", 10},
        {"a box not followed by a blank is text", u"- [ ]x", {6, 0}, u"- [ ]x\n- ", 9},
        {"after a closed fence", u"```\ncode\n```\n- a", {16, 0}, u"```\ncode\n```\n- a\n- ", 19},
    });
}

TEST(ListContinuation, OrderedItemsCountOn)
{
    expectReturns({
        {"indented paren", u"  3) step", {9, 0}, u"  3) step\n  4) ", 15},
        {"grows a digit", u"9. nine", {7, 0}, u"9. nine\n10. ", 12},
        {"leading zeros go", u"007. x", {6, 0}, u"007. x\n8. ", 10},
        {"nine digits", u"999999999. x", {12, 0}, u"999999999. x\n1000000000. ", 25},
        {"digits that are not ASCII stay as they are", u"\u0661. x", {4, 0}, u"\u0661. x\n\u0661. ", 8},
    });
}

TEST(ListContinuation, QuotesRepeatEveryLevel)
{
    expectReturns({
        {"quote", u"> quoted", {8, 0}, u"> quoted\n> ", 11},
        {"tight nested quote", u">>text", {6, 0}, u">>text\n>> ", 10},
        {"spaced nested quote", u"> > a", {5, 0}, u"> > a\n> > ", 10},
        {"quoted bullet", u"> - a", {5, 0}, u"> - a\n> - ", 10},
        {"quoted numbered item", u"> 1. a", {6, 0}, u"> 1. a\n> 2. ", 12},
        {"quoted task item", u"> - [x] a", {9, 0}, u"> - [x] a\n> - [ ] ", 18},
        {"three spaces before the quote", u"   > a", {6, 0}, u"   > a\n   > ", 12},
        {"a quote inside a list item continues the item only", u"- > a", {5, 0}, u"- > a\n- ", 8},
        {"a thematic break inside a quote continues only the quote", u"> - - -", {7, 0}, u"> - - -\n> ", 10},
    });
}

TEST(ListContinuation, FencedCodeKeepsItsQuotationAndItem)
{
    // No marker, no box, and an empty code line ends nothing: only the container's leader goes on.
    expectReturns({
        {"alert", u"> [!NOTE]\n> ```sh\n> ls\n> ```", {22, 0}, u"> [!NOTE]\n> ```sh\n> ls\n> \n> ```", 25},
        {"a marker in the code", u"> ```\n> - code", {14, 0}, u"> ```\n> - code\n> ", 17},
        {"nested quote", u"> > ```\n> > code", {16, 0}, u"> > ```\n> > code\n> > ", 21},
        {"tight quote", u">```\n>code", {10, 0}, u">```\n>code\n> ", 13},
        {"deeper leaders are code", u"> ```\n> > x", {11, 0}, u"> ```\n> > x\n> ", 14},
        {"empty code line", u"> ```\n>", {7, 0}, u"> ```\n>\n> ", 10},
        {"closing fence", u"> ```\n> x\n> ```", {15, 0}, u"> ```\n> x\n> ```\n> ", 18},
        {"mid-line", u"> ```\n> ab", {9, 0}, u"> ```\n> a\n> b", 12},
        {"CRLF", u"> ```\r\n> x", {10, 0}, u"> ```\r\n> x\r\n> ", 14},
        {"ordered item", u"1. Run:\n   ```\n   cmd\n   ```\n2. Next", {21, 0},
         u"1. Run:\n   ```\n   cmd\n   \n   ```\n2. Next", 25},
        {"fence on the item's line", u"- ```\n  code", {12, 0}, u"- ```\n  code\n  ", 15},
        {"opening line of an item", u"10. ```sh", {9, 0}, u"10. ```sh\n    ", 14},
        {"tab under the item", u"- x\n\t```\n\tcode", {14, 0}, u"- x\n\t```\n\tcode\n\t", 16},
        {"blank code line in an item", u"1. a\n   ```\n\n   x", {12, 0}, u"1. a\n   ```\n\n   \n   x", 16},
        {"quoted item", u"> - ```\n>   code", {16, 0}, u"> - ```\n>   code\n>   ", 21},
        {"quoted item, tight leader", u">- ```\n>   code", {15, 0}, u">- ```\n>   code\n>   ", 20},
    });
}

TEST(ListContinuation, EmptyItemsEndTheList)
{
    expectReturns({
        {"bare bullet", u"- ", {2, 0}, u"", 0},
        {"bullet with trailing blanks", u"-   ", {4, 0}, u"", 0},
        {"bare box without a blank", u"- [ ]", {5, 0}, u"", 0},
        {"bare box with blanks", u"- [ ]  ", {7, 0}, u"", 0},
        {"second item", u"- one\n- ", {8, 0}, u"- one\n", 6},
        {"quoted item keeps the quote", u"> - ", {4, 0}, u"> ", 2},
        {"nested quoted item keeps both quotes", u"> > 1. ", {7, 0}, u"> > ", 4},
        {"bare quote goes entirely", u"> ", {2, 0}, u"", 0},
        {"bare nested quote goes entirely", u">> ", {3, 0}, u"", 0},
    });
}

TEST(ListContinuation, SelectionsAreReplaced)
{
    expectReturns({
        {"mid-item caret moves the rest into a new item", u"- one two", {5, 0}, u"- one\n-  two", 8},
        {"a selection is replaced", u"- one two", {2, 3}, u"- \n-  two", 5},
        {"a selection of a whole empty item still continues", u"- ", {2, 0}, u"", 0},
        {"a non-empty selection at the end of a bare item continues", u"- x", {2, 1}, u"- \n- ", 5},
    });
}

TEST(ListContinuation, CRLFDocumentsKeepTheirLineBreaks)
{
    expectReturns({
        {"continuation inserts CRLF", u"- one\r\nnext", {5, 0}, u"- one\r\n- \r\nnext", 9},
        {"an empty item before CRLF ends the list", u"- one\r\n- \r\nnext", {9, 0}, u"- one\r\n\r\nnext", 7},
        {"an empty quoted item before CRLF", u"> - one\r\n> - \r\n", {13, 0}, u"> - one\r\n> \r\n", 11},
        {"caret between CR and LF counts as the line end", u"- one\r\n", {6, 0}, u"- one\r\n- \r\n", 9},
        {"a CR-only document gets CR", u"- one\rtwo", {5, 0}, u"- one\r- \rtwo", 8},
    });
}

TEST(ListContinuation, NeverCutsASurrogatePair)
{
    // U+1F600 occupies 2 and 3; a caret between its halves is taken as the position before it.
    expectReturns({
        {"caret inside the pair", u"- \U0001F600", {3, 0}, u"- \n- \U0001F600", 5},
        {"selection ending inside the pair", u"- a\U0001F600b", {2, 2}, u"- \n- b", 5},
    });
}

TEST(ListContinuation, PlainLineBreakCases)
{
    expectPlainBreak({
        {u"plain text", {5, 0}},
        {u"-item", {5, 0}},
        {u"1.5 million", {11, 0}},
        {u"1234567890. ten digits", {22, 0}},
        {u"- - -", {5, 0}},
        {u"***", {3, 0}},
        {u"   ---", {6, 0}},
        {u"- item", {1, 0}},
        {u"- item", {0, 0}},
        {u"> - item", {3, 0}},
        {u"```\n- code\n```", {10, 0}},
        {u"~~~\n- code", {10, 0}},
        {u"- a\n", {4, 0}},
        {u"    > four spaces is no quote", {29, 0}},
        {u"", {0, 0}},
    });
}

TEST(ListContinuation, SelectionsOutsideTheTextGiveNoEdit)
{
    expectPlainBreak({
        {u"- a", {-1, 0}},
        {u"- a", {4, 0}},
        {u"- a", {2, 5}},
        {u"- a", {2, -1}},
        {u"- a", {NotFound, 0}},
        {u"- a", {1, NotFound}},
    });
}

TEST(ListContinuation, ParseGivesTheLeaderFields)
{
    using L = ListContinuation::Leader;
    struct Row {
        U16String line;
        std::optional<L> leader;
    };
    const std::vector<Row> rows = {
        {u"- a", L{2, u"- ", 0}},
        {u"> a", L{2, u"> ", 0}},
        {u">a", L{1, u"> ", 0}},
        {u"> - [x] a", L{8, u"> - [ ] ", 2}},
        {u">> 3. a", L{6, u">> 4. ", 3}},
        {u"  12) a", L{6, u"  13) ", 0}},
        {u"- [ ]", L{5, u"- [ ] ", 0}},
        {u"plain", std::nullopt},
        {u"* * *", std::nullopt},
        {u"", std::nullopt},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(u8(r.line));
        EXPECT_EQ(ListContinuation::parse(r.line), r.leader);
    }
}

TEST(ListContinuation, HostileInputNeverCrashes)
{
    U16String huge(200000, u'>');
    huge += u" - [x] ";
    const auto edit = ListContinuation::newline(huge, {static_cast<int>(huge.size()), 0});
    ASSERT_TRUE(edit);
    EXPECT_TRUE(edit->replacement.empty());  // an empty item: its leader goes

    const std::vector<U16String> texts = {u"\xD800", u"\xDC00- a", u"- \xD800", u"\r\r\n\n", u"> ```\n> - a", u"\u2028- a\u2029"};
    for (const U16String& text : texts) {
        for (int i = 0; i <= static_cast<int>(text.size()); ++i) {
            const auto e = ListContinuation::newline(text, {i, 0});
            if (e) {
                EXPECT_LE(e->range.end(), static_cast<int>(text.size()));
            }
        }
    }
}
