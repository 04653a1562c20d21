#include "help/HelpMarkup.h"

#include <gtest/gtest.h>

using namespace velkin;

namespace {

U16String stripped(const U16String& text)
{
    TextStorage storage(text);
    HelpMarkup::stripDecorativeSyntax(storage);
    return storage.string();
}

} // namespace

TEST(HelpMarkup, RemovesDecorativeSyntaxOnly)
{
    EXPECT_EQ(stripped(u"See [Tables](tables.md \"title\") now."), u"See Tables now.");
    EXPECT_EQ(stripped(u"# A heading\nbody"), u"A heading\nbody");
    EXPECT_EQ(stripped(u"**bold**, _it_ and ~~gone~~"), u"bold, it and gone");
    EXPECT_EQ(stripped(u"H<sub>2</sub>O and <kbd>K</kbd>"), u"H2O and <kbd>K</kbd>");
    EXPECT_EQ(stripped(u"\\*not italic\\*"), u"*not italic*");
    EXPECT_EQ(stripped(u"- A colour\n> Mind this."), u"- A colour\n> Mind this.");
    EXPECT_EQ(stripped(u"plain text"), u"plain text");
    EXPECT_EQ(stripped(u"[broken](no-close"), u"[broken](no-close");  // not a link at all
}

TEST(HelpMarkup, KeepsCharactersThatHoldADrawnMark)
{
    TextStorage storage(u"**x**");
    storage.addAttribute(AttributeKey::Kern, 13.0, {0, 1});
    HelpMarkup::stripDecorativeSyntax(storage);
    EXPECT_EQ(storage.string(), u"**x");
}

TEST(HelpMarkup, MarkerPredicates)
{
    EXPECT_TRUE(HelpMarkup::isHeadingMarker(u"## "));
    EXPECT_TRUE(HelpMarkup::isHeadingMarker(u"######"));
    EXPECT_FALSE(HelpMarkup::isHeadingMarker(u"####### "));
    EXPECT_FALSE(HelpMarkup::isHeadingMarker(u"#x"));
    EXPECT_TRUE(HelpMarkup::isTagMarker(u"</SUB>"));
    EXPECT_TRUE(HelpMarkup::isTagMarker(u"<u>"));
    EXPECT_FALSE(HelpMarkup::isTagMarker(u"<b>"));
    EXPECT_FALSE(HelpMarkup::isTagMarker(u"<br/>"));
}
