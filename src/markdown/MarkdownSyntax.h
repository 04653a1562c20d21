#pragma once
// The Markdown scanner: a whole text in, one flat list of styled spans out.
//
// There is no document tree. Lines are classified once (fences, tables, indented
// code, setext headings), each line gets the block spans of the first construct
// that claims it, and inline content is scanned by a fixed sequence of passes.
// Spans overlap freely and are kept in emission order, which consumers rely on:
// a later span overrides an earlier one where both set the same attribute.
#include "highlight/CodeToken.h"
#include "markdown/Alert.h"
#include "markdown/ColorLiteral.h"
#include "markdown/Footnote.h"
#include "markdown/ReferenceLink.h"
#include "platform/regex/Regex.h"
#include "platform/text/Lines.h"
#include "platform/text/Range.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <optional>
#include <variant>
#include <vector>

namespace velkin {

// The optional text of a span, shared by the span's copies and compared by value.
class SpanText {
public:
    SpanText() = default;
    SpanText(std::nullopt_t) {}
    SpanText(U16String text) : text_(std::make_shared<const U16String>(std::move(text))) {}
    SpanText(std::optional<U16String> text)
    {
        if (text)
            text_ = std::make_shared<const U16String>(std::move(*text));
    }
    explicit SpanText(std::shared_ptr<const U16String> text) : text_(std::move(text)) {}
    const std::shared_ptr<const U16String>& shared() const { return text_; }

    explicit operator bool() const { return text_ != nullptr; }
    bool has_value() const { return text_ != nullptr; }
    const U16String& operator*() const { return *text_; }
    const U16String* operator->() const { return text_.get(); }
    U16String value_or(U16String fallback) const { return text_ ? *text_ : std::move(fallback); }

    bool operator==(const SpanText& other) const
    {
        return text_ == other.text_ || (text_ && other.text_ && *text_ == *other.text_);
    }
    bool operator==(const U16String& text) const { return text_ && *text_ == text; }

private:
    std::shared_ptr<const U16String> text_;
};

class MarkdownToken {
public:
    enum class Kind : uint8_t {
        heading,        // level 1-6
        color,          // a ColorLiteral
        codeSyntax,     // a CodeTokenKind
        alert,          // an AlertKind
        alertLabel,     // an AlertKind
        footnoteRef,    // the label as written
        footnoteLabel,  // the label as written
        bold,
        italic,
        boldItalic,
        strikethrough,
        underline,
        subscripted,
        superscripted,
        code,
        codeBlock,
        table,
        link,
        image,
        lineBreak,
        marker,
    };

    // A token without payload; `kind` must be one of the plain kinds.
    constexpr MarkdownToken(Kind kind = Kind::marker) : kind_(kind) {}

    static MarkdownToken heading(int level) { return MarkdownToken(Kind::heading, level); }
    static MarkdownToken color(const ColorLiteral& literal)
    {
        return MarkdownToken(Kind::color, std::make_shared<const ColorLiteral>(literal));
    }
    static MarkdownToken codeSyntax(CodeTokenKind kind) { return MarkdownToken(Kind::codeSyntax, int(kind)); }
    static MarkdownToken alert(AlertKind kind) { return MarkdownToken(Kind::alert, int(kind)); }
    static MarkdownToken alertLabel(AlertKind kind) { return MarkdownToken(Kind::alertLabel, int(kind)); }
    static MarkdownToken footnoteRef(U16String label) { return MarkdownToken(Kind::footnoteRef, shared(std::move(label))); }
    static MarkdownToken footnoteLabel(U16String label)
    {
        return MarkdownToken(Kind::footnoteLabel, shared(std::move(label)));
    }

    Kind kind() const { return kind_; }
    bool is(Kind kind) const { return kind_ == kind; }

    // Payload accessors; each is valid only for its own kinds.
    int level() const { return small_; }
    const ColorLiteral& colorLiteral() const { return *static_cast<const ColorLiteral*>(large_.get()); }
    CodeTokenKind codeKind() const { return CodeTokenKind(small_); }
    AlertKind alertKind() const { return AlertKind(small_); }
    const U16String& label() const { return *static_cast<const U16String*>(large_.get()); }

    // Character-level kinds that may be applied inside a rendered table cell.
    bool isInline() const;

    // Payloads compare by value; a link's or an image's destination is the span's, not the token's.
    bool operator==(const MarkdownToken& other) const;

private:
    friend struct MarkdownSpan;

    static std::shared_ptr<const void> shared(U16String text) { return std::make_shared<const U16String>(std::move(text)); }
    MarkdownToken(Kind kind, int small) : kind_(kind), small_(small) {}
    MarkdownToken(Kind kind, std::shared_ptr<const void> large) : kind_(kind), large_(std::move(large)) {}

    // A long paragraph's scan holds a token per span: the few large payloads
    // (colour literals, labels, destinations) are kept apart, shared by the token's copies.
    Kind kind_;
    int small_ = 0;                      // a level, a CodeTokenKind or an AlertKind
    std::shared_ptr<const void> large_;  // a ColorLiteral, a label or a link's destination
};

struct MarkdownSpan {
    MarkdownSpan() = default;
    // Only a link or an image span takes a destination.
    MarkdownSpan(Range range, MarkdownToken token, const SpanText& url = {}) : range(range), token(std::move(token))
    {
        if (url && (this->token.is(MarkdownToken::Kind::link) || this->token.is(MarkdownToken::Kind::image)))
            this->token.large_ = url.shared();
    }

    Range range;  // UTF-16 units of the whole scanned text
    MarkdownToken token;

    // The destination of a link or image span; no other span carries one.
    SpanText url() const
    {
        if (!token.is(MarkdownToken::Kind::link) && !token.is(MarkdownToken::Kind::image))
            return {};
        return SpanText(std::static_pointer_cast<const U16String>(token.large_));
    }

    bool operator==(const MarkdownSpan& other) const
    {
        return range == other.range && token == other.token && url() == other.url();
    }
};

using MarkdownSpans = std::vector<MarkdownSpan>;

namespace MarkdownSyntax {

// ---- Block patterns (compiled once, no options) ----
const Regex& setextUnderlineRegex();  // "^[ ]{0,3}(?:=+|-+)[ \t]*$"
const Regex& headingRegex();          // "^(#{1,6})([ \t]+)(.*)$"
const Regex& thematicBreakRegex();    // "^[ ]{0,3}(?:(?:\*[ \t]*){3,}|(?:-[ \t]*){3,}|(?:_[ \t]*){3,})$"
const Regex& quoteRegex();            // "^([ ]{0,3}>+[ \t]?)(.*)$"
const Regex& listRegex();             // "^([ \t]*)([-*+]|\d{1,9}[.)])([ \t]+)(.*)$"

// ---- Inline patterns (compiled once, no options) ----
const Regex& codeSpanRegex();
const Regex& escapeRegex();
const Regex& imageRegex();
const Regex& linkRegex();
const Regex& autolinkRegex();
const Regex& emailAutolinkRegex();
const Regex& fullReferenceRegex();
const Regex& shortcutReferenceRegex();
const Regex& imageReferenceRegex();
const Regex& imageShortcutRegex();
const Regex& boldItalicStar();
const Regex& boldItalicUnder();
const Regex& boldStar();
const Regex& boldUnder();
const Regex& italicStar();
const Regex& italicUnder();
const Regex& strikeRegex();

// ---- Per-line matches of the block patterns ----
// Each gives exactly what the pattern's first match over the whole line gives
// (groups as in the pattern); a line's trailing CR/LF terminator is ignored.
struct HeadingMatch {
    Range hashes, blanks, text;
};
std::optional<HeadingMatch> matchHeading(U16View line);
bool isThematicBreak(U16View line);
bool isSetextUnderline(U16View line);
struct ListMatch {
    Range indent, bullet, blanks, text;
};
std::optional<ListMatch> matchList(U16View line);
struct QuoteMatch {
    Range leader, text;
};
std::optional<QuoteMatch> matchQuote(U16View line);

// The image pattern's match starting exactly at `p` (groups as in
// imageRegex()), found by hand as the inline scanner finds it.
std::optional<Regex::Match> matchImageAt(U16View text, int p);

// Every match of a pattern over the whole of `text`, left to right and not
// overlapping, as the pattern's own search gives them (groups as in the
// pattern, a link's text starting at its innermost "["), found by hand: in
// time near the text's length, never cut short.
std::vector<Regex::Match> codeSpanMatches(U16View text);           // codeSpanRegex()
std::vector<Regex::Match> linkMatches(U16View text);               // linkRegex()
std::vector<Regex::Match> imageMatches(U16View text);              // imageRegex()
std::vector<Regex::Match> footnoteReferenceMatches(U16View text);  // "(\[\^)([^\]\n]+?)(\])"

// ---- Line classifiers ----
using LineFlags = std::vector<bool>;

struct QuoteLeader {
    int offset = 0;  // where the quoted content starts; 0 without a leader
    int depth = 0;
    bool operator==(const QuoteLeader&) const = default;
};

struct FenceLine {
    bool isDelimiter = false;  // an opening or closing fence line
    bool isInside = false;     // part of a fenced block, fence lines included
    bool opens = false;
    std::optional<U16String> language;  // the first word of an opening fence's info string
    bool quoted = false;                // the fence line carries a block-quote leader
    bool listed = false;                // the fence stands after a list item's marker ("- ```")
    bool operator==(const FenceLine&) const = default;
};

struct SetextLine {
    int level = 0;  // 1 under "===", 2 under "---"
    bool isUnderline = false;
    bool operator==(const SetextLine&) const = default;
};
// One optional entry per line index.
using SetextMap = std::vector<std::optional<SetextLine>>;

struct SetextHeading {
    int level = 0;
    Range text;       // first text line start to last text line end, terminators between included
    Range underline;  // the underline line, terminator excluded
    bool operator==(const SetextHeading&) const = default;
};

// The texts of the lines of `text` (terminators excluded).
std::vector<U16View> lineTexts(U16View text, const std::vector<LineRange>& lines);

QuoteLeader quoteLeader(U16View line);
// How far the marks a line opens with reach: unindented quotation marks and list
// item markers (each followed by one blank), one inside another; 0 without.
int containerLeader(U16View line);
// Where a line's text starts after at most `levels` of its quote leaders, or
// nothing when it has fewer.
std::optional<int> quoteLevelsEnd(U16View line, int levels);

// Reads a text's lines one after another as fenceLines() reads them. A fence
// opened in a list item's text or in a quotation ends with it, where a line
// with text is indented left of the item's text or has fewer quote leaders
// (what a closing fence line closes, it closes wherever it stands); one opened
// in neither runs to its closing fence or the text's end. Its state is small:
// a copy reads on from the same line.
class FenceReader {
public:
    // Without `readsItems`, no fence is taken for one indented under a list
    // item's text: for lines that hold no indented fence, which need no list read.
    explicit FenceReader(bool readsItems = true) : readsItems_(readsItems) {}
    FenceLine read(U16View line);
    // Whether a fence is open after the lines read so far.
    bool isOpen() const { return open_; }
    // What ends the open fence besides its closing line: a line with fewer
    // quote leaders than the depth, or one whose text after them starts left
    // of the column (-1: none).
    int openDepth() const { return depth_; }
    int openColumn() const { return column_; }
    bool operator==(const FenceReader&) const = default;

private:
    void readAfresh(const QuoteLeader& q, U16View rest, bool fenceCharacter, FenceLine& rec);
    bool leavesContainer(U16View line, const QuoteLeader& q) const;
    // The list items a line outside fences opens, goes on or ends; `rest` is the
    // line after its `depth` quote leaders.
    void trackItems(U16View rest, int depth, bool fenceLine);

    bool readsItems_ = true;
    bool open_ = false;
    char16_t character_ = 0;
    int run_ = 0;
    int depth_ = 0;    // the quote leaders of its opening line
    int column_ = -1;  // the column where the text of the item it opened in starts; -1 in none
    // The columns where the texts of the open list items start, innermost last,
    // counted after the quote leaders of their lines (`itemsDepth_` of them, as
    // the export reads a quotation's lines), and what came since the last of
    // their lines. A line with another number of leaders ends them.
    std::vector<int> items_;
    int itemsDepth_ = 0;
    bool sawBlank_ = false;
    bool afterFence_ = false;  // the last line with text was a fence's: no lazy line goes on from it
};

std::vector<FenceLine> fenceLines(const std::vector<U16View>& lines);
LineFlags fenceFlags(const std::vector<U16View>& lines);
bool isDelimiterRow(U16View line);
// A grid too short to hold a pipe table's two lines stands as one line of this
// character, read as a table's row: the line under it reads as under a table.
constexpr char16_t gridRowStandIn = u'\uFDD0';
LineFlags detectTableLines(const std::vector<U16View>& lines, const LineFlags& fenced);
// Width of the leading blanks: a space adds 1, a tab advances to the next multiple of 4.
int indentWidth(U16View line);
LineFlags indentedCodeLines(const std::vector<U16View>& lines, const LineFlags& fenced);
SetextMap setextLines(const std::vector<U16View>& lines, const LineFlags& fenced, const LineFlags& tables,
                      const LineFlags& code);
std::vector<SetextHeading> setextHeadings(U16View text);
// A destination as a span's url: one pair of enclosing angle brackets dropped, nothing when empty.
std::optional<U16String> linkDestination(U16View raw, U16View prefix);
// The hard-break characters at the end of one line (relative to it), or nothing.
std::optional<Range> hardBreakRun(U16View line);

// Everything the block classifiers know about one text, computed once and
// shared by every walker of that text version.
struct BlockLines {
    explicit BlockLines(U16View text);

    U16View text;
    LineIndex index;
    std::vector<U16View> texts;
    std::vector<FenceLine> fences;
    LineFlags fenced;  // isInside of each fence record
    LineFlags tables;
    LineFlags code;  // indented code
    SetextMap setext;

    int count() const { return index.count(); }
    const LineRange& line(int i) const { return index.lines()[size_t(i)]; }
};

// What reference and footnote definitions give to uses anywhere in a text.
struct Definitions {
    Footnote::Labels footnotes;
    ReferenceLink::Table links;
    bool operator==(const Definitions&) const = default;
};
Definitions definitions(const BlockLines& lines);
// The same read from the text alone, without the rest of a block classification.
Definitions definitions(U16View text);

// ---- The scanner ----
MarkdownSpans spans(U16View text);
// The same from a classification of the text that the caller already holds.
MarkdownSpans spans(const BlockLines& lines);
// The same with the definitions of a larger text that `lines` is a part of.
MarkdownSpans spans(const BlockLines& lines, const Definitions& definitions);

// Inline spans of the part `within` of `line`, whose first unit sits at `base` of the text.
// An inline picture's span covers its description, and is empty where the
// picture has none: it stands for the picture all the same.
void appendInline(U16View line, int base, Range within, const Footnote::Labels& footnotes,
                  const ReferenceLink::Table& links, MarkdownSpans& into);

// ---- Where a paragraph may be read in parts ----
// A paragraph (plain lines scanned as one piece) reads as the concatenation of
// its parts when it is cut at line starts where its scan so far is settled: no
// emphasis, bold or strikethrough delimiter is still looking for its closing
// one. These say whether a scan is settled at the end of a text.
//
// Whether `paragraph`, scanned as one, leaves a delimiter looking on past its end.
bool inlineRunsOn(U16View paragraph, const Definitions& definitions);
// Whether the plain lines that end `text` (read from its start as a whole text
// is read) leave one; false when its last line belongs to any other block.
bool paragraphRunsOn(U16View text, const Definitions& definitions);

// The same as bits, one per delimiter character and run length: a scan left with
// a "*" looking on reads on as a fresh one as long as no "*" comes.
enum DelimiterBit : unsigned {
    starBit = 1,
    underscoreBit = 2,
    tildeBit = 4,  // "~~", the only strikethrough run
    doubleStarBit = 8,
    tripleStarBit = 16,
    doubleUnderscoreBit = 32,
    tripleUnderscoreBit = 64
};
// The bit of an opening run of `c`, `length` long.
unsigned delimiterBit(char16_t c, int length);
// All the bits of `c`, whatever the run's length.
unsigned delimiterBits(char16_t c);
// With `unenclosed`, the bits of those no pair closed in the text encloses go
// there too: a partner after the end would make a pair that stands, where an
// enclosing pair would cross it, and the one that starts later is dropped.
unsigned runningDelimiters(U16View paragraph, const Definitions& definitions, unsigned* unenclosed = nullptr);
// (Of a last line that opens a list item or a quotation, its text after the marks.)
unsigned paragraphRunningDelimiters(U16View text, const Definitions& definitions, unsigned* unenclosed = nullptr);
// Whether `text` holds any of the delimiter characters of `bits`.
bool holdsDelimiters(U16View text, unsigned bits);
// What becomes of delimiters of `bits` left waiting before `piece`: nothing when
// one of them may pair with a delimiter of the piece, else those still waiting
// after it (the others met the first like character, or pair, that decides them,
// and it was taken). `head` is the context that stands for the text before the
// piece, ending in a line feed, or in a blank when the piece starts inside a
// line (and then the characters after it stay next to the piece). The piece is read after openers that stand for the waiting ones (each
// run length a delimiter can be read as), and must leave every one of them
// alone. Not every piece that leaves the waiting ones alone passes.
std::optional<unsigned> waitingAfter(U16View head, U16View piece, unsigned bits, const Definitions& definitions);

// A line may be cut inside as well, after a blank and before an ASCII letter or
// digit: what no construct but emphasis can reach over. Whether a code span, a
// bracket, a link's destination or title, a tag or an autolink opened in
// `segment` (a line's text from a settled place to such a point, or to one of
// linePlace()) may still be open at its end; it may say so of some that are not.
// With `waitingTicks`, backtick runs that nothing in the segment closes are no
// reason: the shortest such run's length goes there (0 for none), and only a later
// run at least that long would close one.
bool lineRunsOn(U16View segment, int* waitingTicks = nullptr);
// Whether the characters around `at` let a line of `text` be cut there: after a
// blank and before an ASCII letter or digit, or, some way into the line, between
// two characters that open, close or join nothing (letters, digits and a few
// marks such as "," "}" and quotes) where no shortcode could reach over the place.
// The piece after such a place reads as in the whole after the character before it.
bool linePlace(U16View text, int at);
// Whether line `i` is a plain line: claimed by no block construct, it joins
// the lines around it into one paragraph.
bool isPlainLine(const BlockLines& lines, int i);

} // namespace MarkdownSyntax

} // namespace velkin
