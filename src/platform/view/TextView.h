#pragma once
// A scrolling, editable view of a TextStorage laid out by a LayoutManager: the
// caret and the selection, mouse and keyboard editing, input methods, undo, the
// clipboard, dragged text and a find bar. It knows nothing of Markdown;
// subclasses add their own behaviour by overriding the virtual steps below.
//
// Every change the view makes to its text takes one road: shouldChangeText()
// (which registers the undo), the change of the storage, then didChangeText()
// (which tells the delegate). A view works without a window: it can be given a
// size and driven by calling its methods or by sending events to viewport().
#include "platform/attributed/TextStorage.h"
#include "platform/layout/LayoutManager.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QPointer>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QMenu;
class QMimeData;

namespace velkin {

class FindBar;
class Pasteboard;
class TextView;
class UndoManager;

// What a text view tells the object that manages it.
class TextViewDelegate {
public:
    virtual ~TextViewDelegate() = default;
    // After every change of the text made through the view.
    virtual void textDidChange(TextView&) {}
    // After every change of the selection (after the text change, when one caused it).
    virtual void textViewDidChangeSelection(TextView&) {}
    // The undo manager the view registers its changes with; none gives the view's own.
    virtual UndoManager* undoManagerForTextView(TextView&) { return nullptr; }
    // A click on a link; true when the delegate handled it.
    virtual bool textViewClickedOnLink(TextView&, const U16String& /*link*/, int /*index*/) { return false; }
    // After the view or its viewport changed size, before the text is laid out for it.
    virtual void textViewDidResize(TextView&) {}
    // Where the text the delegate is about to restyle starts, while there is such:
    // layout in idle time stops there rather than lay out what changes soon (a
    // change there lays it out again), and goes on with the next change.
    virtual std::optional<int> textViewRestylesFrom(TextView&) { return std::nullopt; }
};

// The commands keys turn into.
struct TextCommand {
    enum Kind {
        moveLeft,
        moveRight,
        moveUp,
        moveDown,
        moveWordLeft,
        moveWordRight,
        moveToBeginningOfLine,
        moveToEndOfLine,
        moveToBeginningOfParagraph,
        moveToEndOfParagraph,
        moveToBeginningOfDocument,
        moveToEndOfDocument,
        pageUp,
        pageDown,
        insertNewline,
        insertTab,
        insertBacktab,
        deleteBackward,
        deleteForward,
        deleteWordBackward,
        deleteWordForward,
        cancelOperation,
    };
    Kind kind = moveLeft;
    bool extendSelection = false;  // the movement also extends the selection (Shift)

    bool operator==(const TextCommand&) const = default;
};

// The find bar's actions, numbered as the menus send them.
enum class FindAction { showFindInterface = 1, nextMatch = 2, previousMatch = 3, setSearchString = 7 };

class TextView : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit TextView(QWidget* parent = nullptr);
    // A view of the given size, as a window-less check makes one.
    explicit TextView(const QRectF& frame, QWidget* parent = nullptr);
    ~TextView() override;

    // ---- Text, layout and geometry ----
    TextStorage* textStorage() { return storage_.get(); }
    const TextStorage* textStorage() const { return storage_.get(); }
    LayoutManager* layoutManager() { return layout_.get(); }
    // Puts a new layout manager (of any subclass) over the view's storage.
    void replaceLayoutManager(std::unique_ptr<LayoutManager> layout);
    const U16String& string() const { return storage_->string(); }
    // Replaces the whole text with plain text in the typing attributes; no undo, no delegate call.
    void setString(U16View text);
    // Replaces the whole contents, attributes included; no delegate call. The undo
    // history survives only when the characters stay the same.
    void setAttributedString(const AttributedString& text);

    // Space between the view's edges and the text container.
    QSizeF textContainerInset() const { return inset_; }
    void setTextContainerInset(QSizeF inset);
    double lineFragmentPadding() const { return padding_; }
    void setLineFragmentPadding(double padding);
    // The container as laid out: the view's width less the insets.
    const TextContainer& textContainer();
    // A point of the viewport in container coordinates, and back.
    QPointF containerPoint(QPointF viewportPoint) const;
    QPointF viewportPoint(QPointF containerPoint) const;
    // The insertion point nearest to a point of the viewport.
    int characterIndexForPoint(QPointF viewportPoint);
    // The rectangle of the first line of a range, in global (screen) coordinates.
    QRect firstRectForCharacterRange(Range range);
    // Scrolls so that the range (or the caret before it) is in view.
    void scrollRangeToVisible(Range range);
    // The part of the container that shows, in container coordinates.
    QRectF visibleContainerRect() const;

    // ---- Settings ----
    bool isEditable() const { return editable_; }
    void setEditable(bool editable);
    void setSelectable(bool selectable);
    void setAllowsUndo(bool allows) { allowsUndo_ = allows; }
    bool allowsUndo() const { return allowsUndo_; }
    // The background: drawn when asked, in a colour that follows the appearance.
    void setDrawsBackground(bool draws);
    const Color& backgroundColor() const { return background_; }
    void setBackgroundColor(const Color& color);
    // Light or dark, from the palette.
    Appearance appearance() const { return appearance_; }

    TextViewDelegate* delegate() const { return delegate_; }
    void setDelegate(TextViewDelegate* delegate) { delegate_ = delegate; }

    // ---- Selection and typing ----
    Range selectedRange() const { return selection_; }
    std::vector<Range> selectedRanges() const { return {selection_}; }
    // Clamps the range to the text and keeps whole characters; tells the delegate.
    void setSelectedRange(Range range);
    void setTypingAttributes(const Attributes& attributes) { typingAttributes_ = attributes; }
    // The line end the view writes ("\n", "\r\n" or "\r"): Return types it, and the
    // line ends of pasted or dropped text become it.
    const U16String& lineEnding() const { return lineEnding_; }
    void setLineEnding(U16View ending) { lineEnding_ = U16String(ending); }

    // Text an input method is composing, kept in the storage until committed.
    bool hasMarkedText() const { return marked_.has_value(); }
    std::optional<Range> markedRange() const { return marked_; }

    // ---- The road every change takes ----
    // Asks whether the range may be replaced by text of that length and registers
    // the undo; false leaves everything as it is.
    virtual bool shouldChangeText(Range range, int replacementLength);
    // Tells the delegate after a change, then the pending selection change.
    virtual void didChangeText();
    // The whole road: true when the change was made. The selection is left to the caller.
    bool replaceText(Range range, U16View text);
    bool replaceText(Range range, const AttributedString& text);
    // The same, putting the selection (clamped) in place before the delegate hears of the change.
    // Whatever a change rewrites (a whole grid around the caret, say), its undo puts back the
    // selection the change found and its redo the one the change left: nothing more is selected.
    bool replaceText(Range range, const AttributedString& text, std::optional<Range> selectionAfter);
    // The road for plain text that takes its attributes from the text it goes into (see below).
    bool replaceCharacters(Range range, U16View text, std::optional<Range> selectionAfter = std::nullopt);
    // The same road for a change that continues the previous joined change: when `range`
    // is exactly the text that change put in place and its undo step is still the
    // latest, the change joins that step (one undo takes both back); otherwise it
    // starts a step of its own. endJoiningUndo() makes the next one start afresh.
    bool replaceCharactersJoiningUndo(Range range, U16View text);
    void endJoiningUndo() { joinRecord_.reset(); }
    // The road for a typed key that rewrites more than the selection (cell by cell over a
    // grid's edge): the keys typed after it at the caret it leaves join its undo step.
    bool typeReplacingText(Range range, const AttributedString& text, int caret);
    // What text put in place of `range` is dressed in: the first replaced character's
    // attributes; at the start of a paragraph that paragraph's own; else the character
    // before's. Text after a table at the end of the text does not join the table.
    Attributes attributesForInsertion(Range range) const;

    // ---- Editing entry points ----
    // Types text over the marked text, the given range or the selection.
    virtual void insertText(U16View text, std::optional<Range> replacementRange = std::nullopt);
    virtual void insertNewline();
    // Runs a command made from a key.
    virtual void doCommand(const TextCommand& command);
    virtual void copy();
    virtual void cut();
    virtual void paste();
    // Puts `pasted` in place of the selection as Paste puts the board's plain text.
    void pasteString(U16View pasted);
    void selectAll();
    void undo();
    void redo();
    // The undo manager changes are registered with: the delegate's, else the view's own.
    UndoManager* undoManager();
    // While the delegate hears of a change: the name of the undo record made for it,
    // which puts back the text the change replaced (0: none made); and, when the change
    // is an undo or a redo, the name of the record it puts back (0 otherwise). A record's
    // name changes whenever the text it puts back does, and is never given again.
    uint64_t changeRecord() const { return recordMade_; }
    uint64_t recordPutBack() const { return recordPutBack_; }

    // Writes the selection to a pasteboard as the given type; false when there is nothing to write.
    virtual bool writeSelection(Pasteboard& pasteboard, const std::string& type);
    // Moves the text of `source` to `index` (outside it) as one undo step, as a drag within the view does.
    void moveText(Range source, int index);

    // ---- Find bar ----
    void setUsesFindBar(bool uses);
    bool isFindBarVisible() const;
    const U16String& findString() const { return findString_; }
    void setFindString(U16View text);
    // Runs a find action by its number; false when the view does not handle it.
    virtual bool performFindAction(int action);
    virtual bool validateFindAction(int action) const;
    // The Find menu's action, sent to the focused view: the tag is the find action's number.
    Q_INVOKABLE void performTextFinderAction(int tag) { performFindAction(tag); }
    // The bar, once it has been shown.
    FindBar* findBar() const { return findBar_; }
    // Every match of the find string (any letter case), in text order, none overlapping.
    const std::vector<Range>& findMatches();
    // Selects the next (or previous) match after (before) the selection, wrapping around.
    void findNextMatch(bool forward);
    // The search string as typed into the bar: selects the first match from the selection's start.
    void findIncrementally(U16View text);
    // Replaces the selected match and selects the next one; without a selected match it only finds.
    void replaceFoundMatch(U16View replacement);
    // Replaces every match as one change (one undo step); the number replaced.
    int replaceAllMatches(U16View replacement);
    // Hides the bar and gives the focus back to the text, the match still selected.
    void closeFindBar();

    // ---- Drawing ----
    // Draws the background, text and caret of the container rectangle `rect` at `origin`.
    void drawContents(QPainter& painter, const QRectF& rect, QPointF origin, bool withCaret);
    // Whether the caret is drawn now (focus, blink phase and an empty selection).
    bool isCaretVisible() const;

    // The view is part of a shown window.
    bool isInWindow() const { return inWindow_; }

    // Lays the text out for the current width and updates the scroll range: the whole
    // text, or, when laying out lazily, what shows (the rest follows in idle time).
    void layoutDocument();
    // A long text is laid out lazily: what shows first, the rest in slices of idle
    // time, with estimated heights until then; the first line shown stays put while
    // the estimates above it are corrected. Texts shorter than this are laid out whole.
    void setLaysOutLazily(bool lazy);
    static constexpr int lazyLayoutLength = 32 * 1024;
    // Whether the layout manager lays out lazily now.
    bool laysOutLazily() const { return layout_->laysOutLazily(); }

protected:
    // Called when the view has become part of a shown window, or stopped being one.
    virtual void viewDidMoveToWindow() {}
    // A press of the mouse, with the number of quick presses in a row it completes.
    virtual void mouseDown(QMouseEvent* event, int clickCount);
    // The menu for a right click; the view shows it and deletes it afterwards.
    virtual QMenu* menuForEvent(QContextMenuEvent* event);
    // Whether a dragged or pasted payload can be taken, and taking it at a character index.
    virtual bool canAcceptDrop(const QMimeData& mime) const;
    virtual bool performDrop(const QMimeData& mime, int index);
    // The two changes of moveText(): the text put in at `index`, then taken out of `source`.
    virtual void relocateText(Range source, int index);
    // The character index under a point of the viewport (a glyph, not an insertion point).
    int glyphCharacterIndex(QPointF viewportPoint);


    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    bool event(QEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    // Whether the view's own background covers all it draws on (see paintEvent()).
    void noteOpaqueness();
    QRectF rangeExtent(Range range);
    friend class FindBar;
    struct UndoRecord;
    // A selection with the end it was made from, which keeps its direction.
    struct Selected {
        Range range;
        int anchor = 0;
    };
    enum class Granularity { character, word, paragraph };
    // A run of typing, of Backspace or of Delete: each coalesces into one undo step.
    enum class Typing { none, inserting, deleting, deletingForward };

    void setUp();
    bool keyFromChild() const;
    void scheduleLayout();
    void storageEdited(const TextStorage::Edit& edit);
    void registerUndo(Range range, int replacementLength);
    void undoChange(const std::shared_ptr<UndoRecord>& record);
    // The latest change's step ends: what its redo selects is the selection now.
    void settleUndoSelection();
    // The same once the event that made the change is done (the command may still move the selection).
    void settleUndoSelectionLater(const std::shared_ptr<UndoRecord>& record);
    void endTyping() { typing_ = Typing::none; }
    bool typeReplacing(Range range, U16View text, Typing kind);
    void deleteRange(Range range, Typing kind);
    // Sets the selection widened to whole characters (see wholeCharacters).
    void setSelection(Range range, bool keepTyping, bool keepGoalX = false);
    // The nearest boundary of a user-perceived character (a grapheme cluster: a
    // surrogate pair, a CR LF, a letter with its marks, an emoji sequence) at or
    // before `index`, or at or after it with `forward`.
    int characterBoundary(int index, bool forward) const;
    // `range` with its start moved back and its end on to such boundaries; a caret
    // inside a character goes to its start.
    Range wholeCharacters(Range range) const;
    void updateTypingAttributes();
    void restartBlink();
    void moveCaret(int to, bool extend, bool keepGoalX = false);
    int previousCharacter(int index) const;
    int nextCharacter(int index) const;
    int wordBoundary(int index, bool forward) const;
    Range wordRange(int index) const;
    Range lineRangeAt(int index);
    int verticalTarget(int index, int lines);
    double documentHeight();
    void updateScrollRange();
    // Scrolls so that the place at the top of the view stays there after heights above it changed.
    void keepScrollAnchor();
    // Lays out what shows, and keeps its first line in place while doing so.
    void layoutVisible();
    int visibleHeight() const;
    double contentWidth() const;
    void layoutFindBar();
    // Recomputes the matches and the bar's count once the current event is done.
    void scheduleFindRefresh();
    void refreshFind();
    Range selectionForGranularity(int anchor, int index) const;
    void setMarkedText(const U16String& text, int caret);
    void unmarkText();
    void autoscroll(QPointF viewportPoint);
    // Drags the selected text out, as writeSelection() gives it.
    void startDrag();
    // A drop of the view's own dragged text: moved within the view.
    bool moveDraggedText(int index);

    std::unique_ptr<TextStorage> storage_;
    std::unique_ptr<LayoutManager> layout_;
    int storageObserver_ = 0;
    TextContainer container_;
    QSizeF inset_{0, 0};
    double padding_ = 5;

    bool editable_ = true;
    bool selectable_ = true;
    bool allowsUndo_ = false;
    bool drawsBackground_ = true;
    Color background_ = Color::role(Color::Role::TextBackground);
    Appearance appearance_ = Appearance::Light;
    TextViewDelegate* delegate_ = nullptr;
    std::unique_ptr<UndoManager> ownUndo_;

    Range selection_{0, 0};
    int anchor_ = 0;
    std::optional<double> goalX_;
    Attributes typingAttributes_;
    U16String lineEnding_ = u"\n";
    int changing_ = 0;                 // depth of changes on the road
    bool selectionPending_ = false;    // a selection change to report after the text change
    bool ownChange_ = false;           // the storage is being changed by the view itself
    bool suppressUndo_ = false;        // the change joins an undo step already registered
    bool sameCharacters_ = false;      // a change of the contents that keeps every character
    unsigned generation_ = 0;          // counts changes made behind the view's back
    bool layoutScheduled_ = false;
    // What to draw anew since the last paint: the characters changed (in the text of
    // now) and the scroll position they changed at, or everything.
    std::optional<Range> changedCharacters_;
    int changedDelta_ = 0;
    int changedAtScroll_ = 0;
    // The lines the last paint left on screen: where each starts and its top.
    std::vector<std::pair<int, double>> linesShown_;
    bool repaintAll_ = false;
    // Where the caret may show on screen (viewport coordinates), as painted.
    QRect caretShown_;
    void noteChanged(const TextStorage::Edit& edit);
    void repaintAll();
    // Asks for the drawing the changes since the last paint need: from the line above
    // the first change to the viewport's bottom when nothing above it can have moved.
    void flushRepaint();
    QRect caretInViewport();
    void noteLinesShown();
    std::shared_ptr<UndoRecord> lastRecord_;
    uint64_t recordNames_ = 0;
    uint64_t recordMade_ = 0;
    uint64_t recordPutBack_ = 0;
    // The change whose selection afterwards is not known yet: it follows the selection until settled.
    std::shared_ptr<UndoRecord> unsettled_;
    bool settleScheduled_ = false;
    // While undoing a change: the selections its redo puts back before and after it.
    std::optional<std::pair<Selected, Selected>> reversing_;
    // The change later ones may join (replaceCharactersJoiningUndo).
    std::shared_ptr<UndoRecord> joinRecord_;
    size_t joinUndoCount_ = 0;
    bool joinPending_ = false;

    // Typing that coalesces into one undo step.
    Typing typing_ = Typing::none;
    std::shared_ptr<UndoRecord> typingRecord_;
    size_t typingUndoCount_ = 0;
    int typingCaret_ = 0;  // where the run left the caret

    // Input-method composition.
    std::optional<Range> marked_;
    AttributedString markedOriginal_;
    bool markedLeftwards_ = false;  // the text a composition replaces was selected leftwards

    // Mouse tracking.
    QBasicTimer blink_;
    bool caretOn_ = true;
    int clickCount_ = 0;
    qint64 lastPressTime_ = 0;
    QPointF lastPressPoint_;
    bool tracking_ = false;
    Granularity granularity_ = Granularity::character;
    Range granularityOrigin_{0, 0};
    bool dragCandidate_ = false;       // pressed inside the selection: a drag may start
    std::optional<Range> dragSource_;  // the text being dragged out of this view
    bool movedInside_ = false;

    bool inWindow_ = false;

    // Lazy layout.
    bool lazyLayout_ = false;
    LayoutManager::Anchor scrollAnchor_;
    bool correctingScroll_ = false;
    QBasicTimer idleLayout_;
    int idleSlices_ = 0;  // since the idle layout last ran to its end

    // Find bar.
    bool usesFindBar_ = false;
    U16String findString_;
    FindBar* findBar_ = nullptr;
    std::vector<Range> findMatches_;
    bool findMatchesStale_ = true;
    bool findRefreshScheduled_ = false;
};

} // namespace velkin
