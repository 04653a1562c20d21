#pragma once
// The text view a document window edits its Markdown in: every command applies
// one undoable edit, Return continues lists, shortcodes complete from a list,
// table grids take the table commands, clicks act on the drawn decorations
// (task boxes, colour swatches, emoji, footnotes, links), and pictures dropped
// or pasted are stored beside the document.
#include "editor/FenceMarks.h"
#include "editor/ListContinuation.h"
#include "editor/TextEdit.h"
#include "markdown/MarkdownSyntax.h"
#include "markdown/PipeTable.h"
#include "platform/attributed/MarkdownFontFamily.h"
#include "platform/url/Url.h"
#include "platform/view/TextView.h"

#include <QPointer>

#include <filesystem>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class QColor;
class QColorDialog;

namespace velkin {

class EmojiCompletionPicker;

// Who sent an editor action: its tag carries the action's one argument.
struct ActionSender {
    enum class Kind { menuItem, control };
    Kind kind = Kind::menuItem;
    int tag = 0;

    static ActionSender menuItem(int tag) { return {Kind::menuItem, tag}; }
    static ActionSender control(int tag) { return {Kind::control, tag}; }
};

class MarkdownTextView : public TextView {
    Q_OBJECT

public:
    explicit MarkdownTextView(QWidget* parent = nullptr);
    explicit MarkdownTextView(const QRectF& frame, QWidget* parent = nullptr);
    ~MarkdownTextView() override;

    // Base size that the table commands build grids at (14 x the window's zoom).
    double gridBaseSize = 14;
    // The window's font family, handed to export.
    MarkdownFontFamily fontFamily = MarkdownFontFamily::sansSerif;
    // Called when the view has become part of a shown window.
    std::function<void()> onMoveToWindow;
    // The colour literal being edited with the colour dialog.
    std::optional<Range> colorEditRange;
    bool isEditingColor() const { return colorEditRange.has_value(); }

    // The completion list of this view, made on first use.
    EmojiCompletionPicker& emojiPicker();
    bool hasEmojiPicker() const { return picker_ != nullptr; }

    // The document's file address: that of the window the view is in, none when never saved.
    std::optional<Url> documentURL() const;
    // The window property that holds its document's path as bytes (a name need not be
    // UTF-8, which the window's file path, a text, cannot keep); the file path stands in without it.
    static constexpr const char* documentPathProperty = "velkinDocumentPath";

    // ---- Edits ----
    // Applies an editing command's result as one undoable change; nothing without an
    // edit or for a range outside the text.
    void apply(const std::optional<TextEdit>& edit);

    // The table grid at the caret.
    struct Grid {
        Range range;             // the whole grid in the storage
        PipeTable::Parsed table;
        int row = 0;             // 0 the header row, i + 1 body row i
        int column = 0;
    };
    std::optional<Grid> currentGrid() const;
    // The grid holding the character at an index.
    std::optional<Grid> gridAt(int index) const;
    // The cell block of the paragraph at an index, or null.
    const TextTableBlock* tableBlock(int index) const;
    // The content of the grid cell holding the character at an index (its paragraphs
    // without the cell's final line feed), or none outside a grid.
    std::optional<Range> cellRange(int index) const;
    // Tab and Shift+Tab in a grid: the caret goes to the end of the next or previous
    // cell; at either end of the grid it stays. False outside a grid.
    bool moveToAdjacentCell(bool forward);

    // Replaces the name being typed before the caret with ":name:".
    void completeShortcode(U16View name);
    // Shows, refreshes or hides the completion list for the caret.
    void updateShortcodeCompletion();
    // Whether a name is typed after the colon at the caret.
    bool shortcodeQueried();
    // Whether `line`, a whole line of the text holding a character at least (the
    // line of a name being typed), lies in a fenced code block (as
    // EmojiShortcode::isFenced tells). Whether a fence is open where the line
    // starts is remembered until an edit reaches the text before it, so typing
    // a shortcode's name does not read the document's lines again at every key.
    bool isFencedLine(Range line);
    // The same with what the fence opened in (as ListContinuation::fenceOf tells).
    std::optional<ListContinuation::Fence> fenceOfLine(Range line);

    // ---- Typing ----
    void insertText(U16View text, std::optional<Range> replacementRange = std::nullopt) override;
    void insertNewline() override;
    void doCommand(const TextCommand& command) override;
    void paste() override;
    // Why the text `mime` carries is too large to paste or drop with the memory at hand; nothing when it is not.
    static std::optional<std::string> textRefusal(const QMimeData& mime);
    void cut() override;
    bool writeSelection(Pasteboard& pasteboard, const std::string& type) override;
    // The document's Markdown when it is known to be the whole text's as it stands (set by the
    // editor): a copy of all of it then takes that rather than writing every grid again.
    std::function<std::optional<U16String>()> knownMarkdown;
    
    // ---- Clicks on decorations (points in container coordinates) ----
    std::optional<Range> colorSwatchRange(QPointF containerPoint);
    std::optional<Range> taskCheckboxRange(QPointF containerPoint);
    std::optional<Range> emojiShortcodeRange(QPointF containerPoint);
    std::optional<Range> footnoteTarget(QPointF containerPoint);
    // The character under a point of the viewport whose glyph box holds the point.
    std::optional<int> linkCharacterIndex(QPointF viewportPoint);
    // "[x]" and "[X]" become "[ ]"; anything else "[x]"; one undoable change.
    void toggleTaskCheckbox(Range box);

    // ---- Colour editing ----
    // Starts editing the colour literal at the range (showing the colour dialog when asked).
    bool beginColorEditing(Range range, bool showingPanel);
    // Rewrites the literal being edited in the picked colour, in its own notation: one
    // undo step, or part of the step before while one pick runs on (a drag through colours).
    void applyPickedColor(const Color& color, bool continuingPick = false);
    void endColorEditing();
    // Escape in the colour dialog: the literal gets back the text it had when editing
    // began (the picks undone while they are the latest steps), and editing ends.
    void cancelColorEditing();
    // The view the colour dialog currently sends its colours to.
    static MarkdownTextView* colorPanelOwner();

    // ---- Editor actions (a null sender counts as tag 0) ----
    void mdExport(const ActionSender* sender);
    void mdApplyHeading(const ActionSender* sender);
    void mdBold(const ActionSender* sender);
    void mdItalic(const ActionSender* sender);
    void mdStrikethrough(const ActionSender* sender);
    void mdUnderline(const ActionSender* sender);
    void mdSubscript(const ActionSender* sender);
    void mdSuperscript(const ActionSender* sender);
    void mdCode(const ActionSender* sender);
    void mdLink(const ActionSender* sender);
    void mdImage(const ActionSender* sender);
    void mdInsertHorizontalRule(const ActionSender* sender);
    void mdInsertTable(const ActionSender* sender);
    void mdInsertTableSized(const ActionSender* sender);
    void mdTableAddRow(const ActionSender* sender);
    void mdTableAddColumn(const ActionSender* sender);
    void mdTableAlign(const ActionSender* sender);
    void mdTableInsertRowAbove(const ActionSender* sender);
    void mdTableInsertRowBelow(const ActionSender* sender);
    void mdTableInsertColumnLeft(const ActionSender* sender);
    void mdTableInsertColumnRight(const ActionSender* sender);
    void mdTableDeleteRow(const ActionSender* sender);
    void mdTableDeleteColumn(const ActionSender* sender);

    // The same actions as the menus send them: from a menu item whose tag is given.
    Q_INVOKABLE void mdExport(int tag);
    Q_INVOKABLE void mdApplyHeading(int tag);
    Q_INVOKABLE void mdBold(int tag);
    Q_INVOKABLE void mdItalic(int tag);
    Q_INVOKABLE void mdStrikethrough(int tag);
    Q_INVOKABLE void mdUnderline(int tag);
    Q_INVOKABLE void mdSubscript(int tag);
    Q_INVOKABLE void mdSuperscript(int tag);
    Q_INVOKABLE void mdCode(int tag);
    Q_INVOKABLE void mdLink(int tag);
    Q_INVOKABLE void mdImage(int tag);
    Q_INVOKABLE void mdInsertHorizontalRule(int tag);
    Q_INVOKABLE void mdInsertTable(int tag);
    Q_INVOKABLE void mdInsertTableSized(int tag);
    Q_INVOKABLE void mdTableAddRow(int tag);
    Q_INVOKABLE void mdTableAddColumn(int tag);
    Q_INVOKABLE void mdTableAlign(int tag);
    Q_INVOKABLE void mdTableInsertRowAbove(int tag);
    Q_INVOKABLE void mdTableInsertRowBelow(int tag);
    Q_INVOKABLE void mdTableInsertColumnLeft(int tag);
    Q_INVOKABLE void mdTableInsertColumnRight(int tag);
    Q_INVOKABLE void mdTableDeleteRow(int tag);
    Q_INVOKABLE void mdTableDeleteColumn(int tag);

    // The menu a right click on a table grid opens.
    QMenu* tableContextMenu();

    // ---- Pictures from the pasteboard ----
    // What a payload gives for the document: an image line, a refusal already shown
    // to the user, a picture no image line can name (failed), or nothing (no
    // picture: the ordinary road takes it).
    struct ImageDrop {
        enum class Kind { markdown, refused, failed, none };
        Kind kind = Kind::none;
        U16String text;
        // The file stored beside the document for this line, removed again when the
        // line is not inserted.
        std::optional<std::filesystem::path> storedFile;
    };
    bool pasteboardHasImage(const QMimeData& mime) const;
    ImageDrop imageMarkdown(const QMimeData& mime);
    // Inserts an image line as a block of its own at an index; false when nothing was inserted.
    bool insertImageBlock(U16View line, int index);
    // Inserts a payload's image line; a line not inserted leaves no stored file behind.
    bool insertImageDrop(const ImageDrop& drop, int index);
    // Whether a range touches a table grid.
    bool selectionSpansGrid(Range range) const;
    // Shows refusals; replaced by tests, which have no one to show them to.
    std::function<void(const U16String& title, const U16String& message, bool warning)> showAlert;
    // Shows a refusal through showAlert, else in an alert on the window.
    void alert(const U16String& title, const U16String& message, bool warning);

protected:
    void viewDidMoveToWindow() override;
    void focusOutEvent(QFocusEvent* event) override;
    void mouseDown(QMouseEvent* event, int clickCount) override;
    QMenu* menuForEvent(QContextMenuEvent* event) override;
    bool canAcceptDrop(const QMimeData& mime) const override;
    bool performDrop(const QMimeData& mime, int index) override;
    void relocateText(Range source, int index) override;
    void inputMethodEvent(QInputMethodEvent* event) override;

private:
    void setUpView();
    // A deletion key with an empty selection at a line break on a grid's edge: the caret steps over
    // a break whose removal would move text across the edge, and a blank line under a grid goes
    // in place of the grid's last line feed. False when the key deletes as it does elsewhere.
    bool deleteAtGridEdge(const TextCommand& command);
    // Takes `selection` out with `remove` (told whether it crosses a grid's edge; false when nothing
    // went), keeping a record for a paste back where needed: of the clipboard's text after a cut,
    // of what Copy would take of the selection after a Delete (`deleting`).
    void removeRecorded(Range selection, bool deleting, const std::function<bool(bool acrossGrids)>& remove);
    // Puts `text` in place of `range` when the range crosses a grid's edge (cell by
    // cell), or when the text would land right under a grid (a blank line kept
    // between); false when neither applies and the ordinary road should take it.
    bool replaceAtGridEdge(Range range, U16View text, bool typing);
    // Whether an edit of the text leaves every grid's cells and the text around it apart.
    bool keepsGridsWhole(const TextEdit& edit) const;
    // Puts text from outside in place of `range` when a pipe table starts or ends it: the table
    // goes in as a block of its own, apart from the text around it. False when no break is needed.
    bool insertTableApart(Range range, U16View text);
    // Puts a paste's `edit` in with the tables it brings made grids where a fresh open of the text
    // shows them so, the caret after the last cell of such a table it ends in; false when it brings none.
    bool applyOpeningGrids(const TextEdit& edit);
    // What a paste or a drop brings: its text, and whether that text is rows of a grid copied in this
    // program, with the tables those rows make outside a grid.
    struct PastedText {
        U16String text;
        bool rows = false;
        std::optional<U16String> tables;
    };
    // Runs `take` (a paste or a drop of `mime`) unless the text is too large for the memory at hand;
    // memory that runs out all the same ends that paste or drop, never the program. False when refused.
    bool takeWithinMemory(const QMimeData* mime, const std::function<void()>& take);
    // Pastes the board's text (its plain text, else its HTML's).
    void pasteWithinMemory();
    bool performDropWithinMemory(const QMimeData& mime, int index);
    void pasteText();
    // Puts pasted or dropped text in place of the selection, through the grid's road and a table's.
    void pasteText(const PastedText& pasted);
    // Takes `selection` out (cell by cell over a grid's edge), then pastes at the caret that leaves: one undo step.
    void pasteOverRemoval(const PastedText& pasted, Range selection);
    // Text pasted back where a Cut left the caret, over the selection it was copied from, or rows of a
    // grid pasted into one: true when it went in so.
    bool pasteGridText(const PastedText& pasted, Range selection);
    // What a copy of `range` gives as plain text (see GridClipboard::copiedText).
    U16String copiedText(Range range, bool* partialGrid = nullptr);
    // Whether the caret at `index` stands in a cell's text.
    bool inCell(int index) const;
    // Whether an edit of `range` would cross a grid's edge, or join text to the line under a grid.
    bool crossesGridEdge(Range range, U16View replacement) const;
    // The index of the character whose glyph is nearest a container point, clamped to the text.
    std::optional<int> characterAt(QPointF containerPoint);
    // The run under `key` on the clicked line whose mark's box (from `boxOf(mark, layout, glyphs)`) holds the point.
    template <class Mark, class BoxOf>
    std::optional<Range> markRunAt(QPointF containerPoint, AttributeKey key, BoxOf boxOf);
    // The line breaks that put a block inserted at `position` a blank line below what stands before it.
    U16String breaksBefore(int position) const;
    void insertGrid(const PipeTable::Parsed& table);
    // Replaces a grid and puts the caret into the cell at (row, column) of the new one,
    // `offset` characters in (clamped to the cell).
    void replaceGrid(Range range, const PipeTable::Parsed& table, int row, int column, int offset);
    // The caret's offset into its cell.
    int offsetInCell() const;
    // `failure`: the picture's file and why it could not be written, for a saved document.
    ImageDrop refuse(const std::optional<Url>& documentURL, const std::string& file = {}, const std::string& reason = {});
    template <class Edit> void applyCommand(Edit command);
    void applyAtGridEnd(const std::function<std::optional<TextEdit>(U16View, Range)>& command);

    std::unique_ptr<EmojiCompletionPicker> picker_;
    FenceMarks fenceMarks_;
    // The colour literal being edited, as it was when editing began.
    U16String colorOriginal_;
    // The undo steps there were when editing began, and after the latest pick.
    size_t pickBase_ = 0;
    size_t pickUndoCount_ = 0;
    int storageObserver_ = -1;
    // What the latest Cut (or Delete over a selection) took out, kept until the text changes again. The
    // text it leaves cannot always tell (a cut keeps grids a line apart from the text around them; one of
    // the lines above a grid leaves the caret in its first cell; a paste sets a table's lines apart from
    // the text around them), so Paste at the caret the cut left, with the cut text (or what Copy took of
    // the deleted one) on the clipboard, puts back what stood there.
    // A Delete keeps the text around the selection instead of the copy, made only when a paste
    // may put it back: a Delete of a whole long document then costs no writing of its tables.
    struct CutRecord {
        Range changed;            // the part of the text the cut changed, as it stands since
        AttributedString before;  // what stood from `beforeFrom` before: the part changed, and the grids a copy reads
        int beforeFrom = 0;
        Range replaced;           // the part changed, in `before`
        int caret = 0;            // where the cut left the caret
        int end = 0;              // where the cut selection ended: the caret after the paste
        std::optional<U16String> clipboard;  // none until asked for, after a Delete
        Range selection;          // what a Delete took, as it stood
    };
    std::optional<CutRecord> cutRecord_;
    const U16String& recordedClipboard(CutRecord& record) const;
};

} // namespace velkin
