// Document windows, their menus and their toolbar.
#include "ShellTestSupport.h"
#include "TempDirectory.h"

#include "app/ContentView.h"
#include "app/DocumentWindow.h"
#include "app/FocusedValuePublisher.h"
#include "app/TableSizePicker.h"
#include "app/Updater.h"
#include "app/VelkinApp.h"
#include "app/VelkinCommands.h"
#include "app/WindowCascade.h"
#include "document/ImageCache.h"
#include "editor/MarkdownEditor.h"
#include "editor/MarkdownTextView.h"
#include "markdown/ImageBlock.h"
#include "platform/view/WindowFrame.h"
#include "platform/pasteboard/Pasteboard.h"
#include "platform/text/Utf.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <set>
#include <sstream>

#include <sys/resource.h>

using namespace velkin;
using velkin::testing::DialogAnswerer;
using velkin::testing::choose;
using velkin::testing::settle;

namespace {

// Answers editor actions and records what reached it.
class Receiver : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    std::vector<std::pair<std::string, int>> received;

    Q_INVOKABLE void mdBold(int tag) { received.emplace_back("mdBold", tag); }
    Q_INVOKABLE void mdApplyHeading(int tag) { received.emplace_back("mdApplyHeading", tag); }
    Q_INVOKABLE void mdTableAlign(int tag) { received.emplace_back("mdTableAlign", tag); }
    Q_INVOKABLE void mdExport(int tag) { received.emplace_back("mdExport", tag); }
    Q_INVOKABLE void mdInsertTableSized(int tag) { received.emplace_back("mdInsertTableSized", tag); }
    Q_INVOKABLE void mdInsertHorizontalRule(int tag) { received.emplace_back("mdInsertHorizontalRule", tag); }
    Q_INVOKABLE void performTextFinderAction(int tag) { received.emplace_back("performTextFinderAction", tag); }
};

// A receiver with the keyboard focus inside a window.
Receiver* focusedReceiver(QMainWindow& window)
{
    auto* receiver = new Receiver(&window);
    receiver->setFocusPolicy(Qt::StrongFocus);
    receiver->show();
    receiver->setFocus();
    return receiver;
}

QAction* action(QWidget& window, const char* name)
{
    QAction* found = window.findChild<QAction*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

std::string bytesOf(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

// Closes every document window left open by a check.
struct CloseWindowsAfterwards {
    ~CloseWindowsAfterwards()
    {
        // Changes left by a check are not kept.
        velkin::testing::DialogAnswerer discard(velkin::testing::DialogAnswerer::press(QStringLiteral("Don\u2019t Save")));
        for (DocumentWindow* window : VelkinApp::shared().documentWindows())
            window->close();
        settle();
    }
};

} // namespace

TEST(DocumentWindow, ANewDocumentIsEmptyAtActualSizeInSansSerif)
{
    CloseWindowsAfterwards cleanup;
    DocumentWindow* window = VelkinApp::shared().newDocument();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->document().text, u"");
    EXPECT_FALSE(window->fileURL().has_value());
    EXPECT_FALSE(window->isDocumentEdited());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Untitled[*]"));
    ContentView* content = window->contentView();
    EXPECT_EQ(content->editorZoom(), 1.0);
    EXPECT_EQ(content->editorFontFamily(), MarkdownFontFamily::sansSerif);
    EXPECT_EQ(content->documentStats(), DocumentStats(0, 0));
    EXPECT_EQ(content->minimumSize(), QSize(520, 320));
    EXPECT_EQ(FocusedValuePublisher::of(window), content);
}

TEST(DocumentWindow, TheToolbarHoldsTheTenItemsInOrder)
{
    CloseWindowsAfterwards cleanup;
    DocumentWindow* window = VelkinApp::shared().newDocument();
    std::vector<QString> names;
    std::vector<QString> tips;
    for (QToolButton* button : window->contentView()->toolbar()->findChildren<QToolButton*>(Qt::FindDirectChildrenOnly))
        if (!button->objectName().isEmpty() && button->objectName() != QStringLiteral("qt_toolbar_ext_button")) {
            names.push_back(button->objectName());
            tips.push_back(button->toolTip());
            EXPECT_EQ(button->accessibleName(), button->toolTip());
        }
    const std::vector<QString> expected = {"headingLevel", "mdBold", "mdItalic", "mdUnderline", "mdStrikethrough",
                                           "mdCode", "mdLink", "mdImage", "mdInsertHorizontalRule", "insertTable"};
    EXPECT_EQ(names, expected);
    const std::vector<QString> expectedTips = {"Heading level", "Bold", "Italic", "Underline", "Strikethrough",
                                               "Inline code", "Link", "Insert Image", "Horizontal Rule", "Insert Table"};
    EXPECT_EQ(tips, expectedTips);
}

TEST(DocumentWindow, ToolbarButtonsSendTheirActions)
{
    CloseWindowsAfterwards cleanup;
    DocumentWindow* window = VelkinApp::shared().newDocument();
    Receiver* receiver = focusedReceiver(*window);
    QToolBar* toolbar = window->contentView()->toolbar();
    toolbar->findChild<QToolButton*>(QStringLiteral("mdBold"))->click();
    toolbar->findChild<QToolButton*>(QStringLiteral("mdInsertHorizontalRule"))->click();
    QMenu* headings = toolbar->findChild<QToolButton*>(QStringLiteral("headingLevel"))->menu();
    ASSERT_NE(headings, nullptr);
    const QList<QAction*> entries = headings->actions();
    ASSERT_EQ(entries.size(), 8);  // Body Text, a divider, six levels
    EXPECT_EQ(entries[0]->text(), QStringLiteral("Body Text"));
    EXPECT_TRUE(entries[1]->isSeparator());
    EXPECT_EQ(entries[7]->text(), QStringLiteral("Heading 6"));
    entries[0]->trigger();
    entries[7]->trigger();
    const std::vector<std::pair<std::string, int>> expected = {
        {"mdBold", 0}, {"mdInsertHorizontalRule", 0}, {"mdApplyHeading", 0}, {"mdApplyHeading", 6}};
    EXPECT_EQ(receiver->received, expected);
}

TEST(DocumentWindow, TheTableButtonPicksASizeInAPopup)
{
    CloseWindowsAfterwards cleanup;
    DocumentWindow* window = VelkinApp::shared().newDocument();
    Receiver* receiver = focusedReceiver(*window);
    ContentView* content = window->contentView();
    EXPECT_FALSE(content->isTablePickerShown());
    content->toolbar()->findChild<QToolButton*>(QStringLiteral("insertTable"))->click();
    ASSERT_TRUE(content->isTablePickerShown());
    TableSizePicker* picker = content->tablePicker();
    ASSERT_NE(picker, nullptr);
    EXPECT_EQ(picker->pickColumns(), 0);
    picker->hover({2 * 20 + 8, 3 * 20 + 8});
    picker->click();
    EXPECT_FALSE(content->isTablePickerShown());
    ASSERT_FALSE(receiver->received.empty());
    EXPECT_EQ(receiver->received.back(), std::make_pair(std::string("mdInsertTableSized"), 3004));
    // Opened again, it starts with nothing picked.
    content->showTablePicker();
    EXPECT_EQ(content->tablePicker()->pickColumns(), 0);
}

TEST(DocumentWindow, OpenAndSaveKeepLineEndsAndRepairInvalidBytes)
{
    CloseWindowsAfterwards cleanup;
    velkin::testing::TempDirectory folder;
    const auto file = folder.write("notes.md", "# Notes\r\nCaf\xE9 ol\xC3\xA9\r\n\r\nno final newline");
    QString error;
    DocumentWindow* window = VelkinApp::shared().openDocument(file, &error);
    ASSERT_NE(window, nullptr) << error.toStdString();
    EXPECT_EQ(window->document().text, u"# Notes\r\nCaf\uFFFD ol\u00E9\r\n\r\nno final newline");
    EXPECT_EQ(window->windowTitle(), QStringLiteral("notes.md[*]"));
    EXPECT_EQ(window->windowFilePath().toStdString(), file.string());
    EXPECT_FALSE(window->isDocumentEdited());
    // The same file again brings its window forward.
    EXPECT_EQ(VelkinApp::shared().openDocument(folder.path() / "." / "notes.md"), window);
    EXPECT_EQ(VelkinApp::shared().documentWindows().size(), 1u);

    {
        DialogAnswerer replace(DialogAnswerer::press(QStringLiteral("Replace")));
        ASSERT_TRUE(window->save());
    }
    EXPECT_EQ(bytesOf(file), "# Notes\r\nCaf\xEF\xBF\xBD ol\xC3\xA9\r\n\r\nno final newline");

    const auto copy = folder.path() / "copy.md";
    ASSERT_TRUE(window->writeTo(copy));
    EXPECT_EQ(window->fileURL(), copy);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("copy.md[*]"));
    EXPECT_EQ(bytesOf(copy), bytesOf(file));
}

// Saved into another folder, and back: the pictures the document names beside
// it are looked for in the folder it is saved in, without an edit reaching them.
TEST(DocumentWindow, SavingIntoAnotherFolderShowsThePicturesBesideItThere)
{
    CloseWindowsAfterwards cleanup;
    velkin::testing::TempDirectory first, second;
    const auto file = first.write("trip.md", "# Trip\n\n![the river](images/river.png)\n\nThe end.\n");
    QImage river(300, 150, QImage::Format_RGB32);
    river.fill(Qt::darkBlue);
    std::filesystem::create_directories(second.path() / "images");
    ASSERT_TRUE(river.save(QString::fromStdString((second.path() / "images" / "river.png").string()), "PNG"));
    DocumentWindow* window = VelkinApp::shared().openDocument(file);
    ASSERT_NE(window, nullptr);
    settle();
    TextStorage& storage = *window->contentView()->textView()->textStorage();
    const int at = int(storage.string().find(u"![the river]"));
    auto shownKey = [&] {
        const auto mark = storage.marker<CollapsedImage>(AttributeKey::CollapsedImage, at);
        return mark ? mark->key : std::string();
    };
    auto keyBeside = [](const std::filesystem::path& document) {
        return ImageCache::key(u"images/river.png", Url::fileURL(document.string())).value_or("");
    };
    ASSERT_EQ(shownKey(), keyBeside(file));
    ASSERT_TRUE(window->writeTo(second.path() / "trip.md"));
    EXPECT_EQ(shownKey(), keyBeside(second.path() / "trip.md"));
    EXPECT_TRUE(velkin::testing::waitUntil([&] {
        const ParagraphStyle* style = storage.paragraphStyle(at);
        return style && style->minimumLineHeight == 150;
    }));
    ASSERT_TRUE(window->writeTo(first.path() / "again.md"));
    EXPECT_EQ(shownKey(), keyBeside(first.path() / "again.md"));
    EXPECT_FALSE(window->isDocumentEdited());
}

TEST(DocumentWindow, FilesThatCannotBeReadOrWrittenAreReported)
{
    CloseWindowsAfterwards cleanup;
    velkin::testing::TempDirectory folder;
    QString error;
    EXPECT_EQ(VelkinApp::shared().openDocument(folder.path() / "missing.md", &error), nullptr);
    EXPECT_TRUE(error.contains(QStringLiteral("missing.md")));
    EXPECT_EQ(VelkinApp::shared().openDocument(folder.path(), &error), nullptr);
    EXPECT_FALSE(error.isEmpty());

    DocumentWindow* window = VelkinApp::shared().newDocument();
    EXPECT_FALSE(window->writeTo(folder.path() / "no-such-folder" / "x.md", &error));
    EXPECT_TRUE(error.contains(QStringLiteral("x.md")));
    EXPECT_FALSE(window->fileURL().has_value());
}

TEST(DocumentWindow, ANewWindowTakesTheDefaultSizeOrTheSavedFrame)
{
    EXPECT_EQ(DocumentWindow::defaultHeight(900, 100), 800);
    EXPECT_EQ(DocumentWindow::defaultHeight(1200, 100), 860);
    CloseWindowsAfterwards cleanup;
    WindowFrame::forget(DocumentWindow::frameName);
    DocumentWindow* first = VelkinApp::shared().newDocument();
    settle();
    EXPECT_EQ(first->contentView()->width(), DocumentWindow::defaultContentWidth);
    first->setGeometry(QRect(37, 41, 800, 600));
    first->close();
    settle();
    EXPECT_FALSE(WindowFrame::saved(DocumentWindow::frameName).isEmpty());
    DocumentWindow* second = VelkinApp::shared().newDocument();
    settle();
    EXPECT_EQ(second->geometry().size(), QSize(800, 600));
    EXPECT_EQ(second->geometry().topLeft(), QPoint(37, 41));
}

TEST(VelkinCommands, WithoutADocumentWindowTheDocumentCommandsAreDisabled)
{
    QMainWindow window;
    VelkinCommands commands(&window);
    commands.refresh();
    EXPECT_EQ(commands.values(), nullptr);
    EXPECT_FALSE(commands.exportMenu()->menuAction()->isEnabled());
    for (QAction* item : commands.insertMenu()->actions())
        EXPECT_FALSE(item->isEnabled()) << item->text().toStdString();
    for (QAction* item : commands.formatMenu()->actions()) {
        if (!item->isSeparator()) {
            EXPECT_FALSE(item->isEnabled()) << item->text().toStdString();
        }
    }
    EXPECT_FALSE(commands.statisticsItem()->isVisible());
    for (const char* name : {"zoomIn", "zoomOut", "actualSize"})
        EXPECT_FALSE(action(window, name)->isEnabled()) << name;
    EXPECT_FALSE(commands.fontMenu()->menuAction()->isEnabled());
    for (const char* name : {"openFromURL", "velkinHelp", "findShow", "findNext", "findPrevious", "findUseSelection",
                             "newDocument", "openDocument"})
        EXPECT_TRUE(action(window, name)->isEnabled()) << name;
    // "Check for Updates…" follows the updater, not the window: without a feed it has nothing to check.
    EXPECT_EQ(action(window, "checkForUpdates")->isEnabled(), Updater::controller().updater().canCheckForUpdates());
    EXPECT_TRUE(action(window, "aboutVelkin")->isEnabled());
}

TEST(VelkinCommands, AWindowsValuesReachItsMenus)
{
    CloseWindowsAfterwards cleanup;
    DocumentWindow* window = VelkinApp::shared().newDocument();
    VelkinCommands& commands = *window->commands();
    commands.refresh();
    EXPECT_TRUE(commands.exportMenu()->menuAction()->isEnabled());
    EXPECT_TRUE(action(*window, "mdBold")->isEnabled());
    EXPECT_TRUE(commands.statisticsItem()->isVisible());
    EXPECT_FALSE(commands.statisticsItem()->isEnabled());
    EXPECT_EQ(commands.statisticsItem()->text(), QStringLiteral("0 words \u00B7 0 characters"));
    EXPECT_TRUE(action(*window, "sansSerif")->isChecked());

    action(*window, "serif")->trigger();
    EXPECT_EQ(window->contentView()->editorFontFamily(), MarkdownFontFamily::serif);
    commands.refresh();
    EXPECT_TRUE(action(*window, "serif")->isChecked());
    EXPECT_FALSE(action(*window, "sansSerif")->isChecked());

    action(*window, "zoomIn")->trigger();
    EXPECT_DOUBLE_EQ(window->contentView()->editorZoom(), 1.1);
    action(*window, "zoomOut")->trigger();
    action(*window, "zoomOut")->trigger();
    EXPECT_DOUBLE_EQ(window->contentView()->editorZoom(), 0.9);
    action(*window, "actualSize")->trigger();
    EXPECT_EQ(window->contentView()->editorZoom(), 1.0);
}

TEST(VelkinCommands, ZoomStepsRoundAndClamp)
{
    EXPECT_DOUBLE_EQ(VelkinCommands::zoomedIn(1.0), 1.1);
    EXPECT_DOUBLE_EQ(VelkinCommands::zoomedIn(2.9), 3.0);
    EXPECT_DOUBLE_EQ(VelkinCommands::zoomedIn(2.95), 3.0);
    EXPECT_DOUBLE_EQ(VelkinCommands::zoomedIn(3.0), 3.0);
    EXPECT_DOUBLE_EQ(VelkinCommands::zoomedIn(3.5), 3.0);
    EXPECT_DOUBLE_EQ(VelkinCommands::zoomedIn(1.005), 1.11);
    EXPECT_DOUBLE_EQ(VelkinCommands::zoomedOut(1.0), 0.9);
    EXPECT_DOUBLE_EQ(VelkinCommands::zoomedOut(0.7), 0.6);
    EXPECT_DOUBLE_EQ(VelkinCommands::zoomedOut(0.6), 0.6);
    EXPECT_DOUBLE_EQ(VelkinCommands::zoomedOut(0.3), 0.6);
    EXPECT_DOUBLE_EQ(VelkinCommands::zoomedOut(1.15), 1.05);
}

TEST(VelkinCommands, ItemsSendTheirActionsWithTheirTags)
{
    CloseWindowsAfterwards cleanup;
    QMainWindow window;
    VelkinCommands commands(&window);
    Receiver* receiver = focusedReceiver(window);
    action(window, "findUseSelection")->trigger();
    // Disabled in a window without a document: nothing is sent.
    action(window, "heading3")->trigger();
    action(window, "exportRTF")->trigger();
    action(window, "mdBold")->trigger();
    EXPECT_EQ(receiver->received, (std::vector<std::pair<std::string, int>>{{"performTextFinderAction", 7}}));

    DocumentWindow* document = VelkinApp::shared().newDocument();
    Receiver* inDocument = focusedReceiver(*document);
    action(*document, "heading3")->trigger();
    action(*document, "alignCenter")->trigger();
    action(*document, "exportRTF")->trigger();
    action(*document, "mdBold")->trigger();
    const std::vector<std::pair<std::string, int>> expected = {
        {"mdApplyHeading", 3}, {"mdTableAlign", 1}, {"mdExport", 2}, {"mdBold", 0}};
    EXPECT_EQ(inDocument->received, expected);
    document->close();
}

TEST(VelkinCommands, ShortcutsUseCtrl)
{
    QMainWindow window;
    VelkinCommands commands(&window);
    const std::vector<std::pair<const char*, QKeySequence>> rows = {
        {"mdBold", QKeySequence(Qt::CTRL | Qt::Key_B)},
        {"mdItalic", QKeySequence(Qt::CTRL | Qt::Key_I)},
        {"mdUnderline", QKeySequence(Qt::CTRL | Qt::Key_U)},
        {"mdStrikethrough", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_X)},
        {"mdSubscript", QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Minus)},
        {"mdSuperscript", QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Plus)},
        {"mdLink", QKeySequence(Qt::CTRL | Qt::Key_K)},
        {"mdImage", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_I)},
        {"heading3", QKeySequence(Qt::CTRL | Qt::Key_3)},
        {"openFromURL", QKeySequence(Qt::CTRL | Qt::Key_L)},
        {"findShow", QKeySequence(Qt::CTRL | Qt::Key_F)},
        {"findNext", QKeySequence(Qt::CTRL | Qt::Key_G)},
        {"findPrevious", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_G)},
        {"findUseSelection", QKeySequence(Qt::CTRL | Qt::Key_E)},
        {"zoomIn", QKeySequence(Qt::CTRL | Qt::Key_Plus)},
        {"zoomOut", QKeySequence(Qt::CTRL | Qt::Key_Minus)},
        {"actualSize", QKeySequence(Qt::CTRL | Qt::Key_0)},
        {"velkinHelp", QKeySequence(Qt::CTRL | Qt::Key_Question)},
    };
    for (const auto& [name, key] : rows)
        EXPECT_EQ(action(window, name)->shortcut(), key) << name;
}

TEST(DocumentWindow, EditsReachTheDocumentAndItsStatistics)
{
    CloseWindowsAfterwards cleanup;
    DocumentWindow* window = VelkinApp::shared().newDocument();
    MarkdownTextView* view = window->contentView()->textView();
    ASSERT_NE(view, nullptr);
    view->insertText(u"Hello wide world");
    EXPECT_EQ(window->document().text, u"Hello wide world");
    EXPECT_TRUE(window->isDocumentEdited());
    EXPECT_TRUE(window->isWindowModified());
    window->commands()->refresh();
    EXPECT_EQ(window->commands()->statisticsItem()->text(), QStringLiteral("3 words \u00B7 16 characters"));
    // The View menu, which shows the line, counts again as it opens; the others leave it.
    view->insertText(u" again");
    auto* viewMenu = qobject_cast<QMenu*>(window->commands()->statisticsItem()->associatedObjects().value(0));
    ASSERT_NE(viewMenu, nullptr);
    emit window->commands()->editMenu()->aboutToShow();
    EXPECT_EQ(window->commands()->statisticsItem()->text(), QStringLiteral("3 words \u00B7 16 characters"));
    emit viewMenu->aboutToShow();
    EXPECT_EQ(window->commands()->statisticsItem()->text(), QStringLiteral("4 words \u00B7 22 characters"));
    view->undo();
    EXPECT_EQ(window->document().text, u"");
    EXPECT_FALSE(window->isWindowModified());
}

TEST(DocumentWindow, FormattingFromTheMenuAndToolbarEditsTheFocusedEditor)
{
    CloseWindowsAfterwards cleanup;
    DocumentWindow* window = VelkinApp::shared().newDocument();
    MarkdownTextView* view = window->contentView()->textView();
    view->insertText(u"word");
    view->setFocus();
    view->setSelectedRange({0, 4});
    window->contentView()->toolbar()->findChild<QToolButton*>(QStringLiteral("mdBold"))->click();
    EXPECT_EQ(window->document().text, u"**word**");
    action(*window, "heading2")->trigger();
    EXPECT_EQ(window->document().text, u"## **word**");
    // The Edit menu reaches the text view too.
    action(*window, "undo")->trigger();
    EXPECT_EQ(window->document().text, u"**word**");
    action(*window, "selectAll")->trigger();
    action(*window, "copy")->trigger();
    EXPECT_EQ(Pasteboard::general().string(), std::optional<U16String>(u"**word**"));
}

TEST(DocumentWindow, ZoomAndFamilyReachTheEditor)
{
    CloseWindowsAfterwards cleanup;
    DocumentWindow* window = VelkinApp::shared().newDocument();
    ContentView* content = window->contentView();
    MarkdownEditor::Coordinator& coordinator = content->editor()->coordinator();
    EXPECT_EQ(coordinator.styler.baseSize, 14);
    content->setEditorZoom(1.5);
    EXPECT_DOUBLE_EQ(coordinator.styler.baseSize, 21);
    content->setEditorFontFamily(MarkdownFontFamily::monospace);
    EXPECT_EQ(coordinator.styler.family, MarkdownFontFamily::monospace);
    EXPECT_EQ(content->textView()->fontFamily, MarkdownFontFamily::monospace);
    // Another window keeps its own.
    DocumentWindow* other = VelkinApp::shared().newDocument();
    EXPECT_EQ(other->contentView()->editorZoom(), 1.0);
    EXPECT_EQ(other->contentView()->editorFontFamily(), MarkdownFontFamily::sansSerif);
}

TEST(DocumentWindow, ZoomKeepsTheSelectionAndTheLineAtTheTop)
{
    CloseWindowsAfterwards cleanup;
    // Laid out whole, and long enough to be laid out as it shows; the rows of a long
    // grid, styled in steps, the top in the middle of the rows laid out as one block.
    velkin::testing::TempDirectory folder;
    for (int lines : {300, 6000, -4000}) {
        U16String text = lines < 0 ? u"| Name | Value |\n| --- | --- |\n" : u"";
        for (int i = 0; i < std::abs(lines); ++i)
            text += lines < 0 ? u"| line " + u16(std::to_string(i)) + u" | words |\n" : u"line " + u16(std::to_string(i)) + u" with *some* words\n";
        // The grid opened from a file, as its rows are then styled in steps.
        DocumentWindow* window = lines > 0 ? VelkinApp::shared().newDocument()
                                           : VelkinApp::shared().openDocument(folder.write("rows.md", u8(text)));
        window->resize(700, 500);
        ContentView* content = window->contentView();
        MarkdownTextView* view = content->textView();
        if (lines > 0) {
            view->selectAll();
            view->insertText(text);
        }
        const U16String after = lines > 0 ? u" " : u"\n";  // a cell's text ends its paragraph
        lines = std::abs(lines);
        const Range words{int(view->string().find(u"line " + u16(std::to_string(lines / 2)) + after)), 8};
        view->setSelectedRange(words);
        view->scrollRangeToVisible(words);
        const int top = view->characterIndexForPoint({0, 0});
        for (double zoom : {1.5, 0.9, 1.0}) {
            content->setEditorZoom(zoom);
            EXPECT_EQ(view->selectedRange(), words) << zoom;
            // Within a line of where it was; of a grid, within a few rows (the place is kept
            // as an offset into the rows laid out as one block, which scale not quite alike).
            const int shown = view->characterIndexForPoint({0, 0});
            EXPECT_LT(std::abs(shown - top), after == u" " ? 40 : 100) << zoom << ": " << shown << " shown at the top, not " << top;
        }
        EXPECT_EQ(window->document().text, text);
    }
}

TEST(DocumentWindow, ClosingAsksAboutUnsavedChanges)
{
    CloseWindowsAfterwards cleanup;
    velkin::testing::TempDirectory folder;
    const auto file = folder.write("draft.md", "draft");
    DocumentWindow* window = VelkinApp::shared().openDocument(file);
    ASSERT_NE(window, nullptr);
    window->contentView()->textView()->setSelectedRange({5, 0});
    window->contentView()->textView()->insertText(u"!");
    {
        DialogAnswerer cancel(DialogAnswerer::press(QStringLiteral("Cancel")));
        EXPECT_FALSE(window->close());
        ASSERT_EQ(cancel.texts.size(), 1u);
        EXPECT_TRUE(cancel.texts[0].contains(QStringLiteral("draft.md"))) << cancel.texts[0].toStdString();
    }
    EXPECT_TRUE(window->isVisible());
    {
        DialogAnswerer save(DialogAnswerer::press(QStringLiteral("Save")));
        EXPECT_TRUE(window->close());
    }
    EXPECT_EQ(bytesOf(file), "draft!");

    DocumentWindow* again = VelkinApp::shared().openDocument(file);
    again->contentView()->textView()->insertText(u"?");
    {
        DialogAnswerer discard(DialogAnswerer::press(QStringLiteral("Don\u2019t Save")));
        EXPECT_TRUE(again->close());
    }
    EXPECT_EQ(bytesOf(file), "draft!");
    // A document without changes closes without a question.
    DocumentWindow* quiet = VelkinApp::shared().openDocument(file);
    DialogAnswerer none(DialogAnswerer::reject());
    EXPECT_TRUE(quiet->close());
    EXPECT_TRUE(none.texts.empty());
}

TEST(DocumentWindow, SaveAsAsksForAFileAndAddsTheExtension)
{
    CloseWindowsAfterwards cleanup;
    velkin::testing::TempDirectory folder;
    DocumentWindow* window = VelkinApp::shared().newDocument();
    window->contentView()->textView()->insertText(u"# Fresh\n");
    {
        DialogAnswerer answerer(choose(folder.path() / "fresh"));
        ASSERT_TRUE(window->save());
    }
    EXPECT_EQ(window->fileURL(), folder.path() / "fresh.md");
    EXPECT_EQ(bytesOf(folder.path() / "fresh.md"), "# Fresh\n");
    EXPECT_FALSE(window->isDocumentEdited());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("fresh.md[*]"));
    // Cancelled: nothing is written and the document keeps its file.
    {
        DialogAnswerer answerer(DialogAnswerer::reject());
        EXPECT_FALSE(window->saveAs());
    }
    EXPECT_EQ(window->fileURL(), folder.path() / "fresh.md");
}

// A save the system cuts short (here a file-size limit, in a child process, that the
// last flush of a 12,370-byte document runs into) says so, leaves the file as it was and
// the window marked as changed; Save As to a new name leaves no file.
TEST(DocumentWindow, ASaveCutShortKeepsTheFileAndTheChangeMark)
{
    CloseWindowsAfterwards cleanup;
    velkin::testing::TempDirectory folder;
    std::string text;
    for (int n = 1; text.size() < 12369; ++n)
        text += "line " + std::to_string(n) + " of a longer text\n";
    text.resize(12369);
    text += '\n';
    const auto file = folder.write("long.md", text);
    DocumentWindow* window = VelkinApp::shared().openDocument(file);
    ASSERT_NE(window, nullptr);
    window->contentView()->textView()->setSelectedRange({int(text.size()), 0});
    window->contentView()->textView()->insertText(u"X");
    const auto savedPastLimit = [&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{8192, 8192};
        setrlimit(RLIMIT_FSIZE, &limit);
        DialogAnswerer answer(DialogAnswerer::reject());
        const bool saved = window->save();
        QString error;
        const bool savedAs = window->writeTo(folder.path() / "new.md", &error);
        const bool kept = !saved && !savedAs && window->isWindowModified() && window->fileURL() == file
                          && answer.texts.size() == 1 && answer.texts[0].contains(QStringLiteral("long.md"))
                          && error.contains(QStringLiteral("new.md")) && bytesOf(file) == text
                          && std::distance(std::filesystem::directory_iterator(folder.path()), {}) == 1;
        std::filesystem::remove_all(folder.path());
        return kept;
    };
    // A child started afresh (this test alone, up to here): a forked one would lack the
    // painting threads the message needs.
    const std::string style = GTEST_FLAG_GET(death_test_style);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::_Exit(savedPastLimit() ? 0 : 1), ::testing::ExitedWithCode(0), "");
    GTEST_FLAG_SET(death_test_style, style);
}

// A name that is a folder once the extension is added is refused as a folder before
// any question about replacing it; a name typed with a final dot gets one dot.
TEST(DocumentWindow, SaveAsRefusesAFolderFirstAndAddsTheExtensionOnce)
{
    CloseWindowsAfterwards cleanup;
    velkin::testing::TempDirectory folder;
    std::filesystem::create_directories(folder.path() / "sub.md");
    DocumentWindow* window = VelkinApp::shared().newDocument();
    window->contentView()->textView()->insertText(u"text\n");
    {
        int panels = 0;
        DialogAnswerer answer([&](QDialog& dialog) {
            // Chosen from the event loop: the refusal it brings up is answered in turn.
            if (qobject_cast<QFileDialog*>(&dialog) && panels++ == 0)
                QTimer::singleShot(0, &dialog, [&dialog, &folder] { choose(folder.path() / "sub")(dialog); });
            else
                dialog.reject();
        });
        EXPECT_FALSE(window->saveAs());
        ASSERT_GE(answer.texts.size(), 2u);
        EXPECT_TRUE(answer.texts[1].contains(QStringLiteral("\u201Csub.md\u201D is a folder"))) << answer.texts[1].toStdString();
        EXPECT_FALSE(answer.texts[1].contains(QStringLiteral("replace"))) << answer.texts[1].toStdString();
        EXPECT_EQ(panels, 2);
    }
    EXPECT_FALSE(window->fileURL());
    {
        DialogAnswerer named(choose(folder.path() / "notes."));
        ASSERT_TRUE(window->saveAs());
    }
    EXPECT_EQ(window->fileURL(), folder.path() / "notes.md");
    EXPECT_EQ(bytesOf(folder.path() / "notes.md"), "text\n");
}

TEST(DocumentWindow, ExportFromTheMenuWritesTheChosenFormat)
{
    CloseWindowsAfterwards cleanup;
    velkin::testing::TempDirectory folder;
    const auto file = folder.write("Report.md", "# Report\n\n| a | b |\n| - | - |\n| 1 | 2 |\n");
    DocumentWindow* window = VelkinApp::shared().openDocument(file);
    ASSERT_NE(window, nullptr);
    window->contentView()->textView()->setFocus();
    std::vector<QString> proposed;
    DialogAnswerer answerer([&](QDialog& dialog) {
        if (auto* files = qobject_cast<QFileDialog*>(&dialog))
            proposed.push_back(files->selectedFiles().value(0));
        choose(folder.path() / "Report.html")(dialog);
    });
    action(*window, "exportHTML")->trigger();
    ASSERT_EQ(proposed.size(), 1u);
    EXPECT_TRUE(proposed[0].endsWith(QStringLiteral("Report.html"))) << proposed[0].toStdString();
    const std::string page = bytesOf(folder.path() / "Report.html");
    EXPECT_NE(page.find("<title>Report</title>"), std::string::npos);
    // The grid went out as a table.
    EXPECT_NE(page.find("<table"), std::string::npos);
}

// The document's own file, by its name or through a link, is refused in the command line's
// words and the panel stays open; the file keeps its bytes.
TEST(DocumentWindow, ExportRefusesTheDocumentsOwnFile)
{
    CloseWindowsAfterwards cleanup;
    velkin::testing::TempDirectory folder;
    const auto file = folder.write("Report.md", "# Report\n");
    std::filesystem::create_symlink(file, folder.path() / "link.md");
    DocumentWindow* window = VelkinApp::shared().openDocument(file);
    ASSERT_NE(window, nullptr);
    window->contentView()->textView()->setFocus();
    for (const char* name : {"Report.md", "link.md"}) {
        int panels = 0;
        DialogAnswerer answerer([&](QDialog& dialog) {
            if (!qobject_cast<QFileDialog*>(&dialog) || panels++ > 0)
                return dialog.reject();
            dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QString::fromLatin1(name));
            QMetaObject::invokeMethod(&dialog, "accept", Qt::QueuedConnection);  // so that its alert is answered
        });
        action(*window, "exportHTML")->trigger();
        ASSERT_EQ(answerer.texts.size(), 3u) << name;
        EXPECT_TRUE(answerer.texts[1].contains(QStringLiteral("the output is the input file itself"))) << name;
        EXPECT_EQ(bytesOf(file), "# Report\n");
    }
}

#include "ShellWindowTest.moc"

// ---- The keyboard and the menu bar ----

TEST(DocumentWindow, AltLettersOpenMenusAndNeverType)
{
    CloseWindowsAfterwards cleanup;
    DocumentWindow* window = VelkinApp::shared().newDocument();
    MarkdownTextView* view = window->contentView()->textView();
    window->activateWindow();
    QApplication::setActiveWindow(window);
    view->setFocus();
    settle();
    QTest::keyClicks(view, "ab");
    ASSERT_EQ(window->document().text, u"ab");
    const std::pair<Qt::Key, QMenu*> menus[] = {{Qt::Key_F, window->commands()->fileMenu()},
                                                {Qt::Key_E, window->commands()->editMenu()},
                                                {Qt::Key_O, window->commands()->formatMenu()}};
    for (const auto& [letter, menu] : menus) {
        QTest::keyClick(view, letter, Qt::AltModifier);
        settle();
        EXPECT_EQ(window->document().text, u"ab");
        EXPECT_EQ(QApplication::activePopupWidget(), menu) << menu->title().toStdString();
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
        settle();
    }
    // A letter no menu uses types nothing either.
    QTest::keyClick(view, Qt::Key_Z, Qt::AltModifier);
    EXPECT_EQ(window->document().text, u"ab");
    // F10 opens the first menu.
    view->setFocus();
    QTest::keyClick(view, Qt::Key_F10);
    settle();
    EXPECT_EQ(QApplication::activePopupWidget(), window->commands()->fileMenu());
    if (QWidget* popup = QApplication::activePopupWidget())
        popup->close();
    // Every top-level title shows its access key.
    for (QAction* top : window->menuBar()->actions())
        EXPECT_TRUE(top->text().contains(u'&')) << top->text().toStdString();
}

TEST(DocumentWindow, NewWindowsCascade)
{
    CloseWindowsAfterwards cleanup;
    // Each new window takes the saved frame: all three would open in one place.
    DocumentWindow* sizing = VelkinApp::shared().newDocument();
    sizing->setGeometry(QRect(37, 41, 300, 200));
    sizing->close();
    settle();
    DocumentWindow* first = VelkinApp::shared().newDocument();
    DocumentWindow* second = VelkinApp::shared().newDocument();
    DocumentWindow* third = VelkinApp::shared().newDocument();
    settle();
    EXPECT_EQ(second->pos() - first->pos(), QPoint(WindowCascade::step, WindowCascade::step));
    EXPECT_EQ(third->pos() - second->pos(), QPoint(WindowCascade::step, WindowCascade::step));
    // Near the screen's edge the cascade starts again at the top left.
    const QRect screen(0, 0, 1000, 800);
    const QPoint wrapped = WindowCascade::position({400, 300}, {600, 500}, {{400, 300}}, screen);
    EXPECT_EQ(wrapped, QPoint(0, 300));
    EXPECT_EQ(WindowCascade::position({10, 10}, {600, 500}, {{400, 300}}, screen), QPoint(10, 10));
}

TEST(DocumentWindow, CtrlYRedoesAndTheKeypadsPlusAndMinusZoom)
{
    CloseWindowsAfterwards cleanup;
    DocumentWindow* window = VelkinApp::shared().newDocument();
    MarkdownTextView* view = window->contentView()->textView();
    window->show();
    window->activateWindow();
    QApplication::setActiveWindow(window);
    view->setFocus();
    settle();
    // Whatever the platform's own key bindings say.
    EXPECT_TRUE(action(*window, "redo")->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_Y)));
    EXPECT_TRUE(action(*window, "redo")->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)));
    QTest::keyClicks(view, "abc");
    QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier);
    ASSERT_EQ(window->document().text, u"");
    QTest::keyClick(view, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(window->document().text, u"abc");

    EXPECT_TRUE(action(*window, "zoomIn")
                    ->shortcuts()
                    .contains(QKeySequence(QKeyCombination(Qt::ControlModifier | Qt::KeypadModifier, Qt::Key_Plus))));
    EXPECT_TRUE(action(*window, "zoomOut")
                    ->shortcuts()
                    .contains(QKeySequence(QKeyCombination(Qt::ControlModifier | Qt::KeypadModifier, Qt::Key_Minus))));
    ContentView* content = window->contentView();
    QTest::keyClick(view, Qt::Key_Plus, Qt::ControlModifier | Qt::KeypadModifier);
    EXPECT_DOUBLE_EQ(content->editorZoom(), 1.1);
    QTest::keyClick(view, Qt::Key_Minus, Qt::ControlModifier | Qt::KeypadModifier);
    QTest::keyClick(view, Qt::Key_Minus, Qt::ControlModifier | Qt::KeypadModifier);
    EXPECT_DOUBLE_EQ(content->editorZoom(), 0.9);
    EXPECT_EQ(window->document().text, u"abc");
}

TEST(DocumentWindow, ALongDocumentOpensAtItsTop)
{
    CloseWindowsAfterwards cleanup;
    velkin::testing::TempDirectory folder;
    std::string text = "# First heading\n\n";
    // Long enough to be laid out lazily.
    for (int i = 0; i < 1000; ++i)
        text += "Paragraph " + std::to_string(i) + " with some words to fill the line.\n\n";
    const auto file = folder.write("long.md", text);
    DocumentWindow* window = VelkinApp::shared().openDocument(file);
    ASSERT_NE(window, nullptr);
    window->show();
    settle();
    velkin::testing::waitUntil([] { return false; }, 300);
    MarkdownTextView* view = window->contentView()->textView();
    EXPECT_EQ(view->verticalScrollBar()->value(), 0);
}

namespace {

// The letter after a title's "&", upper case; 0 without one.
QChar accessKey(const QString& title)
{
    for (qsizetype i = 0; i + 1 < title.size(); ++i) {
        if (title[i] != u'&')
            continue;
        if (title[i + 1] != u'&')
            return title[i + 1].toUpper();
        ++i;
    }
    return QChar();
}

// Every item of a menu and of its submenus has an access key, unique in its own menu.
void expectAccessKeys(QMenu* menu)
{
    std::set<QChar> taken;
    for (QAction* item : menu->actions()) {
        if (item->isSeparator())
            continue;
        const QChar key = accessKey(item->text());
        EXPECT_FALSE(key.isNull()) << item->text().toStdString();
        EXPECT_TRUE(taken.insert(key).second) << "access key of " << item->text().toStdString() << " repeats";
        if (item->menu())
            expectAccessKeys(item->menu());
    }
}

} // namespace

TEST(VelkinCommands, FormatInsertAndExportItemsHaveAccessKeys)
{
    QMainWindow window;
    VelkinCommands commands(&window);
    for (QMenu* menu : {commands.formatMenu(), commands.insertMenu(), commands.exportMenu()})
        expectAccessKeys(menu);
}

TEST(DocumentWindow, AltDPressesDontSave)
{
    CloseWindowsAfterwards cleanup;
    DocumentWindow* window = VelkinApp::shared().newDocument();
    window->contentView()->textView()->insertText(u"unsaved");
    std::vector<QString> buttons;
    // The question's buttons are pressed by their access keys: Alt+D does not save.
    DialogAnswerer answer([&](QDialog& dialog) {
        for (QAbstractButton* button : dialog.findChildren<QAbstractButton*>())
            buttons.push_back(button->text());
        // Access keys reach only the active window, which a busy machine may make of the
        // question a moment after showing it.
        dialog.activateWindow();
        (void)QTest::qWaitFor([&] { return QApplication::activeWindow() == &dialog; }, 5000);
        QTest::keyClick(&dialog, Qt::Key_D, Qt::AltModifier);
    });
    QPointer<DocumentWindow> guard(window);
    window->close();
    settle();
    EXPECT_TRUE(guard.isNull() || !guard->isVisible());
    std::set<QChar> keys;
    for (const QString& title : buttons)
        EXPECT_TRUE(keys.insert(accessKey(title)).second && !accessKey(title).isNull()) << title.toStdString();
    EXPECT_EQ(buttons.size(), 3u);
}

TEST(DocumentWindow, SavingInAFolderThatTakesNoFilesOffersSaveAs)
{
    CloseWindowsAfterwards cleanup;
    // No one may make files in /proc, whatever the permissions say: a file there can be
    // read, and its folder refuses the new file saving writes.
    QString error;
    DocumentWindow* window = VelkinApp::shared().openDocument("/proc/version", &error);
    ASSERT_NE(window, nullptr) << error.toStdString();
    window->contentView()->textView()->insertText(u"edited ");
    const U16String text = window->document().text;
    QString shown;
    QStringList offered;
    DialogAnswerer answer([&](QDialog& dialog) {
        if (auto* box = qobject_cast<QMessageBox*>(&dialog))
            shown = box->text() + QStringLiteral("\n") + box->informativeText();
        for (QAbstractButton* button : dialog.findChildren<QAbstractButton*>())
            offered << button->text().remove(QLatin1Char('&'));
        // Cancel: the window stays as it was.
        dialog.reject();
    });
    EXPECT_FALSE(window->save());
    EXPECT_TRUE(shown.contains(QStringLiteral("/proc"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("version"))) << shown.toStdString();
    EXPECT_TRUE(offered.contains(QStringLiteral("Save As\u2026"))) << offered.join(u',').toStdString();
    EXPECT_EQ(window->document().text, text);
    EXPECT_TRUE(window->isWindowModified());
}
