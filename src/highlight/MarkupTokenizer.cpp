// HTML and XML.
#include "highlight/CodeHighlighter.h"
#include "highlight/SpecialTokenizers.h"
#include "highlight/TokenAppender.h"
#include "platform/text/TextOps.h"

namespace velkin::CodeHighlighter {

namespace {

using K = CodeTokenKind;

bool isNameUnit(char16_t c)
{
    return isLetterOrDigit(c) || c == u'-' || c == u'.' || c == u':' || c == u'_';
}
bool isAttributeStart(char16_t c) { return isLetter(c) || c == u'_'; }

class MarkupScanner {
public:
    explicit MarkupScanner(U16View code) : code_(code), L_(int(code.size())), add_(out_) {}

    CodeTokens run()
    {
        int p = 0;
        while (p < L_) {
            const char16_t c = code_[size_t(p)];
            if (c == u'&')
                p = characterReference(p);
            else if (c != u'<')
                ++p;
            else
                p = tag(p);
        }
        return std::move(out_);
    }

private:
    // "&amp;", "&#169;", "&#x263A;" (and "&;"): one keyword token through the ";".
    int characterReference(int p)
    {
        int q = p + 1;
        if (q < L_ && code_[size_t(q)] == u'#')
            q = p + 2;
        if (q >= L_)
            return p + 1;
        while (q < L_ && isLetterOrDigit(code_[size_t(q)]))
            ++q;
        if (q >= L_ || code_[size_t(q)] != u';')
            return p + 1;
        add_.addFromTo(p, q + 1, K::keyword);
        return q + 1;
    }

    int tag(int p)
    {
        if (matchesAt(code_, u"<!--", p)) {
            const int close = TextOps::find(code_, u"-->", p + 4);
            const int end = close < 0 ? L_ : close + 3;
            add_.addFromTo(p, end, K::comment);
            return end;
        }
        if (matchesAt(code_, u"<!", p) || matchesAt(code_, u"<?", p))
            return scanTagBody(p + 2);
        if (p + 1 == L_)
            return scanTagBody(p + 1);
        if (code_[size_t(p) + 1] == u'/')
            return scanTagBody(p + 2);
        const int e = scanTagBody(p + 1);
        if ((lastTagName_ != u"script" && lastTagName_ != u"style") || e >= L_)
            return e;
        const int q = closerPosition(lastTagName_ == u"script" ? scriptCloser_ : styleCloser_, e);
        if (q <= e)
            return e; // no closer, or an empty body
        const U16View body = code_.substr(size_t(e), size_t(q - e));
        TokenAppender shifted(out_, e);
        if (lastTagName_ == u"script") {
            if (const LanguageRules* javascript = rules(u"javascript"))
                for (const CodeToken& t : tokens(body, *javascript))
                    shifted.add(t.range.location, t.range.length, t.kind);
        } else {
            for (const CodeToken& t : cssTokens(body, false, false))
                shifted.add(t.range.location, t.range.length, t.kind);
        }
        return q;
    }

    // Scans a tag from just after its "<", "</", "<!" or "<?" through its ">".
    int scanTagBody(int s)
    {
        int n = s;
        while (n < L_ && isNameUnit(code_[size_t(n)]))
            ++n;
        lastTagName_.clear();
        if (n > s) {
            add_.addFromTo(s, n, K::type);
            for (int i = s; i < n; ++i)
                lastTagName_.push_back(CharacterClass::asciiLower(code_[size_t(i)]));
        }
        int p = n;
        while (p < L_) {
            const char16_t c = code_[size_t(p)];
            if (c == u'>')
                return p + 1;
            if (c == u'\'' || c == u'"') {
                const int close = TextOps::find(code_, c, p + 1);
                const int end = close < 0 ? L_ : close + 1;
                add_.addFromTo(p, end, K::string);
                p = end;
            } else if (isAttributeStart(c)) {
                int r = p + 1;
                while (r < L_ && isNameUnit(code_[size_t(r)]))
                    ++r;
                add_.addFromTo(p, r, K::keyword);
                p = r;
            } else {
                ++p;
            }
        }
        return L_;
    }

    // A closing tag found missing from some position on is missing from every
    // later position too: many opening tags without a closer cost one search.
    struct CloserSearch {
        U16View closer;
        int missingFrom = -1;
    };

    int closerPosition(CloserSearch& search, int from) const
    {
        if (search.missingFrom >= 0 && from >= search.missingFrom)
            return -1;
        const int found = TextOps::find(code_, search.closer, from);
        if (found < 0)
            search.missingFrom = from;
        return found;
    }

    U16View code_;
    int L_;
    CodeTokens out_;
    TokenAppender add_;
    U16String lastTagName_;
    CloserSearch scriptCloser_{u"</script"};
    CloserSearch styleCloser_{u"</style"};
};

} // namespace

CodeTokens markupTokens(U16View code)
{
    return MarkupScanner(code).run();
}

} // namespace velkin::CodeHighlighter
