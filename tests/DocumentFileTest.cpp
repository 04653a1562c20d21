// Documents as files: changes made by other programs, Revert, Open Recent, the
// window state kept per file, and text repaired from bytes that were not UTF-8.
#include "ShellTestSupport.h"
#include "TempDirectory.h"

#include "app/ContentView.h"
#include "app/DocumentFile.h"
#include "app/DocumentWindow.h"
#include "app/RecentDocuments.h"
#include "app/VelkinApp.h"
#include "app/VelkinCommands.h"
#include "editor/MarkdownTextView.h"
#include "platform/text/Utf.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QSettings>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include <sys/stat.h>

using namespace velkin;
using velkin::testing::DialogAnswerer;
using velkin::testing::choose;
using velkin::testing::TempDirectory;
using velkin::testing::waitUntil;
namespace fs = std::filesystem;

namespace {

std::string bytesOf(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

void writeFile(const fs::path& file, const std::string& bytes)
{
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

// As many programs save: a new file beside the old one, renamed over it.
void replaceByRename(const fs::path& file, const std::string& bytes)
{
    const fs::path temporary = file.parent_path() / (".~" + file.filename().string());
    writeFile(temporary, bytes);
    fs::rename(temporary, file);
}

// Presses the buttons in order, one per dialog; closes any dialog past the last.
DialogAnswerer::Answer pressInTurn(std::vector<QString> titles)
{
    auto next = std::make_shared<size_t>(0);
    return [titles = std::move(titles), next](QDialog& dialog) {
        if (*next >= titles.size()) {
            dialog.reject();
            return;
        }
        DialogAnswerer::press(titles[(*next)++])(dialog);
    };
}

const QString dontSave = QStringLiteral("Don\u2019t Save");

struct CloseWindowsAfterwards {
    ~CloseWindowsAfterwards()
    {
        DialogAnswerer discard(DialogAnswerer::press(dontSave));
        for (DocumentWindow* window : VelkinApp::shared().documentWindows())
            window->close();
        velkin::testing::settle();
    }
};

void typeAtEnd(DocumentWindow& window, const char16_t* text)
{
    MarkdownTextView* view = window.contentView()->textView();
    view->setSelectedRange({int(window.document().text.size()), 0});
    view->insertText(text);
}

// Collects what a watched file reports.
struct Reports {
    explicit Reports(DocumentFile& file)
    {
        QObject::connect(&file, &DocumentFile::changedOnDisk, [this](DocumentFile::DiskState s) { states.push_back(s); });
    }
    bool waitFor(DocumentFile::DiskState state)
    {
        return waitUntil([&] { return !states.empty() && states.back() == state; });
    }
    std::vector<DocumentFile::DiskState> states;
};

} // namespace

TEST(DocumentFile, SeesReplacementByRenameAndKeepsWatchingTheNewFile)
{
    // Names and folders that are not UTF-8 are watched as well.
    for (const char* name : {"a.md", "n\xFF.md", "f\xFF/a.md"}) {
        SCOPED_TRACE(name);
        TempDirectory folder;
        const fs::path path = folder.write(name, "one");
        DocumentFile file;
        file.setFile(path, "one");
        Reports reports(file);
        EXPECT_EQ(file.check(), DocumentFile::DiskState::same);

        replaceByRename(path, "two");
        ASSERT_TRUE(reports.waitFor(DocumentFile::DiskState::changed));
        std::string seen;
        EXPECT_EQ(file.check(&seen), DocumentFile::DiskState::changed);
        EXPECT_EQ(seen, "two");

        // Taken in, then written in place: the watch moved to the new file.
        file.setFile(path, "two");
        reports.states.clear();
        writeFile(path, "three");
        ASSERT_TRUE(reports.waitFor(DocumentFile::DiskState::changed));

        // A write of the known bytes (our own save) reports nothing.
        file.setFile(path, "four");
        reports.states.clear();
        replaceByRename(path, "four");
        velkin::testing::waitUntil([] { return false; }, 3 * DocumentFile::settleMilliseconds);
        EXPECT_TRUE(reports.states.empty());
    }
}

TEST(DocumentFile, DeletionAndMoveAreMissingUntilTheBytesComeBack)
{
    TempDirectory folder;
    const fs::path path = folder.write("a.md", "text");
    DocumentFile file;
    file.setFile(path, "text");
    Reports reports(file);

    fs::remove(path);
    ASSERT_TRUE(reports.waitFor(DocumentFile::DiskState::missing));
    EXPECT_EQ(file.check(), DocumentFile::DiskState::missing);
    writeFile(path, "text");
    ASSERT_TRUE(reports.waitFor(DocumentFile::DiskState::same));

    fs::rename(path, folder.path() / "moved.md");
    ASSERT_TRUE(reports.waitFor(DocumentFile::DiskState::missing));
    EXPECT_EQ(bytesOf(folder.path() / "moved.md"), "text");
    // A folder where the file was is no file.
    fs::create_directory(path);
    EXPECT_EQ(file.check(), DocumentFile::DiskState::missing);
}

TEST(DocumentFile, RapidWritesEndOnTheLastContent)
{
    TempDirectory folder;
    const fs::path path = folder.write("a.md", "0");
    DocumentFile file;
    file.setFile(path, "0");
    Reports reports(file);
    for (int i = 1; i <= 40; ++i)
        writeFile(path, std::string(size_t(i), 'x'));
    ASSERT_TRUE(reports.waitFor(DocumentFile::DiskState::changed));
    std::string seen;
    ASSERT_TRUE(waitUntil([&] { return file.check(&seen) == DocumentFile::DiskState::changed && seen.size() == 40; }));
    // The looks are coalesced, not one per write.
    EXPECT_LT(reports.states.size(), 40u);
}

TEST(DocumentWindow, AnUnmodifiedDocumentReloadsKeepingCaretAndScroll)
{
    CloseWindowsAfterwards cleanup;
    TempDirectory folder;
    std::string longText;
    for (int i = 0; i < 300; ++i)
        longText += "line " + std::to_string(i) + "\n";
    const fs::path path = folder.write("long.md", longText);
    DocumentWindow* window = VelkinApp::shared().openDocument(path);
    ASSERT_NE(window, nullptr);
    window->resize(700, 500);
    MarkdownTextView* view = window->contentView()->textView();
    view->setSelectedRange({1200, 0});
    QScrollBar* bar = view->verticalScrollBar();
    bar->setValue(bar->maximum() / 2);
    const int scroll = bar->value();

    replaceByRename(path, "changed\n" + longText);
    ASSERT_TRUE(waitUntil([&] { return window->document().text.starts_with(u"changed\n"); }));
    EXPECT_FALSE(window->isDocumentEdited());
    // The caret stays on the text it stood at, after the line put before it.
    EXPECT_EQ(view->selectedRange().location, 1200 + 8);
    EXPECT_EQ(bar->value(), scroll);

    // A shorter text clips the caret.
    writeFile(path, "short");
    ASSERT_TRUE(waitUntil([&] { return window->document().text == u"short"; }));
    EXPECT_EQ(view->selectedRange().location, 5);
    EXPECT_FALSE(window->isDocumentEdited());
}

TEST(DocumentWindow, AModifiedDocumentNeverSavesOverANewerFileWithoutAsking)
{
    CloseWindowsAfterwards cleanup;
    TempDirectory folder;
    const fs::path path = folder.write("shared.md", "base");
    DocumentWindow* window = VelkinApp::shared().openDocument(path);
    ASSERT_NE(window, nullptr);
    typeAtEnd(*window, u" mine");
    writeFile(path, "theirs");
    // The window's edits are kept while the file changes.
    ASSERT_TRUE(waitUntil([&] { return window->diskFile().check() == DocumentFile::DiskState::changed; }));
    velkin::testing::settle(10);
    EXPECT_EQ(window->document().text, u"base mine");

    {
        DialogAnswerer cancel(DialogAnswerer::press(QStringLiteral("Cancel")));
        EXPECT_FALSE(window->save());
        ASSERT_EQ(cancel.texts.size(), 1u);
        EXPECT_TRUE(cancel.texts[0].contains(QStringLiteral("shared.md"))) << cancel.texts[0].toStdString();
    }
    EXPECT_EQ(bytesOf(path), "theirs");
    {
        // Reload asks again; cancelling that keeps the edits.
        DialogAnswerer answers(pressInTurn({QStringLiteral("Reload\u2026"), QStringLiteral("Cancel")}));
        EXPECT_FALSE(window->save());
        EXPECT_EQ(answers.texts.size(), 2u);
    }
    EXPECT_EQ(window->document().text, u"base mine");
    EXPECT_EQ(bytesOf(path), "theirs");
    {
        DialogAnswerer answers(pressInTurn({QStringLiteral("Reload\u2026"), QStringLiteral("Reload")}));
        EXPECT_FALSE(window->save());
    }
    EXPECT_EQ(window->document().text, u"theirs");
    EXPECT_FALSE(window->isDocumentEdited());

    typeAtEnd(*window, u"!");
    replaceByRename(path, "newer");
    {
        DialogAnswerer overwrite(DialogAnswerer::press(QStringLiteral("Overwrite")));
        EXPECT_TRUE(window->save());
    }
    EXPECT_EQ(bytesOf(path), "theirs!");
    // Saved: the next save does not ask.
    DialogAnswerer none(DialogAnswerer::reject());
    typeAtEnd(*window, u"?");
    EXPECT_TRUE(window->save());
    EXPECT_TRUE(none.texts.empty());
    EXPECT_EQ(bytesOf(path), "theirs!?");
}

TEST(DocumentWindow, ADeletedOrMovedFileKeepsTheTextAndTheNextSaveAsksWhere)
{
    CloseWindowsAfterwards cleanup;
    TempDirectory folder;
    const fs::path path = folder.write("gone.md", "keep me");
    DocumentWindow* window = VelkinApp::shared().openDocument(path);
    ASSERT_NE(window, nullptr);
    fs::remove(path);
    ASSERT_TRUE(waitUntil([&] { return window->isFileMissing(); }));
    EXPECT_EQ(window->document().text, u"keep me");
    // Closing now would lose the text: it counts as unsaved.
    EXPECT_TRUE(window->isDocumentEdited());
    EXPECT_TRUE(window->isWindowModified());
    EXPECT_FALSE(window->canRevert());
    {
        DialogAnswerer cancel(DialogAnswerer::press(QStringLiteral("Cancel")));
        EXPECT_FALSE(window->close());
        EXPECT_EQ(cancel.texts.size(), 1u);
    }
    const fs::path chosen = folder.path() / "kept.md";
    {
        DialogAnswerer answerer(choose(chosen));
        EXPECT_TRUE(window->save());
    }
    EXPECT_EQ(bytesOf(chosen), "keep me");
    EXPECT_FALSE(fs::exists(path));
    EXPECT_FALSE(window->isDocumentEdited());

    // Moved away, even when the watch missed it: the save still asks.
    const fs::path elsewhere = folder.path() / "elsewhere.md";
    window->diskFile().blockSignals(true);
    fs::rename(chosen, elsewhere);
    typeAtEnd(*window, u"!");
    {
        DialogAnswerer reject(DialogAnswerer::reject());
        EXPECT_FALSE(window->save());
        ASSERT_EQ(reject.texts.size(), 1u);
    }
    EXPECT_EQ(bytesOf(elsewhere), "keep me");
    EXPECT_FALSE(fs::exists(chosen));
    EXPECT_TRUE(window->isDocumentEdited());
}

TEST(DocumentWindow, RevertToSavedAsksAndPutsBackTheSavedText)
{
    CloseWindowsAfterwards cleanup;
    TempDirectory folder;
    const fs::path path = folder.write("r.md", "saved text");
    DocumentWindow* window = VelkinApp::shared().openDocument(path);
    ASSERT_NE(window, nullptr);
    QAction* revert = window->commands()->revertItem();
    window->commands()->refresh();
    EXPECT_FALSE(revert->isEnabled());

    typeAtEnd(*window, u" and more");
    window->commands()->refresh();
    EXPECT_TRUE(revert->isEnabled());
    {
        DialogAnswerer cancel(DialogAnswerer::press(QStringLiteral("Cancel")));
        revert->trigger();
        EXPECT_EQ(cancel.texts.size(), 1u);
    }
    EXPECT_EQ(window->document().text, u"saved text and more");
    {
        DialogAnswerer yes(DialogAnswerer::press(QStringLiteral("Revert")));
        revert->trigger();
        ASSERT_EQ(yes.texts.size(), 1u);
        EXPECT_TRUE(yes.texts[0].contains(QStringLiteral("r.md")));
    }
    EXPECT_EQ(window->document().text, u"saved text");
    EXPECT_FALSE(window->isDocumentEdited());
    EXPECT_EQ(window->contentView()->textView()->selectedRange().location, 10);
    window->commands()->refresh();
    EXPECT_FALSE(revert->isEnabled());
}

TEST(RecentDocuments, TheListIsMostRecentFirstWithoutRepeats)
{
    const QStringList list = RecentDocuments::noted({"/a", "/b", "/c"}, "/b", 3);
    EXPECT_EQ(list, QStringList({"/b", "/a", "/c"}));
    EXPECT_EQ(RecentDocuments::noted(list, "/d", 3), QStringList({"/d", "/b", "/a"}));
    EXPECT_EQ(RecentDocuments::noted({}, "/x", 0), QStringList());
}

TEST(RecentDocuments, OpenRecentListsOpensDropsMissingFilesAndClears)
{
    CloseWindowsAfterwards cleanup;
    TempDirectory folder;
    RecentDocuments::clear();
    const fs::path first = folder.write("first.md", "1");
    const fs::path second = folder.write("sub/first.md", "2");
    const fs::path third = folder.write("a&b.md", "3");
    for (const fs::path& file : {first, second, third}) {
        DocumentWindow* window = VelkinApp::shared().openDocument(file);
        ASSERT_NE(window, nullptr);
        window->close();
    }
    EXPECT_EQ(RecentDocuments::files(),
              QStringList({QString::fromStdString(third.string()), QString::fromStdString(second.string()),
                           QString::fromStdString(first.string())}));

    DocumentWindow* window = VelkinApp::shared().newDocument();
    QMenu* recent = window->commands()->recentMenu();
    recent->aboutToShow();
    QStringList titles;
    for (QAction* action : recent->actions())
        titles.push_back(action->text());
    ASSERT_EQ(titles.size(), 5);
    EXPECT_EQ(titles[0], QStringLiteral("&1 a&&b.md"));
    // Files of one name show their folders.
    EXPECT_TRUE(titles[1].startsWith(QStringLiteral("&2 first.md \u2014 "))) << titles[1].toStdString();
    EXPECT_TRUE(titles[1].endsWith(QStringLiteral("sub")));

    // Chosen, a file opens and moves to the front.
    recent->actions()[2]->trigger();
    ASSERT_NE(VelkinApp::shared().windowFor(first), nullptr);
    EXPECT_EQ(RecentDocuments::files().front(), QString::fromStdString(first.string()));

    // A file that no longer exists is reported and dropped.
    fs::remove(second);
    recent->aboutToShow();
    {
        DialogAnswerer ok(DialogAnswerer::press(QStringLiteral("OK")));
        const QString missing = QString::fromStdString(second.string());
        VelkinApp::shared().openRecent(missing, window);
        ASSERT_EQ(ok.texts.size(), 1u);
        EXPECT_TRUE(ok.texts[0].contains(QStringLiteral("first.md")));
        EXPECT_FALSE(RecentDocuments::files().contains(missing));
    }

    // A name that is not UTF-8 comes back as its bytes, its window state with it.
    const fs::path bytes = folder.write("n\xFF\xFE.md", "4");
    const fs::path others = folder.write("n\xFE\xFF.md", "5");
    RecentDocuments::saveWindowState(bytes, {2.0, MarkdownFontFamily::serif});
    EXPECT_FALSE(RecentDocuments::windowState(others).has_value());
    ASSERT_NE(VelkinApp::shared().openDocument(bytes), nullptr);
    VelkinApp::shared().windowFor(bytes)->close();
    recent->aboutToShow();
    recent->actions()[0]->trigger();
    ASSERT_NE(VelkinApp::shared().windowFor(bytes), nullptr);
    EXPECT_EQ(VelkinApp::shared().windowFor(bytes)->contentView()->editorZoom(), 2.0);

    recent->aboutToShow();
    QAction* clear = window->findChild<QAction*>(QStringLiteral("clearRecent"));
    ASSERT_NE(clear, nullptr);
    clear->trigger();
    EXPECT_TRUE(RecentDocuments::files().isEmpty());
    recent->aboutToShow();
    ASSERT_EQ(recent->actions().size(), 1);
    EXPECT_FALSE(recent->actions()[0]->isEnabled());
}

TEST(RecentDocuments, ZoomAndFamilyComeBackWithTheFile)
{
    CloseWindowsAfterwards cleanup;
    TempDirectory folder;
    const fs::path path = folder.write("styled.md", "# Styled");
    DocumentWindow* window = VelkinApp::shared().openDocument(path);
    ASSERT_NE(window, nullptr);
    window->contentView()->setEditorZoom(1.5);
    window->contentView()->setEditorFontFamily(MarkdownFontFamily::serif);
    window->close();
    velkin::testing::settle();

    window = VelkinApp::shared().openDocument(path);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->contentView()->editorZoom(), 1.5);
    EXPECT_EQ(window->contentView()->editorFontFamily(), MarkdownFontFamily::serif);
    // The editor is built at that size from the start.
    EXPECT_DOUBLE_EQ(window->contentView()->textView()->gridBaseSize, 14 * 1.5);
    window->close();

    // Saved under a new name, the state goes with it; a new document starts plain.
    EXPECT_EQ(VelkinApp::shared().newDocument()->contentView()->editorZoom(), 1.0);

    // A state the settings hold badly is ignored; one out of range is brought inside.
    RecentDocuments::saveWindowState(path, {9.0, MarkdownFontFamily::monospace});
    EXPECT_EQ(RecentDocuments::windowState(path), (RecentDocuments::WindowState{3.0, MarkdownFontFamily::monospace}));
    {
        QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Velkin"), QStringLiteral("Velkin"));
        for (const QString& key : settings.allKeys())
            if (key.startsWith(QStringLiteral("DocumentState/")))
                settings.setValue(key, QStringList{QStringLiteral("nan"), QStringLiteral("serif")});
    }
    EXPECT_FALSE(RecentDocuments::windowState(path).has_value());
    window = VelkinApp::shared().openDocument(path);
    EXPECT_EQ(window->contentView()->editorZoom(), 1.0);
}

TEST(DocumentWindow, RepairedTextIsShownAndItsFirstSaveAsks)
{
    CloseWindowsAfterwards cleanup;
    TempDirectory folder;
    const std::string original = "caf\xE9 au lait";
    const fs::path path = folder.write("latin1.md", original);
    DocumentWindow* window = VelkinApp::shared().openDocument(path);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isRepaired());
    EXPECT_FALSE(window->isDocumentEdited());
    const QString notice = window->contentView()->notice();
    EXPECT_TRUE(notice.contains(QStringLiteral("latin1.md"))) << notice.toStdString();
    EXPECT_TRUE(notice.contains(QStringLiteral("U+FFFD")));
    // The original bytes count as the file's: no outside change is seen.
    EXPECT_EQ(window->diskFile().check(), DocumentFile::DiskState::same);
    {
        DialogAnswerer cancel(DialogAnswerer::press(QStringLiteral("Cancel")));
        EXPECT_FALSE(window->save());
        ASSERT_EQ(cancel.texts.size(), 1u);
        EXPECT_TRUE(cancel.texts[0].contains(QStringLiteral("latin1.md")));
    }
    EXPECT_EQ(bytesOf(path), original);
    {
        DialogAnswerer replace(DialogAnswerer::press(QStringLiteral("Replace")));
        EXPECT_TRUE(window->save());
    }
    EXPECT_EQ(bytesOf(path), "caf\xEF\xBF\xBD au lait");
    EXPECT_TRUE(window->contentView()->notice().isEmpty());
    DialogAnswerer none(DialogAnswerer::reject());
    EXPECT_TRUE(window->save());
    EXPECT_TRUE(none.texts.empty());
}

TEST(DocumentWindow, AByteOrderMarkStaysOutOfTheTextAndInTheFile)
{
    CloseWindowsAfterwards cleanup;
    TempDirectory folder;
    const std::string mark = "\xEF\xBB\xBF";
    const fs::path path = folder.write("bom.md", mark + "# Title\r\n\r\nText\r\n");
    DocumentWindow* window = VelkinApp::shared().openDocument(path);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->document().text, u"# Title\r\n\r\nText\r\n");
    EXPECT_FALSE(window->isDocumentEdited());
    EXPECT_EQ(window->diskFile().check(), DocumentFile::DiskState::same);

    typeAtEnd(*window, u"x");
    ASSERT_TRUE(window->save());
    EXPECT_EQ(bytesOf(path), mark + "# Title\r\n\r\nText\r\nx");
    EXPECT_FALSE(window->isDocumentEdited());

    const fs::path copy = folder.path() / "copy.md";
    {
        DialogAnswerer answer(choose(copy));
        ASSERT_TRUE(window->saveAs());
    }
    EXPECT_EQ(bytesOf(copy), mark + "# Title\r\n\r\nText\r\nx");

    // Another program drops the mark, then writes it back with new text: the
    // window follows the file, unmodified, and saves what it last read.
    replaceByRename(copy, "# Title\r\n\r\nText\r\nx");
    ASSERT_TRUE(waitUntil([&] { return !window->document().byteOrderMark; }));
    EXPECT_FALSE(window->isDocumentEdited());
    replaceByRename(copy, mark + "y");
    ASSERT_TRUE(waitUntil([&] { return window->document().text == u"y"; }));
    EXPECT_TRUE(window->document().byteOrderMark);
    typeAtEnd(*window, u"z");
    ASSERT_TRUE(window->save());
    EXPECT_EQ(bytesOf(copy), mark + "yz");
    typeAtEnd(*window, u"w");
    {
        DialogAnswerer yes(DialogAnswerer::press(QStringLiteral("Revert")));
        ASSERT_TRUE(window->revertToSaved());
    }
    EXPECT_EQ(window->document(), (MarkdownDocument{u"yz", true}));
    EXPECT_FALSE(window->isDocumentEdited());
}

TEST(DocumentWindow, ABinaryLookingFileAsksBeforeItOpens)
{
    CloseWindowsAfterwards cleanup;
    TempDirectory folder;
    EXPECT_TRUE(MarkdownDocument::looksBinary(std::string("ab\0cd", 5)));
    EXPECT_FALSE(MarkdownDocument::looksBinary(std::string(8192, 'a') + std::string(1, '\0')));
    const fs::path path = folder.write("blob.md", std::string("PK\0\0\x01\x02", 6));
    QString error;
    {
        DialogAnswerer cancel(DialogAnswerer::press(QStringLiteral("Cancel")));
        EXPECT_EQ(VelkinApp::shared().openDocument(path, &error), nullptr);
        ASSERT_EQ(cancel.texts.size(), 1u);
        EXPECT_TRUE(cancel.texts[0].contains(QStringLiteral("blob.md")));
    }
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(VelkinApp::shared().windowFor(path), nullptr);
    DialogAnswerer open(DialogAnswerer::press(QStringLiteral("Open")));
    DocumentWindow* window = VelkinApp::shared().openDocument(path, &error);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->document().text, (U16String{u'P', u'K', 0, 0, 1, 2}));
}

// A window shows and saves the file the system names, whatever the path says: a ".."
// after a linked folder, a name that is not UTF-8, a file only its owner may write. Saving
// over a pipe or a device is refused at once with the reason.
TEST(DocumentWindow, AWindowSavesTheFileItShows)
{
    CloseWindowsAfterwards cleanup;
    TempDirectory folder;
    folder.write("real/deep/.keep", "");
    fs::create_symlink(folder.path() / "real/deep", folder.path() / "lnk");
    folder.write("real/doc.md", "real");
    folder.write("doc.md", "decoy");
    const fs::path ownerWrites = folder.write("owner-writes.md", "kept");
    ::chmod(ownerWrites.c_str(), 0644);
    folder.write("bad\xFF.md", "bytes");
    struct Form {
        const char* form;
        fs::path opened;
        fs::path file;  // the file it is
    };
    const Form forms[] = {
        {"link through ..", folder.path() / "lnk/../doc.md", folder.path() / "real/doc.md"},
        {"name not UTF-8", folder.path() / "bad\xFF.md", folder.path() / "bad\xFF.md"},
        {"file only its owner may write", ownerWrites, ownerWrites},
    };
    for (const Form& form : forms) {
        SCOPED_TRACE(form.form);
        const std::string before = bytesOf(form.file);
        DocumentWindow* window = VelkinApp::shared().openDocument(form.opened);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(u8(window->document().text), before);
        EXPECT_EQ(window->diskFile().check(), DocumentFile::DiskState::same);
        // Pictures go beside the file it is, however its name is spelt.
        EXPECT_EQ(window->contentView()->textView()->documentURL()->path(), fs::canonical(form.file).string());
        typeAtEnd(*window, u"!");
        DialogAnswerer none(DialogAnswerer::reject());
        ASSERT_TRUE(window->save());
        EXPECT_TRUE(none.texts.empty()) << "no question, no false outside change";
        EXPECT_EQ(bytesOf(form.file), before + "!");
    }
    EXPECT_EQ(bytesOf(folder.path() / "doc.md"), "decoy");
    EXPECT_EQ(fs::status(ownerWrites).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);

    ASSERT_EQ(::mkfifo((folder.path() / "pipe.md").c_str(), 0600), 0);
    fs::create_symlink("/dev/full", folder.path() / "full.md");
    DocumentWindow* window = VelkinApp::shared().openDocument(folder.path() / "doc.md");
    ASSERT_NE(window, nullptr);
    for (const char* target : {"pipe.md", "full.md"}) {
        QString error;
        EXPECT_FALSE(window->writeTo(folder.path() / target, &error));
        EXPECT_TRUE(error.endsWith(QStringLiteral("it is not a regular file."))) << error.toStdString();
    }
    EXPECT_EQ(*window->fileURL(), fs::canonical(folder.path()) / "doc.md");
}
