// The editor's kept styling and layout against a from-scratch restyle and
// layout of the same text, over random edits of real documents.
#include "RestyleDifferential.h"

#include <gtest/gtest.h>

#include "platform/DataPaths.h"

#include <algorithm>
#include <filesystem>

namespace velkin {
namespace {

std::vector<std::string> documents()
{
    std::vector<std::string> paths;
    for (const char* folder : {"Samples", "Help"}) {
        const std::filesystem::path dir = DataPaths::sourceRoot() / folder;
        for (const auto& entry : std::filesystem::directory_iterator(dir))
            if (entry.path().extension() == ".md")
                paths.push_back(entry.path().string());
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

TEST(RestyleDifferential, SamplesAndHelpPagesStayAsIfRestyledFromScratch)
{
    unsigned seed = 1;
    for (const std::string& path : documents()) {
        const U16String text = differential::readFile(path);
        ASSERT_FALSE(text.empty()) << path;
        EXPECT_EQ(differential::run(text, seed++, 40), "") << path;
    }
}

// Constructs that reach past their own block, edited at their edges.
TEST(RestyleDifferential, FencesTablesAndDefinitionsActingAtADistance)
{
    const U16String text = u"Intro with [ref] and a note[^1].\n\n"
                           u"```\ncode\n```\n\n"
                           u"| a | b |\n| --- | --- |\n| 1 | 2 |\n\n"
                           u"- one\n\n- two\n\n  more of two\n\n"
                           u"> [!TIP]\n> tip text\n\n"
                           u"    indented\n\n    still code\n\n"
                           u"Heading\n===\n\n"
                           u"[ref]: https://example.com\n\n"
                           u"[^1]: the note\n\n    continued\n\n"
                           u"Closing words :smile: - [ ] task\n";
    for (unsigned seed = 100; seed < 110; ++seed)
        EXPECT_EQ(differential::run(text, seed, 40), "") << "seed " << seed;
}

// A fence left open swallows the definitions below it; closing it far from the
// references gives them their meaning back (and opening it again takes it away).
TEST(RestyleDifferential, ClosingAFenceFarBelowBringsBackTheDefinitionsItHid)
{
    U16String text = u"See [ref] and [^n] here.\n\n~~~\n";
    for (int i = 0; i < 200; ++i)
        text += u"code line\n";
    text += u"\n[ref]: https://example.com\n\n[^n]: the note\n";
    differential::Editor e(text);
    const int before = int(e.view().string().find(u"\n[ref]:"));
    e.view().setSelectedRange({before, 0});
    e.view().insertText(u"\n~~~");
    EXPECT_EQ(differential::compareWithFresh(e), "");
    e.view().setSelectedRange({before, 4});
    e.view().doCommand(TextCommand{TextCommand::deleteBackward, false});
    EXPECT_EQ(differential::compareWithFresh(e), "");
}

// Nested list items and lines indented less than their item's text: which item
// a line belongs to is decided by items far above an edit.
TEST(RestyleDifferential, NestedListsKeepTheirItemsAcrossEdits)
{
    U16String text = u"Intro paragraph.\n\n";
    for (int i = 0; i < 6; ++i)
        text += u"* `options` {Object}\n"
                u"  * `force` {boolean} overwrite existing file. The copy\n"
                u"    operation will ignore errors if you set this to\n"
                u"   `false` and the destination exists.\n"
                u"  * `mode` {integer} modifiers for copy operation.\n"
                u"    See `mode` flag.\n"
                u"      deeper text\n"
                u"  more of options\n\n";
    for (unsigned seed = 200; seed < 212; ++seed)
        EXPECT_EQ(differential::run(text, seed, 40), "") << "seed " << seed;
}

} // namespace
// A fence that opens a list item's text runs on like any other: typing or
// removing one far above code-shaped lines restyles everything it reaches.
TEST(RestyleDifferential, AFenceOpeningAListItem)
{
    U16String text = u"- a\n- b\n";
    for (int i = 0; i < 200; ++i)
        text += u"  line *" + U16String(1, char16_t(u'a' + i % 26)) + u"* of text\n";
    text += u"  ```\n- c\n\n[ref]: https://example.com\n";
    differential::Editor e(text);
    const int b = int(e.view().string().find(u"- b"));
    e.view().setSelectedRange({b + 2, 1});
    e.view().insertText(u"```");
    EXPECT_EQ(differential::compareWithFresh(e), "");
    e.view().setSelectedRange({b + 2, 3});
    e.view().insertText(u"b");
    EXPECT_EQ(differential::compareWithFresh(e), "");
}

} // namespace velkin
