// Opening a long document: the text is made into a storage, styled, and only
// the first screen is laid out and drawn before the window shows it; the rest
// is laid out later in idle slices. Also the keystroke that follows at 1 MB.
#include "OpenWindow.h"
#include "document/CodeBlockLayoutManager.h"
#include "document/ImageCache.h"
#include "editor/MarkdownEditor.h"
#include "editor/MarkdownTextView.h"
#include "markdown/MarkdownStyler.h"
#include "platform/text/Utf.h"

#include <QElapsedTimer>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include "Changelogs.h"


namespace {

using namespace velkin;

constexpr double kWidth = 752;
constexpr double kScreenHeight = 900;

// Markdown of every kind the editor styles, for machines without the changelogs.
std::string madeUpMarkdown(size_t bytes)
{
    std::string out;
    for (int section = 0; out.size() < bytes; ++section) {
        out += "## Section " + std::to_string(section) + "\n\nSome *emphasised* prose with `code`, a [link](https://example.com/"
            + std::to_string(section) + ") and **strong** words that run on long enough to wrap across the width of a window.\n\n"
            + "* an item\n* another item with more words in it\n  * a nested one\n\n```js\nconst x = " + std::to_string(section)
            + ";\nconsole.log(x);\n```\n\n| a | b |\n| --- | --- |\n| 1 | 2 |\n\n> a quotation\n\n";
    }
    return out;
}

// The largest changelog, or the changelogs one after another until `bytes`.
U16String document(size_t bytes)
{
    std::string text = bench::changelogs(bytes);
    if (text.size() < bytes / 2)
        text = madeUpMarkdown(bytes);
    return u16(text);
}

const U16String& oneMegabyte()
{
    static const U16String text = document(900'000);
    return text;
}

const U16String& sixteenMegabytes()
{
    static const U16String text = document(16'000'000);
    return text;
}

void drawScreen(LayoutManager& layout, QImage& screen, double top)
{
    screen.fill(Qt::white);
    QPainter painter(&screen);
    layout.draw(painter, QRectF(0, top, kWidth, kScreenHeight), QPointF(0, -top));
}

// Storage, style, layout of what the first screen shows, and its drawing.
void openFirstScreen(benchmark::State& state, const U16String& text, bool lazy)
{
    QImage screen(int(kWidth), int(kScreenHeight), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        TextStorage storage(text);
        MarkdownStyler{14, MarkdownFontFamily::sansSerif}.apply(storage);
        CodeBlockLayoutManager layout(&storage);
        layout.setLaysOutLazily(lazy);
        layout.setTextContainer({kWidth, 1e12, 4});
        layout.ensureLayout(QRectF(0, 0, kWidth, kScreenHeight));
        drawScreen(layout, screen, 0);
        benchmark::DoNotOptimize(screen.constBits());
    }
    state.counters["bytes"] = double(text.size()) * 2;
}

void BM_OpenFirstScreen1MB(benchmark::State& state) { openFirstScreen(state, oneMegabyte(), true); }
BENCHMARK(BM_OpenFirstScreen1MB)->Unit(benchmark::kMillisecond)->Iterations(5);

// The same with the whole text laid out first, as before lazy layout.
void BM_OpenFirstScreenEager1MB(benchmark::State& state) { openFirstScreen(state, oneMegabyte(), false); }
BENCHMARK(BM_OpenFirstScreenEager1MB)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_OpenFirstScreen16MB(benchmark::State& state) { openFirstScreen(state, sixteenMegabytes(), true); }
BENCHMARK(BM_OpenFirstScreen16MB)->Unit(benchmark::kMillisecond)->Iterations(3);

// The parts of opening that are not layout, for comparison.
void BM_OpenStorageAndStyle16MB(benchmark::State& state)
{
    for (auto _ : state) {
        TextStorage storage(sixteenMegabytes());
        MarkdownStyler{14, MarkdownFontFamily::sansSerif}.apply(storage);
        benchmark::DoNotOptimize(storage.length());
    }
}
BENCHMARK(BM_OpenStorageAndStyle16MB)->Unit(benchmark::kMillisecond)->Iterations(3);

// The layout's own part of opening 16 MB: its blocks, their estimated heights and the first screen.
void BM_OpenLayoutFirstScreen16MB(benchmark::State& state)
{
    TextStorage storage(sixteenMegabytes());
    MarkdownStyler{14, MarkdownFontFamily::sansSerif}.apply(storage);
    QImage screen(int(kWidth), int(kScreenHeight), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        CodeBlockLayoutManager layout(&storage);
        layout.setLaysOutLazily(true);
        layout.setTextContainer({kWidth, 1e12, 4});
        layout.ensureLayout(QRectF(0, 0, kWidth, kScreenHeight));
        drawScreen(layout, screen, 0);
    }
}
BENCHMARK(BM_OpenLayoutFirstScreen16MB)->Unit(benchmark::kMillisecond)->Iterations(3);

// The rest of a 1 MB text laid out in 4 ms idle slices after the first screen.
void BM_IdleLayoutToCompletion1MB(benchmark::State& state)
{
    TextStorage storage(oneMegabyte());
    MarkdownStyler{14, MarkdownFontFamily::sansSerif}.apply(storage);
    int slices = 0;
    double estimated = 0, exact = 0;
    for (auto _ : state) {
        state.PauseTiming();
        CodeBlockLayoutManager layout(&storage);
        layout.setLaysOutLazily(true);
        layout.setTextContainer({kWidth, 1e12, 4});
        layout.ensureLayout(QRectF(0, 0, kWidth, kScreenHeight));
        estimated = layout.usedHeight();
        state.ResumeTiming();
        slices = 0;
        while (layout.layoutSome(4))
            ++slices;
        exact = layout.usedHeight();
    }
    state.counters["slices"] = slices;
    // How near the scroll bar's first height came to the laid-out one.
    state.counters["estimate/exact"] = exact > 0 ? estimated / exact : 0;
}
BENCHMARK(BM_IdleLayoutToCompletion1MB)->Unit(benchmark::kMillisecond)->Iterations(3);

// A character typed and deleted in turn in the middle of a lazily laid-out text
// (only the screen around it laid out), then that screen laid out and drawn.
void BM_KeystrokeLazyRelayoutAndDraw1MB(benchmark::State& state)
{
    TextStorage storage(oneMegabyte());
    MarkdownStyler{14, MarkdownFontFamily::sansSerif}.apply(storage);
    CodeBlockLayoutManager layout(&storage);
    layout.setLaysOutLazily(true);
    layout.setTextContainer({kWidth, 1e12, 4});
    const int middle = storage.length() / 2;
    QImage screen(int(kWidth), int(kScreenHeight), QImage::Format_ARGB32_Premultiplied);
    bool insert = true;
    for (auto _ : state) {
        if (insert)
            storage.replaceCharacters({middle, 0}, u"x");
        else
            storage.replaceCharacters({middle, 1}, u"");
        insert = !insert;
        const double top = layout.caretRect(middle).top() - kScreenHeight / 2;
        layout.ensureLayout(QRectF(0, top, kWidth, kScreenHeight));
        drawScreen(layout, screen, top);
    }
}
BENCHMARK(BM_KeystrokeLazyRelayoutAndDraw1MB)->Unit(benchmark::kMillisecond);

// The editor opening a long document as a window does: tables made grids, the
// text styled as far as the first screen, that screen laid out and drawn; the
// rest is styled in idle time (below).
struct OpenedEditor {
    std::shared_ptr<U16String> document;
    std::unique_ptr<MarkdownEditorView> host;

    explicit OpenedEditor(const U16String& text) : document(std::make_shared<U16String>(text))
    {
        auto doc = document;
        host = std::make_unique<MarkdownEditorView>(MarkdownEditor{
            {[doc] { return *doc; }, [doc](const U16String& t) { *doc = t; },
             [doc](Range r, U16View t) { doc->replace(size_t(r.location), size_t(r.length), t); }},
            1.0, MarkdownFontFamily::sansSerif, 1 << 16});
        host->resize(int(kWidth), int(kScreenHeight));
    }
    void drawFirstScreen(QImage& screen) const
    {
        MarkdownTextView& view = *host->textView();
        QPainter painter(&screen);
        const QRectF visible = view.visibleContainerRect();
        view.drawContents(painter, visible, -visible.topLeft(), true);
    }
};

void openEditor(benchmark::State& state, const U16String& text)
{
    QImage screen(int(kWidth), int(kScreenHeight), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        auto opened = std::make_unique<OpenedEditor>(text);
        opened->drawFirstScreen(screen);
        state.PauseTiming();
        opened.reset();
        state.ResumeTiming();
    }
}

void BM_OpenEditorFirstScreen1MB(benchmark::State& state) { openEditor(state, oneMegabyte()); }
BENCHMARK(BM_OpenEditorFirstScreen1MB)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_OpenEditorFirstScreen16MB(benchmark::State& state) { openEditor(state, sixteenMegabytes()); }
BENCHMARK(BM_OpenEditorFirstScreen16MB)->Unit(benchmark::kMillisecond)->Iterations(3);

// The rest of the styling after opening, in the 5 ms idle slices a window gives
// it: in all, and the longest slice (what typing meanwhile may wait for).
void styleInSlices(benchmark::State& state, const U16String& text)
{
    double longest = 0;
    int slices = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto opened = std::make_unique<OpenedEditor>(text);
        MarkdownEditorCoordinator& coordinator = opened->host->coordinator();
        MarkdownTextView& view = *opened->host->textView();
        state.ResumeTiming();
        slices = 0;
        for (bool done = false; !done; ++slices) {
            QElapsedTimer slice;
            slice.start();
            done = coordinator.styleAhead(view, 5);
            longest = std::max(longest, double(slice.nsecsElapsed()) / 1e6);
        }
        state.PauseTiming();
        opened.reset();
        state.ResumeTiming();
    }
    state.counters["slices"] = slices;
    state.counters["longest slice ms"] = longest;
}

void BM_StyleRestInIdleSlices1MB(benchmark::State& state) { styleInSlices(state, oneMegabyte()); }
BENCHMARK(BM_StyleRestInIdleSlices1MB)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_StyleRestInIdleSlices16MB(benchmark::State& state) { styleInSlices(state, sixteenMegabytes()); }
BENCHMARK(BM_StyleRestInIdleSlices16MB)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

// A window opened on lines of pictures that are missing, until every load has come
// back and the layout is complete: each load that comes back costs the lines of its
// picture, never a restyle of the whole.
void openMissingPictures(benchmark::State& state)
{
    static int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::string text;
        const std::string folder = "file:///nonexistent-velkin-bench/" + std::to_string(++round) + "/p";
        for (int64_t i = 0; i < state.range(0); ++i)
            text += "![picture " + std::to_string(i) + "](" + folder + std::to_string(i) + ".png)\n";
        const std::string last = folder + std::to_string(state.range(0) - 1) + ".png";
        state.ResumeTiming();
        auto open = std::make_unique<bench::OpenWindow>(u16(text));
        QElapsedTimer clock;
        clock.start();
        while ((!ImageCache::hasFailed(last) || !open->view->layoutManager()->isLayoutComplete())
               && clock.elapsed() < 300'000)
            QApplication::processEvents();
        QApplication::processEvents();
        state.PauseTiming();
        open.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(openMissingPictures)->Name("BM_OpenMissingPictures")->Arg(2000)->Arg(8000)->Unit(benchmark::kMillisecond)->Iterations(1);
