// The shortcuts of a document window's menus, pressed over a selection in the
// editor as a user presses them: each runs its item, from the main keys and the
// keypad alike, and none types its character over the selection.
#include "ShellTestSupport.h"

#include "app/ContentView.h"
#include "app/DocumentWindow.h"
#include "app/VelkinApp.h"
#include "app/VelkinCommands.h"
#include "editor/MarkdownTextView.h"
#include "platform/pasteboard/Pasteboard.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"

#include <QAction>
#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace velkin {
namespace {

using velkin::testing::settle;

struct WindowForKeys {
    DocumentWindow* window = VelkinApp::shared().newDocument();
    MarkdownTextView* view = window->contentView()->textView();

    WindowForKeys()
    {
        window->show();
        focus();
    }
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
    // The text replaced as a user replaces it, then `word` selected.
    void select(U16View text, U16View word)
    {
        view->selectAll();
        view->insertText(text);
        const int at = TextOps::find(view->string(), word);
        view->setSelectedRange({at, int(word.size())});
    }
    U16String text() const { return window->document().text; }
};

// The character a key types: what the key event carries, as the desktop sends it.
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

void press(QWidget* to, QKeyCombination key, bool keypad)
{
    const Qt::KeyboardModifiers mods = key.keyboardModifiers() | (keypad ? Qt::KeypadModifier : Qt::NoModifier);
    QTest::sendKeyEvent(QTest::Press, to, key.key(), keyText(key), mods);
    QTest::sendKeyEvent(QTest::Release, to, key.key(), keyText(key), mods);
}

TEST(ShortcutKeys, EveryShortcutRunsItsItemFromTheMainKeysAndTheKeypadAndTypesNothingOverTheSelection)
{
    WindowForKeys w;
    // Items that open dialogs or windows, or close this one, are only counted here.
    const std::set<QString> countedOnly = {u"newDocument"_qs,    u"openDocument"_qs, u"openFromURL"_qs,
                                           u"closeWindow"_qs,    u"saveDocument"_qs, u"saveDocumentAs"_qs,
                                           u"quit"_qs,           u"velkinHelp"_qs};
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
    // Every shortcut the menus and the help's shortcut page show, among them the two with Ctrl+Alt.
    ASSERT_GE(items.size(), 30u);
    Pasteboard::general().clearContents();
    Pasteboard::general().setString(u"PASTED", Pasteboard::stringType);
    const U16String text = u"alpha beta gamma\n";
    for (QAction* item : items) {
        for (const QKeySequence& sequence : item->shortcuts()) {
            const QKeyCombination key = sequence[0];
            for (const bool keypad : {false, true}) {
                if (keypad && (!onKeypad(key.key()) || (key.keyboardModifiers() & Qt::KeypadModifier)))
                    continue;
                w.select(text, u"beta");
                const int before = ran[item];
                press(w.view, key, keypad);
                settle();
                const std::string said = item->objectName().toStdString() + " " + sequence.toString().toStdString()
                    + (keypad ? " (keypad)" : "");
                EXPECT_EQ(ran[item], before + 1) << said;
                const U16String typed = u"alpha " + keyText(key).toStdU16String() + u" gamma\n";
                EXPECT_NE(w.text(), typed) << said;
                // The find bar takes the keys after its own; the zoom goes back for the next.
                if (w.view->isFindBarVisible())
                    w.view->closeFindBar();
                w.window->contentView()->setEditorZoom(1.0);
                w.focus();
            }
        }
    }
}

} // namespace
} // namespace velkin
