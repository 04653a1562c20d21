#include "markdown/MarkdownList.h"

#include "markdown/Footnote.h"
#include "markdown/MarkdownSyntax.h"
#include "markdown/ReferenceLink.h"
#include "platform/text/CharacterClass.h"
#include "platform/text/Lines.h"

#include <algorithm>

namespace velkin {

namespace MarkdownList {

namespace {

struct Item {
    int indent;
    U16View textIndent;
    char16_t marker;
    int bullet;  // the indent width of the item's line, where its bullet stands
};

U16View leadingWhitespace(U16View s)
{
    size_t i = 0;
    while (i < s.size() && CharacterClass::isAsciiBlank(s[i]))
        ++i;
    return s.substr(0, i);
}

// Width of a whole string: a tab advances to the next multiple of 4, anything else counts 1.
int indentWidth(U16View s)
{
    int w = 0;
    for (char16_t c : s)
        w = c == u'\t' ? (w / 4 + 1) * 4 : w + 1;
    return w;
}

char16_t markerOf(U16View prefix)
{
    for (size_t i = prefix.size(); i-- > 0;)
        if (!CharacterClass::isAsciiBlank(prefix[i]))
            return prefix[i];
    return u'-';
}

bool interrupts(U16View line)
{
    return MarkdownSyntax::matchHeading(line) || MarkdownSyntax::isThematicBreak(line) ||
           MarkdownSyntax::isSetextUnderline(line) || Footnote::parseDefinition(line) ||
           ReferenceLink::parseDefinition(line);
}

} // namespace

const Line* OffsetMap::find(int offset) const
{
    auto it = std::lower_bound(entries.begin(), entries.end(), offset,
                               [](const std::pair<int, Line>& e, int o) { return e.first < o; });
    return it != entries.end() && it->first == offset ? &it->second : nullptr;
}

LineMap lines(const std::vector<U16View>& lineTexts, const std::vector<MarkdownSyntax::FenceLine>& fences)
{
    const size_t n = lineTexts.size();
    auto fenced = [&](size_t i) { return i < fences.size() && fences[i].isInside; };
    // No lazy line goes on from code: a line left of every item's text right
    // after a fenced block ends the list where that block ended for standing
    // there, or where the line stands at the list's own indentation or left of it.
    auto endsAfterBlock = [&](size_t i, int w, const Item& outermost) {
        if (i == 0 || !fenced(i - 1))
            return false;
        const MarkdownSyntax::FenceLine& before = fences[i - 1];
        return w <= outermost.bullet || !(before.isDelimiter && !before.opens);
    };
    LineMap out(n);
    std::vector<Item> stack;
    std::vector<size_t> block;
    bool sawBlank = false;
    bool loose = false;

    auto endList = [&] {
        if (loose)
            for (size_t i : block)
                out[i]->isLoose = true;
        stack.clear();
        block.clear();
        sawBlank = false;
        loose = false;
    };
    auto give = [&](size_t i, U16View textIndent, U16View lineIndent, bool start) {
        out[i] = Line{U16String(textIndent), U16String(lineIndent), start, false};
        block.push_back(i);
    };

    for (size_t i = 0; i < n; ++i) {
        const U16View line = lineTexts[i];
        if (isBlank(line, TrimSet::WhitespaceAndNewlines)) {
            if (!stack.empty())
                sawBlank = true;
            continue;
        }
        if (MarkdownSyntax::quoteLeader(line).offset >= 1) {
            endList();
            continue;
        }
        const U16View lineIndent = leadingWhitespace(line);
        const int w = indentWidth(lineIndent);
        // Outside a list, a marker indented four columns or more is code or a
        // paragraph's continuation, never an item.
        if (!fenced(i) && (!stack.empty() || w < 4)) {
            if (const auto m = MarkdownSyntax::matchList(line)) {
                const U16View prefix = line.substr(0, size_t(m->blanks.end()));
                const int width = indentWidth(prefix);
                const char16_t marker = markerOf(prefix);
                if (!stack.empty()) {
                    std::optional<Item> popped;
                    while (!stack.empty() && stack.back().indent > w) {
                        popped = stack.back();
                        stack.pop_back();
                    }
                    if (stack.empty() && popped && popped->marker != marker)
                        endList();
                }
                stack.push_back(Item{width, prefix, marker, w});
                give(i, prefix, lineIndent, true);
                loose = loose || sawBlank;
                sawBlank = false;
                continue;
            }
        }
        if (stack.empty())
            continue;
        const Item* owner = nullptr;
        for (size_t k = stack.size(); k-- > 0;)
            if (stack[k].indent <= w) {
                owner = &stack[k];
                break;
            }
        if (owner) {
            give(i, owner->textIndent, lineIndent, false);
            loose = loose || sawBlank;
            sawBlank = false;
        } else if (sawBlank || fenced(i) || interrupts(line) || endsAfterBlock(i, w, stack.front())) {
            endList();
        } else {
            give(i, stack.back().textIndent, lineIndent, false);
            sawBlank = false;
        }
    }
    if (loose)
        for (size_t i : block)
            out[i]->isLoose = true;
    return out;
}

namespace {

OffsetMap keyedByOffset(const std::vector<LineRange>& ranges, LineMap map)
{
    OffsetMap out;
    for (size_t i = 0; i < map.size(); ++i)
        if (map[i])
            out.entries.emplace_back(ranges[i].content.location, std::move(*map[i]));
    return out;
}

} // namespace

U16View hangingPrefix(U16View textIndent)
{
    size_t marker = textIndent.size();
    while (marker > 0 && CharacterClass::isAsciiBlank(textIndent[marker - 1]))
        --marker;
    if (marker == 0 || marker == textIndent.size())
        return textIndent;
    const U16View upToMarker = textIndent.substr(0, marker);
    if (indentWidth(textIndent) - indentWidth(upToMarker) < 5)
        return textIndent;
    return textIndent.substr(0, marker + 1);
}

OffsetMap lines(U16View text)
{
    const auto ranges = lineRanges(text);
    const auto texts = MarkdownSyntax::lineTexts(text, ranges);
    return keyedByOffset(ranges, lines(texts, MarkdownSyntax::fenceLines(texts)));
}

OffsetMap lines(const MarkdownSyntax::BlockLines& b)
{
    return keyedByOffset(b.index.lines(), lines(b.texts, b.fences));
}

} // namespace MarkdownList

} // namespace velkin
