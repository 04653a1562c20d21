// A keystroke and a caret move in a real document window, as the program
// handles them: the key event reaches the editor's text view, which edits,
// writes the text back to the window's document, restyles, tracks the modified
// state, and the window paints its screen. Unlike the coordinator's own
// benchmarks this takes in everything the window does per key.
#include <benchmark/benchmark.h>

#include "LongShapes.h"
#include "OpenWindow.h"

namespace {

using namespace velkin;
using bench::document;
using bench::OpenWindow;

// A character typed, then deleted with Backspace, in turn; each is one keystroke.
// The text is left as it was.
void typeInTurn(benchmark::State& state, OpenWindow& open)
{
    bool insert = true;
    for (auto _ : state) {
        if (insert)
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

// A character typed, then deleted, at `fraction` of a text of one shape (0: after
// its first word, 1: at its end).
void keystrokeIn(benchmark::State& state, U16String text, double fraction)
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
    typeInTurn(state, open);
}

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
BENCHMARK_CAPTURE(BM_WindowKeystrokeIn, BulletedList2MB, &bench::bulletedList, 2'000'000)
    ->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(30);
BENCHMARK_CAPTURE(BM_WindowKeystrokeIn, ListWithContinuations2MB, &bench::listWithContinuations, 2'000'000)
    ->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(30);

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
