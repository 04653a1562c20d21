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

Resumption resumption(U16View language)
{
    const U16String name = canonicalName(language);
    // The rule-driven scanner keeps nothing from one token to the next, and a
    // token looks past a line feed it does not cover only for a character
    // literal's escaped unit (a backslash before the feed).
    if (!isSpecialName(name))
        return Resumption::afterUncoveredFeeds;
    // These read line by line and keep nothing from one line to the next.
    for (const U16View lineByLine : {u"diff", u"ini", u"toml", u"makefile", u"yaml", u"log"})
        if (name == lineByLine)
            return Resumption::everyLine;
    // The shell scanner carries here-documents, strings and nesting over line
    // feeds, the commit reader whether the subject is still to come, the table
    // reader the header row (and quoted cells run over lines); the others look
    // ahead over lines (a title's underline, a key's colon) or nest tags and braces.
    for (const U16View carried : {u"shell", u"git", u"csv", u"tsv"})
        if (name == carried)
            return Resumption::carriedState;
    return Resumption::blockStart;
}

std::optional<CodeTokens> tokensFrom(U16View code, U16View language, LineState state, const LineVisitor& onLine)
{
    const U16String name = canonicalName(language);
    if (name == u"shell")
        return shellTokensFrom(code, state, onLine);
    if (name == u"git")
        return gitTokensFrom(code, state, &onLine);
    if (name == u"csv" || name == u"tsv")
        return csvTokensFrom(code, name == u"csv" ? u',' : u'\t', state, &onLine);
    return std::nullopt;
}

} // namespace velkin::CodeHighlighter
