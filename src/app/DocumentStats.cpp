#include "app/DocumentStats.h"

#include "platform/text/CharacterClass.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"

namespace velkin {

DocumentStats::DocumentStats(U16View text)
{
    // A cluster is white space when its first code point is, so "\r\n" is one break and a
    // space carrying a combining mark still separates words.
    const std::vector<int> bounds = TextOps::graphemeBoundaries(text);
    characters = static_cast<int>(bounds.size()) - 1;
    bool inWord = false;
    for (size_t i = 0; i + 1 < bounds.size(); ++i) {
        const bool blank = CharacterClass::isWhitespaceOrNewline(codePointAt(text, bounds[i]));
        if (!blank && !inWord)
            ++words;
        inWord = !blank;
    }
}

} // namespace velkin
