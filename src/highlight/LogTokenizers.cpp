// Log files, commit messages and rebase lists, CSV and TSV tables.
#include "highlight/SpecialTokenizers.h"
#include "highlight/TokenAppender.h"
#include "platform/text/TextOps.h"

#include <array>

namespace velkin::CodeHighlighter {

namespace {

using K = CodeTokenKind;

struct LogLevel {
    U16View word;  // upper case
    CodeTokenKind kind;
};

constexpr std::array<LogLevel, 16> logLevels{{
    {u"ERROR", K::deleted},   {u"ERR", K::deleted},    {u"FATAL", K::deleted},  {u"CRITICAL", K::deleted},
    {u"CRIT", K::deleted},    {u"SEVERE", K::deleted}, {u"PANIC", K::deleted},  {u"FAIL", K::deleted},
    {u"FAILED", K::deleted},  {u"WARN", K::keyword},   {u"WARNING", K::keyword}, {u"INFO", K::type},
    {u"NOTICE", K::type},     {u"DEBUG", K::comment},  {u"TRACE", K::comment},  {u"VERBOSE", K::comment},
}};

// The level of a word written in capitals or capitalised ("ERROR", "Error"; not "error").
std::optional<CodeTokenKind> logLevel(U16View word)
{
    if (word.size() < 3 || word.size() > 8)
        return std::nullopt;
    bool allCapitals = true;
    bool capitalised = CharacterClass::asciiUpper(word[0]) == word[0];
    for (size_t i = 0; i < word.size(); ++i) {
        const char16_t c = word[i];
        if (CharacterClass::asciiUpper(c) != c)
            allCapitals = false;
        if (i > 0 && CharacterClass::asciiLower(c) != c)
            capitalised = false;
    }
    if (!allCapitals && !capitalised)
        return std::nullopt;
    for (const LogLevel& level : logLevels) {
        if (level.word.size() != word.size())
            continue;
        size_t i = 0;
        while (i < word.size() && CharacterClass::asciiUpper(word[i]) == level.word[i])
            ++i;
        if (i == word.size())
            return level.kind;
    }
    return std::nullopt;
}

bool isTimestampUnit(char16_t c)
{
    return isDigit(c) || c == u'+' || c == u'-' || c == u'.' || c == u':' || c == u'T' || c == u'Z';
}

constexpr std::array<U16View, 22> rebaseCommands{
    u"pick", u"p", u"reword", u"r", u"edit", u"e", u"squash", u"s", u"fixup", u"f", u"exec",
    u"x",    u"break", u"b", u"drop", u"d", u"label", u"l", u"reset", u"t", u"merge", u"m"};

constexpr std::array<U16View, 12> trailerNames{
    u"signed-off-by", u"co-authored-by", u"reviewed-by", u"acked-by", u"tested-by", u"reported-by",
    u"suggested-by",  u"cc",             u"fixes",       u"closes",   u"refs",      u"change-id"};

bool isTrailerName(U16View word)
{
    for (U16View name : trailerNames)
        if (TextOps::equalsIgnoringAsciiCase(word, name))
            return true;
    return false;
}

bool isRebaseCommand(U16View word)
{
    for (U16View command : rebaseCommands)
        if (word == command)
            return true;
    return false;
}

} // namespace

CodeTokens logTokens(U16View code)
{
    CodeTokens out;
    TokenAppender add(out);
    const int L = int(code.size());
    // A "[" searched from here found no "]" before this line end: later "[" of
    // the same line need not search again.
    int noBracketBefore = -1;
    int i = 0;
    while (i < L) {
        const char16_t c = code[size_t(i)];
        if (c == u'"' || c == u'\'') {
            int q = i + 1;
            while (q < L && code[size_t(q)] != c && code[size_t(q)] != u'\n')
                ++q;
            const int end = q < L ? q + 1 : L; // the closing quote, or the line feed, belongs to it
            add.addFromTo(i, end, K::string);
            i = end;
        } else if (c == u'[' && i >= noBracketBefore) {
            int q = i + 1;
            while (q < L && code[size_t(q)] != u']' && code[size_t(q)] != u'\n')
                ++q;
            if (q < L && code[size_t(q)] == u']') {
                add.addFromTo(i, q + 1, K::type);
                i = q + 1;
            } else {
                noBracketBefore = q;
                ++i;
            }
        } else if (isDigit(c)) {
            int q = i + 1;
            while (q < L && isTimestampUnit(code[size_t(q)]))
                ++q;
            add.addFromTo(i, q, K::number);
            i = q;
        } else if (isLetter(c)) {
            int q = i + 1;
            while (q < L && (isLetter(code[size_t(q)]) || code[size_t(q)] == u'_'))
                ++q;
            if (const auto kind = logLevel(code.substr(size_t(i), size_t(q - i))))
                add.addFromTo(i, q, *kind);
            i = q;
        } else {
            ++i;
        }
    }
    return out;
}

CodeTokens gitTokens(U16View code)
{
    return gitTokensFrom(code, 0, nullptr);
}

CodeTokens gitTokensFrom(U16View code, LineState state, const LineVisitor* onLine)
{
    CodeTokens out;
    TokenAppender add(out);
    const int L = int(code.size());
    // Lines are read alone but for whether the subject is still to come.
    bool subjectPending = state == 0;
    int s = 0;
    while (s < L) {
        if (onLine && s > 0 && !(*onLine)(s, subjectPending ? 0 : 1))
            break;
        int e = TextOps::find(code, u'\n', s);
        if (e < 0)
            e = L;
        int p = s;
        while (p < e && isBlankUnit(code[size_t(p)]))
            ++p;
        if (p < e) {
            if (code[size_t(p)] == u'#') {
                add.addFromTo(s, e, K::comment);
            } else {
                int q = p;
                while (q < e && !isBlankUnit(code[size_t(q)]) && code[size_t(q)] != u':')
                    ++q;
                const U16View word = code.substr(size_t(p), size_t(q - p));
                const bool trailer = q < e && code[size_t(q)] == u':' && isTrailerName(word);
                if (trailer || isRebaseCommand(word)) {
                    add.addFromTo(p, q, K::keyword);
                    subjectPending = false;
                } else if (subjectPending) {
                    add.addFromTo(p, e, K::type);
                    subjectPending = false;
                }
            }
        }
        s = e + 1;
    }
    return out;
}

CodeTokens csvTokens(U16View code, char16_t separator)
{
    return csvTokensFrom(code, separator, 0, nullptr);
}

CodeTokens csvTokensFrom(U16View code, char16_t separator, LineState state, const LineVisitor* onLine)
{
    CodeTokens out;
    TokenAppender add(out);
    const int L = int(code.size());
    // Rows are read alone but for whether the header row is still to come.
    bool headerRow = state == 0;
    int start = 0;
    while (start < L) {
        if (onLine && start > 0 && code[size_t(start) - 1] == u'\n' && !(*onLine)(start, headerRow ? 0 : 1))
            break;
        bool quoted = false;
        int q = start;
        while (q < L) {
            const char16_t c = code[size_t(q)];
            if (c == u'"') {
                quoted = true;
                ++q;
                while (q < L) {
                    if (code[size_t(q)] == u'"') {
                        if (unitAt(code, q + 1) == u'"') {
                            q += 2; // a doubled quote stands for one
                            continue;
                        }
                        ++q;
                        break;
                    }
                    ++q;
                }
                continue;
            }
            if (c == separator || c == u'\n')
                break;
            ++q;
        }
        const U16View field = code.substr(size_t(start), size_t(q - start));
        const Range kept = trimmedRange(field, TrimSet::Whitespace);
        if (kept.length > 0) {
            const U16View value = substring(field, kept);
            std::optional<CodeTokenKind> kind;
            if (headerRow) {
                kind = K::type;
            } else if (quoted) {
                kind = K::string;
            } else {
                // The C-locale number grammar, whole text; no leading white space of any kind.
                const char16_t first = value[0];
                const bool leadingSpace = first == 0 || first == u' ' || (first >= u'\t' && first <= u'\r');
                double number = 0;
                if (!leadingSpace && TextOps::parseDouble(value, number))
                    kind = K::number;
            }
            if (kind)
                add.add(start + kept.location, kept.length, *kind);
        }
        if (q >= L)
            break;
        if (code[size_t(q)] == u'\n')
            headerRow = false;
        start = q + 1;
    }
    return out;
}

} // namespace velkin::CodeHighlighter
