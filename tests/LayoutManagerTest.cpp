#include "platform/layout/LayoutManager.h"

#include <QImage>
#include <QPainter>
#include <QTextLayout>

#include <gtest/gtest.h>

using namespace velkin;

namespace {

TextStorage styled(const U16String& text, double size = 14)
{
    return TextStorage(text, Attributes{{AttributeKey::Font, Font::system(size)}});
}

} // namespace

TEST(LayoutManager, LinesFragmentsAndBaselines)
{
    TextStorage s = styled(u"first\nsecond line\n");
    LayoutManager lm(&s);
    lm.setTextContainer({300, 1e9, 5});
    Range line;
    const QRectF a = lm.lineFragmentRect(0, &line);
    EXPECT_EQ(line, (Range{0, 6}));
    EXPECT_DOUBLE_EQ(a.x(), 0);
    EXPECT_DOUBLE_EQ(a.width(), 300);
    const QRectF b = lm.lineFragmentRect(7, &line);
    EXPECT_EQ(line, (Range{6, 12}));
    EXPECT_DOUBLE_EQ(b.top(), a.bottom());
    EXPECT_GT(lm.location(0).y(), 10);          // baseline below the top
    EXPECT_NEAR(lm.location(0).x(), 5, 0.01);   // after the line fragment padding
    EXPECT_FALSE(lm.extraLineFragmentRect().isNull());
    EXPECT_DOUBLE_EQ(lm.extraLineFragmentRect().top(), b.bottom());
}

TEST(LayoutManager, ParagraphStyleSpacingAndIndents)
{
    TextStorage s = styled(u"one\ntwo");
    auto style = std::make_shared<ParagraphStyle>();
    style->paragraphSpacing = 10;
    style->paragraphSpacingBefore = 6;
    style->firstLineHeadIndent = 20;
    style->minimumLineHeight = 40;
    s.addAttribute(AttributeKey::ParagraphStyle, ParagraphStylePtr(style), {4, 3});
    LayoutManager lm(&s);
    lm.setTextContainer({300, 1e9, 5});
    const QRectF first = lm.lineFragmentRect(0);
    const QRectF second = lm.lineFragmentRect(4);
    EXPECT_NEAR(second.height(), 6 + 40 + 10, 0.01);
    EXPECT_NEAR(lm.location(4).x(), 25, 0.01);
    EXPECT_NEAR(second.top(), first.bottom(), 0.01);
    // Text sits at the bottom of a raised line box.
    EXPECT_GT(lm.location(4).y(), 6 + 40 - 8);
}

TEST(LayoutManager, WrapsAndHitTestsRoundTrip)
{
    U16String text;
    for (int i = 0; i < 40; ++i)
        text += u"word ";
    TextStorage s = styled(text);
    LayoutManager lm(&s);
    lm.setTextContainer({200, 1e9, 5});
    Range firstLine;
    lm.lineFragmentRect(0, &firstLine);
    EXPECT_LT(firstLine.length, int(text.size()));
    EXPECT_GT(lm.usedRect().height(), 3 * lm.lineFragmentRect(0).height());
    for (int i : {0, 3, 17, 57, 120, 190}) {
        const QRectF lf = lm.lineFragmentRect(i);
        const QPointF at(lf.x() + lm.location(i).x() + 1, lf.top() + lm.location(i).y() - 3);
        EXPECT_EQ(lm.glyphIndex(at), i) << i;
    }
    // Below the last line: the end of the text; left of a line: its first glyph.
    EXPECT_EQ(lm.characterIndex(QPointF(1000, lm.usedRect().bottom() + 50)), int(text.size()));
    EXPECT_EQ(lm.glyphIndex(QPointF(-20, 2)), 0);
}

TEST(LayoutManager, KernOnOneCharacterWidensOnlyIt)
{
    TextStorage s = styled(u"abc");
    LayoutManager lm(&s);
    lm.setTextContainer({300, 1e9, 5});
    const double before = lm.location(2).x();
    s.addAttribute(AttributeKey::Kern, 20.0, {0, 1});
    EXPECT_NEAR(lm.location(2).x(), before + 20, 0.5);
    EXPECT_NEAR(lm.location(1).x() - lm.location(0).x(), lm.location(2).x() - lm.location(1).x() + 20, 1.0);
}

TEST(LayoutManager, RelayoutTouchesOnlyTheEditedParagraph)
{
    U16String text;
    for (int i = 0; i < 200; ++i)
        text += u"paragraph number something\n";
    TextStorage s = styled(text);
    LayoutManager lm(&s);
    lm.setTextContainer({300, 1e9, 5});
    lm.ensureLayout();
    const double height = lm.usedRect().height();
    s.replaceCharacters({27 * 100 + 3, 0}, u"x");
    lm.ensureLayout();
    EXPECT_LE(lm.lastRelayoutCount(), 3);
    EXPECT_DOUBLE_EQ(lm.usedRect().height(), height);
    // A colour change lays nothing out again.
    s.addAttribute(AttributeKey::ForegroundColor, Color::link(), {0, 50});
    lm.ensureLayout();
    EXPECT_EQ(lm.lastRelayoutCount(), 0);
    // A font change does.
    s.addAttribute(AttributeKey::Font, Font::system(30), {0, 5});
    lm.ensureLayout();
    EXPECT_EQ(lm.lastRelayoutCount(), 1);
    EXPECT_GT(lm.usedRect().height(), height);
    // Joining two paragraphs by deleting a line feed.
    lm.setTextContainer({1000, 1e9, 5});
    s.replaceCharacters({26, 1}, u"");
    lm.ensureLayout();
    Range line;
    lm.lineFragmentRect(0, &line);
    EXPECT_EQ(line.length, 26 + 27);
}

TEST(LayoutManager, TableCellsLayOutAsAGrid)
{
    auto table = std::make_shared<TextTable>();
    table->numberOfColumns = 2;
    TextStorage s;
    const char16_t* cells[] = {u"a", u"b", u"c", u"d"};
    for (int i = 0; i < 4; ++i) {
        auto block = std::make_shared<TextTableBlock>(table, i / 2, 1, i % 2, 1);
        block->setWidthAllEdges(5, TextTableBlock::Layer::Padding);
        block->setWidth(1, TextTableBlock::Layer::Border, TextTableBlock::MinX);
        auto style = std::make_shared<ParagraphStyle>();
        style->textBlocks.push_back(block);
        s.append(U16String(cells[i]) + u"\n",
                 Attributes{{AttributeKey::Font, Font::system(14)}, {AttributeKey::ParagraphStyle, ParagraphStylePtr(style)}});
    }
    s.append(u"after", Attributes{{AttributeKey::Font, Font::system(14)}});
    LayoutManager lm(&s);
    lm.setTextContainer({210, 1e9, 5});
    const QRectF a = lm.lineFragmentRect(0), b = lm.lineFragmentRect(2), c = lm.lineFragmentRect(4);
    EXPECT_NEAR(a.top(), b.top(), 0.01);      // same row
    EXPECT_GT(b.left(), a.left() + 90);       // next column
    EXPECT_GT(c.top(), a.bottom());           // next row
    EXPECT_NEAR(a.left(), 5 + 1 + 5, 0.01);   // padding + border + cell padding
    EXPECT_NEAR(a.width(), 100 - 11, 0.01);
    EXPECT_GT(lm.lineFragmentRect(8).top(), c.bottom());
    EXPECT_EQ(lm.glyphIndex(QPointF(b.left() + 2, b.center().y())), 2);

    // Cut into blocks of a row each: a cell restyled into the row above joins that row's block.
    lm.tableBlockRows = 1;
    lm.invalidateLayout({0, s.length()});
    EXPECT_DOUBLE_EQ(lm.lineFragmentRect(4).top(), c.top());
    auto moved = std::make_shared<ParagraphStyle>();
    moved->textBlocks.push_back(std::make_shared<TextTableBlock>(table, 0, 1, 1, 1));
    s.addAttribute(AttributeKey::ParagraphStyle, ParagraphStylePtr(moved), {4, 2});
    LayoutManager fresh(&s);
    fresh.tableBlockRows = 1;
    fresh.setTextContainer({210, 1e9, 5});
    for (int at : {0, 2, 4, 6, 8})
        EXPECT_EQ(lm.lineFragmentRect(at), fresh.lineFragmentRect(at)) << at;
}

TEST(LayoutManager, DrawsTextSelectionAndBackgrounds)
{
    TextStorage s = styled(u"Hello world", 20);
    s.addAttribute(AttributeKey::ForegroundColor, Color::hex(0xFF0000), {0, 5});
    s.addAttribute(AttributeKey::BackgroundColor, Color::hex(0x00FF00), {6, 5});
    LayoutManager lm(&s);
    lm.setTextContainer({300, 1e9, 5});
    QImage image(300, 60, QImage::Format_ARGB32);
    image.fill(Qt::white);
    {
        QPainter p(&image);
        lm.draw(p, QRectF(0, 0, 300, 60), QPointF(0, 0));
    }
    int red = 0, green = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 300; ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 200 && c.green() < 80 && c.blue() < 80)
                ++red;
            if (c.green() > 200 && c.red() < 80 && c.blue() < 80)
                ++green;
        }
    EXPECT_GT(red, 20);
    EXPECT_GT(green, 200);
}

// Text hidden in a font under a pixel (a collapsed picture's source, a task's
// leader) is laid out with stand-ins for the characters the emoji font would
// decode pictures for: every line, place and hit stays what Qt gives the text
// itself (digits, '#' and '*' among right-to-left text, keycaps, marks on them,
// and a hidden run between words that wrap).
TEST(LayoutManager, TextHiddenInAFontUnderAPixelKeepsQtsOwnPlaces)
{
    struct Row {
        U16String text;
        Range hidden;
        double width;
    };
    const std::vector<Row> rows{
        {u"![picture 12](file:///nonexistent/p12.png)", {0, 42}, 300},
        {u"# 1. * [x] 2024 task *done*", {0, 11}, 300},
        {u"![\u05EA\u05DE\u05D5\u05E0\u05D4 3](\u05EA\u05D9\u05E7/3#4*.png) \u05D0", {0, 25}, 300},
        {u"keycap 1\uFE0F\u20E3 #\uFE0F\u20E3 *\u20E3 \U0001F600 9", {0, 27}, 300},
        {u"e\u0301 1\u0301 \u0661\u0662 12 \u0627\u0644 34", {0, 23}, 300},
        {u"words 123 456 789 then ![alt 42](x/4#2.png) more 000 111 222 333", {23, 20}, 60},
        {u"\u05D0\u05D1 56 ![7*8](9.png) \u05D2 10", {6, 13}, 50},
        {u"aaaa bbbb ![alt 4](x/12 3#4*5)cccccccccccccccccccc", {10, 20}, 80},
    };
    for (const Row& row : rows) {
        TextStorage s = styled(row.text);
        s.addAttribute(AttributeKey::Font, Font::system(0.1), row.hidden);
        LayoutManager lm(&s);
        lm.setTextContainer({row.width, 1e9, 5});
        lm.ensureLayout();

        const QString text = QString::fromStdU16String(row.text);
        QTextLayout qt(text, Font::system(14).toQFont());
        QTextLayout::FormatRange hidden;
        hidden.start = row.hidden.location;
        hidden.length = row.hidden.length;
        hidden.format.setFont(Font::system(0.1).toQFont(), QTextCharFormat::FontPropertiesAll);
        qt.setFormats({hidden});
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        qt.setTextOption(option);
        qt.beginLayout();
        for (QTextLine line = qt.createLine(); line.isValid(); line = qt.createLine())
            line.setLineWidth(row.width - 10);
        qt.endLayout();

        const std::string name = QString::fromStdU16String(row.text).toStdString();
        for (int i = 0; i <= int(row.text.size()); ++i) {
            const QTextLine line = qt.lineForTextPosition(i);
            ASSERT_TRUE(line.isValid()) << name << " " << i;
            Range fragment;
            lm.lineFragmentRect(std::min(i, int(row.text.size()) - 1), &fragment);
            const int start = line.textStart();
            if (i < int(row.text.size()))
                EXPECT_EQ(fragment.location, start) << name << " " << i;
            EXPECT_NEAR(lm.location(i).x() - lm.location(start).x(), line.cursorToX(i) - line.cursorToX(start), 1e-6)
                << name << " " << i;
        }
        // Hits across every line, left of it, inside and right of it.
        for (int l = 0; l < qt.lineCount(); ++l) {
            const QTextLine line = qt.lineAt(l);
            const QRectF fragment = lm.lineFragmentRect(line.textStart());
            for (const double x : {-5.0, 0.0, 0.05, 3.0, 20.0, row.width - 12, row.width + 40}) {
                const QPointF at(x + 5, fragment.center().y());
                const int expected = line.xToCursor(x, QTextLine::CursorBetweenCharacters);
                const int end = line.textStart() + line.textLength();
                if (expected < end || l + 1 == qt.lineCount())
                    EXPECT_EQ(lm.characterIndex(at), expected) << name << " line " << l << " x " << x;
            }
        }
    }
}
