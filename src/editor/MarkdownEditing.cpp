#include "editor/MarkdownEditing.h"

#include "editor/ListContinuation.h"
#include "markdown/MarkdownSyntax.h"

#include "platform/regex/Regex.h"
#include "platform/text/CharacterClass.h"
#include "platform/text/Lines.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"

#include <algorithm>

namespace velkin::MarkdownEditing {

namespace {

// Whether `line` (a line of a text) takes the line under it into its block when that line is no
// block's start of its own: a list item's or a quotation's text does (a table's rows too).
bool takesLineUnder(U16View line)
{
    while (!line.empty() && (line.back() == u'\n' || line.back() == u'\r'))
        line.remove_suffix(1);
    if (isBlank(line, TrimSet::AsciiBlanks))
        return false;
    return MarkdownSyntax::quoteLeader(line).depth > 0 || line.front() == u' ' || line.front() == u'\t'
        || MarkdownSyntax::matchList(line).has_value();
}

// Where the line break that ends at `at` starts (a CRLF as one).
int lineBreakStart(U16View text, int at)
{
    return at >= 2 && text[size_t(at - 1)] == u'\n' && text[size_t(at - 2)] == u'\r' ? at - 2 : at - 1;
}

// The line end given, or without one the text's own.
U16String lineEndOr(U16View text, U16View lineEnd)
{
    return lineEnd.empty() ? lineEnding(text) : U16String(lineEnd);
}

int length(U16View s) { return static_cast<int>(s.size()); }


// The selection clamped to the text, its start moved back and its end moved forward
// off the middle of a character.
Range normalized(U16View text, Range selection)
{
    const long long n = length(text);
    const long long start = std::clamp<long long>(selection.location, 0, n);
    const long long end = std::clamp<long long>(static_cast<long long>(selection.location) + std::max(selection.length, 0),
                                                start, n);
    int s = static_cast<int>(start);
    int e = static_cast<int>(end);
    if (splitsCharacter(text, s))
        --s;
    if (selection.length <= 0)
        e = s;
    else if (splitsCharacter(text, e))
        ++e;
    return Range::fromTo(s, e);
}

const Regex& headingPrefixRegex()
{
    static const Regex re("^(#{1,6})[ \\t]+");
    return re;
}

int headingPrefixLength(U16View line)
{
    const auto m = headingPrefixRegex().firstMatch(line, Regex::Anchored);
    return m ? m->range().length : 0;
}

U16String repeated(U16View piece, int count)
{
    U16String out;
    for (int i = 0; i < count; ++i)
        out += piece;
    return out;
}

// ----- tables -----------------------------------------------------------------------------

struct Line {
    U16View text;     // without its terminator
    Range range;      // without its terminator
    Range enclosing;  // with its terminator
    U16View terminator;
};

std::vector<Line> lines(U16View text)
{
    std::vector<Line> out;
    for (const LineRange& r : lineRanges(text))
        out.push_back({substring(text, r.content), r.content, r.enclosing,
                       substring(text, Range::fromTo(r.content.end(), r.enclosing.end()))});
    return out;
}

bool contains(U16View s, char16_t c) { return s.find(c) != U16View::npos; }

// Fence lines and the lines between them; any ``` or ~~~ line opens or closes.
std::vector<bool> fenceFlags(const std::vector<Line>& ls)
{
    std::vector<bool> flags(ls.size(), false);
    bool inside = false;
    for (size_t i = 0; i < ls.size(); ++i) {
        const U16View t = trimmed(ls[i].text, TrimSet::AsciiBlanks);
        if (TextOps::hasPrefix(t, u"```") || TextOps::hasPrefix(t, u"~~~")) {
            flags[i] = true;
            inside = !inside;
        } else {
            flags[i] = inside;
        }
    }
    return flags;
}

bool isTableRowCandidate(const Line& line, bool fenced)
{
    return !fenced && contains(line.text, u'|') && !isBlank(line.text, TrimSet::Whitespace);
}

bool isDelimiterRow(const Line& line, bool fenced)
{
    if (fenced || !contains(line.text, u'|') || !contains(line.text, u'-'))
        return false;
    for (char16_t c : trimmed(line.text, TrimSet::Whitespace))
        if (c != u'|' && c != u':' && c != u'-' && c != u' ' && c != u'\t')
            return false;
    return true;
}

struct TableBlock {
    int header = 0;
    int delimiter = 1;
    int last = 1;  // the last body row (the delimiter row when there is none)
};

std::optional<TableBlock> tableBlock(int containing, const std::vector<Line>& ls, const std::vector<bool>& fenced)
{
    const int n = static_cast<int>(ls.size());
    int i = 0;
    while (i < n) {
        if (i > 0 && isDelimiterRow(ls[size_t(i)], fenced[size_t(i)]) &&
            isTableRowCandidate(ls[size_t(i) - 1], fenced[size_t(i) - 1])) {
            TableBlock table{i - 1, i, i};
            while (table.last + 1 < n && isTableRowCandidate(ls[size_t(table.last) + 1], fenced[size_t(table.last) + 1]))
                ++table.last;
            if (containing >= table.header && containing <= table.last)
                return table;
            i = table.last + 1;
        } else {
            ++i;
        }
    }
    return std::nullopt;
}

struct TableContext {
    std::vector<Line> lines;
    int caretLine = 0;
    TableBlock table;
};

std::optional<TableContext> tableAtCaret(U16View text, int caret)
{
    TableContext ctx;
    ctx.lines = lines(text);
    if (ctx.lines.empty())
        return std::nullopt;
    const auto found = std::find_if(ctx.lines.begin(), ctx.lines.end(),
                                    [caret](const Line& l) { return l.enclosing.end() > caret; });
    ctx.caretLine = static_cast<int>((found == ctx.lines.end() ? ctx.lines.end() - 1 : found) - ctx.lines.begin());
    const auto table = tableBlock(ctx.caretLine, ctx.lines, fenceFlags(ctx.lines));
    if (!table)
        return std::nullopt;
    ctx.table = *table;
    return ctx;
}

std::vector<int> cellWidths(U16View row)
{
    const std::vector<U16View> parts = splitAt(row, u'|');
    size_t lo = 0;
    size_t hi = parts.size();
    if (hi > lo && isBlank(parts[lo], TrimSet::Whitespace))
        ++lo;
    if (hi > lo && isBlank(parts[hi - 1], TrimSet::Whitespace))
        --hi;
    std::vector<int> widths;
    for (size_t i = lo; i < hi; ++i)
        widths.push_back(std::max(3, length(parts[i])));
    return widths;
}

U16String emptyRow(const std::vector<int>& widths)
{
    if (widths.empty())
        return u"|   |";
    U16String row = u"|";
    for (int w : widths) {
        row.append(size_t(w), u' ');
        row += u'|';
    }
    return row;
}

U16String appendColumn(U16View row, bool isDelimiter)
{
    U16String out(trimmedTrailing(row, TrimSet::AsciiBlanks));
    if (out.empty() || out.back() != u'|')
        out += u" |";
    out += isDelimiter ? u" ----- |" : u"       |";
    return out;
}

bool hasLeadingPipe(U16View row)
{
    const U16View t = trimmedLeading(row, TrimSet::Whitespace);
    return !t.empty() && t.front() == u'|';
}

// Cell separators before `end`; a backslash-escaped pipe belongs to its cell.
int separatorsBefore(U16View row, int end)
{
    int count = 0;
    for (int i = 0; i < end; ++i) {
        const char16_t c = row[size_t(i)];
        if (c == u'\\')
            ++i;
        else if (c == u'|')
            ++count;
    }
    return count;
}

// The cell with its inner dashes marked for the alignment; its blanks stay. A cell that is too
// short to carry the colons and still hold a dash grows to ":-", "-:" or ":-:".
U16String alignedDelimiterCell(U16View cell, TableAlignment alignment)
{
    const Range inner = trimmedRange(cell, TrimSet::AsciiBlanks);
    if (inner.length == 0)
        return U16String(cell);
    const int minimum = alignment == TableAlignment::center ? 3 : 2;
    U16String marks(size_t(std::max(inner.length, minimum)), u'-');
    if (alignment == TableAlignment::left || alignment == TableAlignment::center)
        marks.front() = u':';
    if (alignment == TableAlignment::right || alignment == TableAlignment::center)
        marks.back() = u':';
    U16String out(cell.substr(0, size_t(inner.location)));
    out += marks;
    out += cell.substr(size_t(inner.end()));
    return out;
}

} // namespace

// ----- headings ----------------------------------------------------------------------------

std::optional<TextEdit> heading(U16View text, Range selection, int level)
{
    if (selection.location > length(text))
        return std::nullopt;
    const Range sel = normalized(text, selection);
    const Range block = paragraphRange(text, sel);
    const U16View old = substring(text, block);

    std::vector<LineRange> paragraphs = paragraphRanges(old);
    if (paragraphs.empty())
        paragraphs.push_back({Range{0, 0}, Range{0, 0}});

    const U16String prefix = level > 0 ? repeated(u"#", level) + u" " : U16String();
    U16String block2;
    int firstOldPrefix = 0;
    for (size_t i = 0; i < paragraphs.size(); ++i) {
        const U16View line = substring(old, paragraphs[i].content);
        const int oldPrefix = headingPrefixLength(line);
        if (i == 0)
            firstOldPrefix = oldPrefix;
        block2 += prefix;
        block2 += line.substr(size_t(oldPrefix));
        block2 += substring(old, Range::fromTo(paragraphs[i].content.end(), paragraphs[i].enclosing.end()));
    }
    if (block2 == old)
        return std::nullopt;

    TextEdit edit{block, block2, {}};
    const int newLength = length(block2);
    if (!sel.empty() || paragraphs.size() > 1) {
        const LineRange& lastLine = paragraphs.back();
        const int finalBreak = lastLine.enclosing.length - lastLine.content.length;
        edit.selection = {block.location, std::max(newLength - finalBreak, 0)};
    } else {
        const int newPrefix = level > 0 ? level + 1 : 0;
        const int offset = sel.location - block.location;
        const int moved = offset > firstOldPrefix ? offset - firstOldPrefix + newPrefix : newPrefix;
        edit.selection = {block.location + std::clamp(moved, 0, newLength), 0};
    }
    return edit;
}

// ----- emphasis and tags -------------------------------------------------------------------

std::optional<TextEdit> unwrap(U16View text, Range selection, U16View open, U16View close)
{
    const Range sel = normalized(text, selection);
    if (sel.length < 1)
        return std::nullopt;
    const U16View selected = substring(text, sel);
    const int o = length(open);
    const int c = length(close);

    if (TextOps::hasPrefix(selected, open) && TextOps::hasSuffix(selected, close) && sel.length >= o + c) {
        const U16View inner = selected.substr(size_t(o), size_t(sel.length - o - c));
        return TextEdit{sel, U16String(inner), {sel.location, length(inner)}};
    }
    if (sel.location >= o && sel.end() + c <= length(text) && text.substr(size_t(sel.location - o), size_t(o)) == open &&
        text.substr(size_t(sel.end()), size_t(c)) == close) {
        return TextEdit{{sel.location - o, o + sel.length + c}, U16String(selected), {sel.location - o, sel.length}};
    }
    return std::nullopt;
}

namespace {

// What a wrapping command wraps of a selection: not its final line end (LF, CRLF
// or CR), which the markers would hold apart from its line, nor the leader of a
// list item, quote or heading line it starts at (the markers would end the block).
// A selection of line ends alone wraps nothing: the markers go in at its start and
// its line ends stay, as the command never removes what it leaves outside them.
Range wrapped(U16View text, Range selection)
{
    Range sel = normalized(text, selection);
    int end = sel.end();
    if (end > sel.location && text[size_t(end - 1)] == u'\n')
        --end;
    if (end > sel.location && text[size_t(end - 1)] == u'\r')
        --end;
    const U16View kept = substring(text, Range::fromTo(sel.location, end));
    if (std::all_of(kept.begin(), kept.end(), [](char16_t c) { return c == u'\n' || c == u'\r'; }))
        return {sel.location, 0};
    const Range line = lineContentRange(text, sel.location);
    const auto leader = ListContinuation::parse(substring(text, line));
    const int after = line.location + (leader ? leader->length : headingPrefixLength(substring(text, line)));
    if (sel.location < after && end > after)
        sel.location = after;
    return Range::fromTo(sel.location, end);
}

TextEdit enclose(U16View text, Range sel, U16View open, U16View close)
{
    U16String replacement(open);
    replacement += substring(text, sel);
    replacement += close;
    return {sel, std::move(replacement), {sel.location + length(open), sel.length}};
}

} // namespace

TextEdit wrap(U16View text, Range selection, U16View marker)
{
    const Range sel = wrapped(text, selection);
    if (sel.empty())
        return {sel, U16String(marker) + U16String(marker), {sel.location + length(marker), 0}};
    if (auto edit = unwrap(text, sel, marker, marker))
        return *edit;
    return enclose(text, sel, marker, marker);
}

U16String italicMarker(U16View text, Range selection)
{
    const Range sel = normalized(text, selection);
    const auto isWord = [text](int i) {
        if (i < 0 || i >= length(text))
            return false;
        const char16_t c = text[size_t(i)];
        return CharacterClass::isAsciiAlphanumeric(c) || c == u'_';
    };
    if (isWord(sel.location - 1) || isWord(sel.end()) || contains(substring(text, sel), u'_'))
        return u"*";
    return u"_";
}

TextEdit italic(U16View text, Range selection)
{
    const Range sel = wrapped(text, selection);
    if (!sel.empty()) {
        if (auto edit = unwrap(text, sel, u"_", u"_"))
            return *edit;
        if (auto edit = unwrap(text, sel, u"*", u"*"))
            return *edit;
    }
    return wrap(text, sel, italicMarker(text, sel));
}

TextEdit tagWrap(U16View text, Range selection, U16View tag)
{
    const U16String open = u"<" + U16String(tag) + u">";
    const U16String close = u"</" + U16String(tag) + u">";
    const Range sel = wrapped(text, selection);
    if (sel.empty())
        return {sel, open + close, {sel.location + length(open), 0}};
    if (auto edit = unwrap(text, sel, open, close))
        return *edit;
    return enclose(text, sel, open, close);
}

TextEdit underline(U16View text, Range selection)
{
    const Range sel = wrapped(text, selection);
    if (auto edit = unwrap(text, sel, u"<u>", u"</u>"))
        return *edit;
    if (auto edit = unwrap(text, sel, u"<ins>", u"</ins>"))
        return *edit;
    return tagWrap(text, sel, u"u");
}

// ----- links, images, rules ----------------------------------------------------------------

TextEdit link(U16View text, Range selection)
{
    const Range sel = wrapped(text, selection);
    if (sel.empty())
        return {sel, u"[text](url)", {sel.location + 1, 4}};
    U16String replacement = u"[";
    replacement += substring(text, sel);
    replacement += u"](url)";
    return {sel, std::move(replacement), {sel.location + 1 + sel.length + 2, 3}};
}

TextEdit image(U16View text, Range selection)
{
    const Range sel = wrapped(text, selection);
    if (sel.empty())
        return {sel, u"![alt](url)", {sel.location + 2, 3}};
    U16String replacement = u"![";
    replacement += substring(text, sel);
    replacement += u"](url)";
    return {sel, std::move(replacement), {sel.location + 2 + sel.length + 2, 3}};
}

TextEdit horizontalRule(U16View text, Range selection, U16View lineEnd)
{
    const int p = normalized(text, selection).location;
    U16String replacement = leadingBreaks(text, p, lineEnd);
    replacement += u"---";
    replacement += lineEndOr(text, lineEnd);
    const int caret = p + length(replacement);
    return {{p, 0}, std::move(replacement), {caret, 0}};
}

// ----- pipe tables -------------------------------------------------------------------------

std::optional<TextEdit> addTableRow(U16View text, Range selection)
{
    const Range sel = normalized(text, selection);
    const auto ctx = tableAtCaret(text, sel.location);
    if (!ctx)
        return std::nullopt;
    const U16String row = emptyRow(cellWidths(ctx->lines[size_t(ctx->table.delimiter)].text));
    const U16String eol = lineEnding(text);
    const Line& anchor = ctx->lines[size_t(std::max(ctx->caretLine, ctx->table.delimiter))];
    if (!anchor.terminator.empty()) {
        const int at = anchor.enclosing.end();
        return TextEdit{{at, 0}, row + eol, {at + 2, 0}};
    }
    const int at = anchor.range.end();
    return TextEdit{{at, 0}, eol + row, {at + length(eol) + 2, 0}};
}

std::optional<TextEdit> addTableColumn(U16View text, Range selection)
{
    const Range sel = normalized(text, selection);
    const auto ctx = tableAtCaret(text, sel.location);
    if (!ctx)
        return std::nullopt;
    const TableBlock& table = ctx->table;
    U16String replacement;
    int growthAbove = 0;
    for (int i = table.header; i <= table.last; ++i) {
        const Line& line = ctx->lines[size_t(i)];
        const U16String row = appendColumn(line.text, i == table.delimiter);
        if (i < ctx->caretLine)
            growthAbove += length(row) - line.range.length;
        replacement += row;
        if (i < table.last)
            replacement += line.terminator;  // each row keeps its own line break
    }
    const int start = ctx->lines[size_t(table.header)].range.location;
    const int end = ctx->lines[size_t(table.last)].range.end();
    const int caret = std::min(start + length(replacement), sel.location + growthAbove);
    return TextEdit{Range::fromTo(start, end), std::move(replacement), {caret, 0}};
}

std::optional<TextEdit> setTableAlignment(U16View text, Range selection, TableAlignment alignment)
{
    const Range sel = normalized(text, selection);
    const auto ctx = tableAtCaret(text, sel.location);
    if (!ctx)
        return std::nullopt;
    const Line& caretLine = ctx->lines[size_t(ctx->caretLine)];
    const Line& delimiter = ctx->lines[size_t(ctx->table.delimiter)];

    // The caret's cell counted from the first cell, whether or not the rows start with a pipe.
    const int inLine = std::clamp(sel.location - caretLine.range.location, 0, caretLine.range.length);
    const int column = std::max(separatorsBefore(caretLine.text, inLine) - (hasLeadingPipe(caretLine.text) ? 1 : 0), 0);
    const size_t part = size_t(column) + (hasLeadingPipe(delimiter.text) ? 1 : 0);

    const std::vector<U16View> parts = splitAt(delimiter.text, u'|');
    if (part >= parts.size())
        return std::nullopt;
    const U16String cell = alignedDelimiterCell(parts[part], alignment);
    if (cell == parts[part])
        return std::nullopt;

    U16String row;
    int cellEnd = delimiter.range.location;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            row += u'|';
        row += i == part ? U16View(cell) : parts[i];
        if (i <= part)
            cellEnd += (i > 0 ? 1 : 0) + length(parts[i]);
    }
    // A cell that had to grow pushes what follows it on its row.
    const int growth = length(cell) - length(parts[part]);
    const auto shifted = [&](int p) { return p >= cellEnd ? p + growth : p; };
    const Range after = Range::fromTo(shifted(sel.location), shifted(sel.end()));
    return TextEdit{delimiter.range, std::move(row), after};
}

// ----- block insertion helpers ---------------------------------------------------------------

U16String lineEnding(U16View text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n')
            return u"\n";
        if (text[i] == u'\r')
            return i + 1 < text.size() && text[i + 1] == u'\n' ? u"\r\n" : u"\r";
    }
    return u"\n";
}

U16String leadingBreaks(U16View text, int position, U16View lineEnd)
{
    const int p = std::clamp(position, 0, length(text));
    if (p == 0)
        return {};
    int breaks = 0;
    int q = p;
    while (breaks < 2 && q > 0) {
        const char16_t c = text[size_t(q) - 1];
        if (c == u'\n')
            q -= (q >= 2 && text[size_t(q) - 2] == u'\r') ? 2 : 1;
        else if (c == u'\r')
            q -= 1;
        else
            break;
        ++breaks;
    }
    return repeated(lineEndOr(text, lineEnd), 2 - breaks);
}

U16String trailingBreak(U16View text, int position, U16View lineEnd)
{
    const int p = std::clamp(position, 0, length(text));
    if (p == length(text))
        return {};
    const char16_t c = text[size_t(p)];
    if (c == u'\n' || c == u'\r')
        return {};
    return lineEndOr(text, lineEnd);
}

TextEdit paste(U16View text, Range range, U16View pasted, U16View lineEnd)
{
    const Range r = normalized(text, range);
    U16String replacement(pasted);
    const std::vector<Line> ls = lines(pasted);
    if (!ls.empty()) {
        const std::vector<bool> fenced = fenceFlags(ls);
        const int last = int(ls.size()) - 1;
        const bool endsWithBreak = pasted.back() == u'\n' || pasted.back() == u'\r';
        const char16_t before = r.location > 0 ? text[size_t(r.location) - 1] : u'\n';
        if (tableBlock(0, ls, fenced)) {
            if (before != u'\n' && before != u'\r')
                replacement.insert(0, leadingBreaks(text, r.location, lineEnd));
            else if (const U16View above = r.location > 0 ? substring(text, lineRange(text, Range{lineBreakStart(text, r.location), 0}))
                                                          : U16View();
                     !isBlank(above, TrimSet::WhitespaceAndNewlines)
                     && (takesLineUnder(above) || trailingBreak(text, r.end(), lineEnd).empty()))
                // On an empty line right under text, or at the start of the line under a list item's or a
                // quotation's text (which would take its rows in), a blank line parts them.
                replacement.insert(0, lineEndOr(text, lineEnd));
        }
        // Text right under the table's last row, the rest of the caret's line or the line below it, would
        // read as one of its rows: a blank line parts them.
        if (tableBlock(last, ls, fenced)) {
            const U16String eol = lineEndOr(text, lineEnd);
            if (!trailingBreak(text, r.end(), lineEnd).empty())
                replacement += repeated(eol, endsWithBreak ? 1 : 2);
            else if (endsWithBreak && r.end() < length(text)
                     && isBlank(substring(text, lineRange(text, Range{lineRange(text, Range{r.end(), 0}).end(), 0})),
                                TrimSet::WhitespaceAndNewlines)
                     && lineRange(text, Range{r.end(), 0}).end() < length(text)) {
                // At a line's end above a blank line, the line's own break ends the table's last row
                // and the blank line parts it from what follows: the pasted break would be a second one.
                replacement.resize(replacement.size() - (pasted.ends_with(u"\r\n") ? 2 : 1));
            } else if (!endsWithBreak && r.end() < length(text)) {
                const Range next = lineRange(text, Range{lineRange(text, Range{r.end(), 0}).end(), 0});
                if (!isBlank(substring(text, next), TrimSet::WhitespaceAndNewlines))
                    replacement += eol;
            }
        }
    }
    return TextEdit{r, replacement, Range{r.location + length(replacement), 0}};
}

BlockPlacement blockPlacement(U16View text, int position, Range leaderLine, U16View lineEnd)
{
    const int n = length(text);
    const U16String eol = lineEndOr(text, lineEnd);
    auto isBreak = [](char16_t c) { return c == u'\n' || c == u'\r'; };
    BlockPlacement place;
    U16View line = substring(text, Range::fromTo(std::clamp(leaderLine.location, 0, n), std::clamp(leaderLine.end(), 0, n)));
    while (!line.empty() && isBreak(line.back()))
        line.remove_suffix(1);
    const MarkdownSyntax::QuoteLeader quote = MarkdownSyntax::quoteLeader(line);
    const U16View quoted = line.substr(0, size_t(quote.offset));
    const U16View rest = line.substr(size_t(quote.offset));
    place.quoted = quote.depth > 0;
    place.leader = U16String(quoted);
    if (const auto item = MarkdownSyntax::matchList(rest)) {
        // The item's text column, tabs kept where they stand.
        for (const char16_t c : rest.substr(0, size_t(std::clamp(item->text.location, 0, length(rest)))))
            place.leader += c == u'\t' ? u'\t' : u' ';
    } else {
        for (size_t i = 0; i < rest.size() && (rest[i] == u' ' || rest[i] == u'\t'); ++i)
            place.leader += rest[i];
    }
    place.blank = U16String(trimmed(quoted, TrimSet::AsciiBlanks));
    // A line is blank when nothing but quote leaders and blanks stand on it.
    auto blankLine = [&](int at) {
        U16View l = substring(text, lineRange(text, Range{at, 0}));
        while (!l.empty() && isBreak(l.back()))
            l.remove_suffix(1);
        return isBlank(l.substr(size_t(MarkdownSyntax::quoteLeader(l).offset)), TrimSet::AsciiBlanks);
    };
    int at = std::clamp(position, 0, n);
    if (at < n && isBreak(text[size_t(at)]))
        at += text[size_t(at)] == u'\r' && at + 1 < n && text[size_t(at + 1)] == u'\n' ? 2 : 1;
    const bool lineStart = at == 0 || isBreak(text[size_t(at - 1)]);
    if (!lineStart)
        place.before = eol + place.blank + eol;
    else if (at > 0 && !blankLine(at - (at >= 2 && text[size_t(at - 1)] == u'\n' && text[size_t(at - 2)] == u'\r' ? 2 : 1)))
        place.before = place.blank + eol;
    if (at < n && !blankLine(at))
        place.after = place.blank + eol + (lineStart ? U16String() : place.leader);
    place.at = at;
    // At the end of the text the block keeps the final line break the text had.
    place.lastLineEnd = at < n || (n > 0 && isBreak(text[size_t(n - 1)]));
    return place;
}

TextEdit placingLines(const BlockPlacement& placement, U16View lines, U16View lineEnd)
{
    U16String body;
    size_t from = 0;
    for (;;) {
        const size_t end = lines.find(lineEnd, from);
        const U16View line = lines.substr(from, end == U16View::npos ? U16View::npos : end - from);
        body += isBlank(line, TrimSet::AsciiBlanks) ? placement.blank : placement.leader + U16String(line);
        if (end == U16View::npos)
            break;
        body += lineEnd;
        from = end + lineEnd.size();
    }
    if (placement.lastLineEnd)
        body += lineEnd;
    const int caret = placement.at + length(placement.before) + length(placement.leader)
        + (lines.starts_with(u"| ") ? 2 : lines.starts_with(u"|") ? 1 : 0);
    return TextEdit{{placement.at, 0}, placement.before + body + placement.after, {caret, 0}};
}

U16String withoutCommonIndent(U16View lines, U16View lineEnd)
{
    std::vector<U16View> parts;
    for (size_t from = 0;;) {
        const size_t end = lineEnd.empty() ? U16View::npos : lines.find(lineEnd, from);
        parts.push_back(lines.substr(from, end == U16View::npos ? U16View::npos : end - from));
        if (end == U16View::npos)
            break;
        from = end + lineEnd.size();
    }
    size_t common = U16View::npos;
    for (const U16View line : parts)
        if (!isBlank(line, TrimSet::AsciiBlanks))
            common = std::min(common, std::min(line.find_first_not_of(u' '), line.size()));
    if (common == U16View::npos || common == 0)
        return U16String(lines);
    U16String out;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            out += lineEnd;
        out += parts[i].substr(std::min(common, parts[i].size()));
    }
    return out;
}

std::optional<std::pair<int, Range>> belowCode(U16View text, int position)
{
    const std::vector<LineRange> ranges = lineRanges(text);
    if (ranges.empty())
        return std::pair{position, Range{0, 0}};
    const std::vector<U16View> lines = MarkdownSyntax::lineTexts(text, ranges);
    const std::vector<MarkdownSyntax::FenceLine> fences = MarkdownSyntax::fenceLines(lines);
    MarkdownSyntax::LineFlags fenced(fences.size());
    for (size_t j = 0; j < fences.size(); ++j)
        fenced[j] = fences[j].isInside;
    const MarkdownSyntax::LineFlags indented = MarkdownSyntax::indentedCodeLines(lines, fenced);
    const int count = int(std::min(ranges.size(), fences.size()));
    auto code = [&](int j) { return j >= 0 && j < count && (fenced[size_t(j)] || indented[size_t(j)]); };
    int k = 0;
    while (k + 1 < count && ranges[size_t(k)].enclosing.end() <= position)
        ++k;
    if (!code(k))
        return std::pair{position, k < count ? ranges[size_t(k)].enclosing : Range{position, 0}};
    const bool isFence = fenced[size_t(k)];
    int first = k;
    if (isFence) {
        while (first > 0 && !(fences[size_t(first)].isDelimiter && fences[size_t(first)].opens))
            --first;
    } else {
        while (first > 0 && (code(first - 1) || isBlank(lines[size_t(first - 1)], TrimSet::AsciiBlanks)))
            --first;
        while (first < k && !code(first))
            ++first;
    }
    int last = k;
    for (int j = k + 1; j < count; ++j) {
        if (isFence ? fenced[size_t(j)] : code(j))
            last = j;
        else if (isFence || !isBlank(lines[size_t(j)], TrimSet::AsciiBlanks))
            break;
    }
    // A fence that never closes holds whatever goes below it.
    if (isFence && last == count - 1 && !(last > first && fences[size_t(last)].isDelimiter && !fences[size_t(last)].opens))
        return std::nullopt;
    // Indented code takes the indent of the text above it; a fence that of its opening line.
    Range leaderLine = ranges[size_t(first)].enclosing;
    if (!isFence) {
        int above = first - 1;
        while (above >= 0 && isBlank(lines[size_t(above)], TrimSet::AsciiBlanks))
            --above;
        leaderLine = above >= 0 ? ranges[size_t(above)].enclosing : Range{0, 0};
    }
    return std::pair{ranges[size_t(last)].content.end(), leaderLine};
}


TableSize tableSize(int tag)
{
    if (tag >= 1000) {
        const int rows = tag % 1000;
        return {tag / 1000, rows == 0 ? 1 : rows};
    }
    return {1, std::max(tag % 1000, 1)};
}

} // namespace velkin::MarkdownEditing
