#pragma once
// Drives an editor the way a window uses it: events sent to the text view and its
// viewport, the document text read back through the binding.
#include "TempDirectory.h"

#include "editor/MarkdownEditor.h"
#include "editor/MarkdownTextView.h"
#include "platform/text/TextOps.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>

#include <memory>
#include <vector>

namespace velkin::testing_editor {

inline void key(TextView& view, int code, const QString& text = {}, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QKeyEvent press(QEvent::KeyPress, code, mods, text);
    QApplication::sendEvent(&view, &press);
}

inline void type(TextView& view, const QString& text)
{
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length = text[i].isHighSurrogate() ? 2 : 1;
        key(view, Qt::Key_unknown, text.mid(i, length));
        i += length;
    }
}

inline void click(TextView& view, QPointF viewportPoint)
{
    QMouseEvent press(QEvent::MouseButtonPress, viewportPoint, view.viewport()->mapToGlobal(viewportPoint),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    press.setTimestamp(10'000);
    QApplication::sendEvent(view.viewport(), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, viewportPoint, view.viewport()->mapToGlobal(viewportPoint),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &release);
}

inline void settle()
{
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
}

// An editor host bound to a document text, 500 x 400, not shown unless asked.
struct Editor {
    std::shared_ptr<U16String> document = std::make_shared<U16String>();
    std::unique_ptr<MarkdownEditorView> host;

    explicit Editor(U16View text, double zoom = 1.0, MarkdownFontFamily family = MarkdownFontFamily::sansSerif)
    {
        *document = U16String(text);
        host = std::make_unique<MarkdownEditorView>(editor(zoom, family));
        host->resize(500, 400);
        view().resize(500, 400);  // a hidden host lays out nothing
        view().showAlert = [this](const U16String& title, const U16String& message, bool warning) {
            alerts.push_back(title);
            alertMessages.push_back(message);
            alertWarnings.push_back(warning);
        };
    }
    MarkdownEditor editor(double zoom = 1.0, MarkdownFontFamily family = MarkdownFontFamily::sansSerif) const
    {
        auto doc = document;
        return MarkdownEditor{{[doc] { return *doc; }, [doc](const U16String& t) { *doc = t; }}, zoom, family};
    }
    MarkdownTextView& view() const { return *host->textView(); }
    TextStorage& storage() const { return *view().textStorage(); }
    void show()
    {
        host->show();
        settle();
    }
    // Shown in the active window with the view focused, so that keys sent to it reach it as a
    // user's would rather than a shortcut of whichever other window is active.
    void activate()
    {
        show();
        host->activateWindow();
        QApplication::setActiveWindow(host.get());
        view().setFocus();
    }
    int find(U16View text) const { return TextOps::find(view().string(), text); }
    void caretAt(U16View text, int offset = 0) { view().setSelectedRange({find(text) + offset, 0}); }
    // The viewport point at the centre of a container point.
    QPointF inViewport(QPointF container) const { return view().viewportPoint(container); }

    std::vector<U16String> alerts;
    std::vector<bool> alertWarnings;
    std::vector<U16String> alertMessages;
};

} // namespace velkin::testing_editor
