#include "editor/CodeBody.h"

#include "editor/RestyleWindow.h"
#include "markdown/MarkdownSyntax.h"
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

// The fence-like lines, each cut at every line end the block scanner knows (a
// carriage return alone ends a line too), read in a row: the lines between them
// change nothing.
struct Reading {
    std::vector<U16View> texts;
    std::vector<int> owner;   // the fence-like line each piece belongs to
    std::vector<bool> whole;  // whether that line is a single line to the scanner
    std::vector<MarkdownSyntax::FenceLine> fences;

    Reading(U16View text, const std::vector<int>& starts)
    {
        for (const int start : starts) {
            const U16View line = substring(text, Range::fromTo(start, nextLineStart(text, start)));
            const std::vector<LineRange> pieces = lineRanges(line);
            for (const U16View piece : MarkdownSyntax::lineTexts(line, pieces)) {
                texts.push_back(piece);
                owner.push_back(start);
                whole.push_back(pieces.size() == 1);
            }
        }
        fences = MarkdownSyntax::fenceLines(texts);
    }

    // The first piece of the line starting at `start`, or the count when none.
    size_t pieceAt(int start) const
    {
        return size_t(std::lower_bound(owner.begin(), owner.end(), start) - owner.begin());
    }

    // The block opened by the piece `open`, as long as its fences are single lines.
    std::optional<CodeBody> block(size_t open, U16View text) const
    {
        if (!whole[open])
            return std::nullopt;
        size_t close = open + 1;
        while (close < fences.size() && !fences[close].isDelimiter)
            ++close;
        if (close < fences.size() && !whole[close])
            return std::nullopt;
        const MarkdownSyntax::FenceLine& fence = fences[open];
        return CodeBody{owner[open], close < fences.size() ? owner[close] : int(text.size()),
                        fence.quoted ? std::nullopt : fence.language};
    }
};

} // namespace

std::optional<CodeBody> around(U16View text, const std::vector<int>& starts, int first, int last)
{
    const auto after = std::lower_bound(starts.begin(), starts.end(), first);
    if (after != starts.end() && *after < last)
        return std::nullopt;
    const Reading reading(text, starts);
    const size_t above = after == starts.end() ? reading.texts.size() : reading.pieceAt(*after);
    if (above == 0)
        return std::nullopt;
    const MarkdownSyntax::FenceLine& before = reading.fences[above - 1];
    if (!before.isInside || (before.isDelimiter && !before.opens))
        return std::nullopt;
    size_t open = above - 1;
    while (!reading.fences[open].opens)
        --open;
    return reading.block(open, text);
}

std::optional<CodeBody> openedAt(U16View text, const std::vector<int>& starts, int at)
{
    const Reading reading(text, starts);
    const size_t piece = reading.pieceAt(at);
    if (piece >= reading.texts.size() || reading.owner[piece] != at || !reading.fences[piece].opens)
        return std::nullopt;
    return reading.block(piece, text);
}

std::optional<CodeBody> closedAt(U16View text, const std::vector<int>& starts, int at)
{
    const Reading reading(text, starts);
    const size_t piece = reading.pieceAt(at);
    if (piece >= reading.texts.size() || reading.owner[piece] != at || !reading.fences[piece].isDelimiter
        || reading.fences[piece].opens)
        return std::nullopt;
    size_t open = piece;
    while (open > 0 && !reading.fences[open].opens)
        --open;
    const std::optional<CodeBody> body = reading.block(open, text);
    return body && body->end == at ? body : std::nullopt;
}

} // namespace velkin::CodeBodies
