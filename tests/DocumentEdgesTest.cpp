// Tables on a document's first and last lines, a cell's lines, the view's ends, the editor's own carets.
#include "EditorHarness.h"
#include "RestyleDifferential.h"

#include "platform/pasteboard/Pasteboard.h"
#include "platform/text/Utf.h"

#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>
#include <tuple>

namespace velkin {
namespace {

using namespace testing_editor;

const char16_t* const kTableFirst = u"| a | b |\n| --- | --- |\n| 1 | 2 |\n\nText\n";

// Types "T" at the caret the editor left and expects what typing after a click there gives.
void expectTypesAsAfterClick(Editor& e, U16View text, const char* how)
{
    const int at = e.view().selectedRange().location;
    QTest::keyClicks(&e.view(), QStringLiteral("T"));
    Editor clicked(text);
    clicked.show();
    const QRectF caret = clicked.view().layoutManager()->caretRect(at);
    click(clicked.view(), clicked.view().viewportPoint(QPointF(caret.left(), caret.center().y())));
    ASSERT_EQ(clicked.view().selectedRange(), (Range{at, 0})) << how;
    QTest::keyClicks(&clicked.view(), QStringLiteral("T"));
    EXPECT_EQ(u8(*e.document), u8(*clicked.document)) << how;
}

TEST(EditorCaret, EveryCaretTheEditorPlacesTypesAsOneAClickPlaces)
{
    for (const U16String& text : {U16String(kTableFirst), U16String(u"| a | b |\n| --- | --- |\n| 1 | 2 |")})
        for (const std::string way : {"opened", "reloaded", "Ctrl+End, Ctrl+Home", "undone"}) {
            Editor e(way == "reloaded" ? U16View(u"Other\n") : U16View(text));
            e.show();
            if (way == "reloaded") {  // reverted, or changed from outside: the text comes anew
                *e.document = text;
                e.host->setEditor(e.editor());
            } else if (way == "undone") {
                QTest::keyClicks(&e.view(), QStringLiteral("Q"));
                QTest::keyClick(&e.view(), Qt::Key_Z, Qt::ControlModifier);
                ASSERT_EQ(*e.document, text);
            } else if (way != "opened") {
                QTest::keyClick(&e.view(), Qt::Key_End, Qt::ControlModifier);
                QTest::keyClick(&e.view(), Qt::Key_Home, Qt::ControlModifier);
            }
            expectTypesAsAfterClick(e, text, way.c_str());
            EXPECT_EQ(e.document->substr(0, 10), u"| Ta | b |") << way;
        }
    // Pasted right after opening, and over a match Find selected in the first cell.
    Editor e(kTableFirst);
    e.show();
    Pasteboard::general().clearContents();
    Pasteboard::general().setString(u"XYZ", Pasteboard::stringType);
    e.view().paste();
    EXPECT_EQ(e.document->substr(0, 12), u"| XYZa | b |");
    e.view().setFindString(u"b");
    e.view().findNextMatch(true);
    QTest::keyClicks(&e.view(), QStringLiteral("F"));
    EXPECT_EQ(e.document->substr(0, 13), u"| XYZa | F |\n");
}

TEST(GridAtTheEnd, DownAndShiftDownLeaveTheLastRowAndTextBelowGoesALineApart)
{
    const U16String table = u"Intro\n\n| a | b |\n| --- | --- |\n| 1 | 2 |";
    for (const U16String& text : {table, table + u"\n"}) {
        differential::Editor e(text);
        e.view().show();
        const int two = int(TextOps::find(e.view().string(), u"2"));
        e.view().setSelectedRange({two, 0});
        QTest::keyClick(&e.view(), Qt::Key_Down, Qt::ShiftModifier);
        EXPECT_EQ(e.view().selectedRange(), Range::fromTo(two, e.storage().length()));
        e.view().setSelectedRange({two + 1, 0});
        QTest::keyClick(&e.view(), Qt::Key_Down);
        EXPECT_FALSE(e.view().currentGrid());
        QTest::keyClicks(&e.view(), QStringLiteral("Tail"));
        EXPECT_EQ(u8(*e.document), u8(table + u"\n\nTail"));
        EXPECT_EQ(differential::compareWithFresh(e), "");
        e.view().setSelectedRange(Range::fromTo(two + 2, e.storage().length()));
        QTest::keyClick(&e.view(), Qt::Key_Backspace);
        EXPECT_EQ(u8(*e.document), u8(text));
        // Return there, then text, keeps one blank line.
        e.view().setSelectedRange({e.storage().length(), 0});
        QTest::keyClick(&e.view(), Qt::Key_Return);
        QTest::keyClicks(&e.view(), QStringLiteral("Below"));
        EXPECT_EQ(u8(*e.document), u8(table + u"\n\nBelow"));
    }
    // Under a table inserted at the end (the caret then under the grid, not in it), text typed or pasted.
    const U16String grid = u"| Column 1 | Column 2 |\n| --- | --- |\n|  |  |";
    for (const bool pasted : {false, true}) {
        differential::Editor e(u"Intro");
        e.view().show();
        for (int k = 0; k < 2; ++k) {
            e.view().setSelectedRange({e.storage().length(), 0});
            e.view().mdInsertTable(0);
        }
        e.view().setSelectedRange({e.storage().length(), 0});
        Pasteboard::general().clearContents();
        Pasteboard::general().setString(u"Below", Pasteboard::stringType);
        pasted ? e.view().paste() : QTest::keyClicks(&e.view(), QStringLiteral("Below"));
        EXPECT_EQ(u8(*e.document), u8(u"Intro\n\n" + grid + u"\n\n" + grid + u"\n\nBelow")) << pasted;
        EXPECT_EQ(differential::compareWithFresh(e), "");
    }
}

TEST(GridCellLines, WhatTheEditorWritesIntoACellReadsBackTheSame)
{
    Editor e(u"| a | b |\n| --- | --- |\n| 25 | x |\n\nText\n");
    e.show();
    e.caretAt(u"25", 2);
    Pasteboard::general().clearContents();
    Pasteboard::general().setString(u"line1\nline2", Pasteboard::stringType);
    e.view().paste();
    e.caretAt(u"x", 1);
    QTest::keyClick(&e.view(), Qt::Key_Return);
    QTest::keyClicks(&e.view(), QStringLiteral(" y"));
    EXPECT_EQ(u8(*e.document), "| a | b |\n| --- | --- |\n| 25line1<br>line2 | x<br> y |\n\nText\n");
    differential::Editor again(*e.document);  // opened again: the same cells with the same lines
    EXPECT_EQ(u8(again.view().string()), u8(e.view().string()));
}

TEST(EditorScrolling, CtrlHomeShowsTheTopAsOpeningDoesAndCtrlEndTheBottom)
{
    U16String text = u"# First heading\n\n";
    for (int i = 0; i < 200; ++i)
        text += u"Paragraph with some words to fill the line.\n\n";
    for (const U16String& document : {text, text + u"| a |\n| --- |\n| 1 |"}) {
        Editor e(document);
        e.show();
        QScrollBar* bar = e.view().verticalScrollBar();
        ASSERT_EQ(bar->value(), 0);
        QTest::keyClick(&e.view(), Qt::Key_End, Qt::ControlModifier);
        EXPECT_EQ(bar->value(), bar->maximum());
        QTest::keyClick(&e.view(), Qt::Key_Home, Qt::ControlModifier);
        EXPECT_EQ(bar->value(), 0);
    }
}

TEST(GridGap, ALineRightUnderAGridKeepsTheGapALineRightAboveItKeeps)
{
    for (const U16View under : {U16View(u"Under"), U16View(u"    :smile: here"), U16View(u"- item")}) {
        SCOPED_TRACE(u8(under));
        differential::Editor e(u"Above\n| a | b |\n| --- | --- |\n| 1 | 2 |\n" + U16String(under) + u"\n\nEnd");
        LayoutManager& layout = *e.view().layoutManager();
        const int below = int(TextOps::find(e.view().string(), u"2\n")) + 2;
        // From the text's own box, as the eye measures.
        const double gridTop = layout.lineBandRect(int(TextOps::find(e.view().string(), u"a\n"))).top();
        const double underGap = layout.caretRect(below).top() - layout.lineBandRect(below - 1).bottom();
        EXPECT_GT(underGap, 2);
        EXPECT_NEAR(underGap, gridTop - layout.caretRect(0).bottom(), 0.5);
        // Made and unmade by edits, the gap is what a whole restyle gives.
        e.view().setSelectedRange({int(TextOps::find(e.view().string(), u"\n\nEnd")) + 1, 1});
        e.view().insertText(u"");
        EXPECT_EQ(differential::compareWithFresh(e), "");
        e.view().setSelectedRange({below, 0});
        e.view().insertText(u"\n");
        EXPECT_EQ(differential::compareWithFresh(e), "");
        e.view().undo();
        EXPECT_EQ(differential::compareWithFresh(e), "");
    }
}

// Where `text` first stands in the editor's storage.
int at(const differential::Editor& e, U16View text)
{
    return int(TextOps::find(e.view().string(), text));
}

TEST(GridSelections, SelectAllOverATableFirstTextIsReplacedAsTextByTypingReturnOrAPastedDocument)
{
    const U16String pasted = u"# New doc\n\n| x | y |\n| --- | --- |\n| 3 | 4 |\n\nEnd\n";
    const U16View texts[] = {kTableFirst, u"| a | b |\n| --- | --- |\n| 1 | 2 |", u"| a |\n| --- |\n| 1 |\n",
                             u"| a | b |\n| --- | --- |\n| 1 | 2 |\n\n| c |\n| --- |\n| 3 |\n"};
    for (const U16View original : texts)
        for (const U16View eol : {U16View(u"\n"), U16View(u"\r\n")}) {
            const U16String text = TextOps::replacingAll(original, u"\n", eol);
            for (const int way : {0, 1, 2}) {
                SCOPED_TRACE(u8(text) + " way " + std::to_string(way));
                differential::Editor e(text);
                QTest::keyClick(&e.view(), Qt::Key_A, Qt::ControlModifier);
                U16String expected;
                if (way == 0) {
                    QTest::keyClicks(&e.view(), QStringLiteral("X"));
                    expected = u"X";
                } else if (way == 1) {
                    QTest::keyClick(&e.view(), Qt::Key_Return);
                    expected = U16String(eol);
                } else {
                    Pasteboard::general().clearContents();
                    Pasteboard::general().setString(pasted, Pasteboard::stringType);
                    e.view().paste();
                    expected = TextOps::replacingAll(pasted, u"\n", eol);
                    // Its table is a grid again, as when the document is opened.
                    EXPECT_NE(e.view().tableBlock(at(e, u"x")), nullptr);
                }
                EXPECT_EQ(u8(*e.document), u8(expected));
                EXPECT_EQ(e.view().selectedRange(), (Range{e.storage().length(), 0}));
                EXPECT_EQ(differential::compareWithFresh(e), "");
                e.view().undo();
                EXPECT_EQ(u8(*e.document), u8(text));
            }
        }
}

TEST(GridSelections, ASelectionFromACellPastItsGridTakesTheRowsItHoldsWholeAndWhatIsTypedGoesAsText)
{
    const U16String text = u"Intro\n\n| ab | c |\n| --- | --- |\n| 1 | 2 |\n\nText\n";
    // Where the selection starts and ends (at the end of the given text; none: Ctrl+Shift+End), then
    // the file after "X".
    const std::tuple<U16View, int, std::optional<U16View>, U16View> cases[] = {
        {u"ab", 0, std::nullopt, u"Intro\n\nX"},
        {u"1\n", 0, std::nullopt, u"Intro\n\n| ab | c |\n| --- | --- |\n\nX"},
        // Started inside a row, the selection leaves that row, and typing goes into its cell.
        {u"ab", 1, std::nullopt, u"Intro\n\n| aX |  |\n| --- | --- |"},
        // Stopped at the end of the last cell, it leaves the line break after it.
        {u"ab", 0, u"2", u"Intro\n\nX\n\nText\n"},
        {u"1\n", 0, u"2", u"Intro\n\n| ab | c |\n| --- | --- |\n\nX\n\nText\n"},
        // Stopped before the text's final line end, it leaves that line end the row's own, no empty line.
        {u"1\n", 1, u"Text", u"Intro\n\n| ab | c |\n| --- | --- |\n| 1X |  |\n"},
    };
    for (const U16View eol : {U16View(u"\n"), U16View(u"\r\n")})
        for (const auto& [start, offset, end, expected] : cases) {
            SCOPED_TRACE(u8(expected) + (eol.size() > 1 ? " CRLF" : ""));
            differential::Editor e(TextOps::replacingAll(text, u"\n", eol));
            e.view().setSelectedRange({at(e, start) + offset, 0});
            if (end)
                e.view().setSelectedRange(Range::fromTo(at(e, start) + offset, at(e, *end) + int(end->size())));
            else
                QTest::keyClick(&e.view(), Qt::Key_End, Qt::ControlModifier | Qt::ShiftModifier);
            QTest::keyClicks(&e.view(), QStringLiteral("X"));
            const U16String written = TextOps::replacingAll(expected, u"\n", eol);
            EXPECT_EQ(u8(*e.document), u8(written));
            EXPECT_EQ(e.document->find(end ? u"2" : u"Text"), U16String::npos);
            EXPECT_EQ(differential::compareWithFresh(e), "");
        }
    // Return over list text up to a grid's first cell continues no list into that cell.
    for (const U16View eol : {U16View(u"\n"), U16View(u"\r\n")}) {
        const U16String item = TextOps::replacingAll(u"- item\n\n| a | b |\n| --- | --- |\n| 1 | 2 |\n", u"\n", eol);
        differential::Editor e(item);
        e.view().setSelectedRange(Range::fromTo(at(e, u"tem"), at(e, u"a\n")));
        QTest::keyClick(&e.view(), Qt::Key_Return);
        EXPECT_EQ(u8(*e.document), u8(TextOps::replacingAll(u"- i\n| a | b |\n| --- | --- |\n| 1 | 2 |\n", u"\n", eol)));
        EXPECT_EQ(differential::compareWithFresh(e), "");
    }
    // A selection inside one cell is still replaced inside it.
    differential::Editor e(text);
    e.view().setSelectedRange({at(e, u"ab"), 2});
    QTest::keyClicks(&e.view(), QStringLiteral("X"));
    EXPECT_EQ(u8(*e.document), u8(TextOps::replacingAll(text, u"ab", u"X")));
}

} // namespace
} // namespace velkin
