#include "selftest/OffscreenEditor.h"

#include "document/CodeBlockLayoutManager.h"
#include "markdown/TableGrid.h"
#include "platform/text/TextOps.h"

namespace velkin {

OffscreenEditor::OffscreenEditor(std::optional<TextBinding> binding, QRectF frame)
{
    view = std::make_unique<MarkdownTextView>(frame);
    // Draws the marks over the text (boxes, swatches, emoji) as the editor's own view does.
    view->replaceLayoutManager(std::make_unique<CodeBlockLayoutManager>());
    view->setEditable(true);
    view->gridBaseSize = kBaseSize;
    if (binding) {
        MarkdownEditor editor{*binding, 1.0, MarkdownFontFamily::sansSerif};
        coordinator = editor.makeCoordinator();
        coordinator->styler = MarkdownStyler{kBaseSize, MarkdownFontFamily::sansSerif};
        view->setDelegate(coordinator.get());
    }
}

OffscreenEditor::~OffscreenEditor()
{
    view->setDelegate(nullptr);
}

TextBinding OffscreenEditor::bound(const std::shared_ptr<TextBox>& box)
{
    return {[box] { return box->value; }, [box](const U16String& text) { box->value = text; }};
}

void OffscreenEditor::load(U16View markdown)
{
    TextStorage& s = storage();
    s.replaceCharacters({0, s.length()}, TableGrid::render(markdown, kBaseSize));
}

int OffscreenEditor::find(U16View text) const
{
    return TextOps::find(view->string(), text);
}

void OffscreenEditor::caretAt(U16View text)
{
    view->setSelectedRange({std::max(0, find(text)), 0});
}

void OffscreenEditor::restyle()
{
    if (coordinator)
        coordinator->restyle(*view);
}

void OffscreenEditor::layOut()
{
    view->layoutDocument();
}

U16String OffscreenEditor::serialized() const
{
    return TableGrid::serialize(storage());
}

} // namespace velkin
