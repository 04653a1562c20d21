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
    auto key = [](Editor& e, Qt::Key k, Qt::KeyboardModifiers mods = Qt::ControlModifier) { QTest::keyClick(&e.view(), k, mods); };
    for (const U16String& text : {U16String(kTableFirst), U16String(u"| a | b |\n| --- | --- |\n| 1 | 2 |")}) {
        Editor opened(text);
        opened.show();
        expectTypesAsAfterClick(opened, text, "opened");
        EXPECT_EQ(opened.document->substr(0, 10), u"| Ta | b |");
        // Reverted, or reloaded after a change from outside: the text comes anew.
        Editor reloaded(u"Other\n");
        reloaded.show();
        *reloaded.document = text;
        reloaded.host->setEditor(reloaded.editor());
        expectTypesAsAfterClick(reloaded, text, "reloaded");
        Editor home(text);
        home.show();
        key(home, Qt::Key_End);
        key(home, Qt::Key_Home);
        expectTypesAsAfterClick(home, text, "Ctrl+End, Ctrl+Home");
        Editor undone(text);
        undone.show();
        QTest::keyClicks(&undone.view(), QStringLiteral("Q"));
        key(undone, Qt::Key_Z);
        ASSERT_EQ(*undone.document, text);
        expectTypesAsAfterClick(undone, text, "undone");
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

// ---- A table that ends the text ----

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
        // Taken away again, the table ends the text as it did.
        e.view().setSelectedRange(Range::fromTo(two + 2, e.storage().length()));
        QTest::keyClick(&e.view(), Qt::Key_Backspace);
        EXPECT_EQ(u8(*e.document), u8(text));
        // Return there, then text, keeps one blank line; a table inserted there goes under it.
        e.view().setSelectedRange({e.storage().length(), 0});
        QTest::keyClick(&e.view(), Qt::Key_Return);
        QTest::keyClicks(&e.view(), QStringLiteral("Below"));
        EXPECT_EQ(u8(*e.document), u8(table + u"\n\nBelow"));
    }
    // Under a table inserted at the end, text typed or pasted.
    for (const bool pasted : {false, true}) {
        differential::Editor e(u"Intro");
        e.view().show();
        e.view().setSelectedRange({5, 0});
        e.view().mdInsertTable(0);
        e.view().setSelectedRange({e.storage().length(), 0});
        e.view().mdInsertTable(0);  // the caret is under the grid, not in it
        e.view().setSelectedRange({e.storage().length(), 0});
        Pasteboard::general().clearContents();
        Pasteboard::general().setString(u"Below", Pasteboard::stringType);
        if (pasted)
            e.view().paste();
        else
            QTest::keyClicks(&e.view(), QStringLiteral("Below"));
        const U16String grid = u"| Column 1 | Column 2 |\n| --- | --- |\n|  |  |";
        EXPECT_EQ(u8(*e.document), u8(u"Intro\n\n" + grid + u"\n\n" + grid + u"\n\nBelow")) << pasted;
        EXPECT_EQ(differential::compareWithFresh(e), "");
    }
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
    EXPECT_EQ(u8(*e.document), "| a | b |\n| --- | --- |\n| 25line1<br>line2 | x<br> y |\n\nText\n");
    // Opened again: the same cells with the same lines.
    differential::Editor again(*e.document);
    EXPECT_EQ(u8(again.view().string()), u8(e.view().string()));
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
