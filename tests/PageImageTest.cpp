#include "export/PreviewRendererPage.h"

#include <gtest/gtest.h>

using namespace velkin;

TEST(PageImage, FixedHeightOrAsTallAsTheText)
{
    U16String longText;
    for (int i = 0; i < 200; ++i)
        longText += u"A line of the document.\n\n";
    const TextStorage longPage = PreviewRenderer::preparePage(longText, 700, 14, std::nullopt);
    auto fixed = PreviewRenderer::pageBitmap(longPage, 700, 860);
    ASSERT_TRUE(fixed);
    EXPECT_EQ(fixed->height() / fixed->devicePixelRatio(), 860);
    EXPECT_EQ(fixed->width() / fixed->devicePixelRatio(), 700);

    auto grown = PreviewRenderer::pageBitmap(longPage, 760, std::nullopt);
    ASSERT_TRUE(grown);
    EXPECT_GT(grown->height() / grown->devicePixelRatio(), 860 * 3);

    const TextStorage shortPage = PreviewRenderer::preparePage(u"# Short\n", 760, 14, std::nullopt);
    auto small = PreviewRenderer::pageBitmap(shortPage, 760, std::nullopt);
    ASSERT_TRUE(small);
    const double height = small->height() / small->devicePixelRatio();
    EXPECT_GT(height, 56 + 20);   // the margins and one heading line
    EXPECT_LT(height, 56 + 60);
    EXPECT_FALSE(PreviewRenderer::pageBitmap(shortPage, 0, std::nullopt));
}

TEST(PageImage, EveryDecorationCollapsedWithoutACaret)
{
    const TextStorage page = PreviewRenderer::preparePage(u"- [ ] first task :rocket:\n", 700, 14, std::nullopt);
    bool box = false, emoji = false;
    page.enumerateAttribute(AttributeKey::TaskCheckbox, {0, page.length()},
                            [&](const AttributeValue* v, Range) { box = box || v; });
    page.enumerateAttribute(AttributeKey::EmojiShortcode, {0, page.length()},
                            [&](const AttributeValue* v, Range) { emoji = emoji || v; });
    EXPECT_TRUE(box);
    EXPECT_TRUE(emoji);
    EXPECT_EQ(page.string(), u"- [ ] first task :rocket:\n");  // the source itself is unchanged
}
