// Clicks on what the editor draws over the text (task boxes, colour swatches,
// emoji, footnotes, links) and colour editing with the colour dialog.
#include "editor/EmojiCompletionPicker.h"
#include "editor/MarkdownTextView.h"
#include "markdown/ColorLiteral.h"
#include "markdown/ColorSwatch.h"
#include "markdown/EmojiShortcode.h"
#include "markdown/Footnote.h"
#include "markdown/TaskList.h"
#include "platform/text/CharacterClass.h"
#include "platform/text/Lines.h"
#include "platform/undo/UndoManager.h"

#include <QAbstractSpinBox>
#include <QColorDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>

#include <algorithm>

namespace velkin {

namespace {

QPointer<MarkdownTextView>& owner()
{
    static QPointer<MarkdownTextView> view;
    return view;
}

// The colour dialog: Escape cancels the pick, putting the colour back. Each pick is
// one undo step: a click, a value typed into one of its fields (the colours it passes
// on the way count once the value is given with Return or by leaving the field), or a
// drag through the colours (with the mouse held, or while picking from the screen).
class ColorPicker : public QColorDialog {
public:
    ColorPicker()
    {
        installEventFilter(this);
        for (QWidget* child : findChildren<QWidget*>())
            child->installEventFilter(this);
    }

    // Whether a change of the colour continues the pick before it.
    bool picking() const { return pressed_ || typing_ || QWidget::mouseGrabber() == this; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick || type == QEvent::MouseButtonRelease) {
            // A press starts a pick and a release ends it.
            pressed_ = type != QEvent::MouseButtonRelease;
            typing_ = false;
            endPick();
        } else if (type == QEvent::KeyPress && isField(watched)) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            const bool gives = key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Tab || key == Qt::Key_Backtab
                || key == Qt::Key_Escape;
            // The first key of a value starts a pick; Return or Tab gives the value and ends it.
            if (gives || !typing_)
                endPick();
            typing_ = !gives;
        } else if (type == QEvent::FocusOut && typing_ && isField(watched)) {
            typing_ = false;
            endPick();
        }
        return QColorDialog::eventFilter(watched, event);
    }

    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
            if (MarkdownTextView* view = owner().data())
                view->cancelColorEditing();
            hide();
            event->accept();
            return;
        }
        QColorDialog::keyPressEvent(event);
    }

private:
    // A field a value is typed into: a line of text or a number box (or the line inside it).
    static bool isField(QObject* watched)
    {
        for (QObject* at = watched; at; at = at->parent())
            if (qobject_cast<QLineEdit*>(at) || qobject_cast<QAbstractSpinBox*>(at))
                return true;
        return false;
    }

    static void endPick()
    {
        if (MarkdownTextView* view = owner().data())
            view->endJoiningUndo();
    }

    bool pressed_ = false;
    bool typing_ = false;
};

// The one colour dialog of the process and the view it edits for.
QPointer<QColorDialog>& sharedColorDialog()
{
    static QPointer<QColorDialog> dialog;
    return dialog;
}

} // namespace

MarkdownTextView* MarkdownTextView::colorPanelOwner()
{
    return owner().data();
}

std::optional<int> MarkdownTextView::characterAt(QPointF point)
{
    const TextStorage* storage = textStorage();
    if (!storage || storage->length() == 0 || !layoutManager())
        return std::nullopt;
    textContainer();
    const int glyph = layoutManager()->glyphIndex(point);
    return std::clamp(layoutManager()->characterIndexForGlyph(glyph), 0, storage->length() - 1);
}

template <class Mark, class BoxOf>
std::optional<Range> MarkdownTextView::markRunAt(QPointF point, AttributeKey key, BoxOf boxOf)
{
    const std::optional<int> index = characterAt(point);
    if (!index)
        return std::nullopt;
    LayoutManager& layout = *layoutManager();
    const Range line = lineRange(string(), {*index, 0});
    std::optional<Range> hit;
    textStorage()->enumerateAttribute(key, line, [&](const AttributeValue* value, Range run) {
        if (hit || !value || run.length == 0)
            return;
        const auto* marker = std::get_if<MarkerPtr>(value);
        const auto mark = marker ? std::dynamic_pointer_cast<const Mark>(*marker) : nullptr;
        if (!mark)
            return;
        const Range glyphs = layout.glyphRange(run);
        if (glyphs.length == 0)
            return;
        // A click a little outside the drawn box still counts.
        if (boxOf(*mark, layout, glyphs).adjusted(-3, -3, 3, 3).contains(point))
            hit = run;
    }, true);
    return hit;
}

std::optional<Range> MarkdownTextView::colorSwatchRange(QPointF point)
{
    const auto box = [](const ColorMark& mark, LayoutManager& layout, Range glyphs) {
        const QRectF fragment = layout.lineFragmentRect(glyphs.location);
        const QRectF bounds = layout.boundingRect(glyphs);
        const QPointF location = layout.location(glyphs.location);
        return QRectF(bounds.left() - mark.size - mark.gap,
                      fragment.top() + location.y() - mark.capHeight * 0.5 - mark.size * 0.5, mark.size, mark.size);
    };
    return markRunAt<ColorMark>(point, AttributeKey::ColorSwatch, box);
}

std::optional<Range> MarkdownTextView::taskCheckboxRange(QPointF point)
{
    const auto box = [](const TaskMark& mark, LayoutManager& layout, Range glyphs) {
        const QRectF fragment = layout.lineFragmentRect(glyphs.location);
        const QRectF bounds = layout.boundingRect(glyphs);
        return QRectF(bounds.left(), fragment.top() + (fragment.height() - mark.size) * 0.5, mark.size, mark.size);
    };
    return markRunAt<TaskMark>(point, AttributeKey::TaskCheckbox, box);
}

std::optional<Range> MarkdownTextView::emojiShortcodeRange(QPointF point)
{
    const std::optional<int> index = characterAt(point);
    if (!index)
        return std::nullopt;
    Range longest;
    if (!textStorage()->attribute(AttributeKey::EmojiShortcode, *index, &longest, {0, textStorage()->length()}))
        return std::nullopt;
    return longest;
}

std::optional<Range> MarkdownTextView::footnoteTarget(QPointF point)
{
    const TextStorage* storage = textStorage();
    if (!storage || storage->length() == 0 || !layoutManager())
        return std::nullopt;
    textContainer();
    LayoutManager& layout = *layoutManager();
    const int glyph = layout.glyphIndex(point);
    if (!layout.boundingRect({glyph, 1}).contains(point))
        return std::nullopt;
    const int index = std::clamp(layout.characterIndexForGlyph(glyph), 0, storage->length() - 1);
    const Attributes& attributes = storage->attributes(index);
    if (const U16String* label = attributes.string(AttributeKey::FootnoteReference)) {
        if (const auto definition = Footnote::definition(string(), *label))
            return definition->marker;
        return std::nullopt;
    }
    if (const U16String* label = attributes.string(AttributeKey::FootnoteDefinition)) {
        if (const auto reference = Footnote::firstReference(string(), *label))
            return reference->range;
    }
    return std::nullopt;
}

std::optional<int> MarkdownTextView::linkCharacterIndex(QPointF viewportPoint)
{
    const int index = glyphCharacterIndex(viewportPoint);
    if (index < 0 || index >= textStorage()->length())
        return std::nullopt;
    return index;
}

void MarkdownTextView::toggleTaskCheckbox(Range box)
{
    if (box.length != 3 || box.location < 0 || box.end() > textStorage()->length())
        return;
    replaceCharacters(box, TaskList::toggledBox(substring(string(), box)));
}

void MarkdownTextView::mouseDown(QMouseEvent* event, int clickCount)
{
    if (picker_)
        picker_->hide();
    const QPointF point = containerPoint(event->position());
    if (const auto swatch = colorSwatchRange(point)) {
        setFocus(Qt::MouseFocusReason);
        beginColorEditing(*swatch, true);
        return;
    }
    endColorEditing();
    if (const auto box = taskCheckboxRange(point)) {
        setFocus(Qt::MouseFocusReason);
        toggleTaskCheckbox(*box);
        return;
    }
    if (clickCount == 1) {
        if (const auto shortcode = emojiShortcodeRange(point)) {
            setFocus(Qt::MouseFocusReason);
            setSelectedRange({shortcode->location + 1, 0});
            return;
        }
        if (const auto target = footnoteTarget(point)) {
            setFocus(Qt::MouseFocusReason);
            setSelectedRange(*target);
            scrollRangeToVisible(*target);
            return;
        }
    }
    if (const auto index = linkCharacterIndex(event->position()); index && delegate())
        if (const U16String* link = textStorage()->attributes(*index).string(AttributeKey::Link))
            if (delegate()->textViewClickedOnLink(*this, *link, *index))
                return;
    TextView::mouseDown(event, clickCount);
}

// ---- Colour editing ----

bool MarkdownTextView::beginColorEditing(Range range, bool showingPanel)
{
    const TextStorage* storage = textStorage();
    if (!storage || range.location < 0 || range.length < 0 || range.end() > storage->length())
        return false;
    const std::optional<ColorLiteral> literal = ColorLiteral::parse(substring(string(), range));
    if (!literal)
        return false;
    colorEditRange = range;
    colorOriginal_ = U16String(substring(string(), range));
    // The first pick is a step of its own.
    endJoiningUndo();
    pickBase_ = pickUndoCount_ = allowsUndo() ? undoManager()->undoCount() : 0;
    if (!showingPanel)
        return true;
    owner() = this;
    QPointer<QColorDialog>& dialog = sharedColorDialog();
    if (!dialog) {
        dialog = new ColorPicker();
        dialog->setOption(QColorDialog::ShowAlphaChannel, false);
        dialog->setOption(QColorDialog::NoButtons, true);
        dialog->setAttribute(Qt::WA_DeleteOnClose, false);
        // Every colour the user settles on goes to the view that owns the dialog at that moment.
        QObject::connect(dialog, &QColorDialog::currentColorChanged, dialog, [picker = dialog.data()](const QColor& color) {
            MarkdownTextView* view = owner().data();
            if (!view)
                return;
            view->applyPickedColor(Color::srgb(color.redF(), color.greenF(), color.blueF()),
                                   static_cast<ColorPicker*>(picker)->picking());
        });
    }
    dialog->blockSignals(true);
    dialog->setCurrentColor(QColor::fromRgbF(float(literal->red), float(literal->green), float(literal->blue)));
    dialog->blockSignals(false);
    dialog->show();
    dialog->raise();
    return true;
}

void MarkdownTextView::applyPickedColor(const Color& color, bool continuingPick)
{
    if (!colorEditRange || !textStorage())
        return;
    Range range = *colorEditRange;
    const int n = textStorage()->length();
    if (range.length < 1 || range.location < 0 || range.end() > n)
        return;
    Range literal;
    if (textStorage()->attribute(AttributeKey::ColorSwatch, range.location, &literal, {0, n}))
        range = literal;
    const U16String current(substring(string(), range));
    const std::optional<U16String> text = ColorLiteral::formatted(color, current);
    if (!text) {
        endColorEditing();
        return;
    }
    if (*text == current)
        return;
    if (!continuingPick)
        endJoiningUndo();
    if (!replaceCharactersJoiningUndo(range, *text))
        return;
    colorEditRange = Range{range.location, int(text->size())};
    if (UndoManager* undo = allowsUndo() ? undoManager() : nullptr)
        pickUndoCount_ = undo->undoCount();
}

void MarkdownTextView::cancelColorEditing()
{
    if (!colorEditRange || !textStorage())
        return;
    const Range range = *colorEditRange;
    UndoManager* undo = allowsUndo() ? undoManager() : nullptr;
    const bool changed = range.end() <= textStorage()->length() && substring(string(), range) != U16View(colorOriginal_);
    if (changed && undo && pickUndoCount_ > pickBase_ && undo->undoCount() == pickUndoCount_) {
        // The picks are the latest steps: taken back, they leave none behind. The
        // selection stays on its text.
        const Range selection = selectedRange();
        const int delta = int(colorOriginal_.size()) - range.length;
        for (size_t steps = pickUndoCount_ - pickBase_; steps > 0 && undo->undoCount() > pickBase_; --steps)
            this->undo();
        auto moved = [&](int p) { return p >= range.end() ? p + delta : std::min(p, range.location + int(colorOriginal_.size())); };
        setSelectedRange(Range::fromTo(moved(selection.location), moved(selection.end())));
    } else if (changed) {
        endJoiningUndo();
        replaceCharacters(range, colorOriginal_);
    }
    endColorEditing();
}

void MarkdownTextView::endColorEditing()
{
    if (!colorEditRange)
        return;
    colorEditRange.reset();
    endJoiningUndo();
    if (owner().data() == this && sharedColorDialog()) {
        owner() = nullptr;
        sharedColorDialog()->hide();
    }
}

} // namespace velkin
