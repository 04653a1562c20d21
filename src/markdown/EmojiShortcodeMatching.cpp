// Shortcodes in text: finding them, the name being typed, and showing one as its emoji.
#include "markdown/EmojiShortcode.h"

#include "markdown/MarkdownSyntax.h"
#include "platform/graphics/EmojiGlyphCache.h"
#include "platform/layout/TextMeasure.h"
#include "platform/text/CharacterClass.h"
#include "platform/text/Lines.h"
#include "platform/text/Utf.h"

#include <cmath>
#include <memory>

namespace velkin::EmojiShortcode {

namespace {

bool isNameUnit(char16_t c)
{
    if (c == u'+' || c == u'-' || c == u'_')
        return true;
    return !isSurrogate(c) && CharacterClass::isAlphanumeric(c);
}

bool isAsciiWordUnit(char16_t c)
{
    return CharacterClass::isAsciiAlphanumeric(c) || c == u'_';
}

bool sharesUnit(Range r, const std::vector<Range>& ranges)
{
    for (const Range& p : ranges)
        if (overlaps(r, p))
            return true;
    return false;
}

} // namespace

bool isShortcodeNameUnit(char16_t c)
{
    return CharacterClass::isAsciiAlphanumeric(c) || c == u'-' || c == u'+' || c == u'_';
}

const Regex& shortcodeRegex()
{
    static const Regex r("(?<![A-Za-z0-9_]):([-+_A-Za-z0-9]{1,48}):(?![A-Za-z0-9_])");
    return r;
}

std::vector<Range> ranges(U16View text)
{
    std::vector<Range> out;
    const size_t n = text.size();
    size_t p = 0;
    while (p < n) {
        if (text[p] != u':' || (p > 0 && isAsciiWordUnit(text[p - 1]))) {
            ++p;
            continue;
        }
        size_t q = p + 1;
        while (q < n && q - p - 1 < maxNameLength + 1 && isShortcodeNameUnit(text[q]))
            ++q;
        const size_t name = q - p - 1;
        if (name >= 1 && name <= maxNameLength && q < n && text[q] == u':' &&
            (q + 1 == n || !isAsciiWordUnit(text[q + 1]))) {
            out.push_back(Range::fromTo(int(p), int(q + 1)));
            p = q + 1;
        } else {
            ++p;
        }
    }
    return out;
}

std::vector<Range> protectedRanges(U16View text)
{
    std::vector<Range> out;
    // Matched by hand: a search that gave up on a long line would leave a
    // shortcode in an address to be drawn as its emoji.
    for (const Regex::Match& m : MarkdownSyntax::codeSpanMatches(text))
        out.push_back(m.range());
    for (const auto& matches : {MarkdownSyntax::linkMatches(text), MarkdownSyntax::imageMatches(text)})
        for (const Regex::Match& m : matches)
            if (m.has(4))
                out.push_back(m.range(4));
    return out;
}

std::vector<Match> matches(U16View text)
{
    std::vector<Match> out;
    if (text.find(u':') == U16View::npos)
        return out;
    std::vector<Range> guarded;
    bool guardedKnown = false;
    for (const Range& r : ranges(text)) {
        std::optional<U16String> resolved = emoji(substring(text, Range{r.location + 1, r.length - 2}));
        if (!resolved)
            continue;
        if (!guardedKnown) {
            guarded = protectedRanges(text);
            guardedKnown = true;
        }
        if (sharesUnit(r, guarded))
            continue;
        out.push_back({r, std::move(*resolved)});
    }
    return out;
}

bool isFenced(U16View text, Range line)
{
    if (line.location < 0 || line.location > int(text.size()))
        return false;
    const int stop = std::min<int>(int(text.size()), std::max(line.end(), line.location));
    const U16View head = text.substr(0, size_t(stop));
    const std::vector<LineRange> lines = lineRanges(head);
    int index = 0;
    while (index < int(lines.size()) && lines[size_t(index)].content.location < line.location)
        ++index;
    const MarkdownSyntax::LineFlags flags = MarkdownSyntax::fenceFlags(MarkdownSyntax::lineTexts(head, lines));
    return index < int(flags.size()) && flags[size_t(index)];
}

std::optional<Range> typingRange(U16View text, int caret)
{
    return typingRange(text, caret, [text](Range line) { return isFenced(text, line); });
}

std::optional<Range> typingRange(U16View text, int caret, const std::function<bool(Range line)>& fenced)
{
    if (caret < 1 || caret > int(text.size()))
        return std::nullopt;
    int i = caret - 1;
    while (i >= 0 && isNameUnit(text[size_t(i)]))
        --i;
    if (i < 0 || text[size_t(i)] != u':' || caret - i - 1 > maxNameLength)
        return std::nullopt;
    const int colon = i;
    if (colon > 0) {
        const char16_t before = text[size_t(colon - 1)];
        if (before == u'_' || (!isSurrogate(before) && CharacterClass::isAlphanumeric(before)))
            return std::nullopt;
    }
    const Range line = lineRange(text, {colon, 0});
    if (fenced(line))
        return std::nullopt;
    U16View lineText = substring(text, line);
    if (!lineText.empty() && lineText.back() == u'\n')
        lineText.remove_suffix(1);
    const int column = colon - line.location;
    for (const Regex::Match& m : MarkdownSyntax::codeSpanMatches(lineText))
        if (m.range().contains(column))
            return std::nullopt;
    return Range{colon, caret - colon};
}

void enumerateShortcodes(const AttributedString& text, const std::function<void(Range, const U16String&)>& body)
{
    if (text.string().find(u':') == U16String::npos)
        return;
    enumerateShortcodes(ProseLines(text), body);
}

void enumerateShortcodes(const ProseLines& lines, const std::function<void(Range, const U16String&)>& body)
{
    if (lines.text.find(u':') == U16View::npos)
        return;
    for (size_t i = 0; i < lines.count(); ++i) {
        if (lines.isCode(i))
            continue;
        const int start = lines.lines[i].content.location;
        for (const Match& m : matches(lines.texts[i]))
            body(Range{m.range.location + start, m.range.length}, m.emoji);
    }
}

bool showsSource(Range shortcode, Range selection)
{
    if (selection.length == 0)
        return shortcode.location < selection.location && selection.location < shortcode.end();
    return overlaps(shortcode, selection);
}

double width(U16View emoji, double size)
{
    return TextMeasure::emojiWidth(emoji, size);
}

void collapse(TextStorage& storage, Range range, const U16String& emoji)
{
    if (range.length <= 0 || range.location < 0 || range.end() > storage.length())
        return;
    const Font* at = storage.font(range.location);
    const Font font = at ? *at : Font::system(14);
    const double size = font.pointSize;
    const double w = width(emoji, size);

    storage.beginEditing();
    storage.addAttributes(Attributes{{AttributeKey::Font, Font::system(0.1)},
                                     {AttributeKey::ForegroundColor, Color::clear()}},
                          range);
    storage.addAttribute(AttributeKey::Kern, w, {range.end() - 1, 1});
    storage.addAttribute(AttributeKey::EmojiShortcode,
                         MarkerPtr(std::make_shared<EmojiMark>(emoji, size, w, font.capHeight())), range);
    const double lineHeight = std::ceil(1.2 * size);
    // Once one shortcode has raised its line, the others on it need not look
    // at the whole line again: many on one line would cost its length each.
    const ParagraphStyle* style = storage.paragraphStyle(range.location);
    if (!style || style->minimumLineHeight < lineHeight)
        raiseMinimumLineHeight(storage, lineRange(storage.string(), range), lineHeight);
    storage.endEditing();
}

void draw(QPainter& painter, const QRectF& rect, const EmojiMark& mark, Appearance appearance)
{
    if (!(rect.width() > 1) || !(rect.height() > 1) || mark.emoji.empty())
        return;
    // In the system font with the colour emoji font ahead of it: the text fonts
    // draw some emoji as black-and-white symbols.
    EmojiGlyphCache::shared().draw(painter, rect.topLeft(), mark.emoji, Font::system(mark.size),
                                   Color::text().toQColor(appearance));
}

} // namespace velkin::EmojiShortcode
