#include "help/HelpBook.h"
#include "help/HelpLink.h"

#include <gtest/gtest.h>

using namespace velkin;

namespace {

HelpBook smallBook()
{
    return HelpBook({HelpPage::make(u"index", u"# Help\n"), HelpPage::make(u"tables", u"# Tables\n## Intro\n")},
                    std::nullopt);
}

} // namespace

TEST(HelpLinkPageID, OnlyBareMarkdownFileNamesNamePages)
{
    EXPECT_EQ(HelpLink::pageIDForTarget(u" Tables.MD "), U16String(u"Tables"));
    EXPECT_EQ(HelpLink::pageIDForTarget(u"a.b.md"), U16String(u"a.b"));
    EXPECT_FALSE(HelpLink::pageIDForTarget(u".md"));
    EXPECT_FALSE(HelpLink::pageIDForTarget(u""));
    EXPECT_FALSE(HelpLink::pageIDForTarget(u"   "));
    EXPECT_FALSE(HelpLink::pageIDForTarget(u"tables"));
    EXPECT_FALSE(HelpLink::pageIDForTarget(u"tables.md#x"));
    EXPECT_FALSE(HelpLink::pageIDForTarget(u"sub/tables.md"));
    EXPECT_FALSE(HelpLink::pageIDForTarget(u"./tables.md"));
    EXPECT_FALSE(HelpLink::pageIDForTarget(u"c:tables.md"));
}

TEST(HelpLinkDestination, PagesOfTheBookWithOptionalAnchors)
{
    const HelpBook book = smallBook();
    EXPECT_EQ(HelpLink::destination(u"tables.md", book), HelpLink::page(u"tables"));
    EXPECT_EQ(HelpLink::destination(u"  tables.md#column-alignment ", book), HelpLink::page(u"tables", u"column-alignment"));
    EXPECT_EQ(HelpLink::destination(u"tables.md#", book), HelpLink::page(u"tables"));
    EXPECT_EQ(HelpLink::destination(u"nonexistent.md", book), HelpLink::none());
    EXPECT_EQ(HelpLink::destination(u"tables", book), HelpLink::none());
    EXPECT_EQ(HelpLink::destination(u"sub/tables.md", book), HelpLink::none());
    EXPECT_EQ(HelpLink::destination(u"Tables.md", book), HelpLink::none());  // ids are case-sensitive
}

TEST(HelpLinkDestination, AnchorsAndNowhere)
{
    const HelpBook book = smallBook();
    EXPECT_EQ(HelpLink::destination(u"#alerts", book), HelpLink::anchorLink(u"alerts"));
    EXPECT_EQ(HelpLink::destination(u"#Not Slugged", book), HelpLink::anchorLink(u"Not Slugged"));
    EXPECT_EQ(HelpLink::destination(u"#", book), HelpLink::none());
    EXPECT_EQ(HelpLink::destination(u"", book), HelpLink::none());
    EXPECT_EQ(HelpLink::destination(u" \t ", book), HelpLink::none());
}

TEST(HelpLinkDestination, AddressesLeaveUnlessTheyNameALoadedPage)
{
    const HelpBook book = smallBook();
    EXPECT_EQ(HelpLink::destination(u"https://www.example.com/a?b=c#d", book),
              HelpLink::external(u"https://www.example.com/a?b=c#d"));
    EXPECT_EQ(HelpLink::destination(u"mailto:help@example.com", book), HelpLink::external(u"mailto:help@example.com"));
    EXPECT_EQ(HelpLink::destination(u"file:///opt/velkin/Help/tables.md#intro", book), HelpLink::page(u"tables", u"intro"));
    EXPECT_EQ(HelpLink::destination(u"file:///opt/velkin/Help/tables.md", book), HelpLink::page(u"tables"));
    EXPECT_EQ(HelpLink::destination(u"file:///opt/velkin/Help/other.md#intro", book),
              HelpLink::external(u"file:///opt/velkin/Help/other.md#intro"));
    EXPECT_EQ(HelpLink::destination(u"file:///opt/My%20Help/tables.md", book), HelpLink::page(u"tables"));
    // Not an address at all, and no bare file name either.
    EXPECT_EQ(HelpLink::destination(u"https://exa mple.com/", book), HelpLink::none());
}
