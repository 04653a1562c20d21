#include "markdown/MarkdownCodeTokens.h"
#include "platform/text/Utf.h"

#include <gtest/gtest.h>

using namespace velkin;
namespace MCT = velkin::MarkdownCodeTokens;

namespace {

using K = CodeTokenKind;

bool has(U16View code, const CodeTokens& tokens, U16View text, K kind)
{
    for (const auto& t : tokens)
        if (t.kind == kind && substring(code, t.range) == text)
            return true;
    return false;
}

int count(const CodeTokens& tokens, K kind)
{
    int n = 0;
    for (const auto& t : tokens)
        n += t.kind == kind;
    return n;
}

} // namespace

TEST(MarkdownCodeTokens, HeadingIsATypeAndInlineCodeAString)
{
    const U16String code = u"# Title\nuse `x` now";
    const auto tokens = MCT::fenced(code, u"md");
    ASSERT_TRUE(tokens.has_value());
    bool heading = false;
    for (const auto& t : *tokens)
        heading |= t.kind == K::type && substring(code, t.range).find(u"Title") != U16View::npos;
    EXPECT_TRUE(heading);
    EXPECT_TRUE(has(code, *tokens, u"x", K::string));
}

TEST(MarkdownCodeTokens, NestedFenceIsAStringWithoutItsOwnCodeTokens)
{
    const U16String code = u"```swift\nlet x = 1\n```";
    const auto tokens = MCT::tokens(code);
    bool body = false;
    for (const auto& t : tokens)
        body |= t.kind == K::string && substring(code, t.range).find(u"let x = 1") != U16View::npos;
    EXPECT_TRUE(body);
    EXPECT_FALSE(has(code, tokens, u"let", K::keyword));
    EXPECT_FALSE(has(code, tokens, u"1", K::number));
}

TEST(MarkdownCodeTokens, EmphasisAndLinksLeaveOnlyTheirMarkers)
{
    const U16String code = u"some *stress* and [a link](https://example.com)";
    const auto tokens = MCT::tokens(code);
    EXPECT_EQ(count(tokens, K::type) + count(tokens, K::string) + count(tokens, K::keyword), 0);
    EXPECT_TRUE(has(code, tokens, u"*", K::comment));
}

TEST(MarkdownCodeTokens, PlainTextGivesAnEmptyList)
{
    const auto tokens = MCT::fenced(u"just words", u"markdown");
    ASSERT_TRUE(tokens.has_value());
    EXPECT_TRUE(tokens->empty());
}

TEST(MarkdownCodeTokens, DeeplyNestedMarkdownFencesFinish)
{
    // Each level is a longer fence around the next "markdown" block.
    const int depth = 200;
    U16String text = u"# inner";
    for (int level = 0; level < depth; ++level) {
        const U16String fence(size_t(3 + level), u'`');
        text = fence + u"markdown\n" + text + u"\n" + fence;
    }
    const auto tokens = MCT::tokens(text);
    for (const auto& t : tokens) {
        ASSERT_GE(t.range.location, 0);
        ASSERT_LE(t.range.end(), int(text.size()));
    }
    EXPECT_FALSE(tokens.empty());
}
