#include "editor/ParagraphCut.h"

#include "editor/RestyleWindow.h"
#include "markdown/Footnote.h"
#include "markdown/GridCells.h"
#include "markdown/MarkdownList.h"
#include "markdown/MarkdownSyntax.h"
#include "markdown/ReferenceLink.h"
#include "platform/attributed/Font.h"
#include "platform/text/CharacterClass.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"

#include <algorithm>

namespace velkin::ParagraphCuts {

using RestyleWindow::lineStart;
using RestyleWindow::nextLineStart;

bool codeAt(const AttributedString& storage, int index)
{
    return index >= 0 && index < storage.length() && storage.attribute(AttributeKey::CodeBlockFill, index);
}

bool cellAt(const AttributedString& storage, int index)
{
    const ParagraphStyle* style = index >= 0 && index < storage.length() ? storage.paragraphStyle(index) : nullptr;
    return style && style->tableBlock();
}

bool opaqueAt(const AttributedString& storage, int index)
{
    return codeAt(storage, index) || cellAt(storage, index);
}

bool plainWherever(U16View line, bool piped)
{
    // One that neither opens nor ends a block, nor reads otherwise at a paragraph's
    // start (an indented line would be code there, a dashed one a break, a piped one a table row).
    if (isBlank(line, TrimSet::WhitespaceAndNewlines))
        return false;
    const char16_t c = line.front();
    const bool pipes = TextOps::containsUnit(line, u'|');
    if (c == u' ' || c == u'\t' || c == u'[' || c == u'<' || (pipes && (!piped || MarkdownSyntax::isDelimiterRow(line))))
        return false;
    return !RestyleWindow::looksLikeFence(line, 0) && !MarkdownSyntax::matchList(line)
        && MarkdownSyntax::quoteLeader(line).depth == 0 && !MarkdownSyntax::matchHeading(line)
        && !MarkdownSyntax::isThematicBreak(line) && !MarkdownSyntax::isSetextUnderline(line);
}

bool plainInParagraph(U16View line, bool piped)
{
    // Up to three spaces leave a line's reading as it is at a paragraph's start; in a
    // list item's paragraph the item, read before the place, says whose line it is.
    size_t spaces = 0;
    while (spaces < line.size() && spaces < 4 && line[spaces] == u' ')
        ++spaces;
    return spaces < 4 && plainWherever(line.substr(spaces), piped);
}

std::optional<QuotedLine> plainUnderLine(U16View line, bool piped)
{
    // Under a paragraph's line no indent makes code of it.
    size_t blanks = 0;
    while (blanks < line.size() && CharacterClass::isAsciiBlank(line[blanks]))
        ++blanks;
    const MarkdownSyntax::QuoteLeader quote = MarkdownSyntax::quoteLeader(line.substr(blanks));
    const size_t marks = blanks + size_t(quote.offset);
    if (!plainWherever(line.substr(marks), piped))
        return std::nullopt;
    return QuotedLine{int(marks), quote.depth};
}

bool goesOnUnder(U16View above, U16View line)
{
    const auto upper = plainUnderLine(above, true);
    const auto lower = plainUnderLine(line, true);
    // A quotation's lines go on under the same marks.
    return upper && lower
        && ((upper->depth == 0 && lower->depth == 0)
            || above.substr(0, size_t(upper->marks)) == line.substr(0, size_t(lower->marks)));
}

bool opensItem(U16View line)
{
    return MarkdownSyntax::matchList(line) || Footnote::parseDefinition(line);
}

bool showsNoTable(const AttributedString& storage, int start, int* pipe)
{
    const U16View text = storage.string();
    const int at = TextOps::findUnit(substring(text, Range::fromTo(start, nextLineStart(text, start))), u'|');
    if (pipe)
        *pipe = at < 0 ? -1 : start + at;
    if (at < 0)
        return true;
    const Font* font = storage.attributes(start + at).font();
    return font && !font->isFixedPitch();
}

bool emptyLineBefore(U16View text, int start)
{
    if (start <= 0 || start > int(text.size()))
        return false;
    auto terminator = [](char16_t c) { return c == u'\n' || c == u'\r' || c == 0x2028 || c == 0x2029 || c == 0x85; };
    int p = start - 1;
    if (!terminator(text[size_t(p)]))
        return false;
    if (text[size_t(p)] == u'\n' && p > 0 && text[size_t(p - 1)] == u'\r')
        --p;
    return p == 0 || terminator(text[size_t(p - 1)]);
}

namespace {

// Whether the line at `start` is empty and the first line after it with text on
// it is indented (or none is found within a few): what such a line means hangs on
// the lines above the empty ones, as a list item's lines after empty lines do.
bool indentedAfterEmptyLines(U16View text, int start)
{
    auto empty = [&](int at) {
        return text[size_t(at)] == u'\n' || (text.substr(size_t(at), 2) == U16View(u"\r\n"));
    };
    int at = start;
    for (int count = 0; at < int(text.size()) && empty(at); at = nextLineStart(text, at))
        if (++count > 64)
            return true;
    return at > start && at < int(text.size()) && (text[size_t(at)] == u' ' || text[size_t(at)] == u'\t');
}

} // namespace

bool blockEdge(U16View text, int start, bool pipesMakeRows)
{
    // No run of plain lines, scanned as one for emphasis, goes on across it, and
    // the line is not indented (an indented line's meaning, such as which list
    // item it belongs to, hangs on the lines above it). Only an empty line ends a
    // run: one of blanks is a plain line of it.
    if (start <= 0 || start >= int(text.size()))
        return true;
    const U16View line = substring(text, Range::fromTo(start, nextLineStart(text, start)));
    if (line.front() == u' ' || line.front() == u'\t' || indentedAfterEmptyLines(text, start))
        return false;
    if (emptyLineBefore(text, start))
        return true;
    // A piped line under a piped one may be a row of the table above, whose columns
    // line up over all its rows.
    const int previous = lineStart(text, start - 1);
    const U16View above = substring(text, Range::fromTo(previous, start));
    if (pipesMakeRows && TextOps::containsUnit(line, u'|') && TextOps::containsUnit(above, u'|'))
        return false;
    if (MarkdownSyntax::matchList(line) || MarkdownSyntax::quoteLeader(line).depth > 0 || MarkdownSyntax::matchHeading(line))
        return true;
    // A definition (of a note or a link) under another: each is a block of one
    // line, which no paragraph goes on over.
    const auto definition = [](U16View l) { return Footnote::parseDefinition(l) || ReferenceLink::parseDefinition(l); };
    return line.front() == u'[' && above.front() == u'[' && definition(line) && definition(above);
}

bool paragraphCut(const AttributedString& storage, int start)
{
    const U16View text = storage.string();
    if (start <= 0 || start >= int(text.size()) || opaqueAt(storage, start) || opaqueAt(storage, start - 1))
        return false;
    const int previous = lineStart(text, start - 1);
    const int next = nextLineStart(text, start);
    const U16View line = substring(text, Range::fromTo(start, next));
    if (!goesOnUnder(substring(text, Range::fromTo(previous, start)), line))
        return false;
    // A piped line is a table's row under a delimiter row and its header over one.
    // Where the storage shows neither line as a table's, and no delimiter row
    // follows, both read as a paragraph's lines from here as in the whole text (an
    // edit that makes them rows shows in the lines a restyle compares).
    const bool header = next < int(text.size()) && TextOps::containsUnit(line, u'|')
        && MarkdownSyntax::isDelimiterRow(substring(text, Range::fromTo(next, nextLineStart(text, next))));
    return !header && showsNoTable(storage, previous) && showsNoTable(storage, start);
}

bool midLineCut(const AttributedString& storage, int at)
{
    const U16View text = storage.string();
    return MarkdownSyntax::linePlace(text, at) && !opaqueAt(storage, at) && !opaqueAt(storage, at - 1);
}

std::optional<AlertKind> alertGoingOn(const AttributedString& storage, int start)
{
    if (start <= 0 || start >= storage.length())
        return std::nullopt;
    const AttributeValue* here = storage.attribute(AttributeKey::AlertBlock, start);
    const AttributeValue* above = storage.attribute(AttributeKey::AlertBlock, start - 1);
    const MarkerPtr* mark = here ? std::get_if<MarkerPtr>(here) : nullptr;
    const auto* alert = mark ? dynamic_cast<const AlertMark*>(mark->get()) : nullptr;
    if (!alert || !above || !attributeValuesEqual(*here, *above))
        return std::nullopt;
    return alert->kind;
}

bool underNestedItem(const AttributedString& piece, int at)
{
    if (at <= 0 || at > piece.length())
        return false;
    const U16String text = blockText(piece);
    const MarkdownList::OffsetMap lists = MarkdownList::lines(U16View(text));
    const MarkdownList::Line* line = lists.find(lineRange(text, Range{at - 1, 0}).location);
    return line && !line->textIndent.empty() && CharacterClass::isAsciiBlank(line->textIndent.front());
}

bool itemStandsAlone(U16View text, const ParagraphCut& cut)
{
    return cut.item < 0 || cut.item >= int(text.size()) || !CharacterClass::isAsciiBlank(text[size_t(cut.item)]);
}

U16String context(U16View text, const ParagraphCut& cut)
{
    U16String out;
    // The lines below an alert's label read as the alert's whatever its label's spelling.
    if (cut.alert)
        out = u"> [!" + TextOps::uppercased(u16(AlertKinds::rawValue(*cut.alert))) + u"]\n";
    // Inside a line that opens with a leader, the leader gives the line its blocks
    // (and is the item line itself).
    if (cut.leader.length > 0 && cut.leader.location < cut.at)
        out += substring(text, cut.leader);
    else if (cut.item >= 0 && cut.item < cut.at) {
        const int end = nextLineStart(text, cut.item);
        if (end <= cut.at)
            out += substring(text, Range::fromTo(cut.item, end));
        // An empty line right under it makes its list loose, and the lines past it its own.
        if (end < cut.at && isBlank(substring(text, Range::fromTo(end, nextLineStart(text, end))), TrimSet::WhitespaceAndNewlines))
            out += u"\n";
    }
    // A line indented as code goes on a paragraph under a line of it.
    if (out.empty() && cut.at > 0 && cut.at < int(text.size()) && text[size_t(cut.at - 1)] == u'\n'
        && MarkdownSyntax::indentWidth(substring(text, Range::fromTo(cut.at, nextLineStart(text, cut.at)))) >= 4)
        out = u"x\n";
    // A word before the piece: its first line goes on a line, and looks back on a
    // blank, or on the character before it as the whole does.
    if (cut.at > 0 && text[size_t(cut.at - 1)] != u'\n') {
        out += u"x ";
        if (text[size_t(cut.at - 1)] != u' ')
            out += text[size_t(cut.at - 1)];
    }
    return out;
}

int lazyItem(U16View text, int from, int to, int inherited)
{
    int end = to;
    if (end > from && text[size_t(end - 1)] == u'\n')
        --end;
    // Over an empty line only indented lines go on a list item (a note ends there).
    bool overEmpty = false;
    U16View below;
    for (;;) {
        int start = end;
        while (start > from && text[size_t(start - 1)] != u'\n')
            --start;
        // The part of a line that a place inside it starts.
        if (start == from && start > 0 && text[size_t(start - 1)] != u'\n')
            return inherited;
        const U16View line = substring(text, Range::fromTo(start, end));
        if (opensItem(line))
            return MarkdownSyntax::indentWidth(line) < 4 && !(overEmpty && !MarkdownSyntax::matchList(line)) ? start : -1;
        const bool empty = isBlank(line, TrimSet::WhitespaceAndNewlines);
        if (empty ? below.empty() || !CharacterClass::isAsciiBlank(below.front()) : !plainUnderLine(line, true))
            return -1;
        overEmpty = overEmpty || empty;
        if (start == from)
            return inherited;
        below = line;
        end = start - 1;
    }
}

bool opensBareParagraph(U16View text, int start)
{
    return start >= 0 && start < int(text.size()) && (start == 0 || emptyLineBefore(text, start))
        && plainWherever(substring(text, Range::fromTo(start, nextLineStart(text, start))), true);
}

bool staysBare(U16View text, int from, int to, bool bare)
{
    const int n = int(text.size());
    for (int p = nextLineStart(text, from); bare && p <= to && p < n; p = nextLineStart(text, p))
        bare = plainInParagraph(substring(text, Range::fromTo(p, nextLineStart(text, p))), true);
    return bare;
}

int nextCloser(U16View text, int at, unsigned open, bool lineOpen)
{
    for (int q = std::max(at, 0); q < int(text.size()) && text[size_t(q)] != u'\n'; ++q) {
        const char16_t c = text[size_t(q)];
        if ((open & MarkdownSyntax::delimiterBits(c))
            || (lineOpen && (c == u'`' || c == u']' || c == u'>' || c == u')')))
            return q;
    }
    return -1;
}

int partStart(U16View text, int position)
{
    const int p = std::clamp(position, 0, int(text.size()));
    const int floor = std::max(0, p - longLine);
    for (int q = p; q > floor; --q)
        if (text[size_t(q - 1)] == u'\n')
            return q;
    return floor == 0 ? 0 : p - linePart;
}

int partEnd(U16View text, int position)
{
    const int n = int(text.size());
    const int p = std::clamp(position, 0, n);
    const int ceiling = std::min(n, p + longLine);
    for (int q = p; q < ceiling; ++q)
        if (text[size_t(q)] == u'\n')
            return q + 1;
    return ceiling == n ? n : p + linePart;
}

const LineReader::Line& LineReader::lineAt(int at)
{
    if (line_.start >= 0 && at >= line_.start && at <= line_.end)
        return line_;
    const U16View text = storage_.string();
    line_.ticks.reset();
    line_.start = lineStart(text, at);
    const int feed = TextOps::findUnit(text, u'\n', std::clamp(at, 0, int(text.size())));
    line_.end = feed < 0 ? int(text.size()) : feed;
    const U16View line = substring(text, Range::fromTo(line_.start, line_.end));
    const bool isLong = line_.end - line_.start > longLine;
    line_.leader = isLong ? MarkdownSyntax::containerLeader(line) : 0;
    // One starting with "[" (minified JSON) is plain wherever it stands unless it defines a link or a note.
    line_.longPlain = isLong
        && ((line_.leader > 0 ? plainWherever(line.substr(size_t(line_.leader))) : plainInParagraph(line))
            || (line_.leader == 0 && line.front() == u'[' && !TextOps::containsUnit(line, u'|')
                && !ReferenceLink::parseDefinition(line) && !Footnote::parseDefinition(line)));
    return line_;
}

Range LineReader::leader(int at)
{
    const Line& line = lineAt(at);
    return line.longPlain && line.leader > 0 && at > line.start + line.leader && at <= line.end
        ? Range{line.start, line.leader}
        : Range{0, 0};
}

bool LineReader::longPlainLine(int at)
{
    return lineAt(at).longPlain;
}

bool LineReader::cutsAt(int at)
{
    const U16View text = storage_.string();
    if (at <= 0 || at >= int(text.size()))
        return false;
    if (text[size_t(at - 1)] == u'\n')
        return paragraphCut(storage_, at);
    // Inside the line's text, past its leader.
    if (!longPlainLine(at) || at <= lineAt(at).start + lineAt(at).leader || !midLineCut(storage_, at))
        return false;
    // The line up to the place must not read as a break or an underline on its own.
    const U16View before = substring(text, Range::fromTo(lineAt(at).start, at));
    return !MarkdownSyntax::isThematicBreak(before) && !MarkdownSyntax::isSetextUnderline(before);
}

bool LineReader::ticksStayOpen(int at, int ticks)
{
    if (ticks <= 0)
        return true;
    lineAt(at);
    Line& line = line_;
    if (!line.ticks) {
        const U16View text = U16View(storage_.string()).substr(0, size_t(line.end));
        std::vector<std::pair<int, int>> runs;
        for (int i = TextOps::findUnit(text, u'`', line.start); i >= 0; i = TextOps::findUnit(text, u'`', i)) {
            int e = i;
            while (e < line.end && text[size_t(e)] == u'`')
                ++e;
            runs.emplace_back(i, e - i);
            i = e;
        }
        for (size_t k = runs.size(); k-- > 1;)
            runs[k - 1].second = std::max(runs[k - 1].second, runs[k].second);
        line.ticks = std::move(runs);
    }
    const auto next = std::lower_bound(line.ticks->begin(), line.ticks->end(), at,
                                       [](const std::pair<int, int>& run, int p) { return run.first < p; });
    return next == line.ticks->end() || next->second < ticks;
}

bool LineReader::runsOn(U16View segment, int at, int& ticks)
{
    int own = 0;
    if (MarkdownSyntax::lineRunsOn(segment, &own))
        return true;
    ticks = ticks && own ? std::min(ticks, own) : std::max(ticks, own);
    return !ticksStayOpen(at, ticks);
}

int LineReader::nextPlace(int at)
{
    const U16View text = storage_.string();
    const int n = int(text.size());
    if (at >= n)
        return n;
    const Line& line = lineAt(at);
    // Only a long plain line is cut inside: past any other, the next line's start.
    if (!line.longPlain)
        return nextLineStart(text, at);
    for (int q = at + 1; q < line.end; ++q)
        if (MarkdownSyntax::linePlace(text, q))
            return q;
    return std::min(n, line.end + 1);
}

} // namespace velkin::ParagraphCuts
