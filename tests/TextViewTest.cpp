// The text view driven as a user would: key events carrying text, mouse events
// sent to the viewport, input-method events; and drawn into an image.
#include "platform/pasteboard/Pasteboard.h"
#include "platform/text/Utf.h"
#include "platform/undo/UndoManager.h"
#include "platform/view/TextView.h"

#include <QApplication>
#include <QImage>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>

#include <gtest/gtest.h>

namespace velkin {
namespace {

void key(TextView& view, int code, const QString& text = {}, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QKeyEvent press(QEvent::KeyPress, code, mods, text);
    QApplication::sendEvent(&view, &press);
}

void type(TextView& view, const QString& text)
{
    // One key event per user-perceived character, as a keyboard delivers them.
    for (qsizetype i = 0; i < text.size();) {
        qsizetype length = text[i].isHighSurrogate() ? 2 : 1;
        key(view, Qt::Key_unknown, text.mid(i, length));
        i += length;
    }
}

void click(TextView& view, QPointF at, Qt::KeyboardModifiers mods = Qt::NoModifier, qint64 time = 1000)
{
    QMouseEvent press(QEvent::MouseButtonPress, at, view.viewport()->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, mods);
    press.setTimestamp(quint64(time));
    QApplication::sendEvent(view.viewport(), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, view.viewport()->mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, mods);
    release.setTimestamp(quint64(time + 1));
    QApplication::sendEvent(view.viewport(), &release);
}

// The viewport point in the middle of the character at `index`.
QPointF pointAt(TextView& view, int index)
{
    view.textContainer();
    const QRectF box = view.layoutManager()->boundingRect({index, 1});
    return view.viewportPoint(box.center());
}

struct RecordingDelegate : TextViewDelegate {
    std::vector<std::string> events;
    UndoManager undo;
    bool provideUndo = false;
    void textDidChange(TextView& v) override { events.push_back("text:" + u8(v.string())); }
    void textViewDidChangeSelection(TextView& v) override
    {
        events.push_back("selection:" + std::to_string(v.selectedRange().location));
    }
    UndoManager* undoManagerForTextView(TextView&) override { return provideUndo ? &undo : nullptr; }
};

TEST(TextViewTyping, KeyEventsCarryNonAsciiText)
{
    TextView view(QRectF(0, 0, 400, 300));
    type(view, QString::fromUtf8("héllo 日本 😀"));
    EXPECT_EQ(view.string(), u"héllo 日本 😀");
    EXPECT_EQ(view.selectedRange(), (Range{int(view.string().size()), 0}));
}

TEST(TextViewTyping, ControlCharactersAndCommandKeysTypeNothing)
{
    TextView view(QRectF(0, 0, 400, 300));
    key(view, Qt::Key_A, "\x01", Qt::ControlModifier);  // select all, not a character
    key(view, Qt::Key_unknown, "\x7f");
    EXPECT_EQ(view.string(), u"");
}

TEST(TextViewTyping, BackspaceDeletesWholeSurrogatePairsAndClusters)
{
    TextView view(QRectF(0, 0, 400, 300));
    view.setString(u"a😀b👩‍💻");
    view.setSelectedRange({int(view.string().size()), 0});
    key(view, Qt::Key_Backspace);
    EXPECT_EQ(view.string(), u"a😀b");
    key(view, Qt::Key_Backspace);
    key(view, Qt::Key_Backspace);
    EXPECT_EQ(view.string(), u"a");
}

TEST(TextViewTyping, DeleteForwardTakesTheNextCharacterWhole)
{
    TextView view(QRectF(0, 0, 400, 300));
    view.setString(u"x😀y");
    view.setSelectedRange({1, 0});
    key(view, Qt::Key_Delete);
    EXPECT_EQ(view.string(), u"xy");
    EXPECT_EQ(view.selectedRange(), (Range{1, 0}));
}

TEST(TextViewTyping, ASelectionNeverSplitsASurrogatePair)
{
    TextView view(QRectF(0, 0, 400, 300));
    view.setString(u"😀😀");
    view.setSelectedRange({1, 2});
    EXPECT_EQ(view.selectedRange(), (Range{0, 4}));
}

// Whatever puts it there (code, typing, find, a change behind the view's back), a
// caret rests between characters as the user sees them, and a selection holds
// whole ones: never inside a surrogate pair, a CR LF, a letter with its mark or
// an emoji sequence.
TEST(TextViewTyping, NoCaretOrSelectionEdgeRestsInsideACharacter)
{
    TextView view(QRectF(0, 0, 400, 300));
    view.setString(u"\n* [ ] a\U0001F600 cafe\u0301 \U0001F469\u200D\U0001F4BB\r\nz");
    const U16String& text = view.string();
    const int emoji = int(text.find(u"\U0001F600")), mark = int(text.find(u"\u0301")),
              sequence = int(text.find(u"\U0001F469")), feed = int(text.find(u"\r\n"));
    view.setSelectedRange({emoji + 1, 0});
    EXPECT_EQ(view.selectedRange(), (Range{emoji, 0})) << "a caret stays a caret";
    view.setSelectedRange({mark, 0});
    EXPECT_EQ(view.selectedRange(), (Range{mark - 1, 0}));
    view.setSelectedRange({sequence + 3, 0});
    EXPECT_EQ(view.selectedRange(), (Range{sequence, 0}));
    view.setSelectedRange({feed + 1, 0});
    EXPECT_EQ(view.selectedRange(), (Range{feed, 0}));
    view.setSelectedRange({mark, sequence + 2 - mark});
    EXPECT_EQ(view.selectedRange(), Range::fromTo(mark - 1, sequence + 5));

    view.setUsesFindBar(true);
    view.setFindString(u"e");
    view.setSelectedRange({0, 0});
    view.performFindAction(int(FindAction::nextMatch));
    EXPECT_EQ(view.selectedRange(), (Range{mark - 1, 2})) << "a match in a letter with its mark takes both";

    // Typed before a mark, a letter takes it: the caret goes after both.
    view.setString(u"\u0301x");
    view.setSelectedRange({0, 0});
    type(view, "e");
    EXPECT_EQ(view.string(), u"e\u0301x");
    EXPECT_EQ(view.selectedRange(), (Range{2, 0}));
    // The letter after the caret taken out behind the view's back leaves its mark to
    // the letter before the caret: the caret goes before both.
    view.setString(u"eX\u0301");
    view.setSelectedRange({1, 0});
    view.textStorage()->replaceCharacters({1, 1}, AttributedString());
    EXPECT_EQ(view.selectedRange(), (Range{0, 0}));
}

// Clicks and drags at every point across a line of wide characters, and the
// vertical arrows carrying a place under them to the lines around: the caret
// and both selection edges land between whole characters.
TEST(TextViewTyping, MouseAndArrowsNeverStopInsideACharacter)
{
    TextView view(QRectF(0, 0, 400, 300));
    view.setString(u"abcdefghijklmnop\n* [ ] a\U0001F600\U0001F469\u200D\U0001F4BBe\u0301\U0001F1E9\U0001F1EA!\nabcdefghijklmnop");
    const U16String& text = view.string();
    const int line = int(text.find(u"* [ ]")), end = int(text.find(u'!'));
    // The places inside a character of the middle line.
    const std::vector<int> inside{line + 8, line + 10, line + 11, line + 12, line + 13, line + 15, line + 17, line + 18, line + 19};
    auto between = [&](Range r) {
        for (const int i : inside)
            if (r.location == i || r.end() == i)
                return false;
        return true;
    };
    const double left = pointAt(view, line).x(), right = pointAt(view, end).x(), y = pointAt(view, line).y();
    qint64 time = 0;  // far enough apart that no two clicks make a double click
    for (double x = left; x <= right; x += 1) {
        click(view, {x, y}, Qt::NoModifier, time += 5000);
        ASSERT_TRUE(between(view.selectedRange())) << "click at x " << x << ": " << view.selectedRange().location;
        click(view, {left, y}, Qt::ShiftModifier, time += 5000);
        ASSERT_TRUE(between(view.selectedRange())) << "shift-click from x " << x;
        click(view, pointAt(view, 3), Qt::NoModifier, time += 5000);
        click(view, {x, y}, Qt::ShiftModifier, time += 5000);
        ASSERT_TRUE(between(view.selectedRange())) << "shift-click to x " << x;
        click(view, {x, pointAt(view, 3).y()}, Qt::NoModifier, time += 5000);
        key(view, Qt::Key_Down);
        ASSERT_TRUE(between(view.selectedRange())) << "down from x " << x;
        key(view, Qt::Key_Down, {}, Qt::ShiftModifier);
        key(view, Qt::Key_Up, {}, Qt::ShiftModifier);
        ASSERT_TRUE(between(view.selectedRange())) << "shift-down and up from x " << x;
    }
    view.setSelectedRange({end, 0});
    for (int i = 0; i < 6; ++i) {
        key(view, Qt::Key_Left, {}, i % 2 ? Qt::ShiftModifier : Qt::NoModifier);
        ASSERT_TRUE(between(view.selectedRange())) << "left " << i;
    }
}

TEST(TextViewTyping, ReadOnlyViewsTakeNoTyping)
{
    TextView view(QRectF(0, 0, 400, 300));
    view.setString(u"fixed");
    view.setEditable(false);
    type(view, "x");
    key(view, Qt::Key_Backspace);
    EXPECT_EQ(view.string(), u"fixed");
    EXPECT_FALSE(view.replaceText({0, 1}, u"F"));
}

TEST(TextViewTyping, ArrowsMoveByCharacterWordAndLine)
{
    TextView view(QRectF(0, 0, 400, 300));
    view.setString(u"one two\nthree four");
    view.setSelectedRange({0, 0});
    key(view, Qt::Key_Right, {}, Qt::ControlModifier);
    EXPECT_EQ(view.selectedRange().location, 3);
    key(view, Qt::Key_Right, {}, Qt::ShiftModifier);
    EXPECT_EQ(view.selectedRange(), (Range{3, 1}));
    key(view, Qt::Key_Down);
    EXPECT_GE(view.selectedRange().location, 8);
    key(view, Qt::Key_End);
    EXPECT_EQ(view.selectedRange().location, 18);
    key(view, Qt::Key_Home, {}, Qt::ShiftModifier);
    EXPECT_EQ(view.selectedRange(), (Range{8, 10}));
    key(view, Qt::Key_Up);
    EXPECT_LT(view.selectedRange().location, 8);
    key(view, Qt::Key_End, {}, Qt::ControlModifier);
    EXPECT_EQ(view.selectedRange().location, 18);
}

TEST(TextViewUndo, TypingInARowIsOneStep)
{
    TextView view(QRectF(0, 0, 400, 300));
    view.setAllowsUndo(true);
    type(view, "abc");
    key(view, Qt::Key_Left);
    type(view, "d");
    EXPECT_EQ(view.string(), u"abdc");
    key(view, Qt::Key_Z, {}, Qt::ControlModifier);
    EXPECT_EQ(view.string(), u"abc");
    key(view, Qt::Key_Z, {}, Qt::ControlModifier);
    EXPECT_EQ(view.string(), u"");
    key(view, Qt::Key_Z, {}, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(view.string(), u"abc");
}

TEST(TextViewUndo, BackspacesInARowAreOneStepAndRestoreTheText)
{
    TextView view(QRectF(0, 0, 400, 300));
    view.setAllowsUndo(true);
    view.setString(u"hello");
    view.setSelectedRange({5, 0});
    for (int i = 0; i < 3; ++i)
        key(view, Qt::Key_Backspace);
    EXPECT_EQ(view.string(), u"he");
    view.undo();
    EXPECT_EQ(view.string(), u"hello");
    // The caret goes back where the Backspaces started, nothing selected; redo puts it where they left it.
    EXPECT_EQ(view.selectedRange(), (Range{5, 0}));
    view.redo();
    EXPECT_EQ(view.string(), u"he");
    EXPECT_EQ(view.selectedRange(), (Range{2, 0}));
}

TEST(TextViewUndo, UndoKeepsAttributesOfTheReplacedText)
{
    TextView view(QRectF(0, 0, 400, 300));
    view.setAllowsUndo(true);
    AttributedString bold(u"bold", Attributes{{AttributeKey::Font, Font::boldSystem(14)}});
    view.replaceText({0, 0}, bold);
    view.selectAll();
    type(view, "x");
    view.undo();
    ASSERT_EQ(view.string(), u"bold");
    ASSERT_NE(view.textStorage()->font(1), nullptr);
    EXPECT_TRUE(view.textStorage()->font(1)->bold);
}

TEST(TextViewUndo, DelegateUndoManagerWithExplicitGroups)
{
    TextView view(QRectF(0, 0, 400, 300));
    RecordingDelegate delegate;
    delegate.provideUndo = true;
    delegate.undo.groupsByEvent = false;
    view.setDelegate(&delegate);
    view.setAllowsUndo(true);
    delegate.undo.beginUndoGrouping();
    view.replaceText({0, 0}, u"one ");
    view.replaceText({4, 0}, u"two");
    delegate.undo.endUndoGrouping();
    EXPECT_EQ(view.string(), u"one two");
    delegate.undo.undo();
    EXPECT_EQ(view.string(), u"");
}

TEST(TextViewUndo, AChangeBehindTheViewsBackIsNotUndoneOverTheWrongText)
{
    TextView view(QRectF(0, 0, 400, 300));
    view.setAllowsUndo(true);
    type(view, "abcdef");
    view.textStorage()->replaceCharacters({0, 6}, u"x");
    view.undo();
    EXPECT_EQ(view.string(), u"x");
}

TEST(TextViewDelegate, TextChangeIsReportedBeforeTheSelectionItMoved)
{
    TextView view(QRectF(0, 0, 400, 300));
    RecordingDelegate delegate;
    view.setDelegate(&delegate);
    type(view, "a");
    ASSERT_EQ(delegate.events.size(), 2u);
    EXPECT_EQ(delegate.events[0], "text:a");
    EXPECT_EQ(delegate.events[1], "selection:1");
}

struct RefusingView : TextView {
    using TextView::TextView;
    bool shouldChangeText(Range, int) override { return false; }
};

TEST(TextViewDelegate, ARefusedChangeLeavesEverything)
{
    RefusingView view(QRectF(0, 0, 400, 300));
    view.setAllowsUndo(true);
    type(view, "abc");
    EXPECT_EQ(view.string(), u"");
    EXPECT_FALSE(view.undoManager()->canUndo());
}

TEST(TextViewInputMethod, CompositionIsMarkedThenCommittedAsOneStep)
{
    TextView view(QRectF(0, 0, 400, 300));
    view.setAllowsUndo(true);
    RecordingDelegate delegate;
    view.setDelegate(&delegate);
    type(view, "x");
    key(view, Qt::Key_Left);  // ends the typing step
    QInputMethodEvent composing("ka", {});
    QApplication::sendEvent(&view, &composing);
    EXPECT_EQ(view.string(), u"kax");
    EXPECT_TRUE(view.hasMarkedText());
    EXPECT_EQ(view.markedRange(), (Range{0, 2}));
    EXPECT_EQ(delegate.events.back().rfind("selection", 0), 0u);
    QInputMethodEvent commit;
    commit.setCommitString(QString::fromUtf8("か"));
    QApplication::sendEvent(&view, &commit);
    EXPECT_EQ(view.string(), u"かx");
    EXPECT_FALSE(view.hasMarkedText());
    view.undo();
    EXPECT_EQ(view.string(), u"x");
}

TEST(TextViewInputMethod, ACancelledCompositionRestoresTheSelection)
{
    TextView view(QRectF(0, 0, 400, 300));
    view.setString(u"abc");
    view.setSelectedRange({1, 1});
    QInputMethodEvent composing("zz", {});
    QApplication::sendEvent(&view, &composing);
    EXPECT_EQ(view.string(), u"azzc");
    QInputMethodEvent cancel("", {});
    QApplication::sendEvent(&view, &cancel);
    EXPECT_EQ(view.string(), u"abc");
    EXPECT_FALSE(view.hasMarkedText());
}

TEST(TextViewMouse, AClickPlacesTheCaretUnderThePoint)
{
    TextView view(QRectF(0, 0, 400, 300));
    view.setTextContainerInset({20, 10});
    view.setString(u"first line\nsecond line");
    const QPointF at = pointAt(view, 14);
    click(view, at - QPointF(1, 0));
    EXPECT_EQ(view.selectedRange(), (Range{14, 0}));
    click(view, pointAt(view, 2) - QPointF(1, 0), Qt::ShiftModifier, 5000);
    EXPECT_EQ(view.selectedRange(), (Range{2, 12}));
}

TEST(TextViewMouse, DoubleClickSelectsAWordAndTripleClickAParagraph)
{
    TextView view(QRectF(0, 0, 400, 300));
    view.setString(u"alpha beta gamma\nnext");
    const QPointF at = pointAt(view, 7);
    click(view, at, Qt::NoModifier, 1000);
    click(view, at, Qt::NoModifier, 1100);
    EXPECT_EQ(view.selectedRange(), (Range{6, 4}));
    click(view, at, Qt::NoModifier, 1200);
    EXPECT_EQ(view.selectedRange(), (Range{0, 17}));
}

TEST(TextViewMouse, DraggingExtendsTheSelection)
{
    TextView view(QRectF(0, 0, 400, 300));
    view.setString(u"drag across this");
    const QPointF from = pointAt(view, 0) - QPointF(3, 0);
    const QPointF to = pointAt(view, 10) - QPointF(1, 0);
    QMouseEvent press(QEvent::MouseButtonPress, from, from, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &press);
    QMouseEvent move(QEvent::MouseMove, to, to, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &move);
    EXPECT_EQ(view.selectedRange(), (Range{0, 10}));
}

TEST(TextViewMouse, AClickInsideTheSelectionWithoutMovingPlacesTheCaret)
{
    TextView view(QRectF(0, 0, 400, 300));
    view.setString(u"press inside here");
    view.setSelectedRange({6, 6});
    click(view, pointAt(view, 8) - QPointF(1, 0));
    EXPECT_EQ(view.selectedRange(), (Range{8, 0}));
}

TEST(TextViewDrawing, TheSelectionIsDrawnBehindTheSelectedText)
{
    TextView view(QRectF(0, 0, 300, 120));
    view.setString(u"some selected text");
    view.setSelectedRange({5, 8});
    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    view.render(&image);
    const QColor selection = view.layoutManager()->resolve(view.layoutManager()->selectionColor);
    const QRectF selected = view.layoutManager()->boundingRect({5, 8});
    const QPointF inside = view.viewportPoint(QPointF(selected.left() + 2, selected.top() + 1));
    const QPointF outside = view.viewportPoint(QPointF(selected.left() + 2, selected.bottom() + 10));
    EXPECT_EQ(image.pixelColor(inside.toPoint()).rgb(), selection.rgb());
    EXPECT_NE(image.pixelColor(outside.toPoint()).rgb(), selection.rgb());
}

TEST(TextViewDrawing, DarkPaletteDrawsTheDarkBackground)
{
    TextView view(QRectF(0, 0, 100, 60));
    QPalette dark = view.palette();
    dark.setColor(QPalette::Base, Qt::black);
    view.setPalette(dark);
    EXPECT_EQ(view.appearance(), Appearance::Dark);
    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
    view.render(&image);
    EXPECT_LT(image.pixelColor(50, 30).lightnessF(), 0.5);
}

TEST(TextViewFind, NextAndPreviousWrapAroundTheText)
{
    TextView view(QRectF(0, 0, 400, 300));
    view.setString(u"One two one TWO");
    EXPECT_FALSE(view.performFindAction(int(FindAction::nextMatch)));
    view.setUsesFindBar(true);
    view.setSelectedRange({0, 3});
    EXPECT_TRUE(view.validateFindAction(int(FindAction::setSearchString)));
    view.performFindAction(int(FindAction::setSearchString));
    EXPECT_EQ(view.findString(), u"One");
    view.performFindAction(int(FindAction::nextMatch));
    EXPECT_EQ(view.selectedRange(), (Range{8, 3}));
    view.performFindAction(int(FindAction::nextMatch));
    EXPECT_EQ(view.selectedRange(), (Range{0, 3}));
    view.setFindString(u"two");
    view.performFindAction(int(FindAction::previousMatch));
    EXPECT_EQ(view.selectedRange(), (Range{12, 3}));
    view.performFindAction(int(FindAction::showFindInterface));
    EXPECT_TRUE(view.isFindBarVisible());
}

TEST(TextViewClipboard, CutAndPasteThroughTheGeneralPasteboard)
{
    TextView view(QRectF(0, 0, 400, 300));
    view.setString(u"cut me");
    view.setSelectedRange({0, 4});
    view.cut();
    EXPECT_EQ(view.string(), u"me");
    EXPECT_EQ(Pasteboard::general().string(), std::optional<U16String>(u"cut "));
    view.setSelectedRange({2, 0});
    view.paste();
    EXPECT_EQ(view.string(), u"mecut ");
    EXPECT_EQ(view.selectedRange(), (Range{6, 0}));
}

TEST(TextViewClipboard, DroppedTextGoesWhereItWasDropped)
{
    TextView view(QRectF(0, 0, 400, 300));
    view.setString(u"ab");
    QMimeData mime;
    mime.setText("X");
    const QPointF at = pointAt(view, 1) - QPointF(2, 0);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &drop);
    EXPECT_EQ(view.string(), u"aXb");
}

} // namespace
} // namespace velkin

namespace velkin {
namespace {

TEST(TextViewTyping, TextTypedAfterATableAtTheEndStaysOutOfIt)
{
    TextView view(QRectF(0, 0, 400, 300));
    auto table = std::make_shared<TextTable>();
    table->numberOfColumns = 1;
    auto style = std::make_shared<ParagraphStyle>();
    style->textBlocks.push_back(std::make_shared<TextTableBlock>(table, 0, 1, 0, 1));
    view.replaceText({0, 0}, AttributedString(U16String(u"cell\n"), Attributes{{AttributeKey::ParagraphStyle, ParagraphStylePtr(style)}}));
    view.setSelectedRange({5, 0});
    key(view, Qt::Key_unknown, "x");
    ASSERT_EQ(view.string(), u"cell\nx");
    const ParagraphStyle* after = view.textStorage()->paragraphStyle(5);
    EXPECT_TRUE(!after || !after->tableBlock());
    view.setSelectedRange({2, 0});
    key(view, Qt::Key_unknown, "y");
    const ParagraphStyle* inside = view.textStorage()->paragraphStyle(2);
    EXPECT_TRUE(inside && inside->tableBlock());
}

} // namespace
} // namespace velkin
