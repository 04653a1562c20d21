#include "editor/MarkdownEditor.h"

#include "document/CodeBlockLayoutManager.h"
#include "document/ImageCache.h"
#include "document/LinkRouter.h"
#include "editor/MarkdownTextView.h"
#include "markdown/ImageBlock.h"
#include "markdown/EmojiShortcode.h"
#include "markdown/ProseLines.h"
#include "markdown/TableGrid.h"
#include "markdown/TaskList.h"
#include "platform/strings/LocalizedStrings.h"
#include "platform/text/CharacterClass.h"
#include "platform/text/Lines.h"

#include <QDesktopServices>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace velkin {

namespace {

// The line at a position without its line feed (a carriage return before it stays).
Range lineAt(const AttributedString& storage, int position)
{
    const U16View text = storage.string();
    const int at = std::clamp(position, 0, int(text.size()));
    Range line = lineRange(text, {at, 0});
    if (line.length > 0 && text[size_t(line.end() - 1)] == u'\n')
        --line.length;
    return line;
}

bool sameRange(const std::optional<Range>& a, const std::optional<Range>& b)
{
    return a.has_value() == b.has_value() && (!a || *a == *b);
}

// Whether a text holds a table grid: only then does writing it back need more than its characters.
bool hasGrids(const AttributedString& storage)
{
    bool found = false;
    storage.enumerateAttribute(AttributeKey::ParagraphStyle, {0, storage.length()},
                               [&](const AttributeValue* value, Range) {
                                   if (found || !value)
                                       return;
                                   if (const auto* style = std::get_if<ParagraphStylePtr>(value))
                                       found = *style && (*style)->tableBlock();
                               });
    return found;
}

// The document's Markdown as the storage holds it.
U16String markdownOf(const AttributedString& storage)
{
    return hasGrids(storage) ? TableGrid::serialize(storage) : storage.string();
}

std::optional<Url> documentURLOf(TextView& view)
{
    if (auto* markdown = dynamic_cast<MarkdownTextView*>(&view))
        return markdown->documentURL();
    return std::nullopt;
}

} // namespace

TextBinding TextBinding::constant(U16String text)
{
    auto shared = std::make_shared<const U16String>(std::move(text));
    return {[shared] { return *shared; }, [](const U16String&) {}};
}

std::function<void(const Url&)>& MarkdownEditor::documentOpener()
{
    static std::function<void(const Url&)> opener;
    return opener;
}

// ---- Coordinator ----

MarkdownEditorCoordinator::MarkdownEditorCoordinator(MarkdownEditor editor) : parent(std::move(editor)) {}

void MarkdownEditorCoordinator::textDidChange(TextView& view)
{
    TextStorage* storage = view.textStorage();
    if (!storage)
        return;
    if (parent.text.set)
        parent.text.set(markdownOf(*storage));
    restyle(view);
}

void MarkdownEditorCoordinator::textViewDidChangeSelection(TextView& view)
{
    TextStorage* storage = view.textStorage();
    if (!storage || view.hasMarkedText())
        return;
    const Range selection = view.selectedRange();
    if (!sameRange(imageLine(selection, *storage), caretImageLine) || !sameRange(taskLine(selection, *storage), caretTaskLine)
        || !sameRange(shortcode(selection, *storage), caretShortcode))
        restyle(view);
    if (selection.length > 0)
        return;
    const int n = storage->length();
    Attributes attributes = styler.baseAttributes();
    if (selection.location < n) {
        const ParagraphStyle* style = storage->paragraphStyle(selection.location);
        if (style && style->tableBlock()) {
            // In a grid cell typing continues the cell.
            attributes.set(AttributeKey::ParagraphStyle,
                           ParagraphStylePtr(std::make_shared<ParagraphStyle>(*style)));
            if (const Font* font = storage->font(selection.location))
                attributes.set(AttributeKey::Font, *font);
        }
    }
    view.setTypingAttributes(attributes);
}

bool MarkdownEditorCoordinator::textViewClickedOnLink(TextView& view, const U16String& link, int)
{
    const LinkRouter::Action action = LinkRouter::action(link, documentURLOf(view));
    switch (action.kind) {
    case LinkRouter::Action::openDocument:
        if (action.url) {
            const Url url = *action.url;
            // Opened on a later turn, like any work that may take a while.
            QTimer::singleShot(0, [url] {
                if (const auto& open = MarkdownEditor::documentOpener())
                    open(url);
            });
        }
        break;
    case LinkRouter::Action::openInBrowser:
        if (action.url)
            QDesktopServices::openUrl(QUrl(QString::fromStdString(action.url->absoluteString())));
        break;
    case LinkRouter::Action::none:
        break;
    }
    return true;
}

void MarkdownEditorCoordinator::restyle(TextView& view)
{
    TextStorage* storage = view.textStorage();
    if (!storage || view.hasMarkedText())
        return;
    const Range selection = view.selectedRange();
    storage->beginEditing();
    styler.apply(*storage);
    // The collapses change attributes only: one classification of the lines serves all three.
    const ProseLines lines(storage->string());
    applyImageCollapse(*storage, lines, selection, view);
    applyTaskCollapse(*storage, lines, selection);
    applyEmojiCollapse(*storage, lines, selection);
    storage->endEditing();
    caretImageLine = imageLine(selection, *storage);
    caretTaskLine = taskLine(selection, *storage);
    caretShortcode = shortcode(selection, *storage);
    const ParagraphStyle* style = selection.location < storage->length() ? storage->paragraphStyle(selection.location)
                                                                         : nullptr;
    if (!(style && style->tableBlock()))
        view.setTypingAttributes(styler.baseAttributes());
}

void MarkdownEditorCoordinator::applyImageCollapse(TextStorage& storage, const ProseLines& lines, Range selection,
                                                     TextView& view)
{
    if (storage.string().find(u"![") == U16String::npos)
        return;
    const std::optional<Url> document = documentURLOf(view);
    const double width = availableWidth(view);
    std::weak_ptr<MarkdownEditorCoordinator> weak = weak_from_this();
    QPointer<TextView> weakView(&view);
    ImageBlock::enumerateImageLines(lines, [&](Range line, Range enclosing, const U16String& alt, const U16String& url) {
        if (ImageBlock::showsSource(line, enclosing, selection))
            return;
        const std::optional<std::string> key = ImageCache::key(url, document);
        if (!key)
            return;
        const QImage* image = ImageCache::cachedImage(*key);
        double available = width;
        if (const TextTableBlock* cell = TableGrid::cellBlock(storage, line.location))
            available = TableGrid::cellContentWidth(*cell, width);
        const QSizeF size = ImageBlock::displaySize(image, available);
        if (line.length >= 1 && enclosing.end() <= storage.length()) {
            ImageBlock::collapseLine(storage, line, enclosing, *key, alt, size.height());
        }
        if (!image && !ImageCache::hasFailed(*key))
            ImageCache::ensureLoaded(url, document, [weak, weakView] {
                const auto coordinator = weak.lock();
                if (coordinator && weakView)
                    coordinator->scheduleReload(*weakView);
            });
    });
}

void MarkdownEditorCoordinator::applyTaskCollapse(TextStorage& storage, const ProseLines& lines, Range selection)
{
    if (storage.string().find(u'[') == U16String::npos)
        return;
    const double size = TaskList::checkboxSize(styler.baseSize);
    TaskList::enumerateTaskLines(lines, [&](Range line, Range enclosing, const TaskList::Item& item) {
        if (!TaskList::showsSource(line, enclosing, selection))
            TaskList::collapse(storage, item.hiddenLeader, item.box, item.checked, size);
    });
}

void MarkdownEditorCoordinator::applyEmojiCollapse(TextStorage& storage, const ProseLines& lines, Range selection)
{
    if (storage.string().find(u':') == U16String::npos)
        return;
    EmojiShortcode::enumerateShortcodes(lines, [&](Range range, const U16String& emoji) {
        if (EmojiShortcode::showsSource(range, selection))
            return;
        if (storage.attribute(AttributeKey::CollapsedImage, range.location))
            return;  // part of a picture's hidden source
        EmojiShortcode::collapse(storage, range, emoji);
    });
}

void MarkdownEditorCoordinator::scheduleReload(TextView& view)
{
    if (reloadScheduled)
        return;
    reloadScheduled = true;
    std::weak_ptr<MarkdownEditorCoordinator> weak = weak_from_this();
    QPointer<TextView> weakView(&view);
    QTimer::singleShot(0, &view, [weak, weakView] {
        const auto coordinator = weak.lock();
        if (!coordinator || !weakView)
            return;
        coordinator->reloadScheduled = false;
        coordinator->restyle(*weakView);
    });
}

std::optional<Range> MarkdownEditorCoordinator::imageLine(Range selection, const AttributedString& storage)
{
    if (selection.length != 0)
        return std::nullopt;
    const Range line = lineAt(storage, std::min(selection.location, storage.length()));
    if (ImageBlock::parseBlockImage(substring(storage.string(), line)))
        return line;
    return std::nullopt;
}

std::optional<Range> MarkdownEditorCoordinator::taskLine(Range selection, const AttributedString& storage)
{
    if (selection.length != 0)
        return std::nullopt;
    const Range line = lineAt(storage, std::min(selection.location, storage.length()));
    if (TaskList::parse(substring(storage.string(), line)))
        return line;
    return std::nullopt;
}

std::optional<Range> MarkdownEditorCoordinator::shortcode(Range selection, const AttributedString& storage)
{
    if (selection.length != 0)
        return std::nullopt;
    const int location = selection.location;
    const Range line = lineAt(storage, std::min(location, storage.length()));
    for (const EmojiShortcode::Match& match : EmojiShortcode::matches(substring(storage.string(), line))) {
        const Range range{match.range.location + line.location, match.range.length};
        if (range.location < location && location < range.end())
            return range;
    }
    return std::nullopt;
}

double MarkdownEditorCoordinator::availableWidth(TextView& view)
{
    const TextContainer& container = view.textContainer();
    const double padding = 2 * container.lineFragmentPadding;
    if (container.width > 0)
        return std::max(32.0, container.width - padding);
    return std::max(32.0, view.width() - 2 * view.textContainerInset().width() - padding);
}

// ---- Building and updating the view ----

std::shared_ptr<MarkdownEditor::Coordinator> MarkdownEditor::makeCoordinator() const
{
    return std::make_shared<Coordinator>(*this);
}

MarkdownTextView* MarkdownEditor::makeView(const std::shared_ptr<Coordinator>& coordinator, QWidget* parent) const
{
    auto* view = new MarkdownTextView(parent);
    view->replaceLayoutManager(std::make_unique<CodeBlockLayoutManager>());
    view->setDelegate(coordinator.get());
    view->setEditable(true);
    view->setSelectable(true);
    view->setAllowsUndo(true);
    view->setBackgroundColor(Color::role(Color::Role::TextBackground));
    view->setTextContainerInset({24, 24});
    view->setLineFragmentPadding(4);
    view->setUsesFindBar(true);
    const QString label = QString::fromStdU16String(LocalizedStrings::text(u"Markdown editor"));
    view->setAccessibleName(label);
    view->setAccessibleDescription(label);

    const double size = baseSize();
    coordinator->styler = MarkdownStyler{size, fontFamily};
    view->gridBaseSize = size;
    view->fontFamily = fontFamily;
    const TextStorage rendered = TableGrid::render(text.get ? text.get() : U16String(), size);
    view->setAttributedString(rendered);
    view->setSelectedRange({0, 0});
    view->setTypingAttributes(coordinator->styler.baseAttributes());

    // The first restyle, with its collapsing, waits until the view is in its window.
    std::weak_ptr<MarkdownEditorCoordinator> weak = coordinator;
    QPointer<MarkdownTextView> weakView(view);
    view->onMoveToWindow = [weak, weakView] {
        if (!weakView)
            return;
        QTimer::singleShot(0, weakView.data(), [weak, weakView] {
            const auto coordinator = weak.lock();
            if (coordinator && weakView)
                coordinator->restyle(*weakView);
        });
    };
    return view;
}

void MarkdownEditor::updateView(MarkdownTextView& view, Coordinator& coordinator) const
{
    coordinator.parent = *this;
    TextStorage* storage = view.textStorage();
    if (!storage)
        return;
    const double newSize = baseSize();
    const double oldSize = coordinator.styler.baseSize;
    const MarkdownFontFamily oldFamily = coordinator.styler.family;
    view.fontFamily = fontFamily;
    const U16String bound = text.get ? text.get() : U16String();
    if (markdownOf(*storage) != bound || oldSize != newSize) {
        const int location = view.selectedRange().location;
        coordinator.styler = MarkdownStyler{newSize, fontFamily};
        view.gridBaseSize = newSize;
        const TextStorage rendered = TableGrid::render(bound, newSize);
        view.setAttributedString(rendered);
        view.setSelectedRange({std::min(location, storage->length()), 0});
        view.setTypingAttributes(coordinator.styler.baseAttributes());
        coordinator.restyle(view);
    } else if (oldFamily != fontFamily) {
        coordinator.styler = MarkdownStyler{newSize, fontFamily};
        view.setTypingAttributes(coordinator.styler.baseAttributes());
        coordinator.restyle(view);
    }
    view.setBackgroundColor(Color::role(Color::Role::TextBackground));
}

// ---- The host widget ----

MarkdownEditorView::MarkdownEditorView(MarkdownEditor editor, QWidget* parent) : QWidget(parent)
{
    coordinator_ = editor.makeCoordinator();
    view_ = editor.makeView(coordinator_, this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    setFocusProxy(view_);
}

MarkdownEditorView::~MarkdownEditorView()
{
    // The view goes before the coordinator it reports to.
    view_->setDelegate(nullptr);
    delete view_;
}

void MarkdownEditorView::setEditor(MarkdownEditor editor)
{
    editor.updateView(*view_, *coordinator_);
}

} // namespace velkin
