// The find bar as a user drives it: keys typed into its fields, its buttons, the
// highlighted matches and their count, and what it may and may not do to the text.
#include "EditorHarness.h"

#include "markdown/ColorSwatch.h"
#include "platform/view/FindBar.h"

#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace velkin {
namespace {

using namespace testing_editor;

// A shown, active editor window with its find bar open on `needle`.
struct FindSession {
    Editor e;
    FindBar* bar = nullptr;

    FindSession(U16View text, const QString& needle) : e(text)
    {
        e.activate();
        e.view().setSelectedRange({0, 0});
        e.view().performFindAction(int(FindAction::showFindInterface));
        bar = e.view().findBar();
        QTest::keyClicks(field(), needle);
        settle();
    }
    QLineEdit* field() const { return e.view().findBar()->findField(); }
    QString count() const { return bar->countLabel()->text(); }
    Range selected() const { return e.view().selectedRange(); }
    int at(U16View text, int nth = 0) const
    {
        int from = 0;
        for (int i = 0;; ++i) {
            const int found = TextOps::find(U16View(e.view().string()).substr(size_t(from)), text);
            if (found < 0)
                return -1;
            if (i == nth)
                return from + found;
            from += found + 1;
        }
    }
};

TEST(FindBar, KeysInTheFieldMoveBetweenMatchesAndNeverEditTheText)
{
    const U16String text = u"- one\n- two one\n- three One";
    FindSession s(text, "one");
    ASSERT_TRUE(s.field()->hasFocus());
    EXPECT_EQ(s.selected(), (Range{s.at(u"one"), 3}));
    EXPECT_EQ(s.count(), "1 of 3");

    QTest::keyClick(s.field(), Qt::Key_Return);
    EXPECT_EQ(*s.e.document, text);
    EXPECT_EQ(s.selected(), (Range{s.at(u"one", 1), 3}));
    QTest::keyClick(s.field(), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(*s.e.document, text);
    EXPECT_EQ(s.selected(), (Range{s.at(u"One"), 3}));
    settle();
    EXPECT_EQ(s.count(), "3 of 3");
    // Past the last match the search wraps to the first; Shift+Return goes back.
    QTest::keyClick(s.field(), Qt::Key_Return);
    EXPECT_EQ(s.selected(), (Range{s.at(u"one"), 3}));
    QTest::keyClick(s.field(), Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(s.selected(), (Range{s.at(u"One"), 3}));

    for (Qt::Key k : {Qt::Key_Down, Qt::Key_Up, Qt::Key_PageDown, Qt::Key_Tab})
        QTest::keyClick(s.field(), k);
    EXPECT_EQ(*s.e.document, text);
    EXPECT_EQ(s.selected(), (Range{s.at(u"One"), 3}));
    EXPECT_EQ(s.field()->text(), "one");

    // Escape closes the bar and hands the focus back with the match selected.
    QTest::keyClick(s.field(), Qt::Key_Escape);
    EXPECT_FALSE(s.e.view().isFindBarVisible());
    EXPECT_TRUE(s.e.view().hasFocus());
    EXPECT_EQ(*s.e.document, text);
    EXPECT_EQ(s.selected(), (Range{s.at(u"One"), 3}));
    // Typing now goes to the text again.
    QTest::keyClicks(&s.e.view(), "x");
    EXPECT_EQ(*s.e.document, u"- one\n- two one\n- three x");
}

TEST(FindBar, EveryMatchIsMarkedAndTheCountFollowsTheText)
{
    FindSession s(u"alpha beta alpha gamma", "alpha");
    EXPECT_EQ(s.count(), "1 of 2");
    // The second match, not selected, is drawn on the highlight colour.
    s.e.view().layoutDocument();
    QImage image(s.e.view().viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    s.e.view().viewport()->render(&image);
    const QRectF second = s.e.view().layoutManager()->boundingRect({s.at(u"alpha", 1), 5});
    const QPointF corner = s.e.view().viewportPoint(second.topLeft()) + QPointF(1, 1);
    const QColor pixel = image.pixelColor(corner.toPoint());
    EXPECT_GT(pixel.redF(), 0.8);
    EXPECT_LT(pixel.blueF(), 0.5);

    QTest::keyClicks(s.field(), "x");
    settle();
    EXPECT_EQ(s.count(), "Not found");
    QTest::keyClick(s.field(), Qt::Key_Backspace);
    settle();
    EXPECT_EQ(s.count(), "1 of 2");
    // A caret away from any match shows the total only.
    s.e.view().setSelectedRange({7, 0});
    settle();
    EXPECT_EQ(s.count(), "2 found");
}

TEST(FindBar, ReplaceAndReplaceAllKeepGridsAndUndoInOneStep)
{
    const U16String text = u"cat `#f80`\n\n| cat | b |\n| --- | --- |\n| 1 | cat |\n\ncat";
    FindSession s(text, "cat");
    ASSERT_TRUE(s.bar->isReplaceShown());
    QLineEdit* with = s.bar->replaceField();
    with->setFocus();
    QTest::keyClicks(with, "dog");
    // Return in the replace field replaces the selected match and selects the next.
    QTest::keyClick(with, Qt::Key_Return);
    EXPECT_EQ(*s.e.document, u"dog `#f80`\n\n| cat | b |\n| --- | --- |\n| 1 | cat |\n\ncat");
    EXPECT_EQ(s.selected(), (Range{s.at(u"cat"), 3}));
    const U16String afterOne = *s.e.document;

    QTest::mouseClick(s.bar->findChild<QToolButton*>("replaceAllButton"), Qt::LeftButton);
    settle();
    EXPECT_EQ(*s.e.document, u"dog `#f80`\n\n| dog | b |\n| --- | --- |\n| 1 | dog |\n\ndog");
    EXPECT_EQ(s.count(), "Not found");
    // The grid is still one grid and the colour literal still has its swatch.
    const auto grid = s.e.view().gridAt(s.at(u"dog", 1));
    ASSERT_TRUE(grid.has_value());
    EXPECT_EQ(grid->table.rows.size(), 1u);
    EXPECT_NE(s.e.storage().marker<ColorMark>(AttributeKey::ColorSwatch, s.at(u"#f80")), nullptr);

    s.e.view().undo();
    EXPECT_EQ(*s.e.document, afterOne);
    s.e.view().undo();
    EXPECT_EQ(*s.e.document, text);
}

// Replace and Replace All write the replacement's line breaks as the document's line end.
TEST(FindBar, ReplacementsTakeTheDocumentsLineEnds)
{
    for (const U16String end : {u"\n", u"\r\n", u"\r"})
        for (const U16String typed : {u"\n", u"\r\n", u"\r"})
            for (const bool all : {false, true}) {
                SCOPED_TRACE(::testing::Message() << "line end " << end.size() << int(end.back()) << ", typed " << typed.size() << int(typed.back()) << (all ? ", all" : ""));
                FindSession s(u"alpha" + end + u"beta alpha" + end, "alpha");
                s.bar->replaceField()->setText(QString::fromStdU16String(u"x" + typed + u"y"));
                QTest::mouseClick(s.bar->findChild<QToolButton*>(all ? "replaceAllButton" : "replaceButton"), Qt::LeftButton);
                const U16String with = u"x" + end + u"y";
                EXPECT_EQ(*s.e.document, with + end + u"beta " + (all ? with : u"alpha") + end);
            }
}

TEST(FindBar, ButtonsStayClearOfTheScrollBar)
{
    U16String text;
    for (int i = 0; i < 200; ++i)
        text += u"line of text\n";
    FindSession s(text, "text");
    settle();
    const QScrollBar* scroller = s.e.view().verticalScrollBar();
    ASSERT_TRUE(scroller->isVisible());
    for (const char* name : {"findDone", "findNext", "replaceAllButton"}) {
        const QWidget* button = s.bar->findChild<QWidget*>(name);
        ASSERT_TRUE(button && button->isVisible()) << name;
        const QRect inView(button->mapTo(&s.e.view(), QPoint(0, 0)), button->size());
        EXPECT_FALSE(inView.intersects(QRect(scroller->mapTo(&s.e.view(), QPoint(0, 0)), scroller->size()))) << name;
        EXPECT_LE(inView.right(), s.e.view().width()) << name;
    }
}

TEST(FindBar, ReadOnlyTextFindsButOffersNoReplace)
{
    TextView view(QRectF(0, 0, 400, 300));
    view.setString(u"one two one");
    view.setEditable(false);
    view.setUsesFindBar(true);
    view.show();
    QApplication::setActiveWindow(&view);
    view.performFindAction(int(FindAction::showFindInterface));
    FindBar* bar = view.findBar();
    EXPECT_FALSE(bar->isReplaceShown());
    EXPECT_FALSE(bar->replaceField()->isVisible());
    QTest::keyClicks(bar->findField(), "one");
    QTest::keyClick(bar->findField(), Qt::Key_Return);
    EXPECT_EQ(view.selectedRange(), (Range{8, 3}));
    EXPECT_EQ(view.replaceAllMatches(u"x"), 0);
    EXPECT_EQ(view.string(), u"one two one");
    QTest::keyClick(bar->findField(), Qt::Key_Escape);
    EXPECT_FALSE(view.isFindBarVisible());
}

} // namespace
} // namespace velkin
