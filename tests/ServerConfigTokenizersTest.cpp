#include "highlight/SpecialTokenizers.h"
#include "TokenText.h"

#include <gtest/gtest.h>

using namespace velkin;
using namespace velkin::CodeHighlighter;
using velkin::testing::describe;

namespace {

std::string config(U16View code) { return describe(code, configTokens(code)); }
std::string http(U16View code) { return describe(code, httpTokens(code)); }

} // namespace

TEST(ConfigTokens, DirectivesNumbersAndVariables)
{
    EXPECT_EQ(config(u"listen 80;"), "keyword[listen] number[80]");
    EXPECT_EQ(config(u"root html;"), "keyword[root]");
    EXPECT_EQ(config(u"return 301 /new/$host$request_uri;"),
              "keyword[return] number[301] type[$host] type[$request_uri]");
    EXPECT_EQ(config(u"location ~ \\.php$ {"), "keyword[location]");
    EXPECT_EQ(config(u"a ${var} b; c ${var"), "keyword[a] type[${var}] keyword[c] type[${var]");
    EXPECT_EQ(config(u"x 10m 1.5k 1e3"), "keyword[x] number[10m] number[1.5k] number[1e] number[3]");
    EXPECT_EQ(config(u"$"), "");
}

TEST(ConfigTokens, SectionsStringsAndComments)
{
    EXPECT_EQ(config(u"<VirtualHost *:80>\n  ServerName a.example\n</VirtualHost>"),
              "type[VirtualHost] number[80] keyword[ServerName] type[VirtualHost]");
    EXPECT_EQ(config(u"<Directory \"/a\">"), "type[Directory] string[\"/a\"]");
    EXPECT_EQ(config(u"# c\nlisten 1; # d"), "comment[# c] keyword[listen] number[1] comment[# d]");
    EXPECT_EQ(config(u"add 'a\\'b' \"open\nnext"), "keyword[add] string['a\\'b'] string[\"open] keyword[next]");
    EXPECT_EQ(config(u"<"), "");
    EXPECT_EQ(config(u"</"), "");
    EXPECT_EQ(config(u"a\r\nb"), "keyword[a] keyword[b]");
}

TEST(HttpTokens, RequestsAndResponses)
{
    EXPECT_EQ(http(u"GET /api HTTP/1.1\nAccept: text/plain"), "keyword[GET] type[HTTP/1.1] keyword[Accept]");
    EXPECT_EQ(http(u"get /x http/1.0"), "keyword[get] type[http/1.0]");
    EXPECT_EQ(http(u"HTTP/1.1 200 OK"), "type[HTTP/1.1] number[200]");
    EXPECT_EQ(http(u"GET /\nX Y: z\n: v\nOk:1"), "keyword[GET] keyword[Ok]");
}

TEST(HttpTokens, CommentsAndRequestSeparators)
{
    EXPECT_EQ(http(u"GET /a\n# note\nPOST /b"), "keyword[GET] comment[# note]");
    EXPECT_EQ(http(u"GET /a\n### next\nPOST /b HTTP/1.1"),
              "keyword[GET] comment[### next] keyword[POST] type[HTTP/1.1]");
    EXPECT_EQ(http(u"  # indented"), "comment[  # indented]");
}

TEST(HttpTokens, JsonBodies)
{
    const U16String request = u"POST /u HTTP/1.1\n\n  {\"name\": 1}";
    EXPECT_EQ(http(request), "keyword[POST] type[HTTP/1.1] type[\"name\"] number[1]");
    EXPECT_EQ(http(u"POST /u\n\n<a>\"x\": 1"), "keyword[POST]");
    EXPECT_EQ(http(u"POST /u\n\n[1]\nGET x"), "keyword[POST] number[1]");
    EXPECT_EQ(http(u"POST /u\n"), "keyword[POST]");
    EXPECT_EQ(http(u"\n{}"), "");
    EXPECT_EQ(http(u""), "");
}

TEST(HttpTokens, CrLfTextHasNoBlankLine)
{
    // Each line keeps its CR, so the separator line is a header line without a colon.
    EXPECT_EQ(http(u"POST /u\r\nA: b\r\n\r\n{\"a\": 1}"), "keyword[POST] keyword[A] keyword[{\"a\"]");
}
