#include "platform/regex/Regex.h"

#include <gtest/gtest.h>

using namespace velkin;

TEST(Regex, GroupsAndMissingGroups)
{
    static const Regex heading("^(#{1,6})([ \\t]+)(.*)$");
    auto m = heading.firstMatch(u"## Title");
    ASSERT_TRUE(m);
    EXPECT_EQ(heading.groupCount(), 3);
    EXPECT_EQ(m->range(1), (Range{0, 2}));
    EXPECT_EQ(m->text(u"## Title", 3), u"Title");

    static const Regex optional("a(b)?c");
    auto n = optional.firstMatch(u"ac");
    ASSERT_TRUE(n);
    EXPECT_FALSE(n->has(1));
    EXPECT_EQ(n->range(1), Range::notFound());
    EXPECT_FALSE(n->has(7)); // beyond the group count
}

TEST(Regex, BoundsOfTheSearchRange)
{
    static const Regex start("^b");
    const U16String text = u"ab";
    // Anchoring bounds: ^ matches at the start of the range.
    EXPECT_TRUE(start.firstMatch(text, Range{1, 1}));
    EXPECT_FALSE(start.firstMatch(text, Range{1, 1}, Regex::WithoutAnchoringBounds));

    static const Regex behind("(?<=a)b");
    // ICU's look-behind reads before the range even with opaque bounds; callers must not rely on hiding it.
    EXPECT_TRUE(behind.firstMatch(text, Range{1, 1}));
    EXPECT_TRUE(behind.firstMatch(text, Range{1, 1}, Regex::TransparentBounds));
    static const Regex ahead("b(?=c)");
    EXPECT_FALSE(ahead.firstMatch(u"bc", Range{0, 1})); // look-ahead stops at opaque bounds
    EXPECT_TRUE(ahead.firstMatch(u"bc", Range{0, 1}, Regex::TransparentBounds));
}

TEST(Regex, AllMatchesCaseInsensitiveAndWhole)
{
    static const Regex word("[a-z]+", Regex::CaseInsensitive);
    auto all = word.matches(u"Hello, World 42");
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[1].range(), (Range{7, 5}));
    EXPECT_TRUE(word.matchesWhole(u"abc"));
    EXPECT_FALSE(word.matchesWhole(u"abc "));

    static const Regex alternatives("a|ab");
    EXPECT_TRUE(alternatives.matchesWhole(u"ab"));
}

TEST(Regex, NestedSearchesOnTheSamePattern)
{
    static const Regex digit("\\d");
    int inner = 0;
    digit.forEachMatch(u"1 2", Range{0, 3}, Regex::Plain, [&](const Regex::Match&) {
        inner += int(digit.matches(u"3 4 5").size());
        return true;
    });
    EXPECT_EQ(inner, 6);
}

TEST(Regex, EmptyMatchesAdvance)
{
    static const Regex empty("x*");
    EXPECT_EQ(empty.matches(u"ab").size(), 3u);
}

TEST(Regex, RunawayBacktrackingEnds)
{
    static const Regex evil("(a+)+$");
    U16String text(40, u'a');
    text += u'!';
    const unsigned long before = Regex::abandonedSearches();
    EXPECT_FALSE(evil.firstMatch(text)); // stops at the time limit instead of hanging
    EXPECT_EQ(Regex::abandonedSearches(), before + 1);  // and says so
    EXPECT_TRUE(evil.firstMatch(u"aaa"));
    EXPECT_EQ(Regex::abandonedSearches(), before + 1);
}
