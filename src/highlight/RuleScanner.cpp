// The rule-driven scanner shared by every language that has a rule set: one
// forward pass, trying comments, attribute sigils, strings, numbers and
// identifiers at each position. All character classes are ASCII.
#include "highlight/CodeHighlighter.h"
#include "highlight/TokenAppender.h"

#include <algorithm>
#include <array>
#include <unordered_set>

namespace velkin::CodeHighlighter {

namespace {

enum : uint8_t { Letter = 1, Digit = 2, IdentifierStart = 4, IdentifierPart = 8 };

constexpr std::array<uint8_t, 128> makeClasses()
{
    std::array<uint8_t, 128> t{};
    for (int c = 'a'; c <= 'z'; ++c)
        t[size_t(c)] = Letter | IdentifierStart | IdentifierPart;
    for (int c = 'A'; c <= 'Z'; ++c)
        t[size_t(c)] = Letter | IdentifierStart | IdentifierPart;
    for (int c = '0'; c <= '9'; ++c)
        t[size_t(c)] = Digit | IdentifierPart;
    t[size_t('$')] = IdentifierStart | IdentifierPart;
    t[size_t('_')] = IdentifierStart | IdentifierPart;
    return t;
}

constexpr std::array<uint8_t, 128> classes = makeClasses();

inline bool has(char16_t c, uint8_t cls) { return c < 128 && (classes[c] & cls) != 0; }
inline bool isIdentifierPart(char16_t c, bool hyphen) { return has(c, IdentifierPart) || (hyphen && c == u'-'); }

inline uint32_t hashUnits(const char16_t* s, size_t n)
{
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < n; ++i)
        h = (h ^ s[i]) * 16777619u;
    return h;
}

// Appends a token and returns the position after it; a length below one steps
// over one unit so that every step makes progress.
inline int emit(CodeTokens& out, int p, int n, std::optional<CodeTokenKind> kind)
{
    if (n < 1)
        return p + 1;
    if (kind)
        out.push_back({{p, n}, *kind});
    return p + n;
}

} // namespace

KeywordSet::KeywordSet(const std::vector<U16View>& words)
{
    for (U16View w : words) {
        if (w.empty() || contains(w))
            continue;
        words_.push_back(w);
        maxLength_ = std::max(maxLength_, int(w.size()));
        // Keep the table at most half full.
        if (words_.size() * 2 > slots_.size()) {
            size_t capacity = 16;
            while (capacity < words_.size() * 2)
                capacity *= 2;
            slots_.assign(capacity, -1);
            mask_ = uint32_t(capacity - 1);
            for (size_t i = 0; i < words_.size(); ++i) {
                uint32_t slot = hashUnits(words_[i].data(), words_[i].size()) & mask_;
                while (slots_[slot] >= 0)
                    slot = (slot + 1) & mask_;
                slots_[slot] = int32_t(i);
            }
        } else {
            uint32_t slot = hashUnits(w.data(), w.size()) & mask_;
            while (slots_[slot] >= 0)
                slot = (slot + 1) & mask_;
            slots_[slot] = int32_t(words_.size() - 1);
        }
    }
}

bool KeywordSet::contains(U16View word) const
{
    if (word.empty() || int(word.size()) > maxLength_ || slots_.empty())
        return false;
    uint32_t slot = hashUnits(word.data(), word.size()) & mask_;
    while (slots_[slot] >= 0) {
        if (words_[size_t(slots_[slot])] == word)
            return true;
        slot = (slot + 1) & mask_;
    }
    return false;
}

std::vector<U16View> words(U16View text)
{
    std::vector<U16View> out;
    std::unordered_set<U16View> seen;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != u' ' && text[i] != u'\n')
            continue;
        if (i > start) {
            const U16View word = text.substr(start, i - start);
            if (seen.insert(word).second)
                out.push_back(word);
        }
        start = i + 1;
    }
    return out;
}

bool matches(U16View text, U16View delimiter, int position)
{
    if (delimiter.empty() || position < 0)
        return false;
    if (size_t(position) + delimiter.size() > text.size())
        return false;
    return text.compare(size_t(position), delimiter.size(), delimiter) == 0;
}

CodeTokens tokens(U16View text, const LanguageRules& rules)
{
    CodeTokens out;
    const int length = int(text.size());
    const char16_t* s = text.data();
    if (length == 0)
        return out;
    out.reserve(size_t(length / 8));

    // First units of every delimiter: positions starting with anything else go
    // straight to the number and identifier tests.
    std::array<bool, 128> opens{};
    bool opensBeyondAscii = false;
    auto noteOpener = [&](U16View d) {
        if (d.empty())
            return;
        if (d[0] < 128)
            opens[d[0]] = true;
        else
            opensBeyondAscii = true;
    };
    for (U16View prefix : rules.lineComment)
        noteOpener(prefix);
    if (rules.blockComment)
        noteOpener(rules.blockComment->open);
    for (const StringRule& rule : rules.strings)
        noteOpener(rule.open);
    if (rules.attributeSigil)
        noteOpener(U16View(&*rules.attributeSigil, 1));

    const bool hyphen = rules.hyphenInIdentifiers;
    const KeywordSet& keywords = rules.keywords;
    const int maxKeyword = keywords.maxLength();
    std::array<char16_t, 64> upper{};

    int p = 0;
    while (p < length) {
        const char16_t c = s[p];
        if (isBlankUnit(c)) {
            ++p;
            continue;
        }

        if (c < 128 ? opens[c] : opensBeyondAscii) {
            // Line comment, unless a longer block opener starts here too.
            U16View prefix;
            for (U16View candidate : rules.lineComment)
                if (matches(text, candidate, p)) {
                    prefix = candidate;
                    break;
                }
            if (!prefix.empty()) {
                const bool blockWins = rules.blockComment && prefix.size() < rules.blockComment->open.size()
                    && matches(text, rules.blockComment->open, p);
                if (!blockWins) {
                    const size_t lf = text.find(u'\n', size_t(p));
                    const int end = lf == U16View::npos ? length : int(lf);
                    p = emit(out, p, end - p, CodeTokenKind::comment);
                    continue;
                }
            }

            // Block comment: closers are searched after the whole opener, no nesting.
            if (rules.blockComment && matches(text, rules.blockComment->open, p)) {
                const U16View close = rules.blockComment->close;
                const size_t from = size_t(p) + rules.blockComment->open.size();
                const size_t found = close.empty() ? U16View::npos : text.find(close, from);
                const int end = found == U16View::npos ? length : int(found + close.size());
                p = emit(out, p, end - p, CodeTokenKind::comment);
                continue;
            }

            // Attribute or command name after a sigil, the sigil included.
            if (rules.attributeSigil && c == *rules.attributeSigil) {
                int q = p + 1;
                if (q < length && s[q] == u':')
                    q = p + 2;
                if (q < length && has(s[q], IdentifierStart)) {
                    while (q < length && isIdentifierPart(s[q], hyphen))
                        ++q;
                    p = emit(out, p, q - p, CodeTokenKind::keyword);
                    continue;
                }
            }

            // String: the first rule whose opener matches decides.
            const StringRule* rule = nullptr;
            for (const StringRule& candidate : rules.strings)
                if (matches(text, candidate.open, p)) {
                    rule = &candidate;
                    break;
                }
            if (rule) {
                const int a = p + int(rule->open.size());
                if (rule->charLiteral) {
                    // One unit, or a backslash and one unit; the end of the text is no unit.
                    const int c2 = (a < length && s[a] == u'\\') ? a + 2 : a + 1;
                    if (c2 < length && matches(text, rule->close, c2)) {
                        p = emit(out, p, c2 + int(rule->close.size()) - p, CodeTokenKind::string);
                        continue;
                    }
                } else {
                    const U16View close = rule->close;
                    const char16_t closeFirst = close.empty() ? 0 : close[0];
                    int end = length;
                    int q = a;
                    while (q < length) {
                        const char16_t u = s[q];
                        if (u == u'\\' && rule->escape) {
                            q = std::min(length, q + 2);
                        } else if (u == u'\n' && !rule->multiline) {
                            end = q;
                            break;
                        } else if (u == closeFirst && matches(text, close, q)) {
                            end = q + int(close.size());
                            break;
                        } else {
                            ++q;
                        }
                    }
                    p = emit(out, p, end - p, CodeTokenKind::string);
                    continue;
                }
            }
        }

        // Number.
        if (isDigit(c) || (c == u'.' && p + 1 < length && isDigit(s[p + 1]))) {
            int q;
            if (c == u'0' && p + 1 < length
                && (s[p + 1] == u'x' || s[p + 1] == u'X' || s[p + 1] == u'b' || s[p + 1] == u'B'
                    || s[p + 1] == u'o' || s[p + 1] == u'O')) {
                q = p + 2;
                while (q < length && isIdentifierPart(s[q], hyphen))
                    ++q;
            } else {
                q = p;
                while (q < length && (isDigit(s[q]) || s[q] == u'_'))
                    ++q;
                // Each test below treats the end of the text as no unit.
                if (q + 1 < length && s[q] == u'.' && isDigit(s[q + 1])) {
                    ++q;
                    while (q < length && (isDigit(s[q]) || s[q] == u'_'))
                        ++q;
                }
                if (q < length && (s[q] == u'e' || s[q] == u'E')) {
                    ++q;
                    if (q < length && (s[q] == u'+' || s[q] == u'-'))
                        ++q;
                    while (q < length && (isDigit(s[q]) || s[q] == u'_'))
                        ++q;
                }
                while (q < length && (has(s[q], Letter) || s[q] == u'_' || s[q] == u'$'))
                    ++q;
            }
            p = emit(out, p, q - p, CodeTokenKind::number);
            continue;
        }

        // Identifier: keyword, capitalised type, or consumed without a token.
        if (has(c, IdentifierStart)) {
            int q = p + 1;
            while (q < length && isIdentifierPart(s[q], hyphen))
                ++q;
            const int n = q - p;
            bool keyword = false;
            if (n <= maxKeyword) {
                if (!rules.caseInsensitiveKeywords) {
                    keyword = keywords.contains(U16View(s + p, size_t(n)));
                } else if (size_t(n) <= upper.size()) {
                    for (int i = 0; i < n; ++i) {
                        const char16_t u = s[p + i];
                        upper[size_t(i)] = (u >= u'a' && u <= u'z') ? char16_t(u - 32) : u;
                    }
                    keyword = keywords.contains(U16View(upper.data(), size_t(n)));
                } else {
                    U16String longWord(s + p, size_t(n));
                    for (auto& u : longWord)
                        if (u >= u'a' && u <= u'z')
                            u = char16_t(u - 32);
                    keyword = keywords.contains(longWord);
                }
            }
            std::optional<CodeTokenKind> kind;
            if (keyword)
                kind = CodeTokenKind::keyword;
            else if (rules.capitalizedIsType && c >= u'A' && c <= u'Z')
                kind = CodeTokenKind::type;
            p = emit(out, p, n, kind);
            continue;
        }

        ++p;
    }
    return out;
}

} // namespace velkin::CodeHighlighter
