// The scanner matches its patterns by hand for speed. These tests hold every
// hand matcher against the pattern it stands for: a reference inline scanner
// below runs the passes with the regular expressions themselves, and both must
// give identical span lists for random and real inputs.
#include "markdown/Footnote.h"
#include "markdown/ImageBlock.h"
#include "markdown/InlineHTML.h"
#include "markdown/MarkdownSyntax.h"
#include "markdown/ReferenceLink.h"
#include "markdown/TaskList.h"
#include "platform/text/CharacterClass.h"
#include "platform/text/Lines.h"
#include "platform/text/Utf.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>

using namespace velkin;
using K = MarkdownToken::Kind;

namespace {

// ---- The reference: every pass run with its regular expression ----

struct Reference {
    U16View line;
    int base;
    Range within;
    const Footnote::Labels& footnotes;
    const ReferenceLink::Table& links;
    MarkdownSpans& out;
    std::set<int> consumed;
    std::set<int> literal;  // taken by code spans and escapes
    std::set<int> later;    // taken by the passes after them
    // The line with the brackets of code spans and escapes masked: they close nothing.
    U16String masked;
    struct Delimited {
        Range whole;
        size_t first;
        size_t count;
    };
    std::vector<Delimited> delimited;

    bool anyConsumed(Range r) const
    {
        for (int i = r.location; i < r.end(); ++i)
            if (consumed.count(i))
                return true;
        return false;
    }
    static bool any(const std::set<int>& set, Range r)
    {
        for (int i = r.location; i < r.end(); ++i)
            if (set.count(i))
                return true;
        return false;
    }
    void consume(Range r)
    {
        for (int i = r.location; i < r.end(); ++i) {
            consumed.insert(i);
            (masked.empty() ? literal : later).insert(i);
        }
    }
    // The last "[" inside the text of a match (after `from`, before `to`) that is no literal.
    int innermost(int from, int to) const
    {
        for (int k = to - 1; k > from; --k)
            if (masked[size_t(k)] == u'[')
                return k;
        return from;
    }
    void span(Range r, MarkdownToken t, std::optional<U16String> url = std::nullopt)
    {
        out.push_back(MarkdownSpan{Range{base + r.location, r.length}, std::move(t), std::move(url)});
    }

    void first(const Regex& re, int content, MarkdownToken token, std::vector<int> markers, int urlGroup,
               U16View prefix, bool claims, bool nests = false)
    {
        const int end = within.end();
        int start = within.location;
        while (start < end) {
            auto m = re.firstMatch(masked.empty() ? line : U16View(masked), Range::fromTo(start, end),
                                   Regex::TransparentBounds);
            if (!m)
                return;
            if (nests) {
                // A link's text starts at its innermost "[".
                const int opener = innermost(m->range(1).location, m->range(3).location);
                m->groups[0] = Range::fromTo(opener, m->range(0).end());
                m->groups[1] = Range{opener, 1};
                m->groups[2] = Range::fromTo(opener + 1, m->range(3).location);
            }
            const Range whole = m->range(0);
            bool rejected = false;
            if (claims && !nests) {
                rejected = whole.length >= 1 && anyConsumed(whole);
            } else {
                for (int g : markers)
                    if (m->has(g) && m->range(g).length > 0 && anyConsumed(m->range(g)))
                        rejected = true;
                if (nests && any(later, whole))
                    rejected = true;
            }
            if (rejected) {
                start = whole.location + 1;
                continue;
            }
            const size_t before = out.size();
            // A picture's span stands for it even without a description.
            if (m->has(content) && (m->range(content).length >= 1 || token.is(K::image))) {
                std::optional<U16String> url;
                if (urlGroup && m->has(urlGroup))
                    url = MarkdownSyntax::linkDestination(m->text(line, urlGroup), prefix);
                span(m->range(content), token, url);
            }
            for (int g : markers)
                if (m->has(g) && m->range(g).length >= 1)
                    span(m->range(g), MarkdownToken());
            if (claims) {
                consume(whole);
            } else {
                for (int g : markers)
                    if (m->has(g))
                        consume(m->range(g));
                delimited.push_back({whole, before, out.size() - before});
            }
            start = std::max(whole.end(), whole.location + 1);
        }
    }

    void references()
    {
        if (links.empty())
            return;
        const auto task = TaskList::parse(line);
        auto pass = [&](const Regex& re, bool image, bool full) {
            // All matches, left to right; a link starts at its innermost "[",
            // and an image whose text holds another "[" is no match.
            std::vector<Regex::Match> found;
            for (int from = within.location; from < within.end();) {
                auto m = re.firstMatch(U16View(masked), Range::fromTo(from, within.end()));
                if (!m)
                    break;
                const int opener = innermost(m->range(1).end() - 1, m->range(3).location);
                if (image && opener != m->range(1).end() - 1) {
                    from = m->range(0).location + 1;
                    continue;
                }
                if (!image) {
                    m->groups[0] = Range::fromTo(opener, m->range(0).end());
                    m->groups[1] = Range{opener, 1};
                    m->groups[2] = Range::fromTo(opener + 1, m->range(3).location);
                }
                if (m->range(2).length == 0) {
                    from = m->range(0).location + 1;
                    continue;
                }
                found.push_back(*m);
                from = std::max(m->range(0).end(), m->range(0).location + 1);
            }
            for (const auto& m : found) {
                const Range whole = m.range(0);
                if (any(later, whole))
                    continue;
                bool taken = false;
                for (int g : {1, 3, 5})
                    if (m.has(g) && anyConsumed(m.range(g)))
                        taken = true;
                if (taken)
                    continue;
                if (task && whole == task->box)
                    continue;
                U16View label = m.text(line, 2);
                if (full && m.has(4) && m.range(4).length > 0)
                    label = m.text(line, 4);
                if (label.empty())
                    continue;
                const auto it = links.find(Footnote::normalizedLabel(label));
                if (it == links.end())
                    continue;
                span(m.range(2), MarkdownToken(image ? K::image : K::link), it->second);
                for (int g : full ? std::vector<int>{1, 3, 4, 5} : std::vector<int>{1, 3})
                    if (m.has(g) && m.range(g).length >= 1)
                        span(m.range(g), MarkdownToken());
                consume(whole);
            }
        };
        pass(MarkdownSyntax::imageReferenceRegex(), true, true);
        pass(MarkdownSyntax::fullReferenceRegex(), false, true);
        pass(MarkdownSyntax::imageShortcutRegex(), true, false);
        pass(MarkdownSyntax::shortcutReferenceRegex(), false, false);
    }

    void run()
    {
        using namespace MarkdownSyntax;
        if (within.length <= 0)
            return;
        first(codeSpanRegex(), 2, MarkdownToken(K::code), {1, 3}, 0, u"", true);
        for (const auto& m : escapeRegex().matches(line, within)) {
            if (anyConsumed(m.range(0)))
                continue;
            span(m.range(1), MarkdownToken());
            consume(m.range(0));
        }
        masked = U16String(line);
        for (int i : literal)
            if (masked[size_t(i)] == u'[' || masked[size_t(i)] == u']')
                masked[size_t(i)] = u'x';
        first(imageRegex(), 2, MarkdownToken(K::image), {1, 3, 4, 5, 6}, 4, u"", true);
        first(linkRegex(), 2, MarkdownToken(K::link), {1, 3, 4, 5, 6}, 4, u"", true, true);
        first(autolinkRegex(), 2, MarkdownToken(K::link), {1, 3}, 2, u"", true);
        first(emailAutolinkRegex(), 2, MarkdownToken(K::link), {1, 3}, 2, u"mailto:", true);
        // A reference reaching into what an earlier pass took, or whose label no
        // note has, hides none after its start.
        for (int at = within.location; at < within.end();) {
            const auto m = Footnote::referenceRegex().firstMatch(line, Range::fromTo(at, within.end()));
            if (!m)
                break;
            if (anyConsumed(m->range(0)) || !footnotes.count(Footnote::normalizedLabel(m->text(line, 2)))) {
                at = m->range(0).location + 1;
                continue;
            }
            at = m->range(0).end();
            span(m->range(0), MarkdownToken::footnoteRef(U16String(m->text(line, 2))));
            span(m->range(1), MarkdownToken());
            span(m->range(3), MarkdownToken());
            consume(m->range(0));
        }
        references();
        first(InlineHTML::subscriptRegex(), 2, MarkdownToken(K::subscripted), {1, 3}, 0, u"", true);
        first(InlineHTML::superscriptRegex(), 2, MarkdownToken(K::superscripted), {1, 3}, 0, u"", true);
        first(InlineHTML::underlineRegex(), 2, MarkdownToken(K::underline), {1, 3}, 0, u"", true);
        first(InlineHTML::insertedRegex(), 2, MarkdownToken(K::underline), {1, 3}, 0, u"", true);
        first(boldItalicStar(), 2, MarkdownToken(K::boldItalic), {1, 3}, 0, u"", false);
        first(boldItalicUnder(), 2, MarkdownToken(K::boldItalic), {1, 3}, 0, u"", false);
        first(boldStar(), 2, MarkdownToken(K::bold), {1, 3}, 0, u"", false);
        first(boldUnder(), 2, MarkdownToken(K::bold), {1, 3}, 0, u"", false);
        first(italicStar(), 2, MarkdownToken(K::italic), {1, 3}, 0, u"", false);
        first(italicUnder(), 2, MarkdownToken(K::italic), {1, 3}, 0, u"", false);
        first(strikeRegex(), 2, MarkdownToken(K::strikethrough), {1, 3}, 0, u"", false);
        for (const auto& m : codeSpanRegex().matches(line, within))
            if (m.has(2) && m.range(2).length >= 1)
                if (auto c = ColorLiteral::parse(m.text(line, 2)))
                    span(m.range(2), MarkdownToken::color(*c));
        dropCrossing();
    }

    // Of two crossing emphasis matches the one that starts first (or is
    // longer, or came first) keeps its spans.
    void dropCrossing()
    {
        std::vector<size_t> order(delimited.size());
        for (size_t k = 0; k < order.size(); ++k)
            order[k] = k;
        std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
            const Range ra = delimited[a].whole, rb = delimited[b].whole;
            return ra.location != rb.location ? ra.location < rb.location : ra.length > rb.length;
        });
        std::vector<Range> kept;
        std::set<size_t> dropped;
        for (size_t k : order) {
            const Range r = delimited[k].whole;
            bool crosses = false;
            for (Range o : kept)
                if ((o.location < r.location && r.location < o.end() && o.end() < r.end()))
                    crosses = true;
            if (crosses) {
                for (size_t i = 0; i < delimited[k].count; ++i)
                    dropped.insert(delimited[k].first + i);
                continue;
            }
            kept.push_back(r);
        }
        MarkdownSpans rest;
        for (size_t i = 0; i < out.size(); ++i)
            if (!dropped.count(i))
                rest.push_back(out[i]);
        out = rest;
    }
};

MarkdownSpans referenceInline(U16View line, Range within, const Footnote::Labels& footnotes,
                              const ReferenceLink::Table& links)
{
    MarkdownSpans out;
    Reference r{line, 7, within, footnotes, links, out, {}, {}, {}, {}, {}};
    r.run();
    return out;
}

MarkdownSpans scannerInline(U16View line, Range within, const Footnote::Labels& footnotes,
                            const ReferenceLink::Table& links)
{
    MarkdownSpans out;
    MarkdownSyntax::appendInline(line, 7, within, footnotes, links, out);
    return out;
}

std::string describe(U16View text, const MarkdownSpans& spans)
{
    std::ostringstream s;
    for (const auto& sp : spans)
        s << int(sp.token.kind()) << "@" << sp.range.location << "+" << sp.range.length << "["
          << u8(substring(text, Range{sp.range.location - 7, sp.range.length})) << "]"
          << (sp.url() ? " url=" + u8(*sp.url()) : "") << "\n";
    return s.str();
}

// The scanner's spans, expected to be the reference's.
MarkdownSpans comparedInline(U16View text, Range within, const Footnote::Labels& footnotes,
                             const ReferenceLink::Table& links)
{
    const MarkdownSpans expected = referenceInline(text, within, footnotes, links);
    MarkdownSpans got = scannerInline(text, within, footnotes, links);
    EXPECT_EQ(got, expected) << "text: " << u8(text) << "\nwithin " << within.location << "+" << within.length
                             << "\nexpected:\n"
                             << describe(text, expected) << "got:\n"
                             << describe(text, got);
    return got;
}

// Texts made of the characters the passes care about, so that near misses abound.
U16String randomInline(std::mt19937& rng, int length)
{
    static const std::vector<U16String> pieces = {
        u"*", u"**", u"***", u"_", u"__", u"~~", u"~", u"`", u"``", u"\\", u"[", u"]", u"(", u")", u"![",
        u"](", u"][", u"<", u">", u"<sub>", u"</sub>", u"<SUP>", u"</sup>", u"<u>", u"</u>", u"<ins>",
        u"</ins>", u"<ſub>", u"[^", u"^", u"\"", u"'", u" ", u"\t", u"\n", u"\r", u"a", u"b", u"x", u"1",
        u"docs", u"Note", u"https:", u"//e.org", u"mailto", u"@", u".", u"a@b.c", u"#f80", u"rgb(1,2,3)",
        u"hsl(4, 5%, 6%)", u":", u"|", u"é", u"\u00a0", u"\u2028", u"😀", u"- [x] ", u"[x]",
        // Whole constructs, so that matches are as common as near misses.
        u"![a](b.png)", u"[t](u \"x\")", u"[^1]", u"[^ Note ]", u"<sub>2</sub>", u"<Sup>3</sup>", u"<u>w</u>",
        u"`#f80`", u"`` a ` b ``", u"[docs][]", u"![x][a]", u"[docs]", u"<https://e.org/p>", u"<a@b.co>",
        u"***x***", u"~~y~~", u"**b**", u"_i_", u"__u__", u"`c`"};
    std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1);
    U16String out;
    while (int(out.size()) < length)
        out += pieces[pick(rng)];
    return out;
}

} // namespace

TEST(InlinePatterns, HandMatchersAgreeWithThePatternsOnRandomText)
{
    std::mt19937 rng(20240611);
    const Footnote::Labels footnotes = {u"1", u"note", u"x"};
    const ReferenceLink::Table links = {{u"docs", u"/manual"}, {u"x", u"/x"}, {u"a", u"/a"}, {u"1", u"/one"}};
    const ReferenceLink::Table noLinks;
    const Footnote::Labels noFootnotes;
    std::set<int> kindsSeen;
    for (int round = 0; round < 20000; ++round) {
        const U16String text = randomInline(rng, 1 + int(rng() % 40));
        const int n = int(text.size());
        const int a = int(rng() % (n + 1));
        const int b = int(rng() % (n + 1));
        const Range within = round % 3 == 0 ? Range{0, n} : Range::fromTo(std::min(a, b), std::max(a, b));
        const bool withTables = round % 2 == 0;
        const auto& f = withTables ? footnotes : noFootnotes;
        const auto& l = withTables ? links : noLinks;
        const MarkdownSpans got = comparedInline(text, within, f, l);
        if (HasFailure())
            return;
        for (const auto& sp : got)
            kindsSeen.insert(int(sp.token.kind()));
    }
    // The random texts reach every inline kind, so every pass was compared.
    EXPECT_EQ(kindsSeen.size(), 13u);
}

TEST(InlinePatterns, CodeSpanMatcherAgreesWithThePatternOnBacktickRuns)
{
    // Runs of every length around each other, cut anywhere: the closing run
    // found from the table of runs is the one the pattern finds. Some lines
    // are long enough that closing runs are found far off.
    static const std::vector<U16String> pieces = {u"`",   u"``", u"```", u"````",           u"x",
                                                  u" ",   u"\n", u"#f80", U16String(90, u'a'), u"*a*"};
    std::mt19937 rng(7);
    const Footnote::Labels noFootnotes;
    const ReferenceLink::Table noLinks;
    for (int round = 0; round < 4000; ++round) {
        U16String text;
        const size_t length = 1 + rng() % (round % 4 == 0 ? 1200 : 30);
        while (text.size() < length)
            text += pieces[rng() % pieces.size()];
        const int n = int(text.size());
        const int a = int(rng() % (n + 1));
        const int b = int(rng() % (n + 1));
        const Range within = round % 2 == 0 ? Range{0, n} : Range::fromTo(std::min(a, b), std::max(a, b));
        comparedInline(text, within, noFootnotes, noLinks);
        if (HasFailure())
            return;
    }
}

TEST(InlinePatterns, WholeTextMatchListsAgreeWithThePatterns)
{
    // What protects shortcodes and finds footnote references, over whole lines.
    std::mt19937 rng(11);
    const std::vector<std::pair<const Regex*, std::vector<Regex::Match> (*)(U16View)>> lists = {
        {&MarkdownSyntax::codeSpanRegex(), MarkdownSyntax::codeSpanMatches},
        {&MarkdownSyntax::linkRegex(), MarkdownSyntax::linkMatches},
        {&MarkdownSyntax::imageRegex(), MarkdownSyntax::imageMatches},
        {&Footnote::referenceRegex(), MarkdownSyntax::footnoteReferenceMatches}};
    for (int round = 0; round < 5000; ++round) {
        const U16String text = randomInline(rng, 1 + int(rng() % 60));
        for (const auto& [pattern, byHand] : lists) {
            const auto expected = pattern->matches(text);
            const auto got = byHand(text);
            ASSERT_EQ(got.size(), expected.size()) << u8(text);
            for (size_t i = 0; i < got.size(); ++i) {
                // A link's text starts at its innermost "[": from its close on, all is as the pattern's.
                const size_t from = pattern == &MarkdownSyntax::linkRegex() ? 3 : 0;
                ASSERT_EQ(got[i].range().end(), expected[i].range().end()) << u8(text);
                ASSERT_EQ(std::vector<Range>(got[i].groups.begin() + long(from), got[i].groups.end()),
                          std::vector<Range>(expected[i].groups.begin() + long(from), expected[i].groups.end()))
                    << u8(text);
            }
        }
    }
}

TEST(InlinePatterns, HandMatchersAgreeWithThePatternsOnRealLines)
{
    const Footnote::Labels footnotes = {u"1"};
    const ReferenceLink::Table links = {{u"fs.readfile()", u"#fs_readfile"}, {u"buffer", u"buffer.md"}};
    int files = 0;
    for (const char* path : {"/usr/share/doc/nodejs/api/fs.md", "/usr/share/doc/nodejs/api/stream.md",
                             "/usr/share/doc/nodejs/changelogs/CHANGELOG_V12.md"}) {
        std::ifstream in(path, std::ios::binary);
        if (!in)
            continue;
        ++files;
        std::ostringstream s;
        s << in.rdbuf();
        const U16String text = u16(s.str());
        int lines = 0;
        for (const auto& l : lineRanges(text)) {
            if (++lines > 1500)
                break;
            const U16View line = substring(text, l.content);
            const Range all{0, int(line.size())};
            ASSERT_EQ(scannerInline(line, all, footnotes, links), referenceInline(line, all, footnotes, links))
                << path << ": " << u8(line);
        }
    }
    if (files == 0)
        GTEST_SKIP() << "no sample documents on this machine";
}

TEST(BlockPatterns, LineMatchersAgreeWithThePatterns)
{
    using namespace MarkdownSyntax;
    std::mt19937 rng(7);
    static const std::vector<U16String> pieces = {u" ",  u"  ", u"\t", u"#",  u"##",  u"-",    u"*",  u"_",
                                                  u"=",  u"+",  u">",  u"1",  u"12",  u"9999999999", u".", u")",
                                                  u"x",  u"a b", u"\u0661", u"\U0001D7CE", u"\r", u"\u2028", u"é"};
    std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1);
    auto same = [](const std::optional<Regex::Match>& m, std::initializer_list<Range> groups, bool found) {
        if (!m || !found)
            return !m && !found;
        int g = 1;
        for (Range r : groups)
            if (m->range(g++) != r)
                return false;
        return true;
    };
    for (int round = 0; round < 20000; ++round) {
        U16String line;
        const int parts = 1 + int(rng() % 8);
        for (int i = 0; i < parts; ++i)
            line += pieces[pick(rng)];
        // A trailing CR or LF is not part of the line for the matchers.
        U16View bare = line;
        if (!bare.empty() && bare.back() == u'\n')
            bare.remove_suffix(1);
        if (!bare.empty() && bare.back() == u'\r')
            bare.remove_suffix(1);
        const auto h = matchHeading(line);
        const auto hm = headingRegex().firstMatch(bare);
        ASSERT_TRUE(h ? same(hm, {h->hashes, h->blanks, h->text}, true) : !hm) << u8(line);
        ASSERT_EQ(isThematicBreak(line), thematicBreakRegex().isMatch(bare)) << u8(line);
        ASSERT_EQ(isSetextUnderline(line), setextUnderlineRegex().isMatch(bare)) << u8(line);
        const auto l = matchList(line);
        const auto lm = listRegex().firstMatch(bare);
        ASSERT_TRUE(l ? same(lm, {l->indent, l->bullet, l->blanks, l->text}, true) : !lm) << u8(line);
        const auto q = matchQuote(line);
        const auto qm = quoteRegex().firstMatch(bare);
        ASSERT_TRUE(q ? same(qm, {q->leader, q->text}, true) : !qm) << u8(line);
    }
}

TEST(BlockPatterns, PictureLineMatcherAgreesWithThePattern)
{
    std::mt19937 rng(11);
    static const std::vector<U16String> pieces = {u"![", u"[", u"]", u"](", u"(", u")", u"<", u">", u" ", u"\t",
                                                  u"\"", u"'", u"a", u"b.png", u"\n", u"\u00a0", u"![a](b.png)",
                                                  u" \"t\"", u"(t)", u"<c d.png>", u"!"};
    std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1);
    // The line is one picture when the pattern's first match covers it, trimmed.
    const auto reference = [](U16View line) -> std::optional<ImageBlock::Parsed> {
        const U16View t = trimmed(line, TrimSet::Whitespace);
        const auto m = MarkdownSyntax::imageRegex().firstMatch(t);
        if (!m || m->range() != Range{0, int(t.size())} || !m->has(4))
            return std::nullopt;
        auto url = MarkdownSyntax::linkDestination(m->text(t, 4), u"");
        if (!url)
            return std::nullopt;
        return ImageBlock::Parsed{U16String(m->text(t, 2)), std::move(*url)};
    };
    int pictures = 0;
    for (int round = 0; round < 20000; ++round) {
        U16String line = round % 2 ? u"![" : u"";
        const int parts = 1 + int(rng() % 8);
        for (int i = 0; i < parts; ++i)
            line += pieces[pick(rng)];
        const auto expected = reference(line);
        pictures += expected.has_value();
        ASSERT_EQ(ImageBlock::parseBlockImage(line), expected) << u8(line);
    }
    EXPECT_GT(pictures, 100);
}
