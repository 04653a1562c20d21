#include "document/CodeBlockLayoutManager.h"
#include "markdown/MarkdownStyler.h"
#include "platform/layout/LayoutManager.h"
#include "platform/text/Utf.h"

#include "LongShapes.h"

#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>

namespace {

velkin::U16String changelog()
{
    std::ifstream in("/usr/share/doc/nodejs/changelogs/CHANGELOG_V12.md", std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return velkin::u16(s.str());
}

velkin::TextStorage plainStorage()
{
    return velkin::TextStorage(changelog(), velkin::Attributes{{velkin::AttributeKey::Font, velkin::Font::system(14)}});
}

velkin::TextStorage styledStorage()
{
    velkin::TextStorage storage(changelog());
    velkin::MarkdownStyler{14, velkin::MarkdownFontFamily::sansSerif}.apply(storage);
    return storage;
}

template <class Layout> void fullLayout(benchmark::State& state, velkin::TextStorage storage)
{
    for (auto _ : state) {
        Layout lm(&storage);
        lm.setTextContainer({700, 1e12, 4});
        lm.ensureLayout();
        benchmark::DoNotOptimize(lm.usedRect());
    }
}

// One character typed and deleted in turn in the middle of the text, then the
// relayout and the drawing of one screen around it.
template <class Layout> void keystroke(benchmark::State& state, velkin::TextStorage storage)
{
    Layout lm(&storage);
    lm.setTextContainer({700, 1e12, 4});
    lm.ensureLayout();
    const int middle = storage.length() / 2;
    QImage screen(800, 900, QImage::Format_ARGB32_Premultiplied);
    bool insert = true;
    for (auto _ : state) {
        if (insert)
            storage.replaceCharacters({middle, 0}, u"x");
        else
            storage.replaceCharacters({middle, 1}, u"");
        insert = !insert;
        lm.ensureLayout();
        const QRectF caret = lm.caretRect(middle);
        screen.fill(Qt::white);
        QPainter painter(&screen);
        lm.draw(painter, QRectF(0, caret.top() - 400, 800, 900), QPointF(0, -(caret.top() - 400)));
    }
}

void BM_FullLayout1MB(benchmark::State& state) { fullLayout<velkin::LayoutManager>(state, plainStorage()); }
BENCHMARK(BM_FullLayout1MB)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_KeystrokeRelayoutAndDraw1MB(benchmark::State& state) { keystroke<velkin::LayoutManager>(state, plainStorage()); }
BENCHMARK(BM_KeystrokeRelayoutAndDraw1MB)->Unit(benchmark::kMillisecond);

// The styled changelog laid out by the layout manager every Markdown view uses.
void BM_FullLayoutStyled1MB(benchmark::State& state)
{
    fullLayout<velkin::CodeBlockLayoutManager>(state, styledStorage());
}
BENCHMARK(BM_FullLayoutStyled1MB)->Unit(benchmark::kMillisecond)->Iterations(3);

// The same with cards, panels and marks (the restyle itself is measured with the styler).
void BM_KeystrokeStyledRelayoutAndDraw1MB(benchmark::State& state)
{
    keystroke<velkin::CodeBlockLayoutManager>(state, styledStorage());
}
BENCHMARK(BM_KeystrokeStyledRelayoutAndDraw1MB)->Unit(benchmark::kMillisecond);

// One character typed and deleted in turn at the start, middle and end of a
// styled 2 MB log on one line, laid out lazily as the editor does, then the
// caret's screen drawn: the layout's share of a keystroke, without the restyle.
void BM_KeystrokeRelayoutAndDrawOneLine2MB(benchmark::State& state)
{
    velkin::TextStorage storage(velkin::bench::logOnOneLine(2'000'000));
    velkin::MarkdownStyler{14, velkin::MarkdownFontFamily::sansSerif}.apply(storage);
    velkin::CodeBlockLayoutManager lm(&storage);
    lm.setLaysOutLazily(true);
    lm.setTextContainer({880, 1e12, 4});
    const int at = std::min(storage.length() - 1, int(int64_t(storage.length()) * state.range(0) / 2));
    QImage screen(900, 800, QImage::Format_ARGB32_Premultiplied);
    auto drawScreen = [&] {
        const QRectF caret = lm.caretRect(at);
        const QRectF visible(0, std::max(0.0, caret.top() - 400), 900, 800);
        lm.ensureLayout(visible);
        screen.fill(Qt::white);
        QPainter painter(&screen);
        lm.draw(painter, visible, -visible.topLeft());
    };
    drawScreen();
    bool insert = true;
    for (auto _ : state) {
        if (insert)
            storage.replaceCharacters({at, 0}, u"x");
        else
            storage.replaceCharacters({at, 1}, u"");
        insert = !insert;
        drawScreen();
    }
}
BENCHMARK(BM_KeystrokeRelayoutAndDrawOneLine2MB)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

} // namespace
