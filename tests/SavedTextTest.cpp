// Whether a document differs from what was read or last saved: the cheap
// tracking across edits must always agree with comparing the whole texts,
// and a window's modified state follows typing, deleting, undo, save and revert.
#include "ShellTestSupport.h"
#include "TempDirectory.h"

#include "app/ContentView.h"
#include "app/DocumentWindow.h"
#include "app/SavedText.h"
#include "app/VelkinApp.h"
#include "editor/MarkdownTextView.h"

#include <QTest>

#include <gtest/gtest.h>

#include <malloc.h>

#include <random>

using namespace velkin;
using velkin::testing::DialogAnswerer;
using velkin::testing::TempDirectory;

namespace {

// A text and its saved copy, edited as the window's content does.
struct Tracked {
    U16String text;
    SavedText saved;

    explicit Tracked(U16String initial) : text(initial), saved(std::move(initial)) {}

    void replace(int location, int length, U16View by)
    {
        const size_t oldLength = text.size();
        text.replace(std::min(size_t(std::max(location, 0)), oldLength), size_t(std::max(length, 0)), by);
        saved.replaced(oldLength, {location, length});
    }
    bool differs() { return saved.differs(text); }
};

} // namespace

TEST(SavedText, EditsThatUndoEachOtherLeaveTheTextUnedited)
{
    Tracked t(u"one two three");
    EXPECT_FALSE(t.differs());
    // Typed and deleted again.
    t.replace(3, 0, u"x");
    EXPECT_TRUE(t.differs());
    t.replace(3, 1, u"");
    EXPECT_FALSE(t.differs());
    // A word replaced by the same word.
    t.replace(4, 3, u"two");
    EXPECT_FALSE(t.differs());
    // The same length but another character, then put back.
    t.replace(0, 1, u"O");
    EXPECT_TRUE(t.differs());
    t.replace(0, 1, u"o");
    EXPECT_FALSE(t.differs());
    // Changes at both ends: mending one end leaves the other edited.
    t.replace(0, 1, u"X");
    t.replace(12, 1, u"Y");
    EXPECT_TRUE(t.differs());
    t.replace(0, 1, u"o");
    EXPECT_TRUE(t.differs());
    t.replace(12, 1, u"e");
    EXPECT_FALSE(t.differs());
    // Out-of-range edits are clipped as the text clips them.
    t.replace(40, 5, u"!");
    EXPECT_TRUE(t.differs());
    t.replace(13, 9, u"");
    EXPECT_FALSE(t.differs());
}

TEST(SavedText, SavingAndUntoldChangesResetWhatIsKnown)
{
    Tracked t(u"abc");
    t.replace(1, 1, u"XY");
    EXPECT_TRUE(t.differs());
    t.saved.save(t.text);
    EXPECT_FALSE(t.differs());
    EXPECT_EQ(t.saved.text(), u"aXYc");
    // Back to what was read before the save is an edit now.
    t.replace(1, 2, u"b");
    EXPECT_TRUE(t.differs());
    // A change the tracker was not told of: it compares whole, both ways.
    t.text = u"aXYc";
    t.saved.replacedAll();
    EXPECT_FALSE(t.differs());
    t.text = u"aXZc";
    t.saved.replacedAll();
    EXPECT_TRUE(t.differs());
    EXPECT_TRUE(t.differs());
    t.text = u"aXYc";
    t.saved.replacedAll();
    EXPECT_FALSE(t.differs());
}

TEST(SavedText, RandomEditsAgreeWithComparingTheWholeTexts)
{
    // A small alphabet and short snippets, so that texts often come back equal; long
    // enough texts that the block comparisons and their tails both run.
    std::mt19937 random(18);
    const U16String letters = u"ab\n";
    auto snippet = [&](int most) {
        U16String s(size_t(std::uniform_int_distribution<int>(0, most)(random)), u'a');
        for (char16_t& c : s)
            c = letters[size_t(std::uniform_int_distribution<int>(0, 2)(random))];
        return s;
    };
    for (int round = 0; round < 40; ++round) {
        const U16String initial = round % 2 ? snippet(8) : snippet(2000);
        Tracked t(initial);
        for (int step = 0; step < 300; ++step) {
            const int n = int(t.text.size());
            const int kind = std::uniform_int_distribution<int>(0, 9)(random);
            if (kind == 0) {
                t.saved.save(t.text);
            } else if (kind == 1 && n > 0) {
                // Put one character back as saved, which often makes the texts equal again.
                const int at = std::uniform_int_distribution<int>(0, n - 1)(random);
                if (size_t(at) < t.saved.text().size())
                    t.replace(at, 1, t.saved.text().substr(size_t(at), 1));
            } else {
                const int at = std::uniform_int_distribution<int>(0, n)(random);
                const int length = std::uniform_int_distribution<int>(0, std::min(3, n - at))(random);
                t.replace(at, length, snippet(2));
            }
            ASSERT_EQ(t.differs(), t.text != t.saved.text()) << "round " << round << " step " << step;
        }
    }
}

TEST(SavedText, WideCharactersAndSurrogatePairsAreComparedWhole)
{
    // "ł" (U+0142) shares its low byte with "B", "Ж" (U+0416) with a line feed's
    // neighbour "\x16", and the halves of a surrogate pair are characters of their own.
    const U16String saved = u"B\u0142 \u0416 a\U0001F600b \u00E9";
    Tracked t(saved);
    EXPECT_EQ(t.saved.text(), saved);
    t.replace(0, 1, u"\u0142");
    EXPECT_TRUE(t.differs());
    t.replace(0, 1, u"B");
    EXPECT_FALSE(t.differs());
    t.replace(1, 1, u"B");
    EXPECT_TRUE(t.differs());
    t.replace(1, 1, u"\u0142");
    EXPECT_FALSE(t.differs());
    t.replace(3, 1, u"\x16");
    EXPECT_TRUE(t.differs());
    t.replace(3, 1, u"\u0416");
    EXPECT_FALSE(t.differs());
    // Half a pair replaced, then the whole pair deleted and typed again.
    t.replace(7, 1, u"\xDE01");
    EXPECT_TRUE(t.differs());
    t.replace(7, 1, u"\xDE00");
    EXPECT_FALSE(t.differs());
    t.replace(6, 2, u"");
    EXPECT_TRUE(t.differs());
    t.replace(6, 0, u"\U0001F600");
    EXPECT_FALSE(t.differs());
    // Edits at both ends, mended one after the other.
    t.replace(0, 0, u"\u0416");
    t.replace(int(t.text.size()), 0, u"\U0001F600");
    EXPECT_TRUE(t.differs());
    t.replace(0, 1, u"");
    EXPECT_TRUE(t.differs());
    t.replace(int(t.text.size()) - 2, 2, u"");
    EXPECT_FALSE(t.differs());
}

TEST(SavedText, RandomEditsOfTextsInAnyScriptAgreeWithComparingTheWholeTexts)
{
    // Letters whose low bytes collide, both halves of a pair, in mixes from
    // nearly all one byte to nearly all two, at both ends and in between.
    std::mt19937 random(33);
    const U16String letters = u"aB\n\u0142\u0416\u4E2D\xD83D\xDE00";
    for (int round = 0; round < 40; ++round) {
        const int wideShare = round % 4 == 0 ? 0 : round % 4 == 1 ? 2 : round % 4 == 2 ? 20 : 90;
        auto snippet = [&](int most) {
            U16String s(size_t(std::uniform_int_distribution<int>(0, most)(random)), u'a');
            for (char16_t& c : s)
                c = std::uniform_int_distribution<int>(0, 99)(random) < wideShare
                        ? letters[size_t(std::uniform_int_distribution<int>(3, 7)(random))]
                        : letters[size_t(std::uniform_int_distribution<int>(0, 2)(random))];
            return s;
        };
        Tracked t(snippet(round % 2 ? 10 : 3000));
        for (int step = 0; step < 300; ++step) {
            const int n = int(t.text.size());
            const int kind = std::uniform_int_distribution<int>(0, 9)(random);
            const int at = kind < 4 ? 0 : kind < 8 ? n : std::uniform_int_distribution<int>(0, n)(random);
            if (kind == 9) {
                t.saved.save(t.text);
            } else if (kind % 2 && at < n && size_t(at) < t.saved.size()) {
                t.replace(at, 1, t.saved.text().substr(size_t(at), 1));
            } else {
                const int length = std::uniform_int_distribution<int>(0, std::min(2, n - std::min(at, n)))(random);
                t.replace(kind < 8 && at == n ? n - length : at, length, snippet(2));
            }
            ASSERT_EQ(t.differs(), t.text != t.saved.text()) << "round " << round << " step " << step;
        }
        ASSERT_EQ(t.saved.size(), t.saved.text().size());
    }
}

TEST(SavedText, MostlyOneByteTextIsKeptInAboutAByteACharacter)
{
    // Markdown in a Latin script with a few other characters here and there.
    U16String text;
    while (text.size() < 1'000'000) {
        for (int line = 0; line < 10; ++line)
            text += u"Some prose about a caf\u00E9 and its na\u00EFve menu, as a changelog or a note has it.\n";
        text += u"A \u201Cquote\u201D and an emoji \U0001F600.\n";
    }
    const size_t before = mallinfo2().uordblks + mallinfo2().hblkhd;
    const SavedText saved(text);
    const size_t after = mallinfo2().uordblks + mallinfo2().hblkhd;
    EXPECT_LE(after - before, text.size() * 12 / 10);
    EXPECT_EQ(saved.text(), text);
}

namespace {

struct CloseWindowsAfterwards {
    ~CloseWindowsAfterwards()
    {
        DialogAnswerer discard(DialogAnswerer::press(QStringLiteral("Don\u2019t Save")));
        for (DocumentWindow* window : VelkinApp::shared().documentWindows())
            window->close();
        velkin::testing::settle();
    }
};

// The window's modified state, as the title bar shows it and as closing asks about it.
bool edited(DocumentWindow& window)
{
    EXPECT_EQ(window.isWindowModified(), window.isDocumentEdited());
    return window.isDocumentEdited();
}

} // namespace

TEST(DocumentWindowEdited, TypingDeletingUndoSaveAndRevertKeepTheModifiedStateRight)
{
    CloseWindowsAfterwards cleanup;
    TempDirectory folder;
    const std::filesystem::path path = folder.write("notes.md", "# Notes\n\nSome text here.\n");
    DocumentWindow* window = VelkinApp::shared().openDocument(path);
    ASSERT_NE(window, nullptr);
    MarkdownTextView* view = window->contentView()->textView();
    view->setSelectedRange({13, 0});
    EXPECT_FALSE(edited(*window));

    // A character typed, then deleted with Backspace.
    QTest::keyClick(view, Qt::Key_X);
    EXPECT_TRUE(edited(*window));
    QTest::keyClick(view, Qt::Key_Backspace);
    EXPECT_FALSE(edited(*window));

    // Typing undone and redone.
    QTest::keyClicks(view, QStringLiteral("abc"));
    EXPECT_TRUE(edited(*window));
    view->undo();
    EXPECT_EQ(window->document().text, u"# Notes\n\nSome text here.\n");
    EXPECT_FALSE(edited(*window));
    view->redo();
    EXPECT_TRUE(edited(*window));

    // Saved: that text is the unedited one now, and undoing past the save is an edit.
    ASSERT_TRUE(window->save());
    EXPECT_FALSE(edited(*window));
    view->undo();
    EXPECT_TRUE(edited(*window));
    view->redo();
    EXPECT_FALSE(edited(*window));

    // A word selected and typed over with the same letters.
    view->setSelectedRange({9, 4});
    QTest::keyClicks(view, QStringLiteral("Some"));
    EXPECT_FALSE(edited(*window));

    // Edits at both ends; mending one leaves the document edited.
    view->setSelectedRange({0, 0});
    QTest::keyClick(view, Qt::Key_Q);
    view->setSelectedRange({int(window->document().text.size()), 0});
    QTest::keyClick(view, Qt::Key_Z);
    view->setSelectedRange({1, 0});
    QTest::keyClick(view, Qt::Key_Backspace);
    EXPECT_TRUE(edited(*window));

    // Revert puts back the saved text, unedited, and typing from there tracks again.
    {
        DialogAnswerer revert(DialogAnswerer::press(QStringLiteral("Revert")));
        ASSERT_TRUE(window->revertToSaved());
    }
    EXPECT_EQ(window->document().text, u"# Notes\n\nSomeabc text here.\n");
    EXPECT_FALSE(edited(*window));
    view->setSelectedRange({2, 0});
    QTest::keyClick(view, Qt::Key_N);
    EXPECT_TRUE(edited(*window));
    QTest::keyClick(view, Qt::Key_Backspace);
    EXPECT_FALSE(edited(*window));
}

TEST(DocumentWindowEdited, TheEditorsFirstWriteBackReplacesOnlyWhatChanged)
{
    CloseWindowsAfterwards cleanup;
    TempDirectory folder;
    const std::filesystem::path path = folder.write("long.md", "# Long\n\n" + std::string(20000, 'w') + "\n\nEnd.\n");
    DocumentWindow* window = VelkinApp::shared().openDocument(path);
    ASSERT_NE(window, nullptr);
    MarkdownTextView* view = window->contentView()->textView();
    const char16_t* buffer = window->contentView()->text().data();

    // One character typed over another: the editor writes its whole text back
    // for the first time, yet the document's text is changed in place, not copied.
    view->setSelectedRange({2, 1});
    QTest::keyClicks(view, QStringLiteral("M"));
    EXPECT_EQ(window->contentView()->text().data(), buffer);
    EXPECT_EQ(window->document().text.substr(0, 7), u"# Mong\n");
    EXPECT_TRUE(edited(*window));
    view->setSelectedRange({2, 1});
    QTest::keyClicks(view, QStringLiteral("L"));
    EXPECT_FALSE(edited(*window));
}

TEST(DocumentWindowEdited, TextTypedUnderATableEndingTheFileAndDeletedAgainLeavesItAsItWas)
{
    CloseWindowsAfterwards cleanup;
    TempDirectory folder;
    for (const char* eol : {"\n", "\r\n"}) {
        SCOPED_TRACE(eol[1] ? "CRLF" : "LF");
        const std::string saved = std::string("Title") + eol + eol + "| a | b |" + eol + "|---|---|" + eol + "| 1 | 2 |";
        const std::filesystem::path path = folder.write(eol[1] ? "crlf.md" : "lf.md", saved);
        DocumentWindow* window = VelkinApp::shared().openDocument(path);
        ASSERT_NE(window, nullptr);
        MarkdownTextView* view = window->contentView()->textView();
        const U16String text = window->document().text;
        // Under the table, typed and deleted again: no line end is left behind.
        QTest::keyClick(view, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClicks(view, QStringLiteral("xyz"));
        EXPECT_TRUE(edited(*window));
        for (int i = 0; i < 3; ++i)
            QTest::keyClick(view, Qt::Key_Backspace);
        EXPECT_EQ(window->document().text, text);
        EXPECT_FALSE(edited(*window));
    }
}
