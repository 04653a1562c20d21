// Edits next to a grid, in LF and CRLF documents: what a command puts under a grid goes a
// blank line below its last row, and the keys that delete line breaks take the blank line
// under a grid without ever changing a cell or bringing text up against the grid.
#include "EditorHarness.h"
#include "RestyleDifferential.h"

#include "platform/text/Utf.h"

#include <QTest>

#include <gtest/gtest.h>

#include <tuple>

namespace velkin {
namespace {

// "Intro", then a table whose last row is `last`, then `tail`; every "\n" written as `eol`.
U16String document(U16View last, U16View tail, U16View eol)
{
    return TextOps::replacingAll(u"Intro\n\n| a | b |\n| --- | --- |\n" + U16String(last) + U16String(tail), u"\n", eol);
}

// Where the one grid of the editor's text ends: past its last cell's line feed.
int gridEnd(const MarkdownTextView& view)
{
    int end = view.textStorage()->length();
    while (end > 0 && !view.tableBlock(end - 1))
        --end;
    return end;
}

TEST(GridEdgeEdits, WhatACommandOrTypingPutsInAGridOrUnderItGoesABlankLineBelowTheLastRow)
{
    // From a cell only a picture or a rule goes out of the grid; no action types a letter.
    const std::pair<const char*, bool> edits[] = {{"mdImage", true},  {"mdInsertHorizontalRule", true},
                                                  {"mdImage", false}, {"mdInsertHorizontalRule", false},
                                                  {"mdLink", false},  {"mdApplyHeading", false}, {"", false}};
    for (const U16View eol : {U16View(u"\n"), U16View(u"\r\n")})
        for (const U16View last : {U16View(u"| 1 | 2 |"), U16View(u"| 1 |  |")})
            for (const U16View tail : {U16View(u"\n\nText\n"), U16View(u"\n"), U16View(), U16View(u"\nUnder\n")})
                for (const auto& [action, fromCell] : edits) {
                    if (!fromCell && tail == u"\nUnder\n")  // a line right under the grid is the caret's own
                        continue;
                    const U16String text = document(last, tail, eol);
                    differential::Editor e(text);
                    e.view().setSelectedRange({gridEnd(e.view()) - (fromCell ? 2 : 0), 0});
                    if (*action)
                        QMetaObject::invokeMethod(&e.view(), action, Q_ARG(int, 2));
                    else
                        QTest::keyClicks(&e.view(), QStringLiteral("T"));
                    ASSERT_NE(*e.document, text) << action;
                    const U16String head = document(last, u"\n\n", eol);
                    EXPECT_EQ(u8(e.document->substr(0, head.size())), u8(head)) << action << fromCell << u8(text);
                    EXPECT_EQ(TextOps::replacingAll(*e.document, eol, u"").find_first_of(u"\r\n"), U16String::npos);
                    EXPECT_EQ(differential::compareWithFresh(e), "") << action << u8(text);
                }
}

TEST(GridEdgeEdits, BackspaceAndDeleteTakeABlankLineUnderAGridButNoCellsTextNorTheLineThatKeepsTextApart)
{
    // The caret at the start of the given line under the grid (-1: at the end of its last cell); the tail left.
    const U16View two = u"\n\n\nText\n", one = u"\n\nText\n";
    const std::tuple<U16View, int, Qt::Key, U16View> cases[] = {
        {two, 0, Qt::Key_Backspace, one}, {two, -1, Qt::Key_Delete, one}, {two, 1, Qt::Key_Backspace, one},
        {u"\n\n", 0, Qt::Key_Backspace, u""}, {one, 0, Qt::Key_Backspace, one}, {one, 1, Qt::Key_Backspace, one},
        {one, -1, Qt::Key_Delete, one}, {u"\n", 0, Qt::Key_Backspace, u"\n"}};
    for (const U16View eol : {U16View(u"\n"), U16View(u"\r\n")})
        for (const auto& [tail, line, key, left] : cases) {
            const U16String text = document(u"| 1 | 2 |", tail, eol);
            differential::Editor e(text);
            const int end = gridEnd(e.view());
            int at = line < 0 ? end - 1 : end;
            for (int k = 0; k < line; ++k)
                at = int(e.view().string().find(u'\n', size_t(at))) + 1;
            e.view().setSelectedRange({at, 0});
            QTest::keyClick(&e.view(), key);
            EXPECT_EQ(u8(*e.document), u8(document(u"| 1 | 2 |", left, eol))) << u8(text) << " at line " << line;
            if (line == 0 && key == Qt::Key_Backspace)  // the caret goes to the end of the row above
                EXPECT_EQ(e.view().selectedRange(), (Range{end - 1, 0})) << u8(text);
            EXPECT_EQ(differential::compareWithFresh(e), "") << u8(text);
            e.view().undo();
            EXPECT_EQ(u8(*e.document), u8(text));
        }
    // Two lines of one cell join as any two lines do.
    differential::Editor e(u"| a | b |\n| --- | --- |\n| x<br>z | y |\n");
    e.view().setSelectedRange({int(e.view().string().find(u'z')), 0});
    QTest::keyClick(&e.view(), Qt::Key_Backspace);
    EXPECT_EQ(u8(*e.document), "| a | b |\n| --- | --- |\n| xz | y |\n");
}

} // namespace
} // namespace velkin
