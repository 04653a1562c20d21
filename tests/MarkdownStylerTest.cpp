#include "export/MarkdownHTML.h"
#include "markdown/Alert.h"
#include "markdown/ColorSwatch.h"
#include "markdown/Footnote.h"
#include "markdown/HardBreak.h"
#include "markdown/MarkdownStyler.h"
#include "markdown/TableGrid.h"

#include "highlight/CodeTokenColor.h"
#include "platform/layout/TextMeasure.h"
#include "platform/text/Lines.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"

#include <gtest/gtest.h>

#include <random>

using namespace velkin;
using Kind = MarkdownToken::Kind;

namespace {

const MarkdownStyler at14{14, MarkdownFontFamily::sansSerif};
const MarkdownStyler at8{8, MarkdownFontFamily::sansSerif};

// A storage that has had the base reset, ready for single spans.
AttributedString based(U16View text, const MarkdownStyler& styler)
{
    return AttributedString(U16String(text), styler.baseAttributes());
}

MarkdownSpan span(int location, int length, MarkdownToken token, std::optional<U16String> url = std::nullopt)
{
    return MarkdownSpan{Range{location, length}, std::move(token), std::move(url)};
}

TextStorage styled(U16View text, const MarkdownStyler& styler = at14)
{
    TextStorage storage{U16String(text)};
    styler.apply(storage);
    return storage;
}

int find(const AttributedString& s, U16View needle)
{
    return TextOps::find(s.string(), needle);
}

const ParagraphStyle& styleAt(const AttributedString& s, U16View needle)
{
    static const ParagraphStyle none;
    const int at = find(s, needle);
    const ParagraphStyle* style = at >= 0 ? s.paragraphStyle(at) : nullptr;
    return style ? *style : none;
}

std::optional<double> number(const AttributedString& s, AttributeKey key, int index)
{
    return s.attributes(index).number(key);
}

} // namespace

// ---- Pipeline ----

TEST(MarkdownStyler, ComplementOfRanges)
{
    using V = std::vector<Range>;
    EXPECT_EQ(MarkdownStyler::complement({}, Range{0, 0}), (V{Range{0, 0}}));
    EXPECT_EQ(MarkdownStyler::complement({}, Range{0, 10}), (V{Range{0, 10}}));
    EXPECT_EQ(MarkdownStyler::complement({{6, 2}, {2, 2}}, Range{0, 10}), (V{{0, 2}, {4, 2}, {8, 2}}));
    EXPECT_EQ(MarkdownStyler::complement({{0, 4}, {4, 6}}, Range{0, 10}), V{});
    EXPECT_EQ(MarkdownStyler::complement({{0, 5}, {2, 2}}, Range{0, 7}), (V{Range{5, 2}}));
}

TEST(MarkdownStyler, BaseAttributesAreFontColourAndDefaultStyle)
{
    const Attributes base = at14.baseAttributes();
    EXPECT_EQ(base.size(), 3u);
    EXPECT_EQ(*base.font(), FontFamily::font(MarkdownFontFamily::sansSerif, 14, false, false));
    EXPECT_EQ(*base.color(AttributeKey::ForegroundColor), Color::text());
    EXPECT_EQ(*base.paragraphStyle(), *ParagraphStyle::defaultStyle());
    const MarkdownStyler serif{12, MarkdownFontFamily::serif};
    EXPECT_EQ(serif.baseAttributes().font()->family, FontFamilyRole::Serif);
}

TEST(MarkdownStyler, EmptyStorageIsFine)
{
    TextStorage storage;
    at14.apply(storage);
    EXPECT_EQ(storage.length(), 0);
}

TEST(MarkdownStyler, StaleDecorationsGoBeforeTheNextPass)
{
    TextStorage storage(U16String(u"plain text here"));
    storage.addAttribute(AttributeKey::Kern, 5.0, {1, 1});
    storage.addAttribute(AttributeKey::Link, U16String(u"x"), {0, 5});
    storage.addAttribute(AttributeKey::TaskCheckbox, MarkerPtr(std::make_shared<HardBreakMark>(3)), {2, 2});
    at14.apply(storage);
    storage.enumerateRuns({0, storage.length()}, [&](const Attributes& a, Range) {
        EXPECT_FALSE(a.has(AttributeKey::Kern));
        EXPECT_FALSE(a.has(AttributeKey::Link));
        EXPECT_FALSE(a.has(AttributeKey::TaskCheckbox));
    });
}

TEST(MarkdownStyler, GridCellsKeepTheirBlocksAndGetOnlyInlineStyling)
{
    TextStorage storage(TableGrid::attributed(*PipeTable::parse(std::vector<U16View>{u"| # H |", u"| - |", u"| **b** |"}), 14));
    // A stale collapse mark and kern in a cell go.
    storage.addAttribute(AttributeKey::Kern, 3.0, {0, 1});
    storage.addAttribute(AttributeKey::ColorSwatch, MarkerPtr(std::make_shared<HardBreakMark>(3)), {0, 1});
    for (int pass = 0; pass < 3; ++pass)
        at14.apply(storage);

    const int heading = find(storage, u"#");
    const int bold = find(storage, u"b");
    ASSERT_TRUE(TableGrid::cellBlock(storage, heading));
    ASSERT_TRUE(TableGrid::cellBlock(storage, bold));
    // The header keeps its bold family font; the heading span of "# H" does not reach into the cell.
    EXPECT_EQ(*storage.font(heading), FontFamily::font(MarkdownFontFamily::sansSerif, 14, true, false));
    EXPECT_EQ(storage.paragraphStyle(heading)->paragraphSpacingBefore, 0);
    EXPECT_FALSE(storage.attributes(heading).has(AttributeKey::Kern));
    EXPECT_FALSE(storage.attributes(heading).has(AttributeKey::ColorSwatch));
    // The body cell is regular except where a bold span applies.
    EXPECT_TRUE(storage.font(bold)->bold);
    EXPECT_EQ(*storage.attributes(find(storage, u"**")).color(AttributeKey::ForegroundColor), Color::tertiaryLabel());
}

TEST(MarkdownStyler, CellLineHeightLimitIsLiftedButTheBlockStays)
{
    TextStorage storage(TableGrid::attributed(*PipeTable::parse(std::vector<U16View>{u"| a |", u"| -: |", u"| b |"}), 14));
    const int b = find(storage, u"b");
    ParagraphStyle limited = *storage.paragraphStyle(b);
    limited.minimumLineHeight = 20;
    const auto block = limited.textBlocks;
    storage.addAttribute(AttributeKey::ParagraphStyle, ParagraphStylePtr(std::make_shared<ParagraphStyle>(limited)),
                         {b, 2});
    at14.apply(storage);
    const ParagraphStyle* style = storage.paragraphStyle(b);
    ASSERT_TRUE(style);
    EXPECT_EQ(style->minimumLineHeight, 0);
    EXPECT_EQ(style->maximumLineHeight, 0);
    EXPECT_EQ(style->textBlocks, block);
    EXPECT_EQ(style->alignment, TextAlignment::Right);
}

TEST(MarkdownStyler, StylingNeverChangesTheCharacters)
{
    // Random Markdown-ish text, lone surrogates and CR line ends included.
    const std::vector<U16String> pieces{
        u"#",   u"## ",  u"*",    u"**", u"_",     u"`",     u"```",  u"~~~", u"|",    u"| a |", u"---", u"- ",
        u"1. ", u"> ",   u"[",    u"]",  u"(",     u")",     u"![",   u"\\",  u"\n",   u"\r\n",  u"\r",  u"  \n",
        u"[^1]", u"[^1]: ", u"> [!NOTE]\n", u"`#fff`", u"<sub>", u"</u>", u"\t", u"    ", u"word", u"\U0001F600",
        u"\xD800", u"===\n", u":smile:", u"- [ ] ", u"https://a.b"};
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        U16String text;
        const int count = int(random() % 60);
        for (int i = 0; i < count; ++i)
            text += pieces[random() % pieces.size()];
        TextStorage storage(text);
        at14.apply(storage);
        at8.apply(storage);
        ASSERT_EQ(storage.string(), text);
        TextStorage rendered = TableGrid::render(text, 13);
        ASSERT_EQ(TableGrid::serialize(rendered), text);
    }
}

TEST(MarkdownStyler, HostileInputFinishes)
{
    U16String deep(20000, u'>');
    deep += u" x\n";
    deep += U16String(20000, u'`');
    deep += U16String(20000, u'|');
    deep += u"\n";
    for (int i = 0; i < 2000; ++i)
        deep += u"| a | b |\n|---|---|\n";
    TextStorage storage(deep);
    at14.apply(storage);
    EXPECT_EQ(storage.string(), deep);
}

// ---- Span attributes ----

TEST(MarkdownStylerSpans, HeadingSizesAtTwoBaseSizes)
{
    const double expected14[] = {26.6, 21.7, 18.2, 16.1, 14, 12.6};
    for (int level = 1; level <= 6; ++level) {
        AttributedString s = based(u"Title", at14);
        at14.apply(span(0, 5, MarkdownToken::heading(level)), s);
        EXPECT_NEAR(s.font(0)->pointSize, expected14[level - 1], 1e-9);
        EXPECT_TRUE(s.font(0)->bold);
        AttributedString small = based(u"Title", at8);
        at8.apply(span(0, 5, MarkdownToken::heading(level)), small);
        EXPECT_NEAR(small.font(0)->pointSize, expected14[level - 1] / 14 * 8, 1e-9);
    }
    AttributedString low = based(u"T", at14);
    at14.apply(span(0, 1, MarkdownToken::heading(0)), low);
    EXPECT_NEAR(low.font(0)->pointSize, 26.6, 1e-9);
    AttributedString high = based(u"T", at14);
    at14.apply(span(0, 1, MarkdownToken::heading(9)), high);
    EXPECT_NEAR(high.font(0)->pointSize, 12.6, 1e-9);
}

TEST(MarkdownStylerSpans, TraitsAddUpAndHeadingsStartFresh)
{
    AttributedString s = based(u"abcdef", at14);
    at14.apply(span(0, 4, MarkdownToken(Kind::italic)), s);
    at14.apply(span(2, 4, MarkdownToken(Kind::bold)), s);
    EXPECT_TRUE(s.font(0)->italic && !s.font(0)->bold);
    EXPECT_TRUE(s.font(2)->italic && s.font(2)->bold);
    EXPECT_TRUE(!s.font(5)->italic && s.font(5)->bold);
    at14.apply(span(0, 6, MarkdownToken::heading(2)), s);
    EXPECT_FALSE(s.font(2)->italic);
    at14.apply(span(0, 1, MarkdownToken(Kind::boldItalic)), s);
    EXPECT_TRUE(s.font(0)->italic && s.font(0)->bold);
    EXPECT_NEAR(s.font(0)->pointSize, 21.7, 1e-9);  // traits keep the run's own size

    // Bold over code keeps the fixed-pitch face.
    AttributedString code = based(u"x", at14);
    at14.apply(span(0, 1, MarkdownToken(Kind::code)), code);
    at14.apply(span(0, 1, MarkdownToken(Kind::bold)), code);
    EXPECT_TRUE(code.font(0)->isFixedPitch() && code.font(0)->bold);
}

TEST(MarkdownStylerSpans, LinesAndCode)
{
    for (const MarkdownStyler* styler : {&at14, &at8}) {
        const double b = styler->baseSize;
        AttributedString s = based(u"abcdefgh", *styler);
        styler->apply(span(0, 1, MarkdownToken(Kind::strikethrough)), s);
        styler->apply(span(1, 1, MarkdownToken(Kind::underline)), s);
        styler->apply(span(2, 1, MarkdownToken(Kind::code)), s);
        styler->apply(span(3, 1, MarkdownToken(Kind::codeBlock)), s);
        styler->apply(span(4, 1, MarkdownToken(Kind::table)), s);
        styler->apply(span(5, 1, MarkdownToken(Kind::image)), s);
        styler->apply(span(6, 1, MarkdownToken(Kind::marker)), s);
        styler->apply(span(7, 1, MarkdownToken::codeSyntax(CodeTokenKind::string)), s);
        EXPECT_EQ(*number(s, AttributeKey::Strikethrough, 0), 1);
        EXPECT_EQ(*number(s, AttributeKey::Underline, 1), 1);
        EXPECT_EQ(*s.font(2), Font::monospacedSystem(0.95 * b));
        EXPECT_EQ(*s.attributes(2).color(AttributeKey::BackgroundColor), Color::text().withAlpha(0.06));
        EXPECT_EQ(*s.font(3), Font::monospacedSystem(0.95 * b));
        EXPECT_EQ(*s.attributes(3).getAs<bool>(AttributeKey::CodeBlockFill), true);
        EXPECT_EQ(*s.font(4), Font::monospacedSystem(0.95 * b));
        EXPECT_FALSE(s.attributes(4).has(AttributeKey::BackgroundColor));
        EXPECT_EQ(*s.attributes(5).color(AttributeKey::ForegroundColor), Color::secondaryLabel());
        EXPECT_EQ(*s.attributes(6).color(AttributeKey::ForegroundColor), Color::tertiaryLabel());
        EXPECT_EQ(*s.attributes(7).color(AttributeKey::ForegroundColor), codeTokenColor(CodeTokenKind::string));
    }
}

TEST(MarkdownStylerSpans, LinksAreClickableOnlyWithAnAddress)
{
    AttributedString s = based(u"ab", at14);
    at14.apply(span(0, 1, MarkdownToken(Kind::link), U16String(u"https://example.com")), s);
    at14.apply(span(1, 1, MarkdownToken(Kind::link)), s);
    EXPECT_EQ(*s.attributes(0).string(AttributeKey::Link), u"https://example.com");
    EXPECT_FALSE(s.attributes(1).has(AttributeKey::Link));
    for (int i : {0, 1}) {
        EXPECT_EQ(*s.attributes(i).color(AttributeKey::ForegroundColor), Color::link());
        EXPECT_EQ(*number(s, AttributeKey::Underline, i), 1);
    }
}

TEST(MarkdownStylerSpans, SubscriptAndSuperscriptFollowTheFontUnderThem)
{
    const MarkdownStyler ten{10, MarkdownFontFamily::sansSerif};
    AttributedString s = based(u"ab", ten);
    ten.apply(span(0, 1, MarkdownToken(Kind::subscripted)), s);
    ten.apply(span(1, 1, MarkdownToken(Kind::superscripted)), s);
    EXPECT_EQ(s.font(0)->pointSize, 9);
    EXPECT_EQ(*number(s, AttributeKey::BaselineOffset, 0), -2);
    EXPECT_EQ(*number(s, AttributeKey::BaselineOffset, 1), 3);

    AttributedString big = based(u"a", at14);
    at14.apply(span(0, 1, MarkdownToken::heading(1)), big);  // 26.6
    at14.apply(span(0, 1, MarkdownToken(Kind::superscripted)), big);
    EXPECT_EQ(big.font(0)->pointSize, 19);
    EXPECT_TRUE(big.font(0)->bold);
    EXPECT_EQ(*number(big, AttributeKey::BaselineOffset, 0), 9);
}

TEST(MarkdownStylerSpans, HardBreakMarks)
{
    AttributedString s = based(u"a  ", at14);
    at14.apply(span(1, 2, MarkdownToken(Kind::lineBreak)), s);
    EXPECT_EQ(s.marker<HardBreakMark>(AttributeKey::HardBreak, 1)->size, 7);
    EXPECT_EQ(*s.attributes(2).color(AttributeKey::ForegroundColor), Color::clear());
    AttributedString small = based(u"a  ", at8);
    at8.apply(span(1, 2, MarkdownToken(Kind::lineBreak)), small);
    EXPECT_EQ(small.marker<HardBreakMark>(AttributeKey::HardBreak, 1)->size, 6);
}

TEST(MarkdownStylerSpans, ColourSwatchOpensRoomInFrontOfTheLiteral)
{
    const ColorLiteral red{ColorLiteral::Model::hex, 1, 0, 0};
    AttributedString s = based(u"`#f00`", at14);
    at14.apply(span(1, 4, MarkdownToken::color(red)), s);
    const auto mark = s.marker<ColorMark>(AttributeKey::ColorSwatch, 1);
    ASSERT_TRUE(mark);
    EXPECT_EQ(mark->size, 13);
    EXPECT_EQ(mark->gap, 4);
    EXPECT_EQ(mark->color, Color::srgb(1, 0, 0, 1));
    EXPECT_DOUBLE_EQ(mark->capHeight, Font::monospacedSystem(13.3).capHeight());
    EXPECT_EQ(*number(s, AttributeKey::Kern, 0), 17);
    EXPECT_FALSE(s.attributes(1).has(AttributeKey::Kern));

    AttributedString small = based(u"#f00", at8);
    at8.apply(span(0, 4, MarkdownToken::color(red)), small);
    const auto smallMark = small.marker<ColorMark>(AttributeKey::ColorSwatch, 0);
    EXPECT_EQ(smallMark->size, 11);
    EXPECT_EQ(smallMark->gap, 2);
    // At the very start there is nothing to kern.
    EXPECT_FALSE(small.attributes(0).has(AttributeKey::Kern));
}

TEST(MarkdownStylerSpans, AlertsGetPanelAndIconMarks)
{
    AttributedString s = based(u"> [!NOTE]\n> body", at14);
    at14.apply(span(0, 16, MarkdownToken::alert(AlertKind::note)), s);
    at14.apply(span(2, 7, MarkdownToken::alertLabel(AlertKind::note)), s);
    const auto panel = s.marker<AlertMark>(AttributeKey::AlertBlock, 12);
    ASSERT_TRUE(panel);
    EXPECT_EQ(panel->size, 0);
    EXPECT_EQ(panel->gap, 0);
    const auto icon = s.marker<AlertMark>(AttributeKey::AlertIcon, 2);
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->kind, AlertKind::note);
    EXPECT_EQ(icon->size, 16);
    EXPECT_EQ(icon->gap, 4);
    EXPECT_EQ(*number(s, AttributeKey::Kern, 1), 20);
    EXPECT_TRUE(s.font(3)->bold);
    EXPECT_EQ(*s.attributes(3).color(AttributeKey::ForegroundColor), AlertKinds::labelColor(AlertKind::note));

    AttributedString small = based(u"[!TIP]", at8);
    at8.apply(span(0, 6, MarkdownToken::alertLabel(AlertKind::tip)), small);
    EXPECT_EQ(small.marker<AlertMark>(AttributeKey::AlertIcon, 0)->size, 12);
    EXPECT_FALSE(small.attributes(0).has(AttributeKey::Kern));
}

TEST(MarkdownStylerSpans, FootnotesCarryTheirLabels)
{
    AttributedString s = based(u"x[^a]\n[^b]: note", at14);
    at14.apply(span(1, 4, MarkdownToken::footnoteRef(u"a")), s);
    at14.apply(span(6, 5, MarkdownToken::footnoteLabel(u"b")), s);
    EXPECT_EQ(s.font(1)->pointSize, 10);
    EXPECT_EQ(*number(s, AttributeKey::BaselineOffset, 1), 4);
    EXPECT_EQ(*s.attributes(1).string(AttributeKey::FootnoteReference), u"a");
    EXPECT_EQ(*s.attributes(1).color(AttributeKey::ForegroundColor), Color::link());
    EXPECT_TRUE(s.font(6)->bold);
    EXPECT_EQ(*s.attributes(6).string(AttributeKey::FootnoteDefinition), u"b");

    AttributedString small = based(u"[^a]", at8);
    at8.apply(span(0, 4, MarkdownToken::footnoteRef(u"a")), small);
    EXPECT_EQ(small.font(0)->pointSize, 9);
}

TEST(MarkdownStylerSpans, SpanPastTheEndAddsNothing)
{
    AttributedString s = based(u"abc", at14);
    const AttributedString before = s;
    at14.apply(span(1, 5, MarkdownToken(Kind::bold)), s);
    at14.apply(span(-1, 2, MarkdownToken(Kind::underline)), s);
    at14.apply(span(3, 1, MarkdownToken::color(ColorLiteral{})), s);
    EXPECT_EQ(s, before);
}

TEST(MarkdownStylerSpans, WholeDocumentStylesEachKind)
{
    const TextStorage s = styled(u"# Head\n\nSome **bold** and `code` and [link](https://x.y).\n\n```\ncode\n```\n");
    EXPECT_NEAR(s.font(0)->pointSize, 26.6, 1e-9);
    EXPECT_TRUE(s.font(find(s, u"bold"))->bold);
    EXPECT_TRUE(s.font(find(s, u"code`"))->isFixedPitch());
    EXPECT_EQ(*s.attributes(find(s, u"link")).string(AttributeKey::Link), u"https://x.y");
    EXPECT_TRUE(s.attributes(find(s, u"code\n```")).has(AttributeKey::CodeBlockFill));
}

// ---- Paragraph styles ----

TEST(MarkdownStylerParagraphs, PlainParagraphs)
{
    const TextStorage s = styled(u"one\ntwo\n\nthree");
    const ParagraphStyle& p = styleAt(s, u"two");
    EXPECT_DOUBLE_EQ(p.lineSpacing, 0.08 * 14);
    EXPECT_DOUBLE_EQ(p.paragraphSpacing, 0.35 * 14);
    EXPECT_EQ(p.headIndent, 0);
    EXPECT_EQ(p.firstLineHeadIndent, 0);
    // Terminators keep the default style; empty paragraphs get nothing.
    EXPECT_EQ(*s.paragraphStyle(3), *ParagraphStyle::defaultStyle());
}

TEST(MarkdownStylerParagraphs, FootnoteDefinitionsHang)
{
    const TextStorage s = styled(u"x[^1]\n\n[^1]: first\nsecond\n- not a list here");
    EXPECT_DOUBLE_EQ(styleAt(s, u"[^1]:").headIndent, 1.7 * 14);
    EXPECT_EQ(styleAt(s, u"[^1]:").firstLineHeadIndent, 0);
    EXPECT_DOUBLE_EQ(styleAt(s, u"second").firstLineHeadIndent, 1.7 * 14);
    EXPECT_DOUBLE_EQ(styleAt(s, u"second").paragraphSpacing, 0.15 * 14);
}

TEST(MarkdownStylerParagraphs, ALinkDefinitionEndsTheNoteAboveIt)
{
    const U16String text = u"x[^1]\n\n[^1]: first\nsecond\n[x]: http://x\nafter";
    ASSERT_EQ(Footnote::definitions(text).size(), 1u);
    EXPECT_EQ(substring(text, Footnote::definitions(text)[0].block), u"[^1]: first\nsecond\n");
    const TextStorage s = styled(text);
    EXPECT_DOUBLE_EQ(styleAt(s, u"second").firstLineHeadIndent, 1.7 * 14);
    EXPECT_EQ(styleAt(s, u"[x]:").headIndent, 0);
    EXPECT_EQ(styleAt(s, u"after").headIndent, 0);
}

TEST(MarkdownStylerParagraphs, AlertsAndQuotes)
{
    const TextStorage alert = styled(u"> [!NOTE]\n> body");
    EXPECT_DOUBLE_EQ(styleAt(alert, u"body").headIndent, 1.4 * 14);
    EXPECT_DOUBLE_EQ(styleAt(alert, u"body").firstLineHeadIndent, 1.4 * 14);
    EXPECT_DOUBLE_EQ(styleAt(alert, u"[!NOTE]").paragraphSpacing, 0.15 * 14);

    const TextStorage nested = styled(u">> text");
    EXPECT_DOUBLE_EQ(styleAt(nested, u"text").headIndent, 2.2 * 14);
    EXPECT_DOUBLE_EQ(styleAt(nested, u"text").firstLineHeadIndent, 2.2 * 14);

    const TextStorage item = styled(u"> - item");
    const double dash = TextMeasure::width(u"- ", at14.baseFont());
    EXPECT_DOUBLE_EQ(styleAt(item, u"item").firstLineHeadIndent, 1.1 * 14);
    EXPECT_DOUBLE_EQ(styleAt(item, u"item").headIndent, 1.1 * 14 + dash);
    EXPECT_DOUBLE_EQ(styleAt(item, u"item").paragraphSpacing, 0.15 * 14);
}

TEST(MarkdownStylerParagraphs, Headings)
{
    const TextStorage setext = styled(u"Title\n=====\n\n# Atx\nbody");
    EXPECT_DOUBLE_EQ(styleAt(setext, u"Title").paragraphSpacingBefore, 0.6 * 14);
    EXPECT_EQ(styleAt(setext, u"Title").paragraphSpacing, 0);
    EXPECT_EQ(styleAt(setext, u"=====").paragraphSpacingBefore, 0);
    EXPECT_DOUBLE_EQ(styleAt(setext, u"=====").paragraphSpacing, 0.35 * 14);
    EXPECT_DOUBLE_EQ(styleAt(setext, u"# Atx").paragraphSpacingBefore, 0.6 * 14);
    EXPECT_EQ(styleAt(setext, u"body").paragraphSpacingBefore, 0);

    const TextStorage twoLines = styled(u"A\nB\n---\n");
    EXPECT_DOUBLE_EQ(styleAt(twoLines, u"A").paragraphSpacingBefore, 0.6 * 14);
    EXPECT_EQ(styleAt(twoLines, u"B").paragraphSpacingBefore, 0);
    EXPECT_EQ(styleAt(twoLines, u"B").paragraphSpacing, 0);
}

TEST(MarkdownStylerParagraphs, Lists)
{
    const TextStorage tight = styled(u"- one\n- two\n");
    EXPECT_DOUBLE_EQ(styleAt(tight, u"one").paragraphSpacing, 0.15 * 14);
    EXPECT_DOUBLE_EQ(styleAt(tight, u"one").headIndent, TextMeasure::width(u"- ", at14.baseFont()));
    EXPECT_EQ(styleAt(tight, u"one").firstLineHeadIndent, 0);
    const TextStorage loose = styled(u"- one\n\n- two\n");
    EXPECT_DOUBLE_EQ(styleAt(loose, u"one").paragraphSpacing, 0.35 * 14);
    // Blanks after the marker reaching five columns belong to the text: its lines hang one blank
    // after the marker, however many tabs were typed (never past the view's width). Four columns hang under all.
    const Font font = at14.baseFont();
    const std::pair<U16String, U16String> hangs[] = {
        {u"- \t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\titem\n- two\n", u"- "},
        {u"-      item\n", u"- "},
        {u"-   item\n", u"-   "},
        {u"> - \t\t\t\titem\n", u"- "},
    };
    for (const auto& [text, prefix] : hangs) {
        const double quote = text[0] == u'>' ? 1.1 * 14 : 0;
        EXPECT_DOUBLE_EQ(styleAt(styled(text), u"item").headIndent, quote + TextMeasure::width(prefix, font)) << u8(text);
    }
}

TEST(MarkdownStylerParagraphs, FencedCodeIsNeitherHeadingNorQuote)
{
    const TextStorage s = styled(u"```\n# comment\n> prompt\n```\n# real\n");
    EXPECT_EQ(styleAt(s, u"# comment").paragraphSpacingBefore, 0);
    EXPECT_EQ(styleAt(s, u"> prompt").headIndent, 0);
    EXPECT_EQ(styleAt(s, u"> prompt").firstLineHeadIndent, 0);
    EXPECT_DOUBLE_EQ(styleAt(s, u"# real").paragraphSpacingBefore, 0.6 * 14);

    // A fence opened inside a quote keeps the quote's indent on its lines.
    const TextStorage quoted = styled(u"> ```\n> code\n> ```\n");
    EXPECT_DOUBLE_EQ(styleAt(quoted, u"code").headIndent, 1.1 * 14);
}

// The editor's styling of the shapes the exports got wrong: a reference after
// a code span holding reference syntax, and an unclosed fence opening an item.
TEST(MarkdownStylerSpans, AReferenceAfterACodeSpanAndAFenceEndingWithItsItem)
{
    const TextStorage notes = styled(u"Type `[^note]` like this[^note].\n\n[^note]: The note.");
    EXPECT_FALSE(notes.attributes(find(notes, u"[^note]`")).string(AttributeKey::FootnoteReference));
    EXPECT_EQ(*notes.attributes(find(notes, u"[^note].")).string(AttributeKey::FootnoteReference), u"note");

    const TextStorage item = styled(u"- ```\n  code\n\nafter\n\n# Heading\n");
    EXPECT_TRUE(item.attribute(AttributeKey::CodeBlockFill, find(item, u"code")));
    EXPECT_FALSE(item.attribute(AttributeKey::CodeBlockFill, find(item, u"after")));
    EXPECT_DOUBLE_EQ(styleAt(item, u"# Heading").paragraphSpacingBefore, 0.6 * 14);
}

// A reference inside a broken one ("[^x [^b]" with no note x) is styled as one
// and is where a click on the note's label jumps: the editor reads such a line
// as the export does.
TEST(MarkdownStylerSpans, AReferenceInsideABrokenOneIsStillOne)
{
    struct Case {
        const char16_t* line;
        std::vector<const char16_t*> refs;  // each reference as written, in order
    };
    const Case cases[] = {
        {u"A [^x [^b] and [^b].", {u"[^b]", u"[^b]"}},
        {u"[^[^b]]", {u"[^b]"}},
        {u"[^a [^b] c", {u"[^a [^b]"}},
        {u"[^x `[^b]` [^b]", {u"[^b]"}},
        {u"[^b]: B [^x [^b]", {u"[^b]"}},  // on a definition line, after its label
    };
    for (const Case& c : cases) {
        const U16String text = U16String(c.line) + u"\n\n[^b]: B\n[^a [^b]: AB\n";
        const TextStorage s = styled(text);
        std::vector<U16String> styledRefs;
        s.enumerateAttribute(AttributeKey::FootnoteReference, Range{0, int(U16View(c.line).size())},
                             [&](const AttributeValue* value, Range run) {
                                 if (value)
                                     styledRefs.push_back(U16String(substring(text, run)));
                             }, true);
        std::vector<U16String> clicked, expected;
        for (const auto& r : Footnote::references(text))
            if (r.range.end() <= int(U16View(c.line).size()))
                clicked.push_back(U16String(substring(text, r.range)));
        for (const char16_t* r : c.refs)
            expected.push_back(r);
        EXPECT_EQ(styledRefs, expected) << u8(c.line);
        EXPECT_EQ(clicked, expected) << u8(c.line);
    }
}

// The line after an item's code block hangs under the item only where the export
// keeps it in the item: no lazy line goes on from code.
TEST(MarkdownStylerParagraphs, TheLineAfterAnItemsCodeBlockEndsTheListAsInTheExport)
{
    const double dash = TextMeasure::width(u"- ", at14.baseFont());
    struct Case {
        const char16_t* text;
        bool inItem;
    };
    const Case cases[] = {
        {u"- a\n  ```\n  code\n  ```\nafter\n", false},  // at the list's indentation, after the closing fence
        {u"- ```\n  code\nafter\n", false},               // where the block ended for standing left of the item
        {u"- ```\n  code\n after\n", false},
        {u"- a\n  - ~~~\n    x\n  after\n", true},         // under the outer item's text
        {u"- a\n  ```\n  code\n  ```\n after\n", true},    // indented past the list, after the closing fence
    };
    for (const Case& c : cases) {
        const TextStorage s = styled(c.text);
        EXPECT_EQ(styleAt(s, u"after").headIndent > 0, c.inItem) << u8(c.text);
        EXPECT_TRUE(!c.inItem || styleAt(s, u"after").headIndent >= dash) << u8(c.text);
        const std::string html = u8(MarkdownHTML::body(c.text));
        EXPECT_EQ(html.find("after") < html.rfind("</li>"), c.inItem) << html;
    }
    // A lazy line after the item's text still hangs under it.
    EXPECT_DOUBLE_EQ(styleAt(styled(u"- a\nafter\n"), u"after").headIndent, dash);
}

// A fence indented under an item in a quotation ends with the item, as it does in
// the export; with no item above it, with the quotation.
TEST(MarkdownStylerSpans, AFenceUnderAnItemInAQuotationEndsWithTheItem)
{
    auto code = [](const TextStorage& s, U16View needle) {
        return s.attribute(AttributeKey::CodeBlockFill, find(s, needle)) != nullptr;
    };
    const TextStorage item = styled(u"> - a\n>\n>   ```js\n>   let x\n>\n>   y\n> after\n> more\n\nout\n");
    EXPECT_TRUE(code(item, u"let x") && code(item, u"y\n"));
    EXPECT_FALSE(code(item, u"after") || code(item, u"more") || code(item, u"a\n"));
    EXPECT_FALSE(code(styled(u">> - a\n>>   ```\n>>   b\n>> after\n"), u"after")) << "two leaders";
    EXPECT_TRUE(code(styled(u"> text\n>   ```\n>   b\n> more\n"), u"more")) << "no item";
    EXPECT_TRUE(code(styled(u"> - a\n\n>   ```\n>   b\n> more\n"), u"more")) << "the quotation ended before it";
    EXPECT_TRUE(code(styled(u"> - a\n> > q\n>   ```\n>   b\n> more\n"), u"more")) << "a deeper quotation ended the list";
    for (const U16View text : {U16View(u"> - a\n>   ```\n>   b\n> more\n"), U16View(u"> text\n>   ```\n>   b\n> more\n")}) {
        const std::string html = u8(MarkdownHTML::body(text));
        EXPECT_EQ(html.find("more") < html.find("</code>"), code(styled(text), u"more")) << html;
    }
}

TEST(MarkdownStylerParagraphs, CrlfDocumentsStyleLikeLf)
{
    const TextStorage s = styled(u"# Head\r\n- one\r\n- two\r\n> quote\r\n");
    EXPECT_DOUBLE_EQ(styleAt(s, u"# Head").paragraphSpacingBefore, 0.6 * 14);
    EXPECT_DOUBLE_EQ(styleAt(s, u"one").paragraphSpacing, 0.15 * 14);
    EXPECT_DOUBLE_EQ(styleAt(s, u"quote").headIndent, 1.1 * 14);
}

// ---- Table alignment ----

namespace {

// Kern at every index of a styled text, for alignment checks with a fake measure.
std::vector<double> kerns(const AttributedString& s)
{
    std::vector<double> result;
    for (int i = 0; i < s.length(); ++i)
        result.push_back(s.attributes(i).number(AttributeKey::Kern).value_or(0));
    return result;
}

void alignWithUnitWidths(AttributedString& s, double unit = 1)
{
    std::vector<U16View> texts;
    std::vector<Range> ranges;
    for (const LineRange& line : lineRanges(s.string())) {
        texts.push_back(substring(s.string(), line.content));
        ranges.push_back(line.content);
    }
    std::vector<int> block;
    for (int i = 0; i < int(texts.size()); ++i)
        block.push_back(i);
    MarkdownStyler::alignBlock(block, texts, ranges, s, [&](U16View t) { return unit * double(t.size()); });
}

} // namespace

TEST(MarkdownStylerTables, ShortCellsArePaddedAfterTheirLastCharacter)
{
    AttributedString s(U16String(u"|a|bb|\n|---|--|\n|cc|d|"));
    alignWithUnitWidths(s);
    const std::vector<double> k = kerns(s);
    EXPECT_EQ(k[1], 2);   // "a" is two short of "---"
    EXPECT_EQ(k[4], 0);   // last cells are never padded
    EXPECT_EQ(k[10], 0);  // "---" is the widest
    EXPECT_EQ(k[18], 1);  // "cc" one short
}

TEST(MarkdownStylerTables, GapsOfHalfAPointOrLessAreLeftAlone)
{
    AttributedString small(U16String(u"|a|b|\n|-|-|\n|aa|b|"));
    alignWithUnitWidths(small, 0.5);
    EXPECT_EQ(kerns(small)[1], 0);
    AttributedString larger(U16String(u"|a|b|\n|-|-|\n|aa|b|"));
    alignWithUnitWidths(larger, 0.6);
    EXPECT_NEAR(kerns(larger)[1], 0.6, 1e-12);
}

TEST(MarkdownStylerTables, EmptyCellIsPaddedOnItsLeftPipe)
{
    AttributedString s(U16String(u"|a||\n|-|-|\n|a|bbb|"));
    alignWithUnitWidths(s);
    EXPECT_EQ(kerns(s)[2], 0);  // the middle cell is last in its row
    AttributedString three(U16String(u"|a||c|\n|-|---|-|\n|a|b|c|"));
    alignWithUnitWidths(three);
    EXPECT_EQ(kerns(three)[2], 3);
}

TEST(MarkdownStylerTables, SourceTablesInTheDocumentAlign)
{
    const TextStorage ragged = styled(u"| a | x |\n| --- | --- |\n| abcdef | y |");
    EXPECT_GT(ragged.attributes(find(ragged, u" | x")).number(AttributeKey::Kern).value_or(0), 0);

    const TextStorage even = styled(u"| a | b |\n| - | - |\n| c | d |");
    even.enumerateRuns({0, even.length()}, [](const Attributes& a, Range) { EXPECT_FALSE(a.has(AttributeKey::Kern)); });

    for (const char16_t* text : {u"| a |\n| --- |\n| abcdef |", u"a | b\n--- | ---\nabcdef | b",
                                 u"```\n| a | b |\n| --- | --- |\n| abcdef | b |\n```", u"\n| --- | --- |\n| abcdef | b |",
                                 u"```\n| a | b |\n```\n| --- | --- |\n| abcdef | b |"}) {
        const TextStorage s = styled(text);
        s.enumerateRuns({0, s.length()}, [&](const Attributes& a, Range) {
            EXPECT_FALSE(a.has(AttributeKey::Kern)) << u8(text);
        });
    }
}

TEST(MarkdownStylerTables, EscapedPipesAndCodeSpansDoNotSeparate)
{
    AttributedString s(U16String(u"|a \\| b|c|\n|-|-|\n|`x|y`|c|"));
    alignWithUnitWidths(s);
    const std::vector<double> k = kerns(s);
    // Cells: "a \| b" (6) and "`x|y`" (5): the second row's first cell gets 1.
    EXPECT_EQ(k[TextOps::find(s.string(), u"`|c")], 1);
}
// Fences, items and quotations in any order: each line is code in the editor
// where it is code in the export. (Quote leaders written as one run, ">>", and
// indented code in items are read otherwise by the two, and are left out.)
TEST(MarkdownStylerSpans, CodeBlocksStandWhereTheExportPutsThem)
{
    const std::vector<std::string> shapes{"- ```", "- ~~~", "1. ```", "  ```", "```", "~~~", "> ```", "> - ```",
                                          "  - ```", ">   ```", "> > ```", "> >   ```", "\t- ```", ">\t```", "  w",
                                          "w", "> w", ">   w", ">    w", "> - w", "> 1. w", "> > - w", "- w", "# w", "", "> "};
    std::mt19937 random(19);
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        int words = 0;
        for (int line = 1 + int(random() % 10); line > 0; --line) {
            std::string shape = shapes[random() % shapes.size()];
            if (const size_t w = shape.find('w'); w != std::string::npos)
                shape.replace(w, 1, "q" + std::to_string(words++) + "z");
            text += shape + "\n";
        }
        const std::string html = u8(MarkdownHTML::body(u16(text)));
        const TextStorage s = styled(u16(text));
        for (int k = 0; k < words; ++k) {
            const std::string word = "q" + std::to_string(k) + "z";
            const size_t at = html.find(word);
            const size_t open = html.rfind("<pre><code", at);
            const size_t close = html.rfind("</code></pre>", at);
            const bool exported = open != std::string::npos && (close == std::string::npos || close < open);
            ASSERT_EQ(s.attribute(AttributeKey::CodeBlockFill, find(s, u16(word))) != nullptr, exported)
                << word << " in\n" << text << "---\n" << html;
        }
    }
}
