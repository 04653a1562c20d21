#include "export/MarkdownHTMLBlocks.h"

#include "markdown/EmojiShortcode.h"
#include "markdown/MarkdownCodeTokens.h"
#include "markdown/PipeTable.h"
#include "platform/text/CharacterClass.h"
#include "platform/text/TextOps.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <unordered_map>

namespace velkin::MarkdownHTML {

using namespace std::literals;

namespace {

// A part of the fragment written as fixed HTML instead of its text.
struct Hole {
    Range range;
    std::u16string_view replacement;
};

struct Node {
    int span = 0;
    int firstChild = -1;  // node indices; children are in text order
    int lastChild = -1;
    int next = -1;
};

// "#" and three two-digit lower-case components.
U16String hex(const ColorLiteral& literal)
{
    const auto component = [](double c) {
        const long v = std::clamp(std::lround(c * 255), 0L, 255L);
        char buffer[4];
        std::snprintf(buffer, sizeof buffer, "%02lx", v);
        return U16String(buffer, buffer + 2);
    };
    return u"#" + component(literal.red) + component(literal.green) + component(literal.blue);
}

// Addresses that run script when the link is followed: a shared page must not
// carry them. Browsers skip blanks and controls inside a scheme.
bool isScriptAddress(U16View address)
{
    U16String scheme;
    for (char16_t c : address) {
        if (c <= 0x20)
            continue;
        if (c == u':')
            break;
        if (!CharacterClass::isAsciiAlphanumeric(c) && c != u'+' && c != u'-' && c != u'.')
            return false;
        scheme += CharacterClass::asciiLower(c);
        if (scheme.size() > 16)
            return false;
    }
    return scheme == u"javascript" || scheme == u"vbscript" || scheme == u"data";
}

// Whether the text has a colon, one to 48 name characters and a colon: what
// every shortcode looks like. Most texts have none, and finding shortcodes
// properly costs far more than this look.
bool mayHoldShortcode(U16View text)
{
    int run = -1;  // name characters since the last colon; -1 before the first colon
    for (char16_t c : text) {
        if (c == u':') {
            if (run >= 1 && run <= 48)
                return true;
            run = 0;
        } else if (run >= 0) {
            if (CharacterClass::isAsciiAlphanumeric(c) || c == u'-' || c == u'+' || c == u'_')
                ++run;
            else
                run = -1;
        }
    }
    return false;
}

// std::stable_sort, without its buffer for the few elements of a usual fragment.
template <typename Iterator, typename Less>
void stableSort(Iterator first, Iterator last, Less less)
{
    if (last - first > 32) {
        std::stable_sort(first, last, less);
        return;
    }
    for (Iterator i = first; i != last; ++i) {
        auto value = std::move(*i);
        Iterator j = i;
        for (; j != first && less(value, *(j - 1)); --j)
            *j = std::move(*(j - 1));
        *j = std::move(value);
    }
}

// The working lists of one inline writer, kept between fragments so that
// writing a long document does not allocate them anew for every paragraph.
struct Scratch {
    MarkdownSpans spans;
    std::vector<Hole> holes;
    std::vector<Node> nodes;
    std::vector<int> content;
    std::vector<int> order;
    std::vector<int> stack;
    bool inUse = false;

    // Emptied for the next fragment; the lists of a long paragraph are let go,
    // or they would hold that paragraph's peak for the rest of the process.
    void clear()
    {
        release(spans);
        release(holes);
        release(nodes);
        release(content);
        release(order);
        release(stack);
    }

private:
    static constexpr size_t kKeptBytes = 64 * 1024;
    template <typename List> static void release(List& list)
    {
        if (list.capacity() * sizeof(typename List::value_type) > kKeptBytes)
            List().swap(list);
        else
            list.clear();
    }
};

class InlineWriter {
public:
    // `lineBreaks`: where a table cell's line breaks ("<br>") stand in the fragment.
    InlineWriter(const Renderer& renderer, U16View fragment, const std::vector<int>& lineBreaks = {})
        : renderer_(renderer), fragment_(fragment), lineBreaks_(lineBreaks), scratch_(acquire()), spans_(scratch_.spans),
          holes_(scratch_.holes), nodes_(scratch_.nodes)
    {
        MarkdownSyntax::appendInline(fragment, 0, Range{0, int(fragment.size())}, renderer.footnoteLabels(),
                                     renderer.linkDefinitions(), spans_);
        std::vector<int>& content = scratch_.content;
        // Sized once: grown by doubling, a long paragraph's lists would reach twice their need.
        const auto markers = size_t(std::count_if(spans_.begin(), spans_.end(), [](const MarkdownSpan& span) {
            return span.token.is(MarkdownToken::Kind::marker);
        }));
        holes_.reserve(markers);
        content.reserve(spans_.size() - markers);
        for (size_t k = 0; k < spans_.size(); ++k) {
            if (spans_[k].token.is(MarkdownToken::Kind::marker))
                holes_.emplace_back().range = spans_[k].range;  // a marker is written as nothing
            else
                content.push_back(int(k));
        }
        if (TextOps::containsUnit(fragment, u'\n'))
            findHardBreaks();
        // A cell's line break is one inside whatever span holds it.
        for (const int at : lineBreaks)
            holes_.push_back({Range{at, int(PipeTable::cellBreak.size())}, PipeTable::cellBreak});
        // Of holes at one place the longer goes first: it takes those inside it.
        stableSort(holes_.begin(), holes_.end(), [](const Hole& a, const Hole& b) {
            return a.range.location != b.range.location ? a.range.location < b.range.location
                                                        : a.range.length > b.range.length;
        });
        buildTree(content);
        findCoveredReach();
    }

    ~InlineWriter()
    {
        scratch_.clear();
        if (&scratch_ == &shared())
            scratch_.inUse = false;
        else
            delete &scratch_;
    }

    InlineWriter(const InlineWriter&) = delete;
    InlineWriter& operator=(const InlineWriter&) = delete;

    void write(U16String& out)
    {
        out.reserve(out.size() + fragment_.size() + fragment_.size() / 4);
        writeNodes(out, roots_, Range{0, int(fragment_.size())}, false);
    }

private:
    // Spans nest inside every open span that contains them; of two crossing
    // spans the one that starts first (or is longer, or came first) stays.
    static Scratch& shared()
    {
        static Scratch scratch;
        return scratch;
    }

    // The shared lists, or fresh ones while they are taken.
    static Scratch& acquire()
    {
        Scratch& s = shared();
        if (s.inUse)
            return *new Scratch;
        s.inUse = true;
        return s;
    }

    void buildTree(std::vector<int>& content)
    {
        std::vector<int>& order = scratch_.order;
        order.resize(content.size());
        nodes_.reserve(content.size());
        std::iota(order.begin(), order.end(), 0);
        stableSort(order.begin(), order.end(), [&](int a, int b) {
            const Range ra = spans_[size_t(content[size_t(a)])].range;
            const Range rb = spans_[size_t(content[size_t(b)])].range;
            if (ra.location != rb.location)
                return ra.location < rb.location;
            if (ra.length != rb.length)
                return ra.length > rb.length;
            return a < b;
        });
        std::vector<int>& stack = scratch_.stack;
        int lastRoot = -1;
        const auto pop = [&] {
            const int top = stack.back();
            stack.pop_back();
            if (stack.empty()) {
                (lastRoot < 0 ? roots_ : nodes_[size_t(lastRoot)].next) = top;
                lastRoot = top;
            } else {
                Node& parent = nodes_[size_t(stack.back())];
                (parent.lastChild < 0 ? parent.firstChild : nodes_[size_t(parent.lastChild)].next) = top;
                parent.lastChild = top;
            }
        };
        for (int o : order) {
            const int spanIndex = content[size_t(o)];
            const Range r = spans_[size_t(spanIndex)].range;
            while (!stack.empty() && r.location >= spanRange(stack.back()).end())
                pop();
            if (!stack.empty() && r.end() > spanRange(stack.back()).end())
                continue;
            nodes_.push_back({spanIndex});
            stack.push_back(int(nodes_.size() - 1));
        }
        while (!stack.empty())
            pop();
    }

    Range spanRange(int node) const { return spans_[size_t(nodes_[size_t(node)].span)].range; }

    // A span can lie wholly inside a delimiter (a code span in a reference
    // link's label): it is written as nothing, with the delimiter. For each
    // hole, the farthest end of the markers that start at or before it.
    void findCoveredReach()
    {
        // Only a delimiter that holds others (a label with a code span) can
        // cover a span; most fragments have none and skip the look-ups.
        coveredReach_.clear();
        int reach = -1;
        bool nested = false;
        for (const Hole& hole : holes_) {
            nested = nested || hole.range.location < reach;
            if (hole.replacement.empty())
                reach = std::max(reach, hole.range.end());
        }
        if (!nested)
            return;
        reach = -1;
        for (const Hole& hole : holes_) {
            if (hole.replacement.empty())
                reach = std::max(reach, hole.range.end());
            coveredReach_.push_back(reach);
        }
    }

    bool isCovered(Range r) const
    {
        if (coveredReach_.empty())
            return false;
        // An empty span (a picture without a description) lies between the
        // delimiters on either side of it: only one that starts before it and
        // ends after it holds it.
        const bool empty = r.length == 0;
        const auto after = std::upper_bound(holes_.begin(), holes_.end(), r.location - (empty ? 1 : 0),
                                            [](int at, const Hole& h) { return at < h.range.location; });
        if (after == holes_.begin())
            return false;
        const int reach = coveredReach_[size_t(after - holes_.begin()) - 1];
        return empty ? reach > r.location : reach >= r.end();
    }

    // The break at the end of every line but the last that ends in two or
    // more spaces or in an odd run of backslashes, as the editor shows them.
    void findHardBreaks()
    {
        const U16View f = fragment_;
        size_t lineStart = 0;
        for (size_t k = 0; k < f.size(); ++k) {
            if (f[k] != u'\n')
                continue;
            const U16View line = f.substr(lineStart, k - lineStart);
            if (const auto run = MarkdownSyntax::hardBreakRun(line))
                holes_.push_back({Range{int(lineStart) + run->location, run->length}, u"<br>"});
            lineStart = k + 1;
        }
    }

    void writeNodes(U16String& out, int first, Range range, bool inCode)
    {
        int pos = range.location;
        for (int n = first; n >= 0; n = nodes_[size_t(n)].next) {
            const Range r = spanRange(n);
            if (r.location < pos || isCovered(r))
                continue;
            writeText(out, Range::fromTo(pos, r.location), inCode);
            writeNode(out, n, inCode);
            pos = r.end();
        }
        writeText(out, Range::fromTo(pos, range.end()), inCode);
    }

    void writeText(U16String& out, Range range, bool inCode)
    {
        if (range.length <= 0)
            return;
        int pos = range.location;
        // Text is written left to right, so the holes are met in order: none
        // before the last range's end can belong to this one.
        while (nextHole_ < holes_.size() && holes_[nextHole_].range.location < pos)
            ++nextHole_;
        auto hole = holes_.begin() + std::ptrdiff_t(nextHole_);
        for (; hole != holes_.end() && hole->range.location < range.end(); ++hole) {
            if (hole->range.location < pos || hole->range.end() > range.end())
                continue;
            if (hole->range.location > pos)
                writeChunk(out, substring(fragment_, Range::fromTo(pos, hole->range.location)), inCode);
            out += hole->replacement;
            pos = hole->range.end();
        }
        nextHole_ = size_t(hole - holes_.begin());
        if (range.end() > pos)
            writeChunk(out, substring(fragment_, Range::fromTo(pos, range.end())), inCode);
    }

    static void writeChunk(U16String& out, U16View chunk, bool inCode)
    {
        // Emoji first, escaping after; code keeps its shortcodes as written.
        // Escaping tells whether a colon was seen: only then can there be a shortcode.
        const size_t mark = out.size();
        if (appendEscaped(out, chunk) && !inCode && mayHoldShortcode(chunk)) {
            out.resize(mark);
            appendEscaped(out, substitutingEmoji(chunk));
        }
    }

    void writeNode(U16String& out, int n, bool inCode)
    {
        const MarkdownSpan& span = spans_[size_t(nodes_[size_t(n)].span)];
        const int children = nodes_[size_t(n)].firstChild;
        const auto wrapped = [&](std::u16string_view open, std::u16string_view close, bool code = false) {
            out += open;
            writeNodes(out, children, span.range, code || inCode);
            out += close;
        };
        switch (span.token.kind()) {
        case MarkdownToken::Kind::bold: wrapped(u"<strong>"sv, u"</strong>"sv); return;
        case MarkdownToken::Kind::italic: wrapped(u"<em>"sv, u"</em>"sv); return;
        case MarkdownToken::Kind::boldItalic: wrapped(u"<strong><em>"sv, u"</em></strong>"sv); return;
        case MarkdownToken::Kind::strikethrough: wrapped(u"<del>"sv, u"</del>"sv); return;
        case MarkdownToken::Kind::underline: wrapped(u"<u>"sv, u"</u>"sv); return;
        case MarkdownToken::Kind::subscripted: wrapped(u"<sub>"sv, u"</sub>"sv); return;
        case MarkdownToken::Kind::superscripted: wrapped(u"<sup>"sv, u"</sup>"sv); return;
        case MarkdownToken::Kind::code: wrapped(u"<code>"sv, u"</code>"sv, true); return;
        case MarkdownToken::Kind::link:
            if (const SpanText url = span.url(); url && !isScriptAddress(*url)) {
                out += u"<a href=\""sv;
                appendEscaped(out, trimmed(*url, TrimSet::Whitespace));
                out += u"\">"sv;
                writeNodes(out, children, span.range, inCode);
                out += u"</a>"sv;
                return;
            }
            break;
        case MarkdownToken::Kind::footnoteRef: {
            const U16String a = renderer_.notes().anchorOf(span.token.label());
            // The first reference to a note has the plain id the note links back to.
            const int count = renderer_.notes().countReference(span.token.label());
            out += u"<sup class=\"footnote-ref\" id=\"fnref-"sv;
            out += a;
            if (count > 1) {
                out += u'.';
                out += TextOps::number(count);
            }
            out += u"\"><a href=\"#fn-"sv;
            out += a;
            out += u"\">"sv;
            writeNodes(out, children, span.range, inCode);
            out += u"</a></sup>"sv;
            return;
        }
        case MarkdownToken::Kind::color:
            out += u"<span class=\"swatch\" style=\"color:"sv;
            out += hex(span.token.colorLiteral());
            out += u"\">&#9632;</span>"sv;
            break;
        case MarkdownToken::Kind::image: {
            const U16String alt = withLineBreaks(span.range);
            if (const SpanText url = span.url())
                out += renderer_.image(alt, *url);
            else
                out += renderer_.image(alt, U16View());
            return;
        }
        default:
            break;
        }
        writeNodes(out, children, span.range, inCode);
    }

    // The text of `range`, a cell's line breaks in it as line feeds.
    U16String withLineBreaks(Range range) const
    {
        U16String text(substring(fragment_, range));
        for (auto at = lineBreaks_.rbegin(); at != lineBreaks_.rend(); ++at)
            if (*at >= range.location && *at + int(PipeTable::cellBreak.size()) <= range.end())
                text.replace(size_t(*at - range.location), PipeTable::cellBreak.size(), 1, u'\n');
        return text;
    }

    const Renderer& renderer_;
    U16View fragment_;
    const std::vector<int> lineBreaks_;
    Scratch& scratch_;
    MarkdownSpans& spans_;
    std::vector<Hole>& holes_;
    std::vector<Node>& nodes_;
    int roots_ = -1;
    std::vector<int> coveredReach_;
    size_t nextHole_ = 0;  // the first hole writeText has not passed
};

} // namespace

U16String Renderer::inlineHTML(U16View fragment) const
{
    U16String out;
    appendInlineHTML(out, fragment);
    return out;
}

void Renderer::appendInlineHTML(U16String& out, U16View fragment) const
{
    if (fragment.empty())
        return;
    InlineWriter(*this, fragment).write(out);
}

void Renderer::appendCellHTML(U16String& out, U16View cell) const
{
    if (cell.empty())
        return;
    InlineWriter(*this, cell, PipeTable::cellBreaks(cell)).write(out);
}

U16String substitutingEmoji(U16View text)
{
    U16String out;
    size_t pos = 0;
    for (const Range& r : EmojiShortcode::ranges(text)) {
        const std::optional<U16String> emoji = EmojiShortcode::emoji(substring(text, Range{r.location + 1, r.length - 2}));
        if (!emoji)
            continue;
        out.append(text.substr(pos, size_t(r.location) - pos));
        out += *emoji;
        pos = size_t(r.end());
    }
    if (pos == 0)
        return U16String(text);
    out.append(text.substr(pos));
    return out;
}

U16String highlighted(U16View code, const std::optional<U16String>& language)
{
    if (!language)
        return escaped(code);
    std::optional<CodeTokens> tokens = MarkdownCodeTokens::fenced(code, *language);
    if (!tokens || tokens->empty())
        return escaped(code);
    std::stable_sort(tokens->begin(), tokens->end(),
                     [](const CodeToken& a, const CodeToken& b) { return a.range.location < b.range.location; });
    U16String out;
    out.reserve(code.size() + tokens->size() * 24);
    int pos = 0;
    for (const CodeToken& token : *tokens) {
        // Overlapping tokens are never nested: the first in order wins.
        if (token.range.location < pos || token.range.length < 0 || token.range.end() > int(code.size()))
            continue;
        appendEscaped(out, substring(code, Range::fromTo(pos, token.range.location)));
        out += u"<span class=\"tok-"sv;
        for (const char* c = codeTokenKindName(token.kind); *c; ++c)
            out += char16_t(*c);
        out += u"\">"sv;
        appendEscaped(out, substring(code, token.range));
        out += u"</span>"sv;
        pos = token.range.end();
    }
    appendEscaped(out, code.substr(size_t(pos)));
    return out;
}

} // namespace velkin::MarkdownHTML
