// Every menu shortcut, from the main keys and the keypad, runs its item and types nothing over the selection;
// from the find field it edits nothing.
#include "ShellTestSupport.h"

#include "app/ContentView.h"
#include "app/DocumentWindow.h"
#include "app/VelkinApp.h"
#include "app/VelkinCommands.h"
#include "editor/MarkdownTextView.h"
#include "platform/pasteboard/Pasteboard.h"
#include "platform/view/FindBar.h"
#include "platform/text/Utf.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace velkin {
namespace {

using velkin::testing::settle;

// The window, focused as a user's; every window closed at the end, its changes discarded.
struct WindowForKeys {
    DocumentWindow* window = VelkinApp::shared().newDocument();
    MarkdownTextView* view = window->contentView()->textView();

    WindowForKeys() { window->show(), focus(); }
    ~WindowForKeys()
    {
        velkin::testing::DialogAnswerer discard(velkin::testing::DialogAnswerer::press(QStringLiteral("Don\u2019t Save")));
        for (DocumentWindow* open : VelkinApp::shared().documentWindows())
            open->close();
        settle();
    }
    void focus()
    {
        window->activateWindow();
        QApplication::setActiveWindow(window);
        view->setFocus();
        settle();
    }
};

// The character a key types, as the desktop sends it with the key.
QString keyText(QKeyCombination key)
{
    const int code = int(key.key());
    if (code >= Qt::Key_A && code <= Qt::Key_Z)
        return QString(QChar(key.keyboardModifiers() & Qt::ShiftModifier ? code : code - Qt::Key_A + 'a'));
    return code >= 0x20 && code < 0x7f ? QString(QChar(code)) : QString();
}

bool onKeypad(Qt::Key key)
{
    return (key >= Qt::Key_0 && key <= Qt::Key_9) || key == Qt::Key_Plus || key == Qt::Key_Minus
        || key == Qt::Key_Asterisk || key == Qt::Key_Slash || key == Qt::Key_Period;
}

TEST(ShortcutKeys, EveryShortcutRunsItsItemFromTheMainKeysAndTheKeypadAndTypesNothingOverTheSelection)
{
    WindowForKeys w;
    // Items that open dialogs or windows, or close this one, are only counted.
    const std::set<QString> countedOnly = {u"newDocument"_qs,  u"openDocument"_qs,   u"openFromURL"_qs, u"closeWindow"_qs,
                                           u"saveDocument"_qs, u"saveDocumentAs"_qs, u"quit"_qs,        u"velkinHelp"_qs};
    std::map<QAction*, int> ran;
    std::vector<QAction*> items;
    for (QAction* item : w.window->findChildren<QAction*>()) {
        if (item->shortcuts().isEmpty())
            continue;
        if (countedOnly.count(item->objectName())) {
            QObject::disconnect(item, nullptr, w.window->commands(), nullptr);
            QObject::disconnect(item, nullptr, w.window, nullptr);
        }
        QObject::connect(item, &QAction::triggered, [&ran, item] { ++ran[item]; });
        items.push_back(item);
    }
    ASSERT_GE(items.size(), 30u);  // among them the two with Ctrl+Alt
    Pasteboard::general().clearContents();
    Pasteboard::general().setString(u"PASTED", Pasteboard::stringType);
    for (QAction* item : items)
        for (const QKeySequence& sequence : item->shortcuts())
            for (const bool keypad : {false, true}) {
                const QKeyCombination key = sequence[0];
                if (keypad && (!onKeypad(key.key()) || (key.keyboardModifiers() & Qt::KeypadModifier)))
                    continue;
                SCOPED_TRACE(item->objectName().toStdString() + " " + sequence.toString().toStdString() + (keypad ? " (keypad)" : ""));
                w.view->selectAll();
                w.view->insertText(u"alpha beta gamma\n");  // replaced as a user replaces it
                w.view->setSelectedRange({6, 4});
                const int before = ran[item];
                const Qt::KeyboardModifiers mods = key.keyboardModifiers() | (keypad ? Qt::KeypadModifier : Qt::NoModifier);
                QTest::sendKeyEvent(QTest::Press, w.view, key.key(), keyText(key), mods);
                QTest::sendKeyEvent(QTest::Release, w.view, key.key(), keyText(key), mods);
                settle();
                EXPECT_EQ(ran[item], before + 1);
                EXPECT_NE(w.window->document().text, u"alpha " + keyText(key).toStdU16String() + u" gamma\n");
                // Pressed in the find field, the match selected under it, the key leaves the text alone.
                w.view->selectAll();
                w.view->insertText(u"alpha beta gamma\n");
                w.view->performFindAction(int(FindAction::showFindInterface));
                QTest::keyClicks(w.view->findBar()->findField(), "beta");
                QTest::sendKeyEvent(QTest::Press, w.view->findBar()->findField(), key.key(), keyText(key), mods);
                settle();
                EXPECT_EQ(w.window->document().text, u"alpha beta gamma\n");
                // The find bar takes the keys after its own; the zoom goes back for the next.
                if (w.view->isFindBarVisible())
                    w.view->closeFindBar();
                w.window->contentView()->setEditorZoom(1.0);
                w.focus();
            }
}

} // namespace
} // namespace velkin
