#include "app/DocumentStats.h"

#include "platform/text/Utf.h"

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
