#include "editor/ListContinuation.h"

#include "editor/MarkdownEditing.h"
#include "markdown/MarkdownSyntax.h"
#include "platform/regex/Regex.h"
#include "platform/text/CharacterClass.h"
#include "platform/text/Lines.h"
#include "platform/text/Utf.h"

#include <algorithm>

namespace velkin::ListContinuation {

namespace {

int length(U16View s) { return static_cast<int>(s.size()); }

const Regex& quoteRegex()
{
    static const Regex re("^([ ]{0,3}(?:>[ \\t]?)+)");
    return re;
}

const Regex& itemRegex()
{
    static const Regex re("^([ \\t]*)([-*+]|\\d{1,9}[.)])([ \\t]+)(?:(\\[[ xX]\\])([ \\t]+|$))?");
    return re;
}

// "1." gives "2.", "9)" gives "10)"; bullets, and numbers that are not plain ASCII digits, stay.
U16String nextMarker(U16View marker)
{
    if (marker.empty() || (marker.back() != u'.' && marker.back() != u')'))
        return U16String(marker);
    const U16View digits = marker.substr(0, marker.size() - 1);
    if (digits.empty() || digits.size() > 9)
        return U16String(marker);
    long long n = 0;
    for (char16_t c : digits) {
        if (!CharacterClass::isAsciiDigit(c))
            return U16String(marker);
        n = n * 10 + (c - u'0');
    }
    U16String out;
    for (char c : std::to_string(n + 1))
        out += char16_t(c);
    out += marker.back();
    return out;
}

// Whether a line may stand in a fenced block of a quotation or a list item: such a line
// carries quote leaders, starts with a blank (it is indented under an item's text) or
// opens an item ("- ```"). Other lines hold their leader alone, and no fence need be read.
bool mayBeContained(U16View line)
{
    return line.empty() || CharacterClass::isAsciiBlank(line.front()) || line.front() == u'>' || parse(line);
}

// A blank line goes with the nearest line above it that holds text.
bool mayBeContained(U16View text, Range content)
{
    U16View line = substring(text, content);
    int start = content.location;
    while (isBlank(line, TrimSet::AsciiBlanks) && start > 0) {
        const Range above = lineContentRange(text, start - 1 - (start >= 2 && text[size_t(start) - 1] == u'\n'
                                                                   && text[size_t(start) - 2] == u'\r'));
        line = substring(text, above);
        start = above.location;
    }
    return mayBeContained(line);
}

// What a new line in fenced code starts with: the line's quote leaders down to the fence's
// depth and the indentation of the item the fence stands in, and where the caret must stand
// for it (past the quote leaders, and past an opening line's marker). Nothing for a fence
// in neither, or for a line outside its container (a closing fence line left of the item).
struct CodeLeader {
    int length = 0;
    U16String continuation;
};

std::optional<CodeLeader> codeLeader(U16View line, const Fence& fence)
{
    if (fence.depth <= 0 && fence.column < 0)
        return std::nullopt;
    const std::optional<int> quoteEnd = MarkdownSyntax::quoteLevelsEnd(line, fence.depth);
    if (!quoteEnd)
        return std::nullopt;
    CodeLeader leader{*quoteEnd, U16String(line.substr(0, size_t(*quoteEnd)))};
    // The item's columns count from past the leaders' optional blank: the new line has one.
    if (!leader.continuation.empty() && !CharacterClass::isAsciiBlank(leader.continuation.back()))
        leader.continuation += u' ';
    if (fence.column < 0)
        return leader;
    const U16View content = line.substr(size_t(*quoteEnd));
    // A line indented as far as the item's text gives its own blanks up to there, tabs and all.
    int width = 0;
    size_t blanks = 0;
    while (width < fence.column && blanks < content.size() && CharacterClass::isAsciiBlank(content[blanks]))
        width = content[blanks++] == u'\t' ? (width / 4 + 1) * 4 : width + 1;
    if (width >= fence.column) {
        leader.continuation += content.substr(0, blanks);
        leader.length += int(blanks);
    } else if (blanks == content.size() || fence.opens) {
        // A blank line, or the item's own line ("1. ```"): spaces up to the item's text.
        leader.continuation.append(size_t(fence.column), u' ');
        if (fence.opens)
            leader.length += int(std::min(content.find_first_of(u"`~"), content.size()));
    } else if (fence.depth <= 0) {
        return std::nullopt;
    }
    return leader;
}

} // namespace

std::optional<Leader> parse(U16View line)
{
    // A thematic break is never continued, even when it looks like a bullet.
    if (MarkdownSyntax::isThematicBreak(line))
        return std::nullopt;

    Leader leader;
    int quote = 0;
    if (const auto m = quoteRegex().firstMatch(line, Regex::Anchored); m && m->range(1).length > 0) {
        const U16View prefix = m->text(line, 1);
        leader.continuation = U16String(prefix);
        if (!CharacterClass::isAsciiBlank(prefix.back()))
            leader.continuation += u' ';
        quote = length(prefix);
    }

    const U16View rest = line.substr(size_t(quote));
    int item = 0;
    // Inside a quote too, a thematic break continues the quote but not as a list.
    if (quote == 0 || !MarkdownSyntax::isThematicBreak(rest)) {
        if (const auto m = itemRegex().firstMatch(rest, Regex::Anchored)) {
            leader.continuation += m->text(rest, 1);
            leader.continuation += nextMarker(m->text(rest, 2));
            leader.continuation += m->text(rest, 3);
            if (m->has(4) && m->range(4).length > 0) {
                leader.continuation += u"[ ]";
                const U16View after = m->text(rest, 5);
                leader.continuation += after.empty() ? U16View(u" ") : after;
            }
            item = m->range().length;
        }
    }

    leader.length = quote + item;
    if (leader.length == 0)
        return std::nullopt;
    leader.quoteLength = item > 0 ? quote : 0;
    return leader;
}

std::optional<Fence> fenceOf(U16View text, Range line)
{
    const int start = std::clamp(line.location, 0, length(text));
    const U16View before = text.substr(0, size_t(start));
    MarkdownSyntax::FenceReader reader;
    for (const U16View l : MarkdownSyntax::lineTexts(before, lineRanges(before)))
        reader.read(l);
    const U16View own = substring(text, Range::fromTo(start, std::clamp(line.end(), start, length(text))));
    const std::vector<LineRange> ranges = lineRanges(own);
    if (ranges.empty())
        return reader.isOpen() ? std::optional<Fence>(Fence{reader.openDepth(), reader.openColumn(), false}) : std::nullopt;
    const MarkdownSyntax::FenceLine reading = reader.read(substring(own, ranges.front().content));
    if (!reading.isInside)
        return std::nullopt;
    return Fence{reader.openDepth(), reader.openColumn(), reading.opens};
}

std::optional<TextEdit> newline(U16View text, Range selection)
{
    return newline(text, selection, [text](Range line) { return fenceOf(text, line); });
}

std::optional<TextEdit> newline(U16View text, Range selection, const FenceOfLine& fenced, U16View lineEnd)
{
    const int n = length(text);
    if (selection.location < 0 || selection.length < 0 || selection.location > n ||
        selection.length > n - selection.location)
        return std::nullopt;
    // Never cut a character in two: the selection grows to whole characters.
    int start = selection.location;
    int end = selection.end();
    if (splitsCharacter(text, start))
        --start;
    if (selection.empty())
        end = start;
    else if (splitsCharacter(text, end))
        ++end;
    const Range sel = Range::fromTo(start, end);

    // The caret's line without its terminator, whichever line break the document uses.
    const Range content = lineContentRange(text, sel.location);
    const int lineStart = content.location;
    const U16View line = substring(text, content);
    U16String replacement = lineEnd.empty() ? MarkdownEditing::lineEnding(text) : U16String(lineEnd);

    // The line's own leader first: the fence state reads the lines above it.
    const auto leader = parse(line);
    if (leader || mayBeContained(text, content)) {
        if (const std::optional<Fence> fence = fenced(content)) {
            // In code the line goes on inside the fence's quotation or item, with no marker.
            const std::optional<CodeLeader> code = codeLeader(line, *fence);
            if (!code || sel.location < lineStart + code->length)
                return std::nullopt;
            replacement += code->continuation;
            const int caret = sel.location + length(replacement);
            return TextEdit{sel, std::move(replacement), {caret, 0}};
        }
    }
    if (!leader || sel.location < lineStart + leader->length)
        return std::nullopt;

    const int leaderEnd = lineStart + leader->length;
    if (sel.empty() && sel.location == content.end() &&
        isBlank(substring(text, Range::fromTo(leaderEnd, content.end())), TrimSet::AsciiBlanks)) {
        // An empty item ends the list: its leader goes, a quote prefix stays, no line is added.
        const int from = lineStart + leader->quoteLength;
        return TextEdit{Range::fromTo(from, sel.location), U16String(), {from, 0}};
    }

    replacement += leader->continuation;
    const int caret = sel.location + length(replacement);
    return TextEdit{sel, std::move(replacement), {caret, 0}};
}

} // namespace velkin::ListContinuation
