// Edits in the body of long code blocks, fenced and indented, each compared with
// a whole restyle: only the lines around an edit are restyled there, as long as
// no fence changes, from where the highlighting starts afresh (or its state is
// known) to where it reads as before.
#include "RestyleDifferential.h"
#include "editor/CodeBody.h"
#include "editor/CodeLineStates.h"

#include <gtest/gtest.h>

#include "editor/RestyleWindow.h"

#include <map>
#include <random>

namespace velkin {
namespace {

// Lines of code in several languages at once: comments, strings and heredocs
// that run over lines in some languages, and quotes and backticks that do not.
U16String codeLines(int count, U16View indent = {})
{
    static const char16_t* const lines[] = {
        u"int main(void) { return 0; } // done",
        u"/* a comment that goes on",
        u"   and ends here */ x = 1;",
        u"name = \"a string\" + 'c' # trailing",
        u"\"\"\"a docstring that",
        u"runs on\"\"\"",
        u"cat <<EOF",
        u"heredoc text $HOME",
        u"EOF",
        u"    indented(by, four)",
        u"\tafter a tab",
        u"",
        u"s = \"escaped \\",
        u"`inline` and `` double `` ticks ~ and ~~ tildes",
        u"- not a list, > not a quote, # not a heading",
        u"[ref]: https://example.com"};
    U16String text;
    for (int i = 0; i < count; ++i) {
        text += indent;
        text += lines[(i * 5 + i / 16) % 16];
        text += u'\n';
    }
    return text;
}

// The caret put at `selection` and the lines it left restyled: the next edit's
// restyle then takes the lines it touches alone.
void moveTo(differential::Editor& e, Range selection)
{
    e.view().setSelectedRange(selection);
    e.host->coordinator().restyleChanges(e.view());
}

// Types `typed` at `at`, or erases `length` units there, and compares with a whole restyle.
std::string typeAt(differential::Editor& e, int at, U16View typed)
{
    moveTo(e, {at, 0});
    e.view().insertText(U16String(typed));
    return differential::compareWithFresh(e);
}

std::string eraseAt(differential::Editor& e, int at, int length)
{
    moveTo(e, {at, length});
    e.view().doCommand(TextCommand{TextCommand::deleteBackward, false});
    return differential::compareWithFresh(e);
}

// Random edits, nine in ten of them inside [from, to) of the text as it stood
// first (kept inside the block as it shifts), each compared with a whole restyle.
std::string editInside(differential::Editor& e, std::mt19937& rng, int edits, int from, int to,
                       const std::vector<U16String>& typed)
{
    const int tail = e.storage().length() - to;
    for (int i = 0; i < edits; ++i) {
        const int n = e.storage().length();
        const int end = std::max(from + 1, n - tail);
        const int at = rng() % 10 == 0 ? int(rng() % unsigned(n + 1)) : from + int(rng() % unsigned(end - from));
        std::string done;
        if (rng() % 3 == 0 && at > 0) {
            const int length = std::min(at, int(rng() % 4) + 1);
            moveTo(e, {at - length, length});
            e.view().doCommand(TextCommand{TextCommand::deleteBackward, false});
            done = "deleted " + std::to_string(at - length) + "+" + std::to_string(length);
        } else {
            const U16String& piece = typed[rng() % typed.size()];
            moveTo(e, {at, 0});
            e.view().insertText(piece);
            done = "typed at " + std::to_string(at) + ": " + u8(piece);
        }
        e.view().layoutDocument();
        if (std::string d = differential::compareWithFresh(e); !d.empty())
            return "after edit " + std::to_string(i + 1) + " (" + done + "): " + d;
    }
    return {};
}

// `count` of `lines` in a mixed order, each `stride` on from the last.
template <size_t N>
U16String mixedLines(const char16_t* const (&lines)[N], int count, int stride)
{
    U16String text;
    for (int i = 0; i < count; ++i) {
        text += lines[size_t(i * stride + i / int(N)) % N];
        text += u'\n';
    }
    return text;
}

// A shell session: commands and their output, strings over lines, command
// substitutions, here-documents, comments, continued lines, and parentheses,
// quotes and backquotes left open in the output for many lines.
U16String shellLines(int count)
{
    static const char16_t* const lines[] = {
        u"$ ls -la /tmp # list it",
        u"total 48",
        u"$ echo \"it's $(date) and ${HOME}\"",
        u"$ cat <<EOF > out.txt",
        u"body with $VAR and 'quotes",
        u"EOF",
        u"$ for f in *.md; do",
        u"    wc -l \"$f\" \\",
        u"      | sort",
        u"done",
        u"drwxr-xr-x  2 user user 4096 Jan  1 00:00 (unreachable",
        u"$ x=`whoami` && echo '",
        u"a string that goes on'",
        u"-rw-r--r--  1 user user  220 it's here) ok",
        u"$ (cd build && make -j4 2>&1) | tee log",
        u"$ sed -e 's/a/b/' <<-'END' && echo ${open",
        u"\tstripped END }",
        u"\tEND",
        u"",
        u"make: *** [all] Error 1 `quoted'",
        u"$ select x in a b; do echo \"$x",
        u"\"; done",
    };
    return mixedLines(lines, count, 7);
}

const std::vector<U16String>& typedInCode()
{
    static const std::vector<U16String> typed{
        u"x",   u" ",    u"\n",  u"\n\n", u"`",   u"``",  u"```", u"```\n", u"~",    u"~~~",  u"~~~\n", u"/*",
        u"*/",  u"\"",   u"'",   u"\"\"\"", u"\\", u"#",   u"//",  u"    ",  u"\t",   u"<<EOF\n", u"EOF\n", u"- ",
        u"> ",  u"*",    u"_",   u"[ref]", u":smile:", u"```c\n", u"\n```\n", u"  "};
    return typed;
}

// A long block in each language, typed into anywhere in its body and at its fences.
TEST(CodeBlockRestyle, EditsInALongFencedBlockStayAsIfRestyledFromScratch)
{
    unsigned seed = 700;
    for (const U16String language : {u"", u"c", u"python", u"sh", u"ini", u"log"}) {
        const U16String opener = u"```" + language + u"\n";
        const U16String text = u"Intro with [ref] and *a word*.\n\n" + opener + codeLines(160) + u"```\n\nAfter it.\n";
        differential::Editor e(text);
        const int from = int(text.find(opener));
        std::mt19937 rng(seed++);
        EXPECT_EQ(editInside(e, rng, 60, from, int(text.size()) - 12, typedInCode()), "")
            << "language \"" << u8(language) << "\"";
    }
}

// Edits in long shell blocks, whose tokenizer carries here-documents, strings,
// nesting and backquotes from line to line; in commit messages and tables, which
// carry the subject and the header row still to come (and quoted cells over
// lines); and in blocks read line by line.
TEST(CodeBlockRestyle, EditsInLongBlocksOfTokenizersOfTheirOwnStayAsIfRestyledFromScratch)
{
    std::vector<U16String> typed = typedInCode();
    for (const U16View more : {u"(", u")", u"$(", u"${", u"}", u"'", u"\"", u"`", u"<<EOF\n", u"<<-'X'\n", u"\tX\n",
                               u"\\\n", u"for ", u"do\n", u"# ", u"EOF"})
        typed.emplace_back(more);
    unsigned seed = 800;
    for (const U16String language : {u"console", u"bash"}) {
        const U16String opener = u"```" + language + u"\n";
        const U16String text = u"Intro with [ref].\n\n" + opener + shellLines(400) + u"```\n\nAfter it.\n";
        differential::Editor e(text);
        std::mt19937 rng(seed++);
        EXPECT_EQ(editInside(e, rng, 150, int(text.find(opener)), int(text.size()) - 12, typed), "") << u8(language);
    }
    for (const U16String language : {u"git", u"csv", u"tsv"}) {
        const U16String opener = u"```" + language + u"\n";
        const U16String text = u"Intro.\n\n" + opener + u"\n# a comment\n" + codeLines(100) + shellLines(200) + u"```\n";
        differential::Editor e(text);
        std::mt19937 rng(seed++);
        EXPECT_EQ(editInside(e, rng, 60, int(text.find(opener)), int(text.size()) - 4, typed), "") << u8(language);
    }
    for (const U16String language : {u"diff", u"yaml", u"makefile", u"toml"}) {
        const U16String opener = u"```" + language + u"\n";
        const U16String text = u"Intro.\n\n" + opener + codeLines(160) + shellLines(40) + u"```\n\nAfter it.\n";
        differential::Editor e(text);
        std::mt19937 rng(seed++);
        EXPECT_EQ(editInside(e, rng, 40, int(text.find(opener)), int(text.size()) - 12, typed), "") << u8(language);
    }
}

// Lines of an indented block: four spaces or a tab, deeper ones, blank lines
// inside it, and lines that would read otherwise outside code.
U16String indentedLines(int count)
{
    static const char16_t* const lines[] = {
        u"    int main(void) { return 0; }", u"\tafter a tab", u"", u"      deeper by two", u"    | a | b |",
        u"    | - | - |", u"    - not an item", u"    ```", u"    [ref]: https://example.com", u"    <!-- not html",
        u"    # not a heading", u"   ", u"    ===", u"    *not emphasis*", u"\t\tx"};
    return mixedLines(lines, count, 4);
}

// Edits inside long indented blocks: lines gaining and losing their indentation,
// blank lines, pipes and fences typed into them; a list item before one (its lines
// are the item's then), a quotation and a table after them.
TEST(CodeBlockRestyle, EditsInALongIndentedBlockStayAsIfRestyledFromScratch)
{
    const std::vector<U16String> typed{u"x",    u" ",     u"\n",   u"\n\n", u"    ", u"\t",   u"- ",       u"> ",
                                       u"|",    u"| - |", u"```",  u"~~~\n", u"[ref]: u\n", u"<!--", u"-->", u"# ",
                                       u"===\n", u"  ",    u"1. ",  u"*",    u"\n    ", u"\nx\n"};
    const U16String block = indentedLines(240);
    const std::vector<U16String> texts{
        u"Intro with [ref].\n\n" + block + u"After it, *closed.\n\n| a | b |\n| - | - |\n| 1 | 2 |\n",
        u"- an item\n\n" + block + u"\n> quoted\n" + block + u"text* after\n",
        u"# Head\n\n" + block + u"\n1. item\n\n" + block,
    };
    unsigned seed = 900;
    for (const U16String& text : texts) {
        differential::Editor e(text);
        std::mt19937 rng(seed++);
        const int from = int(text.find(u"\n\n")) + 2;
        EXPECT_EQ(editInside(e, rng, 150, from, int(text.size()), typed), "") << "text " << seed;
    }
}

// The first and last lines of an indented block, and the lines next to it.
TEST(CodeBlockRestyle, TheEdgesOfALongIndentedBlock)
{
    const U16String text = u"Para *open\n\n" + indentedLines(100) + u"    last line\n\nclosed* here\n";
    differential::Editor e(text);
    const int opening = int(text.find(u"    int main"));
    ASSERT_EQ(eraseAt(e, opening, 1), "") << "the first line losing a space";
    ASSERT_EQ(typeAt(e, opening, u" "), "");
    ASSERT_EQ(eraseAt(e, opening - 1, 1), "") << "the blank line above it taken away";
    ASSERT_EQ(typeAt(e, opening - 1, u"\n"), "");
    const int lastLine = int(e.view().string().find(u"    last line"));
    ASSERT_EQ(eraseAt(e, lastLine, 4), "") << "the last line unindented";
    ASSERT_EQ(typeAt(e, lastLine, u"    "), "");
    ASSERT_EQ(typeAt(e, lastLine - 1, u"\n"), "") << "a blank line before the last";
    ASSERT_EQ(typeAt(e, lastLine + 1, u"x"), "");
    ASSERT_EQ(eraseAt(e, lastLine, 1), "");
    const int middle = int(e.view().string().find(u"    | - | - |", text.size() / 2));
    ASSERT_EQ(eraseAt(e, middle, 4), "") << "a line in the middle unindented";
    ASSERT_EQ(typeAt(e, middle + 2, u"x"), "");
    ASSERT_EQ(typeAt(e, middle, u"    "), "") << "and indented again";
}

// Typing in the first line of a block, after a paragraph, a list item or lines
// the item goes on over, and in the last line of one that runs to the text's end.
TEST(CodeBlockRestyle, TheFirstAndLastLinesOfIndentedBlocks)
{
    for (const U16View above : {u"Para\n\n", u"- item\n\n", u"- item\nlazy\n\n", u"> quote\n\n", u"# Head\n",
                                u"```\nfenced\n```\n", u"Para\n    x\n\n", u"1. one\n   two\n\n"}) {
        U16String block;
        for (int i = 0; i < 60; ++i)
            block += i % 7 == 3 ? u"\n" : i % 5 == 1 ? u"\ttabbed | piped\n" : u"    a line of code\n";
        const U16String text = U16String(above) + (above.size() % 2 ? indentedLines(60) : block) + u"\tthe last line";
        differential::Editor e(text);
        const int opening = int(above.size());
        ASSERT_EQ(typeAt(e, opening + 6, u"x"), "") << "the first line after " << u8(above);
        ASSERT_EQ(typeAt(e, opening + 4, u"\n    "), "") << u8(above);
        ASSERT_EQ(eraseAt(e, opening + 4, 5), "") << u8(above);
        ASSERT_EQ(eraseAt(e, opening + 2, 2), "") << "unindented, after " << u8(above);
        ASSERT_EQ(typeAt(e, opening + 2, u"  "), "") << u8(above);
        const int end = int(e.view().string().size());
        ASSERT_EQ(typeAt(e, end, u"y"), "") << "the last line after " << u8(above);
        ASSERT_EQ(typeAt(e, end + 1, u"\n\n\tz"), "") << u8(above);
        ASSERT_EQ(typeAt(e, end + 3, u"w"), "") << u8(above);
        ASSERT_EQ(eraseAt(e, end + 2, 2), "") << u8(above);
    }
}

// Lines typed into a block that read otherwise far away: a delimiter row turns
// the piped lines after it into table rows, on past the block's end; a definition
// over a blank line ends the block and gives a link far above its meaning; a line
// the list scanner reads as an item gives the lines after it the item's indents.
TEST(CodeBlockRestyle, IndentedBlockLinesThatReadOtherwiseFarAway)
{
    U16String block;
    for (int i = 0; i < 80; ++i)
        block += i % 7 == 3 ? u"\n" : i % 2 ? u"      a deeper line\n" : u"    a line of code\n";
    const U16String text = u"Intro with [ref].\n\n" + block + u"    | h |\n    -x\n    | c |\n| b |\nafter\n";
    differential::Editor e(text);
    const int row = int(text.find(u"    -x")) + 5;
    ASSERT_EQ(eraseAt(e, row, 1), "");
    ASSERT_EQ(typeAt(e, row, u"|"), "") << "a delimiter row";
    ASSERT_EQ(eraseAt(e, row, 1), "") << "and taken away";
    const int blankLine = int(text.find(u"\n\n    a line", text.size() / 2)) + 1;
    ASSERT_EQ(typeAt(e, blankLine, u"[ref]: /x\n"), "") << "a definition";
    ASSERT_EQ(eraseAt(e, blankLine, 10), "");
    const int line = int(e.view().string().find(u"    a line", text.size() / 2)) + 4;
    ASSERT_EQ(typeAt(e, line, u"- "), "") << "an item to the list scanner";
    ASSERT_EQ(typeAt(e, line + 40, u"x"), "");
    ASSERT_EQ(eraseAt(e, line, 2), "");
}

// A fence nobody closed runs to the end of the text: edits at its last line too.
TEST(CodeBlockRestyle, EditsInAFenceThatRunsToTheEndStayAsIfRestyledFromScratch)
{
    unsigned seed = 720;
    for (const U16String language : {u"", u"python"}) {
        const U16String text = u"# Log\n\n~~~~" + language + u"\n" + codeLines(150);
        differential::Editor e(text);
        std::mt19937 rng(seed++);
        EXPECT_EQ(editInside(e, rng, 50, 8, int(text.size()), typedInCode()), "") << u8(language);
    }
}

// Blocks in list items (their lines take the item's indents) and in quotations
// (their lines keep the quote's), next to plain ones.
TEST(CodeBlockRestyle, BlocksInItemsAndQuotationsStayAsIfRestyledFromScratch)
{
    const U16String text = u"- an item\n\n  ```\n" + codeLines(40, u"  ") + u"  ```\n\n- next item\n\n"
        + u"> [!NOTE]\n> ```js\n> let a = 1\n> /* more\n> */\n" + codeLines(20) + u"> ```\n\n"
        + u"1. first\n   ```\n" + codeLines(30, u"   ") + u"   ```\n2. second\n\n```\n" + codeLines(40) + u"```\n";
    std::mt19937 rng(740);
    differential::Editor e(text);
    EXPECT_EQ(editInside(e, rng, 120, 0, int(text.size()), typedInCode()), "");
}

// A body line turned into a fence closes the block there, and one taken back
// opens it again; so does the closing fence's indentation, and a fence's info string.
TEST(CodeBlockRestyle, ClosingAndReopeningABlockFromInsideIt)
{
    const U16String body = codeLines(120);
    const U16String text = u"Before.\n\n```c\n" + body + u"```\n\nAfter *it*.\n";
    differential::Editor e(text);
    const int middle = int(text.find(u"EOF\n", text.size() / 2));
    ASSERT_EQ(typeAt(e, middle, u"``\n"), "");
    ASSERT_EQ(typeAt(e, middle + 2, u"`"), "") << "a body line made a fence";
    ASSERT_EQ(typeAt(e, middle + 6, u"x"), "") << "typing below it";
    ASSERT_EQ(eraseAt(e, middle, 1), "") << "the fence unmade";
    ASSERT_EQ(typeAt(e, middle + 6, u"y"), "");
    ASSERT_EQ(typeAt(e, middle, u"~"), "") << "a tilde before it";
    ASSERT_EQ(eraseAt(e, middle, 3), "");
    const int closer = int(e.view().string().rfind(u"```\n\nAfter"));
    ASSERT_EQ(typeAt(e, closer, u"    "), "") << "the closing fence indented";
    ASSERT_EQ(typeAt(e, closer - 1, u"z"), "") << "the last line before it";
    ASSERT_EQ(eraseAt(e, closer, 4), "") << "the closing fence back in place";
    ASSERT_EQ(typeAt(e, closer - 1, u"w"), "");
    const int opener = int(e.view().string().find(u"```c"));
    ASSERT_EQ(eraseAt(e, opener + 4, 1), "") << "the language taken away";
    ASSERT_EQ(typeAt(e, opener + 10, u"/*"), "");
    ASSERT_EQ(typeAt(e, opener + 3, u"python"), "") << "another language";
    ASSERT_EQ(typeAt(e, opener + 12, u"\"\"\""), "");
    ASSERT_EQ(typeAt(e, opener + 11, u"\n"), "") << "the block's first line";
}

// Tokens that go on over line feeds: a comment opened and taken away far above
// its end, and a character literal whose escaped unit is the line feed.
TEST(CodeBlockRestyle, TokensGoingOnOverLineFeedsAreFollowedToWhereTheyStop)
{
    const U16String filler = codeLines(16).substr(0, 120) + u"\n";
    const U16String text = u"```c\n" + filler + u"int a; /* open\n" + codeLines(60).substr(400) + u"end */ int b;\n"
        + filler + u"c = '\\\nx;\n" + filler + u"```\n";
    differential::Editor e(text);
    const int open = int(text.find(u"/* open"));
    ASSERT_EQ(eraseAt(e, open, 2), "") << "the comment's opener taken away";
    ASSERT_EQ(typeAt(e, open, u"/*"), "") << "and typed again";
    ASSERT_EQ(typeAt(e, open + 7, u" */"), "") << "closed on its own line";
    ASSERT_EQ(eraseAt(e, open + 7, 3), "");
    const int literal = int(e.view().string().find(u"c = '\\\n")) + 7;
    ASSERT_EQ(eraseAt(e, literal, 1), "");
    ASSERT_EQ(typeAt(e, literal, u"'"), "") << "a literal closed on the next line";
    ASSERT_EQ(eraseAt(e, literal, 1), "");
    ASSERT_EQ(typeAt(e, literal, u"x"), "");
}

// Edits just above a long block and just below it restyle neither the block
// nor what follows it, except where those read otherwise for them: a list item
// the block or the text after it goes on, indented code after it.
TEST(CodeBlockRestyle, EditsNextToALongBlockStayAsIfRestyledFromScratch)
{
    const U16String text = u"Intro *open\n\n```\n" + codeLines(80) + u"```\n\n    indented after\n\nclosed* here\n\n"
        + u"- item\n```c\n" + codeLines(60) + u"```\n    indented\ntext\n| a | b |\n| - | - |\n\n"
        + u"- item\n  ```\n" + codeLines(40, u"  ") + u"  ```\nafter the item's block\n\n"
        + u"> [!NOTE]\n> ```\n" + codeLines(30) + u"> ```\n> more\nHeading\n===\n";
    differential::Editor e(text);
    std::vector<int> fences;
    for (size_t at = text.find(u"```"); at != U16String::npos; at = text.find(u"```", text.find(u'\n', at)))
        fences.push_back(int(at));
    std::mt19937 rng(760);
    const std::vector<U16String> typed{u"x",   u" ",   u"\n",   u"\n\n", u"- ",  u"* ",  u"1. ", u"    ", u"  ",
                                       u"*",   u"_",   u"`",    u"> ",   u"#",   u"===\n", u"| c |", u"[^1]: n\n",
                                       u"[ref]: https://x.y\n", u"> [!TIP]\n", u"~~"};
    for (int i = 0; i < 150; ++i) {
        const int n = e.storage().length();
        const int fence = fences[rng() % fences.size()] + int(rng() % 240) - 120;
        const int at = std::clamp(fence + (n - int(text.size())), 0, n);
        std::string done;
        if (rng() % 3 == 0 && at > 0) {
            const int length = std::min(at, int(rng() % 3) + 1);
            done = eraseAt(e, at - length, length);
        } else {
            done = typeAt(e, at, typed[rng() % typed.size()]);
        }
        ASSERT_EQ(done, "") << "edit " << i << " at " << at;
    }
}

// The line above a block that a list item's indented code after the block hangs
// on, and the line after a block in a list item, which the item goes on over.
TEST(CodeBlockRestyle, ListItemsReachingOverABlock)
{
    const U16String text = u"Intro.\n\n- item\n```\n" + codeLines(40) + u"```\n\n    indented\n\n"
        + u"- other\n  ```\n" + codeLines(40, u"  ") + u"  ```\ngoes on\n";
    differential::Editor e(text);
    const int item = int(text.find(u"- item"));
    ASSERT_EQ(eraseAt(e, item, 2), "") << "the item made plain";
    ASSERT_EQ(typeAt(e, item, u"- "), "") << "and an item again";
    const int after = int(e.view().string().find(u"goes on"));
    ASSERT_EQ(typeAt(e, after, u"x"), "") << "the line the item goes on to";
    ASSERT_EQ(typeAt(e, after, u"\n"), "");
    const int other = int(e.view().string().find(u"- other"));
    ASSERT_EQ(eraseAt(e, other, 2), "") << "the item over an indented block made plain";
    ASSERT_EQ(typeAt(e, other, u"- "), "");
}

// A fence taken away or typed above blocks turns every fence below around.
TEST(CodeBlockRestyle, AFenceChangedAboveOtherBlocks)
{
    const U16String text = u"Intro.\n\n```\nfirst\n```\n\ntext\n\n```\n" + codeLines(40) + u"```\n\nend *x*\n";
    differential::Editor e(text);
    const int opener = int(text.find(u"```"));
    ASSERT_EQ(eraseAt(e, opener, 4), "") << "the first opening fence taken away";
    ASSERT_EQ(typeAt(e, opener, u"```\n"), "") << "and typed again";
    ASSERT_EQ(typeAt(e, opener, u"~~~\n"), "") << "a fence of tildes above it";
}

// Fences that end with their list item or quotation: the fence typed and taken
// away, a body line's indentation or quote leader, the line after the block
// indented into it, and closing fences typed at and left of the item's text.
TEST(CodeBlockRestyle, FencesThatEndWithTheirItemOrQuotation)
{
    U16String quoted;
    const U16String lines = codeLines(30);
    for (const U16View line : splitAt(lines, u'\n'))
        quoted += u"> " + U16String(line) + u"\n";
    const U16String text = u"Intro *a\nword*.\n\n- ```js\n" + codeLines(40, u"  ") + u"after the item\n\n# Heading\n\n"
        + u"1. step\n   ```\n" + codeLines(40, u"   ") + u"  two spaces\n2. next\n\n> ```\n" + quoted
        + u"\nafter the quote\n\n```\n" + codeLines(30) + u"```\n\nEnd *x*.\n";
    differential::Editor e(text);
    auto at = [&](U16View needle) { return int(e.view().string().find(needle)); };
    ASSERT_EQ(eraseAt(e, at(u"```js"), 5), "") << "the item's fence taken away";
    ASSERT_EQ(typeAt(e, at(u"- \n") + 2, u"```js"), "") << "and typed again";
    const int body = at(u"  int main");
    ASSERT_EQ(eraseAt(e, body, 2), "") << "a body line left of the item's text";
    ASSERT_EQ(typeAt(e, body, u"x"), "");
    ASSERT_EQ(typeAt(e, body, u"  "), "") << "and back under it";
    ASSERT_EQ(typeAt(e, body + 6, u"z"), "") << "typed in the body";
    ASSERT_EQ(typeAt(e, body + 6, u"\n"), "") << "a line of the body split";
    ASSERT_EQ(typeAt(e, at(u"after the item"), u"  "), "") << "the line after the block taken in";
    ASSERT_EQ(eraseAt(e, at(u"  after the item"), 2), "");
    ASSERT_EQ(typeAt(e, at(u"after the item"), u"  ```\n"), "") << "a closing fence under the item";
    ASSERT_EQ(eraseAt(e, at(u"  ```\nafter"), 6), "");
    ASSERT_EQ(typeAt(e, at(u"after the item"), u"```\n"), "") << "a closing fence left of the item's text";
    ASSERT_EQ(eraseAt(e, at(u"```\nafter"), 4), "");
    ASSERT_EQ(eraseAt(e, at(u"- ```js"), 2), "") << "the item's bullet taken away";
    ASSERT_EQ(typeAt(e, at(u"```js"), u"- "), "");
    ASSERT_EQ(eraseAt(e, at(u"1. step"), 3), "") << "the item an indented fence stands under taken away";
    ASSERT_EQ(typeAt(e, at(u"step\n"), u"1. "), "");
    ASSERT_EQ(typeAt(e, at(u"  two spaces"), u"x"), "") << "a line left of the fence, in the item";
    ASSERT_EQ(eraseAt(e, at(u"  two spaces"), 2), "");
    const int line = at(u"> int main");
    ASSERT_EQ(eraseAt(e, line, 2), "") << "a quote leader taken away";
    ASSERT_EQ(typeAt(e, line, u"> "), "");
    ASSERT_EQ(typeAt(e, line + 4, u"q"), "") << "typed in the quotation's block";
    ASSERT_EQ(typeAt(e, at(u"\nafter the quote") + 1, u"> "), "") << "the line after it quoted";
    ASSERT_EQ(eraseAt(e, at(u"> after the quote"), 2), "");
}

// Random edits in and around such blocks, with the pieces that open, close,
// indent and quote.
TEST(CodeBlockRestyle, RandomEditsAroundFencesInItemsAndQuotations)
{
    const U16String text = u"- a\n- ```\n" + codeLines(20, u"  ") + u"after\n\n- b\n\n  ~~~\n" + codeLines(20, u"  ")
        + u"\n> - ```\n>   x\n> y\nz\n\n```\n" + codeLines(20) + u"```\n";
    std::mt19937 rng(780);
    differential::Editor e(text);
    EXPECT_EQ(editInside(e, rng, 150, 0, int(text.size()), typedInCode()), "");
}

// Blocks under items in quotations, which end with the item, and the lines after
// an item's block, which no item goes on over: the item's bullet taken away and
// typed again, a body line moved left of the item's text, a line after a block
// indented into the item and back.
TEST(CodeBlockRestyle, BlocksUnderItemsInQuotationsAndTheLinesAfterItemBlocks)
{
    U16String quoted;
    const U16String lines = codeLines(30, u"  ");
    for (const U16View line : splitAt(lines, u'\n'))
        quoted += u"> " + U16String(line) + u"\n";
    const U16String text = u"Intro *a\nword*.\n\n> - item\n>   ```c\n" + quoted + u"> after the item\n> more\n\n- a\n  ```\n"
        + codeLines(30, u"  ") + u"  ```\nafter the list\n\n- b\n  ~~~\n" + codeLines(20, u"  ") + u"  ~~~\n and after\n\nEnd *x*.\n";
    differential::Editor e(text);
    auto at = [&](U16View needle) { return int(e.view().string().find(needle)); };
    ASSERT_EQ(eraseAt(e, at(u"- item"), 2), "") << "the item in the quotation made text";
    ASSERT_EQ(typeAt(e, at(u"> item") + 2, u"- "), "") << "and an item again";
    const int body = at(u">   int main") + 2;
    ASSERT_EQ(eraseAt(e, body, 2), "") << "a body line left of the item's text";
    ASSERT_EQ(typeAt(e, body, u"  "), "") << "and back under it";
    ASSERT_EQ(typeAt(e, at(u"> after the item"), u"x"), "");
    ASSERT_EQ(eraseAt(e, at(u"> after the item"), 2), "") << "the line after the block unquoted";
    ASSERT_EQ(typeAt(e, at(u"after the item"), u">   "), "") << "and taken into the block";
    ASSERT_EQ(eraseAt(e, at(u">   after the item"), 4), "");
    ASSERT_EQ(typeAt(e, at(u"after the list"), u"  "), "") << "the line after an item's block indented into it";
    ASSERT_EQ(typeAt(e, at(u"after the list") + 3, u"x"), "");
    ASSERT_EQ(eraseAt(e, at(u"  after the list"), 2), "");
    ASSERT_EQ(typeAt(e, at(u"after the list"), u"y"), "");
    ASSERT_EQ(eraseAt(e, at(u" and after"), 1), "") << "a line indented past the list made unindented";
    ASSERT_EQ(typeAt(e, at(u"and after"), u" "), "");
    std::mt19937 rng(790);
    EXPECT_EQ(editInside(e, rng, 150, 0, e.storage().length(), typedInCode()), "");
}

// The map of blocks kept through random edits, while each says it may be, equals
// the one read afresh, and both read as the block scanner reads the text: fences
// in items and quotations, and under items in quotations.
void keepFenceMapThroughEdits(U16String text, unsigned seed)
{
    std::mt19937 random(seed);
    const std::vector<U16String> pieces{u"x", u"\n", u"  ", u" ", u"> ", u"- ", u"```\n", u"~", u"\n\n", u""};
    for (int i = 0; i < 4; ++i)
        text += text;
    std::vector<int> starts = CodeBodies::fenceLikeLines(text, 0, int(text.size()));
    FenceMap map = CodeBodies::read(text, starts);
    int kept = 0;
    for (int step = 0; step < 1500; ++step) {
        const int n = int(text.size());
        const int at = std::uniform_int_distribution<int>(0, n)(random);
        const int length = std::min(n - at, std::uniform_int_distribution<int>(0, 3)(random));
        const U16String& piece = pieces[size_t(std::uniform_int_distribution<int>(0, int(pieces.size()) - 1)(random))];
        text.replace(size_t(at), size_t(length), piece);
        const Range range{at, int(piece.size())};
        const bool touched = CodeBodies::update(starts, text, range, int(piece.size()) - length);
        const FenceMap fresh = CodeBodies::read(text, starts);
        if (!touched && CodeBodies::keep(map, text, range, int(piece.size()) - length)) {
            ++kept;
            ASSERT_EQ(map.known, fresh.known) << "after step " << step;
            ASSERT_EQ(map.blocks.size(), fresh.blocks.size()) << "after step " << step;
            for (size_t b = 0; b < map.blocks.size(); ++b)
                ASSERT_TRUE(map.blocks[b].opener == fresh.blocks[b].opener && map.blocks[b].end == fresh.blocks[b].end
                            && map.blocks[b].closed == fresh.blocks[b].closed)
                    << "block " << b << " after step " << step;
        }
        map = fresh;
        // Every line of a known block is inside a fence, the line it ended at is not.
        const std::vector<LineRange> lines = lineRanges(text);
        const std::vector<MarkdownSyntax::FenceLine> records = MarkdownSyntax::fenceLines(MarkdownSyntax::lineTexts(text, lines));
        for (const CodeBody& block : map.blocks)
            for (size_t i = 0; i < lines.size(); ++i) {
                const int start = lines[i].content.location;
                if (start >= block.opener && (start < block.end || (block.closed && start == block.end))) {
                    ASSERT_TRUE(records[i].isInside) << "line " << i << " after step " << step;
                }
                if (start == block.end && !block.closed) {
                    ASSERT_FALSE(records[i].isInside && !records[i].opens) << "line " << i << " after step " << step;
                }
            }
    }
    EXPECT_GT(kept, 500);
}

TEST(CodeBlockRestyle, TheFenceMapKeptThroughEditsEqualsTheOneReadAfresh)
{
    keepFenceMapThroughEdits(u"- ```\n  a\n  b\nc\n> ```\n> d\n\n1. e\n   ```\n   f\n```\ng\n", 13);
    keepFenceMapThroughEdits(u"> - a\n>   ```\n>   b\n> c\n>\n> 1. d\n>\n>    ~~~\n>    e\n>   f\n> > ```\n> g\n", 14);
}

} // namespace
// The states kept at line starts of a shell block, read again around random
// edits from a kept line before them to one after them with the same state,
// equal those read afresh from the block's start; the stretch read again stays
// short for most edits that open and close nothing (while nothing left open
// runs to the end).
TEST(CodeBlockRestyle, LineStatesKeptThroughEditsEqualThoseReadAfresh)
{
    std::mt19937 random(12);
    const std::vector<U16String> pieces{u"x", u"\n", u"'", u"\"", u"(", u")", u"`", u"<<EOF\n", u"EOF\n", u"${", u"}",
                                        u"for ", u"# ", u""};
    U16String text = u"```sh\n" + shellLines(600);
    const int codeStart = 6;
    CodeLineStates states;
    states.read(text, 0, u"sh", codeStart, int(text.size()));
    int plainEdits = 0;
    int shortReads = 0;
    // Replaces `length` units at `at` with `piece`, reads the lines again and
    // compares every kept state with the state read afresh; the length read again.
    auto edit = [&](int at, int length, U16View piece) {
        text.replace(size_t(at), size_t(length), piece);
        states.edited(Range{at, int(piece.size())}, int(piece.size()) - length);
        const int first = RestyleWindow::lineStart(text, at);
        const int last = RestyleWindow::nextLineStart(text, at + int(piece.size()));
        const std::optional<CodeLineStates::Reading> reading = states.reread(text, first, last, int(text.size()));
        if (!reading || reading->from > first || reading->to < last)
            return std::string("no reading over the edit");
        states.adopt(*reading, int(text.size()));
        std::map<int, CodeHighlighter::LineState> fresh{{codeStart, 0}};
        CodeHighlighter::tokensFrom(substring(text, Range::fromTo(codeStart, int(text.size()))), u"sh", 0,
                                    [&](int p, CodeHighlighter::LineState state) {
                                        fresh[codeStart + p] = state;
                                        return true;
                                    });
        for (const CodeLineStates::Entry& entry : states.entries) {
            const auto it = fresh.find(entry.at);
            if (it == fresh.end() || it->second != entry.state)
                return "the state at " + std::to_string(entry.at);
        }
        return std::to_string(reading->to - reading->from);
    };
    for (int step = 0; step < 400; ++step) {
        const int n = int(text.size());
        const int at = std::uniform_int_distribution<int>(codeStart, n)(random);
        const int length = step % 2 ? 0 : std::min(n - at, std::uniform_int_distribution<int>(0, 3)(random));
        const U16String& piece = pieces[size_t(std::uniform_int_distribution<int>(0, int(pieces.size()) - 1)(random))];
        const U16String taken = text.substr(size_t(at), size_t(length));
        const std::string made = edit(at, length, piece);
        ASSERT_TRUE(!made.empty() && std::isdigit(made[0])) << "step " << step << ": " << made;
        // Counted while no string or here-document left open runs to the end.
        const bool open = states.entries.back().at < int(text.size()) - 4096;
        if ((piece == u"x" || piece == u"\n") && !open && taken.find_first_of(u"'\"()`<${}#\\EOF") == U16String::npos) {
            ++plainEdits;
            shortReads += std::stoi(made) < 4096;
        }
        // And taken back, but one time in eight.
        if (step % 8 != 0) {
            const std::string undone = edit(at, int(piece.size()), taken);
            ASSERT_TRUE(!undone.empty() && std::isdigit(undone[0])) << "step " << step << " undone: " << undone;
        }
    }
    EXPECT_GT(shortReads, plainEdits * 4 / 5) << "of " << plainEdits;
}

// The list of fence-like lines, kept through random edits (runs made and broken
// across the edit's edges, lines joined and split, long lines), equals the list
// read from the whole text.
TEST(CodeBlockRestyle, FenceLikeLinesKeptThroughEditsEqualThoseReadAfresh)
{
    std::mt19937 random(11);
    const std::vector<U16String> pieces{u"`", u"~", u"``", u"```", u"x", u"\n", u"a`\n", u"~~\n`", u""};
    U16String text;
    for (int i = 0; i < 200; ++i)
        text += i % 17 == 0 ? u"```c\n" : u"line `` of ~~ text\n";
    std::vector<int> starts = CodeBodies::fenceLikeLines(text, 0, int(text.size()));
    for (int step = 0; step < 3000; ++step) {
        const int n = int(text.size());
        const int at = std::uniform_int_distribution<int>(0, n)(random);
        const int length = std::min(n - at, std::uniform_int_distribution<int>(0, 4)(random));
        const U16String& piece = pieces[size_t(std::uniform_int_distribution<int>(0, int(pieces.size()) - 1)(random))];
        text.replace(size_t(at), size_t(length), piece);
        CodeBodies::update(starts, text, Range{at, int(piece.size())}, int(piece.size()) - length);
        ASSERT_EQ(starts, CodeBodies::fenceLikeLines(text, 0, int(text.size()))) << "after step " << step;
    }
}

} // namespace velkin
