#pragma once
// The self-test's editor: a MarkdownTextView made with a frame and never shown,
// drawing through the editor's layout manager, its grids built at 13 points, with a coordinator made by hand as its delegate.
#include "editor/MarkdownEditor.h"
#include "editor/MarkdownTextView.h"
#include "platform/undo/UndoManager.h"

#include <memory>

namespace velkin {

// A text shared between a check and the binding the editor writes back through.
struct TextBox {
    U16String value;
};

struct OffscreenEditor {
    static constexpr double kBaseSize = 13;

    // A view of `frame` (400 x 300 unless given) with grid base size 13; with a
    // binding, a coordinator (zoom 1, sans-serif, styler at 13) becomes its delegate.
    explicit OffscreenEditor(std::optional<TextBinding> binding = TextBinding::constant(U16String()),
                             QRectF frame = QRectF(0, 0, 400, 300));
    ~OffscreenEditor();

    // A binding that reads and writes a box.
    static TextBinding bound(const std::shared_ptr<TextBox>& box);

    // Replaces the storage's contents with the Markdown rendered at 13 points.
    void load(U16View markdown);
    // The location of the first occurrence of a text in the view's string, or -1.
    int find(U16View text) const;
    // An empty selection at the first occurrence of a text (at 0 when it is absent).
    void caretAt(U16View text);
    void restyle();
    // Lays the whole text out.
    void layOut();
    // The Markdown the storage writes back.
    U16String serialized() const;
    TextStorage& storage() const { return *view->textStorage(); }

    std::unique_ptr<MarkdownTextView> view;
    std::shared_ptr<MarkdownEditorCoordinator> coordinator;
};

// Hands a window-less text view an undo manager that groups only when told to.
class UndoProvider : public TextViewDelegate {
public:
    UndoProvider() { manager.groupsByEvent = false; }
    UndoManager* undoManagerForTextView(TextView&) override { return &manager; }
    UndoManager manager;
};

} // namespace velkin
