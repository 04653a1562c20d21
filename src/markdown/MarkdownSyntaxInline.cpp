// The inline scanner: twenty passes over one piece of inline content.
//
// Every pass has the semantics of its pattern in MarkdownSyntax (the patterns
// stay the reference and the unit tests hold the two side by side), but the
// matching is done by hand: the scanner runs over the whole text on every
// keystroke, and a dozen regular-expression searches per line cost far more
// than the walks below. Look-behind sees the characters before the scanned
// part; look-ahead sees past its end only in first-match passes.
#include "markdown/EmojiShortcode.h"
#include "markdown/InlineHTML.h"
#include "markdown/MarkdownSyntax.h"
#include "markdown/MarkdownSyntaxDetail.h"
#include "markdown/TaskList.h"
#include "platform/text/CharacterClass.h"

#include <unicode/uchar.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <array>
#include <iterator>
#include <map>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

namespace velkin {

namespace detail {

bool isPatternSpace(char16_t c)
{
    if (c < 0x80)
        return (c >= 0x09 && c <= 0x0D) || c == u' ';
    if (c == 0x85)
        return true;
    return (U_MASK(u_charType(UChar32(c))) & U_GC_Z_MASK) != 0;
}

} // namespace detail

namespace MarkdownSyntax {

namespace {

using detail::isPatternSpace;

struct Hit {
    std::array<Range, 7> g;
    void reset()
    {
        g.fill(Range::notFound());
    }
};

// The offsets earlier passes have taken, as disjoint intervals by start. A
// line holds a few: they are kept in a small sorted array. Past that a tree
// takes over: later passes add intervals between earlier ones, and a line of
// ten thousand delimiters must not shift the array each time.
class ConsumedSet {
public:
    bool intersects(Range r) const
    {
        if (r.length <= 0)
            return false;
        if (!large_) {
            // The last run starting before r's end is the only one that can reach into r.
            const auto it = std::lower_bound(few_.begin(), few_.end(), r.end(),
                                             [](const std::pair<int, int>& run, int at) { return run.first < at; });
            return it != few_.begin() && std::prev(it)->second > r.location;
        }
        auto it = runs_.lower_bound(r.end());
        if (it == runs_.begin())
            return false;
        --it;
        return it->second > r.location;
    }
    void add(Range r)
    {
        if (r.length <= 0)
            return;
        if (!large_ && few_.size() < smallLimit) {
            addTo(few_, r);
            return;
        }
        if (!large_) {
            runs_.insert(few_.begin(), few_.end());
            few_.clear();
            large_ = true;
        }
        addTo(runs_, r);
    }

private:
    static constexpr size_t smallLimit = 32;

    // The few runs of a usual line, kept in place: a line allocates nothing for them.
    class FewRuns {
    public:
        using Run = std::pair<int, int>;
        Run* begin() { return runs_.data(); }
        Run* end() { return runs_.data() + count_; }
        const Run* begin() const { return runs_.data(); }
        const Run* end() const { return runs_.data() + count_; }
        size_t size() const { return count_; }
        void clear() { count_ = 0; }
        Run* erase(Run* first, Run* last)
        {
            std::move(last, end(), first);
            count_ -= size_t(last - first);
            return first;
        }
        Run* insert(Run* at, Run run)
        {
            std::move_backward(at, end(), end() + 1);
            *at = run;
            ++count_;
            return at;
        }

    private:
        std::array<Run, 33> runs_;
        size_t count_ = 0;
    };

    // Every run that touches r merges into it.
    static void addTo(FewRuns& runs, Range r)
    {
        int start = r.location;
        int stop = r.end();
        auto it = std::lower_bound(runs.begin(), runs.end(), start,
                                   [](const std::pair<int, int>& run, int at) { return run.first < at; });
        if (it != runs.begin() && std::prev(it)->second >= start)
            --it;
        auto last = it;
        while (last != runs.end() && last->first <= stop) {
            start = std::min(start, last->first);
            stop = std::max(stop, last->second);
            ++last;
        }
        it = runs.erase(it, last);
        runs.insert(it, {start, stop});
    }
    static void addTo(std::map<int, int>& runs, Range r)
    {
        int start = r.location;
        int stop = r.end();
        auto it = runs.lower_bound(start);
        if (it != runs.begin() && std::prev(it)->second >= start)
            --it;
        while (it != runs.end() && it->first <= stop) {
            start = std::min(start, it->first);
            stop = std::max(stop, it->second);
            it = runs.erase(it);
        }
        runs.emplace_hint(it, start, stop);
    }

    bool large_ = false;
    FewRuns few_;  // start, end; while there are few
    std::map<int, int> runs_;               // start -> end; once there are many
};

// For every position of the scanned part, the first position at or after it
// that stops a bracket search (a "]" outside code spans and escapes, or a line
// feed) or a destination (a parenthesis or white space). Each answer is
// remembered for every position its walk passed, so a line of a thousand
// unclosed "[" is walked once rather than once per bracket, and a line whose
// few brackets close soon is hardly walked at all.
class Stops {
public:
    Stops(U16View s, int start, int end, const ConsumedSet& literal) : s_(s), start_(start), end_(end), literal_(literal)
    {
    }

    // Valid once the code-span and escape passes are done: a "]" they took closes nothing.
    int closeBracket(int i)
    {
        return at(
            closeBracket_, i,
            [this](int j) {
                const char16_t c = s_[size_t(j)];
                return c == u'\n' || (c == u']' && !literal_.intersects(Range{j, 1}));
            },
            [](const char16_t* eight) {
#if defined(__SSE2__)
                const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(eight));
                return _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(units, _mm_set1_epi16(u']')),
                                                      _mm_cmpeq_epi16(units, _mm_set1_epi16(u'\n')))) == 0;
#else
                (void)eight;
                return false;
#endif
            });
    }

    bool isLiteral(int j) const { return literal_.intersects(Range{j, 1}); }

    // The last "[" after p and before the close at j that code spans and
    // escapes left alone, or p when there is none.
    int innermostOpener(int p, int j) const
    {
        for (int k = j - 1; k > p; --k)
            if (s_[size_t(k)] == u'[' && !isLiteral(k))
                return k;
        return p;
    }

    // The end of a destination starting at d: the first white space, the
    // first ")" that closes no "(" opened after d, or a "(" that white space
    // or the end comes before its ")" closes (the destination then ends there
    // and no ")" follows). Balanced parentheses belong to it, as deep as they go.
    int destinationEnd(int d)
    {
        const int k = parenthesisOrSpace(d);
        if (k >= end_ || s_[size_t(k)] != u'(')
            return k;
        // From one "(" to the next the walk is the same whichever d it came
        // from: each answer is kept for every position it passed.
        if (groupWalk_.empty())
            groupWalk_.assign(size_t(end_ - start_), 0);
        std::vector<int> path;
        int pos = d;
        int answer = end_;
        for (;;) {
            if (const int known = groupWalk_[size_t(pos - start_)]) {
                answer = known - 1;
                break;
            }
            path.push_back(pos);
            const int open = parenthesisOrSpace(pos);
            if (open >= end_ || s_[size_t(open)] != u'(') {
                answer = open;
                break;
            }
            const int close = balancedClose(open + 1);
            if (close >= end_ || nextSpace(open) < close) {
                answer = open;
                break;
            }
            pos = close + 1;
            if (pos >= end_) {
                answer = end_;
                break;
            }
        }
        for (int p : path)
            groupWalk_[size_t(p - start_)] = answer + 1;
        return answer;
    }

private:
    int parenthesisOrSpace(int i)
    {
        return at(
            destinationEnd_, i,
            [this](int j) {
                const char16_t c = s_[size_t(j)];
                if (c < 0x80)
                    return c == u')' || c == u'(' || c == u' ' || (c >= 0x09 && c <= 0x0D);
                return detail::isPatternSpace(c);
            },
            [](const char16_t* eight) {
#if defined(__SSE2__)
                // None is a parenthesis, a space, at or below CR, or outside ASCII (where the other spaces are).
                const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(eight));
                const __m128i low = _mm_cmpeq_epi16(_mm_subs_epu16(units, _mm_set1_epi16(0x0D)), _mm_setzero_si128());
                const __m128i high = _mm_cmpeq_epi16(_mm_subs_epu16(units, _mm_set1_epi16(0x7F)), _mm_setzero_si128());
                const __m128i parens = _mm_or_si128(_mm_cmpeq_epi16(units, _mm_set1_epi16(u')')),
                                                    _mm_cmpeq_epi16(units, _mm_set1_epi16(u'(')));
                const __m128i hits = _mm_or_si128(_mm_or_si128(parens, _mm_cmpeq_epi16(units, _mm_set1_epi16(u' '))),
                                                  _mm_or_si128(low, _mm_xor_si128(high, _mm_set1_epi16(-1))));
                return _mm_movemask_epi8(hits) == 0;
#else
                (void)eight;
                return false;
#endif
            });
    }

    int nextSpace(int i)
    {
        return at(
            space_, i, [this](int j) { return isPatternSpace(s_[size_t(j)]); },
            [](const char16_t*) { return false; });
    }

    // The first ")" at or after d that leaves the parentheses opened since d
    // unbalanced below d's level. One walk from the right answers every d:
    // with depth(i) the count of "(" minus ")" before i, it is the first ")"
    // at q >= d with depth(q) == depth(d).
    int balancedClose(int d)
    {
        if (balanced_.empty()) {
            const int n = end_ - start_;
            std::vector<int> depth(size_t(n) + 1, 0);
            for (int k = 0; k < n; ++k) {
                const char16_t c = s_[size_t(start_ + k)];
                depth[size_t(k) + 1] = depth[size_t(k)] + (c == u'(' ? 1 : c == u')' ? -1 : 0);
            }
            // Depths run from -n to n.
            std::vector<int> nextClose(size_t(2 * n) + 1, end_);
            balanced_.assign(size_t(n), end_);
            for (int k = n - 1; k >= 0; --k) {
                const size_t level = size_t(depth[size_t(k)] + n);
                if (s_[size_t(start_ + k)] == u')')
                    nextClose[level] = start_ + k;
                balanced_[size_t(k)] = nextClose[level];
            }
        }
        if (d < start_ || d >= end_)
            return end_;
        return balanced_[size_t(d - start_)];
    }

    // `none(p)` may say that none of the eight units at p stops the walk.
    template <typename Stop, typename NoneOfEight>
    int at(std::vector<int>& table, int i, Stop stop, NoneOfEight none)
    {
        if (i >= end_)
            return end_;
        // The table grows only as far as walks have gone. It holds each answer
        // plus one, so that the zeros of new entries mean "not known yet".
        i = std::max(i, start_);
        const int walked = start_ + int(table.size());
        if (i < walked && table[size_t(i - start_)] != 0)
            return table[size_t(i - start_)] - 1;
        int j = i;
        int answer = end_;
        for (; j < end_; ++j) {
            // Past what earlier walks saw, eight units at a time.
            while (j >= walked && j + 8 <= end_ && none(s_.data() + j))
                j += 8;
            if (j >= end_)
                break;
            if (j < walked && table[size_t(j - start_)] != 0) {
                answer = table[size_t(j - start_)] - 1;
                break;
            }
            if (stop(j)) {
                answer = j;
                break;
            }
        }
        const int last = std::min(j, end_ - 1);
        if (table.size() < size_t(last - start_ + 1)) {
            // Room for a usual line at once rather than growth walk by walk.
            if (table.capacity() == 0)
                table.reserve(size_t(std::min(end_ - start_, 256)));
            table.resize(size_t(last - start_ + 1));
        }
        for (int k = i; k <= last; ++k)
            if (table[size_t(k - start_)] == 0)
                table[size_t(k - start_)] = answer + 1;
        return answer;
    }

    U16View s_;
    int start_;
    int end_;
    const ConsumedSet& literal_;
    std::vector<int> closeBracket_;
    std::vector<int> destinationEnd_;
    std::vector<int> space_;
    std::vector<int> balanced_;
    std::vector<int> groupWalk_;
};

// The backtick runs of the scanned part, for finding a code span's closing
// run without walking the line from every opening: a tree of the runs' lengths
// answers "the first run from here at least n long" in log time, so a line of
// thousands of runs costs n log n rather than a walk per opening.
class CodeRuns {
public:
    CodeRuns(U16View s, int start, int end)
    {
        for (int i = start; i < end; ++i) {
            if (s[size_t(i)] != u'`')
                continue;
            int e = i;
            while (e < end && s[size_t(e)] == u'`')
                ++e;
            runs_.push_back(Run{i, e - i, end});
            i = e - 1;
        }
        crossesEnd_ = !runs_.empty() && runs_.back().start + runs_.back().length == end && end < int(s.size()) &&
                      s[size_t(end)] == u'`';
        size_t k = runs_.size();
        int lineEnd = end;
        for (int i = end - 1; i >= start && k > 0; --i) {
            if (s[size_t(i)] == u'\n')
                lineEnd = i;
            else if (runs_[k - 1].start == i)
                runs_[--k].lineEnd = lineEnd;
        }
        // A line of a few runs is searched run by run.
        if (runs_.size() <= fewRuns)
            return;
        while (size_ < int(runs_.size()))
            size_ *= 2;
        tree_.assign(size_t(2 * size_), 0);
        for (size_t r = 0; r < runs_.size(); ++r)
            tree_[size_t(size_) + r] = runs_[r].length;
        for (int v = size_ - 1; v >= 1; --v)
            tree_[size_t(v)] = std::max(tree_[size_t(2 * v)], tree_[size_t(2 * v + 1)]);
    }

    // The backticks that close the run opening at `p`, `n` long: the last n of
    // the first later run at least that long, or none when a line feed or the
    // scanned part's end comes first.
    Range closing(int p, int n, int lookEnd) const
    {
        const auto it = std::upper_bound(runs_.begin(), runs_.end(), p, [](int at, const Run& r) { return at < r.start; });
        if (it == runs_.begin())
            return Range::notFound();
        const Run& opening = *std::prev(it);
        const int r = firstAtLeast(int(it - runs_.begin()), n);
        if (r < 0 || runs_[size_t(r)].start > opening.lineEnd)
            return Range::notFound();
        const Run& close = runs_[size_t(r)];
        // A run cut by the scanned part's end closes only where look-ahead stops there too.
        if (size_t(r) + 1 == runs_.size() && crossesEnd_ && lookEnd > close.start + close.length)
            return Range::notFound();
        return Range::fromTo(close.start + close.length - n, close.start + close.length);
    }

private:
    static constexpr size_t fewRuns = 16;

    struct Run {
        int start;
        int length;   // cut at the scanned part's end
        int lineEnd;  // the first line feed after the run, or the end
    };

    int firstAtLeast(int k, int n) const
    {
        if (k >= int(runs_.size()))
            return -1;
        if (tree_.empty()) {
            for (size_t r = size_t(k); r < runs_.size(); ++r)
                if (runs_[r].length >= n)
                    return int(r);
            return -1;
        }
        int v = size_ + k;
        while (tree_[size_t(v)] < n) {
            // On to the next subtree to the right.
            while (v & 1)
                v >>= 1;
            if (v == 0)
                return -1;
            ++v;
        }
        while (v < size_)
            v = tree_[size_t(2 * v)] >= n ? 2 * v : 2 * v + 1;
        return v - size_;
    }

    std::vector<Run> runs_;
    bool crossesEnd_ = false;  // whether the last run goes on past the end
    int size_ = 1;
    std::vector<int> tree_;    // the longest run under each node, once there are many
};

// What one call scans, and where its spans go.
struct Scan {
    // Emphasis and strike matches: their whole range and their spans in `out`.
    struct Delimited {
        Range whole;
        size_t firstSpan;
        size_t spanCount;
    };

    Scan(U16View s, int base, int start, int end, const Footnote::Labels& footnotes, const ReferenceLink::Table& links,
         MarkdownSpans& out, std::vector<Delimited>& delimited)
        : s(s), base(base), start(start), end(end), footnotes(footnotes), links(links), out(out), firstSpan(out.size()),
          stops(s, start, end, literal), delimited(delimited)
    {
        delimited.clear();
    }

    U16View s;
    int base;
    int start;
    int end;
    const Footnote::Labels& footnotes;
    const ReferenceLink::Table& links;
    MarkdownSpans& out;
    size_t firstSpan;      // this call's spans start here in `out`
    ConsumedSet consumed;  // every offset a pass took
    ConsumedSet literal;   // what code spans and escapes took: text inside link text
    ConsumedSet later;     // what the passes after them took, up to the reference links
    bool literalDone = false;
    bool laterDone = false;
    Stops stops;
    std::vector<Delimited>& delimited;  // kept between calls, so that a line does not allocate it
    std::optional<CodeRuns> codeRuns;
    // The delimiters (as DelimiterBits) of which a pass's candidate looked for its
    // closing one up to the end: text after the end could still close it (see runningDelimiters).
    unsigned* runsOn = nullptr;
    // When asked, every such candidate's place and bit, each length apart.
    std::vector<std::pair<int, unsigned>>* waiting = nullptr;

    const CodeRuns& backtickRuns()
    {
        if (!codeRuns)
            codeRuns.emplace(s, start, end);
        return *codeRuns;
    }

    char16_t at(int i) const { return s[size_t(i)]; }
    int textEnd() const { return int(s.size()); }

    void span(Range r, MarkdownToken token, std::optional<U16String> url = std::nullopt)
    {
        // Braces: clang before 16 builds no aggregate from parentheses.
        out.push_back(MarkdownSpan{Range{base + r.location, r.length}, std::move(token), std::move(url)});
    }
    void consume(Range r)
    {
        consumed.add(r);
        if (!literalDone)
            literal.add(r);
        else if (!laterDone)
            later.add(r);
    }
};

int indexOf(U16View s, char16_t c, int from, int end)
{
    // Every pass looks for its trigger over the whole line, so this search is
    // the scanner's busiest loop: eight units at a time where the machine can.
    const char16_t* data = s.data();
    int i = std::max(from, 0);
#if defined(__SSE2__)
    const __m128i wanted = _mm_set1_epi16(short(c));
    for (; i + 8 <= end; i += 8) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        const int mask = _mm_movemask_epi8(_mm_cmpeq_epi16(units, wanted));
        if (mask)
            return i + __builtin_ctz(unsigned(mask)) / 2;
    }
#endif
    for (; i < end; ++i)
        if (data[i] == c)
            return i;
    return -1;
}

// First position at or after `from` holding `c` or a line feed, below `end`; `end` when none.
int scanTo(U16View s, int from, int end, char16_t c)
{
    for (int i = from; i < end; ++i) {
        const char16_t u = s[size_t(i)];
        if (u == c || u == u'\n')
            return i;
    }
    return end;
}

bool isAsciiPunctuation(char16_t c)
{
    return (c >= 0x21 && c <= 0x2F) || (c >= 0x3A && c <= 0x40) || (c >= 0x5B && c <= 0x60) ||
           (c >= 0x7B && c <= 0x7E);
}

bool isAsciiWord(char16_t c)
{
    return CharacterClass::isAsciiAlphanumeric(c) || c == u'_';
}

// ---- Matchers: each tests for a match starting exactly at p, consuming below `end`;
// `lookEnd` is how far look-ahead may see. ----

// (?<!`)(`+)(?!`)([^\n]+?)(\1)(?!`)
// The closing run is looked for nearby by walking; past that, in the table of
// the line's runs, which the scan builds only for lines that need it.
template <typename Runs>
bool matchCodeSpan(U16View s, int p, int end, int lookEnd, Runs runs, Hit& h)
{
    if (s[size_t(p)] != u'`' || (p > 0 && s[size_t(p - 1)] == u'`'))
        return false;
    int q = p;
    while (q < end && s[size_t(q)] == u'`')
        ++q;
    if (q < lookEnd && s[size_t(q)] == u'`')
        return false;
    const int n = q - p;
    auto found = [&](int close) {
        h.reset();
        h.g[0] = Range::fromTo(p, close + n);
        h.g[1] = Range::fromTo(p, q);
        h.g[2] = Range::fromTo(q, close);
        h.g[3] = Range::fromTo(close, close + n);
        return true;
    };
    // The first later run at least n long closes with its last n backticks.
    constexpr int nearby = 256;
    const int walkEnd = std::min(end, q + nearby);
    for (int i = q; i < walkEnd; ++i) {
        const char16_t c = s[size_t(i)];
        if (c == u'\n')
            return false;
        if (c != u'`')
            continue;
        int e = i;
        while (e < walkEnd && s[size_t(e)] == u'`')
            ++e;
        if (e == walkEnd && (walkEnd < end || (end < lookEnd && s[size_t(end)] == u'`')))
            break;
        if (e - i >= n)
            return found(e - n);
        i = e - 1;
    }
    if (walkEnd == end)
        return false;
    const Range close = runs().closing(p, n, lookEnd);
    return close.found() && found(close.location);
}

// The part of the image and link patterns after "](": destination, optional title, ")".
bool matchLinkTail(U16View s, int d, int end, Stops& stops, Hit& h)
{
    auto finish = [&](int destEnd) {
        const int t0 = destEnd;
        // With a title: blanks, a quoted or parenthesised title, blanks, ")".
        int b = t0;
        while (b < end && CharacterClass::isAsciiBlank(s[size_t(b)]))
            ++b;
        if (b > t0 && b < end) {
            const char16_t q = s[size_t(b)];
            int titleEnd = -1;
            if (q == u'"' || q == u'\'') {
                const int e = scanTo(s, b + 1, end, q);
                if (e < end && s[size_t(e)] == q)
                    titleEnd = e + 1;
            } else if (q == u'(') {
                int e = b + 1;
                while (e < end && s[size_t(e)] != u'(' && s[size_t(e)] != u')' && s[size_t(e)] != u'\n')
                    ++e;
                if (e < end && s[size_t(e)] == u')')
                    titleEnd = e + 1;
            }
            if (titleEnd >= 0) {
                int c = titleEnd;
                while (c < end && CharacterClass::isAsciiBlank(s[size_t(c)]))
                    ++c;
                if (c < end && s[size_t(c)] == u')') {
                    h.g[5] = Range::fromTo(t0, c);
                    h.g[6] = Range{c, 1};
                    return true;
                }
            }
        }
        // Without a title: blanks, ")".
        int c = t0;
        while (c < end && CharacterClass::isAsciiBlank(s[size_t(c)]))
            ++c;
        if (c < end && s[size_t(c)] == u')') {
            h.g[5] = Range::fromTo(t0, c);
            h.g[6] = Range{c, 1};
            return true;
        }
        return false;
    };
    if (d < end && s[size_t(d)] == u'<') {
        int k = d + 1;
        while (k < end && s[size_t(k)] != u'<' && s[size_t(k)] != u'>' && s[size_t(k)] != u'\n')
            ++k;
        if (k < end && s[size_t(k)] == u'>' && finish(k + 1)) {
            h.g[4] = Range::fromTo(d, k + 1);
            return true;
        }
    }
    const int k = stops.destinationEnd(d);
    if (finish(k)) {
        h.g[4] = Range::fromTo(d, k);
        return true;
    }
    return false;
}

// (!\[)([^\]\n]*?)(\]\() ... or (\[)([^\]\n]*?)(\]\() ...; a "]" in a code span or
// an escape closes nothing. A link's text starts at the innermost "[" before
// its close, so that a "[" that opens nothing does not take the link over.
bool matchBracketLink(U16View s, int p, int openLength, int end, Stops& stops, Hit& h)
{
    const int c = p + openLength;
    if (c > end)
        return false;
    const int j = stops.closeBracket(c);
    if (j >= end || s[size_t(j)] != u']' || j + 1 >= end || s[size_t(j + 1)] != u'(')
        return false;
    h.reset();
    if (!matchLinkTail(s, j + 2, end, stops, h))
        return false;
    const int opener = openLength == 1 ? stops.innermostOpener(p, j) : p;
    h.g[1] = Range{opener, openLength};
    h.g[2] = Range::fromTo(opener + openLength, j);
    h.g[3] = Range{j, 2};
    h.g[0] = Range::fromTo(opener, h.g[6].end());
    return true;
}

bool matchImage(U16View s, int p, int end, Stops& stops, Hit& h)
{
    return p + 1 < end && s[size_t(p)] == u'!' && s[size_t(p + 1)] == u'[' && matchBracketLink(s, p, 2, end, stops, h);
}

bool matchLink(U16View s, int p, int end, Stops& stops, Hit& h)
{
    return s[size_t(p)] == u'[' && matchBracketLink(s, p, 1, end, stops, h);
}

// (<)([A-Za-z][A-Za-z0-9+.\-]{1,31}:[^<>\s]*)(>)
bool matchAutolink(U16View s, int p, int end, int, Hit& h)
{
    if (s[size_t(p)] != u'<' || p + 1 >= end || !CharacterClass::isAsciiLetter(s[size_t(p + 1)]))
        return false;
    int j = p + 2;
    while (j < end && (CharacterClass::isAsciiAlphanumeric(s[size_t(j)]) || s[size_t(j)] == u'+' ||
                       s[size_t(j)] == u'.' || s[size_t(j)] == u'-'))
        ++j;
    const int schemeRun = j - (p + 2);
    if (schemeRun < 1 || schemeRun > 31 || j >= end || s[size_t(j)] != u':')
        return false;
    int k = j + 1;
    while (k < end && s[size_t(k)] != u'<' && s[size_t(k)] != u'>' && !isPatternSpace(s[size_t(k)]))
        ++k;
    if (k >= end || s[size_t(k)] != u'>')
        return false;
    h.reset();
    h.g[0] = Range::fromTo(p, k + 1);
    h.g[1] = Range{p, 1};
    h.g[2] = Range::fromTo(p + 1, k);
    h.g[3] = Range{k, 1};
    return true;
}

// (<)([A-Za-z0-9._%+\-]+@[A-Za-z0-9\-]+(?:\.[A-Za-z0-9\-]+)+)(>)
bool matchEmailAutolink(U16View s, int p, int end, int, Hit& h)
{
    if (s[size_t(p)] != u'<')
        return false;
    auto local = [](char16_t c) {
        return CharacterClass::isAsciiAlphanumeric(c) || c == u'.' || c == u'_' || c == u'%' || c == u'+' ||
               c == u'-';
    };
    auto domain = [](char16_t c) { return CharacterClass::isAsciiAlphanumeric(c) || c == u'-'; };
    int j = p + 1;
    while (j < end && local(s[size_t(j)]))
        ++j;
    if (j == p + 1 || j >= end || s[size_t(j)] != u'@')
        return false;
    int k = j + 1;
    while (k < end && domain(s[size_t(k)]))
        ++k;
    if (k == j + 1)
        return false;
    int more = 0;
    while (k < end && s[size_t(k)] == u'.') {
        int e = k + 1;
        while (e < end && domain(s[size_t(e)]))
            ++e;
        if (e == k + 1)
            break;
        k = e;
        ++more;
    }
    if (more == 0 || k >= end || s[size_t(k)] != u'>')
        return false;
    h.reset();
    h.g[0] = Range::fromTo(p, k + 1);
    h.g[1] = Range{p, 1};
    h.g[2] = Range::fromTo(p + 1, k);
    h.g[3] = Range{k, 1};
    return true;
}

// (\[\^)([^\]\n]+?)(\])
bool matchFootnoteReference(U16View s, int p, int end, Stops& stops, Hit& h)
{
    if (s[size_t(p)] != u'[' || p + 1 >= end || s[size_t(p + 1)] != u'^')
        return false;
    const int j = stops.closeBracket(p + 2);
    if (j == p + 2 || j >= end || s[size_t(j)] != u']')
        return false;
    h.reset();
    h.g[0] = Range::fromTo(p, j + 1);
    h.g[1] = Range{p, 2};
    h.g[2] = Range::fromTo(p + 2, j);
    h.g[3] = Range{j, 1};
    return true;
}

// Where a reference's text starts, given its close at j: a link at the
// innermost "[" before j; an image whose text holds another "[" is none. The
// whole match's start and the text's start, or nothing.
std::optional<std::pair<int, int>> referenceText(int p, int openLength, int j, Stops& stops)
{
    const int opener = stops.innermostOpener(p + openLength - 1, j);
    if (openLength == 2 && opener != p + 1)
        return std::nullopt;
    if (j == opener + 1)
        return std::nullopt;
    return std::pair{openLength == 2 ? p : opener, opener + 1};
}

// (!?\[)([^\]\n]+?)(\]\[)([^\]\n]*?)(\]), brackets in code spans and escapes
// being text, the text starting as referenceText() says.
bool matchFullReference(U16View s, int p, int openLength, int end, Stops& stops, Hit& h)
{
    const int j = stops.closeBracket(p + openLength);
    if (j >= end || s[size_t(j)] != u']' || j + 1 >= end || s[size_t(j + 1)] != u'[')
        return false;
    const auto text = referenceText(p, openLength, j, stops);
    if (!text)
        return false;
    const int k = stops.closeBracket(j + 2);
    if (k >= end || s[size_t(k)] != u']')
        return false;
    const auto [start, c] = *text;
    h.reset();
    h.g[0] = Range::fromTo(start, k + 1);
    h.g[1] = Range::fromTo(start, c);
    h.g[2] = Range::fromTo(c, j);
    h.g[3] = Range{j, 2};
    h.g[4] = Range::fromTo(j + 2, k);
    h.g[5] = Range{k, 1};
    return true;
}

// (!?\[)([^\]\n]+?)(\])(?![(\[:]), with the brackets of the full form's matcher
bool matchShortcutReference(U16View s, int p, int openLength, int end, int lookEnd, Stops& stops, Hit& h)
{
    const int j = stops.closeBracket(p + openLength);
    if (j >= end || s[size_t(j)] != u']')
        return false;
    if (j + 1 < lookEnd) {
        const char16_t next = s[size_t(j + 1)];
        if (next == u'(' || next == u'[' || next == u':')
            return false;
    }
    const auto text = referenceText(p, openLength, j, stops);
    if (!text)
        return false;
    const auto [start, c] = *text;
    h.reset();
    h.g[0] = Range::fromTo(start, j + 1);
    h.g[1] = Range::fromTo(start, c);
    h.g[2] = Range::fromTo(c, j);
    h.g[3] = Range{j, 1};
    return true;
}

bool matchImageReference(U16View s, int p, int end, int, Stops& stops, Hit& h)
{
    return p + 1 < end && s[size_t(p)] == u'!' && s[size_t(p + 1)] == u'[' && matchFullReference(s, p, 2, end, stops, h);
}
bool matchLinkReference(U16View s, int p, int end, int, Stops& stops, Hit& h)
{
    return s[size_t(p)] == u'[' && matchFullReference(s, p, 1, end, stops, h);
}
bool matchImageShortcut(U16View s, int p, int end, int lookEnd, Stops& stops, Hit& h)
{
    return p + 1 < end && s[size_t(p)] == u'!' && s[size_t(p + 1)] == u'[' &&
           matchShortcutReference(s, p, 2, end, lookEnd, stops, h);
}
bool matchLinkShortcut(U16View s, int p, int end, int lookEnd, Stops& stops, Hit& h)
{
    return s[size_t(p)] == u'[' && matchShortcutReference(s, p, 1, end, lookEnd, stops, h);
}

// A tag name compared as the case-insensitive patterns compare it ("ſ" folds to "s").
bool tagAt(U16View s, int p, int end, const char* tag)
{
    for (int i = 0; tag[i]; ++i) {
        if (p + i >= end)
            return false;
        const char16_t c = s[size_t(p + i)];
        const char16_t t = char16_t(tag[i]);
        if (CharacterClass::asciiLower(c) == t)
            continue;
        if (t == u's' && c == 0x017F)
            continue;
        return false;
    }
    return true;
}

int tagLength(const char* tag)
{
    int n = 0;
    while (tag[n])
        ++n;
    return n;
}

// (<tag>)([^<\n]+?)(</tag>), case-insensitive
bool matchTag(U16View s, int p, int end, const char* open, const char* close, Hit& h)
{
    if (!tagAt(s, p, end, open))
        return false;
    const int c = p + tagLength(open);
    const int k = scanTo(s, c, end, u'<');
    if (k == c || k >= end || s[size_t(k)] != u'<' || !tagAt(s, k, end, close))
        return false;
    const int e = k + tagLength(close);
    h.reset();
    h.g[0] = Range::fromTo(p, e);
    h.g[1] = Range::fromTo(p, c);
    h.g[2] = Range::fromTo(c, k);
    h.g[3] = Range::fromTo(k, e);
    return true;
}

void setDelimited(Hit& h, int p, int open, int k, int close)
{
    h.reset();
    h.g[0] = Range::fromTo(p, k + close);
    h.g[1] = Range{p, open};
    h.g[2] = Range::fromTo(p + open, k);
    h.g[3] = Range{k, close};
}

// (ccc)([^c]+?)(ccc)
bool matchTriple(U16View s, int p, int end, char16_t c, Hit& h)
{
    if (p + 3 > end || s[size_t(p)] != c || s[size_t(p + 1)] != c || s[size_t(p + 2)] != c)
        return false;
    const int k = indexOf(s, c, p + 3, end);
    if (k < 0 || k == p + 3 || k + 3 > end || s[size_t(k + 1)] != c || s[size_t(k + 2)] != c)
        return false;
    setDelimited(h, p, 3, k, 3);
    return true;
}

// (cc)((?:[^c]|c(?!c))+?)(cc)
bool matchDouble(U16View s, int p, int end, int lookEnd, char16_t c, Hit& h)
{
    if (p + 2 > end || s[size_t(p)] != c || s[size_t(p + 1)] != c)
        return false;
    const int content = p + 2;
    int u = content;
    for (;;) {
        u = indexOf(s, c, u, end);
        if (u < 0)
            return false;
        const bool nextIsDelimiter = u + 1 < lookEnd && s[size_t(u + 1)] == c;
        if (u > content && u + 2 <= end && nextIsDelimiter) {
            setDelimited(h, p, 2, u, 2);
            return true;
        }
        // Unit u becomes content: a lone delimiter character is allowed, a pair is not.
        if (nextIsDelimiter)
            return false;
        ++u;
    }
}

// (c)([^c]+?)(c)
bool matchSingle(U16View s, int p, int end, char16_t c, Hit& h)
{
    if (s[size_t(p)] != c)
        return false;
    const int k = indexOf(s, c, p + 1, end);
    if (k < 0 || k == p + 1)
        return false;
    setDelimited(h, p, 1, k, 1);
    return true;
}

// (?<![A-Za-z0-9_])(_)([^_]+?)(_)(?![A-Za-z0-9_])
bool matchItalicUnder(U16View s, int p, int end, int lookEnd, Hit& h)
{
    if (s[size_t(p)] != u'_' || (p > 0 && isAsciiWord(s[size_t(p - 1)])))
        return false;
    const int k = indexOf(s, u'_', p + 1, end);
    if (k < 0 || k == p + 1 || (k + 1 < lookEnd && isAsciiWord(s[size_t(k + 1)])))
        return false;
    setDelimited(h, p, 1, k, 1);
    return true;
}

// (~~)([^~]+?)(~~)
bool matchStrike(U16View s, int p, int end, Hit& h)
{
    if (p + 2 > end || s[size_t(p)] != u'~' || s[size_t(p + 1)] != u'~')
        return false;
    const int k = indexOf(s, u'~', p + 2, end);
    if (k < 0 || k == p + 2 || k + 2 > end || s[size_t(k + 1)] != u'~')
        return false;
    setDelimited(h, p, 2, k, 2);
    return true;
}

// Whether a delimiter candidate at p that did not match searched for its
// closing delimiter `c` up to `end` without deciding: the first `c` after the
// opening run decides every delimiter pattern, and a line terminator (what
// follows a paragraph's last line) never matches one. `opening` is the
// opening run's length; a double run followed by two more fails at once.
bool searchedToEnd(U16View s, int p, int end, int lookEnd, char16_t c, int opening)
{
    if (p + opening > end)
        return false;
    for (int i = p; i < p + opening; ++i)
        if (s[size_t(i)] != c)
            return false;
    if (c == u'_' && opening == 1 && p > 0 && isAsciiWord(s[size_t(p - 1)]))
        return false;
    if (opening == 2 && c != u'~')
        return !(p + 3 < lookEnd && s[size_t(p + 2)] == c && s[size_t(p + 3)] == c);
    return indexOf(s, c, p + opening, end) < 0;
}

// ---- Pass drivers ----

// Groups as bits: bit g stands for group g.
constexpr unsigned groups(std::initializer_list<int> gs)
{
    unsigned bits = 0;
    for (int g : gs)
        bits |= 1u << g;
    return bits;
}

struct PassSpec {
    int contentGroup;
    MarkdownToken token;
    unsigned markers;
    int urlGroup = 0;
    const char16_t* urlPrefix = u"";
    bool claimsContent = true;
    // Whether earlier spans may stand inside the content (code in a link's
    // text): only the markers must then be free.
    bool nestsContent = false;
    // Whether the content span stands for the whole construct, so that it is
    // made where the content would be even when that is empty: a picture
    // without a description is still a picture.
    bool keyedByContent = false;
};

// A first-match pass: the pattern's first match from `start` (look-ahead past
// the end allowed), tested against the consumed offsets, again and again.
template <typename Matcher>
void firstMatchPass(Scan& sc, char16_t trigger, Matcher match, const PassSpec& pass)
{
    const int lookEnd = sc.textEnd();
    int start = sc.start;
    Hit h;
    while (start < sc.end) {
        int p = start;
        bool found = false;
        for (;;) {
            p = indexOf(sc.s, trigger, p, sc.end);
            if (p < 0)
                break;
            if (match(sc.s, p, sc.end, lookEnd, h)) {
                found = true;
                break;
            }
            ++p;
        }
        if (!found)
            return;
        const Range whole = h.g[0];
        bool rejected = false;
        if (pass.claimsContent && !pass.nestsContent) {
            rejected = sc.consumed.intersects(whole);
        } else {
            for (int g = 1; g < 7; ++g)
                if ((pass.markers >> g & 1) && h.g[size_t(g)].found() && sc.consumed.intersects(h.g[size_t(g)]))
                    rejected = true;
            if (pass.nestsContent && sc.later.intersects(whole))
                rejected = true;
        }
        if (rejected) {
            start = whole.location + 1;
            continue;
        }
        const size_t spansBefore = sc.out.size();
        const Range content = h.g[size_t(pass.contentGroup)];
        if (content.found() && (content.length >= 1 || pass.keyedByContent)) {
            std::optional<U16String> url;
            if (pass.urlGroup && h.g[size_t(pass.urlGroup)].found())
                url = linkDestination(substring(sc.s, h.g[size_t(pass.urlGroup)]), pass.urlPrefix);
            sc.span(content, pass.token, std::move(url));
        }
        for (int g = 1; g < 7; ++g)
            if ((pass.markers >> g & 1) && h.g[size_t(g)].found() && h.g[size_t(g)].length >= 1)
                sc.span(h.g[size_t(g)], MarkdownToken());
        if (pass.claimsContent) {
            sc.consume(whole);
        } else {
            for (int g = 1; g < 7; ++g)
                if ((pass.markers >> g & 1) && h.g[size_t(g)].found())
                    sc.consume(h.g[size_t(g)]);
            sc.delimited.push_back({whole, spansBefore, sc.out.size() - spansBefore});
        }
        start = std::max(whole.end(), whole.location + 1);
    }
}

// What a visit of an all-matches pass made of a match.
enum class Visited {
    read,     // taken, or left as text: the next match starts after it
    covered,  // refused for reaching into text an earlier pass took (a code span
              // holding "[^a") or for a label no note has: it hides nothing, the
              // next may start one further on
};

// An all-matches pass: every match inside the scanned part, left to right and
// not overlapping, look-ahead stopping at its end. What an earlier pass took
// never changes how the rest of the text reads: a match refused for reaching
// into it is no match.
template <typename Matcher, typename Visit>
void allMatchesPass(const Scan& sc, char16_t trigger, Matcher match, Visit visit)
{
    Hit h;
    int p = sc.start;
    for (;;) {
        p = indexOf(sc.s, trigger, p, sc.end);
        if (p < 0)
            return;
        if (match(sc.s, p, sc.end, sc.end, h)) {
            const Range whole = h.g[0];
            if constexpr (std::is_same_v<decltype(visit(h)), Visited>) {
                if (visit(h) == Visited::covered) {
                    p = whole.location + 1;
                    continue;
                }
            } else {
                visit(h);
            }
            p = std::max(whole.end(), p + 1);
        } else {
            ++p;
        }
    }
}

void appendReferences(Scan& sc)
{
    if (sc.links.empty())
        return;
    const auto task = TaskList::parse(sc.s);
    auto pass = [&](char16_t trigger, auto match, bool image, bool full) {
        auto matcher = [&](U16View s, int p, int end, int lookEnd, Hit& h) {
            return match(s, p, end, lookEnd, sc.stops, h);
        };
        // A match starts at the innermost free "[" before its close, so none
        // that a refused one covers could start another: it is passed over whole.
        allMatchesPass(sc, trigger, matcher, [&](const Hit& h) {
            // As in an inline link, the text (and the label) may hold code
            // spans and escapes; the brackets must be free.
            const Range whole = h.g[0];
            if (sc.later.intersects(whole))
                return;
            for (int g : {1, 3, 5})
                if (h.g[size_t(g)].found() && sc.consumed.intersects(h.g[size_t(g)]))
                    return;
            if (task && whole == task->box)
                return;
            Range labelRange = h.g[2];
            if (full && h.g[4].length > 0)
                labelRange = h.g[4];
            const U16View label = substring(sc.s, labelRange);
            if (label.empty())
                return;
            const auto it = sc.links.find(Footnote::normalizedLabel(label));
            if (it == sc.links.end())
                return;
            sc.span(h.g[2], MarkdownToken(image ? MarkdownToken::Kind::image : MarkdownToken::Kind::link), it->second);
            const unsigned markers = full ? groups({1, 3, 4, 5}) : groups({1, 3});
            for (int g = 1; g < 7; ++g)
                if ((markers >> g & 1) && h.g[size_t(g)].found() && h.g[size_t(g)].length >= 1)
                    sc.span(h.g[size_t(g)], MarkdownToken());
            sc.consume(whole);
        });
    };
    pass(u'!', matchImageReference, true, true);
    pass(u'[', matchLinkReference, false, true);
    pass(u'!', matchImageShortcut, true, false);
    pass(u'[', matchLinkShortcut, false, false);
}

void appendColors(Scan& sc)
{
    const auto match = [&sc](U16View s, int p, int end, int lookEnd, Hit& h) {
        return matchCodeSpan(s, p, end, lookEnd, [&sc]() -> const CodeRuns& { return sc.backtickRuns(); }, h);
    };
    allMatchesPass(sc, u'`', match, [&](const Hit& h) {
        const Range content = h.g[2];
        if (!content.found() || content.length < 1)
            return;
        if (auto literal = ColorLiteral::parse(substring(sc.s, content)))
            sc.span(content, MarkdownToken::color(*literal));
    });
}

// Emphasis of one kind may cross emphasis of another ("*a _b* c_"). Of two
// crossing matches the one that starts first (or is longer, or came first)
// stays; the other's spans go, so its delimiters are read as the text they are.
void dropCrossingDelimited(Scan& sc)
{
    auto& d = sc.delimited;
    if (d.size() < 2)
        return;
    const auto crosses = [](Range a, Range b) {
        return (a.location < b.location && b.location < a.end() && a.end() < b.end())
            || (b.location < a.location && a.location < b.end() && b.end() < a.end());
    };
    // A line holds few: most often none cross, which a look at every pair tells.
    if (d.size() <= 16) {
        bool any = false;
        for (size_t a = 0; a < d.size() && !any; ++a)
            for (size_t b = a + 1; b < d.size() && !any; ++b)
                any = crosses(d[a].whole, d[b].whole);
        if (!any)
            return;
    }
    std::vector<size_t> order(d.size());
    for (size_t k = 0; k < order.size(); ++k)
        order[k] = k;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        if (d[a].whole.location != d[b].whole.location)
            return d[a].whole.location < d[b].whole.location;
        return d[a].whole.length > d[b].whole.length;
    });
    std::vector<bool> dropped(d.size(), false);
    std::vector<int> open;  // ends of the kept matches that enclose the current position
    bool any = false;
    for (size_t k : order) {
        const Range r = d[k].whole;
        while (!open.empty() && r.location >= open.back())
            open.pop_back();
        if (!open.empty() && r.end() > open.back()) {
            dropped[k] = any = true;
            continue;
        }
        open.push_back(r.end());
    }
    if (!any)
        return;
    std::vector<bool> drop(sc.out.size() - sc.firstSpan, false);
    for (size_t k = 0; k < d.size(); ++k)
        if (dropped[k])
            for (size_t i = 0; i < d[k].spanCount; ++i)
                drop[d[k].firstSpan - sc.firstSpan + i] = true;
    size_t kept = sc.firstSpan;
    for (size_t i = sc.firstSpan; i < sc.out.size(); ++i)
        if (!drop[i - sc.firstSpan]) {
            if (kept != i)
                sc.out[kept] = std::move(sc.out[i]);
            ++kept;
        }
    sc.out.erase(sc.out.begin() + std::ptrdiff_t(kept), sc.out.end());
    // The matches that stay, for the waiting candidates to be read against.
    if (sc.waiting) {
        size_t stays = 0;
        for (size_t k = 0; k < d.size(); ++k)
            if (!dropped[k])
                d[stays++] = d[k];
        d.resize(stays);
    }
}

// Which trigger characters the scanned part holds: passes without theirs are skipped.
struct Triggers {
    bool backtick = false, backslash = false, bang = false, bracket = false, angle = false, star = false,
         underscore = false, tilde = false;
};

Triggers triggersIn(U16View s, int start, int end)
{
    Triggers t;
    int i = start;
#if defined(__SSE2__)
    // Every line is looked at: eight units at a time, one running mask per trigger.
    if (end - start >= 16) {
        const auto hits = [](__m128i units, char16_t c) { return _mm_cmpeq_epi16(units, _mm_set1_epi16(short(c))); };
        __m128i backtick = _mm_setzero_si128(), backslash = backtick, bang = backtick, bracket = backtick,
                angle = backtick, star = backtick, underscore = backtick, tilde = backtick;
        for (; i + 8 <= end; i += 8) {
            const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + i));
            backtick = _mm_or_si128(backtick, hits(units, u'`'));
            backslash = _mm_or_si128(backslash, hits(units, u'\\'));
            bang = _mm_or_si128(bang, hits(units, u'!'));
            bracket = _mm_or_si128(bracket, hits(units, u'['));
            angle = _mm_or_si128(angle, hits(units, u'<'));
            star = _mm_or_si128(star, hits(units, u'*'));
            underscore = _mm_or_si128(underscore, hits(units, u'_'));
            tilde = _mm_or_si128(tilde, hits(units, u'~'));
        }
        t.backtick = _mm_movemask_epi8(backtick) != 0;
        t.backslash = _mm_movemask_epi8(backslash) != 0;
        t.bang = _mm_movemask_epi8(bang) != 0;
        t.bracket = _mm_movemask_epi8(bracket) != 0;
        t.angle = _mm_movemask_epi8(angle) != 0;
        t.star = _mm_movemask_epi8(star) != 0;
        t.underscore = _mm_movemask_epi8(underscore) != 0;
        t.tilde = _mm_movemask_epi8(tilde) != 0;
    }
#endif
    for (; i < end; ++i) {
        switch (s[size_t(i)]) {
        case u'`':
            t.backtick = true;
            break;
        case u'\\':
            t.backslash = true;
            break;
        case u'!':
            t.bang = true;
            break;
        case u'[':
            t.bracket = true;
            break;
        case u'<':
            t.angle = true;
            break;
        case u'*':
            t.star = true;
            break;
        case u'_':
            t.underscore = true;
            break;
        case u'~':
            t.tilde = true;
            break;
        default:
            break;
        }
    }
    return t;
}

} // namespace

std::optional<Regex::Match> matchImageAt(U16View text, int p)
{
    const int n = int(text.size());
    if (p < 0 || p >= n)
        return std::nullopt;
    const ConsumedSet none;
    Stops stops(text, p, n, none);
    Hit h;
    if (!matchImage(text, p, n, stops, h))
        return std::nullopt;
    Regex::Match m;
    m.groups.assign(h.g.begin(), h.g.end());
    return m;
}

namespace {

// One pattern's every match over the whole text, by its hand matcher.
template <typename Matcher>
std::vector<Regex::Match> allMatches(U16View text, char16_t trigger, int groups, Matcher match)
{
    static const Footnote::Labels noFootnotes;
    static const ReferenceLink::Table noLinks;
    MarkdownSpans unused;
    std::vector<Scan::Delimited> none;
    const int n = int(text.size());
    Scan sc(text, 0, 0, n, noFootnotes, noLinks, unused, none);
    std::vector<Regex::Match> out;
    allMatchesPass(sc, trigger, [&](U16View s, int p, int end, int lookEnd, Hit& h) { return match(sc, s, p, end, lookEnd, h); },
                   [&](const Hit& h) {
                       Regex::Match m;
                       m.groups.assign(h.g.begin(), h.g.begin() + groups + 1);
                       out.push_back(std::move(m));
                   });
    return out;
}

} // namespace

std::vector<Regex::Match> codeSpanMatches(U16View text)
{
    return allMatches(text, u'`', 3, [](Scan& sc, U16View s, int p, int end, int lookEnd, Hit& h) {
        return matchCodeSpan(s, p, end, lookEnd, [&sc]() -> const CodeRuns& { return sc.backtickRuns(); }, h);
    });
}

std::vector<Regex::Match> linkMatches(U16View text)
{
    return allMatches(text, u'[', linkRegex().groupCount(), [](Scan& sc, U16View s, int p, int end, int, Hit& h) {
        return matchLink(s, p, end, sc.stops, h);
    });
}

std::vector<Regex::Match> imageMatches(U16View text)
{
    return allMatches(text, u'!', imageRegex().groupCount(), [](Scan& sc, U16View s, int p, int end, int, Hit& h) {
        return matchImage(s, p, end, sc.stops, h);
    });
}

std::vector<Regex::Match> footnoteReferenceMatches(U16View text)
{
    return allMatches(text, u'[', 3, [](Scan& sc, U16View s, int p, int end, int, Hit& h) {
        return matchFootnoteReference(s, p, end, sc.stops, h);
    });
}

namespace {

void scanInline(U16View line, int base, Range within, const Footnote::Labels& footnotes,
                const ReferenceLink::Table& links, MarkdownSpans& into, unsigned* runsOn,
                unsigned* unenclosed = nullptr)
{
    if (within.length <= 0)
        return;
    const int n = int(line.size());
    const int start = std::clamp(within.location, 0, n);
    const int end = std::clamp(within.end(), start, n);
    if (start >= end)
        return;
    const Triggers t = triggersIn(line, start, end);
    if (!(t.backtick || t.backslash || t.bang || t.bracket || t.angle || t.star || t.underscore || t.tilde))
        return;

    thread_local std::vector<Scan::Delimited> delimited;
    Scan sc(line, base, start, end, footnotes, links, into, delimited);
    sc.runsOn = runsOn;
    std::vector<std::pair<int, unsigned>> waiting;
    if (runsOn && unenclosed)
        sc.waiting = &waiting;
    auto withStops = [&sc](auto match) {
        return [&sc, match](U16View s, int p, int end, int, Hit& h) { return match(s, p, end, sc.stops, h); };
    };
    using K = MarkdownToken::Kind;

    if (t.backtick)
        firstMatchPass(sc, u'`',
                       [&sc](U16View s, int p, int end, int lookEnd, Hit& h) {
                           return matchCodeSpan(
                               s, p, end, lookEnd, [&sc]() -> const CodeRuns& { return sc.backtickRuns(); }, h);
                       },
                       PassSpec{2, MarkdownToken(K::code), groups({1, 3})});
    if (t.backslash)
        allMatchesPass(sc, u'\\',
                       [](U16View s, int p, int end, int, Hit& h) {
                           if (p + 1 >= end || !isAsciiPunctuation(s[size_t(p + 1)]))
                               return false;
                           h.reset();
                           h.g[0] = Range{p, 2};
                           h.g[1] = Range{p, 1};
                           h.g[2] = Range{p + 1, 1};
                           return true;
                       },
                       [&](const Hit& h) {
                           if (sc.consumed.intersects(h.g[0]))
                               return;
                           sc.span(h.g[1], MarkdownToken());
                           sc.consume(h.g[0]);
                       });
    sc.literalDone = true;
    if (t.bang && t.bracket)
        firstMatchPass(sc, u'!', withStops(matchImage),
                       PassSpec{2, MarkdownToken(K::image), groups({1, 3, 4, 5, 6}), 4, u"", true, false, true});
    if (t.bracket)
        firstMatchPass(sc, u'[', withStops(matchLink),
                       PassSpec{2, MarkdownToken(K::link), groups({1, 3, 4, 5, 6}), 4, u"", true, true});
    if (t.angle) {
        firstMatchPass(sc, u'<', matchAutolink, PassSpec{2, MarkdownToken(K::link), groups({1, 3}), 2, u""});
        firstMatchPass(sc, u'<', matchEmailAutolink, PassSpec{2, MarkdownToken(K::link), groups({1, 3}), 2, u"mailto:"});
    }
    if (t.bracket && !footnotes.empty())
        allMatchesPass(sc, u'[', withStops(matchFootnoteReference), [&](const Hit& h) {
            if (sc.consumed.intersects(h.g[0]))
                return Visited::covered;
            // "[^x [^b]" with no note x still refers to b.
            const U16View label = substring(line, h.g[2]);
            if (!footnotes.names(label))
                return Visited::covered;
            sc.span(h.g[0], MarkdownToken::footnoteRef(U16String(label)));
            sc.span(h.g[1], MarkdownToken());
            sc.span(h.g[3], MarkdownToken());
            sc.consume(h.g[0]);
            return Visited::read;
        });
    if (t.bracket)
        appendReferences(sc);
    sc.laterDone = true;  // no pass below asks what the passes above took
    if (t.angle) {
        auto tag = [](const char* open, const char* close) {
            return [open, close](U16View s, int p, int end, int, Hit& h) { return matchTag(s, p, end, open, close, h); };
        };
        firstMatchPass(sc, u'<', tag("<sub>", "</sub>"), PassSpec{2, MarkdownToken(K::subscripted), groups({1, 3})});
        firstMatchPass(sc, u'<', tag("<sup>", "</sup>"), PassSpec{2, MarkdownToken(K::superscripted), groups({1, 3})});
        firstMatchPass(sc, u'<', tag("<u>", "</u>"), PassSpec{2, MarkdownToken(K::underline), groups({1, 3})});
        firstMatchPass(sc, u'<', tag("<ins>", "</ins>"), PassSpec{2, MarkdownToken(K::underline), groups({1, 3})});
    }
    auto markersOnly = [](K kind) { return PassSpec{2, MarkdownToken(kind), groups({1, 3}), 0, u"", false}; };
    auto triple = [](char16_t c) {
        return [c](U16View s, int p, int end, int, Hit& h) { return matchTriple(s, p, end, c, h); };
    };
    auto dbl = [](char16_t c) {
        return [c](U16View s, int p, int end, int lookEnd, Hit& h) { return matchDouble(s, p, end, lookEnd, c, h); };
    };
    // The delimiter passes are the ones whose matches may run over line ends.
    auto watched = [&sc](char16_t c, int opening, auto match) {
        return [&sc, c, opening, match](U16View s, int p, int end, int lookEnd, Hit& h) {
            if (match(s, p, end, lookEnd, h))
                return true;
            // One whose opening run an earlier pass took (in a code span) would be
            // turned down whatever closes it: it waits for nothing.
            const unsigned bit = delimiterBit(c, opening);
            if (sc.runsOn && (!(*sc.runsOn & bit) || sc.waiting) && searchedToEnd(s, p, end, lookEnd, c, opening)
                && !sc.consumed.intersects(Range{p, opening})) {
                *sc.runsOn |= bit;
                if (sc.waiting)
                    sc.waiting->emplace_back(p, bit);
            }
            return false;
        };
    };
    if (t.star)
        firstMatchPass(sc, u'*', watched(u'*', 3, triple(u'*')), markersOnly(K::boldItalic));
    if (t.underscore)
        firstMatchPass(sc, u'_', watched(u'_', 3, triple(u'_')), markersOnly(K::boldItalic));
    if (t.star)
        firstMatchPass(sc, u'*', watched(u'*', 2, dbl(u'*')), markersOnly(K::bold));
    if (t.underscore)
        firstMatchPass(sc, u'_', watched(u'_', 2, dbl(u'_')), markersOnly(K::bold));
    if (t.star)
        firstMatchPass(sc, u'*',
                       watched(u'*', 1,
                               [](U16View s, int p, int end, int, Hit& h) { return matchSingle(s, p, end, u'*', h); }),
                       markersOnly(K::italic));
    if (t.underscore)
        firstMatchPass(sc, u'_', watched(u'_', 1, matchItalicUnder), markersOnly(K::italic));
    if (t.tilde)
        firstMatchPass(sc, u'~',
                       watched(u'~', 2, [](U16View s, int p, int end, int, Hit& h) { return matchStrike(s, p, end, h); }),
                       markersOnly(K::strikethrough));
    if (t.backtick)
        appendColors(sc);
    dropCrossingDelimited(sc);
    // A waiting candidate inside a pair that stands (one closed before the end)
    // would cross that pair with any partner after the end, and so be dropped.
    if (sc.waiting)
        for (const auto& [p, bit] : waiting)
            if (std::none_of(delimited.begin(), delimited.end(),
                             [p = p](const Scan::Delimited& d) { return d.whole.location < p && p < d.whole.end(); }))
                *unenclosed |= bit;
    // A long paragraph's list is let go, or the thread would hold its peak.
    if (delimited.capacity() > 4096)
        std::vector<Scan::Delimited>().swap(delimited);
}

} // namespace

void appendInline(U16View line, int base, Range within, const Footnote::Labels& footnotes,
                  const ReferenceLink::Table& links, MarkdownSpans& into)
{
    scanInline(line, base, within, footnotes, links, into, nullptr);
}

unsigned runningDelimiters(U16View paragraph, const Definitions& definitions, unsigned* unenclosed)
{
    MarkdownSpans spans;
    unsigned runsOn = 0;
    scanInline(paragraph, 0, Range{0, int(paragraph.size())}, definitions.footnotes, definitions.links, spans, &runsOn,
               unenclosed);
    return runsOn;
}

bool inlineRunsOn(U16View paragraph, const Definitions& definitions)
{
    return runningDelimiters(paragraph, definitions) != 0;
}

unsigned delimiterBit(char16_t c, int length)
{
    switch (c) {
    case u'*':
        return length >= 3 ? tripleStarBit : length == 2 ? doubleStarBit : starBit;
    case u'_':
        return length >= 3 ? tripleUnderscoreBit : length == 2 ? doubleUnderscoreBit : underscoreBit;
    case u'~':
        return tildeBit;
    default:
        return 0;
    }
}

unsigned delimiterBits(char16_t c)
{
    return delimiterBit(c, 1) | delimiterBit(c, 2) | delimiterBit(c, 3);
}

bool holdsDelimiters(U16View text, unsigned bits)
{
    for (const char16_t c : {u'*', u'_', u'~'})
        if ((bits & delimiterBits(c)) && indexOf(text, c, 0, int(text.size())) >= 0)
            return true;
    return false;
}

bool lineRunsOn(U16View s, int* waitingTicks)
{
    const int n = int(s.size());
    if (waitingTicks)
        *waitingTicks = 0;
    // Code spans: every backtick closes or is closed within the segment. An
    // opener left alone might find its closer past the end.
    std::vector<Range> code;
    auto inCode = [&code](int i) {
        const auto it = std::upper_bound(code.begin(), code.end(), i, [](int at, const Range& r) { return at < r.end(); });
        return it != code.end() && it->location <= i;
    };
    if (indexOf(s, u'`', 0, n) >= 0) {
        for (const Regex::Match& m : codeSpanMatches(s))
            code.push_back(m.range());
        int covered = 0;
        for (const Range& r : code)
            for (int i = r.location; i < r.end(); ++i)
                covered += s[size_t(i)] == u'`' ? 1 : 0;
        if (covered != int(std::count(s.begin(), s.end(), u'`'))) {
            if (!waitingTicks)
                return true;
            // A run that code leaves alone, or whose end alone closes a span, opens
            // one only when a later run as long comes.
            for (int i = indexOf(s, u'`', 0, n); i >= 0; i = indexOf(s, u'`', i, n)) {
                int e = i;
                while (e < n && s[size_t(e)] == u'`')
                    ++e;
                if (!inCode(i))
                    *waitingTicks = *waitingTicks ? std::min(*waitingTicks, e - i) : e - i;
                i = e;
            }
        }
    }
    auto last = [&](std::initializer_list<char16_t> units) {
        for (int i = n - 1; i >= 0; --i)
            for (const char16_t u : units)
                if (s[size_t(i)] == u)
                    return i;
        return -1;
    };
    // Brackets: the text of every "[" ends at the first "]" that code and escapes
    // leave alone; one such after the last "[" ends them all.
    if (const int open = last({u'['}); open >= 0) {
        bool closed = false;
        for (int k = open + 1; k < n && !closed; ++k)
            closed = s[size_t(k)] == u']' && s[size_t(k - 1)] != u'\\' && !inCode(k);
        if (!closed)
            return true;
    }
    // After "](" a destination ends at the first blank, but an angle-bracketed
    // one and a title go on to their own closers.
    if (const size_t tail = s.find(u"]("); tail != U16View::npos) {
        auto opensAfterBlank = [&](int i) {
            return i > int(tail) && CharacterClass::isAsciiBlank(s[size_t(i - 1)]);
        };
        if (const int quote = last({u'"'}); quote >= 0 && opensAfterBlank(quote))
            return true;
        if (const int quote = last({u'\''}); quote >= 0 && opensAfterBlank(quote))
            return true;
        if (const int paren = last({u'(', u')'}); paren >= 0 && s[size_t(paren)] == u'(' && opensAfterBlank(paren))
            return true;
        if (const int angle = last({u'<', u'>'}); angle >= 2 && s[size_t(angle)] == u'<' && s[size_t(angle - 2)] == u']'
            && s[size_t(angle - 1)] == u'(')
            return true;
    }
    // A tag's text runs to the next "<": the last "<" must open none.
    if (const int angle = last({u'<'}); angle >= 0) {
        for (const char* tag : {"<sub>", "<sup>", "<u>", "<ins>"})
            if (tagAt(s, angle, n, tag))
                return true;
        // An autolink or a tag holds no blank and ends at its ">": one of them must
        // come after the last "<" (a segment ending in a blank always has one).
        bool ended = false;
        for (int k = angle + 1; k < n && !ended; ++k)
            ended = s[size_t(k)] == u'>' || CharacterClass::isAsciiBlank(s[size_t(k)]);
        if (!ended)
            return true;
    }
    // A destination runs on to a blank: one must come after the last "](".
    if (const size_t tail = s.rfind(u"]("); tail != U16View::npos
        && std::none_of(s.begin() + std::ptrdiff_t(tail), s.end(), [](char16_t c) { return CharacterClass::isAsciiBlank(c); }))
        return true;
    return false;
}

namespace {

// Marks that open, close or join nothing a line's scan reads, nor a shortcode's name.
bool inertMark(char16_t c)
{
    return c == u',' || c == u';' || c == u'{' || c == u'}' || c == u'"' || c == u'\'' || c == u'.' || c == u'/'
        || c == u'%';
}

} // namespace

bool linePlace(U16View text, int at)
{
    const int n = int(text.size());
    if (at <= 0 || at >= n)
        return false;
    const char16_t before = text[size_t(at - 1)];
    const char16_t after = text[size_t(at)];
    if (before == u' ')
        return CharacterClass::isAsciiAlphanumeric(after);
    auto inert = [](char16_t c) { return CharacterClass::isAsciiAlphanumeric(c) || inertMark(c); };
    if (!inert(before) || !inert(after))
        return false;
    // The line's start before the place must not read alone as a block's marker
    // ("1." or "+" would end a piece as an empty list item), and none is this long.
    constexpr int intoLine = 16;
    if (at < intoLine)
        return false;
    for (int k = at - intoLine; k < at; ++k)
        if (text[size_t(k)] == u'\n')
            return false;
    // A shortcode is a colon, up to 48 name characters and a colon.
    if (!EmojiShortcode::isShortcodeNameUnit(before) || !EmojiShortcode::isShortcodeNameUnit(after))
        return true;
    constexpr int longestName = EmojiShortcode::maxNameLength;
    int back = at - 1;
    while (back >= 0 && at - back <= longestName && EmojiShortcode::isShortcodeNameUnit(text[size_t(back)]))
        --back;
    if (back < 0 || text[size_t(back)] != u':')
        return true;
    int ahead = at;
    while (ahead < n && ahead - back <= longestName && EmojiShortcode::isShortcodeNameUnit(text[size_t(ahead)]))
        ++ahead;
    return ahead >= n || text[size_t(ahead)] != u':';
}

} // namespace MarkdownSyntax

} // namespace velkin
