#pragma once
// What the focused document window tells the menus: its zoom and font family,
// which the View menu reads and changes, and the statistics of its text. A
// window that publishes none of them (no document window) leaves the document
// commands disabled.
#include "app/DocumentStats.h"
#include "platform/attributed/MarkdownFontFamily.h"

class QWidget;

namespace velkin {

class FocusedValuePublisher {
public:
    virtual ~FocusedValuePublisher() = default;

    // "editorZoom": the window's zoom factor.
    virtual double editorZoom() const = 0;
    virtual void setEditorZoom(double zoom) = 0;
    // "editorFontFamily": the window's font family.
    virtual MarkdownFontFamily editorFontFamily() const = 0;
    virtual void setEditorFontFamily(MarkdownFontFamily family) = 0;
    // "documentStats": the counts of the window's text as it is at the call.
    virtual DocumentStats documentStats() const = 0;

    // The values a window publishes (through itself or its central widget); null
    // for a window that publishes none, and for no window.
    static FocusedValuePublisher* of(QWidget* window);
};

} // namespace velkin
