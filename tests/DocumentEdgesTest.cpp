// Tables on a document's first and last lines, and the carets the editor places
// by itself: typing there goes where it goes after a click at the same place, a
// table that ends the text is left and written as one in the middle, a cell's
// lines read back as written, and the view's ends show as the text opens.
#include "EditorHarness.h"
#include "RestyleDifferential.h"

#include "platform/pasteboard/Pasteboard.h"
#include "platform/text/Utf.h"

#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

namespace velkin {
namespace {

using namespace testing_editor;

const char16_t* const kTableFirst = u"| a | b |\n| --- | --- |\n| 1 | 2 |\n\nText\n";

// The document after a click at the caret position `at` of `text` and typing `typed`.
U16String typedAfterClick(U16View text, int at, const QString& typed)
{
    Editor e(text);
    e.show();
    LayoutManager& layout = *e.view().layoutManager();
    const QRectF caret = layout.caretRect(at);
    click(e.view(), e.view().viewportPoint(QPointF(caret.left(), caret.center().y())));
    EXPECT_EQ(e.view().selectedRange(), (Range{at, 0})) << "the click";
    QTest::keyClicks(&e.view(), typed);
    return *e.document;
}

// Types at the caret the editor left and expects what a click there gives, and the styling a restyle gives.
void expectTypesAsAfterClick(Editor& e, U16View text, const char* how)
{
    const int at = e.view().selectedRange().location;
    QTest::keyClicks(&e.view(), QStringLiteral("T"));
    EXPECT_EQ(u8(*e.document), u8(typedAfterClick(text, at, QStringLiteral("T")))) << how;
}

TEST(EditorCaret, EveryCaretTheEditorPlacesTypesAsOneAClickPlaces)
{
    for (const U16String text : {U16String(kTableFirst), U16String(u"| a | b |\n| --- | --- |\n| 1 | 2 |")}) {
        {
            Editor e(text);
            e.show();
            expectTypesAsAfterClick(e, text, "opened");
            EXPECT_EQ(e.document->substr(0, 10), u"| Ta | b |");
        }
        {
            Editor e(text);
            e.show();
            Pasteboard::general().clearContents();
            Pasteboard::general().setString(u"XYZ", Pasteboard::stringType);
            e.view().paste();
            EXPECT_EQ(e.document->substr(0, 12), u"| XYZa | b |") << "pasted when opened";
        }
        {
            // Reverted, or reloaded after a change from outside: the text comes anew.
            Editor e(u"Other\n");
            e.show();
            *e.document = text;
            e.host->setEditor(e.editor());
            expectTypesAsAfterClick(e, text, "reloaded");
        }
        {
            Editor e(text);
            e.show();
            QTest::keyClick(&e.view(), Qt::Key_End, Qt::ControlModifier);
            QTest::keyClick(&e.view(), Qt::Key_Home, Qt::ControlModifier);
            expectTypesAsAfterClick(e, text, "Ctrl+End, Ctrl+Home");
        }
        {
            // Typing in the cell, undone and redone.
            Editor e(text);
            e.show();
            QTest::keyClicks(&e.view(), QStringLiteral("Q"));
            QTest::keyClick(&e.view(), Qt::Key_Z, Qt::ControlModifier);
            ASSERT_EQ(*e.document, text);
            expectTypesAsAfterClick(e, text, "undone");
            QTest::keyClick(&e.view(), Qt::Key_Z, Qt::ControlModifier);
            QTest::keyClick(&e.view(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
            // Redone, the typed text is selected: typing replaces it in the cell.
            QTest::keyClicks(&e.view(), QStringLiteral("R"));
            EXPECT_EQ(e.document->substr(0, 10), u"| Ra | b |") << "redone";
        }
    }
    // A match that Find selects in the first cell is replaced in the cell.
    Editor e(kTableFirst);
    e.show();
    e.view().setFindString(u"a");
    e.view().findNextMatch(true);
    QTest::keyClicks(&e.view(), QStringLiteral("F"));
    EXPECT_EQ(e.document->substr(0, 9), u"| F | b |");
}

// ---- A table that ends the text ----

TEST(GridAtTheEnd, DownLeavesTheLastRowAndTextBelowGoesALineApart)
{
    const U16String table = u"Intro\n\n| a | b |\n| --- | --- |\n| 1 | 2 |";
    for (const U16String end : {U16String(), U16String(u"\n")}) {
        const U16String text = table + end;
        {
            differential::Editor e(text);
            e.view().show();
            e.view().setSelectedRange({int(TextOps::find(e.view().string(), u"2")) + 1, 0});
            QTest::keyClick(&e.view(), Qt::Key_Down);
            EXPECT_EQ(e.view().selectedRange(), (Range{e.storage().length(), 0}));
            QTest::keyClicks(&e.view(), QStringLiteral("Tail text"));
            EXPECT_EQ(u8(*e.document), u8(table + u"\n\nTail text"));
            EXPECT_EQ(differential::compareWithFresh(e), "");
            // Deleting it again gives the table back its end, the final line feed it had included.
            const int gridEnd = int(TextOps::find(e.view().string(), u"2\n")) + 2;
            e.view().setSelectedRange(Range::fromTo(gridEnd, e.storage().length()));
            QTest::keyClick(&e.view(), Qt::Key_Backspace);
            EXPECT_EQ(u8(*e.document), u8(text));
        }
        {
            // Shift+Down selects from the cell to the text's end; Return there, then text, keeps one blank line.
            Editor e(text);
            e.show();
            const int two = e.find(u"2");
            e.view().setSelectedRange({two, 0});
            QTest::keyClick(&e.view(), Qt::Key_Down, Qt::ShiftModifier);
            EXPECT_EQ(e.view().selectedRange(), Range::fromTo(two, e.storage().length()));
            QTest::keyClick(&e.view(), Qt::Key_Right);
            QTest::keyClick(&e.view(), Qt::Key_Return);
            QTest::keyClicks(&e.view(), QStringLiteral("Below"));
            EXPECT_EQ(u8(*e.document), u8(table + u"\n\nBelow"));
        }
    }
    // A table inserted at the end, with text typed and pasted under it.
    for (const bool pasted : {false, true}) {
        differential::Editor e(u"Intro");
        e.view().show();
        e.view().setSelectedRange({5, 0});
        e.view().mdInsertTable(0);
        e.view().setSelectedRange({e.storage().length(), 0});
        if (pasted) {
            Pasteboard::general().clearContents();
            Pasteboard::general().setString(u"Below", Pasteboard::stringType);
            e.view().paste();
        } else {
            QTest::keyClicks(&e.view(), QStringLiteral("Below"));
        }
        EXPECT_EQ(u8(*e.document), "Intro\n\n| Column 1 | Column 2 |\n| --- | --- |\n|  |  |\n\nBelow") << pasted;
        EXPECT_EQ(differential::compareWithFresh(e), "");
    }
}

TEST(GridAtTheEnd, UnderAFinalTableTheCaretIsOutsideTheGrid)
{
    Editor e(u"| a |\n| --- |\n| 1 |\n");
    e.show();
    e.view().setSelectedRange({e.storage().length(), 0});
    EXPECT_FALSE(e.view().currentGrid());
    e.view().mdInsertTable(0);
    EXPECT_EQ(u8(*e.document), "| a |\n| --- |\n| 1 |\n\n| Column 1 | Column 2 |\n| --- | --- |\n|  |  |");
    // In the last cell the grid is found as before.
    e.view().setSelectedRange({e.find(u"1"), 0});
    EXPECT_TRUE(e.view().currentGrid());
}

// ---- A cell's lines ----

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
    const U16String written = *e.document;
    EXPECT_EQ(u8(written), "| a | b |\n| --- | --- |\n| 25line1<br>line2 | x<br> y |\n\nText\n");
    // Opened again: the same cells with the same lines, written back unchanged after an edit elsewhere.
    differential::Editor again(written);
    EXPECT_EQ(again.view().string(), e.view().string());
    again.view().setSelectedRange({int(TextOps::find(again.view().string(), u"Text")), 0});
    again.view().insertText(u"More ");
    EXPECT_EQ(u8(*again.document), u8(TextOps::replacingAll(written, u"Text", u"More Text")));
    EXPECT_EQ(differential::compareWithFresh(again), "");
}

// ---- The view's ends ----

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

// ---- The gap under a grid ----

TEST(GridGap, ALineRightUnderAGridKeepsTheGapALineRightAboveItKeeps)
{
    for (const U16View under : {U16View(u"Under"), U16View(u"    :smile: here"), U16View(u"- item")}) {
        const U16String text = u"Above\n| a | b |\n| --- | --- |\n| 1 | 2 |\n" + U16String(under) + u"\n\nEnd";
        differential::Editor e(text);
        LayoutManager& layout = *e.view().layoutManager();
        const int a = int(TextOps::find(e.view().string(), u"a\n"));
        const int below = int(TextOps::find(e.view().string(), u"2\n")) + 2;
        const double gridTop = layout.lineBandRect(a).top();
        const double gridBottom = layout.lineBandRect(below - 1).bottom();
        // From the text's own box, as the eye measures.
        const double aboveGap = gridTop - layout.caretRect(0).bottom();
        const double underGap = layout.caretRect(below).top() - gridBottom;
        EXPECT_GT(underGap, 2) << u8(under);
        EXPECT_NEAR(underGap, aboveGap, 0.5) << u8(under);
        // Made and unmade by edits, the gap is what a whole restyle gives.
        const int blank = int(TextOps::find(e.view().string(), u"\n\nEnd")) + 1;
        e.view().setSelectedRange({blank, 1});
        e.view().insertText(u"");
        EXPECT_EQ(differential::compareWithFresh(e), "") << u8(under);
        e.view().setSelectedRange({below, 0});
        e.view().insertText(u"\n");
        EXPECT_EQ(differential::compareWithFresh(e), "") << u8(under);
        e.view().undo();
        EXPECT_EQ(differential::compareWithFresh(e), "") << u8(under);
    }
}

} // namespace
} // namespace velkin
