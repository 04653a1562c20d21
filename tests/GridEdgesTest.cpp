// Edits next to a grid, in LF and CRLF documents: what a command puts under a grid goes a
// blank line below its last row, and the keys that delete line breaks take the blank line
// under a grid without ever changing a cell or bringing text up against the grid.
#include "EditorHarness.h"
#include "RestyleDifferential.h"

#include "platform/text/Utf.h"

#include <QTest>

#include <functional>
#include <tuple>

#include <gtest/gtest.h>

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

// Whether every line break of the text is `eol`.
bool endsLinesWith(const U16String& text, U16View eol)
{
    return TextOps::replacingAll(text, eol, u"").find_first_of(u"\r\n") == U16String::npos;
}

TEST(GridEdgeEdits, WhatACommandOrAKeyPutsInAGridOrUnderItGoesABlankLineBelowTheLastRow)
{
    using View = MarkdownTextView;
    const std::vector<std::tuple<const char*, bool, std::function<void(View&)>>> edits{
        {"image", true, [](View& v) { v.mdImage(0); }},   {"rule", true, [](View& v) { v.mdInsertHorizontalRule(0); }},
        {"image", false, [](View& v) { v.mdImage(0); }},  {"rule", false, [](View& v) { v.mdInsertHorizontalRule(0); }},
        {"link", false, [](View& v) { v.mdLink(0); }},    {"bold", false, [](View& v) { v.mdBold(0); }},
        {"heading", false, [](View& v) { v.mdApplyHeading(2); }},
        {"typed", false, [](View& v) { QTest::keyClicks(&v, QStringLiteral("T")); }}};
    for (const U16View eol : {U16View(u"\n"), U16View(u"\r\n")})
        for (const U16View last : {U16View(u"| 1 | 2 |"), U16View(u"| 1 |  |")})
            for (const U16View tail : {U16View(u"\n\nText\n"), U16View(u"\n"), U16View(), U16View(u"\nUnder\n")})
                for (const auto& [name, fromCell, edit] : edits) {
                    // A line right under a grid is the caret's own line; from a cell a block goes below the grid.
                    if (!fromCell && tail == u"\nUnder\n")
                        continue;
                    const U16String text = document(last, tail, eol);
                    differential::Editor e(text);
                    e.view().setSelectedRange({gridEnd(e.view()) - (fromCell ? 2 : 0), 0});
                    edit(e.view());
                    const U16String head = document(last, u"\n\n", eol);
                    EXPECT_EQ(u8(e.document->substr(0, head.size())), u8(head)) << name << fromCell << " in " << u8(text);
                    EXPECT_TRUE(endsLinesWith(*e.document, eol)) << u8(*e.document);
                    EXPECT_EQ(differential::compareWithFresh(e), "") << name << " in " << u8(text);
                }
}

TEST(GridEdgeEdits, BackspaceAndDeleteTakeABlankLineUnderAGridButNoCellsTextNorTheLineThatKeepsTextApart)
{
    struct Case {
        U16View tail;
        int line;  // the caret at the start of this line under the grid, or (-1) at the end of the last cell
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        U16View left;  // the tail afterwards
    };
    const U16View two = u"\n\n\nText\n", one = u"\n\nText\n";
    const Case cases[] = {
        {two, 0, Qt::Key_Backspace, {}, one},   {two, 0, Qt::Key_Backspace, Qt::ControlModifier, one},
        {two, 1, Qt::Key_Backspace, {}, one},   {two, -1, Qt::Key_Delete, {}, one},
        {two, 0, Qt::Key_Delete, {}, one},      {u"\n\n", 0, Qt::Key_Backspace, {}, u""},
        {u"\n\n", 1, Qt::Key_Backspace, {}, u""}, {one, 0, Qt::Key_Backspace, {}, one},
        {one, 0, Qt::Key_Backspace, Qt::ControlModifier, one}, {one, 1, Qt::Key_Backspace, {}, one},
        {one, -1, Qt::Key_Delete, {}, one},     {one, 0, Qt::Key_Delete, Qt::ControlModifier, one},
        {u"\n", 0, Qt::Key_Backspace, {}, u"\n"}};
    for (const U16View eol : {U16View(u"\n"), U16View(u"\r\n")})
        for (const Case& c : cases) {
            const U16String text = document(u"| 1 | 2 |", c.tail, eol);
            differential::Editor e(text);
            const int end = gridEnd(e.view());
            int at = c.line < 0 ? end - 1 : end;
            for (int k = 0; k < c.line; ++k)
                at = int(e.view().string().find(u'\n', size_t(at))) + 1;
            e.view().setSelectedRange({at, 0});
            QTest::keyClick(&e.view(), c.key, c.modifiers);
            EXPECT_EQ(u8(*e.document), u8(document(u"| 1 | 2 |", c.left, eol))) << u8(text) << " at line " << c.line;
            if (c.line == 0 && c.key == Qt::Key_Backspace)  // the caret goes to the end of the row above
                EXPECT_EQ(e.view().selectedRange(), (Range{end - 1, 0})) << u8(text);
            EXPECT_EQ(differential::compareWithFresh(e), "") << u8(text);
            e.view().undo();
            EXPECT_EQ(u8(*e.document), u8(text));
        }
    // Two lines of one cell join as any two lines do.
    for (const Qt::Key key : {Qt::Key_Backspace, Qt::Key_Delete}) {
        differential::Editor e(u"| a | b |\n| --- | --- |\n| x<br>z | y |\n\nText\n");
        e.view().setSelectedRange({int(e.view().string().find(u"z")) - (key == Qt::Key_Delete), 0});
        QTest::keyClick(&e.view(), key);
        EXPECT_EQ(u8(*e.document), "| a | b |\n| --- | --- |\n| xz | y |\n\nText\n");
        EXPECT_EQ(differential::compareWithFresh(e), "");
    }
}

} // namespace
} // namespace velkin
