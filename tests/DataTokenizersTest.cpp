#include "highlight/SpecialTokenizers.h"
#include "TokenText.h"

#include <gtest/gtest.h>

using namespace velkin;
using namespace velkin::CodeHighlighter;
using velkin::testing::describe;

namespace {

std::string json(U16View code) { return describe(code, jsonTokens(code)); }
std::string yaml(U16View code) { return describe(code, yamlTokens(code)); }
std::string ini(U16View code) { return describe(code, keyValueTokens(code, u"#;")); }
std::string toml(U16View code) { return describe(code, keyValueTokens(code, u"#")); }

} // namespace

TEST(JsonTokens, KeysValuesNumbersAndLiterals)
{
    EXPECT_EQ(json(u"{\"a\": \"b\"}"), "type[\"a\"] string[\"b\"]");
    EXPECT_EQ(json(u"{\"k\"  \n\t : [1, -1.5e+3, true, null]}"),
              "type[\"k\"] number[1] number[-1.5e+3] keyword[true] keyword[null]");
    EXPECT_EQ(json(u"\"2024-01-01\" 2024-01-01"), "string[\"2024-01-01\"] number[2024-01-01]");
    EXPECT_EQ(json(u"\"a\\\"b\": 1"), "type[\"a\\\"b\"] number[1]");
}

TEST(JsonTokens, WordsAndSignsThatAreNoTokens)
{
    EXPECT_EQ(json(u"True NULL nulls falsey"), "");
    EXPECT_EQ(json(u"- -x"), "");
    EXPECT_EQ(json(u""), "");
}

TEST(JsonTokens, StringsAtTheEndOfTheText)
{
    // Unterminated: a value even though a colon would follow in a longer text.
    EXPECT_EQ(json(u"{\"open"), "string[\"open]");
    // The closing quote is the last unit: nothing can follow, so no key.
    EXPECT_EQ(json(u"\"last\""), "string[\"last\"]");
    // A backslash as the very last unit stays inside the text.
    EXPECT_EQ(json(u"\"a\\"), "string[\"a\\]");
    EXPECT_EQ(json(u"\"k\"   "), "string[\"k\"]");
}

TEST(YamlTokens, KeysCommentsAndScalars)
{
    EXPECT_EQ(yaml(u"  - name: Tom # note"), "keyword[name] comment[# note]");
    EXPECT_EQ(yaml(u"on: yes"), "keyword[on] keyword[yes]");
    EXPECT_EQ(yaml(u"time: 12:30"), "keyword[time] number[12] number[30]");
    EXPECT_EQ(yaml(u"<<: *base"), "keyword[<<] type[*base]");
    EXPECT_EQ(yaml(u"a: & x"), "keyword[a]");
    EXPECT_EQ(yaml(u"full name  : x"), "keyword[full name]");
    EXPECT_EQ(yaml(u"flag: on_off"), "keyword[flag] keyword[on] keyword[off]");
    EXPECT_EQ(yaml(u"v: -3 1.5 1.2.3"), "keyword[v] number[-3] number[1.5] number[1.2.3]");
}

TEST(YamlTokens, WhatIsNoKey)
{
    EXPECT_EQ(yaml(u"key:value"), "");
    EXPECT_EQ(yaml(u"key:"), "keyword[key]");
    EXPECT_EQ(yaml(u"'quoted key': 1"), "string['quoted key'] number[1]");
    EXPECT_EQ(yaml(u"---"), "");
    EXPECT_EQ(yaml(u"- "), "");
    EXPECT_EQ(yaml(u"-1"), "number[-1]");
    EXPECT_EQ(yaml(u": x"), "");
    EXPECT_EQ(yaml(u"a #b: c"), "comment[#b: c]");
    EXPECT_EQ(yaml(u"# whole line"), "comment[# whole line]");
    EXPECT_EQ(yaml(u"k: 'it''s'"), "keyword[k] string['it'] string['s']");
}

TEST(YamlTokens, LinesOfEveryEnding)
{
    // CR LF, CR and LS end lines; no token swallows a terminator.
    const U16String text = u"a: 1\r\nb: 'x\rc: 2\u2028d: true";
    EXPECT_EQ(yaml(text), "keyword[a] number[1] keyword[b] string['x] keyword[c] number[2] keyword[d] keyword[true]");
}

TEST(KeyValueTokens, IniAndTomlDifferInTheirCommentCharacters)
{
    EXPECT_EQ(ini(u"; note"), "comment[; note]");
    EXPECT_EQ(toml(u"; note"), "");
    EXPECT_EQ(ini(u"[server] ; main"), "type[[server] ; main]");
    EXPECT_EQ(ini(u"path = a;b"), "keyword[path]");
    EXPECT_EQ(ini(u"path = a ;b"), "keyword[path] comment[;b]");
    EXPECT_EQ(toml(u"x = 1 # n"), "keyword[x] number[1] comment[# n]");
}

TEST(KeyValueTokens, KeysAndValues)
{
    EXPECT_EQ(toml(u"enabled = TRUE"), "keyword[enabled] keyword[TRUE]");
    EXPECT_EQ(toml(u"date = 1979-05-27"), "keyword[date] number[1979] number[-05] number[-27]");
    EXPECT_EQ(toml(u"a.b.c\t= \"s\""), "keyword[a.b.c] string[\"s\"]");
    EXPECT_EQ(toml(u"= 5"), "number[5]");
    EXPECT_EQ(toml(u"name = \"open"), "keyword[name] string[\"open]");
    EXPECT_EQ(toml(u"  key: 'v'\r\n"), "keyword[key] string['v']");
    EXPECT_EQ(toml(u"plain words null"), "keyword[null]");
}
