// The help window: its sidebar, its pages, going back and forward, search, and
// the page view's column and scrolling.
#include "ShellTestSupport.h"

#include "app/VelkinApp.h"
#include "app/VelkinCommands.h"
#include "help/view/HelpPageView.h"
#include "help/view/HelpView.h"
#include "help/view/HelpWindow.h"
#include "platform/view/WindowFrame.h"
#include "platform/text/QtString.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QStackedWidget>
#include <QToolButton>
#include <QTreeWidget>

#include "platform/view/FindBar.h"

#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

using namespace velkin;
using velkin::testing::settle;
using velkin::testing::waitUntil;

namespace {

U16String longPage()
{
    U16String text = u"# Guide\n\nThe Details heading comes later; Details also appear here.\n\n";
    const auto filler = [&](int from, int to) {
        for (int i = from; i < to; ++i)
            text += u"Filler paragraph number " + fromQString(QString::number(i)) + u" with enough words to wrap.\n\n";
    };
    filler(0, 40);
    text += u"## Details\n\nThe middle.\n\n";
    filler(40, 80);
    text += u"## Nowhere Else\n\nLast.\n";
    return text;
}

HelpBook smallBook()
{
    std::vector<HelpPage> pages;
    pages.push_back(HelpPage::make(u"index", u"# Help\n\n## Basics\n\n- [Guide](guide.md) - the long page\n"
                                             u"- [Other](other.md) - short\n- [Gone](gone.md) - not there\n"));
    pages.push_back(HelpPage::make(u"guide", longPage()));
    pages.push_back(HelpPage::make(u"other", u"# Other\n\nSee the [guide](guide.md#details).\n"));
    return HelpBook(std::move(pages), std::nullopt);
}

QTreeWidgetItem* rowFor(QTreeWidget* list, const QString& id)
{
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->data(0, Qt::UserRole).toString() == id)
            return list->topLevelItem(i);
    return nullptr;
}

void pressKey(QWidget* target, int key, Qt::KeyboardModifiers modifiers)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QApplication::sendEvent(target, &press);
    QApplication::sendEvent(target, &release);
}

} // namespace

TEST(HelpView, ContentsListTheBookAndChoosingARowOpensItsPage)
{
    HelpNavigator navigator(smallBook());
    HelpView view(navigator);
    view.resize(1020, 720);
    view.show();
    QTreeWidget* contents = view.contentsList();
    EXPECT_EQ(view.sidebarContent(), contents);
    ASSERT_GE(contents->topLevelItemCount(), 5);
    EXPECT_EQ(contents->topLevelItem(0)->text(0), QStringLiteral("Contents"));
    EXPECT_EQ(contents->topLevelItem(1)->text(0), QStringLiteral("Basics"));
    EXPECT_EQ(contents->topLevelItem(2)->text(0), QStringLiteral("Guide"));
    EXPECT_EQ(contents->topLevelItem(2)->toolTip(0), QStringLiteral("the long page"));
    // The shown page's row is selected.
    EXPECT_TRUE(contents->topLevelItem(0)->isSelected());
    ASSERT_NE(view.pageView(), nullptr);
    EXPECT_EQ(view.pageView()->pageID(), u"index");
    EXPECT_FALSE(view.backButton()->isEnabled());
    EXPECT_FALSE(view.forwardButton()->isEnabled());

    contents->setCurrentItem(rowFor(contents, QStringLiteral("other")));
    settle();
    EXPECT_EQ(navigator.pageID(), u"other");
    EXPECT_EQ(view.pageView()->pageID(), u"other");
    EXPECT_TRUE(view.backButton()->isEnabled());
    EXPECT_FALSE(view.forwardButton()->isEnabled());

    view.backButton()->click();
    settle();
    EXPECT_EQ(view.pageView()->pageID(), u"index");
    EXPECT_TRUE(view.forwardButton()->isEnabled());
    view.forwardButton()->click();
    settle();
    EXPECT_EQ(view.pageView()->pageID(), u"other");
}

TEST(HelpView, AMissingPageShowsTheNotice)
{
    HelpNavigator navigator(smallBook());
    HelpView view(navigator);
    view.show();
    QTreeWidget* contents = view.contentsList();
    // "gone" is listed but has no page: choosing it changes nothing.
    contents->setCurrentItem(rowFor(contents, QStringLiteral("gone")));
    settle();
    EXPECT_EQ(navigator.pageID(), u"index");

    // A book without its contents page starts on a page that is not there.
    std::vector<HelpPage> pages{HelpPage::make(u"alone", u"# Alone\n")};
    HelpNavigator lonely(HelpBook(std::move(pages), std::nullopt));
    HelpView missing(lonely);
    missing.show();
    EXPECT_EQ(missing.pageView(), nullptr);
    EXPECT_TRUE(missing.pageMissingView()->isVisible());
}

TEST(HelpView, SearchShowsRankedResultsAndChoosingOneKeepsTheSearch)
{
    HelpNavigator navigator(smallBook());
    HelpView view(navigator);
    view.show();
    view.searchField()->setText(QStringLiteral("details"));
    settle();
    EXPECT_EQ(navigator.query(), u"details");
    ASSERT_EQ(view.sidebarContent(), view.resultsList());
    QTreeWidget* results = view.resultsList();
    ASSERT_EQ(results->topLevelItemCount(), 1 + int(navigator.results().size()));
    const size_t count = navigator.results().size();
    EXPECT_EQ(results->topLevelItem(0)->text(0),
              count == 1 ? QStringLiteral("1 result") : QStringLiteral("%1 results").arg(count));
    QTreeWidgetItem* guide = rowFor(results, QStringLiteral("guide"));
    ASSERT_NE(guide, nullptr);
    results->setCurrentItem(guide);
    settle();
    EXPECT_EQ(navigator.pageID(), u"guide");
    EXPECT_EQ(navigator.anchor(), std::optional<U16String>(u"details"));
    EXPECT_EQ(view.searchField()->text(), QStringLiteral("details"));
    EXPECT_EQ(view.sidebarContent(), view.resultsList());

    view.searchField()->setText(QStringLiteral("zebra"));
    settle();
    EXPECT_EQ(view.sidebarContent(), view.noResultsView());
    view.searchField()->clear();
    settle();
    EXPECT_EQ(view.sidebarContent(), view.contentsList());
}

TEST(HelpPageView, KeepsItsTextInACentredColumn)
{
    EXPECT_EQ(HelpTextView::horizontalInset(1000), 140);
    EXPECT_EQ(HelpTextView::horizontalInset(600), 28);
    EXPECT_EQ(HelpTextView::horizontalInset(776), 28);
    HelpTextView view;
    view.applyColumn(1000);
    EXPECT_EQ(view.textContainerInset(), QSizeF(140, 28));
    // A change of half a point or less leaves the inset alone.
    view.applyColumn(1001);
    EXPECT_EQ(view.textContainerInset().width(), 140);
    view.applyColumn(1002);
    EXPECT_EQ(view.textContainerInset().width(), 141);
}

TEST(HelpPageView, RendersThePageAsProse)
{
    const HelpPage page = HelpPage::make(u"p", u"# Title\n\nSome **bold** and a [link](other.md).\n\n- [x] done\n");
    const TextStorage text = HelpPageView::renderedText(page, std::nullopt);
    EXPECT_EQ(text.string().find(u"**"), U16String::npos);
    EXPECT_EQ(text.string().find(u"# "), U16String::npos);
    EXPECT_EQ(text.string().find(u"(other.md)"), U16String::npos);
    const size_t link = text.string().find(u"link");
    ASSERT_NE(link, U16String::npos);
    const U16String* target = text.attributes(int(link)).string(AttributeKey::Link);
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(*target, u"other.md");
}

TEST(HelpPageView, ScrollsToAnAnchorOneTurnLaterAndOnlyOnce)
{
    const HelpBook book = smallBook();
    const HelpPage& guide = *book.page(u"guide");
    std::vector<U16String> followed;
    HelpPageView view(guide, U16String(u"details"), std::nullopt, [&](const U16String& link) {
        followed.push_back(link);
        return true;
    });
    view.resize(800, 400);
    view.show();
    QScrollBar* bar = view.textView()->verticalScrollBar();
    // Nothing moves before the event loop turns.
    EXPECT_EQ(bar->value(), 0);
    settle();
    EXPECT_GT(bar->value(), 0);
    // The heading's own line, not the earlier mention inside a paragraph.
    const int shown = bar->value();
    const U16String& text = view.textView()->string();
    const size_t heading = text.rfind(u"Details\n");
    ASSERT_NE(heading, U16String::npos);
    const QRectF box = view.textView()->layoutManager()->boundingRect({int(heading), 7});
    EXPECT_NEAR(shown, box.top() + 28 - 12, 1.5);

    // The same destination again: nothing moves, even after the user scrolled.
    bar->setValue(0);
    view.update(U16String(u"details"), nullptr);
    settle();
    EXPECT_EQ(bar->value(), 0);
    // An anchor the page does not have shows the top.
    bar->setValue(50);
    view.update(U16String(u"no-such-heading"), nullptr);
    settle();
    EXPECT_EQ(bar->value(), 0);
    // A heading near the end scrolls only as far as the text allows.
    view.update(U16String(u"nowhere-else"), nullptr);
    settle();
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(view.renderedPageID(), std::optional<U16String>(u"guide"));
}

TEST(HelpPageView, ATitleOnNoLineOfItsOwnLeavesTheViewWhereItWas)
{
    const HelpPage page = HelpPage::make(u"p", longPage());
    HelpPageView view(page, std::nullopt, std::nullopt, nullptr);
    view.resize(800, 300);
    view.show();
    settle();
    view.textView()->verticalScrollBar()->setValue(120);
    HelpHeading heading;
    heading.title = u"enough words";
    EXPECT_FALSE(HelpPageView::scrollToTop(*view.textView(), heading));
    EXPECT_EQ(view.textView()->verticalScrollBar()->value(), 120);
}

TEST(HelpWindow, OneWindowForTheProcessKeptWhenClosed)
{
    WindowFrame::forget(HelpWindow::frameName);
    HelpWindow::show();
    QMainWindow* window = HelpWindow::window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Velkin Help"));
    EXPECT_EQ(window->minimumSize(), QSize(640, 400));
    settle();
    EXPECT_EQ(window->centralWidget()->size(), QSize(1020, 720));
    HelpNavigator* navigator = HelpWindow::navigator();
    ASSERT_NE(navigator, nullptr);
    navigator->open(u"tables");
    settle();
    window->close();
    EXPECT_FALSE(window->isVisible());
    HelpWindow::show();
    EXPECT_EQ(HelpWindow::window(), window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(HelpWindow::navigator()->pageID(), u"tables");
    EXPECT_TRUE(navigator->canGoBack());
    // Its frame was saved under its own name.
    EXPECT_FALSE(WindowFrame::saved(HelpWindow::frameName).isEmpty());
}

TEST(HelpWindow, BracketKeysGoBackAndForward)
{
    HelpWindow::show();
    QMainWindow* window = HelpWindow::window();
    ASSERT_NE(window, nullptr);
    HelpNavigator& navigator = *HelpWindow::navigator();
    navigator.open(u"tables");
    navigator.open(u"lists");
    settle();
    window->activateWindow();
    QApplication::setActiveWindow(window);
    QWidget* target = window->focusWidget() ? window->focusWidget() : window;
    pressKey(target, Qt::Key_BracketLeft, Qt::ControlModifier);
    EXPECT_EQ(navigator.pageID(), u"tables");
    // With another modifier as well the key is not a history move.
    pressKey(target, Qt::Key_BracketLeft, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(navigator.pageID(), u"tables");
    pressKey(target, Qt::Key_BracketRight, Qt::ControlModifier);
    EXPECT_EQ(navigator.pageID(), u"lists");
    settle();
    ASSERT_NE(HelpWindow::view()->pageView(), nullptr);
    EXPECT_EQ(HelpWindow::view()->pageView()->pageID(), u"lists");
    // Alt+Left and Alt+Right do the same, from the page and from the search field.
    QWidget* page = HelpWindow::view()->pageView()->textView();
    QWidget* search = HelpWindow::view()->searchField();
    for (QWidget* from : {page, search}) {
        from->setFocus();
        pressKey(from, Qt::Key_Left, Qt::AltModifier);
        EXPECT_EQ(navigator.pageID(), u"tables");
        pressKey(from, Qt::Key_Right, Qt::AltModifier);
        EXPECT_EQ(navigator.pageID(), u"lists");
    }
}

TEST(HelpWindow, CarriesTheMenusAndItsPageAnswersFind)
{
    VelkinApp::shared();  // gives help windows their menus
    HelpWindow::show();
    QMainWindow* window = HelpWindow::window();
    ASSERT_NE(window, nullptr);
    settle();
    QAction* find = window->findChild<QAction*>(QStringLiteral("findShow"));
    ASSERT_NE(find, nullptr);
    EXPECT_TRUE(find->isEnabled());
    // Document commands are off in the help window.
    QAction* bold = window->findChild<QAction*>(QStringLiteral("mdBold"));
    ASSERT_NE(bold, nullptr);
    EXPECT_FALSE(bold->isEnabled());
    HelpPageView* page = HelpWindow::view()->pageView();
    ASSERT_NE(page, nullptr);
    page->textView()->setFocus();
    EXPECT_FALSE(page->textView()->isFindBarVisible());
    find->trigger();
    EXPECT_TRUE(page->textView()->isFindBarVisible());
    // The same bar as the editor's, without replacing: Return finds, Escape closes.
    FindBar* bar = page->textView()->findBar();
    ASSERT_NE(bar, nullptr);
    EXPECT_FALSE(bar->isReplaceShown());
    const U16String text = page->textView()->string();
    QTest::keyClicks(bar->findField(), "the");
    const Range first = page->textView()->selectedRange();
    EXPECT_EQ(first.length, 3);
    QTest::keyClick(bar->findField(), Qt::Key_Return);
    EXPECT_GT(page->textView()->selectedRange().location, first.location);
    QTest::keyClick(bar->findField(), Qt::Key_Escape);
    EXPECT_FALSE(page->textView()->isFindBarVisible());
    EXPECT_EQ(page->textView()->string(), text);
}

TEST(HelpWindow, FormatKeysTypeNothingIntoItsFields)
{
    VelkinApp::shared();  // gives help windows their menus
    HelpWindow::show();
    QMainWindow* window = HelpWindow::window();
    ASSERT_NE(window, nullptr);
    settle();
    HelpPageView* page = HelpWindow::view()->pageView();
    ASSERT_NE(page, nullptr);
    page->textView()->setFocus();
    window->findChild<QAction*>(QStringLiteral("findShow"))->trigger();
    ASSERT_NE(page->textView()->findBar(), nullptr);
    // Subscript and Superscript are disabled here; their keys still belong to them,
    // from the main keys and the keypad, "+" with and without Shift.
    for (QLineEdit* field : {HelpWindow::view()->searchField(), page->textView()->findBar()->findField()}) {
        field->setFocus();
        field->setText(QStringLiteral("table"));
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Minus, Qt::ControlModifier | Qt::AltModifier);
        QTest::keyClick(field, Qt::Key_Minus, Qt::ControlModifier | Qt::AltModifier | Qt::KeypadModifier);
        QTest::keyClick(field, Qt::Key_Plus, Qt::ControlModifier | Qt::AltModifier);
        QTest::keyClick(field, Qt::Key_Plus, Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier);
        EXPECT_EQ(field->text(), QStringLiteral("table")) << field->objectName().toStdString();
        EXPECT_EQ(field->selectedText(), QStringLiteral("table"));
        QTest::keyClick(field, Qt::Key_Minus);
        EXPECT_EQ(field->text(), QStringLiteral("-"));
    }
    page->textView()->closeFindBar();
    HelpWindow::view()->searchField()->clear();
}

TEST(HelpView, DownInTheSearchFieldReachesTheResultsAndReturnOpensOne)
{
    HelpNavigator navigator(smallBook());
    HelpView view(navigator);
    view.show();
    view.activateWindow();
    QApplication::setActiveWindow(&view);
    view.searchField()->setFocus();
    QTest::keyClicks(view.searchField(), "other");
    settle();
    ASSERT_EQ(view.sidebarContent(), view.resultsList());
    QTest::keyClick(view.searchField(), Qt::Key_Down);
    QTreeWidget* results = view.resultsList();
    EXPECT_EQ(QApplication::focusWidget(), results);
    ASSERT_NE(results->currentItem(), nullptr);
    const QString first = results->currentItem()->data(0, Qt::UserRole).toString();
    EXPECT_EQ(results->currentItem(), results->topLevelItem(1));  // the first result, under the count
    QTest::keyClick(results, Qt::Key_Return);
    settle();
    EXPECT_EQ(navigator.pageID(), fromQString(first));
    ASSERT_NE(view.pageView(), nullptr);
    EXPECT_EQ(QApplication::focusWidget(), view.pageView()->textView());
    EXPECT_EQ(view.searchField()->text(), QStringLiteral("other"));
}

TEST(HelpWindow, TheEditMenuEnablesOnlyWhatTheFocusedTextCanDo)
{
    VelkinApp::shared();  // gives help windows their menus
    HelpWindow::show();
    QMainWindow* window = HelpWindow::window();
    ASSERT_NE(window, nullptr);
    settle();
    window->activateWindow();
    QApplication::setActiveWindow(window);
    auto item = [&](const char* name) { return window->findChild<QAction*>(QString::fromLatin1(name)); };
    ASSERT_NE(item("undo"), nullptr);
    auto* edit = qobject_cast<QMenu*>(item("undo")->parent());
    ASSERT_NE(edit, nullptr);
    HelpPageView* page = HelpWindow::view()->pageView();
    ASSERT_NE(page, nullptr);
    page->textView()->setFocus();
    page->textView()->setSelectedRange({0, 0});
    emit edit->aboutToShow();
    // The page cannot be edited: what would change it is off, and Copy waits for a selection.
    for (const char* name : {"undo", "redo", "cut", "paste", "copy"})
        EXPECT_FALSE(item(name)->isEnabled()) << name;
    EXPECT_TRUE(item("selectAll")->isEnabled());
    page->textView()->setSelectedRange({0, 4});
    emit edit->aboutToShow();
    EXPECT_TRUE(item("copy")->isEnabled());
    EXPECT_FALSE(item("cut")->isEnabled());
    emit edit->aboutToHide();
    // Closed, the menu leaves its keys to the focused text.
    EXPECT_TRUE(item("undo")->isEnabled());

    // The search field is text that can be edited.
    QLineEdit* search = HelpWindow::view()->searchField();
    search->setFocus();
    QTest::keyClicks(search, "ab");
    emit edit->aboutToShow();
    EXPECT_TRUE(item("undo")->isEnabled());
    EXPECT_TRUE(item("paste")->isEnabled());
    EXPECT_FALSE(item("cut")->isEnabled());
    emit edit->aboutToHide();
    search->clear();
    settle();
}
