#include "document/CodeBlockLayoutManager.h"
#include "markdown/Alert.h"
#include "markdown/MarkdownStyler.h"
#include "markdown/TaskList.h"
#include "markdown/TableGrid.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

using namespace velkin;

namespace {

struct Page {
    TextStorage storage;
    std::unique_ptr<CodeBlockLayoutManager> layout;
    QImage image;
};

Page draw(const U16String& markdown, bool grids = false)
{
    Page page;
    if (grids) {
        page.storage = TableGrid::render(markdown, 14);
    } else {
        page.storage = TextStorage(markdown);
        MarkdownStyler{14, MarkdownFontFamily::sansSerif}.apply(page.storage);
    }
    page.layout = std::make_unique<CodeBlockLayoutManager>(&page.storage);
    page.layout->setTextContainer({400, 1e9, 5});
    page.image = QImage(400, 400, QImage::Format_ARGB32);
    page.image.fill(Qt::white);
    QPainter painter(&page.image);
    page.layout->draw(painter, QRectF(0, 0, 400, 400), QPointF(0, 0));
    return page;
}

bool near(const QColor& a, const QColor& b, int tolerance = 6)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
        && std::abs(a.blue() - b.blue()) <= tolerance;
}

} // namespace

TEST(CodeBlockLayoutManager, CodeCardSpansTheWidthThreePointsBeyondItsLines)
{
    const U16String text = u"Intro\n\n```\nlet x = 1\nlet y = 2\n```\n\nAfter\n";
    Page page = draw(text);
    const int start = int(text.find(u"```"));
    const int stop = int(text.rfind(u"```")) + 4;
    const QRectF lines = page.layout->boundingRect({start, stop - start});
    const QColor card(0xF5, 0xF5, 0xF7);
    // Full width: from the container's left edge to its right edge.
    EXPECT_TRUE(near(page.image.pixelColor(1, int(lines.center().y())), card));
    EXPECT_TRUE(near(page.image.pixelColor(398, int(lines.center().y())), card));
    // Three points above the first line and below the last, nothing beyond.
    EXPECT_TRUE(near(page.image.pixelColor(200, int(lines.top() - 2)), card));
    EXPECT_TRUE(near(page.image.pixelColor(200, int(lines.bottom() + 2)), card));
    EXPECT_EQ(page.image.pixelColor(200, int(lines.top() - 5)), QColor(Qt::white));
    EXPECT_EQ(page.image.pixelColor(200, int(lines.bottom() + 5)), QColor(Qt::white));
    EXPECT_EQ(CodeBlockLayoutManager::alignment(page.storage, page.storage.length()), TextAlignment::Natural);
}

TEST(CodeBlockLayoutManager, AlertPanelReachesFourPointsBeyondItsText)
{
    const U16String text = u"Intro\n\n> [!TIP]\n> Mind the gap.\n\nAfter\n";
    Page page = draw(text);
    const int start = int(text.find(u"> [!TIP]"));
    const int stop = int(text.find(u"gap.")) + 5;
    const QRectF block = page.layout->boundingRect({start, stop - start});
    const QColor inside = page.image.pixelColor(380, int(block.top() - 3));
    EXPECT_GT(inside.green(), inside.red());  // the tip's green tint
    EXPECT_EQ(page.image.pixelColor(380, int(block.top() - 6)), QColor(Qt::white));
    // The accent bar at the panel's left edge is the full colour.
    const QColor bar = page.image.pixelColor(1, int(block.center().y()));
    EXPECT_GT(bar.green(), 150);
    EXPECT_LT(bar.red(), 120);
}

// A restyle of part of an alert marks that part anew: the panel is still drawn as
// one, and two alerts of one kind a blank line apart are still two.
TEST(CodeBlockLayoutManager, AnAlertMarkedInPartsIsOnePanel)
{
    const U16String text = u"Intro\n\n> [!NOTE]\n> one\n> two\n> three\n> four\n\n> [!NOTE]\n> five\n\nAfter\n";
    Page whole = draw(text);
    Page parts = draw(text);
    const int half = int(text.find(u"> three"));
    const int end = int(text.find(u"\n\n> [!NOTE]\n> five")) + 1;
    parts.storage.addAttribute(AttributeKey::AlertBlock, MarkerPtr(std::make_shared<AlertMark>(AlertKind::note, 0, 0)),
                               Range::fromTo(half, end));
    parts.image.fill(Qt::white);
    {
        QPainter painter(&parts.image);
        parts.layout->draw(painter, QRectF(0, 0, 400, 400), QPointF(0, 0));
    }
    EXPECT_EQ(parts.image, whole.image);
    // White between the two alerts.
    const QRectF gap = whole.layout->boundingRect({end, 1});
    EXPECT_EQ(whole.image.pixelColor(380, int(gap.center().y())), QColor(Qt::white));
}

TEST(CodeBlockLayoutManager, CheckboxDrawnOverItsCollapsedBox)
{
    U16String text = u"- [x] done\n";
    Page page;
    page.storage = TextStorage(text);
    MarkdownStyler{14, MarkdownFontFamily::sansSerif}.apply(page.storage);
    TaskList::enumerateTaskLines(page.storage, [&](Range, Range, const TaskList::Item& item) {
        TaskList::collapse(page.storage, Range{item.hiddenLeader.location, item.hiddenLeader.length},
                           Range{item.box.location, item.box.length}, item.checked, 13);
    });
    page.layout = std::make_unique<CodeBlockLayoutManager>(&page.storage);
    page.layout->setTextContainer({400, 1e9, 5});
    QImage image(400, 60, QImage::Format_ARGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        page.layout->draw(painter, QRectF(0, 0, 400, 60), QPointF(0, 0));
    }
    const int box = int(text.find(u"[x]"));
    const QRectF glyphs = page.layout->boundingRect({box, 3});
    const QRectF line = page.layout->lineFragmentRect(box);
    // Checked: filled with the accent colour, at the box's left edge, centred on the line.
    const QColor fill = image.pixelColor(int(glyphs.left() + 2), int(line.center().y() + 4));
    EXPECT_GT(fill.blue(), 200);
    EXPECT_LT(fill.red(), 80);
}

TEST(CodeBlockLayoutManager, GridCellsStandInColumns)
{
    Page page = draw(u"| a | b |\n| --- | --- |\n| c | d |\n", true);
    const U16View text = page.storage.string();
    const int a = int(text.find(u'a')), b = int(text.find(u'b')), c = int(text.find(u'c'));
    const QRectF ra = page.layout->lineFragmentRect(a), rb = page.layout->lineFragmentRect(b);
    const QRectF rc = page.layout->lineFragmentRect(c);
    EXPECT_NEAR(ra.top(), rb.top(), 0.01);
    EXPECT_GT(rb.left(), ra.right() - 1);
    EXPECT_GT(rc.top(), ra.bottom());
    EXPECT_NEAR(rc.left(), ra.left(), 0.01);
}
