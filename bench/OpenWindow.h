#pragma once
// A real document window on a long Markdown text, for the benchmarks that take
// in everything the window does.
#include "app/ContentView.h"
#include "app/DocumentWindow.h"
#include "editor/MarkdownEditor.h"
#include "editor/MarkdownTextView.h"
#include "platform/layout/LayoutManager.h"
#include "platform/text/Utf.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTemporaryDir>

#include "Changelogs.h"

#include <cstdlib>

namespace velkin::bench {

// The changelogs one after another until `bytes`, or made-up Markdown without them.
inline U16String document(size_t bytes)
{
    std::string text = changelogs(bytes);
    while (text.size() < bytes / 2)
        text += "## A section\n\nSome *emphasised* prose with `code` and a [link](https://example.com) :smile:.\n\n"
                "* an item\n* another item\n\n```js\nconst x = 1;\n```\n\n| a | b |\n| --- | --- |\n| 1 | 2 |\n\n";
    return u16(text);
}

// Window settings go to a folder of the benchmark's own, never the user's.
inline void keepSettingsAside()
{
    static QTemporaryDir folder;
    static const bool set = [] {
        setenv("XDG_CONFIG_HOME", folder.path().toLocal8Bit().constData(), 1);
        return true;
    }();
    (void)set;
}

// A shown window on `bytes` of Markdown, fully styled and laid out, its caret
// at the end of a prose line in the middle of the text.
struct OpenWindow {
    DocumentWindow* window = nullptr;
    MarkdownTextView* view = nullptr;

    explicit OpenWindow(size_t bytes) : OpenWindow(document(bytes)) {}
    explicit OpenWindow(U16String markdown)
    {
        keepSettingsAside();
        window = new DocumentWindow(MarkdownDocument{std::move(markdown)}, std::nullopt);
        window->show();
        view = window->contentView()->textView();
        view->setFocus();
        // The first restyle, the idle styling and layout of the rest run before typing
        // starts, as in a window left open a while: keys then meet what they meet there.
        QElapsedTimer clock;
        clock.start();
        QApplication::processEvents();
        const MarkdownEditorCoordinator& styling = window->contentView()->editor()->coordinator();
        while ((!view->layoutManager()->isLayoutComplete() || styling.unstyledFrom()) && clock.elapsed() < 120'000)
            QApplication::processEvents();
        const U16String& text = window->contentView()->text();
        size_t at = text.size() / 2;
        while (at < text.size() && text[at] != u'\n')
            ++at;
        view->setSelectedRange({int(at), 0});
        view->scrollRangeToVisible({int(at), 0});
        QApplication::processEvents();
    }
    ~OpenWindow()
    {
        window->setWindowModified(false);
        // Closed without the save prompt: the benchmark's edits are thrown away.
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        window->hide();
        delete window;
        QApplication::processEvents();
    }

    // A key pressed and released, then the turn of the event loop that paints.
    void press(int key, const QString& text = QString(), Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QKeyEvent down(QEvent::KeyPress, key, modifiers, text);
        QApplication::sendEvent(view, &down);
        QKeyEvent up(QEvent::KeyRelease, key, modifiers, text);
        QApplication::sendEvent(view, &up);
        QApplication::processEvents();
    }
};

} // namespace velkin::bench
