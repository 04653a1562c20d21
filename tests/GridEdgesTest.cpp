// Edits under a grid, LF and CRLF: what goes there stays a blank line apart; no cell changes.
#include "EditorHarness.h"
#include "RestyleDifferential.h"

#include "platform/text/Utf.h"

#include <QTest>

#include <gtest/gtest.h>

#include <functional>
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
                    SCOPED_TRACE(std::string(action) + (fromCell ? " from the cell: " : ": ") + u8(text));
                    ASSERT_NE(*e.document, text);
                    const U16String head = document(last, u"\n\n", eol);
                    EXPECT_EQ(u8(e.document->substr(0, head.size())), u8(head));
                    EXPECT_EQ(TextOps::replacingAll(*e.document, eol, u"").find_first_of(u"\r\n"), U16String::npos);
                    EXPECT_EQ(differential::compareWithFresh(e), "");
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
            SCOPED_TRACE(u8(text) + " at line " + std::to_string(line));
            differential::Editor e(text);
            const int end = gridEnd(e.view());
            int at = line < 0 ? end - 1 : end;
            for (int k = 0; k < line; ++k)
                at = int(e.view().string().find(u'\n', size_t(at))) + 1;
            e.view().setSelectedRange({at, 0});
            QTest::keyClick(&e.view(), key);
            EXPECT_EQ(u8(*e.document), u8(document(u"| 1 | 2 |", left, eol)));
            if (line == 0 && key == Qt::Key_Backspace) {  // the caret goes to the end of the row above
                EXPECT_EQ(e.view().selectedRange(), (Range{end - 1, 0}));
            }
            EXPECT_EQ(differential::compareWithFresh(e), "");
            e.view().undo();
            EXPECT_EQ(u8(*e.document), u8(text));
        }
    // Two lines of one cell join as any two lines do.
    differential::Editor e(u"| a | b |\n| --- | --- |\n| x<br>z | y |\n");
    e.view().setSelectedRange({int(e.view().string().find(u'z')), 0});
    QTest::keyClick(&e.view(), Qt::Key_Backspace);
    EXPECT_EQ(u8(*e.document), "| a | b |\n| --- | --- |\n| xz | y |\n");
}

TEST(GridCellReturn, AReturnAtARowsEndIsWrittenAsALineBreakOfTheCellAfterEveryKey)
{
    // A letter typed at the end of the cell holding `at` and two Returns, or one Return alone; then a letter
    // before their line breaks.
    const U16String head = u"| a | b |\n| --- | --- |\n";
    const std::pair<U16String, U16View> cases[] = {
        {head + u"| c | x |\n", u"x"},           {head + u"| c | x |", u"x"},
        {head + u"| c | x |\n\nText\n", u"x"},    {head + u"| c | x |\n| d | e |\n", u"x"},
        {head + u"| c |  |\n", u"c"},            {u"| a |\n| --- |\n| x |\n| d |\n", u"x"}};
    for (const auto& [document, at] : cases)
        for (const bool crlf : {false, true})
            for (const U16View typed : {U16View(u"y"), U16View()}) {
                const U16String text = crlf ? TextOps::replacingAll(document, u"\n", u"\r\n") : document;
                SCOPED_TRACE(u8(text) + " typing " + u8(typed));
                const size_t cellEnd = text.find(at) + 1;
                auto written = [&](U16View inserted) { return u8(U16String(text).insert(cellEnd, inserted)); };
                differential::Editor e(text);
                const int caret = int(e.view().string().find(at)) + 1;
                e.view().setSelectedRange({caret, 0});
                QTest::keyClicks(&e.view(), QString::fromStdU16String(U16String(typed)));
                U16String breaks;
                for (int k = 0; k < (typed.empty() ? 1 : 2); ++k) {
                    QTest::keyClick(&e.view(), Qt::Key_Return);
                    breaks += u"<br>";
                    EXPECT_EQ(u8(*e.document), written(U16String(typed) + breaks));
                }
                e.view().setSelectedRange({caret + int(typed.size()), 0});
                QTest::keyClicks(&e.view(), QStringLiteral("z"));
                EXPECT_EQ(u8(*e.document), written(U16String(typed) + u"z" + breaks));
                EXPECT_EQ(differential::compareWithFresh(e), "");
                for (int k = 0; k < 4; ++k)
                    e.view().undo();
                EXPECT_EQ(u8(*e.document), u8(text));
            }
}

TEST(GridEdgeEdits, ATableInAListItemStaysInItThroughTypingBackspaceUnderItARowCommandAndUndo)
{
    for (const U16View eol : {U16View(u"\n"), U16View(u"\r\n")})
        for (const auto& [marker, next, leader] :
             {std::tuple<U16View, U16View, U16View>{u"- ", u"- ", u"  "}, {u"1. ", u"2. ", u"   "}}) {
            auto doc = [&](U16View cell, U16View delimiter, U16View extraRow) {
                const U16String l(leader);
                return TextOps::replacingAll(U16String(marker) + u"item\n\n" + l + u"| a | b |\n" + l + U16String(delimiter)
                                                 + u"\n" + l + u"| " + U16String(cell) + u" | 2 |\n" + U16String(extraRow)
                                                 + u"\n" + U16String(next) + u"next\n",
                                             u"\n", eol);
            };
            const U16String text = doc(u"x", u"|---|---|", u"");
            SCOPED_TRACE(u8(text));
            differential::Editor e(text);
            const int x = int(e.view().string().find(u'x'));
            e.view().setSelectedRange({x + 1, 0});
            QTest::keyClicks(&e.view(), QStringLiteral("yz"));
            EXPECT_EQ(u8(*e.document), u8(doc(u"xyz", u"| --- | --- |", u"")));
            EXPECT_EQ(differential::compareWithFresh(e), "");
            // Backspace on the blank line under the grid keeps it, and the rows with it.
            e.view().setSelectedRange({gridEnd(e.view()), 0});
            QTest::keyClick(&e.view(), Qt::Key_Backspace);
            EXPECT_EQ(u8(*e.document), u8(doc(u"xyz", u"| --- | --- |", u"")));
            e.view().setSelectedRange({x + 1, 0});
            e.view().mdTableInsertRowBelow(nullptr);
            EXPECT_EQ(u8(*e.document), u8(doc(u"xyz", u"| --- | --- |", U16String(leader) + u"|  |  |\n")));
            EXPECT_EQ(differential::compareWithFresh(e), "");
            e.view().undo();
            e.view().undo();
            EXPECT_EQ(u8(*e.document), u8(text));
        }
}

TEST(GridEdgeEdits, ALineOfSpacesOrTabsUnderAGridKeepsTextApartAsABlankLineDoes)
{
    for (const U16View eol : {U16View(u"\n"), U16View(u"\r\n")})
        for (const U16View blanks : {U16View(u"   "), U16View(u"\t"), U16View(u" \t ")}) {
            const U16String spaces(blanks);
            const auto typing = [&](U16View tail, int column, const char* keys, U16View left) {
                const U16String text = document(u"| 1 | 2 |", tail, eol);
                SCOPED_TRACE(u8(text) + " typing " + keys + " at column " + std::to_string(column));
                differential::Editor e(text);
                e.view().setSelectedRange({gridEnd(e.view()) + column, 0});
                QTest::keyClicks(&e.view(), QString::fromUtf8(keys));
                EXPECT_EQ(u8(*e.document), u8(document(u"| 1 | 2 |", left, eol)));
                EXPECT_EQ(differential::compareWithFresh(e), "");
            };
            const int width = int(spaces.size());
            // The line ends the text: at its end or its start, what is typed goes a line below it.
            typing(u"\n" + spaces, width, "Below", u"\n" + spaces + u"\nBelow");
            typing(u"\n" + spaces, 0, "Below", u"\n\nBelow" + spaces);
            // Followed by an empty last line, or by text a blank line below.
            typing(u"\n" + spaces + u"\n", 0, "X", u"\n\nX" + spaces + u"\n");
            typing(u"\n" + spaces + u"\n", 1, "X", u"\n" + spaces.substr(0, 1) + u"\nX" + spaces.substr(1) + u"\n");
            typing(u"\n" + spaces + u"\n\nText\n", width, "X", u"\n" + spaces + u"\nX\n\nText\n");
            // More spaces keep the line blank; Return makes another blank line.
            typing(u"\n" + spaces + u"\n", width, " ", u"\n" + spaces + u" \n");
            // Backspace at the start of a line right under it steps over the line break instead of taking it.
            const U16String text = document(u"| 1 | 2 |", u"\n" + spaces + u"\nText\n", eol);
            differential::Editor e(text);
            const int at = int(e.view().string().find(u"Text"));
            e.view().setSelectedRange({at, 0});
            QTest::keyClick(&e.view(), Qt::Key_Backspace);
            EXPECT_EQ(u8(*e.document), u8(text));
            EXPECT_LT(e.view().selectedRange().location, at);
        }
}

TEST(GridEdgeEdits, TextPutUnderATableInAListItemFromItsIndentedBlankLineStaysInTheItem)
{
    for (const U16View eol : {U16View(u"\n"), U16View(u"\r\n")}) {
        // "- item", a table indented two spaces, the line `blank`, then "- next".
        const auto doc = [&](U16View blank) {
            return TextOps::replacingAll(u"- item\n\n  | a | b |\n  | --- | --- |\n  | 1 | 2 |\n" + U16String(blank)
                                             + u"\n- next\n",
                                         u"\n", eol);
        };
        const auto put = [&](U16View blank, int column, const std::function<void(MarkdownTextView&)>& edit,
                             U16View left) {
            const U16String text = doc(blank);
            SCOPED_TRACE(u8(text) + " at column " + std::to_string(column));
            differential::Editor e(text);
            e.view().setSelectedRange({gridEnd(e.view()) + column, 0});
            edit(e.view());
            EXPECT_EQ(u8(*e.document), u8(doc(left)));
            EXPECT_EQ(differential::compareWithFresh(e), "");
        };
        const auto typeX = [](MarkdownTextView& v) { QTest::keyClicks(&v, QStringLiteral("X")); };
        // At the rows' indent the text keeps it; short of it, as far as the caret stood; past it, no deeper.
        put(u"  ", 2, typeX, u"  \n  X");
        put(u"  ", 1, typeX, u" \n X ");
        put(u"  ", 0, typeX, u"\nX  ");
        put(u"      ", 6, typeX, u"      \n  X");
        // Blanks are measured in columns, a tab reaching the next multiple of four.
        put(u"\t", 1, typeX, u"\t\n  X");
        put(u" \t", 2, typeX, u" \t\n  X");
        // A command's line goes there alike.
        put(u"  ", 2, [](MarkdownTextView& v) { v.mdLink(nullptr); }, u"  \n\n  [text](url)");
        // Under an ordered item's table, three columns in.
        for (const U16View blank : {U16View(u"\t"), U16View(u" \t")}) {
            const auto ordered = [&](U16View under) {
                return TextOps::replacingAll(u"1. item\n\n   | a |\n   | --- |\n   | 1 |\n" + U16String(blank) + U16String(under)
                                                 + u"\n2. next\n", u"\n", eol);
            };
            differential::Editor e(ordered(u""));
            e.view().setSelectedRange({gridEnd(e.view()) + int(blank.size()), 0});
            typeX(e.view());
            EXPECT_EQ(u8(*e.document), u8(ordered(u"\n   X")));
        }
    }
}

} // namespace
} // namespace velkin
