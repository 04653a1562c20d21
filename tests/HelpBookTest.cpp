#include "help/HelpBook.h"
#include "platform/text/Utf.h"

#include "TempDirectory.h"

#include <gtest/gtest.h>

using namespace velkin;
using velkin::testing::TempDirectory;

namespace {

std::vector<std::string> utf8(const std::vector<U16String>& items)
{
    std::vector<std::string> out;
    for (const auto& item : items)
        out.push_back(u8(item));
    return out;
}

HelpPage pageWith(const char16_t* id, const char16_t* markdown = u"") { return HelpPage::make(id, markdown); }

} // namespace

TEST(HelpBookLoad, NoFolderOrNoPagesGivesNoBook)
{
    TempDirectory dir;
    EXPECT_FALSE(HelpBook::load(dir.path() / "absent").has_value());
    EXPECT_FALSE(HelpBook::load(dir.path()).has_value());  // empty
    dir.write("notes.txt", "# Not a page");
    dir.write("x.markdown", "# Not a page either");
    EXPECT_FALSE(HelpBook::load(dir.path()).has_value());
}

TEST(HelpBookLoad, ReadsEveryMarkdownFileThatIsUtf8)
{
    TempDirectory dir;
    dir.write("index.md", "# Contents\n\n## Start\n- [Getting started](getting-started.md) - first steps\n");
    dir.write("getting-started.md", "# Getting started\n\nHello.\n");
    dir.write("Notes.MD", "Plain notes.\n");
    dir.write("file-formats.md", "No title line.\n");
    dir.write("broken.md", "# Broken \xC3\x28 bytes\n");  // not UTF-8: skipped
    dir.write(".hidden.md", "# Hidden\n");
    dir.write("x.markdown", "# Not loaded\n");
    std::filesystem::create_directories(dir.path() / "folder.md");  // a folder: skipped
    dir.write("sub/inner.md", "# Not loaded: no recursion\n");

    const auto book = HelpBook::load(dir.path());
    ASSERT_TRUE(book.has_value());
    std::vector<std::string> ids;
    for (const auto& [id, page] : book->pages)
        ids.push_back(u8(id));
    EXPECT_EQ(ids, (std::vector<std::string>{".hidden", "Notes", "file-formats", "getting-started", "index"}));
    EXPECT_EQ(book->page(u"getting-started")->title, u"Getting started");
    EXPECT_EQ(book->page(u"file-formats")->title, u"File Formats");
    EXPECT_EQ(book->page(u"Notes")->title, u"Notes");
    EXPECT_EQ(book->page(u"broken"), nullptr);
    ASSERT_TRUE(book->baseURL.has_value());
    EXPECT_TRUE(book->baseURL->is_absolute());
    EXPECT_TRUE(std::filesystem::equivalent(*book->baseURL, dir.path()));
    ASSERT_EQ(book->sections.size(), 1u);
    EXPECT_EQ(book->sections[0].entries[0], (HelpEntry{u"getting-started", u"Getting started", u"first steps"}));
}

TEST(HelpBookLoad, WithoutContentsPageTheBookHasNoSections)
{
    TempDirectory dir;
    dir.write("b.md", "# B\n");
    dir.write("Index.md", "## Section\n- [B](b.md) - bee\n");  // ids are case-sensitive
    const auto book = HelpBook::load(dir.path());
    ASSERT_TRUE(book.has_value());
    EXPECT_TRUE(book->sections.empty());
    EXPECT_EQ(utf8(book->readingOrder()), (std::vector<std::string>{"index", "Index", "b"}));
}

TEST(HelpBookLoad, ByteOrderMarkAndCarriageReturnsDoNotHideTheTitle)
{
    TempDirectory dir;
    dir.write("a.md", "\xEF\xBB\xBF# Alpha\r\n\r\n## Part one\r\nText\r\n");
    const auto book = HelpBook::load(dir.path());
    ASSERT_TRUE(book.has_value());
    const HelpPage* page = book->page(u"a");
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->title, u"Alpha");
    ASSERT_EQ(page->headings.size(), 1u);
    EXPECT_EQ(page->headings[0].anchor, u"part-one");
}

TEST(HelpBookLoad, TwoFilesWithOneIdStillLoad)
{
    TempDirectory dir;
    dir.write("a.MD", "# Upper\n");
    dir.write("a.md", "# Lower\n");
    const auto book = HelpBook::load(dir.path());
    ASSERT_TRUE(book.has_value());
    ASSERT_EQ(book->pages.size(), 1u);
    EXPECT_EQ(book->page(u"a")->title, u"Upper");  // the first in file-name order
}

TEST(HelpContents, EntriesTakeTitlePageAndSummary)
{
    const auto sections = HelpBook::sectionsFromIndex(u"# Help\n\nIntro prose.\n\n## Writing\n"
                                                      u"- [Tables](tables.md) \u2013 Pipe tables and alignment\n"
                                                      u"- [Tables](tables.md): Pipe tables and alignment\n"
                                                      u"  * [Tables](tables.md) - Pipe tables and alignment  \n"
                                                      u"* [Tables](Tables.MD)\n");
    ASSERT_EQ(sections.size(), 1u);
    EXPECT_EQ(sections[0].title, u"Writing");
    ASSERT_EQ(sections[0].entries.size(), 4u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(sections[0].entries[size_t(i)], (HelpEntry{u"tables", u"Tables", u"Pipe tables and alignment"}));
    EXPECT_EQ(sections[0].entries[3], (HelpEntry{u"Tables", u"Tables", u""}));
}

TEST(HelpContents, TargetsOtherThanBareFileNamesAreNoEntries)
{
    const auto sections = HelpBook::sectionsFromIndex(u"- [Tables](docs/tables.md)\n- [Tables](tables.md#align)\n"
                                                      u"- [Web](https://example.com/a.md)\n- [Bare](tables)\n"
                                                      u"- [Empty]()\n- [](tables.md)\n1. [Numbered](tables.md)\n"
                                                      u"- [Trailing](tables.md) words\n");
    EXPECT_TRUE(sections.empty());
}

TEST(HelpContents, SectionsOpenAtHashLinesAndSkipFencedBlocks)
{
    const auto sections = HelpBook::sectionsFromIndex(u"- [A](a.md) - first\n"
                                                      u"## Empty\n"
                                                      u"##\n"
                                                      u"## \n"
                                                      u"## Second  \n"
                                                      u"```\n- [Fenced](f.md) - no\n~~~\n"
                                                      u"- [B](b.md) - bee\n"
                                                      u"### Not a section\n"
                                                      u"- [C](c.md) - sea\n");
    ASSERT_EQ(sections.size(), 2u);
    EXPECT_EQ(sections[0].title, u"");
    EXPECT_EQ(sections[0].entries.size(), 1u);
    EXPECT_EQ(sections[1].title, u"Second");
    ASSERT_EQ(sections[1].entries.size(), 2u);
    EXPECT_EQ(sections[1].entries[0].pageID, u"b");
    EXPECT_EQ(sections[1].entries[1].pageID, u"c");
}

TEST(HelpContents, CarriageReturnsStayOutOfTitlesAndSummaries)
{
    const auto sections = HelpBook::sectionsFromIndex(u"## Writing\r\n- [Tables](tables.md) - grids\r\n");
    ASSERT_EQ(sections.size(), 1u);
    EXPECT_EQ(sections[0].title, u"Writing");
    EXPECT_EQ(sections[0].entries[0].summary, u"grids");
}

TEST(HelpBook, ReadingOrderFollowsTheContentsThenTheRestByCodePoint)
{
    HelpBook book({pageWith(u"index", u"## S\n- [B](b.md) - x\n- [A](a.md) - x\n- [B](b.md) - x\n- [M](missing.md) - x\n"),
                   pageWith(u"a"), pageWith(u"b"), pageWith(u"c"), pageWith(u"Z")},
                  std::nullopt);
    EXPECT_EQ(utf8(book.listedPageIDs()), (std::vector<std::string>{"b", "a", "b", "missing"}));
    EXPECT_EQ(utf8(book.readingOrder()), (std::vector<std::string>{"index", "b", "a", "Z", "c"}));
}

TEST(HelpBook, ReadingOrderSortsBeyondTheBasicPlaneByCodePoint)
{
    // U+1F600 (a surrogate pair in UTF-16) sorts after U+FF21 by code point.
    HelpBook book({pageWith(u"\U0001F600"), pageWith(u"\uFF21")}, std::nullopt);
    EXPECT_EQ(utf8(book.readingOrder()), (std::vector<std::string>{"index", "\uFF21", "\U0001F600"}));
}
