// One keystroke in a 1 MB document through the editor's whole cycle: the
// character goes in, the text is written back to the document, the storage is
// restyled with its collapses, laid out again and one screen is drawn. The
// parts are measured alone as well, to show where the time goes.
#include "document/ImageCache.h"
#include "editor/MarkdownEditor.h"
#include "editor/MarkdownTextView.h"
#include "markdown/TableGrid.h"
#include "platform/text/Utf.h"

#include "LongShapes.h"

#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <sstream>

namespace {

using namespace velkin;

const U16String& changelog()
{
    static const U16String text = [] {
        std::ifstream in("/usr/share/doc/nodejs/changelogs/CHANGELOG_V12.md", std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return u16(s.str());
    }();
    return text;
}

// The changelog cut to about `size` units at a line end, or repeated up to it.
U16String changelogOfSize(size_t size)
{
    const U16String& whole = changelog();
    if (whole.empty())
        return {};
    U16String text;
    while (text.size() + whole.size() <= size)
        text += whole;
    if (text.size() < size) {
        const size_t cut = whole.find(u'\n', size - text.size());
        text += whole.substr(0, cut == U16String::npos ? whole.size() : cut + 1);
    }
    return text;
}

// Constructs put in the middle of a document, each with a place to type in it.
const U16String constructs = u"\n\n```js\nconst answer = 42;\n```\n\n| Name | Value |\n| --- | --- |\n"
                             u"| tablecell | 1 |\n\n- first item\n- second item\n\n";

// The document with the constructs in its middle.
U16String withConstructs(U16View text)
{
    U16String out(text);
    const size_t middle = out.find(u'\n', out.size() / 2);
    out.insert(middle == U16String::npos ? out.size() : middle, constructs);
    return out;
}

int caretAt(U16View text, double fraction);

// A window-sized editor over the changelog, restyled and laid out, the caret
// mid-document or just after `caretAfter`.
struct Session {
    std::shared_ptr<U16String> document = std::make_shared<U16String>(changelog());
    std::unique_ptr<MarkdownEditorView> host;
    QImage screen{900, 800, QImage::Format_ARGB32_Premultiplied};

    explicit Session(U16View text = changelog(), U16View caretAfter = {}) : Session(text, caretAfter, -1) {}
    // The caret at `fraction` of the text (0: after its first word, 1: at its end).
    Session(U16View text, double fraction) : Session(text, {}, fraction) {}
    Session(U16View text, U16View caretAfter, double fraction)
    {
        *document = U16String(text);
        auto doc = document;
        // Bound as a document window binds its text: changes are written back in place.
        host = std::make_unique<MarkdownEditorView>(MarkdownEditor{
            {[doc] { return *doc; }, [doc](const U16String& t) { *doc = t; },
             [doc](Range r, U16View t) { doc->replace(size_t(r.location), size_t(r.length), t); }},
            1.0, MarkdownFontFamily::sansSerif});
        view().resize(screen.size());
        int middle = int(view().string().find(u'\n', view().string().size() / 2));
        if (!caretAfter.empty())
            middle = int(view().string().find(caretAfter)) + int(caretAfter.size());
        if (fraction >= 0)
            middle = caretAt(view().string(), fraction);
        view().setSelectedRange({middle, 0});
        host->coordinator().restyle(view());
        view().layoutDocument();
        view().scrollRangeToVisible(view().selectedRange());
        draw();
    }
    MarkdownTextView& view() const { return *host->textView(); }
    void draw()
    {
        QPainter painter(&screen);
        const QRectF visible = view().visibleContainerRect();
        view().drawContents(painter, visible, -visible.topLeft(), true);
    }
};

// A place to type at `fraction` of a text: after a word there, or at its end.
int caretAt(U16View text, double fraction)
{
    if (fraction >= 1)
        return int(text.size());
    const size_t space = text.find(u' ', size_t(double(text.size()) * fraction));
    return space == U16View::npos ? int(text.size()) : int(space);
}

// Typing and deleting in turn keeps the document the same size.
void keystroke(Session& s, bool& inserting)
{
    if (inserting)
        s.view().insertText(u"x");
    else
        s.view().doCommand(TextCommand{TextCommand::deleteBackward, false});
    inserting = !inserting;
}

// The nodejs documentation is a Debian package of its own; without it there is nothing to measure.
bool skipWithoutChangelog(benchmark::State& state)
{
    if (!changelog().empty())
        return false;
    state.SkipWithError("/usr/share/doc/nodejs/changelogs/CHANGELOG_V12.md is not installed (package nodejs-doc)");
    return true;
}

// Keystrokes in turn, each with the relayout and one screen drawn after it.
void typeInTurn(benchmark::State& state, Session& s)
{
    bool inserting = true;
    for (auto _ : state) {
        keystroke(s, inserting);
        s.view().layoutDocument();
        s.draw();
        benchmark::DoNotOptimize(s.document->size());
    }
}

void wholeCycle(benchmark::State& state, U16View text, U16View caretAfter = {})
{
    if (skipWithoutChangelog(state))
        return;
    Session s(text, caretAfter);
    typeInTurn(state, s);
}

void BM_KeystrokeWholeCycle1MB(benchmark::State& state) { wholeCycle(state, changelog()); }
BENCHMARK(BM_KeystrokeWholeCycle1MB)->Unit(benchmark::kMillisecond);

void BM_KeystrokeWholeCycle100KB(benchmark::State& state) { wholeCycle(state, changelogOfSize(100'000)); }
BENCHMARK(BM_KeystrokeWholeCycle100KB)->Unit(benchmark::kMillisecond);

void BM_KeystrokeWholeCycle4MB(benchmark::State& state) { wholeCycle(state, changelogOfSize(4'000'000)); }
BENCHMARK(BM_KeystrokeWholeCycle4MB)->Unit(benchmark::kMillisecond);

// A character typed in a code block, a grid cell and a list item, at three sizes
// (0 bytes: the whole changelog, about 1 MB).
void BM_KeystrokeIn(benchmark::State& state, size_t bytes, const char16_t* caretAfter)
{
    wholeCycle(state, withConstructs(bytes ? changelogOfSize(bytes) : changelog()), caretAfter);
}
BENCHMARK_CAPTURE(BM_KeystrokeIn, CodeBlock1MB, 0, u"const answer")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_KeystrokeIn, TableCell1MB, 0, u"tablecell")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_KeystrokeIn, ListItem1MB, 0, u"- first")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_KeystrokeIn, CodeBlock100KB, 100'000, u"const answer")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_KeystrokeIn, TableCell100KB, 100'000, u"tablecell")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_KeystrokeIn, ListItem100KB, 100'000, u"- first")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_KeystrokeIn, CodeBlock4MB, 4'000'000, u"const answer")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_KeystrokeIn, TableCell4MB, 4'000'000, u"tablecell")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_KeystrokeIn, ListItem4MB, 4'000'000, u"- first")->Unit(benchmark::kMillisecond);

// A character typed in a long fenced block in a list item and in a quotation,
// mid-document: a fence that ends with its container, whose lines the editor
// watches for leaving it.
U16String withContainedBlock(U16View opener, U16View indent)
{
    U16String block = u"\n\n";
    block += opener;
    block += u"\n";
    for (int i = 0; i < 300; ++i) {
        block += indent;
        block += i == 150 ? u"const contained = 42; // the line typed in" : u"let value = compute(i, \"text\"); // more";
        block += u"\n";
    }
    block += indent;
    block += u"```\nafter the block\n\n";
    U16String out(changelog());
    const size_t middle = out.find(u'\n', out.size() / 2);
    out.insert(middle == U16String::npos ? out.size() : middle, block);
    return out;
}

void BM_KeystrokeInContainedFence(benchmark::State& state, const char16_t* opener, const char16_t* indent)
{
    if (skipWithoutChangelog(state))
        return;
    wholeCycle(state, withContainedBlock(opener, indent), u"const contained");
}
BENCHMARK_CAPTURE(BM_KeystrokeInContainedFence, ListItem1MB, u"- ```js", u"  ")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_KeystrokeInContainedFence, Quotation1MB, u"> ```js", u"> ")->Unit(benchmark::kMillisecond);
// Indented under an item in a quotation: the editor cannot tell the item's text
// column from the block's lines, which keep to the block's own indent.
BENCHMARK_CAPTURE(BM_KeystrokeInContainedFence, ItemInQuotation1MB, u"> - a step\n>   ```js", u">   ")
    ->Unit(benchmark::kMillisecond);

// A fence opened and closed in turn mid-document: everything after it changes.
// Compare with BM_EditorRestyleAlone1MB.
void BM_KeystrokeFenceToggle1MB(benchmark::State& state)
{
    if (skipWithoutChangelog(state))
        return;
    Session s;
    const int at = int(s.view().string().find(u'\n', s.view().string().size() / 2)) + 1;
    bool opening = true;
    for (auto _ : state) {
        if (opening) {
            s.view().setSelectedRange({at, 0});
            s.view().insertText(u"```\n");
        } else {
            s.view().setSelectedRange({at, 4});
            s.view().doCommand(TextCommand{TextCommand::deleteBackward, false});
        }
        opening = !opening;
        s.view().layoutDocument();
        s.draw();
    }
}
BENCHMARK(BM_KeystrokeFenceToggle1MB)->Unit(benchmark::kMillisecond);

// The fence toggle's restyle alone, without the relayout and drawing after it.
void BM_FenceToggleRestyle1MB(benchmark::State& state)
{
    if (skipWithoutChangelog(state))
        return;
    Session s;
    TextStorage& storage = *s.view().textStorage();
    const int at = int(storage.string().find(u'\n', storage.string().size() / 2)) + 1;
    bool opening = true;
    for (auto _ : state) {
        if (opening)
            storage.replaceCharacters({at, 0}, u"```\n");
        else
            storage.deleteCharacters({at, 4});
        opening = !opening;
        s.host->coordinator().restyleChanges(s.view());
    }
}
BENCHMARK(BM_FenceToggleRestyle1MB)->Unit(benchmark::kMillisecond);

// The same in a document with a table grid, which must be written back as Markdown.
void BM_KeystrokeWholeCycleWithGrid1MB(benchmark::State& state)
{
    if (skipWithoutChangelog(state))
        return;
    Session s(u"| A | B |\n| --- | --- |\n| 1 | 2 |\n\n" + changelog());
    bool inserting = true;
    for (auto _ : state) {
        keystroke(s, inserting);
        s.view().layoutDocument();
        s.draw();
        benchmark::DoNotOptimize(s.document->size());
    }
}
BENCHMARK(BM_KeystrokeWholeCycleWithGrid1MB)->Unit(benchmark::kMillisecond);

// Texts of one shape throughout, where no blank line parts the text into short
// paragraphs: a pasted log (one paragraph of many lines), the same log on one
// line, and a bulleted list. The caret at their start, middle and end.
void longShape(benchmark::State& state, U16String text, double fraction)
{
    Session s(text, fraction);
    typeInTurn(state, s);
}

void BM_KeystrokeInLogParagraph2MB(benchmark::State& state) { longShape(state, bench::logParagraph(2'000'000), state.range(0) / 2.0); }
BENCHMARK(BM_KeystrokeInLogParagraph2MB)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_KeystrokeInLogParagraph16MB(benchmark::State& state) { longShape(state, bench::logParagraph(16'000'000), state.range(0) / 2.0); }
BENCHMARK(BM_KeystrokeInLogParagraph16MB)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(100);

void BM_KeystrokeInOneLine2MB(benchmark::State& state) { longShape(state, bench::logOnOneLine(2'000'000), state.range(0) / 2.0); }
BENCHMARK(BM_KeystrokeInOneLine2MB)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_KeystrokeInLineWithoutBlanks2MB(benchmark::State& state)
{
    longShape(state, bench::lineWithoutBlanks(2'000'000), state.range(0) / 2.0);
}
BENCHMARK(BM_KeystrokeInLineWithoutBlanks2MB)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_KeystrokeInMinifiedJSONLine2MB(benchmark::State& state)
{
    longShape(state, bench::minifiedJSONLine(2'000'000), state.range(0) / 2.0);
}
BENCHMARK(BM_KeystrokeInMinifiedJSONLine2MB)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_KeystrokeInLineWithALoneBacktick2MB(benchmark::State& state)
{
    longShape(state, bench::lineWithALoneBacktick(2'000'000), state.range(0) / 2.0);
}
BENCHMARK(BM_KeystrokeInLineWithALoneBacktick2MB)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_KeystrokeInLineWithAnUnclosedBacktickRun2MB(benchmark::State& state)
{
    longShape(state, bench::lineWithAnUnclosedBacktickRun(2'000'000), state.range(0) / 2.0);
}
BENCHMARK(BM_KeystrokeInLineWithAnUnclosedBacktickRun2MB)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_KeystrokeInBulletedList2MB(benchmark::State& state) { longShape(state, bench::bulletedList(2'000'000), state.range(0) / 2.0); }
BENCHMARK(BM_KeystrokeInBulletedList2MB)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_KeystrokeInListWithContinuations2MB(benchmark::State& state)
{
    longShape(state, bench::listWithContinuations(2'000'000), state.range(0) / 2.0);
}
BENCHMARK(BM_KeystrokeInListWithContinuations2MB)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_KeystrokeInItemContinuedByALog2MB(benchmark::State& state)
{
    longShape(state, bench::itemContinuedByALog(2'000'000), state.range(0) / 2.0);
}
BENCHMARK(BM_KeystrokeInItemContinuedByALog2MB)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_KeystrokeInLogWithALoneStar2MB(benchmark::State& state)
{
    longShape(state, bench::logWithALoneStar(2'000'000), state.range(0) / 2.0);
}
BENCHMARK(BM_KeystrokeInLogWithALoneStar2MB)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_KeystrokeInLogWithRareGlobs2MB(benchmark::State& state)
{
    longShape(state, bench::logWithRareGlobs(2'000'000), state.range(0) / 2.0);
}
BENCHMARK(BM_KeystrokeInLogWithRareGlobs2MB)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_KeystrokeInALongCodeBlock2MB(benchmark::State& state)
{
    longShape(state, u"# Log\n\n```\n" + bench::logParagraph(2'000'000), state.range(0) / 2.0);
}
BENCHMARK(BM_KeystrokeInALongCodeBlock2MB)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

// The same in a pasted shell session, whose tokenizer carries its state over lines.
void BM_KeystrokeInALongShellBlock2MB(benchmark::State& state)
{
    longShape(state, u"# Session\n\n```console\n" + bench::shellSession(2'000'000), state.range(0) / 2.0);
}
BENCHMARK(BM_KeystrokeInALongShellBlock2MB)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

// And in an indented code block (the log, each line indented by a tab): in its
// first line, its middle and its last line.
void BM_KeystrokeInALongIndentedBlock2MB(benchmark::State& state)
{
    longShape(state, u"Log\n\n\t" + bench::logLines(2'000'000, u"\n\t"), state.range(0) / 2.0);
}
BENCHMARK(BM_KeystrokeInALongIndentedBlock2MB)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_KeystrokeInALongQuote2MB(benchmark::State& state) { longShape(state, bench::longQuote(2'000'000), state.range(0) / 2.0); }
BENCHMARK(BM_KeystrokeInALongQuote2MB)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

// At its start the caret is in the alert's first line of text, after its label.
void BM_KeystrokeInALongAlert2MB(benchmark::State& state)
{
    const U16String text = bench::longAlert(2'000'000);
    Session s = state.range(0) == 0 ? Session(text, u"> [!NOTE]\n> 2026") : Session(text, state.range(0) / 2.0);
    typeInTurn(state, s);
}
BENCHMARK(BM_KeystrokeInALongAlert2MB)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

// A keystroke in the label that breaks it and the next that mends it: every line
// of the alert changes, a panel's worth of restyling and layout each time.
void BM_KeystrokeInALongAlertsLabel2MB(benchmark::State& state)
{
    Session s(bench::longAlert(2'000'000), u"> [!NO");
    typeInTurn(state, s);
}
BENCHMARK(BM_KeystrokeInALongAlertsLabel2MB)->Unit(benchmark::kMillisecond);

void BM_KeystrokeInQuoteContinuedByALog2MB(benchmark::State& state)
{
    longShape(state, bench::quoteContinuedByALog(2'000'000), state.range(0) / 2.0);
}
BENCHMARK(BM_KeystrokeInQuoteContinuedByALog2MB)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

// The restyle of those keystrokes alone, without the relayout and drawing after
// them: a character typed into the storage and taken out again in turn.
void restyleAlone(benchmark::State& state, U16String text, double fraction)
{
    Session s(text, fraction);
    TextStorage& storage = *s.view().textStorage();
    const int at = s.view().selectedRange().location;
    bool inserting = true;
    for (auto _ : state) {
        if (inserting)
            storage.replaceCharacters({at, 0}, u"x");
        else
            storage.deleteCharacters({at, 1});
        inserting = !inserting;
        s.host->coordinator().restyleChanges(s.view());
    }
}

// The shapes at 2 MB, the caret at their start, middle and end.
void BM_RestyleIn(benchmark::State& state, U16String (*shape)(size_t))
{
    restyleAlone(state, shape(2'000'000), state.range(0) / 2.0);
}
BENCHMARK_CAPTURE(BM_RestyleIn, OneLine2MB, &bench::logOnOneLine)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RestyleIn, LineWithoutBlanks2MB, &bench::lineWithoutBlanks)
    ->DenseRange(0, 2)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RestyleIn, MinifiedJSONLine2MB, &bench::minifiedJSONLine)
    ->DenseRange(0, 2)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RestyleIn, LineWithALoneBacktick2MB, &bench::lineWithALoneBacktick)
    ->DenseRange(0, 2)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RestyleIn, LineWithAnUnclosedBacktickRun2MB, &bench::lineWithAnUnclosedBacktickRun)
    ->DenseRange(0, 2)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RestyleIn, LogWithALoneStar2MB, &bench::logWithALoneStar)
    ->DenseRange(0, 2)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RestyleIn, ItemContinuedByALog2MB, &bench::itemContinuedByALog)
    ->DenseRange(0, 2)
    ->Unit(benchmark::kMillisecond);
// A keystroke in the paragraph after a long closed code block (caret at the text's end).
void BM_KeystrokeAfterALongCodeBlock2MB(benchmark::State& state)
{
    longShape(state, u"# Log\n\n```\n" + bench::logParagraph(2'000'000) + u"```\nThe log ends here.\n", 1.0);
}
BENCHMARK(BM_KeystrokeAfterALongCodeBlock2MB)->Unit(benchmark::kMillisecond);

U16String longCodeBlock(size_t bytes)
{
    return u"# Log\n\n```\n" + bench::logParagraph(bytes);
}
BENCHMARK_CAPTURE(BM_RestyleIn, LongCodeBlock2MB, &longCodeBlock)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RestyleIn, LogParagraph2MB, &bench::logParagraph)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_KeystrokeInChangelogItems2MB(benchmark::State& state)
{
    if (!skipWithoutChangelog(state))
        longShape(state, bench::changelogItems(2'000'000), state.range(0) / 2.0);
}
BENCHMARK(BM_KeystrokeInChangelogItems2MB)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_EditorRestyleAlone1MB(benchmark::State& state)
{
    if (skipWithoutChangelog(state))
        return;
    Session s;
    for (auto _ : state)
        s.host->coordinator().restyle(s.view());
}
BENCHMARK(BM_EditorRestyleAlone1MB)->Unit(benchmark::kMillisecond);

void BM_EditorRelayoutAfterRestyle1MB(benchmark::State& state)
{
    if (skipWithoutChangelog(state))
        return;
    Session s;
    for (auto _ : state) {
        state.PauseTiming();
        s.host->coordinator().restyle(s.view());
        state.ResumeTiming();
        s.view().layoutDocument();
    }
}
BENCHMARK(BM_EditorRelayoutAfterRestyle1MB)->Unit(benchmark::kMillisecond);

void BM_EditorDrawOneScreen1MB(benchmark::State& state)
{
    if (skipWithoutChangelog(state))
        return;
    Session s;
    for (auto _ : state)
        s.draw();
}
BENCHMARK(BM_EditorDrawOneScreen1MB)->Unit(benchmark::kMillisecond);

void BM_EditorDrawOneScreen100KB(benchmark::State& state)
{
    if (skipWithoutChangelog(state))
        return;
    Session s(changelogOfSize(100'000));
    for (auto _ : state)
        s.draw();
}
BENCHMARK(BM_EditorDrawOneScreen100KB)->Unit(benchmark::kMillisecond);

// One screen at the end, the middle and the start of a code block of 2 MB that
// no fence closes: the card behind it is drawn from the visible lines alone.
void BM_EditorDrawOneScreenInALongCodeBlock2MB(benchmark::State& state)
{
    Session s(u"# Log\n\n```\n" + bench::logParagraph(2'000'000), 1.0 - state.range(0) / 2.0);
    for (auto _ : state)
        s.draw();
}
BENCHMARK(BM_EditorDrawOneScreenInALongCodeBlock2MB)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_SerializeWithGrid1MB(benchmark::State& state)
{
    if (skipWithoutChangelog(state))
        return;
    Session s(u"| A | B |\n| --- | --- |\n| 1 | 2 |\n\n" + changelog());
    for (auto _ : state)
        benchmark::DoNotOptimize(TableGrid::serialize(*s.view().textStorage()));
}
BENCHMARK(BM_SerializeWithGrid1MB)->Unit(benchmark::kMillisecond);

// A character typed in a cell mid-way down a table of `rows` rows.
void BM_KeystrokeInALongTable(benchmark::State& state)
{
    U16String text = u"# Figures\n\nSome text.\n\n| Name | Value | Notes | More |\n| --- | --- | --- | --- |\n";
    for (int64_t i = 0; i < state.range(0); ++i)
        text += u"| row" + u16(std::to_string(i)) + u" | " + u16(std::to_string(i * 7)) + u" | some words here | more |\n";
    text += u"\nAfter the table.\n";
    // The editor shows the table as a grid: the caret goes after the text of a cell mid-table.
    Session s(text, u"row" + u16(std::to_string(state.range(0) / 2)) + u"\n");
    if (s.view().selectedRange().location < int(text.size()) / 4)
        state.SkipWithError("the caret is not in the table");
    s.view().setSelectedRange({s.view().selectedRange().location - 1, 0});
    typeInTurn(state, s);
}
BENCHMARK(BM_KeystrokeInALongTable)->Arg(100)->Arg(1000)->Arg(4000)->Unit(benchmark::kMillisecond);

using bench::longTable;

// Keystrokes in turn after a first one and its undoing: the first change after
// opening writes the whole text back, once.
void typeInTurnAfterAFirst(benchmark::State& state, Session& s)
{
    bool inserting = true;
    keystroke(s, inserting);
    keystroke(s, inserting);
    s.view().layoutDocument();
    typeInTurn(state, s);
}

// The same table with the caret in the heading two paragraphs above it. The
// first key, which writes the whole text back, is not timed.
void BM_KeystrokeAboveALongTable(benchmark::State& state)
{
    Session s(longTable(state.range(0)), u"# Fig");
    typeInTurnAfterAFirst(state, s);
}
BENCHMARK(BM_KeystrokeAboveALongTable)->Arg(100)->Arg(1000)->Arg(4000)->Arg(40000)->Unit(benchmark::kMillisecond);

// A character typed in the paragraph right under a long table, and in a cell in
// the middle of it: neither should cost more as the table grows (2,500, 10,000
// and 40,000 rows).
void BM_KeystrokeUnderALongTable(benchmark::State& state)
{
    Session s(longTable(state.range(0)), u"After");
    typeInTurnAfterAFirst(state, s);
}
BENCHMARK(BM_KeystrokeUnderALongTable)->Arg(2500)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond);

// The same with the table right under a heading.
void BM_KeystrokeUnderALongTableUnderAHeading(benchmark::State& state)
{
    Session s(longTable(state.range(0), u"# Figures\n"), u"After");
    typeInTurnAfterAFirst(state, s);
}
BENCHMARK(BM_KeystrokeUnderALongTableUnderAHeading)->Arg(2500)->Arg(40000)->Unit(benchmark::kMillisecond);

void BM_KeystrokeInACellOfALongTable(benchmark::State& state)
{
    const U16String text = longTable(state.range(0));
    Session s(text, u"row" + u16(std::to_string(state.range(0) / 2)) + u"\n");
    if (s.view().selectedRange().location < int(text.size()) / 4)
        state.SkipWithError("the caret is not in the table");
    s.view().setSelectedRange({s.view().selectedRange().location - 1, 0});
    typeInTurnAfterAFirst(state, s);
}
BENCHMARK(BM_KeystrokeInACellOfALongTable)->Arg(2500)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond);

// What a key does beside a long table: a character typed and taken back; Return
// and the Backspace that joins the lines again; a pasted line break and its
// undoing; the undoing and redoing of a Return.
enum class Key { character, lineBreak, pastedLineBreak, undoRedo };

void press(Session& s, Key key, bool& first)
{
    TextView& view = s.view();
    switch (key) {
    case Key::character:
        if (first)
            view.insertText(u"x");
        else
            view.doCommand(TextCommand{TextCommand::deleteBackward, false});
        break;
    case Key::lineBreak:
        if (first)
            view.insertNewline();
        else
            view.doCommand(TextCommand{TextCommand::deleteBackward, false});
        break;
    case Key::pastedLineBreak:
        if (first)
            view.pasteString(u"\n");
        else
            view.undo();
        break;
    case Key::undoRedo:
        if (first)
            view.undo();
        else
            view.redo();
        break;
    }
    first = !first;
}

// Keys at a spot of a table of `rows` rows (2,500, 10,000 and 40,000) between
// `above` and `under`: the caret after the last `caretAfter` there, `back` units
// before it. Only the keys are timed, after a first pair that writes the whole
// text back once. With `tables` above 1 the document holds that many tables of
// `rows` / `tables` rows, each after `above`, and the caret goes to the middle one.
void keysBesideALongTable(benchmark::State& state, U16View above, U16View under, U16View caretAfter, int back, Key key,
                          int tables = 1)
{
    U16String text;
    for (int i = 0; i < tables; ++i)
        text += longTable(state.range(0) / tables, above, under);
    Session s(text);
    const U16String& shown = s.view().string();
    size_t at = shown.rfind(caretAfter);
    if (tables > 1) {
        at = U16String::npos;
        for (size_t from = 0, seen = 0; seen <= size_t(tables / 2); ++seen, from = at + 1)
            at = shown.find(caretAfter, from);
    }
    if (at == U16String::npos) {
        state.SkipWithError("no place to type");
        return;
    }
    s.view().setSelectedRange({int(at + caretAfter.size()) - back, 0});
    s.view().scrollRangeToVisible(s.view().selectedRange());
    bool first = true;
    press(s, Key::character, first);
    press(s, Key::character, first);
    if (key == Key::undoRedo) {
        s.view().insertNewline();
        first = true;
    }
    s.view().layoutDocument();
    s.draw();
    for (auto _ : state) {
        press(s, key, first);
        s.view().layoutDocument();
        s.draw();
        benchmark::DoNotOptimize(s.document->size());
    }
}

const char16_t* const headingAbove = u"# Figures\n\nSome text.\n\n";
const char16_t* const blankAndAfter = u"\nAfter the table.\n";
#define KEYS_AROUND_A_LONG_TABLE(name, above, under, caretAfter, back, key)                                   \
    BENCHMARK_CAPTURE(keysBesideALongTable, name, above, under, caretAfter, back, key)                          \
        ->Arg(2500)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond)
#define KEYS_BESIDE_A_LONG_TABLE(name, above, caretAfter, back, key)                                          \
    KEYS_AROUND_A_LONG_TABLE(name, above, blankAndAfter, caretAfter, back, key)

// In the block right above the table, a blank line between or none.
KEYS_BESIDE_A_LONG_TABLE(AboveParagraph, u"Some text.\n\n", u"Some text", 0, Key::character);
KEYS_BESIDE_A_LONG_TABLE(AboveParagraphNextToIt, u"Some text.\n", u"Some text", 0, Key::character);
KEYS_BESIDE_A_LONG_TABLE(AboveHeading, u"# Figures\n\n", u"# Fig", 0, Key::character);
KEYS_BESIDE_A_LONG_TABLE(AboveHeadingNextToIt, u"# Figures\n", u"# Fig", 0, Key::character);
KEYS_BESIDE_A_LONG_TABLE(AboveListItem, u"- an item\n\n", u"- an it", 0, Key::character);
KEYS_BESIDE_A_LONG_TABLE(AboveListItemNextToIt, u"- an item\n", u"- an it", 0, Key::character);
// The same with text right under the table, no blank line between.
KEYS_AROUND_A_LONG_TABLE(AboveParagraphTextClose, u"Some text.\n", u"After the table.\n", u"Some text.", 0,
                         Key::character);
KEYS_AROUND_A_LONG_TABLE(ReturnAboveParagraphTextClose, u"Some text.\n", u"After the table.\n", u"Some text.", 0,
                         Key::lineBreak);
KEYS_AROUND_A_LONG_TABLE(PasteAboveParagraphTextClose, u"Some text.\n", u"After the table.\n", u"Some text.", 0,
                         Key::pastedLineBreak);
KEYS_AROUND_A_LONG_TABLE(UndoRedoAboveParagraphTextClose, u"Some text.\n", u"After the table.\n", u"Some text.", 0,
                         Key::undoRedo);
KEYS_AROUND_A_LONG_TABLE(AboveHeadingFenceUnder, u"# Figures\n", u"```\ncode\n```\n", u"# Fig", 0, Key::character);
KEYS_AROUND_A_LONG_TABLE(AboveHeadingSetextUnder, u"# Figures\n\n", u"After\n=====\n", u"# Fig", 0,
                         Key::character);
KEYS_AROUND_A_LONG_TABLE(AboveListItemTextClose, u"- an item\n", u"After the table.\n", u"- an it", 0,
                         Key::character);
KEYS_AROUND_A_LONG_TABLE(AboveListItemBlankTextClose, u"- an item\n\n", u"After the table.\n", u"- an it", 0,
                         Key::character);
// Under the table, whatever stands right above it.
KEYS_BESIDE_A_LONG_TABLE(UnderUnderAParagraphLine, u"Some text.\n", u"After", 0, Key::character);
KEYS_BESIDE_A_LONG_TABLE(UnderUnderASetextHeading, u"Figures\n=======\n", u"After", 0, Key::character);
KEYS_BESIDE_A_LONG_TABLE(UnderUnderAClosingFence, u"```\ncode\n```\n", u"After", 0, Key::character);
KEYS_BESIDE_A_LONG_TABLE(UnderUnderAListItem, u"- an item\n", u"After", 0, Key::character);
// In a quotation right under the table, no blank line between.
KEYS_AROUND_A_LONG_TABLE(InQuotationUnder, headingAbove, u"> a quote\n", u"a quote", 0, Key::character);
KEYS_AROUND_A_LONG_TABLE(ReturnInQuotationUnder, headingAbove, u"> a quote\n", u"a quote", 0, Key::lineBreak);
// In the header row: letters, Return, a pasted line break, undo and redo.
KEYS_BESIDE_A_LONG_TABLE(InHeaderRow, headingAbove, u"Name", 0, Key::character);
KEYS_BESIDE_A_LONG_TABLE(ReturnInHeaderRow, headingAbove, u"Name", 0, Key::lineBreak);
KEYS_BESIDE_A_LONG_TABLE(PastedLineBreakInHeaderRow, headingAbove, u"Name", 0, Key::pastedLineBreak);
KEYS_BESIDE_A_LONG_TABLE(UndoRedoInHeaderRow, headingAbove, u"Name", 0, Key::undoRedo);
// In a cell: the third row's, a middle row's, the last row's last.
KEYS_BESIDE_A_LONG_TABLE(InThirdRow, headingAbove, u"row2\n", 1, Key::character);
KEYS_BESIDE_A_LONG_TABLE(InLastCell, headingAbove, u"more", 0, Key::character);
// Return and Backspace in a middle cell, a pasted line break, undo and redo.
KEYS_BESIDE_A_LONG_TABLE(ReturnInACell, headingAbove, u"row1250\n", 1, Key::lineBreak);
KEYS_BESIDE_A_LONG_TABLE(PastedLineBreakInACell, headingAbove, u"row1250\n", 1, Key::pastedLineBreak);
KEYS_BESIDE_A_LONG_TABLE(UndoRedoReturnInACell, headingAbove, u"row1250\n", 1, Key::undoRedo);
KEYS_BESIDE_A_LONG_TABLE(ReturnInLastCell, headingAbove, u"more", 0, Key::lineBreak);

// Ten tables of a tenth of the rows each, a key in the paragraph between the
// fifth and the sixth.
void keysBetweenTenTables(benchmark::State& state, Key key)
{
    keysBesideALongTable(state, u"Some text.\n\n", blankAndAfter, u"Some text", 0, key, 10);
}
BENCHMARK_CAPTURE(keysBetweenTenTables, Letter, Key::character)
    ->Arg(2500)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(keysBetweenTenTables, Return, Key::lineBreak)
    ->Arg(2500)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond);

// The window resized in turn between two widths over the 1 MB changelog, with
// (1) or without (0) a wide picture every 20 KB: the picture lines take their
// new heights, the text is laid out again and one screen is drawn.
void BM_ResizeWithPictures1MB(benchmark::State& state)
{
    if (skipWithoutChangelog(state))
        return;
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "velkin-bench-pictures";
    std::filesystem::create_directories(folder);
    QImage picture(1600, 400, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    picture.save(QString::fromStdString((folder / "wide.png").string()), "PNG");
    U16String text = changelog();
    int pictures = 0;
    if (state.range(0)) {
        for (size_t at = text.find(u'\n', 20000); at != U16String::npos; at = text.find(u'\n', at + 20000), ++pictures)
            text.insert(at, u"\n\n![a picture](wide.png)\n");
    }
    Session s(text);
    s.host->setWindowFilePath(QString::fromStdString((folder / "note.md").string()));
    ImageCache::loadSynchronously(u"wide.png", Url::fileURL((folder / "note.md").string()));
    s.host->documentURLChanged();
    s.view().layoutDocument();
    bool narrow = true;
    for (auto _ : state) {
        s.view().resize(narrow ? 860 : 900, 800);  // hidden: the resize is told as a window tells it
        s.host->coordinator().textViewDidResize(s.view());
        s.view().layoutDocument();
        s.draw();
        narrow = !narrow;
    }
    state.counters["pictures"] = pictures;
}
BENCHMARK(BM_ResizeWithPictures1MB)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);

} // namespace
