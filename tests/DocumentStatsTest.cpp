#include "app/DocumentStats.h"

#include "platform/text/CharacterClass.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

using namespace velkin;

TEST(DocumentStats, CountsWordsAndCharacters)
{
    struct Row {
        const char* name;
        U16String text;
        int words;
        int characters;
    };
    const std::vector<Row> rows = {
        {"empty", u"", 0, 0},
        {"only blanks", u" \t \n ", 0, 5},
        {"runs of spaces around and between", u"  a   b  ", 2, 9},
        {"a line feed is a character", u"a\nb", 2, 3},
        {"CRLF is one character", u"a\r\nb", 2, 3},
        {"hyphenated word", u"well-known", 1, 10},
        {"punctuation belongs to the word", u"hello, world.", 2, 13},
        {"no-break space separates", u"a\u00A0b", 2, 3},
        {"ideographic space separates", u"\u65E5\u3000\u672C", 2, 3},
        {"line separator separates", u"a\u2028b", 2, 3},
        {"emoji with skin tone is one character", u"\U0001F44D\U0001F3FD", 1, 1},
        {"family emoji is one character", u"\U0001F468\u200D\U0001F469\u200D\U0001F467", 1, 1},
        {"combining accent is one character", u"e\u0301", 1, 1},
        {"a space with a combining mark still separates", u"a \u0301b", 2, 3},
        {"a lone surrogate counts as one", u"\xD800", 1, 1},
        {"flags are one character each", u"\U0001F1E9\U0001F1EA \U0001F1EB\U0001F1F7", 2, 3},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const DocumentStats stats(r.text);
        EXPECT_EQ(stats.words, r.words);
        EXPECT_EQ(stats.characters, r.characters);
    }
}

TEST(DocumentStats, EqualWhenBothCountsAre)
{
    EXPECT_EQ(DocumentStats(u"one two"), DocumentStats(u"uno dos"));
    EXPECT_NE(DocumentStats(u"one two"), DocumentStats(u"one  two"));
    EXPECT_EQ(DocumentStats(u"x y"), DocumentStats(2, 3));
}

namespace {

// The counts straight from the whole text's cluster boundaries.
DocumentStats reference(U16View text)
{
    const auto bounds = TextOps::graphemeBoundaries(text);
    int words = 0;
    bool inWord = false;
    for (size_t k = 0; k + 1 < bounds.size(); ++k) {
        const bool blank = CharacterClass::isWhitespaceOrNewline(codePointAt(text, bounds[k]));
        words += !blank && !inWord;
        inWord = !blank;
    }
    return {words, static_cast<int>(bounds.size()) - 1};
}

} // namespace

TEST(DocumentStats, AsciiShortcutAgreesWithTheClusterRules)
{
    const std::vector<U16String> texts = {
        u"a\u0301b",                // a combining mark joins the ASCII letter before it
        u"x\r\n\u0301y",            // CR LF, then a mark that starts its own cluster
        u"\r\u0301",                // a mark never joins a CR
        u"ab\U0001F1E9\U0001F1EA\U0001F1EBcd",  // regional indicators pair up from their start
        u"hi \U0001F469\u200D\U0001F4BB!",       // a ZWJ sequence between ASCII
        u"\u0915\u094D\u0937a",     // Devanagari conjunct next to ASCII
        u"a\u200Db",                // ZWJ between letters
        u"\xD800" u"a\xDC00" u"b",  // lone surrogates
        u"caf\u00E9 na\u00EFve r\u00E9sum\u00E9\r\n",
    };
    for (const U16String& text : texts) {
        SCOPED_TRACE(u8(text));
        EXPECT_EQ(DocumentStats(text), reference(text));
    }
}

TEST(DocumentStats, AgreesWithTheClusterRulesOnRealDocuments)
{
    for (const char* path : {"/usr/share/doc/nodejs/changelogs/CHANGELOG_V12.md", "/usr/share/doc/nodejs/api/fs.md"}) {
        std::ifstream in(path, std::ios::binary);
        if (!in)
            continue;
        std::ostringstream bytes;
        bytes << in.rdbuf();
        const U16String text = u16(bytes.str());
        SCOPED_TRACE(path);
        EXPECT_EQ(DocumentStats(text), reference(text));
    }
}

TEST(DocumentStats, MenuTitleGroupsDigitsByLocale)
{
    const DocumentStats stats(1234, 5678);
    const U16String english = stats.menuTitle("en_US");
    EXPECT_NE(english.find(u"1,234"), U16String::npos);
    EXPECT_NE(english.find(u"5,678"), U16String::npos);
    EXPECT_LT(english.find(u"1,234"), english.find(u"5,678"));
    const U16String german = stats.menuTitle("de_DE");
    EXPECT_NE(german.find(u"1.234"), U16String::npos);
    EXPECT_NE(german.find(u"5.678"), U16String::npos);
    // The table's format is used, never its key.
    EXPECT_EQ(english.find(u"wordCountFormat"), U16String::npos);
    EXPECT_NE(DocumentStats().menuTitle("en_US").find(u"0"), U16String::npos);
}
