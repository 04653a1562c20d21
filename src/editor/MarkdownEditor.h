#pragma once
// The editor of a document window: a MarkdownTextView drawn by a
// CodeBlockLayoutManager, and the coordinator that keeps the document's text in
// step with the view's storage and restyles the whole text after every change,
// collapsing image lines, task boxes and emoji shortcodes except under the caret.
#include "markdown/MarkdownStyler.h"
#include "platform/url/Url.h"
#include "platform/view/TextView.h"

#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>

namespace velkin {

class MarkdownTextView;
struct CodeBody;
struct ProseLines;
class MarkdownEditorCoordinator;

// A read and write access to a text owned elsewhere (the document's).
struct TextBinding {
    std::function<U16String()> get;
    std::function<void(const U16String&)> set;
    // Optional: replaces `range` of the bound text with `text`. With it the
    // editor writes a change back without copying the whole text.
    std::function<void(Range range, U16View text)> replace = {};
    // Optional: counts the changes of the bound text (equal counts, equal texts).
    // With it the editor knows its text unchanged without reading it.
    std::function<uint64_t()> revision = {};

    // A binding that always reads `text` and ignores writes.
    static TextBinding constant(U16String text);
};

// The editor's description: the document text, the zoom and the font family.
struct MarkdownEditor {
    TextBinding text;
    double zoom = 1.0;
    MarkdownFontFamily fontFamily = MarkdownFontFamily::sansSerif;
    // Texts of at least this many characters are styled in steps: what the window
    // shows at once, the rest in idle time (0: always whole, at once).
    int stepwiseFrom = 0;

    // The styling base size: 14 points times the zoom.
    double baseSize() const { return 14 * zoom; }

    // Keeps the document's text and the view in step; the view's delegate.
    using Coordinator = MarkdownEditorCoordinator;

    std::shared_ptr<Coordinator> makeCoordinator() const;
    // Builds the text view of this editor with the coordinator as its delegate.
    MarkdownTextView* makeView(const std::shared_ptr<Coordinator>& coordinator, QWidget* parent = nullptr) const;
    // Brings a view up to date with this editor value: rebuilds its text when the
    // document's text or the size changed, restyles when only the family did.
    void updateView(MarkdownTextView& view, Coordinator& coordinator) const;

    // Opens a linked document (a local Markdown file or a remote address); set by
    // the application, which owns the documents. Without it links to documents do nothing.
    static std::function<void(const Url&)>& documentOpener();
};

// The editor's delegate: writes the text back and restyles after every change.
class MarkdownEditorCoordinator : public TextViewDelegate, public std::enable_shared_from_this<MarkdownEditorCoordinator> {
public:
    explicit MarkdownEditorCoordinator(MarkdownEditor parent);

    MarkdownEditor parent;  // the latest editor value
    MarkdownStyler styler{14, MarkdownFontFamily::sansSerif};
    std::optional<Range> caretImageLine;
    std::optional<Range> caretTaskLine;
    std::optional<Range> caretShortcode;
    bool reloadScheduled = false;
    // The bound text's revision when it was last known to be the view's Markdown.
    std::optional<uint64_t> shownRevision;
    // Notes that the bound text is the view's Markdown now (or forgets it, without a revision).
    void noteShownRevision();

    void textDidChange(TextView& view) override;
    // Forgets that the bound text is known: the next change writes it whole.
    void forgetWrittenText();
    void textViewDidChangeSelection(TextView& view) override;
    bool textViewClickedOnLink(TextView& view, const U16String& link, int index) override;

    // What typing at `location` puts in: a grid cell's paragraph style and font in a
    // cell, the styler's base attributes elsewhere.
    Attributes caretAttributes(const AttributedString& storage, int location) const;

    // Restyles the whole storage and collapses what is not under the caret.
    void restyle(TextView& view);
    // Takes the view's storage as styled whole by `styler` just now, with
    // `definitions`: unless it changes first, the next restyle() only collapses.
    void adoptStyled(TextView& view, MarkdownSyntax::Definitions definitions);
    // Forgets how the storage is styled (the styler changed): the next restyle()
    // styles anew, and so does the next restyleChanges() when that one could not run.
    void forgetStyling();
    // Restyles what the edits and the caret's moves since the last restyle can
    // have changed, with the same result as restyle(); the whole text when unsure.
    void restyleChanges(TextView& view);
    // Whether the view's storage has been restyled, with every change since known.
    bool hasRestyled(TextView& view) const;

    // Shows the picture lines again after the document's file changed (Save As, a
    // moved file saved elsewhere): their sources resolve against its new folder.
    void documentURLDidChange(TextView& view);
    // A load the styling started, or drawing started again (with the size the
    // picture was shown at before), has ended: the view draws anew on the next
    // turn, and the lines of a picture whose shown size changed are fitted to it
    // then, with every other load that ends before then.
    void pictureLoaded(TextView& view, const std::string& key, std::optional<QSizeF> shownBefore);
    // Sizes the collapsed picture lines to the view's width after a resize; the
    // rest of the styling does not depend on it.
    void textViewDidResize(TextView& view) override;
    std::optional<int> textViewRestylesFrom(TextView& view) override;

    // ---- Styling in steps (texts of parent.stepwiseFrom characters or more) ----
    // restyle() then styles up to the caret and the visible text at once and leaves
    // the rest to styleAhead(), which runs in idle time until the whole text is
    // styled as restyle() styles it at once. Edits meanwhile are restyled as usual
    // up to the styled part's end.
    // Characters styled in one step, about.
    int stepLength = 16384;
    // Styles on from where styling stopped for about `milliseconds` (one step at
    // least); true when the whole text is styled.
    bool styleAhead(TextView& view, double milliseconds);
    // Where the part not styled yet starts, while there is one.
    std::optional<int> unstyledFrom() const;
    // Styles the lines around `range` ahead of the steps when they lie in the part
    // not styled yet (what the window shows after a jump), where the text starts
    // afresh and no fence is open; the steps take that stretch in when they reach it.
    void styleAround(TextView& view, Range range);
    // The stretch styled ahead of the steps, while there is one.
    std::optional<Range> styledAhead() const;
    // Learns where the grids stand in the bound text, when it holds the storage's Markdown, so that
    // the first change after opening writes back only what it changed; done in idle time once styled through.
    void learnWrittenText(TextView& view);
    // The bound text, when it is known to hold the Markdown of the view's storage as it stands.
    std::optional<U16String> writtenMarkdown(TextView& view) const;

    // The image line, task line or shortcode under a caret (none for a selection).
    static std::optional<Range> shortcode(Range selection, const AttributedString& storage);
    // The width pictures may take: the container's less its padding, at least 32 points.
    static double availableWidth(TextView& view);

private:
    void applyImageCollapse(TextStorage& storage, const ProseLines& lines, Range selection, TextView& view);
    void applyTaskCollapse(TextStorage& storage, const ProseLines& lines, Range selection);
    void applyEmojiCollapse(TextStorage& storage, const ProseLines& lines, Range selection);
    std::unordered_set<std::string> loadedKeys;    // first loads since the last turn
    std::unordered_set<std::string> reloadedKeys;  // loads again that changed a picture's size
    // The height a picture line at `location` takes for `width`: its picture's, or the placeholder's.
    static double shownHeight(const TextStorage& storage, int location, const std::string& key, double width);
    // Gives the collapsed picture lines (those of `keys` alone, when given) their pictures' heights.
    static void fitPictureLines(TextStorage& storage, double width, const std::unordered_set<std::string>* keys = nullptr);
    // Gives a line collapsed for the picture of `key` (with its terminator) that picture's height.
    static void fitPictureLine(TextStorage& storage, Range line, const std::string& key, double width);
    // Reads the lines changed since the last reading for the picture lines whose
    // pictures load (or just came back, `settled`), where they start.
    void readLoadingPictures(TextStorage& storage, const std::unordered_set<std::string>& settled);
    // The typing attributes for the selection after a restyle: a caret's as caretAttributes()
    // says; a selection's the base ones, unless it starts in a grid cell.
    void settleTypingAttributes(TextView& view);
    // Fits the lines of the pictures loaded since the last turn and draws them.
    void restyleImageLines(TextView& view);
    void collapse(TextStorage& storage, Range selection, TextView& view);
    // Styles a piece of the storage that starts at `offset`, with the kept
    // definitions, and collapses it around the selection.
    void stylePiece(TextStorage& piece, int offset, Range selection, TextView& view);
    void track(TextStorage& storage);
    // Restyles the lines around `changed` alone, reading `bounds` as the whole
    // text; false when the stretch must grow past them.
    bool restyleStretch(TextView& view, TextStorage& storage, Range changed, Range selection, Range bounds);
    // Restyles the lines around `changed` alone when they lie in the body of a
    // fenced code block whose highlighting goes line by line, and no edit since
    // the last restyle touched a fence; false when that does not hold.
    bool restyleCodeLines(TextView& view, TextStorage& storage, Range changed, Range selection, Range bounds);
    // An edit of an opening fence's line that leaves its block as it was: that line alone.
    bool restyleOpeningFence(TextView& view, TextStorage& storage, Range changed, Range selection, Range bounds);
    // The body lines `lines` of the fenced block opened on the line at `opener`,
    // styled after that line alone (the piece holds it first); none when that line
    // then reads otherwise than in the storage, as under a list item.
    std::optional<TextStorage> styledCodeLines(TextView& view, const TextStorage& storage, int opener, Range lines,
                                               Range selection);
    // restyleCodeLines() for a block whose tokenizer carries a state over lines: from a
    // line before `lines` where that state is kept to one after them where it is as before.
    bool restyleCarriedCodeLines(TextView& view, TextStorage& storage, const CodeBody& body, Range lines,
                                 Range selection, int n);
    // Restyles the lines around `changed` alone when they lie inside an indented code
    // block, all blank or indented, between two of its lines that stay as they were.
    bool restyleIndentedCodeLines(TextView& view, TextStorage& storage, Range changed, Range selection, Range bounds);

    // Restyles the cell paragraphs around `changed` alone when they lie inside one
    // grid, away from its edges; false when that does not hold.
    bool restyleCells(TextView& view, TextStorage& storage, Range changed, Range selection, Range bounds);
    // Finds places where a stretch may start inside a long paragraph, up to `at`,
    // so that one lies not far before it when the paragraph reaches back that far.
    void settleCuts(const TextStorage& storage, int lo, int at);
    // Finds such places a way past the caret too, where the text is styled as it
    // stands: a stretch after the next edit there ends at one, whose reading
    // before the edit is then known.
    void settleCutsAhead(const TextStorage& storage, Range selection);
    // Styles from where styling stopped to a place past `through`, one step at a time.
    void styleThrough(TextView& view, TextStorage& storage, int through);
    // Settles where styling stands once a step styled up to `to`; true when the steps stop here.
    bool stepEnded(int to, int n, int through);
    // Where steps style a long fenced block anew whose opening line, edited alone,
    // names another language now (the text from there on is left to them).
    std::optional<int> restepNewLanguage(TextView& view, const std::vector<Range>& zones);
    // styleAround() without its checks, inside a restyle.
    void styleIsland(TextView& view, TextStorage& storage, Range range);
    void scheduleStyleAhead(TextView& view);
    void styleAheadSlice(TextView& view);
    bool styleAheadScheduled = false;
    bool learnWrittenScheduled = false;
    // Runs `work` on a later turn of the event loop (after `milliseconds`), once however often asked before it runs.
    void runLater(TextView& view, bool MarkdownEditorCoordinator::*scheduled,
                  void (MarkdownEditorCoordinator::*work)(TextView&), int milliseconds = 0);
    // How long after a character typed the steps wait.
    static constexpr std::chrono::milliseconds typingPause{400};

    struct Kept;  // what restyleChanges() knows between restyles
    std::shared_ptr<Kept> kept_;
};

// A widget holding an editor's text view and its coordinator for the life of a window.
class MarkdownEditorView : public QWidget {
public:
    explicit MarkdownEditorView(MarkdownEditor editor, QWidget* parent = nullptr);
    ~MarkdownEditorView() override;

    // Takes a new editor value (text, zoom, family).
    void setEditor(MarkdownEditor editor);
    // The window's file changed: pictures resolve against its folder.
    void documentURLChanged();
    MarkdownTextView* textView() const { return view_; }
    MarkdownEditor::Coordinator& coordinator() const { return *coordinator_; }

private:
    std::shared_ptr<MarkdownEditor::Coordinator> coordinator_;
    MarkdownTextView* view_ = nullptr;
};

} // namespace velkin
