#include "highlight/SpecialTokenizers.h"
#include "TokenText.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

using namespace velkin;
using namespace velkin::CodeHighlighter;
using velkin::testing::allInside;
using velkin::testing::ascending;
using velkin::testing::describe;

TEST(SpecialTokens, DispatchesCanonicalNames)
{
    const U16String css = u"a { b: 1 }";
    EXPECT_EQ(specialTokens(css, u"css"), cssTokens(css, false, false));
    const U16String scss = u"a { b: 1 } // c\nd\n  e: 2";
    EXPECT_EQ(specialTokens(scss, u"scss"), cssTokens(scss, true, false));
    EXPECT_EQ(specialTokens(scss, u"sass"), cssTokens(scss, true, true));
    EXPECT_EQ(specialTokens(scss, u"stylus"), specialTokens(scss, u"sass"));
    EXPECT_NE(specialTokens(scss, u"scss"), specialTokens(scss, u"sass"));
    const U16String ini = u"; c\n# d";
    EXPECT_EQ(describe(ini, *specialTokens(ini, u"ini")), "comment[; c] comment[# d]");
    EXPECT_EQ(describe(ini, *specialTokens(ini, u"toml")), "comment[# d]");
    const U16String table = u"a\tb,c";
    EXPECT_EQ(describe(table, *specialTokens(table, u"csv")), "type[a\tb] type[c]");
    EXPECT_EQ(describe(table, *specialTokens(table, u"tsv")), "type[a] type[b,c]");
    EXPECT_EQ(specialTokens(u"listen 1;", u"nginx"), specialTokens(u"listen 1;", u"apache"));
    const U16String tag = u"<a b=\"c\">&amp;";
    EXPECT_EQ(specialTokens(tag, u"html"), markupTokens(tag));
    EXPECT_EQ(specialTokens(tag, u"xml"), markupTokens(tag));
}

TEST(SpecialTokens, OtherNamesAreLeftToTheEntry)
{
    EXPECT_FALSE(specialTokens(u"# x", u"markdown"));
    EXPECT_FALSE(specialTokens(u"let x", u"swift"));
    EXPECT_FALSE(specialTokens(u"x", u""));
    EXPECT_FALSE(specialTokens(u"x", u"JSON")); // names arrive canonical (lower case)
}

TEST(SpecialTokens, EmptyTextGivesAnEmptyList)
{
    for (U16View name : {u"html", u"xml", u"css", u"scss", u"sass", u"stylus", u"json", u"yaml", u"shell", u"diff", u"ini",
                         u"toml", u"makefile", u"nginx", u"apache", u"http", u"rst", u"template", u"log",
                         u"git", u"csv", u"tsv"}) {
        const auto tokens = specialTokens(u"", name);
        ASSERT_TRUE(tokens) << u8(name);
        EXPECT_TRUE(tokens->empty()) << u8(name);
    }
}

namespace {

struct Tokenizer {
    const char* name;
    std::function<CodeTokens(U16View)> run;
    bool ordered;  // ascending and never overlapping
};

std::vector<Tokenizer> tokenizers()
{
    return {
        {"markup", markupTokens, true},
        {"css", [](U16View t) { return cssTokens(t, false, false); }, true},
        {"scss", [](U16View t) { return cssTokens(t, true, false); }, true},
        {"sass", [](U16View t) { return cssTokens(t, true, true); }, true},
        {"json", jsonTokens, true},
        {"yaml", yamlTokens, true},
        {"ini", [](U16View t) { return keyValueTokens(t, u"#;"); }, true},
        {"toml", [](U16View t) { return keyValueTokens(t, u"#"); }, true},
        {"shell", shellTokens, false},
        {"makefile", makefileTokens, false},
        {"diff", diffTokens, true},
        {"config", configTokens, true},
        {"http", httpTokens, true},
        {"rst", rstTokens, false},
        {"template", templateTokens, false},
        {"log", logTokens, true},
        {"git", gitTokens, true},
        {"csv", [](U16View t) { return csvTokens(t, u','); }, true},
        {"tsv", [](U16View t) { return csvTokens(t, u'\t'); }, true},
    };
}

// Text drawn from the units the tokenizers react to, plus surrogates (paired
// and lone), NUL, non-ASCII letters and line separators.
U16String randomText(std::mt19937& rng, int length)
{
    static const U16String alphabet = U16String(u"<>/!?-=\"'`&;#:$(){}[]%*@._\\|+, \t\n\r\n\r0123456789aAeEfxXzZ"
                                                u"\u00e9\u2028\u0085\u00a0\u0661\U0001F600")
        + U16String{char16_t(0xD800), char16_t(0xDC00), char16_t(0xDBFF)};
    std::uniform_int_distribution<size_t> pick(0, alphabet.size());
    U16String text;
    for (int i = 0; i < length; ++i) {
        const size_t k = pick(rng);
        text.push_back(k == alphabet.size() ? char16_t(0) : alphabet[k]);
    }
    return text;
}

const std::vector<U16View> fragments{
    u"<script>", u"</script>", u"<style>", u"<!--", u"-->", u"<<EOF\n", u"EOF\n", u"<<-'X'\n", u"\tX\n",
    u"{{", u"}}", u"{%", u"%}", u"<%#", u"%>", u"${", u"$(", u"```", u"..", u"::", u"=====\n", u"HTTP/1.1 ",
    u"GET ", u"\n\n", u"\"\"", u"#fff", u"@media ", u"ERROR ", u"[x]", u"pick ", u"Signed-off-by:", u"\r\n",
};

// Random sequences of meaningful fragments and random units.
U16String randomDocument(std::mt19937& rng, int pieces)
{
    std::uniform_int_distribution<size_t> which(0, fragments.size() * 2);
    U16String text;
    for (int i = 0; i < pieces; ++i) {
        const size_t k = which(rng);
        if (k < fragments.size())
            text += fragments[k];
        else
            text += randomText(rng, int(k % 7) + 1);
    }
    return text;
}

} // namespace

TEST(SpecialTokens, RandomInputStaysInsideTheText)
{
    std::mt19937 rng(20260719);
    const auto all = tokenizers();
    for (int round = 0; round < 400; ++round) {
        const U16String text = round % 2 ? randomText(rng, round % 97) : randomDocument(rng, round % 41);
        for (const Tokenizer& tokenizer : all) {
            const CodeTokens tokens = tokenizer.run(text);
            ASSERT_TRUE(allInside(tokens, text.size())) << tokenizer.name << " on " << u8(text);
            if (tokenizer.ordered) {
                ASSERT_TRUE(ascending(tokens)) << tokenizer.name << " on " << u8(text);
            }
        }
    }
}

TEST(SpecialTokens, EveryPrefixOfASampleStaysInsideIt)
{
    // Cutting a text anywhere leaves constructs open at the very end.
    const U16String sample = u"<a href=\"x\">&amp;</a><script>if (a) {}</script><style>p{}</style>\n"
                             u"cat <<EOF\n${x} $(y) \"$z\"\nEOF\nall: $(CC) # c\n{\"k\": [1, true]}\n"
                             u"Title\n=====\n:f: ``x`` `y`_\n{{ 'a' 1 }}{# c #}<%= 2 %>\n"
                             u"[main] ERROR \"q\" 12:30\n\"a,\"\"b\",1\n";
    const auto all = tokenizers();
    for (size_t cut = 0; cut <= sample.size(); ++cut) {
        const U16View text = U16View(sample).substr(0, cut);
        for (const Tokenizer& tokenizer : all)
            ASSERT_TRUE(allInside(tokenizer.run(text), text.size())) << tokenizer.name << " cut at " << cut;
    }
}
