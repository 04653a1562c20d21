#include "highlight/CodeHighlighter.h"

#include "highlight/LanguageRulesTable.h"
#include "highlight/SpecialTokenizers.h"

namespace velkin::CodeHighlighter {

std::optional<CodeTokens> tokens(U16View code, U16View language)
{
    const U16String name = canonicalName(language);
    if (isSpecialName(name)) {
        if (name == u"markdown")
            return CodeTokens{};  // the Markdown layer tokenises its own language
        return specialTokens(code, name);
    }
    if (const LanguageRules* set = rulesForCanonicalName(name))
        return tokens(code, *set);
    return std::nullopt;
}

bool resumesAfterLineFeeds(U16View language)
{
    // The rule-driven scanner keeps nothing from one token to the next, and a
    // token looks past a line feed it does not cover only for a character
    // literal's escaped unit (a backslash before the feed).
    return !isSpecialName(canonicalName(language));
}

} // namespace velkin::CodeHighlighter
