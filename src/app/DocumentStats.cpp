#include "app/DocumentStats.h"

#include "platform/strings/LocalizedStrings.h"
#include "platform/text/CharacterClass.h"
#include "platform/text/QtString.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"

#include <QLocale>

namespace velkin {

namespace {

bool isAscii(char16_t c) { return c < 0x80; }

// Counts one cluster that starts with `first`.
struct Counter {
    int words = 0;
    int characters = 0;
    bool inWord = false;

    void cluster(char32_t first)
    {
        // A cluster is white space when its first code point is, so "\r\n" is one break and a
        // space carrying a combining mark still separates words.
        const bool blank = first < 0x80 ? (first == u' ' || (first >= u'\t' && first <= u'\r'))
                                        : CharacterClass::isWhitespaceOrNewline(first);
        if (!blank && !inWord)
            ++words;
        inWord = !blank;
        ++characters;
    }
};

} // namespace

DocumentStats::DocumentStats(U16View text)
{
    // Two ASCII units side by side (other than CR LF) always have a cluster boundary between
    // them, so only the stretches around other characters need the grapheme rules.
    Counter count;
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        const char16_t c = text[i];
        if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n') {
            count.cluster(c);
            i += 2;
            continue;
        }
        if (isAscii(c) && (i + 1 == n || isAscii(text[i + 1]))) {
            count.cluster(c);
            ++i;
            continue;
        }
        size_t j = i + 1;
        while (j < n && !(isAscii(text[j - 1]) && isAscii(text[j]) && !(text[j - 1] == u'\r' && text[j] == u'\n')))
            ++j;
        const U16View stretch = text.substr(i, j - i);
        const std::vector<int> bounds = TextOps::graphemeBoundaries(stretch);
        for (size_t k = 0; k + 1 < bounds.size(); ++k)
            count.cluster(codePointAt(stretch, bounds[k]));
        i = j;
    }
    words = count.words;
    characters = count.characters;
}

U16String DocumentStats::menuTitle(const char* locale) const
{
    const QLocale numbers = *locale ? QLocale(QString::fromLatin1(locale)) : QLocale();
    const auto grouped = [&](int count) { return fromQString(numbers.toString(count)); };
    // Both counts go in as texts, so a translation may put them in either order.
    return LocalizedStrings::format(LocalizedStrings::text(u"wordCountFormat"), {grouped(words), grouped(characters)});
}

} // namespace velkin
