// Grids in the flow of the text: the caret moves through them by visual line,
// selections that cross a grid's edge are edited cell by cell, and the line
// right under a grid keeps its meaning.
#include "EditorHarness.h"
#include "RestyleDifferential.h"

#include "export/MarkdownHTML.h"
#include "export/PreviewRendererPage.h"
#include "markdown/PipeTable.h"
#include "markdown/TableGrid.h"
#include "platform/pasteboard/Pasteboard.h"

#include "platform/text/Utf.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QMimeData>
#include <QTest>

#include <gtest/gtest.h>

#include <random>
#include <set>

namespace velkin {
namespace {

using namespace testing_editor;

const char16_t* const kTwoTables = u"Prose above the first table.\n"
                                   u"\n"
                                   u"| Fruit | Colour | Count |\n"
                                   u"| --- | --- | --- |\n"
                                   u"| apple | red | 3 |\n"
                                   u"| pear | green | 5 |\n"
                                   u"\n"
                                   u"Middle prose between tables.\n"
                                   u"\n"
                                   u"| A | B |\n"
                                   u"| --- | --- |\n"
                                   u"| 1 | 2 |\n"
                                   u"\n"
                                   u"Prose below the last table.\n";

void press(Editor& e, Qt::Key code, Qt::KeyboardModifiers mods = Qt::NoModifier, int times = 1)
{
    for (int i = 0; i < times; ++i)
        QTest::keyClick(&e.view(), code, mods);
}

void typeText(Editor& e, const QString& text)
{
    QTest::keyClicks(&e.view(), text);
}

// ---- Up and Down ----

// Whether the caret stands in the word `word` of the view's text (either end included).
::testing::AssertionResult caretIn(Editor& e, U16View word)
{
    const int at = e.view().selectedRange().location;
    const int start = e.find(word);
    if (e.view().selectedRange().length == 0 && start >= 0 && at >= start && at <= start + int(word.size()))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "caret at " << at << ", " << u8(word) << " at " << start;
}

// Presses `key` the given number of times per step and checks where the caret stands after each.
void walk(Editor& e, Qt::Key key, const std::vector<std::pair<int, U16View>>& steps)
{
    for (const auto& [times, word] : steps) {
        press(e, key, Qt::NoModifier, times);
        EXPECT_TRUE(caretIn(e, word)) << "after " << times << " more";
    }
}

TEST(GridFlow, DownAndUpWalkThroughEveryRowOfBothTablesAndOut)
{
    Editor e(kTwoTables);
    e.caretAt(u"Prose above", 1);
    walk(e, Qt::Key_Down, {{2, u"Fruit"}, {1, u"apple"}, {1, u"pear"}, {2, u"Middle"}, {3, u"1\n"}, {2, u"Prose below"}});
    e.caretAt(u"Prose below", 0);
    walk(e, Qt::Key_Up, {{2, u"1\n"}, {1, u"A\n"}, {2, u"Middle"}, {2, u"pear"}, {5, u"Prose above"}});
    EXPECT_EQ(e.view().selectedRange().location, 0);
}

TEST(GridFlow, DownAndUpStepThroughEveryLineOfACellOfSeveralLines)
{
    // From a line's start too, where the line below starts right at the line's end.
    for (const char16_t* text : {u"| ab<br>cd<br>ef | x |\n| --- | --- |\n| gh | yz |\n\nProse\n",
                                 u"| h | x |\n| --- | --- |\n| ab<br>cd<br>ef | x |\n| gh | yz |\n"})
        for (const int offset : {0, 1}) {
            SCOPED_TRACE(u8(text) + " from " + std::to_string(offset));
            Editor e(text);
            e.caretAt(u"ab", offset);
            walk(e, Qt::Key_Down, {{1, u"cd"}, {1, u"ef"}, {1, u"gh"}});
            e.caretAt(u"gh", offset);
            walk(e, Qt::Key_Up, {{1, u"ef"}, {1, u"cd"}, {1, u"ab"}});
            e.caretAt(u"ab", offset);
            press(e, Qt::Key_Down);
            typeText(e, "Z");
            EXPECT_NE(e.document->find(offset ? u"| ab<br>cZd<br>ef |" : u"| ab<br>Zcd<br>ef |"), U16String::npos)
                << u8(*e.document);
        }
}

// The line of the document holding `needle`.
U16String lineWith(const U16String& document, U16View needle)
{
    const size_t at = document.find(needle);
    if (at == U16String::npos)
        return {};
    const size_t start = document.rfind(u'\n', at) == U16String::npos ? 0 : document.rfind(u'\n', at) + 1;
    return document.substr(start, document.find(u'\n', at) - start);
}

TEST(GridFlow, TypingAfterEachDownLandsInTheNextRowOfTheSameColumn)
{
    Editor e(kTwoTables);
    e.caretAt(u"apple", 1);
    press(e, Qt::Key_Down);
    typeText(e, "D1");
    press(e, Qt::Key_Down, Qt::NoModifier, 2);
    typeText(e, "D2");
    press(e, Qt::Key_Down, Qt::NoModifier, 2);
    typeText(e, "D3");
    const U16String& md = *e.document;
    EXPECT_NE(md.find(u"| apple | red | 3 |"), U16String::npos) << u8(md);
    EXPECT_EQ(lineWith(md, u"D1").substr(0, 3), u"| p") << u8(md);
    EXPECT_NE(lineWith(md, u"D1").find(u" | green | 5 |"), U16String::npos) << u8(md);
    EXPECT_EQ(lineWith(md, u"D2").substr(0, 1), u"M") << u8(md);
    EXPECT_EQ(lineWith(md, u"D3").substr(0, 3), u"| A") << u8(md);
    EXPECT_NE(lineWith(md, u"D3").find(u" | B |"), U16String::npos) << u8(md);
}

TEST(GridFlow, ShiftDownAndPageDownSelectAcrossAGridAndBack)
{
    Editor e(kTwoTables);
    e.caretAt(u"Prose above", 0);
    press(e, Qt::Key_Down, Qt::ShiftModifier, 6);
    const Range grown = e.view().selectedRange();
    EXPECT_EQ(grown.location, 0);
    EXPECT_GE(grown.end(), e.find(u"Middle"));
    press(e, Qt::Key_Up, Qt::ShiftModifier, 2);
    EXPECT_EQ(e.view().selectedRange().location, 0);
    EXPECT_GT(e.view().selectedRange().end(), e.find(u"apple"));
    EXPECT_LT(e.view().selectedRange().end(), e.find(u"Middle"));

    e.caretAt(u"Prose above", 0);
    press(e, Qt::Key_PageDown, Qt::ShiftModifier);
    EXPECT_EQ(e.view().selectedRange().location, 0);
    EXPECT_GT(e.view().selectedRange().end(), e.find(u"Middle"));
}


// ---- Edits across a grid's edge ----

// A Shift+click on the character at `index`: the selection grows to it from the caret.
void shiftClickAt(Editor& e, int index)
{
    e.view().layoutDocument();
    const QRectF caret = e.view().layoutManager()->caretRect(index);
    const QPointF point = e.inViewport(QPointF(caret.left() + 0.5, caret.center().y()));
    QWidget* viewport = e.view().viewport();
    QMouseEvent press(QEvent::MouseButtonPress, point, viewport->mapToGlobal(point), Qt::LeftButton, Qt::LeftButton,
                      Qt::ShiftModifier);
    static ulong time = 50'000;
    time += 10'000;  // never a double click
    press.setTimestamp(time);
    QApplication::sendEvent(viewport, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, point, viewport->mapToGlobal(point), Qt::LeftButton, Qt::NoButton,
                        Qt::ShiftModifier);
    QApplication::sendEvent(viewport, &release);
}

TEST(GridFlow, DeletingFromACellIntoTheProseBelowEmptiesCellsAndKeepsTheProseOutside)
{
    const U16String original(kTwoTables);
    const U16String expected = u"Prose above the first table.\n\n"
                               u"| Fruit | Colour | Count |\n| --- | --- | --- |\n| ap |  |  |\n"
                               u"\nse between tables.\n"
                               u"\n| A | B |\n| --- | --- |\n| 1 | 2 |\n\nProse below the last table.\n";
    for (Qt::Key finish : {Qt::Key_Delete, Qt::Key_Backspace, Qt::Key_X}) {
        Editor e(original);
        e.caretAt(u"apple", 2);
        shiftClickAt(e, e.find(u"se between"));
        ASSERT_EQ(e.view().selectedRange(), Range::fromTo(e.find(u"apple") + 2, e.find(u"se between")));
        QTest::keyClick(&e.view(), finish);
        U16String want = expected;
        if (finish == Qt::Key_X)
            want.replace(want.find(u"| ap |"), 6, u"| apx |");
        EXPECT_EQ(u8(*e.document), u8(want));
        EXPECT_EQ(*e.document, TableGrid::serialize(e.storage()));
        QTest::keyClick(&e.view(), Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(u8(*e.document), u8(original));
    }
}

TEST(GridFlow, CutAndPasteOverTwoGridsLeaveBothWellFormed)
{
    const U16String original(kTwoTables);
    const U16String head = u"Prose above the first table.\n\n"
                           u"| Fruit | Colour | Count |\n| --- | --- | --- |\n| apple | red | 3 |\n";
    const U16String tail = u" |  |  |\n\n|  | B |\n| --- | --- |\n| 1 | 2 |\n\nProse below the last table.\n";
    Editor e(original);
    // A cut takes the selection out; a paste over it puts its text into the cell the selection starts in.
    for (const auto& [edit, cell] : {std::pair{&TextView::cut, u"| pe"}, std::pair{&TextView::paste, u"| peck le"}}) {
        Pasteboard::general().clearContents();
        Pasteboard::general().setString(u"ck\nle", Pasteboard::stringType);
        e.caretAt(u"pear", 2);
        shiftClickAt(e, e.find(u"B\n"));
        (e.view().*edit)();
        EXPECT_EQ(u8(*e.document), u8(head + cell + tail));
        QTest::keyClick(&e.view(), Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(*e.document, original);
    }
}

TEST(GridFlow, ReturnOverASelectionFromAListItemIntoAGridContinuesNoList)
{
    Editor e(u"- item one\n\n| a | b |\n| --- | --- |\n| 1 | 2 |\n");
    e.view().setSelectedRange(Range::fromTo(e.find(u"ne\n"), e.find(u"2\n")));
    press(e, Qt::Key_Return);
    EXPECT_EQ(u8(*e.document), "- item o\n|  |  |\n| --- | --- |\n|  | 2 |\n");
    QTest::keyClick(&e.view(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(u8(*e.document), "- item one\n\n| a | b |\n| --- | --- |\n| 1 | 2 |\n");
}

TEST(GridFlow, TypingOnTheBlankLineUnderAGridKeepsTheBlankLine)
{
    Editor e(kTwoTables);
    e.caretAt(u"Prose below");
    press(e, Qt::Key_Up);
    typeText(e, "U1");
    EXPECT_NE(e.document->find(u"| 1 | 2 |\n\nU1\nProse below the last table."), U16String::npos) << u8(*e.document);
    typeText(e, "2");
    EXPECT_NE(e.document->find(u"\n\nU12\nProse below"), U16String::npos) << u8(*e.document);
    QTest::keyClick(&e.view(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(*e.document, U16String(kTwoTables));
}

// The two-table document as blocks, and what deleting characters of its text
// leaves, worked out block by block: prose loses exactly those characters, cells
// are emptied of them, rows wholly selected go (the header stays, emptied, while
// a body row does), and every table left stays a blank line apart from what follows.
struct TwoTables {
    struct Block {
        U16String prose;
        std::vector<std::vector<U16String>> rows;  // a table's rows, header first
    };
    std::vector<Block> blocks{
        {u"Prose above the first table.\n\n", {}},
        {{}, {{u"Fruit", u"Colour", u"Count"}, {u"apple", u"red", u"3"}, {u"pear", u"green", u"5"}}},
        {u"\nMiddle prose between tables.\n\n", {}},
        {{}, {{u"A", u"B"}, {u"1", u"2"}}},
        {u"\nProse below the last table.\n", {}},
    };

    // The editor's text: each cell a paragraph.
    U16String text() const
    {
        U16String out;
        for (const Block& b : blocks) {
            out += b.prose;
            for (const auto& row : b.rows)
                for (const U16String& cell : row)
                    out += cell + u"\n";
        }
        return out;
    }

    U16String deleting(Range range) const
    {
        auto gone = [&](int at) { return at >= range.location && at < range.end(); };
        U16String out;
        bool afterTable = false;
        int at = 0, tableEnd = 0;
        for (const Block& b : blocks) {
            if (b.rows.empty()) {
                U16String kept;
                for (char16_t c : b.prose)
                    if (!gone(at++))
                        kept += c;
                // Taken from the last table to the text's final line end, which is then its last row's.
                if (afterTable && kept == u"\n" && !gone(at - 1) && &b == &blocks.back() && range.location < tableEnd
                    && range.end() >= tableEnd)
                    return out + kept;
                if (afterTable && !kept.empty()) {
                    out += kept.front() == u'\n' ? u"\n" : u"\n\n";
                    afterTable = false;
                }
                out += kept;
                continue;
            }
            std::vector<std::vector<U16String>> rows;
            for (size_t r = 0; r < b.rows.size(); ++r) {
                const int start = at;
                std::vector<U16String> left;
                for (const U16String& cell : b.rows[r]) {
                    left.emplace_back();
                    for (char16_t c : cell)
                        if (!gone(at++))
                            left.back() += c;
                    ++at;  // the cell's line feed
                }
                if (!(range.location <= start && range.end() >= at - 1) || (r == 0 && !rows.empty()))
                    rows.push_back(left);
                else if (r == 0)
                    rows.push_back({});  // a header that stays only while a body row does
            }
            if (rows.size() > 1 && rows[0].empty())
                rows[0].assign(b.rows[0].size(), U16String());
            if (!rows.empty() && rows[0].empty())
                rows.erase(rows.begin());
            if (rows.empty())
                continue;
            if (afterTable)
                out += u"\n\n";
            else if (!out.empty() && out.back() != u'\n')
                out += u"\n\n";
            for (size_t r = 0; r < rows.size(); ++r) {
                if (r > 0)
                    out += u"\n";
                out += u"|";
                for (const U16String& cell : rows[r])
                    out += u" " + cell + u" |";
                if (r == 0) {
                    out += u"\n|";
                    for (size_t c = 0; c < rows[0].size(); ++c)
                        out += u" --- |";
                }
            }
            afterTable = true;
            tableEnd = at;
        }
        return out;
    }
};

TEST(GridFlow, DeletingAnySelectionRemovesExactlyItsCharactersAndUndoRestoresTheBytes)
{
    const TwoTables model;
    const U16String original(kTwoTables);
    // Bound as a document window binds its text: each change is written back in place.
    differential::Editor e(original);
    e.view().resize(500, 400);
    auto find = [&](U16View word) { return TextOps::find(e.view().string(), word); };
    ASSERT_EQ(u8(e.view().string()), u8(model.text()));
    const int n = e.storage().length();
    // Every kind of end: prose, cells, the edges of both grids, and selections over both.
    std::vector<int> ends;
    for (int i = 0; i <= n; ++i)
        ends.push_back(i);
    std::mt19937 random(3105);
    for (int round = 0; round < 400; ++round) {
        int a = ends[random() % ends.size()], b = ends[random() % ends.size()];
        if (round % 4 == 0)  // one end in each grid
            a = find(u"Fruit") + int(random() % 45), b = find(u"A\n") + int(random() % 8);
        if (a == b)
            continue;
        const Range selection = Range::fromTo(std::min(a, b), std::max(a, b));
        e.view().setSelectedRange(selection);
        QTest::keyClick(&e.view(), round % 2 ? Qt::Key_Delete : Qt::Key_Backspace);
        ASSERT_EQ(u8(*e.document), u8(model.deleting(selection)))
            << "deleting " << selection.location << "+" << selection.length;
        ASSERT_EQ(*e.document, TableGrid::serialize(e.storage()));
        QTest::keyClick(&e.view(), Qt::Key_Z, Qt::ControlModifier);
        ASSERT_EQ(u8(*e.document), u8(original)) << "undoing " << selection.location << "+" << selection.length;
        ASSERT_EQ(u8(e.view().string()), u8(model.text()));
    }
    // A grid that ends the text, with and without a final line feed, and with a cell
    // emptied by an earlier edit: what is written back is what the grid writes.
    for (const char16_t* last : {u"| A | B |\n| --- | --- |\n| 1 | 2 |", u"| A | B |\n| --- | --- |\n| 1 | 2 |\n",
                                 u"| A | B |\n| --- | --- |\n| 1 | 2 |\n\nProse below.",
                                 u"| A | B |\n| --- | --- |\n| 1 | 2 |\n\nProse below.\n"}) {
        for (bool emptied : {false, true}) {
            const U16String text = U16String(u"Prose above.\n\n") + last;
            differential::Editor g(text);
            if (emptied) {
                g.view().setSelectedRange({int(TextOps::find(g.view().string(), u"2\n")), 1});
                QTest::keyClick(&g.view(), Qt::Key_Delete);
            }
            const U16String before = *g.document;
            const int m = g.storage().length();
            for (int round = 0; round < 60; ++round) {
                int a = int(random() % unsigned(m + 1)), b = int(random() % unsigned(m + 1));
                if (round % 3 == 0)  // to the end of the text
                    b = m;
                if (a == b)
                    continue;
                const Range selection = Range::fromTo(std::min(a, b), std::max(a, b));
                g.view().setSelectedRange(selection);
                QTest::keyClick(&g.view(), round % 2 ? Qt::Key_Delete : Qt::Key_Backspace);
                ASSERT_EQ(u8(*g.document), u8(TableGrid::serialize(g.storage())))
                    << u8(text) << ": deleting " << selection.location << "+" << selection.length;
                QTest::keyClick(&g.view(), Qt::Key_Z, Qt::ControlModifier);
                ASSERT_EQ(u8(*g.document), u8(before)) << "undoing " << selection.location << "+" << selection.length;
            }
        }
    }
}

TEST(GridFlow, DeletingAllTheTextUnderTheLastGridWritesTheGridAsItEndsTheText)
{
    for (const char16_t* end : {u"", u"\n"}) {
        const U16String text = U16String(u"Prose above.\n\n| A | B |\n| --- | --- |\n| 1 |  |\n\nbelow") + end;
        differential::Editor e(text);
        // An edit first, so that the next is written back in place.
        e.view().setSelectedRange({int(TextOps::find(e.view().string(), u"above")), 0});
        e.view().insertText(u"x");
        const int blank = int(TextOps::find(e.view().string(), u"below")) - 1;
        e.view().setSelectedRange(Range::fromTo(blank, e.storage().length()));
        e.view().doCommand(TextCommand{TextCommand::deleteBackward, false});
        EXPECT_EQ(u8(*e.document), u8(TableGrid::serialize(e.storage())));
        EXPECT_EQ(u8(*e.document), "Prose xabove.\n\n| A | B |\n| --- | --- |\n| 1 |  |");
    }
}

// Whether every table row of `md` has its table's column count, and every prose
// line of `prose` still stands outside the tables.
::testing::AssertionResult wellFormed(const U16String& md, const std::vector<U16View>& prose = {})
{
    int columns = -1;
    for (U16View line : splitAt(md, u'\n')) {
        if (line.empty() || line.front() != u'|') {
            columns = -1;
            continue;
        }
        const int count = int(PipeTable::cells(line).size());
        if (columns < 0)
            columns = count;
        else if (count != columns)
            return ::testing::AssertionFailure() << "row of " << count << " cells, not " << columns << ": " << u8(md);
    }
    for (U16View piece : prose) {
        const size_t at = md.find(piece);
        if (at == U16String::npos || (at > 0 && md[at - 1] != u'\n'))
            return ::testing::AssertionFailure() << u8(piece) << " is not a line of its own in " << u8(md);
    }
    return ::testing::AssertionSuccess();
}

TEST(GridFlow, MovingTextAcrossAGridsEdgeRemovesItCellByCellAndDropsIntoACellAsAPasteGoes)
{
    const U16String original(kTwoTables);
    // Out of a cell into the prose below: the cells are emptied, the prose stays below, the text arrives at the end.
    {
        Editor e(original);
        e.view().moveText(Range::fromTo(e.find(u"apple") + 2, e.find(u"se between")), e.find(u"table.\n") + 6);
        EXPECT_TRUE(wellFormed(*e.document, {u"se between tables.", u"Prose below the last table."}));
        EXPECT_NE(e.document->find(u"| ap |  |  |\n"), U16String::npos) << u8(*e.document);
        EXPECT_EQ(*e.document, TableGrid::serialize(e.storage()));
        QTest::keyClick(&e.view(), Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(u8(*e.document), u8(original));
    }
    // Rows moved to the end of a line of prose: a block of their own.
    {
        Editor e(original);
        e.view().moveText(Range::fromTo(e.find(u"pear") + 2, e.find(u"Middle") + 6), e.find(u" table.\n") + 7);
        EXPECT_TRUE(wellFormed(*e.document, {u"Prose above the first table.", u"| ar | green | 5 |", u" prose between"}))
            << u8(*e.document);
        EXPECT_NE(e.document->find(u"table.\n\n| ar | green | 5 |\n| --- | --- | --- |\n\nMiddle\n\n| Fruit"), U16String::npos) << u8(*e.document);
        QTest::keyClick(&e.view(), Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(u8(*e.document), u8(original));
    }
    // Prose moved into a cell: text of that cell, the row keeps its shape.
    {
        Editor e(original);
        e.view().moveText(Range{e.find(u"Middle prose"), 12}, e.find(u"red") + 1);
        EXPECT_TRUE(wellFormed(*e.document, {u" between tables."}));
        EXPECT_NE(e.document->find(u"| apple | rMiddle proseed | 3 |"), U16String::npos) << u8(*e.document);
        QTest::keyClick(&e.view(), Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(u8(*e.document), u8(original));
    }
    // A drop from elsewhere into a cell: its lines are the cell's lines, as pasted ones are.
    {
        Editor e(original);
        e.view().layoutDocument();
        QMimeData mime;
        mime.setText("two\nlines | here");
        const QRectF caret = e.view().layoutManager()->caretRect(e.find(u"green") + 2);
        const QPointF at = e.inViewport(QPointF(caret.left() + 0.5, caret.center().y()));
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(e.view().viewport(), &enter);
        QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(e.view().viewport(), &drop);
        EXPECT_NE(e.document->find(u"| pear | grtwo<br>lines \\| hereeen | 5 |"), U16String::npos) << u8(*e.document);
        EXPECT_TRUE(wellFormed(*e.document));
    }
    // Lines dragged into a cell from the same document, in one with CRLF line ends: the same.
    differential::Editor e(u"Two\r\nlines\r\n\r\n| a | b |\r\n| --- | --- |\r\n| 25 | x |\r\n");
    e.view().moveText(Range{0, 10}, int(TextOps::find(e.view().string(), u"25")) + 2);
    EXPECT_EQ(u8(*e.document), "\r\n\r\n| a | b |\r\n| --- | --- |\r\n| 25Two<br>lines | x |\r\n");
    EXPECT_EQ(differential::compareWithFresh(e), "");
}

TEST(GridFlow, ACompositionOverASelectionAcrossAGridsEdgeStartsInTheEmptiedCell)
{
    const U16String original(kTwoTables);
    Editor e(original);
    e.view().setSelectedRange(Range::fromTo(e.find(u"apple") + 2, e.find(u"se between")));
    QInputMethodEvent compose(QStringLiteral("\u304B"), {});
    QApplication::sendEvent(&e.view(), &compose);
    // While composing, the grid already has its shape and the prose stays below it.
    const U16String composing = TableGrid::serialize(e.storage());
    EXPECT_TRUE(wellFormed(composing, {u"se between tables."}));
    EXPECT_NE(composing.find(u"| ap\u304B |  |  |\n"), U16String::npos) << u8(composing);
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("\u304B"));
    QApplication::sendEvent(&e.view(), &commit);
    EXPECT_TRUE(wellFormed(*e.document, {u"se between tables."}));
    EXPECT_NE(e.document->find(u"| ap\u304B |  |  |\n"), U16String::npos) << u8(*e.document);
    QTest::keyClick(&e.view(), Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(&e.view(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(u8(*e.document), u8(original));
}

TEST(GridFlow, FormattingOverSeveralCellsOrAGridsEdgeChangesNothingAndInOneCellStaysInIt)
{
    const U16String original(kTwoTables);
    Editor e(original);
    using Action = void (MarkdownTextView::*)(const ActionSender*);
    const std::vector<Action> actions{&MarkdownTextView::mdBold, &MarkdownTextView::mdItalic,
                                      &MarkdownTextView::mdStrikethrough, &MarkdownTextView::mdCode,
                                      &MarkdownTextView::mdLink, &MarkdownTextView::mdUnderline,
                                      &MarkdownTextView::mdApplyHeading};
    const std::vector<std::pair<U16View, U16View>> selections{
        {u"table.\n", u"Fruit"}, {u"red", u"3\n"}, {u"5\n", u"iddle"}, {u"apple", u"pear"}, {u"Middle", u"A\n"}};
    for (Action action : actions) {
        for (const auto& [from, to] : selections) {
            e.view().setSelectedRange(Range::fromTo(e.find(from) + 1, e.find(to) + 1));
            const ActionSender heading = ActionSender::menuItem(2);
            (e.view().*action)(&heading);
            EXPECT_EQ(u8(*e.document), u8(original)) << u8(from) << " to " << u8(to);
        }
    }
    e.view().setSelectedRange(Range{e.find(u"green"), 5});
    e.view().mdBold(nullptr);
    EXPECT_NE(e.document->find(u"| pear | **green** | 5 |"), U16String::npos) << u8(*e.document);
}

TEST(GridFlow, APipeTypedOrPastedInACellIsWrittenEscapedAndReadsBackAsTheSameCell)
{
    Editor e(kTwoTables);
    e.caretAt(u"red", 1);
    typeText(e, "|x");
    Pasteboard::general().clearContents();
    Pasteboard::general().setString(u"a|b", Pasteboard::stringType);
    e.caretAt(u"pear", 4);
    e.view().paste();
    EXPECT_NE(e.document->find(u"| apple | r\\|xed | 3 |\n| peara\\|b | green | 5 |"), U16String::npos) << u8(*e.document);
    EXPECT_TRUE(wellFormed(*e.document));
    Editor reopened(*e.document);
    reopened.caretAt(u"green");
    typeText(reopened, "+");
    EXPECT_NE(reopened.document->find(u"| apple | r\\|xed | 3 |\n| peara\\|b | +green | 5 |"), U16String::npos)
        << u8(*reopened.document);

    // Backticks that would pair across a separator, and a "<br>" typed as text, alike;
    // a copy of the row gives the row as written.
    e.caretAt(u"1\n", 1);
    typeText(e, "`");
    e.caretAt(u"2\n", 1);
    typeText(e, "`<br>");
    EXPECT_NE(e.document->find(u"| 1\\` | 2`\\<br> |\n"), U16String::npos) << u8(*e.document);
    e.view().setSelectedRange(Range{e.find(u"1`"), 9});
    e.view().copy();
    EXPECT_EQ(u8(Pasteboard::general().string(Pasteboard::stringType).value_or(u"")), "| 1\\` | 2`\\<br> |");

    // A cut across cells keeps such text as it was typed, in the cells it leaves.
    e.caretAt(u"B\n", 1);
    typeText(e, "<br>");
    e.view().setSelectedRange(Range{e.find(u"1`") + 1, 4});
    e.view().cut();
    EXPECT_NE(e.document->find(u"| A | B\\<br> |\n| --- | --- |\n| 1 | \\<br> |\n"), U16String::npos) << u8(*e.document);
}

// A board of HTML alone, as browsers and office programs offer, pastes its text as that
// text pasted plain does: one line of a cell, cell by cell over a grid's edge, a line apart
// under a grid, and a table apart from the text after it.
TEST(GridFlow, HtmlAlonePastesItsTextAsPlainTextWouldGo)
{
    struct Case {
        const char* where;
        U16View document;
        U16View at;
        int offset;
        U16View to;  // the selection's end, or the caret alone when empty
        QString html;
        U16String text;
    };
    const QString lines = QStringLiteral("<p>x <b>y</b></p><p>z</p>");
    const std::vector<Case> cases{
        {"in a cell", kTwoTables, u"apple", 2, {}, lines, u"x y\nz"},
        {"over a grid's edge", kTwoTables, u"pear", 2, u"Middle", lines, u"x y\nz"},
        {"right under a grid", kTwoTables, u"Middle", -1, {}, lines, u"x y\nz"},
        {"mid-line, a table", u"Hello world | more\nNext", u"world", 0, {},
         QStringLiteral("<p>| a | b |</p><p>| --- | --- |</p><p>| 1 | 2 |</p>"), u"| a | b |\n| --- | --- |\n| 1 | 2 |"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.where);
        Editor plain(c.document), rich(c.document);
        for (Editor* e : {&plain, &rich}) {
            const int from = e->find(c.at) + c.offset;
            e->view().setSelectedRange(c.to.empty() ? Range{from, 0} : Range::fromTo(from, e->find(c.to) + 3));
        }
        auto* text = new QMimeData;
        text->setText(QString::fromStdU16String(c.text));
        QGuiApplication::clipboard()->setMimeData(text);
        plain.view().paste();
        auto* html = new QMimeData;
        html->setHtml(c.html);
        QGuiApplication::clipboard()->setMimeData(html);
        ASSERT_EQ(Pasteboard::general().plainText(), c.text);
        rich.view().paste();
        EXPECT_NE(*plain.document, U16String(c.document));
        EXPECT_EQ(*rich.document, *plain.document);
        EXPECT_EQ(rich.view().selectedRange(), plain.view().selectedRange());
        EXPECT_TRUE(wellFormed(*rich.document)) << u8(*rich.document);
    }
}

// Whether the words of the prose lines that `selection` leaves alone still stand outside the tables.
::testing::AssertionResult proseStaysOut(Editor& edited, Editor& original, Range selection)
{
    for (U16View word : {u"Prose above", u"Middle prose", u"between tables.", u"Prose below"}) {
        const int at = original.find(word);
        if (at < selection.end() && selection.location < at + int(word.size()))
            continue;
        const int found = edited.find(word);
        if (found < 0)
            return ::testing::AssertionFailure() << u8(word) << " gone from " << u8(*edited.document);
        if (TableGrid::cellBlock(edited.storage(), found))
            return ::testing::AssertionFailure() << u8(word) << " in a table: " << u8(*edited.document);
    }
    return ::testing::AssertionSuccess();
}

// The end of the prose paragraph at or after `at`: text moved or pasted there stays
// apart from what follows (table rows put in mid-line glue to the text after them).
int paragraphEnd(Editor& e, int at)
{
    const U16View text = e.view().string();
    const int n = int(text.size());
    auto prose = [&](int i) { return text[size_t(i)] == u'\n' && !TableGrid::cellBlock(e.storage(), i); };
    while (at < n && !(prose(at) && (at + 1 >= n || prose(at + 1))))
        ++at;
    return at;
}

TEST(GridFlow, RandomEditsOverRandomSelectionsKeepEveryRowsShapeAndUndoRestoresTheBytes)
{
    const U16String original(kTwoTables);
    Editor reference(original);
    const int n = reference.storage().length();
    std::mt19937 random(2207);
    for (int round = 0; round < 150; ++round) {
        const int a = int(random() % unsigned(n + 1)), b = int(random() % unsigned(n + 1));
        if (a == b)
            continue;
        Editor e(original);
        const Range selection = Range::fromTo(std::min(a, b), std::max(a, b));
        e.view().setSelectedRange(selection);
        const int command = round % 5;
        int undos = 1;
        switch (command) {
        case 0:
            QTest::keyClick(&e.view(), Qt::Key_Delete);
            break;
        case 1: {
            e.view().cut();
            e.view().setSelectedRange(Range{paragraphEnd(e, int(random() % unsigned(e.storage().length() + 1))), 0});
            e.view().paste();
            undos = *e.document == original ? 0 : 2;
            break;
        }
        case 2: {
            const int to = paragraphEnd(e, int(random() % unsigned(n + 1)));
            e.view().moveText(selection, to);
            undos = to >= selection.location && to <= selection.end() ? 0 : 1;
            break;
        }
        case 3:
            e.view().mdBold(nullptr);
            undos = *e.document == original ? 0 : 1;
            break;
        default:
            typeText(e, "|");
            break;
        }
        const std::string what = "command " + std::to_string(command) + " over " + std::to_string(selection.location)
            + "+" + std::to_string(selection.length);
        ASSERT_TRUE(wellFormed(*e.document)) << what;
        ASSERT_EQ(*e.document, TableGrid::serialize(e.storage())) << what;
        if (command != 1 && command != 2) {
            EXPECT_TRUE(proseStaysOut(e, reference, selection)) << what;
        }
        for (int k = 0; k < undos; ++k)
            QTest::keyClick(&e.view(), Qt::Key_Z, Qt::ControlModifier);
        ASSERT_EQ(u8(*e.document), u8(original)) << "undoing " << what;
    }
}

// ---- The line right under a grid ----

enum class Block { paragraph, code, list, task, footnote };

const char* name(Block b)
{
    static const char* const names[] = {"paragraph", "code", "list", "task", "footnote"};
    return names[int(b)];
}

// What the exported page makes of the line holding `marker`.
Block exportedBlock(const U16String& html, U16View marker)
{
    const size_t at = html.find(marker);
    const size_t notes = html.find(u"<section class=\"footnotes\">");
    if (at == U16String::npos || (notes != U16String::npos && at > notes))
        return Block::footnote;
    const U16String before = html.substr(0, at);
    const size_t pre = before.rfind(u"<pre"), li = before.rfind(u"<li"), p = before.rfind(u"<p>");
    const size_t last = std::max({pre == U16String::npos ? 0 : pre + 1, li == U16String::npos ? 0 : li + 1,
                                  p == U16String::npos ? 0 : p + 1});
    if (last == 0)
        return Block::paragraph;
    if (last == pre + 1)
        return Block::code;
    if (last == li + 1)
        return before.compare(li, 20, u"<li class=\"task-item") == 0 ? Block::task : Block::list;
    return Block::paragraph;
}

// What a styled text makes of it (the editor's after a full restyle with the caret elsewhere).
Block styledBlock(const TextStorage& storage, U16View marker, double baseSize)
{
    const U16View text = storage.string();
    const int at = int(text.find(marker));
    int start = at;
    while (start > 0 && text[size_t(start - 1)] != u'\n')
        --start;
    int end = at;
    while (end < int(text.size()) && text[size_t(end)] != u'\n')
        ++end;
    const Attributes attributes = storage.attributes(at);
    if (attributes.has(AttributeKey::CodeBlockFill))
        return Block::code;
    for (int i = start; i < end; ++i)
        if (storage.attributes(i).has(AttributeKey::TaskCheckbox))
            return Block::task;
    const ParagraphStyle* style = attributes.paragraphStyle();
    if (style && std::abs(style->headIndent - 1.7 * baseSize) < 0.01 && style->firstLineHeadIndent > 0)
        return Block::footnote;
    if (style && style->headIndent > 0)
        return Block::list;
    return Block::paragraph;
}

TEST(GridFlow, AnIndentedTaskRightUnderAGridIsATaskNotCode)
{
    U16String text(kTwoTables);
    text.replace(text.find(u"| 1 | 2 |\n\n"), 11, u"| 1 | 2 |\n    - [ ] task?\n");
    Editor e(text);
    e.host->coordinator().restyle(e.view());
    e.caretAt(u"Prose below");
    const int box = e.find(u"[ ]");
    EXPECT_FALSE(e.storage().attributes(box).has(AttributeKey::CodeBlockFill));
    EXPECT_TRUE(e.storage().attributes(box).has(AttributeKey::TaskCheckbox));
    // On the caret's line the task shows its source; off it, the box again.
    press(e, Qt::Key_Up);
    EXPECT_FALSE(e.storage().attributes(box).has(AttributeKey::TaskCheckbox));
    press(e, Qt::Key_Down);
    EXPECT_TRUE(e.storage().attributes(box).has(AttributeKey::TaskCheckbox));
    EXPECT_EQ(*e.document, text);
}

TEST(GridFlow, TheLineUnderAGridIsReadAsTheExportReadsIt)
{
    std::mt19937 random(1125);
    auto pick = [&](const std::vector<U16String>& from) { return from[random() % from.size()]; };
    const std::vector<U16String> cells{u"", u"a", u"bb", u"x y", u"12", u"`c`"};
    const std::vector<U16String> lines{
        u"qmark words",          u"    qmark code?",      u"    :smile: qmark here", u"- qmark item",
        u"    - [ ] qmark task?", u"- [ ] qmark task",    u"1. qmark first",          u"  * qmark",
        u"\tqmark tab",           u"   qmark three",       u"    more qmark note",    u"* [x] qmark done"};
    std::set<Block> seen;
    for (int round = 0; round < 60; ++round) {
        const int columns = 1 + int(random() % 3);
        const int rows = int(random() % 3);
        const bool footnote = random() % 3 == 0;
        U16String md = u"Intro.\n\n";
        if (footnote)
            md += u"[^n1]: note zz\n";
        for (int r = 0; r < rows + 2; ++r) {
            md += u"|";
            for (int c = 0; c < columns; ++c)
                md += r == 1 ? U16String(u" --- |") : u" " + pick(cells) + u" |";
            md += u"\n";
        }
        const U16String line = pick(lines);
        md += line + (footnote ? u"\n\nEnd ref[^n1].\n" : u"\n\nEnd.\n");

        Editor e(md);
        e.host->coordinator().restyle(e.view());
        ASSERT_EQ(*e.document, md);
        ASSERT_TRUE(TableGrid::cellBlock(e.storage(), e.find(u"Intro") + 8 + (footnote ? 15 : 0)))
            << "no grid in " << u8(md);
        const Block exported = exportedBlock(MarkdownHTML::body(md), u"qmark");
        seen.insert(exported);
        EXPECT_EQ(std::string(name(styledBlock(e.storage(), u"qmark", 14))), name(exported)) << u8(md);
        const TextStorage page = PreviewRenderer::preparePage(md, 600, 14, std::nullopt);
        EXPECT_EQ(std::string(name(styledBlock(page, u"qmark", 14))), name(exported)) << "page of " << u8(md);
    }
    // Right under a table's last row no line starts indented code.
    EXPECT_EQ(seen, (std::set<Block>{Block::paragraph, Block::list, Block::task, Block::footnote}));
}

// A grid too short to stand as a pipe table's two lines (a one-letter header, no
// body) still has the line under it read as under that table, not as a paragraph's
// next line: "---" is a rule, "===" is text, "    x" is no code.
TEST(GridFlow, TheLineUnderAShortGridReadsAsUnderALongOne)
{
    const std::vector<U16String> lines{u"---", u"===", u"***", u"    qz code?", u"- qz", u"2. qz", u"qz words", u"-"};
    for (const U16String& line : lines) {
        auto document = [&](U16View header) { return u"Intro.\n\n| " + U16String(header) + u" |\n| --- |\n" + line + u"\n\nEnd.\n"; };
        const U16String shortOne = document(u"a"), longOne = document(u"abcdefgh");
        Editor s(shortOne), l(longOne);
        s.host->coordinator().restyle(s.view());
        l.host->coordinator().restyle(l.view());
        s.caretAt(u"End."), l.caretAt(u"End.");
        const TextStorage shortPage = PreviewRenderer::preparePage(shortOne, 600, 14, std::nullopt);
        const TextStorage longPage = PreviewRenderer::preparePage(longOne, 600, 14, std::nullopt);
        for (int k = 0; k < int(line.size()); ++k) {
            const int inShort = s.find(line) + k, inLong = l.find(line) + k;
            EXPECT_TRUE(s.storage().attributes(inShort) == l.storage().attributes(inLong)) << u8(line) << " at " << k;
            const int onShortPage = int(shortPage.string().find(line)) + k, onLongPage = int(longPage.string().find(line)) + k;
            EXPECT_TRUE(shortPage.attributes(onShortPage) == longPage.attributes(onLongPage)) << "page: " << u8(line);
        }
        EXPECT_EQ(exportedBlock(MarkdownHTML::body(shortOne), u"qz"), exportedBlock(MarkdownHTML::body(longOne), u"qz"));
    }
    // The export reads "---" right under the table as a rule.
    EXPECT_NE(MarkdownHTML::body(u"| a |\n| --- |\n---\n").find(u"<hr"), U16String::npos);
}

} // namespace
} // namespace velkin
