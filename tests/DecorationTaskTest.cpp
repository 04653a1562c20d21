// Task items from the line test to the drawn checkbox.
#include "markdown/MarkdownStyler.h"
#include "markdown/TableGrid.h"
#include "markdown/TaskList.h"

#include "platform/text/Utf.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

using namespace velkin;

namespace {

TextStorage styled(U16View markdown, double base = 14)
{
    TextStorage s{U16String(markdown)};
    MarkdownStyler{base, MarkdownFontFamily::sansSerif}.apply(s);
    return s;
}

struct Found {
    Range line, enclosing;
    TaskList::Item item;
};

std::vector<Found> tasks(const AttributedString& text)
{
    std::vector<Found> out;
    TaskList::enumerateTaskLines(text, [&](Range line, Range enclosing, const TaskList::Item& item) {
        out.push_back({line, enclosing, item});
    });
    return out;
}

void collapseAll(TextStorage& s, double size)
{
    for (const Found& f : tasks(s))
        TaskList::collapse(s, f.item.hiddenLeader, f.item.box, f.item.checked, size);
}

bool hidden(const AttributedString& s, int index)
{
    const Font* font = s.font(index);
    const Color* colour = s.attributes(index).color(AttributeKey::ForegroundColor);
    return font && font->pointSize == 0.1 && colour && *colour == Color::clear();
}

} // namespace

TEST(TaskWalker, ReportsDocumentRangesInOrderOutsideCode)
{
    const U16String text = u"- [ ] a\ntext\n  * [X] b\n```\n- [ ] fenced\n```\npara\n\n    - [ ] indented code\n1. [x] c";
    const std::vector<Found> found = tasks(AttributedString(text));
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].line, (Range{0, 7}));
    EXPECT_EQ(found[0].enclosing, (Range{0, 8}));
    EXPECT_EQ(substring(text, found[0].item.box), u"[ ]");
    EXPECT_EQ(substring(text, found[0].item.hiddenLeader), u"- ");
    EXPECT_FALSE(found[0].item.checked);
    EXPECT_EQ(substring(text, found[1].item.hiddenLeader), u"* ");  // the indentation stays visible
    EXPECT_TRUE(found[1].item.checked);
    EXPECT_EQ(substring(text, found[2].item.box), u"[x]");
    EXPECT_EQ(found[2].item.hiddenLeader.length, 0);
    EXPECT_EQ(found[2].item.hiddenLeader.location, int(text.rfind(u"1.")));
    EXPECT_EQ(found[2].enclosing.end(), int(text.size()));  // the last line has no terminator
}

TEST(TaskWalker, BoxAtTheEndOfALineAndCRLFLines)
{
    const U16String text = u"- [ ]\r\n- [x]b\r\n+ [x]\tc";
    const std::vector<Found> found = tasks(AttributedString(text));
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].line, (Range{0, 5}));
    EXPECT_EQ(found[0].enclosing, (Range{0, 7}));
    EXPECT_TRUE(found[1].item.checked);
    EXPECT_EQ(substring(text, found[1].item.box), u"[x]");
}

TEST(TaskCollapse, HidesLeaderAndBoxAndMarksTheBox)
{
    const U16String text = u"intro\n\n- [x] done\n\nout";
    TextStorage s = styled(text);
    collapseAll(s, 13);
    EXPECT_EQ(s.string(), text);
    const int box = int(text.find(u"[x]"));
    const auto mark = s.marker<TaskMark>(AttributeKey::TaskCheckbox, box);
    ASSERT_TRUE(mark);
    EXPECT_TRUE(mark->checked);
    EXPECT_EQ(mark->size, 13);
    // The mark covers exactly the box.
    Range run;
    s.attribute(AttributeKey::TaskCheckbox, box, &run, Range{0, s.length()});
    EXPECT_EQ(run, (Range{box, 3}));
    EXPECT_TRUE(hidden(s, box - 2));  // the bullet
    EXPECT_TRUE(hidden(s, box + 2));
    EXPECT_FALSE(hidden(s, box + 4));  // the item's text stays
    EXPECT_EQ(s.attributes(box + 2).number(AttributeKey::Kern), 13.0);
    EXPECT_FALSE(s.attributes(box + 1).number(AttributeKey::Kern));
    const ParagraphStyle* style = s.paragraphStyle(box);
    ASSERT_TRUE(style);
    EXPECT_GE(style->minimumLineHeight, 15);
    EXPECT_FALSE(s.attribute(AttributeKey::TaskCheckbox, 0));
}

TEST(TaskCollapse, OrderedItemsKeepTheirNumber)
{
    TextStorage s = styled(u"1. [ ] one\n2. [x] two");
    collapseAll(s, 13);
    EXPECT_FALSE(hidden(s, 0));
    EXPECT_FALSE(hidden(s, 1));
    EXPECT_TRUE(hidden(s, 3));
    const auto first = s.marker<TaskMark>(AttributeKey::TaskCheckbox, 3);
    const auto second = s.marker<TaskMark>(AttributeKey::TaskCheckbox, 14);
    ASSERT_TRUE(first && second);
    EXPECT_FALSE(first->checked);
    EXPECT_TRUE(second->checked);
    EXPECT_NE(first, second);
}

TEST(TaskCollapse, RangesOutsideTheStorageChangeNothing)
{
    TextStorage s = styled(u"- [ ] a");
    const TextStorage before = s;
    TaskList::collapse(s, {0, 2}, {5, 3}, false, 13);
    TaskList::collapse(s, {0, 9}, {2, 3}, false, 13);
    TaskList::collapse(s, {0, 2}, {-1, 3}, false, 13);
    TaskList::collapse(s, {0, 2}, {2, 0}, false, 13);
    EXPECT_TRUE(s == before);
    TextStorage empty;
    TaskList::collapse(empty, {0, 0}, {0, 3}, true, 13);
    EXPECT_EQ(empty.length(), 0);
}

TEST(TaskCollapse, WithoutAParagraphStyleTheLineIsLeftAsItIs)
{
    TextStorage s(U16String(u"- [x] a"));
    TaskList::collapse(s, {0, 2}, {2, 3}, true, 13);
    EXPECT_TRUE(s.marker<TaskMark>(AttributeKey::TaskCheckbox, 2));
    EXPECT_FALSE(s.paragraphStyle(0));
}

TEST(TaskCollapse, InsideAGridCellTheCellKeepsItsTable)
{
    const U16String md = u"| A |\n| --- |\n| - [x] done |";
    TextStorage s = TableGrid::render(md, 13);
    collapseAll(s, 13);
    EXPECT_EQ(TableGrid::serialize(s), md);
    const int box = int(s.string().find(u"[x]"));
    ASSERT_GE(box, 0);
    ASSERT_TRUE(s.paragraphStyle(box));
    EXPECT_TRUE(s.paragraphStyle(box)->tableBlock());
}

TEST(TaskCaret, TheLineUnderTheCaretOrSelectionShowsItsSource)
{
    const Range line{8, 10}, enclosing{8, 11};
    EXPECT_TRUE(TaskList::showsSource(line, enclosing, {8, 0}));
    EXPECT_TRUE(TaskList::showsSource(line, enclosing, {18, 0}));  // just after the last character
    EXPECT_FALSE(TaskList::showsSource(line, enclosing, {19, 0}));
    EXPECT_FALSE(TaskList::showsSource(line, enclosing, {7, 0}));
    EXPECT_TRUE(TaskList::showsSource(line, enclosing, {18, 1}));  // only the line feed selected
    EXPECT_TRUE(TaskList::showsSource(line, enclosing, {0, 9}));
    EXPECT_FALSE(TaskList::showsSource(line, enclosing, {0, 8}));
    EXPECT_FALSE(TaskList::showsSource(line, enclosing, {19, 4}));
}

TEST(TaskCheckbox, SizesFollowTheBaseSize)
{
    EXPECT_EQ(TaskList::checkboxSize(14), 13);
    EXPECT_EQ(TaskList::checkboxSize(10), 11);
    EXPECT_EQ(TaskList::checkboxSize(20), 19);
}

TEST(TaskCheckbox, CheckedBoxIsAccentFilledWithAWhiteTick)
{
    QImage image(40, 40, QImage::Format_ARGB32);
    image.fill(Qt::white);
    {
        QPainter p(&image);
        TaskList::drawCheckbox(p, QRectF(0, 0, 40, 40), true);
    }
    EXPECT_EQ(image.pixel(20, 6), Color::controlAccent().toQColor().rgb());  // above the tick
    // The tick's middle point, its lowest.
    const QRgb tick = image.pixel(int(0.42 * 40), int(0.70 * 40));
    EXPECT_GT(qRed(tick), 200);
    EXPECT_GT(qBlue(tick), 200);
    EXPECT_TRUE(image.pixel(0, 0) == qRgb(255, 255, 255));  // rounded corner
}

TEST(TaskCheckbox, OpenBoxIsOutlinedAndNearlyClear)
{
    QImage image(40, 40, QImage::Format_ARGB32);
    image.fill(Qt::white);
    {
        QPainter p(&image);
        TaskList::drawCheckbox(p, QRectF(0, 0, 40, 40), false);
    }
    const QRgb inside = image.pixel(20, 20);
    EXPECT_GT(qRed(inside), 240);
    EXPECT_LT(qRed(inside), 255);  // a 4 % tint of the text colour
    const QRgb edge = image.pixel(20, 1);
    EXPECT_LT(qRed(edge), 230);
    EXPECT_EQ(qRed(edge), qBlue(edge));  // grey
}

TEST(TaskCheckbox, TinyRectanglesDrawNothing)
{
    QImage image(10, 10, QImage::Format_ARGB32);
    image.fill(Qt::white);
    {
        QPainter p(&image);
        TaskList::drawCheckbox(p, QRectF(2, 2, 1, 1), true);
        TaskList::drawCheckbox(p, QRectF(2, 2, 1, 8), false);
    }
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            ASSERT_EQ(image.pixel(x, y), qRgb(255, 255, 255));
}
