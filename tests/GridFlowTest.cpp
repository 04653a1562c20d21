// Grids in the flow of the text: the caret moves through them by visual line,
// selections that cross a grid's edge are edited cell by cell, and the line
// right under a grid keeps its meaning.
#include "EditorHarness.h"

#include "platform/text/Utf.h"

#include <QTest>

#include <gtest/gtest.h>

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

TEST(GridFlow, DownWalksFromTheProseThroughEveryRowAndOut)
{
    Editor e(kTwoTables);
    e.caretAt(u"Prose above", 1);
    press(e, Qt::Key_Down, Qt::NoModifier, 2);
    EXPECT_TRUE(caretIn(e, u"Fruit"));
    press(e, Qt::Key_Down);
    EXPECT_TRUE(caretIn(e, u"apple"));
    press(e, Qt::Key_Down);
    EXPECT_TRUE(caretIn(e, u"pear"));
    press(e, Qt::Key_Down, Qt::NoModifier, 2);
    EXPECT_TRUE(caretIn(e, u"Middle"));
    press(e, Qt::Key_Down, Qt::NoModifier, 3);
    EXPECT_TRUE(caretIn(e, u"1\n"));
    press(e, Qt::Key_Down, Qt::NoModifier, 2);
    EXPECT_TRUE(caretIn(e, u"Prose below"));
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

TEST(GridFlow, UpFromTheLastProseClimbsThroughBothTables)
{
    Editor e(kTwoTables);
    e.caretAt(u"Prose below", 0);
    press(e, Qt::Key_Up, Qt::NoModifier, 2);
    EXPECT_TRUE(caretIn(e, u"1\n"));
    press(e, Qt::Key_Up);
    EXPECT_TRUE(caretIn(e, u"A\n"));
    press(e, Qt::Key_Up, Qt::NoModifier, 2);
    EXPECT_TRUE(caretIn(e, u"Middle"));
    press(e, Qt::Key_Up, Qt::NoModifier, 2);
    EXPECT_TRUE(caretIn(e, u"pear"));
    press(e, Qt::Key_Up, Qt::NoModifier, 5);
    EXPECT_EQ(e.view().selectedRange().location, 0);
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

} // namespace
} // namespace velkin
