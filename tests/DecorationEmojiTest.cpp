// Emoji shortcodes: names, completion ranking, finding them in text, collapsing and drawing.
#include "markdown/EmojiShortcode.h"

#include "platform/text/Utf.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

using namespace velkin;
using namespace velkin::EmojiShortcode;

namespace {

std::string show(const std::optional<U16String>& s)
{
    return s ? u8(*s) : std::string("(none)");
}

std::vector<U16String> names(const std::vector<Candidate>& list)
{
    std::vector<U16String> out;
    for (const Candidate& c : list)
        out.push_back(c.name);
    return out;
}

} // namespace

TEST(EmojiCatalogue, AliasesWinOverUnicodeNames)
{
    EXPECT_EQ(show(emoji(u"smile")), u8(u"\U0001F604"));  // not U+2323 SMILE
    EXPECT_EQ(show(emoji(u"tada")), u8(u"\U0001F389"));
    EXPECT_EQ(show(emoji(u"+1")), u8(u"\U0001F44D"));
    EXPECT_EQ(show(emoji(u"thumbsup")), show(emoji(u"+1")));
    EXPECT_EQ(aliases().size(), 264u);
}

TEST(EmojiCatalogue, UnicodeNamesResolveWhateverTheirCase)
{
    EXPECT_EQ(show(emoji(u"rocket")), u8(u"\U0001F680"));
    EXPECT_EQ(show(emoji(u"ROCKET")), u8(u"\U0001F680"));
    EXPECT_EQ(show(emoji(u"face_with_tears_of_joy")), u8(u"\U0001F602"));
    // Hyphens belong to Unicode names.
    EXPECT_EQ(show(emoji(u"t-shirt")), u8(u"\U0001F455"));
}

TEST(EmojiCatalogue, NamesThatAreNoEmojiGiveNothing)
{
    EXPECT_FALSE(emoji(u"not_an_emoji"));
    EXPECT_FALSE(unicodeNamed(u"tilde_operator"));  // a character, but no emoji
    EXPECT_FALSE(emoji(u"asterisk"));               // a keycap base below the emoji range
    EXPECT_FALSE(emoji(u"digit_one"));
    EXPECT_FALSE(emoji(u""));
    EXPECT_FALSE(unicodeNamed(u"_"));
    EXPECT_FALSE(unicodeNamed(u"rock}et"));  // would break out of the name escape
    EXPECT_FALSE(unicodeNamed(u"rocket\\N{x"));
    EXPECT_FALSE(unicodeNamed(u"latin_small_letter_a"));
}

TEST(EmojiCatalogue, LookupsAreRememberedWithTheSameAnswer)
{
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(show(unicodeNamed(u"rocket")), u8(u"\U0001F680"));
        EXPECT_FALSE(unicodeNamed(u"no_such_character_name"));
    }
}

TEST(EmojiCatalogue, TextDefaultEmojiGainTheVariationSelector)
{
    EXPECT_EQ(show(emoji(u"snowflake")), u8(u"\u2744\uFE0F"));
    EXPECT_EQ(show(emoji(u"black_sun_with_rays")), u8(u"\u2600\uFE0F"));
    EXPECT_EQ(show(emoji(u"black_sun_with_rays")), show(emoji(u"sunny")));
    EXPECT_EQ(u8(emojiPresentation(u"\u2744")), u8(u"\u2744\uFE0F"));
    EXPECT_EQ(u8(emojiPresentation(u"\u2744\uFE0F")), u8(u"\u2744\uFE0F"));
    EXPECT_EQ(u8(emojiPresentation(u"\U0001F680")), u8(u"\U0001F680"));
    EXPECT_EQ(u8(emojiPresentation(u"a")), "a");
    EXPECT_EQ(u8(emojiPresentation(u"")), "");
}

TEST(EmojiCompletion, EmptyQueryOffersThePopularNamesInOrder)
{
    const std::vector<Candidate> list = candidates(u"", 3);  // the limit does not apply here
    ASSERT_EQ(list.size(), 22u);
    EXPECT_EQ(names(list), popular());
    EXPECT_EQ(list.front().name, u"+1");
    for (const Candidate& c : list)
        EXPECT_EQ(show(emoji(c.name)), u8(c.emoji)) << u8(c.name);
}

TEST(EmojiCompletion, PrefixesComeFirstThenPopularThenShorter)
{
    const std::vector<Candidate> list = candidates(u"roc", 60);
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list.front().name, u"rocket");  // popular among the prefixed names
    bool seenContaining = false;
    for (const Candidate& c : list) {
        const bool prefixed = c.name.rfind(u"roc", 0) == 0;
        EXPECT_FALSE(prefixed && seenContaining) << u8(c.name);
        seenContaining = seenContaining || !prefixed;
    }
    // Among the names that merely contain "cat", shorter ones come first.
    const std::vector<Candidate> cat = candidates(u"CAT", 200);
    ASSERT_FALSE(cat.empty());
    EXPECT_EQ(cat.front().name, u"cat");
    size_t lastLength = 0;
    bool containing = false;
    for (const Candidate& c : cat) {
        if (c.name.rfind(u"cat", 0) == 0)
            continue;
        if (containing) {
            EXPECT_GE(c.name.size(), lastLength) << u8(c.name);
        }
        containing = true;
        lastLength = c.name.size();
    }
}

TEST(EmojiCompletion, LimitAliasesAndMisses)
{
    EXPECT_EQ(candidates(u"a", 5).size(), 5u);
    EXPECT_TRUE(candidates(u"a", 0).empty());
    EXPECT_TRUE(candidates(u"a", -4).empty());
    EXPECT_TRUE(candidates(u"zzzznope", 60).empty());
    const std::vector<U16String> tad = names(candidates(u"tad", 60));
    EXPECT_NE(std::find(tad.begin(), tad.end(), u"tada"), tad.end());
}

TEST(EmojiCompletion, EveryOfferedNameCanBeTypedAndRendersAsOffered)
{
    const std::vector<Candidate>& all = allCandidates();
    ASSERT_GT(all.size(), 1000u);
    std::set<U16String> seen;
    for (size_t i = 0; i < all.size(); ++i) {
        const Candidate& c = all[i];
        EXPECT_TRUE(seen.insert(c.name).second) << "duplicate " << u8(c.name);
        if (i > 0) {
            EXPECT_LT(all[i - 1].name, c.name);
        }
        // Names longer than a shortcode may be are never offered: they could not be written back.
        EXPECT_LE(int(c.name.size()), maxNameLength) << u8(c.name);
        EXPECT_TRUE(shortcodeRegex().matchesWhole(u":" + c.name + u":")) << u8(c.name);
        EXPECT_EQ(show(emoji(c.name)), u8(c.emoji)) << u8(c.name);
    }
    // A long Unicode name such as "black right-pointing double triangle with vertical bar" stays out.
    EXPECT_EQ(seen.count(u"black_right-pointing_double_triangle_with_vertical_bar"), 0u);
}
