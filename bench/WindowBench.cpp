// A keystroke and a caret move in a real document window, as the program
// handles them: the key event reaches the editor's text view, which edits,
// writes the text back to the window's document, restyles, tracks the modified
// state, and the window paints its screen. Unlike the coordinator's own
// benchmarks this takes in everything the window does per key.
#include <benchmark/benchmark.h>

#include "LongShapes.h"
#include "OpenWindow.h"

#include "platform/text/QtString.h"

#include <QClipboard>
#include <QGuiApplication>

#include <chrono>
#include <initializer_list>
#include <utility>

namespace {

using namespace velkin;
using bench::document;
using bench::OpenWindow;

// A character typed, then deleted with Backspace, in turn; each is one keystroke.
// The text is left as it was.
void typeInTurn(benchmark::State& state, OpenWindow& open, bool newLine = false)
{
    bool insert = true;
    for (auto _ : state) {
        if (insert && newLine)
            open.press(Qt::Key_Return);
        else if (insert)
            open.press(Qt::Key_X, QStringLiteral("x"));
        else
            open.press(Qt::Key_Backspace);
        insert = !insert;
    }
    if (!insert)
        open.press(Qt::Key_Backspace);
}

void keystroke(benchmark::State& state, size_t bytes)
{
    OpenWindow open(bytes);
    typeInTurn(state, open);
    state.counters["bytes"] = double(open.window->contentView()->text().size()) * 2;
}

// A letter of a shortcode's name typed, then deleted, in turn, with the completion
// picker following, in the middle of the text.
void BM_WindowShortcodeKeystroke16MB(benchmark::State& state)
{
    OpenWindow open(16'000'000);
    open.press(Qt::Key_Space, QStringLiteral(" "));
    open.press(Qt::Key_Colon, QStringLiteral(":"));
    open.press(Qt::Key_S, QStringLiteral("s"));
    bool insert = true;
    for (auto _ : state) {
        if (insert)
            open.press(Qt::Key_M, QStringLiteral("m"));
        else
            open.press(Qt::Key_Backspace);
        insert = !insert;
    }
}
BENCHMARK(BM_WindowShortcodeKeystroke16MB)->Unit(benchmark::kMillisecond)->Iterations(50);

// Return at the end of a list item after 16 MB of text (the item continues), then its undo.
void BM_WindowReturnInAList16MB(benchmark::State& state)
{
    OpenWindow open(document(16'000'000) + u"\n\n- an item");
    const int end = int(open.window->contentView()->text().size());
    open.view->setSelectedRange({end, 0});
    open.view->scrollRangeToVisible({end, 0});
    QApplication::processEvents();
    for (auto _ : state) {
        open.press(Qt::Key_Return);
        open.view->undo();
        QApplication::processEvents();
    }
}
BENCHMARK(BM_WindowReturnInAList16MB)->Unit(benchmark::kMillisecond)->Iterations(30);

// A character typed (or Return, splitting the line), then deleted, at `fraction`
// of a text of one shape (0: after its first word, 1: at its end).
void keystrokeIn(benchmark::State& state, U16String text, double fraction, bool newLine = false)
{
    OpenWindow open(std::move(text));
    const U16String& now = open.window->contentView()->text();
    int at = int(now.size());
    if (fraction < 1) {
        const size_t space = now.find(u' ', size_t(double(now.size()) * fraction));
        at = space == U16String::npos ? int(now.size()) : int(space);
    }
    open.view->setSelectedRange({at, 0});
    open.view->scrollRangeToVisible({at, 0});
    QApplication::processEvents();
    typeInTurn(state, open, newLine);
}

void BM_WindowReturnIn(benchmark::State& state, U16String (*shape)(size_t), size_t bytes)
{
    keystrokeIn(state, shape(bytes), state.range(0) / 2.0, true);
}
BENCHMARK_CAPTURE(BM_WindowReturnIn, OneLine2MB, &bench::logOnOneLine, 2'000'000)
    ->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(30);
BENCHMARK_CAPTURE(BM_WindowReturnIn, ItemOnOneLine2MB, &bench::itemOnOneLine, 2'000'000)
    ->DenseRange(1, 2)->Unit(benchmark::kMillisecond)->Iterations(30);

void BM_WindowKeystrokeIn(benchmark::State& state, U16String (*shape)(size_t), size_t bytes)
{
    keystrokeIn(state, shape(bytes), state.range(0) / 2.0);
}
BENCHMARK_CAPTURE(BM_WindowKeystrokeIn, LogParagraph2MB, &bench::logParagraph, 2'000'000)
    ->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(30);
BENCHMARK_CAPTURE(BM_WindowKeystrokeIn, LogParagraph16MB, &bench::logParagraph, 16'000'000)
    ->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(100);
BENCHMARK_CAPTURE(BM_WindowKeystrokeIn, OneLine2MB, &bench::logOnOneLine, 2'000'000)
    ->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(30);
BENCHMARK_CAPTURE(BM_WindowKeystrokeIn, ItemOnOneLine2MB, &bench::itemOnOneLine, 2'000'000)
    ->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(30);
BENCHMARK_CAPTURE(BM_WindowKeystrokeIn, QuoteOnOneLine2MB, &bench::quoteOnOneLine, 2'000'000)
    ->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(30);
BENCHMARK_CAPTURE(BM_WindowKeystrokeIn, CellOnOneLine2MB, &bench::cellOnOneLine, 2'000'000)
    ->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(30);
BENCHMARK_CAPTURE(BM_WindowKeystrokeIn, FencedOnOneLine2MB, &bench::fencedOnOneLine, 2'000'000)
    ->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(30);
BENCHMARK_CAPTURE(BM_WindowKeystrokeIn, BulletedList2MB, &bench::bulletedList, 2'000'000)
    ->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(30);
BENCHMARK_CAPTURE(BM_WindowKeystrokeIn, ListWithContinuations2MB, &bench::listWithContinuations, 2'000'000)
    ->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(30);

// Long blocks of one kind, each with the places where a key should cost what
// it changes, not what the block it stands in holds.
U16String numbered(int count, U16View before, U16View after)
{
    U16String lines;
    for (int i = 1; i <= count; ++i)
        lines += U16String(before) + u16(std::to_string(i)) + U16String(after);
    return lines;
}
U16String footnoteRun()
{
    U16String notes;
    for (int i = 1; i <= 20'000; ++i)
        notes += u"[^n" + u16(std::to_string(i)) + u"]: note " + u16(std::to_string(i)) + u"\n";
    return notes;
}
// 20,000 link definitions in a row, with references to them under them.
U16String linkRun()
{
    return u"Intro.\n\n" + numbered(20'000, u"[r", u"]: https://example.com/x \"t\"\n")
        + u"\nText [r1] and [r10000] and [r20000].\n";
}
U16String pipeLines(U16View marker)
{
    return u"Intro.\n\n" + numbered(40'000, U16String(marker) + u"| cell ", u" | value |\n") + u"\nAfter the lines.\n";
}
U16String pipeQuote() { return pipeLines(u"> "); }
U16String pipeParagraph() { return pipeLines(u""); }
U16String longItem() { return u"- item\n" + numbered(40'000, u"  line ", u" of the item\n") + u"after\n"; }
U16String longFence() { return u"Intro.\n\n```js\n" + numbered(40'000, u"const x", u" = 1;\n") + u"```\n\nAfter.\n"; }
// That block beside a table of ten rows (above it, under it), in a loose list item, in a quotation.
U16String smallTable() { return u"| Name | Value |\n| --- | --- |\n" + numbered(10, u"| row", u" | 7 |\n"); }
U16String tableThenLongFence()
{
    return u"Intro.\n\n" + smallTable() + u"\n```js\n" + numbered(40'000, u"const x", u" = 1;\n") + u"```\n\nAfter.\n";
}
U16String longFenceThenTable() { return longFence() + u"\n" + smallTable(); }
U16String longFenceInItem()
{
    return u"- item\n\n  ```js\n" + numbered(40'000, u"  const x", u" = 1;\n") + u"  ```\n\nAfter.\n";
}
U16String longFenceInQuote()
{
    return u"Intro.\n\n> ```js\n" + numbered(40'000, u"> const x", u" = 1;\n") + u"> ```\n\nAfter.\n";
}
U16String oneLineOf(size_t bytes) { return u"Intro.\n\n" + bench::logOnOneLine(bytes) + u"\nAfter.\n"; }
U16String oneLongLine() { return oneLineOf(1'000'000); }
U16String oneShortLine() { return oneLineOf(10'000); }
U16String tableRows(U16View under)
{
    return u"# Figures\n\n| Name | Value |\n| --- | --- |\n" + numbered(40'000, u"| row", u" | 7 |\n") + U16String(under);
}
U16String tableThenFence() { return tableRows(u"```js\ncode\n```\n"); }
U16String tableThenFootnote() { return tableRows(u"[^1]: a note\n"); }
// A fenced block after an empty line, then an empty line and definitions, each with an empty line under it.
U16String tableFenceDefinitions()
{
    return tableRows(u"\n```python\nx\n```\n\n[^1]: a note\n\n[a]: /x\n\nAfter the table.\n");
}
U16String indentedCode() { return u"Intro.\n\n" + numbered(40'000, u"    code line ", u"\n") + u"\nAfter.\n"; }
U16String openFence() { return u"Intro.\n\n```js\n" + numbered(40'000, u"const x", u" = 1;\n"); }
U16String htmlBlock()
{
    return u"Intro.\n\n<div>\n" + numbered(40'000, u"text line ", u" with <b>bold</b> and <span>a span</span>\n")
        + u"</div>\n\nAfter.\n";
}
U16String detailsBlock()
{
    return u"Intro.\n\n<details>\n<summary>More</summary>\n\n" + numbered(40'000, u"detail line ", u" of it\n")
        + u"\n</details>\n\nAfter.\n";
}
U16String taskList() { return u"Intro.\n\n" + numbered(40'000, u"- [ ] task ", u"\n") + u"\nAfter.\n"; }
U16String longNote() { return u"Intro.\n\n[^a]: first\n" + numbered(40'000, u"    line ", u" of the note\n") + u"\nAfter.\n"; }
U16String codeInItem() { return u"Intro.\n\n- item\n\n" + numbered(40'000, u"      code ", u"\n") + u"\nAfter.\n"; }
U16String codeInWideItem() { return u"Intro.\n\n10. item\n\n" + numbered(40'000, u"        code ", u"\n") + u"\nAfter.\n"; }
U16String quoteInItem() { return u"Intro.\n\n- item\n" + numbered(40'000, u"  > line ", u"\n") + u"\nAfter.\n"; }
U16String shortcodeLines()
{
    return u"Intro.\n\n" + numbered(40'000, u"line ", u" :smile: #ff0000 rgb(1,2,3)\n") + u"\nAfter.\n";
}
U16String plainLines() { return u"Intro.\n\n" + numbered(40'000, u"paragraph line ", u" of text\n") + u"\nAfter.\n"; }
U16String nestedList()
{
    U16String items;
    for (int i = 0; i < 40'000;) {
        items += u"- top " + u16(std::to_string(i++)) + u"\n";
        for (int j = 0; j < 3; ++j) {
            items += u"  - mid " + u16(std::to_string(i++)) + u"\n";
            for (int k = 0; k < 3; ++k)
                items += u"    - leaf " + u16(std::to_string(i++)) + u"\n";
        }
    }
    return u"Intro.\n\n" + items + u"\nAfter.\n";
}

// A character typed and taken back in turn right after the first `caretAfter`
// (the last with `last`), or at `fraction` of the text when there is none.
void BM_WindowKeystrokeAt(benchmark::State& state, U16String (*shape)(), const char16_t* caretAfter, bool last,
                          double fraction)
{
    OpenWindow open(shape());
    // Looked for in the text as the view holds it: a table's rows, say, are shown shorter.
    const U16String now = open.view->string();
    const U16View after(caretAfter);
    int at = int(double(now.size()) * fraction);
    if (!after.empty()) {
        const size_t found = last ? now.rfind(after) : now.find(after);
        if (found == U16String::npos) {
            state.SkipWithError("no place to type");
            return;
        }
        at = int(found + after.size());
    } else {
        at = int(now.find(u' ', size_t(at)));
    }
    open.view->setSelectedRange({at, 0});
    open.view->scrollRangeToVisible({at, 0});
    QApplication::processEvents();
    // The first change writes the whole text back once; it is not timed.
    open.press(Qt::Key_X, QStringLiteral("x"));
    open.press(Qt::Key_Backspace);
    typeInTurn(state, open);
}
// Return and Backspace in turn at the end of the line that `caretAfter` ends.
void BM_WindowReturnAt(benchmark::State& state, U16String (*shape)(), const char16_t* caretAfter)
{
    OpenWindow open(shape());
    const U16String& now = open.window->contentView()->text();
    const size_t found = now.find(caretAfter);
    if (found == U16String::npos) {
        state.SkipWithError("no place to type");
        return;
    }
    const int at = int(now.find(u'\n', found));
    open.view->setSelectedRange({at, 0});
    open.view->scrollRangeToVisible({at, 0});
    QApplication::processEvents();
    open.press(Qt::Key_X, QStringLiteral("x"));
    open.press(Qt::Key_Backspace);
    bool insert = true;
    for (auto _ : state) {
        if (insert)
            open.press(Qt::Key_Return, QStringLiteral("\r"));
        else
            open.press(Qt::Key_Backspace);
        insert = !insert;
    }
}
U16String orderedList()
{
    U16String items;
    for (int i = 1; i <= 40'000; ++i)
        items += u16(std::to_string(i)) + u". item " + u16(std::to_string(i)) + u"\n";
    return u"Intro.\n\n" + items + u"\nAfter.\n";
}
U16String bulletList() { return u"Intro.\n\n" + numbered(40'000, u"- item ", u"\n") + u"\nAfter.\n"; }
// Return and Backspace in turn in the middle of a list of 40,000. In the numbered
// list the Backspace leaves a bare number on the new line, read on from the item
// above, and the next Return puts an empty line under it: every other key makes the
// whole list loose and the next tight again, so it restyles the list each time.
BENCHMARK_CAPTURE(BM_WindowReturnAt, OrderedListMiddle, &orderedList, u"item 20000\n")
    ->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK_CAPTURE(BM_WindowReturnAt, BulletListMiddle, &bulletList, u"item 20000\n")
    ->Unit(benchmark::kMillisecond)->Iterations(20);
#define KEY_IN_A_LONG_BLOCK(name, shape, caretAfter, last, fraction)                                             \
    BENCHMARK_CAPTURE(BM_WindowKeystrokeAt, name, shape, caretAfter, last, fraction)                              \
        ->Unit(benchmark::kMillisecond)->Iterations(20)
// 20,000 footnote definitions in a row, at the end of the first.
KEY_IN_A_LONG_BLOCK(FootnotesFirstLineEnd, &footnoteRun, u"note 1", false, 0);
// On the empty line above them; in a link definition's label, destination and
// title, at the top and in the middle.
KEY_IN_A_LONG_BLOCK(LinkDefinitionsAbove, &linkRun, u"Intro.\n", false, 0);
KEY_IN_A_LONG_BLOCK(LinkDefinitionLabel, &linkRun, u"[r1", false, 0);
KEY_IN_A_LONG_BLOCK(LinkDefinitionDestination, &linkRun, u"[r1]: https://example.com/", false, 0);
KEY_IN_A_LONG_BLOCK(LinkDefinitionTitleMiddle, &linkRun, u"[r10000]: https://example.com/x \"", false, 0);
// 40,000 lines of pipes without a delimiter row, quoted: the paragraph under
// them, a line in the middle, the first line's text; then the same at top level.
KEY_IN_A_LONG_BLOCK(PipeQuoteUnder, &pipeQuote, u"After", false, 0);
KEY_IN_A_LONG_BLOCK(PipeQuoteMiddle, &pipeQuote, u"cell 20000", false, 0);
KEY_IN_A_LONG_BLOCK(PipeQuoteFirst, &pipeQuote, u"> | cell", false, 0);
KEY_IN_A_LONG_BLOCK(PipeLinesUnder, &pipeParagraph, u"After", false, 0);
// On a line of its own under the paragraph after them, and at the end of the
// paragraph above them.
KEY_IN_A_LONG_BLOCK(PipeLinesEnd, &pipeParagraph, u"After the lines.\n", false, 0);
KEY_IN_A_LONG_BLOCK(PipeLinesAbove, &pipeParagraph, u"Intro.", false, 0);
// On the empty line between them and the paragraph after them, at top level and quoted.
KEY_IN_A_LONG_BLOCK(PipeLinesBlankUnder, &pipeParagraph, u"value |\n", true, 0);
KEY_IN_A_LONG_BLOCK(PipeQuoteBlankUnder, &pipeQuote, u"value |\n", true, 0);
// A list item going on over 40,000 indented lines, at the unindented line after it.
KEY_IN_A_LONG_BLOCK(LongItemAfter, &longItem, u"\nafter", false, 0);
// A fenced block of 40,000 lines, in its opening fence's info string.
KEY_IN_A_LONG_BLOCK(LongFenceInfo, &longFence, u"```js", false, 0);
// There, a letter that names another language ("jxs"), so the body takes new colours.
KEY_IN_A_LONG_BLOCK(LongFenceLanguage, &longFence, u"```j", false, 0);
// The same letter with a table above the block, with one under it, in a list item, in a quotation.
KEY_IN_A_LONG_BLOCK(TableThenLongFenceLanguage, &tableThenLongFence, u"```j", false, 0);
KEY_IN_A_LONG_BLOCK(LongFenceThenTableLanguage, &longFenceThenTable, u"```j", false, 0);
KEY_IN_A_LONG_BLOCK(LongFenceInItemLanguage, &longFenceInItem, u"```j", false, 0);
KEY_IN_A_LONG_BLOCK(LongFenceInQuoteLanguage, &longFenceInQuote, u"```j", false, 0);
// On a line of its own under the paragraph after that block.
KEY_IN_A_LONG_BLOCK(LongFenceEnd, &longFence, u"After.\n", false, 0);
// On the empty line between that block and the paragraph after it.
KEY_IN_A_LONG_BLOCK(LongFenceBlankUnder, &longFence, u"```\n", true, 0);
// One paragraph of a single 1 MB line, near its start and in its middle.
KEY_IN_A_LONG_BLOCK(OneLineStart, &oneLongLine, u"", false, 0.01);
KEY_IN_A_LONG_BLOCK(OneLineMiddle, &oneLongLine, u"", false, 0.5);
// The same in a line of 10 KB, for what a key costs where the line's length does not count.
KEY_IN_A_LONG_BLOCK(OneLine10KBMiddle, &oneShortLine, u"", false, 0.5);
// Right under a 40,000-row table: a fence's info string, a footnote definition.
KEY_IN_A_LONG_BLOCK(TableThenFenceInfo, &tableThenFence, u"```js", true, 0);
KEY_IN_A_LONG_BLOCK(TableThenFootnote, &tableThenFootnote, u"a note", true, 0);
// Under that table and a fenced block: the end of a footnote definition, of a link definition.
KEY_IN_A_LONG_BLOCK(TableFenceFootnote, &tableFenceDefinitions, u"a note", true, 0);
KEY_IN_A_LONG_BLOCK(TableFenceLinkDefinition, &tableFenceDefinitions, u"[a]: /x", true, 0);
// 40,000 lines of indented code: the paragraph above, its last line, the empty line under it.
KEY_IN_A_LONG_BLOCK(IndentedCodeAbove, &indentedCode, u"Intro.", false, 0);
KEY_IN_A_LONG_BLOCK(IndentedCodeLast, &indentedCode, u"line 40000", false, 0);
KEY_IN_A_LONG_BLOCK(IndentedCodeBlankUnder, &indentedCode, u"line 40000\n", false, 0);
// A fenced block of 40,000 lines left open to the text's end, on the empty last line.
KEY_IN_A_LONG_BLOCK(OpenFenceLastLine, &openFence, u"x40000 = 1;\n", true, 0);
// 40,000 lines in an HTML block and in a details block's paragraph: the first, the middle, the last, under it.
KEY_IN_A_LONG_BLOCK(HTMLBlockFirst, &htmlBlock, u"line 1 ", false, 0);
KEY_IN_A_LONG_BLOCK(HTMLBlockMiddle, &htmlBlock, u"line 20000 ", false, 0);
KEY_IN_A_LONG_BLOCK(HTMLBlockLast, &htmlBlock, u"line 40000 ", false, 0);
KEY_IN_A_LONG_BLOCK(HTMLBlockUnder, &htmlBlock, u"After", false, 0);
KEY_IN_A_LONG_BLOCK(DetailsFirst, &detailsBlock, u"line 1 ", false, 0);
KEY_IN_A_LONG_BLOCK(DetailsMiddle, &detailsBlock, u"line 20000 ", false, 0);
KEY_IN_A_LONG_BLOCK(DetailsLast, &detailsBlock, u"line 40000 ", false, 0);
// 40,000 task items, in a task's text.
KEY_IN_A_LONG_BLOCK(TaskListMiddle, &taskList, u"task 20000", false, 0);
KEY_IN_A_LONG_BLOCK(TaskListLast, &taskList, u"task 40000", false, 0);
// A footnote going on over 40,000 indented lines: its first line, the middle, the last.
KEY_IN_A_LONG_BLOCK(LongNoteFirst, &longNote, u"first", false, 0);
KEY_IN_A_LONG_BLOCK(LongNoteMiddle, &longNote, u"line 20000 ", false, 0);
KEY_IN_A_LONG_BLOCK(LongNoteLast, &longNote, u"line 40000 ", false, 0);
// 40,000 lines of indented code in a list item, and of a quotation in one.
KEY_IN_A_LONG_BLOCK(CodeInItemFirst, &codeInItem, u"code 1\n", false, 0);
KEY_IN_A_LONG_BLOCK(CodeInItemFirstEnd, &codeInItem, u"code 1", false, 0);
KEY_IN_A_LONG_BLOCK(CodeInItemMiddle, &codeInItem, u"code 20000", false, 0);
KEY_IN_A_LONG_BLOCK(CodeInItemLast, &codeInItem, u"code 40000", false, 0);
KEY_IN_A_LONG_BLOCK(CodeInItemUnder, &codeInItem, u"After", false, 0);
KEY_IN_A_LONG_BLOCK(CodeInWideItemMiddle, &codeInWideItem, u"code 20000", false, 0);
KEY_IN_A_LONG_BLOCK(QuoteInItemFirst, &quoteInItem, u"line 1\n", false, 0);
KEY_IN_A_LONG_BLOCK(QuoteInItemMiddle, &quoteInItem, u"line 20000", false, 0);
KEY_IN_A_LONG_BLOCK(QuoteInItemLast, &quoteInItem, u"line 40000", false, 0);
// 40,000 numbered items, in an item's text.
KEY_IN_A_LONG_BLOCK(OrderedListMiddleText, &orderedList, u"item 20000", false, 0);
// One paragraph of 40,000 lines of shortcodes and colours, and of plain lines, in the middle and at the end.
KEY_IN_A_LONG_BLOCK(ShortcodeLinesMiddle, &shortcodeLines, u"line 20000 ", false, 0);
KEY_IN_A_LONG_BLOCK(ShortcodeLinesLast, &shortcodeLines, u"line 40000 ", false, 0);
KEY_IN_A_LONG_BLOCK(PlainLinesLast, &plainLines, u"line 40000 of text", false, 0);
// Lists nested three deep, 40,000 items in all.
KEY_IN_A_LONG_BLOCK(NestedListMiddle, &nestedList, u"leaf 20002", false, 0);
KEY_IN_A_LONG_BLOCK(NestedListLast, &nestedList, u"leaf 39999", false, 0);

// The caret moved left, then right, in turn, by the arrow keys.
void caretMove(benchmark::State& state, OpenWindow& open)
{
    bool left = true;
    for (auto _ : state) {
        open.press(left ? Qt::Key_Left : Qt::Key_Right);
        left = !left;
    }
}

void BM_WindowKeystroke1MB(benchmark::State& state) { keystroke(state, 900'000); }
BENCHMARK(BM_WindowKeystroke1MB)->Unit(benchmark::kMillisecond)->Iterations(200);

void BM_WindowKeystroke16MB(benchmark::State& state) { keystroke(state, 16'000'000); }
BENCHMARK(BM_WindowKeystroke16MB)->Unit(benchmark::kMillisecond)->Iterations(100);

void caretMove(benchmark::State& state, size_t bytes)
{
    OpenWindow open(bytes);
    caretMove(state, open);
}

void BM_WindowCaretMove1MB(benchmark::State& state) { caretMove(state, 900'000); }
BENCHMARK(BM_WindowCaretMove1MB)->Unit(benchmark::kMillisecond)->Iterations(200);

void BM_WindowCaretMove16MB(benchmark::State& state) { caretMove(state, 16'000'000); }
BENCHMARK(BM_WindowCaretMove16MB)->Unit(benchmark::kMillisecond)->Iterations(100);

// The caret moved within a word in the middle of one paragraph of 4,000 shortcodes.
void BM_WindowCaretMoveAmongShortcodes(benchmark::State& state)
{
    const U16String heading = u"# Emoji\n\n";
    U16String paragraph;
    for (int i = 0; i < 4000; ++i)
        paragraph += u":smile: word ";
    paragraph.back() = u'\n';
    OpenWindow open(heading + paragraph + u"\nThe end.\n");
    // In the middle of a "word", between its "o" and "r", where Left and Right stay inside it.
    open.view->setSelectedRange({int(heading.size()) + 2000 * 13 + 10, 0});
    QApplication::processEvents();
    caretMove(state, open);
}
BENCHMARK(BM_WindowCaretMoveAmongShortcodes)->Unit(benchmark::kMillisecond)->Iterations(50);

} // namespace

// ---- Whole-window actions on a long document ----
// Each step is timed on its own (as a counter, in milliseconds, with the turn of
// the event loop that paints after it); the iteration's time is the cycle's.

namespace {

using Clock = std::chrono::steady_clock;

// The shapes of 40,000 lines the whole-window actions run on.
U16String fenceOfLines(int lines)
{
    U16String text = u"# Code\n\n```js\n";
    for (int i = 0; i < lines; ++i)
        text += u"const value" + u16(std::to_string(i)) + u" = compute(" + u16(std::to_string(i)) + u");\n";
    return text + u"```\n\nAfter the code.\n";
}

U16String listOfItems(int items)
{
    U16String text = u"# List\n\n";
    for (int i = 0; i < items; ++i)
        text += u"- item " + u16(std::to_string(i)) + u" with *some* words\n";
    return text + u"\nAfter the list.\n";
}

U16String shapeOf(int64_t shape)
{
    switch (shape) {
    case 0: return bench::longTable(40'000);
    case 1: return fenceOfLines(40'000);
    default: return listOfItems(40'000);
    }
}
const char* const shapeNames[] = {"table", "fence", "list"};

// Runs `step` and the event loop's turn after it; adds its milliseconds to `total`,
// and to `idle` those to the end of the work it left for idle time (styling and
// layout of the rest), as the window spends them.
template <class Step>
void timed(double& total, Step step, OpenWindow* open = nullptr, double* idle = nullptr)
{
    const auto start = Clock::now();
    step();
    QApplication::processEvents();
    total += std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (!open || !idle)
        return;
    MarkdownEditorCoordinator& coordinator = open->window->contentView()->editor()->coordinator();
    while (!open->view->layoutManager()->isLayoutComplete() || coordinator.unstyledFrom())
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    *idle += std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Each step's total, as milliseconds an iteration.
void report(benchmark::State& state, std::initializer_list<std::pair<const char*, double>> totals)
{
    for (const auto& [name, total] : totals)
        state.counters[name] = benchmark::Counter(total, benchmark::Counter::kAvgIterations);
}

// Zoom in, then out again (the View menu's steps), on a table, a fence and a list of 40,000 lines.
void BM_WindowZoom(benchmark::State& state)
{
    OpenWindow open(shapeOf(state.range(0)));
    state.SetLabel(shapeNames[state.range(0)]);
    ContentView* content = open.window->contentView();
    double in = 0, out = 0, inIdle = 0, outIdle = 0;
    for (auto _ : state) {
        timed(in, [&] { content->setEditorZoom(1.1); }, &open, &inIdle);
        timed(out, [&] { content->setEditorZoom(1.0); }, &open, &outIdle);
    }
    report(state, {{"in_ms", in}, {"out_ms", out}, {"in_to_idle_ms", inIdle}, {"out_to_idle_ms", outIdle}});
}
BENCHMARK(BM_WindowZoom)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(4);

// A window opened on a table, a fence and a list of 40,000 lines: until its first
// screen is drawn, and until the styling and layout of the rest are done.
void BM_WindowOpen(benchmark::State& state)
{
    const U16String text = shapeOf(state.range(0));
    state.SetLabel(shapeNames[state.range(0)]);
    bench::keepSettingsAside();
    double shown = 0, idle = 0;
    for (auto _ : state) {
        DocumentWindow* window = nullptr;
        const auto start = Clock::now();
        window = new DocumentWindow(MarkdownDocument{text}, std::nullopt);
        window->show();
        QApplication::processEvents();
        shown += std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        MarkdownTextView* view = window->contentView()->textView();
        const MarkdownEditorCoordinator& coordinator = window->contentView()->editor()->coordinator();
        while (!view->layoutManager()->isLayoutComplete() || coordinator.unstyledFrom())
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        idle += std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        window->hide();
        delete window;
        QApplication::processEvents();
    }
    report(state, {{"shown_ms", shown}, {"to_idle_ms", idle}});
}
BENCHMARK(BM_WindowOpen)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(2);

// The window made narrower, then wider again, on the 40,000-row table.
void BM_WindowResize(benchmark::State& state)
{
    OpenWindow open(shapeOf(0));
    const QSize size = open.window->size();
    double narrower = 0, wider = 0, narrowerIdle = 0, widerIdle = 0;
    for (auto _ : state) {
        timed(narrower, [&] { open.window->resize(size.width() - 40, size.height()); }, &open, &narrowerIdle);
        timed(wider, [&] { open.window->resize(size); }, &open, &widerIdle);
    }
    report(state, {{"narrower_ms", narrower}, {"wider_ms", wider}, {"narrower_to_idle_ms", narrowerIdle},
                   {"wider_to_idle_ms", widerIdle}});
}
BENCHMARK(BM_WindowResize)->Unit(benchmark::kMillisecond)->Iterations(6);

// Select All, then Ctrl+Home; Select All, Delete, then Undo, on the 40,000-row table.
void BM_WindowSelectAllDeleteUndo(benchmark::State& state)
{
    // Opening the same text, styled and laid out to idle, for the undo that puts it all back to compare with.
    const auto opening = Clock::now();
    OpenWindow open(shapeOf(0));
    state.counters["open_to_idle_ms"] = std::chrono::duration<double, std::milli>(Clock::now() - opening).count();
    double select = 0, home = 0, erase = 0, undo = 0, undoIdle = 0;
    for (auto _ : state) {
        timed(select, [&] { open.press(Qt::Key_A, QString(), Qt::ControlModifier); });
        timed(home, [&] { open.press(Qt::Key_Home, QString(), Qt::ControlModifier); });
        open.press(Qt::Key_A, QString(), Qt::ControlModifier);
        timed(erase, [&] { open.press(Qt::Key_Delete); });
        timed(undo, [&] { open.view->undo(); }, &open, &undoIdle);
    }
    report(state, {{"selectAll_ms", select}, {"home_ms", home}, {"delete_ms", erase}, {"undo_ms", undo},
                   {"undo_to_idle_ms", undoIdle}});
}
BENCHMARK(BM_WindowSelectAllDeleteUndo)->Unit(benchmark::kMillisecond)->Iterations(3);

// On the 40,000-row table: Select All and Cut, then Undo; another table of as many rows
// pasted over everything, its Undo and Redo, then Undo again and a letter typed.
void BM_WindowSelectAllCutPasteUndo(benchmark::State& state)
{
    OpenWindow open(shapeOf(0));
    const QString other = toQString(bench::longTable(40'000, u"# Other figures\n\n"));
    double cut = 0, cutUndo = 0, paste = 0, pasteUndo = 0, redo = 0, key = 0;
    for (auto _ : state) {
        open.press(Qt::Key_A, QString(), Qt::ControlModifier);
        timed(cut, [&] { open.view->cut(); });
        timed(cutUndo, [&] { open.view->undo(); });
        QGuiApplication::clipboard()->setText(other);
        open.press(Qt::Key_A, QString(), Qt::ControlModifier);
        timed(paste, [&] { open.view->paste(); });
        timed(pasteUndo, [&] { open.view->undo(); });
        timed(redo, [&] { open.view->redo(); });
        open.view->undo();
        QApplication::processEvents();
        open.press(Qt::Key_End, QString(), Qt::ControlModifier);
        timed(key, [&] { open.press(Qt::Key_X, QStringLiteral("x")); });
        open.press(Qt::Key_Backspace);
    }
    report(state, {{"cut_ms", cut}, {"cut_undo_ms", cutUndo}, {"paste_ms", paste}, {"paste_undo_ms", pasteUndo},
                   {"redo_ms", redo}, {"key_after_ms", key}});
}
BENCHMARK(BM_WindowSelectAllCutPasteUndo)->Unit(benchmark::kMillisecond)->Iterations(3);

// Replace All, there and back, on the 40,000-row table: a word of every row; two
// matches, above the table and under it.
void BM_WindowReplaceAll(benchmark::State& state)
{
    OpenWindow open(shapeOf(0));
    open.view->performFindAction(int(FindAction::showFindInterface));
    QApplication::processEvents();
    const bool everyRow = state.range(0) == 0;
    const U16String word = everyRow ? u"words" : u".", other = everyRow ? u"terms" : u"!";
    double there = 0, back = 0;
    int replaced = 0;
    for (auto _ : state) {
        timed(there, [&] {
            open.view->setFindString(word);
            replaced = open.view->replaceAllMatches(other);
        });
        timed(back, [&] {
            open.view->setFindString(other);
            open.view->replaceAllMatches(word);
        });
    }
    report(state, {{"there_ms", there}, {"back_ms", back}});
    state.counters["matches"] = replaced;
}
BENCHMARK(BM_WindowReplaceAll)->DenseRange(0, 1)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
