// The editor as a window uses it: events sent to the text view and its
// viewport, the document text read back through the binding.
#include "EditorHarness.h"
#include "RestyleDifferential.h"
#include "TempDirectory.h"

#include "editor/EmojiCompletionPicker.h"
#include "editor/FenceMarks.h"
#include "document/ImageCache.h"
#include "document/LinkRouter.h"
#include "editor/MarkdownEditor.h"
#include "editor/MarkdownTextView.h"
#include "markdown/ImageBlock.h"
#include "markdown/ColorSwatch.h"
#include "markdown/EmojiShortcode.h"
#include "markdown/TableGrid.h"
#include "markdown/TaskList.h"
#include "platform/FilePath.h"
#include "platform/pasteboard/Pasteboard.h"
#include "platform/text/Lines.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QAbstractSpinBox>
#include <QColorDialog>
#include <QLineEdit>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QImage>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <fstream>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velkin {
namespace {

using namespace testing_editor;
namespace fs = std::filesystem;
using testing::TempDirectory;

// ---- The restyle cycle ----

TEST(EditorRestyle, TypingWritesTheDocumentAndRestylesAtOnce)
{
    Editor e(u"");
    type(e.view(), "# Hi");
    EXPECT_EQ(*e.document, u"# Hi");
    const Font* font = e.storage().font(2);
    ASSERT_NE(font, nullptr);
    EXPECT_GT(font->pointSize, 14);
    EXPECT_TRUE(font->bold);
}

TEST(EditorRestyle, NonAsciiTypingReachesTheDocument)
{
    Editor e(u"a");
    e.view().setSelectedRange({1, 0});
    type(e.view(), QString::fromUtf8(" é 日本 🚀"));
    EXPECT_EQ(*e.document, u"a é 日本 🚀");
}

TEST(EditorRestyle, TheFirstRestyleWaitsForTheWindow)
{
    Editor e(u"- [ ] task\n\ntail");
    EXPECT_FALSE(e.storage().attribute(AttributeKey::TaskCheckbox, 2));
    e.view().setSelectedRange({e.find(u"tail"), 0});
    e.show();
    EXPECT_TRUE(e.storage().attribute(AttributeKey::TaskCheckbox, 2));
}

TEST(EditorRestyle, CaretMovesRevealAndHideAPictureLine)
{
    Editor e(u"intro\n\n![a](data:image/png;base64,iVBORw0KGgo=)\n\nout");
    e.caretAt(u"out");
    e.host->textView()->setFocus();
    e.host->coordinator().restyle(e.view());
    const int image = e.find(u"![a]");
    EXPECT_TRUE(e.storage().marker<CollapsedImage>(AttributeKey::CollapsedImage, image));
    e.view().setSelectedRange({image + 3, 0});
    EXPECT_FALSE(e.storage().marker<CollapsedImage>(AttributeKey::CollapsedImage, image));
    key(e.view(), Qt::Key_Down);
    EXPECT_TRUE(e.storage().marker<CollapsedImage>(AttributeKey::CollapsedImage, image));
    EXPECT_EQ(*e.document, u"intro\n\n![a](data:image/png;base64,iVBORw0KGgo=)\n\nout");
}

TEST(EditorRestyle, ATypedCellKeepsOneTableInTheDocument)
{
    Editor e(u"| A | B |\n| --- | --- |\n| 1 | 2 |");
    e.caretAt(u"2", 1);
    type(e.view(), QString::fromUtf8("ñ"));
    EXPECT_EQ(*e.document, u"| A | B |\n| --- | --- |\n| 1 | 2ñ |");
    key(e.view(), Qt::Key_Backspace);
    key(e.view(), Qt::Key_Backspace);
    EXPECT_EQ(*e.document, u"| A | B |\n| --- | --- |\n| 1 |  |");
}

TEST(EditorRestyle, CompositionReachesTheDocumentButRestylesOnlyWhenCommitted)
{
    Editor e(u"");
    QInputMethodEvent composing("# k", {});
    QApplication::sendEvent(&e.view(), &composing);
    EXPECT_EQ(*e.document, u"# k");
    const Font* during = e.storage().font(2);
    EXPECT_TRUE(!during || during->pointSize <= 14);
    QInputMethodEvent commit;
    commit.setCommitString(QString::fromUtf8("# か"));
    QApplication::sendEvent(&e.view(), &commit);
    EXPECT_EQ(*e.document, u"# か");
    ASSERT_NE(e.storage().font(2), nullptr);
    EXPECT_GT(e.storage().font(2)->pointSize, 14);
}

TEST(EditorRestyle, AnOutsideTextRebuildsAndKeepsTheCaretInRange)
{
    Editor e(u"a long first text");
    e.view().setSelectedRange({15, 0});
    *e.document = u"short";
    e.host->setEditor(e.editor());
    EXPECT_EQ(e.view().string(), u"short");
    // Inside what changed: at the end of what replaced it, before the text that stayed ("t").
    EXPECT_EQ(e.view().selectedRange(), (Range{4, 0}));
    // A revert of a word typed before the caret: the caret stays before the text it stood at.
    *e.document = u"one two three";
    e.host->setEditor(e.editor());
    e.view().setSelectedRange({8, 0});
    *e.document = u"one three";
    e.host->setEditor(e.editor());
    EXPECT_EQ(e.view().selectedRange(), (Range{4, 0}));
}

TEST(EditorRestyle, ZoomRebuildsAtTheNewSizeAndFamilyOnlyRestyles)
{
    Editor e(u"body\n\n| A |\n| --- |\n| 1 |");
    e.host->setEditor(e.editor(2.0));
    ASSERT_NE(e.storage().font(0), nullptr);
    EXPECT_DOUBLE_EQ(e.storage().font(0)->pointSize, 28);
    EXPECT_DOUBLE_EQ(e.view().gridBaseSize, 28);
    const int before = e.view().textStorage()->runCount();
    e.host->setEditor(e.editor(2.0, MarkdownFontFamily::serif));
    EXPECT_EQ(e.storage().font(0)->family, FontFamilyRole::Serif);
    EXPECT_EQ(e.view().string(), U16String(u"body\n\nA\n1\n"));
    EXPECT_GT(before, 0);
}

TEST(EditorRestyle, TheOwnWriteBackDoesNotRebuild)
{
    Editor e(u"| A |\n| --- |\n| 1 |");
    e.caretAt(u"1", 1);
    type(e.view(), "2");
    const auto* block = e.view().tableBlock(0);
    e.host->setEditor(e.editor());
    EXPECT_EQ(e.view().tableBlock(0), block);  // the same grid, not a new one
}

// ---- Return, undo ----

TEST(EditorReturn, ReturnContinuesAListAndUndoTakesItBack)
{
    Editor e(u"- one");
    e.view().setSelectedRange({5, 0});
    key(e.view(), Qt::Key_Return);
    EXPECT_EQ(*e.document, u"- one\n- ");
    type(e.view(), "two");
    key(e.view(), Qt::Key_Return);
    key(e.view(), Qt::Key_Return);
    EXPECT_EQ(*e.document, u"- one\n- two\n");
    key(e.view(), Qt::Key_Z, {}, Qt::ControlModifier);
    EXPECT_EQ(*e.document, u"- one\n- two\n- ");
}

TEST(EditorReturn, ReturnInACellStaysInTheGrid)
{
    Editor e(u"- x\n\n| A |\n| --- |\n| 1 |");
    e.caretAt(u"1", 1);
    key(e.view(), Qt::Key_Return);
    EXPECT_FALSE(TextOps::contains(*e.document, u"- \n"));
    EXPECT_TRUE(e.view().currentGrid().has_value());
}

// ---- Completion ----

TEST(EditorCompletion, TypingAColonOffersShortcodesAndReturnChoosesOne)
{
    Editor e(u"say ");
    e.show();
    e.view().setSelectedRange({4, 0});
    type(e.view(), ":rock");
    ASSERT_TRUE(e.view().hasEmojiPicker());
    EmojiCompletionPicker& picker = e.view().emojiPicker();
    ASSERT_TRUE(picker.isVisible());
    ASSERT_GE(picker.matches().size(), 1u);
    EXPECT_EQ(picker.selectedRow(), 0);
    const U16String first = picker.matches().front().name;
    key(e.view(), Qt::Key_Up);
    EXPECT_EQ(picker.selectedRow(), 0);
    key(e.view(), Qt::Key_Return);
    EXPECT_FALSE(picker.isVisible());
    EXPECT_EQ(*e.document, u"say :" + first + u":");
    EXPECT_EQ(e.view().selectedRange().location, int(e.view().string().size()));
}

// A colon with no name after it (French puts a blank before every colon): Return
// and Tab do what they do without the list, but after the arrow keys chose a row.
TEST(EditorCompletion, AfterALoneColonReturnAndTabKeepTheirMeaning)
{
    const U16String second = EmojiShortcode::candidates(u"", EmojiCompletionPicker::limit).at(1).name;
    struct Case {
        const char16_t* text;
        std::vector<int> keys;  // pressed after a colon typed at the text's end
        U16String expected;     // after "x" typed
    };
    const std::vector<Case> cases{
        {u"Voici la liste ", {Qt::Key_Return}, u"Voici la liste :\nx"},
        {u"- un ", {Qt::Key_Return}, u"- un :\n- x"},
        {u"> cite ", {Qt::Key_Return}, u"> cite :\n> x"},
        {u"a ", {Qt::Key_Tab}, u"a :\tx"},
        {u"a ", {Qt::Key_Down, Qt::Key_Return}, u"a :" + second + u":x"},
        {u"a ", {Qt::Key_Down, Qt::Key_Up, Qt::Key_Tab}, u"a :+1:x"},
    };
    for (const Case& c : cases) {
        Editor e(c.text);
        e.show();
        e.view().setSelectedRange({int(e.view().string().size()), 0});
        type(e.view(), ":");
        ASSERT_TRUE(e.view().hasEmojiPicker() && e.view().emojiPicker().isVisible()) << u8(c.text);
        for (const int k : c.keys)
            key(e.view(), k);
        EXPECT_FALSE(e.view().emojiPicker().isVisible()) << u8(c.text);
        type(e.view(), "x");
        EXPECT_EQ(*e.document, c.expected) << u8(c.text);
    }
}

TEST(EditorCompletion, EscapeClosesAndBackspaceOverTheColonCloses)
{
    Editor e(u"");
    e.show();
    type(e.view(), ":");
    EmojiCompletionPicker& picker = e.view().emojiPicker();
    EXPECT_TRUE(picker.isVisible());
    EXPECT_EQ(picker.matches().front().name, u"+1");  // the popular names for an empty query
    type(e.view(), "ta");
    const size_t narrowed = picker.matches().size();
    key(e.view(), Qt::Key_Backspace);
    EXPECT_TRUE(picker.isVisible());
    EXPECT_GE(picker.matches().size(), narrowed);
    key(e.view(), Qt::Key_Escape);
    EXPECT_FALSE(picker.isVisible());
    EXPECT_EQ(*e.document, u":t");
    type(e.view(), "a");
    EXPECT_TRUE(picker.isVisible());
    key(e.view(), Qt::Key_Backspace);
    key(e.view(), Qt::Key_Backspace);
    key(e.view(), Qt::Key_Backspace);
    EXPECT_FALSE(picker.isVisible());
}

TEST(EditorCompletion, AColonAfterAWordOpensNothingAndLeftCloses)
{
    Editor e(u"");
    e.show();
    type(e.view(), "10:30");
    EXPECT_TRUE(!e.view().hasEmojiPicker() || !e.view().emojiPicker().isVisible());
    type(e.view(), " :sm");
    ASSERT_TRUE(e.view().emojiPicker().isVisible());
    const int caret = e.view().selectedRange().location;
    key(e.view(), Qt::Key_Left);
    EXPECT_FALSE(e.view().emojiPicker().isVisible());
    EXPECT_EQ(e.view().selectedRange().location, caret - 1);
}

TEST(EditorCompletion, AFenceOpenedOrClosedAboveTheCaretIsSeenAtTheNextKey)
{
    Editor e(u"intro\n```\ncode\n\nlast line\n");
    e.show();
    auto pickerShown = [&] { return e.view().hasEmojiPicker() && e.view().emojiPicker().isVisible(); };
    // Inside the open fence nothing is offered.
    e.view().setSelectedRange({int(e.view().string().size()), 0});
    type(e.view(), ":sm");
    EXPECT_FALSE(pickerShown());
    // The fence turned into prose above the caret, the caret's line starting where
    // it did: the next key offers names.
    const int caret = e.view().selectedRange().location;
    e.view().replaceCharacters({6, 3}, u"abc");
    e.view().setSelectedRange({caret, 0});
    type(e.view(), "i");
    EXPECT_TRUE(pickerShown());
    // And a fence again.
    e.view().replaceCharacters({6, 3}, u"~~~");
    e.view().setSelectedRange({caret + 1, 0});
    type(e.view(), "l");
    EXPECT_FALSE(pickerShown());
}

TEST(EditorCompletion, ReturnInAListSeesAFenceChangedAboveIt)
{
    Editor e(u"```\n- one\n");
    e.show();
    e.view().setSelectedRange({9, 0});
    key(e.view(), Qt::Key_Return);
    EXPECT_EQ(*e.document, u"```\n- one\n\n");  // code: a plain line break
    // The fence gone above, the caret's line starting where it did: the item continues.
    e.view().replaceCharacters({0, 3}, u"abc");
    e.view().setSelectedRange({9, 0});
    key(e.view(), Qt::Key_Return);
    EXPECT_EQ(*e.document, u"abc\n- one\n- \n\n");
    // And back inside a fence.
    e.view().replaceCharacters({0, 3}, u"~~~");
    e.view().setSelectedRange({13, 0});
    key(e.view(), Qt::Key_Return);
    EXPECT_EQ(*e.document, u"~~~\n- one\n- \n\n\n");
}

TEST(EditorCompletion, TheRememberedFenceStateAgreesWithReadingTheWholeText)
{
    // Edits above, at and below remembered line starts, that open, close and
    // change fences; after each, every line's answer is the whole text's.
    Editor e(u"a\n```js\nx :sm\n~~~\n```\ny :ta\n\n~~~~\nz :ro\n  ```\n");
    struct Step {
        Range range;
        const char16_t* text;
    };
    const Step steps[] = {{{0, 0}, u"```\n"}, {{0, 4}, u""},       {{2, 0}, u"> "},  {{9, 0}, u"\r\n"},
                          {{5, 2}, u"~~"},     {{12, 0}, u"````\n"}, {{3, 6}, u""},    {{0, 0}, u"\n\n"},
                          {{20, 1}, u"`"},     {{1, 0}, u"```"},      {{4, 3}, u"x"},
                          // Fences that end with their item or quotation, at the line that leaves it.
                          {{0, 0}, u"- ```\n  k :ab\nout :cd\n"}, {{0, 0}, u"> ```\n> q :ef\n"}, {{2, 0}, u"  "}};
    auto check = [&](const char* after) {
        const U16String text = e.view().string();
        for (size_t start = 0; start <= text.size();) {
            const Range line = lineRange(text, {int(start), 0});
            if (line.length == 0)
                break;  // the empty end after a last line feed, where no name is ever typed
            EXPECT_EQ(e.view().isFencedLine(line), EmojiShortcode::isFenced(text, line))
                << after << ": line at " << start << " of " << u8(text);
            if (line.end() <= int(start))
                break;
            start = size_t(line.end());
        }
    };
    check("at first");
    for (const Step& step : steps) {
        // Asked about the lines below the edit first, so a remembered state is in place when it comes.
        const U16String text = e.view().string();
        e.view().isFencedLine(lineRange(text, {int(text.size()) - 1, 0}));
        e.view().replaceCharacters(step.range, step.text);
        check(u8(step.text).c_str());
    }
}

TEST(EditorCompletion, FenceMarksAgreeWithReadingFromTheStartAfterEveryEdit)
{
    // A mark every two lines, so that edits fall between, on and after marks that
    // are checked again, found the same or not; every line asked bottom up, then
    // top down, after each edit.
    U16String text;
    for (int i = 0; i < 6; ++i)
        text += u"para\n- item\n  ```\n  code\nout\n> q\n> ~~~\n> z\n\n| a |\n|---|\n| 1 |\r";
    FenceMarks marks(2);
    struct Step {
        int at, length;
        const char16_t* text;
        bool checked = true;  // else the next edit comes first
    };
    const Step steps[] = {{62, 0, u"\n"},  {0, 0, u"```\n"}, {0, 4, u""},   {7, 0, u"x"},         {30, 0, u"\r\n"},
                          {40, 3, u"~~~"}, {66, 0, u"\n"},    {2, 20, u""},  {50, 0, u"> ```\n"}, {0, 0, u"\n\n"},
                          {90, 9, u"> "},  {3, 0, u"`"},       {3, 1, u""},   {200, 0, u"```"},
                          // Two edits before the next key: a mark after the first holds, one after the second not.
                          {150, 0, u"x", false}, {300, 0, u"```\n"}, {40, 0, u"y", false}, {120, 0, u"> "},
                          {10, 1, u"", false},   {280, 4, u""}};
    auto check = [&](const char* after) {
        std::vector<int> starts;
        for (const LineRange& l : lineRanges(text))
            starts.push_back(l.enclosing.location);
        starts.push_back(int(text.size()));
        auto agree = [&](int start) {
            MarkdownSyntax::FenceReader fresh;
            const U16View before = U16View(text).substr(0, size_t(start));
            for (const U16View l : MarkdownSyntax::lineTexts(before, lineRanges(before)))
                fresh.read(l);
            EXPECT_TRUE(marks.readerAt(text, start) == fresh) << after << ": line at " << start << " of " << u8(text);
        };
        std::for_each(starts.rbegin(), starts.rend(), agree);
        std::for_each(starts.begin(), starts.end(), agree);
    };
    check("at first");
    for (const Step& step : steps) {
        const int at = std::min(step.at, int(text.size()));
        const int length = std::min(step.length, int(text.size()) - at);
        text.replace(size_t(at), size_t(length), step.text);
        const int added = int(U16View(step.text).size());
        marks.edited({at, added}, added - length);
        if (step.checked)
            check(u8(step.text).c_str());
    }
}

TEST(EditorCollapse, TheShortcodeUnderTheCaretIsTheOneTheLinesMatchesHold)
{
    // Every caret position of lines with shortcodes, chains of colons, names too long,
    // code spans and addresses: the quick look around the caret finds what matching
    // the whole line finds.
    const U16String text = u":smile: word :tada::rocket: a:smile: `:smile:` x\n"
                           u"[go](https://x.org/:smile:) :+1: :-1: 10:30:45 :not_a_name: :smile\n"
                           u":" + U16String(48, u'a') + u": :heart::heart:heart: end:\r\n"
                           u"::smile:: :smile_cat: :-: :a:b:c:\n";
    const AttributedString storage(text, Attributes());
    for (int caret = 0; caret <= int(text.size()); ++caret) {
        std::optional<Range> expected;
        const Range line = lineRange(text, {caret, 0});
        for (const EmojiShortcode::Match& match : EmojiShortcode::matches(substring(text, line))) {
            const Range range{match.range.location + line.location, match.range.length};
            if (range.location < caret && caret < range.end())
                expected = range;
        }
        EXPECT_EQ(MarkdownEditorCoordinator::shortcode({caret, 0}, storage), expected) << "caret " << caret;
    }
    EXPECT_EQ(MarkdownEditorCoordinator::shortcode({2, 0}, storage), (Range{0, 7}));
    EXPECT_EQ(MarkdownEditorCoordinator::shortcode({2, 1}, storage), std::nullopt);
    EXPECT_EQ(MarkdownEditorCoordinator::shortcode({int(text.size()) + 5, 0}, storage), std::nullopt);
}

TEST(EditorCompletion, NoListWithoutAWindow)
{
    Editor e(u"");
    type(e.view(), ":ro");
    EXPECT_FALSE(e.view().hasEmojiPicker() && e.view().emojiPicker().isVisible());
}

TEST(EmojiPicker, MovingStopsAtTheEndsAndChoosingHidesFirst)
{
    QWidget window;
    window.resize(300, 300);
    window.show();
    EmojiCompletionPicker picker;
    bool hiddenWhenChosen = false;
    U16String chosen;
    picker.onChoose = [&](const U16String& name) {
        hiddenWhenChosen = !picker.isVisible() && picker.matches().empty();
        chosen = name;
    };
    ASSERT_TRUE(picker.show(u"rocket", QRect(10, 10, 1, 16), &window));
    const int last = int(picker.matches().size()) - 1;
    for (int i = 0; i < last + 3; ++i)
        picker.moveSelection(1);
    EXPECT_EQ(picker.selectedRow(), last);
    picker.moveSelection(-1);
    const U16String expected = picker.matches()[size_t(std::max(0, last - 1))].name;
    picker.chooseSelected();
    EXPECT_TRUE(hiddenWhenChosen);
    EXPECT_EQ(chosen, expected);
    EXPECT_FALSE(picker.show(u"zzzznope", QRect(10, 10, 1, 16), &window));
    EXPECT_FALSE(picker.show(u"rocket", QRect(10, 10, 1, 16), nullptr));
}

TEST(EmojiPicker, AnUnchangedListKeepsTheHighlightedRow)
{
    QWidget window;
    window.show();
    EmojiCompletionPicker picker;
    ASSERT_TRUE(picker.show(u"sm", QRect(0, 0, 1, 16), &window));
    picker.moveSelection(1);
    picker.show(u"sm", QRect(0, 0, 1, 16), &window);
    EXPECT_EQ(picker.selectedRow(), 1);
    picker.show(u"smi", QRect(0, 0, 1, 16), &window);
    EXPECT_EQ(picker.selectedRow(), 0);
}

TEST(EmojiPicker, FrameSitsUnderTheCaretOrAboveNearTheBottom)
{
    const QRect screen(0, 0, 1000, 800);
    EXPECT_EQ(EmojiCompletionPicker::frame(32, QRect(100, 100, 1, 20), screen), QRect(100, 123, 260, 32));
    EXPECT_EQ(EmojiCompletionPicker::frame(200, QRect(100, 700, 1, 20), screen), QRect(100, 497, 260, 200));
    EXPECT_EQ(EmojiCompletionPicker::frame(32, QRect(900, 100, 1, 20), screen).right(), screen.right());
    EXPECT_EQ(EmojiCompletionPicker::frame(32, QRect(900, 100, 1, 20), std::nullopt), QRect(900, 123, 260, 32));
}

// ---- Clicks ----

TEST(EditorClicks, AClickOnABoxTogglesItAsOneUndoableStep)
{
    Editor e(u"- [ ] task\ntail");
    e.caretAt(u"tail");
    e.host->coordinator().restyle(e.view());
    e.view().layoutDocument();
    LayoutManager& layout = *e.view().layoutManager();
    const QRectF bounds = layout.boundingRect({2, 3});
    const QRectF fragment = layout.lineFragmentRect(2);
    const auto mark = e.storage().marker<TaskMark>(AttributeKey::TaskCheckbox, 2);
    ASSERT_TRUE(mark);
    const QPointF centre(bounds.left() + mark->size / 2, fragment.center().y());
    click(e.view(), e.inViewport(centre));
    EXPECT_EQ(*e.document, u"- [x] task\ntail");
    EXPECT_EQ(e.view().selectedRange(), (Range{e.find(u"tail"), 0}));
    click(e.view(), e.inViewport(centre));
    EXPECT_EQ(*e.document, u"- [ ] task\ntail");
    e.view().undo();
    EXPECT_EQ(*e.document, u"- [x] task\ntail");
}

TEST(EditorClicks, AnUpperCaseBoxIsEmptied)
{
    Editor e(u"- [X] done");
    e.view().toggleTaskCheckbox({2, 3});
    EXPECT_EQ(*e.document, u"- [ ] done");
    e.view().toggleTaskCheckbox({2, 2});
    e.view().toggleTaskCheckbox({9, 3});
    EXPECT_EQ(*e.document, u"- [ ] done");
}

TEST(EditorClicks, ASwatchClickStartsColourEditingAndAClickElsewhereEndsIt)
{
    Editor e(u"brand `#f80`\n\ntail");
    e.caretAt(u"tail");
    e.host->coordinator().restyle(e.view());
    e.view().layoutDocument();
    LayoutManager& layout = *e.view().layoutManager();
    const int literal = e.find(u"#f80");
    const auto mark = e.storage().marker<ColorMark>(AttributeKey::ColorSwatch, literal);
    ASSERT_TRUE(mark);
    const QRectF bounds = layout.boundingRect({literal, 4});
    const double baseline = layout.lineFragmentRect(literal).top() + layout.location(literal).y();
    // Just outside the square but within its 3-point margin.
    const QPointF nearSwatch(bounds.left() - mark->gap - mark->size - 2, baseline - mark->capHeight / 2);
    click(e.view(), e.inViewport(nearSwatch));
    EXPECT_TRUE(e.view().isEditingColor());
    EXPECT_EQ(MarkdownTextView::colorPanelOwner(), &e.view());
    e.view().applyPickedColor(Color::srgb(0, 0, 1));
    EXPECT_EQ(*e.document, u"brand `#00f`\n\ntail");
    e.view().applyPickedColor(Color::srgb(1, 0.5, 0));
    EXPECT_EQ(*e.document, u"brand `#ff8000`\n\ntail");
    click(e.view(), e.inViewport(layout.boundingRect({e.find(u"tail"), 1}).center()));
    EXPECT_FALSE(e.view().isEditingColor());
    EXPECT_EQ(MarkdownTextView::colorPanelOwner(), nullptr);
}

TEST(EditorClicks, AClickOnAnEmojiRevealsItsSource)
{
    Editor e(u"go :rocket: now\nmore");
    e.caretAt(u"more");
    e.host->coordinator().restyle(e.view());
    e.view().layoutDocument();
    const int at = e.find(u":rocket:");
    ASSERT_TRUE(e.storage().attribute(AttributeKey::EmojiShortcode, at));
    click(e.view(), e.inViewport(e.view().layoutManager()->boundingRect({at, 8}).center()));
    EXPECT_EQ(e.view().selectedRange(), (Range{at + 1, 0}));
    EXPECT_FALSE(e.storage().attribute(AttributeKey::EmojiShortcode, at));
}

TEST(EditorClicks, LinksGoThroughTheRouter)
{
    Editor e(u"[doc](notes.md) and [top](#intro) and [x](other.md)");
    std::vector<std::string> opened;
    MarkdownEditor::documentOpener() = [&](const Url& url) { opened.push_back(url.absoluteString()); };
    e.host->setWindowFilePath("/tmp/velkin-folder/index.md");
    e.host->coordinator().restyle(e.view());
    e.view().layoutDocument();
    const QPointF anchor = e.view().layoutManager()->boundingRect({e.find(u"top"), 1}).center();
    const Range before = e.view().selectedRange();
    click(e.view(), e.inViewport(anchor));
    EXPECT_EQ(e.view().selectedRange(), before);  // an anchor does nothing, not even move the caret
    click(e.view(), e.inViewport(e.view().layoutManager()->boundingRect({e.find(u"doc"), 1}).center()));
    settle();
    MarkdownEditor::documentOpener() = nullptr;
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened.front(), "file:///tmp/velkin-folder/notes.md");
}

// ---- Tables ----

TEST(EditorTables, SizedTablesDecodeTheirTag)
{
    auto rows = [](int tag) {
        Editor e(u"");
        const ActionSender sender = ActionSender::menuItem(tag);
        e.view().mdInsertTableSized(&sender);
        return splitAt(*e.document, u'\n').size();
    };
    auto columns = [](int tag) {
        Editor e(u"");
        const ActionSender sender = ActionSender::menuItem(tag);
        e.view().mdInsertTableSized(&sender);
        return splitAt(U16View(splitAt(*e.document, u'\n').front()), u'|').size() - 2;
    };
    EXPECT_EQ(rows(0), 2u);
    EXPECT_EQ(columns(-7), 1u);
    EXPECT_EQ(rows(5), 6u);
    EXPECT_EQ(columns(4000), 4u);
    EXPECT_EQ(rows(4000), 2u);
    EXPECT_EQ(columns(2001), 2u);
    // A tag asking for millions of columns gets a grid a page can hold.
    EXPECT_EQ(columns(2'000'000'000), 100u);
}

TEST(EditorTables, InsertedTablesStartAfterABlankLine)
{
    Editor e(u"abcd");
    e.view().setSelectedRange({2, 0});
    e.view().mdInsertTable(nullptr);
    // The line feed after the grid keeps "cd" from reading as a table row.
    EXPECT_EQ(*e.document, u"ab\n\n| Column 1 | Column 2 |\n| --- | --- |\n|  |  |\n\ncd");
    EXPECT_EQ(e.view().selectedRange(), (Range{4, 0}));
    Editor blank(u"a\n\n");
    blank.view().setSelectedRange({3, 0});
    blank.view().mdInsertTable(nullptr);
    // The text's final line feed stays its last character.
    EXPECT_EQ(*blank.document, u"a\n\n| Column 1 | Column 2 |\n| --- | --- |\n|  |  |\n");
}

TEST(EditorTables, AnInsertedTableGoesBelowCodeTakesItsItemOrQuotationAndKeepsTheLineEnds)
{
    // "^" marks the caret; the table's rows in the result are "@", after the leader before it.
    const std::pair<const char16_t*, const char16_t*> cases[] = {
        {u"```\nco^de\n```\n\nAfter\n", u"```\ncode\n```\n\n@\n\nAfter\n"},
        {u"- item\n\n  ~~~\n  co^de\n  ~~~\n\n# After\n\nPara.\n", u"- item\n\n  ~~~\n  code\n  ~~~\n\n  @\n\n# After\n\nPara.\n"},
        {u"Text\n\n    co^de\n\nAfter", u"Text\n\n    code\n\n@\n\nAfter"},
        {u"- A^\n- B\n", u"- A\n\n  @\n\n- B\n"},
        {u"Intro\n\n1. A^", u"Intro\n\n1. A\n\n   @"},
        {u"> A^\n\nText\n", u"> A\n>\n> @\n\nText\n"},
        {u"A^\n", u"A\n\n@\n"},
        {u"A^\nB\n", u"A\n\n@\n\nB\n"},
        {u"A\n^", u"A\n\n@\n"},
        {u"```\nco^de\n", u"```\ncode\n"},  // nothing can go below a fence that never closes
        // Within an item's or a quotation's line, the line's rest follows the table in it.
        {u"- A^B\n- C\n", u"- A\n\n  @\n\n  B\n- C\n"},
        {u"> A^B\n> C\n", u"> A\n>\n> @\n>\n> B\n> C\n"},
    };
    for (const U16View eol : {U16View(u"\n"), U16View(u"\r\n"), U16View(u"\r")})
        for (const auto& [before, after] : cases) {
            const U16String typed = TextOps::replacingAll(before, u"\n", eol);
            SCOPED_TRACE(u8(typed));
            U16String text = typed;
            const size_t caret = text.find(u'^');
            text.erase(caret, 1);
            Editor e(text);
            e.view().setSelectedRange({int(caret), 0});
            e.view().mdInsertTable(nullptr);
            const U16String expected = TextOps::replacingAll(after, u"\n", eol);
            const size_t t = expected.find(u'@');
            if (t == U16String::npos) {
                EXPECT_EQ(u8(*e.document), u8(expected));
                continue;
            }
            const U16String leader = expected.substr(expected.rfind(eol.back(), t) + 1, t - expected.rfind(eol.back(), t) - 1);
            type(e.view(), "X");
            const U16String rows = TextOps::replacingAll(u"| XColumn 1 | Column 2 |\n| --- | --- |\n|  |  |", u"\n", U16String(eol) + leader);
            EXPECT_EQ(u8(*e.document), u8(expected.substr(0, t) + rows + expected.substr(t + 1)));
            // A table pasted at the end of an item's or a quotation's line goes in alike.
            if (leader.empty() || TextOps::contains(before, u"co^de"))
                continue;
            // Rows copied from a table in an item bring its indent, which the leader replaces.
            for (const char16_t* copied : {u"| a |\n| - |", u"  | a |\n  | - |"}) {
                Editor pasted(text);
                pasted.view().setSelectedRange({int(caret), 0});
                Pasteboard::general().setString(copied, Pasteboard::stringType);
                pasted.view().paste();
                const U16String table = TextOps::replacingAll(u"| a |\n| - |", u"\n", U16String(eol) + leader);
                EXPECT_EQ(u8(*pasted.document), u8(expected.substr(0, t) + table + expected.substr(t + 1)));
            }
        }
    // Typing after a table pasted at an item's line end goes on in its last cell; within a line, before the line's rest.
    for (const auto& [before, after] : {std::pair{u"- A^\n- B\n", u"- A\n\n  | a |\n  | --- |\n  | 1Z |\n\n- B\n"},
                                        std::pair{u"- A^B\n", u"- A\n\n  | a |\n  | --- |\n  | 1 |\n\n  ZB\n"}}) {
        U16String text = before;
        const size_t caret = text.find(u'^');
        text.erase(caret, 1);
        Editor e(text);
        e.view().setSelectedRange({int(caret), 0});
        Pasteboard::general().setString(u"| a |\n| --- |\n| 1 |", Pasteboard::stringType);
        e.view().paste();
        type(e.view(), "Z");
        EXPECT_EQ(u8(*e.document), u8(after));
    }
    // A selection within an item's line goes, and the table goes in as at a caret there.
    for (const auto& [selected, after] : {std::pair{Range{4, 2}, u"- Pr\n\n  | a |\n  | --- |\n  | 1 |\n\n  e.\n- next\n"},
                                          std::pair{Range{6, 2}, u"- Pros\n\n  | a |\n  | --- |\n  | 1 |\n\n- next\n"}}) {
        Editor e(u"- Prose.\n- next\n");
        e.view().setSelectedRange(selected);
        Pasteboard::general().setString(u"| a |\n| --- |\n| 1 |", Pasteboard::stringType);
        e.view().paste();
        EXPECT_EQ(u8(*e.document), u8(after));
        e.view().undo();
        EXPECT_EQ(u8(*e.document), u8(u"- Prose.\n- next\n"));
    }
}

TEST(EditorTables, HeaderRowRefusesRowCommandsAndOneColumnRefusesDeletion)
{
    Editor e(u"| A |\n| --- |\n| 1 |");
    e.caretAt(u"A");
    std::unique_ptr<QMenu> menu(e.view().tableContextMenu());
    const QList<QAction*> items = menu->actions();
    ASSERT_GE(items.size(), 7);
    EXPECT_FALSE(items[0]->isEnabled());  // Insert Row Above
    EXPECT_TRUE(items[1]->isEnabled());
    EXPECT_FALSE(items[5]->isEnabled());  // Delete Row
    EXPECT_FALSE(items[6]->isEnabled());  // Delete Column
    e.view().mdTableDeleteRow(nullptr);
    e.view().mdTableDeleteColumn(nullptr);
    EXPECT_EQ(*e.document, u"| A |\n| --- |\n| 1 |");
    const ActionSender seven = ActionSender::menuItem(7);
    e.view().mdTableAlign(&seven);
    EXPECT_EQ(*e.document, u"| A |\n| :--- |\n| 1 |");
}

TEST(EditorTables, TheMenuKeyInACellOpensTheTableMenuAndLeavesTheCaretWhereItIs)
{
    Editor e(u"| ha | hb |\n|---|---|\n| one | two |\n");
    e.caretAt(u"one", 3);
    // Qt places a keyboard menu at the caret's middle, which lies in the character before it.
    QWidget& view = e.view();
    const QPoint at = view.inputMethodQuery(Qt::ImCursorRectangle).toRect().center();
    QString shown;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            if (auto* menu = qobject_cast<QMenu*>(popup); menu && !menu->actions().isEmpty())
                shown = menu->actions().front()->text();
            popup->close();
        }
    });
    closer.start(0);
    QContextMenuEvent menu(QContextMenuEvent::Keyboard, at, view.mapToGlobal(at));
    QApplication::sendEvent(&view, &menu);
    closer.stop();
    EXPECT_EQ(shown, QStringLiteral("Insert Row Above"));
    type(e.view(), "X");
    EXPECT_EQ(u8(*e.document), "| ha | hb |\n| --- | --- |\n| oneX | two |\n");
}

TEST(EditorTables, TableActionsAtTheEndOfTheFileKeepItsFinalLineFeed)
{
    Editor e(u"intro\n\n| A |\n| - |\n| 1 |\n");
    e.caretAt(u"1");
    e.view().mdTableInsertRowBelow(nullptr);
    EXPECT_EQ(*e.document, u"intro\n\n| A |\n| --- |\n| 1 |\n|  |\n");
    e.caretAt(u"A");
    e.view().mdTableInsertColumnRight(nullptr);
    EXPECT_EQ(*e.document, u"intro\n\n| A |  |\n| --- | --- |\n| 1 |  |\n|  |  |\n");
}

TEST(EditorTables, TableActionsWorkInACRLFDocumentAndKeepItsLineEnds)
{
    Editor e(u"intro\r\n\r\n| A |\r\n| - |\r\n| 1 |\r\n");
    e.caretAt(u"1");
    ASSERT_TRUE(e.view().currentGrid().has_value());
    e.view().mdTableInsertRowBelow(nullptr);
    EXPECT_EQ(*e.document, u"intro\r\n\r\n| A |\r\n| --- |\r\n| 1 |\r\n|  |\r\n");
}

TEST(EditorTables, AnImageFromACellGoesAfterTheGrid)
{
    Editor e(u"| A |\n| --- |\n| 1 |\n\nafter");
    e.caretAt(u"1");
    e.view().mdImage(nullptr);
    EXPECT_TRUE(TextOps::contains(*e.document, u"| A |\n| --- |\n| 1 |\n"));
    EXPECT_TRUE(TextOps::contains(*e.document, u"![alt](url)"));
    EXPECT_FALSE(TextOps::contains(*e.document, u"| 1![alt]"));
}

TEST(EditorTables, TwoGridsAreToldApart)
{
    Editor e(u"");
    // Two grids one after another, with nothing between them.
    auto grid = [](const char16_t* header, const char16_t* cell) {
        PipeTable::Parsed table;
        table.header = {header};
        table.alignments = {TextAlignment::Natural};
        table.rows = {{cell}};
        return TableGrid::attributed(table, 14);
    };
    AttributedString both = grid(u"A", u"1");
    both.append(grid(u"B", u"2"));
    e.storage().replaceCharacters({0, 0}, both);
    e.caretAt(u"2");
    const auto second = e.view().currentGrid();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->table.header, std::vector<U16String>{u"B"});
    e.view().setSelectedRange({0, 0});
    const auto first = e.view().currentGrid();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->table.header, std::vector<U16String>{u"A"});
}

TEST(EditorTables, CopyingAGridPutsMarkdownOnTheClipboard)
{
    Editor e(u"Intro\n\n| A |\n| --- |\n| 1 |");
    e.view().selectAll();
    e.view().copy();
    EXPECT_EQ(Pasteboard::general().string(), std::optional<U16String>(u"Intro\n\n| A |\n| --- |\n| 1 |"));
    e.view().setSelectedRange({0, 5});
    e.view().copy();
    EXPECT_EQ(Pasteboard::general().string(), std::optional<U16String>(u"Intro"));
}

TEST(EditorTables, CuttingToTheLineUnderAGridAndPastingBackKeepsTheFile)
{
    // The selection ends with the grid's last line feed: the clipboard holds that line end.
    for (const U16String& eol : {U16String(u"\n"), U16String(u"\r\n")})
        for (const U16String& below : {U16String(u"\nBot"), U16String(u"Bot"), U16String(u"\n")}) {
            const U16String text = TextOps::replacingAll(u"Top\n\n| a | b |\n|---|---|\n| 1 | 2 |\n" + below + u"\n", u"\n", eol);
            SCOPED_TRACE(u8(text));
            Editor e(text);
            const int end = e.find(u"2") + 2;  // past the last cell's paragraph
            e.view().setSelectedRange({0, end});
            e.view().cut();
            EXPECT_EQ(Pasteboard::general().string(), text.substr(0, text.find(u"2 |") + 3 + eol.size()));
            e.view().paste();
            EXPECT_EQ(u8(*e.document), u8(text));
        }
}

// Undo returns the text and the selection to what they were just before `edit` (made after `setup`), Redo
// to what they were just after it: a letter or Backspace then does what it does there, and nothing else.
void expectUndoAndRedoThenKeys(const U16String& text, const std::function<void(Editor&)>& setup,
                               const std::function<void(Editor&)>& edit)
{
    using Step = std::function<void(Editor&)>;
    // Shift+Left grows or shrinks the selection by the end it was made from: the anchor must come back too.
    const std::pair<const char*, Step> keys[] = {{"a letter", [](Editor& e) { type(e.view(), "Q"); }},
                                                 {"Backspace", [](Editor& e) { key(e.view(), Qt::Key_Backspace); }},
                                                 {"Shift+Left and a letter", [](Editor& e) {
                                                      key(e.view(), Qt::Key_Left, {}, Qt::ShiftModifier);
                                                      type(e.view(), "Q");
                                                  }}};
    for (const auto& [name, press] : keys)
        for (const bool redone : {false, true}) {
            SCOPED_TRACE(std::string(name) + (redone ? " after Undo and Redo" : " after Undo"));
            Editor r(text);
            setup(r);
            if (redone)
                edit(r);
            press(r);
            Editor u(text);
            setup(u);
            const Range before = u.view().selectedRange();
            edit(u);
            const U16String after = *u.document;
            const Range caret = u.view().selectedRange();
            u.view().undo();
            EXPECT_EQ(u8(*u.document), u8(text));
            EXPECT_EQ(u.view().selectedRange(), before);
            if (redone) {
                u.view().redo();
                EXPECT_EQ(u8(*u.document), u8(after));
                EXPECT_EQ(u.view().selectedRange(), caret);
            }
            press(u);
            EXPECT_EQ(u8(*u.document), u8(*r.document));
        }
}

TEST(EditorTables, CopyCutAndPasteBackOfPartsOfAGrid)
{
    // A typed table: a cut rebuilds the grid, a paste back gives its own bytes again.
    const U16String text = u"Prose.\n\n| abc | def |\n|---|:-:|\n| 1 | 2 |\n| 3<br>7 | 4 |\n| 5 | 6 |\n\nAfter.\n";
    struct Case {
        const char16_t* from;
        int fromOffset;
        const char16_t* to;  // the selection ends at its start
        int toOffset;
        const char16_t* copied;
    };
    // Where selections start and end, in the view's text (a cell a paragraph, its lines paragraphs too).
    const Case cases[] = {
        {u"abc", 1, u"abc", 3, u"bc"},                                          // inside a cell
        {u"3\n7", 0, u"3\n7", 3, u"3\n7"},                                      // a cell's lines
        {u"abc", 1, u"def", 1, u"bc | d"},                                      // across cells
        {u"2\n3", 0, u"2\n3", 3, u"2 |\n| 3"},                                  // across rows
        {u"3\n7", 0, u"5\n6", 0, u"| 3<br>7 | 4 |\n"},                           // one body row
        {u"5\n6", 0, u"After", 0, u"| 5 | 6 |\n\n"},                             // the last row and the blank line
        {u"abc", 0, u"1\n2", 1, u"| abc | def |\n| --- | :---: |\n| 1"},         // the whole header
        {u"5\n6", 1, u"5\n6", 3, u" | 6 |"},                                     // a cell's end to its row's
        {u"6\n\nAfter", 1, u"After", 0, u"\n\n"},                                // the grid's end to the text's
        {u"ose", 0, u"After", 3, u"ose.\n\n| abc | def |\n|---|:-:|\n| 1 | 2 |\n| 3<br>7 | 4 |\n| 5 | 6 |\n\nAft"},
        {u"1\n2", 0, u"After", 2, u"| 1 | 2 |\n| 3<br>7 | 4 |\n| 5 | 6 |\n\nAf"},  // nearer the end than its length
    };
    // Cut, Delete or a letter typed over the selection, in a fresh editor.
    using Edit = std::function<void(Editor&)>;
    const std::vector<std::pair<const char*, Edit>> edits{
        {"cut", [](Editor& e) { e.view().cut(); }},
        {"deleted", [](Editor& e) { QTest::keyClick(&e.view(), Qt::Key_Delete); }},
        {"typed over", [](Editor& e) { type(e.view(), "x"); }}};
    for (const Case& c : cases) {
        SCOPED_TRACE(u8(c.copied));
        Editor e(text);
        const int from = e.find(c.from) + c.fromOffset, to = e.find(c.to) + c.toOffset;
        const Range selection = Range::fromTo(from, to);
        e.view().setSelectedRange(selection);
        e.view().copy();
        EXPECT_EQ(u8(Pasteboard::general().string().value_or(u"")), u8(c.copied));
        e.view().paste();
        EXPECT_EQ(u8(*e.document), u8(text));
        e.view().setSelectedRange(selection);
        e.view().cut();
        const Range cutCaret = e.view().selectedRange();
        e.view().paste();
        EXPECT_EQ(u8(*e.document), u8(text));
        // The paste back leaves the caret where the cut selection ended; its undo and redo, each where it found it.
        EXPECT_EQ(e.view().selectedRange(), (Range{to, 0}));
        e.view().undo();
        EXPECT_EQ(e.view().selectedRange(), cutCaret);
        e.view().redo();
        EXPECT_EQ(e.view().selectedRange(), (Range{to, 0}));
        // Undo of an edit over the selection selects it again and redo leaves the caret where the edit did,
        // never a whole grid: a letter then goes where it goes after the edit or over the selection.
        for (const auto& [name, edit] : edits) {
            SCOPED_TRACE(name);
            expectUndoAndRedoThenKeys(text, [&](Editor& u) { u.view().setSelectedRange(selection); }, edit);
        }
    }
    // Elsewhere: a cell's text goes into prose as typed text; whole rows go in as rows.
    Editor e(text);
    e.view().setSelectedRange({e.find(u"abc") + 1, 2});
    e.view().copy();
    e.caretAt(u".\n\nabc");
    e.view().paste();
    EXPECT_EQ(e.document->substr(0, 9), u"Prosebc.\n");
    e.view().setSelectedRange(Range::fromTo(e.find(u"3\n7"), e.find(u"5\n6")));
    e.view().copy();
    e.caretAt(u"1\n2");
    e.view().paste();
    e.caretAt(u"def", 3);
    e.view().paste();
    EXPECT_NE(e.document->find(u"| abc | def |\n| --- | :---: |\n| 3<br>7 | 4 |\n| 3<br>7 | 4 |\n| 1 | 2 |\n| 3<br>7 | 4 |\n"),
              U16String::npos) << u8(*e.document);
    e.view().setSelectedRange({e.find(u"3\n7"), 3});
    e.view().copy();
    e.caretAt(u"def", 1);
    e.view().paste();
    EXPECT_NE(e.document->find(u"| abc | d3<br>7ef |\n"), U16String::npos) << u8(*e.document);
    // Over a selection in a cell, rows go in where its removal leaves the caret, as one undo step.
    Editor over(text);
    over.view().setSelectedRange(Range::fromTo(over.find(u"3\n7"), over.find(u"5\n6")));
    over.view().copy();
    over.view().setSelectedRange({over.find(u"1\n2"), 1});
    over.view().paste();
    EXPECT_NE(over.document->find(u"| --- | :---: |\n| 3<br>7 | 4 |\n|  | 2 |\n| 3<br>7 | 4 |\n"), U16String::npos)
        << u8(*over.document);
    over.view().undo();
    EXPECT_EQ(u8(*over.document), u8(text));
    // Deleted, the cell's lines go with their break; pasted back, the file is as it was.
    Editor lines(text);
    lines.view().setSelectedRange({lines.find(u"3\n7"), 3});
    lines.view().copy();
    QTest::keyClick(&lines.view(), Qt::Key_Delete);
    lines.view().paste();
    EXPECT_EQ(u8(*lines.document), u8(text));
    // Dragged: a header cell's word goes into another cell or into prose as that word.
    for (const bool toCell : {true, false}) {
        Editor d(text);
        d.view().moveText(Range{d.find(u"def"), 3}, toCell ? d.find(u"4\n5") + 1 : d.find(u"After") + 5);
        EXPECT_NE(d.document->find(toCell ? u"| abc |  |\n| --- | :---: |\n| 1 | 2 |\n| 3<br>7 | 4def |\n"
                                          : u"| abc |  |\n| --- | :---: |\n| 1 | 2 |\n| 3<br>7 | 4 |\n| 5 | 6 |\n\nAfterdef.\n"),
                  U16String::npos) << u8(*d.document);
    }
}

// A drop of what Copy put on the clipboard, as a drag from another window brings it, at `index`.
void dropClipboard(Editor& e, int index)
{
    const QMimeData* board = QGuiApplication::clipboard()->mimeData();
    QMimeData mime;
    for (const QString& format : board->formats())
        mime.setData(format, board->data(format));
    e.view().layoutDocument();
    const QRectF caret = e.view().layoutManager()->caretRect(index);
    const QPointF at = e.inViewport(QPointF(caret.left() + 0.5, caret.center().y()));
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(e.view().viewport(), &enter);
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(e.view().viewport(), &drop);
}

TEST(EditorTables, PastedOrDroppedTablesEndWithTheBlankLineBeforeTheTextBelowAndTakeThePlacesIndent)
{
    const U16String grid = u"Top\n\n| a | b |\n|---|---|\n| 1 | 2 |\n| 3 | 4 |\n\nProse.\n";
    const U16String own = u"Top line here\n\n| abc | bee |\n|---|---|\n| one | two |\n| three | four |\n\nEnd | line.\n";
    const U16String nested = u"- outer\n  - inner\n\n    | a | b |\n    |---|---|\n    | 1 | 2 |\n\nProse here.\n";
    const U16String item = u"- item\n\nEnd.\n";
    const U16String foreign = u"| x | y |\n| --- | --- |\n| 1 | 2 |\n";
    const U16String places = u"Top line here\n\n| abc | bee |\n|---|---|\n| one | two |\n| three | four |\n\n"
                             u"- item\n- next\n\n> Quote\n> more\n\nPara\n\n\n\nLast";
    enum class Way { pasteRows, pasteForeign, dropRowsHere, dropRowsThere };
    // Texts found in the view's text, where each cell is a paragraph.
    struct Case {
        const char* name;
        const U16String& text;
        Way way;
        U16View from, to;  // the selection (or the dragged text): from the start of `from` to the start of `to`
        int toOffset;
        U16View at;   // where the caret stands or the text is dropped: `atOffset` from the start of this; with
        int atOffset; // -1, the start of the line above it; nothing, the text's end
        U16String expected;
        U16String typed = {};  // what "X" typed then makes of it, when asked
    };
    const U16String rows12 = u"| 1 | 2 |\n| --- | --- |\n";
    // The body rows of `places` as a table, after `leader`, `typed` at the end of the last cell; `places`
    // with `inserted` right after `after`.
    auto rows = [](U16View leader, U16View typed) {
        const U16String l(leader);
        return l + u"| one | two |\n" + l + u"| --- | --- |\n" + l + u"| three | four" + U16String(typed) + u" |";
    };
    auto pastedAt = [&](U16View after, const U16String& inserted) {
        return U16String(places).insert(places.find(after) + after.size(), inserted);
    };
    const Case cases[] = {
        {"rows over the grid to the blank line", grid, Way::pasteRows, u"a\n", u"Prose", -1, {}, 0,
         u"Top\n\n" + rows12 + u"\nProse.\n"},
        {"rows over the grid and the blank line", grid, Way::pasteRows, u"a\n", u"Prose", 0, {}, 0,
         u"Top\n\n" + rows12 + u"\nProse.\n"},
        {"rows over the grid to the next line's first letter", grid, Way::pasteRows, u"a\n", u"Prose", 1, {}, 0,
         u"Top\n\n" + rows12 + u"\nrose.\n"},
        {"a table over the grid and the blank line", grid, Way::pasteForeign, u"a\n", u"Prose", 0, {}, 0,
         u"Top\n\n" + foreign + u"\nProse.\n"},
        {"a table over the grid to the next line's first letter", grid, Way::pasteForeign, u"a\n", u"Prose", 1, {}, 0,
         u"Top\n\n" + foreign + u"\nrose.\n"},
        {"rows dropped onto the blank line under their grid", own, Way::dropRowsHere, u"one", u"four", 4, u"End", -1,
         u"Top line here\n\n| abc | bee |\n| --- | --- |\n\n| one | two |\n| --- | --- |\n| three | four |\n\nEnd | line.\n"},
        {"part of two rows dropped there", own, Way::dropRowsHere, u"ne\n", u"four", 2, u"End", -1,
         u"Top line here\n\n| abc | bee |\n| --- | --- |\n| o |  |\n|  | ur |\n\n"
         u"| ne | two |\n| --- | --- |\n| three | fo |\n\nEnd | line.\n"},
        {"a paragraph's end and a cell dropped there", own, Way::dropRowsHere, u"here", u"one", 1, u"End", -1,
         u"Top line \n\n|  |  |\n| --- | --- |\n| ne | two |\n| three | four |\n\n"
         u"here\n\n| abc | bee |\n| --- | --- |\n| o |  |\n\nEnd | line.\n"},
        {"a row of a nested item's table pasted after a paragraph", nested, Way::pasteRows, u"1\n", u"2\n", 2, u"here.", 5, nested + u"\n" + rows12 + u"\n"},
        {"the same on the empty last line", nested, Way::pasteRows, u"1\n", u"2\n", 2, {}, 0,
         nested + u"\n" + rows12},
        {"the same dropped from another window", nested, Way::dropRowsThere, u"1\n", u"2\n", 2, u"here.", 5,
         nested + u"\n" + rows12 + u"\n"},
        {"a table on the empty line after a list item", item, Way::pasteForeign, {}, {}, 0, u"End.", -1,
         u"- item\n\n" + foreign + u"\nEnd.\n"},
        // Pasted rows are the grid a fresh open shows, the caret at the end of their last cell (as text, in a quote).
        {"rows at a paragraph's end", places, Way::pasteRows, u"one", u"four", 4, u"Top line here", 13,
         pastedAt(u"Top line here", u"\n\n" + rows(u"", u"")), pastedAt(u"Top line here", u"\n\n" + rows(u"", u"X"))},
        {"rows with their line end at a paragraph's end above a blank line", places, Way::pasteRows, u"one", u"four", 5,
         u"Top line here", 13, pastedAt(u"Top line here", u"\n\n" + rows(u"", u"")),
         pastedAt(u"Top line here", u"\n\n" + rows(u"", u"X"))},
        {"rows at a list item's end", places, Way::pasteRows, u"one", u"four", 4, u"item", 4,
         pastedAt(u"- item", u"\n\n" + rows(u"  ", u"") + u"\n"), pastedAt(u"- item", u"\n\n" + rows(u"  ", u"X") + u"\n")},
        {"rows at a quote line's end", places, Way::pasteRows, u"one", u"four", 4, u"Quote", 5,
         pastedAt(u"> Quote", u"\n>\n" + rows(u"> ", u"") + u"\n>"), pastedAt(u"> Quote", u"\n>\n" + rows(u"> ", u"X") + u"\n>")},
        {"rows on a blank line between blank lines", places, Way::pasteRows, u"one", u"four", 4, u"\n\nLast", 0,
         pastedAt(u"Para\n\n", rows(u"", u"")), pastedAt(u"Para\n\n", rows(u"", u"X"))},
        {"rows at the end of the last line", places, Way::pasteRows, u"one", u"four", 4, {}, 0,
         places + u"\n\n" + rows(u"", u""), places + u"\n\n" + rows(u"", u"X")},
        {"rows at a line's start", places, Way::pasteRows, u"one", u"four", 4, u"Para", 0,
         pastedAt(u"more\n\n", rows(u"", u"") + u"\n\n"), pastedAt(u"more\n\n", rows(u"", u"") + u"\n\nX")},
    };
    for (const Case& c : cases) {
        for (const U16View variant : {U16View(u"LF"), U16View(u"CRLF"), U16View(u"BOM")}) {
            SCOPED_TRACE(std::string(c.name) + " in " + u8(variant));
            auto form = [&](const U16String& text) {
                if (variant == u"CRLF")
                    return TextOps::replacingAll(text, u"\n", u"\r\n");
                return variant == u"BOM" ? u"\xFEFF" + text : text;
            };
            const U16String text = form(c.text);
            Editor e(text);
            const U16String eol = variant == u"CRLF" ? u"\r\n" : u"\n";
            // Over the grid: body row "1 2" copied (another program's table is on the board already).
            Pasteboard::general().clearContents();
            Pasteboard::general().setString(foreign, Pasteboard::stringType);
            if (c.way == Way::pasteRows && &c.text == &grid) {
                e.view().setSelectedRange({e.find(u"1\n2"), 4});
                e.view().copy();
            }
            const Range selection = c.from.empty() ? Range{} : Range::fromTo(e.find(c.from), e.find(c.to) + c.toOffset);
            e.view().setSelectedRange(selection);
            if (&c.text == &nested || &c.text == &places)
                e.view().copy();
            const U16String atText = TextOps::replacingAll(U16String(c.at), u"\n", eol);
            const int at = c.at.empty() ? e.storage().length()
                : c.atOffset < 0      ? e.find(atText) - int(eol.size())
                                      : e.find(atText) + c.atOffset;
            if (c.way == Way::dropRowsHere) {
                e.view().moveText(selection, at);
            } else if (c.way == Way::dropRowsThere) {
                dropClipboard(e, at);
            } else {
                if (&c.text != &grid)
                    e.view().setSelectedRange({at, 0});
                e.view().paste();
            }
            EXPECT_EQ(u8(*e.document), u8(form(c.expected)));
            EXPECT_EQ(differential::compareWithOpened(e.storage(), *e.document), "");
            if (!c.typed.empty()) {
                type(e.view(), "X");
                EXPECT_EQ(u8(*e.document), u8(form(c.typed)));
                e.view().undo();
            }
            e.view().undo();
            EXPECT_EQ(u8(*e.document), u8(text));
        }
    }
    // Part of two rows dragged from another window onto a cell goes into the cells as Paste puts it there.
    Editor from(own), cells(u"| abc | bee |\n|---|---|\n| 7 | 8 |\n"), pastedCells(u"| abc | bee |\n|---|---|\n| 7 | 8 |\n");
    from.view().setSelectedRange(Range::fromTo(from.find(u"bc"), from.find(u"two") + 2));
    from.view().copy();
    pastedCells.caretAt(u"7\n", 1);
    pastedCells.view().paste();
    dropClipboard(cells, cells.find(u"7\n") + 1);
    EXPECT_EQ(u8(*cells.document), u8(*pastedCells.document));
    EXPECT_EQ(u8(*cells.document), "| abc | bee |\n| --- | --- |\n| 7bc | bee8 |\n| one | tw |\n");
}

TEST(EditorTables, CutThenPasteOfAnySelectionGivesBackTheFile)
{
    // Copy then Paste over the same selection changes nothing either; nor do Copy, Delete (or Backspace)
    // and Paste, whose undo and redo give the text between and the file again.
    for (const U16View text : {U16View(u"Top\n\n| a | b |\n|---|---|\n| 1 | 2 |\n| 3<br>x | 4 |\n\nEnd\n"),
                               U16View(u"\xFEFFTop\r\n\r\n| a | b |\r\n|---|---|\r\n| 1 | 2 |\r\n\r\n| c |\r\n|-|\r\n| 3 |"),
                               U16View(u"- i\n\n  | a | b |\n  |---|---|\n  | 1 | 2 |\n\n- j\n"),
                               U16View(u"Top\r\r| a | b |\r|---|---|\r| 1 | 2 |\r"),
                               U16View(u"| a | b |\n|---|---|\n| 1 | 2 |\nText\n")}) {
        Editor e(text);
        const int n = e.storage().length();
        for (int from = 0; from < n; ++from)
            for (int to = from + 1; to <= n; ++to) {
                for (const char* way : {"copied ", "cut ", "deleted ", "backspaced "}) {
                    const bool cut = way[0] == 'c' && way[1] == 'u', removes = way[0] == 'd' || way[0] == 'b';
                    e.view().setSelectedRange(Range::fromTo(from, to));
                    cut ? e.view().cut() : e.view().copy();
                    if (removes)
                        QTest::keyClick(&e.view(), way[0] == 'd' ? Qt::Key_Delete : Qt::Key_Backspace);
                    const U16String removed = *e.document;
                    e.view().paste();
                    ASSERT_EQ(u8(*e.document), u8(text)) << way << from << "+" << to - from;
                    if (!removes)
                        continue;
                    e.view().undo();
                    ASSERT_EQ(u8(*e.document), u8(removed)) << "undone, " << way << from << "+" << to - from;
                    e.view().redo();
                    ASSERT_EQ(u8(*e.document), u8(text)) << "redone, " << way << from << "+" << to - from;
                }
            }
    }
}

// ---- Pictures ----

QImage picture()
{
    QImage image(4, 3, QImage::Format_RGB32);
    image.fill(Qt::red);
    return image;
}

TEST(EditorPictures, APastedScreenshotIsStoredBesideTheSavedDocument)
{
    TempDirectory folder;
    Editor e(u"para");
    e.host->setWindowFilePath(QString::fromStdString((folder.path() / "note.md").string()));
    e.view().setSelectedRange({4, 0});
    QApplication::clipboard()->setImage(picture());
    e.view().paste();
    EXPECT_EQ(*e.document, u"para\n\n![](images/image.png)\n");
    EXPECT_TRUE(fs::exists(folder.path() / "images" / "image.png"));
    e.view().paste();
    EXPECT_TRUE(fs::exists(folder.path() / "images" / "image-1.png"));
    EXPECT_TRUE(TextOps::contains(*e.document, u"![](images/image-1.png)"));
    EXPECT_TRUE(e.alerts.empty());
}

TEST(EditorPictures, AnUnsavedDocumentRefusesAPicture)
{
    Editor e(u"para");
    QApplication::clipboard()->setImage(picture());
    e.view().paste();
    EXPECT_EQ(*e.document, u"para");
    ASSERT_EQ(e.alerts.size(), 1u);
    EXPECT_EQ(e.alerts.front(), u"Save the Document First");
    EXPECT_FALSE(e.alertWarnings.front());
}

// A picture that cannot be written is refused with its file and the system's reason, as a
// save is: here a file named "images" is in the way of the folder.
TEST(EditorPictures, APictureThatCannotBeWrittenNamesTheCause)
{
    TempDirectory folder;
    folder.write("images", "not a folder");
    Editor e(u"para");
    e.host->setWindowFilePath(QString::fromStdString((folder.path() / "note.md").string()));
    QApplication::clipboard()->setImage(picture());
    e.view().paste();
    EXPECT_EQ(*e.document, u"para");
    ASSERT_EQ(e.alertMessages.size(), 1u);
    EXPECT_EQ(u8(e.alertMessages.front()), "The picture \u201Cimage.png\u201D couldn't be written to the \u201Cimages\u201D "
                                            "folder beside this document: Not a directory.");
}

TEST(EditorPictures, TextOnTheClipboardWinsOverAPicture)
{
    Editor e(u"");
    auto* mime = new QMimeData;
    mime->setText("words");
    mime->setImageData(picture());
    QApplication::clipboard()->setMimeData(mime);
    e.view().paste();
    EXPECT_EQ(*e.document, u"words");
}

TEST(EditorPictures, DroppedFilesTakeTheFirstPictureAndKeepRelativePaths)
{
    TempDirectory folder;
    const fs::path inside = folder.write("pics/cat.png", "\x89PNG");
    TempDirectory elsewhere;
    const fs::path outside = elsewhere.write("dog.jpg", "jpg");
    const fs::path second = elsewhere.write("bird.png", "png");
    Editor e(u"one two");
    e.host->setWindowFilePath(QString::fromStdString((folder.path() / "doc.md").string()));

    QMimeData relative;
    relative.setUrls({QUrl::fromLocalFile(QString::fromStdString(inside.string()))});
    EXPECT_TRUE(e.view().pasteboardHasImage(relative));
    const auto rel = e.view().imageMarkdown(relative);
    EXPECT_EQ(rel.kind, MarkdownTextView::ImageDrop::Kind::markdown);
    EXPECT_EQ(rel.text, u"![](pics/cat.png)");
    EXPECT_FALSE(fs::exists(folder.path() / "images"));

    QMimeData many;
    many.setUrls({QUrl::fromLocalFile(QString::fromStdString(outside.string())),
                  QUrl::fromLocalFile(QString::fromStdString(second.string()))});
    const auto copied = e.view().imageMarkdown(many);
    EXPECT_EQ(copied.text, u"![](images/dog.jpg)");
    EXPECT_TRUE(fs::exists(folder.path() / "images" / "dog.jpg"));
    EXPECT_FALSE(fs::exists(folder.path() / "images" / "bird.png"));

    // A name that is not UTF-8 comes as escapes in its address, as file managers write it, or as
    // its bytes, as the system's clipboard hands it on: each names the file's bytes.
    const fs::path unnamed = elsewhere.write("n\xFF\xFE.png", "png");
    const std::string escaped = Url::fileURL(unnamed.string()).string();
    EXPECT_EQ(FilePath::localFiles(QByteArray::fromStdString("# a comment\r\n" + escaped + "\r\nfile://" + unnamed.string()
                                                             + "\nfile://localhost" + unnamed.string() + "\nhttps://x.org/a.png\n")),
              std::vector<fs::path>(3, unnamed));
    QMimeData named;
    named.setData(QStringLiteral("text/uri-list"), QByteArray::fromStdString(escaped + "\r\n"));
    EXPECT_EQ(e.view().imageMarkdown(named).text, u"![](images/n%FF%FE.png)");
    EXPECT_TRUE(fs::exists(folder.path() / "images" / "n\xFF\xFE.png"));

    QMimeData pdf;
    pdf.setUrls({QUrl::fromLocalFile("/tmp/paper.pdf")});
    EXPECT_FALSE(e.view().pasteboardHasImage(pdf));
    EXPECT_EQ(e.view().imageMarkdown(pdf).kind, MarkdownTextView::ImageDrop::Kind::none);

    // Dropped mid-paragraph: the paragraph is split around the picture line, a blank line on either side.
    e.view().insertImageBlock(u"![](pics/cat.png)", 3);
    EXPECT_EQ(*e.document, u"one\n\n![](pics/cat.png)\n\ntwo");
    e.view().insertImageBlock(u"not an image", 0);
    EXPECT_EQ(*e.document, u"one\n\n![](pics/cat.png)\n\ntwo");
}

TEST(EditorPictures, APictureDroppedOnACellGoesAfterTheGrid)
{
    Editor e(u"| A |\n| --- |\n| 1 |");
    e.view().insertImageBlock(u"![](x.png)", e.find(u"1"));
    EXPECT_EQ(*e.document, u"| A |\n| --- |\n| 1 |\n\n![](x.png)\n");
    // A grid in a list item: the picture stays in the item, indented as the rows are.
    Editor item(u"- item\n\n  | A |\n  | --- |\n  | 1 |\n\n- next");
    item.view().insertImageBlock(u"![](x.png)", item.find(u"1"));
    EXPECT_EQ(*item.document, u"- item\n\n  | A |\n  | --- |\n  | 1 |\n\n  ![](x.png)\n\n- next");
}

TEST(EditorPictures, APictureDroppedInCodeGoesBelowTheCodeBlock)
{
    // "^" marks the drop; a fence that never closes refuses the picture.
    const std::pair<const char16_t*, const char16_t*> cases[] = {
        {u"```\na^b\n```\n\nAfter\n", u"```\nab\n```\n\n![](x.png)\n\nAfter\n"},
        {u"- item\n  ~~~\n  co^de\n  ~~~\n- next\n", u"- item\n  ~~~\n  code\n  ~~~\n\n  ![](x.png)\n\n- next\n"},
        {u"> ```\n> co^de\n> ```\n", u"> ```\n> code\n> ```\n>\n> ![](x.png)\n"},
        {u"Text\n\n    co^de\n", u"Text\n\n    code\n\n![](x.png)\n"},
        {u"```\nco^de\n", u"```\ncode\n"},
    };
    for (const auto& [before, after] : cases) {
        U16String text = before;
        const size_t at = text.find(u'^');
        text.erase(at, 1);
        SCOPED_TRACE(u8(text));
        Editor e(text);
        e.view().insertImageBlock(u"![](x.png)", int(at));
        EXPECT_EQ(u8(*e.document), u8(after));
        // The caret ends the picture's line.
        if (*e.document != text) {
            EXPECT_EQ(e.view().selectedRange(), (Range{int(e.document->find(u".png)") + 5), 0}));
        }
    }
}

} // namespace
} // namespace velkin

namespace velkin {
namespace {

TEST(EditorRobustness, EditsOutsideTheTextChangeNothing)
{
    Editor e(u"abc");
    e.view().setAllowsUndo(true);
    e.view().apply(TextEdit{{2, 5}, u"x", {0, 0}});
    e.view().apply(TextEdit{{-1, 1}, u"x", {0, 0}});
    e.view().apply(std::nullopt);
    EXPECT_EQ(*e.document, u"abc");
    // A selection past the new end lands at the end.
    e.view().apply(TextEdit{{0, 3}, u"z", {10, 4}});
    EXPECT_EQ(*e.document, u"z");
    EXPECT_EQ(e.view().selectedRange(), (Range{1, 0}));
}

// Random keys, clicks and commands over hostile text: nothing crashes, and the
// document always holds what the storage writes back.
// (When a picture's load ends decides when a restyle runs; this once caught a
// collapse that took a cell's first character out of its grid.)
TEST(EditorRobustness, RandomEditingKeepsTheDocumentInStep)
{
    const U16String hostile = U16String(u"# T\n\n| A | B |\n| --- | --- |\n| 1 | \U0001F680 |\n\n- [ ] a :tada:\n")
        + U16String(1, char16_t(0xD800)) + u"x" + U16String(1, char16_t(0xDC00))
        + u"\r\n```\n:x:\n![i](data:,)\n`#fff`\n> [!NOTE]\n> q[^1]\n\n[^1]: n\n";
    Editor e(hostile);
    e.view().setAllowsUndo(true);
    e.show();
    unsigned seed = 7;
    auto next = [&](unsigned bound) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % bound;
    };
    const int keys[] = {Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down, Qt::Key_Backspace, Qt::Key_Delete,
                        Qt::Key_Return, Qt::Key_Home, Qt::Key_End, Qt::Key_Tab, Qt::Key_Escape, Qt::Key_PageDown};
    const char* texts[] = {"a", ":", "|", "[", "]", "x", "\xF0\x9F\x98\x80", "`", "#", " "};
    for (int step = 0; step < 600; ++step) {
        const int n = int(e.view().string().size());
        switch (next(8)) {
        case 0:
        case 1:
            key(e.view(), keys[next(12)], {}, next(3) == 0 ? Qt::ShiftModifier : Qt::NoModifier);
            break;
        case 2:
        case 3:
            type(e.view(), QString::fromUtf8(texts[next(10)]));
            break;
        case 4:
            e.view().setSelectedRange({int(next(unsigned(n + 2))), int(next(6))});
            break;
        case 5:
            click(e.view(), QPointF(next(500), next(400)));
            break;
        case 6: {
            void (MarkdownTextView::*actions[])(const ActionSender*) = {
                &MarkdownTextView::mdBold, &MarkdownTextView::mdInsertTable, &MarkdownTextView::mdTableAddRow,
                &MarkdownTextView::mdTableDeleteColumn, &MarkdownTextView::mdImage,
                &MarkdownTextView::mdTableInsertRowAbove, &MarkdownTextView::mdApplyHeading};
            (e.view().*actions[next(7)])(nullptr);
            break;
        }
        default:
            if (next(2))
                e.view().undo();
            else
                e.view().redo();
            break;
        }
        ASSERT_EQ(*e.document, TableGrid::serialize(e.storage())) << "after step " << step;
        const Range s = e.view().selectedRange();
        ASSERT_LE(s.end(), e.storage().length());
    }
}

} // namespace
} // namespace velkin

namespace velkin {
namespace {

TEST(EditorTables, AGridAtEitherEndOfTheTextIsFoundWhole)
{
    Editor e(u"| A | B |\n| --- | --- |\n| 1 | 2 |");
    const int length = e.storage().length();
    e.view().setSelectedRange({0, 0});
    const auto fromFirst = e.view().currentGrid();
    ASSERT_TRUE(fromFirst);
    EXPECT_EQ(fromFirst->range, (Range{0, length}));
    EXPECT_EQ(fromFirst->row, 0);
    e.caretAt(u"2");
    const auto fromLast = e.view().currentGrid();
    ASSERT_TRUE(fromLast);
    EXPECT_EQ(fromLast->range, (Range{0, length}));
    EXPECT_EQ(fromLast->row, 1);
    EXPECT_EQ(fromLast->column, 1);
    EXPECT_EQ(fromLast->table.rows, (std::vector<std::vector<U16String>>{{u"1", u"2"}}));
}

TEST(EditorActions, AnUnknownExportTagDoesNothing)
{
    Editor e(u"text");
    const ActionSender three = ActionSender::menuItem(3);
    e.view().mdExport(&three);
    e.view().mdExport(-1);
    EXPECT_EQ(*e.document, u"text");
}

TEST(EditorActions, MenuActionsArriveAsInvokableMethods)
{
    Editor e(u"word");
    e.view().setSelectedRange({0, 4});
    ASSERT_TRUE(QMetaObject::invokeMethod(&e.view(), "mdBold", Q_ARG(int, 0)));
    EXPECT_EQ(*e.document, u"**word**");
    ASSERT_TRUE(QMetaObject::invokeMethod(&e.view(), "mdApplyHeading", Q_ARG(int, 3)));
    EXPECT_EQ(*e.document, u"### **word**");
}

} // namespace
} // namespace velkin

namespace velkin {
namespace {

TEST(EditorUndo, EveryEditsUndoAndRedoPutBackTheSelectionOfTheirMoment)
{
    const U16String table = u"| ha | hb |\n|---|---|\n| one | two |\n| three | four |\n";
    const U16String quoted = u"> Quote\n>\n> | ha | hb |\n> |---|---|\n> | one | two |\n> | three | four |\n\nText\n";
    const U16String prose = u"alpha one\nbeta two\ngamma three\n";
    const U16String item = u"- item\n\n  | ha | hb |\n  |---|---|\n  | one | two |\n\n- after\n";
    U16String apart;  // far enough that Replace All changes the matches on either side separately
    for (int i = 0; i < 1200; ++i)
        apart += u"xyz xyz\n";
    using Step = std::function<void(Editor&)>;
    auto caret = [](U16View at, int offset) { return Step([at, offset](Editor& e) { e.caretAt(at, offset); }); };
    auto select = [](U16View at, int offset, int length) {
        return Step([=](Editor& e) { e.view().setSelectedRange({e.find(at) + offset, length}); });
    };
    // The grid's two body rows copied as a user selects them, then the caret `offset` into `at`.
    auto rowsCopied = [](U16View at, int offset) {
        return Step([=](Editor& e) {
            key(e.view(), Qt::Key_Home, {}, Qt::ControlModifier);
            key(e.view(), Qt::Key_Down);
            key(e.view(), Qt::Key_Home);
            key(e.view(), Qt::Key_Down, {}, Qt::ShiftModifier);
            key(e.view(), Qt::Key_Down, {}, Qt::ShiftModifier);
            e.view().copy();
            ASSERT_EQ(Pasteboard::general().string().value_or(u"").find(u"| one | two |"), 0u);
            e.caretAt(at, offset);
        });
    };
    const Step paste = [](Editor& e) { e.view().paste(); };
    const Step cut = [](Editor& e) { e.view().cut(); };
    const Step newline = [](Editor& e) { key(e.view(), Qt::Key_Return); };
    const Step typing = [](Editor& e) { type(e.view(), "abc"); };
    const Step word = [](Editor& e) { type(e.view(), "new"); };
    const Step bold = [](Editor& e) { e.view().mdBold(nullptr); };
    const Step deletes = [](Editor& e) {
        for (int i = 0; i < 3; ++i)
            key(e.view(), Qt::Key_Delete);
    };
    const Step all = [](Editor& e) { e.view().selectAll(); };
    const Step composed = [](Editor& e) {
        QInputMethodEvent composing("k", {});
        QApplication::sendEvent(&e.view(), &composing);
        QInputMethodEvent commit;
        commit.setCommitString(QString::fromUtf8("か"));
        QApplication::sendEvent(&e.view(), &commit);
    };
    // From the text's start, `lines` lines down with Shift held.
    auto selectDown = [](int lines) {
        return Step([=](Editor& e) {
            key(e.view(), Qt::Key_Home, {}, Qt::ControlModifier);
            for (int i = 0; i < lines; ++i)
                key(e.view(), Qt::Key_Down, {}, Qt::ShiftModifier);
        });
    };
    // `length` characters before the end of `at` selected leftwards, as Shift+Left makes it.
    auto selectLeftwards = [](U16View at, int length) {
        return Step([=](Editor& e) {
            e.caretAt(at, int(at.size()));
            for (int i = 0; i < length; ++i)
                key(e.view(), Qt::Key_Left, {}, Qt::ShiftModifier);
        });
    };
    // The caret at `at`, then `found` typed into the find bar (which selects its first match) or only set.
    auto find = [](U16View at, U16View found, bool typed) {
        return Step([=](Editor& e) {
            e.caretAt(at);
            if (typed)
                e.view().findIncrementally(found);
            else
                e.view().setFindString(found);
        });
    };
    auto replaceAll = [](U16View by) { return Step([=](Editor& e) { e.view().replaceAllMatches(by); }); };
    auto drop = [](U16View at, int offset) {
        return Step([=](Editor& e) { e.view().moveText(e.view().selectedRange(), e.find(at) + offset); });
    };
    struct Row {
        const char* name;
        U16String text;
        Step setup;
        Step edit;
    };
    const Row rows[] = {
        {"typing", prose, caret(u" two", 0), typing},
        {"typing in a cell of an item", item, caret(u"one", 3), typing},
        {"Return in an item", u"- next\n- after\n", caret(u"next", 4), newline},
        {"Return in a cell", table, caret(u"one", 3), newline},
        {"Return in a quoted row", quoted, caret(u"two |", 5), newline},
        {"rows pasted at an item's end", table + u"\n- next\n- after\n", rowsCopied(u"next", 4), paste},
        {"rows pasted at a quote's line end", table + u"\n> Quote\n> more\n", rowsCopied(u"Quote", 5), paste},
        {"rows pasted at the last line's end", table + u"\n- next\n- after\n", rowsCopied(u"after", 5), paste},
        {"rows pasted at a caret in prose", table + u"\nSome words\n", rowsCopied(u" words", 0), paste},
        {"a cut", prose, select(u"beta", 0, 4), cut},
        {"a cut in a cell", table, select(u"three", 1, 3), cut},
        {"Replace All from a match", prose, find(u"alpha", u"a", true), replaceAll(u"4")},
        {"Replace All from a caret", prose, find(u" two", u"a", false), replaceAll(u"4")},
        {"Replace All in a grid", table, find(u"ha", u"o", true), replaceAll(u"0")},
        {"Replace All in a quote", quoted, find(u"Quote", u"e", true), replaceAll(u"E")},
        {"Replace All far apart", prose + apart + prose, find(u"beta", u"a", true), replaceAll(u"4")},
        {"Replace All in grids far apart", table + apart + table, find(u"ha", u"o", true), replaceAll(u"0")},
        {"a drop", prose, select(u"beta", 0, 5), drop(u"three", 5)},
        {"a drop backwards", prose, select(u"three", 0, 5), drop(u"alpha", 0)},
        {"a drop of a cell's text", table + u"\nText\n", select(u"three", 0, 5), drop(u"Text", 4)},
        {"a word over all of a text with a grid", u"Title\n\n" + table + u"\nEnd\n", all, word},
        {"a word from the first line into the header", u"Title\n\n" + table + u"\nEnd\n", selectDown(3), word},
        {"a word from a cell to the text under its grid", table + u"\nEnd\n", select(u"four", 2, 6), word},
        {"a composition over all of a text with a grid", u"Title\n\n" + table + u"\nEnd\n", all, composed},
        {"a cut of all of a text with a grid", u"Title\n\n" + table + u"\nEnd\n", all, cut},
        {"a cut of all of a text that a grid starts", table + u"\nEnd\n", all, cut},
        {"a run of Delete", prose, caret(u"beta", 0), deletes},
        {"a run of Delete in a cell", table, caret(u"three", 1), deletes},
        {"bold over a leftwards selection", u"Hello world here\n", selectLeftwards(u"world", 5), bold},
        {"typing over a leftwards selection", u"Hello world here\n", selectLeftwards(u"world", 5), typing},
        {"a cut of a leftwards selection", u"Hello world here\n", selectLeftwards(u"world", 5), cut},
        {"a composition over a leftwards selection", u"Hello world here\n", selectLeftwards(u"world", 5), composed},
    };
    for (const U16View eol : {U16View(u"\n"), U16View(u"\r\n")})
        for (const Row& row : rows) {
            const U16String text = TextOps::replacingAll(row.text, u"\n", eol);
            SCOPED_TRACE(std::string(row.name) + (eol.size() > 1 ? ", CRLF" : ""));
            expectUndoAndRedoThenKeys(text, row.setup, row.edit);
        }
}

TEST(EditorUndo, AZoomKeepsTheHistoryAndANewTextFromOutsideDropsIt)
{
    Editor e(u"one");
    e.view().setSelectedRange({3, 0});
    type(e.view(), " two");
    e.host->setEditor(e.editor(1.5));
    e.view().undo();
    EXPECT_EQ(*e.document, u"one");
    e.view().redo();
    EXPECT_EQ(*e.document, u"one two");
    *e.document = u"reverted from disk";
    e.host->setEditor(e.editor(1.5));
    e.view().undo();
    EXPECT_EQ(*e.document, u"reverted from disk");
    EXPECT_EQ(e.view().string(), u"reverted from disk");
}

} // namespace
} // namespace velkin

namespace velkin {
namespace {

TEST(EditorTables, DeletingNeverMovesTextAcrossAGridEdge)
{
    const U16String markdown = u"before\n\n| A | B |\n| --- | --- |\n| 1 | 2 |\n\nafter";
    Editor e(markdown);
    e.caretAt(u"B");
    key(e.view(), Qt::Key_Backspace);  // at the start of a cell
    EXPECT_EQ(*e.document, markdown);
    EXPECT_EQ(e.view().selectedRange(), (Range{e.find(u"B") - 1, 0}));
    e.caretAt(u"2", 1);
    key(e.view(), Qt::Key_Delete);  // at the end of the last cell
    EXPECT_EQ(*e.document, markdown);
    e.caretAt(u"after");
    key(e.view(), Qt::Key_Backspace);  // just after the grid
    key(e.view(), Qt::Key_Backspace, {}, Qt::ControlModifier);
    EXPECT_EQ(*e.document, markdown);
    e.caretAt(u"A");
    key(e.view(), Qt::Key_Backspace);  // the first cell, after the blank line
    EXPECT_EQ(*e.document, markdown);
    e.caretAt(u"1", 1);
    key(e.view(), Qt::Key_Backspace);  // inside a cell deleting works as ever
    EXPECT_EQ(*e.document, u"before\n\n| A | B |\n| --- | --- |\n|  | 2 |\n\nafter");
}

} // namespace
} // namespace velkin

namespace velkin {
namespace {

using namespace testing_editor;

// ---- Grids from the keyboard ----

TEST(EditorGridKeys, TabAndShiftTabMoveBetweenCellsAndNeverTypeATab)
{
    Editor e(u"intro\n\n| A | B |\n| --- | --- |\n| 1 | 2 |");
    e.caretAt(u"A", 1);
    key(e.view(), Qt::Key_Tab);
    type(e.view(), "x");
    EXPECT_EQ(*e.document, u"intro\n\n| A | Bx |\n| --- | --- |\n| 1 | 2 |");
    key(e.view(), Qt::Key_Tab);
    key(e.view(), Qt::Key_Tab);
    key(e.view(), Qt::Key_Tab);  // the last cell: the caret stays
    type(e.view(), "y");
    key(e.view(), Qt::Key_Backtab, {}, Qt::ShiftModifier);
    type(e.view(), "z");
    EXPECT_EQ(*e.document, u"intro\n\n| A | Bx |\n| --- | --- |\n| 1z | 2y |");
    for (int i = 0; i < 4; ++i)  // past the first cell it stays there
        key(e.view(), Qt::Key_Backtab, {}, Qt::ShiftModifier);
    type(e.view(), "w");
    EXPECT_EQ(*e.document, u"intro\n\n| Aw | Bx |\n| --- | --- |\n| 1z | 2y |");
    // Outside a grid Tab still types a tab.
    e.view().setSelectedRange({5, 0});
    key(e.view(), Qt::Key_Tab);
    EXPECT_EQ(e.document->substr(0, 7), u"intro\t\n");
}

TEST(EditorGridKeys, RowAndColumnCommandsKeepTheCaretInItsCell)
{
    Editor e(u"| Feature | B |\n| --- | --- |\n| 1 | 2 |");
    MarkdownTextView& v = e.view();
    // A new row takes the caret, in the caret's column; the header is left alone.
    e.caretAt(u"Feature", 3);
    v.mdTableInsertRowBelow(0);
    type(v, "NewRow");
    EXPECT_EQ(*e.document, u"| Feature | B |\n| --- | --- |\n| NewRow |  |\n| 1 | 2 |");
    e.caretAt(u"2", 1);
    v.mdTableInsertRowAbove(0);
    type(v, "up");
    EXPECT_EQ(*e.document, u"| Feature | B |\n| --- | --- |\n| NewRow |  |\n|  | up |\n| 1 | 2 |");
    e.caretAt(u"1", 1);
    v.mdTableAddRow(0);
    type(v, "end");
    EXPECT_EQ(*e.document, u"| Feature | B |\n| --- | --- |\n| NewRow |  |\n|  | up |\n| 1 | 2 |\n| end |  |");

    // Column commands leave the caret where it was in its own cell.
    e.caretAt(u"Feature", 3);
    v.mdTableInsertColumnLeft(0);
    type(v, "X");
    EXPECT_TRUE(TextOps::contains(*e.document, u"|  | FeaXture | B |")) << u8(*e.document);
    v.mdTableInsertColumnRight(0);
    v.mdTableAddColumn(0);
    v.mdTableAlign(2);
    type(v, "Y");
    EXPECT_TRUE(TextOps::contains(*e.document, u"|  | FeaXYture |  | B |  |")) << u8(*e.document);
    EXPECT_TRUE(TextOps::contains(*e.document, u"| --- | ---: | --- | --- | --- |")) << u8(*e.document);

    // Deleting the caret's column or row leaves it in the neighbour that took its place.
    e.caretAt(u"up");
    v.mdTableDeleteRow(0);
    type(v, "R");
    EXPECT_TRUE(TextOps::contains(*e.document, u"|  | NewRow |  |  |  |\n|  | 1 |  | R2 |  |")) << u8(*e.document);
    e.caretAt(u"FeaXYture", 2);
    v.mdTableDeleteColumn(0);
    type(v, "C");
    EXPECT_TRUE(TextOps::contains(*e.document, u"|  | C | B |  |\n")) << u8(*e.document);
}

TEST(EditorGridKeys, UndoAndRedoOfATableCommandPutBackTheCaretEachFound)
{
    const U16String text = u"Intro\n\n| a | b |\n| --- | --- |\n| 1 | 2 |\n\nText\n";
    for (const char* command : {"mdTableAddRow", "mdTableAddColumn", "mdTableAlign", "mdTableInsertRowAbove",
                                "mdTableInsertRowBelow", "mdTableInsertColumnLeft", "mdTableInsertColumnRight",
                                "mdTableDeleteRow", "mdTableDeleteColumn"}) {
        SCOPED_TRACE(command);
        Editor e(text);
        e.caretAt(u"1", 1);
        const int caret = e.view().selectedRange().location;
        QMetaObject::invokeMethod(&e.view(), command, Q_ARG(int, 1));
        ASSERT_NE(*e.document, text);
        const U16String changed = *e.document;
        const Range after = e.view().selectedRange();
        e.view().undo();
        EXPECT_EQ(e.view().selectedRange(), (Range{caret, 0}));
        e.view().redo();
        EXPECT_EQ(*e.document, changed);
        EXPECT_EQ(e.view().selectedRange(), after);
        e.view().undo();
        type(e.view(), "Q");
        EXPECT_EQ(u8(*e.document), u8(TextOps::replacingAll(text, u"| 1 |", u"| 1Q |")));
    }
    // Redo of Insert ▸ Table, as a grid or as a quotation's text, leaves the caret in the first cell.
    for (const char16_t* text : {u"Intro\n", u"> Intro\n"}) {
        Editor e(text);
        e.view().setSelectedRange({int(std::u16string_view(text).size()) - 1, 0});
        e.view().mdInsertTable(nullptr);
        const Range inCell = e.view().selectedRange();
        e.view().undo();
        e.view().redo();
        EXPECT_EQ(e.view().selectedRange(), inCell) << u8(text);
    }
}

TEST(EditorGridKeys, ReturnInAListLikeCellWritesNoLeader)
{
    for (const U16String cell : {u"- x", u"1. x", u"> x", u"* [ ] x", u"+ x"}) {
        // The list-like cell as header, as a body cell and as the last cell of the text.
        const U16String text = u"| " + cell + u" | b |\n| --- | --- |\n| " + cell + u" | " + cell + u" |";
        Editor e(text);
        e.show();
        for (int nth = 0; nth < 3; ++nth) {
            int at = -1;
            for (int i = 0; i <= nth; ++i)
                at = TextOps::find(U16View(e.view().string()).substr(size_t(at + 1)), cell) + at + 1;
            e.view().setSelectedRange({at + int(cell.size()), 0});
            key(e.view(), Qt::Key_Return, QStringLiteral("\r"));
            type(e.view(), "z");
        }
        const U16String expected = u"| " + cell + u"<br>z | b |\n| --- | --- |\n| " + cell + u"<br>z | " + cell
            + u"<br>z |";
        EXPECT_EQ(*e.document, expected) << u8(cell);
    }
}

} // namespace
} // namespace velkin

namespace velkin {
namespace {

using namespace testing_editor;

// Drops a payload on the viewport at the start of the text, as a drag would.
bool drop(MarkdownTextView& view, const QMimeData& mime)
{
    QDragEnterEvent enter(QPoint(2, 2), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent event(QPointF(2, 2), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &event);
    return event.isAccepted();
}

QMimeData* filePayload(const std::filesystem::path& file)
{
    auto* mime = new QMimeData;
    mime->setUrls({QUrl::fromLocalFile(QString::fromStdString(file.string()))});
    return mime;
}

TEST(EditorPictures, NamesWithSpacesAndParenthesesAreInsertedInAngleBrackets)
{
    TempDirectory folder;
    TempDirectory elsewhere;
    const auto photo = elsewhere.write("my photo.png", "png");
    const auto chart = elsewhere.write("chart (2).png", "png");
    const auto inside = folder.write("pics/a b.png", "png");
    Editor e(u"text");
    e.host->setWindowFilePath(QString::fromStdString((folder.path() / "doc.md").string()));
    e.view().resize(500, 400);

    std::unique_ptr<QMimeData> dropped(filePayload(photo));
    EXPECT_TRUE(drop(e.view(), *dropped));
    EXPECT_TRUE(TextOps::contains(*e.document, u"![](<images/my photo.png>)")) << u8(*e.document);
    EXPECT_TRUE(std::filesystem::exists(folder.path() / "images" / "my photo.png"));

    e.view().setSelectedRange({int(e.view().string().size()), 0});
    // Copied in a file manager: the file's address, and its path as text.
    QMimeData* copied = filePayload(chart);
    copied->setText(QString::fromStdString(chart.string()));
    QApplication::clipboard()->setMimeData(copied);
    e.view().paste();
    EXPECT_TRUE(TextOps::contains(*e.document, u"![](<images/chart (2).png>)")) << u8(*e.document);
    EXPECT_TRUE(std::filesystem::exists(folder.path() / "images" / "chart (2).png"));

    std::unique_ptr<QMimeData> relative(filePayload(inside));
    EXPECT_TRUE(drop(e.view(), *relative));
    EXPECT_TRUE(TextOps::contains(*e.document, u"![](<pics/a b.png>)")) << u8(*e.document);
    // The written line leads back to the stored file.
    const auto resolved = LinkRouter::resolve(u"images/chart (2).png", Url::fileURL((folder.path() / "doc.md").string()));
    ASSERT_TRUE(resolved);
    EXPECT_TRUE(std::filesystem::exists(resolved->path()));
    EXPECT_TRUE(e.alerts.empty());
}

TEST(EditorPictures, APictureNoLineCanNameFailsAndLeavesNoCopy)
{
    TempDirectory folder;
    TempDirectory elsewhere;
    const auto odd = elsewhere.write("x <y>.png", "png");
    Editor e(u"text");
    e.host->setWindowFilePath(QString::fromStdString((folder.path() / "doc.md").string()));
    std::unique_ptr<QMimeData> dropped(filePayload(odd));
    EXPECT_FALSE(drop(e.view(), *dropped));
    QApplication::clipboard()->setMimeData(filePayload(odd));
    e.view().paste();
    EXPECT_EQ(*e.document, u"text");
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "images" / "x <y>.png"));
    // A view that takes no edits copies nothing either.
    const auto plain = elsewhere.write("plain.png", "png");
    e.view().setEditable(false);
    std::unique_ptr<QMimeData> refused(filePayload(plain));
    EXPECT_FALSE(drop(e.view(), *refused));
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "images" / "plain.png"));
    EXPECT_EQ(*e.document, u"text");
}

} // namespace
} // namespace velkin

namespace velkin {
namespace {

using namespace testing_editor;

QColorDialog* shownColorDialog()
{
    for (QWidget* top : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<QColorDialog*>(top); dialog && dialog->isVisible())
            return dialog;
    return nullptr;
}

TEST(EditorClicks, EachPickIsOneUndoStepAndADragThroughColoursIsOne)
{
    Editor e(u"brand `#f80`\n\ntail");
    e.caretAt(u"tail");
    e.host->coordinator().restyle(e.view());
    e.view().layoutDocument();
    auto clickSwatch = [&] {
        LayoutManager& layout = *e.view().layoutManager();
        const int literal = e.find(u"`#") + 1;
        const auto mark = e.storage().marker<ColorMark>(AttributeKey::ColorSwatch, literal);
        ASSERT_TRUE(mark);
        const QRectF bounds = layout.boundingRect({literal, 1});
        const double baseline = layout.lineFragmentRect(literal).top() + layout.location(literal).y();
        click(e.view(), e.inViewport({bounds.left() - mark->gap - mark->size / 2, baseline - mark->capHeight / 2}));
    };
    clickSwatch();
    QColorDialog* dialog = shownColorDialog();
    ASSERT_NE(dialog, nullptr);
    // A drag through the dialog's colour field: every colour shows in the text at once.
    QWidget* field = nullptr;
    for (QWidget* child : dialog->findChildren<QWidget*>())
        if (QByteArray(child->metaObject()->className()).endsWith("QColorPicker"))
            field = child;
    ASSERT_NE(field, nullptr);
    field->resize(200, 200);
    auto mouse = [&](QEvent::Type type, QPoint at, Qt::MouseButtons held) {
        QMouseEvent event(type, at, field->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
        QApplication::sendEvent(field, &event);
    };
    mouse(QEvent::MouseButtonPress, {20, 20}, Qt::LeftButton);
    const U16String first = *e.document;
    for (int step = 1; step < 6; ++step)
        mouse(QEvent::MouseMove, {20 + 30 * step, 20 + 20 * step}, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, {170, 120}, Qt::NoButton);
    const U16String dragged = *e.document;
    EXPECT_NE(first, u"brand `#f80`\n\ntail");
    EXPECT_NE(dragged, first);
    // Two picks after it, then a click elsewhere and a pick in a new session.
    dialog->setCurrentColor(QColor(0, 255, 0));
    dialog->setCurrentColor(QColor(255, 255, 255));
    EXPECT_EQ(*e.document, u"brand `#ffffff`\n\ntail");
    click(e.view(), e.inViewport(e.view().layoutManager()->boundingRect({e.find(u"tail"), 1}).center()));
    clickSwatch();
    ASSERT_EQ(shownColorDialog(), dialog);
    dialog->setCurrentColor(QColor(0, 0, 255));
    EXPECT_EQ(*e.document, u"brand `#0000ff`\n\ntail");
    // A value typed into the dialog's field passes colours on the way ("#112", "#1122"): one pick, given with Return.
    QLineEdit* hex = nullptr;
    for (QLineEdit* edit : dialog->findChildren<QLineEdit*>())
        if (!qobject_cast<QAbstractSpinBox*>(edit->parentWidget()))
            hex = edit;
    ASSERT_NE(hex, nullptr);
    hex->selectAll();
    QTest::keyClicks(hex, "#112233");
    QTest::keyClick(hex, Qt::Key_Return);
    EXPECT_EQ(*e.document, u"brand `#112233`\n\ntail");
    // Undo takes back one pick at a time, the drag as one.
    for (const U16String& back : {U16String(u"brand `#0000ff`\n\ntail"), U16String(u"brand `#ffffff`\n\ntail"),
                                  U16String(u"brand `#00ff00`\n\ntail"), dragged, U16String(u"brand `#f80`\n\ntail")}) {
        e.view().undo();
        EXPECT_EQ(*e.document, back);
    }
    e.view().redo();
    EXPECT_EQ(*e.document, dragged);
    e.view().endColorEditing();
    // A second value typed after the first is a pick of its own.
    const int literal = e.find(u"#");
    ASSERT_TRUE(e.view().beginColorEditing(Range::fromTo(literal, e.find(u"`\n")), true));
    for (const char* typed : {"#112233", "#445566"}) {
        hex->selectAll();
        QTest::keyClicks(hex, typed);
        QTest::keyClick(hex, Qt::Key_Return);
    }
    EXPECT_EQ(*e.document, u"brand `#445566`\n\ntail");
    e.view().undo();
    EXPECT_EQ(*e.document, u"brand `#112233`\n\ntail");
    e.view().endColorEditing();
}

} // namespace
} // namespace velkin

namespace velkin {
namespace {

// The lightness of the darkest and the lightest pixel of a rectangle.
std::pair<double, double> lightnessSpan(const QImage& image, QRect rect)
{
    double low = 1, high = 0;
    rect &= image.rect();
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const double l = image.pixelColor(x, y).lightnessF();
            low = std::min(low, l);
            high = std::max(high, l);
        }
    return {low, high};
}

TEST(EmojiPicker, RowsReadInLightAndDarkFromTheApplicationsPalette)
{
    const QPalette original = QApplication::palette();
    for (const bool dark : {false, true}) {
        QPalette palette = original;
        const QColor window = dark ? QColor(40, 40, 42) : QColor(236, 236, 236);
        palette.setColor(QPalette::Window, window);
        palette.setColor(QPalette::Base, dark ? QColor(30, 30, 30) : QColor(255, 255, 255));
        palette.setColor(QPalette::WindowText, dark ? Qt::white : Qt::black);
        palette.setColor(QPalette::Text, dark ? Qt::white : Qt::black);
        QApplication::setPalette(palette);
        QWidget host;
        host.resize(300, 300);
        host.show();
        EmojiCompletionPicker picker;
        ASSERT_TRUE(picker.show(u"smile", QRect(10, 10, 1, 16), &host));
        ASSERT_GE(picker.matches().size(), 2u);
        QApplication::processEvents();
        const QImage image = picker.panel()->grab().toImage();
        // The second row is not selected: its name must stand out from the panel.
        const QRect row = picker.table()->visualItemRect(picker.table()->item(1));
        const QRect inPanel(picker.table()->viewport()->mapTo(picker.panel(), row.topLeft()), row.size());
        const auto [low, high] = lightnessSpan(image, inPanel.adjusted(40, 2, -4, -2));
        if (dark) {
            EXPECT_LT(low, 0.25) << "background";
            EXPECT_GT(high, 0.75) << "text";
        } else {
            EXPECT_GT(high, 0.85) << "background";
            EXPECT_LT(low, 0.3) << "text";
        }
        picker.hide();
    }
    QApplication::setPalette(original);
}

} // namespace
} // namespace velkin

namespace velkin {
namespace {

using namespace testing_editor;

TEST(EditorScrolling, TheScrollRangeCountsPicturesAsSoonAsTheyLoad)
{
    testing::TempDirectory folder;
    QImage big(400, 300, QImage::Format_RGB32);
    big.fill(Qt::darkCyan);
    ASSERT_TRUE(big.save(QString::fromStdString((folder.path() / "tall.png").string())));
    Editor e(u"top\n\n![](tall.png)\n\n![](tall.png)\n\n![](tall.png)\n\nend");
    e.host->setWindowFilePath(QString::fromStdString((folder.path() / "doc.md").string()));
    e.show();
    const auto key = ImageCache::key(u"tall.png", Url::fileURL((folder.path() / "doc.md").string()));
    ASSERT_TRUE(key);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ImageCache::cachedImage(*key) != nullptr; }));
    settle();
    // No key, click or scroll has happened: the range already holds three pictures.
    const QScrollBar* bar = e.view().verticalScrollBar();
    EXPECT_GE(bar->maximum(), 3 * 280 - e.view().viewport()->height());
    EXPECT_TRUE(bar->isVisible());
}

} // namespace
} // namespace velkin

TEST(EditorClicks, EscapeInTheColourDialogPutsBackTheColourTheTextHad)
{
    velkin::testing_editor::Editor e(u"brand `#f80`\n\ntail");
    const int literal = e.find(u"#f80");
    ASSERT_TRUE(e.view().beginColorEditing({literal, 4}, true));
    QColorDialog* dialog = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (auto* found = qobject_cast<QColorDialog*>(top); found && found->isVisible())
            dialog = found;
    ASSERT_NE(dialog, nullptr);
    // Picking goes through colours as the dialog's selection moves.
    dialog->setCurrentColor(QColor(0, 0, 255));
    dialog->setCurrentColor(QColor(0, 255, 0));
    EXPECT_EQ(*e.document, u"brand `#0f0`\n\ntail");
    QTest::keyClick(dialog, Qt::Key_Escape);
    EXPECT_EQ(*e.document, u"brand `#f80`\n\ntail");
    EXPECT_FALSE(e.view().isEditingColor());
    EXPECT_FALSE(dialog->isVisible());
    // The pick and its cancelling are one undo step at most: undoing it changes nothing.
    e.view().undo();
    EXPECT_EQ(*e.document, u"brand `#f80`\n\ntail");
}

namespace velkin {
namespace {

using namespace testing_editor;
namespace fs = std::filesystem;
using testing::TempDirectory;

// A board whose picture did not decode (as the desktop's clipboard gives one past
// the decoding limit): the PNG's bytes alone, which declare its size.
class UndecodedPicture : public QMimeData {
public:
    explicit UndecodedPicture(QByteArray png) : png_(std::move(png)) {}
    QStringList formats() const override { return {QStringLiteral("image/png"), QStringLiteral("application/x-qt-image")}; }
    bool hasFormat(const QString& format) const override { return formats().contains(format); }

protected:
    QVariant retrieveData(const QString& format, QMetaType) const override
    {
        return format == QLatin1String("image/png") ? QVariant(png_) : QVariant();
    }

private:
    QByteArray png_;
};

// A small PNG whose header says `width` x `height`.
QByteArray pngDeclaring(quint32 width, quint32 height)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImage(1, 1, QImage::Format_ARGB32).save(&buffer, "PNG");
    auto put = [&](int at, quint32 value) {
        for (int k = 0; k < 4; ++k)
            png[at + k] = char(value >> (24 - 8 * k));
    };
    put(16, width);
    put(20, height);
    quint32 crc = 0xFFFFFFFF;  // over the chunk's type and data
    for (int at = 12; at < 29; ++at) {
        crc ^= quint8(png[at]);
        for (int bit = 0; bit < 8; ++bit)
            crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320 : crc >> 1;
    }
    put(29, ~crc);
    return png;
}

TEST(EditorPictures, APictureTooLargeToDecodeIsRefusedWithItsSize)
{
    TempDirectory folder;
    Editor e(u"para");
    e.host->setWindowFilePath(QString::fromStdString((folder.path() / "note.md").string()));
    QApplication::clipboard()->setMimeData(new UndecodedPicture(pngDeclaring(20000, 30000)));
    e.view().paste();
    EXPECT_EQ(*e.document, u"para");
    ASSERT_EQ(e.alertMessages.size(), 1u);
    EXPECT_EQ(e.alerts.front(), u"The Picture Is Too Large");
    EXPECT_EQ(u8(e.alertMessages.front()),
              "The picture is 20000 \u00D7 30000 pixels, more than Velkin can decode (at most 67 million pixels).");
    EXPECT_FALSE(fs::exists(folder.path() / "images"));
}

// Under an address-space limit (in a child process, whose limit stays its own) a text
// past what the memory at hand takes is refused with the limit, and the editor goes on.
TEST(EditorPaste, ATextTooLargeForTheMemoryAtHandIsRefusedAndTheEditorGoesOn)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's shadow memory takes more address space than any limit leaves";
#else
    Editor e(u"kept\n");
    e.view().setSelectedRange({5, 0});
    const pid_t child = fork();
    if (child == 0) {
        std::ifstream statm("/proc/self/statm");
        unsigned long long pages = 0;
        statm >> pages;
        const rlim_t limit = rlim_t(pages * uint64_t(sysconf(_SC_PAGESIZE)) + (640ULL << 20));
        const rlimit space{limit, limit};
        setrlimit(RLIMIT_AS, &space);
        bool held = true;
        // 24 MB of lines: past the (640 - 256) / 45 MB a paste may take here.
        QApplication::clipboard()->setText(QString(QStringLiteral("a line of text\n")).repeated(1600000));
        e.view().paste();
        held = held && *e.document == u"kept\n" && e.alertMessages.size() == 1
            && TextOps::hasPrefix(e.alertMessages.front(), u"The text is too large to paste with the ")
            && e.alerts.front() == u"The Text Couldn't Be Pasted";
        // Dropped, the same text is refused alike.
        QMimeData dropped;
        dropped.setText(QString(QStringLiteral("a line of text\n")).repeated(1600000));
        held = held && !drop(e.view(), dropped) && *e.document == u"kept\n" && e.alertMessages.size() == 2;
        // A text within it goes in, and typing goes on.
        QApplication::clipboard()->setText(QString(QStringLiteral("a line of text\n")).repeated(1000));
        e.view().paste();
        type(e.view(), QStringLiteral("Z"));
        held = held && e.alertMessages.size() == 2 && e.document->size() == 5 + 15 * 1000 + 1;
        _exit(held ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
#endif
}

} // namespace
} // namespace velkin
