#include "document/LinkRouter.h"

#include "TempDirectory.h"

#include <gtest/gtest.h>

using namespace velkin;
using LinkRouter::Action;

namespace {

Url url(const char* text)
{
    return *Url::parse(text);
}

const Url document = Url::fileURL("/home/me/notes/index.md");

} // namespace

TEST(LinkRouter, AddressWithSchemeStaysAsWritten)
{
    EXPECT_EQ(LinkRouter::resolve(u"https://x.org/A%20b.md", document)->string(), "https://x.org/A%20b.md");
    EXPECT_EQ(LinkRouter::resolve(u"mailto:me@x.org", std::nullopt)->string(), "mailto:me@x.org");
}

TEST(LinkRouter, RelativeTargetsAreEncodedAsPathsThenResolved)
{
    EXPECT_EQ(LinkRouter::resolve(u"my file.md", document)->string(), "file:///home/me/notes/my%20file.md");
    // Already-encoded text is encoded again, and "#" and "?" become part of the name.
    EXPECT_EQ(LinkRouter::resolve(u"a%20b.md", document)->string(), "file:///home/me/notes/a%2520b.md");
    EXPECT_EQ(LinkRouter::resolve(u"x#y?z.md", document)->string(), "file:///home/me/notes/x%23y%3Fz.md");
    EXPECT_EQ(LinkRouter::resolve(u"caf\u00e9.png", document)->string(), "file:///home/me/notes/caf%C3%A9.png");
    EXPECT_EQ(LinkRouter::resolve(u"../other.md", document)->path(), "/home/me/other.md");
    // Without a base the result stays relative.
    const auto bare = LinkRouter::resolve(u"pics/a b.png", std::nullopt);
    ASSERT_TRUE(bare);
    EXPECT_FALSE(bare->hasScheme());
    EXPECT_EQ(bare->string(), "pics/a%20b.png");
}

TEST(LinkRouter, ActionsFollowTheExtension)
{
    EXPECT_EQ(LinkRouter::action(u"file:///tmp/notes.md", std::nullopt),
              Action::makeOpenDocument(url("file:///tmp/notes.md")));
    EXPECT_EQ(LinkRouter::action(u"https://x.org/read.txt", std::nullopt),
              Action::makeOpenDocument(url("https://x.org/read.txt")));
    EXPECT_EQ(LinkRouter::action(u"https://x.org/pic.png", std::nullopt),
              Action::makeOpenInBrowser(url("https://x.org/pic.png")));
    EXPECT_EQ(LinkRouter::action(u"NOTES.MARKDOWN", document).kind, Action::openDocument);
    EXPECT_EQ(LinkRouter::action(u"mailto:me@x.org", document), Action::makeOpenInBrowser(url("mailto:me@x.org")));
    EXPECT_EQ(LinkRouter::action(u"pic.png", std::nullopt).kind, Action::openInBrowser);
}

TEST(LinkRouter, EmptyBlankAndAnchorTargetsDoNothing)
{
    EXPECT_EQ(LinkRouter::action(u"", document), Action::makeNone());
    EXPECT_EQ(LinkRouter::action(u" \t ", document), Action::makeNone());
    EXPECT_EQ(LinkRouter::action(u"#section", document), Action::makeNone());
    // Blanks around a name are trimmed, so the file beside the document is found.
    EXPECT_EQ(LinkRouter::action(u"  other.md\t", document),
              Action::makeOpenDocument(url("file:///home/me/notes/other.md")));
}

// Links to files beside the document: the address percent-decoded when only that
// names a file, and a "#" starting a fragment unless a file is named with it.
TEST(LinkRouter, LocalFilesAreFoundDecodedAndPastAFragment)
{
    const velkin::testing::TempDirectory dir;
    for (const char* name : {"my file.md", "b.md", "a%20b.md", "c#d.md", "n\xFF\xFE.md"})
        dir.write(name, "x");
    const Url index = Url::fileURL((dir.path() / "index.md").string());
    const struct {
        const char16_t* target;
        const char* file;
        std::optional<std::string> fragment;
    } cases[] = {
        {u"my%20file.md", "my file.md", std::nullopt},
        {u"b.md#x", "b.md", "x"},
        {u"my%20file.md#part-two", "my file.md", "part-two"},
        {u"a%20b.md", "a%20b.md", std::nullopt},
        {u"c#d.md", "c#d.md", std::nullopt},
        {u"gone.md#x", "gone.md", "x"},
        {u"n%FF%FE.md", "n\xFF\xFE.md", std::nullopt},
    };
    for (const auto& c : cases) {
        const Action action = LinkRouter::action(c.target, index);
        ASSERT_EQ(action.kind, Action::openDocument) << c.file;
        EXPECT_EQ(action.url->path(), (dir.path() / c.file).string());
        EXPECT_EQ(action.url->fragment(), c.fragment) << c.file;
    }
    EXPECT_EQ(LinkRouter::action(u"b.md#x", Url::parse("https://x.org/d/i.md")), Action::makeOpenDocument(url("https://x.org/d/b.md#x")));
}
