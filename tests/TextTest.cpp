#include "platform/text/CharacterClass.h"
#include "platform/text/Lines.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"

#include <gtest/gtest.h>

using namespace velkin;

namespace {

std::vector<U16String> contents(U16View text, const std::vector<LineRange>& lines)
{
    std::vector<U16String> out;
    for (const auto& l : lines)
        out.emplace_back(substring(text, l.content));
    return out;
}

} // namespace

TEST(Lines, MixedTerminatorsEachEndOneLine)
{
    const U16String text = u"a\nb\r\nc\rd\u2028e\u2029f\u0085g";
    const auto lines = lineRanges(text);
    EXPECT_EQ(contents(text, lines), (std::vector<U16String>{u"a", u"b", u"c", u"d", u"e", u"f", u"g"}));
    EXPECT_EQ(lines[1].enclosing, (Range{2, 3})); // CRLF is one terminator
}

TEST(Lines, FinalTerminatorOpensNoLineAndEmptyTextHasNone)
{
    EXPECT_EQ(lineRanges(u"a\n").size(), 1u);
    EXPECT_EQ(lineRanges(u"a\n\n").size(), 2u);
    EXPECT_TRUE(lineRanges(u"").empty());
    EXPECT_EQ(lineRanges(u"\n").size(), 1u);
}

TEST(Lines, ParagraphsDoNotSplitAtLineSeparator)
{
    const U16String text = u"a\u2028b\nc";
    EXPECT_EQ(contents(text, paragraphRanges(text)), (std::vector<U16String>{u"a\u2028b", u"c"}));
    EXPECT_EQ(paragraphRange(text, {0, 0}), (Range{0, 4}));
    EXPECT_EQ(lineRange(text, {0, 0}), (Range{0, 2}));
}

TEST(Lines, LineRangeOfRanges)
{
    const U16String text = u"ab\ncd\r\nef";
    EXPECT_EQ(lineRange(text, {1, 0}), (Range{0, 3}));
    EXPECT_EQ(lineRange(text, {0, 3}), (Range{0, 3}));   // ends right after the terminator
    EXPECT_EQ(lineRange(text, {2, 2}), (Range{0, 7}));   // touches two lines
    EXPECT_EQ(lineRange(text, {3, 3}), (Range{3, 4}));   // stops between CR and LF
    EXPECT_EQ(lineRange(text, {9, 0}), (Range{7, 2}));   // end of text
    EXPECT_EQ(lineContentRange(text, 4), (Range{3, 2}));
}

TEST(Lines, SplitAtKeepsFinalEmptyPiece)
{
    auto pieces = splitAt(u"a\n\nb\n", u'\n');
    ASSERT_EQ(pieces.size(), 4u);
    EXPECT_EQ(pieces[3], u"");
    EXPECT_EQ(splitAt(u"", u'\n').size(), 1u);
}

TEST(Lines, LineIndexFindsLineOfPosition)
{
    const U16String text = u"one\ntwo\n\nfour";
    LineIndex index(text);
    EXPECT_EQ(index.count(), 4);
    EXPECT_EQ(index.lineAt(0), 0);
    EXPECT_EQ(index.lineAt(3), 0);
    EXPECT_EQ(index.lineAt(4), 1);
    EXPECT_EQ(index.lineAt(8), 2);
    EXPECT_EQ(index.lineAt(int(text.size())), 3);
}

TEST(Utf, RepairAndStrictDecoding)
{
    EXPECT_EQ(u16("a\xE9z"), u"a\uFFFDz");
    EXPECT_FALSE(decodeUtf8Strict("a\xE9z").has_value());
    EXPECT_EQ(*decodeUtf8Strict("h\xC3\xA9 \xF0\x9F\x98\x80"), u"h\u00E9 \U0001F600");
    EXPECT_EQ(u8(u"h\u00E9 \U0001F600"), "h\xC3\xA9 \xF0\x9F\x98\x80");
    EXPECT_EQ(u8(U16String(1, char16_t(0xD800))), "\xEF\xBF\xBD"); // lone surrogate
    EXPECT_EQ(codePointAt(u"\U0001F600", 0), U'\U0001F600');
    EXPECT_EQ(codePointLength(u"\U0001F600", 0), 2);
    EXPECT_EQ(previousCodePointStart(u"a\U0001F600", 3), 1);
}

TEST(TrimSets, DifferInWhatTheyRemove)
{
    const U16String text = u"\u00A0 \tx\t\n";
    EXPECT_EQ(trimmed(text, TrimSet::AsciiBlanks), u"\u00A0 \tx\t\n");
    EXPECT_EQ(trimmed(text, TrimSet::Whitespace), u"x\t\n");
    EXPECT_EQ(trimmed(text, TrimSet::WhitespaceAndNewlines), u"x");
    EXPECT_TRUE(isBlank(u" \u3000\t", TrimSet::Whitespace));
    EXPECT_FALSE(isBlank(u" \n", TrimSet::Whitespace));
}

TEST(CharacterClasses, UnicodeAware)
{
    EXPECT_TRUE(CharacterClass::isLetter(U'é'));
    EXPECT_TRUE(CharacterClass::isLetter(U'\u0301')); // combining marks count with letters
    EXPECT_TRUE(CharacterClass::isDecimalDigit(U'\u0663'));
    EXPECT_FALSE(CharacterClass::isAlphanumeric(U'_'));
    EXPECT_TRUE(CharacterClass::isWhitespace(U'\u2003'));
    EXPECT_FALSE(CharacterClass::isWhitespace(U'\n'));
}

TEST(TextOps, FullCaseMappingAndGraphemes)
{
    EXPECT_EQ(TextOps::lowercased(u"ÀB\u0130"), u"àbi\u0307");
    EXPECT_EQ(TextOps::uppercased(u"straße"), u"STRASSE");
    EXPECT_EQ(TextOps::graphemeCount(u"e\u0301a\U0001F44D\U0001F3FD"), 3);
    EXPECT_EQ(TextOps::graphemeCount(u"a\r\nb"), 3);
    EXPECT_EQ(TextOps::searchFolded(u"Émoji"), TextOps::searchFolded(u"emoji"));
    EXPECT_EQ(TextOps::words(u" one  two\nthree ").size(), 3u);
}

TEST(TextOps, NumbersIgnoreTheProcessLocale)
{
    double v = 0;
    EXPECT_TRUE(TextOps::parseDouble(u"1.5e3", v));
    EXPECT_DOUBLE_EQ(v, 1500);
    EXPECT_FALSE(TextOps::parseDouble(u"1,5", v));
    EXPECT_FALSE(TextOps::parseDouble(u"12abc", v));
    EXPECT_FALSE(TextOps::parseDouble(u"", v));
    EXPECT_FALSE(TextOps::parseDouble(U16String(u"5\0x", 3), v));
    EXPECT_EQ(TextOps::formatDouble(0.5), "0.5");
    EXPECT_EQ(TextOps::formatDouble(2.0), "2");
}

// Units found by their low byte: a unit whose low byte is the same (U+010A for a
// line feed) or a byte pair across two units is no hit.
TEST(TextOps, FindsAUnitForwardAndBackWithoutTakingItsLowByteForIt)
{
    const U16String text = u"a\u010A\n\u0A00b\n";
    EXPECT_EQ(TextOps::findUnit(text, u'\n'), 2);
    EXPECT_EQ(TextOps::findUnit(text, u'\n', 3), 5);
    EXPECT_EQ(TextOps::findUnit(text, u'\n', 6), -1);
    EXPECT_EQ(TextOps::findUnitBefore(text, u'\n', 5), 2);
    EXPECT_EQ(TextOps::findUnitBefore(text, u'\n', 2), -1);
    EXPECT_EQ(TextOps::findUnitBefore(text, u'\n', 99), 5);
    EXPECT_EQ(TextOps::findUnit(text, u'\u0A00'), 3);
    EXPECT_EQ(TextOps::findUnitBefore(text, u'\u0A00', 6), 3);
}
