#include "help/HelpNavigator.h"

#include <gtest/gtest.h>

using namespace velkin;

namespace {

HelpBook book(bool withIndex = true)
{
    std::vector<HelpPage> pages{
        HelpPage::make(u"a", u"# A\n## Checkbox\nA task checkbox.\n"),
        HelpPage::make(u"b", u"# B\n## Intro\nText.\n"),
        HelpPage::make(u"c", u"# C\n"),
    };
    if (withIndex)
        pages.push_back(HelpPage::make(u"index", u"# Help\n## Pages\n- [A](a.md) - a\n- [B](b.md) - b\n- [C](c.md) - c\n"));
    return HelpBook(std::move(pages), std::nullopt);
}

struct Recorder {
    int notifications = 0;
    std::vector<U16String> opened;
};

void watch(HelpNavigator& navigator, Recorder& recorder)
{
    navigator.addObserver([&recorder] { ++recorder.notifications; });
    navigator.setExternalOpener([&recorder](const U16String& url) { recorder.opened.push_back(url); });
}

} // namespace

TEST(HelpNavigator, StartsOnTheContentsWithNoHistory)
{
    for (bool withIndex : {true, false}) {
        HelpNavigator navigator(book(withIndex));
        EXPECT_EQ(navigator.pageID(), u"index");
        EXPECT_FALSE(navigator.anchor().has_value());
        EXPECT_FALSE(navigator.canGoBack());
        EXPECT_FALSE(navigator.canGoForward());
        EXPECT_TRUE(navigator.query().empty());
        EXPECT_TRUE(navigator.results().empty());
    }
}

TEST(HelpNavigator, BackAndForwardRetraceTheWay)
{
    HelpNavigator navigator(book());
    navigator.open(u"a");
    navigator.open(u"b");
    navigator.goBack();
    EXPECT_EQ(navigator.pageID(), u"a");
    navigator.goBack();
    EXPECT_EQ(navigator.pageID(), u"index");
    EXPECT_FALSE(navigator.canGoBack());
    EXPECT_TRUE(navigator.canGoForward());
    navigator.goForward();
    EXPECT_EQ(navigator.pageID(), u"a");
    navigator.open(u"c");
    EXPECT_FALSE(navigator.canGoForward());
    navigator.goBack();
    EXPECT_EQ(navigator.pageID(), u"a");
}

TEST(HelpNavigator, SamePlaceOnlyNotifiesAndUnknownPagesChangeNothing)
{
    HelpNavigator navigator(book());
    Recorder recorder;
    watch(navigator, recorder);
    navigator.open(u"a");
    navigator.open(u"b");
    navigator.goBack();
    ASSERT_TRUE(navigator.canGoForward());

    recorder.notifications = 0;
    navigator.open(u"a");  // already shown, no anchor either way
    EXPECT_EQ(recorder.notifications, 1);
    EXPECT_TRUE(navigator.canGoForward());

    recorder.notifications = 0;
    navigator.open(u"missing", u"x");
    EXPECT_EQ(recorder.notifications, 0);
    EXPECT_EQ(navigator.pageID(), u"a");
    EXPECT_TRUE(navigator.canGoForward());

    navigator.goForward();
    navigator.goForward();  // nothing further: no change, no notification
    EXPECT_EQ(navigator.pageID(), u"b");
}

TEST(HelpNavigator, AnchorsArePlacesOfTheirOwn)
{
    HelpNavigator navigator(book());
    navigator.open(u"b", u"intro");
    navigator.open(u"b", u"other");
    EXPECT_EQ(navigator.anchor(), U16String(u"other"));
    navigator.goBack();
    EXPECT_EQ(navigator.pageID(), u"b");
    EXPECT_EQ(navigator.anchor(), U16String(u"intro"));
    navigator.open(u"b");
    EXPECT_FALSE(navigator.anchor().has_value());
}

TEST(HelpNavigator, FollowingLinks)
{
    HelpNavigator navigator(book());
    Recorder recorder;
    watch(navigator, recorder);
    EXPECT_TRUE(navigator.follow(u"b.md#intro"));
    EXPECT_EQ(navigator.pageID(), u"b");
    EXPECT_EQ(navigator.anchor(), U16String(u"intro"));
    EXPECT_TRUE(navigator.follow(u"#elsewhere"));
    EXPECT_EQ(navigator.pageID(), u"b");
    EXPECT_EQ(navigator.anchor(), U16String(u"elsewhere"));
    EXPECT_TRUE(navigator.follow(u"https://www.example.com/"));
    EXPECT_EQ(recorder.opened, (std::vector<U16String>{u"https://www.example.com/"}));
    EXPECT_EQ(navigator.pageID(), u"b");

    recorder.notifications = 0;
    EXPECT_FALSE(navigator.follow(u""));
    EXPECT_FALSE(navigator.follow(u"missing.md"));
    EXPECT_EQ(recorder.notifications, 0);
}

TEST(HelpNavigator, TheQuerySearchesOnlyWhenItChanges)
{
    HelpNavigator navigator(book());
    Recorder recorder;
    watch(navigator, recorder);
    navigator.setQuery(u"checkbox");
    ASSERT_EQ(navigator.results().size(), 1u);
    EXPECT_EQ(navigator.results()[0].pageID, u"a");
    const int afterSearch = recorder.notifications;

    navigator.setQuery(u"checkbox");  // unchanged: published again, no new search
    EXPECT_EQ(recorder.notifications, afterSearch + 1);
    EXPECT_EQ(navigator.results().size(), 1u);

    navigator.open(u"c");
    EXPECT_EQ(navigator.query(), u"checkbox");  // opening a page keeps the search
    EXPECT_EQ(navigator.results().size(), 1u);

    navigator.setQuery(u"   ");
    EXPECT_TRUE(navigator.results().empty());
    navigator.setQuery(u"");
    EXPECT_TRUE(navigator.results().empty());
}

TEST(HelpNavigator, ObserversCanLeaveWhileBeingTold)
{
    HelpNavigator navigator(book());
    int calls = 0;
    int id = 0;
    id = navigator.addObserver([&] {
        ++calls;
        navigator.removeObserver(id);
    });
    navigator.open(u"a");
    navigator.open(u"b");
    EXPECT_EQ(calls, 1);
}
