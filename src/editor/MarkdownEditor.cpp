#include "editor/MarkdownEditor.h"

#include "document/CodeBlockLayoutManager.h"
#include "document/ImageCache.h"
#include "document/LinkRouter.h"
#include "editor/CodeBody.h"
#include "editor/CodeLineStates.h"
#include "editor/MarkdownEditing.h"
#include "editor/MarkdownTextView.h"
#include "editor/ParagraphCut.h"
#include "editor/RestyleWindow.h"
#include "highlight/CodeHighlighter.h"
#include "markdown/ImageBlock.h"
#include "markdown/EmojiShortcode.h"
#include "markdown/Footnote.h"
#include "markdown/GridCells.h"
#include "markdown/MarkdownList.h"
#include "markdown/ProseLines.h"
#include "markdown/TableGrid.h"
#include "markdown/TaskList.h"
#include "platform/strings/LocalizedStrings.h"
#include "platform/text/CharacterClass.h"
#include "platform/text/Lines.h"
#include "platform/text/TextOps.h"

#include <QDesktopServices>
#include <QElapsedTimer>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

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
bool hasGrids(const AttributedString& storage, std::optional<Range> within = std::nullopt)
{
    bool found = false;
    storage.enumerateAttribute(AttributeKey::ParagraphStyle, within.value_or(Range{0, storage.length()}),
                               [&](const AttributeValue* value, Range) {
                                   if (found || !value)
                                       return;
                                   if (const auto* style = std::get_if<ParagraphStylePtr>(value))
                                       found = *style && (*style)->tableBlock();
                               });
    return found;
}

// The table of the grid cell at `index`, or null outside a grid.
const TextTable* cellTable(const AttributedString& storage, int index)
{
    const TextTableBlock* cell = TableGrid::cellBlock(storage, index);
    return cell ? cell->table().get() : nullptr;
}

// Whether a grid reached at `at` opens a block of its own: the block scan reads it
// as the bare shape of a table there whatever comes before the blank line above
// it, as it reads any unindented line (code aside), and its cells are inline text alone.
bool gridAfterBlankLine(const AttributedString& storage, int at)
{
    const U16View text = storage.string();
    return at > 0 && at < int(text.size()) && ParagraphCuts::cellAt(storage, at) && !ParagraphCuts::opaqueAt(storage, at - 1)
        && text[size_t(at - 1)] == u'\n'
        && isBlank(substring(text, Range::fromTo(RestyleWindow::lineStart(text, at - 1), at)), TrimSet::WhitespaceAndNewlines);
}

// The document's Markdown as the storage holds it.
U16String markdownOf(const AttributedString& storage)
{
    return hasGrids(storage) ? TableGrid::serialize(storage) : storage.string();
}

// A line that reads as a reference or footnote definition, with the note's label
// (normalised) when it defines a note, or the link's label (normalised) and
// destination when it defines a link, and holds no line break but its last.
// What it defines is shared, so that a long run of them moves as pointers.
struct DefinitionLine {
    struct Link {
        U16String label, url;
    };
    Range line;
    std::shared_ptr<const U16String> note;
    std::shared_ptr<const Link> link;
};

// The lines of `text` from `from` to `to` that read as reference or footnote definitions.
std::vector<DefinitionLine> definitionLines(U16View text, int from, int to)
{
    std::vector<DefinitionLine> out;
    for (int p = from; p < to;) {
        size_t q = size_t(p);
        while (q < size_t(to) && q < size_t(p) + 3 && text[q] == u' ')
            ++q;
        if (q < size_t(to) && text[q] == u'[') {
            const int next = RestyleWindow::nextLineStart(text, p);
            const U16View line = substring(text, Range::fromTo(p, next));
            U16View body = line;
            if (body.ends_with(u'\n'))
                body.remove_suffix(1);
            if (body.ends_with(u'\r'))
                body.remove_suffix(1);
            // The block reader ends lines at more than a line feed: a line holding another
            // break is more than one line to it, read for what it defines only from the whole text.
            const bool single = std::ranges::none_of(body, [](char16_t c) { return CharacterClass::isNewline(c); });
            if (!single) {
                out.push_back({Range::fromTo(p, next), nullptr, nullptr});
            } else if (const auto note = Footnote::parseDefinition(line)) {
                out.push_back({Range::fromTo(p, next), std::make_shared<const U16String>(Footnote::normalizedLabel(note->label)), nullptr});
            } else if (auto link = ReferenceLink::parseDefinition(line)) {
                out.push_back({Range::fromTo(p, next), nullptr,
                               std::make_shared<const DefinitionLine::Link>(
                                   DefinitionLine::Link{Footnote::normalizedLabel(link->label), std::move(link->url)})});
            }
        }
        // On to the next line start, not past `to` (a line may be long).
        const size_t feed = text.substr(0, size_t(to)).find(u'\n', size_t(p));
        if (feed == U16View::npos)
            break;
        p = int(feed) + 1;
    }
    return out;
}

// Whether the line at `at` is a block's edge but for the pipes on it and the line
// above (see ParagraphCuts::blockEdge), which may make it a row of a table above it:
// not where the storage shows neither as a table's line (the first pipe of each,
// which no edit since touched, in no fixed-pitch font). Had an edit in a stretch
// made them rows, the stretch's context lines would read otherwise than the storage has them.
bool edgeOfPipedLines(const AttributedString& storage, const std::optional<Range>& dirty, int at)
{
    const U16View text = storage.string();
    if (at <= 0 || at >= int(text.size()) || text[size_t(at - 1)] != u'\n' || !ParagraphCuts::blockEdge(text, at, false))
        return false;
    for (const int line : {RestyleWindow::lineStart(text, at - 1), at}) {
        int pipe = -1;
        if (!ParagraphCuts::showsNoTable(storage, line, &pipe) || pipe < 0 || (dirty && dirty->contains(pipe)))
            return false;
    }
    return true;
}

// The lines of `zone` (whole, with their ends) that may hold a picture line, a
// task box or a shortcode, added to `lines`: each of those starts with "[" or ":"
// in its own line, or holds one. Of a long line, only the part in the zone, which
// a restyle takes with what it needs around it.
void markLines(U16View text, Range zone, std::vector<Range>& lines)
{
    constexpr int longLine = 4096;
    const Range whole = lineRange(text, zone);
    for (int at = whole.location; at < whole.end();) {
        const Range line = lineRange(text, {at, 0});
        if (line.length > longLine)
            lines.push_back(intersection(zone, line));
        else if (std::any_of(text.begin() + line.location, text.begin() + line.end(),
                             [](char16_t c) { return c == u'[' || c == u':'; }))
            lines.push_back(line);
        at = std::max(line.end(), at + 1);
    }
}

using ParagraphCuts::blockEdge;
using ParagraphCuts::opaqueAt;
using ParagraphCuts::paragraphCut;

// What a caret with no selection stands in: an image line, a task line, a shortcode.
struct CaretMarks {
    std::optional<Range> image, task, shortcode;
};

bool endsLine(char16_t c) { return c == u'\n' || c == u'\r' || c == 0x2028 || c == 0x2029 || c == 0x85; }

// The line lineAt() gives for a position, from `known` (the line found last and
// moved over edits inside it) while it still holds the position and stands between
// line breaks, so that a caret in a long line does not look for the line's ends
// at every key; `known` then takes the line found.
Range caretLineAt(const AttributedString& storage, int position, std::optional<Range>* known)
{
    const U16View text = storage.string();
    const int n = int(text.size());
    if (known && *known) {
        const Range line = **known;
        if (line.location <= position && position <= line.end() && line.end() <= n
            && (line.location == 0 || endsLine(text[size_t(line.location - 1)]))
            && (line.end() == n || text[size_t(line.end())] == u'\n')
            && (line.length == 0 || !endsLine(text[size_t(line.end() - 1)])))
            return line;
    }
    const Range line = lineAt(storage, position);
    if (known)
        *known = line;
    return line;
}

// The caret's line kept over an edit: moved when the edit lies inside it and adds
// no line break (what it took out was inside the line, so it held none), else forgotten.
void keepCaretLine(std::optional<Range>& known, U16View text, const TextStorage::Edit& e)
{
    if (!known || !e.charactersChanged)
        return;
    const int oldEnd = e.range.end() - e.delta;
    if (e.range.location < known->location || oldEnd > known->end() || e.range.end() > int(text.size())
        || std::any_of(text.begin() + e.range.location, text.begin() + e.range.end(), endsLine))
        known.reset();
    else
        known->length += e.delta;
}

CaretMarks caretMarks(Range selection, const AttributedString& storage, std::optional<Range>* knownLine = nullptr)
{
    if (selection.length != 0)
        return {};
    // The caret's line is read once for all three (it may be a long one).
    const Range line = caretLineAt(storage, std::min(selection.location, storage.length()), knownLine);
    const U16View text = substring(storage.string(), line);
    return {ImageBlock::parseBlockImage(text) ? std::optional<Range>(line) : std::nullopt,
            TaskList::parse(text) ? std::optional<Range>(line) : std::nullopt,
            MarkdownEditorCoordinator::shortcode(selection, storage)};
}

// The text after the last line feed of `text`: the part of its last line it holds.
U16View lastLine(U16View text)
{
    const size_t feed = text.rfind(u'\n');
    return feed == U16View::npos ? text : text.substr(feed + 1);
}

// Whether a line from `from` to `to` opens a block that runs on over lines
// below it whatever they read as: a fence or an HTML block.
bool runsOnWithin(U16View text, int from, int to)
{
    for (int p = from; p < to; p = RestyleWindow::nextLineStart(text, p)) {
        if (RestyleWindow::looksLikeFence(text, p))
            return true;
        size_t q = size_t(p);
        while (q < text.size() && q < size_t(p) + 3 && text[q] == u' ')
            ++q;
        if (q < text.size() && text[q] == u'<')
            return true;
    }
    return false;
}

// Whether a fence opened in `text` is still open at its end.
bool fenceOpenAtEnd(U16View text)
{
    const LineIndex index(text);
    const std::vector<MarkdownSyntax::FenceLine> fences = MarkdownSyntax::fenceLines(MarkdownSyntax::lineTexts(text, index.lines()));
    return !fences.empty() && fences.back().isInside && !(fences.back().isDelimiter && !fences.back().opens);
}

// The same for a styled text, read as the block scanner reads it (grid cells blanked).
bool fenceOpenAtEnd(const AttributedString& text)
{
    const GridCells cells(text);
    return cells.empty() ? fenceOpenAtEnd(text.string()) : fenceOpenAtEnd(cells.blanked(text.string()));
}

// Whether the line at `start` ends every list and paragraph above it: text on
// it, neither indented, nor an item, nor quoted, after an empty line.
bool endsBlocksAbove(U16View text, int start)
{
    if (start <= 0 || start >= int(text.size()) || !ParagraphCuts::emptyLineBefore(text, start))
        return false;
    const U16View line = substring(text, Range::fromTo(start, RestyleWindow::nextLineStart(text, start)));
    return line.front() != u' ' && line.front() != u'\t' && !isBlank(line, TrimSet::WhitespaceAndNewlines)
        && !MarkdownSyntax::matchList(line) && MarkdownSyntax::quoteLeader(line).depth == 0;
}

// Whether the line at `start` begins the text afresh for the block scanner, as
// the start of the text does: one that ends every block above it and opens no
// fence. Styling in steps starts and ends its pieces only there.
bool freshStart(U16View text, int start)
{
    return start <= 0 || (endsBlocksAbove(text, start) && !RestyleWindow::looksLikeFence(text, start));
}

// The first place after the line holding `at` where the text starts afresh outside
// grids (and outside code as styled so far), or the text's end.
int freshEnd(const AttributedString& storage, int at)
{
    const U16View text = storage.string();
    const int n = int(text.size());
    at = std::min(n, RestyleWindow::nextLineStart(text, std::clamp(at, 0, n)));
    while (at < n && (!freshStart(text, at) || opaqueAt(storage, at) || opaqueAt(storage, at - 1)))
        at = RestyleWindow::nextLineStart(text, at);
    return at;
}

// The piece of `storage` from `from` to `to`, after `head` (the opening fence of
// a block `from` is in the body of, or nothing), grown until no fence is left open
// at its end: to the next place the text starts afresh a few times (a fence holding
// such places), then twice as far each time (a long one). `to` says where it ends.
TextStorage pieceWithoutOpenFence(const AttributedString& storage, int from, int& to, const AttributedString& head = {})
{
    const int n = storage.length();
    auto pieceTo = [&] {
        AttributedString joined(head);
        joined.append(storage.attributedSubstring(Range::fromTo(from, to)));
        return TextStorage(joined);
    };
    TextStorage piece = pieceTo();
    for (int tries = 0; to < n && fenceOpenAtEnd(piece); ++tries) {
        to = freshEnd(storage, tries < 4 ? to : to + (to - from));
        piece = pieceTo();
    }
    return piece;
}

// Whether the tokens of a code block in a language that resumes so start afresh
// after the line feed at `feed` of `styled`: one that no token covers (it has the
// text's colour) with no backslash before it, or any in a language read line by line.
bool codeAfreshAfter(const AttributedString& styled, int feed, CodeHighlighter::Resumption resumes)
{
    if (resumes == CodeHighlighter::Resumption::everyLine)
        return true;
    if (feed >= 1 && styled.string()[size_t(feed - 1)] == u'\\')
        return false;
    const Color* color = styled.attributes(feed).color(AttributeKey::ForegroundColor);
    return color && *color == Color::text();
}

// The characters a view shows; an empty range at the caret when it shows none.
Range shownRange(TextView& view)
{
    if (!view.isVisible())
        return Range{view.selectedRange().end(), 0};
    const int top = view.characterIndexForPoint(QPointF(0, 0));
    const int bottom = view.characterIndexForPoint(QPointF(view.viewport()->width(), view.viewport()->height()));
    // From the start of the laid-out block the top stands in, when near: a zoom keeps
    // the view's place as an offset into that block, which holds once it is all styled alike.
    const int block = view.layoutManager() ? view.layoutManager()->anchorAt(view.visibleContainerRect().top()).character : top;
    const int from = block < top && top - block <= 32768 ? block : top;
    return Range::fromTo(from, std::max(top, bottom));
}

// The reference and footnote definitions of a whole text, as a whole styling finds them.
MarkdownSyntax::Definitions wholeDefinitions(const AttributedString& storage)
{
    // Asked before the text is copied with its cells blanked.
    if (storage.string().find(u"]:") == U16String::npos)
        return {};
    return MarkdownSyntax::definitions(U16View(blockText(storage)));
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

// Between restyles: which storage was styled, what changed in it since, and the
// definitions that give meaning to references anywhere in it.
struct MarkdownEditorCoordinator::Kept {
    TextStorage* storage = nullptr;
    bool valid = false;      // the storage was restyled and every change since is known
    bool restyling = false;  // the restyle's own attribute changes are not changes
    std::optional<Range> dirty;
    Range selection;         // the selection the collapses were made around
    double width = 0;        // the width pictures were sized for
    // The last resize of the pictures alone: the width they had before it, and the
    // view's own width then (see textViewDidResize()).
    struct Fit {
        double from = -1;
        int viewWidth = -1;
    } fit;
    MarkdownSyntax::Definitions definitions;
    std::vector<DefinitionLine> definitionLines;
    // How many of those lines define each link label, and how many are read for
    // nothing (those that hold a line break besides their last).
    std::unordered_map<U16String, int> linkLines;
    int unreadLines = 0;
    bool definitionsTouched = false;
    // The definition lines edits took out since the definitions were last checked,
    // with what they define only when before any fence-like line and outside cells.
    std::vector<DefinitionLine> definitionsGone;
    // Labels whose destination changed, whose references are read again.
    std::vector<U16String> relabelled;
    // The definitions of a whole styling made before the first restyle, while
    // nothing has changed since (see adoptStyled()).
    std::optional<MarkdownSyntax::Definitions> styled;
    // Whether the text holds a grid, while known: only an edit from outside the
    // restyle, or text typed into a cell, can make one.
    std::optional<bool> grids;
    // The picture lines shown while their pictures load, by picture, as far as read:
    // where each collapsed line starts. The lines changed since (styled, edited) are
    // in `unreadPictures`, read again when loads come back; the lines' own heights,
    // changed as `fittingPictures`, move no line.
    std::unordered_map<std::string, std::vector<int>> loadingPictures;
    std::optional<Range> unreadPictures;
    bool fittingPictures = false;
    // Whether every character's colours are the whole text's as it reads now (of
    // a whole styling at another size, say): no character changed since.
    bool colorsRead = false;
    bool sizeOnly = false;  // the restyle asked for next changes sizes alone
    // While styling goes in steps: where the text not styled yet starts. It holds
    // the attributes it had (none, or those of an earlier styling).
    std::optional<int> unstyled;
    // Past it, a stretch styled ahead of the steps, where the window showed text
    // not styled yet: styled as the whole text has it while no character before it changes.
    std::optional<Range> island;
    // How the text after the island reads on: as after its last step (see codeResume, listResume).
    enum class Resume { afresh, code, list } islandEnd = Resume::afresh;
    // How it starts: one that starts in a fenced block's body reads as the whole
    // text only after the block's opening fence, so a change in it gives it up.
    Resume islandStart = Resume::afresh;
    // While the island is styled: its steps leave the definitions for the steps to settle.
    bool stylingIsland = false;
    // The line the caret stood in when last looked at (see caretLineAt()).
    std::optional<Range> caretLine;
    // Whether `definitions` are the text's as it stands: no character changed since.
    bool definitionsCurrent = false;
    // Places inside long paragraphs where a stretch may start: the scan of the
    // paragraph up to each is settled but for the delimiters it holds open (see
    // MarkdownSyntax::runningDelimiters), so the text after it reads, after its
    // context, as if the paragraph began there. Sorted; each holds while no
    // character before it changes, no "|" comes into its line, and the definitions stay.
    std::vector<ParagraphCut> cuts;
    // Where the last stretch restyled ended reading as before the edit, when it did:
    // the places after it read as before too.
    std::optional<int> readsAsBefore;
    // The starts of the text's fence-like lines, kept through every edit, and
    // whether an edit since the storage was last styled as a whole touched or made
    // one: while none did, every fence reads as it did then.
    std::vector<int> fenceLike;
    bool fenceLikeEdited = true;
    // The text's fenced blocks, read from those lines (and the bodies of blocks
    // that end with their item or quotation), kept through every edit that
    // leaves them as they were; an edit that may not counts as touching a fence.
    FenceMap fences;
    bool fencesRead = false;
    // The line states of the block edited last whose tokenizer carries a state over
    // lines, while every change since is known.
    CodeLineStates codeStates;
    // Where the last step ended inside a long fenced block's body, after a line feed
    // its tokens do not cover: while the unstyled text starts there, the next step
    // reads on from there after the opening fence alone (see codeStepBody()).
    std::optional<int> codeResume;
    // The opening line of a block whose body a step resumed in, where that line did
    // not read after the lines before it as in the whole text: no step resumes in that
    // body again, while no character changes.
    std::optional<int> codeRefused;
    // The opening line of a long fenced block in a text styled in steps, edited to
    // name another language since the last restyle: its body is styled anew from
    // there in steps (see restyleChanges()). Blocks that long, texts that long:
    std::optional<int> newLanguage;
    int longBody = std::numeric_limits<int>::max(), stepwiseFrom = 0;
    // Past a block only recoloured, where the text was styled as a whole before:
    // steps that reach it are done, while no other change came since.
    std::optional<int> styledFrom;
    std::chrono::steady_clock::time_point typed;  // when a character last changed
    // Where the last step ended before an item of a long list that no blank line
    // makes loose (see listCutAt()): the next step reads from there alone.
    std::optional<int> listResume;
    // Lines with no blank one among them, from one after a blank line or the
    // text's start to a blank line or its end, and whether every list among them
    // ends inside them (and is so tight): kept while no character changes.
    std::optional<std::pair<Range, bool>> blankFree;
    // Where the grid looked up last starts (see gridTailAt()): moved with the edits
    // before it, and checked before each use.
    const TextTable* gridTable = nullptr;
    int gridStart = -1;
    int gridEnd = -1;  // and where it ends, once asked (see findGridEnd())
    // The one looked up before it, kept alike: a key between two grids asks for both.
    struct LookedUp {
        const TextTable* table = nullptr;
        int start = -1;
        int end = -1;
    } gridBefore;

    // Whether a stretch read as a whole text from `lo` may start at `at`, a cell
    // paragraph of a grid below its first: the grid opens a block of its own there
    // (it starts the text read, or a blank line or a heading outside code comes before it), and
    // its cells from `at` on are long enough to read as a table's shape too (see
    // GridCells::blanked). The text under the grid then reads after those cells as
    // it reads after the whole grid, and no cell reads otherwise for the cells
    // around it. The grid's start is found once, not at every keystroke under it.
    bool gridTailAt(int at, int lo)
    {
        const U16View text = storage->string();
        const int n = int(text.size());
        if (at <= lo || at >= n || text[size_t(at - 1)] != u'\n')
            return false;
        const TextTable* table = cellTable(*storage, at);
        if (!table || cellTable(*storage, at - 1) != table)
            return false;
        int units = 0;
        for (int i = at; i < n && units < 8;) {
            Range run;
            const ParagraphStyle* style = storage->attributes(i, &run).paragraphStyle();
            if (!style || !style->tableBlock())
                break;
            units += run.end() - i;
            i = run.end();
        }
        if (units < 8)
            return false;
        findGrid(table, at);
        return gridStart >= lo && (standsAlone(gridStart, lo) || endsAfresh());
    }

    // Whether styling in steps may start a step (or a stretch styled ahead) at `at`:
    // where the text starts afresh outside code and grids, or at a cell paragraph of
    // a grid below its first, read as a grid that starts the text (see gridTailAt()).
    // `clear`: a fresh start must not be in code or a grid as styled so far either.
    bool stepStartsAt(int at, bool clear = false)
    {
        const U16View text = storage->string();
        if (freshStart(text, at) && !ParagraphCuts::opaqueAt(*storage, at - 1) && !(clear && ParagraphCuts::opaqueAt(*storage, at)))
            return true;
        return at > 0 && at < int(text.size()) && text[size_t(at - 1)] == u'\n'
            && TableGrid::cellBlock(*storage, at - 1) != TableGrid::cellBlock(*storage, at) && gridTailAt(at, 0);
    }

    // The fenced block a step may end in at the line starting at `at`, past its first
    // body line: one in a language whose tokens start afresh after line feeds, with
    // lines above it that read its opening fence as the whole text does (see
    // codeHead()), while the blocks read as when last read and no grid cell stands
    // in it or in those lines.
    std::optional<CodeBody> codeStepBody(int at)
    {
        if (fenceLikeEdited || !fencesRead || fenceLike.empty())
            return std::nullopt;
        std::vector<int> scratch;
        const std::vector<int>& starts = readableFences(scratch);
        const U16View text = storage->string();
        if (at <= 0 || at >= int(text.size()) || text[size_t(at - 1)] != u'\n')
            return std::nullopt;
        std::optional<CodeBody> body = CodeBodies::around(fences, starts, at, RestyleWindow::nextLineStart(text, at));
        if (!body || !body->whole || at <= body->codeStart || at >= body->end || codeRefused == body->opener
            || codeHead(*body) < 0)
            return std::nullopt;
        const auto resumes = codeResumption(*body);
        if (resumes != CodeHighlighter::Resumption::everyLine && resumes != CodeHighlighter::Resumption::afterUncoveredFeeds)
            return std::nullopt;
        return body;
    }

    // Where the lines start that a step resuming in the body of `body` reads before
    // the body, after them alone as in the whole text: its opening fence's line, or,
    // for a block in a list item or quotation, from the nearest place before it where
    // the text starts afresh, not far above, so that the opening fence stands in the
    // same items and quotations. An item's list must read as loose there already:
    // lines left out below may make it loose, never tight again. -1 when there are
    // none such, or a grid cell stands in them or in the block.
    int codeHead(const CodeBody& body)
    {
        if (!grids)
            grids = hasGrids(*storage);
        if (!body.contained())
            return cellFree(body.opener, body.end) ? body.opener : -1;
        const U16View text = storage->string();
        constexpr int farthest = 8192;
        int start = body.opener;
        while (start > 0 && body.opener - start <= farthest && !stepStartsAt(start))
            start = RestyleWindow::lineStart(text, start - 1);
        if (body.opener - start > farthest || !cellFree(start, body.end))
            return -1;
        if (body.column >= 0) {
            const MarkdownList::OffsetMap items = MarkdownList::lines(substring(text, Range::fromTo(start, body.codeStart)));
            const MarkdownList::Line* opening = items.find(body.opener - start);
            if (!opening || !opening->isLoose)
                return -1;
        }
        return start;
    }

    // Whether no grid cell stands from `from` to `to`; asked again only once a
    // character or a paragraph changed.
    struct CellFree {
        int from = -1, to = -1;
        bool free = false;
    } cellFreeRead;
    bool cellFree(int from, int to)
    {
        if (!*grids)
            return true;
        if (cellFreeRead.from != from || cellFreeRead.to != to)
            cellFreeRead = {from, to, !hasGrids(*storage, Range::fromTo(from, to))};
        return cellFreeRead.free;
    }
    // Whether a step may end before the line at `at`: an unindented list item whose
    // list no blank line makes loose, after a line with text, neither of them a
    // table's. The items from there read alone as in the whole list (a list's
    // spacing hangs on its looseness alone, each item's indents on its own prefix).
    bool listCutAt(int at)
    {
        using namespace RestyleWindow;
        const U16View text = storage->string();
        const int n = int(text.size());
        if (!grids)
            grids = hasGrids(*storage);
        if (*grids || at <= 0 || at >= n || text[size_t(at - 1)] != u'\n')
            return false;
        auto lineOf = [&](int start) { return substring(text, Range::fromTo(start, nextLineStart(text, start))); };
        auto blank = [&](int start) { return isBlank(lineOf(start), TrimSet::WhitespaceAndNewlines); };
        const U16View line = lineOf(at);
        const int next = nextLineStart(text, at);
        if (line.front() == u' ' || line.front() == u'\t' || !MarkdownSyntax::matchList(line) || MarkdownSyntax::isThematicBreak(line)
            || MarkdownSyntax::isSetextUnderline(line) || TextOps::containsUnit(line, u'|')
            || !(MarkdownSyntax::matchList(lineOf(lineStart(text, at - 1))) || text[size_t(lineStart(text, at - 1))] == u' '
                 || text[size_t(lineStart(text, at - 1))] == u'\t')
            || blank(lineStart(text, at - 1))
            || (next < n && TextOps::containsUnit(lineOf(next), u'|')))
            return false;
        if (!blankFree || at <= blankFree->first.location || at >= blankFree->first.end()) {
            // A list goes on over a blank line only to an item with its marker, or an
            // indented line.
            auto markerOf = [&](U16View l) -> std::optional<char16_t> {
                const auto item = MarkdownSyntax::matchList(l);
                if (!item || item->bullet.length <= 0)
                    return item ? std::optional<char16_t>(u'-') : std::nullopt;
                return l[size_t(item->bullet.end() - 1)];
            };
            auto plain = [&](int start) {
                const U16View l = lineOf(start);
                return l.front() != u' ' && l.front() != u'\t' && !markerOf(l);
            };
            // The lines from `start` to the blank line at `end`, each plain, or the last a
            // heading or a break (which ends every list above it).
            auto endsLists = [&](int start, int end) {
                const U16View last = lineOf(lineStart(text, end - 1));
                if (plain(lineStart(text, end - 1))
                    && (MarkdownSyntax::matchHeading(last) || MarkdownSyntax::isThematicBreak(last)))
                    return true;
                for (int p = start; p < end; p = nextLineStart(text, p))
                    if (!plain(p))
                        return false;
                return true;
            };
            int from = lineStart(text, at - 1);
            while (from > 0 && !blank(lineStart(text, from - 1)))
                from = lineStart(text, from - 1);
            // The markers of the items that may stand outermost (indented less than code).
            std::u16string markers;
            auto noteMarker = [&](int start) {
                const U16View l = lineOf(start);
                if (MarkdownSyntax::indentWidth(l) < 4)
                    if (const auto marker = markerOf(l))
                        markers += *marker;
            };
            int to = at;
            for (; to < n && !blank(to); to = nextLineStart(text, to))
                noteMarker(to);
            for (int p = from; p < at; p = nextLineStart(text, p))
                noteMarker(p);
            int before = from;
            while (before > 0 && blank(lineStart(text, before - 1)))
                before = lineStart(text, before - 1);
            int above = before;
            while (above > 0 && !blank(lineStart(text, above - 1)))
                above = lineStart(text, above - 1);
            int after = to;
            while (after < n && blank(after))
                after = nextLineStart(text, after);
            const bool startsLists = from == 0 || plain(from) || endsLists(above, before);
            const std::optional<char16_t> next = after < n ? markerOf(lineOf(after)) : std::nullopt;
            const bool endsThere = after >= n || plain(after)
                || (next && lineOf(after).front() != u' ' && lineOf(after).front() != u'\t' && markers.find(*next) == std::u16string::npos);
            blankFree = std::pair{Range::fromTo(from, to), startsLists && endsThere};
        }
        return blankFree->second;
    }

    static CodeHighlighter::Resumption codeResumption(const CodeBody& body)
    {
        return body.language ? CodeHighlighter::resumption(*body.language) : CodeHighlighter::Resumption::afterUncoveredFeeds;
    }

    // The start of the grid whose cells stand on both sides of `at`, or `at`.
    int startOfCellsBefore(int at)
    {
        const TextTable* table = at > 0 ? cellTable(*storage, at) : nullptr;
        if (!table || cellTable(*storage, at - 1) != table)
            return at;
        findGrid(table, at);
        return gridStart;
    }

    // Where a step styled from `from` ends, at or after the line holding `at`: where the
    // text starts afresh outside code and grids, or, in a long grid, between two cells
    // where the next step may start with the grid's cells from there, so that a step
    // takes in what it reaches of a grid rather than the whole grid. The cells before
    // the end read as in the whole grid, being inline text alone, once they are enough
    // to read as a table's shape, and no fence or HTML block opened above them runs on.
    // Walked no further than `limit`, which it returns when it gets there.
    int stepEnd(int from, int at, int limit = std::numeric_limits<int>::max())
    {
        const U16View text = storage->string();
        const int n = std::min(int(text.size()), limit);
        at = std::min(n, RestyleWindow::nextLineStart(text, std::clamp(at, 0, n)));
        auto cutInGrid = [&] {
            if (at >= int(text.size()))
                return false;
            const TextTable* table = cellTable(*storage, at);
            if (!table || cellTable(*storage, at - 1) != table || !stepStartsAt(at))
                return false;
            return at - std::max(gridStart, from) >= 8 && (gridStart <= from || !runsOnWithin(text, from, gridStart));
        };
        while (at < n && !(freshStart(text, at) && !ParagraphCuts::opaqueAt(*storage, at) && !ParagraphCuts::opaqueAt(*storage, at - 1))
               && !cutInGrid())
            at = RestyleWindow::nextLineStart(text, at);
        return at;
    }

    // The first line after the grid looked up last that ends every list and paragraph
    // above it, after a blank line (or the text's end): what follows the grid reads
    // from there as after a grid that starts the text; -1 when there is none.
    int freshAfterGrid()
    {
        const U16View text = storage->string();
        const int n = int(text.size());
        const int end = findGridEnd();
        if (end < n && text[size_t(end - 1)] != u'\n')
            return -1;
        int q = end;
        while (q < n && isBlank(substring(text, Range::fromTo(q, RestyleWindow::nextLineStart(text, q))), TrimSet::WhitespaceAndNewlines))
            q = RestyleWindow::nextLineStart(text, q);
        return q >= n || (q > end && endsBlocksAbove(text, q) && !ParagraphCuts::opaqueAt(*storage, q)) ? q : -1;
    }

    // Whether the grid looked up last, whatever holds it above, is followed by such a
    // line that no change since the last restyle reached up to its first character, and
    // that read as a line of no list or quotation then too (as that character, unchanged,
    // is styled): a list or quotation that holds the grid ended there before the changes and after.
    bool endsAfresh()
    {
        const int q = freshAfterGrid();
        if (q < 0)
            return false;
        const U16View text = storage->string();
        const int n = int(text.size());
        if (q >= n || !dirty)
            return true;
        if (dirty->location <= q)
            return false;
        const ParagraphStyle* style = storage->paragraphStyle(q);
        return style && style->headIndent == 0 && style->firstLineHeadIndent == 0 && style->textBlocks.empty();
    }

    // Makes `table`, which holds `at`, the grid looked up last: finds its start unless known.
    void findGrid(const TextTable* table, int at)
    {
        auto known = [&] {
            return gridTable == table && gridStart >= 0 && gridStart < at && cellTable(*storage, gridStart) == table
                && (gridStart == 0 || cellTable(*storage, gridStart - 1) != table);
        };
        if (known())
            return;
        if (gridTable != table) {
            // The one looked up before comes back, or the last one becomes it.
            std::swap(gridTable, gridBefore.table);
            std::swap(gridStart, gridBefore.start);
            std::swap(gridEnd, gridBefore.end);
            if (known())
                return;
        }
        int g = at;
        while (g > 0 && cellTable(*storage, g - 1) == table) {
            Range run;
            storage->attributes(g - 1, &run);
            g = run.location;
        }
        gridTable = table;
        gridStart = g;
        gridEnd = -1;
    }

    // Where the grid looked up last ends (after its last paragraph's terminator),
    // found once and then moved with the edits.
    int findGridEnd()
    {
        const int n = storage->length();
        const bool known = gridEnd > gridStart && gridEnd <= n && cellTable(*storage, gridEnd - 1) == gridTable
            && (gridEnd == n || cellTable(*storage, gridEnd) != gridTable);
        if (!known) {
            int g = gridStart;
            while (g < n && cellTable(*storage, g) == gridTable) {
                Range run;
                storage->attributes(g, &run);
                g = run.end();
            }
            gridEnd = g;
        }
        return gridEnd;
    }

    // Whether the grid starting at `gridStart` opens a block that no list item or
    // quotation above holds, so that what follows it reads as after a grid that starts
    // the text: it starts the text read from `lo`, or comes after a blank line, a
    // heading, a top-level closing fence, or lines of a paragraph (a setext heading
    // too) that start the text afresh so, none of them an item, quoted, indented,
    // fence-like or HTML.
    bool standsAlone(int start, int lo)
    {
        const U16View text = storage->string();
        if (start == lo || gridAfterBlankLine(*storage, start))
            return true;
        int p = start;
        for (int count = 0; count < 32 && p > lo && text[size_t(p - 1)] == u'\n'; ++count) {
            const int above = RestyleWindow::lineStart(text, p - 1);
            const U16View line = substring(text, Range::fromTo(above, p - 1));
            if (ParagraphCuts::opaqueAt(*storage, p - 1))
                return closesTopLevelFence(above);
            if (isBlank(line, TrimSet::WhitespaceAndNewlines))
                return p < start;
            if (line.front() == u' ' || line.front() == u'\t' || line.front() == u'<' || MarkdownSyntax::matchList(line)
                || MarkdownSyntax::quoteLeader(line).depth > 0 || RestyleWindow::looksLikeFence(text, above))
                return false;
            if (line.front() == u'#' && MarkdownSyntax::matchHeading(line))
                return true;
            p = above;
        }
        return p == lo && p < start;
    }

    // Whether the line at `start` is indented code as the storage shows it, in no
    // fenced block's body, while every fence reads as it did then.
    bool indentedCodeAt(int start)
    {
        const U16View text = storage->string();
        const int n = int(text.size());
        if (fenceLikeEdited || start < 0 || start >= n || (start > 0 && text[size_t(start - 1)] != u'\n'))
            return false;
        const int next = RestyleWindow::nextLineStart(text, start);
        const U16View line = substring(text, Range::fromTo(start, next));
        if (!ParagraphCuts::codeAt(*storage, start) || ParagraphCuts::cellAt(*storage, start)
            || isBlank(line, TrimSet::WhitespaceAndNewlines) || MarkdownSyntax::indentWidth(line) < 4
            || std::binary_search(fenceLike.begin(), fenceLike.end(), start))
            return false;
        if (fenceLike.empty())
            return true;
        std::vector<int> scratch;
        return CodeBodies::knows(fences, next) && !CodeBodies::around(fences, readableFences(scratch), start, next);
    }

    // Whether the text starts afresh at `at`, right under a line of indented code:
    // a line with text, unindented, no item, no fence and no pipe (piped lines read
    // as rows by what stands around them), or an empty line over one. No paragraph or list goes on from code, so it reads as at the text's
    // start; and the block above ends where it ended before the edit, as a
    // character of each of these lines that no edit touched shows no code.
    bool startsUnderIndentedCode(int at)
    {
        const U16View text = storage->string();
        const int n = int(text.size());
        if (at <= 0 || at >= n || text[size_t(at - 1)] != u'\n'
            || !indentedCodeAt(RestyleWindow::lineStart(text, at - 1)))
            return false;
        // Only code at the top level: a line under code in a list item (or one the
        // whole reading takes as an item's) may go on in the item.
        const ParagraphStyle* code = storage->paragraphStyle(RestyleWindow::lineStart(text, at - 1));
        if (!code || code->headIndent != 0 || code->firstLineHeadIndent != 0 || !code->textBlocks.empty())
            return false;
        auto lineAt = [&](int p) { return substring(text, Range::fromTo(p, RestyleWindow::nextLineStart(text, p))); };
        const bool empty = isBlank(lineAt(at), TrimSet::WhitespaceAndNewlines);
        const int own = empty ? RestyleWindow::nextLineStart(text, at) : at;
        if (own >= n)
            return false;
        const U16View line = lineAt(own);
        if (isBlank(line, TrimSet::WhitespaceAndNewlines) || line.front() == u' ' || line.front() == u'\t'
            || MarkdownSyntax::matchList(line) || RestyleWindow::looksLikeFence(text, own) || TextOps::containsUnit(line, u'|'))
            return false;
        const auto untouched = [&](int i) { return !dirty || !dirty->contains(i); };
        for (int p = at; p <= own; p = RestyleWindow::nextLineStart(text, p)) {
            const int feed = RestyleWindow::nextLineStart(text, p) - 1;
            const int same = untouched(p) ? p : untouched(feed) ? feed : -1;
            if (same < 0 || ParagraphCuts::opaqueAt(*storage, same))
                return false;
        }
        return true;
    }

    // Whether the line at `at` closes a fenced block opened at a line's start, as the fences were read.
    bool closesTopLevelFence(int at)
    {
        const U16View text = storage->string();
        if (fenceLikeEdited || !fencesRead || !std::binary_search(fenceLike.begin(), fenceLike.end(), at)
            || text[size_t(at)] == u' ' || text[size_t(at)] == u'\t')
            return false;
        const std::optional<CodeBody> block = CodeBodies::closedAt(fences, at);
        return block && block->opener < int(text.size()) && text[size_t(block->opener)] != u' '
            && text[size_t(block->opener)] != u'\t';
    }

    // Whether a stretch read from `from` may end at `at`, a cell paragraph of a grid
    // below its first cells that the stretch holds: the rest of the grid is cells
    // alone, and the text after the grid starts afresh (it ends the text, or after a
    // blank line a line comes that ends every list and paragraph above it), so it reads
    // as before whatever the stretch holds above the grid, while every fence reads as
    // before and no line of the stretch opens an HTML block.
    bool gridHeadAt(int at, int from)
    {
        const U16View text = storage->string();
        const int n = int(text.size());
        if (fenceLikeEdited || at <= from || at >= n || text[size_t(at - 1)] != u'\n')
            return false;
        const TextTable* table = cellTable(*storage, at);
        if (!table || cellTable(*storage, at - 1) != table)
            return false;
        findGrid(table, at);
        if (gridStart < from || at - gridStart < 8 || runsOnWithin(text, from, gridStart))
            return false;
        return freshAfterGrid() >= 0;
    }

    // Where a stretch that reached `at`, a cell paragraph past the first cells of a
    // grid, may read on after leaving out the grid's middle rows: the first cell
    // paragraph of a row near the grid's end; -1 when there is no middle to leave out.
    // The block scanner reads a grid of any length as the same two lines and each cell
    // as inline text alone, so the cells kept on either side read as they do in the
    // whole grid, and what follows the grid as it follows the whole grid.
    int gridMiddleEnd(int at, int from)
    {
        const U16View text = storage->string();
        const int n = int(text.size());
        if (at <= from || at >= n || text[size_t(at - 1)] != u'\n')
            return -1;
        const TextTable* table = cellTable(*storage, at);
        if (!table || cellTable(*storage, at - 1) != table
            || TableGrid::cellBlock(*storage, at - 1) == TableGrid::cellBlock(*storage, at))
            return -1;
        findGrid(table, at);
        if (at - std::max(gridStart, from) < 8)
            return -1;
        const int end = findGridEnd();
        // A few rows before the end: the cells left after it still read as the grid's last lines.
        for (int p = RestyleWindow::lineStart(text, std::max(at, end - 64)), tries = 0; p > at && tries < 8;
             p = RestyleWindow::lineStart(text, p - 1), ++tries)
            if (end - p >= 8 && cellTable(*storage, p) == table && cellTable(*storage, p - 1) == table
                && TableGrid::cellBlock(*storage, p - 1) != TableGrid::cellBlock(*storage, p))
                return p;
        return -1;
    }

    // The fence-like lines the block scanner reads: those outside grid cells.
    const std::vector<int>& readableFences(std::vector<int>& scratch)
    {
        if (!grids)
            grids = hasGrids(*storage);
        if (!*grids)
            return fenceLike;
        scratch.clear();
        std::copy_if(fenceLike.begin(), fenceLike.end(), std::back_inserter(scratch),
                     [&](int start) { return !ParagraphCuts::cellAt(*storage, start); });
        return scratch;
    }

    // Whether the fence lines, one of them changed over `range`, read as the kept
    // blocks (already moved over the change) say, each in a language of the same
    // name but, where the edited line opens a long block in a long text, that
    // block's (noted in `newLanguage`): then they take the blocks read now.
    bool fencesAlike(Range range, int longBody)
    {
        const U16View text = storage->string();
        // One line changed, the opening fence of a block that does not end with an
        // item or quotation, and the lines after it as they were (its body starts
        // where it started).
        const int line = RestyleWindow::lineStart(text, range.location);
        const std::optional<CodeBody> block = CodeBodies::openedAt(fences, line);
        if (!block || TextOps::containsUnit(substring(text, range), u'\n') || fences.known != std::numeric_limits<int>::max())
            return false;
        FenceMap now = readMap();
        if (now.known != fences.known || now.blocks.size() != fences.blocks.size())
            return false;
        std::optional<int> relanguaged;
        for (size_t i = 0; i < now.blocks.size(); ++i) {
            const CodeBody& a = now.blocks[i];
            const CodeBody& b = fences.blocks[i];
            if (a.opener != b.opener || a.end != b.end || a.codeStart != b.codeStart || a.depth != b.depth || a.column != b.column
                || a.closed != b.closed || a.whole != b.whole)
                return false;
            if (a.language.has_value() != b.language.has_value()
                || (a.language && CodeHighlighter::canonicalName(*a.language) != CodeHighlighter::canonicalName(*b.language))) {
                if (a.opener != line || a.end - a.codeStart < longBody || !a.whole)
                    return false;
                relanguaged = line;
            }
        }
        fences = std::move(now);
        if (relanguaged)
            newLanguage = relanguaged;
        return true;
    }

    // Whether a line past a fence-like line stands outside every fenced block, as
    // the blocks kept over the edits tell; false when they are not known there.
    bool outsideCode(Range line) const
    {
        if (!fencesRead || fenceLikeEdited || !CodeBodies::knows(fences, line.end()))
            return false;
        const auto block = std::partition_point(fences.blocks.begin(), fences.blocks.end(),
                                                [&](const CodeBody& b) { return b.opener < line.location; });
        return block == fences.blocks.begin() || (std::prev(block)->whole && std::prev(block)->end <= line.location);
    }

    // Counts a definition line in (or, with -1, out of) `linkLines` and `unreadLines`.
    void countLine(const DefinitionLine& d, int by)
    {
        if (d.link) {
            const auto it = linkLines.try_emplace(d.link->label, 0).first;
            if ((it->second += by) == 0)
                linkLines.erase(it);
        } else if (!d.note) {
            unreadLines += by;
        }
    }
    // Tracks the lines of a text read whole.
    void setDefinitionLines(std::vector<DefinitionLine> lines)
    {
        definitionLines = std::move(lines);
        linkLines.clear();
        unreadLines = 0;
        for (const DefinitionLine& d : definitionLines)
            countLine(d, 1);
    }

    // Takes the definitions `found` in the stretch from `from` to `to` (less
    // `elided`) in place of the lines there, and reads the whole text's definitions
    // from the lines alone where it can: where every line that may change them (those
    // the edits took out, those the stretch held, those it holds now, and those
    // before the first definition of each label they name) stands before any
    // fence-like line, outside grid cells (the whole text's are read with the cells
    // blanked), and the notes keep their labels as many times. Then the labels
    // whose destination changed go to `relabelled`; otherwise (or unless `read`), false.
    bool takeDefinitions(const std::vector<DefinitionLine>& found, int from, int to, Range elided, bool read)
    {
        const auto at = [&](int p) {
            return std::lower_bound(definitionLines.begin(), definitionLines.end(), p,
                                    [](const DefinitionLine& d, int q) { return d.line.location < q; });
        };
        // The lines of the stretch give way to those found, around the elided part's,
        // which stay; as many as before take their places where they stand.
        const auto replace = [&] {
            const auto first = at(from);
            const auto past = at(to);
            const auto inElided = [&](const DefinitionLine& d) { return elided.contains(d.line.location); };
            const auto keptFrom = std::find_if(first, past, inElided);
            const auto keptTo = std::find_if_not(keptFrom, past, inElided);
            std::vector<DefinitionLine> joined;
            if (keptFrom != keptTo) {
                const auto split = std::ranges::partition_point(
                    found, [&](const DefinitionLine& d) { return d.line.location < elided.location; });
                joined.assign(found.begin(), split);
                joined.insert(joined.end(), keptFrom, keptTo);
                joined.insert(joined.end(), split, found.end());
            }
            const std::vector<DefinitionLine>& lines = keptFrom != keptTo ? joined : found;
            for (auto d = first; d != past; ++d)
                countLine(*d, -1);
            for (const DefinitionLine& d : lines)
                countLine(d, 1);
            if (lines.size() == size_t(past - first)) {
                std::copy(lines.begin(), lines.end(), first);
            } else {
                const auto where = definitionLines.erase(first, past);
                definitionLines.insert(where, lines.begin(), lines.end());
            }
        };
        if (!read || fenceLikeEdited || !grids) {
            replace();
            return false;
        }
        const int fence = fenceLike.empty() ? std::numeric_limits<int>::max() : fenceLike.front();
        // A line the edits took out was told then whether it stood outside code.
        const auto known = [&](const DefinitionLine& d, bool gone = false) {
            return (d.note || d.link) && (gone || d.line.end() <= fence || outsideCode(d.line))
                && !(*grids
                     && (ParagraphCuts::cellAt(*storage, d.line.location)
                         || ParagraphCuts::cellAt(*storage, std::max(d.line.location, d.line.end() - 1))));
        };
        std::vector<U16String> before, after, labels;
        bool knownAll = true;
        const auto note = [&](const DefinitionLine& d, std::vector<U16String>& into, bool gone = false) {
            knownAll = knownAll && known(d, gone);
            if (d.note)
                into.push_back(*d.note);
            else if (d.link)
                labels.push_back(d.link->label);
        };
        for (const DefinitionLine& d : definitionsGone)
            note(d, before, true);
        for (auto d = at(from); d != definitionLines.end() && d->line.location < to; ++d)
            if (!elided.contains(d->line.location))
                note(*d, before);
        for (const DefinitionLine& d : found)
            note(d, after);
        replace();
        std::ranges::sort(before);
        std::ranges::sort(after);
        if (!knownAll || before != after)
            return false;
        // The first definition of a label wins: read down to each label's first.
        std::unordered_map<U16String, std::optional<U16String>> first;
        for (U16String& label : labels)
            first.try_emplace(std::move(label));
        size_t left = first.size();
        // Where every line is known (none in a cell, none after a fence, each read
        // for what it defines) and every line that defines a label is among those
        // found, the first of them found is its first: nothing else need be read.
        if (!*grids && unreadLines == 0 && (definitionLines.empty() || definitionLines.back().line.end() <= fence)) {
            for (auto& [label, url] : first) {
                const auto defined = linkLines.find(label);
                const int all = defined == linkLines.end() ? 0 : defined->second;
                int among = 0;
                for (const DefinitionLine& d : found)
                    if (d.link && d.link->label == label && among++ == 0)
                        url = d.link->url;
                if (among != all)
                    break;
                --left;
            }
            if (left > 0) {
                for (auto& entry : first)
                    entry.second.reset();
                left = first.size();
            }
        }
        for (auto d = definitionLines.begin(); d != definitionLines.end() && left > 0; ++d) {
            if (!known(*d))
                return false;
            if (!d->link)
                continue;
            const auto it = first.find(d->link->label);
            if (it != first.end() && !it->second) {
                it->second = d->link->url;
                --left;
            }
        }
        std::vector<std::pair<U16String, std::optional<U16String>>> now;
        for (auto& [label, url] : first) {
            const auto was = definitions.links.find(label);
            if (url ? was == definitions.links.end() || was->second != *url : was != definitions.links.end())
                now.emplace_back(label, std::move(url));
        }
        for (auto& [label, url] : now) {
            if (url)
                definitions.links.insert_or_assign(label, std::move(*url));
            else
                definitions.links.erase(label);
            relabelled.push_back(label);
        }
        return true;
    }

    // Reads the fenced blocks afresh, as the block scanner reads the text.
    void readFences()
    {
        fences = readMap();
        fencesRead = true;
    }
    FenceMap readMap()
    {
        std::vector<int> scratch;
        const std::vector<int>& starts = readableFences(scratch);
        FenceMap map = CodeBodies::read(storage->string(), starts);
        // Only a block that ends with its item or quotation has lines read besides its
        // fences, which lie outside the cells: without one the cells are never read,
        // and the text need not be copied with them blanked.
        if (*grids
            && (map.known != std::numeric_limits<int>::max()
                || std::ranges::any_of(map.blocks, [](const CodeBody& b) { return b.contained(); })))
            map = CodeBodies::read(blockText(*storage), starts);
        return map;
    }

    // Writing back through the binding's replace: while `written` holds, the
    // bound text is the storage's Markdown before the `unwritten` changes, and
    // `gridSpans` says where its grids stand in both.
    bool written = false;
    std::vector<TableGrid::GridSpan> gridSpans;
    std::vector<std::pair<Range, U16String>> unwritten;  // Markdown range replaced, by what

    void forgetWritten()
    {
        written = false;
        unwritten.clear();
    }

    // Whether the last change of characters replaced the whole text; and where the grids
    // stood in the text it replaced, when that text's Markdown was the bound text.
    bool replacedWhole = false;
    std::optional<std::vector<TableGrid::GridSpan>> replacedGrids;
    // The Markdown of whole texts with grids that changes replaced, by the undo record
    // that puts each back: the undo (or redo) that does so writes it back as it was.
    struct PutBack {
        uint64_t record = 0;
        U16String markdown;
        std::vector<TableGrid::GridSpan> grids;
    };
    std::vector<PutBack> putBacks;

    void rememberPutBack(uint64_t record, U16String markdown, std::vector<TableGrid::GridSpan> grids)
    {
        // The latest two: the text a change replaced, and the one its undo replaced in turn.
        if (putBacks.size() >= 2)
            putBacks.erase(putBacks.begin());
        putBacks.push_back(PutBack{record, std::move(markdown), std::move(grids)});
    }
    std::optional<PutBack> takePutBack(uint64_t record)
    {
        const auto found = std::find_if(putBacks.begin(), putBacks.end(), [&](const PutBack& p) { return p.record == record; });
        if (record == 0 || found == putBacks.end())
            return std::nullopt;
        PutBack back = std::move(*found);
        putBacks.erase(found);
        return back;
    }

    // Turns a change of the storage into the same change of its Markdown: the
    // changed characters alone in prose; the whole paragraphs around the change,
    // with every grid among them or next to them, written again when it reaches one.
    void writeLater(const TextStorage::Edit& e)
    {
        if (!written)
            return;
        if (replacedWhole) {
            // Written whole by textDidChange(), from what the text it replaced was when known.
            if (unwritten.empty())
                replacedGrids = std::move(gridSpans);
            forgetWritten();
            return;
        }
        if (writeInRow(e))
            return;
        const int from = e.range.location;
        const int oldEnd = e.range.end() - e.delta;
        // A change in a grid's paragraphs, or in the line feeds that part them from prose, reshapes it;
        // so does one that leaves it ending the text: its last line feed is then its own, written as the grid says.
        const bool endsText = e.range.end() == storage->length();
        // So does one that leaves a blank line alone under a grid at the text's end: a table read
        // ending the text without a line end takes that line as its own (see TableGrid::serialize).
        auto blankLineUnder = [&](const TableGrid::GridSpan& grid) {
            const U16View rest = U16View(storage->string()).substr(std::min(size_t(grid.text.end() + 1), size_t(storage->length())));
            return rest == u"\n" || rest == u"\r\n";
        };
        auto reaches = [&](const TableGrid::GridSpan& grid) {
            return (from <= grid.text.end() + (endsText ? 1 : 0) || (endsText && blankLineUnder(grid)))
                && std::max(oldEnd, from) >= grid.text.location;
        };
        // A paragraph is a grid's by its first character: the paragraphs the change
        // starts may begin with cell text that stood inside a paragraph before.
        auto startsCell = [&] {
            const U16View text = storage->string();
            if (TableGrid::cellBlock(*storage, RestyleWindow::lineStart(text, from)))
                return true;
            for (int q = from; q < e.range.end(); ++q)
                if (text[size_t(q)] == u'\n' && TableGrid::cellBlock(*storage, q + 1))
                    return true;
            return false;
        };
        const bool gridded = std::any_of(gridSpans.begin(), gridSpans.end(), reaches) || startsCell();
        Range changed = e.range;      // in the text after the change
        int changedMarkdownLength = 0;  // of the text before it
        int start = from;
        int end = e.range.end();
        if (gridded) {
            const U16View text = storage->string();
            const int n = int(text.size());
            for (const TableGrid::GridSpan& grid : gridSpans)
                if (reaches(grid)) {
                    start = std::min(start, grid.text.location);
                    end = std::max(end, grid.text.end() + e.delta);
                }
            auto lineEnd = [&](int p) {
                p = std::clamp(p, 0, n);
                const size_t feed = text.find(u'\n', size_t(p));
                return feed == U16View::npos || int(feed) + 1 >= n ? n : int(feed);
            };
            start = RestyleWindow::lineStart(text, std::clamp(start, 0, n));
            end = lineEnd(end);
            // Grid paragraphs next to the stretch belong to it.
            for (bool grew = true; grew;) {
                grew = false;
                if (start > 0) {
                    const int previous = RestyleWindow::lineStart(text, start - 1);
                    if (TableGrid::cellBlock(*storage, previous)) {
                        start = previous;
                        grew = true;
                    }
                }
                if (end < n && TableGrid::cellBlock(*storage, end + 1)) {
                    end = lineEnd(end + 1);
                    grew = true;
                }
            }
            changed = Range::fromTo(start, end);
        }
        // Where the stretch's Markdown starts and ends in the text before the change.
        const int oldStop = end - e.delta;
        int shift = 0;
        for (const TableGrid::GridSpan& grid : gridSpans) {
            if (grid.text.end() < start)
                shift += grid.markdown.length - grid.text.length;
            else if (grid.text.location >= start && grid.text.end() <= oldStop)
                changedMarkdownLength += grid.markdown.length - grid.text.length;
        }
        changedMarkdownLength += oldStop - start;
        U16String markdown;
        std::vector<TableGrid::GridSpan> made;
        if (gridded) {
            // Written with its last line feed, which ends the last paragraph (an empty one
            // too), and without the feed in the Markdown, where it parts the stretch from what follows.
            const bool closed = end < storage->length();
            const Range piece{changed.location, changed.length + (closed ? 1 : 0)};
            markdown = TableGrid::serialize(storage->attributedSubstring(piece), &made, closed);
            if (closed) {
                if (!made.empty() && made.back().text.end() == piece.length)
                    --made.back().text.length;
                else if (!markdown.empty() && markdown.back() == u'\n')
                    markdown.pop_back();
            }
        } else
            markdown = storage->string().substr(size_t(changed.location), size_t(changed.length));
        const int markdownDelta = int(markdown.size()) - changedMarkdownLength;
        unwritten.emplace_back(Range{start + shift, changedMarkdownLength}, std::move(markdown));
        // The grids after the stretch move, keeping their rows; those in it are made again.
        std::vector<TableGrid::GridSpan> spans;
        spans.reserve(gridSpans.size() + made.size());
        for (TableGrid::GridSpan& grid : gridSpans)
            if (grid.text.end() < start)
                spans.push_back(std::move(grid));
        for (TableGrid::GridSpan& grid : made) {
            grid.text.location += start;
            grid.markdown.location += start + shift;
            spans.push_back(std::move(grid));
        }
        for (TableGrid::GridSpan& grid : gridSpans)
            if (grid.text.location > oldStop) {
                grid.text.location += e.delta;
                grid.markdown.location += markdownDelta;
                spans.push_back(std::move(grid));
            }
        gridSpans = std::move(spans);
    }

    // A change inside the cells of one row of a grid written as its cells say:
    // that row's line alone is written again. False when it does not apply.
    bool writeInRow(const TextStorage::Edit& e)
    {
        const int from = e.range.location;
        const int oldEnd = e.range.end() - e.delta;
        // The grid's last cell ends at its end: a change there is the last row's.
        auto grid = std::partition_point(gridSpans.begin(), gridSpans.end(),
                                         [&](const TableGrid::GridSpan& g) { return g.text.end() < from; });
        if (grid == gridSpans.end() || grid->lines.empty() || from < grid->text.location || oldEnd > grid->text.end())
            return false;
        const U16View text = storage->string();
        const int gridEnd = grid->text.end() + e.delta;
        const int first = RestyleWindow::lineStart(text, from);
        const int last = int(std::min(text.find(u'\n', size_t(e.range.end())), size_t(gridEnd)));
        if (last > gridEnd || first >= gridEnd)
            return false;
        // Every character from the first line to the last is of one cell. The header's
        // line is the first, the delimiter row's (which its cells do not change) the second.
        const TextTableBlock* cell = TableGrid::cellBlock(*storage, first);
        if (!cell || cell->startingRow() < 0 || size_t(cell->startingRow()) + 1 >= grid->lines.size()
            || size_t(cell->startingRow()) >= grid->rowTexts.size())
            return false;
        for (int i = first; i <= std::min(last, gridEnd - 1);) {
            Range run;
            const ParagraphStyle* style = storage->attributes(i, &run).paragraphStyle();
            if (!style || style->tableBlock() != cell)
                return false;
            i = run.end();
        }
        // The row's paragraphs: those around of its row.
        const TextTable* table = cell->table().get();
        auto ofRow = [&](int at) {
            const TextTableBlock* c = TableGrid::cellBlock(*storage, at);
            return c && c->table().get() == table && c->startingRow() == cell->startingRow();
        };
        int rowStart = first;
        while (rowStart > grid->text.location && ofRow(RestyleWindow::lineStart(text, rowStart - 1)))
            rowStart = RestyleWindow::lineStart(text, rowStart - 1);
        // An empty paragraph ending the grid starts at its end, its line feed being the one that parts it from what follows.
        int rowEnd = last;
        while (rowEnd + 1 <= gridEnd && ofRow(rowEnd + 1))
            rowEnd = int(std::min(text.find(u'\n', size_t(rowEnd + 1)), size_t(gridEnd)));
        // Nothing went but from the row: its paragraphs hold what they held and what came.
        int& rowText = grid->rowTexts[size_t(cell->startingRow())];
        if (rowEnd - rowStart != rowText + e.delta)
            return false;
        const U16String row = TableGrid::rowMarkdown(*storage, Range::fromTo(rowStart, rowEnd), grid->columns);
        const size_t line = cell->startingRow() == 0 ? 0 : size_t(cell->startingRow()) + 1;
        const int oldLength = grid->lines[line];
        const int markdownDelta = int(row.size()) - oldLength;
        // A grid whose Markdown comes back to the length it was typed with may read as typed again.
        if (grid->typedLength >= 0) {
            long long canonical = -1;
            for (int length : grid->lines)
                canonical += length + 1;
            if (canonical + markdownDelta == grid->typedLength)
                return false;
        }
        int at = grid->markdown.location;
        for (size_t k = 0; k < line; ++k)
            at += grid->lines[k] + grid->lineEnd;
        unwritten.emplace_back(Range{at, oldLength}, row);
        grid->lines[line] = int(row.size());
        rowText = rowEnd - rowStart;
        grid->text.length += e.delta;
        grid->markdown.length += markdownDelta;
        for (auto next = std::next(grid); next != gridSpans.end(); ++next) {
            next->text.location += e.delta;
            next->markdown.location += markdownDelta;
        }
        return true;
    }

    // Where a position before an edit lies after it.
    static int map(int p, const TextStorage::Edit& e)
    {
        const int oldEnd = e.range.end() - e.delta;
        if (p >= oldEnd)
            return p + e.delta;
        return p > e.range.location ? std::min(p, e.range.end()) : p;
    }

    void edited(const TextStorage::Edit& e)
    {
        if (storage)
            keepCaretLine(caretLine, storage->string(), e);
        if (!fittingPictures) {
            if (e.charactersChanged)
                for (auto& [key, places] : loadingPictures)
                    for (int& place : places)
                        place = map(place, e);
            const Range before = unreadPictures
                ? (e.charactersChanged ? Range::fromTo(map(unreadPictures->location, e), map(unreadPictures->end(), e))
                                       : *unreadPictures)
                : e.range;
            unreadPictures = unionRange(before, e.range);
        }
        if (restyling)
            return;
        colorsRead = false;
        if (!e.charactersChanged) {
            dirty = dirty ? unionRange(*dirty, e.range) : e.range;
            grids.reset();
            cellFreeRead = {};
            forgetWritten();
            return;
        }
        typed = std::chrono::steady_clock::now();
        cellFreeRead = {};
        codeRefused.reset();
        replacedWhole = storage && e.range.location == 0 && e.range.end() == storage->length();
        writeLater(e);
        definitionsCurrent = false;
        // The lines the edit touches stand together, those before them stay, those after move.
        const int oldEnd = e.range.end() - e.delta;
        const auto touched = std::ranges::partition_point(
            definitionLines, [&](const DefinitionLine& d) { return d.line.end() < e.range.location; });
        // Whether each stood outside code, told before the blocks move over the edit.
        std::vector<bool> outside;
        for (auto d = touched; d != definitionLines.end() && d->line.location <= oldEnd; ++d)
            outside.push_back(fenceLike.empty() || d->line.location < fenceLike.front() || outsideCode(d->line));
        if (storage) {
            if (newLanguage)
                newLanguage = map(*newLanguage, e);
            // A fence that ends with its item or quotation ends elsewhere when a line of it no longer keeps it open.
            const bool lines = CodeBodies::update(fenceLike, storage->string(), e.range, e.delta);
            const bool ends = !fencesRead || !CodeBodies::keep(fences, storage->string(), e.range, e.delta);
            // An edit of a fence line that leaves every block as it was (an opening
            // fence's info string naming the same language) touches no fence.
            // (With grids, while known: the edit typed no cell, which would read them anew.)
            const bool same = lines && !ends && !fenceLikeEdited && grids.has_value()
                && !(*grids && e.range.length > 0 && hasGrids(*storage, e.range))
                && fencesAlike(e.range, stepwiseFrom > 0 && storage->length() >= stepwiseFrom ? longBody
                                                                                              : std::numeric_limits<int>::max());
            fencesRead = fencesRead && (!lines || same) && !ends;
            fenceLikeEdited = (lines && !same) || ends || fenceLikeEdited;
            // An opening line naming a language leaves the text past its block as it reads.
            styledFrom = styledFrom && lines && same && e.range.end() - e.delta < *styledFrom
                ? std::optional<int>(map(*styledFrom, e)) : std::nullopt;
        } else {
            styledFrom.reset();
        }
        codeStates.edited(e.range, e.delta);
        // Both grids looked up move with the edit.
        for (int slot = 0; slot < 2; ++slot) {
            std::swap(gridTable, gridBefore.table);
            std::swap(gridStart, gridBefore.start);
            std::swap(gridEnd, gridBefore.end);
            if (gridTable && gridEnd >= 0) {
                // The grid's end moves with an edit before it, and with one inside it that leaves cells alone.
                const int oldEnd = e.range.end() - e.delta;
                auto cellsOfGrid = [&] {
                    for (int i = e.range.location; i < e.range.end();) {
                        Range run;
                        const ParagraphStyle* style = storage->attributes(i, &run).paragraphStyle();
                        if (!style || !style->tableBlock() || style->tableBlock()->table().get() != gridTable)
                            return false;
                        i = run.end();
                    }
                    return true;
                };
                if (oldEnd <= gridStart && e.range.location < gridStart)
                    gridEnd += e.delta;
                else if (e.range.location >= gridStart && oldEnd <= gridEnd && (e.range.location < gridEnd || e.range.length == 0)
                         && cellsOfGrid())
                    gridEnd += e.delta;
                else if (e.range.location < gridEnd || (e.range.location == gridEnd && e.range.length > 0))
                    gridEnd = -1;
            }
            if (gridTable && e.range.location < gridStart) {
                if (e.range.end() - e.delta <= gridStart)
                    gridStart += e.delta;
                else
                    gridTable = nullptr;
            }
        }
        // Places after the change keep what the text read as there, to compare with.
        std::erase_if(cuts, [&](ParagraphCut& cut) {
            if (cut.at <= e.range.location)
                return false;
            if (cut.at < e.range.end() - e.delta)
                return true;
            cut.at += e.delta;
            cut.stale = true;
            return false;
        });
        // A pipe may make a table row of a line a place stands in: one typed, or one
        // that a deleted line feed brought into the line. Places from that line on
        // go; those above it stand on lines the storage still shows as they read (a
        // delimiter row typed under one makes it a header, which paragraphCut sees).
        if (storage && !cuts.empty()) {
            const U16View text = storage->string();
            const bool deleted = e.range.end() - e.delta > e.range.location;
            const Range touched = deleted ? Range::fromTo(RestyleWindow::lineStart(text, e.range.location),
                                                          RestyleWindow::nextLineStart(text, e.range.end()))
                                          : e.range;
            if (TextOps::containsUnit(substring(text, touched), u'|')) {
                const int line = RestyleWindow::lineStart(text, touched.location);
                std::erase_if(cuts, [line](const ParagraphCut& cut) { return cut.at >= line; });
            }
        }
        if (unstyled)
            unstyled = map(*unstyled, e);
        if (codeResume)
            codeResume = map(*codeResume, e);
        if (listResume)
            listResume = map(*listResume, e);
        blankFree.reset();
        if (island && (e.range.location < island->location || (islandStart == Resume::code && e.range.location <= island->end())))
            island.reset();
        else if (island && e.range.location <= island->end())
            island = Range::fromTo(island->location, map(island->end(), e));
        if (grids == false && e.range.length > 0 && storage && hasGrids(*storage, e.range)) {
            grids = true;
            fencesRead = false;  // read again with the cells blanked
            fenceLikeEdited = true;
        }
        dirty = dirty ? unionRange(Range::fromTo(map(dirty->location, e), map(dirty->end(), e)), e.range) : e.range;
        selection = Range::fromTo(map(selection.location, e), map(selection.end(), e));
        auto after = touched;
        for (size_t i = 0; after != definitionLines.end() && after->line.location <= oldEnd; ++after, ++i) {
            const Range line = after->line;
            definitionsTouched = true;
            countLine(*after, -1);
            const bool outsideCells = grids == false
                || (storage && !ParagraphCuts::cellAt(*storage, line.location)
                    && !ParagraphCuts::cellAt(*storage, std::max(line.location, line.end() - 1)));
            definitionsGone.push_back(outside[i] && outsideCells
                                          ? std::move(*after)
                                          : DefinitionLine{line, nullptr, nullptr});
        }
        if (e.delta != 0)
            for (auto d = after; d != definitionLines.end(); ++d)
                d->line.location += e.delta;
        definitionLines.erase(touched, after);
    }
};

MarkdownEditorCoordinator::MarkdownEditorCoordinator(MarkdownEditor editor) : parent(std::move(editor)) {}

void MarkdownEditorCoordinator::track(TextStorage& storage)
{
    if (!kept_)
        kept_ = std::make_shared<Kept>();
    kept_->stepwiseFrom = parent.stepwiseFrom;
    kept_->longBody = 2 * stepLength;
    if (kept_->storage == &storage)
        return;
    kept_->storage = &storage;
    kept_->valid = false;
    kept_->caretLine.reset();
    kept_->loadingPictures.clear();
    kept_->unreadPictures = Range{0, storage.length()};
    kept_->forgetWritten();
    kept_->putBacks.clear();
    std::weak_ptr<Kept> weak = kept_;
    TextStorage* tracked = &storage;
    storage.addObserver([weak, tracked](const TextStorage::Edit& edit) {
        if (const auto kept = weak.lock(); kept && kept->storage == tracked)
            kept->edited(edit);
    });
}

void MarkdownEditorCoordinator::textDidChange(TextView& view)
{
    TextStorage* storage = view.textStorage();
    if (!storage)
        return;
    if (parent.text.replace && kept_ && kept_->storage == storage) {
        Kept& kept = *kept_;
        if (kept.written) {
            for (const auto& [range, text] : kept.unwritten)
                parent.text.replace(range, text);
        } else {
            // A whole text put back by an undo or a redo is written as it was, not read again.
            std::optional<Kept::PutBack> back;
            if (kept.replacedWhole)
                back = kept.takePutBack(view.recordPutBack());
            if (!back) {
                back.emplace();
                back->markdown = TableGrid::serialize(*storage, &back->grids);
            }
            // The Markdown of a text with grids that this change replaced whole, for its undo.
            if (kept.replacedGrids && !kept.replacedGrids->empty() && view.changeRecord() && parent.text.get)
                kept.rememberPutBack(view.changeRecord(), parent.text.get(), std::move(*kept.replacedGrids));
            kept.gridSpans = std::move(back->grids);
            if (parent.text.set)
                parent.text.set(back->markdown);
            else
                parent.text.replace(Range{0, int(parent.text.get ? parent.text.get().size() : 0)}, back->markdown);
            kept.written = true;
        }
        kept.unwritten.clear();
        kept.replacedWhole = false;
        kept.replacedGrids.reset();
    } else if (parent.text.set) {
        // Known to hold no grid, the text is written back as it stands.
        if (kept_ && kept_->valid && kept_->storage == storage) {
            if (!kept_->grids)
                kept_->grids = hasGrids(*storage);
            parent.text.set(*kept_->grids ? TableGrid::serialize(*storage) : storage->string());
        } else {
            parent.text.set(markdownOf(*storage));
        }
    }
    noteShownRevision();
    restyleChanges(view);
}

void MarkdownEditorCoordinator::learnWrittenText(TextView& view)
{
    TextStorage* storage = view.textStorage();
    if (!storage || !parent.text.replace || !parent.text.get || !kept_ || kept_->storage != storage || kept_->written
        || view.hasMarkedText())
        return;
    std::vector<TableGrid::GridSpan> spans;
    if (TableGrid::serialize(*storage, &spans) != parent.text.get())
        return;
    kept_->gridSpans = std::move(spans);
    kept_->unwritten.clear();
    kept_->written = true;
}

std::optional<U16String> MarkdownEditorCoordinator::writtenMarkdown(TextView& view) const
{
    if (!kept_ || kept_->storage != view.textStorage() || !kept_->written || !kept_->unwritten.empty() || !parent.text.get)
        return std::nullopt;
    return parent.text.get();
}

void MarkdownEditorCoordinator::noteShownRevision()
{
    shownRevision = parent.text.revision ? std::optional(parent.text.revision()) : std::nullopt;
}

void MarkdownEditorCoordinator::forgetWrittenText()
{
    if (kept_)
        kept_->forgetWritten();
}

void MarkdownEditorCoordinator::textViewDidChangeSelection(TextView& view)
{
    TextStorage* storage = view.textStorage();
    if (!storage || view.hasMarkedText())
        return;
    const Range selection = view.selectedRange();
    const CaretMarks marks = caretMarks(selection, *storage, kept_ && kept_->storage == storage ? &kept_->caretLine : nullptr);
    // A selection shows the source of every picture line, task box and shortcode it
    // touches: one that grows, shrinks or goes restyles what it touched or touches.
    const bool selecting = kept_ && kept_->storage == storage && !(selection == kept_->selection)
        && (selection.length > 0 || kept_->selection.length > 0);
    if (selecting || !sameRange(marks.image, caretImageLine) || !sameRange(marks.task, caretTaskLine)
        || !sameRange(marks.shortcode, caretShortcode))
        restyleChanges(view);
    settleCutsAhead(*storage, selection);
    if (selection.length > 0)
        return;
    view.setTypingAttributes(caretAttributes(*storage, selection.location));
}

Attributes MarkdownEditorCoordinator::caretAttributes(const AttributedString& storage, int location) const
{
    Attributes attributes = styler.baseAttributes();
    if (location < 0 || location >= storage.length())
        return attributes;
    const ParagraphStyle* style = storage.paragraphStyle(location);
    if (style && style->tableBlock()) {
        // In a grid cell typing continues the cell.
        attributes.set(AttributeKey::ParagraphStyle, ParagraphStylePtr(std::make_shared<ParagraphStyle>(*style)));
        if (const Font* font = storage.font(location))
            attributes.set(AttributeKey::Font, *font);
    }
    return attributes;
}

void MarkdownEditorCoordinator::settleTypingAttributes(TextView& view)
{
    const TextStorage& storage = *view.textStorage();
    const Range selection = view.selectedRange();
    // A caret wherever the editor put it types as one a click put there; a selection
    // in a grid keeps what the view gave it.
    if (selection.length == 0) {
        view.setTypingAttributes(caretAttributes(storage, selection.location));
        return;
    }
    const ParagraphStyle* style = selection.location < storage.length() ? storage.paragraphStyle(selection.location) : nullptr;
    if (!(style && style->tableBlock()))
        view.setTypingAttributes(styler.baseAttributes());
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
    track(*storage);
    Kept& kept = *kept_;
    kept.restyling = true;
    storage->beginEditing();
    const bool adopted = kept.styled && !kept.dirty;
    const bool stepwise = !adopted && parent.stepwiseFrom > 0 && storage->length() >= parent.stepwiseFrom;
    kept.unstyled.reset();
    kept.island.reset();
    kept.cuts.clear();
    kept.codeStates.clear();
    kept.codeResume.reset();
    kept.codeRefused.reset();
    kept.listResume.reset();
    kept.newLanguage.reset();
    kept.styledFrom.reset();
    kept.blankFree.reset();
    // A new size leaves the colours as they were read; anything else may not.
    kept.colorsRead = kept.colorsRead && kept.sizeOnly;
    kept.sizeOnly = false;
    // Read first: steps may end inside a long fenced block.
    kept.fenceLike = CodeBodies::fenceLikeLines(storage->string(), 0, storage->length());
    kept.fenceLikeEdited = false;
    kept.readFences();
    if (stepwise) {
        // Styled in steps: at once up to the caret and past what the window shows.
        if (!kept.definitionsCurrent)
            kept.definitions = wholeDefinitions(*storage);
        kept.definitionsCurrent = true;
        kept.unstyled = 0;
        // Near the start, styled through what is in sight; far from it, the start and what is in sight.
        const Range shown = shownRange(view);
        const bool far = shown.location > 2 * stepLength;
        // A caret far below what shows (left at the end of a long text pasted or put back,
        // which the view then scrolls to) is styled apart, with a screen above it.
        const int caret = selection.location;
        const bool caretFar = !far && caret > shown.end() + 2 * stepLength;
        styleThrough(view, *storage, far ? 0 : std::max(caretFar ? 0 : caret, shown.end()));
        if (far || caretFar) {
            // Told apart, so that the layout looks over the two stretches alone, not all between.
            storage->endEditing();
            storage->beginEditing();
            styleIsland(view, *storage, far ? shown : Range::fromTo(std::max(0, caret - 2 * std::max(shown.length, stepLength)), caret));
        }
    } else {
        if (adopted)
            kept.definitions = std::move(*kept.styled);
        else
            styler.apply(*storage, nullptr, &kept.definitions);
        collapse(*storage, selection, view);
    }
    kept.styled.reset();
    kept.definitionsCurrent = true;
    kept.colorsRead = kept.colorsRead || !kept.unstyled;
    storage->endEditing();
    kept.restyling = false;
    kept.valid = true;
    kept.dirty.reset();
    kept.selection = selection;
    kept.width = availableWidth(view);
    kept.setDefinitionLines(definitionLines(storage->string(), 0, storage->length()));
    kept.definitionsTouched = false;
    kept.definitionsGone.clear();
    kept.relabelled.clear();
    settleCutsAhead(*storage, selection);
    if (kept.unstyled)
        scheduleStyleAhead(view);
    else if (!kept.written)
        runLater(view, &MarkdownEditorCoordinator::learnWrittenScheduled, &MarkdownEditorCoordinator::learnWrittenText);
    const CaretMarks marks = caretMarks(selection, *storage, &kept.caretLine);
    caretImageLine = marks.image;
    caretTaskLine = marks.task;
    caretShortcode = marks.shortcode;
    settleTypingAttributes(view);
}

void MarkdownEditorCoordinator::forgetStyling()
{
    if (!kept_)
        return;
    kept_->styled.reset();
    kept_->valid = false;
    kept_->sizeOnly = true;
}

void MarkdownEditorCoordinator::adoptStyled(TextView& view, MarkdownSyntax::Definitions definitions)
{
    TextStorage* storage = view.textStorage();
    if (!storage)
        return;
    track(*storage);
    kept_->valid = false;
    kept_->dirty.reset();
    kept_->styled = std::move(definitions);
}

void MarkdownEditorCoordinator::stylePiece(TextStorage& piece, int offset, Range selection, TextView& view)
{
    styler.apply(piece, &kept_->definitions);
    collapse(piece, Range{selection.location - offset, selection.length}, view);
}

void MarkdownEditorCoordinator::collapse(TextStorage& storage, Range selection, TextView& view)
{
    // The collapses change attributes only: one classification of the lines serves all three.
    const ProseLines lines(storage);
    applyImageCollapse(storage, lines, selection, view);
    applyTaskCollapse(storage, lines, selection);
    applyEmojiCollapse(storage, lines, selection);
}

void MarkdownEditorCoordinator::restyleChanges(TextView& view)
{
    TextStorage* storage = view.textStorage();
    if (!storage || view.hasMarkedText())
        return;
    // Only pictures are sized to the width: without one a new width changes nothing.
    if (kept_ && kept_->valid && kept_->storage == storage && kept_->width != availableWidth(view)
        && storage->string().find(u"![") == U16String::npos)
        kept_->width = availableWidth(view);
    if (!kept_ || !kept_->valid || kept_->storage != storage || kept_->width != availableWidth(view)) {
        restyle(view);
        return;
    }
    Kept& kept = *kept_;
    const Range selection = view.selectedRange();
    const int n = storage->length();
    // A change of most of a long text (all of it replaced, or brought back by an undo)
    // is styled as an opened text is: what shows at once, the rest in idle steps.
    if (kept.dirty && parent.stepwiseFrom > 0 && kept.dirty->length >= parent.stepwiseFrom && 2 * kept.dirty->length >= n) {
        restyle(view);
        return;
    }
    // The changed stretches: the edits, and the lines the caret left and entered;
    // between two selections, the lines where one reaches and the other does not.
    std::vector<Range> zones;
    auto between = [&](Range zone) {
        // A selection changes only what shows its source when touched: the lines there that may hold one.
        if (zone.length == 0)
            zones.push_back(zone);
        else
            markLines(storage->string(), zone, zones);
    };
    if (kept.selection.length > 0 && selection.length > 0) {
        for (const auto& [a, b] : {std::pair{kept.selection.location, selection.location},
                                   std::pair{kept.selection.end(), selection.end()}})
            if (a != b)
                between(Range::fromTo(std::min(a, b), std::max(a, b)));
    } else {
        between(kept.selection);
        between(selection);
    }
    if (kept.dirty)
        zones.push_back(*kept.dirty);
    // While styling goes in steps, changes are restyled in the styled part and
    // in the island, each read as a whole text; the rest is styled when steps reach it.
    // An island read only after a fence's opening line is left to the steps where a change reaches it.
    if (kept.island && kept.islandStart == Kept::Resume::code
        && std::ranges::any_of(zones, [&](Range z) { return z.end() >= kept.island->location && z.location <= kept.island->end(); }))
        kept.island.reset();
    const std::optional<int> restep = restepNewLanguage(view, zones);
    std::vector<Range> parts{Range{0, kept.unstyled.value_or(n)}};
    if (kept.island)
        parts.push_back(*kept.island);
    kept.restyling = true;
    kept.readsAsBefore.reset();
    storage->beginEditing();
    bool done = true;
    const auto restyleZones = [&](const std::vector<Range>& zones) {
        for (const Range& part : parts) {
            std::vector<Range> inPart;
            for (const Range& z : zones) {
                const Range clipped = Range::fromTo(std::clamp(z.location, part.location, part.end()),
                                                    std::clamp(z.end(), part.location, part.end()));
                if (z.end() >= part.location && (clipped.location < part.end() || part.end() == n))
                    inPart.push_back(clipped);
            }
            std::sort(inPart.begin(), inPart.end(), [](Range a, Range b) { return a.location < b.location; });
            std::vector<Range> merged;
            for (const Range& z : inPart) {
                if (!merged.empty() && z.location <= merged.back().end() + 4096)
                    merged.back() = unionRange(merged.back(), z);
                else
                    merged.push_back(z);
            }
            for (const Range& zone : merged)
                if (!(done = restyleStretch(view, *storage, zone, selection, part)))
                    break;
            if (!done)
                break;
        }
    };
    restyleZones(zones);
    if (restep) {
        // What shows is styled at once, in steps about a screen long.
        const int through = std::max(selection.end(), shownRange(view).end());
        const int steps = stepLength;
        stepLength = std::min(steps, std::max(through - *restep, 1024));
        styleThrough(view, *storage, through);
        stepLength = steps;
    }
    // References to a label given another destination read anew, each as if edited;
    // the places kept in paragraphs were read with the old destinations. Reading one
    // may give more labels another (a mention in a definition's own line): a few
    // rounds of that, then the whole text.
    for (int round = 0; done && !kept.relabelled.empty(); ++round) {
        if (round == 4) {
            done = false;
            break;
        }
        const std::vector<Range> references = ReferenceLink::mentions(storage->string(), kept.relabelled);
        kept.relabelled.clear();
        kept.cuts.clear();
        const std::optional<Range> dirty = kept.dirty;
        for (const Range& reference : references) {
            // Told apart, so that the layout looks over each alone, not all between.
            storage->endEditing();
            storage->beginEditing();
            kept.dirty = reference;
            restyleZones({reference});
            if (!done)
                break;
        }
        kept.dirty = dirty;
    }
    storage->endEditing();
    kept.restyling = false;
    // States kept over an edit that was not read again, or over a changed fence, no longer hold.
    if (kept.codeStates.changed || kept.fenceLikeEdited)
        kept.codeStates.clear();
    if (!done) {
        restyle(view);
        return;
    }
    kept.dirty.reset();
    kept.selection = selection;
    kept.fenceLikeEdited = false;
    kept.colorsRead = !kept.unstyled;
    if (restep && kept.unstyled)
        scheduleStyleAhead(view);
    if (!kept.fencesRead)
        kept.readFences();
    // The last stretch ended reading as before: so does the text after it.
    // (Not that no block holds its paragraph: an edit above may have made it go on from one.)
    if (kept.readsAsBefore)
        for (ParagraphCut& cut : kept.cuts)
            if (cut.stale && cut.at >= *kept.readsAsBefore) {
                cut.stale = false;
                cut.bare = false;
            }
    const CaretMarks marks = caretMarks(selection, *storage, &kept.caretLine);
    caretImageLine = marks.image;
    caretTaskLine = marks.task;
    caretShortcode = marks.shortcode;
    settleTypingAttributes(view);
}

std::optional<int> MarkdownEditorCoordinator::restepNewLanguage(TextView& view, const std::vector<Range>& zones)
{
    using namespace RestyleWindow;
    Kept& kept = *kept_;
    if (!kept.newLanguage)
        return std::nullopt;
    const int opener = *std::exchange(kept.newLanguage, std::nullopt);
    const U16View text = view.textStorage()->string();
    const int n = int(text.size());
    const std::optional<CodeBody> block = CodeBodies::openedAt(kept.fences, opener);
    // The block's body changes colours all through: it is styled anew in steps
    // from where the text starts afresh before it (what the edits left of the
    // lines above, at once), where steps may end in its body (in a list item, one
    // whose list reads as loose from there already). Otherwise the fences count as edited.
    if (!block || kept.codeHead(*block) < 0 || !kept.fencesRead || kept.fenceLikeEdited || view.hasMarkedText() || !kept.dirty
        || kept.dirty->location < opener || kept.dirty->end() > nextLineStart(text, opener)) {
        kept.fenceLikeEdited = true;
        kept.fencesRead = false;
        return std::nullopt;
    }
    int from = opener;
    while (from > 0 && !kept.stepStartsAt(from))
        from = lineStart(text, from - 1);
    // The steps end past the block, where the text reads as it was styled, while
    // all of it was and no caret left or entered a line there.
    const int past = block->closed ? nextLineStart(text, block->end) : n;
    const bool rest = (!kept.unstyled || kept.styledFrom)
        && std::ranges::none_of(zones, [&](Range z) { return z.end() >= past && past < n; });
    kept.styledFrom = rest ? std::optional<int>(std::max(kept.styledFrom.value_or(0), past)) : std::nullopt;
    kept.unstyled = std::min(kept.unstyled.value_or(n), from);
    if (kept.island && kept.island->end() > from)
        kept.island.reset();
    kept.codeResume.reset();
    kept.listResume.reset();
    kept.codeStates.clear();
    return from;
}

bool MarkdownEditorCoordinator::restyleStretch(TextView& view, TextStorage& storage, Range changed, Range selection,
                                               Range bounds)
{
    using namespace RestyleWindow;
    using namespace ParagraphCuts;
    // An edit that leaves the text's last line empty is read from the line above it,
    // which the blocks it is in end with: a code block's last line, not an empty one past its end.
    if (const U16View all = storage.string(); changed.location == int(all.size()) && changed.location > 0
        && all[size_t(changed.location - 1)] == u'\n')
        changed = Range::fromTo(lineStart(all, changed.location - 1), changed.location);
    if (restyleOpeningFence(view, storage, changed, selection, bounds) || restyleCodeLines(view, storage, changed, selection, bounds)
        || restyleCells(view, storage, changed, selection, bounds)
        || restyleIndentedCodeLines(view, storage, changed, selection, bounds))
        return true;
    Kept& kept = *kept_;
    const U16View text = storage.string();
    // Styling in steps: the part styled so far (or the island) reads as the whole
    // text; the next step starts before its end again, where the text starts afresh.
    const int lo = std::clamp(bounds.location, 0, int(text.size()));
    const int n = std::clamp(bounds.end(), lo, int(text.size()));
    // The changed lines, then two lines of context each side that the edit left
    // alone; in a long line, parts of it in their place.
    auto back = [&](int p, int count) {
        for (; count > 0 && p > 0; --count)
            p = partStart(text, p - 1);
        return p;
    };
    auto forward = [&](int p, int count) {
        for (; count > 0 && p < int(text.size()); --count)
            p = partEnd(text, p);
        return p;
    };
    const int first = std::max(lo, partStart(text, changed.location));
    const int last = changed.end() >= n ? n : std::min(n, partEnd(text, changed.end()));
    // A first changed line that ends every block above it, and did so before the
    // edit (a character of it that no edit touched, its first or its last, is
    // styled as in a line of no list, quotation, note or code), changes nothing
    // above: the stretch starts at it, with no line above to witness, rather than
    // with a long block above that leaves it no place to start. Its last is the one
    // before its first line break: a break inside the line (a carriage return before
    // its feed, say) is styled apart, without the indents of the item it ends.
    auto endsAbove = [&](int at) {
        if (at <= lo || at >= n || !endsBlocksAbove(text, at) || looksLikeFence(text, at))
            return false;
        const int feed = nextLineStart(text, at) - 1;
        if (feed <= at || text[size_t(feed)] != u'\n')
            return false;
        const auto untouched = [&](int i) { return !kept.dirty || !kept.dirty->contains(i); };
        // Its last is looked for only when its first was edited: the line may be long.
        const auto last = [&] {
            int end = at;
            while (end < feed && !endsLine(text[size_t(end)]))
                ++end;
            return end > at && untouched(end - 1) ? end - 1 : -1;
        };
        const int same = untouched(at) ? at : last();
        if (same < 0 || opaqueAt(storage, same))
            return false;
        const ParagraphStyle* style = storage.paragraphStyle(same);
        return style && style->headIndent == 0 && style->firstLineHeadIndent == 0 && style->textBlocks.empty();
    };
    // The same holds of a line of the context above the change: the stretch starts
    // at the nearest such line, which needs no line above it to witness either.
    int from = std::max(lo, back(first, 2));
    int freshFrom = -1;
    for (int p = first; p >= from && p > lo; p = lineStart(text, p - 1))
        if (endsAbove(p)) {
            from = freshFrom = p;
            break;
        }
    int to = std::min(n, forward(last, 2));
    // Below the change, a line that starts the text afresh after an empty line the
    // edit left alone read so before the edit as well (outside code, as the storage
    // shows): what follows it reads as before unless a fence is left open above it,
    // which the stretch's end is checked for.
    // (The empty line before `at` is at or below the change's last line, and untouched.)
    auto untouchedEmptyAbove = [&](int at) {
        const int empty = lineStart(text, at - 1);
        return empty >= last && !(kept.dirty && overlaps(*kept.dirty, Range::fromTo(empty, nextLineStart(text, at))));
    };
    auto freshAfter = [&](int at) {
        if (at <= lo || at >= n || !freshStart(text, at) || opaqueAt(storage, at) || opaqueAt(storage, at - 1))
            return false;
        return untouchedEmptyAbove(at);
    };
    // So does an indented code block after an empty line the edit left alone (as
    // the storage shows it), when the stretch leaves no list open over it: the
    // stretch ends before it, read with its first line, which must read as before.
    auto lineAt = [&](int at) { return substring(text, Range::fromTo(at, nextLineStart(text, at))); };
    auto endsBeforeCode = [&](int at) {
        if (at <= lo || at >= n || !emptyLineBefore(text, at) || !kept.indentedCodeAt(at)
            || MarkdownSyntax::matchList(lineAt(at)))
            return false;
        return untouchedEmptyAbove(at);
    };
    for (int p = last; p < to; p = nextLineStart(text, p))
        if (freshAfter(p) || endsBeforeCode(p)) {
            to = p;
            break;
        }
    // While no fence has changed, the text past an unindented fence reads as
    // before whatever the stretch holds: a stretch may end before one that opens
    // a block and start after the block's closing one, rather than take in a long
    // block whole (an indented fence, or one under a list item, may take the
    // item's indents). Past the block the first line with text on it must not be
    // indented code, which hangs on the last list item line above the block.
    auto unindented = [&](int at) { return at < int(text.size()) && text[size_t(at)] != u' ' && text[size_t(at)] != u'\t'; };
    std::vector<int> scratch;
    const std::vector<int>* fences = nullptr;
    auto readable = [&]() -> const std::vector<int>& {
        if (!fences)
            fences = &kept.readableFences(scratch);
        return *fences;
    };
    auto fenceLine = [&](int at) {
        return !kept.fenceLikeEdited && std::binary_search(kept.fenceLike.begin(), kept.fenceLike.end(), at)
            && std::binary_search(readable().begin(), readable().end(), at);
    };
    // Both need a fence line that reads as before: without one, nothing is searched.
    const bool fencesAsBefore = !kept.fenceLikeEdited && !kept.fenceLike.empty();
    auto endsBeforeFence = [&](int at) {
        if (!fencesAsBefore || at <= lo || at >= n || text[size_t(at - 1)] != u'\n' || !unindented(at) || !fenceLine(at))
            return false;
        const std::optional<CodeBody> block = CodeBodies::openedAt(kept.fences, at);
        if (!block)
            return false;
        int next = nextLineStart(text, block->end);
        while (next < int(text.size())
               && isBlank(substring(text, Range::fromTo(next, nextLineStart(text, next))), TrimSet::WhitespaceAndNewlines))
            next = nextLineStart(text, next);
        if (block->end >= int(text.size()) || next >= int(text.size()))
            return true;
        return MarkdownSyntax::indentWidth(substring(text, Range::fromTo(next, nextLineStart(text, next)))) < 4
            && !std::binary_search(kept.fenceLike.begin(), kept.fenceLike.end(), next) && !cellAt(storage, next);
    };
    auto startsAfterFence = [&](int at) {
        if (!fencesAsBefore || at <= lo || at >= n || text[size_t(at - 1)] != u'\n' || !unindented(at)
            || std::binary_search(kept.fenceLike.begin(), kept.fenceLike.end(), at) || cellAt(storage, at))
            return false;
        // Blank lines between the closing fence and the line carry nothing on to it
        // (a few are looked over; the line may stand under many).
        int closer = lineStart(text, at - 1);
        for (int blank = 0; blank < 8 && closer > lo && !fenceLine(closer)
             && isBlank(substring(text, Range::fromTo(closer, nextLineStart(text, closer))), TrimSet::WhitespaceAndNewlines);
             ++blank)
            closer = lineStart(text, closer - 1);
        if (!fenceLine(closer))
            return false;
        const std::optional<CodeBody> block = CodeBodies::closedAt(kept.fences, closer);
        return block && unindented(block->opener);
    };
    // Right under a block that no paragraph or list goes on from: a fence or indented code.
    auto startsUnderBlock = [&](int at) { return startsAfterFence(at) || kept.startsUnderIndentedCode(at); };
    for (int p = first; p > from; p = lineStart(text, p - 1))
        if (startsUnderBlock(p)) {
            from = p;
            break;
        }
    for (int p = last; p < to; p = nextLineStart(text, p))
        if (endsBeforeFence(p)) {
            to = p;
            break;
        }
    // A stretch that starts afresh needs no place kept inside a paragraph before it,
    // and looking for one would walk back over the block above.
    if (from != freshFrom && !startsUnderBlock(from))
        settleCuts(storage, lo, from);
    LineReader lines(storage);
    auto cutAt = [&](int at) -> const ParagraphCut* {
        const auto it = std::lower_bound(kept.cuts.begin(), kept.cuts.end(), at,
                                         [](const ParagraphCut& cut, int p) { return cut.at < p; });
        return it == kept.cuts.end() || it->at != at ? nullptr : &*it;
    };
    auto keptCut = [&](int at) -> const ParagraphCut* {
        const ParagraphCut* cut = cutAt(at);
        if (!cut || cut->stale)
            return nullptr;
        const bool stands = text[size_t(at - 1)] == u'\n' ? paragraphCut(storage, at) : midLineCut(storage, at);
        return stands && itemStandsAlone(text, *cut) && lines.ticksStayOpen(at, cut->ticks) ? cut : nullptr;
    };
    // Where a stretch starting at `at` may start instead, further back: the line's
    // start, or a kept place between it and `at`.
    auto earlier = [&](int at) {
        auto it = std::lower_bound(kept.cuts.begin(), kept.cuts.end(), at,
                                   [](const ParagraphCut& cut, int p) { return cut.at < p; });
        while (it != kept.cuts.begin() && std::prev(it)->stale)
            --it;
        if (it != kept.cuts.begin()) {
            const int cut = std::prev(it)->at;
            if (text.substr(0, size_t(std::max(cut, at - 1))).find(u'\n', size_t(cut)) == U16View::npos)
                return cut;
        }
        return lineStart(text, at - 1);
    };
    // The first place after `at` that read as it did before the edit, if any.
    auto staleAfter = [&](int at) -> const ParagraphCut* {
        for (auto it = std::upper_bound(kept.cuts.begin(), kept.cuts.end(), at,
                                        [](int p, const ParagraphCut& cut) { return p < cut.at; });
             it != kept.cuts.end() && it->at < n; ++it)
            if (it->stale)
                return &*it;
        return nullptr;
    };
    auto pipedEdge = [&](int at) { return at > lo && at < n && edgeOfPipedLines(storage, kept.dirty, at); };
    ParagraphCut start{from};
    // Whether the stretch starts at a place kept inside a paragraph, whose context
    // gives the paragraph its reading but not the blocks (a list item, a quotation)
    // that hold it.
    bool fromCut = false;
    auto startsAt = [&](int at) {
        fromCut = false;
        if (startsUnderBlock(at)) {
            start = ParagraphCut{at};
            return true;
        }
        // Under a grid's first row, the stretch takes in a few of its cells, not the whole grid.
        if (kept.gridTailAt(at, lo)) {
            start = ParagraphCut{at};
            return true;
        }
        if (opaqueAt(storage, at) || opaqueAt(storage, at - 1) || looksLikeFence(text, at))
            return false;
        if (text[size_t(at - 1)] == u'\n' && (blockEdge(text, at) || pipedEdge(at))) {
            start = ParagraphCut{at};
            start.alert = alertGoingOn(storage, at);
            start.bare = opensBareParagraph(text, at);
            return true;
        }
        const ParagraphCut* cut = keptCut(at);
        if (cut) {
            start = *cut;
            fromCut = true;
        }
        return cut != nullptr;
    };
    // A grid after a blank line opens a block of its own: the block scan reads it as
    // the bare shape of a table there whatever comes before the blank line, as it
    // reads any unindented line, and its cells are inline text alone.
    auto gridStartsAt = [&](int at) { return at > lo && at < n && gridAfterBlankLine(storage, at); };
    // Lines indented as code go on the item whose text they reach past, which may be
    // one the stretch holds, and the lines after it with them, however far: the
    // stretch ends among them only when none of its lines is an indented item's
    // (read on from where it was last asked while the stretch starts where it did).
    struct {
        int from = -1, at = -1;
        bool found = false;
    } nested;
    auto nestsItem = [&](int at) {
        if (nested.from != from || nested.at > at)
            nested = {from, from, false};
        for (int p = nested.at; p < at && !nested.found; p = nextLineStart(text, p)) {
            const U16View line = lineAt(p);
            nested.found = !line.empty() && CharacterClass::isAsciiBlank(line.front()) && MarkdownSyntax::matchList(line);
        }
        nested.at = at;
        return nested.found;
    };
    // Past a grid's first cells, when what follows the grid starts afresh, the stretch
    // takes in a few of its cells, not the whole grid.
    auto endsAt = [&](int at) {
        if (endsBeforeFence(at) || endsBeforeCode(at) || gridStartsAt(at) || kept.gridHeadAt(at, from))
            return true;
        if (opaqueAt(storage, at) || opaqueAt(storage, at - 1))
            return false;
        if (text[size_t(at - 1)] != u'\n')
            return lines.cutsAt(at);
        if (looksLikeFence(text, at))
            return false;
        if (blockEdge(text, at) || pipedEdge(at))
            return true;
        return paragraphCut(storage, at) && (MarkdownSyntax::indentWidth(lineAt(at)) < 4 || !nestsItem(at));
    };
    bool grown = false;
    bool ranOn = false;
    // Where the first stretch ended inside a paragraph, and what the text reads as
    // there: kept once a longer stretch holds, for the next edit to compare with.
    std::optional<ParagraphCut> natural;
    int naturalFrom = -1;
    for (;;) {
        // The stretch starts and ends outside code as the storage holds it, so no
        // fence opened before it runs into it, and none it holds runs past it unseen.
        // Inside a long paragraph it starts where the paragraph's scan is known to
        // be settled, and ends where it is settled again (asked once styled).
        while (from > lo && !startsAt(from))
            from = std::max(lo, earlier(from));
        if (from <= lo) {
            start = ParagraphCut{lo};
            start.bare = opensBareParagraph(text, lo);
        }
        // A long grid the stretch runs into is read without its middle rows, which
        // the edit leaves as they are: the stretch goes on a few rows before its end.
        Range elided{to, 0};
        while (to < n && !endsAt(to)) {
            const int past = elided.length == 0 ? kept.gridMiddleEnd(to, from) : -1;
            const bool away = past > to && (selection.end() < to || selection.location > past)
                && !(kept.dirty && overlaps(*kept.dirty, Range::fromTo(to, past)));
            if (!away) {
                to = std::min(n, lines.nextPlace(to));
                continue;
            }
            // Two lines of the rows kept under the middle witness their reading.
            elided = Range::fromTo(to, past);
            to = std::min(n, lines.nextPlace(std::min(n, lines.nextPlace(past))));
        }
        if (elided.length == 0)
            elided.location = to;
        // A list item after the stretch may go on a list the stretch leaves open, and
        // a list's looseness is the whole list's: it is read with the stretch, and
        // must read as the storage has it.
        const int ahead = to < n && text[size_t(to - 1)] == u'\n'
                && MarkdownSyntax::matchList(substring(text, Range::fromTo(to, nextLineStart(text, to))))
            ? std::min(n, partEnd(text, to))
            : to;
        const Range stretch = Range::fromTo(from, ahead);
        // A piece starting inside a paragraph is read after what gives its first line its reading.
        const U16String head = context(text, start);
        const int offset = from - int(head.size());
        // Past the left-out middle of a grid, the piece stands that much nearer its start.
        const int tailOffset = offset + elided.length;
        auto offsetAt = [&](int at) { return at >= elided.end() && elided.length > 0 ? tailOffset : offset; };
        // Ended before indented code, the piece reads on over the block's first line
        // and one more, so that the first reads as the block's first, not its last.
        const bool beforeCode = ahead == to && endsBeforeCode(to);
        TextStorage piece = [&] {
            if (head.empty() && elided.length == 0 && !beforeCode)
                return TextStorage(storage.attributedSubstring(stretch));
            AttributedString joined(head, styler.baseAttributes());
            if (elided.length == 0)
                joined.append(storage.attributedSubstring(stretch));
            else {
                joined.append(storage.attributedSubstring(Range::fromTo(from, elided.location)));
                joined.append(storage.attributedSubstring(Range::fromTo(elided.end(), ahead)));
            }
            if (beforeCode) {
                joined.append(storage.attributedSubstring(Range::fromTo(to, nextLineStart(text, to))));
                joined.append(AttributedString(u"    x\n", styler.baseAttributes()));
            }
            return TextStorage(joined);
        }();
        stylePiece(piece, offsetAt(selection.location), selection, view);
        // At the text's ends the piece's own reading is the whole text's. Elsewhere
        // its two outer lines on each side must read as the storage has them (the
        // lines next to the change may legitimately read anew, as an item's
        // continuation does when its item line changes), and a delimiter held open
        // at its start must find none in it that pairs with it.
        // Read as the block scanner reads the piece: a grid's cells are no lines (a
        // cell's "```" opens no fence that would hide what waits in the text below).
        const U16String blocks = blockText(piece);
        const U16View own = U16View(blocks).substr(head.size(), size_t(to - from - elided.length));
        const std::optional<unsigned> carried
            = start.open && MarkdownSyntax::holdsDelimiters(own, start.open)
                  ? MarkdownSyntax::waitingAfter(head, own, start.open, kept.definitions)
                  : std::optional<unsigned>(start.open);
        // Context lines witness the reading around the piece only with text on them:
        // blank ones carry no style, and a list goes on over them (its looseness
        // is the whole list's).
        auto witnesses = [&](Range context) {
            return context.length <= 0 || !isBlank(substring(text, context), TrimSet::WhitespaceAndNewlines);
        };
        const Range headContext
            = Range::fromTo(from, from == freshFrom ? from : std::max(from, std::min(first, forward(from, 2))));
        const Range tailContext = Range::fromTo(
            std::min(to, std::max({last, back(to, 2), elided.length > 0 ? elided.end() : from})), ahead);
        // From a place inside a paragraph, the lines past the paragraph's end read
        // without the blocks holding it (a fence in a list item would run on past
        // the item): the stretch starts further back then. Not for blank lines and
        // unindented ones among the last the stretch compares, which a paragraph's
        // blocks do not hold unless it goes on lazily (a quoted line goes on with
        // a quotation): those read as the storage has them, or the stretch grows.
        // Nor for blank lines before those, past which a paragraph's blocks hold
        // only indented or quoted lines: after one, a line reads as in the whole
        // text when it is plain and unindented (a list item there might make the
        // list loose, which would show above the stretch).
        auto pastParagraph = [&] {
            // Its own lines go on whatever their indent.
            bool going = true;
            bool blankBefore = false;
            for (int p = nextLineStart(text, from); p < ahead; p = nextLineStart(text, p)) {
                const U16View line = substring(text, Range::fromTo(p, nextLineStart(text, p)));
                going = going && goesOnUnder(substring(text, Range::fromTo(lineStart(text, p - 1), p)), line);
                if (going)
                    continue;
                const bool blank = isBlank(line, TrimSet::WhitespaceAndNewlines);
                const bool indented = !blank && (line.front() == u' ' || line.front() == u'\t');
                if (blank) {
                    blankBefore = blankBefore || p < tailContext.location;
                    continue;
                }
                if (plainInParagraph(line, true) && !(blankBefore && indented))
                    continue;
                if (p < tailContext.location || blankBefore || indented || MarkdownSyntax::quoteLeader(line).depth > 0)
                    return true;
            }
            return false;
        };
        // A paragraph that no block holds has none to lose past its end.
        const bool headAgrees = from == lo
            || (agrees(piece, offset, storage, headContext) && witnesses(headContext) && carried
                && !(fromCut && !start.bare && pastParagraph()));
        const bool fenceOpen = to < n && fenceOpenAtEnd(U16View(blocks));
        const bool midLine = to < n && text[size_t(to - 1)] != u'\n';
        // Ended among a grid's cells, it ends no paragraph: each cell is one of its own.
        const bool inGrid = to < n && cellAt(storage, to) && cellAt(storage, to - 1);
        const bool inParagraph
            = to < n && !inGrid && (midLine || !(blockEdge(text, to) || pipedEdge(to))) && !endsBeforeFence(to)
            && !beforeCode;
        // Delimiters left looking on past the end leave what follows as it was when
        // the text read the same there before the edit; anything else open, never.
        unsigned opened = 0;
        const unsigned open = carried.value_or(start.open)
            | (inParagraph ? MarkdownSyntax::paragraphRunningDelimiters(blocks, kept.definitions, &opened) : 0);
        const unsigned unenclosed = (carried.value_or(start.open) & start.unenclosed) | opened;
        // A backtick run left open in the line (there before the stretch, or in it)
        // leaves what follows alone while no run long enough to close it comes.
        int ticks = text.substr(0, size_t(to)).find(u'\n', size_t(from)) == U16View::npos ? start.ticks : 0;
        const bool lineOpen = midLine && lines.runsOn(lastLine(piece.string()), to, ticks);
        const ParagraphCut* before = inParagraph ? cutAt(to) : nullptr;
        // A delimiter inside a pair before the place may have waited there as one now
        // outside it: its partner after the place, dropped then, now makes a pair.
        const bool asBefore = before && before->stale && before->open == open && before->ticks == ticks
            && (unenclosed & ~before->unenclosed) == 0;
        // What the text read as at the end before an edit in the stretch is known only
        // from a place kept there: a delimiter then waiting on past the end may have
        // taken a partner after it that now pairs otherwise, with no style showing it
        // (a pair dropped for crossing another still took its closer).
        const bool editedBefore = kept.dirty && kept.dirty->location < to;
        const bool runsOn = lineOpen || (inParagraph && editedBefore ? !asBefore : open != start.open && !asBefore);
        if (!grown && inParagraph && !lineOpen && !asBefore && headAgrees && elided.length == 0) {
            natural = ParagraphCut{to, open, unenclosed, lazyItem(text, from, to, start.item), false, ticks};
            natural->leader = lines.leader(to);
            natural->bare = staysBare(text, from, to, start.bare);
            naturalFrom = from;
        }
        // A line that ends every list and paragraph above it: the blank lines before
        // it witness enough.
        // Before indented code, the code line read after them witnesses them.
        const Range codeLine = Range::fromTo(to, nextLineStart(text, to));
        const bool tailContextAgrees = to == n
            || (agrees(piece, tailOffset, storage, tailContext)
                && (beforeCode ? codeAt(piece, to - tailOffset) && agrees(piece, tailOffset, storage, codeLine)
                               : witnesses(tailContext) || endsBlocksAbove(text, ahead)));
        // Inside a paragraph under a nested item, the items around it decide how the
        // lines after the end read, and no line read shows them; asked last, as it
        // reads the piece's lists.
        const bool tailAgrees = to == n
            || (tailContextAgrees && !fenceOpen && !runsOn && !(inParagraph && underNestedItem(piece, to - tailOffset)));
        if (headAgrees && tailAgrees) {
            // Definitions give meaning to references anywhere: a change to one, or
            // to the fences around one, is checked against the whole text.
            std::vector<DefinitionLine> found = definitionLines(text, from, elided.location);
            if (elided.length > 0)
                std::ranges::copy(definitionLines(text, elided.end(), to), std::back_inserter(found));
            bool mayChange = kept.definitionsTouched || grown;
            // A definition line that reads otherwise than before (a code or HTML
            // block's line once, or now) gains or loses its definition.
            for (const DefinitionLine& d : found)
                mayChange = mayChange || overlaps(d.line, Range::fromTo(first, std::max(first + 1, last)))
                    || !agrees(piece, offsetAt(d.line.location), storage, d.line);
            // A stretch that reached past its context on its own (over code) may hold a
            // fence or an HTML block that now takes its definitions in.
            if (!mayChange && !found.empty())
                mayChange = runsOnWithin(text, from, to);
            // Read from the lines where they can be (references to a label given
            // another destination are read again after), else from the whole text.
            const bool taken = kept.takeDefinitions(found, from, to, elided, mayChange && !grown);
            if (mayChange && !taken && !(wholeDefinitions(storage) == kept.definitions))
                return false;
            if (mayChange) {
                kept.definitionsTouched = false;
                kept.definitionsGone.clear();
            }
            copyBack(piece, offset, storage, int(head.size()), elided.location - offset);
            if (elided.length > 0)
                copyBack(piece, tailOffset, storage, elided.location - offset, to - tailOffset);
            // Places in the stretch read anew; the one at its end reads as before
            // (and those after it with it), or none after it can be trusted.
            std::erase_if(kept.cuts, [&](const ParagraphCut& cut) {
                return cut.stale && cut.at > from && (cut.at < to || !asBefore);
            });
            if (asBefore)
                for (ParagraphCut& cut : kept.cuts)
                    if (cut.at == to) {
                        cut = ParagraphCut{to, open, unenclosed, lazyItem(text, from, to, start.item), false, ticks};
                        cut.leader = lines.leader(to);
                        cut.bare = staysBare(text, from, to, start.bare);
                    }
            if (natural && naturalFrom == from && natural->at > from && natural->at < to) {
                const auto at = std::lower_bound(kept.cuts.begin(), kept.cuts.end(), natural->at,
                                                 [](const ParagraphCut& cut, int p) { return cut.at < p; });
                if (at != kept.cuts.end() && at->at == natural->at)
                    *at = *natural;
                else
                    kept.cuts.insert(at, *natural);
            }
            kept.readsAsBefore = asBefore ? std::optional<int>(to) : std::nullopt;
            // A stretch that ran on with a delimiter looking on for its partner leaves
            // places to compare the next edits' readings with.
            if (ranOn && to - from - elided.length > 16384)
                settleCuts(storage, lo, std::max(from, to - 1));
            return true;
        }
        // Widen fourfold on the side that disagrees; a fence left open runs on to
        // the end or to a fence that turns its reading around, unknown before it is
        // read: to the end at once, each retry being a restyle of its own.
        grown = true;
        ranOn = ranOn || (!tailAgrees && runsOn);
        const int width = to - from - elided.length;
        if (!headAgrees)
            from = std::max(lo, partStart(text, std::max(0, from - 3 * width - 64)));
        // Delimiters looking on past the end are compared at the next place known from before the edit.
        const ParagraphCut* next = tailContextAgrees && !fenceOpen && !lineOpen ? staleAfter(to) : nullptr;
        if (!tailAgrees)
            to = fenceOpen ? n : next ? next->at : std::min(n, partEnd(text, std::min(n, to + 3 * width + 64)));
    }
}

namespace {

// The bounds of a restyle read as the whole text, and the whole lines of a change in them.
struct ChangedLines {
    int lo, n, first, last;
};

ChangedLines changedLines(U16View text, Range changed, Range bounds)
{
    using namespace RestyleWindow;
    const int lo = std::clamp(bounds.location, 0, int(text.size()));
    const int n = std::clamp(bounds.end(), lo, int(text.size()));
    const int first = lineStart(text, std::clamp(changed.location, 0, int(text.size())));
    return {lo, n, first, nextLineStart(text, std::clamp(changed.end(), first, int(text.size())))};
}

} // namespace

bool MarkdownEditorCoordinator::restyleOpeningFence(TextView& view, TextStorage& storage, Range changed, Range selection,
                                                    Range bounds)
{
    using namespace RestyleWindow;
    Kept& kept = *kept_;
    if (kept.fenceLikeEdited || !kept.fencesRead || !kept.grids)
        return false;
    const U16View text = storage.string();
    // Only a fence-like line opens a block: the change must lie in the last one
    // starting before it, and a long line elsewhere is not searched for its ends.
    const auto fence = std::upper_bound(kept.fenceLike.begin(), kept.fenceLike.end(), changed.location);
    if (fence == kept.fenceLike.begin())
        return false;
    if (const int feed = TextOps::findUnit(text, u'\n', *std::prev(fence)); feed >= 0 && feed < changed.location)
        return false;
    const auto [lo, n, first, last] = changedLines(text, changed, bounds);
    // The changed line opens a block as before, in a language of the same name:
    // its body, and everything around, reads as before; the line alone changed.
    // Read with the body's first line after it, outside any grid: in an item or a
    // quotation, only where it reads so alone as well (see styledCodeLines()).
    const std::optional<CodeBody> block = CodeBodies::openedAt(kept.fences, first);
    if (!block || first < lo || block->codeStart != last || last > n || nextLineStart(text, first) != last
        || (*kept.grids && hasGrids(storage, Range::fromTo(first, nextLineStart(text, last)))))
        return false;
    const std::optional<TextStorage> piece
        = styledCodeLines(view, storage, first, Range::fromTo(last, nextLineStart(text, last)), selection);
    if (!piece)
        return false;
    copyBack(*piece, first, storage, 0, last - first);
    kept.readsAsBefore = last;
    return true;
}

namespace {

// The first place from `at` on in the direction `step` (1 or -1), within a few
// hundred characters, between a blank and an ASCII letter or digit, or the line's
// start (or the next line's); -1 when none.
int codeCut(U16View text, int at, int step)
{
    const int n = int(text.size());
    for (int i = std::clamp(at, 0, n), tries = 0; tries < 512; i += step, ++tries) {
        if (i <= 0 || text[size_t(i - 1)] == u'\n')
            return std::max(i, 0);
        if (i >= n)
            return n;
        if (text[size_t(i - 1)] == u' ' && CharacterClass::isAsciiAlphanumeric(text[size_t(i)]))
            return i;
    }
    return -1;
}

} // namespace

bool MarkdownEditorCoordinator::restyleCodeLines(TextView& view, TextStorage& storage, Range changed, Range selection,
                                                 Range bounds)
{
    using namespace RestyleWindow;
    Kept& kept = *kept_;
    // Without a fence there is no block to be in: a long line is not searched for its ends.
    if (kept.fenceLikeEdited || kept.fenceLike.empty())
        return false;
    const U16View text = storage.string();
    const auto [lo, n, first, last] = changedLines(text, changed, bounds);
    // The line above is code as the storage shows it (the opening fence or the
    // body) unless the lines are outside a block: most edits are.
    if (first <= lo || last > n || !ParagraphCuts::codeAt(storage, first - 1))
        return false;
    // Grid cells read as blank lines, fences in them as nothing.
    std::vector<int> scratch;
    const std::vector<int>& fences = kept.readableFences(scratch);
    if (*kept.grids && hasGrids(storage, Range::fromTo(first, last)))
        return false;
    const std::optional<CodeBody> body = CodeBodies::around(kept.fences, fences, first, last);
    using CodeHighlighter::Resumption;
    const Resumption resumes = body && body->language ? CodeHighlighter::resumption(*body->language)
                                                      : Resumption::afterUncoveredFeeds;
    if (!body || body->opener < lo || resumes == Resumption::blockStart)
        return false;
    if (resumes == Resumption::carriedState)
        return restyleCarriedCodeLines(view, storage, *body, Range::fromTo(first, last), selection, n);
    // The code's tokens start afresh after a line feed that none covers (its colour is
    // the text's) and that no backslash comes before; in some languages after every one.
    // A grid cell's line feed says nothing: its colour is the cell's, and the block
    // reads the grid as a table's lines, which the tokens may go on over.
    auto fresh = [&](const AttributedString& styled, int feed, int shift) {
        if (resumes == Resumption::everyLine)
            return true;
        return !(*kept.grids && ParagraphCuts::cellAt(storage, feed)) && codeAfreshAfter(styled, feed - shift, resumes);
    };
    // In a long line of a block without a language under an unindented fence, each
    // character reads alike wherever the line starts: the lines read are the parts
    // of the line around the change, from and to a place between a blank and a
    // letter or digit (which neither closes the fence nor indents).
    const int codeStart = nextLineStart(text, body->opener);
    if (!body->language && text[size_t(body->opener)] != u' ' && last - first > ParagraphCuts::longLine) {
        const int near = ParagraphCuts::linePart;
        const int from = changed.location - near <= first ? first : codeCut(text, changed.location - near, -1);
        const int to = changed.end() + near >= last ? last : codeCut(text, changed.end() + near, 1);
        const int headLength = codeStart - body->opener;
        const int offset = from - headLength;
        constexpr int witness = 16;
        const bool inLine = from >= first && to > from && to <= last
            && TextOps::findUnit(substring(text, Range::fromTo(from, to - 1)), u'\n') < 0;
        if (inLine && (from == first || from + witness <= changed.location) && (to == last || to - witness >= changed.end())) {
            const std::optional<TextStorage> piece
                = styledCodeLines(view, storage, body->opener, Range::fromTo(from, to), selection);
            if (piece && (from == first || agrees(*piece, offset, storage, Range{from, witness}))
                && (to == last || agrees(*piece, offset, storage, Range{to - witness, witness}))) {
                copyBack(*piece, offset, storage, headLength);
                kept.readsAsBefore = to;
                return true;
            }
        }
    }
    // Back to where they start afresh, as the storage shows the text above: as
    // before the edits, or restyled already, both as they read now.
    int from = first;
    while (from > codeStart && !fresh(storage, from - 1, 0))
        from = lineStart(text, from - 1);
    // The lines read after their opening fence alone read as in the whole text:
    // nothing in a fence's body hangs on the lines above it but the fence and the
    // tokens going on over a line feed, nothing outside it on the body.
    const int headLength = codeStart - body->opener;
    const int offset = from - headLength;
    for (int to = last;;) {
        const std::optional<TextStorage> piece = styledCodeLines(view, storage, body->opener, Range::fromTo(from, to), selection);
        if (!piece)
            return false;
        // Past the last line the tokens go on as before when they start afresh there
        // both before the edits and after them (the storage shows the former where
        // no edit came since).
        const bool unedited = !kept.dirty || !kept.dirty->contains(to - 1);
        if (to == body->end || (unedited && fresh(storage, to - 1, 0) && fresh(*piece, to - 1, offset))) {
            copyBack(*piece, offset, storage, headLength);
            kept.readsAsBefore = to;
            return true;
        }
        to = std::min(body->end, nextLineStart(text, std::min(int(text.size()), to + 3 * (to - from) + 64)));
        if (to > n)
            return false;
    }
}

std::optional<TextStorage> MarkdownEditorCoordinator::styledCodeLines(TextView& view, const TextStorage& storage,
                                                                       int opener, Range lines, Range selection)
{
    const U16View text = storage.string();
    const U16String head(substring(text, Range::fromTo(opener, RestyleWindow::nextLineStart(text, opener))));
    AttributedString joined(head, styler.baseAttributes());
    joined.append(storage.attributedSubstring(lines));
    TextStorage piece(joined);
    stylePiece(piece, lines.location - int(head.size()), selection, view);
    // A list item the fence goes on gives its lines the item's indents: its opening
    // line then reads otherwise alone.
    const ParagraphStyle* before = storage.paragraphStyle(opener);
    const ParagraphStyle* alone = piece.paragraphStyle(0);
    if (!before || !alone || !(*before == *alone))
        return std::nullopt;
    return piece;
}

bool MarkdownEditorCoordinator::restyleCarriedCodeLines(TextView& view, TextStorage& storage, const CodeBody& body,
                                                        Range lines, Range selection, int n)
{
    using namespace RestyleWindow;
    Kept& kept = *kept_;
    const U16View text = storage.string();
    CodeLineStates& states = kept.codeStates;
    // From the kept line before the edits to the first after them whose state is as
    // before; the whole body while none are kept, reading its states as it goes.
    std::optional<CodeLineStates::Reading> reading;
    if (states.holds(body.opener, *body.language))
        reading = states.reread(text, lines.location, lines.end(), body.end);
    const int codeStart = nextLineStart(text, body.opener);
    const int from = reading ? reading->from : codeStart;
    const int to = reading ? reading->to : body.end;
    if (to > n)
        return false;
    // The states are read from the text as it stands: a grid in the block reads
    // otherwise (as a table's lines), and none is in the lines read before.
    if (*kept.grids && hasGrids(storage, Range::fromTo(from, to)))
        return false;
    const int headLength = codeStart - body.opener;
    const std::optional<TextStorage> piece = styledCodeLines(view, storage, body.opener, Range::fromTo(from, to), selection);
    if (!piece)
        return false;
    copyBack(*piece, from - headLength, storage, headLength);
    if (reading)
        states.adopt(*reading, body.end);
    else
        states.read(text, body.opener, *body.language, codeStart, body.end);
    kept.readsAsBefore = to;
    return true;
}

bool MarkdownEditorCoordinator::restyleIndentedCodeLines(TextView& view, TextStorage& storage, Range changed,
                                                         Range selection, Range bounds)
{
    using namespace RestyleWindow;
    using ParagraphCuts::codeAt;
    Kept& kept = *kept_;
    // A fence changed, or a definition, reads otherwise far away.
    if (kept.fenceLikeEdited || kept.definitionsTouched)
        return false;
    // Code next to the change as the storage shows it (before the indentation, when
    // the edit follows it), or the edit is not in a block (nor is a long line searched
    // for its ends).
    const U16View text = storage.string();
    int before = std::min(changed.location, int(text.size())) - 1;
    for (int count = 0; before >= 0 && count < 64 && (text[size_t(before)] == u' ' || text[size_t(before)] == u'\t');
         ++count)
        --before;
    if (!codeAt(storage, before) && !codeAt(storage, changed.end()))
        return false;
    const auto [lo, n, first, last] = changedLines(text, changed, bounds);
    auto lineAt = [&](int start) { return substring(text, Range::fromTo(start, nextLineStart(text, start))); };
    auto blank = [&](U16View line) { return isBlank(line, TrimSet::WhitespaceAndNewlines); };
    auto indented = [&](U16View line) { return MarkdownSyntax::indentWidth(line) >= 4; };
    // The lines the edits touched are all blank or indented: inside an indented
    // block they neither end it nor start another.
    if (first < lo || first >= last)
        return false;
    for (int p = first; p < last; p = nextLineStart(text, p))
        if (!blank(lineAt(p)) && !indented(lineAt(p)))
            return false;
    // Above them, over blank lines, an indented line the storage shows as code: it
    // reads so whatever follows. Or the block starts with them: the line above is
    // blank and outside it, and their first line was code before the edits (its
    // line feed, which they left, says so).
    constexpr int reach = 64;
    int from = first;
    // Where the block starts with them, the last line with text above the blank
    // lines over it is read first, as the whole text reads it: a list item it goes
    // on from would take the block in.
    int above = -1;
    const bool startsBlock = first == 0 || !codeAt(storage, first - 1);
    if (startsBlock) {
        const bool feedKept = text[size_t(last - 1)] == u'\n' && !(kept.dirty && kept.dirty->contains(last - 1));
        if (blank(lineAt(first)) || !feedKept || !codeAt(storage, last - 1)
            || (first > 0 && !blank(lineAt(lineStart(text, first - 1)))))
            return false;
        for (int p = first, count = 0; p > 0 && above < 0; ++count) {
            p = lineStart(text, p - 1);
            if (count > reach || p < lo)
                return false;
            if (!blank(lineAt(p)))
                above = p;
        }
        if (above >= 0)
            from = above;
    } else {
        from = lineStart(text, first - 1);
        for (int count = 0; blank(lineAt(from)); from = lineStart(text, from - 1))
            if (++count > reach || from <= lo || !codeAt(storage, from))
                return false;
        if (from < lo || !codeAt(storage, from) || !indented(lineAt(from)))
            return false;
    }
    // Below them, over blank lines and piped ones, another indented line without a
    // pipe (a table row run from above stops at it) that was code before: the block
    // goes on over both as before, and the text after it reads as before. Or the
    // block runs to the text's end, or ends at a line with text, unindented, no item
    // nor fence, which starts afresh under code, as after an empty line.
    int end = last;
    for (int count = 0; end < n && (blank(lineAt(end)) || lineAt(end).find(u'|') != U16View::npos);
         end = nextLineStart(text, end))
        if (++count > reach || !(blank(lineAt(end)) || indented(lineAt(end))))
            return false;
    const bool runsToEnd = end >= int(text.size());
    const U16View below = runsToEnd ? U16View() : lineAt(end);
    // It read so before the edits too: an empty line they left alone comes before it,
    // or the line feed of the last line they touched, which they left, shows code.
    const bool freshBefore = end > last || (!(kept.dirty && kept.dirty->contains(end - 1)) && codeAt(storage, end - 1));
    const bool endsBelow = !runsToEnd && freshBefore && !blank(below) && below.front() != u' ' && below.front() != u'\t'
        && !MarkdownSyntax::matchList(below) && !looksLikeFence(text, end) && !ParagraphCuts::opaqueAt(storage, end);
    const int to = runsToEnd ? int(text.size()) : endsBelow ? end : nextLineStart(text, end);
    if (to > n
        || (!runsToEnd && !endsBelow && (text[size_t(to - 1)] != u'\n' || !codeAt(storage, end) || !indented(lineAt(end)))))
        return false;
    // The list scanner knows nothing of indented code: a line that reads as an item
    // to it gives the lines after it the item's indents, as far as the item goes.
    for (int p = from; p < to; p = nextLineStart(text, p))
        if (MarkdownSyntax::matchList(lineAt(p)))
            return false;
    // Not the body of a fence: no fence-like line among them, and none open around them.
    const auto fence = std::lower_bound(kept.fenceLike.begin(), kept.fenceLike.end(), from);
    if (fence != kept.fenceLike.end() && *fence < to)
        return false;
    std::vector<int> scratch;
    const std::vector<int>& fences = kept.readableFences(scratch);
    if (*kept.grids && hasGrids(storage, Range::fromTo(from, to)))
        return false;
    if (!kept.fenceLike.empty() && (!CodeBodies::knows(kept.fences, to) || CodeBodies::around(kept.fences, fences, from, to)))
        return false;
    // Read between two more lines of the block, so that none of them is its first or
    // last where it is not; the outer ones must read as the storage has them (not as
    // a list item's lines, nor a heading's).
    const U16String head = startsBlock ? U16String() : U16String(u"    x\n");
    const int offset = from - int(head.size());
    AttributedString joined(head, styler.baseAttributes());
    joined.append(storage.attributedSubstring(Range::fromTo(from, to)));
    if (!runsToEnd && !endsBelow)
        joined.append(AttributedString(u"    x\n", styler.baseAttributes()));
    TextStorage piece(joined);
    stylePiece(piece, offset, selection, view);
    const bool headAgrees = startsBlock ? agrees(piece, offset, storage, Range{last - 1, 1})
            && (above < 0 || agrees(piece, offset, storage, Range::fromTo(above, nextLineStart(text, above))))
                                        : agrees(piece, offset, storage, Range::fromTo(from, nextLineStart(text, from)));
    if (!headAgrees || (!runsToEnd && !endsBelow && !agrees(piece, offset, storage, Range::fromTo(end, to))))
        return false;
    const int skip = int(head.size()) + (startsBlock ? first - from : 0);
    copyBack(piece.attributedSubstring(Range{0, int(head.size()) + to - from}), offset, storage, skip);
    kept.readsAsBefore = to;
    return true;
}

namespace {

// Whether every character of `range` lies in a cell of `table`.
bool allCellsOf(const AttributedString& storage, Range range, const TextTable* table)
{
    for (int i = range.location; i < range.end();) {
        Range run;
        const ParagraphStyle* style = storage.attributes(i, &run).paragraphStyle();
        const TextTableBlock* cell = style ? style->tableBlock() : nullptr;
        if (!cell || cell->table().get() != table)
            return false;
        i = run.end();
    }
    return true;
}

// Whether the cells of `table` around `range` (inclusive) come to `needed` units:
// a grid that short stands in for its rows otherwise in the block scan.
bool gridReaches(const AttributedString& storage, Range range, const TextTable* table, int needed)
{
    int units = range.length;
    for (int i = range.location - 1; i >= 0 && units < needed;) {
        Range run;
        const ParagraphStyle* style = storage.attributes(i, &run).paragraphStyle();
        const TextTableBlock* cell = style ? style->tableBlock() : nullptr;
        if (!cell || cell->table().get() != table)
            break;
        units += i + 1 - run.location;
        i = run.location - 1;
    }
    for (int i = range.end(); i < storage.length() && units < needed;) {
        Range run;
        const ParagraphStyle* style = storage.attributes(i, &run).paragraphStyle();
        const TextTableBlock* cell = style ? style->tableBlock() : nullptr;
        if (!cell || cell->table().get() != table)
            break;
        units += run.end() - i;
        i = run.end();
    }
    return units >= needed;
}

} // namespace

bool MarkdownEditorCoordinator::restyleCells(TextView& view, TextStorage& storage, Range changed, Range selection,
                                             Range bounds)
{
    using namespace RestyleWindow;
    Kept& kept = *kept_;
    if (kept.grids == false)
        return false;
    const U16View text = storage.string();
    const auto [lo, n, first, last] = changedLines(text, changed, bounds);
    // A cell is inline text of its own: the block scan reads its grid as the bare
    // shape of a table, whatever the cells hold, and every cell's paragraphs are
    // read alone with the text's definitions (which no cell holds). So cells
    // between two unedited cells of one grid read as they would in the whole text,
    // while the grid keeps its shape: it holds the same table's cells on both
    // sides, and is long enough before the edit and after it to read as a table.
    if (first <= lo || last >= n || first >= last)
        return false;
    const TextTable* table = cellTable(storage, first - 1);
    if (!table || cellTable(storage, last) != table || !allCellsOf(storage, Range::fromTo(first, last), table)
        || !gridReaches(storage, Range::fromTo(first - 1, last + 1), table, 8 + std::max(changed.length, last - first)))
        return false;
    TextStorage piece(storage.attributedSubstring(Range::fromTo(first, last)));
    stylePiece(piece, first, selection, view);
    copyBack(piece, first, storage, 0);
    kept.readsAsBefore = last;
    return true;
}

void MarkdownEditorCoordinator::settleCuts(const TextStorage& storage, int lo, int at)
{
    using namespace RestyleWindow;
    using namespace ParagraphCuts;
    // About this many characters apart: a stretch inside a paragraph reads that much
    // more than its lines, and finding the places reads the paragraph once.
    constexpr int spacing = 4096;
    // A delimiter still looking on after a piece this long is carried past the
    // place as open, rather than the piece growing on to close it.
    constexpr int carryFrom = 4 * spacing;
    Kept& kept = *kept_;
    const U16View text = storage.string();
    LineReader lines(storage);
    auto known = std::upper_bound(kept.cuts.begin(), kept.cuts.end(), at,
                                  [](int p, const ParagraphCut& cut) { return p < cut.at; });
    while (known != kept.cuts.begin() && std::prev(known)->stale)
        --known;
    std::optional<ParagraphCut> last;
    if (known != kept.cuts.begin()) {
        const ParagraphCut& cut = *std::prev(known);
        const bool stands = text[size_t(cut.at - 1)] == u'\n' ? paragraphCut(storage, cut.at) : midLineCut(storage, cut.at);
        if (!stands || !lines.ticksStayOpen(cut.at, cut.ticks)) {
            const int gone = cut.at;
            std::erase_if(kept.cuts, [gone](const ParagraphCut& other) { return other.at >= gone; });
        }
        else if (cut.at >= lo)
            last = cut;
    }
    if (last && at - last->at <= 2 * spacing)
        return;
    // From the last place known, or else from the paragraph's start.
    const bool sameLine = last && text.substr(0, size_t(at)).find(u'\n', size_t(last->at)) == U16View::npos;
    int begin = sameLine ? last->at : lineStart(text, at);
    while (begin > lo && !(last && last->at >= begin)
           && (opaqueAt(storage, begin) || opaqueAt(storage, begin - 1) || looksLikeFence(text, begin)
               || !(blockEdge(text, begin) || edgeOfPipedLines(storage, kept.dirty, begin)))) {
        // A stretch there starts in the grid above, after a few of its cells: no place is needed.
        if (kept.gridTailAt(begin, lo))
            return;
        begin = std::max(lo, lineStart(text, begin - 1));
    }
    ParagraphCut from{begin};
    from.bare = opensBareParagraph(text, begin);
    if (last && last->at >= begin)
        from = *last;
    else if (opensItem(substring(text, Range::fromTo(begin, nextLineStart(text, begin)))))
        from.item = begin;
    // Each piece from one place to another about `spacing` on: when its scan is
    // settled there (but for delimiters it carries), that is a place too; else the
    // piece grows, twice as long each time.
    std::vector<ParagraphCut> found;
    // Inside a line the scan settles again only past a character that may close
    // what is open: a few such are tried for each place, before the piece grows.
    constexpr int closersTried = 8;
    int tries = 0;
    int to = -1;  // the place to try next, when one is chosen
    for (int length = spacing; at - from.at > spacing;) {
        if (to < 0)
            to = lines.nextPlace(std::min(at, from.at + length) - 1);
        while (to < at && !lines.cutsAt(to))
            to = lines.nextPlace(to);
        if (to >= at)
            break;
        const U16View between = substring(text, Range::fromTo(from.at, to));
        // A delimiter carried open is closed by the next like it: no place after that is known.
        const U16String head = context(text, from);
        const std::optional<unsigned> carried
            = from.open && MarkdownSyntax::holdsDelimiters(between, from.open)
                  ? MarkdownSyntax::waitingAfter(head, between, from.open, kept.definitions)
                  : std::optional<unsigned>(from.open);
        if (!carried)
            break;
        const U16String piece = head + U16String(between);
        unsigned opened = 0;
        const unsigned open = MarkdownSyntax::paragraphRunningDelimiters(piece, kept.definitions, &opened);
        int ticks = between.find(u'\n') == U16View::npos ? from.ticks : 0;
        const bool lineOpen = text[size_t(to - 1)] != u'\n' && lines.runsOn(lastLine(piece), to, ticks);
        if (lineOpen || (open && length < carryFrom)) {
            const int closer = text[size_t(to - 1)] != u'\n' ? nextCloser(text, to, open, lineOpen) : -1;
            if (closer >= 0 && ++tries <= closersTried) {
                to = lines.nextPlace(closer);
                continue;
            }
            to = -1;
            length *= 2;
            continue;
        }
        found.push_back(ParagraphCut{to, *carried | open, (*carried & from.unenclosed) | opened,
                                     lazyItem(text, from.at, to, from.item), false, ticks});
        found.back().leader = lines.leader(to);
        found.back().bare = staysBare(text, from.at, to, from.bare);
        from = found.back();
        length = spacing;
        tries = 0;
        to = -1;
    }
    if (found.empty())
        return;
    std::erase_if(kept.cuts, [&](const ParagraphCut& cut) { return cut.stale && cut.at <= found.back().at; });
    kept.cuts.insert(kept.cuts.end(), found.begin(), found.end());
    std::sort(kept.cuts.begin(), kept.cuts.end(),
              [](const ParagraphCut& a, const ParagraphCut& b) { return a.at < b.at; });
    kept.cuts.erase(std::unique(kept.cuts.begin(), kept.cuts.end(),
                                [](const ParagraphCut& a, const ParagraphCut& b) { return a.at == b.at; }),
                    kept.cuts.end());
}

void MarkdownEditorCoordinator::settleCutsAhead(const TextStorage& storage, Range selection)
{
    // Only over a text styled whole as it stands: places read now are what the
    // text read as before the next edit.
    if (!kept_ || !kept_->valid || kept_->storage != &storage || kept_->dirty || kept_->unstyled)
        return;
    // Within the caret's paragraph only, and not from code or a grid: a stretch after
    // an edit there ends inside no other, and the way back from a place in a long
    // block would cost as much as the block.
    using namespace RestyleWindow;
    const U16View text = storage.string();
    const int n = int(text.size());
    const int caret = std::min(selection.end(), n);
    if (n == 0 || ParagraphCuts::opaqueAt(storage, std::min(caret, n - 1)))
        return;
    const int limit = std::min(n, caret + 16384);
    int end = nextLineStart(text, caret);
    while (end < limit && !ParagraphCuts::opaqueAt(storage, end) && !looksLikeFence(text, end)
           && !ParagraphCuts::blockEdge(text, end) && !edgeOfPipedLines(storage, kept_->dirty, end))
        end = nextLineStart(text, end);
    // A paragraph ending this near is read to its end at little cost.
    if (std::min(end, limit) - caret <= 8192)
        return;
    settleCuts(storage, 0, std::min(end, limit));
}

void MarkdownEditorCoordinator::styleThrough(TextView& view, TextStorage& storage, int through)
{
    using namespace RestyleWindow;
    Kept& kept = *kept_;
    const Range selection = view.selectedRange();
    while (kept.unstyled) {
        const U16View text = storage.string();
        const int n = int(text.size());
        // A step starts where the text starts afresh, outside code and grids as
        // styled so far (an edit may have changed what stood before the unstyled part),
        // or where the last one ended in a fenced block's body, the tokens still
        // starting afresh there as the text before reads: the body from there reads
        // after the opening fence alone as in the whole text.
        int from = lineStart(text, std::min(*kept.unstyled, n));
        // Steps that reach the island go on after it, as its last step ended.
        if (kept.island && from == kept.island->location) {
            kept.unstyled = kept.island->end();
            kept.codeResume.reset();
            kept.listResume.reset();
            if (kept.islandEnd == Kept::Resume::code)
                kept.codeResume = kept.island->end();
            else if (kept.islandEnd == Kept::Resume::list)
                kept.listResume = kept.island->end();
            kept.island.reset();
            if (*kept.unstyled >= n) {
                kept.unstyled = n;
                from = n;
            } else {
                continue;
            }
        }
        // Past a block only recoloured the text reads as it was styled.
        if (kept.styledFrom && from >= *kept.styledFrom && !kept.stylingIsland) {
            kept.styledFrom.reset();
            kept.codeResume.reset();
            kept.listResume.reset();
            kept.island.reset();
            if (stepEnded(n, n, through))
                break;
            continue;
        }
        std::optional<CodeBody> resumed;
        if (kept.codeResume == from)
            resumed = kept.codeStepBody(from);
        if (resumed && !codeAfreshAfter(storage, from - 1, Kept::codeResumption(*resumed)))
            resumed.reset();
        // Where the text does not read on in code, no step ends in code again (each would start further back and end there).
        const int refused = kept.codeResume == from && !resumed ? from : -1;
        kept.codeResume.reset();
        // Or before an item of a long list, as the text before reads.
        const bool inList = !resumed && kept.listResume == from && kept.listCutAt(from)
            && !ParagraphCuts::opaqueAt(storage, from - 1);
        kept.listResume.reset();
        while (!resumed && !inList && from > 0 && !kept.stepStartsAt(from))
            from = lineStart(text, from - 1);
        // After its opening fence's line, or the lines from above it that read it in its item or quotation.
        const int headStart = resumed ? kept.codeHead(*resumed) : 0;
        const int head = resumed ? nextLineStart(text, resumed->opener) - headStart : 0;
        const AttributedString opening
            = resumed ? storage.attributedSubstring(Range{headStart, head}) : AttributedString();
        // Its opening fence reads so as in the whole text; one styled at another
        // size yet, with no indent in both.
        auto openingAlike = [&](const AttributedString& piece) {
            const ParagraphStyle* before = storage.paragraphStyle(resumed->opener);
            const ParagraphStyle* alone = piece.paragraphStyle(resumed->opener - headStart);
            auto flush = [](const ParagraphStyle& style) { return style.headIndent == 0 && style.firstLineHeadIndent == 0; };
            return before && alone && (*before == *alone || (kept.colorsRead && flush(*before) && flush(*alone)));
        };
        // It ends at such a place again, with no fence left open, and takes in a
        // stretch styled ahead once it reaches it (or ends where it starts).
        const int reach = std::min(n, std::max(from + stepLength, *kept.unstyled));
        // Looked for no further than a few steps, at first.
        const int limit = std::min(n, reach + 4 * stepLength);
        int to = from >= n ? n : kept.stepEnd(from, reach, limit);
        // But a step that would run on through a long fenced block's body ends in it,
        // at the last line in reach (or the body's first) where the tokens start
        // afresh, read so from the step's start; one that would run on through a long
        // list, at its first item in reach that may start a step.
        auto cutAt = [&](TextStorage& piece, int cut, bool code) {
            if ((kept.island && kept.island->location < cut) || (code && cut <= refused))
                return false;
            copyBack(piece, from - head, storage, head, cut - from + head);
            kept.unstyled = cut;
            (code ? kept.codeResume : kept.listResume) = cut;
            return true;
        };
        bool cutMade = false;
        for (int round = 0; round < 2 && !cutMade && from < n; ++round) {
            if (round == 1) {
                if (to < limit || limit >= n)
                    break;
                to = kept.stepEnd(from, reach);
            }
            std::optional<CodeBody> body;
            int codeReach = lineStart(text, reach);
            {
                // The first block the step runs into past its reach (a step resumed in one
                // has the rest of it first).
                const int start = resumed ? resumed->opener : from;
                auto block = std::partition_point(kept.fences.blocks.begin(), kept.fences.blocks.end(),
                                                  [&](const CodeBody& b) { return b.opener < start; });
                for (; block != kept.fences.blocks.end() && block->opener < to; ++block) {
                    int at = std::max({codeReach, nextLineStart(text, block->codeStart), nextLineStart(text, from)});
                    // Not past an island in the block: the step ends where it starts.
                    if (kept.island && kept.island->location > from && kept.island->location < at)
                        at = kept.island->location;
                    if (at < block->end) {
                        codeReach = at;
                        body = kept.codeStepBody(codeReach);
                        break;
                    }
                }
            }
            if (body) {
                // Twice as far each time while no line feed in reach is left uncovered.
                int cut = -1;
                for (;;) {
                    TextStorage piece(opening);
                    piece.append(storage.attributedSubstring(Range::fromTo(from, codeReach)));
                    stylePiece(piece, from - head, selection, view);
                    cut = codeReach;
                    while (cut > std::max(from, body->codeStart)
                           && !codeAfreshAfter(piece, cut - 1 - from + head, Kept::codeResumption(*body)))
                        cut = lineStart(text, cut - 1);
                    if (cut > std::max(from, body->codeStart)) {
                        if ((resumed && !openingAlike(piece)) || !cutAt(piece, cut, true))
                            cut = -1;
                        break;
                    }
                    cut = -1;
                    const int further = nextLineStart(text, std::min(n, codeReach + 2 * (codeReach - from)));
                    if (further >= body->end)
                        break;
                    codeReach = further;
                }
                cutMade = cut >= 0;
            } else if (to > reach) {
                // Not while a fence or code in the item before goes on: a few tries, up to
                // an island in the list at most.
                int cut = std::max(lineStart(text, reach), nextLineStart(text, from));
                const bool islandAhead = kept.island && kept.island->location > from;
                if (islandAhead && kept.island->location < cut)
                    cut = kept.island->location;
                const int searched = islandAhead ? std::min(to, kept.island->location + 1) : to;
                bool made = false;
                for (int tries = 0; tries < 4 && !made; ++tries, cut = nextLineStart(text, cut)) {
                    while (cut < searched && !(kept.listCutAt(cut) && !looksLikeFence(text, lineStart(text, cut - 1))))
                        cut = nextLineStart(text, cut);
                    if (cut >= searched)
                        break;
                    TextStorage piece(opening);
                    piece.append(storage.attributedSubstring(Range::fromTo(from, cut)));
                    stylePiece(piece, from - head, selection, view);
                    made = !ParagraphCuts::opaqueAt(piece, cut - 1 - from + head) && (!resumed || openingAlike(piece))
                        && cutAt(piece, cut, false);
                }
                cutMade = made;
            }
        }
        if (cutMade) {
            if (*kept.unstyled > through)
                break;
            continue;
        }
        TextStorage piece;
        if (from >= n) {
            to = n;
        } else if (kept.island && to >= kept.island->location) {
            // Up to the island where no fence is left open there, or on over it.
            int upTo = kept.island->location;
            if (upTo > from)
                piece = pieceWithoutOpenFence(storage, from, upTo, opening);
            if (upTo > from && upTo == kept.island->location) {
                to = upTo;
            } else {
                to = std::max(to, kept.stepEnd(from, kept.island->end() - 1));
                kept.island.reset();
                piece = pieceWithoutOpenFence(storage, from, to, opening);
            }
        } else {
            piece = pieceWithoutOpenFence(storage, from, to, opening);
        }
        if (from < n) {
            stylePiece(piece, from - head, selection, view);
            if (resumed && !openingAlike(piece)) {
                kept.unstyled = from;  // read again from where the text starts afresh, through the block
                kept.codeRefused = resumed->opener;
                continue;
            }
            copyBack(piece, from - head, storage, head);
        }
        if (stepEnded(to, n, through))
            break;
    }
}

bool MarkdownEditorCoordinator::stepEnded(int to, int n, int through)
{
    Kept& kept = *kept_;
    if (to < n) {
        kept.unstyled = to;
    } else if (!kept.definitionsCurrent && !kept.stylingIsland) {
        // An edit made meanwhile may have changed what references anywhere
        // mean: if it did, once more with the new definitions.
        MarkdownSyntax::Definitions now = wholeDefinitions(*kept.storage);
        const bool same = now == kept.definitions;
        kept.definitions = std::move(now);
        kept.definitionsCurrent = true;
        if (!same)
            kept.cuts.clear();
        kept.unstyled = same ? std::nullopt : std::optional<int>(0);
        if (!same)
            return true;
    } else {
        kept.unstyled.reset();
    }
    if (!kept.unstyled && !kept.stylingIsland)
        kept.colorsRead = true;
    return to > through;
}

bool MarkdownEditorCoordinator::styleAhead(TextView& view, double milliseconds)
{
    TextStorage* storage = view.textStorage();
    if (!storage || !kept_ || kept_->storage != storage || !kept_->unstyled)
        return true;
    if (view.hasMarkedText())
        return false;
    Kept& kept = *kept_;
    if (!kept.valid) {
        restyle(view);
        return !kept.unstyled;
    }
    QElapsedTimer clock;
    clock.start();
    kept.restyling = true;
    storage->beginEditing();
    do
        styleThrough(view, *storage, *kept.unstyled);
    while (kept.unstyled && double(clock.nsecsElapsed()) < milliseconds * 1e6);
    storage->endEditing();
    kept.restyling = false;
    return !kept.unstyled;
}

bool MarkdownEditorCoordinator::hasRestyled(TextView& view) const
{
    return kept_ && kept_->valid && kept_->storage == view.textStorage();
}

std::optional<int> MarkdownEditorCoordinator::unstyledFrom() const
{
    return kept_ ? kept_->unstyled : std::nullopt;
}

std::optional<int> MarkdownEditorCoordinator::textViewRestylesFrom(TextView& view)
{
    // The steps style the text from there on soon.
    return kept_ && kept_->storage == view.textStorage() ? kept_->unstyled : std::nullopt;
}

std::optional<Range> MarkdownEditorCoordinator::styledAhead() const
{
    return kept_ ? kept_->island : std::nullopt;
}

void MarkdownEditorCoordinator::styleAround(TextView& view, Range range)
{
    TextStorage* storage = view.textStorage();
    if (!storage || !kept_ || kept_->storage != storage || !kept_->valid || !kept_->unstyled || view.hasMarkedText())
        return;
    Kept& kept = *kept_;
    kept.restyling = true;
    storage->beginEditing();
    styleIsland(view, *storage, range);
    storage->endEditing();
    kept.restyling = false;
}

void MarkdownEditorCoordinator::styleIsland(TextView& view, TextStorage& storage, Range range)
{
    using namespace RestyleWindow;
    Kept& kept = *kept_;
    const U16View text = storage.string();
    const int n = int(text.size());
    if (!kept.unstyled || (kept.island && kept.island->location <= range.location && range.end() <= kept.island->end()))
        return;
    // Near where the steps stand, they reach it soon enough.
    const int frontier = lineStart(text, std::min(*kept.unstyled, n));
    if (range.location < frontier + stepLength)
        return;
    // It starts where the text starts afresh, before an item of a long list that
    // may start a step, or (while the colours are the whole text's) in a long
    // fenced block's body where its tokens start afresh.
    int from = lineStart(text, std::min(range.location, n));
    Kept::Resume kind = Kept::Resume::afresh;
    for (; from > frontier; from = lineStart(text, from - 1)) {
        if (kept.stepStartsAt(from, true))
            break;
        if (kept.listCutAt(from)) {
            kind = Kept::Resume::list;
            break;
        }
        if (const auto body = kept.colorsRead ? kept.codeStepBody(from) : std::nullopt;
            body && codeAfreshAfter(storage, from - 1, Kept::codeResumption(*body))) {
            kind = Kept::Resume::code;
            break;
        }
    }
    if (from <= frontier)
        return;
    if (kind != Kept::Resume::code) {
        // The text starts afresh there as a whole only if it does where the steps
        // stand (or reads on there as it did) and no fence opened in between is still open.
        // (After the opening fence, where the steps stand in a fenced block's body.)
        std::optional<CodeBody> inBody;
        if (kept.codeResume == frontier)
            inBody = kept.codeStepBody(frontier);
        const bool clean = kept.stepStartsAt(frontier) || (kept.listResume == frontier && kept.listCutAt(frontier))
            || (inBody && codeAfreshAfter(storage, frontier - 1, Kept::codeResumption(*inBody)));
        if (!clean)
            return;
        // Cells open and close no fence: the text is read up to the grid `from` stands in.
        const int read = kept.startOfCellsBefore(from);
        AttributedString between = inBody ? storage.attributedSubstring(Range::fromTo(inBody->opener, inBody->codeStart))
                                          : AttributedString();
        between.append(storage.attributedSubstring(Range::fromTo(frontier, std::max(frontier, read))));
        if (read > frontier && fenceOpenAtEnd(between))
            return;
    }
    // Styled in steps from there, as the steps style it, through the range.
    const std::optional<int> unstyled = kept.unstyled, codeResume = kept.codeResume, listResume = kept.listResume;
    kept.island.reset();
    kept.unstyled = from;
    kept.codeResume = kind == Kept::Resume::code ? std::optional<int>(from) : std::nullopt;
    kept.listResume = kind == Kept::Resume::list ? std::optional<int>(from) : std::nullopt;
    // Steps as long as the range: no longer than what shows.
    kept.stylingIsland = true;
    const int steps = stepLength;
    stepLength = std::max(1, range.end() - from);
    styleThrough(view, storage, std::max(range.end(), from + 1));
    stepLength = steps;
    kept.stylingIsland = false;
    const int end = kept.unstyled.value_or(n);
    kept.island = Range::fromTo(from, end);
    kept.islandStart = kind;
    kept.islandEnd = kept.codeResume == end ? Kept::Resume::code
        : kept.listResume == end          ? Kept::Resume::list
                                          : Kept::Resume::afresh;
    kept.unstyled = unstyled;
    kept.codeResume = codeResume;
    kept.listResume = listResume;
}

void MarkdownEditorCoordinator::runLater(TextView& view, bool MarkdownEditorCoordinator::*scheduled,
                                         void (MarkdownEditorCoordinator::*work)(TextView&), int milliseconds)
{
    if (this->*scheduled)
        return;
    this->*scheduled = true;
    std::weak_ptr<MarkdownEditorCoordinator> weak = weak_from_this();
    QPointer<TextView> weakView(&view);
    QTimer::singleShot(milliseconds, &view, [weak, weakView, scheduled, work] {
        const auto coordinator = weak.lock();
        if (!coordinator || !weakView)
            return;
        (*coordinator).*scheduled = false;
        ((*coordinator).*work)(*weakView);
    });
}

void MarkdownEditorCoordinator::scheduleStyleAhead(TextView& view)
{
    runLater(view, &MarkdownEditorCoordinator::styleAheadScheduled, &MarkdownEditorCoordinator::styleAheadSlice);
}

void MarkdownEditorCoordinator::styleAheadSlice(TextView& view)
{
    // Styled lines take new heights: a caret in sight stays in sight.
    auto caretShown = [&view] {
        const Range selection = view.selectedRange();
        if (selection.length != 0 || !view.layoutManager())
            return false;
        const QRectF visible = view.visibleContainerRect();
        const QRectF caret = view.layoutManager()->caretRect(selection.location);
        return caret.top() >= visible.top() && caret.bottom() <= visible.bottom();
    };
    const bool shown = caretShown();
    // What the window shows, when the steps have not reached it, is styled first.
    if (view.isVisible())
        styleAround(view, shownRange(view));
    // While keys keep changing the text the steps wait, as the next key may
    // change what they would style again (the language of a long block, say).
    const auto typed = std::chrono::steady_clock::now() - kept_->typed;
    if (kept_->storage == view.textStorage() && typed < typingPause) {
        runLater(view, &MarkdownEditorCoordinator::styleAheadScheduled, &MarkdownEditorCoordinator::styleAheadSlice,
                 int(std::chrono::duration_cast<std::chrono::milliseconds>(typingPause - typed).count()) + 1);
        return;
    }
    // In slices short enough that typing and scrolling meanwhile keep their pace.
    if (!styleAhead(view, 5))
        scheduleStyleAhead(view);
    else
        learnWrittenText(view);
    if (shown && !caretShown())
        view.scrollRangeToVisible(view.selectedRange());
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
        const double height = shownHeight(storage, line.location, *key, width);
        if (line.length >= 1 && enclosing.end() <= storage.length()) {
            ImageBlock::collapseLine(storage, line, enclosing, *key, alt, height);
        }
        // A picture loaded before is sized already; drawing loads its pixels again when it shows.
        if (!ImageCache::pictureSize(*key) && !ImageCache::hasFailed(*key))
            ImageCache::ensureLoaded(url, document, [weak, weakView, key = *key] {
                const auto coordinator = weak.lock();
                if (coordinator && weakView)
                    coordinator->pictureLoaded(*weakView, key, std::nullopt);
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

double MarkdownEditorCoordinator::shownHeight(const TextStorage& storage, int location, const std::string& key,
                                              double width)
{
    double available = width;
    if (const TextTableBlock* cell = TableGrid::cellBlock(storage, location))
        available = TableGrid::cellContentWidth(*cell, width);
    return ImageBlock::displaySize(ImageCache::shownSize(key), available).height();
}

void MarkdownEditorCoordinator::fitPictureLine(TextStorage& storage, Range line, const std::string& key, double width)
{
    const double height = shownHeight(storage, line.location, key, width);
    const ParagraphStyle* style = storage.paragraphStyle(line.location);
    if (!style || style->minimumLineHeight != height || style->maximumLineHeight != height)
        ImageBlock::setCollapsedHeight(storage, line, height);
}

namespace {

// Calls `each` with every collapsed picture line (whole, with its terminator) that
// starts from `from` on and before `to`, and its picture's key. `each` may change
// attributes, never characters.
template <class Each>
void forPictureLines(const TextStorage& storage, int from, int to, Each each)
{
    const U16View text = storage.string();
    for (size_t at = text.find(u"![", size_t(from)); at != U16View::npos && int(at) < to;) {
        const Range line = lineRange(text, Range{int(at), 0});
        if (auto mark = storage.marker<CollapsedImage>(AttributeKey::CollapsedImage, line.location))
            each(line, mark->key);
        at = line.end() < int(text.size()) ? text.find(u"![", size_t(line.end())) : U16View::npos;
    }
}

} // namespace

void MarkdownEditorCoordinator::fitPictureLines(TextStorage& storage, double width,
                                                const std::unordered_set<std::string>* keys)
{
    forPictureLines(storage, 0, storage.length(), [&](Range line, const std::string& key) {
        if (!keys || keys->count(key))
            fitPictureLine(storage, line, key, width);
    });
}

void MarkdownEditorCoordinator::readLoadingPictures(TextStorage& storage, const std::unordered_set<std::string>& settled)
{
    Kept& kept = *kept_;
    if (!kept.unreadPictures)
        return;
    const U16View text = storage.string();
    const int from = RestyleWindow::lineStart(text, std::min(kept.unreadPictures->location, int(text.size())));
    const int to = RestyleWindow::nextLineStart(text, std::min(kept.unreadPictures->end(), int(text.size())));
    kept.unreadPictures.reset();
    for (auto it = kept.loadingPictures.begin(); it != kept.loadingPictures.end();) {
        std::erase_if(it->second, [&](int place) { return place >= from && place < to; });
        it = it->second.empty() ? kept.loadingPictures.erase(it) : std::next(it);
    }
    forPictureLines(storage, from, to, [&](Range line, const std::string& key) {
        if (ImageCache::isLoading(key) || settled.count(key))
            kept.loadingPictures[key].push_back(line.location);
    });
}

void MarkdownEditorCoordinator::pictureLoaded(TextView& view, const std::string& key, std::optional<QSizeF> shownBefore)
{
    // A first load that failed leaves the placeholder's height, and a picture let
    // go comes back at the size it had: only the lines of the others change height.
    if (!shownBefore)
        loadedKeys.insert(key);
    else if (ImageCache::shownSize(key) != *shownBefore)
        reloadedKeys.insert(key);
    runLater(view, &MarkdownEditorCoordinator::reloadScheduled, &MarkdownEditorCoordinator::restyleImageLines);
}

void MarkdownEditorCoordinator::restyleImageLines(TextView& view)
{
    TextStorage* storage = view.textStorage();
    std::unordered_set<std::string> loaded, reloaded;
    loaded.swap(loadedKeys);
    reloaded.swap(reloadedKeys);
    if (!storage || view.hasMarkedText())
        return;
    const bool resized = !reloaded.empty()
        || std::ranges::any_of(loaded, [](const std::string& key) { return ImageCache::pictureSize(key).has_value(); });
    if (!kept_ || !kept_->valid || kept_->storage != storage || kept_->dirty) {
        if (resized)
            restyle(view);
        else
            view.viewport()->update();  // loads that leave every line as high as it was only want drawing
        return;
    }
    // The loads that came back since the last turn, together: the lines that show
    // them take their pictures' heights, as a restyle would give them (lines not
    // styled yet take them when they are); every picture shown draws anew. The
    // lines of first loads are known from the styling, found again only where it
    // changed since; those of a picture that changed in its file meanwhile are looked for.
    Kept& kept = *kept_;
    kept.restyling = true;
    kept.fittingPictures = true;
    storage->beginEditing();
    readLoadingPictures(*storage, loaded);
    const U16View text = storage->string();
    for (const std::string& key : loaded) {
        const auto found = kept.loadingPictures.find(key);
        if (found == kept.loadingPictures.end())
            continue;
        for (const int place : found->second)
            if (place < int(text.size()) && ImageCache::pictureSize(key)) {
                const Range line = lineRange(text, Range{place, 0});
                const auto mark = storage->marker<CollapsedImage>(AttributeKey::CollapsedImage, place);
                if (line.location == place && mark && mark->key == key)
                    fitPictureLine(*storage, line, key, kept.width);
            }
        kept.loadingPictures.erase(found);
    }
    if (!reloaded.empty())
        fitPictureLines(*storage, kept.width, &reloaded);
    storage->endEditing();
    kept.fittingPictures = false;
    kept.restyling = false;
    view.viewport()->update();
}

void MarkdownEditorCoordinator::textViewDidResize(TextView& view)
{
    TextStorage* storage = view.textStorage();
    // Without a restyle settled, the one to come sizes the pictures for the width.
    if (!storage || !kept_ || kept_->storage != storage || !kept_->valid || kept_->dirty || view.hasMarkedText())
        return;
    Kept& kept = *kept_;
    const double width = availableWidth(view);
    if (width == kept.width)
        return;
    const U16View text = storage->string();
    if (text.find(u"![") == U16View::npos) {
        kept.width = width;
        return;
    }
    // Pictures that grow can bring the scroll bar, whose width shrinks them, which
    // sends it away again, and so on: when the bar alone took the width back to
    // where the last resize of the pictures started, they keep their size.
    const bool barAlone = view.width() == kept.fit.viewWidth && width == kept.fit.from;
    if (!barAlone)
        kept.fit = {kept.width, view.width()};
    kept.width = width;
    if (barAlone)
        return;
    // Only the collapsed lines' heights depend on the width: their paragraph
    // styles change where the height does, as a restyle would set them.
    kept.restyling = true;
    kept.fittingPictures = true;
    storage->beginEditing();
    fitPictureLines(*storage, width);
    storage->endEditing();
    kept.fittingPictures = false;
    kept.restyling = false;
}

void MarkdownEditorCoordinator::documentURLDidChange(TextView& view)
{
    TextStorage* storage = view.textStorage();
    // Before the first restyle nothing is resolved yet; it resolves against the new file.
    if (!storage || !kept_ || kept_->storage != storage || storage->string().find(u"![") == U16String::npos)
        return;
    if (view.hasMarkedText())
        return;
    if (!kept_->valid || kept_->dirty) {
        restyle(view);
        return;
    }
    // Only where pictures stand, as far as the text is styled, and in the
    // stretch styled ahead of the steps.
    Kept& kept = *kept_;
    const U16View text = storage->string();
    // An island read only after a fence's opening line is left to the steps.
    if (kept.island && kept.islandStart == Kept::Resume::code)
        kept.island.reset();
    std::vector<Range> parts{Range{0, kept.unstyled.value_or(int(text.size()))}};
    if (kept.island)
        parts.push_back(*kept.island);
    const Range selection = view.selectedRange();
    kept.restyling = true;
    storage->beginEditing();
    bool done = true;
    for (const Range& part : parts) {
        for (size_t at = text.find(u"![", size_t(part.location)); done && at != U16View::npos && int(at) < part.end();) {
            const Range line = lineAt(*storage, int(at));
            done = restyleStretch(view, *storage, line, selection, part);
            at = text.find(u"![", size_t(RestyleWindow::nextLineStart(text, line.end())));
        }
    }
    storage->endEditing();
    kept.restyling = false;
    if (!done)
        restyle(view);
}

std::optional<Range> MarkdownEditorCoordinator::shortcode(Range selection, const AttributedString& storage)
{
    if (selection.length != 0)
        return std::nullopt;
    const int location = selection.location;
    // A shortcode holding the caret runs from a colon before it to one after it with only
    // name characters between: without such colons no match of the line can, and the
    // line (a paragraph, maybe of thousands of shortcodes) is not matched at every move.
    const U16View text = storage.string();
    if (location > int(text.size()))
        return std::nullopt;
    // Name characters are no line feeds: the walks below stay in the line before it is looked for.
    const Range line{0, int(text.size())};
    auto isName = [](char16_t c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-'
            || c == u'+' || c == u'_';
    };
    int open = location - 1;
    while (open >= line.location && location - open <= EmojiShortcode::maxNameLength && isName(text[size_t(open)]))
        --open;
    int close = location;
    while (close < line.end() && close - open <= EmojiShortcode::maxNameLength && isName(text[size_t(close)]))
        ++close;
    if (open < line.location || close >= line.end() || text[size_t(open)] != u':' || text[size_t(close)] != u':')
        return std::nullopt;
    const Range caretLine = lineAt(storage, std::min(location, storage.length()));
    for (const EmojiShortcode::Match& match : EmojiShortcode::matches(substring(storage.string(), caretLine))) {
        const Range range{match.range.location + caretLine.location, match.range.length};
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
    auto layout = std::make_unique<CodeBlockLayoutManager>();
    // A picture loaded again because it shows is drawn once it is back; one that
    // failed meanwhile (or changed in its file) takes the height a restyle would give it.
    layout->pictureReloaded = [shown = QPointer<MarkdownTextView>(view), weak = std::weak_ptr<Coordinator>(coordinator)](
                                  const std::string& key, QSizeF shownBefore) {
        const auto held = weak.lock();
        if (shown && held)
            held->pictureLoaded(*shown, key, shownBefore);
    };
    view->replaceLayoutManager(std::move(layout));
    view->knownMarkdown = [shown = QPointer<MarkdownTextView>(view), weak = std::weak_ptr<Coordinator>(coordinator)] {
        const auto held = weak.lock();
        return shown && held ? held->writtenMarkdown(*shown) : std::nullopt;
    };
    view->setDelegate(coordinator.get());
    view->setEditable(true);
    view->setSelectable(true);
    view->setAllowsUndo(true);
    view->setBackgroundColor(Color::role(Color::Role::TextBackground));
    view->setTextContainerInset({24, 24});
    view->setLineFragmentPadding(4);
    view->setUsesFindBar(true);
    view->setLaysOutLazily(true);
    const QString label = QString::fromStdU16String(LocalizedStrings::text(u"Markdown editor"));
    view->setAccessibleName(label);
    view->setAccessibleDescription(label);

    const double size = baseSize();
    coordinator->styler = MarkdownStyler{size, fontFamily};
    view->gridBaseSize = size;
    view->fontFamily = fontFamily;
    const U16String bound = text.get ? text.get() : U16String();
    // What the document's first line ends with is what every line the editor writes ends with.
    view->setLineEnding(MarkdownEditing::lineEnding(bound));
    TextStorage rendered = TableGrid::grids(bound, size);
    if (stepwiseFrom > 0 && rendered.length() >= stepwiseFrom) {
        // A long text: its start styled now, the rest in idle time.
        coordinator->styler.applyBaseAroundGrids(rendered);
        view->setAttributedString(rendered);
        // A caret set on a line that shows its source there (a picture's, say) restyles
        // already: a second restyle would style and collapse it all again.
        view->setSelectedRange({0, 0});
        if (!coordinator->hasRestyled(*view))
            coordinator->restyle(*view);
    } else {
        // Styled once here; the first restyle below then has only the collapses left.
        MarkdownSyntax::Definitions definitions;
        coordinator->styler.apply(rendered, nullptr, &definitions);
        view->setAttributedString(rendered);
        view->setSelectedRange({0, 0});
        view->setTypingAttributes(coordinator->caretAttributes(*view->textStorage(), 0));
        coordinator->adoptStyled(*view, std::move(definitions));
    }

    coordinator->noteShownRevision();
    // The first restyle, with its collapsing, waits until the view is in its window.
    std::weak_ptr<MarkdownEditorCoordinator> weak = coordinator;
    QPointer<MarkdownTextView> weakView(view);
    view->onMoveToWindow = [weak, weakView] {
        if (!weakView)
            return;
        QTimer::singleShot(0, weakView.data(), [weak, weakView] {
            const auto coordinator = weak.lock();
            if (coordinator && weakView)
                coordinator->restyleChanges(*weakView);
        });
    };
    return view;
}

namespace {

// Where a place of `before` stands in `after`: before the same text when all that follows it is
// unchanged, else after the same text when all that precedes it is. Otherwise, of the places as
// far from the start or from the end as it was and its place through the one changed stretch
// between the texts' common start and end, the one the most of the text after it still follows.
int placeThroughChange(U16View before, U16View after, int at)
{
    const int oldLength = int(before.size());
    const int newLength = int(after.size());
    at = std::clamp(at, 0, oldLength);
    const U16View tail = before.substr(size_t(at));
    if (after.ends_with(tail))
        return newLength - int(tail.size());
    if (after.starts_with(before.substr(0, size_t(at))))
        return at;
    const int prefix = int(TextOps::commonPrefixLength(before, after));
    const int suffix = int(TextOps::commonSuffixLength(before.substr(size_t(prefix)), after.substr(size_t(prefix))));
    const int oldEnd = oldLength - suffix;
    const int newEnd = newLength - suffix;
    int best = at <= prefix ? at : at >= oldEnd ? at - oldEnd + newEnd : newEnd;
    size_t kept = TextOps::commonPrefixLength(tail, after.substr(size_t(best)));
    for (const int place : {std::min(at, newLength), std::clamp(at + newLength - oldLength, 0, newLength)}) {
        const size_t following = TextOps::commonPrefixLength(tail, after.substr(size_t(place)));
        if (following > kept) {
            best = place;
            kept = following;
        }
    }
    return best;
}

} // namespace

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
    // A new size or family alone leaves the text as the view last wrote it: no need to read it back.
    const bool sameText = (text.revision && coordinator.shownRevision == text.revision()) || markdownOf(*storage) == bound;
    if (!sameText) {
        // A new text keeps only the caret, on the text it stood at.
        TextStorage rendered = TableGrid::grids(bound, newSize);
        const Range selected = Range{placeThroughChange(view.string(), rendered.string(), view.selectedRange().location), 0};
        coordinator.styler = MarkdownStyler{newSize, fontFamily};
        view.gridBaseSize = newSize;
        view.setLineEnding(MarkdownEditing::lineEnding(bound));
        // Styled by the restyle below; a long text only as far as the window shows at once.
        if (stepwiseFrom > 0 && rendered.length() >= stepwiseFrom)
            coordinator.styler.applyBaseAroundGrids(rendered);
        else
            coordinator.styler.apply(rendered);
        view.setAttributedString(rendered);
        view.setSelectedRange(selected);
        coordinator.restyle(view);
    } else if (oldSize != newSize || oldFamily != fontFamily) {
        // A new size or family alone keeps the text, its grids and the selection: the
        // restyle gives them the new one (each grid cell its padding), a long text in
        // steps from what the window shows, the rest keeping the old until styled.
        coordinator.styler = MarkdownStyler{newSize, fontFamily};
        view.gridBaseSize = newSize;
        coordinator.forgetStyling();
        coordinator.restyle(view);
        // Laid out anew as a new text would be, so that places asked for next hold.
        view.layoutDocument();
    }
    // The document's text may have changed without the view: the next change is written whole.
    coordinator.forgetWrittenText();
    coordinator.noteShownRevision();
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

void MarkdownEditorView::documentURLChanged()
{
    coordinator_->documentURLDidChange(*view_);
}

} // namespace velkin
