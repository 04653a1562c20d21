#include "help/HelpSearch.h"

#include "platform/text/CharacterClass.h"
#include "platform/text/Lines.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"

#include <algorithm>

namespace velkin::HelpSearch {

namespace {

constexpr int snippetWidth = 140;
constexpr int occurrenceLimit = 50;

// A text folded for case- and diacritic-insensitive matching, with the way back from
// each folded unit to the code point of the original it came from.
struct FoldedText {
    U16String folded;
    std::vector<int> sourceStart;  // per folded unit
    std::vector<int> sourceEnd;    // per folded unit

    explicit FoldedText(U16View text)
    {
        folded.reserve(text.size());
        sourceStart.reserve(text.size());
        sourceEnd.reserve(text.size());
        const int n = int(text.size());
        for (int i = 0; i < n;) {
            const int length = codePointLength(text, i);
            const char16_t c = text[size_t(i)];
            if (c < 0x80) {
                push(CharacterClass::asciiLower(c), i, i + 1);
            } else {
                for (char16_t unit : TextOps::searchFolded(text.substr(size_t(i), size_t(length))))
                    push(unit, i, i + length);
            }
            i += length;
        }
    }

    void push(char16_t unit, int start, int end)
    {
        folded.push_back(unit);
        sourceStart.push_back(start);
        sourceEnd.push_back(end);
    }

    // The first match of a folded term at or after folded position `from`, as a range of the original.
    std::optional<Range> find(U16View term, size_t from = 0) const
    {
        if (term.empty())
            return std::nullopt;
        const size_t at = folded.find(term, from);
        if (at == U16String::npos)
            return std::nullopt;
        return Range::fromTo(sourceStart[at], sourceEnd[at + term.size() - 1]);
    }
};

bool containsFolded(U16View foldedText, U16View foldedTerm)
{
    return !foldedTerm.empty() && foldedText.find(foldedTerm) != U16View::npos;
}

int occurrences(U16View foldedTerm, U16View foldedText)
{
    if (foldedTerm.empty())
        return 0;
    int count = 0;
    size_t from = 0;
    while (count < occurrenceLimit) {
        const size_t at = foldedText.find(foldedTerm, from);
        if (at == U16View::npos)
            break;
        ++count;
        from = at + foldedTerm.size();
    }
    return count;
}

// The lower-cased words of a title: maximal runs of letters and numbers.
std::vector<U16String> wordStarts(U16View title)
{
    const U16String lower = TextOps::lowercased(title);
    std::vector<U16String> words;
    U16String current;
    const int n = int(lower.size());
    for (int i = 0; i < n;) {
        const char32_t c = codePointAt(lower, i);
        const int length = codePointLength(lower, i);
        if (CharacterClass::isAlphabetic(c) || CharacterClass::hasNumericType(c)) {
            current.append(U16View(lower).substr(size_t(i), size_t(length)));
        } else if (!current.empty()) {
            words.push_back(std::move(current));
            current.clear();
        }
        i += length;
    }
    if (!current.empty())
        words.push_back(std::move(current));
    return words;
}

// What a page's scoring, heading choice and snippet share for one query.
struct PageMatcher {
    const HelpPage& page;
    const std::vector<U16String>& terms;
    std::vector<U16String> foldedTerms;
    FoldedText plain;

    PageMatcher(const HelpPage& p, const std::vector<U16String>& t) : page(p), terms(t), plain(p.plainText)
    {
        for (const U16String& term : terms)
            foldedTerms.push_back(TextOps::searchFolded(term));
    }

    // The earliest match of any term in the plain text (the first term listed on a tie).
    std::optional<Range> firstMatch() const
    {
        std::optional<Range> best;
        for (const U16String& term : foldedTerms)
            if (auto r = plain.find(term))
                if (!best || r->location < best->location)
                    best = r;
        return best;
    }

    std::optional<HelpHeading> bestHeading() const
    {
        for (const HelpHeading& heading : page.headings) {
            const U16String folded = TextOps::searchFolded(heading.title);
            for (const U16String& term : foldedTerms)
                if (containsFolded(folded, term))
                    return heading;
        }
        const auto match = firstMatch();
        if (!match)
            return std::nullopt;
        const int characters = TextOps::graphemeCount(U16View(page.plainText).substr(0, size_t(match->location)));
        std::optional<HelpHeading> section;
        for (const HelpHeading& heading : page.headings)
            if (heading.plainTextOffset <= characters)
                section = heading;
        return section;
    }

    U16String openingLine() const
    {
        const std::vector<U16View> lines = splitAt(page.plainText, u'\n');
        for (size_t k = 1; k < lines.size(); ++k)
            if (!isBlank(lines[k], TrimSet::Whitespace))
                return U16String(lines[k]);
        return {};
    }

    U16String snippet(int width) const
    {
        width = std::max(width, 0);
        const auto match = firstMatch();
        if (!match)
            return openingLine();
        const U16View text = page.plainText;
        const size_t before = match->location > 0 ? text.rfind(u'\n', size_t(match->location) - 1) : U16View::npos;
        const size_t lineStart = before == U16View::npos ? 0 : before + 1;
        size_t lineEnd = text.find(u'\n', size_t(match->end()));
        if (lineEnd == U16View::npos)
            lineEnd = text.size();
        const U16View fullLine = text.substr(lineStart, lineEnd - lineStart);
        const Range kept = trimmedRange(fullLine, TrimSet::Whitespace);
        const U16View line = substring(fullLine, kept);

        // Everything below counts characters (grapheme clusters) of the trimmed line.
        const std::vector<int> bounds = TextOps::graphemeBoundaries(line);
        const int n = int(bounds.size()) - 1;
        if (width >= n)
            return U16String(line);
        const int relative = std::clamp(match->location - int(lineStart) - kept.location, 0, int(line.size()));
        const int off = int(std::upper_bound(bounds.begin(), bounds.end(), relative) - bounds.begin()) - 1;
        const int lo = std::max(off - width / 2, 0);
        const int hi = std::min(lo + width, n);
        const int windowStart = hi - width;
        auto isSpace = [&](int g) { return bounds[size_t(g) + 1] - bounds[size_t(g)] == 1 && line[size_t(bounds[size_t(g)])] == u' '; };

        int start = windowStart;
        if (start >= 1) {
            for (int g = start; g < n; ++g)
                if (isSpace(g)) {
                    start = g + 1;
                    break;
                }
        }
        int end = hi;
        if (hi < n) {
            for (int g = hi - 1; g >= 0; --g)
                if (isSpace(g)) {
                    end = g;
                    break;
                }
        }
        if (start >= end)
            return U16String(line);
        U16String out;
        if (windowStart >= 1)
            out += u'\u2026';
        out += trimmed(line.substr(size_t(bounds[size_t(start)]), size_t(bounds[size_t(end)] - bounds[size_t(start)])),
                       TrimSet::Whitespace);
        if (hi < n)
            out += u'\u2026';
        return out;
    }
};

} // namespace

std::vector<U16String> terms(U16View query)
{
    std::vector<U16String> raw;
    U16String current;
    bool quoted = false;
    const int n = int(query.size());
    for (int i = 0; i < n;) {
        const char32_t c = codePointAt(query, i);
        const int length = codePointLength(query, i);
        if (c == u'"') {
            if (quoted && !current.empty()) {
                raw.push_back(std::move(current));
                current.clear();
            }
            quoted = !quoted;
        } else if (!quoted && CharacterClass::isWhitespaceOrNewline(c)) {
            if (!current.empty()) {
                raw.push_back(std::move(current));
                current.clear();
            }
        } else {
            current.append(query.substr(size_t(i), size_t(length)));
        }
        i += length;
    }
    if (!current.empty())
        raw.push_back(std::move(current));

    std::vector<U16String> kept;
    for (U16String& term : raw) {
        bool hasAlphanumeric = false;
        for (int i = 0; i < int(term.size()) && !hasAlphanumeric; i += codePointLength(term, i))
            hasAlphanumeric = CharacterClass::isAlphanumeric(codePointAt(term, i));
        if (hasAlphanumeric)
            kept.push_back(std::move(term));
    }
    return kept;
}

std::optional<HelpSearchResult> result(const std::vector<U16String>& terms, U16View query, const HelpPage& page)
{
    const PageMatcher matcher(page, terms);
    const U16String foldedTitle = TextOps::searchFolded(page.title);
    std::vector<U16String> foldedHeadings;
    for (const HelpHeading& heading : page.headings)
        foldedHeadings.push_back(TextOps::searchFolded(heading.title));
    std::vector<U16String> titleWords;
    bool titleWordsMade = false;

    int total = 0;
    for (size_t k = 0; k < terms.size(); ++k) {
        const U16String& term = matcher.foldedTerms[k];
        int titleScore = 0;
        if (containsFolded(foldedTitle, term)) {
            if (!titleWordsMade) {
                titleWords = wordStarts(page.title);
                titleWordsMade = true;
            }
            const U16String lowerTerm = TextOps::lowercased(terms[k]);
            const bool beginsWord = std::any_of(titleWords.begin(), titleWords.end(),
                                                [&](const U16String& w) { return TextOps::hasPrefix(w, lowerTerm); });
            titleScore = beginsWord ? 180 : 120;
        }
        int headingHits = 0;
        for (const U16String& heading : foldedHeadings)
            if (headingHits < 3 && containsFolded(heading, term))
                ++headingHits;
        const int bodyHits = std::min(occurrences(term, matcher.plain.folded), 10);
        const int termScore = std::min(titleScore + 40 * headingHits + 3 * bodyHits, 330);
        if (termScore == 0)
            return std::nullopt;
        total += termScore;
    }
    if (terms.empty())
        return std::nullopt;

    const U16String foldedQuery = TextOps::searchFolded(trimmed(query, TrimSet::Whitespace));
    if (!foldedQuery.empty() && foldedQuery == foldedTitle)
        total += 500;
    if (page.id == u"index")
        total /= 4;

    HelpSearchResult found;
    found.pageID = page.id;
    found.title = page.title;
    found.snippet = matcher.snippet(snippetWidth);
    if (auto heading = matcher.bestHeading())
        found.anchor = heading->anchor;
    found.score = total;
    return found;
}

std::vector<HelpSearchResult> results(U16View query, const HelpBook& book)
{
    const std::vector<U16String> queryTerms = terms(query);
    if (queryTerms.empty())
        return {};
    std::vector<HelpSearchResult> found;
    for (const U16String& id : book.readingOrder())
        if (const HelpPage* page = book.page(id))
            if (auto r = result(queryTerms, query, *page))
                found.push_back(std::move(*r));
    // Stable: equal scores keep reading order.
    std::stable_sort(found.begin(), found.end(),
                     [](const HelpSearchResult& a, const HelpSearchResult& b) { return a.score > b.score; });
    if (found.empty())
        return found;
    const int top = found.front().score;
    const int floor = top < 60 ? 4 : top / 12;
    found.erase(std::remove_if(found.begin(), found.end(), [&](const HelpSearchResult& r) { return r.score < floor; }),
                found.end());
    return found;
}

std::optional<HelpHeading> bestHeading(const std::vector<U16String>& terms, const HelpPage& page)
{
    return PageMatcher(page, terms).bestHeading();
}

U16String snippet(const std::vector<U16String>& terms, const HelpPage& page, int width)
{
    return PageMatcher(page, terms).snippet(width);
}

} // namespace velkin::HelpSearch
