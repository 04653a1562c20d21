// Long texts styled in steps: the first screen at once, the rest in idle time.
// Each step must leave what is styled so far as a whole styling has it, and
// edits made between steps must end in the same styling as well.
#include "RestyleDifferential.h"

#include <gtest/gtest.h>

#include "TempDirectory.h"
#include "document/ImageCache.h"
#include "editor/ParagraphCut.h"
#include "platform/DataPaths.h"

#include <QImage>
#include <QTest>

#include <algorithm>
#include <filesystem>

namespace velkin {
namespace {

// Steps this short cut every kind of block in the texts below many times over.
constexpr int kStep = 200;

// Every sample and help page one after another.
U16String allPages()
{
    std::vector<std::string> paths;
    for (const char* folder : {"Samples", "Help"})
        for (const auto& entry : std::filesystem::directory_iterator(DataPaths::sourceRoot() / folder))
            if (entry.path().extension() == ".md")
                paths.push_back(entry.path().string());
    std::sort(paths.begin(), paths.end());
    U16String text;
    for (const std::string& path : paths)
        text += differential::readFile(path) + u"\n";
    return text;
}

// Constructs whose reading hangs on lines far from them, around many step ends.
U16String farReaching()
{
    U16String text = u"See [ref], [^n] and [later].\n\n";
    for (int i = 0; i < 12; ++i) {
        text += u"Setext heading\n===\n\nA paragraph\nthat goes on\n\n"
                u"- tight item\n- another\n\n- now loose\n\n  continued in the item\n\n"
                u"> quoted\nlazy line\n\n> [!NOTE]\n> an alert\n\n"
                u"| a | b |\n| --- | --- |\n| 1 | `2` |\n\n"
                u"    indented code\n\n    more of it\n\n"
                u"```\nfenced\n\nwith a blank line and [ref]: https://not.a/definition\n```\n\n"
                u"1. first\n\n1. second\n\nA line :smile: with a task - [ ] and ![pic](none.png)\n\n";
    }
    text += u"~~~\nA fence left open a while\n\nParagraph-looking text\n\n";
    for (int i = 0; i < 40; ++i)
        text += u"code line " + u16(std::to_string(i)) + u"\n\n";
    text += u"~~~\n\n[ref]: https://example.com\n\n[^n]: the note\n\n    continued\n\n[later]: https://later.example\n";
    return text;
}

// Long grids where a step may end between cells, and where it may not: standing
// alone, under a paragraph, in a list item, with a lazy line under them, ending the text.
U16String longGrids()
{
    auto grid = [](U16View indent, int rows) {
        U16String text = U16String(indent) + u"| Name | *Value* |\n" + U16String(indent) + u"| --- | :-: |\n";
        for (int i = 0; i < rows; ++i)
            text += U16String(indent) + u"| row " + u16(std::to_string(i)) + (i % 7 == 0 ? u" | |\n" : u" :smile: [ref] | `x` \\| y |\n");
        return text;
    };
    return u"# Figures\n\n" + grid(u"", 60) + u"\nA paragraph\n" + grid(u"", 40) + u"lazy line under it\n\n- an item\n\n"
        + grid(u"  ", 50) + u"  in the item\n\n> quoted\n\n" + grid(u"", 30) + u"\n[ref]: https://example.com\n\n" + grid(u"", 45);
}

// A long fenced block in a language read on over lines (comments, templates, a
// backslash before a line feed), others read line by line, with carried state,
// and with none; then lists long enough for many steps, tight and loose.
U16String longFenceAndList()
{
    U16String text = u"# Code\n\n```js\n";
    for (int i = 0; i < 240; ++i) {
        const U16String n = u16(std::to_string(i));
        text += i % 20 == 3   ? u"/* a comment " + n + u"\n   over lines */\n"
            : i % 20 == 9     ? u"const t" + n + u" = `a template\n  ${" + n + u"}`;\n"
            : i % 20 == 15    ? u"const s" + n + u" = 'a string \\\n  going on';\n"
                              : u"const value" + n + u" = compute(" + n + u");\n";
    }
    text += u"```\nAfter the code.\n\n```diff\n";
    for (int i = 0; i < 60; ++i)
        text += u"+ added " + u16(std::to_string(i)) + u"\n- taken " + u16(std::to_string(i)) + u"\n";
    text += u"```\n\n```sh\necho \"a\nb\"\n```\n\n```\n";
    for (int i = 0; i < 80; ++i)
        text += u"plain line " + u16(std::to_string(i)) + u" *not emphasis*\n";
    text += u"```\n\n# List\n\n";
    for (int i = 0; i < 240; ++i) {
        const U16String n = u16(std::to_string(i));
        text += (i == 120 ? u"* item " : u"- item ") + n + u" with *some* words\n";
        if (i % 10 == 4)
            text += u"  continued in the item\n";
        if (i % 25 == 7)
            text += u"  - nested " + n + u"\n    1. deeper\n";
        if (i % 40 == 11)
            text += u"a lazy line\n";
        if (i % 60 == 30)
            text += u"  ```\n  code in the item\n  ```\n";
    }
    text += u"\n";
    for (int i = 1; i <= 120; ++i)
        text += u16(std::to_string(i)) + u". ordered\n";
    text += u"\nA paragraph\n";
    for (int i = 0; i < 60; ++i)
        text += u"- loose " + u16(std::to_string(i)) + u"\n\n";
    return text + u"After the lists.\n";
}

// A fenced block of `lines` lines of code read on over lines here and there, and one
// empty (which makes a list the block stands in loose), each after `prefix`.
U16String fencedCode(U16View prefix, int lines)
{
    const U16String p(prefix);
    U16String text = p + u"```js\n";
    for (int i = 0; i < lines; ++i) {
        const U16String n = u16(std::to_string(i));
        text += i % 10 == 3 ? p + u"/* a comment " + n + u"\n" + p + u"   over lines */\n"
            : i == 25       ? p + u"\n"
                            : p + u"const v" + n + u" = f(" + n + u");\n";
    }
    return text + p + u"```\n";
}

// Long fenced blocks beside grids, in list items loose and tight, and in a quotation.
U16String grid() { return u"| Name | Value |\n| --- | --- |\n| a | `1` |\n| b | 2 |\n"; }
U16String gridThenFence() { return grid() + u"\n" + fencedCode(u"", 40) + u"\nAfter the code.\n"; }
U16String fenceThenGrid() { return u"Intro.\n\n" + fencedCode(u"", 40) + u"\n" + grid() + u"\nAfter the grid.\n"; }
U16String fenceInItem() { return u"- item\n\n" + fencedCode(u"  ", 40) + u"\nAfter the list.\n"; }
U16String fenceInTightItem() { return u"- item\n" + fencedCode(u"  ", 40) + u"- next\n\nAfter the list.\n"; }
U16String fenceInQuote() { return u"Intro.\n\n" + fencedCode(u"> ", 40) + u"\nAfter the quote.\n"; }
U16String fencesBesideGridsAndInBlocks()
{
    return gridThenFence() + u"\n" + fenceInItem() + u"\n" + fenceInTightItem() + u"\n" + fenceInQuote() + u"\n" + fenceThenGrid();
}

std::optional<int> unstyled(const differential::Editor& e)
{
    return e.host->coordinator().unstyledFrom();
}

// Styles step by step, checking after each that the part styled so far is as a whole styling has it.
// With `inGrids`, counts the steps that end between two cells of a grid; with
// `inBlocks`, those that end inside a fenced block or between two list lines.
std::string stepThrough(differential::Editor& e, int* inGrids = nullptr, int* inBlocks = nullptr)
{
    const differential::Editor whole(*e.document, e.view().selectedRange(), &e.storage());
    for (int guard = 0; unstyled(e); ++guard) {
        if (guard > 100000)
            return "styling in steps never ends";
        const int before = *unstyled(e);
        e.host->coordinator().styleAhead(e.view(), 0);
        const int styled = unstyled(e).value_or(e.storage().length());
        if (styled <= before)
            return "a step styled nothing at " + std::to_string(before);
        if (inGrids && styled < e.storage().length() && TableGrid::cellBlock(e.storage(), styled)
            && TableGrid::cellBlock(e.storage(), styled - 1))
            ++*inGrids;
        // (a line's paragraph style stops short of its line feed)
        auto listLine = [&](int at) {
            const ParagraphStyle* style = whole.storage().paragraphStyle(at);
            return style && style->headIndent > 0;
        };
        if (inBlocks && styled < e.storage().length()
            && ((ParagraphCuts::codeAt(whole.storage(), styled) && ParagraphCuts::codeAt(whole.storage(), styled - 1))
                || (listLine(styled) && listLine(styled - 2))))
            ++*inBlocks;
        if (std::string d = differential::storageDifference(e.storage(), whole.storage(), styled); !d.empty())
            return "styled up to " + std::to_string(styled) + ": " + d;
    }
    return {};
}

differential::Editor stepwiseEditor(const U16String& text, int step = kStep)
{
    differential::Editor e(text, {0, 0}, nullptr, 1);
    // From a text not styled at all, so that nothing a step or a stretch styled
    // ahead leaves wrong can pass for right.
    e.host->coordinator().stepLength = step;
    e.host->coordinator().styler.applyBase(e.storage());
    e.host->coordinator().restyle(e.view());
    return e;
}

TEST(StepwiseStyling, EveryStepLeavesTheStyledPartAsAWholeStylingHasIt)
{
    // The shortest steps end at every place a step may end.
    for (const auto& [text, step] : {std::pair{allPages(), kStep}, std::pair{farReaching(), 1}, std::pair{longGrids(), 1},
                                     std::pair{longGrids(), 90}, std::pair{longFenceAndList(), 1},
                                     std::pair{longFenceAndList(), 90}}) {
        differential::Editor e = stepwiseEditor(text, step);
        ASSERT_TRUE(unstyled(e)) << "a long text is styled in steps";
        EXPECT_LT(*unstyled(e), int(text.size()) / 2);
        int inGrids = 0, inBlocks = 0;
        EXPECT_EQ(stepThrough(e, &inGrids, &inBlocks), "");
        // A step takes in what it reaches of a long grid, not the whole grid, and
        // so of a long fenced block or list.
        if (text.starts_with(u"# Figures")) {
            EXPECT_GT(inGrids, step == 1 ? 200 : 30) << step;
        }
        if (text.starts_with(u"# Code")) {
            EXPECT_GT(inBlocks, step == 1 ? 450 : 120) << step;
        }
        EXPECT_EQ(differential::compareWithFresh(e), "");
    }
}

TEST(StepwiseStyling, ShortTextsAndEditorsWithoutStepsStyleAtOnce)
{
    differential::Editor plain(farReaching());
    EXPECT_FALSE(unstyled(plain));
    differential::Editor shortText(u"# A title\n\nwords\n", {0, 0}, nullptr, 1000);
    EXPECT_FALSE(unstyled(shortText));
}

// A fence typed near the top turns the rest into code, the part not styled yet included.
TEST(StepwiseStyling, AFenceTypedBeforeTheUnstyledPartReachesPastIt)
{
    differential::Editor e = stepwiseEditor(farReaching());
    e.host->coordinator().styleAhead(e.view(), 0);
    e.view().setSelectedRange({0, 0});
    e.view().insertText(u"```\n");
    EXPECT_EQ(stepThrough(e), "");
    EXPECT_EQ(differential::compareWithFresh(e), "");
    // And closed again.
    e.view().setSelectedRange({0, 4});
    e.view().doCommand(TextCommand{TextCommand::deleteBackward, false});
    EXPECT_EQ(stepThrough(e), "");
    EXPECT_EQ(differential::compareWithFresh(e), "");
}

// Edits right where the unstyled part starts, which change how the text reads there.
TEST(StepwiseStyling, EditsAtTheEdgeOfTheUnstyledPart)
{
    const std::vector<U16String> typed{u"- ", u"> ", u"```\n", u"===\n", u"    ", u"| x |\n| --- |\n", u"[^n]: moved\n", u"word",
                                       u"/* ", u"\n", u"* "};
    // Where the steps stand in a fenced block's body, and between items of a list.
    const U16String blocks = longFenceAndList();
    struct Edge {
        const U16String& text;
        int steps;
    };
    const U16String far = farReaching();
    for (int edit = 0; edit < int(typed.size()) + 2; ++edit) {
        for (const auto& [text, steps] : {Edge{far, 1}, Edge{far, 6}, Edge{far, 11}, Edge{blocks, 3}, Edge{blocks, 150},
                                           Edge{blocks, 320}}) {
            differential::Editor e = stepwiseEditor(text, 1);
            for (int i = 0; i < steps; ++i)
                e.host->coordinator().styleAhead(e.view(), 0);
            ASSERT_TRUE(unstyled(e));
            const int edge = *unstyled(e);
            if (edit < int(typed.size())) {
                // In a block, at the end of the line before, which the step before read.
                e.view().setSelectedRange({&text == &blocks ? edge - 1 : edge, 0});
                e.view().insertText(typed[size_t(edit)]);
            } else {
                // The blank line before it, or the line before that, taken away.
                e.view().setSelectedRange({edge - (edit - int(typed.size())) - 1, 1});
                e.view().doCommand(TextCommand{TextCommand::deleteBackward, false});
            }
            while (unstyled(e))
                e.host->coordinator().styleAhead(e.view(), 0);
            e.view().layoutDocument();
            EXPECT_EQ(differential::compareWithFresh(e), "") << "edit " << edit << " after " << steps << " steps";
        }
    }
}

// Random edits anywhere, before and after where styling stands, between steps.
TEST(StepwiseStyling, EditsBetweenStepsEndAsAWholeStyling)
{
    for (unsigned seed = 1; seed <= 26; ++seed) {
        differential::Editor e = stepwiseEditor(seed <= 12 ? farReaching() : seed <= 18 ? longGrids() : longFenceAndList());
        std::mt19937 rng(seed);
        std::string done;
        for (int i = 0; i < 30 && unstyled(e); ++i) {
            done += differential::randomEdit(e, rng) + "; ";
            for (int steps = int(rng() % 3); steps > 0; --steps)
                e.host->coordinator().styleAhead(e.view(), 0);
        }
        while (unstyled(e))
            e.host->coordinator().styleAhead(e.view(), 0);
        e.view().layoutDocument();
        EXPECT_EQ(differential::compareWithFresh(e), "") << "seed " << seed << ": " << done;
    }
}

// Typed in a long block's opening line, a name of another language leaves the
// block to the steps from that line, and they end past the block, where the text
// reads as before; not when a key elsewhere came in the meantime. So too beside
// grids and in a list item read as loose above the block; a tight one's block, and
// a quoted one's (not coloured as its language), take theirs at once. Each ends as
// a whole styling.
TEST(StepwiseStyling, ALanguageNamedAnewRestylesItsBlockInSteps)
{
    struct Edit {
        const char16_t* after;
        const char16_t* typed;  // empty: Backspace; none: the caret moves there alone (or, with `undo`, Undo)
        bool anew;              // the block's colours change, left to the steps
        int steps = 0;          // taken after it
        bool undo = false;
    };
    struct Row {
        U16String (*text)();
        std::vector<Edit> edits;
        int step = kStep;  // the steps' length (the shortest end after every line they may)
    };
    const std::vector<Row> rows = {
        {longFenceAndList, {{u"```j", u"q", true}}},
        {longFenceAndList, {{u"```js", u"", true}}},
        {longFenceAndList, {{u"```j", u"q", true}, {u"```jq", u"", true}}},
        {longFenceAndList, {{u"```j", u"q", true, 3}, {u"```jq", u"", true, 1}, {u"```j", u"s", true}}},
        {longFenceAndList, {{u"After the lists.", nullptr, false}, {u"```j", u"q", true}}},
        {longFenceAndList, {{u"```js", u" title", false}}},
        {longFenceAndList, {{u"```dif", u"x", true}}},
        {longFenceAndList, {{u"```j", u"q", true}, {u"After the code", u"!", false}}},
        {longFenceAndList, {{u"```j", u"q", true}, {u"# Li", u"x", false}}},
        {gridThenFence, {{u"```j", u"q", true}}},
        {gridThenFence, {{u"```j", u"q", true, 2}, {u"```jq", u"", true}}},
        {gridThenFence, {{u"```js", u" title", false}}},
        {fenceThenGrid, {{u"```j", u"q", true, 1}, {u"```jq", u"", true, 1}, {u"```j", u"s", true}}},
        {fenceThenGrid, {{u"```j", u"q", true, 2}, {u"```j", nullptr, true, 0, true}}},
        {fenceInItem, {{u"```j", u"q", true}}},
        {fenceInItem, {{u"```j", u"q", true, 3}, {u"```jq", u"", true, 1}, {u"```j", u"s", true}}},
        {fenceInItem, {{u"```j", u"q", true, 2}, {u"```j", nullptr, true, 0, true}}},
        {fenceInItem, {{u"```j", u"q", true}, {u"- item", u"s", false}}},
        {fenceInTightItem, {{u"```j", u"q", false}}, 1},
        {fenceInQuote, {{u"```j", u"q", false}, {u"```jq", u"", false}}},
    };
    for (const auto& [text, row, step] : rows) {
        differential::Editor e = stepwiseEditor(text(), step);
        while (unstyled(e))
            e.host->coordinator().styleAhead(e.view(), 0);
        std::string done = u8(text().substr(0, 8)) + ": ";
        bool onlyInBlock = true;
        int blockEnd = 0;  // the closing fence's line of the block edited first
        for (const Edit& edit : row) {
            // (Found as the view shows the text: a grid's rows are shown shorter.)
            const U16String shown = e.view().string();
            const int at = int(shown.find(edit.after) + std::char_traits<char16_t>::length(edit.after));
            e.view().setSelectedRange({at, 0});
            if (edit.undo) {
                e.view().undo();
            } else if (!edit.typed) {
                onlyInBlock = false;
                continue;
            } else if (*edit.typed) {
                e.view().insertText(edit.typed);
            } else {
                e.view().doCommand(TextCommand{TextCommand::deleteBackward, false});
            }
            for (int step = 0; step < edit.steps; ++step)
                e.host->coordinator().styleAhead(e.view(), 0);
            done += u8(edit.after) + "+" + (edit.undo ? "Undo" : u8(edit.typed)) + "; ";
            if (!blockEnd) {
                const U16String now = e.view().string();
                const size_t closing = now.find(u"```\n", now.find(u'\n', size_t(at)));
                blockEnd = int(now.rfind(u'\n', closing)) + 1;
            }
            if (edit.anew && onlyInBlock) {
                EXPECT_LT(unstyled(e).value_or(INT_MAX), blockEnd) << done;
            }
            onlyInBlock = onlyInBlock && edit.anew;
        }
        int furthest = 0;
        while (unstyled(e)) {
            furthest = std::max(furthest, *unstyled(e));
            e.host->coordinator().styleAhead(e.view(), 0);
        }
        if (onlyInBlock) {
            EXPECT_LT(furthest, blockEnd + 2 * kStep) << done;
        }
        e.view().layoutDocument();
        EXPECT_EQ(differential::compareWithFresh(e), "") << done;
    }
}

// Keys in the opening lines of fenced blocks (a letter, a backtick, a tilde, a
// line break, a Backspace) among other edits, with steps between: each run ends
// as a whole styling, and its steps end. Blocks beside grids, in items and in a
// quotation among them (from seed 41).
TEST(StepwiseStyling, KeysInOpeningFencesBetweenStepsEndAsAWholeStyling)
{
    const char16_t* keys[] = {u"q", u"s", u"x", u"`", u"~", u" ", u"py", u"\n", u"js", u"c", u"-"};
    std::vector<unsigned> seeds{437};  // once ended steps in code where they could not read on: they never ended
    for (unsigned seed = 1; seed <= 52; ++seed)
        seeds.push_back(seed);
    for (const unsigned seed : seeds) {
        std::mt19937 rng(seed);
        const bool blocks = seed > 40 && seed != 437;
        differential::Editor e
            = stepwiseEditor(blocks ? fencesBesideGridsAndInBlocks() : seed % 2 ? longFenceAndList() : farReaching());
        if (rng() % 2)
            while (unstyled(e))
                e.host->coordinator().styleAhead(e.view(), 0);
        std::string done;
        for (int i = 0; i < 12; ++i) {
            // (As the view shows the text, where grids stand in it: their rows are shown shorter.)
            const U16String text = blocks ? e.view().string() : *e.document;
            std::vector<size_t> openers;
            for (size_t p = text.find(u"```"); p != U16String::npos; p = text.find(u"```", p + 1)) {
                size_t start = p;
                while (blocks && start > 0 && (text[start - 1] == u' ' || text[start - 1] == u'>'))
                    --start;
                if (start == 0 || text[start - 1] == u'\n')
                    openers.push_back(p);
            }
            if (openers.empty() || rng() % 5 == 0) {
                done += differential::randomEdit(e, rng) + "; ";
            } else {
                const size_t opener = openers[rng() % openers.size()];
                const size_t end = std::min(text.find(u'\n', opener), text.size());
                const int at = int(std::min(opener + 3 + rng() % (end - opener - 2), end));
                e.view().setSelectedRange({at, 0});
                if (rng() % 3 == 0) {
                    e.view().doCommand(TextCommand{TextCommand::deleteBackward, false});
                    done += "Backspace at " + std::to_string(at) + "; ";
                } else {
                    const char16_t* key = keys[rng() % std::size(keys)];
                    e.view().insertText(key);
                    done += "\"" + u8(key) + "\" at " + std::to_string(at) + "; ";
                }
            }
            for (int steps = int(rng() % 4); steps > 0; --steps)
                e.host->coordinator().styleAhead(e.view(), 0);
        }
        int guard = 0;
        while (unstyled(e) && ++guard < 3000)
            e.host->coordinator().styleAhead(e.view(), 0);
        ASSERT_LT(guard, 3000) << "seed " << seed << ": steps never end after " << done;
        e.view().layoutDocument();
        EXPECT_EQ(differential::compareWithFresh(e), "") << "seed " << seed << ": " << done;
    }
}

// A stretch styled ahead of the steps (where a window jumped to) is styled as
// the whole text has it, or not at all where that cannot be known (inside a fence
// left open above it); the steps then take it in.
TEST(StepwiseStyling, StretchesStyledAheadAreAsAWholeStylingHasThem)
{
    U16String text;
    for (int i = 0; i < 4; ++i)
        text += farReaching();
    for (const U16String& text : {text, longGrids() + u"\n" + longGrids(), longFenceAndList()}) {
    differential::Editor e = stepwiseEditor(text);
    const differential::Editor whole(*e.document, e.view().selectedRange(), &e.storage());
    // Every few lines, so that some start inside the fence left open a while; from
    // the end back, so that each is styled afresh, the text before it unstyled.
    int islands = 0;
    for (int at = int(text.size()) - 1; at > 0; at -= 97) {
        e.host->coordinator().styleAround(e.view(), Range{at, 300});
        if (const std::optional<Range> island = e.host->coordinator().styledAhead(); island && island->location <= at) {
            ++islands;
            EXPECT_EQ(differential::storageDifference(e.storage(), whole.storage(), island->end(), island->location), "")
                << "styled ahead around " << at;
        }
    }
    EXPECT_GT(islands, text.size() / 400);
    EXPECT_EQ(stepThrough(e), "");
    EXPECT_EQ(differential::compareWithFresh(e), "");
    }
}

// An edit before a stretch styled ahead can change how it reads: it is given up.
// One inside it is restyled there, as the whole text has it.
TEST(StepwiseStyling, EditsBeforeAStretchStyledAheadGiveItUp)
{
    U16String text;
    for (int i = 0; i < 4; ++i)
        text += farReaching();
    differential::Editor e = stepwiseEditor(text);
    const int middle = e.storage().length() / 2;
    const int at = int(e.storage().string().find(u"Setext heading", size_t(e.storage().length()) * 3 / 4));
    e.host->coordinator().styleAround(e.view(), Range{at, 100});
    ASSERT_TRUE(e.host->coordinator().styledAhead());
    const Range island = *e.host->coordinator().styledAhead();
    e.view().setSelectedRange({at + 3, 0});
    e.view().insertText(u"*x*");
    ASSERT_TRUE(e.host->coordinator().styledAhead());
    EXPECT_EQ(e.host->coordinator().styledAhead()->end(), island.end() + 3);
    {
        const differential::Editor whole(*e.document, e.view().selectedRange(), &e.storage());
        EXPECT_EQ(differential::storageDifference(e.storage(), whole.storage(), island.end() + 3, island.location), "");
    }
    e.view().setSelectedRange({middle, 0});
    e.view().insertText(u"\n```\n");
    EXPECT_FALSE(e.host->coordinator().styledAhead());
    EXPECT_EQ(stepThrough(e), "");
    EXPECT_EQ(differential::compareWithFresh(e), "");
}

// Random edits, jumps and steps in any order.
TEST(StepwiseStyling, EditsAroundStretchesStyledAheadEndAsAWholeStyling)
{
    U16String text;
    for (int i = 0; i < 3; ++i)
        text += farReaching();
    for (unsigned seed = 1; seed <= 10; ++seed) {
        differential::Editor e = stepwiseEditor(text);
        std::mt19937 rng(seed);
        std::string done;
        for (int i = 0; i < 30 && unstyled(e); ++i) {
            if (rng() % 2 == 0) {
                const int at = int(rng() % unsigned(e.storage().length()));
                e.host->coordinator().styleAround(e.view(), Range{at, 200});
                done += "ahead at " + std::to_string(at) + "; ";
                // Typing where the window jumped to, now and then.
                if (rng() % 2 == 0)
                    e.view().setSelectedRange({at, 0});
            }
            done += differential::randomEdit(e, rng) + "; ";
            if (rng() % 3 == 0)
                e.host->coordinator().styleAhead(e.view(), 0);
        }
        while (unstyled(e))
            e.host->coordinator().styleAhead(e.view(), 0);
        e.view().layoutDocument();
        EXPECT_EQ(differential::compareWithFresh(e), "") << "seed " << seed << ": " << done;
    }
}

// Pictures that load after a long text is styled are sized where they stand,
// as a whole restyle would size them, and the text between them is left alone.
TEST(StepwiseStyling, PicturesLoadedLaterAreSizedWhereTheyStand)
{
    testing::TempDirectory dir;
    const std::string path = (dir.path() / "tall.png").string();
    QImage picture(40, 300, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    ASSERT_TRUE(picture.save(QString::fromStdString(path)));
    const U16String source = u"file://" + u16(path);
    U16String text = farReaching();
    for (int i = 0; i < 5; ++i)
        text += u"\n![tall](" + source + u")\n\nwords after the picture\n";

    differential::Editor e = stepwiseEditor(text);
    while (unstyled(e))
        e.host->coordinator().styleAhead(e.view(), 0);
    const std::optional<std::string> key = ImageCache::key(source, std::nullopt);
    ASSERT_TRUE(key);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ImageCache::cachedImage(*key) != nullptr; }));
    QTest::qWait(50);  // the restyle the load asked for
    e.view().layoutDocument();
    EXPECT_EQ(differential::compareWithFresh(e), "");
}

// A zoom styles a long text in steps again at the new size, its grids made anew
// at that size: once the steps are done, as an editor opened at that size has it.
TEST(StepwiseStyling, AZoomEndsAsAWholeStylingAtTheNewSize)
{
    U16String grid = farReaching() + u"\n| Name | Value |\n| --- | --- |\n";
    for (int i = 0; i < 300; ++i)
        grid += u"| row " + u16(std::to_string(i)) + u" :smile: | *" + u16(std::to_string(i)) + u"* |\n";
    grid += u"\nAfter the table.\n";
    // And with a key typed far down (in a cell, a fenced block, a list), then taken
    // back, before the steps are done; and from a text styled whole before (whose
    // colours let the window's place be styled at once inside a fenced block).
    const U16String code = longFenceAndList();
    struct Case {
        const U16String& text;
        double zoom;
        const char16_t* typedAt;
        bool settled = false;
    };
    for (const auto& [text, zoom, typedAt, settled] : {Case{grid, 1.5, nullptr}, Case{grid, 0.7, nullptr}, Case{grid, 1.2, u"row 280"},
                                              Case{code, 1.3, nullptr}, Case{code, 0.8, u"value200 "},
                                              Case{code, 1.1, u"item 200 "}, Case{code, 1.2, u"plain line 65 ", true}, Case{code, 0.9, u"item 30 ", true}}) {
        const bool typed = typedAt != nullptr;
        differential::Editor e = stepwiseEditor(text);
        e.view().setSelectedRange({int(text.size()) / 2, 40});
        while (settled && unstyled(e))
            e.host->coordinator().styleAhead(e.view(), 0);
        auto doc = e.document;
        MarkdownEditor zoomed{{[doc] { return *doc; }, [doc](const U16String& t) { *doc = t; }}, 1.0,
                              MarkdownFontFamily::sansSerif, 1};
        zoomed.text.revision = [] { return uint64_t(1); };  // the text stays as the editor has it
        e.host->setEditor(zoomed);  // the same size: nothing to do but note the revision
        zoomed.zoom = zoom;
        e.host->setEditor(zoomed);
        EXPECT_EQ(e.view().selectedRange(), (Range{int(text.size()) / 2, 40})) << zoom;
        if (typed) {
            const int cell = int(e.storage().string().find(typedAt));
            ASSERT_TRUE(unstyled(e) && *unstyled(e) < cell);
            e.view().setSelectedRange({cell, 0});
            e.view().insertText(u"x");
            EXPECT_NE(*e.document, text);
            e.view().undo();
            EXPECT_EQ(*e.document, text);
            e.view().setSelectedRange({int(text.size()) / 2, 40});
        }
        while (unstyled(e))
            e.host->coordinator().styleAhead(e.view(), 0);
        zoomed.stepwiseFrom = 0;
        MarkdownEditorView whole(zoomed);
        whole.textView()->resize(e.view().size());
        whole.textView()->setSelectedRange(e.view().selectedRange());
        whole.coordinator().restyle(*whole.textView());
        EXPECT_EQ(differential::storageDifference(e.storage(), *whole.textView()->textStorage()), "") << zoom;
        e.view().layoutDocument();
        whole.textView()->layoutDocument();
        EXPECT_EQ(differential::layoutDifference(*e.view().layoutManager(), *whole.textView()->layoutManager(), e.view().string()), "")
            << zoom;
    }
}

} // namespace
} // namespace velkin
