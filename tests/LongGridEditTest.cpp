// Edits in long grids: the editor keeps the styling and the rows of a grid that
// an edit did not touch, and what it shows must equal a whole restyle and a
// fresh layout of the same text after every edit: attributes run by run, every
// line, its row's band and the picture drawn.
#include "RestyleDifferential.h"

#include "editor/RestyleWindow.h"
#include "platform/text/TextOps.h"

#include "platform/text/QtString.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <random>

namespace velkin {
namespace {

using differential::Editor;

// The grids here are cut into layout blocks of a few rows each, as long ones are,
// so that edits meet the blocks' joins and move the blocks below.
struct ShortTableBlocks {
    ShortTableBlocks() { differential::tableBlockRows = 7; }
    ~ShortTableBlocks() { differential::tableBlockRows = 0; }
};

// A document with a long table, prose above and below it, and a short table after.
U16String longTable(int rows)
{
    U16String text = u"# Figures\n\nSome *text* above [ref].\n\n| Name | Value | Notes |\n| :-- | --: | :-: |\n";
    for (int i = 0; i < rows; ++i) {
        const U16String n = u16(std::to_string(i));
        U16String notes = i % 7 == 0 ? u"a `code | pipe` span" : i % 5 == 0 ? u"escaped \\| pipe and **bold**" : u"words";
        if (i % 11 == 0)
            notes += u" that run on long enough to wrap over a second line in a narrow column of the grid";
        text += u"| row" + n + u" | " + u16(std::to_string(i * 7)) + u" | " + notes + u" |\n";
    }
    text += u"\nBelow the table.\n\n| a | b |\n| - | - |\n| 1 | 2 |\n\n[ref]: https://example.com\n";
    return text;
}

// Every line's band (its row, in a grid) and a drawing of what the editor shows, against a fresh view.
std::string bandsAndPicture(Editor& e, Editor& fresh)
{
    LayoutManager& a = *e.view().layoutManager();
    LayoutManager& b = *fresh.view().layoutManager();
    const U16String& text = e.view().string();
    const LineIndex lines(text);
    for (const LineRange& line : lines.lines()) {
        const int at = line.content.location;
        if (at >= int(text.size()))
            break;
        // Where its glyphs stand, to the bit: a sum that rounds otherwise can put them a sub-pixel step away.
        if (const double x = a.lineFragmentRect(at).top(), y = b.lineFragmentRect(at).top(); x != y)
            return "the line " + std::to_string(at) + " stands at y " + QString::number(x, 'g', 17).toStdString()
                + " instead of " + QString::number(y, 'g', 17).toStdString();
        const QRectF x = a.lineBandRect(at), y = b.lineBandRect(at);
        if (std::abs(x.top() - y.top()) > 0.01 || std::abs(x.height() - y.height()) > 0.01
            || std::abs(x.left() - y.left()) > 0.01 || std::abs(x.width() - y.width()) > 0.01)
            return "the band of line " + std::to_string(at) + " lies at y " + std::to_string(x.top()) + " h "
                + std::to_string(x.height()) + " instead of y " + std::to_string(y.top()) + " h " + std::to_string(y.height());
    }
    const QRectF shown = e.view().visibleContainerRect();
    QImage kept(shown.size().toSize(), QImage::Format_ARGB32_Premultiplied);
    QImage made(kept.size(), kept.format());
    for (auto [view, image] : {std::pair{&e.view(), &kept}, std::pair{&fresh.view(), &made}}) {
        image->fill(Qt::white);
        QPainter painter(image);
        view->drawContents(painter, shown, -shown.topLeft(), false);
    }
    return kept == made ? std::string() : "the picture drawn differs";
}

std::string compare(Editor& e)
{
    if (std::string d = differential::compareWithFresh(e); !d.empty())
        return d;
    Editor fresh(*e.document, e.view().selectedRange(), &e.storage());
    if (e.view().layoutManager()->blockStarts() != fresh.view().layoutManager()->blockStarts())
        return "the layout's blocks are cut otherwise than a fresh layout's";
    fresh.view().scrollRangeToVisible(e.view().selectedRange());
    e.view().scrollRangeToVisible(e.view().selectedRange());
    return bandsAndPicture(e, fresh);
}

// A random place in the text of a cell of the long table (its first grid), or -1.
int placeInACell(Editor& e, std::mt19937& rng)
{
    const U16String& text = e.view().string();
    for (int tries = 0; tries < 50; ++tries) {
        const int at = int(rng() % unsigned(text.size()));
        if (TableGrid::cellBlock(e.storage(), at))
            return at;
    }
    return -1;
}

// One edit mostly inside the grid's cells, as a user makes them; returns what it did.
std::string editInGrid(Editor& e, std::mt19937& rng)
{
    MarkdownTextView& view = e.view();
    auto pick = [&](int bound) { return bound <= 0 ? 0 : int(rng() % unsigned(bound)); };
    int at = placeInACell(e, rng);
    if (at < 0 || pick(12) == 0)
        at = pick(view.textStorage()->length() + 1);
    view.setSelectedRange({at, 0});
    std::string done = "at " + std::to_string(at) + ":";
    switch (pick(9)) {
    case 0:
    case 1:
    case 2: {  // characters typed one by one, structure among them
        static const std::vector<U16String> pieces{u"x", u" ", u"|", u"\\", u"`", u"*", u"**", u"_", u"[ref]",
                                                   u":smile:", u"a long run of words to wrap the cell again "};
        for (int i = pick(3) + 1; i > 0; --i) {
            const U16String& piece = pieces[size_t(pick(int(pieces.size())))];
            done += " typed " + u8(piece);
            view.insertText(piece);
        }
        break;
    }
    case 3:
    case 4:
        for (int i = pick(4) + 1; i > 0; --i)
            view.doCommand(TextCommand{TextCommand::deleteBackward, false});
        done += " deleted back";
        break;
    case 5:
        QTest::keyClick(&view, Qt::Key_Return);
        done += " return";
        break;
    case 6:
        QTest::keyClick(&view, pick(2) ? Qt::Key_Tab : Qt::Key_Backtab);
        view.insertText(u"t");
        done += " tab, typed t";
        break;
    case 7: {  // a selection over a few cells or rows replaced
        const int length = std::min(view.textStorage()->length() - at, pick(60) + 1);
        view.setSelectedRange({at, length});
        view.insertText(pick(2) ? u"y" : u"");
        done += " replaced " + std::to_string(length);
        break;
    }
    default:
        QTest::keyClick(&view, pick(2) ? Qt::Key_Down : Qt::Key_Up);
        view.insertText(u"d");
        done += " arrow, typed d";
        break;
    }
    return done;
}

std::string run(U16View text, unsigned seed, int edits)
{
    Editor e(text);
    std::mt19937 rng(seed);
    for (int i = 1; i <= edits; ++i) {
        const std::string done = editInGrid(e, rng);
        e.view().layoutDocument();
        if (std::string d = compare(e); !d.empty())
            return "after edit " + std::to_string(i) + " (" + done + "): " + d;
    }
    return {};
}

TEST(LongGridEdit, RandomEditsInALongGridEqualAWholeRestyleAndAFreshLayout)
{
    const ShortTableBlocks blocks;
    const U16String text = longTable(120);
    for (unsigned seed = 1; seed <= 4; ++seed)
        EXPECT_EQ(run(text, seed, 40), "") << "seed " << seed;
    // Written back with the line ends it was typed with, a row at a time.
    EXPECT_EQ(run(TextOps::replacingAll(longTable(40), u"\n", u"\r\n"), 5, 40), "");
}

// A grid in a list item and one under a quote: the rows still come out as a fresh layout has them.
// Structure typed in the prose right above a grid and right under it: the grid
// and what follows it still read as a whole restyle reads them.
TEST(LongGridEdit, StructureTypedNextToAGridEqualsAWholeRestyle)
{
    const ShortTableBlocks blocks;
    static const std::vector<U16String> pieces{u"```\n", u"~~~", u"- ", u"> ", u"<!--", u"-->", u"|", u"| x |\n",
                                               u"\n", u"    ", u"[ref]: https://a.b\n", u"*", u"`", u"<div>\n", u"x", u"# "};
    const U16String text = longTable(30);
    for (unsigned seed = 20; seed < 26; ++seed) {
        Editor e(text);
        std::mt19937 rng(seed);
        for (int i = 1; i <= 30; ++i) {
            // A line near the grid's first or last row, and a piece typed at its start or end.
            const U16String& now = e.view().string();
            const int grid = int(rng() % 2 ? now.find(u"Name\n") : now.find(u"Below the table."));
            int at = grid < 0 ? 0 : std::max(0, grid - int(rng() % 40));
            at = int(RestyleWindow::lineStart(now, std::min(at, int(now.size()))));
            if (rng() % 2)
                at = int(std::min(now.find(u'\n', size_t(at)), now.size()));
            const U16String& piece = pieces[rng() % pieces.size()];
            e.view().setSelectedRange({at, 0});
            if (rng() % 4 == 0)
                e.view().doCommand(TextCommand{TextCommand::deleteBackward, false});
            else
                e.view().insertText(piece);
            e.view().layoutDocument();
            const std::string d = compare(e);
            ASSERT_EQ(d, "") << "seed " << seed << " edit " << i << " at " << at << ": " << u8(piece);
        }
    }
}

TEST(LongGridEdit, GridsInsideListsAndQuotesEqualAFreshLayout)
{
    const ShortTableBlocks blocks;
    U16String text = u"- item\n\n  | k | v |\n  | - | - |\n";
    for (int i = 0; i < 40; ++i)
        text += u"  | key" + u16(std::to_string(i)) + u" | value |\n";
    text += u"\n> | q | r |\n> | - | - |\n> | 1 | 2 |\n> | 3 | 4 |\n\nEnd.\n";
    EXPECT_EQ(run(text, 11, 30), "");
}

// Typing in one cell mid-table, then in the rows around it, then at the grid's
// edges: each keystroke's rows come out where a fresh layout puts them, to the
// pixel, and a cell that grows a line pushes every row below it down.
TEST(LongGridEdit, ACellThatGrowsOrShrinksMovesTheRowsBelowItExactly)
{
    const ShortTableBlocks blocks;
    Editor e(longTable(60));
    const int middle = int(e.view().string().find(u"row30\n")) + 5;
    e.view().setSelectedRange({middle, 0});
    const double below = e.view().layoutManager()->lineBandRect(int(e.view().string().find(u"row40\n"))).top();
    for (int i = 0; i < 12; ++i)
        e.view().insertText(u" more words");
    e.view().layoutDocument();
    EXPECT_GT(e.view().layoutManager()->lineBandRect(int(e.view().string().find(u"row40\n"))).top(), below);
    EXPECT_EQ(compare(e), "");
    for (int i = 0; i < 12 * 11; ++i)
        e.view().doCommand(TextCommand{TextCommand::deleteBackward, false});
    e.view().layoutDocument();
    EXPECT_DOUBLE_EQ(e.view().layoutManager()->lineBandRect(int(e.view().string().find(u"row40\n"))).top(), below);
    EXPECT_EQ(compare(e), "");
    // The header's first cell and the last row's last cell, where the grid meets the prose.
    for (U16View cell : {U16View(u"Name\n"), U16View(u"2\n\n[ref]")}) {
        e.view().setSelectedRange({int(e.view().string().rfind(cell)) + 1, 0});
        e.view().insertText(u"**z**");
        e.view().layoutDocument();
        EXPECT_EQ(compare(e), "") << u8(cell);
    }
    // A new width lays the rows out anew, and the old width again.
    e.view().resize(520, 600);
    e.view().layoutDocument();
    e.view().insertText(u"w");
    e.view().resize(700, 600);
    e.view().layoutDocument();
    EXPECT_EQ(compare(e), "");
}

// A keystroke in a cell writes back its row's line alone: also when deleting what
// was typed brings a table typed as the editor writes it back to its typed text,
// after an edit in the prose above it, in its header, and in its last cell.
TEST(LongGridEdit, AKeystrokeInACellWritesBackItsRowAlone)
{
    U16String text = u"Intro.\n\n| Name | Value |\n| --- | --- |\n";
    for (int i = 0; i < 200; ++i)
        text += u"| row" + u16(std::to_string(i)) + u" | " + u16(std::to_string(i * 7)) + u" |\n";
    text += u"\nAfter.\n";
    auto document = std::make_shared<U16String>(text);
    int longest = 0;
    MarkdownEditorView host(MarkdownEditor{
        {[document] { return *document; }, [document](const U16String& t) { *document = t; },
         [document, &longest](Range r, U16View t) {
             longest = std::max({longest, r.length, int(t.size())});
             document->replace(size_t(r.location), size_t(r.length), t);
         }},
        1.0, MarkdownFontFamily::sansSerif});
    MarkdownTextView& view = *host.textView();
    view.resize(700, 600);
    host.coordinator().restyle(view);
    auto typeInCell = [&](U16View after) {
        view.setSelectedRange({int(view.string().find(after)) + int(after.size()), 0});
        for (int i = 0; i < 3; ++i) {
            view.insertText(u"x");
            view.doCommand(TextCommand{TextCommand::deleteBackward, false});
        }
    };
    view.setSelectedRange({2, 0});
    view.insertText(u"y");  // the first change writes the whole text
    typeInCell(u"row100");
    EXPECT_LE(longest, 20);
    EXPECT_EQ(*document, TableGrid::serialize(*view.textStorage()));
    view.setSelectedRange({3, 0});
    view.insertText(u"z");
    longest = 0;
    typeInCell(u"row150");
    EXPECT_LE(longest, 20);
    longest = 0;
    typeInCell(u"Name");  // the header's line alone too
    EXPECT_LE(longest, 30);
    EXPECT_EQ(*document, TableGrid::serialize(*view.textStorage()));
    longest = 0;
    typeInCell(u"row50");
    EXPECT_LE(longest, 20);
    EXPECT_EQ(*document, TableGrid::serialize(*view.textStorage()));
    // The last row's last cell, where the grid ends and the prose under it starts.
    longest = 0;
    typeInCell(u"1393");
    EXPECT_LE(longest, 20);
    EXPECT_EQ(*document, TableGrid::serialize(*view.textStorage()));

    // Opened long and styled in steps, it knows where its grids stand once the steps end:
    // the first change writes back only itself, in the prose and in a cell.
    for (const U16View first : {U16View(u"Intro"), U16View(u"row7")}) {
        *document = text;
        TextBinding binding = host.coordinator().parent.text;
        binding.set = [document, &longest](const U16String& t) {
            longest = std::max(longest, int(t.size()));
            *document = t;
        };
        MarkdownEditorView stepped(MarkdownEditor{binding, 1.0, MarkdownFontFamily::sansSerif, 1});
        MarkdownTextView& v = *stepped.textView();
        v.resize(700, 600);
        stepped.coordinator().stepLength = 256;
        stepped.coordinator().restyle(v);
        v.show();
        for (int guard = 0; stepped.coordinator().unstyledFrom() && guard < 10000; ++guard)
            QApplication::processEvents();
        longest = 0;
        v.setSelectedRange({int(v.string().find(first)) + int(first.size()), 0});
        v.insertText(u"y");
        EXPECT_LE(longest, 20) << u8(first);
        EXPECT_EQ(*document, TableGrid::serialize(*v.textStorage()));
    }
}

// Keys at every spot beside a grid whose edits the editor restyles, writes back and
// lays out in part: in the block right above it (a blank line between or none), under
// it whatever stands above it, in its third row, its middle and its last cell, and
// Return, Backspace, a pasted line break, undo and redo in a cell; then the whole text
// deleted, cut or typed over, and put back. After each key the
// editor shows what a whole restyle and a fresh layout show, and the document holds
// the storage's Markdown.
TEST(LongGridEdit, KeysAtEverySpotBesideAGridEqualAWholeRestyle)
{
    const ShortTableBlocks blocks;
    struct Spot {
        const char16_t* above;
        const char16_t* caretAfter;  // its last occurrence
        int back;
        const char16_t* under = u"\nBelow the table.\n";
    };
    const Spot spots[] = {
        {u"Some text.\n\n", u"Some text", 0},       {u"Some text.\n", u"Some text", 0},
        {u"# Figures\n\n", u"# Fig", 0},             {u"# Figures\n", u"# Fig", 0},
        {u"- an item\n\n", u"- an it", 0},           {u"- an item\n", u"- an it", 0},
        {u"Intro.\n\nTwo lines\nof text.\n", u"of te", 0}, {u"> quoted\n", u"quot", 0},
        {u"Some text.\n", u"Below", 0},               {u"Figures\n=======\n", u"Below", 0},
        {u"```\ncode\n```\n", u"Below", 0},          {u"- an item\n", u"Below", 0},
        {u"Some text.\n\n", u"row2\n", 1},           {u"Some text.\n\n", u"row20\n", 1},
        {u"Some text.\n\n", u"more", 0},             {u"- an item\n", u"more", 0},
        // The header row; the block above when text follows the table closely; a
        // quotation right under it.
        {u"Some text.\n\n", u"Name", 0},             {u"# Figures\n", u"Value", 1},
        {u"Some text.\n", u"Some text.", 0, u"Below the table.\n"},
        {u"# Figures\n", u"# Fig", 0, u"```\ncode\n```\n"},
        {u"# Figures\n\n", u"# Fig", 0, u"Below\n=====\n"},
        {u"- an item\n", u"- an it", 0, u"Below the table.\n"},
        {u"- an item\n\n", u"- an it", 0, u"Below the table.\n"},
        {u"> quoted\n", u"quot", 0, u"Below the table.\n"},
        {u"Some text.\n\n", u"a quote", 0, u"> a quote\n"},
        {u"Some text.\n", u"a quote", 0, u"> a quote\n> more\n"},
        {u"Some text.\n\n", u"more", 0, u"> a quote\n"},
        {u"Some text.\n\n", u"row39", 0, u"\n    code\n\nBelow the table.\n"},
        // Between two grids, a blank line each side or none.
        {u"| a | b |\n| - | - |\n| 1 | 2 |\n| 3 | 4 |\n\nSome text.\n\n", u"Some text", 0},
        {u"| a | b |\n| - | - |\n| 1 | 2 |\n| 3 | 4 |\nSome text.\n", u"Some text", 0},
    };
    // Styled at once, and in steps as a long document is (then typed in once styled through).
    for (const bool steps : {false, true})
    for (const Spot& spot : spots) {
        U16String text = U16String(spot.above) + u"| Name | Value | Notes | More |\n| --- | --- | --- | --- |\n";
        for (int i = 0; i < 40; ++i)
            text += u"| row" + u16(std::to_string(i)) + u" | " + u16(std::to_string(i * 7)) + u" | some *words* | more |\n";
        text += U16String(spot.under) + u"\n[ref]: https://example.com\n";
        Editor e(text, {0, 0}, nullptr, steps ? 1 : 0);
        if (steps) {
            e.host->coordinator().stepLength = 256;
            e.host->coordinator().restyle(e.view());
            while (!e.host->coordinator().styleAhead(e.view(), 0)) {
            }
        }
        U16String whole, emptied;
        const int at = int(e.view().string().rfind(spot.caretAfter)) + int(std::u16string_view(spot.caretAfter).size()) - spot.back;
        e.view().setSelectedRange({at, 0});
        const std::vector<std::pair<const char*, std::function<void()>>> keys{
            {"x", [&] { e.view().insertText(u"x"); }},
            {"`", [&] { e.view().insertText(u"`"); }},
            {"backspace", [&] { e.view().doCommand(TextCommand{TextCommand::deleteBackward, false}); }},
            {"return", [&] { e.view().insertNewline(); }},
            {"backspace", [&] { e.view().doCommand(TextCommand{TextCommand::deleteBackward, false}); }},
            {"[ref]", [&] { e.view().insertText(u" [ref]"); }},
            {"pasted line break", [&] { e.view().pasteString(u"\n"); }},
            {"undo", [&] { e.view().undo(); }},
            {"redo", [&] { e.view().redo(); }},
            {"undo", [&] { e.view().undo(); }},
            {"- ", [&] {
                 e.view().setSelectedRange({RestyleWindow::lineStart(e.view().string(), e.view().selectedRange().location), 0});
                 e.view().insertText(u"- ");
             }},
            {"backspace", [&] { e.view().doCommand(TextCommand{TextCommand::deleteBackward, false}); }},
            {"backspace", [&] { e.view().doCommand(TextCommand{TextCommand::deleteBackward, false}); }},
            // The whole text selected and taken out in turn: by Delete (Copy's text pasted back
            // puts it back as it stood), a letter typed, Cut; undo gives back text and selection.
            {"select all and copy", [&] {
                 whole = *e.document;
                 e.view().selectAll();
                 e.view().copy();
             }},
            {"delete of all", [&] {
                 e.view().doCommand(TextCommand{TextCommand::deleteForward, false});
                 emptied = *e.document;
             }},
            {"paste of the copy", [&] {
                 e.view().paste();
                 EXPECT_EQ(*e.document, whole);
             }},
            {"undo of the paste", [&] {
                 e.view().undo();
                 EXPECT_EQ(*e.document, emptied);
             }},
            {"redo of the paste", [&] {
                 e.view().redo();
                 EXPECT_EQ(*e.document, whole);
             }},
            {"undo of the paste again", [&] { e.view().undo(); }},
            {"undo of the delete", [&] {
                 e.view().undo();
                 EXPECT_EQ(*e.document, whole);
                 EXPECT_EQ(e.view().selectedRange(), (Range{0, e.storage().length()}));
             }},
            {"redo of the delete", [&] {
                 e.view().redo();
                 EXPECT_EQ(*e.document, emptied);
             }},
            {"undo again", [&] { e.view().undo(); }},
            {"a letter over all", [&] {
                 e.view().selectAll();
                 e.view().insertText(u"x");
             }},
            {"undo of the letter", [&] {
                 e.view().undo();
                 EXPECT_EQ(*e.document, whole);
             }},
            {"cut of all", [&] {
                 e.view().selectAll();
                 e.view().cut();
             }},
            {"undo of the cut", [&] {
                 e.view().undo();
                 EXPECT_EQ(*e.document, whole);
                 EXPECT_EQ(e.view().selectedRange(), (Range{0, e.storage().length()}));
             }},
            {"a letter in a cell after the undo", [&] {
                 e.view().setSelectedRange({int(e.view().string().find(u"row3")) + 4, 0});
                 e.view().insertText(u"y");
             }},
        };
        for (const auto& [name, key] : keys) {
            key();
            e.view().layoutDocument();
            ASSERT_EQ(compare(e), "") << "after " << name << " with the caret after " << u8(spot.caretAfter)
                                      << " under " << u8(spot.above) << " over " << u8(spot.under) << (steps ? " styled in steps" : "");
        }
    }
}

// A long table pasted over all of a shown window's text styled in steps, its undo, all of
// it deleted and put back: the caret or the selection is left far from what shows. Once the steps are done the storage is styled as a whole restyle styles it,
// and the document holds the storage's Markdown.
TEST(LongGridEdit, AWholeTextReplacedOrPutBackInStepsEqualsAWholeRestyle)
{
    const U16String text = longTable(400);
    U16String other = longTable(300);
    other.replace(0, 9, u"# Other figures");
    Editor e(text, {0, 0}, nullptr, 1);
    e.host->coordinator().stepLength = 256;
    e.host->resize(700, 600);
    e.host->show();
    auto stepThrough = [&] {
        while (!e.host->coordinator().styleAhead(e.view(), 0)) {
        }
        e.view().layoutDocument();
    };
    stepThrough();
    const std::vector<std::pair<const char*, std::function<void()>>> keys{
        {"paste over all", [&] {
             QGuiApplication::clipboard()->setText(toQString(other));
             e.view().selectAll();
             e.view().paste();
         }},
        {"undo of the paste", [&] { e.view().undo(); }},
        {"delete of all", [&] {
             e.view().selectAll();
             e.view().doCommand(TextCommand{TextCommand::deleteForward, false});
         }},
        {"undo of the delete", [&] { e.view().undo(); }},
    };
    for (const auto& [name, key] : keys) {
        key();
        stepThrough();
        ASSERT_EQ(*e.document, TableGrid::serialize(e.storage())) << "after " << name;
        const Editor fresh(*e.document, e.view().selectedRange(), &e.storage());
        ASSERT_EQ(differential::storageDifference(e.storage(), fresh.storage()), "") << "after " << name;
    }
    EXPECT_EQ(*e.document, text);
}

} // namespace
} // namespace velkin
