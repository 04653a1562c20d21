#include "help/HelpPage.h"

#include "platform/regex/Regex.h"
#include "platform/text/CharacterClass.h"
#include "platform/text/Lines.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"

namespace velkin {

namespace {

const Regex& linkPattern()
{
    static const Regex pattern(u"!?\\[([^\\]]*)\\]\\([^)]*\\)");
    return pattern;
}

// The text less the run of `c` it begins with.
U16View dropLeading(U16View text, char16_t c)
{
    size_t i = 0;
    while (i < text.size() && text[i] == c)
        ++i;
    return text.substr(i);
}

} // namespace

std::vector<U16View> HelpPage::lines(U16View markdown)
{
    std::vector<U16View> result = splitAt(markdown, u'\n');
    for (U16View& line : result)
        if (!line.empty() && line.back() == u'\r')
            line.remove_suffix(1);
    return result;
}

bool HelpPage::isFenceLine(U16View line)
{
    const U16View t = trimmed(line, TrimSet::Whitespace);
    return TextOps::hasPrefix(t, u"```") || TextOps::hasPrefix(t, u"~~~");
}

U16String HelpPage::plainLine(U16View line)
{
    // Links and images become their text.
    U16String text;
    {
        size_t copied = 0;
        for (const Regex::Match& m : linkPattern().matches(line)) {
            const Range whole = m.range();
            text.append(line.substr(copied, size_t(whole.location) - copied));
            text.append(m.text(line, 1));
            copied = size_t(whole.end());
        }
        text.append(line.substr(copied));
    }

    U16View rest = trimmedLeading(text, TrimSet::AsciiBlanks);
    // Quote arrows and heading number signs, each with the spaces after it.
    while (!rest.empty() && (rest[0] == u'>' || rest[0] == u'#'))
        rest = dropLeading(rest.substr(1), u' ');
    // One list bullet.
    if (rest.size() >= 2 && (rest[0] == u'-' || rest[0] == u'*' || rest[0] == u'+') && rest[1] == u' ')
        rest = rest.substr(2);

    U16String plain(rest);
    for (const char16_t* marker : {u"***", u"**", u"~~", u"*", u"_", u"`"})
        plain = TextOps::replacingAll(plain, marker, u"");
    for (char16_t& c : plain)
        if (c == u'|')
            c = u' ';
    return U16String(trimmed(plain, TrimSet::Whitespace));
}

std::vector<U16String> HelpPage::plainLines(U16View markdown)
{
    std::vector<U16String> result;
    bool fenced = false;
    for (U16View line : lines(markdown)) {
        if (isFenceLine(line)) {
            fenced = !fenced;
            result.emplace_back();
        } else if (fenced) {
            result.emplace_back(trimmed(line, TrimSet::Whitespace));
        } else {
            result.push_back(plainLine(line));
        }
    }
    return result;
}

std::vector<HelpHeading> HelpPage::headingsIn(U16View markdown)
{
    std::vector<HelpHeading> result;
    const std::vector<U16View> source = lines(markdown);
    const std::vector<U16String> plain = plainLines(markdown);
    int offset = 0;
    bool fenced = false;
    for (size_t k = 0; k < source.size(); ++k) {
        const int lineStart = offset;
        offset += TextOps::graphemeCount(plain[k]) + 1;
        if (isFenceLine(source[k])) {
            fenced = !fenced;
            continue;
        }
        if (fenced)
            continue;
        const U16View t = trimmed(source[k], TrimSet::Whitespace);
        size_t hashes = 0;
        while (hashes < t.size() && t[hashes] == u'#')
            ++hashes;
        if (hashes < 2 || hashes > 6 || hashes >= t.size() || t[hashes] != u' ')
            continue;
        U16String title(trimmed(plainLine(t.substr(hashes)), TrimSet::Whitespace));
        if (title.empty())
            continue;
        HelpHeading heading;
        heading.level = int(hashes);
        heading.anchor = slug(title);
        heading.title = std::move(title);
        heading.markdownLine = U16String(t);
        heading.plainTextOffset = lineStart;
        result.push_back(std::move(heading));
    }
    return result;
}

U16String HelpPage::slug(U16View text)
{
    const U16String lower = TextOps::lowercased(text);
    const U16View t = trimmed(lower, TrimSet::Whitespace);
    const std::vector<int> bounds = TextOps::graphemeBoundaries(t);
    U16String out;
    for (size_t b = 0; b + 1 < bounds.size(); ++b) {
        const Range cluster = Range::fromTo(bounds[b], bounds[b + 1]);
        const char32_t first = codePointAt(t, cluster.location);
        if (CharacterClass::isAlphabetic(first) || CharacterClass::hasNumericType(first))
            out.append(substring(t, cluster));
        else if (cluster.length == 1 && (first == u' ' || first == u'-' || first == u'_'))
            out.push_back(u'-');
    }
    size_t start = 0;
    while (start < out.size() && out[start] == u'-')
        ++start;
    size_t stop = out.size();
    while (stop > start && out[stop - 1] == u'-')
        --stop;
    return out.substr(start, stop - start);
}

std::optional<U16String> HelpPage::titleIn(U16View markdown)
{
    for (U16View line : lines(markdown)) {
        const U16View t = trimmed(line, TrimSet::AsciiBlanks);
        if (TextOps::hasPrefix(t, u"# "))
            return U16String(trimmed(t.substr(2), TrimSet::AsciiBlanks));
    }
    return std::nullopt;
}

U16String HelpPage::titleFromID(U16View id)
{
    std::vector<U16String> words;
    size_t start = 0;
    for (size_t i = 0; i <= id.size(); ++i) {
        if (i < id.size() && id[i] != u'-' && id[i] != u'_')
            continue;
        const U16View piece = id.substr(start, i - start);
        start = i + 1;
        if (piece.empty())
            continue;
        const int firstEnd = TextOps::graphemeBoundaries(piece)[1];
        words.push_back(TextOps::uppercased(piece.substr(0, size_t(firstEnd))) + U16String(piece.substr(size_t(firstEnd))));
    }
    return TextOps::joined(words, u" ");
}

HelpPage HelpPage::make(U16String id, U16String markdown)
{
    HelpPage page;
    page.id = std::move(id);
    page.markdown = std::move(markdown);
    page.headings = headingsIn(page.markdown);
    page.plainText = TextOps::joined(plainLines(page.markdown), u"\n");
    if (auto title = titleIn(page.markdown))
        page.title = std::move(*title);
    else
        page.title = titleFromID(page.id);
    return page;
}

const HelpHeading* HelpPage::heading(U16View anchor) const
{
    const U16String wanted = slug(anchor);
    for (const HelpHeading& h : headings)
        if (h.anchor == wanted)
            return &h;
    return nullptr;
}

} // namespace velkin
