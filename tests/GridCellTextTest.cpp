// A grid cell is inline text of its own: whatever block syntax a cell holds, it
// opens no fence, list, quote or paragraph run of the document around its grid,
// in the styler and in the walkers that decorate the text after it.
#include "document/PreviewRenderer.h"
#include "markdown/EmojiShortcode.h"
#include "markdown/MarkdownStyler.h"
#include "markdown/ProseLines.h"
#include "markdown/TableGrid.h"
#include "markdown/TaskList.h"

#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>

using namespace velkin;

namespace {

const MarkdownStyler at14{14, MarkdownFontFamily::sansSerif};

// A document rendered with its tables as grids and styled as the editor styles it.
TextStorage gridded(U16View markdown)
{
    TextStorage storage = TableGrid::render(markdown, 14);
    at14.apply(storage);
    PreviewRenderer::collapseAllTasks(storage, TaskList::checkboxSize(14));
    PreviewRenderer::collapseAllShortcodes(storage);
    return storage;
}

int find(const AttributedString& s, U16View needle, int from = 0)
{
    return TextOps::find(s.string(), needle, from);
}

// What a reader sees of each unit from `from` on: font, colour, code card,
// break arrow, task box, emoji, paragraph indents and spacing.
std::string look(const AttributedString& s, int from)
{
    std::ostringstream out;
    for (int i = from; i < s.length(); ++i) {
        const Attributes a = s.attributes(i);
        const Font* font = a.font();
        const Color* color = a.color(AttributeKey::ForegroundColor);
        const ParagraphStyle* style = s.paragraphStyle(i);
        out << u8(U16String(1, s.string()[size_t(i)])) << ':' << (font ? font->pointSize : 0) << (font && font->bold)
            << (font && font->italic) << int(color ? color->roleKind() : Color::Role::Clear)
            << a.has(AttributeKey::CodeBlockFill) << a.has(AttributeKey::HardBreak)
            << a.has(AttributeKey::TaskCheckbox) << a.has(AttributeKey::EmojiShortcode)
            << a.has(AttributeKey::AlertBlock);
        if (style)
            out << '/' << style->headIndent << '/' << style->firstLineHeadIndent << '/' << style->paragraphSpacing
                << '/' << style->paragraphSpacingBefore;
        out << ' ';
    }
    return out.str();
}

const char16_t* const after = u"# Title\n\nSome *emphasis* and :smile: here.\n\n- [ ] a task\n\n> a quote\n\n"
                              u"```\ncode\n```\n\nLast line\n";

} // namespace

TEST(GridCellText, BlockSyntaxInACellStaysInItsCell)
{
    const U16String markdown = U16String(u"| a | b |\n| --- | --- |\n| ``` | 2*3 |\n| ~~~ | 4*5 |\n| C:\\ | # no |\n\n")
        + after;
    const TextStorage s = gridded(markdown);
    const int fence = find(s, u"```");
    ASSERT_TRUE(TableGrid::cellBlock(s, fence));

    // The text after the grid is read as the document it is.
    const int title = find(s, u"Title");
    EXPECT_GT(s.font(title)->pointSize, 14);
    EXPECT_TRUE(s.font(title)->bold);
    EXPECT_TRUE(s.font(find(s, u"emphasis"))->italic);
    EXPECT_FALSE(s.attributes(find(s, u"Some")).has(AttributeKey::CodeBlockFill));
    EXPECT_TRUE(s.attributes(find(s, u"[ ]")).has(AttributeKey::TaskCheckbox));
    EXPECT_TRUE(s.attributes(find(s, u":smile:")).has(AttributeKey::EmojiShortcode));
    EXPECT_TRUE(s.attributes(find(s, u"code\n")).has(AttributeKey::CodeBlockFill));

    // Neighbouring cells make no emphasis between them.
    EXPECT_FALSE(s.font(find(s, u"3"))->italic);
    EXPECT_FALSE(s.font(find(s, u"4"))->italic);
    EXPECT_NE(*s.attributes(find(s, u"2*")+ 1).color(AttributeKey::ForegroundColor), Color::tertiaryLabel());
    // A backslash ending a cell is a character, not a hidden break.
    const int backslash = find(s, u"\\");
    EXPECT_FALSE(s.attributes(backslash).has(AttributeKey::HardBreak));
    EXPECT_EQ(*s.attributes(backslash).color(AttributeKey::ForegroundColor), Color::text());
    // A cell's "#" is no heading.
    EXPECT_EQ(s.font(find(s, u"no"))->pointSize, 14);
}

TEST(GridCellText, CellsKeepTheirInlineStyling)
{
    const TextStorage s = gridded(u"| a | b |\n| --- | --- |\n| `co` *it* | :smile: ![p](x.png) |\n");
    EXPECT_EQ(s.font(find(s, u"co"))->family, FontFamilyRole::Monospace);
    EXPECT_EQ(*s.attributes(find(s, u"`")).color(AttributeKey::ForegroundColor), Color::tertiaryLabel());
    EXPECT_TRUE(s.font(find(s, u"it"))->italic);
    EXPECT_TRUE(s.attributes(find(s, u":smile:")).has(AttributeKey::EmojiShortcode));
    // A task leader in a cell is text, not a list's box.
    const TextStorage task = gridded(u"| a |\n| --- |\n| - [ ] x |\n");
    EXPECT_FALSE(task.attributes(find(task, u"[ ]")).has(AttributeKey::TaskCheckbox));
}

// A fence typed above an existing grid runs on past it, as the Markdown reads,
// but the grid's cells stay cells.
TEST(GridCellText, FenceOpenedAboveAGridDoesNotTakeItsCells)
{
    TextStorage s = TableGrid::render(u"intro\n\n| a |\n| --- |\n| 1 |\n\nafter\n", 14);
    s.replaceCharacters({0, 5}, u"```");
    at14.apply(s);
    EXPECT_TRUE(s.attributes(0).has(AttributeKey::CodeBlockFill));
    EXPECT_FALSE(s.attributes(find(s, u"1")).has(AttributeKey::CodeBlockFill));
    EXPECT_TRUE(TableGrid::cellBlock(s, find(s, u"1")));
    EXPECT_TRUE(s.attributes(find(s, u"after")).has(AttributeKey::CodeBlockFill));
}

TEST(GridCellText, WalkersSeeCellsAsCells)
{
    const TextStorage s = TableGrid::render(U16String(u"| ``` |\n| --- |\n| - [ ] in |\n\n") + after, 14);
    const ProseLines lines(s);
    int cells = 0;
    for (size_t i = 0; i < lines.count(); ++i) {
        cells += lines.cell[i];
        EXPECT_FALSE(lines.cell[i] && lines.isCode(i));
    }
    EXPECT_EQ(cells, 2);
    std::vector<int> tasks;
    TaskList::enumerateTaskLines(s, [&](Range line, Range, const TaskList::Item&) { tasks.push_back(line.location); });
    ASSERT_EQ(tasks.size(), 1u);
    EXPECT_EQ(tasks.front(), find(s, u"- [ ] a task"));
    int shortcodes = 0;
    EmojiShortcode::enumerateShortcodes(s, [&](Range, const U16String&) { ++shortcodes; });
    EXPECT_EQ(shortcodes, 1);
}

// Random tables whose cells hold block syntax style the text after them exactly
// as tables of plain cells do.
TEST(GridCellText, TextAfterATableLooksTheSameWhateverItsCellsHold)
{
    const std::vector<U16String> syntax{u"```",  u"~~~",     u"# h",   u"## h", u"> q",    u"- i",  u"1. x",
                                        u"* y",  u"a\\",     u"\\\\",  u"<div>", u"[x]: /u", u"[^n]: note",
                                        u"**",   u"*",       u"_a",    u"===",  u"---",    u"- [ ] t", u"`",
                                        u"$$",   u"> [!NOTE]", u"\\|", u":smile", u"<!--"};
    std::mt19937 random(23);
    for (int round = 0; round < 60; ++round) {
        const int columns = 1 + int(random() % 3);
        const int rows = 1 + int(random() % 4);
        U16String odd, plain;
        for (int r = -1; r <= rows; ++r) {
            if (r == 0) {
                for (int c = 0; c < columns; ++c)
                    odd += u"| --- ", plain += u"| --- ";
            } else {
                for (int c = 0; c < columns; ++c) {
                    U16String cell = syntax[random() % syntax.size()];
                    if (random() % 3 == 0)
                        cell = u"w " + cell;
                    odd += u"| " + cell + u" ";
                    plain += u"| w ";
                }
            }
            odd += u"|\n";
            plain += u"|\n";
        }
        const TextStorage a = gridded(odd + u"\n" + after);
        const TextStorage b = gridded(plain + u"\n" + after);
        const int ta = find(a, u"# Title");
        const int tb = find(b, u"# Title");
        ASSERT_GE(ta, 0);
        ASSERT_GE(tb, 0);
        ASSERT_EQ(look(a, ta), look(b, tb)) << u8(odd);
    }
}
