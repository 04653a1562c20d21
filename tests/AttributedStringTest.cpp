#include "platform/attributed/MarkdownFontFamily.h"
#include "platform/layout/TextMeasure.h"
#include "platform/attributed/TextStorage.h"

#include <gtest/gtest.h>

using namespace velkin;

namespace {

struct TestMark : Marker {
    int value = 0;
};

int kernAt(const AttributedString& s, int i)
{
    auto v = s.attributes(i).number(AttributeKey::Kern);
    return v ? int(*v) : -1;
}

} // namespace

// Keys set and removed in any order read back their own values, and
// dictionaries built in different orders compare equal.
TEST(Attributes, KeysReadBackWhateverTheOrderOfSettingAndRemoving)
{
    Attributes a;
    a.set(AttributeKey::CodeBlockFill, true);
    a.set(AttributeKey::Font, Font::system(12));
    a.set(AttributeKey::Kern, 1.5);
    a.set(AttributeKey::Underline, 1);
    a.remove(AttributeKey::Kern);
    a.remove(AttributeKey::Strikethrough);  // absent: nothing happens
    a.set(AttributeKey::Link, U16String(u"https://a.b"));
    a.set(AttributeKey::Underline, 2);

    EXPECT_EQ(a.size(), 4u);
    EXPECT_FALSE(a.has(AttributeKey::Kern));
    EXPECT_FALSE(a.has(AttributeKey::Strikethrough));
    EXPECT_EQ(a.number(AttributeKey::Underline), 2.0);
    ASSERT_NE(a.string(AttributeKey::Link), nullptr);
    EXPECT_EQ(*a.string(AttributeKey::Link), u"https://a.b");
    EXPECT_EQ(a.number(AttributeKey::CodeBlockFill), 1.0);
    ASSERT_NE(a.font(), nullptr);
    EXPECT_EQ(*a.font(), Font::system(12));

    const Attributes b{{AttributeKey::Link, U16String(u"https://a.b")},
                       {AttributeKey::Underline, 2},
                       {AttributeKey::Font, Font::system(12)},
                       {AttributeKey::CodeBlockFill, true}};
    EXPECT_EQ(a, b);
    Attributes c = b;
    c.remove(AttributeKey::Link);
    c.set(AttributeKey::Kern, 1.0);
    EXPECT_FALSE(a == c);
    EXPECT_EQ(c.entries().front().first, AttributeKey::Font);  // kept sorted
}

TEST(AttributedString, OverlappingSetAddRemoveLeaveExactRuns)
{
    AttributedString s(u"0123456789");
    s.addAttribute(AttributeKey::Kern, 1.0, {2, 4});       // 2..5
    s.addAttribute(AttributeKey::Underline, 1, {4, 4});    // 4..7
    s.removeAttribute(AttributeKey::Kern, {3, 1});         // hole at 3
    s.setAttributes(Attributes{{AttributeKey::Strikethrough, 1}}, {7, 2});  // 7..8 replaced

    EXPECT_EQ(kernAt(s, 1), -1);
    EXPECT_EQ(kernAt(s, 2), 1);
    EXPECT_EQ(kernAt(s, 3), -1);
    EXPECT_EQ(kernAt(s, 5), 1);
    EXPECT_EQ(kernAt(s, 6), -1);
    EXPECT_TRUE(s.attributes(6).has(AttributeKey::Underline));
    EXPECT_FALSE(s.attributes(7).has(AttributeKey::Underline));
    EXPECT_TRUE(s.attributes(8).has(AttributeKey::Strikethrough));
    EXPECT_FALSE(s.attributes(9).has(AttributeKey::Strikethrough));

    Range run;
    s.attribute(AttributeKey::Kern, 4, &run);
    EXPECT_EQ(run, (Range{4, 2})); // kern and underline together
    Range longest;
    s.attribute(AttributeKey::Kern, 4, &longest, Range{0, 10});
    EXPECT_EQ(longest, (Range{4, 2}));
    s.attribute(AttributeKey::Underline, 4, &longest, Range{0, 10});
    EXPECT_EQ(longest, (Range{4, 3}));
    s.attribute(AttributeKey::Underline, 4, &longest, Range{5, 1});
    EXPECT_EQ(longest, (Range{5, 1}));
}

TEST(AttributedString, EqualNeighboursMergeButMarkersKeepIdentity)
{
    AttributedString s(u"abcdef");
    s.addAttribute(AttributeKey::Kern, 2.0, {0, 3});
    s.addAttribute(AttributeKey::Kern, 2.0, {3, 3});
    EXPECT_EQ(s.runCount(), 1);

    auto m1 = std::make_shared<TestMark>();
    auto m2 = std::make_shared<TestMark>();
    s.addAttribute(AttributeKey::EmojiShortcode, MarkerPtr(m1), {0, 3});
    s.addAttribute(AttributeKey::EmojiShortcode, MarkerPtr(m2), {3, 3});
    EXPECT_EQ(s.runCount(), 2);
    EXPECT_EQ(s.marker<TestMark>(AttributeKey::EmojiShortcode, 1), m1);
    EXPECT_EQ(s.marker<TestMark>(AttributeKey::EmojiShortcode, 4), m2);
    EXPECT_EQ(s.marker<TestMark>(AttributeKey::EmojiShortcode, 6), nullptr);  // past the end
}

// A long text styled span by span holds few distinct dictionaries over many
// runs: equal ones, wherever and in whichever string they were made, are one.
TEST(AttributedString, EqualDictionariesAreOneWhereverTheyAreMade)
{
    AttributedString s(u"one two three four");
    s.addAttribute(AttributeKey::Font, Font::boldSystem(14), {0, 3});
    s.addAttribute(AttributeKey::Font, Font::boldSystem(14), {8, 5});
    s.addAttribute(AttributeKey::Kern, 1.0, {14, 4});
    s.addAttribute(AttributeKey::Font, Font::boldSystem(14), {14, 4});
    s.removeAttribute(AttributeKey::Kern, {14, 4});
    EXPECT_EQ(s.sharedAttributes(0), s.sharedAttributes(8));
    EXPECT_EQ(s.sharedAttributes(0), s.sharedAttributes(14));
    EXPECT_NE(s.sharedAttributes(0), s.sharedAttributes(4));

    AttributedString other(u"x", Attributes{{AttributeKey::Font, Font::boldSystem(14)}});
    EXPECT_EQ(other.sharedAttributes(0), s.sharedAttributes(8));
    other.setAttributes(Attributes{}, {0, 1});
    EXPECT_EQ(other.sharedAttributes(0), s.sharedAttributes(4));

    // Equal paragraph styles from two objects make one dictionary; two fresh markers two.
    auto style = std::make_shared<ParagraphStyle>();
    style->headIndent = 12;
    s.addAttribute(AttributeKey::ParagraphStyle, ParagraphStylePtr(style), {4, 3});
    other.addAttribute(AttributeKey::ParagraphStyle, ParagraphStylePtr(std::make_shared<ParagraphStyle>(*style)), {0, 1});
    EXPECT_EQ(other.sharedAttributes(0), s.sharedAttributes(4));
    s.addAttribute(AttributeKey::EmojiShortcode, MarkerPtr(std::make_shared<TestMark>()), {0, 3});
    s.addAttribute(AttributeKey::EmojiShortcode, MarkerPtr(std::make_shared<TestMark>()), {8, 3});
    EXPECT_NE(s.sharedAttributes(0), s.sharedAttributes(8));
    EXPECT_EQ(*s.sharedAttributes(0)->font(), Font::boldSystem(14));
}

// A long document keeps one dictionary per link address: each is kept at its
// own size, however it grew while its keys were added one by one.
TEST(AttributedString, KeptDictionariesHoldNoSpareRoom)
{
    AttributedString s(u"see the release notes");
    U16String address = u"https://example.com/releases/2024/notes-for-the-long-term-support-line";
    address.reserve(address.size() * 3);
    s.addAttribute(AttributeKey::Font, Font::boldSystem(14), {4, 3});
    s.addAttribute(AttributeKey::ForegroundColor, Color::link(), {4, 3});
    s.addAttribute(AttributeKey::BackgroundColor, Color::white(), {4, 3});
    s.addAttribute(AttributeKey::Underline, 1, {4, 3});
    s.addAttribute(AttributeKey::Link, address, {4, 3});
    const AttributesPtr kept = s.sharedAttributes(4);
    ASSERT_EQ(kept->size(), 5u);
    EXPECT_EQ(kept->entries().capacity(), kept->size());
    const U16String* link = kept->string(AttributeKey::Link);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(*link, address);
    EXPECT_LT(link->capacity(), address.size() + 8);
}

// A link whose text is partly code keeps two dictionaries; they hold one copy of
// its address and of its colour, as do the links styled after it.
TEST(AttributedString, DictionariesShareTheirColoursAndAddresses)
{
    AttributedString s(u"[`a1b2c3`](https://example.com/commit/a1b2c3) and [#42](https://example.com/pull/42)");
    s.addAttribute(AttributeKey::Link, U16String(u"https://example.com/commit/a1b2c3"), {0, 45});
    s.addAttribute(AttributeKey::ForegroundColor, Color::link(), {0, 45});
    s.addAttribute(AttributeKey::BackgroundColor, Color::hex(0xf0f0f0), {1, 8});
    s.addAttribute(AttributeKey::Link, U16String(u"https://example.com/pull/42"), {50, 33});
    s.addAttribute(AttributeKey::ForegroundColor, Color::link(), {50, 33});
    const AttributesPtr code = s.sharedAttributes(2);
    const AttributesPtr rest = s.sharedAttributes(20);
    const AttributesPtr other = s.sharedAttributes(60);
    ASSERT_NE(code, rest);
    ASSERT_TRUE(code->string(AttributeKey::Link) && rest->string(AttributeKey::Link));
    EXPECT_EQ(*rest->string(AttributeKey::Link), u"https://example.com/commit/a1b2c3");
    EXPECT_EQ(code->string(AttributeKey::Link), rest->string(AttributeKey::Link));
    EXPECT_EQ(code->color(AttributeKey::ForegroundColor), rest->color(AttributeKey::ForegroundColor));
    EXPECT_EQ(other->color(AttributeKey::ForegroundColor), rest->color(AttributeKey::ForegroundColor));
    EXPECT_EQ(*code->color(AttributeKey::BackgroundColor), Color::hex(0xf0f0f0));
    // Equal values from different places still make one dictionary.
    AttributedString again(u"x");
    again.addAttribute(AttributeKey::ForegroundColor, Color::link(), {0, 1});
    again.addAttribute(AttributeKey::Link, U16String(u"https://example.com/pull/42"), {0, 1});
    EXPECT_EQ(again.sharedAttributes(0), other);
}

TEST(AttributedString, ParagraphStylesCompareByValueTextBlocksByIdentity)
{
    auto table = std::make_shared<TextTable>();
    auto block = std::make_shared<TextTableBlock>(table, 0, 1, 0, 1);
    ParagraphStyle a;
    a.lineSpacing = 2;
    ParagraphStyle b = a;
    EXPECT_EQ(a, b);
    a.textBlocks.push_back(block);
    b.textBlocks.push_back(std::make_shared<TextTableBlock>(table, 0, 1, 0, 1));
    EXPECT_FALSE(a == b);
    EXPECT_EQ(a.tableBlock(), block.get());

    AttributedString s(u"ab");
    s.addAttribute(AttributeKey::ParagraphStyle, std::make_shared<const ParagraphStyle>(a), {0, 1});
    s.addAttribute(AttributeKey::ParagraphStyle, std::make_shared<const ParagraphStyle>(a), {1, 1});
    EXPECT_EQ(s.runCount(), 1); // equal values from two objects merge
}

TEST(AttributedString, InsertedTextInheritsAttributes)
{
    AttributedString s(u"ab");
    s.addAttribute(AttributeKey::Kern, 1.0, {0, 1});
    s.addAttribute(AttributeKey::Kern, 2.0, {1, 1});
    s.replaceCharacters({1, 0}, u"X");  // after "a": inherits from "a"
    EXPECT_EQ(s.string(), u"aXb");
    EXPECT_EQ(kernAt(s, 1), 1);
    s.replaceCharacters({2, 1}, u"YY");  // replaces "b": inherits from "b"
    EXPECT_EQ(s.string(), u"aXYY");
    EXPECT_EQ(kernAt(s, 3), 2);
    s.replaceCharacters({0, 0}, u"Z");  // at the start: inherits from the first character
    EXPECT_EQ(kernAt(s, 0), 1);
    s.replaceCharacters({0, 5}, u"");
    EXPECT_EQ(s.length(), 0);
    EXPECT_EQ(s.runCount(), 0);
    s.replaceCharacters({0, 0}, u"new");
    EXPECT_EQ(kernAt(s, 0), -1);
    // Next to a run of the same dictionary (after it, before it, at the start), or
    // taken from inside a run, the text changes that run alone: the runs after it move.
    AttributedString t(u"aabbcc");
    t.addAttribute(AttributeKey::Kern, 1.0, {0, 2});
    t.addAttribute(AttributeKey::Kern, 2.0, {2, 2});
    t.addAttribute(AttributeKey::Kern, 3.0, {4, 2});
    t.insert(2, AttributedString(u"x", Attributes{{AttributeKey::Kern, 2.0}}));
    t.insert(0, AttributedString(u"y", Attributes{{AttributeKey::Kern, 1.0}}));
    t.replaceCharacters({6, 0}, u"z");
    EXPECT_EQ(t.string(), u"yaaxbbzcc");
    std::vector<int> kerns;
    for (int i = 0; i < t.length(); ++i)
        kerns.push_back(kernAt(t, i));
    EXPECT_EQ(kerns, (std::vector<int>{1, 1, 1, 2, 2, 2, 2, 3, 3}));
    t.deleteCharacters({4, 2});
    t.deleteCharacters({5, 1});
    EXPECT_EQ(t.string(), u"yaaxzc");
    EXPECT_EQ(t.runCount(), 3);
    EXPECT_EQ(kernAt(t, 4), 2);
    EXPECT_EQ(kernAt(t, 5), 3);
    t.deleteCharacters({3, 2});
    EXPECT_EQ(t.runCount(), 2);
    EXPECT_EQ(kernAt(t, 3), 3);
}

TEST(AttributedString, ReplaceWithAttributedTextAndSubstrings)
{
    AttributedString s(u"hello world");
    s.addAttribute(AttributeKey::Underline, 1, {6, 5});
    AttributedString piece(u"big ", Attributes{{AttributeKey::Kern, 3.0}});
    s.insert(6, piece);
    EXPECT_EQ(s.string(), u"hello big world");
    EXPECT_EQ(kernAt(s, 6), 3);
    EXPECT_FALSE(s.attributes(6).has(AttributeKey::Underline));
    EXPECT_TRUE(s.attributes(10).has(AttributeKey::Underline));
    AttributedString sub = s.attributedSubstring({8, 4});
    EXPECT_EQ(sub.string(), u"g wo");
    EXPECT_EQ(kernAt(sub, 0), 3);
    EXPECT_TRUE(sub.attributes(3).has(AttributeKey::Underline));
    s.deleteCharacters({0, 6});
    EXPECT_EQ(s.string(), u"big world");
    EXPECT_EQ(kernAt(s, 0), 3);
}

TEST(AttributedString, EnumerationAsStoredAndCoalesced)
{
    AttributedString s(u"abcdef");
    s.addAttribute(AttributeKey::Kern, 1.0, {0, 4});
    s.addAttribute(AttributeKey::Underline, 1, {2, 4});
    std::vector<Range> stored, longest;
    s.enumerateAttribute(AttributeKey::Kern, {0, 6}, [&](const AttributeValue*, Range r) { stored.push_back(r); });
    s.enumerateAttribute(AttributeKey::Kern, {0, 6}, [&](const AttributeValue*, Range r) { longest.push_back(r); }, true);
    EXPECT_EQ(stored, (std::vector<Range>{{0, 2}, {2, 2}, {4, 2}}));
    EXPECT_EQ(longest, (std::vector<Range>{{0, 4}, {4, 2}}));
}

TEST(TextStorage, BatchedEditsNotifyOnce)
{
    TextStorage storage(u"one two");
    std::vector<TextStorage::Edit> edits;
    storage.addObserver([&](const TextStorage::Edit& e) { edits.push_back(e); });
    storage.beginEditing();
    storage.replaceCharacters({0, 3}, u"three");
    storage.addAttribute(AttributeKey::Kern, 1.0, {6, 3});
    storage.endEditing();
    ASSERT_EQ(edits.size(), 1u);
    EXPECT_TRUE(edits[0].charactersChanged);
    EXPECT_EQ(edits[0].delta, 2);
    EXPECT_EQ(edits[0].range, (Range{0, 9}));
    storage.addAttribute(AttributeKey::Underline, 1, {1, 1});
    ASSERT_EQ(edits.size(), 2u);
    EXPECT_FALSE(edits[1].charactersChanged);
}

TEST(Colors, RolesResolvePerAppearanceAndCompareByIdentity)
{
    EXPECT_EQ(Color::text(), Color::text());
    EXPECT_FALSE(Color::text() == Color::label());
    EXPECT_EQ(Color::text().resolved(Appearance::Light).red, 0);
    EXPECT_EQ(Color::text().resolved(Appearance::Dark).red, 1);
    EXPECT_DOUBLE_EQ(Color::text().withAlpha(0.05).resolved().alpha, 0.05);
    EXPECT_FALSE(Color::text().withAlpha(0.05) == Color::text());
    Color::RGBA rgba;
    EXPECT_TRUE(Color::hex(0xFF8000).fixedComponents(rgba));
    EXPECT_NEAR(rgba.green, 128 / 255.0, 1e-9);
    EXPECT_FALSE(Color::link().fixedComponents(rgba));
}

TEST(FontFamilies, ExactSizesTraitsAndDistinctFamilies)
{
    using namespace FontFamily;
    const Font sans = font(MarkdownFontFamily::sansSerif, 13.3, false, false);
    const Font serif = font(MarkdownFontFamily::serif, 13.3, true, false);
    const Font mono = font(MarkdownFontFamily::monospace, 13.3, false, true);
    EXPECT_DOUBLE_EQ(sans.pointSize, 13.3);
    EXPECT_FALSE(sans.isFixedPitch());
    EXPECT_TRUE(mono.isFixedPitch());
    EXPECT_NE(sans.familyName(), serif.familyName());
    EXPECT_TRUE(serif.bold);
    EXPECT_EQ(fromRawValue("serif"), MarkdownFontFamily::serif);
    EXPECT_FALSE(fromRawValue("Serif").has_value());
    EXPECT_STREQ(title(MarkdownFontFamily::sansSerif), "Sans-Serif");
}

TEST(TextMeasure, WidthsGrowWithTextAndKern)
{
    const Font f = Font::system(14);
    const double one = TextMeasure::width(u"m", f);
    EXPECT_GT(one, 5);
    EXPECT_NEAR(TextMeasure::width(u"mm", f), 2 * one, 0.01);
    EXPECT_NEAR(TextMeasure::width(u"m", f.withSize(28)), 2 * one, 0.3);
    AttributedString s(u"mm", Attributes{{AttributeKey::Font, f}});
    s.addAttribute(AttributeKey::Kern, 3.0, {1, 1});
    EXPECT_NEAR(TextMeasure::width(s, {0, 2}, f), 2 * one + 3, 0.01);
    EXPECT_GT(f.capHeight(), 8);
    EXPECT_LT(f.capHeight(), 12);
}

#include "highlight/CodeTokenColor.h"

TEST(Colors, CodeTokensHaveLightAndDarkValues)
{
    const Color keyword = codeTokenColor(CodeTokenKind::keyword);
    EXPECT_TRUE(keyword.isDynamic());
    EXPECT_NEAR(keyword.resolved(Appearance::Light).red, 0xCF / 255.0, 1e-9);
    EXPECT_NEAR(keyword.resolved(Appearance::Dark).red, 1.0, 1e-9);
    EXPECT_EQ(codeTokenColor(CodeTokenKind::deleted), keyword);
    EXPECT_STREQ(attributeKeyName(AttributeKey::CodeBlockFill), "velkinCodeBlockFill");
}

TEST(AttributedString, RaisingTheLineHeightKeepsEachRunsOwnStyle)
{
    // A line whose first character belongs to a grid cell: raising its height for
    // a drawn mark must not move that character out of the cell.
    auto table = std::make_shared<TextTable>();
    auto cell = std::make_shared<ParagraphStyle>();
    cell->textBlocks.push_back(std::make_shared<TextTableBlock>(table, 0, 1, 0, 1));
    auto plain = std::make_shared<ParagraphStyle>();
    plain->minimumLineHeight = 30;
    AttributedString s(u"|- [ ] a :tada:\n");
    s.addAttribute(AttributeKey::ParagraphStyle, ParagraphStylePtr(cell), {0, 1});
    s.addAttribute(AttributeKey::ParagraphStyle, ParagraphStylePtr(plain), {1, 15});
    raiseMinimumLineHeight(s, {0, 16}, 20);
    ASSERT_TRUE(s.paragraphStyle(0));
    EXPECT_TRUE(s.paragraphStyle(0)->tableBlock());
    EXPECT_EQ(s.paragraphStyle(0)->minimumLineHeight, 20);
    EXPECT_FALSE(s.paragraphStyle(5)->tableBlock());
    EXPECT_EQ(s.paragraphStyle(5)->minimumLineHeight, 30);  // already taller: unchanged
}

// A page takes its text over by moving it; both sides stay whole, the moved-from
// one empty and usable, even with a gap left in its runs by the last change.
TEST(AttributedString, MovingTakesTextAndRunsAndLeavesAnEmptyString)
{
    TextStorage source(U16String(u"one two three four"));
    for (int i = 0; i < 18; i += 2)
        source.addAttribute(AttributeKey::Kern, double(i), {i, 1});
    const TextStorage copy = source;
    TextStorage moved(std::move(source));
    EXPECT_TRUE(moved == copy);
    EXPECT_EQ(moved.runCount(), copy.runCount());
    EXPECT_EQ(kernAt(moved, 4), 4);

    EXPECT_EQ(source.length(), 0);  // NOLINT(bugprone-use-after-move): what a move leaves is ours to say
    EXPECT_EQ(source.runCount(), 0);
    source.append(u"again", {{AttributeKey::Kern, 3.0}});
    EXPECT_EQ(source.runCount(), 1);
    EXPECT_EQ(kernAt(source, 2), 3);

    TextStorage assigned;
    assigned = std::move(moved);
    EXPECT_TRUE(assigned == copy);
    EXPECT_EQ(moved.runCount(), 0);  // NOLINT(bugprone-use-after-move)
}

// A page lets go of the room its runs kept for edits; the text reads and edits as before.
TEST(AttributedString, ReleasingSpareRoomKeepsTextAndRuns)
{
    TextStorage text(U16String(u"abcdefghij"));
    for (int i = 9; i >= 0; i -= 2)  // from the end, leaving the runs' gap mid-array
        text.addAttribute(AttributeKey::Kern, double(i), {i, 1});
    const TextStorage before = text;
    text.releaseSpareRoom();
    EXPECT_TRUE(text == before);
    EXPECT_EQ(text.runCount(), before.runCount());
    text.replaceCharacters({2, 1}, u"XY");
    EXPECT_EQ(text.string(), u"abXYdefghij");
    EXPECT_EQ(kernAt(text, 3), -1);
    EXPECT_EQ(kernAt(text, 6), 5);
}
