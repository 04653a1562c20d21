// Emoji shortcodes: names, completion ranking, finding them in text, collapsing and drawing.
#include "EditorHarness.h"

#include "document/CodeBlockLayoutManager.h"
#include "markdown/EmojiShortcode.h"

#include "platform/text/Utf.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
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

// ---- Shortcodes in text ----

namespace {

std::vector<std::pair<U16String, std::string>> found(U16View text)
{
    std::vector<std::pair<U16String, std::string>> out;
    for (const Match& m : matches(text))
        out.push_back({U16String(substring(text, m.range)), u8(m.emoji)});
    return out;
}

std::optional<U16String> typing(U16View text, int caret)
{
    const std::optional<Range> r = typingRange(text, caret);
    return r ? std::optional<U16String>(U16String(substring(text, *r))) : std::nullopt;
}

} // namespace

TEST(EmojiMatching, ShortcodesInProseButNotInCodeOrAddresses)
{
    using P = std::pair<U16String, std::string>;
    EXPECT_EQ(found(u"ship it :rocket: now"), (std::vector<P>{{u":rocket:", u8(u"\U0001F680")}}));
    EXPECT_EQ(found(u":rocket::tada:").size(), 2u);
    EXPECT_TRUE(found(u"a :nonsense: b").empty());
    EXPECT_TRUE(found(u"at 10:30:45 today").empty());
    EXPECT_TRUE(found(u"a:rocket:b").empty());
    EXPECT_TRUE(found(u"write `:rocket:` here").empty());
    EXPECT_TRUE(found(u"[x](https://example.com/:rocket:)").empty());
    EXPECT_TRUE(found(u"![x](pics/:rocket:.png)").empty());
    EXPECT_EQ(found(u"[go :rocket:](https://example.com)").size(), 1u);
    EXPECT_EQ(found(u":ROCKET:").size(), 1u);
    EXPECT_TRUE(found(u"no colons at all").empty());
    EXPECT_TRUE(found(u"::").empty());
    // A name longer than a shortcode may be is not one, even when its prefix is a known name.
    EXPECT_TRUE(found(u":" + U16String(49, u'a') + u":").empty());
}

TEST(EmojiMatching, HostileTextGivesAClearResult)
{
    U16String many;
    for (int i = 0; i < 2000; ++i)
        many += u":tada:";
    EXPECT_EQ(matches(many).size(), 2000u);
    U16String colons(100000, u':');
    EXPECT_TRUE(matches(colons).empty());
    U16String broken = u":rocket:\xD800:tada:\xDC00";  // lone surrogates
    EXPECT_EQ(matches(broken).size(), 2u);
}

TEST(EmojiMatching, AddressesStayLiteralAfterAnyRunOfBrackets)
{
    // Twenty thousand unclosed brackets before the link: the answer is the
    // same as after three hundred, however long finding the link takes.
    for (size_t brackets : {300, 20000}) {
        const U16String line = U16String(brackets, u'[') + u"] [x](http://h/:smile:/) `:tada:` :rocket:";
        const auto found = matches(line);
        ASSERT_EQ(found.size(), 1u) << brackets;
        EXPECT_EQ(found[0].range.location, int(line.size()) - 8);
        EXPECT_FALSE(typingRange(line, int(line.find(u":tada:")) + 3).has_value()) << "inside the code span";
    }
    const U16String ticks = U16String(20000, u'`') + u" :tada: " + U16String(20000, u'`') + u" `:smile:`";
    EXPECT_TRUE(matches(ticks).empty());
}

TEST(EmojiTyping, TheNameBeingTypedAtTheCaret)
{
    EXPECT_EQ(typing(u"say :", 5), U16String(u":"));
    EXPECT_EQ(typing(u"say :roc", 8), U16String(u":roc"));
    EXPECT_EQ(typing(u":roc", 4), U16String(u":roc"));
    EXPECT_EQ(typing(u"say :roc", 6), U16String(u":r"));
    EXPECT_FALSE(typing(u"note:", 5));
    EXPECT_FALSE(typing(u"https:", 6));
    EXPECT_FALSE(typing(u"say :rocket:", 12));
    EXPECT_FALSE(typing(u":roc\nnow", 8));
    EXPECT_FALSE(typing(u"```\n:roc", 8));
    EXPECT_EQ(typing(u"```\ncode\n```\n:roc", 17), U16String(u":roc"));
    EXPECT_FALSE(typing(u"`a :roc`", 7));
    EXPECT_EQ(typing(u"`code` and :roc", 15), U16String(u":roc"));
    EXPECT_EQ(typing(u"\U0001F600:", 3), U16String(u":"));  // a surrogate before the colon is allowed
    EXPECT_FALSE(typing(u"say :r\U0001F600", 8));                 // a surrogate ends the name
    EXPECT_FALSE(typing(u"x", 0));
    EXPECT_FALSE(typing(u"x", 2));
    EXPECT_FALSE(typing(u"", 0));
    EXPECT_EQ(typing(u" :" + U16String(48, u'a'), 50)->size(), 49u);
    EXPECT_FALSE(typing(u" :" + U16String(49, u'a'), 51));
}

TEST(EmojiTyping, FenceTestCountsLinesBeforeTheGivenOne)
{
    const U16String text = u"```\ninside\n```\noutside";
    EXPECT_TRUE(isFenced(text, {4, 7}));
    EXPECT_FALSE(isFenced(text, {15, 7}));
    EXPECT_FALSE(isFenced(text, {0, 0}) && false);
    EXPECT_FALSE(isFenced(u"", {5, 2}));
}

TEST(EmojiCollapse, ShortcodeBecomesAnEmojiMarkOverUnchangedText)
{
    TextStorage s(U16String(u"ship it :rocket: now"),
                  Attributes{{AttributeKey::Font, Font::system(14)},
                             {AttributeKey::ParagraphStyle, ParagraphStyle::defaultStyle()}});
    const Range r{8, 8};
    collapse(s, r, u"\U0001F680");
    EXPECT_EQ(s.string(), u"ship it :rocket: now");
    const auto mark = s.marker<EmojiMark>(AttributeKey::EmojiShortcode, 8);
    ASSERT_TRUE(mark);
    EXPECT_EQ(mark->emoji, u"\U0001F680");
    EXPECT_EQ(mark->size, 14);
    EXPECT_EQ(mark->width, width(u"\U0001F680", 14));
    EXPECT_GT(mark->width, 10);
    EXPECT_EQ(mark->width, std::ceil(mark->width));
    EXPECT_NEAR(mark->capHeight, Font::system(14).capHeight(), 1e-9);
    Range run;
    s.attribute(AttributeKey::EmojiShortcode, 8, &run, Range{0, s.length()});
    EXPECT_EQ(run, r);
    EXPECT_EQ(s.attributes(15).number(AttributeKey::Kern), mark->width);
    EXPECT_FALSE(s.attributes(14).number(AttributeKey::Kern));
    EXPECT_EQ(s.font(8)->pointSize, 0.1);
    EXPECT_EQ(s.font(7)->pointSize, 14);
    EXPECT_GE(s.paragraphStyle(0)->minimumLineHeight, 17);
    EXPECT_FALSE(s.attribute(AttributeKey::EmojiShortcode, 0));
}

TEST(EmojiCollapse, RangesOutsideTheStorageChangeNothing)
{
    TextStorage s(U16String(u":tada:"));
    const TextStorage before = s;
    collapse(s, {0, 0}, u"x");
    collapse(s, {2, 9}, u"x");
    collapse(s, {-1, 3}, u"x");
    EXPECT_TRUE(s == before);
    // Without a font the system font at 14 points is measured.
    collapse(s, {0, 6}, u"\U0001F389");
    const auto mark = s.marker<EmojiMark>(AttributeKey::EmojiShortcode, 0);
    ASSERT_TRUE(mark);
    EXPECT_EQ(mark->size, 14);
}

TEST(EmojiCollapse, WalkerSkipsCodeAndReportsDocumentRanges)
{
    const U16String text = u":rocket:\nplain\n:tada:\n```\n:tada:\n```\npara\n\n    :tada:";
    std::vector<Range> ranges;
    enumerateShortcodes(AttributedString(text), [&](Range r, const U16String&) { ranges.push_back(r); });
    EXPECT_EQ(ranges, (std::vector<Range>{{0, 8}, {15, 6}}));
}

TEST(EmojiCaret, OnlyACaretStrictlyInsideOrAnOverlappingSelectionReveals)
{
    const Range code{8, 8};
    EXPECT_FALSE(showsSource(code, {8, 0}));   // just before the opening colon
    EXPECT_TRUE(showsSource(code, {9, 0}));
    EXPECT_TRUE(showsSource(code, {15, 0}));
    EXPECT_FALSE(showsSource(code, {16, 0}));  // just after the closing colon
    EXPECT_TRUE(showsSource(code, {8, 8}));
    EXPECT_TRUE(showsSource(code, {0, 9}));
    EXPECT_FALSE(showsSource(code, {0, 8}));
    EXPECT_FALSE(showsSource(code, {16, 3}));
}

TEST(EmojiDrawing, DrawsInColourWithinTheMarkRectangle)
{
    const EmojiMark mark(u"\U0001F680", 28, width(u"\U0001F680", 28), Font::system(28).capHeight());
    QImage image(64, 64, QImage::Format_ARGB32);
    image.fill(Qt::white);
    {
        QPainter p(&image);
        draw(p, QRectF(8, 8, mark.width, 1.2 * mark.size), mark);
    }
    int coloured = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const QColor c(image.pixel(x, y));
            coloured += c.saturation() > 80 && c.value() > 60;
        }
    EXPECT_GT(coloured, 50);  // the colour emoji font, not a black outline
    QImage blank(20, 20, QImage::Format_ARGB32);
    blank.fill(Qt::white);
    {
        QPainter p(&blank);
        draw(p, QRectF(0, 0, 1, 20), mark);
    }
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            ASSERT_EQ(blank.pixel(x, y), qRgb(255, 255, 255));
}

// A line of shortcodes without spaces wraps wherever the layout likes, inside a
// shortcode too. Its emoji is drawn where the shortcode's width lies (on its last
// character): at the start of the later line, not over the end of the earlier one.
TEST(EmojiDrawing, AShortcodeWrappedInsideIsDrawnOnTheLineThatHoldsItsWidth)
{
    // One shortcode in a long word, so that no other emoji can hide a gap.
    const U16String text = u"(((((((((((((((((((((((((((((((((((((((((:rocket:)";
    velkin::testing_editor::Editor e(text + u"\n\nend");
    e.caretAt(u"end");
    e.host->coordinator().restyle(e.view());
    TextStorage& storage = e.storage();
    const int colon = int(text.find(u':'));
    ASSERT_TRUE(storage.attribute(AttributeKey::EmojiShortcode, colon));
    CodeBlockLayoutManager layout(&storage);
    std::optional<Range> wrapped;
    for (double width = 60; width < 600 && !wrapped; width += 1) {
        layout.setTextContainer(TextContainer{width, std::numeric_limits<double>::max(), 5});
        layout.ensureLayout();
            Range run;
        storage.attribute(AttributeKey::EmojiShortcode, colon, &run, {0, int(text.size())});
        Range first, last;
        layout.lineFragmentRect(run.location, &first);
        layout.lineFragmentRect(run.end() - 1, &last);
        if (first != last)
            wrapped = run;
    }
    ASSERT_TRUE(wrapped) << "no width wraps inside a shortcode";
    const QRectF rect(0, 0, layout.textContainer().width, layout.usedRect().height());
    QImage image(rect.size().toSize() + QSize(1, 1), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    layout.draw(painter, rect, QPointF());
    painter.end();
    // The later line starts with the emoji's width: the emoji fills it.
    Range line;
    const QRectF fragment = layout.lineFragmentRect(wrapped->end() - 1, &line);
    const double left = fragment.left() + layout.location(std::max(wrapped->location, line.location)).x();
    const auto mark = storage.marker<EmojiMark>(AttributeKey::EmojiShortcode, wrapped->location);
    ASSERT_TRUE(mark);
    int inked = 0;
    for (int y = int(fragment.top()); y < int(fragment.bottom()); ++y)
        for (int x = int(left) + 2; x < int(left + mark->width) - 2; ++x)
            inked += image.pixel(x, y) != qRgb(255, 255, 255);
    EXPECT_GT(inked, int(mark->width * fragment.height() / 8)) << "no emoji at the start of the later line";
    // And none over the parentheses of the line that holds the shortcode's first characters.
    const QRectF earlier = layout.lineFragmentRect(wrapped->location);
    int coloured = 0;
    for (int y = int(earlier.top()); y < int(earlier.bottom()); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            coloured += std::max({qRed(p), qGreen(p), qBlue(p)}) - std::min({qRed(p), qGreen(p), qBlue(p)}) > 40;
        }
    EXPECT_EQ(coloured, 0) << "an emoji drawn over the earlier line";
}
