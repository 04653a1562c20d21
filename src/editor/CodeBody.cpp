#include "editor/CodeBody.h"

#include "editor/RestyleWindow.h"
#include "markdown/MarkdownSyntax.h"
#include "platform/text/CharacterClass.h"
#include "platform/text/Lines.h"

#include <algorithm>

namespace velkin::CodeBodies {

using RestyleWindow::lineStart;
using RestyleWindow::nextLineStart;

bool fenceLike(U16View line)
{
    return line.find(u"```") != U16View::npos || line.find(u"~~~") != U16View::npos;
}

std::vector<int> fenceLikeLines(U16View text, int from, int to)
{
    const int n = int(text.size());
    const int begin = lineStart(text, std::clamp(from, 0, n));
    const U16View span = text.substr(0, size_t(nextLineStart(text, std::clamp(to, 0, n))));
    std::vector<int> out;
    for (const U16View run : {U16View(u"```"), U16View(u"~~~")}) {
        const size_t middle = out.size();
        for (size_t p = span.find(run, size_t(begin)); p != U16View::npos;) {
            out.push_back(lineStart(text, int(p)));
            const int next = nextLineStart(text, int(p));
            p = next >= int(span.size()) ? U16View::npos : span.find(run, size_t(next));
        }
        std::inplace_merge(out.begin(), out.begin() + std::ptrdiff_t(middle), out.end());
    }
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

namespace {

// The starts of the lines where a run of ``` or ~~~ begins from `from` up to `to`.
std::vector<int> linesWithRunsFrom(U16View text, int from, int to)
{
    const int n = int(text.size());
    from = std::clamp(from, 0, n);
    to = std::clamp(to, from, n);
    const U16View span = text.substr(0, size_t(std::min(n, to + 2)));
    std::vector<int> out;
    for (const U16View run : {U16View(u"```"), U16View(u"~~~")})
        for (size_t p = span.find(run, size_t(from)); p != U16View::npos && int(p) < to; p = span.find(run, p + 1))
            out.push_back(lineStart(text, int(p)));
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

} // namespace

bool update(std::vector<int>& starts, U16View text, Range range, int delta)
{
    // The lines the change touched start from the one holding its start up to
    // its old end: a line starting there changed too (text came before it or its
    // line feed went).
    const int from = lineStart(text, std::clamp(range.location, 0, int(text.size())));
    const int oldEnd = range.end() - delta;
    const auto first = std::lower_bound(starts.begin(), starts.end(), from);
    const auto last = std::upper_bound(first, starts.end(), oldEnd);
    const bool hadOne = first != last;
    const auto kept = starts.erase(first, last);
    for (auto it = kept; it != starts.end(); ++it)
        *it += delta;
    // Where none of those lines held a run, a new one meets the new text: the
    // rest of them, however long, was there before and held none.
    const std::vector<int> found = hadOne ? fenceLikeLines(text, from, range.end())
                                          : linesWithRunsFrom(text, range.location - 2, range.end());
    starts.insert(kept, found.begin(), found.end());
    return hadOne || !found.empty();
}

namespace {

bool blank(U16View line)
{
    return isBlank(line, TrimSet::WhitespaceAndNewlines);
}

// The line's text after `depth` quote leaders; nothing when it has fewer.
std::optional<U16View> afterLeaders(U16View line, int depth)
{
    const std::optional<int> start = MarkdownSyntax::quoteLevelsEnd(line, depth);
    return start ? std::optional<U16View>(line.substr(size_t(*start))) : std::nullopt;
}

// Whether a line keeps a block that ends with its item or quotation open.
bool keepsOpen(U16View line, int depth, int column)
{
    const std::optional<U16View> content = afterLeaders(line, depth);
    return content && (column < 0 || blank(*content) || MarkdownSyntax::indentWidth(*content) >= column);
}

// Whether a line's text after `depth` quote leaders starts left of `column`; a
// line with fewer leaders, which ends a block in a quotation, does not.
bool leftOf(U16View line, int depth, int column)
{
    const std::optional<U16View> content = afterLeaders(line, depth);
    return content && !blank(*content) && MarkdownSyntax::indentWidth(*content) < column;
}

// The lines of `text` from `from` to `to` as the block scanner cuts them, each
// with where it starts, until `visit` says stop; false then.
template <typename Visit>
bool eachLine(U16View text, int from, int to, Visit visit)
{
    if (from >= to)
        return true;
    const U16View part = substring(text, Range::fromTo(from, to));
    for (const LineRange& line : lineRanges(part))
        if (!visit(substring(part, line.content), from + line.content.location))
            return false;
    return true;
}

} // namespace

FenceMap read(U16View text, const std::vector<int>& starts)
{
    FenceMap map;
    const int n = int(text.size());
    MarkdownSyntax::FenceReader reader;
    std::optional<CodeBody> open;
    // An indented fence (after its quote leaders) may stand in a list item, whose
    // text column the lines read here do not tell: while none of its lines stands
    // left of the fence, it reads the same in an item or not.
    bool undecided = false;
    auto finish = [&](int end, bool closed, bool whole) {
        open->end = end;
        open->closed = closed;
        open->whole = open->whole && whole;
        map.blocks.push_back(std::move(*open));
        open.reset();
    };
    // The body lines from `from` to `to`, which can only end the open block.
    auto readBody = [&](int from, int to) {
        if (!open)
            return true;
        if (undecided && open->depth == 0)
            return eachLine(text, from, to, [&](U16View line, int at) {
                if (!leftOf(line, 0, open->column))
                    return true;
                map.unknownFrom = at;
                return false;
            });
        if (!open->contained())
            return true;
        bool known = true;
        eachLine(text, from, to, [&](U16View line, int at) {
            if (undecided && leftOf(line, open->depth, open->column)) {
                map.unknownFrom = at;
                known = false;
                return false;
            }
            if (reader.read(line).isInside)
                return true;
            finish(at, false, at > 0 && text[size_t(at - 1)] == u'\n');
            return false;
        });
        return known;
    };
    int readTo = 0;
    for (const int start : starts) {
        if (start < readTo)
            continue;
        if (!readBody(readTo, start)) {
            map.known = open->opener;
            return map;
        }
        const int next = nextLineStart(text, start);
        const U16View line = substring(text, Range::fromTo(start, next));
        const std::vector<LineRange> pieces = lineRanges(line);
        const bool single = pieces.size() == 1;
        for (size_t k = 0; k < pieces.size(); ++k) {
            const U16View piece = substring(line, pieces[k].content);
            if (open && undecided) {
                MarkdownSyntax::FenceReader ahead = reader;
                const MarkdownSyntax::FenceLine rec = ahead.read(piece);
                if (!(rec.isDelimiter && !rec.opens) && leftOf(piece, open->depth, open->column)) {
                    map.known = open->opener;
                    map.unknownFrom = start + pieces[k].content.location;
                    return map;
                }
            }
            const MarkdownSyntax::FenceLine rec = reader.read(piece);
            if (open) {
                if (rec.isDelimiter && !rec.opens) {
                    finish(start, true, single);
                    continue;
                }
                if (rec.isInside && !rec.opens)
                    continue;
                finish(start + pieces[k].content.location, false, single);
            }
            if (rec.opens) {
                open = CodeBody{start, n, rec.quoted ? std::nullopt : rec.language, reader.openDepth(),
                                rec.listed ? reader.openColumn() : -1, false, single, next};
                const int indent = MarkdownSyntax::indentWidth(afterLeaders(piece, open->depth).value_or(piece));
                undecided = !rec.listed && indent >= 2;
                if (undecided)
                    open->column = indent;
            }
        }
        readTo = next;
    }
    if (!readBody(readTo, n)) {
        map.known = open->opener;
        return map;
    }
    if (open)
        finish(n, false, true);
    return map;
}

bool keep(FenceMap& map, U16View text, Range range, int delta)
{
    const int oldEnd = range.end() - delta;
    const int from = lineStart(text, std::clamp(range.location, 0, int(text.size())));
    if (map.known != std::numeric_limits<int>::max()) {
        if (map.known >= oldEnd) {
            map.known += delta;
            map.unknownFrom += delta;
        } else if (from <= map.unknownFrom) {
            // The lines from the block's fence to the one left of it changed.
            return false;
        }
    }
    auto first = std::partition_point(map.blocks.begin(), map.blocks.end(),
                                      [&](const CodeBody& b) { return b.end < from; });
    for (auto it = first; it != map.blocks.end(); ++it) {
        CodeBody& block = *it;
        if (block.opener > oldEnd) {
            block.opener += delta;
            block.end += delta;
            block.codeStart += delta;
            continue;
        }
        // A change inside its opening line that adds no line break moves it alone: the
        // caller reads the fence lines again (as for any change of a fence-like line).
        const bool inOpening = from == block.opener && oldEnd < block.codeStart
            && !std::ranges::any_of(substring(text, range), [](char16_t c) { return CharacterClass::isNewline(c); });
        block.codeStart = block.codeStart >= oldEnd ? block.codeStart + delta
            : block.codeStart > range.location    ? std::min(block.codeStart, range.end())
                                                  : block.codeStart;
        // The change is in the block, or on its last line: past its opening line (a
        // fence-like line, which the caller watches), before the line it ended at.
        const bool toTheEnd = !block.closed && block.end == int(text.size()) - delta;
        if (block.contained() && !inOpening) {
            if (from <= block.opener || (!toTheEnd && oldEnd >= block.end))
                return false;
            // Every line the change made keeps it open.
            const bool keeps = eachLine(text, from, nextLineStart(text, range.end()), [&](U16View line, int) {
                return keepsOpen(line, block.depth, block.column);
            });
            if (!keeps)
                return false;
        }
        block.end += delta;
    }
    return true;
}

bool knows(const FenceMap& map, int at)
{
    return at < map.known;
}

std::optional<CodeBody> around(const FenceMap& map, const std::vector<int>& starts, int first, int last)
{
    if (!knows(map, last))
        return std::nullopt;
    const auto after = std::lower_bound(starts.begin(), starts.end(), first);
    if (after != starts.end() && *after < last)
        return std::nullopt;
    auto block = std::partition_point(map.blocks.begin(), map.blocks.end(),
                                      [&](const CodeBody& b) { return b.opener < first; });
    if (block == map.blocks.begin())
        return std::nullopt;
    --block;
    if (!block->whole || first >= block->end || last > block->end)
        return std::nullopt;
    return *block;
}

std::optional<CodeBody> openedAt(const FenceMap& map, int at)
{
    const auto block = std::partition_point(map.blocks.begin(), map.blocks.end(),
                                            [&](const CodeBody& b) { return b.opener < at; });
    if (block == map.blocks.end() || block->opener != at || !block->whole)
        return std::nullopt;
    return *block;
}

std::optional<CodeBody> closedAt(const FenceMap& map, int at)
{
    const auto block = std::partition_point(map.blocks.begin(), map.blocks.end(),
                                            [&](const CodeBody& b) { return b.end < at; });
    if (block == map.blocks.end() || block->end != at || !block->closed || !block->whole)
        return std::nullopt;
    return *block;
}

} // namespace velkin::CodeBodies
