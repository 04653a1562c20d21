// The editor's kept styling and layout against a from-scratch restyle and
// layout of the same text, over random edits of real documents.
#include "RestyleDifferential.h"

#include <gtest/gtest.h>

#include "platform/DataPaths.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iostream>

namespace velkin {
namespace {

std::vector<std::string> documents()
{
    std::vector<std::string> paths;
    for (const char* folder : {"Samples", "Help"}) {
        const std::filesystem::path dir = DataPaths::sourceRoot() / folder;
        for (const auto& entry : std::filesystem::directory_iterator(dir))
            if (entry.path().extension() == ".md")
                paths.push_back(entry.path().string());
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

TEST(RestyleDifferential, SamplesAndHelpPagesStayAsIfRestyledFromScratch)
{
    unsigned seed = 1;
    for (const std::string& path : documents()) {
        const U16String text = differential::readFile(path);
        ASSERT_FALSE(text.empty()) << path;
        EXPECT_EQ(differential::run(text, seed++, 40), "") << path;
    }
}

// Constructs that reach past their own block, edited at their edges.
TEST(RestyleDifferential, FencesTablesAndDefinitionsActingAtADistance)
{
    const U16String text = u"Intro with [ref] and a note[^1].\n\n"
                           u"```\ncode\n```\n\n"
                           u"| a | b |\n| --- | --- |\n| 1 | 2 |\n\n"
                           u"- one\n\n- two\n\n  more of two\n\n"
                           u"> [!TIP]\n> tip text\n\n"
                           u"    indented\n\n    still code\n\n"
                           u"Heading\n===\n\n"
                           u"[ref]: https://example.com\n\n"
                           u"[^1]: the note\n\n    continued\n\n"
                           u"Closing words :smile: - [ ] task\n";
    for (unsigned seed = 100; seed < 110; ++seed)
        EXPECT_EQ(differential::run(text, seed, 40), "") << "seed " << seed;
}

// A fence left open swallows the definitions below it; closing it far from the
// references gives them their meaning back (and opening it again takes it away).
TEST(RestyleDifferential, ClosingAFenceFarBelowBringsBackTheDefinitionsItHid)
{
    U16String text = u"See [ref] and [^n] here.\n\n~~~\n";
    for (int i = 0; i < 200; ++i)
        text += u"code line\n";
    text += u"\n[ref]: https://example.com\n\n[^n]: the note\n";
    differential::Editor e(text);
    const int before = int(e.view().string().find(u"\n[ref]:"));
    e.view().setSelectedRange({before, 0});
    e.view().insertText(u"\n~~~");
    EXPECT_EQ(differential::compareWithFresh(e), "");
    e.view().setSelectedRange({before, 4});
    e.view().doCommand(TextCommand{TextCommand::deleteBackward, false});
    EXPECT_EQ(differential::compareWithFresh(e), "");
}

// A fence or an HTML block unmade right above a definition frees it, with the
// reference on the edited line or far from it; made again, it takes it back.
TEST(RestyleDifferential, UnmakingTheBlockAboveADefinitionGivesItsReferencesTheirMeaning)
{
    const std::vector<std::pair<U16String, U16String>> cases{
        {u"~~~# Title [ref] | x\n[ref]: https://example.com", u"-->"},
        {u"See [ref] here.\n\n~~~ info\n[ref]: https://example.com\n", u"x"},
        {u"See [ref] here.\n\n<div>\n[ref]: https://example.com\n\n[^n]: a note [^n]\n", u"x"},
    };
    for (const auto& [text, typed] : cases) {
        differential::Editor e(text);
        const int line = text[0] == u'~' ? 0 : int(text.find(u"\n\n")) + 2;
        e.view().setSelectedRange({line, 0});
        e.view().insertText(typed);
        EXPECT_EQ(differential::compareWithFresh(e), "") << u8(text);
        e.view().setSelectedRange({line, int(typed.size())});
        e.view().doCommand(TextCommand{TextCommand::deleteBackward, false});
        EXPECT_EQ(differential::compareWithFresh(e), "") << u8(text);
    }
}

// Nested list items and lines indented less than their item's text: which item
// a line belongs to is decided by items far above an edit.
TEST(RestyleDifferential, NestedListsKeepTheirItemsAcrossEdits)
{
    U16String text = u"Intro paragraph.\n\n";
    for (int i = 0; i < 6; ++i)
        text += u"* `options` {Object}\n"
                u"  * `force` {boolean} overwrite existing file. The copy\n"
                u"    operation will ignore errors if you set this to\n"
                u"   `false` and the destination exists.\n"
                u"  * `mode` {integer} modifiers for copy operation.\n"
                u"    See `mode` flag.\n"
                u"      deeper text\n"
                u"  more of options\n\n";
    for (unsigned seed = 200; seed < 212; ++seed)
        EXPECT_EQ(differential::run(text, seed, 40), "") << "seed " << seed;
}

TEST(RestyleDifferential, TablesInListItemsOnMarkerLinesAndOverBlankLinesStayInStep)
{
    const U16String text = u"- item\n\n  | a | b |\n  |---|---|\n  | 1 | 2 |\n\n- next\n\n"
                           u"1. one\n\n   | c | d |\n   |:-|-:|\n   | 3 | 4 |\n   \n2. two\n\n"
                           u"- | e | f |\n  |---|---|\n  | 5 | 6 |\n\n> | g |\n|---|\n| 7 |\n\n"
                           u"| h | i |\n|---|---|\n| 8 | 9 |\n\t\n   ";
    for (unsigned seed = 300; seed < 316; ++seed)
        EXPECT_EQ(differential::run(text, seed, 40), "") << "seed " << seed;
}

// Log lines of about 80 characters: emphasis, bold, strikethrough and code
// within a line, and now and then a delimiter that waits lines for its partner.
U16String logLines(int count, const char16_t* lineEnd = u"\n")
{
    static const char16_t* const messages[] = {
        u"GET /api/items?id=7&sort=name_asc 200 in 12ms (cache *hit*)",
        u"worker_3 finished job `reindex` after **3 retries**, queue ~~17~~ 16",
        u"connection closed: peer reset [tls](https://x.y) <eof> _slow_ path",
        u"user alice_b uploaded report.pdf to /srv/__incoming__ \\*raw\\*",
        u"scheduler tick: 4 tasks due, *two skipped",
        u"next run in 30s, the rest* waits",
        u"plain words only, nothing marked up at all in this one",
        u"a lone _ and a lone ~~ with ** here"};
    U16String text;
    for (int i = 0; i < count; ++i) {
        text += u"2026-12-07T06:" + u16(std::to_string(10 + i % 50)) + u" INFO ";
        text += messages[(i * 7 + i / 8) % 8];
        text += lineEnd;
    }
    return text;
}

// Paragraphs of hundreds of lines without a blank line between (a pasted log)
// are restyled in parts: edits anywhere in them, delimiters typed or deleted
// that pair across many lines, and block structure typed into them.
TEST(RestyleDifferential, LogsWithoutBlankLinesStayAsIfRestyledFromScratch)
{
    const U16String text = u"# Log\n\n" + logLines(500) + u"\n- an item\n- another\n\n" + logLines(200);
    for (unsigned seed = 300; seed < 303; ++seed)
        EXPECT_EQ(differential::run(text, seed, 30), "") << "seed " << seed;
}

// A delimiter typed far below a lone one pairs with it over the whole log
// between them; deleting the lone one lets it go again; one typed far above pairs downwards.
TEST(RestyleDifferential, ADelimiterPairsAcrossAPastedLog)
{
    U16String log = logLines(600);
    std::erase_if(log, [](char16_t c) { return c == u'*' || c == u'_' || c == u'~'; });
    for (const U16String lone : {u"*", u"_", u"~~"}) {
        differential::Editor e(u"Start of a log with one lone " + lone + u" here\n" + log + u"Last line\n");
        // The caret goes there first: the line it leaves is restyled apart from the typing.
        e.view().setSelectedRange({int(e.view().string().find(u"Last")) + 4, 0});
        e.host->coordinator().restyleChanges(e.view());
        e.view().insertText(lone);
        EXPECT_EQ(differential::compareWithFresh(e), "") << u8(lone);
        e.view().setSelectedRange({int(e.view().string().find(u"lone ")) + 5, int(lone.size())});
        e.view().doCommand(TextCommand{TextCommand::deleteBackward, false});
        EXPECT_EQ(differential::compareWithFresh(e), "") << u8(lone);
        // Typed again far above the one left below, it pairs with it down there.
        const int above = int(e.view().string().find(u" INFO ", 20'000));
        e.view().setSelectedRange({above, 0});
        e.host->coordinator().restyleChanges(e.view());
        e.view().insertText(u" " + lone);
        EXPECT_EQ(differential::compareWithFresh(e), "") << u8(lone);
    }
}

// A long list whose items go on over an indented line: an item line broken or
// made again changes how the line under it reads, and an underline typed under
// a line turns it into a heading; each is restyled as a whole restyle has it.
TEST(RestyleDifferential, ItemsAndUnderlinesChangeTheLinesNextToThem)
{
    const U16String text = u"Intro.\n\n- " + logLines(400, u"\n  and a line more of the item\n- ") + u"last item\n";
    differential::Editor e(text);
    const int middle = int(e.view().string().find(u"\n- ", text.size() / 2)) + 2;
    for (const auto& [at, typed] : std::vector<std::pair<int, U16String>>{
             {middle, u"x"}, {middle - 1, u"\n"}, {middle + 1, u"---\n"}, {int(text.size()), u"-"}, {2, u"\n==="}}) {
        e.view().setSelectedRange({at, 0});
        e.host->coordinator().restyleChanges(e.view());
        e.view().insertText(typed);
        EXPECT_EQ(differential::compareWithFresh(e), "") << at << " " << u8(typed);
        e.view().doCommand(TextCommand{TextCommand::deleteBackward, false});
        EXPECT_EQ(differential::compareWithFresh(e), "") << at << " " << u8(typed) << " deleted";
    }
}

// A line of a note turned into a link definition ends the note: the lines below it
// no longer hang under the note's label (and hang again once it is undone).
TEST(RestyleDifferential, ALinkDefinitionTypedInANoteEndsIt)
{
    const U16String text = u"See [x] and[^1].\n\n[^1]: the note\nx]: http://x.example\nmore words\nand more\n";
    differential::Editor e(text);
    const int at = int(text.find(u"x]:"));
    e.view().setSelectedRange({at, 0});
    e.host->coordinator().restyleChanges(e.view());
    e.view().insertText(u"[");
    EXPECT_EQ(differential::compareWithFresh(e), "");
    e.view().doCommand(TextCommand{TextCommand::deleteBackward, false});
    EXPECT_EQ(differential::compareWithFresh(e), "");
}

// Very long lines, alone and in a paragraph: one line of a log's worth of words.
TEST(RestyleDifferential, VeryLongLinesStayAsIfRestyledFromScratch)
{
    // Also a grid cell holding a long line, with indented code after a blank line under its grid.
    const U16String texts[] = {
        u"Intro.\n\n" + logLines(300, u" ") + u"\n\n" + logLines(150, u" ") + u"\n" + logLines(150, u" ") + u"\n",
        u"Intro.\n\n| Log | Size |\n| --- | --- |\n| " + logLines(200, u" ") + u" | 2 |\n| short | 1 |\n\n    code\n\nEnd.\n",
    };
    for (const U16String& text : texts)
        for (unsigned seed = 400; seed < 403; ++seed)
            EXPECT_EQ(differential::run(text, seed, 25), "") << "seed " << seed;
}

} // namespace
// A fence that opens a list item's text runs on like any other: typing or
// removing one far above code-shaped lines restyles everything it reaches.
TEST(RestyleDifferential, AFenceOpeningAListItem)
{
    U16String text = u"- a\n- b\n";
    for (int i = 0; i < 200; ++i)
        text += u"  line *" + U16String(1, char16_t(u'a' + i % 26)) + u"* of text\n";
    text += u"  ```\n- c\n\n[ref]: https://example.com\n";
    differential::Editor e(text);
    const int b = int(e.view().string().find(u"- b"));
    e.view().setSelectedRange({b + 2, 1});
    e.view().insertText(u"```");
    EXPECT_EQ(differential::compareWithFresh(e), "");
    e.view().setSelectedRange({b + 2, 3});
    e.view().insertText(u"b");
    EXPECT_EQ(differential::compareWithFresh(e), "");
}

} // namespace velkin

namespace velkin {
namespace {

// Typing and deleting at random places of a text, one fragment or a few characters
// at a time, each edit compared with a whole restyle. Returns the first difference.
std::string editAtRandom(differential::Editor& e, std::mt19937& rng, int edits,
                         const std::vector<U16String>& typed)
{
    for (int i = 0; i < edits; ++i) {
        const int n = e.storage().length();
        const int at = int(rng() % unsigned(n + 1));
        std::string done;
        if (rng() % 3 == 0 && at > 0) {
            const int length = std::min(at, int(rng() % 3) + 1);
            e.view().setSelectedRange({at - length, length});
            e.view().doCommand(TextCommand{TextCommand::deleteBackward, false});
            done = "deleted " + std::to_string(at - length) + "+" + std::to_string(length);
        } else {
            const U16String& piece = typed[rng() % typed.size()];
            e.view().setSelectedRange({at, 0});
            e.view().insertText(piece);
            done = "typed at " + std::to_string(at) + ": " + u8(piece);
        }
        if (std::string d = differential::compareWithFresh(e); !d.empty())
            return "after edit " + std::to_string(i + 1) + " (" + done + "): " + d;
    }
    return {};
}

// At `at`, types `text` and compares; returns the difference or empty.
std::string typeAt(differential::Editor& e, int at, U16View text)
{
    e.view().setSelectedRange({at, 0});
    e.host->coordinator().restyleChanges(e.view());
    e.view().insertText(U16String(text));
    return differential::compareWithFresh(e);
}

// Deletes `length` characters at `at` and compares.
std::string deleteAt(differential::Editor& e, int at, int length)
{
    e.view().setSelectedRange({at, length});
    e.view().doCommand(TextCommand{TextCommand::deleteBackward, false});
    return differential::compareWithFresh(e);
}

// Openers typed into a long line, closers far after them, and each taken out again.
const std::vector<std::pair<U16String, U16String>>& openersAndClosers()
{
    static const std::vector<std::pair<U16String, U16String>> pairs{
        {u"`", u"`"},       {u"``", u"``"},     {u"[", u"](https://a.b)"}, {u"[t](<a ", u">)"},
        {u"[t](u \"a ", u"\")"}, {u"<sub>", u"</sub>"}, {u"**", u"**"}, {u"~~", u"~~"},
        {u" _", u"_ "},     {u"*", u"*"},       {u":smile", u":"},          {u"\\", u"*"}};
    return pairs;
}

// A line tens of thousands of characters long is restyled in parts: whatever is
// typed or deleted anywhere in it, and an opener typed far before its closer;
// a paragraph's line, a list item's, a quotation's and an item's in a quotation.
TEST(RestyleDifferential, ALongLineIsRestyledAsAWholeWouldBeWhateverIsTypedInIt)
{
    // Plain words first, where nothing but the typed opener and closer can pair.
    U16String plain = logLines(250, u" ");
    std::erase_if(plain, [](char16_t c) { return U16View(u"`*_~[]()<>\\\"':!").find(c) != U16View::npos; });
    unsigned seed = 500;
    for (const U16View leader : {U16View(u""), U16View(u"- "), U16View(u"> "), U16View(u"> 1. ")}) {
        const U16String line = U16String(leader) + plain + logLines(250, u" ");
        differential::Editor e(u"Intro.\n\n" + line + u"\n\nAfter.\n");
        const int start = 8 + int(leader.size());
        for (const auto& [opener, closer] : openersAndClosers()) {
            const int at = start + 3001;
            const int far = start + int(plain.size()) - 3000 + int(opener.size());
            ASSERT_EQ(typeAt(e, at, opener), "") << u8(leader) << u8(opener);
            ASSERT_EQ(typeAt(e, far, closer), "") << u8(leader) << u8(closer);
            ASSERT_EQ(deleteAt(e, at, int(opener.size())), "") << u8(leader) << u8(opener) << " taken out";
            ASSERT_EQ(typeAt(e, at, opener), "") << u8(leader) << u8(opener) << " again";
            ASSERT_EQ(deleteAt(e, far, int(closer.size())), "") << u8(leader) << u8(closer) << " taken out";
            ASSERT_EQ(deleteAt(e, at, int(opener.size())), "") << u8(leader) << u8(opener) << " gone";
            ASSERT_TRUE(e.view().string().substr(size_t(8), line.size()) == line) << u8(opener);
        }
        std::mt19937 rng(seed++);
        const std::vector<U16String> typed{u"x",  u" ",   u"*",  u"**", u"_",  u"~~", u"`",     u"``",  u"[",  u"]",
                                           u"(",  u")",   u"](", u"<",  u">",  u":",  u":+1:", u"\\", u"\"", u"#",
                                           u"- ", u"<u>", u"</u>", u"[a](b)", u" 1. ", u"\n"};
        EXPECT_EQ(editAtRandom(e, rng, 120, typed), "") << u8(leader);
    }
}

// A log paragraph with one lone "*" near its start: typing anywhere below leaves it
// open; a "*" typed far below pairs with it, and taking either away undoes that.
TEST(RestyleDifferential, ALoneDelimiterEarlyInAPastedLogStaysOpenOrPairsAsAWholeRestyleHasIt)
{
    U16String log = logLines(900);
    std::erase_if(log, [](char16_t c) { return c == u'*'; });
    differential::Editor e(u"# Log\n\nA lone * near the start\n" + log + u"Last line\n");
    const int middle = int(e.view().string().find(u" INFO ", log.size() / 2));
    const int late = int(e.view().string().find(u" INFO ", log.size() - 3000));
    for (const int at : {middle, late, 30, middle + 7, late})
        ASSERT_EQ(typeAt(e, at, u"x"), "") << at;
    ASSERT_EQ(typeAt(e, late, u" *"), "");
    ASSERT_EQ(typeAt(e, middle, u"y"), "");
    ASSERT_EQ(deleteAt(e, late + 1, 2), "");
    ASSERT_EQ(typeAt(e, middle, u"z"), "");
    ASSERT_EQ(deleteAt(e, int(e.view().string().find(u"lone *")) + 5, 1), "");
    ASSERT_EQ(typeAt(e, late, u"w"), "");
    ASSERT_EQ(typeAt(e, int(e.view().string().find(u"lone ")) + 5, u"*"), "");
    std::mt19937 rng(600);
    const std::vector<U16String> typed{u"x", u" ", u"*", u"_", u"~~", u"`", u"[", u"]", u"\n", u"\n\n", u"- "};
    EXPECT_EQ(editAtRandom(e, rng, 60, typed), "");
}

// A log paragraph with a lone "*" and a lone "_" near its start, whose later
// lines hold those characters now and then where they cannot pair with them: the
// "*" in code, bold or escaped, the "_" inside words. Typing near and far, each
// edit compared with a whole restyle, delimiters and code or brackets among them.
TEST(RestyleDifferential, LaterDelimitersThatLeaveALoneOneWaitingKeepItWaiting)
{
    U16String log = logLines(900);
    std::erase_if(log, [](char16_t c) { return c == u'*' || c == u'_' || c == u'~'; });
    U16String text = u"# Log\n\nA lone * and a lone _ near the start\n";
    int line = 0;
    for (size_t at = 0; at < log.size(); ++line) {
        const size_t end = log.find(u'\n', at);
        text.append(log, at, end - at);
        if (line % 60 == 59)
            text += line % 120 == 59 ? u" rotated `*.log` to old_logs" : u" **kept** old_logs \\*";
        text += u'\n';
        at = end + 1;
    }
    differential::Editor e(text + u"Last line\n");
    const U16String& s = e.view().string();
    const int middle = int(s.find(u" INFO ", s.size() / 2));
    const int late = int(s.find(u" INFO ", s.size() - 3000));
    for (const int at : {middle, late, 60, middle + 7})
        ASSERT_EQ(typeAt(e, at, u"x"), "") << at;
    // A bare one far below pairs with the lone one; a code span or a word takes it in.
    for (const U16String typed : {u" * ", u" `*` ", u" a_b ", u" _ ", u" **b** ", u" ` ", u" [", u" \\*"}) {
        ASSERT_EQ(typeAt(e, late, typed), "") << u8(typed);
        ASSERT_EQ(typeAt(e, middle, u"y"), "") << u8(typed);
        ASSERT_EQ(deleteAt(e, late, int(typed.size())), "") << u8(typed);
        ASSERT_EQ(typeAt(e, middle + 3, typed), "") << u8(typed) << " near";
        ASSERT_EQ(typeAt(e, late, u"z"), "") << u8(typed);
        ASSERT_EQ(deleteAt(e, middle + 3, int(typed.size())), "") << u8(typed) << " near";
    }
    std::mt19937 rng(700);
    const std::vector<U16String> typed{u"x", u" ", u"*", u"**", u"_", u"__", u" _", u"a_b", u"~~",
                                       u"`",  u"``", u"[", u"]", u"](x)", u"\\", u"\n", u"\n\n"};
    EXPECT_EQ(editAtRandom(e, rng, 80, typed), "");
}

// A delimiter typed far above a lone one pairs with it, though the places between
// read as settled before: each is compared with what it read as before the edit.
TEST(RestyleDifferential, ADelimiterTypedFarAboveALoneOnePairsWithIt)
{
    U16String log = logLines(900);
    std::erase_if(log, [](char16_t c) { return c == u'*' || c == u'_' || c == u'~'; });
    for (const U16String lone : {u"*", u"_", u"~~"}) {
        differential::Editor e(u"First line\n" + log + u"A lone " + lone + u" near the end\nLast line\n");
        const int middle = int(e.view().string().find(u" INFO ", log.size() / 2));
        const int late = int(e.view().string().find(u"Last"));
        ASSERT_EQ(typeAt(e, late, u"x"), "") << u8(lone);
        ASSERT_EQ(typeAt(e, middle, u" " + lone), "") << u8(lone);
        ASSERT_EQ(typeAt(e, late + 2, u"y"), "") << u8(lone);
        ASSERT_EQ(deleteAt(e, middle, int(lone.size()) + 1), "") << u8(lone);
        ASSERT_EQ(typeAt(e, middle, u"z"), "") << u8(lone);
    }
}

// A log that goes on from a nested item, then a line indented as the outer item's
// text: the outer item takes it in, however far above it stands, and a list ended
// above the items gives it to no item.
TEST(RestyleDifferential, ALineUnderALogGoingOnFromANestedItemFindsItsItem)
{
    differential::Editor e(u"Intro.\n\n* outer\n  * inner\n" + logLines(900) + u"  indented\nlast\n");
    const U16String& text = e.view().string();
    const int middle = int(text.find(u" INFO ", text.size() / 2));
    const int indented = int(text.find(u"  indented"));
    ASSERT_EQ(typeAt(e, middle, u"x"), "");
    ASSERT_EQ(typeAt(e, indented - 5, u"y"), "");
    ASSERT_EQ(typeAt(e, indented + 4, u"z"), "");
    ASSERT_EQ(typeAt(e, int(text.find(u"  * inner")), u"===\n"), "");
    ASSERT_EQ(typeAt(e, int(text.find(u"  indented")) - 5, u"w"), "");
    ASSERT_EQ(deleteAt(e, int(text.find(u"===")), 4), "");
    ASSERT_EQ(typeAt(e, int(text.find(u"  indented")) - 5, u"v"), "");
}

// One list item that a whole log goes on from without indenting its lines, or
// indented by one to three spaces, alone or in a loose list: its lines take the
// item's indent wherever they are restyled.
TEST(RestyleDifferential, AnItemContinuedByAPastedLogKeepsItsLinesInTheItem)
{
    const U16String log = logLines(900);
    U16String indented;
    for (size_t at = 0, line = 0; at < log.size(); ++line) {
        const size_t end = log.find(u'\n', at) + 1;
        indented += (line % 7 == 3 ? u" " : line % 7 == 5 ? u"   " : u"  ") + log.substr(at, end - at);
        at = end;
    }
    for (const U16String& item : {log, indented, indented + u"\n- a loose list\n"}) {
        differential::Editor e(u"Intro.\n\n- " + item + u"\nAfter.\n");
        const U16String& text = e.view().string();
        const int middle = int(text.find(u" INFO ", text.size() / 2));
        const int late = int(text.find(u" INFO ", text.size() - 3000));
        for (const int at : {middle, late, middle + 3})
            ASSERT_EQ(typeAt(e, at, u"x"), "") << at;
        const int lineStart = int(text.find(u'\n', size_t(middle))) + 1;
        for (const U16View typed : {U16View(u"- "), U16View(u"  "), U16View(u"\n"), U16View(u"# ")}) {
            ASSERT_EQ(typeAt(e, lineStart, typed), "") << u8(typed);
            ASSERT_EQ(typeAt(e, late, u"x"), "") << u8(typed);
            ASSERT_EQ(deleteAt(e, lineStart, int(typed.size())), "") << u8(typed);
        }
        // A delimiter typed in the item's last line, which pairs far above.
        const int last = int(text.rfind(u" INFO "));
        ASSERT_EQ(typeAt(e, last, u"*"), "");
        ASSERT_EQ(typeAt(e, middle, u"x"), "");
        ASSERT_EQ(deleteAt(e, last, 1), "");
        std::mt19937 rng(700);
        const std::vector<U16String> typed{u"x", u" ", u"*", u"`", u"[", u"]", u"\n", u"- ", u"  ", u"1. "};
        EXPECT_EQ(editAtRandom(e, rng, 60, typed), "") << u8(item.substr(0, 8));
    }
}

// Long blocks of one kind, where a key restyles a few lines of the block: notes
// defined one under another, quoted and unquoted lines of pipes that make no
// table, a long fence, each with a paragraph under it; a long table with a
// fence, then a note, right under it; and one long line as a list item's, a task's,
// a quotation's, a fence's, a cell's and a picture's. Random edits, then keys at
// the block's edges.
TEST(RestyleDifferential, LongBlocksOfOneKindStayAsIfRestyledFromScratch)
{
    U16String notes, links, pipes, code, rows, pictures, indented;
    for (int i = 0; i < 150; ++i) {
        const U16String n = u16(std::to_string(i));
        pictures += u"![picture " + n + u"](file:///nonexistent/p" + n + u".png)\n";
        notes += u"[^n" + n + u"]: note *" + n + u"\n";
        links += u"[l" + n + u"]: /u" + n + u" \"t *" + n + u"\"\n";
        pipes += u"| cell " + n + u" | `value` |\n";
        code += u"const x" + n + u" = 1; /* a\n";
        indented += u"    line " + n + u" *\n";
        rows += u"| row" + n + u" | 7 |\n";
    }
    U16String html, deep, quotedInItem, inItem, wider, tabbed;
    for (int i = 0; i < 400; ++i) {
        const U16String n = u16(std::to_string(i));
        html += u"line " + n + u" with <b>bold</b> *\n";
        deep += u"    line " + n + u" with <b>bold</b> *\n";
        quotedInItem += u"  > line " + n + u" with <b>bold</b> *\n";
        inItem += u"      line " + n + u" of *code\n";
        wider += u"        line " + n + u" of *code\n";
        tabbed += u"\t\tline " + n + u" of *code\n";
    }
    const U16String line = logLines(150, u" ");
    U16String cell = line;
    std::replace(cell.begin(), cell.end(), u'|', u'/');
    U16String quoted;
    for (size_t at = 0; at < pipes.size(); at = pipes.find(u'\n', at) + 1)
        quoted += u"> " + pipes.substr(at, pipes.find(u'\n', at) + 1 - at);
    const std::vector<U16String> texts{
        u"See [^n1] and [^n7].\n\n" + notes + u"\nAfter.\n",
        u"Intro.\n\n" + quoted + u"\nAfter the lines.\n",
        u"Intro.\n\n" + pipes + u"\nAfter the lines.\n",
        u"Intro.\n\n```js\n" + code + u"```\n\nAfter.\n",
        u"# Figures\n\n| Name | Value |\n| --- | --- |\n" + rows + u"```js\ncode\n```\n[^1]: a note\nSee [^1].\n",
        u"# Figures\n\n| Name | Value |\n| --- | --- |\n" + rows + u"\n```js\ncode\n```\n\n[^1]: a note\n\n[a]: /x\n\nSee [^1] [a].\n",
        u"Intro.\n\n- " + line + u"\n\nAfter.\n",
        u"Intro.\n\n- [ ] " + line + u"\n- [x] done\n\nAfter.\n",
        u"Intro.\n\n> " + line + u"\n\nAfter.\n",
        u"Intro.\n\n- > " + line + u"\n> and a line more\n\nAfter.\n",
        u"Intro.\n\n2. " + line + u"\n\nAfter.\n",
        u"Intro.\nSome words\n2. " + line + u"\n\nAfter.\n",
        // Long lines after a few blanks: in a paragraph, at its start, in an item, and as indented code.
        u"Intro.\nwords before\n " + line + u"\n\nAfter.\n",
        u"Intro.\n\n   " + line + u"\n\nAfter.\n",
        u"- item\n  " + line + u"\n\nAfter.\n",
        u"Intro.\n\n    " + line + u"\n\nAfter.\n",
        // Items whose line is as long as a line cut inside, and a character longer.
        u"Intro.\n\n- " + line.substr(0, 2046) + u"\n\nAfter.\n",
        u"Intro.\n\n- " + line.substr(0, 2047) + u"\n\nAfter.\n",
        u"Intro.\n\n```\n" + line + u"\n```\n\nAfter.\n",
        u"Intro.\n\n```\nshort\n" + line + u"\n```\n\nAfter.\n",
        u"Intro.\n\n```\n" + line.substr(0, 2047) + u"\n```\n\nAfter.\n",
        u"Intro.\n\n```\n" + line.substr(0, 2048) + u"\n```\n\nAfter.\n",
        u"- item\n\n  ```\n  " + line + u"\n  ```\n\nAfter.\n",
        u"| a | b |\n| --- | --- |\n| x | " + cell + u" |\n\nAfter.\n",
        u"Intro.\n\n![" + line + u"](p.png)\n\nAfter.\n",
        pictures + u"After the pictures.\n\n| A |\n| --- |\n| ![cell 7](file:///nonexistent/c7.png) |\n",
        u"Intro.\n\n" + indented + u"\nAfter.\n",
        u"See [l1] and [l7] ![i][l3] *[L1] x*.\n\n" + links + u"\nAfter [l149].\n",
        // Lines of a paragraph long enough to keep places in, ended by a line that is
        // none of its own: in an HTML block, a details block, a list item, a quotation.
        u"Intro.\n\n<div>\n" + html + u"</div>\n\nAfter.\n",
        u"Intro.\n\n<details>\n<summary>More</summary>\n\n" + html + u"\n</details>\n\nAfter.\n",
        u"Intro.\n\n- item\n" + html + u"</div>\n  ```\n\nAfter.\n",
        u"Intro.\n\n> quote\n" + html + u"> ```\n\nAfter.\n",
        // Such lines indented as code under a note's first line, an item's, a paragraph's.
        u"Intro.\n\n[^a]: first *\n" + deep + u"\nAfter [^a].\n",
        u"Intro.\n\n- item\n" + deep + u"- next\n\nAfter.\n",
        u"Intro.\n\nwords\n" + deep + u"    ```\n\nAfter.\n",
        // And over an empty line under the item's line (the list loose), or further down;
        // under a wider marker, a tab, a nested item; with an empty line among them.
        u"Intro.\n\n- item\n\n" + deep + u"\nAfter.\n",
        u"Intro.\n\n10. item\n    words\n\n" + deep + u"\n- next\n",
        u"Intro.\n\n- item\n\n" + inItem + u"\nAfter.\n",
        u"Intro.\n\n10. item\n\n" + wider + u"\nAfter.\n",
        u"Intro.\n\n-\titem\n\n" + tabbed + u"\nAfter.\n",
        u"Intro.\n\n- a\n  - sub\n\n" + wider + u"\nAfter.\n",
        u"Intro.\n\n- item\n\n" + inItem.substr(0, inItem.size() / 2) + u"\n" + inItem.substr(inItem.size() / 2) + u"\nAfter.\n",
        // A quotation in an item, one that is an alert, and one under an item's paragraph.
        u"Intro.\n\n- item\n" + quotedInItem + u"\nAfter.\n",
        u"Intro.\n\n- item\n  > [!NOTE]\n" + quotedInItem + u"  > ```\n\nAfter.\n",
        u"Intro.\n\n- item\n  words\n" + quotedInItem + u"  words\n- next\n",
    };
    unsigned seed = 1000;
    for (const U16String& text : texts) {
        EXPECT_EQ(differential::run(text, seed++, 25), "") << u8(text.substr(0, 12));
        differential::Editor e(text);
        const U16String& s = e.view().string();
        for (const U16View at : {U16View(u"\n```js"), U16View(u"After"), U16View(u"note *1\n"), U16View(u"a note"),
                                  U16View(u"Intro."), U16View(u"line 149"), U16View(u"line 399")}) {
            const size_t found = s.find(at);
            if (found == U16String::npos)
                continue;
            const int end = int(s.find(u'\n', found + 1));
            for (const U16View typed : {U16View(u"x"), U16View(u"*"), U16View(u" title"), U16View(u"`")})
                ASSERT_EQ(typeAt(e, end, typed), "") << u8(at) << " " << u8(typed);
            ASSERT_EQ(deleteAt(e, end - 3, 3), "") << u8(at);
        }
    }
    // Return in the middle of the long task line and Backspace joining it back:
    // the caret leaves the task's line for a plain one, then comes back to it.
    differential::Editor task(texts[6]);
    const int middle = int(texts[6].find(u' ', texts[6].size() / 2));
    ASSERT_EQ(typeAt(task, middle, u"\n"), "");
    ASSERT_EQ(typeAt(task, middle + 1, u"x"), "");
    ASSERT_EQ(deleteAt(task, middle + 1, 1), "");
    ASSERT_EQ(deleteAt(task, middle, 1), "");
}

} // namespace
} // namespace velkin

namespace velkin {
namespace {

// Long lines without blanks are cut between characters that open nothing:
// minified JSON whose "*" pair from record to record (and whose addresses no
// blank ends), base64 with a lone "*" and a lone "`" near its start or with
// shortcodes between its words, and a log on one line whose lone backtick pairs
// with every later one, or whose lone "``" none closes. Typing near the lone
// ones and far from them, each edit compared with a whole restyle.
TEST(RestyleDifferential, LongLinesWithoutBlanksStayAsIfRestyledFromScratch)
{
    U16String json = u"[";
    for (int i = 0; json.size() < 24000; ++i)
        json += u"{\"id\":" + u16(std::to_string(i)) + u",\"tags\":[\"a_b\",\"c*d\"],\"url\":\"http://x.y/z\"},";
    json += u"{}]";
    U16String base64 = u"QUJD*RGVm`Z2hp";
    while (base64.size() < 24000)
        base64 += u"QUJDRGVmZ2hpams0NTY3ODkrLw";
    U16String shortcodes;
    while (shortcodes.size() < 14000)
        shortcodes += u"QUJDRGVm,:rocket:,Z2hpams0,:smile:,";
    U16String log = u"start ` here " + logLines(250, u" ");
    std::erase_if(log, [](char16_t c) { return c == u'*' || c == u'_' || c == u'~'; });
    const U16String twoTicks = u"start `` here" + log.substr(12);
    const std::vector<U16String> typed{u"*",  u"_",  u"`", u"[", u"]", u"(", u")",       u"<",       u":",
                                       u",",  u" ",  u"x", u"\"", u"**", u"http://", u"www.", u":smile:", u"a:b"};
    unsigned seed = 800;
    for (const U16String& line : {json, base64, shortcodes, log, twoTicks}) {
        differential::Editor e(u"Intro.\n\n" + line + u"\n\nAfter.\n");
        const int near = 8 + 12;
        const int far = 8 + int(line.size()) - 3000;
        for (const U16String piece : {u"*", u"`", u"``", u"<", u"[", u"](", u":a", u"_"}) {
            ASSERT_EQ(typeAt(e, far, u"x"), "") << u8(piece);
            ASSERT_EQ(typeAt(e, near, piece), "") << u8(piece) << " near";
            ASSERT_EQ(typeAt(e, far + 7, u"y"), "") << u8(piece);
            ASSERT_EQ(typeAt(e, far, piece), "") << u8(piece) << " far";
            ASSERT_EQ(deleteAt(e, near, int(piece.size())), "") << u8(piece) << " near, taken out";
            ASSERT_EQ(deleteAt(e, far, int(piece.size())), "") << u8(piece) << " far, taken out";
        }
        // A closer typed far off and taken out again: the places after it read the
        // lone run as open again. Then an opener for a run far below.
        ASSERT_EQ(typeAt(e, far - 9000, u"``"), "");
        ASSERT_EQ(typeAt(e, far, u"x"), "");
        ASSERT_EQ(deleteAt(e, far - 9000, 2), "");
        ASSERT_EQ(typeAt(e, far + 50, u"``"), "");
        ASSERT_EQ(typeAt(e, far - 9000, u"``"), "") << "an opener for a run left alone far below";
        std::mt19937 rng(seed++);
        EXPECT_EQ(editAtRandom(e, rng, 50, typed), "") << u8(line.substr(0, 20));
    }
}

} // namespace
} // namespace velkin

namespace velkin {
namespace {

// The log quoted: each line after "> ", now and then nested or a list item, and
// a fenced block of two lines in the quote near its end; with `lazy`, now and then a line
// without a marker that goes on from the one above.
U16String quotedLog(int count, bool lazy)
{
    const U16String log = logLines(count);
    U16String text;
    int line = 0;
    for (size_t at = 0; at < log.size(); ++line) {
        const size_t end = log.find(u'\n', at) + 1;
        const U16View content = U16View(log).substr(at, end - at);
        if (lazy && line % 37 == 36)
            text += content;
        else
            text += (line % 50 == 49 ? u"> > " : line % 70 == 69 ? u"> - " : u"> ") + U16String(content);
        if (line == count * 5 / 6)
            text += u"> ```\n> code *in* the quote\n> ```\n";
        at = end;
    }
    return text;
}

// Long quotes and alerts, and two alerts of one kind a blank line apart, edited
// in their middle and at their first and last lines: markers typed and taken
// out, the kind changed, blank and lazy lines, each edit compared with a whole
// restyle, and every alert panel drawn as one.
TEST(RestyleDifferential, LongQuotesAndAlertsStayAsIfRestyledFromScratch)
{
    const U16String quote = quotedLog(600, false);
    const std::vector<U16String> texts{
        u"Intro.\n\n> [!NOTE]\n" + quote + u"\nAfter.\n",
        u"Intro.\n\n" + quotedLog(600, true) + u"\nAfter.\n",
        u"> [!WARNING]\n" + quote + u"\n> [!WARNING]\n" + quote,
    };
    unsigned seed = 900;
    for (const U16String& text : texts) {
        differential::Editor e(text);
        const U16String& s = e.view().string();
        const std::string shape = u8(s.substr(0, 12));
        const int middle = int(s.find(u"\n> 2026", s.size() / 2)) + 1;
        const int late = int(s.find(u"\n> 2026", s.size() - 3000)) + 1;
        for (const int at : {middle + 9, late + 9, 30, middle + 20})
            ASSERT_EQ(typeAt(e, at, u"x"), "") << shape << " at " << at;
        // Markers and lines typed at a line's start in the middle, and taken out again.
        for (const U16View typed : {U16View(u">"), U16View(u"\n"), U16View(u"x"), U16View(u"> [!TIP]\n"),
                                    U16View(u"\n> [!NOTE]\n"), U16View(u"- "), U16View(u"```\n")}) {
            ASSERT_EQ(typeAt(e, middle, typed), "") << shape << " " << u8(typed);
            ASSERT_EQ(typeAt(e, late + 9, u"y"), "") << shape << " " << u8(typed);
            ASSERT_EQ(deleteAt(e, middle, int(typed.size())), "") << shape << " " << u8(typed) << " taken out";
        }
        // A line's marker taken out (it goes on lazily, or the alert ends there) and put back.
        ASSERT_EQ(deleteAt(e, middle, 2), "") << shape;
        ASSERT_EQ(typeAt(e, late + 9, u"z"), "") << shape;
        ASSERT_EQ(typeAt(e, middle, u"> "), "") << shape;
        // The first line: the kind changed, the label broken and mended.
        if (const int kind = int(s.find(u"[!")) + 2; kind > 1) {
            const int length = int(s.find(u']', size_t(kind))) - kind;
            const U16String was = s.substr(size_t(kind), size_t(length));
            e.view().setSelectedRange({kind, length});
            e.view().insertText(u"CAUTION");
            ASSERT_EQ(differential::compareWithFresh(e), "") << shape << " the kind changed";
            ASSERT_EQ(typeAt(e, middle + 9, u"w"), "") << shape;
            ASSERT_EQ(deleteAt(e, kind - 1, 1), "") << shape << " the label broken";
            ASSERT_EQ(typeAt(e, kind - 1, u"!"), "") << shape << " the label mended";
            ASSERT_EQ(deleteAt(e, kind, 7), "") << shape;
            ASSERT_EQ(typeAt(e, kind, was), "") << shape;
        }
        // The last line of the quote.
        const int last = int(s.rfind(u"\n> ")) + 1;
        ASSERT_EQ(typeAt(e, int(s.find(u'\n', size_t(last))), u" end"), "") << shape;
        ASSERT_EQ(deleteAt(e, last, 2), "") << shape;
        ASSERT_EQ(typeAt(e, last, u"> "), "") << shape;
        std::mt19937 rng(seed++);
        const std::vector<U16String> typed{u"x",  u" ",     u">",    u"> ",         u">> ",  u"\n",
                                           u"\n\n", u"[!NOTE]", u"[!WARNING]", u"> [!TIP]\n", u"- ", u"```",
                                           u"*",  u"`",     u"    "};
        EXPECT_EQ(editAtRandom(e, rng, 50, typed), "") << shape;
    }
}

// The shapes where code, notes and containers meet: a reference after a code
// span holding one, a broken reference before a good one, fences under items
// and in quotations (closed, left open, under an item in a quotation) with
// lines after them at and left of the item's text.
TEST(RestyleDifferential, NotesAfterCodeAndFencesInItemsAndQuotations)
{
    const U16String text = u"Type `[^note]` to get one like this[^note]. `[^a]` [^b] and [^x [^b] and [^ [^note].\n\n"
                           u"- item\n  ```\n  code *a*\n  ```\nlazy after the block\n\n"
                           u"- open\n  ~~~\n  code\nafter the open block\n\n"
                           u"> ```\n> quoted code\n> ```\n> text after\n\n"
                           u"> - item\n>   ```\n>   code\n> after the item\n> more\n\n"
                           u"> > ```\n> > deep\n\nOut.\n\n"
                           u"[^note]: The note.\n[^b]: B.\n[^x [^y]: odd label.\n";
    for (unsigned seed = 700; seed < 712; ++seed)
        EXPECT_EQ(differential::run(text, seed, 40), "") << "seed " << seed;
}

} // namespace
} // namespace velkin

namespace velkin {
namespace {

// A step of a replayed edit: the selection it starts from, then what is typed
// there (a character at a time, "\b" a Backspace); nothing for a selection alone.
struct Step {
    Range at;
    U16String typed;
};

// Opens `text` with the caret at `caret`, replays `steps` and compares with a
// whole restyle after each; returns the first difference, or empty.
std::string replay(U16View text, int caret, const std::vector<Step>& steps)
{
    differential::Editor e(text, Range{caret, 0});
    for (size_t i = 0; i < steps.size(); ++i) {
        e.view().setSelectedRange(steps[i].at);
        for (const char16_t c : steps[i].typed) {
            if (c == u'\b')
                e.view().doCommand(TextCommand{TextCommand::deleteBackward, false});
            else
                e.view().insertText(U16String(1, c));
        }
        e.view().layoutDocument();
        if (std::string d = differential::compareWithFresh(e); !d.empty())
            return "step " + std::to_string(i + 1) + ": " + d;
    }
    return {};
}

// Edits whose reading reaches past the lines around them, each replayed on a
// fresh editor opened with the caret where given.
TEST(RestyleDifferential, WhatAnEditChangesPastItsLinesReadsAsInAWholeRestyle)
{
    struct Replayed {
        U16String text;
        int caret;
        std::vector<Step> steps;
    };
    const std::vector<Replayed> cases{
        // A line of blanks goes on a paragraph (only an empty line ends one): a
        // delimiter typed above it pairs with one below.
        {u"\ne\n \n*", 0, {{{0, 0}, u"*"}}},
        {u"\ne\n\t\n*", 0, {{{0, 0}, u"*"}}},
        {u"*\n \n#\n]\n", 0, {{{8, 0}, u"| *\n"}}},
        {u"x\n\n*\n  \n\n*", 0, {{{5, 0}, u"a"}, {{4, 0}, u"\b"}}},
        // Indented code after an empty item's lazy line is in the item.
        {u"- \nx\n\n    ma\n", 10, {{{10, 0}, u"x"}}},
        {u"- \nx\n\n    ma\n", 10, {{{12, 0}, u"\b"}}},
        {u"* \n~\n\n    ma\n", 10, {{{10, 0}, u"x"}}},
        // A task item under an item's indented code made a line of text: it goes on in the item.
        {u"* a\nb\n\n    c\n* [ ] d\n", 0, {{{13, 0}, u"x"}}},
        {u"* [ ] a\nb\n\n    c\n* [ ]     d\n", 0, {{{17, 0}, u"[l](u)"}}},
        // Empty lines between two items make the list loose, both items.
        {u"* \n\n\n\n* ", 6, {{{8, 0}, u"\n_"}}},
        {u"* \n\n\n* [ ]", 10, {{{2, 0}, u"1. "}}},
        // A loose list's last item made a paragraph after its empty lines, the item's CRLF
        // line keeping its last characters: the list is tight now, its first item too.
        {u"* a\n\n\n* b c\r\n", 0, {{{5, 4}, u"\\"}}},
        {u"* a\n\n\n* b c\r\nd\n", 0, {{{5, 4}, u"\\"}}},
        // An edit in the first item of a list that more than one empty line or a
        // line of blanks made loose: the item stays spaced as a loose one.
        {u"- a b\n\n\n- c\n", 0, {{{3, 0}, u"x"}}},
        {u"- a b\n\n\n- c\n", 0, {{{3, 0}, u"\t"}}},
        {u"1. a b\n\n\n2. c\n", 0, {{{4, 0}, u"x"}}},
        {u"- a b\n \n \n- c\n", 0, {{{3, 0}, u"x"}}},
        // A list ended above nested items leaves the lazy lines after them under the
        // inner item alone, and a line indented as the outer item's text with it.
        {u"* a\n  * b\n  * c\nlazy one\nlazy two\nlazy three\nlazy four\n  indented\n", 0, {{{4, 0}, u"===\n"}}},
        {u"* a\n===\n  * b\n  * c\nlazy one\nlazy two\nlazy three\nlazy four\n  indented\n", 0, {{{8, 0}, u"\b\b\b\b"}}},
        // A paragraph taken out joins two lists into one, loose over an empty line below.
        {u"* a\n* b\n\nP\n  - v\n\n* f\n* g\n", 0, {{{7, 3}, u"\b"}, {{7, 0}, u"\n\nQ"}}},
        // A piped line under a table row is a row whatever it reads as alone: the
        // table's columns line up over it.
        {u"", 0, {{{0, 0}, u"aaaa | b |\n| --- | --- |\n> 1 | 2 |\n| --\n| 1 | 2 |\nx\ny\nz\n"}}},
        {u"", 0, {{{0, 0}, u"aaaa | b |\n| --- | --- |\n# 1 | 2 |\n| --\n| 1 | 2 |\nx\ny\nz\n"}}},
        // A delimiter whose pair was dropped (it crossed another) still took its closer
        // lines below; one typed that pairs with it frees that closer, which no style
        // between shows.
        {u"x *-_!>*a\nb\nc\nd\ne _[ f_# g.\n", 0, {{{7, 0}, u"_"}, {{8, 0}, u"\b"}}},
        // A delimiter in a code span waits for nothing; once the span is undone it
        // waits, and pairs far below.
        {u"```\nb\nc\n***_d", 0, {{{2, 0}, u"*"}, {{3, 0}, u"`"}, {{4, 0}, u"!"}}},
        // A fence typed over the text before a one-column grid, and edits around it.
        {u"\nywhere el`\n*|\n-|\n\n", 10, {{{1, 9}, u"```js\n"}, {{0, 0}, u"[["}, {{19, 0}, u"\b"}, {{13, 0}, u"!\n"}}},
        // A caret asked for inside an emoji rests before it: the task line shows its
        // source as for any caret there, and typing goes in before the emoji.
        {u"\n* [ ] a\U0001F600", 0, {{{9, 0}, u""}, {{9, 0}, u"x"}, {{3, 0}, u""}}},
        // A grid's cells are no lines: one reading as a fence hides nothing under the
        // grid, and a delimiter typed there pairs with one past the place kept below.
        {u"| ``` |\n|-|\n\na\nb\nc\nd_", 0, {{{6, 0}, u"y"}, {{5, 0}, u"_"}}},
        {u"Intro\n\n| ~~~ |\r\n|-|\r\n\r\na\r\nb\r\nc\r\nd*", 0, {{{14, 0}, u"y"}, {{13, 0}, u"*"}}},
        // A definition's line holding another line break is more than one line to the
        // block reader; a CRLF line is one.
        {u"See [a] [b].\n\n[a]: /one\u2028\n[b]: /two\n", 27, {{{26, 1}, u"a"}}},
        {u"See [a] [b].\n\n[a]: /one\v\n[b]: /two\n", 27, {{{26, 1}, u"a"}}},
        {u"See[^a] [^b].\n\n[^a]: one\u2029\n[^b]: two\n", 29, {{{28, 1}, u"a"}}},
        {u"See [a] [b].\r\n\r\n[a]: /one\r\n[b]: /two\r\n", 29, {{{28, 1}, u"a"}, {{25, 0}, u"x"}, {{28, 1}, u"c"}}},
        // A "*" waiting past a place kept below, inside a pair that an edit undoes:
        // its partner after the place, dropped for crossing that pair, now pairs with it.
        {u"_d\n_\nt\n*", 1, {{{1, 0}, u"**_a"}}},
        // A place kept inside a list item's second paragraph starts a stretch that
        // reads on past the paragraph: a fence under it ends with the item.
        {u"```\n```\n3. \n   ```\n   >\n   ```\n\n\n\n\n   Update\n.\n\n   \n   ```\ntags\n", 0, {{{33, 0}, u"\b\b\b"}, {{48, 0}, u"` "}}},
        // Spaces taken from a line under a nested item, past an empty line, make it a
        // paragraph of the outer item (caret after the third space, two Backspaces).
        {u"* \n\n\n  * \n    [\n\n* ", 13, {{{13, 0}, u"\b\b"}}},
        // An opening fence's info string: another name of the same language, words
        // after it, another language, a backtick that unmakes the fence, the line
        // feed after it taken out (its body's first line joins it), no body, no
        // closing fence, in a list item.
        {u"Intro.\n\n```js\nconst a = 1; /* open\nstill */ b\n```\n\nAfter.\n", 13,
         {{{13, 0}, u"x"}, {{14, 0}, u"\b"}, {{13, 0}, u" title"}, {{19, 0}, u"\b\b\b\b\b\b"}, {{13, 0}, u"\b\bpy"},
          {{13, 0}, u"\b\bjs"}, {{13, 0}, u"`"}, {{14, 0}, u"\b"}, {{14, 0}, u"\b"}}},
        {u"```js x\nfoo /* a\nb */ bar\n```\n", 7, {{{7, 0}, u"y"}, {{9, 0}, u"\b"}, {{8, 0}, u"\b"}}},
        {u"~~~ sh\n~~~\n\n~~~sh\necho $x\n", 6, {{{6, 0}, u"ell"}, {{17, 0}, u"ell"}, {{12, 0}, u"x"}}},
        {u"- item\n  ```js\n  code /* a\n  */\n  ```\nafter\n", 14, {{{14, 0}, u"x"}, {{15, 0}, u"\b"}}},
        // A line after an empty line under quoted pipe lines, a list, a fence: typed
        // in, made an item and back, its empty line taken out and put back.
        {u"> | a | b |\n> | c | d |\n\nAfter.\n", 30,
         {{{30, 0}, u"x"}, {{31, 0}, u"\b"}, {{25, 0}, u"- "}, {{27, 0}, u"\b\b"}, {{25, 0}, u"\b"}, {{24, 0}, u"\n"},
          {{25, 0}, u"> "}, {{27, 0}, u"\b\b"}, {{25, 0}, u"    "}, {{29, 0}, u"\b\b\b\b"}, {{25, 0}, u"==="}}},
        {u"- a\n\n- b\n\nc\n", 8, {{{7, 0}, u"\b\b"}, {{6, 0}, u"x"}, {{6, 0}, u"- "}, {{12, 0}, u"y"}}},
        {u"```\ncode\n\nAfter *a\n", 17, {{{17, 0}, u"x"}, {{12, 0}, u"```\n\n"}, {{22, 0}, u"*"}}},
        // Notes defined one under another, one label twice: their text typed in, a
        // label changed (the note it named left undefined, or defined still by the
        // other line), a line taken out and typed again elsewhere, one in a fence.
        {u"Text[^a] [^b] [^c] [^z].\n\n[^a]: one\n[^b]: two\n[^c]: three\n[^b]: again\n\nAfter.\n", 35,
         {{{35, 0}, u"x"}, {{36, 0}, u"\b"}, {{29, 0}, u"z"}, {{30, 0}, u"\b"}, {{61, 0}, u"\bz"}, {{61, 0}, u"\bb"},
          {{39, 0}, u"\by"}, {{39, 0}, u"\bb"}, {{26, 10}, u"\b"}, {{26, 0}, u"\b"}, {{60, 0}, u"[^a]: one\n"}, {{0, 0}, u"x"}}},
        // Links defined one under another, one label twice: a title, a destination
        // and a label changed and back (the references to it left undefined, or the
        // label's later line now first), a line taken out and put back, one added,
        // a label's case changed, a fence opened above them.
        {u"See [a] [b][] [x][c] ![i][a] *[a* [ A ] x*\n\n[a]: /one \"t\"\n[b]: /two\n[c]: /three\n[b]: /again\n\n"
         u"After [b] [d].\n",
         55,
         {{{55, 0}, u"x"}, {{56, 0}, u"\b"}, {{53, 0}, u"x"}, {{54, 0}, u"\b"}, {{46, 0}, u"z"}, {{47, 0}, u"\b"},
          {{60, 0}, u"y"}, {{61, 0}, u"\b"}, {{58, 10}, u"\b"}, {{58, 0}, u"[b]: /two\n"}, {{92, 0}, u"[d]: /dee\n"},
          {{92, 10}, u"\b"}, {{70, 0}, u"\bC"}, {{44, 0}, u"```\n"}, {{48, 0}, u"\b"}, {{0, 0}, u"[a]: /top\n"}}},
        // Over a fence: a label changed and back, a definition typed after another on
        // its line and taken out, two lines joined into none and parted again, a
        // label given that of the line above (which stays first) and back.
        {u"See [a] [b] [e].\n\n[a]: /one\n[b]: /two\n\n```\n[b]: /in\n```\n", 20,
         {{{20, 0}, u"x"}, {{21, 0}, u"\b"}, {{27, 0}, u"\n[e]: /e"}, {{35, 0}, u"\b\b\b\b\b\b\b\b"}, {{28, 0}, u"\b"},
          {{27, 0}, u"\n"}, {{30, 0}, u"\ba"}, {{30, 0}, u"\bb"}}},
        // A label defined again lines below: the first line's label changed and back
        // (the later line gives the references their destination), the later line's.
        {u"See [a] [b].\n\n[a]: /one\n[b]: /two\n[c]: /3\n[d]: /4\n[e]: /5\n[f]: /6\n[a]: /again\n", 16,
         {{{16, 0}, u"x"}, {{17, 0}, u"\b"}, {{68, 0}, u"\bb"}, {{68, 0}, u"\ba"}}},
        // A label defined that a reference names: its brackets no longer let a
        // delimiter inside pair with one lines below, and back; a label written
        // in another case (a sign that lowercases to a letter) defined and undefined.
        {u"[a *b] c\nd\ne\nf* g\n\n[z]: /u\n", 20, {{{20, 1}, u"a *b"}, {{20, 4}, u"z"}, {{20, 0}, u"x"}}},
        {u"See [\u212A] [K] *[k* x*.\n\n[j]: /u\n", 23, {{{23, 1}, u"k"}, {{27, 0}, u"v"}, {{23, 1}, u"j"}}},
        // The empty line under a paragraph whose lines go on from a place kept in them
        // (typed in above): lines typed there that a list item holds past an empty line,
        // and an empty line made between the lines and an item under them (the list turns
        // loose, its first item too); lines of pipes with CRLF ends, typed under and taken back.
        {u"- a\n\n  p\nl1\nl2\nl3\nl4\nl5\nl6\nl7\nl8\n\nAfter.\n", 14, {{{14, 0}, u"*"}, {{15, 0}, u"\b"}, {{33, 0}, u"\nx\n\n  y"}}},
        {u"- a\nl1\nl2\nl3\nl4\nl5\nl6\nl7\nl8\n- b\n", 9, {{{9, 0}, u"*"}, {{10, 0}, u"\b"}, {{28, 0}, u"\n"}}},
        {u"Intro.\r\n\r\n| a | b |\r\n| c | d |\r\n| e | f |\r\n| g | h |\r\n| i | j |\r\n| k | l |\r\n\r\nAfter.\r\n", 23,
         {{{23, 0}, u"x"}, {{77, 0}, u"x"}, {{78, 0}, u"\b"}, {{77, 0}, u"\r\n"}, {{79, 0}, u"\b"}, {{8, 0}, u"x"},
          {{9, 0}, u"\b"}}},
        // Lines of pipes under an empty line, with a place kept in them (a "*" typed and
        // taken back), made to go on from the quotation above, then typed under: a
        // letter, and a delimiter row with a letter after it and taken back.
        {u"> q\n\n| a | b |\n| a | b |\n| a | b |\n| a | b |\n| a | b |\n| a | b |\n| a | b |\n| a | b |\n"
         u"| a | b |\n| a | b |\n| a | b |\n| a | b |\n\nAfter.\n",
         27,
         {{{27, 0}, u"*"}, {{28, 0}, u"\b"}, {{5, 0}, u"\b"}, {{124, 0}, u"x"}, {{125, 0}, u"\b"}, {{124, 0}, u"|---|---|"},
          {{133, 0}, u"x"}, {{134, 0}, u"\b"}}},
        // Quoted lines of pipes: a delimiter row typed between them (the lines above
        // and below become a table's), broken, mended and taken out; a code span's
        // backtick; and edits in the rows of a quoted table.
        {u"> | a | b |\n> | c | d |\n> | e | f |\n> | g | h |\n> | i | j |\n> | k | l |\n\nAfter.\n", 33,
         {{{33, 0}, u"x"}, {{36, 0}, u"> | --- | --- |\n"}, {{40, 0}, u"x"}, {{41, 0}, u"\b"}, {{56, 0}, u"y"},
          {{36, 16}, u"\b"}, {{62, 0}, u"`"}, {{50, 0}, u"`"}, {{5, 0}, u"z"}}},
        {u"> | a | b |\n> | --- | --- |\n> | 1 | 2 |\n> | 3 | 4 |\n> | 5 | 6 |\n> | 7 | 8 |\n", 50,
         {{{50, 0}, u"x"}, {{62, 0}, u"long cell"}, {{14, 0}, u"\b"}, {{14, 0}, u"-"}}},
        // A line of its own under the paragraph after a block, and the end of the
        // paragraph above one: typed in, made an underline, a fence opened above the
        // block; a line taken out so that the block's first line starts afresh,
        // undoing the emphasis that ran into it.
        {u"Intro.\n\n| a |\n| b |\n| c |\n| d |\n\nAfter.\n", 40,
         {{{40, 0}, u"x"}, {{41, 0}, u"\b"}, {{40, 0}, u"-"}, {{41, 0}, u"\b"}, {{40, 0}, u"==="}, {{43, 0}, u"\b\b\b"},
          {{6, 0}, u"x"}, {{7, 0}, u"\b"}, {{6, 0}, u"\n```"}, {{10, 0}, u"\b\b\b\b"}}},
        {u"*Intro.\nfoo\n| a *|\n| b |\n| c |\n\nAfter.\n", 11, {{{8, 3}, u"\b"}, {{8, 0}, u"foo"}}},
        {u"Intro.\n\n```js\na\nb\n```\n\nAfter.\n", 30,
         {{{30, 0}, u"x"}, {{31, 0}, u"\b"}, {{30, 0}, u"==="}, {{33, 0}, u"\b\b\b"}, {{7, 0}, u"```\n"}}},
        // The empty line after a block's closing fence: typed on, indented, made an
        // item, another fence opened there; and after a fence that ended a list item.
        {u"Intro.\n\n```js\na\nb\n```\n\nAfter.\n", 22,
         {{{22, 0}, u"x"}, {{23, 0}, u"\b"}, {{22, 0}, u"    y"}, {{27, 0}, u"\b\b\b\b\b"}, {{22, 0}, u"- "},
          {{24, 0}, u"\b\b"}, {{22, 0}, u"```"}, {{25, 0}, u"\b\b\b"}}},
        {u"- item\n```\nb\n```\n\n  after\n", 17, {{{17, 0}, u"x"}, {{18, 0}, u"\b"}, {{17, 0}, u"  "}, {{19, 0}, u"\b\b"}}},
        {u"See [^a] [^c].\n\n[^a]: one\n[^b]: two\n```\n[^c]: in code\n```\n[^d]: after\n", 35,
         {{{35, 0}, u"x"}, {{29, 0}, u"\bc"}, {{43, 0}, u"\bd"}, {{61, 0}, u"\bc"}, {{19, 0}, u"\bz"}}},
        // Definitions under a block's closing fence and an empty line: typed on, a label
        // changed and back (one line in the block above names it too), a destination
        // changed, the empty line taken out and put back, the closing fence taken out
        // (the block takes them in) and put back; then under a fence that an item or a
        // quotation ends.
        {u"See [^a] [b].\n\n```\n[^a]: in\n```\n\n[^a]: note\n\n[b]: /x\n\nAfter.\n", 43,
         {{{43, 0}, u"x"}, {{44, 0}, u"\b"}, {{36, 0}, u"\bz"}, {{36, 0}, u"\ba"}, {{47, 0}, u"\bc"}, {{47, 0}, u"\bb"},
          {{52, 0}, u"y"}, {{53, 0}, u"\b"}, {{22, 0}, u"\bz"}, {{33, 0}, u"\b"}, {{32, 0}, u"\n"}, {{28, 4}, u"\b"},
          {{28, 0}, u"```\n"}, {{43, 0}, u"x"}}},
        {u"See [^a] [b].\n\n- ```\n  [^a]: in\n\n[^a]: note\n[b]: /x\n", 43,
         {{{43, 0}, u"x"}, {{44, 0}, u"\b"}, {{36, 0}, u"\bz"}, {{36, 0}, u"\ba"}, {{51, 0}, u"y"}, {{32, 1}, u"\b"}}},
        {u"See [^a] [b].\n\n> ```\n> [^a]: in\n\n[^a]: note\n[b]: /x\n", 43,
         {{{43, 0}, u"x"}, {{44, 0}, u"\b"}, {{36, 0}, u"\bz"}, {{36, 0}, u"\ba"}, {{51, 0}, u"y"}, {{32, 1}, u"\b"}}},
        // Around an indented code block: the end of the paragraph above it (made an
        // item, which takes the block in, code, a quotation, a fence opened under it),
        // its last line (the empty line under it taken out, unindented, an item typed
        // under it), the empty line under it (typed on, indented, an item, a fence);
        // and an item above whose text goes on over indented lines, taken out.
        {u"Intro.\n\n    a\n    b *\n    c\n\nAfter *x\n", 6,
         {{{6, 0}, u"x"}, {{7, 0}, u"\b"}, {{0, 0}, u"- "}, {{2, 0}, u"\b\b"}, {{0, 0}, u"    "}, {{4, 0}, u"\b\b\b\b"},
          {{0, 0}, u"> "}, {{2, 0}, u"\b\b"}, {{6, 0}, u"\n```"}, {{10, 0}, u"\b\b\b\b"}, {{6, 0}, u"*"}, {{7, 0}, u"\b"}}},
        {u"Intro.\n\n    a\n    b *\n    c\n\nAfter *x\n", 27,
         {{{27, 0}, u"x"}, {{28, 0}, u"\b"}, {{28, 1}, u"\b"}, {{28, 0}, u"\n"}, {{26, 0}, u"\b\b\b\b"}, {{22, 0}, u"    "},
          {{27, 0}, u"\n- x"}, {{31, 0}, u"\b\b\b\b"}}},
        {u"Intro.\n\n    a\n    b *\n    c\n\nAfter *x\n", 28,
         {{{28, 0}, u"x"}, {{29, 0}, u"\b"}, {{28, 0}, u"    y"}, {{33, 0}, u"\b\b\b\b\b"}, {{28, 0}, u"- "},
          {{30, 0}, u"\b\b"}, {{28, 0}, u"```"}, {{31, 0}, u"\b\b\b"}, {{28, 0}, u"  "}, {{30, 0}, u"\b\b"},
          {{28, 0}, u"*"}, {{29, 0}, u"\b"}}},
        // The empty last line under a fence left open to the text's end, and under an
        // indented block: typed on and taken back, a closing fence typed, the line
        // feed above taken out and put back.
        {u"Intro.\n\n```js\na /* b\nc\n", 23,
         {{{23, 0}, u"x"}, {{24, 0}, u"\b"}, {{23, 0}, u"```"}, {{26, 0}, u"\b\b\b"}, {{23, 0}, u"\b"}, {{22, 0}, u"\n"},
          {{23, 0}, u"*/"}, {{25, 0}, u"\b\b"}}},
        {u"Intro.\n\n    a\n    b\n", 20,
         {{{20, 0}, u"x"}, {{21, 0}, u"\b"}, {{20, 0}, u"    c"}, {{25, 0}, u"\b\b\b\b\b"}, {{20, 0}, u"\b"},
          {{19, 0}, u"\n"}}},
        {u"```\nf\n```\n\n- Intro.\n\n    a\n    b\nAfter.\n", 13,
         {{{13, 0}, u"\b\b"}, {{31, 0}, u"x"}, {{32, 0}, u"\b"}, {{31, 0}, u"\n"}, {{32, 0}, u"\b"}, {{11, 0}, u"- "}}},
        // Lines indented as code in a list item's paragraph (a stretch may end between
        // them, under the item): a "- " typed before one's text makes an item of it
        // that the lines indented further below go on; an empty line typed between
        // them makes the tight list loose, all of it; the empty line under the item's
        // line taken out (the list tight now) and put back; a line typed to fewer
        // spaces, the item's text still, then a lazy line.
        {u"- item\n\n      a\n      b\n      c\n      d\n      g\n      h\n          e\n          f\n", 30,
         {{{30, 0}, u"- "}, {{32, 0}, u"\b\b"}}},
        {u"- item\n      a\n      b\n      c\n      d\n      e\n", 22, {{{22, 0}, u"\n"}, {{23, 0}, u"\b"}}},
        {u"- item\n\n      a\n      b\n      c\n      d\n", 8,
         {{{8, 0}, u"\b"}, {{7, 0}, u"\n"}, {{30, 0}, u"\b\b\b\b"}, {{26, 0}, u"\b\b"}, {{24, 0}, u"x"}}},
        // Return and Backspace at their first line's start and last line's end, the
        // empty line under them typed on and indented as they are.
        {u"- item\n\n      a\n      b\n      c\n\nAfter.\n", 31,
         {{{31, 0}, u"\n"}, {{32, 0}, u"\b"}, {{8, 0}, u"\n"}, {{9, 0}, u"\b"}, {{32, 0}, u"x"}, {{33, 0}, u"\b"},
          {{32, 0}, u"      d"}, {{39, 0}, u"\b\b\b\b\b\b\b"}}},
        // The same under a wider marker, a tab, and a nested item: a line taken left of the item's text.
        {u"10. item\n\n        a\n        b\n        c\n        d\n", 38, {{{38, 0}, u"x"}, {{38, 0}, u"\b\b\b\b\b"}}},
        {u"-\titem\n\n\t\ta\n\t\tb\n\t\tc\n\t\td\n", 18, {{{18, 0}, u"x"}, {{18, 0}, u"\b"}}},
        {u"- a\n  - sub\n\n        a\n        b\n        c\n        d\n", 41,
         {{{41, 0}, u"x"}, {{41, 0}, u"\b\b\b\b\b\b"}}},
    };
    for (const Replayed& c : cases)
        EXPECT_EQ(replay(c.text, c.caret, c.steps), "") << u8(c.text) << u8(c.steps.front().typed);
    // A paragraph of piped lines with no delimiter row, at top level, quoted, and
    // going on from a list item: a delimiter row typed between them (the line above
    // becomes a table's header, those below its rows) and taken out, typed again
    // with a piped line under it and taken out; a "*", then a "`", in the lines
    // pairing with one typed on the empty line under them, and taken back. Then on
    // that empty line a letter, a line break, a delimiter row with a letter after it,
    // each taken back; and a letter on the empty line above them.
    for (const auto& [item, lead] : {std::pair<U16View, U16View>{u"", u""}, {u"> ", u"> "}, {u"- ", u""}}) {
        constexpr int count = 12;
        const int width = int(lead.size()) + 10;
        U16String text = u"Intro.\n\n" + U16String(item);
        for (int k = 0; k < count; ++k)
            text += U16String(lead) + u"| a | b |\n";
        text += u"\nAfter.\n";
        const int first = 8 + int(item.size() - lead.size());
        auto line = [&](int k) { return first + k * width; };
        const U16String row = U16String(lead) + u"|---|---|\n";
        const int d = int(row.size());
        const int empty = line(count + 1);
        const std::vector<Step> steps{{{line(6), 0}, row},
                                      {{line(6), d}, u"\b"},
                                      {{line(6), 0}, row},
                                      {{line(6) + d, 0}, U16String(lead) + u"| x | y |\n"},
                                      {{line(6), d}, u"\b"},
                                      {{line(3) + int(lead.size()) + 2, 0}, u"*"},
                                      {{empty + 1, 0}, u"x*"},
                                      {{empty + 3, 0}, u"\b\b"},
                                      {{line(4) + int(lead.size()) + 2 + 1, 0}, u"`"},
                                      {{empty + 2, 0}, u"x`"},
                                      {{empty + 4, 0}, u"\b\b"},
                                      {{line(count), 0}, u"x"},
                                      {{line(count) + 1, 0}, u"\b"},
                                      {{line(count), 0}, u"\n"},
                                      {{line(count) + 1, 0}, u"\b"},
                                      {{line(count), 0}, u"|---|---|"},
                                      {{line(count) + 9, 0}, u"x"},
                                      {{line(count) + 10, 0}, u"\b"},
                                      {{line(count) + 9, 0}, u"\b\b\b\b\b\b\b\b\b"},
                                      {{7, 0}, u"x"},
                                      {{8, 0}, u"\b"}};
        EXPECT_EQ(replay(text, line(count), steps), "") << u8(text);
    }
}

// Replace All changes matches far apart separately: what each change reads anew
// past its lines (a fence opened, emphasis paired, a grid's cells) ends as in a
// whole restyle, and so does its undo.
TEST(RestyleDifferential, ReplaceAllOverMatchesFarApartReadsAsInAWholeRestyle)
{
    U16String apart;
    for (int i = 0; i < 1200; ++i)
        apart += u"xyz xyz\n";
    struct Case {
        U16String text, found, replacement;
    };
    const std::vector<Case> cases{
        {u"A ~ here\n\n" + apart + u"and ~ there\n", u"~", u"```"},
        {u"An @ star\n" + apart + u"pairs @ below\n", u"@", u"*"},
        {u"| a | b |\n|---|---|\n| 1 | 2 |\n\n" + apart + u"| a | c |\n|---|---|\n| 1 | 2 |\n", u"1", u"`1"},
        {u"- [ ] task\n\n" + apart + u"- [ ] task\n", u"[ ]", u"[x]"},
    };
    for (const Case& c : cases) {
        differential::Editor e(c.text, Range{int(c.text.size()), 0});
        e.view().setFindString(c.found);
        ASSERT_EQ(e.view().replaceAllMatches(c.replacement), 2) << u8(c.text.substr(0, 20));
        e.view().layoutDocument();
        EXPECT_EQ(differential::compareWithFresh(e), "") << u8(c.text.substr(0, 20));
        e.view().undo();
        EXPECT_EQ(*e.document, c.text);
        e.view().layoutDocument();
        EXPECT_EQ(differential::compareWithFresh(e), "") << "undone: " << u8(c.text.substr(0, 20));
    }
}

// A selection shows the source of the task boxes, picture lines and shortcodes
// it touches, as a caret does of those it stands in: as it grows, shrinks,
// moves and goes, what it touched and touches reads as in a whole restyle.
TEST(RestyleDifferential, ASelectionShowsTheSourceItTouches)
{
    const U16String text = u"Intro :smile: here\n\n* [ ] a task \U0001F600\n* [x] done\n\n![pic](images/none.png)\n\nEnd :+1:\n";
    const int task = int(text.find(u"* [ ]")), done = int(text.find(u"* [x]")), pic = int(text.find(u"![")),
              end = int(text.find(u"End"));
    EXPECT_EQ(replay(text, 0,
                     {{{task + 3, 1}, u""}, {{task + 3, done - task}, u""}, {{2, pic - 2}, u""}, {{done + 2, 40}, u""},
                      {{end + 5, 0}, u""}, {{0, int(text.size())}, u""}, {{task + 12, 0}, u""}, {{0, 8}, u""}, {{7, 0}, u""},
                      // An end moving off a task's line over nothing but its last characters, and back.
                      {{task + 7, end - task - 7}, u""}, {{done, end - done}, u""}, {{task + 8, end - task - 8}, u""},
                      {{0, task + 9}, u""}, {{0, task - 1}, u""}, {{task + 10, 0}, u""}}),
              "");
    // The same in a grid's cells, and past it.
    const U16String grid = u"| a | b |\n|---|---|\n| :smile: x | * [ ] y |\n| c | d |\n\nafter ![p](x.png) :+1:\n";
    const U16String shown = TableGrid::grids(grid, 14).string();  // where the editor's offsets fall
    const int cell = int(shown.find(u":smile:")), after = int(shown.find(u"after")), all = int(shown.size());
    EXPECT_EQ(replay(grid, 0,
                     {{{0, all}, u""}, {{0, 0}, u""}, {{cell + 2, after - cell}, u""}, {{cell + 9, after - cell}, u""},
                      {{after + 8, 0}, u""}, {{cell, 1}, u""}, {{all, 0}, u""}}),
              "");
    // In a line longer than a screen, what the selection's ends pass.
    U16String line = u"* [ ] ";
    for (int i = 0; i < 400; ++i)
        line += u"some words :smile: ";
    line += u"\n\nEnd :+1:\n";
    EXPECT_EQ(replay(line, 0,
                     {{{3, 4000}, u""}, {{3, 4010}, u""}, {{3000, 3000}, u""}, {{2990, 0}, u""}, {{0, int(line.size())}, u""},
                      {{5000, 0}, u""}}),
              "");
}

} // namespace
} // namespace velkin

namespace velkin {
namespace {

// The Markdown files under 64 KB in the machine's documentation folder, in an
// order fixed by their paths (a hash of each, so that a cut-short run still
// reaches across the packages), with the hash.
std::vector<std::pair<uint32_t, std::string>> machineDocuments()
{
    std::vector<std::pair<uint32_t, std::string>> out;
    std::error_code error;
    const auto options = std::filesystem::directory_options::skip_permission_denied;
    for (std::filesystem::recursive_directory_iterator it("/usr/share/doc", options, error), end; !error && it != end;
         it.increment(error)) {
        const std::filesystem::path& path = it->path();
        std::error_code ignored;
        if (path.extension() != ".md" || !std::filesystem::is_regular_file(path, ignored)
            || std::filesystem::file_size(path, ignored) >= 65536)
            continue;
        uint32_t hash = 2166136261u;  // FNV-1a
        for (const char c : path.string())
            hash = (hash ^ uint8_t(c)) * 16777619u;
        out.emplace_back(hash, path.string());
    }
    std::sort(out.begin(), out.end());
    return out;
}

// Random edits over the machine's Markdown documents, each compared with a whole
// restyle, with seeds used nowhere else. Documents are started while a time budget
// lasts (a slower machine, or the sanitizer build, reaches fewer of them); only the
// invariant is asserted, and a difference names what replays it.
TEST(RestyleDifferential, TheMachinesMarkdownDocumentsStayAsIfRestyledFromScratch)
{
#if defined(__SANITIZE_ADDRESS__)
    constexpr int edits = 25;
    constexpr std::chrono::seconds budget{60};
#else
    constexpr int edits = 60;
    constexpr std::chrono::seconds budget{110};
#endif
    const auto documents = machineDocuments();
    if (documents.empty())
        GTEST_SKIP() << "no Markdown documents under /usr/share/doc";
    const auto started = std::chrono::steady_clock::now();
    size_t done = 0;
    for (const auto& [hash, path] : documents) {
        if (std::chrono::steady_clock::now() - started > budget)
            break;
        const U16String text = differential::readFile(path);
        const unsigned seed = 6101 + hash % 3;
        EXPECT_EQ(differential::run(text, seed, edits), "")
            << path << ", seed " << seed << " (replay: differential::run(readFile(path), " << seed << ", " << edits << "))";
        ++done;
    }
    std::cout << "[ info     ] " << done << " of " << documents.size() << " documents, " << edits << " edits each\n";
}

// Runs over the machine's documents that once parted from a whole restyle, each
// with the seed that showed it; a document not installed is passed over.
TEST(RestyleDifferential, RunsThatOncePartedFromAWholeRestyleNoLongerDo)
{
    struct Run {
        const char* path;
        unsigned seed;
        int edits;
    };
    const std::vector<Run> runs{
        // An opener typed under a grid whose cell reads "```".
        {"/usr/share/doc/node-undici/api/Errors.md", 4242, 200},
        // A line split by a pasted line break right under indented code, reading on with pipes.
        {"/usr/share/doc/nodejs/api/policy.md", 919259, 20},
        // A definition made a heading while an earlier change's references were read again.
        {"/usr/share/doc/nodejs/glossary.md", 919232, 3},
        // A loose list's last item pasted over up to its CRLF line's end: the one item left is tight.
        {"/usr/share/doc/libbenchmark-dev/benchmark/index.md", 626317, 40},
        // A link typed before a task item under indented code in the item above.
        {"/usr/share/doc/python3-yaml/README.md", 848632, 40},
        // A backtick typed under a place kept in an item's paragraph, a fence in the item below.
        {"/usr/share/doc/nodejs/contributing/maintaining/maintaining-root-certs.md", 959622, 40},
    };
    int ran = 0;
    for (const Run& r : runs) {
        const U16String text = differential::readFile(r.path);
        if (text.empty())
            continue;
        ++ran;
        EXPECT_EQ(differential::run(text, r.seed, r.edits), "") << r.path << ", seed " << r.seed;
    }
    if (ran == 0)
        GTEST_SKIP() << "none of the documents is installed";
}

} // namespace
} // namespace velkin
