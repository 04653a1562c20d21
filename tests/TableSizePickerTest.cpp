// The table size picker: which cells light up, what the caption says, what a click reports.
#include "app/ContentView.h"
#include "app/TableSizePicker.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>

#include <gtest/gtest.h>

using namespace velkin;

namespace {

struct Picked {
    int rows = 0;
    int columns = 0;
    int calls = 0;
};

std::unique_ptr<TableSizePicker> makePicker(Picked& picked)
{
    return std::make_unique<TableSizePicker>(
        [&picked](int rows, int columns) {
            picked.rows = rows;
            picked.columns = columns;
            ++picked.calls;
        },
        ContentView::pickerSide, ContentView::pickerGap, ContentView::pickerCorner, ContentView::pickerColumns,
        ContentView::pickerRows);
}

// The centre of the cell in column c and row r (from 0), in the picker's coordinates.
QPointF cellCentre(const TableSizePicker& picker, int c, int r)
{
    return picker.gridRect().topLeft() + QPointF(20 * c + 8, 20 * r + 8);
}

void send(QWidget& widget, QEvent::Type type, QPointF at)
{
    QMouseEvent event(type, at, widget.mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                      type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&widget, &event);
}

} // namespace

TEST(TableSizePicker, GridOfTheToolbarsSize)
{
    Picked picked;
    auto picker = makePicker(picked);
    EXPECT_EQ(picker->gridRect().size(), QSizeF(156, 196));
    EXPECT_EQ(picker->caption(), QStringLiteral("Insert Table"));
    EXPECT_EQ(picker->accessibilityValue(), QStringLiteral("none"));
    EXPECT_EQ(picker->accessibleName(), QStringLiteral("Table size"));
}

TEST(TableSizePicker, PointingLightsTheBlockAndAClickReportsRowsFirst)
{
    Picked picked;
    auto picker = makePicker(picked);
    picker->show();
    send(*picker, QEvent::MouseMove, cellCentre(*picker, 2, 1));
    EXPECT_EQ(picker->pickColumns(), 3);
    EXPECT_EQ(picker->pickRows(), 2);
    EXPECT_EQ(picker->caption(), QStringLiteral("3 \u00D7 2"));
    EXPECT_EQ(picker->accessibilityValue(), QStringLiteral("3 columns by 2 rows"));
    send(*picker, QEvent::MouseButtonPress, cellCentre(*picker, 2, 1));
    send(*picker, QEvent::MouseButtonRelease, cellCentre(*picker, 2, 1));
    EXPECT_EQ(picked.calls, 1);
    EXPECT_EQ(picked.rows, 2);
    EXPECT_EQ(picked.columns, 3);
    // The pick stays after the click.
    EXPECT_EQ(picker->pickColumns(), 3);
    EXPECT_EQ(ContentView::tableTag(picked.rows, picked.columns), 3002);
}

TEST(TableSizePicker, GapsKeepThePickAndEdgesStillCount)
{
    Picked picked;
    auto picker = makePicker(picked);
    picker->hover({8, 8});
    EXPECT_EQ(picker->pickColumns(), 1);
    // In the gap to the right of the first cell, and below it: unchanged.
    picker->hover({18, 8});
    picker->hover({8, 18});
    EXPECT_EQ(picker->pickColumns(), 1);
    EXPECT_EQ(picker->pickRows(), 1);
    // The right edge of a cell still picks it; the next cell moves the pick.
    picker->hover({16, 16});
    EXPECT_EQ(picker->pickColumns(), 1);
    picker->hover({20, 20});
    EXPECT_EQ(picker->pickColumns(), 2);
    EXPECT_EQ(picker->pickRows(), 2);
    // The bottom-right cell is the whole grid.
    picker->hover({155, 195});
    EXPECT_EQ(picker->pickColumns(), 8);
    EXPECT_EQ(picker->pickRows(), 10);
    picker->click();
    EXPECT_EQ(ContentView::tableTag(picked.rows, picked.columns), 8010);
    // Points outside the grid change nothing.
    picker->hover({-3, 5});
    picker->hover({500, 5});
    EXPECT_EQ(picker->pickColumns(), 8);
}

TEST(TableSizePicker, LeavingTheGridForgetsThePick)
{
    Picked picked;
    auto picker = makePicker(picked);
    picker->show();
    send(*picker, QEvent::MouseMove, cellCentre(*picker, 0, 0));
    EXPECT_EQ(picker->pickColumns(), 1);
    // Into the padding around the grid.
    send(*picker, QEvent::MouseMove, QPointF(2, 2));
    EXPECT_EQ(picker->pickColumns(), 0);
    EXPECT_EQ(picker->caption(), QStringLiteral("Insert Table"));
    EXPECT_EQ(picker->accessibilityValue(), QStringLiteral("none"));
    send(*picker, QEvent::MouseMove, cellCentre(*picker, 1, 1));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(picker.get(), &leave);
    EXPECT_EQ(picker->pickRows(), 0);
    // Nothing picked: a click reports nothing.
    picker->click();
    EXPECT_EQ(picked.calls, 0);
    EXPECT_EQ(ContentView::tableTag(1, 1), 1001);
}

TEST(TableSizePicker, PickedCellsTakeTheAccentColour)
{
    Picked picked;
    auto picker = makePicker(picked);
    picker->resize(picker->sizeHint());
    picker->hover({8, 8});
    QImage image(picker->size(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    picker->render(&image);
    const QColor accent = picker->palette().color(QPalette::Highlight);
    const QPoint inPicked = cellCentre(*picker, 0, 0).toPoint();
    const QPoint inOther = cellCentre(*picker, 4, 4).toPoint();
    const QColor picked0 = image.pixelColor(inPicked);
    EXPECT_LT(std::abs(picked0.hue() - accent.hue()), 10);
    EXPECT_GT(image.pixelColor(inOther).lightness(), 200);
}
