#pragma once
// Places inside a long paragraph where a restyle may start or end: line starts
// between plain lines, and inside a long plain line the places of
// MarkdownSyntax::linePlace(). A piece of the paragraph starting at such a
// place is read after a short context that gives its first line the reading it
// has in the whole text: the list item the paragraph goes on from lazily, and
// a word before it when the place is inside a line (so that "# x" there is no
// heading), with the character before the place when that is no blank.
// Whether the paragraph's scan is settled there is asked apart.
// A quote line reads alone as it reads in the whole text, but in an alert below
// its label: a piece starting there is read after a label of the alert's kind.
#include "markdown/Alert.h"
#include "platform/attributed/AttributedString.h"

#include <optional>
#include <utility>
#include <vector>

namespace velkin {

struct ParagraphCut {
    int at = 0;
    // The delimiters (MarkdownSyntax::DelimiterBit) looking on past the place: the
    // text after it reads as from a paragraph's start while none of its own pairs
    // with them (see MarkdownSyntax::waitingAfter).
    unsigned open = 0;
    // Of `open`, those whose opener no pair closed before the place encloses: a
    // partner after the place makes a pair that stands and shows before it. The
    // others would cross such a pair and be dropped, which shows nothing.
    unsigned unenclosed = 0;
    // The start of the list item line (or note definition) that the paragraph goes on from, or -1.
    int item = -1;
    // Whether the place stands after an edit not restyled yet: `open` is then what
    // the text read as there before it, to compare the text's new reading with.
    bool stale = false;
    // Inside a line, the shortest backtick run before the place that nothing
    // closes, or 0: the place holds while no run at least that long follows it in its line.
    int ticks = 0;
    // At a line of an alert below its label: the alert's kind.
    std::optional<AlertKind> alert = std::nullopt;
    // Inside a long line that opens with list item markers or quotation marks:
    // those marks, read before the piece as at the line's start.
    Range leader{0, 0};
    // Whether the paragraph holding the place is one that no block holds (no list
    // item, quotation or note): past its end the text reads as from the text's start.
    bool bare = false;
};

namespace ParagraphCuts {

// Lines longer than this are cut inside as well.
constexpr int longLine = 2048;
// In a long line, a restyle takes this many characters as it takes a line elsewhere.
constexpr int linePart = 512;

bool codeAt(const AttributedString& storage, int index);
// Text of a grid cell, which the block scanner reads as blank lines.
bool cellAt(const AttributedString& storage, int index);
// Code or a grid cell: text whose block reading a stretch edge must not cut into
// (a cell shows neither fences nor lists opened in or around it).
bool opaqueAt(const AttributedString& storage, int index);
// Whether a line reads as a plain line of a paragraph wherever it stands. With
// `piped`, a piped line too unless it is a delimiter row: one that may be a table's
// row, or its header, by the lines around it (see paragraphCut).
bool plainWherever(U16View line, bool piped = false);
// The same after up to three spaces: a plain line inside a paragraph, a list item's one too.
bool plainInParagraph(U16View line, bool piped = false);
// The same after any blanks and quotation marks: a plain line under another plain
// line of a paragraph, or of a quotation with the same marks (see goesOnUnder).
struct QuotedLine {
    int marks = 0;  // the length of the blanks and marks
    int depth = 0;  // of the quotation marks
};
std::optional<QuotedLine> plainUnderLine(U16View line, bool piped = false);
// Whether `line` goes on the paragraph or quotation of the line `above` it, neither opening nor ending a block.
bool goesOnUnder(U16View above, U16View line);
// Whether plain lines going on under `line` read as the lines of what it opens: a
// list item, or a note (see Footnote::continuesNote).
bool opensItem(U16View line);
// Whether the storage shows the line starting at `start` as no table's line: its
// first pipe, if any, in no fixed-pitch font. `pipe` gets that pipe's index, or -1.
bool showsNoTable(const AttributedString& storage, int start, int* pipe = nullptr);
// Whether the line before the one starting at `start` is empty as the block scanner
// reads lines (any line terminator): the one line that ends every paragraph.
bool emptyLineBefore(U16View text, int start);
// Whether a stretch may start (or end) at the line starting at `start` as at a block's edge.
// Unless `pipesMakeRows` is false, a piped line under a piped one is none (it may be a table's row).
bool blockEdge(U16View text, int start, bool pipesMakeRows = true);
// Whether a paragraph may be cut at the line starting at `start` and read from
// there as from a paragraph's start.
bool paragraphCut(const AttributedString& storage, int start);
// Whether `at` is inside a line at one of MarkdownSyntax::linePlace(), outside
// code and grids: what a place inside a line needs around it.
bool midLineCut(const AttributedString& storage, int at);
// The kind of the alert that the line at `start` goes on below its label, as
// `storage` has it: the line and the one above it under one alert mark.
std::optional<AlertKind> alertGoingOn(const AttributedString& storage, int start);
// Whether the line holding the character before `at` in `piece`, read as a whole
// text, goes on from a list item that is itself indented: the items it is nested
// in, which no line read shows, decide how the lines after `at` read.
bool underNestedItem(const AttributedString& piece, int at);
// Whether a piece starting at `cut` reads its first line under the items the whole
// text reads it under: it goes on from no item, or from an unindented one, which
// closes every item before it.
bool itemStandsAlone(U16View text, const ParagraphCut& cut);
// The context read before a piece of the text starting at `cut`.
U16String context(U16View text, const ParagraphCut& cut);
// The list item line that the lines of `text` from `from` to `to` go on from
// lazily: the last item among them when only plain lines follow it, else
// `inherited` when all of them are plain; -1 otherwise.
int lazyItem(U16View text, int from, int to, int inherited);
// Whether the line at `start` opens a paragraph that no block holds: a plain line
// at the text's start or after an empty line (see ParagraphCut::bare).
bool opensBareParagraph(U16View text, int start);
// Whether a place at `to` stands in the same paragraph that no block holds as the
// place at `from` (`bare` saying whether that one does): only plain lines come
// after `from`'s line up to `to`'s.
bool staysBare(U16View text, int from, int to, bool bare);

// In a line whose scan leaves something open at `at`, the first character from
// `at` on that may close it: a delimiter of `open` (MarkdownSyntax::DelimiterBit),
// or when `lineOpen` a backtick, "]", ">" or ")". -1 when the line ends first.
int nextCloser(U16View text, int at, unsigned open, bool lineOpen);

// The start of the part of the text a restyle takes as the line holding
// `position`: the line's start, or in a long line a place some way before it.
int partStart(U16View text, int position);
// The end of that part: the next line's start, or a place some way on in a long line.
int partEnd(U16View text, int position);

// What a restyle asks of the lines it cuts, each long line read once.
class LineReader {
public:
    explicit LineReader(const AttributedString& storage) : storage_(storage) {}
    // Whether the line holding `at` is long and plain (after its leader).
    bool longPlainLine(int at);
    // The leader of the long plain line holding `at` (see MarkdownSyntax::containerLeader), when
    // `at` stands inside the line's text; else an empty range.
    Range leader(int at);
    // Whether a paragraph may be cut at `at`: a line start between plain lines,
    // or a place inside a long plain line (see midLineCut).
    bool cutsAt(int at);
    // The next place after `at` where cutsAt() may hold: inside a long line the
    // next one of MarkdownSyntax::linePlace(), else the next line's start.
    int nextPlace(int at);
    // Whether no backtick run at least `ticks` long follows `at` in its line
    // (always, for 0): a run of that length left open before it stays open.
    bool ticksStayOpen(int at, int ticks);
    // Whether a piece whose last line `segment` ends at `at`, inside a line, leaves
    // something open there (see MarkdownSyntax::lineRunsOn). `ticks`, the shortest
    // backtick run left open before the piece in the line (or 0), becomes the
    // shortest left open at `at`.
    bool runsOn(U16View segment, int at, int& ticks);

private:
    struct Line {
        int start = -1;
        int end = -1;  // the line feed's index, or the text's end
        bool longPlain = false;
        int leader = 0;  // its length
        // The line's backtick runs, when asked for: each run's start, and the
        // longest run from it on.
        std::optional<std::vector<std::pair<int, int>>> ticks;
    };
    const Line& lineAt(int at);
    const AttributedString& storage_;
    Line line_;
};

} // namespace ParagraphCuts

} // namespace velkin
