#include "editor/ListContinuation.h"

#include "editor/MarkdownEditing.h"
#include "markdown/MarkdownSyntax.h"
#include "platform/regex/Regex.h"
#include "platform/text/CharacterClass.h"
#include "platform/text/Lines.h"
#include "platform/text/Utf.h"

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

// A fence line or a line inside a fenced block. A line's fence state depends only on the lines
// before it, so the scan stops at the line itself.
bool isFenced(U16View text, Range line)
{
    const U16View upTo = text.substr(0, size_t(line.end()));
    const std::vector<LineRange> lines = lineRanges(upTo);
    if (lines.empty() || lines.back().content.location != line.location)
        return false;
    return MarkdownSyntax::fenceFlags(MarkdownSyntax::lineTexts(upTo, lines)).back();
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

std::optional<TextEdit> newline(U16View text, Range selection)
{
    return newline(text, selection, [text](Range line) { return isFenced(text, line); });
}

std::optional<TextEdit> newline(U16View text, Range selection, const std::function<bool(Range line)>& fenced,
                                U16View lineEnd)
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
    // The line's own leader first: the fence state reads the lines above it.
    const auto leader = parse(substring(text, content));
    if (!leader || fenced(content))
        return std::nullopt;
    if (sel.location < lineStart + leader->length)
        return std::nullopt;

    const int leaderEnd = lineStart + leader->length;
    if (sel.empty() && sel.location == content.end() &&
        isBlank(substring(text, Range::fromTo(leaderEnd, content.end())), TrimSet::AsciiBlanks)) {
        // An empty item ends the list: its leader goes, a quote prefix stays, no line is added.
        const int from = lineStart + leader->quoteLength;
        return TextEdit{Range::fromTo(from, sel.location), U16String(), {from, 0}};
    }

    U16String replacement = lineEnd.empty() ? MarkdownEditing::lineEnding(text) : U16String(lineEnd);
    replacement += leader->continuation;
    const int caret = sel.location + length(replacement);
    return TextEdit{sel, std::move(replacement), {caret, 0}};
}

} // namespace velkin::ListContinuation
